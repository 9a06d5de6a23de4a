#include "corvex/ostrel_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "corvex/map_rect_selection.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/image.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"
#include "platform/ui/surface.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;
using vd::test::PixelPosition;
using vd::test::ProbeObject;
using vd::test::TestDocument;
using vd::test::TestWindow;
using vd::ui::Point;
using vd::ui::Rect;

constexpr double kDegreesPerPixel = vd::test::kDegreesPerPixel;
constexpr double kNorth = vd::test::kChartNorth;
constexpr double kWest = vd::test::kChartWest;
constexpr vd::ui::Argb kQueuedGrey = 0xFFE6E6E6;

class ChartViewTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.File("profile"));
    fixture = vd::test::TestChart();
    path = dir.File("chart.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(path, fixture));
  }
  void TearDown() override { DestroyView(); }

  COstrelView& MakeView(int width, int height) {
    view = std::make_unique<COstrelView>(document, window, window);
    window.view = view.get();
    document.views.push_back(view.get());
    view->OnSize(width, height);
    return *view;
  }
  // The view of the test chart; the chart's own outline (drawn along the chart's edge) hidden.
  COstrelView& OpenView(int width, int height) {
    COstrelView& v = MakeView(width, height);
    EXPECT_TRUE(v.OpenChartFile(path));
    if (v.outline()) v.outline()->visible = false;
    return v;
  }
  void DestroyView() {
    document.views.clear();
    view.reset();  // waits for its tiles through the window
    window.view = nullptr;
  }

  // Hands the decoded tiles to the view until none is queued.
  void DeliverTiles() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (view->QueuedTileCount() > 0 && std::chrono::steady_clock::now() < deadline) {
      window.messages.WaitAndDispatch(100);
    }
    ASSERT_EQ(0, view->QueuedTileCount());
  }
  vd::ui::Image Paint() {
    const vd::ui::Size size = view->client_size();
    vd::ui::Image image(size.cx, size.cy, 0xFF000000);
    vd::ui::Surface surface(image);
    view->OnDraw(surface, {0, 0, size.cx, size.cy});
    return image;
  }
  // Paints, lets the queued tiles arrive and paints again.
  vd::ui::Image PaintDecoded() {
    Paint();
    DeliverTiles();
    return Paint();
  }
  std::set<std::tuple<int, int, int>> QueuedTiles() const {
    std::set<std::tuple<int, int, int>> queued;
    for (const COstrelView::TileInfo& tile : view->DescribeTiles()) {
      if (tile.queued) queued.insert({tile.origin.x, tile.origin.y, tile.zoom});
    }
    return queued;
  }

  // The palette index the view shows at a client pixel: the fixture's pixel under it (index 1
  // outside the chart); a reduced view blends the four samples of each square, which the
  // fixture's blend table makes their minimum.
  int ExpectedIndex(int cx, int cy) const {
    const Point o = view->origin();
    const int z = view->zoom();
    const auto pixel = [&](int64_t x, int64_t y) -> int {
      if (x < 0 || y < 0 || x >= fixture.width * 64 || y >= fixture.height * 64) return 1;
      return vd::test::FixturePixel(fixture, int(x), int(y));
    };
    if (z <= 0) return pixel(o.x + (cx >> -z), o.y + (cy >> -z));
    const int64_t x = o.x + (int64_t{cx} << z);
    const int64_t y = o.y + (int64_t{cy} << z);
    const int64_t h = int64_t{1} << (z - 1);
    return std::min({pixel(x, y), pixel(x + h, y + h), pixel(x, y + h), pixel(x + h, y)});
  }
  vd::ui::Argb Colour(int index) const {
    const uint8_t* q = view->chart()->palette().data() + 4 * index;
    return vd::ui::MakeArgb(0xFF, q[2], q[1], q[0]);
  }
  void ExpectChartImage(const vd::ui::Image& image) const {
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) {
        ASSERT_EQ(Colour(ExpectedIndex(x, y)), image.Pixel(x, y))
            << "client " << x << "," << y << " at zoom " << view->zoom();
      }
    }
  }

  vd::test::TempDir dir;
  ChartFixture fixture;
  std::string path;
  TestDocument document;
  CCurrentOwnerScope owner{&document};
  TestWindow window;
  std::unique_ptr<COstrelView> view;
};

