// Draws the 32 built-in mark symbols into a folder (resources/icons):
//   <Name>.png, <Name>@2x.png     the symbol's black silhouette (its outline)
//   <Name>_c.png, <Name>@2x_c.png the colour layer: the symbol in its default colour, with white
//                                 and black details, drawn over the silhouette
//   <Name>_xy.txt                 the hot spot "x,y" in pixels of the single-size image
// and the own vessel's two GPS icons (gps_icon1, gps_icon2 with the same layers and sizes, no
// hot-spot file: the vessel's position is the icon's centre). The vessel shows them in turn at
// each fix, so they differ only in the turn of their cross hairs.
// Recolouring keeps each pixel's lightness, so the colour parts are pure hues (they take any
// chosen colour at full strength) while white and black details stay as they are.
//
// Usage: make_icons <output folder>
#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "platform/ui/colour.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

using vd::ui::Argb;
using vd::ui::PointF;

// Symbols are drawn on a grid of kGrid units whose integer points are pixel centres of the
// single-size image; the double-size image maps unit u to pixel 2u.
constexpr int kGrid = 21;
constexpr float kOutline = 1.0f;  // silhouette margin around every shape, grid units
constexpr Argb kBlack = 0xFF000000;
constexpr Argb kWhite = 0xFFFFFFFF;
constexpr Argb kRed = 0xFFFF0000;
constexpr Argb kGreen = 0xFF00FF00;
constexpr Argb kBlue = 0xFF0000FF;
constexpr Argb kYellow = 0xFFFFFF00;
constexpr float kPi = 3.14159265f;

// The ink of a shape in the colour layer: the symbol's colour or a fixed white or black.
enum class Ink { Colour, Light, Dark };

struct Shape {
  enum class Kind { Polygon, Line, Disc, Ring };
  Kind kind;
  Ink ink;
  std::vector<PointF> points;  // polygon corners, line points, or the centre
  float size;                  // line and ring width, disc and ring radius below
  float radius = 0;
};

class Symbol {
 public:
  Symbol& Polygon(Ink ink, std::vector<PointF> points) {
    shapes_.push_back({Shape::Kind::Polygon, ink, std::move(points), 0});
    return *this;
  }
  Symbol& Rect(Ink ink, float left, float top, float right, float bottom) {
    return Polygon(ink, {{left, top}, {right, top}, {right, bottom}, {left, bottom}});
  }
  Symbol& Line(Ink ink, float width, std::vector<PointF> points) {
    shapes_.push_back({Shape::Kind::Line, ink, std::move(points), width});
    return *this;
  }
  Symbol& Disc(Ink ink, float x, float y, float radius) {
    shapes_.push_back({Shape::Kind::Disc, ink, {{x, y}}, 0, radius});
    return *this;
  }
  Symbol& Ring(Ink ink, float x, float y, float radius, float width) {
    shapes_.push_back({Shape::Kind::Ring, ink, {{x, y}}, width, radius});
    return *this;
  }
  // An ellipse turned by `degrees`, as a polygon.
  Symbol& Oval(Ink ink, float x, float y, float rx, float ry, float degrees) {
    std::vector<PointF> points;
    const float turn = degrees * kPi / 180;
    for (int i = 0; i < 32; ++i) {
      const float a = 2 * kPi * static_cast<float>(i) / 32;
      const float ex = rx * std::cos(a), ey = ry * std::sin(a);
      points.push_back({x + ex * std::cos(turn) - ey * std::sin(turn),
                        y + ex * std::sin(turn) + ey * std::cos(turn)});
    }
    return Polygon(ink, std::move(points));
  }

  // The silhouette: every shape in black, grown by the outline margin.
  void DrawSilhouette(vd::ui::Graphics& g) const {
    for (const Shape& s : shapes_) Draw(g, s, kBlack, kOutline);
  }
  void DrawLayer(vd::ui::Graphics& g, Argb colour) const {
    for (const Shape& s : shapes_) {
      Draw(g, s, s.ink == Ink::Colour ? colour : s.ink == Ink::Light ? kWhite : kBlack, 0);
    }
  }

