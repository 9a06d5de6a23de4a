#pragma once
// A route of the overlay model: an ordered list of marks (CObjWaypoint) drawn as a polyline
// with an arrow on each leg. A mark may occur more than once (a closed route repeats its first
// mark at the end); each occurrence has the route once in the mark's list of routes, and
// LinkWaypoint and the editing operations keep both sides in step.
//
// A new route starts in insert mode: each click on the chart adds a route point (a new mark)
// between the insert-after and insert-before indices, clicking a mark adds that mark, and a
// double-click, Enter or Escape ends it.
//
// Lengths are nautical miles. User-interface thread only.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "overlays/ostrel_object.h"
#include "overlays/profile_sample.h"
#include "overlays/route_links.h"

class CObjTrack;
class CObjWaypoint;

class CObjRoute : public COstrelObject, public WaypointRouteLink {
 public:
  static const OverlayClass kClass;  // "CObjRoute"

  enum EditState : int32_t { kNormal = 0, kInsert = 1, kDestroying = 2 };

  // Insert mode before the first point; name "Route", category "Route", layer 0x14, context
  // menu 159 ("route leg popup"); colour, thickness, line style and transparency from the
  // settings "route_color", "route_thickness", "route_style", "route_trans". Code 0.
  CObjRoute();
  // Unlocks (the marks' lock counts drop) and leaves every mark; a mark left without routes
  // that is not locked is deleted. The current route becomes null when it is this route.
  ~CObjRoute() override;

