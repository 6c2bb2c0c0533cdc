// Pieces the shape and light editors share: the preview's own scene with its mouse interaction,
// the preview tool bar (operation and axis) and a colour swatch.
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>
#include <memory>

#include "render/SceneRenderer.h"
#include "render/ViewInteraction.h"

class QBoxLayout;
class QPushButton;
class QToolButton;

namespace ixoral {

class TScenePanel;
class TSettingsStore;

inline constexpr const char* kHintTranslation = "Translation";
inline constexpr const char* kHintRotation = "Rotation";
inline constexpr const char* kHintRedim = "Redimenssionnement";
inline constexpr const char* kHintAxes = "Selection des Axes";
inline constexpr const char* kAxisItems[4] = {"default", "sur l'axe X", "sur l'axe Y", "sur l'axe Z"};

// A preview scene on a panel: one 3D view from further back than the scene's own, grid and axes
// on, the mouse moving what is selected (or the view when nothing is).
class TPreview {
 public:
  // `distance`: how many times further back than the scene's own 3D view camera it looks from.
  TPreview(TScenePanel* panel, int width, int height, TSettingsStore& settings, double distance = 3);
  ~TPreview();
  // False when the preview's device could not be made (the dialog then works without preview).
  bool Ready() const { return FDrawn != nullptr; }
  TScene& Scene() { return FDrawn->Scene; }
  TViewInteraction* Interaction() { return FInteraction.get(); }
  void Redraw();

 private:
  TScenePanel* FPanel;
  std::unique_ptr<TDisplayScene> FDrawn;
  std::unique_ptr<TViewInteraction> FInteraction;
};

// "Translation", "Rotation", "Redimenssionnement" and the axis button with its menu; it sets the
// preview's operation and axis and the panel's cursor.
class TPreviewToolBar : public QWidget {
  Q_OBJECT
 public:
  TPreviewToolBar(QWidget* parent, TViewInteraction* interaction, TScenePanel* panel);
  void SetOperation(TOperation operation);
  void SetAxis(TAxisConstraint axis);
  QToolButton* Button(TOperation operation) const;
  QToolButton* AxisButton() const { return FAxis; }

 private:
  TViewInteraction* FInteraction;
  TScenePanel* FPanel;
  QToolButton* FButtons[3] = {};
  QToolButton* FAxis = nullptr;
};

// The editors' buttons at the foot of their side column: "Appliquer", then "&OK" (disabled until
// something is built) and "&Annuler" side by side.
struct TEditorButtons {
  QPushButton* Apply;
  QPushButton* Ok;
  QPushButton* Cancel;
};
TEditorButtons AddEditorButtons(QWidget* parent, QBoxLayout* side);

// A panel showing a colour; a click opens the colour chooser. Keys do nothing.
class TColourSwatch : public QLabel {
  Q_OBJECT
 public:
  explicit TColourSwatch(QWidget* parent, QColor colour = Qt::white);
  QColor Colour() const { return FColour; }
  void SetColour(const QColor& colour);
  // 0xFFRRGGBB
  uint32_t D3DColour() const { return 0xFF000000u | (FColour.rgb() & 0xFFFFFFu); }

 signals:
  void Changed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QColor FColour;
};

}  // namespace ixoral
