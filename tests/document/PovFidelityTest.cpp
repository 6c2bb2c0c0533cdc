// What POV-Ray renders from the export is what the views draw: a scene of every kind of solid the
// export writes as a mesh (noise, torsion, hand-edited points, textures, 3D text) and as CSG is
// drawn by the program and rendered by POV-Ray from the same view at the same size; the two
// silhouettes must overlap and the textured solids must carry their picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "document/PictureExport.h"
#include "document/PovExport.h"
#include "TempFolder.h"
#include "platform/Settings.h"
#include "render/SceneRenderer.h"
#include "scene/Curves.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"
#include "scene/View.h"
#include "tools/images/Image.h"

namespace ixoral {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 320, kHeight = 240;
constexpr uint32_t kBackground = 0xFF00FF;  // a colour no solid of the scene has: magenta

bool IsBackground(uint32_t pixel) {
  const int r = int((pixel >> 16) & 0xFF), g = int((pixel >> 8) & 0xFF), b = int(pixel & 0xFF);
  return std::abs(r - 255) + g + std::abs(b - 255) < 24;
}

struct TMeanColour {
  double R = 0, G = 0, B = 0;
  int Count = 0;
};

// The mean colour of `picture` where `mask` is not background.
TMeanColour MeanWhere(const TImage& picture, const TImage& mask) {
  TMeanColour m;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      if (IsBackground(mask.PixelAt(x, y))) continue;
      const uint32_t p = picture.PixelAt(x, y);
      m.R += (p >> 16) & 0xFF, m.G += (p >> 8) & 0xFF, m.B += p & 0xFF;
      ++m.Count;
    }
  if (m.Count > 0) m.R /= m.Count, m.G /= m.Count, m.B /= m.Count;
  return m;
}

class PovFidelityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("povray --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "povray is not installed";
    // A folder per case: ctest runs them side by side.
    Dir = fs::path(IXORAL_TEST_OUTPUT_DIR) / "pov-fidelity" /
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    ASSERT_TRUE(Drawn.Renderer.InitDevice());
    ASSERT_TRUE(Drawn.Display.RelationDisplay);
    Drawn.Display.BackgroundColor = 0xFF000000u | kBackground;
    BuildScene();
  }

  int Add(std::unique_ptr<TSolidObject> solid, const char* name, const Vec3d& at) {
    const int i = Drawn.Scene.AddObject(std::move(solid), name);
    Drawn.Scene.SolidAt(i)->SetPosition(at);  // placed once in the scene, as an insert is
    return i;
  }

  // The fidelity scene around the origin, under the default light and a second, coloured one.
  void BuildScene() {
    TScene& scene = Drawn.Scene;
    scene.NewScene(true);
    // A picture in four coloured quarters, for the textured cube and torus.
    std::vector<uint32_t> quarters(64 * 64);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        quarters[size_t(y) * 64 + size_t(x)] = (x < 32) == (y < 32) ? 0xFFE0A020u : 0xFF2060C0u;
    const std::string picture = (Dir / "quarters.bmp").string();
    ASSERT_TRUE(WriteBmpFile(picture, 64, 64, quarters.data()));

    Add(CreateSphere(21, 42, 0xFFC0C0C0u, 0.5), "Bruit", {0, 0, 0});
    scene.SolidAt(scene.IndexOfName("Bruit"))->SetNoise(5, true, 0.12, 0.0);
    Add(CreateCylinder(20, 0xFF80C080u, 1, 0.3), "Torsion", {0, 0, 1.2});
    scene.SolidAt(scene.IndexOfName("Torsion"))->SetTorsion({0, -0.5, 0}, {0, 0.5, 0}, 90);
    // A cube with one corner pulled out, as the point editor leaves it.
    TSolidObject* edited = scene.SolidAt(Add(CreateCube(0xFFC08080u, 0.5), "Points", {-1.2, 0, 1.2}));
    for (int c = 0; c < edited->ComposanteCount(); ++c)
      for (size_t v = 0; v < edited->Composantes[size_t(c)].Vertices.size(); ++v) {
        D3DVERTEX& p = edited->Composantes[size_t(c)].Vertices[v];
        if (p.x > 0.2f && p.y > 0.2f && p.z > 0.2f) {
          p.x = p.y = p.z = 0.45f;
          edited->AddModified(c, int(v));
        }
      }
    for (const char* name : {"CubeBois", "ToreBois"}) {
      const bool cube = name == std::string("CubeBois");
      TSolidObject* s =
          scene.SolidAt(Add(cube ? CreateCube(kOpaqueWhite, 0.6) : CreateTorus(20, 20, kOpaqueWhite, 0.2, 0.45), name,
                            cube ? Vec3d{-1.2, 0, 0} : Vec3d{1.2, 0, 0}));
      scene.Device().LoadTexture(*s, picture);
      s->TextureFile = picture;
    }
    // A cube minus a sphere, a cylinder intersected with a cube, and a curve.
    const int block = Add(CreateCube(0xFF8080C0u, 0.6), "Bloc", {1.2, 0, 1.2});
    const int hole = Add(CreateSphere(21, 42, 0xFF8080C0u, 0.25), "Trou", {1.2, 0.3, 1.2});
    scene.SetParent(hole, block);
    scene.SetRelation(hole, block, relSoustraction);
    const int box = Add(CreateCube(0xFFC0C080u, 0.5), "Boite", {1.2, 0, -1.2});
    const int rod = Add(CreateCylinder(20, 0xFFC0C080u, 1, 0.3), "Tige", {1.2, 0, -1.2});
    scene.SetParent(rod, box);
    scene.SetRelation(rod, box, relIntersection);
    Add(CreateDefaultCurve(), "Courbe", {-1.2, 0, -1.2});
    auto text = CreateDefaultText3D([](const std::string&) { return false; });
    text->SetTextParam(1, "Ixoral été");
    Add(std::move(text), "Texte", {-0.8, 0.6, -0.4});
    scene.ClearSelection();
  }

  // The program's picture of the perspective view, and POV-Ray's of the export from that view.
  // `name` names the files, kept for whoever wants to look at them.
  void Render(TImage& ours, TImage& povray, const std::string& name) {
    const std::string bmp = (Dir / (name + ".bmp")).string(), pov = (Dir / (name + ".pov")).string();
    ASSERT_TRUE(ExportPicture(Drawn.Renderer, 3, bmp, true, 0, pfBitmap, true, nullptr));
    TPovExportOptions options;
    options.Background = 0xFF000000u | kBackground;
    const TResult exported = ExportPovScene(Drawn.Scene, 3, pov, true, options);
    ASSERT_TRUE(exported) << exported.Message();
    EXPECT_TRUE(exported.Notices().empty());
    const std::string command = "cd '" + Dir.string() + "' && povray +I" + name + ".pov +O" + name +
                                "-povray.tga +FT +W" + std::to_string(kWidth) + " +H" + std::to_string(kHeight) +
                                " -D -V +WL0 >" + name + ".log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "see " << (Dir / (name + ".log")).string();
    std::string message;
    ASSERT_TRUE(LoadImageFile(bmp, ours, message)) << message;
    ASSERT_TRUE(LoadImageFile((Dir / (name + "-povray.tga")).string(), povray, message)) << message;
    ASSERT_EQ(ours.Width, kWidth);
    ASSERT_EQ(povray.Width, kWidth);
  }

  // `name` drawn alone by the views and by POV-Ray: the mean colour where the views show it is the
  // same within `within` of its brightness, and its hue (the colour whatever its brightness)
  // within a tenth.
  void ExpectSameMeanColourAlone(const std::string& name, double within = 0.1) {
    TScene& scene = Drawn.Scene;
    for (int i = 0; i < scene.ObjectCount(); ++i)
      if (T3dObject* o = scene.ObjectAt(i); o && scene.SolidAt(i)) o->SetVisible(o->Name() == name);
    TImage alone, aloneByPovRay;
    Render(alone, aloneByPovRay, name);
    if (HasFatalFailure()) return;
    for (int i = 0; i < scene.ObjectCount(); ++i)
      if (scene.SolidAt(i)) scene.ObjectAt(i)->SetVisible(true);
    const TMeanColour a = MeanWhere(alone, alone), b = MeanWhere(aloneByPovRay, alone);
    ASSERT_GT(a.Count, 200) << name;
    const double sa = a.R + a.G + a.B, sb = b.R + b.G + b.B;
    ASSERT_GT(sb, 0) << name << " is black in POV-Ray's picture";
    const auto distance = [](double r, double g, double bl, double r2, double g2, double b2) {
      return std::sqrt((r - r2) * (r - r2) + (g - g2) * (g - g2) + (bl - b2) * (bl - b2));
    };
    const std::string both = name + ": ours " + std::to_string(a.R) + "," + std::to_string(a.G) + "," +
                             std::to_string(a.B) + " POV-Ray " + std::to_string(b.R) + "," + std::to_string(b.G) + "," +
                             std::to_string(b.B) + ", pictures in " + Dir.string();
    RecordProperty(name + "Mean", both);
    EXPECT_LE(distance(a.R / sa, a.G / sa, a.B / sa, b.R / sb, b.G / sb, b.B / sb),
              0.1 * distance(a.R / sa, a.G / sa, a.B / sa, 0, 0, 0))
        << both;
    EXPECT_LE(distance(a.R, a.G, a.B, b.R, b.G, b.B), within * distance(a.R, a.G, a.B, 0, 0, 0)) << both;
  }

  // The views draw subtractions and intersections as computed (the option "OpBool" gives a
  // device with a stencil).
  static TSettingsStore& RelationsShown() {
    static test::TTempFolder folder("pov-fidelity");
    static TSettingsStore store(folder.File("settings.ini"));
    store.WriteString("\\Affichage", "OpBool", "1");
    return store;
  }
  TDisplayScene Drawn{kWidth, kHeight, &RelationsShown(), nullptr};
  fs::path Dir;
};

