// What the deformation and texture dialogs share besides their preview.
#include "ui/ToolDialogs.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "commands/Help.h"
#include "platform/NumberFormat.h"
#include "ui/NumberField.h"
#include "ui/QtPlatform.h"

namespace ixoral {

TNumberField* NewToolNumberField(QWidget* parent, const QString& text) {
  auto* f = new TNumberField(parent);
  f->setText(text);
  f->setFixedWidth(70);
  return f;
}

QString ShownNumber(double value) { return ToQt(FormatNumber(value)); }

TToolDialog::TToolDialog(QWidget* parent, const QString& title, TModeller& modeller, IPrompt& prompt,
                         TSettingsStore* settings, int index, int titleTab)
    : TPreviewDialog(parent, TKind::Tool, title, titleTab, help::Outils, modeller, prompt, settings, index) {}

QProgressBar* TToolDialog::CreateProgress() {
  FProgress = new QProgressBar(Body());
  FProgress->setRange(0, 100);
  FProgress->hide();
  return FProgress;
}

void TToolDialog::showEvent(QShowEvent* event) {
  // Enter belongs to the fields (the texture's file name applies it): no button takes it.
  for (QPushButton* b : findChildren<QPushButton*>()) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  TPreviewDialog::showEvent(event);
}

}  // namespace ixoral
