// The viewer as the user starts it: the application with its frame and the real 3D view, the
// start file read from the temp folder, commands clicked on the toolbar. A recorded fly-through
// is read back with an independent decoder (ffprobe and ffmpeg).
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <chrono>
#include <QImage>
#include <QMouseEvent>
#include <QPrinter>
#include <QToolBar>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "corvex/ui/tests/corvex_home.h"
#include "lumex/avi_file.h"
#include "lumex/tests/terrain_fixture.h"
#include "lumex/ui/lumex_app.h"
#include "lumex/ui/lumex_view.h"
#include "lumex/ui/main_frame.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/message_queue.h"
#include "platform/os/process.h"
#include "platform/os/profile_store.h"
#include "platform/ui/printer.h"
#include "platform/ui/responder.h"
#include "platform/os/folders.h"
#include "tests/child_process.h"
#include "tests/temp_dir.h"
#include "tests/xvfb.h"
#include "tests/xwd_image.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr int kVideoWidth = 160;
constexpr int kVideoHeight = 96;
// The sky colour of the view parameters' default: red 180, green 180, blue 200.
constexpr int kSkyRed = 180, kSkyGreen = 180, kSkyBlue = 200;

// The viewer's GL window needs an X display: on any other platform the test runs itself again
// as a program of its own on a virtual display. True when this run is the one on the display;
// otherwise the other run's outcome has been judged.
bool OnXDisplay() {
  if (QGuiApplication::platformName() == "xcb") return true;
  const std::string test = std::string(testing::UnitTest::GetInstance()->current_test_suite()->name()) +
                           "." + testing::UnitTest::GetInstance()->current_test_info()->name();
  EXPECT_TRUE(vd::test::Xvfb::Installed()) << "Xvfb is not installed";
  vd::test::Xvfb display;
  std::string error;
  EXPECT_TRUE(display.Start(1024, 768, error)) << error;
  if (testing::Test::HasFailure()) return false;
  vd::test::TempDir out;
  vd::test::ChildProcess run;
  vd::test::ChildProcess::Options options;
  options.environment = {{"DISPLAY", display.display()}, {"QT_QPA_PLATFORM", "xcb"}};
  options.output_file = out.File("run.log");
  EXPECT_TRUE(run.Start(vd::os::ProgramFolder() + "/lumex_ui_gui_tests",
                        {"--gtest_filter=" + test}, options, error))
      << error;
  const std::optional<int> status = run.Wait(std::chrono::minutes(5));
  std::string log;
  vd::os::ReadWholeFile(options.output_file, log);
  EXPECT_TRUE(status && *status == 0)
      << (status ? vd::test::DescribeWaitStatus(*status) : "still running") << "\n" << log;
  return false;
}

void AppendInt32(std::string& bytes, int32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(uint32_t(v) >> (8 * i)));
}
void AppendDouble(std::string& bytes, double v) {
  char raw[8];
  std::memcpy(raw, &v, 8);
  bytes.append(raw, 8);
}

// A click of the left mouse button on the toolbar's button of a command, once the button shows
// and is enabled (the toolbar follows the view's states on a timer).
bool ClickToolbarButton(QToolBar& toolbar, int command) {
  for (QAction* action : toolbar.actions()) {
    if (action->data().toInt() != command) continue;
    QWidget* button = toolbar.widgetForAction(action);
    if (!button || !vd::test::ProcessEventsUntil([&] {
          return button->isEnabled() && action->isVisible();
        })) {
      return false;
    }
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &release);
    return true;
  }
  return false;
}

// Answers the save dialog with `path` and the print dialog with OK.
struct SaveVideoAs : vd::test::ScriptedAnswers {
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest&) override {
    ++asked_for_file;
    return path;
  }
  bool PrintDialog(QWidget* owner, QPrinter& printer, int max_page) override {
    return Responder::PrintDialog(owner, printer, max_page);
  }
  std::string path;
  int asked_for_file = 0;
};

