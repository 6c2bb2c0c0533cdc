// POV-Ray export: number forms, solid blocks, CSG grouping, and a real POV-Ray run.
#include "document/PovExport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "document/SceneDocument.h"
#include "scene/Curves.h"
#include "tools/images/Image.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class PovTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ixoral_pov_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Export(TScene& scene, int view = 3, const TPovExportOptions& options = {}) {
    const auto path = dir / "scene.pov";
    fs::remove(path);
    EXPECT_TRUE(ExportPovScene(scene, view, path.string(), false, options));
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  int Add(TScene& s, std::unique_ptr<TSolidObject> o, const char* name) { return s.AddObject(std::move(o), name); }
  fs::path dir;
};

}  // namespace

TEST(PovFormat, NumbersVectorsAndMatrices) {
  EXPECT_EQ(FormatPovNumber(0.5), "0.500");
  EXPECT_EQ(FormatPovNumber(-0.25), "-0.250");
  EXPECT_EQ(FormatPovNumber(12345.678), "12345.680");
  EXPECT_EQ(FormatPovNumber(-0.0001), "0.000");
  EXPECT_EQ(FormatPovVector(1, -2, 0.5), "< 1.000, -2.000, 0.500 >");
  EXPECT_EQ(FormatPovMatrix(Identity()),
            "  matrix < \r\n  1.000, 0.000, 0.000, \r\n  0.000, 1.000, 0.000, \r\n  0.000, 0.000, 1.000, \r\n"
            "  0.000, 0.000, 0.000 >");
  EXPECT_EQ(FormatPovString("a\"b\\c\nd"), "\"a\\\"b\\\\c d\"");
}

TEST_F(PovTest, AnEmptySceneStillClosesItsUnion) {
  TScene scene;
  const std::string pov = Export(scene);
  // The perspective view's camera as the views draw with it: one unit ahead, a field of half-tangent
  // one half both ways.
  EXPECT_NE(pov.find("camera {\r\nlocation < 0.000, 1.293, -1.293 >\r\nright x\r\nup y\r\ndirection z\r\n"
                     "sky < 0.000, 0.707, 0.707 >\r\nlook_at < 0.000, 0.586, -0.586 >\r\n}"),
            std::string::npos)
      << pov;
  // Cut where the views cut: one unit ahead of the centre of projection, at 1.828 - 1 from the
  // origin along the view.
  EXPECT_NE(pov.find("union {\r\n\r\nscale < 1.000, 1.000, 1.000 >\r\nrotate < 0.000, 0.000, 0.000 >\r\n"
                     "translate < 0.000, 0.000, 0.000 >\r\nclipped_by { plane { < 0.000, 0.707, -0.707 >, 0.8284271 } }"
                     "\r\n}\r\n"),
            std::string::npos)
      << pov;
  const std::string literal = Export(scene, 3, {.AsWritten = true});
  EXPECT_NE(literal.find("union {\r\n\r\nscale < 1.000, 1.000, 1.000 >\r\nrotate < 0.000, 0.000, 0.000 >\r\n"
                         "translate < 0.000, 0.000, 0.000 >\r\n}\r\n"),
            std::string::npos);
}

TEST_F(PovTest, SolidBlocks) {
  TScene scene;
  Add(scene, CreateCube(kOpaqueWhite, 0.5), "Cube1");
  const std::string pov = Export(scene);
  EXPECT_NE(pov.find("box { < -0.250, -0.250, -0.250 >,\r\n< 0.250, 0.250, 0.250 >\r\n"), std::string::npos);
  EXPECT_NE(pov.find("      pigment { rgbt < 1.000, 1.000, 1.000, 0.000> }"), std::string::npos);
  // The shine as first described; lit as the views light, the whole colour is diffuse and the
  // highlight's size follows the power (1.5 here).
  EXPECT_NE(Export(scene, 3, {.AsWritten = true}).find("        specular 0.800\r\n        diffuse 0.700\r\n      }"),
            std::string::npos);
  EXPECT_NE(pov.find("        specular 0.800\r\n        diffuse 1.000\r\n        roughness 0.667"), std::string::npos)
      << pov;
  // A triangle list of 40 vertices: 13 triangles, the partial group ignored.
  auto odd = std::make_unique<TSolidObject>();
  TComposante c;
  c.Vertices.resize(40);
  for (size_t k = 0; k < 40; ++k) c.Vertices[k].x = static_cast<float>(k);
  odd->Composantes = {c};
  odd->ShapeType = stUser;
  odd->SetVisible(true);
  TScene only;
  only.AddObject(std::move(odd), "Odd");
  EXPECT_EQ(Count(Export(only), "triangle {"), 13u);
  // Strips and fans: a pyramid's base (fan of 6) and side (fan of 6): 4 + 4 triangles.
  TScene pyr;
  Add(pyr, CreateConeOrPyramid(4, kOpaqueWhite, 1, 0.5), "P");
  EXPECT_EQ(Count(Export(pyr), "triangle {"), 8u);
}

