#include "ui/TourHosts.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPropertyAnimation>
#include <QTextEdit>

namespace ixoral {

namespace {

QString Name(const std::string& name) { return QString::fromStdString(name); }

TScreenRect ToScreenRect(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

}  // namespace

bool PointerCanBeMoved() { return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

TScreenRect ScreenRectOf(const QWidget& widget) {
  return ToScreenRect(QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size()));
}

// A drawn mouse pointer gliding to where the tour points, for desktops where the real pointer
// cannot be moved by a program. It lets every click through to what lies below.
class TTourPointer : public QWidget {
 public:
  TTourPointer()
      : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(24, 30);
    FGlide.setTargetObject(this);
    FGlide.setPropertyName("pos");
    FGlide.setDuration(600);
    FGlide.setEasingCurve(QEasingCurve::InOutCubic);
    FRest.setSingleShot(true);
    FRest.setInterval(2500);
    QObject::connect(&FRest, &QTimer::timeout, this, &QWidget::hide);
  }

  void GlideTo(const QPoint& tip) {
    FGlide.stop();
    if (!isVisible()) {
      move(QCursor::pos());
      show();
    }
    FGlide.setStartValue(pos());
    FGlide.setEndValue(tip);
    FGlide.start();
    FRest.start(FGlide.duration() + FRest.interval());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 22);
    arrow.lineTo(6.5, 17);
    arrow.lineTo(10.5, 27);
    arrow.lineTo(14, 25.5);
    arrow.lineTo(10, 16);
    arrow.lineTo(17, 16);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
  }

 private:
  QPropertyAnimation FGlide;
  QTimer FRest;
};

// ---------------------------------------------------------------- the main window

TMainTourHost::TMainTourHost(QMainWindow& window) : FWindow(window) {}

TMainTourHost::~TMainTourHost() = default;

TScreenRect TMainTourHost::WindowRect() const { return ToScreenRect(FWindow.frameGeometry()); }

std::optional<TScreenRect> TMainTourHost::ControlRect(const std::string& name) const {
  const QWidget* w = FWindow.findChild<QWidget*>(Name(name));
  if (!w || !w->isVisible()) return std::nullopt;
  return ScreenRectOf(*w);
}

QMenu* TMainTourHost::Menu(const std::string& name) const { return FWindow.findChild<QMenu*>(Name(name)); }

std::optional<TScreenRect> TMainTourHost::MenuTitleRect(const std::string& menu) const {
  QMenu* m = Menu(menu);
  QMenuBar* bar = FWindow.menuBar();
  if (!m || !bar || !bar->isVisible()) return std::nullopt;
  const QRect r = bar->actionGeometry(m->menuAction());
  if (r.isEmpty()) return std::nullopt;
  return ToScreenRect(QRect(bar->mapToGlobal(r.topLeft()), r.size()));
}

std::optional<TScreenRect> TMainTourHost::ItemRect(QMenu* menu, QAction* item) const {
  if (!menu || !menu->isVisible() || !item) return std::nullopt;
  const QRect r = menu->actionGeometry(item);
  if (r.isEmpty()) return std::nullopt;
  return ToScreenRect(QRect(menu->mapToGlobal(r.topLeft()), r.size()));
}

std::optional<TScreenRect> TMainTourHost::MenuItemRect(const std::string& menu, const std::string& submenu) const {
  QMenu* m = Menu(menu);
  QMenu* sub = m ? m->findChild<QMenu*>(Name(submenu)) : nullptr;
  return ItemRect(m, sub ? sub->menuAction() : nullptr);
}

std::optional<TScreenRect> TMainTourHost::DialogItemRect(const std::string& menu, TTour tour) const {
  const std::optional<TCommandId> command = DialogCommand(tour);
  return ItemRect(Menu(menu), command ? CommandAction(*command) : nullptr);
}

QAction* TMainTourHost::CommandAction(TCommandId id) const {
  return FWindow.findChild<QAction*>(QString::fromStdString(CommandInfo(id).Name));
}

void TMainTourHost::MovePointer(int x, int y) {
  FPointerTarget = QPoint(x, y);
  if (!FDrawnPointer) {
    QCursor::setPos(FPointerTarget);
    return;
  }
  if (!FPointer) FPointer = std::make_unique<TTourPointer>();
  FPointer->GlideTo(FPointerTarget);
}

QWidget* TMainTourHost::DrawnPointer() const { return FPointer.get(); }

void TMainTourHost::OpenMenu(const std::string& menu) {
  // What Alt and the menu's underlined letter do: the menu bar drops the menu down.
  QMenu* m = Menu(menu);
  QMenuBar* bar = FWindow.menuBar();
  if (!m || !bar) return;
  FWindow.activateWindow();
  bar->setActiveAction(m->menuAction());
}

