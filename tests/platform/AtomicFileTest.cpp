// The atomic file writer: whole or nothing, links replaced rather than followed, the user's
// permissions, no temporary left behind.
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "TempFolder.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

TEST(AtomicFile, WritesReplacesAndLeavesNoTemporary) {
  test::TTempFolder folder("atomic");
  const std::string target = folder.File("scene.pov");
  ASSERT_TRUE(WriteFileAtomically(target, "first"));
  EXPECT_EQ(Read(target), "first");
  ASSERT_TRUE(WriteFileAtomically(target, std::string("se\0cond", 7)));
  EXPECT_EQ(Read(target), std::string("se\0cond", 7));
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);
  // A folder that does not exist: refused, nothing written anywhere.
  EXPECT_FALSE(WriteFileAtomically(folder.File("missing/scene.pov"), "x"));
  EXPECT_FALSE(WriteFileAtomically("", "x"));
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(AtomicFile, AFailedWriteSaysWhatTheSystemSaid) {
  test::TTempFolder folder("atomic");
  std::error_code failure;
  EXPECT_FALSE(WriteFileAtomically(folder.File("missing/scene.pov"), "x", TFileMode::UserDefault, &failure));
  EXPECT_EQ(failure, std::errc::no_such_file_or_directory);
  // A write that succeeds leaves no error from an earlier one.
  EXPECT_TRUE(WriteFileAtomically(folder.File("scene.pov"), "x", TFileMode::UserDefault, &failure));
  EXPECT_FALSE(failure);
}

TEST(AtomicFile, ALinkAtTheTargetIsReplacedNeverFollowed) {
  test::TTempFolder folder("atomic");
  const std::string victim = folder.File("victim.txt");
  std::ofstream(victim) << "keep me";
  const std::string target = folder.File("out.pov");
  fs::create_symlink(victim, target);
  ASSERT_TRUE(WriteFileAtomically(target, "new"));
  EXPECT_FALSE(fs::is_symlink(target));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(Read(victim), "keep me");
}

TEST(AtomicFile, PermissionsFollowTheUmaskOrArePrivate) {
  test::TTempFolder folder("atomic");
  const mode_t old = ::umask(022);
  ASSERT_TRUE(WriteFileAtomically(folder.File("a"), "a"));
  ASSERT_TRUE(WriteFileAtomically(folder.File("b"), "b", TFileMode::Private));
  ::umask(077);
  ASSERT_TRUE(WriteFileAtomically(folder.File("c"), "c"));
  ::umask(old);
  auto mode = [&](const char* name) {
    struct stat st {};
    ::stat(folder.File(name).c_str(), &st);
    return st.st_mode & 0777;
  };
  EXPECT_EQ(mode("a"), 0644u);
  EXPECT_EQ(mode("b"), 0600u);
  EXPECT_EQ(mode("c"), 0600u);
}
