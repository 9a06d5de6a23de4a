#include "overlays/obj_track.h"
#include "overlays/object_list.h"
#include "platform/ui/popup_menu.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

#include "charts/clip_spikes.h"
#include "charts/old_quick_chart.h"
#include "app/app_common.h"
#include "app/gps_position_info.h"
#include "core/persistent_value.h"
#include "core/text_tokenizer.h"
#include "core/url_utils.h"
#include "geodesy/plane_geometry.h"
#include "overlays/category.h"
#include "overlays/mapped_object.h"
#include "overlays/overlay_archive.h"
#include "platform/os/numbers.h"
#include "platform/ui/graphics.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"

const OverlayClass CObjTrack::kClass("CObjTrack", kOverlaySchema, &COstrelObject::kClass,
                                     &CreateArchiveObject<CObjTrack>);

namespace {

// Longitudes a text file's points may carry: the marks of the same file take the same range.
constexpr double kMaxTextLongitude = 370.0;

// The program-wide limit settings, as the last track construction read them.
int g_limit_mode = 0;
int g_point_limit = 4000;

constexpr int32_t kTrackLayerStyle = 0x1e000000;
constexpr int kTrackPopupMenu = 160;
// Nautical miles per metre of update distance for the join threshold: three update distances.
constexpr double kJoinThresholdPerMetre = 0.0016198704103671706;

void SaveUndo(COstrelObject& object) {
  const OverlayUndoHook& hook = COstrelObject::UndoHook();
  if (hook.save_for_object) hook.save_for_object(object);
}

// One undo step for two tracks changed by one edit.
void SaveUndoForBoth(COstrelObject& a, COstrelObject& b) {
  const OverlayUndoHook& hook = COstrelObject::UndoHook();
  if (hook.save_for_list) {
    hook.save_for_list(ObjectList{&a, &b});
  } else if (hook.save_for_object) {
    hook.save_for_object(a);
    hook.save_for_object(b);
  }
}

double Distance(const CTrackpoint& a, const CTrackpoint& b) {
  return a.position.DistanceTo(b.position);
}

// A point between a and b at fraction f of the way from a.
CLatLon Between(const CLatLon& a, const CLatLon& b, double f) {
  return {a.lat + (b.lat - a.lat) * f, a.lon + (b.lon - a.lon) * f};
}

vd::ui::Point ToPoint(const ScreenPoint& p) { return {p.x, p.y}; }

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace

void CTrackpoint::Serialize(COverlayArchive& archive) {
  if (archive.IsStoring()) {
    archive.WriteDouble(position.lat);
    archive.WriteDouble(position.lon);
    const uint8_t extra = (heart_rate != 0 || other != 0) ? 2 : 0;
    archive.WriteByte(extra);
    archive.WriteInt32(time);
    archive.WriteFloat(altitude);
    if (extra > 0) {
      archive.WriteUInt16(static_cast<uint16_t>(heart_rate));
      archive.WriteUInt16(static_cast<uint16_t>(other));
    }
    return;
  }
  position.lat = archive.ReadDouble();
  position.lon = archive.ReadDouble();
  heart_rate = 0;
  other = 0;
  const uint8_t extra = archive.ReadByte();
  time = archive.ReadInt32();
  altitude = archive.ReadFloat();
  if (extra > 0) heart_rate = static_cast<int16_t>(archive.ReadUInt16());
  if (extra > 1) other = static_cast<int16_t>(archive.ReadUInt16());
}

CObjTrack::CObjTrack() {
  name = "Track";
  SetCategory("Track");
  style = kTrackLayerStyle;
  context_menu_id = kTrackPopupMenu;
  ReadSettings();
}

CObjTrack::~CObjTrack() {
  if (CTrackDocument* doc = TrackDocument(); doc && doc->PeekGPSTrack() == this) {
    doc->SetGPSTrack(nullptr);
  }
}

const OverlayClass& CObjTrack::GetRuntimeClass() const { return kClass; }

void CObjTrack::ReadSettings() {
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  const auto get = [&](const char* key, int fallback) {
    return profile.GetInt(vd::kSettingsSection, key).value_or(fallback);
  };
  update_interval = get("track_update_interval", 10);
  update_distance = get("track_update_distance", 15);
  partition_time = get("track_partition_time", 3600);
  colour = static_cast<uint32_t>(get("track_color", 255));
  thickness = static_cast<uint8_t>(get("track_thickness", 1));
  line_style = static_cast<uint8_t>(get("track_style", 0));
  transparency = static_cast<uint8_t>(get("track_trans", 0));
  tick_interval = get("tick_interval", 300);
  g_limit_mode = get("tk_mode", 0);
  g_point_limit = get("tk_max", 4000);
}

int CObjTrack::LimitMode() { return g_limit_mode; }
int CObjTrack::PointLimit() { return g_point_limit; }

CTrackDocument* CObjTrack::TrackDocument() const {
  return dynamic_cast<CTrackDocument*>(document());
}

void CObjTrack::RemoveSelf() { Delete(false); }

// ---- Archive ----

void CObjTrack::Serialize(COverlayArchive& archive) {
  COstrelObject::Serialize(archive);
  if (archive.IsStoring()) {
    archive.WriteCount(static_cast<uint32_t>(points_.size()));
    for (CTrackpoint& p : points_) p.Serialize(archive);
    archive.WriteInt32(update_interval);
    archive.WriteDouble(total_distance);
    archive.WriteInt32(update_distance);
    archive.WriteInt32(partition_time);
    archive.WriteInt32((IsGPSTrack() ? 1 : 0) | (closed ? 2 : 0));
    archive.WriteInt32(tick_interval);
    archive.WriteInt32(static_cast<int32_t>(colour));
    archive.WriteByte(thickness);
    archive.WriteByte(line_style);
    archive.WriteByte(transparency);
    archive.WriteString(other_label);
    archive.WriteFloat(other_scale);
    return;
  }
  const uint16_t schema = archive.GetObjectSchema();
  // The smallest point record: two doubles, the byte, time and altitude.
  const uint32_t count = archive.ReadCount(8 + 8 + 1 + 4 + 4);
  points_.clear();
  for (uint32_t i = 0; i < count; ++i) points_.emplace_back().Serialize(archive);
  update_interval = archive.ReadInt32();
  total_distance = archive.ReadDouble();
  update_distance = archive.ReadInt32();
  partition_time = archive.ReadInt32();
  const int32_t flags = archive.ReadInt32();
  if (schema >= 7) tick_interval = archive.ReadInt32();
  if (schema >= 9) colour = static_cast<uint32_t>(archive.ReadInt32());
  if (schema >= 18) {
    thickness = archive.ReadByte();
    line_style = archive.ReadByte();
    transparency = archive.ReadByte();
  }
  if (schema >= 21) {
    other_label = archive.ReadString();
    other_scale = archive.ReadFloat();
  }
  if (flags & 1) {
    if (CTrackDocument* doc = TrackDocument(); doc && !doc->PeekGPSTrack()) doc->SetGPSTrack(this);
  }
  closed = (flags & 2) != 0;
  RecomputeTotals();
  Deselect();
}

// ---- Points and totals ----

void CObjTrack::AddPoint(double lat, double lon, int32_t time, float altitude, int16_t heart_rate,
                         int16_t other) {
  if (time != 0 && !points_.empty() && time == points_.back().time) return;
  if (!(lat <= 90.0 && lat >= -90.0)) return;
  CTrackpoint& p = points_.emplace_back();
  p.position = {lat, lon};
  p.time = time;
  p.altitude = std::fabs(altitude) <= kMaxTrackAltitudeMetres ? altitude : 0.0f;
  p.heart_rate = heart_rate;
  p.other = other;
}

void CObjTrack::RecordFix(const GPS_position_info& fix) {
  CTrackpoint point;
  point.position = {fix.position.lat, fix.position.lon};
  point.time = fix.time;
  point.altitude = fix.altitude;
  point.speed = fix.speed;

  if (fix.simulated && !points_.empty() && fix.time < points_.back().time) points_.clear();
  if (!points_.empty()) {
    const int64_t dt = int64_t{fix.time} - points_.back().time;
    if (dt < update_interval) return;
    const double d = points_.back().position.DistanceTo(point.position);
    if (dt > partition_time) {
      // A new part: the document starts a new GPS track; this one stays as it is.
      CTrackDocument* doc = TrackDocument();
      if (!doc) return;
      doc->SetGPSTrack(nullptr);
      CObjTrack* next = doc->GetGPSTrack();
      if (next && next != this) next->RecordFix(fix);
      return;
    }
    if (static_cast<int>(d * 1852.0) < update_distance) return;
    total_distance += d;
  } else {
    total_distance = 0.0;
  }
  if (fix.depth != 0.0f) {
    point.other = static_cast<int16_t>(fix.depth * -10.0f);
    other_label = "Depth (m)";
    other_scale = 0.1f;
  }
  points_.push_back(point);
  max_speed = std::max(max_speed, double{fix.speed});
  if (points_.size() > static_cast<size_t>(std::max(PointLimit(), 1))) {
    if (LimitMode() == 1) {
      points_.pop_front();
    } else {
      Thin();
    }
  }
  NotifyChange(kChangeMoved);
  NotifyChange(kChangeModified);
  undo_stamp = 0;
}

void CObjTrack::Thin() {
  SaveUndo(*this);
  std::deque<CTrackpoint> kept;
  for (size_t i = 0; i < points_.size(); ++i) {
    if (i % 2 == 0 || i + 1 == points_.size()) kept.push_back(points_[i]);
  }
  points_.swap(kept);
}

void CObjTrack::RecomputeTotals() {
  if (points_.empty()) return;
  if (points_.front().time != 0 && points_.back().time != 0) {
    created = points_.front().time;
    modified = points_.back().time;
  }
  const size_t n = points_.size();
  std::vector<float> speeds(n);
  double total = 0.0;
  float speed = 0.0f;
  for (size_t i = 0; i + 1 < n; ++i) {
    const float d = static_cast<float>(Distance(points_[i], points_[i + 1]));
    total += d;
    const uint32_t ta = static_cast<uint32_t>(points_[i].time);
    const uint32_t tb = static_cast<uint32_t>(points_[i + 1].time);
    if (tb > ta) speed = d * 3600.0f / static_cast<float>(tb - ta);
    speeds[i] = speed;
  }
  speeds[n - 1] = speed;
  total_distance = total;
  ClipSpikes(speeds.data(), 1, static_cast<int>(n), kSpikeHalfWindow, kSpikeFactor);
  max_speed = 0.0;
  for (size_t i = 0; i < n; ++i) {
    points_[i].speed = speeds[i];
    max_speed = std::max(max_speed, double{speeds[i]});
  }
}

ptrdiff_t CObjTrack::NearestPoint(const CLatLon& position) const {
  ptrdiff_t best = -1;
  double best_distance = 0.0;
  for (size_t i = 0; i < points_.size(); ++i) {
    const double d = points_[i].position.DistanceTo(position);
    if (best < 0 || d < best_distance) {
      best = static_cast<ptrdiff_t>(i);
      best_distance = d;
    }
  }
  return best;
}

double CObjTrack::DistanceFromStart(size_t index) const {
  double total = 0.0;
  for (size_t i = 0; i < index && i + 1 < points_.size(); ++i) {
    total += Distance(points_[i], points_[i + 1]);
  }
  return total;
}

void CObjTrack::DeletePointNear(const CLatLon& position) {
  if (locked) return;
  const ptrdiff_t nearest = NearestPoint(position);
  if (nearest < 0) return;
  SaveUndo(*this);
  points_.erase(points_.begin() + nearest);
  RecomputeTotals();
  NotifyChange(kChangeModified);
}

void CObjTrack::DeleteSpike() {
  total_distance = 0.0;
  ptrdiff_t fastest = -1;
  double fastest_speed = 0.0;
  for (size_t i = 0; i + 1 < points_.size(); ++i) {
    const int64_t dt = int64_t{points_[i + 1].time} - points_[i].time;
    if (dt <= 0) continue;
    const double speed = Distance(points_[i], points_[i + 1]) / static_cast<double>(dt);
    if (fastest < 0 || speed > fastest_speed) {
      fastest = static_cast<ptrdiff_t>(i);
      fastest_speed = speed;
    }
  }
  if (fastest >= 0) {
    SaveUndo(*this);
    points_.erase(points_.begin() + fastest);
  }
  RecomputeTotals();
  NotifyChange(kChangeModified);
}

void CObjTrack::SplitAt(const CLatLon& position) {
  if (locked) return;
  const ptrdiff_t nearest = NearestPoint(position);
  if (nearest < 0) return;
  COstrelDocBase* doc = document();
  ObjectList* list = doc ? doc->GetObjectList() : nullptr;
  // The first part must belong to a document's list, which owns it.
  if (!list) return;
  // The step holds this track as it was; the new first part is made after it and carries its
  // number, so undoing it removes the part again.
  SaveUndo(*this);
  auto* first = new CObjTrack;
  first->SetDocument(doc);
  first->name = name + "-split";
  first->other_label = other_label;
  first->other_scale = other_scale;
  first->AddRef();
  list->push_back(first);
  first->NotifyChange(kChangeAdded);
  first->points_.assign(points_.begin(), points_.begin() + nearest);
  first->points_.push_back(points_[static_cast<size_t>(nearest)]);
  points_.erase(points_.begin(), points_.begin() + nearest);
  if (CTrackDocument* track_doc = TrackDocument(); track_doc && track_doc->PeekGPSTrack() == this) {
    track_doc->SetGPSTrack(first);
  }
  first->RecomputeTotals();
  RecomputeTotals();
  first->NotifyChange(kChangeModified);
  NotifyChange(kChangeModified);
}

bool CObjTrack::IsGPSTrack() const {
  const CTrackDocument* doc = TrackDocument();
  return doc && doc->PeekGPSTrack() == this;
}

bool CObjTrack::CanContinueAt(int32_t time) const {
  if (points_.empty()) return true;
  return time != 0 && int64_t{time} - points_.back().time <= partition_time;
}

bool IsDrawingObjTrack(const COstrelObject* object) {
  const auto* track = dynamic_cast<const CObjTrack*>(object);
  return track && track->drawing_state == 1;
}

// ---- Joining ----

bool CObjTrack::JoinNearest(const CLatLon& position, ObjectList& objects) {
  if (points_.empty()) return false;
  const bool at_end = !(points_.front().position.DistanceTo(position) <
                        points_.back().position.DistanceTo(position));
  const CLatLon& end = at_end ? points_.back().position : points_.front().position;
  const double threshold = update_distance * kJoinThresholdPerMetre;
  CObjTrack* winner = nullptr;
  bool winner_from_end = false;
  double best = 1e100;
  for (COstrelObject* object : objects) {
    auto* other = dynamic_cast<CObjTrack*>(object);
    if (!other || other == this || !other->visible || other->category() != category() ||
        other->points_.empty()) {
      continue;
    }
    for (const bool from_end : {false, true}) {
      const CLatLon& candidate =
          from_end ? other->points_.back().position : other->points_.front().position;
      const double d = end.DistanceTo(candidate);
      if (d < threshold && d < best) {
        best = d;
        winner = other;
        winner_from_end = from_end;
      }
    }
  }
  if (!winner) return false;
  SaveUndoForBoth(*this, *winner);
  winner->AddRef();  // alive until it has left the caller's list too
  MergePoints(*winner, at_end, winner_from_end);
  if (auto it = std::find(objects.begin(), objects.end(), winner); it != objects.end()) {
    objects.erase(it);
    winner->Release();
  }
  winner->Release();
  return true;
}

void CObjTrack::MergePoints(CObjTrack& other, bool at_end, bool from_other_end) {
  const auto put = [&](const CTrackpoint& p) {
    if (at_end) {
      points_.push_back(p);
    } else {
      points_.push_front(p);
    }
  };
  if (from_other_end) {
    for (auto it = other.points_.rbegin(); it != other.points_.rend(); ++it) put(*it);
  } else {
    for (const CTrackpoint& p : other.points_) put(p);
  }
  other.Delete(false);
  RecomputeTotals();
  NotifyChange(kChangeModified);
}

// ---- Text lines ----

bool CObjTrack::WriteText(std::string& out) {
  if (points_.empty()) return true;
  out += vd::os::FormatC("TK02,%s,%s,%d,%d,%d,%d,%d,%d,%d,%d,%d,%s,%f\n",
                         Quoted(EncodeNameLineBreaks(name)).c_str(),
                         Quoted(category() ? category()->name() : std::string()).c_str(),
                         visible ? 1 : 0, locked ? 1 : 0, static_cast<int>(points_.size()),
                         closed ? 1 : 0, static_cast<int>(colour), partition_time, tick_interval,
                         update_distance, update_interval, Quoted(other_label).c_str(),
                         static_cast<double>(other_scale));
  for (size_t i = 0; i < points_.size(); ++i) {
    const CTrackpoint& p = points_[i];
    double speed = 0.0;
    double bearing = 0.0;
    if (i > 0) {
      const CTrackpoint& prev = points_[i - 1];
      double distance = 0.0;
      prev.position.DistanceAndBearingTo(p.position, distance, bearing);
      const int64_t dt = int64_t{p.time} - prev.time;
      if (dt > 0) speed = distance * 3600.0 / static_cast<double>(dt);
    }
    out += vd::os::FormatC("TP03,%.6f,%.6f,%.1f,%d,%.2f,%.1f,%d,%d\n", p.position.lat,
                           p.position.lon, static_cast<double>(p.altitude), p.time, speed,
                           bearing, p.heart_rate, p.other);
  }
  return true;
}

bool CObjTrack::ReadText(std::string_view line) {
  if (line.size() < 2) return true;
  if (line[1] == 'K') {
    TextTokenizer tokens(line);
    tokens.NextToken();  // the tag
    if (auto text = tokens.NextToken()) name = DecodeNameLineBreaks(*text);
    if (auto text = tokens.NextToken(); text && !text->empty()) SetCategory(*text);
    visible = tokens.NextTokenInt(1) != 0;
    locked = tokens.NextTokenInt(0) != 0;
    tokens.NextToken();  // the point count
    closed = tokens.NextTokenInt(0) != 0;
    colour = static_cast<uint32_t>(tokens.NextTokenInt(static_cast<int>(colour)));
    partition_time = tokens.NextTokenInt(partition_time);
    tick_interval = tokens.NextTokenInt(tick_interval);
    update_distance = tokens.NextTokenInt(update_distance);
    update_interval = tokens.NextTokenInt(update_interval);
    if (auto text = tokens.NextToken()) other_label = *text;
    if (auto text = tokens.NextToken()) {
      double scale = 0.0;
      if (vd::os::ParseDouble(*text, scale)) other_scale = static_cast<float>(scale);
    }
  } else if (line[1] == 'P') {
    // The totals are recomputed once the whole track is read (the reader calls
    // RecomputeTotals), not after every point.
    const std::string text(line);
    int tag = 0, time = 0, heart_rate = 0, other = 0;
    double lat = 0.0, lon = 0.0;
    float altitude = 0.0f, ignored1 = 0.0f, ignored2 = 0.0f;
    const int scanned =
        vd::os::ScanC(text.c_str(), "TP%d , %lf , %lf , %f , %d, %f, %f, %d, %d", &tag, &lat,
                      &lon, &altitude, &time, &ignored1, &ignored2, &heart_rate, &other);
    // A point whose position can't be read, or lies off the globe, is refused (false) so that
    // the file's reader can name the line; (0, 0) stands for no point and is passed over.
    if (scanned < 3 || !(std::fabs(lat) <= 90.0 && std::fabs(lon) < kMaxTextLongitude)) {
      return false;
    }
    if (lat * lat + lon * lon > 0) {
      AddPoint(lat, lon, time, altitude, static_cast<int16_t>(heart_rate),
               static_cast<int16_t>(other));
    }
  }
  return true;
}

// ---- Screen form and drawing ----

int32_t CObjTrack::OwnCount(const CMappedObject& mapped) const {
  const auto it = own_counts_.find(&mapped);
  return it == own_counts_.end() ? 0 : std::min(it->second, mapped.point_count());
}

void CObjTrack::PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) {
  const bool selected = IsSelected();
  if (selected) band.active = drawing_state != 0;
  const size_t n = points_.size();
  own_counts_[&mapped] = 0;
  if (!chart || n == 0) {
    mapped.SetPointCount(0);
    if (selected) band.SetAnchorCount(0);
    return;
  }
  const uint32_t interval = tick_interval > 0 ? static_cast<uint32_t>(tick_interval) : 0;
  uint32_t t0 = 0, t1 = 0;
  for (const CTrackpoint& p : points_) {
    if (p.time != 0) {
      if (t0 == 0) t0 = static_cast<uint32_t>(p.time);
      t1 = static_cast<uint32_t>(p.time);
    }
  }
  int64_t ticks_room = 0;
  if (interval > 0) {
    ticks_room = (int64_t{t1} - t0) / interval + 2;
    if (ticks_room < 0 || ticks_room > kMaxTicks) ticks_room = 0;
  }
  if (!mapped.SetPointCount(static_cast<int>(n + 2 * ticks_room))) return;

  std::vector<ScreenPoint> pixels(n);
  for (size_t i = 0; i < n; ++i) {
    chart->LatLonToPixel(points_[i].position.lat, points_[i].position.lon, pixels[i]);
  }
  const size_t m = SimplifyScreenPolyline(pixels, kSimplifyTolerance);
  const std::span<vd::ui::Point> out = mapped.chart_points();
  for (size_t i = 0; i < m; ++i) out[i] = ToPoint(pixels[i]);
  if (selected) {
    if (drawing_state != 0 && m > 0) {
      band.SetAnchorCount(1);
      band.anchors()[0] = out[m - 1];
    } else {
      band.SetAnchorCount(0);
    }
  }

  size_t count = m;
  if (n > 1 && interval > 0) {
    const double nm_per_pixel_x100 = chart->ScaleAtPixel(0, 0) * 100.0;
    uint32_t c = interval * (t0 / interval + 1);
    for (size_t i = 0; i + 1 < n; ++i) {
      const CTrackpoint& a = points_[i];
      const CTrackpoint& b = points_[i + 1];
      const uint32_t ta = static_cast<uint32_t>(a.time);
      const uint32_t tb = static_cast<uint32_t>(b.time);
      if (tb <= ta) continue;  // no time span to place ticks in
      const double length = Distance(a, b);
      while (c < tb && count + 2 <= n + 2 * static_cast<size_t>(ticks_room)) {
        const CLatLon at = Between(a.position, b.position,
                                   (static_cast<double>(c) - ta) / (static_cast<double>(tb) - ta));
        // A direction point beyond b, some 100 chart pixels along the leg.
        const double f = length > 0 ? nm_per_pixel_x100 / length : 0.0;
        const CLatLon direction{b.position.lat + f * (b.position.lat - a.position.lat),
                                b.position.lon + f * (b.position.lon - a.position.lon)};
        ScreenPoint tick, dir;
        chart->LatLonToPixel(at.lat, at.lon, tick);
        chart->LatLonToPixel(direction.lat, direction.lon, dir);
        out[count++] = ToPoint(tick);
        out[count++] = ToPoint(dir);
        c += interval;
      }
    }
  }
  mapped.SetPointCount(static_cast<int>(count));
  own_counts_[&mapped] = static_cast<int32_t>(m);
  mapped.margins = {2, 2, 2, 2};
  mapped.kind = CMappedObject::kPolyline;
  mapped.Project();
}

