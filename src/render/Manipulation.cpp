// Drags in the views: start values, screen axes, and the move/rotate/resize formulas.
#include "render/Manipulation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "scene/ViewOps.h"

namespace ixoral {

namespace {

constexpr double kRadiansPerPixel = kPi / 100;

Vec3d Plus(const Vec3d& s, const D3DVECTOR& a, double ka, const D3DVECTOR& b, double kb) {
  return {s.x + ka * a.x + kb * b.x, s.y + ka * a.y + kb * b.y, s.z + ka * a.z + kb * b.z};
}

// A point through M (fourth row included), normalised unless it is zero.
D3DVECTOR Axis(float x, float y, float z, const D3DMATRIX& m) {
  return NormalizeSafe(ToSingle(ApplyMatrix({x, y, z}, m)));
}

}  // namespace

void BeginManipulation(TScene& scene, TManipulation& m, TOperation op, int view) {
  m.StartValues.clear();
  const TVue& v = scene.Views[size_t(std::clamp(view, 0, 3))];
  if (scene.HasSelection()) {
    for (int k = 0; k < scene.SelectionCount(); ++k) {
      T3dObject* o = scene.ObjectAt(scene.SelectedAt(k));
      if (!o) {
        m.StartValues.push_back({});
        continue;
      }
      o->SaveMatrices();
      m.StartValues.push_back(op == opMove ? o->Position : op == opRotate ? o->VectDir : o->Redim);
    }
  } else {
    m.StartValues.push_back(op == opMove ? v.Pos : op == opRotate ? v.Rot : v.Scale);
  }
  D3DMATRIX axes;
  const T3dObject* main = scene.ObjectAt(scene.CurrentObject());
  if (main && op == opResize) {
    axes = Multiply(main->RotationMatrix, main->TranslationMatrix);
  } else {
    D3DMATRIX seen = Multiply(v.RotationMatrix, v.CameraMatrix);
    seen._41 = seen._42 = seen._43 = 0;
    if (!Invert(seen, axes)) axes = Identity();
  }
  m.ScreenForward = Axis(0, 0, 1, axes);
  m.ScreenUp = Axis(0, 1, 0, axes);
  m.ScreenRight = Axis(1, 0, 0, axes);
}

TDragValues ContinueManipulation(TScene& scene, const TManipulation& m, int view, TOperation op, double dx, double dy,
                                 TAxisConstraint axis, bool snap) {
  TDragValues done;
  if (op < opMove || op > opResize || m.StartValues.empty()) return done;
  const D3DVECTOR& r = m.ScreenRight;
  const D3DVECTOR& u = m.ScreenUp;
  const D3DVECTOR& f = m.ScreenForward;
  const double k = kRadiansPerPixel;
  const auto nearest = [](double v, double step) { return std::round(v / step) * step; };
  if (scene.HasSelection()) {
    const int n = std::min<int>(scene.SelectionCount(), int(m.StartValues.size()));
    done.Operation = op;
    if (op == opMove) {
      // One move for every selected object: the main object's, snapped where the drag changes it.
      const Vec3d& s = m.StartValues[0];
      Vec3d p;
      switch (axis) {
        case axX:
          p = Plus(s, r, dx / 200, r, 0);
          break;
        case axY:
          p = Plus(s, u, dy / 200, u, 0);
          break;
        case axZ:
          p = Plus(s, f, dy / 200, f, 0);
          break;
        default:
          p = Plus(s, r, dx / 200, u, dy / 200);
      }
      if (snap) {
        if (std::abs(p.x - s.x) > 1e-12) p.x = nearest(p.x, kGridStep);
        if (std::abs(p.y - s.y) > 1e-12) p.y = nearest(p.y, kGridStep);
        if (std::abs(p.z - s.z) > 1e-12) p.z = nearest(p.z, kGridStep);
      }
      const Vec3d delta = p - s;
      if (!IsFinite(delta)) return done;
      for (int i = 0; i < n; ++i)
        if (T3dObject* o = scene.ObjectAt(scene.SelectedAt(i)); o && IsFinite(m.StartValues[size_t(i)] + delta))
          o->SetPosition(m.StartValues[size_t(i)] + delta);
      done.Values = delta;
    } else if (op == opRotate) {
      Vec3d a;
      switch (axis) {
        case axX:
          a = {dy * k, 0, 0};
          break;
        case axY:
          a = {0, dx * k, 0};
          break;
        case axZ:
          a = {0, 0, -dy * k};
          break;
        default:
          a = {dy * k, dx * k, 0};
      }
      if (snap) a = {nearest(a.x, kSnapAngle), nearest(a.y, kSnapAngle), nearest(a.z, kSnapAngle)};
      if (!IsFinite(a)) return done;
      for (int i = 0; i < n; ++i)
        if (T3dObject* o = scene.ObjectAt(scene.SelectedAt(i))) o->Rotate(a, {r, u, f}, &scene);
      done.Values = a;
    } else {
      for (int i = 0; i < n; ++i) {
        T3dObject* o = scene.ObjectAt(scene.SelectedAt(i));
        if (!o) continue;
        const Vec3d& s = m.StartValues[size_t(i)];
        Vec3d z = s;
        const TAxisConstraint ax = o->IsLight() ? axX : axis;
        switch (ax) {
          case axX:
            z.x = s.x + dx / 100 * r.x + dy / 100 * r.y;
            break;
          case axY:
            z.y = s.y + dx / 100 * u.x + dy / 100 * u.y;
            break;
          case axZ:
            z.z = s.z + dx / 100 * f.z + dy / 100 * f.y;
            break;
          default: {
            const double g = std::pow(1.3, dy / 100);
            z = {s.x * g, s.y * g, s.z * g};
          }
        }
        // Snapped: each size a whole number of tenths of what it was at the press, never none.
        const auto snapped = [&](double size, double start) {
          if (!snap || start == 0) return size;
          return start * std::max(kSnapFactor, nearest(size / start, kSnapFactor));
        };
        z = {snapped(z.x, s.x), snapped(z.y, s.y), snapped(z.z, s.z)};
        if (!IsFinite(z)) continue;
        o->SetScale(z);
        if (i == 0) done.Values = {s.x != 0 ? z.x / s.x : 1, s.y != 0 ? z.y / s.y : 1, s.z != 0 ? z.z / s.z : 1};
      }
    }
    done.Valid = IsFinite(done.Values);
    return done;
  }
  const Vec3d& s = m.StartValues[0];
  if (op == opMove) {
    Vec3d p = s;
    switch (axis) {
      case axX:
        p.x += dx / 200;
        break;
      case axY:
        p.y += dy / 200;
        break;
      case axZ:
        p.z -= dy / 200;
        break;
      default:
        p.x += dx / 200, p.y += dy / 200;
    }
    if (IsFinite(p)) ApplyViewTranslation(scene, view, p);
  } else if (op == opRotate) {
    Vec3d a = s;
    switch (axis) {
      case axX:
        a.x += dy * m.ViewRadiansPerPixel;
        break;
      case axY:
        a.y += dx * m.ViewRadiansPerPixel;
        break;
      case axZ:
        a.z += dx * m.ViewRadiansPerPixel;
        break;
      default:
        a.x += dy * m.ViewRadiansPerPixel, a.y += dx * m.ViewRadiansPerPixel;
    }
    if (IsFinite(a)) ApplyViewRotation(scene, view, a);
  } else {
    const Vec3d z = ZoomedScale(s, dy);
    if (IsFinite(z)) ApplyViewScale(scene, view, z);
  }
  return done;
}

Vec3d ZoomedScale(const Vec3d& s, double dy) {
  // Every component grows by the same amount and none goes below zero.
  const double k = kRadiansPerPixel;
  double e = dy / 10;
  if (s.x + e * k < 0) e = -s.x / k;
  if (s.y + e * k < 0) e = -s.y / k;
  if (s.z + e * k < 0) e = -s.z / k;
  const double g = e * k;
  return {s.x + g, s.y + g, s.z + g};
}

std::string DragValuesText(const TDragValues& v) {
  if (!v.Valid) return {};
  const auto number = [](double x, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, x);
    std::string out = text;
    if (out == "-0.000" || out == "-0.00" || out == "-0.0") out.erase(0, 1);
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
  };
  switch (v.Operation) {
    case opMove:
      return "ΔX " + number(v.Values.x, 3) + "  ΔY " + number(v.Values.y, 3) + "  ΔZ " + number(v.Values.z, 3);
    case opRotate: {
      const double d = 180 / kPi;
      return "Rotation X " + number(v.Values.x * d, 1) + "°  Y " + number(v.Values.y * d, 1) + "°  Z " +
             number(v.Values.z * d, 1) + "°";
    }
    case opResize:
      return "Échelle X " + number(v.Values.x, 2) + "  Y " + number(v.Values.y, 2) + "  Z " + number(v.Values.z, 2);
    default:
      return {};
  }
}

