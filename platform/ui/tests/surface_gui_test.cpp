// The painting surface drawn into an in-memory image: chosen pixels are checked against the
// pixel rules of the drawing model (end pixels, rectangle edges, pen widths under a mapping,
// background mode, clip, inverting raster operation, blits, text).
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "platform/ui/colour.h"
#include "platform/ui/font.h"
#include "platform/ui/image.h"
#include "platform/ui/palette_image.h"
#include "platform/ui/surface.h"

namespace vd::ui {
namespace {

constexpr Argb kWhite = 0xFFFFFFFF;
constexpr Argb kBlack = 0xFF000000;
constexpr ColourRef kRed = MakeColourRef(255, 0, 0);
constexpr ColourRef kGreen = MakeColourRef(0, 200, 0);
constexpr ColourRef kBlue = MakeColourRef(0, 0, 255);

Image WhiteImage(int w = 40, int h = 40) { return Image(w, h, kWhite); }

bool IsDark(Argb c) { return ArgbRed(c) < 128 && ArgbGreen(c) < 128 && ArgbBlue(c) < 128; }

TEST(SurfaceTest, FillRectCoversTheWholeRectangleInTheColourRefColour) {
  Image image = WhiteImage();
  {
    Surface s(image);
    ASSERT_TRUE(s.IsValid());
    s.FillRect({2, 3, 6, 8}, kRed);
  }
  EXPECT_EQ(image.Pixel(2, 3), 0xFFFF0000u);  // red in the low byte of a ColourRef
  EXPECT_EQ(image.Pixel(5, 7), 0xFFFF0000u);
  EXPECT_EQ(image.Pixel(6, 7), kWhite);
  EXPECT_EQ(image.Pixel(5, 8), kWhite);
  EXPECT_EQ(image.Pixel(1, 3), kWhite);
}

TEST(SurfaceTest, LinesDrawTheirStartAndLeaveOutTheirEnd) {
  struct Case {
    Point from, to, last_drawn;
  };
  const Case cases[] = {
      {{1, 1}, {9, 1}, {8, 1}},        // horizontal
      {{30, 2}, {30, 12}, {30, 11}},   // vertical
      {{20, 20}, {10, 20}, {11, 20}},  // right to left
      {{2, 20}, {12, 30}, {11, 29}},   // diagonal
  };
  for (const Case& c : cases) {
    Image image = WhiteImage();
    {
      Surface s(image);
      s.MoveTo(c.from);
      s.LineTo(c.to);
    }
    EXPECT_EQ(image.Pixel(c.from.x, c.from.y), kBlack) << c.from.x << "," << c.from.y;
    EXPECT_EQ(image.Pixel(c.last_drawn.x, c.last_drawn.y), kBlack);
    EXPECT_EQ(image.Pixel(c.to.x, c.to.y), kWhite) << c.to.x << "," << c.to.y;
  }
}

TEST(SurfaceTest, PolylinesAndLineChainsDrawEachJointOnceAndLeaveOutTheirLastPoint) {
  // Inverting shows how often a pixel was drawn: once turns black to white, twice back.
  const Point right_down[] = {{5, 5}, {15, 5}, {15, 15}};
  const Point left_up[] = {{35, 30}, {25, 30}, {25, 20}, {20, 25}};
  for (bool chain_of_lines : {false, true}) {
    Image image = WhiteImage();
    {
      Surface s(image);
      s.FillRect({0, 0, 40, 40}, MakeColourRef(0, 0, 0));
      s.SetRasterOp(RasterOp::Invert);
      for (std::span<const Point> points :
           {std::span<const Point>(right_down), std::span<const Point>(left_up)}) {
        if (chain_of_lines) {
          s.MoveTo(points[0]);
          for (size_t i = 1; i < points.size(); ++i) s.LineTo(points[i]);
        } else {
          s.Polyline(points);
        }
      }
    }
    for (Point p : {Point{5, 5}, Point{15, 5}, Point{15, 14}, Point{35, 30}, Point{25, 30},
                    Point{25, 21}, Point{25, 20}, Point{21, 24}}) {
      EXPECT_EQ(image.Pixel(p.x, p.y), kWhite) << p.x << "," << p.y << " chain " << chain_of_lines;
    }
    EXPECT_EQ(image.Pixel(15, 15), kBlack);  // the ends
    EXPECT_EQ(image.Pixel(20, 25), kBlack);
  }
}

TEST(SurfaceTest, LinesReachingFarOutsideTheDeviceDrawOnlyTheirVisiblePart) {
  Image image = WhiteImage(60, 4);
  Image diagonal = WhiteImage(20, 20);
  {
    Surface s(diagonal);
    s.MoveTo({-2000000000, -1999999998});
    s.LineTo({2000000000, 2000000002});
  }
  EXPECT_EQ(diagonal.Pixel(7, 9), kBlack);
  EXPECT_EQ(diagonal.Pixel(7, 7), kWhite);
  {
    Surface s(image);
    s.SetBackgroundMode(BackgroundMode::Transparent);
    s.MoveTo({-2000000000, 1});
    s.LineTo({2000000000, 1});
    s.SelectPen({LineStyle::Dash, 0, 0});
    s.MoveTo({-20, 2});  // 20 pixels of the dash pattern lie left of the image
    s.LineTo({60, 2});
  }
  EXPECT_EQ(image.Pixel(0, 1), kBlack);
  EXPECT_EQ(image.Pixel(59, 1), kBlack);
  EXPECT_EQ(image.Pixel(3, 2), kWhite);  // pattern pixel 23: a gap
  EXPECT_EQ(image.Pixel(4, 2), kBlack);  // pattern pixel 0 again
}

TEST(SurfaceTest, RectangleAndEllipseKeepInsideTheirRightAndBottomEdges) {
  Image image = WhiteImage();
  {
    Surface s(image);
    s.SelectBrush(Brush::Null());
    s.Rectangle({2, 2, 8, 8});
    s.SelectPen({LineStyle::Null, 0, 0});
    s.SelectBrush(Brush::Solid(kRed));
    s.Rectangle({20, 2, 26, 8});  // null pen: one pixel smaller
    s.SelectPen({LineStyle::Solid, 0, 0});
    s.SelectBrush(Brush::Solid(kBlue));
    s.Ellipse({2, 20, 12, 30});
  }
  EXPECT_EQ(image.Pixel(2, 2), kBlack);
  EXPECT_EQ(image.Pixel(7, 7), kBlack);
  EXPECT_EQ(image.Pixel(8, 8), kWhite);
  EXPECT_EQ(image.Pixel(5, 5), kWhite);  // null brush
  EXPECT_EQ(image.Pixel(20, 2), 0xFFFF0000u);
  EXPECT_EQ(image.Pixel(24, 6), 0xFFFF0000u);
  EXPECT_EQ(image.Pixel(25, 7), kWhite);
  EXPECT_EQ(image.Pixel(7, 25), 0xFF0000FFu);  // filled inside
  EXPECT_EQ(image.Pixel(2, 25), kBlack);       // outline at the left edge
  EXPECT_EQ(image.Pixel(11, 25), kBlack);      // and at right - 1
  EXPECT_EQ(image.Pixel(12, 25), kWhite);
}

TEST(SurfaceTest, MappingScalesCoordinatesButAZeroWidthPenStaysOnePixel) {
  Image image = WhiteImage();
  {
    Surface s(image);
    Mapping m;
    m.viewport_extent = {3, 3};
    s.SetMapping(m);
    s.FillRect({0, 0, 2, 2}, kRed);
    s.MoveTo({1, 5});
    s.LineTo({8, 5});
    s.SelectPen({LineStyle::Solid, 2, kBlue});  // two logical units: six pixels
    s.MoveTo({2, 10});
    s.LineTo({8, 10});
  }
  EXPECT_EQ(image.Pixel(5, 5), 0xFFFF0000u);
  EXPECT_EQ(image.Pixel(6, 6), kWhite);
  EXPECT_EQ(image.Pixel(12, 15), kBlack);
  EXPECT_EQ(image.Pixel(12, 14), kWhite);
  EXPECT_EQ(image.Pixel(12, 16), kWhite);
  int blue_rows = 0;
  for (int y = 20; y < 40; ++y) blue_rows += image.Pixel(15, y) == 0xFF0000FFu;
  EXPECT_EQ(blue_rows, 6);
}

TEST(SurfaceTest, ThinStyledPensUseTheFixedPixelPatterns) {
  struct Case {
    LineStyle style;
    std::vector<bool> pattern;  // one period, from the line's start
  };
  auto run = [](int on, int off) {
    std::vector<bool> v(on, true);
    v.insert(v.end(), off, false);
    return v;
  };
  const Case cases[] = {{LineStyle::Dash, run(18, 6)}, {LineStyle::Dot, run(3, 3)}};
  for (const Case& c : cases) {
    Image image = WhiteImage(60, 4);
    {
      Surface s(image);
      s.SetBackgroundMode(BackgroundMode::Transparent);
      s.SelectPen({c.style, 0, 0});
      s.MoveTo({0, 1});
      s.LineTo({60, 1});
    }
    for (size_t x = 0; x < c.pattern.size(); ++x) {
      EXPECT_EQ(image.Pixel(static_cast<int>(x), 1) == kBlack, c.pattern[x])
          << "style " << static_cast<int>(c.style) << " x " << x;
    }
  }
}

TEST(SurfaceTest, HatchGapsShowWhatLiesBelowOnlyInTransparentMode) {
  for (BackgroundMode mode : {BackgroundMode::Transparent, BackgroundMode::Opaque}) {
    Image image = WhiteImage();
    {
      Surface s(image);
      s.FillRect({0, 0, 40, 40}, kGreen);
      s.SetBackgroundMode(mode);
      s.SetBackgroundColour(kBlue);
      s.SelectPen({LineStyle::Null, 0, 0});
      s.SelectBrush(Brush::BackwardDiagonalHatch(kRed));
      s.Rectangle({0, 0, 33, 33});
    }
    int red = 0, green = 0, blue = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const Argb p = image.Pixel(x, y);
        red += p == 0xFFFF0000u;
        green += p == ArgbFromColourRef(kGreen);
        blue += p == 0xFF0000FFu;
      }
    }
    EXPECT_GT(red, 0);
    if (mode == BackgroundMode::Transparent) {
      EXPECT_GT(green, 0);
      EXPECT_EQ(blue, 0);
    } else {
      EXPECT_EQ(green, 0);
      EXPECT_GT(blue, 0);
    }
  }
}

