#pragma once
// What the drawing tests of the overlay objects share: screen geometry made by hand, the colour
// of a pixel, and the painter the programs install.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "overlays/model/ui/overlay_drawing.h"
#include "platform/ui/image.h"

namespace vd::test {

constexpr vd::ui::Argb kWhite = 0xFFFFFFFF;

// Screen geometry of world points, as Project leaves it.
inline CScreenPoints Geometry(std::initializer_list<ScreenPointF> points) {
  CScreenPoints geometry;
  for (const ScreenPointF& point : points) geometry.Append(point);
  geometry.valid = true;
  geometry.ComputeBounds();
  return geometry;
}

inline uint32_t Rgb(vd::ui::Argb pixel) { return pixel & 0xFFFFFF; }

// The painter the programs install draws for every test of the fixture.
class InstalledPainter : public ::testing::Test {
 protected:
  void SetUp() override { COverlayPainter::Install(&COverlaySurfacePainter::Global()); }
  void TearDown() override { COverlayPainter::Install(nullptr); }
};

}  // namespace vd::test
