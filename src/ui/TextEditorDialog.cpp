// The text editor.
#include "ui/TextEditorDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "commands/Modeller.h"
#include "scene/GlyphOutline.h"
#include "ui/EditorParts.h"
#include "ui/ScenePanel.h"

namespace ixoral {

TFrmTEditor::TFrmTEditor(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt)
    : TDialogFrame(parent, QStringLiteral("Editeur de Texte"), 180, QString::fromUtf8(help::Editeurs)),
      FModeller(modeller),
      FPrompt(prompt) {
  setObjectName(QStringLiteral("FrmTEditor"));
  SetTour(TTour::TextEditor);
  auto* layout = new QHBoxLayout(Body());
  layout->setContentsMargins(16, 12, 16, 14);

  auto* left = new QVBoxLayout;
  FPanel = new TScenePanel(Body());
  FPanel->setObjectName(QStringLiteral("Apercu"));
  FPanel->setFixedSize(400, 300);
  FPreview = std::make_unique<TPreview>(FPanel, 400, 300, settings, 1.6);
  FToolBar = new TPreviewToolBar(Body(), FPreview->Interaction(), FPanel);
  left->addWidget(FToolBar);
  left->addWidget(FPanel);
  layout->addLayout(left);

  auto* side = new QVBoxLayout;
  side->addWidget(new QLabel(QStringLiteral("Entrez le texte à inserer :"), Body()));
  FText = new QLineEdit(Body());
  FText->setObjectName(QStringLiteral("Texte"));
  FText->setMaxLength(static_cast<int>(kMaxTextParamLength));
  side->addWidget(FText);
  side->addWidget(new QLabel(QStringLiteral("Selectionnez la police :"), Body()));
  FFonts = new QComboBox(Body());
  FFonts->setObjectName(QStringLiteral("Polices"));
  FFonts->setMaxVisibleItems(20);
  for (const std::string& family : ScreenFontFamilies()) FFonts->addItem(QString::fromStdString(family));
  side->addWidget(FFonts);
  side->addWidget(new QLabel(QStringLiteral("Précision du texte :"), Body()));
  FPrecision = new QComboBox(Body());
  FPrecision->setObjectName(QStringLiteral("Precision"));
  for (const char* p : kTextPrecisions) FPrecision->addItem(QString::fromUtf8(p));
  side->addWidget(FPrecision);
  FFill = new QCheckBox(QStringLiteral("Remplir le texte"), Body());
  FFill->setObjectName(QStringLiteral("Remplir"));
  FFill->setChecked(true);
  side->addWidget(FFill);
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(new QLabel(QStringLiteral("Couleur :"), Body()));
  FSwatch = new TColourSwatch(Body());
  FSwatch->setObjectName(QStringLiteral("Couleur"));
  colourRow->addWidget(FSwatch);
  colourRow->addStretch(1);
  side->addLayout(colourRow);
  side->addStretch(1);
  const TEditorButtons buttons = AddEditorButtons(Body(), side);
  FApply = buttons.Apply;
  FOk = buttons.Ok;
  QPushButton* cancel = buttons.Cancel;
  layout->addSpacing(12);
  layout->addLayout(side, 1);
  resize(700, 390);

  // The preview is lit by a light of its own.
  if (FPreview->Ready()) {
    FPreview->Scene().CreateDefaultLight();
    FPreview->Scene().ClearSelection();
    FEditor = std::make_unique<TTextEditor>(FPreview->Scene());
    FPreview->Redraw();
  }

  connect(FFonts, &QComboBox::activated, this, &TFrmTEditor::ChooseFont);
  connect(FPrecision, &QComboBox::activated, this, [this](int index) {
    if (FEditor) FEditor->SetPrecision(index + 1);
  });
  connect(FApply, &QPushButton::clicked, this, &TFrmTEditor::Apply);
  connect(FOk, &QPushButton::clicked, this, &TFrmTEditor::Confirm);
  connect(cancel, &QPushButton::clicked, this, &TFrmTEditor::reject);

  // As the dialog opens: low precision, the first font, measured.
  FPrecision->setCurrentIndex(0);
  if (FFonts->count() > 0) {
    FFonts->setCurrentIndex(0);
    ChooseFont(0);
  }
}

TFrmTEditor::~TFrmTEditor() = default;

TScene* TFrmTEditor::Preview() { return FPreview && FPreview->Ready() ? &FPreview->Scene() : nullptr; }

void TFrmTEditor::ChooseFont(int index) {
  if (!FEditor || index < 0) return;
  const QString family = FFonts->itemText(index);
  QFont f = FText->font();
  f.setFamily(family);
  FText->setFont(f);
  std::string message;
  if (!FEditor->SetFont(family.toStdString(), FPrecision->currentIndex() + 1, &message)) FPrompt.Error(message);
}

void TFrmTEditor::Apply() {
  if (!FEditor) return;
  const std::string message = FEditor->Apply(FText->text().toStdString(), FFill->isChecked(), FSwatch->D3DColour());
  if (!message.empty()) {
    FPrompt.Information(message);
    return;
  }
  FOk->setEnabled(true);
  FPreview->Redraw();
}

void TFrmTEditor::Confirm() {
  if (FEditor && FEditor->Confirm(FModeller) < 0) return;
  accept();
}

}  // namespace ixoral
