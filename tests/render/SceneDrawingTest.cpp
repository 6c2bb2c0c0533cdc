// Whole scenes drawn by the scene renderer: the reference scene in each view and in four views,
// fill and shade modes, relations, transparency order, selection marks, captions, and mouse drags.
#include <gtest/gtest.h>

#include <limits>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "RenderTestUtil.h"
#include "TempFolder.h"
#include "render/Manipulation.h"
#include "render/ViewInteraction.h"
#include "platform/Settings.h"
#include "render/SceneRenderer.h"
#include "scene/Shapes.h"
#include "scene/ViewOps.h"

namespace ixoral::test {
namespace {

// Records what is shown on the window.
struct TRecordingPresenter : IPresenter {
  std::vector<std::pair<D3DRECT, D3DRECT>> Shown;
  void Present(const TSurface&, const D3DRECT& s, const D3DRECT& d) override { Shown.push_back({s, d}); }
};

// A settings store of its own with the boolean operations option on or off.
TSettingsStore& OptionsStore(bool opBool) {
  static test::TTempFolder folder("scene-drawing");
  static TSettingsStore store(folder.File("settings.ini"));
  store.WriteString("\\Affichage", "OpBool", opBool ? "1" : "0");
  return store;
}

struct TSceneRig {
  TRecordingPresenter Presenter;
  TDisplayScene Drawn;
  TScene& Scene;
  TSceneRenderer& Renderer;
  TSceneRig(int w, int h, bool four, bool opBool = false)
      : Drawn(w, h, &OptionsStore(opBool), &Presenter), Scene(Drawn.Scene), Renderer(Drawn.Renderer) {
    Scene.FourViews = four;
    EXPECT_TRUE(Renderer.InitDevice());
    Scene.NewScene(true);
    Renderer.ShowGrid = Renderer.ShowAxes = true;
  }
  TSurface& Surface() { return *Renderer.Display().OffscreenSurface(); }
  int Add(const char* keyword, const Vec3d& p) {
    const TInsertDefault* d = FindInsertDefault(keyword);
    const int i = Scene.AddObject(d->Create(), d->Prefix);
    Scene.ObjectAt(i)->SetPosition(p);
    return i;
  }
  // The ten default inserts around the origin.
  void AddReferenceObjects() {
    Add("cube", {-1.2, 0, 0});
    Add("cubeperce", {0, 1.2, 0});
    Add("sphere", {0, 0, 0});
    Add("cylindre", {0, 0, 1.2});
    Add("cone", {-1.2, 0, 1.2});
    Add("pyramide", {1.2, 0, 1.2});
    Add("tore", {1.2, 0, 0});
    Add("cercle", {0, 0, -1.2});
    Add("paroiv", {-1.2, 0, -1.2});
    Add("paroih", {1.2, 0, -1.2});
  }
};

// A picture of one view of a single-view scene, for a view type.
void DrawSingle(TSceneRig& rig, int type) {
  rig.Scene.Views[0].SetViewType(type);
  rig.Renderer.DrawView(0);
}

TEST(SceneDrawing, ReferenceSceneInEachViewType) {
  TSceneRig rig(240, 180, false);
  rig.AddReferenceObjects();
  const char* names[4] = {"scene-face", "scene-gauche", "scene-haut", "scene-user"};
  for (int t = 0; t < 4; ++t) {
    DrawSingle(rig, t);
    ExpectMatchesReference(rig.Surface(), names[t]);
  }
  // In "Face" the sphere at the origin covers the centre; the background stays black in a corner.
  DrawSingle(rig, vtFace);
  EXPECT_NE(rig.Surface().Pixel(120, 90) & 0xFFFFFF, 0u);
  EXPECT_EQ(rig.Surface().Pixel(2, 178) & 0xFFFFFF, 0u);
}

TEST(SceneDrawing, FourViewsWithCaptionsInTheActiveAndHoveredViewsOnly) {
  TSceneRig rig(480, 360, true);
  rig.AddReferenceObjects();
  rig.Renderer.SetDisplayRect({10, 20, 490, 380});
  rig.Presenter.Shown.clear();
  rig.Renderer.RedrawViews(2, 1, true);
  // Active view first, then the following ones, then those before.
  ASSERT_EQ(rig.Presenter.Shown.size(), 4u);
  EXPECT_EQ(rig.Presenter.Shown[0].first.x1, 0);
  EXPECT_EQ(rig.Presenter.Shown[0].first.y1, 180);
  EXPECT_EQ(rig.Presenter.Shown[0].second.y1, 200);
  EXPECT_EQ(rig.Presenter.Shown[1].first.x1, 240);  // view 3
  EXPECT_EQ(rig.Presenter.Shown[2].first.y1, 0);    // view 0
  auto yellowIn = [&](int x0, int y0) {
    int n = 0;
    for (int y = y0 + 5; y < y0 + 25; ++y)
      for (int x = x0 + 10; x < x0 + 110; ++x) n += (rig.Surface().Pixel(x, y) & 0xFFFFFF) == 0xFFFF00;
    return n;
  };
  EXPECT_GT(yellowIn(0, 180), 10);  // active "Haut"
  EXPECT_GT(yellowIn(240, 0), 10);  // hovered "Gauche"
  EXPECT_EQ(yellowIn(0, 0), 0);
  EXPECT_EQ(yellowIn(240, 180), 0);
  // Active view sunken: grey 2-pixel pen on its left edge; hovered raised: white.
  EXPECT_EQ(rig.Surface().Pixel(1, 300), 0xFF808080u);
  EXPECT_EQ(rig.Surface().Pixel(241, 100), 0xFFFFFFFFu);
  ExpectMatchesReference(rig.Surface(), "scene-four-views", 3, 20);
}

TEST(SceneDrawing, CaptionsGrowWithThePixelRatioOfADoubledScreen) {
  // The height of the active view's caption, in rows holding some of its yellow.
  auto captionRows = [](double ratio) {
    TSceneRig rig(480 * 2, 360 * 2, true);
    rig.Renderer.PixelRatio = ratio;
    rig.Renderer.SetDisplayRect({0, 0, 960, 720});
    rig.Renderer.RedrawViews(0, 0, true);
    int first = -1, last = -1;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 300; ++x)
        if ((rig.Surface().Pixel(x, y) & 0xFFFFFF) == 0xFFFF00) {
          if (first < 0) first = y;
          last = y;
        }
    return first < 0 ? 0 : last - first + 1;
  };
  const int single = captionRows(1), doubled = captionRows(2);
  ASSERT_GT(single, 5);
  EXPECT_NEAR(doubled, 2 * single, 2);
  // A ratio no screen has is held to what the views can show.
  EXPECT_GT(captionRows(std::numeric_limits<double>::quiet_NaN()), 5);
}

TEST(SceneDrawing, WireframeAndFlatShading) {
  TSceneRig rig(240, 180, false);
  rig.AddReferenceObjects();
  rig.Renderer.SetFillMode(D3DFILL_WIREFRAME);
  DrawSingle(rig, vtPerspective);
  ExpectMatchesReference(rig.Surface(), "scene-wireframe");
  rig.Renderer.SetFillMode(D3DFILL_SOLID);
  rig.Renderer.SetShadeMode(D3DSHADE_FLAT);
  DrawSingle(rig, vtPerspective);
  ExpectMatchesReference(rig.Surface(), "scene-flat");
}

// Flat shading colours each face in one colour and must cover exactly the pixels Gouraud shading
// covers: no shard of a face beyond the solid's outline, whatever the torus's turn and the views'
// zoom, turn and shift (on a background no face can take).
TEST(SceneDrawing, FlatShadingCoversWhatGouraudCovers) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> turn(-3.2, 3.2), zoom(0.2, 3), shift(-1, 1);
  TSceneRig rig(320, 240, true);
  rig.Drawn.Display.BackgroundColor = 0xFFFF00FFu;
  TSurface& surface = rig.Surface();
  const size_t pixels = size_t(surface.Width()) * size_t(surface.Height());
  T3dObject& torus = *rig.Scene.ObjectAt(rig.Add("tore", {0, 0, 0}));
  size_t seen = 0;  // torus pixels over all rounds: the comparison is not of empty pictures
  for (int round = 0; round < 40; ++round) {
    torus.SetDirection({turn(rng), turn(rng), turn(rng)});
    for (TVue& v : rig.Scene.Views) {
      const double s = zoom(rng);
      v.SetViewScale({s, s, s});
      v.SetViewRotation({turn(rng) * 0.3, turn(rng) * 0.3, 0});
      v.SetViewTranslation({shift(rng), shift(rng), shift(rng)});
    }
    std::vector<uint32_t> gouraud;
    for (const DWORD mode : {D3DSHADE_GOURAUD, D3DSHADE_FLAT}) {
      rig.Renderer.SetShadeMode(mode);
      rig.Renderer.ForgetPictures();
      rig.Renderer.RedrawViews(0, 0, false);
      if (mode == D3DSHADE_GOURAUD) {
        gouraud.assign(surface.Pixels(), surface.Pixels() + pixels);
        continue;
      }
      int beyond = 0, short_ = 0;
      for (size_t k = 0; k < pixels; ++k) {
        const bool flat = (surface.Pixels()[k] & 0xFFFFFFu) != 0xFF00FFu,
                   smooth = (gouraud[k] & 0xFFFFFFu) != 0xFF00FFu;
        beyond += flat && !smooth;
        short_ += smooth && !flat;
        seen += smooth;
      }
      EXPECT_EQ(beyond, 0) << "round " << round;
      EXPECT_EQ(short_, 0) << "round " << round;
    }
  }
  EXPECT_GT(seen, pixels * 40 / 20);
}

