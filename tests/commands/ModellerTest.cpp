// The main window's commands without a window: inserts and their names, edit commands, the
// browser's tree, association, recent files, preferences, file commands and their questions.
#include "commands/Modeller.h"
#include "storage/Archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "CubeScenes.h"
#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "commands/BrowserTree.h"
#include "commands/Preferences.h"
#include "document/ModelExport.h"
#include "document/SceneDocument.h"
#include "scene/Shapes.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

class ModellerTest : public ::testing::Test {
 protected:
  ModellerTest()
      : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)),
        Scene(nullptr, &Settings),
        Modeller(Scene, Prompt, Clipboard, &Settings, &Files) {
    Scene.NewScene(true);
  }
  std::string Names() const {
    std::string s;
    for (int i = 0; i < Scene.ObjectCount(); ++i) s += (i ? "," : "") + Scene.ObjectAt(i)->Name();
    return s;
  }
  // A saved document holding a light and `cubes` cubes.
  std::string SavedDocument(const std::string& name, int cubes) {
    TScene s;
    test::FillWithCubes(s, cubes);
    const std::string path = Folder.File(name);
    EXPECT_TRUE(SaveDocument(s, path, true));
    return path;
  }

  test::TTempFolder Folder{"modeller"};
  TScriptedPrompt Prompt;
  TMemoryClipboard Clipboard;
  test::TScriptedFiles Files;
  TSettingsStore Settings;
  TScene Scene;
  TModeller Modeller;
};

}  // namespace

TEST_F(ModellerTest, InsertsAreNumberedPerCommandAndNewStartsAgain) {
  Modeller.Insert(TInsertCommand::Cube);
  Modeller.Insert(TInsertCommand::Cube);
  const int sphere = Modeller.Insert(TInsertCommand::Sphere);
  Modeller.Insert(TInsertCommand::Cube);
  EXPECT_EQ(Names(), "Lumière1,Cube1,Cube2,Sphere1,Cube3");
  EXPECT_EQ(Modeller.LastInsert(), TInsertCommand::Cube);
  EXPECT_EQ(Scene.CurrentObject(), 4);  // the new object is selected
  EXPECT_EQ(Scene.SolidAt(sphere)->Color, 0xFFFFFFFFu);
  Modeller.Insert(TInsertCommand::Parametrique);
  Modeller.Insert(TInsertCommand::Texte3D);
  Modeller.Insert(TInsertCommand::Texte3D);
  EXPECT_EQ(Scene.ObjectAt(5)->Name(), "Param1");
  EXPECT_EQ(Scene.ObjectAt(6)->Name(), "Abc");
  EXPECT_EQ(Scene.ObjectAt(7)->Name(), "Abci");

  Prompt.QueueAnswer(TAnswer::No);  // do not save
  ASSERT_TRUE(Modeller.New());
  EXPECT_EQ(Modeller.Caption(), "IXORAL");
  Scene.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube1");
  Modeller.Insert(TInsertCommand::Cube);
  EXPECT_EQ(Names(), "Lumière1,Cube1,Cube1i");
}

TEST_F(ModellerTest, NewAsksBeforeDroppingWork) {
  // A scene holding only its light is cleared without a question.
  ASSERT_TRUE(Modeller.New());
  EXPECT_TRUE(Prompt.Shown().empty());

  Modeller.Insert(TInsertCommand::Cube);
  Prompt.QueueAnswer(TAnswer::Cancel);
  EXPECT_FALSE(Modeller.New());
  EXPECT_EQ(Scene.ObjectCount(), 2);
  ASSERT_EQ(Prompt.Shown().size(), 1u);
  EXPECT_EQ(Prompt.Shown()[0].Text, "Voulez-vous enregister les modifications dans la scene ?");
  EXPECT_EQ(Prompt.Shown()[0].Kind, TScriptedPrompt::TShown::YesNoCancel);

  // Yes, but the save does not happen (the file dialog is cancelled): the scene stays.
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_FALSE(Modeller.New());
  EXPECT_EQ(Scene.ObjectCount(), 2);

  // Yes, saved: then cleared.
  Files.Save.push_back({Folder.File("kept.ixr"), TSaveType::Document});
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_TRUE(Modeller.New());
  EXPECT_TRUE(fs::is_regular_file(Folder.File("kept.ixr")));
  EXPECT_EQ(Scene.ObjectCount(), 1);
}

