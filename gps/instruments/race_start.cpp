#include "gps/instruments/race_start.h"

#include <chrono>
#include <cmath>

#include "platform/os/numbers.h"

namespace {

// The start sentences are registered with the race start that uses them.
CNMEASentenceTypeOf<NMEA_PVDQ::SetStartTimer> start_timer_type{NMEA_PVDQ::kNameOffset,
                                                              "PVDQ,SetStartTimer", true};
CNMEASentenceTypeOf<NMEA_PVDQ::SetStartLine> start_line_type{NMEA_PVDQ::kNameOffset,
                                                            "PVDQ,SetStartLine", true};

// Knots per metre per second.
constexpr double kKnotsPerMetrePerSecond = 1.9438444924406046;
// Longest sentence that still takes its checksum and line end within the 200-character limit.
constexpr size_t kMaxSentenceText = 194;

double SystemClock() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

CDataStartTimer::Persistant::Persistant() : PersistantData("CDataStartTimer") {}

void CDataStartTimer::Persistant::Exchange() {
  ExchangeDouble("time_of_start", values.time_of_start);
  ExchangeInt("period_minutes", values.period_minutes);
  ExchangeString("after_start_layout", values.after_start_layout);
  ExchangeBool("new_track_at_start", values.new_track_at_start);
}

CDataStartLine::Persistant::Persistant() : PersistantData("CDataStartLine") {}

void CDataStartLine::Persistant::Exchange() {
  ExchangeDouble("left_lat", values.left_lat);
  ExchangeDouble("left_lon", values.left_lon);
  ExchangeDouble("right_lat", values.right_lat);
  ExchangeDouble("right_lon", values.right_lon);
  ExchangeFloat("axis", values.axis);
  if (CurrentMap() && !IsSaving() && !Feed_StartInfo::Instance().echoing()) FireStartLine();
}

CDataStartTimer::Persistant& StartTimerSettings() {
  static CDataStartTimer::Persistant record;
  return record;
}

CDataStartLine::Persistant& StartLineSettings() {
  static CDataStartLine::Persistant record;
  return record;
}

void FireStartTimer() {
  CDataStartTimer event = StartTimerSettings().values;
  event.clock = SystemClock();
  Listener<CDataStartTimer>::Fire(event);
}

void FireStartLine() {
  CDataStartLine event = StartLineSettings().values;
  Listener<CDataStartLine>::Fire(event);
}

// ---- Feed_StartInfo ----

Feed_StartInfo& Feed_StartInfo::Instance() {
  static Feed_StartInfo feed;
  return feed;
}

void Feed_StartInfo::Send(std::string sentence) {
  if (sentence.size() > kMaxSentenceText) return;
  NMEAAppendChecksum(sentence);
  sentence += "\r\n";
  if (output_) output_(sentence);
}

void Feed_StartInfo::OnEvent(CDataStartTimer& timer) {
  if (echoing_) return;
  Send(vd::os::FormatC("$PVDQ,SetStartTimer,%.0f,%d", timer.time_of_start,
                       timer.period_minutes));
}

void Feed_StartInfo::OnEvent(CDataStartLine& line) {
  if (echoing_ || line.left_lat == 0.0 || line.right_lat == 0.0) return;
  Send(vd::os::FormatC("$PVDQ,SetStartLine,%.6f,%.6f,%.6f,%.6f", line.left_lat, line.left_lon,
                       line.right_lat, line.right_lon));
}

void Feed_StartInfo::OnEvent(NMEA_PVDQ::SetStartTimer& sentence) {
  CDataStartTimer::Persistant& record = StartTimerSettings();
  record.values.time_of_start = sentence.start_time;
  record.values.period_minutes = sentence.period_minutes;
  record.MarkDirty();
  echoing_ = true;
  PersistantData::SaveAll();
  FireStartTimer();
  echoing_ = false;
}

void Feed_StartInfo::OnEvent(NMEA_PVDQ::SetStartLine& sentence) {
  CDataStartLine::Persistant& record = StartLineSettings();
  record.values.left_lat = sentence.left_lat;
  record.values.left_lon = sentence.left_lon;
  record.values.right_lat = sentence.right_lat;
  record.values.right_lon = sentence.right_lon;
  record.MarkDirty();
  echoing_ = true;
  PersistantData::SaveAll();
  FireStartLine();
  echoing_ = false;
}

// ---- CDataDistanceToStart ----

CDataDistanceToStart& CDataDistanceToStart::Instance() {
  static CDataDistanceToStart distance;
  return distance;
}

void CDataDistanceToStart::OnEvent(CDataGPSPosition& fix) {
  fix_ = fix;
  Recompute();
}

void CDataDistanceToStart::OnEvent(CDataStartLine& line) {
  SetUpLine(line);
  Recompute();
}

void CDataDistanceToStart::OnEvent(CDataStartTimer& timer) {
  start_time_ = timer.time_of_start;
  Recompute();
}

void CDataDistanceToStart::SetUpLine(const CDataStartLine& line) {
  line_usable_ = false;
  if (line.right_lat == 0.0 || line.right_lon == 0.0) return;
  plane_.SetOrigin(line.right_lat, line.right_lon);
  const EastNorth left = plane_.Project(line.left_lat, line.left_lon);
  const double length = std::hypot(left.east_metres, left.north_metres);
  if (!(length >= kMinLineMetres && length <= kMaxLineMetres)) return;
  // Perpendicular to the line, turned from it towards the side the start is made from.
  normal_north_ = -left.east_metres / length;
  normal_east_ = left.north_metres / length;
  line_usable_ = true;
}

void CDataDistanceToStart::Recompute() {
  has_result_ = false;
  distance_ = time_to_start_ = time_to_burn_ = 0.0;
  burn_valid_ = false;
  if (line_usable_ && fix_.valid && fix_.latitude < 90.0) {
    const EastNorth boat = plane_.Project(fix_.latitude, fix_.longitude);
    distance_ = -(boat.east_metres * normal_east_ + boat.north_metres * normal_north_);
    time_to_start_ = start_time_ - (clock_ ? clock_() : SystemClock());
    has_result_ = true;
    if (time_to_start_ > 0 && distance_ > 0) {
      const UnitVector& direction = fix_.motion.direction;
      const double towards = fix_.motion.GetSpeed() *
                             (direction.east * normal_east_ + direction.north * normal_north_);
      if (towards > 0.1) {
        time_to_burn_ = kKnotsPerMetrePerSecond / towards * distance_ - time_to_start_;
        burn_valid_ = true;
      }
    }
  }
  Listener<CDataDistanceToStart>::Fire(*this);
}

namespace {
// Built when the program starts, so that the settings file and other instruments' sentences
// find them: the timer record, the feed and the distance object, then the line record (whose
// reading announces the line to them).
[[maybe_unused]] const bool race_start_ready = [] {
  StartTimerSettings();
  Feed_StartInfo::Instance();
  CDataDistanceToStart::Instance();
  StartLineSettings();
  return true;
}();
}  // namespace
