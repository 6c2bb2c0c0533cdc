// The preview dialogs' common frame.
#include "ui/PreviewDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "commands/Modeller.h"
#include "scene/ViewOps.h"
#include "ui/EditorParts.h"
#include "ui/ScenePanel.h"

namespace ixoral {

QSlider* NewSlider(QWidget* parent, const char* name, int min, int max, int value) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setObjectName(QString::fromLatin1(name));
  s->setRange(min, max);
  s->setValue(value);
  return s;
}

TPreviewDialog::TPreviewDialog(QWidget* parent, TKind kind, const QString& title, int titleTab, const char* helpPage,
                               TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TDialogFrame(parent, title, titleTab, QString::fromUtf8(helpPage)),
      FModeller(modeller),
      FPrompt(prompt),
      FMain(modeller.Scene()),
      FSettings(settings),
      FIndex(index),
      FObject(FMain.IdAt(index)),
      FKind(kind) {
  FColumns = new QHBoxLayout(Body());
  FColumns->setContentsMargins(16, 12, 16, 14);
}

TPreviewDialog::~TPreviewDialog() {
  // The panel goes with the widgets; it must not draw a scene that is gone.
  if (FPanel) FPanel->Attach(nullptr, nullptr);
  FInteraction.reset();
}

void TPreviewDialog::AddColumn(QLayout* column, int stretch) {
  if (FColumns->count() > 0) FColumns->addSpacing(12);
  FColumns->addLayout(column, stretch);
}

void TPreviewDialog::AddColumn(QWidget* column, int stretch) {
  if (FColumns->count() > 0) FColumns->addSpacing(12);
  FColumns->addWidget(column, stretch);
}

// ---------------------------------------------------------------- the preview

void TPreviewDialog::CreatePanel(int width, int height) {
  FPanel = new TScenePanel(Body());
  FPanel->setObjectName(QStringLiteral("Apercu"));
  FPanel->setFixedSize(width, height);
  FDrawn = std::make_unique<TDisplayScene>(width, height, FSettings, FPanel);
  FDrawn->Scene.FourViews = false;
  if (!FDrawn->Renderer.InitDevice()) FDrawn.reset();
}

TScenePanel* TPreviewDialog::CreateObjectPreview(int width, int height, bool interaction) {
  CreatePanel(width, height);
  if (!FDrawn) return FPanel;
  TDisplayScene& d = *FDrawn;
  d.Renderer.AutoRedraw = false;
  d.Renderer.ShowAxes = false;
  d.Renderer.ShowGrid = false;
  FShown = SetUpPreview(d.Scene, d.Renderer, FMain, FIndex).PreviewIndex;
  if (interaction) {
    FInteraction = std::make_unique<TViewInteraction>(d.Scene, d.Renderer);
    FInteraction->SetOperation(FFirstOperation);
  }
  FPanel->Attach(&d.Renderer, FInteraction.get());
  FPanel->installEventFilter(this);
  return FPanel;
}

QHBoxLayout* TPreviewDialog::AddEditorPreview(double distance) {
  CreatePanel(400, 300);
  if (FDrawn) {
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
    FPanel->Attach(&FDrawn->Renderer, FInteraction.get());
  }
  FToolBar = new TPreviewToolBar(Body(), FInteraction.get(), FPanel);
  auto* tools = new QHBoxLayout;
  tools->addWidget(FToolBar);
  auto* column = new QVBoxLayout;
  column->addLayout(tools);
  column->addWidget(FPanel);
  AddColumn(column);
  return tools;
}

TScene* TPreviewDialog::LitPreview() {
  if (!FDrawn) return nullptr;
  FDrawn->Scene.CreateDefaultLight();
  FDrawn->Scene.ClearSelection();
  return &FDrawn->Scene;
}

void TPreviewDialog::Redraw() {
  if (!FPanel || !FDrawn) return;
  if (FKind == TKind::Editor) {
    // The editors' renderer draws whenever its scene asks; the panel shows it at the next turn.
    FDrawn->Scene.RedrawViews();
    FPanel->RequestRedraw();
  } else {
    FPanel->RedrawNow();
  }
}

bool TPreviewDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FPanel && FDrawn) {
    switch (event->type()) {
      case QEvent::KeyPress:
        // Escape in the preview cancels a drag there; otherwise it closes the dialog.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !(FInteraction && FInteraction->Dragging())) {
          reject();
          return true;
        }
        break;
      case QEvent::MouseButtonPress:
      case QEvent::MouseMove:
      case QEvent::MouseButtonRelease:
        if (PanelEvent(event)) return true;
        break;
      default:
        break;
    }
  }
  return TDialogFrame::eventFilter(watched, event);
}

QPoint TPreviewDialog::SurfacePoint(const QPointF& p) const {
  const qreal dpr = FPanel ? FPanel->devicePixelRatioF() : 1;
  return {int(std::floor(p.x() * dpr)), int(std::floor(p.y() * dpr))};
}

QSize TPreviewDialog::SurfaceSize() const { return FPanel ? FPanel->SurfaceSizeFor(FPanel->size()) : QSize(1, 1); }

// ---------------------------------------------------------------- tool rows

