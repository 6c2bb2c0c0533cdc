// The software rasterizer: vertex transformation and lighting, clipping in homogeneous space,
// triangle set-up with a fixed-point top-left fill rule, and the per-pixel stencil, depth,
// texture, specular and blending stages; the recording of a scene's drawing and its flush, in
// chunks of primitives and bands of rows shared out among the drawing threads.
#include "render/device/SoftwareDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "render/device/RenderThreads.h"

#if defined(__x86_64__) || defined(__i386__)
#define IXORAL_X86 1
#include <immintrin.h>
#else
#define IXORAL_X86 0
#endif

namespace ixoral {

namespace {

struct TLightC {  // an enabled light, in camera space
  D3DLIGHTTYPE Type;
  float Diffuse[3], Specular[3], Ambient[3];
  float Pos[3], Dir[3];  // Dir: unit direction the light shines along
  float Range, A0, A1, A2, CosTheta, CosPhi, Falloff;
  bool HasSpecular;
};

inline float Clamp01(float v) { return v > 0 ? (v < 1 ? v : 1) : 0; }
inline float Clamp255(float v) { return v > 0 ? (v < 255 ? v : 255) : 0; }

// The Direct3D comparison functions, for depths (float) and stencil values (unsigned).
template <typename T>
inline bool Compare(DWORD func, T a, T b) {
  switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return a < b;
    case D3DCMP_EQUAL: return a == b;
    case D3DCMP_LESSEQUAL: return a <= b;
    case D3DCMP_GREATER: return a > b;
    case D3DCMP_NOTEQUAL: return a != b;
    case D3DCMP_GREATEREQUAL: return a >= b;
    default: return true;
  }
}
inline bool CompareF(DWORD func, float a, float b) { return Compare<float>(func, a, b); }
inline bool CompareU(DWORD func, uint32_t a, uint32_t b) { return Compare<uint32_t>(func, a, b); }

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

// The same, through a division in double, far quicker than the integer one: the quotient of
// integers below 2^52 is then at most one away, and the products settle it exactly.
inline int64_t FloorDivQuick(int64_t a, int64_t b) {
  constexpr int64_t kExact = int64_t{1} << 52;
  if (a >= kExact || a <= -kExact || b >= kExact) return FloorDiv(a, b);
  int64_t q = static_cast<int64_t>(std::floor(double(a) / double(b)));
  if (q * b > a) --q;
  else if ((q + 1) * b <= a) ++q;
  return q;
}

void Mul(const float a[4][4], const float b[4][4], float out[4][4]) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += double(a[i][k]) * b[k][j];
      out[i][j] = static_cast<float>(s);
    }
}

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

}  // namespace

struct TSoftwareDevice::TState {
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
  TPix CurPix{};
  TVertexState CurVertex;
  bool PixDirty = true, VertexDirty = true;
  uint64_t LightRevision = 0;
  uint32_t PixIndex = UINT32_MAX, VertexIndex = UINT32_MAX;
};


