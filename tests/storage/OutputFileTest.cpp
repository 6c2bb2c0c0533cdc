// Output files: what a write clears from the target's folder first, and what it must leave.
#include "storage/OutputFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/AtomicFile.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

void Touch(const std::string& path, const std::string& bytes = "x") { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The identifier of a process that has ended.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

}  // namespace

TEST(OutputFile, OnlyAbandonedTemporariesOfThisUserAreCleared) {
  test::TTempFolder folder("output");
  const std::string mark(kAtomicTemporaryMark);
  const std::string dead = std::to_string(EndedProcess());
  // Abandoned: a temporary of the atomic writer, and one of the earlier saves by a process gone.
  Touch(folder.File("scene.ixr" + mark + "a1B2c3"));
  Touch(folder.File("scene.ixr.saving-" + dead + "-2"));
  // Not temporaries, though close: wrong length of the unique part, no name before the mark,
  // letters in the process number, no number after it.
  const std::vector<std::string> kept{"scene.ixr" + mark + "a1B2c", mark + "a1B2c3", "scene.ixr.saving-12x-1",
                                      "scene.ixr.saving-" + dead + "-", "scene.ixr"};
  for (const std::string& name : kept) Touch(folder.File(name));
  // Shaped like temporaries but a folder and a link: never removed, and the link's target kept.
  fs::create_directory(folder.File("other" + mark + "folder"));
  fs::create_symlink(folder.File("scene.ixr"), folder.File("link" + mark + "abcdef"));
  // An earlier save whose process still runs (the one that started this test) is its to finish.
  const std::string running = "theirs.saving-" + std::to_string(::getppid()) + "-1";
  Touch(folder.File(running));

  RemoveStaleTemporaries(folder.File("scene.ixr"));
  std::vector<std::string> expected = kept;
  expected.push_back("other" + mark + "folder");
  expected.push_back("link" + mark + "abcdef");
  expected.push_back(running);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderNames(folder.Path()), expected);
}

TEST(OutputFile, AWriteClearsTheFolderThenReplacesTheTargetWhole) {
  test::TTempFolder folder("output");
  const std::string target = folder.File("picture.bmp");
  Touch(target, "old picture");
  Touch(target + std::string(kAtomicTemporaryMark) + "zzzzzz", "half");
  const mode_t previous = ::umask(027);
  ASSERT_TRUE(WriteOutputFile(target, std::string("new\0bytes", 9)));
  ::umask(previous);
  EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{"picture.bmp"});
  std::ifstream in(target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string("new\0bytes", 9));
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // A folder that does not exist: nothing is written, and the failure is told.
  EXPECT_FALSE(WriteOutputFile(folder.File("missing/picture.bmp"), "x"));
}
