#include "overlays/obj_current_position.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

#include "charts/old_quick_chart.h"
#include "app/app_common.h"
#include "core/persistent_value.h"
#include "geodesy/degree_length.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_archive.h"
#include "platform/ui/graphics.h"
#include "platform/ui/icon_bitmaps.h"
#include "platform/ui/surface.h"

const OverlayClass CObjCurrentPosition::kClass("CObjCurrentPosition", kOverlaySchema,
                                               &COstrelObject::kClass,
                                               &CreateArchiveObject<CObjCurrentPosition>);

namespace {

constexpr int32_t kPositionLayerStyle = 0x32000000;
constexpr double kDegToRad = 0.017453292;
constexpr double kMetresToNm = 0.0005399568034557236;
constexpr vd::ui::ColourRef kBlack = 0;
constexpr vd::ui::ColourRef kGrey = 0x808080;
constexpr vd::ui::ColourRef kRed = vd::ui::MakeColourRef(255, 0, 0);
// Knots of the heading vector when the speed along the heading is unknown.
constexpr double kDefaultHeadingSpeed = 5.0;

float g_display_scale = 1.0f;
std::atomic<bool> g_missing_icons_told{false};

vd::ui::Point ToPoint(const ScreenPoint& p) { return {p.x, p.y}; }

// The chart pixel of a position; (-1, -1) when it has none.
vd::ui::Point PixelOf(COldQuickChart& chart, double lat, double lon) {
  ScreenPoint pixel;
  chart.LatLonToPixel(lat, lon, pixel);
  return ToPoint(pixel);
}

// The end of a vector of `minutes` at `knots` along `degrees` from (lat, lon).
vd::ui::Point VectorEnd(COldQuickChart& chart, double lat, double lon, double minutes,
                        double knots, double degrees) {
  const double a = degrees * kDegToRad;
  const double lon_length = LonDegreeLength(lat);
  const double east = minutes * (1.0 / 60.0) * knots * std::sin(a);
  return PixelOf(chart, lat + minutes * (1.0 / 3600.0) * knots * std::cos(a),
                 lon + (lon_length > 0 ? east / lon_length : 0.0));
}

double Length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// The two barbs of an arrowhead at `tip` for a direction (dx, dy).
void DrawArrowhead(vd::ui::Surface& dc, vd::ui::Point tip, double dx, double dy) {
  const double len = Length(dx, dy);
  if (len <= 0) return;
  const double t = 5.0 / len;
  const int u = static_cast<int>((dx + dy) * t);
  const int v = static_cast<int>((dx - dy) * t);
  const vd::ui::Point barbs[] = {{tip.x - u, tip.y + v}, tip, {tip.x - v, tip.y - u}};
  dc.Polyline(barbs);
}

// A line from `from` to `to` with an arrowhead pointing the way of the chart pixels a -> b.
void DrawArrowLine(vd::ui::Surface& dc, vd::ui::Point from, vd::ui::Point to, vd::ui::Point a,
                   vd::ui::Point b) {
  dc.MoveTo(from);
  dc.LineTo(to);
  DrawArrowhead(dc, to, double(b.x) - a.x, double(b.y) - a.y);
}

vd::ui::Pen OutlinePen(bool selected) {
  return {vd::ui::LineStyle::Solid, selected ? 3 : 0, kBlack};
}

}  // namespace

void CObjCurrentPosition::SetDisplayScale(float scale) { g_display_scale = scale; }

CObjCurrentPosition::CObjCurrentPosition() {
  LoadIcons();
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  const auto get = [&](const char* key, int fallback) {
    return profile.GetInt(vd::kSettingsSection, key).value_or(fallback);
  };
  show_vector = get("cur_pos_show_vector", 1) != 0;
  colour = static_cast<vd::ui::ColourRef>(get("cur_pos_color", 255));
  vector_minutes = get("cur_pos_vector_secs", 600) * 0.016666668;
  // The setting holds the bit pattern of the float (nautical miles), as the position's property
  // window writes it; 0 is 0.0.
  range_radius_nm = std::bit_cast<float>(static_cast<int32_t>(get("cur_pos_radius", 0)));
  if (!std::isfinite(range_radius_nm) || range_radius_nm < 0.0f) range_radius_nm = 0.0f;
  context_menu_id = kPositionPopupMenu;
  valid = 0;
  style = kPositionLayerStyle;
  name = "Position";
  SetCategory("Position");
  heading = kNoHeadingSet;
  undo_stamp = 0;
}

