// Vectors in double precision for the scene model, single-precision vectors and 4 x 4 matrices as
// Direct3D takes them, and the transforms built from position, orientation and scale.
#pragma once

#include <cmath>
#include <numbers>

#include "scene/D3DTypes.h"

namespace ixoral {

inline constexpr double kPi = std::numbers::pi;

struct Vec3d {
  double x = 0, y = 0, z = 0;
  constexpr Vec3d() = default;
  constexpr Vec3d(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
  constexpr bool operator==(const Vec3d&) const = default;
};

// The sentinel returned by vertex look-ups that find nothing.
inline constexpr Vec3d NotFoundVector{-7.854693201, 8756.12394, 42.0};

// --- D3DVECTOR, single precision ---
D3DVECTOR MakeVector(float x, float y, float z);
D3DVECTOR Add(const D3DVECTOR& a, const D3DVECTOR& b);
D3DVECTOR Subtract(const D3DVECTOR& a, const D3DVECTOR& b);
D3DVECTOR Scale(const D3DVECTOR& a, float s);
D3DVECTOR Divide(const D3DVECTOR& a, float s);
float SquareMagnitude(const D3DVECTOR& a);
float Magnitude(const D3DVECTOR& a);
// No guard: the caller never passes a zero vector.
D3DVECTOR Normalize(const D3DVECTOR& a);
float DotProduct(const D3DVECTOR& a, const D3DVECTOR& b);
D3DVECTOR CrossProduct(const D3DVECTOR& a, const D3DVECTOR& b);
// Divided by its length (computed in double) unless that length is zero.
D3DVECTOR NormalizeSafe(const D3DVECTOR& a);

// --- Vec3d arithmetic, in double precision ---
constexpr Vec3d operator+(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vec3d operator-(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vec3d operator*(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
constexpr double Dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr Vec3d Cross(const Vec3d& a, const Vec3d& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3d& a) { return std::sqrt(Dot(a, a)); }
// Divided by its length unless that length is zero.
inline Vec3d Normalised(const Vec3d& a) {
  const double l = Length(a);
  return l == 0 ? a : Vec3d{a.x / l, a.y / l, a.z / l};
}
inline bool IsFinite(const Vec3d& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// --- Vec3d and conversions ---
void NormalizeSafe(Vec3d& v);
D3DVECTOR ToSingle(const Vec3d& v);
Vec3d ToDouble(const D3DVECTOR& a);
// b - a as a single-precision vector.
D3DVECTOR Difference(const Vec3d& a, const Vec3d& b);
double AngleBetween(const D3DVECTOR& a, const D3DVECTOR& b);
bool ExactlyEqual(const Vec3d& a, const Vec3d& b);
bool NearlyEqual(const Vec3d& a, const Vec3d& b);
bool NearVertex(const D3DVERTEX& vertex, const Vec3d& p);

// --- D3DMATRIX ---
D3DMATRIX Identity();
D3DMATRIX WithTranslation(const D3DMATRIX& m, const Vec3d& t);
D3DMATRIX WithScale(const D3DMATRIX& m, const Vec3d& s);
D3DMATRIX RotationAboutAxis(const D3DVECTOR& axis, double angle);
// Rows: 1 := u x d, 2 := u, 3 := d (both normalised): local +Z goes to d and local +Y to u.
D3DMATRIX Orientation(const D3DVECTOR& d, const D3DVECTOR& u);
// As Orientation with the nine entries of rows 1-3 negated: the light's local -Z goes to d.
D3DMATRIX LightOrientation(const D3DVECTOR& d, const D3DVECTOR& u);
// d x (0, 1, 0), or d x (1, 0, 0) when the first is exactly zero; not normalised.
D3DVECTOR PerpendicularUp(const D3DVECTOR& d);
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);
D3DMATRIX ScaleTimes(const D3DMATRIX& s, const D3DMATRIX& m);
D3DMATRIX TimesTranslation(const D3DMATRIX& m, const D3DMATRIX& t);
Vec3d ApplyMatrix(const Vec3d& p, const D3DMATRIX& m);
// A direction through the upper 3 x 3 only (no translation).
D3DVECTOR ApplyToDirection(const D3DVECTOR& d, const D3DMATRIX& m);
bool IsIdentity(const D3DMATRIX& m);

struct TDecomposition {
  D3DMATRIX Rotation, Scaling, Translation;
};
// The scale comes back uniform: the length of M's first row.
TDecomposition Decompose(const D3DMATRIX& m);
// False when the determinant is exactly zero ("Matrix non invertible").
bool Invert(const D3DMATRIX& m, D3DMATRIX& result);

}  // namespace ixoral
