#include "lumex/scene_matrices.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(SceneMatricesTest, LookingNorthPutsEastOnTheRightAndSpansDepthZeroToOne) {
  // Scene x grows westwards: east is -x.
  const float eye[3] = {100, 200, 50};
  const float at[3] = {100, 300, 50};
  const float up[3] = {0, 0, 1};
  const SceneMatrix view = LookAtLH(eye, at, up);
  const SceneMatrix projection = PerspectiveFovLH(0.9f, 2.0f, 10.0f, 1000.0f);
  const auto project = [&](float x, float y, float z) {
    const float p[3] = {x, y, z};
    const auto v = TransformPoint(view, p);
    const float vp[3] = {v[0], v[1], v[2]};
    auto c = TransformPoint(projection, vp);
    return std::array<float, 3>{c[0] / c[3], c[1] / c[3], c[2] / c[3]};
  };
  EXPECT_NEAR(project(100, 210, 50)[2], 0.0f, 1e-5);
  EXPECT_NEAR(project(100, 1200, 50)[2], 1.0f, 1e-5);
  EXPECT_GT(project(0, 300, 50)[0], 0.0f) << "east of the eye is on the right";
  EXPECT_GT(project(100, 300, 80)[1], 0.0f) << "above is up";
  // The field of view spans -1..1 vertically; the aspect widens it.
  const float top = 100 * std::tan(0.45f);
  EXPECT_NEAR(project(100, 300, 50 + top)[1], 1.0f, 1e-4);
  EXPECT_NEAR(project(100 - 2 * top, 300, 50)[0], 1.0f, 1e-4);
}

}  // namespace