TEST_F(PovTest, CsgChildrenCarryTheirParent) {
  TScene scene;
  const int parent = Add(scene, CreateCube(kOpaqueWhite, 1), "Parent");
  const int a = Add(scene, CreateSphere(10, 10, kOpaqueWhite, 0.6), "A");
  const int b = Add(scene, CreateCylinder(10, kOpaqueWhite, 2, 0.2), "B");
  scene.SetParent(a, parent);
  scene.SetParent(b, parent);
  scene.SolidAt(a)->Relation = relSoustraction;
  scene.SolidAt(b)->Relation = relIntersection;
  std::string pov = Export(scene);
  EXPECT_EQ(Count(pov, "difference {"), 1u);
  EXPECT_EQ(Count(pov, "intersection {"), 1u);
  EXPECT_EQ(Count(pov, "box {"), 2u);  // the parent once in each child's block, nowhere else
  // A hidden parent: the child alone, the parent not at all.
  scene.SolidAt(parent)->SetVisible(false);
  pov = Export(scene);
  EXPECT_EQ(Count(pov, "difference {"), 0u);
  EXPECT_EQ(Count(pov, "box {"), 0u);
  EXPECT_EQ(Count(pov, "sphere {"), 1u);
}

TEST_F(PovTest, RelationChainsAreWrittenNestedWithEverySolid) {
  // F <- G (subtraction) <- H (intersection), as a document may hold it.
  TScene scene;
  const int f = Add(scene, CreateCube(kOpaqueWhite, 1), "F");
  const int g = Add(scene, CreateSphere(10, 10, kOpaqueWhite, 0.6), "G");
  const int h = Add(scene, CreateCylinder(10, kOpaqueWhite, 2, 0.4), "H");
  scene.LinkParent(g, f);
  scene.SolidAt(g)->Relation = relSoustraction;
  scene.LinkParent(h, g);
  scene.SolidAt(h)->Relation = relIntersection;
  std::string pov = Export(scene);
  EXPECT_EQ(Count(pov, "box {"), 1u);
  EXPECT_EQ(Count(pov, "sphere {"), 1u);
  EXPECT_EQ(Count(pov, "cylinder {"), 1u);
  const size_t inter = pov.find("intersection {"), diff = pov.find("difference {"), box = pov.find("box {"),
               sphere = pov.find("sphere {"), cylinder = pov.find("cylinder {");
  ASSERT_NE(inter, std::string::npos);
  EXPECT_TRUE(inter < diff && diff < box && box < sphere && sphere < cylinder) << pov;
  // A loop of parents ends where a solid comes back, and nothing is written twice over.
  scene.LinkParent(f, h);
  scene.SolidAt(f)->Relation = relSoustraction;
  const int k = Add(scene, CreateTorus(8, 8, kOpaqueWhite, 0.1, 0.3), "K");
  scene.LinkParent(k, h);
  scene.SolidAt(k)->Relation = relIntersection;
  pov = Export(scene);
  EXPECT_EQ(Count(pov, "torus {"), 1u);
  EXPECT_EQ(Count(pov, "cylinder {"), 1u);
}