TEST_F(ChartViewTest, FirstPaintIsGreyAndQueuesEveryVisibleSquare) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  ASSERT_EQ((Point{0, 0}), v.origin());
  const size_t cache = v.DescribeTiles().size();

  const vd::ui::Image image = Paint();
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) ASSERT_EQ(kQueuedGrey, image.Pixel(x, y));
  }
  // 300 / 128 + 2 columns, 200 / 128 + 2 rows.
  std::set<std::tuple<int, int, int>> expected;
  for (int y : {0, 128, 256}) {
    for (int x : {0, 128, 256, 384}) expected.insert({x, y, 0});
  }
  EXPECT_EQ(expected, QueuedTiles());
  EXPECT_EQ(cache, v.DescribeTiles().size()) << "the cache had room";
  EXPECT_EQ(100u, cache);
}

TEST_F(ChartViewTest, DecodedTilesShowTheChartAtEveryZoomWithTheAnchorFixed) {
  COstrelView& v = OpenView(320, 192);
  // Origin and anchor on multiples of 32 chart pixels keep every zoom on whole client pixels.
  v.CentreOn(224, 128, 0);
  ASSERT_EQ((Point{64, 32}), v.origin());
  v.SetAnchorPoint({96, 64});
  const Point anchored = v.ClientToChart(v.anchor_point());

  const auto check = [&] {
    SCOPED_TRACE(v.zoom());
    EXPECT_EQ(anchored, v.ClientToChart(v.anchor_point()));
    ExpectChartImage(PaintDecoded());
  };
  check();
  while (v.ZoomIn()) check();
  EXPECT_EQ(COstrelView::kMinZoom, v.zoom());
  EXPECT_FALSE(v.CanZoomIn());
  while (v.zoom() < 0) ASSERT_TRUE(v.ZoomOut());
  EXPECT_EQ((Point{64, 32}), v.origin());
  while (v.ZoomOut()) check();
  EXPECT_EQ(COstrelView::kMaxZoom, v.zoom());
  EXPECT_FALSE(v.CanZoomOut());
}

TEST_F(ChartViewTest, ZoomKeepsAnyAnchorPointFixed) {
  COstrelView& v = OpenView(333, 217);
  for (const Point anchor : {Point{0, 0}, Point{7, 3}, Point{166, 108}, Point{331, 215}}) {
    SCOPED_TRACE(testing::Message() << anchor.x << "," << anchor.y);
    v.CentreOn(201, 77, 0);
    v.SetAnchorPoint(anchor);
    const Point chart = v.ClientToChart(anchor);
    while (v.ZoomIn()) EXPECT_EQ(chart, v.ClientToChart(anchor));
    while (v.ZoomOut()) EXPECT_EQ(chart, v.ClientToChart(anchor));
  }
}

TEST_F(ChartViewTest, OneTilePanQueuesOneColumnOrRow) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  PaintDecoded();
  Paint();
  EXPECT_TRUE(QueuedTiles().empty()) << "every square is cached";

  v.CentreOn(150 + 128, 100, 0);
  Paint();
  EXPECT_EQ((std::set<std::tuple<int, int, int>>{{512, 0, 0}, {512, 128, 0}, {512, 256, 0}}),
            QueuedTiles());
  DeliverTiles();

  v.CentreOn(150 + 128, 100 + 128, 0);
  Paint();
  EXPECT_EQ((std::set<std::tuple<int, int, int>>{
                {128, 384, 0}, {256, 384, 0}, {384, 384, 0}, {512, 384, 0}}),
            QueuedTiles());
}

