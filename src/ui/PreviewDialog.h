// The frame of the dialogs that try their work on a preview before it reaches the scene: the
// tool dialogs of "&Outils" (noise, torsion, texture, envelope, point mode) and the text, curve
// and light editors. It holds the preview panel with its display scene and renderer, and builds
// the controls those dialogs have in common — the preview's tool rows, the fill choice, the zoom
// and rotation bars, the "Appliquer" / "&OK" / "&Fermer" or "&Annuler" block. Each dialog adds
// its own controls around them and makes its own calls into the command layer.
//
// The shared controls are made when the dialog asks for them, in the order it places them: the
// order the controls are made in is the order Tab goes through them.
#pragma once

#include <initializer_list>
#include <memory>

#include "commands/ToolDialogs.h"
#include "render/SceneRenderer.h"
#include "render/ViewInteraction.h"
#include "ui/DialogFrame.h"

class QBoxLayout;
class QHBoxLayout;
class QLayout;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QVBoxLayout;

namespace ixoral {

class IPrompt;
class TModeller;
class TPreviewToolBar;
class TScenePanel;
class TSettingsStore;

// A horizontal slider named `name` over min..max, at `value`.
QSlider* NewSlider(QWidget* parent, const char* name, int min, int max, int value);

class TPreviewDialog : public TDialogFrame {
  Q_OBJECT
 public:
  ~TPreviewDialog() override;

  // The preview's scene and renderer; null where the preview's device could not be made (the
  // dialog then works without a preview).
  TScene* Preview() { return FDrawn ? &FDrawn->Scene : nullptr; }
  TSceneRenderer* PreviewRenderer() { return FDrawn ? &FDrawn->Renderer : nullptr; }
  TScenePanel* Panel() const { return FPanel; }
  // The editors' tool bar over the preview (operation and axis).
  TPreviewToolBar* ToolBar() const { return FToolBar; }
  QPushButton* ApplyButton() const { return FApply; }
  QPushButton* OkButton() const { return FOk; }
  // The object a tool dialog works on: its place in the preview scene and, by identity, in the
  // main scene. -1 for the editors and without a preview.
  int Index() const { return FShown; }
  TToolTarget Target() const { return {FShown, FObject}; }
  // Draws the preview again.
  void Redraw();

 protected:
  // A tool dialog previews a copy of the main scene around its object, and ends with "&OK" and
  // "&Fermer"; an editor builds in a scene of its own and ends with "&OK" and "&Annuler".
  enum class TKind { Tool, Editor };
  TPreviewDialog(QWidget* parent, TKind kind, const QString& title, int titleTab, const char* helpPage,
                 TModeller& modeller, IPrompt& prompt, TSettingsStore* settings, int index = -1);

  // The body holds columns side by side, 12 pixels apart.
  void AddColumn(QLayout* column, int stretch = 0);
  void AddColumn(QWidget* column, int stretch = 0);

  // --- the preview
  // The tool dialogs' preview panel of w x h: the main scene's objects around the dialog's own,
  // no grid, no axes. With `interaction` the mouse works the views, starting with the operation
  // chosen in the tool row made before; the dialog sees the panel's mouse events first
  // (PanelEvent), and Escape there closes it unless a drag is under way.
  TScenePanel* CreateObjectPreview(int width, int height, bool interaction);
  // The editors' column: the tool bar (operation and axis) above a 400 x 300 panel on a scene of
  // the dialog's own, grid and axes on, seen from `distance` times further back than the scene's
  // 3D view, the mouse moving what is selected (or the view when nothing is). Returns the tool
  // bar's row, for controls of the dialog's own beside it.
  QHBoxLayout* AddEditorPreview(double distance = 3);
  // The editors' scene lit by a light of its own, nothing selected; null without a preview.
  TScene* LitPreview();
  // The panel's mouse events, for dialogs that handle them themselves; true when taken.
  virtual bool PanelEvent(QEvent*) { return false; }
  // A point of the panel on the preview's drawing surface, and the surface's size.
  QPoint SurfacePoint(const QPointF& p) const;
  QSize SurfaceSize() const;

