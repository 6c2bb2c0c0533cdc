// The guided tours on the real main window and dialogs (offscreen): the presentation's menus,
// sample object and dialog, every control a dialog's tour points at, and a whole tool tour that
// types, applies and validates by itself. The character is a recording presenter whose speech
// the test ends, so that nothing waits for real reading times.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include "FakePresenter.h"
#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "assistant/Tips.h"
#include "ui/DialogFrame.h"
#include "ui/MainWindow.h"
#include "ui/TourHosts.h"

using namespace ixoral;

namespace {

struct TourFixture : ::testing::Test {
  test::TTempFolder Folder{"tours"};
  TScriptedPrompt Prompt;
  test::TScriptedFiles Files;
  TMemoryClipboard Clipboard;
  TSettingsStore Settings{Folder.File("settings.ini"), FailuresShownBy(Prompt)};
  std::unique_ptr<TfrmMain> Window;
  test::TFakePresenter Presenter;
  std::unique_ptr<TAssistant> Assistant;
  // Called with each dialog's runner as its tour starts.
  std::function<void(TDialogFrame&, TDialogTourRunner&)> OnDialog;

  void SetUp() override {
    Window = std::make_unique<TfrmMain>(Settings, &Prompt, &Files, &Clipboard);
    Window->Start();
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Assistant = std::make_unique<TAssistant>(Presenter, Prompt, "/nonexistent/IXORAL.TP", "");
    // The dialogs' tours follow this test's presentation rather than the window's own.
    TDialogFrame::SetTourStarter([this](TDialogFrame& dialog) {
      if (!Assistant->PresentationRunning() || !dialog.Tour()) return;
      auto* runner = new TDialogTourRunner(dialog, Assistant->Voice(), *DialogTourScript(*dialog.Tour()));
      runner->Timer().stop();  // the test ticks it
      // From the event loop, once the dialog is on the screen.
      QPointer<TDialogFrame> d(&dialog);
      QPointer<TDialogTourRunner> r(runner);
      QTimer::singleShot(0, [this, d, r] {
        if (d && r && OnDialog) OnDialog(*d, *r);
      });
    });
    Assistant->StartPresentations(*Window->TourHost());
    Assistant->OnShown();
  }
  void TearDown() override {
    TDialogFrame::SetTourStarter({});
    Prompt.QueueAnswer(TAnswer::No);
    Window->close();
    Window.reset();
  }
};

TEST_F(TourFixture, ToolTourOpensTheMenusInsertsTheTorusAndOpensTheEnvelopeDialog) {
  QMenu* tools = Window->findChild<QMenu*>(QStringLiteral("mnuOutils"));
  ASSERT_NE(tools, nullptr);
  Assistant->OnCommand("G");
  Assistant->PresentationTick();
  Assistant->PresentationTick();  // step 3: the "&Outils" menu drops down
  ASSERT_TRUE(QTest::qWaitFor([&] { return tools->isVisible(); }, 2000));
  const auto item = Window->TourHost()->MenuItemRect("mnuOutils", "mnuInserer");
  ASSERT_TRUE(item);
  EXPECT_EQ(Window->TourHost()->PointerTarget(), QPoint(item->CentreX(), item->CentreY()));

  // Where the real pointer cannot be moved, a drawn one glides to the same place.
  Window->TourHost()->SetDrawnPointer(true);
  Window->TourHost()->MovePointer(item->CentreX(), item->CentreY());
  QWidget* drawn = Window->TourHost()->DrawnPointer();
  ASSERT_NE(drawn, nullptr);
  EXPECT_TRUE(drawn->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return drawn->pos() == QPoint(item->CentreX(), item->CentreY()); }, 3000));
  EXPECT_TRUE(drawn->testAttribute(Qt::WA_TransparentForMouseEvents) ||
              drawn->windowFlags().testFlag(Qt::WindowTransparentForInput));

  Assistant->PresentationTick();                 // step 4: the torus, and the menu again
  ASSERT_EQ(Window->Scene()->ObjectCount(), 2);  // the default light and the torus
  EXPECT_EQ(Window->Scene()->ObjectAt(1)->Name().rfind("Tore", 0), 0u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return tools->isVisible(); }, 2000));
  Assistant->PresentationTick();  // step 5: the menu closes
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tools->isVisible(); }, 2000));

  bool opened = false;
  OnDialog = [&](TDialogFrame& dialog, TDialogTourRunner& runner) {
    opened = true;
    EXPECT_EQ(dialog.objectName(), QStringLiteral("FrmEnveloppe"));
    EXPECT_EQ(runner.Tour().Script().Tour, TTour::Envelope);
    dialog.reject();
  };
  Assistant->PresentationTick();  // step 6: the envelope dialog
  ASSERT_TRUE(QTest::qWaitFor([&] { return opened; }, 5000));
  EXPECT_EQ(Presenter.Spoken.back(), "en selectionnant la commande qui porte ce nom");
}

