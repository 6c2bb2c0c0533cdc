// Run folders: a folder whose run was killed is removed at the next start, every other folder kept.
#include "platform/RunFolder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "TempFolder.h"

using namespace ixoral;
namespace fs = std::filesystem;

TEST(RunFolder, OnlyFoldersOfRunsThatDiedAreRemoved) {
  test::TTempFolder base("runs");
  const std::string where = base.Path().string();
  const pid_t run = ::fork();  // a run killed outright in the middle of a render
  ASSERT_GE(run, 0);
  if (run == 0) {
    TRunFolder folder;
    if (folder.Create("rendu", where)) std::ofstream(folder.Path() + "/scene.pov") << "camera {}";
    ::raise(SIGKILL);
  }
  ::waitpid(run, nullptr, 0);
  ASSERT_EQ(std::distance(fs::directory_iterator(base.Path()), fs::directory_iterator()), 1);
  const fs::path dead = fs::directory_iterator(base.Path())->path();
  // Kept: this run's own folder, one of another label, and one being made (no lock yet).
  TRunFolder live, other;
  ASSERT_TRUE(live.Create("rendu", where));
  ASSERT_TRUE(other.Create("apercu", where));
  const fs::path unlocked = base.Path() / "ixoral-rendu-making";
  fs::create_directory(unlocked);
  EXPECT_EQ(RemoveAbandonedRunFolders("rendu", where), 1);
  EXPECT_FALSE(fs::exists(dead));
  for (const fs::path& kept : {fs::path(live.Path()), fs::path(other.Path()), unlocked})
    EXPECT_TRUE(fs::exists(kept)) << kept;
  // A folder without a lock untouched for days is one an older program left.
  fs::last_write_time(unlocked, fs::file_time_type::clock::now() - std::chrono::hours(48));
  EXPECT_EQ(RemoveAbandonedRunFolders("rendu", where), 1);
  EXPECT_FALSE(fs::exists(unlocked));
}

TEST(FolderInUse, AFolderHeldByAnyRunIsRemovedOnlyOnceNoRunHoldsIt) {
  test::TTempFolder base("inuse");
  const std::string theirs = (base.Path() / "theirs").string(), ours = (base.Path() / "ours").string();
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t other = ::fork();  // another modeller with a document open
  ASSERT_GE(other, 0);
  if (other == 0) {
    const char held = HoldFolderInUse(theirs) ? 'y' : 'n';
    (void)!::write(ready[1], &held, 1);
    char end;
    (void)!::read(done[0], &end, 1);
    ::_exit(0);
  }
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, 'y');
  ASSERT_TRUE(HoldFolderInUse(ours));
  EXPECT_TRUE(HoldFolderInUse(ours));  // again: nothing more
  EXPECT_FALSE(RemoveFolderUnlessInUse(theirs));
  EXPECT_FALSE(RemoveFolderUnlessInUse(ours));  // this run's own hold counts too
  EXPECT_TRUE(fs::exists(theirs));
  EXPECT_TRUE(fs::exists(ours));
  ::kill(other, SIGKILL);  // its hold goes with it, however it ends
  ::waitpid(other, nullptr, 0);
  EXPECT_TRUE(RemoveFolderUnlessInUse(theirs));
  EXPECT_FALSE(fs::exists(theirs));
  // Cleared by hand while held: holding it again makes it and its lock again.
  fs::remove_all(ours);
  EXPECT_TRUE(HoldFolderInUse(ours));
  EXPECT_TRUE(fs::exists(fs::path(ours) / kFolderInUseLock));
  EXPECT_FALSE(RemoveFolderUnlessInUse(ours));
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}
