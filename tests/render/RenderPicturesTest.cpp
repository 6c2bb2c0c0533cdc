// Whole pictures of the software device compared with reference pictures: lit spheres, shading
// and fill modes, the stencil passes of a subtraction, blending, textures, lines and captions.
#include <gtest/gtest.h>

#include <cmath>

#include "RenderTestUtil.h"
#include "scene/Shapes.h"
#include "scene/VectorMath.h"

namespace ixoral::test {
namespace {

constexpr int kW = 200, kH = 150;

void Draw(TRig& rig, const TComposante& c) {
  rig.Device.DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(c.PrimitiveType), D3DFVF_VERTEX, c.Vertices.data(),
                           DWORD(c.Vertices.size()));
}

D3DMATERIAL7 Shiny(float r, float g, float b) {
  D3DMATERIAL7 m = Material(r, g, b);
  m.ambient = {r * 0.2f, g * 0.2f, b * 0.2f, 1};
  m.specular = {1, 1, 1, 1};
  m.power = 20;
  return m;
}

void DefaultStates(TRig& rig) {
  rig.Device.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENT, D3DRGB(1, 1, 1));
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
}

TEST(RenderPictures, SphereUnderADirectionalLight) {
  TRig rig(kW, kH);
  DefaultStates(rig);
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {1, 1, 1, 0};
  l.dcvSpecular = {1, 1, 1, 0};
  l.dvDirection = {1, -1, 1};
  rig.Device.SetLight(1, l);
  rig.Device.LightEnable(1, true);
  rig.Device.SetMaterial(Shiny(0.9f, 0.5f, 0.2f));
  Draw(rig, BuildSphere(24, 24, 1.0));
  // Lit from the upper left: that side is bright, the lower right only ambient.
  EXPECT_GT(Red(rig.At(80, 50)), Red(rig.At(125, 100)) + 60);
  EXPECT_EQ(rig.At(5, 5), 0xFF000000u);
  ExpectMatchesReference(rig.Surface, "sphere-directional");
}

TEST(RenderPictures, SphereUnderASpotLightShowsTheConeEdge) {
  TRig rig(kW, kH);
  DefaultStates(rig);
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENT, D3DRGB(0.2, 0.2, 0.2));
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_SPOT;
  l.dcvDiffuse = {1, 1, 1, 0};
  l.dvPosition = {0, 0, -4};
  l.dvDirection = {0, 0, 1};
  l.dvRange = 100;
  l.dvAttenuation0 = 1;
  l.dvTheta = 0.25f;
  l.dvPhi = 0.35f;
  l.dvFalloff = 1;
  rig.Device.SetLight(1, l);
  rig.Device.LightEnable(1, true);
  rig.Device.SetMaterial(Shiny(0.3f, 0.8f, 1.0f));
  Draw(rig, BuildSphere(48, 48, 1.0));
  EXPECT_GT(Blue(rig.At(100, 75)), 200);  // inside the cone
  EXPECT_LT(Blue(rig.At(100, 20)), 40);   // outside, on the sphere
  EXPECT_GT(Blue(rig.At(100, 20)), 0);
  ExpectMatchesReference(rig.Surface, "sphere-spot");
}

TEST(RenderPictures, FlatBesideGouraudAndWireframe) {
  TRig rig(kW, kH);
  DefaultStates(rig);
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {1, 1, 1, 0};
  l.dvDirection = {1, -1, 2};
  rig.Device.SetLight(1, l);
  rig.Device.LightEnable(1, true);
  rig.Device.SetMaterial(Shiny(0.8f, 0.8f, 0.8f));
  rig.Device.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 0);
  const TComposante sphere = BuildSphere(10, 10, 0.55);
  rig.Device.SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_FLAT);
  rig.Device.SetTransform(D3DTRANSFORMSTATE_WORLD, Translation(-1.2f, 0, 0));
  Draw(rig, sphere);
  rig.Device.SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
  rig.Device.SetTransform(D3DTRANSFORMSTATE_WORLD, Translation(0, 0, 0));
  Draw(rig, sphere);
  rig.Device.SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME);
  rig.Device.SetTransform(D3DTRANSFORMSTATE_WORLD, Translation(1.2f, 0, 0));
  Draw(rig, sphere);
  ExpectMatchesReference(rig.Surface, "flat-gouraud-wireframe");
}