HRESULT TSoftwareDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& m) {
  switch (state) {
    case D3DTRANSFORMSTATE_WORLD: FState->World = m; break;
    case D3DTRANSFORMSTATE_VIEW: FState->View = m; break;
    case D3DTRANSFORMSTATE_PROJECTION: FState->Proj = m; break;
    default: return DDERR_INVALIDPARAMS;
  }
  FState->MatricesDirty = true;
  FState->VertexDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX& m) {
  switch (state) {
    case D3DTRANSFORMSTATE_WORLD: m = FState->World; break;
    case D3DTRANSFORMSTATE_VIEW: m = FState->View; break;
    case D3DTRANSFORMSTATE_PROJECTION: m = FState->Proj; break;
    default: return DDERR_INVALIDPARAMS;
  }
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetViewport(const D3DVIEWPORT7& vp) {
  if (!std::isfinite(vp.dvMinZ) || !std::isfinite(vp.dvMaxZ)) return DDERR_INVALIDPARAMS;
  // As Direct3D: the viewport lies within the render target.
  if (int64_t{vp.dwX} + vp.dwWidth > FTarget.Width() ||
      int64_t{vp.dwY} + vp.dwHeight > FTarget.Height())
    return DDERR_INVALIDPARAMS;
  // Drawings keep the viewport they were given with; the flush is for readers that expect the
  // surface to be up to date once the drawing moves on to another view.
  Flush();
  FState->Viewport = vp;
  FState->PixDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetViewport(D3DVIEWPORT7& vp) {
  vp = FState->Viewport;
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetMaterial(const D3DMATERIAL7& m) {
  FState->Material = m;
  FState->VertexDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetMaterial(D3DMATERIAL7& m) {
  m = FState->Material;
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetLight(DWORD index, const D3DLIGHT7& light) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.SetLight(static_cast<int>(index), light) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::GetLight(DWORD index, D3DLIGHT7& light) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.GetLight(static_cast<int>(index), light) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::LightEnable(DWORD index, bool enable) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.LightEnable(static_cast<int>(index), enable) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::GetLightEnable(DWORD index, bool& enabled) {
  if (index > static_cast<DWORD>(TMemoryLightDevice::kMaxLightIndex)) return DDERR_INVALIDPARAMS;
  return FLights.GetLightEnable(static_cast<int>(index), enabled) ? D3D_OK : DDERR_INVALIDPARAMS;
}

HRESULT TSoftwareDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= kRenderStateCount) return DDERR_INVALIDPARAMS;
  if (FState->Rs[state] != value) {
    FState->Rs[state] = value;
    FState->PixDirty = FState->VertexDirty = true;
  }
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD& value) {
  if (state >= kRenderStateCount) return DDERR_INVALIDPARAMS;
  value = FState->Rs[state];
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state,
                                              DWORD value) {
  if (stage >= kTextureStageCount || state >= kTextureStageStateCount) return DDERR_INVALIDPARAMS;
  FState->Tss[stage][state] = value;
  if (state == D3DTSS_ADDRESS) FState->Tss[stage][D3DTSS_ADDRESSU] = FState->Tss[stage][D3DTSS_ADDRESSV] = value;
  FState->PixDirty = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state,
                                              DWORD& value) {
  if (stage >= kTextureStageCount || state >= kTextureStageStateCount) return DDERR_INVALIDPARAMS;
  value = FState->Tss[stage][state];
  return D3D_OK;
}

HRESULT TSoftwareDevice::SetTexture(DWORD stage, std::shared_ptr<TTextureSurface> texture) {
  if (stage >= kTextureStageCount) return DDERR_INVALIDPARAMS;
  FState->Textures[stage] = std::move(texture);
  FState->PixDirty = true;
  return D3D_OK;
}

// ------------------------------------------------------------------- transformation, lighting

void TSoftwareDevice::UpdateMatrices() {
  TState& s = *FState;
  if (!s.MatricesDirty) return;
  Mul(s.World.m, s.View.m, s.Wv);
  Mul(s.Wv, s.Proj.m, s.Wvp);
  // Normals go through the inverse transpose of the world-view matrix's 3 x 3 part, and are not
  // renormalised: the non-unit normals of the shape generators light as they did.
  const float(&a)[4][4] = s.Wv;
  const double c00 = double(a[1][1]) * a[2][2] - double(a[1][2]) * a[2][1];
  const double c01 = double(a[1][2]) * a[2][0] - double(a[1][0]) * a[2][2];
  const double c02 = double(a[1][0]) * a[2][1] - double(a[1][1]) * a[2][0];
  const double c10 = double(a[0][2]) * a[2][1] - double(a[0][1]) * a[2][2];
  const double c11 = double(a[0][0]) * a[2][2] - double(a[0][2]) * a[2][0];
  const double c12 = double(a[0][1]) * a[2][0] - double(a[0][0]) * a[2][1];
  const double c20 = double(a[0][1]) * a[1][2] - double(a[0][2]) * a[1][1];
  const double c21 = double(a[0][2]) * a[1][0] - double(a[0][0]) * a[1][2];
  const double c22 = double(a[0][0]) * a[1][1] - double(a[0][1]) * a[1][0];
  const double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
  // Row-vector n' = n x inverse(M)^T; inverse(M)^T = cofactor(M) / det.
  const double inv = (det != 0 && std::isfinite(det)) ? 1.0 / det : 0.0;
  const double cof[3][3] = {{c00, c01, c02}, {c10, c11, c12}, {c20, c21, c22}};
  // n'_j = sum_i n_i * (inverse(M)^T)^T... written out: (inverse M)^T = cof/det, and a row vector
  // times it gives n'_j = sum_i n_i * cof[j][i] / det.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) s.Nrm[i][j] = static_cast<float>(cof[j][i] * inv);
  s.MatricesDirty = false;
}

namespace {

struct TColorF {
  float r, g, b, a;
};

inline TColorF FromD3DColor(D3DCOLOR c) {
  return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f,
          ((c >> 24) & 0xFF) / 255.0f};
}

inline TColorF FromValue(const D3DCOLORVALUE& v) { return {v.r, v.g, v.b, v.a}; }

// Vertices of the usual kind of a solid (lit, with a normal, colours from the material alone),
// transformed and lit several at a time: what they need besides the vertex state.
struct TBatchJob {
  const TVertexState* State;
  const uint8_t* Data;
  size_t Stride, NormalOff, TexOff;
  bool HasTex, Normalize, LocalEye, Specular;
  float Power, Alpha;
  float Md[3], Ma[3], Ms[3], Me[3], Ga[3];
  const uint32_t* Index;  // the vertices to do
  size_t Count;
  TSoftwareDevice::TVtx* Out;
};

// A corner of a triangle before lighting: where it falls on the screen, and its clipping code
// (bits 0 to 5: outside the planes in the clipper's order; 64: not finite; 128: w too small).
struct TCorner {
  float Sx, Sy;
  uint32_t Code;
};

#if IXORAL_X86
#define VB_NAME TransformAndLightSse
#define VB_CORNERS PositionsAndCornersSse
#define VB_LANES 4
#define VB_SQRT(x) __builtin_ia32_sqrtps(x)
#include "render/device/VertexBatch.inc"
#undef VB_NAME
#undef VB_CORNERS
#undef VB_LANES
#undef VB_SQRT

// The AVX2 copy: GCC takes the target for what follows, clang as an attribute on each function.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#define VB_NAME TransformAndLightAvx2
#define VB_CORNERS PositionsAndCornersAvx2
#define VB_LANES 8
#define VB_SQRT(x) __builtin_ia32_sqrtps256(x)
#include "render/device/VertexBatch.inc"
#undef VB_NAME
#undef VB_CORNERS
#undef VB_LANES
#undef VB_SQRT
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

using TBatchFn = void (*)(const TBatchJob&);
using TCornersFn = void (*)(const TVertexState&, const D3DVIEWPORT7&, const uint8_t*, size_t, DWORD,
                            TCorner*);
// AVX2 where the processor has it (and IXORAL_RENDER_NO_AVX2 is not set), chosen once.
const bool kBatchAvx2 = __builtin_cpu_supports("avx2") && !std::getenv("IXORAL_RENDER_NO_AVX2");
const TBatchFn kTransformAndLight = kBatchAvx2 ? TransformAndLightAvx2 : TransformAndLightSse;
const TCornersFn kPositionsAndCorners = kBatchAvx2 ? PositionsAndCornersAvx2 : PositionsAndCornersSse;
#else
#define VB_NAME TransformAndLightPortable
#define VB_CORNERS PositionsAndCornersPortable
#define VB_LANES 4
#define VB_SQRT(x) SqrtLanes(x)
template <class V>
V SqrtLanes(V x) {
  for (int q = 0; q < VB_LANES; ++q) x[q] = std::sqrt(x[q]);
  return x;
}
#include "render/device/VertexBatch.inc"
#undef VB_NAME
#undef VB_CORNERS
#undef VB_LANES
#undef VB_SQRT
const auto kTransformAndLight = TransformAndLightPortable;
const auto kPositionsAndCorners = PositionsAndCornersPortable;
#endif


// Whether two vertices have the same bytes (a whole number of 32-bit words).
inline bool SameWords(const uint8_t* a, const uint8_t* b, size_t bytes) {
  uint32_t diff = 0;
  for (size_t k = 0; k < bytes; k += 4) {
    uint32_t x, y;
    std::memcpy(&x, a + k, 4);
    std::memcpy(&y, b + k, 4);
    diff |= x ^ y;
  }
  return diff == 0;
}

// Transforms and lights `count` vertices of the format `fvf` under the states `s`, into `out`;
// with `need`, only the vertices it marks.
void ProcessVertices(const TVertexState& s, DWORD fvf, const uint8_t* data, DWORD count,
                     TSoftwareDevice::TVtx* out, const uint8_t* need = nullptr) {
  using TVtx = TSoftwareDevice::TVtx;
  // Layout of the flexible format.
  size_t off = 12;
  size_t reservedOff = 0, normalOff = 0, diffuseOff = 0, specularOff = 0, texOff = 0;
  if (fvf & D3DFVF_RESERVED1) {
    reservedOff = off;
    off += 4;
  }
  (void)reservedOff;
  const bool hasNormal = fvf & D3DFVF_NORMAL;
  if (hasNormal) {
    normalOff = off;
    off += 12;
  }
  const bool hasDiffuse = fvf & D3DFVF_DIFFUSE;
  if (hasDiffuse) {
    diffuseOff = off;
    off += 4;
  }
  const bool hasSpecular = fvf & D3DFVF_SPECULAR;
  if (hasSpecular) {
    specularOff = off;
    off += 4;
  }
  const DWORD texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  texOff = off;
  off += 8 * texCount;
  const size_t stride = off;

  const DWORD* rs = s.Rs;
  const bool lighting = rs[D3DRENDERSTATE_LIGHTING] != 0;
  const bool specularOn = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
  const bool colorVertex = rs[D3DRENDERSTATE_COLORVERTEX] != 0;
  const bool localViewer = rs[D3DRENDERSTATE_LOCALVIEWER] != 0;
  const bool normalize = rs[D3DRENDERSTATE_NORMALIZENORMALS] != 0;

  // Which colour each material term comes from: 0 material, 1 vertex diffuse, 2 vertex specular.
  auto source = [&](D3DRENDERSTATETYPE st) -> int {
    if (!colorVertex) return 0;
    const DWORD v = rs[st];
    if (v == D3DMCS_COLOR1 && hasDiffuse) return 1;
    if (v == D3DMCS_COLOR2 && hasSpecular) return 2;
    return 0;
  };
  const int srcDiffuse = source(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE);
  const int srcAmbient = source(D3DRENDERSTATE_AMBIENTMATERIALSOURCE);
  const int srcSpecular = source(D3DRENDERSTATE_SPECULARMATERIALSOURCE);
  const int srcEmissive = source(D3DRENDERSTATE_EMISSIVEMATERIALSOURCE);
  const D3DMATERIAL7& m = s.Material;
  const TColorF globalAmbient = FromD3DColor(rs[D3DRENDERSTATE_AMBIENT]);
  const TColorF matDiffuse = FromValue(m.diffuse), matAmbient = FromValue(m.ambient),
                matSpecular = FromValue(m.specular), matEmissive = FromValue(m.emissive);
  const bool anyVertexSource = srcDiffuse || srcAmbient || srcSpecular || srcEmissive;
  // The vertices of solids go through the batched code; the others one at a time below.
  const bool batched = lighting && hasNormal && !anyVertexSource;
  std::vector<uint32_t> todo, copies;
  if (batched) todo.reserve(count);


  const bool anySpecularLight = s.AnySpecularLight;
  const auto& M = s.Wvp;
  const auto& W = s.Wv;
  const auto& N = s.Nrm;
  // Meshes drawn without indices repeat each vertex in several triangles: a vertex whose bytes
  // equal those of one met shortly before gets that one's result (the same input under the same
  // states gives the same output), found through a small table keyed by a hash of the bytes.
  constexpr size_t kCacheSize = 512;
  const bool useCache = count >= 16 && stride % 4 == 0;
  std::array<uint32_t, kCacheSize> cache;
  if (useCache) cache.fill(UINT32_MAX);
  for (DWORD i = 0; i < count; ++i) {
    if (need && !need[i]) continue;
    const uint8_t* v = data + size_t(i) * stride;
    size_t slot = 0;
    if (useCache) {
      // Each word weighted by its own odd factor: the products do not wait on one another.
      uint32_t h = 0;
      for (size_t k = 0; k < stride; k += 4) {
        uint32_t word;
        std::memcpy(&word, v + k, 4);
        h += (word ^ (word >> 16)) * (0x9E3779B1u + 2 * uint32_t(k));
      }
      h *= 0x85EBCA6Bu;
      slot = (h ^ (h >> 15) ^ (h >> 23)) & (kCacheSize - 1);
      const uint32_t seen = cache[slot];
      if (seen != UINT32_MAX && SameWords(data + size_t(seen) * stride, v, stride)) {
        if (batched) {
          copies.push_back(i);
          copies.push_back(seen);
        } else {
          out[i] = out[seen];
        }
        continue;
      }
      cache[slot] = i;
    }
    if (batched) {
      todo.push_back(i);
      continue;
    }
    float p[3];
    std::memcpy(p, v, 12);
    TVtx& o = out[i];
    o.x = p[0] * M[0][0] + p[1] * M[1][0] + p[2] * M[2][0] + M[3][0];
    o.y = p[0] * M[0][1] + p[1] * M[1][1] + p[2] * M[2][1] + M[3][1];
    o.z = p[0] * M[0][2] + p[1] * M[1][2] + p[2] * M[2][2] + M[3][2];
    o.w = p[0] * M[0][3] + p[1] * M[1][3] + p[2] * M[2][3] + M[3][3];
    D3DCOLOR vd = 0xFFFFFFFF, vs = 0;
    if (hasDiffuse) std::memcpy(&vd, v + diffuseOff, 4);
    if (hasSpecular) std::memcpy(&vs, v + specularOff, 4);
    if (texCount > 0) {
      std::memcpy(&o.u, v + texOff, 4);
      std::memcpy(&o.v, v + texOff + 4, 4);
    } else {
      o.u = o.v = 0;
    }
    if (!lighting) {
      const TColorF d = FromD3DColor(vd), sp = FromD3DColor(vs);
      o.r = d.r * 255, o.g = d.g * 255, o.b = d.b * 255, o.a = d.a * 255;
      o.sr = sp.r * 255, o.sg = sp.g * 255, o.sb = sp.b * 255;
      continue;
    }
    TColorF cvd{}, cvs{};
    if (anyVertexSource) cvd = FromD3DColor(vd), cvs = FromD3DColor(vs);
    auto pick = [&](int src, const TColorF& mat) { return src == 1 ? cvd : src == 2 ? cvs : mat; };
    const TColorF md = pick(srcDiffuse, matDiffuse), ma = pick(srcAmbient, matAmbient),
                  ms = pick(srcSpecular, matSpecular), me = pick(srcEmissive, matEmissive);
    float n[3] = {0, 0, 0};
    if (hasNormal) {
      float nm[3];
      std::memcpy(nm, v + normalOff, 12);
      for (int j = 0; j < 3; ++j) n[j] = nm[0] * N[0][j] + nm[1] * N[1][j] + nm[2] * N[2][j];
      if (normalize) {
        const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len > 0)
          for (float& x : n) x /= len;
      }
    }
    const float pc[3] = {p[0] * W[0][0] + p[1] * W[1][0] + p[2] * W[2][0] + W[3][0],
                         p[0] * W[0][1] + p[1] * W[1][1] + p[2] * W[2][1] + W[3][1],
                         p[0] * W[0][2] + p[1] * W[1][2] + p[2] * W[2][2] + W[3][2]};
    float amb[3] = {0, 0, 0}, dif[3] = {0, 0, 0}, spe[3] = {0, 0, 0};
    const bool specularMaterial = ms.r != 0 || ms.g != 0 || ms.b != 0;
    float eye[3] = {0, 0, -1};
    if (specularOn && localViewer && specularMaterial && anySpecularLight) {
      const float len = std::sqrt(pc[0] * pc[0] + pc[1] * pc[1] + pc[2] * pc[2]);
      if (len > 0) eye[0] = -pc[0] / len, eye[1] = -pc[1] / len, eye[2] = -pc[2] / len;
    }
    for (const TLightC& l : s.Lights) {
      float L[3];
      float atten = 1, spot = 1;
      if (l.Type == D3DLIGHT_DIRECTIONAL) {
        L[0] = -l.Dir[0], L[1] = -l.Dir[1], L[2] = -l.Dir[2];
      } else {
        float d[3] = {l.Pos[0] - pc[0], l.Pos[1] - pc[1], l.Pos[2] - pc[2]};
        const float dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (!(dist <= l.Range)) continue;
        if (dist > 0)
          for (int j = 0; j < 3; ++j) L[j] = d[j] / dist;
        else
          L[0] = L[1] = 0, L[2] = -1;
        const float den = l.A0 + l.A1 * dist + l.A2 * dist * dist;
        // A light whose three factors are zero is not attenuated.
        atten = den > 0 ? 1.0f / den : 1.0f;
        if (l.Type == D3DLIGHT_SPOT) {
          const float rho = -(L[0] * l.Dir[0] + L[1] * l.Dir[1] + L[2] * l.Dir[2]);
          if (rho > l.CosTheta)
            spot = 1;
          else if (rho <= l.CosPhi)
            spot = 0;
          else {
            const float t = (rho - l.CosPhi) / (l.CosTheta - l.CosPhi);
            spot = l.Falloff == 1.0f ? t : std::pow(t, l.Falloff);
          }
          if (spot <= 0) {
            continue;
          }
        }
      }
      const float k = atten * spot;
      for (int j = 0; j < 3; ++j) amb[j] += k * l.Ambient[j];
      const float ndl = n[0] * L[0] + n[1] * L[1] + n[2] * L[2];
      if (ndl > 0) {
        for (int j = 0; j < 3; ++j) dif[j] += k * ndl * l.Diffuse[j];
        if (specularOn && m.power > 0 && l.HasSpecular && specularMaterial) {
          float h[3] = {L[0] + eye[0], L[1] + eye[1], L[2] + eye[2]};
          const float hl = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
          if (hl > 0) {
            const float ndh = (n[0] * h[0] + n[1] * h[1] + n[2] * h[2]) / hl;
            if (ndh > 0) {
              const float f = k * std::pow(ndh, m.power);
              for (int j = 0; j < 3; ++j) spe[j] += f * l.Specular[j];
            }
          }
        }
      }
    }
    const float ga[3] = {globalAmbient.r, globalAmbient.g, globalAmbient.b};
    const float mdc[3] = {md.r, md.g, md.b}, mac[3] = {ma.r, ma.g, ma.b};
    const float msc[3] = {ms.r, ms.g, ms.b}, mec[3] = {me.r, me.g, me.b};
    float outc[3], outs[3];
    for (int j = 0; j < 3; ++j) {
      outc[j] = Clamp01(mec[j] + mac[j] * (ga[j] + amb[j]) + mdc[j] * dif[j]) * 255.0f;
      outs[j] = Clamp01(msc[j] * spe[j]) * 255.0f;
    }
    o.r = outc[0], o.g = outc[1], o.b = outc[2];
    o.a = Clamp01(md.a) * 255.0f;
    o.sr = outs[0], o.sg = outs[1], o.sb = outs[2];
  }
  if (!batched) return;
  TBatchJob j;
  j.State = &s;
  j.Data = data;
  j.Stride = stride, j.NormalOff = normalOff, j.TexOff = texOff;
  j.HasTex = texCount > 0;
  j.Normalize = normalize;
  const bool specularMaterial = matSpecular.r != 0 || matSpecular.g != 0 || matSpecular.b != 0;
  j.LocalEye = specularOn && localViewer && specularMaterial && anySpecularLight;
  j.Specular = specularOn && m.power > 0 && specularMaterial;
  j.Power = m.power;
  j.Alpha = Clamp01(matDiffuse.a) * 255.0f;
  const TColorF* from[5] = {&matDiffuse, &matAmbient, &matSpecular, &matEmissive, &globalAmbient};
  float* to[5] = {j.Md, j.Ma, j.Ms, j.Me, j.Ga};
  for (int k = 0; k < 5; ++k) to[k][0] = from[k]->r, to[k][1] = from[k]->g, to[k][2] = from[k]->b;
  j.Index = todo.data();
  j.Count = todo.size();
  j.Out = out;
  kTransformAndLight(j);
  for (size_t k = 0; k < copies.size(); k += 2) out[copies[k]] = out[copies[k + 1]];
}

}  // namespace

// ----------------------------------------------------------------------------- pixel stages

void TSoftwareDevice::PreparePixelState() {
  TState& s = *FState;
  TPix& p = s.CurPix;
  const DWORD* rs = s.Rs;
  p.ZEnable = rs[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE && FTarget.HasDepth();
  p.ZWrite = rs[D3DRENDERSTATE_ZWRITEENABLE] != 0;
  p.ZFunc = rs[D3DRENDERSTATE_ZFUNC];
  p.Stencil = rs[D3DRENDERSTATE_STENCILENABLE] != 0 && FTarget.HasStencil();
  p.SFunc = rs[D3DRENDERSTATE_STENCILFUNC];
  p.SFail = rs[D3DRENDERSTATE_STENCILFAIL];
  p.SZFail = rs[D3DRENDERSTATE_STENCILZFAIL];
  p.SPass = rs[D3DRENDERSTATE_STENCILPASS];
  p.SRef = rs[D3DRENDERSTATE_STENCILREF] & 0xFF;
  p.SMask = rs[D3DRENDERSTATE_STENCILMASK] & 0xFF;
  p.SWMask = rs[D3DRENDERSTATE_STENCILWRITEMASK] & 0xFF;
  p.Blend = rs[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
  p.SrcBlend = rs[D3DRENDERSTATE_SRCBLEND];
  p.DstBlend = rs[D3DRENDERSTATE_DESTBLEND];
  // The two "both" source factors also set the destination factor.
  if (p.SrcBlend == D3DBLEND_BOTHSRCALPHA)
    p.SrcBlend = D3DBLEND_SRCALPHA, p.DstBlend = D3DBLEND_INVSRCALPHA;
  else if (p.SrcBlend == D3DBLEND_BOTHINVSRCALPHA)
    p.SrcBlend = D3DBLEND_INVSRCALPHA, p.DstBlend = D3DBLEND_SRCALPHA;
  p.AlphaTest = rs[D3DRENDERSTATE_ALPHATESTENABLE] != 0;
  p.AlphaFunc = rs[D3DRENDERSTATE_ALPHAFUNC];
  p.AlphaRef = rs[D3DRENDERSTATE_ALPHAREF] & 0xFF;
  p.Specular = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
  p.LastPixel = rs[D3DRENDERSTATE_LASTPIXEL] == 0;
  p.Flat = rs[D3DRENDERSTATE_SHADEMODE] == D3DSHADE_FLAT;
  p.Wire = rs[D3DRENDERSTATE_FILLMODE] == D3DFILL_WIREFRAME;
  p.Points = rs[D3DRENDERSTATE_FILLMODE] == D3DFILL_POINT;
  p.Cull = rs[D3DRENDERSTATE_CULLMODE];
  const TColorF tf = FromD3DColor(rs[D3DRENDERSTATE_TEXTUREFACTOR]);
  p.TFactor[0] = tf.r * 255, p.TFactor[1] = tf.g * 255, p.TFactor[2] = tf.b * 255,
  p.TFactor[3] = tf.a * 255;
  const DWORD* t = s.Tss[0];
  p.ColorOp = t[D3DTSS_COLOROP];
  p.ColorArg1 = t[D3DTSS_COLORARG1], p.ColorArg2 = t[D3DTSS_COLORARG2];
  p.AlphaOp = t[D3DTSS_ALPHAOP];
  p.AlphaArg1 = t[D3DTSS_ALPHAARG1], p.AlphaArg2 = t[D3DTSS_ALPHAARG2];
  p.AddrU = t[D3DTSS_ADDRESSU], p.AddrV = t[D3DTSS_ADDRESSV];
  p.Bilinear = t[D3DTSS_MAGFILTER] == D3DTFG_LINEAR;
  const auto* tex = dynamic_cast<const TSurface*>(s.Textures[0].get());
  // No texture (or the stage disabled) leaves the diffuse colour as it is.
  if (tex && tex->Valid() && p.ColorOp != D3DTOP_DISABLE) {
    p.Textured = true;
    p.Tex = tex->Pixels();
    p.TexW = tex->Width();
    p.TexH = tex->Height();
  } else {
    p.Textured = false;
    p.Tex = nullptr;
    p.TexW = p.TexH = 0;
  }
  const D3DVIEWPORT7& vp = s.Viewport;
  p.X0 = static_cast<int>(std::min<int64_t>(vp.dwX, FTarget.Width()));
  p.Y0 = static_cast<int>(std::min<int64_t>(vp.dwY, FTarget.Height()));
  p.X1 = static_cast<int>(std::min<int64_t>(int64_t{vp.dwX} + vp.dwWidth, FTarget.Width()));
  p.Y1 = static_cast<int>(std::min<int64_t>(int64_t{vp.dwY} + vp.dwHeight, FTarget.Height()));
  p.Pitch = FTarget.Width();
  p.Color = FTarget.Pixels();
  p.Depth = FTarget.HasDepth() ? FTarget.Depth() : nullptr;
  p.StencilBuf = FTarget.HasStencil() ? FTarget.Stencil() : nullptr;
  p.Vp = vp;
}

namespace {

inline uint8_t StencilOp(DWORD op, uint8_t s, uint32_t ref, uint32_t writeMask) {
  uint32_t v;
  switch (op) {
    case D3DSTENCILOP_ZERO: v = 0; break;
    case D3DSTENCILOP_REPLACE: v = ref; break;
    case D3DSTENCILOP_INCRSAT: v = s < 255 ? s + 1u : 255u; break;
    case D3DSTENCILOP_DECRSAT: v = s > 0 ? s - 1u : 0u; break;
    case D3DSTENCILOP_INVERT: v = ~uint32_t{s} & 0xFF; break;
    case D3DSTENCILOP_INCR: v = (s + 1u) & 0xFF; break;
    case D3DSTENCILOP_DECR: v = (s + 255u) & 0xFF; break;
    default: return s;
  }
  return static_cast<uint8_t>((s & ~writeMask) | (v & writeMask));
}

inline float BlendFactor(DWORD f, int channel, const float src[4], const float dst[4]) {
  switch (f) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 1;
    case D3DBLEND_SRCCOLOR: return src[channel] / 255.0f;
    case D3DBLEND_INVSRCCOLOR: return 1 - src[channel] / 255.0f;
    case D3DBLEND_SRCALPHA: return src[3] / 255.0f;
    case D3DBLEND_INVSRCALPHA: return 1 - src[3] / 255.0f;
    case D3DBLEND_DESTALPHA: return dst[3] / 255.0f;
    case D3DBLEND_INVDESTALPHA: return 1 - dst[3] / 255.0f;
    case D3DBLEND_DESTCOLOR: return dst[channel] / 255.0f;
    case D3DBLEND_INVDESTCOLOR: return 1 - dst[channel] / 255.0f;
    case D3DBLEND_SRCALPHASAT:
      return channel == 3 ? 1 : std::min(src[3], 255 - dst[3]) / 255.0f;
    default: return 1;
  }
}

// Everything after rasterization for one pixel: stencil and depth tests, texture stage, specular,
// alpha test, blending and the write. Colours are 0..255; (u, v) are texture coordinates.
struct TFrag {
  float r, g, b, a, sr, sg, sb, u, v;
};

template <class P>
inline void SampleTexture(const P& p, float u, float v, float out[4]) {
  auto address = [](float t, DWORD mode) {
    if (mode == D3DTADDRESS_CLAMP || mode == D3DTADDRESS_BORDER) return t > 0 ? (t < 1 ? t : 1) : 0.0f;
    if (mode == D3DTADDRESS_MIRROR) {
      float f = t * 0.5f;
      f = f - std::floor(f);
      if (!(f >= 0 && f < 1)) f = 0;
      f *= 2;
      return f > 1 ? 2 - f : f;
    }
    float f = t - std::floor(t);
    return (f >= 0 && f < 1) ? f : 0.0f;
  };
  const bool wrapU = p.AddrU == D3DTADDRESS_WRAP, wrapV = p.AddrV == D3DTADDRESS_WRAP;
  const float fu = address(u, p.AddrU) * p.TexW, fv = address(v, p.AddrV) * p.TexH;
  auto texel = [&](int x, int y) {
    if (wrapU) x = (x % p.TexW + p.TexW) % p.TexW;
    else x = std::clamp(x, 0, p.TexW - 1);
    if (wrapV) y = (y % p.TexH + p.TexH) % p.TexH;
    else y = std::clamp(y, 0, p.TexH - 1);
    return p.Tex[size_t(y) * p.TexW + x];
  };
  if (!p.Bilinear) {
    const uint32_t c = texel(static_cast<int>(fu), static_cast<int>(fv));
    out[0] = float((c >> 16) & 0xFF), out[1] = float((c >> 8) & 0xFF), out[2] = float(c & 0xFF);
    out[3] = float(c >> 24);
    return;
  }
  const float x = fu - 0.5f, y = fv - 0.5f;
  const float x0f = std::floor(x), y0f = std::floor(y);
  const float ax = x - x0f, ay = y - y0f;
  const int x0 = static_cast<int>(x0f), y0 = static_cast<int>(y0f);
  const uint32_t c00 = texel(x0, y0), c10 = texel(x0 + 1, y0), c01 = texel(x0, y0 + 1),
                 c11 = texel(x0 + 1, y0 + 1);
  for (int k = 0; k < 4; ++k) {
    const int sh = k == 3 ? 24 : 16 - 8 * k;
    const float a = float((c00 >> sh) & 0xFF), b = float((c10 >> sh) & 0xFF);
    const float c = float((c01 >> sh) & 0xFF), d = float((c11 >> sh) & 0xFF);
    out[k] = (a + (b - a) * ax) * (1 - ay) + (c + (d - c) * ax) * ay;
  }
}

template <class P>
inline float StageArg(const P& p, DWORD arg, int ch, const TFrag& f, const float tex[4]) {
  float v;
  const int c = (arg & D3DTA_ALPHAREPLICATE) ? 3 : ch;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_TEXTURE: v = tex[c]; break;
    case D3DTA_TFACTOR: v = p.TFactor[c]; break;
    case D3DTA_SPECULAR: v = c == 0 ? f.sr : c == 1 ? f.sg : c == 2 ? f.sb : 255.0f; break;
    default: v = c == 0 ? f.r : c == 1 ? f.g : c == 2 ? f.b : f.a; break;  // diffuse = current
  }
  return (arg & D3DTA_COMPLEMENT) ? 255 - v : v;
}

inline float StageOp(DWORD op, float a1, float a2) {
  switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE2X: return Clamp255(a1 * a2 / 255.0f * 2);
    case D3DTOP_MODULATE4X: return Clamp255(a1 * a2 / 255.0f * 4);
    case D3DTOP_ADD: return Clamp255(a1 + a2);
    case D3DTOP_ADDSIGNED: return Clamp255(a1 + a2 - 127.5f);
    case D3DTOP_ADDSIGNED2X: return Clamp255((a1 + a2 - 127.5f) * 2);
    case D3DTOP_SUBTRACT: return Clamp255(a1 - a2);
    default: return a1 * a2 / 255.0f;  // MODULATE and the operations this device does not have
  }
}

// Stencil and depth tests with their stencil operations and the depth write; true when the
// colour is to be written.
template <bool kStencil, class P>
[[gnu::always_inline]] inline bool DepthStencil(const P& p, size_t idx, float z) {
  if constexpr (kStencil) {
    uint8_t& s = p.StencilBuf[idx];
    if (!CompareU(p.SFunc, p.SRef & p.SMask, s & p.SMask)) {
      s = StencilOp(p.SFail, s, p.SRef, p.SWMask);
      return false;
    }
    if (p.ZEnable && !CompareF(p.ZFunc, z, p.Depth[idx])) {
      s = StencilOp(p.SZFail, s, p.SRef, p.SWMask);
      return false;
    }
    s = StencilOp(p.SPass, s, p.SRef, p.SWMask);
  } else {
    if (p.ZEnable && !CompareF(p.ZFunc, z, p.Depth[idx])) return false;
  }
  if (p.ZEnable && p.ZWrite) p.Depth[idx] = z;
  return true;
}

template <bool kTex, bool kBlend, class P>
[[gnu::always_inline]] inline void ShadeAndWrite(const P& p, size_t idx, TFrag f) {
  float c[4] = {f.r, f.g, f.b, f.a};
  if constexpr (kTex) {
    float tex[4];
    SampleTexture(p, f.u, f.v, tex);
    float nc[4];
    for (int ch = 0; ch < 3; ++ch)
      nc[ch] = p.ColorOp == D3DTOP_DISABLE
                   ? c[ch]
                   : StageOp(p.ColorOp, StageArg(p, p.ColorArg1, ch, f, tex),
                             StageArg(p, p.ColorArg2, ch, f, tex));
    nc[3] = p.AlphaOp == D3DTOP_DISABLE ? c[3]
                                        : StageOp(p.AlphaOp, StageArg(p, p.AlphaArg1, 3, f, tex),
                                                  StageArg(p, p.AlphaArg2, 3, f, tex));
    for (int k = 0; k < 4; ++k) c[k] = nc[k];
  }
  if (p.Specular) {
    c[0] = Clamp255(c[0] + f.sr);
    c[1] = Clamp255(c[1] + f.sg);
    c[2] = Clamp255(c[2] + f.sb);
  }
  if (p.AlphaTest &&
      !CompareU(p.AlphaFunc, static_cast<uint32_t>(c[3] + 0.5f), p.AlphaRef))
    return;
  uint32_t& dstPix = p.Color[idx];
  if constexpr (kBlend) {
    // The two blends the scene drawing uses most, without the general factor table.
    if (p.SrcBlend == D3DBLEND_ZERO && p.DstBlend == D3DBLEND_ONE) return;
    const bool over = p.SrcBlend == D3DBLEND_SRCALPHA && p.DstBlend == D3DBLEND_INVSRCALPHA;
    const uint32_t d = over && c[3] >= 255.0f ? 0 : dstPix;  // opaque over: no need to read it
    if (over && c[3] >= 255.0f) {
      // the source colour as it is
    } else if (over) {
      const float a = Clamp255(c[3]) * (1.0f / 255.0f), na = 1 - a;
      const float dst[4] = {float((d >> 16) & 0xFF), float((d >> 8) & 0xFF), float(d & 0xFF),
                            float(d >> 24)};
      for (int k = 0; k < 4; ++k) c[k] = c[k] * a + dst[k] * na;
    } else {
      const float dst[4] = {float((d >> 16) & 0xFF), float((d >> 8) & 0xFF), float(d & 0xFF),
                            float(d >> 24)};
      float out[4];
      for (int k = 0; k < 4; ++k)
        out[k] = Clamp255(c[k] * BlendFactor(p.SrcBlend, k, c, dst) +
                          dst[k] * BlendFactor(p.DstBlend, k, c, dst));
      for (int k = 0; k < 4; ++k) c[k] = out[k];
    }
  }
  const uint32_t r = static_cast<uint32_t>(Clamp255(c[0]) + 0.5f);
  const uint32_t g = static_cast<uint32_t>(Clamp255(c[1]) + 0.5f);
  const uint32_t b = static_cast<uint32_t>(Clamp255(c[2]) + 0.5f);
  const uint32_t a = static_cast<uint32_t>(Clamp255(c[3]) + 0.5f);
  dstPix = (a << 24) | (r << 16) | (g << 8) | b;
}

template <class P>
inline void FullPixel(const P& p, size_t idx, float z, const TFrag& f) {
  const bool pass = p.Stencil ? DepthStencil<true>(p, idx, z) : DepthStencil<false>(p, idx, z);
  if (!pass) return;
  if (p.Textured) {
    if (p.Blend) ShadeAndWrite<true, true>(p, idx, f);
    else ShadeAndWrite<true, false>(p, idx, f);
  } else {
    if (p.Blend) ShadeAndWrite<false, true>(p, idx, f);
    else ShadeAndWrite<false, false>(p, idx, f);
  }
}

// A vertex on the surface: pixel position, depth, 1/w and the attributes (colours linear in
// screen space, texture coordinates divided by w for perspective).
struct TScreenVtx {
  float x, y, z, iw;
  float a[9];  // r g b a sr sg sb u/w v/w
};

// Polygon clipping in homogeneous space against 0 <= z <= w and -w <= x, y <= w.
int ClipPolygon(TSoftwareDevice::TVtx* poly, int n, TSoftwareDevice::TVtx* tmp) {
  using V = TSoftwareDevice::TVtx;
  auto dist = [](const V& v, int plane) {
    switch (plane) {
      case 0: return v.z;
      case 1: return v.w - v.z;
      case 2: return v.x + v.w;
      case 3: return v.w - v.x;
      case 4: return v.y + v.w;
      default: return v.w - v.y;
    }
  };
  V* in = poly;
  V* out = tmp;
  for (int plane = 0; plane < 6 && n > 0; ++plane) {
    bool anyOut = false;
    for (int i = 0; i < n; ++i)
      if (dist(in[i], plane) < 0) anyOut = true;
    if (!anyOut) continue;
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const V& a = in[i];
      const V& b = in[(i + 1) % n];
      const float da = dist(a, plane), db = dist(b, plane);
      if (da >= 0) out[m++] = a;
      if ((da >= 0) != (db >= 0)) {
        const float t = da / (da - db);
        const float* fa = &a.x;
        const float* fb = &b.x;
        float* fo = &out[m].x;
        for (size_t k = 0; k < sizeof(V) / sizeof(float); ++k) fo[k] = fa[k] + (fb[k] - fa[k]) * t;
        ++m;
      }
    }
    n = m;
    std::swap(in, out);
  }
  if (in != poly)
    for (int i = 0; i < n; ++i) poly[i] = in[i];
  return n;
}


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

