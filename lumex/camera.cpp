#include "lumex/camera.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "geodesy/degree_length.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kTwoPi = 2 * kPi;
// Heights at and above this mean "no data".
constexpr float kNoHeight = 32767.0f;
// Metres in a nautical mile: the degree lengths are in miles.
constexpr double kMetresPerMile = 1852.0;

}  // namespace

void CLumexCamera::SetCentre(double lat, double lon) {
  centre_lat = lat;
  centre_lon = lon;
  metres_per_degree_lat = static_cast<float>(LatDegreeLength(lat) * kMetresPerMile);
  metres_per_degree_lon = static_cast<float>(LonDegreeLength(lat) * kMetresPerMile);
}

float CLumexCamera::GroundHeightAt(double lat, double lon) const {
  if (!heights_) return 0;
  const float h = heights_(lat, lon);
  if (!(h < kNoHeight)) return 0;
  return h * exaggeration;
}

float CLumexCamera::GroundHeightAtScene(float x, float y) const {
  double lat = 0;
  double lon = 0;
  SceneToLatLon(x, y, lat, lon);
  return GroundHeightAt(lat, lon);
}

void CLumexCamera::SceneToLatLon(float x, float y, double& lat, double& lon) const {
  lat = metres_per_degree_lat > 0 ? centre_lat + y / metres_per_degree_lat : centre_lat;
  lon = metres_per_degree_lon > 0 ? centre_lon - x / metres_per_degree_lon : centre_lon;
}

void CLumexCamera::LatLonToScene(double lat, double lon, float& x, float& y) const {
  x = static_cast<float>((centre_lon - lon) * metres_per_degree_lon);
  y = static_cast<float>((lat - centre_lat) * metres_per_degree_lat);
}

