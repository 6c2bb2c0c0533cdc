// Parametric curves: the built-in formulas, the adaptive sampling, the tube pieces and user curves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "scene/Curves.h"
#include "scene/Regenerate.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"

namespace ixoral {
namespace {

bool AllFinite(const TSolidObject& s) {
  for (const auto& c : s.Composantes)
    for (const auto& v : c.Vertices)
      for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv})
        if (!std::isfinite(f)) return false;
  return true;
}

double Length(float x, float y, float z) { return std::sqrt(double(x) * x + double(y) * y + double(z) * z); }

TEST(CurvesTest, BuiltinFormulas) {
  const double th = 2 * std::numbers::pi * 0.2;
  const Vec3d p = CurvePoint(3, 5, 0.2);
  EXPECT_DOUBLE_EQ(p.x, 0.5 * std::sin(th + 0.1));
  EXPECT_DOUBLE_EQ(p.y, 0.5 * std::sin(3 * th + 0.5));
  EXPECT_DOUBLE_EQ(p.z, 0.5 * std::sin(4 * th + 0.8));
  const Vec3d spring = CurvePoint(0, 2, 0.75);
  EXPECT_NEAR(spring.x, 0.5 * std::cos(2 * std::numbers::pi * 1.5), 1e-15);
  EXPECT_DOUBLE_EQ(spring.y, 0.5 * 2 * 0.25);
  const Vec3d wave = CurvePoint(5, 3, 0.1);
  EXPECT_DOUBLE_EQ(wave.z, 0.5 * std::cos(3 * 2 * std::numbers::pi * 0.1) / 3);
  // Only the low 7 bits choose the formula; outside 0..5 the origin.
  EXPECT_EQ(CurvePoint(128 + 3, 5, 0.2), p);
  EXPECT_EQ(CurvePoint(6, 5, 0.2), Vec3d());
  EXPECT_EQ(CurvePoint(-1, 5, 0.2), Vec3d());
  // The wavy torus with no wave is a flat ring, not a division by zero.
  EXPECT_EQ(CurvePoint(5, 0, 0.3).z, 0.0);
}

