// The scene container's object side.
#include "scene/Scene.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>
#include <unordered_set>

#include "scene/Shapes.h"

namespace ixoral {

// ---------------------------------------------------------------- change notification

struct TSceneObserverList {
  std::vector<std::pair<uint64_t, TSceneObserver>> Entries;
  uint64_t NextId = 1;
};

TSceneSubscription::TSceneSubscription(TSceneSubscription&& other) noexcept
    : FList(std::move(other.FList)), FId(other.FId) {
  other.FList.reset();
}

TSceneSubscription& TSceneSubscription::operator=(TSceneSubscription&& other) noexcept {
  if (this != &other) {
    Reset();
    FList = std::move(other.FList);
    FId = other.FId;
    other.FList.reset();
  }
  return *this;
}

void TSceneSubscription::Reset() {
  if (auto list = FList.lock()) {
    auto& e = list->Entries;
    e.erase(std::remove_if(e.begin(), e.end(), [this](const auto& p) { return p.first == FId; }), e.end());
  }
  FList.reset();
}

TSceneSubscription TScene::Observe(TSceneObserver observer) {
  const uint64_t id = FObservers->NextId++;
  FObservers->Entries.emplace_back(id, std::move(observer));
  return TSceneSubscription(FObservers, id);
}

void TScene::Notify(TSceneChange change, int index) {
  // A copy: an observer may subscribe or unsubscribe others (or itself) while being told. The
  // list is kept alive in case an observer destroys the scene.
  const std::shared_ptr<TSceneObserverList> keep = FObservers;
  const auto entries = keep->Entries;
  const TSceneEvent event{change, index};
  for (const auto& [id, observer] : entries) {
    const bool stillThere =
        std::any_of(keep->Entries.begin(), keep->Entries.end(), [id = id](const auto& p) { return p.first == id; });
    if (stillThere) observer(event);
  }
}

// Selection operations call each other; observers hear of the change once, at the end of the
// outermost one.
class TScene::TSelectionBatch {
 public:
  explicit TSelectionBatch(TScene& scene) : FScene(scene) { ++FScene.FSelectionBatch; }
  ~TSelectionBatch() {
    if (--FScene.FSelectionBatch == 0 && FScene.FSelectionDirty) {
      FScene.FSelectionDirty = false;
      FScene.Notify(TSceneChange::SelectionChanged);
    }
  }
  TSelectionBatch(const TSelectionBatch&) = delete;
  TSelectionBatch& operator=(const TSelectionBatch&) = delete;

