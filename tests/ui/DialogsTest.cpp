// The dialogs' common frame, the rename dialog, the about box, the help pages from the window and
// the main window's closing animation, through their real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QStackedWidget>
#include <QRadioButton>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "WindowTestUtil.h"
#include "commands/Help.h"
#include "platform/DataFiles.h"
#include "scene/ViewOps.h"
#include "ui/AboutDialog.h"
#include "ui/HelpBrowser.h"
#include "ui/MainWindow.h"
#include "ui/OptionsDialog.h"
#include "ui/PrintDialog.h"
#include "ui/RenameDialog.h"
#include "ui/ResolutionDialog.h"
#include "ui/ViewTypesDialog.h"
#include "ui/SceneBrowser.h"
#include "ui/ScenePanel.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

QColor LabelColour(const QLabel* l) { return l->palette().color(QPalette::WindowText); }

class TPlainDialog : public TDialogFrame {
 public:
  explicit TPlainDialog(int tab = kDefaultTitleTab) : TDialogFrame(nullptr, QStringLiteral("Essai"), tab) {
    resize(400, 260);
  }
};

}  // namespace

TEST(DialogFrameTest, LabelsHintsHoverColoursAndTitle) {
  TPlainDialog d;
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  EXPECT_EQ(d.TitleLabel()->text(), "Essai");
  EXPECT_EQ(d.CloseLabel()->text(), "x");
  EXPECT_EQ(d.HelpLabel()->text(), "?");
  EXPECT_EQ(d.CloseLabel()->toolTip(), "Fermer");
  EXPECT_EQ(d.HelpLabel()->toolTip(), "Aide");
  EXPECT_TRUE(d.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(d.isModal());
  EXPECT_EQ(d.palette().color(QPalette::Window), QColor(148, 178, 255));

  // White, green under the mouse, white again once the mouse is elsewhere.
  EXPECT_EQ(LabelColour(d.CloseLabel()), QColor(Qt::white));
  QEvent enter(QEvent::Enter), leave(QEvent::Leave);
  QApplication::sendEvent(d.CloseLabel(), &enter);
  EXPECT_EQ(LabelColour(d.CloseLabel()), QColor(0, 255, 0));
  EXPECT_EQ(LabelColour(d.HelpLabel()), QColor(Qt::white));
  QApplication::sendEvent(d.HelpLabel(), &enter);
  EXPECT_EQ(LabelColour(d.HelpLabel()), QColor(0, 255, 0));
  QTest::mouseMove(d.Body(), QPoint(50, 50));
  QMouseEvent move(QEvent::MouseMove, QPointF(60, 60), QPointF(60, 60), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(d.Body(), &move);
  EXPECT_EQ(LabelColour(d.CloseLabel()), QColor(Qt::white));
  EXPECT_EQ(LabelColour(d.HelpLabel()), QColor(Qt::white));
  QApplication::sendEvent(d.CloseLabel(), &leave);
  EXPECT_EQ(LabelColour(d.CloseLabel()), QColor(Qt::white));

  // Centred on the screen.
  const QRect screen = d.screen()->availableGeometry();
  EXPECT_LE(std::abs(d.geometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(d.geometry().center().y() - screen.center().y()), 1);
  d.hide();
}

TEST(DialogFrameTest, ShapeCutsTheTopCornersAndTheGapBetweenTheTabs) {
  const int w = 400, h = 260, tab = 135;
  const QRegion r = DialogFrameRegion(w, h, tab);
  // The cuts along the top edge.
  EXPECT_FALSE(r.contains(QPoint(3, 3)));         // top-left triangle
  EXPECT_FALSE(r.contains(QPoint(w - 4, 3)));     // top-right triangle
  EXPECT_FALSE(r.contains(QPoint(tab + 40, 5)));  // the gap between the tabs
  EXPECT_FALSE(r.contains(QPoint(w - 110, 20)));  // near the trapezoid's lower right corner
  EXPECT_FALSE(r.contains(QPoint(tab + 5, 2)));   // just inside its slanted left side
  // What stays: the title tab, the labels' tab, the body under the title bar.
  EXPECT_TRUE(r.contains(QPoint(tab - 10, 5)));
  EXPECT_TRUE(r.contains(QPoint(w - 55, 5)));     // the labels' tab at the top
  EXPECT_TRUE(r.contains(QPoint(tab + 20, 24)));  // under the trapezoid's slanted side
  EXPECT_TRUE(r.contains(QPoint(w / 2, 30)));
  EXPECT_TRUE(r.contains(QPoint(w / 2, h - 2)));
  // Rounded corners at the bottom (40-pixel radius).
  EXPECT_FALSE(r.contains(QPoint(2, h - 2)));
  EXPECT_TRUE(r.contains(QPoint(40, h - 2)));
  // The tab width moves the gap.
  const QRegion wide = DialogFrameRegion(w, h, 180);
  EXPECT_TRUE(wide.contains(QPoint(170, 5)));
  EXPECT_FALSE(r.contains(QPoint(170, 5)));
}

TEST(DialogFrameTest, FadeTakesTenStepsAndClosesOnceEvenWhenAskedTwice) {
  TPlainDialog d;
  QSignalSpy finished(&d, &QDialog::finished);
  std::vector<int> steps;
  QObject::connect(&d, &TDialogFrame::FadeStepped, [&](int p) { steps.push_back(p); });
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  d.accept();
  EXPECT_TRUE(d.Fading());
  EXPECT_TRUE(d.isVisible());  // held back while it fades
  d.reject();                  // a second request during the fade
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 2000));
  Settle();
  EXPECT_EQ(finished.count(), 1);
  EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Accepted);  // the first request stands
  EXPECT_EQ(steps, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
  EXPECT_DOUBLE_EQ(d.windowOpacity(), 1.0);  // ready to show again
}

TEST(DialogFrameTest, EscapeAndTheCloseLabelClose) {
  TPlainDialog d;
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  QTest::keyClick(&d, Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 2000));
  EXPECT_EQ(d.result(), QDialog::Rejected);

  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  QTest::mouseClick(d.CloseLabel(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 2000));
}

