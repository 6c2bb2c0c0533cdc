// The pixel stage of the software device: the set-up primitives drawn within a band of rows, with
// the stencil and depth tests, the texture stage, specular, alpha test and blending.
#pragma once

#include "render/device/TriangleSetup.h"

namespace ixoral::device {

// The rows y0 .. y1 - 1 of a set-up triangle (or line); a point lies in one row.
void DrawTriangle(const TPix& p, const TPrim& r, int y0, int y1);
void DrawLine(const TPix& p, const TPrim& r, int bandY0, int bandY1);
void DrawPoint(const TPix& p, const TPrim& r);

}  // namespace ixoral::device
