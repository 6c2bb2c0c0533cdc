// The resolution chooser.
#include "ui/ResolutionDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "document/PictureExport.h"

namespace ixoral {

TFrmReso::TFrmReso(QWidget* parent)
    : TDialogFrame(parent, QStringLiteral("Choix Résolution"), kDefaultTitleTab, QString::fromUtf8(help::Export)) {
  setObjectName(QStringLiteral("FrmReso"));
  auto* layout = new QVBoxLayout(Body());
  layout->setContentsMargins(18, 14, 18, 16);
  FSize = new QRadioButton(QStringLiteral("Résolution"), Body());
  FSize->setObjectName(QStringLiteral("Resolution"));
  FSizes = new QComboBox(Body());
  FSizes->setObjectName(QStringLiteral("Resolutions"));
  for (const char* r : {"320x240", "640x480", "800x600", "1024x768", "1600x1200"})
    FSizes->addItem(QString::fromLatin1(r));
  FSizes->setCurrentIndex(-1);  // no choice: 800 x 600, which the empty list shows greyed
  FSizes->setPlaceholderText(FSizes->itemText(kDefaultResolution));
  FKeep = new QRadioButton(QStringLiteral("Garder les proportions"), Body());
  FKeep->setObjectName(QStringLiteral("GarderProportions"));
  FSize->setChecked(true);
  layout->addWidget(FSize);
  layout->addWidget(FSizes);
  layout->addWidget(FKeep);
  // The size list shows only under "Résolution".
  connect(FSize, &QRadioButton::toggled, FSizes, &QWidget::setVisible);

  const TButtonRow buttons = NewOkRow(QStringLiteral("&Annuler"), kAtRight | kOkDefault);
  layout->addSpacing(6);
  layout->addLayout(buttons.Row);
  connect(buttons.Ok, &QPushButton::clicked, this, &TFrmReso::accept);
  connect(buttons.Close, &QPushButton::clicked, this, &TFrmReso::reject);
  resize(300, 200);
}

TResolutionChoice TFrmReso::Choice() const {
  TResolutionChoice c;
  c.KeepCurrentSize = FKeep->isChecked();
  c.Resolution = FSizes->currentIndex() >= 0 ? FSizes->currentIndex() : kDefaultResolution;
  return c;
}

}  // namespace ixoral