TEST_F(ModellerTest, EveryInsertCommandMakesItsShape) {
  for (const auto& info : InsertCommands()) {
    const int i = Modeller.Insert(info.Command);
    ASSERT_GE(i, 0) << info.Keyword;
    EXPECT_FALSE(Scene.SolidAt(i)->Composantes.empty()) << info.Keyword;
    EXPECT_EQ(FindInsertCommand(info.Keyword), &info);
  }
  EXPECT_EQ(Scene.ObjectCount(), 1 + kInsertCommandCount);
}

TEST_F(ModellerTest, CutThenPasteGivesTheObjectBackWithoutItsParent) {
  const int parent = Modeller.Insert(TInsertCommand::Cube);
  const int child = Modeller.Insert(TInsertCommand::Sphere);
  ASSERT_TRUE(Scene.SetParent(child, parent));
  // A node with children cannot be cut, copied or cloned.
  Modeller.SelectFromBrowser(parent);
  EXPECT_FALSE(Modeller.Cut(parent));
  EXPECT_FALSE(Modeller.Copy(parent));
  EXPECT_EQ(Modeller.Clone(parent), -1);
  EXPECT_EQ(Prompt.Texts(), (std::vector<std::string>{kMsgCutLinked, kMsgCopyLinked, kMsgCloneLinked}));
  Modeller.SelectFromBrowser(child);
  ASSERT_TRUE(Modeller.Cut(child));
  EXPECT_EQ(Scene.IndexOfName("Sphere1"), -1);
  EXPECT_TRUE(ClipboardHoldsObject(Clipboard));
  EXPECT_TRUE(Modeller.EditMenuState().Paste);
  EXPECT_FALSE(Modeller.EditMenuState().ObjectCommands);  // nothing selected after a cut
  // The record still names its parent; the pasted object has none.
  const int pasted = Modeller.Paste();
  ASSERT_GE(pasted, 0);
  EXPECT_EQ(Scene.ObjectAt(pasted)->Name(), "Sphere1");
  EXPECT_EQ(Scene.ParentOf(pasted), -1);
  EXPECT_EQ(Scene.CurrentObject(), pasted);
  // Text that is not an object record: paste is not offered, and refused with the message.
  Clipboard.SetText("bonjour");
  EXPECT_FALSE(Modeller.EditMenuState().Paste);
  Prompt.ClearShown();
  EXPECT_EQ(Modeller.Paste(), -1);
  EXPECT_EQ(Prompt.Texts(), (std::vector<std::string>{kMsgForeignClipboard}));
}

TEST_F(ModellerTest, DeleteAsksAndRemovesTheWholeGroup) {
  EXPECT_FALSE(Modeller.Delete(-1));
  EXPECT_EQ(Prompt.Texts().back(), kMsgNeedSelection);
  const int parent = Modeller.Insert(TInsertCommand::Cube);
  const int child = Modeller.Insert(TInsertCommand::Sphere);
  Modeller.Insert(TInsertCommand::Tore);
  ASSERT_TRUE(Scene.SetParent(child, parent));
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_FALSE(Modeller.Delete(parent));
  EXPECT_EQ(Prompt.Texts().back(), "Voulez-vous réelement supprimer Cube1 et tous ses objets associés ?");
  EXPECT_EQ(Scene.ObjectCount(), 4);
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_TRUE(Modeller.Delete(parent));
  EXPECT_EQ(Names(), "Lumière1,Tore1");
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_TRUE(Modeller.Delete(1));
  EXPECT_EQ(Prompt.Texts().back(), "Voulez-vous réelement supprimer Tore1 ?");
}