TEST_F(ChartViewTest, TileArrivingAfterAZoomChangeRepaintsNothing) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  Paint();
  ASSERT_FALSE(QueuedTiles().empty());
  v.SetAnchorPoint({150, 100});
  ASSERT_TRUE(v.ZoomIn());
  window.invalidated.clear();
  DeliverTiles();
  EXPECT_TRUE(window.invalidated.empty());
  for (const COstrelView::TileInfo& tile : v.DescribeTiles()) {
    if (tile.zoom == 0) {
      EXPECT_TRUE(tile.ready);
    }
  }

  // At the view's zoom a tile repaints its own square.
  Paint();
  window.invalidated.clear();
  DeliverTiles();
  ASSERT_FALSE(window.invalidated.empty());
  for (const Rect& r : window.invalidated) {
    EXPECT_EQ(128, r.Width());
    EXPECT_EQ(128, r.Height());
  }
}

TEST_F(ChartViewTest, GridStopsAt39RowsAnd78Columns) {
  COstrelView& v = OpenView(12000, 6000);
  v.CentreOn(0, 0, 0);
  vd::ui::Image small(64, 64);
  {
    vd::ui::Surface surface(small);
    v.OnDraw(surface, {0, 0, 12000, 6000});
  }
  const std::set<std::tuple<int, int, int>> queued = QueuedTiles();
  EXPECT_EQ(size_t(COstrelView::kMaxGridRows * COstrelView::kMaxGridColumns), queued.size());
  const int x0 = v.origin().x & -128;
  const int y0 = v.origin().y & -128;
  for (const auto& [x, y, z] : queued) {
    ASSERT_LT((x - x0) / 128, COstrelView::kMaxGridColumns);
    ASSERT_LT((y - y0) / 128, COstrelView::kMaxGridRows);
  }
}

TEST_F(ChartViewTest, NegativeOriginStartsTheGridAtTheTileBoundaryBelow) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(50, 50, 0);
  ASSERT_EQ((Point{-100, -50}), v.origin());
  Paint();
  std::set<std::tuple<int, int, int>> expected;
  for (int y : {-128, 0, 128}) {
    for (int x : {-128, 0, 128, 256}) expected.insert({x, y, 0});
  }
  EXPECT_EQ(expected, QueuedTiles());
  DeliverTiles();
  ExpectChartImage(Paint());
}

TEST_F(ChartViewTest, CacheGrowsWhileEveryTileIsQueued) {
  COstrelView& v = OpenView(1400, 1200);  // 12 x 11 squares, more than the 100 tiles made
  v.CentreOn(700, 600, 0);
  Paint();
  EXPECT_EQ(132u, QueuedTiles().size());
  EXPECT_EQ(132u, v.DescribeTiles().size());
  v.SetAnchorPoint({700, 600});
  ASSERT_TRUE(v.ZoomIn());
  Paint();
  EXPECT_EQ(264u, QueuedTiles().size());
  EXPECT_EQ(264u, v.DescribeTiles().size());
  DeliverTiles();
  v.ZoomOut();
  Paint();
  EXPECT_EQ(264u, v.DescribeTiles().size()) << "the cache does not shrink";
}

TEST_F(ChartViewTest, OverlaysPast250AreSimplifiedAndPast10000NotDrawn) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  std::vector<bool> drawn;
  // Made first, so first in draw order, but never counted.
  document.Add(new ProbeObject({10, 10}))->visible = false;
  document.Add(new ProbeObject({5000, 5000}))->log = &drawn;
  for (int i = 0; i < COstrelView::kMaxDrawnObjects + 5; ++i) {
    document.Add(new ProbeObject({20 + i % 200, 30}))->log = &drawn;
  }
  v.OnUpdate(nullptr, kChangeAdded, nullptr);
  PaintDecoded();

  drawn.clear();
  Paint();
  ASSERT_EQ(size_t(COstrelView::kMaxDrawnObjects), drawn.size());
  EXPECT_FALSE(drawn[COstrelView::kFullDrawObjects - 1]);
  EXPECT_TRUE(drawn[COstrelView::kFullDrawObjects]);
  EXPECT_EQ(COstrelView::kFullDrawObjects, std::count(drawn.begin(), drawn.end(), false));
}

