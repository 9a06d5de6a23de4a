#pragma once
// A list delegate feeds one scrolling list of the newer overlay model (marks, routes, AIS
// targets) to the list pane of a front end: the list's title, its objects in display order, the
// title and detail text of each row, what selecting or tapping a row does, and the action sheets
// of the whole list and of one row. The pane asks Populate again whenever needs_rebuild is set
// (a change event of the list's objects sets it).
//
// This header also holds what the lists share: the chart view a row is shown in, the list
// orders, the sort sheet, loading saved data and the date text of a row.
//
// User-interface thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ui/action_sheet_menu.h"
#include "geodesy/geo_bounds.h"

class CLocalProjection;
class COverlayMark;
class COverlayObject;
class COverlayRoute;
class CSyncable;
class QWidget;

// One row's texts; flag is set by the mark and route rows.
struct COverlayListRow {
  std::string title;
  std::string detail;
  bool flag = false;
};

// The chart view that shows what a row points at. The current one is the view the user works
// in; without one the rows' "View" entries show nothing.
class COverlayListView {
 public:
  virtual ~COverlayListView();
  // Shows the rectangle (latitude and longitude, degrees) in the view.
  virtual void ZoomToRect(const CGeoBounds& box) = 0;

  static COverlayListView* Current();
  // Makes view the current one (null: none); a view being destroyed stops being current.
  static void SetCurrent(COverlayListView* view);
};

class COverlayListDelegate {
 public:
  COverlayListDelegate() = default;
  virtual ~COverlayListDelegate() = default;
  COverlayListDelegate(const COverlayListDelegate&) = delete;
  COverlayListDelegate& operator=(const COverlayListDelegate&) = delete;

  virtual std::string GetTitle() const = 0;
  // Appends the list's objects to `list` in display order and clears needs_rebuild.
  virtual void Populate(std::vector<COverlayObject*>& list) = 0;
  virtual void GetRowText(COverlayObject& object, COverlayListRow& row) = 0;
  virtual void OnSelectRow(COverlayListView* /*view*/, COverlayObject* /*object*/) {}
  virtual void OnTapRow(COverlayListView* /*view*/, COverlayObject* /*object*/) {}
  // The sheets; the window argument is not used (the owner window is).
  virtual void ShowListMenu(QWidget* /*window*/) {}
  virtual void ShowRowMenu(QWidget* /*window*/, COverlayObject* /*object*/) {}

  // The parent of the questions, file choosers, shares and the sync; set by the front end.
  QWidget* owner = nullptr;
  bool needs_rebuild = false;
};

// The orders of the lists by the sort setting (0 name, 1 newest first, 2 nearest first);
// objects that compare equal keep the list's order. Deletion records are left out.
// Marks: by name (byte-wise), by modification time, or by distance from `own` (its factors 0
// while no position is known: then every distance is 0).
void SortMarksForList(const std::vector<std::unique_ptr<COverlayMark>>& marks, int sort,
                      const CLocalProjection& own, std::vector<COverlayObject*>& out);
// Routes: by name, by creation time, or by the distance of their first point; routes without
// points have no distance and stand by name among those with points (before the first, in
// distance order, whose name follows theirs).
void SortRoutesForList(const std::vector<std::unique_ptr<COverlayRoute>>& routes, int sort,
                       const CLocalProjection& own, std::vector<COverlayObject*>& out);

// The sheet "Overlay Sort...": "By Name", "By Date", "Distance", the current order ticked.
// Choosing one stores it in the mark manager's sort setting and saves the settings; the lists
// take it at their next Populate.
std::unique_ptr<CActionSheetMenu> BuildSortSheet();
// Asks for a GPX file and reads it into the overlay model; a file that does not read as GPX
// is refused with "Failed to read XML file: <path>" and nothing else changes.
void LoadSavedData(QWidget* owner);

// The delegate sheets' shared rows, each called with its delegate.
struct COverlayListMenuRow {
  const char* text;
  void (*operation)(void* delegate);
  uintptr_t state;  // CActionSheetMenu::kRowShown or kRowDestructive
};
std::unique_ptr<CActionSheetMenu> BuildListSheet(const std::string& title,
                                                 const COverlayListMenuRow* rows, size_t count,
                                                 void* delegate);
// Shows the sheet at the pointer and runs the row chosen; false when none was.
bool ShowListSheet(const CActionSheetMenu& sheet);
// Shows the object's extent in the current chart view, when there is one.
void ShowInCurrentView(const CSyncable& object);
