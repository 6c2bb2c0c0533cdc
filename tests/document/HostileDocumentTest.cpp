// Documents made to exhaust the reader: each is refused quickly with nothing loaded, or loads
// within its bounds; numbers that are not finite in single precision fail their record.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "document/PovExport.h"
#include "platform/AtomicFile.h"
#include "platform/RunFolder.h"
#include "platform/Trace.h"
#include "tools/images/Image.h"
#include "document/SceneDocument.h"
#include "scene/Shapes.h"
#include "storage/Archive.h"
#include "TempFolder.h"

using namespace ixoral;

namespace {

const std::string kEnd = "\xA4\r\n";

// One solid record: placement at the origin, then the given modified block and shape fields.
std::string Solid(const std::string& name, int shape, const std::string& shapeFields,
                  const std::string& modified = "No Modif", const std::string& position = "0;0;0") {
  return "SolidObject;" + name + ";FFFFFFFF;" + std::to_string(shape) + ";" + position + ";0;0;1;1;1;1;0;1;0;" +
         modified + ";No Bruit;No Torsion;-1;0;No Texture;1,5;" + shapeFields;
}

std::string SceneText(const std::vector<std::string>& records) {
  std::string out = "IXORAL EXPORT" + kEnd + std::to_string(records.size()) + kEnd;
  for (const auto& r : records) out += r + "\r\n" + kEnd;
  return out;
}

std::vector<std::string> Repeat(const std::string& record, size_t n) { return std::vector<std::string>(n, record); }

class HostileDocumentTest : public ::testing::Test {
 protected:
  // Reads into a scene that already holds one cube: a refused text must leave exactly that.
  bool Read(const std::string& text) {
    scene.FreeAllObjects();
    scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Avant");
    refusal.clear();
    return ReadSceneText(scene, text, &refusal);
  }
  void ExpectRefusedWithNothingLoaded(const std::string& why) {
    EXPECT_EQ(refusal.rfind(why, 0), 0u) << refusal;
    ASSERT_EQ(scene.ObjectCount(), 1);
    EXPECT_EQ(scene.ObjectAt(0)->Name(), "Avant");
  }
  TScene scene;
  std::string refusal;
};

}  // namespace

TEST_F(HostileDocumentTest, MeshesBeyondTheVertexBoundAreRefusedAsAWhole) {
  EXPECT_FALSE(Read(SceneText(Repeat(Solid("s", stSphere, "0,5;100;100;"), 2000))));
  ExpectRefusedWithNothingLoaded("plus de 8000000 sommets");
  // A hundred of them are an ordinary scene.
  EXPECT_TRUE(Read(SceneText(Repeat(Solid("s", stSphere, "0,5;100;100;"), 100))));
  EXPECT_EQ(scene.ObjectCount(), 101);
  EXPECT_TRUE(refusal.empty());
}

TEST_F(HostileDocumentTest, SixThousandIdenticalNamesLoadWithTheUsualNames) {
  EXPECT_TRUE(Read(SceneText(Repeat(Solid("a", stCube, "0,5;"), 6000))));
  ASSERT_EQ(scene.ObjectCount(), 6001);
  EXPECT_EQ(scene.ObjectAt(1)->Name(), "a");
  EXPECT_EQ(scene.ObjectAt(2)->Name(), "ai");
  EXPECT_EQ(scene.ObjectAt(6000)->Name(), "a" + std::string(5999, 'i'));
  // Twenty thousand would hold 200 MB of names.
  EXPECT_FALSE(Read(SceneText(Repeat(Solid("a", stCube, "0,5;"), 20000))));
  ExpectRefusedWithNothingLoaded("noms d'objets trop longs");
}

TEST_F(HostileDocumentTest, CostlyCurvesAreRefused) {
  std::string eq;
  for (int k = 0; k < 20; ++k) eq += "cos(";
  eq += "t";
  for (int k = 0; k < 20; ++k) eq += ")";
  EXPECT_FALSE(
      Read(SceneText(Repeat(Solid("c", stParamUser, "0,1;0,001;10;0;10;" + eq + ";" + eq + ";" + eq + ";"), 5000))));
  ExpectRefusedWithNothingLoaded("courbes paramétriques trop longues à calculer");
}

