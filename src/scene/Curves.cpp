// Built-in and user parametric curves: adaptive sampling along the curve and the tube geometry.
#include "scene/Curves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "scene/EvalExpr.h"
#include "scene/Shapes.h"

namespace ixoral {

const std::array<const char*, kBuiltinCurveCount> BuiltinCurveNames = {"Ressort",   "Bizarre 1", "Bizarre 2",
                                                                       "Bizarre 3", "Bizarre 4", "Tore Ondulé"};

namespace {

constexpr double kTwoPi = 2 * kPi;

bool IsZero(const Vec3d& a) { return a.x == 0 && a.y == 0 && a.z == 0; }
// Normalised leaves a zero vector zero, so degenerate directions give degenerate rings, never NaN.

// Angle between two directions; a zero vector has no direction and counts as no turn.
double Angle(const Vec3d& a, const Vec3d& b) {
  const double m = std::sqrt(Dot(a, a)) * std::sqrt(Dot(b, b));
  if (!(m > 0) || !std::isfinite(m)) return 0;
  return std::acos(Dot(a, b) / m);
}

// Reference vector across the axis: d × z, or d × y when d lies along z.
Vec3d Reference(const Vec3d& d) {
  Vec3d u = Cross(d, {0, 0, 1});
  if (IsZero(u)) u = Cross(d, {0, 1, 0});
  return Normalised(u);
}

D3DVERTEX TubeVertex(const Vec3d& p, const Vec3d& normal, double tu, double tv) {
  return {static_cast<float>(p.x),      static_cast<float>(p.y),      static_cast<float>(p.z),
          static_cast<float>(normal.x), static_cast<float>(normal.y), static_cast<float>(normal.z),
          static_cast<float>(tu),       static_cast<float>(tv)};
}

// Counts and sizes from fields or documents: rounded, and nothing that is not a number.
int RoundToInt(double v) {
  if (!(v > -1e9 && v < 1e9)) return 0;
  return static_cast<int>(std::lround(v));
}

double SafeRadius(double r) {
  if (!std::isfinite(r)) return 0;
  return std::clamp(r, -kMaxCurveRadius, kMaxCurveRadius);
}

// A curve point as the tube uses it: finite and within the coordinate bound.
Vec3d SafePoint(const Vec3d& p) {
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return {};
  auto c = [](double v) { return std::clamp(v, -kMaxCurveCoordinate, kMaxCurveCoordinate); };
  return {c(p.x), c(p.y), c(p.z)};
}

// Sides actually built: n div 2 · 2, within 0..100.
int EvenSides(int n) { return std::clamp(n / 2 * 2, 0, kMaxCurveSides); }

void SetTv(TComposante& c, double tv) {
  for (auto& v : c.Vertices) v.tv = static_cast<float>(tv);
}

// The object made from the pieces (moved in, not copied: a tube can hold 2003 pieces).
std::unique_ptr<TSolidObject> MakeCurveObject(TArrayOfComposante parts, D3DCOLOR colour, uint8_t shape,
                                              std::initializer_list<float> params) {
  auto s = NewSolidFromComposantes({}, colour);
  s->Composantes = std::move(parts);
  int i = 1;
  for (float p : params) s->SetParam(i++, p);
  s->ShapeType = shape;
  return s;
}

}  // namespace

Vec3d CurvePoint(int which, double t, double x) {
  const double th = kTwoPi * x;
  switch (which & 0x7F) {
    case 0:
      return {0.5 * std::cos(kTwoPi * t * x), 0.5 * t * (x - 0.5), 0.5 * std::sin(kTwoPi * t * x)};
    case 1:
      return {0.5 * std::sin(2 * th) * std::sin(3 * th), 0.5 * std::sin(2 * th),
              0.5 * std::sin(2 * th) * std::cos(3 * th)};
    case 2:
      return {0.5 * std::cos(th), 0.5 * std::cos(4 * th), 0.5 * std::sin(4 * th)};
    case 3:
      return {0.5 * std::sin(th + 0.1), 0.5 * std::sin(3 * th + 0.5), 0.5 * std::sin(4 * th + 0.8)};
    case 4:
      return {0.5 * std::cos(th) * std::sin(3 * th), 0.5 * std::cos(th), 0.5 * std::sin(2 * th) * std::cos(3 * th)};
    case 5:
      // With t = 0 the wave has no height: a flat ring rather than a division by zero.
      return {0.5 * std::cos(th), 0.5 * std::sin(th), t == 0 ? 0.0 : 0.5 * std::cos(t * th) / t};
    default:
      return {};
  }
}

TComposante BuildTubeSegment(const Vec3d& p0, const Vec3d& p1, const D3DVECTOR& dir0, const D3DVECTOR& dir1, double r,
                             int n) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLESTRIP;
  if (n < 1) return c;
  n = std::min(n, kMaxCurveSides);
  r = SafeRadius(r);
  const Vec3d d0 = Normalised(ToDouble(dir0)), d1 = Normalised(ToDouble(dir1));
  const Vec3d u0 = Reference(d0);
  Vec3d u1 = Reference(d1);