TEST_F(TourFixture, EveryControlADialogTourPointsAtIsThere) {
  // The tool dialogs act on a solid.
  Window->Action(TCommandId::InsertPiercedCube)->trigger();
  for (const TTourCommand& command : TourCommands()) {
    if (!DialogTourScript(command.Tour)) continue;
    std::vector<std::string> missing;
    bool opened = false;
    OnDialog = [&](TDialogFrame& dialog, TDialogTourRunner& runner) {
      opened = true;
      for (const TDialogTourStep& step : runner.Tour().Script().Steps)
        if (step.Control && !runner.ControlRect(step.Control) && !(step.StandIn && runner.ControlRect(step.StandIn)))
          missing.push_back(step.Control);
      for (const TDialogTourStep& step : runner.Tour().Script().Steps)
        if (step.Press && !dialog.findChild<QAbstractButton*>(QString::fromLatin1(step.Press)))
          missing.push_back(step.Press);
      dialog.reject();
    };
    Window->TourHost()->OpenDialog(command.Tour);
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened; }, 10000)) << command.Name;
    EXPECT_TRUE(missing.empty()) << command.Caption << ": " << ::testing::PrintToString(missing);
    QTest::qWait(50);  // the dialog's fade
  }
}

TEST_F(TourFixture, CurveEditorTourTypesTheEquationsAppliesAndValidates) {
  bool closed = false;
  OnDialog = [&](TDialogFrame& dialog, TDialogTourRunner& runner) {
    // The introduction at once, from the dialog's right edge.
    runner.Tick();
    EXPECT_EQ(Presenter.Moves.back().first, dialog.frameGeometry().right() + 1);
    for (int k = 0; k < 5; ++k) runner.Tick();
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("X"))->text(), QStringLiteral("0.5 * t * cos ( 5 * t )"));
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("Z"))->text(), QStringLiteral("0.5 * t * sin ( 5 * t )"));
    EXPECT_EQ(Presenter.Spoken.back(), "Cliquer sur Appliquer pour voir le résultat.");
    // The character says its sentence, goes quiet, and the tour presses "&Appliquer".
    Presenter.SpeakingNow = true;
    QTest::qWait(2 * TDialogTourRunner::kPollInterval);
    Presenter.SpeakingNow = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !runner.Tour().Waiting(); }, 2000));
    EXPECT_TRUE(Prompt.Texts().empty()) << ::testing::PrintToString(Prompt.Texts());
    runner.Tick();
    Presenter.SpeakingNow = true;
    QTest::qWait(2 * TDialogTourRunner::kPollInterval);
    Presenter.SpeakingNow = false;
    QObject::connect(&dialog, &QDialog::finished, [&] { closed = true; });
  };
  const int before = Window->Scene()->ObjectCount();
  Assistant->OnCommand("E");
  for (int k = 0; k < 3; ++k) Assistant->PresentationTick();
  Assistant->PresentationTick();  // step 4: the editor opens
  ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 10000));
  EXPECT_EQ(Presenter.Spoken.back(), "Fin de la présentation de l'éditeur de courbe paramétrique.");
  // "&OK" kept the curve the tour typed.
  EXPECT_EQ(Window->Scene()->ObjectCount(), before + 1);
}

}  // namespace
