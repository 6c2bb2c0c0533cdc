// The guide on the desktop: a frameless, see-through window above the others holding the
// character (its pictures, or a small wizard drawn here when it has none), a speech balloon beside
// it, its command menu on the right button and a command window, dragging with the left button,
// and the texts read aloud by the desktop's text-to-speech in a French voice when there is one.
// Every request returns at once; timers and the speech engine's signals complete them.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "assistant/Presenter.h"
#include "assistant/PresenterQueue.h"

class QListWidget;
class QPainter;
class QTextToSpeech;

namespace ixoral {

class TBalloon;

class TCharacterWindow : public QWidget, public IAssistantPresenter {
  Q_OBJECT
 public:
  explicit TCharacterWindow(QWidget* owner = nullptr);
  ~TCharacterWindow() override;

  bool Load(const std::string& id, const std::string& file) override;
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
  // Whether a French voice reads the texts now.
  bool VoiceAvailable();
  TBalloon* Balloon() const { return FBalloon; }
  QWidget* CommandWindow() const;
  const TCommandList& Commands() const { return FCommands; }
  // Runs a command as the menu does (for the command window and tests).
  void ChooseCommand(const QString& name);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  TRequestId Queue(TRequest request);
  void RunNext();
  void Begin(const TRequest& request);
  void Complete();
  void Tick();
  void Post(std::function<void()> event);
  void PlaceBalloon();
  void ShowContextMenu(const QPoint& globalPos);
  void EndSpeech();
  void ShapeWindow();
  void DrawFigure(QPainter& p, double t, double bob);

  std::string FId;
  TRequestQueue FQueue;
  TCommandList FCommands;
  TBalloon* FBalloon = nullptr;
  QPointer<QListWidget> FCommandWindow;
  QTimer FFrame;       // drawing of the figure's motion
  QTimer FRequestEnd;  // end of a timed request
  QElapsedTimer FClock;
  bool FSpeaking = false;
  bool FVoiceWanted = true;
  bool FUsingVoice = false;
  QTextToSpeech* FSpeech = nullptr;
  bool FSpeechProbed = false;
  // Animation in progress.
  enum class TPose { Idle, Gesture, Explain } FPose = TPose::Idle;
  QPoint FGestureTarget;
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
