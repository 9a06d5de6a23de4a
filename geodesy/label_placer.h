#pragma once
// Places text labels along a screen polyline so that the labels of one drawing pass do not
// cover each other. One placer serves a whole pass: it owns the rectangles placed so far, and
// SetPolyline moves it on to the next polyline of the same pass.
#include <cstdint>
#include <span>
#include <vector>

#include "geodesy/plane_geometry.h"

// Inclusive bounds: pixel (x, y) is inside when left <= x <= right and top <= y <= bottom.
struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

class LabelPlacer {
 public:
  // Label sizes in pixels; negative sizes count as 0. The points must outlive their use.
  LabelPlacer(std::span<const ScreenPoint> points, int width, int height,
              const ScreenRect& allowed);

  // Continues the pass on another polyline (labels of another size), keeping the labels placed.
  void SetPolyline(std::span<const ScreenPoint> points, int width, int height);

  // Walks on along the polyline, pixel by pixel, collecting pixels inside the allowed rectangle
  // and outside every placed label until they would no longer fit in one label; the label is
  // centred on the box of the pixels collected, recorded and returned. A label that would cover
  // one placed before is dropped and the walk goes on from there. False when the rest of the
  // polyline gives no label. Each call continues where the previous one stopped.
  bool FindPosition(ScreenRect& rect);

 private:
  struct PixelBox;

  bool IsFree(int64_t x, int64_t y) const;
  // Centres the label on the box; records and returns it unless it overlaps a placed label.
  bool Place(const PixelBox& box, ScreenRect& rect);

  std::span<const ScreenPoint> points_;  // from the current point on
  double walked_ = 0.0;                  // distance walked into the current segment, pixels
  int32_t width_ = 0;
  int32_t height_ = 0;
  ScreenRect allowed_;
  std::vector<ScreenRect> placed_;
};