QHBoxLayout* TPreviewDialog::CreateOperationRow(std::initializer_list<TOperationButton> buttons, TOperation chosen) {
  auto* row = new QHBoxLayout;
  auto* group = new QButtonGroup(this);
  for (const TOperationButton& button : buttons) {
    auto* b = new QToolButton(Body());
    b->setText(QString::fromUtf8(button.Caption));
    b->setObjectName(QString::fromUtf8(button.Caption));
    b->setCheckable(true);
    b->setChecked(button.Operation == chosen);
    group->addButton(b);
    row->addWidget(b);
    connect(b, &QToolButton::clicked, this, [this, op = button.Operation] {
      if (FInteraction) FInteraction->SetOperation(op);
      if (FPanel) FPanel->UpdateCursor();
    });
  }
  FFirstOperation = chosen;
  return row;
}

QHBoxLayout* TPreviewDialog::CreateRotationZoomTools() {
  QHBoxLayout* row = CreateOperationRow({{"Rotation", opRotate}, {"Zoom", opResize}}, opRotate);
  row->addStretch(1);
  return row;
}

// ---------------------------------------------------------------- fill and bars

QWidget* TPreviewDialog::CreateFillChoice(bool solidFirst) {
  const TTwoChoices fill = NewTwoChoices(Body(), QStringLiteral("Mode d'affichage de l'objet"),
                                         {QStringLiteral("Solide"), QStringLiteral("Solide")},
                                         {QStringLiteral("Filaire"), QStringLiteral("Filaire")});
  QGroupBox* box = fill.Box;
  FSolid = fill.First;
  FWire = fill.Second;
  (solidFirst ? FSolid : FWire)->setChecked(true);
  connect(FSolid, &QRadioButton::toggled, this, [this] {
    if (!FDrawn) return;
    ShowChosenFill();
    Redraw();
  });
  ShowFill(solidFirst);
  return box;
}

void TPreviewDialog::ShowFill(bool solid) {
  if (FDrawn) SetPreviewFill(FDrawn->Scene, FDrawn->Renderer, FMain, Target(), solid);
}

void TPreviewDialog::ShowChosenFill() {
  if (FSolid) ShowFill(FSolid->isChecked());
}

QWidget* TPreviewDialog::CreateZoomBar(const QString& caption) {
  auto* box = new QWidget(Body());
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(caption, box));
  FZoom = NewSlider(box, "Zoom", 0, 200, 100);
  row->addWidget(FZoom);
  connect(FZoom, &QSlider::valueChanged, this, [this] {
    PlaceFromBars();
    Redraw();
  });
  return box;
}

QScrollBar* TPreviewDialog::CreateRotationBar(Qt::Orientation orientation) {
  auto* bar = new QScrollBar(orientation, Body());
  bar->setObjectName(orientation == Qt::Vertical ? QStringLiteral("RotationVerticale")
                                                 : QStringLiteral("RotationHorizontale"));
  bar->setRange(-180, 180);
  bar->setValue(0);
  (orientation == Qt::Vertical ? FVertical : FHorizontal) = bar;
  connect(bar, &QScrollBar::valueChanged, this, [this] {
    PlaceFromBars();
    Redraw();
  });
  return bar;
}

QVBoxLayout* TPreviewDialog::CreatePreviewColumn(const QString& zoomCaption) {
  auto* column = new QVBoxLayout;
  auto* previewGrid = new QGridLayout;
  previewGrid->setSpacing(0);
  previewGrid->addWidget(CreateObjectPreview(217, 233, false), 0, 0);
  previewGrid->addWidget(CreateRotationBar(Qt::Vertical), 0, 1);
  previewGrid->addWidget(CreateRotationBar(Qt::Horizontal), 1, 0);
  column->addLayout(previewGrid);
  column->addWidget(CreateZoomBar(zoomCaption));
  column->addWidget(CreateFillChoice(false));
  return column;
}

void TPreviewDialog::PlaceFromBars() {
  if (!FDrawn) return;
  PlacePreviewObject(FDrawn->Scene, FShown, FZoom ? FZoom->value() : 100, FVertical ? FVertical->value() : 0,
                     FHorizontal ? FHorizontal->value() : 0);
}

// ---------------------------------------------------------------- buttons

QPushButton* TPreviewDialog::AddApplyButton(QBoxLayout* column) {
  FApply = new QPushButton(FKind == TKind::Tool ? QStringLiteral("&Appliquer") : QStringLiteral("Appliquer"), Body());
  FApply->setObjectName(QStringLiteral("Appliquer"));
  connect(FApply, &QPushButton::clicked, this, [this] { Apply(); });
  column->addWidget(FApply);
  return FApply;
}

void TPreviewDialog::AddOkButtons(QBoxLayout* column, bool okEnabled) {
  const bool tool = FKind == TKind::Tool;
  const TButtonRow buttons =
      NewOkRow(tool ? QStringLiteral("&Fermer") : QStringLiteral("&Annuler"), tool ? kAtRight : 0);
  FOk = buttons.Ok;
  FOk->setEnabled(okEnabled);
  column->addLayout(buttons.Row);
  connect(FOk, &QPushButton::clicked, this, [this] { Accept(); });
  connect(buttons.Close, &QPushButton::clicked, this, [this] { Cancel(); });
}

void TPreviewDialog::AddLastColumn(QVBoxLayout* column, TFootButtons buttons) {
  column->addStretch(1);
  if (buttons.Apply) AddApplyButton(column);
  AddOkButtons(column, buttons.OkEnabled);
  AddColumn(column, FKind == TKind::Editor ? 1 : 0);
}

}  // namespace ixoral