TEST_F(PovTest, LightsThatAreOn) {
  TScene scene;
  scene.NewScene(true);
  const int n = ++scene.LightCount;
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_DIRECTIONAL;
  scene.Device().SetLight(n, l);
  const int i = scene.AddObject(CreateAimedLight({0, 0, 0}, {1, 1, 1}, 0xFF0000FF, &scene), "L2");
  scene.LightAt(i)->DeviceIndex = n;
  scene.LightAt(i)->SetColor(0xFF0000FF);  // now that the light has its place in the device
  const std::string literal = Export(scene, 3, {.AsWritten = true});
  EXPECT_EQ(Count(literal, "light_source {"), 2u);
  EXPECT_EQ(Count(literal, "spotlight"), 1u);
  EXPECT_NE(literal.find("  color < 0.000, 0.000, 1.000 >"), std::string::npos);
  EXPECT_NE(literal.find("  radius 50.000"), std::string::npos);
  EXPECT_EQ(Count(literal, "shadowless"), 0u);
  EXPECT_EQ(Count(literal, "background"), 0u);

  // As the views light: the default spot by its half angles, shadowless, fading as 1 / d; the
  // directional light parallel; the views' background.
  Add(scene, CreateCube(kOpaqueWhite, 0.5), "Cube1");
  const std::string lit = Export(scene, 3, {.Background = D3DRGB(0.2, 0.4, 0.6)});
  EXPECT_EQ(Count(lit, "light_source {"), 2u);
  EXPECT_EQ(Count(lit, "shadowless"), 2u);
  EXPECT_NE(lit.find("  spotlight\r\n  radius 25.000\r\n  falloff 27.500\r\n  tightness 0"), std::string::npos) << lit;
  EXPECT_NE(lit.find("  fade_distance 0.01\r\n  fade_power 1"), std::string::npos) << lit;
  EXPECT_NE(lit.find("  color rgb < 0.000, 0.000, 1.000 >\r\n  parallel"), std::string::npos) << lit;
  EXPECT_NE(lit.find("background { color rgb < 0.200, 0.400, 0.600 > }"), std::string::npos) << lit;
  // The cube at the origin stands in the default spot's cone, 2.414 from it: its ambient is the
  // spot's white ambient at that distance, plus the blue light's, which reaches everywhere.
  EXPECT_NE(lit.find("        ambient rgb < 0.414, 0.414, 1.000 >"), std::string::npos) << lit;

  scene.LightAt(0)->SetVisible(false);
  EXPECT_EQ(Count(Export(scene), "light_source {"), 1u);
}

TEST_F(PovTest, AnExistingFileIsReplacedOnlyWhenAllowed) {
  TScene scene;
  const auto path = (dir / "keep.pov").string();
  std::ofstream(path) << "mine";
  const TResult refused = ExportPovScene(scene, 3, path, false);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.Message(), kMsgFileAccess + path);
  std::string s;
  std::ifstream(path) >> s;
  EXPECT_EQ(s, "mine");
  ASSERT_TRUE(ExportPovScene(scene, 3, path, true));
  std::ifstream(path) >> s;
  EXPECT_EQ(s, "#version");
}

