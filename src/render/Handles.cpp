// Handles of the selection: their strokes on screen, what a press takes, and their drawing.
#include "render/Handles.h"

#include <algorithm>
#include <cmath>

namespace ixoral {

namespace {

constexpr uint32_t kAxisColours[3] = {0xFFE03C3C, 0xFF3CC83C, 0xFF4678F0};
constexpr uint32_t kHeldColour = 0xFFFFE040;

// Squares of `k` pixels along the segment, inside the viewport only.
void Stroke(TSurface& t, const D3DVIEWPORT7& vp, double x0, double y0, double x1, double y1, int k, uint32_t c) {
  const double length = std::hypot(x1 - x0, y1 - y0);
  const int steps = std::max(1, int(std::ceil(length * 2)));
  const int left = int(vp.dwX), top = int(vp.dwY);
  const int right = std::min<int>(int(vp.dwX + vp.dwWidth), t.Width());
  const int bottom = std::min<int>(int(vp.dwY + vp.dwHeight), t.Height());
  for (int i = 0; i <= steps; ++i) {
    const double f = double(i) / steps;
    const int cx = int(std::lround(x0 + (x1 - x0) * f)) - k / 2, cy = int(std::lround(y0 + (y1 - y0) * f)) - k / 2;
    for (int y = std::max(cy, top); y < std::min(cy + k, bottom); ++y)
      for (int x = std::max(cx, left); x < std::min(cx + k, right); ++x)
        t.Pixels()[size_t(y) * size_t(t.Width()) + size_t(x)] = c;
  }
}

}  // namespace

std::array<double, 2> THandleSet::End(int axis) const {
  const double d = Length * std::sqrt(0.5);
  switch (axis) {
    case 0:
      return {X + Length, Y};
    case 1:
      return {X, Y - Length};
    default:
      return {X - d, Y + d};
  }
}

THandleSet HandlesAt(double x, double y, double pixelRatio) {
  const double ratio = std::isfinite(pixelRatio) ? std::clamp(pixelRatio, 1.0, 8.0) : 1.0;
  return {x, y, kHandleLength * ratio};
}

TAxisConstraint HandleUnder(const THandleSet& h, double px, double py, double pixelRatio) {
  if (!std::isfinite(px) || !std::isfinite(py) || !std::isfinite(h.X) || !std::isfinite(h.Y)) return axFree;
  const double reach = kHandleReach * (std::isfinite(pixelRatio) ? std::clamp(pixelRatio, 1.0, 8.0) : 1.0);
  int best = -1;
  double bestDistance = reach;
  for (int axis = 0; axis < 3; ++axis) {
    const auto [ex, ey] = h.End(axis);
    const double dx = ex - h.X, dy = ey - h.Y, len2 = dx * dx + dy * dy;
    if (!(len2 > 0)) continue;
    const double t = std::clamp(((px - h.X) * dx + (py - h.Y) * dy) / len2, 0.0, 1.0);
    if (t < 1.0 / 3) continue;
    const double d = std::hypot(h.X + t * dx - px, h.Y + t * dy - py);
    if (d <= bestDistance) bestDistance = d, best = axis;
  }
  return best < 0 ? axFree : TAxisConstraint(best + 1);
}

void DrawHandles(TSurface& t, const D3DVIEWPORT7& vp, const THandleSet& h, TOperation operation, TAxisConstraint held,
                 double pixelRatio) {
  if (operation == opSelect || !std::isfinite(h.X) || !std::isfinite(h.Y) || std::abs(h.X) > 1e6 || std::abs(h.Y) > 1e6)
    return;
  const double ratio = std::isfinite(pixelRatio) ? std::clamp(pixelRatio, 1.0, 8.0) : 1.0;
  const int k = std::max(2, int(std::lround(2 * ratio)));
  for (int axis = 0; axis < 3; ++axis) {
    const uint32_t c = held == axis + 1 ? kHeldColour : kAxisColours[axis];
    const auto [ex, ey] = h.End(axis);
    Stroke(t, vp, h.X, h.Y, ex, ey, k, c);
    const double ux = (ex - h.X) / h.Length, uy = (ey - h.Y) / h.Length;  // along the stroke
    const double s = 7 * ratio;
    if (operation == opMove) {
      // An arrow's head: two strokes back from the end.
      Stroke(t, vp, ex, ey, ex - s * (ux + uy * 0.6), ey - s * (uy - ux * 0.6), k, c);
      Stroke(t, vp, ex, ey, ex - s * (ux - uy * 0.6), ey - s * (uy + ux * 0.6), k, c);
    } else if (operation == opRotate) {
      for (int i = 0; i < 24; ++i) {
        const double a0 = i * 2 * 3.141592653589793 / 24, a1 = (i + 1) * 2 * 3.141592653589793 / 24;
        Stroke(t, vp, ex + s * std::cos(a0), ey + s * std::sin(a0), ex + s * std::cos(a1), ey + s * std::sin(a1), k, c);
      }
    } else {
      for (double d = -s * 0.7; d <= s * 0.7; d += 1) Stroke(t, vp, ex - s * 0.7, ey + d, ex + s * 0.7, ey + d, 1, c);
    }
  }
}

}  // namespace ixoral
