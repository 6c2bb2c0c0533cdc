// The undo history through the command layer: every kind of change undone gives back a scene
// whose saved document is byte for byte the one before, and redone the one after.
#include "commands/History.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "commands/Modeller.h"
#include "commands/Properties.h"
#include "commands/ToolDialogs.h"
#include "document/SceneDocument.h"
#include "render/SceneRenderer.h"
#include "scene/Shapes.h"
#include "tools/Deformations.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

class HistoryTest : public ::testing::Test {
 protected:
  HistoryTest() : Modeller(Scene, Prompt, Clipboard, nullptr, &Files) { Scene.NewScene(true); }
  // The document the scene saves as, byte for byte (always under the same file name: the
  // archive holds it).
  std::string Saved() {
    const std::string folder = Folder.File(std::to_string(++Saves));
    fs::create_directories(folder);
    const std::string path = folder + "/scene.ixr";
    EXPECT_TRUE(SaveDocument(Scene, path, true));
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    Scene.FileName.clear();
    return s.str();
  }
  // Runs `change`, then checks undo and redo give back both documents exactly.
  void ExpectUndoable(const char* what, const std::function<void()>& change, const char* stepName) {
    SCOPED_TRACE(what);
    const std::string before = Saved();
    const std::string textBefore = WriteSceneText(Scene);
    const size_t steps = Modeller.History().UndoCount();
    change();
    const std::string after = Saved();
    ASSERT_NE(before, after) << "the change changed nothing";
    ASSERT_EQ(Modeller.History().UndoCount(), steps + 1);
    EXPECT_EQ(Modeller.UndoCaption(), std::string("&Annuler ") + stepName);
    const std::string textAfter = WriteSceneText(Scene);
    ASSERT_TRUE(Modeller.Undo());
    EXPECT_EQ(WriteSceneText(Scene), textBefore);
    EXPECT_EQ(Saved(), before);
    EXPECT_EQ(Modeller.RedoCaption(), std::string("&Rétablir ") + stepName);
    ASSERT_TRUE(Modeller.Redo());
    EXPECT_EQ(WriteSceneText(Scene), textAfter);
    EXPECT_EQ(Saved(), after);
  }
  int Insert(TInsertCommand c) { return Modeller.Insert(c); }

  test::TTempFolder Folder{"history"};
  TScriptedPrompt Prompt{TAnswer::Yes};
  TMemoryClipboard Clipboard;
  test::TScriptedFiles Files;
  TScene Scene;
  TModeller Modeller;
  int Saves = 0;
};

}  // namespace

TEST_F(HistoryTest, EveryEditCommandIsOneStepThatUndoesAndRedoesExactly) {
  ExpectUndoable(
      "insert", [&] { Insert(TInsertCommand::Cube); }, "Insertion");
  ExpectUndoable(
      "insert text", [&] { Insert(TInsertCommand::Texte3D); }, "Insertion");
  ExpectUndoable(
      "insert curve", [&] { Insert(TInsertCommand::Parametrique); }, "Insertion");
  const int sphere = Insert(TInsertCommand::Sphere);
  ExpectUndoable(
      "rename", [&] { Modeller.Rename(sphere, "Lune"); }, "Renommage");
  ExpectUndoable(
      "rename in the browser", [&] { Modeller.RenameFromBrowser(1, "Boite"); }, "Renommage");
  ExpectUndoable(
      "clone", [&] { Modeller.Clone(sphere); }, "Clonage");
  ExpectUndoable(
      "copy then paste",
      [&] {
        Modeller.Copy(sphere);
        Modeller.Paste();
      },
      "Coller");
  ExpectUndoable(
      "delete", [&] { Modeller.Delete(1); }, "Suppression");
  ExpectUndoable(
      "cut",
      [&] {
        Scene.SelectObject(Scene.IndexOfName("Lune"));
        Modeller.Cut(Scene.CurrentObject());
      },
      "Couper");
  const int cube = Insert(TInsertCommand::Cube);
  const int torus = Insert(TInsertCommand::Tore);
  ExpectUndoable(
      "drop onto a solid", [&] { Modeller.Drop(torus, cube, false); }, "Association");
  ExpectUndoable(
      "drop onto Objets", [&] { Modeller.Drop(torus, -1, true); }, "Association");
  ExpectUndoable(
      "associate",
      [&] {
        Scene.ClearSelection();
        Scene.AddToSelection(cube);
        Scene.AddToSelection(torus);
        Modeller.Associate();
      },
      "Association");
  ExpectUndoable(
      "dissociate", [&] { Modeller.Dissociate(cube); }, "Dissociation");
  ExpectUndoable(
      "inspector apply",
      [&] {
        Scene.SelectObject(cube);
        Modeller.ApplyProperties(cube, {{"cote", TPropertyEdit{"2"}}});
      },
      "Propriétés");
}

