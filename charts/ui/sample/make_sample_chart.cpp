// Writes the sample data that the programs open out of the box: a chart of a made-up mountain
// landscape placed over the Cairngorms in Scotland, and the matching elevation grid. The terrain
// is synthetic; the header texts say "Sample chart — not for navigation".
//
//   make_sample_chart <output folder>
//
// Files written (each atomically) into the folder:
//
// "Sample Chart.qct": a tiled chart of 40 x 30 tiles (2560 x 1920 pixels), north up, on WGS 84,
//   latitude 57.2 N down to 56.816 N and longitude 3.9 W to 2.95973 W (0.0002 degrees of
//   latitude per pixel, longitude per pixel the same divided by cos 57.008 degrees, so pixels
//   are about 22 m square). Hypsometric tints with hill shading, 50 m contours (every fifth
//   darker), a lake, a graticule every 5 minutes of arc, and labels.
//
// "Sample Chart.qed": the heights of that terrain as the chart's elevation file, which the
//   program opens with the chart (it lies beside it under the chart's name): a QED grid of
//   16 x 16 sample tiles, metres above sea level. Sample (i, j) is the height at chart pixel
//   (8 i, 8 j), so the first sample lies at the chart's top-left corner (57.2 N, 3.9 W); the
//   grid reaches past the chart's bottom-right corner (pixel 2560, 1920) to whole tiles. Grid
//   spacing: 0.0016 degrees of latitude by 0.0016 / cos 57.008 degrees of longitude.
//
// "Sample Track.nmea": a made-up flight across the chart for replaying as GPS input, one fix a
//   second: a GGA and then an RMC sentence (talker "GP", checksums, CR LF) per second from
//   10:00:00 UTC on 1 June 2024, about a quarter of an hour in all. It enters near the chart's
//   west edge, weaves east-south-east and leaves near the east edge, at 140 knots and a steady
//   altitude at least 300 m above the highest ground under it.
#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "charts/elevation_file.h"
#include "charts/qct_file_view.h"
#include "charts/qct_writer.h"
#include "charts/quick_chart_header.h"
#include "charts/tile_codec.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

constexpr int kTilesAcross = 40;
constexpr int kTilesDown = 30;
constexpr int kWidth = kTilesAcross * kTileSide;
constexpr int kHeight = kTilesDown * kTileSide;
constexpr double kNorth = 57.2;
constexpr double kWest = -3.9;
constexpr double kDegreesLatPerPixel = 0.0002;
constexpr double kMidLatitude = kNorth - kHeight / 2.0 * kDegreesLatPerPixel;
const double kDegreesLonPerPixel =
    kDegreesLatPerPixel / std::cos(kMidLatitude * std::numbers::pi / 180);
constexpr double kMetresPerPixel = kDegreesLatPerPixel * 111320;
constexpr int kElevationStep = 8;  // chart pixels between elevation samples

constexpr double kLakeLevel = 300;         // metres; lower ground is water
constexpr double kContourInterval = 50;    // metres
constexpr int kIndexContourEvery = 5;      // every fifth contour is drawn darker
constexpr double kGraticuleDegrees = 5.0 / 60;

// Palette indices.
enum : uint8_t {
  kBlack = 0,
  kWhite = 1,  // also what a reader shows outside the chart
  kContour = 2,
  kIndexContour = 3,
  kGraticule = 4,
  kWater = 5,
  kWaterText = 6,
  kPeakRed = 7,
  kFirstTint = 16,
};
constexpr int kTintBands = 16;
constexpr int kShadeLevels = 6;
constexpr int kGreyRampFirst = kFirstTint + kTintBands * kShadeLevels;  // to 127

struct Rgb {
  double r, g, b;
};

