// Primitive shape generators: vertex order, normals, texture coordinates, counts and bad counts.
#include "scene/Shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "scene/Scene.h"

using namespace ixoral;

namespace {

// Every vertex of every component is finite.
bool AllFinite(const TArrayOfComposante& parts) {
  for (const auto& c : parts)
    for (const auto& v : c.Vertices)
      for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv})
        if (!std::isfinite(f)) return false;
  return true;
}

}  // namespace

// The cube's table as it reads in the modeller's documentation: per face the normal, then six
// vertices as sign triples with (tu, tv).
TEST(Shapes, CubeMatchesItsTable) {
  const char* table =
      "0 0 1 | - - + 1 1 | + - + 0 1 | - + + 1 0 | - + + 1 0 | + - + 0 1 | + + + 0 0\n"
      "0 1 0 | - + + 1 0 | + + + 0 0 | + + - 0 1 | - + + 1 0 | + + - 0 1 | - + - 1 1\n"
      "0 0 -1 | + + - 0 1 | + - - 0 0 | - + - 1 1 | + - - 0 0 | - - - 1 0 | - + - 1 1\n"
      "0 -1 0 | - - - 1 0 | + - - 0 0 | - - + 1 1 | + - + 0 1 | - - + 1 1 | + - - 0 0\n"
      "1 0 0 | + - - 0 0 | + + - 1 0 | + + + 1 1 | + - - 0 0 | + + + 1 1 | + - + 0 1\n"
      "-1 0 0 | - + + 1 0 | - + - 1 1 | - - - 0 1 | - - - 0 1 | - - + 0 0 | - + + 1 0\n";
  const TComposante c = BuildCube(0.5);
  ASSERT_EQ(c.PrimitiveType, D3DPT_TRIANGLELIST);
  ASSERT_EQ(c.Vertices.size(), 36u);
  std::istringstream in(table);
  std::string line;
  size_t k = 0;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    float nx, ny, nz;
    std::string bar;
    l >> nx >> ny >> nz;
    for (int v = 0; v < 6; ++v, ++k) {
      std::string sx, sy, sz;
      float tu, tv;
      l >> bar >> sx >> sy >> sz >> tu >> tv;
      const D3DVERTEX& got = c.Vertices[k];
      auto coord = [](const std::string& s) { return s == "+" ? 0.25f : -0.25f; };
      EXPECT_EQ(got.x, coord(sx)) << "vertex " << k;
      EXPECT_EQ(got.y, coord(sy)) << "vertex " << k;
      EXPECT_EQ(got.z, coord(sz)) << "vertex " << k;
      EXPECT_EQ(got.nx, nx) << "vertex " << k;
      EXPECT_EQ(got.ny, ny) << "vertex " << k;
      EXPECT_EQ(got.nz, nz) << "vertex " << k;
      EXPECT_EQ(got.tu, tu) << "vertex " << k;
      EXPECT_EQ(got.tv, tv) << "vertex " << k;
    }
  }
  EXPECT_EQ(k, 36u);
}

TEST(Shapes, PiercedCubeSpansTwiceTheCote) {
  auto s = CreateCubePerce(kOpaqueWhite, 1, 0.25);
  ASSERT_EQ(s->ComposanteCount(), 12);
  Vec3d mn, mx;
  ComposantesBounds(s->Composantes, mn, mx);
  EXPECT_EQ(mn, Vec3d(-1, -1, -1));
  EXPECT_EQ(mx, Vec3d(1, 1, 1));
  for (const auto& c : s->Composantes) {
    EXPECT_EQ(c.PrimitiveType, D3DPT_TRIANGLESTRIP);
    ASSERT_EQ(c.Vertices.size(), 10u);
    EXPECT_EQ(c.Vertices[8].x, c.Vertices[0].x);  // the ring closes on its first pair
    EXPECT_EQ(c.Vertices[9].tv, c.Vertices[1].tv);
  }
  // Section 0, frame on z = -1: the inner corner of the hole and its texture coordinates.
  const D3DVERTEX& inner = s->Composantes[0].Vertices[1];
  EXPECT_EQ(inner.x, -0.75f);
  EXPECT_EQ(inner.z, -1.0f);
  EXPECT_EQ(inner.tu, 0.25f);
  EXPECT_EQ(inner.tv, 0.75f);
  EXPECT_EQ(inner.nz, -1.0f);
  // Section 6, sleeve: normals are offsets from the nearest corner, each 0 or +-epsilon.
  const D3DVERTEX& sleeve = s->Composantes[6].Vertices[1];  // (-D, -D, -D)
  EXPECT_EQ(sleeve.nx, 0.25f);
  EXPECT_EQ(sleeve.ny, 0.25f);
  EXPECT_EQ(sleeve.nz, 0.25f);
  EXPECT_EQ(sleeve.tu, 0.5f);                         // 1 - 2e
  EXPECT_EQ(s->Composantes[6].Vertices[0].nz, 0.0f);  // (-D, -D, -C)
  EXPECT_EQ(s->GetParam(2), 0.25f);
}

