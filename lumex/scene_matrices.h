#pragma once
// The 3D view's transforms: left-handed, for row vectors (v' = v M), the matrix stored row by
// row. Handed to GL unchanged, the same sixteen floats read column by column act on column
// vectors, so a shader computes M * v. The projection maps the near plane to depth 0 and the
// far plane to depth 1; the shader moves that to GL's -1..1.
#include <array>

using SceneMatrix = std::array<float, 16>;

// The view from `eye` towards `at`, with `up` upwards on the screen; +z of the result is the
// viewing direction, +x the screen's right.
SceneMatrix LookAtLH(const float eye[3], const float at[3], const float up[3]);
// Perspective of vertical field of view fov_y (radians) and aspect width / height.
SceneMatrix PerspectiveFovLH(float fov_y, float aspect, float near_z, float far_z);
// v' = v M for the row vector (x, y, z, 1).
std::array<float, 4> TransformPoint(const SceneMatrix& m, const float point[3]);
