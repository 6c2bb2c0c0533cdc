// The main window through its real widgets: tool box buttons, menu shortcuts, the browser, the
// scene panel's mouse drags and keys, the file commands and the preferences between runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QStatusBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <deque>
#include <filesystem>
#include <fstream>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "WindowTestUtil.h"
#include "document/ModelExport.h"
#include "document/SceneDocument.h"
#include "scene/MeshStore.h"
#include "scene/Shapes.h"
#include "ui/MainWindow.h"
#include "ui/Properties.h"
#include "ui/SceneBrowser.h"
#include "ui/ScenePanel.h"
#include "ui/QtPlatform.h"
#include "ui/Splash.h"
#include "ui/ToolBox.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

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
  void ClickToolBar(TCommandId action) {
    auto* bar = Window->findChild<QToolBar*>(QStringLiteral("ToolBar"));
    QWidget* b = bar->widgetForAction(Window->Action(action));
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

// A document opened at start is drawn once, at the size the window is shown at; requests made
// before a drawing are answered by it, and requests in one turn of the event loop draw once.
TEST_F(MainWindowTest, TheViewsAreDrawnOnceAtStartAndOncePerTurnOfRequests) {
  Window = std::make_unique<TfrmMain>(Settings, &Prompt, &Files, &Clipboard);
  Window->Start(QString::fromStdString(std::string(IXORAL_TEST_DATA_DIR) + "/../../data/samples/reference.ixr"));
  TScenePanel* panel = Window->Panel();
  EXPECT_EQ(panel->Drawings(), 0) << "nothing drawn before the window has its size";
  Window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
  Settle();
  EXPECT_EQ(panel->Drawings(), 1);
  panel->RequestRedraw();
  panel->RequestRedraw();
  Window->FlushPending();
  Settle();
  EXPECT_EQ(panel->Drawings(), 2) << "the flush answered both requests";
  panel->RequestRedraw();
  panel->RequestRedraw();
  Settle();
  EXPECT_EQ(panel->Drawings(), 3);
}

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

TEST_F(MainWindowTest, TheExplorerKeepsItsHeightBesideTheInspectorAsTheWindowGrows) {
  TfrmMain& w = Open();
  const QWidget* explorer = w.findChild<QWidget*>(QStringLiteral("ExplorerSection"));
  ASSERT_NE(explorer, nullptr);
  for (const QSize size : {QSize(1280, 900), QSize(900, 600), QSize(1600, 1000)}) {
    w.resize(size);
    Settle();
    EXPECT_EQ(explorer->height(), 153) << size.width() << " x " << size.height();
  }
  // Hidden and shown again, it comes back at the same height.
  w.Action(TCommandId::Explorer)->trigger();
  Settle();
  w.Action(TCommandId::Explorer)->trigger();
  Settle();
  EXPECT_EQ(explorer->height(), 153);
}

TEST_F(MainWindowTest, ADocumentDroppedOnTheWindowOpensAfterTheSaveQuestion) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  ClickToolBox("sphere");
  const std::string document = SavedDocument("pose.IXR", 3);
  const std::string text = Folder.File("notes.txt");
  std::ofstream(text) << "pas une scène";
  // Dragged over the window: only one document is taken.
  auto drag = [&](const std::vector<std::string>& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls.append(QUrl::fromLocalFile(QString::fromStdString(p)));
    data->setUrls(urls);
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QDropEvent drop(QPointF(300, 300), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted()) QApplication::sendEvent(&w, &drop);
    Settle();
    delete data;
    return enter.isAccepted();
  };
  EXPECT_FALSE(drag({text}));
  EXPECT_FALSE(drag({document, document}));
  EXPECT_FALSE(drag({Folder.File("absent.ixr")}));
  EXPECT_EQ(ObjectNodes().size(), 2);
  EXPECT_TRUE(Prompt.Shown().empty());
  // The document: the changed scene's save question first, "Non", then the document is open.
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_TRUE(drag({document}));
  ASSERT_EQ(Prompt.Shown().size(), 1u);
  EXPECT_EQ(Prompt.Shown()[0].Kind, TScriptedPrompt::TShown::YesNoCancel);
  EXPECT_EQ(ObjectNodes().size(), 3);
  EXPECT_EQ(w.Scene()->FileName, document);
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
    TCommandId Id;
    const char* Caption;
    QKeySequence Shortcut;
  };
  const TItem items[] = {
      {TCommandId::New, "&Nouveau", QKeySequence("Ctrl+N")},
      {TCommandId::Open, "&Ouvrir", QKeySequence("Ctrl+O")},
      {TCommandId::Save, "&Enregistrer", QKeySequence("Ctrl+S")},
      {TCommandId::SaveAs, "En&registrer sous", QKeySequence("Ctrl+Shift+S")},
      {TCommandId::Print, "&Imprimer", QKeySequence("Ctrl+P")},
      {TCommandId::Quit, "&Quitter", QKeySequence("Ctrl+Q")},
      {TCommandId::Cut, "&Couper", QKeySequence("Ctrl+X")},
      {TCommandId::Copy, "C&opier", QKeySequence("Ctrl+C")},
      {TCommandId::Paste, "Co&ller", QKeySequence("Ctrl+V")},
      {TCommandId::Delete, "S&upprimer l'objet", QKeySequence("Shift+Del")},
      {TCommandId::Clone, "Clo&ner l'objet", QKeySequence("Ctrl+L")},
      {TCommandId::Rename, "&Renommer l'objet", QKeySequence("Ctrl+R")},
      {TCommandId::ViewParameters, "&Paramètres des vues", QKeySequence("Ctrl+U")},
      {TCommandId::Solid, "&Solide", {}},
      {TCommandId::Wireframe, "&Filaire", {}},
      {TCommandId::Flat, "Flat", {}},
      {TCommandId::Gouraud, "Gouraud", {}},
      {TCommandId::Phong, "Phong", {}},
      {TCommandId::SelectAgent, "&Sélectionner l'agent", {}},
      {TCommandId::Options, "&Options", {}},
      {TCommandId::Redraw, "&Redessiner toutes les vues", {}},
      {TCommandId::FrameSelection, "&Cadrer la sélection", QKeySequence("F")},
      {TCommandId::FrameAll, "&Tout cadrer", QKeySequence("Home")},
      {TCommandId::Grid, "&Grille", QKeySequence("Ctrl+G")},
      {TCommandId::Explorer, "&Explorateur de scène", QKeySequence("Ctrl+E")},
      {TCommandId::ToolBar, "&Barre d'outils", QKeySequence("Ctrl+B")},
      {TCommandId::Properties, "&Propriétés", QKeySequence("Ctrl+I")},
      {TCommandId::Axes, "&Axes", QKeySequence("Ctrl+A")},
      {TCommandId::ToolBox, "&ToolBox", QKeySequence("Ctrl+T")},
      {TCommandId::Texture, "&Appliquer une texture sur un objet", {}},
      {TCommandId::Noise, "A&ppliquer du bruit", {}},
      {TCommandId::Torsion, "App&liquer une torsion", {}},
      {TCommandId::PointMode, "Mo&dification en mode Point", {}},
      {TCommandId::Envelope, "&Modification de l'enveloppe", {}},
      {TCommandId::CurveEditor, "E&diteur de courbe parametrique", {}},
      {TCommandId::TextEditor, "&Editeur de texte", {}},
      {TCommandId::AddLight, "&Ajouter une lumiere", {}},
      {TCommandId::Help, "&Rubriques d'aides", QKeySequence("F1")},
      {TCommandId::Presentation, "&Présentation", {}},
      {TCommandId::Tips, "&Conseils", QKeySequence("Ctrl+F1")},
      {TCommandId::About, "&A propos d'Ixoral", {}},
      {TCommandId::OpMoveX, "Déplacer sur X", {}},
      {TCommandId::OpResizeZ, "Redimensionner sur Z", {}},
      {TCommandId::ResetPosition, "Position initiale", {}},
      {TCommandId::Associate, "Associer", {}},
      {TCommandId::Dissociate, "Dissocier", {}},
  };
  for (const auto& item : items) {
    QAction* a = w.Action(item.Id);
    const std::string name = CommandInfo(item.Id).Name;
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->text(), QString::fromUtf8(item.Caption)) << name;
    EXPECT_EQ(a->shortcut(), item.Shortcut) << name;
  }
  QStringList menus;
  for (QAction* m : w.menuBar()->actions()) menus << m->text();
  EXPECT_EQ(menus, (QStringList{"&Fichier", "&Edition", "&Affichage", "&Outils", "Operations", "?"}));
  QStringList inserts;
  for (QAction* a : w.findChild<QMenu*>(QStringLiteral("mnuInserer"))->actions()) inserts << a->text();
  EXPECT_EQ(inserts, (QStringList{"&Cube", "C&ube percé", "&Sphère", "C&ylindre", "C&ône", "&Pyramide", "&Tore",
                                  "&Paramétrique", "&Cercle", "&Paroi verticale", "P&aroi horizontale", "&Texte 3D"}));
  // The edit menu's items need a current object; paste needs an object record.
  QMenu* edit = w.findChild<QMenu*>(QStringLiteral("mnuEdition"));
  emit edit->aboutToShow();
  EXPECT_FALSE(w.Action(TCommandId::Cut)->isEnabled());
  EXPECT_FALSE(w.Action(TCommandId::Paste)->isEnabled());
  ClickToolBox("cube");
  Key(Qt::Key_C, Qt::ControlModifier);
  emit edit->aboutToShow();
  EXPECT_TRUE(w.Action(TCommandId::Cut)->isEnabled());
  EXPECT_TRUE(w.Action(TCommandId::Paste)->isEnabled());
}