 private:
  static void Draw(vd::ui::Graphics& g, const Shape& s, Argb colour, float grow) {
    vd::ui::GraphicsPen pen;
    pen.colour = colour;
    pen.start_cap = pen.end_cap = vd::ui::LineCap::Round;
    pen.join = vd::ui::LineJoin::Round;
    switch (s.kind) {
      case Shape::Kind::Polygon:
        g.FillPolygon(colour, s.points);
        if (grow > 0) {
          pen.width = 2 * grow;
          g.DrawPolygon(pen, s.points);
        }
        break;
      case Shape::Kind::Line:
        pen.width = s.size + 2 * grow;
        g.DrawLines(pen, s.points);
        break;
      case Shape::Kind::Disc: {
        const float r = s.radius + grow;
        g.FillEllipse(colour, {s.points[0].x - r, s.points[0].y - r, 2 * r, 2 * r});
        break;
      }
      case Shape::Kind::Ring: {
        const float r = s.radius;
        pen.width = s.size + 2 * grow;
        g.DrawEllipse(pen, {s.points[0].x - r, s.points[0].y - r, 2 * r, 2 * r});
        break;
      }
    }
  }

  std::vector<Shape> shapes_;
};

struct Definition {
  const char* name;
  Argb colour;             // the default colour of the symbol number
  vd::ui::Point hot_spot;  // single-size pixels
  std::function<void(Symbol&)> draw;
};

constexpr vd::ui::Point kCentre{10, 10};
constexpr Ink C = Ink::Colour;
constexpr Ink L = Ink::Light;
constexpr Ink D = Ink::Dark;

void WaterLine(Symbol& s) { s.Line(D, 1.2f, {{3, 17.5f}, {6, 16.5f}, {9, 17.5f}, {12, 16.5f}, {15, 17.5f}, {17, 16.8f}}); }

