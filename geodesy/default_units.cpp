#include "geodesy/default_units.h"

#include <cmath>

#include "core/listener.h"
#include "core/persistant_data.h"
#include "geodesy/magnetic_model.h"
#include "platform/os/numbers.h"

namespace {

constexpr float kUnknownBearingAbove = 900.0f;
constexpr double kVariationModelHeightMetres = 100.0;

// The small distance unit of each unit system (statute feet, nautical yards, metric metres).
int SmallUnitsOf(int distance_units) {
  constexpr int kSmall[] = {4, 5, 3};
  return kSmall[distance_units];
}

// Table entry, the first one for an index outside the table.
const CUnits::Unit& UnitAt(const CUnits::Unit* table, int count, int index) {
  return table[index >= 0 && index < count ? index : 0];
}

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

struct CDefaultUnits::Persistant : PersistantData {
  Persistant() : PersistantData("CDefaultUnits") {}

  void Exchange() override {
    CDefaultUnits& u = CDefaultUnits::Global();
    int units = u.distance_units;
    int speed = u.speed_units;
    int depth = u.depth_units;
    int bearings = u.bearings;
    int temperature = u.temperature_units;
    std::string format = u.position_format->name();
    ExchangeInt("units", units);
    ExchangeInt("speed", speed);
    ExchangeInt("depth", depth);
    ExchangeInt("bearings", bearings);
    ExchangeInt("temperature", temperature);
    ExchangeString("posnfmt", format);
    if (IsSaving()) return;

    // A stored index outside its table is not used: it would read past the table.
    if (InRange(units, kStatute, kMetric)) u.distance_units = units;
    if (InRange(speed, 0, CUnits::kSpeedUnitCount - 1)) u.speed_units = speed;
    if (InRange(depth, 0, CUnits::kDepthUnitCount - 1)) u.depth_units = depth;
    if (InRange(bearings, kBearingsTrue, kBearingsMagnetic)) u.bearings = bearings;
    if (InRange(temperature, 0, 1)) u.temperature_units = temperature;
    CUnits::PositionFormatType* found = CUnits::FindPositionFormat(format);
    u.position_format = found != nullptr ? found : CUnits::DefaultPositionFormat();
    u.small_distance_units = SmallUnitsOf(u.distance_units);
  }
};

namespace {
CDefaultUnits::Persistant g_units_record;
}  // namespace

CDefaultUnits::CDefaultUnits() : position_format(CUnits::DefaultPositionFormat()) {}

CDefaultUnits& CDefaultUnits::Global() {
  // Never freed: settings records may still read it while static objects are destroyed.
  static auto* units = new CDefaultUnits;
  return *units;
}

void CDefaultUnits::SetUnitsSystem(int kind) {
  if (!InRange(kind, kStatute, kMetric)) return;
  distance_units = kind;
  small_distance_units = SmallUnitsOf(kind);
  switch (kind) {
    case kStatute:
      speed_units = 0;
      depth_units = 0;
      temperature_units = 1;
      break;
    case kNautical:
      speed_units = 1;
      break;
    case kMetric:
      speed_units = 2;
      depth_units = 1;
      temperature_units = 0;
      break;
  }
}

void CDefaultUnits::FormatValue(double metres, std::string& text, std::string& unit_name) const {
  const CUnits::Unit* unit =
      &UnitAt(CUnits::kDistanceUnits, CUnits::kDistanceUnitCount, distance_units);
  double x = metres * unit->factor;
  if (x <= 0.1) {
    unit = &UnitAt(CUnits::kDistanceUnits, CUnits::kDistanceUnitCount, small_distance_units);
    x = metres * unit->factor;
  }
  const char* format = x >= 100.0 ? "%.0f" : x >= 10.0 ? "%.1f" : "%.2f";
  text = vd::os::FormatC(format, x);
  unit_name = unit->name;
}

void CDefaultUnits::AppendValueText(double metres, std::string& text) const {
  std::string value;
  std::string unit;
  FormatValue(metres, value, unit);
  text += value;
  text += ' ';
  text += unit;
}

void CDefaultUnits::FormatBearingValue(float bearing, std::string& text) const {
  const bool magnetic = bearings == kBearingsMagnetic;
  text.clear();
  if (std::isfinite(bearing) && bearing <= kUnknownBearingAbove) {
    double x = magnetic ? double{bearing} - magnetic_variation : double{bearing};
    // Into 0..360 whatever the input, so no bearing prints negative or above 359.
    x = std::fmod(x, 360.0);
    if (x < 0.0) x += 360.0;
    int n = static_cast<int>(x + 0.4999);
    if (n >= 360) n -= 360;
    text = vd::os::FormatC("%03d", n);
  }
  text += magnetic ? "°M" : "°T";
}

void CDefaultUnits::AppendBearingText(float bearing, std::string& text) const {
  std::string bearing_text;
  FormatBearingValue(bearing, bearing_text);
  text += bearing_text;
}

void CDefaultUnits::UpdateMagneticVariation(double lat, double lon, double seconds_1970) {
  if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0) return;
  const double dlat = lat - last_variation_lat;
  const double dlon = lon - last_variation_lon;
  if (dlat * dlat + dlon * dlon < 1.0) return;
  const std::optional<double> declination = GetMagneticDeclination(
      lat, lon, kVariationModelHeightMetres, seconds_1970,
      magnetic_model_path.empty() ? WorldMagneticModel::DefaultPath() : magnetic_model_path);
  if (!declination) return;
  last_variation_lat = lat;
  last_variation_lon = lon;
  last_variation_time = seconds_1970;
  magnetic_variation = static_cast<float>(*declination);
  Listener<CDefaultUnits>::Fire(*this);
}

void CDefaultUnits::ForceMagneticVariationUpdate() {
  const double lat = last_variation_lat;
  const double lon = last_variation_lon;
  const double time = last_variation_time;
  last_variation_lat = kNoPosition;
  last_variation_lon = kNoPosition;
  last_variation_time = 0.0;
  UpdateMagneticVariation(lat, lon, time);
}

void CDefaultUnits::ChooseUnitsSystem(int kind) {
  SetUnitsSystem(kind);
  SaveAndNotify();
}

void CDefaultUnits::ChoosePositionFormat(CUnits::PositionFormatType* format) {
  if (format != nullptr) position_format = format;
  SaveAndNotify();
}

void CDefaultUnits::ChooseBearings(int mode) {
  if (!InRange(mode, kBearingsTrue, kBearingsMagnetic)) return;
  bearings = mode;
  if (mode == kBearingsMagnetic) ForceMagneticVariationUpdate();
  SaveAndNotify();
}

void CDefaultUnits::SaveAndNotify() {
  if (this == &Global()) {
    g_units_record.MarkDirty();
    PersistantData::SaveAll();
  }
  Listener<CDefaultUnits>::Fire(*this);
}
