// The "Moderne" look's pieces: stored choice, fill light, gradient, selection outline, edge smoothing.
#include "render/ViewStyle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <strings.h>

#include <thread>

#include "platform/Settings.h"
#include "scene/VectorMath.h"

namespace ixoral {

namespace {

constexpr const char* kLookKey = "\\Affichage";

inline int Red(uint32_t c) { return int((c >> 16) & 0xFF); }
inline int Green(uint32_t c) { return int((c >> 8) & 0xFF); }
inline int Blue(uint32_t c) { return int(c & 0xFF); }

// Brightness 0..255 as the eye weighs the three primaries.
inline int Luma(uint32_t c) { return (Red(c) * 54 + Green(c) * 183 + Blue(c) * 19) >> 8; }

// a + (b - a) * t, each channel, t in 0..256.
inline uint32_t Mix(uint32_t a, uint32_t b, int t) {
  auto ch = [t](int x, int y) { return uint32_t(x + (((y - x) * t) >> 8)); };
  return (a & 0xFF000000u) | ch(Red(a), Red(b)) << 16 | ch(Green(a), Green(b)) << 8 | ch(Blue(a), Blue(b));
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

void PaintGradient(TSurface& target, const D3DVIEWPORT7& vp, int rowFrom, int rowTo, D3DCOLOR background) {
  const int x0 = int(vp.dwX), x1 = std::min<int>(int(vp.dwX + vp.dwWidth), target.Width());
  const int y0 = std::max<int>(int(vp.dwY), rowFrom);
  const int y1 = std::min({int(vp.dwY + vp.dwHeight), rowTo, target.Height()});
  if (x0 >= x1 || vp.dwHeight == 0) return;
  // Towards a light slate blue at the top, a third of the way.
  const uint32_t top = Mix(background, 0xFF9EA8BCu, 92);
  for (int y = y0; y < y1; ++y) {
    const int t = int(256 - (int64_t(y - int(vp.dwY)) * 256) / int64_t(vp.dwHeight));
    std::fill_n(target.Pixels() + size_t(y) * size_t(target.Width()) + size_t(x0), size_t(x1 - x0),
                Mix(background, top, t));
  }
}

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
  const size_t k = size_t(width);
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* d = drawn.data() + y * w;
    for (size_t x = 0; x < w; ++x) {
      uint8_t any = 0;
      for (size_t i = x >= k ? x - k : 0; i <= std::min(w - 1, x + k) && !any; ++i) any = d[i];
      rows[y * w + x] = any;
    }
  }
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      uint8_t any = 0;
      for (size_t i = y >= k ? y - k : 0; i <= std::min(h - 1, y + k) && !any; ++i) any = rows[i * w + x];
      grown[y * w + x] = any;
    }
  for (size_t y = 0; y < h; ++y) {
    uint32_t* p = target.Pixels() + (size_t(top) + y) * pitch + size_t(left);
    for (size_t x = 0; x < w; ++x)
      if (grown[y * w + x] && !drawn[y * w + x]) p[x] = colour;
  }
}