// Colours from low ground to the summits.
constexpr std::array<std::pair<double, Rgb>, 6> kTintStops = {{
    {0.00, {150, 196, 140}},
    {0.30, {205, 218, 155}},
    {0.55, {232, 212, 160}},
    {0.75, {200, 165, 125}},
    {0.90, {180, 176, 170}},
    {1.00, {246, 246, 246}},
}};
constexpr double kLowestTint = kLakeLevel;
constexpr double kHighestTint = 1300;

uint32_t HashCorner(int x, int y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

// Smooth value noise in 0..1 on a unit lattice.
double ValueNoise(double x, double y, uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const int ix = int(fx), iy = int(fy);
  const auto smooth = [](double t) { return t * t * (3 - 2 * t); };
  const double tx = smooth(x - fx), ty = smooth(y - fy);
  const auto corner = [&](int dx, int dy) {
    return (HashCorner(ix + dx, iy + dy, seed) & 0xFFFFFF) / double(0xFFFFFF);
  };
  const double top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * tx;
  const double bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * tx;
  return top + (bottom - top) * ty;
}

// The next octave's coordinates: finer, and turned so that the lattice leaves no grain.
void NextOctave(double& x, double& y, double scale) {
  constexpr double c = 0.8, s = 0.6;  // about 37 degrees
  const double turned_x = (x * c - y * s) * scale;
  y = (x * s + y * c) * scale;
  x = turned_x;
}

// Rolling ground: octaves of value noise, 0..1.
double Rolling(double x, double y) {
  double sum = 0, amplitude = 0.5, norm = 0;
  for (int octave = 0; octave < 4; ++octave) {
    sum += amplitude * ValueNoise(x, y, 11 + octave);
    norm += amplitude;
    NextOctave(x, y, 2.03);
    amplitude *= 0.5;
  }
  return sum / norm;
}

// Sharp crests: ridged octaves, 0..1.
double Ridges(double x, double y) {
  double sum = 0, amplitude = 0.55, norm = 0, weight = 1;
  for (int octave = 0; octave < 6; ++octave) {
    double n = 1 - std::abs(2 * ValueNoise(x, y, 101 + octave) - 1);
    n *= n * weight;
    weight = std::clamp(n * 1.6, 0.0, 1.0);
    sum += amplitude * n;
    norm += amplitude;
    NextOctave(x, y, 2.1);
    amplitude *= 0.5;
  }
  return sum / norm;
}

// Terrain height in metres at a chart pixel: a massif in the west falling to a broad valley
// in the east.
double Height(double px, double py) {
  const double u = px / kWidth, v = py / kHeight;
  const double massif = std::clamp(1.25 - 1.1 * u + 0.25 * std::sin(3.1 * v + 0.4), 0.15, 1.0);
  const double rolling = Rolling(px / 700, py / 700);
  const double ridges = Ridges(px / 420 + 3.7, py / 420 + 1.3);
  return 180 + 330 * rolling + 1050 * massif * ridges * (0.45 + rolling);
}

Rgb TintAt(double t) {
  t = std::clamp(t, 0.0, 1.0);
  for (size_t i = 1; i < kTintStops.size(); ++i) {
    const auto& [t1, c1] = kTintStops[i];
    const auto& [t0, c0] = kTintStops[i - 1];
    if (t <= t1) {
      const double f = (t - t0) / (t1 - t0);
      return {c0.r + (c1.r - c0.r) * f, c0.g + (c1.g - c0.g) * f, c0.b + (c1.b - c0.b) * f};
    }
  }
  return kTintStops.back().second;
}

using Palette = std::array<Rgb, kQctColours>;

Palette MakePalette() {
  Palette p{};
  p.fill({128, 128, 128});
  p[kBlack] = {0, 0, 0};
  p[kWhite] = {255, 255, 255};
  p[kContour] = {168, 110, 60};
  p[kIndexContour] = {120, 72, 32};
  p[kGraticule] = {50, 60, 150};
  p[kWater] = {160, 200, 235};
  p[kWaterText] = {25, 75, 160};
  p[kPeakRed] = {200, 30, 30};
  for (int band = 0; band < kTintBands; ++band) {
    const Rgb base = TintAt((band + 0.5) / kTintBands);
    for (int shade = 0; shade < kShadeLevels; ++shade) {
      const double f = 0.72 + 0.12 * shade;  // shadowed to lit
      p[kFirstTint + band * kShadeLevels + shade] = {std::min(255.0, base.r * f),
                                                     std::min(255.0, base.g * f),
                                                     std::min(255.0, base.b * f)};
    }
  }
  for (int i = kGreyRampFirst; i < kQctColours; ++i) {
    const double grey = 255.0 * (i - kGreyRampFirst) / (kQctColours - 1 - kGreyRampFirst);
    p[i] = {grey, grey, grey};
  }
  return p;
}

uint8_t Nearest(const Palette& palette, Rgb c, int first = 0, int last = kQctColours - 1) {
  int best = first;
  double best_distance = 1e300;
  for (int i = first; i <= last; ++i) {
    const double dr = palette[i].r - c.r, dg = palette[i].g - c.g, db = palette[i].b - c.b;
    const double d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return uint8_t(best);
}

// Chart pixels as palette indices, top row first.
struct IndexImage {
  std::vector<uint8_t> pixels = std::vector<uint8_t>(size_t(kWidth) * kHeight);
  uint8_t& at(int x, int y) { return pixels[size_t(y) * kWidth + size_t(x)]; }
};

std::vector<float> TerrainHeights() {
  std::vector<float> heights(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) heights[size_t(y) * kWidth + x] = float(Height(x, y));
  }
  return heights;
}

// Tints, hill shading, water and contours.
void PaintTerrain(const std::vector<float>& heights, IndexImage& image) {
  const auto h = [&](int x, int y) {
    x = std::clamp(x, 0, kWidth - 1);
    y = std::clamp(y, 0, kHeight - 1);
    return double(heights[size_t(y) * kWidth + x]);
  };
  // Light from the north-west, 45 degrees up.
  const double lx = -1, ly = -1, lz = std::sqrt(2.0), ll = std::sqrt(lx * lx + ly * ly + lz * lz);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double here = h(x, y);
      if (here < kLakeLevel) {
        image.at(x, y) = kWater;
        continue;
      }
      const int contour = int(here / kContourInterval);
      const int right = int(h(x + 1, y) / kContourInterval);
      const int below = int(h(x, y + 1) / kContourInterval);
      if ((right != contour || below != contour) && h(x + 1, y) >= kLakeLevel &&
          h(x, y + 1) >= kLakeLevel) {
        const int crossed = std::max({contour, right, below});
        image.at(x, y) = crossed % kIndexContourEvery == 0 ? kIndexContour : kContour;
        continue;
      }
      const double dzdx = (h(x + 1, y) - h(x - 1, y)) / (2 * kMetresPerPixel);
      const double dzdy = (h(x, y + 1) - h(x, y - 1)) / (2 * kMetresPerPixel);
      const double light =
          (-dzdx * lx - dzdy * ly + lz) / (std::sqrt(dzdx * dzdx + dzdy * dzdy + 1) * ll);
      const int shade = std::clamp(int((light - 0.35) / 0.65 * kShadeLevels), 0, kShadeLevels - 1);
      const int band = std::clamp(
          int((here - kLowestTint) / (kHighestTint - kLowestTint) * kTintBands), 0, kTintBands - 1);
      image.at(x, y) = uint8_t(kFirstTint + band * kShadeLevels + shade);
    }
  }
}

