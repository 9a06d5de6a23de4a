// The integer RGB/HLS conversion, white keying, colour layers and recolouring of icons.
#include "platform/ui/icon_bitmaps.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace vd::ui {
namespace {

TEST(IconBitmapsTest, RgbToHlsAndBackOnReferenceColours) {
  struct Case {
    Rgb rgb;
    Hls hls;
    Rgb back;
  };
  const Case cases[] = {
      {{255, 0, 0}, {0, 126, 252}, {255, 0, 0}},
      {{0, 255, 0}, {84, 126, 252}, {0, 255, 0}},
      {{0, 0, 255}, {168, 126, 252}, {0, 0, 255}},
      {{255, 255, 0}, {42, 126, 252}, {255, 255, 0}},
      {{0x80, 0x40, 0x20}, {14, 79, 151}, {0x80, 0x40, 0x20}},
      // Greys have the undefined hue and come back through l * 255 / 252.
      {{128, 128, 128}, {168, 126, 0}, {127, 127, 127}},
      {{255, 255, 255}, {168, 252, 0}, {255, 255, 255}},
      {{0, 0, 0}, {168, 0, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    const Hls hls = RgbToHls(c.rgb.r, c.rgb.g, c.rgb.b);
    EXPECT_EQ(hls, c.hls) << int(c.rgb.r) << "," << int(c.rgb.g) << "," << int(c.rgb.b);
    EXPECT_EQ(HlsToRgb(hls.h, hls.l, hls.s), c.back);
  }
}

TEST(IconBitmapsTest, RoundTripStaysInRangeAndWithinFourSteps) {
  for (int r = 0; r < 256; r += 5) {
    for (int g = 0; g < 256; g += 5) {
      for (int b = 0; b < 256; b += 5) {
        const Hls hls = RgbToHls(uint8_t(r), uint8_t(g), uint8_t(b));
        ASSERT_TRUE(hls.h >= 0 && hls.h <= kHlsMax && hls.l >= 0 && hls.l <= kHlsMax &&
                    hls.s >= 0 && hls.s <= kHlsMax);
        const Rgb back = HlsToRgb(hls.h, hls.l, hls.s);
        ASSERT_LE(std::abs(back.r - r), 4) << r << "," << g << "," << b;
        ASSERT_LE(std::abs(back.g - g), 4) << r << "," << g << "," << b;
        ASSERT_LE(std::abs(back.b - b), 4) << r << "," << g << "," << b;
      }
    }
  }
}

TEST(IconBitmapsTest, ColourLayerPathPutsSuffixBeforeTheExtension) {
  EXPECT_EQ(ColourLayerPath("/a/Anchor.png"), "/a/Anchor_c.png");
  EXPECT_EQ(ColourLayerPath("/a.b/Anchor"), "/a.b/Anchor_c.");
  EXPECT_EQ(ColourLayerPath("x.tar.bmp"), "x.tar_c.bmp");
}

// A 2 x 1 image: white at (0, 0), the given pixel at (1, 0).
Image WhiteAnd(Argb second) {
  Image image(2, 1, 0xFFFFFFFF);
  image.SetPixel(1, 0, second);
  return image;
}

TEST(IconBitmapsTest, WhiteBecomesTransparentOnlyInImagesWithoutAlpha) {
  vd::test::TempDir dir;
  // JPEG has no alpha channel but is lossy; BMP keeps pixels exactly.
  ASSERT_TRUE(WhiteAnd(0xFF102030).qimage().convertToFormat(QImage::Format_RGB32).save(
      QString::fromStdString(dir.File("opaque.bmp")), "BMP"));
  ASSERT_TRUE(WhiteAnd(0xFF102030).SavePng(dir.File("alpha.png")));

  const std::optional<Image> keyed = LoadBitmapWithWhiteKey(dir.File("opaque.bmp"));
  ASSERT_TRUE(keyed);
  EXPECT_EQ(keyed->Pixel(0, 0), 0x00FFFFFFu);
  EXPECT_EQ(keyed->Pixel(1, 0), 0xFF102030u);

  const std::optional<Image> kept = LoadBitmapWithWhiteKey(dir.File("alpha.png"));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->Pixel(0, 0), 0xFFFFFFFFu);

  EXPECT_FALSE(LoadBitmapWithWhiteKey(dir.File("missing.png")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("junk.png"), "not an image"));
  EXPECT_FALSE(LoadBitmapWithWhiteKey(dir.File("junk.png")));
}

TEST(IconBitmapsTest, ColourLayerIsDrawnOverTheBaseAndRecoloured) {
  vd::test::TempDir dir;
  Image base(3, 1, 0xFF000000);                 // black
  Image layer(3, 1, 0x00000000);                // transparent but for
  layer.SetPixel(1, 0, MakeArgb(0xFF, 200, 200, 200));  // one light grey pixel
  layer.SetPixel(2, 0, MakeArgb(0x80, 255, 255, 255));  // and a half-transparent white one
  ASSERT_TRUE(base.SavePng(dir.File("Pin.png")));
  ASSERT_TRUE(layer.SavePng(dir.File("Pin_c.png")));

  bool has_layer = false;
  const std::optional<Image> plain = LoadIconBitmapWithColourLayer(dir.File("Pin.png"), has_layer);
  ASSERT_TRUE(plain);
  EXPECT_TRUE(has_layer);
  EXPECT_EQ(plain->Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(plain->Pixel(1, 0), MakeArgb(0xFF, 200, 200, 200));
  EXPECT_EQ(plain->Pixel(2, 0), MakeArgb(0xFF, 128, 128, 128));  // half white over black

  const std::optional<Image> red =
      LoadColouredIconBitmap(dir.File("Pin.png"), MakeColourRef(255, 0, 0), has_layer);
  ASSERT_TRUE(red);
  EXPECT_TRUE(has_layer);
  EXPECT_EQ(red->Pixel(0, 0), 0xFF000000u);  // the base is never recoloured
  // The layer pixel keeps its lightness (200, 200, 200: l = 198) and takes pure red's hue and
  // saturation.
  const Rgb expected = HlsToRgb(0, RgbToHls(200, 200, 200).l, 252);
  EXPECT_EQ(red->Pixel(1, 0), MakeArgb(0xFF, expected.r, expected.g, expected.b));
  EXPECT_GT(ArgbRed(red->Pixel(1, 0)), ArgbGreen(red->Pixel(1, 0)));

  // The layer alone serves when the base image is missing.
  ASSERT_TRUE(vd::os::RenameFile(dir.File("Pin_c.png"), dir.File("Solo_c.png")));
  const std::optional<Image> solo = LoadIconBitmapWithColourLayer(dir.File("Solo.png"), has_layer);
  ASSERT_TRUE(solo);
  EXPECT_TRUE(has_layer);
  EXPECT_EQ(solo->Pixel(1, 0), MakeArgb(0xFF, 200, 200, 200));

  // Without a layer the image is returned unchanged and the flag is cleared.
  const std::optional<Image> bare =
      LoadColouredIconBitmap(dir.File("Pin.png"), MakeColourRef(255, 0, 0), has_layer);
  ASSERT_TRUE(bare);
  EXPECT_FALSE(has_layer);
  EXPECT_EQ(bare->Pixel(1, 0), 0xFF000000u);
}

TEST(IconBitmapsTest, RecolourLeavesTransparentPixelsAndKeepsAlpha) {
  Image image(2, 1, 0x00123456);
  image.SetPixel(1, 0, MakeArgb(0x40, 255, 255, 255));
  RecolourBitmap(image, MakeColourRef(0, 0, 255));
  EXPECT_EQ(image.Pixel(0, 0), 0x00123456u);
  EXPECT_EQ(ArgbAlpha(image.Pixel(1, 0)), 0x40);
}

TEST(IconBitmapsTest, MostSaturatedColourCountsOnlyOpaquePixels) {
  Image image(4, 1, MakeArgb(0xFF, 128, 128, 128));
  image.SetPixel(1, 0, MakeArgb(0xF0, 255, 0, 0));  // not opaque enough
  image.SetPixel(2, 0, MakeArgb(0xF1, 20, 200, 20));
  image.SetPixel(3, 0, MakeArgb(0xFF, 200, 20, 20));  // as saturated: the first one wins
  EXPECT_EQ(GetMostSaturatedColour(image), MakeColourRef(20, 200, 20));

  Image faint(2, 2, MakeArgb(0xF0, 255, 0, 0));
  EXPECT_EQ(GetMostSaturatedColour(faint), 0u);
}

}  // namespace
}  // namespace vd::ui