TEST(SceneDrawing, SelectedObjectShowsItsMarksAndItsOwnAxes) {
  TSceneRig rig(240, 180, false);
  const int c = rig.Add("cube", {0.3, 0, 0});
  rig.Scene.ObjectAt(c)->SetScale({2, 2, 2});
  rig.Scene.SelectObject(c);
  rig.Scene.SetMarksColor(c, kMarkColorCurrent);
  DrawSingle(rig, vtPerspective);
  int yellow = 0;
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 240; ++x) yellow += (rig.Surface().Pixel(x, y) & 0xFFFFFF) == 0xFFFF00;
  EXPECT_GT(yellow, 30);
  ExpectMatchesReference(rig.Surface(), "scene-selected");
  rig.Renderer.ShowSelectionMarks = false;
  DrawSingle(rig, vtPerspective);
  yellow = 0;
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 240; ++x) yellow += (rig.Surface().Pixel(x, y) & 0xFFFFFF) == 0xFFFF00;
  EXPECT_EQ(yellow, 0);
}

TEST(SceneDrawing, TransparentSolidIsDrawnAfterTheOpaqueOnes) {
  TSceneRig rig(200, 150, false);
  rig.Renderer.ShowGrid = rig.Renderer.ShowAxes = false;
  // A half-transparent red cube in front of an opaque white one, added first: drawn last, it
  // blends over the white cube behind it.
  const int glass = rig.Add("cube", {0, 0, 0});
  rig.Scene.ObjectAt(glass)->SetColor(D3DRGBA(1, 0, 0, 0.5));
  rig.Add("cube", {0, 0, 0.6});
  DrawSingle(rig, vtFace);
  const uint32_t mid = rig.Surface().Pixel(100, 75);
  EXPECT_GT(Red(mid), Green(mid) + 20);
  EXPECT_GT(Green(mid), 20);  // the white cube shows through
  ExpectMatchesReference(rig.Surface(), "scene-transparent");
  // Alpha 255: drawn in scene order, the opaque red cube hides the white one.
  rig.Scene.ObjectAt(glass)->SetColor(D3DRGBA(1, 0, 0, 1));
  DrawSingle(rig, vtFace);
  EXPECT_LT(Green(rig.Surface().Pixel(100, 75)), 5);
}

