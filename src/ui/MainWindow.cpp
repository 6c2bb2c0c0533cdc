// The main window: layout, menus and tool bar wired to the command layer.
#include "ui/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

#include "commands/Help.h"
#include "document/SceneDocument.h"
#include "platform/DataFiles.h"
#include "render/device/D3DConstants.h"
#include "scene/ViewOps.h"
#include "ui/AboutDialog.h"
#include "ui/DialogFrame.h"
#include "ui/HelpBrowser.h"
#include "ui/OptionsDialog.h"
#include "ui/PovRenderWindow.h"
#include "ui/PrintDialog.h"
#include "ui/Properties.h"
#include "ui/RenameDialog.h"
#include "ui/SelectAgentDialog.h"
#include "ui/ToolDialogs.h"
#include "ui/SceneBrowser.h"
#include "ui/ScenePanel.h"
#include "ui/ToolBox.h"
#include "ui/CurveEditorDialog.h"
#include "ui/LightDialog.h"
#include "ui/TextEditorDialog.h"
#include "ui/ViewTypesDialog.h"

// The icons are compiled into this library; the linker keeps them only when asked for.
static void InitIcons() { Q_INIT_RESOURCE(icons); }

namespace ixoral {

namespace {

constexpr int kExplorerHeight = 153;  // the explorer section above the inspector, title included

QIcon Icon(const QString& name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(name)); }

// A section title of the side panel with its close label "x".
QWidget* SectionTitle(const QString& title, QWidget* parent, const std::function<void()>& close,
                      QWidget** extra = nullptr) {
  auto* bar = new QWidget(parent);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(4, 1, 2, 1);
  auto* label = new QLabel(title, bar);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  row->addWidget(label, 1);
  if (extra) *extra = bar;
  auto* x = new QToolButton(bar);
  x->setText(QStringLiteral("x"));
  x->setToolTip(QStringLiteral("Fermer"));
  x->setAutoRaise(true);
  QObject::connect(x, &QToolButton::clicked, bar, [close] { close(); });
  row->addWidget(x);
  return bar;
}

// While a document is read, the user's input goes nowhere: the views repaint, the progress moves
// and the window can be moved, but no command, key, click, wheel or drop reaches the scene.
class TInputHold : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
        return true;
      default:
        return QObject::eventFilter(watched, event);
    }
  }
};

void Paint(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, c);
  p.setColor(QPalette::Base, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

}  // namespace

TfrmMain::TfrmMain(TSettingsStore& settings, IPrompt* prompt, IFileChooser* files, IClipboard* clipboard)
    : FSettings(settings),
      FQtPrompt(this),
      FQtFiles(this),
      FPrompt(prompt ? prompt : &FQtPrompt),
      FFiles(files ? files : &FQtFiles),
      FClipboard(clipboard ? clipboard : &FQtClipboard) {
  FCloseAnimated = QGuiApplication::platformName() != QLatin1String("offscreen");
  FShrink.setInterval(100);
  connect(&FShrink, &QTimer::timeout, this, &TfrmMain::ShrinkTick);
  InitIcons();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setAcceptDrops(true);  // a document dropped from the file manager opens
  setWindowIcon(Icon(QStringLiteral("ixoral")));
  // The document type and the desktop entry for this user, as every start writes them.
  FSettings.RegisterFileAssociation(ExecutablePath());
  CreateWorkingArea();
  CreateAssistant();
  CreateScene();
  CreateActions();
  CreateMenus();
  RefreshHistoryActions();
  CreateToolBar();
  CreateToolBox();
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  FProgress = new QProgressBar(statusBar());
  FProgress->setObjectName(QStringLiteral("Progression"));
  FProgress->setRange(0, 100);
  FProgress->setMaximumWidth(220);
  FProgress->setVisible(false);
  statusBar()->addPermanentWidget(FProgress);
  // Centred, then maximised, as the modeller opens.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    resize(area.width() * 3 / 4, area.height() * 3 / 4);
    move(area.center() - rect().center());
  }
  RefreshCaption();
  RefreshRecentMenu();
  RefreshInsertButton();
  RefreshOperationButtons();
}

TfrmMain::~TfrmMain() {
  TDialogFrame::SetTourStarter({});
  FPresentationTimer.stop();
  FAssistant.reset();  // before the character it drives
  delete FCharacter;
  FSubscription.Reset();
  if (FPanel) FPanel->Attach(nullptr, nullptr);
  delete FProperties;  // before the modeller and the scene it edits
  FProperties = nullptr;
  FModeller.reset();
  FInteraction.reset();
  FDrawn.reset();
}

// ---------------------------------------------------------------- creation

