#include "platform/ui/image.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <string_view>

#include "platform/os/files.h"

namespace vd::ui {

Image::Image(int width, int height, Argb fill)
    : image_(width, height, QImage::Format_ARGB32), has_alpha_(true) {
  image_.fill(fill);
}

Image::Image(const QImage& image)
    : image_(image.convertToFormat(QImage::Format_ARGB32)), has_alpha_(image.hasAlphaChannel()) {}

std::optional<Image> Image::Load(const std::string& path) {
  std::string bytes;
  if (!vd::os::ReadWholeFile(path, bytes)) return std::nullopt;
  return Decode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

std::optional<Image> Image::Decode(std::span<const uint8_t> bytes) {
  QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  const QImage decoded = reader.read();
  if (decoded.isNull()) return std::nullopt;
  return Image(decoded);
}

const uint32_t* Image::Row(int y) const {
  return reinterpret_cast<const uint32_t*>(image_.constScanLine(y));
}

uint32_t* Image::Row(int y) { return reinterpret_cast<uint32_t*>(image_.scanLine(y)); }

bool Image::SavePng(const std::string& path) const { return Save(path, "png", -1); }

bool Image::SaveJpeg(const std::string& path, int quality) const {
  return Save(path, "jpeg", std::clamp(quality, 0, 100));
}

bool Image::Save(const std::string& path, const char* format, int quality) const {
  if (image_.isNull()) return false;
  QByteArray encoded;
  QBuffer buffer(&encoded);
  if (!buffer.open(QIODevice::WriteOnly)) return false;
  QImageWriter writer(&buffer, format);
  if (quality >= 0) writer.setQuality(quality);
  if (!writer.write(image_)) return false;
  return vd::os::SaveFileAtomically(
      path, std::string_view(encoded.constData(), static_cast<size_t>(encoded.size())));
}

}  // namespace vd::ui