TEST(SceneDrawing, Alpha254WaitsForTheOpaqueSolidsAndEqualKeysGoLaterFirst) {
  TSceneRig rig(200, 150, false);
  rig.Renderer.ShowGrid = rig.Renderer.ShowAxes = false;
  // Drawn first, the front cube would hide the white one behind it (green 0); drawn after all
  // opaque solids it blends over it, letting 1/255 of the white through.
  const int front = rig.Add("cube", {0, 0, 0});
  rig.Scene.ObjectAt(front)->SetColor(0xFEFF0000);
  rig.Add("cube", {0, 0, 0.6});
  DrawSingle(rig, vtFace);
  EXPECT_EQ(Green(rig.Surface().Pixel(100, 75)), 1);
  rig.Scene.ObjectAt(front)->SetColor(0xFFFF0000);
  DrawSingle(rig, vtFace);
  EXPECT_EQ(Green(rig.Surface().Pixel(100, 75)), 0);
  // Two half-transparent cubes in the same place have equal keys: the one added later is drawn
  // first, so the one added first ends on top.
  TSceneRig two(200, 150, false);
  two.Renderer.ShowGrid = two.Renderer.ShowAxes = false;
  two.Scene.ObjectAt(two.Add("cube", {0, 0, 0}))->SetColor(D3DRGBA(1, 0, 0, 0.5));
  two.Scene.ObjectAt(two.Add("cube", {0, 0, 0}))->SetColor(D3DRGBA(0, 0, 1, 0.5));
  DrawSingle(two, vtFace);
  const uint32_t mid = two.Surface().Pixel(100, 75);
  EXPECT_GT(Red(mid), Blue(mid) + 30);
}

TEST(SceneDrawing, IsolatedObjectIsTheOnlySolidDrawn) {
  TSceneRig rig(200, 150, false);
  rig.Renderer.ShowGrid = rig.Renderer.ShowAxes = false;
  rig.Add("cube", {-0.6, 0, 0});
  const int keep = rig.Add("sphere", {0.6, 0, 0});
  rig.Renderer.IsolateObject = true;
  rig.Renderer.IsolatedIndex = keep;
  DrawSingle(rig, vtFace);
  int left = 0, right = 0;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) {
      if ((rig.Surface().Pixel(x, y) & 0xFFFFFF) == 0) continue;
      (x < 100 ? left : right)++;
    }
  EXPECT_EQ(left, 0);
  EXPECT_GT(right, 500);
}