// What the display shows, as "xwd" dumps it.
std::optional<vd::test::RgbImage> ScreenPixels(const std::string& work, std::string& error) {
  const std::string file = work + "/screen.xwd";
  vd::os::RemoveFile(file);
  const vd::os::SpawnResult dumped =
      vd::os::Spawn("xwd", {"-root", "-silent", "-out", file}, true);
  std::string bytes;
  if (!dumped.started || dumped.exit_code != 0 || !vd::os::ReadWholeFile(file, bytes)) {
    error = "xwd failed: " + dumped.error;
    return std::nullopt;
  }
  return vd::test::ReadXwd(bytes, error);
}

bool IsSky(QRgb c, int tolerance) {
  return std::abs(qRed(c) - kSkyRed) < tolerance && std::abs(qGreen(c) - kSkyGreen) < tolerance &&
         std::abs(qBlue(c) - kSkyBlue) < tolerance;
}

class LumexProgram : public testing::Test {
 protected:
  void SetUp() override {
    vd::os::SetEnv("XDG_RUNTIME_DIR", runtime_.path());
    vd::os::SetEnv("XDG_CONFIG_HOME", config_.path());
    ViewParams params;
    params.texture_size = 64;
    params.video_width = kVideoWidth;
    params.video_height = kVideoHeight;
    params.help_shown = true;
    ASSERT_TRUE(SaveViewParams(params));
    // A chart with a copyright (so frames carry the band) over flat ground.
    vd::test::WriteTerrainWorld(dir_.File("c.qct"), dir_.File("e.qed"), 50.1, -5.1, 1.0 / 3600,
                                {{kQctCopyright, "Test Charts"}});
    // The start file the chart program leaves in its temp folder: a path eastwards.
    vd::os::ProfileStore("Software\\Vardune").SetString("", "temp_folder", dir_.path());
    std::string start = dir_.File("c.qct") + '\0' + dir_.File("e.qed") + '\0';
    AppendInt32(start, 2);
    for (const auto& [lat, lon] : {std::pair{50.06, -5.075}, std::pair{50.06, -5.045}}) {
      AppendDouble(start, lat);
      AppendDouble(start, lon);
    }
    ASSERT_TRUE(vd::os::SaveFileAtomically(dir_.File("lumex.dat"), start));
    // The chart program's main window is there, so the viewer starts none.
    ASSERT_TRUE(chart_program_.Listen("CorvexMainWnd", chart_window_));
  }
  void TearDown() override {
    app_.reset();
    chart_program_.Stop();
    vd::os::UnsetEnv("XDG_RUNTIME_DIR");
    vd::os::UnsetEnv("XDG_CONFIG_HOME");
  }

  // Starts the viewer as its main does; the chart program's textures come from a stand-in
  // that draws a checkerboard, so that the flight shows in the pictures.
  void Start() {
    app_ = std::make_unique<CLumexApp>([this](CLumexDoc&) {
      auto view = std::make_unique<CLumexView>(app_.get());
      view->SetTextureRenderer([](const SquareTextureRequest& r) {
        return vd::test::WriteTestDds(r.texture_path, r.width, r.height, [](int x, int y) {
          return ((x / 4 + y / 4) & 1) ? 0x00E03020u : 0x00F0E040u;
        });
      });
      return view;
    });
    ASSERT_TRUE(app_->InitInstance());
    view_ = dynamic_cast<CLumexView*>(app_->GetView());
    ASSERT_NE(view_, nullptr);
    ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return !view_->rebuilding(); }));
    ASSERT_NE(view_->front_square(), nullptr);
    ASSERT_TRUE(view_->front_square()->IsFilled()) << "the start file's scene is built";
    app_->main_frame()->activateWindow();
    ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return app_->active; }));
  }
  QToolBar& toolbar() { return *app_->main_frame()->toolbar(); }

  vd::test::TempDir runtime_, config_, dir_;
  vd::os::MessageWindow chart_window_{[](const vd::os::Message&) -> intptr_t { return 0; }};
  vd::os::IpcServer chart_program_;
  std::unique_ptr<CLumexApp> app_;
  CLumexView* view_ = nullptr;
};

