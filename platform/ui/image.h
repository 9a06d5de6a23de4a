#pragma once
// A 32-bit image in memory: pixels are 0xAARRGGBB values (not premultiplied), rows top-down.
// Images are read from PNG, JPEG, GIF, BMP and TIFF files (the format is taken from the
// content, not the name) and written as PNG or JPEG. Copies share the pixels until one of them
// is changed.
#include <QImage>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/ui/colour.h"

namespace vd::ui {

class Image {
 public:
  Image() = default;  // a null image
  // width x height pixels of `fill`; an image made so has an alpha channel.
  Image(int width, int height, Argb fill = 0);
  // Any Qt image, converted.
  explicit Image(const QImage& image);

  // nullopt when the file can't be read or decoded.
  static std::optional<Image> Load(const std::string& path);
  static std::optional<Image> Decode(std::span<const uint8_t> bytes);

  bool IsNull() const { return image_.isNull(); }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  // Whether the source carried transparency (a format with alpha, a transparent palette
  // entry); an opaque file format loads without.
  bool HasAlphaChannel() const { return has_alpha_; }

  // Pixel access; coordinates must lie inside the image.
  Argb Pixel(int x, int y) const { return Row(y)[x]; }
  void SetPixel(int x, int y, Argb colour) { Row(y)[x] = colour; }
  const uint32_t* Row(int y) const;
  uint32_t* Row(int y);

  // Written atomically; false when encoding or writing fails (the target is then unchanged).
  bool SavePng(const std::string& path) const;
  bool SaveJpeg(const std::string& path, int quality) const;  // quality 0..100

  const QImage& qimage() const { return image_; }
  QImage& qimage() { return image_; }

 private:
  bool Save(const std::string& path, const char* format, int quality) const;

  QImage image_;  // always QImage::Format_ARGB32
  bool has_alpha_ = false;
};

}  // namespace vd::ui