TEST(SceneDrawing, SubtractionAndIntersectionThroughTheStencil) {
  TSceneRig rig(200, 150, false, true);
  ASSERT_TRUE(rig.Renderer.Display().RelationDisplay);
  ASSERT_TRUE(rig.Surface().HasStencil());
  rig.Renderer.ShowGrid = rig.Renderer.ShowAxes = false;
  const int parent = rig.Add("cube", {0, 0, 0});
  rig.Scene.ObjectAt(parent)->SetScale({2, 2, 2});
  // A sphere centred on the middle of the cube's front face.
  const int child = rig.Add("sphere", {0, 0, -0.5});
  rig.Scene.ObjectAt(child)->SetColor(D3DRGB(1, 0.3, 0.3));
  ASSERT_TRUE(rig.Scene.SetParent(child, parent));
  ASSERT_TRUE(rig.Scene.SetRelation(child, parent, relSoustraction));
  DrawSingle(rig, vtFace);
  // The bite shows the sphere's inside (red); around it the cube's face (grey).
  uint32_t mid = rig.Surface().Pixel(100, 75);
  EXPECT_GT(Red(mid), Green(mid) + 20);
  uint32_t side = rig.Surface().Pixel(40, 30);
  EXPECT_NEAR(Red(side), Green(side), 3);
  EXPECT_GT(Green(side), 30);
  ExpectMatchesReference(rig.Surface(), "scene-subtraction");
  DrawSingle(rig, vtPerspective);
  ExpectMatchesReference(rig.Surface(), "scene-subtraction-user");
  // The intersection keeps the cube's face only inside the sphere: a grey disk, black around it.
  rig.Scene.SolidAt(child)->Relation = relIntersection;
  DrawSingle(rig, vtFace);
  mid = rig.Surface().Pixel(100, 75);
  EXPECT_NEAR(Red(mid), Green(mid), 3);
  EXPECT_GT(Green(mid), 30);
  EXPECT_EQ(rig.Surface().Pixel(40, 30) & 0xFFFFFF, 0u);
  ExpectMatchesReference(rig.Surface(), "scene-intersection");
  // A subtraction whose child is far away draws the parent whole and nothing of the child.
  rig.Scene.SolidAt(child)->Relation = relSoustraction;
  rig.Scene.ObjectAt(child)->SetPosition({5, 0, 0});
  DrawSingle(rig, vtFace);
  mid = rig.Surface().Pixel(100, 75);
  EXPECT_NEAR(Red(mid), Green(mid), 3);
  EXPECT_GT(Green(mid), 30);
}

// A child that passes right through its parent: every stencil pass counts, including the
// decrement of step 3 (the parent's back faces in front of the child's back), which a bite into
// one face never reaches.
TEST(SceneDrawing, RelationsWithAChildPassingThroughItsParent) {
  TSceneRig rig(200, 150, false, true);
  rig.Renderer.ShowGrid = rig.Renderer.ShowAxes = false;
  const int parent = rig.Add("cube", {0, 0, 0});
  rig.Scene.ObjectAt(parent)->SetScale({2, 2, 2});  // a cube of side 1
  // A thin upright cylinder, taller than the cube, through its middle.
  const int child = rig.Add("cylindre", {0, 0, 0});
  rig.Scene.ObjectAt(child)->SetScale({0.5, 1.6, 0.5});
  rig.Scene.ObjectAt(child)->SetColor(D3DRGB(1, 0.2, 0.2));
  ASSERT_TRUE(rig.Scene.SetParent(child, parent));
  ASSERT_TRUE(rig.Scene.SetRelation(child, parent, relSoustraction));

  // Seen from the top, the subtraction is a hole right through the cube: the background shows in
  // the middle, nothing of the cylinder's inside, the cube's top face around it.
  DrawSingle(rig, vtHaut);
  const uint32_t hole = rig.Surface().Pixel(100, 75);
  EXPECT_EQ(hole & 0xFFFFFF, 0u) << std::hex << hole;
  const uint32_t top = rig.Surface().Pixel(100 + 35, 75 + 35);
  EXPECT_NEAR(Red(top), Green(top), 3);
  EXPECT_GT(Green(top), 30);
  ExpectMatchesReference(rig.Surface(), "scene-subtraction-through");

  // The intersection is the part of the cube inside the cylinder: a grey disk, black around it.
  rig.Scene.SolidAt(child)->Relation = relIntersection;
  DrawSingle(rig, vtHaut);
  const uint32_t core = rig.Surface().Pixel(100, 75);
  EXPECT_NEAR(Red(core), Green(core), 3);
  EXPECT_GT(Green(core), 30);
  EXPECT_EQ(rig.Surface().Pixel(100 + 35, 75 + 35) & 0xFFFFFF, 0u);
  ExpectMatchesReference(rig.Surface(), "scene-intersection-through");
}

TEST(SceneDrawing, TexturedCube) {
  TSceneRig rig(200, 150, false);
  rig.Renderer.ShowGrid = rig.Renderer.ShowAxes = false;
  const int c = rig.Add("cube", {0, 0, 0});
  ASSERT_TRUE(rig.Scene.Device().LoadTexture(*rig.Scene.SolidAt(c),
                                             std::string(IXORAL_TEST_DATA_DIR) + "/images/pattern24.bmp"));
  rig.Scene.ObjectAt(c)->SetScale({2, 2, 2});
  DrawSingle(rig, vtPerspective);
  ExpectMatchesReference(rig.Surface(), "scene-textured");
}

