// The atomic file writer: whole or nothing, links replaced rather than followed, the user's
// permissions, no temporary left behind; and for a document saved over, what the file was kept.
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

TEST(AtomicFile, ADocumentSavedOverKeepsItsPermissionsOwnerAndLink) {
  test::TTempFolder folder("atomic");
  const auto mode = [](const std::string& path) { return fs::status(path).permissions() & fs::perms::all; };
  for (const auto kept : {fs::perms(0600), fs::perms(0640)}) {
    const std::string doc = folder.File("doc" + std::to_string(int(kept)));
    std::ofstream(doc) << "old";
    fs::permissions(doc, kept);
    ASSERT_TRUE(WriteFileAtomically(doc, "new", TFileMode::KeepReplaced));
    EXPECT_EQ(Read(doc), "new");
    EXPECT_EQ(mode(doc), kept);
  }
  // Someone else's document saved by the administrator keeps its owner and group.
  const std::string real = folder.File("real/doc.ixr");
  fs::create_directory(folder.File("real"));
  std::ofstream(real) << "old";
  const bool administrator = ::geteuid() == 0;
  if (administrator) {
    ASSERT_EQ(::chown(real.c_str(), 4321, 8765), 0);
  }
  // Through a link to a link, the last one relative: the links stay, the file they name changes.
  fs::create_symlink("doc.ixr", folder.File("real/alias.ixr"));
  fs::create_symlink(folder.File("real/alias.ixr"), folder.File("doc.ixr"));
  ASSERT_TRUE(WriteFileAtomically(folder.File("doc.ixr"), "new", TFileMode::KeepReplaced));
  EXPECT_TRUE(fs::is_symlink(folder.File("doc.ixr")));
  EXPECT_TRUE(fs::is_symlink(folder.File("real/alias.ixr")));
  EXPECT_EQ(Read(real), "new");
  EXPECT_EQ(EntriesIn(folder.File("real")), 2u);  // no temporary left in either folder
  EXPECT_EQ(EntriesIn(folder.Path()), 4u);
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  if (administrator) {
    EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(4321u, 8765u));
  }
}

TEST(AtomicFile, ALinkThatNamesNothingOrLoopsIsRefusedAndNothingWritten) {
  test::TTempFolder folder("atomic");
  fs::create_symlink(folder.File("gone/doc.ixr"), folder.File("dangling"));
  fs::create_symlink(folder.File("b"), folder.File("a"));
  fs::create_symlink(folder.File("a"), folder.File("b"));
  std::error_code failure;
  EXPECT_FALSE(WriteFileAtomically(folder.File("dangling"), "x", TFileMode::KeepReplaced, &failure));
  EXPECT_EQ(failure, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(WriteFileAtomically(folder.File("a"), "x", TFileMode::KeepReplaced, &failure));
  EXPECT_EQ(failure, std::errc::too_many_symbolic_link_levels);
  EXPECT_TRUE(fs::is_symlink(folder.File("dangling")) && fs::is_symlink(folder.File("a")));
  EXPECT_EQ(EntriesIn(folder.Path()), 3u);
}