void CObjTrack::Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
                     bool quick_draw) {
  const int32_t m = OwnCount(mapped);
  if (m < 2) return;
  const std::span<const vd::ui::Point> client = mapped.client_points();
  const std::span<const vd::ui::Point> line = client.first(static_cast<size_t>(m));
  static constexpr float kWidths[] = {1, 2, 4, 10};
  const float scale = mapped.view() ? mapped.view()->ScaleFactor() : 1.0f;
  const float w = scale * (thickness < 4 ? kWidths[thickness] : 1.0f);
  const auto dash = static_cast<vd::ui::LineStyle>(line_style <= 4 ? line_style : 0);
  const bool selected = IsSelected();

  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Null());
  const auto figure = [&](const vd::ui::Pen& pen) {
    dc.SelectPen(pen);
    if (closed) {
      dc.Polygon(line);
    } else {
      dc.Polyline(line);
    }
  };
  const vd::ui::Pen old_pen = dc.SelectPen(vd::ui::Pen{dash, static_cast<int>(w), colour});
  if (quick_draw && !selected) {
    figure({dash, static_cast<int>(w), colour});
  } else if (transparency != 0 || line_style != 0) {
    static constexpr uint8_t kAlphas[] = {255, 192, 128, 64, 32};
    vd::ui::GraphicsPen pen;
    pen.colour = vd::ui::ArgbFromColourRef(colour, transparency <= 4 ? kAlphas[transparency] : 255);
    pen.width = w;
    pen.dash = dash;
    pen.start_cap = pen.end_cap = vd::ui::LineCap::Round;
    pen.join = vd::ui::LineJoin::Round;
    std::vector<vd::ui::PointF> points(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
      points[i] = {static_cast<float>(line[i].x), static_cast<float>(line[i].y)};
    }
    if (closed) {
      graphics.DrawPolygon(pen, points);
    } else {
      graphics.DrawLines(pen, points);
    }
  } else {
    figure({vd::ui::LineStyle::Solid, static_cast<int>(w + 2),
            selected ? vd::ui::ColourRef{0} : vd::ui::ColourRef{0xFFFFFF}});
    const vd::ui::Pen track_pen{vd::ui::LineStyle::Solid, static_cast<int>(w), colour};
    figure(track_pen);
    // Time ticks: an arrowhead at each tick pointing along the track.
    const std::span<const vd::ui::Point> chart = mapped.chart_points();
    for (size_t k = static_cast<size_t>(m); k + 1 < chart.size(); k += 2) {
      const double dx = static_cast<double>(chart[k + 1].x) - chart[k].x;
      const double dy = static_cast<double>(chart[k + 1].y) - chart[k].y;
      const double length_sq = dx * dx + dy * dy;
      if (length_sq < 16) continue;
      const double length = std::sqrt(length_sq);
      const int d = static_cast<int>(std::lround((dy + dx) * 5 / length));
      const int e = static_cast<int>(std::lround((dx - dy) * 5 / length));
      const vd::ui::Point u = client[k];
      const vd::ui::Point head[] = {{u.x - d, u.y + e}, u, {u.x - e, u.y - d}};
      dc.Polyline(head);
    }
  }
  dc.SelectPen(old_pen);
  dc.SelectBrush(old_brush);
}

