// Solids and lights: the virtual setters, mesh access and the light's device light.
#include "scene/Objects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "scene/Scene.h"
#include "scene/Shapes.h"

using namespace ixoral;

namespace {
void ExpectVec(const Vec3d& v, double x, double y, double z, double tol = 1e-6) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}
const std::array<D3DVECTOR, 3> kAxes = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
}  // namespace

TEST(Solid, NewSolidDefaults) {
  TSolidObject s;
  EXPECT_EQ(s.ParentId(), kNoObject);
  EXPECT_EQ(s.VectDir, Vec3d(0, 0, 1));
  EXPECT_EQ(s.VectHaut, Vec3d(0, 1, 0));
  EXPECT_EQ(s.Redim, Vec3d(1, 1, 1));
  EXPECT_FALSE(s.Afficher);
  EXPECT_EQ(s.ComposanteCount(), 0);
  EXPECT_TRUE(IsIdentity(s.SavedMatrices[0]));
}

TEST(Solid, SetScaleClampsNegativeFactors) {
  TSolidObject s;
  s.SetScale({-2, 3, 0});
  EXPECT_EQ(s.Redim, Vec3d(0, 3, 0));
  EXPECT_EQ(s.ScaleMatrix._11, 0.0f);
  EXPECT_EQ(s.ScaleMatrix._22, 3.0f);
}

TEST(Solid, SetDirectionKeepsTheUnnormalisedUpVector) {
  TSolidObject s;
  s.SetDirection({0, 0, 1});
  EXPECT_EQ(s.VectHaut, Vec3d(-1, 0, 0));
  EXPECT_EQ(s.RotationMatrix._11, 0.0f);
  EXPECT_EQ(s.RotationMatrix._12, 1.0f);
  EXPECT_EQ(s.RotationMatrix._13, 0.0f);
  s.SetDirection({0, 5, 0});
  EXPECT_EQ(s.VectDir, Vec3d(0, 1, 0));
  EXPECT_EQ(s.VectHaut, Vec3d(0, 0, -1));
  s.SetDirection({1, 0, 1});
  // The up vector is d x (0,1,0): its length is the sine of the angle to the y axis.
  ExpectVec(s.VectHaut, -std::sqrt(0.5), 0, std::sqrt(0.5));
}

TEST(Solid, ColourAndSpecularFillTheMaterial) {
  TSolidObject s;
  s.SetColor(0x80FF0000);
  EXPECT_FLOAT_EQ(s.Material.ambient.r, 1.0f);
  EXPECT_FLOAT_EQ(s.Material.ambient.g, 0.0f);
  EXPECT_FLOAT_EQ(s.Material.diffuse.a, 128 / 255.0f);
  EXPECT_EQ(s.Material.diffuse.r, 0.0f);  // diffuse colour is never set
  s.SetSpecular(1.5f);
  EXPECT_EQ(s.Material.power, 1.5f);
  EXPECT_EQ(s.Material.specular.r, 1.0f);
  EXPECT_EQ(s.Material.specular.a, 0.0f);
  s.SetSpecular(0);
  EXPECT_EQ(s.Material.specular.g, 0.0f);
}

TEST(Solid, ComposanteAccessIgnoresOutOfRangeIndices) {
  TSolidObject s;
  s.SetComposanteCount(2);
  s.SetComposante(0, BuildCube(1));
  EXPECT_TRUE(s.GetComposante(-1).Vertices.empty());
  EXPECT_TRUE(s.GetComposante(2).Vertices.empty());
  s.SetComposante(5, BuildCube(2));
  EXPECT_EQ(s.ComposanteCount(), 2);
  EXPECT_EQ(s.GetComposante(0).Vertices.size(), 36u);
  s.SetComposanteCount(-3);
  EXPECT_EQ(s.ComposanteCount(), 0);
}

