// Building the browser's tree from the scene's parent indices, in one pass over the objects.
#include "commands/BrowserTree.h"

namespace ixoral {

namespace {

// Children of each solid in scene order, and the roots.
struct TChildLists {
  std::vector<std::vector<int>> Children;
  std::vector<int> Roots;
};

TChildLists ChildLists(const TScene& scene) {
  const int n = scene.ObjectCount();
  TChildLists lists;
  lists.Children.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const TSolidObject* s = scene.SolidAt(i);
    if (!s) continue;
    const int parent = scene.ParentOf(i);
    if (parent >= 0 && parent != i && scene.IsSolid(parent))
      lists.Children[static_cast<size_t>(parent)].push_back(i);
    else
      lists.Roots.push_back(i);
  }
  return lists;
}

TBrowserNode ObjectNode(const TScene& scene, int i) {
  TBrowserNode node;
  node.Kind = TNodeKind::Object;
  node.Object = i;
  node.Text = scene.ObjectAt(i)->Name();
  return node;
}

// The branch under `root`, depth first, each solid at most once (a damaged cycle stops).
TBrowserNode Branch(const TScene& scene, const TChildLists& lists, int root, std::vector<char>& listed) {
  TBrowserNode top = ObjectNode(scene, root);
  listed[static_cast<size_t>(root)] = 1;
  struct TFrame {
    TBrowserNode* Node;
    int Object;
    size_t Next;
  };
  std::vector<TFrame> stack{{&top, root, 0}};
  while (!stack.empty()) {
    TFrame& f = stack.back();
    const auto& kids = lists.Children[static_cast<size_t>(f.Object)];
    if (f.Next >= kids.size()) {
      stack.pop_back();
      continue;
    }
    const int child = kids[f.Next++];
    if (listed[static_cast<size_t>(child)]) continue;
    listed[static_cast<size_t>(child)] = 1;
    f.Node->Children.push_back(ObjectNode(scene, child));
    TBrowserNode* added = &f.Node->Children.back();
    stack.push_back({added, child, 0});
  }
  return top;
}

}  // namespace

TBrowserNode BuildBrowserTree(const TScene& scene) {
  const TChildLists lists = ChildLists(scene);
  std::vector<char> listed(static_cast<size_t>(scene.ObjectCount()), 0);
  TBrowserNode root{TNodeKind::Scene, kNodeScene, -1, {}};
  TBrowserNode objects{TNodeKind::Objects, kNodeObjects, -1, {}};
  TBrowserNode lights{TNodeKind::Lights, kNodeLights, -1, {}};
  for (int r : lists.Roots) objects.Children.push_back(Branch(scene, lists, r, listed));
  // Solids caught in a damaged parent cycle are reached from no root: list them all the same.
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (scene.IsSolid(i) && !listed[static_cast<size_t>(i)])
      objects.Children.push_back(Branch(scene, lists, i, listed));
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (scene.IsLight(i)) lights.Children.push_back(ObjectNode(scene, i));
  root.Children.push_back(std::move(objects));
  root.Children.push_back(std::move(lights));
  return root;
}

TBrowserNode BuildObjectBranch(const TScene& scene, int object) {
  if (!scene.ObjectAt(object)) return {};
  const TChildLists lists = ChildLists(scene);
  std::vector<char> listed(static_cast<size_t>(scene.ObjectCount()), 0);
  return Branch(scene, lists, object, listed);
}

bool ListedUnderLights(const TScene& scene, int object) { return scene.IsLight(object); }

bool HasChildNodes(const TScene& scene, int object) {
  if (!scene.IsSolid(object)) return false;
  for (int i = 0; i < scene.ObjectCount(); ++i)
    if (i != object && scene.ParentOf(i) == object) return true;
  return false;
}

}  // namespace ixoral
