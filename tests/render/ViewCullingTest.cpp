// Leaving out solids a view cannot show: the same pixels, depths and stencil values as drawing
// everything, on random scenes, under every view type and navigation, and with meshes and
// placements no one would make on purpose; the box test and the kept boxes on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "TempFolder.h"
#include "platform/Settings.h"
#include "render/SceneRenderer.h"
#include "render/ViewInteraction.h"
#include "render/ViewCulling.h"
#include "scene/Shapes.h"

namespace ixoral::test {
namespace {

TSettingsStore& Options(bool opBool) {
  static TTempFolder folder("view-culling");
  static TSettingsStore store(folder.File("settings.ini"));
  store.WriteString("\\Affichage", "OpBool", opBool ? "1" : "0");
  return store;
}

struct TPlanes {
  std::vector<uint32_t> Colour;
  std::vector<float> Depth;
  std::vector<uint8_t> Stencil;
  bool operator==(const TPlanes&) const = default;
};

class ViewCulling : public ::testing::Test {
 protected:
  void Make(bool opBool, int w = 240, int h = 180) {
    Drawn = std::make_unique<TDisplayScene>(w, h, &Options(opBool), nullptr);
    Drawn->Scene.FourViews = true;
    ASSERT_TRUE(Drawn->Renderer.InitDevice());
    Drawn->Scene.NewScene(true);
  }
  TScene& Scene() { return Drawn->Scene; }
  TSceneRenderer& Renderer() { return Drawn->Renderer; }
  int Add(const char* keyword, const Vec3d& at) {
    const TInsertDefault* d = FindInsertDefault(keyword);
    const int i = Scene().AddObject(d->Create(), d->Prefix);
    Scene().ObjectAt(i)->SetPosition(at);
    return i;
  }
  // Every view drawn, with or without leaving out, and what the surface then holds.
  TPlanes Draw(bool skip) {
    Renderer().SkipHidden = skip;
    Skipped = 0;
    for (int v = 0; v < 4; ++v) {
      Renderer().DrawView(v);
      Skipped += Renderer().SkippedSolids();
    }
    TSurface& s = Renderer().Display().Device()->RenderTarget();
    const size_t n = size_t(s.Width()) * size_t(s.Height());
    TPlanes p;
    p.Colour.assign(s.Pixels(), s.Pixels() + n);
    if (s.HasDepth()) p.Depth.assign(s.Depth(), s.Depth() + n);
    if (s.HasStencil()) p.Stencil.assign(s.Stencil(), s.Stencil() + n);
    return p;
  }
  // Drawn whole, then leaving out, then whole again: the second run also starts from the states
  // the leaving-out run ended with. Depth is compared bit for bit, NaN included.
  void ExpectSameAsDrawingEverything(const char* what) {
    const TPlanes whole = Draw(false);
    const TPlanes culled = Draw(true);
    const int skipped = Skipped;
    const TPlanes again = Draw(false);
    EXPECT_EQ(whole.Colour, culled.Colour) << what;
    EXPECT_EQ(0, std::memcmp(whole.Depth.data(), culled.Depth.data(), whole.Depth.size() * sizeof(float))) << what;
    EXPECT_EQ(whole.Stencil, culled.Stencil) << what;
    EXPECT_EQ(0, std::memcmp(whole.Depth.data(), again.Depth.data(), whole.Depth.size() * sizeof(float))) << what;
    EXPECT_EQ(whole.Colour, again.Colour) << what;
    Skipped = skipped;
  }