bool CObjTrack::HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step) {
  const int32_t total = mapped.point_count();
  const int32_t m = OwnCount(mapped);
  if (m < 2) return false;
  // Only the track's own points are tested: the tick pairs are left out for the test.
  mapped.SetPointCount(m);
  const bool hit = COstrelObject::HitTest(chart_point, mapped, zoom_step);
  mapped.SetPointCount(total);
  return hit;
}

// ---- Editing ----

void CObjTrack::AddDrawnPoint(const CLatLon& point) {
  int x = 0, y = 0;
  int64_t distance_sq = 10;
  if (const auto* view = dynamic_cast<const CTrackDrawingView*>(drawing_view)) {
    const vd::ui::Point cursor = view->CursorPixel();
    x = cursor.x;
    y = cursor.y;
    const int64_t dx = int64_t{x} - last_drawn_x;
    const int64_t dy = int64_t{y} - last_drawn_y;
    distance_sq = dx * dx + dy * dy;
  }
  if (distance_sq < 10) return;
  AddPoint(point.lat, point.lon, 0, 0.0f, 0, 0);
  RecomputeTotals();
  last_drawn_x = x;
  last_drawn_y = y;
  NotifyChange(kChangeMoved);
  NotifyChange(kChangeModified);
}

void CObjTrack::Deselect() {
  COstrelObject::Deselect();
  if (drawing_state != 0 && points_.size() <= 1) {
    RemoveSelf();
    return;
  }
  if (drawing_state != 0) {
    drawing_state = 0;
    NotifyChange(kChangeEditState);
  }
}

