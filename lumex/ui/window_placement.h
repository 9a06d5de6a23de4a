#pragma once
// The viewer's stored window placement: the 44-byte record of the profile value
// "Settings"/"windowplacement", little-endian int32 fields: length (44), flags, show command,
// minimised position x and y, maximised position x and y, and the normal rectangle left, top,
// right, bottom.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct CWindowRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const CWindowRect&) const = default;
};

inline constexpr size_t kWindowPlacementSize = 44;
inline constexpr int32_t kShowNormal = 1;
inline constexpr int32_t kShowMaximized = 3;

// The record of a window: its normal rectangle and whether it is maximised.
std::vector<uint8_t> EncodeWindowPlacement(const CWindowRect& normal, bool maximised);
// The normal rectangle of a stored record; nullopt for a record shorter than 44 bytes (older
// or damaged) or whose rectangle is empty.
std::optional<CWindowRect> NormalRectOfPlacement(std::span<const uint8_t> record);
