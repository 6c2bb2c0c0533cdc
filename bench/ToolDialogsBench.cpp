// The tool dialogs' previews: one redraw while dragging a point in the envelope dialog, one
// "&Appliquer" of noise on a sphere, and opening the noise dialog's preview in a scene of 1,000
// objects.
#include <benchmark/benchmark.h>

#include "commands/Modeller.h"
#include "commands/ToolDialogs.h"
#include "render/SceneRenderer.h"
#include "scene/Shapes.h"

using namespace ixoral;

namespace {

struct TMainScene {
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  TScene Scene;
  TModeller Modeller{Scene, Prompt, Clipboard, nullptr, nullptr};
  int Index;
  explicit TMainScene(TInsertCommand kind) {
    Scene.NewScene(true);
    Index = Modeller.Insert(kind);
  }
};

}  // namespace

// The envelope preview (217 x 233, as the dialog makes it): a corner of a cube picked with the
// right button, then dragged; each step moves the point and redraws the preview.
static void BM_EnvelopeDragStep(benchmark::State& state) {
  TMainScene main(TInsertCommand::Cube);
  const int w = 217, h = 233;
  TDisplayScene drawn(w, h, nullptr, nullptr);
  drawn.Scene.FourViews = false;
  if (!drawn.Renderer.InitDevice()) std::abort();
  drawn.Renderer.AutoRedraw = false;
  const TToolTarget target = SetUpPreview(drawn.Scene, drawn.Renderer, main.Scene, main.Index);
  drawn.Scene.Views[0].SetViewType(vtFace);
  drawn.Renderer.ShowMarker = true;
  drawn.Renderer.ShowSelectionMarks = false;
  TEnvelopeEditor editor(drawn.Scene, drawn.Renderer, target.PreviewIndex);
  // Find a pixel over a vertex: sweep until the editor offers one.
  int px = w / 2, py = h / 2;
  for (int y = 0; y < h && !editor.HasCurrent(); y += 3)
    for (int x = 0; x < w && !editor.HasCurrent(); x += 3) {
      editor.MouseMove(x, y, w, h);
      editor.Press(x, y, TEnvelopeEditor::TButton::Right);
      editor.Release(x, y, w, h, TEnvelopeEditor::TButton::Right);
      px = x, py = y;
    }
  editor.Press(px, py, TEnvelopeEditor::TButton::Left);
  int k = 0;
  for (auto _ : state) {
    ++k;
    editor.DragTo(px + (k % 40), py - (k % 30), w, h, 50);
    drawn.Renderer.RedrawViews();
  }
  state.counters["picked"] = editor.HasCurrent() ? 1 : 0;
}
BENCHMARK(BM_EnvelopeDragStep)->Unit(benchmark::kMillisecond);

// "&Appliquer" of noise on the default sphere (5,292 vertices): back to the scene's object, then
// the noise of a new seed.
static void BM_NoiseApplySphere(benchmark::State& state) {
  TMainScene main(TInsertCommand::Sphere);
  TScene preview;
  TScene::CopyAllObjects(preview, main.Scene);
  TNoiseChoice choice;
  std::string message;
  int32_t seed = 1;
  for (auto _ : state) {
    if (!ApplyNoisePreview(preview, main.Scene, main.Index, choice, ++seed, message)) std::abort();
  }
}
BENCHMARK(BM_NoiseApplySphere)->Unit(benchmark::kMillisecond);

// Opening the noise dialog on the middle object of 1,000, under the default light: the ten default
// inserts a hundred times each (argument 0) or 1,000 default spheres of 5,292 vertices (argument
// 1). The preview's display scene of 280 x 257 and its device, the preview set up on the object,
// its fill, and the first picture.
static void BM_OpenNoisePreviewThousand(benchmark::State& state) {
  TScene scene;
  scene.NewScene(true);
  const char* const kinds[10] = {"cube",     "cubeperce", "sphere", "cylindre", "cone",
                                 "pyramide", "tore",      "cercle", "paroiv",   "paroih"};
  for (int c = 0; c < 1000; ++c) {
    const TInsertDefault* d = FindInsertDefault(state.range(0) == 1 ? "sphere" : kinds[c % 10]);
    const int i = scene.AddObject(d->Create(), d->Prefix);
    scene.ObjectAt(i)->SetPosition({0.1 * (c % 10), 0.3 * (c / 10), 0});
  }
  const int index = scene.ObjectCount() / 2;
  for (auto _ : state) {
    TDisplayScene drawn(280, 257, nullptr, nullptr);
    drawn.Scene.FourViews = false;
    if (!drawn.Renderer.InitDevice()) std::abort();
    drawn.Renderer.AutoRedraw = false;
    drawn.Renderer.ShowAxes = drawn.Renderer.ShowGrid = false;
    const TToolTarget target = SetUpPreview(drawn.Scene, drawn.Renderer, scene, index);
    SetPreviewFill(drawn.Scene, drawn.Renderer, scene, target, true);
    drawn.Renderer.RedrawViews();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OpenNoisePreviewThousand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