TEST(SurfaceTest, ClippedDrawingStaysInsideTheClipAndRestoreBringsTheOldClipBack) {
  Image image = WhiteImage();
  {
    Surface s(image);
    s.SetClipRect({5, 5, 15, 15});
    s.Save();
    s.IntersectClipRect({10, 0, 40, 40});
    s.FillRect({0, 0, 40, 40}, kRed);
    ASSERT_TRUE(s.Restore());
    EXPECT_FALSE(s.Restore());
    s.FillRect({0, 0, 40, 40}, kBlue);  // the first clip again
    s.RemoveClip();
    s.FillRect({30, 30, 40, 40}, kGreen);
  }
  EXPECT_EQ(image.Pixel(4, 10), kWhite);
  EXPECT_EQ(image.Pixel(15, 10), kWhite);
  EXPECT_EQ(image.Pixel(10, 4), kWhite);
  EXPECT_EQ(image.Pixel(5, 5), 0xFF0000FFu);
  EXPECT_EQ(image.Pixel(14, 14), 0xFF0000FFu);
  EXPECT_EQ(image.Pixel(30, 30), ArgbFromColourRef(kGreen));
}

TEST(SurfaceTest, SaveAndRestoreBringBackPenAndModes) {
  Image image = WhiteImage();
  {
    Surface s(image);
    s.Save();
    s.SelectPen({LineStyle::Solid, 0, kRed});
    s.SetRasterOp(RasterOp::Invert);
    s.Restore();
    EXPECT_EQ(s.SelectPen({}).colour, 0u);
    EXPECT_EQ(s.SetRasterOp(RasterOp::CopyPen), RasterOp::CopyPen);
    s.MoveTo({0, 0});
    s.LineTo({5, 0});
  }
  EXPECT_EQ(image.Pixel(2, 0), kBlack);
}