TEST(DialogFrameTest, HelpLabelOpensTheDialogsPageAndReportsAMissingBrowser) {
  std::vector<std::string> opened;
  bool browser = true;
  const THelpOpener previous = SetHelpOpener([&](const std::string& p) {
    opened.push_back(p);
    return browser;
  });
  TDialogFrame d(nullptr, QStringLiteral("Renommer"), kDefaultTitleTab, QString::fromUtf8(help::Renommer));
  d.resize(300, 200);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  QTest::mouseClick(d.HelpLabel(), Qt::LeftButton);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(fs::path(opened[0]).filename(), "renommer.html");
  EXPECT_TRUE(fs::is_regular_file(opened[0]));

  // No browser: the message names the page.
  TScriptedPrompt prompt;
  browser = false;
  EXPECT_FALSE(OpenHelpPage(&d, QString::fromUtf8(help::Clavier), &prompt));
  ASSERT_EQ(prompt.Shown().size(), 1u);
  EXPECT_EQ(prompt.Shown()[0].Text.rfind(kMsgHelpNoBrowser, 0), 0u);
  EXPECT_NE(prompt.Shown()[0].Text.find("clavier.html"), std::string::npos);
  SetHelpOpener(previous);
  d.hide();
}

class WindowDialogsTest : public ::testing::Test {
 protected:
  WindowDialogsTest() : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)) {}
  ~WindowDialogsTest() override {
    if (Window) {
      Prompt.QueueAnswer(TAnswer::No);
      Window->close();
    }
  }
  TfrmMain& Open() {
    Window = std::make_unique<TfrmMain>(Settings, &Prompt, &Files, &Clipboard);
    Window->Start();
    Window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Settle();
    Window->FlushPending();
    return *Window;
  }
  // Renames the current object through the real dialog, typing `text` and pressing Enter.
  void RenameThroughDialog(const QString& text, const char* screenshot = nullptr) {
    WhenModal([text, screenshot](QWidget* modal) {
      auto* dialog = qobject_cast<TFrmRename*>(modal);
      ASSERT_NE(dialog, nullptr);
      EXPECT_FALSE(dialog->OkButton()->isEnabled());
      QTest::keyClicks(dialog->NameField(), text);
      EXPECT_EQ(dialog->OkButton()->isEnabled(), !text.isEmpty());
      if (screenshot) Screenshot(dialog, screenshot);
      QTest::keyClick(dialog->NameField(), Qt::Key_Return);
      if (text.isEmpty()) QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("OK")), Qt::LeftButton);
    });
    Window->Action(TCommandId::Rename)->trigger();
    Settle();
    Window->FlushPending();
  }

  test::TTempFolder Folder{"dialogs"};
  TScriptedPrompt Prompt;
  TSettingsStore Settings;
  test::TScriptedFiles Files;
  TMemoryClipboard Clipboard;
  std::unique_ptr<TfrmMain> Window;
};

