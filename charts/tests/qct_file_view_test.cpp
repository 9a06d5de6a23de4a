#include "charts/qct_file_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "charts/tile_codec.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;

std::vector<uint8_t> WriteAndRead(const ChartFixture& chart, const vd::test::TempDir& dir) {
  const std::string path = dir.File("chart.qct");
  EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes));
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

TEST(QctFileViewTest, ReadsBackEveryPartTheWriterWrote) {
  vd::test::TempDir dir;
  ChartFixture chart;
  chart.width = 3;
  chart.height = 2;
  chart.version = 3;
  chart.texts = {{kQctTitle, "Chart of the Bay"},
                 {kQctName, "Bay"},
                 {kQctCopyright, "\xC2\xA9 2024 H\xC3\xB6he"},  // (c) 2024 Hoehe, in UTF-8
                 {kQctDepthUnits, "Metres"},
                 {kQctOriginalName, "/charts/bay.qct"}};
  chart.flags = 0x44;
  chart.original_size = 123456;
  chart.original_time = 1700000000;
  chart.map_type = "Nautical chart";
  chart.disk_label = "CHARTS1";
  chart.aux_text = "aux";
  chart.datum_shift = QctDatumShift{0.001, -0.002};
  chart.online_address = "https://chunks.invalid/bay";
  chart.outline = {{50.0, -5.0}, {49.9, -4.9}, {49.95, -5.05}};
  const std::vector<uint8_t> bytes = WriteAndRead(chart, dir);
  const QctFileView view(bytes);

  QuickChartHeader header;
  ASSERT_TRUE(view.ReadHeader(header));
  EXPECT_EQ(kQctMagic, header.magic);
  EXPECT_EQ(3u, header.version);
  EXPECT_EQ(3, header.width);
  EXPECT_EQ(2, header.height);
  EXPECT_EQ(0x44u, header.flags);
  EXPECT_EQ(123456u, header.original_size);
  EXPECT_EQ(1700000000u, header.original_time);
  EXPECT_EQ(chart.palette, header.palette);
  EXPECT_EQ(chart.blend, header.blend);
  EXPECT_EQ(chart.georef.inverse.first, header.georef.inverse.first);
  EXPECT_TRUE(header.HasGeoreference());
  ASSERT_TRUE(view.HoldsTileIndex(header));

  for (const auto& [field, text] : chart.texts) EXPECT_EQ(text, view.HeaderText(header, field));
  EXPECT_EQ("", view.HeaderText(header, kQctEdition));
  // Texts are stored in Windows-1252.
  const std::string stored(bytes.begin(), bytes.end());
  EXPECT_NE(std::string::npos, stored.find(std::string("\xA9 2024 H\xF6he\0", 12)));

  const std::optional<QuickChartExtension> extension = view.ReadExtension(header);
  ASSERT_TRUE(extension);
  EXPECT_EQ("Nautical chart", view.Text(extension->map_type));
  EXPECT_EQ("CHARTS1", view.Text(extension->disk_label));
  EXPECT_EQ("aux", view.Text(extension->aux_text));
  const std::optional<QctDatumShift> shift = view.ReadDatumShift(*extension);
  ASSERT_TRUE(shift);
  EXPECT_EQ(0.001, shift->lat);
  EXPECT_EQ(-0.002, shift->lon);
  EXPECT_EQ(0u, extension->datum_shift % 8);
  const std::optional<QctOnlineSource> source = view.ReadOnlineSource(*extension);
  ASSERT_TRUE(source);
  EXPECT_EQ(8u, source->size);
  EXPECT_EQ("https://chunks.invalid/bay", view.Text(source->address));

  const std::optional<std::vector<GeoPoint>> outline = view.ReadOutline(header);
  ASSERT_TRUE(outline);
  ASSERT_EQ(3u, outline->size());
  EXPECT_EQ(49.95, (*outline)[2].lat);
  EXPECT_EQ(-5.05, (*outline)[2].lon);
  EXPECT_EQ(0u, header.outline % 8);
  EXPECT_EQ(0u, bytes.size() % 4);

  // Every tile decodes to its part of the image, rows in stored order.
  for (int row = 0; row < chart.height; ++row) {
    for (int col = 0; col < chart.width; ++col) {
      const QctFileView::Tile tile = view.TileAt(header, col, row);
      ASSERT_FALSE(tile.bytes.empty());
      std::array<uint8_t, kTilePixels> stored_rows, image_rows;
      ASSERT_TRUE(DecodeTile(tile.bytes, stored_rows));
      ReorderTileRows(stored_rows, image_rows);
      for (int y = 0; y < kTileSide; ++y) {
        for (int x = 0; x < kTileSide; ++x) {
          ASSERT_EQ(vd::test::FixturePixel(chart, col * 64 + x, row * 64 + y), image_rows[size_t(y * 64 + x)])
              << col << "," << row << " pixel " << x << "," << y;
        }
      }
      EXPECT_NE(0u, TileEncodedSize(tile.bytes, tile.offset));
    }
  }
}

