// The views' look: the stored choice read back whatever the settings file holds, the selection's
// outline only where a selection is shown, the grid facing the flat views, and the edge smoothing.
#include "render/ViewStyle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "TempFolder.h"
#include "platform/Settings.h"
#include "render/Handles.h"
#include "render/SceneRenderer.h"
#include "render/device/RenderThreads.h"
#include "scene/Shapes.h"

namespace ixoral::test {
namespace {

TEST(ViewLook, StoredChoicesReadBackAndAnythingElseFallsBack) {
  TTempFolder folder("view-look");
  TSettingsStore store(folder.File("settings.ini"));
  EXPECT_EQ(ReadViewLook(nullptr, TViewStyle::Moderne).Style, TViewStyle::Moderne);
  EXPECT_EQ(ReadViewLook(&store, TViewStyle::Moderne), (TViewLook{TViewStyle::Moderne, kDefaultEdgeSamples}));
  EXPECT_EQ(ReadViewLook(&store, TViewStyle::Classique).Style, TViewStyle::Classique);
  WriteViewLook(store, {TViewStyle::Classique, 16});
  EXPECT_EQ(ReadViewLook(&store, TViewStyle::Moderne), (TViewLook{TViewStyle::Classique, 16}));
  const struct {
    const char* Style;
    const char* Samples;
    TViewStyle Read;
    int ReadSamples;
  } cases[] = {{"moderne", "5", TViewStyle::Moderne, 4},
               {"CLASSIQUE", "100000", TViewStyle::Classique, 16},
               {"Baroque", "-3", TViewStyle::Moderne, 8},
               {"", "huit", TViewStyle::Moderne, 8},
               {"Moderne ", "0", TViewStyle::Moderne, 0},
               {"Classique", "8x", TViewStyle::Classique, 8},
               {"Classique", "99999999999999999999", TViewStyle::Classique, 16}};
  for (const auto& c : cases) {
    store.WriteString("\\Affichage", "Style", c.Style);
    store.WriteString("\\Affichage", "Anticrenelage", c.Samples);
    EXPECT_EQ(ReadViewLook(&store, TViewStyle::Moderne), (TViewLook{c.Read, c.ReadSamples}))
        << c.Style << " / " << c.Samples;
  }
}

class ModernViews : public ::testing::Test {
 protected:
  void SetUp() override {
    Drawn.Scene.FourViews = true;
    ASSERT_TRUE(Drawn.Renderer.InitDevice());
    Drawn.Scene.NewScene(true);
    const TInsertDefault* d = FindInsertDefault("cube");
    Cube = Drawn.Scene.AddObject(d->Create(), d->Prefix);
    Drawn.Scene.ClearSelection();
    Drawn.Renderer.Look = {TViewStyle::Moderne, 0};
  }
  // Pixels of `colour` over the four views.
  int Count(uint32_t colour) {
    for (int v = 0; v < 4; ++v) Drawn.Renderer.DrawView(v);
    const TSurface& t = Drawn.Renderer.Display().Device()->RenderTarget();
    int n = 0;
    for (int y = 0; y < t.Height(); ++y)
      for (int x = 0; x < t.Width(); ++x) n += (t.Pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
  }
  TDisplayScene Drawn{320, 240, nullptr, nullptr};
  int Cube = -1;
};

TEST_F(ModernViews, TheSelectionIsOutlinedOnlyWhereItIsShown) {
  const uint32_t outline = D3DRGBA(1, 0.78, 0.1, 1);
  EXPECT_EQ(Count(outline), 0);
  Drawn.Scene.SelectObject(Cube);
  const int shown = Count(outline);
  // Two pixels wide around a cube seen in four views.
  EXPECT_GT(shown, 400);
  Drawn.Renderer.ShowSelectionMarks = false;
  EXPECT_EQ(Count(outline), 0);
  Drawn.Renderer.ShowSelectionMarks = true;
  Drawn.Scene.ObjectAt(Cube)->SetVisible(false);
  EXPECT_EQ(Count(outline), 0);
  Drawn.Scene.ObjectAt(Cube)->SetVisible(true);
  Drawn.Renderer.Look.Style = TViewStyle::Classique;
  EXPECT_EQ(Count(outline), 0);
}

TEST_F(ModernViews, TheGridFacesTheFlatViews) {
  Drawn.Scene.ObjectAt(Cube)->SetVisible(false);
  Drawn.Renderer.ShowGrid = true;
  Drawn.Renderer.Look.Style = TViewStyle::Classique;
  const uint32_t grey = D3DRGB(0.5, 0.5, 0.5);
  // Classic: seen edge on from the front and the left, the ground's grid is one line there.
  Drawn.Renderer.DrawView(0);
  const TSurface& t = Drawn.Renderer.Display().Device()->RenderTarget();
  const D3DVIEWPORT7 face = Drawn.Scene.Views[0].Viewport;
  auto greyIn = [&](const D3DVIEWPORT7& vp) {
    int n = 0;
    for (DWORD y = vp.dwY; y < vp.dwY + vp.dwHeight; ++y)
      for (DWORD x = vp.dwX; x < vp.dwX + vp.dwWidth; ++x)
        n += (t.Pixel(int(x), int(y)) & 0xFFFFFF) == (grey & 0xFFFFFF);
    return n;
  };
  const int classic = greyIn(face);
  Drawn.Renderer.Look.Style = TViewStyle::Moderne;
  for (int v = 0; v < 4; ++v) Drawn.Renderer.DrawView(v);
  EXPECT_GT(greyIn(face), 4 * classic);
  EXPECT_GT(greyIn(Drawn.Scene.Views[1].Viewport), 4 * classic);
  EXPECT_GT(greyIn(Drawn.Scene.Views[2].Viewport), 4 * classic);
}

// Smoothing, on pictures made by hand: a bright shape with a shallow slanted side on a dark ground.
TSurface SlopeOnDark(int w, int h) {
  TSurface s(w, h);
  s.Fill(0xFF101010u);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (y > 30 + x / 7) s.SetPixel(x, y, 0xFFF0F0F0u);
  return s;
}

TEST(EdgeSmoothing, AStairEdgeIsBlendedAlongItOnlyAndOnlyInsideTheView) {
  const TSurface drawn = SlopeOnDark(200, 120);
  TSurface s = drawn;
  SmoothEdges(s, {20, 10, 150, 100, 0, 1}, 0);
  EXPECT_TRUE(std::equal(s.Pixels(), s.Pixels() + 200 * 120, drawn.Pixels()));
  SmoothEdges(s, {20, 10, 150, 100, 0, 1}, 8);
  int blended = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 200; ++x) {
      const uint32_t was = drawn.Pixel(x, y), now = s.Pixel(x, y);
      const bool inside = x >= 20 && x < 170 && y >= 10 && y < 110;
      const bool nearEdge = std::abs(y - (30 + x / 7)) <= 1 || std::abs(y - (31 + (x + 1) / 7)) <= 1;
      if (!inside || !nearEdge) {
        EXPECT_EQ(now, was) << x << "," << y;
        continue;
      }
      // A mix of the two sides, grey in every channel, never outside them.
      const int r = int((now >> 16) & 0xFF);
      EXPECT_EQ(now & 0xFF000000u, 0xFF000000u);
      EXPECT_EQ(r, int(now & 0xFF));
      EXPECT_TRUE(r >= 0x10 && r <= 0xF0) << r;
      blended += now != was;
    }
  // Every step of 7 pixels has pixels mixed along it, inside the view.
  EXPECT_GT(blended, 150 / 7 * 3);
}

// Edges down the columns are followed as far as those along the rows: a picture turned a
// quarter (rows for columns) is smoothed into the turned result, on one thread and on several.
TEST(EdgeSmoothing, AnEdgeDownTheColumnsIsSmoothedAsTheSameEdgeAlongTheRows) {
  const int w = 200, h = 120;
  const TSurface rows = SlopeOnDark(w, h);
  TSurface columns(h, w);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) columns.SetPixel(y, x, rows.Pixel(x, y));
  TRenderThreads threads(3);
  for (int samples : {4, 8, 16})
    for (TRenderThreads* on : {static_cast<TRenderThreads*>(nullptr), &threads}) {
      TSurface r = rows, c = columns;
      SmoothEdges(r, {0, 0, DWORD(w), DWORD(h), 0, 1}, samples, on);
      SmoothEdges(c, {0, 0, DWORD(h), DWORD(w), 0, 1}, samples, on);
      int differ = 0, blended = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          differ += r.Pixel(x, y) != c.Pixel(y, x);
          blended += r.Pixel(x, y) != rows.Pixel(x, y);
        }
      EXPECT_EQ(differ, 0) << samples << " samples";
      EXPECT_GT(blended, w / 7 * 3);
    }
}