TEST_F(HistoryTest, DeformationsRelationsLightsAndViewsComeBackExactly) {
  const int cube = Insert(TInsertCommand::Cube);
  const int hole = Insert(TInsertCommand::Sphere);
  TSolidObject& c = *Scene.SolidAt(cube);
  c.SetNoise(1234, true, 0.05, -0.05);
  ReapplyNoise(c);
  c.SetTorsion({0, -1, 0}, {0, 1, 0}, 0.7);
  ReapplyTorsion(c);
  ASSERT_TRUE(Scene.SetParent(hole, cube));
  ASSERT_TRUE(Scene.SetRelation(hole, cube, 1));
  Modeller.History().Clear();

  // A move of the deformed solid: put back in place, mesh untouched.
  ExpectUndoable(
      "move a deformed solid",
      [&] {
        Modeller.BeginDrag();
        for (int k = 1; k <= 50; ++k) Scene.SolidAt(cube)->SetPosition({0.01 * k, 0.02 * k, 0});
        Modeller.EndDrag();
      },
      "Déplacement");
  // A light moved and recoloured: read again from its record, device record included.
  ExpectUndoable(
      "light",
      [&] {
        Modeller.Step(step::Lumiere, [&] {
          TLight* l = Scene.LightAt(0);
          l->SetPosition({2, 3, -1});
          l->SetColor(0xFF336699);
        });
      },
      "Lumière");
  // A change of view type, kept with its views.
  ExpectUndoable(
      "view type",
      [&] {
        Modeller.Step(
            step::Vues, [&] { Scene.Views[0].SetViewType(vtHaut); }, true);
      },
      "Vues");
  EXPECT_EQ(Scene.Views[0].ViewType, vtHaut);
  Modeller.Undo();
  EXPECT_EQ(Scene.Views[0].ViewType, vtFace);
}

TEST_F(HistoryTest, WhatTheRecordsLeaveOutComesBackWithUndoAndIsAStepOfItsOwn) {
  const int cube = Insert(TInsertCommand::Cube);
  const int hole = Insert(TInsertCommand::Sphere);
  ASSERT_TRUE(Scene.SetParent(hole, cube));
  ASSERT_TRUE(Scene.SetRelation(hole, cube, 1));
  Scene.SolidAt(hole)->PivotStyle = 0;
  Scene.SolidAt(cube)->SetVisible(false);
  Modeller.History().Clear();
  auto expectKept = [&](const char* when) {
    SCOPED_TRACE(when);
    EXPECT_TRUE(Scene.SolidAt(hole)->ShowRelation);
    EXPECT_EQ(Scene.SolidAt(hole)->PivotStyle, 0);
    EXPECT_FALSE(Scene.SolidAt(cube)->Afficher);
  };
  // A rename: undone and redone, every object is read again from its record.
  Modeller.Step(step::Renommage, [&] { Scene.RenameObject(cube, "Socle"); });
  ASSERT_TRUE(Modeller.Undo());
  expectKept("undone");
  ASSERT_TRUE(Modeller.Redo());
  expectKept("redone");
  // "Afficher Relation" unticked is a step of its own: undone, the relation is drawn again.
  TPropertyEdit off;
  off.Checked = false;
  Modeller.ApplyProperties(hole, {{"showrelation", off}});
  EXPECT_FALSE(Scene.SolidAt(hole)->ShowRelation);
  EXPECT_EQ(Modeller.UndoCaption(), "&Annuler Propriétés");
  ASSERT_TRUE(Modeller.Undo());
  expectKept("the tick undone");
}

