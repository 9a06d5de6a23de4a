#include "charts/chart_outline_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;

// The default fixture: 128 x 128 pixels, one arc-second each, top left at 50N 5W.
constexpr double kDegreesPerPixel = 1.0 / 3600.0;
constexpr double kNorth = 50.0;
constexpr double kWest = -5.0;
constexpr double kSide = 128 * kDegreesPerPixel;

class ChartOutlineTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const ChartFixture& chart) {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    return path;
  }
  static ChartFixture WithScale(double degrees_per_pixel) {
    ChartFixture chart;
    chart.georef = ChartFixture::LinearGeoref(kNorth, kWest, degrees_per_pixel);
    return chart;
  }
  static void PatchU32(const std::string& path, uint64_t offset, uint32_t value) {
    vd::os::File file;
    ASSERT_TRUE(file.Open(path, vd::os::File::Mode::ReadWrite));
    ASSERT_TRUE(file.PWrite(&value, sizeof value, offset));
  }
  static uint32_t ReadU32(const std::string& path, uint64_t offset) {
    vd::os::File file;
    uint32_t value = 0;
    EXPECT_TRUE(file.Open(path, vd::os::File::Mode::Read));
    EXPECT_EQ(file.PRead(&value, sizeof value, offset), int64_t(sizeof value));
    return value;
  }

  vd::test::TempDir dir_;
};

TEST_F(ChartOutlineTest, HeaderFieldsAndCornerOutlineOfATiledChart) {
  ChartFixture chart;
  chart.texts = {{kQctName, "Bay North"}, {kQctEdition, "Ed. 3"}, {kQctUpdate, "5/12/2014"}};
  chart.flags = 0x51;
  chart.map_type = "Topo";
  const std::string path = Write("a.qct", chart);

  CChartOutline outline;
  ASSERT_TRUE(outline.ReadHeader(path));
  EXPECT_EQ(outline.path(), path);
  EXPECT_EQ(outline.name, "Bay North");
  EXPECT_EQ(outline.map_type, "Topo");
  EXPECT_EQ(outline.header_flags, 0x51u);
  EXPECT_FALSE(outline.chunk_store);
  EXPECT_EQ(outline.edition_date, 20140512);
  EXPECT_NEAR(outline.scale, 60 * kDegreesPerPixel, 1e-12);
  EXPECT_NEAR(outline.max_lat, kNorth, 1e-9);
  EXPECT_NEAR(outline.min_lat, kNorth - kSide, 1e-9);
  EXPECT_NEAR(outline.min_lon, kWest, 1e-9);
  EXPECT_NEAR(outline.max_lon, kWest + kSide, 1e-9);
  // The corners are the outline at once.
  ASSERT_EQ(outline.points.size(), 4u);
  EXPECT_TRUE(outline.ContainsPoint(kNorth - kSide / 2, kWest + kSide / 2));
  EXPECT_FALSE(outline.ContainsPoint(kNorth + 0.001, kWest + kSide / 2));
  EXPECT_FALSE(outline.ContainsPoint(kNorth - kSide / 2, kWest - 0.001));
}

TEST_F(ChartOutlineTest, EditionDateComesFromTheUpdateOnlyWhenItEndsInAYear) {
  struct Case {
    const char* update;
    const char* edition;
    int32_t expected;
  };
  const Case cases[] = {
      {"5/12/2014", "Ed. 7", 20140512},
      {"2014", "Ed. 7", 7},
      {"", "12/25/2009", 20091225},
      {"Rev 2014-03", "2009-12-25", 20091225},  // no '/' five from the end
  };
  for (const Case& c : cases) {
    ChartFixture chart;
    chart.texts = {{kQctEdition, c.edition}};
    if (*c.update) chart.texts.push_back({kQctUpdate, c.update});
    CChartOutline outline;
    ASSERT_TRUE(outline.ReadHeader(Write("d.qct", chart))) << c.update;
    EXPECT_EQ(outline.edition_date, c.expected) << c.update << " | " << c.edition;
  }
}

