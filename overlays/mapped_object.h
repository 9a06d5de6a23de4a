#pragma once
// The screen side of overlay objects in a chart view.
//
// Every chart view keeps one CMappedObject per overlay object of its document: the object's
// points in chart pixels and in client pixels, their bounding box and the result of the last
// hit test. The object fills its record in PrepareView and draws from it. The records live in
// the view's CMappedObjectMap, which keeps them in draw order: by the object's drawing layer
// (the high byte of its style: routes 0x14, tracks 0x1e, text notes 0x32, marks 0x3c), then by
// the object's creation serial, so that within a layer older objects lie underneath.
//
// CRubberBand is the view's drag feedback: lines from the cursor to anchor points, or a small
// box around the cursor, which the object being placed or dragged sets up in PrepareView.
//
// User-interface thread only.
#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/geometry.h"

class COldQuickChart;
class COstrelObject;

namespace vd::ui {
class Surface;
}

// What the screen records ask of their chart view (the chart view implements it).
class CMappedView {
 public:
  // A chart pixel's client position at the view's current zoom and origin (or render
  // transform).
  virtual vd::ui::Point ChartToClient(vd::ui::Point chart) const = 0;
  // The view's drawing scale (the screen's DPI factor; 1 while printing): hit tolerances are
  // multiplied by it.
  virtual float ScaleFactor() const = 0;
  // Moves the view's position marker; (0, 0) hides it.
  virtual void SetPositionMarker(double lat, double lon) = 0;

 protected:
  ~CMappedView() = default;
};

class CMappedObjectMap;

class CMappedObject {
 public:
  enum Kind : int32_t {
    kNone = 0,      // hits nothing
    kPoints = 1,    // separate points
    kPolyline = 3,  // a chain of segments
    kBox = 4,       // the bounds
  };

  // No object, no points, kind 0, empty bounds and margins.
  explicit CMappedObject(CMappedView* view);
  // Releases the object's reference.
  ~CMappedObject();
  CMappedObject(const CMappedObject&) = delete;
  CMappedObject& operator=(const CMappedObject&) = delete;

  // The object shown and the chart it was prepared for. The record holds a reference on the
  // object (taken here, dropped when the object changes or the record is destroyed), so the
  // view takes none of its own.
  void SetObject(COstrelObject* object, COldQuickChart* chart);

  // Enters the record in the view's map under its object's draw key and returns it.
  static CMappedObject& Insert(CMappedObjectMap& map, std::unique_ptr<CMappedObject> record);
  // The view's record of the object; null when the view has none.
  static CMappedObject* FindForObject(const CMappedObjectMap& map, const COstrelObject* object);

  // Room for n points in chart and client coordinates. The buffer is replaced (zeroed) only
  // when it holds fewer than n points, and is then made for n + 20 points when n >= 6 so that
  // a growing line does not reallocate at every point. n = 0 frees it. False, and the record
  // left without points, when n is negative or the memory can't be had.
  bool SetPointCount(int n);
  // Client points from chart points through the view; bounds = their bounding box grown by the
  // margins, or (0, 0, 0, 0) without points.
  void Project();

  // The generic hit test at a chart point: -1 in hit_index first; an invisible object or a
  // record without object is never hit. The tolerance in chart pixels is the object's
  // ShiftByZoom(zoom_step) times the view's scale factor.
  // - kPoints: the first point within the tolerance; hit_index is that point.
  // - kPolyline: the first segment (of length 1 or more) whose perpendicular distance is
  //   within the tolerance and onto which the point projects; hit_index is its first point.
  // - kBox: the point in client pixels lies inside the bounds, edges included; hit_index is 1
  //   within 5 pixels of the right edge, else 0.
  bool HitTest(vd::ui::Point chart_point, int zoom_step);

  std::span<vd::ui::Point> chart_points() { return {buffer_.data(), Count()}; }
  std::span<const vd::ui::Point> chart_points() const { return {buffer_.data(), Count()}; }
  std::span<vd::ui::Point> client_points() { return {buffer_.data() + Count(), Count()}; }
  std::span<const vd::ui::Point> client_points() const {
    return {buffer_.data() + Count(), Count()};
  }
  int32_t point_count() const { return point_count_; }
  int32_t capacity() const { return capacity_; }

  COstrelObject* object() const { return object_; }
  COldQuickChart* chart() const { return chart_; }
  CMappedView* view() const { return view_; }

  int32_t kind = kNone;
  int32_t hit_index = -1;
  // Client pixels; right and bottom are the last column and row covered (a view that
  // invalidates the area adds one).
  vd::ui::Rect bounds;
  // left/top are taken from and right/bottom added to the points' box.
  vd::ui::Rect margins;
  // Set after a move (change code 5) so that the change code 2 that follows does not prepare
  // the record again.
  bool fresh = false;

