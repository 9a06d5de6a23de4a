#include "overlays/obj_route.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_set>

#include "charts/old_quick_chart.h"
#include "app/app_common.h"
#include "core/persistent_value.h"
#include "core/text_tokenizer.h"
#include "core/url_utils.h"
#include "geodesy/degree_length.h"
#include "geodesy/plane_geometry.h"
#include "overlays/category.h"
#include "overlays/make_in_document.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_waypoint.h"
#include "overlays/object_list.h"
#include "overlays/overlay_archive.h"
#include "overlays/undo_ring.h"
#include "platform/os/clock.h"
#include "platform/os/numbers.h"
#include "platform/ui/graphics.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"

const OverlayClass CObjRoute::kClass("CObjRoute", kOverlaySchema, &COstrelObject::kClass,
                                     &CreateArchiveObject<CObjRoute>);

namespace {

constexpr int32_t kRouteLayerStyle = 0x14000000;
constexpr int kRouteLegPopupMenu = 159;
// A route with more points than this shows its marks only while it is the current route.
constexpr size_t kMaxPointsAlwaysShown = 50;
// Facing ends of joined routes closer than this merge into one mark.
constexpr double kJoinMergeMetres = 30.0;
constexpr double kMetresPerNm = 1852.0;
constexpr double kDegreesPerRadian = 57.29577950560105;
constexpr uint32_t kLegLabelColour = 0x960096;

CObjRoute* AsRoute(WaypointRouteLink* link) {
  return link ? dynamic_cast<CObjRoute*>(&link->RouteObject()) : nullptr;
}

double LegLength(const CObjWaypoint* a, const CObjWaypoint* b) {
  return a->position.DistanceTo(b->position);
}

// Marks in order of first occurrence. Long routes (a converted track) ask a set rather than
// search what they have so far, which would cost the square of their points.
std::vector<CObjWaypoint*> Distinct(const std::vector<CObjWaypoint*>& points) {
  std::vector<CObjWaypoint*> out;
  out.reserve(points.size());
  constexpr size_t kSearched = 32;
  if (points.size() <= kSearched) {
    for (CObjWaypoint* p : points) {
      if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    }
    return out;
  }
  std::unordered_set<const CObjWaypoint*> seen;
  seen.reserve(points.size());
  for (CObjWaypoint* p : points) {
    if (seen.insert(p).second) out.push_back(p);
  }
  return out;
}

int SettingOr(const vd::os::ProfileStore& profile, const char* name, int default_value) {
  return profile.GetInt(vd::kSettingsSection, name).value_or(default_value);
}

std::string RangeBearingText(const CLatLon& from, const CLatLon& to) {
  double distance = 0, bearing = 0;
  from.DistanceAndBearingTo(to, distance, bearing);
  CAppCommon* app = CAppCommon::Instance();
  return app ? app->FormatRangeBearing(distance, bearing) : vd::os::FormatC("%.3f %03.0f", distance, bearing);
}

std::string DistanceText(double nm) {
  CAppCommon* app = CAppCommon::Instance();
  return app ? app->FormatDistance(nm) : vd::os::FormatC("%.3f", nm);
}

// Tagged text fields are quoted; a quote inside is doubled.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// Half away from zero, as the arrowhead rule wants.
int RoundHalfAway(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

CObjRoute::CObjRoute() {
  name = "Route";
  SetCategory("Route");
  style = kRouteLayerStyle;
  context_menu_id = kRouteLegPopupMenu;
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  colour = static_cast<uint32_t>(SettingOr(profile, "route_color", 0xff0000));
  thickness = static_cast<uint8_t>(SettingOr(profile, "route_thickness", 1));
  line_style = static_cast<uint8_t>(SettingOr(profile, "route_style", 0));
  transparency = static_cast<uint8_t>(SettingOr(profile, "route_trans", 0));
  NotifyChange(kChangeAdded);
}

CObjRoute::~CObjRoute() {
  const bool was_locked = locked;
  locked = false;
  edit_state = kDestroying;
  if (Current() == this) SetCurrent(nullptr);
  const std::vector<CObjWaypoint*> marks = Distinct(points_);
  points_.clear();
  for (CObjWaypoint* mark : marks) {
    if (was_locked) mark->SetLocked(false);  // recounts the locked routes still holding it
    mark->RemoveRouteLink(this, true);
  }
}

const OverlayClass& CObjRoute::GetRuntimeClass() const { return kClass; }

void CObjRoute::Serialize(COverlayArchive& archive) {
  COstrelObject::Serialize(archive);
  if (archive.IsStoring()) {
    archive.WriteBool(leg_labels);
    archive.WriteCount(static_cast<uint32_t>(points_.size()));
    for (const CObjWaypoint* mark : points_) archive.WriteObject(mark);
    archive.WriteInt32(static_cast<int32_t>(colour));
    archive.WriteByte(thickness);
    archive.WriteByte(line_style);
    archive.WriteByte(transparency);
    return;
  }
  leg_labels = archive.ReadBool();
  const uint32_t count = archive.ReadCount(2);  // a reference takes at least 2 bytes
  points_.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (CObjWaypoint* mark = archive.ReadObject<CObjWaypoint>()) points_.push_back(mark);
  }
  // The marks get their back-links from this list once the whole load is read (LinkAfterLoad).
  if (archive.GetObjectSchema() >= 18) {
    colour = static_cast<uint32_t>(archive.ReadInt32());
    thickness = archive.ReadByte();
    line_style = archive.ReadByte();
    transparency = archive.ReadByte();
  }
  RecomputeLength();
  SetVisible(visible);
  LeaveInsertMode();
}

void CObjRoute::LinkAfterLoad() {
  for (CObjWaypoint* mark : points_) mark->AddRouteLink(this);
  if (locked) {
    for (CObjWaypoint* mark : Distinct(points_)) mark->SetLocked(false);  // recounts its locks
  }
}

void CObjRoute::UnlinkAfterLoad() { points_.clear(); }

void CObjRoute::SetVisible(bool value) {
  COstrelObject::SetVisible(value);
  const bool marks_visible =
      value && (points_.size() <= kMaxPointsAlwaysShown || Current() == this);
  // A route point's visibility belongs to its routes: the field is set, not SetVisible.
  for (CObjWaypoint* mark : points_) mark->visible = marks_visible;
}

bool CObjRoute::GetBounds(double& min_lat, double& max_lat, double& min_lon,
                          double& max_lon) const {
  min_lat = max_lat = min_lon = max_lon = 0;
  if (points_.empty()) return false;
  min_lat = max_lat = points_[0]->position.lat;
  min_lon = max_lon = points_[0]->position.lon;
  for (const CObjWaypoint* mark : points_) {
    min_lat = std::min(min_lat, mark->position.lat);
    max_lat = std::max(max_lat, mark->position.lat);
    min_lon = std::min(min_lon, mark->position.lon);
    max_lon = std::max(max_lon, mark->position.lon);
  }
  return true;
}

template <class Collect>
bool CObjRoute::CollectWithPoints(ObjectList& list, Collect collect) {
  if (!COstrelObject::CollectForExport(list)) return false;
  for (CObjWaypoint* mark : points_) {
    if (collect(*mark) && mark->ref_count() == 0) mark->AddRef();
  }
  return true;
}

bool CObjRoute::CollectForExport(ObjectList& list) {
  return CollectWithPoints(list, [&](CObjWaypoint& m) { return m.CollectForExport(list); });
}

bool CObjRoute::CollectForUndo(ObjectList& list) {
  return CollectWithPoints(list, [&](CObjWaypoint& m) { return m.CollectForUndo(list); });
}

void CObjRoute::Select(bool notify) {
  COstrelObject::Select(notify);
  SetCurrent(this);
  SetVisible(visible);
}

void CObjRoute::Deselect() {
  if (edit_state == kInsert) {
    LeaveInsertMode();
    NotifyChange(kChangeModified);
  }
  COstrelObject::Deselect();
  if (Current() == this) SetCurrent(nullptr);
  SetVisible(visible);
}

bool CObjRoute::IsSameObject(const COstrelObject& other) const {
  if (!COstrelObject::IsSameObject(other)) return false;
  if (id() != 0 && id() == other.id()) return true;
  const auto& theirs = static_cast<const CObjRoute&>(other).points_;
  if (theirs.size() != points_.size()) return false;
  if (points_.empty()) return true;
  return points_.front()->IsSameObject(*theirs.front()) &&
         points_.back()->IsSameObject(*theirs.back());
}

int CObjRoute::Delete(bool ask) { return COstrelObject::Delete(ask && points_.size() > 2); }

void CObjRoute::SetLocked(bool value) {
  if (value == locked) return;
  COstrelObject::SetLocked(value);
  // Each mark counts the locked routes holding it and stays locked while there is one.
  for (CObjWaypoint* mark : Distinct(points_)) mark->SetLocked(false);
}

bool CObjRoute::WriteText(std::string& out) {
  if (points_.empty()) return true;
  ObjectList written;
  for (CObjWaypoint* mark : Distinct(points_)) {
    MakeUniqueObjectName(*mark, written, 20, "-+", true);
    written.push_back(mark);
    mark->WriteText(out);
  }
  out += vd::os::FormatC("RT01,%s,%s,%d,%d,%d,%d\n", Quoted(EncodeNameLineBreaks(name)).c_str(),
                         Quoted(CCategory::GetNameOr(category())).c_str(), visible ? 1 : 0,
                         locked ? 1 : 0, static_cast<int>(points_.size()), leg_labels ? 1 : 0);
  for (const CObjWaypoint* mark : points_) out += "RP01," + mark->short_name + "\n";
  return true;
}

bool CObjRoute::ReadText(std::string_view line) {
  const ObjectList* list = document() ? document()->GetObjectList() : nullptr;
  return ReadTextFrom(line, nullptr, list);
}

bool CObjRoute::ReadTextFrom(std::string_view line, const ObjectList* import_marks,
                             const ObjectList* document_marks) {
  LeaveInsertMode();
  if (line.size() < 2) return true;
  TextTokenizer tokens(line);
  tokens.NextToken();  // the tag
  if (line[1] == 'T') {
    if (auto text = tokens.NextToken()) name = DecodeNameLineBreaks(*text);
    if (auto text = tokens.NextToken()) SetCategory(*text);
    visible = tokens.NextTokenInt(1) != 0;
    locked = tokens.NextTokenInt(0) != 0;
    tokens.NextToken();  // the point count follows from the RP01 lines
    leg_labels = tokens.NextTokenInt(0) != 0;
  } else if (line[1] == 'P') {
    // False when the point names no mark: the file's reader reports the line.
    const std::optional<std::string> short_name_text = tokens.NextToken();
    if (!short_name_text) return false;
    // The marks of this import first: the document may hold older marks of the same name.
    for (const ObjectList* list : {import_marks, document_marks}) {
      if (!list) continue;
      for (COstrelObject* object : *list) {
        if (object->IsKindOf(CObjWaypoint::kClass) && object->short_name == *short_name_text) {
          LinkWaypoint(static_cast<CObjWaypoint*>(object));
          return true;
        }
      }
    }
    return false;
  }
  return true;
}

void CObjRoute::PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) {
  std::vector<vd::ui::Point> pixels;
  pixels.reserve(points_.size());
  for (const CObjWaypoint* mark : points_) {
    ScreenPoint p;
    if (!chart || !chart->LatLonToPixel(mark->position.lat, mark->position.lon, p)) {
      pixels.clear();
      break;
    }
    pixels.push_back({p.x, p.y});
  }
  mapped.kind = CMappedObject::kPolyline;
  if (mapped.SetPointCount(static_cast<int>(pixels.size()))) {
    std::copy(pixels.begin(), pixels.end(), mapped.chart_points().begin());
  }
  if (IsSelected()) {
    RecomputeLength();
    band.Reset();
    if (edit_state == kInsert) {
      std::vector<vd::ui::Point> anchors;
      for (int index : {insert_after, insert_before}) {
        if (index >= 0 && index < static_cast<int>(pixels.size())) anchors.push_back(pixels[index]);
      }
      band.SetAnchorCount(static_cast<int>(anchors.size()));
      std::copy(anchors.begin(), anchors.end(), band.anchors().begin());
      band.active = true;
      band.label = vd::os::FormatC("Click to add new waypoint: Total distance %s.",
                                   DistanceText(length).c_str());
    } else {
      band.label = vd::os::FormatC("Route \"%s\": Total distance %s", name.c_str(),
                                   DistanceText(length).c_str());
    }
  }
  mapped.margins = {4, 4, 4, 4};
  mapped.Project();
  if (leg_labels) mapped.bounds.right += 100;
}

