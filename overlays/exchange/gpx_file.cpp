#include "overlays/exchange/gpx_file.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "app/app_common.h"
#include "core/iso_time.h"
#include "core/program_version.h"
#include "core/xml_node.h"
#include "core/xml_writer.h"
#include "overlays/category.h"
#include "overlays/icon_library.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/numbers.h"

namespace {

using vd::os::FormatC;

constexpr char kIdPrefix[] = "vdid:";
constexpr std::array<int, 4> kLineWidths = {1, 2, 4, 10};
constexpr std::array<const char*, 5> kPatternNames = {"Solid", "Dash", "Dot", "DashDot",
                                                      "DashDotDot"};
constexpr int kMaxTransparency = 4;

// The length of the UTF-8 sequence at the start of text, 0 when it is not well-formed.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

// The element with the text made safe; the element writer picks CDATA where needed.
void Element(std::string& out, std::string_view name, std::string_view text) {
  XmlWriteElement(out, name, XmlSafeText(text));
}

std::string IdText(COstrelObject& object) {
  return FormatC("%s%llX", kIdPrefix, static_cast<unsigned long long>(object.GetUniqueId()));
}

// 0x00BBGGRR as "rrggbb".
std::string RgbText(uint32_t colour) {
  return FormatC("%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

// "rrggbb" (an optional '#' before it) as 0x00BBGGRR; false when it holds no hex number.
bool ParseRgb(std::string_view text, uint32_t& colour) {
  if (text.starts_with('#')) text.remove_prefix(1);
  int64_t rgb = 0;
  size_t used = 0;
  if (!vd::os::ParseInt64(text.substr(0, 6), rgb, 16, &used) || rgb < 0) return false;
  const auto value = static_cast<uint32_t>(rgb);
  colour = (value >> 16 & 0xFF) | (value & 0xFF00) | (value & 0xFF) << 16;
  return true;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool ChildNumber(const CXmlNode& node, std::string_view name, double& out) {
  double value = 0.0;
  if (!node.GetChildDouble(name, value) || !std::isfinite(value)) return false;
  out = value;
  return true;
}

int16_t ClampToInt16(double value) {
  return static_cast<int16_t>(std::clamp(value, 0.0, double{std::numeric_limits<int16_t>::max()}));
}

// The element at a path of child names below node, or null.
const CXmlNode* FindPath(const CXmlNode& node, std::initializer_list<std::string_view> path) {
  const CXmlNode* at = &node;
  for (std::string_view name : path) {
    at = FindChildElement(*at, name);
    if (!at) return nullptr;
  }
  return at;
}

// The id of a "src" text of the form "vdid:<hex>".
bool ParseIdText(std::string_view text, uint64_t& id) {
  const size_t start = text.find(kIdPrefix);
  if (start == std::string_view::npos) return false;
  text.remove_prefix(start + sizeof(kIdPrefix) - 1);
  // Up to 16 hex digits read as unsigned: the high half of an id is often above INT64_MAX.
  uint64_t value = 0;
  size_t digits = 0;
  for (; digits < text.size() && digits < 16 && vd::os::HexDigit(text[digits]) >= 0; ++digits) {
    value = value << 4 | static_cast<uint64_t>(vd::os::HexDigit(text[digits]));
  }
  if (digits == 0 || value == 0) return false;
  id = value;
  return true;
}

void ReadId(const CXmlNode& node, COstrelObject& object) {
  std::string src;
  uint64_t id = 0;
  if (GetChildText(node, "src", src) && ParseIdText(src, id)) object.SetUniqueId(id);
}

void AppendWithSpace(std::string& text, std::string_view more) {
  if (!text.empty()) text += ' ';
  text += more;
}

// ---- Line styles of routes and tracks ----

struct LineStyle {
  uint32_t colour;  // 0x00BBGGRR
  uint8_t transparency;
  uint8_t thickness;
  uint8_t pattern;
};

void WriteLineStyle(std::string& out, const LineStyle& style) {
  out += "<extensions> <xstyle:line>\n";
  Element(out, "xstyle:color", RgbText(style.colour));
  const int transparency = std::min<int>(style.transparency, kMaxTransparency + 1);
  Element(out, "xstyle:opacity", FormatC("%.1f", (5 - transparency) * 0.2));
  const int width = style.thickness < kLineWidths.size() ? kLineWidths[style.thickness] : 2;
  Element(out, "xstyle:width", FormatC("%d", width));
  if (style.pattern < kPatternNames.size())
    Element(out, "xstyle:pattern", kPatternNames[style.pattern]);
  out += "</xstyle:line></extensions>\n";
}

void ReadLineStyle(const CXmlNode& object, LineStyle& style) {
  const CXmlNode* line = FindPath(object, {"extensions", "line"});
  if (!line) return;
  std::string text;
  if (GetChildText(*line, "color", text)) ParseRgb(text, style.colour);
  double value = 0.0;
  if (ChildNumber(*line, "opacity", value)) {
    const double transparency = 5.0 - std::floor(value * 5.0 + 0.001);
    style.transparency =
        static_cast<uint8_t>(std::clamp(transparency, 0.0, double{kMaxTransparency}));
  }
  if (ChildNumber(*line, "width", value)) {
    style.thickness = value < 1.5 ? 0 : value < 3 ? 1 : value < 7 ? 2 : 3;
  }
  text.clear();
  if (GetChildText(*line, "pattern", text)) {
    style.pattern = 0;
    for (size_t i = 0; i < kPatternNames.size(); ++i) {
      if (strcasecmp(text.c_str(), kPatternNames[i]) == 0) style.pattern = static_cast<uint8_t>(i);
    }
  }
}

template <class Object>
LineStyle StyleOf(const Object& object) {
  return {object.colour, object.transparency, object.thickness, object.line_style};
}

template <class Object>
void ApplyStyle(const LineStyle& style, Object& object) {
  object.colour = style.colour;
  object.transparency = style.transparency;
  object.thickness = style.thickness;
  object.line_style = style.pattern;
}

// name, src and type of a route or track.
void WriteObjectHeader(std::string& out, COstrelObject& object) {
  Element(out, "name", object.name);
  Element(out, "src", IdText(object));
  Element(out, "type", CCategory::GetNameOr(object.category()));
}

// The name, else "<prefix> #<number>" when the element has a number, else the object's own.
void ReadObjectHeader(const CXmlNode& node, const char* numbered_prefix, COstrelObject& object) {
  std::string text;
  if (GetChildText(node, "name", text)) {
    object.name = text;
  } else if (GetChildText(node, "number", text)) {
    object.name = std::string(numbered_prefix) + " #" + text;
  }
  text.clear();
  if (GetChildText(node, "type", text)) object.SetCategory(text);
}

// ---- Marks ----

void WriteMarkChildren(std::string& out, CObjWaypoint& mark) {
  const std::string id = IdText(mark);
  out += "<time>" + FormatGpxTime(mark.modified) + "</time>\n";
  Element(out, "name", mark.name);
  if (!mark.comment.empty()) Element(out, "desc", mark.comment);
  Element(out, "src", id);
  if (!mark.link.empty()) out += "<link href=\"" + XmlAttributeText(mark.link) + "\"></link>\n";
  Element(out, "sym", mark.GetSymbolName());
  Element(out, "type", CCategory::GetNameOr(mark.category()));
  out += "<extensions>\n<xstyle:fill>\n";
  Element(out, "xstyle:color", RgbText(mark.colour));
  out += "</xstyle:fill>\n";
  if (mark.radius > 0) {
    const double proximity =
        mark.circle_mode == CObjWaypoint::kAnchorAlarm ? -mark.radius : mark.radius;
    out += "<xgarmin:WaypointExtension>\n";
    Element(out, "xgarmin:Proximity", FormatC("%.1f", proximity));
    out += "</xgarmin:WaypointExtension>\n";
  }
  out += "</extensions>\n";
}

void WritePointElement(std::string& out, const char* element, CObjWaypoint& mark) {
  out +=
      FormatC("<%s lat=\"%.10f\" lon=\"%.10f\">\n", element, mark.position.lat, mark.position.lon);
  WriteMarkChildren(out, mark);
  out += FormatC("</%s>\n", element);
}

CObjWaypoint* ReadMark(const CXmlNode& node, bool route_point, ObjectList& list) {
  auto* mark = new CObjWaypoint;
  mark->AddRef();
  list.push_back(mark);
  mark->position = {GetCoordinateAttribute(node, "lat"), GetCoordinateAttribute(node, "lon")};
  std::string text;
  if (GetChildText(node, "time", text)) {
    if (const int32_t time = ParseGpxTime(text)) mark->created = mark->modified = time;
  }
  text.clear();
  if (GetChildText(node, "name", text)) mark->name = text;
  mark->comment.clear();
  GetChildText(node, "desc", mark->comment);
  text.clear();
  if (GetChildText(node, "cmt", text) && text != mark->comment)
    AppendWithSpace(mark->comment, text);
  text.clear();
  if (GetChildText(node, "src", text) && text.find(kIdPrefix) == std::string::npos) {
    AppendWithSpace(mark->comment, "Source: " + text);
  }
  text.clear();
  if (GetChildText(node, "url", text)) mark->link = text;
  if (const CXmlNode* link = FindChildElement(node, "link")) {
    const char* href = link->GetAttribute("href");
    std::string link_text = href ? std::string(Trim(href)) : std::string();
    if (link_text.empty()) {
      // The element's own text; a "text" child is the link's title.
      for (const CXmlNode& part : link->children()) {
        if (!part.element()) link_text += part.text();
      }
      link_text = std::string(Trim(link_text));
    }
    if (!link_text.empty()) mark->link = link_text;
  }
  text.clear();
  if (GetChildText(node, "type", text)) mark->SetCategory(text);
  bool colour_read = false;
  text.clear();
  if (const CXmlNode* fill = FindPath(node, {"extensions", "fill"});
      fill && GetChildText(*fill, "color", text)) {
    colour_read = ParseRgb(text, mark->colour);
  }
  double proximity = 0.0;
  if (const CXmlNode* extension = FindPath(node, {"extensions", "WaypointExtension"});
      extension && ChildNumber(*extension, "Proximity", proximity) && proximity != 0.0) {
    mark->radius = static_cast<float>(std::fabs(proximity));
    mark->circle_mode = proximity > 0 ? CObjWaypoint::kProximityAlarm : CObjWaypoint::kAnchorAlarm;
  }
  text.clear();
  if (GetChildText(node, "sym", text)) {
    mark->SetSymbolByName(text);
    if (!colour_read) mark->colour = CIconLibrary::SymbolDefaultColour(mark->symbol);
  } else if (route_point) {
    const CAppCommon* app = CAppCommon::Instance();
    mark->SetSymbol(app ? app->default_route_point_symbol : 0);
    if (!colour_read)
      mark->colour = app ? static_cast<uint32_t>(app->default_route_point_colour) : 0xFF0000;
  }
  ReadId(node, *mark);
  mark->being_placed = false;
  return mark;
}

// ---- Routes and tracks ----

int ReadRoute(const CXmlNode& node, ObjectList& list, ProgressSteps& steps, int64_t& done) {
  auto* route = new CObjRoute;
  route->AddRef();
  list.push_back(route);
  ReadObjectHeader(node, "Route", *route);
  LineStyle style = StyleOf(*route);
  ReadLineStyle(node, style);
  ApplyStyle(style, *route);
  uint32_t first = std::numeric_limits<uint32_t>::max();
  uint32_t last = 0;
  int points = 0;
  for (const CXmlNode& child : node.children()) {
    if (!steps(++done)) return 1 + points;
    if (!child.IsElementNamed("rtept")) continue;
    CObjWaypoint* mark = ReadMark(child, true, list);
    route->LinkWaypoint(mark);
    first = std::min(first, static_cast<uint32_t>(mark->created));
    last = std::max(last, static_cast<uint32_t>(mark->modified));
    ++points;
  }
  // A route without points keeps the time it was made.
  if (points > 0) {
    route->created = static_cast<int32_t>(first);
    route->modified = static_cast<int32_t>(last);
  }
  ReadId(node, *route);
  route->EndEditing();
  return 1 + points;
}

// The reading of a file's objects counts a unit per object and per route or track point.
int64_t UnitsOf(const CXmlNode& object) {
  int64_t units = 1;
  if (object.IsElementNamed("rte")) units += object.children().size();
  if (object.IsElementNamed("trk")) {
    for (const CXmlNode& segment : object.children()) units += segment.children().size();
  }
  return units;
}

int ReadTrack(const CXmlNode& node, ObjectList& list, ProgressSteps& steps, int64_t& done) {
  auto* track = new CObjTrack;
  track->AddRef();
  list.push_back(track);
  ReadObjectHeader(node, "Track", *track);
  LineStyle style = StyleOf(*track);
  ReadLineStyle(node, style);
  ApplyStyle(style, *track);
  bool cadence_seen = false;
  bool temperature_seen = false;
  int32_t previous_time = 0;
  std::string text;  // one for all points: a time's text does not fit in a short string
  for (const CXmlNode& segment : node.children()) {
    if (!segment.IsElementNamed("trkseg")) continue;
    for (const CXmlNode& point : segment.children()) {
      if (!steps(++done)) return 1;
      if (!point.IsElementNamed("trkpt")) continue;
      int32_t time = 0;
      if (GetChildText(point, "time", text)) {
        const int32_t read = ParseGpxTime(text);
        // A repeated time would make the track drop the point: keep the point, without time.
        time = read == previous_time ? 0 : read;
        previous_time = read;
      }
      double altitude = 0.0;
      ChildNumber(point, "ele", altitude);
      int16_t heart_rate = 0;
      int16_t other = 0;
      if (const CXmlNode* extension = FindPath(point, {"extensions", "TrackPointExtension"})) {
        double value = 0.0;
        if (ChildNumber(*extension, "hr", value)) heart_rate = ClampToInt16(value);
        if (ChildNumber(*extension, "cad", value)) {
          other = ClampToInt16(value);
          cadence_seen = true;
        } else if (!cadence_seen && ChildNumber(*extension, "atemp", value)) {
          // The nearest tenth below zero too: int() would truncate -1.0 degrees to -0.9.
          other =
              static_cast<int16_t>(std::clamp(std::floor(value * 10 + 0.49999), -32768.0, 32767.0));
          temperature_seen = true;
        }
      }
      track->AddPoint(GetCoordinateAttribute(point, "lat"), GetCoordinateAttribute(point, "lon"),
                      time, static_cast<float>(altitude), heart_rate, other);
    }
  }
  if (cadence_seen) {
    track->other_label = "Cadence (rpm)";
  } else if (temperature_seen) {
    track->other_label = "Temperature (degrees C)";
    track->other_scale = 0.1f;
  }
  ReadId(node, *track);
  track->RecomputeTotals();
  return 1;
}

}  // namespace

// ---- Shared helpers ----

std::string GpxCreator() { return "Vardune " + GetVersionString() + "." + GetBuildString(); }

std::string XmlSafeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.front());
    size_t length = Utf8SequenceLength(text);
    const bool control = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
    if (length == 0 || control) {
      out += '?';
      length = 1;
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

std::string XmlAttributeText(std::string_view text) {
  std::string out;
  for (char c : XmlSafeText(text)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string FormatGpxTime(int32_t time) { return FormatIsoTime(static_cast<uint32_t>(time)); }

int32_t ParseGpxTime(std::string_view text) {
  const double seconds = std::floor(ParseIsoTime(text));
  if (!(seconds > 0 && seconds <= std::numeric_limits<uint32_t>::max())) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(seconds));
}

double GetCoordinateAttribute(const CXmlNode& node, std::string_view name) {
  const double value = node.GetAttributeDouble(name, 0.0);
  return std::isfinite(value) ? value : 0.0;
}

const CXmlNode* FindChildElement(const CXmlNode& node, std::string_view name) {
  for (const CXmlNode& child : node.children()) {
    if (child.IsElementNamed(name)) return &child;
  }
  return nullptr;
}

bool GetChildText(const CXmlNode& node, std::string_view name, std::string& out) {
  const CXmlNode* child = FindChildElement(node, name);
  if (!child) return false;
  // Mostly one run of text: taken as it is, into memory out already holds.
  if (const auto parts = child->children(); parts.size() == 1 && !parts[0].element()) {
    out.assign(Trim(parts[0].text()));
    return true;
  }
  std::string text;
  child->GetInnerText(text);
  out = Trim(text);
  return true;
}

// ---- Writing ----

void WriteGpxWaypoint(std::string& out, CObjWaypoint& mark) { WritePointElement(out, "wpt", mark); }

void WriteGpxRoute(std::string& out, CObjRoute& route) {
  if (route.points().empty()) return;
  out += "<rte>\n";
  WriteObjectHeader(out, route);
  WriteLineStyle(out, StyleOf(route));
  for (CObjWaypoint* mark : route.points()) WritePointElement(out, "rtept", *mark);
  out += "</rte>\n";
}

void WriteGpxTrack(std::string& out, CObjTrack& track) {
  const auto& points = track.points();
  if (points.empty()) return;
  out += "<trk>\n";
  WriteObjectHeader(out, track);
  WriteLineStyle(out, StyleOf(track));
  out += "<trkseg>\n";
  for (const CTrackpoint& point : points) {
    out += FormatC("<trkpt lat=\"%.10f\" lon=\"%.10f\">", point.position.lat, point.position.lon);
    // A stored file may carry any float: what no track reaches is written as no altitude.
    const float altitude =
        std::fabs(point.altitude) <= kMaxTrackAltitudeMetres ? point.altitude : 0.0f;
    if (altitude != 0) out += FormatC("<ele>%d</ele>", static_cast<int>(altitude));
    if (point.time != 0) out += "<time>" + FormatGpxTime(point.time) + "</time>";
    out += "</trkpt>\n";
  }
  if (track.closed) {
    out += FormatC("<trkpt lat=\"%.10f\" lon=\"%.10f\"></trkpt>\n", points.front().position.lat,
                   points.front().position.lon);
  }
  out += "</trkseg>\n</trk>\n";
}

std::string MakeGpxDocument(const ObjectList& list) {
  std::string out = kXmlDeclaration;
  out += "<gpx version=\"1.1\"\n";
  out += "creator=\"" + GpxCreator() + "\"\n";
  out +=
      "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
      "xmlns:xstyle=\"http://www.topografix.com/GPX/gpx_style/0/2\"\n"
      "xmlns:xgarmin=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"\n"
      "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
      "http://www.topografix.com/GPX/1/1/gpx.xsd "
      "http://www.topografix.com/GPX/gpx_style/0/2 "
      "http://www.topografix.com/GPX/gpx_style/0/2/gpx_style.xsd "
      "http://www.garmin.com/xmlschemas/GpxExtensions/v3 "
      "http://www8.garmin.com/xmlschemas/GpxExtensionsv3.xsd\">\n";
  for (COstrelObject* object : list) {
    auto* mark = dynamic_cast<CObjWaypoint*>(object);
    if (mark && mark->IsExportable()) WriteGpxWaypoint(out, *mark);
  }
  for (COstrelObject* object : list) {
    if (auto* route = dynamic_cast<CObjRoute*>(object)) WriteGpxRoute(out, *route);
  }
  for (COstrelObject* object : list) {
    if (auto* track = dynamic_cast<CObjTrack*>(object)) WriteGpxTrack(out, *track);
  }
  out += "</gpx>\n";
  return out;
}

// ---- Reading ----

int ReadGpx(const CXmlNode& gpx, ObjectList& list, const ProgressFn& progress) {
  int64_t units = 0;
  if (progress) {
    for (const CXmlNode& child : gpx.children()) units += UnitsOf(child);
  }
  ProgressSteps steps(progress, units);
  int64_t done = 0;
  int count = 0;
  for (const CXmlNode& child : gpx.children()) {
    if (!steps(++done)) break;
    if (child.IsElementNamed("wpt")) {
      ReadMark(child, false, list);
      ++count;
    } else if (child.IsElementNamed("rte")) {
      count += ReadRoute(child, list, steps, done);
    } else if (child.IsElementNamed("trk")) {
      count += ReadTrack(child, list, steps, done);
    }
  }
  return count;
}
