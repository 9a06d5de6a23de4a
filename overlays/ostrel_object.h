#pragma once
// The base of every overlay object of the chart program: marks, routes, tracks, text notes, the
// own-vessel position, the icon table and chart outlines.
//
// An object is reference counted: the document's object list holds one reference and every
// chart view's screen record of it one more; the last Release destroys it. It belongs to one
// document (the current document when it was made) and reports its changes to that document's
// views and to the data panes with the change codes below. One object of the whole program may
// be selected.
//
// Everything here runs on the user-interface thread, where the documents live (a document's
// table of ids checks it).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/shell_services.h"
#include "core/object_arena.h"
#include "overlays/lat_lon.h"
#include "overlays/object_factory.h"
#include "platform/ui/geometry.h"

class CCategory;
class CDialogF1Help;
class CMappedObject;   // a view's screen record of an object (mapped_object.h)
class CRubberBand;     // a view's drag feedback (mapped_object.h)
class COldQuickChart;  // the chart of a view
class QWidget;

namespace vd::ui {
class Graphics;
class PopupMenu;
class Surface;
}  // namespace vd::ui

// Change codes, the hint of COstrelDocBase::UpdateAllViews and CDataWnd::Update.
enum OverlayChange : int {
  kChangeAdded = 0,       // added to a document
  kChangeDeleted = 1,     // Delete
  kChangeModified = 2,    // contents changed; stamps the modified time
  kChangeSelected = 3,
  kChangeEditState = 4,   // edit state or lock
  kChangeMoved = 5,
  kChangeViewTarget = 6,  // SetViewTarget: the views move their position marker
  kChangeCategory = 7,    // the category changed; no effect in chart views
  kChangeDisplay = 8,     // display settings: views rebuild every record
};

// Where the objects reach the undo history (undo_ring.h installs it). Until then objects are
// stamped with step 0 and nothing is saved.
struct OverlayUndoHook {
  // The current undo step number.
  std::function<int32_t()> current_step;
  // Saves one undo step holding the object (and what an edit of it changes).
  std::function<void(COstrelObject&)> save_for_object;
  // Saves one undo step holding all the objects of the list (an edit that changes them
  // together is undone in one go).
  std::function<void(const ObjectList&)> save_for_list;
};

// An object's created time. Its document counts the times of its objects
// (COstrelDocBase::ObjectTimes), so the field tells it of every change, however it is written.
// Only COstrelObject::created is one.
class CObjectTime {
 public:
  explicit CObjectTime(int32_t value) : value_(value) {}
  CObjectTime(const CObjectTime&) = delete;
  CObjectTime& operator=(int32_t value) {
    if (value != value_) {
      const int32_t old = value_;
      value_ = value;
      Changed(old);
    }
    return *this;
  }
  CObjectTime& operator=(const CObjectTime& other) { return *this = other.value_; }
  operator int32_t() const { return value_; }

 private:
  void Changed(int32_t old);

  int32_t value_;
};

class COstrelObject : public CArchiveObject {
 public:
  static const OverlayClass kClass;  // "COstrelObject", never made by name

  // Results of Delete besides a message box's button id.
  static constexpr int kDeleteNotInList = 0;  // not in its document's list; still alive
  static constexpr int kDeleted = 1;          // removed from the list and released
  static constexpr int kDeleteRefused = -1;   // locked: the user was told "Object is locked"

  // Name and short name empty, created = modified = now (or a CCreationTimeScope's time),
  // visible, style 0, undo stamp = the current undo step, document = the current document, hit
  // tolerance 8, no references.
  COstrelObject();
  COstrelObject(const COstrelObject&) = delete;
  COstrelObject& operator=(const COstrelObject&) = delete;

