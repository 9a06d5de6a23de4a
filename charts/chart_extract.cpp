#include "charts/chart_extract.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "charts/chart_file_task.h"
#include "charts/old_quick_chart.h"
#include "charts/qc3_store_format.h"
#include "charts/qct_writer.h"
#include "core/file_utils.h"
#include "core/locked_file.h"
#include "core/path_utils.h"
#include "geodesy/georef_fitter.h"
#include "geodesy/nad27_shift.h"

namespace {

constexpr int kBoxStart = 2000000000;
constexpr char kExtractingText[] = "Extracting map area...";
constexpr uint8_t kBlankTileColour = 1;
// Store index entries beyond this are taken as blank chunks, as the chunk-store reader does.
constexpr int64_t kLargestChunkAddress = 1'000'000'000'000;

int TruncateToInt(double v) {
  return v >= double(INT_MIN) && v < double(INT_MAX) + 1.0 ? int(v) : INT_MIN;
}

template <class T>
std::span<const uint8_t> BytesOf(const T& value) {
  return {reinterpret_cast<const uint8_t*>(&value), sizeof value};
}

template <class T>
std::span<const uint8_t> BytesOf(const std::vector<T>& values) {
  return {reinterpret_cast<const uint8_t*>(values.data()), values.size() * sizeof(T)};
}

// A datum named with "27" after its first character ("NAD27") gets its shift from the NAD27
// grids; "27..." keeps the source's shift.
bool NamesNad27(const std::string& datum) { return datum.find("27", 1) != std::string::npos; }

// Copies level `level` of chunk (row, col) of one store into another whose index holds 0 for it.
// Only what the source holds locally is copied: an absent chunk, or one whose record can't be
// read, stays absent (it can be fetched later); a blank one becomes blank. A strict copy fails
// when the source lacks words of the level. False when the copy failed.
bool CopyStoreChunk(CLockedFile& source, const QC3StoreHeader& source_header, CLockedFile& target,
                    const QC3StoreHeader& target_header, int row, int col, int level,
                    bool strict) {
  int64_t entry = ReadChunkIndexEntry(source, source_header, row, col);
  if (entry == kQc3AbsentChunk) return true;
  if (entry < kQc3BlankChunk || entry > kLargestChunkAddress) entry = kQc3BlankChunk;
  if (entry == kQc3BlankChunk) {
    return WriteChunkIndexEntry(target, target_header, row, col, kQc3BlankChunk);
  }
  QC3ChunkHeader chunk;
  if (!IsChunkAddress(entry) || !ReadChunkHeader(source, uint64_t(entry), chunk) ||
      !IsValidChunkHeader(chunk)) {
    return true;
  }
  uint32_t words = chunk.words[level];
  if (chunk.present < words) {
    if (strict) return false;
    words = chunk.present;
  }
  std::vector<uint32_t> workspace;
  if (!ReadChunkWords(source, uint64_t(entry), words, workspace)) return true;
  chunk.present = words;
  const int64_t address = target.Append(kQc3ChunkHeaderSize + 4 * chunk.words[0], 4);
  return address >= 0 &&
         target.WriteTwoAt(uint64_t(address), &chunk, sizeof chunk, workspace.data(),
                           size_t(words) * 4) &&
         WriteChunkIndexEntry(target, target_header, row, col, address);
}

}  // namespace

std::optional<SquareRange> PolygonSquareRange(std::span<const PlanePoint> polygon, int side,
                                              int cols, int rows) {
  int min_x = kBoxStart, min_y = kBoxStart, max_x = -kBoxStart, max_y = -kBoxStart;
  for (const PlanePoint& p : polygon) {
    min_x = std::min(min_x, TruncateToInt(p.x));
    max_x = std::max(max_x, TruncateToInt(p.x));
    min_y = std::min(min_y, TruncateToInt(p.y));
    max_y = std::max(max_y, TruncateToInt(p.y));
  }
  SquareRange range;
  range.first_col = std::max(0, min_x / side);
  range.first_row = std::max(0, min_y / side);
  range.last_col = std::min(max_x / side, cols - 1);
  range.last_row = std::min(max_y / side, rows - 1);
  if (range.last_col < range.first_col || range.last_row < range.first_row) return std::nullopt;
  return range;
}

