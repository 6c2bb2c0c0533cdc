// The scene browser: the tree "Scène" / "Objets" / "Lumières" built from the command layer's
// tree data, expanded after every rebuild, with in-place renaming of object nodes and drag and
// drop of a solid's node onto another solid or onto "Objets".
#pragma once

#include <QHash>
#include <QTreeWidget>

#include "commands/BrowserTree.h"

namespace ixoral {

class TSceneBrowser : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TSceneBrowser(QWidget* parent = nullptr);

  // The whole tree again, expanded; the node of `selected` (an object index, or -1 for "Scène")
  // selected without telling anyone.
  void Rebuild(const TScene& scene, int selected);
  // A new object's node appended under "Objets" or "Lumières" (a solid without a parent).
  void AppendObject(const TScene& scene, int index);
  // The tree brought in line with the scene without building it again: the nodes of deleted
  // objects go, new objects get theirs, the nodes of objects that moved in the list or changed
  // group take their place among their siblings, texts follow names. The tree is then what
  // Rebuild gives; a damaged parent cycle has it built again. The selected node is left to the
  // caller.
  void Update(const TScene& scene);
  // Selects the node named `name` (or "Scène" when empty) without telling anyone.
  void SelectQuietly(const std::string& name);
  // Selects the node of object `index` (or "Scène" for -1) without telling anyone.
  void SelectObjectQuietly(int index);
  // The object named by a node, -1 for the fixed nodes.
  int ObjectOf(const QTreeWidgetItem* item) const;
  QTreeWidgetItem* ObjectsNode() const { return FObjects; }
  QTreeWidgetItem* LightsNode() const { return FLights; }
  QTreeWidgetItem* SceneNode() const { return FRoot; }
  QTreeWidgetItem* FindNode(const std::string& name) const;
  QTreeWidgetItem* FindObjectNode(int index) const;
  // The end of a drag of the current node: onto `target` when the drop is allowed (a solid onto
  // another solid or onto "Objets"). False, and nothing told, when it is not.
  bool DropCurrentOnto(QTreeWidgetItem* target);
  bool Editing() const { return state() == QAbstractItemView::EditingState; }

  const TScene* Scene = nullptr;

 signals:
  void NodeSelected(int object);
  // A node's text was edited; the receiver answers through `accepted`.
  void NodeRenamed(int object, const QString& text, bool* accepted);
  // A node was dropped onto another (`target` -1 with `onObjects` for "Objets").
  void NodeDropped(int dragged, int target, bool onObjects);

 protected:
  bool event(QEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const TBrowserNode& node);
  // Where `item` stands among `parent`'s children, kept in object order.
  void PlaceAmongSiblings(QTreeWidgetItem* parent, QTreeWidgetItem* item, int index);
  bool UpdateInPlace(const TScene& scene);
  bool AcceptsDrop(const QTreeWidgetItem* dragged, const QTreeWidgetItem* target) const;

  QTreeWidgetItem* FRoot = nullptr;
  QTreeWidgetItem* FObjects = nullptr;
  QTreeWidgetItem* FLights = nullptr;
  bool FQuiet = false;
  QHash<TObjectId, QTreeWidgetItem*> FItems;  // object nodes by the identity of their object
};

}  // namespace ixoral