  std::unique_ptr<TDisplayScene> Drawn;
  int Skipped = 0;
};

TEST_F(ViewCulling, RandomScenesGiveTheSamePicturesAsDrawingEverything) {
  const char* const kinds[] = {"cube",     "cubeperce", "sphere", "cylindre", "cone",
                               "pyramide", "tore",      "cercle", "paroiv",   "paroih"};
  int skippedInAll = 0;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    std::mt19937 random(seed);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
    auto chance = [&](double p) { return uniform(0, 1) < p; };
    const bool opBool = seed % 2 == 0;
    Make(opBool);
    TSceneRenderer& r = Renderer();
    r.ShowGrid = chance(0.5), r.ShowAxes = chance(0.5), r.ShowAllLights = chance(0.5);
    r.ShowGuideLine = chance(0.5);
    r.GuidePoints = {Vec3d{uniform(-2, 2), uniform(-2, 2), uniform(-2, 2)}, Vec3d{uniform(-2, 2), 0, 0}};
    r.SetFillMode(chance(0.25) ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    r.SetShadeMode(chance(0.5) ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
    for (int k = 0; k < 40; ++k) {
      const double spread = chance(0.2) ? 40 : 5;
      const int i =
          Add(kinds[random() % 10], {uniform(-spread, spread), uniform(-spread, spread), uniform(-spread, spread)});
      T3dObject& o = *Scene().ObjectAt(i);
      o.RotationMatrix = RotationFromAngles({uniform(-3.2, 3.2), uniform(-3.2, 3.2), uniform(-3.2, 3.2)});
      o.SetScale({uniform(0.1, 3), uniform(0.1, 3), chance(0.1) ? 0 : uniform(0.1, 3)});
      o.SetColor(D3DRGBA(uniform(0, 1), uniform(0, 1), uniform(0, 1), chance(0.3) ? uniform(0.2, 0.9) : 1));
      if (chance(0.2)) Scene().AddToSelection(i);
      // Relations between neighbours in the list, often one of the pair out of sight.
      if (opBool && k > 0 && chance(0.3) && Scene().SetParent(i, i - 1))
        Scene().SetRelation(i, i - 1, chance(0.5) ? relSoustraction : relIntersection);
    }
    for (int v = 0; v < 4; ++v) {
      TVue& view = Scene().Views[size_t(v)];
      const double zoom = uniform(0.2, 4);
      view.SetViewScale({zoom, zoom, zoom});
      view.SetViewTranslation({uniform(-4, 4), uniform(-4, 4), uniform(-4, 4)});
      view.SetViewRotation({uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)});
    }
    ExpectSameAsDrawingEverything(("seed " + std::to_string(seed)).c_str());
    skippedInAll += Skipped;
  }
  // The comparison is worth something only if solids were left out.
  EXPECT_GT(skippedInAll, 100);
}

TEST_F(ViewCulling, HandEditedPlacementsAndMeshesAreNeverLeftOutWhenTheyMightShow) {
  Make(true);
  Renderer().ShowGrid = true;
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  // Everything at one point, zero-size solids, a solid far away and one at 1e15.
  for (int k = 0; k < 5; ++k) Add("cube", {0.3, 0.2, 0.1});
  Scene().ObjectAt(Add("sphere", {0, 0, 0}))->SetScale({0, 0, 0});
  const int flat = Add("cube", {0.5, 0, 0});
  for (D3DVERTEX& v : Scene().SolidAt(flat)->Composantes[0].Vertices) v.x = v.y = v.z = 0;
  Add("tore", {1e15, 0, 0});
  Add("cone", {0, 0, 1e15});
  // Meshes with a position that is not a number, or infinite, next to visible geometry.
  const int broken = Add("cylindre", {-0.5, 0.5, 0});
  Scene().SolidAt(broken)->Composantes[0].Vertices[0].x = nan;
  const int endless = Add("pyramide", {0.5, -0.5, 0});
  Scene().SolidAt(endless)->Composantes[0].Vertices[1].y = inf;
  // A placement whose matrix holds a NaN.
  const int lost = Add("sphere", {0, 0.5, 0});
  Scene().ObjectAt(lost)->TranslationMatrix._42 = nan;
  Scene().Notify(TSceneChange::ObjectChanged);
  ExpectSameAsDrawingEverything("around the origin");
  // Views moved out to 1e15: what is there and near the origin both round as the device rounds.
  for (TVue& v : Scene().Views) v.SetViewTranslation({-1e15, 0, 0});
  ExpectSameAsDrawingEverything("at 1e15");
  for (TVue& v : Scene().Views) {
    v.SetViewTranslation({0, 0, 0});
    v.SetViewScale({1e-12, 1e-12, 1e-12});
  }
  ExpectSameAsDrawingEverything("shrunk to a point");
}

TEST_F(ViewCulling, AMeshChangedInPlaceIsMeasuredAgainAfterItsChangeNotice) {
  Make(false);
  const int i = Add("cube", {0, 0, 0});
  auto moveMesh = [&](float dx) {
    for (D3DVERTEX& v : Scene().SolidAt(i)->Composantes[0].Vertices) v.x += dx, v.y += dx;
  };
  Draw(true);
  EXPECT_EQ(0, Skipped);
  // Sent far off sideways and up: once told, no view shows it.
  moveMesh(1000);
  Scene().Notify(TSceneChange::ObjectChanged, i);
  ExpectSameAsDrawingEverything("far off");
  EXPECT_EQ(4, Skipped);
  // Back in sight, through the notice for several objects.
  moveMesh(-1000);
  Scene().Notify(TSceneChange::ObjectChanged);
  ExpectSameAsDrawingEverything("back");
  EXPECT_EQ(0, Skipped);
  // A mesh given new storage needs no notice.
  Scene().SolidAt(i)->Composantes[0].Vertices = std::vector<D3DVERTEX>(Scene().SolidAt(i)->Composantes[0].Vertices);
  moveMesh(1000);
  Scene().SolidAt(i)->Composantes.push_back({});
  ExpectSameAsDrawingEverything("new storage");
  EXPECT_EQ(4, Skipped);
}

TEST_F(ViewCulling, ObjectsDraggedOutOfSightAndBackAreLeftOutOnlyWhileAway) {
  Make(false, 400, 300);
  const int cube = Add("cube", {0, 0, 0});
  Add("sphere", {0.6, 0, 0});
  Scene().AddToSelection(cube);
  TViewInteraction interaction(Scene(), Renderer());
  interaction.SetPanelSize(400, 300);
  interaction.SetOperation(opMove);
  interaction.Press(100, 75, TMouseButton::Left, false);
  // Far to the right of the front view: the other views lose it too, or show it at their edge.
  interaction.MouseMove(3000, 75);
  ExpectSameAsDrawingEverything("dragged away");
  EXPECT_GE(Skipped, 1);
  interaction.MouseMove(110, 75);
  ExpectSameAsDrawingEverything("dragged back");
  EXPECT_EQ(0, Skipped);
  // Escape puts it back where the press found it.
  interaction.MouseMove(3000, 75);
  EXPECT_TRUE(interaction.Escape());
  ExpectSameAsDrawingEverything("after Escape");
  EXPECT_EQ(0, Skipped);
  interaction.Release(100, 75, TMouseButton::Left);
}

TEST_F(ViewCulling, ARowWindowChangesItsRowsAsAWholeDrawingAndNoOthers) {
  Make(true);
  const char* const kinds[] = {"cube", "sphere", "tore", "cone", "paroih"};
  for (int k = 0; k < 10; ++k) Add(kinds[k % 5], {0.4 * k - 2, 0.1 * k, -0.2 * k});
  Scene().SetParent(1, 0);
  Scene().SetRelation(1, 0, relSoustraction);
  Renderer().ShowGrid = Renderer().ShowAxes = true;
  const TPlanes whole = Draw(false);
  IRenderDevice& d = *Renderer().Display().Device();
  const int w = d.RenderTarget().Width();
  for (const auto& [from, to] : {std::pair{0, 1}, std::pair{37, 38}, std::pair{50, 131}, std::pair{170, 400}}) {
    d.RenderTarget().Fill(0x12345678);
    ASSERT_TRUE(d.SetRowWindow(from, to));
    const TPlanes part = Draw(false);
    ASSERT_TRUE(d.SetRowWindow(0, INT_MAX));
    for (int y = 0; y < d.RenderTarget().Height(); ++y) {
      const bool inside = y >= from && y < to;
      for (int x = 0; x < w; ++x) {
        const size_t i = size_t(y) * size_t(w) + size_t(x);
        ASSERT_EQ(inside ? whole.Colour[i] : 0x12345678u, part.Colour[i]) << x << ", " << y;
        if (inside) {
          ASSERT_EQ(whole.Stencil[i], part.Stencil[i]) << x << ", " << y;
        }
      }
    }
  }
}

TEST_F(ViewCulling, AHiddenParentMovedUnderItsChildsRelationIsDrawnAgain) {
  Make(true);
  const int parent = Add("cube", {0, 0, 0});
  Scene().ObjectAt(parent)->SetScale({3, 3, 3});
  const int child = Add("sphere", {0.2, 0.1, -0.4});
  ASSERT_TRUE(Scene().SetParent(child, parent));
  ASSERT_TRUE(Scene().SetRelation(child, parent, relSoustraction));
  Scene().ObjectAt(parent)->SetVisible(false);
  Renderer().SkipHidden = true;
  Renderer().RedrawViews();
  // Only the hidden parent moves, as a drag would move it.
  Scene().ObjectAt(parent)->SetPosition({0.9, 0.6, 0});
  {
    const TSceneRenderer::TPlacementChange placement(Renderer());
    Scene().Notify(TSceneChange::ObjectChanged);
  }
  Renderer().RedrawViews();
  TSurface& t = Renderer().Display().Device()->RenderTarget();
  const std::vector<uint32_t> kept(t.Pixels(), t.Pixels() + size_t(t.Width()) * size_t(t.Height()));
  Renderer().ForgetPictures();
  Renderer().RedrawViews();
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), t.Pixels()));
}

