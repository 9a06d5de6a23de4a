#include "lumex/view_params.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/os/profile_store.h"

namespace {

constexpr char kProfileKey[] = "Software\\Vardune\\lumex_v2\\lumex";
constexpr char kSection[] = "settings";

template <typename T>
T At(const char* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

template <typename T>
void Put(char* record, size_t offset, T value) {
  std::memcpy(record + offset, &value, sizeof value);
}

// `value` when it lies within [low, high] (NaN never does), else `fallback`.
template <typename T>
T InRange(T value, T low, T high, T fallback) {
  return value >= low && value <= high ? value : fallback;
}

std::string ReadValue(const char* name) {
  const auto value = vd::os::ProfileStore(kProfileKey).GetBinary(kSection, name);
  return value ? std::string(value->begin(), value->end()) : std::string();
}

}  // namespace

ViewParams DecodeViewParams(std::string_view bytes, const ViewParams& base) {
  char record[kViewParamsSize];
  const std::string defaults = EncodeViewParams(base);
  std::memcpy(record, defaults.data(), kViewParamsSize);
  std::memcpy(record, bytes.data(), std::min(bytes.size(), kViewParamsSize));

  ViewParams p = base;
  p.field_of_view = InRange(At<float>(record, 0), kMinFieldOfView, kMaxFieldOfView,
                            base.field_of_view);
  const float light[3] = {At<float>(record, 4), At<float>(record, 8), At<float>(record, 12)};
  const float length = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
  if (length >= 0.01f && length <= 1000.0f) std::memcpy(p.light, light, sizeof light);
  p.exaggeration = InRange(At<float>(record, 16), kMinExaggeration, kMaxExaggeration,
                           base.exaggeration);
  p.sky_colour = At<uint32_t>(record, 20) & 0x00FFFFFF;
  p.help_shown = At<uint8_t>(record, 24) != 0;
  p.video_width = InRange(At<int32_t>(record, 28), 16, 8192, base.video_width);
  p.video_height = InRange(At<int32_t>(record, 32), 16, 8192, base.video_height);
  p.video_frame_rate = InRange(At<int32_t>(record, 36), 1, 120, base.video_frame_rate);
  p.texture_size = InRange(At<int32_t>(record, 40), 64, 8192, base.texture_size);
  p.horizon_factor = InRange(At<float>(record, 44), 0.0f, 20.0f, base.horizon_factor);
  return p;
}

std::string EncodeViewParams(const ViewParams& p) {
  std::string out(kViewParamsSize, '\0');
  char* record = out.data();
  Put(record, 0, p.field_of_view);
  Put(record, 4, p.light[0]);
  Put(record, 8, p.light[1]);
  Put(record, 12, p.light[2]);
  Put(record, 16, p.exaggeration);
  Put(record, 20, p.sky_colour);
  Put(record, 24, static_cast<uint8_t>(p.help_shown ? 1 : 0));
  Put(record, 28, p.video_width);
  Put(record, 32, p.video_height);
  Put(record, 36, p.video_frame_rate);
  Put(record, 40, p.texture_size);
  Put(record, 44, p.horizon_factor);
  return out;
}

ViewParams ReadViewParams() {
  const ViewParams defaults;
  ViewParams p = DecodeViewParams(ReadValue("viewparam3"), defaults);
  p.texture_size = defaults.texture_size;
  p.horizon_factor = defaults.horizon_factor;
  return DecodeViewParams(ReadValue("viewparam4"), p);
}

bool SaveViewParams(const ViewParams& params) {
  const std::string bytes = EncodeViewParams(params);
  return vd::os::ProfileStore(kProfileKey)
      .SetBinary(kSection, "viewparam4", std::vector<uint8_t>(bytes.begin(), bytes.end()));
}
