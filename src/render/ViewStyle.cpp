// The "Moderne" look's pieces: stored choice, fill light, gradient, selection outline, edge smoothing.
#include "render/ViewStyle.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Settings.h"
#include "render/device/RenderThreads.h"
#include "scene/VectorMath.h"

namespace ixoral {

namespace {

constexpr const char* kLookKey = "\\Affichage";

inline int Red(uint32_t c) { return int((c >> 16) & 0xFF); }
inline int Green(uint32_t c) { return int((c >> 8) & 0xFF); }
inline int Blue(uint32_t c) { return int(c & 0xFF); }

// Brightness 0..255 as the eye weighs the three primaries.
inline int Luma(uint32_t c) { return (Red(c) * 54 + Green(c) * 183 + Blue(c) * 19) >> 8; }

// a + (b - a) * t, each channel, t in 0..256: (a * (256 - t) + b * t) / 256 rounded down, the three
// channels at once, 16 bits apart in one word (each sum is below 2^16).
inline uint32_t Mix(uint32_t a, uint32_t b, int t) {
  auto spread = [](uint32_t c) { return uint64_t(c & 0xFF0000u) << 16 | uint64_t(c & 0xFF00u) << 8 | (c & 0xFFu); };
  const uint64_t m = (spread(a) * uint64_t(256 - t) + spread(b) * uint64_t(t)) >> 8;
  return (a & 0xFF000000u) | uint32_t(m >> 16 & 0xFF0000u) | uint32_t(m >> 8 & 0xFF00u) | uint32_t(m & 0xFFu);
}

}  // namespace

bool ViewStyleFromName(const std::string& name, TViewStyle& style) {
  for (int i = 0; i < 2; ++i)
    if (strcasecmp(name.c_str(), kViewStyleNames[i]) == 0) {
      style = static_cast<TViewStyle>(i);
      return true;
    }
  return false;
}

TViewLook ReadViewLook(TSettingsStore* settings, TViewStyle fallback) {
  TViewLook look;
  look.Style = fallback;
  if (!settings) return look;
  TViewStyle stored;
  if (ViewStyleFromName(settings->ReadString(kLookKey, "Style"), stored)) look.Style = stored;
  const std::string samples = settings->ReadString(kLookKey, "Anticrenelage");
  char* end = nullptr;
  const long n = std::strtol(samples.c_str(), &end, 10);
  if (!samples.empty() && end && *end == 0 && n >= 0) {
    look.EdgeSamples = 0;
    for (int choice : kEdgeSampleChoices)
      if (n >= choice) look.EdgeSamples = choice;
  }
  return look;
}

void WriteViewLook(TSettingsStore& settings, const TViewLook& look) {
  settings.WriteString(kLookKey, "Style", kViewStyleNames[look.Style == TViewStyle::Moderne ? 1 : 0]);
  settings.WriteString(kLookKey, "Anticrenelage", std::to_string(look.EdgeSamples));
}

D3DLIGHT7 FillLight(const D3DMATRIX& viewMatrix) {
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {0.45f, 0.45f, 0.47f, 1};
  l.dcvSpecular = {0, 0, 0, 0};
  l.dcvAmbient = {0.08f, 0.08f, 0.085f, 0};
  // Forward in the camera's frame, tilted down and to the right (light from above, left), taken
  // back to the world through the inverse of the view's linear part.
  const double f[3] = {0.3, -0.4, 1.0};
  D3DMATRIX inv;
  double d[3] = {0, 0, 1};
  if (Invert(viewMatrix, inv)) {
    for (int j = 0; j < 3; ++j) d[j] = f[0] * inv.m[0][j] + f[1] * inv.m[1][j] + f[2] * inv.m[2][j];
  }
  const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!(n > 1e-30) || !std::isfinite(n))
    l.dvDirection = {0, 0, 1};
  else
    l.dvDirection = {float(d[0] / n), float(d[1] / n), float(d[2] / n)};
  return l;
}

