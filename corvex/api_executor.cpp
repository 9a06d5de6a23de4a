#include "corvex/api_executor.h"

#include <algorithm>
#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "overlays/outline/old_chart_outline.h"
#include "app/gps_position_info.h"
#include "core/string_utils.h"
#include "corvex/api_handle_table.h"
#include "overlays/category.h"
#include "overlays/icon_library.h"
#include "overlays/lat_lon.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/ostrel_object.h"

int CApiHost::RenderChartAreaToDDS(const std::string&, const std::string&, int32_t, int32_t,
                                   int32_t, int32_t, int32_t) {
  return kApiNoData;
}

bool CApiHost::GetNavigationTarget(CApiNavigationTarget&) { return false; }

bool CApiHost::ShowGotoMark(CObjWaypoint&) { return false; }

bool CApiHost::ShowFollowRoute(CObjRoute&) { return false; }

namespace {

// The status text of fixes handed in by other programs.
constexpr char kImportedStatus[] = "Imported position";

// Type codes of objects, also the bits of a search mask; other classes have none.
constexpr int32_t kTypeNone = -1;
constexpr int32_t kTypeWaypoint = 1;
constexpr int32_t kTypeRoute = 2;
constexpr int32_t kTypeTrack = 4;
constexpr int32_t kTypeCurrentPosition = 8;
constexpr int32_t kTypeChartOutline = 16;
constexpr int32_t kTypeText = 32;

// Scale wanted when showing an area: this times the distance in nautical miles from the
// area's corner to its centre.
constexpr double kAreaScalePerNm = 0.0008;
constexpr double kAreaZoomFactor = 2.0;

// A vessel outline has 1 to this many points; any other count clears it.
constexpr int32_t kMaxOutlinePoints = 999;

// Line styles of routes and tracks: the largest value of each field.
constexpr int32_t kMaxThickness = 3;
constexpr int32_t kMaxLineStyle = 4;
constexpr int32_t kMaxTransparency = 4;

int32_t TypeCode(const COstrelObject& object) {
  const OverlayClass& cls = object.GetRuntimeClass();
  if (cls.IsDerivedFrom(CObjWaypoint::kClass)) return kTypeWaypoint;
  if (cls.IsDerivedFrom(CObjRoute::kClass)) return kTypeRoute;
  if (cls.IsDerivedFrom(CObjTrack::kClass)) return kTypeTrack;
  if (cls.IsDerivedFrom(CObjCurrentPosition::kClass)) return kTypeCurrentPosition;
  if (cls.IsDerivedFrom(CObjText::kClass)) return kTypeText;
  if (cls.IsDerivedFrom(COldChartOutline::kClass)) return kTypeChartOutline;
  return kTypeNone;
}

// ---- Wire fields ----
// Each overload handles one field kind, so a request lists its fields as variables in wire
// order; floats travel as doubles.

bool ReadField(CVD_transaction& t, int32_t& value) { return t.ReadInt(value) == kApiOk; }
bool ReadField(CVD_transaction& t, bool& value) { return t.ReadBool(value) == kApiOk; }
bool ReadField(CVD_transaction& t, double& value) { return t.ReadDouble(value) == kApiOk; }
bool ReadField(CVD_transaction& t, float& value) { return t.ReadFloat(value) == kApiOk; }
bool ReadField(CVD_transaction& t, ApiHandle& value) { return t.ReadHandle(value) == kApiOk; }
bool ReadField(CVD_transaction& t, std::string& value) { return t.ReadString(value) == kApiOk; }

bool WriteField(CVD_transaction& t, int32_t value) { return t.WriteInt(value) == kApiOk; }
bool WriteField(CVD_transaction& t, double value) { return t.WriteDouble(value) == kApiOk; }
bool WriteField(CVD_transaction& t, float value) { return t.WriteDouble(value) == kApiOk; }
bool WriteField(CVD_transaction& t, ApiHandle value) { return t.WriteHandle(value) == kApiOk; }
bool WriteField(CVD_transaction& t, std::string_view value) {
  return t.WriteString(value) == kApiOk;
}

// Reads the fields in order, stopping at the first failure.
template <class... Fields>
bool ReadFields(CVD_transaction& t, Fields&... fields) {
  return (ReadField(t, fields) && ...);
}

// Writes the fields in order: kApiOk, or kApiIoError at the first failure.
template <class... Fields>
int WriteFields(CVD_transaction& t, const Fields&... fields) {
  return (WriteField(t, fields) && ...) ? kApiOk : kApiIoError;
}

// One request against the document.
class Request {
 public:
  Request(CVD_transaction& t, CApiHost& host, ObjectList& list)
      : t_(t), host_(host), doc_(host.Document()), list_(list), handles_(host.Handles()) {}

