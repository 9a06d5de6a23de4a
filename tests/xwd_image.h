#pragma once
// Screen pixels for tests that look at a program's windows, and a reader of the X window dumps
// that "xwd" writes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vd::test {

// Pixels as 0xRRGGBB, rows from the top.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Reads a dump of a true-colour screen in Z format at 16, 24 or 32 bits a pixel (a virtual
// display's direct-colour maps are the identity, so those read alike). Anything else, and a dump
// shorter than its header says, gives nullopt with the reason in `error`.
std::optional<RgbImage> ReadXwd(std::string_view bytes, std::string& error);

}  // namespace vd::test
