// What the deformation and texture dialogs do, without any window toolkit: the noise and the
// torsion tried on a preview copy of the scene's object (always from the scene's object, so tries
// never add up), the drag maths of the point editors, the places, folders and picture files of
// the texture dialog, the envelope editor's picking and moves, and the point editor's table.
// The dialogs' "&OK" goes through TModeller::ApplyToolResult.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "render/SceneRenderer.h"
#include "scene/Scene.h"

namespace ixoral {

// A typed bound or coordinate beyond what a mesh can hold in single precision without losing it.
inline constexpr double kToolValueLimit = 10000;
inline constexpr const char* kMsgValueOutOfRange = "La valeur doit être comprise entre -10000 et 10000 : ";
inline constexpr const char* kMsgFolderUnreadable = "Impossible de lire le dossier : ";
inline constexpr const char* kMsgNoTorsionAxis = "Points confondus : pas d'axe, pas de torsion";

// A field's number: false with the message when it is not a number or beyond the limit.
bool ReadToolNumber(const std::string& text, double& value, std::string& message);

// The object a tool dialog works on: its copy's place in the preview scene, and the object itself
// in the main scene by identity, so that objects deleted behind the dialog never turn it to
// another one (an object gone is found no more, and nothing is applied).
struct TToolTarget {
  int PreviewIndex = -1;
  TObjectId Object = kNoObject;
};
// The target of object `index` of `scene` in a preview holding a copy of every object of the
// scene in the same order (for a preview made by SetUpPreview, take the target it answers).
inline TToolTarget ToolTargetAt(const TScene& scene, int index) { return {index, scene.IdAt(index)}; }

// The preview scene of a tool dialog: a copy of object `index` and of the scene's lights, in the
// scene's order (the lights light it as in the scene), the object selected and alone on show, at
// the origin with no rotation and unit scale. The other solids are not copied: a preview draws
// only its object, and a copy keeps no parent, so it draws no relation. Answers the object's
// place in the preview and its identity in the scene (no place, kNoObject, when `index` names
// no object).
TToolTarget SetUpPreview(TScene& preview, TSceneRenderer& renderer, TScene& scene, int index);
// The preview of a dialog that shows every object of the scene (the light editor, the view types,
// the print preview) without copying their meshes: the objects are copied into the preview with
// their meshes left out, and each drawing or pick borrows the scene's meshes, object for object,
// for its own time. The scene must not change while the preview lives: its dialog is modal.
class TMeshLoan {
 public:
  // Copies every object of `scene` after those `preview` holds; the solids' copies hold no mesh.
  TMeshLoan(TScene& scene, TScene& preview);
  TMeshLoan(const TMeshLoan&) = delete;
  TMeshLoan& operator=(const TMeshLoan&) = delete;
  ~TMeshLoan();

  // Runs `work` with the scene's meshes in the preview's copies, then gives them back. The
  // preview is told its objects changed both times, so that nothing its renderer keeps of them
  // (bounds, kept pictures) outlives the loan. A loan inside a loan is part of it.
  void During(const std::function<void()>& work);
  bool Lent() const { return FLent; }

