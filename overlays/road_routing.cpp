#include "overlays/road_routing.h"

#include <cstdint>

#include "core/persistent_value.h"
#include "core/type_file_out.h"
#include "core/ui/message_boxes.h"
#include "core/web_binary_cgi.h"
#include "core/xml_document.h"
#include "core/xml_node.h"
#include "geodesy/local_projection.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/undo_ring.h"
#include "platform/ui/message_box.h"

namespace {

constexpr double kOldModelMaxLengthNm = 100.0;
constexpr size_t kMaxRoutePoints = 10;
constexpr double kThinTolerance = 256.0;  // square metres
constexpr uint32_t kTurnColour = 0x00C800;
constexpr int32_t kLayerStep = 0x01000000;

// One signed number of the polyline, or false when the text ends inside it.
bool DecodeNumber(std::string_view text, size_t& at, int64_t& out) {
  uint64_t value = 0;
  int shift = 0;
  for (;;) {
    if (at >= text.size() || shift > 60) return false;
    const int group = static_cast<unsigned char>(text[at++]) - 63;
    if (group < 0) return false;
    value |= static_cast<uint64_t>(group & 0x1F) << shift;
    shift += 5;
    if ((group & 0x20) == 0) break;
  }
  const int64_t half = static_cast<int64_t>(value >> 1);
  out = (value & 1) ? ~half : half;
  return true;
}

// Within tolerance of the segment from the origin to s (all in metres).
bool NearSegment(double dx, double dy, double sx, double sy, double tolerance) {
  const double d2 = dx * dx + dy * dy;
  if (d2 <= tolerance) return true;
  const double dot = dx * sx + dy * sy;
  const double s2 = sx * sx + sy * sy;
  if (dot < 0 || dot > s2) return false;
  const double cross = dx * sy - dy * sx;
  return s2 * tolerance >= cross * cross;
}

std::string ChildText(const CXmlNode& node, std::string_view name) {
  std::string text;
  node.GetChildString(name, text);
  return text;
}

// A new mark at the head of the route's document list, linked to the route as its next point.
CObjWaypoint* AddRouteMark(CObjRoute& route, const RoutingPoint& at, const char* symbol,
                           const char* category) {
  ObjectList* list = route.document() ? route.document()->GetObjectList() : nullptr;
  if (!list) return nullptr;
  auto* mark = new CObjWaypoint;
  mark->AddRef();
  list->insert(list->begin(), mark);
  mark->position = {at.lat, at.lon};
  mark->being_placed = false;
  mark->SetSymbolByName(symbol);
  mark->SetCategory(category);
  route.LinkWaypoint(mark);
  return mark;
}

}  // namespace

std::string RoutingHost() {
  PersistentString host("routing_host");
  return host.value.empty() ? kDefaultRoutingHost : host.value;
}

bool WriteDirectionsRequest(const std::string& path, const std::string& mode,
                            const std::vector<RoutingPoint>& points) {
  CTypeFileOut out(path);
  out.SetWideStrings(false);
  out.WriteString(mode);
  int32_t count = static_cast<int32_t>(points.size());
  out.Int32(count);
  for (const RoutingPoint& p : points) {
    double lon = p.lon, lat = p.lat;
    out.Double(lon);
    out.Double(lat);
  }
  return out.Close();
}

bool DecodeDirectionsPolyline(std::string_view text, std::vector<RoutingPoint>& points) {
  points.clear();
  int64_t lat = 0, lon = 0;
  size_t at = 0;
  while (at < text.size()) {
    int64_t dlat = 0, dlon = 0;
    if (!DecodeNumber(text, at, dlat) || !DecodeNumber(text, at, dlon)) return false;
    lat += dlat;
    lon += dlon;
    const RoutingPoint point{static_cast<double>(lon) * 1e-5, static_cast<double>(lat) * 1e-5};
    if (point.lat < -90 || point.lat > 90 || point.lon < -360 || point.lon > 360) return false;
    points.push_back(point);
  }
  return true;
}

bool ThinPolylineLocal(std::vector<RoutingPoint>& points, double tolerance) {
  if (points.size() < 2) return false;
  CLocalProjection plane;
  plane.SetOrigin(points[0].lat, points[0].lon);
  struct Local {
    double x, y;
    size_t index;
  };
  std::vector<Local> kept;
  kept.reserve(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    const EastNorth p = plane.Project(points[i].lat, points[i].lon);
    kept.push_back({p.east_metres, p.north_metres, i});
  }
  bool dropped_any = false;
  for (bool dropped = true; dropped;) {
    dropped = false;
    std::vector<Local> next;
    next.reserve(kept.size());
    size_t k = 0;
    for (; k + 2 <= kept.size() - 1; k += 2) {
      const Local& a = kept[k];
      const Local& b = kept[k + 1];
      const Local& c = kept[k + 2];
      next.push_back(a);
      if (NearSegment(b.x - a.x, b.y - a.y, c.x - a.x, c.y - a.y, tolerance)) {
        dropped = true;
      } else {
        next.push_back(b);
      }
    }
    for (; k < kept.size(); ++k) next.push_back(kept[k]);
    kept.swap(next);
    dropped_any = dropped_any || dropped;
  }
  if (!dropped_any) return false;
  std::vector<RoutingPoint> thinned;
  thinned.reserve(kept.size());
  for (const Local& l : kept) thinned.push_back(points[l.index]);
  points.swap(thinned);
  return true;
}

