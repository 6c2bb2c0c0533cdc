// Primitive shape generators with their exact vertex order, normals and texture coordinates.
#include "scene/Shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ixoral {
namespace {

constexpr double kTwoPi = 2 * kPi;

// Counts from outside (fields, documents) are clamped; below 1 the component stays empty.
int ClampCount(int n) { return std::min(n, kMaxPrecision); }

D3DVERTEX Vertex(double x, double y, double z, double nx, double ny, double nz, double tu, double tv) {
  return {static_cast<float>(x),  static_cast<float>(y),  static_cast<float>(z),  static_cast<float>(nx),
          static_cast<float>(ny), static_cast<float>(nz), static_cast<float>(tu), static_cast<float>(tv)};
}

int RoundCount(float v) {
  if (!(v > -1e9f && v < 1e9f)) return 0;  // NaN or absurd: no geometry
  return static_cast<int>(std::lround(v));
}

// Cube faces: normal, then six vertices as sign triples with (tu, tv).
struct TCubeCorner {
  signed char sx, sy, sz;
  signed char tu, tv;
};
struct TCubeFace {
  signed char nx, ny, nz;
  TCubeCorner v[6];
};
constexpr TCubeFace kCubeFaces[6] = {
    {0,
     0,
     1,
     {{-1, -1, 1, 1, 1}, {1, -1, 1, 0, 1}, {-1, 1, 1, 1, 0}, {-1, 1, 1, 1, 0}, {1, -1, 1, 0, 1}, {1, 1, 1, 0, 0}}},
    {0,
     1,
     0,
     {{-1, 1, 1, 1, 0}, {1, 1, 1, 0, 0}, {1, 1, -1, 0, 1}, {-1, 1, 1, 1, 0}, {1, 1, -1, 0, 1}, {-1, 1, -1, 1, 1}}},
    {0,
     0,
     -1,
     {{1, 1, -1, 0, 1},
      {1, -1, -1, 0, 0},
      {-1, 1, -1, 1, 1},
      {1, -1, -1, 0, 0},
      {-1, -1, -1, 1, 0},
      {-1, 1, -1, 1, 1}}},
    {0,
     -1,
     0,
     {{-1, -1, -1, 1, 0},
      {1, -1, -1, 0, 0},
      {-1, -1, 1, 1, 1},
      {1, -1, 1, 0, 1},
      {-1, -1, 1, 1, 1},
      {1, -1, -1, 0, 0}}},
    {1,
     0,
     0,
     {{1, -1, -1, 0, 0}, {1, 1, -1, 1, 0}, {1, 1, 1, 1, 1}, {1, -1, -1, 0, 0}, {1, 1, 1, 1, 1}, {1, -1, 1, 0, 1}}},
    {-1,
     0,
     0,
     {{-1, 1, 1, 1, 0},
      {-1, 1, -1, 1, 1},
      {-1, -1, -1, 0, 1},
      {-1, -1, -1, 0, 1},
      {-1, -1, 1, 0, 0},
      {-1, 1, 1, 1, 0}}},
};

// Pierced cube: coordinates are +-1 for +-C (cote) and +-2 for +-D (cote - epsilon); texture
// coordinates are codes for 0, 1, e, 1-e, 2e, 1-2e.
enum : signed char { T0, T1, TE, T1E, T2E, T12E };
struct TPerceVertex {
  signed char p[3];
  signed char tu, tv;
};
struct TPercePair {
  TPerceVertex a, b;
};
constexpr TPercePair kPerce[12][4] = {
    {{{{-1, -1, -1}, T0, T1}, {{-2, -2, -1}, TE, T1E}},
     {{{1, -1, -1}, T1, T1}, {{2, -2, -1}, T1E, T1E}},
     {{{1, 1, -1}, T1, T0}, {{2, 2, -1}, T1E, TE}},
     {{{-1, 1, -1}, T0, T0}, {{-2, 2, -1}, TE, TE}}},
    {{{{1, -1, -1}, T1, T1}, {{1, -2, -2}, T1E, T1E}},
     {{{1, -1, 1}, T0, T1}, {{1, -2, 2}, TE, T1E}},
     {{{1, 1, 1}, T0, T0}, {{1, 2, 2}, TE, TE}},
     {{{1, 1, -1}, T1, T0}, {{1, 2, -2}, T1E, TE}}},
    {{{{-1, 1, -1}, T0, T0}, {{-2, 1, -2}, TE, TE}},
     {{{1, 1, -1}, T1, T0}, {{2, 1, -2}, T1E, TE}},
     {{{1, 1, 1}, T1, T1}, {{2, 1, 2}, T1E, T1E}},
     {{{-1, 1, 1}, T0, T1}, {{-2, 1, 2}, TE, T1E}}},
    {{{{-1, -1, 1}, T1, T1}, {{-1, -2, 2}, T1E, T1E}},
     {{{-1, -1, -1}, T1, T0}, {{-1, -2, -2}, T1E, TE}},
     {{{-1, 1, -1}, T0, T0}, {{-1, 2, -2}, TE, TE}},
     {{{-1, 1, 1}, T0, T1}, {{-1, 2, 2}, TE, T1E}}},
    {{{{-1, -1, 1}, T1, T1}, {{-2, -1, 2}, T1E, T1E}},
     {{{1, -1, 1}, T0, T1}, {{2, -1, 2}, TE, T1E}},
     {{{1, -1, -1}, T0, T0}, {{2, -1, -2}, TE, TE}},
     {{{-1, -1, -1}, T1, T0}, {{-2, -1, -2}, T1E, TE}}},
    {{{{1, -1, 1}, T1, T0}, {{2, -2, 1}, T1E, TE}},
     {{{-1, -1, 1}, T1, T1}, {{-2, -2, 1}, T1E, T1E}},
     {{{-1, 1, 1}, T0, T1}, {{-2, 2, 1}, TE, T1E}},
     {{{1, 1, 1}, T0, T0}, {{2, 2, 1}, TE, TE}}},
    {{{{-2, -2, -1}, T1E, TE}, {{-2, -2, -2}, T12E, T2E}},
     {{{2, -2, -1}, T1E, T1E}, {{2, -2, -2}, T12E, T12E}},
     {{{2, 2, -1}, TE, T1E}, {{2, 2, -2}, T2E, T12E}},
     {{{-2, 2, -1}, TE, TE}, {{-2, 2, -2}, T2E, T2E}}},
    {{{{1, -2, -2}, T1E, T1E}, {{2, -2, -2}, T12E, T12E}},
     {{{1, -2, 2}, TE, T1E}, {{2, -2, 2}, T2E, T12E}},
     {{{1, 2, 2}, TE, TE}, {{2, 2, 2}, T2E, T2E}},
     {{{1, 2, -2}, T1E, TE}, {{2, 2, -2}, T12E, T2E}}},
    {{{{-2, 1, -2}, TE, TE}, {{-2, 2, -2}, T2E, T2E}},
     {{{2, 1, -2}, T1E, TE}, {{2, 2, -2}, T12E, T2E}},
     {{{2, 1, 2}, T1E, T1E}, {{2, 2, 2}, T12E, T12E}},
     {{{-2, 1, 2}, TE, T1E}, {{-2, 2, 2}, T2E, T12E}}},
    {{{{-1, -2, 2}, T1E, T1E}, {{-2, -2, 2}, T12E, T12E}},
     {{{-1, -2, -2}, T1E, TE}, {{-2, -2, -2}, T12E, T2E}},
     {{{-1, 2, -2}, TE, TE}, {{-2, 2, -2}, T2E, T2E}},
     {{{-1, 2, 2}, TE, T1E}, {{-2, 2, 2}, T2E, T12E}}},
    {{{{-2, -1, 2}, T1E, T1E}, {{-2, -2, 2}, T12E, T12E}},
     {{{2, -1, 2}, TE, T1E}, {{2, -2, 2}, T2E, T12E}},
     {{{2, -1, -2}, TE, TE}, {{2, -2, -2}, T2E, T2E}},
     {{{-2, -1, -2}, T1E, TE}, {{-2, -2, -2}, T12E, T2E}}},
    {{{{2, -2, 1}, T1E, TE}, {{2, -2, 2}, T12E, T2E}},
     {{{-2, -2, 1}, T1E, T1E}, {{-2, -2, 2}, T12E, T12E}},
     {{{-2, 2, 1}, TE, T1E}, {{-2, 2, 2}, T2E, T12E}},
     {{{2, 2, 1}, TE, TE}, {{2, 2, 2}, T2E, T2E}}},
};
constexpr signed char kFrameNormals[6][3] = {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1}};

