#include "overlays/model/overlay_route.h"

#include <algorithm>
#include <cmath>

#include "core/serializable_stream.h"
#include "core/xml_writer.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/default_units.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/notify_callback.h"
#include "overlays/model/overlay_painter.h"
#include "overlays/model/overlay_selection.h"
#include "overlays/model/overlay_route_online.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/overlay_track.h"
#include "overlays/model/record_list.h"
#include "platform/os/numbers.h"

const CSerializable::TypeOf<COverlayRoute> COverlayRoute::cType(COverlayRoute::kTypeId);

namespace {

// Points closer than this in squared degrees count as one.
constexpr double kSamePointDegrees2 = 1e-8;

double Dot(const EastNorth& a, const EastNorth& b) {
  return a.east_metres * b.east_metres + a.north_metres * b.north_metres;
}
EastNorth Minus(const EastNorth& a, const EastNorth& b) {
  return {a.east_metres - b.east_metres, a.north_metres - b.north_metres};
}

}  // namespace

COverlayRoute::COverlayRoute()
    : COverlayObject(kRoute, kDrawKeyLine), colour(CMarkManager::Settings().default_wp_color2) {}

COverlayRoute::~COverlayRoute() {
  ForgetOptimisedRoute(this);
  if (NotifyCallbackContext() == this) ClearNotifyCallback();
  if (CMarkManager* manager = CMarkManager::Instance()) manager->ForgetObject(this);
}

bool COverlayRoute::Serialize(CSerializableStream& stream) {
  if (stream.IsReading()) points.clear();
  bool ok;
  {
    CSerializableStream::Block block(stream);
    ok = block.ok() && stream.ExchangeString(name);
    if (ok) {
      CSerializableStream::Block style(stream);
      ok = style.ok() && stream.ExchangeColour(colour) &&
           stream.ExchangeRaw(&width, sizeof width) && stream.ExchangeRaw(&pattern, sizeof pattern);
    }
    ok = ok && ExchangeRecordList(
                   stream, points, kMaxCount, [] { return std::make_unique<COverlayMark>(true); },
                   [&](COverlayMark& point) { return point.SerializeBody(stream, true); });
    ok = ok && stream.ExchangeString(description) && stream.ExchangeBool(is_navigation);
    if (ok && !(stream.IsReading() && stream.AtBlockEnd())) ok = SerializeBase(stream);
    ok = ok && stream.ExchangeString(type);
  }
  if (stream.IsReading()) {
    for (const auto& point : points) {
      point->kind = kRoutePoint;
      point->parent = this;
    }
    if (!points.empty() && created > points.front()->created) created = points.front()->created;
  }
  return ok && !stream.Failed();
}

double COverlayRoute::GetLength() const {
  if (points.size() < 2) return 0.0;
  CLocalProjection plane;
  plane.SetOrigin(points.front()->latitude, points.front()->longitude);
  double length = 0.0;
  for (size_t i = 1; i < points.size(); ++i) {
    length += plane.DistanceBetween(points[i - 1]->latitude, points[i - 1]->longitude,
                                    points[i]->latitude, points[i]->longitude);
  }
  return length;
}

void COverlayRoute::Clear() {
  if (NotifyCallbackContext() == this) ClearNotifyCallback();
  CMarkManager* manager = CMarkManager::Instance();
  if (manager != nullptr && manager->target().route == this) manager->ClearTarget();
  is_navigation = false;
  if (manager != nullptr && manager->route_being_created() == this) manager->StopRouteCreation();
  // Taken out of the list before they are destroyed, so that nobody told of their going away
  // finds them in it.
  std::vector<std::unique_ptr<COverlayMark>> old = std::move(points);
  points.clear();
  legs.clear();
  old.clear();
  name.clear();
  description.clear();
  type.clear();
}

void COverlayRoute::AnnounceAll(int32_t code) {
  if (code == kAppeared) legs.clear();
  NotifyChange(code);
  for (const auto& point : points) point->NotifyChange(code);
}

void COverlayRoute::Delete() {
  MarkDeleted();
  Clear();
  COverlaySelection::Forget(this);
  AnnounceAll(kGoingAway);
}

COverlayMark* COverlayRoute::InsertPoint(std::unique_ptr<COverlayMark> point, size_t index) {
  point->kind = kRoutePoint;
  point->parent = this;
  COverlayMark* inserted = point.get();
  points.insert(points.begin() + static_cast<std::ptrdiff_t>(std::min(index, points.size())),
                std::move(point));
  return inserted;
}

size_t COverlayRoute::IndexOf(const COverlayMark* mark) const {
  const auto found = std::find_if(points.begin(), points.end(),
                                  [&](const auto& point) { return point.get() == mark; });
  return static_cast<size_t>(found - points.begin());
}

void COverlayRoute::RemovePoint(COverlayMark* mark) {
  const size_t index = IndexOf(mark);
  if (index == points.size()) return;
  if (points.size() <= 2) {
    Delete();
    return;
  }
  std::unique_ptr<COverlayMark> removed = std::move(points[index]);
  points.erase(points.begin() + static_cast<std::ptrdiff_t>(index));
  removed.reset();
  modified = GetNow();
  AnnounceAll(kAppeared);
}