void PaintGradient(TSurface& target, const D3DVIEWPORT7& vp, int rowFrom, int rowTo, D3DCOLOR background,
                   TRenderThreads* threads) {
  const int x0 = int(vp.dwX), x1 = std::min<int>(int(vp.dwX + vp.dwWidth), target.Width());
  const int y0 = std::max<int>(int(vp.dwY), rowFrom);
  const int y1 = std::min({int(vp.dwY + vp.dwHeight), rowTo, target.Height()});
  if (x0 >= x1 || vp.dwHeight == 0) return;
  // Towards a light slate blue at the top, a third of the way.
  const uint32_t top = Mix(background, 0xFF9EA8BCu, 92);
  ForEachRowSlice(threads, y0, y1, [&](int from, int to) {
    for (int y = from; y < to; ++y) {
      const int t = int(256 - (int64_t(y - int(vp.dwY)) * 256) / int64_t(vp.dwHeight));
      std::fill_n(target.Pixels() + size_t(y) * size_t(target.Width()) + size_t(x0), size_t(x1 - x0),
                  Mix(background, top, t));
    }
  });
}

namespace {

// Whether any of n depths is below 1 (drawn on). Most rows of a view are not: they are passed
// over by a smallest-value search on the depths' bits as signed integers, which the compiler
// makes vector code. Bits of a depth of 1 or more (or infinite or not a number) with the sign
// clear are at least those of 1; any other depth is looked at as a number.
bool AnyBelowOne(const float* z, int n) {
  constexpr int32_t kOne = 0x3F800000;
  int32_t least = kOne;
  for (int x = 0; x < n; ++x) {
    int32_t bits;
    std::memcpy(&bits, z + x, sizeof bits);
    least = std::min(least, bits);
  }
  if (least >= kOne) return false;
  for (int x = 0; x < n; ++x)
    if (z[x] < 1.0f) return true;
  return false;
}

}  // namespace

void OutlineDrawn(TSurface& target, const D3DVIEWPORT7& vp, int width, D3DCOLOR colour) {
  if (!target.HasDepth() || width <= 0) return;
  const int x0 = int(vp.dwX), x1 = std::min<int>(int(vp.dwX + vp.dwWidth), target.Width());
  const int y0 = int(vp.dwY), y1 = std::min<int>(int(vp.dwY + vp.dwHeight), target.Height());
  if (x0 >= x1 || y0 >= y1) return;
  const size_t pitch = size_t(target.Width());
  // The box of what was drawn on: the outline lies within it and `width` around it.
  int left = x1, right = x0 - 1, top = y1, bottom = y0 - 1;
  for (int y = y0; y < y1; ++y) {
    const float* z = target.Depth() + size_t(y) * pitch;
    if (!AnyBelowOne(z + x0, x1 - x0)) continue;
    int first = x0;
    while (first < x1 && !(z[first] < 1.0f)) ++first;
    if (first == x1) continue;
    int last = x1 - 1;
    while (!(z[last] < 1.0f)) --last;
    left = std::min(left, first), right = std::max(right, last);
    top = std::min(top, y), bottom = y;
  }
  if (right < left) return;
  left = std::max(x0, left - width), right = std::min(x1 - 1, right + width);
  top = std::max(y0, top - width), bottom = std::min(y1 - 1, bottom + width);
  const size_t w = size_t(right - left + 1), h = size_t(bottom - top + 1);
  // Drawn-on pixels, then grown by `width` along rows and then along columns: a pixel of the
  // grown shape that was not drawn on is the outline.
  std::vector<uint8_t> drawn(w * h), rows(w * h), grown(w * h);
  for (size_t y = 0; y < h; ++y) {
    const float* z = target.Depth() + (size_t(top) + y) * pitch + size_t(left);
    for (size_t x = 0; x < w; ++x) drawn[y * w + x] = z[x] < 1.0f;
  }
  // Each grown row is the union of its source rows shifted by up to `width`: whole rows of
  // bytes or-ed together, which the compiler makes vector code.
  const size_t k = size_t(width);
  auto orInto = [](uint8_t* __restrict to, const uint8_t* __restrict from, size_t n) {
    for (size_t x = 0; x < n; ++x) to[x] |= from[x];
  };
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* d = drawn.data() + y * w;
    uint8_t* r = rows.data() + y * w;
    for (size_t o = 0; o <= std::min(k, w - 1); ++o) {
      orInto(r, d + o, w - o);
      orInto(r + o, d, w - o);
    }
  }
  for (size_t y = 0; y < h; ++y)
    for (size_t i = y >= k ? y - k : 0; i <= std::min(h - 1, y + k); ++i)
      orInto(grown.data() + y * w, rows.data() + i * w, w);
  for (size_t y = 0; y < h; ++y) {
    uint32_t* p = target.Pixels() + (size_t(top) + y) * pitch + size_t(left);
    for (size_t x = 0; x < w; ++x)
      if (grown[y * w + x] && !drawn[y * w + x]) p[x] = colour;
  }
}