// The recorded video as an independent decoder reads it.
struct DecodedVideo {
  std::string frame_rate;  // "num/den"
  int frames = 0;
  int width = 0, height = 0;
  std::string rgb;  // frames x height x width x 3 bytes, top row first
  const uint8_t* Pixel(int frame, int x, int y) const {
    return reinterpret_cast<const uint8_t*>(rgb.data()) +
           ((size_t(frame) * height + size_t(y)) * width + size_t(x)) * 3;
  }
};

std::optional<DecodedVideo> Decode(const std::string& avi, const std::string& work,
                                   std::string& error) {
  DecodedVideo video;
  const std::string probe_out = work + "/probe.txt";
  const vd::os::SpawnResult probed = vd::os::Spawn(
      "sh",
      {"-c", "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
             "stream=r_frame_rate,nb_read_frames,width,height -of default=noprint_wrappers=1 '" +
                 avi + "' > '" + probe_out + "'"},
      true);
  std::string text;
  if (!probed.started || probed.exit_code != 0 || !vd::os::ReadWholeFile(probe_out, text)) {
    error = "ffprobe failed: " + probed.error;
    return std::nullopt;
  }
  const auto field = [&](const std::string& key) {
    const size_t at = text.find(key + "=");
    if (at == std::string::npos) return std::string();
    const size_t from = at + key.size() + 1;
    return text.substr(from, text.find('\n', from) - from);
  };
  video.frame_rate = field("r_frame_rate");
  video.frames = std::atoi(field("nb_read_frames").c_str());
  video.width = std::atoi(field("width").c_str());
  video.height = std::atoi(field("height").c_str());
  const std::string rgb = work + "/frames.rgb";
  const vd::os::SpawnResult decoded = vd::os::Spawn(
      "ffmpeg", {"-v", "error", "-y", "-i", avi, "-f", "rawvideo", "-pix_fmt", "rgb24", rgb}, true);
  if (!decoded.started || decoded.exit_code != 0 || !vd::os::ReadWholeFile(rgb, video.rgb)) {
    error = "ffmpeg failed: " + decoded.error + "\n" + text;
    return std::nullopt;
  }
  return video;
}

TEST_F(LumexProgram, RecordedFlyThroughIsUprightAndMovesFrameByFrame) {
  if (!OnXDisplay()) return;
  // Uncompressed frames, then Motion JPEG, each chosen before as the saved compressor settings
  // (so the compressor is not asked for).
  struct Recording {
    const char* what;
    AviCompressChoice choice;
    std::string avi;
    int ticks = 0;
  };
  Recording recordings[2] = {{"uncompressed", {}, dir_.File("flight.avi")},
                             {"Motion JPEG", {}, dir_.File("flight mjpeg.avi")}};
  recordings[1].choice.options.handler = kAviHandlerMjpeg;
  recordings[1].choice.options.quality = 9000;
  recordings[1].choice.options.flags = kAviCompressValid;
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable();  // the GL driver keeps allocations until the process ends
#endif
  {
    Start();
    SaveVideoAs answers;
    vd::ui::ScopedResponder scope(&answers);
    for (Recording& r : recordings) {
      SCOPED_TRACE(r.what);
      ASSERT_TRUE(CAVIFile::SaveOptions(view_->video_options_path(), r.choice));
      answers.path = r.avi;
      answers.asked_for_file = 0;
      ASSERT_TRUE(ClickToolbarButton(toolbar(), CLumexView::kCreateVideo));
      ASSERT_EQ(answers.asked_for_file, 1);
      ASSERT_TRUE(view_->recording());
      // Recording starts with the flight; each fly-through tick takes one frame and moves the
      // camera on by the speed times the tick's 40 ms.
      const float from = view_->camera().travelled;
      const float metres_per_tick = view_->camera().speed * 0.04f;
      ASSERT_TRUE(ClickToolbarButton(toolbar(), CLumexView::kPlay));
      ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
        return view_->camera().travelled >= from + 24 * metres_per_tick ||
               !view_->camera().flying;
      }));
      ASSERT_TRUE(view_->camera().flying) << "the flight stopped by itself";
      ASSERT_TRUE(ClickToolbarButton(toolbar(), CLumexView::kCreateVideo));
      EXPECT_FALSE(view_->recording());
      EXPECT_FALSE(view_->camera().flying);
      r.ticks = int(std::lround((view_->camera().travelled - from) / metres_per_tick));
      ASSERT_GE(r.ticks, 24);
    }
    app_->main_frame()->close();
    app_.reset();
  }
