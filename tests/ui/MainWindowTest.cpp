// The main window through its real widgets: tool box buttons, menu shortcuts, the browser, the
// scene panel's mouse drags and keys, the file commands and the preferences between runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <deque>
#include <filesystem>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "document/SceneDocument.h"
#include "scene/Shapes.h"
#include "ui/MainWindow.h"
#include "ui/SceneBrowser.h"
#include "ui/ScenePanel.h"
#include "ui/Splash.h"
#include "ui/ToolBox.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {


void Settle() {
  for (int k = 0; k < 3; ++k) QApplication::processEvents();
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)) {}
  ~MainWindowTest() override {
    // No question at close: the tests decide what was saved.
    if (Window) {
      Prompt.QueueAnswer(TAnswer::No);
      Window->close();
    }
  }
  // `systemClipboard`: the desktop's clipboard instead of one in memory.
  TfrmMain& Open(const QString& document = {}, bool systemClipboard = false) {
    Window = std::make_unique<TfrmMain>(Settings, &Prompt, &Files, systemClipboard ? nullptr : &Clipboard);
    Window->Start(document);
    Window->show();
    Window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Settle();
    Window->FlushPending();
    return *Window;
  }
  QStringList ObjectNodes() const {
    Window->FlushPending();
    QStringList names;
    QTreeWidgetItem* objects = Window->Browser()->ObjectsNode();
    for (int i = 0; i < objects->childCount(); ++i) names << objects->child(i)->text(0);
    return names;
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, QWidget* to = nullptr) {
    QTest::keyClick(to ? to : Window.get(), static_cast<Qt::Key>(key), mods);
    Settle();
  }
  void ClickToolBox(const char* keyword) {
    auto* b = Window->ToolBox()->findChild<QToolButton*>(QStringLiteral("ToolBox_%1").arg(keyword));
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton);
    Settle();
  }
  void ClickToolBar(const char* action) {
    auto* bar = Window->findChild<QToolBar*>(QStringLiteral("ToolBar"));
    QWidget* b = bar->widgetForAction(Window->Action(QString::fromLatin1(action)));
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton);
    Settle();
  }
  void ClickNode(const QString& name) {
    TSceneBrowser* browser = Window->Browser();
    QTreeWidgetItem* item = name.isEmpty() ? browser->SceneNode() : browser->FindNode(FromQt(name));
    ASSERT_NE(item, nullptr) << name.toStdString();
    browser->scrollToItem(item);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->visualItemRect(item).center());
    Settle();
  }
  std::string SavedDocument(const std::string& name, int cubes) {
    TScene s;
    s.NewScene(true);
    for (int k = 0; k < cubes; ++k) s.AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube");
    const std::string path = Folder.File(name);
    EXPECT_TRUE(SaveDocument(s, path, true));
    return path;
  }
  void Screenshot(QWidget* w, const char* name) {
    w->grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/%1.png").arg(name));
  }

  test::TTempFolder Folder{"ui"};
  TScriptedPrompt Prompt;
  test::TScriptedFiles Files;
  TMemoryClipboard Clipboard;
  TSettingsStore Settings;
  std::unique_ptr<TfrmMain> Window;
};

}  // namespace

TEST_F(MainWindowTest, ToolBoxInsertsAreNumberedAndNewStartsAgain) {
  TfrmMain& w = Open();
  for (int k = 0; k < 3; ++k) ClickToolBox("cube");
  EXPECT_EQ(ObjectNodes(), (QStringList{"Cube1", "Cube2", "Cube3"}));
  EXPECT_EQ(w.Browser()->currentItem()->text(0), "Cube3");  // the new object is selected
  EXPECT_EQ(w.Scene()->CurrentObject(), w.Scene()->IndexOfName("Cube3"));
  // The insert button repeats the last insert, with that shape's picture and name.
  ClickToolBox("sphere");
  auto* insert = w.findChild<QToolButton*>(QStringLiteral("btnInserer"));
  EXPECT_EQ(insert->toolTip(), "Sphère");
  QTest::mouseClick(insert, Qt::LeftButton, {}, QPoint(6, insert->height() / 2));
  Settle();
  EXPECT_EQ(ObjectNodes().last(), "Sphere2");

  Prompt.QueueAnswer(TAnswer::No);  // the save question: do not save
  Key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_TRUE(ObjectNodes().isEmpty());
  EXPECT_EQ(w.windowTitle(), "IXORAL");
  w.Scene()->AddObject(CreateCube(0xFFFFFFFF, 0.5), "Cube1");
  ClickToolBox("cube");
  EXPECT_EQ(ObjectNodes(), (QStringList{"Cube1", "Cube1i"}));
  Screenshot(&w, "main-window-inserts");
  Screenshot(w.ToolBox(), "toolbox");
}

