#include "geodesy/units_osgb.h"

#include "geodesy/utm_grid_formatter.h"

CUnitsOSGB::CUnitsOSGB() : PositionFormatType("British National Grid") {}

bool CUnitsOSGB::Format(double lat, double lon, std::string& text) const {
  if (OSGB_National_Grid().FormatPosition(lat, lon, text)) return true;
  text = "<off grid>";
  return false;
}

bool CUnitsOSGB::Parse(const std::string& text, double& lat, double& lon) const {
  return OSGB_National_Grid().ParsePosition(text, lat, lon);
}