TEST_F(ModellerTest, CloneAndRenameKeepNamesUnique) {
  const int cube = Modeller.Insert(TInsertCommand::Cube);
  const int copy = Modeller.Clone(cube);
  const int copy2 = Modeller.Clone(cube);
  EXPECT_EQ(Scene.ObjectAt(copy)->Name(), "Cube1i");
  EXPECT_EQ(Scene.ObjectAt(copy2)->Name(), "Cube1ii");
  Scene.ClearSelection();
  EXPECT_EQ(Modeller.Clone(cube), -1);
  EXPECT_EQ(Prompt.Texts().back(), kMsgNeedSelection);

  Modeller.SelectFromBrowser(cube);
  EXPECT_FALSE(Modeller.Rename(cube, "Cube1i"));
  EXPECT_EQ(Prompt.Texts().back(), kMsgNameExists);
  EXPECT_TRUE(Modeller.Rename(cube, "Socle"));
  EXPECT_EQ(Scene.ObjectAt(cube)->Name(), "Socle");
  // In place in the browser: empty or taken names are refused and the text goes back.
  EXPECT_FALSE(Modeller.RenameFromBrowser(cube, ""));
  EXPECT_FALSE(Modeller.RenameFromBrowser(cube, "Lumière1"));
  EXPECT_EQ(Prompt.Texts().back(), kMsgNameRefused);
  EXPECT_TRUE(Modeller.RenameFromBrowser(cube, "Socle"));  // unchanged: nothing to refuse
  EXPECT_TRUE(Modeller.RenameFromBrowser(cube, "Base"));
  EXPECT_EQ(Scene.ObjectAt(cube)->Name(), "Base");
}

TEST_F(ModellerTest, BrowserTreeListsChildrenUnderTheirParents) {
  const int a = Modeller.Insert(TInsertCommand::Cube);
  const int b = Modeller.Insert(TInsertCommand::Sphere);
  const int c = Modeller.Insert(TInsertCommand::Tore);
  const int d = Modeller.Insert(TInsertCommand::Cone);
  ASSERT_TRUE(Scene.SetParent(c, a));
  ASSERT_TRUE(Scene.SetParent(b, c));
  const TBrowserNode tree = BuildBrowserTree(Scene);
  EXPECT_EQ(tree.Text, "Scène");
  ASSERT_EQ(tree.Children.size(), 2u);
  const TBrowserNode& objects = tree.Children[0];
  const TBrowserNode& lights = tree.Children[1];
  EXPECT_EQ(objects.Text, "Objets");
  ASSERT_EQ(objects.Children.size(), 2u);
  EXPECT_EQ(objects.Children[0].Object, a);
  ASSERT_EQ(objects.Children[0].Children.size(), 1u);
  EXPECT_EQ(objects.Children[0].Children[0].Object, c);
  EXPECT_EQ(objects.Children[0].Children[0].Children[0].Text, "Sphere1");
  EXPECT_EQ(objects.Children[1].Object, d);
  EXPECT_EQ(lights.Text, "Lumières");
  ASSERT_EQ(lights.Children.size(), 1u);
  EXPECT_EQ(lights.Children[0].Text, "Lumière1");
  // A damaged document's parent cycle still lists both solids, once each.
  Scene.LinkParent(a, b);
  const TBrowserNode damaged = BuildBrowserTree(Scene);
  size_t count = 0;
  std::function<void(const TBrowserNode&)> walk = [&](const TBrowserNode& n) {
    count += n.Kind == TNodeKind::Object;
    for (const auto& k : n.Children) walk(k);
  };
  walk(damaged);
  EXPECT_EQ(count, 5u);
}

TEST_F(ModellerTest, DropsAndAssociation) {
  const int a = Modeller.Insert(TInsertCommand::Cube);
  const int b = Modeller.Insert(TInsertCommand::Sphere);
  const int c = Modeller.Insert(TInsertCommand::Tore);
  // Onto a light, or a light dragged: refused without a word.
  EXPECT_FALSE(Modeller.CanDrop(b, 0, false));
  EXPECT_FALSE(Modeller.CanDrop(0, a, false));
  EXPECT_FALSE(Modeller.Drop(b, 0, false));
  ASSERT_TRUE(Modeller.Drop(b, a, false));
  EXPECT_EQ(Scene.ParentOf(b), a);
  EXPECT_EQ(Scene.CurrentObject(), b);
  // Onto its own child: the association fails with its message and nothing changes.
  Prompt.ClearShown();
  EXPECT_FALSE(Modeller.Drop(a, b, false));
  EXPECT_EQ(Prompt.Texts(), (std::vector<std::string>{kMsgAssociationFailed}));
  EXPECT_EQ(Scene.ParentOf(a), -1);
  ASSERT_TRUE(Modeller.Drop(b, -1, true));  // onto "Objets"
  EXPECT_EQ(Scene.ParentOf(b), -1);

  // "Associer" needs two selected objects.
  Modeller.SelectFromBrowser(a);
  const std::string before = WriteSceneText(Scene);
  EXPECT_FALSE(Modeller.Associate());
  EXPECT_EQ(Prompt.Texts().back(), kMsgAssociateTwo);
  EXPECT_EQ(WriteSceneText(Scene), before);
  Scene.AddToSelection(c);
  Scene.AddToSelection(b);
  Scene.SolidAt(b)->PivotStyle = 0;
  ASSERT_TRUE(Modeller.Associate());
  EXPECT_EQ(Scene.ParentOf(b), a);
  EXPECT_EQ(Scene.ParentOf(c), a);
  EXPECT_EQ(Scene.SolidAt(b)->PivotStyle, 0);  // only the parent is set
  ASSERT_TRUE(Modeller.Dissociate(a));
  EXPECT_EQ(Scene.ParentOf(b), -1);
  EXPECT_EQ(Scene.ParentOf(c), -1);
}

