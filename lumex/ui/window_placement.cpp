#include "lumex/ui/window_placement.h"

namespace {

constexpr size_t kNormalRectOffset = 28;

void Put(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = uint8_t(uint32_t(value) >> (8 * i));
}

int32_t Get(std::span<const uint8_t> bytes, size_t offset) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t(bytes[offset + i]) << (8 * i);
  return int32_t(v);
}

}  // namespace

std::vector<uint8_t> EncodeWindowPlacement(const CWindowRect& normal, bool maximised) {
  std::vector<uint8_t> bytes(kWindowPlacementSize, 0);
  Put(bytes, 0, int32_t(kWindowPlacementSize));
  Put(bytes, 8, maximised ? kShowMaximized : kShowNormal);
  Put(bytes, kNormalRectOffset, normal.left);
  Put(bytes, kNormalRectOffset + 4, normal.top);
  Put(bytes, kNormalRectOffset + 8, normal.right);
  Put(bytes, kNormalRectOffset + 12, normal.bottom);
  return bytes;
}

std::optional<CWindowRect> NormalRectOfPlacement(std::span<const uint8_t> record) {
  if (record.size() < kWindowPlacementSize) return std::nullopt;
  const CWindowRect rect{Get(record, kNormalRectOffset), Get(record, kNormalRectOffset + 4),
                         Get(record, kNormalRectOffset + 8), Get(record, kNormalRectOffset + 12)};
  if (int64_t(rect.right) <= rect.left || int64_t(rect.bottom) <= rect.top) return std::nullopt;
  return rect;
}