TEST_F(HistoryTest, SelectionComesBackButIsNoStepOfItsOwn) {
  const int a = Insert(TInsertCommand::Cube);
  const int b = Insert(TInsertCommand::Sphere);
  Scene.ClearSelection();
  Scene.AddToSelection(a);
  Scene.AddToSelection(b);
  Modeller.History().Clear();
  // A click that only selects makes no step.
  Modeller.BeginDrag();
  Scene.SelectObject(b);
  Modeller.EndDrag();
  EXPECT_FALSE(Modeller.CanUndo());

  Scene.ClearSelection();
  Scene.AddToSelection(a);
  Scene.AddToSelection(b);
  Modeller.BeginDrag();
  Scene.SolidAt(a)->SetPosition({1, 0, 0});
  Scene.SolidAt(b)->SetPosition({2, 0, 0});
  Scene.ClearSelection();
  Modeller.EndDrag();
  ASSERT_TRUE(Modeller.Undo());
  EXPECT_EQ(Scene.CurrentObject(), a);
  EXPECT_EQ(Scene.SelectedObjects(), std::vector<int32_t>{b});
}

TEST_F(HistoryTest, FailedOrEmptyCommandsLeaveNothingToUndo) {
  Modeller.Rename(5, "X");  // no such object
  Modeller.Delete(-1);      // nothing selected
  Modeller.Associate();     // fewer than two
  Modeller.Paste();         // empty clipboard
  const int cube = Insert(TInsertCommand::Cube);
  Modeller.History().Clear();
  Modeller.Rename(cube, "Cube1");                                   // its own name: refused
  Modeller.ApplyProperties(cube, {{"cote", TPropertyEdit{"-1"}}});  // out of range: ignored
  EXPECT_FALSE(Modeller.CanUndo());
  EXPECT_EQ(Modeller.UndoCaption(), "&Annuler");
  EXPECT_FALSE(Modeller.Undo());
  EXPECT_FALSE(Modeller.Redo());
}

TEST_F(HistoryTest, NewAndOpenClearTheHistoryAndANewChangeClearsRedo) {
  Insert(TInsertCommand::Cube);
  Insert(TInsertCommand::Cube);
  Modeller.Undo();
  EXPECT_TRUE(Modeller.CanRedo());
  Insert(TInsertCommand::Sphere);
  EXPECT_FALSE(Modeller.CanRedo());
  EXPECT_TRUE(Modeller.Modified());
  Prompt.QueueAnswer(TAnswer::No);  // no save before clearing
  Modeller.New();
  EXPECT_FALSE(Modeller.CanUndo());
  EXPECT_FALSE(Modeller.Modified());

  Insert(TInsertCommand::Cube);
  const std::string path = Folder.File("doc.ixr");
  ASSERT_TRUE(SaveDocument(Scene, path, true));
  Prompt.QueueAnswer(TAnswer::No);
  ASSERT_TRUE(Modeller.OpenPath(path));
  EXPECT_FALSE(Modeller.CanUndo());
  EXPECT_FALSE(Modeller.Modified());
}

TEST(History, KeepsItsBoundsDroppingTheOldestAndKeepsAHugeStepAlone) {
  TScene scene;
  scene.NewScene(true);
  THistory history(3, 1u << 20);
  for (int k = 0; k < 5; ++k) {
    TSceneSnapshot before = TakeSnapshot(scene);
    scene.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube");
    EXPECT_TRUE(history.Record("Insertion", std::move(before), scene));
  }
  EXPECT_EQ(history.UndoCount(), 3u);
  while (history.Undo(scene)) {
  }
  EXPECT_EQ(scene.ObjectCount(), 3);  // the light and the two cubes whose steps were dropped

  // A budget smaller than one step: the step is kept, alone.
  THistory tiny(100, 64);
  for (int k = 0; k < 3; ++k) {
    TSceneSnapshot before = TakeSnapshot(scene);
    scene.AddObject(CreateSphere(21, 42, 0xFFFFFFFF, 0.5), "Boule");
    tiny.Record("Insertion", std::move(before), scene);
  }
  EXPECT_EQ(tiny.UndoCount(), 1u);
  EXPECT_GT(tiny.Bytes(), 64u);
  EXPECT_TRUE(tiny.Undo(scene));
}

