// Shared points, the random generator, noise, torsion and coincident-vertex moves.
#include "tools/Deformations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <set>
#include <tuple>

#include "scene/Shapes.h"

using namespace ixoral;

namespace {

std::set<std::tuple<float, float, float>> DistinctPositions(const TSolidObject& s) {
  std::set<std::tuple<float, float, float>> out;
  for (const auto& c : s.Composantes)
    for (const auto& v : c.Vertices) out.insert({v.x, v.y, v.z});
  return out;
}

TSharedPointList OnePoint(const Vec3d& p) { return {{p, p, {}}}; }

}  // namespace

TEST(RandomGenerator, LinearCongruentialSteps) {
  RandomState = 0;
  EXPECT_EQ(RandomReal(), 1.0 / 4294967296.0);  // state 1
  EXPECT_EQ(RandomState, 1u);
  RandomReal();
  EXPECT_EQ(RandomState, 134775814u);
  RandomState = 0xFFFFFFFFu;
  RandomReal();
  EXPECT_EQ(RandomState, static_cast<uint32_t>(0xFFFFFFFFull * 134775813ull + 1));
  RandomState = 41;
  const uint32_t next = 41u * 134775813u + 1u;
  EXPECT_EQ(RandomInt(0x7FFFFFFF), static_cast<uint32_t>((0x7FFFFFFFull * next) >> 32));
  RandomizeFromClock();
  EXPECT_LT(RandomState, 86400000u);
}

TEST(SharedPoints, ACubeHasEightCornersInFirstMetOrder) {
  auto cube = CreateCube(kOpaqueWhite, 1);
  const TSharedPointList list = BuildSharedPoints(*cube);
  ASSERT_EQ(list.size(), 8u);
  EXPECT_EQ(list[0].Initial, Vec3d(-0.5, -0.5, 0.5));  // vertex 0
  EXPECT_EQ(list[1].Initial, Vec3d(0.5, -0.5, 0.5));   // vertex 1
  size_t uses = 0;
  for (const auto& e : list) uses += e.Uses.size();
  EXPECT_EQ(uses, 36u);
  TScene scene;
  EXPECT_TRUE(BuildSharedPoints(scene, 3).empty());
}

TEST(SharedPoints, NearbyPositionsJoinTheFirstElementWithinTolerance) {
  TSolidObject s;
  TComposante c;
  auto vert = [](float x) {
    D3DVERTEX v{};
    v.x = x;
    return v;
  };
  // 1.0 and 1.0000005 are within 1e-6; 1.0000012 is not within 1e-6 of 1.0 but is of 1.0000005...
  // ...yet it only joins an element whose Initial is within 1e-6, and Initial stays 1.0.
  c.Vertices = {vert(1.0f), vert(1.0000005f), vert(1.0000012f), vert(-3.0f)};
  s.Composantes = {c};
  const TSharedPointList list = BuildSharedPoints(s);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Uses.size(), 2u);
  EXPECT_EQ(list[1].Initial.x, double(1.0000012f));
}

TEST(Noise, SameSeedSameOffsetsAndSeamsStayClosed) {
  auto a = CreateSphere(21, 42, kOpaqueWhite, 0.5);
  auto b = CreateSphere(21, 42, kOpaqueWhite, 0.5);
  const size_t shared = BuildSharedPoints(*a).size();
  a->SetNoise(12345, true, 0.1, -0.1);
  b->SetNoise(12345, true, 0.1, -0.1);
  RandomState = 999;  // whatever the generator held before
  ReapplyNoise(*a);
  RandomState = 7;
  ReapplyNoise(*b);
  EXPECT_EQ(0, std::memcmp(a->Composantes[0].Vertices.data(), b->Composantes[0].Vertices.data(),
                           a->Composantes[0].Vertices.size() * sizeof(D3DVERTEX)));
  // Vertices within 1e-6 of each other (the seam at longitude 0 and 2 pi) now coincide exactly:
  // no seam opened, no point split.
  EXPECT_EQ(DistinctPositions(*a).size(), shared);
  EXPECT_TRUE(a->Bruit);
  EXPECT_EQ(a->NoiseParams->Seed, 12345);
}

TEST(Noise, DrawsXYZPerElementInListOrder) {
  TSharedPointList list = {{{0, 0, 0}, {}, {}}, {{1, 1, 1}, {}, {}}};
  RandomState = 5;
  ApplyNoise(list, true, 0, 1);
  RandomState = 5;
  const double r[6] = {RandomReal(), RandomReal(), RandomReal(), RandomReal(), RandomReal(), RandomReal()};
  EXPECT_EQ(list[0].Moved, Vec3d(r[0], r[1], r[2]));
  EXPECT_EQ(list[1].Moved, Vec3d(1 + r[3], 1 + r[4], 1 + r[5]));
}

