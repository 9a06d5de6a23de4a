// The chart program as the README's run command starts it, on a virtual X display: it must show
// the sample chart where a new chart window puts a chart (whole, at zoom shift 2, centred), and
// end when it is told to.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "charts/old_quick_chart.h"
#include "charts/ui/quick_chart_dib.h"
#include "corvex/ui/tests/corvex_home.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/child_process.h"
#include "tests/xvfb.h"

namespace {

using vd::test::RgbImage;

constexpr int kZoomShift = 2;  // one screen pixel shows 4 x 4 chart pixels
constexpr int kChannelTolerance = 8;
// The share of the chart's pixels the screen must show alike: the program draws the chart's
// outline over its edge.
constexpr double kLeastAgreement = 0.97;

// The chart as a chart window shows it at the zoom shift: its tiles rendered and drawn as the
// window draws them, the whole chart and nothing else.
RgbImage RenderChart(COldQuickChart& chart) {
  const int side = CQuickChartDib::kSide;
  const int chart_side = side << kZoomShift;
  vd::ui::Image image(chart.width() >> kZoomShift, chart.height() >> kZoomShift, 0xFF000000);
  {
    vd::ui::Surface surface(image);
    for (int y = 0; y < image.Height(); y += side) {
      for (int x = 0; x < image.Width(); x += side) {
        CQuickChartDib tile;
        EXPECT_TRUE(tile.Assign(&chart, x / side * chart_side, y / side * chart_side, kZoomShift));
        EXPECT_EQ(0, tile.Prefetch());
        EXPECT_EQ(0, tile.Render());
        tile.Draw(surface, {x, y});
      }
    }
  }
  RgbImage out{image.Width(), image.Height(), {}};
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) out.pixels.push_back(image.Pixel(x, y) & 0xFFFFFF);
  }
  return out;
}

bool Alike(uint32_t a, uint32_t b) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > kChannelTolerance)
      return false;
  }
  return true;
}

// Where the screen shows the chart, and how.
struct Placed {
  bool found = false;
  int x = 0, y = 0;      // the chart's top-left corner on the screen
  double agreement = 0;  // share of its pixels that the screen shows alike there
  // The chart window's white from each edge of the chart outwards.
  int left = 0, right = 0, top = 0, bottom = 0;

  // The whole chart with its tiles drawn, centred in the window with white around it.
  bool Shown() const {
    return found && agreement >= kLeastAgreement && std::min({left, right, top, bottom}) > 0 &&
           std::abs(left - right) <= 2 && std::abs(top - bottom) <= 2;
  }
  std::string Describe() const {
    if (!found) return "the chart is not on the screen";
    return "the chart is at " + std::to_string(x) + "," + std::to_string(y) + " with " +
           std::to_string(agreement) + " of its pixels alike; white left, right, top, bottom: " +
           std::to_string(left) + ", " + std::to_string(right) + ", " + std::to_string(top) +
           ", " + std::to_string(bottom);
  }
};

// The white of the chart window from a chart edge outwards, along a line from (x, y) in steps of
// (dx, dy): up to another colour or the screen's edge. The chart's outline may lie on the line
// next to the chart.
int Margin(const RgbImage& screen, int x, int y, int dx, int dy) {
  constexpr uint32_t kWhite = 0xFFFFFF;
  constexpr int kOutlineWidth = 2;
  const auto inside = [&] { return x >= 0 && y >= 0 && x < screen.width && y < screen.height; };
  int margin = 0;
  for (; inside() && screen.At(x, y) != kWhite && margin < kOutlineWidth; x += dx, y += dy)
    ++margin;
  for (; inside() && screen.At(x, y) == kWhite; x += dx, y += dy) ++margin;
  return margin;
}

