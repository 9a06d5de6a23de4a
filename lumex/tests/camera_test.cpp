#include "lumex/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr double kLat = 50.0;
constexpr double kLon = -5.0;

class CameraTest : public testing::Test {
 protected:
  void SetUp() override {
    camera_.SetCentre(kLat, kLon);
    camera_.SetHeightSource([this](double lat, double lon) { return height_(lat, lon); });
    camera_.SetSquareRadius(1000.0f, 6.0f);
  }

  // A point `east` and `north` metres from the centre.
  LumexPathPoint At(double east, double north) const {
    return {kLat + north / camera_.metres_per_degree_lat,
            kLon + east / camera_.metres_per_degree_lon};
  }

  // The path, then the square set up again as the view does once the path is read.
  void SetPath(const std::vector<LumexPathPoint>& points) {
    camera_.SetPath(points);
    camera_.SetSquareRadius(1000.0f, 6.0f);
  }

  std::function<float(double, double)> height_ = [](double, double) { return 0.0f; };
  CLumexCamera camera_;
};

TEST_F(CameraTest, AdvancesAcrossSegmentsAndSkipsThoseOfNoLength) {
  // East 1000 m, a repeated point, then north 1000 m.
  SetPath({At(0, 0), At(1000, 0), At(1000, 0), At(1000, 1000)});
  CameraRecord record;
  camera_.ResetPath(record);
  EXPECT_NEAR(record.x, 0, 0.01);
  EXPECT_NEAR(record.yaw, kPi, 1e-3) << "heading east, which is -x";
  EXPECT_NEAR(record.z, camera_.flying_height, 1e-3);

  ASSERT_TRUE(camera_.AdvanceAlongPath(record, 1500));
  EXPECT_EQ(camera_.path_index, 2);
  EXPECT_NEAR(record.x, -1000, 0.1);
  EXPECT_NEAR(record.y, 500, 0.1);
  EXPECT_NEAR(record.yaw, kPi / 2, 1e-3);
  EXPECT_NEAR(camera_.travelled, 1500, 1e-3);

  // Back through the empty segment to the first one, then past the start.
  ASSERT_TRUE(camera_.AdvanceAlongPath(record, -1000));
  EXPECT_EQ(camera_.path_index, 0);
  EXPECT_NEAR(record.x, -500, 0.1);
  ASSERT_TRUE(camera_.AdvanceAlongPath(record, -5000));
  EXPECT_EQ(camera_.segment_distance, 0);
  EXPECT_EQ(camera_.travelled, 0);
  EXPECT_NEAR(record.x, 0, 0.01);

  EXPECT_FALSE(camera_.AdvanceAlongPath(record, 2500)) << "beyond the end";
  EXPECT_TRUE(std::isfinite(record.x) && std::isfinite(record.yaw) && std::isfinite(record.pitch));
}

TEST_F(CameraTest, PathOfEqualPointsNeverGivesNaN) {
  SetPath({At(0, 0), At(0, 0), At(0, 0)});
  CameraRecord record;
  camera_.ResetPath(record);
  EXPECT_FALSE(camera_.AdvanceAlongPath(record, 10));
  EXPECT_TRUE(std::isfinite(camera_.camera.x) && std::isfinite(camera_.camera.yaw));
  camera_.PredictCamera(record, 1);
  EXPECT_TRUE(std::isfinite(record.x) && std::isfinite(record.pitch));
}

TEST_F(CameraTest, AimsAtTheGroundAheadAndBeyondThePathEnd) {
  // The look point lies 3 x 200 m ahead: past the end of a 400 m path, on the extra point's
  // continuation, on a hill of 600 m (300 x exaggeration 2).
  height_ = [this](double, double lon) {
    return lon > kLon + 450 / camera_.metres_per_degree_lon ? 300.0f : 0.0f;
  };
  SetPath({At(0, 0), At(400, 0)});
  CameraRecord record;
  ASSERT_TRUE(camera_.AimAlongPath(0, record = CameraRecord{}, 0, 400));
  EXPECT_NEAR(record.yaw, kPi, 1e-3);
  EXPECT_NEAR(record.pitch, std::atan2(600.0f, 600.0f), 1e-3);
}

