#include "overlays/model/overlay_gps_position.h"

#include <cmath>
#include <vector>

#include "core/key_value_file.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/default_units.h"
#include "geodesy/local_projection.h"
#include "overlays/model/overlay_painter.h"
#include "overlays/model/overlay_selection.h"

namespace {

// Live objects, oldest first: the newest is the program's.
std::vector<COverlayGPSPosition*>& Live() {
  static std::vector<COverlayGPSPosition*> live;
  return live;
}

COverlayGPSPosition::Persistant settings;
COverlayGPSPosition::SettingsType settings_type;

constexpr double kDegrees = M_PI / 180.0;
constexpr double kMetresPerNm = 1852.0;
constexpr double kSampleSpacing = 0.1;    // of the averaging time
constexpr double kMinAveragedSpeed = 0.1;  // knots
constexpr double kHeadingProbeMetres = 100.0;

}  // namespace

COverlayGPSPosition::Persistant::Persistant() : PersistantData("COverlayGPSPosition") {}

void COverlayGPSPosition::Persistant::ReadOlderKeys() {
  const CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  const std::string prefix = section() + ":";
  if (!map->Has(prefix + "record_in_background_mode") &&
      map->Has(prefix + "record_in_background")) {
    bool record_in_background = false;
    ExchangeBool("record_in_background", record_in_background);
    record_in_background_mode = record_in_background ? 1 : 0;
  }
  if (!map->Has(prefix + "compass_damping_time_const") && map->Has(prefix + "compass_damping")) {
    float damping = 0.0f;
    ExchangeFloat("compass_damping", damping);
    if (1.0f - damping > 0) compass_damping_time_const = 1.0f / (1.0f - damping);
  }
}

void COverlayGPSPosition::Persistant::Exchange() {
  if (!IsSaving()) ReadOlderKeys();
  ExchangeFloat("vector_scale", vector_scale);
  ExchangeColour("gc_color2", gc_color2);
  ExchangeDouble("averaging_time", averaging_time);
  ExchangeBool("show_heading", show_heading);
  ExchangeBool("show_vector", show_vector);
  ExchangeInt("record_in_background_mode", record_in_background_mode);
  ExchangeBool("use_averaged_direction", use_averaged_direction);
  ExchangeBool("screen_keep_alive", screen_keep_alive);
  ExchangeFloat("compass_damping_time_const", compass_damping_time_const);
  ExchangeString("compass_calibration", compass_calibration);
}

COverlayGPSPosition::Persistant& COverlayGPSPosition::Settings() { return settings; }

COverlayGPSPosition::COverlayGPSPosition() : COverlayMovingTarget(kOwnPosition) {
  Live().push_back(this);
}

COverlayGPSPosition::~COverlayGPSPosition() { std::erase(Live(), this); }

COverlayGPSPosition* COverlayGPSPosition::Instance() {
  return Live().empty() ? nullptr : Live().back();
}

void COverlayGPSPosition::SetCurrentCourseSpeed(float course, float speed) {
  motion.course = course;
  if (speed > CDataSpeedDirection::kMinGroundSpeed) {
    motion.speed = speed;
    course_velocity_ = {speed * std::sin(course * kDegrees), speed * std::cos(course * kDegrees)};
  } else {
    motion.speed = 0.0f;
    course_velocity_ = UnitVector{};
  }
}

void COverlayGPSPosition::SetCurrentHeading(float heading, double now_seconds) {
  if (heading < CDataSpeedDirection::kNoHeading) {
    heading = std::fmod(heading, 360.0f);
    if (heading < 0) heading += 360.0f;
    motion.heading = heading;
    damped_heading_ = heading_filter_.Update(heading, now_seconds);
    motion.heading_direction = {std::sin(damped_heading_ * kDegrees),
                                std::cos(damped_heading_ * kDegrees)};
  } else {
    motion.heading = heading;
    motion.heading_direction = UnitVector{};
    damped_heading_ = kNoCourse;
    heading_filter_.Reset();
  }
}