TEST_F(MainWindowTest, AnInsertUndoneAndRedoneIsListedOnceAndSelected) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  ClickToolBox("tore");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(ObjectNodes(), QStringList{"Cube1"});
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(ObjectNodes(), (QStringList{"Cube1", "Tore1"}));
  ASSERT_NE(w.Browser()->currentItem(), nullptr);
  EXPECT_EQ(w.Browser()->currentItem()->text(0), "Tore1");
  Key(Qt::Key_Z, Qt::ControlModifier);
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(ObjectNodes(), (QStringList{"Cube1", "Tore1"}));
}

TEST_F(MainWindowTest, EveryMenuItemWithItsCaptionAndShortcut) {
  TfrmMain& w = Open();
  struct TItem {
    const char* Name;
    const char* Caption;
    QKeySequence Shortcut;
  };
  const TItem items[] = {
      {"actNouveau", "&Nouveau", QKeySequence("Ctrl+N")},
      {"actOuvrir", "&Ouvrir", QKeySequence("Ctrl+O")},
      {"actEnregistrer", "&Enregistrer", QKeySequence("Ctrl+S")},
      {"actEnregistrerSous", "En&registrer sous", {}},
      {"actImprimer", "&Imprimer", QKeySequence("Ctrl+P")},
      {"actQuitter", "&Quitter", {}},
      {"actCouper", "&Couper", QKeySequence("Ctrl+X")},
      {"actCopier", "C&opier", QKeySequence("Ctrl+C")},
      {"actColler", "Co&ller", QKeySequence("Ctrl+V")},
      {"actSupprimer", "S&upprimer l'objet", QKeySequence("Shift+Del")},
      {"actCloner", "Clo&ner l'objet", QKeySequence("Ctrl+L")},
      {"actRenommer", "&Renommer l'objet", QKeySequence("Ctrl+R")},
      {"actParametresVues", "&Paramètres des vues", QKeySequence("Ctrl+U")},
      {"actSolide", "&Solide", {}},
      {"actFilaire", "&Filaire", {}},
      {"actFlat", "Flat", {}},
      {"actGouraud", "Gouraud", {}},
      {"actPhong", "Phong", {}},
      {"actSelectionAgent", "&Sélectionner l'agent", {}},
      {"actOptions", "&Options", {}},
      {"actRedessiner", "&Redessiner toutes les vues", {}},
      {"actGrille", "&Grille", QKeySequence("Ctrl+G")},
      {"actExplorateur", "&Explorateur de scène", QKeySequence("Ctrl+E")},
      {"actBarreOutils", "&Barre d'outils", QKeySequence("Ctrl+B")},
      {"actProprietes", "&Propriétés", QKeySequence("Ctrl+I")},
      {"actAxes", "&Axes", QKeySequence("Ctrl+A")},
      {"actToolBox", "&ToolBox", QKeySequence("Ctrl+T")},
      {"actTexture", "&Appliquer une texture sur un objet", {}},
      {"actBruit", "A&ppliquer du bruit", {}},
      {"actTorsion", "App&liquer une torsion", {}},
      {"actModePoint", "Mo&dification en mode Point", {}},
      {"actEnveloppe", "&Modification de l'enveloppe", {}},
      {"actEditeurCourbe", "E&diteur de courbe parametrique", {}},
      {"actEditeurTexte", "&Editeur de texte", {}},
      {"actAjouterLumiere", "&Ajouter une lumiere", {}},
      {"actAide", "&Rubriques d'aides", QKeySequence("F1")},
      {"actPresentation", "&Présentation", {}},
      {"actConseils", "&Conseils", QKeySequence("Ctrl+F1")},
      {"actAPropos", "&A propos d'Ixoral", {}},
      {"actOpDeplacerX", "Déplacer sur X", {}},
      {"actOpRedimZ", "Redimensionner sur Z", {}},
      {"actPositionInitiale", "Position initiale", {}},
      {"actAssocier", "Associer", {}},
      {"actDissocier", "Dissocier", {}},
  };
  for (const auto& item : items) {
    QAction* a = w.Action(QString::fromLatin1(item.Name));
    ASSERT_NE(a, nullptr) << item.Name;
    EXPECT_EQ(a->text(), QString::fromUtf8(item.Caption)) << item.Name;
    EXPECT_EQ(a->shortcut(), item.Shortcut) << item.Name;
  }
  QStringList menus;
  for (QAction* m : w.menuBar()->actions()) menus << m->text();
  EXPECT_EQ(menus, (QStringList{"&Fichier", "&Edition", "&Affichage", "&Outils", "Operations", "?"}));
  QStringList inserts;
  for (QAction* a : w.findChild<QMenu*>(QStringLiteral("mnuInserer"))->actions()) inserts << a->text();
  EXPECT_EQ(inserts, (QStringList{"&Cube", "C&ube percé", "&Sphère", "C&ylindre", "C&ône", "&Pyramide", "&Tore",
                                  "&Paramétrique", "&Cercle", "&Paroi verticale", "P&aroi horizontale",
                                  "&Texte 3D"}));
  // The edit menu's items need a current object; paste needs an object record.
  QMenu* edit = w.findChild<QMenu*>(QStringLiteral("mnuEdition"));
  emit edit->aboutToShow();
  EXPECT_FALSE(w.Action("actCouper")->isEnabled());
  EXPECT_FALSE(w.Action("actColler")->isEnabled());
  ClickToolBox("cube");
  Key(Qt::Key_C, Qt::ControlModifier);
  emit edit->aboutToShow();
  EXPECT_TRUE(w.Action("actCouper")->isEnabled());
  EXPECT_TRUE(w.Action("actColler")->isEnabled());
}

