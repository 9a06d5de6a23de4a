#include "overlays/mapped_object.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "overlays/ostrel_object.h"
#include "platform/ui/surface.h"

namespace {

// Grown buffers get this many spare points, so that a line being drawn point by point does not
// reallocate each time.
constexpr int kSparePoints = 20;
constexpr int kSpareFrom = 6;
// Half the side of the rubber band's box, and the part of a box near its right edge that
// reports hit index 1 (the object's resize handle).
constexpr int kBandBoxHalf = 5;
constexpr int kBoxRightEdge = 5;

}  // namespace

// ---- CMappedObject ----

CMappedObject::CMappedObject(CMappedView* view) : view_(view) {}

CMappedObject::~CMappedObject() { SetObject(nullptr, nullptr); }

void CMappedObject::SetObject(COstrelObject* object, COldQuickChart* chart) {
  chart_ = chart;
  if (object == object_) return;
  if (object) object->AddRef();
  COstrelObject* previous = std::exchange(object_, object);
  if (previous) previous->Release();
}

CMappedObject& CMappedObject::Insert(CMappedObjectMap& map,
                                     std::unique_ptr<CMappedObject> record) {
  return map.Insert(std::move(record));
}

CMappedObject* CMappedObject::FindForObject(const CMappedObjectMap& map,
                                            const COstrelObject* object) {
  return map.Find(object);
}

void CMappedObject::FreePoints() {
  std::vector<vd::ui::Point>().swap(buffer_);
  point_count_ = 0;
  capacity_ = 0;
}

bool CMappedObject::SetPointCount(int n) {
  if (n <= 0) {
    FreePoints();
    return n == 0;
  }
  if (capacity_ < n) {
    const int capacity = n >= kSpareFrom ? n + kSparePoints : n;
    try {
      std::vector<vd::ui::Point> fresh_buffer(2 * static_cast<size_t>(capacity));
      buffer_.swap(fresh_buffer);
    } catch (const std::bad_alloc&) {
      FreePoints();
      return false;
    }
    capacity_ = capacity;
  }
  point_count_ = n;
  return true;
}

void CMappedObject::Project() {
  const std::span<const vd::ui::Point> chart = chart_points();
  const std::span<vd::ui::Point> client = client_points();
  if (chart.empty()) {
    bounds = {};
    return;
  }
  for (size_t i = 0; i < chart.size(); ++i) {
    client[i] = view_ ? view_->ChartToClient(chart[i]) : chart[i];
  }
  vd::ui::Rect box{client[0].x, client[0].y, client[0].x, client[0].y};
  for (const vd::ui::Point& p : client) {
    box.left = std::min(box.left, p.x);
    box.top = std::min(box.top, p.y);
    box.right = std::max(box.right, p.x);
    box.bottom = std::max(box.bottom, p.y);
  }
  bounds = {box.left - margins.left, box.top - margins.top, box.right + margins.right,
            box.bottom + margins.bottom};
}

bool CMappedObject::HitTest(vd::ui::Point chart_point, int zoom_step) {
  hit_index = -1;
  if (!object_ || !object_->visible) return false;
  const double scale = view_ ? view_->ScaleFactor() : 1.0;
  return HitGeometry(chart_point, object_->ShiftByZoom(zoom_step) * scale);
}

bool CMappedObject::HitGeometry(vd::ui::Point cursor, double tolerance) {
  const std::span<const vd::ui::Point> points = chart_points();
  // Doubles: chart pixels reach millions, and their squares and cross products overflow
  // 32-bit and 64-bit integers.
  const double tolerance_sq = tolerance * tolerance;
  switch (kind) {
    case kPoints:
      for (size_t i = 0; i < points.size(); ++i) {
        const double dx = double(cursor.x) - points[i].x;
        const double dy = double(cursor.y) - points[i].y;
        if (dx * dx + dy * dy <= tolerance_sq) {
          hit_index = static_cast<int32_t>(i);
          return true;
        }
      }
      return false;
    case kPolyline:
      for (size_t i = 0; i + 1 < points.size(); ++i) {
        const double dx = double(points[i + 1].x) - points[i].x;
        const double dy = double(points[i + 1].y) - points[i].y;
        const double length_sq = dx * dx + dy * dy;
        if (length_sq < 1) continue;
        const double vx = double(cursor.x) - points[i].x;
        const double vy = double(cursor.y) - points[i].y;
        const double along = vx * dx + vy * dy;
        if (along < 0 || along > length_sq) continue;
        const double cross = vx * dy - vy * dx;
        if (cross * cross <= tolerance_sq * length_sq) {
          hit_index = static_cast<int32_t>(i);
          return true;
        }
      }
      return false;
    case kBox: {
      const vd::ui::Point p = view_ ? view_->ChartToClient(cursor) : cursor;
      if (p.x < bounds.left || p.x > bounds.right || p.y < bounds.top || p.y > bounds.bottom) {
        return false;
      }
      hit_index = p.x > bounds.right - kBoxRightEdge ? 1 : 0;
      return true;
    }
    default:
      return false;
  }
}