// Two copies of one random scene, one drawn whole every time and one drawing again only what a
// drag changed, given the same mouse events: after each step both surfaces hold the same pixels.
class KeptPictures : public ::testing::Test {
 protected:
  struct TRig {
    TDisplayScene Drawn{320, 240, &Options(true), nullptr};
    TViewInteraction Interaction{Drawn.Scene, Drawn.Renderer};
  };
  void Build(TRig& rig, unsigned seed, bool keep) {
    std::mt19937 random(seed);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
    TScene& sc = rig.Drawn.Scene;
    TSceneRenderer& r = rig.Drawn.Renderer;
    sc.FourViews = true;
    ASSERT_TRUE(r.InitDevice());
    sc.NewScene(true);
    r.SkipHidden = keep;
    r.ShowGrid = r.ShowAxes = true;
    r.SetFillMode(seed % 3 == 0 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    // Every other scene in the modern look: its gradient, fill light, outline and smoothing are
    // done over the whole view after the rows, and must come out the same.
    r.Look = {seed % 2 == 0 ? TViewStyle::Moderne : TViewStyle::Classique, int(seed % 4) * 4};
    const char* const kinds[] = {"cube", "sphere", "tore", "cone", "paroiv"};
    for (int k = 0; k < 30; ++k) {
      const TInsertDefault* d = FindInsertDefault(kinds[random() % 5]);
      const int i = sc.AddObject(d->Create(), d->Prefix);
      sc.ObjectAt(i)->SetPosition({uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)});
      sc.ObjectAt(i)->RotationMatrix = RotationFromAngles({uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)});
      // Now and then a transparent solid or a subtraction, which are drawn again whole.
      if (random() % 10 == 0) sc.ObjectAt(i)->SetColor(D3DRGBA(1, 0.5, 0.2, 0.5));
      if (k > 0 && random() % 10 == 0 && sc.SetParent(i, i - 1)) sc.SetRelation(i, i - 1, relSoustraction);
      // And hidden ones, among them parents that their child's relation still draws.
      if (random() % 8 == 0) sc.ObjectAt(i - (k > 0 ? 1 : 0))->SetVisible(false);
    }
    for (int k = 0; k < 3; ++k) sc.AddToSelection(int(random() % 30) + 1);
    rig.Interaction.SetPanelSize(320, 240);
  }
};