TEST_F(MainWindowTest, AssociateWithOneObjectShowsItsMessageAndChangesNothing) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  const std::string before = WriteSceneText(*w.Scene());
  Prompt.ClearShown();
  w.Action(TCommandId::Associate)->trigger();
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
  ClickToolBar(TCommandId::ModeMove);
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
  EXPECT_EQ(w.Interaction()->ActiveView(), 1);           // the release took the view under the pointer
  EXPECT_EQ(panel->cursor().shape(), Qt::BitmapCursor);  // the move cursor
}

TEST_F(MainWindowTest, AHandleDragMovesAlongItsAxisOnly) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  TScene& scene = *w.Scene();
  const int cube = scene.CurrentObject();
  // No handles in the selection mode; the move tool's arrows in every view once chosen.
  ASSERT_EQ(w.Interaction()->Operation(), opSelect);
  ClickToolBar(TCommandId::ModeMove);
  Settle();
  const std::optional<THandleSet> h = w.Renderer()->HandlesIn(0);
  ASSERT_TRUE(h.has_value());
  TScenePanel* panel = w.Panel();
  ASSERT_EQ(panel->width(), w.Renderer()->SurfaceWidth());  // panel pixels are surface pixels here
  const TSurface& t = *w.Renderer()->Display().OffscreenSurface();
  const auto [xEndX, xEndY] = h->End(0);
  EXPECT_EQ(t.Pixel(int(std::lround((h->X + xEndX) / 2)), int(std::lround(h->Y))) & 0xFFFFFF, 0xE03C3Cu);
  const auto drag = [&](double fromX, double fromY, QPoint by) {
    const QPoint from(int(std::lround(fromX)), int(std::lround(fromY)));
    QTest::mouseMove(panel, from);
    QTest::mousePress(panel, Qt::LeftButton, {}, from);
    for (int k = 1; k <= 4; ++k) QTest::mouseMove(panel, from + by * k / 4);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, from + by);
    Settle();
  };
  // X's arrow dragged up and to the right: the cube goes right only, 40 pixels of 200 a unit.
  drag(xEndX - 5, xEndY, QPoint(40, -30));
  Vec3d p = scene.ObjectAt(cube)->Position;
  EXPECT_NEAR(p.x, 0.2, 1e-6);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(p.z, 0);
  // Y's arrow, where the cube is now: up only. The tool bar's axis was never changed.
  const std::optional<THandleSet> moved = w.Renderer()->HandlesIn(0);
  ASSERT_TRUE(moved.has_value());
  EXPECT_GT(moved->X, h->X + 10);  // the handles followed the cube
  const auto [yEndX, yEndY] = moved->End(1);
  drag(yEndX, yEndY + 5, QPoint(40, -30));
  p = scene.ObjectAt(cube)->Position;
  EXPECT_NEAR(p.x, 0.2, 1e-6);
  EXPECT_NEAR(p.y, 0.15, 1e-6);
  EXPECT_EQ(p.z, 0);
  EXPECT_EQ(w.Interaction()->Axis(), axFree);
  // Pressed on the cube itself, away from the handles: a free move as before.
  const std::optional<THandleSet> now = w.Renderer()->HandlesIn(0);
  drag(now->X, now->Y, QPoint(20, -20));
  p = scene.ObjectAt(cube)->Position;
  EXPECT_NEAR(p.x, 0.3, 1e-6);
  EXPECT_NEAR(p.y, 0.25, 1e-6);
  EXPECT_TRUE(Prompt.Shown().empty());
  Screenshot(&w, "main-window-handles");
}