#if defined(__SANITIZE_ADDRESS__)
  __lsan_enable();
#endif

  for (const Recording& r : recordings) {
    SCOPED_TRACE(r.what);
    std::string error;
    const std::optional<DecodedVideo> video = Decode(r.avi, dir_.path(), error);
    ASSERT_TRUE(video) << error;
    EXPECT_EQ(video->frame_rate, "15/1") << "the view parameters' frame rate";
    EXPECT_EQ(video->frames, r.ticks) << "one frame per fly-through tick";
    ASSERT_EQ(video->width, kVideoWidth);
    ASSERT_EQ(video->height, kVideoHeight);
    ASSERT_EQ(video->rgb.size(), size_t(video->frames) * kVideoWidth * kVideoHeight * 3);

    const auto is_sky = [](const uint8_t* p) {
      return std::abs(p[0] - kSkyRed) < 12 && std::abs(p[1] - kSkyGreen) < 12 &&
             std::abs(p[2] - kSkyBlue) < 12;
    };
    // The copyright band covers the bottom 21 rows; the ground is just above it.
    const int ground_row = kVideoHeight - 2 - 21 - 2;
    int moving = 0;
    for (int f = 0; f < video->frames; ++f) {
      int sky_top = 0, sky_low = 0;
      for (int x = 0; x < kVideoWidth; ++x) {
        sky_top += is_sky(video->Pixel(f, x, 0));
        sky_low += is_sky(video->Pixel(f, x, ground_row));
      }
      EXPECT_EQ(sky_top, kVideoWidth) << "frame " << f << ": the sky is at the top";
      EXPECT_EQ(sky_low, 0) << "frame " << f << ": the ground is at the bottom";
      if (f > 0 && std::memcmp(video->Pixel(f - 1, 0, 0), video->Pixel(f, 0, 0),
                               size_t(kVideoWidth) * kVideoHeight * 3) != 0) {
        ++moving;
      }
    }
    EXPECT_EQ(moving, video->frames - 1) << "every frame shows the camera further on";
  }
}