TEST_F(ChartViewTest, ChangeHintsKeepTheScreenRecords) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  auto* probe = new ProbeObject({40, 50});
  probe->AddRef();  // the test's own
  document.Add(probe);
  v.OnUpdate(nullptr, kChangeAdded, probe);
  ASSERT_NE(nullptr, v.mapped_objects().Find(probe));
  EXPECT_EQ(3, probe->ref_count());

  // A move prepares and repaints the old and new places; the change that follows it doesn't.
  window.invalidated.clear();
  v.OnUpdate(nullptr, kChangeMoved, probe);
  EXPECT_EQ(2, probe->prepared);
  EXPECT_EQ(2u, window.invalidated.size());
  v.OnUpdate(nullptr, kChangeModified, probe);
  EXPECT_EQ(2, probe->prepared);
  v.OnUpdate(nullptr, kChangeModified, probe);
  EXPECT_EQ(3, probe->prepared);

  v.OnUpdate(nullptr, kChangeDeleted, probe);
  EXPECT_EQ(nullptr, v.mapped_objects().Find(probe));
  EXPECT_EQ(2, probe->ref_count());
  document.objects.remove(probe);
  probe->Release();
  probe->Release();
}

TEST_F(ChartViewTest, PositionMarkerDrawsAtItsChartPixel) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  double lat = 0;
  double lon = 0;
  PixelPosition(60, 70, lat, lon);
  ASSERT_TRUE(v.SetPositionMarker(lat, lon));
  EXPECT_EQ((Point{60, 70}), v.position_marker());
  const vd::ui::Image image = PaintDecoded();
  EXPECT_EQ(0xFFFF0000u, image.Pixel(60, 70));
  EXPECT_NE(0xFFFF0000u, image.Pixel(60 + 8, 70));

  EXPECT_TRUE(v.SetPositionMarker(0, 0));
  EXPECT_EQ(COstrelView::kHiddenMarker, v.position_marker());
  ExpectChartImage(Paint());
}

TEST_F(ChartViewTest, PendingPlacementOpensAtTheNearestZoom) {
  const std::unique_ptr<COldQuickChart> chart = OpenOldQuickChart(path, false);
  ASSERT_NE(nullptr, chart);
  const double nm_per_pixel = chart->ScaleAtPixel(200, 150);
  ASSERT_GT(nm_per_pixel, 0);
  for (const int z : {-2, 0, 3, 5}) {
    SCOPED_TRACE(z);
    CViewPlacement placement;
    placement.chart_path = path;
    PixelPosition(200, 150, placement.lat, placement.lon);
    placement.scale = std::ldexp(nm_per_pixel, z) * 1.2;  // nearer 2^z than 2^(z+1)
    document.pending = placement;
    COstrelView& v = MakeView(300, 200);
    ASSERT_TRUE(v.OpenChart());
    EXPECT_EQ(z, v.zoom());
    EXPECT_EQ((Point{200, 150}), v.ClientToChart({150, 100}));
    EXPECT_EQ(path, window.title);
    DestroyView();
  }

  // Without a wanted scale the chart's centre shows at zoom 2.
  document.pending->scale = 0;
  COstrelView& v = MakeView(300, 200);
  ASSERT_TRUE(v.OpenChart());
  EXPECT_EQ(2, v.zoom());
  EXPECT_EQ(0, window.closes);
}

TEST_F(ChartViewTest, PlacementOfOneViewOpensAnotherAtTheSamePlace) {
  COstrelView& v = OpenView(300, 200);
  double lat = 0;
  double lon = 0;
  PixelPosition(300, 250, lat, lon);
  const double nm_per_pixel = v.chart()->ScaleAtPixel(300, 250);
  v.CentreAt(lat, lon, std::ldexp(nm_per_pixel, -1), 1);
  EXPECT_EQ(-1, v.zoom());
  EXPECT_EQ((Point{300, 250}), v.ClientToChart({150, 100}));
  EXPECT_EQ((Point{150, 100}), v.anchor_point());
  PixelPosition(100, 50, lat, lon);
  v.CentreKeepingZoom(lat, lon);
  EXPECT_EQ(-1, v.zoom());
  EXPECT_EQ((Point{100, 50}), v.ClientToChart({150, 100}));
  v.CentreKeepingZoom(kNorth + 1, kWest);  // outside the chart: nothing moves
  EXPECT_EQ((Point{100, 50}), v.ClientToChart({150, 100}));

  CViewPlacement placement;
  ASSERT_TRUE(v.GetPlacement(placement));
  EXPECT_EQ(path, placement.chart_path);
  document.pending = placement;
  DestroyView();
  COstrelView& other = MakeView(300, 200);
  ASSERT_TRUE(other.OpenChart());
  EXPECT_EQ(-1, other.zoom());
  EXPECT_EQ((Point{100, 50}), other.ClientToChart({150, 100}));
}