TEST(SceneDrawing, PointMarkersAndTheGuideLine) {
  TSceneRig rig(200, 150, false);
  rig.Renderer.ShowGrid = rig.Renderer.ShowAxes = false;
  const int c = rig.Add("cube", {0, 0, 0});
  const auto firstMarks = rig.Scene.ObjectAt(c)->SelectionMarks;
  rig.Renderer.SetObjectPointMarker(c, {0.25, 0.25, -0.25});
  rig.Renderer.SetMarker({-0.25, -0.25, -0.25});
  const auto& marks = rig.Scene.ObjectAt(c)->SelectionMarks;
  for (int k = 0; k < 24; ++k) EXPECT_EQ(marks[size_t(k)].x, firstMarks[size_t(k)].x);
  EXPECT_EQ(marks[24].color, D3DRGBA(1, 0, 0, 1));
  EXPECT_FLOAT_EQ(marks[24].x, 0.2f);
  ASSERT_EQ(rig.Renderer.MarkerLines.size(), 24u);
  EXPECT_EQ(rig.Renderer.GuidePoints[0], (Vec3d{0.25, 0.25, -0.25}));
  EXPECT_EQ(rig.Renderer.GuidePoints[1], (Vec3d{-0.25, -0.25, -0.25}));
  // The guide line is drawn green over the cube's face, from corner to corner.
  rig.Renderer.ShowGuideLine = true;
  DrawSingle(rig, vtFace);
  int green = 0;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) green += (rig.Surface().Pixel(x, y) & 0xFFFFFF) == 0x00FF00;
  EXPECT_GT(green, 30);
}

// Every kind of scene the tests above draw, each picture's pixels in turn, drawn by devices of
// the thread count IXORAL_RENDER_THREADS gives.
std::vector<std::vector<uint32_t>> EveryKindOfScene() {
  std::vector<std::vector<uint32_t>> pictures;
  auto keep = [&](TSceneRig& rig) {
    const TSurface& s = rig.Surface();
    pictures.emplace_back(s.Pixels(), s.Pixels() + size_t(s.Width()) * s.Height());
  };
  {
    TSceneRig rig(480, 360, true);  // four views, captions and frames
    rig.AddReferenceObjects();
    rig.Renderer.RedrawViews(2, 1, true);
    keep(rig);
    rig.Renderer.SetFillMode(D3DFILL_WIREFRAME);
    rig.Renderer.RedrawViews(0, 3, false);
    keep(rig);
    rig.Renderer.SetFillMode(D3DFILL_SOLID);
    rig.Renderer.SetShadeMode(D3DSHADE_FLAT);
    rig.Renderer.RedrawViews(1, 1, false);
    keep(rig);
  }
  {
    TSceneRig rig(240, 180, false);  // selection marks, own axes, point markers, guide line
    const int c = rig.Add("cube", {0.3, 0, 0});
    rig.Add("tore", {-0.5, 0.2, 0.4});
    rig.Scene.SelectObject(c);
    rig.Scene.SetMarksColor(c, kMarkColorCurrent);
    rig.Renderer.SetObjectPointMarker(c, {0.25, 0.25, -0.25});
    rig.Renderer.SetMarker({-0.25, -0.25, -0.25});
    rig.Renderer.ShowGuideLine = true;
    for (int t = 0; t < 4; ++t) {
      DrawSingle(rig, t);
      keep(rig);
    }
  }
  {
    TSceneRig rig(200, 150, false);  // transparency, and a texture
    rig.Scene.ObjectAt(rig.Add("cube", {0, 0, 0}))->SetColor(D3DRGBA(1, 0, 0, 0.5));
    rig.Scene.ObjectAt(rig.Add("sphere", {0.2, 0, 0}))->SetColor(D3DRGBA(0, 0, 1, 0.4));
    const int t = rig.Add("cube", {0, 0, 0.6});
    EXPECT_TRUE(rig.Scene.Device().LoadTexture(*rig.Scene.SolidAt(t),
                                               std::string(IXORAL_TEST_DATA_DIR) + "/images/pattern24.bmp"));
    DrawSingle(rig, vtFace);
    keep(rig);
    DrawSingle(rig, vtPerspective);
    keep(rig);
  }
  {
    TSceneRig rig(200, 150, false, true);  // subtraction and intersection through the stencil
    const int parent = rig.Add("cube", {0, 0, 0});
    rig.Scene.ObjectAt(parent)->SetScale({2, 2, 2});
    const int child = rig.Add("sphere", {0, 0, -0.5});
    rig.Scene.ObjectAt(child)->SetColor(D3DRGB(1, 0.3, 0.3));
    EXPECT_TRUE(rig.Scene.SetParent(child, parent));
    EXPECT_TRUE(rig.Scene.SetRelation(child, parent, relSoustraction));
    DrawSingle(rig, vtFace);
    keep(rig);
    DrawSingle(rig, vtPerspective);
    keep(rig);
    rig.Scene.SolidAt(child)->Relation = relIntersection;
    DrawSingle(rig, vtPerspective);
    keep(rig);
  }
  return pictures;
}

