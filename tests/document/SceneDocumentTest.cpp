// Scene text, documents and clipboard records.
#include "document/SceneDocument.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Encoding.h"
#include "scene/Curves.h"
#include "scene/Shapes.h"
#include "scene/Text3D.h"
#include "storage/Archive.h"
#include "tools/Deformations.h"
#include "tools/images/Image.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

const std::string kEnd = "\xA4\r\n";

// A 2 x 2 picture of one colour, as a bitmap file.
void WriteImage(const fs::path& p, uint32_t colour) {
  const uint32_t pixels[4] = {colour, colour, colour, colour};
  ASSERT_TRUE(WriteBmpFile(p.string(), 2, 2, pixels));
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ixoral_doc_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // A scene as the main window builds it: default light, then inserts named prefix + number.
  void Insert(TScene& s, const char* keyword, int number) {
    const TInsertDefault* d = FindInsertDefault(keyword);
    s.AddObject(d->Create(), d->Prefix + std::to_string(number));
  }

  // Every primitive, both light kinds, noise, torsion, hand edits, a relation, a texture.
  void BuildRichScene(TScene& s) {
    s.NewScene(true);
    int n = 0;
    for (const auto& d : InsertDefaults) s.AddObject(d.Create(), d.Prefix + std::to_string(++n));
    TSolidObject* sphere = s.SolidAt(s.IndexOfName("Sphere7"));
    sphere->SetNoise(4242, true, 0.05, -0.05);
    ReapplyNoise(*sphere);
    TSolidObject* torus = s.SolidAt(s.IndexOfName("Tore6"));
    torus->SetTorsion({0, -0.5, 0}, {0, 0.5, 0}, 1.2);
    ReapplyTorsion(*torus);
    TSolidObject* cube = s.SolidAt(s.IndexOfName("Cube1"));
    ApplyStoredHandEdit(*cube, 0, {0, 5}, {0.5, 0.75, 0.25}, 0.5f, 0.125f);
    cube->SetPosition({1, 2, -3});
    cube->SetScale({2, 1, 0.5});
    cube->SetColor(0xFF804020);
    cube->SetOrientation({0, 1, 1}, {0, 1, -1});
    const int child = s.IndexOfName("Cylindre3");
    s.SetParent(child, s.IndexOfName("Cube1"));
    s.SetRelation(child, s.IndexOfName("Cube1"), relSoustraction);
    TSolidObject* walls = s.SolidAt(s.IndexOfName("ParoiV9"));
    WriteImage(dir / "bois.bmp", 0xFF804020);
    walls->Texturer = true;
    walls->TextureFile = (dir / "bois.bmp").string();
    // A second light, aimed.
    const int n2 = ++s.LightCount;
    D3DLIGHT7 l;
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dvTheta = 0.5f;
    l.dvPhi = 0.6f;
    s.Device().SetLight(n2, l);
    const int li = s.AddObject(CreateAimedLight({0, 0, 0}, {1, -1, 1}, 0xFF00FF00, &s), "Lumière2");
    TLight* aimed = s.LightAt(li);
    aimed->DeviceIndex = n2;
    aimed->SetType(ltAimed);
    aimed->SetDirection({1, -1, 1});
    // Curves and text.
    s.AddObject(CreateDefaultCurve(), "Param1");
    s.AddObject(CreateUserCurve(10, "cos(t)", "sin(t)", kOpaqueWhite, 6.28, 0, "t/5", 0.3, 0.1), "Param2");
    auto text = CreateDefaultText3D([&](const std::string& candidate) { return s.NameExists(candidate); });
    const std::string textName = text->GetTextParam(1);
    s.AddObject(std::move(text), textName);
    s.Views[3].SetViewTranslation({0.5, 0, 0});
    s.Views[3].SetViewRotation({0.1, 0.2, 0});
    s.Views[3].SetViewScale({1.5, 1.5, 1.5});
  }

  fs::path dir;
};

}  // namespace

