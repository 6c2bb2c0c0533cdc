// Picture export of a view: the separate scene at an export resolution, the keep-size export that
// borrows the scene's own surface and gives everything back, the file formats and refusals.
#include "document/PictureExport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "RenderTestUtil.h"
#include "document/SceneDocument.h"

using namespace ixoral;

namespace {

class PictureExportTest : public ::testing::Test {
 protected:
  PictureExportTest() : Drawn(400, 300, nullptr, nullptr), Scene(Drawn.Scene), Renderer(Drawn.Renderer) {}
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("ixoral-picture-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(Dir);
    ASSERT_TRUE(Renderer.InitDevice());
    // The shipped sample: the ten inserts around the origin under its light.
    Scene.NewScene(false);
    ASSERT_TRUE(
        LoadDocument(Scene, std::string(IXORAL_TEST_DATA_DIR) + "/../../data/samples/reference.ixr", Dir.string()));
    ASSERT_EQ(Scene.ObjectCount(), 11);
    Scene.ClearSelection();
    Renderer.ShowGrid = Renderer.ShowAxes = true;
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string PathOf(const char* name) const { return (Dir / name).string(); }

  TDisplayScene Drawn;
  TScene& Scene;
  TSceneRenderer& Renderer;
  std::filesystem::path Dir;
};

TImage Load(const std::string& path) {
  TImage image;
  std::string message;
  EXPECT_TRUE(LoadImageFile(path, image, message)) << message;
  return image;
}

TSurface ToSurface(const TImage& image) {
  TSurface s(image.Width, image.Height);
  for (int y = 0; y < image.Height; ++y)
    for (int x = 0; x < image.Width; ++x) s.SetPixel(x, y, image.PixelAt(x, y));
  return s;
}

}  // namespace

TEST_F(PictureExportTest, BitmapAndJpegAt640x480ShowTheSingleViewCameraAndGiveTheMeshesBack) {
  std::vector<size_t> meshes;
  for (int i = 0; i < Scene.ObjectCount(); ++i)
    meshes.push_back(Scene.SolidAt(i) ? Scene.SolidAt(i)->VertexCount() : 0);
  ASSERT_TRUE(ExportPicture(Renderer, 0, PathOf("a.bmp"), false, 1, pfBitmap, false, nullptr));
  ASSERT_TRUE(ExportPicture(Renderer, 0, PathOf("a.jpg"), false, 1, pfJpeg, false, nullptr));
  // The drawing borrowed the solids' meshes; the scene has them all back.
  for (int i = 0; i < Scene.ObjectCount(); ++i)
    EXPECT_EQ(Scene.SolidAt(i) ? Scene.SolidAt(i)->VertexCount() : 0, meshes[size_t(i)]) << i;
  const TImage bmp = Load(PathOf("a.bmp")), jpg = Load(PathOf("a.jpg"));
  ASSERT_EQ(bmp.Width, 640);
  ASSERT_EQ(bmp.Height, 480);
  ASSERT_EQ(jpg.Width, 640);
  ASSERT_EQ(jpg.Height, 480);
  test::ExpectMatchesReference(ToSurface(bmp), "export-640x480");
  // The JPEG is the same picture within the losses of its compression.
  double error = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) error += std::abs(test::Green(bmp.PixelAt(x, y)) - test::Green(jpg.PixelAt(x, y)));
  EXPECT_LT(error / (640 * 480), 3.0);
  // No grid, no axes: the lower corners, below the objects, are background only; the sphere in
  // the middle is lit.
  EXPECT_EQ(bmp.PixelAt(3, 476) & 0xFFFFFF, 0u);
  EXPECT_EQ(bmp.PixelAt(636, 476) & 0xFFFFFF, 0u);
  EXPECT_GT(test::Green(bmp.PixelAt(320, 300)), 60);
}

