// The view-type dialog ("Paramètres des vues"): which of the four view types each of the four
// views shows, tried on a preview of the scene before the main scene takes it.
#pragma once

#include <array>
#include <memory>

#include "commands/ToolDialogs.h"
#include "render/SceneRenderer.h"
#include "ui/DialogFrame.h"

class QComboBox;

namespace ixoral {

class TModeller;
class TScenePanel;
class TSettingsStore;

class TfrmParams : public TDialogFrame {
  Q_OBJECT
 public:
  TfrmParams(QWidget* parent, TModeller& modeller, TSettingsStore& settings);
  ~TfrmParams() override;

  QComboBox* List(int view) const { return FLists[static_cast<size_t>(view)]; }
  TScene* Preview() { return FDrawn ? &FDrawn->Scene : nullptr; }
  TScenePanel* Panel() const { return FPanel; }
  int Highlighted() const { return FHighlighted; }
  // Highlights the quadrant under a point of the preview; redraws only when it changes.
  void HoverAt(const QPoint& point);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetViewTypes();
  void ApplyLists();
  void Confirm();
  void Redraw();

  TModeller& FModeller;
  TSettingsStore& FSettings;
  std::unique_ptr<TDisplayScene> FDrawn;
  std::unique_ptr<TMeshLoan> FMeshes;  // the scene's meshes, lent to each drawing
  TScenePanel* FPanel = nullptr;
  std::array<QComboBox*, 4> FLists{};
  int FHighlighted = 0;
};

}  // namespace ixoral
