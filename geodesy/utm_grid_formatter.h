#pragma once
// Grid formatters. Each turns a WGS84 latitude/longitude (degrees) into the coordinates and
// text of one grid system and back, labels grid lines and picks grid-line spacings. The
// application keeps one for the selected position format and uses it for the status text,
// the position entry fields and the grid overlay.
//
// A formatter is used by one thread at a time. Texts use the C locale whatever the user's
// locale is. Parsers accept upper- and lower-case letters.
#include <functional>
#include <memory>
#include <string>

#include "geodesy/transverse_mercator.h"

class CProjection;

class utm_grid_formatter {
 public:
  virtual ~utm_grid_formatter();

  // Position text; false when this grid has no text for the point (text unchanged).
  virtual bool FormatPosition(double lat, double lon, std::string& text) = 0;
  // Position text back to lat/lon; false for text this grid does not read (lat/lon unchanged).
  virtual bool ParsePosition(const std::string& text, double& lat, double& lon) = 0;
  // Grid coordinates (x east, y north) in the zone fixed by SetZoneFor. False when the point
  // cannot be converted; where a value is still meaningful (off the British grid) it is
  // written all the same.
  virtual bool LatLonToGrid(double lat, double lon, double& x, double& y) = 0;
  virtual bool GridToLatLon(double x, double y, double& lat, double& lon) = 0;
  // Grid-line spacing for a span of grid units: 1, 2 or 5 times a power of ten, the largest
  // not above |span|; 0 for a span of 0 or one that is not finite.
  virtual double NiceInterval(double span);
  // Label of a line of constant y (northing or latitude); here "%.0f".
  virtual void FormatGridValue(double value, std::string& text);
  // Label of a line of constant x (easting or longitude); here "%.0f".
  virtual void FormatGridValue2(double value, std::string& text);
  // Fixes the zone that LatLonToGrid and GridToLatLon use; here nothing.
  virtual void SetZoneFor(double lat, double lon);

  // The position-format code the formatter was made for (-1: none given).
  int position_format_code() const { return position_format_code_; }
  void set_position_format_code(int code) { position_format_code_ = code; }

 private:
  int position_format_code_ = -1;
};

// Plain latitude/longitude: x is the longitude, y the latitude. It has no position text of its
// own (the caller writes latitude and longitude in the current angle format).
class LatLon_Grid : public utm_grid_formatter {
 public:
  // Writes one angle in the user's current format: value in degrees, hemisphere letters
  // "NS" or "EW" (first letter for values >= 0).
  using AngleTextFn = std::function<std::string(double degrees, const char* hemisphere_letters)>;

  // Position-format codes 1 (degrees and minutes) and 2 (degrees, minutes and seconds) pick
  // grid spacings in whole minutes or seconds; other codes use decimal steps.
  LatLon_Grid(int position_format_code, AngleTextFn angle_text);

  bool FormatPosition(double lat, double lon, std::string& text) override;
  bool ParsePosition(const std::string& text, double& lat, double& lon) override;
  bool LatLonToGrid(double lat, double lon, double& x, double& y) override;
  bool GridToLatLon(double x, double y, double& lat, double& lon) override;
  double NiceInterval(double span) override;
  void FormatGridValue(double value, std::string& text) override;
  void FormatGridValue2(double value, std::string& text) override;

 private:
  AngleTextFn angle_text_;
};

// UTM on WGS84 with the hemisphere as 'n' or 's': "30n 699196E 5709335N". Southern
// northings carry the 10000000 m false northing. Zones follow the plain 6-degree rule
// (longitude 180 is zone 60).
class UTM_WGS84_Grid : public utm_grid_formatter {
 public:
  UTM_WGS84_Grid();

  bool FormatPosition(double lat, double lon, std::string& text) override;
  bool ParsePosition(const std::string& text, double& lat, double& lon) override;
  bool LatLonToGrid(double lat, double lon, double& x, double& y) override;
  bool GridToLatLon(double x, double y, double& lat, double& lon) override;
  // Zone from the longitude; the southern false northing when lat < 0.
  void SetZoneFor(double lat, double lon) override;

