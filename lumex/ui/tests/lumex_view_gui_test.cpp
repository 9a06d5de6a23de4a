// The 3D view: its scene set-up from a start file, and frames rendered offscreen with the
// view's own transforms, lighting, fog and captions.
#include "lumex/ui/lumex_view.h"

#include <gtest/gtest.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QPainter>
#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <numbers>

#include "charts/old_quick_chart.h"
#include "charts/tests/qed_fixture.h"
#include "lumex/tests/terrain_fixture.h"
#include "lumex/ui/terrain_renderer.h"
#include "platform/os/environment.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"
#include "tests/xvfb.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr double kNorth = 50.1;
constexpr double kWest = -5.1;
constexpr double kDegreesPerPixel = 1.0 / 3600;
constexpr uint32_t kSky = 0x00C8B4B4;  // red 180, green 180, blue 200
constexpr uint32_t kRed = 0x00FF0000;  // texture pixel 0x??RRGGBB

class LumexViewTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::os::SetEnv("XDG_CONFIG_HOME", config_.path());
    // Small terrain textures, so that the scene stays within the elevation fixture.
    ViewParams params;
    params.texture_size = 64;
    ASSERT_TRUE(SaveViewParams(params));
    vd::test::WriteTerrainWorld(dir_.File("c.qct"), dir_.File("e.qed"), kNorth, kWest,
                                kDegreesPerPixel, {{kQctCopyright, "Test Charts"}});
  }
  void TearDown() override { vd::os::UnsetEnv("XDG_CONFIG_HOME"); }

  // A square textured all red around (lat, lon), flat, with the view's camera set up for it.
  std::unique_ptr<CMapSquare> RedSquare(CLumexCamera& camera) {
    auto chart = OpenOldQuickChart(dir_.File("c.qct"), false);
    EXPECT_NE(chart, nullptr);
    auto square = std::make_unique<CMapSquare>(
        20, RedTexture(), dir_.File("MapSquare.dds"));
    camera.SetCentre(50.05, -5.05);
    camera.SetSquareRadius(square->LoadTexture(*chart, 64, 0, 50.05, -5.05), 6.0f);
    square->Fill(nullptr, 1.0f);
    return square;
  }
  static SquareTextureRenderer RedTexture() {
    return [](const SquareTextureRequest& r) {
      return vd::test::WriteTestDds(r.texture_path, r.width, r.height,
                                    [](int, int) { return kRed; });
    };
  }

  vd::test::TempDir config_;
  vd::test::TempDir dir_;
};

TEST_F(LumexViewTest, SetsUpTheSceneAroundTheStartPoint) {
  struct Case {
    LumexPathPoint point;
    double centre_lat, centre_lon;  // where the scene ends up
  };
  const Case cases[] = {
      {{50.06, -5.07}, 50.06, -5.07},
      // Off the chart: the chart's middle pixel (128, 128).
      {{51.0, -5.07}, kNorth - 128 * kDegreesPerPixel, kWest + 128 * kDegreesPerPixel},
  };
  for (const Case& c : cases) {
    CLumexView view(nullptr);
    view.SetTextureRenderer(RedTexture());
    ASSERT_TRUE(view.CreateDevice());
    view.SetStartData({dir_.File("c.qct"), dir_.File("e.qed"), {c.point}});
    ASSERT_TRUE(view.SetupScene(true));
    const CLumexCamera& camera = view.camera();
    EXPECT_NEAR(camera.centre_lat, c.centre_lat, 1e-9);
    EXPECT_NEAR(camera.centre_lon, c.centre_lon, 1e-9);
    ASSERT_TRUE(view.front_square()->IsFilled());
    EXPECT_TRUE(camera.fixed_point);
    const float r = camera.square_radius;
    EXPECT_GT(r, 0);
    EXPECT_FLOAT_EQ(camera.camera.y, -1.1f * r);
    EXPECT_FLOAT_EQ(camera.camera.z, 80 + 0.28f * r) << "40 m drawn twice as high";
    EXPECT_NEAR(camera.camera.yaw, std::numbers::pi / 2, 1e-5);
    EXPECT_EQ(view.copyright(), "\xC2\xA9 Test Charts");
    EXPECT_FALSE(view.hide_copyright());
  }
}