TEST(SurfaceTest, InvertingTwiceRestoresThePixelsAndFillsAreNotInverted) {
  Image image = WhiteImage();
  {
    Surface s(image);
    s.FillRect({0, 0, 40, 40}, MakeColourRef(0x10, 0x20, 0x30));
    EXPECT_EQ(s.SetRasterOp(RasterOp::Invert), RasterOp::CopyPen);
    s.SelectBrush(Brush::Null());
    s.Rectangle({5, 5, 16, 16});
    s.MoveTo({20, 2});
    s.LineTo({20, 12});
    s.FillRect({30, 30, 35, 35}, kRed);
  }
  EXPECT_EQ(image.Pixel(5, 5), 0xFFEFDFCFu);
  EXPECT_EQ(image.Pixel(20, 5), 0xFFEFDFCFu);
  EXPECT_EQ(image.Pixel(31, 31), 0xFFFF0000u);
  {
    Surface s(image);
    s.SetRasterOp(RasterOp::Invert);
    s.SelectBrush(Brush::Null());
    s.Rectangle({5, 5, 16, 16});
    s.MoveTo({20, 2});
    s.LineTo({20, 12});
  }
  EXPECT_EQ(image.Pixel(5, 5), 0xFF102030u);
  EXPECT_EQ(image.Pixel(15, 15), 0xFF102030u);
  EXPECT_EQ(image.Pixel(20, 5), 0xFF102030u);
}

