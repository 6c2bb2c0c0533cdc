// The software device's fixed-function semantics, checked on single pixels whose colours follow
// from the lighting, shading, depth, stencil, blending and texture rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "RenderTestUtil.h"

namespace ixoral::test {
namespace {

constexpr int kCx = 80, kCy = 60;  // centre of the 160 x 120 rig

D3DLIGHT7 Directional(float dx, float dy, float dz) {
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {1, 1, 1, 0};
  l.dvDirection = {dx, dy, dz};
  return l;
}

void DrawQuad(TRig& rig, float s, float z, float normalLength = 1) {
  auto q = Quad(s, z, normalLength);
  ASSERT_EQ(rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, q.data(), 6), D3D_OK);
}

TEST(SoftwareDeviceLighting, DirectionalDiffuseCountsTheNormalsLength) {
  TRig rig;
  rig.Device.SetLight(1, Directional(0, 0, 1));
  rig.Device.LightEnable(1, true);
  rig.Device.SetMaterial(Material(0.5f, 0.25f, 1.0f));
  DrawQuad(rig, 1, 0);
  ExpectColor(rig.At(kCx, kCy), 128, 64, 255);
  // A normal of length 2 doubles the diffuse term: the generators' normals are used as they are.
  TRig rig2;
  rig2.Device.SetLight(1, Directional(0, 0, 1));
  rig2.Device.LightEnable(1, true);
  rig2.Device.SetMaterial(Material(0.25f, 0.25f, 0.25f));
  DrawQuad(rig2, 1, 0, 2);
  ExpectColor(rig2.At(kCx, kCy), 128, 128, 128);
  // Renormalised when asked.
  rig2.Device.SetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, 1);
  rig2.Device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1, 0);
  DrawQuad(rig2, 1, 0, 2);
  ExpectColor(rig2.At(kCx, kCy), 64, 64, 64);
}

TEST(SoftwareDeviceLighting, LightFromBehindAndDisabledLightsGiveOnlyAmbient) {
  TRig rig;
  rig.Device.SetLight(1, Directional(0, 0, -1));  // shines toward the camera: the back side
  rig.Device.LightEnable(1, true);
  D3DLIGHT7 off = Directional(0, 0, 1);
  rig.Device.SetLight(2, off);  // set but never enabled
  D3DMATERIAL7 m = Material(1, 1, 1);
  m.ambient = {0.5f, 0.5f, 0.5f, 1};
  rig.Device.SetMaterial(m);
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENT, D3DRGB(0.5, 0.25, 0));
  DrawQuad(rig, 1, 0);
  // ambient = material ambient x global ambient
  ExpectColor(rig.At(kCx, kCy), 64, 32, 0);
}

TEST(SoftwareDeviceLighting, EachLightsAmbientAndEmissive) {
  TRig rig;
  D3DLIGHT7 l = Directional(0, 0, -1);
  l.dcvDiffuse = {0, 0, 0, 0};
  l.dcvAmbient = {0.5f, 1, 0, 0};
  rig.Device.SetLight(3, l);
  rig.Device.LightEnable(3, true);
  D3DMATERIAL7 m = Material(0, 0, 0);
  m.ambient = {1, 0.5f, 1, 1};
  m.emissive = {0, 0, 0.25f, 0};
  rig.Device.SetMaterial(m);
  DrawQuad(rig, 1, 0);
  ExpectColor(rig.At(kCx, kCy), 128, 128, 64);
}

TEST(SoftwareDeviceLighting, PointLightAttenuationAndRange) {
  auto draw = [](float z, float a0, float a1, float a2, float range) {
    TRig rig;
    D3DLIGHT7 l;
    l.dltType = D3DLIGHT_POINT;
    l.dcvDiffuse = {1, 1, 1, 0};
    l.dvPosition = {0, 0, z};
    l.dvAttenuation0 = a0, l.dvAttenuation1 = a1, l.dvAttenuation2 = a2;
    l.dvRange = range;
    rig.Device.SetLight(1, l);
    rig.Device.LightEnable(1, true);
    rig.Device.SetMaterial(Material(1, 1, 1));
    DrawQuad(rig, 0.2f, 0);
    return Red(rig.At(kCx, kCy));
  };
  // Lit per vertex: every corner (0.2, 0.2, 0) is at d from the light, with N.L = 2 / d.
  const double d = std::sqrt(4 + 0.08), ndl = 2 / d;
  EXPECT_NEAR(draw(-2, 0, 1, 0, 100), 255 * ndl / d, 1);      // 1 / d
  EXPECT_NEAR(draw(-2, 0, 0, 1, 100), 255 * ndl / d / d, 1);  // 1 / d^2
  EXPECT_NEAR(draw(-2, 1, 0, 0, 100), 255 * ndl, 1);          // constant
  EXPECT_NEAR(draw(-2, 0, 0, 0, 100), 255 * ndl, 1);          // no factor: not attenuated
  EXPECT_EQ(draw(-2, 1, 0, 0, 1.5f), 0);                      // beyond its range
}

