#pragma once
// The 3D view's camera and its flight, without any window: the scene's geography around its
// centre, the camera with its clamps, the key, wheel and drag moves, the fixed-point orbit,
// and the fly-through along the start file's path.
//
// Scene coordinates: metres around the scene centre at height 0; x grows westwards, y
// northwards, z upwards. Yaw 0 looks along +x, pi/2 along +y (north); pitch is positive up.
// Ground heights are the elevation data's heights (none, or 32767 and above: 0) times the
// vertical exaggeration.
#include <functional>
#include <vector>

#include "lumex/lumex_start_file.h"

// A camera as the path and terrain routines hand it around; nine floats in this order.
struct CameraRecord {
  float light[3] = {1.0f, 0.0f, -0.5f};  // the light's direction
  float x = 0;
  float y = 0;
  float z = 0;
  float field_of_view = 0.7853982f;  // radians, vertical
  float yaw = 4.712389f;             // 3 pi / 2
  float pitch = -0.38397244f;        // -22 degrees
};
static_assert(sizeof(CameraRecord) == 9 * sizeof(float));

// The navigation keys (the numeric keypad's digits act as these).
enum class NavKey { kUp, kDown, kLeft, kRight, kPageUp, kPageDown, kHome, kEnd, kClear };

// Modifiers of a wheel turn.
enum class WheelMode { kMove, kRise, kZoom };

// What a fly-through tick did.
enum class FlyTick {
  kMoved,      // the camera moved along the path
  kWaiting,    // at the path's end, waiting for the terrain of the path start
  kRestarted,  // jumped back to the path start, whose terrain is ready
};

class CLumexCamera {
 public:
  // Raw height at a position (32767 or more: none).
  using HeightSource = std::function<float(double lat, double lon)>;

  static constexpr float kOneDegree = 0.017453292f;
  static constexpr float kMaxPitch = 1.0471976f;        // 60 degrees
  static constexpr float kMinLookPitch = -1.4835298f;   // -85 degrees
  static constexpr float kMinOrbitPitch = -1.553343f;   // -89 degrees
  static constexpr float kDragRadiansPerPixel = 0.0017453292f;

  // Geography.
  void SetCentre(double lat, double lon);  // also the metres per degree there
  void SetHeightSource(HeightSource heights) { heights_ = std::move(heights); }
  float GroundHeightAt(double lat, double lon) const;
  float GroundHeightAtScene(float x, float y) const;
  void SceneToLatLon(float x, float y, double& lat, double& lon) const;
  void LatLonToScene(double lat, double lon, float& x, float& y) const;
  float DistanceMetres(double lat1, double lon1, double lat2, double lon2) const;
  // Takes the terrain square's radius R: step and near distance 0.01 R, the camera kept within
  // horizon factor x R of the centre, the centre's ground height.
  void SetSquareRadius(float radius, float horizon_factor);

  // The path: the start file's points and one more, the path continued straight for 100 x
  // speed metres beyond its end. Fixed-point mode when there is one point; the path state is
  // reset (and the camera put at its start) when there are two or more.
  void SetPath(const std::vector<LumexPathPoint>& points);
  int point_count() const { return n_; }
  // The n points and the extra one.
  const std::vector<LumexPathPoint>& points() const { return points_; }

  // The camera of the fixed-point mode: 1.1 R south of the centre, 0.28 R above the ground,
  // looking north.
  void SetDefaultViewpoint();
  // Yaw into 0..2 pi, pitch at most 60 degrees and pitch + offset at least -85, field of view
  // 0.08..1.8, the camera at least the near distance above the ground and (when not flying)
  // within the largest radius. While not flying the flying height follows the camera.
  void ClampCamera();
  // The point the camera looks at; in fixed-point mode that is the centre on the ground, and
  // yaw and pitch are turned towards it.
  void LookTarget(float target[3]);
  // Whether the terrain square should be rebuilt for `record`: the point the lower edge of the
  // view meets the ground (at most 0.99 R ahead) is off the square. Never in fixed-point mode.
  bool NeedsNewTerrain(const CameraRecord& record) const;

  // Path routines. AdvanceAlongPath moves the path state by `metres` (back when negative) and
  // puts the record there, aimed 3 x flying height ahead; false at the path's end. Segments of
  // no length are passed over.
  void ResetPath(CameraRecord& record);
  bool AdvanceAlongPath(CameraRecord& record, float metres);
  bool AimAlongPath(int index, CameraRecord& record, float s, float length) const;
  // Where the camera will be `seconds` ahead, on the ground; past the path's end it wraps to
  // the start and sets the wrap state to 1.
  bool PredictCamera(CameraRecord& record, float seconds);

  // Input. Each returns true when the view is to be redrawn now (not while flying: the next
  // tick draws).
  bool KeyDown(NavKey key, int repeat, bool ctrl);
  void MultiplyFieldOfView(float factor) { camera.field_of_view *= factor; }
  bool Wheel(WheelMode mode, bool forward);
  // Mouse drags by (dx, dy) pixels.
  void AdjustLight(int mouse_x, int mouse_y, int client_width, int client_height);
  void Orbit(int dx, int dy, bool upper_half);
  void Look(int dx, int dy);
  void Pan(int dx, int dy);
  // One 40 ms step of the fly-through.
  FlyTick FlyStep(float seconds);

  // The camera; its light copy follows the light.
  CameraRecord camera;
  float yaw_offset = 0;
  float pitch_offset = 0;
  bool flying = false;
  bool fixed_point = false;

  // Geography (see SetCentre and SetSquareRadius).
  double centre_lat = 0;
  double centre_lon = 0;
  float metres_per_degree_lat = 0;
  float metres_per_degree_lon = 0;
  float exaggeration = 2.0f;
  float square_radius = 0;
  float max_radius = 0;
  float step = 20.0f;
  float near_distance = 0;
  float centre_height = 0;

  // Fly-through.
  float flying_height = 200.0f;  // metres above ground
  float speed = 200.0f;          // metres per second
  int path_index = 0;
  float segment_length = 0;  // -1: waiting at the end
  float segment_distance = 0;
  float travelled = 0;
  int wrap_state = 0;  // 1 the terrain being built is for the path start, 2 it is ready

 private:
  float PointDistance(int a, int b) const;
  // Point on segment `index` at fraction r, in scene coordinates.
  void PathPointAt(int index, float r, float& x, float& y) const;
  // Moves the camera by `forward` along and `sideways` across the yaw + yaw offset direction.
  void MoveFlat(float forward, float sideways);

  HeightSource heights_;
  std::vector<LumexPathPoint> points_;  // n + 1
  int n_ = 0;
};
