// The text editor.
#include "ui/TextEditorDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "commands/Modeller.h"
#include "scene/GlyphOutline.h"
#include "ui/EditorParts.h"

namespace ixoral {

TFrmTEditor::TFrmTEditor(QWidget* parent, TModeller& modeller, TSettingsStore& settings, IPrompt& prompt)
    : TPreviewDialog(parent, TKind::Editor, QStringLiteral("Editeur de Texte"), 180, help::Editeurs, modeller, prompt,
                     &settings) {
  setObjectName(QStringLiteral("FrmTEditor"));
  SetTour(TTour::TextEditor);
  AddEditorPreview(1.6);

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
  FSwatch = AddColourRow(Body(), side, QStringLiteral("Couleur :"));
  AddLastColumn(side, {.Apply = true, .OkEnabled = false});
  resize(700, 390);

  if (TScene* preview = LitPreview()) FEditor = std::make_unique<TTextEditor>(*preview);
  Redraw();

  connect(FFonts, &QComboBox::activated, this, &TFrmTEditor::ChooseFont);
  connect(FPrecision, &QComboBox::activated, this, [this](int index) {
    if (FEditor) FEditor->SetPrecision(index + 1);
  });

  // As the dialog opens: low precision, the first font, measured.
  FPrecision->setCurrentIndex(0);
  if (FFonts->count() > 0) {
    FFonts->setCurrentIndex(0);
    ChooseFont(0);
  }
}

TFrmTEditor::~TFrmTEditor() = default;

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
  Redraw();
}

void TFrmTEditor::Accept() {
  if (FEditor && FEditor->Confirm(FModeller) < 0) return;
  accept();
}

}  // namespace ixoral
