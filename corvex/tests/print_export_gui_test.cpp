// A chart view exports chart areas as image files and prints boxes of the chart onto pages;
// the print options come from the profile and are kept within the dialog's ranges.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "corvex/bmp_file.h"
#include "corvex/ostrel_view.h"
#include "corvex/print_options.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "platform/os/files.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

uint32_t U32(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}
uint16_t U16(const std::string& bytes, size_t offset) {
  uint16_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 2);
  return v;
}

class PrintExportTest : public vd::test::ViewOnTestChart {
 protected:
  uint32_t ChartColour(int x, int y) const { return ChartRgb(x, y); }
  uint32_t Expected(int s, int x0, int y0, int i, int j) const {
    return MeanRgb(s, x0, y0, i, j);
  }
  std::string Export(const std::string& name, int s, int x, int y, int w, int h) {
    const std::string out = dir.File(name);
    std::string copyright = "stale";
    EXPECT_TRUE(view->ExportImage(out, x, y, w, h, s, false, false, copyright));
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(out, bytes));
    return bytes;
  }

};

TEST_F(PrintExportTest, BitmapHoldsTheAreaBottomRowFirst) {
  struct Case {
    int s, x, y, w, h;
  };
  const Case cases[] = {{0, 64, 32, 40, 30}, {1, 128, 64, 24, 16}, {0, 480, 360, 48, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "shift " << c.s << " at " << c.x << "," << c.y);
    const std::string bmp = Export("area.bmp", c.s, c.x, c.y, c.w, c.h);
    ASSERT_EQ(bmp.size(), kBmpHeaderSize + size_t(c.w) * size_t(c.h) * 4);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    const std::pair<size_t, uint32_t> header[] = {
        {2, uint32_t(bmp.size())}, {6, 0},  {10, 54},  {14, 40}, {18, uint32_t(c.w)},
        {22, uint32_t(c.h)},       {30, 0}, {34, 0},   {38, 300}, {42, 300},
        {46, 0},                   {50, 0}};
    for (const auto& [offset, value] : header) EXPECT_EQ(U32(bmp, offset), value) << offset;
    EXPECT_EQ(U16(bmp, 26), 1);
    EXPECT_EQ(U16(bmp, 28), 32);
    for (int j = 0; j < c.h; ++j) {
      const size_t row = kBmpHeaderSize + size_t(c.h - 1 - j) * size_t(c.w) * 4;
      for (int i = 0; i < c.w; ++i) {
        ASSERT_EQ(U32(bmp, row + 4 * size_t(i)) & 0xFFFFFF, Expected(c.s, c.x, c.y, i, j))
            << "pixel " << i << "," << j;
      }
    }
  }
}

TEST_F(PrintExportTest, BorderScalesAddWhiteMargins) {
  struct Case {
    int32_t flags;
    int left, top, extra_w, extra_h;
  };
  const Case cases[] = {{CPrintOptions::kBorderLeft, 16, 0, 16, 0},
                        {CPrintOptions::kBorderTop | CPrintOptions::kBorderRight, 0, 16, 16, 16},
                        {CPrintOptions::kBorders, 16, 16, 32, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    CPrintOptions options;
    options.flags = c.flags;
    options.Save();
    const int w = 40, h = 30;
    const std::string bmp = Export("bordered.bmp", 0, 64, 32, w, h);
    const int full_w = w + c.extra_w, full_h = h + c.extra_h;
    ASSERT_EQ(U32(bmp, 18), uint32_t(full_w));
    ASSERT_EQ(U32(bmp, 22), uint32_t(full_h));
    auto pixel = [&](int i, int j) {
      return U32(bmp, kBmpHeaderSize + (size_t(full_h - 1 - j) * size_t(full_w) + size_t(i)) * 4) &
             0xFFFFFF;
    };
    // Without a position formatter no scale is drawn: the margins stay white.
    for (int j = 0; j < full_h; ++j) {
      for (int i = 0; i < full_w; ++i) {
        const bool inside = i >= c.left && i < c.left + w && j >= c.top && j < c.top + h;
        ASSERT_EQ(pixel(i, j), inside ? Expected(0, 64, 32, i - c.left, j - c.top) : 0xFFFFFFu)
            << i << "," << j;
      }
    }
  }
}

TEST_F(PrintExportTest, ImageFormatFollowsTheFileName) {
  for (const char* name : {"area.png", "area.JPG", "area.jpeg"}) {
    SCOPED_TRACE(name);
    std::string copyright;
    ASSERT_TRUE(view->ExportImage(dir.File(name), 0, 0, 32, 24, 0, false, false, copyright));
    const auto image = vd::ui::Image::Load(dir.File(name));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Width(), 32);
    EXPECT_EQ(image->Height(), 24);
    if (std::string(name) == "area.png") {
      EXPECT_EQ(image->Pixel(5, 7) & 0xFFFFFF, Expected(0, 0, 0, 5, 7));
    }
  }
}

