// The undo history and the recovery copy on large scenes: undoing (and redoing) one move in a
// scene of 1,000 objects, undoing an insert there (the whole scene read again), and the part of a
// recovery write of 500 solids that runs on the interface thread, against the whole write.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "commands/History.h"
#include "commands/Modeller.h"
#include "commands/Recovery.h"
#include "document/SceneDocument.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

// The ten inserts in turn, spread out, under the default light: `n` solids.
struct TBigScene {
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  TScene Scene;
  TModeller Modeller{Scene, Prompt, Clipboard, nullptr, nullptr};
  explicit TBigScene(int n) {
    Scene.NewScene(true);
    for (int i = 0; i < n; ++i) {
      const int k = Modeller.Insert(static_cast<TInsertCommand>(i % 11));
      Scene.ObjectAt(k)->SetPosition({0.1 * (i % 37), 0.1 * (i % 23), 0.1 * (i / 37)});
    }
    Modeller.History().Clear();
  }
  // One drag step moving solid `i`.
  void Move(int i, double x) {
    Modeller.BeginDrag();
    Scene.ObjectAt(i)->SetPosition({x, 0, 0});
    Modeller.EndDrag();
  }
};

std::string Folder(const char* name) {
  return (fs::temp_directory_path() / (std::string("ixoral_bench_") + std::to_string(::getpid()) + name)).string();
}

}  // namespace

static void BM_UndoOneMoveOfThousand(benchmark::State& state) {
  TBigScene s(1000);
  double x = 0;
  for (auto _ : state) {
    state.PauseTiming();
    s.Move(500, x += 0.01);
    state.ResumeTiming();
    s.Modeller.Undo();
  }
}
BENCHMARK(BM_UndoOneMoveOfThousand)->Unit(benchmark::kMillisecond);

static void BM_RecordOneMoveOfThousand(benchmark::State& state) {
  TBigScene s(1000);
  double x = 0;
  for (auto _ : state) s.Move(500, x += 0.01);
}
BENCHMARK(BM_RecordOneMoveOfThousand)->Unit(benchmark::kMillisecond);

static void BM_UndoInsertOfThousand(benchmark::State& state) {
  TBigScene s(1000);
  for (auto _ : state) {
    state.PauseTiming();
    s.Modeller.Insert(TInsertCommand::Cube);
    state.ResumeTiming();
    s.Modeller.Undo();
  }
}
BENCHMARK(BM_UndoInsertOfThousand)->Unit(benchmark::kMillisecond);

// What the interface thread spends on a recovery write: taking the scene's contents.
static void BM_RecoveryPrepareFiveHundred(benchmark::State& state) {
  TBigScene s(500);
  for (auto _ : state) benchmark::DoNotOptimize(PrepareDocument(s.Scene, "recovery.ixr"));
}
BENCHMARK(BM_RecoveryPrepareFiveHundred)->Unit(benchmark::kMillisecond);

// The whole write, compression and disk included (on the worker thread in the modeller).
static void BM_RecoveryWriteFiveHundred(benchmark::State& state) {
  TBigScene s(500);
  const std::string folder = Folder("_recovery");
  TRecovery recovery(folder, 1);
  recovery.Start();
  for (auto _ : state) recovery.Write(s.Scene, true);
  recovery.Discard();
  fs::remove_all(folder);
}
BENCHMARK(BM_RecoveryWriteFiveHundred)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
