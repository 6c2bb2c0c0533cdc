// The "Moderne" look's pieces: stored choice, fill light, gradient, selection outline, edge smoothing.
#include "render/ViewStyle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <strings.h>

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
  const size_t w = size_t(x1 - x0), h = size_t(y1 - y0), pitch = size_t(target.Width());
  // Distance in rows and columns to the nearest marked pixel, up to `width`, by two sweeps.
  std::vector<uint8_t> near(w * h, 255);
  for (size_t y = 0; y < h; ++y) {
    const float* z = target.Depth() + (y0 + y) * pitch + size_t(x0);
    for (size_t x = 0; x < w; ++x)
      if (z[x] < 1.0f) near[y * w + x] = 0;
  }
  auto relax = [&](size_t at, size_t from) {
    near[at] = std::min<uint8_t>(near[at], uint8_t(std::min(near[from] + 1, 255)));
  };
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      if (x) relax(y * w + x, y * w + x - 1);
      if (y) relax(y * w + x, (y - 1) * w + x);
      if (x && y) relax(y * w + x, (y - 1) * w + x - 1);
      if (y && x + 1 < w) relax(y * w + x, (y - 1) * w + x + 1);
    }
  for (size_t y = h; y-- > 0;)
    for (size_t x = w; x-- > 0;) {
      if (x + 1 < w) relax(y * w + x, y * w + x + 1);
      if (y + 1 < h) relax(y * w + x, (y + 1) * w + x);
      if (x + 1 < w && y + 1 < h) relax(y * w + x, (y + 1) * w + x + 1);
      if (x && y + 1 < h) relax(y * w + x, (y + 1) * w + x - 1);
    }
  for (size_t y = 0; y < h; ++y) {
    uint32_t* p = target.Pixels() + (y0 + y) * pitch + size_t(x0);
    for (size_t x = 0; x < w; ++x) {
      const int d = near[y * w + x];
      if (d > 0 && d <= width) p[x] = colour;
    }
  }
}

void SmoothEdges(TSurface& target, const D3DVIEWPORT7& vp, int samples) {
  if (samples <= 0) return;
  const int x0 = int(vp.dwX), x1 = std::min<int>(int(vp.dwX + vp.dwWidth), target.Width());
  const int y0 = int(vp.dwY), y1 = std::min<int>(int(vp.dwY + vp.dwHeight), target.Height());
  const int w = x1 - x0, h = y1 - y0;
  if (w < 3 || h < 3) return;
  const size_t pitch = size_t(target.Width());
  std::vector<uint8_t> luma(size_t(w) * size_t(h));
  std::vector<uint32_t> colour(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y) {
    const uint32_t* p = target.Pixels() + size_t(y0 + y) * pitch + size_t(x0);
    std::copy_n(p, w, colour.data() + size_t(y) * size_t(w));
    for (int x = 0; x < w; ++x) luma[size_t(y) * size_t(w) + size_t(x)] = uint8_t(Luma(p[x]));
  }
  auto L = [&](int x, int y) { return int(luma[size_t(y) * size_t(w) + size_t(x)]); };
  auto C = [&](int x, int y) { return colour[size_t(y) * size_t(w) + size_t(x)]; };
  for (int y = 1; y < h - 1; ++y) {
    uint32_t* out = target.Pixels() + size_t(y0 + y) * pitch + size_t(x0);
    for (int x = 1; x < w - 1; ++x) {
      const int m = L(x, y), n = L(x, y - 1), s = L(x, y + 1), e = L(x + 1, y), wv = L(x - 1, y);
      const int lo = std::min({m, n, s, e, wv}), hi = std::max({m, n, s, e, wv});
      const int range = hi - lo;
      if (range < std::max(24, hi >> 3)) continue;
      const int nw = L(x - 1, y - 1), ne = L(x + 1, y - 1), sw = L(x - 1, y + 1), se = L(x + 1, y + 1);
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
      out[x] = Mix(C(x, y), C(x + ox, y + oy), std::min(t, 128));
    }
  }
}

}  // namespace ixoral