TEST(SoftwareDeviceLighting, SpotConeFullInsideThetaFallingToZeroAtPhi) {
  TRig rig;
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_SPOT;
  l.dcvDiffuse = {1, 1, 1, 0};
  l.dvPosition = {0, 0, -2};
  l.dvDirection = {0, 0, 1};
  l.dvRange = 100;
  l.dvAttenuation0 = 1;
  l.dvTheta = 0.4f;
  l.dvPhi = 0.8f;
  l.dvFalloff = 1;
  rig.Device.SetLight(1, l);
  rig.Device.LightEnable(1, true);
  rig.Device.SetMaterial(Material(1, 1, 1));
  // A finely tessellated strip along x so that per-vertex lighting shows the cone.
  std::vector<D3DVERTEX> v;
  for (int i = 0; i < 60; ++i) {
    const float x0 = -1.5f + i * 0.05f, x1 = x0 + 0.05f;
    auto mk = [](float x, float y) {
      D3DVERTEX r;
      r.x = x, r.y = y, r.nz = -1;
      return r;
    };
    v.insert(v.end(), {mk(x0, 0.2f), mk(x1, 0.2f), mk(x1, -0.2f), mk(x0, 0.2f), mk(x1, -0.2f), mk(x0, -0.2f)});
  }
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, v.data(), DWORD(v.size()));
  // Screen x of world x on the plane z = 0 (camera 3 units away).
  const float sx = 1.0f / std::tan(0.4f) / (160.0f / 120.0f);
  auto px = [&](float x) { return int(std::lround(80 * (1 + x * sx / 3))); };
  // Inside theta/2 (tan 0.2 x 2 = 0.405): full; beyond phi/2 (tan 0.4 x 2 = 0.845): dark.
  // Diffuse is N.L, slightly below 1 off the axis.
  EXPECT_GT(Red(rig.At(px(0), kCy)), 250);
  EXPECT_GT(Red(rig.At(px(0.3f), kCy)), 235);
  const int mid = Red(rig.At(px(0.62f), kCy));
  EXPECT_GT(mid, 40);
  EXPECT_LT(mid, 200);
  EXPECT_EQ(Red(rig.At(px(1.0f), kCy)), 0);
  EXPECT_EQ(Red(rig.At(px(-1.0f), kCy)), 0);
}

TEST(SoftwareDeviceLighting, SpecularOnlyWhenEnabledAndAddedAfterTheTexture) {
  auto draw = [](bool enable, bool localViewer) {
    TRig rig;
    D3DLIGHT7 l = Directional(0, 0, 1);
    l.dcvDiffuse = {0, 0, 0, 0};
    l.dcvSpecular = {1, 1, 1, 0};
    rig.Device.SetLight(1, l);
    rig.Device.LightEnable(1, true);
    D3DMATERIAL7 m = Material(0.2f, 0, 0);
    m.specular = {0, 1, 0, 0};
    m.power = 8;
    rig.Device.SetMaterial(m);
    rig.Device.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, enable);
    rig.Device.SetRenderState(D3DRENDERSTATE_LOCALVIEWER, localViewer);
    DrawQuad(rig, 0.02f, 0);
    return rig.At(kCx, kCy);
  };
  EXPECT_EQ(Green(draw(false, true)), 0);
  EXPECT_GE(Green(draw(true, true)), 253);   // N.H close to 1 near the axis
  EXPECT_EQ(Green(draw(true, false)), 255);  // the viewer far away: N.H = 1 exactly
}

