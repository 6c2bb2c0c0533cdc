// Timing of the parametric curves at the insert defaults and of the 3D text at high precision.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "scene/Curves.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"

namespace ixoral {
namespace {

// Each built-in curve with the insert defaults: n 10, t 5, anglemax 0.3, r 0.1.
void BM_BuiltinCurve(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  size_t components = 0;
  for (auto _ : state) {
    auto s = CreateBuiltinCurve(10, which, kOpaqueWhite, 5, 0.3, 0.1);
    components = s->Composantes.size();
    benchmark::DoNotOptimize(s);
  }
  state.counters["components"] = static_cast<double>(components);
}
BENCHMARK(BM_BuiltinCurve)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// "Ixoral" in "Times New Roman" at precision 3 ("Haute") with the fill on.
void BM_Text3D(benchmark::State& state) {
  // Spacing, offset and divisor measured in "Arial" as the "Texte 3D" command does.
  TTTFToVectorConverter converter;
  converter.SetPrecision(1);
  const TFontMeasure m = MeasureFont(converter);
  const int32_t c = static_cast<int32_t>(std::nearbyint(double(m.Sum) / 254.0));
  converter.SetPrecision(3);
  converter.Font.Name = "Times New Roman";
  size_t vertices = 0, components = 0;
  for (auto _ : state) {
    auto s = CreateText3D("Ixoral", converter, m.Lowest, true, kOpaqueWhite, c, 0.2, m.Height, 1);
    vertices = s->VertexCount();
    components = s->Composantes.size();
    benchmark::DoNotOptimize(s);
  }
  int strokes = 0;
  for (char ch : std::string("Ixoral")) {
    auto st = GetGlyphStrokes(converter, static_cast<uint8_t>(ch));
    strokes += st ? st->Count() : 0;
  }
  state.counters["strokes"] = strokes;
  state.counters["vertices"] = static_cast<double>(vertices);
  state.counters["components"] = static_cast<double>(components);
}
BENCHMARK(BM_Text3D)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The largest text the inspector makes: 255 characters at precision 100, filled (it reaches the
// text's own work bounds).
void BM_LargestText3D(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 255; ++i) text += "Ixoral modeleur 3D, @&%$#!?"[i % 27];
  TTTFToVectorConverter converter;
  converter.SetPrecision(100);
  size_t vertices = 0;
  for (auto _ : state) {
    auto s = CreateText3D(text, converter, -200, true, kOpaqueWhite, 300, 0.2, 1400, 1);
    vertices = s->VertexCount();
    benchmark::DoNotOptimize(s);
  }
  state.counters["vertices"] = static_cast<double>(vertices);
}
BENCHMARK(BM_LargestText3D)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace ixoral