TEST_F(WindowDialogsTest, RenameDialogRenamesRefusesTakenNamesAndKeepsTheNameWhenEmpty) {
  TfrmMain& w = Open();
  w.Modeller()->Insert(TInsertCommand::Cube);
  w.Modeller()->Insert(TInsertCommand::Sphere);
  w.FlushPending();
  TScene& scene = *w.Scene();
  const int sphere = scene.CurrentObject();
  ASSERT_EQ(scene.ObjectAt(sphere)->Name(), "Sphere1");

  Prompt.ClearShown();
  RenameThroughDialog(QStringLiteral("Lune"), "rename-dialog");
  EXPECT_EQ(scene.ObjectAt(sphere)->Name(), "Lune");
  EXPECT_TRUE(Prompt.Texts().empty()) << Prompt.Texts().front();  // Enter renames once, silently

  Prompt.ClearShown();
  RenameThroughDialog(QStringLiteral("Cube1"));
  EXPECT_EQ(scene.ObjectAt(sphere)->Name(), "Lune");
  ASSERT_FALSE(Prompt.Shown().empty());
  EXPECT_EQ(Prompt.Shown().back().Text, kMsgNameExists);

  // The OK button is disabled with an empty field; Enter then only says the name stays.
  Prompt.ClearShown();
  RenameThroughDialog(QString());
  EXPECT_EQ(scene.ObjectAt(sphere)->Name(), "Lune");
  ASSERT_FALSE(Prompt.Shown().empty());
  EXPECT_EQ(Prompt.Shown().back().Text, kMsgNameUnchanged);
}

TEST_F(WindowDialogsTest, HelpKeyOpensTheFirstPage) {
  std::vector<std::string> opened;
  const THelpOpener previous = SetHelpOpener([&](const std::string& p) {
    opened.push_back(p);
    return true;
  });
  TfrmMain& w = Open();
  w.Action(TCommandId::Help)->trigger();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(fs::path(opened[0]).filename(), "index.html");
  EXPECT_EQ(w.Action(TCommandId::Help)->shortcut(), QKeySequence(Qt::Key_F1));
  SetHelpOpener(previous);
}

TEST_F(WindowDialogsTest, ClosingShrinksTheWindowToItsCentreThenCloses) {
  TfrmMain& w = Open();
  w.SetCloseAnimated(true);
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_FALSE(w.close());  // held back while it shrinks
  EXPECT_TRUE(w.Shrinking());
  EXPECT_FALSE(w.close());  // a second request changes nothing
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 3000));
  EXPECT_EQ(w.ShrinkPercent(), 120);  // the tick that started above 80 ends it
  Window.reset();

  // The region at each step: the rectangle inset by size x percent / 200 on each side.
  EXPECT_EQ(ShrinkingRegion(400, 300, 0), QRegion(0, 0, 400, 300));
  EXPECT_EQ(ShrinkingRegion(400, 300, 20), QRegion(40, 30, 320, 240));
  EXPECT_EQ(ShrinkingRegion(400, 300, 80), QRegion(160, 120, 80, 60));
  EXPECT_EQ(ShrinkingRegion(400, 300, 100).boundingRect().width(), 1);
}

