#pragma once
// The newer family of chart readers: a chart file mapped read-only, conversions between chart
// pixels and positions, and 64 x 64 tiles handed out at a zoom shift through GetTile, each in its
// stored row order (stored row s holds image row ReverseBits6(s)); at shift s only the first
// 64 >> s stored rows are filled. CQuickChart1 reads tiled charts (".qct"), CQuickChart3
// chunk-store charts through a cache of decoded chunks, and downloads their chunks. OpenChart picks
// the reader by the file's version word.
//
// RenderTile fills a 256 x 256 block of colours from those tiles at a power-of-two level:
// magnified levels repeat pixels, reduced ones blend 2 x 2 pixels through the chart's blend
// table.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "charts/qct_file_view.h"
#include "charts/quick_chart_header.h"
#include "charts/tile_codec.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/geo_point.h"
#include "geodesy/plane_geometry.h"
#include "platform/os/files.h"

class CQC3TileStore;

// What the caller of GetTile brings: one per calling thread.
struct QuickChartTileContext {
  // Told when a tile came from coarser data than asked for (decoded_level kQc3NoLevel: the chunk
  // is not stored at all), so that the caller can fetch the chunk and release it afterwards.
  using GapCallback = void (*)(void* user, CQC3TileStore& store, int chunk_row, int chunk_col,
                               int decoded_level, int requested_level);
  GapCallback callback = nullptr;
  void* user = nullptr;
  // Raised by GetTile to the largest (decoded - requested) level difference it met.
  int largest_gap = 0;
  // Set by RenderTile when the data under the block lacked detail or could not be read.
  bool incomplete = false;
  // The calling thread's decoding workspace.
  std::vector<uint32_t> workspace;
  // The tile RenderTile reads into.
  std::array<uint8_t, kTilePixels> scratch{};
};

// Progress of a chunk download. total is set before any transfer; claimed counts the cells
// handed to workers (a display shows claimed / total) and failed those whose fetch failed
// for good. Read from any thread while the download runs.
struct ChunkDownloadCounts {
  std::atomic<int64_t> claimed{0};
  std::atomic<int64_t> total{0};
  std::atomic<int64_t> failed{0};
};
// Asked with its user pointer before every claim and during every transfer; false stops.
using ChunkDownloadAbort = bool (*)(void* user);

class CQuickChart {
 public:
  static constexpr int kChunkSide = 1024;      // pixels of a chunk-store chunk
  static constexpr int kPaletteColours = 128;  // tiles use palette entries 0..127
  static constexpr int kMaxShift = 6;          // GetTile's coarsest shift: one row per tile

  CQuickChart() = default;
  virtual ~CQuickChart();
  CQuickChart(const CQuickChart&) = delete;
  CQuickChart& operator=(const CQuickChart&) = delete;

  // Maps and checks the chart file, keeps its metadata and opens the chunk store. 0, or -1
  // after showing why (through the chart reader services) when the file is there but unusable.
  // Nothing stays open after a failure. The file itself is never changed.
  int Open(const std::string& path);
  // Unmaps the file and forgets everything read from it.
  virtual void Close();
  bool IsOpened() const { return opened_; }

  // WGS84 positions (the chart's datum shift applied) through the georeference; LatLonToPixel
  // wraps the longitude towards the chart's centre first.
  GeoPoint PixelToLatLon(double x, double y) const;
  PlanePoint LatLonToPixel(double lat, double lon) const;
  // Nautical miles per chart pixel at a pixel.
  double ScaleAt(double x, double y) const { return header_.georef.ScaleAt(x, y); }
  // The chart's outline in WGS84: the stored points wrapped towards the centre longitude, or,
  // without any, the chart's four corners clockwise from the top left. Always true.
  bool GetOutline(std::vector<GeoPoint>& points) const;

  // The byte at a file offset; null at or past the end of the file.
  const uint8_t* MapOffset(uint64_t offset) const;
  // The text at a file offset as UTF-8; empty for 0.
  std::string ReadText(uint32_t offset) const { return file_.Text(offset); }

