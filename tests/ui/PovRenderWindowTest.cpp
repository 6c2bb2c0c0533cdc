// The "Rendu POV-Ray" window and the "Exporter" submenu, driven from the main window's menu and
// tool bar: a render's progress and finished picture (screenshots), saving it, cancelling, and an
// export of the scene and of the selection.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <filesystem>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "WindowTestUtil.h"
#include "document/ModelExport.h"
#include "ui/MainWindow.h"
#include "ui/PovRenderWindow.h"

using namespace ixoral;
namespace fs = std::filesystem;

namespace {

const QString kSample = QStringLiteral(IXORAL_TEST_DATA_DIR "/../../data/samples/reference.ixr");

class PovRenderWindowTest : public ::testing::Test {
 protected:
  PovRenderWindowTest() : Settings(Folder.File("settings.ini"), FailuresShownBy(Prompt)) {}
  ~PovRenderWindowTest() override {
    if (Window) {
      Prompt.QueueAnswer(TAnswer::No);
      Window->close();
    }
  }
  TfrmMain& Open() {
    Window = std::make_unique<TfrmMain>(Settings, &Prompt, &Files, &Clipboard);
    Window->Start(kSample);
    Window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    QApplication::processEvents();
    Window->FlushPending();
    return *Window;
  }
  // The render window, opened with the tool bar's button.
  TFrmRenduPov* OpenRenderWindow() {
    auto* bar = Window->findChild<QToolBar*>(QStringLiteral("ToolBar"));
    QWidget* button = bar->widgetForAction(Window->Action(TCommandId::PovRender));
    EXPECT_NE(button, nullptr);
    if (!button) return nullptr;
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();
    return Window->findChild<TFrmRenduPov*>();
  }
  // Lets the window's timer run until `done` holds or `ms` have passed.
  template <class F>
  bool WaitFor(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(10);
    return done();
  }

  test::TTempFolder Folder{"ui-render"};
  TScriptedPrompt Prompt;
  TSettingsStore Settings;
  test::TScriptedFiles Files;
  TMemoryClipboard Clipboard;
  std::unique_ptr<TfrmMain> Window;
};

}  // namespace

TEST_F(PovRenderWindowTest, RendersTheActiveViewShowsProgressAndSavesThePicture) {
  if (FindProgram("povray").empty()) GTEST_SKIP() << "POV-Ray is not installed (Debian package povray)";
  Open();
  TFrmRenduPov* w = OpenRenderWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  auto* sizes = w->findChild<QComboBox*>(QStringLiteral("cbResolution"));
  sizes->setCurrentIndex(1);  // 640 x 480
  auto* progress = w->findChild<QProgressBar*>(QStringLiteral("pbRendu"));
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnRendre")), Qt::LeftButton);
  ASSERT_EQ(w->Job().State(), TRenderState::Running) << w->Job().Message();
  EXPECT_FALSE(w->findChild<QPushButton*>(QStringLiteral("btnRendre"))->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return w->Job().State() != TRenderState::Running; }, 120000));
  ASSERT_EQ(w->Job().State(), TRenderState::Done) << w->Job().Message();
  EXPECT_EQ(progress->value(), 100);
  EXPECT_EQ(w->Picture().size(), QSize(640, 480));
  Screenshot(w, "pov-render-result");

  const QString png = QString::fromStdString(Folder.File("rendu.png"));
  const QString jpg = QString::fromStdString(Folder.File("rendu.jpg"));
  w->ChooseSavePath = [&] { return png; };
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnEnregistrerImage")), Qt::LeftButton);
  EXPECT_TRUE(w->SavePicture(jpg));
  QImage saved(png), savedJpeg(jpg);
  EXPECT_EQ(saved.size(), QSize(640, 480));
  EXPECT_EQ(savedJpeg.size(), QSize(640, 480));
  EXPECT_EQ(saved.pixel(320, 240), w->Picture().pixel(320, 240));
  // A folder that cannot take the picture: the message, nothing written.
  EXPECT_FALSE(w->SavePicture(QString::fromStdString(Folder.File("rendu.png") + "/x.png")));
  EXPECT_EQ(Prompt.Shown().back().Text.rfind("Erreur lors de l'acces au fichier : ", 0), 0u);
}

TEST_F(PovRenderWindowTest, CancellingEndsPovRayAndAMissingPovRayIsExplained) {
  if (FindProgram("povray").empty()) GTEST_SKIP() << "POV-Ray is not installed (Debian package povray)";
  Open();
  TFrmRenduPov* w = OpenRenderWindow();
  ASSERT_NE(w, nullptr);
  w->findChild<QComboBox*>(QStringLiteral("cbResolution"))->setCurrentIndex(4);  // 1600 x 1200
  w->findChild<QCheckBox*>(QStringLiteral("chkAnticrenelage"))->setChecked(true);
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnRendre")), Qt::LeftButton);
  ASSERT_EQ(w->Job().State(), TRenderState::Running);
  const pid_t pid = w->Job().ProcessId();
  const std::string folder = w->Job().Folder();
  ASSERT_TRUE(WaitFor([&] { return w->Job().Progress() > 0.1 || w->Job().State() != TRenderState::Running; }, 30000));
  ASSERT_EQ(w->Job().State(), TRenderState::Running);
  Screenshot(w, "pov-render-progress");
  QElapsedTimer t;
  t.start();
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnAnnulerRendu")), Qt::LeftButton);
  EXPECT_LT(t.elapsed(), 1000);
  EXPECT_EQ(w->Job().State(), TRenderState::Cancelled);
  EXPECT_TRUE(::kill(pid, 0) != 0);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(w->findChild<QPushButton*>(QStringLiteral("btnRendre"))->isEnabled());

  w->Program = "povray-absent-ixoral";
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnRendre")), Qt::LeftButton);
  EXPECT_EQ(Prompt.Shown().back().Text, kMsgPovRayMissing);
  // Closing the window while a render runs ends it too.
  w->Program = "povray";
  QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("btnRendre")), Qt::LeftButton);
  ASSERT_EQ(w->Job().State(), TRenderState::Running);
  const pid_t second = w->Job().ProcessId();
  const std::string secondFolder = w->Job().Folder();
  w->close();
  // The window fades out first; the render ends as it closes.
  EXPECT_TRUE(WaitFor([&] { return ::kill(second, 0) != 0 && !fs::exists(secondFolder); }, 5000));
}

TEST_F(PovRenderWindowTest, TheExportSubmenuWritesTheSceneOrTheSelection) {
  TfrmMain& w = Open();
  auto* menu = w.findChild<QMenu*>(QStringLiteral("mnuExporter"));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title(), QStringLiteral("E&xporter"));
  Files.Export.push_back(Folder.File("scene.glb"));
  w.Action(TCommandId::ExportScene)->trigger();
  EXPECT_TRUE(fs::file_size(Folder.File("scene.glb")) > 1000);

  // The selection: nothing selected is said so; one solid selected is exported alone.
  w.Scene()->ClearSelection();
  Files.Export.push_back(Folder.File("selection.stl"));
  w.Action(TCommandId::ExportSelection)->trigger();
  EXPECT_EQ(Prompt.Shown().back().Text, "Vous devez avoir selectionné un objet auparavant");
  EXPECT_FALSE(fs::exists(Folder.File("selection.stl")));
  w.Modeller()->SelectFromBrowser(w.Scene()->IndexOfName("Cube1"));
  w.Action(TCommandId::ExportSelection)->trigger();
  // A cube: 12 triangles of 50 bytes after the 84 of the header.
  EXPECT_EQ(fs::file_size(Folder.File("selection.stl")), 84u + 12u * 50u);
}