// The slope with `discs` discs of random colours and as many lone white pixels over it.
TSurface SlopeAndDiscs(std::mt19937& random, int w, int h, int discs) {
  TSurface s = SlopeOnDark(w, h);
  for (int k = 0; k < discs; ++k) {
    const int cx = int(random() % unsigned(w)), cy = int(random() % unsigned(h)), r = int(random() % 30);
    const uint32_t c = 0xFF000000u | uint32_t(random() & 0xFFFFFF);
    for (int y = std::max(0, cy - r); y < std::min(h, cy + r); ++y)
      for (int x = std::max(0, cx - r); x < std::min(w, cx + r); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r) s.SetPixel(x, y, c);
    s.SetPixel(int(random() % unsigned(w)), int(random() % unsigned(h)), 0xFFFFFFFFu);
  }
  return s;
}

TEST(EdgeSmoothing, TheDrawingThreadsGiveTheSamePixelsAsOneThread) {
  std::mt19937 random(11);
  for (int round = 0; round < 12; ++round) {
    const int w = 40 + int(random() % 300), h = 30 + int(random() % 200);
    const TSurface s = SlopeAndDiscs(random, w, h, 40);
    // Views reaching past the picture too.
    const D3DVIEWPORT7 view{
        DWORD(random() % 5), DWORD(random() % 5), DWORD(w - 2 + int(random() % 9)), DWORD(h - 4), 0, 1};
    const int samples = kEdgeSampleChoices[1 + round % 3];
    TSurface alone = s;
    SmoothEdges(alone, view, samples);
    for (int count : {2, 3, 5}) {
      TRenderThreads threads(count);
      TSurface shared = s;
      SmoothEdges(shared, view, samples, &threads);
      ASSERT_TRUE(std::equal(alone.Pixels(), alone.Pixels() + size_t(w) * size_t(h), shared.Pixels()))
          << "round " << round << ", " << count << " threads";
    }
  }
  // Views tall enough for each band to change its middle rows while the others still read theirs,
  // and edges crossing from one band into the next.
  for (int samples : {4, 16}) {
    const TSurface s = SlopeAndDiscs(random, 90, 900, 300);
    const D3DVIEWPORT7 view{3, 1, 85, 897, 0, 1};
    TSurface alone = s;
    SmoothEdges(alone, view, samples);
    for (int count : {2, 3}) {
      TRenderThreads threads(count);
      TSurface shared = s;
      SmoothEdges(shared, view, samples, &threads);
      ASSERT_TRUE(std::equal(alone.Pixels(), alone.Pixels() + 90 * 900, shared.Pixels()))
          << samples << " samples, " << count << " threads";
    }
  }
  // Views too small or wholly off the picture are left alone.
  TSurface s = SlopeOnDark(50, 50);
  const TSurface drawn = s;
  TRenderThreads threads(2);
  for (const D3DVIEWPORT7& view :
       {D3DVIEWPORT7{0, 0, 2, 50, 0, 1}, D3DVIEWPORT7{60, 0, 10, 10, 0, 1}, D3DVIEWPORT7{0, 48, 50, 80, 0, 1}})
    SmoothEdges(s, view, 16, &threads);
  EXPECT_TRUE(std::equal(s.Pixels(), s.Pixels() + 50 * 50, drawn.Pixels()));
}

