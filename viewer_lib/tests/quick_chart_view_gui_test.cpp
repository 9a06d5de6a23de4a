// The newer library's chart view: its settings, the transform at every level, gestures and
// zoom commands, opening with fall-back, chart switching through the catalogue, GPS following,
// and its saved state.
#include "viewer_lib/quick_chart_view.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "core/key_value_file.h"
#include "core/serializable_stream.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_mark.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/ui/image.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "platform/ui/surface.h"
#include "platform/os/http_transport.h"
#include "tests/chart_fixture.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"
#include "viewer_lib/chart_catalogue.h"

namespace {

using vd::test::ChartFixture;

constexpr double kDegreesPerPixel = 1.0 / 3600.0;  // 1/60 nautical mile per chart pixel
constexpr double kNorth = 50, kWest = -5;
constexpr int kWidth = 640, kHeight = 480;
constexpr vd::ui::Argb kBackground = 0xFF123456;

vd::ui::Argb Colour(uint8_t i) {
  return 0xFF000000u | uint32_t(255 - i) << 16 | uint32_t((2 * i) & 255) << 8 | i;
}

// Records the message boxes shown and answers OK.
struct BoxRecorder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request.caption + ": " + request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> shown;
};

class ChartViewTest : public testing::Test {
 protected:
  ChartViewTest() {
    for (const char* sub : {"/docs", "/data", "/charts"}) {
      EXPECT_TRUE(vd::os::MakeFolders(dir_.path() + sub));
    }
    view_.OnSize(0, 0, kWidth, kHeight);
    view_.SetInvalidate([this] { ++invalidated_; });
  }
  ~ChartViewTest() override { ChartFolderCatalogue::SetCurrent(nullptr); }

  // A square chart of `tiles` x 64 pixels with its top left corner at (north, west).
  std::string Chart(const std::string& name, double degrees_per_pixel, int tiles = 16,
                    uint32_t flags = 0, double north = kNorth, double west = kWest) {
    ChartFixture chart;
    chart.width = chart.height = tiles;
    chart.flags = flags;
    chart.georef = ChartFixture::LinearGeoref(north, west, degrees_per_pixel);
    chart.map_type = "Topo";
    chart.texts = {{kQctName, name}};
    chart.blend = ChartFixture::SkewedBlendTable();
    const std::string path = dir_.File("charts/" + name);
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    fixture_ = chart;
    return path;
  }
  void UseCatalogue() {
    catalogue_ = std::make_unique<ChartFolderCatalogue>(
        ChartCatalogueFolders{dir_.File("docs"), dir_.File("data"), dir_.File("charts")});
    catalogue_->keys = {"Topo"};
    ChartFolderCatalogue::SetCurrent(catalogue_.get());
  }
  std::string OpenName() const {
    const std::string path = view_.ChartFileName();
    return path.substr(path.rfind('/') + 1);
  }
  // Zooms by steps about the centre until the view is at `level`.
  void GoToLevel(int level) {
    while (view_.level() < level) view_.ZoomStep(1);
    while (view_.level() > level) view_.ZoomStep(-1);
    ASSERT_EQ(view_.level(), level);
  }
  // Paints until every visible cell shows a tile of the view's level.
  vd::ui::Image DrawSettled() {
    vd::ui::Image image(kWidth, kHeight, kBackground);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (true) {
      image = vd::ui::Image(kWidth, kHeight, kBackground);
      vd::ui::Surface dc(image);
      view_.OnDraw(dc, 0, 0, kWidth, kHeight);
      if (view_.PendingTiles() == 0) return image;
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "tiles never arrived";
        return image;
      }
      std::this_thread::yield();
    }
  }
  // Whether the colour is what the screen pixel over chart pixel (x, y), or one next to it,
  // shows: zoomed out, a screen pixel covers 2^level chart pixels and blends four of them.
  bool ShowsChartPixelNear(vd::ui::Argb colour, double x, double y) const {
    const int level = view_.level();
    const int step = 1 << std::max(0, level);
    const int bx = int(std::floor(x / step)) * step, by = int(std::floor(y / step)) * step;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        const int cx = bx + dx * step, cy = by + dy * step;
        if (cx < 0 || cy < 0 || cx >= fixture_.width * 64 || cy >= fixture_.height * 64) continue;
        if (colour == Colour(vd::test::FixtureViewIndex(fixture_, cx, cy, level))) return true;
      }
    }
    return false;
  }

  vd::test::TempDir dir_;
  ChartFixture fixture_;
  std::unique_ptr<ChartFolderCatalogue> catalogue_;
  CQuickChartView view_;
  int invalidated_ = 0;
};

