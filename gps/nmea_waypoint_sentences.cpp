#include "gps/nmea_waypoint_sentences.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "app/nmea_fields.h"
#include "gps/packet_name.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kMaxSentName = 6;

// Hands out short names unique within one transfer.
class ShortNamer {
 public:
  explicit ShortNamer(int name_length) : length_(std::clamp(name_length, 1, kMaxSentName)) {}

  std::string Name(const std::string& full_name) {
    char buffer[kMaxSentName + 1];
    std::string base(
        buffer, static_cast<size_t>(CopyPacketName(buffer, length_, full_name, "", false, true)));
    if (base.empty()) base = std::string("WPT").substr(0, static_cast<size_t>(length_));
    if (used_.insert(base).second) return base;
    for (int i = 1;; ++i) {
      std::string suffix = std::to_string(i);
      size_t keep = suffix.size() < static_cast<size_t>(length_) ? length_ - suffix.size() : 0;
      std::string candidate = base.substr(0, keep) + suffix;
      if (used_.insert(candidate).second) return candidate;
    }
  }

 private:
  int length_;
  std::set<std::string> used_;
};

std::string WplSentence(const GpsMark& mark, const std::string& short_name) {
  std::string s = "$ECWPL,";
  FormatNMEALatLon(s, mark.position);
  return s + short_name;
}

}  // namespace

std::vector<std::string> MakeMarkSentences(const std::vector<GpsMark>& marks, int name_length) {
  ShortNamer namer(name_length);
  std::vector<std::string> sentences;
  for (const GpsMark& mark : marks) sentences.push_back(WplSentence(mark, namer.Name(mark.name)));
  return sentences;
}

std::vector<std::string> MakeRouteSentences(const std::vector<GpsRoute>& routes, int name_length,
                                            std::string& warning) {
  ShortNamer namer(name_length);
  // The same name at the same place is the same mark.
  using MarkKey = std::tuple<std::string, double, double>;
  std::map<MarkKey, std::string> short_names;
  std::vector<std::string> sentences;
  for (const GpsRoute& route : routes) {
    for (const GpsMark& mark : route.points) {
      auto [it, added] =
          short_names.try_emplace(MarkKey{mark.name, mark.position.lat, mark.position.lon});
      if (!added) continue;
      it->second = namer.Name(mark.name);
      sentences.push_back(WplSentence(mark, it->second));
    }
  }
  warning.clear();
  int route_number = 0;
  for (const GpsRoute& route : routes) {
    ++route_number;
    const size_t points = std::min(route.points.size(), kMaxNmeaRoutePoints);
    if (route.points.size() > kMaxNmeaRoutePoints) {
      if (!warning.empty()) warning += '\n';
      warning += vd::os::FormatC("Route \"%s\" has %zu points: only its first %zu were sent",
                                 route.name.c_str(), route.points.size(), kMaxNmeaRoutePoints);
    }
    auto name_of = [&](size_t i) {
      const GpsMark& m = route.points[i];
      return short_names.at(MarkKey{m.name, m.position.lat, m.position.lon});
    };
    const int count = static_cast<int>((points + 1) / 2);
    for (int n = 0; n < count; ++n) {
      const size_t first = static_cast<size_t>(n) * 2;
      std::string s = vd::os::FormatC("$ECRTE,%d,%d,c,%02d,", count, n + 1, route_number);
      s += name_of(first);
      if (first + 1 < points) s += "," + name_of(first + 1);
      sentences.push_back(std::move(s));
    }
  }
  return sentences;
}
