// The text editor ("Editeur de Texte"): a text in a font of the machine, built in relief in a
// preview where it can be moved, turned and resized, and added to the scene on "&OK".
#pragma once

#include <memory>

#include "commands/Editors.h"
#include "ui/DialogFrame.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace ixoral {

class IPrompt;
class TColourSwatch;
class TModeller;
class TPreview;
class TPreviewToolBar;
class TScenePanel;
class TSettingsStore;

inline constexpr const char* kTextPrecisions[kTextPrecisionCount] = {"Basse", "Moyenne", "Haute"};

class TFrmTEditor : public TDialogFrame {
  Q_OBJECT
 public:
  TFrmTEditor(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt);
  ~TFrmTEditor() override;

  QLineEdit* TextField() const { return FText; }
  QComboBox* FontList() const { return FFonts; }
  QComboBox* PrecisionList() const { return FPrecision; }
  QCheckBox* FillBox() const { return FFill; }
  TColourSwatch* Swatch() const { return FSwatch; }
  QPushButton* ApplyButton() const { return FApply; }
  QPushButton* OkButton() const { return FOk; }
  TScenePanel* Panel() const { return FPanel; }
  TPreviewToolBar* ToolBar() const { return FToolBar; }
  TScene* Preview();
  TTextEditor* Editor() { return FEditor.get(); }

 private:
  void ChooseFont(int index);
  void Apply();
  void Confirm();

  TModeller& FModeller;
  IPrompt& FPrompt;
  std::unique_ptr<TPreview> FPreview;
  std::unique_ptr<TTextEditor> FEditor;
  TScenePanel* FPanel = nullptr;
  TPreviewToolBar* FToolBar = nullptr;
  QLineEdit* FText = nullptr;
  QComboBox* FFonts = nullptr;
  QComboBox* FPrecision = nullptr;
  QCheckBox* FFill = nullptr;
  TColourSwatch* FSwatch = nullptr;
  QPushButton* FApply = nullptr;
  QPushButton* FOk = nullptr;
};

}  // namespace ixoral
