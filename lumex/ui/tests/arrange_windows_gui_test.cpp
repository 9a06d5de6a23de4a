// The viewer's Side by side and Map below place the chart program's window too, through the
// chart program's API: the real chart program runs as a second process on a virtual display,
// and the test looks at where its window shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "corvex/ui/tests/corvex_home.h"
#include "lumex/api_client.h"
#include "lumex/ui/lumex_view.h"
#include <QWidget>
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/ipc_channel.h"
#include "tests/child_process.h"
#include "tests/xvfb.h"
#include "tests/xwd_image.h"

namespace {

using vd::test::RgbImage;

// The rectangle of the screen's pixels that differ from the empty screen's.
std::optional<QRect> ChangedArea(const RgbImage& empty, const RgbImage& now) {
  int left = now.width, top = now.height, right = -1, bottom = -1;
  for (int y = 0; y < now.height; ++y) {
    for (int x = 0; x < now.width; ++x) {
      if (now.At(x, y) == empty.At(x, y)) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return std::nullopt;
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

class ArrangeWindows : public testing::Test {
 protected:
  void SetUp() override {
    if (!vd::test::Xvfb::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    const std::string program = vd::os::ProgramFolder() + "/../../corvex/ui/corvex";
    ASSERT_TRUE(vd::os::FileExists(program)) << program;
    // The chart program's first-run help page goes to a stand-in for the desktop.
    const std::string bin = home_.File("bin");
    ASSERT_TRUE(vd::os::MakeFolders(bin));
    ASSERT_EQ(0, ::symlink("/bin/true", (bin + "/xdg-open").c_str()));

    // The virtual display is as large as this program's screen, so that both programs
    // share one screen size.
    screen_ = QGuiApplication::primaryScreen()->virtualGeometry();
    std::string error;
    ASSERT_TRUE(display_.Start(screen_.width(), screen_.height(), error)) << error;
    auto empty = display_.Screenshot(error);
    ASSERT_TRUE(empty) << error;
    empty_ = *empty;

    vd::test::ChildProcess::Options options;
    options.environment = {{"DISPLAY", display_.display()},
                           {"QT_QPA_PLATFORM", "xcb"},
                           {"PATH", bin + ":" + vd::os::GetEnv("PATH").value_or("/usr/bin:/bin")}};
    options.output_file = home_.File("corvex.log");
    ASSERT_TRUE(corvex_.Start(program, {"--no-splash"}, options, error)) << error;
    ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
      return vd::os::IpcWindowExists("CorvexMainWnd") || !corvex_.Running();
    }));
    ASSERT_TRUE(corvex_.Running()) << Output();
  }
  void TearDown() override {
    if (corvex_.Running()) {
      vd::os::IpcSend("CorvexMainWnd", vd::ui::kWmClose, 0, 0, 60000);
      corvex_.Wait(std::chrono::seconds(60));
    }
    ApiDisconnect();
  }

  std::string Output() {
    std::string text;
    vd::os::ReadWholeFile(home_.File("corvex.log"), text);
    return "\nthe chart program's output:\n" + text;
  }
  // Whether the chart program's window shows exactly over `expected` before long.
  bool ChartWindowShowsAt(const QRect& expected, QRect& seen) {
    std::string error;
    return vd::test::ProcessEventsUntil([&] {
      const auto shot = display_.Screenshot(error);
      if (!shot) return false;
      seen = ChangedArea(empty_, *shot).value_or(QRect());
      return seen == expected;
    });
  }

  vd::test::CorvexHome home_;
  vd::test::Xvfb display_;
  RgbImage empty_;
  QRect screen_;
  vd::test::ChildProcess corvex_;
};

TEST_F(ArrangeWindows, SideBySideAndMapBelowPlaceBothWindows) {
  // The viewer's frame, as the view's commands arrange it (the GL view itself is not needed).
  ASSERT_EQ(ApiConnect(), kApiClientOk);
  QWidget frame;
  const struct {
    bool side_by_side, map_below;
    int layout;
  } cases[] = {{true, false, kSideBySideLayout}, {false, true, kMapBelowLayout}};
  for (const auto& c : cases) {
    ArrangeWindowsTogether(&frame, c.side_by_side, c.map_below);
    const CArrangedWindows expected =
        ArrangeViewerAndChart(screen_.width(), screen_.height(), c.layout);
    EXPECT_EQ(frame.frameGeometry(), expected.viewer.translated(screen_.topLeft())) << c.layout;
    QRect seen;
    EXPECT_TRUE(ChartWindowShowsAt(expected.chart, seen))
        << c.layout << ": the chart program's window shows at " << seen.x() << "," << seen.y()
        << " " << seen.width() << "x" << seen.height() << Output();
  }
}

// The chart program's window follows the show commands sent to it: hidden, it leaves the
// screen; shown again, it comes back where it was; arranging beside the viewer places and
// shows it. (The virtual display has no window manager, so maximising is not seen there.)
TEST_F(ArrangeWindows, ShowCommandsHideAndShowTheChartWindow) {
  ASSERT_EQ(ApiConnect(), kApiClientOk);
  std::string error;
  QRect was;
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
    const auto shot = display_.Screenshot(error);
    const auto area = shot ? ChangedArea(empty_, *shot) : std::nullopt;
    if (area) was = *area;
    return area.has_value();
  })) << "the chart program's window shows" << Output();
  const auto hidden = [&] {
    return vd::test::ProcessEventsUntil([&] {
      const auto shot = display_.Screenshot(error);
      return shot && !ChangedArea(empty_, *shot);
    });
  };
  ASSERT_EQ(ApiShowMainWindow(kApiShowHide), kApiClientOk);
  EXPECT_TRUE(hidden()) << "the hidden window still shows" << Output();
  QRect seen;
  ASSERT_EQ(ApiShowMainWindow(kApiShow), kApiClientOk);
  EXPECT_TRUE(ChartWindowShowsAt(was, seen))
      << seen.x() << "," << seen.y() << " " << seen.width() << "x" << seen.height() << Output();

  ASSERT_EQ(ApiShowMainWindow(kApiShowHide), kApiClientOk);
  EXPECT_TRUE(hidden()) << Output();
  QWidget frame;
  ArrangeWindowsTogether(&frame, true, false);
  const CArrangedWindows expected =
      ArrangeViewerAndChart(screen_.width(), screen_.height(), kSideBySideLayout);
  EXPECT_TRUE(ChartWindowShowsAt(expected.chart, seen))
      << seen.x() << "," << seen.y() << " " << seen.width() << "x" << seen.height() << Output();
}