std::unique_ptr<TSolidObject> Finish(std::unique_ptr<TSolidObject> s, uint8_t shape,
                                     std::initializer_list<float> params) {
  s->ShapeType = shape;
  int i = 1;
  for (float p : params) s->SetParam(i++, p);
  return s;
}

// A count as stored in Params: what the builders actually used.
float StoredCount(int n) { return static_cast<float>(std::clamp(n, 0, kMaxPrecision)); }

}  // namespace

TComposante BuildCube(double cote) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLELIST;
  c.Vertices.reserve(36);
  const double h = cote / 2;
  for (const auto& f : kCubeFaces)
    for (const auto& v : f.v) c.Vertices.push_back(Vertex(v.sx * h, v.sy * h, v.sz * h, f.nx, f.ny, f.nz, v.tu, v.tv));
  return c;
}

TComposante BuildCubePerceSection(int index, double cote, double epsilon) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLESTRIP;
  if (index < 0 || index > 11) return c;
  const double C = cote, D = cote - epsilon, e = epsilon;
  auto coord = [&](signed char s) { return (s < 0 ? -1 : 1) * (std::abs(s) == 1 ? C : D); };
  auto tex = [&](signed char t) {
    switch (t) {
      case T0:
        return 0.0;
      case T1:
        return 1.0;
      case TE:
        return e;
      case T1E:
        return 1 - e;
      case T2E:
        return 2 * e;
      default:
        return 1 - 2 * e;
    }
  };
  auto sign = [](double v) { return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0); };
  auto make = [&](const TPerceVertex& pv) {
    const double x = coord(pv.p[0]), y = coord(pv.p[1]), z = coord(pv.p[2]);
    double nx, ny, nz;
    if (index < 6) {
      nx = kFrameNormals[index][0], ny = kFrameNormals[index][1], nz = kFrameNormals[index][2];
    } else {  // sleeves: offset from the nearest cube corner
      nx = x - sign(x) * C, ny = y - sign(y) * C, nz = z - sign(z) * C;
    }
    return Vertex(x, y, z, nx, ny, nz, tex(pv.tu), tex(pv.tv));
  };
  c.Vertices.reserve(10);
  for (const auto& pair : kPerce[index]) {
    c.Vertices.push_back(make(pair.a));
    c.Vertices.push_back(make(pair.b));
  }
  c.Vertices.push_back(c.Vertices[0]);
  c.Vertices.push_back(c.Vertices[1]);
  return c;
}

