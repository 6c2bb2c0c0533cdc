#include "assistant/CharacterWindow.h"

#include "assistant/Voice.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>

namespace ixoral {

namespace {
// The window's size before a character gives it its own.
constexpr int kEmptyWidth = 120;
constexpr int kEmptyHeight = 150;
constexpr int kMoveStepMs = 30;
constexpr int kBalloonLingerMs = 1500;
constexpr int kBalloonWidth = 260;
constexpr const char* kHideCaption = "&Masquer";

Qt::WindowFlags FloatingFlags() {
  return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;
}
}  // namespace

TCharacterWindow::TCharacterWindow(QWidget* owner) : QWidget(owner, FloatingFlags()) {
  setObjectName(QStringLiteral("characterWindow"));
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(kEmptyWidth, kEmptyHeight);
  FBalloon = new TBalloon(this);
  FPlayer.SetResting(kAnimIdle);
  FPlayer.Changed = [this] { FrameChanged(); };
  FMoveStep.setInterval(kMoveStepMs);
  connect(&FMoveStep, &QTimer::timeout, this, [this] { MoveTick(); });
  FRequestEnd.setSingleShot(true);
  connect(&FRequestEnd, &QTimer::timeout, this, [this] {
    // A voice that let its cap pass without reporting its end no longer answers: the balloon
    // alone speaks from now on.
    if (FUsingVoice && FVoice) FVoice->GiveUp();
    Complete();
  });
  FClock.start();
}

TCharacterWindow::~TCharacterWindow() {
  if (FVoice) FVoice->Stop();
  delete FCommandWindow.data();
}

bool TCharacterWindow::Load(const std::string& id, const std::string& file) {
  if (FId == id) return true;
  std::shared_ptr<const TCharacterData> character = LoadCharacterData(file, FError);
  if (!character) return false;
  if (!FId.empty()) Unload(FId);
  FId = id;
  setFixedSize(character->Info.Width, character->Info.Height);
  FPlayer.SetCharacter(std::move(character));
  // The resting pose stands ready; it moves once the character is shown.
  FPlayer.Play(kAnimIdle);
  FPlayer.Stop();
  // The voice is looked for now, so that it is ready by the first words.
  VoiceAvailable();
  return true;
}

void TCharacterWindow::Unload(const std::string& id) {
  if (FId != id) return;
  Stop();
  RemoveCommands();
  QWidget::hide();
  FBalloon->hide();
  FId.clear();
  FPlayer.SetCharacter(nullptr);
  FShape = nullptr;
  FShapes.clear();
}

void TCharacterWindow::FrameChanged() {
  // The window takes the outline of the frame shown, so that a desktop without transparency
  // shows the character and not a square around it.
  const QImage* shape = FPlayer.Shape();
  if (shape && shape != FShape) {
    auto found = FShapes.find(shape);
    if (found == FShapes.end()) found = FShapes.emplace(shape, QBitmap::fromImage(*shape)).first;
    setMask(found->second);
  }
  FShape = shape;
  update();
}

void TCharacterWindow::Rest() {
  if (isVisible()) FPlayer.Play(kAnimIdle);
}

void TCharacterWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  FPlayer.Stop();  // a hidden character costs nothing
}

void TCharacterWindow::Post(std::function<void()> event) {
  // Events reach the owner from the event loop, never from inside the call that caused them.
  QTimer::singleShot(0, this, std::move(event));
}

TRequestId TCharacterWindow::Queue(TRequest request) {
  if (!Loaded()) return 0;
  const TRequestId id = FQueue.Add(std::move(request));
  if (!FQueue.Current()) Post([this] { RunNext(); });
  return id;
}

TRequestId TCharacterWindow::Show() { return Queue({0, TRequestKind::Show, {}, 0, 0, 0}); }
TRequestId TCharacterWindow::Hide() { return Queue({0, TRequestKind::Hide, {}, 0, 0, 0}); }
TRequestId TCharacterWindow::Speak(const std::string& text) { return Queue({0, TRequestKind::Speak, text, 0, 0, 0}); }
TRequestId TCharacterWindow::MoveTo(int x, int y, int speed) {
  return Queue({0, TRequestKind::MoveTo, {}, x, y, speed});
}
TRequestId TCharacterWindow::GestureAt(int x, int y) { return Queue({0, TRequestKind::GestureAt, {}, x, y, 0}); }
TRequestId TCharacterWindow::Play(const std::string& animation) {
  return Queue({0, TRequestKind::Play, animation, 0, 0, 0});
}

