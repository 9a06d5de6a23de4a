#pragma once
// What the chart view tests run a view in: the test chart, a small document, a window and frame
// that record what the view asks of them (the clock is the test's, tiles arrive when the test
// dispatches them), and an overlay object at one chart pixel.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "corvex/ostrel_view.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace vd::test {

// The test chart: pixel (0, 0) at (kChartNorth, kChartWest), kDegreesPerPixel both ways.
constexpr double kDegreesPerPixel = 1.0 / 3600;
constexpr double kChartNorth = 50.0;
constexpr double kChartWest = -5.0;

// The chart position of a chart pixel's middle.
inline void PixelPosition(double x, double y, double& lat, double& lon) {
  lat = kChartNorth - (y + 0.5) * kDegreesPerPixel;
  lon = kChartWest + (x + 0.5) * kDegreesPerPixel;
}

// The test chart at a scale: 512 x 384 pixels, north up, its outline along its edges.
inline ChartFixture TestChart(double degrees_per_pixel = kDegreesPerPixel) {
  ChartFixture chart;
  chart.width = 8;
  chart.height = 6;
  chart.georef = ChartFixture::LinearGeoref(kChartNorth, kChartWest, degrees_per_pixel);
  const double south = kChartNorth - 384 * degrees_per_pixel;
  const double east = kChartWest + 512 * degrees_per_pixel;
  chart.outline = {{kChartNorth, kChartWest}, {kChartNorth, east}, {south, east},
                   {south, kChartWest}};
  return chart;
}

// A document: an object list holding the chart outlines it is asked for, and its views.
class TestDocument : public COstrelDocBase, public CViewDocument {
 public:
  ~TestDocument() override {
    for (COstrelObject* object : ObjectList(objects)) object->Release();
  }
  void UpdateAllViews(COstrelViewBase* sender, int hint, COstrelObject* object) override {
    for (COstrelView* view : views) view->OnUpdate(sender, hint, object);
  }
  ObjectList* GetObjectList() override { return &objects; }
  COldChartOutline* FindOrAddChartOutline(const std::string& path) override {
    if (!lists_charts) return nullptr;
    for (COstrelObject* object : objects) {
      auto* outline = dynamic_cast<COldChartOutline*>(object);
      if (outline && outline->chart_path == path) return outline;
    }
    return Add(new COldChartOutline);
  }
  const CViewPlacement* GetPendingPlacement() const override {
    return pending ? &*pending : nullptr;
  }
  bool MaximiseViews() const override { return false; }
  std::vector<CDocView*> GetChartViews() const override { return {views.begin(), views.end()}; }
  void ShowView(CDocView*) override {}
  bool SyncViews() const override { return false; }
  void SyncViewsTo(CDocView*, double, double) override {}
  void OpenMapShop(const std::vector<GeoPoint>& area, const std::string& chart,
                   bool download_area) override {
    shop_area = area;
    shop_chart = chart;
    shop_downloads = download_area;
  }

  // Appends with the list's reference.
  template <class T>
  T* Add(T* object) {
    object->AddRef();
    objects.push_back(object);
    return object;
  }

  ObjectList objects;
  std::vector<COstrelView*> views;
  std::optional<CViewPlacement> pending;
  std::vector<GeoPoint> shop_area;  // what the map shop was last opened on
  std::string shop_chart;
  bool shop_downloads = false;
  bool lists_charts = true;
};

// The window and the frame of a view.
class TestWindow : public CViewWindow, public CViewFrame {
 public:
  // Client (0, 0) lies here on the screen.
  static constexpr vd::ui::Point kScreenOrigin{1000, 500};

  // A menu entry the frame was asked to show, with the state the view gave it; path names the
  // submenus above it ("Maps at Cursor").
  struct TrackedItem {
    std::string path;
    int id = 0;
    std::string text;
    unsigned flags = 0;
  };

  TestWindow()
      : messages([this](const vd::os::Message& m) -> intptr_t {
          return view && m.msg == vd::ui::kWmUser ? view->OnUserMessage(m.wparam, m.lparam) : 0;
        }) {}

  vd::os::MessageWindow& MessageTarget() override { return messages; }
  void Invalidate(const vd::ui::Rect& rect) override { invalidated.push_back(rect); }
  bool SetTimer(uintptr_t, int) override { return true; }
  vd::ui::Size ScreenSize() const override { return {640, 480}; }
  QWidget* DialogOwner() override { return nullptr; }
  vd::ui::Point ClientToScreen(vd::ui::Point client) const override {
    return {client.x + kScreenOrigin.x, client.y + kScreenOrigin.y};
  }
  void SetCursorScreenPos(vd::ui::Point screen) override { cursor_moves.push_back(screen); }
  int64_t TickCount() const override { return now_ms; }

