// The print dialog ("Impression"): one of the four views printed on a chosen printer (or into a
// PDF file), its place on the page set in centimetres or by dragging it in the page preview, and
// the picture drawn again at the printer's resolution.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "commands/PrintLayout.h"
#include "render/SceneRenderer.h"
#include "ui/DialogFrame.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPrinter;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace ixoral {

class IPrompt;
class TFrmRendu;

inline constexpr const char* kPdfPrinter = "Fichier PDF";

// The page of the preview: white, its margin dashed, the view's picture where it will print.
class TPagePreview : public QWidget {
  Q_OBJECT
 public:
  explicit TPagePreview(TFrmRendu& dialog, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TFrmRendu& FDialog;
};

class TFrmRendu : public TDialogFrame {
  Q_OBJECT
 public:
  TFrmRendu(QWidget* parent, TScene& main, TSettingsStore* settings, IPrompt& prompt, double aspect);
  ~TFrmRendu() override;

  TPrintLayout& Layout() { return FLayout; }
  TPagePreview* Preview() const { return FPreview; }
  QComboBox* Printers() const { return FPrinters; }
  QComboBox* Views() const { return FViews; }
  QLineEdit* Field(const char* name) const;
  QCheckBox* FillPage() const { return FFill; }
  QCheckBox* KeepProportions() const { return FKeep; }
  QCheckBox* WhiteBackground() const { return FWhite; }
  const QImage& Picture() const { return FPicture; }
  // Where a PDF is written (asked of the user; tests answer it). Empty: cancelled.
  std::function<QString()> ChoosePdfFile;
  // The printer's own set-up ("Paramètres": paper, orientation...); false when cancelled. Tests
  // answer it.
  std::function<bool(QPrinter&)> SetUpPrinter;
  // The printer as chosen and set up: what the preview lays out and what "&OK" prints on.
  QPrinter& Printer() { return *FPrinter; }

  // Prints on the chosen printer; false (with the message, or nothing when cancelled) when
  // nothing was printed.
  bool Print();
  // The picture of the chosen view at w x h pixels, drawn by the program's renderer.
  QImage RenderView(int width, int height) const;

  // Fields and preview follow the layout.
  void Refresh();

 private:
  friend class TPagePreview;
  QPushButton* CreatePrinterRows(QVBoxLayout* side);
  QGroupBox* CreateAlignmentGroup(const QString& title, const char* start, const char* end, const char* valueField,
                                  std::array<QRadioButton*, 4>& buttons);
  void ReadPrinter();
  void FieldEdited(const char* name);
  void AlignmentChosen();
  void RedrawPicture();
  // Points the printer at the chosen entry of the list, keeping its set-up.
  void ChoosePrinter();
  bool PrintsToPdf() const;
  // The chosen PDF file, ".pdf" added to a name without an extension (asking before replacing
  // a file the chooser did not ask about). Empty: cancelled.
  std::string ChooseTargetPdf();

  TScene& FMain;
  TSettingsStore* FSettings;
  IPrompt& FPrompt;
  TPrintLayout FLayout;
  TPagePreview* FPreview = nullptr;
  QComboBox* FPrinters = nullptr;
  QComboBox* FViews = nullptr;
  QCheckBox* FFill = nullptr;
  QCheckBox* FKeep = nullptr;
  QCheckBox* FWhite = nullptr;
  std::array<QRadioButton*, 4> FAlignX{};
  std::array<QRadioButton*, 4> FAlignY{};
  QImage FPicture;
  std::unique_ptr<QPrinter> FPrinter;
  bool FRefreshing = false;
};

}  // namespace ixoral
