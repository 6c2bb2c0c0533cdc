// The scene container: the ordered object list, names, selection, association of objects into
// parent/child groups with their CSG relation, deletion with descendants, copies between scenes
// and the content of a new scene.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Settings.h"
#include "scene/Objects.h"
#include "scene/View.h"

namespace ixoral {

inline constexpr D3DCOLOR kMarkColorCurrent = 0x00FFFF00;   // yellow
inline constexpr D3DCOLOR kMarkColorSelected = 0x00FF00FF;  // magenta

// What changed in a scene, as its observers are told.
enum class TSceneChange {
  ObjectAdded,       // Index: the new object
  ObjectRemoved,     // Index: the object asked for; later indices may have moved
  ObjectChanged,     // Index: placement, geometry, colour, relation...; -1: several
  HierarchyChanged,  // Index: a solid's parent changed (-1: several); the groups are not the same
  ObjectRenamed,     // Index: the renamed object
  SelectionChanged,  // the current object or the other selected objects
  ViewsChanged,      // cameras, navigation or layout of the views
  SceneCleared,      // every object is gone (a new scene, or before a document is read)
  SceneLoaded,       // a document was read into the scene
  RedrawRequested,   // the views should be drawn again
};

struct TSceneEvent {
  TSceneChange Change;
  int Index = -1;
};

using TSceneObserver = std::function<void(const TSceneEvent&)>;
struct TSceneObserverList;

// An observer's registration with a scene: the observer is called until the subscription is
// reset or destroyed. It may outlive its scene (it then does nothing).
class TSceneSubscription {
 public:
  TSceneSubscription() = default;
  ~TSceneSubscription() { Reset(); }
  TSceneSubscription(TSceneSubscription&& other) noexcept;
  TSceneSubscription& operator=(TSceneSubscription&& other) noexcept;
  TSceneSubscription(const TSceneSubscription&) = delete;
  TSceneSubscription& operator=(const TSceneSubscription&) = delete;

  void Reset();
  bool Active() const { return !FList.expired(); }

 private:
  friend class TScene;
  TSceneSubscription(std::weak_ptr<TSceneObserverList> list, uint64_t id) : FList(std::move(list)), FId(id) {}
  std::weak_ptr<TSceneObserverList> FList;
  uint64_t FId = 0;
};

class TScene {
 public:
  // The scene owns its device; without one it keeps its lights in memory and loads no texture.
  // `settings` gives "EXPORT11" (view records).
  explicit TScene(std::unique_ptr<ISceneDevice> device = nullptr, TSettingsStore* settings = nullptr);
  ~TScene();
  TScene(const TScene&) = delete;
  TScene& operator=(const TScene&) = delete;

  ISceneDevice& Device() { return *FDevice; }

  int32_t LightCount = 0;
  std::string FileName;
  bool SaveViews = true;

  // The four views (front, left, top, perspective), each reset with its default camera.
  std::array<TVue, 4> Views;
  bool FourViews = true;

  // --- object list and names ---
  int ObjectCount() const { return static_cast<int>(FObjects.size()); }
  T3dObject* ObjectAt(int i) const;
  // Identity and position: an object's place in the list moves when another is deleted before
  // it (the last one moves into the freed place), its id never does. IndexOf answers -1 for an
  // id that names no object of this scene (deleted since, or never here).
  TObjectId IdAt(int i) const;
  int IndexOf(TObjectId id) const;
  T3dObject* ObjectById(TObjectId id) const { return ObjectAt(IndexOf(id)); }
  TSolidObject* SolidById(TObjectId id) const { return SolidAt(IndexOf(id)); }
  // Gives the objects, in list order, the ids a snapshot of this scene recorded (undo puts the
  // objects it reads back under the identity they had). False, changing nothing, when the count
  // differs or an id is repeated or kNoObject. Observers hear HierarchyChanged when an id changed.
  bool RestoreIds(const std::vector<TObjectId>& ids);
  // Puts the list in a new order: place k takes the object now at order[k], under ids[k]. The
  // objects order does not name are freed; parent links follow the ids given. False, changing
  // nothing, when the two lists differ in length, an index is outside the list or repeated, or
  // an id is repeated or kNoObject. Observers are told nothing: the caller knows what changed.
  bool ArrangeObjects(const std::vector<int>& order, const std::vector<TObjectId>& ids);
  bool IsSolid(int i) const;
  bool IsLight(int i) const;
  TSolidObject* SolidAt(int i) const;
  TLight* LightAt(int i) const;
  int IndexOfName(const std::string& name) const;
  bool NameExists(const std::string& name) const;
  // `name` followed by as few letters "i" as make it free: the name AddObject gives.
  std::string UniqueName(const std::string& name) const;
  // Appends the object under `name`, made unique by appending "i"; resets its three matrices to
  // identity and computes its selection marks. Returns the new index.
  int AddObject(std::unique_ptr<T3dObject> object, const std::string& name);
  // Gives object i exactly this name (the caller decides about clashes); ignored out of range.
  void RenameObject(int i, const std::string& name);
  void FreeAllObjects();
  // Frees the objects from index `count` on (the last ones added); nothing else changes.
  void TruncateObjects(int count);