TEST_F(ChartViewTest, AlternatePlaceIsOutlinedWhenItShowsMore) {
  COstrelView& v = OpenView(320, 192);
  v.CentreOn(0, 0, 5);  // the alternate place, zoom 4 at origin (0, 0), starts at client (160, 96)
  ASSERT_EQ((Point{160, 96}), v.ChartToClient({0, 0}));
  constexpr vd::ui::Argb kBlue = 0xFF0000FF;
  EXPECT_NE(kBlue, PaintDecoded().Pixel(160, 120)) << "only with the option";

  COstrelView::SetShowAlternateOutline(true);
  const vd::ui::Image image = Paint();
  // Half the window's size, the right and bottom edges one pixel inside.
  for (const Point p : {Point{160, 120}, Point{319, 120}, Point{200, 96}, Point{200, 191}}) {
    EXPECT_EQ(kBlue, image.Pixel(p.x, p.y)) << p.x << "," << p.y;
  }
  EXPECT_NE(kBlue, image.Pixel(161, 120));
  v.SetAnchorPoint({0, 0});
  v.ZoomIn();  // now the alternate place shows less
  EXPECT_NE(kBlue, PaintDecoded().Pixel(160, 120));
  COstrelView::SetShowAlternateOutline(false);
}

TEST_F(ChartViewTest, NewViewWithoutAPlacementClosesItsFrame) {
  COstrelView& v = MakeView(300, 200);
  v.OnInitialUpdate();
  // The chooser comes on the next turn of the event loop, after the work that made the window.
  EXPECT_EQ(0, window.closes);
  QCoreApplication::processEvents();
  EXPECT_EQ(nullptr, v.chart());
  EXPECT_EQ(1, window.closes);
}

TEST_F(ChartViewTest, FailedOpeningReopensThePreviousChart) {
  COstrelView& v = OpenView(300, 200);
  EXPECT_FALSE(v.OpenChartFile(dir.File("missing.qct")));
  EXPECT_EQ(path, v.GetChartPath());
  EXPECT_NE(nullptr, v.outline());

  // A chart the document can't list is closed again (and the previous one reopened).
  document.lists_charts = false;
  DestroyView();
  COstrelView& empty = MakeView(300, 200);
  EXPECT_FALSE(empty.OpenChartFile(path));
  EXPECT_EQ(nullptr, empty.chart());
  EXPECT_EQ("", empty.GetChartPath());
}

TEST_F(ChartViewTest, UnreadableChartFileAsksAndCancelEmptiesTheView) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  PaintDecoded();
  std::filesystem::resize_file(path, 0);

  struct Cancel : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest& request) override {
      texts.push_back(request.text);
      return vd::ui::kIdCancel;
    }
    std::vector<std::string> texts;
  } cancel;
  vd::ui::ScopedResponder scope(&cancel);
  const vd::ui::Image image = Paint();
  EXPECT_EQ(std::vector<std::string>{"Cannot access map file: " + path}, cancel.texts);
  EXPECT_EQ(nullptr, v.chart());
  EXPECT_EQ(0xFFFFFFFFu, image.Pixel(0, 0));
  EXPECT_EQ(0xFFFFFFFFu, image.Pixel(299, 199));
}

// The box lets other work run (a request of another program, a command) which may close the
// chart meanwhile: Retry then finds no chart to check.
TEST_F(ChartViewTest, ChartClosedWhileTheAccessBoxIsUpEndsTheCheck) {
  COstrelView& v = OpenView(300, 200);
  std::filesystem::resize_file(path, 0);

  struct CloseThenRetry : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest&) override {
      ++boxes;
      view->ReloadChart();
      return vd::ui::kIdRetry;
    }
    COstrelView* view = nullptr;
    int boxes = 0;
  } retry;
  retry.view = &v;
  vd::ui::ScopedResponder scope(&retry);
  const vd::ui::Image image = Paint();
  EXPECT_EQ(1, retry.boxes);
  EXPECT_EQ(nullptr, v.chart());
  EXPECT_EQ(0xFFFFFFFFu, image.Pixel(0, 0));
}

