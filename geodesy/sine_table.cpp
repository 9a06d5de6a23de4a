#include "geodesy/sine_table.h"

#include <cmath>

const SineTable kSineTable = {
    0.0f,         0.0174524058f, 0.0348994955f, 0.0523359552f, 0.0697564706f, 0.0871557444f,
    0.104528464f, 0.121869341f,  0.139173105f,  0.156434461f,  0.173648179f,  0.190808997f,
    0.207911685f, 0.224951059f,  0.241921902f,  0.258819044f,  0.275637358f,  0.29237169f,
    0.309017003f, 0.325568169f,  0.342020154f,  0.35836795f,   0.37460658f,   0.390731126f,
    0.406736642f, 0.42261827f,   0.438371152f,  0.453990489f,  0.469471574f,  0.484809607f,
    0.5f,         0.515038073f,  0.529919267f,  0.544639051f,  0.559192896f,  0.57357645f,
    0.587785244f, 0.601815045f,  0.615661502f,  0.629320383f,  0.642787635f,  0.656059027f,
    0.669130623f, 0.681998372f,  0.694658399f,  0.707106769f,  0.719339788f,  0.7313537f,
    0.74314481f,  0.754709601f,  0.766044438f,  0.777145982f,  0.788010776f,  0.798635483f,
    0.809017003f, 0.819152057f,  0.829037547f,  0.838670552f,  0.848048091f,  0.857167304f,
    0.866025388f, 0.874619722f,  0.882947564f,  0.891006529f,  0.898794055f,  0.906307817f,
    0.91354543f,  0.920504868f,  0.927183867f,  0.933580399f,  0.939692616f,  0.945518553f,
    0.95105654f,  0.956304729f,  0.96126169f,   0.965925813f,  0.970295727f,  0.974370062f,
    0.978147626f, 0.981627166f,  0.98480773f,   0.987688363f,  0.990268052f,  0.992546141f,
    0.994521916f, 0.99619472f,   0.997564077f,  0.99862951f,   0.999390841f,  0.99984771f,
    1.0f,
};

SinCos SinCosDegrees(float angle) {
  if (!std::isfinite(angle)) return {0.0f, 1.0f};
  float a = std::fmod(angle, 360.0f);  // exact; keeps the sign of angle
  if (a < 0.0f) a += 360.0f;
  const float d = a > 180.0f ? 360.0f - a : a;  // 0..180, same cosine
  const float c = d > 90.0f ? 180.0f - d : d;   // 0..90, same |sine| and |cosine|
  const int k = static_cast<int>(c + 0.5f);
  SinCos r{kSineTable[k], kSineTable[90 - k]};
  if (a > 180.0f) r.sine = -r.sine;
  if (d > 90.0f) r.cosine = -r.cosine;
  return r;
}

float BearingFromSinCos(float north, float east) {
  const float an = std::fabs(north);
  const float ae = std::fabs(east);
  if (!(an + ae > 0.0f) || !std::isfinite(an + ae)) return 0.0f;
  const float m = an > ae ? an : ae;
  // The smallest index in 27..90 whose sine reaches m: for a unit vector the larger component
  // is at least sin 45, so the search never needs to go lower.
  int index = 90;
  for (int step = 32; step > 0; step /= 2) {
    if (kSineTable[index - step] >= m) index -= step;
  }
  float angle = static_cast<float>(an > ae ? 90 - index : index);
  if (north < 0.0f) angle = 180.0f - angle;
  if (east < 0.0f) angle = 360.0f - angle;
  return angle;
}