TEST_F(LumexViewTest, MissingElevationOrChartLeavesTheSceneUnbuilt) {
  CLumexView view(nullptr);
  view.SetTextureRenderer(RedTexture());
  ASSERT_TRUE(view.CreateDevice());
  view.SetStartData({dir_.File("c.qct"), dir_.File("none.qed"), {{50.06, -5.07}}});
  EXPECT_FALSE(view.SetupScene(true));
  view.SetStartData({dir_.File("none.qct"), dir_.File("e.qed"), {{50.06, -5.07}}});
  EXPECT_FALSE(view.SetupScene(true));
  EXPECT_FALSE(view.front_square()->IsFilled());
}

// The offscreen platform draws GL through an X display: a virtual one is started when none
// is set. It stays up until the program ends, after the application has let go of it.
bool HaveDisplay() {
  if (vd::os::GetEnv("DISPLAY")) return true;
  static vd::test::Xvfb server;
  std::string error;
  if (!vd::test::Xvfb::Installed() || !server.Start(640, 480, error)) return false;
  return vd::os::SetEnv("DISPLAY", server.display());
}

// The GL driver keeps some allocations of its contexts and pipelines until the process ends;
// they are not ours to report. Held while the offscreen context lives.
struct IgnoreDriverLeaks {
#if defined(__SANITIZE_ADDRESS__)
  IgnoreDriverLeaks() { __lsan_disable(); }
  ~IgnoreDriverLeaks() { __lsan_enable(); }
#endif
};

// An offscreen GL 3.3 core context with a framebuffer of the given size.
class Offscreen {
 public:
  bool Create(int width, int height) {
    if (!HaveDisplay()) return false;
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    context_.setFormat(format);
    surface_.setFormat(format);
    surface_.create();
    if (!context_.create() || !context_.makeCurrent(&surface_)) return false;
    QOpenGLFramebufferObjectFormat fbo_format;
    fbo_format.setAttachment(QOpenGLFramebufferObject::Depth);
    fbo_ = std::make_unique<QOpenGLFramebufferObject>(width, height, fbo_format);
    return fbo_->bind();
  }
  ~Offscreen() {
    fbo_.reset();
    context_.doneCurrent();
  }
  QImage Image() { return fbo_->toImage().convertToFormat(QImage::Format_RGB32); }

 private:
  IgnoreDriverLeaks driver_;  // first made, last gone
  QOffscreenSurface surface_;
  QOpenGLContext context_;
  std::unique_ptr<QOpenGLFramebufferObject> fbo_;
};

void ExpectColour(const QImage& image, int x, int y, int red, int green, int blue) {
  const QColor c = image.pixelColor(x, y);
  EXPECT_NEAR(c.red(), red, 3) << x << "," << y;
  EXPECT_NEAR(c.green(), green, 3) << x << "," << y;
  EXPECT_NEAR(c.blue(), blue, 3) << x << "," << y;
}

bool AnyDark(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 80) return true;
    }
  }
  return false;
}

TEST_F(LumexViewTest, RendersTerrainSkyFogAndCaptions) {
  constexpr int kWidth = 400;
  constexpr int kHeight = 160;
  Offscreen gl;
  ASSERT_TRUE(gl.Create(kWidth, kHeight)) << "no OpenGL 3.3 context";
  CTerrainRenderer renderer;
  std::string error;
  ASSERT_TRUE(renderer.Initialize(error)) << error;
  CLumexCamera camera;
  const auto square = RedSquare(camera);
  const float r = camera.square_radius;
  ASSERT_GT(r, 0);

  // Near the ground looking north, level: sky above, lit red terrain below.
  camera.camera.x = 0;
  camera.camera.y = -0.5f * r;
  camera.camera.z = 0.05f * r;
  float target[3] = {0, 0, 0.05f * r};
  renderer.Render(MakeSceneFrame(camera, target, kSky, kWidth, kHeight), {square.get()}, kWidth,
                  kHeight);
  QImage near_image = gl.Image();
  ExpectColour(near_image, kWidth / 2, 2, 180, 180, 200);
  const QColor ground = near_image.pixelColor(kWidth / 2, kHeight - 2);
  EXPECT_GT(ground.red(), 200);
  EXPECT_LT(ground.green(), 60);
  EXPECT_LT(ground.blue(), 60);

  // Beyond 11 R from all of the square: all of it in the fog, half the sky's brightness.
  camera.camera.y = -12 * r;
  camera.camera.z = 2 * r;
  float centre[3] = {0, 0, 0};
  renderer.Render(MakeSceneFrame(camera, centre, kSky, kWidth, kHeight), {square.get()}, kWidth,
                  kHeight);
  ExpectColour(gl.Image(), kWidth / 2, kHeight / 2, 90, 90, 100);

  // Captions: the exaggeration at the top right, the error in the middle.
  const QRect client(0, 0, kWidth, kHeight);
  {
    QPainter painter(&near_image);
    DrawLumexCaptions(painter, client, {0, true, 2.0f});
  }
  EXPECT_TRUE(AnyDark(near_image, QRect(kWidth * 3 / 4, 0, kWidth / 4, 25)));
  EXPECT_FALSE(AnyDark(near_image, QRect(0, 0, kWidth / 4, 25)));
  EXPECT_FALSE(AnyDark(near_image, QRect(0, 70, kWidth, 20)));
  {
    QPainter painter(&near_image);
    DrawLumexCaptions(painter, client, {908, false, 2.0f});
  }
  EXPECT_TRUE(AnyDark(near_image, QRect(0, 70, kWidth, 20)));
  renderer.Release();
}

}  // namespace

