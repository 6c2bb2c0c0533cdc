// The resolution chooser ("Choix Résolution") of a picture export: one of the export sizes, or
// the proportions of the view kept.
#pragma once

#include "commands/Modeller.h"
#include "ui/DialogFrame.h"

class QComboBox;
class QRadioButton;

namespace ixoral {

class TFrmReso : public TDialogFrame {
  Q_OBJECT
 public:
  explicit TFrmReso(QWidget* parent);

  // The choice: the size index (800 x 600 when none is chosen) and whether the view's proportions
  // are kept.
  TResolutionChoice Choice() const;
  QRadioButton* SizeButton() const { return FSize; }
  QRadioButton* KeepButton() const { return FKeep; }
  QComboBox* Sizes() const { return FSizes; }

 private:
  QRadioButton* FSize = nullptr;
  QRadioButton* FKeep = nullptr;
  QComboBox* FSizes = nullptr;
};

}  // namespace ixoral
