// Mouse manipulation in the views: a press saves the values a drag starts from and the world
// directions the active view shows as screen axes; each mouse move then moves, turns or resizes
// the selected objects, or pans, turns or zooms the view when nothing is selected.
#pragma once

#include <string>
#include <vector>

#include "scene/Scene.h"

namespace ixoral {

enum TOperation : int { opSelect = 0, opMove = 1, opRotate = 2, opResize = 3 };
enum TAxisConstraint : int { axFree = 0, axX = 1, axY = 2, axZ = 3 };

// What a drag keeps between the press and the release.
struct TManipulation {
  std::vector<Vec3d> StartValues;
  D3DVECTOR ScreenRight{}, ScreenUp{}, ScreenForward{};
  // How far a view turns per pixel when the rotation tool turns it (nothing selected).
  double ViewRadiansPerPixel = kPi / 100;
};

// A middle-button drag: the perspective view orbits about the world's origin, the others (and
// any view with Shift held) pan so the scene follows the pointer at the view's aim.
struct TNavigation {
  int View = 0;
  bool Orbit = false;
  Vec3d StartRotation, StartTranslation;
  Vec3d Right, Up;  // the camera's screen axes in the world
  double UnitsPerPixel = 0, RadiansPerPixel = 0;
};

// Starts a navigation of view `view`, `viewWidth` pixels wide: an orbit turns a full turn per
// view width.
void BeginNavigation(const TScene& scene, TNavigation& n, int view, bool orbit, int viewWidth);
// dx: pixels to the right since the press; dy: pixels upwards.
void ContinueNavigation(TScene& scene, const TNavigation& n, double dx, double dy);
// Escape during a navigation: the view's navigation as it was at the press.
void CancelNavigation(TScene& scene, const TNavigation& n);

// The grid the views draw, one line every fifth of a unit: what a move snaps to.
inline constexpr double kGridStep = 0.2;
// What a rotation and a resize snap to.
inline constexpr double kSnapAngle = kPi / 12;  // 15 degrees
inline constexpr double kSnapFactor = 0.1;

// What a drag step did to the main selected object, for the status bar: the move since the press
// (world units), the turn about the screen axes (radians), or the size factors against the press.
struct TDragValues {
  bool Valid = false;
  TOperation Operation = opSelect;
  Vec3d Values;
};

// The status bar's text for a drag step: "ΔX 0,200  ΔY 0,000  ΔZ 0,000", "Rotation X 15,0°
// Y 0,0°  Z 0,0°" or "Échelle X 1,10  Y 1,10  Z 1,10"; empty when nothing was done.
std::string DragValuesText(const TDragValues& values);

// Saves the start values (one per selected object, main object first, or the view's own) and the
// screen axes of view `view`.
void BeginManipulation(TScene& scene, TManipulation& m, TOperation operation, int view);
// dx: pixels to the right since the press; dy: pixels upwards. Results that are not finite numbers
// are not applied. `snap` (Ctrl held): the main object's position lands on the grid where the drag
// changes it (the others move with it), turns on multiples of 15 degrees, sizes on tenths of the
// size at the press.
TDragValues ContinueManipulation(TScene& scene, const TManipulation& m, int view, TOperation operation, double dx,
                                 double dy, TAxisConstraint axis, bool snap = false);
// A view's navigation scale after a zoom drag of dy pixels upwards from `start`: each component
// grows by pi/1000 per pixel and none goes below zero.
Vec3d ZoomedScale(const Vec3d& start, double dy);
// Escape during a drag: the selected objects get their start values back.
void CancelManipulation(TScene& scene, const TManipulation& m, TOperation operation);

// The view under the pointer in a four-view panel of W x H; a point on a middle line keeps
// `previous`.
int ViewUnderMouse(int x, int y, int panelWidth, int panelHeight, int previous);
// The fractions (h, v) of a press at (x, y) across view `view` of the panel, as picking takes them.
void PickFractions(int view, int x, int y, int panelWidth, int panelHeight, bool fourViews, double& h, double& v);

}  // namespace ixoral