TEST_F(MainWindowTest, MiddleDragOrbitsAndPansAndFFramesTheSelection) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  TScene& scene = *w.Scene();
  const int cube = scene.CurrentObject();
  TScenePanel* panel = w.Panel();
  const int viewWidth = panel->width() / 2;  // four views
  // The middle button in "Perspective" (bottom right) orbits, whatever the tool: a quarter of the
  // view's width turns it a quarter turn; Escape puts it back.
  const QPoint perspective(3 * panel->width() / 4, 3 * panel->height() / 4);
  QTest::mouseMove(panel, perspective);
  QTest::mousePress(panel, Qt::MiddleButton, {}, perspective);
  for (int k = 1; k <= 4; ++k) QTest::mouseMove(panel, perspective + QPoint(k * viewWidth / 16, 0));
  EXPECT_TRUE(w.Interaction()->Navigating());
  EXPECT_NEAR(scene.Views[3].Rot.y, kPi / 2, 0.1);  // the surface is a few pixels narrower than the panel
  EXPECT_EQ(scene.ObjectAt(cube)->Position.x, 0);   // the selection stays where it is
  QTest::keyClick(panel, Qt::Key_Escape);
  EXPECT_EQ(scene.Views[3].Rot.y, 0);
  QTest::mouseRelease(panel, Qt::MiddleButton, {}, perspective);
  EXPECT_FALSE(w.Interaction()->Navigating());

  // In "Face" it pans: the scene follows the pointer at the view's aim (the origin), 40 pixels
  // being 40 / (width / 2) of the half-width.
  const QPoint face(panel->width() / 4, panel->height() / 4);
  QTest::mouseMove(panel, face);
  QTest::mousePress(panel, Qt::MiddleButton, {}, face);
  for (int k = 1; k <= 4; ++k) QTest::mouseMove(panel, face + QPoint(10 * k, 0));
  QTest::mouseRelease(panel, Qt::MiddleButton, {}, face + QPoint(40, 0));
  const Vec3d origin = ApplyMatrix(Vec3d{0, 0, 0}, scene.Views[0].ModelViewMatrix());
  EXPECT_NEAR(2 * origin.x / (origin.z - 1), 40.0 / (viewWidth / 2.0), 0.02);
  EXPECT_NE(scene.Views[1].Pos.x, 0);  // "Gauche" and "Haut" move with "Face"
  EXPECT_EQ(scene.Views[3].Pos.x, 0);

  // F frames the selection in the active view ("Face") and its companions: the cube, moved far
  // away, comes back to the middle, filling much of the view.
  scene.ObjectAt(cube)->SetPosition({6, 4, 0});
  QTest::keyClick(panel, Qt::Key_F);
  Settle();
  const Vec3d centre = ApplyMatrix(Vec3d{6, 4, 0}, scene.Views[0].ModelViewMatrix());
  EXPECT_NEAR(2 * centre.x / (centre.z - 1), 0, 1e-4);
  EXPECT_NEAR(2 * centre.y / (centre.z - 1), 0, 1e-4);
  const Vec3d corner = ApplyMatrix(Vec3d{6.25, 4.25, -0.25}, scene.Views[0].ModelViewMatrix());
  const double reach = 2 * corner.x / (corner.z - 1);
  EXPECT_GT(reach, 0.3);
  EXPECT_LT(reach, 0.95);
  // Home frames every shown object: the cube and the light.
  QTest::keyClick(panel, Qt::Key_Home);
  Settle();
  EXPECT_LT(scene.Views[0].Scale.x, 1);
  Screenshot(&w, "main-window-framed");
}

