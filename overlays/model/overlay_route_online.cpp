#include "overlays/model/overlay_route_online.h"

#include <memory>
#include <utility>
#include <vector>

#include "app/app_common.h"
#include "core/web_binary_cgi.h"
#include "core/xml_document.h"
#include "core/xml_node.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_route.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/overlay_track.h"
#include "overlays/routing/directions.h"
#include "platform/os/folders.h"

namespace {

constexpr double kMaxLengthMetres = 500000.0;
constexpr size_t kMaxPoints = 10;
constexpr double kThinTolerance = 256.0;  // square metres
// Opaque: the colours of the newer model carry an alpha byte.
constexpr uint32_t kTurnColour = 0xFF00C800;
constexpr uint32_t kDotColour = 0xFF000000;
constexpr char kCaption[] = "Problem";
constexpr char kRevert[] = "revert";

// What the route last optimised had before: its points and texts.
struct SavedRoute {
  COverlayRoute* route = nullptr;
  std::vector<std::unique_ptr<COverlayMark>> points;
  std::string name;
  std::string description;
  std::string type;
};

SavedRoute& Saved() {
  static SavedRoute saved;
  return saved;
}

// Forgets the saved route and deletes the kept points (taken out of the list first, so that
// nobody told of their going away finds them in it).
void DropSaved() {
  SavedRoute& saved = Saved();
  saved.route = nullptr;
  std::vector<std::unique_ptr<COverlayMark>> old = std::move(saved.points);
  saved.points.clear();
  old.clear();
}

// The route regains its points and texts from before; what it holds now is deleted.
void GiveBack(COverlayRoute& route) {
  SavedRoute& saved = Saved();
  std::swap(route.points, saved.points);
  route.name = saved.name;
  route.description = saved.description;
  route.type = saved.type;
  DropSaved();
}

void Problem(const std::string& text) {
  if (COverlayShell* shell = COverlayShell::Get()) shell->ShowWarning(kCaption, text);
}

std::string RequestPath() {
  const CAppCommon* app = CAppCommon::Instance();
  const std::string folder =
      app != nullptr && !app->temp_folder.empty() ? app->temp_folder : vd::os::TempFolder();
  return folder + "/directions.xml";
}

// Sends the request file and replaces it with the reply.
bool Exchange(const std::string& path) {
  std::string host = RoutingHost();
  bool secure = true;
  for (const auto& [scheme, is_secure] : {std::pair{"http://", false}, {"https://", true}}) {
    if (host.starts_with(scheme)) {
      host.erase(0, std::char_traits<char>::length(scheme));
      secure = is_secure;
    }
  }
  CWebBinaryCGI cgi(host, kDirectionsCgiPath, secure);
  return cgi.PostFile(path);
}

std::string ChildText(const CXmlNode& node, std::string_view name) {
  std::string text;
  node.GetChildString(name, text);
  return text;
}

}  // namespace

bool ReadOverlayDirectionsReply(const std::string& path, COverlayRoute& route,
                                std::string& error) {
  CXmlDocument document;
  CXmlNode* reply = FindDirectionsRoute(document, path, error);
  if (reply == nullptr) return false;
  route.name = ChildText(*reply, "summary");
  CXmlNode* leg = reply->FindChild("leg");
  CXmlNode::Cursor cursor = 0;
  std::vector<RoutingPoint> decoded;
  while (CXmlNode* step = leg->FindNextChild("step", cursor)) {
    CXmlNode* polyline = step->FindChild("polyline");
    if (polyline == nullptr) continue;
    std::string encoded;
    polyline->GetChildRawString("points", encoded);
    // A polyline that breaks off part way still gives the points before the break.
    DecodeDirectionsPolyline(encoded, decoded);
    // A step without points leaves the previous step's end in place.
    if (decoded.empty()) continue;
    COverlayTrack line;
    for (const RoutingPoint& point : decoded) {
      line.AddPoint(CTrackPoint{point.lat, point.lon, 0.0, 0, 0}, false);
    }
    // The step begins where the previous one ended: that end gives way to this turn mark.
    if (!route.points.empty()) route.points.pop_back();
    const size_t first = line.AppendToRoute(kThinTolerance, route);
    for (size_t i = first; i < route.points.size(); ++i) {
      COverlayMark& mark = *route.points[i];
      if (i == first) {
        step->GetChildString("maneuver", mark.name);
        mark.icon = "Flag";
        mark.colour = kTurnColour;
      } else {
        mark.icon = "Tinydot";
        mark.colour = kDotColour;
      }
    }
  }
  if (!route.points.empty()) {
    route.points.front()->name += ChildText(*leg, "start_address");
    COverlayMark& last = *route.points.back();
    last.name += ChildText(*leg, "end_address");
    last.icon = "Flag";
    last.colour = kTurnColour;
  }
  if (const CXmlNode* duration = leg->FindChild("duration")) {
    route.description = "Duration " + ChildText(*duration, "text");
  }
  route.modified = GetNow();
  return true;
}

void ShowOptimiseRouteTip() {
  CMarkManager::Persistant& settings = CMarkManager::Settings();
  if (settings.optimize_route_tip) return;
  const char* tip =
      "Note: The routing algorithm has limited knowledge of walking and cycling trails. Use "
      "\"Revert\" if it does not route along the desired path";
  if (COverlayShell* shell = COverlayShell::Get()) shell->ShowHint(tip);
  settings.optimize_route_tip = true;
  settings.MarkDirty();
  PersistantData::SaveAll();
}

void ForgetOptimisedRoute(const COverlayRoute* route) {
  if (Saved().route == route) DropSaved();
}

bool COverlayRoute::OptimiseOnline(COverlayRoute& route, const std::string& mode) {
  SavedRoute& saved = Saved();
  if (mode == kRevert) {
    if (&route != saved.route) {
      Problem("Cannot undo optimization on this route.");
      return false;
    }
    // The routed points go: they are what the saved list holds after the swap.
    std::swap(route.points, saved.points);
    std::swap(route.name, saved.name);
    std::swap(route.description, saved.description);
    std::swap(route.type, saved.type);
    route.AnnounceAll(kAppeared);
    route.modified = GetNow();
    DropSaved();
    return true;
  }
  if (&route != saved.route) {
    if (route.GetLength() > kMaxLengthMetres) {
      Problem("The route is too long (500km max).");
      return false;
    }
    if (route.points.size() > kMaxPoints) {
      Problem("The route has more than 10 waypoints.");
      return false;
    }
    if (route.points.size() < 2) return false;
    DropSaved();
    route.AnnounceAll(kGoingAway);
    std::swap(route.points, saved.points);
    saved.name = route.name;
    saved.description = route.description;
    saved.type = route.type;
    saved.route = &route;
  }
  // A second optimisation with another mode sends the points from before the first again.
  std::vector<RoutingPoint> request;
  for (const auto& mark : saved.points) request.push_back({mark->longitude, mark->latitude});
  const std::string path = RequestPath();
  if (!WriteDirectionsRequest(path, mode, request) || !Exchange(path)) {
    GiveBack(route);
    Problem("Communication with the server failed");
    route.AnnounceAll(kAppeared);
    return false;
  }
  route.Clear();
  std::string error;
  const bool ok = ReadOverlayDirectionsReply(path, route, error);
  if (!ok) {
    GiveBack(route);
    Problem(error);
  }
  route.AnnounceAll(kAppeared);
  return ok;
}