void CObjRoute::Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
                     bool quick_draw) {
  const std::span<const vd::ui::Point> pts = mapped.client_points();
  if (pts.empty()) return;
  const float scale = mapped.view() ? mapped.view()->ScaleFactor() : 1.0f;
  static constexpr int kWidthOfThickness[] = {1, 2, 4, 10};
  const int base_width = thickness < 4 ? kWidthOfThickness[thickness] : 2;
  int w = static_cast<int>(scale * static_cast<float>(base_width));
  if (mapped.bounds.Width() + mapped.bounds.Height() > 1000000) w = 0;
  const vd::ui::Pen route_pen{vd::ui::LineStyle::Solid, w, colour};
  const vd::ui::Pen old_pen = dc.SelectPen(route_pen);
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Null());

  if (quick_draw && !IsSelected()) {
    dc.Polyline(pts);
  } else if (w != 0 && (transparency != 0 || line_style != 0)) {
    static constexpr uint8_t kAlphaOfTransparency[] = {255, 192, 128, 64, 32};
    vd::ui::GraphicsPen pen;
    pen.colour = vd::ui::ArgbFromColourRef(
        colour, transparency < 5 ? kAlphaOfTransparency[transparency] : 255);
    pen.width = static_cast<float>(w);
    pen.dash = line_style <= 4 ? static_cast<vd::ui::LineStyle>(line_style)
                               : vd::ui::LineStyle::Solid;
    pen.join = vd::ui::LineJoin::Round;
    pen.start_cap = pen.end_cap = vd::ui::LineCap::Round;
    std::vector<vd::ui::PointF> fpts;
    fpts.reserve(pts.size());
    for (const vd::ui::Point& p : pts) fpts.push_back({float(p.x), float(p.y)});
    graphics.DrawLines(pen, fpts);
  } else {
    dc.SelectPen({vd::ui::LineStyle::Solid, w + 2, IsSelected() ? 0x000000u : 0xFFFFFFu});
    dc.Polyline(pts);
    dc.SelectPen(route_pen);
    dc.Polyline(pts);
    const vd::ui::BackgroundMode old_mode = dc.SetBackgroundMode(vd::ui::BackgroundMode::Opaque);
    const vd::ui::ColourRef old_text = dc.SetTextColour(kLegLabelColour);
    for (size_t i = 1; i < pts.size() && i < points_.size(); ++i) {
      const double dx = pts[i].x - pts[i - 1].x;
      const double dy = pts[i].y - pts[i - 1].y;
      const double len = std::hypot(dx, dy);
      if (len <= 15.0 * scale) continue;
      const int mx = (pts[i].x + pts[i - 1].x) / 2;
      const int my = (pts[i].y + pts[i - 1].y) / 2;
      const int d = RoundHalfAway((dy + dx) * 5 / len);
      const int e = RoundHalfAway((dx - dy) * 5 / len);
      const vd::ui::Point arrow[] = {{mx - d, my + e}, {mx, my}, {mx - e, my - d}};
      dc.Polyline(arrow);
      if (leg_labels && len > 50) {
        dc.TextOut({mx + 3, my + 2},
                   RangeBearingText(points_[i - 1]->position, points_[i]->position));
      }
    }
    dc.SetTextColour(old_text);
    dc.SetBackgroundMode(old_mode);
  }
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
}