void TfrmMain::CreateAssistant() {
  FCharacter = new TCharacterWindow(this);
  const std::string characterFile = ResolveCharacterPath(FSettings.ReadString(kOptionsKey, kAgentSetting));
  FAssistant = std::make_unique<TAssistant>(*FCharacter, *FPrompt, FindDataFile(kTipsFileName), characterFile);
  FAssistant->SetFallbackCharacters(CharacterCandidates(FSettings.ReadString(kOptionsKey, kAgentSetting)));
  // The character appears in the lower right third of the main window.
  FAssistant->Placement = [this](int w, int h) {
    const QRect frame = frameGeometry();
    return std::make_pair(frame.left() + frame.width() * 3 / 4 - w / 2, frame.top() + frame.height() * 2 / 3 - h / 2);
  };
  FCharacter->Events.Shown = [this] { FAssistant->OnShown(); };
  FCharacter->Events.Hidden = [this] { FAssistant->OnHidden(); };
  FCharacter->Events.Command = [this](const std::string& name) { FAssistant->OnCommand(name); };
  FCharacter->Events.RequestComplete = [this](TRequestId id) { FAssistant->OnRequestComplete(id); };

  // The presentation's steps: one tick every seven seconds, off until a presentation starts.
  FTourHost = std::make_unique<TMainTourHost>(*this);
  FPresentationTimer.setObjectName(QStringLiteral("Presentation_Timer"));
  FPresentationTimer.setInterval(kPresentationInterval);
  connect(&FPresentationTimer, &QTimer::timeout, this, [this] { FAssistant->PresentationTick(); });
  FAssistant->StartPresentationTimer = [this] { FPresentationTimer.start(); };
  FAssistant->StopPresentationTimer = [this] { FPresentationTimer.stop(); };
  // A dialog opened while a presentation runs gives its own tour.
  TDialogFrame::SetTourStarter([this](TDialogFrame& dialog) {
    if (!FAssistant || !FAssistant->PresentationRunning() || !dialog.Tour()) return;
    const TDialogTourScript* script = DialogTourScript(*dialog.Tour());
    if (!script) return;
    auto* runner = new TDialogTourRunner(dialog, FAssistant->Voice(), *script);
    runner->Tick();
  });
}

void TfrmMain::CreateScene() {
  // The drawing surface starts at the screen's size divided by 1.33 and 1.19, then follows the
  // panel.
  QSize screen(1920, 1080);
  if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->size() * s->devicePixelRatio();
  const int w = static_cast<int>(std::lround(screen.width() / 1.33));
  const int h = static_cast<int>(std::lround(screen.height() / 1.19));
  FDrawn = std::make_unique<TDisplayScene>(w, h, &FSettings, FPanel);
  FDrawn->Scene.FourViews = true;
  if (!FDrawn->Renderer.InitDevice()) {
    FPrompt->Error(kMsgInitFailed);
    FDrawn.reset();  // the window runs without a scene; every command does nothing
    return;
  }
  FDrawn->Renderer.AutoRedraw = false;  // the panel draws once per turn of the event loop
  FDrawn->Renderer.ShowGrid = FDrawn->Renderer.ShowAxes = true;
  FDrawn->Renderer.Look = ReadViewLook(&FSettings, TViewStyle::Moderne);
  FInteraction = std::make_unique<TViewInteraction>(FDrawn->Scene, FDrawn->Renderer);
  FModeller = std::make_unique<TModeller>(FDrawn->Scene, *FPrompt, *FClipboard, &FSettings, FFiles, &FDrawn->Renderer,
                                          FInteraction.get());
  FModeller->OnFilesChanged = [this] {
    RefreshCaption();
    RefreshRecentMenu();
    // Saved, opened or new: nothing is left to recover.
    FModeller->Session().Settled();
  };
  FModeller->OnProgress = [this](const std::string& message, int percent) { ShowProgress(message, percent); };
  FModeller->WhileLoading = [this](const std::function<bool()>& ended) { return WaitForDocument(ended); };
  FModeller->OnHistoryChanged = [this] {
    RefreshHistoryActions();
    // A large change is written at once; the rest waits for the timer.
    FModeller->Session().WriteRecoveryIfDue(false);
  };
  // A copy that cannot be written is said once, in the status bar; the writes go on being tried.
  FModeller->Session().OnRecoveryTrouble = [this](const TError* trouble) {
    if (!trouble) {
      statusBar()->showMessage(QString::fromUtf8(kMsgRecoveryWritten), 5000);
      return;
    }
    const std::string& why = trouble->Reason.empty() ? trouble->Message : trouble->Reason;
    statusBar()->showMessage(ToQt(std::string(kMsgRecoveryWriteFailed) + (why.empty() ? "" : " : " + why)));
  };
  auto recovery = std::make_unique<TRecovery>();
  if (recovery->Start())
    FModeller->Session().AttachRecovery(std::move(recovery));
  else
    FPrompt->Error(kMsgRecoveryFolder + recovery->Folder());
  FRecoveryTimer.setInterval(kRecoveryIntervalMs);
  connect(&FRecoveryTimer, &QTimer::timeout, this, &TfrmMain::WriteRecovery);
  FRecoveryTimer.start();
  FSubscription = FDrawn->Scene.Observe([this](const TSceneEvent& e) { OnSceneChange(e); });
  FDrawn->Scene.NewScene(true);
  FBrowser->Rebuild(FDrawn->Scene, -1);
  FTreeDirty = false;
  FPanel->Attach(&FDrawn->Renderer, FInteraction.get());
  CreateProperties();
}

