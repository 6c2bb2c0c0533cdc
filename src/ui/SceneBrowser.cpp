// The browser widget over the tree data.
#include "ui/SceneBrowser.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include "ui/QtPlatform.h"

namespace ixoral {

namespace {
// Where a node keeps the identity of its object; the name it stands for stays in Qt::UserRole,
// apart from the text while that is being edited.
constexpr int kIdRole = Qt::UserRole + 1;
// And the place its object had in the list when the node was last placed.
constexpr int kIndexRole = Qt::UserRole + 2;
}  // namespace

TSceneBrowser::TSceneBrowser(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("Explorateur"));
  setHeaderHidden(true);
  setColumnCount(1);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::InternalMove);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (!FQuiet && item) emit NodeSelected(ObjectOf(item));
  });
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    if (FQuiet || !Scene) return;
    const int object = ObjectOf(item);
    bool accepted = false;
    emit NodeRenamed(object, item->text(0), &accepted);
    FQuiet = true;
    if (accepted)
      item->setData(0, Qt::UserRole, item->text(0));
    else
      item->setText(0, item->data(0, Qt::UserRole).toString());  // the text goes back
    FQuiet = false;
  });
}

int TSceneBrowser::ObjectOf(const QTreeWidgetItem* item) const {
  if (!item || !Scene || item == FRoot || item == FObjects || item == FLights) return -1;
  return Scene->IndexOf(item->data(0, kIdRole).value<TObjectId>());
}

QTreeWidgetItem* TSceneBrowser::AddNode(QTreeWidgetItem* parent, const TBrowserNode& node) {
  auto* item = new QTreeWidgetItem(parent, QStringList(ToQt(node.Text)));
  // The name the node stands for, kept apart from the text while it is being edited.
  item->setData(0, Qt::UserRole, ToQt(node.Text));
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (node.Kind == TNodeKind::Object && Scene) {
    const TObjectId id = Scene->IdAt(node.Object);
    item->setData(0, kIdRole, QVariant::fromValue(id));
    item->setData(0, kIndexRole, node.Object);
    FItems.insert(id, item);
    flags |= Qt::ItemIsEditable;
    if (Scene && Scene->IsSolid(node.Object)) flags |= Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
  } else if (node.Kind == TNodeKind::Objects) {
    flags |= Qt::ItemIsDropEnabled;
  }
  item->setFlags(flags);
  for (const auto& child : node.Children) AddNode(item, child);
  return item;
}

void TSceneBrowser::Rebuild(const TScene& scene, int selected) {
  Scene = &scene;
  FQuiet = true;
  setUpdatesEnabled(false);
  clear();
  FItems.clear();
  const TBrowserNode tree = BuildBrowserTree(scene);
  FRoot = new QTreeWidgetItem(this, QStringList(ToQt(tree.Text)));
  FRoot->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  FObjects = AddNode(FRoot, tree.Children[0]);
  FLights = AddNode(FRoot, tree.Children[1]);
  expandAll();
  setUpdatesEnabled(true);
  FQuiet = false;
  SelectObjectQuietly(selected);
}

void TSceneBrowser::AppendObject(const TScene& scene, int index) {
  const T3dObject* o = scene.ObjectAt(index);
  if (!o || !FObjects) return;
  Scene = &scene;
  // An object is told as added more than once when undo reads it back: it keeps its one node.
  if (FItems.contains(o->Id())) return;
  FQuiet = true;
  TBrowserNode node{TNodeKind::Object, o->Name(), index, {}};
  QTreeWidgetItem* parent = scene.IsLight(index) ? FLights : FObjects;
  AddNode(parent, node);
  parent->setExpanded(true);
  FQuiet = false;
}

void TSceneBrowser::Update(const TScene& scene) {
  if (!FObjects || Scene != &scene || !UpdateInPlace(scene)) Rebuild(scene, scene.CurrentObject());
}

void TSceneBrowser::PlaceAmongSiblings(QTreeWidgetItem* parent, QTreeWidgetItem* item, int index) {
  // Siblings stand in object order: the first whose object comes after this one's is the place.
  int lo = 0, hi = parent->childCount();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (parent->child(mid)->data(0, kIndexRole).toInt() < index)
      lo = mid + 1;
    else
      hi = mid;
  }
  parent->insertChild(lo, item);
}

