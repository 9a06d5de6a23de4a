#include "charts/degree_text.h"

#include "geodesy/angle_text.h"

namespace {
constexpr bool kCommaEndsValue = true;
}  // namespace

char ParseDegreesText(const std::string& text, double& value) {
  const DegreesText read = ScanDegreesText(text, kCommaEndsValue);
  value = read.value.value_or(0.0);
  return read.hemisphere;
}

bool ParseLatitudeText(const std::string& text, double& lat) {
  return ParseAngleText(text, AngleAxis::kLatitude, kCommaEndsValue, lat);
}

bool ParseLongitudeText(const std::string& text, double& lon) {
  return ParseAngleText(text, AngleAxis::kLongitude, kCommaEndsValue, lon);
}
