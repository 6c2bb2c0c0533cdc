// The rename dialog.
#include "ui/RenameDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "commands/Help.h"
#include "commands/Modeller.h"
#include "ui/QtPlatform.h"

namespace ixoral {

TFrmRename::TFrmRename(QWidget* parent, TModeller& modeller, IPrompt& prompt, int object, const QString& shownName)
    : TDialogFrame(parent, QStringLiteral("Renommer"), kDefaultTitleTab, QString::fromUtf8(help::Renommer)),
      FModeller(modeller),
      FPrompt(prompt),
      FObject(object) {
  setObjectName(QStringLiteral("FrmRename"));
  auto* layout = new QVBoxLayout(Body());
  layout->setContentsMargins(18, 14, 18, 16);
  auto* label =
      new QLabel(QStringLiteral("Entrez un nouveau nom de l'objet :  ( ") + shownName + QStringLiteral(" )"), Body());
  label->setObjectName(QStringLiteral("Invite"));
  layout->addWidget(label);
  FName = new QLineEdit(Body());
  FName->setObjectName(QStringLiteral("Nom"));
  FName->setMaxLength(255);
  layout->addWidget(FName);
  const TButtonRow buttons = NewOkRow(QStringLiteral("&Annuler"), kAtRight | kOkDefault);
  FOk = buttons.Ok;
  FOk->setEnabled(false);
  QPushButton* cancel = buttons.Close;
  layout->addSpacing(6);
  layout->addLayout(buttons.Row);

  connect(FName, &QLineEdit::textChanged, this, [this](const QString& text) { FOk->setEnabled(!text.isEmpty()); });
  connect(FName, &QLineEdit::returnPressed, this, &TFrmRename::Confirm);
  connect(FOk, &QPushButton::clicked, this, &TFrmRename::Confirm);
  connect(cancel, &QPushButton::clicked, this, &TFrmRename::reject);
  resize(std::max(380, label->sizeHint().width() + 60), 150);
}

void TFrmRename::Confirm() {
  // Enter reaches both the name field and the default button: the name is taken once.
  if (FConfirmed) return;
  FConfirmed = true;
  if (FName->text().isEmpty())
    FPrompt.Information(kMsgNameUnchanged);
  else
    FModeller.Rename(FObject, FromQt(FName->text()));
  accept();
}

}  // namespace ixoral
