// Fill rate and triangle rate of the software device on a main-window-sized surface.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "render/device/SoftwareDevice.h"

namespace ixoral {
namespace {

constexpr int kW = 1444, kH = 908;

struct TBenchRig {
  TSurface Surface{kW, kH};
  TMemoryLightDevice Lights;
  std::unique_ptr<TSoftwareDevice> Device;
  TBenchRig() {
    Surface.AttachDepth(true);
    Device = std::make_unique<TSoftwareDevice>(Surface, Lights);
    D3DMATRIX view, proj;
    for (int i = 0; i < 4; ++i) view.m[i][i] = 1;
    view._43 = 3;
    const float h = 1.0f / std::tan(0.4f), q = 50.0f / 49.5f;
    proj._11 = h * kH / kW, proj._22 = h, proj._33 = q, proj._34 = 1, proj._43 = -q * 0.5f;
    Device->SetTransform(D3DTRANSFORMSTATE_VIEW, view);
    Device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, proj);
    D3DVIEWPORT7 vp;
    vp.dwWidth = kW, vp.dwHeight = kH;
    Device->SetViewport(vp);
    D3DLIGHT7 sun;
    sun.dltType = D3DLIGHT_DIRECTIONAL;
    sun.dcvDiffuse = {1, 1, 1, 0};
    sun.dcvSpecular = {1, 1, 1, 0};
    sun.dvDirection = {1, -1, 1};
    Device->SetLight(1, sun);
    Device->LightEnable(1, true);
    D3DLIGHT7 spot;
    spot.dltType = D3DLIGHT_SPOT;
    spot.dcvAmbient = {1, 1, 1, 0};
    spot.dvPosition = {-1, 0, -1};
    spot.dvDirection = {1, 0, 1};
    spot.dvRange = 1e18f;
    spot.dvAttenuation1 = 1;
    spot.dvTheta = 0.87f, spot.dvPhi = 0.96f, spot.dvFalloff = 1;
    Device->SetLight(2, spot);
    Device->LightEnable(2, true);
    D3DMATERIAL7 m;
    m.diffuse = {0.8f, 0.6f, 0.4f, 1};
    m.ambient = m.diffuse;
    m.specular = {1, 1, 1, 1};
    m.power = 20;
    Device->SetMaterial(m);
    Device->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
    Device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    Device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    Device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  }
};

void BM_ClearFullSurface(benchmark::State& state) {
  TBenchRig rig;
  for (auto _ : state) {
    rig.Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1, 0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kW} * kH);
}
BENCHMARK(BM_ClearFullSurface)->Unit(benchmark::kMillisecond);

// 100,000 small lit Gouraud triangles (about 6 pixels each) as a finely tessellated surface, in
// mesh order like the generators' output: 250 x 200 quads over the middle of the view.
void BM_SmallLitGouraudTriangles(benchmark::State& state) {
  TBenchRig rig;
  std::vector<D3DVERTEX> v;
  v.reserve(300000);
  constexpr int kCols = 250, kRows = 200;
  auto vertex = [](int i, int j) {
    D3DVERTEX p;
    p.x = -1.6f + 3.2f * i / kCols;
    p.y = 1.0f - 2.0f * j / kRows;
    p.z = 0.3f * std::sin(i * 0.05f) * std::cos(j * 0.07f);
    p.nx = p.x * 0.3f, p.ny = p.y * 0.3f, p.nz = -1;
    return p;
  };
  for (int j = 0; j < kRows; ++j)
    for (int i = 0; i < kCols; ++i)
      v.insert(v.end(), {vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1), vertex(i, j), vertex(i + 1, j + 1),
                         vertex(i, j + 1)});
  for (auto _ : state) {
    rig.Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0);
    rig.Device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, v.data(), DWORD(v.size()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_SmallLitGouraudTriangles)->Unit(benchmark::kMillisecond);

// 10 large lit triangles, each covering about half the surface.
void BM_LargeTriangles(benchmark::State& state) {
  TBenchRig rig;
  std::vector<D3DVERTEX> v;
  for (int i = 0; i < 10; ++i) {
    const float z = 0.1f * i;
    D3DVERTEX a, b, c;
    a.x = -2.2f, a.y = 1.4f, a.z = z;
    b.x = 2.2f, b.y = 1.4f, b.z = z;
    c.x = -2.2f, c.y = -1.4f, c.z = z;
    for (D3DVERTEX* p : {&a, &b, &c}) p->nz = -1, p->nx = p->x * 0.2f;
    v.insert(v.end(), {a, b, c});
  }
  for (auto _ : state) {
    rig.Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1, 0);
    rig.Device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, v.data(), DWORD(v.size()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(BM_LargeTriangles)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ixoral
