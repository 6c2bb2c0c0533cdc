// The numeric entry field of every dialog: typed keys go through the program's numeric key filter
// ('.' arrives as ','; letters are refused), and the field tells when it is left or confirmed.
#pragma once

#include <QLineEdit>

class QKeyEvent;

namespace ixoral {

// Applies a key press to a numeric line edit through the numeric key filter. Returns false for
// keys the filter has no say in (editing and navigation keys, shortcuts), which the field handles
// as usual; true when the key was taken (and `changed` tells whether the text changed).
bool FilterNumericKey(QLineEdit& field, QKeyEvent& event, bool* changed = nullptr);

class TNumberField : public QLineEdit {
  Q_OBJECT
 public:
  explicit TNumberField(QWidget* parent = nullptr);

 signals:
  // A key changed the text into something that reads as a number (not empty, not just "-").
  void Typed();
  // The field was left or Enter was pressed in it.
  void Finished();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace ixoral
