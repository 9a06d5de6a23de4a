#pragma once
// Icon images with an optional colour layer, and the integer colour conversion behind their
// recolouring.
//
// An icon file "name.ext" may have a colour layer "name_c.ext" beside it: the parts of the
// symbol that take a chosen colour. The layer is recoloured (its own lightness kept, the
// chosen hue and saturation taken) and drawn over the base image. Images without an alpha
// channel have opaque white as their transparent colour.
//
// HLS values use the integer scale kHlsMax = 252 for hue, lightness and saturation; greys have
// hue kUndefinedHue. The arithmetic truncates exactly as written in the .cpp, so results are
// the same on every machine.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/ui/colour.h"
#include "platform/ui/image.h"

namespace vd::ui {

constexpr int kHlsMax = 252;
constexpr int kRgbMax = 255;
constexpr int kUndefinedHue = kHlsMax * 2 / 3;

struct Hls {
  int h = 0;
  int l = 0;
  int s = 0;
  friend bool operator==(const Hls&, const Hls&) = default;
};

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

Hls RgbToHls(uint8_t r, uint8_t g, uint8_t b);
// Inputs outside 0..kHlsMax give channels clamped to 0..255.
Rgb HlsToRgb(int h, int l, int s);
// One channel of HlsToRgb on the 0..kHlsMax scale; `hue` may be up to one turn out of range.
int HueToRgb(int m1, int m2, int hue);

// "dir/name_c.ext" for "dir/name.ext" ("dir/name_c." when the name has no extension).
std::string ColourLayerPath(std::string_view path);

// The image of a file; an image without an alpha channel gets every opaque white pixel made
// transparent. nullopt when the file is missing or can't be decoded.
std::optional<Image> LoadBitmapWithWhiteKey(const std::string& path);
// The same for the bytes of an image file.
std::optional<Image> DecodeBitmapWithWhiteKey(std::span<const uint8_t> bytes);
// The icon made of a base image and a colour layer: the layer (recoloured when a colour is
// given) drawn over a copy of the base; the layer alone without a base, the base alone without
// a layer; nullopt when there is neither.
std::optional<Image> ComposeIconLayers(const std::optional<Image>& base,
                                       const std::optional<Image>& layer,
                                       std::optional<ColourRef> colour);
// The image with its colour layer drawn over it in the layer's own colours; the layer alone
// when the base image can't be loaded. `has_layer` tells whether a layer was found.
std::optional<Image> LoadIconBitmapWithColourLayer(const std::string& path, bool& has_layer);
// The same with the layer recoloured to `colour` first.
std::optional<Image> LoadColouredIconBitmap(const std::string& path, ColourRef colour,
                                            bool& has_layer);

// Every pixel that is not fully transparent keeps its alpha and lightness and takes the hue
// and saturation of `colour`.
void RecolourBitmap(Image& image, ColourRef colour);
// The colour of the pixel with alpha above 0xF0 of greatest HLS saturation (the first one on
// ties); 0 when there is none.
ColourRef GetMostSaturatedColour(const Image& image);

// `layer` blended by its alpha over `base` at (0, 0), clipped to `base`.
void DrawImageOver(Image& base, const Image& layer);

}  // namespace vd::ui
