#pragma once
// The 3D view's parameters as kept in the profile: binary value "viewparam4" of section
// "settings" of the viewer's profile key, 48 bytes, little-endian:
//   0 float field of view (radians)   4 float light direction x, y, z
//  16 float vertical exaggeration    20 uint32 sky colour 0x00BBGGRR
//  24 uint8 help-shown flag          25 three padding bytes
//  28 int32 video width, height, frame rate    40 int32 terrain texture size
//  44 float horizon factor
// The older "viewparam3" has the same layout but its texture size and horizon factor are not
// taken.
#include <cstdint>
#include <string>
#include <string_view>

struct ViewParams {
  float field_of_view = 0.7853982f;
  float light[3] = {1.0f, 0.0f, -0.5f};
  float exaggeration = 2.0f;
  uint32_t sky_colour = 0x00C8B4B4;
  bool help_shown = false;
  int32_t video_width = 1280;
  int32_t video_height = 720;
  int32_t video_frame_rate = 15;
  int32_t texture_size = 2048;
  float horizon_factor = 6.0f;
};

inline constexpr size_t kViewParamsSize = 48;
// The bytes the view's parameter calls (field of view to help flag) cover.
inline constexpr size_t kViewParamsLiveSize = 25;

inline constexpr float kMinFieldOfView = 0.08f;
inline constexpr float kMaxFieldOfView = 1.8f;
inline constexpr float kMinExaggeration = 1.0f;
inline constexpr float kMaxExaggeration = 10.0f;

// Lays up to 48 bytes over `base`. A field that is not finite or out of its range (field of view
// 0.08..1.8, exaggeration 1..10, a light direction of length 0.01..1000, video sides 16..8192,
// frame rate 1..120, texture size 64..8192, horizon factor 0..20) keeps base's value; the top
// byte of the sky colour is cleared.
ViewParams DecodeViewParams(std::string_view bytes, const ViewParams& base = {});
std::string EncodeViewParams(const ViewParams& params);

// The defaults, then "viewparam3" (texture size and horizon factor back to the defaults), then
// "viewparam4".
ViewParams ReadViewParams();
bool SaveViewParams(const ViewParams& params);