CObjCurrentPosition::~CObjCurrentPosition() {
  if (auto* doc = dynamic_cast<CCurrentPositionDocument*>(document());
      doc && doc->PeekCurrentPosition() == this) {
    doc->SetCurrentPosition(nullptr);
  }
}

const OverlayClass& CObjCurrentPosition::GetRuntimeClass() const { return kClass; }

void CObjCurrentPosition::LoadIcons() {
  const CAppCommon* app = CAppCommon::Instance();
  const bool large = g_display_scale > 1.6f;
  // Without icons the vessel is drawn as a plain symbol of the icons' own size.
  int width = large ? 2 * kFallbackIconSide : kFallbackIconSide;
  if (app) {
    const std::string suffix = large ? "@2x.png" : ".png";
    const std::string first = app->program_folder + "/Icons/gps_icon1" + suffix;
    const std::string second = app->program_folder + "/Icons/gps_icon2" + suffix;
    bool has_layer = false;
    image_a_ = vd::ui::LoadColouredIconBitmap(first, kRed, has_layer);
    image_b_ = vd::ui::LoadColouredIconBitmap(second, kRed, has_layer);
    image_no_fix_ = vd::ui::LoadColouredIconBitmap(first, kGrey, has_layer);
    if (image_a_ && image_b_ && image_no_fix_ && image_a_->Width() > 0) {
      width = image_a_->Width();
    } else {
      ReportMissingIcons(image_a_ ? second : first);
      image_a_.reset();
      image_b_.reset();
      image_no_fix_.reset();
    }
  }
  hot_x_ = hot_y_ = width * 31 / 64;
  hit_margin_ = width * 34 / 64;
  icon_size_ = width;
}

void CObjCurrentPosition::ReportMissingIcons(const std::string& path) {
  // Told once per run: every own vessel and target made afterwards would say the same.
  if (g_missing_icons_told.exchange(true)) return;
  if (CAppCommon* app = CAppCommon::Instance()) {
    app->ShowUserMessage("The vessel icon " + path +
                         " is missing or is not an image. The vessel is shown with a plain "
                         "symbol instead.");
  }
}

void CObjCurrentPosition::ForgetMissingIconsReport() { g_missing_icons_told = false; }

void CObjCurrentPosition::DrawPlainSymbol(vd::ui::Surface& dc, vd::ui::Point c,
                                          bool valid_fix) const {
  // A ring with a dot in the icons' colours (red with a fix, grey without) and a black rim,
  // so that it shows on any chart.
  const int r = std::max(3, icon_size_ * 3 / 10);
  const vd::ui::ColourRef ink = valid_fix ? kRed : kGrey;
  dc.SelectBrush(vd::ui::Brush::Null());
  dc.SelectPen({vd::ui::LineStyle::Solid, 1, kBlack});
  dc.Ellipse({c.x - r - 2, c.y - r - 2, c.x + r + 3, c.y + r + 3});
  dc.SelectPen({vd::ui::LineStyle::Solid, std::max(2, icon_size_ / 8), ink});
  dc.Ellipse({c.x - r, c.y - r, c.x + r + 1, c.y + r + 1});
  dc.SelectPen({vd::ui::LineStyle::Solid, 0, kBlack});
  dc.SelectBrush(vd::ui::Brush::Solid(ink));
  dc.Ellipse({c.x - 2, c.y - 2, c.x + 3, c.y + 3});
}

// ---- Archive ----

