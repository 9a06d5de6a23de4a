#include "geodesy/georef_polynomial.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>

namespace {

// Exponents (of u, of v) of each coefficient, in stored order.
constexpr int kPowers[kCubicTermCount][2] = {{0, 0}, {1, 0}, {0, 1}, {2, 0}, {1, 1},
                                             {0, 2}, {3, 0}, {2, 1}, {1, 2}, {0, 3}};

TEST(GeorefPolynomialTest, TermOrderAndGradient) {
  const double u = 1.5;
  const double v = -2.25;
  for (int i = 0; i < kCubicTermCount; ++i) {
    CubicPolynomial p{};
    p[i] = 1;
    const int a = kPowers[i][0];
    const int b = kPowers[i][1];
    EXPECT_DOUBLE_EQ(EvalCubicPolynomial(p, u, v), std::pow(u, a) * std::pow(v, b)) << i;
    const auto [du, dv] = CubicGradient(p, u, v);
    EXPECT_DOUBLE_EQ(du, a == 0 ? 0 : a * std::pow(u, a - 1) * std::pow(v, b)) << i;
    EXPECT_DOUBLE_EQ(dv, b == 0 ? 0 : b * std::pow(u, a) * std::pow(v, b - 1)) << i;
  }

  CubicPolynomialPair pair{};
  pair.first = {1, 2, 3};         // 1 + 2u + 3v
  pair.second[9] = 2;             // 2 v^3
  const auto [first, second] = EvalCubicPolynomial2D(pair, 10, -1);
  EXPECT_EQ(first, 18);
  EXPECT_EQ(second, -2);
}

TEST(GeorefPolynomialTest, StoredAsFortyDoublesInGroupOrder) {
  EXPECT_EQ(offsetof(GeorefPolynomial, forward.first), 0u);
  EXPECT_EQ(offsetof(GeorefPolynomial, forward.second), 10 * sizeof(double));
  EXPECT_EQ(offsetof(GeorefPolynomial, inverse.first), 20 * sizeof(double));
  EXPECT_EQ(offsetof(GeorefPolynomial, inverse.second), 30 * sizeof(double));
}

TEST(GeorefPolynomialTest, WrapsLongitudeTowardsReference) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double lon, reference, expected;
  };
  const Case cases[] = {
      {-170, 20, 190},   {-171, 179, 189}, {175, -175, -185}, {10, 20, 10},
      {200, 20, 200},    // exactly 180 apart: left alone
      {-160, 20, -160},  // exactly 180 apart the other way
      {350, -10, -10},   {nan, 0, nan},    {0, nan, 0},
  };
  for (const Case& c : cases) {
    const double wrapped = WrapLongitudeTowards(c.lon, c.reference);
    if (std::isnan(c.expected))
      EXPECT_TRUE(std::isnan(wrapped));
    else
      EXPECT_EQ(wrapped, c.expected) << c.lon << " towards " << c.reference;
  }
}

TEST(GeorefPolynomialTest, ForwardWithWrapAndScale) {
  GeorefPolynomial set{};
  // 1000 pixels per degree of longitude from 179 E, 1200 per degree of latitude down from 50 N.
  set.forward.first = {-179000, 0, 1000};
  set.forward.second = {60000, -1200};
  set.inverse.first = {50, 0, -1.0 / 1200};
  set.inverse.second = {179, 1.0 / 1000};

  // A position 190 degrees west of the reference longitude is taken 360 degrees nearer.
  const auto [x, y] = set.LatLonToPixel(49.5, -170.5, 179.5);
  EXPECT_NEAR(x, 10500, 1e-6);
  EXPECT_NEAR(y, 600, 1e-6);
  const auto [x2, y2] = set.LatLonToPixel(49.5, 189.5, 179.5);
  EXPECT_NEAR(x2, 10500, 1e-6);
  EXPECT_NEAR(y2, 600, 1e-6);

  EXPECT_NEAR(set.ScaleAt(300, 400), 60.0 / 1200, 1e-15);
  set.inverse.first = {50, 3e-4, 4e-4};  // gradient length 5e-4 degrees per pixel
  EXPECT_NEAR(set.ScaleAt(0, 0), 0.03, 1e-15);
}

}  // namespace
