#pragma once
// The place-name index (".vdq" files): named places with a category and a position, searched
// by category and by a piece of the name. The file is mapped read-only and its records are
// walked in place.
//
// Layout, little-endian: int64 magic kGeoNameMagic, int32 category count, int32 place count,
// then the category records and after them the place records, back to back to the end of the
// file. A record: int32 length of the whole record (a multiple of 8, at least 32), int32
// category index (0-based among the category records; 0 in category records), double latitude,
// double longitude (degrees; 0 in category records), then the name in Windows-1252,
// NUL-terminated and padded with zeros to the length (text length + 25 rounded up to 8).
//
// A cursor points at a record inside the mapping; null stands before the first and after the
// last. Cursors stay valid until Close or the next Open.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "geodesy/geo_point.h"
#include "platform/os/files.h"

inline constexpr int64_t kGeoNameMagic = 0x16187FEB2;
inline constexpr size_t kGeoNameHeaderSize = 16;
inline constexpr size_t kGeoNameRecordHead = 24;

using GeoNameCursor = const uint8_t*;

// One record, read out of the index.
struct GeoNamePlace {
  int32_t category = 0;
  double lat = 0.0;
  double lon = 0.0;
  std::string name;  // UTF-8
};

class COldGeoNameDatabase {
 public:
  COldGeoNameDatabase() = default;
  ~COldGeoNameDatabase() { Close(); }
  COldGeoNameDatabase(const COldGeoNameDatabase&) = delete;
  COldGeoNameDatabase& operator=(const COldGeoNameDatabase&) = delete;

  // 0 on success, -1 on failure. Files that can't be opened or hold 15 bytes or less fail
  // without a message; a file that can't be mapped, lacks the magic or whose category records
  // don't fit it shows "Could not open file: \"<path>\"" (through the chart readers'
  // show_error service).
  int Open(const std::string& path);
  void Close();
  bool IsOpen() const { return first_place_ != nullptr; }
  const std::string& path() const { return path_; }

  // Step to the next category or place record (the first when the cursor is null); null after
  // the last. The walk ends early at a record whose length is not a multiple of 8, below 32
  // or past the end of its part of the file.
  void NextCategory(GeoNameCursor& cursor) const;
  void NextPlace(GeoNameCursor& cursor) const;
  // The next place after the cursor in the category (-1: any) whose name contains `text`
  // (UTF-8; see FindTextNoCase), or null. An empty text matches every name.
  void FindNext(GeoNameCursor& cursor, int category, std::string_view text) const;

  // Writes a copy of the index holding the places inside the polygon (latitude, longitude
  // pairs; a place is inside when the polygon winds round it). 0, or -1 when no index is open,
  // the polygon is empty, or the output can't be written ("Failed to open index output file"
  // when it can't be created or is the open index itself). The output is replaced whole or not
  // at all.
  int ExportPolygon(const std::string& out_path, const GeoPoint* points, int count) const;

  // The fields of a record the cursor points at (not null).
  static GeoNamePlace Read(GeoNameCursor cursor);
  // The record's name as stored (Windows-1252), without the NUL.
  static std::string_view RawName(GeoNameCursor cursor);

 private:
  // The record at `record` when its head and length fit before `end`, else null.
  static GeoNameCursor Checked(GeoNameCursor next, GeoNameCursor end);

  std::string path_;
  vd::os::MappedFile view_;
  GeoNameCursor first_place_ = nullptr;
  GeoNameCursor end_ = nullptr;
};

// Appends one record: the name (Windows-1252, up to its first NUL) with its category index
// and position, padded to the record length.
void AppendGeoNameRecord(std::string& out, int32_t category, double lat, double lon,
                         std::string_view name);

// The first place in `text` where `pattern` occurs, or null. Both are Windows-1252 bytes. A
// pattern character matches the same character, and a capital letter (A-Z, or an accented
// capital 0xC0-0xDE other than 0xD7) also matches its small letter: upper-case the pattern to
// search without regard to case.
const char* FindTextNoCase(std::string_view text, std::string_view pattern);
