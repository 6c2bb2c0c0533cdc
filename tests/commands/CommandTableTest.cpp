// The command table: every command found by its id and its name, the inserts matching the insert
// commands, the enabling rules following the modeller, and the modeller's commands run from it.
#include "commands/CommandTable.h"

#include <gtest/gtest.h>

#include <set>

#include "commands/Modeller.h"
#include "commands/Preferences.h"

using namespace ixoral;

TEST(CommandTableTest, EveryCommandIsFoundByItsIdAndItsOwnName) {
  const auto table = CommandTable();
  ASSERT_EQ(int(table.size()), kCommandCount);
  std::set<std::string> names;
  for (int k = 0; k < kCommandCount; ++k) {
    const TCommandInfo& c = table[size_t(k)];
    EXPECT_EQ(int(c.Id), k) << c.Name;
    EXPECT_TRUE(names.insert(c.Name).second) << "twice: " << c.Name;
    EXPECT_EQ(c.Name.rfind("act", 0), 0u) << c.Name;
    EXPECT_EQ(FindCommand(c.Name), c.Id) << c.Name;
    // Only the recent files wait for their caption.
    const bool recent = c.Id >= TCommandId::Recent1 && c.Id <= TCommandId::Recent5;
    EXPECT_EQ(c.Caption.empty(), recent) << c.Name;
    // A choice group is always checkable; a shortcut list parses as "; "-separated keys.
    if (c.Group != TCommandGroup::None) {
      EXPECT_TRUE(c.Checkable) << c.Name;
    }
    EXPECT_EQ(c.Shortcut.find(","), std::string::npos) << c.Name;
  }
  EXPECT_FALSE(FindCommand("actInconnue"));
  EXPECT_EQ(RecentCommandId(1), TCommandId::Recent1);
  EXPECT_EQ(CommandInfo(RecentCommandId(kRecentFileCount)).Name, "actRecent" + std::to_string(kRecentFileCount));
  EXPECT_EQ(CommandInfo(TCommandId::Redo).Shortcut, "Ctrl+Y; Ctrl+Shift+Z");

  for (const TInsertCommandInfo& info : InsertCommands()) {
    const TCommandInfo& c = CommandInfo(InsertCommandId(info.Command));
    EXPECT_EQ(c.Caption, info.Caption);
    EXPECT_EQ(c.Name, std::string("actInserer_") + info.Keyword);
    EXPECT_EQ(c.Icon, info.Icon);
    EXPECT_EQ(InsertCommandOf(c.Id), info.Command);
  }
  EXPECT_FALSE(InsertCommandOf(TCommandId::Undo));
}

TEST(CommandTableTest, EnablingFollowsTheModellerAndRunningATableEntryRunsItsCommand) {
  TScene scene;
  scene.NewScene(true);
  TScriptedPrompt prompt(TAnswer::Yes);
  TMemoryClipboard clipboard;
  TModeller modeller(scene, prompt, clipboard, nullptr, nullptr);
  const auto enabled = [&](TCommandId id) { return CommandEnabled(id, &modeller); };

  // Nothing to undo, no selection, an empty clipboard.
  for (TCommandId id : {TCommandId::Undo, TCommandId::Redo, TCommandId::Cut, TCommandId::Copy, TCommandId::Delete,
                        TCommandId::Clone, TCommandId::Rename, TCommandId::Paste})
    EXPECT_FALSE(enabled(id)) << CommandInfo(id).Name;
  EXPECT_TRUE(enabled(TCommandId::Noise));  // a tool dialog says itself why it cannot open
  // Without a modeller only the commands that are always there.
  EXPECT_FALSE(CommandEnabled(TCommandId::Undo, nullptr));
  EXPECT_TRUE(CommandEnabled(TCommandId::Options, nullptr));

  modeller.Insert(TInsertCommand::Cube);
  const int cube = scene.CurrentObject();
  EXPECT_TRUE(enabled(TCommandId::Undo));
  EXPECT_TRUE(enabled(TCommandId::Cut));
  EXPECT_FALSE(enabled(TCommandId::Paste));

  ASSERT_NE(CommandInfo(TCommandId::Copy).Run, nullptr);
  CommandInfo(TCommandId::Copy).Run(modeller, cube);
  EXPECT_TRUE(enabled(TCommandId::Paste));
  const int before = scene.ObjectCount();
  CommandInfo(TCommandId::Paste).Run(modeller, -1);
  EXPECT_EQ(scene.ObjectCount(), before + 1);
  CommandInfo(TCommandId::Undo).Run(modeller, -1);
  EXPECT_EQ(scene.ObjectCount(), before);
  EXPECT_TRUE(enabled(TCommandId::Redo));

  // The window runs its own: dialogs, view switches and the inserts.
  for (TCommandId id : {TCommandId::Options, TCommandId::Grid, TCommandId::Print, TCommandId::InsertCube})
    EXPECT_EQ(CommandInfo(id).Run, nullptr) << CommandInfo(id).Name;
}