 private:
  void Swap();
  TScene& FScene;
  TScene& FPreview;
  std::vector<std::pair<int, TObjectId>> FSolids;  // the copy's place in the preview, the solid
  bool FLent = false;
};

// The dialog colour (0.5, 0.5, 0) in "Filaire", the object's colour in the scene in "Solide".
inline constexpr D3DCOLOR kPreviewWireColour = 0xFF7F7F00;
void SetPreviewFill(TScene& preview, TSceneRenderer& renderer, TScene& scene, const TToolTarget& target, bool solid);
inline void SetPreviewFill(TScene& preview, TSceneRenderer& renderer, TScene& scene, int index, bool solid) {
  SetPreviewFill(preview, renderer, scene, ToolTargetAt(scene, index), solid);
}
// The preview-only bars: scale p / 100, rotation to (vertical, horizontal, 0) degrees about the
// preview view's x and y axes.
void PlacePreviewObject(TScene& preview, int index, int zoom, int vertical, int horizontal);

// ---------------------------------------------------------------- noise

struct TNoiseChoice {
  int Range = 1;  // 1..4, "Plages de Bruit"
  std::string MinText = "0";
  std::string MaxText = "100";
  bool Addition = true;
};
// The interval of a range; the fourth reads the two fields (min above max is allowed).
bool NoiseBounds(const TNoiseChoice& choice, double& min, double& max, std::string& message);
// A new seed: the generator reseeded from the clock, then a uniform integer in [0, 2^31 - 1).
int32_t DrawNoiseSeed();
// "&Appliquer": the preview object restarts from the scene's object, then gets the noise of
// `seed`. False with the message (the preview then holds the scene's object, no noise) when the
// bounds cannot be read.
bool ApplyNoisePreview(TScene& preview, TScene& scene, const TToolTarget& target, const TNoiseChoice& choice,
                       int32_t seed, std::string& message);
inline bool ApplyNoisePreview(TScene& preview, TScene& scene, int index, const TNoiseChoice& choice, int32_t seed,
                              std::string& message) {
  return ApplyNoisePreview(preview, scene, ToolTargetAt(scene, index), choice, seed, message);
}

// ---------------------------------------------------------------- torsion

struct TTorsionSettings {
  Vec3d Fixed{0, -0.5, 0};
  Vec3d Rotating{0, 0.5, 0};
  double Angle = 0;  // radians
};
// The "Angle de Rotation" bar (-200..200) in radians.
double TorsionAngleOfBar(int position);
// Whether the two points are too close to make an axis.
bool TorsionAxisIsNull(const Vec3d& fixed, const Vec3d& rotating);
// The six fields (fixed x, y, z, rotating x, y, z): false, points unchanged, when one is not a number.
bool ReadTorsionFields(const std::array<std::string, 6>& texts, TTorsionSettings& settings, std::string& message);
// "&Appliquer": the scene's object copied into the preview, put at the origin, twisted (unless
// the axis is null) and the torsion recorded.
void ApplyTorsionPreview(TScene& preview, TScene& scene, const TToolTarget& target, const TTorsionSettings& settings);
inline void ApplyTorsionPreview(TScene& preview, TScene& scene, int index, const TTorsionSettings& settings) {
  ApplyTorsionPreview(preview, scene, ToolTargetAt(scene, index), settings);
}

// The two world directions a drag moves a point along: X and Y through the inverse of the
// object's rotation, normalised.
struct TDragFrame {
  Vec3d X{1, 0, 0}, Y{0, 1, 0};
};
TDragFrame DragDirections(const T3dObject& object);
// start + r X' + t Y', r = dx / (W - speed + 200), t = -dy / (H - speed + 200).
Vec3d DraggedPoint(const Vec3d& start, const TDragFrame& frame, int dx, int dy, int width, int height, int speed);

// ---------------------------------------------------------------- texture

struct TPlace {
  std::string Label;
  std::string Path;
};
// The places the texture dialog offers instead of drives: the home folder, the root, and the
// mounted volumes of `mountsText` (the /proc/self/mounts format) under /media, /mnt, /run/media.
std::vector<TPlace> TexturePlaces(const std::string& home, const std::string& mountsText);
// The same for this machine.
std::vector<TPlace> TexturePlaces();
// Whether a file name has one of the picture extensions the decoders read.
bool IsTextureFileName(const std::string& name);
// The sub-folders (".." first unless at the root) and the picture files of a folder, sorted;
// false with the message when the folder cannot be listed.
bool ListTextureFolder(const std::string& folder, std::vector<std::string>& folders, std::vector<std::string>& files,
                       std::string& message);
// "Appliquer" on the preview: the picture is decoded first; when it cannot be, the message says
// why and the preview object is left as it was.
bool ApplyTexturePreview(TScene& preview, int index, const std::string& file, std::string& message);

// ---------------------------------------------------------------- hand edits

// "&OK" of the envelope and point editors: every vertex the preview recorded goes to the target
// (coincident vertices moved from the target's position to the preview's, the mapping copied,
// the record list copied rank by rank). False, nothing changed, when a record names no vertex of
// the target.
bool MergeHandEdits(TSolidObject& target, const TSolidObject& preview);

// The envelope editor's work in the preview, in surface pixels of its W x H panel.
class TEnvelopeEditor {
 public:
  TEnvelopeEditor(TScene& preview, TSceneRenderer& renderer, int index);

  enum class TButton { Left, Right, Other };
  // Pointing with no drag: the vertex under the cursor becomes the hover point (blue marker).
  void MouseMove(int x, int y, int width, int height);
  void Press(int x, int y, TButton button);
  // While dragging: the current point (and what lies on it) follows the mouse.
  void DragTo(int x, int y, int width, int height, int speed);
  void Release(int x, int y, int width, int height, TButton button);
  // Typed coordinates: the current point and what lies on it go to p.
  void MoveCurrentTo(const Vec3d& p);
  // Typed mapping of the hover vertex at the current point.
  void SetMapping(float tu, float tv);

  bool HasCurrent() const { return !(Current == NotFoundVector); }
  bool Dragging() const { return FDragging; }
  bool Picked() const { return FPicked; }  // the coordinate boxes are shown
  // The mapping of the hover vertex at the current point, when it lies there.
  bool Mapping(float& tu, float& tv) const;

  Vec3d Current = NotFoundVector;
  Vec3d Hover{0, 0, 0};
  TVertexRef HoverRef{0, 0};

 private:
  bool PickAt(int x, int y, int width, int height, Vec3d& position, TVertexRef& ref);
  TSolidObject* Solid() const;

  TScene& FPreview;
  TSceneRenderer& FRenderer;
  int FIndex;
  bool FDragging = false;
  bool FPicked = false;
  Vec3d FDragStart;
  int FX0 = 0, FY0 = 0;
  TDragFrame FFrame;
};

// ---------------------------------------------------------------- point editor table

inline constexpr std::array<const char*, 6> kGridHeaders{"", "en X", "en Y", "en Z", "en U (X)", "en V (-Y)"};
inline constexpr std::array<int, 6> kGridColumnWidths{40, 35, 35, 35, 50, 50};

// The "Grille" table: one row per vertex, components in order (row 0 of the table is the header,
// so the vertex of running number n is row n).
class TMeshGrid {
 public:
  // Fills the rows from the solid: running number, x, y, z, tu, tv in the number format.
  void Fill(const TSolidObject& solid);
  int RowCount() const { return static_cast<int>(Rows.size()) + 1; }
  const std::string& Cell(int row, int column) const;
  void SetCell(int row, int column, const std::string& text);

  // Valid cell text: not empty, only characters from "," to "9" other than "/", and not "-".
  static bool ValidCell(const std::string& text);
  // Leaving cell (row, column) after editing; `remembered` is its value when it was entered.
  // Returns true when the solid changed (the table is then filled again); false with no message
  // when nothing was to commit, with the message when the cell is empty or just "-".
  bool Commit(TSolidObject& solid, int row, int column, double remembered, std::string& message);

  std::vector<std::array<std::string, 6>> Rows;
};

}  // namespace ixoral