TEST(SurfaceTest, PolygonFillModeDecidesTheCentreOfAStar) {
  const Point star[] = {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
  for (FillMode mode : {FillMode::Alternate, FillMode::Winding}) {
    Image image = WhiteImage();
    {
      Surface s(image);
      s.SelectPen({LineStyle::Null, 0, 0});
      s.SelectBrush(Brush::Solid(kRed));
      s.SetFillMode(mode);
      s.Polygon(star);
    }
    EXPECT_EQ(image.Pixel(20, 20) == 0xFFFF0000u, mode == FillMode::Winding);
    EXPECT_EQ(image.Pixel(20, 8), 0xFFFF0000u);  // a point of the star
  }
}

TEST(SurfaceTest, ArcRunsAnticlockwiseUnlessToldOtherwise) {
  for (bool clockwise : {false, true}) {
    Image image = WhiteImage();
    {
      Surface s(image);
      // From the ray to the right to the ray upwards.
      s.Arc({0, 0, 31, 31}, {30, 15}, {15, 0}, clockwise);
    }
    int upper_right = 0, lower_half = 0;
    for (int y = 0; y < 31; ++y) {
      for (int x = 0; x < 31; ++x) {
        if (image.Pixel(x, y) != kBlack) continue;
        if (x > 16 && y < 14) ++upper_right;
        if (y > 17) ++lower_half;
      }
    }
    EXPECT_EQ(upper_right > 0, !clockwise);
    EXPECT_EQ(lower_half > 0, clockwise);
  }
}

TEST(SurfaceTest, BlitsCopyPaletteIndicesAsColoursAndStretchingDoublesPixels) {
  PaletteImage tile(2, 2);
  const uint8_t quads[] = {0,   0,   255, 0,   // index 0: red (blue, green, red, unused)
                           0,   255, 0,   0,   // 1: green
                           255, 0,   0,   0};  // 2: blue
  tile.SetPaletteFromRgbQuads(quads, 3);
  tile.SetPaletteEntry(3, MakeColourRef(1, 2, 3));
  tile.Row(0)[0] = 0;
  tile.Row(0)[1] = 1;
  tile.Row(1)[0] = 2;
  tile.Row(1)[1] = 3;
  const std::array<Argb, 4> colours = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF010203};

  Image image = WhiteImage();
  {
    Surface s(image);
    s.SetRasterOp(RasterOp::Invert);  // blits are plain copies whatever the raster operation
    s.Blit(Point{1, 1}, tile);
    s.StretchBlit({10, 10, 14, 14}, tile, {0, 0, 2, 2});
  }
  for (int i = 0; i < 4; ++i) {
    const int x = i % 2, y = i / 2;
    EXPECT_EQ(image.Pixel(1 + x, 1 + y), colours[i]) << i;
    for (int dy = 0; dy < 2; ++dy) {
      for (int dx = 0; dx < 2; ++dx) {
        EXPECT_EQ(image.Pixel(10 + 2 * x + dx, 10 + 2 * y + dy), colours[i]) << i;
      }
    }
  }
  EXPECT_EQ(image.Pixel(3, 1), kWhite);
  EXPECT_EQ(image.Pixel(14, 10), kWhite);
  EXPECT_EQ(tile.ToImage().Pixel(1, 1), colours[3]);
}