TEST_F(DocumentTest, TheFirstCubeRecord) {
  TScene scene;
  scene.NewScene(true);
  Insert(scene, "cube", 1);
  scene.SelectObject(1);
  EXPECT_EQ(SerializeObject(scene),
            "SolidObject;Cube1;FFFFFFFF;0;0,000;0,000;0,000;0,000;0,000;1,000;1,000;1,000;1,000;"
            "0,000;1,000;0,000;No Modif;No Bruit;No Torsion;-1;0;No Texture;1,500;0,500;");
  const std::string text = WriteSceneText(scene);
  EXPECT_NE(text.find("\r\nSolidObject;Cube1;FFFFFFFF;0;0,000;"), std::string::npos);
  EXPECT_NE(text.find("1,500;0,500;\r\n\xA4\r\n"), std::string::npos);
  // 23 fields before the shape fields.
  EXPECT_EQ(SplitRecord(SerializeObject(scene)).size(), 24u);
}

TEST_F(DocumentTest, AnEmptySceneAndTheOlderHeader) {
  TScene scene;
  const std::string text = WriteSceneText(scene);
  EXPECT_EQ(text.rfind("IXORAL EXPORT V1.1" + kEnd, 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 4), "0" + kEnd);
  EXPECT_NE(
      text.find(
          "Face;0,000;0,000;-3,000;0,000;0,000;1,000;0,000;0,000;0,000;0,000;0,000;0,000;1,000;1,000;1,000;Gauche;"),
      std::string::npos);
  TScene back;
  EXPECT_TRUE(ReadSceneText(back, text));
  EXPECT_EQ(back.ObjectCount(), 0);
  scene.SaveViews = false;
  EXPECT_EQ(WriteSceneText(scene), "IXORAL EXPORT" + kEnd + "0" + kEnd);
  EXPECT_TRUE(ReadSceneText(back, WriteSceneText(scene)));
  EXPECT_FALSE(ReadSceneText(back, "IXORAL EXPORT V2" + kEnd + "0" + kEnd));
  EXPECT_FALSE(ReadSceneText(back, ""));
}

TEST_F(DocumentTest, SaveLoadSaveGivesTheSameText) {
  TScene scene;
  BuildRichScene(scene);
  const std::string first = WriteSceneText(scene);
  const std::string doc = (dir / "scene.ixr").string();
  const TResult saved = SaveDocument(scene, doc, false);
  ASSERT_TRUE(saved) << saved.Message();
  EXPECT_TRUE(saved.Notices().empty());
  TScene loaded;
  const TResult read = LoadDocument(loaded, doc, (dir / "textures").string());
  ASSERT_TRUE(read) << read.Message();
  EXPECT_TRUE(read.Notices().empty());
  EXPECT_EQ(loaded.FileName, doc);
  ASSERT_EQ(loaded.ObjectCount(), scene.ObjectCount());
  // The texture came out of the archive into the texture folder; only its path differs.
  const TSolidObject* walls = loaded.SolidAt(loaded.IndexOfName("ParoiV9"));
  ASSERT_TRUE(walls && walls->Texturer);
  EXPECT_EQ(walls->TextureFile, (dir / "textures" / DocumentTextureFolderName(doc) / "bois.bmp").string());
  EXPECT_EQ(ReadAll(walls->TextureFile), ReadAll(dir / "bois.bmp"));
  scene.SolidAt(scene.IndexOfName("ParoiV9"))->TextureFile = walls->TextureFile;
  const std::string again = WriteSceneText(loaded);
  EXPECT_EQ(again, WriteSceneText(scene));
  // The meshes came back as they were (noise and torsion re-applied, hand edits replayed).
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TSolidObject* a = scene.SolidAt(i);
    const TSolidObject* b = loaded.SolidAt(loaded.IndexOfName(scene.ObjectAt(i)->Name()));
    if (!a) continue;
    ASSERT_TRUE(b) << scene.ObjectAt(i)->Name();
    ASSERT_EQ(a->VertexCount(), b->VertexCount());
    for (size_t c = 0; c < a->Composantes.size(); ++c)
      for (size_t v = 0; v < a->Composantes[c].Vertices.size(); v += 7) {
        EXPECT_NEAR(a->Composantes[c].Vertices[v].x, b->Composantes[c].Vertices[v].x, 1e-6) << a->Name();
        EXPECT_NEAR(a->Composantes[c].Vertices[v].tv, b->Composantes[c].Vertices[v].tv, 1e-6) << a->Name();
      }
  }
  EXPECT_EQ(loaded.Views[3].Scale, scene.Views[3].Scale);
}

