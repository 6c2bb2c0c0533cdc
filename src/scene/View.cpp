// Camera and navigation mathematics of a view.
#include "scene/View.h"

#include <cmath>

namespace ixoral {

const std::array<const char*, 4> ViewTypeCaptions = {"Face", "Gauche", "Haut", "Perspective"};
const std::array<const char*, 4> ViewTypeNames = {"Face", "Gauche", "Haut", "User"};

D3DMATRIX LookToMatrix(const TCamera& camera) {
  const D3DVECTOR d = NormalizeSafe(camera.Direction);
  D3DVECTOR u = Subtract({0, 1, 0}, Scale(d, DotProduct(d, {0, 1, 0})));
  if (Magnitude(u) < 1.0f) u = Subtract({0, 0, 1}, Scale(d, d.z));
  u = NormalizeSafe(u);
  const D3DVECTOR r = CrossProduct(u, d);
  const D3DVECTOR p = ToSingle(camera.Position);
  D3DMATRIX m = Identity();
  m._11 = r.x, m._12 = u.x, m._13 = d.x;
  m._21 = r.y, m._22 = u.y, m._23 = d.y;
  m._31 = r.z, m._32 = u.z, m._33 = d.z;
  m._41 = -DotProduct(r, p), m._42 = -DotProduct(u, p), m._43 = -DotProduct(d, p);
  return m;
}

D3DMATRIX RotationFromAngles(const Vec3d& a) {
  D3DMATRIX rx = Identity(), ry = Identity(), rz = Identity();
  const float cx = static_cast<float>(std::cos(a.x)), sx = static_cast<float>(std::sin(a.x));
  const float cy = static_cast<float>(std::cos(a.y)), sy = static_cast<float>(std::sin(a.y));
  const float cz = static_cast<float>(std::cos(a.z)), sz = static_cast<float>(std::sin(a.z));
  rx._22 = cx, rx._23 = sx, rx._32 = -sx, rx._33 = cx;
  ry._11 = cy, ry._13 = -sy, ry._31 = sy, ry._33 = cy;
  rz._11 = cz, rz._12 = sz, rz._21 = -sz, rz._22 = cz;
  return Multiply(Multiply(rx, ry), rz);
}

TCamera DefaultCamera(int viewType) {
  switch (viewType) {
    case vtFace:
      return {{0, 0, -3}, {0, 0, 1}};
    case vtGauche:
      return {{-3, 0, 0}, {1, 0, 0}};
    case vtHaut:
      return {{0, 3, 0}, {0, -1, 0}};
    default:
      return {{0, 2, -2}, {0, -1, 1}};
  }
}

void TVue::ResetView() {
  Scale = {1, 1, 1};
  CameraMatrix = ScaleMatrix = RotationMatrix = TranslationMatrix = Identity();
}

void TVue::SetViewType(int type) {
  SetCamera(DefaultCamera(type));
  ViewType = static_cast<uint8_t>(type >= 0 && type <= 3 ? type : vtPerspective);
}

void TVue::SetCamera(const TCamera& camera) {
  Camera = camera;
  CameraMatrix = LookToMatrix(camera);
}

void TVue::SetViewTranslation(const Vec3d& v) {
  TranslationMatrix = WithTranslation(TranslationMatrix, v);
  Pos = v;
}

void TVue::SetViewRotation(const Vec3d& v) {
  RotationMatrix = RotationFromAngles(v);
  Rot = v;
}

void TVue::SetViewScale(const Vec3d& v) {
  ScaleMatrix = WithScale(ScaleMatrix, v);
  Scale = v;
}

void TVue::ResetNavigation() {
  SetViewTranslation({0, 0, 0});
  SetViewScale({1, 1, 1});
  SetViewRotation({0, 0, 0});
  ScaleMatrix = RotationMatrix = TranslationMatrix = Identity();
}

const char* TVue::ViewTypeName() const { return ViewTypeCaptions[ViewType <= 3 ? ViewType : 3]; }

D3DMATRIX TVue::ModelViewMatrix() const {
  return Multiply(Multiply(Multiply(ScaleMatrix, RotationMatrix), TranslationMatrix), CameraMatrix);
}

}  // namespace ixoral