TEST_F(MainWindowTest, CtrlDragLandsOnTheGridAndTheStatusBarTellsTheMove) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  TScene& scene = *w.Scene();
  const int cube = scene.CurrentObject();
  ClickToolBar(TCommandId::ModeMove);
  TScenePanel* panel = w.Panel();
  const QPoint start(panel->width() / 4, panel->height() / 4);  // inside "Face"
  QTest::mouseMove(panel, start);
  QTest::mousePress(panel, Qt::LeftButton, {}, start);
  // Ctrl held while moving: 53 and 29 pixels (0.265 and 0.145 units) land on 0.2 and 0.2.
  const auto move = [&](QPoint to, Qt::KeyboardModifiers mods) {
    QMouseEvent e(QEvent::MouseMove, QPointF(to), panel->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton, mods);
    QApplication::sendEvent(panel, &e);
  };
  move(start + QPoint(30, -10), Qt::ControlModifier);
  move(start + QPoint(53, -29), Qt::ControlModifier);
  const Vec3d p = scene.ObjectAt(cube)->Position;
  EXPECT_NEAR(p.x, 0.2, 1e-9);
  EXPECT_NEAR(p.y, 0.2, 1e-9);
  EXPECT_EQ(p.z, 0);
  EXPECT_EQ(w.statusBar()->currentMessage(), QStringLiteral("ΔX 0,200  ΔY 0,200  ΔZ 0,000"));
  // Without Ctrl the same place is not snapped, and the status bar follows.
  move(start + QPoint(53, -29), Qt::NoModifier);
  EXPECT_NEAR(scene.ObjectAt(cube)->Position.x, 0.265, 1e-9);
  EXPECT_EQ(w.statusBar()->currentMessage(), QStringLiteral("ΔX 0,265  ΔY 0,145  ΔZ 0,000"));
  move(start + QPoint(53, -29), Qt::ControlModifier);
  QTest::mouseRelease(panel, Qt::LeftButton, {}, start + QPoint(53, -29));
  Settle();
  w.FlushPending();
  EXPECT_NEAR(scene.ObjectAt(cube)->Position.x, 0.2, 1e-9);
  EXPECT_EQ(w.statusBar()->currentMessage(), QStringLiteral("ΔX 0,200  ΔY 0,200  ΔZ 0,000"));
  // Undone, the move's values no longer describe the scene and leave the status bar.
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(scene.ObjectAt(cube)->Position.x, 0);
  EXPECT_TRUE(w.statusBar()->currentMessage().isEmpty());
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_NEAR(scene.ObjectAt(cube)->Position.x, 0.2, 1e-9);

  // A rotation snaps to 15 degrees: 40 pixels (0.4 pi, 72 degrees) give 75. Pressed above the
  // view's centre, off the handles the cube now shows there.
  ClickToolBar(TCommandId::ModeRotate);
  const QPoint off = start + QPoint(0, -30);
  QTest::mousePress(panel, Qt::LeftButton, {}, off);
  move(off + QPoint(40, 0), Qt::ControlModifier);
  EXPECT_EQ(w.statusBar()->currentMessage(), QStringLiteral("Rotation X 0,0°  Y 75,0°  Z 0,0°"));
  QTest::keyClick(panel, Qt::Key_Escape);  // back as it was, and nothing left in the status bar
  EXPECT_TRUE(w.statusBar()->currentMessage().isEmpty());
  QTest::mouseRelease(panel, Qt::LeftButton, {}, off + QPoint(40, 0));
}