double PixelY(double lat) { return (kNorth - lat) / kDegreesLatPerPixel; }
double PixelX(double lon) { return (lon - kWest) / kDegreesLonPerPixel; }

void PaintGraticule(IndexImage& image) {
  const double south = kNorth - kHeight * kDegreesLatPerPixel;
  for (double lat = std::ceil(south / kGraticuleDegrees) * kGraticuleDegrees; lat < kNorth;
       lat += kGraticuleDegrees) {
    const int y = int(std::lround(PixelY(lat)));
    if (y >= 0 && y < kHeight) std::fill_n(&image.at(0, y), kWidth, kGraticule);
  }
  const double east = kWest + kWidth * kDegreesLonPerPixel;
  for (double lon = std::ceil(kWest / kGraticuleDegrees) * kGraticuleDegrees; lon < east;
       lon += kGraticuleDegrees) {
    const int x = int(std::lround(PixelX(lon)));
    if (x < 0 || x >= kWidth) continue;
    for (int y = 0; y < kHeight; ++y) image.at(x, y) = kGraticule;
  }
}

// "57°10'N" or "3°45'W": whole minutes.
std::string AngleText(double degrees, char positive, char negative) {
  const int minutes = int(std::lround(std::abs(degrees) * 60));
  return vd::os::FormatC("%d\u00B0%02d'%c", minutes / 60, minutes % 60,
                         degrees >= 0 ? positive : negative);
}