TEST_F(WindowDialogsTest, AboutBoxFliesOverItsSceneAlongTheFlightPath) {
  TfrmMain& w = Open();
  TFrmApp about(&w, Settings, -1, &Prompt);
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  ASSERT_NE(about.Flight(), nullptr);
  TScene& scene = *about.Scene();
  EXPECT_GT(scene.ObjectCount(), 10);  // the shipped flight scene
  EXPECT_FALSE(scene.HasSelection());

  // The timers run on their own; from here the test sets the time.
  const double start = about.Flight()->Elapsed();
  about.StepFlight(4000 - start);
  Vec3d position;
  const D3DMATRIX expected = FlyThroughCamera(std::round(30 * 4000.0 / 100), position);
  const D3DMATRIX& camera = scene.Views[0].CameraMatrix;
  EXPECT_FLOAT_EQ(camera._13, expected._13);
  EXPECT_FLOAT_EQ(camera._22, expected._22);
  EXPECT_FLOAT_EQ(camera._43, expected._43);

  // "*" doubles the time flown.
  const double before = about.Flight()->Elapsed();
  QTest::keyClicks(&about, QStringLiteral("*"));
  EXPECT_DOUBLE_EQ(about.Flight()->Elapsed(), 2 * before);

  // Solids behind the camera are left out; the ones ahead are drawn.
  int shown = 0, hidden = 0;
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (const TSolidObject* s = scene.SolidAt(i)) (s->Afficher ? shown : hidden)++;
  EXPECT_GT(shown, 0);

  // The credits climb 2 pixels a tick and start again from the bottom once gone.
  const int y = about.Credits()->y();
  about.StepCredits();
  EXPECT_EQ(about.Credits()->y(), y - 2);
  about.Credits()->move(0, -about.Credits()->height() + 1);
  about.StepCredits();
  EXPECT_EQ(about.Credits()->y(), about.CreditsFrame()->height());

  // Pictures along one turn of the flight (2333 ms), to look at.
  about.Credits()->move(0, 40);
  for (const int t : {0, 300, 600, 900, 1200, 1500, 1800, 2100}) {
    about.StepFlight(t - about.Flight()->Elapsed());
    Screenshot(about.Panel(), QStringLiteral("about-flight-%1").arg(t, 4, 10, QLatin1Char('0')).toUtf8().constData());
  }
  about.StepFlight(700 - about.Flight()->Elapsed());
  Screenshot(&about, "about-box");
  QTest::keyClick(&about, Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !about.isVisible(); }, 2000));
}

TEST_F(WindowDialogsTest, AboutBoxOpensOverAnEmptySceneWhenItsSceneIsCorrupt) {
  TfrmMain& w = Open();
  // The data folder named by the variable is looked in first.
  test::TTempFolder data("about-data");
  std::ofstream(data.File(kAboutSceneFile), std::ios::binary) << "PK\x03\x04 truncated";
  const char* previous = std::getenv(kDataDirVariable);
  const std::string kept = previous ? previous : "";
  ::setenv(kDataDirVariable, data.Path().string().c_str(), 1);
  {
    TFrmApp about(&w, Settings, -1, &Prompt);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    ASSERT_NE(about.Scene(), nullptr);
    EXPECT_EQ(about.Scene()->ObjectCount(), 0);
    about.StepFlight(500);  // flies over nothing without harm
    about.reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !about.isVisible(); }, 2000));
  }
  if (previous)
    ::setenv(kDataDirVariable, kept.c_str(), 1);
  else
    ::unsetenv(kDataDirVariable);
}

TEST_F(WindowDialogsTest, ADragOfFiftyMovesIsOneStepThatCtrlZUndoes) {
  TfrmMain& w = Open();
  const int cube = w.Modeller()->Insert(TInsertCommand::Cube);
  w.FlushPending();
  QAction* undo = w.Action(TCommandId::Undo);
  QAction* redo = w.Action(TCommandId::Redo);
  ASSERT_NE(undo, nullptr);
  EXPECT_EQ(undo->text(), "&Annuler Insertion");
  EXPECT_FALSE(redo->isEnabled());
  EXPECT_EQ(redo->shortcuts(),
            (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));

  w.SetOperation(opMove, axFree);
  TScenePanel* panel = w.Panel();
  const QPoint start(panel->width() / 4, panel->height() / 4);  // inside "Face"
  QTest::mouseMove(panel, start);
  QTest::mousePress(panel, Qt::LeftButton, {}, start);
  for (int k = 1; k <= 50; ++k) QTest::mouseMove(panel, start + QPoint(4 * k, 0));
  QTest::mouseRelease(panel, Qt::LeftButton, {}, start + QPoint(200, 0));
  Settle();
  EXPECT_NEAR(w.Scene()->ObjectAt(cube)->Position.x, 1, 1e-6);
  EXPECT_EQ(w.Modeller()->History().UndoCount(), 2u);  // the insert and the drag
  EXPECT_EQ(undo->text(), "&Annuler Déplacement");

  QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
  Settle();
  EXPECT_NEAR(w.Scene()->ObjectAt(cube)->Position.x, 0, 1e-9);
  EXPECT_TRUE(redo->isEnabled());
  EXPECT_EQ(redo->text(), "&Rétablir Déplacement");
  QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  Settle();
  EXPECT_NEAR(w.Scene()->ObjectAt(cube)->Position.x, 1, 1e-6);
  // Undoing the insert takes the cube out of the browser too.
  QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
  Settle();
  w.FlushPending();
  EXPECT_EQ(w.Scene()->ObjectCount(), 1);
  EXPECT_EQ(w.Browser()->ObjectsNode()->childCount(), 0);
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_EQ(undo->text(), "&Annuler");
}