 protected:
  enum class Letter { kHemisphere, kLatitudeBand };
  explicit UTM_WGS84_Grid(Letter letter);

 private:
  Letter letter_;
  int zone_ = 0;  // 0 until SetZoneFor
  double northing_offset_ = 0.0;
  TransverseMercator tm_;
};

// UTM on WGS84 with the latitude band letter: "30U 699196E 5709335N". On reading, bands C..M
// are southern.
class UTMbands_WGS84_Grid : public UTM_WGS84_Grid {
 public:
  UTMbands_WGS84_Grid();
};

// UTM on NAD27 (Clarke 1866): "17 630648E 4834060N", no letter and no southern false
// northing. Positions go through the NAD27 shift grids; where none covers the point the shift
// is taken as zero.
class UTM_NAD27_Grid : public utm_grid_formatter {
 public:
  bool FormatPosition(double lat, double lon, std::string& text) override;
  bool ParsePosition(const std::string& text, double& lat, double& lon) override;
  bool LatLonToGrid(double lat, double lon, double& x, double& y) override;
  bool GridToLatLon(double x, double y, double& lat, double& lon) override;
  // Zone from the longitude.
  void SetZoneFor(double lat, double lon) override;

 private:
  int zone_ = 0;  // 0 until SetZoneFor
  TransverseMercator tm_;
};

// The Ordnance Survey national grid: "TG 51409 13177".
class OSGB_National_Grid : public utm_grid_formatter {
 public:
  bool FormatPosition(double lat, double lon, std::string& text) override;
  bool ParsePosition(const std::string& text, double& lat, double& lon) override;
  bool LatLonToGrid(double lat, double lon, double& x, double& y) override;
  bool GridToLatLon(double x, double y, double& lat, double& lon) override;
  // Kilometres within the 100 km square, "%.4g".
  void FormatGridValue(double value, std::string& text) override;
  void FormatGridValue2(double value, std::string& text) override;
};

// MGRS with 1 m precision ("30UXC9919509335"); UPS near the poles. Grid coordinates are
// UTM/UPS eastings and northings in the zone and hemisphere fixed by SetZoneFor.
class MGRS_Grid : public utm_grid_formatter {
 public:
  bool FormatPosition(double lat, double lon, std::string& text) override;
  // Any text whose letters and digits form an MGRS reference; gives the square's centre.
  bool ParsePosition(const std::string& text, double& lat, double& lon) override;
  bool LatLonToGrid(double lat, double lon, double& x, double& y) override;
  bool GridToLatLon(double x, double y, double& lat, double& lon) override;
  // Metres within the 100 km square, "%5.0f".
  void FormatGridValue(double value, std::string& text) override;
  void FormatGridValue2(double value, std::string& text) override;
  // The standard UTM/UPS zone (with the Norway and Svalbard exceptions) and hemisphere.
  void SetZoneFor(double lat, double lon) override;

 private:
  int zone_ = -1;  // -1 until SetZoneFor; 0 is UPS
  bool north_ = true;
};

// The coordinates of a projection given as PROJ parameters in a text file:
// "%7.0f %7.0f" (x, y).
class ProjDat_Grid : public utm_grid_formatter {
 public:
  // `path` names a projection file; a value naming no file is taken as projection text.
  explicit ProjDat_Grid(const std::string& path);
  ~ProjDat_Grid() override;

  // Whether the projection file was read and accepted.
  bool loaded() const { return loaded_; }

  bool FormatPosition(double lat, double lon, std::string& text) override;
  // Two numbers, x then y.
  bool ParsePosition(const std::string& text, double& lat, double& lon) override;
  bool LatLonToGrid(double lat, double lon, double& x, double& y) override;
  bool GridToLatLon(double x, double y, double& lat, double& lon) override;

 private:
  std::unique_ptr<CProjection> projection_;
  bool loaded_ = false;
};