void CancelManipulation(TScene& scene, const TManipulation& m, TOperation op) {
  if (!scene.HasSelection() || op < opMove || op > opResize) return;
  const int n = std::min<int>(scene.SelectionCount(), int(m.StartValues.size()));
  for (int i = 0; i < n; ++i) {
    T3dObject* o = scene.ObjectAt(scene.SelectedAt(i));
    if (!o) continue;
    const Vec3d& s = m.StartValues[size_t(i)];
    if (op == opMove)
      o->SetPosition(s);
    else if (op == opRotate)
      o->SetDirection(s);
    else
      o->SetScale(s);
  }
}

void BeginNavigation(const TScene& scene, TNavigation& n, int view, bool orbit, int viewWidth) {
  n.View = std::clamp(view, 0, 3);
  n.Orbit = orbit;
  const TVue& v = scene.Views[size_t(n.View)];
  n.StartRotation = v.Rot;
  n.StartTranslation = v.Pos;
  const D3DMATRIX look = LookToMatrix(v.Camera);
  n.Right = {look._11, look._21, look._31};
  n.Up = {look._12, look._22, look._32};
  const double width = std::max(viewWidth, 1);
  double distance = 0;
  ViewAim(v, distance);
  n.UnitsPerPixel = distance / width;  // the views show a width of `distance` at the aim
  n.RadiansPerPixel = 2 * kPi / width;
}