namespace {

// The wall grid in its own plane; `toSpace` places a grid point (x, y) and a normal sign.
template <typename Place>
TComposante BuildGrid(int columns, int rows, float cote, Place place) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLELIST;
  const int a = ClampCount(columns), b = ClampCount(rows);
  if (a < 1 || b < 1) return c;
  const double s = cote;
  c.Vertices.reserve(12 * size_t(a) * size_t(b));
  for (int j = 0; j < a; ++j)
    for (int k = 0; k < b; ++k) {
      const double x0 = s * (double(j) / a - 0.5), x1 = s * (double(j + 1) / a - 0.5);
      const double y0 = s * (double(k) / b - 0.5), y1 = s * (double(k + 1) / b - 0.5);
      const double ua = double(j) / a, ub = double(j + 1) / a;
      const double va = double(k) / b, vb = double(k + 1) / b;
      auto add = [&](double x, double y, double n, double tu, double tv) {
        c.Vertices.push_back(place(x, y, n, tu, tv));
      };
      add(x0, y1, 2, ua, vb), add(x1, y1, 2, ub, vb), add(x1, y0, 2, ub, va);
      add(x0, y1, -2, ua, vb), add(x1, y0, -2, ub, va), add(x1, y1, -2, ub, vb);
      add(x0, y1, 2, ua, vb), add(x1, y0, 2, ub, va), add(x0, y0, 2, ua, va);
      add(x0, y1, -2, ua, vb), add(x0, y0, -2, ua, va), add(x1, y0, -2, ub, va);
    }
  return c;
}

}  // namespace

TComposante BuildWall(int columns, int rows, float cote) {
  return BuildGrid(columns, rows, cote,
                   [](double x, double y, double n, double tu, double tv) { return Vertex(x, y, 0, 0, 0, n, tu, tv); });
}

TComposante BuildFloor(int columns, int rows, float cote) {
  return BuildGrid(columns, rows, cote,
                   [](double x, double y, double n, double tu, double tv) { return Vertex(x, 0, y, 0, n, 0, tu, tv); });
}

