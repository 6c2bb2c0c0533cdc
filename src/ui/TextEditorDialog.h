// The text editor ("Editeur de Texte"): a text in a font of the machine, built in relief in a
// preview where it can be moved, turned and resized, and added to the scene on "&OK".
#pragma once

#include <memory>

#include "commands/Editors.h"
#include "ui/PreviewDialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace ixoral {

class TColourSwatch;

inline constexpr const char* kTextPrecisions[kTextPrecisionCount] = {"Basse", "Moyenne", "Haute"};

class TFrmTEditor : public TPreviewDialog {
  Q_OBJECT
 public:
  TFrmTEditor(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt);
  ~TFrmTEditor() override;

  QLineEdit* TextField() const { return FText; }
  QComboBox* FontList() const { return FFonts; }
  QComboBox* PrecisionList() const { return FPrecision; }
  QCheckBox* FillBox() const { return FFill; }
  TColourSwatch* Swatch() const { return FSwatch; }
  TTextEditor* Editor() { return FEditor.get(); }

 protected:
  void Apply() override;
  void Accept() override;

 private:
  void ChooseFont(int index);

  std::unique_ptr<TTextEditor> FEditor;
  QLineEdit* FText = nullptr;
  QComboBox* FFonts = nullptr;
  QComboBox* FPrecision = nullptr;
  QCheckBox* FFill = nullptr;
  TColourSwatch* FSwatch = nullptr;
};

}  // namespace ixoral
