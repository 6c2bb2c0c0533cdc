// Clipping and set-up: polygon and line clipping against the view volume, projection through the
// viewport, culling, and triangle set-up with a fixed-point top-left fill rule.
#include "render/device/TriangleSetup.h"

#include <algorithm>
#include <cmath>

namespace ixoral::device {

namespace {

// A vertex's signed distance to one of the six clip planes (0 <= z <= w, -w <= x, y <= w):
// positive inside.
float PlaneDistance(const TSoftwareDevice::TVtx& v, int plane) {
  switch (plane) {
    case 0:
      return v.z;
    case 1:
      return v.w - v.z;
    case 2:
      return v.x + v.w;
    case 3:
      return v.w - v.x;
    case 4:
      return v.y + v.w;
    default:
      return v.w - v.y;
  }
}

// Polygon clipping in homogeneous space against 0 <= z <= w and -w <= x, y <= w.
int ClipPolygon(TSoftwareDevice::TVtx* poly, int n, TSoftwareDevice::TVtx* tmp) {
  using V = TSoftwareDevice::TVtx;
  V* in = poly;
  V* out = tmp;
  for (int plane = 0; plane < 6 && n > 0; ++plane) {
    bool anyOut = false;
    for (int i = 0; i < n; ++i)
      if (PlaneDistance(in[i], plane) < 0) anyOut = true;
    if (!anyOut) continue;
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const V& a = in[i];
      const V& b = in[(i + 1) % n];
      const float da = PlaneDistance(a, plane), db = PlaneDistance(b, plane);
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

// Sets up a triangle once, whatever the bands it is drawn in; false when it covers no pixel.
bool SetupRaster(const TPix& p, const TScreenVtx* v0, const TScreenVtx* v1, const TScreenVtx* v2, TTriangle& t) {
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
  t.PlainFill = !p.Textured && !p.Stencil && p.ZEnable && p.ZWrite && p.ZFunc == D3DCMP_LESSEQUAL && !p.AlphaTest;
  if (p.Blend)
    t.PlainFill = t.PlainFill && p.SrcBlend == D3DBLEND_SRCALPHA && p.DstBlend == D3DBLEND_INVSRCALPHA &&
                  vs[0]->a[3] >= 255.0f && vs[1]->a[3] >= 255.0f && vs[2]->a[3] >= 255.0f && ddx[5] == 0 && ddy[5] == 0;
  return true;
}

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

// Rows lo .. hi of the scissor, widened by a pixel each way for rounding; false when none.
inline bool RowSpan(const TPix& p, double lo, double hi, int& y0, int& y1) {
  lo = std::floor(lo) - 1, hi = std::ceil(hi) + 1;
  if (!(lo <= hi)) return false;
  const double a = std::max<double>(lo, p.Y0), b = std::min<double>(hi, p.Y1 - 1);
  if (!(a <= b)) return false;
  y0 = static_cast<int>(a), y1 = static_cast<int>(b);
  return true;
}

// A point inside the view volume, on the pixel it falls on.
void SetupPoint(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& v, std::vector<TPrim>& out) {
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

// A line clipped to the view volume, with the rows it may touch.
void SetupLine(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& a, const TSoftwareDevice::TVtx& b,
               bool lastPixel, std::vector<TPrim>& out) {
  using TVtx = TSoftwareDevice::TVtx;
  if (!Finite(a) || !Finite(b)) return;
  // Parametric clipping against the six planes.
  float t0 = 0, t1 = 1;
  for (int plane = 0; plane < 6; ++plane) {
    const float da = PlaneDistance(a, plane), db = PlaneDistance(b, plane);
    if (da < 0 && db < 0) return;
    if (da < 0)
      t0 = std::max(t0, da / (da - db));
    else if (db < 0)
      t1 = std::min(t1, da / (da - db));
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

// The edges (in wireframe) or the corners (in point fill) of a triangle that is drawn, those of
// the triangle as given, each clipped on its own.
void SetupEdgesOrCorners(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& a, const TSoftwareDevice::TVtx& b,
                         const TSoftwareDevice::TVtx& c, std::vector<TPrim>& out) {
  using TVtx = TSoftwareDevice::TVtx;
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
}

// A triangle clipped to the view volume, projected, culled, and set up as the fan of triangles
// of the clipped polygon.
void SetupTriangle(const TPix& p, uint32_t pix, const TSoftwareDevice::TVtx& a, const TSoftwareDevice::TVtx& b,
                   const TSoftwareDevice::TVtx& c, std::vector<TPrim>& out) {
  using TVtx = TSoftwareDevice::TVtx;
  if (!Finite(a) || !Finite(b) || !Finite(c)) return;
  // Triangles entirely inside skip the clipper, and Gouraud-shaded ones are then read where they
  // are; the others are copied, given their first vertex's colours when flat, and clipped.
  const TVtx* vx[9] = {&a, &b, &c};
  // The clipping planes, in the clipper's order, that any corner and all corners are outside of.
  unsigned anyOut = 0, allOut = 63;
  for (int i = 0; i < 3; ++i) {
    const TVtx& v = *vx[i];
    const unsigned code = unsigned(v.z < 0) | unsigned(v.z > v.w) << 1 | unsigned(v.x < -v.w) << 2 |
                          unsigned(v.x > v.w) << 3 | unsigned(v.y < -v.w) << 4 | unsigned(v.y > v.w) << 5;
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
    SetupEdgesOrCorners(p, pix, a, b, c, out);
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

}  // namespace

TPrimitiveRun::TPrimitiveRun(D3DPRIMITIVETYPE type, DWORD first, DWORD last)
    : Type(type), First(first), Last(last), From(first), To(last) {
  switch (type) {
    case D3DPT_POINTLIST:
      break;
    case D3DPT_LINELIST:
      From = 2 * first, To = 2 * last;
      break;
    case D3DPT_LINESTRIP:
      To = last + 1;
      break;
    case D3DPT_TRIANGLELIST:
      From = 3 * first, To = 3 * last;
      break;
    case D3DPT_TRIANGLESTRIP:
      To = last + 2;
      break;
    case D3DPT_TRIANGLEFAN:
      From = first + 1, To = last + 2;
      break;
  }
}

bool MarkDrawnTriangles(const TPix& p, const TPrimitiveRun& run, const TCorner* corners, const TCorner& centre,
                        uint8_t* need, uint8_t* keep) {
  const DWORD k0 = run.First, from = run.From;
  const bool fan = run.Type == D3DPT_TRIANGLEFAN;
  auto corner = [&](DWORD j) -> const TCorner& { return corners[j - from]; };
  bool needCentre = false;
  for (DWORD k = k0; k < run.Last; ++k) {
    DWORD i0, i1, i2;  // the corners as SetupTriangle takes them
    if (run.Type == D3DPT_TRIANGLELIST)
      i0 = 3 * k, i1 = 3 * k + 1, i2 = 3 * k + 2;
    else if (run.Type == D3DPT_TRIANGLESTRIP)
      i0 = k, i1 = k % 2 ? k + 2 : k + 1, i2 = k % 2 ? k + 1 : k + 2;
    else
      i0 = 0, i1 = k + 1, i2 = k + 2;
    if (!MayDraw(p, fan ? centre : corner(i0), corner(i1), corner(i2))) continue;
    keep[k - k0] = 1;
    if (fan)
      needCentre = true;
    else
      need[i0 - from] = 1;
    need[i1 - from] = need[i2 - from] = 1;
  }
  return needCentre;
}

void SetupPrimitives(const TPix& p, uint32_t pix, const TPrimitiveRun& run, const TSoftwareDevice::TVtx* got,
                     const TSoftwareDevice::TVtx& centre, const uint8_t* keep, std::vector<TPrim>& out) {
  using TVtx = TSoftwareDevice::TVtx;
  const DWORD k0 = run.First, from = run.From;
  auto v = [got, from](DWORD j) -> const TVtx& { return got[j - from]; };
  for (DWORD k = k0; k < run.Last; ++k) {
    if (keep && !keep[k - k0]) continue;
    switch (run.Type) {
      case D3DPT_POINTLIST:
        SetupPoint(p, pix, v(k), out);
        break;
      case D3DPT_LINELIST:
        SetupLine(p, pix, v(2 * k), v(2 * k + 1), false, out);
        break;
      case D3DPT_LINESTRIP:
        SetupLine(p, pix, v(k), v(k + 1), false, out);
        break;
      case D3DPT_TRIANGLELIST:
        SetupTriangle(p, pix, v(3 * k), v(3 * k + 1), v(3 * k + 2), out);
        break;
      case D3DPT_TRIANGLESTRIP:
        // Odd triangles are taken in the order (i, i+2, i+1) to keep the strip's winding.
        if (k % 2 == 0)
          SetupTriangle(p, pix, v(k), v(k + 1), v(k + 2), out);
        else
          SetupTriangle(p, pix, v(k), v(k + 2), v(k + 1), out);
        break;
      case D3DPT_TRIANGLEFAN:
        SetupTriangle(p, pix, centre, v(k + 1), v(k + 2), out);
        break;
    }
  }
}

}  // namespace ixoral::device