  // Objects are made and dropped by the hundred thousand (a large file, its close): their
  // memory comes from the object arena. Over-aligned classes take the ordinary heap.
  static void* operator new(std::size_t size) { return vd::ObjectArena::Allocate(size); }
  static void operator delete(void* object, std::size_t size) noexcept {
    vd::ObjectArena::Free(object, size);
  }
  static void* operator new(std::size_t size, std::align_val_t alignment) {
    return ::operator new(size, alignment);
  }
  static void operator delete(void* object, std::size_t size,
                              std::align_val_t alignment) noexcept {
    ::operator delete(object, size, alignment);
  }
  // Construction in place stays possible.
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void*, void*) noexcept {}

  // ---- Virtual operations, in slot order ----
  // 0
  const OverlayClass& GetRuntimeClass() const override;
  // 1: leaves the selection and the document's current-object pointer, releases the category.
  ~COstrelObject() override;
  // 2: the base record of the overlay archive (name, times, flags, style, category, undo and
  // redo stamps, id).
  void Serialize(COverlayArchive& archive) override;
  // 3 AssertValid, 4 Dump: CArchiveObject's.
  // 5: no notification.
  virtual void SetVisible(bool visible);
  // 6: the object's extent; false (nothing written) for objects without one.
  virtual bool GetBounds(double& min_lat, double& max_lat, double& min_lon,
                         double& max_lon) const;
  // 7
  virtual bool IsExportable() const;
  // 8: appends this object unless the list holds it already (true when appended). Derived
  // classes append what they need too (a route its marks).
  virtual bool CollectForExport(ObjectList& list);
  // 9: the same; derived classes append what an edit of this object changes.
  virtual bool CollectForUndo(ObjectList& list);
  // 10: deselects another selected object, becomes the selection; code 3 with notify.
  virtual void Select(bool notify);
  // 11: the selection becomes empty when it is this object; no notification.
  virtual void Deselect();
  // 12: the same class, and equal ids (not 0), or else equal created times and names
  // (case-sensitive).
  virtual bool IsSameObject(const COstrelObject& other) const;
  // 13: with ask, a locked object is refused ("Object is locked") and an object with a
  // category and a name asks first and saves an undo step. Then code 1, and the object leaves
  // its document's list and loses that reference (it may be gone on return). Results: kDeleted,
  // kDeleteNotInList, kDeleteRefused, or the button that declined the question.
  virtual int Delete(bool ask);
  // 14: code 4.
  virtual void SetLocked(bool locked);
  // 15, 16: append the object's GPX element / tagged text lines to out; true when written
  // (the base writes nothing).
  virtual bool WriteGpx(std::string& out);
  virtual bool WriteText(std::string& out);
  // 17: reads one tagged text line into the object.
  virtual bool ReadText(std::string_view line);
  // 18: fills the view's screen record from the object.
  virtual void PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band);
  // 19: draws from the screen record. A quick draw (many objects in view) leaves out what each
  // class says; a selected object draws in full.
  virtual void Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
                    bool quick_draw);
  // 20: the generic hit test of the screen record at the chart point, with the tolerance
  // ShiftByZoom(zoom_step).
  virtual bool HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step);
  // 21..24: mouse input at the cursor's position; hit is the screen record under the cursor,
  // or null. The base selects on a button down and shows the object panes on a double-click.
  virtual bool OnLButtonDown(const CLatLon& point, CMappedObject* hit);
  virtual bool OnLButtonUp(const CLatLon& point);
  virtual bool OnMouseMove(const CLatLon& point);
  virtual bool OnDoubleClick(const CLatLon& point);
  // 25: shows the object's context menu (context_menu_id) at a client point of the view; false
  // when it has none.
  virtual bool OnContextMenu(COstrelViewBase* view, const vd::ui::Point& client_point);
  // 26: a virtual key (platform/ui/window_messages.h).
  virtual bool OnKeyDown(int key);
  // 27: the status-line text for the object under the cursor; false when it has none.
  virtual bool GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit);
  // 28
  virtual void CentreInView();
  // 29: a position on the object and a distance along it (-1: none); code 6.
  virtual void SetViewTarget(double lat, double lon, float distance);
  // 30: adjusts the context menu before it shows.
  virtual void OnInitPopupMenu(vd::ui::PopupMenu& menu);
  // 31: the object's property dialog, null for none.
  virtual std::unique_ptr<CDialogF1Help> CreatePropsDialog(QWidget* parent);
  // ---- Slots the chart view adds after these ----
  // 32: the object may be hidden and removed by "Delete Hidden".
  virtual bool MayBeHidden() const;
  // 33: the object can be picked in a view.
  virtual bool IsSelectable() const;
  // 34: Draw with the view's zoom shift (4 when printing or rendering); the base calls Draw.
  virtual void DrawAtZoom(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
                          int zoom_shift, bool quick_draw);
  // 35, 36: key and menu input with the cursor's position; the base calls OnKeyDown and
  // OnContextMenu.
  virtual bool OnKeyDownAt(int key, const CLatLon& cursor);
  virtual bool OnContextMenuAt(const CLatLon& cursor, COstrelViewBase* view,
                               const vd::ui::Point& client_point);

  // ---- Links between the objects of one load ----
  // Records only name the objects they refer to while an archive loads; the objects are joined
  // once the whole load has been read (COverlayArchive::FinishLoad), so that a record naming
  // something inconsistent or a load failing halfway leaves no object pointing at another.
  // The load succeeded and the object is kept beyond the archive: it joins the objects its
  // record names (a route gives its marks their back-links).
  virtual void LinkAfterLoad() {}
  // The load failed, or the object is held by nothing but the archive: it lets go of the other
  // objects of the load without telling them, so that they may go in any order.
  virtual void UnlinkAfterLoad() {}
  // Whether the object has anything to join or let go at the end of a successful load: only
  // the objects that say so are visited then (the others' back-links stay empty until an
  // object that does joins them).
  virtual bool LinksAfterLoad() const { return false; }

  // ---- Reference count ----
  void AddRef() { ++ref_count_; }
  // One reference less; destroys the object at none.
  void Release();
  int ref_count() const { return ref_count_; }

  // ---- Change notification ----
  // Nothing without a document. Code 2 stamps the modified time. While notifications are on,
  // the document's views and then the data panes are told.
  void NotifyChange(int code);
  // The program-wide switch (on at start); bulk operations turn it off and end with
  // RefreshAllOverlayViews.
  static void SetNotificationsEnabled(bool enabled);
  static bool NotificationsEnabled();

  // ---- Identity ----
  // The 64-bit id, made on first use: the high 32 bits are the installation's id, the low 32
  // bits come from the time and a random number and are unique among the ids of the objects
  // of the same document (COstrelDocBase::ObjectIds; an object without a document is checked
  // against none).
  uint64_t GetUniqueId();
  uint64_t id() const { return id_; }
  // An id read from a file (kept even when another object has it: that is the same object).
  void SetUniqueId(uint64_t id);
  // The installation's 32-bit id (high half of new ids): set by the shell, else derived from
  // the machine's id; 0 is allowed.
  static void SetInstallationId(uint32_t id);
  static uint32_t InstallationId();
  // Creation order within the run, never reused: the views' draw order within a layer.
  uint64_t serial() const { return serial_; }

  // ---- Category ----
  CCategory* category() const { return category_; }
  // Releases the current category and takes CCategory::FindOrCreate(name). No notification:
  // the caller sends code 7 once the object is in its document.
  void SetCategory(const std::string& name);
  // The same with a category object (null: none), which gets a reference.
  void SetCategory(CCategory* category);

  // ---- Selection ----
  bool IsSelected() const;
  // The selection when document is null or the selection belongs to it; else null.
  static COstrelObject* GetSelected(const COstrelDocBase* document);

  // ---- Document ----
  COstrelDocBase* document() const { return document_; }
  void SetDocument(COstrelDocBase* document);
  // The document new objects belong to.
  static COstrelDocBase* CurrentDocument();
  static void SetCurrentDocument(COstrelDocBase* document);

  // ---- Undo ----
  static void SetUndoHook(OverlayUndoHook hook);
  static const OverlayUndoHook& UndoHook();

  // The pick radius at a zoom step: the hit tolerance base shifted left by step bits, right by
  // -step bits when negative.
  int32_t ShiftByZoom(int step) const;

  // The view target: where SetViewTarget last asked the views to put their position marker,
  // and the distance it gave (0, 0 and -1 until then). Few objects ever have one, so it is kept
  // beside the objects rather than in each.
  CLatLon view_target() const;
  float view_target_distance() const;

  // ---- Fields ----
  // What an import or a duplicate search reads of every object leads it, on one cache line
  // with its vtable pointer: the id, the times, the document, the reference count and the
  // flags (a derived class's own among them). A file of a million marks makes a million
  // objects: fields are ordered so that none leaves a gap.
 private:
  uint64_t id_ = 0;

 public:
  CObjectTime created;   // seconds since 1970, low 32 bits
  int32_t modified = 0;  // likewise; set by code 2

 private:
  friend class CObjectTime;

  COstrelDocBase* document_ = nullptr;
  int ref_count_ = 0;

 public:
  int32_t style = 0;     // high byte: drawing layer
  bool locked = false;   // not deleted or edited interactively
  bool visible = true;   // shown, and counted by MakeUniqueObjectName

 private:
  bool has_view_target_ = false;

 protected:
  bool class_flag_ = false;  // a flag of the derived class's own

 public:
  int32_t undo_stamp = 0;
  int32_t redo_stamp = 0;
  int32_t context_menu_id = 0;
  std::string name;
  std::string short_name;  // unique short name for exports with short names

 private:
  // Takes over one reference of category.
  void ReplaceCategory(CCategory* category);

  CCategory* category_ = nullptr;
  uint64_t serial_ = 0;

 public:
  int32_t hit_tolerance = 8;  // pixels at zoom step 0; derived classes may use the 4 bytes after it
};

