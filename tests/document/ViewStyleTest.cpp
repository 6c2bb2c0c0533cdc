// The two looks of the views on the shipped sample: "Moderne" leaves no face black that the
// classic drawing left black, its pictures as looked at (four views with a selection, a torus
// from the left, a scene seen from far), and pictures for files drawn classic whatever the views.
#include <gtest/gtest.h>

#include <filesystem>

#include "RenderTestUtil.h"
#include "document/PictureExport.h"
#include "document/SceneDocument.h"

using namespace ixoral;

namespace {

class ViewStyleTest : public ::testing::Test {
 protected:
  ViewStyleTest() : Drawn(480, 360, nullptr, nullptr), Scene(Drawn.Scene), Renderer(Drawn.Renderer) {}
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("ixoral-style-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(Dir);
    Scene.FourViews = true;
    ASSERT_TRUE(Renderer.InitDevice());
    Scene.NewScene(false);
    ASSERT_TRUE(
        LoadDocument(Scene, std::string(IXORAL_TEST_DATA_DIR) + "/../../data/samples/reference.ixr", Dir.string()));
    Scene.ClearSelection();
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  TSurface& Target() { return Renderer.Display().Device()->RenderTarget(); }
  void DrawAll(TViewStyle style) {
    Renderer.Look.Style = style;
    for (int v = 0; v < 4; ++v) Renderer.DrawView(v);
  }
  int IndexOfShape(uint8_t shape) {
    for (int i = 0; i < Scene.ObjectCount(); ++i)
      if (Scene.SolidAt(i) && Scene.SolidAt(i)->ShapeType == shape) return i;
    return -1;
  }

  TDisplayScene Drawn;
  TScene& Scene;
  TSceneRenderer& Renderer;
  std::filesystem::path Dir;
};

TEST_F(ViewStyleTest, ModerneLeavesNoFaceBlackThatTheClassicDrawingLeftBlack) {
  Renderer.ShowGrid = Renderer.ShowAxes = Renderer.ShowSelectionMarks = false;
  DrawAll(TViewStyle::Classique);
  TSurface& t = Target();
  const size_t n = size_t(t.Width()) * size_t(t.Height());
  std::vector<size_t> black;
  for (size_t i = 0; i < n; ++i)
    if (t.Depth()[i] < 1.0f && (t.Pixels()[i] & 0xFFFFFF) == 0) black.push_back(i);
  // The sample's light leaves many faces dark in the classic drawing.
  ASSERT_GT(black.size(), 1000u);
  DrawAll(TViewStyle::Moderne);
  size_t stillBlack = 0, dim = 0;
  for (size_t i : black) {
    const uint32_t c = t.Pixels()[i];
    stillBlack += (c & 0xFFFFFF) == 0;
    dim += std::max({test::Red(c), test::Green(c), test::Blue(c)}) < 12;
  }
  EXPECT_EQ(stillBlack, 0u);
  EXPECT_LT(dim, black.size() / 100);
}

TEST_F(ViewStyleTest, ModernePicturesAsLookedAt) {
  Renderer.ShowGrid = Renderer.ShowAxes = true;
  Renderer.Look.EdgeSamples = 8;
  // The four views with the torus selected: outlined in every view.
  const int torus = IndexOfShape(stTore);
  ASSERT_GE(torus, 0);
  Scene.SelectObject(torus);
  DrawAll(TViewStyle::Moderne);
  test::ExpectMatchesReference(Target(), "moderne-sample-four-views");
  // The torus from the left, alone in the view.
  Scene.ClearSelection();
  for (int i = 0; i < Scene.ObjectCount(); ++i)
    if (i != torus && !Scene.ObjectAt(i)->IsLight()) Scene.ObjectAt(i)->SetVisible(false);
  Renderer.SetLayout(false);
  Scene.Views[0].SetViewType(vtGauche);
  Renderer.DrawView(0);
  test::ExpectMatchesReference(Target(), "moderne-torus-gauche");
  // The whole sample seen from far, in perspective.
  for (int i = 0; i < Scene.ObjectCount(); ++i) Scene.ObjectAt(i)->SetVisible(true);
  Scene.Views[0].SetViewType(vtPerspective);
  Scene.Views[0].SetViewScale({0.2, 0.2, 0.2});
  Renderer.DrawView(0);
  test::ExpectMatchesReference(Target(), "moderne-zoomed-out");
}

TEST_F(ViewStyleTest, PicturesForFilesAreClassicUnlessAskedAndTheViewsKeepTheirLook) {
  Renderer.Look = {TViewStyle::Moderne, 16};
  const std::string classic = (Dir / "classique.bmp").string(), modern = (Dir / "moderne.bmp").string();
  ASSERT_TRUE(ExportPicture(Renderer, 3, classic, true, 0, pfBitmap, false, nullptr));
  EXPECT_EQ(Renderer.Look, (TViewLook{TViewStyle::Moderne, 16}));
  ASSERT_TRUE(ExportPicture(Renderer, 3, modern, true, 0, pfBitmap, false, nullptr, TViewStyle::Moderne));
  Renderer.Look.Style = TViewStyle::Classique;
  const std::string byHand = (Dir / "main.bmp").string();
  ASSERT_TRUE(ExportPicture(Renderer, 3, byHand, true, 0, pfBitmap, false, nullptr));
  TImage a, b, c;
  std::string message;
  ASSERT_TRUE(LoadImageFile(classic, a, message));
  ASSERT_TRUE(LoadImageFile(byHand, b, message));
  ASSERT_TRUE(LoadImageFile(modern, c, message));
  EXPECT_EQ(a.Pixels, b.Pixels);
  EXPECT_NE(a.Pixels, c.Pixels);
  // The separate scene at an export size too.
  Renderer.Look.Style = TViewStyle::Moderne;
  ASSERT_TRUE(ExportPicture(Renderer, 0, classic, false, 0, pfBitmap, true, nullptr));
  Renderer.Look.Style = TViewStyle::Classique;
  ASSERT_TRUE(ExportPicture(Renderer, 0, byHand, false, 0, pfBitmap, true, nullptr));
  ASSERT_TRUE(LoadImageFile(classic, a, message));
  ASSERT_TRUE(LoadImageFile(byHand, b, message));
  EXPECT_EQ(a.Pixels, b.Pixels);
}

}  // namespace
