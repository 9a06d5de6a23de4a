// Fuzz target: whole chart files. Reads everything a chart reader reads (header, texts,
// extension, datum shift, online source, outline) and decodes up to 64 tiles; every offset and
// count comes from the input and must be checked against its size. Inputs shorter than the
// 0x45A0-byte header only exercise the prefix: run with -max_len of 70000 or so.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "charts/qct_file_view.h"
#include "charts/tile_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QctFileView view(std::span<const uint8_t>(data, size));
  uint32_t magic, version;
  if (!view.ReadPrefix(magic, version)) return 0;
  QuickChartHeader header;
  if (!view.ReadHeader(header)) return 0;
  for (QctTextField field : {kQctTitle, kQctName, kQctIdentifier, kQctEdition, kQctUpdate,
                             kQctDescription, kQctCopyright, kQctScale, kQctDatum,
                             kQctDepthUnits, kQctHeightUnits, kQctProjection, kQctOriginalName}) {
    (void)view.HeaderText(header, field);
  }
  (void)view.ReadOutline(header);
  (void)view.FirstIndexEntry();
  if (const std::optional<QuickChartExtension> extension = view.ReadExtension(header)) {
    (void)view.Text(extension->map_type);
    (void)view.Text(extension->disk_label);
    (void)view.Text(extension->aux_text);
    (void)view.ReadDatumShift(*extension);
    if (const std::optional<QctOnlineSource> source = view.ReadOnlineSource(*extension)) {
      (void)view.Text(source->address);
    }
  }
  if (!view.HoldsTileIndex(header)) return 0;
  std::array<uint8_t, kTilePixels> out;
  const int tiles = int(std::min<int64_t>(int64_t(header.width) * header.height, 64));
  for (int i = 0; i < tiles; ++i) {
    const QctFileView::Tile tile = view.TileAt(header, i % header.width, i / header.width);
    (void)DecodeTile(tile.bytes, out, kTileSide >> (i % 7));
    (void)TileEncodedSize(tile.bytes, tile.offset);
  }
  return 0;
}