void ContinueNavigation(TScene& scene, const TNavigation& n, double dx, double dy) {
  if (n.Orbit) {
    const Vec3d a{n.StartRotation.x + dy * n.RadiansPerPixel, n.StartRotation.y + dx * n.RadiansPerPixel,
                  n.StartRotation.z};
    if (IsFinite(a)) ApplyViewRotation(scene, n.View, a);
  } else {
    const Vec3d p = n.StartTranslation + n.Right * (dx * n.UnitsPerPixel) + n.Up * (dy * n.UnitsPerPixel);
    if (IsFinite(p)) ApplyViewTranslation(scene, n.View, p);
  }
}

void CancelNavigation(TScene& scene, const TNavigation& n) {
  ApplyViewRotation(scene, n.View, n.StartRotation);
  ApplyViewTranslation(scene, n.View, n.StartTranslation);
}

int ViewUnderMouse(int x, int y, int w, int h, int previous) {
  const int hw = w >> 1, hh = h >> 1;
  if (x < hw && y < hh) return 0;
  if (x > hw && y < hh) return 1;
  if (x < hw && y > hh) return 2;
  if (x > hw && y > hh) return 3;
  return previous;
}

void PickFractions(int view, int x, int y, int w, int h, bool fourViews, double& hf, double& vf) {
  const double wm = std::max(w - 1, 1), hm = std::max(h - 1, 1);
  if (!fourViews) {
    hf = x / wm;
    vf = (y + 1) / hm;
    return;
  }
  hf = (view == 0 || view == 2) ? 2.0 * x / wm : (x - w / 2.0) * 2 / wm;
  vf = (view == 0 || view == 1) ? 2.0 * (y + 1) / hm : ((y + 1) - h / 2.0) * 2 / hm;
}

}  // namespace ixoral
