// The dialogs' common frame.
#include "ui/DialogFrame.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/HelpBrowser.h"

namespace ixoral {

QRegion DialogFrameRegion(int w, int h, int tab) {
  QPainterPath rounded;
  rounded.addRoundedRect(QRectF(0, 0, w, h), 40, 40);  // corner ellipses of 80 x 80
  QRegion region(rounded.toFillPolygon().toPolygon());
  region -= QRegion(QPolygon({QPoint(0, 25), QPoint(35, 0), QPoint(0, 0)}));
  region -= QRegion(QPolygon({QPoint(tab, 0), QPoint(tab + 35, 25), QPoint(w - 105, 25), QPoint(w - 70, 0)}));
  region -= QRegion(QPolygon({QPoint(w - 35, 0), QPoint(w, 0), QPoint(w, 25)}));
  return region;
}

QRegion ShrinkingRegion(int w, int h, int percent) {
  const int dx = w * percent / 200, dy = h * percent / 200;
  if (2 * dx >= w || 2 * dy >= h) return QRegion(w / 2, h / 2, 1, 1);  // a point: nothing shows
  return QRegion(dx, dy, w - 2 * dx, h - 2 * dy);
}

bool TDialogFrame::OpacitySupported() {
  // Window opacity is asked of the compositor on X11 and Wayland and kept by the offscreen
  // platform; the bare platforms have no such thing.
  const QString name = QGuiApplication::platformName();
  return name == QLatin1String("xcb") || name == QLatin1String("wayland") || name == QLatin1String("offscreen");
}

TDialogFrame::TDialogFrame(QWidget* parent, const QString& title, int titleTab, const QString& helpPage)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), FHelpPage(helpPage), FTitleTab(titleTab) {
  setModal(true);
  setWindowTitle(title);
  setAttribute(Qt::WA_TranslucentBackground, false);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kDialogColour);
  setPalette(palette);
  setAutoFillBackground(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, kTitleBarHeight, 0, 0);
  layout->setSpacing(0);
  FBody = new QWidget(this);
  FBody->setObjectName(QStringLiteral("Corps"));
  layout->addWidget(FBody, 1);

  auto label = [this](const QString& name, const QString& text, const QString& hint) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    l->setToolTip(hint);
    l->setAlignment(Qt::AlignCenter);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    SetLabelHover(l, false);
    l->installEventFilter(this);
    return l;
  };
  FTitle = label(QStringLiteral("Titre"), title, {});
  FTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The tab grows to hold the whole title in the bold font, whatever the font and its scale.
  FTitleTab = std::max(FTitleTab, 30 + FTitle->sizeHint().width() + 14);
  FClose = label(QStringLiteral("Fermer"), QStringLiteral("x"), QString::fromUtf8(kHintClose));
  FHelp = label(QStringLiteral("Aide"), QStringLiteral("?"), QString::fromUtf8(kHintHelp));
  FClose->setCursor(Qt::PointingHandCursor);
  FHelp->setCursor(Qt::PointingHandCursor);

  // Moving over any other part of the dialog turns the labels white again.
  setMouseTracking(true);
  FBody->setMouseTracking(true);
  FBody->installEventFilter(this);

  FFade.setInterval(1);
  connect(&FFade, &QTimer::timeout, this, &TDialogFrame::FadeTick);
}

void TDialogFrame::SetLabelHover(QLabel* label, bool hover) {
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, hover ? kLabelHoverColour : QColor(Qt::white));
  label->setPalette(p);
}