struct Peak {
  int x, y;
  double height;
};

// The highest points, each at least `spacing` pixels from a higher one.
std::vector<Peak> FindPeaks(const std::vector<float>& heights, size_t count, int spacing) {
  std::vector<Peak> candidates;
  const int step = 16;
  for (int y = 40; y < kHeight - 120; y += step) {  // clear of the banner
    for (int x = 40; x < kWidth - 140; x += step) {
      candidates.push_back({x, y, heights[size_t(y) * kWidth + x]});
    }
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Peak& a, const Peak& b) { return a.height > b.height; });
  std::vector<Peak> peaks;
  for (const Peak& c : candidates) {
    const bool apart = std::all_of(peaks.begin(), peaks.end(), [&](const Peak& p) {
      return std::hypot(p.x - c.x, p.y - c.y) >= spacing;
    });
    if (apart) peaks.push_back(c);
    if (peaks.size() == count) break;
  }
  return peaks;
}

// Labels drawn with the painting surface onto a transparent layer, then laid into the chart
// as the nearest of the text colours.
void PaintLabels(const std::vector<float>& heights, const Palette& palette, IndexImage& image) {
  vd::ui::Image layer(kWidth, kHeight, 0x00000000);
  {
    vd::ui::Surface surface(layer);
    surface.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);
    const auto text = [&](vd::ui::Point p, const std::string& s, vd::ui::ColourRef colour,
                          unsigned align) {
      surface.SetTextAlign(align);
      surface.SetTextColour(0xFFFFFF);  // a white halo keeps the text readable on any tint
      for (int dx = -2; dx <= 2; dx += 2) {
        for (int dy = -2; dy <= 2; dy += 2) surface.TextOut({p.x + dx, p.y + dy}, s);
      }
      surface.SetTextColour(colour);
      surface.TextOut(p, s);
    };
    const vd::ui::ColourRef black = 0x000000;
    const vd::ui::ColourRef water_text = vd::ui::MakeColourRef(25, 75, 160);
    const vd::ui::ColourRef red = vd::ui::MakeColourRef(200, 30, 30);

    surface.SelectFont({.face = "Arial", .height = -22});
    const double south = kNorth - kHeight * kDegreesLatPerPixel;
    for (double lat = std::ceil(south / kGraticuleDegrees) * kGraticuleDegrees; lat < kNorth;
         lat += kGraticuleDegrees) {
      text({6, int(std::lround(PixelY(lat))) - 4}, AngleText(lat, 'N', 'S'), black,
           vd::ui::kTextAlignLeft | vd::ui::kTextAlignBottom);
    }
    const double east = kWest + kWidth * kDegreesLonPerPixel;
    for (double lon = std::ceil(kWest / kGraticuleDegrees) * kGraticuleDegrees; lon < east;
         lon += kGraticuleDegrees) {
      text({int(std::lround(PixelX(lon))) + 5, 6}, AngleText(lon, 'E', 'W'), black,
           vd::ui::kTextAlignLeft | vd::ui::kTextAlignTop);
    }

    surface.SelectFont({.face = "Arial", .height = -26, .weight = vd::ui::kFontWeightBold});
    const std::vector<Peak> peaks = FindPeaks(heights, 4, 500);
    for (size_t i = 0; i < peaks.size(); ++i) {
      const Peak& p = peaks[i];
      const char* name = i == 0 ? "Summit" : "Top";
      surface.SelectPen({.width = 0, .colour = red});
      surface.SelectBrush(vd::ui::Brush::Solid(red));
      const vd::ui::Point triangle[] = {{p.x, p.y - 9}, {p.x - 8, p.y + 6}, {p.x + 8, p.y + 6}};
      surface.Polygon(triangle);
      text({p.x + 12, p.y}, vd::os::FormatC("%s %d m", name, int(p.height)), black,
           vd::ui::kTextAlignLeft | vd::ui::kTextAlignBottom);
    }

    // The lake's name at the middle of its largest stretch of open water.
    long sum_x = 0, sum_y = 0, count = 0;
    for (int y = 0; y < kHeight; y += 4) {
      for (int x = 0; x < kWidth; x += 4) {
        if (heights[size_t(y) * kWidth + x] < kLakeLevel) {
          sum_x += x;
          sum_y += y;
          ++count;
        }
      }
    }
    surface.SelectFont({.face = "Arial", .height = -28, .italic = true});
    if (count > 0) {
      text({int(sum_x / count), int(sum_y / count)}, "Sample Water", water_text,
           vd::ui::kTextAlignCenter | vd::ui::kTextAlignBaseline);
    }

    surface.SelectFont({.face = "Arial", .height = -30, .weight = vd::ui::kFontWeightBold});
    const vd::ui::Rect banner = {20, kHeight - 70, 560, kHeight - 20};
    surface.SelectPen({.width = 2, .colour = black});
    surface.SelectBrush(vd::ui::Brush::Solid(0xFFFFFF));
    surface.Rectangle(banner);
    surface.SetTextColour(black);
    surface.SetTextAlign(vd::ui::kTextAlignCenter | vd::ui::kTextAlignBaseline);
    surface.TextOut({(banner.left + banner.right) / 2, banner.bottom - 15},
                    "Sample chart \u2014 not for navigation");
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const vd::ui::Argb c = layer.Pixel(x, y);
      if (vd::ui::ArgbAlpha(c) < 128) continue;
      const Rgb rgb{double(vd::ui::ArgbRed(c)), double(vd::ui::ArgbGreen(c)),
                    double(vd::ui::ArgbBlue(c))};
      image.at(x, y) = Nearest(palette, rgb, kBlack, kPeakRed);
    }
  }
}