TComposante BuildCylinderSide(int n, double h, double r) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLESTRIP;
  n = ClampCount(n);
  if (n < 1) return c;
  c.Vertices.reserve(4 * (size_t(n) + 1));
  for (int k = 0; k <= n; ++k) {
    const double t0 = kTwoPi * k / n, t1 = kTwoPi * (k + 1) / n;
    const double u0 = t0 / kTwoPi, u1 = t1 / kTwoPi;
    c.Vertices.push_back(Vertex(r * std::cos(t0), r * std::sin(t0), h / 2, std::cos(t0), std::sin(t0), 0, u0, 1));
    c.Vertices.push_back(Vertex(r * std::cos(t0), r * std::sin(t0), -h / 2, std::cos(t0), std::sin(t0), 0, u0, 0));
    c.Vertices.push_back(Vertex(r * std::cos(t1), r * std::sin(t1), h / 2, std::cos(t1), std::sin(t1), 0, u1, 1));
    c.Vertices.push_back(Vertex(r * std::cos(t1), r * std::sin(t1), -h / 2, std::cos(t1), std::sin(t1), 0, u1, 0));
  }
  return c;
}

TComposante BuildDisc(int facing, int n, double r, double z) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLEFAN;
  n = ClampCount(n);
  if (n < 1) return c;
  c.Vertices.reserve(size_t(n) + 2);
  const double nz = 1 - 2 * facing;
  c.Vertices.push_back(Vertex(0, 0, z, 0, 0, nz, 0.5, 0.5));
  for (int k = 0; k <= n; ++k) {
    const double t = kTwoPi * k / n;
    const double y = facing == 0 ? r * std::sin(t) : -r * std::sin(t);
    c.Vertices.push_back(
        Vertex(r * std::cos(t), y, z, 0, 0, facing == 0 ? 1 : -1, 0.5 + 0.5 * std::cos(t), 0.5 + 0.5 * std::sin(t)));
  }
  return c;
}

TComposante BuildConeSide(int n, double h, double r) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLEFAN;
  n = ClampCount(n);
  if (n < 1) return c;
  c.Vertices.reserve(size_t(n) + 2);
  c.Vertices.push_back(Vertex(0, 0, h, 0, 0, 1, 0.5, 0.5));
  for (int k = 0; k <= n; ++k) {
    const double t = kTwoPi * k / n;
    c.Vertices.push_back(Vertex(r * std::cos(t), r * std::sin(t), 0, std::cos(t), std::sin(t), 0,
                                0.5 + 0.5 * std::cos(t), 0.5 + 0.5 * std::sin(t)));
  }
  return c;
}

TComposante BuildTorus(int n1, int n2, double b, double cr) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLELIST;
  n1 = ClampCount(n1), n2 = ClampCount(n2);
  if (n1 < 1 || n2 < 1) return c;
  auto P = [&](int i, int j) {
    const double q = kTwoPi * i / n1, s = kTwoPi * j / n2;
    return Vertex((cr + b * std::cos(q)) * std::cos(s), b * std::sin(q), (cr + b * std::cos(q)) * std::sin(s),
                  b * std::cos(q) * std::cos(s), b * std::sin(q), b * std::cos(q) * std::sin(s),
                  0.5 + 0.5 * std::cos(s), 0.5 - 0.5 * std::cos(q));
  };
  std::vector<D3DVERTEX> grid((size_t(n1) + 1) * (size_t(n2) + 1));
  for (int i = 0; i <= n1; ++i)
    for (int j = 0; j <= n2; ++j) grid[size_t(i) * (size_t(n2) + 1) + size_t(j)] = P(i, j);
  auto G = [&](int i, int j) { return grid[size_t(i) * (size_t(n2) + 1) + size_t(j)]; };
  c.Vertices.reserve(6 * size_t(n1) * size_t(n2));
  for (int i = 0; i < n1; ++i)
    for (int j = 0; j < n2; ++j) {
      c.Vertices.push_back(G(i, j)), c.Vertices.push_back(G(i + 1, j)), c.Vertices.push_back(G(i, j + 1));
      c.Vertices.push_back(G(i, j + 1)), c.Vertices.push_back(G(i + 1, j)), c.Vertices.push_back(G(i + 1, j + 1));
    }
  return c;
}