// Arranging brings the chart program's window to the front beside the viewer: a window of
// another program that covered the whole screen is left behind it.
TEST_F(ArrangeWindows, ArrangingBringsTheChartWindowToTheFront) {
  const std::string cover_program = "/usr/bin/xlogo";
  if (!vd::os::FileExists(cover_program)) GTEST_SKIP() << "xlogo is not installed";
  ASSERT_EQ(ApiConnect(), kApiClientOk);
  std::string error;
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
    const auto shot = display_.Screenshot(error);
    return shot && ChangedArea(empty_, *shot).has_value();
  })) << "the chart program's window shows" << Output();

  // A plain window of one colour over everything, the chart program's window included.
  vd::test::ChildProcess cover;
  vd::test::ChildProcess::Options options;
  options.environment = {{"DISPLAY", display_.display()}};
  options.output_file = home_.File("cover.log");
  const std::string geometry =
      std::to_string(screen_.width()) + "x" + std::to_string(screen_.height()) + "+0+0";
  ASSERT_TRUE(cover.Start(cover_program,
                          {"-geometry", geometry, "-bw", "0", "-bg", "magenta", "-fg", "magenta"},
                          options,
                          error))
      << error;
  std::optional<RgbImage> covered;
  ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
    covered = display_.Screenshot(error);
    if (!covered) return false;
    const uint32_t colour = covered->At(0, 0);
    return std::all_of(covered->pixels.begin(), covered->pixels.end(),
                       [&](uint32_t pixel) { return pixel == colour; });
  })) << "the covering window shows";

  QWidget frame;
  ArrangeWindowsTogether(&frame, true, false);
  const CArrangedWindows expected =
      ArrangeViewerAndChart(screen_.width(), screen_.height(), kSideBySideLayout);
  QRect seen;
  EXPECT_TRUE(vd::test::ProcessEventsUntil([&] {
    const auto shot = display_.Screenshot(error);
    if (!shot) return false;
    seen = ChangedArea(*covered, *shot).value_or(QRect());
    return seen == expected.chart;
  })) << "the chart program's window shows in front at " << seen.x() << "," << seen.y() << " "
      << seen.width() << "x" << seen.height() << Output();
}

// A placement far off the screen, or inside out, is brought onto it by the chart program.
TEST_F(ArrangeWindows, AbsurdPlacementsAreKeptOnTheScreen) {
  ASSERT_EQ(ApiConnect(), kApiClientOk);
  QRect seen;
  ASSERT_EQ(ApiSetMainWindowPlacement(-50000, -70000, 999999, 888888), kApiClientOk);
  EXPECT_TRUE(ChartWindowShowsAt(QRect(QPoint(0, 0), screen_.size()), seen))
      << seen.width() << "x" << seen.height() << Output();
  ASSERT_EQ(ApiSetMainWindowPlacement(200, 100, 10, -40), kApiClientOk);
  EXPECT_TRUE(ChartWindowShowsAt(QRect(200, 100, 320, 240), seen))
      << seen.x() << "," << seen.y() << " " << seen.width() << "x" << seen.height() << Output();
  std::string temp;
  EXPECT_TRUE(ApiGetTempFolder(temp));
  EXPECT_TRUE(vd::os::IsDirectory(temp)) << temp;
}

}  // namespace
