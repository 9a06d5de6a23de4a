#include "corvex/ui/obj_explorer_tree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStandardItemModel>
#include <algorithm>
#include <unordered_set>
#include <vector>

#include "app/app_common.h"
#include "core/string_utils.h"
#include "core/ui/message_boxes.h"
#include "corvex/ui/props_windows.h"
#include "overlays/category.h"
#include "overlays/exchange/object_email_upload.h"
#include "overlays/ostrel_object.h"
#include "overlays/undo_ring.h"
#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"

namespace {

constexpr char kNewCategoryKey[] = "zzzzzzzzz";

CExplorerItem* AsItem(QStandardItem* item) {
  return item && item->type() == CExplorerItem::kType ? static_cast<CExplorerItem*>(item)
                                                      : nullptr;
}

bool IsCategoryLike(const CExplorerItem* item) {
  return item && item->kind != CExplorerItem::kObject;
}

// Splits "A:B:C" into its parts.
std::vector<std::string> PathParts(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t colon = path.find(':', start);
    parts.push_back(path.substr(start, colon == std::string::npos ? std::string::npos
                                                                  : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return parts;
}

// Visits the category items below `root` depth first, going below those for which `enter`
// returns true. Categories come before the objects of a level, so a level's walk stops at its
// first object.
template <typename Enter>
void WalkCategories(QStandardItem* root, Enter enter) {
  std::vector<QStandardItem*> stack{root};
  while (!stack.empty()) {
    QStandardItem* at = stack.back();
    stack.pop_back();
    for (int row = 0; row < at->rowCount(); ++row) {
      CExplorerItem* child = AsItem(at->child(row));
      if (!child || child->kind == CExplorerItem::kObject) break;
      if (enter(child)) stack.push_back(child);
    }
  }
}

bool Before(const CExplorerItem& a, const CExplorerItem& b) {
  const bool a_object = a.kind == CExplorerItem::kObject;
  const bool b_object = b.kind == CExplorerItem::kObject;
  if (a_object != b_object) return !a_object;
  const bool a_none = a.kind == CExplorerItem::kNone;
  const bool b_none = b.kind == CExplorerItem::kNone;
  if (a_none != b_none) return a_none;
  return CompareNatural(a.key, b.key) < 0;
}

}  // namespace

CExplorerItem::CExplorerItem(Kind item_kind, const QString& text)
    : QStandardItem(text), kind(item_kind) {}

bool CExplorerItem::operator<(const QStandardItem& other) const {
  const CExplorerItem* that = AsItem(const_cast<QStandardItem*>(&other));
  return that ? Before(*this, *that) : QStandardItem::operator<(other);
}

// While the tree changes items or objects itself, the model's and the document's
// notifications are not taken as the user's.
class CViewObjExplorerTree::Busy {
 public:
  explicit Busy(CViewObjExplorerTree& tree) : tree_(tree) { ++tree_.busy_; }
  ~Busy() { --tree_.busy_; }

 private:
  CViewObjExplorerTree& tree_;
};

CViewObjExplorerTree::CViewObjExplorerTree(COstrelDocBase& document, QWidget* parent)
    : QTreeView(parent), document_(document) {
  model_ = new QStandardItemModel(this);
  setModel(model_);
  setHeaderHidden(true);
  setUniformRowHeights(true);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
  setIndentation(16);
  QObject::connect(model_, &QStandardItemModel::itemChanged, this,
                   [this](QStandardItem* item) { OnItemChanged(item); });
  QObject::connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    if (QStandardItem* item = model_->itemFromIndex(index)) {
      Busy busy(*this);
      item->sortChildren(0);
    }
  });
  Rebuild();
  followed_ = dynamic_cast<COstrelDoc*>(&document_);
  if (followed_) followed_->AddHintListener(this);
}

CViewObjExplorerTree::~CViewObjExplorerTree() {
  if (followed_) followed_->RemoveHintListener(this);
  SetOwned(nullptr);
  {
    Busy busy(*this);
    ReleaseAll();
  }
  PurgeUnusedCategories();
}

// ---- Building ----

CExplorerItem* CViewObjExplorerTree::MakeObjectItem(COstrelObject* object) {
  return MakeObjectItem(object, object->name);
}

