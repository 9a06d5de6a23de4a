#include "charts/clip_spikes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct SpikeCase {
  std::vector<float> in;
  int k;
  float factor;
  std::vector<float> out;
};

TEST(ClipSpikes, ReplacesSpikesByTheMeanOfTheirWindow) {
  const SpikeCase cases[] = {
      {{1, 1, 10, 1, 1}, 1, 2.0f, {1, 1, 1, 1, 1}},
      // First samples use the first window, last samples the last one.
      {{10, 1, 1, 1, 1}, 1, 2.0f, {1, 1, 1, 1, 1}},
      {{1, 1, 1, 1, 10}, 1, 2.0f, {1, 1, 1, 1, 1}},
      // The replaced value already counts for the next window: with 40 still there, 7 would
      // not be a spike.
      {{2, 2, 40, 7, 2, 2}, 1, 2.0f, {2, 2, 4.5f, 3.25f, 2, 2}},
      // k larger than the series allows: k = (5 - 1) / 2.
      {{1, 1, 9, 1, 1}, 5, 2.0f, {1, 1, 1, 1, 1}},
      // Too short for any window.
      {{1, 100}, 1, 2.0f, {1, 100}},
      // Not above factor x mean: left alone.
      {{2, 2, 4, 2, 2}, 1, 2.0f, {2, 2, 4, 2, 2}},
      // A factor below 1 never raises a sample (the first 1 is above 0.5 x 1.5).
      {{1, 1, 2}, 1, 0.5f, {1, 1, 1}},
  };
  for (const SpikeCase& c : cases) {
    std::vector<float> samples = c.in;
    ClipSpikes(samples.data(), 1, static_cast<int>(samples.size()), c.k, c.factor);
    EXPECT_EQ(samples, c.out);
  }
}

TEST(ClipSpikes, WorksOnEveryStrideThSampleOnly) {
  // Speeds interleaved with another field that must not be touched.
  std::vector<float> samples = {1, 50, 1, 60, 10, 70, 1, 80, 1, 90};
  ClipSpikes(samples.data(), 2, 5, 1, 2.0f);
  EXPECT_EQ(samples, (std::vector<float>{1, 50, 1, 60, 1, 70, 1, 80, 1, 90}));
}

TEST(ClipSpikes, NeverRaisesAndOnlyLowersSpikes) {
  std::vector<float> in;
  for (int i = 0; i < 200; ++i)
    in.push_back(static_cast<float>((i * 37) % 23 + (i % 17 == 0 ? 80 : 0)));
  std::vector<float> out = in;
  ClipSpikes(out.data(), 1, static_cast<int>(out.size()), 3, 2.5f);
  int lowered = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_LE(out[i], in[i]) << i;
    if (out[i] < in[i]) ++lowered;
  }
  EXPECT_GT(lowered, 0);
}

}  // namespace