TEST(Noise, EqualBoundsAndSubtraction) {
  TSharedPointList add = OnePoint({1, 2, 3}), sub = OnePoint({1, 2, 3});
  ApplyNoise(add, true, 0.25, 0.25);
  ApplyNoise(sub, false, 0.25, 0.25);
  EXPECT_EQ(add[0].Moved, Vec3d(1.25, 2.25, 3.25));
  EXPECT_EQ(sub[0].Moved, Vec3d(0.75, 1.75, 2.75));
  // Subtraction with the same seed mirrors addition about the undeformed position.
  TSharedPointList a2 = OnePoint({0, 0, 0}), s2 = OnePoint({0, 0, 0});
  RandomState = 77;
  ApplyNoise(a2, true, -0.5, 0.2);
  RandomState = 77;
  ApplyNoise(s2, false, -0.5, 0.2);
  EXPECT_EQ(a2[0].Moved.x, -s2[0].Moved.x);
  // min above max is allowed.
  TSharedPointList rev = OnePoint({0, 0, 0});
  ApplyNoise(rev, true, 1, 0);
  EXPECT_GE(rev[0].Moved.x, 0.0);
  EXPECT_LE(rev[0].Moved.x, 1.0);
}

TEST(Torsion, TurnsInProportionToTheDistanceAlongTheAxis) {
  const Vec3d f{0, -0.5, 0}, r{0, 0.5, 0};
  TSharedPointList list = {{{0.5, -0.5, 0}, {}, {}},
                           {{0.5, 0.5, 0}, {}, {}},
                           {{0.5, 0, 0}, {}, {}},
                           {{0.5, 1.5, 0}, {}, {}},
                           {{0.5, -1.5, 0}, {}, {}}};
  ApplyTorsion(list, f, r, std::numbers::pi / 2);
  auto angleOf = [](const Vec3d& p) { return std::atan2(p.z, p.x); };
  EXPECT_NEAR(list[0].Moved.x, 0.5, 1e-7);
  EXPECT_NEAR(list[0].Moved.z, 0.0, 1e-7);
  EXPECT_NEAR(std::fabs(angleOf(list[1].Moved)), std::numbers::pi / 2, 1e-6);
  EXPECT_NEAR(std::fabs(angleOf(list[2].Moved)), std::numbers::pi / 4, 1e-6);
  // Distance from the axis and height are kept.
  for (const auto& e : list) {
    EXPECT_NEAR(std::hypot(e.Moved.x, e.Moved.z), 0.5, 1e-6);
    EXPECT_NEAR(e.Moved.y, e.Initial.y, 1e-6);
  }
  // Two units along the axis: twice the angle; one unit behind F: the angle the other way.
  EXPECT_NEAR(std::fabs(angleOf(list[3].Moved)), std::numbers::pi, 1e-5);
  EXPECT_NEAR(angleOf(list[4].Moved), -angleOf(list[1].Moved), 1e-6);
}

TEST(Torsion, AxisAlongXGivesTheSameTwistAboutItsAxis) {
  TSharedPointList yAxis = OnePoint({0.5, 0.5, 0}), xAxis = OnePoint({0.5, 0, 0.5});
  ApplyTorsion(yAxis, {0, -0.5, 0}, {0, 0.5, 0}, 0.7);
  ApplyTorsion(xAxis, {-0.5, 0, 0}, {0.5, 0, 0}, 0.7);
  // Both points turned by 0.7 about their axis.
  EXPECT_NEAR(std::hypot(xAxis[0].Moved.y, xAxis[0].Moved.z), 0.5, 1e-6);
  EXPECT_NEAR(std::fabs(std::atan2(xAxis[0].Moved.y, xAxis[0].Moved.z)), 0.7, 1e-6);
  EXPECT_NEAR(std::fabs(std::atan2(yAxis[0].Moved.z, yAxis[0].Moved.x)), 0.7, 1e-6);
}

TEST(Torsion, NoAxisOrNoAngleMovesNothing) {
  TSharedPointList list = OnePoint({0.3, 0.2, 0.1});
  ApplyTorsion(list, {1, 1, 1}, {1, 1, 1 + 5e-7}, 3);
  EXPECT_EQ(list[0].Moved, list[0].Initial);
  ApplyTorsion(list, {0, 0, 0}, {0, 1, 0}, 0);
  EXPECT_NEAR(list[0].Moved.x, 0.3, 1e-7);
  auto cube = CreateCube(kOpaqueWhite, 1);
  cube->SetTorsion({0, 0, 0}, {0, 0, 0}, 2);
  ReapplyTorsion(*cube);
  EXPECT_EQ(cube->Composantes[0].Vertices[0].x, -0.5f);
  EXPECT_TRUE(cube->Torsion);
}