TEST(SoftwareDeviceLighting, MaterialSourcesAndVertexColours) {
  // Line light: no diffuse, white ambient; with AMBIENTMATERIALSOURCE COLOR1 a vertex shows its
  // own colour.
  TRig rig;
  D3DLIGHT7 l = Directional(0, 1, -1);
  l.dcvDiffuse = {0, 0, 0, 0};
  l.dcvSpecular = {1, 1, 1, 0};
  l.dcvAmbient = {1, 1, 1, 0};
  rig.Device.SetLight(0, l);
  rig.Device.LightEnable(0, true);
  rig.Device.SetMaterial(Material(0, 0, 1));
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  D3DLVERTEX v[6];
  const float pts[6][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, 1}, {1, -1}, {-1, -1}};
  for (int i = 0; i < 6; ++i) {
    v[i].x = pts[i][0], v[i].y = pts[i][1], v[i].z = 0;
    v[i].color = D3DRGB(0.6, 0.4, 0.2);
  }
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 6);
  ExpectColor(rig.At(kCx, kCy), 153, 102, 51);
  // Material source: the material's ambient instead (blue), vertex colour ignored.
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
  rig.Device.SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 6);
  ExpectColor(rig.At(kCx, kCy), 0, 0, 255);
  // COLORVERTEX off: the material for every source.
  rig.Device.SetRenderState(D3DRENDERSTATE_COLORVERTEX, 0);
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 6);
  ExpectColor(rig.At(kCx, kCy), 0, 0, 255);
  // Lighting off: the vertex colour as it is.
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 6);
  ExpectColor(rig.At(kCx, kCy), 153, 102, 51);
}

TEST(SoftwareDeviceShading, FlatUsesTheFirstVertexGouraudInterpolates) {
  D3DLVERTEX v[3];
  v[0].x = -1, v[0].y = 1, v[0].color = D3DRGB(1, 0, 0);
  v[1].x = 1, v[1].y = 1, v[1].color = D3DRGB(0, 1, 0);
  v[2].x = 0, v[2].y = -1, v[2].color = D3DRGB(0, 0, 1);
  TRig flat, gouraud;
  for (TRig* r : {&flat, &gouraud}) r->Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  flat.Device.SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
  flat.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 3);
  gouraud.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 3);
  ExpectColor(flat.At(kCx, kCy), 255, 0, 0);
  ExpectColor(flat.At(kCx + 20, kCy - 20), 255, 0, 0);
  const uint32_t c = gouraud.At(kCx, kCy);
  EXPECT_GT(Red(c), 40);
  EXPECT_GT(Green(c), 40);
  EXPECT_GT(Blue(c), 40);
  // Phong is drawn as Gouraud.
  TRig phong;
  phong.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  phong.Device.SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_PHONG);
  phong.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 3);
  EXPECT_EQ(phong.At(kCx, kCy), c);
}

TEST(SoftwareDeviceShading, CullModesAndStripWinding) {
  auto covered = [](DWORD cull, bool reversed) {
    TRig rig;
    rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    rig.Device.SetRenderState(D3DRENDERSTATE_CULLMODE, cull);
    auto q = Quad(1, 0);
    if (reversed) std::swap(q[1], q[2]), std::swap(q[4], q[5]);
    rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, q.data(), 6);
    return rig.At(kCx, kCy) != 0xFF000000;
  };
  EXPECT_TRUE(covered(D3DCULL_CCW, false));  // clockwise on the screen: drawn by default
  EXPECT_FALSE(covered(D3DCULL_CCW, true));
  EXPECT_FALSE(covered(D3DCULL_CW, false));
  EXPECT_TRUE(covered(D3DCULL_CW, true));
  EXPECT_TRUE(covered(D3DCULL_NONE, false));
  EXPECT_TRUE(covered(D3DCULL_NONE, true));
  // A strip keeps one winding for all its triangles: both halves of the square are drawn.
  TRig rig;
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  D3DLVERTEX s[4];
  const float p[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
  for (int i = 0; i < 4; ++i) s[i].x = p[i][0], s[i].y = p[i][1], s[i].color = 0xFFFFFFFF;
  rig.Device.DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_LVERTEX, s, 4);
  EXPECT_EQ(rig.At(kCx - 15, kCy - 15), 0xFFFFFFFFu);
  EXPECT_EQ(rig.At(kCx + 15, kCy + 15), 0xFFFFFFFFu);
}

