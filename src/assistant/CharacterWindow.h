// The guide on the desktop: a frameless, see-through window above the others showing the
// character's frames (read from its character file), shaped to the frame shown, a speech balloon beside
// it, its command menu on the right button and a command window, dragging with the left button,
// and the texts read aloud by the desktop's text-to-speech in a French voice when there is one.
// Every request returns at once; timers and the speech engine's signals complete them.
#pragma once

#include <QBitmap>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>

#include "assistant/CharacterPlayer.h"
#include "assistant/Presenter.h"
#include "assistant/PresenterQueue.h"

class QListWidget;
class QPainter;

namespace ixoral {

class TBalloon;
class TVoice;

class TCharacterWindow : public QWidget, public IAssistantPresenter {
  Q_OBJECT
 public:
  explicit TCharacterWindow(QWidget* owner = nullptr);
  ~TCharacterWindow() override;

  // Reads the character file at `file` (a path); false, with the reason in LastError(), when it
  // cannot be read. The window takes the character's frame size.
  bool Load(const std::string& id, const std::string& file) override;
  std::string LastError() const override { return FError; }
  void Unload(const std::string& id) override;
  bool Loaded() const override { return !FId.empty(); }
  TRequestId Show() override;
  TRequestId Hide() override;
  void Stop() override;
  TRequestId Speak(const std::string& text) override;
  TRequestId MoveTo(int x, int y, int speed) override;
  TRequestId GestureAt(int x, int y) override;
  TRequestId Play(const std::string& animation) override;
  bool Speaking() const override { return FSpeaking; }
  bool Visible() const override { return isVisible(); }
  int Width() const override { return width(); }
  int Height() const override { return height(); }
  int Left() const override { return x(); }
  int Top() const override { return y(); }
  void SetPosition(int left, int top) override;
  void AddCommand(const std::string& name, const std::string& caption, bool enabled, bool visible) override;
  void RemoveCommands() override;
  void SetCommandWindowVisible(bool visible) override;

  // Whether texts are read aloud when the desktop can (on by default); off, the balloon alone
  // shows them for a reading time.
  void SetVoiceEnabled(bool enabled) { FVoiceWanted = enabled; }
  // Whether a French voice reads the texts now. The first call starts looking for one, which
  // takes a moment; until it is found the balloon alone speaks.
  bool VoiceAvailable();
  // Whether the look for a voice has ended (found or not).
  bool VoiceProbed();
  TBalloon* Balloon() const { return FBalloon; }
  QWidget* CommandWindow() const;
  const TCommandList& Commands() const { return FCommands; }
  // The frames' playback (what is shown, for tests and the benchmark).
  const TFramePlayer& Player() const { return FPlayer; }
  // Runs a command as the menu does (for the command window and tests).
  void ChooseCommand(const QString& name);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  TRequestId Queue(TRequest request);
  void RunNext();
  void Begin(const TRequest& request);
  void Complete();
  void MoveTick();
  void FinishHide();
  void Rest();
  void FrameChanged();
  void Post(std::function<void()> event);
  void PlaceBalloon();
  void ShowContextMenu(const QPoint& globalPos);
  void EndSpeech();

  std::string FId;
  std::string FError;
  TFramePlayer FPlayer;
  const QImage* FShape = nullptr;            // the outline the window has now
  std::map<const QImage*, QBitmap> FShapes;  // outlines made into bitmaps, once each
  TRequestQueue FQueue;
  TCommandList FCommands;
  TBalloon* FBalloon = nullptr;
  QPointer<QListWidget> FCommandWindow;
  QTimer FMoveStep;    // steps of a move, running only while the character moves
  QTimer FRequestEnd;  // end of a timed request
  QElapsedTimer FClock;
  bool FSpeaking = false;
  bool FVoiceWanted = true;
  bool FUsingVoice = false;
  TVoice* FVoice = nullptr;
  QPoint FMoveFrom, FMoveTo;
  qint64 FMoveStart = 0, FMoveDuration = 0;
  bool FMoving = false;
  // Dragging.
  bool FDragging = false;
  QPoint FDragOffset;
};

// The speech balloon: a rounded frame with its tail toward the character, holding one text.
class TBalloon : public QWidget {
  Q_OBJECT
 public:
  explicit TBalloon(QWidget* owner);
  void SetText(const QString& text);
  QString Text() const { return FText; }
  // Whether the tail points down (balloon above the character) or up.
  void SetTailDown(bool down) {
    FTailDown = down;
    ShapeWindow();
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  void ShapeWindow();
  void Draw(QPainter& p);
  QString FText;
  bool FTailDown = true;
  QRect FTextRect;
};

}  // namespace ixoral