TEST(RecentFiles, MostRecentFirstAndAKnownPathMovesUp) {
  test::TTempFolder folder("recent");
  TScriptedPrompt prompt;
  TSettingsStore store(folder.File("s.ini"), FailuresShownBy(prompt));
  for (const char* p : {"/e", "/d", "/c", "/b", "/a"}) AddRecent(store, p);
  EXPECT_EQ(ReadRecentFiles(store), (std::array<std::string, 5>{"/a", "/b", "/c", "/d", "/e"}));
  AddRecent(store, "/c");  // position 3 moves to 1; 1 and 2 move down; 4 and 5 stay
  EXPECT_EQ(ReadRecentFiles(store), (std::array<std::string, 5>{"/c", "/a", "/b", "/d", "/e"}));
  AddRecent(store, "/c");
  AddRecent(store, "/f");  // a new path drops the fifth
  EXPECT_EQ(ReadRecentFiles(store), (std::array<std::string, 5>{"/f", "/c", "/a", "/b", "/d"}));
  EXPECT_EQ(RecentCaption(2, "/c"), "&2 - /c");
  EXPECT_TRUE(prompt.Shown().empty());
}

TEST(Preferences, DefaultsRoundTripAndValuesTheProgramCouldNotHaveWritten) {
  test::TTempFolder folder("prefs");
  TScriptedPrompt prompt;
  TSettingsStore store(folder.File("s.ini"), FailuresShownBy(prompt));
  TWindowPreferences p = ReadPreferences(store);
  EXPECT_TRUE(p.ShowToolBar && p.ShowProperties && p.ShowExplorer && p.ShowGrid && p.ShowAxes && p.ShowToolbox);
  EXPECT_FALSE(p.ToolboxFixed);
  EXPECT_FALSE(p.Wireframe);
  EXPECT_EQ(p.ShadeMode, 0);
  EXPECT_FALSE(p.ToolboxLeft);
  p.ShowExplorer = false;
  p.ShowGrid = false;
  p.ToolboxFixed = true;
  p.ShadeMode = 1;
  p.Wireframe = true;
  p.ToolboxLeft = 40;
  p.ToolboxTop = -8;
  WritePreferences(store, p);
  const TWindowPreferences q = ReadPreferences(store);
  EXPECT_FALSE(q.ShowExplorer);
  EXPECT_FALSE(q.ShowGrid);
  EXPECT_TRUE(q.ShowAxes);
  EXPECT_TRUE(q.ToolboxFixed);
  EXPECT_EQ(q.ShadeMode, 1);
  EXPECT_TRUE(q.Wireframe);
  EXPECT_EQ(q.ToolboxLeft, 40);
  EXPECT_EQ(q.ToolboxTop, -8);
  store.WriteString(kOptionsKey, "FillMode", "3");
  store.WriteString(kOptionsKey, "ShadeMode", "7");
  store.WriteString(kOptionsKey, "ToolboxLeft", "12abc");
  store.WriteString(kOptionsKey, "ToolboxTop", "99999999999999");
  const TWindowPreferences r = ReadPreferences(store);
  EXPECT_FALSE(r.Wireframe);
  EXPECT_EQ(r.ShadeMode, 0);
  EXPECT_FALSE(r.ToolboxLeft);
  EXPECT_FALSE(r.ToolboxTop);
}

