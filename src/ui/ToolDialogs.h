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
#include "render/SceneRenderer.h"
#include "ui/DialogFrame.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QTableWidget;
class QToolButton;

class QHBoxLayout;
class QVBoxLayout;

namespace ixoral {

class TScenePanel;
class TSettingsStore;

// What every tool dialog has: the preview scene on its panel, "&OK" (through the command layer)
// and "&Fermer".
class TToolDialog : public TDialogFrame {
  Q_OBJECT
 public:
  TToolDialog(QWidget* parent, const QString& title, TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index,
              int titleTab = 180);
  ~TToolDialog() override;

  TScene* Preview() { return FDrawn ? &FDrawn->Scene : nullptr; }
  TSceneRenderer* PreviewRenderer() { return FDrawn ? &FDrawn->Renderer : nullptr; }
  TScenePanel* Panel() const { return FPanel; }
  QPushButton* OkButton() const { return FOk; }
  // The object's place in the preview scene (where it was in the main scene when the dialog opened).
  int Index() const { return FIndex; }
  // The object in the preview and, by identity, in the main scene.
  TToolTarget Target() const { return {FIndex, FObject}; }
  // Draws the preview now.
  void Redraw();

 protected:
  // The preview panel of w x h, its scene set up with the main scene's objects; `interaction`
  // gives the mouse the manipulation of the views (translation, rotation, resize).
  // The preview's "Rotation" and "Zoom" buttons, rotation chosen.
  QHBoxLayout* RotationZoomTools();
  TScenePanel* CreatePreview(int width, int height, bool interaction);
  // "Solide"/"Filaire" in a group box "Mode d'affichage de l'objet".
  QWidget* CreateFillChoice(bool solidFirst);
  // "Facteur de Zoom" (0..200) and the two rotation bars beside and under the preview.
  QWidget* CreateZoomBar(const QString& caption);
  QScrollBar* CreateRotationBar(Qt::Orientation orientation);
  // The preview with its rotation bars, the zoom bar under `zoomCaption` and the fill choice,
  // one above the other.
  QVBoxLayout* CreatePreviewColumn(const QString& zoomCaption);
  void PlaceFromBars();
  // "&OK" and "&Fermer" at the bottom right.
  QLayout* CreateButtons(bool okEnabled);
  virtual void Accept() = 0;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Mouse events of the panel for dialogs that handle them themselves.
  virtual bool PanelEvent(QEvent*) { return false; }
  QPoint SurfacePoint(const QPointF& p) const;
  QSize SurfaceSize() const;

  TModeller& FModeller;
  IPrompt& FPrompt;
  TScene& FMain;
  TSettingsStore* FSettings;
  int FIndex;
  TObjectId FObject;
  std::unique_ptr<TDisplayScene> FDrawn;
  std::unique_ptr<TViewInteraction> FInteraction;
  TScenePanel* FPanel = nullptr;
  QPushButton* FOk = nullptr;
  QRadioButton* FSolid = nullptr;
  QRadioButton* FWire = nullptr;
  QSlider* FZoom = nullptr;
  QScrollBar* FVertical = nullptr;
  QScrollBar* FHorizontal = nullptr;
  QProgressBar* FProgress = nullptr;
};

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
  std::array<QLineEdit*, 6> Fields() const { return FFields; }
  QSlider* AngleBar() const { return FAngle; }
  QCheckBox* LiveBox() const { return FLive; }
  QLabel* AxisNote() const { return FAxisNote; }
  // Reads the six fields after a key (the markers follow); false when one is not a number.
  bool ReadFields();

 protected:
  void Accept() override;
  bool PanelEvent(QEvent* event) override;

 private:
  void ShowPoints();
  void PlaceMarkers();

  TTorsionSettings FTorsion;
  std::array<QLineEdit*, 6> FFields{};
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
  std::array<QLineEdit*, 3> PointFields() const { return FPoint; }
  std::array<QLineEdit*, 2> MappingFields() const { return FMapping; }
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
  std::array<QLineEdit*, 3> FPoint{};
  std::array<QLineEdit*, 2> FMapping{};
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