void CObjCurrentPosition::Serialize(COverlayArchive& archive) {
  COstrelObject::Serialize(archive);
  if (archive.IsStoring()) {
    archive.WriteDouble(position.lat);
    archive.WriteDouble(position.lon);
    archive.WriteInt32(time);
    for (float v : {course, speed, variation, precision, altitude}) archive.WriteFloat(v);
    archive.WriteString(short_name);
    archive.WriteInt32(display_mode);
    archive.WriteString(description);
    archive.WriteFloat(heading);
    archive.WriteInt32(static_cast<int32_t>(outline.size()));
    for (const vd::ui::Point& p : outline) {
      archive.WriteInt32(p.x);
      archive.WriteInt32(p.y);
    }
    return;
  }
  const uint16_t schema = archive.GetObjectSchema();
  position.lat = archive.ReadDouble();
  position.lon = archive.ReadDouble();
  time = archive.ReadInt32();
  for (float* v : {&course, &speed, &variation, &precision, &altitude}) *v = archive.ReadFloat();
  if (schema == 15) colour = static_cast<vd::ui::ColourRef>(archive.ReadInt32());
  if (schema >= 19) {
    short_name = archive.ReadString();
    display_mode = archive.ReadInt32();
    description = archive.ReadString();
    if (schema == 19) {
      for (int i = 0; i < 4; ++i) archive.ReadInt32();
    }
    heading = archive.ReadFloat();
  }
  if (schema >= 20) {
    const int32_t count = archive.ReadInt32();
    if (count < 0 || static_cast<uint64_t>(count) * 8 > archive.BytesLeft()) {
      throw COverlayArchiveException(COverlayArchiveException::kBadCount,
                                     "vessel outline longer than the bytes left");
    }
    outline.assign(static_cast<size_t>(count), {});
    for (vd::ui::Point& p : outline) {
      p.x = archive.ReadInt32();
      p.y = archive.ReadInt32();
    }
  }
  if (display_mode == kTarget) {
    speed = 0.0f;
    colour = 0xffffff;
  }
  valid = 0;
  if (IsSelected()) Deselect();
}

bool CObjCurrentPosition::GetBounds(double& min_lat, double& max_lat, double& min_lon,
                                    double& max_lon) const {
  if (!HasPosition()) return false;
  min_lat = max_lat = position.lat;
  min_lon = max_lon = position.lon;
  return true;
}

// ---- Fixes and trail ----

void CObjCurrentPosition::UpdateFromFix(const GPS_position_info& fix) {
  valid = fix.valid;
  status = fix.status;
  position = fix.position;
  if (fix.time < time) {
    trail_.clear();
    next_trail_time = 0;
  }
  time = fix.time;
  satellite_update = fix.satellite_update;
  // The fix quality and the satellites used come with GGA, with or without satellite tables.
  fix_quality = fix.fix_quality;
  satellites_used = fix.satellites_used;
  if (satellite_update) {
    satellites = fix.satellites;
  } else if (valid) {
    speed = fix.speed;
    course = fix.course;
    variation = fix.variation;
    precision = fix.precision;
    altitude = fix.altitude;
    heading = fix.heading;
    water_speed = fix.water_speed;
    depth = fix.depth;
    simulated = fix.simulated;
    visible = true;
    std::swap(image_a_, image_b_);
    CheckMarkAlarms();
    if (next_trail_time < time) AddTrailPoint();
  }
  NotifyChange(kChangeMoved);
  NotifyChange(kChangeModified);
}

void CObjCurrentPosition::CheckMarkAlarms() {
  ObjectList* list = document() ? document()->GetObjectList() : nullptr;
  if (!list) return;
  const CLatLon here = Where();
  for (COstrelObject* object : *list) {
    auto* mark = dynamic_cast<CObjWaypoint*>(object);
    if (mark && mark->visible && mark->radius != 0.0f) mark->CheckProximity(here);
  }
}

