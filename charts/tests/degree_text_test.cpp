#include "charts/degree_text.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct DegreesCase {
  const char* text;
  double value;
  char letter;
};

TEST(ParseDegreesText, ReadsDegreesMinutesSecondsAndTheLetter) {
  const DegreesCase cases[] = {
      {"50 30 00 N", 50.5, 'N'},
      {"12°30'N", 12.5, 'N'},
      {"50°30.5'N", 50.508333333, 'N'},
      // The minute mark before the decimal point is dropped.
      {"50°30'.5N", 50.508333333, 'N'},
      {"50°30’.5N", 50.508333333, 'N'},
      // A comma after the degrees or the minutes ends the value.
      {"12,30", 12.0, 0},
      {"12 30,15", 12.5, 0},
      // A leading minus applies to the whole value.
      {"-12 30", -12.5, 0},
      {"-0 30", -0.5, 0},
      {"12d 30E", 12.5, 0},
      {"w 10", 0.0, 'W'},
      {"", 0.0, 0},
  };
  for (const DegreesCase& c : cases) {
    double value = 123.0;
    EXPECT_EQ(ParseDegreesText(c.text, value), c.letter) << c.text;
    EXPECT_NEAR(value, c.value, 1e-8) << c.text;
  }
}

struct AxisCase {
  const char* text;
  std::optional<double> lat;
  std::optional<double> lon;
};

TEST(ParseLatitudeLongitudeText, RangesLettersAndFailures) {
  const AxisCase cases[] = {
      {"50 30 00 N", 50.5, std::nullopt},
      {"10 15 W", std::nullopt, -10.25},
      {"12°30'N", 12.5, std::nullopt},
      {"-12 30", -12.5, -12.5},
      {"45 S", -45.0, std::nullopt},
      {"-45 S", -45.0, std::nullopt},  // the letter names the side; the minus does not undo it
      {"90", 90.0, 90.0},
      {"95N", std::nullopt, std::nullopt},
      {"95", std::nullopt, 95.0},
      {"181E", std::nullopt, 181.0},
      {"-360", std::nullopt, -360.0},
      {"360.5", std::nullopt, std::nullopt},
      {"garbage", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"°'", std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt},
  };
  for (const AxisCase& c : cases) {
    double lat = 7.0;
    ASSERT_EQ(ParseLatitudeText(c.text, lat), c.lat.has_value()) << c.text;
    EXPECT_NEAR(lat, c.lat.value_or(7.0), 1e-9) << c.text;
    double lon = 8.0;
    ASSERT_EQ(ParseLongitudeText(c.text, lon), c.lon.has_value()) << c.text;
    EXPECT_NEAR(lon, c.lon.value_or(8.0), 1e-9) << c.text;
  }
}

}  // namespace
