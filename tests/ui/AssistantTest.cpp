// The guide's character window on Qt's offscreen platform: requests that never block, the balloon
// and its reading time, the events, and the tips shown from the main window's "&Conseils".
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ScriptedFiles.h"
#include "TempFolder.h"
#include "assistant/CharacterFolders.h"
#include "assistant/CharacterWindow.h"
#include "assistant/Voice.h"
#include "commands/Preferences.h"
#include "platform/Settings.h"
#include "ui/MainWindow.h"
#include "ui/SelectAgentDialog.h"

using namespace ixoral;

namespace {

std::string Shipped(const char* name) { return ResolveCharacterPath(name); }

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
  EXPECT_FALSE(c.Load(kCharacterId, "absent.acs"));
  EXPECT_EQ(c.LastError(), kMsgCharacterNotFound);
  EXPECT_FALSE(c.Loaded());
  ASSERT_TRUE(c.Load(kCharacterId, Shipped("merlin.acs"))) << c.LastError();
  EXPECT_EQ(QSize(c.Width(), c.Height()), QSize(128, 160)) << "the window takes the frame size";
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
  EXPECT_EQ(c.Player().Animation(), kAnimSpeaking);
  EXPECT_TRUE(c.Player().Running());
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
  EXPECT_EQ(c.Player().Animation(), kAnimIdle) << "the character rests once the requests are done";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !c.Balloon()->isVisible(); }, 3000)) << "the balloon goes once read";
}

// Only where the desktop has a speech engine with a French voice (speech-dispatcher and espeak-ng
// on Debian); elsewhere the balloon alone speaks, as the test above shows.
TEST(CharacterWindow, SpeaksAloudWithTheEngineAndTheBalloonWhereAFrenchVoiceExists) {
  TCharacterWindow c;
  // A speech service that does not answer leaves the look going on: the window is not held (the
  // wait below runs its events) and the balloon speaks alone.
  if (!QTest::qWaitFor([&] { return c.VoiceProbed(); }, 10000)) {
    EXPECT_FALSE(c.VoiceAvailable());
    GTEST_SKIP() << "the speech service does not answer";
  }
  if (!c.VoiceAvailable()) GTEST_SKIP() << "no French voice on this desktop";
  TEventLog log(c);
  ASSERT_TRUE(c.Load(kCharacterId, Shipped("merlin.acs"))) << c.LastError();
  c.Show();
  const TRequestId spoken = c.Speak("Bonjour.");
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Speaking(); }, 5000));
  EXPECT_TRUE(c.Balloon()->isVisible());
  EXPECT_EQ(c.Balloon()->Text(), QStringLiteral("Bonjour."));
  // The engine's return to rest ends the request; an engine that cannot make a sound (no sound
  // server reachable) is given up at the voice's cap.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !c.Speaking(); }, VoiceCapMilliseconds("Bonjour.") + 1500));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !log.Completed.empty() && log.Completed.back() == spoken; }, 2000));
}

// A speech service that takes the connection and never answers (a desktop whose service hung):
// the look for a voice goes on behind the window, the balloon speaks alone for its reading time,
// and closing the window does not wait for the service.
TEST(CharacterWindow, ASpeechServiceThatNeverAnswersHoldsNeitherTheBalloonNorTheClosing) {
  test::TTempFolder folder("silent-speechd");
  const std::string socketPath = folder.File("s.sock");
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof(addr.sun_path));
  socketPath.copy(addr.sun_path, socketPath.size());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ASSERT_EQ(::listen(listener, 4), 0);  // connections wait in the backlog, never answered
  ::setenv("SPEECHD_ADDRESS", ("unix_socket:" + socketPath).c_str(), 1);

  QElapsedTimer clock;
  clock.start();
  {
    TCharacterWindow c;
    TEventLog log(c);
    ASSERT_TRUE(c.Load(kCharacterId, Shipped("merlin.acs"))) << c.LastError();
    c.Show();
    const TRequestId spoken = c.Speak("Bonjour.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.Completed.empty() && log.Completed.back() == spoken; },
                                BalloonMilliseconds("Bonjour.") + 3000));
    EXPECT_FALSE(c.VoiceAvailable());
  }
  EXPECT_LT(clock.elapsed(), BalloonMilliseconds("Bonjour.") + 3000 + 2 * TVoice::kCloseWaitMs);
  ::unsetenv("SPEECHD_ADDRESS");
  ::close(listener);
}