TEST(Handles, APressTakesTheHandleUnderItAndOnlyAwayFromTheObject) {
  const THandleSet h = HandlesAt(100, 100, 1);
  EXPECT_EQ(HandleUnder(h, 158, 101, 1), axX);    // X's arrow
  EXPECT_EQ(HandleUnder(h, 99, 50, 1), axY);      // up the Y stroke
  EXPECT_EQ(HandleUnder(h, 65, 135, 1), axZ);     // down to the left
  EXPECT_EQ(HandleUnder(h, 104, 98, 1), axFree);  // on the object: a free drag
  EXPECT_EQ(HandleUnder(h, 130, 130, 1), axFree);
  EXPECT_EQ(HandleUnder(h, 175, 100, 1), axFree);  // beyond the end
  // Doubled pixels: twice as long, twice the reach.
  EXPECT_EQ(HandleUnder(HandlesAt(100, 100, 2), 215, 112, 2), axX);
  EXPECT_EQ(HandleUnder(h, std::nan(""), 100, 1), axFree);
  EXPECT_EQ(HandleUnder(HandlesAt(1e300, 100, 1), 158, 100, 1), axFree);
  // Drawn only inside the viewport, whatever the place.
  TSurface t(200, 200);
  t.Fill(0);
  D3DVIEWPORT7 vp;
  vp.dwX = 0, vp.dwY = 0, vp.dwWidth = 100, vp.dwHeight = 100;
  DrawHandles(t, vp, HandlesAt(90, 50, 1), opResize, axFree, 1);
  DrawHandles(t, vp, HandlesAt(1e300, -1e300, 1), opRotate, axFree, 1);
  int outside = 0, inside = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) ((x < 100 && y < 100) ? inside : outside) += t.Pixel(x, y) != 0;
  EXPECT_GT(inside, 100);
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace ixoral::test