TEST_F(CameraTest, ExtraPointContinuesThePathStraight) {
  // Speed 200: the path goes on 20 km beyond its end, in the direction from the last point at
  // least 10 m back (points within 10 m of the end are passed over, down to point 0).
  struct Case {
    std::vector<LumexPathPoint> points;
    double east, north;  // of the extra point
  };
  const Case cases[] = {
      {{At(0, 0), At(0, 100)}, 0, 20100},
      {{At(0, 0), At(100, 0), At(105, 0)}, 20105, 0},
      {{At(0, 0), At(3, 4), At(0, 5)}, 0, 20005},
      {{At(7, 7), At(7, 7)}, 7, 7},  // no direction: the extra point is the last one
      {{At(7, 7)}, 7, 7},
  };
  for (const Case& c : cases) {
    SetPath(c.points);
    ASSERT_EQ(camera_.points().size(), c.points.size() + 1);
    const LumexPathPoint want = At(c.east, c.north);
    EXPECT_NEAR(camera_.points().back().lat, want.lat, 1e-6);
    EXPECT_NEAR(camera_.points().back().lon, want.lon, 1e-6);
  }
}

TEST_F(CameraTest, PredictionWrapsToTheStart) {
  SetPath({At(0, 0), At(1000, 0), At(1000, 1000)});
  CameraRecord record;
  ASSERT_TRUE(camera_.PredictCamera(record, 6.0f));  // 1200 m
  EXPECT_NEAR(record.x, -1000, 0.1);
  EXPECT_NEAR(record.y, 200, 0.1);
  EXPECT_NEAR(record.z, 0, 1e-3) << "on the ground";
  EXPECT_EQ(camera_.wrap_state, 0);
  EXPECT_EQ(camera_.path_index, 0) << "the view's state is left alone";

  ASSERT_TRUE(camera_.PredictCamera(record, 11.0f));  // 2200 m: past the end
  EXPECT_EQ(camera_.wrap_state, 1);
  EXPECT_NEAR(record.x, 0, 0.01);
  EXPECT_NEAR(record.y, 0, 0.01);
}

TEST_F(CameraTest, FlyingWaitsAtTheEndThenRestartsWhenTheStartIsReady) {
  SetPath({At(0, 0), At(100, 0)});
  camera_.flying = true;
  EXPECT_EQ(camera_.FlyStep(0.04f), FlyTick::kMoved);
  EXPECT_NEAR(camera_.camera.x, -8, 0.01);
  EXPECT_EQ(camera_.FlyStep(1.0f), FlyTick::kWaiting);
  EXPECT_EQ(camera_.segment_length, -1.0f);
  EXPECT_EQ(camera_.FlyStep(0.04f), FlyTick::kWaiting);
  EXPECT_NEAR(camera_.camera.x, -8, 0.01) << "the camera waits";
  camera_.wrap_state = 2;
  EXPECT_EQ(camera_.FlyStep(0.04f), FlyTick::kRestarted);
  EXPECT_EQ(camera_.wrap_state, 0);
  EXPECT_NEAR(camera_.camera.x, 0, 0.01);
  EXPECT_EQ(camera_.travelled, 0);
}

TEST_F(CameraTest, FlyingTurnsTheShortWayRound) {
  // A path heading at yaw 0.1 while the camera looks at 6.2 rad.
  SetPath({At(0, 0), At(-10000 * std::cos(0.1), 10000 * std::sin(0.1))});
  camera_.camera.yaw = 6.2f;
  camera_.camera.pitch = 0.5f;
  ASSERT_EQ(camera_.FlyStep(0.04f), FlyTick::kMoved);
  EXPECT_NEAR(camera_.camera.yaw, 0.9f * 6.2f + 0.1f * (0.1f + 2 * kPi), 1e-3);
  // The path aims from the ground at the ground: level.
  EXPECT_NEAR(camera_.camera.pitch, 0.45f, 1e-5);
}