// Sets up a triangle once, whatever the bands it is drawn in; false when it covers no pixel.
bool SetupRaster(const TPix& p, const TScreenVtx* v0, const TScreenVtx* v1, const TScreenVtx* v2,
                 TTriangle& t) {
  // 4 bits of sub-pixel precision; pixel centres on integer coordinates.
  int64_t* X = t.X;
  int64_t* Y = t.Y;
  X[0] = RoundBounded(double(v0->x) * 16), X[1] = RoundBounded(double(v1->x) * 16);
  X[2] = RoundBounded(double(v2->x) * 16);
  Y[0] = RoundBounded(double(v0->y) * 16), Y[1] = RoundBounded(double(v1->y) * 16);
  Y[2] = RoundBounded(double(v2->y) * 16);
  int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area == 0) return false;
  const TScreenVtx* vs[3] = {v0, v1, v2};
  if (area < 0) {
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
    std::swap(vs[1], vs[2]);
    area = -area;
  }
  int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
  int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  t.Y0 = static_cast<int>(std::max<int64_t>(p.Y0, FloorDiv(minY + 15, 16)));
  t.Y1 = static_cast<int>(std::min<int64_t>(p.Y1 - 1, FloorDiv(maxY, 16)));
  t.XLo = static_cast<int>(std::max<int64_t>(p.X0, FloorDiv(minX + 15, 16)));
  t.XHi = static_cast<int>(std::min<int64_t>(p.X1 - 1, FloorDiv(maxX, 16)));
  if (t.Y0 > t.Y1 || t.XLo > t.XHi) return false;
  // Attribute planes over the snapped vertex positions.
  const double fx0 = X[0] / 16.0, fy0 = Y[0] / 16.0;
  t.Fx0 = fx0, t.Fy0 = fy0;
  const double ax1 = X[1] / 16.0 - fx0, ay1 = Y[1] / 16.0 - fy0;
  const double ax2 = X[2] / 16.0 - fx0, ay2 = Y[2] / 16.0 - fy0;
  const double inv = 1.0 / (ax1 * ay2 - ax2 * ay1);
  // Only the planes the pixel stages use: depth and diffuse always, specular when it is added,
  // 1/w and the texture coordinates when a texture is sampled.
  float* base = t.Base;
  float* ddx = t.Ddx;
  float* ddy = t.Ddy;
  std::fill_n(base, 11, 0.0f), std::fill_n(ddx, 11, 0.0f), std::fill_n(ddy, 11, 0.0f);
  const float fay1 = float(ay1), fay2 = float(ay2), fax1 = float(ax1), fax2 = float(ax2);
  const float finv = float(inv);
  auto plane = [&](int k, float a0, float a1, float a2) {
    const float d1 = a1 - a0, d2 = a2 - a0;
    ddx[k] = (d1 * fay2 - d2 * fay1) * finv;
    ddy[k] = (d2 * fax1 - d1 * fax2) * finv;
    base[k] = a0;
  };
  {
    // Depth in double: coplanar passes must compare equal and near surfaces stay apart.
    const double d1 = double(vs[1]->z) - vs[0]->z, d2 = double(vs[2]->z) - vs[0]->z;
    ddx[0] = static_cast<float>((d1 * ay2 - d2 * ay1) * inv);
    ddy[0] = static_cast<float>((d2 * ax1 - d1 * ax2) * inv);
    base[0] = vs[0]->z;
  }
  for (int k = 0; k < 4; ++k) plane(2 + k, vs[0]->a[k], vs[1]->a[k], vs[2]->a[k]);
  if (p.Specular)
    for (int k = 4; k < 7; ++k) plane(2 + k, vs[0]->a[k], vs[1]->a[k], vs[2]->a[k]);
  if (p.Textured) {
    plane(1, vs[0]->iw, vs[1]->iw, vs[2]->iw);
    for (int k = 7; k < 9; ++k) plane(2 + k, vs[0]->a[k], vs[1]->a[k], vs[2]->a[k]);
  }
  // Untextured, no stencil, depth test "less or equal" with writes, no alpha test, and either no
  // blending or the "over" blend of a triangle opaque at its three corners (its alpha plane is then
  // exactly 255 everywhere): the pixel is the interpolated colour, written as it is.
  t.PlainFill = !p.Textured && !p.Stencil && p.ZEnable && p.ZWrite &&
                p.ZFunc == D3DCMP_LESSEQUAL && !p.AlphaTest;
  if (p.Blend)
    t.PlainFill = t.PlainFill && p.SrcBlend == D3DBLEND_SRCALPHA &&
                  p.DstBlend == D3DBLEND_INVSRCALPHA && vs[0]->a[3] >= 255.0f &&
                  vs[1]->a[3] >= 255.0f && vs[2]->a[3] >= 255.0f && ddx[5] == 0 && ddy[5] == 0;
  return true;
}

