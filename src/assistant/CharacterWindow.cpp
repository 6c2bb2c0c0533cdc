#include "assistant/CharacterWindow.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>

#ifdef IXORAL_HAVE_SPEECH
#include <QTextToSpeech>
#endif

namespace ixoral {

namespace {
constexpr int kFigureWidth = 120;
constexpr int kFigureHeight = 150;
constexpr int kFrameMs = 40;
constexpr int kShowMs = 250;
constexpr int kGestureMs = 1200;
constexpr int kExplainMs = 1600;
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
  setFixedSize(kFigureWidth, kFigureHeight);
  ShapeWindow();
  FBalloon = new TBalloon(this);
  FFrame.setInterval(kFrameMs);
  connect(&FFrame, &QTimer::timeout, this, [this] { Tick(); });
  FRequestEnd.setSingleShot(true);
  connect(&FRequestEnd, &QTimer::timeout, this, [this] { Complete(); });
  FClock.start();
}

TCharacterWindow::~TCharacterWindow() {
#ifdef IXORAL_HAVE_SPEECH
  if (FSpeech) FSpeech->stop();
#endif
  delete FCommandWindow.data();
}

bool TCharacterWindow::Load(const std::string& id, const std::string& file) {
  // Character pictures are not read yet: every character is the drawn figure.
  (void)file;
  if (FId == id) return true;
  FId = id;
  return true;
}

void TCharacterWindow::Unload(const std::string& id) {
  if (FId != id) return;
  Stop();
  RemoveCommands();
  QWidget::hide();
  FBalloon->hide();
  FId.clear();
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
TRequestId TCharacterWindow::MoveTo(int x, int y, int speed) { return Queue({0, TRequestKind::MoveTo, {}, x, y, speed}); }
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
  switch (request.Kind) {
    case TRequestKind::Show:
      if (isVisible()) {
        Complete();
        return;
      }
      QWidget::show();
      FFrame.start();
      Post([this] {
        if (Events.Shown) Events.Shown();
      });
      FRequestEnd.start(kShowMs);
      return;
    case TRequestKind::Hide:
      EndSpeech();
      FBalloon->hide();
      FFrame.stop();
      QWidget::hide();
      Complete();
      Post([this] {
        if (Events.Hidden) Events.Hidden();
      });
      return;
    case TRequestKind::Speak: {
      const QString text = QString::fromStdString(request.Text);
      FBalloon->SetText(text);
      PlaceBalloon();
      if (isVisible()) FBalloon->show();
      FSpeaking = true;
      FUsingVoice = false;
#ifdef IXORAL_HAVE_SPEECH
      if (VoiceAvailable()) {
        FUsingVoice = true;
        FSpeech->say(text);
        // A voice that never reports its end must not hold the queue: the reading time, doubled.
        FRequestEnd.start(2 * BalloonMilliseconds(request.Text) + 5000);
        update();
        return;
      }
#endif
      FRequestEnd.start(BalloonMilliseconds(request.Text));
      update();
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
      return;  // the frame timer ends it
    }
    case TRequestKind::GestureAt:
      FPose = TPose::Gesture;
      FGestureTarget = QPoint(request.X, request.Y);
      ShapeWindow();
      FRequestEnd.start(kGestureMs);
      update();
      return;
    case TRequestKind::Play:
      if (request.Text == "Explain" || request.Text == "Speaking") {
        FPose = TPose::Explain;
        ShapeWindow();
        FRequestEnd.start(kExplainMs);
        update();
      } else {
        Complete();  // an animation this figure does not have ends at once
      }
      return;
  }
}

void TCharacterWindow::EndSpeech() {
#ifdef IXORAL_HAVE_SPEECH
  if (FUsingVoice && FSpeech) FSpeech->stop();
#endif
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
  if (kind == TRequestKind::GestureAt || kind == TRequestKind::Play) {
    FPose = TPose::Idle;
    ShapeWindow();
  }
  if (kind == TRequestKind::MoveTo) {
    FMoving = false;
    Post([this, p = pos()] {
      if (Events.Moved) Events.Moved(p.x(), p.y());
    });
  }
  const TRequestId id = FQueue.CompleteCurrent();
  Post([this, id] {
    if (Events.RequestComplete) Events.RequestComplete(id);
  });
  if (!FQueue.Empty()) Post([this] { RunNext(); });
  update();
}

void TCharacterWindow::Stop() {
  FRequestEnd.stop();
  EndSpeech();
  FMoving = false;
  FPose = TPose::Idle;
  ShapeWindow();
  FBalloon->hide();
  for (TRequestId id : FQueue.Clear())
    Post([this, id] {
      if (Events.RequestComplete) Events.RequestComplete(id);
    });
  update();
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

void TCharacterWindow::Tick() {
  if (FMoving) {
    const double t = std::clamp(static_cast<double>(FClock.elapsed() - FMoveStart) / static_cast<double>(FMoveDuration), 0.0, 1.0);
    const double eased = t * t * (3 - 2 * t);
    move(FMoveFrom + (FMoveTo - FMoveFrom) * eased);
    if (t >= 1) Complete();
  }
  update();
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
  if (!FSpeechProbed) {
    FSpeechProbed = true;
    if (!QTextToSpeech::availableEngines().isEmpty()) {
      FSpeech = new QTextToSpeech(this);
      bool french = false;
      for (const QLocale& l : FSpeech->availableLocales())
        if (l.language() == QLocale::French) {
          FSpeech->setLocale(l);
          french = true;
          break;
        }
      if (!french || FSpeech->state() == QTextToSpeech::Error) {
        delete FSpeech;
        FSpeech = nullptr;
      } else {
        // The "Speaking" state follows the engine; its return to rest ends the request.
        connect(FSpeech, &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State s) {
          if (!FUsingVoice) return;
          if (s == QTextToSpeech::Speaking) FSpeaking = true;
          if (s == QTextToSpeech::Ready || s == QTextToSpeech::Error) {
            const TRequest* current = FQueue.Current();
            if (current && current->Kind == TRequestKind::Speak) Complete();
          }
        });
      }
    }
  }
  return FSpeech != nullptr;
#else
  return false;
#endif
}

// The drawn figure: a small wizard in a starry robe and pointed hat, breathing, blinking, moving
// its mouth while it speaks and raising its arm to point or explain.
void TCharacterWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const double t = static_cast<double>(FClock.elapsed()) / 1000.0;
  DrawFigure(p, t, 2.0 * std::sin(t * 2.2));
}

