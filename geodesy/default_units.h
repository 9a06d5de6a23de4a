#pragma once
// The user's unit choices: one program-wide record (CDefaultUnits::Global()) with the distance,
// speed, depth, bearing and temperature units, the position format and the magnetic variation.
// It is kept with the settings records in the settings file (record "CDefaultUnits": integers
// "units", "speed", "depth", "bearings", "temperature" and the string "posnfmt", the position
// format's name). Used on the user-interface thread only.
//
// Whoever shows units subscribes to Listener<CDefaultUnits>: the record fires it after each
// menu choice and after the magnetic variation has been recomputed.
#include <string>

#include "geodesy/units.h"

class CDefaultUnits {
 public:
  enum UnitsSystem { kStatute = 0, kNautical = 1, kMetric = 2 };
  enum Bearings { kBearingsTrue = 0, kBearingsMagnetic = 1 };
  // Last-update position before there is one.
  static constexpr double kNoPosition = 999.0;

  CDefaultUnits();
  CDefaultUnits(const CDefaultUnits&) = delete;
  CDefaultUnits& operator=(const CDefaultUnits&) = delete;

  // The program's record, the one the settings file holds.
  static CDefaultUnits& Global();

  // Distance units (index into CUnits::kDistanceUnits), with the small units beside them.
  // speed_units and depth_units index the speed and depth tables; temperature_units is 1 with
  // the statute system and 0 with the metric one.
  void SetUnitsSystem(int kind);

  // metres in the distance units, or in the small units when that is at most 0.1: "%.0f" from
  // 100, "%.1f" from 10, else "%.2f"; unit_name receives the unit's name.
  void FormatValue(double metres, std::string& text, std::string& unit_name) const;
  // FormatValue, then a blank and the unit name.
  void AppendValueText(double metres, std::string& text) const;

  // "%03d" of the whole degrees (magnetic when bearings are magnetic), then "°T" or "°M". A
  // bearing above 900 is unknown: the suffix alone.
  void FormatBearingValue(float bearing, std::string& text) const;
  // Appends FormatBearingValue's text.
  void AppendBearingText(float bearing, std::string& text) const;

  // Recomputes the variation from the magnetic model when (lat, lon) lies a degree or more
  // from the last update's position (sum of the squared degree differences at least 1), then
  // tells the listeners. Positions that are not valid are ignored; when the model can't be
  // read the variation and the last update are kept.
  void UpdateMagneticVariation(double lat, double lon, double seconds_1970);
  // Forgets the last update and recomputes at its position.
  void ForceMagneticVariationUpdate();

  // The menu choices: each changes the record, saves the settings and tells the listeners.
  // Magnetic bearings also force a variation update.
  void ChooseUnitsSystem(int kind);
  void ChoosePositionFormat(CUnits::PositionFormatType* format);
  void ChooseBearings(int bearings);

  CUnits::PositionFormatType* position_format;
  int distance_units = 0;
  int small_distance_units = 0;
  int speed_units = 0;
  int depth_units = 0;
  int bearings = kBearingsTrue;
  int temperature_units = 1;
  float magnetic_variation = 0.0f;  // degrees, east positive: the model's declination
  double last_variation_lat = kNoPosition;
  double last_variation_lon = kNoPosition;
  double last_variation_time = 999.0;  // seconds since 1970
  // The magnetic model's coefficient file; empty for the one beside the program.
  std::string magnetic_model_path;

  // The settings record of Global(); defined with the record.
  struct Persistant;

 private:
  void SaveAndNotify();
};