TEST_F(ModellerTest, OpenSaveRecentAndTheirQuestions) {
  const std::string three = SavedDocument("three.ixr", 3);
  Files.Open.push_back(three);
  ASSERT_TRUE(Modeller.Open());
  // A scene never saved lets the dialog start where it was left; then the document's folder.
  ASSERT_EQ(Files.StartedIn.size(), 1u);
  EXPECT_EQ(Files.StartedIn[0], "");
  Modeller.SaveAs();                // cancelled
  Modeller.ExportModelFile(false);  // cancelled
  EXPECT_EQ(Files.StartedIn, (std::vector<std::string>{"", Folder.Path().string(), Folder.Path().string()}));
  EXPECT_EQ(Scene.ObjectCount(), 4);
  EXPECT_EQ(Modeller.Caption(), "IXORAL - " + three);
  EXPECT_EQ(Modeller.RecentFiles()[0], three);

  // Nothing changed since it was opened, or changed and undone back: no save question.
  Prompt.ClearShown();
  EXPECT_TRUE(Modeller.ConfirmClose());
  Modeller.Insert(TInsertCommand::Cube);
  ASSERT_TRUE(Modeller.Undo());
  EXPECT_TRUE(Modeller.ConfirmClose());
  EXPECT_TRUE(Prompt.Shown().empty());
  // Changed: cancelling the save question of "Nouveau" keeps the scene and the caption.
  ASSERT_TRUE(Modeller.Redo());
  Prompt.QueueAnswer(TAnswer::Cancel);
  EXPECT_FALSE(Modeller.New());
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgSaveChanges});
  EXPECT_EQ(Scene.ObjectCount(), 5);
  EXPECT_EQ(Modeller.Caption(), "IXORAL - " + three);
  ASSERT_TRUE(Modeller.Undo());

  // A document that cannot be read: its message, and the scene as it was, unquestioned.
  const std::string broken = Folder.File("broken.ixr");
  std::ofstream(broken) << "not a document";
  Prompt.ClearShown();
  EXPECT_FALSE(Modeller.OpenPath(broken));
  EXPECT_EQ(Scene.ObjectCount(), 4);
  ASSERT_EQ(Prompt.Shown().size(), 1u) << "the reader's message, once";
  EXPECT_EQ(Prompt.Shown()[0].Kind, TScriptedPrompt::TShown::Error);
  // The message word for word, then the file it concerns and why, on a line of their own.
  EXPECT_EQ(Prompt.Shown()[0].Text,
            std::string(kArcCorrupt) + "\n" + broken + " : fichier de 14 octets, trop court pour une archive");
  Prompt.ClearShown();
  EXPECT_FALSE(Modeller.OpenPath(Folder.Path().string()));  // a folder
  EXPECT_EQ(Scene.ObjectCount(), 4);
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgFileAccess + Folder.Path().string() + "\nC'est un dossier"});

  // A recent file that no longer exists is refused without a word.
  const std::string gone = SavedDocument("gone.ixr", 1);
  AddRecent(Settings, gone);
  fs::remove(gone);
  Prompt.ClearShown();
  EXPECT_FALSE(Modeller.OpenRecent(1));
  EXPECT_TRUE(Prompt.Shown().empty());

  // Save writes to the document's own file; "Yes" to the save question with the file dialog
  // cancelled keeps the window open.
  Modeller.Insert(TInsertCommand::Tore);
  ASSERT_TRUE(Modeller.Save());
  TScene reread;
  ASSERT_TRUE(LoadDocument(reread, three));
  EXPECT_EQ(reread.ObjectCount(), 5);
  Modeller.Insert(TInsertCommand::Cube);  // changed again since the save
  Scene.FileName.clear();
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_FALSE(Modeller.ConfirmClose());
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_TRUE(Modeller.ConfirmClose());

  // Long saves and loads report as they go, up to 100 %.
  std::vector<int> percents;
  Modeller.OnProgress = [&](const std::string&, int percent) { percents.push_back(percent); };
  Scene.FileName = three;
  ASSERT_TRUE(Modeller.Save());
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(*std::max_element(percents.begin(), percents.end()), 100);
  percents.clear();
  ASSERT_TRUE(Modeller.OpenPath(three));
  ASSERT_FALSE(percents.empty());
  Modeller.OnProgress = nullptr;
  Scene.FileName.clear();

  // Save as, into a folder that does not exist: its message once, nothing else changes.
  Files.Save.push_back({Folder.File("missing/x.ixr"), TSaveType::Document});
  Prompt.ClearShown();
  EXPECT_FALSE(Modeller.SaveAs());
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgFileAccess + Folder.File("missing/x.ixr") +
                                                     "\nAucun fichier ou dossier de ce type"});
  EXPECT_TRUE(Scene.FileName.empty());
  // Save as a POV-Ray scene.
  Files.Save.push_back({Folder.File("x.pov"), TSaveType::PovRay});
  EXPECT_TRUE(Modeller.SaveAs());
  EXPECT_TRUE(fs::exists(Folder.File("x.pov")));
}

