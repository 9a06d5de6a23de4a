#include "overlays/model/overlay_mark.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "core/serializable_stream.h"
#include "core/xml_writer.h"
#include "core/iso_time.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/default_units.h"
#include "app/user_notification_manager.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_painter.h"
#include "overlays/model/overlay_route.h"
#include "overlays/model/overlay_selection.h"
#include "overlays/model/overlay_sheets.h"
#include "overlays/model/overlay_time.h"
#include "platform/os/numbers.h"

const CSerializable::TypeOf<COverlayMark> COverlayMark::cType(COverlayMark::kTypeId);

namespace {

// The number that follows prefix in name, or 0.
long NumberAfter(const std::string& name, const std::string& prefix) {
  if (!name.starts_with(prefix)) return 0;
  long value = 0;
  const char* begin = name.data() + prefix.size();
  std::from_chars(begin, name.data() + name.size(), value);
  return value;
}

// The name of a copy: "<prefix>#..." becomes the prefix and the next free number.
std::string CopyName(const std::string& name) {
  const size_t hash = name.find('#', 1);
  if (hash == std::string::npos) return name;
  const std::string prefix = name.substr(0, hash);
  long largest = 0;
  if (CMarkManager* manager = CMarkManager::Instance()) {
    manager->ForEachMark([&](const COverlayMark& mark) {
      largest = std::max(largest, NumberAfter(mark.name, prefix));
    });
  }
  return prefix + std::to_string(largest + 1);
}

}  // namespace

std::string NormaliseIconName(std::string_view name) {
  if (name == "MOB") return std::string(name);
  std::string result;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ' ') {
      result += '_';
    } else if (std::isalpha(u)) {
      result += static_cast<char>(result.empty() ? std::toupper(u) : std::tolower(u));
    } else if (std::isdigit(u) || c == '_') {
      result += c;
    }
  }
  return result;
}

uint32_t COverlayMark::NextAlarmId() {
  static uint32_t last = 0x80000000u;
  return ++last;
}

COverlayMark::COverlayMark(bool route_point)
    : COverlayObject(route_point ? kRoutePoint : kMark, kDrawKeyMark) {
  const CMarkManager::Persistant& settings = CMarkManager::Settings();
  icon = route_point ? settings.default_wp_icon : settings.default_mark_icon;
  colour = route_point ? settings.default_wp_color2 : settings.default_mark_color2;
}

COverlayMark::COverlayMark(const COverlayMark& other)
    : COverlayObject(other.kind, kDrawKeyMark),
      CSyncable(),
      link(other.link),
      colour(other.colour),
      icon(other.icon),
      anchor_radius(other.anchor_radius),
      alarm_radius(other.alarm_radius) {
  description = other.description;
  type = other.type;
  keep = other.keep;
  purge = other.purge;
  name = CopyName(other.name);
}

COverlayMark::~COverlayMark() {
  if (CMarkManager* manager = CMarkManager::Instance()) manager->ForgetObject(this);
  if (alarm_raised) {
    UserNotificationManager::Instance().Acknowledge(AlarmIdentifier());
  }
}

bool COverlayMark::Serialize(CSerializableStream& stream) {
  return SerializeBody(stream, parent != nullptr);
}

bool COverlayMark::SerializeBody(CSerializableStream& stream, bool route_point) {
  double stored_created = created;
  bool ok;
  {
    CSerializableStream::Block block(stream);
    ok = block.ok() && stream.ExchangeString(name) &&
         stream.ExchangeRaw(&latitude, sizeof latitude) &&
         stream.ExchangeRaw(&longitude, sizeof longitude) &&
         stream.ExchangeRaw(&stored_created, sizeof stored_created) &&
         stream.ExchangeString(link) && stream.ExchangeString(description) &&
         stream.ExchangeBool(is_target) && stream.ExchangeBool(keep) &&
         stream.ExchangeString(icon) && stream.ExchangeColour(colour) &&
         stream.ExchangeRaw(&anchor_radius, sizeof anchor_radius) &&
         stream.ExchangeRaw(&alarm_radius, sizeof alarm_radius);
    if (ok && !route_point && !(stream.IsReading() && stream.AtBlockEnd())) {
      ok = SerializeBase(stream);
    }
    ok = ok && stream.ExchangeString(type);
  }
  if (stream.IsReading()) {
    icon = NormaliseIconName(icon);
    icon_entry_ = nullptr;
    if (stored_created != 0.0 && stored_created < created) created = stored_created;
  }
  return ok && !stream.Failed();
}