TEST_F(HistoryTest, AToolDialogsOkIsOneStepTexturesIncluded) {
  const int cube = Insert(TInsertCommand::Cube);
  TScene preview;
  TScene::CopyAllObjects(preview, Scene);
  TNoiseChoice noise;
  std::string message;
  ASSERT_TRUE(ApplyNoisePreview(preview, Scene, cube, noise, 4321, message)) << message;
  ExpectUndoable(
      "noise", [&] { Modeller.ApplyToolResult(cube, preview, TModeller::TToolResult::WholeObject); }, "Déformation");
}

TEST(HistoryTextures, ATextureAppliedThenUndoneAndRedone) {
  // A drawing device, which keeps textures.
  TScriptedPrompt prompt;
  TMemoryClipboard clip;
  TDisplayScene drawn(64, 64, nullptr, nullptr);
  ASSERT_TRUE(drawn.Renderer.InitDevice());
  drawn.Scene.NewScene(true);
  TModeller modeller(drawn.Scene, prompt, clip, nullptr, nullptr);
  const int cube = modeller.Insert(TInsertCommand::Cube);
  const std::string before = WriteSceneText(drawn.Scene);
  TScene preview;
  TScene::CopyAllObjects(preview, drawn.Scene);
  const std::string picture = IXORAL_TEST_DATA_DIR "/images/pattern-gray.jpg";
  ASSERT_TRUE(modeller.ApplyToolResult(cube, preview, TModeller::TToolResult::Texture, picture));
  EXPECT_EQ(modeller.UndoCaption(), "&Annuler Texture");
  const std::string after = WriteSceneText(drawn.Scene);
  ASSERT_TRUE(drawn.Scene.SolidAt(cube)->Texturer);
  ASSERT_NE(drawn.Scene.SolidAt(cube)->TextureSurface, nullptr);
  ASSERT_TRUE(modeller.Undo());
  EXPECT_EQ(WriteSceneText(drawn.Scene), before);
  EXPECT_FALSE(drawn.Scene.SolidAt(cube)->Texturer);
  ASSERT_TRUE(modeller.Redo());
  EXPECT_EQ(WriteSceneText(drawn.Scene), after);
  EXPECT_NE(drawn.Scene.SolidAt(cube)->TextureSurface, nullptr);  // the picture is loaded again
}

TEST_F(HistoryTest, UndoingADeletionInTheMiddleBringsBackIdsOrderAndParents) {
  const int a = Insert(TInsertCommand::Cube);
  const int b = Insert(TInsertCommand::Sphere);
  const int c = Insert(TInsertCommand::Cone);
  const int d = Insert(TInsertCommand::Tore);
  ASSERT_TRUE(Scene.SetParent(c, a));
  std::vector<TObjectId> ids;
  for (int i = 0; i < Scene.ObjectCount(); ++i) ids.push_back(Scene.IdAt(i));
  const std::string text = WriteSceneText(Scene);
  ASSERT_TRUE(Modeller.Delete(b));
  ASSERT_EQ(Scene.IndexOf(ids[static_cast<size_t>(d)]), b) << "the last object moved into the freed place";

  ASSERT_TRUE(Modeller.Undo());
  EXPECT_EQ(WriteSceneText(Scene), text);
  for (int i = 0; i < Scene.ObjectCount(); ++i) EXPECT_EQ(Scene.IdAt(i), ids[static_cast<size_t>(i)]) << i;
  EXPECT_EQ(Scene.ParentOf(c), a);
  ASSERT_TRUE(Modeller.Redo());
  EXPECT_EQ(Scene.IndexOf(ids[static_cast<size_t>(b)]), -1);
  EXPECT_EQ(Scene.IndexOf(ids[static_cast<size_t>(d)]), b);
  EXPECT_EQ(Scene.ParentOf(Scene.IndexOf(ids[static_cast<size_t>(c)])), a);
}