void CObjCurrentPosition::AddTrailPoint() {
  // Held at the last second an int counts: a fix may carry any time, up to INT32_MAX.
  next_trail_time = static_cast<int32_t>(
      std::min<int64_t>(int64_t{time} + trail_seconds / 8, std::numeric_limits<int32_t>::max()));
  CTrackpoint point;
  point.position = Where();
  point.time = time;
  point.altitude = altitude;
  trail_.push_front(point);
  while (!trail_.empty() && int64_t{trail_.back().time} + trail_seconds < time) trail_.pop_back();
  GetTrailSpeedAndCourse(trail_speed, trail_course);
  if (CAppCommon* app = CAppCommon::Instance()) {
    app->UpdateMagneticVariation(position.lat, position.lon, time);
  }
}

bool CObjCurrentPosition::GetTrailSpeedAndCourse(float& speed_knots,
                                                 float& course_degrees) const {
  if (trail_.empty()) return false;
  const CTrackpoint& start = trail_.back();
  const CLatLon end = valid ? Where() : trail_.front().position;
  const int32_t end_time = valid ? time : trail_.front().time;
  if (start.time >= end_time) return false;
  double distance = 0.0;
  double bearing = 0.0;
  start.position.DistanceAndBearingTo(end, distance, bearing);
  speed_knots = static_cast<float>(3600.0 / (double(end_time) - start.time) * distance);
  course_degrees = static_cast<float>(bearing);
  return true;
}

void CObjCurrentPosition::SetStatusText(std::string text) {
  status_text_ = std::move(text);
  status = status_text_.c_str();
}

void CObjCurrentPosition::SaveVesselName() const {
  vd::OpenAppProfile().SetString("Settings", "Vessel", name);
}

std::string CObjCurrentPosition::GetVesselName() {
  return vd::OpenAppProfile().GetString("Settings", "Vessel").value_or("Position");
}

// ---- Screen ----

double CObjCurrentPosition::PointingAngle() const {
  if (HasHeading()) return heading;
  return speed > 0.1f ? course : 0.0;
}

void CObjCurrentPosition::PrepareView(CMappedObject& mapped, COldQuickChart* chart,
                                      CRubberBand& band) {
  if (!chart || !HasPosition()) {
    mapped.SetPointCount(0);
  } else if (mapped.SetPointCount(static_cast<int>(outline.size()) + 5)) {
    const double lat = position.lat;
    const double lon = position.lon;
    auto points = mapped.chart_points();
    const vd::ui::Point here = PixelOf(*chart, lat, lon);
    std::fill(points.begin(), points.begin() + 5, here);
    if (show_vector && vector_minutes > 0) {
      points[1] = VectorEnd(*chart, lat, lon, vector_minutes, speed, course);
      if (HasHeading()) {
        const double knots = water_speed != 0.0f ? water_speed : kDefaultHeadingSpeed;
        points[2] = VectorEnd(*chart, lat, lon, vector_minutes, knots, heading);
      }
    }
    if (range_radius_nm != 0.0f) {
      const vd::ui::Point top = PixelOf(*chart, lat + range_radius_nm / 60.0, lon);
      const int g = static_cast<int>(Length(double(top.x) - here.x, double(top.y) - here.y));
      points[3] = {here.x - g, here.y - g};
      points[4] = {here.x + g + 1, here.y + g + 1};
    }
    const double a = PointingAngle() * kDegToRad;
    const double sin_a = std::sin(a);
    const double cos_a = std::cos(a);
    const double lat_length = LatDegreeLength(lat);
    const double lon_length = LonDegreeLength(lat);
    for (size_t i = 0; i < outline.size(); ++i) {
      const double x = outline[i].x;
      const double y = outline[i].y;
      const double north = (y * cos_a - x * sin_a) * kMetresToNm;
      const double east = (x * cos_a + y * sin_a) * kMetresToNm;
      points[5 + i] = PixelOf(*chart, lat + (lat_length > 0 ? north / lat_length : 0.0),
                              lon + (lon_length > 0 ? east / lon_length : 0.0));
    }
  }
  mapped.kind = CMappedObject::kPoints;
  mapped.margins = {hit_margin_, hit_margin_, hit_margin_, hit_margin_};
  if (IsSelected()) band.Reset();
  mapped.Project();
}