TEST(ChartViewSettingsTest, DefaultsAndWhatTheSettingsFileHolds) {
  vd::test::TempDir config;
  const char* old_config = std::getenv("XDG_CONFIG_HOME");
  const std::string kept = old_config ? old_config : "";
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  CQuickChartView::Persistant& settings = CQuickChartView::Settings();
  const CQuickChartView::Persistant defaults;
  EXPECT_TRUE(defaults.change_scale_by_zooming);
  EXPECT_TRUE(defaults.show_scale_bar);
  EXPECT_EQ(defaults.scale_bar_color, 0xA0FFBB33u);
  EXPECT_TRUE(defaults.automatic_download);
  EXPECT_EQ(defaults.app_name, "Vardune");
  EXPECT_EQ(defaults.app_icon, "");
  EXPECT_FALSE(defaults.app_website.empty());
  EXPECT_TRUE(defaults.kvx_hide.empty());
  EXPECT_EQ(defaults.app_default_lat, 43.04144);
  EXPECT_EQ(defaults.app_default_lon, -31.7395);

  PersistantData::SetBaseName("ChartViewSettingsTest");
  ASSERT_TRUE(vd::os::MakeFolders(config.path() + "/Vardune"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(PersistantData::SettingsFilePath(),
                                         "CQuickChartView:automatic_download=0\n"
                                         "CQuickChartView:app_default_lat=12.5\n"
                                         "CQuickChartView:scale_bar_color=#FF00FF00\n"));
  ASSERT_TRUE(PersistantData::LoadAll());
  EXPECT_FALSE(settings.automatic_download);
  EXPECT_EQ(settings.app_default_lat, 12.5);
  EXPECT_EQ(settings.scale_bar_color, 0xFF00FF00u);
  settings.app_default_lat = 33;
  settings.MarkDirty();
  ASSERT_TRUE(PersistantData::SaveAll());
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(PersistantData::SettingsFilePath(), text));
  text.insert(0, "\n");
  for (const char* line : {"CQuickChartView:change_scale_by_zooming=1",
                           "CQuickChartView:show_scale_bar=1",
                           "CQuickChartView:scale_bar_color=%23FF00FF00",  // '#' escaped
                           "CQuickChartView:automatic_download=0", "CQuickChartView:app_name=Vardune",
                           "CQuickChartView:app_website=",
                           "CQuickChartView:kvx_hide:n=0",
                           // The default position is only read: the file keeps what it had.
                           "CQuickChartView:app_default_lat=12.5"}) {
    EXPECT_NE(text.find(std::string("\n") + line), std::string::npos) << line << "\n" << text;
  }
  EXPECT_EQ(text.find("app_default_lon"), std::string::npos) << text;

  // Back to the defaults for the other tests.
  PersistantData::SetBaseName("");
  settings.automatic_download = true;
  settings.app_default_lat = defaults.app_default_lat;
  settings.scale_bar_color = defaults.scale_bar_color;
  if (old_config) {
    setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

// At every level the screen point of a position maps back to the position within a pixel,
// and the drawn chart shows, at that point, the chart pixel of the position.
TEST_F(ChartViewTest, TransformRoundTripsAndMatchesTheDrawingAtEveryLevel) {
  const std::string path = Chart("fine.qct", kDegreesPerPixel, 24);
  view_.OpenChartByPath(nullptr, path, false);
  ASSERT_EQ(view_.ChartFileName(), path);
  EXPECT_EQ(view_.max_level(), 3);
  EXPECT_EQ(view_.level(), 2) << "no centre: one level below the largest";
  for (int level = -2; level <= 3; ++level) {
    GoToLevel(level);
    EXPECT_FLOAT_EQ(view_.factor(), float(std::ldexp(1.0, -level)));
    const vd::ui::Image image = DrawSettled();
    for (const auto& [sx, sy] : {std::pair{5.0f, 7.0f}, {320.0f, 240.0f}, {601.5f, 433.25f},
                                 {100.0f, 400.0f}}) {
      double lat, lon;
      ASSERT_TRUE(view_.ScreenToLatLon(sx, sy, lat, lon));
      float bx, by;
      ASSERT_TRUE(view_.LatLonToScreen(lat, lon, bx, by));
      EXPECT_NEAR(bx, sx, 1.0) << "level " << level;
      EXPECT_NEAR(by, sy, 1.0) << "level " << level;
      // The chart pixel of the position, straight from the chart's georeference.
      const double cx = (lon - kWest) / kDegreesPerPixel, cy = (kNorth - lat) / kDegreesPerPixel;
      if (cx < 0 || cy < 0 || cx >= 24 * 64 || cy >= 24 * 64) continue;
      EXPECT_TRUE(ShowsChartPixelNear(image.Pixel(int(sx), int(sy)), cx, cy))
          << "level " << level << " at " << sx << "," << sy;
    }
  }
  double lat, lon;
  ASSERT_TRUE(view_.GetCentre(lat, lon));
  EXPECT_NEAR(view_.ScaleAtCentre(), 60 * kDegreesPerPixel * 8, 1e-9) << "level 3";
}

// The shipped sample chart (a georeference of its own) and a chunk-store chart without any
// data yet map screen points to positions and back within a pixel at every level.
TEST_F(ChartViewTest, SampleAndChunkStoreChartsRoundTripAtEveryLevel) {
  ChartFixture chunked;
  chunked.version = 0x20000001;
  chunked.width = 40;
  chunked.height = 32;
  chunked.reference = true;  // the pixels live in the chunk store
  chunked.georef = ChartFixture::LinearGeoref(60, 10, 1.0 / 7200);
  const std::string chunked_path = dir_.File("charts/chunked.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(chunked_path, chunked));
  const std::string sample = vd::os::ProgramFolder() + "/../sample/Sample Chart.qct";
  for (const std::string& path : {sample, chunked_path}) {
    SCOPED_TRACE(path);
    view_.OpenChartByPath(nullptr, path, false);
    ASSERT_EQ(view_.ChartFileName(), path);
    ASSERT_TRUE(view_.georef().valid);
    for (int level = -2; level <= view_.max_level(); ++level) {
      GoToLevel(level);
      for (const auto& [sx, sy] : {std::pair{0.0f, 0.0f}, {320.0f, 240.0f}, {639.0f, 479.0f}}) {
        double lat, lon;
        ASSERT_TRUE(view_.ScreenToLatLon(sx, sy, lat, lon));
        float x, y;
        ASSERT_TRUE(view_.LatLonToScreen(lat, lon, x, y));
        EXPECT_NEAR(x, sx, 1.0) << "level " << level;
        EXPECT_NEAR(y, sy, 1.0) << "level " << level;
      }
    }
    // Drawn (no chunk is fetched here): the chunk-store chart shows its empty pattern.
    CQuickChartView::Settings().automatic_download = false;
    EXPECT_NE(DrawSettled().Pixel(kWidth / 2, kHeight / 2), kBackground);
    CQuickChartView::Settings().automatic_download = true;
  }
}

TEST_F(ChartViewTest, PanDragAndZoomKeepThePointUnderTheFinger) {
  view_.OpenChartByPath(nullptr, Chart("fine.qct", kDegreesPerPixel), false);
  GoToLevel(0);
  const float x0 = view_.offset_x(), y0 = view_.offset_y();
  view_.Pan(30, -20);
  EXPECT_FLOAT_EQ(view_.offset_x(), x0 - 30);
  EXPECT_FLOAT_EQ(view_.offset_y(), y0 + 20);

  // Zooming about a touch point keeps the chart point under it.
  view_.OnTouchDown(200, 150);
  double lat, lon, lat2, lon2;
  ASSERT_TRUE(view_.ScreenToLatLon(200, 150, lat, lon));
  for (int step : {1, 1, -1, -1, -1, -1}) {
    view_.ZoomBy(step);
    ASSERT_TRUE(view_.ScreenToLatLon(200, 150, lat2, lon2));
    EXPECT_NEAR(lat2, lat, kDegreesPerPixel) << "level " << view_.level();
    EXPECT_NEAR(lon2, lon, kDegreesPerPixel) << "level " << view_.level();
  }
  EXPECT_EQ(view_.level(), -2);
  view_.ZoomBy(-1);  // out of range: nothing
  EXPECT_EQ(view_.level(), -2);
  view_.ZoomBy(0);
  EXPECT_EQ(view_.level(), -2);

  // Magnified 4x, dragging moves in whole chart pixels.
  const float before = view_.offset_x();
  view_.OnDrag(200 + 9, 150);
  EXPECT_FLOAT_EQ(view_.offset_x(), before - 2) << "9 screen pixels round down to 8";
  view_.OnTouchUp();
  view_.OnDrag(400, 400);
  EXPECT_FLOAT_EQ(view_.offset_x(), before - 2) << "no drag without a touch";

  // The wheel zooms about the pointer: away from the user in, towards out.
  GoToLevel(1);
  ASSERT_TRUE(view_.ScreenToLatLon(50, 60, lat, lon));
  view_.OnWheel(50, 60, 120);
  EXPECT_EQ(view_.level(), 0);
  ASSERT_TRUE(view_.ScreenToLatLon(50, 60, lat2, lon2));
  EXPECT_NEAR(lat2, lat, kDegreesPerPixel);
  view_.OnWheel(50, 60, -120);
  EXPECT_EQ(view_.level(), 1);
  GoToLevel(3);
  view_.ZoomStep(1);
  EXPECT_EQ(view_.level(), 3) << "largest level of a chart that is not online";
}

TEST_F(ChartViewTest, PinchZoomsWholeLevelsAndSnapsItsFactor) {
  view_.OpenChartByPath(nullptr, Chart("fine.qct", kDegreesPerPixel), false);
  struct Case {
    int level;
    float value;     // the pinch value after a start of 100
    int pinched;     // level during the gesture
    int ended;       // level after its end
  };
  const Case cases[] = {
      {1, 100 * 1.75f * 1.75f, 1, 0},  // a factor of exactly 1.75 does not zoom; the end does
      {1, 100 * 2.0f * 2.0f, 0, 0},    // 2: one level in, then a factor of 1
      {1, 100 * 16.0f * 16.0f, -2, -2},  // 16: in to the limit
      {1, 100 * 0.6f * 0.6f, 1, 2},    // 0.6: out one level at the end
  };
  for (const Case& c : cases) {
    GoToLevel(c.level);
    view_.OnPinch(320, 240, 100);
    view_.OnPinch(320, 240, c.value);
    EXPECT_EQ(view_.level(), c.pinched) << c.value;
    view_.OnPinchEnd();
    EXPECT_EQ(view_.level(), c.ended) << c.value;
    EXPECT_GE(view_.pinch_factor(), 0.5f);
    EXPECT_LE(view_.pinch_factor(), 2.0f);
  }
}

TEST_F(ChartViewTest, ChooseZoomFitsTheWantedScale) {
  const std::string fine = Chart("fine.qct", kDegreesPerPixel);
  const std::string online = Chart("online.qct", kDegreesPerPixel, 16, kQctFlagOnline);
  const double own = 60 * kDegreesPerPixel;
  struct Case {
    std::string path;
    double wanted;  // nautical miles per screen pixel
    int level;
  };
  const Case cases[] = {
      {fine, own, 0},       {fine, 3 * own, 2},   {fine, 100 * own, 3},
      {online, 100 * own, 2}, {fine, own / 10, -2}, {fine, 0, 0},
  };
  const double lat = kNorth - 300 * kDegreesPerPixel, lon = kWest + 400 * kDegreesPerPixel;
  for (const Case& c : cases) {
    ASSERT_FALSE(view_.ShowAt(nullptr, lat, lon, c.wanted)) << "no catalogue";
    view_.OpenChartByPath(nullptr, c.path, false);
    ASSERT_EQ(view_.ChartFileName(), c.path);
    EXPECT_EQ(view_.level(), c.level) << c.path << " " << c.wanted;
    float x, y;
    ASSERT_TRUE(view_.LatLonToScreen(lat, lon, x, y));
    EXPECT_NEAR(x, kWidth / 2, 1.0 * view_.factor() + 0.01) << "the centre stays the centre";
    EXPECT_NEAR(y, kHeight / 2, 1.0 * view_.factor() + 0.01);
    view_.StopChart();
    EXPECT_TRUE(view_.busy());
    EXPECT_EQ(view_.chart(), nullptr);
  }
  view_.ReloadChart();
  EXPECT_FALSE(view_.busy());
  EXPECT_EQ(view_.ChartFileName(), fine) << "the chart that was open last";
}

TEST_F(ChartViewTest, AChartThatFailsToOpenBringsThePreviousBack) {
  const std::string good = Chart("good.qct", kDegreesPerPixel);
  const std::string other = Chart("other.qct", 2 * kDegreesPerPixel);
  UseCatalogue();
  int opened = 0;
  view_.SetOpenedCallback([&](QWidget*) { ++opened; });
  view_.OpenChartByPath(nullptr, good, false);
  EXPECT_EQ(opened, 1);
  view_.Pan(40, 40);
  const float x = view_.offset_x();

  ASSERT_TRUE(vd::os::SaveFileAtomically(other, "no longer a chart"));
  ASSERT_NE(catalogue_->Find(other), nullptr);
  BoxRecorder boxes;
  vd::ui::ScopedResponder scope(&boxes);
  view_.OpenChartByPath(nullptr, other, true);
  EXPECT_EQ(view_.ChartFileName(), good);
  EXPECT_FALSE(view_.busy());
  EXPECT_NEAR(view_.offset_x(), x, 1.0) << "where it was";
  EXPECT_EQ(catalogue_->Find(other), nullptr) << "the failed chart leaves the catalogue";
  EXPECT_EQ(catalogue_->open_chart(), catalogue_->Find(good));

  // The open chart's file removed, then another failure: nothing is left open.
  ASSERT_TRUE(vd::os::RemoveFile(good));
  view_.OpenChartByPath(nullptr, dir_.File("charts/missing.qct"), false);
  EXPECT_EQ(view_.chart(), nullptr);
  EXPECT_FALSE(view_.busy());
  vd::ui::Image image(kWidth, kHeight, kBackground);
  vd::ui::Surface dc(image);
  view_.OnDraw(dc, 0, 0, kWidth, kHeight);
  EXPECT_EQ(image.Pixel(10, 10), kBackground);
  view_.Pan(5, 5);
  view_.ZoomStep(-1);
  double lat, lon;
  EXPECT_FALSE(view_.GetCentre(lat, lon));
}

// Closing frees the chart, the renderers and every tile, and may be repeated. The opening
// leaves a check among the completion callbacks that closes a chart that did not finish
// opening by the time the callbacks run, and hands the failure on.
TEST_F(ChartViewTest, ClosingFreesEverythingAndAnUnfinishedOpeningIsClosedAgain) {
  const std::string good = Chart("good.qct", kDegreesPerPixel);
  view_.OpenChartByPath(nullptr, good, false);
  DrawSettled();
  EXPECT_FALSE(view_.tiles().empty());
  EXPECT_TRUE(view_.has_worker());
  view_.CloseChartFile();
  EXPECT_EQ(view_.chart(), nullptr);
  EXPECT_TRUE(view_.tiles().empty());
  EXPECT_FALSE(view_.has_worker());
  view_.CloseChartFile();
  EXPECT_EQ(view_.chart(), nullptr);

  struct Case {
    bool cut_short;  // the chart is closed before the callbacks run
    int handed_on;   // the result the caller's callback receives
  };
  for (const Case c : {Case{false, 0}, Case{true, -1}}) {
    SCOPED_TRACE(c.cut_short ? "cut short" : "whole");
    int received = 99;
    CCompletionCallback after;
    after.Register([&received](int result) { return received = result; });
    ASSERT_EQ(view_.OpenChartFile(nullptr, good), 0);
    ASSERT_NE(view_.chart(), nullptr);
    if (c.cut_short) view_.chart()->Close();
    CCompletionCallback::SetChainedResult(0);
    RunPendingCallbacks(after);
    EXPECT_EQ(received, c.handed_on);
    EXPECT_EQ(view_.chart() != nullptr, !c.cut_short);
  }
  EXPECT_EQ(view_.OpenChartFile(nullptr, dir_.File("charts/missing.qct")), -1);
  EXPECT_EQ(view_.chart(), nullptr);
  CCompletionCallback last;
  last.Register(nullptr);
  RunPendingCallbacks(last);
}

// An entry of the "Maps at cursor" list (the catalogue's charts at a place) opens at the same
// place and scale.
TEST_F(ChartViewTest, MapsAtCursorOpenAtTheSamePlace) {
  Chart("fine.qct", kDegreesPerPixel, 16);
  Chart("medium.qct", 4 * kDegreesPerPixel, 16);
  UseCatalogue();
  const double lat = kNorth - 500 * kDegreesPerPixel, lon = kWest + 500 * kDegreesPerPixel;
  ASSERT_TRUE(view_.ShowAt(nullptr, lat, lon, 60 * kDegreesPerPixel));
  ASSERT_EQ(OpenName(), "fine.qct");
  view_.Pan(-80, -40);  // the place shown now, not the one asked for
  double lat0, lon0;
  ASSERT_TRUE(view_.GetCentre(lat0, lon0));
  const double scale = view_.ScaleAtCentre();
  std::vector<CChartOutline*> maps;
  catalogue_->ChartsAt(lat0, lon0, maps);
  ASSERT_EQ(maps.size(), 2u);
  CChartOutline* medium = maps[0]->path() == view_.ChartFileName() ? maps[1] : maps[0];
  ASSERT_TRUE(view_.OpenMapAtCursor(medium));
  EXPECT_EQ(OpenName(), "medium.qct");
  EXPECT_EQ(catalogue_->open_chart(), medium);
  double clat, clon;
  ASSERT_TRUE(view_.GetCentre(clat, clon));
  EXPECT_NEAR(clat, lat0, 4 * kDegreesPerPixel);
  EXPECT_NEAR(clon, lon0, 4 * kDegreesPerPixel);
  EXPECT_NEAR(view_.ScaleAtCentre(), scale, scale * 0.5) << "the nearest level to the scale";
  EXPECT_FALSE(view_.OpenMapAtCursor(nullptr));
}

// Zooming out past a chart's largest level opens the catalogue's chart of less detail at the
// same place and scale; zooming in below level 0 the one of more detail.
TEST_F(ChartViewTest, ZoomingPastTheLevelsSwitchesCharts) {
  const std::string fine = Chart("fine.qct", kDegreesPerPixel, 16);
  const std::string medium = Chart("medium.qct", 4 * kDegreesPerPixel, 16);
  const std::string coarse = Chart("coarse.qct", 16 * kDegreesPerPixel, 16);
  UseCatalogue();
  const double lat = kNorth - 500 * kDegreesPerPixel, lon = kWest + 500 * kDegreesPerPixel;
  ASSERT_TRUE(view_.ShowAt(nullptr, lat, lon, 60 * kDegreesPerPixel));
  EXPECT_EQ(OpenName(), "fine.qct");
  EXPECT_EQ(view_.level(), 0);

  view_.ZoomStep(1);
  EXPECT_EQ(view_.level(), 1);
  view_.ZoomStep(1);
  EXPECT_EQ(OpenName(), "fine.qct");
  EXPECT_EQ(view_.level(), 2);
  view_.ZoomStep(1);  // at the largest level but one: the next chart
  EXPECT_EQ(OpenName(), "medium.qct");
  EXPECT_EQ(view_.level(), 0) << "fine at level 2 shows 4 fine pixels a screen pixel";
  double clat, clon;
  ASSERT_TRUE(view_.GetCentre(clat, clon));
  EXPECT_NEAR(clat, lat, 4 * 4 * kDegreesPerPixel);
  EXPECT_NEAR(clon, lon, 4 * 4 * kDegreesPerPixel);

  view_.ZoomStep(-1);  // level 0: zooms in on this chart
  EXPECT_EQ(OpenName(), "medium.qct");
  EXPECT_EQ(view_.level(), -1);
  view_.ZoomStep(-1);  // below 0: the chart of more detail
  EXPECT_EQ(OpenName(), "fine.qct");
  EXPECT_EQ(view_.level(), 1);

  // A pinch ending at a small factor near the largest level steps out too.
  GoToLevel(2);
  view_.OnPinch(320, 240, 100);
  view_.OnPinch(320, 240, 100 * 0.5f * 0.5f);
  view_.OnPinchEnd();
  EXPECT_EQ(OpenName(), "medium.qct");

  // Switched off: zooming stays on the chart.
  CQuickChartView::Settings().change_scale_by_zooming = false;
  GoToLevel(3);
  view_.ZoomStep(1);
  CQuickChartView::Settings().change_scale_by_zooming = true;
  EXPECT_EQ(OpenName(), "medium.qct");
  EXPECT_EQ(view_.level(), 3);
  ASSERT_TRUE(view_.SwitchChart(1));
  EXPECT_EQ(OpenName(), "coarse.qct");
  EXPECT_FALSE(view_.SwitchChart(1)) << "nothing of less detail";
  EXPECT_FALSE(view_.SwitchChart(0));
}

TEST_F(ChartViewTest, OnlyChartMagnifiedFullyTellsWhereMoreMapsAre) {
  Chart("only.qct", kDegreesPerPixel);
  UseCatalogue();
  ASSERT_TRUE(view_.ShowAt(nullptr, kNorth - 0.05, kWest + 0.05, 60 * kDegreesPerPixel / 4));
  EXPECT_EQ(view_.level(), -2);
  BoxRecorder boxes;
  vd::ui::ScopedResponder scope(&boxes);
  view_.ZoomStep(-1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], std::string("Hint: ") + CQuickChartView::kMoreMapsHint);
  EXPECT_EQ(view_.level(), -2);
}

TEST_F(ChartViewTest, FollowingKeepsTheFixUnderTheFollowPointUntilAPanPushesItOut) {
  Chart("fine.qct", kDegreesPerPixel, 32);
  UseCatalogue();
  CDataGPSPosition fix;
  fix.valid = true;
  fix.latitude = kNorth - 600 * kDegreesPerPixel;
  fix.longitude = kWest + 700 * kDegreesPerPixel;
  Listener<CDataGPSPosition>::Fire(fix);
  ASSERT_EQ(OpenName(), "fine.qct") << "the first fix opens the best chart there";
  EXPECT_EQ(view_.level(), 0) << "scale 0: the most detail";
  view_.ResetFollow();
  ASSERT_TRUE(view_.following());

  for (const auto& [dx, dy] : {std::pair{10, 0}, {0, 25}, {-300, -200}}) {
    fix.latitude -= dy * kDegreesPerPixel;
    fix.longitude += dx * kDegreesPerPixel;
    Listener<CDataGPSPosition>::Fire(fix);
    float x, y;
    ASSERT_TRUE(view_.LatLonToScreen(fix.latitude, fix.longitude, x, y));
    EXPECT_NEAR(x, view_.follow_x(), 0.5);
    EXPECT_NEAR(y, view_.follow_y(), 0.5);
  }
  EXPECT_FLOAT_EQ(view_.follow_x(), kWidth / 2);

  // Zooming while following keeps the fix under the follow point.
  view_.ZoomStep(1);
  float x, y;
  ASSERT_TRUE(view_.LatLonToScreen(fix.latitude, fix.longitude, x, y));
  EXPECT_NEAR(x, view_.follow_x(), 1.0);

  view_.Pan(100, 0);
  EXPECT_TRUE(view_.following()) << "the follow point is still in the window";
  view_.Pan(kWidth, 0);
  EXPECT_FALSE(view_.following());
  const float offset = view_.offset_x();
  fix.longitude += 5 * kDegreesPerPixel;
  Listener<CDataGPSPosition>::Fire(fix);
  EXPECT_FLOAT_EQ(view_.offset_x(), offset) << "no longer following";
  double lat, lon;
  ASSERT_TRUE(view_.GetGpsPosition(lat, lon));
  EXPECT_EQ(lon, fix.longitude);
}

TEST_F(ChartViewTest, SavedStateRestoresTheSameViewAndCutRecordsAreRefused) {
  const std::string path = Chart("fine.qct", kDegreesPerPixel, 24);
  UseCatalogue();
  view_.OpenChartByPath(nullptr, path, false);
  GoToLevel(1);
  view_.Pan(-123, 77);
  view_.ResetFollow();
  view_.Pan(10, 10);
  const std::string file = dir_.File("view.bin");
  {
    CSerializableStream out;
    ASSERT_TRUE(out.OpenWrite(file));
    ASSERT_TRUE(view_.Serialize(out));
    ASSERT_TRUE(out.Close());
  }
  double lat, lon;
  ASSERT_TRUE(view_.GetCentre(lat, lon));

  CQuickChartView restored;
  restored.OnSize(0, 0, kWidth, kHeight);
  {
    CSerializableStream in;
    ASSERT_TRUE(in.OpenRead(file));
    ASSERT_TRUE(restored.Serialize(in));
  }
  EXPECT_EQ(restored.ChartFileName(), path);
  EXPECT_EQ(restored.level(), 1);
  EXPECT_NEAR(restored.offset_x(), view_.offset_x(), 1.0);
  EXPECT_NEAR(restored.offset_y(), view_.offset_y(), 1.0);
  EXPECT_TRUE(restored.following());
  EXPECT_FLOAT_EQ(restored.follow_x(), view_.follow_x());

  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(file, bytes));
  // Cut at every offset: refused, and the view goes on as it was.
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    const std::string cut_file = dir_.File("cut.bin");
    ASSERT_TRUE(vd::os::SaveFileAtomically(cut_file, bytes.substr(0, cut)));
    CSerializableStream in;
    if (!in.OpenRead(cut_file)) continue;
    EXPECT_FALSE(restored.Serialize(in)) << "cut at " << cut;
    EXPECT_EQ(restored.ChartFileName(), path);
  }
  // Another record's tag in place of the view's (the block's 5 header bytes come first), and a
  // latitude that is no position (its top byte, after the tag and the path's length and text).
  constexpr size_t kTagAt = 5;
  const size_t latitude_top = kTagAt + 4 + 4 + path.size() + 7;
  EXPECT_EQ(bytes.substr(kTagAt, 4), std::string("\xce\x72\x56\x8e", 4));
  struct Damage {
    size_t offset;
    std::string bytes;
  };
  const Damage damages[] = {{kTagAt, std::string("\x28\xbe\x97\x20", 4)},
                            {latitude_top, std::string(1, char(0x7F))}};
  for (const Damage& d : damages) {
    std::string damaged = bytes;
    damaged.replace(d.offset, d.bytes.size(), d.bytes);
    const std::string damaged_file = dir_.File("damaged.bin");
    ASSERT_TRUE(vd::os::SaveFileAtomically(damaged_file, damaged));
    CSerializableStream in;
    ASSERT_TRUE(in.OpenRead(damaged_file));
    EXPECT_FALSE(restored.Serialize(in)) << "damage at " << d.offset;
  }

  // The chart file gone: the catalogue's best chart at the stored centre opens instead.
  const std::string coarse = Chart("coarse.qct", 2 * kDegreesPerPixel, 24);
  ASSERT_TRUE(vd::os::RemoveFile(path));
  catalogue_->Rescan();
  CQuickChartView fallback;
  fallback.OnSize(0, 0, kWidth, kHeight);
  CSerializableStream in;
  ASSERT_TRUE(in.OpenRead(file));
  ASSERT_TRUE(fallback.Serialize(in));
  EXPECT_EQ(fallback.ChartFileName(), coarse);
  double lat2, lon2;
  ASSERT_TRUE(fallback.GetCentre(lat2, lon2));
  EXPECT_NEAR(lat2, lat, 4 * kDegreesPerPixel);
  EXPECT_NEAR(lon2, lon, 4 * kDegreesPerPixel);
}

