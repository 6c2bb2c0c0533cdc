// The scene container: the ordered object list, names, selection, association of objects into
// parent/child groups with their CSG relation, deletion with descendants, copies between scenes
// and the content of a new scene.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Prompt.h"
#include "platform/Settings.h"
#include "scene/Objects.h"
#include "scene/View.h"

namespace ixoral {

inline constexpr D3DCOLOR kMarkColorCurrent = 0x00FFFF00;   // yellow
inline constexpr D3DCOLOR kMarkColorSelected = 0x00FF00FF;  // magenta
inline constexpr const char* kMsgSaveChanges = "Voulez-vous enregister les modifications dans la scene ?";

class TScene {
 public:
  // The scene owns its device; without one it keeps its lights in memory and loads no texture.
  // `prompt` asks the save question of NewScene; `settings` gives "EXPORT11" (view records).
  explicit TScene(std::unique_ptr<ISceneDevice> device = nullptr, IPrompt* prompt = nullptr,
                  TSettingsStore* settings = nullptr);
  ~TScene();
  TScene(const TScene&) = delete;
  TScene& operator=(const TScene&) = delete;

  ISceneDevice& Device() { return *FDevice; }
  IPrompt* Prompt() const { return FPrompt; }

  int32_t CurrentObject = -1;
  std::vector<int32_t> SelectedObjects;
  int32_t LightCount = 0;
  std::string FileName;
  bool SaveViews = true;
  // Asked to save the scene before NewScene clears it; returns whether it was saved.
  std::function<bool()> SaveRequest;
  // Redraws every view; set by whoever draws the scene.
  std::function<void()> OnRedrawViews;

  // The four views (front, left, top, perspective), each reset with its default camera.
  std::array<TVue, 4> Views;
  bool FourViews = true;

  // --- object list and names ---
  int ObjectCount() const { return static_cast<int>(FObjects.size()); }
  T3dObject* ObjectAt(int i) const;
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
  bool HasSelection() const { return CurrentObject >= 0; }
  int SelectionCount() const;
  int SelectedAt(int k) const;
  bool IsSelected(int i) const;
  void ClearSelection();
  void SelectObject(int i);
  void SetMarksColor(int i, D3DCOLOR colour);
  void AddToSelection(int i);
  void Deselect(int i);

  // --- association and relation ---
  bool SetParent(int i, int p);
  bool CanRelate(int i, int p) const;
  bool SetRelation(int i, int p, uint8_t relation);
  Vec3d PivotPoint(TSolidObject& solid);

  // --- scene life and copies ---
  bool NewScene(bool withDefaultLight);
  void CreateDefaultLight();
  void DeleteObject(int i);
  static void CloneObjectInto(TScene& destination, int i, TScene& source);
  static void CopyAllObjects(TScene& destination, TScene& source);
  static void CopyDeviceLights(TScene& source, TScene& destination);

  // Bounds box and the 48 selection marks of a solid, and its BoxCenter; lights are untouched.
  void RebuildSelectionMarks(int i);
  void RedrawViews();

 private:
  void RemoveSingle(int r, std::vector<int>& followed);
  void IndexName(const std::string& name, int delta);

  std::unique_ptr<ISceneDevice> FDevice;  // destroyed after the objects, whose lights it holds
  IPrompt* FPrompt;
  std::vector<std::unique_ptr<T3dObject>> FObjects;
  std::unordered_map<std::string, int> FNameCounts;  // how many objects bear each name
  // Names by stem (the name less its trailing letters "i"): the runs of trailing-"i" counts in
  // use, first -> last. The free name for a request is the end of the run holding its count,
  // found without trying the candidates one by one.
  std::unordered_map<std::string, std::map<size_t, size_t>> FNameRuns;
};

// The 48 selection-mark points of a box (corner brackets), coloured yellow.
std::array<D3DLVERTEX, kSelectionMarkCount> SelectionMarksOfBox(const Vec3d& min, const Vec3d& max);
// Box of all vertex positions, both limits starting at the origin.
void ComposantesBounds(const TArrayOfComposante& parts, Vec3d& min, Vec3d& max);

}  // namespace ixoral