// The edges of a set-up triangle: edge i goes from corner i to corner i+1; a pixel is inside when
// every edge function is positive, or zero on a top or left edge.
struct TEdges {
  int64_t Dx[3], Dy[3], Bias[3];
  explicit TEdges(const TTriangle& t) {
    for (int i = 0; i < 3; ++i) {
      const int j = (i + 1) % 3;
      Dx[i] = t.X[j] - t.X[i];
      Dy[i] = t.Y[j] - t.Y[i];
      const bool topLeft = (Dy[i] == 0 && Dx[i] > 0) || Dy[i] < 0;
      Bias[i] = topLeft ? 0 : -1;
    }
  }
};

// The first and last pixels of row py inside the triangle; false when there are none.
[[gnu::always_inline]] inline bool RowBounds(const TTriangle& t, const TEdges& e, int py,
                                             int64_t& lo, int64_t& hi) {
  const int64_t* X = t.X;
  const int64_t* Y = t.Y;
  const int64_t xLo = t.XLo, xHi = t.XHi;
  lo = xLo, hi = xHi;
  if (xHi - xLo < 24) {
    // Small triangles: step the edge functions along the row rather than dividing.
    int64_t f[3], k[3];
    for (int i = 0; i < 3; ++i) {
      k[i] = -e.Dy[i] * 16;
      f[i] = e.Dx[i] * (int64_t{py} * 16 - Y[i]) + e.Dy[i] * X[i] + e.Bias[i] + k[i] * xLo;
    }
    int64_t first = -1, last = -2;
    for (int64_t px = xLo; px <= xHi; ++px) {
      if ((f[0] | f[1] | f[2]) >= 0) {
        if (first < 0) first = px;
        last = px;
      } else if (first >= 0) {
        break;
      }
      f[0] += k[0], f[1] += k[1], f[2] += k[2];
    }
    if (first < 0) return false;
    lo = first, hi = last;
    return true;
  }
  for (int i = 0; i < 3 && lo <= hi; ++i) {
    // E(px) = C + K * px, inside when E + bias >= 0.
    const int64_t K = -e.Dy[i] * 16;
    const int64_t C = e.Dx[i] * (int64_t{py} * 16 - Y[i]) + e.Dy[i] * X[i] + e.Bias[i];
    if (K > 0) {
      lo = std::max(lo, -FloorDivQuick(C, K));  // px >= ceil(-C / K)
    } else if (K < 0) {
      hi = std::min(hi, FloorDivQuick(C, -K));
    } else if (C < 0) {
      lo = hi + 1;
    }
  }
  return lo <= hi;
}