 private:
  TScene& FScene;
};

void TScene::SelectionChanged() {
  TSelectionBatch batch(*this);
  FSelectionDirty = true;
}

TScene::TScene(std::unique_ptr<ISceneDevice> device, TSettingsStore* settings)
    : FDevice(device ? std::move(device) : std::make_unique<TNullDevice>()),
      FObservers(std::make_shared<TSceneObserverList>()) {
  if (settings) SaveViews = settings->ReadString("\\options", "EXPORT11") != "0";
  for (size_t i = 0; i < Views.size(); ++i) {
    Views[i].ResetView();
    Views[i].ViewIndex = static_cast<uint8_t>(i);
    Views[i].SetViewType(static_cast<int>(i));
  }
}

TScene::~TScene() { FreeAllObjects(); }

// ---------------------------------------------------------------- object list and names

T3dObject* TScene::ObjectAt(int i) const {
  if (i < 0 || i >= ObjectCount()) return nullptr;
  return FObjects[static_cast<size_t>(i)].get();
}

bool TScene::IsSolid(int i) const {
  const T3dObject* o = ObjectAt(i);
  return o && !o->IsLight();
}

bool TScene::IsLight(int i) const {
  const T3dObject* o = ObjectAt(i);
  return o && o->IsLight();
}

TSolidObject* TScene::SolidAt(int i) const { return IsSolid(i) ? static_cast<TSolidObject*>(ObjectAt(i)) : nullptr; }

TLight* TScene::LightAt(int i) const { return IsLight(i) ? static_cast<TLight*>(ObjectAt(i)) : nullptr; }

TObjectId TScene::IdAt(int i) const {
  const T3dObject* o = ObjectAt(i);
  return o ? o->FId : kNoObject;
}

int TScene::IndexOf(TObjectId id) const {
  if (id == kNoObject) return -1;
  const auto it = FIndexOfId.find(id);
  return it == FIndexOfId.end() ? -1 : it->second;
}

bool TScene::RestoreIds(const std::vector<TObjectId>& ids) {
  if (ids.size() != FObjects.size()) return false;
  std::unordered_map<TObjectId, int> index;
  index.reserve(ids.size());
  for (size_t k = 0; k < ids.size(); ++k)
    if (ids[k] == kNoObject || !index.emplace(ids[k], static_cast<int>(k)).second) return false;
  // Parent links name ids too: each follows its parent to the parent's new id.
  std::vector<int> parents(ids.size(), -1);
  for (size_t k = 0; k < ids.size(); ++k) parents[k] = ParentOf(static_cast<int>(k));
  bool changed = false;
  for (size_t k = 0; k < ids.size(); ++k) {
    changed = changed || FObjects[k]->FId != ids[k];
    FObjects[k]->FId = ids[k];
    FNextId = std::max(FNextId, ids[k] + 1);
  }
  for (size_t k = 0; k < ids.size(); ++k)
    if (TSolidObject* s = SolidAt(static_cast<int>(k)))
      s->FParent = parents[k] >= 0 ? ids[static_cast<size_t>(parents[k])] : kNoObject;
  FIndexOfId = std::move(index);
  // Whoever holds objects by id (the browser's nodes) takes them again, as after a regrouping.
  if (changed) Notify(TSceneChange::HierarchyChanged);
  return true;
}

bool TScene::ArrangeObjects(const std::vector<int>& order, const std::vector<TObjectId>& ids) {
  if (order.size() != ids.size()) return false;
  std::vector<char> taken(FObjects.size(), 0);
  std::unordered_map<TObjectId, int> index;
  index.reserve(ids.size());
  for (size_t k = 0; k < order.size(); ++k) {
    const int from = order[k];
    if (from < 0 || from >= ObjectCount() || taken[static_cast<size_t>(from)]) return false;
    taken[static_cast<size_t>(from)] = 1;
    if (ids[k] == kNoObject || !index.emplace(ids[k], static_cast<int>(k)).second) return false;
  }
  // Links to an object that changes its id follow it.
  std::unordered_map<TObjectId, TObjectId> renamed;
  for (size_t k = 0; k < order.size(); ++k)
    if (const TObjectId was = FObjects[static_cast<size_t>(order[k])]->FId; was != ids[k]) renamed[was] = ids[k];
  std::vector<std::unique_ptr<T3dObject>> arranged;
  arranged.reserve(order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    arranged.push_back(std::move(FObjects[static_cast<size_t>(order[k])]));
    arranged.back()->FId = ids[k];
    FNextId = std::max(FNextId, ids[k] + 1);
  }
  // What is left is freed one at a time, from the end (a light reaches the device as it goes).
  for (size_t k = FObjects.size(); k-- > 0;)
    if (FObjects[k]) {
      IndexName(FObjects[k]->Name(), -1);
      FObjects[k].reset();
    }
  FObjects = std::move(arranged);
  if (!renamed.empty())
    for (auto& object : FObjects)
      if (!object->IsLight()) {
        auto& solid = static_cast<TSolidObject&>(*object);
        if (const auto it = renamed.find(solid.FParent); it != renamed.end()) solid.FParent = it->second;
      }
  FIndexOfId = std::move(index);
  return true;
}

int TScene::IndexOfName(const std::string& name) const {
  if (!NameExists(name)) return -1;
  for (int i = 0; i < ObjectCount(); ++i)
    if (FObjects[static_cast<size_t>(i)]->Name() == name) return i;
  return -1;
}

bool TScene::NameExists(const std::string& name) const { return FNameCounts.count(name) != 0; }

namespace {
// A name as its stem and the number of letters "i" that end it ("Cubeii": "Cube", 2).
std::pair<std::string_view, size_t> SplitTrailingI(std::string_view name) {
  size_t stem = name.size();
  while (stem > 0 && name[stem - 1] == 'i') --stem;
  return {name.substr(0, stem), name.size() - stem};
}
}  // namespace

void TScene::IndexName(const std::string& name, int delta) {
  int& count = FNameCounts[name];
  const bool wasUsed = count > 0;
  count += delta;
  const bool used = count > 0;
  if (!used) FNameCounts.erase(name);
  if (used == wasUsed) return;
  const auto [stem, k] = SplitTrailingI(name);
  auto& runs = FNameRuns[std::string(stem)];
  if (used) {
    // Join the runs ending just before k and starting just after it.
    size_t first = k, last = k;
    auto next = runs.find(k + 1);
    if (next != runs.end()) {
      last = next->second;
      runs.erase(next);
    }
    auto it = runs.lower_bound(k);
    if (it != runs.begin() && std::prev(it)->second + 1 == k) {
      --it;
      first = it->first;
    }
    runs[first] = last;
  } else {
    // Split the run holding k around it.
    auto it = std::prev(runs.upper_bound(k));
    const size_t first = it->first, last = it->second;
    runs.erase(it);
    if (first < k) runs[first] = k - 1;
    if (k < last) runs[k + 1] = last;
    if (runs.empty()) FNameRuns.erase(std::string(stem));
  }
}

std::string TScene::UniqueName(const std::string& name) const {
  const auto [stem, k] = SplitTrailingI(name);
  const auto found = FNameRuns.find(std::string(stem));
  if (found == FNameRuns.end()) return name;
  const auto& runs = found->second;
  auto it = runs.upper_bound(k);
  if (it == runs.begin()) return name;
  --it;
  if (it->second < k) return name;  // k lies past the run before it: the name is free
  return name + std::string(it->second + 1 - k, 'i');
}

int TScene::AddObject(std::unique_ptr<T3dObject> object, const std::string& name) {
  object->ScaleMatrix = Identity();
  object->RotationMatrix = Identity();
  object->TranslationMatrix = Identity();
  const std::string unique = UniqueName(name);
  object->FName = unique;
  IndexName(unique, +1);
  object->FId = FNextId++;
  FIndexOfId[object->FId] = ObjectCount();
  FObjects.push_back(std::move(object));
  const int index = ObjectCount() - 1;
  RebuildSelectionMarks(index);
  Notify(TSceneChange::ObjectAdded, index);
  return index;
}

void TScene::RenameObject(int i, const std::string& name) {
  T3dObject* o = ObjectAt(i);
  if (!o) return;
  IndexName(o->FName, -1);
  o->FName = name;
  IndexName(name, +1);
  Notify(TSceneChange::ObjectRenamed, i);
}

void TScene::TruncateObjects(int count) {
  while (ObjectCount() > std::max(count, 0)) {
    IndexName(FObjects.back()->Name(), -1);
    FIndexOfId.erase(FObjects.back()->FId);
    FObjects.pop_back();
  }
}

void TScene::FreeAllObjects() {
  // Pop one at a time: a light being destroyed reaches the device through this scene.
  while (!FObjects.empty()) FObjects.pop_back();
  FIndexOfId.clear();
  FNameCounts.clear();
  FNameRuns.clear();
}

// ---------------------------------------------------------------- selection

int TScene::SelectionCount() const { return CurrentObject() < 0 ? 0 : 1 + static_cast<int>(FSelected.size()); }

int TScene::SelectedAt(int k) const {
  if (k == 0) return CurrentObject();
  if (k < 1 || k > static_cast<int>(FSelected.size())) return -1;
  return IndexOf(FSelected[static_cast<size_t>(k - 1)]);
}

std::vector<int> TScene::SelectedObjects() const {
  std::vector<int> indices;
  indices.reserve(FSelected.size());
  for (const TObjectId id : FSelected) indices.push_back(IndexOf(id));
  return indices;
}

bool TScene::IsSelected(int i) const {
  const TObjectId id = IdAt(i);
  return id != kNoObject && (id == FCurrent || std::find(FSelected.begin(), FSelected.end(), id) != FSelected.end());
}

void TScene::ClearSelection() {
  if (FCurrent == kNoObject && FSelected.empty()) return;
  FSelected.clear();
  FCurrent = kNoObject;
  SelectionChanged();
}

void TScene::SelectObject(int i) {
  TSelectionBatch batch(*this);
  ClearSelection();
  FCurrent = IdAt(i);
  if (FCurrent != kNoObject) SelectionChanged();
}

void TScene::RestoreSelection(const TSelectionState& state) {
  TSelectionBatch batch(*this);
  const TSelectionState before = Selection();
  FCurrent = IndexOf(state.Current) >= 0 ? state.Current : kNoObject;
  FSelected.clear();
  if (FCurrent != kNoObject)
    for (const TObjectId id : state.Others)
      if (IndexOf(id) >= 0) FSelected.push_back(id);
  if (!(Selection() == before)) SelectionChanged();
}

void TScene::MakeCurrent(int i) {
  const TObjectId id = IdAt(i);
  if (id == kNoObject || id == FCurrent || !IsSelected(i)) return;
  TSelectionBatch batch(*this);
  FSelected.erase(std::remove(FSelected.begin(), FSelected.end(), id), FSelected.end());
  FSelected.insert(FSelected.begin(), FCurrent);
  SetMarksColor(CurrentObject(), kMarkColorSelected);
  FCurrent = id;
  SetMarksColor(i, kMarkColorCurrent);
  SelectionChanged();
}

void TScene::SetMarksColor(int i, D3DCOLOR colour) {
  if (TSolidObject* s = SolidAt(i))
    for (auto& m : s->SelectionMarks) m.color = colour;
}

void TScene::AddToSelection(int i) {
  const int n = ObjectCount();
  if (i < 0 || i >= n || IsSelected(i)) return;
  TSelectionBatch batch(*this);
  // Depth first, children in index order; `visited` keeps a damaged parent cycle from looping.
  std::vector<char> visited(static_cast<size_t>(n), 0);
  std::vector<std::pair<int, int>> stack;  // object, next index to look at for its children
  auto visit = [&](int k) {
    visited[static_cast<size_t>(k)] = 1;
    if (ObjectAt(k)->Afficher) {
      if (CurrentObject() >= 0) {
        FSelected.push_back(IdAt(k));
        SetMarksColor(k, kMarkColorSelected);
        SelectionChanged();
      } else {
        SelectObject(k);
        SetMarksColor(k, kMarkColorCurrent);
      }
    }
    stack.emplace_back(k, 0);
  };
  visit(i);
  while (!stack.empty()) {
    const TObjectId node = IdAt(stack.back().first);
    int child = -1;
    for (int j = stack.back().second; j < n; ++j)
      if (IsSolid(j) && SolidAt(j)->FParent == node) {
        child = j;
        break;
      }
    if (child < 0) {
      stack.pop_back();
      continue;
    }
    stack.back().second = child + 1;
    if (!visited[static_cast<size_t>(child)] && !IsSelected(child)) visit(child);
  }
}

void TScene::Deselect(int i) {
  if (i < 0 || i >= ObjectCount()) return;
  TSelectionBatch batch(*this);
  if (CurrentObject() < 0) {
    SelectObject(i);
    return;
  }
  const TObjectId id = IdAt(i);
  if (id != FCurrent) {
    const auto it = std::find(FSelected.begin(), FSelected.end(), id);
    if (it != FSelected.end()) {
      FSelected.erase(it);
      SelectionChanged();
    }
    return;
  }
  if (!FSelected.empty()) {
    FCurrent = FSelected.front();
    FSelected.erase(FSelected.begin());
    SetMarksColor(CurrentObject(), kMarkColorCurrent);
    SelectionChanged();
  } else {
    SelectObject(-1);
  }
}

// ---------------------------------------------------------------- association and relation

int TScene::ParentOf(int i) const {
  const TSolidObject* s = SolidAt(i);
  return s ? IndexOf(s->FParent) : -1;
}

TObjectId TScene::ParentIdOf(int i) const {
  const TSolidObject* s = SolidAt(i);
  return s ? s->FParent : kNoObject;
}

bool TScene::LinkParent(int i, int p) {
  TSolidObject* s = SolidAt(i);
  if (!s) return false;
  s->FParent = IdAt(p);
  return true;
}

bool TScene::SetParent(int i, int p) {
  if (!IsSolid(i) || (p != -1 && !IsSolid(p)) || p == i) return false;
  // Refuse when i is an ancestor of p; the walk is bounded in case the chain is damaged.
  int j = p;
  for (int steps = 0; j >= 0 && IsSolid(j) && steps <= ObjectCount(); ++steps) {
    if (ParentOf(j) == i) return false;
    j = ParentOf(j);
  }
  TSolidObject* s = SolidAt(i);
  s->FParent = IdAt(p);
  s->PivotStyle = p >= 0 ? 1 : 0;
  s->Relation = relAucune;
  Notify(TSceneChange::HierarchyChanged, i);
  return true;
}

bool TScene::CanRelate(int i, int p) const {
  if (!IsSolid(i) || !IsSolid(p)) return false;
  if (SolidAt(p)->Relation != relAucune) return false;
  const TObjectId parent = IdAt(p);
  for (int k = 0; k < ObjectCount(); ++k) {
    if (k == i || !IsSolid(k)) continue;
    const TSolidObject* s = SolidAt(k);
    if (s->Relation != relAucune && s->FParent == parent) return false;
  }
  return true;
}

bool TScene::SetRelation(int i, int p, uint8_t relation) {
  if (!CanRelate(i, p)) return false;
  TSolidObject* s = SolidAt(i);
  s->ShowRelation = true;
  s->Relation = relation;
  Notify(TSceneChange::ObjectChanged, i);
  return true;
}

Vec3d TScene::PivotPoint(TSolidObject& solid) {
  TSolidObject* current = &solid;
  for (int steps = 0; current->PivotStyle == 1 && current->FParent != kNoObject && steps <= ObjectCount(); ++steps) {
    TSolidObject* parent = SolidById(current->FParent);
    if (!parent) break;
    current = parent;
  }
  if (current->PivotStyle == 1 && !SolidById(current->FParent)) current->PivotStyle = 0;
  return current->Position;
}

// ---------------------------------------------------------------- scene life and copies

void TScene::RedrawViews() { Notify(TSceneChange::RedrawRequested); }

void TScene::NewScene(bool withDefaultLight) {
  ClearSelection();
  FreeAllObjects();
  Notify(TSceneChange::SceneCleared);
  if (withDefaultLight) {
    LightCount = 1;
    CreateDefaultLight();
  } else {
    LightCount = 0;
  }
  RedrawViews();
}

void TScene::CreateDefaultLight() {
  D3DLIGHT7 l;
  l.dltType = D3DLIGHT_SPOT;
  l.dcvDiffuse = {0, 0, 0, 0};
  l.dcvSpecular = {0, 0, 0, 0};
  l.dcvAmbient = {1, 1, 1, 0};
  l.dvPosition = {-1, 0, -1};
  l.dvDirection = {5000, 0, 5000};
  l.dvRange = 1.8439089e18f;
  l.dvFalloff = 1;
  l.dvAttenuation0 = 0;
  l.dvAttenuation1 = 1;
  l.dvAttenuation2 = 0;
  l.dvTheta = 0.8726646f;
  l.dvPhi = 0.9599311f;
  Device().SetLight(1, l);

  // The symbol is built along the unit direction, as a document's reader builds it: the light
  // then stands one unit behind its symbol's apex, as it does once saved and read again, instead
  // of thousands of units away where its 1/d attenuation leaves the scene nearly dark.
  const int index = AddObject(CreateSpotLight(0xFFFFFFFF, this, l.dvTheta, 1.0f), "Lumière1");
  TLight* light = LightAt(index);
  light->DeviceIndex = 1;
  light->SetType(ltSpot);
  light->SetSpecular(1.0f);
  light->SpotAngle = l.dvTheta;
  light->SetParam(1, l.dvTheta);
  light->SetParam(2, l.dvPhi);
  light->SetPosition({-1, 0, -1});
  light->SetDirection({5000, 0, 5000});
  light->AimVector = light->VectDir;
  Device().LightEnable(1, true);
}

void TScene::RemoveSingle(int r, TChildPlaces& children) {
  const int last = ObjectCount() - 1;
  const TObjectId gone = FObjects[static_cast<size_t>(r)]->FId;
  IndexName(FObjects[static_cast<size_t>(r)]->Name(), -1);
  FIndexOfId.erase(gone);
  if (const TSolidObject* s = SolidAt(r); s && s->FParent != kNoObject) {
    const auto it = children.find(s->FParent);
    if (it != children.end()) it->second.erase(r);
  }
  // A damaged document may leave children of r behind: they become free objects. The others
  // keep their parents whatever moves, as links are by identity.
  if (const auto orphans = children.find(gone); orphans != children.end()) {
    for (const int k : orphans->second)
      if (k != r) SolidAt(k)->FParent = kNoObject;
    children.erase(orphans);
  }
  FObjects[static_cast<size_t>(r)].reset();
  if (r != last) {
    if (const TSolidObject* moved = SolidAt(last); moved && moved->FParent != kNoObject) {
      auto& places = children[moved->FParent];
      places.erase(last);
      places.insert(r);
    }
    FObjects[static_cast<size_t>(r)] = std::move(FObjects[static_cast<size_t>(last)]);
    FIndexOfId[FObjects[static_cast<size_t>(r)]->FId] = r;
  }
  FObjects.pop_back();
}

void TScene::DeleteObject(int i) {
  if (i < 0 || i >= ObjectCount()) return;
  // Where the children of each parent stand now, kept up to date as the list shrinks: each
  // removal then costs what it moves, not a pass over the whole list.
  TChildPlaces children;
  for (int k = 0; k < ObjectCount(); ++k)
    if (const TSolidObject* s = SolidAt(k); s && s->FParent != kNoObject) children[s->FParent].insert(k);
  // Descendants go first, depth first in index order (the order the list's swaps depend on);
  // the objects still to be removed are held by identity, whatever places they move to.
  std::vector<TObjectId> stack{IdAt(i)};
  std::unordered_set<TObjectId> held{IdAt(i)};
  auto firstChild = [&](TObjectId parent) {
    const auto it = children.find(parent);
    if (it == children.end()) return -1;
    for (const int j : it->second)
      if (!held.count(IdAt(j))) return j;
    return -1;
  };
  while (!stack.empty()) {
    const int child = firstChild(stack.back());
    if (child >= 0) {
      stack.push_back(IdAt(child));
      held.insert(stack.back());
      continue;
    }
    RemoveSingle(IndexOf(stack.back()), children);
    held.erase(stack.back());
    stack.pop_back();
  }
  // The selection keeps the objects that are left (it holds them by identity); without its main
  // object nothing stays selected.
  RestoreSelection(Selection());
  Notify(TSceneChange::ObjectRemoved, i);
}

void TScene::AdoptContentFrom(TScene& loaded) {
  if (&loaded == this) return;
  ClearSelection();
  FreeAllObjects();
  Notify(TSceneChange::SceneCleared);
  CopyDeviceLights(loaded, *this);
  // Objects move with their names; ids are this scene's own, so none of them can be taken for
  // an object this scene held before.
  std::unordered_map<TObjectId, TObjectId> renamed;
  for (auto& object : loaded.FObjects) renamed[object->FId] = FNextId++;
  for (auto& object : loaded.FObjects) {
    object->FId = renamed[object->FId];
    if (object->IsLight()) static_cast<TLight&>(*object).Scene = this;
    if (!object->IsLight()) {
      auto& solid = static_cast<TSolidObject&>(*object);
      const auto parent = renamed.find(solid.FParent);
      solid.FParent = parent == renamed.end() ? kNoObject : parent->second;
      if (solid.Texturer && !solid.TextureFile.empty()) Device().LoadTexture(solid, solid.TextureFile);
    }
    IndexName(object->Name(), +1);
    FIndexOfId[object->FId] = ObjectCount();
    FObjects.push_back(std::move(object));
  }
  loaded.FObjects.clear();
  loaded.FIndexOfId.clear();
  loaded.FNameCounts.clear();
  loaded.FNameRuns.clear();
  loaded.FCurrent = kNoObject;
  loaded.FSelected.clear();
  Views = loaded.Views;
  FileName = loaded.FileName;
  Notify(TSceneChange::SceneLoaded);
}

void TScene::CloneObjectInto(TScene& d, int i, TScene& s) {
  if (TLight* src = s.LightAt(i)) {
    D3DLIGHT7 l;
    s.Device().GetLight(src->DeviceIndex, l);
    ++d.LightCount;
    d.Device().SetLight(d.LightCount, l);
    d.Device().LightEnable(d.LightCount, true);
    const int index = d.AddObject(NewLightFromSymbol(BuildSpotSymbol(10, 0.2, 0.1), 0xFFFFFFFF, &d), "f");
    TLight* c = d.LightAt(index);
    c->LightType = src->LightType;
    c->SetColor(src->Color);
    c->Symbol = src->Symbol;
    c->AimVector = src->AimVector;
    c->SpotAngle = src->SpotAngle;
    for (int k = 1; k <= kParamCount; ++k) c->SetParam(k, src->GetParam(k));  // the cone angles
    c->DeviceIndex = d.LightCount;
    d.RenameObject(index, src->Name());
    c->CopyPlacementFrom(*src);
    c->SetSpecular(src->Specular);
    c->SetColor(src->Color);
    return;
  }
  TSolidObject* src = s.SolidAt(i);
  if (!src) return;
  const int index = d.AddObject(CreateCube(0xFFFFFFFF, 1), "f");
  TSolidObject* c = d.SolidAt(index);
  c->ShapeType = src->ShapeType;
  c->SetColor(src->Color);
  c->Composantes = src->Composantes;
  c->ModifiedVertices = src->ModifiedVertices;
  for (int k = 1; k <= kParamCount; ++k) c->SetParam(k, src->GetParam(k));
  for (int k = 1; k <= kTextParamCount; ++k) c->SetTextParam(k, src->GetTextParam(k));
  if (src->Texturer) {
    // A texture surface is only read once made: the copy draws from the same one rather than
    // decoding the picture again (each copy would otherwise hold pixels of its own).
    if (src->TextureSurface)
      c->TextureSurface = src->TextureSurface;
    else
      d.Device().LoadTexture(*c, src->TextureFile);
    c->TextureFile = src->TextureFile;
    c->Texturer = true;
  } else {
    c->Texturer = false;
  }
  c->CopyDeformationRecordsFrom(*src);
  d.RenameObject(index, src->Name());
  c->CopyPlacementFrom(*src);
  c->SetSpecular(src->Specular);
  c->SelectionMarks = src->SelectionMarks;
  c->BoxCenter = src->BoxCenter;
}

void TScene::CopyAllObjects(TScene& destination, TScene& source) {
  // The count is taken once: copying a scene into itself must not run on over its own copies.
  const int n = source.ObjectCount();
  for (int i = 0; i < n; ++i) CloneObjectInto(destination, i, source);
}

void TScene::CopyDeviceLights(TScene& source, TScene& destination) {
  for (int k = 1; k <= source.LightCount; ++k) {
    D3DLIGHT7 l;
    bool on = false;
    if (!source.Device().GetLight(k, l)) continue;
    source.Device().GetLightEnable(k, on);
    destination.Device().SetLight(k, l);
    destination.Device().LightEnable(k, on);
  }
  destination.LightCount = source.LightCount;
}

// ---------------------------------------------------------------- bounds and selection marks

void ComposantesBounds(const TArrayOfComposante& parts, Vec3d& mn, Vec3d& mx) {
  mn = {0, 0, 0};
  mx = {0, 0, 0};
  for (const auto& c : parts)
    for (const auto& v : c.Vertices) {
      mn.x = std::min(mn.x, double(v.x)), mx.x = std::max(mx.x, double(v.x));
      mn.y = std::min(mn.y, double(v.y)), mx.y = std::max(mx.y, double(v.y));
      mn.z = std::min(mn.z, double(v.z)), mx.z = std::max(mx.z, double(v.z));
    }
}

std::array<D3DLVERTEX, kSelectionMarkCount> SelectionMarksOfBox(const Vec3d& mn, const Vec3d& mx) {
  const double X[2] = {mn.x, mx.x}, Y[2] = {mn.y, mx.y}, Z[2] = {mn.z, mx.z};
  // Each edge: axis (0 x, 1 y, 2 z) and the indices of the two fixed coordinates.
  struct TEdge {
    int Axis, A, B;
  };
  static constexpr TEdge kEdges[12] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}, {2, 1, 0}, {0, 0, 1},
                                       {1, 0, 1}, {0, 1, 0}, {2, 0, 1}, {0, 1, 1}, {1, 1, 1}, {2, 1, 1}};
  std::array<D3DLVERTEX, kSelectionMarkCount> marks{};
  const D3DCOLOR yellow = D3DRGBA(1, 1, 0, 1);
  size_t k = 0;
  auto put = [&](double x, double y, double z) {
    D3DLVERTEX& v = marks[k++];
    v.x = static_cast<float>(x), v.y = static_cast<float>(y), v.z = static_cast<float>(z);
    v.color = yellow;
  };
  for (const auto& e : kEdges) {
    Vec3d a, b;
    switch (e.Axis) {
      case 0:
        a = {X[0], Y[e.A], Z[e.B]}, b = {X[1], Y[e.A], Z[e.B]};
        break;
      case 1:
        a = {X[e.A], Y[0], Z[e.B]}, b = {X[e.A], Y[1], Z[e.B]};
        break;
      default:
        a = {X[e.A], Y[e.B], Z[0]}, b = {X[e.A], Y[e.B], Z[1]};
        break;
    }
    const Vec3d q{(b.x - a.x) / 4, (b.y - a.y) / 4, (b.z - a.z) / 4};
    put(a.x, a.y, a.z), put(a.x + q.x, a.y + q.y, a.z + q.z);
    put(b.x, b.y, b.z), put(b.x - q.x, b.y - q.y, b.z - q.z);
  }
  return marks;
}

void TScene::RebuildSelectionMarks(int i) {
  TSolidObject* s = SolidAt(i);
  if (!s) return;
  Vec3d mn, mx;
  ComposantesBounds(s->Composantes, mn, mx);
  s->SelectionMarks = SelectionMarksOfBox(mn, mx);
  Vec3d sum;
  for (const auto& m : s->SelectionMarks) sum.x += m.x, sum.y += m.y, sum.z += m.z;
  s->BoxCenter = {sum.x / kSelectionMarkCount, sum.y / kSelectionMarkCount, sum.z / kSelectionMarkCount};
}

}  // namespace ixoral