// Print (its key: the viewer has no menu) puts the view's client area on the page, the 3D
// picture without the scroll bar beside it, as large as the page allows.
TEST_F(LumexProgram, PrintShowsTheClientAreaAsTheScreenShowsIt) {
  if (!OnXDisplay()) return;
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable();
#endif
  const std::string pdf = dir_.File("view.pdf");
  QRect client;  // the 3D picture's place on the screen
  vd::test::RgbImage screen;
  {
    Start();
    CMainFrame& frame = *app_->main_frame();
    QWidget* canvas = nullptr;
    for (QWidget* child : view_->findChildren<QWidget*>())
      if (child->inherits("QOpenGLWidget")) canvas = child;
    ASSERT_NE(canvas, nullptr);
    // Once the screen shows the sky along the picture's top, and the same twice running.
    std::string error;
    ASSERT_TRUE(vd::test::ProcessEventsUntil([&] {
      client = QRect(canvas->mapToGlobal(QPoint(0, 0)), canvas->size());
      const auto shot = ScreenPixels(dir_.path(), error);
      if (!shot || client.width() < 300) return false;
      const bool same = shot->pixels == screen.pixels;
      screen = *shot;
      if (!same) return false;
      for (int x = client.left(); x <= client.right(); x += 7)
        if (!IsSky(screen.At(x, client.top() + 1), 8)) return false;
      return true;
    })) << error;
    ASSERT_LT(client.width(), view_->width()) << "the scroll bar is beside the picture";

    QPrinter& printer = vd::ui::Printer::Current().device();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    SaveVideoAs answers;
    vd::ui::ScopedResponder scope(&answers);
    QAction* print = nullptr;
    for (QAction* action : frame.actions())
      if (action->shortcut() == QKeySequence(QKeySequence::Print)) print = action;
    ASSERT_NE(print, nullptr);
    print->trigger();
    frame.close();
    app_.reset();
  }
#if defined(__SANITIZE_ADDRESS__)
  __lsan_enable();
#endif
  // The page at 100 dots an inch: one dot for each 1/100 inch the viewer prints in.
  const vd::os::SpawnResult rendered = vd::os::Spawn(
      "pdftoppm", {"-r", "100", "-png", "-singlefile", pdf, dir_.File("page")}, true);
  ASSERT_TRUE(rendered.started && rendered.exit_code == 0) << rendered.error;
  const QImage page(QString::fromStdString(dir_.File("page.png")));
  ASSERT_FALSE(page.isNull());
  // The printed picture: the box of what is not paper white.
  int left = page.width(), top = page.height(), right = -1, bottom = -1;
  for (int y = 0; y < page.height(); ++y) {
    for (int x = 0; x < page.width(); ++x) {
      const QRgb c = page.pixel(x, y);
      if (qRed(c) > 245 && qGreen(c) > 245 && qBlue(c) > 245) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  ASSERT_GE(right, left);
  const QRect printed(QPoint(left, top), QPoint(right, bottom));
  EXPECT_NEAR(double(printed.width()) / printed.height(),
              double(client.width()) / client.height(), 0.01)
      << "printed " << printed.width() << "x" << printed.height() << ", client "
      << client.width() << "x" << client.height();
  // Pixel for pixel (scaled), below the caption's lines: the printed picture is the screen's.
  long difference = 0, compared = 0;
  for (int py = printed.height() / 4; py < printed.height(); py += 3) {
    for (int px = 0; px < printed.width(); px += 3) {
      const QRgb p = page.pixel(printed.left() + px, printed.top() + py);
      const int sx = client.left() + px * client.width() / printed.width();
      const int sy = client.top() + py * client.height() / printed.height();
      const uint32_t s = screen.At(sx, sy);
      difference += std::abs(qRed(p) - int(s >> 16 & 0xFF)) +
                    std::abs(qGreen(p) - int(s >> 8 & 0xFF)) + std::abs(qBlue(p) - int(s & 0xFF));
      ++compared;
    }
  }
  ASSERT_GT(compared, 0);
  EXPECT_LT(difference / (compared * 3), 12) << "mean difference per channel";
  // The picture's right edge is the scene, not a scroll bar.
  int sky_on_right = 0;
  for (int py = 0; py < printed.height() / 8; ++py)
    sky_on_right += IsSky(page.pixel(printed.right() - 1, printed.top() + py), 10);
  EXPECT_GT(sky_on_right, printed.height() / 16);
}

// A maximised viewer stays maximised when a recording starts: the frames are rendered at the
// video size whatever the window's.
TEST_F(LumexProgram, RecordingKeepsAMaximisedWindowMaximised) {
  if (!OnXDisplay()) return;
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable();
#endif
  {
    Start();
    CMainFrame& frame = *app_->main_frame();
    frame.showMaximized();
    ASSERT_TRUE(vd::test::ProcessEventsUntil([&] { return frame.isMaximized(); }));
    const QRect filled = frame.geometry();
    ASSERT_TRUE(CAVIFile::SaveOptions(view_->video_options_path(), {}));
    SaveVideoAs answers;
    answers.path = dir_.File("maximised.avi");
    vd::ui::ScopedResponder scope(&answers);
    ASSERT_TRUE(ClickToolbarButton(toolbar(), CLumexView::kCreateVideo));
    ASSERT_TRUE(view_->recording());
    vd::test::DrainEvents();
    EXPECT_TRUE(frame.isMaximized());
    EXPECT_EQ(frame.geometry(), filled);
    ASSERT_TRUE(ClickToolbarButton(toolbar(), CLumexView::kCreateVideo));
    frame.close();
    app_.reset();
  }
#if defined(__SANITIZE_ADDRESS__)
  __lsan_enable();
#endif
}

}  // namespace
