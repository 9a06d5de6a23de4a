#include "geodesy/township_converter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "geodesy/degree_length.h"
#include "platform/os/folders.h"
#include "platform/os/numbers.h"

namespace {

constexpr size_t kForwardIndexEntries = 31850;
constexpr int kRows = 110;
constexpr int kColumns = 300;
constexpr size_t kReverseIndexEntries = 2 * kRows * kColumns;  // offset and count per cell
constexpr int32_t kMaxCellRecords = 110;
constexpr size_t kCornerBytes = 8;
constexpr size_t kRecordBytes = 12;

constexpr double kFeetPerNauticalMile = 6076.115485564304;
constexpr int kQuarterFeet = 1320;  // side of a legal subdivision
// 1.1 statute miles in nautical miles: how far north and east of a point its section's
// north-east corner is looked for.
constexpr double kSearchNauticalMiles = 0.9558738660907128;

// LSD numbers by column (quarters west of the section's north-east corner) and row (quarters
// south of it).
constexpr int kLsdByRowColumn[4][4] = {
    {16, 15, 14, 13},
    {9, 10, 11, 12},
    {8, 7, 6, 5},
    {1, 2, 3, 4},
};

void LsdColumnRow(int lsd, int& column, int& row) {
  for (row = 0; row < 4; ++row) {
    for (column = 0; column < 4; ++column) {
      if (kLsdByRowColumn[row][column] == lsd) return;
    }
  }
}

int32_t LittleInt32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

// Reads exactly `count` bytes at `offset` when they lie inside a file of `size` bytes.
bool ReadAt(vd::os::File& file, uint64_t size, int64_t offset, size_t count, uint8_t* out) {
  if (offset < 0 || static_cast<uint64_t>(offset) > size || count > size - offset) return false;
  return file.PRead(out, count, static_cast<uint64_t>(offset)) == static_cast<int64_t>(count);
}

bool ParseInt32(std::string_view token, int32_t& out) {
  int64_t value = 0;
  size_t used = 0;
  if (token.empty() || !vd::os::ParseInt64(token, value, 10, &used) || used != token.size() ||
      value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  out = static_cast<int32_t>(value);
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "W4" and "4" give 4; "E1" gives 0.
bool ParseMeridian(std::string_view token, int32_t& out) {
  if (EqualsNoCase(token, "E1")) {
    out = 0;
    return true;
  }
  if (!token.empty() && (token[0] == 'W' || token[0] == 'w')) token.remove_prefix(1);
  return ParseInt32(token, out);
}

bool InRange(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

bool IsValid(const TownshipPosition& where) {
  return InRange(where.meridian, 0, 7) && InRange(where.township, 1, 130) &&
         InRange(where.range, 1, 35) && InRange(where.section, 1, 36) && InRange(where.lsd, 1, 16);
}

}  // namespace

township_converter::township_converter(const TellUserFn& tell_user)
    : township_converter({vd::os::ProgramFolder(), vd::os::DocumentsFolder() + "/Map Overlays"},
                         tell_user) {}

township_converter::township_converter(const std::vector<std::string>& folders,
                                       const TellUserFn& tell_user) {
  for (const std::string& folder : folders) {
    vd::os::File probe;
    if (probe.Open(folder + "/" + kForwardFileName, vd::os::File::Mode::Read)) {
      data_folder_ = folder;
      return;
    }
  }
  if (tell_user) tell_user(kMissingDataMessage);
}

township_converter::~township_converter() = default;

bool township_converter::OpenLookup(LookupFile& lookup, const char* name, size_t index_entries) {
  if (lookup.state != LookupFile::State::kUnopened) {
    return lookup.state == LookupFile::State::kOpen;
  }
  lookup.state = LookupFile::State::kFailed;  // until everything below succeeds
  if (data_folder_.empty()) return false;
  if (!lookup.file.Open(data_folder_ + "/" + name, vd::os::File::Mode::Read)) return false;
  const int64_t size = lookup.file.Size();
  std::vector<uint8_t> bytes(index_entries * 4);
  if (size < 0 || !ReadAt(lookup.file, size, 0, bytes.size(), bytes.data())) {
    lookup.file.Close();
    return false;
  }
  lookup.size = static_cast<uint64_t>(size);
  lookup.index.resize(index_entries);
  for (size_t i = 0; i < index_entries; ++i) lookup.index[i] = LittleInt32(&bytes[i * 4]);
  lookup.state = LookupFile::State::kOpen;
  return true;
}

bool township_converter::LoadCell(int row, int column) {
  if (row == cell_row_ && column == cell_column_) return true;
  cell_row_ = cell_column_ = -1;
  cell_records_.clear();
  const size_t cell = static_cast<size_t>(row) * kColumns + column;
  const int32_t offset = reverse_.index[2 * cell];
  const int32_t count = std::clamp(reverse_.index[2 * cell + 1], 0, kMaxCellRecords);
  if (offset == 0) return false;
  std::vector<uint8_t> bytes(count * kRecordBytes);
  if (!ReadAt(reverse_.file, reverse_.size, offset, bytes.size(), bytes.data())) return false;
  cell_records_.resize(count);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* p = &bytes[i * kRecordBytes];
    cell_records_[i] = {LittleInt32(p), LittleInt32(p + 4), p[8], p[9], p[10], p[11]};
  }
  cell_row_ = row;
  cell_column_ = column;
  return true;
}

bool township_converter::Describe(double lat, double lon, TownshipPosition& out) {
  if (!std::isfinite(lat) || !std::isfinite(lon)) return false;
  if (!OpenLookup(reverse_, kReverseFileName, kReverseIndexEntries)) return false;
  // Truncation toward zero, as the index was built; a cell just below 49 N or west of 123 W
  // would truncate to row or column 0, so those positions are refused first.
  if (lat < 49.0 || lon < -123.0) return false;
  const double row_value = (lat - 49.0) * 10.0;
  const double column_value = (lon + 123.0) * 10.0;
  if (row_value >= kRows || column_value >= kColumns) return false;
  const int row = static_cast<int>(row_value);
  const int column = static_cast<int>(column_value);
  if (!LoadCell(row, column)) return false;

  // The nearest north-east section corner within 1.1 statute miles north and east.
  const double lat_e6 = lat * 1e6;
  const double lon_e6 = lon * 1e6;
  const double lat_top = (lat + kSearchNauticalMiles / LatDegreeLength(lat)) * 1e6;
  const double lon_right = lon_e6 + kSearchNauticalMiles * 1e6 / LonDegreeLength(lat);
  const Corner* best = nullptr;
  double best_distance = 0.0;
  for (const Corner& corner : cell_records_) {
    if (corner.lat_e6 < lat_e6 || corner.lat_e6 > lat_top || corner.lon_e6 < lon_e6 ||
        corner.lon_e6 > lon_right) {
      continue;
    }
    const double dlat = corner.lat_e6 - lat_e6;
    const double dlon = corner.lon_e6 - lon_e6;
    const double distance = dlat * dlat + dlon * dlon;
    if (!best || distance < best_distance) {
      best = &corner;
      best_distance = distance;
    }
  }
  if (!best) return false;

  const int feet_south =
      static_cast<int>((best->lat_e6 / 1e6 - lat) * LatDegreeLength(lat) * kFeetPerNauticalMile);
  const int feet_west =
      static_cast<int>((best->lon_e6 / 1e6 - lon) * LonDegreeLength(lat) * kFeetPerNauticalMile);
  int row_in_section = feet_south / kQuarterFeet;
  int column_in_section = feet_west / kQuarterFeet;
  if (!InRange(row_in_section, 0, 4) || !InRange(column_in_section, 0, 4)) return false;
  row_in_section = std::min(row_in_section, 3);
  column_in_section = std::min(column_in_section, 3);

  out.meridian = best->meridian;
  out.township = best->township;
  out.range = best->range;
  out.section = best->section;
  out.lsd = kLsdByRowColumn[row_in_section][column_in_section];
  out.east_offset = (column_in_section + 1) * kQuarterFeet - feet_west;
  out.north_offset = (row_in_section + 1) * kQuarterFeet - feet_south;
  return true;
}

bool township_converter::Locate(const TownshipPosition& where, double& lat, double& lon) {
  if (!IsValid(where) || !OpenLookup(forward_, kForwardFileName, kForwardIndexEntries)) {
    return false;
  }
  const size_t entry =
      (static_cast<size_t>(where.meridian) * 35 + where.range) * 130 + where.township;
  if (entry >= kForwardIndexEntries) return false;
  const int32_t block = forward_.index[entry];
  if (block == 0) return false;
  uint8_t bytes[kCornerBytes];
  const int64_t offset = static_cast<int64_t>(block) + (where.section - 1) * kCornerBytes;
  if (!ReadAt(forward_.file, forward_.size, offset, sizeof bytes, bytes)) return false;
  const int32_t corner_lat_e6 = LittleInt32(bytes);
  const int32_t corner_lon_e6 = LittleInt32(bytes + 4);
  if (corner_lat_e6 == 0 || corner_lon_e6 == 0) return false;

  int column = 0, row = 0;
  LsdColumnRow(where.lsd, column, row);
  const double corner_lat = corner_lat_e6 / 1e6;
  const double corner_lon = corner_lon_e6 / 1e6;
  const double feet_south = static_cast<double>((row + 1) * kQuarterFeet) - where.north_offset;
  const double feet_west = static_cast<double>((column + 1) * kQuarterFeet) - where.east_offset;
  lat = corner_lat - feet_south / kFeetPerNauticalMile / LatDegreeLength(corner_lat);
  lon = corner_lon - feet_west / kFeetPerNauticalMile / LonDegreeLength(lat);
  return true;
}

std::string township_converter::FormatDescription(const TownshipPosition& where) {
  if (where.meridian <= 0) {
    return vd::os::FormatC("%4d,%4d LSD %2d-%d-%d-%d-E1", where.east_offset, where.north_offset,
                           where.lsd, where.section, where.township, where.range);
  }
  return vd::os::FormatC("%4d,%4d LSD %2d-%d-%d-%d-W%d", where.east_offset, where.north_offset,
                         where.lsd, where.section, where.township, where.range, where.meridian);
}

bool township_converter::ParseDescription(const std::string& text, TownshipPosition& out) {
  std::vector<std::string_view> tokens;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = rest.find_first_of(" \t-,");
    if (end != 0) tokens.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  if (tokens.size() < 3) return false;

  TownshipPosition where;
  size_t next = tokens.size();
  auto take = [&](int32_t& field) { return ParseInt32(tokens[--next], field); };
  if (!ParseMeridian(tokens[--next], where.meridian) || !take(where.range) ||
      !take(where.township)) {
    return false;
  }
  where.section = 21;
  where.lsd = 1;
  if (next > 0) {
    if (!take(where.section)) return false;
    where.lsd = 11;
  }
  if (next > 0 && !take(where.lsd)) return false;
  if (next > 0 && EqualsNoCase(tokens[next - 1], "LSD")) --next;
  if (next > 0 && !take(where.north_offset)) return false;
  if (next > 0 && !take(where.east_offset)) return false;
  if (next > 0) return false;  // words the description does not have

  if (!IsValid(where)) return false;
  out = where;
  return true;
}

bool township_converter::FormatPosition(double lat, double lon, std::string& text) {
  TownshipPosition where;
  if (!Describe(lat, lon, where)) return false;
  text = FormatDescription(where);
  return true;
}

bool township_converter::ParsePosition(const std::string& text, double& lat, double& lon) {
  TownshipPosition where;
  return ParseDescription(text, where) && Locate(where, lat, lon);
}

bool township_converter::LatLonToGrid(double, double, double& x, double& y) {
  x = y = 0.0;
  return false;
}

bool township_converter::GridToLatLon(double, double, double& lat, double& lon) {
  lat = lon = 0.0;
  return false;
}
