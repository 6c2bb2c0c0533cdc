// The modeller's main window: menus, tool bar, the scene panel beside the side panel (scene
// browser above the property section), the tool box, and the file commands' dialogs. It turns
// events into calls of the command layer and the view interaction, and follows the scene's change
// notifications.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <memory>

#include "assistant/CharacterWindow.h"
#include "assistant/Tips.h"
#include "commands/CommandTable.h"
#include "commands/Modeller.h"
#include "commands/Preferences.h"
#include "render/SceneRenderer.h"
#include "render/ViewInteraction.h"
#include "ui/QtPlatform.h"
#include "ui/TourHosts.h"

class QActionGroup;
class QLabel;
class QProgressBar;
class QSplitter;
class QToolButton;

namespace ixoral {

class TProperties;
class TScenePanel;
class TSceneBrowser;
class TToolBox;

inline constexpr const char* kMsgNoRenderDevice = "Cette Application nécessite DirectX 7 ou supérieur";
inline const QColor kPanelColour(128, 158, 235);

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  // `prompt` and `files` (may be null: the desktop's message boxes and file dialogs) answer the
  // commands' questions; tests give scripted ones.
  explicit TfrmMain(TSettingsStore& settings, IPrompt* prompt = nullptr, IFileChooser* files = nullptr,
                    IClipboard* clipboard = nullptr);
  ~TfrmMain() override;

  // Applies the stored preferences (on show), offers the scene a crashed run left (unless told
  // not to: a run nobody watches leaves it for the next), then opens `document` when it names a
  // file.
  void Start(const QString& document = {}, bool offerRecovery = true);

  bool HasScene() const { return FModeller != nullptr; }
  TModeller* Modeller() { return FModeller.get(); }
  TScene* Scene() { return FDrawn ? &FDrawn->Scene : nullptr; }
  TSceneRenderer* Renderer() { return FDrawn ? &FDrawn->Renderer : nullptr; }
  TViewInteraction* Interaction() { return FInteraction.get(); }
  TScenePanel* Panel() { return FPanel; }
  TSceneBrowser* Browser() { return FBrowser; }
  TToolBox* ToolBox() { return FToolBox; }
  QWidget* PropertiesPanel() { return FPropertiesPanel; }
  TProperties* Properties() { return FProperties; }
  // The action of a command of the table: its menu item, tool button and shortcuts.
  QAction* Action(TCommandId id) const;
  // What the notifications asked for (tree rebuild, selection in the browser, redraw), done now.
  void FlushPending();
  // The browser's part alone: the tree and its selection follow the scene.
  void FlushBrowser();
  // Sets the operation and axis as the tool bar and the "Operations" menu do.
  void SetOperation(TOperation operation, std::optional<TAxisConstraint> axis);
  // The automatic recovery copy (null when its folder cannot be used), and its write, which the
  // timer runs every two minutes and a large change at once: only when the scene changed since.
  TRecovery* Recovery() { return FModeller ? FModeller->Session().Recovery() : nullptr; }
  void WriteRecovery();
  // Whether closing shrinks the window to its centre first (not on the offscreen platform,
  // where nobody would see it), and how far the shrinking is.
  void SetCloseAnimated(bool animated) { FCloseAnimated = animated; }
  bool Shrinking() const { return FShrink.isActive(); }
  int ShrinkPercent() const { return FShrinkPercent; }
  // The guide: its character window and the state of the tips it reads.
  TCharacterWindow* Character() { return FCharacter; }
  TAssistant* Assistant() { return FAssistant.get(); }
  QTimer& PresentationTimer() { return FPresentationTimer; }
  TMainTourHost* TourHost() { return FTourHost.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateScene();
  void CreateActions();
  void CreateFileActions();
  void CreateEditActions();
  void CreateViewActions();
  void CreateToolActions();
  void CreateOperationActions();
  void CreateHelpActions();
  // A command of the modeller, followed by what the window shows after every such command.
  std::function<void()> WithModeller(std::function<void(TModeller&)> f);
  // Takes the last drag's values out of the status bar, if they are still what it shows.
  void ClearDragReadout();
  void CreateMenus();
  void CreateToolBar();
  void CreateWorkingArea();
  void CreateToolBox();
  // What a command's action runs when triggered, or, for a switch, when ticked or unticked.
  void Bind(TCommandId id, std::function<void()> run);
  void BindSwitch(TCommandId id, std::function<void(bool)> run);
  void OnSceneChange(const TSceneEvent& event);
  void ScheduleFlush();
  void RefreshCaption();
  void RefreshRecentMenu();
  void RefreshEditMenu();
  void RefreshHistoryActions();
  void RefreshInsertButton();
  void RefreshOperationButtons();
  void UpdateSidePanel();
  void SetToolBoxFixed(bool fixed);
  void ShowToolBox(bool show);
  void PlaceToolBox(int triesLeft);
  int SelectedNodeObject() const;
  void RunInsert(TInsertCommand command);
  void SetShading(int number);
  void SetWireframe(bool wireframe);
  void StorePreferencesAndViews();
  void ShowProgress(const std::string& message, int percent);
  // The window's events turn, input held back, until `ended` says the document being read is in.
  bool WaitForDocument(const std::function<bool()>& ended);
  void CreateProperties();
  void ShrinkTick();
  void CreateAssistant();

  TSettingsStore& FSettings;
  TQtPrompt FQtPrompt;
  TQtClipboard FQtClipboard;
  TQtFileChooser FQtFiles;
  IPrompt* FPrompt;
  IFileChooser* FFiles;
  IClipboard* FClipboard;
  std::unique_ptr<TDisplayScene> FDrawn;
  std::unique_ptr<TViewInteraction> FInteraction;
  std::unique_ptr<TModeller> FModeller;
  TSceneSubscription FSubscription;

  TScenePanel* FPanel = nullptr;
  TSceneBrowser* FBrowser = nullptr;
  QWidget* FSidePanel = nullptr;
  QWidget* FExplorerSection = nullptr;
  QWidget* FPropertiesSection = nullptr;
  QWidget* FPropertiesPanel = nullptr;
  TProperties* FProperties = nullptr;
  QSplitter* FWorkSplitter = nullptr;
  QSplitter* FSideSplitter = nullptr;
  QToolBar* FToolBar = nullptr;
  QToolButton* FInsertButton = nullptr;
  QToolButton* FAxisButton = nullptr;
  QProgressBar* FProgress = nullptr;
  // The values the last drag put in the status bar (empty when none are shown).
  QString FDragReadout;
  QMenu* FEditMenu = nullptr;
  QMenu* FFileMenu = nullptr;
  QMenu* FOperationsMenu = nullptr;
  std::array<QAction*, kCommandCount> FActions{};
  QAction* FRecentSeparator = nullptr;
  TToolBox* FToolBox = nullptr;
  QDockWidget* FToolDock = nullptr;
  bool FToolBoxFixed = false;
  bool FToolBoxPlaced = false;  // the floating tool box has a place: stored, or given when first shown
  int FShading = 2;

  bool FFlushScheduled = false;
  bool FTreeDirty = true;
  bool FTreeStale = false;  // objects or groups changed: the browser updates its nodes
  bool FSelectionDirty = false;
  bool FClosing = false;
  bool FCloseAnimated = true;
  QTimer FRecoveryTimer;
  QTimer FShrink;
  int FShrinkPercent = 0;
  TCharacterWindow* FCharacter = nullptr;
  std::unique_ptr<TAssistant> FAssistant;
  std::unique_ptr<TMainTourHost> FTourHost;
  QTimer FPresentationTimer;
};

}  // namespace ixoral