TEST_F(CameraTest, KeysUseTheRepeatCountAsTheyDoWalkingAndFlying) {
  const float one = CLumexCamera::kOneDegree;
  const float step = camera_.step;
  struct Case {
    NavKey key;
    bool flying;
    float yaw, pitch, z, yaw_offset, pitch_offset, height;  // changes after repeat 3
  };
  const Case cases[] = {
      {NavKey::kLeft, false, -3 * one, 0, 0, 0, 0, 0},
      {NavKey::kUp, false, 0, one, 0, 0, 0, 0},
      {NavKey::kPageUp, false, 0, 0, step, 0, 0, 0},
      {NavKey::kLeft, true, 0, 0, 0, -3 * one, 0, 0},
      {NavKey::kUp, true, 0, 0, 0, 0, 3 * one, 0},
      {NavKey::kPageUp, true, 0, 0, 0, 0, 0, 3 * step},
  };
  for (const Case& c : cases) {
    CLumexCamera cam = camera_;
    cam.flying = c.flying;
    const CLumexCamera before = cam;
    EXPECT_EQ(cam.KeyDown(c.key, 3, false), !c.flying);
    EXPECT_NEAR(cam.camera.yaw - before.camera.yaw, c.yaw, 1e-6);
    EXPECT_NEAR(cam.camera.pitch - before.camera.pitch, c.pitch, 1e-6);
    EXPECT_NEAR(cam.camera.z - before.camera.z, c.z, 1e-4);
    EXPECT_NEAR(cam.yaw_offset - before.yaw_offset, c.yaw_offset, 1e-6);
    EXPECT_NEAR(cam.pitch_offset - before.pitch_offset, c.pitch_offset, 1e-6);
    EXPECT_NEAR(cam.flying_height - before.flying_height, c.height, 1e-3);
  }
}

TEST_F(CameraTest, StrafingMovesAcrossTheViewAndSpeedStaysInItsRange) {
  camera_.camera.yaw = kPi / 2;  // north
  camera_.KeyDown(NavKey::kLeft, 2, /*ctrl=*/true);
  EXPECT_NEAR(camera_.camera.x, 2 * camera_.step, 1e-3) << "left of north is west, +x";
  camera_.KeyDown(NavKey::kUp, 1, true);
  EXPECT_NEAR(camera_.camera.y, camera_.step, 1e-3);

  camera_.flying = true;
  for (int i = 0; i < 200; ++i) camera_.KeyDown(NavKey::kHome, 1, false);
  EXPECT_FLOAT_EQ(camera_.speed, 500.0f);
  for (int i = 0; i < 400; ++i) camera_.KeyDown(NavKey::kEnd, 1, false);
  EXPECT_FLOAT_EQ(camera_.speed, 1.0f);
  for (int i = 0; i < 400; ++i) camera_.KeyDown(NavKey::kPageDown, 1, false);
  EXPECT_FLOAT_EQ(camera_.flying_height, camera_.near_distance);
}

TEST_F(CameraTest, ClampsKeepTheCameraInItsLimits) {
  height_ = [](double, double) { return 50.0f; };  // 100 m with exaggeration 2
  struct Case {
    CameraRecord in;
    float yaw, pitch, fov, x, z;
  };
  const float max_r = 6000;
  const Case cases[] = {
      {{{1, 0, -0.5f}, 0, 0, 500, 2.0f, 1.0f, 1.2f}, 1.0f, kPi / 3, 1.8f, 0, 500},
      {{{1, 0, -0.5f}, 0, 0, 500, 0.01f, -0.5f, 0}, 2 * kPi - 0.5f, 0, 0.08f, 0, 500},
      {{{1, 0, -0.5f}, 0, 0, 50, 1, 7.0f, -2.0f}, 7.0f - 2 * kPi, -1.4835298f, 1, 0, 110},
      {{{1, 0, -0.5f}, 8000, 0, 500, 1, 1, 0}, 1, 0, 1, max_r, 500},
  };
  for (const Case& c : cases) {
    camera_.camera = c.in;
    camera_.ClampCamera();
    EXPECT_NEAR(camera_.camera.yaw, c.yaw, 1e-5);
    EXPECT_NEAR(camera_.camera.pitch, c.pitch, 1e-5);
    EXPECT_NEAR(camera_.camera.field_of_view, c.fov, 1e-6);
    EXPECT_NEAR(camera_.camera.x, c.x, 1e-2);
    EXPECT_NEAR(camera_.camera.z, c.z, 1e-3);
  }
  EXPECT_NEAR(camera_.flying_height, 400, 1e-3) << "follows the camera while walking";
}

