// The browser brought up to date after deletions, renames, inserts and regroupings: the same tree
// as one built again, with the nodes of the objects left kept as they were.
#include <gtest/gtest.h>

#include <QStringList>

#include "scene/Shapes.h"
#include "ui/SceneBrowser.h"

using namespace ixoral;

namespace {

// Every node as "depth text object", depth first, with whether it is unfolded.
QStringList Listing(const TSceneBrowser& browser) {
  QStringList lines;
  std::vector<std::pair<const QTreeWidgetItem*, int>> stack{{browser.SceneNode(), 0}};
  while (!stack.empty()) {
    const auto [item, depth] = stack.back();
    stack.pop_back();
    lines << QString("%1 %2 %3 %4")
                 .arg(depth)
                 .arg(item->text(0))
                 .arg(browser.ObjectOf(item))
                 .arg(item->childCount() == 0 || item->isExpanded());
    for (int c = item->childCount() - 1; c >= 0; --c) stack.emplace_back(item->child(c), depth + 1);
  }
  return lines;
}

}  // namespace

TEST(SceneBrowserTest, ChangesUpdateTheTreeAsARebuildWouldShowIt) {
  TScene scene;
  scene.NewScene(true);
  uint32_t seed = 4242;
  auto next = [&](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  for (int i = 1; i < 300; ++i) {
    if (i % 40 == 0) {
      TScene::CloneObjectInto(scene, 0, scene);  // a few more lights among the solids
      continue;
    }
    scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "O" + std::to_string(i));
  }
  // Groups up to three deep, parents anywhere in the list.
  for (int i = 1; i < scene.ObjectCount(); ++i)
    if (scene.IsSolid(i) && next(3) == 0) {
      const int p = 1 + static_cast<int>(next(static_cast<uint32_t>(scene.ObjectCount() - 1)));
      scene.SetParent(i, p);
    }
  TSceneBrowser browser;
  browser.Rebuild(scene, -1);
  for (int round = 0; round < 80; ++round) {
    const int object = 1 + static_cast<int>(next(static_cast<uint32_t>(scene.ObjectCount() - 1)));
    const int other = 1 + static_cast<int>(next(static_cast<uint32_t>(scene.ObjectCount() - 1)));
    switch (next(5)) {
      case 0:
        scene.RenameObject(object, "R" + std::to_string(round));
        break;
      case 1:  // a new solid, sometimes straight into a group
        scene.AddObject(CreateCube(kOpaqueWhite, 0.5), "N" + std::to_string(round));
        if (next(2) == 0) scene.SetParent(scene.ObjectCount() - 1, other);
        break;
      case 2:  // regrouped, or taken out of its group
        scene.SetParent(object, next(3) == 0 ? -1 : other);
        break;
      default:
        scene.DeleteObject(object);
        break;
    }
    // A node whose object stays is the same node afterwards: nothing was built again.
    const int kept = next(static_cast<uint32_t>(scene.ObjectCount()));
    const TObjectId keptId = scene.IdAt(kept);
    const QTreeWidgetItem* before = browser.FindObjectNode(kept);
    browser.Update(scene);
    TSceneBrowser rebuilt;
    rebuilt.Rebuild(scene, -1);
    ASSERT_EQ(Listing(browser), Listing(rebuilt)) << "round " << round;
    EXPECT_EQ(browser.FindObjectNode(scene.IndexOf(keptId)), before) << "round " << round;
  }
}