void CObjCurrentPosition::Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics,
                               CMappedObject& mapped, bool quick_draw) {
  const auto client = mapped.client_points();
  if (client.size() < 5) return;
  const auto chart = mapped.chart_points();
  const vd::ui::Point c = client[0];
  const float scale = mapped.view() ? mapped.view()->ScaleFactor() : 1.0f;
  const bool selected = IsSelected();
  dc.Save();
  dc.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);

  if (!quick_draw && client[3] != c) {
    dc.SelectPen({vd::ui::LineStyle::Solid, 1, colour});
    dc.SelectBrush(vd::ui::Brush::Null());
    dc.Ellipse({client[3].x, client[3].y, client[4].x, client[4].y});
  }
  if (display_mode == kOwnVessel && client[2] != c) {
    dc.SelectPen({vd::ui::LineStyle::Solid, 0, kBlack});
    DrawArrowLine(dc, c, client[2], chart[0], chart[2]);
  }
  if (client[1] != c) {
    vd::ui::ColourRef pen_colour = colour;
    if (!valid) {
      pen_colour = kGrey;
    } else if (selected && display_mode == kTarget) {
      pen_colour = kBlack;
    }
    dc.SelectPen({vd::ui::LineStyle::Solid, static_cast<int>(2 * scale), pen_colour});
    if (TurnShowsAsArc(c, client[1])) {
      DrawArcVector(dc, c, client[1]);
    } else {
      DrawArrowLine(dc, c, client[1], chart[0], chart[1]);
    }
  }

  bool outline_drawn = false;
  // The record holds the outline's points after the first five, unless it was made for an
  // outline of another size (it is then made again at the next change).
  if (outline.size() >= 2 && client.size() >= 5 + outline.size()) {
    const vd::ui::Point p5 = client[5];
    const vd::ui::Point p6 = client[6];
    if (Length(double(p6.x) - p5.x, double(p6.y) - p5.y) > static_cast<int>(4.125 * scale)) {
      dc.SelectPen(OutlinePen(selected));
      dc.SelectBrush(vd::ui::Brush::Solid(colour));
      dc.Polygon(client.subspan(5));
      for (const vd::ui::Point d : {vd::ui::Point{0, 1}, {0, -1}, {1, 0}, {-1, 0}}) {
        dc.SetPixel({c.x + d.x, c.y + d.y}, kBlack);
      }
      outline_drawn = true;
    }
  }

  if (display_mode == kOwnVessel) {
    const std::optional<vd::ui::Image>& image = valid ? image_a_ : image_no_fix_;
    if (image && !image->IsNull()) {
      graphics.DrawImage(*image, {static_cast<float>(c.x - hot_x_), static_cast<float>(c.y - hot_y_),
                                  static_cast<float>(icon_size_), static_cast<float>(icon_size_)});
    } else {
      DrawPlainSymbol(dc, c, valid != 0);
    }
  } else if (!outline_drawn) {
    // The chart view's rotation is not known to the screen record yet: north-up views.
    const double a = PointingAngle() * kDegToRad;
    const int dx = static_cast<int>(std::lround(22 * scale * std::sin(a)));
    const int dy = static_cast<int>(std::lround(22 * scale * std::cos(a)));
    const int g = dy / 4;
    const int h = dx / 4;
    const vd::ui::Point tip{c.x + dx, c.y - dy};
    const vd::ui::Point arrow[] = {tip, {c.x + g - h, c.y + h + g}, {c.x - g - h, c.y + g - h}};
    dc.SelectPen(OutlinePen(selected));
    dc.SelectBrush(vd::ui::Brush::Solid(colour));
    dc.Polygon(arrow);
    std::vector<vd::ui::Point> line{tip, {tip.x + dx, tip.y - dy}};
    if (rate_of_turn > 0) {
      line.push_back({tip.x + dx + g, tip.y + h - dy});
    } else if (rate_of_turn < 0) {
      line.push_back({tip.x + dx - g, tip.y - h - dy});
    }
    dc.Polyline(line);
    dc.SetPixel(c, kBlack);
  }
  dc.Restore();
}

