#include "charts/clip_spikes.h"

#include <algorithm>

void ClipSpikes(float* samples, int stride, int count, int k, float factor) {
  if (samples == nullptr || stride < 1 || count < 1) return;
  if (count < 2 * k + 1) k = (count - 1) / 2;
  if (k <= 0) return;
  const auto at = [&](int i) -> float& { return samples[static_cast<long>(i) * stride]; };
  const int window = 2 * k + 1;
  const int last_start = count - window;

  // Sum of the current window, kept in double so that a long series does not drift.
  double sum = 0.0;
  for (int i = 0; i < window; ++i) sum += at(i);
  int start = 0;
  for (int i = 0; i < count; ++i) {
    const int wanted = std::clamp(i - k, 0, last_start);
    while (start < wanted) {
      sum += double{at(start + window)} - at(start);
      ++start;
    }
    const float v = at(i);
    const double mean = (sum - v) / (2 * k);
    if (v > factor * mean && v > mean) {
      at(i) = static_cast<float>(mean);
      sum += mean - v;
    }
  }
}