TEST(Shapes, PiercedCubeDegenerateEpsilons) {
  // epsilon = cote: holes of zero size (D = 0), and sleeve normals stay finite.
  auto closed = CreateCubePerce(kOpaqueWhite, 1, 1);
  EXPECT_TRUE(AllFinite(closed->Composantes));
  EXPECT_EQ(closed->Composantes[0].Vertices[1].x, 0.0f);
  // epsilon = 0: frames of zero width.
  auto open = CreateCubePerce(kOpaqueWhite, 1, 0);
  EXPECT_EQ(open->Composantes[0].Vertices[1].x, -1.0f);
  EXPECT_TRUE(BuildCubePerceSection(12, 1, 0.25).Vertices.empty());
}

TEST(Shapes, SphereKeepsItsZeroTail) {
  const TComposante c = BuildSphere(21, 42, 0.5);
  ASSERT_EQ(c.Vertices.size(), 5292u);
  size_t filled = 5166;
  for (size_t k = filled; k < c.Vertices.size(); ++k) {
    const auto& v = c.Vertices[k];
    ASSERT_TRUE(v.x == 0 && v.y == 0 && v.z == 0 && v.nx == 0 && v.tu == 0) << k;
  }
  // The south pole comes first: band 0 has one triangle per segment.
  EXPECT_NEAR(c.Vertices[0].y, -0.5f, 1e-6);
  EXPECT_NEAR(c.Vertices[0].tv, 1.0f, 1e-6);
  // Normals equal positions (length R).
  const auto& v = c.Vertices[100];
  EXPECT_EQ(v.nx, v.x);
  EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 0.5, 1e-6);
  // One band: nothing filled at all.
  const TComposante one = BuildSphere(7, 1, 1);
  ASSERT_EQ(one.Vertices.size(), 42u);
  for (const auto& z : one.Vertices) EXPECT_TRUE(z.x == 0 && z.y == 0 && z.z == 0);
}

TEST(Shapes, WallsAlwaysHaveTwentyByTwentyTwoSidedCells) {
  auto wall = CreateWall(kOpaqueWhite, 3.0f);
  auto floor = CreateFloor(kOpaqueWhite, 3.0f);
  ASSERT_EQ(wall->Composantes[0].Vertices.size(), 4800u);
  ASSERT_EQ(floor->Composantes[0].Vertices.size(), 4800u);
  const D3DVERTEX& w0 = wall->Composantes[0].Vertices[0];
  EXPECT_FLOAT_EQ(w0.x, -1.5f);
  EXPECT_FLOAT_EQ(w0.y, 3.0f * (1.0f / 20 - 0.5f));
  EXPECT_EQ(w0.nz, 2.0f);
  EXPECT_EQ(wall->Composantes[0].Vertices[3].nz, -2.0f);
  const D3DVERTEX& f0 = floor->Composantes[0].Vertices[0];
  EXPECT_EQ(f0.y, 0.0f);
  EXPECT_EQ(f0.z, w0.y);
  EXPECT_EQ(f0.ny, 2.0f);
  // Texture coordinates run 0..1 over the whole wall.
  const D3DVERTEX& last = wall->Composantes[0].Vertices.back();
  EXPECT_FLOAT_EQ(last.tu, 1.0f);
  EXPECT_EQ(wall->ShapeType, stPlanVertical);
  EXPECT_EQ(floor->ShapeType, stPlanHorizontal);
}