std::array<uint8_t, kQctBlendTableSize> MakeBlendTable(const Palette& palette) {
  std::array<uint8_t, kQctBlendTableSize> blend{};
  for (int a = 0; a < kQctColours; ++a) {
    for (int b = 0; b < kQctColours; ++b) {
      const Rgb mix{(palette[a].r + palette[b].r) / 2, (palette[a].g + palette[b].g) / 2,
                    (palette[a].b + palette[b].b) / 2};
      blend[size_t(a * kQctColours + b)] = Nearest(palette, mix);
    }
  }
  return blend;
}

template <class T>
std::span<const uint8_t> BytesOf(const T& value) {
  return std::span(reinterpret_cast<const uint8_t*>(&value), sizeof value);
}

bool WriteChart(const std::string& path, const IndexImage& image, const Palette& palette) {
  vd::os::AtomicFileWriter file;
  if (!file.Open(path)) return false;
  QctWriter out(file.file());

  QuickChartHeader header;
  header.version = 4;
  header.width = kTilesAcross;
  header.height = kTilesDown;
  GeorefPolynomial& g = header.georef;
  g.forward.first = {-kWest / kDegreesLonPerPixel, 0, 1 / kDegreesLonPerPixel};
  g.forward.second = {kNorth / kDegreesLatPerPixel, -1 / kDegreesLatPerPixel, 0};
  g.inverse.first = {kNorth, 0, -kDegreesLatPerPixel};
  g.inverse.second = {kWest, kDegreesLonPerPixel, 0};
  for (int i = 0; i < kQctColours; ++i) {
    header.palette[size_t(4 * i)] = uint8_t(std::lround(palette[i].b));
    header.palette[size_t(4 * i + 1)] = uint8_t(std::lround(palette[i].g));
    header.palette[size_t(4 * i + 2)] = uint8_t(std::lround(palette[i].r));
  }
  header.blend = MakeBlendTable(palette);

  out.AppendZeros(kQctHeaderSize);
  std::vector<uint32_t> index(size_t(kTilesAcross) * kTilesDown);
  out.AppendZeros(4 * index.size());
  QuickChartExtension extension;
  header.extension = out.AppendZeros(kQctExtensionSize);

  const std::pair<QctTextField, const char*> texts[] = {
      {kQctTitle, "Sample chart of a mountain area (synthetic terrain) \u2014 not for navigation"},
      {kQctName, "Sample Chart \u2014 not for navigation"},
      {kQctIdentifier, "SAMPLE-1"},
      {kQctEdition, "1"},
      {kQctCopyright, "Sample data made up by make_sample_chart \u2014 not for navigation"},
      {kQctScale, "1:80 000"},
      {kQctDatum, "WGS 84"},
      {kQctHeightUnits, "Metres"},
      {kQctProjection, "Geographic (latitude/longitude)"},
  };
  for (const auto& [field, text] : texts) header.SetTextOffset(field, QctAppendString(text, out));
  extension.map_type = QctAppendString("Topographic sample", out);
  // The chart is drawn on WGS 84 itself: its shift to WGS 84 is known, and nothing.
  out.Align8();
  extension.datum_shift = out.AppendZeros(sizeof(QctDatumShift));

  std::array<uint8_t, kTilePixels> image_rows;
  std::array<uint8_t, kTilePixels> stored;
  for (int row = 0; row < kTilesDown; ++row) {
    for (int col = 0; col < kTilesAcross; ++col) {
      for (int y = 0; y < kTileSide; ++y) {
        const uint8_t* src =
            image.pixels.data() + size_t(row * kTileSide + y) * kWidth + size_t(col) * kTileSide;
        std::copy_n(src, kTileSide, image_rows.begin() + y * kTileSide);
      }
      ReorderTileRows(image_rows, stored);
      index[size_t(row) * kTilesAcross + size_t(col)] = out.AppendTile(stored);
    }
  }
  out.PadToWord();
  const uint64_t required = *QctFileView::RequiredTiledSize(header.width, header.height);
  if (out.position() < required) out.AppendZeros(size_t(required - out.position()));
  out.WriteAt(0, header.Bytes());
  out.WriteAt(kQctHeaderSize, std::span(reinterpret_cast<const uint8_t*>(index.data()),
                                        index.size() * sizeof(uint32_t)));
  out.WriteAt(header.extension, extension.Bytes());
  return out.ok() && file.Commit();
}

