// What the mouse and the keyboard do in the views of a scene panel, without any window toolkit:
// the operation and axis chosen on the tool bar, the view under the pointer, selection by click,
// drags that move, turn or resize the selection (or navigate the view), Escape during a drag, and
// the wheel. A panel widget forwards its events here in surface pixels; tests drive the same
// object.
#pragma once

#include <functional>

#include "render/Manipulation.h"
#include "render/SceneRenderer.h"

namespace ixoral {

enum class TMouseButton { Left, Middle, Right };

// What a press did to the selection, so the window can follow in its browser and inspector.
enum class TPressSelection {
  None,      // not the select mode, or not the left button: nothing picked
  Cleared,   // nothing (visible) under the pointer: the selection was emptied
  MadeMain,  // an already selected object became the main selected object
  Added,     // Ctrl held: the object joined the selection
  Selected,  // the object alone is selected now
};

struct TPressResult {
  TPressSelection Selection = TPressSelection::None;
  int Object = -1;  // the object picked, when one was
  // What the window shows the user as an information after the press ("Matrix non invertible"
  // when the view's navigation cannot be inverted); empty for nothing.
  std::string Notice;
};

class TViewInteraction {
 public:
  TViewInteraction(TScene& scene, TSceneRenderer& renderer);
  TViewInteraction(const TViewInteraction&) = delete;
  TViewInteraction& operator=(const TViewInteraction&) = delete;

  // --- the mode chosen on the tool bar and in the menus ---
  TOperation Operation() const { return FOperation; }
  TAxisConstraint Axis() const { return FAxis; }
  void SetOperation(TOperation operation) {
    FOperation = operation;
    FRenderer.HandleOperation = operation;
  }
  void SetAxis(TAxisConstraint axis) { FAxis = axis; }

  // --- state ---
  bool Dragging() const { return FDragging; }
  // A middle-button drag is navigating the view under the press.
  bool Navigating() const { return FNavigating; }
  int ActiveView() const { return FActive; }
  int HoverView() const { return FHover; }
  // The panel's size in surface pixels; four views split it in quarters.
  void SetPanelSize(int width, int height);

  // --- events, in panel pixels (x to the right, y downwards) ---
  // `snap` (Ctrl held): the drag snaps to the grid, to 15 degrees or to tenths of the size.
  void MouseMove(int x, int y, bool snap = false);
  // What the last drag step did, as the status bar shows it; empty outside a drag of the selection.
  const std::string& DragStatus() const { return FDragStatus; }
  // The middle button navigates whatever the tool: it orbits the perspective view and pans the
  // others, and pans any view with `shift` held.
  TPressResult Press(int x, int y, TMouseButton button, bool ctrl, bool shift = false);
  // True when a drag of the tool ended (the inspector then shows the new values); a navigation's
  // end answers false.
  bool Release(int x, int y, TMouseButton button);
  // Escape: during a drag with a selection, the selection goes back to where the press found it;
  // during a navigation, the view goes back. True when something was restored.
  bool Escape();
  // The wheel zooms the view under the pointer (perspective alone, or the three others
  // together), as a zoom drag of 30 pixels per notch of 120.
  void Wheel(int x, int y, int angleDelta);

  // Draws every view (the active one first) with the current frames.
  void RedrawAll();

 private:
  int ViewAt(int x, int y) const;
  int ViewWidth() const { return FScene.FourViews ? FWidth / 2 : FWidth; }
  void UpdateRendererFrames();

  TScene& FScene;
  TSceneRenderer& FRenderer;
  TManipulation FManipulation;
  TNavigation FNavigation;
  bool FNavigating = false;
  std::string FDragStatus;
  TOperation FOperation = opSelect;
  TAxisConstraint FAxis = axFree;
  // The axis of the handle a drag was started on (axFree: none; the tool bar's axis holds).
  TAxisConstraint FHandleAxis = axFree;
  bool FDragging = false;
  int FDragX = 0, FDragY = 0;
  int FLastX = 0, FLastY = 0;
  int FActive = 0, FHover = 0;
  int FWidth = 0, FHeight = 0;
};

}  // namespace ixoral