TEST(SoftwareDeviceShading, AdjacentTrianglesShareTheirEdgeWithoutGapOrOverlap) {
  TRig rig;
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  rig.Device.SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  rig.Device.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  rig.Device.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
  rig.Device.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  // A fan of 12 triangles around the centre, each adding 40 to red: every covered pixel is
  // touched exactly once.
  std::vector<D3DLVERTEX> v(14);
  v[0].color = D3DRGBA(40 / 255.0, 0, 0, 1);
  for (int i = 0; i <= 12; ++i) {
    const double a = -i * 2 * M_PI / 12;
    v[i + 1].x = float(std::cos(a) * 1.3), v[i + 1].y = float(std::sin(a) * 1.1);
    v[i + 1].color = v[0].color;
  }
  rig.Device.DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_LVERTEX, v.data(), 14);
  int touched = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const int r = Red(rig.At(x, y));
      EXPECT_TRUE(r == 0 || r == 40) << x << "," << y << " red " << r;
      touched += r == 40;
    }
  EXPECT_GT(touched, 1000);
}

TEST(SoftwareDeviceShading, WireframeAndPointFill) {
  TRig rig;
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  rig.Device.SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME);
  auto q = Quad(1, 0);
  std::vector<D3DLVERTEX> v(6);
  for (int i = 0; i < 6; ++i) v[i].x = q[i].x, v[i].y = q[i].y, v[i].color = 0xFFFFFFFF;
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  EXPECT_EQ(rig.At(kCx - 10, kCy + 5), 0xFF000000u);  // inside: empty
  int lit = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) lit += rig.At(x, y) == 0xFFFFFFFF;
  EXPECT_GT(lit, 150);
  EXPECT_LT(lit, 600);
  TRig pts;
  pts.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  pts.Device.SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_POINT);
  pts.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  int dots = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) dots += pts.At(x, y) == 0xFFFFFFFF;
  EXPECT_GE(dots, 3);
  EXPECT_LE(dots, 4);
}

TEST(SoftwareDeviceDepth, ZFuncZWriteAndZEnable) {
  auto draw = [](DWORD func, bool write, bool enable) {
    TRig rig;
    rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    D3DLVERTEX nearQ[6], farQ[6];
    auto q = Quad(1, 0);
    for (int i = 0; i < 6; ++i) {
      nearQ[i].x = farQ[i].x = q[i].x;
      nearQ[i].y = farQ[i].y = q[i].y;
      nearQ[i].z = 0, farQ[i].z = 1;
      nearQ[i].color = D3DRGB(1, 0, 0), farQ[i].color = D3DRGB(0, 1, 0);
    }
    rig.Device.SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, write);
    rig.Device.SetRenderState(D3DRENDERSTATE_ZENABLE, enable);
    rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, nearQ, 6);
    rig.Device.SetRenderState(D3DRENDERSTATE_ZFUNC, func);
    rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, farQ, 6);
    return rig.At(kCx, kCy);
  };
  EXPECT_EQ(draw(D3DCMP_LESSEQUAL, true, true), D3DRGB(1, 0, 0));
  EXPECT_EQ(draw(D3DCMP_GREATER, true, true), D3DRGB(0, 1, 0));
  EXPECT_EQ(draw(D3DCMP_NEVER, true, true), D3DRGB(1, 0, 0));
  EXPECT_EQ(draw(D3DCMP_LESSEQUAL, false, true), D3DRGB(0, 1, 0));  // near depth never written
  EXPECT_EQ(draw(D3DCMP_LESSEQUAL, true, false), D3DRGB(0, 1, 0));  // painter's order
  // Default is LESSEQUAL.
  TRig rig;
  DWORD v = 0;
  rig.Device.GetRenderState(D3DRENDERSTATE_ZFUNC, v);
  EXPECT_EQ(v, DWORD(D3DCMP_LESSEQUAL));
  rig.Device.GetRenderState(D3DRENDERSTATE_CULLMODE, v);
  EXPECT_EQ(v, DWORD(D3DCULL_CCW));
}

