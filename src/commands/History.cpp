// The undo history.
#include "commands/History.h"

#include <algorithm>

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

// The records of the objects now.
std::vector<std::string> CurrentRecords(TScene& scene) {
  std::vector<std::string> now;
  now.reserve(static_cast<size_t>(scene.ObjectCount()));
  for (int i = 0; i < scene.ObjectCount(); ++i) now.push_back(SerializeObjectAt(scene, i));
  return now;
}

// Objects added or taken away at the end of the list (an insert, a paste, a clone and their
// undoing): the others stay as they are. False when the difference is anything else.
bool RestoreAtTheEnd(TScene& scene, const std::vector<std::string>& now, const std::vector<std::string>& target) {
  const size_t common = std::min(now.size(), target.size());
  if (now.size() == target.size() ||
      !std::equal(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(common), now.begin()))
    return false;
  if (target.size() < now.size()) {
    // Only solids go this way: a light taken away also frees its place on the device.
    for (size_t i = common; i < now.size(); ++i)
      if (!IsSolidRecord(now[i])) return false;
    scene.ClearSelection();
    for (int i = scene.ObjectCount() - 1; i >= static_cast<int>(common); --i) {
      scene.TruncateObjects(i);
      scene.Notify(TSceneChange::ObjectRemoved, i);
    }
    return true;
  }
  const int before = scene.ObjectCount();
  const bool ok = ReadRecordsFrom(scene, target, common);
  for (int i = before; i < scene.ObjectCount(); ++i) scene.Notify(TSceneChange::ObjectAdded, i);
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

// Puts back what the records leave out; returns the objects whose flags changed.
std::vector<int> RestoreFlags(TScene& scene, const std::vector<TObjectFlags>& flags) {
  std::vector<int> changed;
  const int n = std::min(scene.ObjectCount(), static_cast<int>(flags.size()));
  for (int i = 0; i < n; ++i) {
    const TObjectFlags& want = flags[static_cast<size_t>(i)];
    if (FlagsOf(scene, i) == want) continue;
    T3dObject* o = scene.ObjectAt(i);
    if (o->Afficher != want.Shown) o->SetVisible(want.Shown);
    if (TSolidObject* s = scene.SolidAt(i)) {
      s->ShowRelation = want.ShowRelation;
      s->PivotStyle = want.PivotStyle;
    }
    changed.push_back(i);
  }
  return changed;
}

}  // namespace

size_t TSceneSnapshot::Bytes() const {
  size_t n = sizeof(*this) + (Selection.Others.size() + Ids.size()) * sizeof(TObjectId) +
             Flags.size() * sizeof(TObjectFlags) + (Views ? sizeof(*Views) : 0);
  for (const std::string& r : Records) n += r.size() + sizeof(std::string);
  return n;
}

TSceneSnapshot TakeSnapshot(TScene& scene, bool views) {
  TSceneSnapshot s;
  s.Records.reserve(static_cast<size_t>(scene.ObjectCount()));
  s.Ids.reserve(static_cast<size_t>(scene.ObjectCount()));
  for (int i = 0; i < scene.ObjectCount(); ++i) {
    s.Records.push_back(SerializeObjectAt(scene, i));
    s.Ids.push_back(scene.IdAt(i));
    s.Flags.push_back(FlagsOf(scene, i));
  }
  s.Selection = scene.Selection();
  if (views) s.Views = scene.Views;
  return s;
}

bool SameState(const TSceneSnapshot& a, const TSceneSnapshot& b) {
  // The selection alone makes no step: picking objects is not an edit.
  if (a.Records != b.Records || a.Flags != b.Flags) return false;
  if (a.Views.has_value() != b.Views.has_value()) return true;  // views kept on one side only: not compared
  if (!a.Views) return true;
  for (size_t v = 0; v < 4; ++v) {
    const TVue &x = (*a.Views)[v], &y = (*b.Views)[v];
    if (x.ViewType != y.ViewType || !(x.Pos == y.Pos) || !(x.Rot == y.Rot) || !(x.Scale == y.Scale) ||
        !(x.Camera.Position == y.Camera.Position))
      return false;
  }
  return true;
}

bool RestoreSnapshot(TScene& scene, const TSceneSnapshot& target) {
  bool ok = true;
  const int n = scene.ObjectCount();
  const std::vector<std::string> now = CurrentRecords(scene);
  bool inPlace = n == static_cast<int>(target.Records.size());
  std::vector<int> changed;
  if (!inPlace && RestoreAtTheEnd(scene, now, target.Records)) {
    inPlace = true;
  } else if (inPlace) {
    for (int i = 0; i < n; ++i) {
      const std::string& want = target.Records[static_cast<size_t>(i)];
      if (now[static_cast<size_t>(i)] == want) continue;
      // Only solids that keep their name and their shape are put back in place.
      const std::string& is = now[static_cast<size_t>(i)];
      if (!IsSolidRecord(want) || !IsSolidRecord(is) || RecordName(want) != RecordName(is)) {
        inPlace = false;
        break;
      }
      changed.push_back(i);
    }
  }
  if (inPlace) {
    std::vector<int> placed;
    bool hierarchy = false;
    for (const int i : changed) {
      const TObjectId parent = scene.ParentIdOf(i);
      if (!ApplyPlacementOnly(scene, i, now[static_cast<size_t>(i)], target.Records[static_cast<size_t>(i)])) {
        inPlace = false;  // a shape that changed: every object is read again below
        break;
      }
      hierarchy = hierarchy || scene.ParentIdOf(i) != parent;
      placed.push_back(i);
    }
    if (inPlace) {
      for (const int i : placed) scene.Notify(TSceneChange::ObjectChanged, i);
      // A parent that changed regroups the tree: the browser builds it again.
      if (hierarchy) scene.Notify(TSceneChange::HierarchyChanged);
    }
  }
  if (!inPlace) ok = ReadAllRecords(scene, target.Records);
  // The objects read again are the ones the step took away or changed: they come back under
  // the identity they had, so whatever held them (a dialog, the browser) finds them again.
  scene.RestoreIds(target.Ids);
  // Objects read again have their flags from the record's defaults; the step's are put back.
  for (const int i : RestoreFlags(scene, target.Flags))
    if (inPlace) scene.Notify(TSceneChange::ObjectChanged, i);
  if (target.Views) {
    scene.Views = *target.Views;
    scene.Notify(TSceneChange::ViewsChanged);
  }
  RestoreSelection(scene, target);
  scene.RedrawViews();
  return ok;
}

bool THistory::Record(const std::string& name, TSceneSnapshot before, TScene& scene) {
  const TSceneSnapshot after = TakeSnapshot(scene, before.Views.has_value());
  if (SameState(before, after)) return false;
  for (const TStep& s : FRedo) FBytes -= s.State.Bytes();
  FRedo.clear();
  FBytes += before.Bytes();
  FUndo.push_back({name, std::move(before), FState});
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
  // What the scene is now, to go back to from the other side.
  TStep reverse{step.Name, TakeSnapshot(scene, step.State.Views.has_value()), FState};
  const bool ok = RestoreSnapshot(scene, step.State);
  FState = step.Target;
  FBytes += reverse.State.Bytes();
  to.push_back(std::move(reverse));
  ++FVersion;
  return ok;
}

bool THistory::Undo(TScene& scene) { return Move(FUndo, FRedo, scene); }
bool THistory::Redo(TScene& scene) { return Move(FRedo, FUndo, scene); }

void THistory::Clear() {
  FUndo.clear();
  FRedo.clear();
  FBytes = 0;
  FState = ++FLastState;
  ++FVersion;
}

}  // namespace ixoral
