#pragma once
// Screen geometry of an overlay object for one view: what Project computes and Draw uses.
#include <cstdint>
#include <span>
#include <vector>

struct CScreenTransform;

struct ScreenPointF {
  float x = 0.0f;
  float y = 0.0f;
};

// Whether (sx, sy) lies within 20 pixels of the polyline: on a vertex (distance included) or
// beside a segment.
bool PolylineNearF(std::span<const ScreenPointF> points, float sx, float sy);

class CScreenPoints {
 public:
  CScreenPoints() { Clear(); }

  // How HitTest answers.
  enum Kind : int32_t {
    kNone = 0,
    kPoints = 1,    // near one of the first hit_count screen points
    kPolyline = 2,  // near the polyline of the screen points
    kNoHit = 3,
    kAlwaysHit = 4,
  };

  // Empties both point lists, clears both flags and the kind, and sets every bound to the
  // largest int32.
  void Clear();
  void Append(ScreenPointF point);
  // The box of the list (coordinates truncated to integers) and its first point; without
  // points a box of zeros and null.
  const ScreenPointF* ComputeBounds();
  // False when the box (as ComputeBounds left it) does not overlap the transform's visible rectangle;
  // otherwise fills screen_points from points through ToScreen unless it already holds them.
  bool Project(const CScreenTransform& transform);
  // Whether a screen point touches the list, as its kind says; a marker's 20 pixels exclude
  // the circle itself.
  bool HitTest(float sx, float sy) const;

  std::vector<ScreenPointF> points;
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t drawn_count = 0;
  bool has_points = false;
  bool valid = false;  // the geometry belongs to the view it was projected for
  std::vector<ScreenPointF> screen_points;  // made by Project
  int32_t kind = kNone;
  int32_t hit_count = 0;  // the markers of kind kPoints
};
