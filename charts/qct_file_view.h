#pragma once
// Checked reading of a chart file's bytes (usually a whole vd::os::MappedFile). Every offset and
// count taken from the file is tested against the bytes present, so a damaged file reads as
// missing parts and never as a read past the end.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "charts/quick_chart_header.h"
#include "geodesy/geo_point.h"

class QctFileView {
 public:
  QctFileView() = default;
  explicit QctFileView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  std::span<const uint8_t> bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

  // Magic and version, the first 8 bytes; false when the file is shorter.
  bool ReadPrefix(uint32_t& magic, uint32_t& version) const;
  // The fixed header; false when the file is shorter than kQctHeaderSize.
  bool ReadHeader(QuickChartHeader& out) const;

  // A tiled-layout file must hold its header, the tile index and 8 more bytes:
  // 0x45A8 + 4 x width x height (nullopt for a negative width or height).
  static std::optional<uint64_t> RequiredTiledSize(int32_t width, int32_t height);
  // The file is at least RequiredTiledSize long.
  bool HoldsTileIndex(const QuickChartHeader& header) const;

  // The text at a file offset as UTF-8: empty for 0 or an offset at or past the end; the bytes
  // up to the first zero, or to the end of the file when no zero follows.
  std::string Text(uint32_t offset) const;
  std::string HeaderText(const QuickChartHeader& header, QctTextField field) const;

  // The extension block; nullopt when the header has none or it lies past the end.
  std::optional<QuickChartExtension> ReadExtension(const QuickChartHeader& header) const;
  // The datum shift at extension +4; nullopt when there is none or it lies past the end.
  std::optional<QctDatumShift> ReadDatumShift(const QuickChartExtension& extension) const;
  // The first min(n, 8) bytes of the online-source block (the rest zero); nullopt when the
  // extension names none or the block's bytes aren't all present.
  std::optional<QctOnlineSource> ReadOnlineSource(const QuickChartExtension& extension) const;
  // The outline points as stored (lat, lon in the chart's own datum, no shift applied). Empty
  // for a count of 0 or below; nullopt when the points pass the end of the file.
  std::optional<std::vector<GeoPoint>> ReadOutline(const QuickChartHeader& header) const;

  // The first tile index entry (0 marks a reference file); nullopt when the file is shorter.
  std::optional<uint32_t> FirstIndexEntry() const;

  // A tile's stored bytes: from its first byte to the end of the file, and its file offset.
  struct Tile {
    std::span<const uint8_t> bytes;  // empty: no tile bytes can be reached
    uint64_t offset = 0;
  };
  // Tile (col, row) of a tiled-layout file. Empty when the column or row is outside the chart,
  // the file doesn't hold the index, or the entry is 0 or points at or past the end.
  Tile TileAt(const QuickChartHeader& header, int col, int row) const;
  // The tiles of a tiled-layout file whose index entry points at or past the end of the file
  // (a file cut short); 0 when the file doesn't hold the index.
  int64_t CountTilesPastEnd(const QuickChartHeader& header) const;
  // The bytes from `offset` to the end (empty at or past the end).
  std::span<const uint8_t> From(uint64_t offset) const;

 private:
  std::span<const uint8_t> bytes_;
};

// The file is a chart whose tiles lie in it (tiled layout, header and tile index whole), not a
// reference file naming an original elsewhere and not a chunk-store chart.
bool IsTiledChartWithTiles(const std::string& path);