CExplorerItem* CViewObjExplorerTree::MakeObjectItem(COstrelObject* object, std::string_view name) {
  auto* item = new CExplorerItem(CExplorerItem::kObject,
                                 QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  item->object = object;
  item->key = name;
  object->AddRef();
  // Flags and box are set once each (nothing can be dropped on an object).
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
                        Qt::ItemIsDragEnabled;
  if (object->MayBeHidden()) {
    flags |= Qt::ItemIsUserCheckable;
    item->shown_state = object->visible ? Qt::Checked : Qt::Unchecked;
    item->setData(item->shown_state, Qt::CheckStateRole);
  }
  item->setFlags(flags);
  items_.emplace(object, item);
  return item;
}

void CViewObjExplorerTree::ShowObjectState(CExplorerItem* item) {
  if (item->object->MayBeHidden()) {
    item->setCheckable(true);
    const Qt::CheckState state = item->object->visible ? Qt::Checked : Qt::Unchecked;
    item->setCheckState(state);
    item->shown_state = state;
  } else {
    item->setCheckable(false);
    item->setData(QVariant(), Qt::CheckStateRole);
  }
}

std::set<std::string> CViewObjExplorerTree::ExpandedCategories() const {
  std::set<std::string> paths;
  WalkCategories(model_->invisibleRootItem(), [&](CExplorerItem* item) {
    if (!isExpanded(item->index())) return false;
    paths.insert(FullPath(item));
    return true;
  });
  return paths;
}

void CViewObjExplorerTree::ExpandCategories(const std::set<std::string>& paths) {
  WalkCategories(model_->invisibleRootItem(), [&](CExplorerItem* item) {
    if (!paths.count(FullPath(item))) return false;
    setExpanded(item->index(), true);
    return true;
  });
}

void CViewObjExplorerTree::Rebuild() {
  Busy busy(*this);
  // A rebuild (an Undo, say) leaves the categories the user opened open, and the view where it
  // was.
  const std::set<std::string> expanded = ExpandedCategories();
  const int scrolled = verticalScrollBar() ? verticalScrollBar()->value() : 0;
  ReleaseAll();
  model_->clear();
  ObjectList* list = document_.GetObjectList();
  if (!list) return;
  // The objects are gathered per category and sorted by name before their items are made, so
  // each category's items are made in order and go into the model in one batch: a document of
  // many objects opens without a notification or a search per row. The names are copied side
  // by side as the list is walked, so that the sort reads them there and not from the objects,
  // which lie far apart.
  struct Entry {
    COstrelObject* object;
    uint32_t at;      // of the name in the group's names
    uint32_t length;
  };
  struct Group {
    CCategory* category;
    std::string names;
    std::vector<Entry> entries;
  };
  std::vector<Group> groups;
  std::unordered_map<const CCategory*, size_t> group_of;
  const CCategory* last_category = nullptr;
  Group* last_group = nullptr;
  for (COstrelObject* object : *list) {
    CCategory* category = object->category();
    if (!category) continue;
    if (category != last_category) {
      const auto [at, added] = group_of.try_emplace(category, groups.size());
      if (added) groups.push_back({category, {}, {}});
      last_category = category;
      last_group = &groups[at->second];
    }
    const std::string& name = object->name;
    last_group->entries.push_back({object, static_cast<uint32_t>(last_group->names.size()),
                                   static_cast<uint32_t>(name.size())});
    last_group->names += name;
  }
  items_.reserve(list->size());
  for (Group& group : groups) {
    const std::string& names = group.names;
    const auto name_of = [&names](const Entry& entry) {
      return std::string_view(names).substr(entry.at, entry.length);
    };
    std::stable_sort(group.entries.begin(), group.entries.end(),
                     [&](const Entry& a, const Entry& b) {
                       return CompareNatural(name_of(a), name_of(b)) < 0;
                     });
    CExplorerItem* parent = PlaceCategory(group.category->name());
    // A category whose path another category's name also leads to (names differing only in
    // case) already holds objects: those are placed one by one.
    const bool holds_objects =
        parent->rowCount() > 0 &&
        AsItem(parent->child(parent->rowCount() - 1))->kind == CExplorerItem::kObject;
    QList<QStandardItem*> row_items;
    row_items.reserve(static_cast<qsizetype>(group.entries.size()));
    // In name order the objects are visited out of their order in memory: each is asked for
    // a few entries ahead.
    constexpr size_t kAhead = 8;
    const std::vector<Entry>& entries = group.entries;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (i + kAhead < entries.size()) {
        const char* ahead = reinterpret_cast<const char*>(entries[i + kAhead].object);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 128);
      }
      COstrelObject* object = entries[i].object;
      if (items_.count(object)) continue;  // listed twice
      CExplorerItem* item = MakeObjectItem(object, name_of(entries[i]));
      if (holds_objects)
        InsertSorted(parent, item);
      else
        row_items.push_back(item);
    }
    if (!row_items.empty()) parent->appendRows(row_items);
  }
  ComputeAllStates(model_->invisibleRootItem());
  ExpandCategories(expanded);
  if (verticalScrollBar()) verticalScrollBar()->setValue(scrolled);
  if (COstrelObject* selected = COstrelObject::GetSelected(&document_))
    SelectItem(ItemOf(selected));
}