// ---- The sample track ----

constexpr double kTrackKnots = 140;
constexpr double kMetresPerKnotSecond = 1852.0 / 3600;
constexpr double kTrackClearance = 300;  // metres above the highest ground under the track
constexpr int kTrackStartSecond = 10 * 3600;  // of the day below, UTC
constexpr char kTrackDate[] = "010624";       // ddmmyy

struct TrackPoint {
  double x, y;  // chart pixels
};

// The flight's line at t from 0 to 1: west to east, weaving across the valley.
TrackPoint TrackLine(double t) {
  return {60 + 2440 * t, 300 + 1350 * t + 180 * std::sin(3 * std::numbers::pi * t)};
}

// Points along the line, one second of flight apart.
std::vector<TrackPoint> TrackPoints() {
  const double step = kTrackKnots * kMetresPerKnotSecond / kMetresPerPixel;
  constexpr int kPieces = 100000;  // straight pieces of the line, each far shorter than a step
  std::vector<TrackPoint> points{TrackLine(0)};
  double to_next = step;  // along the line from the start of the piece to the next point
  TrackPoint previous = points.front();
  for (int i = 1; i <= kPieces; ++i) {
    const TrackPoint here = TrackLine(double(i) / kPieces);
    const double length = std::hypot(here.x - previous.x, here.y - previous.y);
    if (length >= to_next) {
      const double f = to_next / length;
      points.push_back(
          {previous.x + (here.x - previous.x) * f, previous.y + (here.y - previous.y) * f});
      to_next += step;
    }
    to_next -= length;
    previous = here;
  }
  return points;
}