  // Turn the end ring by whole steps so that its reference lines up with the start ring's.
  {
    const Vec3d w1 = Cross(u1, d1);
    Vec3d best = u1;
    int offset = 0;
    for (int k = 1; k <= n; ++k) {
      const double a = kTwoPi * k / n;
      const Vec3d cand = u1 * std::cos(a) + w1 * std::sin(a);
      if (Angle(u0, best) > Angle(u0, cand)) {
        best = cand;
        offset = -k;
      }
    }
    u1 = best;
    const Vec3d w0 = Cross(u0, d0);
    const Vec3d w1b = Cross(u1, d1);
    c.Vertices.reserve(4 * (static_cast<size_t>(n) + 1));
    for (int k = 0; k <= n; ++k) {
      const double ta = kTwoPi * k / n, tb = kTwoPi * (k + 1) / n;
      const double tu = static_cast<double>((k + offset) % (n + 1)) / n;
      const Vec3d ra0 = u0 * std::cos(ta) + w0 * std::sin(ta);
      const Vec3d ra1 = u1 * std::cos(ta) + w1b * std::sin(ta);
      const Vec3d rb0 = u0 * std::cos(tb) + w0 * std::sin(tb);
      const Vec3d rb1 = u1 * std::cos(tb) + w1b * std::sin(tb);
      c.Vertices.push_back(TubeVertex(p0 + ra0 * r, ra0, tu, 0));
      c.Vertices.push_back(TubeVertex(p1 + ra1 * r, ra1, tu, 0));
      c.Vertices.push_back(TubeVertex(p0 + rb0 * r, rb0, tu, 0));
      c.Vertices.push_back(TubeVertex(p1 + rb1 * r, rb1, tu, 0));
    }
  }
  return c;
}

TComposante BuildTubeCap(const Vec3d& p, const D3DVECTOR& dir, double r, int n) {
  TComposante c;
  c.PrimitiveType = D3DPT_TRIANGLEFAN;
  if (n < 1) return c;
  n = std::min(n, kMaxCurveSides);
  r = SafeRadius(r);
  const Vec3d d = Normalised(ToDouble(dir));
  const Vec3d u = Reference(d);
  const Vec3d w = Cross(u, d);
  const Vec3d normal = d * -1;
  c.Vertices.reserve(static_cast<size_t>(n) + 2);
  c.Vertices.push_back(TubeVertex(p, normal, 0.5, 0.5));
  for (int k = 0; k <= n; ++k) {
    const double th = kTwoPi * k / n;
    const Vec3d rho = u * std::cos(th) + w * std::sin(th);
    c.Vertices.push_back(TubeVertex(p + rho * r, normal, 0.5 + 0.5 * std::cos(th), 0.5 + 0.5 * std::sin(th)));
  }
  return c;
}

TArrayOfComposante SampleCurveTube(const std::function<Vec3d(double)>& curve, int n, double r, double anglemax) {
  // The point function may carry state (an evaluator whose error is sticky), so every call is
  // made in a fixed order: the first operand of a difference before the second.
  auto P = [&](double x) { return SafePoint(curve(x)); };
  auto tangent = [&](double to, double from) {
    const Vec3d a = P(to);
    const Vec3d b = P(from);
    return ToSingle({a.x - b.x, a.y - b.y, a.z - b.z});
  };
  n = EvenSides(n);
  r = SafeRadius(r);
  TArrayOfComposante parts;
  parts.reserve(300);

  Vec3d lastPoint = P(0);
  D3DVECTOR lastTangent = tangent(kCurveStep, 0);
  double s = 0, step = 0;
  // Every segment spans at least one step, so s reaches 1 after at most 2000 segments.
  while (s + step < 1) {
    step = 0;
    D3DVECTOR t0, t1;
    do {
      step += kCurveStep;
      t0 = tangent(s + kCurveStep, s);
      t1 = tangent(s + step + kCurveStep, s + step);
    } while (!(Angle(ToDouble(t0), ToDouble(t1)) > anglemax) && s + step < 1);
    if (s + step >= 1) break;
    const Vec3d a = P(s);
    const Vec3d b = P(s + step);
    TComposante seg = BuildTubeSegment(a, b, t0, t1, r, n);
    SetTv(seg, s);
    parts.push_back(std::move(seg));
    lastPoint = b;
    lastTangent = t1;
    s += step;
  }

  const Vec3d end = P(1);
  const D3DVECTOR endTangent = tangent(1, 1 - kCurveStep);
  TComposante closing = BuildTubeSegment(lastPoint, end, lastTangent, endTangent, r, n);
  SetTv(closing, s);
  parts.push_back(std::move(closing));
  const Vec3d start = P(0);
  const D3DVECTOR startDir = tangent(kCurveStep, 0);
  parts.push_back(BuildTubeCap(start, startDir, r, n));
  const Vec3d finish = P(1);
  const D3DVECTOR finishDir = tangent(1 - kCurveStep, 1);  // back into the tube: the cap faces out
  parts.push_back(BuildTubeCap(finish, finishDir, r, n));
  return parts;
}

