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
  if (f >= 0.5)
    ++i;
  else if (f < -0.5)
    --i;
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

// Primitives First .. Last - 1 of a drawing of a type, and the vertices they use: From .. To - 1,
// and vertex 0 too, the centre, for a fan.
struct TPrimitiveRun {
  D3DPRIMITIVETYPE Type;
  DWORD First, Last, From, To;
  TPrimitiveRun(D3DPRIMITIVETYPE type, DWORD first, DWORD last);
  bool Triangles() const { return Type >= D3DPT_TRIANGLELIST; }
};

// Marks in `keep` (one per primitive) the triangles of the run that may be drawn for their
// corners' positions alone, and in `need` (one per vertex From .. To - 1) the vertices of their
// corners, which are to be lit; true when they need a fan's centre, whose corner is `centre`.
bool MarkDrawnTriangles(const TPix& p, const TPrimitiveRun& run, const TCorner* corners, const TCorner& centre,
                        uint8_t* need, uint8_t* keep);

// Sets up the primitives of the run under the pixel state `p` (index `pix`), from their
// transformed and lit vertices `v` (From .. To - 1) and a fan's centre; with `keep`, only the
// triangles it marks. What may be drawn is added to `out`.
void SetupPrimitives(const TPix& p, uint32_t pix, const TPrimitiveRun& run, const TSoftwareDevice::TVtx* v,
                     const TSoftwareDevice::TVtx& centre, const uint8_t* keep, std::vector<TPrim>& out);

}  // namespace ixoral::device