namespace {

// One pixel's change of colour, written once every row has been read.
struct TEdgeChange {
  size_t At;
  uint32_t Colour;
};

// The two byte loops below are compiled twice on x86, for AVX2 and for any processor, and the
// loader picks the one the processor runs. Not under the thread sanitizer: the loader's choice runs
// before its runtime is ready and the program stops at start.
#if defined(__SANITIZE_THREAD__)
#define IXORAL_NO_CLONES 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define IXORAL_NO_CLONES 1
#endif
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(IXORAL_NO_CLONES)
#define IXORAL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define IXORAL_VECTOR_CLONES
#endif

// A row's brightness. The bytes written alias nothing read (`__restrict`), so the loop is vector
// code.
IXORAL_VECTOR_CLONES void RowLuma(const uint32_t* __restrict colours, int w, uint8_t* __restrict out) {
  for (int x = 0; x < w; ++x) out[x] = uint8_t(Luma(colours[x]));
}

// Per row, which pixels are worth a closer look: those whose brightness and their four
// neighbours' spread by at least max(24, brightest / 8), marked with that spread (0 for the
// others). Plain loops over bytes, which the compiler turns into vector code; most pixels of a
// view stop here.
IXORAL_VECTOR_CLONES void MarkContrast(const uint8_t* up, const uint8_t* row, const uint8_t* down, int w,
                                       uint8_t* __restrict marks) {
  for (int x = 1; x < w - 1; ++x) {
    const uint8_t a = row[x], n = up[x], s = down[x], e = row[x + 1], wv = row[x - 1];
    const uint8_t lo = std::min(std::min(std::min(a, n), std::min(s, e)), wv);
    const uint8_t hi = std::max(std::max(std::max(a, n), std::max(s, e)), wv);
    const uint8_t threshold = std::max(uint8_t(24), uint8_t(hi >> 3));
    const uint8_t range = uint8_t(hi - lo);
    marks[x] = range >= threshold ? range : 0;
  }
}

// Quotients n / d for 0 <= n < 2^16 and 0 < d < 256 by a multiplication instead of a division:
// with r = ⌈2^32 / d⌉, r * d exceeds 2^32 by less than d, so n * r / 2^32 exceeds n / d by less
// than n / 2^32 < 1 / d and has the same whole part.
struct TReciprocals {
  uint64_t Of[256] = {};
  constexpr TReciprocals() {
    for (uint64_t d = 1; d < 256; ++d) Of[d] = ((uint64_t(1) << 32) + d - 1) / d;
  }
};
constexpr TReciprocals kReciprocals;

inline int SmallQuotient(int n, int d) { return int((uint64_t(n) * kReciprocals.Of[d]) >> 32); }

// What the walks along an edge of the last pixel smoothed on it found, for the next pixel on the
// same edge (same side across, same brightness): the tests of the positions they share are not
// made again. Kept per row for edges along it (positions are columns) and per column for edges
// down it (positions are rows).
struct TEdgeWalks {
  int At = -2, Across = 0, Edge2 = -1, Limit2 = -1;
  int Ahead = -1;    // the nearest position past At that leaves the edge, or -1
  int AheadTo = -1;  // positions At+1 .. AheadTo are tested (up to Ahead when there is one)
  int Behind = -1;   // the nearest position before At that leaves the edge, or -1
};

#if defined(__SSE2__)
// Eight positions along a row at once: bit i is set where the pixel pair q[i], q[i + across]
// leaves the edge, its sum `limit2` or more away from `edge2` (the test `far` below makes).
inline unsigned FarInEight(const uint8_t* q, ptrdiff_t across, __m128i edge2, __m128i belowLimit) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(q)), zero);
  const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(q + across)), zero);
  const __m128i d = _mm_sub_epi16(_mm_add_epi16(a, b), edge2);
  const __m128i far = _mm_cmpgt_epi16(_mm_max_epi16(d, _mm_sub_epi16(zero, d)), belowLimit);
  return unsigned(_mm_movemask_epi8(_mm_packs_epi16(far, zero)));
}
#endif