TEST_F(CameraTest, OnePointGivesTheFixedPointViewAndOrbitStaysAboveGround) {
  SetPath({At(0, 0)});
  ASSERT_TRUE(camera_.fixed_point);
  camera_.SetDefaultViewpoint();
  EXPECT_FLOAT_EQ(camera_.camera.y, -1100);
  EXPECT_FLOAT_EQ(camera_.camera.z, 280);
  float target[3];
  camera_.LookTarget(target);
  EXPECT_NEAR(camera_.camera.yaw, kPi / 2, 1e-5) << "looking north at the centre";

  // Dragging the same way turns the orbit the other way in the window's upper half.
  CLumexCamera lower = camera_;
  CLumexCamera upper = camera_;
  lower.Orbit(100, 0, false);
  upper.Orbit(100, 0, true);
  EXPECT_NEAR(lower.camera.yaw - camera_.camera.yaw, 0.17453292f, 1e-5);
  EXPECT_NEAR(upper.camera.yaw - camera_.camera.yaw, -0.17453292f, 1e-5);
  const float rho = std::hypot(camera_.camera.x, camera_.camera.y, camera_.camera.z);
  EXPECT_NEAR(std::hypot(lower.camera.x, lower.camera.y, lower.camera.z), rho, 0.05);

  // Dragging down hard: never under -89 degrees, never nearer the ground than 2 near distances.
  for (int i = 0; i < 50; ++i) camera_.Orbit(0, 200, false);
  EXPECT_GE(camera_.camera.pitch + camera_.pitch_offset, CLumexCamera::kMinOrbitPitch - 1e-6);
  for (int i = 0; i < 50; ++i) camera_.Orbit(0, -200, false);
  EXPECT_GE(camera_.camera.z, 2 * camera_.near_distance - 1e-3);
}

TEST_F(CameraTest, NewTerrainWhenTheViewReachesBeyondTheSquare) {
  camera_.flying_height = 200;
  CameraRecord record;
  record.field_of_view = 0.8f;
  record.yaw = 0;
  record.pitch = -0.6f;  // lower edge 1.0 rad down: the ground about 128 m ahead
  EXPECT_FALSE(camera_.NeedsNewTerrain(record));
  record.x = 950;
  EXPECT_TRUE(camera_.NeedsNewTerrain(record));
  record.yaw = kPi;
  EXPECT_FALSE(camera_.NeedsNewTerrain(record)) << "looking back towards the centre";
  record.yaw = 0;
  record.pitch = 0.6f;  // looking up: the distance is taken as 0
  EXPECT_FALSE(camera_.NeedsNewTerrain(record));
  record.pitch = -0.6f;
  camera_.fixed_point = true;
  EXPECT_FALSE(camera_.NeedsNewTerrain(record));
}

TEST_F(CameraTest, LightFollowsTheMouseAndIgnoresAnEmptyWindow) {
  camera_.camera.yaw = 0;
  camera_.AdjustLight(100, 50, 200, 100);  // the window's middle: straight down
  EXPECT_NEAR(camera_.camera.light[2], -1, 1e-6);
  camera_.AdjustLight(0, 50, 200, 100);  // left edge: u = 1
  EXPECT_NEAR(camera_.camera.light[1], 1, 1e-5);
  EXPECT_NEAR(camera_.camera.light[2], -0.1f, 1e-6);
  const CameraRecord before = camera_.camera;
  camera_.AdjustLight(0, 0, 1, 1);
  EXPECT_EQ(camera_.camera.light[1], before.light[1]);
}

}  // namespace