TEST(SurfaceTest, A32BitBlitIgnoresTheFourthByteAndClampsTheSource) {
  Image source(4, 4, 0x00123456);  // the byte above blue left at 0, as renderers leave it
  source.SetPixel(3, 3, 0x80ABCDEF);
  Image image = WhiteImage();
  {
    Surface s(image);
    s.Blit(Point{0, 0}, source);
    s.StretchBlit({10, 10, 18, 18}, source, {2, 2, 6, 6});  // half lies outside the source
  }
  EXPECT_EQ(image.Pixel(0, 0), 0xFF123456u);
  EXPECT_EQ(image.Pixel(3, 3), 0xFFABCDEFu);
  EXPECT_EQ(image.Pixel(10, 10), 0xFF123456u);
  EXPECT_EQ(image.Pixel(13, 13), 0xFFABCDEFu);
  EXPECT_EQ(image.Pixel(14, 14), kWhite);
}

TEST(SurfaceTest, TextMeasuresAndWrapsByWords) {
  Image image = WhiteImage(200, 200);
  Surface s(image);
  s.SelectFont({"Arial", -20});
  const Size one = s.MeasureText("Word");
  const Size two = s.MeasureText("Word Word");
  EXPECT_GT(one.cx, 0);
  EXPECT_GT(one.cy, 0);
  EXPECT_GT(two.cx, one.cx);
  EXPECT_EQ(two.cy, one.cy);

  Rect single{10, 10, 190, 10};
  const int single_height =
      s.DrawText("Word Word Word", single, kDrawTextCalcRect | kDrawTextWordBreak);
  EXPECT_EQ(single_height, one.cy);
  EXPECT_EQ(single.bottom, 10 + one.cy);
  EXPECT_LE(single.Width(), 180);

  Rect narrow{10, 10, 10 + one.cx + 2, 10};
  const int wrapped = s.DrawText("Word Word Word", narrow, kDrawTextCalcRect | kDrawTextWordBreak);
  EXPECT_EQ(wrapped, 3 * one.cy);
  EXPECT_EQ(narrow.bottom - narrow.top, 3 * one.cy);
  EXPECT_EQ(narrow.Width(), one.cx);

  Rect lines{0, 0, 0, 0};
  EXPECT_EQ(s.DrawText("a\nb\r\nc", lines, kDrawTextCalcRect), 3 * one.cy);
  Rect one_line{0, 0, 0, 0};
  EXPECT_EQ(s.DrawText("a\nb", one_line, kDrawTextCalcRect | kDrawTextSingleLine), one.cy);

  Rect prefixed{0, 0, 0, 0};
  s.DrawText("&Word", prefixed, kDrawTextCalcRect);
  EXPECT_EQ(prefixed.Width(), one.cx);
  Rect literal{0, 0, 0, 0};
  s.DrawText("&Word", literal, kDrawTextCalcRect | kDrawTextNoPrefix);
  EXPECT_GT(literal.Width(), one.cx);
}

