// Clipping and set-up of the software device: primitives clipped in homogeneous space, projected
// on the surface, culled, and set up (edges and attribute planes) for the bands that draw them.
#pragma once

#include <vector>

#include "render/device/VertexStage.h"

namespace ixoral::device {

// Nearest integer of a value known to be far inside the 64-bit range (clipped coordinates).
inline int64_t RoundBounded(double v) {
  int64_t i = static_cast<int64_t>(v);
  const double f = v - double(i);
  if (f >= 0.5) ++i;
  else if (f < -0.5) --i;
  return i;
}

// Floor division of 64-bit integers (b > 0).
inline int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}

// A vertex on the surface: pixel position, depth, 1/w and the attributes (colours linear in
// screen space, texture coordinates divided by w for perspective).
struct TScreenVtx {
  float x, y, z, iw;
  float a[9];  // r g b a sr sg sb u/w v/w
};

// A triangle set up for drawing: its corners snapped to 1/16 pixel and turned clockwise on the
// screen, the rows and columns of its bounding box within the viewport, and the planes of the
// attributes the pixel stages use (depth, 1/w, diffuse, specular, u/w, v/w).
struct TTriangle {
  int64_t X[3], Y[3];
  int Y0, Y1, XLo, XHi;
  double Fx0, Fy0;
  float Base[11], Ddx[11], Ddy[11];
  bool PlainFill;
};

enum TPrimKind : uint8_t { pkTriangle, pkLine, pkPoint, pkClear };

// A primitive set up on the surface (or a clear), with the rows it may touch.
struct TPrim {
  TPrimKind Kind;
  bool LastPixel;  // a line: its last pixel drawn
  uint32_t Ref;    // index of the pixel state, or of the command of a clear
  int X;           // a point: its column
  int Y0, Y1;      // rows, both included
  union {
    TScreenVtx V[3];  // a line's ends, a point
    TTriangle T;      // a triangle
  };
};

// Set-up of a point, a line and a triangle given by its transformed and lit vertices, under the
// pixel state `p` (index `pix`): what may be drawn is added to `out`.
void SetupPoint(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& v,
                std::vector<TPrim>& out);
void SetupLine(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& a,
               const TSoftwareDevice::TVtx& b, bool lastPixel, std::vector<TPrim>& out);
void SetupTriangle(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& a,
                   const TSoftwareDevice::TVtx& b, const TSoftwareDevice::TVtx& c,
                   std::vector<TPrim>& out);
// False when SetupTriangle would drop the triangle for its positions alone (not finite, wholly
// outside, or inside and degenerate or culled): its corners then need no lighting.
bool MayDraw(const TPix& p, const TCorner& a, const TCorner& b, const TCorner& c);

}  // namespace ixoral::device