TEST(CharacterWindow, StopCompletesEverythingPendingAndHideReportsHidden) {
  TCharacterWindow c;
  c.SetVoiceEnabled(false);
  TEventLog log(c);
  ASSERT_TRUE(c.Load(kCharacterId, Shipped("hibou.acs")));
  c.Show();
  const TRequestId a = c.Speak("Un premier texte assez long pour durer un moment.");
  const TRequestId b = c.GestureAt(0, 0);
  const TRequestId d = c.Play("Explain");
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Speaking(); }, 2000));
  c.Stop();
  EXPECT_FALSE(c.Speaking());
  EXPECT_FALSE(c.Balloon()->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Completed.size() == 4; }, 2000));
  EXPECT_EQ(std::vector<TRequestId>(log.Completed.begin() + 1, log.Completed.end()),
            (std::vector<TRequestId>{a, b, d}));

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
  QMouseEvent move(QEvent::MouseMove, QPointF(90, 70), c.mapToGlobal(QPointF(90, 70)), Qt::NoButton, Qt::LeftButton,
                   {});
  QApplication::sendEvent(&c, &move);
  QTest::mouseRelease(&c, Qt::LeftButton, {}, QPoint(90, 70));
  EXPECT_EQ(c.pos(), start + QPoint(40, 20));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Order.back().rfind("moved", 0) == 0; }, 2000));
}

TEST(CharacterWindow, PlaysItsAnimationsShowGesturesAndHideThenRestsUntilHidden) {
  TCharacterWindow c;
  c.SetVoiceEnabled(false);
  TEventLog log(c);
  ASSERT_TRUE(c.Load(kCharacterId, Shipped("merlin.acs")));
  EXPECT_FALSE(c.Player().Running()) << "nothing moves before the character is shown";
  c.SetPosition(400, 300);
  const TRequestId shown = c.Show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.isVisible(); }, 2000));
  EXPECT_EQ(c.Player().Animation(), kAnimShow);
  EXPECT_FALSE(c.mask().isEmpty()) << "the window takes the frame's outline";
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Completed.size() == 1; }, 3000));
  EXPECT_EQ(log.Completed[0], shown);
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Player().Animation() == kAnimIdle; }, 1000));
  EXPECT_TRUE(c.Player().Running());

  // A gesture goes toward the target's side: up, down, left, right of the character's centre.
  const QPoint centre = c.geometry().center();
  const std::pair<QPoint, const char*> targets[] = {{centre + QPoint(0, -300), kAnimGestureUp},
                                                    {centre + QPoint(20, 300), kAnimGestureDown},
                                                    {centre + QPoint(-300, 40), kAnimGestureLeft},
                                                    {centre + QPoint(300, -40), kAnimGestureRight}};
  for (const auto& [target, gesture] : targets) {
    const TRequestId id = c.GestureAt(target.x(), target.y());
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.Player().Animation() == gesture; }, 2000)) << gesture;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.Completed.empty() && log.Completed.back() == id; }, 4000)) << gesture;
  }
  // A named animation plays through; an unknown one completes at once.
  const TRequestId explained = c.Play("Explain");
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Player().Animation() == kAnimExplain; }, 2000));
  const TRequestId unknown = c.Play("Danse");
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Completed.size() == 7; }, 6000));
  EXPECT_EQ(std::vector<TRequestId>(log.Completed.end() - 2, log.Completed.end()),
            (std::vector<TRequestId>{explained, unknown}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Player().Animation() == kAnimIdle; }, 1000));

  // A move loops "Moving" while it lasts.
  c.MoveTo(600, 350, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Player().Animation() == kAnimMoving; }, 2000));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return c.pos() == QPoint(600, 350) && c.Player().Animation() == kAnimIdle; }, 4000));

  c.Hide();
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.Player().Animation() == kAnimHide; }, 2000));
  EXPECT_TRUE(c.isVisible()) << "the character stays while it disappears";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !c.isVisible(); }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.Order.back() == "hidden"; }, 2000));
  EXPECT_FALSE(c.Player().Running()) << "a hidden character costs nothing";
  QTest::qWait(300);
  EXPECT_FALSE(c.Player().Running());
}

