// The main window's actions: one per entry of the command table, each bound to what it runs.
#include <QActionGroup>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidgetItem>

#include "commands/CommandTable.h"
#include "commands/Help.h"
#include "ui/AboutDialog.h"
#include "ui/CurveEditorDialog.h"
#include "ui/HelpBrowser.h"
#include "ui/LightDialog.h"
#include "ui/MainWindow.h"
#include "ui/OptionsDialog.h"
#include "ui/PovRenderWindow.h"
#include "ui/PrintDialog.h"
#include "ui/QtPlatform.h"
#include "ui/RenameDialog.h"
#include "ui/SceneBrowser.h"
#include "ui/ScenePanel.h"
#include "ui/SelectAgentDialog.h"
#include "ui/TextEditorDialog.h"
#include "ui/ToolBox.h"
#include "ui/ToolDialogs.h"
#include "ui/ViewTypesDialog.h"

namespace ixoral {

namespace {
QIcon Icon(const QString& name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(name)); }
}  // namespace

QAction* TfrmMain::Action(TCommandId id) const { return FActions[size_t(id)]; }

std::function<void()> TfrmMain::WithModeller(std::function<void(TModeller&)> f) {
  return [this, f = std::move(f)] {
    if (!FModeller) return;
    ClearDragReadout();
    f(*FModeller);
    RefreshEditMenu();
    if (FProgress->isVisible()) {
      FProgress->hide();
      statusBar()->clearMessage();
    }
  };
}

void TfrmMain::ClearDragReadout() {
  // Only the drag's own values: a message shown since (a recovery copy written) stays.
  if (!FDragReadout.isEmpty() && statusBar()->currentMessage() == FDragReadout) statusBar()->clearMessage();
  FDragReadout.clear();
}

void TfrmMain::Bind(TCommandId id, std::function<void()> run) {
  connect(Action(id), &QAction::triggered, this, [run = std::move(run)] { run(); });
}

void TfrmMain::BindSwitch(TCommandId id, std::function<void(bool)> run) {
  connect(Action(id), &QAction::toggled, this, [run = std::move(run)](bool on) { run(on); });
}

// One action per entry of the command table, with its caption, shortcuts, icon, hint and choice
// group; the commands the modeller runs by itself are bound here, the window's own below.
void TfrmMain::CreateActions() {
  std::array<QActionGroup*, 4> groups{};
  for (const TCommandInfo& c : CommandTable()) {
    auto* a = new QAction(ToQt(c.Caption), this);
    a->setObjectName(ToQt(c.Name));
    if (!c.Shortcut.empty())
      a->setShortcuts(QKeySequence::listFromString(ToQt(c.Shortcut), QKeySequence::PortableText));
    if (!c.Icon.empty()) a->setIcon(Icon(ToQt(c.Icon)));
    if (!c.Hint.empty()) a->setToolTip(ToQt(c.Hint));
    a->setCheckable(c.Checkable);
    a->setChecked(c.Checked);
    if (c.Group != TCommandGroup::None) {
      QActionGroup*& group = groups[size_t(c.Group)];
      if (!group) group = new QActionGroup(this);
      group->addAction(a);
    }
    addAction(a);  // shortcuts work even when the menu bar or the tool bar is hidden
    FActions[size_t(c.Id)] = a;
    if (c.Run) {
      Bind(c.Id, WithModeller([this, run = c.Run, busy = ToQt(c.Busy)](TModeller& m) {
             if (!busy.isEmpty()) statusBar()->showMessage(busy);
             run(m, SelectedNodeObject());
             if (!busy.isEmpty()) statusBar()->clearMessage();
           }));
    }
  }
  CreateFileActions();
  CreateEditActions();
  CreateViewActions();
  CreateToolActions();
  CreateOperationActions();
  CreateHelpActions();
}