bool CObjTrack::OnLButtonDown(const CLatLon& point, CMappedObject* hit) {
  if (hit) drawing_view = hit->view();
  if (drawing_state != 0) {
    SaveUndo(*this);
    button_down = true;
    last_drawn_x = -1000;
    last_drawn_y = -1000;
    AddDrawnPoint(point);
  } else {
    Select(true);
  }
  return true;
}

bool CObjTrack::OnLButtonUp(const CLatLon& point) {
  button_down = false;
  if (drawing_state != 0) AddDrawnPoint(point);
  drawing_view = nullptr;
  return true;
}

bool CObjTrack::OnMouseMove(const CLatLon& point) {
  if (drawing_state == 0 || !button_down) return false;
  AddDrawnPoint(point);
  return true;
}

bool CObjTrack::OnDoubleClick(const CLatLon& point) {
  if (drawing_state == 0) return COstrelObject::OnDoubleClick(point);
  drawing_state = 0;
  NotifyChange(kChangeEditState);
  return true;
}

bool CObjTrack::OnKeyDown(int key) {
  if (locked) return false;
  if (key == vd::ui::kVkBack || key == vd::ui::kVkDelete) {
    if (drawing_state == 0) {
      Delete(true);  // this object may be gone now
      return false;
    }
    if (!points_.empty()) points_.pop_back();
    if (points_.empty()) {
      RemoveSelf();
      return false;
    }
    NotifyChange(kChangeModified);
  } else if (key == vd::ui::kVkReturn || key == vd::ui::kVkEscape) {
    drawing_state = 0;
    NotifyChange(kChangeEditState);
  }
  return false;
}

