// The editors' shared pieces.
#include "ui/EditorParts.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "scene/ViewOps.h"
#include "ui/ScenePanel.h"

namespace ixoral {

namespace {
QIcon EditorIcon(const char* name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(name))); }
}  // namespace

// ---------------------------------------------------------------- preview

TPreview::TPreview(TScenePanel* panel, int width, int height, TSettingsStore& settings, double distance)
    : FPanel(panel) {
  FDrawn = std::make_unique<TDisplayScene>(width, height, &settings, panel, nullptr);
  FDrawn->Scene.FourViews = false;
  if (!FDrawn->Renderer.InitDevice()) {
    FDrawn.reset();
    return;
  }
  FDrawn->Renderer.ShowGrid = true;
  FDrawn->Renderer.ShowAxes = true;
  // The 3D view's camera `distance` times as far back as the scene's own, so that what the
  // dialog builds fits the small panel.
  TVue& view = FDrawn->Scene.Views[0];
  view.SetViewType(vtPerspective);
  TCamera camera = DefaultCamera(vtPerspective);
  camera.Position = {camera.Position.x * distance, camera.Position.y * distance, camera.Position.z * distance};
  view.SetCamera(camera);
  FInteraction = std::make_unique<TViewInteraction>(FDrawn->Scene, FDrawn->Renderer);
  FInteraction->SetOperation(opMove);
  FInteraction->SetAxis(axFree);
  panel->Attach(&FDrawn->Renderer, FInteraction.get());
  panel->UpdateCursor();
}

TPreview::~TPreview() {
  if (FPanel) FPanel->Attach(nullptr, nullptr);
}

void TPreview::Redraw() {
  if (!FDrawn) return;
  FDrawn->Scene.RedrawViews();
  FPanel->RequestRedraw();
}

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

TEditorButtons AddEditorButtons(QWidget* parent, QBoxLayout* side) {
  TEditorButtons b{};
  b.Apply = new QPushButton(QStringLiteral("Appliquer"), parent);
  b.Apply->setObjectName(QStringLiteral("Appliquer"));
  side->addWidget(b.Apply);
  auto* row = new QHBoxLayout;
  b.Ok = new QPushButton(QStringLiteral("&OK"), parent);
  b.Ok->setObjectName(QStringLiteral("OK"));
  b.Ok->setEnabled(false);
  b.Cancel = new QPushButton(QStringLiteral("&Annuler"), parent);
  b.Cancel->setObjectName(QStringLiteral("Annuler"));
  row->addWidget(b.Ok);
  row->addWidget(b.Cancel);
  side->addLayout(row);
  return b;
}

}  // namespace ixoral