TEST_F(DocumentTest, LightsComeBackUnderTheirDeviceNumber) {
  TScene scene;
  scene.NewScene(true);
  scene.RenameObject(0, "Soleil");
  const std::string text = WriteSceneText(scene);
  TScene back;
  back.NewScene(false);
  back.AddObject(CreateCube(kOpaqueWhite, 1), "X");
  ASSERT_TRUE(ReadSceneText(back, text));
  EXPECT_EQ(back.ObjectAt(1)->Name(), "Lumière1");
  EXPECT_EQ(back.LightCount, 1);
  D3DLIGHT7 d;
  ASSERT_TRUE(back.Device().GetLight(1, d));
  EXPECT_FLOAT_EQ(d.dvTheta, 0.873f);  // as stored, with three decimals
  EXPECT_FLOAT_EQ(d.dvPhi, 0.96f);     // as stored, not recomputed from the light's scale
  EXPECT_EQ(d.dltType, D3DLIGHT_SPOT);
}

TEST_F(DocumentTest, ReadsPointDecimalsAndLowerCaseColours) {
  TScene scene;
  const std::string text = "IXORAL EXPORT" + kEnd + "1" + kEnd +
                           "SolidObject;Boite;ff804020;0;1.5;0;0;0;0;1;1;1;1;0;1;0;No Modif;No Bruit;"
                           "No Torsion;-1;0;No Texture;1.5;2.25;\r\n" +
                           kEnd;
  ASSERT_TRUE(ReadSceneText(scene, text));
  const TSolidObject* s = scene.SolidAt(0);
  EXPECT_EQ(s->Position, Vec3d(1.5, 0, 0));
  EXPECT_EQ(s->Color, 0xFF804020u);
  EXPECT_EQ(s->GetParam(1), 2.25f);
  EXPECT_EQ(s->Composantes[0].Vertices[0].x, -1.125f);
}

TEST_F(DocumentTest, PastingTwiceMakesTheNameUnique) {
  TScene scene;
  Insert(scene, "cube", 1);
  scene.SelectObject(0);
  TMemoryClipboard clip;
  ASSERT_TRUE(CopyToClipboard(scene, clip));
  EXPECT_EQ(PasteFromClipboard(scene, clip).ValueOr(""), "Cube1i");
  EXPECT_EQ(PasteFromClipboard(scene, clip).ValueOr(""), "Cube1ii");
  scene.ClearSelection();
  const TResult copied = CopyToClipboard(scene, clip);
  EXPECT_FALSE(copied);
  EXPECT_EQ(copied.Message(), kMsgNeedSelection);
  clip.SetText("bonjour;le;monde;");
  const TExpected<std::string> pasted = PasteFromClipboard(scene, clip);
  ASSERT_FALSE(pasted);
  EXPECT_EQ(pasted.Error().Message, "Les données présentes dans le presse papier\nn'apartiennent pas à Ixoral");
}

TEST_F(DocumentTest, FieldsThatWouldBreakTheRecordAreCleaned) {
  TScene scene;
  Insert(scene, "cube", 1);
  scene.RenameObject(0, "a;b\r\nc¤d");
  scene.SelectObject(0);
  const auto fields = SplitRecord(SerializeObject(scene));
  EXPECT_EQ(fields[1], "a b  c d");
  EXPECT_EQ(fields.size(), 24u);
  // A field longer than 255 characters is cut on reading.
  std::string record = SerializeObject(scene);
  record.replace(record.find("a b  c d"), 8, std::string(1000, 'N'));
  TScene back;
  EXPECT_EQ(ParseObject(back, SplitRecord(record)), std::string(255, 'N'));
}

