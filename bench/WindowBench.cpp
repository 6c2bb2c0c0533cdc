// The modeller window's own costs, on Qt's offscreen platform: start-up to the window shown (the
// splash's wait aside), one mouse move of a drag to the new picture on the panel, and the
// 1,000th insert with the browser's update, the property inspector shown for a newly selected
// object, the noise dialog, the light editor, the view types and the print dialog opened in a
// scene of 1,000 objects, and the browser after a delete in a scene of 10,000.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <cstdlib>

#include "assistant/CharacterFolders.h"
#include "platform/DataFiles.h"
#include "scene/Scene.h"
#include "scene/Shapes.h"
#include "ui/LightDialog.h"
#include "ui/MainWindow.h"
#include "ui/PrintDialog.h"
#include "ui/Properties.h"
#include "ui/SceneBrowser.h"
#include "ui/ScenePanel.h"
#include "ui/ToolDialogs.h"
#include "ui/ViewTypesDialog.h"

using namespace ixoral;

namespace {

TSettingsStore& Store() {
  static TScriptedPrompt prompt;
  static TSettingsStore store("/dev/null/ixoral-bench-settings.ini", FailuresShownBy(prompt));  // never written
  return store;
}

void Settle() {
  QApplication::processEvents();
  QApplication::processEvents();
}

// A shown main window of 1280 x 800, holding a light and `cubes` cubes.
struct TShownWindow {
  TScriptedPrompt Prompt{TAnswer::No};
  TfrmMain Window{Store(), &Prompt};
  explicit TShownWindow(int cubes, const QString& document = {}, TInsertCommand kind = TInsertCommand::Cube) {
    Window.Start(document);
    Window.resize(1280, 800);
    Window.show();
    Settle();
    while (Window.Scene()->ObjectCount() < cubes + 1) Window.Modeller()->Insert(kind);
    Window.FlushPending();
  }
};

void BM_StartUpToTheWindowShown(benchmark::State& state) {
  TScriptedPrompt prompt(TAnswer::No);
  for (auto _ : state) {
    TfrmMain w(Store(), &prompt);
    w.Start();
    w.resize(1280, 800);
    w.show();
    w.FlushPending();
    w.Panel()->repaint();
    state.PauseTiming();
    w.close();
    Settle();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToTheWindowShown)->Unit(benchmark::kMillisecond);

void BM_DragMoveToTheNewPicture(benchmark::State& state) {
  TShownWindow shown(0, QString::fromStdString(FindDataFile("samples/reference.ixr")));
  TfrmMain& w = shown.Window;
  w.Modeller()->SelectFromBrowser(w.Scene()->IndexOfName("Cube1"));
  w.SetOperation(opMove, axFree);
  Settle();
  TScenePanel* panel = w.Panel();
  const QPoint start(panel->width() / 4, panel->height() / 4);
  QTest::mouseMove(panel, start);
  QTest::mousePress(panel, Qt::LeftButton, {}, start);
  int dx = 0;
  for (auto _ : state) {
    dx = (dx + 7) % 150;
    QTest::mouseMove(panel, start + QPoint(dx, dx / 3));
    panel->repaint();  // the picture on the panel, painted now
  }
  QTest::mouseRelease(panel, Qt::LeftButton, {}, start);
}
BENCHMARK(BM_DragMoveToTheNewPicture)->Unit(benchmark::kMillisecond);

void BM_InsertThe1000thObject(benchmark::State& state) {
  TShownWindow shown(998);
  TfrmMain& w = shown.Window;
  TModeller& m = *w.Modeller();
  for (auto _ : state) {
    m.Insert(TInsertCommand::Cube);
    w.FlushBrowser();  // the browser's node and the selection in it
    state.PauseTiming();
    w.Scene()->DeleteObject(w.Scene()->ObjectCount() - 1);
    w.FlushPending();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InsertThe1000thObject)->Unit(benchmark::kMillisecond);

// What follows an insert in a scene of 1,000 cubes: the four views drawn again.
void BM_RedrawOf1000Objects(benchmark::State& state) {
  TShownWindow shown(1000);
  for (auto _ : state) shown.Window.Panel()->RedrawNow();
}
BENCHMARK(BM_RedrawOf1000Objects)->Unit(benchmark::kMillisecond);

// The noise dialog opened on the 500th of 1,000 cubes, from its making to its first picture shown,
// then closed.
void BM_NoiseDialogOpenAt1000Objects(benchmark::State& state) {
  TShownWindow shown(1000);
  TfrmMain& w = shown.Window;
  for (auto _ : state) {
    TFrmBruit d(&w, *w.Modeller(), shown.Prompt, &Store(), 500);
    d.show();
    Settle();
    state.PauseTiming();
    d.close();
    Settle();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_NoiseDialogOpenAt1000Objects)->Unit(benchmark::kMillisecond);

// The light editor, the view types and the print dialog opened in a scene of 1,000 cubes
// (argument 0) or 1,000 default spheres of 5,292 vertices (argument 1), from their making to their
// first picture shown, then closed.
template <class TOpen>
void OpenDialogAt1000Objects(benchmark::State& state, TOpen open) {
  TShownWindow shown(1000, {}, state.range(0) == 1 ? TInsertCommand::Sphere : TInsertCommand::Cube);
  for (auto _ : state) {
    std::unique_ptr<QDialog> d = open(shown);
    d->show();
    Settle();
    state.PauseTiming();
    d->close();
    d.reset();
    Settle();
    state.ResumeTiming();
  }
}

void BM_LightDialogOpenAt1000Objects(benchmark::State& state) {
  OpenDialogAt1000Objects(state, [](TShownWindow& s) -> std::unique_ptr<QDialog> {
    return std::make_unique<TfrmLight>(&s.Window, *s.Window.Modeller(), Store(), s.Prompt);
  });
}
BENCHMARK(BM_LightDialogOpenAt1000Objects)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ViewTypesDialogOpenAt1000Objects(benchmark::State& state) {
  OpenDialogAt1000Objects(state, [](TShownWindow& s) -> std::unique_ptr<QDialog> {
    return std::make_unique<TfrmParams>(&s.Window, *s.Window.Modeller(), Store());
  });
}
BENCHMARK(BM_ViewTypesDialogOpenAt1000Objects)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PrintDialogOpenAt1000Objects(benchmark::State& state) {
  OpenDialogAt1000Objects(state, [](TShownWindow& s) -> std::unique_ptr<QDialog> {
    return std::make_unique<TFrmRendu>(&s.Window, *s.Window.Scene(), &Store(), s.Prompt, 4.0 / 3.0);
  });
}
BENCHMARK(BM_PrintDialogOpenAt1000Objects)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Counts the paints a widget receives.
struct TPaintCounter : QObject {
  int Paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

// A redraw of the views asked through the event loop, from the request to the panel painted, in a
// scene of 100 cubes: without the assistant (0), and with the character on the screen speaking, its
// frames and balloon running on the same thread (1). The character's timers fire between the
// requests, so any frame of its due during a request delays that redraw.
void BM_SceneRedrawBesideTheCharacter(benchmark::State& state) {
  TShownWindow shown(100);
  TfrmMain& w = shown.Window;
  TCharacterWindow& c = *w.Character();
  if (state.range(0) == 1) {
    c.SetVoiceEnabled(false);
    c.Load(kCharacterId, ResolveCharacterPath(kDefaultCharacter));
    c.SetPosition(900, 500);
    c.Show();
    for (int k = 0; k < 50; ++k)
      c.Speak("Voici la scène, c'est elle qui va vous permettre de déplacer simplement des points.");
    if (!QTest::qWaitFor([&] { return c.Speaking(); }, 3000)) state.SkipWithError("the character does not speak");
  }
  TPaintCounter counter;
  w.Panel()->installEventFilter(&counter);
  for (auto _ : state) {
    state.PauseTiming();
    QTest::qWait(7);
    const int before = counter.Paints;
    state.ResumeTiming();
    w.Panel()->update();
    while (counter.Paints == before) QApplication::processEvents();
  }
  w.Panel()->removeEventFilter(&counter);
  if (state.range(0) == 1) c.Stop();
}
BENCHMARK(BM_SceneRedrawBesideTheCharacter)->Arg(0)->Arg(1)->Iterations(300)->Unit(benchmark::kMillisecond);

// A new current object: the inspector's controls built again for it, filled and painted (the
// selection's own work, the browser and the views, is left out). Argument 0: a cube after a
// sphere, 1: the light after a cube, 2: a 3D text (its list of fonts) after a cube.
void BM_InspectorShownForANewObject(benchmark::State& state) {
  TShownWindow shown(0);
  TfrmMain& w = shown.Window;
  TModeller& m = *w.Modeller();
  const int first = m.Insert(state.range(0) == 0 ? TInsertCommand::Sphere : TInsertCommand::Cube);
  const int second = state.range(0) == 0   ? m.Insert(TInsertCommand::Cube)
                     : state.range(0) == 1 ? w.Scene()->IndexOfName("Lumière1")
                                           : m.Insert(TInsertCommand::Texte3D);
  w.FlushPending();
  TProperties& inspector = *w.Properties();
  QWidget* section = w.PropertiesPanel()->parentWidget();
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    inspector.Show(flip ? first : second);
    section->repaint();
    if (inspector.Shown() != (flip ? first : second)) state.SkipWithError("the inspector did not follow");
  }
}
BENCHMARK(BM_InspectorShownForANewObject)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A node chosen in the browser: the selection, then on the next turn of the event loop the
// inspector built and filled for the new object, the browser and the four views drawn again, and
// the property section painted. Arguments as above.
void BM_SelectionWithTheInspector(benchmark::State& state) {
  TShownWindow shown(0);
  TfrmMain& w = shown.Window;
  TModeller& m = *w.Modeller();
  const int first = m.Insert(state.range(0) == 0 ? TInsertCommand::Sphere : TInsertCommand::Cube);
  const int second = state.range(0) == 0   ? m.Insert(TInsertCommand::Cube)
                     : state.range(0) == 1 ? w.Scene()->IndexOfName("Lumière1")
                                           : m.Insert(TInsertCommand::Texte3D);
  w.FlushPending();
  TProperties& inspector = *w.Properties();
  QWidget* section = w.PropertiesPanel()->parentWidget();
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    m.SelectFromBrowser(flip ? first : second);
    QApplication::processEvents();
    section->repaint();
    if (inspector.Shown() != (flip ? first : second)) state.SkipWithError("the inspector did not follow");
  }
}
BENCHMARK(BM_SelectionWithTheInspector)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One step of a drag: the inspector's values filled again for the moved object.
void BM_InspectorFillAfterAMove(benchmark::State& state) {
  TShownWindow shown(1);
  TfrmMain& w = shown.Window;
  TProperties& inspector = *w.Properties();
  Settle();
  T3dObject* cube = w.Scene()->ObjectAt(w.Scene()->CurrentObject());
  double x = 0;
  for (auto _ : state) {
    cube->SetPosition({x += 0.01, 0, 0});
    inspector.Fill();
  }
}
BENCHMARK(BM_InspectorFillAfterAMove)->Unit(benchmark::kMillisecond);

// The browser of a 10,000-object scene (groups of five) after one object was deleted: brought
// up to date (Arg 0) or built again (Arg 1), the widget alone.
static void BM_BrowserAfterADeleteOf10000(benchmark::State& state) {
  TScene scene;
  scene.NewScene(true);
  for (int i = 1; i < 10000; ++i) {
    const int k = scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube" + std::to_string(i));
    if (i % 5 != 1) scene.LinkParent(k, k - 1);
  }
  TSceneBrowser browser;
  browser.resize(300, 800);
  browser.show();
  browser.Rebuild(scene, -1);
  Settle();
  for (auto _ : state) {
    state.PauseTiming();
    scene.DeleteObject(scene.ObjectCount() / 2);
    scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube");
    browser.Rebuild(scene, -1);
    Settle();
    scene.DeleteObject(scene.ObjectCount() / 3);
    state.ResumeTiming();
    if (state.range(0) == 0)
      browser.Update(scene);
    else
      browser.Rebuild(scene, -1);
    Settle();
  }
}
BENCHMARK(BM_BrowserAfterADeleteOf10000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
