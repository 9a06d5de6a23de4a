#include "charts/qct_file_view.h"

#include <algorithm>
#include <cstring>

#include "platform/os/codepage.h"
#include "platform/os/files.h"

namespace {

constexpr uint64_t kTiledSlack = 8;  // a tiled file holds 8 bytes beyond its index

}  // namespace

bool QctFileView::ReadPrefix(uint32_t& magic, uint32_t& version) const {
  if (bytes_.size() < 8) return false;
  std::memcpy(&magic, bytes_.data(), 4);
  std::memcpy(&version, bytes_.data() + 4, 4);
  return true;
}

bool QctFileView::ReadHeader(QuickChartHeader& out) const { return out.FromBytes(bytes_); }

std::optional<uint64_t> QctFileView::RequiredTiledSize(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return std::nullopt;
  // Below 2^31 each, so the product fits easily in 64 bits.
  return kQctHeaderSize + 4 * uint64_t(width) * uint64_t(height) + kTiledSlack;
}

bool QctFileView::HoldsTileIndex(const QuickChartHeader& header) const {
  const std::optional<uint64_t> required = RequiredTiledSize(header.width, header.height);
  return required && *required <= bytes_.size();
}

std::string QctFileView::Text(uint32_t offset) const {
  const std::span<const uint8_t> rest = From(offset);
  if (offset == 0 || rest.empty()) return {};
  const auto end = std::find(rest.begin(), rest.end(), uint8_t{0});
  return vd::os::Cp1252ToUtf8(
      std::string_view(reinterpret_cast<const char*>(rest.data()), size_t(end - rest.begin())));
}

std::string QctFileView::HeaderText(const QuickChartHeader& header, QctTextField field) const {
  return Text(header.TextOffset(field));
}

std::optional<QuickChartExtension> QctFileView::ReadExtension(
    const QuickChartHeader& header) const {
  const std::span<const uint8_t> rest = From(header.extension);
  if (header.extension == 0 || rest.size() < kQctExtensionSize) return std::nullopt;
  QuickChartExtension extension;
  std::memcpy(static_cast<void*>(&extension), rest.data(), kQctExtensionSize);
  return extension;
}

std::optional<QctDatumShift> QctFileView::ReadDatumShift(
    const QuickChartExtension& extension) const {
  const std::span<const uint8_t> rest = From(extension.datum_shift);
  if (extension.datum_shift == 0 || rest.size() < sizeof(QctDatumShift)) return std::nullopt;
  QctDatumShift shift;
  std::memcpy(&shift, rest.data(), sizeof shift);
  return shift;
}

std::optional<QctOnlineSource> QctFileView::ReadOnlineSource(
    const QuickChartExtension& extension) const {
  const std::span<const uint8_t> rest = From(extension.online_source);
  if (extension.online_source == 0 || rest.size() < 4) return std::nullopt;
  uint32_t size;
  std::memcpy(&size, rest.data(), 4);
  const size_t kept = std::min<size_t>(size, sizeof(QctOnlineSource));
  if (rest.size() < kept) return std::nullopt;
  uint8_t block[sizeof(QctOnlineSource)] = {};
  std::memcpy(block, rest.data(), kept);
  QctOnlineSource source;
  std::memcpy(&source, block, sizeof source);
  return source;
}

std::optional<std::vector<GeoPoint>> QctFileView::ReadOutline(
    const QuickChartHeader& header) const {
  if (header.outline_count <= 0) return std::vector<GeoPoint>();
  const std::span<const uint8_t> rest = From(header.outline);
  const uint64_t length = uint64_t(header.outline_count) * sizeof(GeoPoint);
  if (header.outline == 0 || rest.size() < length) return std::nullopt;
  std::vector<GeoPoint> points(size_t(header.outline_count));
  std::memcpy(points.data(), rest.data(), length);
  return points;
}

std::optional<uint32_t> QctFileView::FirstIndexEntry() const {
  if (bytes_.size() < kQctHeaderSize + 4) return std::nullopt;
  uint32_t entry;
  std::memcpy(&entry, bytes_.data() + kQctHeaderSize, 4);
  return entry;
}

QctFileView::Tile QctFileView::TileAt(const QuickChartHeader& header, int col, int row) const {
  if (col < 0 || row < 0 || col >= header.width || row >= header.height ||
      !HasQctTileIndexLayout(header.version) || !HoldsTileIndex(header)) {
    return {};
  }
  uint32_t offset;
  const uint64_t entry = uint64_t(row) * uint64_t(header.width) + uint64_t(col);
  std::memcpy(&offset, bytes_.data() + kQctHeaderSize + 4 * entry, 4);
  if (offset == 0) return {};
  return {From(offset), offset};
}

int64_t QctFileView::CountTilesPastEnd(const QuickChartHeader& header) const {
  if (!HasQctTileIndexLayout(header.version) || !HoldsTileIndex(header)) return 0;
  const uint64_t tiles = uint64_t(header.width) * uint64_t(header.height);
  int64_t past = 0;
  for (uint64_t entry = 0; entry < tiles; ++entry) {
    uint32_t offset;
    std::memcpy(&offset, bytes_.data() + kQctHeaderSize + 4 * entry, 4);
    past += offset != 0 && offset >= bytes_.size();
  }
  return past;
}

std::span<const uint8_t> QctFileView::From(uint64_t offset) const {
  if (offset >= bytes_.size()) return {};
  return bytes_.subspan(size_t(offset));
}

bool IsTiledChartWithTiles(const std::string& path) {
  vd::os::MappedFile mapping;
  if (!mapping.Open(path)) return false;
  const QctFileView file(std::span<const uint8_t>(mapping.data(), mapping.size()));
  uint32_t magic = 0, version = 0;
  QuickChartHeader header;
  return file.ReadPrefix(magic, version) && IsQctMagic(magic) &&
         ClassifyQctVersion(version) == QctVersionKind::kTiled && file.ReadHeader(header) &&
         file.HoldsTileIndex(header) && file.FirstIndexEntry().value_or(0) != 0;
}
