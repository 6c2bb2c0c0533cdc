// The undo history.
#include "commands/History.h"

#include <algorithm>
#include <string_view>

#include "document/SceneDocument.h"

namespace ixoral {

namespace {

// The name field of a record (its second), without splitting the whole record.
std::string RecordName(const std::string& record) {
  const size_t a = record.find(';');
  if (a == std::string::npos) return {};
  const size_t b = record.find(';', a + 1);
  return b == std::string::npos ? std::string() : record.substr(a + 1, b - a - 1);
}

bool IsSolidRecord(const std::string& record) { return record.rfind("SolidObject;", 0) == 0; }

void RestoreSelection(TScene& scene, const TSceneSnapshot& s) {
  scene.RestoreSelection(s.Selection);
  if (scene.CurrentObject() >= 0) {
    scene.SetMarksColor(scene.CurrentObject(), kMarkColorCurrent);
    for (const int i : scene.SelectedObjects()) scene.SetMarksColor(i, kMarkColorSelected);
  }
  scene.Notify(TSceneChange::SelectionChanged);
}

// Reads objects from `first` on from their records, each under its own name.
bool ReadRecordsFrom(TScene& scene, const std::vector<std::string>& records, size_t first) {
  TLoadBudget budget;
  budget.LoadStoredTextures = true;  // the records name the live texture files
  bool ok = true;
  for (size_t r = first; r < records.size(); ++r) {
    const std::string& record = records[r];
    const int before = scene.ObjectCount();
    const std::string given = ParseObject(scene, SplitRecord(record), &budget);
    if (given.empty() || scene.ObjectCount() != before + 1) {
      ok = false;
      continue;
    }
    // A light is read as "Lumière" + its number and a text after its text: the record's name
    // is the one the object had.
    const std::string name = RecordName(record);
    if (!name.empty() && given != name) scene.RenameObject(before, name);
  }
  budget.LinkParents(scene);
  return ok;
}

// Reads every object again from its record.
bool ReadAllRecords(TScene& scene, const std::vector<std::string>& records) {
  scene.ClearSelection();
  scene.FreeAllObjects();
  scene.LightCount = 0;
  scene.Notify(TSceneChange::SceneCleared);
  const bool ok = ReadRecordsFrom(scene, records, 0);
  scene.Notify(TSceneChange::SceneLoaded);
  return ok;
}

TObjectFlags FlagsOf(TScene& scene, int i) {
  TObjectFlags f;
  if (const T3dObject* o = scene.ObjectAt(i)) f.Shown = o->Afficher;
  if (const TSolidObject* s = scene.SolidAt(i)) {
    f.ShowRelation = s->ShowRelation;
    f.PivotStyle = s->PivotStyle;
  }
  return f;
}

// Puts back what the records leave out; answers whether anything changed.
bool RestoreFlags(TScene& scene, int i, const TObjectFlags& want) {
  if (FlagsOf(scene, i) == want) return false;
  T3dObject* o = scene.ObjectAt(i);
  if (o->Afficher != want.Shown) o->SetVisible(want.Shown);
  if (TSolidObject* s = scene.SolidAt(i)) {
    s->ShowRelation = want.ShowRelation;
    s->PivotStyle = want.PivotStyle;
  }
  return true;
}

bool SameViews(const std::array<TVue, 4>& a, const std::array<TVue, 4>& b) {
  for (size_t v = 0; v < 4; ++v) {
    const TVue &x = a[v], &y = b[v];
    if (x.ViewType != y.ViewType || !(x.Pos == y.Pos) || !(x.Rot == y.Rot) || !(x.Scale == y.Scale) ||
        !(x.Camera.Position == y.Camera.Position))
      return false;
  }
  return true;
}

std::vector<TObjectId> IdsOf(const TScene& scene) {
  std::vector<TObjectId> ids(static_cast<size_t>(scene.ObjectCount()));
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = scene.IdAt(static_cast<int>(i));
  return ids;
}

// Every object read again from the states of `target` (the kept ones) and of the scene now (the
// others, which the step left as they are): the way back when a light comes or goes, as the
// device's light numbers follow the list.
bool ReadEverythingAgain(TScene& scene, const TSceneSnapshot& target) {
  std::vector<TObjectState> states;
  states.reserve(target.Ids.size());
  for (const TObjectId id : target.Ids) {
    const auto kept = target.States.find(id);
    if (kept != target.States.end())
      states.push_back(kept->second);
    else if (const int i = scene.IndexOf(id); i >= 0)
      states.push_back(ObjectStateAt(scene, i));
  }
  std::vector<std::string> records;
  records.reserve(states.size());
  for (const TObjectState& s : states) records.push_back(s.Record);
  bool ok = ReadAllRecords(scene, records);
  ok = scene.RestoreIds(target.Ids) && ok;
  for (int i = 0; i < scene.ObjectCount() && i < static_cast<int>(states.size()); ++i) {
    const TObjectState& s = states[static_cast<size_t>(i)];
    scene.LinkParent(i, scene.IndexOf(s.Parent));
    RestoreFlags(scene, i, s.Flags);
  }
  return ok;
}

// A digest of what a step may change in an object without a notification: placement, colour,
// flags, parameters, shape, texture, deformation settings and grouping. The mesh itself is left
// out (it changes with a notification); its number of parts is in.
uint64_t PrintOf(const TScene& scene, int i) {
  const T3dObject* o = scene.ObjectAt(i);
  thread_local std::string b;  // one buffer for every object: a sweep allocates nothing
  b.clear();
  auto put = [](const auto& v) { b.append(reinterpret_cast<const char*>(&v), sizeof v); };
  b += o->Name();
  b += '\0';
  // The matrices follow from these (as a record keeps them); the rotation's axes are in them.
  put(o->Position), put(o->VectDir), put(o->Redim), put(o->RotationMatrix);
  put(o->Afficher), put(o->Specular), put(o->Color);
  for (int k = 1; k <= kParamCount; ++k) put(o->GetParam(k));
  for (int k = 1; k <= kTextParamCount; ++k) b += o->GetTextParam(k) + '\0';
  if (const TSolidObject* s = scene.SolidAt(i)) {
    put(s->ShapeType), put(s->VectHaut), put(s->Relation), put(s->ShowRelation), put(s->PivotStyle);
    put(s->Texturer), put(s->Bruit), put(s->Torsion), put(scene.ParentIdOf(i));
    put(s->Composantes.size()), put(s->ModifiedVertices.size());
    b += s->TextureFile;
    if (s->NoiseParams) put(s->NoiseParams->Min), put(s->NoiseParams->Max), put(s->NoiseParams->Seed);
    if (s->TorsionParams)
      put(s->TorsionParams->AxisStart), put(s->TorsionParams->AxisEnd), put(s->TorsionParams->Angle);
  } else if (const TLight* l = scene.LightAt(i)) {
    put(l->DeviceIndex), put(l->AimVector), put(l->SpotAngle), put(l->LightType);
  }
  return std::hash<std::string_view>{}(b);
}

}  // namespace

TObjectState ObjectStateAt(TScene& scene, int i) {
  TObjectState s;
  // Written without its parent: the record then does not change when the parent moves in the
  // list, and undo links the parent by identity.
  const int parent = scene.ParentOf(i);
  s.Parent = parent >= 0 ? scene.IdAt(parent) : kNoObject;
  if (parent >= 0) scene.LinkParent(i, -1);
  s.Record = SerializeObjectAt(scene, i);
  if (parent >= 0) scene.LinkParent(i, parent);
  s.Flags = FlagsOf(scene, i);
  return s;
}

size_t TSceneSnapshot::Bytes() const {
  size_t n = sizeof(*this) + (Selection.Others.size() + Ids.size()) * sizeof(TObjectId) + (Views ? sizeof(*Views) : 0);
  for (const auto& [id, s] : States) n += sizeof(id) + sizeof(s) + s.Record.size() + 2 * sizeof(void*);
  return n;
}

TSceneSnapshot TakeSnapshot(TScene& scene, bool views) {
  TSceneSnapshot s;
  s.Ids = IdsOf(scene);
  s.States.reserve(s.Ids.size());
  for (int i = 0; i < scene.ObjectCount(); ++i) s.States.emplace(scene.IdAt(i), ObjectStateAt(scene, i));
  s.Selection = scene.Selection();
  if (views) s.Views = scene.Views;
  return s;
}

bool SameState(const TSceneSnapshot& a, const TSceneSnapshot& b) {
  // The selection alone makes no step: picking objects is not an edit.
  if (a.Ids != b.Ids || a.States != b.States) return false;
  if (a.Views.has_value() != b.Views.has_value()) return true;  // views kept on one side only: not compared
  return !a.Views || SameViews(*a.Views, *b.Views);
}

bool RestoreSnapshot(TScene& scene, const TSceneSnapshot& target) {
  bool ok = true;
  const int n = scene.ObjectCount();
  // What goes: the objects the target does not hold, and those read again from their records.
  std::vector<char> drop(static_cast<size_t>(n), 0);
  bool lights = false;  // a light comes or goes: its device numbers are read again with the list
  if (IdsOf(scene) != target.Ids) {
    const std::unordered_set<TObjectId> wanted(target.Ids.begin(), target.Ids.end());
    for (int i = 0; i < n; ++i)
      if (!wanted.count(scene.IdAt(i))) {
        drop[static_cast<size_t>(i)] = 1;
        lights = lights || scene.IsLight(i);
      }
  }
  std::vector<TObjectId> read;  // objects read from their kept records
  std::vector<std::pair<int, TObjectState>> changed;
  for (const TObjectId id : target.Ids) {
    const int i = scene.IndexOf(id);
    const auto kept = target.States.find(id);
    if (i < 0) {
      if (kept == target.States.end()) {
        ok = false;  // neither here nor kept: the scene was changed outside the history
        continue;
      }
      lights = lights || !IsSolidRecord(kept->second.Record);
      read.push_back(id);
    } else if (kept != target.States.end()) {
      TObjectState now = ObjectStateAt(scene, i);
      if (now == kept->second) continue;
      // Only solids that keep their name are put back in place; a light is read again.
      const std::string &want = kept->second.Record, &is = now.Record;
      if (want != is && (!IsSolidRecord(want) || !IsSolidRecord(is))) lights = true;
      if (want != is && RecordName(want) != RecordName(is)) {
        drop[static_cast<size_t>(i)] = 1;
        read.push_back(id);
        continue;
      }
      changed.emplace_back(i, std::move(now));
    }
  }
  if (lights) {
    ok = ReadEverythingAgain(scene, target) && ok;
  } else {
    // Placement, colour and grouping are put back in place; any other difference reads the
    // object again from its record.
    std::vector<int> placed;
    bool hierarchy = false;
    for (const auto& [i, now] : changed) {
      const TObjectState& want = target.States.at(scene.IdAt(i));
      if (now.Record != want.Record && !ApplyPlacementOnly(scene, i, now.Record, want.Record)) {
        drop[static_cast<size_t>(i)] = 1;
        read.push_back(scene.IdAt(i));
        continue;
      }
      scene.LinkParent(i, scene.IndexOf(want.Parent));
      hierarchy = hierarchy || now.Parent != want.Parent;
      RestoreFlags(scene, i, want.Flags);
      placed.push_back(i);
    }
    // The list itself: objects read again come at its end, then every object takes its place.
    std::unordered_map<TObjectId, int> readAt;
    if (!read.empty()) {
      std::vector<std::string> records;
      for (const TObjectId id : read) records.push_back(target.States.at(id).Record);
      const int first = scene.ObjectCount();
      ok = ReadRecordsFrom(scene, records, 0) && ok;
      if (scene.ObjectCount() == first + static_cast<int>(read.size()))
        for (size_t k = 0; k < read.size(); ++k) readAt[read[k]] = first + static_cast<int>(k);
    }
    std::vector<int> order;
    std::vector<TObjectId> ids;
    order.reserve(target.Ids.size());
    ids.reserve(target.Ids.size());
    for (const TObjectId id : target.Ids) {
      const auto r = readAt.find(id);
      const int i = r != readAt.end() ? r->second : scene.IndexOf(id);
      if (i < 0 || (r == readAt.end() && i < n && drop[static_cast<size_t>(i)])) continue;
      order.push_back(i);
      ids.push_back(id);
    }
    bool identity = static_cast<int>(order.size()) == scene.ObjectCount();
    for (size_t k = 0; identity && k < order.size(); ++k)
      identity = order[k] == static_cast<int>(k) && scene.IdAt(order[k]) == ids[k];
    // Objects only added or only taken away at the end (an insert, a paste, a clone and their
    // undoing) are told one by one; any other change of the list regroups the browser's tree.
    const bool dropped = std::find(drop.begin(), drop.end(), 1) != drop.end();
    bool atTheEnd = true;
    for (int k = 0; atTheEnd && k < std::min<int>(n, static_cast<int>(order.size())); ++k)
      atTheEnd = order[static_cast<size_t>(k)] == k;
    atTheEnd = atTheEnd && (!dropped || read.empty());
    if (!identity) {
      if (!scene.ArrangeObjects(order, ids)) ok = false;
      // Objects read again took their ids back: whoever holds objects by id takes them again.
      if (!atTheEnd || !read.empty()) scene.Notify(TSceneChange::HierarchyChanged);
      if (dropped && atTheEnd)
        for (int i = n - 1; i >= scene.ObjectCount(); --i) scene.Notify(TSceneChange::ObjectRemoved, i);
    }
    for (const TObjectId id : read) {
      const int i = scene.IndexOf(id);
      if (i < 0) continue;
      const TObjectState& want = target.States.at(id);
      scene.LinkParent(i, scene.IndexOf(want.Parent));
      RestoreFlags(scene, i, want.Flags);
      scene.Notify(TSceneChange::ObjectAdded, i);
    }
    for (const int i : placed) scene.Notify(TSceneChange::ObjectChanged, i);
    // A parent that changed regroups the tree: the browser builds it again.
    if (hierarchy) scene.Notify(TSceneChange::HierarchyChanged);
  }
  if (target.Views) {
    scene.Views = *target.Views;
    scene.Notify(TSceneChange::ViewsChanged);
  }
  RestoreSelection(scene, target);
  scene.RedrawViews();
  return ok;
}

void THistory::Follow(TScene& scene) {
  if (FTracked == &scene && FSubscription.Active()) return;
  FTracked = &scene;
  FKnown.clear();
  FChanged.clear();
  FAllChanged = true;
  FSubscription = scene.Observe([this](const TSceneEvent& e) {
    if (FRestoring) return;
    switch (e.Change) {
      case TSceneChange::ObjectAdded:
      case TSceneChange::ObjectChanged:
      case TSceneChange::ObjectRenamed:
      case TSceneChange::HierarchyChanged:
        if (e.Index >= 0 && FTracked->ObjectAt(e.Index))
          FChanged.insert(FTracked->IdAt(e.Index));
        else if (e.Change != TSceneChange::ObjectChanged)  // "several moved": the digests tell which

          FAllChanged = true;
        break;
      case TSceneChange::SceneCleared:
      case TSceneChange::SceneLoaded:
        FAllChanged = true;
        break;
      default:  // a removal leaves the others as they were; selection and views are no objects
        break;
    }
  });
}

void THistory::Refresh(TScene& scene) {
  if (FAllChanged) {
    FKnown.clear();
    FKnown.reserve(static_cast<size_t>(scene.ObjectCount()));
    FPrints.clear();
    for (int i = 0; i < scene.ObjectCount(); ++i) {
      FKnown.emplace(scene.IdAt(i), ObjectStateAt(scene, i));
      FPrints.emplace(scene.IdAt(i), PrintOf(scene, i));
    }
  } else {
    for (const TObjectId id : FChanged)
      if (const int i = scene.IndexOf(id); i >= 0) {
        FKnown[id] = ObjectStateAt(scene, i);
        FPrints[id] = PrintOf(scene, i);
      } else {
        FKnown.erase(id);
        FPrints.erase(id);
      }
  }
  FChanged.clear();
  FAllChanged = false;
}

void THistory::Sweep(TScene& scene) {
  if (FAllChanged) return;
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    const TObjectId id = scene.IdAt(i);
    const auto known = FPrints.find(id);
    if (known == FPrints.end() || known->second != PrintOf(scene, i)) FChanged.insert(id);
  }
}