#if IXORAL_X86
// AVX2 where the processor has it, unless IXORAL_RENDER_NO_AVX2 is set (tests of the portable
// code and comparisons).
const bool kHasAvx2 = __builtin_cpu_supports("avx2") && !std::getenv("IXORAL_RENDER_NO_AVX2");

// Rows y0 .. y1 of an opaque solid triangle (TTriangle::PlainFill): the row loop of
// RasterTriangle, with the colour r g b a and specular sr sg sb stepped lane by lane in one
// register, the same additions as one at a time, and the clamps, rounding and packing of the
// scalar code four channels at once.
__attribute__((target("avx2"))) void PlainTriangleAvx2(const TPix& p, const TTriangle& t, int y0,
                                                       int y1) {
  const TEdges e(t);
  const float* base = t.Base;
  const float* ddx = t.Ddx;
  const float* ddy = t.Ddy;
  const __m256 d = _mm256_setr_ps(ddx[2], ddx[3], ddx[4], ddx[5], ddx[6], ddx[7], ddx[8], 0);
  const float dz = ddx[0];
  const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
  // Bytes of the channels r g b a (lanes 0 to 3) in the order of 0xAARRGGBB.
  const __m128i order = _mm_setr_epi8(8, 4, 0, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const bool specular = p.Specular;
  for (int py = y0; py <= y1; ++py) {
    int64_t lo, hi;
    if (!RowBounds(t, e, py, lo, hi)) continue;
    const float dxs = static_cast<float>(double(lo) - t.Fx0);
    const float dys = static_cast<float>(double(py) - t.Fy0);
    float at[9];
    for (int k = 0; k < 9; ++k) at[k] = base[k] + ddx[k] * dxs + ddy[k] * dys;
    float z = at[0];
    __m256 acc = _mm256_setr_ps(at[2], at[3], at[4], at[5], at[6], at[7], at[8], 0);
    const size_t rowIdx = size_t(py) * p.Pitch;
    float* depth = p.Depth + rowIdx;
    uint32_t* colour = p.Color + rowIdx;
    for (int64_t px = lo; px <= hi; ++px) {
      if (z <= depth[px]) {
        depth[px] = z;
        __m128 c = _mm256_castps256_ps128(acc);
        // max(x, 0) then min(., 255) is Clamp255, a NaN giving 0 as there.
        if (specular)
          c = _mm_min_ps(_mm_max_ps(_mm_add_ps(c, _mm256_extractf128_ps(acc, 1)), zero), top);
        c = _mm_add_ps(_mm_min_ps(_mm_max_ps(c, zero), top), half);
        colour[px] = uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi8(_mm_cvttps_epi32(c), order)));
      }
      z += dz;
      acc = _mm256_add_ps(acc, d);
    }
  }
}
#endif

// Draws the rows bandY0 .. bandY1 - 1 of a triangle; the pixels of a row do not depend on the
// band, so any split of the surface into bands gives the same picture.
template <bool kTex, bool kStencil, bool kBlend, class P>
void RasterTriangle(const P& p, const TTriangle& t, int bandY0, int bandY1) {
  const int y0 = std::max(t.Y0, bandY0), y1 = std::min(t.Y1, bandY1 - 1);
  if (y0 > y1) return;
  const bool plainFill = t.PlainFill;
#if IXORAL_X86
  if (plainFill && kHasAvx2) {
    PlainTriangleAvx2(p, t, y0, y1);
    return;
  }
#endif
  const TEdges e(t);
  constexpr int kN = 11;
  const double fx0 = t.Fx0, fy0 = t.Fy0;
  const float* base = t.Base;
  const float* ddx = t.Ddx;
  const float* ddy = t.Ddy;
  for (int py = y0; py <= y1; ++py) {
    int64_t lo, hi;
    if (!RowBounds(t, e, py, lo, hi)) continue;
    const float dxs = static_cast<float>(double(lo) - fx0), dys = static_cast<float>(double(py) - fy0);
    // The planes at the row's first pixel; 1/w and the texture's only when they are read.
    float at[kN] = {};
    at[0] = base[0] + ddx[0] * dxs + ddy[0] * dys;
    for (int k = 2; k < 9; ++k) at[k] = base[k] + ddx[k] * dxs + ddy[k] * dys;
    if constexpr (kTex)
      for (int k : {1, 9, 10}) at[k] = base[k] + ddx[k] * dxs + ddy[k] * dys;
    // The attributes stepped along the row, kept in registers.
    float z = at[0], iw = at[1], r = at[2], g = at[3], b = at[4], a = at[5];
    float sr = at[6], sg = at[7], sb = at[8], uw = at[9], vw = at[10];
    const size_t rowIdx = size_t(py) * p.Pitch;
    if (plainFill) {
      // The usual case of solid drawing, with the same arithmetic as the general loop below.
      float* depth = p.Depth + rowIdx;
      uint32_t* colour = p.Color + rowIdx;
      for (int64_t px = lo; px <= hi; ++px) {
        if (z <= depth[px]) {
          depth[px] = z;
          float c0 = r, c1 = g, c2 = b;
          if (p.Specular) c0 = Clamp255(c0 + sr), c1 = Clamp255(c1 + sg), c2 = Clamp255(c2 + sb);
          const uint32_t ur = static_cast<uint32_t>(Clamp255(c0) + 0.5f);
          const uint32_t ug = static_cast<uint32_t>(Clamp255(c1) + 0.5f);
          const uint32_t ub = static_cast<uint32_t>(Clamp255(c2) + 0.5f);
          const uint32_t ua = static_cast<uint32_t>(Clamp255(a) + 0.5f);
          colour[px] = (ua << 24) | (ur << 16) | (ug << 8) | ub;
        }
        z += ddx[0], r += ddx[2], g += ddx[3], b += ddx[4], a += ddx[5];
        sr += ddx[6], sg += ddx[7], sb += ddx[8];
      }
      continue;
    }
    for (int64_t px = lo; px <= hi; ++px) {
      const size_t idx = rowIdx + size_t(px);
      if (DepthStencil<kStencil>(p, idx, z)) {
        TFrag f;
        f.r = r, f.g = g, f.b = b, f.a = a;
        f.sr = sr, f.sg = sg, f.sb = sb;
        if constexpr (kTex) {
          const float w = 1.0f / iw;
          f.u = uw * w, f.v = vw * w;
        } else {
          f.u = f.v = 0;
        }
        ShadeAndWrite<kTex, kBlend>(p, idx, f);
      }
      z += ddx[0], r += ddx[2], g += ddx[3], b += ddx[4], a += ddx[5];
      sr += ddx[6], sg += ddx[7], sb += ddx[8];
      if constexpr (kTex) iw += ddx[1], uw += ddx[9], vw += ddx[10];
    }
  }
}

}  // namespace

