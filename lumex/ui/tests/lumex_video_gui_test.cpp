// The 3D view's terrain rebuild on the worker, its video recording and the properties dialog.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPrinter>
#include <QRadioButton>
#include <chrono>
#include <cstring>
#include <optional>

#include "charts/tests/qed_fixture.h"
#include "lumex/avi_file.h"
#include "lumex/tests/terrain_fixture.h"
#include "lumex/ui/dlg_3d_props.h"
#include "lumex/ui/lumex_logo.h"
#include "lumex/ui/lumex_view.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/process.h"
#include "platform/ui/printer.h"
#include "platform/ui/responder.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"
#include "tests/xvfb.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

class LumexVideoTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::os::SetEnv("XDG_CONFIG_HOME", config_.path());
    ViewParams params;
    params.texture_size = 64;
    params.video_width = 96;
    params.video_height = 64;
    ASSERT_TRUE(SaveViewParams(params));
    // The chart's copyright shows in recorded frames, with the logo beside it.
    vd::test::WriteTerrainWorld(dir_.File("c.qct"), dir_.File("e.qed"), 50.1, -5.1, 1.0 / 3600,
                                {{kQctCopyright, "Test Charts"}});
  }
  void TearDown() override { vd::os::UnsetEnv("XDG_CONFIG_HOME"); }

  // A view set up on a two-point path; its first terrain build is joined.
  void SetUp(CLumexView& view) {
    view.SetTextureRenderer([](const SquareTextureRequest& r) {
      return vd::test::WriteTestDds(r.texture_path, r.width, r.height,
                                    [](int, int) { return 0x00FF0000u; });
    });
    ASSERT_TRUE(view.CreateDevice());
    view.SetStartData(
        {dir_.File("c.qct"), dir_.File("e.qed"), {{50.06, -5.07}, {50.06, -5.05}}});
    ASSERT_TRUE(view.SetupScene(false));
    ASSERT_TRUE(WaitForBuild(view));
  }
  static bool WaitForBuild(CLumexView& view) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (view.rebuilding()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
  }

  vd::test::TempDir config_;
  vd::test::TempDir dir_;
};

TEST_F(LumexVideoTest, RebuildSwapsTheNewSquareInAndKeepsTheCameraWhereItWas) {
  CLumexView view(nullptr);
  SetUp(view);
  const CMapSquare* first = view.front_square();
  const double lat0 = view.camera().centre_lat;
  double cam_lat = 0;
  double cam_lon = 0;
  view.camera().SceneToLatLon(view.camera().camera.x, view.camera().camera.y, cam_lat, cam_lon);

  view.OnCommand(CLumexView::kRebuild);
  EXPECT_TRUE(view.rebuilding());
  EXPECT_FALSE(view.CommandState(CLumexView::kRebuild).visible);
  EXPECT_TRUE(view.CommandState(CLumexView::kBusy).visible);
  view.OnCommand(CLumexView::kRebuild);  // ignored while one runs
  ASSERT_TRUE(WaitForBuild(view));

  EXPECT_NE(view.front_square(), first) << "the back square went in front";
  EXPECT_TRUE(view.front_square()->IsFilled());
  EXPECT_NE(view.camera().centre_lat, lat0);
  double lat = 0;
  double lon = 0;
  view.camera().SceneToLatLon(view.camera().camera.x, view.camera().camera.y, lat, lon);
  EXPECT_NEAR(lat, cam_lat, 1e-6) << "re-expressed on the new centre";
  EXPECT_NEAR(lon, cam_lon, 1e-6);
  EXPECT_NE(view.terrain_lead(), 10.0f) << "the measured build time replaces the first lead";
}

TEST_F(LumexVideoTest, CancelledBuildIsNeverSwappedIn) {
  CLumexView view(nullptr);
  SetUp(view);
  const CMapSquare* front = view.front_square();
  view.OnCommand(CLumexView::kRebuild);
  view.StopTerrainWorker();
  EXPECT_FALSE(view.rebuilding());
  // A report posted before the cancel is dropped.
  QCoreApplication::processEvents();
  EXPECT_EQ(view.front_square(), front);
}