bool CObjCurrentPosition::TurnShowsAsArc(vd::ui::Point from, vd::ui::Point to) const {
  // Beyond this radius (client pixels) the arc is a straight line on any screen, and its
  // centre would lie outside the drawing coordinates.
  constexpr double kMaxArcRadius = 1e6;
  const double m = vector_minutes * rate_of_turn * kDegToRad;
  const double d = Length(double(to.x) - from.x, double(to.y) - from.y);
  return std::isfinite(m) && m != 0.0 && d > 0.0 && std::fabs(d / m) < kMaxArcRadius;
}

void CObjCurrentPosition::DrawArcVector(vd::ui::Surface& dc, vd::ui::Point from,
                                        vd::ui::Point to) const {
  // The vector bends by the turn it makes in the vector time; its arc is as long as the
  // straight vector would be.
  const double m = vector_minutes * rate_of_turn * kDegToRad;
  const double dx = double(to.x) - from.x;
  const double dy = double(to.y) - from.y;
  const double d = Length(dx, dy);
  const double r = d / m;
  const double cx = from.x + r * -dy / d;
  const double cy = from.y + r * dx / d;
  const double b = course * kDegToRad + m;
  const double s = std::sin(b);
  const double k = std::cos(b);
  const vd::ui::Point end{static_cast<int>(cx - k * r), static_cast<int>(cy - s * r)};
  const int ar = static_cast<int>(std::fabs(r));
  const vd::ui::Rect box{static_cast<int>(cx) - ar, static_cast<int>(cy) - ar,
                         static_cast<int>(cx) + ar, static_cast<int>(cy) + ar};
  dc.Arc(box, from, end, rate_of_turn > 0);
  const int i = static_cast<int>(5 * s + 5 * k);
  const vd::ui::Point barbs[] = {{end.x - i, end.y + static_cast<int>(5 * (k - s))},
                                 end,
                                 {end.x - static_cast<int>(5 * (s - k)), end.y + i}};
  dc.Polyline(barbs);
}

bool CObjCurrentPosition::HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped,
                                  int zoom_step) {
  mapped.hit_index = -1;
  if (!HasPosition() || mapped.point_count() == 0 || !visible) return false;
  const double scale = mapped.view() ? mapped.view()->ScaleFactor() : 1.0;
  const double tolerance = ShiftByZoom(zoom_step) * scale;
  const vd::ui::Point first = mapped.chart_points()[0];
  if (Length(double(chart_point.x) - first.x, double(chart_point.y) - first.y) > tolerance) {
    return false;
  }
  mapped.hit_index = 0;
  return true;
}

bool CObjCurrentPosition::GetStatusText(std::string& text, const CLatLon&, CMappedObject*) {
  const CAppCommon* app = CAppCommon::Instance();
  text = name;
  if (!valid && time != 0 && app) text += " at " + app->FormatDateTime(time, true);
  if (status && *status) text += std::string("\n") + status;
  if (!description.empty()) text += "\n" + description;
  if (speed > 0 && app) {
    text += "\n" + app->FormatSpeed(speed) + " " + app->FormatBearing(course);
  }
  if (altitude > 0 && app) {
    if (const std::string height = app->FormatDepth(altitude); !height.empty()) {
      text += "\nAltitude: " + height;
    }
  }
  if (position.lat * position.lon != 0) {
    std::string where;
    FormatPositionText(position.lat, position.lon, where);
    text += "\n" + where;
  }
  text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
  return true;
}

void CObjCurrentPosition::CentreInView() {
  if (document()) document()->OpenBestChartAt(position.lat, position.lon, 0.0, 2.0, 1);
}
