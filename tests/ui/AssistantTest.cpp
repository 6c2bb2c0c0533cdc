// The guide's character window on Qt's offscreen platform: requests that never block, the balloon
// and its reading time, the events, and the tips shown from the main window's "&Conseils".
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "assistant/CharacterWindow.h"
#include "ui/MainWindow.h"

using namespace ixoral;

namespace {

// The character and its balloon are separate windows; the picture shows them as they stand.
void Screenshot(TCharacterWindow& c, const char* name) {
  QRect area = c.geometry();
  if (c.Balloon()->isVisible()) area = area.united(c.Balloon()->geometry());
  QImage image(area.size(), QImage::Format_ARGB32);
  image.fill(QColor(214, 222, 240));
  QPainter p(&image);
  if (c.Balloon()->isVisible()) p.drawPixmap(c.Balloon()->pos() - area.topLeft(), c.Balloon()->grab());
  p.drawPixmap(c.pos() - area.topLeft(), c.grab());
  p.end();
  image.save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/%1.png").arg(name));
}

struct TEventLog {
  explicit TEventLog(TCharacterWindow& c) {
    c.Events.Shown = [this] { Order.push_back("shown"); };
    c.Events.Hidden = [this] { Order.push_back("hidden"); };
    c.Events.Command = [this](const std::string& n) { Order.push_back("command " + n); };
    c.Events.RequestComplete = [this](TRequestId id) { Completed.push_back(id); };
    c.Events.Moved = [this](int x, int y) { Order.push_back("moved " + std::to_string(x) + "," + std::to_string(y)); };
  }
  std::vector<std::string> Order;
  std::vector<TRequestId> Completed;
};

TEST(CharacterWindow, RequestsReturnAtOnceAndCompleteInOrderWithTheBalloonTimed) {
  TCharacterWindow c;
  c.SetVoiceEnabled(false);
  TEventLog log(c);
  EXPECT_EQ(c.Show(), 0) << "nothing is queued without a character";
  ASSERT_TRUE(c.Load(kCharacterId, "absent.acs"));
  c.SetPosition(300, 300);

  QElapsedTimer clock;
  clock.start();
  const TRequestId shown = c.Show();
  const std::string text = "Ctrl+Z annule la dernière opération.";
  const TRequestId spoken = c.Speak(text);
  const TRequestId moved = c.MoveTo(340, 320, 1);
  EXPECT_LT(clock.elapsed(), 50) << "queuing must not wait for the character";
  EXPECT_EQ(spoken, shown + 1);
  EXPECT_EQ(moved, spoken + 1);

  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Speaking(); }, 2000));
  EXPECT_TRUE(c.isVisible());
  EXPECT_TRUE(c.Balloon()->isVisible());
  EXPECT_EQ(c.Balloon()->Text(), QString::fromStdString(text));
  EXPECT_LT(c.Balloon()->geometry().bottom(), c.geometry().top() + 1) << "the balloon stands above the character";
  EXPECT_EQ(log.Order, std::vector<std::string>{"shown"});
  const qint64 speakingFrom = clock.elapsed();
  Screenshot(c, "assistant_speaking");

  // The interface keeps answering while the character speaks: the wait below runs the loop.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !c.Speaking(); }, 8000));
  const qint64 spokeFor = clock.elapsed() - speakingFrom;
  EXPECT_GE(spokeFor, BalloonMilliseconds(text) - 300);
  EXPECT_LE(spokeFor, BalloonMilliseconds(text) + 1500);
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Completed.size() == 3; }, 5000));
  EXPECT_EQ(log.Completed, (std::vector<TRequestId>{shown, spoken, moved}));
  EXPECT_EQ(c.pos(), QPoint(340, 320));
  EXPECT_EQ(log.Order.back(), "moved 340,320");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !c.Balloon()->isVisible(); }, 3000)) << "the balloon goes once read";
}

