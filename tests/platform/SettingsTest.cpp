// The settings store: string values under case-insensitive key paths, kept in one file written
// atomically, robust to damaged files.
#include "platform/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace ixoral;
namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ixoral_settings_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    path = (dir / "Quillbeck" / "Ixoral" / "settings.ini").string();
  }
  void TearDown() override { fs::remove_all(dir); }

  void WriteFile(const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string ReadFile() {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  size_t FilesInFolder() {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(fs::path(path).parent_path())) ++n;
    return n;
  }

  // What the store told of its failures, in order.
  std::vector<std::string> Told() const {
    std::vector<std::string> texts;
    for (const TError& e : failures) texts.push_back(e.Message);
    return texts;
  }
  TSettingsFailureHandler Collect() {
    return [this](const TError& e) { failures.push_back(e); };
  }

  fs::path dir;
  std::string path;
  std::vector<TError> failures;
};

TEST_F(SettingsTest, FreshAccountReadsEmptyWithoutMessages) {
  TSettingsStore store(path, Collect());
  EXPECT_EQ(store.ReadString("\\options", "ShowToolBar"), "");
  EXPECT_EQ(store.ReadString("\\Affichage", "Device"), "");
  store.DeleteValue("\\options", "EXPORT11");  // deleting what is missing is no error
  EXPECT_TRUE(failures.empty());
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsTest, KeyPathsIgnoreCaseValueNamesDoNot) {
  TSettingsStore store(path, Collect());
  store.WriteString("\\options", "ShowGrille", "1");
  store.WriteString("\\Options", "CouleurFond", "$00FF8000");
  EXPECT_EQ(store.ReadString("\\OPTIONS", "ShowGrille"), "1");
  EXPECT_EQ(store.ReadString("\\options", "CouleurFond"), "$00FF8000");
  EXPECT_EQ(store.ReadString("\\options", "showgrille"), "");
  store.WriteString("\\OPTIONS", "ShowGrille", "0");
  EXPECT_EQ(store.ReadString("\\options", "ShowGrille"), "0");
  // One key in the file, spelled as it was first written.
  const std::string text = ReadFile();
  EXPECT_NE(text.find("[Software\\Quillbeck\\Ixoral\\options]"), std::string::npos);
  EXPECT_EQ(text.find("[Software\\Quillbeck\\Ixoral\\Options]"), std::string::npos);
  EXPECT_TRUE(failures.empty());
}

TEST_F(SettingsTest, AwkwardValuesReadBackExactly) {
  TSettingsStore store(path, Collect());
  const std::string values[] = {"a=b",  "line1\nline2\r\n", "[not a key]",           ";comment",
                                "100%", "Lumière",          std::string(10000, 'x'), " spaces "};
  int k = 0;
  for (const auto& v : values) store.WriteString("\\Parametres\\3", "v" + std::to_string(k++), v);
  store.WriteString("\\odd", "name=with]equals", "ok");
  k = 0;
  TSettingsStore again(path, Collect());
  for (const auto& v : values) EXPECT_EQ(again.ReadString("\\Parametres\\3", "v" + std::to_string(k++)), v);
  EXPECT_EQ(again.ReadString("\\odd", "name=with]equals"), "ok");
  EXPECT_TRUE(failures.empty());
}

TEST_F(SettingsTest, DeleteRemovesOnlyThatValue) {
  TSettingsStore store(path, Collect());
  store.WriteString("\\Affichage", "Driver", "{abc}");
  store.WriteString("\\Affichage", "Device", "0");
  store.DeleteValue("\\affichage", "Driver");
  EXPECT_EQ(store.ReadString("\\Affichage", "Driver"), "");
  EXPECT_EQ(store.ReadString("\\Affichage", "Device"), "0");
}