  // Chunk-store readers keep decoded chunks; these forget them (all, or the one of a key made
  // by ChunkKey) so that the next request decodes afresh.
  virtual void FlushChunkCache() {}
  virtual void ReleaseChunk(int64_t /*key*/) {}
  static int64_t ChunkKey(int chunk_row, int chunk_col) {
    return (int64_t(chunk_row) << 32) | uint32_t(chunk_col);
  }
  // A chunk store is open for writing (downloads are possible).
  virtual bool HasChunkStore() const { return false; }
  // Downloads the chunks of the chart touching a polygon of chart pixels, or lying within
  // distance_m metres of a route of chart pixels, on a pool of four workers; blocks until the
  // download ends. True when every wanted chunk was fetched; false when stopped, when something
  // failed, or when there is nothing to download from. Readers without a store refuse.
  virtual bool DownloadPolygon(std::span<const PlanePoint> /*polygon*/,
                               ChunkDownloadCounts& /*counts*/, ChunkDownloadAbort /*abort*/,
                               void* /*user*/) {
    return false;
  }
  virtual bool DownloadRoute(std::span<const PlanePoint> /*route*/, double /*distance_m*/,
                             ChunkDownloadCounts& /*counts*/, ChunkDownloadAbort /*abort*/,
                             void* /*user*/) {
    return false;
  }
  // The next run of complete chunks on one chunk row after chunk number `cursor` (-1: from
  // the start; number = row x across + column): its corners inset by 50 pixels, clockwise from
  // the top left; the cursor moves to the run's last chunk. False with cursor -1 at the end, and
  // always for readers without a store.
  virtual bool NextChunkRun(int64_t& cursor, std::array<GeoPoint, 4>& /*quad*/, bool& /*available*/,
                            bool& /*downloaded*/) {
    cursor = -1;
    return false;
  }
  // Fills the first 64 >> shift stored rows (shift 0..6) of tile (col, row). Tiles outside the
  // chart show colour 1, tiles whose bytes can't be read colour 0. 0 when filled; 1 when the
  // reader has no tile source at all (a chunk-store chart without its store).
  virtual int GetTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer,
                      QuickChartTileContext& context) = 0;
  // The side of the block RenderTile fills.
  static constexpr int kRenderSide = 256;
  // Fills kRenderSide x kRenderSide colours (0xAARRGGBB, opaque; `stride` pixels from one row to
  // the next) with the chart at `level` from chart pixel (x, y) at the top-left corner. At level
  // L <= 0 output pixel (i, j) is chart pixel (x + (i >> -L), y + (j >> -L)). At L > 0 output
  // pixel (i, j) blends the four chart pixels p(X, Y), p(X + h, Y + h), p(X, Y + h) and
  // p(X + h, Y), where X = x + 2^L i, Y = y + 2^L j and h = 2^(L - 1), as
  // T[T[p(X, Y)][p(X + h, Y + h)]][T[p(X, Y + h)][p(X + h, Y)]], T being the blend table; tiles
  // are read at shift L - 1, which holds exactly the rows needed. Off the chart is colour 1.
  // The context's largest_gap and incomplete record what the data lacked. 0 when done; 1 when
  // a tile could not be had at all (the block is then colour 0 and marked incomplete).
  int RenderTile(int64_t x, int64_t y, int level, uint32_t* pixels, ptrdiff_t stride,
                 QuickChartTileContext& context);
  // Called at the end of Open; false fails the opening.
  virtual bool OpenChunkStore() { return true; }

  const std::string& path() const { return path_; }
  int width() const { return width_; }    // pixels
  int height() const { return height_; }  // pixels
  int width_in_tiles() const { return header_.width; }
  int height_in_tiles() const { return header_.height; }
  const QuickChartHeader& header() const { return header_; }
  // Palette entries 0..127: blue, green, red, 0 each.
  std::span<const uint8_t> palette() const { return palette_; }
  // The chart's blend table (the caller's to use).
  std::span<const uint8_t, kQctBlendTableSize> blend_table() const { return header_.blend; }
  const QuickChartExtension& extension() const { return extension_; }
  const QctOnlineSource& online_source() const { return online_source_; }
  const std::string& aux_text() const { return aux_text_; }
  bool has_datum_shift() const { return has_datum_shift_; }
  double datum_shift_lat() const { return georef_.shift_lat; }
  double datum_shift_lon() const { return georef_.shift_lon; }
  // The centre pixel's longitude (WGS84): positions are wrapped towards it.
  double centre_lon() const { return georef_.reference_lon; }

 protected:
  const QctFileView& file() const { return file_; }
  // The version words this reader opens.
  virtual bool OpensVersion(uint32_t version) const = 0;

 private:
  bool opened_ = false;
  std::string path_;
  vd::os::MappedFile mapping_;
  QctFileView file_;
  QuickChartHeader header_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::array<uint8_t, kPaletteColours * 4> palette_{};
  QuickChartExtension extension_;
  QctOnlineSource online_source_;
  std::string aux_text_;
  bool has_datum_shift_ = false;
  ChartViewGeoref georef_;
};

// Opens a chart with the reader its version word asks for: top byte 0x00 a tiled chart, 0x01
// or 0x20 a chunk-store chart. Null without a message for a file that can't be read or whose
// magic or version names no such chart; null after a message when opening fails.
std::unique_ptr<CQuickChart> OpenChart(const std::string& path);

// The text at a file offset read through a file (no mapping): up to 1023 bytes, to the first
// zero, as UTF-8. Empty for offset 0 or when nothing can be read there.
std::string ReadTextFromFile(vd::os::File& file, uint32_t offset);
