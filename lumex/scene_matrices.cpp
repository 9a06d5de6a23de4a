#include "lumex/scene_matrices.h"

#include <cmath>

namespace {

void Normalise(float v[3]) {
  const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length > 0) {
    for (int i = 0; i < 3; ++i) v[i] /= length;
  }
}

void Cross(const float a[3], const float b[3], float out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

SceneMatrix LookAtLH(const float eye[3], const float at[3], const float up[3]) {
  float z[3] = {at[0] - eye[0], at[1] - eye[1], at[2] - eye[2]};
  Normalise(z);
  float x[3];
  Cross(up, z, x);
  Normalise(x);
  float y[3];
  Cross(z, x, y);
  return {x[0], y[0], z[0], 0,  //
          x[1], y[1], z[1], 0,  //
          x[2], y[2], z[2], 0,  //
          -Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1};
}

SceneMatrix PerspectiveFovLH(float fov_y, float aspect, float near_z, float far_z) {
  const float y_scale = 1.0f / std::tan(fov_y / 2);
  const float x_scale = y_scale / aspect;
  const float q = far_z / (far_z - near_z);
  return {x_scale, 0, 0, 0,  //
          0, y_scale, 0, 0,  //
          0, 0, q, 1,        //
          0, 0, -near_z * q, 0};
}

std::array<float, 4> TransformPoint(const SceneMatrix& m, const float p[3]) {
  std::array<float, 4> out{};
  for (int c = 0; c < 4; ++c) out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
  return out;
}