bool HaveDisplay() {
  if (vd::os::GetEnv("DISPLAY")) return true;
  static vd::test::Xvfb server;
  std::string error;
  if (!vd::test::Xvfb::Installed() || !server.Start(640, 480, error)) return false;
  return vd::os::SetEnv("DISPLAY", server.display());
}

struct SaveTo : vd::ui::DialogResponder {
  std::string path;
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest&) override {
    return path;
  }
};

TEST_F(LumexVideoTest, RecordingWritesOneFrameOfTheVideoSizePerTick) {
  ASSERT_TRUE(HaveDisplay());
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable();  // the GL driver keeps allocations until the process ends
#endif
  {
    CLumexView view(nullptr);
    SetUp(view);
    ASSERT_FALSE(view.RenderVideoFrame(96, 64).isNull()) << "no GL context";
    // Saved settings: the compressor is not asked for.
    ASSERT_TRUE(CAVIFile::SaveOptions(view.video_options_path(), {}));
    SaveTo answer;
    answer.path = dir_.File("flight.avi");
    vd::ui::ScopedResponder scope(&answer);

    view.OnCommand(CLumexView::kCreateVideo);
    ASSERT_TRUE(view.recording());
    EXPECT_TRUE(view.CommandState(CLumexView::kCreateVideo).checked);
    view.OnCommand(CLumexView::kPlay);
    for (int i = 0; i < 3; ++i) view.OnFlyTick();
    view.OnCommand(CLumexView::kCreateVideo);
    EXPECT_FALSE(view.recording());
    view.StopTerrainWorker();
  }
#if defined(__SANITIZE_ADDRESS__)
  __lsan_enable();
#endif
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir_.File("flight.avi"), bytes));
  ASSERT_GT(bytes.size(), 0x40u);
  const auto u32 = [&](size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  // The main header: frames at 0x30, width and height at 0x40 and 0x44.
  EXPECT_EQ(u32(0x30), 3u);
  EXPECT_EQ(u32(0x40), 96u);
  EXPECT_EQ(u32(0x44), 64u);

  // Every frame carries the logo in its bottom-right corner, as an independent decoder sees it.
  const std::string rgb = dir_.File("frames.rgb");
  const vd::os::SpawnResult decoded = vd::os::Spawn(
      "ffmpeg", {"-v", "error", "-y", "-i", dir_.File("flight.avi"), "-f", "rawvideo",
                 "-pix_fmt", "rgb24", rgb},
      true);
  ASSERT_TRUE(decoded.started && decoded.exit_code == 0) << decoded.error;
  std::string frames;
  ASSERT_TRUE(vd::os::ReadWholeFile(rgb, frames));
  const size_t frame_bytes = 96 * 64 * 3;
  ASSERT_EQ(frames.size(), 3 * frame_bytes);
  const QImage& logo = LumexLogo();
  const int left = 96 - 2 - logo.width(), top = 64 - 2 - logo.height();
  for (int frame = 0; frame < 3; ++frame) {
    long difference = 0;
    for (int y = 0; y < logo.height(); ++y) {
      for (int x = 0; x < logo.width(); ++x) {
        const QRgb want = logo.pixel(x, y);
        const size_t at = frame * frame_bytes + (size_t(top + y) * 96 + size_t(left + x)) * 3;
        difference += std::abs(uint8_t(frames[at]) - qRed(want)) +
                      std::abs(uint8_t(frames[at + 1]) - qGreen(want)) +
                      std::abs(uint8_t(frames[at + 2]) - qBlue(want));
      }
    }
    EXPECT_LT(difference / (logo.width() * logo.height() * 3), 12) << "frame " << frame;
  }
}

