// The scene panel widget: events in, interaction calls out, the surface shown as it is.
#include "ui/ScenePanel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWheelEvent>

#include <array>
#include <cmath>

namespace ixoral {

TScenePanel::TScenePanel(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(64, 48);
  setObjectName(QStringLiteral("ScenePanel"));
}

void TScenePanel::Attach(TSceneRenderer* renderer, TViewInteraction* interaction) {
  FRenderer = renderer;
  FInteraction = interaction;
  if (FRenderer) {
    FRenderer->PixelRatio = devicePixelRatioF();
    const QSize s = SurfaceSizeFor(size());
    if (s.width() > 0 && s.height() > 0 && FRenderer->Resize(s.width(), s.height()) && FInteraction)
      FInteraction->SetPanelSize(s.width(), s.height());
  }
  UpdateCursor();
  RequestRedraw();
}

QSize TScenePanel::SurfaceSizeFor(const QSize& logical) const {
  const qreal dpr = devicePixelRatioF();
  return {std::max(1, int(std::lround(logical.width() * dpr))), std::max(1, int(std::lround(logical.height() * dpr)))};
}

QPoint TScenePanel::SurfacePoint(const QPointF& logical) const {
  const qreal dpr = devicePixelRatioF();
  return {int(std::floor(logical.x() * dpr)), int(std::floor(logical.y() * dpr))};
}

void TScenePanel::WrapSurface() {
  TSurface* s = FRenderer ? FRenderer->Display().OffscreenSurface() : nullptr;
  if (!s || !s->Valid()) {
    FImage = QImage();
    FWrapped = nullptr;
    return;
  }
  if (FWrapped == s->Pixels() && FImage.width() == s->Width() && FImage.height() == s->Height()) return;
  // The surface's 0xAARRGGBB words are what QImage's RGB32 format holds: the image only points
  // at them.
  FImage = QImage(reinterpret_cast<const uchar*>(s->Pixels()), s->Width(), s->Height(), s->Width() * 4,
                  QImage::Format_RGB32);
  FImage.setDevicePixelRatio(devicePixelRatioF());
  FWrapped = s->Pixels();
}

void TScenePanel::Present(const TSurface&, const D3DRECT&, const D3DRECT&) {
  // The panel shows the surface itself; one repaint at the next turn of the event loop covers
  // every view drawn meanwhile, with the frames drawn over its neighbours.
  update();
}

void TScenePanel::RequestRedraw() {
  if (FRedrawPending) return;
  FRedrawPending = true;
  // A drawing made meanwhile (RedrawNow) answered the request: the queued call then has nothing to do.
  QTimer::singleShot(0, this, [this] {
    if (FRedrawPending) RedrawNow();
  });
}

void TScenePanel::RedrawNow() {
  FRedrawPending = false;
  ++FDrawings;
  const auto draw = [this] {
    if (FInteraction)
      FInteraction->RedrawAll();
    else if (FRenderer)
      FRenderer->RedrawViews();
  };
  if (AroundWork)
    AroundWork(draw);
  else
    draw();
}

bool TScenePanel::event(QEvent* event) {
  // A paint only shows what was drawn.
  if (!AroundWork || event->type() == QEvent::Paint) return QWidget::event(event);
  bool taken = false;
  AroundWork([&] { taken = QWidget::event(event); });
  return taken;
}

void TScenePanel::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  WrapSurface();
  if (FImage.isNull()) {
    p.fillRect(event->rect(), Qt::black);
    return;
  }
  p.drawImage(event->rect(), FImage,
              QRectF(QPointF(event->rect().topLeft()) * devicePixelRatioF(),
                     QSizeF(event->rect().size()) * devicePixelRatioF()));
}

void TScenePanel::resizeEvent(QResizeEvent*) {
  if (!FRenderer) return;
  FRenderer->PixelRatio = devicePixelRatioF();
  const QSize s = SurfaceSizeFor(size());
  if (FRenderer->Resize(s.width(), s.height()) && FInteraction) FInteraction->SetPanelSize(s.width(), s.height());
  WrapSurface();
  RequestRedraw();
}

void TScenePanel::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (!FInteraction) return;
  const QPoint p = SurfacePoint(event->position());
  const TMouseButton button = event->button() == Qt::LeftButton    ? TMouseButton::Left
                              : event->button() == Qt::RightButton ? TMouseButton::Right
                                                                   : TMouseButton::Middle;
  if (button == TMouseButton::Left) emit PressStarting();
  const TPressResult r = FInteraction->Press(p.x(), p.y(), button, event->modifiers() & Qt::ControlModifier,
                                             event->modifiers() & Qt::ShiftModifier);
  if (button == TMouseButton::Right) emit ContextMenuRequested(event->globalPosition().toPoint());
  if (!r.Notice.empty()) emit Informed(QString::fromStdString(r.Notice));
  if (r.Selection != TPressSelection::None) emit Pressed(static_cast<int>(r.Selection), r.Object);
}