TEST_F(ChartViewTest, MappingShiftsByZoomAndRenderModeTruncates) {
  COstrelView& v = OpenView(400, 300);
  struct Case {
    int zoom;
    Point client;
    Point chart;
    Point back;  // the first client pixel showing that chart pixel
  };
  // CentreOn(1000, 800, z) puts the origin at (1000, 800) - (200, 150) shifted left by z.
  for (const Case& c : {Case{-2, {-5, 3}, {948, 763}, {-8, 0}},
                        Case{-2, {9, -1}, {952, 762}, {8, -4}},
                        Case{0, {-5, 3}, {795, 653}, {-5, 3}},
                        Case{3, {-5, 3}, {-640, -376}, {-5, 3}}}) {
    SCOPED_TRACE(c.zoom);
    v.CentreOn(1000, 800, c.zoom);
    EXPECT_EQ(c.chart, v.ClientToChart(c.client));
    EXPECT_EQ(c.back, v.ChartToClient(c.chart));
  }
  EXPECT_EQ((Point{-5, 3}), v.ChartToClient({-637, -370})) << "rounds down";

  v.EnterRenderMode({0.5, {1, 1}});
  EXPECT_EQ((Point{0, 0}), v.ChartToClient({0, 0}));    // -0.5 -> 0
  EXPECT_EQ((Point{-1, 2}), v.ChartToClient({-2, 5}));  // -1.5 -> -1
  vd::ui::Image untouched(400, 300, 0xFF123456);
  {
    vd::ui::Surface surface(untouched);
    v.OnDraw(surface, {0, 0, 400, 300});
  }
  EXPECT_EQ(0xFF123456u, untouched.Pixel(200, 150)) << "no painting while rendering";
  v.LeaveRenderMode();
  EXPECT_EQ((Point{-5, 3}), v.ChartToClient({-637, -370}));

  // The window's corners as positions: chart pixels (200, 200) and (200, 200) + 4 x (400, 300).
  v.CentreOn(1000, 800, 2);
  double north = 0, south = 0, east = 0, west = 0;
  ASSERT_TRUE(v.GetVisibleArea(north, south, east, west));
  EXPECT_NEAR(kNorth - 200 * kDegreesPerPixel, north, 1e-9);
  EXPECT_NEAR(kWest + 200 * kDegreesPerPixel, west, 1e-9);
  EXPECT_NEAR(kNorth - 1400 * kDegreesPerPixel, south, 1e-9);
  EXPECT_NEAR(kWest + 1800 * kDegreesPerPixel, east, 1e-9);
}

// ---- Print boxes ----

TEST_F(ChartViewTest, PrintBoxGrabsWithinTwelveClientPixels) {
  COstrelView& v = OpenView(400, 300);
  for (const auto& [zoom, grab] : {std::pair{5, 384}, std::pair{0, 12}, std::pair{-2, 3}}) {
    SCOPED_TRACE(zoom);
    v.CentreOn(256, 192, zoom);
    CMapRectSelection& box = v.AddPrintBox();
    box.SetRect({1000, 2000, 9000, 8000});
    const int mid_y = 5000;
    EXPECT_TRUE(box.HitTest({1000 + grab - 1, mid_y}));
    EXPECT_TRUE(box.drag_left);
    EXPECT_TRUE(box.HitTest({9000 - grab + 1, mid_y}));
    EXPECT_TRUE(box.drag_right);
    EXPECT_FALSE(box.HitTest({1000 + grab, mid_y}));
    EXPECT_FALSE(box.HitTest({999, mid_y})) << "outside";
  }
}

