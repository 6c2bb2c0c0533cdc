// Redrawing the reference scene as the main window does: the ten default inserts around the
// origin under the default light, grid and axes on, nothing selected, solid fill, Gouraud, the
// four views on the main window's surface for a 1920 x 1080 screen (round(1920 / 1.33) x
// round(1080 / 1.19) = 1444 x 908). Also the same with 100 objects (ten of each insert), 1000
// (a hundred of each) and 10,000, a drag step at 1000, and the parts of one redraw: clearing
// alone, and drawing with next to nothing to rasterise. The redraws are whole ones: the pictures
// the renderer keeps for views whose objects have not moved are forgotten first.
// The reference scene's redraw and drag step take the look as argument: 0 "Classique", 1
// "Moderne" with edge smoothing (8 samples), 2 "Moderne" without, 3 with 4 samples; the edge
// smoothing is also timed alone.
// IXORAL_RENDER_THREADS sets the device's threads (default: one per core).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "render/SceneRenderer.h"
#include "render/ViewInteraction.h"
#include "render/ViewStyle.h"
#include "render/device/RenderThreads.h"
#include "scene/Shapes.h"

namespace ixoral {
namespace {

constexpr int kW = 1444, kH = 908;

struct TReferenceScene {
  TDisplayScene Drawn{kW, kH, nullptr, nullptr};
  TScene& Scene = Drawn.Scene;
  TSceneRenderer& Renderer = Drawn.Renderer;
  explicit TReferenceScene(int copies) {
    Scene.FourViews = true;
    if (!Renderer.InitDevice()) std::abort();
    Scene.NewScene(true);
    Renderer.ShowGrid = Renderer.ShowAxes = true;
    struct TPlace {
      const char* Keyword;
      Vec3d At;
    };
    const TPlace places[10] = {{"cube", {-1.2, 0, 0}},    {"cubeperce", {0, 1.2, 0}}, {"sphere", {0, 0, 0}},
                               {"cylindre", {0, 0, 1.2}}, {"cone", {-1.2, 0, 1.2}},   {"pyramide", {1.2, 0, 1.2}},
                               {"tore", {1.2, 0, 0}},     {"cercle", {0, 0, -1.2}},   {"paroiv", {-1.2, 0, -1.2}},
                               {"paroih", {1.2, 0, -1.2}}};
    for (int c = 0; c < copies; ++c)
      for (const TPlace& p : places) {
        const TInsertDefault* d = FindInsertDefault(p.Keyword);
        const int i = Scene.AddObject(d->Create(), d->Prefix);
        // Further copies spread along Y so that they stay in the views.
        Scene.ObjectAt(i)->SetPosition({p.At.x, p.At.y + 0.3 * c, p.At.z});
      }
  }
};

void SetLook(TSceneRenderer& r, int64_t arg) {
  r.Look = {arg == 0 ? TViewStyle::Classique : TViewStyle::Moderne, arg == 1 ? 8 : arg == 3 ? 4 : 0};
}

void BM_ReferenceSceneFourViews(benchmark::State& state) {
  TReferenceScene s(1);
  SetLook(s.Renderer, state.range(0));
  for (auto _ : state) {
    s.Renderer.ForgetPictures();
    s.Renderer.RedrawViews(0, 0, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReferenceSceneFourViews)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_HundredObjectsFourViews(benchmark::State& state) {
  TReferenceScene s(10);
  for (auto _ : state) {
    s.Renderer.ForgetPictures();
    s.Renderer.RedrawViews(0, 0, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_HundredObjectsFourViews)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ThousandObjectsFourViews(benchmark::State& state) {
  TReferenceScene s(100);
  for (auto _ : state) {
    s.Renderer.ForgetPictures();
    s.Renderer.RedrawViews(0, 0, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ThousandObjectsFourViews)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Ten thousand objects, the ten inserts a thousand times along Y: most of them above the side
// views and behind the top view's camera.
void BM_TenThousandObjectsFourViews(benchmark::State& state) {
  TReferenceScene s(1000);
  for (auto _ : state) {
    s.Renderer.ForgetPictures();
    s.Renderer.RedrawViews(0, 0, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TenThousandObjectsFourViews)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Drag steps as the view panel gives them: the sphere at the origin selected, pressed in the
// front view and moved by a pixel at a time, every view drawn again after each.
void DragSteps(TReferenceScene& s, benchmark::State& state) {
  TViewInteraction interaction(s.Scene, s.Renderer);
  interaction.SetPanelSize(kW, kH);
  interaction.SetOperation(opMove);
  s.Scene.AddToSelection(2);
  const int x = kW / 4, y = kH / 4;
  interaction.Press(x, y, TMouseButton::Left, false);
  int step = 0;
  for (auto _ : state) {
    interaction.MouseMove(x + (++step % 20), y);
    benchmark::ClobberMemory();
  }
  interaction.Release(x, y, TMouseButton::Left);
}

// A drag step in the 1,000-object scene. Argument: hidden solids left out (1) or all drawn (0).
void BM_DragStepThousandObjects(benchmark::State& state) {
  TReferenceScene s(100);
  s.Renderer.SkipHidden = state.range(0) != 0;
  DragSteps(s, state);
}
BENCHMARK(BM_DragStepThousandObjects)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A drag step in the reference scene, the sphere selected (outlined in "Moderne"), per look.
void BM_DragStepReference(benchmark::State& state) {
  TReferenceScene s(1);
  SetLook(s.Renderer, state.range(0));
  DragSteps(s, state);
}
BENCHMARK(BM_DragStepReference)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The edge smoothing alone over the reference scene's four views as "Moderne" draws them (no
// smoothing yet), on the device's threads; the picture is put back outside the timing each time.
// Argument: samples followed along an edge.
void BM_ReferenceSceneEdgeSmoothing(benchmark::State& state) {
  TReferenceScene s(1);
  SetLook(s.Renderer, 2);
  s.Renderer.ForgetPictures();
  s.Renderer.RedrawViews(0, 0, false);
  TSurface& target = s.Renderer.Display().Device()->RenderTarget();
  const std::vector<uint32_t> drawn(target.Pixels(), target.Pixels() + size_t(kW) * kH);
  TRenderThreads* threads = s.Renderer.Display().RenderThreads().get();
  for (auto _ : state) {
    for (const TVue& v : s.Scene.Views) SmoothEdges(target, v.Viewport, int(state.range(0)), threads);
    benchmark::ClobberMemory();
    state.PauseTiming();
    std::copy(drawn.begin(), drawn.end(), target.Pixels());
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ReferenceSceneEdgeSmoothing)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The clearing share: each view's clear of colour, depth and stencil, as DrawView does it.
void BM_ReferenceSceneClearOnly(benchmark::State& state) {
  TReferenceScene s(1);
  IRenderDevice& d = *s.Renderer.Display().Device();
  DWORD flags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  if (d.RenderTarget().HasStencil()) flags |= D3DCLEAR_STENCIL;
  for (auto _ : state) {
    for (const TVue& v : s.Scene.Views) {
      d.SetViewport(v.Viewport);
      if (d.Clear(0, nullptr, flags, 0xFF000000, 1, 0) != D3D_OK) std::abort();
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReferenceSceneClearOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Clearing plus transform and lighting with almost no rasterising: the views' navigation scale
// shrinks the whole scene to a speck at the origin, so every vertex is still transformed and lit
// but the triangles cover next to no pixels.
void BM_ReferenceSceneWithoutFill(benchmark::State& state) {
  TReferenceScene s(1);
  for (TVue& v : s.Scene.Views) v.SetViewScale({1e-4, 1e-4, 1e-4});
  for (auto _ : state) {
    s.Renderer.ForgetPictures();
    s.Renderer.RedrawViews(0, 0, false);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ReferenceSceneWithoutFill)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace ixoral