TEST_F(MainWindowTest, ClickingInAViewSelectsAndClickingNothingClears) {
  TfrmMain& w = Open();
  ClickToolBox("cube");
  ClickToolBox("sphere");
  w.Scene()->ObjectAt(w.Scene()->IndexOfName("Sphere1"))->SetPosition({3, 0, 0});
  ClickToolBar(TCommandId::ModeSelect);
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
  EXPECT_EQ(w.Action(TCommandId::Recent3)->text(), QString::fromStdString("&3 - " + c));
  EXPECT_TRUE(w.Action(TCommandId::Recent3)->isVisible());
  EXPECT_FALSE(w.Action(TCommandId::Recent4)->isVisible());
  w.Action(TCommandId::Recent3)->trigger();
  Settle();
  EXPECT_EQ(w.Scene()->ObjectCount(), 4);
  EXPECT_EQ(w.windowTitle(), QString::fromStdString("IXORAL - " + c));
  EXPECT_EQ(w.Action(TCommandId::Recent1)->text(), QString::fromStdString("&1 - " + c));
  EXPECT_EQ(w.Action(TCommandId::Recent2)->text(), QString::fromStdString("&2 - " + a));
  // Once changed, cancelling the save question of "Nouveau" keeps the scene and the caption.
  ClickToolBox("cube");
  Prompt.ClearShown();
  Prompt.QueueAnswer(TAnswer::Cancel);
  Key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(Prompt.Texts(), std::vector<std::string>{kMsgSaveChanges});
  EXPECT_EQ(w.Scene()->ObjectCount(), 5);
  EXPECT_EQ(w.windowTitle(), QString::fromStdString("IXORAL - " + c));
  // Undone back to the document as opened: "Nouveau" asks nothing.
  Key(Qt::Key_Z, Qt::ControlModifier);
  Prompt.ClearShown();
  Key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_TRUE(Prompt.Texts().empty());
  EXPECT_EQ(w.Scene()->ObjectCount(), 1);
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
    w.Action(TCommandId::Wireframe)->trigger();
    w.Action(TCommandId::Flat)->trigger();
    EXPECT_FALSE(w.Action(TCommandId::Grid)->isChecked());
    w.close();  // a scene of one light: no question
    Window.reset();
  }
  EXPECT_EQ(Settings.ReadString("\\options", "ShowGrille"), "0");
  EXPECT_EQ(Settings.ReadString("\\options", "FillMode"), "2");
  TfrmMain& w = Open();
  EXPECT_FALSE(w.Action(TCommandId::Grid)->isChecked());
  EXPECT_FALSE(w.Renderer()->ShowGrid);
  EXPECT_FALSE(w.Action(TCommandId::Explorer)->isChecked());
  EXPECT_FALSE(w.Browser()->isVisible());
  EXPECT_TRUE(w.Action(TCommandId::Wireframe)->isChecked());
  EXPECT_TRUE(w.Action(TCommandId::Flat)->isChecked());
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
  EXPECT_TRUE(r.contains(QPoint(50, 30)));  // beside a hole
  EXPECT_FALSE(r.contains(QPoint(2, 2)));   // the rounded corner
  EXPECT_FALSE(r.contains(QPoint(444, 348)));
  TLogoOn splash;
  splash.grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/splash.png"));
}

