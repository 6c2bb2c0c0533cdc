// The dialogs' common frame, the rename dialog, the about box, the help pages from the window and
// the main window's closing animation, through their real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "commands/Help.h"
#include "platform/DataFiles.h"
#include "scene/ViewOps.h"
#include "ui/AboutDialog.h"
#include "ui/HelpBrowser.h"
#include "ui/MainWindow.h"
#include "ui/RenameDialog.h"
#include "ui/SceneBrowser.h"
#include "ui/ScenePanel.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

void Settle() {
  for (int k = 0; k < 3; ++k) QApplication::processEvents();
}

QColor LabelColour(const QLabel* l) { return l->palette().color(QPalette::WindowText); }

void Screenshot(QWidget* w, const char* name) {
  w->grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/%1.png").arg(name));
}

// Runs `act` on the modal dialog once it is up, from inside its event loop.
void WhenModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
    act(modal);
  });
}

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
  EXPECT_FALSE(r.contains(QPoint(3, 3)));            // top-left triangle
  EXPECT_FALSE(r.contains(QPoint(w - 4, 3)));        // top-right triangle
  EXPECT_FALSE(r.contains(QPoint(tab + 40, 5)));     // the gap between the tabs
  EXPECT_FALSE(r.contains(QPoint(w - 110, 20)));     // near the trapezoid's lower right corner
  EXPECT_FALSE(r.contains(QPoint(tab + 5, 2)));      // just inside its slanted left side
  // What stays: the title tab, the labels' tab, the body under the title bar.
  EXPECT_TRUE(r.contains(QPoint(tab - 10, 5)));
  EXPECT_TRUE(r.contains(QPoint(w - 55, 5)));        // the labels' tab at the top
  EXPECT_TRUE(r.contains(QPoint(tab + 20, 24)));     // under the trapezoid's slanted side
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
  WindowDialogsTest() : Settings(Folder.File("settings.ini"), &Prompt) {}
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
    Window->Action(QStringLiteral("actRenommer"))->trigger();
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
  const int sphere = scene.CurrentObject;
  ASSERT_EQ(scene.ObjectAt(sphere)->Name(), "Sphere1");

  RenameThroughDialog(QStringLiteral("Lune"), "rename-dialog");
  EXPECT_EQ(scene.ObjectAt(sphere)->Name(), "Lune");

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
  w.Action(QStringLiteral("actAide"))->trigger();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(fs::path(opened[0]).filename(), "index.html");
  EXPECT_EQ(w.Action(QStringLiteral("actAide"))->shortcut(), QKeySequence(Qt::Key_F1));
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
  QAction* undo = w.Action(QStringLiteral("actAnnuler"));
  QAction* redo = w.Action(QStringLiteral("actRetablir"));
  ASSERT_NE(undo, nullptr);
  EXPECT_EQ(undo->text(), "&Annuler Insertion");
  EXPECT_FALSE(redo->isEnabled());
  EXPECT_EQ(redo->shortcuts(), (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}));

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
