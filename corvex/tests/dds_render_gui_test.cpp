// A chart view renders chart areas with their overlays into texture files for the 3D viewer,
// and the inter-program request asks the document's view for them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "corvex/dds_file.h"
#include "corvex/lumex_handover.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "overlays/ostrel_object.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

constexpr vd::ui::ColourRef kDotColour = 0x00FF00;  // green in either byte order
constexpr uint32_t kDotPixel = 0xFF00FF00;

// Paints one pixel at its chart pixel and records the zoom it was drawn at.
class DotObject : public COstrelObject {
 public:
  explicit DotObject(vd::ui::Point pixel) : pixel_(pixel) {}
  void PrepareView(CMappedObject& mapped, COldQuickChart*, CRubberBand&) override {
    mapped.SetPointCount(1);
    mapped.chart_points()[0] = pixel_;
    mapped.kind = CMappedObject::kPoints;
    mapped.Project();
  }
  void DrawAtZoom(vd::ui::Surface& dc, vd::ui::Graphics&, CMappedObject& mapped, int zoom,
                  bool quick) override {
    const vd::ui::Point p = mapped.client_points()[0];
    dc.FillRect({p.x, p.y, p.x + 1, p.y + 1}, kDotColour);
    drawn_zoom = zoom;
    drawn_quick = quick;
  }
  int drawn_zoom = -100;
  bool drawn_quick = true;

 private:
  vd::ui::Point pixel_;
};

uint32_t U32(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

class DdsRenderTest : public vd::test::ViewOnTestChart {
 protected:
  void SetUp() override {
    ViewOnTestChart::SetUp();
    view->CentreOn(256, 192, 0);
  }
  uint32_t ChartColour(int x, int y) const { return 0xFF000000u | ChartRgb(x, y); }
  uint32_t Expected(int s, int x0, int y0, int i, int j) const {
    return 0xFF000000u | MeanRgb(s, x0, y0, i, j);
  }
  std::string Render(int s, int x, int y, int w, int h) {
    const std::string out = dir.File("MapSquare.dds");
    vd::os::RemoveFile(out);
    EXPECT_TRUE(view->RenderAreaToDDS(out, s, x, y, w, h));
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(out, bytes));
    return bytes;
  }
  static uint32_t PixelAt(const std::string& dds, int width, int i, int j) {
    return U32(dds, kDdsHeaderSize + 4 * (size_t(j) * size_t(width) + size_t(i)));
  }

};

TEST_F(DdsRenderTest, TextureHoldsTheChartAreaPixelByPixel) {
  struct Case {
    int s, x, y, w, h;
    int file_w, file_h;  // what the file holds
  };
  const Case cases[] = {
      {0, 64, 32, 96, 80, 96, 80},
      {1, 128, 64, 64, 48, 64, 48},
      {2, 0, 0, 40, 30, 40, 30},
      {0, 480, 360, 64, 48, 64, 48},  // beyond the chart's right and bottom edges
      {-1, 10, 20, 256, 256, 128, 128},  // never magnified: half the size at shift 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "shift " << c.s << " at " << c.x << "," << c.y);
    const std::string dds = Render(c.s, c.x, c.y, c.w, c.h);
    ASSERT_EQ(dds.size(), kDdsHeaderSize + size_t(c.file_w) * size_t(c.file_h) * 4);
    EXPECT_EQ(dds.substr(0, 4), "DDS ");
    const std::pair<size_t, uint32_t> header[] = {
        {4, 124},          {8, 0x100F},        {12, uint32_t(c.file_h)}, {16, uint32_t(c.file_w)},
        {20, uint32_t(c.file_w * 4)}, {24, 0},  {28, 0},        {76, 32},
        {80, 0x40},        {84, 0},            {88, 32},       {92, 0x00FF0000},
        {96, 0x0000FF00},  {100, 0x000000FF},  {104, 0xFF000000}, {108, 0x1000},
        {112, 0},          {116, 0},           {120, 0},       {124, 0}};
    for (const auto& [offset, value] : header) EXPECT_EQ(U32(dds, offset), value) << offset;
    for (size_t offset = 32; offset < 76; offset += 4) EXPECT_EQ(U32(dds, offset), 0u);
    const int s = std::max(c.s, 0);
    for (int j = 0; j < c.file_h; ++j) {
      for (int i = 0; i < c.file_w; ++i) {
        // Blue, green, red as the first three bytes; the fourth is not looked at.
        ASSERT_EQ(PixelAt(dds, c.file_w, i, j) & 0xFFFFFF, Expected(s, c.x, c.y, i, j) & 0xFFFFFF)
            << "pixel " << i << "," << j;
      }
    }
  }
}

