// Every command of the main window in one table: its id, the name its menu item and tool button
// carry, its caption with the mnemonic, its shortcut, icon and hint, whether it is a choice that
// stays ticked, when it can be used and, for the commands the modeller runs by itself, what it
// runs. The window builds its actions, menus and tool bar from the table; the tours and the
// window tests name commands by id.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ixoral {

class TModeller;
enum class TInsertCommand;

enum class TCommandId : uint8_t {
  // "&Fichier"
  New,
  Open,
  Save,
  SaveAs,
  Print,
  Recent1,
  Recent2,
  Recent3,
  Recent4,
  Recent5,
  Quit,
  PovRender,
  ExportScene,
  ExportSelection,
  Import,
  // "&Edition"
  Undo,
  Redo,
  Cut,
  Copy,
  Paste,
  Delete,
  Clone,
  Rename,
  // "&Affichage"
  ViewParameters,
  Solid,
  Wireframe,
  Flat,
  Gouraud,
  Phong,
  SelectAgent,
  Options,
  Redraw,
  FrameSelection,
  FrameAll,
  Grid,
  Explorer,
  ToolBar,
  Properties,
  Axes,
  ToolBox,
  // "&Outils"
  Texture,
  Noise,
  Torsion,
  PointMode,
  Envelope,
  CurveEditor,
  TextEditor,
  AddLight,
  // "&Inserer": one per insert command, in the order of the insert commands
  InsertCube,
  InsertPiercedCube,
  InsertSphere,
  InsertCylinder,
  InsertCone,
  InsertPyramid,
  InsertTorus,
  InsertCurve,
  InsertCircle,
  InsertVerticalWall,
  InsertHorizontalWall,
  InsertText,
  // "Operations", the views' context menu
  OpSelect,
  OpMove,
  OpMoveX,
  OpMoveY,
  OpMoveZ,
  OpRotate,
  OpRotateX,
  OpRotateY,
  OpRotateZ,
  OpResize,
  OpResizeX,
  OpResizeY,
  OpResizeZ,
  ResetPosition,
  Associate,
  Dissociate,
  ApplyRelation,
  // The tool bar's four operation buttons and its lights switch
  ModeSelect,
  ModeMove,
  ModeRotate,
  ModeResize,
  AllLights,
  // "?"
  Help,
  Presentation,
  Tips,
  About,
};
inline constexpr int kCommandCount = int(TCommandId::About) + 1;

// Choices of which exactly one stays ticked.
enum class TCommandGroup : uint8_t { None, Fill, Shading, Operation };

// When a command can be used; the others always can (a tool dialog that needs a solid says so
// when run).
enum class TCommandEnable : uint8_t { Always, ObjectCommand, Paste, Undo, Redo };

// A command the modeller runs by itself, on the scene object chosen in the browser (`node`, -1
// for none) where it acts on one.
using TModellerCommand = void (*)(TModeller& modeller, int node);

struct TCommandInfo {
  TCommandId Id;
  std::string Name;      // the object name of its action: stable, for tests and tours
  std::string Caption;   // menu text with its mnemonic ("" for the recent files, filled in later)
  std::string Shortcut;  // portable key text ("Ctrl+N"); several are separated by "; "
  std::string Icon;      // the picture's name among the program's icons ("" none)
  std::string Hint;      // tool tip ("" leaves the caption)
  std::string Busy;      // status bar text while it runs ("" none)
  bool Checkable = false;
  bool Checked = false;  // the state a checkable command starts in
  TCommandGroup Group = TCommandGroup::None;
  TCommandEnable Enable = TCommandEnable::Always;
  TModellerCommand Run = nullptr;  // null: the window runs it (dialogs, view switches)
};

// The table, in the order of the ids.
std::span<const TCommandInfo> CommandTable();
const TCommandInfo& CommandInfo(TCommandId id);
std::optional<TCommandId> FindCommand(std::string_view name);

TCommandId InsertCommandId(TInsertCommand command);
std::optional<TInsertCommand> InsertCommandOf(TCommandId id);
// The k-th recent file (1-based).
TCommandId RecentCommandId(int k);

// Whether the command can be used now; without a modeller only the "Always" ones can.
bool CommandEnabled(TCommandId id, TModeller* modeller);

}  // namespace ixoral