TEST(QctFileViewTest, OneTileChartAndTheSizeRule) {
  vd::test::TempDir dir;
  ChartFixture chart;
  chart.width = 1;
  chart.height = 1;
  chart.magic = kQctMagicAccepted;
  std::vector<uint8_t> bytes = WriteAndRead(chart, dir);
  QctFileView view(bytes);
  uint32_t magic = 0, version = 0;
  ASSERT_TRUE(view.ReadPrefix(magic, version));
  EXPECT_TRUE(IsQctMagic(magic));
  QuickChartHeader header;
  ASSERT_TRUE(view.ReadHeader(header));
  uint32_t entry;
  std::memcpy(&entry, bytes.data() + 0x45A0, 4);
  EXPECT_EQ(entry, view.TileAt(header, 0, 0).offset);
  EXPECT_EQ(entry, view.FirstIndexEntry());

  // A 20 x 20-tile file needs 0x45A8 + 1600 bytes.
  header.width = header.height = 20;
  std::vector<uint8_t> exact(0x45A8 + 1600);
  EXPECT_TRUE(QctFileView(exact).HoldsTileIndex(header));
  EXPECT_FALSE(QctFileView(std::span(exact).first(exact.size() - 1)).HoldsTileIndex(header));
  const struct {
    int32_t width, height;
  } refused[] = {{-1, 1}, {1, -1}, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}, {INT32_MAX, 1}};
  for (const auto& r : refused) {
    header.width = r.width;
    header.height = r.height;
    EXPECT_FALSE(QctFileView(exact).HoldsTileIndex(header)) << r.width << " x " << r.height;
    EXPECT_TRUE(QctFileView(exact).TileAt(header, 0, 0).bytes.empty());
  }
  EXPECT_FALSE(QctFileView::RequiredTiledSize(-1, 0));
  EXPECT_EQ(0x45A8u + 4u * 0x7FFFFFFFull * 0x7FFFFFFFull,
            QctFileView::RequiredTiledSize(INT32_MAX, INT32_MAX));
}

