#include "viewer_lib/chart_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/listener.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;

constexpr double kDegreesPerPixel = 1.0 / 3600.0;

// Charts of 128 x 128 pixels with their top left corner at (north, west).
class ChartCatalogueTest : public ::testing::Test {
 protected:
  ChartCatalogueTest() {
    for (const char* sub : {"/docs", "/data/cache", "/charts", "/extra/deep"}) {
      EXPECT_TRUE(vd::os::MakeFolders(dir_.path() + sub));
    }
    folders_ = {dir_.File("docs"), dir_.File("data"), dir_.File("charts")};
  }
  std::string Chart(const std::string& relative, double degrees_per_pixel, double north = 50,
                    double west = -5, const std::string& map_type = "Topo") {
    ChartFixture chart;
    chart.georef = ChartFixture::LinearGeoref(north, west, degrees_per_pixel);
    chart.map_type = map_type;
    chart.texts = {{kQctName, relative}};
    const std::string path = dir_.File(relative);
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    return path;
  }
  static std::vector<std::string> Names(const std::vector<CChartOutline*>& records) {
    std::vector<std::string> names;
    for (const CChartOutline* r : records) names.push_back(r ? r->name : "(none)");
    return names;
  }
  std::string FolderList() const {
    std::string text;
    vd::os::ReadWholeFile(dir_.File("docs/map_folders.txt"), text);
    return text;
  }

  vd::test::TempDir dir_;
  ChartCatalogueFolders folders_;
};

// Counts rescans.
struct RescanWatcher : Listener<ChartFolderCatalogue> {
  int rescans = 0;
  void OnEvent(ChartFolderCatalogue&) override { ++rescans; }
};

TEST_F(ChartCatalogueTest, ScansRootsListedFoldersAndDefaultFolderRecursively) {
  Chart("docs/a.qct", kDegreesPerPixel);
  Chart("data/cache/b.QCT", 2 * kDegreesPerPixel);
  Chart("charts/c.qct", 4 * kDegreesPerPixel);
  Chart("extra/deep/d.qct", kDegreesPerPixel / 2);
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir_.File("charts/junk.qct"), "not a chart"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir_.File("docs/map_folders.txt"),
                                         "\n" + dir_.File("extra") + "\n/no/such/folder\n"));

  ChartFolderCatalogue catalogue(folders_);
  std::vector<CChartOutline*> at;
  catalogue.ChartsAt(49.99, -4.99, at);
  // Each chart once although data/cache is both a root and a subfolder of a root.
  EXPECT_EQ(Names(at), (std::vector<std::string>{"extra/deep/d.qct", "docs/a.qct",
                                                 "data/cache/b.QCT", "charts/c.qct"}));
  at.clear();
  catalogue.ChartsAt(49.95, -4.95, at);  // beyond the two most detailed charts
  EXPECT_EQ(Names(at), (std::vector<std::string>{"data/cache/b.QCT", "charts/c.qct"}));
}

TEST_F(ChartCatalogueTest, AddMapFolderWritesEachFolderOnceAndRescanFindsItsCharts) {
  ChartFolderCatalogue catalogue(folders_);
  RescanWatcher watcher;
  EXPECT_TRUE(catalogue.charts().empty());
  Chart("extra/deep/d.qct", kDegreesPerPixel);
  catalogue.AddMapFolder(dir_.File("extra"));
  catalogue.AddMapFolder(dir_.File("extra"));
  catalogue.AddMapFolder(dir_.File("not-there"));  // listed, never registered
  EXPECT_EQ(FolderList(), "\n" + dir_.File("extra") + "\n" + dir_.File("not-there"));

  catalogue.MarkFolderChanged(dir_.File("extra"));
  catalogue.RescanIfChanged();
  EXPECT_EQ(watcher.rescans, 1);
  EXPECT_EQ(catalogue.charts().size(), 1u);
  catalogue.RescanIfChanged();  // markers were cleared
  EXPECT_EQ(watcher.rescans, 1);

  // A new catalogue reads the folder back from the list.
  ChartFolderCatalogue again(folders_);
  EXPECT_NE(again.Find(dir_.File("extra/deep/d.qct")), nullptr);
}

