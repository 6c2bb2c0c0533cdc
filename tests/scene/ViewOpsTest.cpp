// View layout, navigation, stored view parameters, picking and the camera flight.
#include "scene/ViewOps.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>

#include "platform/Settings.h"
#include "scene/Shapes.h"

using namespace ixoral;

namespace {

class ViewOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = std::filesystem::temp_directory_path() /
           ("ixoral-viewops-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini");
    std::filesystem::remove(Path);
  }
  void TearDown() override { std::filesystem::remove(Path); }
  std::filesystem::path Path;
};

// The object picked in view `view`, -2 when picking failed.
int Picked(TScene& scene, int view, double h, double v) {
  return PickObject(scene, scene.Views[size_t(view)], h, v).ValueOr(-2);
}

int AddCubeAt(TScene& scene, const Vec3d& p) {
  const int i = scene.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube");
  scene.ObjectAt(i)->SetPosition(p);
  return i;
}

}  // namespace

TEST_F(ViewOpsTest, FourViewLayoutSplitsTheSurfaceAndOneViewTakesItAll) {
  TScene scene;
  SetLayout(scene, true, 1445, 909, nullptr);
  EXPECT_TRUE(scene.FourViews);
  const auto& v3 = scene.Views[3].Viewport;
  EXPECT_EQ(v3.dwX, 722u);
  EXPECT_EQ(v3.dwY, 454u);
  EXPECT_EQ(v3.dwWidth, 722u);
  EXPECT_EQ(v3.dwHeight, 454u);
  EXPECT_EQ(scene.Views[1].Viewport.dwY, 0u);
  EXPECT_EQ(scene.Views[2].ViewType, vtHaut);
  scene.Views[0].ViewType = vtHaut;
  SetLayout(scene, false, 640, 480, nullptr);
  EXPECT_FALSE(scene.FourViews);
  EXPECT_EQ(scene.Views[0].Viewport.dwWidth, 640u);
  EXPECT_EQ(scene.Views[0].ViewType, vtHaut);  // the type stays, the camera is the perspective one
  EXPECT_EQ(scene.Views[0].Camera.Position, (Vec3d{0, 2, -2}));
}

TEST_F(ViewOpsTest, FixedViewsNavigateTogetherAndThePerspectiveViewAlone) {
  TScene scene;
  ApplyViewTranslation(scene, 1, {1, 2, 3});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(scene.Views[size_t(i)].Pos, (Vec3d{1, 2, 3}));
  EXPECT_EQ(scene.Views[3].Pos, (Vec3d{0, 0, 0}));
  ApplyViewScale(scene, 3, {2, 2, 2});
  EXPECT_EQ(scene.Views[3].Scale, (Vec3d{2, 2, 2}));
  EXPECT_EQ(scene.Views[0].Scale, (Vec3d{1, 1, 1}));
  ResetPosition(scene, 0);  // nothing selected: the fixed views' navigation goes back
  EXPECT_EQ(scene.Views[1].Pos, (Vec3d{0, 0, 0}));
  EXPECT_EQ(scene.Views[3].Scale, (Vec3d{2, 2, 2}));
  const int c = AddCubeAt(scene, {1, 1, 1});
  scene.ObjectAt(c)->SetScale({2, 3, 4});
  scene.SelectObject(c);
  ResetPosition(scene, 3);
  EXPECT_EQ(scene.ObjectAt(c)->Position, (Vec3d{0, 0, 0}));
  EXPECT_EQ(scene.ObjectAt(c)->Redim, (Vec3d{1, 1, 1}));
  EXPECT_EQ(scene.Views[3].Scale, (Vec3d{2, 2, 2}));  // navigation untouched with a selection
}

TEST_F(ViewOpsTest, ViewParametersRoundTripThroughTheStore) {
  TSettingsStore store(Path.string());
  TScene scene;
  TVue& v = scene.Views[3];
  v.SetViewTranslation({0.5, -1.25, 2});
  v.SetViewRotation({0.1, 0.2, 0.3});
  v.SetViewScale({1.5, 1.5, 1.5});
  SaveViewParams(v, store);
  EXPECT_EQ(store.ReadString("\\Parametres\\3", "Type"), "User");
  EXPECT_EQ(store.ReadString("\\Parametres\\3", "PosY"), "-1,25");
  EXPECT_EQ(store.ReadString("\\Parametres\\3", "Camera Y"), "2");
  TScene other;
  other.Views[3].SetViewType(vtFace);
  LoadViewParams(other.Views[3], store);
  EXPECT_EQ(other.Views[3].ViewType, vtPerspective);
  EXPECT_EQ(other.Views[3].Pos, (Vec3d{0.5, -1.25, 2}));
  EXPECT_NEAR(other.Views[3].Rot.z, 0.3, 1e-12);
  EXPECT_EQ(other.Views[3].Scale, (Vec3d{1.5, 1.5, 1.5}));
  EXPECT_EQ(other.Views[3].Camera.Position, (Vec3d{0, 2, -2}));
}

