// The platform interfaces over Qt: message boxes and questions in French, the system clipboard,
// and the file dialogs of the file commands.
#pragma once

#include <QImage>
#include <QString>

#include "commands/Modeller.h"
#include "platform/Clipboard.h"
#include "platform/Prompt.h"

class QWidget;

namespace ixoral {

struct TImage;

QString ToQt(const std::string& s);
std::string FromQt(const QString& s);
// A picture of the program's own as a Qt image (opaque RGB).
QImage ToQImage(const TImage& picture);
// "Ixoral (*.ixr)|*.ixr|Tous (*.*)|*.*" as a file dialog's list of filters.
QStringList FileDialogFilters(const std::string& filter);

// Message boxes with Oui/Non/Annuler, over `parent` (may be null).
class TQtPrompt : public IPrompt {
 public:
  explicit TQtPrompt(QWidget* parent = nullptr) : FParent(parent) {}
  void SetParent(QWidget* parent) { FParent = parent; }
  void Information(const std::string& text) override;
  void Error(const std::string& text) override;
  bool YesNo(const std::string& question) override;
  TAnswer YesNoCancel(const std::string& question) override;

 private:
  QWidget* FParent;
};

class TQtClipboard : public IClipboard {
 public:
  std::string GetText() override;
  void SetText(const std::string& text) override;
};

// The desktop's file dialogs (the native one where the desktop offers it) with the program's
// filters, and the choice of a picture size for the picture exports.
class TQtFileChooser : public IFileChooser {
 public:
  explicit TQtFileChooser(QWidget* parent = nullptr) : FParent(parent) {}
  void SetParent(QWidget* parent) { FParent = parent; }
  std::optional<std::string> ChooseDocumentToOpen() override;
  std::optional<TChosenFile> ChooseFileToSave() override;
  std::optional<TResolutionChoice> ChooseResolution() override;
  std::optional<std::string> ChooseExportFile() override;
  std::vector<std::string> ChooseMeshFiles() override;
  void StartIn(const std::string& folder) override;

 private:
  QWidget* FParent;
  QString FFolder;  // where the last dialog was left
};

}  // namespace ixoral
