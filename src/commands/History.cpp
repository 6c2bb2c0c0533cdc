// The undo history.
#include "commands/History.h"

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
  scene.ClearSelection();
  const int n = scene.ObjectCount();
  scene.CurrentObject = s.Current < n ? s.Current : -1;
  scene.SelectedObjects.clear();
  if (scene.CurrentObject >= 0) {
    scene.SetMarksColor(scene.CurrentObject, kMarkColorCurrent);
    for (const int32_t i : s.Selected)
      if (i >= 0 && i < n) {
        scene.SelectedObjects.push_back(i);
        scene.SetMarksColor(i, kMarkColorSelected);
      }
  }
  scene.Notify(TSceneChange::SelectionChanged);
}

// Reads every object again from its record, under its own name.
bool ReadAllRecords(TScene& scene, const std::vector<std::string>& records) {
  scene.ClearSelection();
  scene.FreeAllObjects();
  scene.LightCount = 0;
  scene.Notify(TSceneChange::SceneCleared);
  TLoadBudget budget;
  budget.LoadStoredTextures = true;  // the records name the live texture files
  bool ok = true;
  for (const std::string& record : records) {
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
  scene.Notify(TSceneChange::SceneLoaded);
  return ok;
}

}  // namespace

size_t TSceneSnapshot::Bytes() const {
  size_t n = sizeof(*this) + Selected.size() * sizeof(int32_t) + (Views ? sizeof(*Views) : 0);
  for (const std::string& r : Records) n += r.size() + sizeof(std::string);
  return n;
}

TSceneSnapshot TakeSnapshot(TScene& scene, bool views) {
  TSceneSnapshot s;
  s.Records.reserve(static_cast<size_t>(scene.ObjectCount()));
  for (int i = 0; i < scene.ObjectCount(); ++i) s.Records.push_back(SerializeObjectAt(scene, i));
  s.Current = scene.CurrentObject;
  s.Selected = scene.SelectedObjects;
  if (views) s.Views = scene.Views;
  return s;
}

bool SameState(const TSceneSnapshot& a, const TSceneSnapshot& b) {
  // The selection alone makes no step: picking objects is not an edit.
  if (a.Records != b.Records) return false;
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
  bool inPlace = n == static_cast<int>(target.Records.size());
  std::vector<int> changed;
  std::vector<std::string> now;
  if (inPlace) {
    now.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      now.push_back(SerializeObjectAt(scene, i));
      const std::string& want = target.Records[static_cast<size_t>(i)];
      if (now.back() == want) continue;
      // Only solids that keep their name and their shape are put back in place.
      if (!IsSolidRecord(want) || !IsSolidRecord(now.back()) || RecordName(want) != RecordName(now.back())) {
        inPlace = false;
        break;
      }
      changed.push_back(i);
    }
  }
  if (inPlace) {
    // Placement first for all, then the mesh-changing ones fall back to a full read.
    std::vector<int> placed;
    for (const int i : changed) {
      if (!ApplyPlacementOnly(scene, i, now[static_cast<size_t>(i)], target.Records[static_cast<size_t>(i)])) {
        inPlace = false;
        break;
      }
      placed.push_back(i);
    }
    if (inPlace) {
      bool hierarchy = false;
      for (const int i : placed) {
        hierarchy = hierarchy || SplitRecord(now[static_cast<size_t>(i)]) != SplitRecord(target.Records[static_cast<size_t>(i)]);
        scene.Notify(TSceneChange::ObjectChanged, i);
      }
      // A parent that changed regroups the tree: the browser builds it again.
      if (hierarchy && !placed.empty()) scene.Notify(TSceneChange::HierarchyChanged);
    }
  }
  if (!inPlace) ok = ReadAllRecords(scene, target.Records);
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
  FUndo.push_back({name, std::move(before)});
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
  TStep reverse{step.Name, TakeSnapshot(scene, step.State.Views.has_value())};
  const bool ok = RestoreSnapshot(scene, step.State);
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
  ++FVersion;
}

}  // namespace ixoral