TEST(SceneDrawing, EveryKindOfSceneIsTheSameWithOneTwoOrSevenThreads) {
  const char* saved = std::getenv("IXORAL_RENDER_THREADS");
  const std::string before = saved ? saved : "";
  std::vector<std::vector<uint32_t>> one;
  for (const char* threads : {"1", "2", "7"}) {
    setenv("IXORAL_RENDER_THREADS", threads, 1);
    const auto pictures = EveryKindOfScene();
    if (one.empty()) {
      one = pictures;
      continue;
    }
    ASSERT_EQ(pictures.size(), one.size());
    for (size_t i = 0; i < one.size(); ++i)
      EXPECT_TRUE(pictures[i] == one[i]) << "picture " << i << " with " << threads << " threads";
  }
  if (saved)
    setenv("IXORAL_RENDER_THREADS", before.c_str(), 1);
  else
    unsetenv("IXORAL_RENDER_THREADS");
}

// ------------------------------------------------------------------------ manipulation

struct TDragRig {
  TScene Scene;
  TManipulation M;
  int Cube;
  TDragRig() {
    Cube = Scene.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube");
    Scene.SelectObject(Cube);
  }
  Vec3d Pos() const { return Scene.ObjectAt(Cube)->Position; }
};

void ExpectVec(const Vec3d& v, double x, double y, double z) {
  EXPECT_NEAR(v.x, x, 1e-5);
  EXPECT_NEAR(v.y, y, 1e-5);
  EXPECT_NEAR(v.z, z, 1e-5);
}

TEST(Manipulation, MoveDragsFollowTheScreenAxesOfTheView) {
  TDragRig r;
  BeginManipulation(r.Scene, r.M, opMove, 0);
  ContinueManipulation(r.Scene, r.M, 0, opMove, 200, 0, axFree);
  ExpectVec(r.Pos(), 1, 0, 0);
  BeginManipulation(r.Scene, r.M, opMove, 2);  // "Haut": right is +X, up is +Z
  ContinueManipulation(r.Scene, r.M, 2, opMove, 0, 200, axFree);
  ExpectVec(r.Pos(), 1, 0, 1);
  ContinueManipulation(r.Scene, r.M, 2, opMove, 200, 0, axFree);
  ExpectVec(r.Pos(), 2, 0, 0);
  // Escape puts the cube back where it was at the press.
  CancelManipulation(r.Scene, r.M, opMove);
  ExpectVec(r.Pos(), 1, 0, 0);
  // Input that gives no number leaves the object where it was.
  ContinueManipulation(r.Scene, r.M, 2, opMove, std::nan(""), 0, axFree);
  ExpectVec(r.Pos(), 1, 0, 0);
}

TEST(Manipulation, ResizeAndRotate) {
  TDragRig r;
  BeginManipulation(r.Scene, r.M, opResize, 0);
  ContinueManipulation(r.Scene, r.M, 0, opResize, 0, 100, axFree);
  ExpectVec(r.Scene.ObjectAt(r.Cube)->Redim, 1.3, 1.3, 1.3);
  ContinueManipulation(r.Scene, r.M, 0, opResize, 0, -100, axFree);
  ExpectVec(r.Scene.ObjectAt(r.Cube)->Redim, 1 / 1.3, 1 / 1.3, 1 / 1.3);
  ContinueManipulation(r.Scene, r.M, 0, opResize, 50, 0, axX);
  ExpectVec(r.Scene.ObjectAt(r.Cube)->Redim, 1.5, 1, 1);
  // A rotate drag of 100 pixels to the right turns by pi about the screen's vertical axis: the
  // cube's +X axis then points to -X.
  BeginManipulation(r.Scene, r.M, opRotate, 0);
  ContinueManipulation(r.Scene, r.M, 0, opRotate, 100, 0, axFree);
  const D3DMATRIX& m = r.Scene.ObjectAt(r.Cube)->RotationMatrix;
  EXPECT_NEAR(m._11, -1, 1e-5);
  EXPECT_NEAR(m._22, 1, 1e-5);
}

TEST(Manipulation, ALightIsResizedWithTheXFormula) {
  TScene scene;
  scene.NewScene(true);
  TManipulation m;
  scene.SelectObject(0);
  const Vec3d start = scene.ObjectAt(0)->Redim;
  BeginManipulation(scene, m, opResize, 0);
  ContinueManipulation(scene, m, 0, opResize, 0, 100, axFree);
  const Vec3d r = scene.ObjectAt(0)->Redim;
  const D3DVECTOR& right = m.ScreenRight;
  EXPECT_NEAR(r.x, start.x + right.y, 1e-6);  // not the free 1.3 factor
  EXPECT_EQ(r.y, start.y);
  EXPECT_EQ(r.z, start.z);
}