void COverlayRoute::Reverse() {
  std::reverse(points.begin(), points.end());
  static constexpr std::string_view kTo = " to ";
  if (const size_t at = name.find(kTo); at != std::string::npos) {
    name = name.substr(at + kTo.size()) + std::string(kTo) + name.substr(0, at);
  }
  modified = GetNow();
  AnnounceAll(kAppeared);
}

void COverlayRoute::NameFromEnds() {
  if (points.size() >= 2) name = points.front()->name + " to " + points.back()->name;
}

COverlayRoute* COverlayRoute::SplitAt(COverlayMark* mark) {
  const size_t index = IndexOf(mark);
  CMarkManager* manager = CMarkManager::Instance();
  if (index == points.size() || manager == nullptr) return nullptr;
  auto split = std::make_unique<COverlayRoute>();
  split->name = name + "-split";
  split->colour = colour;
  split->width = width;
  split->pattern = pattern;
  split->type = type;
  auto first = std::make_unique<COverlayMark>(*mark);
  first->latitude = mark->latitude;
  first->longitude = mark->longitude;
  split->InsertPoint(std::move(first), 0);
  for (size_t i = index + 1; i < points.size(); ++i) {
    split->InsertPoint(std::move(points[i]), split->points.size());
  }
  points.resize(index + 1);
  modified = GetNow();
  COverlayRoute* added = manager->AddRoute(std::move(split));
  AnnounceAll(kAppeared);
  added->AnnounceAll(kAppeared);
  return added;
}

void COverlayRoute::Join(COverlayRoute& other) {
  if (&other == this) return;
  size_t from = 0;
  if (!points.empty() && !other.points.empty()) {
    const COverlayMark& end = *points.back();
    const COverlayMark& start = *other.points.front();
    const double d_lat = end.latitude - start.latitude;
    const double d_lon = end.longitude - start.longitude;
    if (d_lat * d_lat + d_lon * d_lon <= kSamePointDegrees2) from = 1;
  }
  for (size_t i = from; i < other.points.size(); ++i) {
    InsertPoint(std::move(other.points[i]), points.size());
  }
  other.points.resize(from);
  other.Delete();
  modified = GetNow();
  AnnounceAll(kAppeared);
}

void COverlayRoute::GetPoints(std::vector<std::pair<double, double>>& list) const {
  for (const auto& point : points) list.emplace_back(point->longitude, point->latitude);
}

void COverlayRoute::AppendToTrack(COverlayTrack& track) const {
  for (const auto& point : points) {
    track.AddPoint(CTrackPoint{point->latitude, point->longitude, 0.0, 0, 0}, false);
  }
}

bool RouteLeg::DistanceSquaredTo(const EastNorth& point, const UnitVector* previous) {
  const EastNorth reference{direction.east + (previous ? previous->east : 0.0),
                            direction.north + (previous ? previous->north : 0.0)};
  beside = Dot(Minus(end, start), reference) * Dot(Minus(start, point), reference) <= 0;
  if (beside) {
    const double cross = (start.north_metres - point.north_metres) * direction.east -
                         (start.east_metres - point.east_metres) * direction.north;
    cross_squared = cross * cross;
  }
  return beside;
}

size_t COverlayRoute::BuildLegs() {
  legs.clear();
  if (points.size() < 2) return 0;
  CGeoBounds box;
  ExtendBounds(box);
  leg_plane.SetOrigin((box.min_lat + box.max_lat) / 2, (box.min_lon + box.max_lon) / 2);
  size_t start_index = 0;
  EastNorth start = leg_plane.Project(points[0]->latitude, points[0]->longitude);
  for (size_t i = 1; i < points.size(); ++i) {
    const EastNorth end = leg_plane.Project(points[i]->latitude, points[i]->longitude);
    const EastNorth step = Minus(end, start);
    const double length = std::sqrt(Dot(step, step));
    if (length <= kMinLegLength) continue;
    RouteLeg leg;
    leg.start = start;
    leg.end = end;
    leg.length = length;
    leg.direction = {step.east_metres / length, step.north_metres / length};
    leg.start_mark = points[start_index].get();
    leg.end_mark = points[i].get();
    legs.push_back(leg);
    start = end;
    start_index = i;
  }
  double after = 0.0;
  for (auto leg = legs.rbegin(); leg != legs.rend(); ++leg) {
    leg->distance_to_end = after;
    after += leg->length;
  }
  return legs.size();
}

