// The light editor ("Lumieres"): a new spot or directional light tried in a preview of the
// scene, placed with the fields or the mouse, and added to the scene on "&OK".
#pragma once

#include <array>
#include <memory>

#include "commands/Editors.h"
#include "ui/DialogFrame.h"

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace ixoral {

class IPrompt;
class TColourSwatch;
class TModeller;
class TNumberField;
class TPreview;
class TPreviewToolBar;
class TScenePanel;
class TSettingsStore;

inline constexpr const char* kLightKindSpot = "Spot";
inline constexpr const char* kLightKindAmbiante = "Ambiante";

class TfrmLight : public TDialogFrame {
  Q_OBJECT
 public:
  TfrmLight(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt);
  ~TfrmLight() override;

  QComboBox* KindList() const { return FKind; }
  TColourSwatch* Swatch() const { return FSwatch; }
  TNumberField* Centre(int k) const { return FCentre[static_cast<size_t>(k)]; }
  TNumberField* Direction(int k) const { return FDirection[static_cast<size_t>(k)]; }
  TNumberField* LitAngle() const { return FLit; }
  TNumberField* OuterAngle() const { return FOuter; }
  QRadioButton* MoveObject() const { return FMoveObject; }
  QRadioButton* MoveView() const { return FMoveView; }
  QPushButton* OkButton() const { return FOk; }
  TScenePanel* Panel() const { return FPanel; }
  TPreviewToolBar* ToolBar() const { return FToolBar; }
  TScene* Preview();
  TLightEditor* Editor() { return FEditor.get(); }

  // Reads every field and applies them to the light; a field that holds no number is reported
  // and the light stays as it was.
  bool ApplyFields();
  // The fields after a drag in the preview.
  void RefreshFromLight();

 private:
  void ShowFields(const TLightFields& f);
  void KindChanged(int index);
  void Confirm();
  void Cancel();

  TModeller& FModeller;
  IPrompt& FPrompt;
  std::unique_ptr<TPreview> FPreview;
  std::unique_ptr<TLightEditor> FEditor;
  TScenePanel* FPanel = nullptr;
  TPreviewToolBar* FToolBar = nullptr;
  QComboBox* FKind = nullptr;
  TColourSwatch* FSwatch = nullptr;
  std::array<TNumberField*, 3> FCentre{};
  std::array<TNumberField*, 3> FDirection{};
  TNumberField* FLit = nullptr;
  TNumberField* FOuter = nullptr;
  QWidget* FCentreRow = nullptr;
  QWidget* FAngles = nullptr;
  QRadioButton* FMoveObject = nullptr;
  QRadioButton* FMoveView = nullptr;
  QPushButton* FOk = nullptr;
  bool FDone = false;
};

}  // namespace ixoral