bool CObjTrack::GetBounds(double& min_lat, double& max_lat, double& min_lon,
                          double& max_lon) const {
  min_lat = max_lat = min_lon = max_lon = 0.0;
  if (points_.empty()) return false;
  min_lat = max_lat = points_.front().position.lat;
  min_lon = max_lon = points_.front().position.lon;
  for (const CTrackpoint& p : points_) {
    min_lat = std::min(min_lat, p.position.lat);
    max_lat = std::max(max_lat, p.position.lat);
    min_lon = std::min(min_lon, p.position.lon);
    max_lon = std::max(max_lon, p.position.lon);
  }
  return true;
}

bool CObjTrack::IsSameObject(const COstrelObject& object) const {
  if (&object.GetRuntimeClass() != &kClass) return false;
  const auto* other = static_cast<const CObjTrack*>(&object);
  if (id() != 0 && id() == other->id()) return true;
  if (!COstrelObject::IsSameObject(object) || points_.size() != other->points_.size()) return false;
  if (points_.empty()) return true;
  const auto close = [](const CTrackpoint& a, const CTrackpoint& b) {
    const double dlat = a.position.lat - b.position.lat;
    const double dlon = a.position.lon - b.position.lon;
    return dlat * dlat + dlon * dlon <= 1e-10;
  };
  return close(points_.front(), other->points_.front()) &&
         close(points_.back(), other->points_.back());
}

