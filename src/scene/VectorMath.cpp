// Vector and matrix operations of the scene model (row-vector convention).
#include "scene/VectorMath.h"

#include <cmath>

namespace ixoral {

D3DVECTOR MakeVector(float x, float y, float z) { return {x, y, z}; }
D3DVECTOR Add(const D3DVECTOR& a, const D3DVECTOR& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3DVECTOR Subtract(const D3DVECTOR& a, const D3DVECTOR& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3DVECTOR Scale(const D3DVECTOR& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
D3DVECTOR Divide(const D3DVECTOR& a, float s) { return {a.x / s, a.y / s, a.z / s}; }
float SquareMagnitude(const D3DVECTOR& a) { return a.x * a.x + a.y * a.y + a.z * a.z; }
float Magnitude(const D3DVECTOR& a) { return std::sqrt(SquareMagnitude(a)); }
D3DVECTOR Normalize(const D3DVECTOR& a) { return Divide(a, Magnitude(a)); }
float DotProduct(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3DVECTOR CrossProduct(const D3DVECTOR& a, const D3DVECTOR& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

D3DVECTOR NormalizeSafe(const D3DVECTOR& a) {
  const double len = std::sqrt(double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z);
  if (len == 0) return a;
  return {static_cast<float>(a.x / len), static_cast<float>(a.y / len), static_cast<float>(a.z / len)};
}

void NormalizeSafe(Vec3d& v) {
  const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (len == 0) return;
  v.x /= len;
  v.y /= len;
  v.z /= len;
}

D3DVECTOR ToSingle(const Vec3d& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}
Vec3d ToDouble(const D3DVECTOR& a) { return {a.x, a.y, a.z}; }
D3DVECTOR Difference(const Vec3d& a, const Vec3d& b) { return ToSingle({b.x - a.x, b.y - a.y, b.z - a.z}); }

double AngleBetween(const D3DVECTOR& a, const D3DVECTOR& b) {
  const double d = double(DotProduct(a, b)) / (double(Magnitude(a)) * Magnitude(b));
  return std::acos(d);
}

bool ExactlyEqual(const Vec3d& a, const Vec3d& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool NearlyEqual(const Vec3d& a, const Vec3d& b) {
  return std::fabs(a.x - b.x) < 1e-6 && std::fabs(a.y - b.y) < 1e-6 && std::fabs(a.z - b.z) < 1e-6;
}
bool NearVertex(const D3DVERTEX& v, const Vec3d& p) { return NearlyEqual({v.x, v.y, v.z}, p); }

D3DMATRIX Identity() {
  D3DMATRIX m;
  m._11 = m._22 = m._33 = m._44 = 1;
  return m;
}

D3DMATRIX WithTranslation(const D3DMATRIX& m, const Vec3d& t) {
  D3DMATRIX r = m;
  r._41 = static_cast<float>(t.x);
  r._42 = static_cast<float>(t.y);
  r._43 = static_cast<float>(t.z);
  return r;
}

D3DMATRIX WithScale(const D3DMATRIX& m, const Vec3d& s) {
  D3DMATRIX r = m;
  r._11 = static_cast<float>(s.x);
  r._22 = static_cast<float>(s.y);
  r._33 = static_cast<float>(s.z);
  return r;
}

D3DMATRIX RotationAboutAxis(const D3DVECTOR& axis, double angle) {
  const D3DVECTOR n = Normalize(axis);
  const double x = n.x, y = n.y, z = n.z;
  const double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
  D3DMATRIX r = Identity();
  r._11 = static_cast<float>(c + k * x * x);
  r._12 = static_cast<float>(k * x * y - s * z);
  r._13 = static_cast<float>(k * x * z + s * y);
  r._21 = static_cast<float>(k * y * x + s * z);
  r._22 = static_cast<float>(c + k * y * y);
  r._23 = static_cast<float>(k * y * z - s * x);
  r._31 = static_cast<float>(k * z * x - s * y);
  r._32 = static_cast<float>(k * z * y + s * x);
  r._33 = static_cast<float>(c + k * z * z);
  return r;
}

D3DMATRIX Orientation(const D3DVECTOR& dir, const D3DVECTOR& up) {
  // A zero vector leaves its rows zero (a degenerate but finite matrix) rather than NaN.
  const D3DVECTOR d = NormalizeSafe(dir);
  const D3DVECTOR u = NormalizeSafe(up);
  const D3DVECTOR r = CrossProduct(u, d);
  D3DMATRIX m = Identity();
  m._11 = r.x, m._12 = r.y, m._13 = r.z;
  m._21 = u.x, m._22 = u.y, m._23 = u.z;
  m._31 = d.x, m._32 = d.y, m._33 = d.z;
  return m;
}

D3DMATRIX LightOrientation(const D3DVECTOR& d, const D3DVECTOR& u) {
  D3DMATRIX m = Orientation(d, u);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.m[i][j] = -m.m[i][j];
  return m;
}

D3DVECTOR PerpendicularUp(const D3DVECTOR& d) {
  D3DVECTOR up = CrossProduct(d, {0, 1, 0});
  if (SquareMagnitude(up) == 0) up = CrossProduct(d, {1, 0, 0});
  return up;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  if (IsIdentity(a)) return b;
  if (IsIdentity(b)) return a;
  D3DMATRIX r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r.m[i][j] = static_cast<float>(double(a.m[i][0]) * b.m[0][j] + double(a.m[i][1]) * b.m[1][j] +
                                     double(a.m[i][2]) * b.m[2][j]);
  for (int j = 0; j < 3; ++j)
    r.m[3][j] = static_cast<float>(double(a.m[3][0]) * b.m[0][j] + double(a.m[3][1]) * b.m[1][j] +
                                   double(a.m[3][2]) * b.m[2][j] + double(a.m[3][3]) * b.m[3][j]);
  for (int i = 0; i < 4; ++i) r.m[i][3] = a.m[i][3] * b._44;
  return r;
}

D3DMATRIX ScaleTimes(const D3DMATRIX& s, const D3DMATRIX& m) {
  D3DMATRIX r = m;
  const float f[3] = {s._11, s._22, s._33};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] *= f[i];
  return r;
}

D3DMATRIX TimesTranslation(const D3DMATRIX& m, const D3DMATRIX& t) {
  D3DMATRIX r = m;
  r._41 += m._44 * t._41;
  r._42 += m._44 * t._42;
  r._43 += m._44 * t._43;
  return r;
}

Vec3d ApplyMatrix(const Vec3d& p, const D3DMATRIX& m) {
  using L = long double;
  const L x = p.x, y = p.y, z = p.z;
  return {static_cast<double>(x * m._11 + y * m._21 + z * m._31 + m._41),
          static_cast<double>(x * m._12 + y * m._22 + z * m._32 + m._42),
          static_cast<double>(x * m._13 + y * m._23 + z * m._33 + m._43)};
}

D3DVECTOR ApplyToDirection(const D3DVECTOR& d, const D3DMATRIX& m) {
  return ToSingle({double(d.x) * m._11 + double(d.y) * m._21 + double(d.z) * m._31,
                   double(d.x) * m._12 + double(d.y) * m._22 + double(d.z) * m._32,
                   double(d.x) * m._13 + double(d.y) * m._23 + double(d.z) * m._33});
}

bool IsIdentity(const D3DMATRIX& m) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (m.m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
  return true;
}

TDecomposition Decompose(const D3DMATRIX& m) {
  TDecomposition d;
  d.Translation = Identity();
  d.Translation._41 = m._41;
  d.Translation._42 = m._42;
  d.Translation._43 = m._43;
  const double t = std::sqrt(double(m._11) * m._11 + double(m._12) * m._12 + double(m._13) * m._13);
  d.Scaling = Identity();
  d.Scaling._11 = d.Scaling._22 = d.Scaling._33 = static_cast<float>(t);
  d.Rotation = Identity();
  if (t != 0)  // a zero first row has no orientation to recover: keep the identity
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) d.Rotation.m[i][j] = static_cast<float>(m.m[i][j] / t);
  return d;
}

namespace {

// Determinant of the n x n matrix a (row-major, stride 4) by cofactor expansion along row 0.
double Determinant(const double a[4][4], int n) {
  if (n == 2) return a[0][0] * a[1][1] - a[0][1] * a[1][0];
  double det = 0;
  double sub[4][4];
  for (int c = 0; c < n; ++c) {
    for (int i = 1; i < n; ++i)
      for (int j = 0, k = 0; j < n; ++j)
        if (j != c) sub[i - 1][k++] = a[i][j];
    const double cof = Determinant(sub, n - 1);
    det += (c % 2 == 0 ? 1 : -1) * a[0][c] * cof;
  }
  return det;
}

}  // namespace

bool Invert(const D3DMATRIX& m, D3DMATRIX& result) {
  double a[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) a[i][j] = m.m[i][j];
  const double det = Determinant(a, 4);
  if (det == 0) return false;
  double sub[4][4];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      for (int i = 0, si = 0; i < 4; ++i) {
        if (i == r) continue;
        for (int j = 0, sj = 0; j < 4; ++j)
          if (j != c) sub[si][sj++] = a[i][j];
        ++si;
      }
      const double cof = ((r + c) % 2 == 0 ? 1 : -1) * Determinant(sub, 3);
      result.m[c][r] = static_cast<float>(cof * (1.0 / det));  // adjugate: transposed cofactors
    }
  return true;
}

}  // namespace ixoral