TEST_F(HostileDocumentTest, RecordsLongerThanTheWriterMakesAreRefusedUnsplit) {
  EXPECT_FALSE(Read("IXORAL EXPORT" + kEnd + "1" + kEnd + std::string(50000000, ';') + "\r\n" + kEnd));
  ExpectRefusedWithNothingLoaded("un objet de plus de");
  // Fields after a complete record fail it: it is not a record the program wrote.
  std::string junk = Solid("j", stCube, "0,5;");
  for (int k = 0; k < 1000; ++k) junk += "0;";
  EXPECT_FALSE(Read(SceneText({junk})));
  EXPECT_EQ(scene.ObjectCount(), 1);
  EXPECT_TRUE(ParseObject(scene, SplitRecord(Solid("j", stCube, "0,5;") + "0;")).empty());
}

TEST_F(HostileDocumentTest, HandEditsGoThroughAnIndexAndHaveABound) {
  // 300 000 edits of a sphere's 60 000 vertices, each moving its point somewhere of its own.
  const int n = 300000;
  std::string entries;
  for (int k = 0; k < n; ++k) entries += "0;" + std::to_string(k % 60000) + ";" + std::to_string(k) + ";0;0;0;0;";
  EXPECT_TRUE(Read(SceneText({Solid("h", stSphere, "0,5;100;100;",
                                    "Modified;" + std::to_string(n) + ";" + entries.substr(0, entries.size() - 1))})))
      << refusal;
  EXPECT_EQ(scene.SolidAt(1)->ModifiedCount(), n);
  EXPECT_EQ(scene.SolidAt(1)->Composantes[0].Vertices[59999].x, 299999.0f);
  // Edits that gather every point in a few places make each later edit move thousands: refused.
  entries.clear();
  for (int k = 0; k < n; ++k) entries += "0;" + std::to_string(k % 60000) + ";0;0;" + std::to_string(k % 7) + ";0;0;";
  EXPECT_FALSE(Read(SceneText({Solid("h", stSphere, "0,5;100;100;",
                                     "Modified;" + std::to_string(n) + ";" + entries.substr(0, entries.size() - 1))})));
  ExpectRefusedWithNothingLoaded("points déplacés à la main trop coûteux à replacer");
  // More edits than any scene holds are refused before they are read.
  const std::string many = Solid("h", stSphere, "0,5;100;100;", "Modified;600000;0;0;0;0;0;0;0;");
  EXPECT_FALSE(Read(SceneText({many})));
  ExpectRefusedWithNothingLoaded("plus de 500000 points déplacés à la main");
}

TEST_F(HostileDocumentTest, SmallLimitsStopEachKindOfWork) {
  TLoadLimits limits;
  limits.Objects = 3;
  TScene s;
  std::string why;
  EXPECT_FALSE(ReadSceneText(s, SceneText(Repeat(Solid("a", stCube, "0,5;"), 4)), &why, limits));
  EXPECT_EQ(why, "plus de 3 objets");
  EXPECT_EQ(s.ObjectCount(), 0);
  EXPECT_TRUE(ReadSceneText(s, SceneText(Repeat(Solid("a", stCube, "0,5;"), 3)), &why, limits));
  limits = {};
  limits.TextFillTests = 1000;
  TScene t;
  EXPECT_FALSE(
      ReadSceneText(t, SceneText({Solid("x", stTexte3d, "Bonjour;Arial;3;1;1000;1;0,2;0;100;")}), &why, limits));
  EXPECT_EQ(why, "textes 3D trop longs à remplir");
  EXPECT_EQ(t.ObjectCount(), 0);
  limits.TextFillTests = TLoadLimits{}.TextFillTests;
  limits.Vertices = 100;
  EXPECT_FALSE(
      ReadSceneText(t, SceneText({Solid("x", stTexte3d, "Bonjour;Arial;3;1;1000;1;0,2;0;100;")}), &why, limits));
  EXPECT_EQ(why, "plus de 100 sommets");
}