// The inspector on the property panel: its "..." buttons open the tools as their menu items do,
// and the two scroll buttons move it while held.
void TfrmMain::CreateProperties() {
  FProperties = new TProperties(*FModeller, FPropertiesPanel);
  FProperties->OnToolButton = [this](const QString& button) {
    const TCommandId command = button == QLatin1String("btnTexturer") ? TCommandId::Texture
                               : button == QLatin1String("btnBruit")  ? TCommandId::Noise
                                                                      : TCommandId::Torsion;
    if (QAction* a = Action(command); a && a->isEnabled()) a->trigger();
  };
  for (const char* name : {"ScrollUp", "ScrollDown"}) {
    auto* b = FPropertiesSection->findChild<QToolButton*>(QString::fromLatin1(name));
    if (!b) continue;
    b->setAutoRepeatDelay(20);
    b->setVisible(false);
    const bool up = std::string_view(name) == "ScrollUp";
    connect(b, &QToolButton::pressed, FProperties,
            [this, up] { up ? FProperties->ScrollUp() : FProperties->ScrollDown(); });
    connect(FProperties, &TProperties::VisibilityChanged, b, &QWidget::setVisible);
  }
}

void TfrmMain::CreateWorkingArea() {
  FWorkSplitter = new QSplitter(Qt::Horizontal, this);
  FWorkSplitter->setObjectName(QStringLiteral("WorkingArea"));
  FPanel = new TScenePanel(FWorkSplitter);
  FSidePanel = new QWidget(FWorkSplitter);
  FSidePanel->setObjectName(QStringLiteral("SidePanel"));
  Paint(FSidePanel, kPanelColour);
  auto* side = new QVBoxLayout(FSidePanel);
  side->setContentsMargins(0, 0, 0, 0);
  side->setSpacing(0);
  FSideSplitter = new QSplitter(Qt::Vertical, FSidePanel);
  side->addWidget(FSideSplitter);

  FExplorerSection = new QWidget(FSideSplitter);
  FExplorerSection->setObjectName(QStringLiteral("ExplorerSection"));
  auto* explorer = new QVBoxLayout(FExplorerSection);
  explorer->setContentsMargins(0, 0, 0, 0);
  explorer->setSpacing(0);
  explorer->addWidget(SectionTitle(QStringLiteral("Explorateur"), FExplorerSection,
                                   [this] { Action(TCommandId::Explorer)->trigger(); }));
  FBrowser = new TSceneBrowser(FExplorerSection);
  Paint(FBrowser, kPanelColour);
  explorer->addWidget(FBrowser, 1);

  FPropertiesSection = new QWidget(FSideSplitter);
  FPropertiesSection->setObjectName(QStringLiteral("PropertiesSection"));
  auto* properties = new QVBoxLayout(FPropertiesSection);
  properties->setContentsMargins(0, 0, 0, 0);
  properties->setSpacing(0);
  QWidget* titleBar = nullptr;
  properties->addWidget(SectionTitle(
      QStringLiteral("Propriétés"), FPropertiesSection, [this] { Action(TCommandId::Properties)->trigger(); },
      &titleBar));
  // The two scroll buttons of the property section.
  for (const auto& [name, arrow] : {std::pair{"ScrollUp", Qt::UpArrow}, std::pair{"ScrollDown", Qt::DownArrow}}) {
    auto* b = new QToolButton(titleBar);
    b->setObjectName(QString::fromLatin1(name));
    b->setArrowType(arrow);
    b->setAutoRaise(true);
    b->setAutoRepeat(true);
    b->setAutoRepeatInterval(20);
    titleBar->layout()->addWidget(b);
  }
  FPropertiesPanel = new QWidget(FPropertiesSection);
  FPropertiesPanel->setObjectName(QStringLiteral("Proprietes"));
  Paint(FPropertiesPanel, kPanelColour);
  properties->addWidget(FPropertiesPanel, 1);
  // The explorer keeps its 153 pixels as the window grows; the inspector takes the rest.
  FSideSplitter->setStretchFactor(0, 0);
  FSideSplitter->setStretchFactor(1, 1);
  FSideSplitter->setSizes({kExplorerHeight, 400});

  FWorkSplitter->addWidget(FPanel);
  FWorkSplitter->addWidget(FSidePanel);
  FWorkSplitter->setStretchFactor(0, 3);
  FWorkSplitter->setStretchFactor(1, 1);
  FWorkSplitter->setSizes({750, 250});
  setCentralWidget(FWorkSplitter);

  connect(FBrowser, &TSceneBrowser::NodeSelected, this, [this](int object) {
    if (FModeller) FModeller->SelectFromBrowser(object);
  });
  connect(FBrowser, &TSceneBrowser::NodeRenamed, this, [this](int object, const QString& text, bool* accepted) {
    *accepted = FModeller && FModeller->RenameFromBrowser(object, FromQt(text));
  });
  connect(FBrowser, &TSceneBrowser::NodeDropped, this, [this](int dragged, int target, bool onObjects) {
    if (!FModeller) return;
    // The tree is rebuilt from the scene once the drop's own events are over.
    QTimer::singleShot(0, this, [this, dragged, target, onObjects] {
      if (FModeller->Drop(dragged, target, onObjects)) FlushPending();
      if (QTreeWidgetItem* node = FBrowser->currentItem()) node->setExpanded(true);
    });
  });
  // A drag in the views, press to release, is one step of the history.
  // The status bar tells what a drag changes while it runs, and still after its release; the
  // next press or command takes that readout away, since the values no longer describe the scene.
  connect(FPanel, &TScenePanel::PressStarting, this, [this] {
    ClearDragReadout();
    if (FModeller) FModeller->BeginDrag();
  });
  connect(FPanel, &TScenePanel::DragValues, this, [this](const QString& text) {
    statusBar()->showMessage(text);
    FDragReadout = text;
  });
  connect(FPanel, &TScenePanel::EscapePressed, this, [this] { ClearDragReadout(); });
  connect(FPanel, &TScenePanel::DragEnded, this, [this] {
    if (FModeller) FModeller->EndDrag();
  });
  connect(FPanel, &TScenePanel::Informed, this, [this](const QString& text) { FPrompt->Information(FromQt(text)); });
  connect(FPanel, &TScenePanel::Pressed, this, [this](int selection, int) {
    if (static_cast<TPressSelection>(selection) == TPressSelection::Cleared) FBrowser->SelectQuietly({});
  });
  connect(FPanel, &TScenePanel::ContextMenuRequested, this, [this](const QPoint& at) {
    if (FOperationsMenu) FOperationsMenu->popup(at);
  });
}