  int Run(int64_t code);

 private:
  // The object of a handle when it is in the list and of class T; null otherwise.
  template <class T>
  T* Resolve(ApiHandle handle) {
    return dynamic_cast<T*>(handles_.Find(handle, list_));
  }
  // Reads a handle and the fields after it: kApiOk with the handle's object of class T,
  // kApiIoError, or kApiBadHandle.
  template <class T, class... Fields>
  int ReadObject(T*& object, Fields&... fields) {
    ApiHandle handle{};
    if (!ReadFields(t_, handle, fields...)) return kApiIoError;
    object = Resolve<T>(handle);
    return object ? kApiOk : kApiBadHandle;
  }
  // A new object owned by the document, appended to its list with the list's reference.
  template <class T>
  T* Create() {
    T* object = nullptr;
    {
      const CCurrentOwnerScope owner(&doc_);
      object = new T;
    }
    object->AddRef();
    list_.push_back(object);
    return object;
  }
  ApiHandle HandleOf(const COstrelObject* object) { return handles_.HandleOf(object); }

  int ObjectRequest(int64_t code);
  int WaypointRequest(int64_t code);
  int ShowArea();
  int ReadOwnFix();
  int ImportFix(bool with_time_and_heading);
  int CreateWaypoint();
  int AppendToRoute();
  int RoutePoint();
  int FindNext();
  int MoveWaypoint();
  int SetCircle();
  int CreateTrack();
  int AddTrackPoints();
  int CountTrackPoints();
  int ReadTrackPoints();
  int ReadOwnState();
  int SetLineStyle();
  int CreateTarget();
  int DescribeTarget();
  int FeedTarget();
  int SetVesselOutline();
  int ReadNavigationTarget();
  int StartNavigation();
  int RenderArea();
  int ShowCameraPosition();

