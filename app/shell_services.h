#pragma once
// What the common services ask of the application shell and of the docking data panes. The
// shell's document and the panes implement these; the common services and the overlays only
// call them.
#include <list>
#include <memory>
#include <string>

#include "core/id_multiset.h"
#include "core/object_arena.h"
#include "core/owning_thread.h"

class COstrelObject;  // an overlay object
class CObjRoute;      // a route
class COstrelViewBase;    // a chart view

namespace vd::ui {
class PopupMenu;
struct Point;
}  // namespace vd::ui

// The document's list of overlay objects (marks, routes, tracks, notes, chart outlines); each
// entry holds one reference (COstrelObject::AddRef). Its nodes come from the object arena, as
// the objects do: a walk of a long list then streams through memory.
using ObjectList = std::list<COstrelObject*, vd::ArenaAllocator<COstrelObject*>>;

// What the overlays and the common services ask of the program's document (the shell's
// COstrelDoc implements it; tests use small fakes).
class COstrelDocBase {
 public:
  COstrelDocBase() = default;
  COstrelDocBase(const COstrelDocBase&) = delete;
  COstrelDocBase& operator=(const COstrelDocBase&) = delete;
  virtual ~COstrelDocBase() = default;

  // The keys of the overlay objects that belong to the document (COstrelObject::document()),
  // listed or not (an undo step's copies, an import's objects before they join the list): the
  // low halves of their non-zero ids and their created times, each with the number of objects
  // holding it. The objects keep both current as they join the document, leave it, take an id
  // or change their time. New ids are made unique against the first; an import looks at both
  // to learn whether any object of the list may match what it brings. Documents and their
  // objects live on the thread that made the document, which every use checks.
  IdMultiset& ObjectIds() {
    owner_.Check("A document's table of object ids");
    return object_ids_;
  }
  IdMultiset& ObjectTimes() {
    owner_.Check("A document's table of object times");
    return object_times_;
  }

  // Tells every view of the document of a change; hint is an overlay change code, object the
  // object concerned or null, sender the view that made the change or null.
  virtual void UpdateAllViews(COstrelViewBase* sender, int hint, COstrelObject* object) = 0;

  // The defaults below describe a document without overlays.
  // The document's object list; null when it has none.
  virtual ObjectList* GetObjectList() { return nullptr; }
  // Called by an overlay object's destructor: the document's current-object pointer becomes
  // null when it points at that object.
  virtual void ForgetCurrentObject(COstrelObject* /*object*/) {}
  // Shows the overlay explorer panes of the main frame (object tree and object dialog).
  virtual void ShowObjectPanes() {}
  // Opens (or reuses) a chart window on the chart that best shows the position at the scale
  // (0: the chart's own) times factor; mode 1 centres there. Nothing when no chart covers it.
  virtual void OpenBestChartAt(double /*lat*/, double /*lon*/, double /*scale*/,
                               double /*factor*/, int /*mode*/) {}
  // Every chart window showing that chart file opens it again (the file changed on disk).
  virtual void RefreshViewsOfChartFile(const std::string& /*path*/) {}
  // Among the document's visible, unlocked routes of at least 2 points, the one whose last
  // (first) point lies nearest the position and nearer than best_nm, which is lowered to that
  // distance; null when none does.
  virtual CObjRoute* FindRouteEndNearest(double /*lat*/, double /*lon*/, double& /*best_nm*/) {
    return nullptr;
  }
  virtual CObjRoute* FindRouteStartNearest(double /*lat*/, double /*lon*/, double& /*best_nm*/) {
    return nullptr;
  }

 private:
  vd::OwningThread owner_;
  IdMultiset object_ids_;
  IdMultiset object_times_;
};

// A chart view, as far as the overlay objects call it (the shell's COstrelView implements it).
class COstrelViewBase {
 public:
  virtual ~COstrelViewBase() = default;

  // The first submenu of a menu resource; null when there is no such menu.
  virtual std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int menu_id) = 0;
  // Shows the menu at a point of the view's client area (right-button tracking, the main
  // window as owner) and carries out the command chosen.
  virtual void TrackContextMenu(const vd::ui::PopupMenu& menu,
                                const vd::ui::Point& client_point) = 0;
};

// A docking data pane. Each pane joins the application's list when it is created
// (CAppCommon::AddDataWindow) and leaves it when its window is destroyed
// (CAppCommon::RemoveDataWindow).
class CDataWnd {
 public:
  virtual ~CDataWnd() = default;

  // A change of an overlay object (null: anything may have changed); hint is the change code.
  virtual void Update(COstrelObject* object, int hint) = 0;
  // Destroys the pane's window; the pane leaves the application's list.
  virtual void DestroyWindow() = 0;
};