TEST(SoftwareDeviceStencil, EveryOperationWithWriteMask) {
  auto run = [](DWORD op, uint8_t start, DWORD writeMask = 0xFFFFFFFF) {
    TRig rig;
    rig.Device.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, start);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 1);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILREF, 9);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILPASS, op);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILWRITEMASK, writeMask);
    DrawQuad(rig, 1, 0);
    return int(rig.Surface.StencilAt(kCx, kCy));
  };
  EXPECT_EQ(run(D3DSTENCILOP_KEEP, 5), 5);
  EXPECT_EQ(run(D3DSTENCILOP_ZERO, 5), 0);
  EXPECT_EQ(run(D3DSTENCILOP_REPLACE, 5), 9);
  EXPECT_EQ(run(D3DSTENCILOP_INCRSAT, 5), 6);
  EXPECT_EQ(run(D3DSTENCILOP_INCRSAT, 255), 255);
  EXPECT_EQ(run(D3DSTENCILOP_DECRSAT, 5), 4);
  EXPECT_EQ(run(D3DSTENCILOP_DECRSAT, 0), 0);
  EXPECT_EQ(run(D3DSTENCILOP_INVERT, 5), 250);
  EXPECT_EQ(run(D3DSTENCILOP_INCR, 255), 0);
  EXPECT_EQ(run(D3DSTENCILOP_DECR, 0), 255);
  EXPECT_EQ(run(D3DSTENCILOP_REPLACE, 0x50, 0x0F), 0x59);
}

TEST(SoftwareDeviceStencil, FunctionsMaskAndFailOperations) {
  auto run = [](DWORD func, DWORD ref, DWORD mask, bool& drawn) {
    TRig rig;
    rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    rig.Device.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 5);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 1);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILFUNC, func);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILREF, ref);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILMASK, mask);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_ZERO);
    rig.Device.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_INCRSAT);
    DrawQuad(rig, 1, 0);
    drawn = rig.At(kCx, kCy) != 0xFF000000;
    return int(rig.Surface.StencilAt(kCx, kCy));
  };
  bool drawn = false;
  EXPECT_EQ(run(D3DCMP_LESS, 3, 0xFF, drawn), 6);  // 3 < 5 passes
  EXPECT_TRUE(drawn);
  EXPECT_EQ(run(D3DCMP_GREATER, 3, 0xFF, drawn), 0);  // fails: STENCILFAIL ZERO, no colour
  EXPECT_FALSE(drawn);
  EXPECT_EQ(run(D3DCMP_EQUAL, 0x15, 0x0F, drawn), 6);  // masked: 5 == 5
  EXPECT_EQ(run(D3DCMP_NOTEQUAL, 5, 0xFF, drawn), 0);
  EXPECT_EQ(run(D3DCMP_LESSEQUAL, 5, 0xFF, drawn), 6);
  EXPECT_EQ(run(D3DCMP_GREATEREQUAL, 5, 0xFF, drawn), 6);
  EXPECT_EQ(run(D3DCMP_NEVER, 5, 0xFF, drawn), 0);
  EXPECT_EQ(run(D3DCMP_ALWAYS, 0, 0xFF, drawn), 6);
  // Depth failure runs STENCILZFAIL.
  TRig rig;
  rig.Device.Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 0.0f, 7);
  rig.Device.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 1);
  rig.Device.SetRenderState(D3DRENDERSTATE_STENCILZFAIL, D3DSTENCILOP_DECRSAT);
  DrawQuad(rig, 1, 0);
  EXPECT_EQ(rig.Surface.StencilAt(kCx, kCy), 6);
}