void TMainTourHost::CloseMenu() {
  // Every open pop-up, submenus first.
  for (int guard = 0; guard < 8; ++guard) {
    QWidget* popup = QApplication::activePopupWidget();
    if (!popup) break;
    popup->close();
  }
  if (QMenuBar* bar = FWindow.menuBar()) bar->setActiveAction(nullptr);
}

void TMainTourHost::Trigger(TCommandId id) {
  // Later, from the event loop: a modal dialog opened here would hold the timer tick open.
  QPointer<QAction> a = CommandAction(id);
  if (!a) return;
  QTimer::singleShot(0, &FWindow, [a] {
    if (a && a->isEnabled()) a->trigger();
  });
}

void TMainTourHost::InsertSample(TTourSample sample) {
  CloseMenu();
  QAction* a = CommandAction(sample == TTourSample::Torus ? TCommandId::InsertTorus : TCommandId::InsertPiercedCube);
  // At once: the next sentence speaks of the object inserted.
  if (a && a->isEnabled()) a->trigger();
}

std::optional<TCommandId> TMainTourHost::DialogCommand(TTour tour) {
  switch (tour) {
    case TTour::Printing:
      return TCommandId::Print;
    case TTour::Light:
      return TCommandId::AddLight;
    case TTour::Torsion:
      return TCommandId::Torsion;
    case TTour::Noise:
      return TCommandId::Noise;
    case TTour::TextEditor:
      return TCommandId::TextEditor;
    case TTour::CurveEditor:
      return TCommandId::CurveEditor;
    case TTour::Options:
      return TCommandId::Options;
    case TTour::Envelope:
      return TCommandId::Envelope;
    case TTour::PointMode:
      return TCommandId::PointMode;
    case TTour::Texture:
      return TCommandId::Texture;
    case TTour::ViewParameters:
      return TCommandId::ViewParameters;
    case TTour::Welcome:
    case TTour::Quick:
      return std::nullopt;
  }
  return std::nullopt;
}

void TMainTourHost::OpenDialog(TTour tour) {
  if (const auto command = DialogCommand(tour)) Trigger(*command);
}

// ---------------------------------------------------------------- a dialog

TDialogTourRunner::TDialogTourRunner(QWidget& dialog, TTourVoice& voice, const TDialogTourScript& script)
    : QObject(&dialog), FDialog(dialog), FTour(voice, *this, script) {
  FTimer.setInterval(script.Interval);
  connect(&FTimer, &QTimer::timeout, this, &TDialogTourRunner::Tick);
  FPoll.setInterval(kPollInterval);
  connect(&FPoll, &QTimer::timeout, this, &TDialogTourRunner::Poll);
  FTimer.start();
}

void TDialogTourRunner::Tick() {
  FTour.Tick();
  if (FTour.Waiting() && !FPoll.isActive()) FPoll.start();
  if (FTour.Finished()) FTimer.stop();
}

void TDialogTourRunner::Poll() {
  // Pressing "OK" closes the dialog, and this runner with it: nothing is touched after.
  if (!FTour.Waiting()) {
    FPoll.stop();
    return;
  }
  QPointer<TDialogTourRunner> alive(this);
  FPoll.stop();
  if (!FTour.Poll()) {
    FPoll.start();
    return;
  }
  if (alive && FTour.Finished()) FTimer.stop();
}

TScreenRect TDialogTourRunner::DialogRect() const { return ToScreenRect(FDialog.frameGeometry()); }

QWidget* TDialogTourRunner::Control(const std::string& name) const { return FDialog.findChild<QWidget*>(Name(name)); }

std::optional<TScreenRect> TDialogTourRunner::ControlRect(const std::string& name) const {
  const QWidget* w = Control(name);
  if (!w || !w->isVisible()) return std::nullopt;
  return ScreenRectOf(*w);
}

void TDialogTourRunner::PressButton(const std::string& name) {
  auto* button = qobject_cast<QAbstractButton*>(Control(name));
  if (button && button->isEnabled()) button->click();
}

void TDialogTourRunner::TypeText(const std::string& control, const std::string& text) {
  QWidget* w = Control(control);
  if (!w) return;
  // Emptied, then typed key by key, so that the dialog reacts as to the user's typing.
  if (auto* line = qobject_cast<QLineEdit*>(w)) {
    line->selectAll();
    line->del();
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
    plain->clear();
  } else if (auto* rich = qobject_cast<QTextEdit*>(w)) {
    rich->clear();
  } else {
    return;
  }
  w->setFocus(Qt::OtherFocusReason);
  for (const QChar c : QString::fromStdString(text)) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &release);
  }
}

}  // namespace ixoral
