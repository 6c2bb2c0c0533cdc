// Scene operations through the commands at 1,000 and 10,000 objects: insert, select, rename,
// delete (one object, and a group of 1,000 spread through the list), undo and redo of a move.
// Each recorded step is undone (or redone) outside the timed part, so the scene keeps its size.
#include <benchmark/benchmark.h>

#include <string>

#include "commands/Modeller.h"
#include "scene/Shapes.h"

using namespace ixoral;

namespace {

// `n` objects: the default light and solids of the ten shapes in turn, spread out. With `group`,
// one solid near the start heads a group of `group` solids spread through the list (every
// tenth object from the end backwards), a third of them nested one level down.
struct TBigScene {
  TScriptedPrompt Prompt{TAnswer::Yes};
  TMemoryClipboard Clipboard;
  TScene Scene;
  TModeller Modeller{Scene, Prompt, Clipboard, nullptr, nullptr};
  int Head = -1;

  explicit TBigScene(int n, int group = 0) {
    Scene.NewScene(true);
    for (int i = 1; i < n; ++i) {
      const TInsertDefault& shape = InsertDefaults[static_cast<size_t>(i) % InsertDefaults.size()];
      const int k = Scene.AddObject(shape.Create(), std::string(shape.Keyword) + std::to_string(i));
      Scene.ObjectAt(k)->SetPosition({0.1 * (i % 37), 0.1 * (i % 23), 0.1 * (i / 37)});
    }
    if (group > 0) {
      Head = 2;
      int previous = Head;
      for (int g = 0, i = n - 1; g < group && i > Head; ++g, i -= n / (group + 1) > 0 ? n / (group + 1) : 1) {
        Scene.LinkParent(i, g % 3 == 2 ? previous : Head);
        previous = i;
      }
    }
    Modeller.History().Clear();
    // The first step after a clear (a document opened) learns every object's state: done here,
    // so that the figures below are those of the steps that follow (BM_FirstStep measures it).
    Modeller.Step(step::Proprietes, [] {});
  }
  void Move(int i, double x) {
    Modeller.BeginDrag();
    Scene.ObjectAt(i)->SetPosition({x, 0, 0});
    Modeller.EndDrag();
  }
};

void Undone(TBigScene& s) {
  s.Modeller.Undo();
  s.Prompt.ClearShown();
}

}  // namespace

static void BM_Insert(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    s.Modeller.Insert(TInsertCommand::Cube);
    state.PauseTiming();
    Undone(s);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Insert)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

static void BM_Select(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state) s.Modeller.SelectFromBrowser(1 + (i++ * 7919) % (s.Scene.ObjectCount() - 1));
}
BENCHMARK(BM_Select)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

static void BM_Rename(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  int i = 0;
  for (auto _ : state) {
    const int object = s.Scene.ObjectCount() / 2;
    s.Modeller.SelectFromBrowser(object);
    s.Modeller.Rename(object, "Renomme" + std::to_string(i++));
    state.PauseTiming();
    Undone(s);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Rename)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

static void BM_DeleteOne(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    s.Modeller.Delete(s.Scene.ObjectCount() / 3);
    state.PauseTiming();
    Undone(s);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeleteOne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A group of 1,000 (its head selected with its group, as the browser selects it) deleted at once.
static void BM_DeleteGroupOfThousand(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)), 1000);
  for (auto _ : state) {
    state.PauseTiming();
    s.Modeller.SelectFromBrowser(s.Head);
    state.ResumeTiming();
    s.Modeller.Delete(s.Head);
    state.PauseTiming();
    Undone(s);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeleteGroupOfThousand)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

static void BM_UndoMove(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  double x = 0;
  for (auto _ : state) {
    state.PauseTiming();
    s.Move(s.Scene.ObjectCount() / 2, x += 0.01);
    state.ResumeTiming();
    s.Modeller.Undo();
  }
}
BENCHMARK(BM_UndoMove)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

static void BM_RedoMove(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  double x = 0;
  for (auto _ : state) {
    state.PauseTiming();
    s.Move(s.Scene.ObjectCount() / 2, x += 0.01);
    s.Modeller.Undo();
    state.ResumeTiming();
    s.Modeller.Redo();
  }
}
BENCHMARK(BM_RedoMove)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Undoing a delete of one object: it comes back, and the object that took its place goes back.
static void BM_UndoDeleteOne(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    s.Modeller.Delete(s.Scene.ObjectCount() / 3);
    state.ResumeTiming();
    Undone(s);
  }
}
BENCHMARK(BM_UndoDeleteOne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The first step after the history was cleared: every object's state is taken once.
static void BM_FirstStep(benchmark::State& state) {
  TBigScene s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    s.Modeller.History().Clear();
    state.ResumeTiming();
    s.Modeller.Rename(1, "Premier");
    state.PauseTiming();
    Undone(s);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstStep)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