TEST(HandEdits, MovingACornerMovesEveryVertexThere) {
  auto cube = CreateCube(kOpaqueWhite, 1);
  // The corner (+, +, +) appears once in the front and top faces and twice in the right face.
  EXPECT_EQ(MoveCoincidentVertices(*cube, {0.5, 0.5, 0.5}, {1, 1, 1}), 4);
  EXPECT_EQ(DistinctPositions(*cube).size(), 8u);
  EXPECT_EQ(DistinctPositions(*cube).count({0.5f, 0.5f, 0.5f}), 0u);
  // Moving onto another corner merges them: later moves take both.
  const int other = MoveCoincidentVertices(*cube, {-0.5, 0.5, 0.5}, {-0.5, 0.5, 0.5});
  MoveCoincidentVertices(*cube, {1, 1, 1}, {-0.5, 0.5, 0.5});
  EXPECT_EQ(MoveCoincidentVertices(*cube, {-0.5, 0.5, 0.5}, {0, 2, 0}), 4 + other);
  EXPECT_EQ(DistinctPositions(*cube).size(), 7u);
}

TEST(HandEdits, StoredEditMovesAndMapsTheVertex) {
  auto cube = CreateCube(kOpaqueWhite, 1);
  ASSERT_TRUE(ApplyStoredHandEdit(*cube, 0, {0, 5}, {0.7, 0.7, 0.7}, 0.1f, 0.9f));
  const D3DVERTEX& v = cube->Composantes[0].Vertices[5];
  EXPECT_EQ(v.x, 0.7f);
  EXPECT_EQ(v.tu, 0.1f);
  EXPECT_EQ(v.tv, 0.9f);
  EXPECT_EQ(cube->ModifiedVertices.size(), 1u);
  EXPECT_FALSE(ApplyStoredHandEdit(*cube, 1, {0, 36}, {0, 0, 0}, 0, 0));
  EXPECT_FALSE(ApplyStoredHandEdit(*cube, 1, {3, 0}, {0, 0, 0}, 0, 0));
  EXPECT_FALSE(ApplyStoredHandEdit(*cube, 1, {-1, -1}, {0, 0, 0}, 0, 0));
  EXPECT_EQ(cube->ModifiedVertices.size(), 1u);
}

TEST(CopyObjectState, CopiesEverythingButTheColour) {
  TScene main, preview;
  main.AddObject(CreateCube(kOpaqueWhite, 1), "Cube1");
  TScene::CopyAllObjects(preview, main);
  preview.SolidAt(0)->SetColor(0xFF808000);
  TSolidObject* src = preview.SolidAt(0);
  src->SetNoise(3, false, 0.1, 0.0);
  src->SetPosition({0, 4, 0});
  src->Composantes[0].Vertices[0].x = 9;
  CopyObjectState(main, 0, preview);
  const TSolidObject* d = main.SolidAt(0);
  EXPECT_EQ(d->Composantes[0].Vertices[0].x, 9.0f);
  EXPECT_EQ(d->Position, Vec3d(0, 4, 0));
  EXPECT_TRUE(d->Bruit);
  EXPECT_EQ(d->Color, kOpaqueWhite);
  EXPECT_EQ(d->Name(), "Cube1");
}

// The index moves exactly the vertices the scan of the whole mesh moves, edit after edit: points
// gathered together, points nudged by less than the coincidence distance across cell borders,
// points sent far away and brought back.
TEST(CoincidentVertexIndex, MovesWhatTheWholeMeshScanMoves) {
  auto indexed = CreateSphere(12, 9, 0xFFFFFFFF, 0.5);
  auto scanned = CreateSphere(12, 9, 0xFFFFFFFF, 0.5);
  TCoincidentVertexIndex index(*indexed);
  uint32_t seed = 7;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  const auto& verts = scanned->Composantes[0].Vertices;
  for (int k = 0; k < 2000; ++k) {
    const D3DVERTEX& v = verts[next(static_cast<uint32_t>(verts.size()))];
    const Vec3d from{v.x, v.y, v.z};
    Vec3d to;
    switch (next(4)) {
      case 0:
        to = {0.25, 0, 0};
        break;  // gather
      case 1:
        to = {from.x + 9e-7, from.y - 9e-7, from.z + 4e-7};
        break;  // nudge
      case 2:
        to = {1e12, -3e11, 0};
        break;  // far out
      default:
        to = {next(100) * 1e-5, next(3) * 1e-6, 0.5};
        break;  // near cell borders
    }
    ASSERT_EQ(index.Move(from, to), MoveCoincidentVertices(*scanned, from, to)) << k;
  }
  const auto& a = indexed->Composantes[0].Vertices;
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].x, verts[i].x) << i;
    ASSERT_EQ(a[i].y, verts[i].y) << i;
    ASSERT_EQ(a[i].z, verts[i].z) << i;
  }
}