TEST_F(ModellerTest, WritingOverAFileAsksFirst) {
  Modeller.Insert(TInsertCommand::Cube);
  const std::string doc = Folder.File("mine.ixr"), pov = Folder.File("mine.pov"), stl = Folder.File("mine.stl");
  for (const std::string& path : {doc, pov, stl}) std::ofstream(path) << "mine";
  const auto untouched = [](const std::string& path) { return fs::file_size(path) == 4; };

  // A document: "No" keeps the file and cancels quietly; "Yes" replaces it.
  Files.Save.push_back({doc, TSaveType::Document});
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_FALSE(Modeller.SaveAs());
  EXPECT_EQ(Prompt.Texts(), (std::vector<std::string>{kMsgOverwrite + doc}));
  EXPECT_TRUE(untouched(doc));
  // Where the file dialog already asked, nobody asks again.
  Files.Save.push_back({pov, TSaveType::PovRay, true});
  Prompt.ClearShown();
  EXPECT_TRUE(Modeller.SaveAs());
  EXPECT_TRUE(Prompt.Texts().empty());
  std::ofstream(pov, std::ios::trunc) << "mine";
  EXPECT_TRUE(Scene.FileName.empty());
  Files.Save.push_back({doc, TSaveType::Document});
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_TRUE(Modeller.SaveAs());
  EXPECT_EQ(Scene.FileName, doc);
  // Its own file again: no question.
  Prompt.ClearShown();
  EXPECT_TRUE(Modeller.Save());
  EXPECT_TRUE(Prompt.Shown().empty());

  // A POV-Ray scene and a model: "No" keeps the file without another word.
  Files.Save.push_back({pov, TSaveType::PovRay});
  Files.Export.push_back(stl);
  Prompt.QueueAnswer(TAnswer::No);
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_FALSE(Modeller.SaveAs());
  EXPECT_FALSE(Modeller.ExportModelFile(false));
  EXPECT_EQ(Prompt.Texts(), (std::vector<std::string>{kMsgOverwrite + pov, kMsgOverwrite + stl}));
  EXPECT_TRUE(untouched(pov) && untouched(stl));
  Files.Save.push_back({pov, TSaveType::PovRay});
  Files.Export.push_back(stl);
  Prompt.QueueAnswer(TAnswer::Yes);
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_TRUE(Modeller.SaveAs());
  EXPECT_TRUE(Modeller.ExportModelFile(false));
  EXPECT_FALSE(untouched(pov) || untouched(stl));

  // An OBJ whose material file alone is there: that file is asked about, and "No" writes nothing.
  const std::string obj = Folder.File("mine.obj"), mtl = Folder.File("mine.mtl");
  std::ofstream(mtl) << "mine";
  Files.Export.push_back(obj);
  Prompt.ClearShown();
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_FALSE(Modeller.ExportModelFile(false));
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgOverwrite + mtl});
  EXPECT_TRUE(untouched(mtl));
  EXPECT_FALSE(fs::exists(obj));
  Files.Export.push_back(obj);
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_TRUE(Modeller.ExportModelFile(false));
  EXPECT_FALSE(untouched(mtl));
  EXPECT_TRUE(fs::exists(obj));
}

TEST_F(ModellerTest, OpeningTheThirdRecentFileMovesItFirst) {
  const std::string a = SavedDocument("a.ixr", 1), b = SavedDocument("b.ixr", 2), c = SavedDocument("c.ixr", 0);
  for (const auto& p : {c, b, a}) AddRecent(Settings, p);
  ASSERT_TRUE(Modeller.OpenRecent(3));
  EXPECT_EQ(Scene.ObjectCount(), 1);
  EXPECT_EQ(Modeller.RecentFiles()[0], c);
  EXPECT_EQ(Modeller.RecentFiles()[1], a);
  EXPECT_EQ(Modeller.RecentFiles()[2], b);
}