TEST(Manipulation, ViewNavigationWithNothingSelected) {
  TScene scene;
  TManipulation m;
  BeginManipulation(scene, m, opResize, 0);
  ContinueManipulation(scene, m, 0, opResize, 0, -10000, axFree);  // zoom stops at 0
  ExpectVec(scene.Views[0].Scale, 0, 0, 0);
  ExpectVec(scene.Views[1].Scale, 0, 0, 0);
  ExpectVec(scene.Views[3].Scale, 1, 1, 1);
  ContinueManipulation(scene, m, 0, opResize, 0, 10, axFree);
  ExpectVec(scene.Views[0].Scale, 1 + M_PI / 100, 1 + M_PI / 100, 1 + M_PI / 100);
  BeginManipulation(scene, m, opMove, 3);
  ContinueManipulation(scene, m, 3, opMove, 100, 50, axFree);
  ExpectVec(scene.Views[3].Pos, 0.5, 0.25, 0);
  ContinueManipulation(scene, m, 3, opMove, 0, 50, axZ);
  ExpectVec(scene.Views[3].Pos, 0, 0, -0.25);
  ExpectVec(scene.Views[0].Pos, 0, 0, 0);
  // Escape with nothing selected does nothing.
  CancelManipulation(scene, m, opMove);
  ExpectVec(scene.Views[3].Pos, 0, 0, -0.25);
}

TEST(Manipulation, ViewUnderTheMouseAndPickFractions) {
  EXPECT_EQ(ViewUnderMouse(10, 10, 100, 80, 3), 0);
  EXPECT_EQ(ViewUnderMouse(60, 10, 100, 80, 3), 1);
  EXPECT_EQ(ViewUnderMouse(10, 60, 100, 80, 0), 2);
  EXPECT_EQ(ViewUnderMouse(60, 60, 100, 80, 0), 3);
  EXPECT_EQ(ViewUnderMouse(50, 10, 100, 80, 2), 2);  // on the middle line
  EXPECT_EQ(ViewUnderMouse(10, 40, 100, 80, 1), 1);
  double h = 0, v = 0;
  PickFractions(3, 75, 59, 101, 81, true, h, v);
  EXPECT_NEAR(h, (75 - 50.5) * 2 / 100.0, 1e-12);
  EXPECT_NEAR(v, (60 - 40.5) * 2 / 80.0, 1e-12);
  PickFractions(0, 25, 19, 101, 81, true, h, v);
  EXPECT_NEAR(h, 0.5, 1e-12);
  EXPECT_NEAR(v, 0.5, 1e-12);
}

TEST(SceneDrawing, ResizedSurfaceIsDrawnWholeAtTheNewSizeWithTheSameCameras) {
  TSceneRig rig(240, 180, true);
  rig.AddReferenceObjects();
  rig.Renderer.SetFillMode(D3DFILL_WIREFRAME);
  rig.Scene.Views[3].SetViewScale({0.5, 0.5, 0.5});
  const D3DMATRIX camera = rig.Scene.Views[3].ModelViewMatrix();
  ASSERT_TRUE(rig.Renderer.Resize(400, 300));
  EXPECT_EQ(rig.Surface().Width(), 400);
  EXPECT_EQ(rig.Surface().Height(), 300);
  EXPECT_TRUE(rig.Surface().HasStencil() == rig.Renderer.Display().RelationDisplay);
  EXPECT_EQ(rig.Scene.Views[3].Viewport.dwX, 200u);
  EXPECT_EQ(rig.Scene.Views[3].Viewport.dwHeight, 150u);
  const D3DMATRIX after = rig.Scene.Views[3].ModelViewMatrix();
  EXPECT_EQ(std::memcmp(&camera, &after, sizeof camera), 0);
  EXPECT_EQ(rig.Renderer.FillMode(), static_cast<DWORD>(D3DFILL_WIREFRAME));
  rig.Presenter.Shown.clear();
  rig.Renderer.RedrawViews(0, 0, false);
  ASSERT_EQ(rig.Presenter.Shown.size(), 4u);
  EXPECT_EQ(rig.Presenter.Shown[3].first.x2, 400);
  EXPECT_EQ(rig.Presenter.Shown[3].first.y2, 300);
  // The lower right quarter was drawn: the frame's pens reach the new corner.
  size_t lit = 0;
  for (int y = 150; y < 300; ++y)
    for (int x = 200; x < 400; ++x) lit += (rig.Surface().Pixel(x, y) & 0xFFFFFF) != 0;
  EXPECT_GT(lit, 500u);
  // A size the surface cannot have keeps the one it has.
  EXPECT_FALSE(rig.Renderer.Resize(0, 300));
  EXPECT_EQ(rig.Surface().Width(), 400);
}

TEST(SceneDrawing, ARendererGoneBeforeItsSceneIsNoLongerCalled) {
  TRecordingPresenter presenter;
  auto display = std::make_unique<TDisplayDevice>(64, 48, nullptr, &presenter);
  TDisplayDevice& d = *display;
  TScene scene(std::move(display));
  {
    TSceneRenderer renderer(scene, d, nullptr);
    ASSERT_TRUE(renderer.InitDevice());
    scene.NewScene(true);  // asks for a redraw: the renderer draws
    EXPECT_FALSE(presenter.Shown.empty());
  }
  presenter.Shown.clear();
  scene.NewScene(true);  // nobody draws any more, and nothing dangles
  scene.RedrawViews();
  EXPECT_TRUE(presenter.Shown.empty());
}