TEST_F(ChartOutlineTest, NameFallsBackToThePathAndChunkStoreVersionsAreMarked) {
  ChartFixture chart;
  chart.version = 0x01000002;
  const std::string path = Write("c.qct", chart);
  CChartOutline outline;
  ASSERT_TRUE(outline.ReadHeader(path));
  EXPECT_EQ(outline.name, path);
  EXPECT_TRUE(outline.chunk_store);
}

TEST_F(ChartOutlineTest, StoredOutlineIsShiftedWrappedAndLoadedOnlyWhenTested) {
  // A chart across the antimeridian: its stored points use longitudes past 180 on either side.
  ChartFixture chart;
  chart.georef = ChartFixture::LinearGeoref(10.0, 179.99, kDegreesPerPixel);
  chart.datum_shift = QctDatumShift{0.001, -0.002};
  const double s = kSide;
  // A triangle in the chart's datum; its east corner is stored as -179.97..., i.e. past 180.
  chart.outline = {{10.0, 179.99}, {10.0, 179.99 + s - 360}, {10.0 - s, 179.99}};
  const std::string path = Write("o.qct", chart);

  CChartOutline outline;
  ASSERT_TRUE(outline.ReadHeader(path));
  EXPECT_TRUE(outline.points.empty());
  EXPECT_NEAR(outline.min_lon, 179.99 - 0.002, 1e-9);
  EXPECT_NEAR(outline.max_lon, 179.99 + s - 0.002, 1e-9);
  EXPECT_NEAR(outline.max_lat, 10.001, 1e-9);
  EXPECT_NEAR(outline.min_lat, 10.001 - s, 1e-9);

  // Inside the box but across the triangle's long side: out, and the points are now there.
  EXPECT_FALSE(outline.ContainsPoint(10.001 - 0.9 * s, 179.99 - 0.002 + 0.9 * s));
  ASSERT_EQ(outline.points.size(), 3u);
  EXPECT_TRUE(outline.ContainsPoint(10.001 - 0.2 * s, 179.99 - 0.002 + 0.2 * s));
  EXPECT_NEAR(outline.points[1].lon, 179.99 + s - 0.002, 1e-9);
}

TEST_F(ChartOutlineTest, DamagedOrForeignFilesGiveNoRecord) {
  const auto last_tile_entry = [](const ChartFixture& c) {
    return uint64_t(0x459C) + 4 * uint64_t(c.width) * uint64_t(c.height);
  };
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> damage;
  };
  const Case cases[] = {
      {"shorter than a header", [](const std::string& p) { std::filesystem::resize_file(p, 0x45A7); }},
      {"wrong magic", [](const std::string& p) { PatchU32(p, 0, 0x1423D5FD); }},
      {"later version", [](const std::string& p) { PatchU32(p, 4, 6); }},
      {"unreadable chunk-store kind", [](const std::string& p) { PatchU32(p, 4, 0x10000002); }},
      {"zero width", [](const std::string& p) { PatchU32(p, 8, 0); }},
      {"name past the end", [](const std::string& p) { PatchU32(p, 0x14, 0x7FFFFFF0); }},
      {"outline past the end", [](const std::string& p) { PatchU32(p, 0x58, 0x10000000); }},
      {"extension past the end", [](const std::string& p) { PatchU32(p, 0x54, 0x7FFFFFF0); }},
      {"last tile cut off",
       [&](const std::string& p) {
         std::filesystem::resize_file(p, ReadU32(p, last_tile_entry(ChartFixture())));
       }},
  };
  for (const Case& c : cases) {
    ChartFixture chart;
    chart.map_type = "Topo";
    chart.outline = {{50, -5}, {50, -4.99}, {49.99, -5}};
    const std::string path = Write("bad.qct", chart);
    c.damage(path);
    CChartOutline outline;
    EXPECT_FALSE(outline.ReadHeader(path)) << c.what;
    EXPECT_EQ(outline.scale, 0) << c.what;
    ChartCatalogue catalogue;
    EXPECT_EQ(catalogue.FindOrAdd(path), nullptr) << c.what;
    EXPECT_TRUE(catalogue.charts().empty()) << c.what;
  }
  ChartCatalogue catalogue;
  EXPECT_EQ(catalogue.FindOrAdd(dir_.File("missing.qct")), nullptr);
}