TEST(SoftwareDeviceBlend, FactorsOverTheDestination) {
  auto run = [](DWORD src, DWORD dst, float alpha) {
    TRig rig;
    rig.Device.Clear(0, nullptr, D3DCLEAR_TARGET, D3DRGBA(0, 1, 0, 0.5), 1, 0);
    rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
    rig.Device.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    rig.Device.SetRenderState(D3DRENDERSTATE_SRCBLEND, src);
    rig.Device.SetRenderState(D3DRENDERSTATE_DESTBLEND, dst);
    auto q = Quad(1, 0);
    D3DLVERTEX v[6];
    for (int i = 0; i < 6; ++i) v[i].x = q[i].x, v[i].y = q[i].y, v[i].color = D3DRGBA(1, 0, 0, alpha);
    rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 6);
    return rig.At(kCx, kCy);
  };
  ExpectColor(run(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0.5f), 128, 127, 0);
  ExpectColor(run(D3DBLEND_ZERO, D3DBLEND_ONE, 1), 0, 255, 0);  // colour writes without effect
  ExpectColor(run(D3DBLEND_ONE, D3DBLEND_ONE, 1), 255, 255, 0);
  ExpectColor(run(D3DBLEND_ONE, D3DBLEND_ZERO, 0.2f), 255, 0, 0);
  ExpectColor(run(D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, 1), 128, 127, 0);
  ExpectColor(run(D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, 1), 0, 0, 0);
  ExpectColor(run(D3DBLEND_BOTHSRCALPHA, D3DBLEND_ZERO, 0.5f), 128, 127, 0);
  ExpectColor(run(D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ZERO, 0.25f), 191, 64, 0);
  ExpectColor(run(D3DBLEND_INVSRCCOLOR, D3DBLEND_SRCCOLOR, 1), 0, 0, 0);
}

TEST(SoftwareDeviceBlend, DiffuseAlphaComesFromTheMaterial) {
  TRig rig;
  rig.Device.Clear(0, nullptr, D3DCLEAR_TARGET, D3DRGB(0, 0, 1), 1, 0);
  rig.Device.SetLight(1, Directional(0, 0, 1));
  rig.Device.LightEnable(1, true);
  rig.Device.SetMaterial(Material(1, 1, 1, 0.25f));
  rig.Device.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  rig.Device.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  rig.Device.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  DrawQuad(rig, 1, 0);
  ExpectColor(rig.At(kCx, kCy), 64, 64, 255);
}

std::shared_ptr<TSurface> Checker() {
  auto t = std::make_shared<TSurface>(2, 2);
  t->SetPixel(0, 0, D3DRGB(1, 0, 0));
  t->SetPixel(1, 0, D3DRGB(0, 1, 0));
  t->SetPixel(0, 1, D3DRGB(0, 0, 1));
  t->SetPixel(1, 1, D3DRGB(1, 1, 1));
  return t;
}

TEST(SoftwareDeviceTexture, PointAndBilinearFilteringModulatedWithDiffuse) {
  TRig rig;
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  rig.Device.SetTexture(0, Checker());
  auto q = Quad(1, 0);
  std::vector<D3DLVERTEX> v(6);
  for (int i = 0; i < 6; ++i)
    v[i].x = q[i].x, v[i].y = q[i].y, v[i].tu = q[i].tu, v[i].tv = q[i].tv, v[i].color = 0xFFFFFFFF;
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  // Point sampling: quarters of the square.
  ExpectColor(rig.At(kCx - 15, kCy - 15), 255, 0, 0);
  ExpectColor(rig.At(kCx + 15, kCy - 15), 0, 255, 0);
  ExpectColor(rig.At(kCx - 15, kCy + 15), 0, 0, 255);
  ExpectColor(rig.At(kCx + 15, kCy + 15), 255, 255, 255);
  // Bilinear: the centre mixes the four texels equally.
  rig.Device.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
  rig.Device.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  rig.Device.SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  ExpectColor(rig.At(kCx, kCy), 128, 128, 128, 8);
  // MODULATE with a half-grey diffuse colour.
  for (auto& x : v) x.color = D3DRGB(0.5, 0.5, 0.5);
  rig.Device.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_POINT);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  ExpectColor(rig.At(kCx + 15, kCy + 15), 128, 128, 128);
  // SELECTARG2 (diffuse) ignores the texture; specular is added after the stage.
  rig.Device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  rig.Device.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  rig.Device.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
  for (auto& x : v) x.specular = D3DRGB(0, 0, 0.25);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  ExpectColor(rig.At(kCx - 15, kCy - 15), 128, 128, 192);
  // No texture: the diffuse colour.
  rig.Device.SetTexture(0, nullptr);
  rig.Device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  rig.Device.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 0);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  ExpectColor(rig.At(kCx - 15, kCy - 15), 128, 128, 128);
}

