#include "commands/CommandTable.h"

#include <algorithm>
#include <array>
#include <vector>

#include "commands/History.h"
#include "commands/Modeller.h"
#include "commands/Preferences.h"

namespace ixoral {

namespace {

using enum TCommandId;

static_assert(int(Recent5) - int(Recent1) + 1 == kRecentFileCount);
static_assert(int(InsertText) - int(InsertCube) + 1 == kInsertCommandCount);

// A plain entry: id, name, caption and, where it has one, its shortcut.
TCommandInfo Entry(TCommandId id, const char* name, const char* caption, const char* shortcut = "") {
  TCommandInfo c;
  c.Id = id;
  c.Name = name;
  c.Caption = caption;
  c.Shortcut = shortcut;
  return c;
}

TCommandInfo WithIcon(TCommandInfo c, const char* icon, const char* hint = "") {
  c.Icon = icon;
  c.Hint = hint;
  return c;
}

TCommandInfo Runs(TCommandInfo c, TModellerCommand run, TCommandEnable enable = TCommandEnable::Always) {
  c.Run = run;
  c.Enable = enable;
  return c;
}

TCommandInfo Choice(TCommandInfo c, TCommandGroup group, bool checked = false) {
  c.Checkable = true;
  c.Checked = checked;
  c.Group = group;
  return c;
}

// A view switch: ticked at start, untick hides.
TCommandInfo Switch(TCommandId id, const char* name, const char* caption, const char* shortcut) {
  return Choice(Entry(id, name, caption, shortcut), TCommandGroup::None, true);
}

void AddFileCommands(std::vector<TCommandInfo>& t) {
  t.push_back(WithIcon(Runs(Entry(New, "actNouveau", "&Nouveau", "Ctrl+N"), [](TModeller& m, int) { m.New(); }),
                       "nouveau", "Nouveau"));
  TCommandInfo open = WithIcon(Runs(Entry(Open, "actOuvrir", "&Ouvrir", "Ctrl+O"), [](TModeller& m, int) { m.Open(); }),
                               "ouvrir", "Ouvrir");
  open.Busy = "Ouverture...";
  t.push_back(open);
  TCommandInfo save =
      WithIcon(Runs(Entry(Save, "actEnregistrer", "&Enregistrer", "Ctrl+S"), [](TModeller& m, int) { m.Save(); }),
               "enregistrer", "Enregistrer");
  save.Busy = "Enregistrement...";
  t.push_back(save);
  t.push_back(Runs(Entry(SaveAs, "actEnregistrerSous", "En&registrer sous", "Ctrl+Shift+S"),
                   [](TModeller& m, int) { m.SaveAs(); }));
  t.push_back(WithIcon(Entry(Print, "actImprimer", "&Imprimer", "Ctrl+P"), "imprimer"));
  static constexpr std::array<TModellerCommand, kRecentFileCount> recent{
      [](TModeller& m, int) { m.OpenRecent(1); }, [](TModeller& m, int) { m.OpenRecent(2); },
      [](TModeller& m, int) { m.OpenRecent(3); }, [](TModeller& m, int) { m.OpenRecent(4); },
      [](TModeller& m, int) { m.OpenRecent(5); }};
  for (int k = 1; k <= kRecentFileCount; ++k) {
    const std::string name = "actRecent" + std::to_string(k);
    t.push_back(Runs(Entry(RecentCommandId(k), name.c_str(), ""), recent[size_t(k - 1)]));
  }
  t.push_back(Entry(Quit, "actQuitter", "&Quitter", "Ctrl+Q"));
  t.push_back(WithIcon(Entry(PovRender, "actRenduPov", "Rendu &POV-Ray"), "rendu", "Rendu POV-Ray"));
  t.push_back(Runs(Entry(ExportScene, "actExporterScene", "La &scène..."),
                   [](TModeller& m, int) { m.ExportModelFile(false); }));
  t.push_back(Runs(Entry(ExportSelection, "actExporterSelection", "La s&élection..."),
                   [](TModeller& m, int) { m.ExportModelFile(true); }));
  TCommandInfo import =
      Runs(Entry(Import, "actImporter", "&Importer...", "Ctrl+Shift+I"), [](TModeller& m, int) { m.ImportMeshes(); });
  import.Busy = "Importation...";
  t.push_back(import);
}

void AddEditCommands(std::vector<TCommandInfo>& t) {
  using E = TCommandEnable;
  t.push_back(Runs(
      Entry(Undo, "actAnnuler", kUndoCaption, "Ctrl+Z"), [](TModeller& m, int) { m.Undo(); }, E::Undo));
  t.push_back(Runs(
      Entry(Redo, "actRetablir", kRedoCaption, "Ctrl+Y; Ctrl+Shift+Z"), [](TModeller& m, int) { m.Redo(); }, E::Redo));
  t.push_back(Runs(
      Entry(Cut, "actCouper", "&Couper", "Ctrl+X"), [](TModeller& m, int n) { m.Cut(n); }, E::ObjectCommand));
  t.push_back(Runs(
      Entry(Copy, "actCopier", "C&opier", "Ctrl+C"), [](TModeller& m, int n) { m.Copy(n); }, E::ObjectCommand));
  t.push_back(Runs(
      Entry(Paste, "actColler", "Co&ller", "Ctrl+V"), [](TModeller& m, int) { m.Paste(); }, E::Paste));
  t.push_back(Runs(
      Entry(Delete, "actSupprimer", "S&upprimer l'objet", "Shift+Del"), [](TModeller& m, int n) { m.Delete(n); },
      E::ObjectCommand));
  t.push_back(Runs(
      Entry(Clone, "actCloner", "Clo&ner l'objet", "Ctrl+L"), [](TModeller& m, int n) { m.Clone(n); },
      E::ObjectCommand));
  TCommandInfo rename = Entry(Rename, "actRenommer", "&Renommer l'objet", "Ctrl+R");
  rename.Enable = E::ObjectCommand;
  t.push_back(rename);
}

void AddViewCommands(std::vector<TCommandInfo>& t) {
  using G = TCommandGroup;
  t.push_back(Entry(ViewParameters, "actParametresVues", "&Paramètres des vues", "Ctrl+U"));
  t.push_back(WithIcon(Choice(Entry(Solid, "actSolide", "&Solide"), G::Fill, true), "solide", "Solide"));
  t.push_back(WithIcon(Choice(Entry(Wireframe, "actFilaire", "&Filaire"), G::Fill), "filaire", "Filaire"));
  t.push_back(Choice(Entry(Flat, "actFlat", "Flat"), G::Shading));
  t.push_back(Choice(Entry(Gouraud, "actGouraud", "Gouraud"), G::Shading, true));
  t.push_back(Choice(Entry(Phong, "actPhong", "Phong"), G::Shading));
  t.push_back(Entry(SelectAgent, "actSelectionAgent", "&Sélectionner l'agent"));
  t.push_back(Entry(Options, "actOptions", "&Options"));
  t.push_back(Entry(Redraw, "actRedessiner", "&Redessiner toutes les vues"));
  // Framing: plain keys the menus leave free.
  t.push_back(Runs(Entry(FrameSelection, "actCadrerSelection", "&Cadrer la sélection", "F"),
                   [](TModeller& m, int) { m.FrameSelection(); }));
  t.push_back(Runs(Entry(FrameAll, "actToutCadrer", "&Tout cadrer", "Home"), [](TModeller& m, int) { m.FrameAll(); }));
  t.push_back(Switch(Grid, "actGrille", "&Grille", "Ctrl+G"));
  t.push_back(Switch(Explorer, "actExplorateur", "&Explorateur de scène", "Ctrl+E"));
  t.push_back(Switch(ToolBar, "actBarreOutils", "&Barre d'outils", "Ctrl+B"));
  t.push_back(Switch(Properties, "actProprietes", "&Propriétés", "Ctrl+I"));
  t.push_back(Switch(Axes, "actAxes", "&Axes", "Ctrl+A"));
  t.push_back(Switch(ToolBox, "actToolBox", "&ToolBox", "Ctrl+T"));
}

void AddToolCommands(std::vector<TCommandInfo>& t) {
  t.push_back(Entry(Texture, "actTexture", "&Appliquer une texture sur un objet"));
  t.push_back(Entry(Noise, "actBruit", "A&ppliquer du bruit"));
  t.push_back(Entry(Torsion, "actTorsion", "App&liquer une torsion"));
  t.push_back(Entry(PointMode, "actModePoint", "Mo&dification en mode Point"));
  t.push_back(Entry(Envelope, "actEnveloppe", "&Modification de l'enveloppe"));
  t.push_back(Entry(CurveEditor, "actEditeurCourbe", "E&diteur de courbe parametrique"));
  t.push_back(Entry(TextEditor, "actEditeurTexte", "&Editeur de texte"));
  t.push_back(WithIcon(Entry(AddLight, "actAjouterLumiere", "&Ajouter une lumiere"), "lumiere", "Ajouter une lumiere"));
  // The inserts take their caption and icon from the insert commands; the window runs them, as
  // the tool box and the insert button do.
  for (const TInsertCommandInfo& info : InsertCommands()) {
    const std::string name = std::string("actInserer_") + info.Keyword;
    t.push_back(WithIcon(Entry(InsertCommandId(info.Command), name.c_str(), info.Caption), info.Icon));
  }
}

void AddOperationCommands(std::vector<TCommandInfo>& t) {
  using G = TCommandGroup;
  t.push_back(Entry(OpSelect, "actOpSelection", "Selection"));
  t.push_back(Entry(OpMove, "actOpDeplacer", "Déplacer"));
  t.push_back(Entry(OpMoveX, "actOpDeplacerX", "Déplacer sur X"));
  t.push_back(Entry(OpMoveY, "actOpDeplacerY", "Déplacer sur Y"));
  t.push_back(Entry(OpMoveZ, "actOpDeplacerZ", "Déplacer sur Z"));
  t.push_back(Entry(OpRotate, "actOpRotation", "Rotation"));
  t.push_back(Entry(OpRotateX, "actOpRotationX", "Rotation sur X"));
  t.push_back(Entry(OpRotateY, "actOpRotationY", "Rotation sur Y"));
  t.push_back(Entry(OpRotateZ, "actOpRotationZ", "Rotation sur Z"));
  t.push_back(Entry(OpResize, "actOpRedim", "Redimensionner"));
  t.push_back(Entry(OpResizeX, "actOpRedimX", "Redimensionner sur X"));
  t.push_back(Entry(OpResizeY, "actOpRedimY", "Redimensionner sur Y"));
  t.push_back(Entry(OpResizeZ, "actOpRedimZ", "Redimensionner sur Z"));
  t.push_back(Runs(Entry(ResetPosition, "actPositionInitiale", "Position initiale"),
                   [](TModeller& m, int) { m.ResetPosition(); }));
  t.push_back(Runs(Entry(Associate, "actAssocier", "Associer"), [](TModeller& m, int) { m.Associate(); }));
  t.push_back(Runs(Entry(Dissociate, "actDissocier", "Dissocier"), [](TModeller& m, int n) { m.Dissociate(n); }));
  t.push_back(Runs(Entry(ApplyRelation, "actAppliquerRelation", "Appliquer la relation"),
                   [](TModeller& m, int) { m.ApplyRelationOfSelection(); }));
  t.push_back(WithIcon(Choice(Entry(ModeSelect, "actBtnSelection", "Selectionner un objet"), G::Operation), "selection",
                       "Selectionner un objet"));
  t.push_back(WithIcon(Choice(Entry(ModeMove, "actBtnTranslation", "Translation"), G::Operation), "translation",
                       "Translation"));
  t.push_back(WithIcon(Choice(Entry(ModeRotate, "actBtnRotation", "Rotation"), G::Operation), "rotation", "Rotation"));
  t.push_back(WithIcon(Choice(Entry(ModeResize, "actBtnRedim", "Redimenssionnement"), G::Operation), "redim",
                       "Redimenssionnement"));
  t.push_back(WithIcon(Choice(Entry(AllLights, "actToutesLumieres", "Afficher toutes les lumieres"), G::None),
                       "lumieres", "Afficher toutes les lumieres"));
}

void AddHelpCommands(std::vector<TCommandInfo>& t) {
  t.push_back(Entry(Help, "actAide", "&Rubriques d'aides", "F1"));
  t.push_back(Entry(Presentation, "actPresentation", "&Présentation"));
  t.push_back(Entry(Tips, "actConseils", "&Conseils", "Ctrl+F1"));
  t.push_back(Entry(About, "actAPropos", "&A propos d'Ixoral"));
}

std::vector<TCommandInfo> BuildTable() {
  std::vector<TCommandInfo> t;
  t.reserve(kCommandCount);
  AddFileCommands(t);
  AddEditCommands(t);
  AddViewCommands(t);
  AddToolCommands(t);
  AddOperationCommands(t);
  AddHelpCommands(t);
  // Looked up by id: the entries stand in the order of their ids.
  std::stable_sort(t.begin(), t.end(), [](const TCommandInfo& a, const TCommandInfo& b) { return a.Id < b.Id; });
  return t;
}

}  // namespace

std::span<const TCommandInfo> CommandTable() {
  static const std::vector<TCommandInfo> table = BuildTable();
  return table;
}

const TCommandInfo& CommandInfo(TCommandId id) { return CommandTable()[size_t(id)]; }

std::optional<TCommandId> FindCommand(std::string_view name) {
  for (const TCommandInfo& c : CommandTable())
    if (c.Name == name) return c.Id;
  return std::nullopt;
}

TCommandId InsertCommandId(TInsertCommand command) { return TCommandId(int(InsertCube) + int(command)); }

std::optional<TInsertCommand> InsertCommandOf(TCommandId id) {
  if (id < InsertCube || id > InsertText) return std::nullopt;
  return TInsertCommand(int(id) - int(InsertCube));
}

TCommandId RecentCommandId(int k) { return TCommandId(int(Recent1) + k - 1); }

bool CommandEnabled(TCommandId id, TModeller* modeller) {
  const TCommandEnable rule = CommandInfo(id).Enable;
  if (rule == TCommandEnable::Always) return true;
  if (!modeller) return false;
  switch (rule) {
    case TCommandEnable::Undo:
      return modeller->CanUndo();
    case TCommandEnable::Redo:
      return modeller->CanRedo();
    case TCommandEnable::ObjectCommand:
      return modeller->Scene().HasSelection();  // no clipboard read
    case TCommandEnable::Paste:
      return modeller->EditMenuState().Paste;
    case TCommandEnable::Always:
      break;
  }
  return true;
}

}  // namespace ixoral
