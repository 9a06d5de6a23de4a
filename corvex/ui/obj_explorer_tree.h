#pragma once
// The overlay explorer's tree: every overlay object that has a category, under its category
// (a name "A:B" is the category item B under the item A), with a box that shows and hides it
// (a category's box is the common state of what is below it, mixed when they differ). Items
// sort categories first, then by name with numbers compared by value. The tree follows the
// document's change hints one object at a time; only a hint about everything rebuilds it.
// Labels edit names, drag and drop moves objects and categories (an undo step is saved), and
// the pop-up menu shows, hides, locks, deletes, sends and saves what is below an item.
//
//   auto* tree = new CViewObjExplorerTree(document);   // follows the document from now on
#include <QStandardItem>
#include <QTreeView>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/shell_services.h"
#include "corvex/ostrel_doc.h"

class CCategory;
class CPropsWindows;
class QStandardItemModel;
namespace vd::ui {
class PopupMenu;
}

// An item of the tree: a category item holds a reference to its category, an object item to
// its object.
class CExplorerItem : public QStandardItem {
 public:
  enum Kind { kNone, kCategory, kObject };
  static constexpr int kType = QStandardItem::UserType + 107;

  CExplorerItem(Kind kind, const QString& text);
  int type() const override { return kType; }
  // The sort rule: categories (and items without data) before objects; then by key,
  // case-insensitive with runs of digits compared by value.
  bool operator<(const QStandardItem& other) const override;

  Kind kind;
  COstrelObject* object = nullptr;
  CCategory* category = nullptr;
  // The sort key: an object's name, a category's label ("New category" sorts last).
  std::string key;
  // The box state last shown (what a click changed it from).
  Qt::CheckState shown_state = Qt::Unchecked;
};

class CViewObjExplorerTree : public QTreeView, public CDocHintListener {
 public:
  static constexpr int kPaneId = 135;
  // The pop-up commands.
  static constexpr int kCmdHide = 252;
  static constexpr int kCmdDelete = 253;
  static constexpr int kCmdSendToGps = 254;
  static constexpr int kCmdSendEmail = 255;
  static constexpr int kCmdSaveAs = 256;
  static constexpr int kCmdShow = 257;
  static constexpr int kCmdLock = 258;
  static constexpr int kCmdUnlock = 259;
  static constexpr int kCmdNewCategory = 260;
  static constexpr int kCmdRemoveCategory = 261;
  static constexpr int kCmdSyncToCloud = 33696;
  static constexpr char kNewCategoryName[] = "New category";
  // Longest category label the tree takes.
  static constexpr size_t kMaxCategoryName = 255;

  // Builds the tree from the document's list. A COstrelDoc is followed through its hints.
  explicit CViewObjExplorerTree(COstrelDocBase& document, QWidget* parent = nullptr);
  // Releases the references of the items and the categories nothing uses any more.
  ~CViewObjExplorerTree() override;

  QStandardItemModel* item_model() const { return model_; }
  // Empties the tree and inserts every object again.
  void Rebuild();
  // The item of an object; null when the tree does not show it.
  CExplorerItem* ItemOf(const COstrelObject* object) const;
  // The category item of a full path ("A:B"); null when there is none.
  CExplorerItem* CategoryItem(const std::string& path) const;
  // An item's category path: its label and those of its ancestors joined by ':'.
  static std::string FullPath(const QStandardItem* item);
  CExplorerItem* SelectedItem() const;

  // The pop-up menu of the selected item (enabled as the commands allow) and its commands.
  std::unique_ptr<vd::ui::PopupMenu> BuildPopup() const;
  bool IsCommandEnabled(int id) const;
  void OnCommand(int id);
  // Moves an item under a category item as a drop does; false (with a beep) when the target
  // is the item or lies below it, or is not a category item.
  bool DropOn(CExplorerItem* dragged, CExplorerItem* target);
  // A label edited to the text; false (label kept, the user told why) when the text is not a
  // usable name.
  bool RenameItem(CExplorerItem* item, const std::string& text);
  // Why a category label can't be used, or empty when it can.
  static std::string CategoryNameProblem(const std::string& name);