bool CObjRoute::HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step) {
  if (!COstrelObject::HitTest(chart_point, mapped, zoom_step)) return false;
  selected_leg = mapped.hit_index;
  return true;
}

bool CObjRoute::OnLButtonDown(const CLatLon& point, CMappedObject* hit) {
  clicked_object_ = this;
  if (edit_state == kInsert && hit && hit->object()) clicked_object_ = hit->object();
  if (clicked_object_ != this && clicked_object_->IsKindOf(CObjWaypoint::kClass)) {
    clicked_object_->OnLButtonDown(point, hit);
  }
  button_down = true;
  last_click = point;
  if (CAppCommon* app = CAppCommon::Instance()) {
    app->UpdateMagneticVariation(point.lat, point.lon, vd::os::NowSeconds1970());
  }
  CObjRoute* const previous = Current();
  if (edit_state == kInsert) {
    SetCurrent(this);
  } else {
    Select(true);
  }
  if (Current() != previous) NotifyChange(kChangeEditState);
  return true;
}

bool CObjRoute::OnLButtonUp(const CLatLon& point) {
  const bool was_down = button_down;
  button_down = false;
  if (!was_down || locked || edit_state != kInsert) return true;
  if (clicked_object_ && clicked_object_ != this &&
      clicked_object_->IsKindOf(CObjWaypoint::kClass)) {
    clicked_object_->OnLButtonUp(point);  // the mark inserts itself
    return true;
  }
  if (!document() || !document()->GetObjectList()) return true;
  // The step holds the route as it was; the new mark carries the step's number from its
  // making, so that undoing the step takes it away instead of bringing back a blank mark.
  SaveUndoForObject(*this);
  CObjWaypoint* mark = MakeInDocument<CObjWaypoint>(document());
  if (!mark) return true;
  mark->SetCategory("Waypoints");
  CAppCommon* app = CAppCommon::Instance();
  mark->colour = app ? static_cast<uint32_t>(app->default_route_point_colour) : 0xff0000;
  mark->SetSymbol(app ? app->default_route_point_symbol : 0);
  mark->position = point;
  mark->being_placed = false;
  InsertAtInsertPosition(*mark);
  mark->name = vd::os::FormatC("WP%02d%02d", RouteNumber(), static_cast<int>(points_.size()));
  mark->short_name = mark->name;
  Select(false);
  for (COstrelObject* object : {static_cast<COstrelObject*>(this), static_cast<COstrelObject*>(mark)}) {
    object->NotifyChange(kChangeMoved);
    object->NotifyChange(kChangeModified);
  }
  return true;
}

