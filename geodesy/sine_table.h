#pragma once
// Whole-degree sines in single precision for per-pixel and per-arrow drawing: table lookups
// only, no trigonometric call.
#include <array>

// Entry i is sin(i degrees) rounded to float; entry 0 is 0 and entry 90 is 1.
using SineTable = std::array<float, 91>;
extern const SineTable kSineTable;

struct SinCos {
  float sine = 0.0f;
  float cosine = 1.0f;
};

// Sine and cosine of an angle in degrees, any value, rounded to the nearest whole degree.
// A non-finite angle gives (0, 1).
SinCos SinCosDegrees(float angle);

// The bearing in whole degrees 0..360 (0 = north, clockwise) of a unit vector given as its north
// (cosine) and east (sine) components. Exactly north but a hair west gives 360. A zero or
// non-finite vector gives 0.
float BearingFromSinCos(float north, float east);