TEST_F(HostileDocumentTest, NumbersThatAreNotFiniteSinglesFailTheirRecordAndAreNeverWritten) {
  EXPECT_FALSE(Read(SceneText({Solid("big", stCube, "0,5;", "No Modif", "1e39;0;0")})));
  EXPECT_EQ(scene.ObjectCount(), 1);
  // A position that overflows in memory is written as the largest single, which reads back.
  scene.SolidAt(0)->SetPosition({1e39, -1e39, 0});
  test::TTempFolder folder("hostile");
  const std::string pov = folder.File("big.pov");
  ASSERT_TRUE(ExportPovScene(scene, 3, pov, false));
  std::string text;
  {
    std::FILE* f = std::fopen(pov.c_str(), "rb");
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  EXPECT_EQ(text.find("INF"), std::string::npos);
  EXPECT_EQ(text.find("NAN"), std::string::npos);
  const std::string doc = WriteSceneText(scene);
  EXPECT_EQ(doc.find("INF"), std::string::npos);
  TScene back;
  EXPECT_TRUE(ReadSceneText(back, doc));
}

namespace {

std::string ReadFile(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(OutputFiles, AnExportOntoALinkReplacesTheLinkAndNotItsTarget) {
  test::TTempFolder folder("links");
  const std::string secret = folder.File("secret.txt"), link = folder.File("scene.pov");
  {
    std::FILE* f = std::fopen(secret.c_str(), "wb");
    std::fputs("keep me", f);
    std::fclose(f);
  }
  std::filesystem::create_symlink(secret, link);
  TScene scene;
  scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube1");
  ASSERT_TRUE(ExportPovScene(scene, 3, link, true));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_NE(ReadFile(link).find("box {"), std::string::npos);
  EXPECT_EQ(ReadFile(secret), "keep me");
  // The same for a saved scene text and a document.
  std::filesystem::remove(link);
  std::filesystem::create_symlink(secret, link);
  ASSERT_TRUE(WriteScene(scene, link, true));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(secret), "keep me");
}

TEST(OutputFiles, ADocumentSavedThroughALinkIsTheDocumentTheLinkNames) {
  test::TTempFolder folder("links");
  const std::string real = folder.File("real.ixr"), link = folder.File("doc.ixr");
  TScene scene;
  ASSERT_TRUE(SaveDocument(scene, real, true));
  std::filesystem::permissions(real, std::filesystem::perms(0640));
  std::filesystem::create_symlink(real, link);
  scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube1");
  ASSERT_TRUE(SaveDocument(scene, link, true));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
  TScene reread;
  ASSERT_TRUE(LoadDocument(reread, real));
  EXPECT_EQ(reread.ObjectCount(), 1);
}

TEST(OutputFiles, TheNextSaveRemovesWhatAKilledSaveLeft) {
  test::TTempFolder folder("killed");
  const std::string doc = folder.File("scene.ixr");
  // A save killed while writing: its temporary stays behind, open by no one.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string tmpl = doc + std::string(kAtomicTemporaryMark) + "XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), 0);
    if (fd >= 0) (void)!::write(fd, "half a document", 15);
    ::raise(SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  // And one of the earlier saves, named after a process that is gone.
  const std::string old = doc + ".saving-" + std::to_string(child) + "-1";
  {
    std::FILE* f = std::fopen(old.c_str(), "wb");
    std::fputs("x", f);
    std::fclose(f);
  }
  // A temporary some live writer still holds is left alone.
  std::string held = doc + std::string(kAtomicTemporaryMark) + "XXXXXX";
  const int heldFd = ::mkostemp(held.data(), 0);
  ASSERT_GE(heldFd, 0);
  ASSERT_EQ(FolderNames(folder.Path()).size(), 3u);

  TScene scene;
  scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube1");
  ASSERT_TRUE(SaveDocument(scene, doc, true));
  EXPECT_EQ(FolderNames(folder.Path()),
            (std::vector<std::string>{"scene.ixr", std::filesystem::path(held).filename().string()}));
  ::close(heldFd);
  ASSERT_TRUE(SaveDocument(scene, doc, true));
  EXPECT_EQ(FolderNames(folder.Path()), (std::vector<std::string>{"scene.ixr"}));
}

TEST(OutputFiles, PermissionsComeFromTheUmask) {
  test::TTempFolder folder("umask");
  const mode_t previous = ::umask(022);
  TScene scene;
  scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Cube1");
  const std::string doc = folder.File("d.ixr"), pov = folder.File("d.pov");
  ASSERT_TRUE(SaveDocument(scene, doc, true));
  ASSERT_TRUE(ExportPovScene(scene, 3, pov, false));
  TZLBArchive archive;
  archive.OpenArchive(doc);
  archive.ExtractAll(folder.File("out"));
  const std::string extracted = folder.File("out") + "/d.ixr.tmp";
  for (const std::string& path : {doc, pov, extracted}) {
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 0777, 0644u) << path;
  }
  ::umask(previous);
}

namespace {

// A document holding the given scene text and extra entries (name, bytes), as an attacker would
// pack it.
void PackDocument(const std::string& path, const std::string& text,
                  const std::vector<std::pair<std::string, std::string>>& extra = {}) {
  std::vector<TArchiveInput> inputs{{std::filesystem::path(path).filename().string() + ".tmp", "", &text}};
  for (const auto& [name, bytes] : extra) inputs.push_back({name, "", &bytes});
  TZLBArchive archive;
  archive.CreateArchive(path, true);
  ASSERT_TRUE(archive.AddEntries(inputs));
}

std::string BitmapBytes(uint32_t colour) {
  test::TTempFolder folder("bmp");
  const uint32_t pixels[4] = {colour, colour, colour, colour};
  EXPECT_TRUE(WriteBmpFile(folder.File("p.bmp"), 2, 2, pixels));
  return ReadFile(folder.File("p.bmp"));
}

size_t FilesUnder(const std::filesystem::path& root) {
  size_t n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec); !ec && it != decltype(it)(); ++it)
    n += it->is_regular_file() && it->path().filename() != kFolderInUseLock ? 1 : 0;
  return n;
}

}  // namespace

