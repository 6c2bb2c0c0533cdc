// The rename dialog ("Renommer"): a field for the new name of the object selected in the scene
// browser; "&OK" only while the field holds text.
#pragma once

#include "ui/DialogFrame.h"

class QLineEdit;
class QPushButton;

namespace ixoral {

class IPrompt;
class TModeller;

inline constexpr const char* kMsgNameUnchanged = "Le nom ne sera pas modifié";

class TFrmRename : public TDialogFrame {
  Q_OBJECT
 public:
  // Renames `object` (the browser's selected node, `shownName` its text) through `modeller`.
  TFrmRename(QWidget* parent, TModeller& modeller, IPrompt& prompt, int object, const QString& shownName);

  QLineEdit* NameField() const { return FName; }
  QPushButton* OkButton() const { return FOk; }

 private:
  void Confirm();

  TModeller& FModeller;
  IPrompt& FPrompt;
  int FObject;
  QLineEdit* FName = nullptr;
  QPushButton* FOk = nullptr;
  bool FConfirmed = false;
};

}  // namespace ixoral
