// The data-file locator: the variable's folder, share/ixoral beside an installed executable, then
// the source tree.
#include "platform/DataFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TempFolder.h"

using namespace ixoral;
namespace fs = std::filesystem;

TEST(DataFiles, CandidatesInOrder) {
  EXPECT_EQ(DataFolderCandidates("/opt/ixoral/bin/ixoral", "/data", "/src/data"),
            (std::vector<std::string>{"/data", "/opt/ixoral/share/ixoral", "/src/data"}));
  EXPECT_EQ(DataFolderCandidates("/usr/bin/ixoral", "", ""), (std::vector<std::string>{"/usr/share/ixoral"}));
  EXPECT_TRUE(DataFolderCandidates("", "", "").empty());
}

TEST(DataFiles, FoundInTheSourceTreeFromTheBuildTreeAndThroughTheVariable) {
  ::unsetenv(kDataDirVariable);
  const std::string sample = FindDataFile("samples/reference.ixr");
  ASSERT_FALSE(sample.empty());
  EXPECT_TRUE(fs::exists(sample));
  EXPECT_FALSE(DataFolder().empty());

  test::TTempFolder folder("data");
  fs::create_directories(folder.Path() / "tips");
  std::ofstream(folder.File("tips/IXORAL.TP")) << "x";
  ::setenv(kDataDirVariable, folder.Path().c_str(), 1);
  EXPECT_EQ(FindDataFile("tips/IXORAL.TP"), folder.File("tips/IXORAL.TP"));
  EXPECT_EQ(DataFolder(), folder.Path().string());
  // A file the variable's folder lacks is still found further down the list.
  EXPECT_EQ(FindDataFile("samples/reference.ixr"), sample);
  // Names that leave the data folder are never data files.
  EXPECT_EQ(FindDataFile("../data/tips/IXORAL.TP"), "");
  EXPECT_EQ(FindDataFile("/etc/passwd"), "");
  EXPECT_EQ(FindDataFile(""), "");
  ::unsetenv(kDataDirVariable);
}

TEST(DataFiles, TheRunningExecutableIsKnown) {
  const std::string exe = ExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(fs::path(exe).filename(), "ixoral_platform_tests");
}