bool CObjRoute::OnDoubleClick(const CLatLon& point) {
  if (edit_state != kInsert) return COstrelObject::OnDoubleClick(point);
  if (locked) return false;
  LeaveInsertMode();
  NotifyChange(kChangeEditState);
  return true;
}

bool CObjRoute::OnContextMenu(COstrelViewBase* view, const vd::ui::Point& client_point) {
  if (edit_state == kInsert) return false;
  return COstrelObject::OnContextMenu(view, client_point);
}

bool CObjRoute::OnKeyDown(int key) {
  if (locked) return false;
  switch (key) {
    case vd::ui::kVkBack:
    case vd::ui::kVkDelete: {
      if (edit_state != kInsert) {
        Delete(true);
        return true;
      }
      // Insert mode before the first point: there is no point before the insert position.
      if (insert_after < 0 || insert_after >= static_cast<int>(points_.size())) return true;
      CObjWaypoint* mark = points_[insert_after];
      points_.erase(points_.begin() + insert_after);
      --insert_after;
      --insert_before;
      RelinkMark(*mark, true);
      Select(false);
      if (points_.empty()) {
        LeaveInsertMode();
        Delete(false);  // this route may be gone now
        return true;
      }
      NotifyChange(kChangeModified);
      return true;
    }
    case vd::ui::kVkReturn:
    case vd::ui::kVkEscape:
      LeaveInsertMode();
      NotifyChange(kChangeModified);
      return true;
    case vd::ui::kVkInsert:
      StartInsertAtSelected();
      return true;
    default:
      return false;
  }
}