void COverlayGPSPosition::UpdateAveraged() {
  timeout_.Restart();
  fix_present_ = valid;
  if (fix_present_ && time - last_hand_off_ >= kHandOffInterval) {
    last_hand_off_ = time;
    if (COverlaySelection::Current().object == nullptr) {
      CDefaultUnits::Global().UpdateMagneticVariation(latitude, longitude, time);
    }
  }
  if (last_hand_off_ > time) last_hand_off_ = 0.0;  // the clock went back
  // Samples from after this fix (the clock went back) would give no velocity for a whole window.
  if (!samples_.empty() && samples_.back().time > time) {
    samples_.clear();
    next_sample_time_ = 0.0;
  }
  if (fix_present_ && quality < kMaxSampleQuality && time > next_sample_time_) TakeSample();
  motion.ChooseSource();
  FirePositionListeners();
  NotifyChange(kAppeared);
}

void COverlayGPSPosition::TakeSample() {
  const double window = settings.averaging_time;
  next_sample_time_ = time + window * kSampleSpacing;
  samples_.push_back({latitude, longitude, time});
  averaged_ = AveragedVelocity{};
  const Sample& oldest = samples_.front();
  const double elapsed = time - oldest.time;
  if (samples_.size() > 1 && elapsed > 0) {
    CLocalProjection plane;
    plane.SetOrigin(oldest.latitude, oldest.longitude);
    const EastNorth moved = plane.Project(latitude, longitude);
    const double knots_per_metre = 3600.0 / kMetresPerNm / elapsed;
    const double east = moved.east_metres * knots_per_metre;
    const double north = moved.north_metres * knots_per_metre;
    averaged_.speed = std::hypot(east, north);
    if (averaged_.speed > kMinAveragedSpeed) {
      averaged_.east = east / averaged_.speed;
      averaged_.north = north / averaged_.speed;
      averaged_.course = std::atan2(east, north) / kDegrees;
      if (averaged_.course < 0) averaged_.course += 360.0;
    }
  }
  motion.ground_direction = {averaged_.east, averaged_.north};
  while (!samples_.empty() && samples_.front().time <= time - window) samples_.pop_front();
}

void COverlayGPSPosition::FirePositionListeners() {
  Listener<CDataGPSPosition>::Fire(*this);
}

void COverlayGPSPosition::FixTimeout::OnEvent(CHeartbeat&) {
  if (ticks_left_ > 0 && --ticks_left_ == 0) owner_.OnFixTimeout();
}

void COverlayGPSPosition::OnFixTimeout() {
  if (!fix_present_) return;
  fix_present_ = false;
  // The listeners ignore fixes without the valid flag: a stale fix raises no alarm and is not
  // recorded again.
  valid = false;
  FirePositionListeners();
  NotifyChange(kChanged);
}

void COverlayGPSPosition::Project(CScreenPoints& points, const ChartViewGeoref& georef) {
  if (!points.valid) {
    shape_offset_ = vd::ui::PointF{};
    colour = settings.gc_color2;
  }
  show_vector = settings.show_vector;
  COverlayMovingTarget::Project(points, georef);
  screen_heading_ = UnitVector{};
  if (points.points.empty() || motion.source_kind != CDataSpeedDirection::kHeading) return;
  CLocalProjection plane;
  plane.SetOrigin(latitude, longitude);
  float x;
  float y;
  if (!georef.LatLonToScreen(
          latitude + kHeadingProbeMetres * motion.direction.north / plane.north_factor(),
          longitude + kHeadingProbeMetres * motion.direction.east / plane.east_factor(), x, y)) {
    return;
  }
  const double dx = x - points.points[0].x;
  const double dy = y - points.points[0].y;
  const double length = std::hypot(dx, dy);
  if (length > 0) screen_heading_ = {dx / length, dy / length};
}

void COverlayGPSPosition::Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                               const CScreenPoints& points) {
  if (motion.source_kind != CDataSpeedDirection::kHeading) {
    COverlayMovingTarget::Draw(dc, view, points);
    return;
  }
  if (!NoteDrawnPosition(view, points)) return;
  if (COverlayPainter* painter = COverlayPainter::Get()) {
    painter->DrawHeadingShape(*this, dc, view, points);
  }
}
