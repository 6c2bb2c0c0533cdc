// The scene browser's tree as data: "Scène" with "Objets" (solids without a parent, each followed
// by its children, recursively) and "Lumières" (lights in scene order). Node texts are object
// names; the three fixed nodes name no object.
#pragma once

#include <string>
#include <vector>

#include "scene/Scene.h"

namespace ixoral {

inline constexpr const char* kNodeScene = "Scène";
inline constexpr const char* kNodeObjects = "Objets";
inline constexpr const char* kNodeLights = "Lumières";

enum class TNodeKind { Scene, Objects, Lights, Object };

struct TBrowserNode {
  TNodeKind Kind = TNodeKind::Object;
  std::string Text;
  int Object = -1;  // index in the scene for an object node, else -1
  std::vector<TBrowserNode> Children;
};

// The whole tree of the scene as it is now. A solid whose parent chain is damaged (a cycle, or a
// parent that is not a solid) is still listed, under "Objets".
TBrowserNode BuildBrowserTree(const TScene& scene);

// The branch of one solid: its node with its children, recursively.
TBrowserNode BuildObjectBranch(const TScene& scene, int object);

// Whether `child` should be listed under "Objets" (a solid) or "Lumières" (a light).
bool ListedUnderLights(const TScene& scene, int object);

// Whether the node of object `object` has child nodes (solids whose parent is that object).
bool HasChildNodes(const TScene& scene, int object);

}  // namespace ixoral