TEST(DocumentTextures, ATexturePathWithoutItsEntryIsNeitherReadNorKept) {
  test::TTempFolder folder("texpath");
  // A file of the user's that a shared document names as its texture.
  const std::string secret = folder.File("secret.bmp");
  {
    std::FILE* f = std::fopen(secret.c_str(), "wb");
    const std::string b = BitmapBytes(0xFF112233);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  }
  const std::string doc = folder.File("shared.ixr");
  std::string record = Solid("Cube1", stCube, "0,5;");
  record.replace(record.find("No Texture"), 10, "Texturer;" + secret);
  PackDocument(doc, SceneText({record}));
  const std::string trace = folder.File("trace.log");
  SetTraceFile(trace);
  TScene scene;
  EXPECT_TRUE(LoadDocument(scene, doc, folder.File("textures")));
  SetTraceFile("");
  ASSERT_EQ(scene.ObjectCount(), 1);
  EXPECT_FALSE(scene.SolidAt(0)->Texturer);
  EXPECT_EQ(scene.SolidAt(0)->TextureFile, "");
  EXPECT_NE(ReadFile(trace).find(secret), std::string::npos);
  // Saved again, the document carries the scene text alone.
  const std::string resaved = folder.File("resaved.ixr");
  ASSERT_TRUE(SaveDocument(scene, resaved, true));
  TZLBArchive archive;
  archive.OpenArchive(resaved);
  EXPECT_EQ(archive.EntryCount(), 1);
}