TEST_F(ChartViewTest, PrintBoxCursorCodes) {
  COstrelView& v = OpenView(400, 300);
  v.CentreOn(256, 192, 0);
  CMapRectSelection& box = v.AddPrintBox();
  box.SetRect({100, 100, 300, 200});
  const std::pair<Point, char> cases[] = {
      {{105, 105}, 'B'}, {{295, 195}, 'B'}, {{295, 105}, 'F'}, {{105, 195}, 'F'},
      {{200, 105}, 'V'}, {{200, 195}, 'V'}, {{105, 150}, 'H'}, {{295, 150}, 'H'},
      {{200, 150}, 'P'}, {{130, 130}, 0},   {{50, 50}, 0}};
  for (const auto& [point, code] : cases) {
    EXPECT_EQ(code, box.GetCursorCode(point)) << point.x << "," << point.y;
  }
  // Only the active box moves: inside another one, away from its edges, is no grab.
  CMapRectSelection& other = v.AddPrintBox();
  other.SetRect({400, 100, 600, 200});
  EXPECT_EQ(&other, v.active_box());
  EXPECT_FALSE(box.HitTest({200, 150}));
  EXPECT_TRUE(other.HitTest({500, 150}));
  EXPECT_TRUE(other.drag_move);
}

TEST_F(ChartViewTest, PrintBoxKeepsItsLeastAndLargestSize) {
  COstrelView& v = OpenView(400, 300);
  v.CentreOn(256, 192, 1);  // grab width 24 chart pixels
  CMapRectSelection& box = v.AddPrintBox();
  box.SetRect({100, 100, 300, 200});

  ASSERT_TRUE(box.HitTest({299, 150}));
  box.Drag({50, 150});
  EXPECT_EQ((Rect{100, 100, 124, 200}), box.GetRect()) << "no narrower than the grab width";
  ASSERT_TRUE(box.HitTest({110, 101}));
  ASSERT_TRUE(box.drag_top);
  box.Drag({110, 500});
  EXPECT_EQ((Rect{100, 176, 124, 200}), box.GetRect());

  // At a fixed print scale the box can shrink but not outgrow its page.
  v.SetPrintFlags(COstrelView::kPrintFixedScale);
  box.SetRect({100, 100, 300, 200});
  ASSERT_TRUE(box.HitTest({299, 199}));
  box.Drag({900, 900});
  EXPECT_EQ((Rect{100, 100, 300, 200}), box.GetRect());
  ASSERT_TRUE(box.HitTest({299, 199}));
  box.Drag({250, 180});
  EXPECT_EQ((Rect{100, 100, 250, 180}), box.GetRect());

  // A move centres the box on the point.
  ASSERT_TRUE(box.HitTest({175, 140}));
  ASSERT_TRUE(box.drag_move);
  box.Drag({1000, 1000});
  EXPECT_EQ((Rect{925, 960, 1075, 1040}), box.GetRect());
}

TEST_F(ChartViewTest, PrintBoxesDrawInPrintAreaMode) {
  COstrelView& v = OpenView(400, 300);
  v.CentreOn(200, 150, 0);
  CMapRectSelection& box = v.AddPrintBox();
  box.SetRect({100, 50, 300, 250});
  v.SetPrintAreaMode(true);
  const vd::ui::Image image = PaintDecoded();
  // The half-transparent red band inside the left edge over the chart, the chart beyond it.
  const vd::ui::Argb under = Colour(ExpectedIndex(106, 150));
  const vd::ui::Argb band = image.Pixel(106, 150);
  const auto blend = [](int top, int below) { return (top * 128 + below * 127) / 255; };
  EXPECT_NEAR(blend(0xFF, vd::ui::ArgbRed(under)), vd::ui::ArgbRed(band), 3);
  EXPECT_NEAR(blend(0x32, vd::ui::ArgbGreen(under)), vd::ui::ArgbGreen(band), 3);
  EXPECT_NEAR(blend(0x32, vd::ui::ArgbBlue(under)), vd::ui::ArgbBlue(band), 3);
  EXPECT_EQ(Colour(ExpectedIndex(130, 150)), image.Pixel(130, 150));
  EXPECT_EQ(0xFF000000u, image.Pixel(100, 150)) << "the outline";

  v.SetPrintAreaMode(false);
  ExpectChartImage(Paint());
}

}  // namespace