  void SetStatusText(const std::string& text) override { status = text; }
  void SetFrameTitle(const std::string& text) override { title = text; }
  void MaximiseFrame() override {}
  void CloseFrame() override { ++closes; }
  void SetFramePlacement(const CWindowPlacement&) override {}
  std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int menu_id) override {
    return COstrelView::LoadViewMenu(menu_id);
  }
  void TrackContextMenu(const vd::ui::PopupMenu& menu, const vd::ui::Point&) override {
    tracked.clear();
    if (view) Record(*view->WithCommandStates(menu), "");
  }
  void SetReadoutText(const std::string& text) override { readout = text; }

  // The entries of the last menu shown under a path.
  std::vector<TrackedItem> TrackedUnder(const std::string& path) const {
    std::vector<TrackedItem> items;
    for (const TrackedItem& item : tracked) {
      if (item.path == path) items.push_back(item);
    }
    return items;
  }

  COstrelView* view = nullptr;
  vd::os::MessageWindow messages;
  std::vector<vd::ui::Rect> invalidated;
  std::vector<vd::ui::Point> cursor_moves;
  std::vector<TrackedItem> tracked;
  int64_t now_ms = 0;
  std::string status;
  std::string readout;
  std::string title;
  int closes = 0;

 private:
  void Record(const vd::ui::PopupMenu& menu, const std::string& path) {
    for (const vd::ui::PopupMenu::Item& item : menu.items()) {
      if (item.submenu) {
        Record(*item.submenu, path.empty() ? item.text : path + "/" + item.text);
      } else if (!item.separator) {
        tracked.push_back({path, item.id, item.text, item.flags});
      }
    }
  }
};

// An overlay object at one chart pixel that records how it is drawn.
class ProbeObject : public COstrelObject {
 public:
  explicit ProbeObject(vd::ui::Point pixel) : pixel_(pixel) {}
  void PrepareView(CMappedObject& mapped, COldQuickChart*, CRubberBand&) override {
    ++prepared;
    mapped.SetPointCount(1);
    mapped.chart_points()[0] = pixel_;
    mapped.kind = CMappedObject::kPoints;
    mapped.Project();
  }
  void DrawAtZoom(vd::ui::Surface&, vd::ui::Graphics&, CMappedObject&, int, bool quick) override {
    if (log) log->push_back(quick);
  }

  int prepared = 0;
  std::vector<bool>* log = nullptr;

 private:
  vd::ui::Point pixel_;
};

// A 300 x 200 view on the test chart, its outline hidden, for tests that render chart areas and
// compare them with the chart's own pixels.
class ViewOnTestChart : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.File("profile"));
    fixture = TestChart();
    chart_path = dir.File("chart.qct");
    ASSERT_TRUE(WriteChartFixture(chart_path, fixture));
    view = std::make_unique<COstrelView>(document, window, window);
    window.view = view.get();
    document.views.push_back(view.get());
    view->OnSize(300, 200);
    ASSERT_TRUE(view->OpenChartFile(chart_path));
    if (view->outline()) view->outline()->visible = false;
  }
  void TearDown() override {
    document.views.clear();
    view.reset();
  }

  // The 0x00RRGGBB palette colour of a chart pixel; index 1 outside the chart.
  uint32_t ChartRgb(int x, int y) const {
    const bool inside = x >= 0 && y >= 0 && x < fixture.width * 64 && y < fixture.height * 64;
    const int index = inside ? FixturePixel(fixture, x, y) : 1;
    const uint8_t* q = view->chart()->palette().data() + 4 * index;
    return uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
  }
  // Each channel the truncated mean of the 2^s x 2^s chart pixels under output pixel (i, j) of an
  // area whose top-left chart pixel is (x0, y0).
  uint32_t MeanRgb(int s, int x0, int y0, int i, int j) const {
    const int side = 1 << s;
    uint32_t sum[3] = {};
    for (int dy = 0; dy < side; ++dy) {
      for (int dx = 0; dx < side; ++dx) {
        const uint32_t c = ChartRgb(x0 + i * side + dx, y0 + j * side + dy);
        for (int k = 0; k < 3; ++k) sum[k] += (c >> (8 * k)) & 0xFF;
      }
    }
    return (sum[2] >> (2 * s)) << 16 | (sum[1] >> (2 * s)) << 8 | (sum[0] >> (2 * s));
  }

  TempDir dir;
  ChartFixture fixture;
  std::string chart_path;
  TestDocument document;
  CCurrentOwnerScope owner{&document};
  TestWindow window;
  std::unique_ptr<COstrelView> view;
};

}  // namespace vd::test