TEST(Splash, AQuestionAtStartComesAboveItAndTheSplashLeavesFirst) {
  TLogoOn splash;
  splash.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
  bool splashShown = true;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    splashShown = splash.isVisible();
    QTest::keyClick(box, Qt::Key_N);  // "&Non"
  });
  TQtPrompt prompt;
  EXPECT_FALSE(prompt.YesNo("Voulez-vous récupérer la scène ?"));
  EXPECT_FALSE(splashShown);
}

TEST_F(MainWindowTest, ANewUserSeesTheModernLookAndTheOptionsSwitchItBackAtOnce) {
  TfrmMain& w = Open();
  ASSERT_NE(w.Renderer(), nullptr);
  EXPECT_EQ(w.Renderer()->Look, (TViewLook{TViewStyle::Moderne, kDefaultEdgeSamples}));
  // "Classique" chosen with the keyboard in "Affichage", and "Aucun" for the smoothing; "&OK".
  QTimer::singleShot(0, [&] {
    QWidget* options = QApplication::activeModalWidget();
    ASSERT_NE(options, nullptr);
    auto* style = options->findChild<QComboBox*>(QStringLiteral("StyleVues"));
    auto* edges = options->findChild<QComboBox*>(QStringLiteral("Anticrenelage"));
    ASSERT_TRUE(style && edges);
    EXPECT_EQ(style->currentText(), "Moderne");
    EXPECT_EQ(edges->currentText(), "8 échantillons");
    style->setFocus();
    QTest::keyClick(style, Qt::Key_Up);
    edges->setFocus();
    QTest::keyClick(edges, Qt::Key_Home);
    QTest::mouseClick(options->findChild<QPushButton*>(QStringLiteral("OK")), Qt::LeftButton);
  });
  w.Action(TCommandId::Options)->trigger();
  Settle();
  QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
  EXPECT_TRUE(Prompt.Shown().empty());  // no restart needed
  EXPECT_EQ(w.Renderer()->Look, (TViewLook{TViewStyle::Classique, 0}));
  EXPECT_EQ(Settings.ReadString("\\Affichage", "Style"), "Classique");
  EXPECT_EQ(Settings.ReadString("\\Affichage", "Anticrenelage"), "0");
  // The views were drawn again in the classic look: a black background, no gradient.
  const TSurface& t = *w.Renderer()->Display().OffscreenSurface();
  EXPECT_EQ(t.Pixel(t.Width() / 4, 3) & 0xFFFFFF, 0u);
}

