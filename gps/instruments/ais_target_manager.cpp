#include "gps/instruments/ais_target_manager.h"

#include <chrono>
#include <cmath>
#include <numbers>

#include "geodesy/default_units.h"
#include "app/user_notification_manager.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_mark.h"
#include "overlays/model/overlay_painter.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/screen_points.h"
#include "overlays/model/screen_transform.h"
#include "platform/os/numbers.h"

namespace {

constexpr double kMetresPerSecondPerKnot = 0.5144445;
constexpr double kDegrees = std::numbers::pi / 180.0;
constexpr double kManOverboardRange = 10000.0;  // metres
constexpr double kManOverboardMarkRange = 500.0;

constexpr uint32_t Argb(int r, int g, int b) {
  return 0xFF000000u | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
         static_cast<uint32_t>(b);
}
constexpr uint32_t kGreen = Argb(0, 220, 0), kGrey = Argb(128, 128, 128),
                   kMagenta = Argb(200, 50, 200), kBlue = Argb(0, 148, 234),
                   kClassB = Argb(100, 200, 100), kAircraft = Argb(100, 100, 200),
                   kRed = Argb(255, 0, 0), kYellow = Argb(220, 220, 0),
                   kWhite = Argb(255, 255, 255);

struct NavStatus {
  const char* name;
  uint32_t colour;
};
constexpr NavStatus kNavStatus[] = {
    {"Under way using engine", kGreen},    {"At anchor", kGrey},
    {"NOT UNDER COMMAND", kMagenta},       {"RESTRICTED MANOEVRABILITY", kMagenta},
    {"CONSTRAINED BY DRAFT", kMagenta},    {"Moored", kGrey},
    {"AGROUND", kMagenta},                 {"FISHING", kMagenta},
    {"Under way sailing", kBlue},
};

double SystemClock() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

// ---- CAISTarget ----

CAISTarget::CAISTarget(uint32_t mmsi_number)
    : COverlayMovingTarget(kKindAis), mmsi(mmsi_number), mmsi_text(std::to_string(mmsi_number)) {}

std::string CAISTarget::Tooltip() const {
  if (!info.empty()) return info;
  return vd::os::FormatC("MMSI:%u, %s\nSpeed:%.1f kts, %s", mmsi, kind_text.c_str(), speed_knots,
                         nav_status_name.c_str());
}

void CAISTarget::Draw(vd::ui::Surface& dc, const CScreenTransform& view,
                      const CScreenPoints& points) {
  if (!NoteDrawnPosition(view, points)) return;
  COverlayPainter* painter = COverlayPainter::Get();
  if (painter == nullptr) return;
  painter->DrawMovingTarget(*this, dc, view, points);
  const vd::ui::Point at = view.ToScreenPixel(points.points[0]);
  const float unit = DisplayScale() * (kind_text == "Class B" ? 0.8f : 1.0f);
  // Corners in display units, x east and y north, turned to the heading.
  struct Corner {
    double x, y;
  };
  Corner corners[3];
  if (heading != kNoHeading) {
    corners[0] = {0.0, 19.6};
    corners[1] = {-8.0, -8.4};
    corners[2] = {8.0, -8.4};
  } else {
    corners[0] = {0.0, 9.856};
    corners[1] = {-8.0, -4.0};
    corners[2] = {8.0, -4.0};
  }
  const double turn = heading != kNoHeading ? heading * kDegrees : 0.0;
  vd::ui::Point screen[3];
  for (int i = 0; i < 3; ++i) {
    const double x = corners[i].x * std::cos(turn) + corners[i].y * std::sin(turn);
    const double y = -corners[i].x * std::sin(turn) + corners[i].y * std::cos(turn);
    screen[i] = {at.x + static_cast<int>(std::lround(x * unit)),
                 at.y - static_cast<int>(std::lround(y * unit))};
  }
  painter->DrawTargetSymbol(dc, screen, colour);
}

// ---- CAISTargetManager ----

CAISTargetManager::Persistant::Persistant() : PersistantData("CAISTargetManager") {}

void CAISTargetManager::Persistant::Exchange() {
  ExchangeFloat("alarm_distance", alarm_distance);
  ExchangeFloat("cpa_classB_distance", cpa_classB_distance);
  ExchangeFloat("alarm_time", alarm_time);
  ExchangeFloat("min_closing_velocity_knots", min_closing_velocity_knots);
  ExchangeBool("alarm_beep", alarm_beep);
  ExchangeBool("record_tracks", record_tracks);
  ExchangeBool("enable_settings", enable_settings);
}

CAISTargetManager::Persistant& CAISTargetManager::Settings() {
  static Persistant record;
  return record;
}

CAISTargetManager::CAISTargetManager() : CHeartbeat::Counter(kHeartbeatPeriod) {}

CAISTargetManager& CAISTargetManager::Instance() {
  static CAISTargetManager manager;
  return manager;
}

double CAISTargetManager::Now() const { return clock_ ? clock_() : SystemClock(); }

CAISTarget* CAISTargetManager::Find(uint32_t mmsi) const {
  const auto it = targets_.find(mmsi);
  return it == targets_.end() ? nullptr : it->second.get();
}

void CAISTargetManager::Clear() {
  for (auto& [mmsi, target] : targets_) {
    ClearAlarm(*target);
    Listener<CAISTarget>::Fire(*target);
  }
  selected_ = nullptr;
  targets_.clear();
  plane_ = CLocalProjection();
  have_own_position_ = false;
  is_position_source_ = false;
}

void CAISTargetManager::OnEvent(CNEMA_AIS::VDM& sentence) { UpdateTarget(sentence.message); }

void CAISTargetManager::UpdateTarget(const CNEMA_AIS::Message& m) {
  const int type = m.type;
  const bool position_type = (type >= 1 && type <= 3) || type == 9 || type == 18 || type == 19;
  const bool static_type = type == 5 || type == 19 || type == 21 || type == 24;
  if (!position_type && !static_type) return;
  std::unique_ptr<CAISTarget>& slot = targets_[m.mmsi];
  if (!slot) slot = std::make_unique<CAISTarget>(m.mmsi);
  CAISTarget& t = *slot;
  t.last_message = type;
  t.heard = Now();
  const bool in_range = m.latitude < 90.0 && m.longitude < 180.0;
  auto take_motion = [&] {
    t.latitude = m.latitude;
    t.longitude = m.longitude;
    t.valid = true;
    t.speed_knots = m.speed_knots;
    t.course = m.course;
    if (m.heading != CNEMA_AIS::Message::kNoHeading) {
      t.heading = m.heading;
    } else {
      t.heading = t.speed_knots > 1.0 ? static_cast<int>(std::lround(t.course)) % 360
                                      : CAISTarget::kNoHeading;
    }
  };
  auto dims = [&] {
    t.to_bow = m.to_bow;
    t.to_stern = m.to_stern;
    t.to_port = m.to_port;
    t.to_starboard = m.to_starboard;
  };
  switch (type) {
    case 1: case 2: case 3: {
      if (!in_range) break;
      t.kind_text = "Class A";
      take_motion();
      t.nav_status = m.nav_status >= 0 && m.nav_status <= 8 ? m.nav_status : 0;
      t.nav_status_name = kNavStatus[t.nav_status].name;
      t.colour = kNavStatus[t.nav_status].colour;
      if (StartsWith(t.mmsi_text, "970")) t.kind_text = "Search and Rescue Transponder";
      if (StartsWith(t.mmsi_text, "972")) t.kind_text = "Man Overboard";
      if (StartsWith(t.mmsi_text, "974")) t.kind_text = "EPIRB";
      if (t.kind_text != "Class A") t.colour = kRed;
      break;
    }
    case 5:
      t.name = m.name;
      t.call_sign = m.call_sign;
      t.destination = m.destination;
      t.type_text = std::to_string(m.ship_type);
      dims();
      t.info = vd::os::FormatC(
          "\"%s\" Type:%s LOA:%dm\nCallsign:%s, MMSI:%u\nDest:%s, ETA:%02d:%02d %d/%d",
          t.name.c_str(), t.type_text.c_str(), t.to_bow + t.to_stern, t.call_sign.c_str(), t.mmsi,
          t.destination.c_str(), m.eta_hour, m.eta_minute, m.eta_day, m.eta_month);
      break;
    case 9:
      if (!in_range) break;
      t.kind_text = "Aircraft";
      t.colour = kAircraft;
      take_motion();
      t.altitude = m.altitude;
      break;
    case 18:
    case 19:
      if (!in_range) break;
      t.kind_text = "Class B";
      t.type_text = "n/a";
      t.colour = kClassB;
      take_motion();
      if (type == 19) {
        t.name = m.name;
        t.type_text = std::to_string(m.ship_type);
        dims();
        t.info = vd::os::FormatC("\"%s\" Type:%s, LOA:%dm\nClass B MMSI:%u", t.name.c_str(),
                                 t.type_text.c_str(), t.to_bow + t.to_stern, t.mmsi);
      }
      break;
    case 21:
      t.kind_text = "Aid to Navigation";
      t.name = m.name;
      if (in_range) {
        t.latitude = m.latitude;
        t.longitude = m.longitude;
        t.valid = true;
      }
      dims();
      t.info = vd::os::FormatC("\"%s\" Aid to Navigation, Type:%d, MMSI:%u", t.name.c_str(),
                               m.aid_type, t.mmsi);
      break;
    case 24:
      if (m.part_number == 0) {
        t.name = m.name;
      } else {
        t.call_sign = m.call_sign;
        t.type_text = std::to_string(m.ship_type);
        dims();
        t.info = vd::os::FormatC("Call:%s\nType:%s LOA:%dm MMSI:%u", t.call_sign.c_str(),
                                 t.type_text.c_str(), t.to_bow + t.to_stern, t.mmsi);
      }
      break;
  }
  t.lost_contact = false;
  if (have_own_position_) Recompute(t);
  t.NotifyChange(COverlayObject::kChanged);
  Listener<CAISTarget>::Fire(t);
}

void CAISTargetManager::OnEvent(CNEMA_AIS::VDO& sentence) {
  const CNEMA_AIS::Message& m = sentence.message;
  if (!((m.type >= 1 && m.type <= 3) || m.type == 18)) return;
  if (!is_position_source_ && other_source_ && other_source_()) return;
  is_position_source_ = true;
  CDataGPSPosition fix;
  fix.valid = m.latitude < 90.0 && m.longitude < 180.0;
  fix.latitude = m.latitude;
  fix.longitude = m.longitude;
  fix.time = Now();
  fix.motion.course = static_cast<float>(m.course);
  fix.motion.speed = static_cast<float>(m.speed_knots);
  if (m.heading != CNEMA_AIS::Message::kNoHeading) fix.motion.heading = static_cast<float>(m.heading);
  Listener<CDataGPSPosition>::Fire(fix);
}

void CAISTargetManager::OnEvent(CDataGPSPosition& fix) {
  if (!fix.valid || !(fix.latitude < 90.0)) return;
  plane_.SetOrigin(fix.latitude, fix.longitude);
  have_own_position_ = true;
  const double speed = fix.motion.GetSpeed() > 0 ? fix.motion.GetSpeed() : fix.motion.speed;
  const double course = fix.motion.course >= 0 ? fix.motion.course : 0.0;
  own_vx_ = speed * kMetresPerSecondPerKnot * std::sin(course * kDegrees);
  own_vy_ = speed * kMetresPerSecondPerKnot * std::cos(course * kDegrees);
  for (auto& [mmsi, target] : targets_) {
    Recompute(*target);
    Listener<CAISTarget>::Fire(*target);
  }
}

void CAISTargetManager::ClearAlarm(CAISTarget& target) {
  if (!target.alarm_active) return;
  target.alarm_active = false;
  if (Settings().alarm_beep) UserNotificationManager::Instance().Acknowledge(target.mmsi);
}

void CAISTargetManager::Recompute(CAISTarget& t) {
  if (!t.valid) return;
  const RangeBearing rb = plane_.RangeBearingTo(t.latitude, t.longitude);
  t.range = rb.range_metres;
  t.bearing = rb.bearing_degrees;
  const bool overboard = StartsWith(t.mmsi_text, "972") && t.range < kManOverboardRange;
  if (t.speed_knots < 0.1 && !overboard) {
    t.tcpa = 0.0;
    t.cpa = 1e10;
    ClearAlarm(t);
    return;
  }
  const EastNorth offset = plane_.Project(t.latitude, t.longitude);
  const double tv = t.speed_knots * kMetresPerSecondPerKnot;
  const double vx = tv * std::sin(t.course * kDegrees) - own_vx_;
  const double vy = tv * std::cos(t.course * kDegrees) - own_vy_;
  const double v2 = vx * vx + vy * vy;
  t.tcpa = v2 > 1e-6 ? -(offset.east_metres * vx + offset.north_metres * vy) / v2 : 0.0;
  t.cpa = t.tcpa > 0 ? std::hypot(offset.east_metres + vx * t.tcpa,
                                  offset.north_metres + vy * t.tcpa)
                     : 1e10;
  t.cpa -= t.to_bow + t.to_stern;
  if (t.cpa < 0) t.cpa = 0.0001;

  const Persistant& s = Settings();
  if (overboard) {
    t.alarm_active = true;
    std::string text;
    CDefaultUnits::Global().AppendValueText(t.range, text);
    text += vd::os::FormatC(" away, bearing %.0f", t.bearing);
    UserNotificationManager::Instance().Raise(t.mmsi,
                                              reinterpret_cast<intptr_t>("AIS Man Overboard"),
                                              reinterpret_cast<intptr_t>(text.c_str()));
    if (CMarkManager* marks = CMarkManager::Instance()) {
      const std::string name = vd::os::FormatC("AIS MOB: %u", t.mmsi);
      COverlayMark* found = nullptr;
      for (const auto& mark : marks->marks)
        if (mark->name == name) found = mark.get();
      if (!found) {
        auto mark = std::make_unique<COverlayMark>(false);
        mark->name = name;
        mark->icon = "X";
        found = marks->AddMark(std::move(mark));
      }
      found->latitude = t.latitude;
      found->longitude = t.longitude;
      found->modified = GetNow();
      if (t.range < kManOverboardMarkRange) found->alarm_radius = kManOverboardMarkRange;
      found->NotifyChange(COverlayObject::kChanged);
    }
    return;
  }
  if (t.tcpa <= 0) {
    ClearAlarm(t);
    return;
  }
  const double threshold = t.kind_text == "Class B" ? s.cpa_classB_distance : s.alarm_distance;
  const double closing = std::sqrt(v2);
  if (t.tcpa < s.alarm_time && t.cpa < threshold &&
      closing > s.min_closing_velocity_knots * kMetresPerSecondPerKnot) {
    t.colour = kRed;
    t.alarm_active = true;
    if (s.alarm_beep) {
      const std::string caption =
          vd::os::FormatC("AIS collision alert, %s", t.name.empty() ? "Unknown name" : t.name.c_str());
      const std::string text = vd::os::FormatC(
          "%s, CPA %d m, %d min", t.name.empty() ? "Unknown name" : t.name.c_str(),
          static_cast<int>(t.cpa), static_cast<int>(t.tcpa / 60));
      UserNotificationManager::Instance().Raise(t.mmsi, reinterpret_cast<intptr_t>(caption.c_str()),
                                                reinterpret_cast<intptr_t>(text.c_str()));
    }
  } else if (t.tcpa < 2 * s.alarm_time && t.cpa < 2 * threshold) {
    t.colour = kYellow;
  }
}

void CAISTargetManager::CheckContacts() {
  const double now = Now();
  for (auto it = targets_.begin(); it != targets_.end();) {
    CAISTarget& t = *it->second;
    const double silent = now - t.heard;
    if (silent > kRemoveSeconds) {
      ClearAlarm(t);
      Listener<CAISTarget>::Fire(t);
      if (selected_ == &t) selected_ = nullptr;
      it = targets_.erase(it);  // the target announces its going away as it is destroyed
      continue;
    }
    if (silent > kLostContactSeconds && !t.lost_contact) {
      t.lost_contact = true;
      t.colour = kWhite;
      t.kind_text = "Lost contact";
      ClearAlarm(t);
      t.NotifyChange(COverlayObject::kChanged);
      Listener<CAISTarget>::Fire(t);
    }
    ++it;
  }
}

namespace {
// Built when the program starts, listening for messages wherever a dispatcher feeds them.
CAISTargetManager::SettingsType ais_settings_type;
[[maybe_unused]] const bool ais_ready = [] {
  CAISTargetManager::Settings();
  CAISTargetManager::Instance();
  return true;
}();
// The AIS sentence types are registered with the manager that reads them.
[[gnu::used]] CNMEASentenceType* const kAisTypes[] = {&CNEMA_AIS::VDM::Type,
                                                     &CNEMA_AIS::VDO::Type};
}  // namespace