// Where the screen shows the chart's image: the first place where few of a grid of probe points
// miss (first a coarse grid, then a fine one), how well all its pixels agree there, and the
// white around it along its middle lines.
Placed FindOnScreen(const RgbImage& screen, const RgbImage& image) {
  const auto grid = [&](int columns, int rows) {
    std::vector<std::pair<int, int>> points;
    for (int j = 0; j < rows; ++j) {
      for (int i = 0; i < columns; ++i)
        points.emplace_back((2 * i + 1) * image.width / (2 * columns),
                            (2 * j + 1) * image.height / (2 * rows));
    }
    return points;
  };
  const auto coarse = grid(4, 4), fine = grid(32, 24);
  const auto few_miss = [&](const std::vector<std::pair<int, int>>& points, int x, int y) {
    size_t misses = 0;
    for (const auto& [px, py] : points) {
      if (!Alike(screen.At(x + px, y + py), image.At(px, py)) && ++misses > points.size() / 8)
        return false;
    }
    return true;
  };
  for (int y = 0; y + image.height <= screen.height; ++y) {
    for (int x = 0; x + image.width <= screen.width; ++x) {
      if (!few_miss(coarse, x, y) || !few_miss(fine, x, y)) continue;
      Placed placed{.found = true, .x = x, .y = y};
      size_t alike = 0;
      for (int py = 0; py < image.height; ++py) {
        for (int px = 0; px < image.width; ++px)
          alike += Alike(screen.At(x + px, y + py), image.At(px, py));
      }
      placed.agreement = double(alike) / double(image.pixels.size());
      const int middle_x = x + image.width / 2, middle_y = y + image.height / 2;
      placed.left = Margin(screen, x - 1, middle_y, -1, 0);
      placed.right = Margin(screen, x + image.width, middle_y, 1, 0);
      placed.top = Margin(screen, middle_x, y - 1, 0, -1);
      placed.bottom = Margin(screen, middle_x, y + image.height, 0, 1);
      return placed;
    }
  }
  return {};
}

// Kept beside the test program when the chart does not show, for a look at what did.
std::string KeepScreenshot(const RgbImage& screen) {
  QImage image(screen.width, screen.height, QImage::Format_RGB32);
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) image.setPixel(x, y, 0xFF000000 | screen.At(x, y));
  }
  const std::string path = vd::os::ProgramFolder() + "/corvex_screen_failure.png";
  return image.save(QString::fromStdString(path)) ? path : "(not kept)";
}

TEST(CorvexScreen, ShowsTheSampleChartAndEndsWhenTold) {
  if (!vd::test::Xvfb::Installed())
    GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it), so the program "
                    "has no display to show its windows on";
  const std::string program = vd::os::ProgramFolder() + "/corvex";
  // The build writes the sample data into <build>/sample, two levels above the program.
  const std::string chart_path = vd::os::ProgramFolder() + "/../../sample/Sample Chart.qct";
  ASSERT_TRUE(vd::os::FileExists(program)) << program;
  const auto chart = OpenOldQuickChart(chart_path, false);
  ASSERT_TRUE(chart) << chart_path;
  const RgbImage expected = RenderChart(*chart);

  // Settings, documents and the single-instance channel of the program's own, so it never
  // meets the user's; the first run's help page goes to a stand-in for the desktop.
  vd::test::CorvexHome home;
  const std::string bin = home.File("bin");
  ASSERT_TRUE(vd::os::MakeFolders(bin));
  ASSERT_EQ(0, ::symlink("/bin/true", (bin + "/xdg-open").c_str()));

  vd::test::Xvfb display;
  std::string error;
  ASSERT_TRUE(display.Start(1280, 1024, error)) << error;
  vd::test::ChildProcess corvex;
  vd::test::ChildProcess::Options options;
  options.environment = {{"DISPLAY", display.display()},
                         {"QT_QPA_PLATFORM", "xcb"},
                         {"PATH", bin + ":" + vd::os::GetEnv("PATH").value_or("/usr/bin:/bin")}};
  options.output_file = home.File("corvex.log");
  const auto output = [&] {
    std::string text;
    vd::os::ReadWholeFile(options.output_file, text);
    return "\nits output:\n" + text;
  };
  ASSERT_TRUE(corvex.Start(program, {"--no-splash", chart_path}, options, error)) << error;

  // Screenshots until the chart shows as a new chart window shows it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (true) {
    auto shot = display.Screenshot(error);
    ASSERT_TRUE(shot) << error;
    const Placed placed = FindOnScreen(*shot, expected);
    if (placed.Shown()) break;
    const std::optional<int> ended = corvex.Wait(std::chrono::milliseconds(0));
    ASSERT_FALSE(ended) << "Corvex ended (" << vd::test::DescribeWaitStatus(*ended)
                        << ") before it showed the chart" << output();
    ASSERT_TRUE(std::chrono::steady_clock::now() < deadline)
        << "the chart did not show in time: " << placed.Describe() << "; screenshot "
        << KeepScreenshot(*shot) << output();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the interval between looks
  }

  corvex.Signal(SIGTERM);
  const std::optional<int> status = corvex.Wait(std::chrono::seconds(60));
  EXPECT_TRUE(status) << "Corvex did not end on SIGTERM" << output();
}

}  // namespace