TEST_F(DocumentTest, BadRecordsFailWithoutHarm) {
  TScene good;
  Insert(good, "cube", 1);
  good.SelectObject(0);
  const std::string cube = SerializeObject(good);
  auto withField = [&](size_t index, const std::string& value) {
    auto f = SplitRecord(cube);
    f[index] = value;
    std::string r;
    for (auto& x : f) r += x + ";";
    return r;
  };
  const std::vector<std::string> bad = {
      "",
      "Bonjour;",
      withField(4, "abc"),    // a number that does not convert
      withField(4, "1e999"),  // not finite
      withField(5, "1e39"),   // finite as a double, infinite as a single
      withField(11, "-3,5E+038"),
      withField(22, "1e40"),            // the specular power
      withField(23, "4e38"),            // a shape parameter
      withField(2, "FFFFFFFG"),         // not a colour
      withField(3, "-1"),               // a shape code out of range
      withField(16, "Modifie"),         // an unknown keyword
      withField(19, "2147483648"),      // a parent past the integer range
      cube.substr(0, cube.size() / 2),  // truncated
      // A hand edit naming a vertex the cube does not have.
      "SolidObject;C;FFFFFFFF;0;0;0;0;0;0;1;1;1;1;0;1;0;Modified;1;0;36;0;0;0;0;0;No Bruit;No Torsion;"
      "-1;0;No Texture;1,5;0,5;",
      // A count of hand edits far beyond the record.
      "SolidObject;C;FFFFFFFF;0;0;0;0;0;0;1;1;1;1;0;1;0;Modified;2000000000;0;1;0;0;0;0;0;",
  };
  for (const auto& r : bad) {
    TScene scene;
    EXPECT_EQ(ParseObject(scene, SplitRecord(r)), "") << r;
    EXPECT_EQ(scene.ObjectCount(), 0) << r;
  }
  // Shapes without a generator are skipped, not failed.
  TScene scene;
  const std::string userShape = withField(3, "12");
  EXPECT_EQ(ParseObject(scene, SplitRecord(userShape.substr(0, userShape.rfind(';', userShape.size() - 2) + 1))), "-");
  EXPECT_EQ(scene.ObjectCount(), 0);
}

TEST_F(DocumentTest, AFailingRecordStopsTheReadButKeepsWhatCameBefore) {
  TScene scene;
  Insert(scene, "cube", 1);
  Insert(scene, "sphere", 1);
  std::string text = WriteSceneText(scene);
  const size_t second = text.find("SolidObject;Sphere1");
  text.replace(second, 11, "SolidObjet!");
  TScene back;
  EXPECT_FALSE(ReadSceneText(back, text));
  EXPECT_EQ(back.ObjectCount(), 1);
  // A count larger than the records present ends at the end of the text.
  std::string longer = WriteSceneText(scene);
  longer.replace(longer.find(std::string("2") + kEnd), 1, "999999999");
  TScene back2;
  EXPECT_FALSE(ReadSceneText(back2, longer));
  EXPECT_EQ(back2.ObjectCount(), 2);
}

TEST_F(DocumentTest, AFailedSaveKeepsThePreviousDocument) {
  TScene scene;
  scene.NewScene(true);
  Insert(scene, "cube", 1);
  const std::string doc = (dir / "keep.ixr").string();
  ASSERT_TRUE(SaveDocument(scene, doc, false));
  const std::string before = ReadAll(doc);
  // Not to be replaced: nothing written, the access message.
  const TResult refused = SaveDocument(scene, doc, false);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.Message(), kMsgFileAccess + doc);
  EXPECT_EQ(ReadAll(doc), before);
  // A folder that cannot hold the document (a file stands where it should be): the access
  // message, and the system's own words kept apart from it.
  const std::string nowhere = (dir / "keep.ixr" / "under.ixr").string();
  const TResult unwritable = SaveDocument(scene, nowhere, true);
  ASSERT_FALSE(unwritable);
  EXPECT_EQ(unwritable.Error().Message, kMsgFileAccess + nowhere);
  EXPECT_EQ(unwritable.Error().Reason, "Un élément du chemin n'est pas un dossier");
  EXPECT_EQ(scene.FileName, doc);
  // A texture that cannot be read: the save fails and the old document stays byte for byte.
  TSolidObject* cube = scene.SolidAt(1);
  cube->Texturer = true;
  cube->TextureFile = (dir / "gone.jpg").string();
  EXPECT_FALSE(SaveDocument(scene, doc, true));
  EXPECT_EQ(ReadAll(doc), before);
  size_t files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1u);  // keep.ixr: no temporary left behind
}