TEST(Shapes, CylinderConeAndDiscs) {
  auto cyl = CreateCylinder(20, kOpaqueWhite, 1, 0.5);
  ASSERT_EQ(cyl->ComposanteCount(), 3);
  const auto& side = cyl->Composantes[0].Vertices;
  ASSERT_EQ(side.size(), 84u);
  EXPECT_FLOAT_EQ(side[82].tu, 21.0f / 20);  // the last group repeats the first quad past 1
  EXPECT_EQ(side[0].z, 0.5f);
  EXPECT_EQ(side[1].z, -0.5f);
  EXPECT_EQ(cyl->Composantes[1].Vertices[0].z, 0.5f);
  EXPECT_EQ(cyl->Composantes[2].Vertices[0].nz, -1.0f);

  auto circle = CreateCircle(25, kOpaqueWhite, 0.5);
  const auto& down = circle->Composantes[0].Vertices;
  const auto& up = circle->Composantes[1].Vertices;
  ASSERT_EQ(down.size(), 27u);
  EXPECT_EQ(down[3].nz, -1.0f);
  EXPECT_EQ(up[3].nz, 1.0f);
  EXPECT_EQ(down[3].y, -up[3].y);  // facing -z runs the rim the other way
  EXPECT_EQ(down[3].z, 0.0f);
  EXPECT_EQ(down[3].tv, up[3].tv);

  auto cone = CreateConeOrPyramid(20, kOpaqueWhite, 1, 0.5);
  auto pyramid = CreateConeOrPyramid(4, kOpaqueWhite, 1, 0.5);
  EXPECT_EQ(cone->ShapeType, stCone);
  EXPECT_EQ(pyramid->ShapeType, stPyramide);
  const auto& apex = pyramid->Composantes[1].Vertices;
  ASSERT_EQ(apex.size(), 6u);
  EXPECT_EQ(apex[0].z, 1.0f);
  EXPECT_EQ(apex[1].nz, 0.0f);  // rim normals stay horizontal
}

TEST(Shapes, TorusNormalsHaveTheTubeRadius) {
  const TComposante t = BuildTorus(20, 20, 0.25, 0.5);
  ASSERT_EQ(t.Vertices.size(), 2400u);
  for (size_t k = 0; k < t.Vertices.size(); k += 37) {
    const auto& v = t.Vertices[k];
    EXPECT_NEAR(std::sqrt(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz), 0.25, 1e-6);
  }
  EXPECT_FLOAT_EQ(t.Vertices[0].x, 0.75f);  // P(0, 0) on the outer equator
  EXPECT_FLOAT_EQ(t.Vertices[0].tv, 0.0f);
}

TEST(Shapes, LightSymbols) {
  const TComposante spot = BuildSpotSymbol(10, 2, 1);
  ASSERT_EQ(spot.Vertices.size(), 42u);
  EXPECT_EQ(spot.PrimitiveType, D3DPT_LINELIST);
  EXPECT_EQ(spot.Vertices[0].z, 2.0f);
  EXPECT_EQ(spot.Vertices[1].x, 1.0f);
  EXPECT_NEAR(spot.Vertices[40].x, 1.0f, 1e-6);  // rim 10 closes on rim 0
  const TComposante aim = BuildAimSymbol(10, 0.1, 0.1, 3);
  ASSERT_EQ(aim.Vertices.size(), 26u);
  EXPECT_EQ(aim.Vertices[22].z, -3.0f);
  EXPECT_EQ(aim.Vertices[23].x, -0.1f);
  EXPECT_EQ(aim.Vertices[25].x, 0.1f);
  TScene scene;
  auto l = CreateAimedLight({0, 0, 0}, {3, 4, 0}, kOpaqueWhite, &scene);
  EXPECT_EQ(l->LightType, ltAimed);
  EXPECT_EQ(l->Symbol.Vertices[22].z, -5.0f);
}