TEST(SoftwareDeviceTexture, WrapAddressingRepeats) {
  TRig rig;
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  rig.Device.SetTexture(0, Checker());
  auto q = Quad(1, 0);
  std::vector<D3DLVERTEX> v(6);
  for (int i = 0; i < 6; ++i)
    v[i].x = q[i].x, v[i].y = q[i].y, v[i].tu = q[i].tu * 2 + 7, v[i].tv = q[i].tv * 2 - 3, v[i].color = 0xFFFFFFFF;
  rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 6);
  // Four repeats: the quarter left of the centre top is again green (second texel column).
  ExpectColor(rig.At(kCx - 8, 25), 0, 255, 0);
  ExpectColor(rig.At(kCx + 22, 25), 255, 0, 0);
  ExpectColor(rig.At(kCx + 22, 50), 0, 0, 255);
}

TEST(SoftwareDeviceLines, LineListShowsVertexColoursWithoutItsLastPixel) {
  TRig rig;
  D3DLIGHT7 l = Directional(0, 1, -1);
  l.dcvDiffuse = {0, 0, 0, 0};
  l.dcvAmbient = {1, 1, 1, 0};
  rig.Device.SetLight(0, l);
  rig.Device.LightEnable(0, true);
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  D3DVIEWPORT7 vp;
  vp.dwWidth = 160, vp.dwHeight = 120;
  // Orthographic mapping for exact pixels: x, y in -1..1 map to the viewport.
  rig.Device.SetTransform(D3DTRANSFORMSTATE_VIEW, IdentityMatrix());
  rig.Device.SetTransform(D3DTRANSFORMSTATE_PROJECTION, IdentityMatrix());
  D3DLVERTEX v[2];
  v[0].x = -0.5f, v[0].y = 0, v[0].z = 0.5f, v[0].color = D3DRGB(1, 0.5, 0);
  v[1].x = 0.5f, v[1].y = 0, v[1].z = 0.5f, v[1].color = D3DRGB(1, 0.5, 0);
  rig.Device.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, v, 2);
  for (int x = 40; x < 120; ++x) ExpectColor(rig.At(x, 60), 255, 128, 0);
  EXPECT_EQ(rig.At(120, 60), 0xFF000000u);
  EXPECT_EQ(rig.At(39, 60), 0xFF000000u);
  EXPECT_EQ(rig.At(80, 59), 0xFF000000u);
}

TEST(SoftwareDeviceClear, RectanglesAreCutToTheViewport) {
  TRig rig;
  D3DVIEWPORT7 vp;
  vp.dwX = 10, vp.dwY = 10, vp.dwWidth = 20, vp.dwHeight = 20;
  rig.Device.SetViewport(vp);
  D3DRECT r{0, 0, 15, 15};
  rig.Device.Clear(1, &r, D3DCLEAR_TARGET, 0xFFFFFFFF, 1, 0);
  EXPECT_EQ(rig.At(12, 12), 0xFFFFFFFFu);
  EXPECT_EQ(rig.At(5, 5), 0xFF000000u);
  EXPECT_EQ(rig.At(16, 12), 0xFF000000u);
  rig.Device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1, 0);
  EXPECT_EQ(rig.At(29, 29), 0xFF00FF00u);
  EXPECT_EQ(rig.At(30, 30), 0xFF000000u);
  // No depth plane: clearing it is refused.
  TSurface bare(4, 4);
  TMemoryLightDevice lights;
  TSoftwareDevice d(bare, lights);
  EXPECT_EQ(d.Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1, 0), D3DERR_ZBUFFER_NOTPRESENT);
}

