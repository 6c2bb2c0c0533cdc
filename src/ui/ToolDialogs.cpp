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

namespace {

// A numeric entry field: every typed key goes through the program's numeric key filter; Enter
// and the editing keys work as in any field.
class TToolNumberField : public QLineEdit {
 public:
  TToolNumberField(const QString& text, QWidget* parent) : QLineEdit(text, parent) { setFixedWidth(70); }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (!FilterNumericKey(*this, *e)) QLineEdit::keyPressEvent(e);
  }
};

}  // namespace

QLineEdit* NewToolNumberField(QWidget* parent, const QString& text) { return new TToolNumberField(text, parent); }

QString ShownNumber(double value) { return ToQt(FormatNumber(value)); }

TToolDialog::TToolDialog(QWidget* parent, const QString& title, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index,
                         int titleTab)
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