TEST_F(ChartViewTest, ResizingKeepsTheCentreAndABusyViewDrawsNothing) {
  view_.OpenChartByPath(nullptr, Chart("fine.qct", kDegreesPerPixel), false);
  double lat, lon, lat2, lon2;
  ASSERT_TRUE(view_.GetCentre(lat, lon));
  const int before = invalidated_;
  view_.OnSize(0, 0, 300, 200);
  EXPECT_GT(invalidated_, before);
  ASSERT_TRUE(view_.GetCentre(lat2, lon2));
  EXPECT_NEAR(lat2, lat, kDegreesPerPixel * 4);
  EXPECT_NEAR(lon2, lon, kDegreesPerPixel * 4);
  view_.OnSize(0, 0, kWidth, kHeight);

  const vd::ui::Image shown = DrawSettled();
  EXPECT_NE(shown.Pixel(kWidth / 2, kHeight / 2), kBackground);
  view_.StopChart();
  vd::ui::Image image(kWidth, kHeight, kBackground);
  vd::ui::Surface dc(image);
  view_.OnDraw(dc, 0, 0, kWidth, kHeight);
  EXPECT_EQ(image.Pixel(kWidth / 2, kHeight / 2), kBackground);
  view_.ReloadChart();
  EXPECT_NE(DrawSettled().Pixel(kWidth / 2, kHeight / 2), kBackground);
}