void TfrmMain::CreateMenus() {
  FFileMenu = menuBar()->addMenu(QStringLiteral("&Fichier"));
  FFileMenu->setObjectName(QStringLiteral("mnuFichier"));
  for (TCommandId n : {TCommandId::New, TCommandId::Open, TCommandId::Save, TCommandId::SaveAs, TCommandId::Print})
    FFileMenu->addAction(Action(n));
  FFileMenu->addSeparator();
  FFileMenu->addAction(Action(TCommandId::PovRender));
  FFileMenu->addAction(Action(TCommandId::Import));
  QMenu* exportMenu = FFileMenu->addMenu(QStringLiteral("E&xporter"));
  exportMenu->setObjectName(QStringLiteral("mnuExporter"));
  exportMenu->addAction(Action(TCommandId::ExportScene));
  exportMenu->addAction(Action(TCommandId::ExportSelection));
  FRecentSeparator = FFileMenu->addSeparator();
  for (int k = 1; k <= kRecentFileCount; ++k) FFileMenu->addAction(Action(RecentCommandId(k)));
  FFileMenu->addSeparator();
  FFileMenu->addAction(Action(TCommandId::Quit));

  FEditMenu = menuBar()->addMenu(QStringLiteral("&Edition"));
  FEditMenu->setObjectName(QStringLiteral("mnuEdition"));
  FEditMenu->addAction(Action(TCommandId::Undo));
  FEditMenu->addAction(Action(TCommandId::Redo));
  FEditMenu->addSeparator();
  for (TCommandId n : {TCommandId::Cut, TCommandId::Copy, TCommandId::Paste, TCommandId::Delete, TCommandId::Clone,
                       TCommandId::Rename})
    FEditMenu->addAction(Action(n));
  connect(FEditMenu, &QMenu::aboutToShow, this, &TfrmMain::RefreshEditMenu);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TfrmMain::RefreshEditMenu);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&Affichage"));
  view->setObjectName(QStringLiteral("mnuAffichage"));
  view->addAction(Action(TCommandId::ViewParameters));
  QMenu* fill = view->addMenu(QStringLiteral("&Mode de visualisation"));
  fill->addAction(Action(TCommandId::Solid));
  fill->addAction(Action(TCommandId::Wireframe));
  QMenu* shade = view->addMenu(QStringLiteral("Mo&de d'illumination"));
  for (TCommandId n : {TCommandId::Flat, TCommandId::Gouraud, TCommandId::Phong}) shade->addAction(Action(n));
  for (TCommandId n : {TCommandId::SelectAgent, TCommandId::Options, TCommandId::Redraw, TCommandId::FrameSelection,
                       TCommandId::FrameAll, TCommandId::Grid, TCommandId::Explorer, TCommandId::ToolBar,
                       TCommandId::Properties, TCommandId::Axes, TCommandId::ToolBox})
    view->addAction(Action(n));

  QMenu* tools = menuBar()->addMenu(QStringLiteral("&Outils"));
  tools->setObjectName(QStringLiteral("mnuOutils"));
  for (TCommandId n :
       {TCommandId::Texture, TCommandId::Noise, TCommandId::Torsion, TCommandId::PointMode, TCommandId::Envelope})
    tools->addAction(Action(n));
  tools->addSeparator();
  for (TCommandId n : {TCommandId::CurveEditor, TCommandId::TextEditor, TCommandId::AddLight})
    tools->addAction(Action(n));
  QMenu* insert = tools->addMenu(QStringLiteral("&Inserer"));
  insert->setObjectName(QStringLiteral("mnuInserer"));
  for (const auto& info : InsertCommands()) insert->addAction(Action(InsertCommandId(info.Command)));

  // The two menus appended at start from their pop-up menus.
  FOperationsMenu = new QMenu(QStringLiteral("Operations"), this);
  FOperationsMenu->setObjectName(QStringLiteral("mnuOperations"));
  using enum TCommandId;
  const std::optional<TCommandId> ops[] = {
      OpSelect,     std::nullopt,  OpMove,       OpMoveX,      OpMoveY,    OpMoveZ,      std::nullopt, OpRotate,
      OpRotateX,    OpRotateY,     OpRotateZ,    std::nullopt, OpResize,   OpResizeX,    OpResizeY,    OpResizeZ,
      std::nullopt, ResetPosition, std::nullopt, Associate,    Dissociate, ApplyRelation};
  for (const auto& n : ops) n ? (void)FOperationsMenu->addAction(Action(*n)) : (void)FOperationsMenu->addSeparator();
  menuBar()->addMenu(FOperationsMenu);
  QMenu* help = new QMenu(QStringLiteral("?"), this);
  help->setObjectName(QStringLiteral("mnuAide"));
  for (TCommandId n : {TCommandId::Help, TCommandId::Presentation, TCommandId::Tips, TCommandId::About})
    help->addAction(Action(n));
  menuBar()->addMenu(help);
}

