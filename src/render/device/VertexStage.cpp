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

}  // namespace

void ProcessVertices(const TVertexState& s, DWORD fvf, const uint8_t* data, DWORD count,
                     TSoftwareDevice::TVtx* out, const uint8_t* need) {
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

void PositionsAndCorners(const TVertexState& s, const D3DVIEWPORT7& vp, const uint8_t* data,
                         size_t stride, DWORD count, TCorner* corners) {
  kPositionsAndCorners(s, vp, data, stride, count, corners);
}

}  // namespace ixoral::device