  // --- selection ---
  // The main selected object and the others, by identity: what a selection was, to be put back.
  struct TSelectionState {
    TObjectId Current = kNoObject;
    std::vector<TObjectId> Others;
    bool operator==(const TSelectionState&) const = default;
  };
  // Index of the main selected object, -1 for none.
  int CurrentObject() const { return IndexOf(FCurrent); }
  // Indices of the other selected objects, in the order they were added.
  std::vector<int> SelectedObjects() const;
  TSelectionState Selection() const { return {FCurrent, FSelected}; }
  // Puts a selection back as it was (marks untouched); ids of objects gone since are dropped,
  // and without its main object nothing stays selected.
  void RestoreSelection(const TSelectionState& state);
  // Object i, already selected, becomes the main one: the previous main one becomes the first
  // of the others; the marks take their colours.
  void MakeCurrent(int i);
  bool HasSelection() const { return CurrentObject() >= 0; }
  int SelectionCount() const;
  int SelectedAt(int k) const;
  bool IsSelected(int i) const;
  void ClearSelection();
  void SelectObject(int i);
  void SetMarksColor(int i, D3DCOLOR colour);
  void AddToSelection(int i);
  void Deselect(int i);

  // --- association and relation ---
  // Index of solid i's parent, -1 without one (or when i is not a solid).
  int ParentOf(int i) const;
  TObjectId ParentIdOf(int i) const;
  // Sets only the link of solid i to object p (-1: none), as a document or the "Associer"
  // command sets it: no check of the chain, pivot and relation unchanged. An index outside the
  // list leaves no parent. False when i is not a solid.
  bool LinkParent(int i, int p);
  bool SetParent(int i, int p);
  bool CanRelate(int i, int p) const;
  bool SetRelation(int i, int p, uint8_t relation);
  Vec3d PivotPoint(TSolidObject& solid);

  // --- scene life and copies ---
  // Empties the scene (with its default light, or none). Whether unsaved work may go is asked
  // before, by the commands (TModeller::New); the scene itself never asks.
  void NewScene(bool withDefaultLight);
  void CreateDefaultLight();
  void DeleteObject(int i);
  // Replaces everything this scene holds by what `loaded` holds (a document read on the side):
  // its objects, in order, under new ids of this scene with their parent links, its lights on
  // this scene's device, its light count, views and file name; textured solids load their
  // pictures on this device. `loaded` is left empty. Observers hear SceneCleared, then
  // SceneLoaded; the selection is empty.
  void AdoptContentFrom(TScene& loaded);
  static void CloneObjectInto(TScene& destination, int i, TScene& source);
  static void CopyAllObjects(TScene& destination, TScene& source);
  static void CopyDeviceLights(TScene& source, TScene& destination);

  // Bounds box and the 48 selection marks of a solid, and its BoxCenter; lights are untouched.
  void RebuildSelectionMarks(int i);
  // Asks whoever draws the scene to draw its views again.
  void RedrawViews();

  // --- change notification ---
  // Registers an observer; it is called after every change, in registration order, for as long
  // as the returned subscription lives. Observers may subscribe or unsubscribe while notified.
  [[nodiscard]] TSceneSubscription Observe(TSceneObserver observer);
  // Tells every observer of a change made to the scene's objects from outside (a drag, an
  // inspector edit, a document read).
  void Notify(TSceneChange change, int index = -1);

 private:
  class TSelectionBatch;
  // The places of the solids naming each parent, in index order.
  using TChildPlaces = std::unordered_map<TObjectId, std::set<int>>;
  void RemoveSingle(int r, TChildPlaces& children);
  void IndexName(const std::string& name, int delta);
  void SelectionChanged();

  std::unique_ptr<ISceneDevice> FDevice;  // destroyed after the objects, whose lights it holds
  std::vector<std::unique_ptr<T3dObject>> FObjects;
  std::unordered_map<TObjectId, int> FIndexOfId;  // every object's place in FObjects
  TObjectId FNextId = 1;
  TObjectId FCurrent = kNoObject;
  std::vector<TObjectId> FSelected;
  std::unordered_map<std::string, int> FNameCounts;  // how many objects bear each name
  // Names by stem (the name less its trailing letters "i"): the runs of trailing-"i" counts in
  // use, first -> last. The free name for a request is the end of the run holding its count,
  // found without trying the candidates one by one.
  std::unordered_map<std::string, std::map<size_t, size_t>> FNameRuns;
  std::shared_ptr<TSceneObserverList> FObservers;
  int FSelectionBatch = 0;  // selection changes are told once, when the outermost one ends
  bool FSelectionDirty = false;
};

// The 48 selection-mark points of a box (corner brackets), coloured yellow.
std::array<D3DLVERTEX, kSelectionMarkCount> SelectionMarksOfBox(const Vec3d& min, const Vec3d& max);
// Box of all vertex positions, both limits starting at the origin.
void ComposantesBounds(const TArrayOfComposante& parts, Vec3d& min, Vec3d& max);

}  // namespace ixoral
