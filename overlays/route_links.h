#pragma once
// What a mark (CObjWaypoint) asks of the routes that hold it as a route point. The route class
// implements this interface; a mark keeps a back-link to every route that holds it (a route
// holding it twice is listed twice) and reaches the routes only through these calls.
//
// A route adds itself to a mark's back-links (CObjWaypoint::AddRouteLink) when it takes the mark
// into its point list, and removes itself (CObjWaypoint::RemoveRouteLink) when it lets the last
// occurrence go, so both lists stay consistent.
//
// User-interface thread only.
#include <span>

#include "platform/ui/geometry.h"

class CObjWaypoint;
class COldQuickChart;
class COstrelObject;

class WaypointRouteLink {
 public:
  // The route as an overlay object: visibility, lock, reference count, undo, notification.
  virtual COstrelObject& RouteObject() = 0;
  const COstrelObject& RouteObject() const {
    return const_cast<WaypointRouteLink*>(this)->RouteObject();
  }

  // The mark is being destroyed: every occurrence of it leaves the route's point list. The
  // route must not call back into the mark.
  virtual void DropDeletedWaypoint(CObjWaypoint& mark) = 0;
  // Route points next to the mark's occurrences (before and after each, where they exist);
  // 0 while the route is in insert mode.
  virtual int CountNeighbours(const CObjWaypoint& mark) const = 0;
  // Writes the chart pixels of those neighbours, in the order counted, into anchors (at most
  // anchors.size()); returns how many were written.
  virtual int FillNeighbourAnchors(const CObjWaypoint& mark, COldQuickChart* chart,
                                   std::span<vd::ui::Point> anchors) const = 0;
  // In insert mode, inserts the mark at the insert position; otherwise nothing. True when it
  // was inserted.
  virtual bool InsertWaypointWhileEditing(CObjWaypoint& mark) = 0;
  // Insert mode, new points going after (before) the mark's first occurrence.
  virtual void StartInsertAfter(CObjWaypoint& mark) = 0;
  virtual void StartInsertBefore(CObjWaypoint& mark) = 0;
  virtual bool IsInInsertMode() const = 0;
  // The mark appears at a node other than the first and the last.
  virtual bool HasInnerOccurrence(const CObjWaypoint& mark) const = 0;
  // The points before and after the mark's first occurrence (null where there is none).
  virtual void GetNeighboursOfFirst(const CObjWaypoint& mark, const CObjWaypoint*& before,
                                    const CObjWaypoint*& after) const = 0;
  // Works out the route's length again (after one of its points moved).
  virtual void RecomputeLength() = 0;

 protected:
  ~WaypointRouteLink() = default;
};

// The program-wide current route: the route last selected or being edited, or null. The route
// class sets it; marks read it and change it when they are selected.
WaypointRouteLink* CurrentWaypointRoute();
void SetCurrentWaypointRoute(WaypointRouteLink* route);
