#pragma once
// Place-name index files for tests, written record by record, and a catcher of the error
// messages the chart code shows.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "charts/chart_reader_services.h"
#include "charts/old_geo_name_database.h"

namespace vd::test {

struct GeoNameFixturePlace {
  int32_t category;
  double lat;
  double lon;
  std::string name;  // Windows-1252
};

inline std::string GeoNameIndexBytes(const std::vector<std::string>& categories,
                                     const std::vector<GeoNameFixturePlace>& places) {
  std::string bytes(kGeoNameHeaderSize, '\0');
  const int64_t magic = kGeoNameMagic;
  const int32_t counts[2] = {static_cast<int32_t>(categories.size()),
                             static_cast<int32_t>(places.size())};
  std::memcpy(bytes.data(), &magic, sizeof magic);
  std::memcpy(bytes.data() + 8, counts, sizeof counts);
  for (const std::string& name : categories) AppendGeoNameRecord(bytes, 0, 0, 0, name);
  for (const GeoNameFixturePlace& p : places) AppendGeoNameRecord(bytes, p.category, p.lat, p.lon, p.name);
  return bytes;
}

// Installs a show_error service that records the messages, for the object's lifetime.
class ErrorCatcher {
 public:
  ErrorCatcher() {
    ChartReaderServices services;
    services.show_error = [this](const std::string& text) { messages.push_back(text); };
    SetChartReaderServices(services);
  }
  ~ErrorCatcher() { SetChartReaderServices({}); }
  ErrorCatcher(const ErrorCatcher&) = delete;
  ErrorCatcher& operator=(const ErrorCatcher&) = delete;

  std::vector<std::string> messages;
};

}  // namespace vd::test