CExplorerItem* CViewObjExplorerTree::PlaceCategory(const std::string& path) {
  QStandardItem* parent = model_->invisibleRootItem();
  std::string so_far;
  CExplorerItem* found = nullptr;
  for (const std::string& part : PathParts(path)) {
    so_far = so_far.empty() && !found ? part : so_far + ":" + part;
    found = nullptr;
    const QString text = QString::fromStdString(part);
    for (int row = 0; row < parent->rowCount(); ++row) {
      CExplorerItem* child = AsItem(parent->child(row));
      if (!child) continue;
      if (child->kind == CExplorerItem::kObject) break;  // categories come first
      if (child->text() == text) {
        found = child;
        break;
      }
    }
    if (!found) {
      found = new CExplorerItem(CExplorerItem::kCategory, text);
      found->category = CCategory::FindOrCreate(so_far);
      found->key = part == CViewObjExplorerTree::kNewCategoryName ? kNewCategoryKey : part;
      found->setCheckable(false);
      InsertSorted(parent, found);
    }
    parent = found;
  }
  return found;
}

void CViewObjExplorerTree::InsertSorted(QStandardItem* parent, CExplorerItem* item) {
  // Children are kept sorted: the place is found by halving.
  int low = 0, high = parent->rowCount();
  while (low < high) {
    const int mid = (low + high) / 2;
    const CExplorerItem* child = AsItem(parent->child(mid));
    if (child && Before(*child, *item))
      low = mid + 1;
    else
      high = mid;
  }
  parent->insertRow(low, item);
}

void CViewObjExplorerTree::InsertObject(COstrelObject* object) {
  if (!object || !object->category() || items_.count(object)) return;
  CExplorerItem* parent = PlaceCategory(object->category()->name());
  CExplorerItem* item = MakeObjectItem(object);
  InsertSorted(parent, item);
  ComputeStatesUp(parent);
}

void CViewObjExplorerTree::ReleaseSubtree(QStandardItem* item) {
  for (int row = 0; row < item->rowCount(); ++row) {
    if (QStandardItem* child = item->child(row)) ReleaseSubtree(child);
  }
  CExplorerItem* own = AsItem(item);
  if (!own) return;
  if (own->object) {
    items_.erase(own->object);
    own->object->Release();
    own->object = nullptr;
  }
  if (own->category) {
    own->category->Release();
    own->category = nullptr;
  }
}

void CViewObjExplorerTree::ReleaseAll() {
  // The objects' references are found through the index, the categories' by walking the
  // category items only. The index is in no order of memory: each object and item is asked
  // for a few entries ahead.
  constexpr int kAhead = 8;
  auto ahead = items_.begin();
  for (int i = 0; i < kAhead && ahead != items_.end(); ++i) ++ahead;
  for (auto& [object, item] : items_) {
    if (ahead != items_.end()) {
      __builtin_prefetch(reinterpret_cast<const char*>(ahead->first) + 128);
      __builtin_prefetch(ahead->second);
      ++ahead;
    }
    item->object = nullptr;
    const_cast<COstrelObject*>(object)->Release();
  }
  items_.clear();
  ReleaseCategories(model_->invisibleRootItem());
}

void CViewObjExplorerTree::ReleaseCategories(QStandardItem* item) {
  for (int row = 0; row < item->rowCount(); ++row) {
    CExplorerItem* child = AsItem(item->child(row));
    if (child && child->kind != CExplorerItem::kObject) ReleaseCategories(child);
  }
  if (CExplorerItem* own = AsItem(item); own && own->category) {
    own->category->Release();
    own->category = nullptr;
  }
}

void CViewObjExplorerTree::RemoveItem(CExplorerItem* item) {
  ReleaseSubtree(item);
  QStandardItem* parent = item->parent() ? item->parent() : model_->invisibleRootItem();
  parent->removeRow(item->row());
}