TEST_F(WindowDialogsTest, RecoveryCopyFollowsTheChangesAndGoesWithASaveOrANormalClose) {
  TfrmMain& w = Open();
  ASSERT_NE(w.Recovery(), nullptr);
  const std::string copy = w.Recovery()->DocumentPath();
  w.WriteRecovery();
  w.Recovery()->WaitForWriter();
  EXPECT_FALSE(fs::exists(copy));  // nothing changed yet
  w.Modeller()->Insert(TInsertCommand::Cube);
  w.WriteRecovery();
  w.Recovery()->WaitForWriter();
  EXPECT_TRUE(fs::is_regular_file(copy));
  // Ten objects at once are written without waiting for the timer.
  fs::remove(copy);
  for (int k = 0; k < kRecoveryLargeChange; ++k) w.Modeller()->Insert(TInsertCommand::Sphere);
  w.Recovery()->WaitForWriter();
  EXPECT_TRUE(fs::is_regular_file(copy));
  // Saved: the copy goes.
  Files.Save.push_back({Folder.File("saved.ixr"), TSaveType::Document});
  w.Action(TCommandId::Save)->trigger();
  Settle();
  EXPECT_TRUE(fs::is_regular_file(Folder.File("saved.ixr")));
  EXPECT_FALSE(fs::exists(copy));
  // Changed again, then closed normally: the copy goes too.
  w.Modeller()->Insert(TInsertCommand::Cube);
  w.WriteRecovery();
  w.Recovery()->WaitForWriter();
  EXPECT_TRUE(fs::is_regular_file(copy));
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_TRUE(w.close());
  EXPECT_FALSE(fs::exists(copy));
  Window.reset();
}

TEST(ResolutionDialogTest, SizesShowOnlyUnderResolutionAndNoChoiceMeansEightHundred) {
  TFrmReso d(nullptr);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  EXPECT_EQ(d.windowTitle(), "Choix Résolution");
  // The whole title shows in its tab.
  const QLabel* title = d.findChild<QLabel*>(QStringLiteral("Titre"));
  ASSERT_NE(title, nullptr);
  EXPECT_GE(title->width(), title->sizeHint().width());
  EXPECT_EQ(d.Sizes()->placeholderText(), "800x600");
  EXPECT_TRUE(d.SizeButton()->isChecked());
  EXPECT_TRUE(d.Sizes()->isVisible());
  EXPECT_EQ(d.Sizes()->count(), 5);
  EXPECT_EQ(d.Sizes()->itemText(4), "1600x1200");
  EXPECT_EQ(d.Choice().Resolution, 2);  // nothing chosen: 800 x 600
  EXPECT_FALSE(d.Choice().KeepCurrentSize);
  d.Sizes()->setCurrentIndex(3);
  EXPECT_EQ(d.Choice().Resolution, 3);
  Screenshot(&d, "resolution-dialog");
  QTest::mouseClick(d.KeepButton(), Qt::LeftButton);
  EXPECT_TRUE(d.Choice().KeepCurrentSize);
  EXPECT_FALSE(d.Sizes()->isVisible());
  QTest::keyClick(&d, Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 2000));
  EXPECT_EQ(d.result(), QDialog::Rejected);
}

TEST_F(WindowDialogsTest, ViewTypesChosenOnThePreviewReachTheMainSceneAsOneStep) {
  TfrmMain& w = Open();
  w.Modeller()->Insert(TInsertCommand::Tore);
  TScene& main = *w.Scene();
  WhenModal([&](QWidget* modal) {
    auto* d = qobject_cast<TfrmParams*>(modal);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->Preview(), nullptr);
    EXPECT_EQ(d->Preview()->ObjectCount(), main.ObjectCount());
    for (int v = 0; v < 4; ++v) EXPECT_EQ(d->List(v)->currentIndex(), v);
    // The quadrant under the mouse is highlighted.
    d->HoverAt(QPoint(d->Panel()->width() - 5, d->Panel()->height() - 5));
    EXPECT_EQ(d->Highlighted(), 3);
    d->HoverAt(QPoint(5, d->Panel()->height() - 5));
    EXPECT_EQ(d->Highlighted(), 2);
    for (int v = 0; v < 4; ++v) {
      d->List(v)->setCurrentIndex(vtHaut);
      emit d->List(v)->activated(vtHaut);
    }
    for (int v = 0; v < 4; ++v) EXPECT_EQ(d->Preview()->Views[static_cast<size_t>(v)].ViewType, vtHaut);
    EXPECT_EQ(main.Views[1].ViewType, vtGauche);  // the main scene waits for "&OK"
    Settle();
    Screenshot(d, "view-types-dialog");
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("OK")), Qt::LeftButton);
  });
  w.Action(TCommandId::ViewParameters)->trigger();
  Settle();
  for (int v = 0; v < 4; ++v) EXPECT_EQ(main.Views[static_cast<size_t>(v)].ViewType, vtHaut);
  EXPECT_EQ(w.Action(TCommandId::Undo)->text(), "&Annuler Vues");
  w.Modeller()->Undo();
  EXPECT_EQ(main.Views[0].ViewType, vtFace);
  EXPECT_EQ(main.Views[3].ViewType, vtPerspective);
}

