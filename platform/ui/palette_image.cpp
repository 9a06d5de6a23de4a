#include "platform/ui/palette_image.h"

#include <QImage>
#include <QList>
#include <algorithm>

namespace vd::ui {

PaletteImage::PaletteImage(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      stride_((width_ + 3) & ~3),
      indices_(static_cast<size_t>(stride_) * height_, 0) {}

void PaletteImage::SetPaletteEntry(int index, ColourRef colour) {
  if (index < 0 || index > 255) return;
  palette_[index] = ArgbFromColourRef(colour);
}

void PaletteImage::SetPaletteFromRgbQuads(const uint8_t* quads, int count) {
  count = std::clamp(count, 0, 256);
  for (int i = 0; i < count; ++i) {
    const uint8_t* q = quads + 4 * i;
    palette_[i] = MakeArgb(0xFF, q[2], q[1], q[0]);
  }
}

Image PaletteImage::ToImage() const {
  Image out(width_, height_);
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = Row(y);
    uint32_t* dst = out.Row(y);
    for (int x = 0; x < width_; ++x) dst[x] = palette_[src[x]];
  }
  return out;
}

QImage PaletteImage::View() const {
  if (width_ == 0 || height_ == 0) return QImage();
  QImage view(indices_.data(), width_, height_, stride_, QImage::Format_Indexed8);
  view.setColorTable(QList<QRgb>(palette_.begin(), palette_.end()));
  return view;
}

}  // namespace vd::ui