// ---- CMappedObjectMap ----

CMappedObjectMap::DrawKey CMappedObjectMap::KeyOf(const COstrelObject& object) {
  return {static_cast<uint8_t>(static_cast<uint32_t>(object.style) >> 24), object.serial()};
}

CMappedObject& CMappedObjectMap::Insert(std::unique_ptr<CMappedObject> record) {
  const COstrelObject* object = record->object();
  if (!object) throw std::invalid_argument("a screen record without an object has no draw key");
  Remove(object);  // an earlier record of the object goes
  const DrawKey key = KeyOf(*object);
  keys_[object] = key;
  return *(records_[key] = std::move(record));
}

CMappedObject* CMappedObjectMap::Find(const COstrelObject* object) const {
  const auto k = keys_.find(object);
  return k == keys_.end() ? nullptr : records_.at(k->second).get();
}

std::unique_ptr<CMappedObject> CMappedObjectMap::Remove(const COstrelObject* object) {
  const auto k = keys_.find(object);
  if (k == keys_.end()) return nullptr;
  const auto r = records_.find(k->second);
  std::unique_ptr<CMappedObject> record = std::move(r->second);
  records_.erase(r);
  keys_.erase(k);
  return record;
}

void CMappedObjectMap::Rekey(const COstrelObject* object) {
  std::unique_ptr<CMappedObject> record = Remove(object);
  if (record) Insert(std::move(record));
}

void CMappedObjectMap::Clear() {
  keys_.clear();
  records_.clear();
}

void ReprojectAllMappedObjects(CMappedObjectMap& map) {
  for (const auto& [key, record] : map) record->Project();
  if (!map.empty() && map.view()) map.view()->SetPositionMarker(0, 0);
}

// ---- CRubberBand ----

void CRubberBand::Reset() {
  anchor_count_ = 0;
  label.clear();
  active = false;
}

void CRubberBand::SetAnchorCount(int n) {
  n = std::max(n, 0);
  if (capacity() < n) anchors_.assign(static_cast<size_t>(n), vd::ui::Point{});
  anchor_count_ = n;
  box_mode = false;
}

vd::ui::Point CRubberBand::ToClient(vd::ui::Point chart) const {
  return view_ ? view_->ChartToClient(chart) : chart;
}

void CRubberBand::Draw(vd::ui::Surface& dc, vd::ui::Point cursor_chart) const {
  if (anchor_count_ == 0) return;
  const vd::ui::Point cursor = ToClient(cursor_chart);
  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 0, 0});
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Null());
  const vd::ui::RasterOp old_op = dc.SetRasterOp(vd::ui::RasterOp::Invert);
  if (box_mode) {
    dc.Rectangle({cursor.x - kBandBoxHalf, cursor.y - kBandBoxHalf, cursor.x + kBandBoxHalf,
                  cursor.y + kBandBoxHalf});
  } else {
    for (const vd::ui::Point& anchor : anchors()) {
      dc.MoveTo(cursor);
      dc.LineTo(ToClient(anchor));
    }
  }
  dc.SetRasterOp(old_op);
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
}

vd::ui::Rect CRubberBand::Extent(vd::ui::Point cursor_chart) const {
  if (anchor_count_ == 0) return {};
  const vd::ui::Point cursor = ToClient(cursor_chart);
  if (box_mode) {
    return {cursor.x - kBandBoxHalf, cursor.y - kBandBoxHalf, cursor.x + kBandBoxHalf,
            cursor.y + kBandBoxHalf};
  }
  vd::ui::Rect box{cursor.x, cursor.y, cursor.x + 1, cursor.y + 1};
  for (const vd::ui::Point& anchor : anchors()) {
    const vd::ui::Point p = ToClient(anchor);
    box.left = std::min(box.left, p.x);
    box.top = std::min(box.top, p.y);
    box.right = std::max(box.right, p.x + 1);
    box.bottom = std::max(box.bottom, p.y + 1);
  }
  return box;
}