void TScenePanel::mouseMoveEvent(QMouseEvent* event) {
  if (!FInteraction) return;
  const QPoint p = SurfacePoint(event->position());
  FInteraction->MouseMove(p.x(), p.y(), event->modifiers() & Qt::ControlModifier);
  if (!FInteraction->DragStatus().empty()) emit DragValues(QString::fromStdString(FInteraction->DragStatus()));
}

void TScenePanel::mouseReleaseEvent(QMouseEvent* event) {
  if (!FInteraction) return;
  const QPoint p = SurfacePoint(event->position());
  const TMouseButton button = event->button() == Qt::LeftButton    ? TMouseButton::Left
                              : event->button() == Qt::RightButton ? TMouseButton::Right
                                                                   : TMouseButton::Middle;
  if (FInteraction->Release(p.x(), p.y(), button)) emit DragEnded();
}

void TScenePanel::wheelEvent(QWheelEvent* event) {
  if (!FInteraction) return;
  const QPoint p = SurfacePoint(event->position());
  FInteraction->Wheel(p.x(), p.y(), event->angleDelta().y());
  event->accept();
}

void TScenePanel::keyPressEvent(QKeyEvent* event) {
  // Escape cancels a drag; with none running it goes on to the window (a dialog closes).
  if (event->key() == Qt::Key_Escape && FInteraction && FInteraction->Escape()) {
    emit EscapePressed();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TScenePanel::UpdateCursor() {
  if (!FInteraction) {
    unsetCursor();
    return;
  }
  setCursor(OperationCursor(FInteraction->Operation(), FInteraction->Axis()));
}

// ---------------------------------------------------------------- cursors

namespace {

// An arrow head at `tip` pointing along `angle` (radians, screen y downwards).
void ArrowHead(QPainterPath& path, QPointF tip, double angle, double size) {
  const QPointF back(tip.x() - size * std::cos(angle), tip.y() - size * std::sin(angle));
  const QPointF side(-std::sin(angle) * size * 0.55, std::cos(angle) * size * 0.55);
  path.moveTo(tip);
  path.lineTo(back + side);
  path.lineTo(back - side);
  path.closeSubpath();
}

}  // namespace

QCursor OperationCursor(TOperation operation, TAxisConstraint axis) {
  if (operation == opSelect) return QCursor(Qt::ArrowCursor);
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  const QPointF c(13, 13);
  if (operation == opMove) {
    // Four arrows from the centre.
    for (int k = 0; k < 4; ++k) {
      const double a = k * M_PI / 2;
      const QPointF tip(c.x() + 11 * std::cos(a), c.y() + 11 * std::sin(a));
      shape.moveTo(c);
      shape.lineTo(QPointF(c.x() + 6 * std::cos(a), c.y() + 6 * std::sin(a)));
      ArrowHead(shape, tip, a, 5);
    }
  } else if (operation == opRotate) {
    // Three quarters of a circle ending in an arrow.
    shape.arcMoveTo(QRectF(c.x() - 9, c.y() - 9, 18, 18), 90);
    shape.arcTo(QRectF(c.x() - 9, c.y() - 9, 18, 18), 90, 270);
    ArrowHead(shape, QPointF(c.x(), c.y() - 9), 0, 6);
  } else {
    // A diagonal double arrow with a small square.
    shape.moveTo(4, 22);
    shape.lineTo(22, 4);
    ArrowHead(shape, QPointF(23, 3), -M_PI / 4, 7);
    ArrowHead(shape, QPointF(3, 23), 3 * M_PI / 4, 7);
  }
  p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(shape);
  p.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::black);
  p.drawPath(shape);
  if (axis != axFree) {
    static const std::array<QColor, 3> colours{QColor(220, 30, 30), QColor(20, 160, 20), QColor(30, 60, 230)};
    const QString letter = QString(QChar(u'X' + (axis - axX)));
    QFont font;
    font.setPixelSize(13);
    font.setBold(true);
    p.setFont(font);
    const QRectF box(18, 18, 14, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(box, 3, 3);
    p.setPen(colours[size_t(axis - axX)]);
    p.drawText(box, Qt::AlignCenter, letter);
  }
  p.end();
  return QCursor(pixmap, 13, 13);
}

}  // namespace ixoral
