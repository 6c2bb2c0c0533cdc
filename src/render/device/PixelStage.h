// The pixel stage of the software device: the set-up primitives drawn within a band of rows, with
// the stencil and depth tests, the texture stage, specular, alpha test and blending.
#pragma once

#include "render/device/TriangleSetup.h"

namespace ixoral::device {

// The pixels of a set-up triangle, line or point in the rows y0 .. y1 - 1 (a band of the
// surface), drawn under the pixel state `p`.
void DrawRows(const TPix& p, const TPrim& r, int y0, int y1);

}  // namespace ixoral::device
