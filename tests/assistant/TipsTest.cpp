#include <gtest/gtest.h>

#include <fstream>

#include "FakePresenter.h"
#include "TempFolder.h"
#include "assistant/Tips.h"
#include "platform/Encoding.h"

namespace ixoral {
namespace {

using test::TFakePresenter;

// A tips file of `count` records "Conseil n°k" (k from 1), in Windows-1252.
void WriteTips(const std::string& path, int count, size_t extraBytes = 0) {
  std::ofstream out(path, std::ios::binary);
  for (int k = 1; k <= count; ++k) {
    std::string record = Utf8ToWin1252("Conseil n°" + std::to_string(k));
    record.resize(kTipRecordSize, '\0');
    out << record;
  }
  out << std::string(extraBytes, 'x');
}

TEST(TipsFile, ReadsRecordsCutAtZeroWholeWithoutOneAndIgnoresAPartialTail) {
  test::TTempFolder folder("tips");
  const std::string path = folder.File(kTipsFileName);
  TTipsFile missing(folder.File("absent.tp"));
  EXPECT_FALSE(missing.Exists());
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_FALSE(missing.Read(0));

  WriteTips(path, 3, 150);  // three tips, then a cut-off record
  {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(kTipRecordSize);
    f << std::string(kTipRecordSize, 'A');  // the second record holds no zero byte
  }
  TTipsFile tips(path);
  EXPECT_TRUE(tips.Exists());
  EXPECT_EQ(tips.Count(), 3);
  EXPECT_EQ(tips.Read(0), "Conseil n°1");
  EXPECT_EQ(tips.Read(1), std::string(kTipRecordSize, 'A'));
  EXPECT_EQ(tips.Read(2), "Conseil n°3");
  EXPECT_FALSE(tips.Read(3)) << "the partial tail is not a tip";
  EXPECT_FALSE(tips.Read(-1));
}

TEST(TipsFile, ShippedFileHoldsTheSourceTipsInOrder) {
  TTipsFile shipped(IXORAL_SHIPPED_DATA_DIR "/IXORAL.TP");
  std::ifstream source(IXORAL_SHIPPED_DATA_DIR "/tips/conseils.txt");
  ASSERT_TRUE(source);
  std::vector<std::string> lines;
  for (std::string line; std::getline(source, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  ASSERT_GE(lines.size(), 40u);
  ASSERT_EQ(shipped.Count(), static_cast<long>(lines.size())) << "run scripts/make-tips.py";
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(shipped.Read(static_cast<long>(i)), lines[i]) << "tip " << i + 1;
    EXPECT_LT(Utf8ToWin1252(lines[i]).size(), static_cast<size_t>(kTipRecordSize));
  }
}

TEST(RandomTip, StartsAnywhereFromZeroToTheCount) {
  EXPECT_EQ(RandomTipIndex(0.0, 44), 0);
  EXPECT_EQ(RandomTipIndex(0.5, 44), 22);
  EXPECT_EQ(RandomTipIndex(0.999, 44), 44);
  EXPECT_EQ(RandomTipIndex(0.3, 0), 0);
}

struct TipsFixture : ::testing::Test {
  test::TTempFolder Folder{"tips"};
  std::string Path = Folder.File(kTipsFileName);
  TFakePresenter Presenter;
  TScriptedPrompt Prompt;
  TAssistant Assistant{Presenter, Prompt, Path, ""};
};

TEST_F(TipsFixture, MissingOrEmptyFileStopsWithTheReinstallMessage) {
  Assistant.StartTips();
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgTipsFileGone});
  EXPECT_TRUE(Presenter.Calls.empty());
  Prompt.ClearShown();
  WriteTips(Path, 0, 120);  // no whole record
  Assistant.StartTips();
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgTipsFileGone});
  EXPECT_TRUE(Presenter.Calls.empty());
}

TEST_F(TipsFixture, ACharacterThatCannotBeReadIsReportedAndNothingIsShown) {
  WriteTips(Path, 5);
  Presenter.Error = "Le fichier du personnage est introuvable";
  Assistant.SetCharacterFile("/nulle/part/hibou.acs");
  Assistant.StartTips();
  EXPECT_EQ(Presenter.LoadedFile, "/nulle/part/hibou.acs");
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{Presenter.Error});
  EXPECT_TRUE(Presenter.Calls.empty());
  EXPECT_EQ(Assistant.Mode(), TAssistantMode::None);
  // Once readable, the next start goes ahead with the file last set.
  Presenter.Error.clear();
  Assistant.StartTips();
  EXPECT_EQ(Presenter.LoadedFile, "/nulle/part/hibou.acs");
  EXPECT_EQ(Assistant.Mode(), TAssistantMode::Tips);
}