TEST_F(ModellerTest, ACorruptDocumentLeavesTheSceneItsHistoryAndItsFileNameAsTheyWere) {
  const std::string three = SavedDocument("three.ixr", 3);
  ASSERT_TRUE(Modeller.OpenPath(three));
  Modeller.Insert(TInsertCommand::Sphere);
  const std::string text = WriteSceneText(Scene);
  const TObjectId sphere = Scene.IdAt(Scene.ObjectCount() - 1);
  const size_t steps = Modeller.History().UndoCount();

  // A document cut short, and one whose archive is whole but whose third object is damaged (the
  // first two read well before the reader stops).
  const std::string cut = Folder.File("cut.ixr");
  {
    std::ifstream in(three, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  }
  TScene damaged;
  test::FillWithCubes(damaged, 3);
  std::string damagedText = WriteSceneText(damaged);
  damagedText.replace(damagedText.rfind("SolidObject;"), 12, "SolideObjet;");
  const std::string bad = Folder.File("bad.ixr");
  {
    fs::create_directories(Folder.File("text"));
    const std::string sceneText = Folder.File("text/scene.txt");
    std::ofstream(sceneText, std::ios::binary) << damagedText;
    TZLBArchive archive;
    archive.CreateArchive(bad);
    ASSERT_TRUE(archive.AddFile(sceneText));
    archive.CloseArchive();
  }
  for (const std::string& path : {cut, bad}) {
    SCOPED_TRACE(path);
    Prompt.ClearShown();
    EXPECT_FALSE(Modeller.OpenPath(path));
    ASSERT_EQ(Prompt.Shown().size(), 1u) << "the reader's message alone, no save question";
    EXPECT_EQ(Prompt.Shown()[0].Kind, TScriptedPrompt::TShown::Error);
    EXPECT_EQ(WriteSceneText(Scene), text);
    EXPECT_EQ(Scene.FileName, three);
    EXPECT_EQ(Scene.IdAt(Scene.ObjectCount() - 1), sphere);
    EXPECT_EQ(Modeller.History().UndoCount(), steps);
    EXPECT_TRUE(Modeller.Modified());
  }
}

TEST_F(ModellerTest, ImportAndBakingARelationAreEachOneStepThatUndoes) {
  // A cube exported to STL and imported: one step, the new solid selected.
  Modeller.Insert(TInsertCommand::Cube);
  const std::string stl = Folder.File("cube.stl");
  ASSERT_TRUE(ExportModel(Scene, stl, {}));
  Files.Import.push_back({stl});
  ASSERT_TRUE(Modeller.ImportMeshes());
  EXPECT_EQ(Names(), "Lumière1,Cube1,cube");
  EXPECT_EQ(Scene.CurrentObject(), 2);
  EXPECT_EQ(Modeller.UndoCaption(), "&Annuler Importation");
  ASSERT_TRUE(Modeller.Undo());
  EXPECT_EQ(Names(), "Lumière1,Cube1");
  ASSERT_TRUE(Modeller.Redo());

  // The imported cube less the inserted one moved half out of it, baked, then undone.
  Scene.SolidAt(1)->SetPosition({0.25, 0, 0});
  ASSERT_TRUE(Scene.SetParent(1, 2));
  ASSERT_TRUE(Scene.SetRelation(1, 2, relSoustraction));
  Scene.SelectObject(2);
  ASSERT_TRUE(Modeller.ApplyRelationOfSelection());
  EXPECT_EQ(Names(), "Lumière1,cube");
  EXPECT_TRUE(Prompt.Shown().empty());
  EXPECT_EQ(Scene.SolidAt(1)->GetTextParam(2), "");
  ASSERT_TRUE(Modeller.Undo());
  EXPECT_EQ(Names(), "Lumière1,Cube1,cube");
  EXPECT_EQ(Scene.SolidAt(1)->Relation, relSoustraction);
  EXPECT_EQ(Scene.ParentOf(1), 2);

  // A file that cannot be read: told, and no step.
  const std::string empty = Folder.File("vide.obj");
  std::ofstream(empty).flush();
  const std::string caption = Modeller.UndoCaption();
  EXPECT_FALSE(Modeller.ImportMeshPaths({empty}));
  ASSERT_EQ(Prompt.Shown().size(), 1u);
  EXPECT_NE(Prompt.Shown()[0].Text.find("vide.obj"), std::string::npos);
  EXPECT_EQ(Modeller.UndoCaption(), caption);
}