TEST(CharacterWindow, StopCompletesEverythingPendingAndHideReportsHidden) {
  TCharacterWindow c;
  c.SetVoiceEnabled(false);
  TEventLog log(c);
  c.Load(kCharacterId, {});
  c.Show();
  const TRequestId a = c.Speak("Un premier texte assez long pour durer un moment.");
  const TRequestId b = c.GestureAt(0, 0);
  const TRequestId d = c.Play("Explain");
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Speaking(); }, 2000));
  c.Stop();
  EXPECT_FALSE(c.Speaking());
  EXPECT_FALSE(c.Balloon()->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Completed.size() == 4; }, 2000));
  EXPECT_EQ(std::vector<TRequestId>(log.Completed.begin() + 1, log.Completed.end()), (std::vector<TRequestId>{a, b, d}));

  // Commands: only enabled ones reach the owner, through the event loop.
  c.AddCommand("Z", "Conseil Suivant", true, true);
  c.AddCommand("X", "Inactive", false, true);
  c.ChooseCommand("X");
  c.ChooseCommand("Z");
  c.SetCommandWindowVisible(true);
  ASSERT_NE(c.CommandWindow(), nullptr);
  EXPECT_TRUE(c.CommandWindow()->isVisible());
  c.SetCommandWindowVisible(false);
  c.Hide();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !log.Order.empty() && log.Order.back() == "hidden"; }, 2000));
  EXPECT_EQ(log.Order, (std::vector<std::string>{"shown", "command Z", "hidden"}));
  EXPECT_FALSE(c.isVisible());

  // Dragging with the left button moves the character and reports where it stopped.
  c.Show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.isVisible(); }, 2000));
  const QPoint start = c.pos();
  QTest::mousePress(&c, Qt::LeftButton, {}, QPoint(50, 50));
  QMouseEvent move(QEvent::MouseMove, QPointF(90, 70), c.mapToGlobal(QPointF(90, 70)), Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(&c, &move);
  QTest::mouseRelease(&c, Qt::LeftButton, {}, QPoint(90, 70));
  EXPECT_EQ(c.pos(), start + QPoint(40, 20));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Order.back().rfind("moved", 0) == 0; }, 2000));
}

TEST(AssistantInMainWindow, ConseilsShowsATipAndTheCommandsCycleThem) {
  test::TTempFolder folder("assistant");
  TScriptedPrompt prompt;
  test::TScriptedFiles files;
  TMemoryClipboard clipboard;
  TSettingsStore settings(folder.File("settings.ini"), &prompt);
  TfrmMain window(settings, &prompt, &files, &clipboard);
  window.Start();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.Character()->SetVoiceEnabled(false);

  QAction* tips = window.Action(QStringLiteral("actConseils"));
  ASSERT_NE(tips, nullptr);
  EXPECT_TRUE(tips->isEnabled());
  EXPECT_EQ(tips->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F1));
  window.Assistant()->SetSeed(12);
  tips->trigger();
  TCharacterWindow& c = *window.Character();
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Speaking() && window.Assistant()->CharacterVisible(); }, 3000));
  const TTipsFile& file = window.Assistant()->TipsFile();
  ASSERT_GE(file.Count(), 40);
  const long first = window.Assistant()->TipIndex();
  EXPECT_EQ(c.Balloon()->Text().toStdString(), file.Read(first - 1));
  EXPECT_TRUE(window.frameGeometry().contains(c.geometry().center()));
  Screenshot(c, "assistant_tip");

  c.ChooseCommand(QString::fromLatin1(kCmdNextTip));
  const long next = first % file.Count() + 1;
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Balloon()->Text().toStdString() == file.Read(next - 1); }, 3000));
  EXPECT_TRUE(prompt.Texts().empty());

  tips->trigger();
  EXPECT_EQ(prompt.Texts(), std::vector<std::string>{kMsgAgentLoaded});
  prompt.QueueAnswer(TAnswer::No);
  window.close();
  EXPECT_FALSE(c.isVisible());
}

}  // namespace