void SmoothEdges(TSurface& target, const D3DVIEWPORT7& vp, int samples) {
  if (samples <= 0) return;
  const int x0 = int(vp.dwX), x1 = std::min<int>(int(vp.dwX + vp.dwWidth), target.Width());
  const int y0 = int(vp.dwY), y1 = std::min<int>(int(vp.dwY + vp.dwHeight), target.Height());
  const int w = x1 - x0, h = y1 - y0;
  if (w < 3 || h < 3) return;
  const size_t pitch = size_t(target.Width());
  const uint32_t* pixels = target.Pixels();
  std::vector<uint8_t> luma(size_t(w) * size_t(h));
  auto L = [&](int x, int y) { return int(luma[size_t(y) * size_t(w) + size_t(x)]); };
  auto C = [&](int x, int y) { return pixels[size_t(y0 + y) * pitch + size_t(x0 + x)]; };
  struct TChange {
    size_t At;
    uint32_t Colour;
  };
  // Brightness of rows from..to-1, then the changes of rows from..to-1 (read from the picture as
  // drawn: they are written only once both halves are done).
  auto brightness = [&](int from, int to) {
    for (int y = from; y < to; ++y) {
      const uint32_t* p = pixels + size_t(y0 + y) * pitch + size_t(x0);
      uint8_t* l = luma.data() + size_t(y) * size_t(w);
      for (int x = 0; x < w; ++x) l[x] = uint8_t(Luma(p[x]));
    }
  };
  auto smooth = [&](int from, int to, std::vector<TChange>& changes) {
    for (int y = std::max(from, 1); y < std::min(to, h - 1); ++y) {
      const uint8_t* up = luma.data() + size_t(y - 1) * size_t(w);
      const uint8_t* row = up + w;
      const uint8_t* down = row + w;
      for (int x = 1; x < w - 1; ++x) {
        const int m = row[x], n = up[x], s = down[x], e = row[x + 1], wv = row[x - 1];
        const int lo = std::min({m, n, s, e, wv}), hi = std::max({m, n, s, e, wv});
        const int range = hi - lo;
        if (range < std::max(24, hi >> 3)) continue;
        const int nw = up[x - 1], ne = up[x + 1], sw = down[x - 1], se = down[x + 1];
        // A step between rows (the edge runs along x) or between columns.
        const int acrossRows = 2 * std::abs(n + s - 2 * m) + std::abs(nw + sw - 2 * wv) + std::abs(ne + se - 2 * e);
        const int acrossCols = 2 * std::abs(e + wv - 2 * m) + std::abs(nw + ne - 2 * n) + std::abs(sw + se - 2 * s);
        const bool alongX = acrossRows >= acrossCols;
        const int before = alongX ? n : wv, after = alongX ? s : e;
        const bool towardsAfter = std::abs(after - m) >= std::abs(before - m);
        const int other = towardsAfter ? after : before;
        const int ox = alongX ? 0 : (towardsAfter ? 1 : -1), oy = alongX ? (towardsAfter ? 1 : -1) : 0;
        const int sx = alongX ? 1 : 0, sy = alongX ? 0 : 1;
        // Half way between this pixel and the one across the edge; the edge ends where that mean
        // leaves it by a quarter of the step.
        const int edge2 = m + other;  // twice the edge's brightness
        const int limit2 = std::max(2, std::abs(other - m) / 2);
        auto ends = [&](int dir, int& dist, int& endLuma2) {
          dist = samples;
          endLuma2 = edge2;
          for (int i = 1; i <= samples; ++i) {
            const int px = x + dir * sx * i, py = y + dir * sy * i;
            const int qx = px + ox, qy = py + oy;
            if (px < 0 || py < 0 || px >= w || py >= h || qx < 0 || qy < 0 || qx >= w || qy >= h) {
              dist = i - 1;
              return;
            }
            const int l2 = L(px, py) + L(qx, qy);
            if (std::abs(l2 - edge2) >= limit2) {
              dist = i;
              endLuma2 = l2;
              return;
            }
          }
        };
        int dn, dp, ln, lp;
        ends(-1, dn, ln);
        ends(1, dp, lp);
        // The pixel lies on the step's near half: mix by how close it is to the nearer end, where
        // the step turns towards this pixel's side.
        const int nearEnd2 = dn < dp ? ln : lp;
        const bool turnsHere = (nearEnd2 - edge2 < 0) != (2 * m - edge2 < 0);
        int t = 0;
        if (turnsHere && dn + dp > 0) t = 128 - (256 * std::min(dn, dp)) / (dn + dp);
        // Lone pixels brighter or darker than all around are softened too.
        const int mean = (2 * (n + s + e + wv) + nw + ne + sw + se) / 12;
        int sub = std::clamp((256 * std::abs(mean - m)) / range, 0, 256);
        sub = (((sub * sub) >> 8) * 192) >> 8;
        t = std::max(t, sub / 2);
        if (t <= 0) continue;
        changes.push_back({size_t(y0 + y) * pitch + size_t(x0 + x), Mix(C(x, y), C(x + ox, y + oy), std::min(t, 128))});
      }
    }
  };
  // Two halves of the view at once: the views are drawn on every core, and this after them.
  std::vector<TChange> upper, lower;
  const int half = h / 2;
  {
    std::thread other([&] { brightness(half, h); });
    brightness(0, half);
    other.join();
  }
  {
    std::thread other([&] { smooth(half, h, lower); });
    smooth(0, half, upper);
    other.join();
  }
  for (const std::vector<TChange>* changes : {&upper, &lower})
    for (const TChange& c : *changes) target.Pixels()[c.At] = c.Colour;
}

}  // namespace ixoral