void TfrmMain::CreateToolBar() {
  FToolBar = addToolBar(QStringLiteral("Outils"));
  FToolBar->setObjectName(QStringLiteral("ToolBar"));
  FToolBar->setMovable(false);
  FToolBar->setIconSize(QSize(24, 24));
  for (TCommandId n : {TCommandId::New, TCommandId::Open, TCommandId::Save, TCommandId::Print, TCommandId::PovRender})
    FToolBar->addAction(Action(n));
  FToolBar->addSeparator();
  FToolBar->addAction(Action(TCommandId::Wireframe));
  FToolBar->addAction(Action(TCommandId::Solid));
  FToolBar->addSeparator();
  for (TCommandId n : {TCommandId::ModeSelect, TCommandId::ModeMove, TCommandId::ModeRotate, TCommandId::ModeResize})
    FToolBar->addAction(Action(n));
  // The axis pop-up.
  FAxisButton = new QToolButton(FToolBar);
  FAxisButton->setObjectName(QStringLiteral("btnAxes"));
  FAxisButton->setPopupMode(QToolButton::InstantPopup);
  FAxisButton->setToolTip(QStringLiteral("Selection des Axes"));
  auto* axisMenu = new QMenu(FAxisButton);
  const std::pair<const char*, TAxisConstraint> axes[] = {
      {"default", axFree}, {"sur l'axe X", axX}, {"sur l'axe Y", axY}, {"sur l'axe Z", axZ}};
  for (const auto& [caption, axis] : axes) {
    QAction* a = axisMenu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QStringLiteral("actAxe%1").arg(int(axis)));
    connect(a, &QAction::triggered, this, [this, axis = axis] {
      if (!FInteraction) return;
      SetOperation(FInteraction->Operation(), axis);
    });
  }
  FAxisButton->setMenu(axisMenu);
  FToolBar->addWidget(FAxisButton);
  FToolBar->addSeparator();
  // The insert button repeats the last insert; its arrow lists them all.
  FInsertButton = new QToolButton(FToolBar);
  FInsertButton->setObjectName(QStringLiteral("btnInserer"));
  FInsertButton->setPopupMode(QToolButton::MenuButtonPopup);
  auto* inserts = new QMenu(FInsertButton);
  for (const auto& info : InsertCommands()) inserts->addAction(Action(InsertCommandId(info.Command)));
  FInsertButton->setMenu(inserts);
  connect(FInsertButton, &QToolButton::clicked, this, [this] {
    if (FModeller) RunInsert(FModeller->LastInsert());
  });
  FToolBar->addWidget(FInsertButton);
  FToolBar->addAction(Action(TCommandId::AddLight));
  FToolBar->addAction(Action(TCommandId::AllLights));
  auto* filler = new QWidget(FToolBar);
  filler->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  FToolBar->addWidget(filler);
  auto* title = new QLabel(QStringLiteral("Ixoral"), FToolBar);
  title->setObjectName(QStringLiteral("lblTitre"));
  QFont f = title->font();
  f.setBold(true);
  f.setItalic(true);
  f.setPointSizeF(f.pointSizeF() * 1.4);
  title->setFont(f);
  title->setContentsMargins(6, 0, 10, 0);
  FToolBar->addWidget(title);
}

void TfrmMain::CreateToolBox() {
  FToolBox = new TToolBox(this);
  connect(FToolBox, &TToolBox::InsertRequested, this, [this](int c) { RunInsert(static_cast<TInsertCommand>(c)); });
  connect(FToolBox, &TToolBox::Closed, this, [this] {
    if (!FClosing && !FToolBoxFixed) Action(TCommandId::ToolBox)->setChecked(false);
  });
  FToolDock = new QDockWidget(QStringLiteral("ToolBox"), this);
  FToolDock->setObjectName(QStringLiteral("ToolBoxDock"));
  FToolDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
  FToolDock->setVisible(false);
  addDockWidget(Qt::LeftDockWidgetArea, FToolDock);
}

// ---------------------------------------------------------------- start and close