TSceneSnapshot THistory::Before(TScene& scene, bool views) {
  Follow(scene);
  Sweep(scene);
  Refresh(scene);
  TSceneSnapshot s;
  s.Ids = IdsOf(scene);
  s.Whole = false;
  s.Selection = scene.Selection();
  if (views) s.Views = scene.Views;
  return s;
}

bool THistory::Record(const std::string& name, TSceneSnapshot before, TScene& scene) {
  // The step keeps the order before and the states before of the objects that changed, came or
  // went; the states come from `before` itself when whole, else from what the history knew.
  const bool known = !before.Whole && FTracked == &scene && FSubscription.Active();
  std::unordered_map<TObjectId, TObjectState>& was = before.Whole ? before.States : FKnown;
  if (known) Sweep(scene);
  const bool allSeen = !known || FAllChanged;
  std::vector<TObjectId> candidates = allSeen ? IdsOf(scene) : std::vector<TObjectId>(FChanged.begin(), FChanged.end());
  TSceneSnapshot step;
  step.Whole = false;
  bool changed = before.Ids != IdsOf(scene);
  for (const TObjectId id : candidates) {
    const int i = scene.IndexOf(id);
    if (i < 0) continue;
    TObjectState now = ObjectStateAt(scene, i);
    // An object the state before does not know came with the step: nothing to keep of it.
    if (const auto old = was.find(id); old != was.end()) {
      if (old->second == now) continue;
      step.States.emplace(id, old->second);
    }
    changed = true;
    if (known) {
      FKnown[id] = std::move(now);
      FPrints[id] = PrintOf(scene, i);
    }
  }
  // Objects that went: their states before.
  for (const TObjectId id : before.Ids)
    if (scene.IndexOf(id) < 0) {
      if (const auto old = was.find(id); old != was.end()) step.States.emplace(id, old->second);
      if (known) {
        FKnown.erase(id);
        FPrints.erase(id);
      }
    }
  if (known) {
    FChanged.clear();
    FAllChanged = false;
  }
  if (!changed && before.Views && !SameViews(*before.Views, scene.Views)) changed = true;
  if (!changed) return false;
  step.Ids = std::move(before.Ids);
  step.Selection = std::move(before.Selection);
  step.Views = std::move(before.Views);
  for (const TStep& s : FRedo) FBytes -= s.State.Bytes();
  FRedo.clear();
  FBytes += step.Bytes();
  FUndo.push_back({name, std::move(step), FState});
  FState = ++FLastState;
  ++FVersion;
  Trim();
  return true;
}