// The window's shape: the figure at both ends of its breathing with its arm as the pose holds it,
// so that a desktop without transparency shows the figure and not a square around it. Taken
// again whenever the pose changes.
void TCharacterWindow::ShapeWindow() {
  QImage shape(size(), QImage::Format_ARGB32_Premultiplied);
  shape.fill(Qt::transparent);
  {
    QPainter p(&shape);
    DrawFigure(p, 1.0, -2.5);
    DrawFigure(p, 1.0, 2.5);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 12, Qt::SolidLine, Qt::RoundCap));
    // The explaining arm sweeps; the resting and pointing arms are in the figure drawn above.
    for (int k = 0; FPose == TPose::Explain && k <= 10; ++k) {
      const double a = -1.1 + k * 0.1;
      for (double bob : {-2.5, 0.0, 2.5}) {
        const QPointF shoulder(70, 78 + bob);
        p.drawLine(shoulder, shoulder + QPointF(std::cos(a), std::sin(a)) * 31);
      }
    }
  }
  setMask(QBitmap::fromImage(shape.createAlphaMask()));
}

void TCharacterWindow::DrawFigure(QPainter& p, double t, double bob) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(0, bob);
  const QColor robe(52, 72, 168), robeDark(34, 46, 120), skin(246, 214, 180), beard(245, 245, 245);

  // Staff on the left.
  p.setPen(QPen(QColor(120, 80, 40), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(22, 60), QPointF(22, 146));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(120, 220, 255));
  p.drawEllipse(QPointF(22, 56), 7, 7);

  // Robe.
  QPainterPath gown;
  gown.moveTo(60, 62);
  gown.lineTo(98, 146);
  gown.quadTo(60, 152, 24, 146);
  gown.closeSubpath();
  p.setBrush(robe);
  p.drawPath(gown);
  p.setBrush(QColor(255, 230, 120));
  for (const QPointF& s : {QPointF(52, 110), QPointF(72, 126), QPointF(64, 92), QPointF(44, 134)}) p.drawEllipse(s, 2.2, 2.2);

  // Arm: resting, pointing toward the gesture's target, or waving while it explains.
  double angle = 1.9;  // radians from the shoulder, downward-left at rest
  const QPointF shoulder(70, 78);
  if (FPose == TPose::Gesture) {
    const QPointF target = mapFromGlobal(FGestureTarget);
    angle = std::atan2(target.y() - shoulder.y(), target.x() - shoulder.x());
  } else if (FPose == TPose::Explain) {
    angle = -0.6 + 0.5 * std::sin(t * 6);
  } else {
    angle = 1.2;
  }
  const QPointF hand = shoulder + QPointF(std::cos(angle), std::sin(angle)) * 30;
  p.setPen(QPen(robeDark, 9, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(shoulder, hand);
  p.setPen(Qt::NoPen);
  p.setBrush(skin);
  p.drawEllipse(hand, 5, 5);

  // Face, beard and eyes.
  p.setBrush(skin);
  p.drawEllipse(QPointF(60, 52), 15, 16);
  QPainterPath beardPath;
  beardPath.moveTo(46, 54);
  beardPath.quadTo(60, 104, 74, 54);
  beardPath.quadTo(60, 64, 46, 54);
  p.setBrush(beard);
  p.drawPath(beardPath);
  const bool blink = std::fmod(t, 4.0) < 0.15;
  p.setBrush(QColor(30, 30, 60));
  if (blink) {
    p.setPen(QPen(QColor(30, 30, 60), 1.5));
    p.drawLine(QPointF(51, 48), QPointF(57, 48));
    p.drawLine(QPointF(63, 48), QPointF(69, 48));
    p.setPen(Qt::NoPen);
  } else {
    p.drawEllipse(QPointF(54, 48), 2.2, 2.6);
    p.drawEllipse(QPointF(66, 48), 2.2, 2.6);
  }
  // Mouth: opens and closes while speaking.
  const double open = FSpeaking ? 1.0 + 3.0 * std::fabs(std::sin(t * 11)) : 0.8;
  p.setBrush(QColor(150, 40, 40));
  p.drawEllipse(QPointF(60, 60), 4.0, open);

  // Hat.
  QPainterPath hat;
  hat.moveTo(38, 40);
  hat.lineTo(82, 40);
  hat.lineTo(66, 2);
  hat.quadTo(60, 0, 58, 6);
  hat.closeSubpath();
  p.setBrush(robe);
  p.drawPath(hat);
  p.setBrush(robeDark);
  p.drawRoundedRect(QRectF(34, 36, 52, 7), 3, 3);
  p.setBrush(QColor(255, 230, 120));
  p.drawEllipse(QPointF(62, 22), 3, 3);
  p.drawEllipse(QPointF(55, 31), 2, 2);
  p.restore();
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
  const QRectF body = FTailDown ? QRectF(1, 1, width() - 2, height() - tail - 2) : QRectF(1, tail + 1, width() - 2, height() - tail - 2);
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
