// The assistant's character on Qt's offscreen platform: what the resting character costs the
// processor (process time over three seconds of its idle animation, as a percentage of one core)
// and the cost of painting one of its frames.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cstdlib>
#include <ctime>

#include "assistant/CharacterFolders.h"
#include "assistant/CharacterWindow.h"

using namespace ixoral;

namespace {

// A shown character at rest (its "Show" played), voice off.
struct TRestingCharacter {
  TCharacterWindow Window;
  explicit TRestingCharacter(const char* file) {
    Window.SetVoiceEnabled(false);
    if (!Window.Load("ActiveCar", ResolveCharacterPath(file))) std::abort();
    Window.SetPosition(200, 200);
    Window.Show();
    if (!QTest::qWaitFor([&] { return Window.Player().Animation() == kAnimIdle; }, 3000)) std::abort();
  }
};

void BM_IdleCpuPercent(benchmark::State& state, const char* file) {
  TRestingCharacter c(file);
  for (auto _ : state) {
    const std::clock_t cpu0 = std::clock();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < 3000) QTest::qWait(50);
    const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    state.counters["cpu_percent"] = 100.0 * cpu / (static_cast<double>(wall.elapsed()) / 1000.0);
  }
}
BENCHMARK_CAPTURE(BM_IdleCpuPercent, merlin, "merlin.acs")->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_IdleCpuPercent, hibou, "hibou.acs")->Unit(benchmark::kSecond)->Iterations(1);

void BM_PaintOneFrame(benchmark::State& state) {
  TRestingCharacter c("merlin.acs");
  QImage target(c.Window.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    c.Window.render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(BM_PaintOneFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