TEST_F(DocumentTest, SolidsSharingAPictureOrAFileNameEachKeepTheirOwn) {
  const uint32_t colours[2] = {0xFF102030, 0xFF405060};
  fs::create_directories(dir / "other");
  const fs::path pictures[2] = {dir / "bois.bmp", dir / "other" / "BOIS.bmp"};
  for (int k = 0; k < 2; ++k) {
    const uint32_t pixels[4] = {colours[k], colours[k], colours[k], colours[k]};
    ASSERT_TRUE(WriteBmpFile(pictures[k].string(), 2, 2, pixels));
  }
  TScene scene;
  // Two solids with one picture, and a third with another picture of the same name.
  for (int k = 0; k < 3; ++k) {
    Insert(scene, "cube", k);
    scene.SolidAt(k)->Texturer = true;
    scene.SolidAt(k)->TextureFile = pictures[k / 2].string();
  }
  const std::string doc = (dir / "shared.ixr").string();
  ASSERT_TRUE(SaveDocument(scene, doc, false));
  TZLBArchive archive;
  archive.OpenArchive(doc);
  ASSERT_EQ(archive.EntryCount(), 4);
  EXPECT_EQ(archive.GetEntry(1).FileNameUtf8(), "bois.bmp");
  EXPECT_EQ(archive.GetEntry(2).FileNameUtf8(), "bois-2.bmp");
  EXPECT_EQ(archive.GetEntry(3).FileNameUtf8(), "BOIS-3.bmp");
  archive.CloseArchive();
  TScene loaded;
  ASSERT_TRUE(LoadDocument(loaded, doc, (dir / "textures").string()));
  for (int k = 0; k < 3; ++k) {
    TImage image;
    std::string message;
    ASSERT_TRUE(loaded.SolidAt(k)->Texturer) << k;
    ASSERT_TRUE(LoadImageFile(loaded.SolidAt(k)->TextureFile, image, message)) << message;
    EXPECT_EQ(image.PixelAt(0, 0) | 0xFF000000u, colours[k / 2]) << k;
  }
  // Saved again, the numbered names are simply kept.
  ASSERT_TRUE(SaveDocument(loaded, doc, true));
}

TEST_F(DocumentTest, TwoDocumentsKeepTheirOwnImageUnderOneName) {
  const uint32_t images[2] = {0xFF102030, 0xFF405060};
  std::string docs[2];
  for (int k = 0; k < 2; ++k) {
    fs::create_directories(dir / std::to_string(k));
    const auto image = dir / std::to_string(k) / "bois.bmp";
    WriteImage(image, images[k]);
    TScene scene;
    Insert(scene, "cube", 1);
    scene.SolidAt(0)->Texturer = true;
    scene.SolidAt(0)->TextureFile = image.string();
    docs[k] = (dir / std::to_string(k) / "scene.ixr").string();
    ASSERT_TRUE(SaveDocument(scene, docs[k], false));
  }
  TScene a, b;
  ASSERT_TRUE(LoadDocument(a, docs[0], (dir / "t").string()));
  ASSERT_TRUE(LoadDocument(b, docs[1], (dir / "t").string()));
  EXPECT_EQ(ReadAll(a.SolidAt(0)->TextureFile), ReadAll(dir / "0" / "bois.bmp"));
  EXPECT_EQ(ReadAll(b.SolidAt(0)->TextureFile), ReadAll(dir / "1" / "bois.bmp"));
}

TEST_F(DocumentTest, LoadingSomethingElseReportsAndAddsNothing) {
  const std::string junk = (dir / "junk.ixr").string();
  std::ofstream(junk) << "not an archive at all, not at all";
  TScene scene;
  EXPECT_EQ(LoadDocument(scene, junk, (dir / "t").string()).Message(), kArcCorrupt);
  // An archive whose text is not a scene.
  TZLBArchive a;
  const std::string doc = (dir / "text.ixr").string();
  a.CreateArchive(doc);
  const std::string data = "hello";
  a.AddEntries({{"text.ixr.tmp", "", &data}});
  a.CloseArchive();
  const TResult read = LoadDocument(scene, doc, (dir / "t").string());
  EXPECT_FALSE(read);
  EXPECT_EQ(read.Message(), kMsgFileAccess + doc);
  EXPECT_EQ(scene.ObjectCount(), 0);
}

