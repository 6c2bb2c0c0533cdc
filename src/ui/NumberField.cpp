// Numeric entry fields.
#include "ui/NumberField.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <algorithm>

#include "platform/NumberFormat.h"

namespace ixoral {

bool FilterNumericKey(QLineEdit& field, QKeyEvent& e, bool* changed) {
  const bool control = e.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  const bool typed = e.key() == Qt::Key_Backspace || (!e.text().isEmpty() && e.text().at(0).isPrint());
  if (control || !typed) return false;
  const QString before = field.text();
  const int start = field.hasSelectedText() ? field.selectionStart() : field.cursorPosition();
  const int length = field.hasSelectedText() ? static_cast<int>(field.selectedText().size()) : 0;
  TFieldEdit edit{before.toStdString(), static_cast<int>(before.left(start).toUtf8().size()),
                  static_cast<int>(before.mid(start, length).toUtf8().size())};
  char key = 'x';  // refused
  if (e.key() == Qt::Key_Backspace)
    key = kBackspace;
  else if (e.text().size() == 1 && e.text().at(0).unicode() < 128)
    key = static_cast<char>(e.text().at(0).unicode());
  NumericKeyFilter(edit, key);
  const QString after = QString::fromStdString(edit.Text);
  if (after != before) {
    field.setText(after);
    field.setCursorPosition(std::clamp(edit.SelStart, 0, static_cast<int>(after.size())));
  }
  if (changed) *changed = after != before;
  e.accept();
  return true;
}

TNumberField::TNumberField(QWidget* parent) : QLineEdit(parent) {}

void TNumberField::keyPressEvent(QKeyEvent* event) {
  // Enter confirms the field, and only the field: the dialog's default button stays out of it.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    emit Finished();
    return;
  }
  bool changed = false;
  if (!FilterNumericKey(*this, *event, &changed)) {
    const QString before = text();
    QLineEdit::keyPressEvent(event);
    changed = text() != before;
  }
  if (changed && IsNumberEntry(text().toStdString())) emit Typed();
}

void TNumberField::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) emit Finished();
}

}  // namespace ixoral