bool COldQuickChart::ExtractArea(std::span<const PlanePoint> polygon, const std::string& new_path,
                                 const ChartFileTask& task) {
  return ReadsChunkStore() ? ExtractChunkStoreArea(polygon, new_path, task)
                           : ExtractTiledArea(polygon, new_path, task);
}

bool COldQuickChart::ExtractTiledArea(std::span<const PlanePoint> polygon,
                                      const std::string& new_path, const ChartFileTask& task) {
  QuickChartHeader source;  // as stored: the blend table unmasked
  if (!file().ReadHeader(source)) return false;
  const std::optional<SquareRange> range =
      PolygonSquareRange(polygon, kTileSide, source.width, source.height);
  if (!range) return false;
  vd::os::AtomicFileWriter out;
  if (!out.Open(new_path)) {
    task.Error("Failed to open output file");
    return false;
  }
  QctWriter writer(out.file());
  const auto text = [this](uint32_t field) {
    std::string value;
    GetHeaderString(field, value);
    return value;
  };
  const auto copy_text = [&](QuickChartHeader& header, QctTextField field) {
    header.SetTextOffset(field, QctAppendString(text(field), writer));
  };

  QuickChartHeader header;
  header.version = source.version;
  header.width = range->last_col - range->first_col + 1;
  header.height = range->last_row - range->first_row + 1;
  header.palette = source.palette;
  header.blend = source.blend;
  writer.AppendZeros(kQctHeaderSize);
  std::vector<uint32_t> index(size_t(header.width) * size_t(header.height));
  writer.AppendZeros(index.size() * sizeof(uint32_t));
  header.extension = writer.AppendZeros(kQctExtensionSize);

  // The polygon as the new chart's outline, in the chart's own datum.
  std::vector<double> outline;
  for (const PlanePoint& p : polygon) {
    double lat, lon;
    PixelToLatLon(p.x, p.y, lat, lon);
    outline.push_back(lat - datum_shift_lat());
    outline.push_back(lon - datum_shift_lon());
  }
  header.outline_count = int32_t(polygon.size());
  header.outline = writer.Append(BytesOf(outline));

  // The georeference refitted for the new pixel origin.
  const double origin_x = double(range->first_col) * kTileSide;
  const double origin_y = double(range->first_row) * kTileSide;
  header.georef = source.georef;
  if (source.HasGeoreference()) {
    double residual;
    FitPolynomialFromMapping(
        header.georef, header.width * kTileSide, header.height * kTileSide,
        [&source, origin_x, origin_y](int u, int v, double& lat, double& lon) {
          std::tie(lat, lon) =
              EvalCubicPolynomial2D(source.georef.inverse, u + origin_x, v + origin_y);
          return true;
        },
        residual);
  }

  for (QctTextField field : {kQctEdition, kQctUpdate, kQctCopyright, kQctScale, kQctDatum,
                             kQctDepthUnits, kQctHeightUnits, kQctProjection, kQctOriginalName}) {
    copy_text(header, field);
  }
  header.original_size = source.original_size;
  header.original_time = source.original_time;
  header.SetTextOffset(kQctName, QctAppendString("From " + text(kQctName), writer));
  header.SetTextOffset(kQctTitle, QctAppendString("From " + text(kQctTitle), writer));
  const QuickChartExtension& source_extension = extension();
  QuickChartExtension new_extension;
  new_extension.map_type = QctAppendString(file().Text(source_extension.map_type), writer);

  QctDatumShift shift{datum_shift_lat(), datum_shift_lon()};
  if (NamesNad27(text(kQctDatum))) {
    const auto [lat, lon] = EvalCubicPolynomial2D(header.georef.inverse, header.width * 32.0,
                                                  header.height * 32.0);
    GetNad27Shift(lat, lon, shift.lat, shift.lon);  // 0 where no grid covers the centre
  }
  writer.Align8();
  new_extension.datum_shift = writer.Append(BytesOf(shift));
  new_extension.reserved_text =
      QctAppendString(file().Text(source_extension.reserved_text), writer);
  new_extension.reserved1 = source_extension.reserved1;
  if (source.version <= 3) new_extension.reserved2 = source_extension.reserved2;
  header.flags = source.flags;
  header.reserved = source.reserved;

  // Tiles outside the polygon all point at one blank tile; the others are copied as stored.
  std::array<uint8_t, kTilePixels> tile;
  tile.fill(kBlankTileColour);
  const uint32_t blank = writer.AppendTile(tile);
  const int steps = header.height;
  if (!task.Progress(kExtractingText, 0, steps)) return false;
  for (int row = range->first_row; row <= range->last_row; ++row) {
    for (int col = range->first_col; col <= range->last_col; ++col) {
      uint32_t& entry = index[size_t(row - range->first_row) * size_t(header.width) +
                              size_t(col - range->first_col)];
      if (!SquareTouchesPolygon(double(col) * kTileSide, double(row) * kTileSide, kTileSide,
                                polygon)) {
        entry = blank;
        continue;
      }
      const QctFileView::Tile stored = file().TileAt(source, col, row);
      const size_t size = TileEncodedSize(stored.bytes, stored.offset);
      if (size > 0) {
        entry = writer.Append(stored.bytes.first(size));
      } else {
        // A tile that can't be decoded whole is written as the reader shows it.
        ReadTile(col, row, 0, tile);
        entry = writer.AppendTile(tile);
      }
    }
    if (!writer.ok()) {
      task.Error(std::strerror(errno));
      return false;
    }
    if (!task.Progress(kExtractingText, row - range->first_row + 1, steps)) return false;
  }
  writer.WriteAt(0, header.Bytes());
  writer.WriteAt(kQctHeaderSize, BytesOf(index));
  writer.WriteAt(header.extension, new_extension.Bytes());
  if (!writer.PadToWord() || !out.Commit()) {
    task.Error(std::strerror(errno));
    return false;
  }
  return true;
}

