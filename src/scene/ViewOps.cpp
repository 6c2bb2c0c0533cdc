// View layout, navigation, view parameters in the settings store, picking and the camera flight.
#include "scene/ViewOps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/NumberFormat.h"
#include "platform/Settings.h"
#include "platform/Trace.h"
#include "scene/LinearEquations.h"

namespace ixoral {

namespace {

bool IsPerspective(const TScene& scene, int active) {
  return active >= 0 && active < 4 && scene.Views[static_cast<size_t>(active)].ViewType == vtPerspective;
}

// Runs `f` on the active view if it is the perspective view, else on every view that is not one.
template <class F>
void ForNavigatedViews(TScene& scene, int active, F f) {
  if (IsPerspective(scene, active)) {
    f(scene.Views[static_cast<size_t>(active)]);
    return;
  }
  for (TVue& v : scene.Views)
    if (v.ViewType != vtPerspective) f(v);
}

double Round5(double x) { return std::nearbyint(x * 100000.0) / 100000.0; }
Vec3d Round5(const Vec3d& v) { return {Round5(v.x), Round5(v.y), Round5(v.z)}; }

// The hit of the ray on ABC: distance and the point K, or -1.
double RayHit(const Vec3d& o0, const D3DVECTOR& dr0, const Vec3d& a0, const Vec3d& b0, const Vec3d& c0, Vec3d& k) {
  const Vec3d o = Round5(o0), a = Round5(a0), b = Round5(b0), c = Round5(c0);
  const Vec3d dr = Round5(ToDouble(dr0));
  const Vec3d e1 = c - a, e2 = b - a, n = Cross(e1, e2);
  const double nd = Dot(n, dr);
  if (nd == 0) return -1;
  const float t = static_cast<float>(Dot(n, a - o) / nd);
  if (!(t >= 0)) return -1;
  k = {o.x + dr.x * t, o.y + dr.y * t, o.z + dr.z * t};
  const Vec3d f = k - a;
  // F = X·E2 + Y·E1 on two of the three coordinates.
  double x = 0, y = 0;
  if (!SolveTwoUnknowns(-f.y, e2.y, e1.y, -f.x, e2.x, e1.x, x, y) &&
      !SolveTwoUnknowns(-f.z, e2.z, e1.z, -f.x, e2.x, e1.x, x, y) &&
      !SolveTwoUnknowns(-f.y, e2.y, e1.y, -f.z, e2.z, e1.z, x, y)) {
    Trace(kTraceNoTwoUnknowns);
    return -1;  // only a nearly flat triangle gets here: it is missed
  }
  if (x >= 0 && y >= 0 && x + y <= 1) return Length(k - o);
  return -1;
}

// Calls f(A, B, C, iA, iB, iC) for each triangle of a component, by primitive type.
template <class F>
void ForEachTriangle(const TComposante& c, F f) {
  const int n = static_cast<int>(c.Vertices.size());
  switch (c.PrimitiveType) {
    case D3DPT_TRIANGLELIST:
      for (int k = 0; k < n / 3; ++k) f(3 * k, 3 * k + 1, 3 * k + 2);
      break;
    case D3DPT_TRIANGLESTRIP:
      for (int j = 0; j + 2 < n; ++j) f(j, j + 1, j + 2);
      break;
    case D3DPT_TRIANGLEFAN:
      for (int j = 1; j + 1 < n; ++j) f(0, j, j + 1);
      break;
    default:
      break;
  }
}

Vec3d LocalPosition(const D3DVERTEX& v) { return {v.x, v.y, v.z}; }

// A stored number, or nothing (traced) when the text is present but is not a finite number.
std::optional<double> StoredNumber(const std::string& name, const std::string& text) {
  if (text.empty()) return std::nullopt;
  const std::optional<double> v = ParseNumber(text);
  if (!v || !std::isfinite(*v)) {
    Trace("Paramètre de vue illisible : " + name + " = " + text);
    return std::nullopt;
  }
  return v;
}

}  // namespace

// ------------------------------------------------------------------------ layout, navigation

void SetViewports(TScene& scene, bool four, int w, int h) {
  const DWORD hw = static_cast<DWORD>(std::max(w, 0)) >> 1;
  const DWORD hh = static_cast<DWORD>(std::max(h, 0)) >> 1;
  for (int i = 0; i < (four ? 4 : 1); ++i) {
    D3DVIEWPORT7& vp = scene.Views[static_cast<size_t>(i)].Viewport;
    vp = D3DVIEWPORT7{};
    vp.dwX = four && (i & 1) ? hw : 0;
    vp.dwY = four && (i & 2) ? hh : 0;
    vp.dwWidth = four ? hw : static_cast<DWORD>(std::max(w, 0));
    vp.dwHeight = four ? hh : static_cast<DWORD>(std::max(h, 0));
    vp.dvMinZ = 0;
    vp.dvMaxZ = 1;
  }
}

void SetLayout(TScene& scene, bool four, int w, int h, TSettingsStore* settings) {
  if (four) Trace(kTraceDefaultViewports);
  SetViewports(scene, four, w, h);
  if (four) {
    for (int i = 0; i < 4; ++i) {
      TVue& v = scene.Views[static_cast<size_t>(i)];
      v.SetViewType(i);
      if (settings) LoadViewParams(v, *settings);
    }
  } else {
    scene.Views[0].SetCamera(DefaultCamera(vtPerspective));
  }
  scene.FourViews = four;
}

void ApplyViewTranslation(TScene& scene, int active, const Vec3d& v) {
  ForNavigatedViews(scene, active, [&](TVue& view) { view.SetViewTranslation(v); });
}

void ApplyViewRotation(TScene& scene, int active, const Vec3d& v) {
  ForNavigatedViews(scene, active, [&](TVue& view) { view.SetViewRotation(v); });
}

void ApplyViewScale(TScene& scene, int active, const Vec3d& v) {
  ForNavigatedViews(scene, active, [&](TVue& view) { view.SetViewScale(v); });
}

void ResetObjectPlacement(T3dObject& o) {
  if (o.IsLight()) {
    o.SetPosition({-1, 0, -1});
    o.SetDirection({1, 0, 1});
  } else {
    o.SetDirection({0, 0, 0});
    o.SetPosition({0, 0, 0});
    o.SetScale({1, 1, 1});
    o.RotationMatrix = o.TranslationMatrix = o.ScaleMatrix = Identity();
  }
}

Vec3d ViewAim(const TVue& view, double& distance) {
  Vec3d ahead = ToDouble(view.Camera.Direction);
  NormalizeSafe(ahead);
  if (Length(ahead) == 0) ahead = {0, 0, 1};
  const Vec3d eye = view.Camera.Position + ahead;  // the centre of projection
  distance = Dot(Vec3d{0, 0, 0} - eye, ahead);
  if (!(distance >= 1.5)) distance = 1.5;  // behind, beside or too near: a little ahead instead
  return eye + ahead * distance;
}

bool FrameObjects(TScene& scene, int active, const std::vector<int>& objects) {
  Vec3d mn{HUGE_VAL, HUGE_VAL, HUGE_VAL}, mx{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  bool any = false;
  const auto take = [&](const Vec3d& p) {
    mn = {std::min(mn.x, p.x), std::min(mn.y, p.y), std::min(mn.z, p.z)};
    mx = {std::max(mx.x, p.x), std::max(mx.y, p.y), std::max(mx.z, p.z)};
  };
  for (int i : objects) {
    const T3dObject* o = scene.ObjectAt(i);
    if (!o || !o->Afficher) continue;
    std::vector<Vec3d> corners;
    if (const TSolidObject* s = scene.SolidAt(i)) {
      Vec3d lo, hi;
      ComposantesBounds(s->Composantes, lo, hi);
      const D3DMATRIX world = Multiply(Multiply(o->ScaleMatrix, o->RotationMatrix), o->TranslationMatrix);
      for (int k = 0; k < 8; ++k)
        corners.push_back(ApplyMatrix({k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z}, world));
    } else {
      corners.push_back(o->Position);
    }
    if (!std::all_of(corners.begin(), corners.end(), [](const Vec3d& c) { return IsFinite(c); })) continue;
    for (const Vec3d& c : corners) take(c);
    any = true;
  }
  if (!any) return false;
  const Vec3d centre = (mn + mx) * 0.5;
  const double radius = Length(mx - mn) * 0.5;
  const TVue& view = scene.Views[size_t(std::clamp(active, 0, 3))];
  double distance = 0;
  const Vec3d aim = ViewAim(view, distance);
  // The box's sphere fills four fifths of the view's half-height at the aim (half the distance
  // ahead), and its front stays beyond the plane the views cut at, one unit ahead.
  double scale = view.Scale.x;
  if (radius > 0) scale = std::min(0.4 * distance, 0.8 * (distance - 1)) / radius;
  if (!(scale > 0) || !std::isfinite(scale)) return false;
  // The navigation takes a point p to (p * scale) turned, then moved: the box's centre to the aim.
  const Vec3d turned = ApplyMatrix(centre * scale, RotationFromAngles(view.Rot));
  const Vec3d move = aim - turned;
  if (!IsFinite(move)) return false;
  ApplyViewScale(scene, active, {scale, scale, scale});
  ApplyViewTranslation(scene, active, move);
  return true;
}

void ResetPosition(TScene& scene, int active) {
  if (T3dObject* o = scene.ObjectAt(scene.CurrentObject())) {
    ResetObjectPlacement(*o);
    return;
  }
  ForNavigatedViews(scene, active, [](TVue& view) { view.ResetNavigation(); });
}

// ------------------------------------------------------------------------ view parameters

std::string FormatGeneralNumber(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s = buf;
  for (char& c : s)
    if (c == '.') c = kRegionalSeparator;
  return s;
}

std::string ViewParamsKey(const TVue& view) {
  return "\\Parametres\\" + std::to_string(static_cast<int>(view.ViewIndex));
}

void SaveViewParams(const TVue& view, TSettingsStore& settings) {
  const std::string key = ViewParamsKey(view);
  auto put = [&](const char* name, double value) { settings.WriteString(key, name, FormatGeneralNumber(value)); };
  settings.WriteString(key, "Type", ViewTypeNames[view.ViewType <= 3 ? view.ViewType : 3]);
  put("Camera X", view.Camera.Position.x);
  put("Camera Y", view.Camera.Position.y);
  put("Camera Z", view.Camera.Position.z);
  put("Vecteur X", view.Camera.Direction.x);
  put("Vecteur Y", view.Camera.Direction.y);
  put("Vecteur Z", view.Camera.Direction.z);
  put("PosX", view.Pos.x);
  put("PosY", view.Pos.y);
  put("PosZ", view.Pos.z);
  put("RotX", view.Rot.x);
  put("RotY", view.Rot.y);
  put("RotZ", view.Rot.z);
  put("ScaleX", view.Scale.x);
  put("ScaleY", view.Scale.y);
  put("ScaleZ", view.Scale.z);
}

void LoadViewParams(TVue& view, TSettingsStore& settings) {
  const std::string key = ViewParamsKey(view);
  const std::string type = settings.ReadString(key, "Type");
  if (type.empty()) return;
  int found = -1;
  for (int i = 0; i < 4; ++i)
    if (type == ViewTypeNames[static_cast<size_t>(i)]) {
      found = i;
      break;
    }
  if (found < 0) {
    // Not a type this program writes: the stored view is not used at all.
    Trace("Type de vue inconnu ignoré : " + type);
    return;
  }
  view.SetViewType(found);

  // A group of three: applied when one of them is non-zero, an absent one counting 0 and one that
  // is not a number keeping the view's own value.
  auto group = [&](const char* nx, const char* ny, const char* nz, const Vec3d& current, auto apply) {
    const char* names[3] = {nx, ny, nz};
    const double now[3] = {current.x, current.y, current.z};
    double value[3] = {0, 0, 0};
    bool nonZero = false;
    for (int k = 0; k < 3; ++k) {
      const std::string text = settings.ReadString(key, names[k]);
      if (text.empty()) continue;
      const std::optional<double> v = StoredNumber(names[k], text);
      value[k] = v ? *v : now[k];
      nonZero = nonZero || value[k] != 0;
    }
    if (nonZero) apply(Vec3d{value[0], value[1], value[2]});
  };
  group("ScaleX", "ScaleY", "ScaleZ", view.Scale, [&](const Vec3d& v) { view.SetViewScale(v); });
  group("PosX", "PosY", "PosZ", view.Pos, [&](const Vec3d& v) { view.SetViewTranslation(v); });
  group("RotX", "RotY", "RotZ", view.Rot, [&](const Vec3d& v) { view.SetViewRotation(v); });

  const char* cameraNames[6] = {"Camera X", "Camera Y", "Camera Z", "Vecteur X", "Vecteur Y", "Vecteur Z"};
  std::string texts[6];
  bool any = false;
  for (int k = 0; k < 6; ++k) {
    texts[k] = settings.ReadString(key, cameraNames[k]);
    any = any || !texts[k].empty();
  }
  if (!any) return;
  const TCamera& c = view.Camera;
  const double now[6] = {c.Position.x, c.Position.y, c.Position.z, c.Direction.x, c.Direction.y, c.Direction.z};
  double value[6];
  for (int k = 0; k < 6; ++k) {
    // A missing or unreadable value keeps the camera's own.
    const std::optional<double> v = texts[k].empty() ? std::nullopt : StoredNumber(cameraNames[k], texts[k]);
    if (texts[k].empty()) Trace(std::string("Paramètre de vue absent : ") + cameraNames[k]);
    value[k] = v ? *v : now[k];
  }
  TCamera camera;
  camera.Position = {value[0], value[1], value[2]};
  camera.Direction = {static_cast<float>(value[3]), static_cast<float>(value[4]), static_cast<float>(value[5])};
  view.SetCamera(camera);
}

// ------------------------------------------------------------------------ picking

bool PickRay(const TVue& view, double h, double v, Vec3d& origin, D3DVECTOR& direction) {
  const double nx = 2 * h - 1, ny = 1 - 2 * v;
  Vec3d t;
  switch (view.ViewType) {
    case vtFace:
      t = {nx, ny, 0};
      break;
    case vtGauche:
      t = {0, ny, -nx};
      break;
    case vtHaut:
      t = {nx, 0, ny};
      break;
    default: {
      const double s = std::sqrt(2.0) / 2;
      t = {1.5 * nx, 1.5 * ny * s, 1.5 * ny * s};
    }
  }
  const double k = view.ViewType == vtPerspective || view.ViewType > 3 ? 1.05 : 2.0 / 3.0;
  const Vec3d o{view.Camera.Position.x * k, view.Camera.Position.y * k, view.Camera.Position.z * k};
  const D3DMATRIX m = Multiply(Multiply(view.ScaleMatrix, view.RotationMatrix), view.TranslationMatrix);
  D3DMATRIX inverse;
  if (!Invert(m, inverse)) return false;
  origin = ApplyMatrix(o, inverse);
  const Vec3d target = ApplyMatrix(t, inverse);
  direction = Difference(origin, target);
  return true;
}

double RayTriangleDistance(const Vec3d& o, const D3DVECTOR& dr, const Vec3d& a, const Vec3d& b, const Vec3d& c) {
  Vec3d k;
  return RayHit(o, dr, a, b, c, k);
}

double NearestCornerHit(const Vec3d& o, const D3DVECTOR& dr, const Vec3d& a, const Vec3d& b, const Vec3d& c,
                        int& corner) {
  Vec3d k;
  const double d = RayHit(o, dr, a, b, c, k);
  if (d < 0) return d;
  const double da = Length(a - k), db = Length(b - k), dc = Length(c - k);
  if (da >= db || da >= dc)
    corner = db >= dc ? 2 : 1;
  else
    corner = 0;
  return d;
}

TExpected<int> PickObject(TScene& scene, const TVue& view, double h, double v) {
  Vec3d o;
  D3DVECTOR dr;
  if (!PickRay(view, h, v, o, dr)) return TError{kMsgMatrixNonInvertible};
  double best = 1e18;
  int result = -1;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TSolidObject* s = scene.SolidAt(i);
    if (!s || !s->Afficher) continue;
    Vec3d mn{10000, 10000, 10000}, mx{-10000, -10000, -10000};
    for (const TComposante& c : s->Composantes)
      for (const D3DVERTEX& p : c.Vertices) {
        mn.x = std::min(mn.x, double(p.x)), mx.x = std::max(mx.x, double(p.x));
        mn.y = std::min(mn.y, double(p.y)), mx.y = std::max(mx.y, double(p.y));
        mn.z = std::min(mn.z, double(p.z)), mx.z = std::max(mx.z, double(p.z));
      }
    Vec3d corner[8];
    for (int k = 0; k < 8; ++k)
      corner[k] = s->TransformPoint({(k & 1) ? mx.x : mn.x, (k & 2) ? mx.y : mn.y, (k & 4) ? mx.z : mn.z});
    // The box's six faces, two triangles each.
    static constexpr int kFaces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                         {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    bool boxHit = false;
    for (const auto& f : kFaces) {
      if (RayTriangleDistance(o, dr, corner[f[0]], corner[f[1]], corner[f[2]]) != -1 ||
          RayTriangleDistance(o, dr, corner[f[0]], corner[f[2]], corner[f[3]]) != -1) {
        boxHit = true;
        break;
      }
    }
    if (!boxHit) continue;
    for (const TComposante& c : s->Composantes) {
      ForEachTriangle(c, [&](int ia, int ib, int ic) {
        const double d = RayTriangleDistance(o, dr, s->TransformPoint(LocalPosition(c.Vertices[size_t(ia)])),
                                             s->TransformPoint(LocalPosition(c.Vertices[size_t(ib)])),
                                             s->TransformPoint(LocalPosition(c.Vertices[size_t(ic)])));
        if (d >= 1 && d < best) {
          best = d;
          result = i;
        }
      });
    }
  }
  return result;
}

TExpected<TVertexHit> PickVertex(TScene& scene, const TVue& view, int index, double h, double v) {
  TVertexHit hit;
  Vec3d o;
  D3DVECTOR dr;
  if (!PickRay(view, h, v, o, dr)) return TError{kMsgMatrixNonInvertible};
  const TSolidObject* s = scene.SolidAt(index);
  if (!s) return hit;
  double best = 1e18;
  for (size_t ci = 0; ci < s->Composantes.size(); ++ci) {
    const TComposante& c = s->Composantes[ci];
    ForEachTriangle(c, [&](int ia, int ib, int ic) {
      const int idx[3] = {ia, ib, ic};
      int corner = 0;
      const double d = NearestCornerHit(o, dr, s->TransformPoint(LocalPosition(c.Vertices[size_t(ia)])),
                                        s->TransformPoint(LocalPosition(c.Vertices[size_t(ib)])),
                                        s->TransformPoint(LocalPosition(c.Vertices[size_t(ic)])), corner);
      if (d >= 1 && d < best) {
        best = d;
        hit.Position = LocalPosition(c.Vertices[size_t(idx[corner])]);
        hit.Vertex = idx[corner];
        hit.Composante = static_cast<int32_t>(ci);
      }
    });
  }
  return hit;
}

// ------------------------------------------------------------------------ camera flight

D3DMATRIX FlyThroughCamera(double t, Vec3d& position) {
  double b = t;
  if (b > 700) b = std::fmod(b, 700.0) == 0 ? 700 : b - 700 * std::floor(b / 700);
  Vec3d p, d;
  if (b < 150) {
    const double s = 0.75 * (b / 150);
    p = {0, 5 - 7 * s, 0};
    d = {0, -std::cos(3 * s), std::sin(3 * s)};
    if (d.y > 0) d = {0, 0, 1};
  } else if (b < 300) {
    const double s = (b - 150) / 150;
    p = {1 - std::cos(2 * kPi * s), -0.25, -std::sin(2 * kPi * s)};
    d = {-p.x, 0, -p.z};
  } else if (b < 500) {
    const double s = (b - 300) / 200;
    p = {0, -0.25, 5 * s};
    d = {0, s, s - 1};
  } else {
    // Phase 4, b = 700 included: the end of the climb.
    const double s = std::min(1.0, (b - 500) / 200);
    p = {0, 5.5 * s - 0.25, 5};
    d = {0, 1, 0};
  }
  Vec3d u{std::cos(b / 50), std::sin(b / 50), std::cos(b / 30 + 1)};
  d = Normalised(d);
  p = p - d;
  d = Normalised(d);
  p = p - d;
  u = Normalised(u);
  const Vec3d r = Normalised(Cross(u, d));
  const Vec3d up = Cross(d, r);
  D3DMATRIX m = Identity();
  m._11 = float(r.x), m._12 = float(up.x), m._13 = float(d.x);
  m._21 = float(r.y), m._22 = float(up.y), m._23 = float(d.y);
  m._31 = float(r.z), m._32 = float(up.z), m._33 = float(d.z);
  m._41 = float(-Dot(r, p)), m._42 = float(-Dot(up, p)), m._43 = float(-Dot(d, p));
  position = p;
  return m;
}

}  // namespace ixoral
