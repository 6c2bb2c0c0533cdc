// The editors' shared pieces.
#include "ui/EditorParts.h"

#include <QColorDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>

#include "ui/ScenePanel.h"

namespace ixoral {

namespace {
QIcon EditorIcon(const char* name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(name))); }
}  // namespace

// ---------------------------------------------------------------- tool bar

TPreviewToolBar::TPreviewToolBar(QWidget* parent, TViewInteraction* interaction, TScenePanel* panel)
    : QWidget(parent), FInteraction(interaction), FPanel(panel) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  const struct {
    TOperation Op;
    const char* Hint;
    const char* Icon;
    const char* Name;
  } ops[] = {{opMove, kHintTranslation, "translation", "Translation"},
             {opRotate, kHintRotation, "rotation", "Rotation"},
             {opResize, kHintRedim, "redim", "Redimensionnement"}};
  for (int k = 0; k < 3; ++k) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(ops[k].Name));
    b->setToolTip(QString::fromUtf8(ops[k].Hint));
    b->setIcon(EditorIcon(ops[k].Icon));
    b->setCheckable(true);
    b->setAutoExclusive(true);
    b->setAutoRaise(true);
    connect(b, &QToolButton::clicked, this, [this, op = ops[k].Op] { SetOperation(op); });
    FButtons[k] = b;
    row->addWidget(b);
  }
  FAxis = new QToolButton(this);
  FAxis->setObjectName(QStringLiteral("Axes"));
  FAxis->setToolTip(QString::fromUtf8(kHintAxes));
  FAxis->setPopupMode(QToolButton::InstantPopup);
  FAxis->setAutoRaise(true);
  auto* menu = new QMenu(FAxis);
  for (int a = 0; a < 4; ++a) {
    QAction* item = menu->addAction(QString::fromUtf8(kAxisItems[a]));
    item->setObjectName(QStringLiteral("Axe%1").arg(a));
    connect(item, &QAction::triggered, this, [this, a] { SetAxis(static_cast<TAxisConstraint>(a)); });
  }
  FAxis->setMenu(menu);
  row->addWidget(FAxis);
  row->addStretch(1);
  SetOperation(interaction ? interaction->Operation() : opMove);
  SetAxis(interaction ? interaction->Axis() : axFree);
}

QToolButton* TPreviewToolBar::Button(TOperation operation) const {
  const int k = static_cast<int>(operation) - 1;
  return k >= 0 && k < 3 ? FButtons[k] : nullptr;
}

void TPreviewToolBar::SetOperation(TOperation operation) {
  if (operation == opSelect) operation = opMove;
  if (QToolButton* b = Button(operation)) b->setChecked(true);
  if (FInteraction) FInteraction->SetOperation(operation);
  if (FPanel) FPanel->UpdateCursor();
}

void TPreviewToolBar::SetAxis(TAxisConstraint axis) {
  static const char* const icons[] = {"axes", "axex", "axey", "axez"};
  const int a = std::clamp(static_cast<int>(axis), 0, 3);
  FAxis->setIcon(EditorIcon(icons[a]));
  if (FInteraction) FInteraction->SetAxis(static_cast<TAxisConstraint>(a));
  if (FPanel) FPanel->UpdateCursor();
}

// ---------------------------------------------------------------- colour swatch

TColourSwatch::TColourSwatch(QWidget* parent, QColor colour) : QLabel(parent) {
  setAutoFillBackground(true);
  setFrameShape(QFrame::Box);
  setCursor(Qt::PointingHandCursor);
  setMinimumSize(40, 20);
  SetColour(colour);
}

void TColourSwatch::SetColour(const QColor& colour) {
  FColour = colour;
  QPalette p = palette();
  p.setColor(QPalette::Window, colour);
  setPalette(p);
}

void TColourSwatch::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  const QColor chosen = QColorDialog::getColor(FColour, this);
  if (!chosen.isValid()) return;
  SetColour(chosen);
  emit Changed();
}

void TColourSwatch::keyPressEvent(QKeyEvent* event) { event->accept(); }

TColourSwatch* AddColourRow(QWidget* parent, QBoxLayout* column, const QString& caption) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(caption, parent));
  auto* swatch = new TColourSwatch(parent);
  swatch->setObjectName(QStringLiteral("Couleur"));
  row->addWidget(swatch);
  row->addStretch(1);
  column->addLayout(row);
  return swatch;
}

TTwoChoices NewTwoChoices(QWidget* parent, const QString& title, const std::pair<QString, QString>& first,
                          const std::pair<QString, QString>& second) {
  auto* box = new QGroupBox(title, parent);
  auto* row = new QHBoxLayout(box);
  TTwoChoices c{box, new QRadioButton(first.first, box), new QRadioButton(second.first, box)};
  c.First->setObjectName(first.second);
  c.Second->setObjectName(second.second);
  c.First->setChecked(true);
  row->addWidget(c.First);
  row->addWidget(c.Second);
  return c;
}

}  // namespace ixoral