TEST_F(KeptPictures, DragsGiveTheSamePicturesAsWholeRedraws) {
  int partial = 0;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    TRig whole, kept;
    Build(whole, seed, false);
    Build(kept, seed, true);
    std::mt19937 random(seed * 7919);
    auto both = [&](auto&& f) { f(whole), f(kept); };
    for (int step = 0; step < 24; ++step) {
      const int x = int(random() % 320), y = int(random() % 240);
      switch (random() % 8) {
        case 0:  // a press somewhere, with an operation
          both([&, op = TOperation(1 + random() % 3)](TRig& r) {
            r.Interaction.SetOperation(op);
            r.Interaction.Press(x, y, TMouseButton::Left, false);
          });
          break;
        case 1:
          both([&](TRig& r) { r.Interaction.Release(x, y, TMouseButton::Left); });
          break;
        case 2:
          both([&](TRig& r) { r.Interaction.Escape(); });
          break;
        case 3:
          both([&](TRig& r) { r.Interaction.RedrawAll(); });
          break;
        default:  // mouse moves: drag steps, or the hovered view's frame outside a drag
          both([&](TRig& r) { r.Interaction.MouseMove(x, y); });
          if (kept.Interaction.Dragging()) both([&](TRig& r) { r.Interaction.MouseMove(x + 3, y - 2); });
          break;
      }
      if (!kept.Interaction.Dragging() && random() % 6 == 0) both([&](TRig& r) { r.Interaction.Wheel(x, y, 120); });
      both([&](TRig& r) { r.Interaction.RedrawAll(); });
      const TSceneRenderer& r = kept.Drawn.Renderer;
      partial += r.RedrawnRows() < int(kept.Drawn.Scene.Views[3].Viewport.dwHeight) ? 1 : 0;
      TSurface& a = whole.Drawn.Renderer.Display().Device()->RenderTarget();
      TSurface& b = kept.Drawn.Renderer.Display().Device()->RenderTarget();
      const size_t n = size_t(a.Width()) * size_t(a.Height());
      ASSERT_TRUE(std::memcmp(a.Pixels(), b.Pixels(), n * 4) == 0 && std::memcmp(a.Depth(), b.Depth(), n * 4) == 0 &&
                  std::memcmp(a.Stencil(), b.Stencil(), n) == 0)
          << "seed " << seed << " step " << step;
    }
  }
  // Most steps draw only some rows of the last view again, or none.
  EXPECT_GT(partial, 50);
}

