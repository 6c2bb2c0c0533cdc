// The deformation and texture dialogs of the "&Outils" menu: noise ("Bruit"), torsion, envelope,
// point-mode editor and texture. Each works on a preview scene of its own, a copy of the main
// scene, and brings its result back on "&OK" through TModeller::ApplyToolResult; closing
// otherwise leaves the scene as it was.
#pragma once

#include <QLabel>
#include <array>
#include <memory>
#include <optional>

#include "commands/Modeller.h"
#include "commands/ToolDialogs.h"
#include "ui/NumberField.h"
#include "ui/PreviewDialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTableWidget;

namespace ixoral {

class TSettingsStore;

// What every tool dialog has besides its preview: the "&Outils" help page, and Enter left to the
// fields (no button takes it).
class TToolDialog : public TPreviewDialog {
  Q_OBJECT
 public:
  TToolDialog(QWidget* parent, const QString& title, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings,
              int index, int titleTab = 180);

 protected:
  void showEvent(QShowEvent* event) override;
  // The progress of a try, shown while it runs.
  QProgressBar* CreateProgress();

  QProgressBar* FProgress = nullptr;
};

// The tool dialogs' numeric entry field, 70 pixels wide: every typed key goes through the
// program's numeric key filter.
TNumberField* NewToolNumberField(QWidget* parent, const QString& text = {});
// A number as the tool dialogs' fields show it.
QString ShownNumber(double value);

// "Bruit".
class TFrmBruit : public TToolDialog {
  Q_OBJECT
 public:
  TFrmBruit(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index);

  // "&Appliquer"; `seed` for a given noise (tests), else a new one from the clock.
  bool ApplyNoise(std::optional<int32_t> seed = std::nullopt);
  void SetRange(int range);
  QLineEdit* MinField() const { return FMin; }
  QLineEdit* MaxField() const { return FMax; }
  QRadioButton* AdditionBox() const { return FAddition; }
  QRadioButton* SubtractionBox() const { return FSubtraction; }

 protected:
  void Apply() override { ApplyNoise(); }
  void Accept() override;

 private:
  std::array<QRadioButton*, 4> FRanges{};
  QLineEdit* FMin = nullptr;
  QLineEdit* FMax = nullptr;
  QRadioButton* FAddition = nullptr;
  QRadioButton* FSubtraction = nullptr;
  QComboBox* FAxes = nullptr;
  QComboBox* FTarget = nullptr;
  int FRange = 1;
};

// "Torsion".
class TFrmTorsion : public TToolDialog {
  Q_OBJECT
 public:
  TFrmTorsion(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index);

  void ApplyTorsion();
  const TTorsionSettings& Settings() const { return FTorsion; }
  std::array<TNumberField*, 6> Fields() const { return FFields; }
  QSlider* AngleBar() const { return FAngle; }
  QCheckBox* LiveBox() const { return FLive; }
  QLabel* AxisNote() const { return FAxisNote; }
  // Reads the six fields after a key (the markers follow); false when one is not a number.
  bool ReadFields();

 protected:
  void Apply() override { ApplyTorsion(); }
  void Accept() override;
  bool PanelEvent(QEvent* event) override;

 private:
  void ShowPoints();
  void PlaceMarkers();

  TTorsionSettings FTorsion;
  std::array<TNumberField*, 6> FFields{};
  QRadioButton* FMoveRotating = nullptr;
  QRadioButton* FMoveFixed = nullptr;
  QCheckBox* FLive = nullptr;
  QSlider* FAngle = nullptr;
  QLabel* FAngleLabel = nullptr;
  QSlider* FSpeed = nullptr;
  QLabel* FAxisNote = nullptr;
  bool FDragging = false;
  QPoint FDragFrom;
  Vec3d FDragStart;
  TDragFrame FFrame;
};

// "Appliquer une texture à un objet".
class TFrmTexturer : public TToolDialog {
  Q_OBJECT
 public:
  TFrmTexturer(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index);

  // Shows a folder in the lists; false (the lists as they were) with the message when it
  // cannot be listed.
  bool SetFolder(const QString& folder);
  const QString& Folder() const { return FFolder; }
  // Selects a file of the list by name (the picture shows when it can be read).
  bool SelectFile(const QString& name);
  // "&Appliquer": the selected file on the preview.
  bool ApplyTexture();
  const QString& ChosenFile() const { return FChosen; }
  QComboBox* Places() const { return FPlaces; }
  QListWidget* Folders() const { return FFolders; }
  QListWidget* Files() const { return FFiles; }
  QLabel* Picture() const { return FPicture; }
  QLabel* PictureNote() const { return FPictureNote; }

 protected:
  void Apply() override { ApplyTexture(); }
  void Accept() override;

 private:
  void ShowPicture();
  QString CurrentPath() const;

  QComboBox* FPlaces = nullptr;
  QListWidget* FFolders = nullptr;
  QListWidget* FFiles = nullptr;
  QLineEdit* FFileField = nullptr;
  QLabel* FFolderLabel = nullptr;
  QLabel* FPicture = nullptr;
  QLabel* FPictureNote = nullptr;
  QString FFolder;
  QString FChosen;
  std::vector<TPlace> FPlaceList;
};

// "Modification d'enveloppe".
class TFrmEnveloppe : public TToolDialog {
  Q_OBJECT
 public:
  TFrmEnveloppe(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index);

  TEnvelopeEditor* Editor() { return FEditor.get(); }
  std::array<TNumberField*, 3> PointFields() const { return FPoint; }
  std::array<TNumberField*, 2> MappingFields() const { return FMapping; }
  QWidget* PointBox() const { return FPointBox; }
  QWidget* MappingBox() const { return FMappingBox; }
  // A key in a coordinate or mapping field (what the fields do once their text changed).
  void PointTyped();
  void MappingTyped();

 protected:
  void Accept() override;
  bool PanelEvent(QEvent* event) override;

 private:
  void ShowCurrent();

  std::unique_ptr<TEnvelopeEditor> FEditor;
  std::array<TNumberField*, 3> FPoint{};
  std::array<TNumberField*, 2> FMapping{};
  QWidget* FPointBox = nullptr;
  QWidget* FMappingBox = nullptr;
  QSlider* FSpeed = nullptr;
};

// "Modification en Mode Point".
class TFrmMeshEdit : public TToolDialog {
  Q_OBJECT
 public:
  TFrmMeshEdit(QWidget* parent, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index);

  QTableWidget* Grid() const { return FTable; }
  const TMeshGrid& Model() const { return FGrid; }

 protected:
  void Accept() override;

 private:
  void FillTable();
  void CellLeft(int row, int column, int newRow, int newColumn);

  QTableWidget* FTable = nullptr;
  TMeshGrid FGrid;
  double FRemembered = 0;
  bool FFilling = false;
};

}  // namespace ixoral
