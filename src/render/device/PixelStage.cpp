// The pixel stage: stencil and depth tests with their operations, texture sampling and the texture
// stage, specular, alpha test, blending and the write; triangles row by row (an AVX2 loop for
// opaque solid triangles), lines by walking their major axis, and points.
#include "render/device/PixelStage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#define IXORAL_X86 1
#include <immintrin.h>
#else
#define IXORAL_X86 0
#endif

namespace ixoral::device {

namespace {

// The Direct3D comparison functions, for depths (float) and stencil values (unsigned).
template <typename T>
inline bool Compare(DWORD func, T a, T b) {
  switch (func) {
    case D3DCMP_NEVER:
      return false;
    case D3DCMP_LESS:
      return a < b;
    case D3DCMP_EQUAL:
      return a == b;
    case D3DCMP_LESSEQUAL:
      return a <= b;
    case D3DCMP_GREATER:
      return a > b;
    case D3DCMP_NOTEQUAL:
      return a != b;
    case D3DCMP_GREATEREQUAL:
      return a >= b;
    default:
      return true;
  }
}
inline bool CompareF(DWORD func, float a, float b) { return Compare<float>(func, a, b); }
inline bool CompareU(DWORD func, uint32_t a, uint32_t b) { return Compare<uint32_t>(func, a, b); }

// The same, through a division in double, far quicker than the integer one: the quotient of
// integers below 2^52 is then at most one away, and the products settle it exactly.
inline int64_t FloorDivQuick(int64_t a, int64_t b) {
  constexpr int64_t kExact = int64_t{1} << 52;
  if (a >= kExact || a <= -kExact || b >= kExact) return FloorDiv(a, b);
  int64_t q = static_cast<int64_t>(std::floor(double(a) / double(b)));
  if (q * b > a)
    --q;
  else if ((q + 1) * b <= a)
    ++q;
  return q;
}

inline uint8_t StencilOp(DWORD op, uint8_t s, uint32_t ref, uint32_t writeMask) {
  uint32_t v;
  switch (op) {
    case D3DSTENCILOP_ZERO:
      v = 0;
      break;
    case D3DSTENCILOP_REPLACE:
      v = ref;
      break;
    case D3DSTENCILOP_INCRSAT:
      v = s < 255 ? s + 1u : 255u;
      break;
    case D3DSTENCILOP_DECRSAT:
      v = s > 0 ? s - 1u : 0u;
      break;
    case D3DSTENCILOP_INVERT:
      v = ~uint32_t{s} & 0xFF;
      break;
    case D3DSTENCILOP_INCR:
      v = (s + 1u) & 0xFF;
      break;
    case D3DSTENCILOP_DECR:
      v = (s + 255u) & 0xFF;
      break;
    default:
      return s;
  }
  return static_cast<uint8_t>((s & ~writeMask) | (v & writeMask));
}

inline float BlendFactor(DWORD f, int channel, const float src[4], const float dst[4]) {
  switch (f) {
    case D3DBLEND_ZERO:
      return 0;
    case D3DBLEND_ONE:
      return 1;
    case D3DBLEND_SRCCOLOR:
      return src[channel] / 255.0f;
    case D3DBLEND_INVSRCCOLOR:
      return 1 - src[channel] / 255.0f;
    case D3DBLEND_SRCALPHA:
      return src[3] / 255.0f;
    case D3DBLEND_INVSRCALPHA:
      return 1 - src[3] / 255.0f;
    case D3DBLEND_DESTALPHA:
      return dst[3] / 255.0f;
    case D3DBLEND_INVDESTALPHA:
      return 1 - dst[3] / 255.0f;
    case D3DBLEND_DESTCOLOR:
      return dst[channel] / 255.0f;
    case D3DBLEND_INVDESTCOLOR:
      return 1 - dst[channel] / 255.0f;
    case D3DBLEND_SRCALPHASAT:
      return channel == 3 ? 1 : std::min(src[3], 255 - dst[3]) / 255.0f;
    default:
      return 1;
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
    if (wrapU)
      x = (x % p.TexW + p.TexW) % p.TexW;
    else
      x = std::clamp(x, 0, p.TexW - 1);
    if (wrapV)
      y = (y % p.TexH + p.TexH) % p.TexH;
    else
      y = std::clamp(y, 0, p.TexH - 1);
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
  const uint32_t c00 = texel(x0, y0), c10 = texel(x0 + 1, y0), c01 = texel(x0, y0 + 1), c11 = texel(x0 + 1, y0 + 1);
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
    case D3DTA_TEXTURE:
      v = tex[c];
      break;
    case D3DTA_TFACTOR:
      v = p.TFactor[c];
      break;
    case D3DTA_SPECULAR:
      v = c == 0 ? f.sr : c == 1 ? f.sg : c == 2 ? f.sb : 255.0f;
      break;
    default:
      v = c == 0 ? f.r : c == 1 ? f.g : c == 2 ? f.b : f.a;
      break;  // diffuse = current
  }
  return (arg & D3DTA_COMPLEMENT) ? 255 - v : v;
}

inline float StageOp(DWORD op, float a1, float a2) {
  switch (op) {
    case D3DTOP_SELECTARG1:
      return a1;
    case D3DTOP_SELECTARG2:
      return a2;
    case D3DTOP_MODULATE2X:
      return Clamp255(a1 * a2 / 255.0f * 2);
    case D3DTOP_MODULATE4X:
      return Clamp255(a1 * a2 / 255.0f * 4);
    case D3DTOP_ADD:
      return Clamp255(a1 + a2);
    case D3DTOP_ADDSIGNED:
      return Clamp255(a1 + a2 - 127.5f);
    case D3DTOP_ADDSIGNED2X:
      return Clamp255((a1 + a2 - 127.5f) * 2);
    case D3DTOP_SUBTRACT:
      return Clamp255(a1 - a2);
    default:
      return a1 * a2 / 255.0f;  // MODULATE and the operations this device does not have
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
                   : StageOp(p.ColorOp, StageArg(p, p.ColorArg1, ch, f, tex), StageArg(p, p.ColorArg2, ch, f, tex));
    nc[3] = p.AlphaOp == D3DTOP_DISABLE
                ? c[3]
                : StageOp(p.AlphaOp, StageArg(p, p.AlphaArg1, 3, f, tex), StageArg(p, p.AlphaArg2, 3, f, tex));
    for (int k = 0; k < 4; ++k) c[k] = nc[k];
  }
  if (p.Specular) {
    c[0] = Clamp255(c[0] + f.sr);
    c[1] = Clamp255(c[1] + f.sg);
    c[2] = Clamp255(c[2] + f.sb);
  }
  if (p.AlphaTest && !CompareU(p.AlphaFunc, static_cast<uint32_t>(c[3] + 0.5f), p.AlphaRef)) return;
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
      const float dst[4] = {float((d >> 16) & 0xFF), float((d >> 8) & 0xFF), float(d & 0xFF), float(d >> 24)};
      for (int k = 0; k < 4; ++k) c[k] = c[k] * a + dst[k] * na;
    } else {
      const float dst[4] = {float((d >> 16) & 0xFF), float((d >> 8) & 0xFF), float(d & 0xFF), float(d >> 24)};
      float out[4];
      for (int k = 0; k < 4; ++k)
        out[k] = Clamp255(c[k] * BlendFactor(p.SrcBlend, k, c, dst) + dst[k] * BlendFactor(p.DstBlend, k, c, dst));
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
    if (p.Blend)
      ShadeAndWrite<true, true>(p, idx, f);
    else
      ShadeAndWrite<true, false>(p, idx, f);
  } else {
    if (p.Blend)
      ShadeAndWrite<false, true>(p, idx, f);
    else
      ShadeAndWrite<false, false>(p, idx, f);
  }
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
[[gnu::always_inline]] inline bool RowBounds(const TTriangle& t, const TEdges& e, int py, int64_t& lo, int64_t& hi) {
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
__attribute__((target("avx2"))) void PlainTriangleAvx2(const TPix& p, const TTriangle& t, int y0, int y1) {
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
        if (specular) c = _mm_min_ps(_mm_max_ps(_mm_add_ps(c, _mm256_extractf128_ps(acc, 1)), zero), top);
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

// std::lround for the coordinates of a line (finite, well inside the range of long): halves away
// from zero, without the library call.
inline long RoundHalfAway(float x) {
  long r = static_cast<long>(x);
  const float frac = x - static_cast<float>(r);
  if (frac >= 0.5f)
    ++r;
  else if (frac <= -0.5f)
    --r;
  return r;
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
    if (Step > 0)
      From = std::max(From, minB), to = std::min(to, maxB);
    else
      From = std::min(From, maxB), to = std::max(to, minB);
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

// A point's one pixel.
void DrawPoint(const TPix& p, const TPrim& r) {
  const TScreenVtx& s = r.V[0];
  TFrag f{s.a[0], s.a[1], s.a[2], s.a[3], s.a[4], s.a[5], s.a[6], s.a[7], s.a[8]};
  FullPixel(p, size_t(r.Y0) * p.Pitch + size_t(r.X), s.z, f);
}

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
    if (down ? y >= bandY0 : y < bandY1)
      hi = mid;
    else
      lo = mid + 1;
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

// The rows y0 .. y1 - 1 of a triangle, through the copy of the row loop made for its states.
void DrawTriangle(const TPix& p, const TPrim& r, int y0, int y1) {
  const TTriangle& t = r.T;
  if (p.Textured) {
    if (p.Stencil) {
      if (p.Blend)
        RasterTriangle<true, true, true>(p, t, y0, y1);
      else
        RasterTriangle<true, true, false>(p, t, y0, y1);
    } else {
      if (p.Blend)
        RasterTriangle<true, false, true>(p, t, y0, y1);
      else
        RasterTriangle<true, false, false>(p, t, y0, y1);
    }
  } else {
    if (p.Stencil) {
      if (p.Blend)
        RasterTriangle<false, true, true>(p, t, y0, y1);
      else
        RasterTriangle<false, true, false>(p, t, y0, y1);
    } else {
      if (p.Blend)
        RasterTriangle<false, false, true>(p, t, y0, y1);
      else
        RasterTriangle<false, false, false>(p, t, y0, y1);
    }
  }
}

}  // namespace

void DrawRows(const TPix& p, const TPrim& r, int y0, int y1) {
  switch (r.Kind) {
    case pkTriangle:
      DrawTriangle(p, r, y0, y1);
      break;
    case pkLine:
      DrawLine(p, r, y0, y1);
      break;
    case pkPoint:
      DrawPoint(p, r);
      break;
    case pkClear:
      break;  // done by the band scheduler, which holds the clears
  }
}

}  // namespace ixoral::device
