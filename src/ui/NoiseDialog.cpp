// "Bruit": a random displacement of the object's points, tried on the preview.
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/EditorParts.h"
#include "ui/QtPlatform.h"
#include "ui/ScenePanel.h"
#include "ui/ToolDialogs.h"

namespace ixoral {

TFrmBruit::TFrmBruit(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index)
    : TToolDialog(parent, QStringLiteral("Bruit"), modeller, prompt, settings, index) {
  setObjectName(QStringLiteral("FrmBruit"));
  SetTour(TTour::Noise);

  auto* left = new QVBoxLayout;
  auto* ranges = new QGroupBox(QStringLiteral("Plages de Bruit"), Body());
  auto* grid = new QGridLayout(ranges);
  const std::array<const char*, 4> captions{"Entre  - 0.01 et 0.01", "Entre - 0.1 et 0.1", "entre - 0.5 et 0.5",
                                            "autre, entre                  et"};
  for (int k = 0; k < 4; ++k) {
    FRanges[size_t(k)] = new QRadioButton(QString::fromUtf8(captions[size_t(k)]), ranges);
    FRanges[size_t(k)]->setObjectName(QStringLiteral("Plage%1").arg(k + 1));
    grid->addWidget(FRanges[size_t(k)], k, 0, 1, k == 3 ? 1 : 4);
    connect(FRanges[size_t(k)], &QRadioButton::clicked, this, [this, k] { SetRange(k + 1); });
  }
  FRanges[0]->setChecked(true);
  FMin = NewToolNumberField(ranges, QStringLiteral("0"));
  FMin->setObjectName(QStringLiteral("Min"));
  FMax = NewToolNumberField(ranges, QStringLiteral("100"));
  FMax->setObjectName(QStringLiteral("Max"));
  grid->addWidget(FMin, 4, 0);
  grid->addWidget(new QLabel(QStringLiteral("et"), ranges), 4, 1);
  grid->addWidget(FMax, 4, 2);
  left->addWidget(ranges);

  const TTwoChoices sign =
      NewTwoChoices(Body(), QStringLiteral("Type de bruit"), {QStringLiteral("Addition"), QStringLiteral("Addition")},
                    {QStringLiteral("Soustraction"), QStringLiteral("Soustraction")});
  FAddition = sign.First;
  FSubtraction = sign.Second;
  left->addWidget(sign.Box);

  left->addWidget(CreateProgress());
  left->addStretch(1);
  AddApplyButton(left);
  AddColumn(left);

  // The preview with its tool bar: the operation, the axis, and what the mouse moves.
  auto* right = new QVBoxLayout;
  QHBoxLayout* tools =
      CreateOperationRow({{"Translation", opMove}, {"Rotation", opRotate}, {"Redimenssionnement", opResize}}, opMove);
  FAxes = new QComboBox(Body());
  FAxes->setObjectName(QStringLiteral("SelectionAxes"));
  FAxes->setToolTip(QStringLiteral("Selection des Axes"));
  FAxes->addItems({QStringLiteral("default"), QStringLiteral("sur l'axe X"), QStringLiteral("sur l'axe Y"),
                   QStringLiteral("sur l'axe Z")});
  connect(FAxes, &QComboBox::currentIndexChanged, this, [this](int k) {
    if (FInteraction) FInteraction->SetAxis(static_cast<TAxisConstraint>(std::clamp(k, 0, 3)));
    if (FPanel) FPanel->UpdateCursor();
  });
  FTarget = new QComboBox(Body());
  FTarget->setObjectName(QStringLiteral("Deplacer"));
  // A list shows no mnemonics: the captions without their "&".
  for (const char* caption : {"&Déplacer l'objet", "Dé&placer la vue"})
    FTarget->addItem(QString::fromUtf8(caption).remove(QLatin1Char('&')));
  connect(FTarget, &QComboBox::currentIndexChanged, this, [this](int k) {
    // The mouse works on the selection, or on the view's camera when nothing is selected.
    if (!FDrawn) return;
    if (k == 1)
      FDrawn->Scene.ClearSelection();
    else
      FDrawn->Scene.SelectObject(FShown);
  });
  tools->addWidget(FAxes);
  tools->addWidget(FTarget);
  tools->addStretch(1);
  right->addLayout(tools);
  right->addWidget(CreateObjectPreview(280, 257, true));
  if (FDrawn) FDrawn->Renderer.ShowGrid = true;
  right->addWidget(CreateFillChoice(true));
  AddOkButtons(right, false);
  AddColumn(right);
  resize(640, 430);
  Redraw();
}

void TFrmBruit::SetRange(int range) {
  FRange = std::clamp(range, 1, 4);
  FRanges[size_t(FRange - 1)]->setChecked(true);
}

bool TFrmBruit::ApplyNoise(std::optional<int32_t> seed) {
  if (!FDrawn) return false;
  FProgress->show();
  FProgress->setValue(10);
  TNoiseChoice choice;
  choice.Range = FRange;
  choice.MinText = FromQt(FMin->text());
  choice.MaxText = FromQt(FMax->text());
  choice.Addition = FAddition->isChecked();
  std::string message;
  const bool done = ApplyNoisePreview(FDrawn->Scene, FMain, Target(), choice, seed ? *seed : DrawNoiseSeed(), message);
  FProgress->setValue(100);
  FProgress->hide();
  ShowChosenFill();
  Redraw();
  if (!done) {
    if (!message.empty()) FPrompt.Error(message);
    return false;
  }
  FOk->setEnabled(true);
  return true;
}

void TFrmBruit::Accept() {
  if (FDrawn) FModeller.ApplyToolResult(Target(), FDrawn->Scene, TModeller::TToolResult::WholeObject);
  accept();
}

}  // namespace ixoral