// In symbol-number order; the names are the file names the icon library looks for.
std::vector<Definition> Definitions() {
  return {
      {"Dot", kBlue, kCentre, [](Symbol& s) { s.Disc(C, 10, 10, 4); }},
      {"House", kRed, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{2.5f, 10}, {10, 3}, {17.5f, 10}, {15, 10}, {15, 17}, {5, 17}, {5, 10}});
         s.Rect(L, 8.5f, 12, 11.5f, 17);
       }},
      {"Fuel", kRed, kCentre,
       [](Symbol& s) {
         s.Line(C, 1.6f, {{12, 7}, {15, 9}, {15, 15}, {13.5f, 16}});
         s.Rect(C, 4, 4, 12, 17);
         s.Rect(L, 6, 6, 10, 9.5f);
       }},
      {"Car", kBlue, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{2, 11}, {4, 11}, {6, 5.5f}, {14, 5.5f}, {16, 11}, {18, 11}, {18, 15}, {2, 15}});
         s.Polygon(L, {{7, 7}, {13, 7}, {14.3f, 10.5f}, {5.7f, 10.5f}});
         s.Disc(D, 6, 15, 2.2f).Disc(D, 14, 15, 2.2f);
       }},
      {"Fish", kRed, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{13, 10}, {18.5f, 5.5f}, {18.5f, 14.5f}});
         s.Oval(C, 9, 10, 6.5f, 4, 0);
         s.Disc(D, 5.5f, 9, 1);
       }},
      {"Boat", kRed, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{2, 12}, {18, 12}, {15, 17}, {5, 17}});
         s.Polygon(C, {{10.5f, 2}, {10.5f, 10.5f}, {4, 10.5f}});
         s.Line(D, 1, {{10, 2}, {10, 12}});
       }},
      {"Anchor", kRed, kCentre,
       [](Symbol& s) {
         s.Ring(C, 10, 4, 1.7f, 1.6f);
         s.Line(C, 2, {{10, 6}, {10, 17}});
         s.Line(C, 2, {{6, 8.5f}, {14, 8.5f}});
         s.Line(C, 2, {{3.5f, 11}, {4.5f, 14}, {7, 16.5f}, {10, 17.5f}, {13, 16.5f}, {15.5f, 14}, {16.5f, 11}});
         s.Polygon(C, {{2, 12.5f}, {3.5f, 10}, {5.5f, 12}}).Polygon(C, {{18, 12.5f}, {16.5f, 10}, {14.5f, 12}});
       }},
      {"Wreck", kRed, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{2.5f, 9}, {16, 12.5f}, {14, 16.5f}, {3, 14}});
         s.Line(C, 1.6f, {{8, 11}, {10.5f, 3}});
         s.Line(C, 1.2f, {{7, 6}, {12, 7.5f}});
         WaterLine(s);
       }},
      {"Exit", kRed, kCentre,
       [](Symbol& s) {
         s.Rect(C, 3, 3, 17, 17);
         s.Line(L, 2, {{5.5f, 10}, {13, 10}});
         s.Line(L, 2, {{10, 6.5f}, {13.5f, 10}, {10, 13.5f}});
       }},
      {"Skull", kRed, kCentre,
       [](Symbol& s) {
         s.Disc(C, 10, 8, 6);
         s.Rect(C, 6.5f, 11, 13.5f, 16.5f);
         s.Disc(D, 7.6f, 8.5f, 1.7f).Disc(D, 12.4f, 8.5f, 1.7f);
         s.Polygon(D, {{10, 10.8f}, {11, 12.6f}, {9, 12.6f}});
         s.Line(D, 0.8f, {{8.5f, 14}, {8.5f, 16.5f}}).Line(D, 0.8f, {{11.5f, 14}, {11.5f, 16.5f}});
       }},
      {"Flag", kRed, {5, 19},
       [](Symbol& s) {
         s.Polygon(C, {{5, 2.5f}, {17, 6.5f}, {5, 10.5f}});
         s.Line(D, 1.4f, {{5, 2}, {5, 19}});
       }},
      {"Tent", kGreen, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{2, 17}, {10, 3.5f}, {18, 17}});
         s.Polygon(L, {{10, 9}, {13, 17}, {7, 17}});
       }},
      {"MOB", kRed, kCentre,
       [](Symbol& s) {
         s.Ring(C, 10, 10, 6, 4);
         for (int i = 0; i < 4; ++i) {
           const float a = kPi / 4 + static_cast<float>(i) * kPi / 2;
           s.Line(L, 2.4f, {{10 + 4.4f * std::cos(a), 10 + 4.4f * std::sin(a)},
                            {10 + 7.6f * std::cos(a), 10 + 7.6f * std::sin(a)}});
         }
       }},
      {"Deer", kRed, kCentre,
       [](Symbol& s) {
         s.Line(C, 1.5f, {{8.5f, 9}, {5.5f, 5.5f}, {4.5f, 2.5f}});
         s.Line(C, 1.5f, {{5.5f, 5.5f}, {2.5f, 6}});
         s.Line(C, 1.5f, {{7, 7.2f}, {7.5f, 3}});
         s.Line(C, 1.5f, {{11.5f, 9}, {14.5f, 5.5f}, {15.5f, 2.5f}});
         s.Line(C, 1.5f, {{14.5f, 5.5f}, {17.5f, 6}});
         s.Line(C, 1.5f, {{13, 7.2f}, {12.5f, 3}});
         s.Polygon(C, {{5.5f, 10}, {8, 8.5f}, {12, 8.5f}, {14.5f, 10}, {12, 11}, {11.5f, 16}, {10, 18.5f}, {8.5f, 16}, {8, 11}});
         s.Disc(D, 9, 11.5f, 0.7f).Disc(D, 11, 11.5f, 0.7f);
       }},
      {"First_aid", kGreen, kCentre,
       [](Symbol& s) {
         s.Rect(C, 3, 3, 17, 17);
         s.Rect(L, 8.5f, 5.5f, 11.5f, 14.5f).Rect(L, 5.5f, 8.5f, 14.5f, 11.5f);
       }},
      {"Trackback", kRed, kCentre,
       [](Symbol& s) {
         std::vector<PointF> bend{{15, 17}, {15, 9}};
         for (int i = 1; i < 8; ++i) {
           const float a = static_cast<float>(i) * kPi / 8;
           bend.push_back({10 + 5 * std::cos(a), 9 - 5 * std::sin(a)});
         }
         bend.push_back({5, 9});
         bend.push_back({5, 11});
         s.Line(C, 2.2f, bend);
         s.Polygon(C, {{1.5f, 10.5f}, {8.5f, 10.5f}, {5, 16}});
       }},
      {"TinyDot", kRed, kCentre, [](Symbol& s) { s.Disc(C, 10, 10, 2); }},
      {"Triangle", kRed, kCentre, [](Symbol& s) { s.Polygon(C, {{10, 3}, {17.5f, 16}, {2.5f, 16}}); }},
      {"Square", kRed, kCentre, [](Symbol& s) { s.Rect(C, 4, 4, 16, 16); }},
      {"Circle", kRed, kCentre, [](Symbol& s) { s.Disc(C, 10, 10, 7); }},
      {"Buoy_can", kGreen, kCentre,
       [](Symbol& s) {
         s.Rect(C, 6, 4.5f, 14, 15.5f);
         s.Line(L, 1, {{6.5f, 8}, {13.5f, 8}});
         WaterLine(s);
       }},
      {"Buoy_conical", kRed, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{10, 3}, {15, 15.5f}, {5, 15.5f}});
         WaterLine(s);
       }},
      {"Buoy_round", kYellow, kCentre,
       [](Symbol& s) {
         s.Disc(C, 10, 10, 5.5f);
         s.Disc(L, 8, 8, 1.3f);
         WaterLine(s);
       }},
      {"Geocache", kGreen, kCentre,
       [](Symbol& s) {
         s.Line(D, 1.4f, {{8, 7}, {8, 4.5f}, {12, 4.5f}, {12, 7}});
         s.Rect(C, 3.5f, 7, 16.5f, 16.5f);
         s.Line(D, 1, {{3.5f, 10.5f}, {16.5f, 10.5f}});
         s.Rect(L, 9, 9.5f, 11, 12);
       }},
      {"Buoy_cardinal", kRed, kCentre,
       [](Symbol& s) {
         s.Line(D, 1, {{10, 5}, {10, 9}});
         s.Polygon(D, {{10, 1.5f}, {12.8f, 5}, {7.2f, 5}});
         s.Polygon(D, {{7.2f, 5.8f}, {12.8f, 5.8f}, {10, 9}});
         s.Polygon(C, {{7.5f, 9}, {12.5f, 9}, {14, 16}, {6, 16}});
         s.Rect(D, 6.8f, 12, 13.2f, 13.5f);
         WaterLine(s);
       }},
      {"Person", kRed, kCentre,
       [](Symbol& s) {
         s.Disc(C, 10, 4.5f, 2.5f);
         s.Line(C, 3, {{10, 8}, {10, 12.5f}});
         s.Line(C, 2, {{5.5f, 11}, {10, 8.2f}, {14.5f, 11}});
         s.Line(C, 2.3f, {{6.5f, 18.5f}, {10, 12.5f}, {13.5f, 18.5f}});
       }},
      {"Pin", kRed, {10, 19},
       [](Symbol& s) {
         s.Disc(C, 10, 7, 5.5f);
         s.Polygon(C, {{5.2f, 9.7f}, {14.8f, 9.7f}, {10, 19}});
         s.Disc(L, 10, 7, 2.2f);
       }},
      {"Warning", kRed, kCentre,
       [](Symbol& s) {
         s.Polygon(C, {{10, 2}, {19, 18}, {1, 18}});
         s.Line(D, 2, {{10, 7.5f}, {10, 12.5f}});
         s.Disc(D, 10, 15.3f, 1.2f);
       }},
      {"X", kRed, kCentre,
       [](Symbol& s) { s.Line(C, 3.4f, {{4, 4}, {16, 16}}).Line(C, 3.4f, {{16, 4}, {4, 16}}); }},
      {"G_Pin", kRed, {4, 18},
       [](Symbol& s) {
         s.Line(D, 1.2f, {{10, 10}, {4, 18}});
         s.Polygon(C, {{8, 9.5f}, {12.5f, 6}, {14.5f, 12}});
         s.Oval(C, 13, 6.5f, 5, 3, -35);
         s.Oval(L, 13.8f, 5.6f, 1.8f, 1, -35);
       }},
      {"Foot", kRed, kCentre,
       [](Symbol& s) {
         s.Oval(C, 9.2f, 7.6f, 4.4f, 5.6f, 12);  // a boot print: sole and heel
         s.Oval(C, 11.4f, 16.4f, 3.5f, 2.5f, 12);
       }},
      {"Water", kRed, kCentre,
       [](Symbol& s) {
         std::vector<PointF> drop{{10, 2}};
         for (int i = 0; i <= 20; ++i) {
           const float a = -kPi / 5 + static_cast<float>(i) * (kPi + 2 * kPi / 5) / 20;
           drop.push_back({10 + 5.5f * std::cos(a), 12.5f + 5.5f * std::sin(a)});
         }
         s.Polygon(C, drop);
         s.Line(L, 1.2f, {{7.5f, 12}, {7.6f, 14}, {9, 15.6f}});
       }},
  };
}