TEST(OptionsDialogTest, ShowsWhatIsStoredTestsTheDisplayAndAsksForARestartOnlyWhenNeeded) {
  test::TTempFolder folder("options");
  TScriptedPrompt prompt;
  TSettingsStore settings(folder.File("settings.ini"), FailuresShownBy(prompt));
  settings.WriteString("\\Affichage", "Device", "0");
  settings.WriteString("\\Affichage", "Driver", "{00000000-1111-2222-3333-444444444444}");  // no such driver
  bool fixed = false;
  uint32_t background = 1;
  auto open = [&] {
    return std::make_unique<TFrmOptions>(nullptr, settings, prompt, false, [&](bool f, uint32_t b) {
      fixed = f;
      background = b;
    });
  };
  {
    auto d = open();
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    EXPECT_EQ(d->ModeList()->currentRow(), 0);  // "Logiciel"
    EXPECT_EQ(d->ModeList()->item(1)->text(), "Matériel (conseillé)");
    EXPECT_EQ(d->DriverList()->currentRow(), 0);                 // nothing matched: the first
    EXPECT_EQ(d->CardField("Guid Driver :"), "Non disponible");  // the primary display driver
    EXPECT_FALSE(d->CardField("Description :").isEmpty());
    EXPECT_TRUE(d->SaveViews()->isChecked());
    EXPECT_FALSE(d->BooleanOperations()->isChecked());
    EXPECT_EQ(d->Pages()->currentIndex(), 0);
    QTest::mouseClick(d->TestButton(), Qt::LeftButton);
    ASSERT_EQ(d->TestLog()->count(), 3);
    EXPECT_EQ(d->TestLog()->item(0)->text(), "DirectDraw Initialisé");
    EXPECT_EQ(d->TestLog()->item(2)->text(), "Initialisations terminées avec succès");
    Screenshot(d.get(), "options-dialog");
    // Unchanged: no restart message; the colour and the tool box still apply.
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("OK")), Qt::LeftButton);
    EXPECT_TRUE(prompt.Shown().empty());
    EXPECT_EQ(background, 0u);
    EXPECT_EQ(settings.ReadString("\\Options", "CouleurFond"), "clBlack");
    EXPECT_EQ(settings.ReadString("\\Affichage", "Device"), "0");
  }
  {
    // Only the view records switched: a restart is asked for. A colour: stored and applied.
    auto d = open();
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("TabGeneral")), Qt::LeftButton);
    EXPECT_EQ(d->Pages()->currentIndex(), 1);
    d->ChooseColour = [](uint32_t) { return std::optional<uint32_t>(0x336699); };
    QTest::mouseClick(d->Swatch(), Qt::LeftButton);
    d->SaveViews()->setChecked(false);
    d->ToolboxFixed()->setChecked(true);
    Screenshot(d.get(), "options-dialog-general");
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("OK")), Qt::LeftButton);
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].Text, kMsgRestart);
    EXPECT_EQ(settings.ReadString("\\options", "EXPORT11"), "0");
    EXPECT_EQ(settings.ReadString("\\Options", "CouleurFond"), "$00996633");
    uint32_t back = 0;
    ASSERT_TRUE(ColorFromText("$00996633", back));
    EXPECT_EQ(back, 0x336699u);
    EXPECT_EQ(background, 0x336699u);
    EXPECT_TRUE(fixed);
  }
}