namespace {

inline void ToScreen(TScreenVtx& s, const TSoftwareDevice::TVtx& v, const D3DVIEWPORT7& vp) {
  const float iw = 1.0f / v.w;
  s.x = float(vp.dwX) + (1.0f + v.x * iw) * 0.5f * float(vp.dwWidth);
  s.y = float(vp.dwY) + (1.0f - v.y * iw) * 0.5f * float(vp.dwHeight);
  s.z = vp.dvMinZ + v.z * iw * (vp.dvMaxZ - vp.dvMinZ);
  s.iw = iw;
  s.a[0] = v.r, s.a[1] = v.g, s.a[2] = v.b, s.a[3] = v.a;
  s.a[4] = v.sr, s.a[5] = v.sg, s.a[6] = v.sb;
  s.a[7] = v.u * iw, s.a[8] = v.v * iw;
}

template <class P>
TScreenVtx ToScreen(const P&, const TSoftwareDevice::TVtx& v, const D3DVIEWPORT7& vp) {
  TScreenVtx s;
  ToScreen(s, v, vp);
  return s;
}

inline bool Finite(const TSoftwareDevice::TVtx& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

}  // namespace

namespace {

// Rows of a band when the device chooses: small enough to share the work out evenly, large
// enough that most small triangles fall in one band.
constexpr int kDefaultBandRows = 16;
// Primitives set up in one task: their vertices stay in the processor's cache.
constexpr DWORD kPrimitiveChunk = 512;
// Vertex bytes recorded beyond which the drawing recorded so far is done before going on.
constexpr size_t kMaxPendingBytes = size_t{64} << 20;
// Below this much work (vertices, and cleared pixels / 256) a flush draws on the caller's thread.
constexpr size_t kSmallFlush = 64;

// One drawing or clear given to the device, in the order given.
struct TCommand {
  bool IsClear = false;
  D3DPRIMITIVETYPE Type = D3DPT_POINTLIST;
  DWORD Fvf = 0, Count = 0;
  uint32_t Stride = 0, Pix = 0, Vertex = 0;
  size_t DataOff = 0;
  // A clear: rows Y0 .. Y1 - 1 and columns X0 .. X1 - 1 of the planes in Flags.
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0, Pitch = 0;
  DWORD Flags = 0;
  D3DCOLOR Color = 0;
  float Z = 1;
  uint8_t StencilValue = 0;
  uint32_t* ColorBuf = nullptr;
  float* DepthBuf = nullptr;
  uint8_t* StencilBuf = nullptr;
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

// A task: vertices or primitives First .. Last - 1 of a command.
struct TPiece {
  uint32_t Cmd;
  DWORD First, Last;
};

// What one set-up task made, and for each band the primitives in it (Refs[Start[b] .. Start[b + 1]).
struct TBinned {
  std::vector<TPrim> Prims;
  std::vector<uint32_t> Refs, Start;
};

DWORD PrimitiveCount(D3DPRIMITIVETYPE type, DWORD count) {
  switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return count / 2;
    case D3DPT_LINESTRIP: return count >= 2 ? count - 1 : 0;
    case D3DPT_TRIANGLELIST: return count / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count >= 3 ? count - 2 : 0;
  }
  return 0;
}

size_t VertexStride(DWORD fvf) {
  size_t off = 12;
  if (fvf & D3DFVF_RESERVED1) off += 4;
  if (fvf & D3DFVF_NORMAL) off += 12;
  if (fvf & D3DFVF_DIFFUSE) off += 4;
  if (fvf & D3DFVF_SPECULAR) off += 4;
  return off + 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
}

}  // namespace

struct TSoftwareDevice::TQueue {
  TRenderThreads Threads;
  int BandRows;
  std::vector<TCommand> Commands;
  std::vector<uint8_t> Data;  // the vertices given, as given
  size_t VertexTotal = 0;
  std::vector<TPix> Pix;
  std::vector<TVertexState> Vertex;
  std::vector<std::shared_ptr<TTextureSurface>> Textures;  // kept alive until drawn
  std::vector<TPiece> Pieces;
  std::vector<TBinned> Binned;
  TQueue(int threads, int bandRows) : Threads(threads), BandRows(bandRows) {}
};


namespace {

// std::lround for the coordinates of a line (finite, well inside the range of long): halves away
// from zero, without the library call.
inline long RoundHalfAway(float x) {
  long r = static_cast<long>(x);
  const float frac = x - static_cast<float>(r);
  if (frac >= 0.5f) ++r;
  else if (frac <= -0.5f) --r;
  return r;
}

// Rows lo .. hi of the scissor, widened by a pixel each way for rounding; false when none.
inline bool RowSpan(const TPix& p, double lo, double hi, int& y0, int& y1) {
  lo = std::floor(lo) - 1, hi = std::ceil(hi) + 1;
  if (!(lo <= hi)) return false;
  const double a = std::max<double>(lo, p.Y0), b = std::min<double>(hi, p.Y1 - 1);
  if (!(a <= b)) return false;
  y0 = static_cast<int>(a), y1 = static_cast<int>(b);
  return true;
}

void SetupPoint(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& v,
                std::vector<TPrim>& out) {
  if (!Finite(v)) return;
  if (v.z < 0 || v.z > v.w || v.x < -v.w || v.x > v.w || v.y < -v.w || v.y > v.w) return;
  if (!(v.w > 1e-30f)) return;
  const TScreenVtx s = ToScreen(p, v, p.Vp);
  const long px = std::lround(s.x), py = std::lround(s.y);
  if (px < p.X0 || py < p.Y0 || px >= p.X1 || py >= p.Y1) return;
  TPrim& r = out.emplace_back();
  r.Kind = pkPoint, r.LastPixel = false, r.Ref = pix;
  r.X = static_cast<int>(px), r.Y0 = r.Y1 = static_cast<int>(py);
  r.V[0] = s;
  // A point takes its texture coordinates as given.
  r.V[0].a[7] = v.u, r.V[0].a[8] = v.v;
}

void DrawPoint(const TPix& p, const TPrim& r) {
  const TScreenVtx& s = r.V[0];
  TFrag f{s.a[0], s.a[1], s.a[2], s.a[3], s.a[4], s.a[5], s.a[6], s.a[7], s.a[8]};
  FullPixel(p, size_t(r.Y0) * p.Pitch + size_t(r.X), s.z, f);
}

void SetupLine(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& a,
               const TSoftwareDevice::TVtx& b, bool lastPixel, std::vector<TPrim>& out) {
  using TVtx = TSoftwareDevice::TVtx;
  if (!Finite(a) || !Finite(b)) return;
  // Parametric clipping against the six planes.
  float t0 = 0, t1 = 1;
  auto dist = [](const TVtx& v, int plane) {
    switch (plane) {
      case 0: return v.z;
      case 1: return v.w - v.z;
      case 2: return v.x + v.w;
      case 3: return v.w - v.x;
      case 4: return v.y + v.w;
      default: return v.w - v.y;
    }
  };
  for (int plane = 0; plane < 6; ++plane) {
    const float da = dist(a, plane), db = dist(b, plane);
    if (da < 0 && db < 0) return;
    if (da < 0) t0 = std::max(t0, da / (da - db));
    else if (db < 0) t1 = std::min(t1, da / (da - db));
  }
  if (!(t0 <= t1)) return;
  auto lerp = [](const TVtx& u, const TVtx& v, float t) {
    TVtx r;
    const float* fu = &u.x;
    const float* fv = &v.x;
    float* fr = &r.x;
    for (size_t k = 0; k < sizeof(TVtx) / sizeof(float); ++k) fr[k] = fu[k] + (fv[k] - fu[k]) * t;
    return r;
  };
  const TVtx ca = t0 > 0 ? lerp(a, b, t0) : a;
  const TVtx cb = t1 < 1 ? lerp(a, b, t1) : b;
  if (!(ca.w > 1e-30f) || !(cb.w > 1e-30f)) return;
  TPrim r;
  r.Kind = pkLine, r.LastPixel = lastPixel, r.Ref = pix, r.X = 0;
  r.V[0] = ToScreen(p, ca, p.Vp), r.V[1] = ToScreen(p, cb, p.Vp);
  if (!RowSpan(p, std::min(r.V[0].y, r.V[1].y), std::max(r.V[0].y, r.V[1].y), r.Y0, r.Y1)) return;
  out.push_back(r);
}

// The pixels of a line, one per step along its major axis, cut to the viewport on that axis so
// that the walk is bounded by the viewport's size.
struct TLineWalk {
  bool XMajor;
  float Dx, Dy, StartMajor, Len;
  long From, Step, Count;