TEST(SurfaceTest, DrawTextStaysInItsRectangleAndAlignsItsLine) {
  Image image = WhiteImage(200, 60);
  {
    Surface s(image);
    s.SelectFont({"Arial", -24});
    s.SetBackgroundMode(BackgroundMode::Transparent);
    Rect r{50, 10, 100, 50};
    s.DrawText("WWWWWWWWWWWW", r, kDrawTextSingleLine | kDrawTextRight | kDrawTextVCenter);
  }
  int inside = 0, outside = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (!IsDark(image.Pixel(x, y))) continue;
      (x >= 50 && x < 100 && y >= 10 && y < 50 ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
}

TEST(SurfaceTest, OpaqueTextFillsItsCellWithTheBackgroundColour) {
  Image image = WhiteImage(100, 40);
  Size extent;
  {
    Surface s(image);
    EXPECT_EQ(s.FontHeightForPoints(90), -12);  // 9 points at 96 dots per inch
    s.SelectFont({"Arial", -20});
    s.SetBackgroundColour(kBlue);  // the background mode starts opaque
    s.SetTextColour(kRed);
    extent = s.MeasureText("i i");
    s.TextOut({10, 10}, "i i");
  }
  int blue = 0, red = 0, outside = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 100; ++x) {
      const Argb p = image.Pixel(x, y);
      if (p == kWhite) continue;
      blue += p == 0xFF0000FFu;
      red += ArgbRed(p) > 128 && ArgbBlue(p) < 128;
      outside += x < 10 || x >= 10 + extent.cx + 1 || y < 10 || y >= 10 + extent.cy + 1;
    }
  }
  EXPECT_GT(blue, extent.cx * extent.cy / 2);
  EXPECT_GT(red, 0);
  EXPECT_EQ(outside, 0);
}

TEST(SurfaceTest, RotatedTextLandsInTheRotatedArea) {
  Image image = WhiteImage(120, 120);
  Size extent;
  int ascent = 0, descent = 0;
  {
    Surface s(image);
    Font font{"Arial", -20};
    font.escapement = 900;  // reads upwards
    s.SelectFont(font);
    s.SetTextAlign(kTextAlignLeft | kTextAlignBaseline);
    s.SetBackgroundMode(BackgroundMode::Transparent);
    extent = s.MeasureText("HHHH");
    const QFontMetrics fm(MakeQFont(font));
    ascent = fm.ascent();
    descent = fm.descent();
    s.TextOut({60, 100}, "HHHH");
  }
  int inside = 0, outside = 0;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 120; ++x) {
      if (!IsDark(image.Pixel(x, y))) continue;
      const bool in =
          x >= 60 - ascent - 1 && x <= 60 + descent + 1 && y >= 100 - extent.cx - 1 && y <= 101;
      (in ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
  EXPECT_GT(extent.cx, 2 * extent.cy);  // the run is taller than wide once turned
}

TEST(SurfaceTest, TextCentredOnAPointSpreadsBothWays) {
  Image image = WhiteImage(200, 60);
  {
    Surface s(image);
    s.SelectFont({"Arial", -20});
    s.SetTextAlign(kTextAlignCenter | kTextAlignBottom);
    s.TextOut({100, 40}, "HHHHHH");
  }
  int left = 0, right = 0, below = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (!IsDark(image.Pixel(x, y))) continue;
      (x < 100 ? left : right)++;
      below += y >= 40;
    }
  }
  EXPECT_GT(left, 20);
  EXPECT_GT(right, 20);
  EXPECT_EQ(below, 0);
}

// The window target: a widget paints through the painter of its paint event.
class PaintedWidget : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(Qt::green);
    painter.translate(10, 10);
    {
      Surface s(painter);
      s.FillRect({0, 0, 5, 5}, kRed);
      s.SelectPen({LineStyle::Solid, 0, kBlue});
      s.SetRasterOp(RasterOp::Invert);
      s.Save();
    }
    // The painter is as the surface found it.
    painter.drawPoint(20, 0);
  }
};

TEST(SurfaceTest, AWindowPaintsThroughThePainterOfItsPaintEvent) {
  PaintedWidget widget;
  widget.resize(40, 40);
  const QImage shot = widget.grab().toImage();
  EXPECT_EQ(shot.pixel(10, 10), 0xFFFF0000u);  // in the painter's own coordinates
  EXPECT_EQ(shot.pixel(14, 14), 0xFFFF0000u);
  EXPECT_NE(shot.pixel(15, 15), 0xFFFF0000u);
  EXPECT_EQ(shot.pixel(30, 10), 0xFF00FF00u);
}