void TfrmMain::CreateFileActions() {
  Bind(TCommandId::Print, WithModeller([this](TModeller& m) {
         const double aspect = FPanel->height() > 0 ? double(FPanel->width()) / FPanel->height() : 4.0 / 3.0;
         TFrmRendu dialog(this, m.Scene(), &FSettings, *FPrompt, aspect);
         dialog.exec();
       }));
  Bind(TCommandId::Quit, [this] { close(); });
  // "Rendu POV-Ray": one render window, kept while it is open; each render shows the active view.
  Bind(TCommandId::PovRender, [this] {
    if (!FModeller) return;
    auto* w = findChild<TFrmRenduPov*>();
    if (!w) {
      w = new TFrmRenduPov(FModeller->Scene(), FModeller->ActiveView(), *FPrompt, this);
      w->setAttribute(Qt::WA_DeleteOnClose);
      w->ViewToRender = [this] { return FModeller ? FModeller->ActiveView() : 3; };
      w->BackgroundToRender = [this] { return FDrawn ? FDrawn->Display.BackgroundColor : 0xFF000000u; };
    }
    w->show();
    w->raise();
    w->activateWindow();
  });
}

void TfrmMain::CreateEditActions() {
  Bind(TCommandId::Rename, WithModeller([this](TModeller& m) {
         if (!m.Scene().HasSelection()) {
           FPrompt->Information(kMsgNeedSelection);
           return;
         }
         const QTreeWidgetItem* node = FBrowser->currentItem();
         const QString shown = node ? node->text(0) : ToQt(m.Scene().ObjectAt(m.Scene().CurrentObject())->Name());
         TFrmRename dialog(this, m, *FPrompt, SelectedNodeObject(), shown);
         dialog.exec();
       }));
}

void TfrmMain::CreateViewActions() {
  using enum TCommandId;
  Bind(ViewParameters, WithModeller([this](TModeller& m) {
         TfrmParams dialog(this, m, FSettings);
         dialog.exec();
       }));
  Bind(Solid, [this] { SetWireframe(false); });
  Bind(Wireframe, [this] { SetWireframe(true); });
  Bind(Flat, [this] { SetShading(1); });
  Bind(Gouraud, [this] { SetShading(2); });
  Bind(Phong, [this] { SetShading(3); });
  Bind(SelectAgent, [this] {
    if (TSelectAgent(this, FSettings).exec() != QDialog::Accepted) return;
    const std::string chosen = FSettings.ReadString(kOptionsKey, kAgentSetting);
    FAssistant->SetCharacterFile(ResolveCharacterPath(chosen));
    FAssistant->SetFallbackCharacters(CharacterCandidates(chosen));
  });
  Bind(Options, [this] {
    TFrmOptions dialog(this, FSettings, *FPrompt, FToolBoxFixed, [this](bool fixed, uint32_t background) {
      // The background colour takes effect at once; the tool box follows its switch.
      if (FDrawn) {
        FDrawn->Display.BackgroundColor = D3DRGBA(((background >> 16) & 0xFF) / 255.0,
                                                  ((background >> 8) & 0xFF) / 255.0, (background & 0xFF) / 255.0, 1);
        FDrawn->Renderer.Look = ReadViewLook(&FSettings, TViewStyle::Moderne);
      }
      SetToolBoxFixed(fixed);
      UpdateSidePanel();
    });
    if (dialog.exec() == QDialog::Accepted) FPanel->RequestRedraw();
  });
  Bind(Redraw, [this] {
    if (FPanel) FPanel->RequestRedraw();
  });
  BindSwitch(Grid, [this](bool on) {
    if (!FDrawn) return;
    FDrawn->Renderer.ShowGrid = on;
    FPanel->RequestRedraw();
  });
  BindSwitch(Explorer, [this](bool) { UpdateSidePanel(); });
  BindSwitch(ToolBar, [this](bool on) { FToolBar->setVisible(on); });
  BindSwitch(Properties, [this](bool) { UpdateSidePanel(); });
  BindSwitch(Axes, [this](bool on) {
    if (!FDrawn) return;
    FDrawn->Renderer.ShowAxes = on;
    FPanel->RequestRedraw();
  });
  BindSwitch(ToolBox, [this](bool on) { ShowToolBox(on); });
}