TComposante BuildSphere(int n1, int n2, double R) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLELIST;
  n1 = ClampCount(n1), n2 = ClampCount(n2);
  if (n1 < 1 || n2 < 1) return c;
  auto P = [&](int i, int j) {
    const double phi = (double(i) / n2 - 0.5) * kPi, theta = kTwoPi * j / n1;
    const double x = R * std::cos(phi) * std::cos(theta), y = R * std::sin(phi),
                 z = R * std::cos(phi) * std::sin(theta);
    return Vertex(x, y, z, x, y, z, 0.5 + 0.5 * std::cos(theta), 0.5 - 0.5 * std::sin(phi));
  };
  // Each grid point is computed once and copied into the triangles that share it.
  std::vector<D3DVERTEX> grid((size_t(n2) + 1) * (size_t(n1) + 1));
  for (int i = 0; i <= n2; ++i)
    for (int j = 0; j <= n1; ++j) grid[size_t(i) * (size_t(n1) + 1) + size_t(j)] = P(i, j);
  auto G = [&](int i, int j) { return grid[size_t(i) * (size_t(n1) + 1) + size_t(j)]; };
  // The array keeps its full size; the polar bands leave 6 * n1 zero vertices at the end.
  c.Vertices.assign(6 * size_t(n1) * size_t(n2), D3DVERTEX{});
  size_t k = 0;
  for (int i = 0; i < n2; ++i)
    for (int j = 0; j < n1; ++j) {
      if (i > 0) {
        c.Vertices[k++] = G(i, j), c.Vertices[k++] = G(i + 1, j), c.Vertices[k++] = G(i, j + 1);
      }
      if (i < n2 - 1) {
        c.Vertices[k++] = G(i, j + 1), c.Vertices[k++] = G(i + 1, j), c.Vertices[k++] = G(i + 1, j + 1);
      }
    }
  return c;
}

TComposante BuildSpotSymbol(int n, double length, double radius) {
  TComposante c;
  c.PrimitiveType = D3DPT_LINELIST;
  n = ClampCount(n);
  if (n < 1) return c;
  auto rim = [&](int k) {
    const double t = kTwoPi * k / n;
    return Vertex(radius * std::cos(t), radius * std::sin(t), 0, 0, 0, 0, 0, 0);
  };
  const D3DVERTEX apex = Vertex(0, 0, length, 0, 0, 0, 0, 0);
  c.Vertices.reserve(4 * size_t(n) + 2);
  c.Vertices.push_back(apex);
  c.Vertices.push_back(rim(0));
  for (int k = 1; k <= n; ++k) {
    c.Vertices.push_back(apex);
    c.Vertices.push_back(rim(k));
    c.Vertices.push_back(rim(k));
    c.Vertices.push_back(rim(k - 1));
  }
  return c;
}

TComposante BuildAimSymbol(int n, double a, double r, double d) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLEFAN;
  n = ClampCount(n);
  if (n < 1) return c;
  auto rim = [&](int k) {
    const double t = kTwoPi * k / n;
    return Vertex(r * std::cos(t), r * std::sin(t), 0, 0, 0, 0, 0, 0);
  };
  c.Vertices.reserve(2 * size_t(n) + 6);
  c.Vertices.push_back(Vertex(0, 0, a, 0, 0, 0, 0, 0));
  for (int k = 0; k <= n; ++k) c.Vertices.push_back(rim(k));
  for (int k = n - 1; k >= 0; --k) c.Vertices.push_back(rim(k));
  c.Vertices.push_back(Vertex(0, 0, -d, 0, 0, 0, 0, 0));
  c.Vertices.push_back(Vertex(-r, 0, 0, 0, 0, 0, 0, 0));
  c.Vertices.push_back(Vertex(0, 0, -d, 0, 0, 0, 0, 0));
  c.Vertices.push_back(Vertex(r, 0, 0, 0, 0, 0, 0, 0));
  return c;
}

std::unique_ptr<TSolidObject> NewSolidFromComposantes(TArrayOfComposante components, D3DCOLOR colour) {
  auto s = std::make_unique<TSolidObject>();
  s->Composantes = std::move(components);
  s->SetColor(colour);
  s->SetSpecular(1.5f);
  s->SetVisible(true);
  return s;
}

std::unique_ptr<TLight> NewLightFromSymbol(const TComposante& symbol, D3DCOLOR colour, TScene* scene) {
  auto l = std::make_unique<TLight>(scene);
  l->Symbol = symbol;
  l->SetColor(colour);
  l->SetSpecular(1.0f);
  return l;
}