TEST_F(SettingsTest, WritesLeaveNoTemporaryFilesAndArePrivate) {
  TSettingsStore store(path, Collect());
  for (int i = 0; i < 5; ++i) store.WriteString("\\OldFiles", "OldFile1", std::to_string(i));
  EXPECT_EQ(FilesInFolder(), 1u);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(SettingsTest, DamagedFilesReadAsMissing) {
  const std::string damaged[] = {"", "[Software\\Quillbeck\\Ixoral\\options",
                                 std::string("\0\x01\xFF\xFE garbage\0", 13), "ShowToolBar=1\n",
                                 "[Software\\Quillbeck\\Ixoral\\options]\n=1\nShowToolBar\n"};
  for (const auto& bytes : damaged) {
    WriteFile(bytes);
    TSettingsStore store(path, Collect());
    EXPECT_EQ(store.ReadString("\\options", "ShowToolBar"), "");
  }
  // A damaged store is still writable, and the write gives a clean file.
  TSettingsStore store(path, Collect());
  store.WriteString("\\options", "ShowToolBar", "0");
  EXPECT_EQ(store.ReadString("\\options", "ShowToolBar"), "0");
}

TEST_F(SettingsTest, AValueTheProgramCouldNotHaveWrittenTellsTheReadMessage) {
  WriteFile("[Software\\Quillbeck\\Ixoral\\options]\nFillMode=%ZZ\nShadeMode=\xC3\n");
  TSettingsStore store(path, Collect());
  EXPECT_EQ(store.ReadString("\\options", "FillMode"), "");
  EXPECT_EQ(store.ReadString("\\options", "ShadeMode"), "");
  EXPECT_EQ(Told(), (std::vector<std::string>{kMsgReadFailed, kMsgReadFailed}));
}

TEST_F(SettingsTest, AnEnormousFileIsNeitherReadNorReplaced) {
  WriteFile("[Software\\Quillbeck\\Ixoral\\options]\nShowAxes=1\n" + std::string(TSettingsStore::kMaxFileSize, ';'));
  const auto before = fs::file_size(path);
  TSettingsStore store(path, Collect());
  EXPECT_EQ(store.ReadString("\\options", "ShowAxes"), "");
  store.WriteString("\\options", "ShowAxes", "0");
  store.DeleteValue("\\options", "ShowAxes");
  EXPECT_EQ(fs::file_size(path), before);
  // Told once, naming the file; the write and the delete fail for the same cause, untold again.
  EXPECT_EQ(Told(), std::vector<std::string>{kMsgSettingsUnreadable + path});
}

TEST_F(SettingsTest, AnUnwritableFolderTellsTheWriteMessageAndTheSystemsReason) {
  if (::geteuid() == 0) {
    // Root writes anywhere: make the store's folder a file instead.
    fs::create_directories(dir);
    std::ofstream(dir / "Quillbeck") << "x";
  } else {
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  }
  TSettingsStore store(path, Collect());
  store.WriteString("\\options", "MsAgent", "merlin.acs");
  EXPECT_EQ(Told(), std::vector<std::string>{kMsgWriteFailed});
  // What the system said comes apart from the message: a file where a folder should be.
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_FALSE(failures[0].Reason.empty());
  // Every later change fails the same way: the user has been told.
  for (int i = 0; i < 20; ++i) store.WriteString("\\options", "Grille" + std::to_string(i), "1");
  store.DeleteValue("\\options", "MsAgent");
  EXPECT_EQ(failures.size(), 1u);
  fs::permissions(dir, fs::perms::owner_all);
}

TEST_F(SettingsTest, FileAssociationValues) {
  TSettingsStore store(path, Collect());
  store.RegisterFileAssociation("/usr/bin/ixoral");
  const std::string ext = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.ixr";
  EXPECT_EQ(store.ReadRootString(ext, "Application"), "ixoral");
  EXPECT_EQ(store.ReadRootString(ext + "\\OpenWithList", "a"), "ixoral");
  EXPECT_EQ(store.ReadRootString(ext + "\\OpenWithList", "b"), "Ide.exe");
  EXPECT_EQ(store.ReadRootString(ext + "\\OpenWithList", "MRUList"), "ab");
  EXPECT_EQ(store.ReadRootString("\\Ixoralfile\\shell\\Open\\command", "command"), "/usr/bin/ixoral %1");
  // The association does not live under the program's own key.
  EXPECT_EQ(store.ReadString("\\Ixoralfile\\shell\\Open\\command", "command"), "");
}

TEST_F(SettingsTest, DefaultPathFollowsXdgConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
  EXPECT_EQ(TSettingsStore::DefaultPath(), "/tmp/cfg/Quillbeck/Ixoral/settings.ini");
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_NE(TSettingsStore::DefaultPath().find("/.config/Quillbeck/Ixoral/settings.ini"), std::string::npos);
  if (old)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsTest, ManyKeysAreReadOnceAndEachIsFound) {
  constexpr int kKeys = 40000;
  std::string text;
  for (int i = 0; i < kKeys; ++i)
    text +=
        "[Software\\Quillbeck\\Ixoral\\Parametres\\" + std::to_string(i) + "]\nValeur=" + std::to_string(i * 7) + "\n";
  WriteFile(text);
  TSettingsStore store(path, Collect());
  for (int i = 0; i < kKeys; ++i)
    ASSERT_EQ(store.ReadString("\\PARAMETRES\\" + std::to_string(i), "Valeur"), std::to_string(i * 7)) << i;
  EXPECT_EQ(store.FileReads(), 1u);
  // Its own writes are not read back; another store's write is, at the next use.
  store.WriteString("\\Parametres\\5", "Valeur", "cinq");
  EXPECT_EQ(store.ReadString("\\Parametres\\5", "Valeur"), "cinq");
  EXPECT_EQ(store.FileReads(), 1u);
  TSettingsStore other(path, Collect());
  EXPECT_EQ(other.ReadString("\\Parametres\\39999", "Valeur"), std::to_string(39999 * 7));
  other.WriteString("\\Parametres\\6", "Valeur", "six");
  EXPECT_EQ(store.ReadString("\\Parametres\\6", "Valeur"), "six");
  EXPECT_EQ(store.ReadString("\\Parametres\\5", "Valeur"), "cinq");
  EXPECT_EQ(store.FileReads(), 2u);
  EXPECT_TRUE(failures.empty());
}

TEST_F(SettingsTest, AnUnusableStoreIsToldOnceAndTheRunGoesOnWithDefaults) {
  const std::string oversized =
      "[Software\\Quillbeck\\Ixoral\\options]\nShowAxes=1\n" + std::string(TSettingsStore::kMaxFileSize, ';');
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "a folder in its place" : "an oversized file");
    fs::remove_all(dir);
    failures.clear();
    if (folder)
      fs::create_directories(path);
    else
      WriteFile(oversized);
    TSettingsStore store(path, Collect());
    for (int i = 0; i < 50; ++i) {
      EXPECT_EQ(store.ReadString("\\options", "ShowAxes"), "");
      store.WriteString("\\options", "Option" + std::to_string(i), "x");
      store.DeleteValue("\\options", "Option" + std::to_string(i / 2));
    }
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].Message, kMsgSettingsUnreadable + path);
    EXPECT_EQ(failures[0].Reason, folder ? "C'est un dossier" : "Fichier trop volumineux");
    // The run keeps what it wrote; the file stays as it was.
    EXPECT_EQ(store.ReadString("\\options", "Option49"), "x");
    EXPECT_EQ(store.ReadString("\\options", "Option0"), "");
    EXPECT_EQ(fs::is_directory(path), folder);
    EXPECT_EQ(folder ? oversized.size() : fs::file_size(path), oversized.size());
  }
}