void TfrmMain::Start(const QString& document, bool offerRecovery) {
  const TWindowPreferences p = ReadPreferences(FSettings);
  if (p.ShadeMode) SetShading(p.ShadeMode);
  SetWireframe(p.Wireframe);
  Action(TCommandId::ToolBar)->setChecked(p.ShowToolBar);
  Action(TCommandId::Properties)->setChecked(p.ShowProperties);
  Action(TCommandId::Explorer)->setChecked(p.ShowExplorer);
  Action(TCommandId::Grid)->setChecked(p.ShowGrid);
  Action(TCommandId::Axes)->setChecked(p.ShowAxes);
  FToolBar->setVisible(p.ShowToolBar);
  UpdateSidePanel();
  SetToolBoxFixed(p.ToolboxFixed);
  if (p.ToolboxLeft && p.ToolboxTop) {
    FToolBox->move(*p.ToolboxLeft, *p.ToolboxTop);
    FToolBoxPlaced = true;
  }
  Action(TCommandId::ToolBox)->setChecked(p.ShowToolbox);
  ShowToolBox(p.ShowToolbox);
  RefreshRecentMenu();
  if (FDrawn) {
    FDrawn->Renderer.ShowGrid = p.ShowGrid;
    FDrawn->Renderer.ShowAxes = p.ShowAxes;
  }
  // A scene left by a run that did not close normally is offered first; a document given at
  // start is then opened when it names a file; anything else is left alone.
  TRecovery* recovery = FModeller && offerRecovery ? FModeller->Session().Recovery() : nullptr;
  const bool recovered = recovery && FModeller->OfferRecovery(*recovery);
  if (recovered) FModeller->Session().CopyWritten();
  if (FModeller && !recovered && !document.isEmpty() && QFileInfo(document).isFile()) {
    statusBar()->showMessage(QStringLiteral("Ouverture de %1").arg(document));
    FModeller->OpenPath(FromQt(QFileInfo(document).absoluteFilePath()));
    FProgress->hide();
    statusBar()->clearMessage();
  }
  // The views are drawn at the first turn of the event loop, at the size the window is shown at:
  // drawn now, before the window has its size, the drawing would be made again at once.
  FFlushScheduled = false;
  FlushBrowser();
  if (FPanel) FPanel->RequestRedraw();
}

void TfrmMain::StorePreferencesAndViews() {
  if (FDrawn)
    for (const TVue& v : FDrawn->Scene.Views) SaveViewParams(v, FSettings);
  TWindowPreferences p;
  p.ShowToolBar = Action(TCommandId::ToolBar)->isChecked();
  p.ShowProperties = Action(TCommandId::Properties)->isChecked();
  p.ShowExplorer = Action(TCommandId::Explorer)->isChecked();
  p.ShowGrid = Action(TCommandId::Grid)->isChecked();
  p.ShowAxes = Action(TCommandId::Axes)->isChecked();
  p.ShowToolbox = Action(TCommandId::ToolBox)->isChecked();
  p.ToolboxFixed = FToolBoxFixed;
  p.ShadeMode = FShading;
  p.Wireframe = Action(TCommandId::Wireframe)->isChecked();
  if (FToolBoxPlaced && !FToolBoxFixed) {
    p.ToolboxLeft = FToolBox->x();
    p.ToolboxTop = FToolBox->y();
  }
  WritePreferences(FSettings, p);
}

namespace {
std::vector<std::string> DroppedPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data)
    for (const QUrl& url : data->urls()) paths.push_back(url.isLocalFile() ? FromQt(url.toLocalFile()) : std::string());
  return paths;
}
}  // namespace

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (FModeller && TModeller::AcceptsDroppedFiles(DroppedPaths(event->mimeData()))) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DroppedPaths(event->mimeData());
  if (!FModeller || !TModeller::AcceptsDroppedFiles(paths)) return;
  event->acceptProposedAction();
  // Opened once the drop has ended: the save question is not asked inside the drag.
  QTimer::singleShot(0, this, [this, paths] {
    if (FModeller) FModeller->OpenDroppedFiles(paths);
  });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (FModeller && FModeller->Loading()) {  // the read ends first; the save question follows it
    event->ignore();
    return;
  }
  if (FShrink.isActive()) {  // already closing: the animation ends it
    event->ignore();
    return;
  }
  if (!FClosing) {
    if (FModeller && !FModeller->ConfirmClose()) {
      event->ignore();
      return;
    }
    FClosing = true;
    if (FCharacter->isVisible()) FCharacter->Stop();
    FCharacter->Unload(kCharacterId);
    if (FModeller) FModeller->Session().Close();  // a normal end: nothing to recover
    StorePreferencesAndViews();
    FToolBox->hide();
    if (FCloseAnimated && isVisible()) {
      // The window shrinks to its centre before it goes.
      event->ignore();
      FShrinkPercent = 0;
      FShrink.start();
      return;
    }
  }
  event->accept();
}

void TfrmMain::WriteRecovery() {
  if (FModeller) FModeller->Session().WriteRecoveryIfDue(true);
}

void TfrmMain::ShrinkTick() {
  const int before = FShrinkPercent;
  FShrinkPercent += 20;
  setMask(ShrinkingRegion(width(), height(), FShrinkPercent));
  if (before <= 80) return;
  FShrink.stop();
  close();
}

