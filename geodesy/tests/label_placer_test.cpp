#include "geodesy/label_placer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

const ScreenRect kScreen = {0, 0, 199, 199};

bool Overlap(const ScreenRect& a, const ScreenRect& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

std::vector<ScreenRect> AllLabels(LabelPlacer& placer) {
  std::vector<ScreenRect> labels;
  ScreenRect r;
  while (placer.FindPosition(r)) labels.push_back(r);
  return labels;
}

void ExpectRect(const ScreenRect& r, int left, int top, int right, int bottom) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right, right);
  EXPECT_EQ(r.bottom, bottom);
}

TEST(LabelPlacerTest, LabelsFollowEachOtherAlongALine) {
  const std::vector<ScreenPoint> line = {{0, 10}, {100, 10}};
  LabelPlacer placer(line, 20, 8, kScreen);
  const std::vector<ScreenRect> labels = AllLabels(placer);
  // Pixels 0..20 fill the first label, 21..41 the second and so on. The pixels 84..99 left at the
  // end would centre a label on x = 91 over the fourth one: no fifth label.
  ASSERT_EQ(labels.size(), 4u);
  ExpectRect(labels[0], 0, 6, 20, 14);
  ExpectRect(labels[1], 21, 6, 41, 14);
  ExpectRect(labels[3], 63, 6, 83, 14);
  ScreenRect r;
  EXPECT_FALSE(placer.FindPosition(r));
}

TEST(LabelPlacerTest, APolylineUnderEarlierLabelsGetsNone) {
  const std::vector<ScreenPoint> first = {{0, 50}, {60, 50}};
  LabelPlacer placer(first, 40, 20, kScreen);
  ScreenRect r;
  ASSERT_TRUE(placer.FindPosition(r));
  const std::vector<ScreenPoint> covered = {{5, 45}, {30, 55}, {10, 50}};
  placer.SetPolyline(covered, 10, 10);
  EXPECT_FALSE(placer.FindPosition(r));
  // Nor outside the allowed rectangle, nor with fewer than two distinct points.
  const std::vector<ScreenPoint> outside = {{300, 10}, {400, 10}};
  placer.SetPolyline(outside, 10, 10);
  EXPECT_FALSE(placer.FindPosition(r));
  const std::vector<ScreenPoint> spot = {{150, 150}, {150, 150}, {150, 150}};
  placer.SetPolyline(spot, 10, 10);
  EXPECT_FALSE(placer.FindPosition(r));
  placer.SetPolyline({}, 10, 10);
  EXPECT_FALSE(placer.FindPosition(r));
}

TEST(LabelPlacerTest, RepeatedPointsChangeNothing) {
  const std::vector<ScreenPoint> plain = {{10, 10}, {90, 30}, {90, 120}, {20, 180}};
  const std::vector<ScreenPoint> repeated = {{10, 10}, {10, 10},  {90, 30},  {90, 30},
                                             {90, 30}, {90, 120}, {20, 180}, {20, 180}};
  LabelPlacer a(plain, 25, 12, kScreen);
  LabelPlacer b(repeated, 25, 12, kScreen);
  const std::vector<ScreenRect> la = AllLabels(a);
  const std::vector<ScreenRect> lb = AllLabels(b);
  ASSERT_EQ(la.size(), lb.size());
  ASSERT_GE(la.size(), 3u);
  for (size_t i = 0; i < la.size(); ++i) {
    ExpectRect(lb[i], la[i].left, la[i].top, la[i].right, la[i].bottom);
  }
}

TEST(LabelPlacerTest, LabelsOfOnePassNeverOverlap) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> coordinate(-50, 250);
  LabelPlacer placer({}, 0, 0, kScreen);
  std::vector<ScreenRect> labels;
  for (int polyline = 0; polyline < 30; ++polyline) {
    std::vector<ScreenPoint> points;
    for (int i = 0; i < 6; ++i) points.push_back({coordinate(random), coordinate(random)});
    const int width = 10 + polyline % 4 * 7;
    const int height = 6 + polyline % 3 * 5;
    placer.SetPolyline(points, width, height);
    for (const ScreenRect& r : AllLabels(placer)) {
      EXPECT_EQ(r.right - r.left, width);
      EXPECT_EQ(r.bottom - r.top, height);
      labels.push_back(r);
    }
  }
  ASSERT_GE(labels.size(), 20u);
  for (size_t i = 0; i < labels.size(); ++i) {
    for (size_t j = i + 1; j < labels.size(); ++j) {
      EXPECT_FALSE(Overlap(labels[i], labels[j])) << i << " " << j;
    }
  }
}

TEST(LabelPlacerTest, ASegmentFarLongerThanTheScreenIsWalkedOnlyWhereItShows) {
  const std::vector<ScreenPoint> line = {{-2'000'000'000, 50}, {2'000'000'000, 50}};
  LabelPlacer placer(line, 100, 10, kScreen);
  const std::vector<ScreenRect> labels = AllLabels(placer);
  ASSERT_EQ(labels.size(), 1u);  // 0..100; the rest, 101..199, would centre over it
  ExpectRect(labels[0], 0, 45, 100, 55);
}

}  // namespace