TEST(DocumentTextures, OnlyPicturesAreWrittenAndOnlyWhenNeeded) {
  test::TTempFolder folder("texwrite");
  const std::string doc = folder.File("two.ixr"), textures = folder.File("textures");
  std::string a = Solid("A", stCube, "0,5;"), b = Solid("B", stCube, "0,5;");
  a.replace(a.find("No Texture"), 10, "Texturer;C:\\\\x\\\\bois.bmp");
  b.replace(b.find("No Texture"), 10, "Texturer;C:\\\\x\\\\faux.bmp");
  PackDocument(doc, SceneText({a, b}), {{"bois.bmp", BitmapBytes(0xFF804020)}, {"faux.bmp", std::string(100000, 'z')}});
  // Listing or exporting the scene writes nothing.
  TScene listed;
  EXPECT_TRUE(LoadDocument(listed, doc, textures, TTextureUse::Skip));
  EXPECT_EQ(FilesUnder(folder.Path()), 1u);
  EXPECT_TRUE(listed.SolidAt(0)->Texturer);
  // Drawing it extracts the picture; the entry that is no picture stays in the archive.
  TScene drawn;
  EXPECT_TRUE(LoadDocument(drawn, doc, textures));
  EXPECT_TRUE(drawn.SolidAt(0)->Texturer);
  EXPECT_FALSE(drawn.SolidAt(1)->Texturer);
  EXPECT_EQ(drawn.SolidAt(1)->TextureFile, "");
  EXPECT_EQ(FilesUnder(textures), 1u);
  // Opened again, the image in place is not written again.
  struct stat before, after;
  ASSERT_EQ(::stat(drawn.SolidAt(0)->TextureFile.c_str(), &before), 0);
  TScene again;
  EXPECT_TRUE(LoadDocument(again, doc, textures));
  ASSERT_EQ(::stat(again.SolidAt(0)->TextureFile.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(DocumentTextures, PngTexturesAreKept) {
  test::TTempFolder folder("texpng");
  const std::string doc = folder.File("png.ixr");
  std::string a = Solid("A", stCube, "0,5;");
  a.replace(a.find("No Texture"), 10, "Texturer;C:\\\\x\\\\motif.png");
  PackDocument(doc, SceneText({a}),
               {{"motif.png", ReadFile(std::string(IXORAL_TEST_DATA_DIR) + "/images/pattern.png")}});
  TScene scene;
  ASSERT_TRUE(LoadDocument(scene, doc, folder.File("textures")));
  EXPECT_TRUE(scene.SolidAt(0)->Texturer);
  EXPECT_EQ(std::filesystem::path(scene.SolidAt(0)->TextureFile).filename(), "motif.png");
}

namespace {

// A run-length bitmap declaring width x height, one colour, with the bytes the decoder wants of
// such data (one per 2048 pixels): a few hundred bytes once compressed, whatever its size.
std::string RleBitmap(uint32_t width, uint32_t height) {
  std::string b(58, '\0');
  const auto put = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };  // little-endian
  b[0] = 'B', b[1] = 'M', b[26] = 1, b[28] = 8;
  put(10, 58), put(14, 40), put(18, width), put(22, height), put(30, 1 /* RLE8 */), put(46, 1 /* colours */);
  return b + std::string("\0\1", 2) + std::string(size_t(uint64_t(width) * height / 2048), '\0');
}
// The header alone of a run-length Targa declaring width x height.
std::string RleTargaHeader(uint16_t width, uint16_t height) {
  std::string b(18, '\0');
  b[2] = 10, b[16] = 24;
  std::memcpy(&b[12], &width, 2), std::memcpy(&b[14], &height, 2);
  return b;
}

// A document of one cube per picture, each textured with its own.
void PackTexturedCubes(const std::string& path, const std::vector<std::pair<std::string, std::string>>& pictures) {
  std::vector<std::string> records;
  for (const auto& [name, bytes] : pictures) {
    std::string r = Solid("C" + std::to_string(records.size()), stCube, "0,5;");
    records.push_back(r.replace(r.find("No Texture"), 10, "Texturer;" + name));
  }
  PackDocument(path, SceneText(records), pictures);
}

// Loads into a scene holding one cube; answers the failure's message, empty when loaded.
std::string LoadOverOneCube(TScene& scene, const std::string& doc, const TLoadLimits& limits = {}) {
  scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "Avant");
  return LoadDocument(scene, doc, doc + "-textures", TTextureUse::Extract, limits).Message();
}

// A refused document leaves exactly the cube the scene held.
void ExpectOnlyTheCubeBefore(const TScene& scene) {
  ASSERT_EQ(scene.ObjectCount(), 1);
  EXPECT_EQ(scene.ObjectAt(0)->Name(), "Avant");
  EXPECT_EQ(scene.FileName, "");
}

}  // namespace

TEST(DocumentTextures, PictureHeadersDeclareTheSizeTheDecodersFind) {
  size_t probed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(IXORAL_TEST_DATA_DIR) + "/images")) {
    const std::string bytes = ReadFile(entry.path().string());
    int64_t w = 0, h = 0;
    if (!DeclaredPictureSize(entry.path().extension().string(), bytes, w, h)) continue;
    ++probed;
    TImage image;
    std::string message;
    ASSERT_TRUE(LoadImageFile(entry.path().string(), image, message)) << entry.path() << message;
    EXPECT_EQ(w * 100000 + h, int64_t{image.Width} * 100000 + image.Height) << entry.path();
  }
  EXPECT_GE(probed, 20u);  // bitmaps, Targas, JPEG, PNG, SGI
}