// ---------------------------------------------------------------- notifications

void TfrmMain::OnSceneChange(const TSceneEvent& e) {
  switch (e.Change) {
    case TSceneChange::ObjectAdded: {
      const TSolidObject* s = FDrawn->Scene.SolidAt(e.Index);
      if (!FTreeDirty && !FTreeStale && (!s || FDrawn->Scene.ParentOf(e.Index) < 0))
        FBrowser->AppendObject(FDrawn->Scene, e.Index);
      else
        FTreeStale = true;
      FSelectionDirty = true;
      break;
    }
    case TSceneChange::ObjectRemoved:
    case TSceneChange::ObjectRenamed:
    case TSceneChange::HierarchyChanged:
      FTreeStale = true;
      break;
    case TSceneChange::SceneCleared:
    case TSceneChange::SceneLoaded:
      FTreeDirty = true;
      break;
    case TSceneChange::SelectionChanged:
      FSelectionDirty = true;
      break;
    case TSceneChange::RedrawRequested:
      FPanel->RequestRedraw();
      return;
    case TSceneChange::ObjectChanged:
    case TSceneChange::ViewsChanged:
      return;
  }
  ScheduleFlush();
}

void TfrmMain::ScheduleFlush() {
  if (FFlushScheduled) return;
  FFlushScheduled = true;
  // A flush made meanwhile took everything along: the queued call then has nothing to do.
  QTimer::singleShot(0, this, [this] {
    if (FFlushScheduled) FlushPending();
  });
}

void TfrmMain::FlushPending() {
  FFlushScheduled = false;
  FlushBrowser();
  if (FPanel) FPanel->RedrawNow();
}

void TfrmMain::FlushBrowser() {
  if (!FDrawn) return;
  TScene& scene = FDrawn->Scene;
  if (FTreeDirty) {
    FBrowser->Rebuild(scene, scene.CurrentObject());
    FTreeDirty = FTreeStale = false;
    FSelectionDirty = false;
  } else if (FTreeStale || FSelectionDirty) {
    if (FTreeStale) FBrowser->Update(scene);
    FTreeStale = false;
    FSelectionDirty = false;
    // The browser follows the current object; a fixed node stays selected while nothing is.
    const int shown = FBrowser->ObjectOf(FBrowser->currentItem());
    if (scene.CurrentObject() >= 0 && shown != scene.CurrentObject())
      FBrowser->SelectObjectQuietly(scene.CurrentObject());
    else if (scene.CurrentObject() < 0 && shown >= 0)
      FBrowser->SelectQuietly({});
  }
  // The edit commands follow the selection, so their shortcuts work whether or not the menu was
  // opened since.
  RefreshEditMenu();
}

// ---------------------------------------------------------------- commands' helpers

void TfrmMain::ShowProgress(const std::string& message, int percent) {
  statusBar()->showMessage(ToQt(message));
  FProgress->setValue(std::clamp(percent, 0, 100));
  // Shown while a document is under way; the archive's idle reports (0 %) and its end hide it.
  FProgress->setVisible(percent > 0 && percent < 100);
  // Painted now: a document is written on this thread, which turns no event until it is done.
  statusBar()->repaint();
}

bool TfrmMain::WaitForDocument(const std::function<bool()>& ended) {
  // Before the window is shown there is nothing to keep alive: the modeller waits by itself.
  if (!isVisible()) return false;
  if (ended()) return true;
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(15);
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (ended()) loop.quit();
  });
  TInputHold hold;
  qApp->installEventFilter(&hold);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  poll.start();
  loop.exec();
  QApplication::restoreOverrideCursor();
  qApp->removeEventFilter(&hold);
  return true;
}

int TfrmMain::SelectedNodeObject() const { return FBrowser->ObjectOf(FBrowser->currentItem()); }

void TfrmMain::RunInsert(TInsertCommand command) {
  if (!FModeller) return;
  FModeller->Insert(command);
  RefreshInsertButton();
  setFocus();
}

void TfrmMain::RefreshInsertButton() {
  const TInsertCommand last = FModeller ? FModeller->LastInsert() : TInsertCommand::Cube;
  FInsertButton->setIcon(InsertIcon(last));
  FInsertButton->setToolTip(ToQt(InsertCommandInfo(last).Hint));
}

void TfrmMain::RefreshCaption() {
  setWindowTitle(FModeller ? ToQt(FModeller->Caption()) : QString::fromLatin1(kCaption));
}

void TfrmMain::RefreshRecentMenu() {
  const auto files = ReadRecentFiles(FSettings);
  for (int k = 0; k < kRecentFileCount; ++k) {
    QAction* a = Action(RecentCommandId(k + 1));
    a->setText(ToQt(RecentCaption(k + 1, files[size_t(k)])));
    a->setVisible(!files[size_t(k)].empty());
  }
  FRecentSeparator->setVisible(!files[0].empty());
}

