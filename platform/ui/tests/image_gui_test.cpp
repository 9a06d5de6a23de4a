// Reading and writing image files, and palette images.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "platform/ui/image.h"
#include "platform/ui/palette_image.h"
#include "tests/temp_dir.h"

namespace vd::ui {
namespace {

// A 1 x 1 GIF whose only pixel is the transparent palette entry 0.
const std::vector<uint8_t> kTransparentGif = {
    'G',  'I',  'F',  '8',  '9',  'a',  0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF,
    0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};

Image Pattern(int w, int h) {
  Image image(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      image.SetPixel(
          x, y,
          MakeArgb(static_cast<uint8_t>(0x40 + 0x30 * ((x + y) % 6)), static_cast<uint8_t>(x * 20),
                   static_cast<uint8_t>(y * 30), static_cast<uint8_t>(200 - x * 10)));
    }
  }
  return image;
}

TEST(ImageTest, PngKeepsEveryPixelAndItsAlpha) {
  vd::test::TempDir dir;
  const Image original = Pattern(7, 5);
  ASSERT_TRUE(original.SavePng(dir.File("a.png")));
  const std::optional<Image> loaded = Image::Load(dir.File("a.png"));
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->Width(), 7);
  ASSERT_EQ(loaded->Height(), 5);
  EXPECT_TRUE(loaded->HasAlphaChannel());
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(loaded->Pixel(x, y), original.Pixel(x, y)) << x << "," << y;
  }
}

TEST(ImageTest, JpegComesBackCloseAndOpaque) {
  vd::test::TempDir dir;
  const Image original(16, 16, 0xFF3080C0);
  ASSERT_TRUE(original.SaveJpeg(dir.File("a.jpg"), 90));
  const std::optional<Image> loaded = Image::Load(dir.File("a.jpg"));
  ASSERT_TRUE(loaded);
  EXPECT_FALSE(loaded->HasAlphaChannel());
  const Argb p = loaded->Pixel(8, 8);
  EXPECT_EQ(ArgbAlpha(p), 0xFF);
  EXPECT_NEAR(ArgbRed(p), 0x30, 6);
  EXPECT_NEAR(ArgbGreen(p), 0x80, 6);
  EXPECT_NEAR(ArgbBlue(p), 0xC0, 6);
}

TEST(ImageTest, OtherFormatsLoadByContentWithTheirAlpha) {
  vd::test::TempDir dir;
  QImage opaque(3, 2, QImage::Format_RGB32);
  opaque.fill(0xFF204060);
  ASSERT_TRUE(opaque.save(QString::fromStdString(dir.File("a.bmp")), "bmp"));
  ASSERT_TRUE(opaque.save(QString::fromStdString(dir.File("a.tif")), "tiff"));
  QImage translucent(3, 2, QImage::Format_ARGB32);
  translucent.fill(0x80204060);
  ASSERT_TRUE(translucent.save(QString::fromStdString(dir.File("b.tif")), "tiff"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      dir.File("a.gif"), std::string(kTransparentGif.begin(), kTransparentGif.end())));
  // A misleading name: the content decides.
  ASSERT_TRUE(vd::os::RenameFile(dir.File("a.bmp"), dir.File("bmp.png")));

  struct Case {
    const char* name;
    bool alpha;
    Argb pixel;
  };
  const Case cases[] = {{"bmp.png", false, 0xFF204060},
                        {"a.tif", false, 0xFF204060},
                        {"b.tif", true, 0x80204060},
                        {"a.gif", true, 0x00FFFFFF}};
  for (const Case& c : cases) {
    const std::optional<Image> image = Image::Load(dir.File(c.name));
    ASSERT_TRUE(image) << c.name;
    EXPECT_EQ(image->HasAlphaChannel(), c.alpha) << c.name;
    EXPECT_EQ(ArgbAlpha(image->Pixel(0, 0)), ArgbAlpha(c.pixel)) << c.name;
    if (ArgbAlpha(c.pixel) != 0) {
      EXPECT_EQ(image->Pixel(0, 0), c.pixel) << c.name;
    }
  }
}

TEST(ImageTest, BadInputFailsAndAFailedSaveLeavesNoFile) {
  vd::test::TempDir dir;
  EXPECT_FALSE(Image::Load(dir.File("missing.png")));
  const std::vector<uint8_t> junk = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 3};
  EXPECT_FALSE(Image::Decode(junk));
  EXPECT_FALSE(Image::Decode({}));
  std::vector<uint8_t> truncated_png;
  {
    ASSERT_TRUE(Pattern(8, 8).SavePng(dir.File("t.png")));
    std::string bytes;
    ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("t.png"), bytes));
    truncated_png.assign(bytes.begin(), bytes.begin() + 20);
  }
  EXPECT_FALSE(Image::Decode(truncated_png));

  EXPECT_FALSE(Image().SavePng(dir.File("null.png")));
  EXPECT_FALSE(vd::os::FileExists(dir.File("null.png")));
  EXPECT_FALSE(Pattern(2, 2).SavePng(dir.File("no/such/folder/a.png")));

  // Replacing an existing file goes all the way or not at all.
  ASSERT_TRUE(Pattern(3, 3).SavePng(dir.File("t.png")));
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 1u);
  EXPECT_EQ(Image::Load(dir.File("t.png"))->Width(), 3);
}

TEST(ImageTest, CopiesAreIndependent) {
  Image a(2, 2, 0xFF000000);
  Image b = a;
  b.SetPixel(0, 0, 0xFFFFFFFF);
  EXPECT_EQ(a.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(b.Pixel(0, 0), 0xFFFFFFFFu);
}

TEST(PaletteImageTest, RowsArePaddedAndIndicesMapThroughThePalette) {
  PaletteImage image(5, 3);
  EXPECT_EQ(image.Stride(), 8);
  EXPECT_EQ(image.Palette()[200], 0xFF000000u);
  image.SetPaletteEntry(7, MakeColourRef(10, 20, 30));
  image.SetPaletteEntry(300, MakeColourRef(1, 1, 1));  // ignored
  image.Row(2)[4] = 7;
  const Image argb = image.ToImage();
  EXPECT_EQ(argb.Pixel(4, 2), 0xFF0A141Eu);
  EXPECT_EQ(argb.Pixel(0, 0), 0xFF000000u);
  const QImage view = image.View();
  EXPECT_EQ(view.format(), QImage::Format_Indexed8);
  EXPECT_EQ(view.pixel(4, 2), 0xFF0A141Eu);
  EXPECT_EQ(view.constBits(), image.Row(0));  // no copy of the indices
  EXPECT_TRUE(PaletteImage(0, 4).View().isNull());
  EXPECT_EQ(PaletteImage(-3, 4).Width(), 0);
}

}  // namespace
}  // namespace vd::ui
