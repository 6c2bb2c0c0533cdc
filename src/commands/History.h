// The undo history of the main scene. A step keeps the scene as it was before a command changed
// it: every object's record (the text a document holds for it — names, order, parents, relations,
// deformation records, textures, lights and their device records), the selection and, for the
// steps that change them, the views. Undoing puts that state back and keeps the state it
// replaced for redoing. Objects whose records differ only in where they stand, their colour or
// their grouping are put back in place; any other difference reads the objects again from their
// records. The history is bounded by a number of steps and a memory budget, the oldest steps
// going first; a single step larger than the budget is still kept, alone.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "scene/Scene.h"

namespace ixoral {

inline constexpr size_t kHistorySteps = 100;
inline constexpr size_t kHistoryBytes = 64u << 20;
inline constexpr const char* kUndoCaption = "&Annuler";
inline constexpr const char* kRedoCaption = "&Rétablir";

// The step names shown after "Annuler " and "Rétablir ".
namespace step {
inline constexpr const char* Insertion = "Insertion";
inline constexpr const char* Suppression = "Suppression";
inline constexpr const char* Couper = "Couper";
inline constexpr const char* Coller = "Coller";
inline constexpr const char* Clonage = "Clonage";
inline constexpr const char* Renommage = "Renommage";
inline constexpr const char* Association = "Association";
inline constexpr const char* Dissociation = "Dissociation";
inline constexpr const char* Deplacement = "Déplacement";
inline constexpr const char* Rotation = "Rotation";
inline constexpr const char* Redimensionnement = "Redimensionnement";
inline constexpr const char* PositionInitiale = "Position initiale";
inline constexpr const char* Proprietes = "Propriétés";
inline constexpr const char* Lumiere = "Lumière";
inline constexpr const char* Vues = "Vues";
inline constexpr const char* Deformation = "Déformation";
inline constexpr const char* Texture = "Texture";
inline constexpr const char* Importation = "Importation";
inline constexpr const char* Relation = "Relation";
}  // namespace step

// What an object's record leaves out and a step must keep: whether the object is shown, whether
// its relation with its parent is drawn, and which pivot it turns about.
struct TObjectFlags {
  bool Shown = true;
  bool ShowRelation = false;
  uint8_t PivotStyle = 0;
  bool operator==(const TObjectFlags&) const = default;
};

// One object as a step keeps it: its record written without its parent (so that it does not
// depend on where the parent stands in the list), the parent by identity, and the flags.
struct TObjectState {
  std::string Record;
  TObjectId Parent = kNoObject;
  TObjectFlags Flags;
  bool operator==(const TObjectState&) const = default;
};

// The state of one object of the scene now.
TObjectState ObjectStateAt(TScene& scene, int i);

// The scene's state as a step keeps it: the order of every object by identity, and the states of
// the objects kept — every object's in a whole snapshot, only those a step changed or took away
// once the history has recorded it (the others are as the scene has them).
struct TSceneSnapshot {
  std::vector<TObjectId> Ids;  // every object, in order
  std::unordered_map<TObjectId, TObjectState> States;
  TScene::TSelectionState Selection;
  std::optional<std::array<TVue, 4>> Views;  // kept by the steps that change the views
  bool Whole = true;                         // States holds every object of Ids
  size_t Bytes() const;
};

// The scene's state now; with `views`, the views too.
TSceneSnapshot TakeSnapshot(TScene& scene, bool views = false);
// Puts the scene in the state of `snapshot` and tells the scene's observers what changed.
// Returns false when a record could not be read (the objects read stay; the state is reported
// as it is).
bool RestoreSnapshot(TScene& scene, const TSceneSnapshot& snapshot);
// Whether two whole states hold the same objects and, when both kept them, the same views; the
// selection is not compared.
bool SameState(const TSceneSnapshot& a, const TSceneSnapshot& b);

class THistory {
 public:
  explicit THistory(size_t maxSteps = kHistorySteps, size_t maxBytes = kHistoryBytes)
      : FMaxSteps(maxSteps), FMaxBytes(maxBytes) {}

  // Records a step named `name` whose state before was `before`, unless the scene is still in
  // that state (a command that failed or changed nothing leaves nothing to undo). Clears what
  // could be redone. Returns whether a step was recorded.
  bool Record(const std::string& name, TSceneSnapshot before, TScene& scene);
  // The state before a step on `scene`, as Record takes it: the history keeps the states of the
  // scene's objects as they were after its last step and takes from there the states of the
  // objects a step changes, so that a step costs what it changes rather than what the scene
  // holds. The objects changed are those the scene's notifications name, and those whose
  // placement, colour, flags, parameters or grouping differ from a digest kept of each (changes
  // made without a notification, or told as "several objects").
  TSceneSnapshot Before(TScene& scene, bool views = false);

  bool CanUndo() const { return !FUndo.empty(); }
  bool CanRedo() const { return !FRedo.empty(); }
  // The name of the step an undo or a redo would undo or redo; empty when none.
  std::string UndoName() const { return FUndo.empty() ? std::string() : FUndo.back().Name; }
  std::string RedoName() const { return FRedo.empty() ? std::string() : FRedo.back().Name; }
  bool Undo(TScene& scene);
  bool Redo(TScene& scene);
  void Clear();

  size_t UndoCount() const { return FUndo.size(); }
  size_t RedoCount() const { return FRedo.size(); }
  size_t Bytes() const { return FBytes; }
  // Counts every step recorded, undone or redone: the scene's edits since a point can be told
  // by comparing with this number then.
  uint64_t Version() const { return FVersion; }
  // Names the scene's state as the history knows it: a new number after each step recorded,
  // and the number it had before when a step is undone (after when redone). A scene undone back
  // to where it was saved has the number it had then.
  uint64_t State() const { return FState; }

 private:
  struct TStep {
    std::string Name;
    TSceneSnapshot State;
    uint64_t Target = 0;  // the state number the scene has once this snapshot is put back
  };
  void Trim();
  bool Move(std::deque<TStep>& from, std::deque<TStep>& to, TScene& scene);
  // What the history knows of the tracked scene's objects: brought up to date, and the ids told
  // changed since taken out.
  void Follow(TScene& scene);
  void Sweep(TScene& scene);
  void Refresh(TScene& scene);

  size_t FMaxSteps;
  size_t FMaxBytes;
  size_t FBytes = 0;
  uint64_t FVersion = 0;
  uint64_t FState = 0;
  uint64_t FLastState = 0;
  std::deque<TStep> FUndo;
  std::deque<TStep> FRedo;
  TScene* FTracked = nullptr;
  TSceneSubscription FSubscription;
  std::unordered_map<TObjectId, TObjectState> FKnown;  // the tracked scene's objects after the last step
  std::unordered_set<TObjectId> FChanged;              // told changed since
  bool FAllChanged = true;                             // anything may have changed: read them all again
  std::unordered_map<TObjectId, uint64_t> FPrints;     // a digest of each known object's fields
  bool FRestoring = false;                             // the history itself changes the scene
};

}  // namespace ixoral