TEST_F(ViewOpsTest, StoredValuesThatCannotBeUsedAreIgnored) {
  TSettingsStore store(Path.string());
  const std::string key = "\\Parametres\\1";
  // "Perspective" is a caption, not a stored type: the whole stored view is ignored.
  store.WriteString(key, "Type", "Perspective");
  store.WriteString(key, "PosX", "4");
  TScene scene;
  LoadViewParams(scene.Views[1], store);
  EXPECT_EQ(scene.Views[1].ViewType, vtGauche);
  EXPECT_EQ(scene.Views[1].Pos.x, 0);
  // All three scales zero: not applied. A translation that is not a number keeps the view's.
  store.WriteString(key, "Type", "Haut");
  for (const char* n : {"ScaleX", "ScaleY", "ScaleZ"}) store.WriteString(key, n, "0");
  store.WriteString(key, "PosX", "abc");
  store.WriteString(key, "PosY", "2,5");
  store.WriteString(key, "Camera X", "nan");
  store.WriteString(key, "Camera Y", "5");
  LoadViewParams(scene.Views[1], store);
  EXPECT_EQ(scene.Views[1].ViewType, vtHaut);
  EXPECT_EQ(scene.Views[1].Scale, (Vec3d{1, 1, 1}));
  EXPECT_EQ(scene.Views[1].Pos, (Vec3d{0, 2.5, 0}));
  // The camera keeps its X (unreadable) and its direction (absent), takes the stored Y.
  EXPECT_EQ(scene.Views[1].Camera.Position, (Vec3d{0, 5, 0}));
  EXPECT_EQ(scene.Views[1].Camera.Direction.y, -1.0f);
}

TEST_F(ViewOpsTest, ACentreClickInFaceShootsFromTheCentreOfProjectionThroughTheOrigin) {
  TScene scene;
  Vec3d o;
  D3DVECTOR d;
  ASSERT_TRUE(PickRay(scene.Views[0], 0.5, 0.5, o, d));
  EXPECT_NEAR(o.z, -2, 1e-12);
  EXPECT_EQ(o.x, 0);
  EXPECT_EQ(d.x, 0.0f);
  EXPECT_EQ(d.y, 0.0f);
  EXPECT_NEAR(d.z, 2, 1e-6);
  // The top-left corner of "Haut": screen left is -X, screen up is +Z.
  ASSERT_TRUE(PickRay(scene.Views[2], 0, 0, o, d));
  EXPECT_NEAR(o.y, 2, 1e-12);
  EXPECT_NEAR(d.x, -1, 1e-6);
  EXPECT_NEAR(d.z, 1, 1e-6);
}

TEST_F(ViewOpsTest, RayTriangleDistanceEdgeCases) {
  const Vec3d o{0, 0, -2};
  const D3DVECTOR dr{0, 0, 1};
  EXPECT_NEAR(RayTriangleDistance(o, dr, {-1, -1, 0}, {0, 1, 0}, {1, -1, 0}), 2, 1e-6);
  // Edge-on (the ray lies in the triangle's plane): never hit.
  EXPECT_EQ(RayTriangleDistance(o, dr, {0, -1, -1}, {0, 1, 0}, {0, -1, 1}), -1);
  // Behind the origin.
  EXPECT_EQ(RayTriangleDistance(o, dr, {-1, -1, -3}, {0, 1, -3}, {1, -1, -3}), -1);
  // Beside the triangle.
  EXPECT_EQ(RayTriangleDistance(o, dr, {1, 1, 0}, {2, 1, 0}, {1, 2, 0}), -1);
  // Coordinates are rounded to 5 decimals before the test: a point 4e-6 outside counts as on the edge.
  EXPECT_NEAR(RayTriangleDistance(o, dr, {0.000004, -1, 0}, {0.000004, 1, 0}, {1, 0, 0}), 2, 1e-6);
  int corner = -1;
  EXPECT_NEAR(NearestCornerHit({0.8, -0.8, -2}, dr, {-1, -1, 0}, {0, 1, 0}, {1, -1, 0}, corner), 2, 1e-6);
  EXPECT_EQ(corner, 2);
  NearestCornerHit({-0.8, -0.8, -2}, dr, {-1, -1, 0}, {0, 1, 0}, {1, -1, 0}, corner);
  EXPECT_EQ(corner, 0);
}

