// The editors' "Appliquer": the longest text the text editor takes, made of glyphs rich in curves
// ("@&%W" repeated), at each precision with the fill on (what a user waits for after one click),
// and the curve editor's demonstration spiral.
#include <benchmark/benchmark.h>

#include <string>

#include "commands/Editors.h"
#include "render/SceneRenderer.h"

using namespace ixoral;

namespace {

void BM_TextEditorLongestText(benchmark::State& state) {
  TScene preview;
  TTextEditor editor(preview);
  editor.SetFont("Arial", static_cast<int>(state.range(0)));
  std::string text;
  while (text.size() < kMaxTextParamLength) text += "@&%W";
  text.resize(kMaxTextParamLength);
  for (auto _ : state) benchmark::DoNotOptimize(editor.Apply(text, true, 0xFFFFFFFF));
}
BENCHMARK(BM_TextEditorLongestText)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

// What a click on "Appliquer" costs with the text "Ixoral" at "Haute" (precision 3), filled: the
// build, then the preview drawn again (the editor's preview size).
void BM_TextEditorIxoralHighWithRedraw(benchmark::State& state) {
  TDisplayScene drawn(400, 300, nullptr, nullptr);
  drawn.Scene.FourViews = false;
  if (!drawn.Renderer.InitDevice()) std::abort();
  drawn.Scene.CreateDefaultLight();
  TTextEditor editor(drawn.Scene);
  editor.SetFont("Arial", 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(editor.Apply("Ixoral", true, 0xFFFFFFFF));
    drawn.Renderer.RedrawViews();
  }
}
BENCHMARK(BM_TextEditorIxoralHighWithRedraw)->Unit(benchmark::kMillisecond);

void BM_CurveEditorSpiral(benchmark::State& state) {
  TScene preview;
  TCurveEditor editor(preview);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        editor.Apply("0.5 * t * cos ( 5 * t )", "0.1 * t", "0.5 * t * sin ( 5 * t )", "0", "6.28"));
}
BENCHMARK(BM_CurveEditorSpiral)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
