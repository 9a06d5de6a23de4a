#include "overlays/exchange/nmea_log_file.h"

#include <chrono>
#include <optional>
#include <cmath>
#include <string_view>
#include <vector>

#include "app/app_common.h"
#include "core/path_utils.h"
#include "core/string_utils.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

// Longer lines go on as the next line.
constexpr size_t kMaxLineLength = 199;
// "$GPRMC,": the talker takes two characters, the sentence name three, then the comma.
constexpr size_t kNameOffset = 3;
constexpr size_t kFieldsOffset = 7;
constexpr size_t kMinLineLength = 9;

// The text before a "*hh" checksum, or nullopt when the checksum does not match the characters
// between the leading '$' and the '*'.
std::optional<std::string_view> CheckedBody(std::string_view line) {
  const size_t star = line.find('*');
  if (star == std::string_view::npos) return line;
  const std::string_view body = line.substr(0, star);
  if (star + 2 >= line.size()) return body;
  const int high = vd::os::HexDigit(line[star + 1]);
  const int low = vd::os::HexDigit(line[star + 2]);
  if (high < 0 || low < 0) return body;  // no checksum after all
  unsigned sum = 0;
  for (const char c : body.substr(body.starts_with('$') ? 1 : 0)) {
    sum ^= static_cast<unsigned char>(c);
  }
  if (sum != static_cast<unsigned>(high * 16 + low)) return std::nullopt;
  return body;
}

double NumberOr0(std::string_view field) {
  double value = 0.0;
  return vd::os::ParseDouble(field, value) && std::isfinite(value) ? value : 0.0;
}

// "ddmm.mmm" (or "dddmm.mmm") and its hemisphere; south and west negative.
double Coordinate(std::string_view value, std::string_view hemisphere) {
  const double raw = NumberOr0(value);
  const double degrees = std::trunc(raw / 100.0);
  const double result = degrees + (raw - degrees * 100.0) / 60.0;
  return hemisphere == "S" || hemisphere == "W" ? -result : result;
}

