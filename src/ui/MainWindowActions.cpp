// The main window's actions: every menu item, tool bar button and shortcut, created once with
// what each one runs.
#include <QActionGroup>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidgetItem>

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

// Dialogs that later work brings are shown disabled until then.
void Later(QAction* a) {
  a->setEnabled(false);
  a->setStatusTip(QStringLiteral("Pas encore disponible dans cette version"));
}
}  // namespace

QAction* TfrmMain::NewAction(const QString& name, const QString& caption, const QKeySequence& shortcut,
                             std::function<void()> run, const QString& icon) {
  auto* a = new QAction(caption, this);
  a->setObjectName(name);
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  if (!icon.isEmpty()) a->setIcon(Icon(icon));
  connect(a, &QAction::triggered, this, [run] { run(); });
  addAction(a);  // shortcuts work even when the menu bar or the tool bar is hidden
  return a;
}

QAction* TfrmMain::Action(const QString& name) const { return findChild<QAction*>(name); }

std::function<void()> TfrmMain::WithModeller(std::function<void(TModeller&)> f) {
  return [this, f = std::move(f)] {
    if (!FModeller) return;
    f(*FModeller);
    RefreshEditMenu();
    if (FProgress->isVisible()) {
      FProgress->hide();
      statusBar()->clearMessage();
    }
  };
}

void TfrmMain::CreateActions() {
  CreateFileActions();
  CreateEditActions();
  CreateViewActions();
  CreateToolActions();
  CreateOperationActions();
  CreateHelpActions();
}

void TfrmMain::CreateFileActions() {
  // "&Fichier"
  NewAction("actNouveau", "&Nouveau", QKeySequence(Qt::CTRL | Qt::Key_N), WithModeller([](TModeller& m) { m.New(); }), "nouveau")
      ->setToolTip("Nouveau");
  NewAction("actOuvrir", "&Ouvrir", QKeySequence(Qt::CTRL | Qt::Key_O), WithModeller([this](TModeller& m) {
              statusBar()->showMessage(QStringLiteral("Ouverture..."));
              m.Open();
              statusBar()->clearMessage();
            }), "ouvrir")->setToolTip("Ouvrir");
  NewAction("actEnregistrer", "&Enregistrer", QKeySequence(Qt::CTRL | Qt::Key_S), WithModeller([this](TModeller& m) {
              statusBar()->showMessage(QStringLiteral("Enregistrement..."));
              m.Save();
              statusBar()->clearMessage();
            }), "enregistrer")->setToolTip("Enregistrer");
  NewAction("actEnregistrerSous", "En&registrer sous", {}, WithModeller([](TModeller& m) { m.SaveAs(); }));
  NewAction("actImprimer", "&Imprimer", QKeySequence(Qt::CTRL | Qt::Key_P), WithModeller([this](TModeller& m) {
              const double aspect = FPanel->height() > 0 ? double(FPanel->width()) / FPanel->height() : 4.0 / 3.0;
              TFrmRendu dialog(this, m.Scene(), &FSettings, *FPrompt, aspect);
              dialog.exec();
            }), "imprimer");
  for (int k = 1; k <= kRecentFileCount; ++k)
    FRecentActions[size_t(k - 1)] =
        NewAction(QStringLiteral("actRecent%1").arg(k), {}, {}, WithModeller([k](TModeller& m) { m.OpenRecent(k); }));
  NewAction("actQuitter", "&Quitter", {}, [this] { close(); });
  // "Rendu POV-Ray": one render window, kept while it is open; each render shows the active view.
  NewAction("actRenduPov", "Rendu &POV-Ray", {}, [this] {
    if (!FModeller) return;
    auto* w = findChild<TFrmRenduPov*>();
    if (!w) {
      w = new TFrmRenduPov(FModeller->Scene(), FModeller->ActiveView(), *FPrompt, this);
      w->setAttribute(Qt::WA_DeleteOnClose);
      w->ViewToRender = [this] { return FModeller ? FModeller->ActiveView() : 3; };
    }
    w->show();
    w->raise();
    w->activateWindow();
  }, "rendu")->setToolTip("Rendu POV-Ray");
  NewAction("actExporterScene", "La &scène...", {}, WithModeller([](TModeller& m) { m.ExportModelFile(false); }));
  NewAction("actExporterSelection", "La s&élection...", {}, WithModeller([](TModeller& m) { m.ExportModelFile(true); }));
}

