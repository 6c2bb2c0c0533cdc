// The view interaction state machine: idle, then a left press (picking in the select mode), drags
// applied from the values saved at the press, and the release.
#include "render/ViewInteraction.h"

#include <algorithm>

#include "scene/ViewOps.h"

namespace ixoral {

TViewInteraction::TViewInteraction(TScene& scene, TSceneRenderer& renderer) : FScene(scene), FRenderer(renderer) {
  FWidth = renderer.SurfaceWidth();
  FHeight = renderer.SurfaceHeight();
  UpdateRendererFrames();
}

void TViewInteraction::SetPanelSize(int width, int height) {
  FWidth = std::max(width, 0);
  FHeight = std::max(height, 0);
}

int TViewInteraction::ViewAt(int x, int y) const {
  if (!FScene.FourViews) return 0;
  return ViewUnderMouse(x, y, FWidth, FHeight, FActive);
}

void TViewInteraction::UpdateRendererFrames() {
  FRenderer.ActiveView = FActive;
  FRenderer.HoverView = FHover;
}

void TViewInteraction::RedrawAll() {
  UpdateRendererFrames();
  FRenderer.RedrawViews(FActive, FHover, true);
}

void TViewInteraction::MouseMove(int x, int y, bool snap) {
  FLastX = x;
  FLastY = y;
  if (FNavigating) {
    ContinueNavigation(FScene, FNavigation, x - FDragX, FDragY - y);
    FScene.Notify(TSceneChange::ViewsChanged);
    RedrawAll();
    return;
  }
  if (FDragging) {
    if (FOperation == opSelect) return;  // a drag in the select mode changes nothing
    const double dx = x - FDragX, dy = FDragY - y;
    FDragStatus = DragValuesText(ContinueManipulation(FScene, FManipulation, FActive, FOperation, dx, dy,
                                                      FHandleAxis != axFree ? FHandleAxis : FAxis, snap));
    const TSceneRenderer::TPlacementChange placement(FRenderer);
    FScene.Notify(FScene.HasSelection() ? TSceneChange::ObjectChanged : TSceneChange::ViewsChanged);
    RedrawAll();
    return;
  }
  if (!FScene.FourViews) return;
  const int hover = ViewUnderMouse(x, y, FWidth, FHeight, FHover);
  if (hover == FHover) return;
  // Only the frames of the view left and of the view entered change.
  const int left = FHover;
  FHover = hover;
  UpdateRendererFrames();
  FRenderer.PresentView(left, FActive, FHover);
  FRenderer.PresentView(FHover, FActive, FHover);
}

TPressResult TViewInteraction::Press(int x, int y, TMouseButton button, bool ctrl, bool shift) {
  TPressResult result;
  FLastX = x;
  FLastY = y;
  if (FNavigating) return result;  // a second button during a navigation changes nothing
  if (!FDragging) FActive = ViewAt(x, y);
  if (button == TMouseButton::Middle && !FDragging) {
    const bool orbit = !shift && FScene.Views[size_t(FActive)].ViewType == vtPerspective;
    BeginNavigation(FScene, FNavigation, FActive, orbit, ViewWidth());
    FNavigating = true;
    FDragX = x;
    FDragY = y;
    RedrawAll();
    return result;
  }
  if (button != TMouseButton::Left) {
    UpdateRendererFrames();
    return result;
  }
  if (FOperation == opSelect) {
    double h = 0, v = 0;
    PickFractions(FActive, x, y, FWidth, FHeight, FScene.FourViews, h, v);
    const TExpected<int> pick = PickObject(FScene, FScene.Views[size_t(FActive)], h, v);
    if (!pick) result.Notice = pick.Error().Message;
    const int d = pick.ValueOr(-1);
    result.Object = d;
    const T3dObject* picked = FScene.ObjectAt(d);
    if (!picked || !picked->Afficher) {
      FScene.ClearSelection();
      result.Selection = TPressSelection::Cleared;
      result.Object = -1;
    } else if (FScene.IsSelected(d)) {
      // The picked object becomes the main one; the previous main one joins the others.
      FScene.MakeCurrent(d);
      result.Selection = TPressSelection::MadeMain;
    } else if (ctrl) {
      FScene.AddToSelection(d);
      result.Selection = TPressSelection::Added;
    } else {
      FScene.ClearSelection();
      FScene.AddToSelection(d);  // the object and its whole group
      result.Selection = TPressSelection::Selected;
    }
  }
  // A press on a handle of the selection holds the drag to that handle's axis.
  FHandleAxis = axFree;
  if (FOperation != opSelect && FScene.HasSelection())
    if (const std::optional<THandleSet> h = FRenderer.HandlesIn(FActive))
      FHandleAxis = HandleUnder(*h, x, y, FRenderer.PixelRatio);
  FRenderer.HeldAxis = FHandleAxis;
  RedrawAll();
  FDragX = x;
  FDragY = y;
  BeginManipulation(FScene, FManipulation, FOperation, FActive);
  // The rotation tool turns a view about one turn per view width.
  FManipulation.ViewRadiansPerPixel = 2 * kPi / std::max(ViewWidth(), 1);
  FDragging = true;
  return result;
}

bool TViewInteraction::Release(int x, int y, TMouseButton button) {
  FLastX = x;
  FLastY = y;
  if (button == TMouseButton::Middle && FNavigating) {
    FNavigating = false;
    return false;
  }
  if (button != TMouseButton::Left || !FDragging) return false;
  FDragging = false;
  FHandleAxis = FRenderer.HeldAxis = axFree;
  FDragStatus.clear();
  const int active = ViewAt(x, y);
  if (active != FActive) {
    FActive = active;
    RedrawAll();
  }
  UpdateRendererFrames();
  return true;
}

bool TViewInteraction::Escape() {
  if (FNavigating) {
    CancelNavigation(FScene, FNavigation);
    FNavigating = false;
    FScene.Notify(TSceneChange::ViewsChanged);
    RedrawAll();
    return true;
  }
  if (!FDragging || !FScene.HasSelection() || FOperation == opSelect) return false;
  CancelManipulation(FScene, FManipulation, FOperation);
  FDragStatus.clear();
  FHandleAxis = FRenderer.HeldAxis = axFree;
  const TSceneRenderer::TPlacementChange placement(FRenderer);
  FScene.Notify(TSceneChange::ObjectChanged);
  RedrawAll();
  return true;
}

void TViewInteraction::Wheel(int x, int y, int angleDelta) {
  if (angleDelta == 0 || FDragging || FNavigating) return;
  const int view = ViewAt(x, y);
  const Vec3d zoomed = ZoomedScale(FScene.Views[size_t(view)].Scale, angleDelta * 30.0 / 120.0);
  ApplyViewScale(FScene, view, zoomed);
  FScene.Notify(TSceneChange::ViewsChanged);
  RedrawAll();
}

}  // namespace ixoral