// The own vessel: a ring in the vessel's colour round a white field with a dark centre dot, and
// cross hairs reaching out of the ring, upright or turned by 45 degrees.
Symbol GpsIcon(float turn_degrees) {
  Symbol s;
  s.Ring(C, 10, 10, 6, 2.4f);
  s.Disc(L, 10, 10, 4.8f);
  const float turn = turn_degrees * kPi / 180;
  for (int i = 0; i < 4; ++i) {
    const float a = turn + static_cast<float>(i) * kPi / 2;
    s.Line(C, 1.6f, {{10 + 7.5f * std::cos(a), 10 + 7.5f * std::sin(a)},
                     {10 + 9.5f * std::cos(a), 10 + 9.5f * std::sin(a)}});
    s.Line(D, 1.0f, {{10 + 2.2f * std::cos(a), 10 + 2.2f * std::sin(a)},
                     {10 + 4.2f * std::cos(a), 10 + 4.2f * std::sin(a)}});
  }
  s.Disc(D, 10, 10, 1.3f);
  return s;
}

// One image of the symbol at `scale` pixels per grid unit.
vd::ui::Image Render(int scale, const std::function<void(vd::ui::Graphics&)>& paint) {
  vd::ui::Image image(kGrid * scale, kGrid * scale, 0);
  vd::ui::Surface surface(image);
  vd::ui::Mapping mapping;
  mapping.viewport_extent = {scale, scale};
  surface.SetMapping(mapping);
  vd::ui::Graphics graphics(surface);
  paint(graphics);
  return image;
}