TEST(DocumentTextures, GiantPicturesInASmallDocumentAreRefusedBeforeTheyAreDecoded) {
  test::TTempFolder folder("texbomb");
  const std::string doc = folder.File("bombe.ixr");
  // The bitmaps alone would decode; the Targas hold no pixels, so only their headers count them.
  PackTexturedCubes(doc, {{"a.bmp", RleBitmap(8192, 8192)},
                          {"b.tga", RleTargaHeader(8192, 8192)},
                          {"c.bmp", RleBitmap(8192, 8192)},
                          {"d.tga", RleTargaHeader(8192, 8192)}});
  EXPECT_LT(std::filesystem::file_size(doc), 16u << 10);
  TScene scene;
  EXPECT_EQ(LoadOverOneCube(scene, doc), std::string(kMsgDocumentTooLarge) + "images de texture de plus de " +
                                             std::to_string(128u << 20) + " pixels");
  ExpectOnlyTheCubeBefore(scene);
  EXPECT_FALSE(std::filesystem::exists(doc + "-textures"));  // no picture written
  // A picture wider than the texture side is a picture like any other, reduced to that side.
  PackTexturedCubes(doc, {{"a.bmp", RleBitmap(8192, 2048)}});
  TScene one;
  EXPECT_EQ(LoadOverOneCube(one, doc), "");
  EXPECT_TRUE(one.SolidAt(1)->Texturer);
}

TEST(DocumentTextures, ManyTexturesPastTheBudgetAreRefusedAsAWhole) {
  test::TTempFolder folder("texmany");
  const std::string doc = folder.File("many.ixr");
  // Sixteen textures of 2048 x 2048 fill the budget; the seventeenth passes it.
  std::vector<std::pair<std::string, std::string>> pictures;
  for (int k = 0; k < 17; ++k) pictures.push_back({"t" + std::to_string(k) + ".bmp", RleBitmap(2048, 2048)});
  PackTexturedCubes(doc, pictures);
  TScene scene;
  EXPECT_EQ(LoadOverOneCube(scene, doc),
            std::string(kMsgDocumentTooLarge) + "textures de plus de " + std::to_string(64u << 20) + " pixels");
  ExpectOnlyTheCubeBefore(scene);

  // TIFF pictures are counted as decoded: at the bound they load, one more is refused.
  const std::string tif = ReadFile(std::string(IXORAL_TEST_DATA_DIR) + "/images/pattern.tif");
  TImage image;
  std::string message;
  ASSERT_TRUE(LoadImageFile(std::string(IXORAL_TEST_DATA_DIR) + "/images/pattern.tif", image, message));
  TLoadLimits limits;
  limits.TexturePixels = 3 * uint64_t(image.PixelCount());
  PackTexturedCubes(doc, {{"a.tif", tif}, {"b.tif", tif}, {"c.tif", tif}});
  TScene three;
  EXPECT_EQ(LoadOverOneCube(three, doc, limits), "");
  EXPECT_TRUE(three.SolidAt(3)->Texturer);
  PackTexturedCubes(doc, {{"a.tif", tif}, {"b.tif", tif}, {"c.tif", tif}, {"d.tif", tif}});
  TScene four;
  EXPECT_NE(LoadOverOneCube(four, doc, limits), "");
  ExpectOnlyTheCubeBefore(four);
}

TEST(DocumentTextures, TheTextureFolderDropsTheLeastRecentlyUsedDocuments) {
  test::TTempFolder folder("texlru");
  const auto root = folder.Path();
  const auto now = std::filesystem::file_time_type::clock::now();
  const char* names[] = {"old", "middle", "recent", "current"};
  for (int k = 0; k < 4; ++k) {
    std::filesystem::create_directories(root / names[k]);
    std::FILE* f = std::fopen((root / names[k] / "t.bmp").c_str(), "wb");
    const std::string bytes(1000, 'x');
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::filesystem::last_write_time(root / names[k], now - std::chrono::hours(10 - k));
  }
  PruneTextureFolders(root.string(), (root / "old").string(), 2500);  // the one in use stays
  EXPECT_TRUE(std::filesystem::exists(root / "old"));
  EXPECT_FALSE(std::filesystem::exists(root / "middle"));
  EXPECT_FALSE(std::filesystem::exists(root / "recent"));
  EXPECT_TRUE(std::filesystem::exists(root / "current"));
  PruneTextureFolders(root.string(), (root / "current").string(), 0);
  EXPECT_EQ(FolderNames(root), (std::vector<std::string>{"current"}));
}