  // --- tool rows
  struct TOperationButton {
    const char* Caption;  // also the button's name
    TOperation Operation;
  };
  // Checkable text buttons, one chosen, setting the preview's operation; the row ends open for
  // controls of the dialog's own.
  QHBoxLayout* CreateOperationRow(std::initializer_list<TOperationButton> buttons, TOperation chosen);
  // "Rotation" (chosen) and "Zoom".
  QHBoxLayout* CreateRotationZoomTools();

  // --- the object's look and place in the preview
  // "Solide"/"Filaire" in a group box "Mode d'affichage de l'objet".
  QWidget* CreateFillChoice(bool solidFirst);
  // The object in the scene's colours (solid) or in the dialog's own (wire frame).
  void ShowFill(bool solid);
  // The fill choice again, once a try replaced the preview's object.
  void ShowChosenFill();
  // "Facteur de Zoom" (0..200) and the two rotation bars beside and under the preview.
  QWidget* CreateZoomBar(const QString& caption);
  QScrollBar* CreateRotationBar(Qt::Orientation orientation);
  // A 217 x 233 preview with its rotation bars, the zoom bar under `zoomCaption` and the fill
  // choice, one above the other.
  QVBoxLayout* CreatePreviewColumn(const QString& zoomCaption);
  // The object scaled and turned as the bars say.
  void PlaceFromBars();

  // --- the buttons
  // "&Appliquer" ("Appliquer" in the editors), calling Apply().
  QPushButton* AddApplyButton(QBoxLayout* column);
  // "&OK", calling Accept(), and "&Fermer" at the right of their row (the tool dialogs) or
  // "&Annuler" beside it (the editors), calling Cancel().
  void AddOkButtons(QBoxLayout* column, bool okEnabled);
  // What the button block at the foot of the last column holds besides "&OK" and its neighbour.
  struct TFootButtons {
    bool Apply = false;     // "Appliquer" above them
    bool OkEnabled = true;  // "&OK" usable from the start, not only once something was tried
  };
  // The last column: `column` as the dialog filled it, then the button block at its foot. The
  // editors' side column takes the width their preview leaves.
  void AddLastColumn(QVBoxLayout* column, TFootButtons buttons);
  // "Appliquer": the dialog's try on the preview.
  virtual void Apply() {}
  // "&OK": what the preview shows into the scene, then the dialog closes.
  virtual void Accept() = 0;
  // "&Fermer" or "&Annuler": the dialog closes, the scene as it was.
  virtual void Cancel() { reject(); }

  bool eventFilter(QObject* watched, QEvent* event) override;

  TModeller& FModeller;
  IPrompt& FPrompt;
  TScene& FMain;
  TSettingsStore* FSettings;
  int FIndex;  // the object's place in the main scene when the dialog opened
  TObjectId FObject;
  int FShown = -1;  // the object's place in the preview scene
  std::unique_ptr<TDisplayScene> FDrawn;
  std::unique_ptr<TViewInteraction> FInteraction;
  TScenePanel* FPanel = nullptr;
  QPushButton* FOk = nullptr;

 private:
  // The panel of w x h and its display scene.
  void CreatePanel(int width, int height);

  TKind FKind;
  QHBoxLayout* FColumns = nullptr;
  TOperation FFirstOperation = opMove;
  TPreviewToolBar* FToolBar = nullptr;
  QPushButton* FApply = nullptr;
  QRadioButton* FSolid = nullptr;
  QRadioButton* FWire = nullptr;
  QSlider* FZoom = nullptr;
  QScrollBar* FVertical = nullptr;
  QScrollBar* FHorizontal = nullptr;
};

}  // namespace ixoral