TEST(Solid, RunningIndexAndTextureCoordinates) {
  auto s = CreateCubePerce(kOpaqueWhite, 1, 0.25);
  // Section 0 holds vertices 1..10, section 1 starts at 11.
  EXPECT_EQ(s->VertexByRunningIndex(1), (TVertexRef{0, 0}));
  EXPECT_EQ(s->VertexByRunningIndex(11), (TVertexRef{1, 0}));
  EXPECT_EQ(s->VertexByRunningIndex(120), (TVertexRef{11, 9}));
  EXPECT_EQ(s->VertexByRunningIndex(121), TVertexRef{});
  EXPECT_EQ(s->VertexByRunningIndex(0), TVertexRef{});
  EXPECT_EQ(s->GetTexCoordAt({-1, -1, -1}, 1), Vec3d(0, 1, 0));
  EXPECT_EQ(s->GetTexCoordAt({-1, -1, -0.999}, 1), NotFoundVector);
  EXPECT_EQ(s->GetTexCoordAt({-1, -1, -1}, 9999), NotFoundVector);
  EXPECT_TRUE(s->SetTexCoordAt({-1, -1, -1}, 0.25f, 0.75f, 1));
  EXPECT_EQ(s->GetTexCoordAt({-1, -1, -1}, 1), Vec3d(0.25, 0.75, 0));
  EXPECT_FALSE(s->SetTexCoordAt({1, 1, 1}, 0, 0, 1));
}

TEST(Solid, ModifiedVerticesHaveNoDuplicates) {
  auto s = CreateCube(kOpaqueWhite, 1);
  s->AddModified(0, 3);
  s->AddModified(0, 3);
  EXPECT_EQ(s->ModifiedCount(), 1);
  s->MarkModifiedAt({-0.5, 0.5, 0.5});  // first found at vertex 2 of the front face
  EXPECT_EQ(s->ModifiedCount(), 2);
  EXPECT_EQ(s->ModifiedVertices[1], (TVertexRef{0, 2}));
  s->MarkModifiedAt({9, 9, 9});
  EXPECT_EQ(s->ModifiedCount(), 2);
  TVertexRef r{7, 7};
  s->GetModified(5, r);
  EXPECT_EQ(r, (TVertexRef{7, 7}));
  s->SetModified(10, {0, 1});  // beyond the count: appended
  EXPECT_EQ(s->ModifiedCount(), 3);
}

TEST(Solid, TextParamsAreCutTo255Characters) {
  TSolidObject s;
  s.SetTextParam(1, std::string(300, 'a'));
  EXPECT_EQ(s.GetTextParam(1).size(), 255u);
  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "é";
  s.SetTextParam(2, accents);
  EXPECT_EQ(s.GetTextParam(2).size(), 510u);  // 255 characters of two bytes each, none split
  s.SetTextParam(4, "ignored");
  EXPECT_EQ(s.GetTextParam(4), "");
  s.SetParam(11, 5);
  s.SetParam(0, 5);
  EXPECT_EQ(s.GetParam(11), 0.0f);
  s.SetParam(10, 2.5f);
  EXPECT_EQ(s.GetParam(10), 2.5f);
}

TEST(Solid, RotateTurnsFromTheSavedMatrices) {
  TSolidObject s;
  s.RotationMatrix = Identity();
  s.SaveMatrices();
  s.Rotate({0, 0, std::numbers::pi / 2}, kAxes, nullptr);
  s.Rotate({0, 0, std::numbers::pi / 2}, kAxes, nullptr);  // totals, not increments
  ExpectVec(s.VectHaut, 1, 0, 0);                          // (0, 1, 0) x R: a quarter turn about z, once
  ExpectVec(s.VectDir, 0, 0, 1);
}

TEST(Solid, RotateAboutTheParentPivotMovesTheChild) {
  TScene scene;
  const int parent = scene.AddObject(CreateCube(kOpaqueWhite, 1), "Parent");
  const int child = scene.AddObject(CreateCube(kOpaqueWhite, 1), "Child");
  scene.SolidAt(parent)->SetPosition({1, 0, 0});
  ASSERT_TRUE(scene.SetParent(child, parent));
  TSolidObject* c = scene.SolidAt(child);
  c->SetPosition({2, 0, 0});
  c->SetScale({2, 2, 2});
  c->SaveMatrices();
  c->Rotate({0, 0, std::numbers::pi / 2}, kAxes, &scene);
  // Turned a quarter about (1, 0, 0): the child at (2, 0, 0) goes to (1, -1, 0).
  ExpectVec(c->Position, 1, -1, 0, 1e-6);
  ExpectVec(c->Redim, 2, 2, 2, 1e-6);
  EXPECT_EQ(c->PivotStyle, 1);
}

TEST(Solid, RotateWithAParentPivotButNoParentTurnsInPlace) {
  TScene scene;
  const int i = scene.AddObject(CreateCube(kOpaqueWhite, 1), "Cube");
  TSolidObject* s = scene.SolidAt(i);
  s->PivotStyle = 1;
  s->SetPosition({3, 0, 0});
  s->SaveMatrices();
  s->Rotate({0, 0, std::numbers::pi / 2}, kAxes, &scene);
  EXPECT_EQ(s->PivotStyle, 0);
  ExpectVec(s->Position, 3, 0, 0);
  ExpectVec(s->VectHaut, 1, 0, 0);
}