// "ddmm.mmmm,N" or "dddmm.mmmm,W": whole ten-thousandths of a minute, so that the minutes
// never round up to 60.
std::string NmeaAngle(double degrees, int degree_digits, char positive, char negative) {
  const long long units = std::llround(std::abs(degrees) * 60 * 10000);
  return vd::os::FormatC("%0*lld%02lld.%04lld,%c", degree_digits, units / 600000,
                         units % 600000 / 10000, units % 10000, degrees >= 0 ? positive : negative);
}

// The sentence with "$", its checksum and the line end.
std::string NmeaSentence(const std::string& body) {
  uint8_t sum = 0;
  for (char c : body) sum ^= uint8_t(c);
  return "$" + body + vd::os::FormatC("*%02X\r\n", sum);
}

bool WriteTrack(const std::string& path, const std::vector<float>& heights) {
  const std::vector<TrackPoint> points = TrackPoints();
  double highest = 0;
  for (const TrackPoint& p : points) {
    const int x = std::clamp(int(p.x), 0, kWidth - 1), y = std::clamp(int(p.y), 0, kHeight - 1);
    highest = std::max(highest, double(heights[size_t(y) * kWidth + x]));
  }
  const double altitude = std::ceil((highest + kTrackClearance) / 50) * 50;
  std::string text;
  for (size_t i = 0; i < points.size(); ++i) {
    const TrackPoint& p = points[i];
    // The course of the step to the next point (the last point keeps the one before). Pixels
    // are square and the chart north up, so it follows from the pixel steps.
    const size_t from = i + 1 < points.size() ? i : i - 1;
    const TrackPoint& a = points[from];
    const TrackPoint& b = points[from + 1];
    double course = std::atan2(b.x - a.x, a.y - b.y) * 180 / std::numbers::pi;
    if (course < 0) course += 360;
    const std::string position = NmeaAngle(kNorth - p.y * kDegreesLatPerPixel, 2, 'N', 'S') + "," +
                                 NmeaAngle(kWest + p.x * kDegreesLonPerPixel, 3, 'E', 'W');
    const int second = kTrackStartSecond + int(i);
    const std::string time =
        vd::os::FormatC("%02d%02d%02d.00", second / 3600, second / 60 % 60, second % 60);
    text += NmeaSentence("GPGGA," + time + "," + position +
                         vd::os::FormatC(",1,08,0.9,%.1f,M,50.0,M,,", altitude));
    text += NmeaSentence("GPRMC," + time + ",A," + position +
                         vd::os::FormatC(",%.1f,%.1f,", kTrackKnots, course) + kTrackDate +
                         ",,,A");
  }
  return vd::os::SaveFileAtomically(path, text);
}

