// The light editor ("Lumieres"): a new spot or directional light tried in a preview of the
// scene, placed with the fields or the mouse, and added to the scene on "&OK".
#pragma once

#include <array>
#include <memory>

#include "commands/Editors.h"
#include "commands/ToolDialogs.h"
#include "ui/PreviewDialog.h"

class QComboBox;
class QRadioButton;

namespace ixoral {

class TColourSwatch;
class TNumberField;

inline constexpr const char* kLightKindSpot = "Spot";
inline constexpr const char* kLightKindAmbiante = "Ambiante";

class TfrmLight : public TPreviewDialog {
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
  TLightEditor* Editor() { return FEditor.get(); }

  // Reads every field and applies them to the light; a field that holds no number is reported
  // and the light stays as it was.
  bool ApplyFields();
  // The fields after a drag in the preview.
  void RefreshFromLight();

 protected:
  void Accept() override;
  void Cancel() override;

 private:
  void ShowFields(const TLightFields& f);
  void KindChanged(int index);

  std::unique_ptr<TMeshLoan> FMeshes;
  std::unique_ptr<TLightEditor> FEditor;
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
  bool FDone = false;
};

}  // namespace ixoral
