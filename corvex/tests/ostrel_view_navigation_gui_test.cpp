#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "charts/chart_file_task.h"
#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/ostrel_doc_test_world.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "geodesy/plane_geometry.h"
#include "overlays/obj_current_position.h"
#include "platform/os/files.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"

namespace {

using vd::test::PixelPosition;
using vd::test::TestWindow;
using vd::ui::Point;

// A view of the test chart ("own.qct") in the program's document, with other charts beside it,
// all sharing the chart's top-left corner.
class ChartViewNavigationTest : public testing::Test {
 protected:
  void SetUp() override {
    own = world.root.File("own.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(own, vd::test::TestChart()));
    doc = &world.Doc();
  }
  void TearDown() override {
    if (view) doc->RemoveView(view.get());
    view.reset();
    window.view = nullptr;
  }

  // A chart at `factor` times the own chart's degrees a pixel, listed in the document.
  std::string AddChart(const std::string& name, double factor) {
    const std::string path = world.root.File(name);
    EXPECT_TRUE(vd::test::WriteChartFixture(
        path, vd::test::TestChart(factor * vd::test::kDegreesPerPixel)));
    EXPECT_NE(nullptr, doc->FindOrAddChartOutline(path));
    return path;
  }

  COstrelView& OpenView() {
    view = std::make_unique<COstrelView>(*doc, window, window);
    window.view = view.get();
    doc->AddView(view.get());
    view->OnSize(300, 200);
    EXPECT_TRUE(view->OpenChartFile(own));
    view->OnUpdate(nullptr, kChangeAdded, nullptr);  // maps the charts added before
    return *view;
  }

  bool Command(int id) { return view->OnCommand(id); }
  CCmdUI Update(int id) {
    CCmdUI ui;
    EXPECT_TRUE(view->OnUpdateCommand(id, ui)) << id;
    return ui;
  }

  vd::test::DocWorld world;
  COstrelDoc* doc = nullptr;
  std::string own;
  TestWindow window;
  std::unique_ptr<COstrelView> view;
};

TEST_F(ChartViewNavigationTest, OtherChartsAtTheCursorByScale) {
  const std::string larger = AddChart("larger.qct", 0.5);
  AddChart("largest.qct", 0.25);
  const std::string equal = AddChart("equal.qct", 1.0);
  const std::string smaller = AddChart("smaller.qct", 3.0);
  COstrelView& v = OpenView();
  const Point pixel{10, 10};  // inside every chart
  // The next scale each way; a chart of the same scale is never "larger" or "smaller".
  EXPECT_EQ(larger, v.FindMapAt(COstrelView::MapChoice::kLarger, pixel));
  EXPECT_EQ(smaller, v.FindMapAt(COstrelView::MapChoice::kSmaller, pixel));
  // The own chart fits best, and wins the tie with the chart of equal scale: nothing to open.
  EXPECT_EQ("", v.FindMapAt(COstrelView::MapChoice::kSame, pixel));
  // Outside the other charts only the own chart is left.
  EXPECT_EQ("", v.FindMapAt(COstrelView::MapChoice::kLarger, {500, 380}));
  v.CentreOn(10, 10, 0);
  EXPECT_EQ(equal, v.FindBestChartAtCentre());
  v.SetAnchorPoint({150, 100});

  // Scale In opens the larger-scale chart at the same place and a matching scale.
  double lat = 0, lon = 0;
  ASSERT_TRUE(v.GetCentreLatLon(lat, lon));
  ASSERT_TRUE(Command(COstrelView::kCmdScaleIn));
  EXPECT_EQ(larger, v.GetChartPath());
  EXPECT_EQ(1, v.zoom()) << "twice the pixels a degree, one step out";
  double lat2 = 0, lon2 = 0;
  ASSERT_TRUE(v.GetCentreLatLon(lat2, lon2));
  EXPECT_NEAR(lat, lat2, 2 * vd::test::kDegreesPerPixel);
  EXPECT_NEAR(lon, lon2, 2 * vd::test::kDegreesPerPixel);
  ASSERT_EQ(1u, v.history().size()) << "the place left is recorded";
  EXPECT_EQ(own, v.history()[0].chart_path);
}

TEST_F(ChartViewNavigationTest, BackAndForwardThroughThePlaces) {
  const std::string larger = AddChart("larger.qct", 0.5);
  COstrelView& v = OpenView();
  EXPECT_FALSE(Update(COstrelView::kCmdBack).enabled);
  EXPECT_FALSE(Update(COstrelView::kCmdForward).enabled);
  v.CentreOn(40, 30, 0);
  v.SetAnchorPoint({150, 100});
  const Point own_origin = v.origin();
  ASSERT_TRUE(Command(COstrelView::kCmdScaleIn));
  ASSERT_EQ(larger, v.GetChartPath());
  v.CentreOn(100, 100, 1);
  const Point larger_origin = v.origin();

  ASSERT_TRUE(Update(COstrelView::kCmdBack).enabled);
  ASSERT_TRUE(Command(COstrelView::kCmdBack));
  EXPECT_EQ(own, v.GetChartPath());
  EXPECT_EQ(own_origin, v.origin());
  EXPECT_EQ(0, v.zoom());
  EXPECT_TRUE(Update(COstrelView::kCmdForward).enabled);

  ASSERT_TRUE(Command(COstrelView::kCmdForward));
  EXPECT_EQ(larger, v.GetChartPath());
  EXPECT_EQ(larger_origin, v.origin());
  EXPECT_EQ(1, v.zoom());
  EXPECT_FALSE(Update(COstrelView::kCmdForward).enabled);
  EXPECT_EQ(v.history().size(), v.history_cursor());
}

TEST_F(ChartViewNavigationTest, PansRecordANewAreaOnlyAndTheHistoryKeepsTheNewest) {
  COstrelView& v = OpenView();
  v.CentreOn(150, 100, 0);
  const auto press = [&](Point p) {
    v.OnInputMessage({vd::ui::kWmLButtonDown, vd::ui::kMkLButton, vd::ui::MakeLParam(p.x, p.y)});
    v.OnInputMessage({vd::ui::kWmLButtonUp, 0, vd::ui::MakeLParam(p.x, p.y)});
  };
  press({50, 50});
  ASSERT_EQ(1u, v.history().size());
  // A pan within the window's area just recorded adds nothing.
  v.CentreOn(200, 150, 0);
  press({50, 50});
  EXPECT_EQ(1u, v.history().size());
  // After a move to an area apart from it, the next pan records.
  v.CentreOn(450, 350, 0);
  press({50, 50});
  ASSERT_EQ(2u, v.history().size());
  EXPECT_EQ(v.origin(), v.history().back().origin);

  // The oldest places go past the limit.
  for (int i = 0; i < 105; ++i) {
    v.CentreOn(i, 0, 0);
    v.PushHistory(true);
  }
  ASSERT_EQ(COstrelView::kMaxHistory, v.history().size());
  v.CentreOn(5, 0, 0);
  EXPECT_EQ(v.origin(), v.history().front().origin);
}

TEST_F(ChartViewNavigationTest, LockOnFollowsTheGpsAcrossChartsAndStopsOffThem) {
  const std::string wide = AddChart("wide.qct", 4.0);
  CObjCurrentPosition* gps = doc->GetCurrentPositionObject();
  ASSERT_NE(nullptr, gps);
  COstrelView& v = OpenView();
  v.CentreOn(256, 192, 0);
  const auto fix = [&](double x, double y) {
    gps->valid = 1;
    PixelPosition(x, y, gps->position.lat, gps->position.lon);
    gps->NotifyChange(kChangeModified);
  };
  EXPECT_FALSE(Update(COstrelView::kCmdLockOnGps).enabled) << "no fix yet";
  fix(300, 200);
  ASSERT_TRUE(Update(COstrelView::kCmdLockOnGps).enabled);
  ASSERT_TRUE(Command(COstrelView::kCmdLockOnGps));
  ASSERT_TRUE(v.IsLockedOn());
  EXPECT_TRUE(Update(COstrelView::kCmdLockOnGps).checked);
  EXPECT_EQ((Point{300, 200}), v.ClientToChart({150, 100}));

  fix(310, 205);
  EXPECT_EQ((Point{310, 205}), v.ClientToChart({150, 100}));

  // Past this chart's edge the chart holding the position takes over, still locked on.
  fix(700, 200);
  EXPECT_EQ(wide, v.GetChartPath());
  EXPECT_TRUE(v.IsLockedOn());

  // Far off every chart lock-on ends.
  fix(100000, 200);
  EXPECT_FALSE(v.IsLockedOn());
  fix(300, 200);
  ASSERT_TRUE(Command(COstrelView::kCmdLockOnGps));
  ASSERT_TRUE(v.IsLockedOn());
  ASSERT_TRUE(Command(COstrelView::kCmdLockOnGps));
  EXPECT_FALSE(v.IsLockedOn());
}

TEST_F(ChartViewNavigationTest, ExportsAChartAreaWithItsTitleAndCompanions) {
  COstrelView& v = OpenView();
  const std::string own_qed = world.root.File("own.qed");
  ASSERT_TRUE(vd::os::SaveFileAtomically(own_qed, "elevation"));
  const std::vector<PlanePoint> area{{10, 10}, {200, 10}, {200, 150}, {10, 150}};
  const std::string target = world.root.File("cut.qct");

  int steps = 0;
  ChartFileTask task;
  task.progress = [&](const std::string&, int, int) { return ++steps > 0; };
  ASSERT_TRUE(v.ExportMapArea(area, target, "Cut out", task));
  EXPECT_GT(steps, 0) << "progress shown";
  std::unique_ptr<COldQuickChart> cut = OpenOldQuickChart(target, false);
  ASSERT_NE(nullptr, cut);
  std::string title;
  cut->GetHeaderString(kQctTitle, title);
  EXPECT_EQ("Cut out", title);
  std::string copied;
  ASSERT_TRUE(vd::os::ReadWholeFile(world.root.File("cut.qed"), copied));
  EXPECT_EQ("elevation", copied);

  // Refused: too few points, the open chart as target, a cancelled task.
  ChartFileTask cancel;
  cancel.progress = [](const std::string&, int, int) { return false; };
  for (const auto& [points, path, chosen_task] :
       {std::tuple{std::vector<PlanePoint>(area.begin(), area.begin() + 2),
                   world.root.File("a.qct"), ChartFileTask{}},
        std::tuple{area, own, ChartFileTask{}},
        std::tuple{area, world.root.File("b.qct"), cancel}}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(v.ExportMapArea(points, path, "x", chosen_task));
    if (path != own) {
      EXPECT_FALSE(std::filesystem::exists(path));
    }
  }
  EXPECT_NE(nullptr, OpenOldQuickChart(own, false)) << "the source is intact";
}

TEST_F(ChartViewNavigationTest, DownloadCommandsNeedADownloadableChart) {
  COstrelView& v = OpenView();
  for (const int id : {33703, 33658, 33653, 33704, 33705}) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(Update(id).enabled);
  }
  EXPECT_FALSE(v.DownloadChunks(v.WindowPolygon(), 0));
  EXPECT_EQ(own, v.GetChartPath()) << "the chart stays open";
  const std::vector<PlanePoint> window = v.WindowPolygon();
  ASSERT_EQ(5u, window.size());
  EXPECT_EQ(window.front().x, window.back().x);
  EXPECT_EQ(window.front().y, window.back().y);
}

}  // namespace
