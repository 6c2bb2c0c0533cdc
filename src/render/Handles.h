// The handles of the selection in the move, rotate and resize modes: three strokes from the main
// selected object's place on screen — right for X, up for Y, slanting down to the left for Z (the
// depth), the three directions a drag can be held to — each ended by an arrow (move), a ring
// (rotate) or a box (resize). A press on one holds the drag to its axis, as the axis menu does.
#pragma once

#include <array>
#include <optional>

#include "render/Manipulation.h"
#include "render/device/Surface.h"

namespace ixoral {

// Length of a handle and the distance within which a press takes it, in pixels at ratio 1.
inline constexpr double kHandleLength = 60;
inline constexpr double kHandleReach = 7;

struct THandleSet {
  double X = 0, Y = 0;  // the object's place in surface pixels
  double Length = 0;    // of each stroke
  // The stroke of axis X, Y or Z (index 0, 1, 2): from the centre to its end.
  std::array<double, 2> End(int axis) const;
};

// The handles around (x, y) at `pixelRatio`.
THandleSet HandlesAt(double x, double y, double pixelRatio);
// The axis whose handle is under (px, py), the outer two thirds of its stroke or its end; axFree
// when none (a press near the object itself still moves it freely).
TAxisConstraint HandleUnder(const THandleSet& handles, double px, double py, double pixelRatio);
// Draws the handles for `operation` on the viewport's pixels only; `held` drawn brighter.
void DrawHandles(TSurface& target, const D3DVIEWPORT7& viewport, const THandleSet& handles, TOperation operation,
                 TAxisConstraint held, double pixelRatio);

}  // namespace ixoral