// A scene text above what the reader allows is refused on the size its archive declares.
TEST_F(DocumentTest, ATextAboveItsLimitIsRefusedNamingTheEntry) {
  TScene scene;
  scene.NewScene(true);
  const std::string doc = (dir / "big.ixr").string();
  ASSERT_TRUE(SaveDocument(scene, doc, false));
  TLoadLimits limits;
  limits.TextBytes = WriteSceneText(scene).size() - 1;
  const TResult read = LoadDocument(scene, doc, (dir / "t").string(), TTextureUse::Extract, limits);
  EXPECT_EQ(read.Message(), kArcCorrupt);
  EXPECT_EQ(read.Error().Reason, "entrée « big.ixr.tmp » : taille déclarée " + std::to_string(limits.TextBytes + 1) +
                                     " octets, au-delà de la limite");
}

// A new scene's light stands where the same light stands once the scene is saved and read again,
// one unit behind its symbol's apex, so a new scene is lit as a saved one is.
TEST(DefaultLight, StandsWhereItWillStandAfterASaveAndALoad) {
  TScene fresh;
  fresh.NewScene(true);
  TScene reread;
  ASSERT_TRUE(ReadSceneText(reread, WriteSceneText(fresh)));
  D3DLIGHT7 a, b;
  ASSERT_TRUE(fresh.Device().GetLight(1, a));
  ASSERT_TRUE(reread.Device().GetLight(1, b));
  EXPECT_NEAR(a.dvPosition.x, b.dvPosition.x, 1e-5);
  EXPECT_NEAR(a.dvPosition.y, b.dvPosition.y, 1e-5);
  EXPECT_NEAR(a.dvPosition.z, b.dvPosition.z, 1e-5);
  EXPECT_LT(std::hypot(a.dvPosition.x + 1, a.dvPosition.z + 1), 1.01);  // not 7071 units away
  EXPECT_EQ(WriteSceneText(fresh), WriteSceneText(reread));             // and the scene text is unchanged
}

TEST_F(DocumentTest, ARebuiltSolidKeepsTheParamsItsGeneratorWrote) {
  const std::string head = "0;0;0;0;0;1;1;1;1;0;1;0;No Modif;No Bruit;No Torsion;-1;0;No Texture;1,5;";
  TScene scene;
  ASSERT_EQ(ParseObject(scene, SplitRecord("SolidObject;Cyl;FFFFFFFF;2;" + head + "0,5;1;10,6;")), "Cyl");
  ASSERT_EQ(ParseObject(scene, SplitRecord("SolidObject;Sph;FFFFFFFF;6;" + head + "0,5;20,6;2,6;")), "Sph");
  ASSERT_EQ(ParseObject(scene, SplitRecord("SolidObject;Cur;FFFFFFFF;9;" + head + "0,1;0,3;10,6;2,6;5;")), "Cur");
  const TSolidObject* cyl = scene.SolidAt(0);
  EXPECT_EQ(cyl->GetParam(3), 11.0f);
  EXPECT_EQ(cyl->Composantes[0].Vertices.size(), 4u * 12u);  // the mesh and the Params agree
  const TSolidObject* sph = scene.SolidAt(1);
  EXPECT_EQ(sph->GetParam(2), 21.0f);
  EXPECT_EQ(sph->GetParam(3), 3.0f);
  EXPECT_EQ(sph->Composantes[0].Vertices.size(), 6u * 21u * 3u);
  const TSolidObject* cur = scene.SolidAt(2);
  EXPECT_EQ(cur->GetParam(3), 10.0f);  // 11 sides made even
  EXPECT_EQ(cur->GetParam(4), 3.0f);
  EXPECT_EQ(cur->Composantes[0].Vertices.size(), 4u * 11u);
  // Saved again, the rounded values are what the document holds.
  scene.SelectObject(0);
  EXPECT_NE(SerializeObject(scene).find("0,500;1,000;11,000;"), std::string::npos);
}
