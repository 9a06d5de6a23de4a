#pragma once
// Lengths of one degree of latitude and of longitude on the WGS84 ellipsoid, in nautical miles
// (1852 m), from tables of whole degrees of absolute latitude 0..90 interpolated linearly.
//
// Longitude table: entry i = N(i) cos(i) pi/180 / 1852 with N the prime-vertical radius of
// curvature (a = 6378137 m, f = 1/298.257223563); entry 90 is 0.
// Latitude table: entry i = (111133.892656 - 559.850886 cos 2i + 0.235032 cos 4i
// - 0.000986 cos 6i) / 1852 for i < 90; entry 90 repeats entry 89.
#include <array>

inline constexpr double kMetresPerNauticalMile = 1852.0;

using DegreeTable = std::array<double, 91>;

extern const DegreeTable kLonDegreeTable;
extern const DegreeTable kLatDegreeTable;

// The table value at |latitude|, interpolated between whole degrees. 90 <= |latitude| < 91 gives
// entry 90; |latitude| >= 91 (999 marks an unknown position) and NaN give entry 45.
double InterpolateDegreeTable(double latitude, const DegreeTable& table);

// Nautical miles per degree of latitude / of longitude at a latitude.
double LatDegreeLength(double latitude);
double LonDegreeLength(double latitude);
