#include "geodesy/degree_length.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double Radians(double degrees) { return degrees * M_PI / 180.0; }

// The rules the tables were made from, in nautical miles.
double LonRule(double i) {
  const double a = 6378137.0;
  const double f = 1 / 298.257223563;
  const double e2 = f * (2 - f);
  const double s = std::sin(Radians(i));
  return a / std::sqrt(1 - e2 * s * s) * std::cos(Radians(i)) * M_PI / 180.0 / 1852.0;
}
double LatRule(double i) {
  const double x = Radians(std::min(i, 89.0));
  return (111133.892656 - 559.850886 * std::cos(2 * x) + 0.235032 * std::cos(4 * x) -
          0.000986 * std::cos(6 * x)) /
         1852.0;
}

TEST(DegreeLengthTest, TablesFollowTheirRules) {
  for (int i = 0; i < 91; ++i) {
    EXPECT_NEAR(kLonDegreeTable[i], LonRule(i), 1e-9) << i;
    EXPECT_NEAR(kLatDegreeTable[i], LatRule(i), 1e-9) << i;
  }
}

TEST(DegreeLengthTest, ReferenceValues) {
  struct Case {
    double lat;
    double lon_length;
    double lat_length;
  };
  const Case cases[] = {
      {0, 60.10771641029, 59.70533251357},
      {45, 42.57388503989, 60.00737452742},
      {89, kLonDegreeTable[89], 60.30973970626},
      {90, 0.0, 60.30973970626},
      {-90, 0.0, 60.30973970626},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(LonDegreeLength(c.lat), c.lon_length, 1e-12) << c.lat;
    EXPECT_NEAR(LatDegreeLength(c.lat), c.lat_length, 1e-12) << c.lat;
  }
  EXPECT_EQ(LonDegreeLength(90), 0.0);
}

TEST(DegreeLengthTest, InterpolatesOnAbsoluteLatitude) {
  EXPECT_DOUBLE_EQ(LatDegreeLength(45.5), (kLatDegreeTable[45] + kLatDegreeTable[46]) / 2);
  EXPECT_EQ(LatDegreeLength(-45.5), LatDegreeLength(45.5));
  EXPECT_DOUBLE_EQ(LonDegreeLength(-10.25),
                   0.75 * kLonDegreeTable[10] + 0.25 * kLonDegreeTable[11]);
  // Between whole degrees the straight line stays within 5e-5 of the curves.
  for (double lat = 0.5; lat < 89.9; lat += 1.37) {
    EXPECT_NEAR(LonDegreeLength(lat) / LonRule(lat), 1.0, 5e-5) << lat;
    EXPECT_NEAR(LatDegreeLength(lat) / LatRule(lat), 1.0, 5e-5) << lat;
  }
}

TEST(DegreeLengthTest, OutOfRangeLatitudes) {
  struct Case {
    double lat;
    int entry;
  };
  const Case cases[] = {
      {95, 45},   {-95, 45},   {999, 45},  {91, 45},      {kNaN, 45},
      {kInf, 45}, {-kInf, 45}, {90.5, 90}, {-90.999, 90},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LatDegreeLength(c.lat), kLatDegreeTable[c.entry]) << c.lat;
    EXPECT_EQ(LonDegreeLength(c.lat), kLonDegreeTable[c.entry]) << c.lat;
  }
}

}  // namespace