// The subtraction passes of a relation (parent B minus child A), as the scene drawing runs them.
void DrawSubtraction(TRig& rig, const TComposante& a, const D3DMATRIX& worldA, const D3DMATERIAL7& matA,
                     const TComposante& b, const D3DMATRIX& worldB, const D3DMATERIAL7& matB) {
  IRenderDevice& d = rig.Device;
  auto solid = [&](const TComposante& c, const D3DMATRIX& w, const D3DMATERIAL7& m, DWORD cull) {
    d.SetRenderState(D3DRENDERSTATE_CULLMODE, cull);
    d.SetTransform(D3DTRANSFORMSTATE_WORLD, w);
    d.SetMaterial(m);
    Draw(rig, c);
  };
  const DWORD cA = D3DCULL_CW;
  d.SetRenderState(D3DRENDERSTATE_STENCILWRITEMASK, 0xFFFFFFFF);
  d.SetRenderState(D3DRENDERSTATE_STENCILMASK, 0xFFFFFFFF);
  d.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS);
  d.SetRenderState(D3DRENDERSTATE_STENCILZFAIL, D3DSTENCILOP_KEEP);
  d.SetRenderState(D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_KEEP);
  d.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_KEEP);
  d.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
  d.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  d.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 0);
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
  solid(a, worldA, matA, cA);
  d.SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_INCRSAT);
  solid(b, worldB, matB, D3DCULL_CCW);
  d.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_DECRSAT);
  solid(b, worldB, matB, D3DCULL_CW);
  d.SetRenderState(D3DRENDERSTATE_STENCILREF, 0);
  d.SetRenderState(D3DRENDERSTATE_STENCILFUNC, D3DCMP_NOTEQUAL);
  d.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_KEEP);
  d.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  d.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  solid(a, worldA, matA, cA);
  d.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ZERO);
  d.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  d.SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_ALWAYS);
  solid(b, worldB, matB, D3DCULL_CCW);
  d.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 1);
  d.Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1, 0);
  d.SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
  d.SetRenderState(D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS);
  d.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_INCRSAT);
  solid(a, worldA, matA, D3DCULL_CCW);
  d.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_DECRSAT);
  solid(a, worldA, matA, D3DCULL_CW);
  d.SetRenderState(D3DRENDERSTATE_STENCILREF, 0);
  d.SetRenderState(D3DRENDERSTATE_STENCILFUNC, D3DCMP_EQUAL);
  d.SetRenderState(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_KEEP);
  d.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  d.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  solid(b, worldB, matB, D3DCULL_CCW);
  d.SetRenderState(D3DRENDERSTATE_STENCILENABLE, 0);
  d.SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
  d.SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
}

TEST(RenderPictures, StencilSubtractionOfTwoBoxes) {
  TRig rig(kW, kH);
  DefaultStates(rig);
  rig.Device.SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 0);
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENT, D3DRGB(0.3, 0.3, 0.3));
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {1, 1, 1, 0};
  l.dvDirection = {0.5f, -0.7f, 1};
  rig.Device.SetLight(1, l);
  rig.Device.LightEnable(1, true);
  // Turn both boxes so three faces show.
  const D3DMATRIX turn = Multiply(RotationAboutAxis({0, 1, 0}, 0.6), RotationAboutAxis({1, 0, 0}, 0.5));
  const D3DMATRIX worldB = turn;
  const D3DMATRIX worldA = Multiply(Translation(0.45f, 0.45f, -0.45f), turn);
  DrawSubtraction(rig, BuildCube(0.7), worldA, Material(1, 0.2f, 0.2f), BuildCube(1.2), worldB,
                  Material(0.2f, 0.6f, 1));
  ExpectMatchesReference(rig.Surface, "stencil-subtraction");
  // The parent stays blue-ish where the child is not; the cut shows the child's red inside; the
  // part of the child outside the parent is not drawn at all.
  int red = 0, blue = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t c = rig.At(x, y);
      red += Red(c) > 2 * Blue(c) && Red(c) > 60;
      blue += Blue(c) > 2 * Red(c) && Blue(c) > 60;
    }
  EXPECT_GT(red, 300);
  EXPECT_GT(blue, 3000);
}

TEST(RenderPictures, HalfTransparentQuadOverAnother) {
  TRig rig(kW, kH);
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  rig.Device.SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  rig.Device.SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  rig.Device.SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  auto quad = [&](float cx, float cy, float z, D3DCOLOR c) {
    auto q = Quad(0.7f, z, 1, cx, cy);
    D3DLVERTEX v[6];
    for (int i = 0; i < 6; ++i) v[i].x = q[i].x, v[i].y = q[i].y, v[i].z = q[i].z, v[i].color = c;
    rig.Device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v, 6);
  };
  quad(-0.3f, 0.2f, 0.5f, D3DRGB(1, 0.8, 0));
  quad(0.3f, -0.2f, 0, D3DRGBA(0, 0.3, 1, 0.5));
  ExpectColor(rig.At(100, 75), 128, 140, 128);
  ExpectMatchesReference(rig.Surface, "alpha-blend");
}

