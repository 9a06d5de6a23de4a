#pragma once
// A QED elevation file: a grid of terrain heights cut into square tiles of bit-packed samples,
// with a georeference that maps latitude/longitude onto the grid. The file is mapped read-only
// and every lookup reads straight from the mapping.
//
// Layout (little-endian, offsets from the start of the file): the 344-byte QedHeader below,
// then one u32 file offset per tile, row-major (row * columns + column), 0 for an absent tile.
// A tile is: u8 w (bits per sample, 0 = every sample is the base), i16 base, then n * n
// unsigned w-bit fields packed least-significant bit first; sample i = row_in_tile * n +
// column_in_tile starts at bit i * w and its height is base + field. Writers keep w <= 17.
//
// Heights are signed 16-bit values in the unit the file was made with (base + field may pass
// 16 bits); kNoElevation stands for "nothing to read".
//
// Grid coordinates: x grows with the column, y with the row, sample (x, y) sits at integer
// (x, y); a fractional position lies between four samples.
//
// Threads: Open, Close and ExportPolygon on one thread; the const lookups may run on any
// number of threads at once while the file stays open.
#include <cstddef>
#include <cstdint>
#include <string>

#include "geodesy/geo_point.h"
#include "geodesy/georef_polynomial.h"
#include "platform/os/files.h"

inline constexpr uint32_t kQedMagic = 0x34EB3498;
inline constexpr size_t kQedHeaderSize = 344;
inline constexpr int kNoElevation = 32767;
// The widest sample field that fits the 24-bit window the samples are read through.
inline constexpr int kQedMaxSampleBits = 17;
// The widest tile side a file may declare: the samples of one tile must stay countable in an
// int. Wider sides are refused on open.
inline constexpr int kQedMaxTileSize = 46340;

// The header exactly as stored (the build is little-endian only).
struct QedHeader {
  uint32_t magic = kQedMagic;
  int32_t version = 0;     // accepted when 0 or less
  int32_t tile_size = 0;   // n: a tile holds n x n samples
  int32_t rows = 0;        // tile rows (down)
  int32_t columns = 0;     // tile columns (across)
  int32_t reserved = 0;    // never read; exports write 0
  GeorefPolynomial georef; // forward: (lat, lon) -> (x, y) grid; inverse: grid -> (lat, lon)
};
static_assert(sizeof(QedHeader) == kQedHeaderSize);

class CElevationFile {
 public:
  // No file loaded.
  CElevationFile() = default;
  // Close.
  ~CElevationFile();
  CElevationFile(const CElevationFile&) = delete;
  CElevationFile& operator=(const CElevationFile&) = delete;

  // Closes any open file, then opens and maps `path`. False with no message when the file
  // can't be opened or is shorter than the header. False with an error message (through
  // the chart readers' show_error service) on a wrong magic ("Not a QED file: \"<path>\""), a
  // version above 0 ("QED file is newer version: \"<path>\"") or a header whose sizes don't
  // fit the file (tile side below 1 or above kQedMaxTileSize, negative counts, an offset table past the end, a grid
  // wider than an int can count), also reported as "Not a QED file". A mapping that fails
  // shows "Could not open file: \"<path>\"", or "File too big: \"<path>\"\nPlease close some
  // map windows" when the address space ran out. A failed Open leaves the object closed.
  bool Open(const std::string& path);
  // Unmaps the file, empties the path and header and clears the loaded flag; harmless when
  // closed.
  void Close();

  bool IsLoaded() const { return loaded_; }
  const std::string& path() const { return path_; }
  const QedHeader& header() const { return header_; }
  int tile_size() const { return header_.tile_size; }
  // Samples across and down: columns * n and rows * n (0 when closed).
  int grid_width() const;
  int grid_height() const;

  // One stored sample by grid column x and row y. When there is none (closed, negative or
  // beyond the grid, an absent tile, or a tile that is damaged: w above kQedMaxSampleBits or
  // its bytes past the end of the file) *ok is set to false and kNoElevation returned. *ok is
  // never set to true here: callers set it before a run of lookups. `ok` may be null.
  int GetSample(int x, int y, bool* ok) const;

  // The height at a position, bilinear between the four surrounding samples; kNoElevation
  // when not loaded or when any of the four is missing (no clamping at the grid's edge).
  float GetHeight(double lat, double lon) const;

  // The west-east height change across two sample spacings at a position, bilinear over the
  // eight samples of columns x0 - 1 .. x0 + 2 in rows y0 and y0 + 1 and truncated toward zero;
  // written to *out, 0 when not loaded or any sample is missing. For relief shading.
  void GetSlope(double lat, double lon, int16_t* out) const;

  // Writes a QED file with this file's tiles that touch the polygon of `count` positions (the
  // ring is closed when the last point differs from the first), with a georeference refitted
  // to the smaller grid. False, writing nothing, when not loaded, when the polygon misses the
  // grid, or when the output is this file itself. A file that can't be created shows "Failed
  // to open output file: <path>". The file is written under a temporary name and renamed over
  // `out_path` only when complete.
  bool ExportPolygon(const std::string& out_path, const GeoPoint* points, int count) const;

  // The grid georeference.
  // Fractional grid position (x column, y row) of a position; the longitude is first moved
  // by 360 degrees towards the grid's centre when it lies more than 180 degrees away.
  void LatLonToGrid(double lat, double lon, double& x, double& y) const;
  // Position of a fractional grid position.
  void GridToLatLon(double x, double y, double& lat, double& lon) const;
  // Nautical miles per grid cell (sample spacing) at a grid position.
  double NauticalMilesPerCell(double x, double y) const;

 private:
  bool Fail(const char* format);
  const uint8_t* TileAt(int tile_column, int tile_row) const;

  QedHeader header_{};
  bool loaded_ = false;
  const uint8_t* offsets_ = nullptr;  // the tile offset table inside the mapping
  std::string path_;
  vd::os::MappedFile view_;           // the whole file, read-only
  double centre_lon_ = 0.0;           // wrap reference of LatLonToGrid
};
