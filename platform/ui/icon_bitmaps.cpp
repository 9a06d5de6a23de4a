#include "platform/ui/icon_bitmaps.h"

#include <algorithm>

#include "platform/os/files.h"

namespace vd::ui {
namespace {

constexpr int kHueSixth = kHlsMax / 6;  // 42
constexpr int kHueThird = kHlsMax / 3;  // 84
constexpr int kHalfHls = kHlsMax / 2;   // 126
constexpr Argb kOpaqueWhite = 0xFFFFFFFF;
constexpr Argb kTransparentWhite = 0x00FFFFFF;
constexpr uint8_t kOpaqueAlphaFloor = 0xF0;  // pixels above it count as opaque

uint8_t ToChannel(int value) { return static_cast<uint8_t>(std::clamp(value, 0, kRgbMax)); }

// The image made transparent where it is opaque white, unless it has an alpha channel.
std::optional<Image> WhiteKeyed(std::optional<Image> image) {
  if (!image || image->HasAlphaChannel()) return image;
  for (int y = 0; y < image->Height(); ++y) {
    uint32_t* row = image->Row(y);
    std::replace(row, row + image->Width(), kOpaqueWhite, kTransparentWhite);
  }
  return image;
}

std::optional<Image> LoadWithLayer(const std::string& path, std::optional<ColourRef> colour,
                                   bool& has_layer) {
  const std::optional<Image> layer = LoadBitmapWithWhiteKey(ColourLayerPath(path));
  has_layer = layer.has_value();
  return ComposeIconLayers(LoadBitmapWithWhiteKey(path), layer, colour);
}

}  // namespace

Hls RgbToHls(uint8_t r, uint8_t g, uint8_t b) {
  const int max = std::max({r, g, b});
  const int min = std::min({r, g, b});
  Hls hls;
  hls.l = ((max + min) * kHlsMax + kRgbMax) / (2 * kRgbMax);
  if (max == min) {
    hls.s = 0;
    hls.h = kUndefinedHue;
    return hls;
  }
  const int d = max - min;
  const int sum = max + min;
  if (hls.l <= kHalfHls) {
    hls.s = (d * kHlsMax + sum / 2) / sum;
  } else {
    const int rest = 2 * kRgbMax - sum;
    hls.s = (d * kHlsMax + rest / 2) / rest;
  }
  const int rd = ((max - r) * kHueSixth + d / 2) / d;
  const int gd = ((max - g) * kHueSixth + d / 2) / d;
  const int bd = ((max - b) * kHueSixth + d / 2) / d;
  if (r == max) {
    hls.h = bd - gd;
  } else if (g == max) {
    hls.h = kHueThird + rd - bd;
  } else {
    hls.h = 2 * kHueThird + gd - rd;
  }
  if (hls.h < 0) hls.h += kHlsMax;
  if (hls.h > kHlsMax) hls.h -= kHlsMax;
  return hls;
}

int HueToRgb(int m1, int m2, int hue) {
  if (hue < 0) hue += kHlsMax;
  if (hue > kHlsMax) hue -= kHlsMax;
  if (hue < kHueSixth) return m1 + ((m2 - m1) * hue + kHueSixth / 2) / kHueSixth;
  if (hue < kHalfHls) return m2;
  if (hue < 2 * kHueThird) {
    return m1 + ((m2 - m1) * (2 * kHueThird - hue) + kHueSixth / 2) / kHueSixth;
  }
  return m1;
}

Rgb HlsToRgb(int h, int l, int s) {
  if (s == 0) {
    const uint8_t grey = ToChannel(l * kRgbMax / kHlsMax);
    return {grey, grey, grey};
  }
  const int m2 = l <= kHalfHls ? (l * (kHlsMax + s) + kHalfHls) / kHlsMax
                               : l + s - (l * s + kHalfHls) / kHlsMax;
  const int m1 = 2 * l - m2;
  const auto channel = [&](int hue) {
    return ToChannel((HueToRgb(m1, m2, hue) * kRgbMax + kHalfHls) / kHlsMax);
  };
  return {channel(h + kHueThird), channel(h), channel(h - kHueThird)};
}

std::string ColourLayerPath(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < name_start) return std::string(path) + "_c.";
  return std::string(path.substr(0, dot)) + "_c" + std::string(path.substr(dot));
}