void CViewObjExplorerTree::RemoveItemsOfObjectsGone() {
  // A route whose last reference was the tree's takes its own marks out of the document as it
  // goes: those are looked for again.
  for (;;) {
    const ObjectList* list = document_.GetObjectList();
    std::unordered_set<const COstrelObject*> held;
    if (list) held.insert(list->begin(), list->end());
    std::vector<CExplorerItem*> gone;
    for (const auto& [object, item] : items_) {
      if (!held.contains(object)) gone.push_back(item);
    }
    const bool owned_gone = owned_ && !held.contains(owned_);
    if (gone.empty() && !owned_gone) return;
    if (owned_gone) SetOwned(nullptr);
    for (CExplorerItem* item : gone) RemoveItem(item);
  }
}

// ---- Box states ----

void CViewObjExplorerTree::ComputeState(QStandardItem* item) {
  CExplorerItem* own = AsItem(item);
  if (!own || own->kind == CExplorerItem::kObject) return;
  bool any = false, mixed = false;
  Qt::CheckState common = Qt::Unchecked;
  for (int row = 0; row < item->rowCount() && !mixed; ++row) {
    QStandardItem* child = item->child(row);
    const QVariant state = child->data(Qt::CheckStateRole);
    if (!state.isValid()) continue;
    const auto value = static_cast<Qt::CheckState>(state.toInt());
    if (!any) {
      common = value;
      any = true;
    } else if (value != common) {
      mixed = true;
    }
  }
  Busy busy(*this);
  if (!any) {
    own->setCheckable(false);
    own->setData(QVariant(), Qt::CheckStateRole);
    return;
  }
  const Qt::CheckState state = mixed ? Qt::PartiallyChecked : common;
  own->setCheckable(true);
  if (own->checkState() != state || !own->data(Qt::CheckStateRole).isValid())
    own->setCheckState(state);
  own->shown_state = state;
}

void CViewObjExplorerTree::ComputeStatesUp(QStandardItem* item) {
  for (QStandardItem* at = item; at && at != model_->invisibleRootItem(); at = at->parent())
    ComputeState(at);
}

void CViewObjExplorerTree::ComputeAllStates(QStandardItem* item) {
  for (int row = 0; row < item->rowCount(); ++row) {
    CExplorerItem* child = AsItem(item->child(row));
    if (child && child->kind != CExplorerItem::kObject) ComputeAllStates(child);
  }
  ComputeState(item);
}

// ---- What the user does in the tree ----

void CViewObjExplorerTree::OnItemChanged(QStandardItem* changed) {
  if (busy_) return;
  CExplorerItem* item = AsItem(changed);
  if (!item || item->kind == CExplorerItem::kNone) return;
  const QVariant state = item->data(Qt::CheckStateRole);
  if (state.isValid() && static_cast<Qt::CheckState>(state.toInt()) != item->shown_state) {
    // A click on a mixed box hides, as a click on a ticked one does.
    const bool visible = item->shown_state == Qt::Unchecked;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ApplyCheck(item, visible);
    ComputeStatesUp(item->parent());
    QApplication::restoreOverrideCursor();
    return;
  }
  // Otherwise the label was edited.
  const std::string text = item->text().toStdString();
  const std::string old_label =
      item->kind == CExplorerItem::kObject
          ? item->object->name
          : (item->category ? PathParts(item->category->name()).back() : std::string());
  if (text != old_label && !RenameItem(item, text)) {
    Busy busy(*this);
    item->setText(QString::fromStdString(old_label));
  }
}

void CViewObjExplorerTree::ApplyCheck(QStandardItem* item, bool visible) {
  Busy busy(*this);
  CExplorerItem* own = AsItem(item);
  if (own && own->kind == CExplorerItem::kObject) {
    if (!own->object->MayBeHidden()) {
      ShowObjectState(own);
      return;
    }
    own->object->SetVisible(visible);
    own->object->NotifyChange(kChangeEditState);
    ShowObjectState(own);
    return;
  }
  for (int row = 0; row < item->rowCount(); ++row) ApplyCheck(item->child(row), visible);
  ComputeState(item);
}

std::string CViewObjExplorerTree::CategoryNameProblem(const std::string& name) {
  if (name.empty()) return "A category needs a name.";
  if (name.size() > kMaxCategoryName)
    return "A category name may have at most " + std::to_string(kMaxCategoryName) +
           " characters.";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return "A category name cannot hold control characters.";
  }
  if (name.find(':') != std::string::npos)
    return "A category label cannot hold ':' (it separates the levels of a category).";
  return {};
}