TEST(FontTest, FamiliesMapToInstalledStandIns) {
  struct Case {
    const char* face;
    const char* family;
  };
  const Case cases[] = {{"Arial", "Liberation Sans"},
                        {"ARIAL", "Liberation Sans"},
                        {"Times New Roman", "Liberation Serif"},
                        {"Courier New", "Liberation Mono"},
                        {"Tahoma", "Liberation Sans"},
                        {"No Such Face 42", "Liberation Sans"},
                        {"", "Liberation Sans"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveFontFamily(c.face), c.family) << c.face;
    EXPECT_EQ(QFontInfo(MakeQFont({c.face, -12})).family().toStdString(), c.family) << c.face;
  }
}

TEST(FontTest, HeightsGiveTheCharacterOrTheCellHeight) {
  Font font{"Arial", -30};
  font.weight = kFontWeightBold;
  font.italic = true;
  const QFont character = MakeQFont(font);
  EXPECT_EQ(character.pixelSize(), 30);
  EXPECT_TRUE(character.bold());
  EXPECT_TRUE(character.italic());
  const QFont cell = MakeQFont({"Arial", 30});
  EXPECT_LT(cell.pixelSize(), 30);
  EXPECT_NEAR(QFontMetrics(cell).height(), 30, 1);
  EXPECT_GT(MakeQFont({"Arial", -2000000000}).pixelSize(), 0);
}

// A 32-bit blit lands in the same pixels whether the copy goes straight into the image (a
// whole-pixel translation, one clip rectangle) or through the painter (any other mapping).
// Both kinds of source: 32-bit pixels, and palette indices (each index i showing red i).
TEST(SurfaceTest, BlitsHonourMappingAndClipOnEveryPath) {
  Image source(4, 3, 0x00000000);
  PaletteImage indexed(4, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const int i = 10 * y + x + 1;
      source.SetPixel(x, y, 0x00010000u * uint32_t(i));
      indexed.Row(y)[x] = uint8_t(i);
      indexed.SetPaletteEntry(i, MakeColourRef(uint8_t(i), 0, 0));
    }
  }
  const auto colour = [](int x, int y) { return 0xFF000000u | 0x00010000u * uint32_t(10 * y + x + 1); };
  struct Case {
    const char* name;
    Mapping mapping;
    std::vector<Rect> clips;  // intersected one after the other; empty: no clip
    Point dest;
    int scale;                // device pixels per logical pixel
    Point device;             // where the source's corner lands
    Point clip_shift{0, 0};   // from logical clip coordinates to device ones
  };
  Mapping shifted;
  shifted.window_origin = {-5, -2};
  Mapping doubled;
  doubled.window_extent = {1, 1};
  doubled.viewport_extent = {2, 2};
  const Case cases[] = {
      {"plain", Mapping(), {}, {3, 4}, 1, {3, 4}},
      {"shifted", shifted, {}, {3, 4}, 1, {8, 6}},
      {"clipped", Mapping(), {{4, 4, 6, 6}}, {3, 4}, 1, {3, 4}},
      {"off the edge", Mapping(), {}, {-2, -1}, 1, {-2, -1}},
      {"shifted and clipped", shifted, {{4, 4, 6, 6}}, {3, 4}, 1, {8, 6}, {5, 2}},
      {"doubled", doubled, {}, {3, 4}, 2, {6, 8}},
  };
  for (const bool palette : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (palette ? ", palette" : ", 32-bit"));
      Image image = WhiteImage(20, 20);
      {
        Surface s(image);
        s.SetMapping(c.mapping);
        for (const Rect& clip : c.clips) s.IntersectClipRect(clip);
        if (palette) {
          s.Blit(c.dest, indexed);
        } else {
          s.Blit(c.dest, source);
        }
      }
      for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
          const int sx = (x - c.device.x) / c.scale, sy = (y - c.device.y) / c.scale;
          const bool in_source = x >= c.device.x && y >= c.device.y && sx < 4 && sy < 3;
          bool in_clip = true;
          for (const Rect& clip : c.clips) {
            const int cx = x - c.clip_shift.x, cy = y - c.clip_shift.y;
            in_clip = in_clip && cx >= clip.left && cx < clip.right && cy >= clip.top &&
                      cy < clip.bottom;
          }
          const uint32_t expected = in_source && in_clip ? colour(sx, sy) : kWhite;
          ASSERT_EQ(image.Pixel(x, y), expected) << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vd::ui
