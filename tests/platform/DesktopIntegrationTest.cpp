// The current user's desktop association: the document type, the desktop entry opening it with
// the running program, the icon, and the MIME database refreshed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TempFolder.h"
#include "platform/DesktopIntegration.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool HasTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null").c_str()) == 0; }

}  // namespace

TEST(DesktopIntegration, ExecPathsAreQuotedAsDesktopEntriesWant) {
  EXPECT_EQ(QuoteExecArgument("/usr/bin/ixoral"), "/usr/bin/ixoral");
  EXPECT_EQ(QuoteExecArgument("/opt/mes programmes/ixoral"), "\"/opt/mes programmes/ixoral\"");
  EXPECT_EQ(QuoteExecArgument("/a$b/\"c\""), "\"/a\\$b/\\\"c\\\"\"");
  EXPECT_EQ(QuoteExecArgument("/x/100%/ixoral"), "/x/100%%/ixoral");
  const std::string entry = DesktopEntryText("/opt/a b\\c/ixoral");
  // The quoted path, then its backslash escaped once more for the entry's string value.
  EXPECT_NE(entry.find("Exec=\"/opt/a b\\\\\\\\c/ixoral\" %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("MimeType=application/x-ixoral;\n"), std::string::npos);
}

TEST(DesktopIntegration, RegistersOnceThenOnlyWhatChanged) {
  test::TTempFolder home("desktop");
  const std::string data = home.File("data");
  const std::string icon = home.File("icon.svg");
  std::ofstream(icon) << "<svg xmlns=\"http://www.w3.org/2000/svg\"/>";

  TDesktopRegistration r = RegisterDesktopIntegration("/opt/Ixoral 1/bin/ixoral", data, icon, true);
  EXPECT_TRUE(r.MimeWritten);
  EXPECT_TRUE(r.EntryWritten);
  EXPECT_TRUE(r.IconWritten);
  EXPECT_EQ(r.EntryPath, data + "/applications/org.ixoral.Ixoral.desktop");
  EXPECT_EQ(Read(r.MimePath), MimePackageText());
  EXPECT_EQ(Read(r.EntryPath), DesktopEntryText("/opt/Ixoral 1/bin/ixoral"));
  EXPECT_TRUE(fs::is_regular_file(data + "/icons/hicolor/scalable/apps/org.ixoral.Ixoral.svg"));
  if (HasTool("update-mime-database")) {
    EXPECT_TRUE(r.DatabaseUpdated);
    EXPECT_NE(Read(data + "/mime/globs2").find("application/x-ixoral:*.ixr"), std::string::npos);
  }
  // The programs' cache by MIME type names Ixoral for its documents.
  if (HasTool("update-desktop-database")) {
    EXPECT_TRUE(r.DesktopDatabaseUpdated);
    EXPECT_NE(Read(data + "/applications/mimeinfo.cache").find("application/x-ixoral=org.ixoral.Ixoral.desktop"),
              std::string::npos);
  }
  if (HasTool("desktop-file-validate")) {
    EXPECT_EQ(std::system(("desktop-file-validate '" + r.EntryPath + "' >/dev/null 2>&1").c_str()), 0);
  }

  // The next start finds everything in place and writes nothing.
  r = RegisterDesktopIntegration("/opt/Ixoral 1/bin/ixoral", data, icon, true);
  EXPECT_FALSE(r.MimeWritten || r.EntryWritten || r.IconWritten || r.DatabaseUpdated || r.DesktopDatabaseUpdated);
  // A program moved elsewhere rewrites its entry only.
  r = RegisterDesktopIntegration("/usr/local/bin/ixoral", data, icon, true);
  EXPECT_TRUE(r.EntryWritten);
  EXPECT_FALSE(r.MimeWritten);
}

TEST(DesktopIntegration, NothingIsWrittenWithoutAUsableFolderOrProgram) {
  EXPECT_FALSE(RegisterDesktopIntegration("/usr/bin/ixoral", "", "", true).EntryWritten);
  EXPECT_FALSE(RegisterDesktopIntegration("/usr/bin/ixoral", "relative/data", "", true).EntryWritten);
  EXPECT_FALSE(RegisterDesktopIntegration("", "/tmp/never-used", "", true).EntryWritten);
  // A folder that cannot be written: no file, no failure.
  test::TTempFolder home("desktop-ro");
  fs::create_directories(home.File("ro"));
  fs::permissions(home.File("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(home.File("ro").c_str(), W_OK) != 0) {  // root writes anyway
    const TDesktopRegistration r = RegisterDesktopIntegration("/usr/bin/ixoral", home.File("ro"), "", true);
    EXPECT_FALSE(r.EntryWritten || r.MimeWritten);
  }
  fs::permissions(home.File("ro"), fs::perms::owner_all);
}