TEST_F(MainWindowTest, TheFloatingToolBoxStaysWhereItIsThroughOptionsAndCtrlT) {
  TfrmMain& w = Open();
  TToolBox* box = w.ToolBox();
  ASSERT_TRUE(box->isWindow());
  ASSERT_TRUE(box->isVisible());
  // First placed beside the views at the window's left edge, not at the screen's centre.
  const QPoint views = w.Panel()->mapToGlobal(QPoint(0, 0));
  QTRY_VERIFY(std::abs(box->x() - views.x()) <= 20 && std::abs(box->y() - views.y()) <= 20);
  box->move(box->pos() + QPoint(37, 23));
  const QPoint moved = box->pos();

  // "&OK" in the options, tool box left floating: out of the dialog's way while it is open, then
  // shown again where it was.
  bool hiddenUnderDialog = false;
  QTimer::singleShot(0, [&] {
    QWidget* options = QApplication::activeModalWidget();
    ASSERT_NE(options, nullptr);
    hiddenUnderDialog = !box->isVisible();
    QTest::mouseClick(options->findChild<QPushButton*>(QStringLiteral("OK")), Qt::LeftButton);
  });
  w.Action(TCommandId::Options)->trigger();
  Settle();
  EXPECT_TRUE(hiddenUnderDialog);
  QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
  EXPECT_TRUE(w.Action(TCommandId::ToolBox)->isChecked());
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->pos(), moved);

  // Ctrl+T hides it and brings it back where it was.
  QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
  w.activateWindow();
  QTRY_VERIFY(w.isActiveWindow());
  Key(Qt::Key_T, Qt::ControlModifier);
  EXPECT_FALSE(box->isVisible());
  Key(Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->pos(), moved);
}