// The nearest positions before and after `at` on a row whose pixel pair leaves the edge (-1
// where none), looked for eight at a time over at least `back` positions before and `on` after,
// as the walks of SmoothPixel look one by one; an end found further than those is not one, and
// the caller drops it as the walks do. False where that would read outside the row, or without
// the vector unit.
bool RowEdgeEnds(const uint8_t* row, int at, int last, ptrdiff_t across, int edge2, int limit2, int back, int on,
                 int& behind, int& ahead) {
#if defined(__SSE2__)
  const int eightsBack = (back + 7) / 8, eightsOn = (on + 7) / 8;
  if (at < 8 * eightsBack || at + 8 * eightsOn > last) return false;
  const __m128i e = _mm_set1_epi16(short(edge2)), below = _mm_set1_epi16(short(limit2 - 1));
  behind = ahead = -1;
  for (int k = 1; k <= eightsBack && behind < 0; ++k) {
    const unsigned m = FarInEight(row + at - 8 * k, across, e, below);  // positions at - 8k + i
    if (m) behind = at - 8 * k + std::bit_width(m) - 1;
  }
  for (int k = 0; k < eightsOn && ahead < 0; ++k) {
    const unsigned m = FarInEight(row + at + 1 + 8 * k, across, e, below);  // positions at + 1 + 8k + i
    if (m) ahead = at + 1 + 8 * k + std::countr_zero(m);
  }
  return true;
#else
  (void)row, (void)at, (void)last, (void)across, (void)edge2, (void)limit2, (void)back, (void)on;
  (void)behind, (void)ahead;
  return false;
#endif
}