float CLumexCamera::DistanceMetres(double lat1, double lon1, double lat2, double lon2) const {
  const double dy = (lat2 - lat1) * metres_per_degree_lat;
  const double dx = (lon2 - lon1) * metres_per_degree_lon;
  return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

void CLumexCamera::SetSquareRadius(float radius, float horizon_factor) {
  square_radius = radius;
  step = near_distance = 0.01f * radius;
  max_radius = horizon_factor * radius;
  centre_height = GroundHeightAt(centre_lat, centre_lon);
}

void CLumexCamera::SetPath(const std::vector<LumexPathPoint>& points) {
  n_ = static_cast<int>(points.size());
  points_ = points;
  path_index = 0;
  segment_length = segment_distance = travelled = 0;
  if (n_ < 1) return;
  SetCentre(points_[0].lat, points_[0].lon);
  fixed_point = n_ == 1;

  // The reference for the path's direction at its end: the last point at least 10 m before it.
  const LumexPathPoint& last = points_[n_ - 1];
  int i = n_ - 2;
  float d = 0;
  for (; i >= 0; --i) {
    d = DistanceMetres(points_[i].lat, points_[i].lon, last.lat, last.lon);
    if (d >= 10.0f) break;
  }
  if (i < 0) {
    i = 0;
    d = DistanceMetres(points_[0].lat, points_[0].lon, last.lat, last.lon);
  }
  LumexPathPoint extra = last;
  if (d > 0) {
    const double k = speed * 100.0 / d;
    extra.lat = last.lat * (k + 1) - points_[i].lat * k;
    extra.lon = last.lon * (k + 1) - points_[i].lon * k;
  }
  points_.push_back(extra);
  if (n_ >= 2) ResetPath(camera);
}

void CLumexCamera::SetDefaultViewpoint() {
  camera.x = 0;
  camera.y = -1.1f * square_radius;
  camera.z = GroundHeightAtScene(0, camera.y) + 0.28f * square_radius;
  camera.yaw = kPi / 2;
  camera.pitch = 0;
  camera.field_of_view = 0.9599311f;
  yaw_offset = 0;
  pitch_offset = -0.38397244f;
}

void CLumexCamera::ClampCamera() {
  CameraRecord& c = camera;
  if (c.yaw < 0) c.yaw += kTwoPi;
  if (c.yaw > kTwoPi) c.yaw -= kTwoPi;
  if (c.pitch > kMaxPitch) c.pitch = kMaxPitch;
  if (c.pitch + pitch_offset < kMinLookPitch) c.pitch = kMinLookPitch - pitch_offset;
  c.field_of_view = std::clamp(c.field_of_view, 0.08f, 1.8f);
  const float h = GroundHeightAtScene(c.x, c.y);
  if (!flying) flying_height = c.z - h;
  if (near_distance + h > c.z) c.z = near_distance + h;
  const float r2 = c.x * c.x + c.y * c.y;
  if (!flying && r2 > max_radius * max_radius) {
    const float scale = std::sqrt(max_radius * max_radius / r2);
    c.x *= scale;
    c.y *= scale;
  }
}

void CLumexCamera::LookTarget(float target[3]) {
  CameraRecord& c = camera;
  if (fixed_point) {
    target[0] = 0;
    target[1] = 0;
    target[2] = centre_height;
    c.yaw = std::atan2(-c.y, -c.x);
    c.pitch = std::atan2(-c.z, std::sqrt(c.x * c.x + c.y * c.y)) - pitch_offset;
    return;
  }
  const float yaw = c.yaw + yaw_offset;
  const float pitch = c.pitch + pitch_offset;
  target[0] = c.x + std::cos(pitch) * std::cos(yaw);
  target[1] = c.y + std::cos(pitch) * std::sin(yaw);
  target[2] = c.z + std::sin(pitch);
}

bool CLumexCamera::NeedsNewTerrain(const CameraRecord& record) const {
  if (fixed_point) return false;
  const float yaw = record.yaw + yaw_offset;
  // Depression of the lower edge of the view.
  const float a = -(record.pitch + pitch_offset - record.field_of_view * 0.5f);
  float d = a > 0.17453292f && a < 1.6580628f ? flying_height / std::tan(a) : 0;
  if (d > 1.99f * square_radius) d = 0.99f * square_radius;
  const float px = record.x + std::cos(yaw) * d;
  const float py = record.y + std::sin(yaw) * d;
  return px * px + py * py > square_radius * square_radius;
}

float CLumexCamera::PointDistance(int a, int b) const {
  return DistanceMetres(points_[a].lat, points_[a].lon, points_[b].lat, points_[b].lon);
}

void CLumexCamera::PathPointAt(int index, float r, float& x, float& y) const {
  const LumexPathPoint& a = points_[index];
  const LumexPathPoint& b = points_[index + 1];
  LatLonToScene(a.lat * (1 - r) + b.lat * r, a.lon * (1 - r) + b.lon * r, x, y);
}

void CLumexCamera::ResetPath(CameraRecord& record) {
  if (n_ < 2) return;
  path_index = 0;
  segment_distance = 0;
  travelled = 0;
  segment_length = PointDistance(0, 1);
  AdvanceAlongPath(record, 0);
}

bool CLumexCamera::AdvanceAlongPath(CameraRecord& record, float metres) {
  if (n_ < 2) return false;
  int& i = path_index;
  float& s = segment_distance;
  float& length = segment_length;
  s += metres;
  travelled += metres;
  if (s >= length) {
    while (s >= length) {
      if (i >= n_ - 2) return false;
      ++i;
      s -= length;
      length = PointDistance(i, i + 1);
    }
  } else {
    while (s < 0) {
      if (i == 0) {
        s = 0;
        travelled = 0;
        break;
      }
      --i;
      length = PointDistance(i, i + 1);
      s += length;
    }
  }
  PathPointAt(i, length > 0 ? s / length : 0, record.x, record.y);
  record.z = GroundHeightAtScene(record.x, record.y);
  AimAlongPath(i, record, s, length);
  record.z = flying_height + GroundHeightAtScene(record.x, record.y);
  return true;
}

bool CLumexCamera::AimAlongPath(int index, CameraRecord& record, float s, float length) const {
  float a = 3 * flying_height + s;
  while (a >= length) {
    a -= length;
    if (++index >= n_) return false;
    length = PointDistance(index, index + 1);
  }
  float lx = 0;
  float ly = 0;
  PathPointAt(index, length > 0 ? a / length : 0, lx, ly);
  const float h = GroundHeightAtScene(lx, ly);
  const float dx = lx - record.x;
  const float dy = ly - record.y;
  record.yaw = std::atan2(dy, dx);
  record.pitch = std::atan2(std::cos(yaw_offset) * (h - record.z), std::sqrt(dx * dx + dy * dy));
  return true;
}

bool CLumexCamera::PredictCamera(CameraRecord& record, float seconds) {
  if (n_ < 2) return false;
  int i = path_index;
  float s = std::max(segment_distance, 0.0f) + speed * seconds;
  float length = PointDistance(i, i + 1);
  while (s >= length) {
    s -= length;
    if (++i >= n_ - 1) {
      i = 0;
      s = 0;
      wrap_state = 1;
      length = PointDistance(0, 1);
      break;
    }
    length = PointDistance(i, i + 1);
  }
  PathPointAt(i, length > 0 ? s / length : 0, record.x, record.y);
  record.z = GroundHeightAtScene(record.x, record.y);
  return AimAlongPath(i, record, s, length);
}

void CLumexCamera::MoveFlat(float forward, float sideways) {
  const float yaw = camera.yaw + yaw_offset;
  camera.x += forward * std::cos(yaw) + sideways * std::sin(yaw);
  camera.y += forward * std::sin(yaw) - sideways * std::cos(yaw);
}

bool CLumexCamera::KeyDown(NavKey key, int repeat, bool ctrl) {
  const bool strafe = ctrl || fixed_point;
  float forward = 0, sideways = 0, rise = 0, turn = 0, tilt = 0, speed_factor = 1;
  switch (key) {
    case NavKey::kUp:
      if (!strafe) {
        tilt = kOneDegree;
      } else if (!fixed_point || (centre_height - camera.z) * (centre_height - camera.z) <=
                                     camera.x * camera.x + camera.y * camera.y) {
        forward = step;
      }
      break;
    case NavKey::kDown:
      (strafe ? forward : tilt) = strafe ? -step : -kOneDegree;
      break;
    case NavKey::kLeft:
      (strafe ? sideways : turn) = strafe ? step : -kOneDegree;
      break;
    case NavKey::kRight:
      (strafe ? sideways : turn) = strafe ? -step : kOneDegree;
      break;
    case NavKey::kPageUp:
      rise = step;
      break;
    case NavKey::kPageDown:
      rise = -step;
      break;
    case NavKey::kHome:
      speed_factor = 1.1f;
      break;
    case NavKey::kEnd:
      speed_factor = 0.90909f;
      break;
    case NavKey::kClear:
      SetDefaultViewpoint();
      break;
  }
  const float c = static_cast<float>(repeat);
  if (!flying) {
    MoveFlat(c * forward, c * sideways);
    camera.z += rise;
    camera.yaw += c * turn;
    camera.pitch += tilt;
    return true;
  }
  yaw_offset += c * turn;
  pitch_offset += c * tilt;
  flying_height = std::max(flying_height + c * rise, near_distance);
  speed = std::max(std::min(speed * speed_factor, 0.5f * square_radius), 1.0f);
  return false;
}

bool CLumexCamera::Wheel(WheelMode mode, bool forward) {
  switch (mode) {
    case WheelMode::kMove: {
      const float d = forward ? step : -step;
      camera.x += d * std::cos(camera.yaw) * std::cos(camera.pitch);
      camera.y += d * std::sin(camera.yaw) * std::cos(camera.pitch);
      camera.z += d * std::sin(camera.pitch);
      break;
    }
    case WheelMode::kRise:
      camera.z += forward ? -step : step;
      break;
    case WheelMode::kZoom:
      camera.field_of_view *= forward ? 1 / 1.1f : 1.1f;
      break;
  }
  return true;
}

void CLumexCamera::AdjustLight(int mouse_x, int mouse_y, int client_width, int client_height) {
  const int half_width = client_width / 2;
  const int half_height = client_height / 2;
  if (half_width <= 0 || half_height <= 0) return;
  const float a = camera.yaw + kPi;
  const float u = 1 - static_cast<float>(mouse_x) / half_width;
  const float v = 1 - static_cast<float>(mouse_y) / half_height;
  const float w = u * u + v * v <= 0.99f ? std::sqrt(1 - (u * u + v * v)) : 0.1f;
  camera.light[0] = v * std::cos(a) + u * std::sin(a);
  camera.light[1] = v * std::sin(a) - u * std::cos(a);
  camera.light[2] = -w;
}

void CLumexCamera::Orbit(int dx, int dy, bool upper_half) {
  if (upper_half) dx = -dx;
  CameraRecord& c = camera;
  const float rho = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
  c.yaw += dx * kDragRadiansPerPixel;
  c.pitch -= dy * kDragRadiansPerPixel;
  if (c.pitch + pitch_offset < kMinOrbitPitch) c.pitch = kMinOrbitPitch - pitch_offset;
  const auto place = [&](float p, float out[3]) {
    out[0] = -rho * std::cos(p) * std::cos(c.yaw);
    out[1] = -rho * std::cos(p) * std::sin(c.yaw);
    out[2] = -rho * std::sin(p);
  };
  float at[3];
  place(c.pitch + pitch_offset, at);
  const float lowest = GroundHeightAtScene(at[0], at[1]) + 2 * near_distance;
  if (at[2] < lowest) {
    const float p = std::atan2(-lowest, std::sqrt(c.x * c.x + c.y * c.y));
    c.pitch = p - pitch_offset;
    place(p, at);
  }
  c.x = at[0];
  c.y = at[1];
  c.z = at[2];
}

void CLumexCamera::Look(int dx, int dy) {
  float& yaw = flying ? yaw_offset : camera.yaw;
  float& pitch = flying ? pitch_offset : camera.pitch;
  yaw -= dx * kDragRadiansPerPixel;
  pitch += dy * kDragRadiansPerPixel;
}

void CLumexCamera::Pan(int dx, int dy) { MoveFlat(0.1f * step * dy, 0.05f * step * dx); }

FlyTick CLumexCamera::FlyStep(float seconds) {
  CameraRecord next = camera;
  bool restarted = false;
  if (!AdvanceAlongPath(next, speed * seconds)) {
    if (wrap_state != 2) {
      segment_length = -1.0f;
      return FlyTick::kWaiting;
    }
    wrap_state = 0;
    ResetPath(camera);
    next = camera;
    restarted = true;
  }
  camera.x = next.x;
  camera.y = next.y;
  camera.z = next.z;
  // Turn the short way round.
  float target_yaw = next.yaw;
  while (target_yaw - camera.yaw > kPi) target_yaw -= kTwoPi;
  while (target_yaw - camera.yaw < -kPi) target_yaw += kTwoPi;
  camera.yaw = 0.9f * camera.yaw + 0.1f * target_yaw;
  camera.pitch = 0.9f * camera.pitch + 0.1f * next.pitch;
  return restarted ? FlyTick::kRestarted : FlyTick::kMoved;
}