TEST(Light, WithoutADeviceLightTheSettersDoNothing) {
  TScene scene;
  auto l = CreateSpotLight(kOpaqueWhite, &scene, 0.5f, 2.0f);
  const float spec = l->Specular;
  l->Afficher = true;
  l->SetVisible(false);
  l->SetSpecular(0);
  EXPECT_TRUE(l->Afficher);
  EXPECT_EQ(l->Specular, spec);
  D3DLIGHT7 dummy;
  EXPECT_FALSE(scene.Device().GetLight(0, dummy));
}

TEST(Light, SettersDriveTheDeviceLight) {
  TScene scene;
  scene.NewScene(true);
  TLight* l = scene.LightAt(0);
  ASSERT_NE(l, nullptr);
  D3DLIGHT7 d;
  l->SetColor(0xFF336699);
  ASSERT_TRUE(scene.Device().GetLight(1, d));
  EXPECT_FLOAT_EQ(d.dcvDiffuse.g, 0x66 / 255.0f);
  EXPECT_FLOAT_EQ(d.dcvSpecular.b, 0x99 / 255.0f);  // Specular 1.0: the light's own colour
  EXPECT_EQ(d.dcvAmbient.a, 1.0f);
  l->SetColor(0xFF000000);
  scene.Device().GetLight(1, d);
  EXPECT_EQ(d.dcvSpecular.a, 0.0f);  // opaque black: no specular at all
  l->SetVisible(false);
  bool on = true;
  scene.Device().GetLightEnable(1, on);
  EXPECT_FALSE(on);
  EXPECT_FALSE(l->Afficher);
  l->SetType(ltAmbiante);
  scene.Device().GetLight(1, d);
  EXPECT_EQ(d.dltType, D3DLIGHT_DIRECTIONAL);
  l->SetType(7);  // unknown: the device keeps its type
  scene.Device().GetLight(1, d);
  EXPECT_EQ(d.dltType, D3DLIGHT_DIRECTIONAL);
  EXPECT_EQ(l->LightType, 7);
}

TEST(Light, RotateTurnsTheDeviceDirection) {
  TScene scene;
  scene.NewScene(true);
  TLight* l = scene.LightAt(0);
  l->RotationMatrix = Identity();
  l->SaveMatrices();
  l->Rotate({std::numbers::pi / 2, 0, 0}, kAxes, &scene);
  // (0, 0, -1) turned a quarter about x (row vectors) becomes (0, -1, 0).
  ExpectVec(l->VectDir, 0, -1, 0);
  D3DLIGHT7 d;
  scene.Device().GetLight(1, d);
  EXPECT_NEAR(d.dvDirection.y, -1.0f, 1e-6);
}

TEST(Light, SetScaleWidensTheConeFromTheSpotAngle) {
  TScene scene;
  scene.NewScene(true);
  TLight* l = scene.LightAt(0);
  const float angle = l->SpotAngle;
  l->SetScale({1, 1, 1});  // product 1: taken as no change
  D3DLIGHT7 d;
  scene.Device().GetLight(1, d);
  EXPECT_FLOAT_EQ(d.dvTheta, angle);
  EXPECT_EQ(l->Redim.x, 0.0);
  l->SetScale({0.5, 1, 1});  // f = 1.5
  scene.Device().GetLight(1, d);
  EXPECT_NEAR(d.dvTheta, angle * 1.5, 1e-6);
  EXPECT_NEAR(d.dvPhi, angle * 1.5 + 0.08, 1e-6);
  EXPECT_EQ(l->SpotAngle, angle);
  EXPECT_EQ(l->Redim.x, 0.5);
  EXPECT_EQ(l->Symbol.Vertices.size(), 42u);
  l->SetScale({-1, 1, 1});  // f = 1 / |(-1) - 1| = 0.5
  scene.Device().GetLight(1, d);
  EXPECT_NEAR(d.dvTheta, angle * 0.5, 1e-6);
}

TEST(Light, DestroyingALightSwitchesItsDeviceLightOff) {
  TScene scene;
  scene.NewScene(true);
  bool on = false;
  scene.Device().GetLightEnable(1, on);
  EXPECT_TRUE(on);
  scene.DeleteObject(0);
  scene.Device().GetLightEnable(1, on);
  EXPECT_FALSE(on);
}