bool TDialogFrame::eventFilter(QObject* watched, QEvent* event) {
  auto* label = qobject_cast<QLabel*>(watched);
  const bool isLabel = label == FClose || label == FHelp;
  switch (event->type()) {
    case QEvent::Enter:
      if (isLabel) SetLabelHover(label, true);
      break;
    case QEvent::Leave:
      if (isLabel) SetLabelHover(label, false);
      break;
    case QEvent::MouseMove:
      if (watched == FBody) {
        SetLabelHover(FClose, false);
        SetLabelHover(FHelp, false);
      } else if (watched == FTitle && FDragging) {
        move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - FDragOffset);
        return true;
      }
      break;
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      if (watched == FTitle) {
        // The window manager moves the window (the only way on Wayland); where it cannot, the
        // frame follows the mouse itself.
        if (!windowHandle() || !windowHandle()->startSystemMove()) {
          FDragging = true;
          FDragOffset = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
        }
        return true;
      }
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      if (watched == FTitle) {
        FDragging = false;
        return true;
      }
      if (watched == FClose && FClose->rect().contains(mouse->position().toPoint())) {
        reject();
        return true;
      }
      if (watched == FHelp && FHelp->rect().contains(mouse->position().toPoint())) {
        ShowHelp();
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void TDialogFrame::ShowHelp() { OpenHelpPage(this, FHelpPage); }

void TDialogFrame::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int w = width();
  // Clear of the cut corner at the top left.
  FTitle->setGeometry(30, 0, std::max(0, FTitleTab - 30), kTitleBarHeight);
  FHelp->setGeometry(w - 84, 0, 18, kTitleBarHeight);
  FClose->setGeometry(w - 62, 0, 18, kTitleBarHeight);
  setMask(DialogFrameRegion(w, height(), FTitleTab));
}

namespace {
std::function<void(TDialogFrame&)>& TourStarter() {
  static std::function<void(TDialogFrame&)> starter;
  return starter;
}
}  // namespace

void TDialogFrame::SetTourStarter(std::function<void(TDialogFrame&)> starter) { TourStarter() = std::move(starter); }

void TDialogFrame::setVisible(bool visible) {
  // Centred before it is first shown: the window goes to the window manager with its place, and
  // the toolkit knows from the start where the dialog stands on screen. Moved once shown instead,
  // it can stand centred while the toolkit still places its controls at the screen's corner, and
  // a tour would point there.
  if (visible && !FCentred && !isVisible()) {
    FCentred = true;
    ensurePolished();
    if (layout()) layout()->activate();
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) move(screen->availableGeometry().center() - rect().center());
  }
  QDialog::setVisible(visible);
}

void TDialogFrame::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  setWindowOpacity(1.0);
  if (FTourStarted) return;
  FTourStarted = true;
  // The tour points at controls where they stand, so it starts once the dialog is placed.
  if (FTour && TourStarter()) TourStarter()(*this);
}

void TDialogFrame::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  p.fillRect(QRect(0, 0, width(), kTitleBarHeight), kTitleBarColour);
}

void TDialogFrame::done(int result) {
  if (FFade.isActive()) return;  // already closing: the first request stands
  if (!isVisible()) {
    QDialog::done(result);
    return;
  }
  FPendingResult = result;
  FFadePercent = 0;
  FFade.start();
}

void TDialogFrame::FadeTick() {
  const int before = FFadePercent;
  FFadePercent += 10;
  emit FadeStepped(FFadePercent);
  if (OpacitySupported()) {
    setWindowOpacity((100 - FFadePercent) / 100.0);
    if (before < 89) return;
  }
  FFade.stop();
  QDialog::done(FPendingResult);
  setWindowOpacity(1.0);
}

TDialogFrame::TButtonRow TDialogFrame::NewOkRow(const QString& closeCaption, int flags, const QString& namePrefix) {
  TButtonRow r{new QHBoxLayout, new QPushButton(QStringLiteral("&OK"), FBody), new QPushButton(closeCaption, FBody)};
  if (flags & kAtRight) r.Row->addStretch(1);
  r.Ok->setObjectName(namePrefix + QStringLiteral("OK"));
  r.Ok->setDefault(flags & kOkDefault);
  r.Close->setObjectName(namePrefix + QString(closeCaption).remove(QLatin1Char('&')));
  r.Row->addWidget(r.Ok);
  r.Row->addWidget(r.Close);
  return r;
}

}  // namespace ixoral