// The box test alone, under the device's projection and an identity view: the clip volume is
// then |x|, |y| <= 2 (z - 1) / 2 with z >= 2.
class ClipVolumeTest : public ::testing::Test {
 protected:
  static TClipSpace Clip(const D3DMATRIX& view = Identity()) {
    D3DMATRIX p;
    p._11 = 2, p._22 = 2, p._33 = 1, p._34 = 1, p._43 = -2, p._44 = -1;
    return ClipSpaceOf(view, p);
  }
  static TMeshBox Box(float x0, float y0, float z0, float x1, float y1, float z1) {
    TMeshBox b;
    b.Lo[0] = x0, b.Lo[1] = y0, b.Lo[2] = z0, b.Hi[0] = x1, b.Hi[1] = y1, b.Hi[2] = z1;
    b.Usable = true;
    return b;
  }
};

TEST_F(ClipVolumeTest, BoxesOnEachSideOfThePlanes) {
  const TClipSpace c = Clip();
  const D3DMATRIX world = Identity();
  EXPECT_FALSE(BoxOutsideClipVolume(Box(-0.1f, -0.1f, 3, 0.1f, 0.1f, 4), world, c));
  // Behind the near plane, then touching it.
  EXPECT_TRUE(BoxOutsideClipVolume(Box(-1, -1, -5, 1, 1, 1.9f), world, c));
  EXPECT_FALSE(BoxOutsideClipVolume(Box(-1, -1, -5, 1, 1, 2), world, c));
  // At z = 3 the volume reaches |x| <= 1: a box starting at x = 1.001 is out, one at 1 is not.
  EXPECT_TRUE(BoxOutsideClipVolume(Box(1.001f, 0, 3, 2, 0.1f, 3), world, c));
  EXPECT_FALSE(BoxOutsideClipVolume(Box(1, 0, 3, 2, 0.1f, 3), world, c));
  EXPECT_TRUE(BoxOutsideClipVolume(Box(0, -9, 3, 0.1f, -1.01f, 3), world, c));
  // A box around the whole volume is in.
  EXPECT_FALSE(BoxOutsideClipVolume(Box(-1e6f, -1e6f, -1e6f, 1e6f, 1e6f, 1e6f), world, c));
}

TEST_F(ClipVolumeTest, WhatCannotBeJudgedIsKept) {
  const TClipSpace c = Clip();
  TMeshBox unusable = Box(5, 5, -5, 6, 6, -4);
  unusable.Usable = false;
  EXPECT_FALSE(BoxOutsideClipVolume(unusable, Identity(), c));
  D3DMATRIX world = Identity();
  world._41 = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(BoxOutsideClipVolume(Box(5, 5, -5, 6, 6, -4), world, c));
  world._41 = std::numeric_limits<float>::infinity();
  EXPECT_FALSE(BoxOutsideClipVolume(Box(5, 5, -5, 6, 6, -4), world, c));
  // Huge placements that cancel: the rounding of 1e15 is larger than the whole volume.
  world = Identity();
  world._41 = 1e15f;
  D3DMATRIX view = Identity();
  view._41 = -1e15f;
  EXPECT_FALSE(BoxOutsideClipVolume(Box(50, 0, 3, 51, 0.1f, 3), world, Clip(view)));
}

TEST(MeshBox, SpansEveryComponentAndRefusesWhatIsNotANumber) {
  const TInsertDefault* d = FindInsertDefault("cube");
  std::unique_ptr<TSolidObject> o = d->Create();
  TSolidObject& s = *o;
  s.Composantes.push_back({D3DPT_POINTLIST, {D3DVERTEX{}}});
  s.Composantes.back().Vertices[0].x = 7;
  const TMeshBox b = MeshBoxOf(s);
  ASSERT_TRUE(b.Usable);
  EXPECT_FLOAT_EQ(7, b.Hi[0]);
  EXPECT_FLOAT_EQ(-0.25f, b.Lo[0]);
  s.Composantes.back().Vertices[0].y = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(MeshBoxOf(s).Usable);
  s.Composantes.clear();
  EXPECT_FALSE(MeshBoxOf(s).Usable);
}

}  // namespace
}  // namespace ixoral::test