bool CViewObjExplorerTree::RenameItem(CExplorerItem* item, const std::string& text) {
  if (!item || text.empty()) return false;
  if (item->kind == CExplorerItem::kObject) {
    for (unsigned char c : text) {
      if (c < 0x20 || c == 0x7F) {
        FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconWarning, "%s",
                         "A name cannot hold control characters.");
        return false;
      }
    }
    Busy busy(*this);
    item->object->name = text;
    item->key = text;
    item->setText(QString::fromStdString(text));
    item->object->NotifyChange(kChangeModified);
    // Its place among its siblings follows the name.
    Reparent(item, item->parent());
    return true;
  }
  if (const std::string problem = CategoryNameProblem(text); !problem.empty()) {
    FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconWarning, "%s", problem.c_str());
    return false;
  }
  Busy busy(*this);
  item->setText(QString::fromStdString(text));
  item->key = text == kNewCategoryName ? kNewCategoryKey : text;
  RederiveCategories(item);
  Reparent(item, item->parent() ? item->parent() : model_->invisibleRootItem());
  return true;
}

void CViewObjExplorerTree::RederiveCategories(CExplorerItem* item) {
  Busy busy(*this);
  CCategory* category = CCategory::FindOrCreate(FullPath(item));
  if (item->category) item->category->Release();
  item->category = category;
  item->kind = CExplorerItem::kCategory;
  for (int row = 0; row < item->rowCount(); ++row) {
    CExplorerItem* child = AsItem(item->child(row));
    if (!child) continue;
    if (child->kind == CExplorerItem::kObject) {
      child->object->SetCategory(category);
      child->object->NotifyChange(kChangeEditState);
    } else {
      RederiveCategories(child);
    }
  }
}

CExplorerItem* CViewObjExplorerTree::Reparent(CExplorerItem* item, QStandardItem* parent) {
  Busy busy(*this);
  if (!parent) parent = model_->invisibleRootItem();
  const bool was_current = currentIndex() == item->index();
  QStandardItem* old_parent = item->parent() ? item->parent() : model_->invisibleRootItem();
  old_parent->takeRow(item->row());
  InsertSorted(parent, item);
  if (was_current) setCurrentIndex(item->index());
  return item;
}

