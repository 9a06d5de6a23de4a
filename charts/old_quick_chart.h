#pragma once
// The chart readers of the chart views: one chart file mapped read-only (never read whole), its
// metadata, conversions between chart pixels and positions, 64 x 64 tiles read at a zoom shift
// and whole pixel areas rendered through the blend table. OpenOldQuickChart picks the reader by
// the file's version word.
//
// A reader is used from several threads at once (a view's render and prefetch threads, the
// user-interface thread): everything but Open, SetDimPalette and the destructor only reads the
// mapping and the reader's own fields.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "charts/chart_file_task.h"
#include "charts/qct_file_view.h"
#include "charts/quick_chart_header.h"
#include "charts/tile_codec.h"
#include "geodesy/chart_view_georef.h"
#include "geodesy/geo_point.h"
#include "geodesy/plane_geometry.h"
#include "platform/os/files.h"

class COldQuickChart;

// Opens a chart file with the reader its version word asks for: versions below 0x10000000 are
// tiled charts (".qct"; 6 and above are refused with the newer-version message when opened);
// 0x20000000-0x2FFFFFFF are chunk-store charts, whose tiles come from the companion ".qc3"
// store (null without a message when that store can be neither opened nor created). Any other
// version, or a file without 8 readable bytes, gives null without a message. With
// allow_reference a reference file brings in its original.
std::unique_ptr<COldQuickChart> OpenOldQuickChart(const std::string& path, bool allow_reference,
                                                  std::function<bool()> keep_going = {});

// A rectangle of an output buffer: (left, top) inside, (right, bottom) just outside.
struct RenderRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class COldQuickChart {
 public:
  enum OpenResult {
    kOpened = 0,
    kOpenFailed = -1,    // a message has been shown where the failure calls for one
    kNoChunkStore = 1,   // the chart's chunk store could not be opened
  };
  // RenderPaletteArea's zoom range: magnified 2^-zoom times down to -kMaxMagnifyShift,
  // reduced 2^zoom times up to kMaxReduceShift (one output pixel per tile).
  static constexpr int kMaxMagnifyShift = 8;
  static constexpr int kMaxReduceShift = 6;
  static constexpr int kChunkSide = 1024;  // pixels of a chunk-store chunk
  static constexpr size_t kPaletteColours = 128;

  COldQuickChart() = default;
  virtual ~COldQuickChart();
  COldQuickChart(const COldQuickChart&) = delete;
  COldQuickChart& operator=(const COldQuickChart&) = delete;

  // Maps and checks a chart file, brings in the original of a reference file (allow_reference)
  // and keeps the metadata; then opens the chunk store. A chunk-store chart opens only in a
  // chunk-store reader and a tiled one only in the others ("Could not open file" otherwise). A
  // failure leaves nothing mapped or open.
  int Open(const std::string& path, bool allow_reference);