  // ---- COstrelObject ----
  const OverlayClass& GetRuntimeClass() const override;
  // After the base record: leg labels, the points (object references), colour, thickness,
  // line style, transparency (the last four from schema 18 on).
  void Serialize(COverlayArchive& archive) override;
  // Every point gets one back-link per occurrence; the marks of a locked route count it.
  void LinkAfterLoad() override;
  void UnlinkAfterLoad() override;
  bool LinksAfterLoad() const override { return true; }
  // The marks follow, except that a route of more than 50 points shows its marks only while it
  // is the current route.
  void SetVisible(bool visible) override;
  bool GetBounds(double& min_lat, double& max_lat, double& min_lon,
                 double& max_lon) const override;
  // Shows the object in a chart window (the best chart for it).
  void CentreInView() override;
  // The route, then its marks.
  bool CollectForExport(ObjectList& list) override;
  bool CollectForUndo(ObjectList& list) override;
  void Select(bool notify) override;
  // Ends insert mode (code 2).
  void Deselect() override;
  // Also the same point count and the same first and last marks.
  bool IsSameObject(const COstrelObject& other) const override;
  // Asks only for a route of more than 2 points.
  int Delete(bool ask) override;
  // Each mark's route lock count follows; a mark is locked while a locked route holds it.
  void SetLocked(bool locked) override;
  // The marks' "WP05" lines, then "RT01" and one "RP01" per point.
  bool WriteText(std::string& out) override;
  // One "RT01" or "RP01" line; an "RP01" line links the document's first mark of that short
  // name, and is false when there is none.
  bool ReadText(std::string_view line) override;
  // The same, looking for the mark among an import's marks first, then the document's.
  bool ReadTextFrom(std::string_view line, const ObjectList* import_marks,
                    const ObjectList* document_marks);
  void PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) override;
  void Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
            bool quick_draw) override;
  // The polyline test; a hit leg becomes the selected leg.
  bool HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step) override;
  bool OnLButtonDown(const CLatLon& point, CMappedObject* hit) override;
  // In insert mode, adds the clicked mark or a new route point at the click.
  bool OnLButtonUp(const CLatLon& point) override;
  bool OnDoubleClick(const CLatLon& point) override;
  bool OnContextMenu(COstrelViewBase* view, const vd::ui::Point& client_point) override;
  // Backspace/Delete: in insert mode remove the point before the insert position (the route
  // goes when none is left), else delete the route (asking). Enter/Escape end insert mode;
  // Insert starts it at the selected leg.
  bool OnKeyDown(int key) override;
  bool GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit) override;

  // ---- Operations marks call (WaypointRouteLink) ----
  COstrelObject& RouteObject() override { return *this; }
  // Edit state 0; every occurrence leaves the list. A route left with one point deletes itself.
  void DropDeletedWaypoint(CObjWaypoint& mark) override;
  int CountNeighbours(const CObjWaypoint& mark) const override;
  int FillNeighbourAnchors(const CObjWaypoint& mark, COldQuickChart* chart,
                           std::span<vd::ui::Point> anchors) const override;
  // Clicking the point on either side of the insert position ends insert mode instead;
  // clicking the first point closes the route and ends it.
  bool InsertWaypointWhileEditing(CObjWaypoint& mark) override;
  void StartInsertAfter(CObjWaypoint& mark) override;
  void StartInsertBefore(CObjWaypoint& mark) override;
  bool IsInInsertMode() const override { return edit_state == kInsert; }
  bool HasInnerOccurrence(const CObjWaypoint& mark) const override;
  void GetNeighboursOfFirst(const CObjWaypoint& mark, const CObjWaypoint*& before,
                            const CObjWaypoint*& after) const override;
  // length = DistanceToEnd(null).
  void RecomputeLength() override;

  // ---- The program-wide current route ----
  // The route last selected, the route of a selected mark or the route in insert mode; null
  // for none.
  static CObjRoute* Current();
  static void SetCurrent(CObjRoute* route);
  // The route of the document's selection: the selected route, or the current route when one
  // of its points is selected; null otherwise (the current route is then cleared, unless
  // nothing of the document is selected).
  static CObjRoute* FromSelection(const COstrelDocBase* document);

  // ---- Points ----
  const std::vector<CObjWaypoint*>& points() const { return points_; }
  // Appends the mark and adds the route to its routes.
  void LinkWaypoint(CObjWaypoint* mark);
  // Takes every occurrence of the mark out of the route (the mark stays).
  void RemoveWaypoint(CObjWaypoint* mark);
  CObjWaypoint* GetLastWaypoint() const;
  bool IsFirstWaypoint(const CObjWaypoint* mark) const;
  bool IsLastWaypoint(const CObjWaypoint* mark) const;
  // At least 3 points and the first mark repeated at the end.
  bool IsClosed() const;
  // Copies up to n (latitude, longitude) pairs; returns how many.
  int GetPoints(double* lat_lon_pairs, int n) const;

  // ---- Distances (nautical miles) ----
  // The legs from the last point backwards to the last occurrence of the mark; the whole
  // length for null (or a mark not on the route).
  double DistanceToEnd(const CObjWaypoint* mark) const;
  // From the first point along the route to the first occurrence of the mark; the whole length
  // for a mark not on the route, 0 for an empty route.
  double DistanceToWaypoint(const CObjWaypoint* mark) const;
  // From node `from` up to node `to` (the end for to < 0).
  double DistanceBetween(int from, int to) const;

  // ---- Insert mode ----
  void StartInsertAtSelected();
  // Adds the mark after the last point and ends insert mode.
  void AppendWaypoint(CObjWaypoint* mark);
  // Adds the first point again (closing the route), which ends insert mode.
  void CloseWhileEditing();
  void EndEditing();

  // ---- Editing ----
  void Reverse();
  // Route-point marks named "WP<digit>..." become "WP<route number><point number>".
  void RenumberWaypoints();
  // Appends the other route's points and deletes it. Facing ends closer than 30 m merge into
  // one mark at their mid-point.
  void Join(CObjRoute* other);
  // Splits at the last inner occurrence of the mark: the nodes after it move to a new route
  // named "<name>-split" (starting with a copy of the mark named "<mark>-split" when copy_mark
  // is set). Nothing for a locked route or mark or without an inner occurrence.
  void SplitAt(CObjWaypoint& mark, bool copy_mark);
  // SplitAt(the point at the selected leg, no copy): the selected leg disappears.
  void SplitAtSelectedPoint();
  bool CanSplitAtSelectedPoint() const;

  // ---- Measurements ----
  // The leg a position is on: its end mark (the first mark while the position lies before the
  // first leg; null for fewer than 2 points), the cross-track distance (nautical miles), the
  // side (true: left of the leg), the leg's bearing and the mark after that.
  CObjWaypoint* ComputeLegs(const CLatLon& position, double& cross_track, bool& left_side,
                            double& leg_bearing, CObjWaypoint*& next_mark) const;
  // The area of a closed route in square metres; 0 for any other.
  double GetEnclosedArea() const;
  // Climb and descent (metres, both positive) between node `from` and node `to` (the end for
  // to < 0): the sums of the rises and of the falls between terrain heights sampled at 20 per
  // kilometre (2 at least, 10000 at most). Nothing changes for a route without points.
  void GetAscentDescentBetween(double& ascent, double& descent, int from, int to);
  void GetAscentDescent(double& ascent, double& descent);
  // Spreads the records evenly over the route from node `from` to node `to` (the end for
  // to < 0) with the terrain heights (SampleEvenly); a record at the start of a leg carries the
  // leg's first mark and the last record the span's last mark. Also recomputes the length.
  // Nothing changes for a route without points.
  void SamplePositionsBetween(std::span<ProfileSample> records, int from, int to);
  void SamplePositions(std::span<ProfileSample> records);

  // ---- Conversion ----
  // A new track in the route's document with one point per route point (time 0), closed when
  // the route is; an undo step holds both; the route hides itself. Null when the document
  // keeps no object list.
  CObjTrack* ConvertToTrack();

  // ---- Fields ----
  bool leg_labels = false;
  double length = 0.0;        // nautical miles
  uint32_t colour = 0xff0000;  // 0x00BBGGRR
  uint8_t thickness = 1;      // 0..3
  uint8_t line_style = 0;     // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot
  uint8_t transparency = 0;   // 0..4
  int32_t edit_state = kInsert;
  bool button_down = false;
  CLatLon last_click;
  int32_t insert_before = 0;
  int32_t insert_after = -1;  // -1: before the first point
  int32_t selected_leg = -1;

 private:
  int IndexOf(const CObjWaypoint* mark) const;
  // Ends insert mode without notice.
  void LeaveInsertMode();
  // Enters insert mode between the two indices (unless locked).
  void EnterInsertMode(int after, int before);
  // Puts the mark at node index, links it and makes it visible; both insert indices grow by 1
  // and an insertion inside the route ends insert mode.
  void InsertAtInsertPosition(CObjWaypoint& mark);
  // The route number: the decimal digits at the end of the name, 0 without any.
  int RouteNumber() const;
  // Gives the mark one back-link to this route per occurrence left in the list; a mark left
  // with none may delete itself (delete_if_orphan) and be gone on return.
  void RelinkMark(CObjWaypoint& mark, bool delete_if_orphan);
  // Collects the route, then each point (a collected point without references gets one).
  template <class Collect>
  bool CollectWithPoints(ObjectList& list, Collect collect);

  std::vector<CObjWaypoint*> points_;
  COstrelObject* clicked_object_ = nullptr;
};
