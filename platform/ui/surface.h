#pragma once
// The painting surface: a device context in the manner the drawing code was written for. It
// keeps a selected pen, brush and font, text and background colours, a background mode, a
// raster operation, a polygon fill mode, a text alignment, a current position, a mapping from
// logical to device coordinates and a clip, all saved and restored together. Coordinates are
// logical integers; rectangles exclude their right and bottom edges.
//
// Pixel rules kept from that model:
// - A pen of width 0 draws one device pixel wide at any mapping. Lines of a pen of width 0 or 1
//   leave out their end pixel (LineTo, Polyline), so a chain of lines draws each joint once.
//   Wider pens have round ends and joins.
// - Rectangle and Ellipse with a pen cover left..right-1 and top..bottom-1; with the null pen
//   the filled area is one pixel smaller in each direction. FillRect covers the whole rectangle.
// - In the opaque background mode, the gaps of dashed pens and hatch brushes and the cells of
//   text are filled with the background colour.
// - Blits copy pixels: the fourth byte of a 32-bit image is ignored and no raster operation
//   applies. Stretching picks the nearest source pixel.
//
// Targets: a window (the painter of its paint event), an Image, a printer or PDF page
// (PrintDocument). Anti-aliased drawing goes through a Graphics on the same surface.
#include <QFont>
#include <QTransform>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/ui/colour.h"
#include "platform/ui/font.h"
#include "platform/ui/geometry.h"

class QPainter;
class QPaintDevice;

namespace vd::ui {

class Image;
class PaletteImage;

// The values are the stored line-style numbers of routes and tracks (0..4).
enum class LineStyle { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Null = 5 };

struct Pen {
  LineStyle style = LineStyle::Solid;
  int width = 0;  // logical units; 0 = one device pixel
  ColourRef colour = 0;
};

struct Brush {
  enum class Kind { Solid, Null, BackwardDiagonalHatch };  // the hatch runs like '/'
  Kind kind = Kind::Solid;
  ColourRef colour = 0xFFFFFF;

  static Brush Solid(ColourRef colour) { return {Kind::Solid, colour}; }
  static Brush Null() { return {Kind::Null, 0}; }
  static Brush BackwardDiagonalHatch(ColourRef colour) {
    return {Kind::BackwardDiagonalHatch, colour};
  }
};

enum class BackgroundMode { Transparent, Opaque };
enum class RasterOp { CopyPen, Invert };  // Invert: the pen and brush invert what lies below
enum class FillMode { Alternate, Winding };

// Text alignment of TextOut: one horizontal and one vertical value, or-ed.
constexpr unsigned kTextAlignLeft = 0;
constexpr unsigned kTextAlignRight = 2;
constexpr unsigned kTextAlignCenter = 6;
constexpr unsigned kTextAlignTop = 0;
constexpr unsigned kTextAlignBottom = 8;
constexpr unsigned kTextAlignBaseline = 24;

// DrawText format flags. These values are stored in overlay files (the text layout of notes).
constexpr unsigned kDrawTextLeft = 0x0000;
constexpr unsigned kDrawTextCenter = 0x0001;
constexpr unsigned kDrawTextRight = 0x0002;
constexpr unsigned kDrawTextVCenter = 0x0004;     // single line only
constexpr unsigned kDrawTextBottom = 0x0008;      // single line only
constexpr unsigned kDrawTextWordBreak = 0x0010;   // wrap at word boundaries to the width
constexpr unsigned kDrawTextSingleLine = 0x0020;  // line breaks in the text do not break
constexpr unsigned kDrawTextExpandTabs = 0x0040;  // tabs always expand (8 average characters)
constexpr unsigned kDrawTextNoClip = 0x0100;
constexpr unsigned kDrawTextCalcRect = 0x0400;  // measure only: the rectangle is adjusted
constexpr unsigned kDrawTextNoPrefix = 0x0800;  // without it "&x" shows x and "&&" shows &

// Logical to device: device = (logical - window_origin) * viewport_extent / window_extent
// + viewport_origin, per axis; a negative extent turns that axis round.
struct Mapping {
  Point window_origin;
  Size window_extent{1, 1};
  Point viewport_origin;
  Size viewport_extent{1, 1};
};

class Surface {
 public:
  // Paints `device` until the surface goes away (an Image, a QPdfWriter, a QPrinter, ...).
  explicit Surface(QPaintDevice& device);
  explicit Surface(Image& image);
  // Paints through an active painter (a window's paint event); the painter's state is put back
  // when the surface goes away.
  explicit Surface(QPainter& painter);
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  bool IsValid() const;  // false when painting could not begin on the device