TEST_F(ViewOpsTest, PickingFindsTheNearestVisibleSolid) {
  TScene scene;
  EXPECT_EQ(Picked(scene, 0, 0.5, 0.5), -1);  // empty scene
  scene.NewScene(true);                       // the light is never picked
  const int back = AddCubeAt(scene, {0, 0, 1});
  const int front = AddCubeAt(scene, {0, 0, 0});
  EXPECT_EQ(Picked(scene, 0, 0.5, 0.5), front);
  scene.ObjectAt(front)->SetVisible(false);
  EXPECT_EQ(Picked(scene, 0, 0.5, 0.5), back);
  EXPECT_EQ(Picked(scene, 0, 0.02, 0.02), -1);
  // A hit closer than 1 unit to the ray origin is ignored: a cube around the origin of the ray.
  scene.ObjectAt(back)->SetPosition({0, 0, -1.9});
  EXPECT_EQ(Picked(scene, 0, 0.5, 0.5), -1);
  // From "Haut", the cube at the origin is seen from above.
  scene.ObjectAt(front)->SetVisible(true);
  EXPECT_EQ(Picked(scene, 2, 0.5, 0.5), front);
}

TEST_F(ViewOpsTest, AZeroNavigationScaleCannotPick) {
  TScene scene;
  AddCubeAt(scene, {0, 0, 0});
  scene.Views[0].SetViewScale({0, 0, 0});
  const TExpected<int> object = PickObject(scene, scene.Views[0], 0.5, 0.5);
  ASSERT_FALSE(object);
  EXPECT_EQ(object.Error().Message, "Matrix non invertible");
  const TExpected<TVertexHit> vertex = PickVertex(scene, scene.Views[0], 0, 0.5, 0.5);
  ASSERT_FALSE(vertex);
  EXPECT_EQ(vertex.Error().Message, "Matrix non invertible");
}

TEST_F(ViewOpsTest, PickVertexGivesTheNearestCornerOfTheHitTriangle) {
  TScene scene;
  const int c = AddCubeAt(scene, {0, 0, 0});
  // Near the top-right front corner of the cube (0.25, 0.25, -0.25), seen from "Face".
  const double nx = 0.24 / 0.875;  // the ray from z = -2 through z = 0 reaches x = 0.24 at z = -0.25
  const double h = (nx + 1) / 2;
  const TVertexHit hit = PickVertex(scene, scene.Views[0], c, h, 1 - h).ValueOr({});
  ASSERT_TRUE(hit.Found());
  EXPECT_EQ(hit.Position, (Vec3d{0.25, 0.25, -0.25}));
  const D3DVERTEX& v = scene.SolidAt(c)->Composantes[size_t(hit.Composante)].Vertices[size_t(hit.Vertex)];
  EXPECT_EQ(v.x, 0.25f);
  EXPECT_EQ(v.z, -0.25f);
  EXPECT_FALSE(PickVertex(scene, scene.Views[0], c, 0.01, 0.01).ValueOr({}).Found());
  EXPECT_FALSE(PickVertex(scene, scene.Views[0], 7, 0.5, 0.5).ValueOr({}).Found());
}

TEST_F(ViewOpsTest, FlyThroughCameraPhases) {
  Vec3d p;
  // Start: above the scene looking straight down, two units behind the path point.
  D3DMATRIX m = FlyThroughCamera(0, p);
  EXPECT_NEAR(p.y, 7, 1e-9);
  EXPECT_NEAR(m._23, -1, 1e-6);  // d.y
  // Phase 4 looks up (+Y); t and t + 700 give the same camera.
  Vec3d q;
  m = FlyThroughCamera(600, p);
  const D3DMATRIX m2 = FlyThroughCamera(1300, q);
  EXPECT_NEAR(m._23, 1, 1e-6);
  EXPECT_EQ(p, q);
  EXPECT_EQ(m._41, m2._41);
  FlyThroughCamera(700, p);  // the very end of the loop stays finite
  EXPECT_TRUE(std::isfinite(p.y));
  EXPECT_NEAR(p.y, 5.25 - 2, 1e-9);
}