TEST_F(PrintExportTest, FailedExportsWriteNothing) {
  std::string copyright;
  struct Case {
    std::string path;
    int w, h, s;
  };
  const Case cases[] = {{dir.File("missing/area.bmp"), 16, 16, 0},
                        {dir.File("empty.bmp"), 0, 16, 0},
                        {dir.File("shift.bmp"), 16, 16, -1},
                        {dir.File("huge.bmp"), 40000, 40000, 0}};  // over 4 GiB as a bitmap
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_FALSE(view->ExportImage(c.path, 0, 0, c.w, c.h, c.s, false, false, copyright));
    EXPECT_FALSE(vd::os::FileExists(c.path));
  }
}

TEST(PrintResolutionTest, CoarsestShiftWithinTheResolution) {
  struct Case {
    int box_width, page_width, resolution;
    int shift, magnify;
  };
  const Case cases[] = {
      {9000, 800, 450, 2, 3},  // 1125 pixels per inch: 281 at shift 2
      {400, 800, 450, 0, 1},   // 50 pixels per inch
      {3600, 800, 450, 0, 5},  // exactly 450
      {3608, 800, 450, 1, 2},  // 451: halved to 225
      {9000, 0, 450, 0, 1},    // no page: nothing to scale to
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.box_width << " on " << c.page_width);
    const auto result = COstrelView::ChoosePrintResolution(c.box_width, c.page_width, c.resolution);
    EXPECT_EQ(result.shift, c.shift);
    EXPECT_EQ(result.magnify, c.magnify);
  }
}

TEST_F(PrintExportTest, PrintedBoxKeepsItsShapeOnThePage) {
  // A page of 400 x 400 units on an image: a box twice as wide as high fills the width and
  // half the height; the rest stays white.
  vd::ui::Image page(400, 400, 0xFFFFFFFF);
  {
    vd::ui::Surface dc(page);
    CPrintOptions options;
    ASSERT_TRUE(view->PrintBox(dc, {0, 0, 128, 64}, {0, 0, 400, 400}, options));
    EXPECT_FALSE(view->PrintBox(dc, {0, 0, 0, 64}, {0, 0, 400, 400}, options));
  }
  // 128 chart pixels over 4 inches: 32 per inch, shift 0; each chart pixel 3.125 units.
  for (const auto& [x, y] : {std::pair{10, 10}, {200, 150}, {399, 199}}) {
    const int cx = x * 128 / 400, cy = y * 128 / 400;
    EXPECT_EQ(page.Pixel(x, y) & 0xFFFFFF, ChartColour(cx, cy)) << x << "," << y;
  }
  for (const auto& [x, y] : {std::pair{10, 201}, {399, 399}}) {
    EXPECT_EQ(page.Pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;
  }
}

TEST_F(PrintExportTest, StoredPrintOptionsAreKeptWithinRange) {
  struct Case {
    int32_t scale, resolution;
    int16_t margin;
    int32_t line_width, copies;
    int32_t want_scale, want_resolution;
    int16_t want_margin;
    int32_t want_line_width, want_copies;
  };
  const Case cases[] = {
      {0, -5, -30, -1, 0, 1000, 50, 0, 0, 1},
      {20000, 300, 25, 2, 3, 20000, 300, 25, 2, 3},
      {INT32_MAX, 99999, 100, 5000, 5000, 9000000, 2000, 100, 1000, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scale);
    CPrintOptions stored;
    stored.scale = c.scale;
    stored.resolution = c.resolution;
    stored.margins = {c.margin, c.margin, c.margin, c.margin};
    stored.grid_line_width = c.line_width;
    stored.copies = c.copies;
    stored.Save();
    const CPrintOptions loaded = CPrintOptions::Load();
    EXPECT_EQ(loaded.scale, c.want_scale);
    EXPECT_EQ(loaded.resolution, c.want_resolution);
    for (int16_t margin : loaded.margins) EXPECT_EQ(margin, c.want_margin);
    EXPECT_EQ(loaded.grid_line_width, c.want_line_width);
    EXPECT_EQ(loaded.copies, c.want_copies);
  }
  // A short record keeps the defaults past its end.
  const uint8_t short_record[4] = {0x50, 0xC3, 0, 0};  // 50000
  vd::SaveProfileBinary("print_settings", short_record, sizeof(short_record));
  const CPrintOptions partial = CPrintOptions::Load();
  EXPECT_EQ(partial.scale, 50000);
  EXPECT_EQ(partial.resolution, 450);
  EXPECT_EQ(partial.copies, 1);
}

}  // namespace
