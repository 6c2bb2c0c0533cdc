// The vertex stage: transformation and lighting one vertex at a time for the general case, and
// several at a time (SSE, AVX2 where the processor has it) for the vertices of lit solids; a
// vertex repeated shortly after itself is done once.
#include "render/device/VertexStage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define IXORAL_X86 1
#else
#define IXORAL_X86 0
#endif

namespace ixoral::device {

namespace {

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
using TCornersFn = void (*)(const TVertexState&, const D3DVIEWPORT7&, const uint8_t*, size_t, DWORD, TCorner*);
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

using TVtx = TSoftwareDevice::TVtx;

// What lighting takes from the vertex state for the vertices of one format: its switches, the
// material's colours, and where each material term comes from (0 the material, 1 the vertex's
// diffuse colour, 2 its specular colour).
struct TLightingInputs {
  bool Lighting, SpecularOn, ColorVertex, LocalViewer, Normalize;
  int SrcDiffuse, SrcAmbient, SrcSpecular, SrcEmissive;
  bool AnyVertexSource;
  TColorF GlobalAmbient, MatDiffuse, MatAmbient, MatSpecular, MatEmissive;

  TLightingInputs(const TVertexState& s, const TVertexLayout& f) {
    const DWORD* rs = s.Rs;
    Lighting = rs[D3DRENDERSTATE_LIGHTING] != 0;
    SpecularOn = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
    ColorVertex = rs[D3DRENDERSTATE_COLORVERTEX] != 0;
    LocalViewer = rs[D3DRENDERSTATE_LOCALVIEWER] != 0;
    Normalize = rs[D3DRENDERSTATE_NORMALIZENORMALS] != 0;
    auto source = [&](D3DRENDERSTATETYPE st) -> int {
      if (!ColorVertex) return 0;
      const DWORD v = rs[st];
      if (v == D3DMCS_COLOR1 && f.HasDiffuse) return 1;
      if (v == D3DMCS_COLOR2 && f.HasSpecular) return 2;
      return 0;
    };
    SrcDiffuse = source(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE);
    SrcAmbient = source(D3DRENDERSTATE_AMBIENTMATERIALSOURCE);
    SrcSpecular = source(D3DRENDERSTATE_SPECULARMATERIALSOURCE);
    SrcEmissive = source(D3DRENDERSTATE_EMISSIVEMATERIALSOURCE);
    AnyVertexSource = SrcDiffuse || SrcAmbient || SrcSpecular || SrcEmissive;
    const D3DMATERIAL7& m = s.Material;
    GlobalAmbient = FromD3DColor(rs[D3DRENDERSTATE_AMBIENT]);
    MatDiffuse = FromValue(m.diffuse), MatAmbient = FromValue(m.ambient);
    MatSpecular = FromValue(m.specular), MatEmissive = FromValue(m.emissive);
  }
};

// The sums of the lights at a vertex: ambient, diffuse and specular, before the material's colours.
struct TLightSums {
  float Amb[3] = {0, 0, 0}, Dif[3] = {0, 0, 0}, Spe[3] = {0, 0, 0};
};

// Adds the enabled lights at the camera-space position pc of normal n; `shiny` when the
// material's specular colour is not black.
inline void SumLights(const TVertexState& s, const TLightingInputs& in, const float n[3], const float pc[3], bool shiny,
                      TLightSums& sum) {
  const float power = s.Material.power;
  float eye[3] = {0, 0, -1};
  if (in.SpecularOn && in.LocalViewer && shiny && s.AnySpecularLight) {
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
    for (int j = 0; j < 3; ++j) sum.Amb[j] += k * l.Ambient[j];
    const float ndl = n[0] * L[0] + n[1] * L[1] + n[2] * L[2];
    if (ndl > 0) {
      for (int j = 0; j < 3; ++j) sum.Dif[j] += k * ndl * l.Diffuse[j];
      if (in.SpecularOn && power > 0 && l.HasSpecular && shiny) {
        float h[3] = {L[0] + eye[0], L[1] + eye[1], L[2] + eye[2]};
        const float hl = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
        if (hl > 0) {
          const float ndh = (n[0] * h[0] + n[1] * h[1] + n[2] * h[2]) / hl;
          if (ndh > 0) {
            const float f = k * std::pow(ndh, power);
            for (int j = 0; j < 3; ++j) sum.Spe[j] += f * l.Specular[j];
          }
        }
      }
    }
  }
}

// The colours of a lit vertex at v (position p) into o, its material terms taken from the
// material or from the vertex's colours vd and vs.
inline void LightVertex(const TVertexState& s, const TVertexLayout& f, const TLightingInputs& in, const uint8_t* v,
                        const float p[3], D3DCOLOR vd, D3DCOLOR vs, TVtx& o) {
  const auto& W = s.Wv;
  const auto& N = s.Nrm;
  TColorF cvd{}, cvs{};
  if (in.AnyVertexSource) cvd = FromD3DColor(vd), cvs = FromD3DColor(vs);
  auto pick = [&](int src, const TColorF& mat) { return src == 1 ? cvd : src == 2 ? cvs : mat; };
  const TColorF md = pick(in.SrcDiffuse, in.MatDiffuse), ma = pick(in.SrcAmbient, in.MatAmbient),
                ms = pick(in.SrcSpecular, in.MatSpecular), me = pick(in.SrcEmissive, in.MatEmissive);
  float n[3] = {0, 0, 0};
  if (f.HasNormal) {
    float nm[3];
    std::memcpy(nm, v + f.NormalOff, 12);
    for (int j = 0; j < 3; ++j) n[j] = nm[0] * N[0][j] + nm[1] * N[1][j] + nm[2] * N[2][j];
    if (in.Normalize) {
      const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      if (len > 0)
        for (float& x : n) x /= len;
    }
  }
  const float pc[3] = {p[0] * W[0][0] + p[1] * W[1][0] + p[2] * W[2][0] + W[3][0],
                       p[0] * W[0][1] + p[1] * W[1][1] + p[2] * W[2][1] + W[3][1],
                       p[0] * W[0][2] + p[1] * W[1][2] + p[2] * W[2][2] + W[3][2]};
  TLightSums sum;
  SumLights(s, in, n, pc, ms.r != 0 || ms.g != 0 || ms.b != 0, sum);
  const float ga[3] = {in.GlobalAmbient.r, in.GlobalAmbient.g, in.GlobalAmbient.b};
  const float mdc[3] = {md.r, md.g, md.b}, mac[3] = {ma.r, ma.g, ma.b};
  const float msc[3] = {ms.r, ms.g, ms.b}, mec[3] = {me.r, me.g, me.b};
  float outc[3], outs[3];
  for (int j = 0; j < 3; ++j) {
    outc[j] = Clamp01(mec[j] + mac[j] * (ga[j] + sum.Amb[j]) + mdc[j] * sum.Dif[j]) * 255.0f;
    outs[j] = Clamp01(msc[j] * sum.Spe[j]) * 255.0f;
  }
  o.r = outc[0], o.g = outc[1], o.b = outc[2];
  o.a = Clamp01(md.a) * 255.0f;
  o.sr = outs[0], o.sg = outs[1], o.sb = outs[2];
}

// One vertex at v transformed, and lit or given its own colours, into o.
inline void TransformAndLightOne(const TVertexState& s, const TVertexLayout& f, const TLightingInputs& in,
                                 const uint8_t* v, TVtx& o) {
  const auto& M = s.Wvp;
  float p[3];
  std::memcpy(p, v, 12);
  o.x = p[0] * M[0][0] + p[1] * M[1][0] + p[2] * M[2][0] + M[3][0];
  o.y = p[0] * M[0][1] + p[1] * M[1][1] + p[2] * M[2][1] + M[3][1];
  o.z = p[0] * M[0][2] + p[1] * M[1][2] + p[2] * M[2][2] + M[3][2];
  o.w = p[0] * M[0][3] + p[1] * M[1][3] + p[2] * M[2][3] + M[3][3];
  D3DCOLOR vd = 0xFFFFFFFF, vs = 0;
  if (f.HasDiffuse) std::memcpy(&vd, v + f.DiffuseOff, 4);
  if (f.HasSpecular) std::memcpy(&vs, v + f.SpecularOff, 4);
  if (f.TexCount > 0) {
    std::memcpy(&o.u, v + f.TexOff, 4);
    std::memcpy(&o.v, v + f.TexOff + 4, 4);
  } else {
    o.u = o.v = 0;
  }
  if (in.Lighting) {
    LightVertex(s, f, in, v, p, vd, vs, o);
    return;
  }
  const TColorF d = FromD3DColor(vd), sp = FromD3DColor(vs);
  o.r = d.r * 255, o.g = d.g * 255, o.b = d.b * 255, o.a = d.a * 255;
  o.sr = sp.r * 255, o.sg = sp.g * 255, o.sb = sp.b * 255;
}

// The batched transformation and lighting of the vertices `todo` (at data) into out.
void TransformAndLightBatch(const TVertexState& s, const TVertexLayout& f, const TLightingInputs& in,
                            const uint8_t* data, const std::vector<uint32_t>& todo, TVtx* out) {
  TBatchJob j;
  j.State = &s;
  j.Data = data;
  j.Stride = f.Stride, j.NormalOff = f.NormalOff, j.TexOff = f.TexOff;
  j.HasTex = f.TexCount > 0;
  j.Normalize = in.Normalize;
  const TColorF& ms = in.MatSpecular;
  const bool shiny = ms.r != 0 || ms.g != 0 || ms.b != 0;
  const float power = s.Material.power;
  j.LocalEye = in.SpecularOn && in.LocalViewer && shiny && s.AnySpecularLight;
  j.Specular = in.SpecularOn && power > 0 && shiny;
  j.Power = power;
  j.Alpha = Clamp01(in.MatDiffuse.a) * 255.0f;
  const TColorF* from[5] = {&in.MatDiffuse, &in.MatAmbient, &in.MatSpecular, &in.MatEmissive, &in.GlobalAmbient};
  float* to[5] = {j.Md, j.Ma, j.Ms, j.Me, j.Ga};
  for (int k = 0; k < 5; ++k) to[k][0] = from[k]->r, to[k][1] = from[k]->g, to[k][2] = from[k]->b;
  j.Index = todo.data();
  j.Count = todo.size();
  j.Out = out;
  kTransformAndLight(j);
}

}  // namespace

void ProcessVertices(const TVertexState& s, DWORD fvf, const uint8_t* data, DWORD count, TVtx* out,
                     const uint8_t* need) {
  const TVertexLayout f(fvf);
  const TLightingInputs in(s, f);
  // The vertices of solids go through the batched code, after the loop; the others one at a time.
  const bool batched = in.Lighting && f.HasNormal && !in.AnyVertexSource;
  std::vector<uint32_t> todo, copies;
  if (batched) todo.reserve(count);
  // Meshes drawn without indices repeat each vertex in several triangles: a vertex whose bytes
  // equal those of one met shortly before gets that one's result (the same input under the same
  // states gives the same output), found through a small table keyed by a hash of the bytes.
  const size_t stride = f.Stride;
  constexpr size_t kCacheSize = 512;
  const bool useCache = count >= 16 && stride % 4 == 0;
  std::array<uint32_t, kCacheSize> cache;
  if (useCache) cache.fill(UINT32_MAX);
  for (DWORD i = 0; i < count; ++i) {
    if (need && !need[i]) continue;
    const uint8_t* v = data + size_t(i) * stride;
    if (useCache) {
      // Each word weighted by its own odd factor: the products do not wait on one another.
      uint32_t h = 0;
      for (size_t k = 0; k < stride; k += 4) {
        uint32_t word;
        std::memcpy(&word, v + k, 4);
        h += (word ^ (word >> 16)) * (0x9E3779B1u + 2 * uint32_t(k));
      }
      h *= 0x85EBCA6Bu;
      const size_t slot = (h ^ (h >> 15) ^ (h >> 23)) & (kCacheSize - 1);
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
    if (batched)
      todo.push_back(i);
    else
      TransformAndLightOne(s, f, in, v, out[i]);
  }
  if (!batched) return;
  TransformAndLightBatch(s, f, in, data, todo, out);
  for (size_t k = 0; k < copies.size(); k += 2) out[copies[k]] = out[copies[k + 1]];
}

void PositionsAndCorners(const TVertexState& s, const D3DVIEWPORT7& vp, const uint8_t* data, size_t stride, DWORD count,
                         TCorner* corners) {
  kPositionsAndCorners(s, vp, data, stride, count, corners);
}

}  // namespace ixoral::device