// The smoothing of one marked pixel (x, y) of a view w wide whose brightness is `luma`, h rows of
// it (y counted from the first), `range` the spread its mark holds, `colour` the pixel in the
// picture (whose rows are `pitch` apart); false where it stays as it is. The rows held end where
// the view does or at least `samples` rows from y, so that the walks down a column find what they
// would over the whole view.
bool SmoothPixel(const uint8_t* luma, int w, int h, int x, int y, int range, int samples, const uint32_t* colour,
                 ptrdiff_t pitch, TEdgeWalks& rowWalks, TEdgeWalks& columnWalks, uint32_t& result) {
  const uint8_t* row = luma + size_t(y) * size_t(w);
  const uint8_t* up = row - w;
  const uint8_t* down = row + w;
  const int m = row[x], n = up[x], s = down[x], e = row[x + 1], wv = row[x - 1];
  const int nw = up[x - 1], ne = up[x + 1], sw = down[x - 1], se = down[x + 1];
  // A step between rows (the edge runs along x) or between columns.
  const int acrossRows = 2 * std::abs(n + s - 2 * m) + std::abs(nw + sw - 2 * wv) + std::abs(ne + se - 2 * e);
  const int acrossCols = 2 * std::abs(e + wv - 2 * m) + std::abs(nw + ne - 2 * n) + std::abs(sw + se - 2 * s);
  const bool alongX = acrossRows >= acrossCols;
  const int before = alongX ? n : wv, after = alongX ? s : e;
  const bool towardsAfter = std::abs(after - m) >= std::abs(before - m);
  const int other = towardsAfter ? after : before;
  const int ox = alongX ? 0 : (towardsAfter ? 1 : -1), oy = alongX ? (towardsAfter ? 1 : -1) : 0;
  // Half way between this pixel and the one across the edge; the edge ends where that mean
  // leaves it by a quarter of the step.
  const int edge2 = m + other;  // twice the edge's brightness
  const int limit2 = std::max(2, std::abs(other - m) / 2);
  // Pixel pairs (this side, across) stepped along the edge; the walk stops at the view's side.
  const ptrdiff_t step = alongX ? 1 : ptrdiff_t(w), across = alongX ? ptrdiff_t(oy) * w : ox;
  const uint8_t* here = row + x;
  auto far = [&](const uint8_t* q) { return int(std::abs(int(q[0]) + int(q[across]) - edge2) >= limit2); };
  // From what the previous pixel's walks found when it lay just before on the same edge (at
  // `at` - 1): one new position behind (that pixel itself) and those past the last tested. `first`
  // is the position's pixel at 0, `at` this pixel's position, `last` the view's last position.
  auto walk = [&](TEdgeWalks& walks, const uint8_t* first, int at, int last, int& dn, int& ln, int& dp, int& lp) {
    const int back = std::min(samples, at), on = std::min(samples, last - at);
    // Along a row, away from its ends, the positions are tested eight at a time; the walks'
    // record is then let go, and the next pixel it serves starts afresh.
    int behind, ahead;
    if (step == 1 && RowEdgeEnds(first, at, last, across, edge2, limit2, back, on, behind, ahead)) {
      walks.At = -2;
    } else {
      if (walks.At == at - 1 && walks.Across == across && walks.Edge2 == edge2 && walks.Limit2 == limit2) {
        if (far(here - step)) walks.Behind = at - 1;
        if (walks.Ahead == at) walks.Ahead = -1, walks.AheadTo = at;
      } else {
        walks.Across = int(across), walks.Edge2 = edge2, walks.Limit2 = limit2;
        walks.Behind = -1;
        for (int i = 1; i <= back && walks.Behind < 0; ++i)
          if (far(here - step * i)) walks.Behind = at - i;
        walks.Ahead = -1, walks.AheadTo = at;
      }
      walks.At = at;
      for (int p = walks.AheadTo + 1; walks.Ahead < 0 && p <= at + on; ++p) {
        walks.AheadTo = p;
        if (far(first + step * p)) walks.Ahead = p;
      }
      behind = walks.Behind, ahead = walks.Ahead;
    }
    auto found = [&](int end, int dist, int limit, int& d, int& l2) {
      if (end >= 0 && dist <= limit) {
        const uint8_t* q = first + step * end;
        d = dist, l2 = int(q[0]) + int(q[across]);
      } else {
        d = limit, l2 = edge2;
      }
    };
    found(behind, at - behind, back, dn, ln);
    found(ahead, ahead - at, on, dp, lp);
  };
  int dn, dp, ln, lp;
  walk(alongX ? rowWalks : columnWalks, alongX ? row : luma + x, alongX ? x : y, alongX ? w - 1 : h - 1, dn, ln, dp,
       lp);
  // The pixel lies on the step's near half: mix by how close it is to the nearer end, where
  // the step turns towards this pixel's side.
  const int nearEnd2 = dn < dp ? ln : lp;
  const bool turnsHere = (nearEnd2 - edge2 < 0) != (2 * m - edge2 < 0);
  int t = 0;
  if (turnsHere && dn + dp > 0) {
    // The nearer end is at most half way: 256 * min < 2^16 while dn + dp < 256.
    const int half = 256 * std::min(dn, dp), whole = dn + dp;
    t = 128 - (whole < 256 ? SmallQuotient(half, whole) : half / whole);
  }
  // Lone pixels brighter or darker than all around are softened too.
  const int mean = (2 * (n + s + e + wv) + nw + ne + sw + se) / 12;
  // A marked pixel's range is at least 24, and a brightness at most 255 from the mean.
  int sub = std::min(SmallQuotient(256 * std::abs(mean - m), range), 256);
  sub = (((sub * sub) >> 8) * 192) >> 8;
  t = std::max(t, sub / 2);
  if (t <= 0) return false;
  result = Mix(colour[0], colour[oy * pitch + ox], std::min(t, 128));
  return true;
}

}  // namespace