bool TSceneBrowser::UpdateInPlace(const TScene& scene) {
  // The nodes whose objects are gone, and those whose objects moved in the list.
  std::vector<QTreeWidgetItem*> gone, moved;
  for (auto it = FItems.cbegin(); it != FItems.cend(); ++it) {
    const int index = scene.IndexOf(it.key());
    if (index < 0)
      gone.push_back(it.value());
    else if (index != it.value()->data(0, kIndexRole).toInt())
      moved.push_back(it.value());
  }
  // A node that goes takes its children along: they must be going too, else the groups changed.
  for (QTreeWidgetItem* item : gone)
    for (int c = 0; c < item->childCount(); ++c)
      if (scene.IndexOf(item->child(c)->data(0, kIdRole).value<TObjectId>()) >= 0) return false;
  // Every object left must hang where the scene says, under the node it had.
  for (auto it = FItems.cbegin(); it != FItems.cend(); ++it) {
    const int index = scene.IndexOf(it.key());
    if (index < 0) continue;
    const QTreeWidgetItem* parent = it.value()->parent();
    const int p = scene.ParentOf(index);
    const bool root = parent == FObjects || parent == FLights;
    if (root ? (p >= 0 && scene.IsSolid(p)) : (p < 0 || parent != FItems.value(scene.IdAt(p), nullptr))) return false;
  }
  FQuiet = true;
  setUpdatesEnabled(false);
  // Children first: a node deleted with its parent is already gone.
  std::vector<TObjectId> goneIds;
  for (QTreeWidgetItem* item : gone) goneIds.push_back(item->data(0, kIdRole).value<TObjectId>());
  for (const TObjectId id : goneIds) {
    QTreeWidgetItem* item = FItems.value(id, nullptr);
    if (!item) continue;
    std::vector<QTreeWidgetItem*> branch{item};
    for (size_t k = 0; k < branch.size(); ++k) {
      FItems.remove(branch[k]->data(0, kIdRole).value<TObjectId>());
      for (int c = 0; c < branch[k]->childCount(); ++c) branch.push_back(branch[k]->child(c));
    }
    delete item;
  }
  // Moved nodes leave their place first, then each takes its new one (their children with them).
  for (QTreeWidgetItem* item : moved) {
    QTreeWidgetItem* parent = item->parent();
    parent->takeChild(parent->indexOfChild(item));
    item->setData(0, kIndexRole, scene.IndexOf(item->data(0, kIdRole).value<TObjectId>()));
  }
  for (QTreeWidgetItem* item : moved) {
    const int index = item->data(0, kIndexRole).toInt();
    const int p = scene.ParentOf(index);
    QTreeWidgetItem* parent = p >= 0 && scene.IsSolid(p) ? FItems.value(scene.IdAt(p))
                              : scene.IsLight(index)     ? FLights
                                                         : FObjects;
    PlaceAmongSiblings(parent, item, index);
    // Taken out and put back, a branch comes back folded: the tree is shown unfolded.
    std::vector<QTreeWidgetItem*> branch{item};
    for (size_t k = 0; k < branch.size(); ++k) {
      branch[k]->setExpanded(true);
      for (int c = 0; c < branch[k]->childCount(); ++c) branch.push_back(branch[k]->child(c));
    }
  }
  // Names.
  for (auto it = FItems.cbegin(); it != FItems.cend(); ++it) {
    const QString name = ToQt(scene.ObjectAt(scene.IndexOf(it.key()))->Name());
    if (it.value()->data(0, Qt::UserRole).toString() != name) {
      it.value()->setText(0, name);
      it.value()->setData(0, Qt::UserRole, name);
    }
  }
  setUpdatesEnabled(true);
  FQuiet = false;
  return FItems.size() == scene.ObjectCount();
}

QTreeWidgetItem* TSceneBrowser::FindNode(const std::string& name) const {
  if (name.empty()) return FRoot;
  return Scene ? FindObjectNode(Scene->IndexOfName(name)) : nullptr;
}

QTreeWidgetItem* TSceneBrowser::FindObjectNode(int index) const {
  if (index < 0) return FRoot;
  return Scene ? FItems.value(Scene->IdAt(index), nullptr) : nullptr;
}

void TSceneBrowser::SelectQuietly(const std::string& name) {
  if (name.empty()) {
    SelectObjectQuietly(-1);
    return;
  }
  if (Scene && Scene->IndexOfName(name) >= 0) SelectObjectQuietly(Scene->IndexOfName(name));
}

void TSceneBrowser::SelectObjectQuietly(int index) {
  FQuiet = true;
  if (QTreeWidgetItem* item = FindObjectNode(index)) {
    setCurrentItem(item);
    scrollToItem(item);
  }
  FQuiet = false;
}

bool TSceneBrowser::AcceptsDrop(const QTreeWidgetItem* dragged, const QTreeWidgetItem* target) const {
  if (!Scene || !dragged || !target || dragged == target) return false;
  if (!Scene->IsSolid(ObjectOf(dragged))) return false;
  return target == FObjects || Scene->IsSolid(ObjectOf(target));
}

bool TSceneBrowser::event(QEvent* event) {
  // Ctrl+C copies the selected object (the window's "Copier"), not the node's text.
  if (event->type() == QEvent::ShortcutOverride && !Editing() &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    event->ignore();
    return true;
  }
  return QTreeWidget::event(event);
}

void TSceneBrowser::dragMoveEvent(QDragMoveEvent* event) {
  QTreeWidgetItem* target = itemAt(event->position().toPoint());
  if (AcceptsDrop(currentItem(), target))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TSceneBrowser::dropEvent(QDropEvent* event) {
  // The tree is never rearranged by Qt itself: the command decides, and the tree is rebuilt from
  // the scene.
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  DropCurrentOnto(itemAt(event->position().toPoint()));
}

bool TSceneBrowser::DropCurrentOnto(QTreeWidgetItem* target) {
  QTreeWidgetItem* dragged = currentItem();
  if (!AcceptsDrop(dragged, target)) return false;
  emit NodeDropped(ObjectOf(dragged), ObjectOf(target), target == FObjects);
  return true;
}

}  // namespace ixoral
