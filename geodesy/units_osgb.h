#pragma once
// The "British National Grid" position format: "TG 51409 13177" (square letters, easting and
// northing within the 100 km square, to the metre) on the Ordnance Survey grid, reached from
// WGS84 through the Helmert transformation to OSGB36.
#include "geodesy/units.h"

class CUnitsOSGB : public CUnits::PositionFormatType {
 public:
  CUnitsOSGB();

  // Off the grid the text is "<off grid>" and the result false.
  bool Format(double lat, double lon, std::string& text) const override;
  // Square letters, then 6, 8 or 10 digits (3, 4 or 5 per coordinate).
  bool Parse(const std::string& text, double& lat, double& lon) const override;
};
