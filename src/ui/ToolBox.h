// The tool box: a small top-most window of twelve buttons, each inserting a shape through the main
// window's insert command. Floating (its own window) or fixed (docked under the tool bar).
#pragma once

#include <QWidget>

#include "commands/Modeller.h"

namespace ixoral {

// The tool box's order: cube, pierced cube, sphere, cylinder, cone, pyramid, torus, curve,
// circle, horizontal wall, vertical wall, 3D text.
extern const std::array<TInsertCommand, kInsertCommandCount> kToolBoxOrder;

class TToolBox : public QWidget {
  Q_OBJECT
 public:
  explicit TToolBox(QWidget* parent = nullptr);

 signals:
  void InsertRequested(int command);  // a TInsertCommand
  void Closed();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool FSteppedAside = false;  // hidden while a dialog holds the main window
};

// The picture of an insert command among the program's icons.
QIcon InsertIcon(TInsertCommand command);

}  // namespace ixoral