  CVD_transaction& t_;
  CApiHost& host_;
  COstrelDocBase& doc_;
  ObjectList& list_;
  CApiHandleTable& handles_;
};

int Request::Run(int64_t code) {
  switch (code) {
    case 1: {
      double north = 0, south = 0, east = 0, west = 0;
      if (!host_.GetGPSViewArea(north, south, east, west)) return kApiNoData;
      return WriteFields(t_, north, south, east, west);
    }
    case 2:
    case 0x8000: return ShowArea();
    case 3: return ReadOwnFix();
    case 4: return ImportFix(false);
    case 5: return CreateWaypoint();
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 19:
    case 20: return ObjectRequest(code);
    case 12: return FindNext();
    case 13: return MoveWaypoint();
    case 14:
    case 15:
    case 23:
    case 25:
    case 34: return WaypointRequest(code);
    case 16: return WriteFields(t_, HandleOf(Create<CObjRoute>()));
    case 17: return AppendToRoute();
    case 18: return RoutePoint();
    case 21: {
      std::string path;
      int32_t number = 0;
      if (!ReadFields(t_, path, number)) return kApiIoError;
      return CIconLibrary::Get().LoadIconFile(path, number) ? kApiOk : kApiIoError;
    }
    case 22: {
      int32_t number = 0;
      if (!ReadFields(t_, number)) return kApiIoError;
      return CIconLibrary::Get().DeleteIcon(number, list_) ? kApiOk : kApiBadIndex;
    }
    case 24: return SetCircle();
    case 26: return CreateTrack();
    case 27: return AddTrackPoints();
    case 28: return CountTrackPoints();
    case 29: return ReadTrackPoints();
    case 31:
    case 0x8004: return ReadOwnState();
    case 32: return ImportFix(true);
    case 33: return SetLineStyle();
    case 35: return CreateTarget();
    case 36: return DescribeTarget();
    case 37: return FeedTarget();
    case 38: return WriteFields(t_, HandleOf(host_.GetCurrentPositionObject()));
    case 39: return SetVesselOutline();
    case 40: return ReadNavigationTarget();
    case 41: return StartNavigation();
    case 42: return host_.HasFinishedStarting() ? kApiOk : kApiNotStarted;
    case 0x8001: return RenderArea();
    case 0x8003: return ShowCameraPosition();
    default: return kApiUnknownRequest;
  }
}

// Requests on an object of any class.
int Request::ObjectRequest(int64_t code) {
  COstrelObject* object = nullptr;
  switch (code) {
    case 6:
    case 7:
    case 8:
    case 19: {
      if (const int result = ReadObject(object)) return result;
      if (code == 6) return WriteFields(t_, TypeCode(*object));
      if (code == 7) return WriteFields(t_, object->name);
      if (code == 19) return WriteFields(t_, CCategory::GetNameOr(object->category()));
      object->Delete(false);  // without asking, so never refused
      return kApiOk;
    }
    case 9:
    case 20: {
      std::string text;
      if (const int result = ReadObject(object, text)) return result;
      if (code == 20) {
        object->SetCategory(text);
        object->NotifyChange(kChangeCategory);
      } else {
        if (object->short_name.empty()) object->short_name = object->name;
        object->name = std::move(text);
      }
      return kApiOk;
    }
    default: {  // 10, 11
      bool flag = false;
      if (const int result = ReadObject(object, flag)) return result;
      if (code == 10) {
        object->SetLocked(flag);
      } else {
        object->SetVisible(flag);
      }
      return kApiOk;
    }
  }
}

// Requests on a mark that read or set one field.
int Request::WaypointRequest(int64_t code) {
  CObjWaypoint* mark = nullptr;
  switch (code) {
    case 14:
    case 25:
      if (const int result = ReadObject(mark)) return result;
      return code == 14 ? WriteFields(t_, mark->position.lat, mark->position.lon)
                        : WriteFields(t_, mark->link);
    case 23: {
      int32_t symbol = 0;
      if (const int result = ReadObject(mark, symbol)) return result;
      mark->SetSymbol(symbol);
      mark->NotifyChange(kChangeModified);
      return kApiOk;
    }
    default: {  // 15, 34
      std::string text;
      if (const int result = ReadObject(mark, text)) return result;
      (code == 15 ? mark->link : mark->comment) = std::move(text);
      return kApiOk;
    }
  }
}

int Request::ShowArea() {
  double lat1 = 0, lat2 = 0, lon1 = 0, lon2 = 0;
  if (!ReadFields(t_, lat1, lat2, lon1, lon2)) return kApiIoError;
  const CLatLon centre((lat1 + lat2) / 2, (lon1 + lon2) / 2);
  const double scale = CLatLon(lat2, lon2).DistanceTo(centre) * kAreaScalePerNm;
  doc_.OpenBestChartAt(centre.lat, centre.lon, scale, kAreaZoomFactor, 0);
  return kApiOk;
}

int Request::ReadOwnFix() {
  const CObjCurrentPosition* own = host_.PeekCurrentPosition();
  if (!own || !own->valid) return kApiNoData;
  return WriteFields(t_, own->position.lat, own->position.lon, own->course, own->speed,
                     own->altitude);
}

int Request::ImportFix(bool with_time_and_heading) {
  GPS_position_info fix;
  bool valid = false;
  bool read = ReadFields(t_, fix.position.lat, fix.position.lon, fix.course, fix.speed,
                         fix.altitude);
  if (with_time_and_heading) {
    // The last value is the speed through the water, the field after the heading.
    read = read && ReadFields(t_, fix.time, valid, fix.heading, fix.water_speed);
  } else {
    read = read && ReadFields(t_, valid);
  }
  if (!read) return kApiIoError;
  fix.valid = valid;
  fix.status = kImportedStatus;
  host_.UpdateGPSPosition(fix);
  return kApiOk;
}

int Request::CreateWaypoint() {
  std::string name;
  double lat = 0, lon = 0;
  int32_t symbol = 0;
  if (!ReadFields(t_, name, lat, lon, symbol)) return kApiIoError;
  CObjWaypoint* mark = Create<CObjWaypoint>();
  mark->name = std::move(name);
  mark->position = CLatLon(lat, lon);
  mark->SetSymbol(symbol);
  mark->being_placed = false;
  mark->NotifyChange(kChangeModified);
  return WriteFields(t_, HandleOf(mark));
}

int Request::AppendToRoute() {
  CObjRoute* route = nullptr;
  ApiHandle mark_handle{};
  if (const int result = ReadObject(route, mark_handle)) return result;
  CObjWaypoint* mark = Resolve<CObjWaypoint>(mark_handle);
  if (!mark) return kApiBadHandle;
  route->AppendWaypoint(mark);
  route->NotifyChange(kChangeEditState);
  return kApiOk;
}

int Request::RoutePoint() {
  CObjRoute* route = nullptr;
  int32_t index = 0;
  if (const int result = ReadObject(route, index)) return result;
  const auto& points = route->points();
  const bool inside = index >= 0 && static_cast<size_t>(index) < points.size();
  return WriteFields(t_, HandleOf(inside ? points[static_cast<size_t>(index)] : nullptr));
}

int Request::FindNext() {
  std::string pattern;
  int32_t mask = 0;
  ApiHandle after{};
  if (!ReadFields(t_, pattern, mask, after)) return kApiIoError;
  auto it = list_.begin();
  if (after != ApiHandle::kNone) {
    // An "after" no longer in the list ends the walk rather than restarting it.
    it = std::find(list_.begin(), list_.end(), handles_.Find(after, list_));
    if (it == list_.end()) return WriteFields(t_, ApiHandle::kNone);
    ++it;
  }
  for (; it != list_.end(); ++it) {
    const COstrelObject& object = **it;
    const int32_t type = TypeCode(object);
    if (type == kTypeNone || (type & mask) == 0) continue;
    if (WildcardMatch(object.name, pattern) || WildcardMatch(object.short_name, pattern)) {
      return WriteFields(t_, HandleOf(&object));
    }
  }
  return WriteFields(t_, ApiHandle::kNone);
}

int Request::MoveWaypoint() {
  CObjWaypoint* mark = nullptr;
  double lat = 0, lon = 0;
  if (const int result = ReadObject(mark, lat, lon)) return result;
  mark->position = CLatLon(lat, lon);
  mark->NotifyChange(kChangeMoved);
  mark->NotifyChange(kChangeModified);
  // Routes through the mark get their new length and are drawn along the new leg.
  mark->NotifyRoutes(kChangeModified);
  return kApiOk;
}

int Request::SetCircle() {
  CObjWaypoint* mark = nullptr;
  float radius = 0.0f;
  int32_t mode = 0;
  if (const int result = ReadObject(mark, radius, mode)) return result;
  if (mode < CObjWaypoint::kHideCircle || mode > CObjWaypoint::kAnchorAlarm) return kApiBadIndex;
  mark->radius = radius;
  mark->circle_mode = mode;
  mark->NotifyChange(kChangeModified);
  return kApiOk;
}

int Request::CreateTrack() {
  std::string name;
  int32_t colour = 0;
  bool closed = false;
  if (!ReadFields(t_, name, colour, closed)) return kApiIoError;
  CObjTrack* track = Create<CObjTrack>();
  track->name = std::move(name);
  track->colour = static_cast<uint32_t>(colour);
  track->closed = closed;
  track->NotifyChange(kChangeModified);
  return WriteFields(t_, HandleOf(track));
}

int Request::AddTrackPoints() {
  CObjTrack* track = nullptr;
  int32_t count = 0;
  if (const int result = ReadObject(track, count)) return result;
  if (count < 0) return kApiBadIndex;
  struct Point {
    double lat = 0, lon = 0;
    int32_t time = 0;
    float altitude = 0;
  };
  // All points first: a request cut short leaves the track as it was. The vector grows only
  // as points actually arrive, whatever the count claims.
  std::vector<Point> points;
  for (int32_t i = 0; i < count; ++i) {
    Point& p = points.emplace_back();
    if (!ReadFields(t_, p.lat, p.lon, p.time, p.altitude)) return kApiIoError;
  }
  for (const Point& p : points) track->AddPoint(p.lat, p.lon, p.time, p.altitude, 0, 0);
  track->RecomputeTotals();
  track->NotifyChange(kChangeModified);
  return kApiOk;
}

int Request::CountTrackPoints() {
  CObjTrack* track = nullptr;
  if (const int result = ReadObject(track)) return result;
  const size_t count = std::min<size_t>(track->points().size(), INT32_MAX);
  return WriteFields(t_, static_cast<int32_t>(count));
}

int Request::ReadTrackPoints() {
  CObjTrack* track = nullptr;
  int32_t first = 0, count = 0;
  if (const int result = ReadObject(track, first, count)) return result;
  const auto& points = track->points();
  if (first < 0 || count < 0 || int64_t{first} + count > static_cast<int64_t>(points.size())) {
    return kApiBadIndex;
  }
  for (int32_t i = 0; i < count; ++i) {
    const CTrackpoint& p = points[static_cast<size_t>(first + i)];
    const int result = WriteFields(t_, p.position.lat, p.position.lon, p.time, p.altitude);
    if (result != kApiOk) return result;
  }
  return kApiOk;
}

int Request::ReadOwnState() {
  const CObjCurrentPosition* own = host_.PeekCurrentPosition();
  if (!own) return kApiNoData;
  return WriteFields(t_, own->position.lat, own->position.lon, own->course, own->speed,
                     own->altitude, own->time, int32_t{own->valid}, own->heading,
                     own->rate_of_turn);
}

int Request::SetLineStyle() {
  COstrelObject* object = nullptr;
  int32_t thickness = 0, line_style = 0, colour = 0, transparency = 0;
  if (const int result = ReadObject(object, thickness, line_style, colour, transparency)) {
    return result;
  }
  auto* route = dynamic_cast<CObjRoute*>(object);
  auto* track = dynamic_cast<CObjTrack*>(object);
  if (!route && !track) return kApiBadHandle;
  if (thickness < 0 || thickness > kMaxThickness || line_style < 0 ||
      line_style > kMaxLineStyle || transparency < 0 || transparency > kMaxTransparency) {
    return kApiBadIndex;
  }
  const auto apply = [&](auto& line) {
    line.thickness = static_cast<uint8_t>(thickness);
    line.line_style = static_cast<uint8_t>(line_style);
    line.colour = static_cast<uint32_t>(colour);
    line.transparency = static_cast<uint8_t>(transparency);
  };
  if (route) {
    apply(*route);
  } else {
    apply(*track);
  }
  object->NotifyChange(kChangeModified);
  return kApiOk;
}

int Request::CreateTarget() {
  std::string name;
  if (!ReadFields(t_, name)) return kApiIoError;
  CObjCurrentPosition* target = Create<CObjCurrentPosition>();
  target->name = name;
  target->short_name = std::move(name);
  target->NotifyChange(kChangeModified);
  return WriteFields(t_, HandleOf(target));
}

int Request::DescribeTarget() {
  CObjCurrentPosition* target = nullptr;
  std::string name, description, category;
  if (const int result = ReadObject(target, name, description, category)) return result;
  target->name = std::move(name);
  target->description = std::move(description);
  target->SetCategory(category);
  target->NotifyChange(kChangeMoved);
  target->NotifyChange(kChangeModified);
  return kApiOk;
}

int Request::FeedTarget() {
  CObjCurrentPosition* target = nullptr;
  int32_t time = 0, colour = 0;
  double lat = 0, lon = 0;
  float altitude = 0, course = 0, speed = 0, heading = 0, rate_of_turn = 0;
  std::string status;
  if (const int result = ReadObject(target, time, lat, lon, altitude, course, speed, heading,
                                    rate_of_turn, colour, status)) {
    return result;
  }
  target->time = time;
  target->position = {lat, lon};
  target->altitude = altitude;
  target->course = course;
  target->speed = speed;
  target->heading = heading;
  target->rate_of_turn = rate_of_turn;
  target->colour = static_cast<vd::ui::ColourRef>(colour);
  target->valid = 1;
  target->display_mode = CObjCurrentPosition::kTarget;
  target->SetStatusText(std::move(status));
  target->NotifyChange(kChangeMoved);
  target->NotifyChange(kChangeModified);
  return kApiOk;
}

int Request::SetVesselOutline() {
  CObjCurrentPosition* target = nullptr;
  int32_t count = 0;
  if (const int result = ReadObject(target, count)) return result;
  std::vector<vd::ui::Point> outline;
  if (count >= 1 && count <= kMaxOutlinePoints) {
    outline.resize(static_cast<size_t>(count));
    for (vd::ui::Point& p : outline) {
      if (!ReadFields(t_, p.x, p.y)) return kApiIoError;
    }
  }
  target->outline = std::move(outline);
  // The views' records of the vessel hold a point for each outline point: they must be made
  // again before the next paint.
  target->NotifyChange(kChangeModified);
  return kApiOk;
}

int Request::ReadNavigationTarget() {
  CApiNavigationTarget nav;
  if (!host_.GetNavigationTarget(nav) || !nav.target) return WriteFields(t_, ApiHandle::kNone);
  return WriteFields(t_, HandleOf(nav.target), HandleOf(nav.route), nav.lat, nav.lon,
                     nav.distance_nm, nav.bearing_deg, nav.cross_track_nm,
                     nav.closing_speed_kn, nav.name);
}

int Request::StartNavigation() {
  COstrelObject* object = nullptr;
  if (const int result = ReadObject(object)) return result;
  if (auto* mark = dynamic_cast<CObjWaypoint*>(object)) {
    return host_.ShowGotoMark(*mark) ? kApiOk : kApiNoData;
  }
  if (auto* route = dynamic_cast<CObjRoute*>(object)) {
    return host_.ShowFollowRoute(*route) ? kApiOk : kApiNoData;
  }
  return kApiBadHandle;
}

int Request::RenderArea() {
  std::string chart_path, output_path;
  int32_t x = 0, y = 0, zoom_shift = 0, width = 0, height = 0;
  if (!ReadFields(t_, chart_path, x, y, zoom_shift, width, height, output_path)) {
    return kApiIoError;
  }
  if (width < 1 || width > kApiMaxRenderSide || height < 1 || height > kApiMaxRenderSide ||
      zoom_shift < kApiMinZoomShift || zoom_shift > kApiMaxZoomShift) {
    return kApiIoError;
  }
  return host_.RenderChartAreaToDDS(chart_path, output_path, zoom_shift, x, y, width, height);
}

int Request::ShowCameraPosition() {
  double lat = 0, lon = 0;
  float distance = 0;
  if (!ReadFields(t_, lat, lon, distance)) return kApiIoError;
  host_.SyncViewsTo(lat, lon);
  if (COstrelObject* target = host_.GetViewTargetObject()) {
    target->SetViewTarget(lat, lon, distance);
  } else {
    host_.SetPositionMarkerInViews(lat, lon);
  }
  return kApiOk;
}

}  // namespace

int ExecuteApiRequest(int64_t code, CVD_transaction& transaction, CApiHost* host) {
  if (!host) return kApiNoData;
  ObjectList* list = host->Document().GetObjectList();
  if (!list) return kApiNoData;
  return Request(transaction, *host, *list).Run(code);
}

int ExecuteApiRequest(int64_t code, CApiHost* host) {
  CVD_transaction transaction;
  return ExecuteApiRequest(code, transaction, host);
}