bool WriteImages(const std::string& folder, const std::string& name, const Symbol& symbol,
                 Argb colour) {
  for (int scale : {1, 2}) {
    const std::string base = folder + "/" + name + (scale == 2 ? "@2x" : "");
    const auto silhouette = [&](vd::ui::Graphics& g) { symbol.DrawSilhouette(g); };
    const auto layer = [&](vd::ui::Graphics& g) { symbol.DrawLayer(g, colour); };
    if (!Render(scale, silhouette).SavePng(base + ".png") ||
        !Render(scale, layer).SavePng(base + "_c.png")) {
      return false;
    }
  }
  return true;
}

bool WriteSymbol(const std::string& folder, const Definition& d) {
  Symbol symbol;
  d.draw(symbol);
  if (!WriteImages(folder, d.name, symbol, d.colour)) return false;
  char hot_spot[32];
  std::snprintf(hot_spot, sizeof hot_spot, "%d,%d\n", d.hot_spot.x, d.hot_spot.y);
  return vd::os::SaveFileAtomically(folder + "/" + d.name + "_xy.txt", hot_spot);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icons <output folder>\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const std::string folder = argv[1];
  if (!vd::os::MakeFolders(folder)) {
    std::fprintf(stderr, "make_icons: cannot create %s\n", folder.c_str());
    return 1;
  }
  for (const Definition& d : Definitions()) {
    if (!WriteSymbol(folder, d)) {
      std::fprintf(stderr, "make_icons: cannot write %s in %s\n", d.name, folder.c_str());
      return 1;
    }
  }
  if (!WriteImages(folder, "gps_icon1", GpsIcon(0), kRed) ||
      !WriteImages(folder, "gps_icon2", GpsIcon(45), kRed)) {
    std::fprintf(stderr, "make_icons: cannot write the GPS icons in %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
