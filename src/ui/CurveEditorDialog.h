// The parametric curve editor ("Editeur de Courbe Parametrique"): three equations in t and the
// interval of t give a tube, tried in a preview and added to the scene on "&OK".
#pragma once

#include <memory>

#include "commands/Editors.h"
#include "ui/DialogFrame.h"

class QLineEdit;
class QPushButton;

namespace ixoral {

class IPrompt;
class TModeller;
class TPreview;
class TPreviewToolBar;
class TScenePanel;
class TSettingsStore;

// The equations the dialog opens with: a widening spiral.
inline constexpr const char* kDemoX = "0.5 * t * cos ( 5 * t )";
inline constexpr const char* kDemoY = "0.1 * t";
inline constexpr const char* kDemoZ = "0.5 * t * sin ( 5 * t )";

class TFrmParamEdit : public TDialogFrame {
  Q_OBJECT
 public:
  TFrmParamEdit(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt);
  ~TFrmParamEdit() override;

  QLineEdit* Field(int axis) const { return FEquations[axis]; }  // 0 X, 1 Y, 2 Z
  QLineEdit* From() const { return FFrom; }
  QLineEdit* To() const { return FTo; }
  QPushButton* ApplyButton() const { return FApply; }
  QPushButton* OkButton() const { return FOk; }
  TScenePanel* Panel() const { return FPanel; }
  TPreviewToolBar* ToolBar() const { return FToolBar; }
  TScene* Preview();

 private:
  void Apply();
  void Confirm();

  TModeller& FModeller;
  IPrompt& FPrompt;
  std::unique_ptr<TPreview> FPreview;
  std::unique_ptr<TCurveEditor> FEditor;
  TScenePanel* FPanel = nullptr;
  TPreviewToolBar* FToolBar = nullptr;
  QLineEdit* FEquations[3] = {};
  QLineEdit* FFrom = nullptr;
  QLineEdit* FTo = nullptr;
  QPushButton* FApply = nullptr;
  QPushButton* FOk = nullptr;
};

}  // namespace ixoral