TEST_F(ChartOutlineTest, CatalogueOrdersByScaleAndKeepsEqualScalesInArrivalOrder) {
  ChartCatalogue catalogue;
  const std::string coarse = Write("coarse.qct", WithScale(4 * kDegreesPerPixel));
  const std::string first = Write("first.qct", WithScale(kDegreesPerPixel));
  const std::string second = Write("second.qct", WithScale(kDegreesPerPixel));
  const std::string fine = Write("fine.qct", WithScale(kDegreesPerPixel / 2));
  CChartOutline* coarse_record = catalogue.FindOrAdd(coarse);
  ASSERT_NE(coarse_record, nullptr);
  for (const std::string& p : {first, second, fine}) ASSERT_NE(catalogue.FindOrAdd(p), nullptr);
  EXPECT_EQ(catalogue.FindOrAdd(coarse), coarse_record);  // found, not read again

  std::vector<std::string> order;
  for (const auto& [scale, record] : catalogue.charts()) order.push_back(record->path());
  EXPECT_EQ(order, (std::vector<std::string>{fine, first, second, coarse}));

  // Removing goes by identity; the open chart is forgotten with its record.
  CChartOutline stranger;
  catalogue.Remove(&stranger);
  EXPECT_EQ(catalogue.charts().size(), 4u);
  catalogue.SetOpenChart(coarse_record);
  catalogue.Remove(coarse_record);
  EXPECT_EQ(catalogue.open_chart(), nullptr);
  EXPECT_EQ(catalogue.Find(coarse), nullptr);
  EXPECT_NE(catalogue.Find(second), nullptr);
}

// Settings in a folder of the test's own; the records put back afterwards.
class MapTypeSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_config_ = vd::os::GetEnv("XDG_CONFIG_HOME");
    ASSERT_TRUE(vd::os::SetEnv("XDG_CONFIG_HOME", dir_.path()));
    PersistantData::SetBaseName("catalogue");
  }
  void TearDown() override {
    PersistantData::SetBaseName("");
    types().show = CSelectMapTypes::Persistant::DefaultShow();
    types().types_hint = types().show_old_maps = false;
    types().KVX_storage_option = 1;
    sort().sort_by = 1;
    if (saved_config_) {
      vd::os::SetEnv("XDG_CONFIG_HOME", *saved_config_);
    } else {
      vd::os::UnsetEnv("XDG_CONFIG_HOME");
    }
  }
  static CSelectMapTypes::Persistant& types() { return CSelectMapTypes::Settings(); }
  static CChartOutline::CSortedPointer::Persistant& sort() {
    return CChartOutline::CSortedPointer::Settings();
  }
  static void SaveBoth() {
    types().MarkDirty();
    sort().MarkDirty();
    ASSERT_TRUE(PersistantData::SaveAll());
  }

  vd::test::TempDir dir_;
  std::optional<std::string> saved_config_;
};

TEST_F(MapTypeSettingsTest, ValuesComeBackExactly) {
  types().show = {"Marine", "Topo", "Street Maps"};
  types().types_hint = true;
  types().show_old_maps = true;
  types().KVX_storage_option = -2;
  sort().sort_by = 2;
  SaveBoth();

  types().show = {"x"};
  types().types_hint = types().show_old_maps = false;
  types().KVX_storage_option = 1;
  sort().sort_by = 1;
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(types().show, (std::set<std::string>{"Marine", "Street Maps", "Topo"}));
  EXPECT_TRUE(types().types_hint);
  EXPECT_TRUE(types().show_old_maps);
  EXPECT_EQ(types().KVX_storage_option, -2);
  EXPECT_EQ(sort().sort_by, 2);
}

TEST_F(MapTypeSettingsTest, AnEmptyShowSetIsWrittenEmptyAndReadAsTheDefaults) {
  types().show.clear();
  SaveBoth();
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(PersistantData::SettingsFilePath(), text));
  EXPECT_EQ(text.find("Topo"), std::string::npos);

  types().show = {"Marine"};
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_EQ(types().show, (std::set<std::string>{"4WD", "Basemap", "Topo"}));
}

}  // namespace