std::unique_ptr<TSolidObject> CreateCube(D3DCOLOR colour, double cote) {
  return Finish(NewSolidFromComposantes(MakeComposantes(BuildCube(cote)), colour), stCube, {float(cote)});
}

std::unique_ptr<TSolidObject> CreateCubePerce(D3DCOLOR colour, double cote, double epsilon) {
  TArrayOfComposante parts;
  for (int i = 0; i < 12; ++i) parts.push_back(BuildCubePerceSection(i, cote, epsilon));
  return Finish(NewSolidFromComposantes(std::move(parts), colour), stCubePerce, {float(cote), float(epsilon)});
}

std::unique_ptr<TSolidObject> CreateCylinder(int precision, D3DCOLOR colour, double hauteur, double rayon) {
  return Finish(NewSolidFromComposantes(MakeComposantes(BuildCylinderSide(precision, hauteur, rayon),
                                                        BuildDisc(0, precision, rayon, hauteur / 2),
                                                        BuildDisc(1, precision, rayon, -hauteur / 2)),
                                        colour),
                stCylindre, {float(rayon), float(hauteur), StoredCount(precision)});
}

std::unique_ptr<TSolidObject> CreateCircle(int n, D3DCOLOR colour, double rayon) {
  return Finish(NewSolidFromComposantes(MakeComposantes(BuildDisc(1, n, rayon, 0), BuildDisc(0, n, rayon, 0)), colour),
                stCercle, {float(rayon), StoredCount(n)});
}

std::unique_ptr<TSolidObject> CreateTorus(int precision1, int precision2, D3DCOLOR colour, double rayon2,
                                          double rayon1) {
  return Finish(NewSolidFromComposantes(MakeComposantes(BuildTorus(precision1, precision2, rayon2, rayon1)), colour),
                stTore, {float(rayon1), float(rayon2), StoredCount(precision1), StoredCount(precision2)});
}

std::unique_ptr<TSolidObject> CreateSphere(int precision1, int precision2, D3DCOLOR colour, double rayon) {
  return Finish(NewSolidFromComposantes(MakeComposantes(BuildSphere(precision1, precision2, rayon)), colour), stSphere,
                {float(rayon), StoredCount(precision1), StoredCount(precision2)});
}

std::unique_ptr<TSolidObject> CreateConeOrPyramid(int precision, D3DCOLOR colour, double hauteur, double rayon) {
  return Finish(
      NewSolidFromComposantes(
          MakeComposantes(BuildDisc(1, precision, rayon, 0), BuildConeSide(precision, hauteur, rayon)), colour),
      precision == 4 ? stPyramide : stCone, {float(rayon), float(hauteur), StoredCount(precision)});
}

std::unique_ptr<TSolidObject> CreateWall(D3DCOLOR colour, float cote) {
  return Finish(NewSolidFromComposantes(MakeComposantes(BuildWall(20, 20, cote)), colour), stPlanVertical, {cote});
}

std::unique_ptr<TSolidObject> CreateFloor(D3DCOLOR colour, float cote) {
  return Finish(NewSolidFromComposantes(MakeComposantes(BuildFloor(20, 20, cote)), colour), stPlanHorizontal, {cote});
}

std::unique_ptr<TLight> CreateSpotLight(D3DCOLOR colour, TScene* scene, float angle, float length) {
  auto l = NewLightFromSymbol(BuildSpotSymbol(10, length, length * std::tan(angle / 2.0)), colour, scene);
  l->LightType = ltSpot;
  return l;
}

std::unique_ptr<TLight> CreateAimedLight(const Vec3d& origin, const D3DVECTOR& target, D3DCOLOR colour, TScene* scene) {
  const double dx = target.x - origin.x, dy = target.y - origin.y, dz = target.z - origin.z;
  const float distance = static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
  auto l = NewLightFromSymbol(BuildAimSymbol(10, 0.1, 0.1, distance), colour, scene);
  l->LightType = ltAimed;
  return l;
}

