// Automatic recovery: each run's own copy, the copies left by runs that ended abruptly, offering
// them back at start, and writes that fail leaving the previous copy whole.
#include "commands/Recovery.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CubeScenes.h"
#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "commands/Modeller.h"
#include "document/SceneDocument.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

// A scene of a light and `cubes` cubes, made through the commands.
void Fill(TScene& scene, int cubes) { test::FillWithCubes(scene, cubes); }

// Runs `child` in a forked process that then dies by SIGKILL, as a crash would end it.
void RunAndKill(const std::function<void()>& child) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    child();
    ::kill(::getpid(), SIGKILL);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(WTERMSIG(status), SIGKILL);
}

}  // namespace

TEST(Recovery, EachRunKeepsItsOwnCopyAndLiveRunsAreNotOffered) {
  test::TTempFolder f("recovery");
  const std::string folder = f.File("state");
  TScene scene;
  Fill(scene, 3);
  TRecovery first(folder, 101), second(folder, 102);
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  EXPECT_NE(first.DocumentPath(), second.DocumentPath());
  EXPECT_TRUE(first.Write(scene, true));
  EXPECT_TRUE(second.Write(scene, true));
  EXPECT_TRUE(fs::is_regular_file(first.DocumentPath()));
  // Both runs are alive: neither copy is offered.
  EXPECT_TRUE(first.LeftBehind().empty());
  EXPECT_TRUE(second.LeftBehind().empty());
  // The copy is a document that reads back as the scene.
  TScene back;
  ASSERT_TRUE(LoadDocument(back, first.DocumentPath(), f.File("tex"), TTextureUse::Skip));
  EXPECT_EQ(back.ObjectCount(), 4);
  EXPECT_EQ(scene.FileName, "");  // writing the copy names no file for the scene
  // A normal end removes the copy and its lock.
  second.Discard();
  EXPECT_FALSE(fs::exists(second.DocumentPath()));
}

TEST(Recovery, ARunKilledWhileEditingLeavesACopyTheNextStartRestores) {
  test::TTempFolder f("recovery-kill");
  const std::string folder = f.File("state");
  RunAndKill([&] {
    TScene scene;
    Fill(scene, 5);
    TRecovery recovery(folder, 201);
    if (!recovery.Start() || !recovery.Write(scene, true)) ::_exit(3);
  });
  TScriptedPrompt prompt;
  TMemoryClipboard clip;
  TScene scene;
  scene.NewScene(true);
  TModeller modeller(scene, prompt, clip, nullptr, nullptr);
  TRecovery recovery(folder, 202);
  ASSERT_TRUE(recovery.Start());
  const std::vector<std::string> left = recovery.LeftBehind();
  ASSERT_EQ(left.size(), 1u);

  prompt.QueueAnswer(TAnswer::Yes);
  ASSERT_TRUE(modeller.OfferRecovery(recovery));
  EXPECT_EQ(prompt.Texts().front(), kMsgRecover);
  EXPECT_EQ(scene.ObjectCount(), 6);
  EXPECT_EQ(scene.FileName, "");  // not saved: "Enregistrer" asks for a name
  EXPECT_TRUE(modeller.Modified());
  EXPECT_EQ(modeller.Caption(), "IXORAL");
  // The old copy went once this run's own was written.
  EXPECT_FALSE(fs::exists(left.front()));
  EXPECT_TRUE(fs::is_regular_file(recovery.DocumentPath()));
  EXPECT_TRUE(recovery.LeftBehind().empty());
}