// The share of the pixels showing a solid in either picture that show one in both.
double SilhouetteOverlap(const TImage& a, const TImage& b) {
  int both = 0, either = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool inA = !IsBackground(a.PixelAt(x, y)), inB = !IsBackground(b.PixelAt(x, y));
      both += inA && inB;
      either += inA || inB;
    }
  EXPECT_GT(either, kWidth * kHeight / 10) << "the scene is out of sight";
  return either > 0 ? double(both) / either : 0;
}

TEST_F(PovFidelityTest, SilhouettesOverlapAndTexturesCarryTheirPicture) {
  // The view turned and brought back so the whole scene is in sight: the lights turn with it.
  Drawn.Scene.Views[3].SetViewScale({0.5, 0.5, 0.5});
  Drawn.Scene.Views[3].SetViewRotation({0, 0.3, 0});
  TImage ours, povray;
  Render(ours, povray, "scene");
  if (HasFatalFailure()) return;
  // The meshes carry the ambient light of each corner, as the views light them.
  std::ifstream written(Dir / "scene.pov", std::ios::binary);
  const std::string pov{std::istreambuf_iterator<char>(written), {}};
  EXPECT_NE(pov.find("texture_list"), std::string::npos);
  const double iou = SilhouetteOverlap(ours, povray);
  EXPECT_GE(iou, 0.95) << "pictures in " << Dir.string();
  RecordProperty("SilhouetteIoU", std::to_string(iou));

  // Each textured solid drawn alone: where the views show it, POV-Ray shows its picture in the same
  // light, its mean colour within a tenth. The cube stands at the edge of the default spot's cone
  // and carries the views' broad highlight.
  for (const char* name : {"CubeBois", "ToreBois"}) {
    ExpectSameMeanColourAlone(name);
    if (HasFatalFailure()) return;
  }
}