TEST_F(ChartViewTest, FilesOpenByTypeAndByWhatTheyHold) {
  BoxRecorder boxes;
  vd::ui::ScopedResponder scope(&boxes);
  const std::string chart = Chart("fine.qct", kDegreesPerPixel);
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(chart, bytes));

  const std::string bare = dir_.File("docs/download");  // a chart without its extension
  ASSERT_TRUE(vd::os::SaveFileAtomically(bare, bytes));
  EXPECT_TRUE(view_.OpenFileByType(bare));
  EXPECT_EQ(view_.ChartFileName(), bare + ".qct");
  EXPECT_FALSE(vd::os::FileExists(bare));

  // The name it would take is there already: nothing is renamed or opened.
  ASSERT_TRUE(vd::os::SaveFileAtomically(bare, bytes));
  EXPECT_FALSE(view_.OpenFileByType(bare));
  EXPECT_TRUE(vd::os::FileExists(bare));

  const std::string unknown = dir_.File("docs/notes.xyz");
  ASSERT_TRUE(vd::os::SaveFileAtomically(unknown, "text"));
  EXPECT_FALSE(view_.OpenFileByType(unknown));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0], "Unknown file type: File extension \"xyz\" is not recognized");
  EXPECT_FALSE(view_.OpenFileByType(dir_.File("docs/missing.qct")));
  const std::string junk = dir_.File("docs/junk");
  ASSERT_TRUE(vd::os::SaveFileAtomically(junk, "JUNK"));
  EXPECT_FALSE(view_.OpenFileByType(junk));
  EXPECT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(view_.ChartFileName(), bare + ".qct") << "the open chart stays";
}

