#include "geodesy/sine_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SineTableTest, EntriesAreSinesInSinglePrecision) {
  EXPECT_EQ(kSineTable[0], 0.0f);
  EXPECT_EQ(kSineTable[30], 0.5f);
  EXPECT_EQ(kSineTable[90], 1.0f);
  for (int i = 1; i < 90; ++i) {
    EXPECT_EQ(kSineTable[i], static_cast<float>(std::sin(i * M_PI / 180))) << i;
  }
}

TEST(SinCosDegreesTest, ReferenceAngles) {
  struct Case {
    float angle, sine, cosine;
  };
  const Case cases[] = {
      {0, 0, 1},
      {90, 1, 0},
      {180, 0, -1},
      {270, -1, 0},
      {-30, -0.5f, kSineTable[60]},
      {150, 0.5f, -kSineTable[60]},
      {44.6f, kSineTable[45], kSineTable[45]},
      {-90.4f, -1, 0},
  };
  for (const Case& c : cases) {
    const SinCos r = SinCosDegrees(c.angle);
    EXPECT_EQ(r.sine, c.sine) << c.angle;
    EXPECT_EQ(r.cosine, c.cosine) << c.angle;
  }
}

TEST(SinCosDegreesTest, AnyAngleWithinHalfADegree) {
  const double kHalfDegree = std::sin(0.5 * M_PI / 180) + 1e-6;
  for (double a = -1000; a <= 1000; a += 0.37) {
    const SinCos r = SinCosDegrees(static_cast<float>(a));
    EXPECT_NEAR(r.sine, std::sin(a * M_PI / 180), kHalfDegree) << a;
    EXPECT_NEAR(r.cosine, std::cos(a * M_PI / 180), kHalfDegree) << a;
  }
  for (float a : {725.0f, 5.0f + 360 * 1000, 5.0f - 360 * 7}) {
    EXPECT_EQ(SinCosDegrees(a).sine, SinCosDegrees(5).sine) << a;
    EXPECT_EQ(SinCosDegrees(a).cosine, SinCosDegrees(5).cosine) << a;
  }
}

TEST(SinCosDegreesTest, HugeAndNonFiniteAnglesEnd) {
  for (float a : {1e30f, -1e30f, 3.4e38f}) {
    const SinCos r = SinCosDegrees(a);
    const SinCos reduced = SinCosDegrees(std::fmod(a, 360.0f));
    EXPECT_EQ(r.sine, reduced.sine) << a;
    EXPECT_EQ(r.cosine, reduced.cosine) << a;
  }
  for (float a : {kNaN, kInf, -kInf}) {
    const SinCos r = SinCosDegrees(a);
    EXPECT_EQ(r.sine, 0.0f) << a;
    EXPECT_EQ(r.cosine, 1.0f) << a;
  }
}

TEST(BearingFromSinCosTest, UnitVectorsGiveTheirWholeDegree) {
  EXPECT_EQ(BearingFromSinCos(1, 0), 0.0f);
  EXPECT_EQ(BearingFromSinCos(0, 1), 90.0f);
  EXPECT_EQ(BearingFromSinCos(-1, 0), 180.0f);
  EXPECT_EQ(BearingFromSinCos(0, -1), 270.0f);
  for (int degrees = 0; degrees < 360; ++degrees) {
    const SinCos sc = SinCosDegrees(static_cast<float>(degrees));
    const float expected = degrees == 0 ? 0.0f : static_cast<float>(degrees);
    EXPECT_EQ(BearingFromSinCos(sc.cosine, sc.sine), expected) << degrees;
    // Off the table: within a degree of the true bearing.
    const double a = (degrees + 0.3) * M_PI / 180;
    const float b =
        BearingFromSinCos(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)));
    EXPECT_LE(std::fabs(std::remainder(b - (degrees + 0.3), 360.0)), 1.0) << degrees;
  }
}

TEST(BearingFromSinCosTest, ZeroAndNonFiniteVectorsGiveZero) {
  EXPECT_EQ(BearingFromSinCos(0, 0), 0.0f);
  EXPECT_EQ(BearingFromSinCos(kNaN, 0.5f), 0.0f);
  EXPECT_EQ(BearingFromSinCos(1, kInf), 0.0f);
}

}  // namespace
