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

namespace ixoral {

TFrmParamEdit::TFrmParamEdit(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt)
    : TPreviewDialog(parent, TKind::Editor, QStringLiteral("Editeur de Courbe Parametrique"), 250, help::Editeurs,
                     modeller, prompt, &settings) {
  setObjectName(QStringLiteral("FrmParamEdit"));
  SetTour(TTour::CurveEditor);
  AddEditorPreview();

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
  // A long bound shows from its first digits ("6,2831853..."), not from its last.
  FFrom->setCursorPosition(0);
  FTo->setCursorPosition(0);
  side->addWidget(interval);
  AddLastColumn(side, {.Apply = true, .OkEnabled = false});
  resize(760, 390);

  if (TScene* preview = LitPreview()) FEditor = std::make_unique<TCurveEditor>(*preview);
  Redraw();
}

TFrmParamEdit::~TFrmParamEdit() = default;

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
  Redraw();
}

void TFrmParamEdit::Accept() {
  if (FEditor && FEditor->Confirm(FModeller) < 0) return;
  accept();
}

}  // namespace ixoral
