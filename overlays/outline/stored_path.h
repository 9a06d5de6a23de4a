#pragma once
// Paths kept in chart headers, archives and settings may come from a system that separates
// folders with '\'; in memory they use '/'.
#include <algorithm>
#include <string>
#include <string_view>

inline std::string StoredPathToLocal(std::string_view stored) {
  std::string path(stored);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}
