// The history on large scenes: steps keep only what they change, and a long run of commands
// undone and redone gives back every state exactly, identities and order included.
#include <gtest/gtest.h>

#include "commands/History.h"
#include "commands/Modeller.h"
#include "scene/Shapes.h"

using namespace ixoral;

namespace {

class HistoryScaleTest : public ::testing::Test {
 protected:
  HistoryScaleTest() : Modeller(Scene, Prompt, Clipboard, nullptr, nullptr) {
    Scene.NewScene(true);
    for (int i = 1; i < 400; ++i) {
      const TInsertDefault& shape = InsertDefaults[static_cast<size_t>(i) % InsertDefaults.size()];
      const int k = Scene.AddObject(shape.Create(), std::string(shape.Keyword) + std::to_string(i));
      Scene.ObjectAt(k)->SetPosition({0.1 * (i % 7), 0.2 * (i % 5), 0.3 * (i % 3)});
    }
    // Groups spread through the list: every fifth object under one of the first twenty.
    for (int i = 25; i < 400; i += 5) Scene.LinkParent(i, 1 + i % 20);
    Modeller.History().Clear();
  }
  uint32_t Next(uint32_t n) {
    Seed = Seed * 1103515245u + 12345u;
    return (Seed >> 8) % n;
  }
  // The whole state as the scene has it: order, identities, records, parents, flags, selection.
  struct TState {
    TSceneSnapshot Snapshot;
    TScene::TSelectionState Selection;
  };
  TState Now() { return {TakeSnapshot(Scene), Scene.Selection()}; }
  void ExpectState(const TState& want, const std::string& when) {
    SCOPED_TRACE(when);
    const TState now = Now();
    ASSERT_EQ(now.Snapshot.Ids, want.Snapshot.Ids);
    for (const TObjectId id : want.Snapshot.Ids) {
      const TObjectState &a = now.Snapshot.States.at(id), &b = want.Snapshot.States.at(id);
      ASSERT_EQ(a.Record, b.Record) << "object " << id;
      ASSERT_EQ(a.Parent, b.Parent) << "object " << id;
      ASSERT_EQ(a.Flags, b.Flags) << "object " << id;
    }
    EXPECT_EQ(now.Selection, want.Selection);
  }

  TScriptedPrompt Prompt{TAnswer::Yes};
  TMemoryClipboard Clipboard;
  TScene Scene;
  TModeller Modeller;
  uint32_t Seed = 99;
};

}  // namespace

TEST_F(HistoryScaleTest, ALargeDeleteUndoneAndRedoneGivesBackTheSameObjectsInTheSameOrder) {
  const int head = 6;  // heads a group of about twenty spread through the list
  Modeller.SelectFromBrowser(head);
  ASSERT_GT(Scene.SelectionCount(), 15);
  const TState before = Now();
  ASSERT_TRUE(Modeller.Delete(head));
  const TState after = Now();
  ASSERT_LT(Scene.ObjectCount(), 400 - 15);
  ASSERT_TRUE(Modeller.Undo());
  ExpectState(before, "undone");
  ASSERT_TRUE(Modeller.Redo());
  ExpectState(after, "redone");
  ASSERT_TRUE(Modeller.Undo());
  ExpectState(before, "undone again");
}

TEST_F(HistoryScaleTest, AStepKeepsOnlyTheObjectsItChanged) {
  const size_t whole = TakeSnapshot(Scene).Bytes();
  Modeller.SelectFromBrowser(200);
  ASSERT_TRUE(Modeller.Rename(200, "Renomme"));
  Modeller.Insert(TInsertCommand::Sphere);
  Modeller.BeginDrag();
  Scene.ObjectAt(Scene.CurrentObject())->SetPosition({5, 5, 5});
  Modeller.EndDrag();
  ASSERT_EQ(Modeller.History().UndoCount(), 3u);
  // Three steps of one object each, plus the list's order: far less than one whole scene.
  EXPECT_LT(Modeller.History().Bytes() * 4, whole);
  // Undone, the redo side keeps as little.
  while (Modeller.Undo()) {
  }
  EXPECT_LT(Modeller.History().Bytes() * 4, whole);
}

TEST_F(HistoryScaleTest, ARunOfCommandsUndoneAndRedoneGivesBackEveryStateExactly) {
  std::vector<TState> states{Now()};
  for (int step = 0; step < 40; ++step) {
    const int n = Scene.ObjectCount();
    const int object = 1 + static_cast<int>(Next(static_cast<uint32_t>(n - 1)));
    const size_t steps = Modeller.History().UndoCount();
    switch (Next(7)) {
      case 0:
        Modeller.Insert(static_cast<TInsertCommand>(Next(7)));
        break;
      case 1:
        Modeller.SelectFromBrowser(object);
        Modeller.Delete(object);
        break;
      case 2:
        Modeller.SelectFromBrowser(object);
        Modeller.Rename(object, "Nom" + std::to_string(step));
        break;
      case 3:  // a drag of the selection, told as "several objects" as the views tell it
        Modeller.SelectFromBrowser(object);
        Modeller.BeginDrag();
        for (int k = 0; k < Scene.SelectionCount(); ++k)
          Scene.ObjectAt(Scene.SelectedAt(k))->SetPosition({0.5 * step, 1.0 * k, -0.25 * step});
        Scene.Notify(TSceneChange::ObjectChanged);
        Modeller.EndDrag();
        break;
      case 4:
        Modeller.Drop(object, 1 + static_cast<int>(Next(static_cast<uint32_t>(n - 1))), Next(2) == 0);
        break;
      case 5:
        Modeller.SelectFromBrowser(object);
        Modeller.ApplyProperties(object, {{"couleur", TPropertyEdit{"FF3366"}}});
        break;
      default:
        Modeller.SelectFromBrowser(object);
        Modeller.Copy(object);
        Modeller.Paste();
        break;
    }
    if (Modeller.History().UndoCount() == steps) continue;  // refused, or nothing changed
    states.push_back(Now());
  }
  ASSERT_GT(states.size(), 20u);
  for (size_t k = states.size() - 1; k > 0; --k) {
    ASSERT_TRUE(Modeller.Undo());
    // The selection comes back with the step undone; the state before it is compared without it.
    TState want = states[k - 1];
    want.Selection = Scene.Selection();
    ExpectState(want, "undone to state " + std::to_string(k - 1));
  }
  EXPECT_FALSE(Modeller.CanUndo());
  for (size_t k = 1; k < states.size(); ++k) {
    ASSERT_TRUE(Modeller.Redo());
    TState want = states[k];
    want.Selection = Scene.Selection();
    ExpectState(want, "redone to state " + std::to_string(k));
  }
}