// One QED tile: the bit width that holds every sample above the tile's lowest, the lowest as
// int16, then the samples row by row, each that many bits, least significant bit first.
std::string QedTile(const std::vector<int>& samples) {
  const int base = *std::min_element(samples.begin(), samples.end());
  const int span = *std::max_element(samples.begin(), samples.end()) - base;
  int bits = 0;
  while ((1 << bits) <= span) ++bits;
  std::string tile(3 + (size_t(bits) * samples.size() + 7) / 8, '\0');
  tile[0] = char(bits);
  tile[1] = char(uint16_t(base) & 0xFF);
  tile[2] = char(uint16_t(base) >> 8);
  for (size_t i = 0; i < samples.size(); ++i) {
    const uint32_t field = uint32_t(samples[i] - base);
    for (int b = 0; b < bits; ++b) {
      if (field & (1u << b)) {
        const size_t bit = i * size_t(bits) + size_t(b);
        tile[3 + bit / 8] = char(tile[3 + bit / 8] | (1 << (bit % 8)));
      }
    }
  }
  return tile;
}

bool WriteElevation(const std::string& path) {
  constexpr int kQedTile = 16;
  const int samples_across = kWidth / kElevationStep + 1;
  const int samples_down = kHeight / kElevationStep + 1;
  QedHeader header;
  header.tile_size = kQedTile;
  header.columns = (samples_across + kQedTile - 1) / kQedTile;
  header.rows = (samples_down + kQedTile - 1) / kQedTile;
  const double cell_lat = kDegreesLatPerPixel * kElevationStep;
  const double cell_lon = kDegreesLonPerPixel * kElevationStep;
  GeorefPolynomial& g = header.georef;
  g.forward.first = {-kWest / cell_lon, 0, 1 / cell_lon};
  g.forward.second = {kNorth / cell_lat, -1 / cell_lat, 0};
  g.inverse.first = {kNorth, 0, -cell_lat};
  g.inverse.second = {kWest, cell_lon, 0};

  const size_t tiles = size_t(header.rows) * size_t(header.columns);
  std::string bytes(reinterpret_cast<const char*>(&header), kQedHeaderSize);
  bytes.resize(kQedHeaderSize + 4 * tiles);
  std::vector<int> samples(size_t(kQedTile) * kQedTile);
  for (size_t t = 0; t < tiles; ++t) {
    const int column = int(t % size_t(header.columns));
    const int row = int(t / size_t(header.columns));
    for (int r = 0; r < kQedTile; ++r) {
      for (int c = 0; c < kQedTile; ++c) {
        const int i = column * kQedTile + c;
        const int j = row * kQedTile + r;
        samples[size_t(r) * kQedTile + c] =
            int(std::lround(Height(i * kElevationStep, j * kElevationStep)));
      }
    }
    const uint32_t offset = uint32_t(bytes.size());
    std::memcpy(bytes.data() + kQedHeaderSize + 4 * t, &offset, 4);
    bytes += QedTile(samples);
  }
  return vd::os::SaveFileAtomically(path, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_chart <output folder>\n");
    return 2;
  }
  // Fonts need the GUI toolkit, never a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const std::string folder = argv[1];
  if (!vd::os::MakeFolders(folder)) {
    std::fprintf(stderr, "make_sample_chart: can't create %s\n", folder.c_str());
    return 1;
  }
  const Palette palette = MakePalette();
  const std::vector<float> heights = TerrainHeights();
  IndexImage image;
  PaintTerrain(heights, image);
  PaintGraticule(image);
  PaintLabels(heights, palette, image);
  if (!WriteChart(folder + "/Sample Chart.qct", image, palette) ||
      !WriteElevation(folder + "/Sample Chart.qed") ||
      !WriteTrack(folder + "/Sample Track.nmea", heights)) {
    std::fprintf(stderr, "make_sample_chart: can't write into %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