bool CObjRoute::GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit) {
  std::string position;
  FormatPositionText(cursor.lat, cursor.lon, position);
  const int count = static_cast<int>(points_.size());
  if (edit_state == kInsert) {
    if (count == 0) {
      text = "Click to place starting waypoint\nDouble-click to end route\n" + position;
    } else if (insert_after >= 0 && insert_before < count && insert_after + 1 < count) {
      const CLatLon& a = points_[insert_after]->position;
      const CLatLon& b = points_[insert_after + 1]->position;
      const double total = length + a.DistanceTo(cursor) + cursor.DistanceTo(b) - a.DistanceTo(b);
      text = vd::os::FormatC("Leg to here: %s\nLeg from here: %s\nTotal distance: %s\n%s",
                             RangeBearingText(a, cursor).c_str(), RangeBearingText(cursor, b).c_str(),
                             DistanceText(total).c_str(), position.c_str());
    } else {
      const bool before_first = insert_after < 0;
      const CLatLon& from = before_first ? cursor : points_.back()->position;
      const CLatLon& to = before_first ? points_.front()->position : cursor;
      text = vd::os::FormatC("This leg: %s\nTotal distance: %s\n%s", RangeBearingText(from, to).c_str(),
                             DistanceText(length + from.DistanceTo(to)).c_str(), position.c_str());
    }
    return true;
  }
  if (!hit || hit->hit_index < 0 || hit->hit_index + 1 >= count) return false;
  const int leg = hit->hit_index;
  text = vd::os::FormatC("%s\nLeg %d: %s\nTotal distance: %s", name.c_str(), leg + 1,
                         RangeBearingText(points_[leg]->position, points_[leg + 1]->position).c_str(),
                         DistanceText(length).c_str());
  return true;
}

// ---- Operations marks call ----

void CObjRoute::DropDeletedWaypoint(CObjWaypoint& mark) {
  if (edit_state == kDestroying) return;
  LeaveInsertMode();
  const size_t before = points_.size();
  std::erase(points_, &mark);
  if (points_.size() == before) return;
  RecomputeLength();
  if (points_.size() > 1) {
    NotifyChange(kChangeModified);
  } else {
    Delete(false);
  }
}

int CObjRoute::CountNeighbours(const CObjWaypoint& mark) const {
  if (edit_state == kInsert) return 0;
  int n = 0;
  for (size_t i = 0; i < points_.size(); ++i) {
    if (points_[i] != &mark) continue;
    n += (i > 0) + (i + 1 < points_.size());
  }
  return n;
}

int CObjRoute::FillNeighbourAnchors(const CObjWaypoint& mark, COldQuickChart* chart,
                                    std::span<vd::ui::Point> anchors) const {
  if (edit_state == kInsert || !chart) return 0;
  size_t written = 0;
  auto put = [&](const CObjWaypoint* neighbour) {
    ScreenPoint p;
    if (written < anchors.size() &&
        chart->LatLonToPixel(neighbour->position.lat, neighbour->position.lon, p)) {
      anchors[written++] = {p.x, p.y};
    }
  };
  for (size_t i = 0; i < points_.size(); ++i) {
    if (points_[i] != &mark) continue;
    if (i > 0) put(points_[i - 1]);
    if (i + 1 < points_.size()) put(points_[i + 1]);
  }
  return static_cast<int>(written);
}

