#include "geodesy/units_position_utm84.h"

#include <cctype>

#include "geodesy/utm_grid_formatter.h"

CUnitsPositionUTM84::CUnitsPositionUTM84() : CUnitsPositionUTM84("UTM on WGS84", false) {}

CUnitsPositionUTM84::CUnitsPositionUTM84(std::string name, bool bands)
    : PositionFormatType(std::move(name)), bands_(bands) {}

CUnitsPositionUTM84bands::CUnitsPositionUTM84bands()
    : CUnitsPositionUTM84("UTM/WGS84 bands", true) {}

bool CUnitsPositionUTM84::Format(double lat, double lon, std::string& text) const {
  std::string grid_text;
  const bool ok = bands_ ? UTMbands_WGS84_Grid().FormatPosition(lat, lon, grid_text)
                         : UTM_WGS84_Grid().FormatPosition(lat, lon, grid_text);
  if (!ok) return false;
  // The grid formatter writes the hemisphere in lower case; this format writes it upper-case.
  const size_t letter = grid_text.find_first_not_of("0123456789");
  if (letter != std::string::npos) {
    grid_text[letter] =
        static_cast<char>(std::toupper(static_cast<unsigned char>(grid_text[letter])));
  }
  text = std::move(grid_text);
  return true;
}

bool CUnitsPositionUTM84::Parse(const std::string& text, double& lat, double& lon) const {
  return bands_ ? UTMbands_WGS84_Grid().ParsePosition(text, lat, lon)
                : UTM_WGS84_Grid().ParsePosition(text, lat, lon);
}
