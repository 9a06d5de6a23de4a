#pragma once
// An 8-bit image of palette indices with its 256-entry palette: what chart tiles decode to.
// Rows are top-down, Stride() bytes apart (the width rounded up to a multiple of 4). A new image
// holds index 0 everywhere and an opaque black palette.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/ui/colour.h"
#include "platform/ui/image.h"

class QImage;

namespace vd::ui {

class PaletteImage {
 public:
  PaletteImage() = default;
  PaletteImage(int width, int height);  // negative sizes count as 0

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  uint8_t* Row(int y) { return indices_.data() + static_cast<size_t>(y) * stride_; }
  const uint8_t* Row(int y) const { return indices_.data() + static_cast<size_t>(y) * stride_; }

  void SetPaletteEntry(int index, ColourRef colour);  // index 0..255
  // `count` (at most 256) entries of 4 bytes each: blue, green, red, unused, the order in which
  // chart files and device-independent bitmaps store their colour tables.
  void SetPaletteFromRgbQuads(const uint8_t* quads, int count);
  const std::array<Argb, 256>& Palette() const { return palette_; }

  Image ToImage() const;
  // An indexed Qt image over this image's indices, without copying them: valid while this
  // image lives and is not resized.
  QImage View() const;

 private:
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  std::vector<uint8_t> indices_;
  std::array<Argb, 256> palette_ = MakeBlackPalette();

  static constexpr std::array<Argb, 256> MakeBlackPalette() {
    std::array<Argb, 256> p{};
    p.fill(0xFF000000);
    return p;
  }
};

}  // namespace vd::ui