bool CObjRoute::InsertWaypointWhileEditing(CObjWaypoint& mark) {
  if (edit_state != kInsert) return false;
  const int count = static_cast<int>(points_.size());
  auto at = [&](int index) { return index >= 0 && index < count && points_[index] == &mark; };
  if (count > 0 && (at(insert_before) || at(insert_after))) {
    LeaveInsertMode();
    NotifyChange(kChangeEditState);
    return false;
  }
  const bool closing = count > 0 && points_.front() == &mark;
  InsertAtInsertPosition(mark);
  if (closing) LeaveInsertMode();
  Select(false);
  NotifyChange(kChangeModified);
  return true;
}

void CObjRoute::StartInsertAfter(CObjWaypoint& mark) {
  const int index = IndexOf(&mark);
  EnterInsertMode(index, index + 1);
}

void CObjRoute::StartInsertBefore(CObjWaypoint& mark) {
  const int index = IndexOf(&mark);
  EnterInsertMode(index - 1, index);
}

bool CObjRoute::HasInnerOccurrence(const CObjWaypoint& mark) const {
  for (size_t i = 1; i + 1 < points_.size(); ++i) {
    if (points_[i] == &mark) return true;
  }
  return false;
}

void CObjRoute::GetNeighboursOfFirst(const CObjWaypoint& mark, const CObjWaypoint*& before,
                                     const CObjWaypoint*& after) const {
  before = after = nullptr;
  const int index = IndexOf(&mark);
  if (index < 0) return;
  if (index > 0) before = points_[index - 1];
  if (index + 1 < static_cast<int>(points_.size())) after = points_[index + 1];
}

void CObjRoute::RecomputeLength() { length = DistanceToEnd(nullptr); }

// ---- Current route ----

CObjRoute* CObjRoute::Current() { return AsRoute(CurrentWaypointRoute()); }

void CObjRoute::SetCurrent(CObjRoute* route) { SetCurrentWaypointRoute(route); }

CObjRoute* CObjRoute::FromSelection(const COstrelDocBase* document) {
  COstrelObject* selected = GetSelected(document);
  if (!selected) return nullptr;
  CObjRoute* candidate =
      selected->IsKindOf(kClass) ? static_cast<CObjRoute*>(selected) : Current();
  if (candidate && (candidate == selected ||
                    std::find(candidate->points_.begin(), candidate->points_.end(), selected) !=
                        candidate->points_.end())) {
    SetCurrent(candidate);
    return candidate;
  }
  SetCurrent(nullptr);
  return nullptr;
}

// ---- Points ----

void CObjRoute::LinkWaypoint(CObjWaypoint* mark) {
  points_.push_back(mark);
  mark->AddRouteLink(this);
}

void CObjRoute::RemoveWaypoint(CObjWaypoint* mark) {
  mark->RemoveRouteLink(this, false);
  std::erase(points_, mark);
  RecomputeLength();
  NotifyChange(kChangeModified);
}

CObjWaypoint* CObjRoute::GetLastWaypoint() const {
  return points_.empty() ? nullptr : points_.back();
}

bool CObjRoute::IsFirstWaypoint(const CObjWaypoint* mark) const {
  return !points_.empty() && points_.front() == mark;
}

bool CObjRoute::IsLastWaypoint(const CObjWaypoint* mark) const {
  return !points_.empty() && points_.back() == mark;
}

bool CObjRoute::IsClosed() const { return points_.size() >= 3 && points_.front() == points_.back(); }

int CObjRoute::GetPoints(double* lat_lon_pairs, int n) const {
  const int count = std::min(n, static_cast<int>(points_.size()));
  for (int i = 0; i < count; ++i) {
    lat_lon_pairs[2 * i] = points_[i]->position.lat;
    lat_lon_pairs[2 * i + 1] = points_[i]->position.lon;
  }
  return std::max(count, 0);
}

// ---- Distances ----

double CObjRoute::DistanceToEnd(const CObjWaypoint* mark) const {
  double sum = 0;
  for (size_t i = points_.size(); i-- > 1;) {
    if (points_[i] == mark) break;
    sum += LegLength(points_[i - 1], points_[i]);
  }
  return sum;
}

double CObjRoute::DistanceToWaypoint(const CObjWaypoint* mark) const {
  const int index = IndexOf(mark);
  return DistanceBetween(0, index < 0 ? -1 : index);
}

double CObjRoute::DistanceBetween(int from, int to) const {
  const int count = static_cast<int>(points_.size());
  if (to < 0 || to >= count) to = count - 1;
  double sum = 0;
  for (int i = std::max(from, 0); i < to; ++i) sum += LegLength(points_[i], points_[i + 1]);
  return sum;
}

// ---- Insert mode ----

void CObjRoute::StartInsertAtSelected() {
  if (locked || selected_leg < 0 || selected_leg >= static_cast<int>(points_.size())) return;
  EnterInsertMode(selected_leg, selected_leg + 1);
}

