// The tool box window.
#include "ui/ToolBox.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QIcon>
#include <QToolButton>

#include "ui/QtPlatform.h"

namespace ixoral {

const std::array<TInsertCommand, kInsertCommandCount> kToolBoxOrder = {
    TInsertCommand::Cube,   TInsertCommand::CubePerce, TInsertCommand::Sphere, TInsertCommand::Cylindre,
    TInsertCommand::Cone,   TInsertCommand::Pyramide,  TInsertCommand::Tore,   TInsertCommand::Parametrique,
    TInsertCommand::Cercle, TInsertCommand::ParoiH,    TInsertCommand::ParoiV, TInsertCommand::Texte3D};

QIcon InsertIcon(TInsertCommand command) {
  return QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(InsertCommandInfo(command).Icon)));
}

// A tool window kept above the main window (window managers do not all keep a tool window above
// its parent), and never above the dialogs and message boxes: see event().
TToolBox::TToolBox(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  // Shown or brought back, it leaves the keyboard where the user is typing.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setObjectName(QStringLiteral("ToolBox"));
  setWindowTitle(QStringLiteral("ToolBox"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(3, 3, 3, 3);
  grid->setSpacing(2);
  for (size_t k = 0; k < kToolBoxOrder.size(); ++k) {
    const TInsertCommand command = kToolBoxOrder[k];
    const TInsertCommandInfo& info = InsertCommandInfo(command);
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("ToolBox_%1").arg(QString::fromLatin1(info.Keyword)));
    button->setIcon(InsertIcon(command));
    button->setIconSize(QSize(28, 28));
    button->setAutoRaise(true);
    // The shape names; the curve's button says "Param", as its shape is named.
    button->setToolTip(command == TInsertCommand::Parametrique ? QStringLiteral("Param") : ToQt(info.Hint));
    connect(button, &QToolButton::clicked, this, [this, command] { emit InsertRequested(static_cast<int>(command)); });
    grid->addWidget(button, static_cast<int>(k / 2), static_cast<int>(k % 2));
  }
  setPalette([this] {
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(128, 158, 235));
    return p;
  }());
  setAutoFillBackground(true);
}

bool TToolBox::event(QEvent* event) {
  // While a dialog or a message box holds the main window, the tool box steps aside so that it
  // covers none of their buttons, and comes back where it was once they are closed.
  if (event->type() == QEvent::WindowBlocked && isVisible()) {
    FSteppedAside = true;
    hide();
  } else if (event->type() == QEvent::WindowUnblocked && FSteppedAside) {
    FSteppedAside = false;
    show();
  }
  return QWidget::event(event);
}

void TToolBox::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}

}  // namespace ixoral