void TfrmMain::CreateEditActions() {
  // "&Edition"
  NewAction("actAnnuler", kUndoCaption, QKeySequence(Qt::CTRL | Qt::Key_Z), WithModeller([](TModeller& m) { m.Undo(); }));
  NewAction("actRetablir", kRedoCaption, QKeySequence(Qt::CTRL | Qt::Key_Y), WithModeller([](TModeller& m) { m.Redo(); }))
      ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  NewAction("actCouper", "&Couper", QKeySequence(Qt::CTRL | Qt::Key_X),
            WithModeller([this](TModeller& m) { m.Cut(SelectedNodeObject()); }));
  NewAction("actCopier", "C&opier", QKeySequence(Qt::CTRL | Qt::Key_C),
            WithModeller([this](TModeller& m) { m.Copy(SelectedNodeObject()); }));
  NewAction("actColler", "Co&ller", QKeySequence(Qt::CTRL | Qt::Key_V), WithModeller([](TModeller& m) { m.Paste(); }));
  NewAction("actSupprimer", "S&upprimer l'objet", QKeySequence(Qt::SHIFT | Qt::Key_Delete),
            WithModeller([this](TModeller& m) { m.Delete(SelectedNodeObject()); }));
  NewAction("actCloner", "Clo&ner l'objet", QKeySequence(Qt::CTRL | Qt::Key_L),
            WithModeller([this](TModeller& m) { m.Clone(SelectedNodeObject()); }));
  NewAction("actRenommer", "&Renommer l'objet", QKeySequence(Qt::CTRL | Qt::Key_R), WithModeller([this](TModeller& m) {
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
  // "&Affichage"
  NewAction("actParametresVues", "&Paramètres des vues", QKeySequence(Qt::CTRL | Qt::Key_U), WithModeller([this](TModeller& m) {
              TfrmParams dialog(this, m, FSettings);
              dialog.exec();
            }));
  auto* fill = new QActionGroup(this);
  fill->addAction(NewAction("actSolide", "&Solide", {}, [this] { SetWireframe(false); }, "solide"))->setToolTip("Solide");
  fill->addAction(NewAction("actFilaire", "&Filaire", {}, [this] { SetWireframe(true); }, "filaire"))->setToolTip("Filaire");
  for (QAction* a : fill->actions()) a->setCheckable(true);
  Action("actSolide")->setChecked(true);
  auto* shading = new QActionGroup(this);
  shading->addAction(NewAction("actFlat", "Flat", {}, [this] { SetShading(1); }));
  shading->addAction(NewAction("actGouraud", "Gouraud", {}, [this] { SetShading(2); }));
  shading->addAction(NewAction("actPhong", "Phong", {}, [this] { SetShading(3); }));
  for (QAction* a : shading->actions()) a->setCheckable(true);
  Action("actGouraud")->setChecked(true);
  NewAction("actSelectionAgent", "&Sélectionner l'agent", {}, [this] {
    if (TSelectAgent(this, FSettings).exec() == QDialog::Accepted)
      FAssistant->SetCharacterFile(ResolveCharacterPath(FSettings.ReadString(kOptionsKey, kAgentSetting)));
  });
  NewAction("actOptions", "&Options", {}, [this] {
    TFrmOptions dialog(this, FSettings, *FPrompt, FToolBoxFixed, [this](bool fixed, uint32_t background) {
      // The background colour takes effect at once; the tool box follows its switch.
      if (FDrawn) {
        FDrawn->Display.BackgroundColor =
            D3DRGBA(((background >> 16) & 0xFF) / 255.0, ((background >> 8) & 0xFF) / 255.0, (background & 0xFF) / 255.0, 1);
      }
      SetToolBoxFixed(fixed);
      UpdateSidePanel();
    });
    if (dialog.exec() == QDialog::Accepted) FPanel->RequestRedraw();
  });
  NewAction("actRedessiner", "&Redessiner toutes les vues", {}, [this] {
    if (FPanel) FPanel->RequestRedraw();
  });
  auto toggle = [this](const char* name, const char* caption, QKeySequence key, std::function<void(bool)> f) {
    QAction* a = NewAction(name, caption, key, [] {});
    a->setCheckable(true);
    a->setChecked(true);
    connect(a, &QAction::toggled, this, [f](bool on) { f(on); });
    return a;
  };
  toggle("actGrille", "&Grille", QKeySequence(Qt::CTRL | Qt::Key_G), [this](bool on) {
    if (!FDrawn) return;
    FDrawn->Renderer.ShowGrid = on;
    FPanel->RequestRedraw();
  });
  toggle("actExplorateur", "&Explorateur de scène", QKeySequence(Qt::CTRL | Qt::Key_E), [this](bool) { UpdateSidePanel(); });
  toggle("actBarreOutils", "&Barre d'outils", QKeySequence(Qt::CTRL | Qt::Key_B), [this](bool on) { FToolBar->setVisible(on); });
  toggle("actProprietes", "&Propriétés", QKeySequence(Qt::CTRL | Qt::Key_I), [this](bool) { UpdateSidePanel(); });
  toggle("actAxes", "&Axes", QKeySequence(Qt::CTRL | Qt::Key_A), [this](bool on) {
    if (!FDrawn) return;
    FDrawn->Renderer.ShowAxes = on;
    FPanel->RequestRedraw();
  });
  toggle("actToolBox", "&ToolBox", QKeySequence(Qt::CTRL | Qt::Key_T), [this](bool on) { ShowToolBox(on); });
}

void TfrmMain::CreateToolActions() {
  // "&Outils"
  for (const char* name : {"actTexture", "actBruit", "actTorsion", "actModePoint", "actEnveloppe"})
    Later(NewAction(name, {}, {}, [] {}));
  NewAction("actEditeurCourbe", {}, {}, WithModeller([this](TModeller& m) {
              TFrmParamEdit dialog(this, m, FSettings, *FPrompt);
              dialog.exec();
            }));
  NewAction("actEditeurTexte", {}, {}, WithModeller([this](TModeller& m) {
              TFrmTEditor dialog(this, m, FSettings, *FPrompt);
              dialog.exec();
            }));
  NewAction("actAjouterLumiere", {}, {}, WithModeller([this](TModeller& m) {
              TfrmLight dialog(this, m, FSettings, *FPrompt);
              dialog.exec();
            }));
  Action("actTexture")->setText("&Appliquer une texture sur un objet");
  Action("actBruit")->setText("A&ppliquer du bruit");
  Action("actTorsion")->setText("App&liquer une torsion");
  Action("actModePoint")->setText("Mo&dification en mode Point");
  Action("actEnveloppe")->setText("&Modification de l'enveloppe");
  Action("actEditeurCourbe")->setText("E&diteur de courbe parametrique");
  Action("actEditeurTexte")->setText("&Editeur de texte");
  Action("actAjouterLumiere")->setText("&Ajouter une lumiere");
  Action("actAjouterLumiere")->setIcon(Icon("lumiere"));
  // The tool dialogs open on the current solid, and refuse without one.
  auto tool = [this](const char* name, std::function<void(int)> open) {
    QAction* a = Action(QString::fromLatin1(name));
    a->setEnabled(true);
    a->setStatusTip({});
    connect(a, &QAction::triggered, this, [this, open] {
      if (!FModeller) return;
      const int current = FDrawn->Scene.CurrentObject();
      if (!FDrawn->Scene.SolidAt(current)) {
        FPrompt->Information(kMsgNeedSelection);
        return;
      }
      open(current);
    });
  };
  tool("actBruit", [this](int i) { TFrmBruit(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool("actTorsion", [this](int i) { TFrmTorsion(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool("actTexture", [this](int i) { TFrmTexturer(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool("actEnveloppe", [this](int i) { TFrmEnveloppe(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  tool("actModePoint", [this](int i) { TFrmMeshEdit(this, *FModeller, *FPrompt, &FSettings, i).exec(); });
  Action("actAjouterLumiere")->setToolTip("Ajouter une lumiere");
  for (const auto& info : InsertCommands())
    NewAction(QStringLiteral("actInserer_%1").arg(QString::fromLatin1(info.Keyword)), ToQt(info.Caption), {},
              [this, c = info.Command] { RunInsert(c); })
        ->setIcon(InsertIcon(info.Command));
}

void TfrmMain::CreateOperationActions() {
  // "Operations" (also the views' context menu)
  auto op = [this](const char* name, const char* caption, TOperation o, std::optional<TAxisConstraint> axis) {
    NewAction(name, caption, {}, [this, o, axis] { SetOperation(o, axis); });
  };
  op("actOpSelection", "Selection", opSelect, std::nullopt);
  op("actOpDeplacer", "Déplacer", opMove, axFree);
  op("actOpDeplacerX", "Déplacer sur X", opMove, axX);
  op("actOpDeplacerY", "Déplacer sur Y", opMove, axY);
  op("actOpDeplacerZ", "Déplacer sur Z", opMove, axZ);
  op("actOpRotation", "Rotation", opRotate, axFree);
  op("actOpRotationX", "Rotation sur X", opRotate, axX);
  op("actOpRotationY", "Rotation sur Y", opRotate, axY);
  op("actOpRotationZ", "Rotation sur Z", opRotate, axZ);
  op("actOpRedim", "Redimensionner", opResize, axFree);
  op("actOpRedimX", "Redimensionner sur X", opResize, axX);
  op("actOpRedimY", "Redimensionner sur Y", opResize, axY);
  op("actOpRedimZ", "Redimensionner sur Z", opResize, axZ);
  NewAction("actPositionInitiale", "Position initiale", {}, WithModeller([](TModeller& m) { m.ResetPosition(); }));
  NewAction("actAssocier", "Associer", {}, WithModeller([](TModeller& m) { m.Associate(); }));
  NewAction("actDissocier", "Dissocier", {}, WithModeller([this](TModeller& m) { m.Dissociate(SelectedNodeObject()); }));

  // Tool bar buttons of the operations: exactly one of the four is down.
  auto* modes = new QActionGroup(this);
  auto mode = [&](const char* name, const char* hint, const char* icon, TOperation o) {
    QAction* a = NewAction(name, hint, {}, [this, o] {
      SetOperation(o, std::nullopt);
      // The select button also clears the selection.
      if (o == opSelect && FModeller) FModeller->SelectFromBrowser(-1);
    }, icon);
    a->setCheckable(true);
    a->setToolTip(hint);
    modes->addAction(a);
  };
  mode("actBtnSelection", "Selectionner un objet", "selection", opSelect);
  mode("actBtnTranslation", "Translation", "translation", opMove);
  mode("actBtnRotation", "Rotation", "rotation", opRotate);
  mode("actBtnRedim", "Redimenssionnement", "redim", opResize);

  QAction* lights = NewAction("actToutesLumieres", "Afficher toutes les lumieres", {}, [] {}, "lumieres");
  lights->setCheckable(true);
  lights->setToolTip("Afficher toutes les lumieres");
  connect(lights, &QAction::toggled, this, [this](bool on) {
    if (!FDrawn) return;
    FDrawn->Renderer.ShowAllLights = on;
    FPanel->RequestRedraw();
  });
}

void TfrmMain::CreateHelpActions() {
  // "?"
  NewAction("actAide", "&Rubriques d'aides", QKeySequence(Qt::Key_F1),
            [this] { OpenHelpPage(this, QString::fromUtf8(help::Index), FPrompt); });
  NewAction("actPresentation", "&Présentation", {}, [this] { FAssistant->StartPresentations(*FTourHost); });
  NewAction("actConseils", "&Conseils", QKeySequence(Qt::CTRL | Qt::Key_F1), [this] { FAssistant->StartTips(); });
  NewAction("actAPropos", "&A propos d'Ixoral", {}, [this] {
    TFrmApp about(this, FSettings, FDrawn ? FDrawn->Scene.CurrentObject() : -1);
    about.exec();
  });
}

}  // namespace ixoral