void CObjRoute::AppendWaypoint(CObjWaypoint* mark) {
  // After the last node (not the first occurrence of the last mark, which a closed route has
  // at its head).
  const int last = static_cast<int>(points_.size()) - 1;
  EnterInsertMode(last, last + 1);
  InsertWaypointWhileEditing(*mark);
  LeaveInsertMode();
}

void CObjRoute::CloseWhileEditing() {
  if (edit_state == kInsert && !points_.empty()) InsertWaypointWhileEditing(*points_.front());
}

void CObjRoute::EndEditing() {
  LeaveInsertMode();
  RecomputeLength();
}

// ---- Editing ----

void CObjRoute::Reverse() {
  if (locked) return;
  std::reverse(points_.begin(), points_.end());
  NotifyChange(kChangeModified);
}

void CObjRoute::RenumberWaypoints() {
  if (locked) return;
  const int route_number = RouteNumber();
  int number = 0;
  for (CObjWaypoint* mark : Distinct(points_)) {
    ++number;
    const std::string& n = mark->name;
    if (n.size() > 2 && n.compare(0, 2, "WP") == 0 && n[2] >= '0' && n[2] <= '9') {
      mark->name = vd::os::FormatC("WP%02d%02d", route_number, number);
      mark->NotifyChange(kChangeModified);
    }
  }
  NotifyChange(kChangeModified);
}

void CObjRoute::Join(CObjRoute* other) {
  if (!other || other == this || other->points_.size() < 2) return;
  SaveUndoForPair(this, other);
  std::vector<CObjWaypoint*> moved;
  moved.swap(other->points_);
  for (CObjWaypoint* mark : Distinct(moved)) mark->RemoveRouteLink(other, false);
  CObjWaypoint* const b = moved.front();
  CObjWaypoint* const a = GetLastWaypoint();
  bool b_merged = false;
  if (a != b) {
    const CLatLon::Offset offset = b->position.LocalOffset(a ? a->position : b->position);
    const double d2 = (offset.east * offset.east + offset.north * offset.north) *
                      kMetresPerNm * kMetresPerNm;
    if (a && d2 < kJoinMergeMetres * kJoinMergeMetres) {
      a->position = {(a->position.lat + b->position.lat) * 0.5,
                     (a->position.lon + b->position.lon) * 0.5};
      a->NotifyChange(kChangeModified);
      b_merged = true;
    } else {
      LinkWaypoint(b);
    }
  }
  for (size_t i = 1; i < moved.size(); ++i) LinkWaypoint(moved[i]);
  // Only now, once every later occurrence of B is linked here, is B known to be left alone.
  if (b_merged) {
    if (b->HasRoutes()) {
      b->NotifyChange(kChangeModified);
    } else {
      b->Delete(false);
    }
  }
  other->Delete(false);
  RecomputeLength();
  NotifyChange(kChangeModified);
}

void CObjRoute::SplitAt(CObjWaypoint& mark, bool copy_mark) {
  if (points_.size() < 2 || locked || mark.locked) return;
  int split = -1;
  for (int i = static_cast<int>(points_.size()) - 2; i > 0; --i) {
    if (points_[i] == &mark) {
      split = i;
      break;
    }
  }
  if (split < 0) return;
  SaveUndoForObject(*this);
  CObjRoute* route = MakeInDocument<CObjRoute>(document());
  if (!route) return;
  route->name = name + "-split";
  route->colour = colour;
  route->thickness = thickness;
  route->line_style = line_style;
  route->transparency = transparency;
  route->SetCategory(category());
  route->LeaveInsertMode();
  if (copy_mark) {
    if (CObjWaypoint* copy = MakeInDocument<CObjWaypoint>(document())) {
      copy->name = mark.name + "-split";
      copy->short_name = copy->name;
      copy->position = mark.position;
      copy->colour = mark.colour;
      copy->SetSymbol(mark.symbol);
      copy->SetCategory(mark.category());
      copy->being_placed = false;
      route->LinkWaypoint(copy);
      copy->NotifyChange(kChangeModified);
    }
  }
  const std::vector<CObjWaypoint*> tail(points_.begin() + split + 1, points_.end());
  points_.erase(points_.begin() + split + 1, points_.end());
  for (CObjWaypoint* m : tail) route->LinkWaypoint(m);
  for (CObjWaypoint* m : Distinct(tail)) RelinkMark(*m, false);
  route->SetVisible(visible);
  for (CObjRoute* r : {this, route}) {
    r->RecomputeLength();
    r->NotifyChange(kChangeModified);
  }
}

void CObjRoute::SplitAtSelectedPoint() {
  if (selected_leg >= 0 && selected_leg < static_cast<int>(points_.size())) {
    SplitAt(*points_[selected_leg], false);
  }
}

bool CObjRoute::CanSplitAtSelectedPoint() const {
  return selected_leg > 0 && selected_leg < static_cast<int>(points_.size()) - 2;
}

// ---- Measurements ----

