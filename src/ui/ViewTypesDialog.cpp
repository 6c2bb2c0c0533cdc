// The view-type dialog.
#include "ui/ViewTypesDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "commands/Modeller.h"
#include "scene/ViewOps.h"
#include "ui/ScenePanel.h"

namespace ixoral {

TfrmParams::TfrmParams(QWidget* parent, TModeller& modeller, TSettingsStore& settings)
    : TDialogFrame(parent, QStringLiteral("Paramètres des vues"), 180, QString::fromUtf8(help::Interface)),
      FModeller(modeller),
      FSettings(settings) {
  setObjectName(QStringLiteral("frmParams"));
  SetTour(TTour::ViewParameters);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);
  FPanel = new TScenePanel(Body());
  FPanel->setObjectName(QStringLiteral("Apercu"));
  FPanel->setFixedSize(400, 300);
  FPanel->setMouseTracking(true);
  FPanel->installEventFilter(this);
  layout->addWidget(FPanel);

  auto* side = new QVBoxLayout;
  auto* grid = new QGridLayout;
  const TScene& main = modeller.Scene();
  for (int v = 0; v < 4; ++v) {
    auto* list = new QComboBox(Body());
    list->setObjectName(QStringLiteral("V%1").arg(v + 1));
    for (const char* caption : ViewTypeCaptions) list->addItem(QString::fromUtf8(caption));
    list->setCurrentIndex(std::min<int>(main.Views[static_cast<size_t>(v)].ViewType, 3));
    connect(list, &QComboBox::activated, this, [this] { ApplyLists(); });
    FLists[static_cast<size_t>(v)] = list;
    grid->addWidget(new QLabel(QStringLiteral("Vue %1").arg(v + 1), Body()), v / 2 * 2, v % 2);
    grid->addWidget(list, v / 2 * 2 + 1, v % 2);
  }
  side->addLayout(grid);
  side->addStretch(1);
  const TButtonRow buttons = NewOkRow(QStringLiteral("&Annuler"), kOkDefault);
  side->addLayout(buttons.Row);
  layout->addSpacing(12);
  layout->addLayout(side);
  connect(buttons.Ok, &QPushButton::clicked, this, &TfrmParams::Confirm);
  connect(buttons.Close, &QPushButton::clicked, this, &TfrmParams::reject);
  resize(680, 360);

  // The preview: the main scene's objects (their meshes lent to each drawing) and lights, the grid
  // on, view 0 highlighted.
  FDrawn = std::make_unique<TDisplayScene>(400, 300, &settings, FPanel);
  FDrawn->Scene.FourViews = true;
  if (!FDrawn->Renderer.InitDevice()) {
    FDrawn.reset();
    return;
  }
  FDrawn->Renderer.AutoRedraw = false;
  FDrawn->Renderer.ShowGrid = true;
  FMeshes = std::make_unique<TMeshLoan>(modeller.Scene(), FDrawn->Scene);
  TScene::CopyDeviceLights(modeller.Scene(), FDrawn->Scene);
  FDrawn->Scene.ClearSelection();
  FPanel->AroundWork = [this](const std::function<void()>& work) { FMeshes->During(work); };
  FPanel->Attach(&FDrawn->Renderer, nullptr);
  // Drawn once, when the panel is shown at its size.
  SetViewTypes();
  FPanel->RequestRedraw();
}

TfrmParams::~TfrmParams() {
  // The panel outlives the loan it draws in (a child goes with the dialog's frame).
  if (FPanel) FPanel->AroundWork = nullptr;
}

void TfrmParams::SetViewTypes() {
  for (int v = 0; v < 4; ++v) {
    const int chosen = FLists[static_cast<size_t>(v)]->currentIndex();
    // No choice: the view's own default type (Face, Gauche, Haut, Perspective in turn).
    FDrawn->Scene.Views[static_cast<size_t>(v)].SetViewType(chosen >= 0 ? chosen : v);
  }
}

void TfrmParams::ApplyLists() {
  if (!FDrawn) return;
  SetViewTypes();
  Redraw();
}

void TfrmParams::Redraw() {
  if (!FDrawn) return;
  FMeshes->During([this] { FDrawn->Renderer.RedrawViews(FHighlighted, FHighlighted, true); });
}

void TfrmParams::HoverAt(const QPoint& p) {
  const int quadrant = (p.x() >= FPanel->width() / 2 ? 1 : 0) + (p.y() >= FPanel->height() / 2 ? 2 : 0);
  if (quadrant == FHighlighted) return;
  FHighlighted = quadrant;
  Redraw();
}

bool TfrmParams::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FPanel && event->type() == QEvent::MouseMove)
    HoverAt(static_cast<QMouseEvent*>(event)->position().toPoint());
  return TDialogFrame::eventFilter(watched, event);
}

void TfrmParams::Confirm() {
  if (FDrawn) {
    // The settings store carries the preview's views to the main scene, as one step of the history.
    TScene& main = FModeller.Scene();
    FModeller.Step(
        step::Vues,
        [&] {
          for (size_t v = 0; v < 4; ++v) {
            SaveViewParams(FDrawn->Scene.Views[v], FSettings);
            LoadViewParams(main.Views[v], FSettings);
          }
          main.Notify(TSceneChange::ViewsChanged);
          main.RedrawViews();
        },
        true);
  }
  accept();
}

}  // namespace ixoral