TEST(QctFileViewTest, TextsOutlineAndBlocksStayInsideTheFile) {
  vd::test::TempDir dir;
  ChartFixture chart;
  chart.texts = {{kQctTitle, "Title"}};
  chart.datum_shift = QctDatumShift{1.0, 2.0};
  chart.online_address = "x";
  chart.outline = {{1, 2}};
  std::vector<uint8_t> bytes = WriteAndRead(chart, dir);
  QuickChartHeader header;
  ASSERT_TRUE(QctFileView(bytes).ReadHeader(header));
  const QuickChartExtension extension = *QctFileView(bytes).ReadExtension(header);

  // Texts: 0 and a zero byte read empty; past the end reads empty; no terminator: to the end.
  bytes.push_back(0);
  bytes.insert(bytes.end(), {'e', 'n', 'd'});
  QctFileView view(bytes);
  EXPECT_EQ("", view.Text(0));
  EXPECT_EQ("", view.Text(uint32_t(bytes.size() - 4)));
  EXPECT_EQ("end", view.Text(uint32_t(bytes.size() - 3)));
  EXPECT_EQ("", view.Text(uint32_t(bytes.size())));
  EXPECT_EQ("", view.Text(0xFFFFFFFF));

  // An outline count of 0 with an offset is no outline; a count reaching past the end is refused.
  QuickChartHeader patched = header;
  patched.outline_count = 0;
  EXPECT_EQ(0u, view.ReadOutline(patched)->size());
  patched.outline_count = -3;
  EXPECT_EQ(0u, view.ReadOutline(patched)->size());
  patched.outline_count = INT32_MAX;
  EXPECT_FALSE(view.ReadOutline(patched));
  patched.outline_count = 1;
  patched.outline = uint32_t(bytes.size() - 15);
  EXPECT_FALSE(view.ReadOutline(patched));

  // Blocks cut by the end of the file.
  patched = header;
  patched.extension = uint32_t(bytes.size() - 31);
  EXPECT_FALSE(view.ReadExtension(patched));
  QuickChartExtension moved = extension;
  moved.datum_shift = uint32_t(bytes.size() - 15);
  EXPECT_FALSE(view.ReadDatumShift(moved));
  moved.datum_shift = 0;
  EXPECT_FALSE(view.ReadDatumShift(moved));

  // The online-source block: only min(n, 8) bytes are kept, and they must be present.
  Put32(bytes, extension.online_source, 4);
  EXPECT_EQ(0u, QctFileView(bytes).ReadOnlineSource(extension)->address);
  Put32(bytes, extension.online_source, 1000);
  EXPECT_NE(0u, QctFileView(bytes).ReadOnlineSource(extension)->address);
  std::vector<uint8_t> cut(bytes.begin(), bytes.end());
  Put32(cut, cut.size() - 4, 8);
  moved = extension;
  moved.online_source = uint32_t(cut.size() - 4);
  EXPECT_FALSE(QctFileView(cut).ReadOnlineSource(moved));
}

TEST(QctFileViewTest, UnreachableTilesGiveNoBytes) {
  vd::test::TempDir dir;
  ChartFixture chart;
  std::vector<uint8_t> bytes = WriteAndRead(chart, dir);
  QuickChartHeader header;
  ASSERT_TRUE(QctFileView(bytes).ReadHeader(header));
  Put32(bytes, kQctHeaderSize + 4 * 1, uint32_t(bytes.size()));  // (1, 0): at the end
  Put32(bytes, kQctHeaderSize + 4 * 2, 0xFFFFFFF0);               // (0, 1): far past it
  Put32(bytes, kQctHeaderSize + 4 * 3, 0);                        // (1, 1): no tile
  const QctFileView view(bytes);
  EXPECT_FALSE(view.TileAt(header, 0, 0).bytes.empty());
  EXPECT_TRUE(view.TileAt(header, 1, 0).bytes.empty());
  EXPECT_TRUE(view.TileAt(header, 0, 1).bytes.empty());
  EXPECT_TRUE(view.TileAt(header, 1, 1).bytes.empty());
  EXPECT_TRUE(view.TileAt(header, -1, 0).bytes.empty());
  EXPECT_TRUE(view.TileAt(header, 0, 2).bytes.empty());
  // A tile whose bytes end with the file can't be decoded past them.
  const QctFileView::Tile last = view.TileAt(header, 0, 0);
  std::array<uint8_t, kTilePixels> out;
  EXPECT_TRUE(DecodeTile(last.bytes, out));
  EXPECT_FALSE(DecodeTile(last.bytes.first(3), out));

  // Chunk-store charts have no tile index.
  header.version = 0x20000001;
  EXPECT_TRUE(view.TileAt(header, 0, 0).bytes.empty());
  // A reference file: first entry 0.
  chart.reference = true;
  const std::vector<uint8_t> reference = WriteAndRead(chart, dir);
  EXPECT_EQ(0u, QctFileView(reference).FirstIndexEntry());
  EXPECT_TRUE(QctFileView(reference).HoldsTileIndex(header));
  EXPECT_FALSE(QctFileView(std::span(reference).first(0x45A3)).FirstIndexEntry());
}

}  // namespace