void TfrmMain::CreateToolActions() {
  using enum TCommandId;
  Bind(CurveEditor, WithModeller([this](TModeller& m) {
         TFrmParamEdit dialog(this, m, FSettings, *FPrompt);
         dialog.exec();
       }));
  Bind(TextEditor, WithModeller([this](TModeller& m) {
         TFrmTEditor dialog(this, m, FSettings, *FPrompt);
         dialog.exec();
       }));
  Bind(AddLight, WithModeller([this](TModeller& m) {
         TfrmLight dialog(this, m, FSettings, *FPrompt);
         dialog.exec();
       }));
  // The tool dialogs open on the current solid, and refuse without one.
  auto tool = [this](TCommandId id, std::function<void(int)> open) {
    Bind(id, [this, open = std::move(open)] {
      if (!FModeller) return;
      const int current = FDrawn->Scene.CurrentObject();
      if (!FDrawn->Scene.SolidAt(current)) {
        FPrompt->Information(kMsgNeedSelection);
        return;
      }
      open(current);
    });
  };
  tool(Noise, [this](int i) { TFrmBruit(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool(Torsion, [this](int i) { TFrmTorsion(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool(Texture, [this](int i) { TFrmTexturer(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool(Envelope, [this](int i) { TFrmEnveloppe(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool(PointMode, [this](int i) { TFrmMeshEdit(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  for (const auto& info : InsertCommands())
    Bind(InsertCommandId(info.Command), [this, c = info.Command] { RunInsert(c); });
}

void TfrmMain::CreateOperationActions() {
  using enum TCommandId;
  // "Operations" (also the views' context menu)
  using TOpEntry = std::tuple<TCommandId, TOperation, std::optional<TAxisConstraint>>;
  const TOpEntry ops[] = {
      {OpSelect, opSelect, std::nullopt},
      {OpMove, opMove, axFree},
      {OpMoveX, opMove, axX},
      {OpMoveY, opMove, axY},
      {OpMoveZ, opMove, axZ},
      {OpRotate, opRotate, axFree},
      {OpRotateX, opRotate, axX},
      {OpRotateY, opRotate, axY},
      {OpRotateZ, opRotate, axZ},
      {OpResize, opResize, axFree},
      {OpResizeX, opResize, axX},
      {OpResizeY, opResize, axY},
      {OpResizeZ, opResize, axZ},
  };
  for (const auto& [id, o, axis] : ops) Bind(id, [this, o = o, axis = axis] { SetOperation(o, axis); });

  // Tool bar buttons of the operations: exactly one of the four is down.
  const std::pair<TCommandId, TOperation> modes[] = {
      {ModeSelect, opSelect}, {ModeMove, opMove}, {ModeRotate, opRotate}, {ModeResize, opResize}};
  for (const auto& [id, o] : modes) {
    Bind(id, [this, o = o] {
      SetOperation(o, std::nullopt);
      // The select button also clears the selection.
      if (o == opSelect && FModeller) FModeller->SelectFromBrowser(-1);
    });
  }
  BindSwitch(AllLights, [this](bool on) {
    if (!FDrawn) return;
    FDrawn->Renderer.ShowAllLights = on;
    FPanel->RequestRedraw();
  });
}

void TfrmMain::CreateHelpActions() {
  using enum TCommandId;
  Bind(Help, [this] { OpenHelpPage(this, QString::fromUtf8(help::Index), FPrompt); });
  Bind(Presentation, [this] { FAssistant->StartPresentations(*FTourHost); });
  Bind(Tips, [this] { FAssistant->StartTips(); });
  Bind(About, [this] {
    TFrmApp about(this, FSettings, FDrawn ? FDrawn->Scene.CurrentObject() : -1);
    about.exec();
  });
}

}  // namespace ixoral