std::optional<Image> LoadBitmapWithWhiteKey(const std::string& path) {
  if (!vd::os::FileExists(path) || vd::os::IsDirectory(path)) return std::nullopt;
  return WhiteKeyed(Image::Load(path));
}

std::optional<Image> DecodeBitmapWithWhiteKey(std::span<const uint8_t> bytes) {
  return WhiteKeyed(Image::Decode(bytes));
}

std::optional<Image> ComposeIconLayers(const std::optional<Image>& base,
                                       const std::optional<Image>& layer,
                                       std::optional<ColourRef> colour) {
  if (!layer) return base;
  Image top = *layer;
  if (colour) RecolourBitmap(top, *colour);
  if (!base) return top;
  Image result = *base;
  DrawImageOver(result, top);
  return result;
}

std::optional<Image> LoadIconBitmapWithColourLayer(const std::string& path, bool& has_layer) {
  return LoadWithLayer(path, std::nullopt, has_layer);
}

std::optional<Image> LoadColouredIconBitmap(const std::string& path, ColourRef colour,
                                            bool& has_layer) {
  return LoadWithLayer(path, colour, has_layer);
}

void RecolourBitmap(Image& image, ColourRef colour) {
  const Hls target = RgbToHls(ColourRefRed(colour), ColourRefGreen(colour), ColourRefBlue(colour));
  for (int y = 0; y < image.Height(); ++y) {
    uint32_t* row = image.Row(y);
    for (int x = 0; x < image.Width(); ++x) {
      const Argb pixel = row[x];
      if (ArgbAlpha(pixel) == 0) continue;
      const int l = RgbToHls(ArgbRed(pixel), ArgbGreen(pixel), ArgbBlue(pixel)).l;
      const Rgb rgb = HlsToRgb(target.h, l, target.s);
      row[x] = MakeArgb(ArgbAlpha(pixel), rgb.r, rgb.g, rgb.b);
    }
  }
}

ColourRef GetMostSaturatedColour(const Image& image) {
  ColourRef best = 0;
  int best_saturation = -1;
  for (int y = 0; y < image.Height(); ++y) {
    const uint32_t* row = image.Row(y);
    for (int x = 0; x < image.Width(); ++x) {
      const Argb pixel = row[x];
      if (ArgbAlpha(pixel) <= kOpaqueAlphaFloor) continue;
      const int s = RgbToHls(ArgbRed(pixel), ArgbGreen(pixel), ArgbBlue(pixel)).s;
      if (s > best_saturation) {
        best_saturation = s;
        best = ColourRefFromArgb(pixel);
      }
    }
  }
  return best;
}

void DrawImageOver(Image& base, const Image& layer) {
  const int width = std::min(base.Width(), layer.Width());
  const int height = std::min(base.Height(), layer.Height());
  for (int y = 0; y < height; ++y) {
    uint32_t* dst = base.Row(y);
    const uint32_t* src = layer.Row(y);
    for (int x = 0; x < width; ++x) {
      const int sa = ArgbAlpha(src[x]);
      if (sa == 0) continue;
      if (sa == 0xFF) {
        dst[x] = src[x];
        continue;
      }
      // Source over, on colours that are not premultiplied: the weights of source and
      // destination are sa and da * (1 - sa), both on the 0..255 * 255 scale.
      const int da = ArgbAlpha(dst[x]);
      const int ws = sa * 255;
      const int wd = da * (255 - sa);
      const int wa = ws + wd;
      const auto mix = [&](uint8_t s, uint8_t d) {
        return static_cast<uint8_t>((s * ws + d * wd + wa / 2) / wa);
      };
      dst[x] = MakeArgb(static_cast<uint8_t>((wa + 127) / 255), mix(ArgbRed(src[x]), ArgbRed(dst[x])),
                        mix(ArgbGreen(src[x]), ArgbGreen(dst[x])),
                        mix(ArgbBlue(src[x]), ArgbBlue(dst[x])));
    }
  }
}

}  // namespace vd::ui