  bool Make(const TPix& p, const TScreenVtx& s0, const TScreenVtx& s1, bool lastPixel) {
    Dx = s1.x - s0.x, Dy = s1.y - s0.y;
    XMajor = std::fabs(Dx) >= std::fabs(Dy);
    StartMajor = XMajor ? s0.x : s0.y;
    const float endMajor = XMajor ? s1.x : s1.y;
    const long first = std::lround(StartMajor), last = std::lround(endMajor);
    Step = last >= first ? 1 : -1;
    // Pixels first .. last, the last one only when asked.
    long to = (lastPixel || p.LastPixel) ? last : last - Step;
    From = first;
    if ((to - From) * Step < 0) return false;
    const long minB = XMajor ? p.X0 : p.Y0, maxB = (XMajor ? p.X1 : p.Y1) - 1;
    if (Step > 0) From = std::max(From, minB), to = std::min(to, maxB);
    else From = std::min(From, maxB), to = std::max(to, minB);
    if ((to - From) * Step < 0) return false;
    Count = (to - From) * Step + 1;
    Len = endMajor - StartMajor;
    return true;
  }
  // Pixel i of the walk and its position t along the line.
  void At(const TScreenVtx& s0, long i, long& px, long& py, float& t) const {
    const long major = From + i * Step;
    t = Len != 0 ? std::clamp((float(major) - StartMajor) / Len, 0.0f, 1.0f) : 0.0f;
    const float minor = XMajor ? s0.y + Dy * t : s0.x + Dx * t;
    px = XMajor ? major : RoundHalfAway(minor);
    py = XMajor ? RoundHalfAway(minor) : major;
  }
};

// The pixels of a line in rows bandY0 .. bandY1 - 1. Along the walk the row only ever moves one
// way (every step of its computation is monotonic), so the band's pixels are one run of the walk,
// found by bisection.
void DrawLine(const TPix& p, const TPrim& r, int bandY0, int bandY1) {
  const TScreenVtx& s0 = r.V[0];
  const TScreenVtx& s1 = r.V[1];
  TLineWalk w;
  if (!w.Make(p, s0, s1, r.LastPixel)) return;
  long px, py;
  float t;
  auto row = [&](long i) {
    w.At(s0, i, px, py, t);
    return py;
  };
  const bool down = row(0) <= row(w.Count - 1);
  // First pixel at or past the band's first row (downwards) or above its end (upwards).
  long lo = 0, hi = w.Count;
  while (lo < hi) {
    const long mid = lo + (hi - lo) / 2;
    const long y = row(mid);
    if (down ? y >= bandY0 : y < bandY1) hi = mid;
    else lo = mid + 1;
  }
  for (long i = lo; i < w.Count; ++i) {
    w.At(s0, i, px, py, t);
    if (py < bandY0 || py >= bandY1) break;
    if (px < p.X0 || py < p.Y0 || px >= p.X1 || py >= p.Y1) continue;
    TFrag f;
    float at[9];
    for (int k = 0; k < 9; ++k) at[k] = s0.a[k] + (s1.a[k] - s0.a[k]) * t;
    f.r = at[0], f.g = at[1], f.b = at[2], f.a = at[3], f.sr = at[4], f.sg = at[5], f.sb = at[6];
    if (p.Textured) {
      const float iw = s0.iw + (s1.iw - s0.iw) * t;
      f.u = iw != 0 ? at[7] / iw : 0;
      f.v = iw != 0 ? at[8] / iw : 0;
    } else {
      f.u = f.v = 0;  // not read without a texture
    }
    FullPixel(p, size_t(py) * p.Pitch + size_t(px), s0.z + (s1.z - s0.z) * t, f);
  }
}

// False when SetupTriangle would drop the triangle for its positions alone (not finite, wholly
// outside, or inside and degenerate or culled): its corners then need no lighting.
bool MayDraw(const TPix& p, const TCorner& a, const TCorner& b, const TCorner& c) {
  const unsigned any = a.Code | b.Code | c.Code;
  if (any & 64) return false;
  const unsigned anyOut = any & 63, allOut = a.Code & b.Code & c.Code & 63;
  if (allOut & anyOut & (~anyOut + 1)) return false;
  if (anyOut != 0) return true;  // clipped: its new corners need the colours
  if (any & 128) return false;
  const float sx[3] = {a.Sx, b.Sx, c.Sx}, sy[3] = {a.Sy, b.Sy, c.Sy};
  double area = 0;
  for (int i = 0; i < 3; ++i) {
    const int j = i + 1 < 3 ? i + 1 : 0;
    area += double(sx[i]) * sy[j] - double(sx[j]) * sy[i];
  }
  if (!std::isfinite(area) || area == 0) return false;
  if (p.Cull == D3DCULL_CCW && area < 0) return false;
  if (p.Cull == D3DCULL_CW && area > 0) return false;
  return true;
}

void SetupTriangle(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& a,
                   const TSoftwareDevice::TVtx& b, const TSoftwareDevice::TVtx& c,
                   std::vector<TPrim>& out) {
  using TVtx = TSoftwareDevice::TVtx;
  if (!Finite(a) || !Finite(b) || !Finite(c)) return;
  // Triangles entirely inside skip the clipper, and Gouraud-shaded ones are then read where they
  // are; the others are copied, given their first vertex's colours when flat, and clipped.
  const TVtx* vx[9] = {&a, &b, &c};
  // The clipping planes, in the clipper's order, that any corner and all corners are outside of.
  unsigned anyOut = 0, allOut = 63;
  for (int i = 0; i < 3; ++i) {
    const TVtx& v = *vx[i];
    const unsigned code = unsigned(v.z < 0) | unsigned(v.z > v.w) << 1 |
                          unsigned(v.x < -v.w) << 2 | unsigned(v.x > v.w) << 3 |
                          unsigned(v.y < -v.w) << 4 | unsigned(v.y > v.w) << 5;
    anyOut |= code;
    allOut &= code;
  }
  const bool inside = anyOut == 0;
  // Wholly outside the first plane the clipper cuts by: it would leave nothing.
  if (allOut & anyOut & (~anyOut + 1)) return;
  TVtx poly[9];
  int n = 3;
  if (!inside || p.Flat) {
    poly[0] = a, poly[1] = b, poly[2] = c;
    if (p.Flat) {
      for (int i = 1; i < 3; ++i) {
        poly[i].r = a.r, poly[i].g = a.g, poly[i].b = a.b, poly[i].a = a.a;
        poly[i].sr = a.sr, poly[i].sg = a.sg, poly[i].sb = a.sb;
      }
    }
    if (!inside) {
      TVtx tmp[9];
      n = ClipPolygon(poly, 3, tmp);
      if (n < 3) return;
    }
    for (int i = 0; i < n; ++i) vx[i] = &poly[i];
  }
  // The position on the screen first: culled triangles need nothing else.
  float sx[9], sy[9];
  const D3DVIEWPORT7& vp = p.Vp;
  for (int i = 0; i < n; ++i) {
    if (!(vx[i]->w > 1e-30f)) return;
    const float iw = 1.0f / vx[i]->w;
    sx[i] = float(vp.dwX) + (1.0f + vx[i]->x * iw) * 0.5f * float(vp.dwWidth);
    sy[i] = float(vp.dwY) + (1.0f - vx[i]->y * iw) * 0.5f * float(vp.dwHeight);
  }
  // Orientation on the screen (y down): positive is clockwise.
  double area = 0;
  for (int i = 0; i < n; ++i) {
    const int j = i + 1 < n ? i + 1 : 0;
    area += double(sx[i]) * sy[j] - double(sx[j]) * sy[i];
  }
  if (!std::isfinite(area) || area == 0) return;
  if (p.Cull == D3DCULL_CCW && area < 0) return;
  if (p.Cull == D3DCULL_CW && area > 0) return;

  if (p.Wire || p.Points) {
    // Edges (or corners) of the original triangle, each clipped on its own.
    if (p.Points) {
      SetupPoint(p, pix, a, out);
      SetupPoint(p, pix, p.Flat ? TVtx{b.x, b.y, b.z, b.w, a.r, a.g, a.b, a.a, a.sr, a.sg, a.sb, b.u, b.v} : b, out);
      SetupPoint(p, pix, p.Flat ? TVtx{c.x, c.y, c.z, c.w, a.r, a.g, a.b, a.a, a.sr, a.sg, a.sb, c.u, c.v} : c, out);
      return;
    }
    TVtx e[3] = {a, b, c};
    if (p.Flat)
      for (int i = 1; i < 3; ++i) {
        e[i].r = a.r, e[i].g = a.g, e[i].b = a.b, e[i].a = a.a;
        e[i].sr = a.sr, e[i].sg = a.sg, e[i].sb = a.sb;
      }
    SetupLine(p, pix, e[0], e[1], false, out);
    SetupLine(p, pix, e[1], e[2], false, out);
    SetupLine(p, pix, e[2], e[0], false, out);
    return;
  }
  TScreenVtx sv[9];
  for (int i = 0; i < n; ++i) ToScreen(sv[i], *vx[i], vp);
  for (int i = 1; i + 1 < n; ++i) {
    TPrim& r = out.emplace_back();
    r.Kind = pkTriangle, r.LastPixel = false, r.Ref = pix, r.X = 0;
    if (!SetupRaster(p, &sv[0], &sv[i], &sv[i + 1], r.T)) {
      out.pop_back();
      continue;
    }
    r.Y0 = r.T.Y0, r.Y1 = r.T.Y1;
  }
}

void DrawTriangle(const TPix& p, const TPrim& r, int y0, int y1) {
  const TTriangle& t = r.T;
  if (p.Textured) {
    if (p.Stencil) {
      if (p.Blend) RasterTriangle<true, true, true>(p, t, y0, y1);
      else RasterTriangle<true, true, false>(p, t, y0, y1);
    } else {
      if (p.Blend) RasterTriangle<true, false, true>(p, t, y0, y1);
      else RasterTriangle<true, false, false>(p, t, y0, y1);
    }
  } else {
    if (p.Stencil) {
      if (p.Blend) RasterTriangle<false, true, true>(p, t, y0, y1);
      else RasterTriangle<false, true, false>(p, t, y0, y1);
    } else {
      if (p.Blend) RasterTriangle<false, false, true>(p, t, y0, y1);
      else RasterTriangle<false, false, false>(p, t, y0, y1);
    }
  }
}

// Not inlined, so that profiles show the clearing on its own.
[[gnu::noinline]] void ClearRows(const TCommand& c, int y0, int y1) {
  y0 = std::max(y0, c.Y0), y1 = std::min(y1, c.Y1);
  const size_t n = size_t(c.X1 - c.X0);
  for (int y = y0; y < y1; ++y) {
    const size_t row = size_t(y) * size_t(c.Pitch) + size_t(c.X0);
    if (c.Flags & D3DCLEAR_TARGET) std::fill_n(c.ColorBuf + row, n, c.Color);
    if (c.Flags & D3DCLEAR_ZBUFFER) std::fill_n(c.DepthBuf + row, n, c.Z);
    if (c.Flags & D3DCLEAR_STENCIL) std::fill_n(c.StencilBuf + row, n, c.StencilValue);
  }
}

}  // namespace

TSoftwareDevice::TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights,
                                 const TOptions& options)
    : FTarget(target),
      FLights(lights),
      FState(std::make_unique<TState>()),
      FQueue(std::make_unique<TQueue>(
          options.Threads > 0 ? options.Threads : TRenderThreads::DefaultCount(),
          options.BandRows > 0 ? std::min(options.BandRows, kMaxSurfaceSide) : kDefaultBandRows)) {
  TState& s = *FState;
  DWORD* rs = s.Rs;
  rs[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = 1;
  rs[D3DRENDERSTATE_ZENABLE] = target.HasDepth() ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRENDERSTATE_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRENDERSTATE_ZWRITEENABLE] = 1;
  rs[D3DRENDERSTATE_LASTPIXEL] = 1;
  rs[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
  rs[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRENDERSTATE_STENCILFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRENDERSTATE_STENCILZFAIL] = D3DSTENCILOP_KEEP;
  rs[D3DRENDERSTATE_STENCILPASS] = D3DSTENCILOP_KEEP;
  rs[D3DRENDERSTATE_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRENDERSTATE_STENCILMASK] = 0xFFFFFFFF;
  rs[D3DRENDERSTATE_STENCILWRITEMASK] = 0xFFFFFFFF;
  rs[D3DRENDERSTATE_TEXTUREFACTOR] = 0xFFFFFFFF;
  rs[D3DRENDERSTATE_CLIPPING] = 1;
  rs[D3DRENDERSTATE_LIGHTING] = 1;
  rs[D3DRENDERSTATE_COLORVERTEX] = 1;
  rs[D3DRENDERSTATE_LOCALVIEWER] = 1;
  rs[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRENDERSTATE_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRENDERSTATE_AMBIENTMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRENDERSTATE_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
  for (DWORD st = 0; st < kTextureStageCount; ++st) {
    DWORD* t = s.Tss[st];
    t[D3DTSS_COLOROP] = st == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAOP] = st == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    t[D3DTSS_TEXCOORDINDEX] = st;
    t[D3DTSS_ADDRESS] = t[D3DTSS_ADDRESSU] = t[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    t[D3DTSS_MAGFILTER] = D3DTFG_POINT;
    t[D3DTSS_MINFILTER] = D3DTFN_POINT;
    t[D3DTSS_MIPFILTER] = 1;
  }
  for (int i = 0; i < 4; ++i) s.World.m[i][i] = s.View.m[i][i] = s.Proj.m[i][i] = 1;
  s.Viewport.dwWidth = static_cast<DWORD>(target.Width());
  s.Viewport.dwHeight = static_cast<DWORD>(target.Height());
}

TSoftwareDevice::TSoftwareDevice(TSurface& target, TMemoryLightDevice& lights)
    : TSoftwareDevice(target, lights, TOptions{}) {}

TSoftwareDevice::~TSoftwareDevice() { Flush(); }

int TSoftwareDevice::ThreadCount() const { return FQueue->Threads.Count(); }
int TSoftwareDevice::BandRows() const { return FQueue->BandRows; }

TSurface& TSoftwareDevice::RenderTarget() {
  Flush();
  return FTarget;
}

DWORD TSoftwareDevice::StencilCaps() const {
  return D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE |
         D3DSTENCILCAPS_INCRSAT | D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT |
         D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR;
}

HRESULT TSoftwareDevice::BeginScene() {
  if (FState->InScene) return D3DERR_SCENE_IN_SCENE;
  FState->InScene = true;
  return D3D_OK;
}

HRESULT TSoftwareDevice::EndScene() {
  if (!FState->InScene) return D3DERR_SCENE_NOT_IN_SCENE;
  FState->InScene = false;
  Flush();
  return D3D_OK;
}

HRESULT TSoftwareDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                               D3DVALUE z, DWORD stencil) {
  if ((flags & D3DCLEAR_ZBUFFER) && !FTarget.HasDepth()) return D3DERR_ZBUFFER_NOTPRESENT;
  if ((flags & D3DCLEAR_STENCIL) && !FTarget.HasStencil()) return D3DERR_STENCILBUFFER_NOTPRESENT;
  const D3DVIEWPORT7& vp = FState->Viewport;
  const int64_t vx0 = vp.dwX, vy0 = vp.dwY;
  const int64_t vx1 = std::min<int64_t>(vx0 + vp.dwWidth, FTarget.Width());
  const int64_t vy1 = std::min<int64_t>(vy0 + vp.dwHeight, FTarget.Height());
  D3DRECT whole{0, 0, FTarget.Width(), FTarget.Height()};
  if (count == 0 || rects == nullptr) {
    rects = &whole;
    count = 1;
  }
  const float zc = std::isfinite(z) ? std::clamp(z, 0.0f, 1.0f) : 1.0f;
  TQueue& q = *FQueue;
  for (DWORD i = 0; i < count; ++i) {
    const int64_t x0 = std::max<int64_t>(rects[i].x1, vx0), x1 = std::min<int64_t>(rects[i].x2, vx1);
    const int64_t y0 = std::max<int64_t>(rects[i].y1, vy0), y1 = std::min<int64_t>(rects[i].y2, vy1);
    if (x0 >= x1 || y0 >= y1 || !(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
      continue;
    TCommand c;
    c.IsClear = true;
    c.X0 = int(x0), c.Y0 = int(y0), c.X1 = int(x1), c.Y1 = int(y1);
    c.Pitch = FTarget.Width();
    c.Flags = flags;
    c.Color = color;
    c.Z = zc;
    c.StencilValue = static_cast<uint8_t>(stencil);
    c.ColorBuf = FTarget.Pixels();
    c.DepthBuf = FTarget.HasDepth() ? FTarget.Depth() : nullptr;
    c.StencilBuf = FTarget.HasStencil() ? FTarget.Stencil() : nullptr;
    q.Commands.push_back(c);
  }
  if (!FState->InScene) Flush();
  return D3D_OK;
}

uint32_t TSoftwareDevice::PixelStateIndex() {
  TState& s = *FState;
  TQueue& q = *FQueue;
  // The planes may have been attached or detached since.
  const TPix& cur = s.CurPix;
  if (cur.Color != FTarget.Pixels() || cur.Depth != (FTarget.HasDepth() ? FTarget.Depth() : nullptr) ||
      cur.StencilBuf != (FTarget.HasStencil() ? FTarget.Stencil() : nullptr))
    s.PixDirty = true;
  if (s.PixDirty) {
    PreparePixelState();
    s.PixDirty = false;
    s.PixIndex = UINT32_MAX;
  }
  if (s.PixIndex == UINT32_MAX) {
    q.Pix.push_back(s.CurPix);
    if (s.CurPix.Textured) q.Textures.push_back(s.Textures[0]);
    s.PixIndex = static_cast<uint32_t>(q.Pix.size() - 1);
  }
  return s.PixIndex;
}

uint32_t TSoftwareDevice::VertexStateIndex() {
  TState& s = *FState;
  TQueue& q = *FQueue;
  if (s.VertexDirty || s.LightRevision != FLights.Revision()) {
    UpdateMatrices();
    TVertexState& vs = s.CurVertex;
    std::memcpy(vs.Rs, s.Rs, sizeof vs.Rs);
    vs.Material = s.Material;
    std::memcpy(vs.Wv, s.Wv, sizeof vs.Wv);
    std::memcpy(vs.Wvp, s.Wvp, sizeof vs.Wvp);
    std::memcpy(vs.Nrm, s.Nrm, sizeof vs.Nrm);
    // Enabled lights in camera space.
    vs.Lights.clear();
    if (s.Rs[D3DRENDERSTATE_LIGHTING] != 0) {
      const auto& v = s.View.m;
      for (const auto& [index, l] : FLights.Lights()) {
        bool on = false;
        if (!FLights.GetLightEnable(index, on) || !on) continue;
        TLightC c{};
        c.Type = l.dltType;
        c.Diffuse[0] = l.dcvDiffuse.r, c.Diffuse[1] = l.dcvDiffuse.g, c.Diffuse[2] = l.dcvDiffuse.b;
        c.Specular[0] = l.dcvSpecular.r, c.Specular[1] = l.dcvSpecular.g, c.Specular[2] = l.dcvSpecular.b;
        c.Ambient[0] = l.dcvAmbient.r, c.Ambient[1] = l.dcvAmbient.g, c.Ambient[2] = l.dcvAmbient.b;
        const float p[3] = {l.dvPosition.x, l.dvPosition.y, l.dvPosition.z};
        const float d[3] = {l.dvDirection.x, l.dvDirection.y, l.dvDirection.z};
        for (int j = 0; j < 3; ++j) {
          c.Pos[j] = p[0] * v[0][j] + p[1] * v[1][j] + p[2] * v[2][j] + v[3][j];
          c.Dir[j] = d[0] * v[0][j] + d[1] * v[1][j] + d[2] * v[2][j];
        }
        const float len = std::sqrt(c.Dir[0] * c.Dir[0] + c.Dir[1] * c.Dir[1] + c.Dir[2] * c.Dir[2]);
        if (len > 0 && std::isfinite(len))
          for (float& x : c.Dir) x /= len;
        c.Range = l.dvRange;
        c.A0 = l.dvAttenuation0, c.A1 = l.dvAttenuation1, c.A2 = l.dvAttenuation2;
        c.CosTheta = std::cos(l.dvTheta * 0.5f);
        c.CosPhi = std::cos(l.dvPhi * 0.5f);
        c.Falloff = l.dvFalloff;
        c.HasSpecular = c.Specular[0] != 0 || c.Specular[1] != 0 || c.Specular[2] != 0;
        vs.Lights.push_back(c);
      }
    }
    vs.AnySpecularLight = false;
    for (const TLightC& l : vs.Lights) vs.AnySpecularLight |= l.HasSpecular;
    s.VertexDirty = false;
    s.LightRevision = FLights.Revision();
    s.VertexIndex = UINT32_MAX;
  }
  if (s.VertexIndex == UINT32_MAX) {
    q.Vertex.push_back(s.CurVertex);
    s.VertexIndex = static_cast<uint32_t>(q.Vertex.size() - 1);
  }
  return s.VertexIndex;
}

HRESULT TSoftwareDevice::DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices,
                                       DWORD count, DWORD /*flags*/) {
  if ((fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ) return D3DERR_INVALIDVERTEXTYPE;
  if (fvf & ~(D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_RESERVED1 | D3DFVF_DIFFUSE |
              D3DFVF_SPECULAR | D3DFVF_TEXCOUNT_MASK))
    return D3DERR_INVALIDVERTEXTYPE;
  if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDPRIMITIVETYPE;
  if (count > kMaxVertices) return D3DERR_TOOMANYVERTICES;
  if (count == 0 || vertices == nullptr) return D3D_OK;
  if (!FTarget.Valid()) return D3D_OK;
  TQueue& q = *FQueue;
  const size_t stride = VertexStride(fvf);
  const size_t bytes = stride * count;
  if (!q.Commands.empty() && q.Data.size() + bytes > kMaxPendingBytes) Flush();
  TCommand c;
  c.Pix = PixelStateIndex();
  const TPix& p = q.Pix[c.Pix];
  if (p.X0 >= p.X1 || p.Y0 >= p.Y1) return D3D_OK;  // empty viewport
  if (PrimitiveCount(type, count) == 0) return D3D_OK;
  c.Vertex = VertexStateIndex();
  c.Type = type;
  c.Fvf = fvf;
  c.Count = count;
  c.Stride = static_cast<uint32_t>(stride);
  c.DataOff = q.Data.size();
  const auto* data = static_cast<const uint8_t*>(vertices);
  q.Data.insert(q.Data.end(), data, data + bytes);
  q.VertexTotal += count;
  q.Commands.push_back(c);
  if (!FState->InScene) Flush();
  return D3D_OK;
}

void TSoftwareDevice::Flush() {
  TQueue& q = *FQueue;
  TState& s = *FState;
  if (q.Commands.empty()) return;
  const int height = FTarget.Height();
  const int rows = q.BandRows;
  const int bands = std::max(1, (height + rows - 1) / rows);
  // Little work is done on the caller's thread alone: waking the others would cost more.
  size_t work = q.VertexTotal;
  for (const TCommand& c : q.Commands)
    if (c.IsClear) work += size_t(c.X1 - c.X0) * size_t(c.Y1 - c.Y0) / 256;
  const bool small = work < kSmallFlush;
  auto forEach = [&](size_t n, const std::function<void(size_t)>& task) {
    if (small) {
      for (size_t i = 0; i < n; ++i) task(i);
    } else {
      q.Threads.ForEach(n, task);
    }
  };
  // 1. In chunks of primitives: transformation and lighting of their vertices, then clipping,
  // projection, culling and set-up while the vertices are still in the cache, each primitive
  // sorted into the bands it touches. Vertices two chunks share are done by both, the same way.
  q.Pieces.clear();
  for (uint32_t i = 0; i < q.Commands.size(); ++i) {
    const TCommand& c = q.Commands[i];
    if (c.IsClear) {
      q.Pieces.push_back({i, 0, 1});
      continue;
    }
    const DWORD n = PrimitiveCount(c.Type, c.Count);
    for (DWORD first = 0; first < n; first += kPrimitiveChunk)
      q.Pieces.push_back({i, first, std::min(n, first + kPrimitiveChunk)});
  }
  if (q.Binned.size() < q.Pieces.size()) q.Binned.resize(q.Pieces.size());
  forEach(q.Pieces.size(), [&q, bands, rows](size_t i) {
    const TPiece& pc = q.Pieces[i];
    const TCommand& c = q.Commands[pc.Cmd];
    TBinned& b = q.Binned[i];
    b.Prims.clear();
    if (c.IsClear) {
      TPrim& r = b.Prims.emplace_back();
      r.Kind = pkClear, r.Ref = pc.Cmd, r.Y0 = c.Y0, r.Y1 = c.Y1 - 1;
    } else {
      const TPix& p = q.Pix[c.Pix];
      const TVertexState& vs = q.Vertex[c.Vertex];
      // The vertices of primitives First .. Last - 1: from .. to - 1, and a fan's centre.
      const DWORD k0 = pc.First, k1 = pc.Last;
      DWORD from = k0, to = k1;
      switch (c.Type) {
        case D3DPT_POINTLIST: break;
        case D3DPT_LINELIST: from = 2 * k0, to = 2 * k1; break;
        case D3DPT_LINESTRIP: to = k1 + 1; break;
        case D3DPT_TRIANGLELIST: from = 3 * k0, to = 3 * k1; break;
        case D3DPT_TRIANGLESTRIP: to = k1 + 2; break;
        case D3DPT_TRIANGLEFAN: from = k0 + 1, to = k1 + 2; break;
      }
      static thread_local std::vector<TVtx> scratch;
      static thread_local std::vector<uint8_t> need, keep;
      if (scratch.size() < to - from) scratch.resize(to - from);
      const uint8_t* data = q.Data.data() + c.DataOff;
      TVtx centre{};
      const TVtx* got = scratch.data();
      auto v = [got, from](DWORD j) -> const TVtx& { return got[j - from]; };
      const bool triangles = c.Type >= D3DPT_TRIANGLELIST;
      if (triangles) {
        // Positions first: only the corners of triangles that may be drawn are lit.
        const bool fan = c.Type == D3DPT_TRIANGLEFAN;
        static thread_local std::vector<TCorner> corners;
        if (corners.size() < to - from) corners.resize(to - from);
        TCorner centreCorner;
        kPositionsAndCorners(vs, p.Vp, data + size_t(from) * c.Stride, c.Stride, to - from,
                             corners.data());
        if (fan) kPositionsAndCorners(vs, p.Vp, data, c.Stride, 1, &centreCorner);
        auto corner = [&](DWORD j) -> const TCorner& { return corners[j - from]; };
        need.assign(to - from, 0);
        keep.assign(k1 - k0, 0);
        bool needCentre = false;
        for (DWORD k = k0; k < k1; ++k) {
          DWORD i0, i1, i2;  // the corners as SetupTriangle takes them
          if (c.Type == D3DPT_TRIANGLELIST) i0 = 3 * k, i1 = 3 * k + 1, i2 = 3 * k + 2;
          else if (c.Type == D3DPT_TRIANGLESTRIP) i0 = k, i1 = k % 2 ? k + 2 : k + 1, i2 = k % 2 ? k + 1 : k + 2;
          else i0 = 0, i1 = k + 1, i2 = k + 2;
          if (!MayDraw(p, fan ? centreCorner : corner(i0), corner(i1), corner(i2))) continue;
          keep[k - k0] = 1;
          if (fan) needCentre = true;
          else need[i0 - from] = 1;
          need[i1 - from] = need[i2 - from] = 1;
        }
        ProcessVertices(vs, c.Fvf, data + size_t(from) * c.Stride, to - from, scratch.data(), need.data());
        if (needCentre) ProcessVertices(vs, c.Fvf, data, 1, &centre);
      } else {
        ProcessVertices(vs, c.Fvf, data + size_t(from) * c.Stride, to - from, scratch.data());
      }
      for (DWORD k = k0; k < k1; ++k) {
        if (triangles && !keep[k - k0]) continue;
        switch (c.Type) {
          case D3DPT_POINTLIST: SetupPoint(p, c.Pix, v(k), b.Prims); break;
          case D3DPT_LINELIST: SetupLine(p, c.Pix, v(2 * k), v(2 * k + 1), false, b.Prims); break;
          case D3DPT_LINESTRIP: SetupLine(p, c.Pix, v(k), v(k + 1), false, b.Prims); break;
          case D3DPT_TRIANGLELIST:
            SetupTriangle(p, c.Pix, v(3 * k), v(3 * k + 1), v(3 * k + 2), b.Prims);
            break;
          case D3DPT_TRIANGLESTRIP:
            // Odd triangles are taken in the order (i, i+2, i+1) to keep the strip's winding.
            if (k % 2 == 0) SetupTriangle(p, c.Pix, v(k), v(k + 1), v(k + 2), b.Prims);
            else SetupTriangle(p, c.Pix, v(k), v(k + 2), v(k + 1), b.Prims);
            break;
          case D3DPT_TRIANGLEFAN: SetupTriangle(p, c.Pix, centre, v(k + 1), v(k + 2), b.Prims); break;
        }
      }
    }
    b.Start.assign(size_t(bands) + 1, 0);
    for (const TPrim& r : b.Prims)
      for (int k = r.Y0 / rows; k <= r.Y1 / rows; ++k) ++b.Start[size_t(k) + 1];
    for (int k = 0; k < bands; ++k) b.Start[size_t(k) + 1] += b.Start[size_t(k)];
    b.Refs.resize(b.Start[size_t(bands)]);
    std::vector<uint32_t> at(b.Start.begin(), b.Start.end() - 1);
    for (uint32_t j = 0; j < b.Prims.size(); ++j)
      for (int k = b.Prims[j].Y0 / rows; k <= b.Prims[j].Y1 / rows; ++k) b.Refs[at[size_t(k)]++] = j;
  });
  // 2. Each band draws its primitives in the order they were given.
  const size_t pieces = q.Pieces.size();
  forEach(size_t(bands), [&q, pieces, rows, height](size_t band) {
    const int y0 = int(band) * rows, y1 = std::min(height, y0 + rows);
    for (size_t i = 0; i < pieces; ++i) {
      const TBinned& b = q.Binned[i];
      for (uint32_t k = b.Start[band]; k < b.Start[band + 1]; ++k) {
        const TPrim& r = b.Prims[b.Refs[k]];
        switch (r.Kind) {
          case pkTriangle: DrawTriangle(q.Pix[r.Ref], r, y0, y1); break;
          case pkLine: DrawLine(q.Pix[r.Ref], r, y0, y1); break;
          case pkPoint: DrawPoint(q.Pix[r.Ref], r); break;
          case pkClear: ClearRows(q.Commands[r.Ref], y0, y1); break;
        }
      }
    }
  });
  q.Commands.clear();
  q.Data.clear();
  q.VertexTotal = 0;
  q.Pix.clear();
  q.Vertex.clear();
  q.Textures.clear();
  s.PixIndex = s.VertexIndex = UINT32_MAX;
}

}  // namespace ixoral