namespace {

// Where a world point shows in view `view`, across the view from -1 to 1 (the views' projection:
// twice the camera-space x and y over the depth ahead of the centre of projection).
std::array<double, 3> Shown(const TScene& scene, int view, const Vec3d& p) {
  const Vec3d c = ApplyMatrix(p, scene.Views[size_t(view)].ModelViewMatrix());
  const double depth = c.z - 1;
  return {2 * c.x / depth, 2 * c.y / depth, depth};
}

// The largest of |x|, |y| over the corners of a cube of side `side` at `at`, and the nearest depth.
std::pair<double, double> Extent(const TScene& scene, int view, const Vec3d& at, double side) {
  double most = 0, nearest = HUGE_VAL;
  for (int k = 0; k < 8; ++k) {
    const double h = side / 2;
    const auto s = Shown(scene, view, {at.x + (k & 1 ? h : -h), at.y + (k & 2 ? h : -h), at.z + (k & 4 ? h : -h)});
    most = std::max({most, std::abs(s[0]), std::abs(s[1])});
    nearest = std::min(nearest, s[2]);
  }
  return {most, nearest};
}

}  // namespace

TEST_F(ViewOpsTest, FramingPutsTheBoxInsideEveryViewItMovesWithAMargin) {
  TScene scene;
  scene.NewScene(false);
  SetLayout(scene, true, 800, 600, nullptr);
  const Vec3d at{7, -3, 12};
  const int cube = AddCubeAt(scene, at);
  scene.ObjectAt(cube)->SetScale({4, 4, 4});  // a cube of side 2
  for (int view : {0, 3}) {
    ASSERT_TRUE(FrameObjects(scene, view, {cube}));
    // The fixed views move together: framed in "Face", the cube is framed in "Gauche" and "Haut".
    for (int shown : view == 3 ? std::vector<int>{3} : std::vector<int>{0, 1, 2}) {
      const auto [most, nearest] = Extent(scene, shown, at, 2);
      EXPECT_LT(most, 0.95) << "view " << shown;
      EXPECT_GT(most, 0.4) << "view " << shown;   // not lost in the middle either
      EXPECT_GT(nearest, 1) << "view " << shown;  // beyond the plane the views cut at
      const auto centre = Shown(scene, shown, at);
      EXPECT_NEAR(centre[0], 0, 1e-5);  // the matrices are single precision
      EXPECT_NEAR(centre[1], 0, 1e-5);
    }
  }
}

TEST_F(ViewOpsTest, FramingNothingUsableChangesNothingAndNeverGivesNaN) {
  TScene scene;
  scene.NewScene(false);
  SetLayout(scene, true, 800, 600, nullptr);
  EXPECT_FALSE(FrameObjects(scene, 0, {}));                   // an empty scene
  EXPECT_FALSE(FrameObjects(scene, 0, {-1, 42}));             // no such objects
  const int broken = AddCubeAt(scene, {std::nan(""), 0, 0});  // bounds from a hand edit
  EXPECT_FALSE(FrameObjects(scene, 0, {broken}));
  EXPECT_EQ(scene.Views[0].Scale.x, 1);
  EXPECT_EQ(scene.Views[0].Pos.x, 0);
  // A box of no size is centred, the zoom kept.
  const int flat = AddCubeAt(scene, {1, 2, 3});
  scene.ObjectAt(flat)->SetScale({0, 0, 0});
  ASSERT_TRUE(FrameObjects(scene, 0, {flat}));
  EXPECT_EQ(scene.Views[0].Scale.x, 1);
  EXPECT_NEAR(Shown(scene, 0, {1, 2, 3})[0], 0, 1e-5);
  // Far away and huge, and a view scaled to a millionth: finite numbers, the box in sight.
  const int far = AddCubeAt(scene, {1e15, 0, 0});
  scene.ObjectAt(far)->SetScale({1e12, 1e12, 1e12});
  ApplyViewScale(scene, 3, {1e-6, 1e-6, 1e-6});
  ASSERT_TRUE(FrameObjects(scene, 3, {far}));
  const TVue& v = scene.Views[3];
  EXPECT_TRUE(IsFinite(v.Scale) && IsFinite(v.Pos) && IsFinite(v.Rot));
  EXPECT_LT(Extent(scene, 3, {1e15, 0, 0}, 0.5e12).first, 0.95);
}