TEST_F(TipsFixture, ABrokenCharacterOfTheUserGivesWayToTheShippedOneWithItsMessage) {
  WriteTips(Path, 5);
  Presenter.Error = "Le fichier du personnage est corrompu";
  Presenter.Broken = {"/home/u/chars/merlin.acs"};
  Assistant.SetCharacterFile("/home/u/chars/merlin.acs");
  Assistant.SetFallbackCharacters({"/home/u/chars/merlin.acs", "/usr/share/ixoral/chars/merlin.acs"});
  Assistant.StartTips();
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{Presenter.Error});
  EXPECT_EQ(Presenter.LoadedFile, "/usr/share/ixoral/chars/merlin.acs");
  EXPECT_EQ(Assistant.Mode(), TAssistantMode::Tips);
}

TEST_F(TipsFixture, StartLoadsShowsAndReadsATipThenCommandsCycle) {
  WriteTips(Path, 5);
  bool timerStopped = false;
  Assistant.StopPresentationTimer = [&] { timerStopped = true; };
  Assistant.Placement = [](int w, int h) { return std::make_pair(500 - w, 400 - h); };
  Assistant.SetSeed(7);
  Assistant.StartTips();
  EXPECT_TRUE(timerStopped);
  EXPECT_EQ(Presenter.LoadedId, kCharacterId);
  EXPECT_EQ(Presenter.LoadedFile, kDefaultCharacter);
  EXPECT_EQ(Presenter.Commands, (std::vector<std::string>{"Z=Conseil Suivant", "Y=Conseil Précedent"}));
  EXPECT_EQ(Presenter.X, 400);
  EXPECT_EQ(Presenter.Y, 250);
  EXPECT_EQ(Assistant.Mode(), TAssistantMode::Tips);
  ASSERT_EQ(Presenter.Spoken.size(), 1u);
  const long start = Assistant.TipIndex();
  EXPECT_GE(start, 1);
  EXPECT_LE(start, 5);
  EXPECT_EQ(Presenter.Spoken[0], "Conseil n°" + std::to_string(start));

  // The same seed gives the same starting tip.
  TFakePresenter other;
  TAssistant again(other, Prompt, Path, "");
  again.SetSeed(7);
  again.StartTips();
  EXPECT_EQ(again.TipIndex(), start);

  Assistant.OnShown();
  // Forward past the last tip comes back to the first.
  for (long k = start; k < 5; ++k) Assistant.OnCommand(kCmdNextTip);
  EXPECT_EQ(Presenter.Spoken.back(), "Conseil n°5");
  Assistant.OnCommand(kCmdNextTip);
  EXPECT_EQ(Presenter.Spoken.back(), "Conseil n°1");
  // Back from the first stays on the first.
  Assistant.OnCommand(kCmdPreviousTip);
  EXPECT_EQ(Presenter.Spoken.back(), "Conseil n°1");
  EXPECT_EQ(Assistant.TipIndex(), 1);
  Assistant.OnCommand(kCmdNextTip);
  EXPECT_EQ(Presenter.Spoken.back(), "Conseil n°2");
  // Another tip interrupts the one being read.
  EXPECT_EQ(Presenter.Calls[Presenter.Calls.size() - 2], "stop");
  EXPECT_TRUE(Prompt.Texts().empty());

  // Starting tips again while they are shown.
  Assistant.StartTips();
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgAgentLoaded});

  // Hiding by the user unloads the character and ends the mode; commands then do nothing.
  Assistant.OnHidden();
  EXPECT_EQ(Assistant.Mode(), TAssistantMode::None);
  EXPECT_FALSE(Presenter.Loaded());
  const size_t spoken = Presenter.Spoken.size();
  Assistant.OnCommand(kCmdNextTip);
  EXPECT_EQ(Presenter.Spoken.size(), spoken);
}

TEST_F(TipsFixture, FileRemovedOrCutWhileShowingReportsTheMissingFile) {
  WriteTips(Path, 3);
  Assistant.SetSeed(1);
  Assistant.StartTips();
  Assistant.OnShown();
  WriteTips(Path, 0, 30);  // cut below one record
  Assistant.OnCommand(kCmdNextTip);
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgTipsFileMissing});
  EXPECT_EQ(Assistant.TipIndex(), 1) << "an index past a file of no tips comes back to the first";
  std::remove(Path.c_str());
  Prompt.ClearShown();
  Assistant.ShowCurrentTip();
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgTipsFileMissing});
}

TEST_F(TipsFixture, RequestCompletionsAreCounted) {
  Assistant.OnRequestComplete(3);
  Assistant.OnRequestComplete(4);
  EXPECT_EQ(Assistant.Requests(), 2);
}

}  // namespace
}  // namespace ixoral