TEST(CurvesTest, DefaultCurveHasSixtyNineSegmentsAndTwoCaps) {
  const auto s = CreateDefaultCurve();
  ASSERT_EQ(s->ComposanteCount(), 71);
  for (int i = 0; i < 69; ++i) {
    EXPECT_EQ(s->Composantes[i].PrimitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(s->Composantes[i].Vertices.size(), 44u);
  }
  for (int i = 69; i < 71; ++i) {
    EXPECT_EQ(s->Composantes[i].PrimitiveType, D3DPT_TRIANGLEFAN);
    EXPECT_EQ(s->Composantes[i].Vertices.size(), 12u);
  }
  // tv carries the start of each segment along the curve.
  EXPECT_FLOAT_EQ(s->Composantes[0].Vertices[0].tv, 0.0f);
  EXPECT_FLOAT_EQ(s->Composantes[1].Vertices[0].tv, 0.019f);
  EXPECT_FLOAT_EQ(s->Composantes[2].Vertices[0].tv, 0.027f);
  EXPECT_FLOAT_EQ(s->Composantes[68].Vertices[0].tv, 0.9325f);
  EXPECT_EQ(s->ShapeType, stParam);
  EXPECT_FLOAT_EQ(s->GetParam(1), 0.1f);
  EXPECT_FLOAT_EQ(s->GetParam(2), 0.3f);
  EXPECT_EQ(s->GetParam(3), 10);
  EXPECT_EQ(s->GetParam(4), 3);
  EXPECT_EQ(s->GetParam(5), 5);
  EXPECT_FLOAT_EQ(s->Specular, 1.5f);
  EXPECT_TRUE(s->Afficher);
  EXPECT_EQ(s->Color, kOpaqueWhite);
}

TEST(CurvesTest, TubeSegmentRingsAndTextureSeam) {
  // A straight piece along z: both rings coincide in angle, no twist.
  const TComposante c = BuildTubeSegment({0, 0, 0}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, 0.5, 4);
  ASSERT_EQ(c.Vertices.size(), 20u);
  EXPECT_EQ(c.PrimitiveType, D3DPT_TRIANGLESTRIP);
  // d along z: the reference falls back to d × y = (-1, 0, 0).
  EXPECT_FLOAT_EQ(c.Vertices[0].x, -0.5f);
  EXPECT_FLOAT_EQ(c.Vertices[0].z, 0.0f);
  EXPECT_FLOAT_EQ(c.Vertices[1].x, -0.5f);
  EXPECT_FLOAT_EQ(c.Vertices[1].z, 1.0f);
  for (const auto& v : c.Vertices) {
    EXPECT_NEAR(Length(v.nx, v.ny, v.nz), 1.0, 1e-6);
    EXPECT_NEAR(Length(v.x, v.y, 0), 0.5, 1e-6);
    EXPECT_EQ(v.tv, 0.0f);
  }
  EXPECT_FLOAT_EQ(c.Vertices[8].tu, 0.5f);   // k = 2 of 4
  EXPECT_FLOAT_EQ(c.Vertices[16].tu, 1.0f);  // k = n closes the ring

  // The end ring turned by a quarter turn about the axis is matched back by one step.
  const TComposante t = BuildTubeSegment({0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, 1, 4);
  for (size_t i = 0; i < t.Vertices.size(); i += 4) {
    EXPECT_NEAR(t.Vertices[i].y, t.Vertices[i + 1].y, 1e-6);
    EXPECT_NEAR(t.Vertices[i].z, t.Vertices[i + 1].z, 1e-6);
  }
}

TEST(CurvesTest, TwistOffsetGivesSignedTextureCoordinates) {
  // Start along x (reference (0, -1, 0)), end along z (reference (-1, 0, 0)): three quarter
  // steps turn the end reference onto the start one, so offset = -3 and tu = (k - 3) mod 5 / 4.
  const TComposante c = BuildTubeSegment({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, 0, 1}, 1, 4);
  ASSERT_EQ(c.Vertices.size(), 20u);
  const float expected[5] = {-0.75f, -0.5f, -0.25f, 0.0f, 0.25f};
  for (int k = 0; k < 5; ++k)
    for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(c.Vertices[4 * k + j].tu, expected[k]) << k;
  EXPECT_NEAR(c.Vertices[0].y, -1.0, 1e-6);  // start ring at its reference
  EXPECT_NEAR(c.Vertices[1].x, 0.0, 1e-6);   // end ring matched to the same side
  EXPECT_NEAR(c.Vertices[1].y, -1.0, 1e-6);
  EXPECT_NEAR(c.Vertices[1].z, 1.0, 1e-6);
}

TEST(CurvesTest, CapFacesAwayFromItsDirection) {
  const TComposante c = BuildTubeCap({1, 2, 3}, {0, 0, 2}, 0.5, 6);
  ASSERT_EQ(c.Vertices.size(), 8u);
  EXPECT_EQ(c.PrimitiveType, D3DPT_TRIANGLEFAN);
  EXPECT_EQ(c.Vertices[0].x, 1.0f);
  EXPECT_EQ(c.Vertices[0].tu, 0.5f);
  EXPECT_EQ(c.Vertices[0].tv, 0.5f);
  for (const auto& v : c.Vertices) {
    EXPECT_EQ(v.nz, -1.0f);
    EXPECT_FLOAT_EQ(v.z, 3.0f);
  }
  for (size_t i = 1; i < c.Vertices.size(); ++i)
    EXPECT_NEAR(Length(c.Vertices[i].x - 1.0f, c.Vertices[i].y - 2.0f, 0), 0.5, 1e-6);
  EXPECT_FLOAT_EQ(c.Vertices[1].tu, 1.0f);
  EXPECT_NEAR(c.Vertices[7].x, c.Vertices[1].x, 1e-6);  // the rim closes on itself
}

TEST(CurvesTest, StraightCurveIsClosingSegmentAndCaps) {
  const auto s = CreateUserCurve(10, "t", "2*t", 0xFF00FF00, 1, 0, "0", 0.3, 0.1);
  ASSERT_EQ(s->ComposanteCount(), 3);
  EXPECT_EQ(s->Composantes[0].Vertices.size(), 44u);
  EXPECT_EQ(s->Composantes[0].Vertices[0].tv, 0.0f);
  EXPECT_EQ(s->ShapeType, stParamUser);
  EXPECT_EQ(s->GetTextParam(2), "2*t");
  EXPECT_EQ(s->GetParam(4), 0.0f);
  EXPECT_EQ(s->GetParam(5), 1.0f);
  // The end cap sits at P(1) = (1, 2, 0) and faces along the curve.
  const auto& cap = s->Composantes[2].Vertices;
  EXPECT_FLOAT_EQ(cap[0].x, 1.0f);
  EXPECT_FLOAT_EQ(cap[0].y, 2.0f);
  EXPECT_GT(cap[0].nx * 1 + cap[0].ny * 2, 0.0f);
}

TEST(CurvesTest, UserCurveNormalisesItsTexts) {
  const auto s = CreateUserCurve(11, "0.5 * COS(t)", "T", 0, 6.28, 0, "Sin ( t )", 0.3, 0.1);
  EXPECT_EQ(s->GetTextParam(1), "0,5*cos(t)");
  EXPECT_EQ(s->GetTextParam(2), "t");
  EXPECT_EQ(s->GetTextParam(3), "sin(t)");
  EXPECT_EQ(s->GetParam(3), 10.0f);  // n = 11 builds 10 sides
  EXPECT_EQ(s->Composantes[0].Vertices.size(), 44u);
}

TEST(CurvesTest, CalculationErrorPutsEveryLaterPointAtTheOrigin) {
  // 1/(t-t) fails everywhere: every point is the origin.
  const auto all = CreateUserCurve(4, "1/(t-t)", "t", 0, 1, 0, "t", 0.3, 0.1);
  ASSERT_TRUE(AllFinite(*all));
  for (const auto& c : all->Composantes)
    for (const auto& v : c.Vertices) EXPECT_NEAR(Length(v.x, v.y, v.z), 0.0, 1e-6);

  // sqr(0.5-t) fails past t = 0.5; the error sticks, so the caps made after the sampling (the
  // start cap included) are at the origin although P(0) itself is valid.
  const auto half = CreateUserCurve(4, "sqr(0.5-t)", "t", 0, 1, 0, "0", 0.3, 0.1);
  ASSERT_TRUE(AllFinite(*half));
  const int n = half->ComposanteCount();
  ASSERT_GE(n, 3);
  EXPECT_EQ(half->Composantes[n - 2].Vertices[0].x, 0.0f);
  EXPECT_EQ(half->Composantes[n - 2].Vertices[0].y, 0.0f);
  EXPECT_EQ(half->Composantes[n - 1].Vertices[0].y, 0.0f);
  // Segments made before the failure keep their true points.
  EXPECT_NEAR(half->Composantes[0].Vertices[0].x, std::sqrt(0.5) + 0.0, 0.11);
}

TEST(CurvesTest, AbsurdParametersStayBoundedAndFinite) {
  // Tightest angle with the most turns: close to 300 pieces.
  const auto spring = CreateBuiltinCurve(15, 0, 0, 10, 0.2, 0.1);
  EXPECT_GT(spring->ComposanteCount(), 250);
  EXPECT_LE(spring->ComposanteCount(), kMaxCurveComponents);
  EXPECT_EQ(spring->GetParam(3), 14.0f);

  // A negative angle splits at every step: far more than 300 pieces, within the bound.
  const auto every = CreateBuiltinCurve(2, 3, 0, 5, -1, 0.1);
  EXPECT_LE(every->ComposanteCount(), kMaxCurveComponents);
  EXPECT_GT(every->ComposanteCount(), 1900);

  for (int n : {0, 1, -7}) {
    const auto s = CreateBuiltinCurve(n, 3, 0, 5, 0.3, 0.1);
    EXPECT_LE(s->ComposanteCount(), kMaxCurveComponents);
    EXPECT_EQ(s->VertexCount(), 0u);
    EXPECT_EQ(s->GetParam(3), 0.0f);
  }
  const auto huge = CreateBuiltinCurve(1000000, 3, 0, 5, 0.3, 4.2e7);
  EXPECT_EQ(huge->GetParam(3), float(kMaxCurveSides));
  EXPECT_TRUE(AllFinite(*huge));
  for (double t : {0.0, 1e-40, 1e30, std::nan("")}) {
    for (int which = 0; which < 6; ++which) {
      const auto s = CreateBuiltinCurve(4, which, 0, t, 0.3, 0.1);
      EXPECT_TRUE(AllFinite(*s)) << which << " " << t;
    }
  }
  // Constant equations, huge values and bounds that are not numbers.
  EXPECT_TRUE(AllFinite(*CreateUserCurve(6, "1", "1", 0, 1, 0, "1", 0.3, 0.1)));
  EXPECT_EQ(CreateUserCurve(6, "1", "1", 0, 1, 0, "1", 0.3, 0.1)->ComposanteCount(), 3);
  EXPECT_TRUE(AllFinite(*CreateUserCurve(6, "10^300*t", "t", 0, 1, 0, "cosh(700)", 0.3, 4.2e7)));
  EXPECT_TRUE(AllFinite(*CreateUserCurve(6, "t", "t", 0, std::nan(""), 0, "t", 0.3, 0.1)));
  EXPECT_TRUE(AllFinite(*CreateUserCurve(6, "t", "t", 0, 1, 0, "t", 0.3, std::nan(""))));
}

TEST(CurvesTest, RebuildFromStoredParametersGivesTheSameMesh) {
  // Values a single holds exactly, so the stored parameters are the ones used.
  const auto builtin = CreateBuiltinCurve(8, 1, 0, 3, 0.375, 0.25);
  TArrayOfComposante rebuilt;
  ASSERT_TRUE(BuildCurveComposantes(stParam, *builtin, rebuilt));
  ASSERT_EQ(rebuilt.size(), builtin->Composantes.size());
  for (size_t i = 0; i < rebuilt.size(); ++i)
    ASSERT_EQ(0, std::memcmp(rebuilt[i].Vertices.data(), builtin->Composantes[i].Vertices.data(),
                             rebuilt[i].Vertices.size() * sizeof(D3DVERTEX)));

  const auto user = CreateUserCurve(6, "cos(t)", "sin(t)", 0, 6.25, 0, "t/5", 0.375, 0.125);
  ASSERT_TRUE(BuildCurveComposantes(stParamUser, *user, rebuilt));
  ASSERT_EQ(rebuilt.size(), user->Composantes.size());
  for (size_t i = 0; i < rebuilt.size(); ++i)
    ASSERT_EQ(0, std::memcmp(rebuilt[i].Vertices.data(), user->Composantes[i].Vertices.data(),
                             rebuilt[i].Vertices.size() * sizeof(D3DVERTEX)));
  EXPECT_FALSE(BuildCurveComposantes(stCube, *user, rebuilt));
}

TEST(CurvesTest, RegenerateDispatchesEveryGeneratedShape) {
  TArrayOfComposante out;
  const auto curve = CreateDefaultCurve();
  ASSERT_TRUE(RegenerateComposantes(stParam, *curve, out));
  EXPECT_EQ(out.size(), 71u);
  TTTFToVectorConverter conv;
  const auto text = CreateText3D("Hi", conv, 0, false, 0, 100, 0.25, 1000, 1.0);
  ASSERT_TRUE(RegenerateComposantes(stTexte3d, *text, out));
  EXPECT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].Vertices.size(), text->Composantes[1].Vertices.size());
  const auto cube = CreateCube(0, 1);
  ASSERT_TRUE(RegenerateComposantes(stCube, *cube, out));
  EXPECT_EQ(out.size(), 1u);
  EXPECT_FALSE(RegenerateComposantes(stUser, *cube, out));
}

}  // namespace
}  // namespace ixoral
