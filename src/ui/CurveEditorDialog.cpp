// The parametric curve editor.
#include "ui/CurveEditorDialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "commands/Modeller.h"
#include "scene/EvalExpr.h"
#include "ui/EditorParts.h"
#include "ui/ScenePanel.h"

namespace ixoral {

TFrmParamEdit::TFrmParamEdit(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt)
    : TDialogFrame(parent, QStringLiteral("Editeur de Courbe Parametrique"), 250, QString::fromUtf8(help::Editeurs)),
      FModeller(modeller),
      FPrompt(prompt) {
  setObjectName(QStringLiteral("FrmParamEdit"));
  SetTour(TTour::CurveEditor);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);

  auto* left = new QVBoxLayout;
  FPanel = new TScenePanel(Body());
  FPanel->setObjectName(QStringLiteral("Apercu"));
  FPanel->setFixedSize(400, 300);
  FPreview = std::make_unique<TPreview>(FPanel, 400, 300, settings);
  FToolBar = new TPreviewToolBar(Body(), FPreview->Interaction(), FPanel);
  left->addWidget(FToolBar);
  left->addWidget(FPanel);
  layout->addLayout(left);

  auto* side = new QVBoxLayout;
  auto* equations = new QGroupBox(QStringLiteral("Coordonnées en fonction du temps"), Body());
  auto* form = new QFormLayout(equations);
  const char* labels[3] = {"X :", "Y :", "Z :"};
  const char* names[3] = {"X", "Y", "Z"};
  const char* demo[3] = {kDemoX, kDemoY, kDemoZ};
  for (int k = 0; k < 3; ++k) {
    FEquations[k] = new QLineEdit(QString::fromUtf8(demo[k]), equations);
    FEquations[k]->setObjectName(QString::fromLatin1(names[k]));
    FEquations[k]->setMaxLength(static_cast<int>(kMaxExpressionLength));
    form->addRow(QString::fromUtf8(labels[k]), FEquations[k]);
  }
  side->addWidget(equations);
  auto* interval = new QGroupBox(QStringLiteral("Intervalle de t"), Body());
  auto* bounds = new QHBoxLayout(interval);
  FFrom = new QLineEdit(QString::fromUtf8(kCurveFromDefault), interval);
  FFrom->setObjectName(QStringLiteral("De"));
  FTo = new QLineEdit(QString::fromUtf8(kCurveToDefault), interval);
  FTo->setObjectName(QStringLiteral("A"));
  bounds->addWidget(new QLabel(QStringLiteral("de :"), interval));
  bounds->addWidget(FFrom);
  bounds->addWidget(new QLabel(QStringLiteral("à :"), interval));
  bounds->addWidget(FTo);
  side->addWidget(interval);
  side->addStretch(1);
  const TEditorButtons buttons = AddEditorButtons(Body(), side);
  FApply = buttons.Apply;
  FOk = buttons.Ok;
  QPushButton* cancel = buttons.Cancel;
  layout->addSpacing(12);
  layout->addLayout(side, 1);
  resize(760, 390);

  if (FPreview->Ready()) {
    FPreview->Scene().CreateDefaultLight();
    FPreview->Scene().ClearSelection();
    FEditor = std::make_unique<TCurveEditor>(FPreview->Scene());
    FPreview->Redraw();
  }
  connect(FApply, &QPushButton::clicked, this, &TFrmParamEdit::Apply);
  connect(FOk, &QPushButton::clicked, this, &TFrmParamEdit::Confirm);
  connect(cancel, &QPushButton::clicked, this, &TFrmParamEdit::reject);
}

TFrmParamEdit::~TFrmParamEdit() = default;

TScene* TFrmParamEdit::Preview() { return FPreview && FPreview->Ready() ? &FPreview->Scene() : nullptr; }

void TFrmParamEdit::Apply() {
  if (!FEditor) return;
  const std::string message =
      FEditor->Apply(FEquations[0]->text().toStdString(), FEquations[1]->text().toStdString(),
                     FEquations[2]->text().toStdString(), FFrom->text().toStdString(), FTo->text().toStdString());
  // "&OK" takes the curve in the preview, the one built now or the one kept from before.
  FOk->setEnabled(FEditor->Built());
  if (!message.empty()) {
    FPrompt.Information(message);
    return;
  }
  FPreview->Redraw();
}

void TFrmParamEdit::Confirm() {
  if (FEditor && FEditor->Confirm(FModeller) < 0) return;
  accept();
}

}  // namespace ixoral