  // The device: size in pixels and in millimetres, resolution in dots per inch.
  Size DeviceSize() const;
  Size DeviceSizeMm() const;
  int DpiX() const;
  int DpiY() const;
  // The (negative) font height of a size in tenths of a point on this device.
  int FontHeightForPoints(int tenths_of_point) const;

  // Each setter returns the previous value, for the caller to put back.
  Pen SelectPen(const Pen& pen);
  Brush SelectBrush(const Brush& brush);
  Font SelectFont(const Font& font);
  ColourRef SetTextColour(ColourRef colour);
  ColourRef SetBackgroundColour(ColourRef colour);
  BackgroundMode SetBackgroundMode(BackgroundMode mode);
  RasterOp SetRasterOp(RasterOp op);
  FillMode SetFillMode(FillMode mode);
  unsigned SetTextAlign(unsigned align);
  Mapping SetMapping(const Mapping& mapping);

  // Saves everything above, the clip and the current position; Restore puts back the latest
  // save (false when there is none).
  void Save();
  bool Restore();

  void SetClipRect(const Rect& rect);  // replaces the clip
  void IntersectClipRect(const Rect& rect);
  void RemoveClip();

  // Lines with the pen; figures outlined with the pen and filled with the brush.
  Point MoveTo(Point p);  // returns the previous position
  void LineTo(Point p);
  void Polyline(std::span<const Point> points);
  void Polygon(std::span<const Point> points);  // closed; filled by the fill mode
  void Rectangle(const Rect& rect);
  void Ellipse(const Rect& rect);
  // The arc of the ellipse in `box` from the ray through `start` to the ray through `end`,
  // anticlockwise on the screen unless `clockwise`; equal rays give the whole ellipse.
  void Arc(const Rect& box, Point start, Point end, bool clockwise);
  void FillRect(const Rect& rect, ColourRef colour);
  void SetPixel(Point p, ColourRef colour);

  // Text in the selected font and the text colour.
  Size MeasureText(std::string_view text) const;  // width and line height
  // At `p` by the text alignment, turned by the font's escapement round `p`.
  void TextOut(Point p, std::string_view text);
  // Laid out in `rect` by kDrawText* flags; returns the text height (with kDrawTextVCenter or
  // kDrawTextBottom: from the rectangle's top to the text's bottom). With kDrawTextCalcRect
  // nothing is drawn and `rect` gets the text's size: the widest line and the line count.
  int DrawText(std::string_view text, Rect& rect, unsigned format);

  // Pixel copies into `dest` from `src` of the image (nearest pixel when the sizes differ).
  void Blit(Point dest, const Image& image);
  void StretchBlit(const Rect& dest, const Image& image, const Rect& src);
  void Blit(Point dest, const PaletteImage& image);
  void StretchBlit(const Rect& dest, const PaletteImage& image, const Rect& src);

  // For Graphics and for code that needs the toolkit directly. Leave the painter's settings as
  // found.
  QPainter& painter() { return *painter_; }

 private:
  struct State {
    Pen pen;
    Brush brush;
    Font font;
    QFont qfont;
    ColourRef text_colour = 0;
    ColourRef background_colour = 0xFFFFFF;
    BackgroundMode background_mode = BackgroundMode::Opaque;
    RasterOp raster_op = RasterOp::CopyPen;
    FillMode fill_mode = FillMode::Alternate;
    unsigned text_align = kTextAlignLeft | kTextAlignTop;
    Point position;
    size_t style_phase = 0;  // where the dash pattern of thin lines goes on
    Mapping mapping;
  };

  void Begin();
  void ApplyBackground(bool for_text = false);
  bool ThinPen() const;
  void DrawThinLines(std::span<const Point> points);
  void DrawImageCopy(const Rect& dest, const QImage& image, const Rect& src);
  // A 1:1 copy of 32-bit pixels (made opaque), or of palette indices through their (opaque)
  // colours, straight into a 32-bit image target, when the mapping is a whole-pixel
  // translation and the clip one rectangle or none. False, with nothing done, when the painter
  // has to do it (Qt's own conversion hands the rows of a large image to its thread pool, which
  // costs more than the conversion for a small one).
  bool CopyIntoImage(const Rect& dest, const QImage& image, const Rect& src);
  bool CopyIntoImage(const Rect& dest, const PaletteImage& image, const Rect& src);

  std::unique_ptr<QPainter> owned_painter_;
  QPainter* painter_ = nullptr;
  QTransform base_transform_;
  State state_;
  std::vector<State> saved_;
};

}  // namespace vd::ui