// A model from another program brought in, moved, cut by a cube, baked, undone, saved and opened.
TEST_F(MainWindowTest, AnImportedMeshIsMovedCutBakedUndoneSavedAndOpenedAgain) {
  const std::string stl = Folder.File("boule.stl");
  {
    TScene source;
    source.AddObject(CreateSphere(16, 16, 0xFFFFFFFF, 0.5), "Sphere1");
    ASSERT_TRUE(ExportModel(source, stl, {}));
  }
  TfrmMain& w = Open();
  TScene& scene = *w.Scene();
  Files.Import.push_back({stl});
  Key(Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(ObjectNodes(), (QStringList{"boule"}));
  const int mesh = scene.IndexOfName("boule");
  EXPECT_EQ(scene.SolidAt(mesh)->ShapeType, stMaillage);
  auto* triangles = qobject_cast<QLineEdit*>(w.Properties()->Control(QStringLiteral("triangles")));
  ASSERT_NE(triangles, nullptr);
  EXPECT_EQ(triangles->text(), "512");
  EXPECT_TRUE(triangles->isReadOnly());

  // Moved with the move tool's X arrow.
  ClickToolBar(TCommandId::ModeMove);
  const std::optional<THandleSet> h = w.Renderer()->HandlesIn(0);
  ASSERT_TRUE(h.has_value());
  const auto [xEndX, xEndY] = h->End(0);
  const QPoint from(int(std::lround(xEndX - 5)), int(std::lround(xEndY)));
  TScenePanel* panel = w.Panel();
  QTest::mouseMove(panel, from);
  QTest::mousePress(panel, Qt::LeftButton, {}, from);
  for (int k = 1; k <= 4; ++k) QTest::mouseMove(panel, from + QPoint(10 * k, 0));
  QTest::mouseRelease(panel, Qt::LeftButton, {}, from + QPoint(40, 0));
  Settle();
  EXPECT_NEAR(scene.ObjectAt(mesh)->Position.x, 0.2, 1e-6);

  // A cube subtracted from it, then the relation baked from the menu.
  ClickToolBox("cube");
  const int cube = scene.IndexOfName("Cube1");
  scene.SolidAt(cube)->SetPosition({0.6, 0.3, 0});
  ASSERT_TRUE(scene.SetParent(cube, mesh));
  ASSERT_TRUE(scene.SetRelation(cube, mesh, relSoustraction));
  ClickNode("boule");
  w.Action(TCommandId::ApplyRelation)->trigger();
  Settle();
  EXPECT_TRUE(Prompt.Shown().empty()) << Prompt.Shown().front().Text;
  ASSERT_EQ(ObjectNodes(), (QStringList{"boule"}));
  const auto meshNow = [&] { return scene.SolidAt(scene.IndexOfName("boule")); };
  ASSERT_NE(meshNow(), nullptr);
  EXPECT_EQ(scene.IndexOfName("Cube1"), -1);
  const size_t baked = TriangleCount(meshNow()->Composantes);
  EXPECT_NE(baked, 512u);
  EXPECT_NEAR(meshNow()->Position.x, 0.2, 1e-6);

  // Undone: the mesh and the cube come back, related; done again, then saved and opened again.
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(ObjectNodes(), (QStringList{"boule"}));  // the cube is the mesh's child in the tree
  ASSERT_NE(scene.SolidAt(scene.IndexOfName("Cube1")), nullptr);
  EXPECT_EQ(scene.SolidAt(scene.IndexOfName("Cube1"))->Relation, relSoustraction);
  EXPECT_EQ(TriangleCount(meshNow()->Composantes), 512u);
  Key(Qt::Key_Y, Qt::ControlModifier);
  ASSERT_EQ(scene.IndexOfName("Cube1"), -1);
  const std::string doc = Folder.File("boule.ixr");
  Files.Save.push_back({doc, TSaveType::Document});
  Key(Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(fs::exists(doc));
  Files.Open.push_back(doc);
  Key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_TRUE(Prompt.Shown().empty()) << Prompt.Shown().front().Text;
  ASSERT_EQ(ObjectNodes(), (QStringList{"boule"}));
  ASSERT_NE(meshNow(), nullptr);
  EXPECT_EQ(TriangleCount(meshNow()->Composantes), baked);
  EXPECT_NEAR(meshNow()->Position.x, 0.2, 1e-6);
  Screenshot(&w, "main-window-baked-mesh");
}

// A document of 10,000 objects opened with Ctrl+O is read while the window's events turn: a timer
// fires and the status bar shows the progress before the scene arrives, keys pressed meanwhile
// reach no command, and the scene then arrives whole with no message.
TEST_F(MainWindowTest, ALargeDocumentIsReadWhileTheEventLoopTurnsAndInputIsHeldBack) {
  const std::string document = SavedDocument("grand.ixr", 10000);
  TfrmMain& w = Open();
  TScene& scene = *w.Scene();
  const bool grid = w.Action(TCommandId::Grid)->isChecked();
  int ticksWhileLoading = 0, scenesSeen = 0;
  bool progressShown = false;
  QTimer tick;
  tick.setInterval(1);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (!w.Modeller()->Loading()) return;
    ++ticksWhileLoading;
    scenesSeen = std::max(scenesSeen, scene.ObjectCount());
    progressShown |= !w.statusBar()->currentMessage().isEmpty();
    // "Nouveau" and the grid's switch, typed while the document is read: held back.
    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(&w, Qt::Key_G, Qt::ControlModifier);
  });
  tick.start();
  Files.Open.push_back(document);
  Key(Qt::Key_O, Qt::ControlModifier);
  tick.stop();
  EXPECT_GE(ticksWhileLoading, 1) << "the event loop turned while the document was read";
  EXPECT_EQ(scenesSeen, 1) << "the user's scene (its light) until the read ended";
  EXPECT_TRUE(progressShown);
  EXPECT_TRUE(Prompt.Shown().empty()) << Prompt.Shown().front().Text;
  EXPECT_EQ(scene.ObjectCount(), 10001);
  EXPECT_EQ(w.windowTitle(), QString::fromStdString("IXORAL - " + document));
  EXPECT_EQ(w.Action(TCommandId::Grid)->isChecked(), grid);
  EXPECT_EQ(ObjectNodes().size(), 10000);
}