TEST_F(ChartCatalogueTest, BestScaleSteppingAndTheKeyFilter) {
  Chart("charts/fine.qct", kDegreesPerPixel);
  Chart("charts/same.qct", kDegreesPerPixel);  // equal scale: after fine.qct
  Chart("charts/marine.qct", 2 * kDegreesPerPixel, 50, -5, "Marine");
  Chart("charts/coarse.qct", 8 * kDegreesPerPixel);
  Chart("charts/elsewhere.qct", 3 * kDegreesPerPixel, 10, 10);
  ChartFolderCatalogue catalogue(folders_);
  catalogue.keys = {"Topo"};
  const double lat = 49.99, lon = -4.99;
  const double fine = 60 * kDegreesPerPixel;

  struct Case {
    double wanted;
    bool include_filtered;
    const char* expected;
  };
  const Case cases[] = {
      {0, false, "charts/fine.qct"},              // the most detailed; the earlier of equals
      {fine * 2.2, false, "charts/fine.qct"},     // 1/2.2 beats 2.2/8
      {fine * 2.2, true, "charts/marine.qct"},    // 2/2.2 once filtered charts count
      {fine * 5, false, "charts/coarse.qct"},     // 5/8 beats 1/5
      {fine * 100, false, "charts/coarse.qct"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Names({catalogue.FindBestScaleChart(lat, lon, c.wanted, c.include_filtered)})[0],
              c.expected)
        << c.wanted << " " << c.include_filtered;
  }
  // Only a filtered chart at the position: the second pass finds it.
  catalogue.keys = {"Marine"};
  EXPECT_EQ(catalogue.FindBestScaleChart(lat, lon, fine, false)->name, "charts/marine.qct");
  EXPECT_EQ(catalogue.FindBestScaleChart(40, 40, fine, true), nullptr);

  catalogue.keys = {"Topo"};
  EXPECT_EQ(catalogue.NextChartAt(lat, lon), nullptr);  // no open chart
  catalogue.SetOpenChart(catalogue.Find(dir_.File("charts/fine.qct")));
  std::vector<CChartOutline*> forwards;
  for (CChartOutline* r = catalogue.NextChartAt(lat, lon); r; r = catalogue.NextChartAt(lat, lon)) {
    forwards.push_back(r);
    catalogue.SetOpenChart(r);
  }
  // The Marine chart fails the filter, the chart elsewhere is not at the position.
  EXPECT_EQ(Names(forwards), (std::vector<std::string>{"charts/same.qct", "charts/coarse.qct"}));
  EXPECT_EQ(catalogue.PrevChartAt(lat, lon)->name, "charts/same.qct");

  // A rescan finds the open chart again by its path.
  catalogue.Rescan();
  ASSERT_NE(catalogue.open_chart(), nullptr);
  EXPECT_EQ(catalogue.open_chart()->name, "charts/coarse.qct");
}

TEST_F(ChartCatalogueTest, ListOrderBoxOverlapFilteringAndDeletion) {
  const std::string near_path = Chart("charts/b-near.qct", 2 * kDegreesPerPixel, 50, -5);
  Chart("charts/a-far.qct", kDegreesPerPixel, 30, -5);
  Chart("charts/c-here.qct", 4 * kDegreesPerPixel, 60, 20);
  ChartFolderCatalogue catalogue(folders_);
  std::vector<CChartOutline*> list;
  for (auto& [scale, record] : catalogue.charts()) list.push_back(record.get());

  const auto sorted = [&list](const ChartListOrder& order) {
    std::vector<CChartOutline*> copy = list;
    std::stable_sort(copy.begin(), copy.end(),
                     [&order](CChartOutline* a, CChartOutline* b) { return order.Before(*a, *b); });
    return Names(copy);
  };
  const std::vector<std::string> by_scale = {"charts/a-far.qct", "charts/b-near.qct",
                                             "charts/c-here.qct"};
  EXPECT_EQ(sorted({0, {}}), by_scale);
  EXPECT_EQ(sorted({1, {}}), by_scale);
  EXPECT_EQ(sorted({2, {}}), by_scale);
  EXPECT_EQ(sorted({2, ChartListOrder::Reference{59.99, 20.01, 60, 30}}),
            (std::vector<std::string>{"charts/c-here.qct", "charts/b-near.qct",
                                      "charts/a-far.qct"}));

  CChartOutline& near = *catalogue.Find(near_path);
  EXPECT_TRUE(ChartFolderCatalogue::OverlapsBox(near, {-6, 49.95, -4.99, 51}));
  EXPECT_FALSE(ChartFolderCatalogue::OverlapsBox(near, {-6, 49, -5, 51}));  // touching edge
  std::vector<GeoPoint> points = {{49.99, -4.99}, {51, -4.99}, {49.95, -4.95}};
  EXPECT_TRUE(ChartFolderCatalogue::FilterInside(near, points));
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[1].lat, 49.95);

  ASSERT_TRUE(vd::os::MakeFolders(dir_.File("charts/b-near.qc3/0")));
  catalogue.SetOpenChart(&near);
  EXPECT_TRUE(catalogue.DeleteChart(&near));
  EXPECT_FALSE(vd::os::FileExists(near_path));
  EXPECT_FALSE(vd::os::FileExists(dir_.File("charts/b-near.qc3")));
  EXPECT_EQ(catalogue.Find(near_path), nullptr);
  EXPECT_EQ(catalogue.open_chart(), nullptr);
}

TEST(ChartCatalogueUrlTest, UrlMatchesTheEndOfTheLocalPath) {
  struct Case {
    const char* url;
    const char* local;
    bool expected;
  };
  const Case cases[] = {
      {"https://store.example/KVX/west/a.vdpkg", "/home/u/KVX/west/a.vdpkg", true},
      {"/KVX/a.vdpkg", "/x/KVX/a.vdpkg", true},
      {"https://store.example/KVX/west/a.vdpkg", "/home/u/KVX/east/a.vdpkg", false},
      {"https://store.example/maps/a.vdpkg", "/home/u/maps/a.vdpkg", false},
      {"/KVX/long/name.vdpkg", "name.vdpkg", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChartFolderCatalogue::UrlMatchesLocal(c.url, c.local), c.expected) << c.url;
  }
}

}  // namespace