TEST(Shapes, BadCountsGiveEmptyOrClampedComponents) {
  for (int n : {0, -1, -1000000}) {
    EXPECT_TRUE(BuildDisc(0, n, 1, 0).Vertices.empty());
    EXPECT_TRUE(BuildConeSide(n, 1, 1).Vertices.empty());
    EXPECT_TRUE(BuildCylinderSide(n, 1, 1).Vertices.empty());
    EXPECT_TRUE(BuildSphere(n, 5, 1).Vertices.empty());
    EXPECT_TRUE(BuildTorus(5, n, 1, 1).Vertices.empty());
    EXPECT_TRUE(BuildWall(n, 20, 1).Vertices.empty());
    EXPECT_TRUE(BuildSpotSymbol(n, 1, 1).Vertices.empty());
  }
  EXPECT_EQ(BuildSphere(1 << 30, 1 << 30, 1).Vertices.size(), 6u * kMaxPrecision * kMaxPrecision);
  EXPECT_EQ(BuildDisc(0, 1000, 1, 0).Vertices.size(), size_t(kMaxPrecision + 2));
  auto cyl = CreateCylinder(5000, kOpaqueWhite, 1, 1);
  EXPECT_EQ(cyl->GetParam(3), float(kMaxPrecision));
  auto huge = CreateSphere(21, 42, kOpaqueWhite, 4.2e7);
  EXPECT_TRUE(AllFinite(huge->Composantes));
}

TEST(Shapes, RebuildingFromParamsMatchesTheCreateFunctions) {
  for (const auto& d : InsertDefaults) {
    auto s = d.Create();
    TArrayOfComposante rebuilt;
    ASSERT_TRUE(BuildPrimitiveComposantes(s->ShapeType, *s, rebuilt)) << d.Keyword;
    ASSERT_EQ(rebuilt.size(), s->Composantes.size()) << d.Keyword;
    for (size_t c = 0; c < rebuilt.size(); ++c) {
      ASSERT_EQ(rebuilt[c].Vertices.size(), s->Composantes[c].Vertices.size()) << d.Keyword;
      EXPECT_EQ(0, std::memcmp(rebuilt[c].Vertices.data(), s->Composantes[c].Vertices.data(),
                               rebuilt[c].Vertices.size() * sizeof(D3DVERTEX)))
          << d.Keyword;
    }
  }
  TSolidObject user;
  TArrayOfComposante none;
  EXPECT_FALSE(BuildPrimitiveComposantes(stUser, user, none));
  TSolidObject nan;
  nan.SetParam(1, 1);
  nan.SetParam(3, std::nanf(""));
  ASSERT_TRUE(BuildPrimitiveComposantes(stCylindre, nan, none));
  EXPECT_TRUE(none[0].Vertices.empty());
}

TEST(Shapes, InsertDefaultsAreTheMainWindowsInserts) {
  const char* expected[][2] = {{"cube", "Cube"},     {"cubeperce", "Cube Perce"}, {"cylindre", "Cylindre"},
                               {"cone", "Cône"},     {"pyramide", "Pyramide"},    {"tore", "Tore"},
                               {"sphere", "Sphere"}, {"cercle", "Cercle"},        {"paroiv", "ParoiV"},
                               {"paroih", "ParoiH"}};
  for (size_t k = 0; k < InsertDefaults.size(); ++k) {
    EXPECT_STREQ(InsertDefaults[k].Keyword, expected[k][0]);
    EXPECT_STREQ(InsertDefaults[k].Prefix, expected[k][1]);
    auto s = InsertDefaults[k].Create();
    EXPECT_EQ(s->Color, kOpaqueWhite);
    EXPECT_EQ(s->Specular, 1.5f);
    EXPECT_TRUE(s->Afficher);
  }
  EXPECT_EQ(FindInsertDefault("tore")->Create()->GetParam(1), 0.5f);
  EXPECT_EQ(FindInsertDefault("nope"), nullptr);
  EXPECT_STREQ(ShapeTypeNames[stSphere], "Sphère");
  EXPECT_STREQ(ShapeTypeNames[stParamUser], "ParamUser");
}