TEST_F(PovTest, DeformedAndTexturedSolidsAreWrittenAsTheViewsDrawThem) {
  // A 4 x 3 picture: the views draw its top-left 4 x 2 part.
  std::vector<uint32_t> pixels(12);
  for (size_t k = 0; k < pixels.size(); ++k) pixels[k] = 0xFF000000u | uint32_t(k * 0x101010);
  const std::string bmp = (dir / "bois.bmp").string();
  ASSERT_TRUE(WriteBmpFile(bmp, 4, 3, pixels.data()));
  TScene scene;
  TSolidObject* noisy = scene.SolidAt(Add(scene, CreateSphere(8, 8, kOpaqueWhite, 0.5), "Sphere1"));
  noisy->SetNoise(7, true, 0.1, 0.0);
  noisy->Composantes[0].Vertices[0].x = 0.654321f;          // what the noise moved
  noisy->Composantes[0].Vertices.back().y = std::nanf("");  // a damaged vertex: its triangles are left out
  for (const char* name : {"Cube1", "Cube2", "Cube3"}) {
    TSolidObject* cube = scene.SolidAt(Add(scene, CreateCube(kOpaqueWhite, 1), name));
    cube->Texturer = true;
    cube->TextureFile = name == std::string("Cube3") ? (dir / "absent.bmp").string() : bmp;
  }
  auto text = CreateDefaultText3D([](const std::string&) { return false; });
  text->SetTextParam(1, "Ixoral été");
  scene.AddObject(std::move(text), "Texte1");
  // Both faces of the wall come as neighbours in one list; the circle's are two fans.
  std::pair<std::unique_ptr<TSolidObject>, const char*> flats[] = {{CreateWall(kOpaqueWhite, 1), "Paroi1"},
                                                                   {CreateCircle(12, kOpaqueWhite, 0.5), "Cercle1"}};
  for (auto& [shape, name] : flats) {
    TSolidObject* flat = scene.SolidAt(Add(scene, std::move(shape), name));
    flat->Texturer = true;
    flat->TextureFile = bmp;
  }

  TResult exported = ExportPovScene(scene, 3, (dir / "scene.pov").string(), false);
  ASSERT_TRUE(exported);
  EXPECT_EQ(exported.Notices(), std::vector<std::string>{kMsgPovTextureLeftOut + (dir / "absent.bmp").string()});
  std::ifstream in(dir / "scene.pov", std::ios::binary);
  const std::string pov{std::istreambuf_iterator<char>(in), {}};
  EXPECT_NE(pov.find("global_settings { assumed_gamma 2.2 charset utf8 }"), std::string::npos);
  // The noisy sphere, the two textured cubes and the text (its glyphs as the views build them) are
  // meshes; the cube without its picture is a box.
  EXPECT_EQ(pov.find("\"Ixoral été\""), std::string::npos);
  EXPECT_EQ(Count(pov, "mesh2 {"), 6u);
  EXPECT_EQ(Count(pov, "box {"), 1u);
  EXPECT_EQ(Count(pov, "sphere {"), 0u);
  EXPECT_NE(pov.find("<0.654321,"), std::string::npos);
  EXPECT_EQ(pov.find("nan"), std::string::npos);
  EXPECT_EQ(Count(pov, "uv_vectors"), 4u);
  EXPECT_EQ(Count(pov, "inside_vector <0, 0, 1>"), 6u);
  // The views draw the sphere's and the cubes' faces from one side, whose back POV-Ray leaves
  // clear (the box too); the faces of the text, the wall and the circle are given both ways and
  // show both sides.
  EXPECT_EQ(Count(pov, "interior_texture { pigment { rgbt 1 } }"), 4u);
  const size_t textAt = pov.find("mesh2 {", pov.find("mesh2 {", pov.find("mesh2 {", pov.find("mesh2 {") + 1) + 1) + 1);
  EXPECT_EQ(pov.find("interior_texture", textAt), std::string::npos);  // after: the text, the wall, the circle
  // One picture for the cubes, the wall and the circle, as the views draw it.
  EXPECT_EQ(Count(pov, "uv_mapping pigment { image_map { png \"scene-texture-1.png\" interpolate 2 } }"), 4u);
  EXPECT_FALSE(fs::exists(dir / "scene-texture-2.png"));
  TImage picture;
  std::string message;
  ASSERT_TRUE(LoadImageFile((dir / "scene-texture-1.png").string(), picture, message)) << message;
  ASSERT_EQ(picture.Width, 4);
  ASSERT_EQ(picture.Height, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(picture.PixelAt(x, y) & 0xFFFFFFu, pixels[size_t(y * 4 + x)] & 0xFFFFFFu);

  // As it was first written: shapes alone, the text's bytes as they are, no picture.
  fs::remove_all(dir);
  fs::create_directories(dir);
  TPovExportOptions literal;
  literal.AsWritten = true;
  ASSERT_TRUE(ExportPovScene(scene, 3, (dir / "scene.pov").string(), false, literal));
  std::ifstream again(dir / "scene.pov", std::ios::binary);
  const std::string asWritten{std::istreambuf_iterator<char>(again), {}};
  EXPECT_EQ(Count(asWritten, "mesh2"), 0u);
  EXPECT_NE(asWritten.find("\"Ixoral été\""), std::string::npos);
  EXPECT_EQ(Count(asWritten, "sphere {"), 1u);
  EXPECT_NE(asWritten.find("global_settings { assumed_gamma 1.0 }"), std::string::npos);
  EXPECT_NE(asWritten.find("camera {\r\nlocation < 0.000, 2.000, -2.000 >\r\nlook_at < 0.000, -1.000, 1.000 >\r\n}"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "scene-texture-1.png"));
}

TEST_F(PovTest, PovRayRendersWhatWeWrite) {
  if (std::system("povray --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "povray is not installed";
  TScene scene;
  scene.NewScene(true);
  int n = 0;
  for (const auto& d : InsertDefaults) scene.AddObject(d.Create(), d.Prefix + std::to_string(++n));
  const int parent = scene.IndexOfName("Cube1");
  const int sub = scene.IndexOfName("Sphere7"), inter = scene.IndexOfName("Cylindre3");
  scene.SetParent(sub, parent);
  scene.SetRelation(sub, parent, relSoustraction);
  const int hiddenParent = scene.IndexOfName("Tore6");
  const int child2 = scene.IndexOfName("Cône4");
  scene.SetParent(child2, hiddenParent);
  scene.SetRelation(child2, hiddenParent, relIntersection);
  scene.SolidAt(hiddenParent)->SetVisible(false);
  scene.SetParent(inter, scene.IndexOfName("Cercle8"));
  scene.SetRelation(inter, scene.IndexOfName("Cercle8"), relIntersection);
  // A three-level chain: the pyramid subtracted from the pierced cube, the result intersected
  // with the floor.
  const int f = scene.IndexOfName("Cube Perce2"), g = scene.IndexOfName("Pyramide5"), h = scene.IndexOfName("ParoiH10");
  scene.LinkParent(g, f);
  scene.SolidAt(g)->Relation = relSoustraction;
  scene.LinkParent(h, g);
  scene.SolidAt(h)->Relation = relIntersection;
  // A 3D text whose text needs escaping, and a curve.
  auto text = CreateDefaultText3D([](const std::string&) { return false; });
  text->SetTextParam(1, "Ixoral été \"quoted\" \\ text");
  // A textured and a deformed solid, written as meshes with a picture.
  const uint32_t wood[4] = {0xFF804020, 0xFF603010, 0xFF804020, 0xFF603010};
  ASSERT_TRUE(WriteBmpFile((dir / "bois.bmp").string(), 2, 2, wood));
  TSolidObject* cube = scene.SolidAt(parent);
  cube->Texturer = true;
  cube->TextureFile = (dir / "bois.bmp").string();
  scene.SolidAt(scene.IndexOfName("Sphere7"))->SetNoise(3, true, 0.1, 0.0);
  scene.AddObject(std::move(text), "Texte1");
  scene.AddObject(CreateDefaultCurve(), "Param1");
  const int l2 = ++scene.LightCount;
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dvPosition = {2, 2, -2};
  scene.Device().SetLight(l2, l);
  scene.LightAt(scene.AddObject(CreateAimedLight({2, 2, -2}, {0, 0, 0}, kOpaqueWhite, &scene), "L2"))->DeviceIndex = l2;
  const std::string pov = Export(scene);
  EXPECT_EQ(Count(pov, "object {"), 6u);  // pierced cube, pyramid, circle, both walls, curve
  const auto img = dir / "out.png";
  const std::string cmd =
      "cd '" + dir.string() + "' && povray +Iscene.pov +O" + img.string() + " +W80 +H60 -D -V +WL0 >povray.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << [&] {
    std::ifstream in(dir / "povray.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  EXPECT_TRUE(fs::exists(img));
  std::ifstream log(dir / "povray.log");
  const std::string text2((std::istreambuf_iterator<char>(log)), {});
  EXPECT_EQ(text2.find("Parse Error"), std::string::npos) << text2;
}