CObjWaypoint* CObjRoute::ComputeLegs(const CLatLon& position, double& cross_track,
                                     bool& left_side, double& leg_bearing,
                                     CObjWaypoint*& next_mark) const {
  cross_track = 0;
  next_mark = nullptr;
  if (points_.size() < 2) return nullptr;
  struct Leg {
    double sx, sy, ex, ey, ux, uy;
    CObjWaypoint* end;
    bool reached = false;
    double c = 0;
  };
  std::vector<Leg> legs;
  for (size_t i = 1; i < points_.size(); ++i) {
    const CLatLon::Offset s = points_[i - 1]->position.LocalOffset(position);
    const CLatLon::Offset e = points_[i]->position.LocalOffset(position);
    const double len = std::hypot(e.east - s.east, e.north - s.north);
    if (len == 0) continue;
    legs.push_back({s.east, s.north, e.east, e.north, (e.east - s.east) / len,
                    (e.north - s.north) / len, points_[i]});
  }
  for (size_t i = 0; i < legs.size(); ++i) {
    Leg& leg = legs[i];
    double bx = leg.ux, by = leg.uy;
    if (i > 0) {
      bx += legs[i - 1].ux;
      by += legs[i - 1].uy;
    }
    const double along = (leg.ex - leg.sx) * bx + (leg.ey - leg.sy) * by;
    leg.reached = along * (leg.sx * bx + leg.sy * by) <= 0;
    leg.c = leg.ux * leg.sy - leg.sx * leg.uy;
  }
  CObjWaypoint* result = points_.front();
  double best = legs.empty() ? 0 : legs[0].sx * legs[0].sx + legs[0].sy * legs[0].sy;
  double best_cross = 0;
  for (size_t i = 0; i < legs.size(); ++i) {
    const Leg& leg = legs[i];
    const bool last = i + 1 == legs.size();
    if (!leg.reached || (!last && legs[i + 1].reached)) continue;
    if (leg.c * leg.c >= best) continue;
    best = leg.c * leg.c;
    best_cross = best;
    left_side = leg.c < 0;
    leg_bearing = std::atan2(leg.ux, leg.uy) * kDegreesPerRadian;
    result = leg.end;
    next_mark = last ? nullptr : legs[i + 1].end;
  }
  cross_track = best_cross > 0 ? std::sqrt(best_cross) : 0;
  return result;
}

double CObjRoute::GetEnclosedArea() const {
  if (!IsClosed()) return 0;
  const CLatLon& origin = points_.front()->position;
  const double x_scale = LonDegreeLength(origin.lat) * kMetresPerNm;
  const double y_scale = LatDegreeLength(origin.lat) * kMetresPerNm;
  std::vector<double> xs, ys;
  for (size_t i = 0; i + 1 < points_.size(); ++i) {
    xs.push_back((points_[i]->position.lon - origin.lon) * x_scale);
    ys.push_back((points_[i]->position.lat - origin.lat) * y_scale);
  }
  return PolygonArea(xs, ys);
}

// ---- Private ----

int CObjRoute::IndexOf(const CObjWaypoint* mark) const {
  const auto it = std::find(points_.begin(), points_.end(), mark);
  return it == points_.end() ? -1 : static_cast<int>(it - points_.begin());
}

void CObjRoute::LeaveInsertMode() {
  if (edit_state == kInsert) edit_state = kNormal;
}

void CObjRoute::EnterInsertMode(int after, int before) {
  if (locked) return;
  insert_after = after;
  insert_before = before;
  edit_state = kInsert;
  Select(false);
  NotifyChange(kChangeEditState);
}

void CObjRoute::InsertAtInsertPosition(CObjWaypoint& mark) {
  const int count = static_cast<int>(points_.size());
  const int index = insert_after < 0 ? 0 : std::min(insert_after + 1, count);
  points_.insert(points_.begin() + index, &mark);
  mark.AddRouteLink(this);
  mark.visible = true;
  ++insert_after;
  ++insert_before;
  if (insert_before < static_cast<int>(points_.size())) LeaveInsertMode();
}

void CObjRoute::RelinkMark(CObjWaypoint& mark, bool delete_if_orphan) {
  const auto occurrences = std::count(points_.begin(), points_.end(), &mark);
  mark.RemoveRouteLink(this, delete_if_orphan && occurrences == 0);
  if (occurrences == 0) return;  // the mark may be gone
  for (auto i = occurrences; i > 0; --i) mark.AddRouteLink(this);
}

int CObjRoute::RouteNumber() const {
  size_t start = name.size();
  while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
  int number = 0;
  const char* first = name.data() + start;
  const char* last = name.data() + name.size();
  if (std::from_chars(first, last, number).ec != std::errc()) return 0;
  return number;
}

void CObjRoute::CentreInView() { ShowExtentInView(*this); }