RouteLegMatch COverlayRoute::FindLeg(double latitude, double longitude) {
  RouteLegMatch match;
  if (points.empty()) return match;
  if (legs.empty()) BuildLegs();
  match.target = points.front().get();
  match.distance_to_end = GetLength();
  if (legs.empty()) return match;
  const EastNorth position = leg_plane.Project(latitude, longitude);
  for (size_t i = 0; i < legs.size(); ++i) {
    RouteLeg& leg = legs[i];
    const UnitVector* previous = i > 0 ? &legs[i - 1].direction : nullptr;
    if (leg.DistanceSquaredTo(position, previous)) {
      // Not beyond the leg's end either.
      const EastNorth along{leg.direction.east + (previous ? previous->east : 0.0),
                            leg.direction.north + (previous ? previous->north : 0.0)};
      leg.beside = Dot(Minus(position, leg.end), along) <= 0;
    }
  }
  const EastNorth from_first = Minus(position, legs.front().start);
  double best = Dot(from_first, from_first);
  const RouteLeg* chosen = nullptr;
  for (size_t i = 0; i < legs.size(); ++i) {
    const RouteLeg& leg = legs[i];
    const bool next_beside = i + 1 < legs.size() && legs[i + 1].beside;
    if (leg.beside && !next_beside && leg.cross_squared <= best) {
      best = leg.cross_squared;
      chosen = &leg;
    }
  }
  if (chosen != nullptr) {
    match.target = chosen->end_mark;
    match.leg_start = chosen->start_mark;
    match.distance_to_end = chosen->distance_to_end;
  }
  return match;
}

void COverlayRoute::Project(CScreenPoints& screen, const ChartViewGeoref& georef) {
  screen.Clear();
  for (const auto& point : points) {
    float x;
    float y;
    if (georef.LatLonToScreen(point->latitude, point->longitude, x, y)) screen.Append({x, y});
  }
  screen.valid = true;
  CMarkManager* manager = CMarkManager::Instance();
  editing = manager != nullptr && manager->route_being_created() == this;
  screen.ComputeBounds();
}

void COverlayRoute::Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                         const CScreenPoints& screen) {
  if (screen.points.empty() || !live) return;
  if (COverlayPainter* painter = COverlayPainter::Get()) {
    painter->DrawRoute(*this, dc, view, screen);
  }
}

bool COverlayRoute::OnTap(float x, float y, const GeoPoint& position) {
  CMarkManager* manager = CMarkManager::Instance();
  if (manager == nullptr || manager->route_being_created() != this) return false;
  AddTappedPoint(x, y, position);
  return true;
}

COverlayMark* COverlayRoute::AddTappedPoint(float x, float y, const GeoPoint& position) {
  CMarkManager* manager = CMarkManager::Instance();
  auto made = std::make_unique<COverlayMark>(true);
  made->latitude = position.lat;
  made->longitude = position.lon;
  size_t index = points.size();
  if (manager != nullptr && manager->route_being_created() == this) {
    index = std::min(manager->insertion_index(), points.size());
    manager->set_insertion_index(index + 1);
  }
  COverlayMark* point = InsertPoint(std::move(made), index);
  point->name = name + vd::os::FormatC("P%zu", points.size());
  if (index + 1 != points.size() && manager != nullptr) manager->FinishRouteCreation(this);
  modified = GetNow();
  point->OnTap(x, y, position);
  legs.clear();
  NotifyChange(kAppeared);
  if (COverlayShell* shell = COverlayShell::Get()) {
    std::string text = "Total distance: ";
    CDefaultUnits::Global().AppendValueText(GetLength(), text);
    shell->SetStatusText(text);
  }
  return point;
}

bool COverlayRoute::OnKey(int32_t code, int32_t data) {
  return !points.empty() && points.back()->OnKey(code, data);
}

bool COverlayRoute::ExtendBounds(CGeoBounds& box) const {
  for (const auto& point : points) {
    box.min_lat = std::min(box.min_lat, point->latitude);
    box.max_lat = std::max(box.max_lat, point->latitude);
    box.min_lon = std::min(box.min_lon, point->longitude);
    box.max_lon = std::max(box.max_lon, point->longitude);
  }
  return !points.empty();
}

void COverlayRoute::WriteLineStyle(std::string& out, uint32_t colour, float width,
                                   int32_t pattern) {
  static constexpr const char* kPatterns[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot"};
  out += "<extensions> <xstyle:line>\n";
  XmlWriteElement(out, "xstyle:color",
                  vd::os::FormatC("%02x%02x%02x", colour >> 16 & 0xFF, colour >> 8 & 0xFF,
                                  colour & 0xFF));
  XmlWriteElement(out, "xstyle:opacity", vd::os::FormatC("%0.2f", (colour >> 24) / 255.0));
  XmlWriteElement(out, "xstyle:width", vd::os::FormatC("%0.2f", width));
  if (pattern >= 0 && pattern <= 4) XmlWriteElement(out, "xstyle:pattern", kPatterns[pattern]);
  out += "</xstyle:line></extensions>\n";
}

bool COverlayRoute::WriteGPX(std::string& out) const {
  out += "<rte>\n";
  XmlWriteElement(out, "name", name);
  if (!description.empty()) XmlWriteElement(out, "desc", description);
  if (sync_id != 0) XmlWriteElement(out, "src", GetSyncIdText());
  if (!type.empty()) XmlWriteElement(out, "type", type);
  WriteLineStyle(out, colour, width, pattern);
  for (const auto& point : points) {
    out += vd::os::FormatC("<rtept lat=\"%.10f\" lon=\"%.10f\">\n", point->latitude,
                           point->longitude);
    point->WriteGPXBody(out);
    out += "</rtept>\n";
  }
  out += "</rte>\n";
  return true;
}
