#pragma once
// The "Township & Range" position format: a WGS84 position as a legal subdivision of the
// western Canadian land survey (LSD, section, township, range, meridian) with a feet offset
// inside the LSD, e.g. " 100, 200 LSD  3-5-10-2-W5". It works from two lookup files:
//
// "township_fwd.tpd" (description to position), little-endian: an index of 31850 int32 byte
// offsets, entry (meridian * 35 + range) * 130 + township (0 = no such township); each
// township block holds 36 records (one per section, in section order) of int32 latitude * 1e6
// and int32 longitude * 1e6 of the section's north-east corner (either 0: no such section).
//
// "township_rvs.tpd" (position to description), little-endian: an index of 110 x 300 cells of
// 0.1 degree from 49 N, 123 W, in row-major order (row * 300 + column), each an int32 byte
// offset (0 = empty) and an int32 record count (at most 110); a record is int32 latitude * 1e6,
// int32 longitude * 1e6 of a section's north-east corner, then one byte each of meridian,
// township, range and section.
//
// Every offset and count read from the files is checked against the file's size: a damaged
// file gives false results, never a read outside it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "geodesy/utm_grid_formatter.h"
#include "platform/os/files.h"

struct TownshipPosition {
  int32_t meridian = 0;      // 1..7 west of that meridian; 0: east of the first ("E1")
  int32_t township = 0;      // 1..130
  int32_t range = 0;         // 1..35
  int32_t section = 0;       // 1..36
  int32_t lsd = 0;           // legal subdivision 1..16
  int32_t east_offset = 0;   // feet from the LSD's west edge
  int32_t north_offset = 0;  // feet from the LSD's south edge
};

class township_converter : public utm_grid_formatter {
 public:
  static constexpr const char* kForwardFileName = "township_fwd.tpd";
  static constexpr const char* kReverseFileName = "township_rvs.tpd";
  // Shown when neither folder holds the lookup files.
  static constexpr const char* kMissingDataMessage =
      "The Township & Range data files \"township_fwd\" and \"township_rvs\" are not included.\n"
      "Place them in the \"Map Overlays\" folder in your Documents folder.";

  using TellUserFn = std::function<void(const std::string& message)>;

  // Data folder: the program folder, else the user's documents "Map Overlays" folder.
  explicit township_converter(const TellUserFn& tell_user = {});
  // Data folder: the first of `folders` holding a readable "township_fwd.tpd". When none does,
  // tell_user (if given) receives kMissingDataMessage and every conversion fails.
  explicit township_converter(const std::vector<std::string>& folders,
                              const TellUserFn& tell_user = {});
  ~township_converter() override;

  const std::string& data_folder() const { return data_folder_; }

  // Reverse lookup; "%4d,%4d LSD %2d-%d-%d-%d-W%d" (east offset, north offset, LSD, section,
  // township, range, meridian), "-E1" in place of "-W%d" for meridian 0.
  bool FormatPosition(double lat, double lon, std::string& text) override;
  // Forward lookup of a description such as "12-21-045-05-W4" or "045 05 W4".
  bool ParsePosition(const std::string& text, double& lat, double& lon) override;
  // This format has no grid coordinates: (0, 0) and false.
  bool LatLonToGrid(double lat, double lon, double& x, double& y) override;
  bool GridToLatLon(double x, double y, double& lat, double& lon) override;

  // The description of a position (offsets truncated to whole feet).
  bool Describe(double lat, double lon, TownshipPosition& out);
  // The position of a description (the point at its offsets inside the LSD).
  bool Locate(const TownshipPosition& where, double& lat, double& lon);

  // Text of a description, as FormatPosition writes it.
  static std::string FormatDescription(const TownshipPosition& where);
  // Reads a description: tokens split at blanks, tabs, '-' and ',', read from the last:
  // meridian ("W4", "4", "E1"), range, township, then optionally section, LSD, the word "LSD",
  // north offset, east offset. With a section but no LSD, LSD 11; with no section, section 21
  // and LSD 1. Fields outside their ranges give false.
  static bool ParseDescription(const std::string& text, TownshipPosition& out);

 private:
  struct Corner {
    int32_t lat_e6;
    int32_t lon_e6;
    uint8_t meridian, township, range, section;
  };
  // A lookup file and its index, opened and read on first use.
  struct LookupFile {
    enum class State { kUnopened, kOpen, kFailed } state = State::kUnopened;
    vd::os::File file;
    uint64_t size = 0;
    std::vector<int32_t> index;
  };

  bool OpenLookup(LookupFile& lookup, const char* name, size_t index_entries);
  bool LoadCell(int row, int column);

  std::string data_folder_;
  LookupFile forward_;
  LookupFile reverse_;
  // Records of the last reverse cell read; row -1 when none.
  std::vector<Corner> cell_records_;
  int cell_row_ = -1;
  int cell_column_ = -1;
};
