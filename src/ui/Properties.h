// The property inspector: the controls of the current object's fields on the main window's
// "Propriétés" panel, built from the command layer's description of the object (each control
// named by its key), filled with its values, with dirty marks on edited controls, applying through
// the command layer when a field is left or Enter is pressed (check boxes, lists and the colour at
// once), and Escape dropping every pending edit.
#pragma once

#include <QColor>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <optional>

#include "commands/Modeller.h"

class QLabel;

namespace ixoral {

class TProperties : public QWidget {
  Q_OBJECT
 public:
  // Built on `panel` (which it fills and scrolls in) over the modeller's scene; it follows the
  // scene's current object and changes on its own.
  TProperties(TModeller& modeller, QWidget* panel);
  ~TProperties() override;

  // Shows object `index`: when it differs from the one shown, the controls are built again for it;
  // then filled. A negative index or no such object clears the inspector.
  void Show(int index);
  // The shown object's values written into the controls (never marking them edited).
  void Fill();
  // Built and filled again for the same object (its kind or shape type may have changed).
  void Rebuild();
  // Hidden, nothing shown, no controls.
  void Clear();
  // Moves the controls 10 pixels; false when there is no more room that way.
  bool ScrollUp();
  bool ScrollDown();
  // The edited controls applied to the object, then filled again with every mark cleared.
  void Apply();
  // Escape: every mark cleared and every value filled again.
  void CancelEdits();

  int Shown() const { return Index(); }
  // The control named `key` ("cote", "positionx", "lblcote", "btnBruit"...), or null.
  QWidget* Control(const QString& key) const;
  bool IsDirty(const QString& key) const { return FDirty.contains(key); }
  int DirtyCount() const { return static_cast<int>(FDirty.size()); }
  // The controls' area (moved when scrolling).
  QWidget* Body() const { return FBody; }

  // Told after an apply changed a 3D text's text (the object then bears its new name).
  std::function<void(int index)> OnTextChanged;
  // A "..." button: "btnTexturer", "btnBruit" or "btnTorsion".
  std::function<void(const QString& button)> OnToolButton;
  // Asks the user for a colour; nothing when cancelled. The colour dialog unless replaced.
  std::function<std::optional<QColor>(const QColor& initial)> ChooseColour;

  // Used by the controls.
  void MarkDirty(const QString& key);
  void FieldLeft(const QString& key);
  void ApplyNow(const QString& key);

 signals:
  // Controls were built for an object (true) or the inspector was cleared (false).
  void VisibilityChanged(bool shown);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  struct TRow {
    QWidget* Label = nullptr;
    QList<QWidget*> Controls;  // right-aligned, in order
    QWidget* Extra = nullptr;  // a check box's "..." button
    QString Key;
    int Height = 22;
    bool SubRow = false;  // a vector component row or a "valider" button
  };
  void Build();
  // The parts of Build: the object's name on top, and the rows that take more than one control.
  void AddTitleRow();
  void AddCheck(TRow& row, const TPropertyField& field);
  QWidget* AddList(const QString& key, const TPropertyField& field);
  void AddVectorRows(const TRow& row, const TPropertyField& field);
  void FreeControls();
  void Layout();
  void ScheduleRefresh(bool rebuild);
  void Validate(const QString& key);
  void ChooseSwatchColour(const QString& key);
  TPropertyEdits DirtyEdits() const;
  QWidget* AddNumber(const QString& key, int width, QWidget* parent);

  TModeller& FModeller;
  TScene& FScene;
  QPointer<QWidget> FPanel;
  QWidget* FBody = nullptr;
  // The object shown, by identity: a deletion elsewhere moves it in the list, never to another.
  TObjectId FObject = kNoObject;
  int Index() const { return FScene.IndexOf(FObject); }
  int FInitialTop = 0;
  TPropertyLayout FLayout;
  QList<TRow> FRows;
  QHash<QString, QWidget*> FControls;
  QSet<QString> FDirty;
  QHash<QString, QColor> FSwatches;
  bool FFilling = false;
  bool FApplying = false;
  bool FRefreshScheduled = false;
  bool FRebuildPending = false;
  TSceneSubscription FSubscription;
};

}  // namespace ixoral