bool BuildPrimitiveComposantes(uint8_t shapeType, const TSolidObject& s, TArrayOfComposante& out) {
  const auto p = [&](int i) { return double(s.GetParam(i)); };
  const auto n = [&](int i) { return RoundCount(s.GetParam(i)); };
  out.clear();
  switch (shapeType) {
    case stCube:
      out = {BuildCube(p(1))};
      return true;
    case stCubePerce:
      for (int i = 0; i < 12; ++i) out.push_back(BuildCubePerceSection(i, p(1), p(2)));
      return true;
    case stCylindre:
      out = {BuildCylinderSide(n(3), p(2), p(1)), BuildDisc(0, n(3), p(1), p(2) / 2),
             BuildDisc(1, n(3), p(1), -p(2) / 2)};
      return true;
    case stCercle:
      out = {BuildDisc(1, n(2), p(1), 0), BuildDisc(0, n(2), p(1), 0)};
      return true;
    case stTore:
      out = {BuildTorus(n(3), n(4), p(2), p(1))};
      return true;
    case stSphere:
      out = {BuildSphere(n(2), n(3), p(1))};
      return true;
    case stPyramide:
      out = {BuildDisc(1, 4, p(1), 0), BuildConeSide(4, p(2), p(1))};
      return true;
    case stCone:
      out = {BuildDisc(1, n(3), p(1), 0), BuildConeSide(n(3), p(2), p(1))};
      return true;
    case stPlanVertical:
      out = {BuildWall(20, 20, s.GetParam(1))};
      return true;
    case stPlanHorizontal:
      out = {BuildFloor(20, 20, s.GetParam(1))};
      return true;
    default:
      return false;
  }
}

std::unique_ptr<TSolidObject> RebuildPrimitiveObject(uint8_t shapeType, const TSolidObject& s, D3DCOLOR colour) {
  const auto p = [&](int i) { return double(s.GetParam(i)); };
  const auto n = [&](int i) { return RoundCount(s.GetParam(i)); };
  switch (shapeType) {
    case stCube:
      return CreateCube(colour, p(1));
    case stCubePerce:
      return CreateCubePerce(colour, p(1), p(2));
    case stCylindre:
      return CreateCylinder(n(3), colour, p(2), p(1));
    case stCercle:
      return CreateCircle(n(2), colour, p(1));
    case stTore:
      return CreateTorus(n(3), n(4), colour, p(2), p(1));
    case stSphere:
      return CreateSphere(n(2), n(3), colour, p(1));
    case stPyramide:
      return CreateConeOrPyramid(4, colour, p(2), p(1));
    case stCone:
      return CreateConeOrPyramid(n(3), colour, p(2), p(1));
    case stPlanVertical:
      return CreateWall(colour, s.GetParam(1));
    case stPlanHorizontal:
      return CreateFloor(colour, s.GetParam(1));
    default:
      return nullptr;
  }
}

const std::array<TInsertDefault, 10> InsertDefaults = {{
    {TInsertKind::Cube, "cube", "Cube", [] { return CreateCube(kOpaqueWhite, 0.5); }},
    {TInsertKind::CubePerce, "cubeperce", "Cube Perce", [] { return CreateCubePerce(kOpaqueWhite, 0.5, 0.25); }},
    {TInsertKind::Cylindre, "cylindre", "Cylindre", [] { return CreateCylinder(20, kOpaqueWhite, 1, 0.5); }},
    {TInsertKind::Cone, "cone", "Cône", [] { return CreateConeOrPyramid(20, kOpaqueWhite, 1, 0.5); }},
    {TInsertKind::Pyramide, "pyramide", "Pyramide", [] { return CreateConeOrPyramid(4, kOpaqueWhite, 1, 0.5); }},
    {TInsertKind::Tore, "tore", "Tore", [] { return CreateTorus(20, 20, kOpaqueWhite, 0.25, 0.5); }},
    {TInsertKind::Sphere, "sphere", "Sphere", [] { return CreateSphere(21, 42, kOpaqueWhite, 0.5); }},
    {TInsertKind::Cercle, "cercle", "Cercle", [] { return CreateCircle(25, kOpaqueWhite, 0.5); }},
    {TInsertKind::ParoiV, "paroiv", "ParoiV", [] { return CreateWall(kOpaqueWhite, 0.5f); }},
    {TInsertKind::ParoiH, "paroih", "ParoiH", [] { return CreateFloor(kOpaqueWhite, 0.5f); }},
}};

const TInsertDefault* FindInsertDefault(const std::string& keyword) {
  for (const auto& d : InsertDefaults)
    if (keyword == d.Keyword) return &d;
  return nullptr;
}

}  // namespace ixoral