void THistory::Trim() {
  // The oldest go first; the newest step stays even when it alone is over the budget.
  while (FUndo.size() > 1 && (FUndo.size() > FMaxSteps || FBytes > FMaxBytes)) {
    FBytes -= FUndo.front().State.Bytes();
    FUndo.pop_front();
  }
}

bool THistory::Move(std::deque<TStep>& from, std::deque<TStep>& to, TScene& scene) {
  if (from.empty()) return false;
  TStep step = std::move(from.back());
  from.pop_back();
  FBytes -= step.State.Bytes();
  // What the scene is now, to go back to from the other side: its order, and the objects the
  // step puts back or takes away.
  TSceneSnapshot now;
  now.Whole = false;
  now.Ids = IdsOf(scene);
  now.Selection = scene.Selection();
  if (step.State.Views) now.Views = scene.Views;
  for (const auto& [id, s] : step.State.States)
    if (const int i = scene.IndexOf(id); i >= 0) now.States.emplace(id, ObjectStateAt(scene, i));
  // Objects the step takes away (when the list differs at all).
  if (now.Ids != step.State.Ids) {
    const std::unordered_set<TObjectId> target(step.State.Ids.begin(), step.State.Ids.end());
    for (int i = 0; i < scene.ObjectCount(); ++i)
      if (!target.count(scene.IdAt(i))) now.States.emplace(scene.IdAt(i), ObjectStateAt(scene, i));
  }
  const bool known = FTracked == &scene && FSubscription.Active();
  FRestoring = known;
  const bool ok = RestoreSnapshot(scene, step.State);
  FRestoring = false;
  // What the history knows follows the objects it changed itself.
  if (known) {
    for (const auto& [id, s] : now.States) {
      FKnown.erase(id);
      FPrints.erase(id);
    }
    for (const auto& [id, s] : step.State.States)
      if (const int i = scene.IndexOf(id); i >= 0) {
        FKnown[id] = ObjectStateAt(scene, i);
        FPrints[id] = PrintOf(scene, i);
      }
  }
  TStep reverse{step.Name, std::move(now), FState};
  FState = step.Target;
  FBytes += reverse.State.Bytes();
  to.push_back(std::move(reverse));
  ++FVersion;
  return ok;
}

bool THistory::Undo(TScene& scene) { return Move(FUndo, FRedo, scene); }
bool THistory::Redo(TScene& scene) { return Move(FRedo, FUndo, scene); }

void THistory::Clear() {
  // A new start (a document opened, a new scene): what the history knew is read again.
  FAllChanged = true;
  FUndo.clear();
  FRedo.clear();
  FBytes = 0;
  FState = ++FLastState;
  ++FVersion;
}

}  // namespace ixoral