TEST(Recovery, NoRemovesTheCopyAndAnUnreadableOneIsSetAsideAndReported) {
  test::TTempFolder f("recovery-no");
  const std::string folder = f.File("state");
  fs::create_directories(folder);
  TScene full;
  Fill(full, 2);
  {
    TRecovery gone(folder, 301);
    ASSERT_TRUE(gone.Start());
    ASSERT_TRUE(gone.Write(full, true));
  }  // the lock is let go without a discard: as after a crash
  TScriptedPrompt prompt;
  TMemoryClipboard clip;
  TScene scene;
  scene.NewScene(true);
  TModeller modeller(scene, prompt, clip, nullptr, nullptr);
  TRecovery recovery(folder, 302);
  ASSERT_TRUE(recovery.Start());
  ASSERT_EQ(recovery.LeftBehind().size(), 1u);
  prompt.QueueAnswer(TAnswer::No);
  EXPECT_FALSE(modeller.OfferRecovery(recovery));
  EXPECT_TRUE(recovery.LeftBehind().empty());
  EXPECT_EQ(scene.ObjectCount(), 1);

  // A truncated copy: reported, kept under another name, the scene untouched.
  const std::string corrupt = folder + "/recovery-303.ixr";
  std::ofstream(corrupt, std::ios::binary) << "x\x9C\x03 truncated";
  prompt.ClearShown();
  prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_FALSE(modeller.OfferRecovery(recovery));
  EXPECT_EQ(scene.ObjectCount(), 1);
  ASSERT_EQ(prompt.Shown().size(), 2u);
  EXPECT_EQ(prompt.Shown()[1].Text, kMsgRecoveryUnreadable + corrupt + kSetAsideSuffix);
  EXPECT_TRUE(fs::is_regular_file(corrupt + kSetAsideSuffix));
  EXPECT_FALSE(fs::exists(corrupt));
  EXPECT_TRUE(recovery.LeftBehind().empty());
}

TEST(Recovery, AWriteThatRunsOutOfSpaceLeavesThePreviousCopyWhole) {
  test::TTempFolder f("recovery-full");
  const std::string folder = f.File("state");
  RunAndKill([&] {
    TScene small, large;
    Fill(small, 1);
    Fill(large, 400);
    // Placed each its own way, so that the copy does not compress to nothing.
    for (int i = 1; i < large.ObjectCount(); ++i) large.ObjectAt(i)->SetPosition({i * 0.137, i * 0.291, -i * 0.173});
    TRecovery recovery(folder, 401);
    if (!recovery.Start() || !recovery.Write(small, true)) ::_exit(3);
    // The disk fills up: no file may grow past 2 KB from here.
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2048, 2048};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    if (recovery.Write(large, true)) ::_exit(4);  // must fail
  });
  std::string copy;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ".ixr") copy = e.path().string();
  TScene back;
  ASSERT_TRUE(LoadDocument(back, copy, f.File("tex"), TTextureUse::Skip));
  EXPECT_EQ(back.ObjectCount(), 2);  // the light and the one cube of the previous copy
  // No temporary is left beside it.
  int files = 0;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() != ".lock") ++files;
  EXPECT_EQ(files, 1);
}

TEST(Recovery, ACopyLeftByACrashedRunWithTheSameProcessIdIsStillOffered) {
  test::TTempFolder f("recovery-samepid");
  const std::string folder = f.File("state");
  TScene scene;
  Fill(scene, 2);
  std::string crashed;
  {
    TRecovery gone(folder, 777);
    ASSERT_TRUE(gone.Start());
    ASSERT_TRUE(gone.Write(scene, true));
    crashed = gone.DocumentPath();
  }  // the lock is let go without a discard: as after a crash
  // A new run that happens to get the same process id (a new container, ids come round).
  TRecovery again(folder, 777);
  ASSERT_TRUE(again.Start());
  EXPECT_NE(again.DocumentPath(), crashed);
  EXPECT_EQ(again.LeftBehind(), std::vector<std::string>{crashed});
  EXPECT_TRUE(again.Write(scene, true));
  EXPECT_TRUE(fs::is_regular_file(crashed)) << "this run's copy never replaces the crashed run's";
}

TEST(Recovery, TheScheduleWritesOnTheTickWhenChangedAndAtOnceAfterALargeChange) {
  test::TTempFolder f("recovery-schedule");
  TScriptedPrompt prompt;
  TMemoryClipboard clip;
  TScene scene;
  scene.NewScene(true);
  TModeller modeller(scene, prompt, clip, nullptr, nullptr);
  TDocumentSession& session = modeller.Session();
  auto recovery = std::make_unique<TRecovery>(f.File("state"), 1);
  ASSERT_TRUE(recovery->Start());
  const std::string copy = recovery->DocumentPath();
  session.AttachRecovery(std::move(recovery));

  // Nothing changed: nothing written, on the tick or after.
  EXPECT_FALSE(session.WriteRecoveryIfDue(true));
  // A small change waits for the tick; the tick writes it once.
  modeller.Insert(TInsertCommand::Cube);
  EXPECT_FALSE(session.WriteRecoveryIfDue(false));
  EXPECT_TRUE(session.WriteRecoveryIfDue(true));
  session.Recovery()->WaitForWriter();
  EXPECT_TRUE(fs::is_regular_file(copy));
  EXPECT_FALSE(session.WriteRecoveryIfDue(true)) << "written as it is";
  // Ten objects more than the last copy: written at once, without waiting for the tick.
  for (int k = 0; k < kRecoveryLargeChange - 1; ++k) modeller.Insert(TInsertCommand::Sphere);
  EXPECT_FALSE(session.WriteRecoveryIfDue(false));
  modeller.Insert(TInsertCommand::Sphere);
  EXPECT_TRUE(session.WriteRecoveryIfDue(false));
  session.Recovery()->WaitForWriter();
  // Saved: nothing to write; settled, the copy goes.
  modeller.MarkSaved();
  EXPECT_FALSE(modeller.Modified());
  EXPECT_FALSE(session.WriteRecoveryIfDue(true));
  session.Settled();
  EXPECT_FALSE(fs::exists(copy));
}