void TfrmMain::RefreshHistoryActions() {
  QAction* undo = Action(TCommandId::Undo);
  QAction* redo = Action(TCommandId::Redo);
  if (!undo || !redo) return;  // before the actions exist
  undo->setEnabled(CommandEnabled(TCommandId::Undo, FModeller.get()));
  redo->setEnabled(CommandEnabled(TCommandId::Redo, FModeller.get()));
  undo->setText(ToQt(FModeller ? FModeller->UndoCaption() : kUndoCaption));
  redo->setText(ToQt(FModeller ? FModeller->RedoCaption() : kRedoCaption));
}

void TfrmMain::RefreshEditMenu() {
  RefreshHistoryActions();
  for (const TCommandInfo& c : CommandTable())
    if (c.Enable == TCommandEnable::ObjectCommand || c.Enable == TCommandEnable::Paste)
      Action(c.Id)->setEnabled(CommandEnabled(c.Id, FModeller.get()));
}

void TfrmMain::SetOperation(TOperation operation, std::optional<TAxisConstraint> axis) {
  if (!FInteraction) return;
  FInteraction->SetOperation(operation);
  if (axis) FInteraction->SetAxis(*axis);
  RefreshOperationButtons();
}

void TfrmMain::RefreshOperationButtons() {
  const TOperation op = FInteraction ? FInteraction->Operation() : opSelect;
  const TAxisConstraint axis = FInteraction ? FInteraction->Axis() : axFree;
  const TCommandId names[] = {TCommandId::ModeSelect, TCommandId::ModeMove, TCommandId::ModeRotate,
                              TCommandId::ModeResize};
  Action(names[op])->setChecked(true);
  static const char* const axisIcons[] = {"axes", "axex", "axey", "axez"};
  FAxisButton->setIcon(Icon(QString::fromLatin1(axisIcons[axis])));
  if (FPanel) FPanel->UpdateCursor();
}

void TfrmMain::SetShading(int number) {
  FShading = number;
  const TCommandId names[] = {TCommandId::Flat, TCommandId::Gouraud, TCommandId::Phong};
  Action(names[std::clamp(number, 1, 3) - 1])->setChecked(true);
  if (!FDrawn) return;
  FDrawn->Renderer.SetShadeMode(number == 1 ? D3DSHADE_FLAT : number == 3 ? D3DSHADE_PHONG : D3DSHADE_GOURAUD);
  FPanel->RequestRedraw();
}

void TfrmMain::SetWireframe(bool wireframe) {
  Action(wireframe ? TCommandId::Wireframe : TCommandId::Solid)->setChecked(true);
  if (!FDrawn) return;
  FDrawn->Renderer.SetFillMode(wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
  FPanel->RequestRedraw();
}

void TfrmMain::UpdateSidePanel() {
  const bool explorer = Action(TCommandId::Explorer)->isChecked();
  const bool properties = Action(TCommandId::Properties)->isChecked();
  FExplorerSection->setVisible(explorer);
  FPropertiesSection->setVisible(properties);
  // The scene panel takes the whole area when both sections are hidden, else 75 %.
  FSidePanel->setVisible(explorer || properties);
  if (explorer && properties)
    FSideSplitter->setSizes({kExplorerHeight, std::max(100, FSideSplitter->height() - kExplorerHeight)});
  if (FSidePanel->isVisible()) {
    const int w = std::max(FWorkSplitter->width(), 400);
    FWorkSplitter->setSizes({w * 3 / 4, w - w * 3 / 4});
  }
}

void TfrmMain::SetToolBoxFixed(bool fixed) {
  FToolBoxFixed = fixed;
  const bool shown = Action(TCommandId::ToolBox) && Action(TCommandId::ToolBox)->isChecked();
  if (fixed) {
    FToolDock->setWidget(FToolBox);
    FToolDock->setVisible(shown);
  } else {
    // Made a window of its own once, where it was; confirming the options again changes nothing.
    if (FToolDock->widget() == FToolBox || !FToolBox->isWindow()) {
      FToolDock->setWidget(nullptr);
      FToolBox->setParent(this, Qt::Tool | Qt::WindowStaysOnTopHint);
    }
    FToolDock->setVisible(false);
    ShowToolBox(shown);
  }
}

void TfrmMain::ShowToolBox(bool show) {
  if (FToolBoxFixed) {
    FToolDock->setVisible(show);
    return;
  }
  if (show && !FToolBoxPlaced) PlaceToolBox(50);
  FToolBox->setVisible(show);
  if (show) FToolBox->raise();
}

void TfrmMain::PlaceToolBox(int triesLeft) {
  // First placed at the main window's left edge beside the views, away from the screen's centre
  // where the dialogs and message boxes open: once the main window is on the screen.
  if (FToolBoxPlaced || FToolBoxFixed) return;
  if (!isVisible()) {
    if (triesLeft > 0) QTimer::singleShot(100, this, [this, triesLeft] { PlaceToolBox(triesLeft - 1); });
    return;
  }
  FToolBoxPlaced = true;
  const QPoint views = FPanel->mapToGlobal(QPoint(0, 0));
  FToolBox->move(views.x() + 4, views.y() + 4);
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
  // Del deletes the selection when the window or the browser has the focus, unless a node's
  // text is being edited.
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && !FBrowser->Editing()) {
    if (FModeller) FModeller->Delete(SelectedNodeObject());
    return;
  }
  QMainWindow::keyPressEvent(event);
}

}  // namespace ixoral
