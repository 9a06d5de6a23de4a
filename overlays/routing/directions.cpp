#include "overlays/routing/directions.h"

#include <cstdint>

#include "core/persistent_value.h"
#include "core/type_file_out.h"
#include "core/xml_document.h"
#include "core/xml_node.h"
#include "geodesy/local_projection.h"

namespace {

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

}  // namespace

std::string RoutingHost() {
  PersistentString host("routing_host");
  return host.value.empty() ? kDefaultRoutingHost : host.value;
}

bool WriteDirectionsRequest(const std::string& path, const std::string& mode,
                            const std::vector<RoutingPoint>& points) {
  // A temporary file: a link at its name is replaced, not written through.
  CTypeFileOut out(path, vd::os::Links::kReplace);
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