TEST_F(MainWindowTest, AssociateWithOneObjectShowsItsMessageAndChangesNothing) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  const std::string before = WriteSceneText(*w.Scene());
  Prompt.ClearShown();
  w.Action("actAssocier")->trigger();
  EXPECT_EQ(Prompt.Texts(), (std::vector<std::string>{kMsgAssociateTwo}));
  EXPECT_EQ(WriteSceneText(*w.Scene()), before);
}

TEST_F(MainWindowTest, DeletingASolidWithChildrenAsksAndRemovesTheGroup) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  ClickToolBox("sphere");
  ClickToolBox("tore");
  ASSERT_TRUE(w.Scene()->SetParent(w.Scene()->IndexOfName("Sphere1"), w.Scene()->IndexOfName("Cube1")));
  w.FlushPending();
  ClickNode("Cube1");
  Prompt.ClearShown();
  Prompt.QueueAnswer(TAnswer::Yes);
  Key(Qt::Key_Delete, Qt::NoModifier, w.Browser());
  EXPECT_EQ(Prompt.Texts(),
            (std::vector<std::string>{"Voulez-vous réelement supprimer Cube1 et tous ses objets associés ?"}));
  EXPECT_EQ(ObjectNodes(), (QStringList{"Tore1"}));
  EXPECT_EQ(w.Scene()->ObjectCount(), 2);
}

TEST_F(MainWindowTest, DragInTheFaceViewMovesTheCubeAndEscapeRestoresIt) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  const int cube = w.Scene()->CurrentObject();
  ClickToolBar("actBtnTranslation");
  EXPECT_EQ(w.Interaction()->Operation(), opMove);
  TScenePanel* panel = w.Panel();
  const QPoint start(panel->width() / 4, panel->height() / 4);  // inside "Face"
  QTest::mouseMove(panel, start);
  QTest::mousePress(panel, Qt::LeftButton, {}, start);
  for (int dx = 20; dx <= 200; dx += 20) QTest::mouseMove(panel, start + QPoint(dx, 0));
  const Vec3d moved = w.Scene()->ObjectAt(cube)->Position;
  EXPECT_NEAR(moved.x, 1, 1e-6);
  EXPECT_NEAR(moved.y, 0, 1e-6);
  EXPECT_NEAR(moved.z, 0, 1e-6);
  Settle();
  Screenshot(&w, "main-window-drag");
  QTest::keyClick(panel, Qt::Key_Escape);
  EXPECT_NEAR(w.Scene()->ObjectAt(cube)->Position.x, 0, 1e-9);
  QTest::mouseRelease(panel, Qt::LeftButton, {}, start + QPoint(200, 0));
  EXPECT_FALSE(w.Interaction()->Dragging());
  EXPECT_EQ(w.Interaction()->ActiveView(), 1);  // the release took the view under the pointer
  EXPECT_EQ(panel->cursor().shape(), Qt::BitmapCursor);  // the move cursor
}