const COverlayIconCache::Entry& COverlayMark::ResolveIcon() {
  COverlayIconCache& cache = COverlayIconCache::Global();
  if (icon_entry_ != nullptr && resolved_icon_ == icon && resolved_colour_ == colour &&
      resolved_generation_ == cache.generation()) {
    return *icon_entry_;
  }
  const CMarkManager::Persistant& settings = CMarkManager::Settings();
  const std::string& fallback = parent != nullptr ? settings.default_wp_icon
                                                  : settings.default_mark_icon;
  const COverlayIconCache::Entry* entry = &cache.Lookup(NormaliseIconName(icon), colour);
  for (const std::string& other : {fallback, std::string("Flag")}) {
    if (entry->image) break;
    const COverlayIconCache::Entry& candidate = cache.Lookup(NormaliseIconName(other), colour);
    if (candidate.image) entry = &candidate;
  }
  icon_entry_ = entry;
  resolved_icon_ = icon;
  resolved_colour_ = colour;
  resolved_generation_ = cache.generation();
  return *entry;
}

void COverlayMark::Project(CScreenPoints& points, const ChartViewGeoref& georef) {
  points.Clear();
  float x;
  float y;
  if (georef.LatLonToScreen(latitude, longitude, x, y)) {
    points.Append({x, y});
    points.valid = true;
  }
  points.ComputeBounds();
}

void COverlayMark::Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                        const CScreenPoints& points) {
  if (points.points.empty() || !live) return;
  if (COverlayPainter* painter = COverlayPainter::Get()) painter->DrawMark(*this, dc, view, points);
}

bool COverlayMark::OnTap(float x, float y, const GeoPoint& /*position*/) {
  CMarkManager* manager = CMarkManager::Instance();
  COverlayRoute* creating = manager != nullptr ? manager->route_being_created() : nullptr;
  if (creating == nullptr || parent != nullptr) {
    COverlaySelection::Replace(this);
    CDefaultUnits::Global().UpdateMagneticVariation(latitude, longitude, TimeTo1970(GetNow()));
    NotifyChange(kAppeared);
    return true;
  }
  COverlayMark* point = creating->AddTappedPoint(x, y, {latitude, longitude});
  const bool numbered = name.size() >= 2 && name[0] == 'P' && name[1] <= '9';
  if (!numbered) point->name = name;
  creating->NameFromEnds();
  if (!keep) manager->DeleteMark(this);
  return true;
}

bool COverlayMark::OnKey(int32_t /*code*/, int32_t /*data*/) {
  if (!live) return false;
  COverlaySheets* sheets = COverlaySheets::Get();
  return sheets != nullptr && sheets->OpenMarkSheet(*this);
}

bool COverlayMark::ExtendBounds(CGeoBounds& box) const {
  constexpr double kMargin = 0.001;
  box.min_lat = std::min(box.min_lat, latitude - kMargin);
  box.max_lat = std::max(box.max_lat, latitude + kMargin);
  box.min_lon = std::min(box.min_lon, longitude - kMargin);
  box.max_lon = std::max(box.max_lon, longitude + kMargin);
  return true;
}

bool COverlayMark::WriteGPX(std::string& out) const {
  out += vd::os::FormatC("<wpt lat=\"%.10f\" lon=\"%.10f\">\n", latitude, longitude);
  WriteGPXBody(out);
  out += "</wpt>\n";
  return true;
}

void COverlayMark::WriteGPXBody(std::string& out) const {
  if (created != 0.0) XmlWriteElement(out, "time", FormatIsoTime(TimeTo1970(created)));
  XmlWriteElement(out, "name", name);
  if (!description.empty()) XmlWriteElement(out, "desc", description);
  if (sync_id != 0) XmlWriteElement(out, "src", GetSyncIdText());
  if (!link.empty()) {
    // Quotes and angle brackets are escaped too, so that no link can break the element.
    std::string href;
    for (char c : link) {
      switch (c) {
        case '&': href += "&amp;"; break;
        case '"': href += "&quot;"; break;
        case '<': href += "&lt;"; break;
        case '>': href += "&gt;"; break;
        default: href += c;
      }
    }
    out += "<link href=\"" + href + "\"></link>\n";
  }
  XmlWriteElement(out, "sym", icon);
  if (!type.empty()) XmlWriteElement(out, "type", type);
  out += "<extensions>\n<xstyle:fill>\n";
  XmlWriteElement(out, "xstyle:color",
                  vd::os::FormatC("%02x%02x%02x", colour >> 16 & 0xFF, colour >> 8 & 0xFF,
                                  colour & 0xFF));
  out += "</xstyle:fill>\n";
  if (alarm_radius > 0) {
    out += "<xgarmin:WaypointExtension>\n";
    const double proximity = anchor_radius > 0 ? -anchor_radius : alarm_radius;
    XmlWriteElement(out, "xgarmin:Proximity", vd::os::FormatC("%.1f", proximity));
    out += "</xgarmin:WaypointExtension>\n";
  }
  out += "</extensions>\n";
}

void COverlayMark::Empty() {
  latitude = longitude = kNoPosition;
  name.clear();
  description.clear();
  link.clear();
  type.clear();
  alarm_radius = 0.0f;
}

void COverlayMark::Reset() {
  Empty();
  latitude = longitude = 999.0;
}