TEST_F(DdsRenderTest, OverlaysAreDrawnAtTheAreaScaleAndTheScreenRecordsComeBack) {
  auto* dot = document.Add(new DotObject({200, 100}));
  auto* hidden = document.Add(new DotObject({210, 100}));
  hidden->visible = false;
  view->OnUpdate(nullptr, kChangeAdded, nullptr);
  const vd::ui::Point on_screen = view->mapped_objects().Find(dot)->client_points()[0];

  // Shift 1 from (128, 64): chart pixel (200, 100) lands on (36, 18); (210, 100) on (41, 18).
  const std::string dds = Render(1, 128, 64, 64, 48);
  EXPECT_EQ(PixelAt(dds, 64, 36, 18), kDotPixel);
  EXPECT_NE(PixelAt(dds, 64, 41, 18), kDotPixel);
  EXPECT_EQ(PixelAt(dds, 64, 37, 18) & 0xFFFFFF, Expected(1, 128, 64, 37, 18) & 0xFFFFFF);
  EXPECT_EQ(dot->drawn_zoom, 4);
  EXPECT_FALSE(dot->drawn_quick);
  EXPECT_EQ(hidden->drawn_zoom, -100);

  CMappedObject* record = view->mapped_objects().Find(dot);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->client_points()[0], on_screen);
  EXPECT_EQ(view->ChartToClient({200, 100}), on_screen);
}

// The texture goes to the temporary folder: a link planted at its name is replaced, and what it
// points to is left as it was.
TEST_F(DdsRenderTest, ALinkAtTheTextureNameIsReplacedNotWrittenThrough) {
  const std::string victim = dir.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  const std::string out = dir.File("MapSquare.dds");
  vd::os::RemoveFile(out);
  ASSERT_EQ(::symlink(victim.c_str(), out.c_str()), 0);
  EXPECT_TRUE(view->RenderAreaToDDS(out, 0, 0, 0, 32, 32));
  std::string kept, texture;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "not to be touched");
  ASSERT_TRUE(vd::os::ReadWholeFile(out, texture));
  EXPECT_EQ(texture.substr(0, 4), "DDS ");
}

TEST_F(DdsRenderTest, UnwritableOrEmptyTexturesFailAndLeaveNoFile) {
  EXPECT_FALSE(view->RenderAreaToDDS(dir.File("missing/MapSquare.dds"), 0, 0, 0, 32, 32));
  // 1 x 1 at shift -1 is nothing at shift 0.
  EXPECT_FALSE(view->RenderAreaToDDS(dir.File("tiny.dds"), -1, 0, 0, 1, 1));
  EXPECT_FALSE(vd::os::FileExists(dir.File("tiny.dds")));
}

}  // namespace

namespace {

struct BoxRecorder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    boxes.push_back(request);
    return vd::ui::kIdOk;
  }
  std::vector<vd::ui::MessageBoxRequest> boxes;
};

TEST_F(DdsRenderTest, World3DAsksForElevationAtTheClientCentre) {
  std::vector<std::pair<double, double>> asked;
  struct RestoreElevation {
    ~RestoreElevation() { SetElevationDataSource(nullptr); }
  } restore;
  SetElevationDataSource([&asked] {
    return CElevationLookup{"", [&asked](double lat, double lon) -> float {
                              asked.emplace_back(lat, lon);
                              return kNoElevation;
                            }};
  });
  BoxRecorder responder;
  vd::ui::ScopedResponder scope(&responder);
  CCmdUI ui;
  ASSERT_TRUE(view->OnUpdateCommand(COstrelView::kCmd3DWorld, ui));
  EXPECT_TRUE(ui.enabled);
  EXPECT_TRUE(view->OnCommand(COstrelView::kCmd3DWorld));

  double lat = 0, lon = 0;
  ASSERT_TRUE(view->GetCentreLatLon(lat, lon));
  EXPECT_EQ(asked, (std::vector<std::pair<double, double>>{{lat, lon}}));
  ASSERT_EQ(responder.boxes.size(), 1u);
  EXPECT_EQ(responder.boxes[0].text, kNoElevationMessage);
  EXPECT_EQ(responder.boxes[0].flags & vd::ui::kMbIconMask, vd::ui::kMbIconError);
  // Without a route or track selected there is nothing to fly along.
  ASSERT_TRUE(view->OnUpdateCommand(COstrelView::kCmdRouteFlyThrough, ui));
  EXPECT_FALSE(ui.enabled);

  // A track flies through its points in order: of three, the second is the middle one.
  auto* track = document.Add(new CObjTrack);
  for (double lat : {49.99, 49.98, 49.97}) track->mutable_points().push_back({{lat, -4.99}});
  track->Select(false);
  ASSERT_TRUE(view->OnUpdateCommand(COstrelView::kCmdTrackFlyThrough, ui));
  EXPECT_TRUE(ui.enabled);
  asked.clear();
  EXPECT_TRUE(view->OnCommand(COstrelView::kCmdTrackFlyThrough));
  EXPECT_EQ(asked, (std::vector<std::pair<double, double>>{{49.98, -4.99}}));
  EXPECT_EQ(responder.boxes.size(), 2u);
}

}  // namespace