TEST_F(MainWindowTest, ClickingInAViewSelectsAndClickingNothingClears) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  ClickToolBox("sphere");
  w.Scene()->ObjectAt(w.Scene()->IndexOfName("Sphere1"))->SetPosition({3, 0, 0});
  ClickToolBar("actBtnSelection");
  EXPECT_FALSE(w.Scene()->HasSelection());  // the select button also clears the selection
  TScenePanel* panel = w.Panel();
  // The middle of "Face" shows the cube at the origin.
  const QPoint centre(panel->width() / 4, panel->height() / 4);
  QTest::mouseMove(panel, centre);
  QTest::mouseClick(panel, Qt::LeftButton, {}, centre);
  Settle();
  w.FlushPending();
  EXPECT_EQ(w.Scene()->CurrentObject(), w.Scene()->IndexOfName("Cube1"));
  EXPECT_EQ(w.Browser()->currentItem()->text(0), "Cube1");
  QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(3, 3));
  Settle();
  w.FlushPending();
  EXPECT_FALSE(w.Scene()->HasSelection());
  EXPECT_EQ(w.Browser()->currentItem(), w.Browser()->SceneNode());
}

TEST_F(MainWindowTest, DroppingANodeOntoAnotherSolidMakesItAChild) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  ClickToolBox("sphere");
  ClickNode("Sphere1");
  TSceneBrowser* browser = w.Browser();
  // The end of a drag: what the tree's drop event hands over (a real drag runs a modal loop of
  // the window system).
  auto drop = [&](QTreeWidgetItem* target) {
    browser->DropCurrentOnto(target);
    Settle();
    w.FlushPending();
  };
  // Onto a light: refused.
  drop(browser->FindNode("Lumière1"));
  EXPECT_EQ(w.Scene()->ParentOf(w.Scene()->IndexOfName("Sphere1")), -1);
  drop(browser->FindNode("Cube1"));
  EXPECT_EQ(w.Scene()->ParentOf(w.Scene()->IndexOfName("Sphere1")), w.Scene()->IndexOfName("Cube1"));
  EXPECT_EQ(ObjectNodes(), (QStringList{"Cube1"}));
  QTreeWidgetItem* child = browser->FindNode("Sphere1");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->parent()->text(0), "Cube1");
  // The parent dropped onto its own child: the association fails with its message.
  ClickNode("Cube1");
  Prompt.ClearShown();
  drop(browser->FindNode("Sphere1"));
  EXPECT_EQ(Prompt.Texts(), (std::vector<std::string>{kMsgAssociationFailed}));
  // Back onto "Objets".
  ClickNode("Sphere1");
  drop(browser->ObjectsNode());
  EXPECT_EQ(ObjectNodes(), (QStringList{"Cube1", "Sphere1"}));
}

TEST_F(MainWindowTest, CutThenPasteThroughTheSystemClipboard) {
  TfrmMain& w = Open({}, true);
  ClickToolBox("cube");
  ClickToolBox("sphere");
  ASSERT_TRUE(w.Scene()->SetParent(w.Scene()->IndexOfName("Sphere1"), w.Scene()->IndexOfName("Cube1")));
  w.FlushPending();
  ClickNode("Sphere1");
  Key(Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(w.Scene()->IndexOfName("Sphere1"), -1);
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith("SolidObject;"));
  Key(Qt::Key_V, Qt::ControlModifier);
  const int pasted = w.Scene()->IndexOfName("Sphere1");
  ASSERT_GE(pasted, 0);
  EXPECT_EQ(w.Scene()->ParentOf(pasted), -1);
  EXPECT_EQ(ObjectNodes(), (QStringList{"Cube1", "Sphere1"}));
}

TEST_F(MainWindowTest, RenamingANodeInPlaceFollowsTheRules) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  ClickToolBox("sphere");
  QTreeWidgetItem* node = w.Browser()->FindNode("Sphere1");
  node->setText(0, "Cube1");  // what the in-place editor writes back
  Settle();
  EXPECT_EQ(Prompt.Texts().back(), kMsgNameRefused);
  EXPECT_EQ(node->text(0), "Sphere1");
  node->setText(0, "Boule");
  Settle();
  EXPECT_EQ(w.Scene()->ObjectAt(w.Scene()->IndexOfName("Boule"))->Name(), "Boule");
}