bool CViewObjExplorerTree::DropOn(CExplorerItem* dragged, CExplorerItem* target) {
  if (!dragged || !IsCategoryLike(target)) return false;
  for (QStandardItem* at = target; at; at = at->parent()) {
    if (at == dragged) {
      QApplication::beep();
      return false;
    }
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QStandardItem* old_parent = dragged->parent();
  // The objects that change category make one undo step.
  ObjectList moved = ChosenObjects(dragged, false);
  if (!moved.empty()) SaveUndoStep(moved);
  {
    Busy busy(*this);
    Reparent(dragged, target);
    if (dragged->kind == CExplorerItem::kObject) {
      dragged->object->SetCategory(FullPath(target));
      dragged->object->NotifyChange(kChangeEditState);
    } else {
      RederiveCategories(dragged);
    }
  }
  ComputeStatesUp(target);
  ComputeStatesUp(old_parent);
  SelectItem(dragged);
  QApplication::restoreOverrideCursor();
  return true;
}

// ---- Views' events ----

CExplorerItem* CViewObjExplorerTree::ItemAt(const QModelIndex& index) const {
  return index.isValid() ? AsItem(model_->itemFromIndex(index)) : nullptr;
}

CExplorerItem* CViewObjExplorerTree::SelectedItem() const { return ItemAt(currentIndex()); }

void CViewObjExplorerTree::currentChanged(const QModelIndex& current,
                                          const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (busy_) return;
  CExplorerItem* item = ItemAt(current);
  COstrelObject* object = item && item->kind == CExplorerItem::kObject ? item->object : nullptr;
  if (object && !object->IsSelected()) {
    Busy busy(*this);
    object->Select(true);
  }
  if (on_select_) on_select_(object);
  // The tree's open window follows to the object selected; the keyboard stays in the tree.
  if (object) {
    if (COstrelObject* owned = OwnedObject(); owned && owned != object) {
      props_->Close(owned);
      OpenOwned(object, false);
      window()->activateWindow();
    }
  }
}

void CViewObjExplorerTree::mouseDoubleClickEvent(QMouseEvent* event) {
  CExplorerItem* item = ItemAt(indexAt(event->position().toPoint()));
  if (item && item->kind == CExplorerItem::kObject) {
    COstrelObject* object = item->object;
    setCurrentIndex(item->index());
    if (on_open_) on_open_(object);
    OpenOwned(object, true);
    return;
  }
  QTreeView::mouseDoubleClickEvent(event);
}

// ---- The tree's property window ----

COstrelObject* CViewObjExplorerTree::OwnedObject() const {
  return owned_ && props_ && props_->Find(owned_) ? owned_ : nullptr;
}

void CViewObjExplorerTree::SetOwned(COstrelObject* object) {
  if (object == owned_) return;
  if (object) object->AddRef();
  if (owned_) owned_->Release();
  owned_ = object;
}

void CViewObjExplorerTree::OpenOwned(COstrelObject* object, bool activate) {
  if (!props_ || !object) return;
  // The window closed by the user is the tree's no more; one that goes with its object stays
  // the tree's until the deletion reaches the tree.
  QPointer<CViewObjExplorerTree> self(this);
  const bool opened = props_->Show(object, activate, [self, object] {
    if (self && self->owned_ == object) self->SetOwned(nullptr);
  });
  if (opened) SetOwned(object);
}

CExplorerItem* CViewObjExplorerTree::NeighbourObjectItem(CExplorerItem* item) const {
  QStandardItem* parent = item->parent() ? item->parent() : model_->invisibleRootItem();
  for (int row : {item->row() + 1, item->row() - 1}) {
    CExplorerItem* beside = row >= 0 ? AsItem(parent->child(row)) : nullptr;
    if (beside && beside->kind == CExplorerItem::kObject) return beside;
  }
  return nullptr;
}

void CViewObjExplorerTree::contextMenuEvent(QContextMenuEvent* event) {
  if (CExplorerItem* item = ItemAt(indexAt(event->pos()))) setCurrentIndex(item->index());
  const std::unique_ptr<vd::ui::PopupMenu> menu = BuildPopup();
  if (const int id = menu->Track(window(), event->globalPos())) OnCommand(id);
}

void CViewObjExplorerTree::dragMoveEvent(QDragMoveEvent* event) {
  QTreeView::dragMoveEvent(event);
  CExplorerItem* target = ItemAt(indexAt(event->position().toPoint()));
  if (IsCategoryLike(target)) {
    scrollTo(target->index());
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void CViewObjExplorerTree::dropEvent(QDropEvent* event) {
  // The tree moves its items itself; the model is not asked to copy anything.
  CExplorerItem* target = ItemAt(indexAt(event->position().toPoint()));
  CExplorerItem* dragged = SelectedItem();
  if (event->source() && event->source() != this) {
    event->ignore();
    return;
  }
  if (dragged && IsCategoryLike(target)) DropOn(dragged, target);
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
}

// ---- The document's hints ----

CExplorerItem* CViewObjExplorerTree::ItemOf(const COstrelObject* object) const {
  const auto it = items_.find(object);
  return it == items_.end() ? nullptr : it->second;
}

CExplorerItem* CViewObjExplorerTree::CategoryItem(const std::string& path) const {
  QStandardItem* parent = model_->invisibleRootItem();
  CExplorerItem* found = nullptr;
  for (const std::string& part : PathParts(path)) {
    found = nullptr;
    const QString text = QString::fromStdString(part);
    for (int row = 0; row < parent->rowCount(); ++row) {
      CExplorerItem* child = AsItem(parent->child(row));
      if (child && child->kind != CExplorerItem::kObject && child->text() == text) {
        found = child;
        break;
      }
    }
    if (!found) return nullptr;
    parent = found;
  }
  return found;
}

std::string CViewObjExplorerTree::FullPath(const QStandardItem* item) {
  std::string path;
  for (const QStandardItem* at = item; at; at = at->parent()) {
    if (at->type() != CExplorerItem::kType) break;
    const std::string text = at->text().toStdString();
    path = path.empty() ? text : text + ":" + path;
  }
  return path;
}

void CViewObjExplorerTree::SelectItem(CExplorerItem* item) {
  if (!item) return;
  Busy busy(*this);
  setCurrentIndex(item->index());
  scrollTo(item->index());
}

void CViewObjExplorerTree::UpdateObject(COstrelObject* object) {
  CExplorerItem* item = ItemOf(object);
  if (!object->category()) {
    if (item) {
      QStandardItem* parent = item->parent();
      RemoveItem(item);
      ComputeStatesUp(parent);
    }
    return;
  }
  if (!item) {
    InsertObject(object);
    return;
  }
  Busy busy(*this);
  QStandardItem* old_parent = item->parent();
  const bool renamed = item->key != object->name;
  if (renamed) {
    item->key = object->name;
    item->setText(QString::fromStdString(object->name));
  }
  ShowObjectState(item);
  if (FullPath(old_parent) != object->category()->name()) {
    Reparent(item, PlaceCategory(object->category()->name()));
    ComputeStatesUp(old_parent);
  } else if (renamed) {
    Reparent(item, old_parent);
  }
  ComputeStatesUp(item->parent());
}

void CViewObjExplorerTree::OnDocumentHint(int hint, COstrelObject* object) {
  if (busy_) return;
  if (!object || hint > kChangeDisplay || hint == kChangeDisplay) {
    if (!object || hint > kChangeDisplay) Rebuild();
    return;
  }
  switch (hint) {
    case kChangeAdded:
      InsertObject(object);
      SelectItem(ItemOf(object));
      return;
    case kChangeDeleted: {
      const bool owned = owned_ == object;
      if (owned) SetOwned(nullptr);
      CExplorerItem* item = ItemOf(object);
      if (!item) return;
      QStandardItem* parent = item->parent();
      CExplorerItem* next = owned ? NeighbourObjectItem(item) : nullptr;
      {
        // The item that goes is not replaced by a neighbour as the current one: the object
        // next to it is selected only when the tree's window showed the deleted object.
        Busy busy(*this);
        if (currentIndex() == item->index()) setCurrentIndex(QModelIndex());
        RemoveItem(item);
      }
      ComputeStatesUp(parent);
      if (next) next->object->Select(true);
      return;
    }
    case kChangeModified:
    case kChangeEditState:
    case kChangeCategory:
      UpdateObject(object);
      return;
    case kChangeSelected:
      if (object->IsSelected()) SelectItem(ItemOf(object));
      return;
    default:
      return;
  }
}

void CViewObjExplorerTree::OnDocumentCleared() {
  Busy busy(*this);
  SetOwned(nullptr);
  ReleaseAll();
  model_->clear();
}

void CViewObjExplorerTree::OnDocumentDestroyed() {
  OnDocumentCleared();
  followed_ = nullptr;
}

// ---- The pop-up menu ----

ObjectList CViewObjExplorerTree::ChosenObjects(QStandardItem* item, bool hideable) const {
  ObjectList out;
  if (!item) return out;
  std::vector<QStandardItem*> stack{item};
  while (!stack.empty()) {
    QStandardItem* at = stack.back();
    stack.pop_back();
    CExplorerItem* own = AsItem(at);
    if (own && own->kind == CExplorerItem::kObject) {
      if (!hideable || own->object->MayBeHidden()) out.push_back(own->object);
      continue;
    }
    for (int row = at->rowCount() - 1; row >= 0; --row) stack.push_back(at->child(row));
  }
  return out;
}

bool CViewObjExplorerTree::IsCommandEnabled(int id) const {
  const CExplorerItem* item = SelectedItem();
  switch (id) {
    case kCmdNewCategory:
      return true;
    case kCmdRemoveCategory:
      return IsCategoryLike(item);
    case kCmdHide: case kCmdDelete: case kCmdSendToGps: case kCmdSendEmail: case kCmdSaveAs:
    case kCmdShow: case kCmdLock: case kCmdUnlock: case kCmdSyncToCloud:
      return item != nullptr;
    default:
      return false;
  }
}

std::unique_ptr<vd::ui::PopupMenu> CViewObjExplorerTree::BuildPopup() const {
  auto menu = std::make_unique<vd::ui::PopupMenu>();
  const struct {
    int id;
    const char* text;
  } items[] = {{kCmdShow, "Show"},
               {kCmdHide, "Hide"},
               {kCmdLock, "Lock"},
               {kCmdUnlock, "Unlock"},
               {kCmdDelete, "Delete"},
               {kCmdSendToGps, "Send to GPS"},
               {kCmdSendEmail, "Send E-mail"},
               {kCmdSyncToCloud, "Sync to Cloud"},
               {kCmdSaveAs, "Save As..."},
               {kCmdNewCategory, "New Category"},
               {kCmdRemoveCategory, "Remove Category"}};
  for (const auto& item : items) {
    if (item.id == kCmdNewCategory) menu->AppendSeparator();
    menu->AppendItem(item.id, item.text,
                     IsCommandEnabled(item.id) ? 0u : unsigned(vd::ui::PopupMenu::kDisabled));
  }
  return menu;
}

void CViewObjExplorerTree::SetObjects(int id, const ObjectList& objects) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  {
    Busy busy(*this);
    for (COstrelObject* object : objects) {
      if (id == kCmdShow || id == kCmdHide) {
        object->SetVisible(id == kCmdShow);
        object->NotifyChange(kChangeEditState);
      } else {
        object->SetLocked(id == kCmdLock);
      }
      if (CExplorerItem* item = ItemOf(object)) ShowObjectState(item);
    }
  }
  ComputeAllStates(model_->invisibleRootItem());
  QApplication::restoreOverrideCursor();
}

void CViewObjExplorerTree::OnCommand(int id) {
  if (!IsCommandEnabled(id)) return;
  CExplorerItem* item = SelectedItem();
  const std::string label = item ? item->text().toStdString() : std::string();
  switch (id) {
    case kCmdShow:
    case kCmdHide:
      SetObjects(id, ChosenObjects(item, true));
      return;
    case kCmdLock:
    case kCmdUnlock:
      SetObjects(id, ChosenObjects(item, false));
      return;
    case kCmdDelete: {
      const ObjectList doomed = ChosenObjects(item, true);
      if (doomed.empty()) return;
      if (FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
                           "Deleting %d overlay objects...\nAre you sure (no undo)?",
                           static_cast<int>(doomed.size())) != vd::ui::kIdYes)
        return;
      QApplication::setOverrideCursor(Qt::WaitCursor);
      {
        // The tree takes out the items itself, keeping its categories (empty ones too) and
        // what is open, instead of being built anew by the refresh that ends the deletion.
        Busy busy(*this);
        DeleteMarkedObjects(doomed);
        RemoveItemsOfObjectsGone();
      }
      ComputeAllStates(model_->invisibleRootItem());
      QApplication::restoreOverrideCursor();
      return;
    }
    case kCmdSendToGps: {
      auto* doc = dynamic_cast<COstrelDoc*>(&document_);
      CChartFrameHost* host = doc ? doc->frame_host() : nullptr;
      if (!host) return;
      ObjectList objects = ChosenObjects(item, true);
      for (int kind : {2, 3, 4}) host->GpsTransfer(1, kind, objects);
      host->ShowGpsError();
      return;
    }
    case kCmdSendEmail:
      EmailObjectListAsGpx(ChosenObjects(item, true), label);
      return;
    case kCmdSyncToCloud:
      UploadObjectListToCloud(ChosenObjects(item, true), label);
      return;
    case kCmdSaveAs:
      if (auto* doc = dynamic_cast<COstrelDoc*>(&document_))
        doc->ExportObjects(ChosenObjects(item, false));
      return;
    case kCmdNewCategory:
      NewCategory();
      return;
    case kCmdRemoveCategory:
      RemoveCategory(item);
      return;
    default:
      return;
  }
}

void CViewObjExplorerTree::NewCategory() {
  std::string path = kNewCategoryName;
  if (CExplorerItem* item = SelectedItem()) {
    QStandardItem* category = item->kind == CExplorerItem::kObject ? item->parent() : item;
    if (category) path = FullPath(category) + ":" + path;
  }
  CExplorerItem* made = nullptr;
  {
    Busy busy(*this);
    made = PlaceCategory(path);
  }
  ComputeStatesUp(made);
  setFocus();
  SelectItem(made);
  edit(made->index());
}

void CViewObjExplorerTree::RemoveCategory(CExplorerItem* item) {
  if (!IsCategoryLike(item)) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QStandardItem* parent = item->parent();
  {
    Busy busy(*this);
    if (!parent) {
      // A top-level category gives its sub-categories to the root; its objects stay.
      for (int row = item->rowCount() - 1; row >= 0; --row) {
        CExplorerItem* child = AsItem(item->child(row));
        if (child && child->kind != CExplorerItem::kObject) {
          Reparent(child, model_->invisibleRootItem());
          RederiveCategories(child);
        }
      }
    } else {
      for (int row = item->rowCount() - 1; row >= 0; --row) {
        CExplorerItem* child = AsItem(item->child(row));
        if (!child) continue;
        Reparent(child, parent);
        if (child->kind == CExplorerItem::kObject) {
          child->object->SetCategory(AsItem(parent) ? AsItem(parent)->category : nullptr);
          child->object->NotifyChange(kChangeEditState);
        } else {
          RederiveCategories(child);
        }
      }
    }
    if (item->rowCount() == 0) RemoveItem(item);
  }
  ComputeAllStates(model_->invisibleRootItem());
  QApplication::restoreOverrideCursor();
}
