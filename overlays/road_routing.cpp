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