bool CObjTrack::GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit) {
  text = name;
  const CAppCommon* app = CAppCommon::Instance();
  if (hit && !points_.empty()) {
    const size_t p = static_cast<size_t>(NearestPoint(cursor));
    const CTrackpoint& point = points_[p];
    if (point.time != 0 && app) text += "\n" + app->FormatDateTime(point.time, true);
    if (app) text += "\nFrom start: " + app->FormatDistance(DistanceFromStart(p));
    if (point.time != 0) {
      text += ", " + CAppCommon::FormatDuration(int64_t{point.time} - points_.front().time);
    }
    const CTrackpoint& after = points_[std::min(p + 1, points_.size() - 1)];
    const CTrackpoint& before = points_[p > 0 ? p - 1 : 0];
    if (app && after.time != 0 && before.time != 0 && after.time > before.time) {
      text += "\nSpeed: " + app->FormatSpeed(Distance(before, after) * 3600.0 /
                                              (static_cast<double>(after.time) - before.time));
    }
    if (app && point.altitude > 0) {
      const std::string altitude = app->FormatDepth(point.altitude);
      if (!altitude.empty()) text += "\nAltitude: " + altitude;
    }
    if (point.heart_rate != 0) text += vd::os::FormatC("\nHeart rate %d", point.heart_rate);
    if (!other_label.empty()) {
      text += vd::os::FormatC("\n%s %.2f", other_label.c_str(),
                              static_cast<double>(point.other * other_scale));
    }
    return true;
  }
  if (hit) return true;
  if (drawing_state != 0) {
    if (points_.empty()) {
      text = "Click or drag to create track\nDouble-click to end";
    } else if (app) {
      text += "\nFrom start: " +
              app->FormatDistance(total_distance + points_.back().position.DistanceTo(cursor));
    }
    return true;
  }
  return false;
}