TEST_F(MainWindowTest, RecentFilesOpenTheDocumentAndMoveItFirst) {
  const std::string a = SavedDocument("a.ixr", 1), b = SavedDocument("b.ixr", 2), c = SavedDocument("c.ixr", 3);
  for (const auto& p : {c, b, a}) AddRecent(Settings, p);
  TfrmMain& w = Open();
  EXPECT_EQ(w.Action("actRecent3")->text(), QString::fromStdString("&3 - " + c));
  EXPECT_TRUE(w.Action("actRecent3")->isVisible());
  EXPECT_FALSE(w.Action("actRecent4")->isVisible());
  w.Action("actRecent3")->trigger();
  Settle();
  EXPECT_EQ(w.Scene()->ObjectCount(), 4);
  EXPECT_EQ(w.windowTitle(), QString::fromStdString("IXORAL - " + c));
  EXPECT_EQ(w.Action("actRecent1")->text(), QString::fromStdString("&1 - " + c));
  EXPECT_EQ(w.Action("actRecent2")->text(), QString::fromStdString("&2 - " + a));
  // Cancelling the save question of "Nouveau" keeps the scene and the caption.
  Prompt.QueueAnswer(TAnswer::Cancel);
  Key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(w.Scene()->ObjectCount(), 4);
  EXPECT_EQ(w.windowTitle(), QString::fromStdString("IXORAL - " + c));
}

TEST_F(MainWindowTest, ADocumentGivenAtStartIsOpenAndBadOnesAreIgnored) {
  const std::string doc = SavedDocument("start.ixr", 2);
  {
    TfrmMain& w = Open(QString::fromStdString(doc));
    EXPECT_EQ(w.Scene()->ObjectCount(), 3);
    EXPECT_EQ(ObjectNodes().size(), 2);
    Screenshot(&w, "main-window-document");
  }
  Prompt.QueueAnswer(TAnswer::No);
  Window->close();
  Window.reset();
  // A folder, or a file that is not there: the program starts with a new scene.
  TfrmMain& w = Open(QString::fromStdString(Folder.Path().string()));
  EXPECT_EQ(w.Scene()->ObjectCount(), 1);
}

TEST_F(MainWindowTest, PreferencesWrittenOnCloseAreAppliedOnTheNextShow) {
  {
    TfrmMain& w = Open();
    Key(Qt::Key_G, Qt::ControlModifier);  // grid off
    Key(Qt::Key_E, Qt::ControlModifier);  // browser hidden
    w.Action("actFilaire")->trigger();
    w.Action("actFlat")->trigger();
    EXPECT_FALSE(w.Action("actGrille")->isChecked());
    w.close();  // a scene of one light: no question
    Window.reset();
  }
  EXPECT_EQ(Settings.ReadString("\\options", "ShowGrille"), "0");
  EXPECT_EQ(Settings.ReadString("\\options", "FillMode"), "2");
  TfrmMain& w = Open();
  EXPECT_FALSE(w.Action("actGrille")->isChecked());
  EXPECT_FALSE(w.Renderer()->ShowGrid);
  EXPECT_FALSE(w.Action("actExplorateur")->isChecked());
  EXPECT_FALSE(w.Browser()->isVisible());
  EXPECT_TRUE(w.Action("actFilaire")->isChecked());
  EXPECT_TRUE(w.Action("actFlat")->isChecked());
  EXPECT_EQ(w.Renderer()->FillMode(), static_cast<DWORD>(D3DFILL_WIREFRAME));
}

TEST_F(MainWindowTest, ClosingWithUnsavedObjectsAsksAndCanBeCancelled) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  Prompt.QueueAnswer(TAnswer::Cancel);
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  // Yes, then the save dialog cancelled: the window stays, nothing is lost.
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_FALSE(w.close());
  Files.Save.push_back({Folder.File("saved.ixr"), TSaveType::Document});
  Prompt.QueueAnswer(TAnswer::Yes);
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(fs::exists(Folder.File("saved.ixr")));
  Window.reset();
}

TEST(Splash, ShapedWithFourRoundHoles) {
  const QRegion r = SplashRegion(kSplashWidth, kSplashHeight);
  EXPECT_TRUE(r.contains(QPoint(223, 175)));
  for (const QPoint hole : {QPoint(417, 30), QPoint(30, 30), QPoint(417, 321), QPoint(30, 321)})
    EXPECT_FALSE(r.contains(hole)) << hole.x() << "," << hole.y();
  EXPECT_TRUE(r.contains(QPoint(50, 30)));    // beside a hole
  EXPECT_FALSE(r.contains(QPoint(2, 2)));     // the rounded corner
  EXPECT_FALSE(r.contains(QPoint(444, 348)));
  TLogoOn splash;
  splash.grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/splash.png"));
}