void TCharacterWindow::RunNext() {
  if (FQueue.Current()) return;
  const TRequest* next = FQueue.StartNext();
  if (!next) return;
  Begin(*next);
}

void TCharacterWindow::Begin(const TRequest& request) {
  // Above the windows opened since (a dialog the tour opened, where no window manager keeps the
  // character on top).
  if (isVisible()) raise();
  switch (request.Kind) {
    case TRequestKind::Show:
      if (isVisible()) {
        Complete();
        return;
      }
      QWidget::show();
      Post([this] {
        if (Events.Shown) Events.Shown();
      });
      // "Show" hands over to the resting "Idle" when it ends.
      if (!FPlayer.Play(kAnimShow, [this] { Complete(); })) {
        Rest();
        Complete();
      }
      return;
    case TRequestKind::Hide:
      EndSpeech();
      FBalloon->hide();
      if (!isVisible() || !FPlayer.Play(kAnimHide, [this] { FinishHide(); })) FinishHide();
      return;
    case TRequestKind::Speak: {
      const QString text = QString::fromStdString(request.Text);
      FBalloon->SetText(text);
      PlaceBalloon();
      if (isVisible()) {
        FBalloon->show();
        FBalloon->raise();
        FPlayer.Play(kAnimSpeaking);
      }
      FSpeaking = true;
      FUsingVoice = false;
      if (VoiceAvailable()) {
        FUsingVoice = true;
        FVoice->Say(text);
        // A voice that never reports its end (an engine without a working sound output) must not
        // hold the queue: half as long again as the reading time, and two seconds more.
        FRequestEnd.start(VoiceCapMilliseconds(request.Text));
        return;
      }
      FRequestEnd.start(BalloonMilliseconds(request.Text));
      return;
    }
    case TRequestKind::MoveTo: {
      FMoveFrom = pos();
      FMoveTo = QPoint(request.X, request.Y);
      const double distance = std::hypot(FMoveTo.x() - FMoveFrom.x(), FMoveTo.y() - FMoveFrom.y());
      if (request.Speed <= 0 || distance < 1 || !isVisible()) {
        move(FMoveTo);
        Complete();
        return;
      }
      FMoveDuration = std::clamp<qint64>(static_cast<qint64>(distance * 1.5), 200, 1500);
      FMoveStart = FClock.elapsed();
      FMoving = true;
      FPlayer.Play(kAnimMoving);
      FMoveStep.start();
      return;  // the move's steps end it
    }
    case TRequestKind::GestureAt: {
      const QPoint centre = geometry().center();
      const char* gesture = GestureToward(centre.x(), centre.y(), request.X, request.Y);
      if (!isVisible() || !FPlayer.Play(gesture, [this] { Complete(); })) Complete();
      return;
    }
    case TRequestKind::Play: {
      // An animation the character does not have ends at once; one that loops is played once
      // round, then the character rests.
      const TCharacterAnimation* a = FPlayer.Character() ? FPlayer.Character()->Info.Find(request.Text) : nullptr;
      const bool loops = a && a->Loops;
      if (!isVisible() || !FPlayer.Play(request.Text, [this, loops] {
            Complete();
            if (loops) Rest();
          }))
        Complete();
      return;
    }
  }
}

void TCharacterWindow::FinishHide() {
  FPlayer.Stop();
  QWidget::hide();
  Complete();
  Post([this] {
    if (Events.Hidden) Events.Hidden();
  });
}

void TCharacterWindow::EndSpeech() {
  if (FUsingVoice && FVoice) FVoice->Stop();
  FUsingVoice = false;
  FSpeaking = false;
}