namespace {

// A user curve's tube, with the three equations as their evaluators normalised them.
TArrayOfComposante SampleUserCurve(int n, const std::string& xText, const std::string& yText, const std::string& zText,
                                   double tmax, double tmin, double anglemax, double r,
                                   std::array<std::string, 3>& texts) {
  TEvalExprMath ex, ey, ez;
  ex.SetExpression(xText);
  ey.SetExpression(yText);
  ez.SetExpression(zText);
  auto point = [&](double x) -> Vec3d {
    const double t = tmin + x * (tmax - tmin);
    const double px = ex.Evaluate(t);
    const double py = ey.Evaluate(t);
    const double pz = ez.Evaluate(t);
    if (ex.Status() == TExprStatus::ErreurCalcul || ey.Status() == TExprStatus::ErreurCalcul ||
        ez.Status() == TExprStatus::ErreurCalcul)
      return {};
    return {px, py, pz};
  };
  TArrayOfComposante parts = SampleCurveTube(point, n, r, anglemax);
  texts = {ex.GetExpression(), ey.GetExpression(), ez.GetExpression()};
  return parts;
}

}  // namespace

std::unique_ptr<TSolidObject> CreateBuiltinCurve(int n, int which, D3DCOLOR colour, double t, double anglemax,
                                                 double r) {
  auto parts = SampleCurveTube([&](double x) { return CurvePoint(which, t, x); }, n, r, anglemax);
  return MakeCurveObject(std::move(parts), colour, stParam,
                         {float(SafeRadius(r)), float(anglemax), float(EvenSides(n)), float(which), float(t)});
}

std::unique_ptr<TSolidObject> CreateUserCurve(int n, const std::string& xText, const std::string& yText,
                                              D3DCOLOR colour, double tmax, double tmin, const std::string& zText,
                                              double anglemax, double r) {
  std::array<std::string, 3> texts;
  auto parts = SampleUserCurve(n, xText, yText, zText, tmax, tmin, anglemax, r, texts);
  auto s = MakeCurveObject(std::move(parts), colour, stParamUser,
                           {float(SafeRadius(r)), float(anglemax), float(EvenSides(n)), float(tmin), float(tmax)});
  for (int i = 0; i < 3; ++i) s->SetTextParam(i + 1, texts[i]);
  return s;
}

std::unique_ptr<TSolidObject> CreateDefaultCurve() { return CreateBuiltinCurve(10, 3, kOpaqueWhite, 5, 0.3, 0.1); }

std::unique_ptr<TSolidObject> RebuildCurveObject(uint8_t shapeType, const TSolidObject& o, D3DCOLOR colour) {
  const double r = o.GetParam(1), anglemax = o.GetParam(2);
  const int n = RoundToInt(o.GetParam(3));
  if (shapeType == stParam) return CreateBuiltinCurve(n, RoundToInt(o.GetParam(4)), colour, o.GetParam(5), anglemax, r);
  if (shapeType == stParamUser)
    return CreateUserCurve(n, o.GetTextParam(1), o.GetTextParam(2), colour, o.GetParam(5), o.GetParam(4),
                           o.GetTextParam(3), anglemax, r);
  return nullptr;
}

bool BuildCurveComposantes(uint8_t shapeType, const TSolidObject& o, TArrayOfComposante& out) {
  const double r = o.GetParam(1), anglemax = o.GetParam(2);
  const int n = RoundToInt(o.GetParam(3));
  if (shapeType == stParam) {
    const int which = RoundToInt(o.GetParam(4));
    const double t = o.GetParam(5);
    out = SampleCurveTube([&](double x) { return CurvePoint(which, t, x); }, n, r, anglemax);
    return true;
  }
  if (shapeType == stParamUser) {
    std::array<std::string, 3> texts;
    out = SampleUserCurve(n, o.GetTextParam(1), o.GetTextParam(2), o.GetTextParam(3), o.GetParam(5), o.GetParam(4),
                          anglemax, r, texts);
    return true;
  }
  return false;
}

}  // namespace ixoral
