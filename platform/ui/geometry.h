#pragma once
// Points, sizes and rectangles of the UI layer. Integer rectangles follow the convention of the
// drawing code that uses them: (left, top) is inside, (right, bottom) is just outside, so the
// width is right - left. The float forms carry the coordinates of anti-aliased drawing.
namespace vd::ui {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct PointF {
  float x = 0;
  float y = 0;
  friend bool operator==(const PointF&, const PointF&) = default;
};

struct Size {
  int cx = 0;
  int cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  Rect Inflated(int dx, int dy) const { return {left - dx, top - dy, right + dx, bottom + dy}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// x, y, width, height: the form in which anti-aliased drawing takes its rectangles.
struct RectF {
  float x = 0;
  float y = 0;
  float width = 0;
  float height = 0;
  friend bool operator==(const RectF&, const RectF&) = default;
};

}  // namespace vd::ui
