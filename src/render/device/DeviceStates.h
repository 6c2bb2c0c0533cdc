// The software device's states: render and texture-stage states, transforms, material and
// viewport as set, the snapshots of them that drawings keep (what the vertex and pixel stages
// read), and the layout of the flexible vertex formats.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/device/SoftwareDevice.h"

namespace ixoral {

namespace device {

struct TLightC {  // an enabled light, in camera space
  D3DLIGHTTYPE Type;
  float Diffuse[3], Specular[3], Ambient[3];
  float Pos[3], Dir[3];  // Dir: unit direction the light shines along
  float Range, A0, A1, A2, CosTheta, CosPhi, Falloff;
  bool HasSpecular;
};

inline float Clamp01(float v) { return v > 0 ? (v < 1 ? v : 1) : 0; }
inline float Clamp255(float v) { return v > 0 ? (v < 255 ? v : 255) : 0; }

struct TColorF {
  float r, g, b, a;
};

inline TColorF FromD3DColor(D3DCOLOR c) {
  return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f, ((c >> 24) & 0xFF) / 255.0f};
}

inline TColorF FromValue(const D3DCOLORVALUE& v) { return {v.r, v.g, v.b, v.a}; }

// What the pixel stages need, taken from the states when a drawing is given.
struct TPix {
  bool ZEnable, ZWrite, Stencil, Blend, AlphaTest, Specular, Textured, Bilinear, LastPixel;
  DWORD ZFunc, SFunc, SFail, SZFail, SPass, SrcBlend, DstBlend, AlphaFunc;
  uint32_t SRef, SMask, SWMask, AlphaRef;
  DWORD ColorOp, ColorArg1, ColorArg2, AlphaOp, AlphaArg1, AlphaArg2, AddrU, AddrV;
  float TFactor[4];
  const uint32_t* Tex;
  int TexW, TexH;
  int X0, Y0, X1, Y1;  // scissor: viewport within the surface, right/bottom excluded
  int Pitch;
  uint32_t* Color;
  float* Depth;
  uint8_t* StencilBuf;
  bool Flat, Wire, Points;
  DWORD Cull;
  D3DVIEWPORT7 Vp;
};

// What transformation and lighting need, taken from the states when a drawing is given.
struct TVertexState {
  DWORD Rs[kRenderStateCount] = {};
  D3DMATERIAL7 Material;
  float Wv[4][4] = {}, Wvp[4][4] = {}, Nrm[3][3] = {};
  std::vector<TLightC> Lights;  // the enabled lights, in camera space
  bool AnySpecularLight = false;
};

// Where the parts of a vertex of a flexible format lie: the position first, then the parts the
// format has, in the order of their flags; Stride is the bytes of the whole vertex. Made where it
// is read, so that the compiler knows how long a vertex can be (the vertex stage's loops over
// its words are unrolled for it).
struct TVertexLayout {
  bool HasNormal, HasDiffuse, HasSpecular;
  DWORD TexCount;
  size_t NormalOff = 0, DiffuseOff = 0, SpecularOff = 0, TexOff = 0, Stride = 0;
  explicit TVertexLayout(DWORD fvf)
      : HasNormal((fvf & D3DFVF_NORMAL) != 0),
        HasDiffuse((fvf & D3DFVF_DIFFUSE) != 0),
        HasSpecular((fvf & D3DFVF_SPECULAR) != 0),
        TexCount((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT) {
    size_t off = 12;  // x, y, z
    if (fvf & D3DFVF_RESERVED1) off += 4;
    if (HasNormal) NormalOff = off, off += 12;
    if (HasDiffuse) DiffuseOff = off, off += 4;
    if (HasSpecular) SpecularOff = off, off += 4;
    TexOff = off;
    Stride = off + 8 * size_t(TexCount);
  }
};

// A light as lighting reads it: in the camera space of the view matrix `v`, its direction made
// unit, its cone's half-angles as cosines.
TLightC CameraSpaceLight(const D3DLIGHT7& l, const float v[4][4]);

// Primitives that `count` vertices of a type make (vertices left over at the end make none).
DWORD PrimitiveCount(D3DPRIMITIVETYPE type, DWORD count);

}  // namespace device

// The states as set, and the snapshots of the last drawing.
struct TSoftwareDevice::TState {
  // Direct3D's initial states, for drawing on `target`.
  explicit TState(const TSurface& target);

  DWORD Rs[kRenderStateCount] = {};
  DWORD Tss[kTextureStageCount][kTextureStageStateCount] = {};
  std::shared_ptr<TTextureSurface> Textures[kTextureStageCount];
  D3DMATRIX World, View, Proj;
  D3DVIEWPORT7 Viewport;
  D3DMATERIAL7 Material;
  bool InScene = false;
  bool MatricesDirty = true;
  float Wv[4][4] = {}, Wvp[4][4] = {}, Nrm[3][3] = {};
  // The states of the last drawing, kept while the states do not change so that the draw calls
  // of one object share them; the index is the queue's copy (none after a flush).
  device::TPix CurPix{};
  device::TVertexState CurVertex;
  bool PixDirty = true, VertexDirty = true;
  uint64_t LightRevision = 0;
  uint32_t PixIndex = UINT32_MAX, VertexIndex = UINT32_MAX;
};

}  // namespace ixoral
