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

bool PointerCanBeMoved() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

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

std::optional<TScreenRect> TMainTourHost::MenuItemRect(const std::string& menu, const std::string& item) const {
  QMenu* m = Menu(menu);
  if (!m || !m->isVisible()) return std::nullopt;
  // The item is an action of the menu, or one of its submenus, by object name.
  QAction* action = nullptr;
  if (QMenu* sub = m->findChild<QMenu*>(Name(item))) action = sub->menuAction();
  for (QAction* a : m->actions())
    if (!action && a->objectName() == Name(item)) action = a;
  if (!action) return std::nullopt;
  const QRect r = m->actionGeometry(action);
  if (r.isEmpty()) return std::nullopt;
  return ToScreenRect(QRect(m->mapToGlobal(r.topLeft()), r.size()));
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

void TMainTourHost::Trigger(const QString& action) {
  // Later, from the event loop: a modal dialog opened here would hold the timer tick open.
  QPointer<QAction> a = FWindow.findChild<QAction*>(action);
  if (!a) return;
  QTimer::singleShot(0, &FWindow, [a] {
    if (a && a->isEnabled()) a->trigger();
  });
}

void TMainTourHost::InsertSample(TTourSample sample) {
  CloseMenu();
  QAction* a = FWindow.findChild<QAction*>(sample == TTourSample::Torus ? QStringLiteral("actInserer_tore")
                                                                           : QStringLiteral("actInserer_cubeperce"));
  // At once: the next sentence speaks of the object inserted.
  if (a && a->isEnabled()) a->trigger();
}

const char* TMainTourHost::DialogAction(TTour tour) {
  switch (tour) {
    case TTour::Printing: return "actImprimer";
    case TTour::Light: return "actAjouterLumiere";
    case TTour::Torsion: return "actTorsion";
    case TTour::Noise: return "actBruit";
    case TTour::TextEditor: return "actEditeurTexte";
    case TTour::CurveEditor: return "actEditeurCourbe";
    case TTour::Options: return "actOptions";
    case TTour::Envelope: return "actEnveloppe";
    case TTour::PointMode: return "actModePoint";
    case TTour::Texture: return "actTexture";
    case TTour::ViewParameters: return "actParametresVues";
    case TTour::Welcome:
    case TTour::Quick: return "";
  }
  return "";
}

void TMainTourHost::OpenDialog(TTour tour) {
  const char* action = DialogAction(tour);
  if (*action) Trigger(QString::fromLatin1(action));
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

QWidget* TDialogTourRunner::Control(const std::string& name) const {
  return FDialog.findChild<QWidget*>(Name(name));
}

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