bool COldQuickChart::ExtractChunkStoreArea(std::span<const PlanePoint> polygon,
                                           const std::string& new_path,
                                           const ChartFileTask& task) {
  const std::string source_path = ChangeFileExtension(GetFileName(), ".qc3");
  const std::string store_path = ChangeFileExtension(new_path, ".qc3");
  const auto same_file = [](const std::string& a, const std::string& b) {
    const auto id = vd::os::IdentifyFile(a);
    return a == b || (id && id == vd::os::IdentifyFile(b));
  };
  if (same_file(source_path, store_path) || same_file(GetFileName(), new_path)) return false;
  CLockedFile source;
  QC3StoreHeader store_header;
  if (!source.Open(source_path, CLockedFile::kRead) ||
      LoadStoreHeader(source, store_header) != Qc3StoreState::kLoaded) {
    return false;
  }
  const int across = (header().width + kQc3ChunkTiles - 1) / kQc3ChunkTiles;
  const int down = (header().height + kQc3ChunkTiles - 1) / kQc3ChunkTiles;
  const std::optional<SquareRange> range =
      PolygonSquareRange(polygon, kChunkSide, std::min(across, store_header.across),
                         std::min(down, store_header.down));
  if (!range) return false;

  // The new store is made under a temporary name and takes its place only when complete.
  const std::string temp_path = store_path + ".tmp";
  std::string empty_store(store_header.IndexEnd(), '\0');
  std::memcpy(empty_store.data(), &store_header, sizeof store_header);
  CLockedFile target;
  const auto fail = [&] {
    target.Close();
    vd::os::RemoveFile(temp_path);
    return false;
  };
  if (!vd::os::SaveFileAtomically(temp_path, empty_store) ||
      !target.Open(temp_path, CLockedFile::kReadWrite)) {
    return fail();
  }
  const int cols = range->last_col - range->first_col + 1;
  const int steps = (range->last_row - range->first_row + 1) * cols;
  if (!task.Progress(kExtractingText, 0, steps)) return fail();
  int done = 0;
  for (int row = range->first_row; row <= range->last_row; ++row) {
    for (int col = range->first_col; col <= range->last_col; ++col) {
      if (!task.Progress(kExtractingText, ++done, steps)) return fail();
      if (SquareTouchesPolygon(double(col) * kChunkSide, double(row) * kChunkSide, kChunkSide,
                               polygon) &&
          !CopyStoreChunk(source, store_header, target, store_header, row, col, 0, false)) {
        return fail();
      }
    }
  }
  target.Close();
  if (!vd::os::RenameFile(temp_path, store_path)) return fail();
  if (!CopyFileWithProgress(GetFileName(), new_path)) {
    vd::os::RemoveFile(store_path);
    return false;
  }
  return true;
}
