// The vertex stage of the software device: transformation to clip space and per-vertex lighting
// of the vertices of a drawing, and the screen positions and clipping codes of triangle corners.
#pragma once

#include "render/device/DeviceStates.h"

namespace ixoral::device {

// A corner of a triangle before lighting: where it falls on the screen, and its clipping code
// (bits 0 to 5: outside the planes in the clipper's order; 64: not finite; 128: w too small).
struct TCorner {
  float Sx, Sy;
  uint32_t Code;
};

// Transforms and lights `count` vertices of the format `fvf` under the states `s`, into `out`;
// with `need`, only the vertices it marks.
void ProcessVertices(const TVertexState& s, DWORD fvf, const uint8_t* data, DWORD count, TSoftwareDevice::TVtx* out,
                     const uint8_t* need = nullptr);

// The corners of `count` vertices `stride` bytes apart, seen through the viewport `vp`.
void PositionsAndCorners(const TVertexState& s, const D3DVIEWPORT7& vp, const uint8_t* data, size_t stride, DWORD count,
                         TCorner* corners);

}  // namespace ixoral::device