// A textured cube across the edge of the default spot's cone, close to the camera: its corners'
// light ranges from none to all of it. The views spread each corner's light evenly across the
// screen, POV-Ray evenly across the triangle; so near, the two differ by more than a tenth (the
// cube comes out about a sixth darker), where the same cube further off comes within a tenth.
// Without its highlight, it came out more than a quarter darker.
TEST_F(PovFidelityTest, ATexturedCubeAtTheEdgeOfTheSpotHasTheViewsLight) {
  TScene& scene = Drawn.Scene;
  TVue& view = scene.Views[3];
  view.SetViewScale({0.7, 0.7, 0.7});
  view.SetViewRotation({0, 0, 0});
  view.SetViewTranslation({0, 0, 0});
  D3DLIGHT7 spot;
  ASSERT_TRUE(scene.Device().GetLight(1, spot));
  // Two units along the spot's axis, then sideways by the cone's outer half angle: the edge of the
  // cone runs through the cube's middle.
  const auto unit = [](const Vec3d& v) { return v * (1 / Length(v)); };
  const Vec3d from = ToDouble(spot.dvPosition), axis = unit(ToDouble(spot.dvDirection));
  const Vec3d side = unit(Cross(axis, Vec3d{0, 1, 0}));
  const Vec3d at = from + axis * 2.0 + side * (2.0 * std::tan(spot.dvPhi * 0.5));
  const int i = scene.IndexOfName("CubeBois");
  scene.SolidAt(i)->SetPosition(at);
  ExpectSameMeanColourAlone("CubeBois", 0.2);
}

// A solid the plane the views cut at opens: the views draw no face from behind, so through the
// opening the solid behind it shows, in POV-Ray's picture as in theirs. Both a deformed mesh (the
// noise sphere) and a solid of triangles POV-Ray has no shape for (a pierced cube).
TEST_F(PovFidelityTest, ASolidOpenedByTheNearPlaneShowsWhatLiesBehindIt) {
  TScene& scene = Drawn.Scene;
  TVue& view = scene.Views[3];
  view.SetViewScale({1, 1, 1});
  view.SetViewRotation({0, 0, 0});
  view.SetViewTranslation({0, 0, 0});
  Add(CreateCubePerce(0xFFC0C0C0u, 1.2, 0.25), "Perce", {0, 0, 0});
  const D3DMATRIX look = LookToMatrix(view.Camera);
  const Vec3d ahead{look._13, look._23, look._33};
  for (const char* opened : {"Bruit", "Perce"}) {
    // The solid centred on the plane, which lies two units ahead of the camera's position; the
    // torsion cylinder further on, seen through it.
    for (int i = 0; i < scene.ObjectCount(); ++i)
      if (T3dObject* o = scene.ObjectAt(i); o && scene.SolidAt(i))
        o->SetVisible(o->Name() == opened || o->Name() == "Torsion");
    scene.SolidAt(scene.IndexOfName(opened))->SetPosition(view.Camera.Position + ahead * 2.0);
    scene.SolidAt(scene.IndexOfName("Torsion"))->SetPosition(view.Camera.Position + ahead * 3.2);
    TImage ours, povray;
    Render(ours, povray, opened);
    if (HasFatalFailure()) return;
    // The inside shows where POV-Ray has the solid and the views have not, or where POV-Ray has
    // it unlit (a face seen from behind) where the views show a lit face.
    const auto brightest = [](uint32_t p) { return std::max({(p >> 16) & 0xFFu, (p >> 8) & 0xFFu, p & 0xFFu}); };
    int onlyPovRay = 0, unlit = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t a = ours.PixelAt(x, y), b = povray.PixelAt(x, y);
        onlyPovRay += IsBackground(a) && !IsBackground(b);
        unlit += !IsBackground(a) && brightest(a) >= 48 && brightest(b) < 16;
      }
    EXPECT_LT(onlyPovRay, kWidth * kHeight / 100) << opened << ": the inside shows in " << Dir.string();
    EXPECT_LT(unlit, kWidth * kHeight / 100) << opened << ": the inside shows in " << Dir.string();
    EXPECT_GE(SilhouetteOverlap(ours, povray), 0.95) << opened << ": pictures in " << Dir.string();
  }
}

}  // namespace
}  // namespace ixoral