 private:
  size_t Count() const { return static_cast<size_t>(point_count_); }
  void FreePoints();
  bool HitGeometry(vd::ui::Point chart_point, double tolerance);

  COstrelObject* object_ = nullptr;
  COldQuickChart* chart_ = nullptr;
  CMappedView* view_;
  // Chart points, then as many client points; 2 x capacity_ entries.
  std::vector<vd::ui::Point> buffer_;
  int32_t point_count_ = 0;
  int32_t capacity_ = 0;
};

// A view's records in draw order, owned, with look-up by object.
class CMappedObjectMap {
 public:
  // Draw order: layer (high byte of the style), then the object's creation serial.
  struct DrawKey {
    uint8_t layer = 0;
    uint64_t serial = 0;
    friend auto operator<=>(const DrawKey&, const DrawKey&) = default;
  };
  static DrawKey KeyOf(const COstrelObject& object);

  using Records = std::map<DrawKey, std::unique_ptr<CMappedObject>>;

  explicit CMappedObjectMap(CMappedView* view) : view_(view) {}
  CMappedObjectMap(const CMappedObjectMap&) = delete;
  CMappedObjectMap& operator=(const CMappedObjectMap&) = delete;

  // Enters a record under its object's current key; a record the map holds already for the
  // object is destroyed first. A record without an object throws std::invalid_argument.
  CMappedObject& Insert(std::unique_ptr<CMappedObject> record);
  CMappedObject* Find(const COstrelObject* object) const;
  // Takes the object's record out of the map (null when there is none).
  std::unique_ptr<CMappedObject> Remove(const COstrelObject* object);
  // Moves the object's record to its object's current key (after a change of layer).
  void Rekey(const COstrelObject* object);
  void Clear();

  bool empty() const { return records_.empty(); }
  size_t size() const { return records_.size(); }
  // Draw order; walk in reverse for the topmost object first.
  Records::const_iterator begin() const { return records_.begin(); }
  Records::const_iterator end() const { return records_.end(); }
  Records::const_reverse_iterator rbegin() const { return records_.rbegin(); }
  Records::const_reverse_iterator rend() const { return records_.rend(); }

  CMappedView* view() const { return view_; }

 private:
  CMappedView* view_;
  Records records_;
  std::unordered_map<const COstrelObject*, DrawKey> keys_;
};

// Projects every record in draw order; when there was any, the view's position marker is
// hidden.
void ReprojectAllMappedObjects(CMappedObjectMap& map);

class CRubberBand {
 public:
  CRubberBand() = default;
  explicit CRubberBand(CMappedView* view) : view_(view) {}

  // No anchors, no label, inactive; the anchor buffer stays for reuse.
  void Reset();
  // n anchors (the buffer is replaced by n zeroed points when it is too small); box mode off.
  void SetAnchorCount(int n);

  // Draws the feedback for the cursor (chart pixels) in the raster operation that inverts what
  // lies below, with a black hairline: in box mode a 10-pixel square round the cursor, else a
  // line from the cursor to every anchor. Nothing without anchors. The surface's pen, brush
  // and raster operation are put back.
  //
  // Inverting twice restores the pixels, but a view that paints from its own back buffer
  // should not rely on that: it invalidates Extent() of the old and of the new cursor and
  // draws the band once at the end of each paint.
  void Draw(vd::ui::Surface& dc, vd::ui::Point cursor_chart) const;
  // The client rectangle Draw covers for that cursor (right and bottom exclusive); empty
  // without anchors.
  vd::ui::Rect Extent(vd::ui::Point cursor_chart) const;

  std::span<vd::ui::Point> anchors() { return {anchors_.data(), static_cast<size_t>(anchor_count_)}; }
  std::span<const vd::ui::Point> anchors() const {
    return {anchors_.data(), static_cast<size_t>(anchor_count_)};
  }
  int32_t anchor_count() const { return anchor_count_; }
  int32_t capacity() const { return static_cast<int32_t>(anchors_.size()); }
  CMappedView* view() const { return view_; }
  void set_view(CMappedView* view) { view_ = view; }

  bool box_mode = false;
  std::string label;  // the feedback text while an object is placed or dragged
  bool active = false;

 private:
  vd::ui::Point ToClient(vd::ui::Point chart) const;

  CMappedView* view_ = nullptr;
  std::vector<vd::ui::Point> anchors_;  // chart pixels; its size is the capacity
  int32_t anchor_count_ = 0;
};