TEST_F(WindowDialogsTest, PrintingAViewIntoAPdfWithoutAnyPrinterAndCancellingLeavesNoFile) {
  TfrmMain& w = Open();
  w.Modeller()->Insert(TInsertCommand::Tore);
  TFrmRendu d(&w, *w.Scene(), &Settings, Prompt, 4.0 / 3.0);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  EXPECT_EQ(d.windowTitle(), "Impression");
  EXPECT_EQ(d.Views()->currentText(), "4");
  EXPECT_GE(d.Printers()->findText(QString::fromUtf8(kPdfPrinter)), 0);
  d.Printers()->setCurrentIndex(d.Printers()->findText(QString::fromUtf8(kPdfPrinter)));
  EXPECT_FALSE(d.Picture().isNull());
  EXPECT_EQ(d.Field("Marge")->text(), "2,000");

  // "." types ","; a margin of half the preview is refused and the field shows the kept one.
  QLineEdit* width = d.Field("Largeur");
  width->selectAll();
  QTest::keyClicks(width, QStringLiteral("12.5"));
  EXPECT_EQ(width->text(), "12,5");
  QTest::keyClick(width, Qt::Key_Return);
  EXPECT_DOUBLE_EQ(d.Layout().Width(), 12.5);
  EXPECT_DOUBLE_EQ(d.Layout().Height(), 12.5 * 3 / 4);
  QLineEdit* margin = d.Field("Marge");
  margin->selectAll();
  QTest::keyClicks(margin, QStringLiteral("40"));
  QTest::keyClick(margin, Qt::Key_Return);
  EXPECT_EQ(margin->text(), "2,000");
  ASSERT_EQ(Prompt.Shown().size(), 1u);  // the refused margin's message
  // Aligned left: the picture's left edge stands at the margin.
  for (QRadioButton* b : d.findChildren<QRadioButton*>())
    if (b->text() == "Aligner à Gauche") b->click();
  EXPECT_EQ(d.Layout().AlignX, TAlign::Start);
  Screenshot(&d, "print-dialog");

  // Cancelled file choice: nothing printed, nothing written.
  d.ChoosePdfFile = [] { return QString(); };
  EXPECT_FALSE(d.Print());
  EXPECT_EQ(Prompt.Shown().size(), 1u);

  // Into a PDF: a complete file, no temporary beside it.
  const std::string pdf = Folder.File("vue.pdf");
  d.ChoosePdfFile = [&] { return QString::fromStdString(pdf); };
  ASSERT_TRUE(d.Print());
  ASSERT_TRUE(fs::is_regular_file(pdf));
  std::ifstream in(pdf, std::ios::binary);
  std::string head(5, '\0');
  in.read(head.data(), 5);
  EXPECT_EQ(head, "%PDF-");
  EXPECT_GT(fs::file_size(pdf), 2000u);  // the picture is in it
  int files = 0;
  for (const auto& e : fs::directory_iterator(Folder.Path()))
    if (e.path().string().find("vue.pdf") != std::string::npos) ++files;
  EXPECT_EQ(files, 1);
  d.reject();
}

