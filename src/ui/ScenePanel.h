// The scene panel: shows the scene's drawing surface (a QImage over the surface's own pixels,
// sharp on high-density screens, the surface following the panel's size), forwards the mouse,
// the wheel and Escape to the view interaction, and shows the cursor of the current operation.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "render/DisplayDevice.h"
#include "render/ViewInteraction.h"

namespace ixoral {

class TScenePanel : public QWidget, public IPresenter {
  Q_OBJECT
 public:
  explicit TScenePanel(QWidget* parent = nullptr);

  // The scene to show; the panel draws nothing before. The renderer's display must have been
  // made with this panel as its presenter.
  void Attach(TSceneRenderer* renderer, TViewInteraction* interaction);

  // IPresenter: a rectangle of the surface was drawn.
  void Present(const TSurface& surface, const D3DRECT& source, const D3DRECT& destination) override;

  // Draws every view again at the next turn of the event loop (several requests, one drawing).
  void RequestRedraw();
  // Draws now whatever was requested.
  void RedrawNow();
  // How many times the panel's views were drawn (a drawing of every view counts once).
  int Drawings() const { return FDrawings; }
  // The cursor of the current operation and axis.
  void UpdateCursor();
  // What the panel's drawings and the mouse's work on its views run inside (a preview that borrows
  // the scene's meshes for their time); unset, they simply run.
  std::function<void(const std::function<void()>& work)> AroundWork;

  // The surface size for the panel's size on this screen.
  QSize SurfaceSizeFor(const QSize& logical) const;

 signals:
  // A left press about to reach the views (a drag may start from it).
  void PressStarting();
  void Pressed(int selection, int object);  // TPressSelection, object index
  // What a press has to tell the user, shown by the window as an information.
  void Informed(const QString& text);
  void DragEnded();
  // What a drag step did ("ΔX 0,200  ΔY ..."), for the status bar.
  void DragValues(const QString& text);
  void ContextMenuRequested(const QPoint& globalPosition);
  void EscapePressed();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPoint SurfacePoint(const QPointF& logical) const;
  void WrapSurface();

  TSceneRenderer* FRenderer = nullptr;
  TViewInteraction* FInteraction = nullptr;
  QImage FImage;  // over the surface's pixels, never a copy
  const uint32_t* FWrapped = nullptr;
  bool FRedrawPending = false;
  int FDrawings = 0;
};

// The cursor of an operation on an axis, drawn by the program (the arrow for the select mode).
QCursor OperationCursor(TOperation operation, TAxisConstraint axis);

}  // namespace ixoral