void SmoothEdges(TSurface& target, const D3DVIEWPORT7& vp, int samples, TRenderThreads* threads) {
  if (samples <= 0) return;
  const int x0 = int(vp.dwX), x1 = std::min<int>(int(vp.dwX + vp.dwWidth), target.Width());
  const int y0 = int(vp.dwY), y1 = std::min<int>(int(vp.dwY + vp.dwHeight), target.Height());
  const int w = x1 - x0, h = y1 - y0;
  if (w < 3 || h < 3) return;
  const size_t pitch = size_t(target.Width());
  uint32_t* const pixels = target.Pixels();
  // Bands of rows, a few per drawing thread so that a busy core holds up little.
  const int bands = threads && threads->Count() > 1 ? std::min(h, 4 * threads->Count()) : 1;
  // How far past its rows a band reads: the walks down a column go `samples` rows each way (the
  // pixels across such an edge are in the same row), a pixel's neighbours one row.
  const int reach = std::min(h, samples);
  // The changes a band cannot write itself, made once every band is done. Kept from one call to
  // the next, so that a frame's lists grow into memory already there.
  thread_local std::vector<std::vector<TEdgeChange>> keptChanges;
  if (keptChanges.size() < size_t(bands)) keptChanges.resize(size_t(bands));
  for (std::vector<TEdgeChange>& band : keptChanges) band.clear();
  std::vector<TEdgeChange>* const deferred = keptChanges.data();
  auto smoothBand = [&](size_t band) {
    const int from = std::max(1, int(int64_t(h) * int64_t(band) / bands));
    const int to = std::min(h - 1, int(int64_t(h) * int64_t(band + 1) / bands));
    if (from >= to) return;
    // The band's brightness and that of the rows around it which it reads, worked out a row at a
    // time just ahead of the smoothing, while the row's colours are still at hand. Kept from one
    // call to the next on each thread: every byte is written before it is read.
    const int first = std::max(0, from - reach), end = std::min(h, to + reach);
    thread_local std::vector<uint8_t> keptLuma;
    keptLuma.resize(size_t(end - first) * size_t(w));
    uint8_t* const luma = keptLuma.data();
    int lumaTo = first;
    auto lumaUpTo = [&](int row) {
      for (; lumaTo < std::min(row, end); ++lumaTo)
        RowLuma(pixels + size_t(y0 + lumaTo) * pitch + size_t(x0), w, luma + size_t(lumaTo - first) * size_t(w));
    };
    // A row's colours are read by the smoothing of the rows next to it, and its brightness by
    // the bands next to it within `reach` of their ends: the band writes its changes to a row
    // once the next row is smoothed, but those that near another band only when every band is
    // done.
    const bool bandAbove = band > 0, bandBelow = band + 1 < size_t(bands);
    std::vector<TEdgeChange>& later = deferred[band];
    thread_local std::vector<TEdgeChange> kept[2];
    std::vector<TEdgeChange>*last = &kept[0], *now = &kept[1];
    last->clear();
    auto write = [&](std::vector<TEdgeChange>& changes, int row) {
      if ((bandAbove && row < from + reach) || (bandBelow && row >= to - reach))
        later.insert(later.end(), changes.begin(), changes.end());
      else
        for (const TEdgeChange& c : changes) pixels[c.At] = c.Colour;
      changes.clear();
    };
    std::vector<uint8_t> marks(size_t(w), 0);
    TEdgeWalks rowWalks;
    std::vector<TEdgeWalks> columnWalks(static_cast<size_t>(w));
    for (int y = from; y < to; ++y) {
      lumaUpTo(y + reach + 1);
      const uint8_t* row = luma + size_t(y - first) * size_t(w);
      MarkContrast(row - w, row, row + w, w, marks.data());
      rowWalks = TEdgeWalks();
      const size_t rowAt = size_t(y0 + y) * pitch + size_t(x0);
      now->clear();
      for (int x = 1; x < w - 1;) {
        // Eight pixels' marks at a time: none marked are passed over at once, else the first
        // marked one is gone to straight away (its byte is the lowest set on little-endian).
        if (x + 8 <= w - 1) {
          uint64_t eight;
          std::memcpy(&eight, marks.data() + x, 8);
          if (eight == 0) {
            x += 8;
            continue;
          }
          if constexpr (std::endian::native == std::endian::little) x += std::countr_zero(eight) / 8;
        }
        uint32_t mixed;
        if (marks[size_t(x)] &&
            SmoothPixel(luma, w, end - first, x, y - first, marks[size_t(x)], samples, pixels + rowAt + size_t(x),
                        ptrdiff_t(pitch), rowWalks, columnWalks[size_t(x)], mixed))
          now->push_back({rowAt + size_t(x), mixed});
        ++x;
      }
      if (y > from) write(*last, y - 1);
      std::swap(last, now);
    }
    write(*last, to - 1);
  };
  if (bands > 1)
    threads->ForEach(size_t(bands), smoothBand);
  else
    smoothBand(0);
  for (const std::vector<TEdgeChange>& band : keptChanges)
    for (const TEdgeChange& c : band) pixels[c.At] = c.Colour;
}

}  // namespace ixoral