TEST_F(WindowDialogsTest, PrintingRefusesAMarginWithoutRoomAndPrintsWholePagesAsSetUp) {
  TfrmMain& w = Open();
  w.Modeller()->Insert(TInsertCommand::Sphere);
  TFrmRendu d(&w, *w.Scene(), &Settings, Prompt, 4.0 / 3.0);
  d.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
  d.Printers()->setCurrentIndex(d.Printers()->findText(QString::fromUtf8(kPdfPrinter)));

  // 12 cm on each side of a 21 cm page leaves nothing: refused with the message, 2 cm kept.
  QLineEdit* margin = d.Field("Marge");
  margin->selectAll();
  QTest::keyClicks(margin, QStringLiteral("12"));
  QTest::keyClick(margin, Qt::Key_Return);
  ASSERT_EQ(Prompt.Shown().size(), 1u);
  EXPECT_EQ(Prompt.Shown()[0].Text, kMsgMarginTooLarge);
  EXPECT_EQ(margin->text(), "2,000");
  EXPECT_DOUBLE_EQ(d.Layout().Margin(), 2);

  // The set-up's landscape paper stays for the preview and the print.
  EXPECT_LT(d.Layout().Measures().PageWidthCm, d.Layout().Measures().PageHeightCm);
  d.SetUpPrinter = [](QPrinter& printer) { return printer.setPageOrientation(QPageLayout::Landscape); };
  QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("Parametres")), Qt::LeftButton);
  EXPECT_NEAR(d.Layout().Measures().PageWidthCm, 29.7, 0.1);
  EXPECT_GT(d.Layout().Page().W, d.Layout().Page().H);

  // "Remplir la page" at the PDF printer's 1200 dpi prints, into a name given without ".pdf".
  d.FillPage()->setFocus();
  QTest::keyClick(d.FillPage(), Qt::Key_Space);
  ASSERT_TRUE(d.FillPage()->isChecked());
  const std::string chosen = Folder.File("page-pleine");
  d.ChoosePdfFile = [&] { return QString::fromStdString(chosen); };
  ASSERT_TRUE(d.Print());
  EXPECT_EQ(Prompt.Shown().size(), 1u);
  EXPECT_FALSE(fs::exists(chosen));
  ASSERT_TRUE(fs::is_regular_file(chosen + ".pdf"));
  if (std::system("command -v pdftoppm >/dev/null 2>&1") == 0) {
    const std::string png = Folder.File("page-pleine-image");
    ASSERT_EQ(std::system(("pdftoppm -r 20 -png -singlefile '" + chosen + ".pdf' '" + png + "'").c_str()), 0);
    const QImage page(QString::fromStdString(png + ".png"));
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), page.height());  // landscape, as set up
    // The picture fills the page inside the 2 cm margin: the page's middle is not blank paper.
    EXPECT_NE(page.pixel(page.width() / 2, page.height() / 2), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(2, 2), qRgb(255, 255, 255));
    page.save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/printed-full-page.png"));
  }
  // Printed again to the same name: the completed name exists, and "Non" leaves it alone.
  const auto before = fs::last_write_time(chosen + ".pdf");
  Prompt.QueueAnswer(TAnswer::No);
  EXPECT_FALSE(d.Print());
  ASSERT_EQ(Prompt.Shown().size(), 2u);
  EXPECT_EQ(Prompt.Shown()[1].Text, kMsgOverwrite + chosen + ".pdf");
  EXPECT_EQ(fs::last_write_time(chosen + ".pdf"), before);
  d.reject();
}

TEST_F(WindowDialogsTest, TheReferenceSamplePrintedToPdfShowsTheViewOnThePage) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
  TfrmMain& w = Open();
  Prompt.QueueAnswer(TAnswer::No);
  ASSERT_TRUE(w.Modeller()->OpenPath(IXORAL_TEST_DATA_DIR "/../../data/samples/reference.ixr"));
  TFrmRendu d(&w, *w.Scene(), &Settings, Prompt, 4.0 / 3.0);
  d.Printers()->setCurrentIndex(d.Printers()->findText(QString::fromUtf8(kPdfPrinter)));
  const std::string pdf = Folder.File("reference.pdf");
  d.ChoosePdfFile = [&] { return QString::fromStdString(pdf); };
  ASSERT_TRUE(d.Print());
  // The page at 50 dots per inch, and where the picture lies on it.
  const std::string png = Folder.File("page");
  ASSERT_EQ(std::system(("pdftoppm -r 50 -png -singlefile '" + pdf + "' '" + png + "'").c_str()), 0);
  const QImage page(QString::fromStdString(png + ".png"));
  ASSERT_FALSE(page.isNull());
  const TPrintMeasures& m = d.Layout().Measures();
  const TPrintRect area = d.Layout().PrintArea();
  const double sx = page.width() / (m.PageWidthCm * m.PrinterPerCmX),
               sy = page.height() / (m.PageHeightCm * m.PrinterPerCmY);
  const QRect onPage(int(area.X * sx), int(area.Y * sy), int(area.W * sx), int(area.H * sy));
  ASSERT_GT(onPage.width(), 50);
  const QImage printed = page.copy(onPage.adjusted(2, 2, -2, -2)).convertToFormat(QImage::Format_RGB32);
  const QImage view = d.RenderView(area.W, area.H)
                          .scaled(onPage.size())
                          .copy(QRect(2, 2, onPage.width() - 4, onPage.height() - 4))
                          .convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(printed.size(), view.size());
  // Mean difference per channel, the page's blank margins white around it.
  double diff = 0;
  for (int y = 0; y < view.height(); ++y)
    for (int x = 0; x < view.width(); ++x) {
      const QRgb a = printed.pixel(x, y), b = view.pixel(x, y);
      diff += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
    }
  diff /= 3.0 * view.width() * view.height();
  EXPECT_LT(diff, 25) << "the printed picture differs from the view";
  EXPECT_EQ(page.pixel(3, 3), qRgb(255, 255, 255));
  page.save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/printed-page.png"));
}
