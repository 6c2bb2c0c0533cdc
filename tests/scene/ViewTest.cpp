// Cameras and navigation transforms of the views.
#include "scene/View.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "scene/Scene.h"

using namespace ixoral;

namespace {
void ExpectRow(const D3DMATRIX& m, int row, float a, float b, float c) {
  EXPECT_NEAR(m.m[row][0], a, 1e-6);
  EXPECT_NEAR(m.m[row][1], b, 1e-6);
  EXPECT_NEAR(m.m[row][2], c, 1e-6);
}
}  // namespace

TEST(View, DefaultCamerasLookAtTheOrigin) {
  // Columns of the upper 3 x 3 are right, up and direction.
  const D3DMATRIX haut = LookToMatrix(DefaultCamera(vtHaut));
  ExpectRow(haut, 0, 1, 0, 0);   // r.x u.x d.x
  ExpectRow(haut, 1, 0, 0, -1);  // r.y u.y d.y
  ExpectRow(haut, 2, 0, 1, 0);   // r.z u.z d.z: up is world Z
  const D3DMATRIX gauche = LookToMatrix(DefaultCamera(vtGauche));
  ExpectRow(gauche, 0, 0, 0, 1);
  ExpectRow(gauche, 2, -1, 0, 0);  // right is -Z
  const D3DMATRIX persp = LookToMatrix(DefaultCamera(vtPerspective));
  EXPECT_NEAR(persp._22, std::sqrt(0.5f), 1e-6);  // u.y
  EXPECT_NEAR(persp._32, std::sqrt(0.5f), 1e-6);  // u.z
  // The camera position goes to the origin of camera space.
  const Vec3d c = ApplyMatrix({0, 0, -3}, LookToMatrix(DefaultCamera(vtFace)));
  EXPECT_NEAR(c.x, 0, 1e-6);
  EXPECT_NEAR(c.z, 0, 1e-6);
}

TEST(View, ANonHorizontalDirectionTakesTheWorldZFallback) {
  const D3DMATRIX m = LookToMatrix({{0, 0, 0}, {1, -1, 1}});
  // u = (0,0,1) - d * d.z, normalised: perpendicular to d and in the plane of d and Z.
  const float s = 1 / std::sqrt(3.0f);
  const D3DVECTOR u{m._12, m._22, m._32};
  EXPECT_NEAR(DotProduct(u, {s, -s, s}), 0, 1e-6);
  EXPECT_GT(u.z, 0.8f);
}

TEST(View, NavigationSettersKeepTheirValues) {
  TVue v;
  v.ResetView();
  v.SetViewType(vtPerspective);
  EXPECT_STREQ(v.ViewTypeName(), "Perspective");
  v.SetViewScale({2, 2, 2});
  v.SetViewTranslation({1, 2, 3});
  v.SetViewRotation({0, std::numbers::pi / 2, 0});
  EXPECT_EQ(v.ScaleMatrix._22, 2.0f);
  EXPECT_EQ(v.TranslationMatrix._43, 3.0f);
  const Vec3d p = ApplyMatrix({1, 0, 0}, v.RotationMatrix);
  EXPECT_NEAR(p.z, -1, 1e-6);  // Ry row 1 is (C, 0, -S)
  v.ResetNavigation();
  EXPECT_TRUE(IsIdentity(v.ScaleMatrix));
  EXPECT_EQ(v.Pos, Vec3d(0, 0, 0));
  EXPECT_EQ(v.Scale, Vec3d(1, 1, 1));
  v.SetViewType(9);  // out of range: the perspective view, never an index past the names
  EXPECT_EQ(v.ViewType, vtPerspective);
}

TEST(View, ASceneStartsWithItsFourDefaultViews) {
  TScene scene;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(scene.Views[i].ViewType, i);
    EXPECT_EQ(scene.Views[i].ViewIndex, i);
    EXPECT_EQ(scene.Views[i].Scale, Vec3d(1, 1, 1));
  }
  EXPECT_EQ(scene.Views[3].Camera.Position, Vec3d(0, 2, -2));
}
