// The API client against the chart program's own request executor, document and chart views:
// a texture rendered for the client, the camera followed, and the codes of refused requests.
#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <string>

#include "corvex/api_executor.h"
#include "corvex/doc_api_host.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/ostrel_doc_test_world.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "lumex/api_client.h"
#include "lumex/tests/api_client_stub_server.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"

namespace {

// Chart frames whose views are the program's own chart view over a recording window.
class ViewFrameHost : public CChartFrameHost {
 public:
  explicit ViewFrameHost(COstrelDoc& doc) : doc_(doc) {}
  ~ViewFrameHost() override {
    for (auto& frame : frames_) doc_.RemoveView(frame.view.get());
  }
  CDocView* CreateChartFrame() override {
    Frame& frame = frames_.emplace_back();
    frame.view = std::make_unique<COstrelView>(doc_, frame.window, frame.window);
    frame.window.view = frame.view.get();
    doc_.AddView(frame.view.get());
    frame.view->OnSize(300, 200);
    frame.view->OnInitialUpdate();
    return frame.view.get();
  }
  void ShowFrameOf(CDocView*) override {}
  bool GetFramePlacement(const CDocView*, CWindowPlacement&) const override { return false; }
  void TileFrames() override {}

  COstrelView* view() { return frames_.empty() ? nullptr : frames_.front().view.get(); }

 private:
  struct Frame {
    vd::test::TestWindow window;
    std::unique_ptr<COstrelView> view;
  };
  COstrelDoc& doc_;
  std::list<Frame> frames_;
};

class ApiClientCorvexTest : public testing::Test {
 protected:
  void SetUp() override {
    CVD_transaction::InitApiTransactionFileName();
    chart_path = world.temp.File("chart.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(chart_path, vd::test::TestChart()));
    doc.Doc().SetFrameHost(&frames);
    ASSERT_TRUE(server.Listen("CorvexMainWnd", window));
    ASSERT_EQ(ApiConnect({2, 1}), kApiClientOk);
  }
  void TearDown() override {
    ApiDisconnect();
    server.Stop();
  }
  int Run(const std::function<int()>& client) { return vd::test::ServeWhile(window, client); }

  vd::test::ApiWorld world;
  vd::test::DocWorld doc;
  ViewFrameHost frames{doc.Doc()};
  CDocApiHost host{doc.Doc()};
  vd::os::MessageWindow window{[this](const vd::os::Message& m) -> intptr_t {
    if (m.msg != vd::os::kUserMessage || m.wparam != kApiRequestNotice) return 0;
    return ExecuteApiRequest(m.lparam, &host);
  }};
  vd::os::IpcServer server;
  std::string chart_path;
};

TEST_F(ApiClientCorvexTest, TextureOfAChartNoViewShowedYet) {
  const std::string texture = world.temp.File("MapSquare.dds");
  EXPECT_EQ(Run([&] { return ApiRenderChartArea(chart_path, 64, 32, 1, 96, 80, texture); }),
            kApiClientOk);
  COstrelView* view = frames.view();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->GetChartPath(), chart_path);

  // The same bytes as the view renders for itself.
  std::string served, direct;
  ASSERT_TRUE(vd::os::ReadWholeFile(texture, served));
  ASSERT_TRUE(view->RenderAreaToDDS(world.temp.File("direct.dds"), 1, 64, 32, 96, 80));
  ASSERT_TRUE(vd::os::ReadWholeFile(world.temp.File("direct.dds"), direct));
  EXPECT_EQ(served.size(), 128u + 96 * 80 * 4);
  EXPECT_EQ(served, direct);
}

TEST_F(ApiClientCorvexTest, RefusedTexturesLeaveNoFile) {
  const std::string texture = world.temp.File("MapSquare.dds");
  struct Case {
    const char* what;
    std::string chart;
    int32_t shift, width;
    std::string output;
    int result;
  };
  const Case cases[] = {
      {"no chart file", world.temp.File("missing.qct"), 0, 64, texture, 12},
      {"empty area", chart_path, 0, 0, texture, 8},
      {"shift out of range", chart_path, 6, 64, texture, 8},
      {"unwritable texture", chart_path, 0, 64, world.temp.File("no/such/folder.dds"), 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vd::os::SaveFileAtomically(c.output, "stale");  // none in a missing folder
    EXPECT_EQ(Run([&] { return ApiRenderChartArea(c.chart, 0, 0, c.shift, c.width, 64, c.output); }),
              c.result);
    EXPECT_FALSE(vd::os::FileExists(c.output));
  }
}

TEST_F(ApiClientCorvexTest, CameraPositionMovesTheMarkerAndOwnStateNeedsAVessel) {
  ASSERT_EQ(Run([&] {
              return ApiRenderChartArea(chart_path, 0, 0, 0, 8, 8, world.temp.File("t.dds"));
            }),
            kApiClientOk);
  COstrelView* view = frames.view();
  ASSERT_NE(view, nullptr);
  double lat = 0, lon = 0;
  vd::test::PixelPosition(100, 50, lat, lon);
  EXPECT_EQ(Run([&] { return ApiSendViewPosition(lat, lon, 0.5f); }), kApiClientOk);
  EXPECT_EQ(view->position_marker(), view->ChartToClient({100, 50}));

  CApiOwnState state;
  EXPECT_EQ(Run([&] { return ApiGetOwnState(state); }), 12);
}

}  // namespace