// The interaction as a panel drives it: pixels in, scene changes and redraws out.
TEST(ViewInteraction, PressPicksThenDragsAndEscapeRestores) {
  TSceneRig rig(400, 300, true);
  const int cube = rig.Add("cube", {0, 0, 0});
  TViewInteraction ui(rig.Scene, rig.Renderer);
  ui.SetPanelSize(400, 300);
  // Over the middle of view 0 ("Face"), a press in the select mode picks the cube.
  ui.MouseMove(100, 75);
  TPressResult press = ui.Press(100, 75, TMouseButton::Left, false);
  EXPECT_EQ(press.Selection, TPressSelection::Selected);
  EXPECT_EQ(press.Object, cube);
  EXPECT_EQ(rig.Scene.CurrentObject(), cube);
  EXPECT_TRUE(ui.Release(100, 75, TMouseButton::Left));

  // Move mode: 200 pixels to the right in "Face" is one unit along X, in as many moves as the
  // pointer reports.
  ui.SetOperation(opMove);
  rig.Presenter.Shown.clear();
  ui.Press(100, 75, TMouseButton::Left, false);
  EXPECT_EQ(rig.Scene.CurrentObject(), cube);  // no picking outside the select mode
  for (int x = 110; x <= 300; x += 10) ui.MouseMove(x, 75);
  EXPECT_TRUE(ui.Dragging());
  ExpectVec(rig.Scene.ObjectAt(cube)->Position, 1, 0, 0);
  EXPECT_GE(rig.Presenter.Shown.size(), 4u * 20);
  // Escape puts it back; the drag goes on from the saved values until the release.
  EXPECT_TRUE(ui.Escape());
  ExpectVec(rig.Scene.ObjectAt(cube)->Position, 0, 0, 0);
  ui.MouseMove(200, 75);
  ExpectVec(rig.Scene.ObjectAt(cube)->Position, 0.5, 0, 0);
  EXPECT_TRUE(ui.Release(200, 75, TMouseButton::Left));
  EXPECT_FALSE(ui.Dragging());
  EXPECT_FALSE(ui.Escape());  // no drag: nothing to restore

  // A press where nothing is, in the select mode, empties the selection.
  ui.SetOperation(opSelect);
  press = ui.Press(10, 10, TMouseButton::Left, false);
  ui.Release(10, 10, TMouseButton::Left);
  EXPECT_EQ(press.Selection, TPressSelection::Cleared);
  EXPECT_FALSE(rig.Scene.HasSelection());
  EXPECT_TRUE(press.Notice.empty());

  // A view whose navigation cannot be inverted picks nothing and says so, for the window to show.
  rig.Scene.Views[0].SetViewScale({0, 0, 0});
  press = ui.Press(100, 75, TMouseButton::Left, false);
  ui.Release(100, 75, TMouseButton::Left);
  EXPECT_EQ(press.Notice, "Matrix non invertible");
  EXPECT_EQ(press.Selection, TPressSelection::Cleared);
}

TEST(ViewInteraction, ViewsUnderThePointerAndTheWheel) {
  TSceneRig rig(400, 300, true);
  TViewInteraction ui(rig.Scene, rig.Renderer);
  ui.SetPanelSize(400, 300);
  ui.MouseMove(300, 50);
  EXPECT_EQ(ui.HoverView(), 1);
  EXPECT_EQ(ui.ActiveView(), 0);
  rig.Presenter.Shown.clear();
  ui.MouseMove(300, 250);  // into view 3: the frames of views 1 and 3 alone are drawn again
  EXPECT_EQ(ui.HoverView(), 3);
  ASSERT_EQ(rig.Presenter.Shown.size(), 2u);
  ui.MouseMove(200, 250);  // on the middle line: the hovered view stays
  EXPECT_EQ(ui.HoverView(), 3);
  ui.Press(300, 250, TMouseButton::Right, false);
  EXPECT_EQ(ui.ActiveView(), 3);
  EXPECT_FALSE(ui.Dragging());
  // One notch forwards zooms the perspective view alone, as a zoom drag of 30 pixels.
  ui.Wheel(300, 250, 120);
  ExpectVec(rig.Scene.Views[3].Scale, 1 + 3 * M_PI / 100, 1 + 3 * M_PI / 100, 1 + 3 * M_PI / 100);
  ExpectVec(rig.Scene.Views[0].Scale, 1, 1, 1);
  ui.Wheel(100, 50, -120 * 100);  // far backwards: the fixed views stop at 0
  ExpectVec(rig.Scene.Views[0].Scale, 0, 0, 0);
  ExpectVec(rig.Scene.Views[2].Scale, 0, 0, 0);
}

}  // namespace
}  // namespace ixoral::test
