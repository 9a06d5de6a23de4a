#include "viewer_lib/overlay_gpx_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "core/iso_time.h"
#include "core/string_utils.h"
#include "core/xml_document.h"
#include "core/xml_node.h"
#include "core/xml_writer.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/track_manager.h"

namespace {

constexpr const char* kLinePatterns[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot"};

constexpr char kHeader[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<gpx version=\"1.1\" \n"
    "creator=\"Vardune Windows https://www.vardune.com\"\n"
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
    " xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
    " xmlns:xstyle=\"http://www.topografix.com/GPX/gpx_style/0/2\"\n"
    " xmlns:xgarmin=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"\n"
    " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
    "http://www.topografix.com/GPX/1/1/gpx.xsd "
    "http://www.topografix.com/GPX/gpx_style/0/2 "
    "http://www.topografix.com/GPX/gpx_style/0/2/gpx_style.xsd "
    "http://www.garmin.com/xmlschemas/GpxExtensions/v3 "
    "http://www8.garmin.com/xmlschemas/GpxExtensionsv3.xsd\">\n";

// Positions of duplicates differ by less than this, in degrees.
constexpr double kSamePosition = 1.7e-05;
// A dense track (more points than this, less than kDenseInterval seconds apart on average) is
// thinned after reading, with kThinTolerance square metres.
constexpr size_t kDenseCount = 100;
constexpr double kDenseInterval = 5.0;
constexpr double kThinTolerance = 4.0;

bool SamePosition(double lat1, double lon1, double lat2, double lon2) {
  return std::fabs(lat1 - lat2) < kSamePosition && std::fabs(lon1 - lon2) < kSamePosition;
}

bool SameHeading(const CSyncable& a, const CSyncable& b) {
  return a.deleted == b.deleted && EqualsNoCase(a.name, b.name);
}

bool SameRoute(const COverlayRoute& a, const COverlayRoute& b) {
  if (!SameHeading(a, b) || a.points.size() != b.points.size()) return false;
  for (size_t i = 0; i < a.points.size(); ++i) {
    const COverlayMark& p = *a.points[i];
    const COverlayMark& q = *b.points[i];
    if (!SamePosition(p.latitude, p.longitude, q.latitude, q.longitude)) return false;
  }
  return true;
}

bool SamePoint(const CTrackPoint& p, const CTrackPoint& q) {
  return SamePosition(p.latitude, p.longitude, q.latitude, q.longitude) && p.time == q.time;
}

bool SameTrack(const COverlayTrack& a, const COverlayTrack& b) {
  if (!SameHeading(a, b) || a.PointCount() != b.PointCount()) return false;
  const auto a_first = a.GetFirstPoint(), b_first = b.GetFirstPoint();
  const auto a_last = a.GetLastPoint(), b_last = b.GetLastPoint();
  if (!a_first || !b_first) return !a_first && !b_first;
  return SamePoint(*a_first, *b_first) && SamePoint(*a_last, *b_last);
}

// The child's inner text, or "" when there is none.
std::string ChildText(const CXmlNode& element, std::string_view name) {
  std::string text;
  element.GetChildString(name, text);
  return text;
}

CXmlNode* Child(CXmlNode& element, std::string_view name) {
  for (CXmlNode& child : element.children()) {
    if (child.IsElementNamed(name)) return &child;
  }
  return nullptr;
}

// The id after "vdid:" in "src", or in "desc" when there is no "src"; 0 when there is none.
uint64_t ReadGpxSyncId(const CXmlNode& element) {
  std::string text;
  if (!element.GetChildString("src", text)) element.GetChildString("desc", text);
  const size_t at = text.find("vdid:");
  if (at == std::string::npos) return 0;
  const char* first = text.data() + at + 5;
  const char* last = text.data() + text.size();
  while (first < last && (*first == ' ' || *first == '\t')) ++first;
  uint64_t id = 0;
  if (std::from_chars(first, last, id, 16).ec != std::errc()) return 0;
  return id;
}

void ReadGpxDescription(const CXmlNode& element, std::string& description) {
  element.GetChildString("desc", description);
  std::string comment;
  if (element.GetChildString("cmt", comment) && comment != description) {
    if (!description.empty()) description += ' ';
    description += comment;
  }
  const size_t source = description.find("Source: vdid:");
  if (source != std::string::npos) description.resize(source);
}

// The creation time of a "time" child; unchanged when absent or unreadable.
void ReadGpxCreated(const CXmlNode& element, double& created) {
  std::string text;
  if (!element.GetChildString("time", text)) return;
  const double seconds = ParseIsoTime(text);
  if (seconds != 0) created = TimeFrom1970(seconds);
}

void ReadGpxWaypointFields(CXmlNode& element, COverlayMark& mark) {
  mark.latitude = element.GetAttributeDouble("lat", 0.0);
  mark.longitude = element.GetAttributeDouble("lon", 0.0);
  ReadGpxCreated(element, mark.created);
  element.GetChildString("name", mark.name);
  ReadGpxDescription(element, mark.description);
  element.GetChildString("url", mark.link);
  if (CXmlNode* link = Child(element, "link")) {
    // The reader has already decoded the attribute's entities.
    if (const char* href = link->GetAttribute("href")) mark.link = href;
    if (mark.link.empty()) link->GetInnerText(mark.link);
  }
  element.GetChildString("type", mark.type);
  if (CXmlNode* extensions = Child(element, "extensions")) {
    if (CXmlNode* fill = Child(*extensions, "fill")) {
      ParseGpxColour(ChildText(*fill, "color"), mark.colour);
    }
    float proximity = 0.0f;
    if (CXmlNode* garmin = Child(*extensions, "WaypointExtension");
        garmin != nullptr && garmin->GetChildFloat("Proximity", proximity)) {
      mark.alarm_radius = proximity;
      // A negative proximity is an anchor alarm of that radius.
      if (proximity < 0) {
        mark.anchor_radius = -proximity;
        mark.alarm_radius = 2 * -proximity + 1000.0f;
      }
    }
  }
  std::string symbol;
  if (element.GetChildString("sym", symbol)) mark.icon = NormaliseIconName(symbol);
}

void ReadGpxLineStyle(CXmlNode* extensions, uint32_t& colour, float& width, int32_t& pattern) {
  CXmlNode* line = extensions != nullptr ? Child(*extensions, "line") : nullptr;
  if (line == nullptr) return;
  ParseGpxColour(ChildText(*line, "color"), colour);
  float value = 0.0f;
  if (line->GetChildFloat("opacity", value) && std::isfinite(value)) {
    const uint32_t alpha = static_cast<uint32_t>(std::clamp(value * 255.0f, 0.0f, 255.0f));
    colour = (colour & 0x00FFFFFFu) | alpha << 24;
  }
  if (line->GetChildFloat("width", value)) width = value;
  std::string name;
  if (line->GetChildString("pattern", name)) pattern = FindLinePattern(name);
}

// The name, or "Route #" and the "number" child's text when there is no name.
void ReadGpxLineName(const CXmlNode& element, std::string& name) {
  if (element.GetChildString("name", name)) return;
  std::string number;
  if (element.GetChildString("number", number)) name = "Route #" + number;
}

// The object of the list with a non-zero id, or null.
template <class T>
T* FindBySyncId(const std::vector<std::unique_ptr<T>>& list, uint64_t id) {
  if (id == 0) return nullptr;
  for (const auto& object : list) {
    if (object->sync_id == id) return object.get();
  }
  return nullptr;
}

// An object read again: live, not deleted, modified now.
void Revive(CSyncable& object) {
  object.deleted = false;
  object.live = true;
  object.modified = GetNow();
}

void ReadGpxMark(CXmlNode& element, CMarkManager& manager) {
  const uint64_t id = ReadGpxSyncId(element);
  COverlayMark* mark = FindBySyncId(manager.marks, id);
  std::unique_ptr<COverlayMark> created;
  if (mark != nullptr) {
    Revive(*mark);
    mark->Reset();
  } else {
    created = std::make_unique<COverlayMark>();
    created->sync_id = id;
    mark = created.get();
  }
  ReadGpxWaypointFields(element, *mark);
  if (created) {
    for (const auto& other : manager.marks) {
      if (SameHeading(*other, *mark) &&
          SamePosition(other->latitude, other->longitude, mark->latitude, mark->longitude)) {
        return;
      }
    }
    mark = manager.AddMark(std::move(created));
  }
  mark->NotifyChange(COverlayObject::kAppeared);
}

void ReadGpxRoute(CXmlNode& element, CMarkManager& manager) {
  const uint64_t id = ReadGpxSyncId(element);
  COverlayRoute* route = FindBySyncId(manager.routes, id);
  std::unique_ptr<COverlayRoute> created;
  if (route != nullptr) {
    Revive(*route);
    route->Reset();
  } else {
    created = std::make_unique<COverlayRoute>();
    created->sync_id = id;
    route = created.get();
  }
  ReadGpxLineName(element, route->name);
  ReadGpxDescription(element, route->description);
  element.GetChildString("type", route->type);
  ReadGpxLineStyle(Child(element, "extensions"), route->colour, route->width, route->pattern);
  CXmlNode::Cursor cursor = 0;
  while (CXmlNode* point_element = element.FindNextChild("rtept", cursor)) {
    auto point = std::make_unique<COverlayMark>(true);
    ReadGpxWaypointFields(*point_element, *point);
    route->InsertPoint(std::move(point), route->points.size());
  }
  if (created) {
    for (const auto& other : manager.routes) {
      if (SameRoute(*other, *route)) return;
    }
    route = manager.AddRoute(std::move(created));
  }
  route->AnnounceAll(COverlayObject::kAppeared);
}

void ReadGpxTrack(CXmlNode& element, CTrackManager& manager) {
  const uint64_t id = ReadGpxSyncId(element);
  COverlayTrack* track = FindBySyncId(manager.tracks, id);
  std::unique_ptr<COverlayTrack> created;
  if (track != nullptr) {
    Revive(*track);
    track->Reset();
  } else {
    created = std::make_unique<COverlayTrack>();
    created->sync_id = id;
    track = created.get();
  }
  ReadGpxLineName(element, track->name);
  ReadGpxDescription(element, track->description);
  element.GetChildString("type", track->type);
  ReadGpxLineStyle(Child(element, "extensions"), track->colour, track->width, track->pattern);
  size_t count = 0;
  CXmlNode::Cursor segment_cursor = 0;
  while (CXmlNode* segment = element.FindNextChild("trkseg", segment_cursor)) {
    CXmlNode::Cursor point_cursor = 0;
    while (CXmlNode* point_element = segment->FindNextChild("trkpt", point_cursor)) {
      CTrackPoint point;
      point.latitude = point_element->GetAttributeDouble("lat", 0.0);
      point.longitude = point_element->GetAttributeDouble("lon", 0.0);
      std::string time;
      if (point_element->GetChildString("time", time)) point.time = ParseIsoTime(time);
      float elevation = 0.0f;
      if (point_element->GetChildFloat("ele", elevation) && std::isfinite(elevation)) {
        point.elevation = static_cast<int32_t>(std::lround(std::clamp(elevation, -1e6f, 1e6f)));
      }
      track->AddPoint(point, false);
      ++count;
    }
  }
  if (count > kDenseCount && track->GetDuration() / static_cast<double>(count) < kDenseInterval) {
    track->Simplify(kThinTolerance);
  }
  if (created) {
    for (const auto& other : manager.tracks) {
      if (SameTrack(*other, *track)) return;
    }
    track = manager.AddTrack(std::move(created));
  }
  track->AnnounceSections(COverlayObject::kAppeared);
}

}  // namespace

const char* GetLinePatternName(int32_t index) {
  return index >= 0 && index <= 4 ? kLinePatterns[index] : nullptr;
}

int32_t FindLinePattern(std::string_view name) {
  for (int32_t i = 0; i <= 4; ++i) {
    if (EqualsNoCase(name, kLinePatterns[i])) return i;
  }
  return 0;
}

bool ParseGpxColour(std::string_view text, uint32_t& colour) {
  const std::string terminated(text);
  unsigned red = 0, green = 0, blue = 0;
  if (std::sscanf(terminated.c_str(), "%2x%2x%2x", &red, &green, &blue) != 3) return false;
  colour = 0xFF000000u | red << 16 | green << 8 | blue;
  return true;
}

bool GpxWriter::Open(const std::string& path) {
  out_ = nullptr;
  buffer_.clear();
  if (!file_.Open(path)) return false;
  out_ = &buffer_;
  WriteHeader();
  return true;
}

void GpxWriter::Attach(std::string& out) {
  file_.Discard();
  out_ = &out;
  WriteHeader();
}

void GpxWriter::WriteHeader() {
  if (out_ != nullptr) *out_ += kHeader;
}

bool GpxWriter::Write(const CSyncable& object) {
  return out_ != nullptr && object.WriteGPX(*out_);
}

void GpxWriter::WriteElement(std::string& out, std::string_view name, std::string_view text) {
  XmlWriteElement(out, name, text);
}

bool GpxWriter::Close() {
  if (out_ == nullptr) return false;
  *out_ += "</gpx>\n";
  const bool to_file = out_ == &buffer_;
  out_ = nullptr;
  if (!to_file) return true;
  const bool saved = file_.file().Write(buffer_.data(), buffer_.size()) && file_.Commit();
  buffer_.clear();
  return saved;
}

bool ImportGpxDocument(const std::string& path) {
  CXmlDocument document;
  CXmlNode* root = document.Load(path);
  if (root == nullptr) return false;
  root->ResetCursor();
  CXmlNode* gpx = root->FindNextDescendant("gpx");
  return gpx != nullptr && ReadGpxObjects(*gpx) > 0;
}

int ReadGpxObjects(CXmlNode& gpx) {
  CMarkManager* marks = CMarkManager::Instance();
  CTrackManager* tracks = CTrackManager::Instance();
  int count = 0;
  for (CXmlNode& child : gpx.children()) {
    if (!child.element()) continue;
    if (marks != nullptr && child.IsElementNamed("wpt")) {
      ReadGpxMark(child, *marks);
    } else if (marks != nullptr && child.IsElementNamed("rte")) {
      ReadGpxRoute(child, *marks);
    } else if (tracks != nullptr && child.IsElementNamed("trk")) {
      ReadGpxTrack(child, *tracks);
    } else {
      continue;
    }
    ++count;
  }
  return count;
}