// Turns notifications on, tells the views of the first document to refresh everything (hint 0,
// no object) and the data panes likewise.
void RefreshAllOverlayViews();

// Deletes without asking each object of the list that is still in its document's list (deleting
// a route may take its marks with it), with notifications off, holding a reference on each
// meanwhile; ends with RefreshAllOverlayViews. Saves no undo step: callers that offer undo
// save one first.
void DeleteMarkedObjects(const ObjectList& list);

// Makes a document the current one for the objects created while it lives.
class CCurrentOwnerScope {
 public:
  explicit CCurrentOwnerScope(COstrelDocBase* document);
  ~CCurrentOwnerScope();
  CCurrentOwnerScope(const CCurrentOwnerScope&) = delete;
  CCurrentOwnerScope& operator=(const CCurrentOwnerScope&) = delete;

 private:
  COstrelDocBase* previous_;
};

// While one lives, new objects take the given time as their created and modified times instead
// of reading the clock. The overlay archive makes its objects in one, with a time it read once:
// a load makes objects by the million, and their records overwrite both times anyway.
class CCreationTimeScope {
 public:
  explicit CCreationTimeScope(int32_t time);
  ~CCreationTimeScope();
  CCreationTimeScope(const CCreationTimeScope&) = delete;
  CCreationTimeScope& operator=(const CCreationTimeScope&) = delete;

 private:
  std::optional<int32_t> previous_;
};
