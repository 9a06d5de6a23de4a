// Requests of other programs against the program's document with a chart view open: whatever
// numbers a client writes, the objects they make or change are drawn without harm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "corvex/doc_api_host.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/api_test_support.h"
#include "corvex/tests/ostrel_doc_test_world.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "platform/os/files.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"

namespace {

using vd::test::WireReader;
using vd::test::WireWriter;

class ApiChartViewTest : public testing::Test {
 protected:
  void SetUp() override {
    chart_path = world.root.File("chart.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(chart_path, vd::test::TestChart()));
    doc = &world.Doc();
    host = std::make_unique<CDocApiHost>(*doc);
    view = std::make_unique<COstrelView>(*doc, window, window);
    window.view = view.get();
    doc->AddView(view.get());
    view->OnSize(300, 200);
    ASSERT_TRUE(view->OpenChartFile(chart_path));
    view->CentreOn(256, 192, 0);
  }
  void TearDown() override {
    doc->RemoveView(view.get());
    view.reset();
    window.view = nullptr;
  }

  int Run(int64_t code, const WireWriter& args = {}) {
    EXPECT_TRUE(vd::os::SaveFileAtomically(file, args.bytes()));
    CVD_transaction t(file);
    return ExecuteApiRequest(code, t, host.get());
  }
  ApiHandle RunForHandle(int64_t code, const WireWriter& args) {
    EXPECT_EQ(kApiOk, Run(code, args));
    std::string bytes;
    vd::os::ReadWholeFile(file, bytes);
    return WireReader(bytes).H();
  }
  void Paint() {
    vd::ui::Image image(300, 200, 0xFF000000);
    vd::ui::Surface surface(image);
    view->OnDraw(surface, {0, 0, 300, 200});
  }

  vd::test::DocWorld world;
  COstrelDoc* doc = nullptr;
  std::string chart_path;
  std::string file = world.root.File("VDAPI2.dat");
  std::unique_ptr<CDocApiHost> host;
  vd::test::TestWindow window;
  std::unique_ptr<COstrelView> view;
};

// A vessel outline set from outside reaches the views' records: drawing the vessel uses a record
// point for each outline point.
TEST_F(ApiChartViewTest, VesselOutlineFromAClientIsDrawnFromFreshRecords) {
  const ApiHandle target = RunForHandle(35, WireWriter().Str("Tug"));
  ASSERT_EQ(kApiOk, Run(37, WireWriter().H(target).I32(100).F64(49.95).F64(-4.95).F64(0).F64(45)
                                .F64(6).F64(45).F64(0).I32(0xFF).Str("under way")));
  Paint();
  const auto* vessel = host->Handles().Find(target, *doc->GetObjectList());
  ASSERT_NE(nullptr, vessel);
  const CMappedObject* record = view->mapped_objects().Find(vessel);
  ASSERT_NE(nullptr, record);
  EXPECT_EQ(5, record->point_count());

  ASSERT_EQ(kApiOk, Run(39, WireWriter().H(target).I32(3).I32(-10).I32(-20).I32(10).I32(-20)
                                .I32(0).I32(40)));
  record = view->mapped_objects().Find(vessel);
  ASSERT_NE(nullptr, record);
  EXPECT_EQ(8, record->point_count());
  Paint();

  ASSERT_EQ(kApiOk, Run(39, WireWriter().H(target).I32(1000)));
  EXPECT_EQ(5, view->mapped_objects().Find(vessel)->point_count());
  Paint();
}

// Numbers no sensible client sends (not a number, infinite, far outside any chart) for marks,
// circles, tracks, targets, fixes and the 3D camera: the objects are made and the view paints.
TEST_F(ApiChartViewTest, ExtremeNumbersFromAClientAreDrawnWithoutHarm) {
  const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), 1e308, -1e308, 1e-300};
  for (const double v : values) {
    SCOPED_TRACE(v);
    const ApiHandle mark = RunForHandle(5, WireWriter().Str("m").F64(v).F64(v).I32(INT32_MAX));
    Paint();
    EXPECT_EQ(kApiOk, Run(13, WireWriter().H(mark).F64(49.95).F64(-4.95)));
    for (int32_t mode = 1; mode <= 3; ++mode) {
      EXPECT_EQ(kApiOk, Run(24, WireWriter().H(mark).F64(v).I32(mode)));
      Paint();
    }
    EXPECT_EQ(kApiOk, Run(13, WireWriter().H(mark).F64(v).F64(-v)));
    Paint();

    const ApiHandle track = RunForHandle(26, WireWriter().Str("t").I32(-1).I32(1));
    EXPECT_EQ(kApiOk, Run(27, WireWriter().H(track).I32(3)
                                  .F64(49.95).F64(-4.95).I32(0).F64(v)
                                  .F64(v).F64(v).I32(INT32_MIN).F64(v)
                                  .F64(49.9).F64(-4.9).I32(INT32_MAX).F64(v)));
    Paint();

    // Turning targets are left out: the rate of turn is drawn by the vessel itself.
    const ApiHandle target = RunForHandle(35, WireWriter().Str("x"));
    EXPECT_EQ(kApiOk, Run(37, WireWriter().H(target).I32(INT32_MAX).F64(49.95).F64(-4.95)
                                  .F64(v).F64(v).F64(v).F64(v).F64(0).I32(-1).Str("s")));
    EXPECT_EQ(kApiOk, Run(39, WireWriter().H(target).I32(3).I32(INT32_MIN).I32(INT32_MAX)
                                  .I32(INT32_MAX).I32(INT32_MIN).I32(0).I32(1)));
    Paint();
    EXPECT_EQ(kApiOk, Run(37, WireWriter().H(target).I32(0).F64(v).F64(v).F64(v).F64(v).F64(v)
                                  .F64(v).F64(0).I32(0).Str("")));
    Paint();
    EXPECT_EQ(kApiOk, Run(32, WireWriter().F64(49.95).F64(-4.95).F64(v).F64(v).F64(v).I32(1)
                                  .I32(1).F64(v).F64(v)));
    Paint();
    EXPECT_EQ(kApiOk, Run(32, WireWriter().F64(v).F64(v).F64(v).F64(v).F64(v).I32(2).I32(1)
                                  .F64(v).F64(v)));
    Paint();
    EXPECT_EQ(kApiOk, Run(0x8003, WireWriter().F64(v).F64(v).F64(v)));
    EXPECT_EQ(kApiOk, Run(2, WireWriter().F64(v).F64(v).F64(-v).F64(v)));
    Paint();
  }
}

}  // namespace