  // Bytes of the stored tiles (or chunks) that touch a polygon of chart pixels.
  virtual int64_t GetAreaDataSize(std::span<const PlanePoint> polygon);
  // A new chart file at new_path keeping the tiles (or chunks) that touch a polygon of chart
  // pixels. A tiled chart gets the polygon's tiles copied as stored, the others pointing at one
  // blank tile, its outline and its georeference refitted to the new origin. A chunk-store
  // chart's file is copied and the chunks held locally are copied into a new store beside it.
  // False (nothing written) when the range is empty, the task is cancelled or writing fails.
  virtual bool ExtractArea(std::span<const PlanePoint> polygon, const std::string& new_path,
                           const ChartFileTask& task = {});
  // Merges the charts at source_paths into a new tiled chart at output drawn in this chart's
  // pixel frame, the later source winning where they overlap (chart_merge.h). name: the new
  // chart's name, or null for "Merged " + this chart's scale.
  bool Merge(const std::string& output, std::span<const std::string> source_paths,
             bool antialias, const std::string* name, const ChartFileTask& task = {});
  // The next run of complete chunks on one chunk row after the chunk numbered `cursor` (-1:
  // from the start): the positions of its corners, inset 50 pixels, clockwise from the top
  // left; the cursor moves to the run's last chunk. False (cursor -1) when there is none, and
  // always for tiled charts.
  virtual bool NextChunkRun(int& cursor, std::array<GeoPoint, 4>& quad, bool& available,
                            bool& complete);
  // Opens the chunk store that holds the tiles; tiled charts have none to open.
  virtual bool OpenChunkStore() { return true; }
  // A reader that reaches for the network while it opens asks keep_going there; others never.
  virtual void SetOpenKeepGoing(std::function<bool()> /*keep_going*/) {}
  // Fills `buffer` with the first 64 >> shift stored rows of tile (col, row) (stored row s holds
  // image row ReverseBits6(s)); shift 0..6. 0 when filled; 1 when the tile's data is missing
  // and may come later (the caller renders again then).
  virtual int ReadTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer) = 0;
  // Makes sure one chunk of the chunk store is present, while still_wanted() says so. 0 when it
  // is (tiled charts have nothing to fetch).
  virtual int FetchChunk(int chunk_col, int chunk_row, int shift,
                         const std::function<bool()>& still_wanted);
  // The pixel a view centres first.
  virtual void GetCentrePixel(int& x, int& y) const;

  // Positions in WGS84 (the chart's datum shift applied), through the georeference.
  void PixelToLatLon(double x, double y, double& lat, double& lon) const;
  void LatLonToPixelF(double lat, double lon, double& x, double& y) const;
  // As LatLonToPixelF truncated to integers; false and (-1, -1) when the pixel lies 2e9 or more
  // from the origin on either axis (or is not a number).
  bool LatLonToPixel(double lat, double lon, ScreenPoint& point) const;
  bool HasGeoreference() const;
  void GetGeoreference(GeorefPolynomial& out) const { out = header_.georef; }
  // This chart's scale at pixel (0, 0) over the other georeference's at its pixel (0, 0); 100
  // when this chart has no georeference.
  double GetScaleRatio(const GeorefPolynomial& other) const;
  // Nautical miles per chart pixel at a pixel.
  double ScaleAtPixel(double x, double y) const { return header_.georef.ScaleAt(x, y); }

  // The text whose offset the header holds at `field_offset` (a QctTextField); empty when
  // there is none.
  void GetHeaderString(uint32_t field_offset, std::string& out) const;
  const std::string& GetFileName() const { return path_; }
  // Whether the file can still be read (a removable disk may have gone).
  bool IsFileReadable() const;
  // Dimmed: blue and green of every palette entry at 3/4 (red kept), for night viewing.
  void SetDimPalette(bool on);

  // Fetches the chunks under a chart area (chunk rows outside, columns inside) at a shift;
  // 1 as soon as one can't be fetched, else 0.
  int PrefetchArea(int x, int y, int w, int h, int shift,
                   const std::function<bool()>& still_wanted);
  // Renders palette indices of a chart area into `buffer`, rows `stride` bytes apart (negative
  // for bottom-up images). zoom < 0: (w >> -zoom) x (h >> -zoom) chart pixels from (x, y), any
  // alignment, each drawn as a 2^-zoom square; zoom 0: w x h pixels; zoom s > 0: (w << s) x
  // (h << s) chart pixels from (x, y), x and y multiples of 64, each output pixel the blend of
  // four chart pixels of each 2^s square. Pixels outside the chart show index 1. 0 when done,
  // 1 when a tile was missing (rendering stopped there).
  int RenderPaletteArea(int x, int y, int w, int h, ptrdiff_t stride, int zoom, uint8_t* buffer);
  // The chart pixels of the inclusive rectangle (x0, y0)-(x1, y1) at zoom 0, row y0 first; a
  // tile that can't be read shows index 1.
  void CopyArea(int x0, int y0, int x1, int y1, uint8_t* buffer, ptrdiff_t stride);
  // 0xFFRRGGBB colours into the rectangle `rect` of `out` (rows out_stride pixels apart): each
  // output pixel the average colour of a 2^shift square of chart pixels (shift 0..6), the area
  // starting at chart pixel (x, y). The current palette is used, dimmed or not.
  void RenderArea(uint32_t* out, ptrdiff_t out_stride, const RenderRect& rect, int shift, int x,
                  int y);

  int width() const { return width_; }    // pixels
  int height() const { return height_; }  // pixels
  const QuickChartHeader& header() const { return header_; }
  // The current palette: 256 entries of blue, green, red, 0; tiles use the first 128.
  std::span<const uint8_t, kQctPaletteSize> palette() const { return palette_; }
  // T[a * 128 + b]: the index showing an even mix of a and b (entries limited to 0..127).
  std::span<const uint8_t, kQctBlendTableSize> blend_table() const { return header_.blend; }
  bool has_datum_shift() const { return has_datum_shift_; }
  double datum_shift_lat() const { return georef_.shift_lat; }
  double datum_shift_lon() const { return georef_.shift_lon; }
  // Direction of north at the centre pixel, radians; 0 when north is straight up.
  float north_angle() const { return north_angle_; }
  double centre_lon() const { return georef_.reference_lon; }
  const QuickChartExtension& extension() const { return extension_; }
  const QctOnlineSource& online_source() const { return online_source_; }
  bool dimmed() const { return dimmed_; }
  const std::string& title() const { return title_; }  // display title
  const std::string& depth_units() const { return depth_units_; }
  const std::string& aux_text() const { return aux_text_; }

 protected:
  const QctFileView& file() const { return file_; }
  // Whether this reader reads chunk-store charts.
  virtual bool ReadsChunkStore() const { return false; }

  // Chunk-store readers fetch a missing chunk only while this is on; it goes off for the chart
  // after a failed download of a wanted tile, and CopyArea turns it off for its duration.
  std::atomic<bool> download_switch_{true};

 private:
  bool ExtractTiledArea(std::span<const PlanePoint> polygon, const std::string& new_path,
                        const ChartFileTask& task);
  bool ExtractChunkStoreArea(std::span<const PlanePoint> polygon, const std::string& new_path,
                             const ChartFileTask& task);
  int OpenOriginal();
  void Close();
  void MakeDisplayTitle();
  // Renders (w x h) chart pixels from (x, y) into `out`, each a m x m square (m = 2^magnify).
  // stop_at_missing: a missing tile ends with 1; else it shows index 1.
  int RenderMagnified(int64_t x, int64_t y, int64_t w, int64_t h, int magnify, ptrdiff_t stride,
                      uint8_t* out, bool stop_at_missing);
  int RenderReduced(int64_t x, int64_t y, int w, int h, int shift, ptrdiff_t stride,
                    uint8_t* out);

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::array<uint8_t, kQctPaletteSize> palette_{};
  bool has_datum_shift_ = false;
  float north_angle_ = 0;
  QuickChartHeader header_;  // copied at open; the blend table limited to indices 0..127
  QuickChartExtension extension_;
  QctOnlineSource online_source_;
  bool dimmed_ = false;
  std::string title_;
  std::string depth_units_;
  std::string aux_text_;
  std::string path_;
  ChartViewGeoref georef_;  // the polynomials, the datum shift and the centre longitude
  mutable vd::os::File readable_;  // kept open for IsFileReadable (pread only)
  vd::os::MappedFile mapping_;
  QctFileView file_;
};
