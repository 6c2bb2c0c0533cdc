// The browser widget over the tree data.
#include "ui/SceneBrowser.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

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
  const int n = scene.ObjectCount();
  // The node an object's node hangs from, as BuildBrowserTree places it.
  auto wantedParent = [&](int i) -> QTreeWidgetItem* {
    if (scene.IsLight(i)) return FLights;
    const int p = scene.ParentOf(i);
    return p >= 0 && p != i && scene.IsSolid(p) ? FItems.value(scene.IdAt(p), nullptr) : FObjects;
  };
  FQuiet = true;
  setUpdatesEnabled(false);
  struct TDone {
    TSceneBrowser& B;
    ~TDone() {
      B.setUpdatesEnabled(true);
      B.FQuiet = false;
    }
  } done{*this};
  // Nodes whose objects are gone: their children that stay are taken out to be placed again.
  std::vector<QTreeWidgetItem*> gone, loose;
  for (auto it = FItems.cbegin(); it != FItems.cend(); ++it)
    if (scene.IndexOf(it.key()) < 0) gone.push_back(it.value());
  for (QTreeWidgetItem* item : gone)
    for (QTreeWidgetItem* child : item->takeChildren())
      if (scene.IndexOf(child->data(0, kIdRole).value<TObjectId>()) >= 0) loose.push_back(child);
  for (QTreeWidgetItem* item : gone) {
    FItems.remove(item->data(0, kIdRole).value<TObjectId>());
    delete item;
  }
  // New objects get a node; a node whose object moved in the list or changed parent is taken out.
  for (int i = 0; i < n; ++i)
    if (!FItems.contains(scene.IdAt(i))) {
      TBrowserNode node{TNodeKind::Object, scene.ObjectAt(i)->Name(), i, {}};
      loose.push_back(AddNode(nullptr, node));
    }
  for (int i = 0; i < n; ++i) {
    QTreeWidgetItem* item = FItems.value(scene.IdAt(i));
    QTreeWidgetItem* parent = item->parent();
    const bool moved = item->data(0, kIndexRole).toInt() != i;
    if (parent && (moved || parent != wantedParent(i))) {
      parent->takeChild(parent->indexOfChild(item));
      loose.push_back(item);
    }
    if (moved) item->setData(0, kIndexRole, i);
    const QString name = ToQt(scene.ObjectAt(i)->Name());
    if (item->data(0, Qt::UserRole).toString() != name) {
      item->setText(0, name);
      item->setData(0, Qt::UserRole, name);
    }
  }
  // Each loose node takes its place among its siblings, its branch with it.
  std::sort(loose.begin(), loose.end(), [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
    return a->data(0, kIndexRole).toInt() < b->data(0, kIndexRole).toInt();
  });
  for (QTreeWidgetItem* item : loose) {
    const int index = item->data(0, kIndexRole).toInt();
    QTreeWidgetItem* parent = wantedParent(index);
    if (!parent) return false;
    // A damaged parent cycle is listed as a rebuild lists it.
    for (const QTreeWidgetItem* up = parent; up; up = up->parent())
      if (up == item) return false;
    PlaceAmongSiblings(parent, item, index);
  }
  // Taken out and put back, a branch comes back folded: the tree is shown unfolded.
  for (QTreeWidgetItem* item : loose) {
    std::vector<QTreeWidgetItem*> branch{item};
    for (size_t k = 0; k < branch.size(); ++k) {
      branch[k]->setExpanded(true);
      for (int c = 0; c < branch[k]->childCount(); ++c) branch.push_back(branch[k]->child(c));
    }
    for (QTreeWidgetItem* up = item->parent(); up && !up->isExpanded(); up = up->parent()) up->setExpanded(true);
  }
  // Every node hangs from the tree (none left floating in a cycle).
  for (QTreeWidgetItem* item : loose) {
    const QTreeWidgetItem* top = item;
    while (top->parent()) top = top->parent();
    if (top != FRoot) return false;
  }
  return FItems.size() == n;
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