// ---- Trainer file ----

namespace {

struct TrainerRecord {
  double seconds;
  double speed_mph;
  double lat;
  double lon;
  float altitude;  // metres
};

}  // namespace

void CObjTrack::ReadTrainerFile(std::istream& file) {
  constexpr size_t kLineLimit = 1024;
  int64_t session = 0;
  std::vector<int32_t> bin_sum, bin_count;
  std::vector<TrainerRecord> records;
  size_t room = 0;
  std::string line;
  while (std::getline(file, line)) {
    if (line.size() > kLineLimit) line.resize(kLineLimit);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string_view view(line);
    if (view.starts_with("Sessiondate") && line.size() > 12) {
      std::tm tm{};
      if (vd::os::ScanC(line.c_str() + 12, "%d/%d/%d %d:%d:%d", &tm.tm_mon, &tm.tm_mday,
                        &tm.tm_year, &tm.tm_hour, &tm.tm_min, &tm.tm_sec) == 6) {
        tm.tm_mon -= 1;
        tm.tm_year -= 1900;
        tm.tm_isdst = -1;  // the system decides on daylight saving
        session = std::mktime(&tm);
      }
    } else if (view.starts_with("description") && line.size() > 12) {
      const std::string text = line.substr(12);
      name = text.substr(0, text.find('^'));
    } else if (view.starts_with("sportName") && line.size() > 10) {
      SetCategory(line.substr(10));
    } else if (view.starts_with("duration=")) {
      double duration = 0.0;
      if (vd::os::ParseDouble(view.substr(9), duration) && duration >= 0 && duration < 1e8) {
        const size_t bins = static_cast<size_t>((static_cast<int64_t>(duration) + 9) / 10);
        bin_sum.assign(bins, 0);
        bin_count.assign(bins, 0);
        room = 10 + static_cast<size_t>(std::floor(duration * 0.2801120448179272));
      }
    } else if (view.starts_with("\"")) {
      TextTokenizer tokens(view);
      double seconds = 0.0;
      const auto first = tokens.NextToken();
      if (!first || !vd::os::ParseDouble(*first, seconds)) continue;
      const int h = tokens.NextTokenInt(0);
      if ((h & 0xFFFF) != 0) {
        const double bin = std::floor(seconds * 0.1);
        if (bin >= 0 && bin < static_cast<double>(bin_sum.size())) {
          bin_sum[static_cast<size_t>(bin)] += h;
          bin_count[static_cast<size_t>(bin)] += 1;
        }
        continue;
      }
      double values[5] = {};  // speed, longitude, latitude, altitude (feet), quality
      bool complete = true;
      for (int i = 0; i < 7 && complete; ++i) {
        const auto token = tokens.NextToken();
        if (!token) complete = false;
        if (i == 1 || i == 2) continue;  // a skipped token and an ignored integer
        const int slot = i == 0 ? 0 : i - 2;
        if (complete && !vd::os::ParseDouble(*token, values[slot])) complete = false;
      }
      if (!complete) continue;
      if (values[1] != 0 && values[2] != 0 && values[4] > 1 && records.size() < room) {
        records.push_back({seconds, values[0], values[2], values[1],
                           static_cast<float>(values[3] * 0.3048)});
      }
    }
  }
  if (records.size() < 2) return;

  // Running times from the distances and speeds, then tied back to the recorded seconds in
  // blocks of 100 records.
  const size_t last = records.size() - 1;
  std::vector<double> raw(records.size(), 0.0);
  for (size_t k = 1; k <= last; ++k) {
    const double d = CLatLon(records[k - 1].lat, records[k - 1].lon)
                         .DistanceTo({records[k].lat, records[k].lon});
    const double g = (records[k - 1].speed_mph + records[k].speed_mph) * 0.43448704103671704;
    raw[k] = raw[k - 1] + (g > 1.5 ? d * 3600.0 / g : records[k].seconds - records[k - 1].seconds);
  }
  std::vector<double> run(records.size());
  double a = records[0].seconds;
  for (size_t s = 0; s < last;) {
    const size_t e = std::min(s + 100, last);
    const double span = raw[e] - raw[s];
    const double te = records[e].seconds;
    for (size_t k = s; k <= e; ++k) {
      run[k] = span != 0 ? a + (raw[k] - raw[s]) * (te - a) / span : records[k].seconds;
    }
    a = te;
    s = e;
  }

  const auto average = [&](size_t bin, int16_t fallback) -> int16_t {
    if (bin >= bin_count.size() || bin_count[bin] == 0) return fallback;
    return static_cast<int16_t>(bin_sum[bin] / bin_count[bin]);
  };
  int16_t heart_rate = average(0, 0);
  AddPoint(records[0].lat, records[0].lon, static_cast<int32_t>(session), records[0].altitude,
           heart_rate, 0);
  int64_t last_bin = 0;
  for (size_t k = 1; k <= last; ++k) {
    const double r = run[k];
    const int64_t bin = static_cast<int64_t>(r * 0.1);
    if (bin <= last_bin) continue;
    last_bin = bin;
    const double whole = std::floor(r);
    const double step = r - run[k - 1];
    // Back from this record towards the previous one to the whole second.
    const double back = step > 0 ? (r - whole) / step : 0.0;
    const CLatLon at = Between({records[k].lat, records[k].lon},
                               {records[k - 1].lat, records[k - 1].lon}, back);
    heart_rate = average(static_cast<size_t>(bin), heart_rate);
    AddPoint(at.lat, at.lon, static_cast<int32_t>(session + static_cast<int64_t>(whole + 0.1)),
             records[k].altitude, heart_rate, 0);
  }
  RecomputeTotals();
}

void CObjTrack::CentreInView() { ShowExtentInView(*this); }

void CObjTrack::OnInitPopupMenu(vd::ui::PopupMenu& menu) {
  vd::ui::PopupMenu::Item* item = menu.FindItem(kOtherProfileCommand);
  if (!item) return;
  if (other_label.empty()) {
    item->flags |= vd::ui::PopupMenu::kDisabled;
  } else {
    item->flags &= ~vd::ui::PopupMenu::kDisabled;
    item->text = other_label + " Profile";
  }
}