TEST(RenderPictures, TexturedQuadWithBilinearFiltering) {
  TRig rig(kW, kH);
  rig.Device.SetRenderState(D3DRENDERSTATE_LIGHTING, 0);
  auto tex = std::make_shared<TSurface>(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) tex->SetPixel(x, y, ((x + y) & 1) ? D3DRGB(1, 1, 1) : D3DRGB(0.8, 0.1, 0.1));
  rig.Device.SetTexture(0, tex);
  rig.Device.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
  rig.Device.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  // A floor tilted away from the camera, for perspective.
  D3DLVERTEX v[4];
  const float p[4][3] = {{-1.5f, -0.8f, -1}, {1.5f, -0.8f, -1}, {-1.5f, 0.3f, 3}, {1.5f, 0.3f, 3}};
  const float t[4][2] = {{0, 2}, {2, 2}, {0, 0}, {2, 0}};
  for (int i = 0; i < 4; ++i)
    v[i].x = p[i][0], v[i].y = p[i][1], v[i].z = p[i][2], v[i].tu = t[i][0], v[i].tv = t[i][1], v[i].color = 0xFFFFFFFF;
  rig.Device.SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  rig.Device.DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_LVERTEX, v, 4);
  ExpectMatchesReference(rig.Surface, "textured-bilinear");
}

TEST(RenderPictures, LineListsInTheirVertexColoursUnderTheLineLight) {
  TRig rig(kW, kH);
  D3DLIGHT7 line;
  line.dltType = D3DLIGHT_DIRECTIONAL;
  line.dcvSpecular = {1, 1, 1, 0};
  line.dcvAmbient = {1, 1, 1, 0};
  line.dvDirection = {0, 1, -1};
  rig.Device.SetLight(0, line);
  rig.Device.LightEnable(0, true);
  rig.Device.SetRenderState(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
  // Looking down on a floor grid from above and in front.
  rig.Device.SetTransform(D3DTRANSFORMSTATE_VIEW,
                          Multiply(RotationAboutAxis({1, 0, 0}, -0.5), Translation(0, -0.3f, 4)));
  std::vector<D3DLVERTEX> grid;
  for (int i = -10; i <= 10; ++i) {
    const float s = i / 5.0f;
    const float ends[4][3] = {{-2, 0, s}, {2, 0, s}, {s, 0, -2}, {s, 0, 2}};
    for (const auto& e : ends) {
      D3DLVERTEX g;
      g.x = e[0], g.y = e[1], g.z = e[2], g.color = D3DRGB(0.5, 0.5, 0.5);
      grid.push_back(g);
    }
  }
  rig.Device.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, grid.data(), DWORD(grid.size()));
  D3DLVERTEX axes[6];
  const D3DCOLOR colours[3] = {D3DRGB(1, 0, 0), D3DRGB(0, 1, 0), D3DRGB(0, 0, 1)};
  for (int k = 0; k < 3; ++k) {
    axes[2 * k].color = axes[2 * k + 1].color = colours[k];
    (&axes[2 * k + 1].x)[k] = 0.5f;
  }
  rig.Device.SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
  rig.Device.DrawPrimitive(D3DPT_LINELIST, D3DFVF_LVERTEX, axes, 6);
  int grey = 0, other = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t c = rig.At(x, y) & 0xFFFFFF;
      if (c == 0x808080)
        ++grey;
      else if (c != 0 && c != 0xFF0000 && c != 0x00FF00 && c != 0x0000FF)
        ++other;
    }
  EXPECT_GT(grey, 500);
  EXPECT_EQ(other, 0);  // every line pixel is exactly its vertex colour
  ExpectMatchesReference(rig.Surface, "line-lists");
}

TEST(RenderPictures, CaptionsAndFramesDrawnOnTheSurface) {
  TSurface s(kW, kH);
  s.Fill(0xFF203040);
  TCanvas canvas(s);
  ASSERT_TRUE(TScreenFont::Default().Valid());
  canvas.SetTextColor(0xFFFF00);
  canvas.TextOut(10, 5, "Perspective");
  canvas.TextOut(10, 60, "Élévation côté");
  canvas.SetPen({2, 0x808080});
  canvas.MoveTo(1, kH);
  canvas.LineTo(1, 0);
  canvas.LineTo(kW - 1, 0);
  canvas.SetPen({1, 0xFFFFFF});
  canvas.MoveTo(kW - 2, -1);
  canvas.LineTo(kW - 2, kH - 1);
  canvas.LineTo(1, kH - 1);
  int yellow = 0;
  for (int y = 5; y < 25; ++y)
    for (int x = 10; x < 110; ++x) yellow += (s.Pixel(x, y) & 0xFFFFFF) == 0xFFFF00;
  EXPECT_GT(yellow, 20);
  for (int x = 120; x < 190; ++x) EXPECT_EQ(s.Pixel(x, 12), 0xFF203040u);
  EXPECT_EQ(s.Pixel(kW - 2, 50), 0xFFFFFFFFu);
  EXPECT_EQ(s.Pixel(1, 50), 0xFF808080u);
  ExpectMatchesReference(s, "captions", 40, 30);
}

}  // namespace
}  // namespace ixoral::test
