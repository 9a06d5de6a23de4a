#pragma once
// The UTM position formats on WGS84: "UTM on WGS84" writes the hemisphere as 'N' or 'S'
// ("30N 699196E 5709335N"), "UTM/WGS84 bands" the latitude band letter ("30U 699196E
// 5709335N"). Southern northings carry the 10000000 m false northing; the zone comes from the
// longitude (1..60, 180 east is zone 60). Both read either case of their letters.
#include "geodesy/units.h"

class CUnitsPositionUTM84 : public CUnits::PositionFormatType {
 public:
  CUnitsPositionUTM84();

  bool Format(double lat, double lon, std::string& text) const override;
  // " %d%c %d E %d": zone, letter, easting, northing.
  bool Parse(const std::string& text, double& lat, double& lon) const override;

 protected:
  CUnitsPositionUTM84(std::string name, bool bands);

 private:
  bool bands_;
};

class CUnitsPositionUTM84bands : public CUnitsPositionUTM84 {
 public:
  CUnitsPositionUTM84bands();
};