  // The property windows the tree opens in: a double-click on an object opens its window, and
  // while that window is open it follows the objects the user selects in the tree (the window
  // of the object selected before closes). When the object of that window is deleted, the
  // object of the item next to it is selected.
  void SetPropsWindows(CPropsWindows* windows) { props_ = windows; }
  // The object whose window the tree opened, while that window is open; null otherwise.
  COstrelObject* OwnedObject() const;

  // Called with the object of the item the user selects (null: none), and with the object
  // whose item the user double-clicks (before its window opens).
  void SetSelectionHandler(std::function<void(COstrelObject*)> handler) {
    on_select_ = std::move(handler);
  }
  void SetOpenHandler(std::function<void(COstrelObject*)> handler) {
    on_open_ = std::move(handler);
  }

  void OnDocumentHint(int hint, COstrelObject* object) override;
  void OnDocumentCleared() override;
  void OnDocumentDestroyed() override;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  class Busy;
  CExplorerItem* ItemAt(const QModelIndex& index) const;
  // The category item of a path, made (with its missing ancestors) when absent.
  CExplorerItem* PlaceCategory(const std::string& path);
  // A new object item (not yet in the tree).
  CExplorerItem* MakeObjectItem(COstrelObject* object);
  // The same with the object's name given (read from elsewhere than the object).
  CExplorerItem* MakeObjectItem(COstrelObject* object, std::string_view name);
  void InsertSorted(QStandardItem* parent, CExplorerItem* item);
  void InsertObject(COstrelObject* object);
  // Takes an item (and what is below it) out of the tree, releasing its references.
  void RemoveItem(CExplorerItem* item);
  // Takes out the items of objects no longer in the document (a deletion told to no one, as a
  // route's own marks go with it), and the window of such an object stops being the tree's.
  void RemoveItemsOfObjectsGone();
  void ReleaseSubtree(QStandardItem* item);
  // Releases the references of every item (the items stay).
  void ReleaseAll();
  // Full paths of the open category items, and opening the items of such paths again.
  std::set<std::string> ExpandedCategories() const;
  void ExpandCategories(const std::set<std::string>& paths);
  void ReleaseCategories(QStandardItem* item);
  void ShowObjectState(CExplorerItem* item);
  // The states of a category item from its children, and of every ancestor upwards.
  void ComputeState(QStandardItem* item);
  void ComputeStatesUp(QStandardItem* item);
  void ComputeAllStates(QStandardItem* item);
  // Every object below an item, depth first (with `hideable`: only those that may be hidden).
  ObjectList ChosenObjects(QStandardItem* item, bool hideable) const;
  void OnItemChanged(QStandardItem* item);
  void ApplyCheck(QStandardItem* item, bool visible);
  // After a category item got a new label or parent: it and every category below it take the
  // category of their new path, and their objects follow.
  void RederiveCategories(CExplorerItem* item);
  // Moves an item under a new parent at its sorted place; returns the item.
  CExplorerItem* Reparent(CExplorerItem* item, QStandardItem* parent);
  void UpdateObject(COstrelObject* object);
  void SelectItem(CExplorerItem* item);
  void NewCategory();
  void RemoveCategory(CExplorerItem* item);
  void SetObjects(int id, const ObjectList& objects);
  // The object whose window the tree keeps (a reference held); null for none.
  void SetOwned(COstrelObject* object);
  void OpenOwned(COstrelObject* object, bool activate);
  // The object item beside an item among its siblings: the one after it, else the one before.
  CExplorerItem* NeighbourObjectItem(CExplorerItem* item) const;

  COstrelDocBase& document_;
  COstrelDoc* followed_ = nullptr;
  QStandardItemModel* model_ = nullptr;
  // A node per object of the document: from the object arena, as the objects and the list's
  // nodes are, rather than a heap allocation each.
  std::unordered_map<const COstrelObject*, CExplorerItem*, std::hash<const COstrelObject*>,
                     std::equal_to<const COstrelObject*>,
                     vd::ArenaAllocator<std::pair<const COstrelObject* const, CExplorerItem*>>>
      items_;
  std::function<void(COstrelObject*)> on_select_;
  std::function<void(COstrelObject*)> on_open_;
  CPropsWindows* props_ = nullptr;
  COstrelObject* owned_ = nullptr;
  int busy_ = 0;
};