// The chooser over a folder of copies of the shipped characters (the owl as "hibou.acs", the
// wizard under any other name).
struct TChooserFixture {
  explicit TChooserFixture(const std::vector<std::string>& names) {
    for (size_t k = 0; k < names.size(); ++k)
      std::filesystem::copy_file(Shipped(names[k] == "hibou.acs" ? "hibou.acs" : "merlin.acs"), Folder.File(names[k]));
  }
  test::TTempFolder Folder{"chooser"};
  test::TTempFolder Home{"chooser-settings"};
  TScriptedPrompt Prompt;
  TSettingsStore Settings{Home.File("settings.ini"), FailuresShownBy(Prompt)};
};

QPushButton* Button(QWidget& w, const char* name) { return w.findChild<QPushButton*>(QString::fromLatin1(name)); }
QString Field(QWidget& w, const char* name) { return w.findChild<QLineEdit*>(QString::fromLatin1(name))->text(); }

TEST(SelectAgent, NextAndPreviousFollowTheListAndOkKeepsTheCharacterShown) {
  TChooserFixture f({"merlin.acs", "hibou.acs", "zorro.acs"});
  std::ofstream(f.Folder.File("notes.txt")) << "pas un personnage";
  TSelectAgent dialog(nullptr, f.Settings, {f.Folder.Path().string()});
  EXPECT_EQ(dialog.TitleLabel()->text(), QString::fromUtf8(kSelectAgentCaption));
  EXPECT_EQ(dialog.TitleTab(), 180);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  ASSERT_EQ(dialog.Entries().size(), 3u);
  QPushButton *next = Button(dialog, "btnSuivant"), *previous = Button(dialog, "btnPrecedent");
  ASSERT_TRUE(next && previous);
  EXPECT_EQ(dialog.Current(), 0);
  EXPECT_TRUE(next->isEnabled());
  EXPECT_FALSE(previous->isEnabled());
  EXPECT_EQ(Field(dialog, "edNom"), QStringLiteral("Hibou")) << "in name order";
  EXPECT_EQ(Field(dialog, "edVersion"), QStringLiteral("1.0"));
  EXPECT_FALSE(Field(dialog, "edDescription").isEmpty());
  EXPECT_FALSE(Field(dialog, "edExtraData").isEmpty());
  EXPECT_TRUE(dialog.findChild<QLineEdit*>(QStringLiteral("edNom"))->isReadOnly());
  // The preview plays the character's resting frames, centred in the panel.
  const QRect frame = dialog.Preview()->FrameRect();
  EXPECT_EQ(frame.center(), dialog.Preview()->rect().center());
  EXPECT_EQ(dialog.Preview()->Player().Animation(), kAnimIdle);
  EXPECT_TRUE(dialog.Preview()->Player().Running());
  dialog.grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/select_agent.png"));

  QTest::mouseClick(next, Qt::LeftButton);
  EXPECT_EQ(Field(dialog, "edNom"), QStringLiteral("Merlin"));
  EXPECT_TRUE(next->isEnabled());
  EXPECT_TRUE(previous->isEnabled());
  QTest::mouseClick(next, Qt::LeftButton);
  EXPECT_EQ(dialog.Current(), 2);
  EXPECT_FALSE(next->isEnabled());
  EXPECT_TRUE(previous->isEnabled());
  QTest::mouseClick(previous, Qt::LeftButton);
  EXPECT_EQ(dialog.Current(), 1);
  dialog.grab().save(QStringLiteral(IXORAL_TEST_OUTPUT_DIR "/select_agent_merlin.png"));

  QTest::mouseClick(Button(dialog, "btnOK"), Qt::LeftButton);
  EXPECT_EQ(f.Settings.ReadString("\\options", kAgentSetting), "merlin.acs");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 3000));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(SelectAgent, OneCharacterOrNoneLeavesNextDisabledAndFermerWritesNothing) {
  {
    TChooserFixture f({"hibou.acs"});
    TSelectAgent dialog(nullptr, f.Settings, {f.Folder.Path().string()});
    EXPECT_EQ(dialog.Current(), 0);
    EXPECT_FALSE(Button(dialog, "btnSuivant")->isEnabled());
    EXPECT_FALSE(Button(dialog, "btnPrecedent")->isEnabled());
    EXPECT_EQ(Field(dialog, "edNom"), QStringLiteral("Hibou"));
    dialog.show();
    QTest::mouseClick(Button(dialog, "btnFermer"), Qt::LeftButton);
    EXPECT_EQ(f.Settings.ReadString("\\options", kAgentSetting), "");
  }
  TChooserFixture f({});
  std::filesystem::create_directory(f.Folder.File("dossier.acs"));
  TSelectAgent dialog(nullptr, f.Settings, {f.Folder.Path().string()});
  EXPECT_EQ(dialog.Current(), -1);
  EXPECT_FALSE(Button(dialog, "btnSuivant")->isEnabled());
  EXPECT_FALSE(Button(dialog, "btnPrecedent")->isEnabled());
  EXPECT_EQ(dialog.Preview()->Player().Frame(), nullptr) << "no character is shown";
  EXPECT_TRUE(Field(dialog, "edNom").isEmpty());
  dialog.show();
  QTest::mouseClick(Button(dialog, "btnOK"), Qt::LeftButton);
  EXPECT_EQ(f.Settings.ReadString("\\options", kAgentSetting), "");
}

