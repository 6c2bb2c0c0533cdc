// Building the default inserts, and adding objects to large scenes.
#include <benchmark/benchmark.h>

#include "scene/Scene.h"
#include "scene/Shapes.h"

using namespace ixoral;

static void BM_BuildInsert(benchmark::State& state) {
  const TInsertDefault& d = InsertDefaults[static_cast<size_t>(state.range(0))];
  state.SetLabel(d.Keyword);
  for (auto _ : state) {
    auto solid = d.Create();
    benchmark::DoNotOptimize(solid.get());
  }
}
BENCHMARK(BM_BuildInsert)->DenseRange(0, 9);

// Adds one cube named like the main window's inserts to a scene already holding n objects.
static void BM_AddObject(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TScene scene;
  for (int i = 0; i < n; ++i) scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube" + std::to_string(i));
  int k = n;
  for (auto _ : state) {
    state.PauseTiming();
    auto cube = CreateCube(kOpaqueWhite, 0.5);
    state.ResumeTiming();
    scene.AddObject(std::move(cube), "Cube" + std::to_string(k++));
    state.PauseTiming();
    scene.DeleteObject(scene.ObjectCount() - 1);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddObject)->Arg(1000)->Arg(10000);

// The same with a clashing name, so the "i" suffix search runs.
static void BM_AddObjectClashingName(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TScene scene;
  for (int i = 0; i < n; ++i) scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube");
  for (auto _ : state) {
    state.PauseTiming();
    auto cube = CreateCube(kOpaqueWhite, 0.5);
    state.ResumeTiming();
    scene.AddObject(std::move(cube), "Cube");
    state.PauseTiming();
    scene.DeleteObject(scene.ObjectCount() - 1);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AddObjectClashingName)->Arg(1000);

// Filling a whole scene of n objects from empty.
static void BM_FillScene(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    TScene scene;
    for (int i = 0; i < n; ++i) scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube" + std::to_string(i));
    benchmark::DoNotOptimize(scene.ObjectCount());
  }
}
BENCHMARK(BM_FillScene)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
