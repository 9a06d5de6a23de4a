#include "corvex/ui/chart_view_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <chrono>
#include <climits>
#include <memory>
#include <optional>

#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

// A document with the outlines it is asked for and no views of its own.
class OutlineDocument : public COstrelDocBase, public CViewDocument {
 public:
  ~OutlineDocument() override {
    for (COstrelObject* object : objects) object->Release();
  }
  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  ObjectList* GetObjectList() override { return &objects; }
  COldChartOutline* FindOrAddChartOutline(const std::string&) override {
    auto* outline = new COldChartOutline;
    outline->visible = false;
    outline->AddRef();
    objects.push_back(outline);
    return outline;
  }
  const CViewPlacement* GetPendingPlacement() const override {
    return pending ? &*pending : nullptr;
  }
  bool MaximiseViews() const override { return false; }
  std::vector<CDocView*> GetChartViews() const override { return {}; }
  void ShowView(CDocView*) override {}
  bool SyncViews() const override { return false; }
  void SyncViewsTo(CDocView*, double, double) override {}

  ObjectList objects;
  std::optional<CViewPlacement> pending;
};

// Runs the event loop until the condition holds or a generous time has passed.
bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

class ChartViewWidgetTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.File("profile"));
    ASSERT_TRUE(vd::test::WriteChartFixture(path, fixture));
  }

  vd::test::TempDir dir;
  vd::test::ChartFixture fixture;  // 128 x 128 chart pixels
  std::string path = dir.File("chart.qct");
  OutlineDocument document;
  CCurrentOwnerScope owner{&document};
};

TEST_F(ChartViewWidgetTest, TilesPostedByTheHelperThreadReachTheScreen) {
  CChartViewWidget widget(document);
  widget.resize(200, 150);
  widget.show();
  ASSERT_TRUE(WaitFor([&] { return widget.view()->client_size() == vd::ui::Size{200, 150}; }));
  COstrelView& view = *widget.view();
  ASSERT_TRUE(view.OpenChartFile(path));
  EXPECT_EQ(QString::fromStdString(path), widget.windowTitle());
  view.CentreOn(100, 75, 0);

  EXPECT_EQ(QColor(0xE6, 0xE6, 0xE6), widget.grab().toImage().pixelColor(10, 10));
  ASSERT_GT(view.QueuedTileCount(), 0);
  ASSERT_TRUE(WaitFor([&] { return view.QueuedTileCount() == 0; }));

  const QImage screen = widget.grab().toImage();
  const uint8_t* palette = view.chart()->palette().data();
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{10, 10}, std::pair{127, 127}}) {
    const int index = vd::test::FixturePixel(fixture, x, y);
    const uint8_t* q = palette + 4 * index;
    EXPECT_EQ(QColor(q[2], q[1], q[0]), screen.pixelColor(x, y)) << x << "," << y;
  }
}

TEST_F(ChartViewWidgetTest, NewViewWithoutAChartClosesItsFrameLater) {
  auto* frame = new QWidget;
  QPointer<QWidget> watch = frame;
  frame->setAttribute(Qt::WA_DeleteOnClose);
  auto* widget = new CChartViewWidget(document, frame);
  frame->show();
  widget->view()->OnInitialUpdate();
  EXPECT_TRUE(frame->isVisible()) << "not inside the call";
  EXPECT_TRUE(WaitFor([&] { return watch.isNull(); }));
}

// The placement comes from the stored configuration, which may be damaged.
TEST_F(ChartViewWidgetTest, FramePlacementOfAnyCornersOpensTheChart) {
  for (const auto& [left, right] : {std::pair{INT32_MIN, INT32_MAX}, std::pair{INT32_MAX, INT32_MIN},
                                    std::pair{10, 400}}) {
    CViewPlacement placement;
    placement.chart_path = path;
    placement.window.show_cmd = kShowNormal;
    placement.window.left = placement.window.top = left;
    placement.window.right = placement.window.bottom = right;
    document.pending = placement;
    auto frame = std::make_unique<QWidget>();
    auto* widget = new CChartViewWidget(document, frame.get());
    widget->view()->OnInitialUpdate();
    EXPECT_NE(nullptr, widget->view()->chart()) << left << ".." << right;
    EXPECT_GE(frame->width(), 0);
    EXPECT_GE(frame->height(), 0);
  }
}

TEST_F(ChartViewWidgetTest, ClosingWithTilesQueuedWaitsForThem) {
  auto widget = std::make_unique<CChartViewWidget>(document);
  widget->resize(600, 400);
  ASSERT_TRUE(widget->view()->OpenChartFile(path));
  widget->view()->OnSize(600, 400);
  widget->grab();
  ASSERT_GT(widget->view()->QueuedTileCount(), 0);
  widget.reset();  // the view takes its tiles back through the still open window
}

}  // namespace