TEST(AssistantInMainWindow, TheChosenCharacterIsTheOneLoaded) {
  test::TTempFolder folder("assistant-agent");
  TScriptedPrompt prompt;
  test::TScriptedFiles files;
  TMemoryClipboard clipboard;
  TSettingsStore settings(folder.File("settings.ini"), FailuresShownBy(prompt));
  settings.WriteString("\\options", kAgentSetting, "hibou.acs");
  TfrmMain window(settings, &prompt, &files, &clipboard);
  window.Start();
  window.Character()->SetVoiceEnabled(false);
  window.Action(TCommandId::Tips)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.Character()->Speaking(); }, 3000));
  EXPECT_EQ(QSize(window.Character()->Width(), window.Character()->Height()), QSize(120, 140)) << "the owl";
  EXPECT_TRUE(prompt.Texts().empty());
  ASSERT_NE(window.Action(TCommandId::SelectAgent), nullptr);
  EXPECT_TRUE(window.Action(TCommandId::SelectAgent)->isEnabled());
  prompt.QueueAnswer(TAnswer::No);
  window.close();
}

TEST(AssistantInMainWindow, ConseilsShowsATipAndTheCommandsCycleThem) {
  test::TTempFolder folder("assistant");
  TScriptedPrompt prompt;
  test::TScriptedFiles files;
  TMemoryClipboard clipboard;
  TSettingsStore settings(folder.File("settings.ini"), FailuresShownBy(prompt));
  TfrmMain window(settings, &prompt, &files, &clipboard);
  window.Start();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.Character()->SetVoiceEnabled(false);

  QAction* tips = window.Action(TCommandId::Tips);
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
