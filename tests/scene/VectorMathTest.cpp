// Vector and matrix operations in the row-vector convention.
#include "scene/VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

using namespace ixoral;

namespace {
void ExpectVector(const D3DVECTOR& v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}
void ExpectVec(const Vec3d& v, double x, double y, double z, double tol = 1e-6) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}
D3DMATRIX Sample() {
  D3DMATRIX m = RotationAboutAxis({1, 2, 3}, 0.7);
  m = Multiply(WithScale(Identity(), {2, 0.5, 3}), m);
  return WithTranslation(m, {4, -5, 6});
}
}  // namespace

TEST(VectorMath, PerpendicularUpFallsBackToTheXAxis) {
  ExpectVector(PerpendicularUp({0, 0, 1}), -1, 0, 0);
  ExpectVector(PerpendicularUp({0, 1, 0}), 0, 0, -1);
  ExpectVector(PerpendicularUp({0, 2, 0}), 0, 0, -2);  // not normalised
}

TEST(VectorMath, OrientationOfTheDefaultAxesIsTheIdentity) {
  EXPECT_TRUE(IsIdentity(Orientation({0, 0, 1}, {0, 1, 0})));
  const D3DMATRIX l = LightOrientation({0, 0, 1}, {0, 1, 0});
  EXPECT_EQ(l._11, -1.0f);
  EXPECT_EQ(l._33, -1.0f);
  EXPECT_EQ(l._44, 1.0f);
  // Zero vectors give a degenerate but finite matrix.
  const D3DMATRIX z = Orientation({0, 0, 0}, {0, 0, 0});
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(std::isfinite(z.m[i][j]));
}

TEST(VectorMath, RotationAboutZSendsXToMinusY) {
  const D3DMATRIX r = RotationAboutAxis({0, 0, 1}, std::numbers::pi / 2);
  ExpectVec(ApplyMatrix({1, 0, 0}, r), 0, -1, 0);
  // The axis need not be unit length.
  const D3DMATRIX r2 = RotationAboutAxis({0, 0, 7}, std::numbers::pi / 2);
  ExpectVec(ApplyMatrix({1, 0, 0}, r2), 0, -1, 0);
}

TEST(VectorMath, MultiplyAppliesTheLeftMatrixFirst) {
  const D3DMATRIX b = Sample();
  const D3DMATRIX same = Multiply(Identity(), b);
  EXPECT_EQ(std::memcmp(&same, &b, sizeof b), 0);
  const D3DMATRIX same2 = Multiply(b, Identity());
  EXPECT_EQ(std::memcmp(&same2, &b, sizeof b), 0);

  const D3DMATRIX scale = WithScale(Identity(), {2, 2, 2});
  const D3DMATRIX move = WithTranslation(Identity(), {1, 0, 0});
  ExpectVec(ApplyMatrix({1, 1, 1}, Multiply(scale, move)), 3, 2, 2);  // scale, then move
  ExpectVec(ApplyMatrix({1, 1, 1}, Multiply(move, scale)), 4, 2, 2);  // move, then scale
  // Shortcuts agree with the general product.
  const D3DMATRIX m = Sample();
  const D3DMATRIX st = ScaleTimes(scale, m), full = Multiply(scale, m);
  const D3DMATRIX tt = TimesTranslation(m, move), full2 = Multiply(m, move);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      EXPECT_NEAR(st.m[i][j], full.m[i][j], 1e-6);
      EXPECT_NEAR(tt.m[i][j], full2.m[i][j], 1e-6);
    }
}

TEST(VectorMath, DecomposeGivesAUniformScale) {
  const D3DMATRIX m = WithTranslation(WithScale(Identity(), {2, 3, 4}), {1, 2, 3});
  const TDecomposition d = Decompose(m);
  EXPECT_EQ(d.Scaling._11, 2.0f);
  EXPECT_EQ(d.Scaling._22, 2.0f);
  EXPECT_EQ(d.Scaling._33, 2.0f);
  EXPECT_EQ(d.Translation._41, 1.0f);
  EXPECT_EQ(d.Translation._43, 3.0f);
  EXPECT_FLOAT_EQ(d.Rotation._11, 1.0f);
  EXPECT_FLOAT_EQ(d.Rotation._22, 1.5f);
  EXPECT_FLOAT_EQ(d.Rotation._33, 2.0f);
  // A rotation times a uniform scale comes apart again.
  const D3DMATRIX r = RotationAboutAxis({1, 1, 0}, 0.4);
  const TDecomposition d2 = Decompose(Multiply(WithScale(Identity(), {3, 3, 3}), r));
  EXPECT_NEAR(d2.Scaling._11, 3.0f, 1e-5);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(d2.Rotation.m[i][j], r.m[i][j], 1e-6);
}

TEST(VectorMath, InvertRefusesSingularMatrices) {
  D3DMATRIX out;
  EXPECT_FALSE(Invert(WithScale(Identity(), {1, 0, 1}), out));
  const D3DMATRIX m = Sample();
  ASSERT_TRUE(Invert(m, out));
  const Vec3d p{0.3, -1.7, 2.2};
  const Vec3d back = ApplyMatrix(ApplyMatrix(p, m), out);
  ExpectVec(back, p.x, p.y, p.z, 1e-5);
}

TEST(VectorMath, VectorHelpers) {
  ExpectVector(NormalizeSafe(D3DVECTOR{0, 0, 0}), 0, 0, 0);
  Vec3d z{0, 0, 0};
  NormalizeSafe(z);
  EXPECT_EQ(z, Vec3d(0, 0, 0));
  Vec3d v{3, 0, 4};
  NormalizeSafe(v);
  ExpectVec(v, 0.6, 0, 0.8, 1e-12);
  ExpectVector(CrossProduct({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
  ExpectVector(Difference({1, 1, 1}, {2, 3, 4}), 1, 2, 3);
  EXPECT_NEAR(AngleBetween({1, 0, 0}, {0, 5, 0}), std::numbers::pi / 2, 1e-7);
  EXPECT_TRUE(NearlyEqual({1, 2, 3}, {1 + 5e-7, 2, 3 - 5e-7}));
  EXPECT_FALSE(NearlyEqual({1, 2, 3}, {1 + 2e-6, 2, 3}));
  EXPECT_FALSE(ExactlyEqual({1, 2, 3}, {1, 2, 3 + 1e-12}));
  D3DVERTEX vert{};
  vert.x = 0.1f;
  EXPECT_TRUE(NearVertex(vert, {0.1, 0, 0}));
}