TEST(DocumentTextures, TheTexturesOfAnOpenDocumentOutliveEveryPruning) {
  test::TTempFolder folder("texheld");
  const std::string root = folder.File("textures"), doc = folder.File("ouvert.ixr");
  PackTexturedCubes(doc, {{"bois.bmp", BitmapBytes(0xFF804020)}});
  TScene scene;
  ASSERT_TRUE(LoadDocument(scene, doc, root));
  const std::string texture = scene.SolidAt(0)->TextureFile;
  // A picture chosen from the folder of a document this run never opened.
  const std::filesystem::path other = std::filesystem::path(root) / "autre";
  std::filesystem::create_directories(other);
  WriteFileAtomically((other / "pierre.bmp").string(), BitmapBytes(0xFF808080));
  EXPECT_TRUE(HoldTextureFolderOf((other / "pierre.bmp").string(), root));
  EXPECT_FALSE(HoldTextureFolderOf(root + "/pierre.bmp", root));
  EXPECT_FALSE(HoldTextureFolderOf(folder.File("ailleurs.bmp"), root));
  std::filesystem::create_directories(std::filesystem::path(root) / "ancien");
  // Another run clearing the whole folder leaves both, so the document can still be saved whole.
  PruneTextureFolders(root, "", 0);
  EXPECT_EQ(FolderNames(root),
            (std::vector<std::string>{"autre", std::filesystem::path(texture).parent_path().filename().string()}));
  ASSERT_TRUE(SaveDocument(scene, folder.File("encore.ixr"), true));
  TZLBArchive archive;
  archive.OpenArchive(folder.File("encore.ixr"));
  EXPECT_EQ(archive.EntryCount(), 2);
}

TEST(ClipboardRecords, AClipboardOfMoreFieldsThanARecordHoldsIsNotSplit) {
  TScene scene;
  TMemoryClipboard clipboard;
  clipboard.SetText(std::string(20000000, ';'));
  const TExpected<std::string> pasted = PasteFromClipboard(scene, clipboard);
  ASSERT_FALSE(pasted);
  EXPECT_EQ(pasted.Error().Message, kMsgForeignClipboard);
  EXPECT_EQ(scene.ObjectCount(), 0);
}

TEST(ClipboardRecords, OnlyPicturesOfIxoralArePastedAsTextures) {
  test::TTempFolder folder("pastetex");
  const std::string secret = folder.File("secret.bmp");
  WriteFileAtomically(secret, BitmapBytes(0xFF112233));
  TPastableTextures pastable;
  pastable.ExtractedFolder = folder.File("bois.ixr-textures");
  // A file of the user's, named directly or through the extracted folder, is not taken.
  for (const std::string& path : {std::string("/etc/passwd"), secret, pastable.ExtractedFolder + "/../secret.bmp"}) {
    std::string record = Solid("Cube1", stCube, "0,5;");
    TMemoryClipboard clipboard;
    clipboard.SetText(record.replace(record.find("No Texture"), 10, "Texturer;" + path));
    TScene scene;
    std::vector<std::string> notices;
    ASSERT_TRUE(PasteFromClipboard(scene, clipboard, pastable, &notices)) << path;
    EXPECT_FALSE(scene.SolidAt(0)->Texturer);
    EXPECT_EQ(notices, std::vector<std::string>{kMsgTextureNotPasted + path + kMsgTextureNotPastedEnd});
    // Saved, the document carries the scene text alone.
    ASSERT_TRUE(SaveDocument(scene, folder.File("copie.ixr"), true));
    TZLBArchive archive;
    archive.OpenArchive(folder.File("copie.ixr"));
    EXPECT_EQ(archive.EntryCount(), 1) << path;
  }
  // A texture extracted from a document is copied and pasted with its object.
  PackTexturedCubes(folder.File("bois.ixr"), {{"bois.bmp", BitmapBytes(0xFF804020)}});
  TScene source, scene;
  ASSERT_EQ(LoadOverOneCube(source, folder.File("bois.ixr")), "");
  source.SelectObject(1);
  TMemoryClipboard clipboard;
  ASSERT_TRUE(CopyToClipboard(source, clipboard));
  std::vector<std::string> notices;
  ASSERT_TRUE(PasteFromClipboard(scene, clipboard, pastable, &notices));
  EXPECT_TRUE(notices.empty());
  EXPECT_EQ(scene.SolidAt(0)->TextureFile, source.SolidAt(1)->TextureFile);
}