std::string HtmlInstructionsToText(std::string_view text) {
  std::string out;
  bool in_tag = false;
  for (size_t i = 0; i < text.size();) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("&lt;di")) out += '\n';
    if (rest.starts_with("&lt;")) {
      in_tag = true;
      i += 4;
    } else if (rest.starts_with("&gt;")) {
      in_tag = false;
      i += 4;
    } else if (rest.starts_with("&amp;nbsp;")) {
      out += ' ';
      i += 10;
    } else {
      if (!in_tag) out += text[i];
      ++i;
    }
  }
  return out;
}

CXmlNode* FindDirectionsRoute(CXmlDocument& document, const std::string& path,
                              std::string& error) {
  error = "Corrupt response";
  CXmlNode* root = document.Load(path);
  CXmlNode* response = root ? root->FindNextDescendant("DirectionsResponse") : nullptr;
  if (!response) return nullptr;
  const std::string status = ChildText(*response, "status");
  if (status != "OK") {
    error = "Status: " + status;
    const std::string message = ChildText(*response, "error_message");
    if (!message.empty()) error += " " + message;
    return nullptr;
  }
  CXmlNode* route = response->FindChild("route");
  // A route without a leg would make a route of nothing but a name: refused as corrupt.
  if (!route || !route->FindChild("leg")) return nullptr;
  error.clear();
  return route;
}

bool ReadDirectionsReply(const std::string& path, CObjRoute& route, std::string& error) {
  CXmlDocument document;
  CXmlNode* reply = FindDirectionsRoute(document, path, error);
  if (!reply) return false;
  route.name = ChildText(*reply, "summary");
  CXmlNode* leg = reply->FindChild("leg");
  RoutingPoint pending_end;
  bool has_pending_end = false;
  CXmlNode::Cursor cursor = 0;
  std::vector<RoutingPoint> points;
  while (CXmlNode* step = leg->FindNextChild("step", cursor)) {
    CXmlNode* polyline = step->FindChild("polyline");
    if (!polyline) continue;
    std::string encoded;
    polyline->GetChildRawString("points", encoded);
    // A polyline that breaks off part way still gives the points before the break.
    DecodeDirectionsPolyline(encoded, points);
    ThinPolylineLocal(points, kThinTolerance);
    if (points.empty()) continue;
    if (CObjWaypoint* turn = AddRouteMark(route, points[0], "Flag", "Waypoints:Turn")) {
      turn->colour = kTurnColour;
      std::string maneuver;
      if (step->GetChildString("maneuver", maneuver)) turn->name = turn->short_name = maneuver;
      std::string instructions;
      if (step->GetChildRawString("html_instructions", instructions)) {
        turn->comment = HtmlInstructionsToText(instructions);
      }
    }
    for (size_t i = 1; i + 1 < points.size(); ++i) {
      if (CObjWaypoint* dot =
              AddRouteMark(route, points[i], "Tinydot", "Waypoints:Intermediate")) {
        dot->style -= kLayerStep;
      }
    }
    pending_end = points.back();
    has_pending_end = true;
  }
  // The last step's end is the only step end not also the start of a next step.
  if (has_pending_end) {
    if (CObjWaypoint* end = AddRouteMark(route, pending_end, "Flag", "Waypoints:Intermediate")) {
      end->colour = kTurnColour;
    }
  }
  if (!route.points().empty()) {
    CObjWaypoint* first = route.points().front();
    CObjWaypoint* last = route.points().back();
    first->name = first->short_name = ChildText(*leg, "start_address");
    last->name = last->short_name = ChildText(*leg, "end_address");
  }
  return true;
}

bool OptimiseRouteOnline(const std::string& mode, CObjRoute& route) {
  if (route.length > kOldModelMaxLengthNm) {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s",
                     "The maximum length of route you can optimize is 100 miles");
    return false;
  }
  std::vector<RoutingPoint> request;
  for (const CObjWaypoint* mark : route.points()) {
    request.push_back({mark->position.lon, mark->position.lat});
  }
  if (request.size() > kMaxRoutePoints) {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s",
                     "The maximum number of waypoints you can optimize is 10");
    return false;
  }
  COstrelDocBase* document = route.document();
  ObjectList* list = document ? document->GetObjectList() : nullptr;
  if (!list) return false;

  const std::string path = CUndoRing::Program().Folder() + "/directions.xml";
  CWebBinaryCGI cgi(RoutingHost(), kDirectionsCgiPath, false);
  if (!WriteDirectionsRequest(path, mode, request) || !cgi.PostFile(path)) {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s", "Communication with the server failed");
    return false;
  }

  SaveUndoForObject(route);
  CCurrentOwnerScope owner(document);
  const bool notifications = COstrelObject::NotificationsEnabled();
  COstrelObject::SetNotificationsEnabled(false);

  auto* routed = new CObjRoute;
  routed->AddRef();  // the list's
  list->insert(list->begin(), routed);
  routed->AddRef();  // held while it is built
  routed->SetUniqueId(route.id());
  routed->SetCategory(route.category());
  routed->colour = route.colour;
  routed->thickness = route.thickness;
  routed->line_style = route.line_style;
  routed->transparency = route.transparency;
  routed->EndEditing();  // out of insert mode: the reply adds the points
  route.Delete(false);

  std::string error;
  const bool ok = ReadDirectionsReply(path, *routed, error);
  COstrelObject::SetNotificationsEnabled(notifications);
  if (ok) {
    routed->EndEditing();
    routed->NotifyChange(kChangeModified);
  } else {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s", error.c_str());
    Undo(*list);
  }
  routed->Release();
  RefreshAllOverlayViews();
  return ok;
}