TEST_F(PictureExportTest, KeepingTheSizeDrawsTheChosenViewAloneAndRestoresTheScene) {
  Scene.Views[2].SetViewTranslation({0.3, 0, 0});
  const D3DVIEWPORT7 before = Scene.Views[0].Viewport;
  const TCamera camera0 = Scene.Views[0].Camera;
  ASSERT_TRUE(ExportPicture(Renderer, 2, PathOf("haut.bmp"), true, 0, pfBitmap, false, nullptr));
  const TImage haut = Load(PathOf("haut.bmp"));
  EXPECT_EQ(haut.Width, 400);
  EXPECT_EQ(haut.Height, 300);
  // Everything is back: layout, cameras, navigation and display switches.
  EXPECT_TRUE(Scene.FourViews);
  EXPECT_EQ(Scene.Views[0].Viewport.dwWidth, before.dwWidth);
  EXPECT_EQ(Scene.Views[0].Camera.Position, camera0.Position);
  EXPECT_EQ(Scene.Views[0].CameraMatrix._22, LookToMatrix(camera0)._22);
  EXPECT_EQ(Scene.Views[2].Pos.x, 0.3);
  EXPECT_TRUE(Renderer.ShowGrid);
  EXPECT_TRUE(Renderer.ShowAxes);
  EXPECT_TRUE(Renderer.ShowSelectionMarks);
  // The same view drawn by hand, alone on the surface, gives the same picture.
  Renderer.ShowGrid = Renderer.ShowAxes = false;
  Scene.Views[0].Viewport.dwWidth = 400, Scene.Views[0].Viewport.dwHeight = 300;
  Scene.Views[0].CameraMatrix = Scene.Views[2].CameraMatrix;
  Scene.Views[0].TranslationMatrix = Scene.Views[2].TranslationMatrix;
  Renderer.DrawView(0);
  const TSurface& s = *Renderer.Display().OffscreenSurface();
  int differ = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) differ += (s.Pixel(x, y) & 0xFFFFFF) != (haut.PixelAt(x, y) & 0xFFFFFF);
  EXPECT_EQ(differ, 0);
}

TEST_F(PictureExportTest, RefusedSizesAndKeptFiles) {
  EXPECT_EQ(ExportPicture(Renderer, 0, PathOf("x.bmp"), false, 5, pfBitmap, false, nullptr).Message(),
            "Résolution non disponible : 5");
  EXPECT_EQ(ExportPicture(Renderer, 0, PathOf("x.bmp"), false, -1, pfBitmap, false, nullptr).Message(),
            "Résolution non disponible : -1");
  EXPECT_FALSE(std::filesystem::exists(PathOf("x.bmp")));
  EXPECT_EQ(ResolutionIndex(1024, 768), 3);
  EXPECT_EQ(ResolutionIndex(1024, 769), -1);
  // An existing file is replaced only when allowed (the window asks the user first).
  {
    std::FILE* f = std::fopen(PathOf("x.bmp").c_str(), "wb");
    std::fputs("keep", f);
    std::fclose(f);
  }
  EXPECT_FALSE(ExportPicture(Renderer, 0, PathOf("x.bmp"), false, 0, pfBitmap, false, nullptr));
  EXPECT_EQ(std::filesystem::file_size(PathOf("x.bmp")), 4u);
  EXPECT_TRUE(ExportPicture(Renderer, 0, PathOf("x.bmp"), false, 0, pfBitmap, true, nullptr));
  EXPECT_EQ(Load(PathOf("x.bmp")).Width, 320);
  // A folder that does not exist: the file cannot be written, and the result says so.
  const TResult nowhere = ExportPicture(Renderer, 0, PathOf("none/x.jpg"), false, 0, pfJpeg, false, nullptr);
  ASSERT_FALSE(nowhere);
  EXPECT_EQ(nowhere.Error().Message, "Erreur lors de l'acces au fichier : " + PathOf("none/x.jpg"));
  EXPECT_EQ(nowhere.Error().Reason, "Aucun fichier ou dossier de ce type");
}