namespace {

TEST_F(LumexViewTest, CommandsFollowThePathAndTheFlight) {
  CLumexView view(nullptr);
  view.SetTextureRenderer(RedTexture());
  ASSERT_TRUE(view.CreateDevice());
  const auto state = [&](int id) {
    const CLumexCommandState s = view.CommandState(id);
    return std::string(s.enabled ? "e" : "-") + (s.checked ? "c" : "-") + (s.visible ? "v" : "-");
  };

  view.SetStartData({dir_.File("c.qct"), dir_.File("e.qed"), {{50.06, -5.07}}});
  ASSERT_TRUE(view.SetupScene(true));
  // The scene set-up starts a terrain build; the fixed point waits for it.
  EXPECT_EQ(state(CLumexView::kFixedPoint), "-cv");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (view.rebuilding() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(state(CLumexView::kPlay), "--v") << "one point: nothing to fly";
  EXPECT_EQ(state(CLumexView::kStepForward), "--v");
  EXPECT_EQ(state(CLumexView::kCreateVideo), "--v");
  EXPECT_EQ(state(CLumexView::kFixedPoint), "ecv");

  view.SetStartData({dir_.File("c.qct"), dir_.File("e.qed"), {{50.06, -5.07}, {50.06, -5.05}}});
  ASSERT_TRUE(view.SetupScene(false));
  EXPECT_EQ(state(CLumexView::kPlay), "e-v");
  EXPECT_EQ(state(CLumexView::kPause), "e--");
  view.OnCommand(CLumexView::kPlay);
  EXPECT_EQ(state(CLumexView::kPlay), "e--");
  EXPECT_EQ(state(CLumexView::kPause), "e-v");
  EXPECT_EQ(state(CLumexView::kFixedPoint), "--v");
  view.OnCommand(CLumexView::kPause);
  EXPECT_FALSE(view.camera().flying);

  // A step goes 5 s of flight along the path (200 m/s) and back.
  view.OnCommand(CLumexView::kStepForward);
  EXPECT_NEAR(view.camera().travelled, 1000, 1e-2);
  view.OnCommand(CLumexView::kStepBack);
  EXPECT_NEAR(view.camera().travelled, 0, 1e-2);

  for (int i = 0; i < 40; ++i) view.OnCommand(CLumexView::kWider);
  EXPECT_EQ(state(CLumexView::kWider), "--v");
  EXPECT_EQ(state(CLumexView::kNarrower), "e-v");
}

TEST(LumexArrangement, SideBySideOrMapBelowShareTheScreen) {
  const CArrangedWindows side = ArrangeViewerAndChart(1001, 700, kSideBySideLayout);
  EXPECT_EQ(side.viewer, QRect(0, 0, 500, 700));
  EXPECT_EQ(side.chart, QRect(500, 0, 501, 700));
  const CArrangedWindows below = ArrangeViewerAndChart(1000, 701, kMapBelowLayout);
  EXPECT_EQ(below.viewer, QRect(0, 0, 1000, 350));
  EXPECT_EQ(below.chart, QRect(0, 350, 1000, 351));
}

TEST(LumexDeviceError, TheMessageGivesTheCodesAndAdvice) {
  const std::string text = DeviceErrorMessage(604, 0x80004005, 2);
  EXPECT_EQ(text.rfind("Sorry, this computer is not able to display the 3D image with the current "
                       "setttings.\nError: 604/0x80004005/0x2\n\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("OpenGL"), std::string::npos);
  EXPECT_NE(text.find("search for mesa"), std::string::npos);
}

}  // namespace