TEST(SoftwareDeviceState, LightsLiveInTheSharedStoreAndBadArgumentsAreRefused) {
  TRig rig;
  EXPECT_EQ(rig.Device.SetLight(4, Directional(1, 0, 0)), D3D_OK);
  D3DLIGHT7 l;
  EXPECT_TRUE(rig.Lights.GetLight(4, l));
  EXPECT_EQ(l.dvDirection.x, 1);
  EXPECT_EQ(rig.Device.LightEnable(4, true), D3D_OK);
  bool on = false;
  EXPECT_EQ(rig.Device.GetLightEnable(4, on), D3D_OK);
  EXPECT_TRUE(on);
  EXPECT_NE(rig.Device.GetLight(99, l), D3D_OK);
  EXPECT_NE(rig.Device.SetRenderState(D3DRENDERSTATETYPE(5000), 1), D3D_OK);
  EXPECT_NE(rig.Device.SetTextureStageState(9, D3DTSS_COLOROP, 1), D3D_OK);
  EXPECT_EQ(rig.Device.BeginScene(), D3D_OK);
  EXPECT_EQ(rig.Device.BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(rig.Device.EndScene(), D3D_OK);
  EXPECT_EQ(rig.Device.EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  D3DVERTEX v[3];
  EXPECT_EQ(rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, 0x104, v, 3), D3DERR_INVALIDVERTEXTYPE);
  EXPECT_EQ(rig.Device.DrawPrimitive(D3DPRIMITIVETYPE(9), D3DFVF_VERTEX, v, 3), D3DERR_INVALIDPRIMITIVETYPE);
}

// Bad geometry draws nothing outside the viewport and never crashes or hangs.
TEST(SoftwareDeviceBadGeometry, NothingOutsideTheViewport) {
  TRig rig;
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  rig.Device.SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  D3DVIEWPORT7 vp;
  vp.dwX = 40, vp.dwY = 30, vp.dwWidth = 80, vp.dwHeight = 60;
  rig.Device.SetViewport(vp);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<D3DLVERTEX> v;
  auto add = [&](float x, float y, float z) {
    D3DLVERTEX p;
    p.x = x, p.y = y, p.z = z, p.color = 0xFFFFFFFF;
    v.push_back(p);
  };
  add(nan, 0, 0), add(1, 0, 0), add(0, 1, 0);
  add(-4.2e7f, -4.2e7f, 0), add(4.2e7f, -4.2e7f, 0), add(0, 4.2e7f, 0);  // huge
  add(-4.2e7f, 0, 4.2e7f), add(4.2e7f, 0, 4.2e7f), add(0, 0, -4.2e7f);   // all depths
  add(0, 0, -10), add(1, 0, -10), add(0, 1, -10);                        // behind
  add(-1, -1, -5), add(1, -1, 5), add(0, 1, 0);                          // near plane
  add(0, 0, 0), add(0, 0, 0), add(0, 0, 0);                              // degenerate
  add(0, 0, 0), add(1, 1, 0), add(2, 2, 0);                              // zero area
  add(inf, 0, 0), add(0, inf, 0), add(0, 0, inf);
  add(0.1f, 0.1f, 0);  // incomplete
  for (D3DPRIMITIVETYPE t :
       {D3DPT_POINTLIST, D3DPT_LINELIST, D3DPT_LINESTRIP, D3DPT_TRIANGLELIST, D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN})
    for (DWORD fill : {D3DFILL_SOLID, D3DFILL_WIREFRAME, D3DFILL_POINT}) {
      rig.Device.SetRenderState(D3DRENDERSTATE_FILLMODE, fill);
      EXPECT_EQ(rig.Device.DrawPrimitive(t, D3DFVF_LVERTEX, v.data(), DWORD(v.size())), D3D_OK);
    }
  bool inside = false;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const bool in = x >= 40 && x < 120 && y >= 30 && y < 90;
      if (!in) {
        EXPECT_EQ(rig.At(x, y), 0xFF000000u) << x << "," << y;
      }
      if (in && rig.At(x, y) != 0xFF000000u) inside = true;
    }
  EXPECT_TRUE(inside);  // the huge and near-plane triangles do cover the viewport
  // A zero-size viewport and one beyond the surface draw nothing outside the surface.
  vp.dwWidth = 0;
  rig.Device.SetViewport(vp);
  rig.Device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
  EXPECT_EQ(rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 15), D3D_OK);
  vp.dwX = 150, vp.dwY = 110, vp.dwWidth = 4000000000u, vp.dwHeight = 4000000000u;
  EXPECT_NE(rig.Device.SetViewport(vp), D3D_OK);  // a viewport lies within its surface
  vp.dwX = 0, vp.dwY = 0, vp.dwWidth = 160, vp.dwHeight = 120;
  ASSERT_EQ(rig.Device.SetViewport(vp), D3D_OK);
  rig.Device.SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME);
  EXPECT_EQ(rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), 15), D3D_OK);
  vp.dwX = 150, vp.dwY = 110, vp.dwWidth = 0, vp.dwHeight = 0;
  ASSERT_EQ(rig.Device.SetViewport(vp), D3D_OK);
  EXPECT_EQ(rig.Device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1, 0), D3D_OK);
  EXPECT_EQ(rig.At(149, 109), 0xFF000000u);
}

}  // namespace
}  // namespace ixoral::test