// The leading digits of text, at most count of them, as a number; -1 when fewer are there.
int Digits(std::string_view text, size_t count) {
  if (text.size() < count) return -1;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// "hhmmss" (a fraction of a second dropped) and "ddmmyy" (20yy) as seconds since 1970; the
// fields that can't be read count as 0.
int32_t FixTime(std::string_view time_of_day, std::string_view date) {
  using namespace std::chrono;
  int64_t seconds = 0;
  if (const int hhmmss = Digits(time_of_day, 6); hhmmss >= 0) {
    seconds = hhmmss / 10000 * 3600 + hhmmss / 100 % 100 * 60 + hhmmss % 100;
  }
  if (const int ddmmyy = Digits(date, 6); ddmmyy >= 0) {
    const year_month_day day{year{2000 + ddmmyy % 100}, month(ddmmyy / 100 % 100),
                             std::chrono::day(ddmmyy / 10000)};
    if (day.ok()) seconds += sys_days(day).time_since_epoch() / std::chrono::seconds(1);
  }
  return static_cast<int32_t>(seconds);
}

class NmeaLogReader {
 public:
  NmeaLogReader(std::string title, ObjectList& list) : title_(std::move(title)), list_(list) {}

  // One line and its number in the file (from 1), for the faults it reports.
  void ReadLine(std::string_view line, size_t number) {
    number_ = number;
    if (line.find_first_not_of(" \t") == std::string_view::npos) return;
    // Encapsulated sentences (AIS and the like) are not positions of this vessel.
    if (line.starts_with('!')) return;
    if (!line.starts_with('$') || line.size() < kMinLineLength) {
      return Problem(line, "not an NMEA sentence");
    }
    const std::optional<std::string_view> body = CheckedBody(line);
    if (!body) return Problem(line, "its checksum does not match");
    if (body->size() < kFieldsOffset) return Problem(line, "not an NMEA sentence");
    const std::string_view name = body->substr(kNameOffset, 3);
    const std::vector<std::string> fields = SplitString(body->substr(kFieldsOffset), ",");
    auto field = [&](size_t i) -> std::string_view {
      return i < fields.size() ? std::string_view(fields[i]) : std::string_view();
    };
    const size_t needed = name == "GGA" || name == "RMC" ? 9 : name == "WPL" ? 5 : 0;
    if (fields.size() < needed) {
      return Problem(line, "the sentence is cut short (" + std::to_string(fields.size()) +
                               " of its " + std::to_string(needed) + " fields)");
    }
    if (name == "GGA") {
      altitude_ = static_cast<float>(NumberOr0(field(8)));
      // Receivers that send the RMC of a fix before its GGA: the point takes its own altitude.
      if (last_fix_point_ && !last_fix_time_.empty() && field(0) == last_fix_time_) {
        last_fix_point_->altitude = altitude_;
      }
      last_fix_point_ = nullptr;
    } else if (name == "RMC") {
      last_fix_point_ = nullptr;
      if (field(1) != "A") return;
      const double lat = Coordinate(field(2), field(3));
      const double lon = Coordinate(field(4), field(5));
      if (lat == 0.0 && lon == 0.0) return;
      if (!OnGlobe(lat, lon)) return Problem(line, PositionText(lat, lon));
      AddFix(lat, lon, FixTime(field(0), field(8)));
      last_fix_time_ = field(0);
    } else if (name == "WPL") {
      const double lat = Coordinate(field(0), field(1));
      const double lon = Coordinate(field(2), field(3));
      if (!OnGlobe(lat, lon)) return Problem(line, PositionText(lat, lon));
      AddMark(lat, lon, std::string(field(4)));
    }
  }

  const ReadProblems& problems() const { return problems_; }

  int Finish() {
    if (route_) {
      route_->EndEditing();
      route_->SetLocked(true);
    }
    if (track_) track_->RecomputeTotals();
    return made_;
  }

 private:
  template <class T>
  T* Append() {
    T* object = new T;
    object->AddRef();
    list_.push_back(object);
    ++made_;
    return object;
  }

  void AddFix(double lat, double lon, int32_t time) {
    if (!track_ || !track_->CanContinueAt(time)) {
      if (track_) track_->RecomputeTotals();
      track_ = Append<CObjTrack>();
      track_->name = title_;
    }
    const size_t count = track_->points().size();
    track_->AddPoint(lat, lon, time, altitude_, 0, 0);
    if (track_->points().size() > count) last_fix_point_ = &track_->mutable_points().back();
  }

  void AddMark(double lat, double lon, const std::string& name) {
    if (!route_) {
      route_ = Append<CObjRoute>();
      route_->name = title_;
      route_->SetCategory("NMEA Routes");
    }
    auto* mark = Append<CObjWaypoint>();
    mark->position = {lat, lon};
    mark->name = mark->short_name = name;
    mark->SetCategory("Waypoints");
    const CAppCommon* app = CAppCommon::Instance();
    mark->SetSymbol(app ? app->default_route_point_symbol : 0);
    mark->being_placed = false;
    route_->LinkWaypoint(mark);
  }

  static bool OnGlobe(double lat, double lon) {
    return std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0;
  }
  static std::string PositionText(double lat, double lon) {
    return vd::os::FormatC("latitude %.9g, longitude %.9g is outside -90..90 / -180..180", lat,
                           lon);
  }
  void Problem(std::string_view line, const std::string& what) {
    constexpr size_t kShown = 82;  // the longest sentence
    std::string shown(line.substr(0, kShown));
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    }
    if (line.size() > kShown) shown += "...";
    problems_.Add("line " + std::to_string(number_) + ": " + what + ": \"" + shown + "\"");
  }

  const std::string title_;
  ObjectList& list_;
  ReadProblems problems_;
  size_t number_ = 0;  // of the line being read
  float altitude_ = 0.0f;  // metres, from the latest GGA
  CObjTrack* track_ = nullptr;
  // The point the latest sentence added and that sentence's time of day: a GGA of the same
  // time that follows at once gives the point its altitude.
  CTrackpoint* last_fix_point_ = nullptr;
  std::string last_fix_time_;
  CObjRoute* route_ = nullptr;
  int made_ = 0;
};

}  // namespace

ExchangeRead ImportNmeaFile(const std::string& path, ObjectList& list,
                            const ProgressFn& progress) {
  ExchangeRead result;
  std::string bytes;
  if (vd::os::IsDirectory(path) || !vd::os::ReadWholeFile(path, bytes)) {
    result.error = "Failed to open NMEA file";
    return result;
  }
  NmeaLogReader reader(GetPathTitle(path), list);
  // A '$' starts a sentence wherever it stands, dropping what came before it on the line.
  size_t start = 0;
  size_t line = 1;
  ProgressSteps steps(progress, static_cast<int64_t>(bytes.size()));
  for (size_t i = 0; i <= bytes.size(); ++i) {
    if (!steps(static_cast<int64_t>(i))) {
      result.cancelled = true;
      return result;
    }
    const bool end = i == bytes.size() || bytes[i] == '\r' || bytes[i] == '\n';
    if (!end && bytes[i] == '$') start = i;
    if (end || i + 1 - start == kMaxLineLength) {
      reader.ReadLine(std::string_view(bytes).substr(start, i + (end ? 0 : 1) - start), line);
      start = i + 1;
    }
    if (i < bytes.size() && bytes[i] == '\n') ++line;
  }
  result.count = reader.Finish();
  if (!reader.problems().empty()) {
    result.error = reader.problems().Text(
        (result.count > 0 ? "Not all of " : "Nothing could be read from ") + path +
        (result.count > 0 ? " could be read:" : ":"));
  } else if (result.count == 0) {
    result.error = "No fixes or waypoints found in " + path;
  }
  return result;
}
