// The parametric curve editor ("Editeur de Courbe Parametrique"): three equations in t and the
// interval of t give a tube, tried in a preview and added to the scene on "&OK".
#pragma once

#include <memory>

#include "commands/Editors.h"
#include "ui/PreviewDialog.h"

class QLineEdit;

namespace ixoral {

// The equations the dialog opens with: a widening spiral.
inline constexpr const char* kDemoX = "0.5 * t * cos ( 5 * t )";
inline constexpr const char* kDemoY = "0.1 * t";
inline constexpr const char* kDemoZ = "0.5 * t * sin ( 5 * t )";

class TFrmParamEdit : public TPreviewDialog {
  Q_OBJECT
 public:
  TFrmParamEdit(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt);
  ~TFrmParamEdit() override;

  QLineEdit* Field(int axis) const { return FEquations[axis]; }  // 0 X, 1 Y, 2 Z
  QLineEdit* From() const { return FFrom; }
  QLineEdit* To() const { return FTo; }

 protected:
  void Apply() override;
  void Accept() override;

 private:
  std::unique_ptr<TCurveEditor> FEditor;
  QLineEdit* FEquations[3] = {};
  QLineEdit* FFrom = nullptr;
  QLineEdit* FTo = nullptr;
};

}  // namespace ixoral