TEST(Recovery, ACopyThatCannotBeWrittenIsToldOnceTriedAgainAndToldWhenWrittenAgain) {
  test::TTempFolder f("recovery-trouble");
  TScriptedPrompt prompt;
  TMemoryClipboard clip;
  TScene scene;
  scene.NewScene(true);
  TModeller modeller(scene, prompt, clip, nullptr, nullptr);
  TDocumentSession& session = modeller.Session();
  std::vector<std::string> told;
  session.OnRecoveryTrouble = [&](const TError* trouble) { told.push_back(trouble ? trouble->Message : "written"); };
  auto recovery = std::make_unique<TRecovery>(f.File("state"), 5);
  ASSERT_TRUE(recovery->Start());
  const std::string copy = recovery->DocumentPath();
  session.AttachRecovery(std::move(recovery));
  // A folder stands where the copy goes: no write can replace it (not even as root).
  fs::create_directories(copy + "/occupied");
  for (int tick = 0; tick < 4; ++tick) {
    modeller.Insert(TInsertCommand::Cube);
    EXPECT_TRUE(session.WriteRecoveryIfDue(true)) << "tried again at tick " << tick;
    session.Recovery()->WaitForWriter();
  }
  EXPECT_TRUE(session.WriteRecoveryIfDue(true)) << "a failed copy is due again without a change";
  session.Recovery()->WaitForWriter();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_FALSE(told[0].empty());
  EXPECT_NE(told[0], "written");
  // The way is free again: the next tick writes, and says so once.
  fs::remove_all(copy);
  EXPECT_TRUE(session.WriteRecoveryIfDue(true));
  session.Recovery()->WaitForWriter();
  session.WriteRecoveryIfDue(true);
  EXPECT_EQ(told, (std::vector<std::string>{told[0], "written"}));
  EXPECT_TRUE(fs::is_regular_file(copy));
}

TEST(Recovery, ARecoveredSceneIsSavedBackToItsDocument) {
  test::TTempFolder f("recovery-origin");
  const std::string folder = f.File("state");
  const std::string document = f.File("maison.ixr");
  {
    TScene scene;
    Fill(scene, 3);
    ASSERT_TRUE(SaveDocument(scene, document, true));
    scene.FileName = document;
    TRecovery gone(folder, 301);
    ASSERT_TRUE(gone.Start());
    Fill(scene, 4);  // edited after the save, then the run ends without closing
    scene.FileName = document;
    ASSERT_TRUE(gone.Write(scene, true));
    EXPECT_EQ(TRecovery::OriginalDocument(gone.DocumentPath()), document);
  }
  TScriptedPrompt prompt;
  TMemoryClipboard clip;
  TScene scene;
  scene.NewScene(true);
  TModeller modeller(scene, prompt, clip, nullptr, nullptr);
  TRecovery recovery(folder, 302);
  ASSERT_TRUE(recovery.Start());
  prompt.QueueAnswer(TAnswer::Yes);
  ASSERT_TRUE(modeller.OfferRecovery(recovery));
  EXPECT_EQ(scene.FileName, document);
  EXPECT_TRUE(modeller.Modified());
  // "Enregistrer" writes the recovered scene over its document, without asking where.
  ASSERT_TRUE(modeller.Save());
  TScene back;
  ASSERT_TRUE(LoadDocument(back, document, f.File("tex"), TTextureUse::Skip));
  EXPECT_EQ(back.ObjectCount(), scene.ObjectCount());
  // A damaged note names nothing.
  std::ofstream(f.File("state/recovery-9-x.origine")) << "relative/path\n";
  EXPECT_EQ(TRecovery::OriginalDocument(f.File("state/recovery-9-x.ixr")), "");
}