void TCharacterWindow::Complete() {
  const TRequest* current = FQueue.Current();
  if (!current) return;
  const TRequestKind kind = current->Kind;
  FRequestEnd.stop();
  if (kind == TRequestKind::Speak) {
    EndSpeech();
    // The balloon stays a moment so the last words can be read, unless more speech follows.
    QTimer::singleShot(kBalloonLingerMs, this, [this] {
      if (!FSpeaking) FBalloon->hide();
    });
  }
  if (kind == TRequestKind::Speak) Rest();
  if (kind == TRequestKind::MoveTo) {
    FMoving = false;
    FMoveStep.stop();
    Rest();
    Post([this, p = pos()] {
      if (Events.Moved) Events.Moved(p.x(), p.y());
    });
  }
  const TRequestId id = FQueue.CompleteCurrent();
  Post([this, id] {
    if (Events.RequestComplete) Events.RequestComplete(id);
  });
  if (!FQueue.Empty()) Post([this] { RunNext(); });
}

void TCharacterWindow::Stop() {
  FRequestEnd.stop();
  EndSpeech();
  FMoving = false;
  FMoveStep.stop();
  FBalloon->hide();
  for (TRequestId id : FQueue.Clear())
    Post([this, id] {
      if (Events.RequestComplete) Events.RequestComplete(id);
    });
  Rest();
}

void TCharacterWindow::SetPosition(int left, int top) { move(left, top); }

void TCharacterWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  PlaceBalloon();
}

void TCharacterWindow::PlaceBalloon() {
  FBalloon->adjustSize();
  const QSize b = FBalloon->size();
  QRect screen(0, 0, 1920, 1080);
  if (QScreen* s = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) screen = s->availableGeometry();
  int left = x() + width() / 2 - b.width() / 2;
  left = std::clamp(left, screen.left(), std::max(screen.left(), screen.right() - b.width()));
  // Above the character when there is room, else below it.
  const bool above = y() - b.height() >= screen.top();
  FBalloon->SetTailDown(above);
  FBalloon->move(left, above ? y() - b.height() : y() + height());
}

void TCharacterWindow::MoveTick() {
  if (!FMoving) return;
  const double t =
      std::clamp(static_cast<double>(FClock.elapsed() - FMoveStart) / static_cast<double>(FMoveDuration), 0.0, 1.0);
  const double eased = t * t * (3 - 2 * t);
  move(FMoveFrom + (FMoveTo - FMoveFrom) * eased);
  if (t >= 1) Complete();
}

void TCharacterWindow::AddCommand(const std::string& name, const std::string& caption, bool enabled, bool visible) {
  FCommands.Add({name, caption, enabled, visible});
  if (FCommandWindow) SetCommandWindowVisible(FCommandWindow->isVisible());
}

void TCharacterWindow::RemoveCommands() {
  FCommands.Clear();
  if (FCommandWindow) FCommandWindow->clear();
}

QWidget* TCharacterWindow::CommandWindow() const { return FCommandWindow.data(); }

void TCharacterWindow::SetCommandWindowVisible(bool visible) {
  if (!visible) {
    if (FCommandWindow) FCommandWindow->hide();
    return;
  }
  if (!FCommandWindow) {
    FCommandWindow = new QListWidget(nullptr);
    FCommandWindow->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    FCommandWindow->setWindowTitle(QStringLiteral("Commandes"));
    connect(FCommandWindow, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ChooseCommand(item->data(Qt::UserRole).toString()); });
  }
  FCommandWindow->clear();
  for (const TCommandEntry& e : FCommands.MenuEntries()) {
    auto* item = new QListWidgetItem(QString::fromStdString(e.Caption).remove(QLatin1Char('&')), FCommandWindow);
    item->setData(Qt::UserRole, QString::fromStdString(e.Name));
    if (!e.Enabled) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
  }
  FCommandWindow->show();
}

void TCharacterWindow::ChooseCommand(const QString& name) {
  const std::optional<TCommandEntry> entry = FCommands.Find(name.toStdString());
  if (!entry || !entry->Enabled) return;
  Post([this, n = name.toStdString()] {
    if (Events.Command) Events.Command(n);
  });
}

void TCharacterWindow::ShowContextMenu(const QPoint& globalPos) {
  QMenu menu(this);
  for (const TCommandEntry& e : FCommands.MenuEntries()) {
    QAction* a = menu.addAction(QString::fromStdString(e.Caption));
    a->setEnabled(e.Enabled);
    const QString name = QString::fromStdString(e.Name);
    connect(a, &QAction::triggered, this, [this, name] { ChooseCommand(name); });
  }
  if (!menu.isEmpty()) menu.addSeparator();
  // Hiding by the user goes through the queue like any request, after what is under way stops.
  connect(menu.addAction(QString::fromUtf8(kHideCaption)), &QAction::triggered, this, [this] {
    Stop();
    Hide();
  });
  menu.exec(globalPos);
}

void TCharacterWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    ShowContextMenu(event->globalPosition().toPoint());
    return;
  }
  if (event->button() == Qt::LeftButton) {
    FDragging = true;
    FDragOffset = event->globalPosition().toPoint() - pos();
  }
}

void TCharacterWindow::mouseMoveEvent(QMouseEvent* event) {
  if (FDragging) move(event->globalPosition().toPoint() - FDragOffset);
}

void TCharacterWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !FDragging) return;
  FDragging = false;
  Post([this, p = pos()] {
    if (Events.Moved) Events.Moved(p.x(), p.y());
  });
}

bool TCharacterWindow::VoiceAvailable() {
#ifdef IXORAL_HAVE_SPEECH
  if (!FVoiceWanted) return false;
  if (!FVoice) {
    FVoice = new TVoice(this);
    // The "Speaking" state follows the engine; its return to rest ends the request.
    connect(FVoice, &TVoice::Started, this, [this] {
      if (FUsingVoice) FSpeaking = true;
    });
    connect(FVoice, &TVoice::Finished, this, [this] {
      if (!FUsingVoice) return;
      const TRequest* current = FQueue.Current();
      if (current && current->Kind == TRequestKind::Speak) Complete();
    });
  }
  return FVoice->State() == TVoice::TState::Available;
#else
  return false;
#endif
}

bool TCharacterWindow::VoiceProbed() {
  VoiceAvailable();
  return !FVoice || FVoice->State() != TVoice::TState::Probing;
}

void TCharacterWindow::paintEvent(QPaintEvent*) {
  const QImage* frame = FPlayer.Frame();
  if (!frame) return;
  QPainter p(this);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(0, 0, *frame);
}

TBalloon::TBalloon(QWidget* owner) : QWidget(owner, FloatingFlags()) {
  setObjectName(QStringLiteral("characterBalloon"));
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TBalloon::SetText(const QString& text) {
  FText = text;
  const QFontMetrics fm(font());
  const QRect bounds = fm.boundingRect(QRect(0, 0, kBalloonWidth - 24, 10000), Qt::TextWordWrap, text);
  FTextRect = QRect(12, 10, kBalloonWidth - 24, bounds.height());
  setFixedSize(kBalloonWidth, bounds.height() + 20 + 14);
  ShapeWindow();
  update();
}

// The window takes the balloon's outline, for desktops without transparency.
void TBalloon::ShapeWindow() {
  QImage shape(size(), QImage::Format_ARGB32_Premultiplied);
  shape.fill(Qt::transparent);
  QPainter p(&shape);
  Draw(p);
  p.end();
  setMask(QBitmap::fromImage(shape.createAlphaMask()));
}

void TBalloon::paintEvent(QPaintEvent*) {
  QPainter p(this);
  Draw(p);
}

void TBalloon::Draw(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  const int tail = 14;
  const QRectF body = FTailDown ? QRectF(1, 1, width() - 2, height() - tail - 2)
                                : QRectF(1, tail + 1, width() - 2, height() - tail - 2);
  QPainterPath path;
  path.addRoundedRect(body, 10, 10);
  QPolygonF tip;
  const double cx = width() / 2.0;
  if (FTailDown)
    tip << QPointF(cx - 10, body.bottom() - 1) << QPointF(cx + 2, height() - 1.0) << QPointF(cx + 8, body.bottom() - 1);
  else
    tip << QPointF(cx - 10, body.top() + 1) << QPointF(cx + 2, 1) << QPointF(cx + 8, body.top() + 1);
  path.addPolygon(tip);
  path.setFillRule(Qt::WindingFill);
  p.setPen(QPen(QColor(60, 60, 60), 1.2));
  p.setBrush(QColor(255, 255, 225));
  p.drawPath(path.simplified());
  p.setPen(Qt::black);
  p.drawText(FTextRect.translated(0, FTailDown ? 0 : tail), Qt::TextWordWrap, FText);
}

}  // namespace ixoral