struct PrintAnswer : vd::ui::DialogResponder {
  bool PrintDialog(QWidget* owner, QPrinter& printer, int max_page) override {
    asked = max_page;
    return Responder::PrintDialog(owner, printer, max_page);
  }
  int asked = 0;
};

// Print (its key, as the menu is gone) puts the view on one page with the caption and the
// chart's copyright.
TEST_F(LumexVideoTest, PrintPutsTheViewOnOnePageWithTheCaption) {
  ASSERT_TRUE(HaveDisplay());
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable();
#endif
  const std::string pdf = dir_.File("view.pdf");
  {
    CLumexView view(nullptr);
    view.resize(320, 200);
    SetUp(view);
    QPrinter& printer = vd::ui::Printer::Current().device();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    PrintAnswer answer;
    vd::ui::ScopedResponder scope(&answer);
    view.OnCommand(CLumexView::kFilePrint);
    EXPECT_EQ(answer.asked, 1);
    view.StopTerrainWorker();
  }
#if defined(__SANITIZE_ADDRESS__)
  __lsan_enable();
#endif
  const std::string text = dir_.File("view.txt");
  const vd::os::SpawnResult read = vd::os::Spawn("pdftotext", {pdf, text}, true);
  ASSERT_TRUE(read.started && read.exit_code == 0) << read.error;
  std::string words;
  ASSERT_TRUE(vd::os::ReadWholeFile(text, words));
  for (char& c : words)
    if (c == '\n') c = ' ';
  EXPECT_NE(words.find("Created with Vardune (vardune.app)."), std::string::npos) << words;
  EXPECT_NE(words.find("Test Charts"), std::string::npos) << words;
}

TEST_F(LumexVideoTest, PropertiesDialogChecksTheStoredChoicesAndReturnsThemUntouched) {
  struct Case {
    int map_size;
    float horizon;
    int video_height;
    int map_button, horizon_button, video_button;
  };
  const Case cases[] = {
      {2048, 6.0f, 720, CDlg3DProps::kMapMedium, CDlg3DProps::kHorizonMedium,
       CDlg3DProps::kVideoSd},
      {512, 8.0f, 600, CDlg3DProps::kMapSmall, CDlg3DProps::kHorizonMedium,
       CDlg3DProps::kVideoSd},
      {4096, 10.0f, 1080, CDlg3DProps::kMapLarge, CDlg3DProps::kHorizonLarge,
       CDlg3DProps::kVideoHd},
      {1024, 0.9999f, 480, CDlg3DProps::kMapSmall, CDlg3DProps::kHorizonOff,
       CDlg3DProps::kVideoVga},
  };
  for (const Case& c : cases) {
    CDlg3DProps dialog(nullptr);
    dialog.map_size = c.map_size;
    dialog.horizon_factor = c.horizon;
    dialog.video_height = c.video_height;
    dialog.InitDialog();
    for (int id : {c.map_button, c.horizon_button, c.video_button}) {
      EXPECT_TRUE(dialog.button(id)->isChecked()) << id;
    }
    EXPECT_EQ(dialog.map_size, c.map_size) << "nothing changes until a choice is made";
  }

  CDlg3DProps dialog(nullptr);
  dialog.InitDialog();
  dialog.button(CDlg3DProps::kMapLarge)->click();
  dialog.button(CDlg3DProps::kHorizonOff)->click();
  dialog.button(CDlg3DProps::kVideoVga)->click();
  EXPECT_EQ(dialog.map_size, 4096);
  EXPECT_FLOAT_EQ(dialog.horizon_factor, 0.9999f);
  EXPECT_EQ(dialog.video_width, 640);
  EXPECT_EQ(dialog.video_height, 480);
  EXPECT_FALSE(dialog.button(CDlg3DProps::kMapMedium)->isChecked()) << "one per group";
  EXPECT_TRUE(dialog.button(CDlg3DProps::kHorizonOff)->isChecked());
  EXPECT_FALSE(dialog.button(CDlg3DProps::kVideoSd)->isChecked());
}

}  // namespace
