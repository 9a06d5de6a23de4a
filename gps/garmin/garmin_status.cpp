#include "gps/garmin/garmin_status.h"

#include <mutex>
#include <set>
#include <string>

const char* GarminStatusText(std::string_view text) {
  static constexpr size_t kStatusLength = 50;
  static std::mutex mutex;
  static std::set<std::string, std::less<>> texts;
  std::lock_guard lock(mutex);
  return texts.emplace(text.substr(0, kStatusLength)).first->c_str();
}