TEST_F(ChartViewTest, ActivityLinksShowPlacesAndOpenDownloadedCharts) {
  const std::string fine = Chart("fine.qct", kDegreesPerPixel);
  UseCatalogue();
  // view: the scale is given in units of 0.00004 nautical miles per pixel.
  const double scale = 60 * kDegreesPerPixel * 4 / 0.00004;
  ASSERT_TRUE(view_.RunActivityCommand("view", "lat=49.95&lon=-4.95&scale=" + std::to_string(scale)));
  EXPECT_EQ(view_.ChartFileName(), fine);
  EXPECT_EQ(view_.level(), 2);
  EXPECT_FALSE(view_.RunActivityCommand("view", "lat=95&lon=1"));
  EXPECT_FALSE(view_.RunActivityCommand("jump", "lat=49&lon=-4"));

  // open: a chart on a server lands in the temporary folder and opens.
  vd::test::TempDir temp;
  const char* old_temp = std::getenv("XDG_RUNTIME_DIR");
  const std::string kept = old_temp ? old_temp : "";
  setenv("XDG_RUNTIME_DIR", temp.path().c_str(), 1);
  {
    vd::test::HttpTestServer server;
    std::string bytes;
    ASSERT_TRUE(vd::os::ReadWholeFile(Chart("remote.qct", 2 * kDegreesPerPixel), bytes));
    server.Serve("/charts/remote.qct", bytes);
    ASSERT_TRUE(view_.RunActivityCommand("open", server.BaseUrl() + "/charts/remote.qc3"));
    EXPECT_EQ(view_.ChartFileName(), temp.path() + "/Vardune/remote.qct");
    // A failed download leaves the view on the chart it had.
    EXPECT_FALSE(view_.RunActivityCommand("fetch", server.BaseUrl() + "/charts/gone.qct"));
    EXPECT_EQ(view_.ChartFileName(), temp.path() + "/Vardune/remote.qct");
    EXPECT_FALSE(view_.busy());
    vd::os::HttpCloseIdleConnections();
  }
  if (old_temp) {
    setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
  // open: a local path opens at once.
  ASSERT_TRUE(view_.RunActivityCommand("open", fine));
  EXPECT_EQ(view_.ChartFileName(), fine);

  // mark: shows the place and leaves a named mark there.
  CMarkManager marks;
  ASSERT_TRUE(view_.RunActivityCommand("mark", "lat=49.96&lon=-4.97&name=Buoy"));
  ASSERT_TRUE(view_.RunActivityCommand("mark", "lat=49.97&lon=-4.96"));
  std::vector<std::string> made;
  marks.ForEachMark([&made](const COverlayMark& mark) {
    made.push_back(mark.name + " " + std::to_string(mark.latitude).substr(0, 5));
  });
  EXPECT_EQ(made, (std::vector<std::string>{"Buoy 49.96", "Mark 49.97"}));
  EXPECT_EQ(view_.layer_count(), 2u) << "the marks lie over the chart";
}

// A mark at a position that draws a red pixel at its screen point and records taps.
struct PinObject : COverlayObject {
  PinObject(double lat, double lon) : COverlayObject(kMark, kDrawKeyMark), lat(lat), lon(lon) {
    NotifyChange(kAppeared);
  }
  ~PinObject() override { NotifyChange(kGoingAway); }
  void Project(CScreenPoints& points, const ChartViewGeoref& georef) override {
    points.Clear();
    float x, y;
    if (!georef.LatLonToScreen(lat, lon, x, y)) return;
    points.Append({x, y});
    points.kind = CScreenPoints::kPoints;
    points.hit_count = 1;
    points.valid = true;
    points.ComputeBounds();
  }
  void Draw(vd::ui::Surface& dc, const CScreenTransform&, const CScreenPoints& points) override {
    const ScreenPointF p = points.screen_points.front();
    drawn_at = {int(std::lround(p.x)), int(std::lround(p.y))};
    dc.FillRect({drawn_at.x, drawn_at.y, drawn_at.x + 1, drawn_at.y + 1}, kPin);
  }
  bool OnTap(float, float, const GeoPoint&) override { return ++taps, true; }
  bool HitTest(float, float, const GeoPoint&) override { return true; }
  static constexpr vd::ui::ColourRef kPin = 0x0000FF;
  double lat, lon;
  vd::ui::Point drawn_at{-1, -1};
  int taps = 0;
};

// Overlay objects that appear are laid over the chart at their positions, follow pans and
// zooms, take the taps and touches on them, and leave the view when they go away.
TEST_F(ChartViewTest, OverlayObjectsAreDrawnOverTheChartAndTakeTheirTaps) {
  view_.OpenChartByPath(nullptr, Chart("fine.qct", kDegreesPerPixel), false);
  GoToLevel(0);
  double lat, lon;
  ASSERT_TRUE(view_.ScreenToLatLon(200, 150, lat, lon));
  auto pin = std::make_unique<PinObject>(lat, lon);
  EXPECT_EQ(view_.layer_count(), 1u);
  for (int step : {0, 1, -2}) {
    view_.ZoomBy(step);
    view_.Pan(7, -3);
    float x, y;
    ASSERT_TRUE(view_.LatLonToScreen(lat, lon, x, y));
    const vd::ui::Image image = DrawSettled();
    EXPECT_NEAR(pin->drawn_at.x, x, 1.0) << "level " << view_.level();
    EXPECT_NEAR(pin->drawn_at.y, y, 1.0) << "level " << view_.level();
    EXPECT_EQ(image.Pixel(pin->drawn_at.x, pin->drawn_at.y), 0xFFFF0000u);
    EXPECT_TRUE(view_.OnTap(x + 3, y));
    view_.OnTouchDown(x, y + 2);
    EXPECT_NE(view_.touch_layer(), nullptr) << "the mark takes the touch";
    view_.OnTouchUp();
  }
  EXPECT_EQ(pin->taps, 3);
  float x, y;
  ASSERT_TRUE(view_.LatLonToScreen(lat, lon, x, y));
  EXPECT_FALSE(view_.OnTap(x + 100, y + 100)) << "away from the mark, without a catalogue";
  pin.reset();
  EXPECT_EQ(view_.layer_count(), 0u);
  EXPECT_EQ(view_.touch_layer(), nullptr);
}

}  // namespace
