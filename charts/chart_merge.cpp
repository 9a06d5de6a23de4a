#include "charts/chart_merge.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <numeric>
#include <tuple>

#include "charts/old_quick_chart.h"
#include "charts/qct_file_view.h"
#include "charts/qct_writer.h"
#include "core/string_utils.h"
#include "geodesy/georef_fitter.h"
#include "geodesy/local_projection.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kColours = kQctColours;
constexpr int kBlock = 256;              // base pixels of a merge block
constexpr int kBlockTiles = kBlock / kTileSide;
// A source box read for one block: up to twice the block (the scale limit) turned by any angle,
// with the margins.
constexpr int kMaxSourceBox = 4 * kBlock + 4;
constexpr size_t kMaxOpenSources = 10;
constexpr int kNewestTiledVersion = 5;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int kBlendAddLimit = 50;
constexpr int kBlendSecondLimit = 500;
constexpr float kLowestScaleRatio = 0.5001f;
constexpr float kHighestScaleRatio = 1.9999f;
constexpr double kFarAway = 1e10;
constexpr char kMergingText[] = "Merging Maps...";

int ColourDistance(uint32_t a, uint32_t b) {
  int sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
    sum += d * d;
  }
  return sum;
}

// The first entry of least distance to `colour` among palette[0..size).
int Nearest(const uint32_t* palette, int size, uint32_t colour, int& distance) {
  int best = 0;
  distance = std::numeric_limits<int>::max();
  for (int i = 0; i < size; ++i) {
    const int d = ColourDistance(palette[i], colour);
    if (d < distance) {
      distance = d;
      best = i;
    }
  }
  return best;
}

uint32_t PaletteColour(std::span<const uint8_t, kQctPaletteSize> palette, int i) {
  const uint8_t* q = palette.data() + 4 * i;  // blue, green, red, 0
  return uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

std::array<PlanePoint, 4> Corners(double x, double y, double side) {
  return {PlanePoint{x, y}, {x + side, y}, {x, y + side}, {x + side, y + side}};
}

// The text fields of the merged chart, from the base's file.
void MergeHeaderStrings(const QctFileView& base, const QuickChartHeader& base_header,
                        const QuickChartExtension& base_extension, const std::string* name,
                        QuickChartHeader& header, QuickChartExtension& extension,
                        QctWriter& writer) {
  const auto text = [&](QctTextField field) { return base.HeaderText(base_header, field); };
  const auto store = [&writer](const std::string& value) {
    return EqualsNoCase(value, "none") ? 0u : QctAppendString(value, writer);
  };
  header.SetTextOffset(kQctName, store(name ? *name : "Merged " + text(kQctScale)));
  for (QctTextField field : {kQctTitle, kQctEdition, kQctUpdate, kQctCopyright, kQctScale,
                             kQctDatum, kQctDepthUnits, kQctHeightUnits, kQctProjection}) {
    header.SetTextOffset(field, store(text(field)));
  }
  // Only the ending of the base's original file name is kept.
  const std::string original = text(kQctOriginalName);
  const size_t dot = original.rfind('.');
  const std::string ending = dot != std::string::npos ? original.substr(dot)
                             : original.size() < 3    ? std::string(".qct")
                                                      : "." + original.substr(original.size() - 3);
  header.SetTextOffset(kQctOriginalName, store(ending));
  extension.map_type = store(base.Text(base_extension.map_type));
  if (const std::optional<QctDatumShift> shift = base.ReadDatumShift(base_extension)) {
    writer.Align8();
    extension.datum_shift =
        writer.Append(std::span(reinterpret_cast<const uint8_t*>(&*shift), sizeof *shift));
  }
  extension.reserved_text = store(base.Text(base_extension.reserved_text));
  extension.reserved1 = base_extension.reserved1;
  extension.reserved2 = base_header.version > 3 ? 0 : base_extension.reserved2;
  header.flags = base_header.flags | kQctFlagMerged;
}

}  // namespace

MergeSource::MergeSource() = default;
MergeSource::~MergeSource() = default;
MergeSource::MergeSource(MergeSource&&) noexcept = default;
MergeSource& MergeSource::operator=(MergeSource&&) noexcept = default;

bool MergeSource::Contains(double lat, double lon) const {
  if (!pixel_mode) return PointInPolygon(lat, lon, outline);
  const auto [x, y] = header.georef.LatLonToPixel(lat, lon, centre_lon);
  return PointInPolygon(std::round(x), std::round(y), pixel_outline);
}

bool MergeSourceLoad(const std::string& path, MergeSource& source, const ChartFileTask& task) {
  vd::os::MappedFile mapping;
  QctFileView file;
  QuickChartHeader& header = source.header;
  if (!mapping.Open(path) ||
      !(file = QctFileView({mapping.data(), mapping.size()})).ReadHeader(header) ||
      !IsQctMagic(header.magic)) {
    task.Error(vd::os::FormatC("Not a QuickChart file: \"%s\"", path.c_str()));
    return false;
  }
  if (header.version > uint32_t(kNewestTiledVersion) || !file.HoldsTileIndex(header)) {
    task.Error(vd::os::FormatC("%s is an incompatible version (%d)", path.c_str(),
                               int(header.version)));
    return false;
  }
  source.path = path;
  source.extension = file.ReadExtension(header).value_or(QuickChartExtension{});
  source.depth_units = file.HeaderText(header, kQctDepthUnits);
  source.map_type = file.Text(source.extension.map_type);
  source.shift = file.ReadDatumShift(source.extension).value_or(QctDatumShift{});
  const double width = header.width * double(kTileSide);
  const double height = header.height * double(kTileSide);
  source.centre_lon = EvalCubicPolynomial2D(header.georef.inverse, width / 2, height / 2).second;
  std::vector<GeoPoint> points = file.ReadOutline(header).value_or(std::vector<GeoPoint>{});
  if (points.empty()) {
    // No outline: the chart's rectangle is its outline.
    for (auto [x, y] : {std::pair{0.0, 0.0}, {width, 0.0}, {width, height}, {0.0, height}}) {
      GeoPoint p;
      std::tie(p.lat, p.lon) = EvalCubicPolynomial2D(header.georef.inverse, x, y);
      points.push_back(p);
    }
  }
  source.pixel_mode = (header.flags & kQctFlagOwnOutline) != 0;
  source.outline.clear();
  source.pixel_outline.clear();
  for (const GeoPoint& p : points) {
    const double lon = WrapLongitudeTowards(p.lon, source.centre_lon);
    source.outline.push_back({p.lat + source.shift.lat, lon + source.shift.lon});
    if (source.pixel_mode) {
      const auto [x, y] = header.georef.LatLonToPixel(p.lat, p.lon, source.centre_lon);
      source.pixel_outline.push_back({std::round(x), std::round(y)});
    }
  }
  return true;
}

int ReducePalette(uint32_t* colours, int count, uint8_t* map, int maximum,
                  const uint32_t* weights) {
  const int limit = std::min(maximum, 256);
  std::vector<uint32_t> palette = {kBlack, kWhite};
  std::vector<int> distance(size_t(std::max(count, 0)));
  const auto update = [&] {
    for (int i = 0; i < count; ++i) {
      distance[size_t(i)] = palette.size() == 2
                                ? std::min(ColourDistance(colours[i], kBlack),
                                           ColourDistance(colours[i], kWhite))
                                : std::min(distance[size_t(i)],
                                           ColourDistance(colours[i], palette.back()));
    }
  };
  update();
  if (weights) {
    std::vector<int> order(size_t(std::max(count, 0)));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [weights](int a, int b) { return weights[a] > weights[b]; });
    for (int i : order) {
      if (int(palette.size()) >= limit / 2) break;
      if (distance[size_t(i)] > 0) {
        palette.push_back(colours[i]);
        update();
      }
    }
  }
  while (int(palette.size()) < std::min(limit, count)) {
    const auto farthest = std::max_element(distance.begin(), distance.end());
    if (farthest == distance.end() || *farthest == 0) break;
    palette.push_back(colours[farthest - distance.begin()]);
    update();
  }
  for (int i = 0; i < count; ++i) {
    int d;
    map[i] = uint8_t(Nearest(palette.data(), int(palette.size()), colours[i], d));
  }
  for (int i = 0; i < count; ++i) colours[i] = size_t(i) < palette.size() ? palette[size_t(i)] : 0;
  return int(palette.size());
}

void BuildBlendTable(std::span<uint32_t, 128> palette,
                     std::span<uint8_t, kQctBlendTableSize> table) {
  int n = 1;
  for (int i = kColours - 1; i > 0; --i) {
    if (palette[size_t(i)] != 0) {
      n = i + 1;
      break;
    }
  }
  int size = n;
  const auto blend = [&](int k, int l, int threshold) {
    uint32_t mix = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t a = (palette[size_t(k)] >> shift) & 0xFF;
      const uint32_t b = (palette[size_t(l)] >> shift) & 0xFF;
      mix |= ((a + b) / 2) << shift;
    }
    int distance;
    int entry = Nearest(palette.data(), size, mix, distance);
    if (distance >= threshold && size < kColours) {
      palette[size_t(size)] = mix;
      entry = size++;
    }
    table[size_t(k) * kColours + size_t(l)] = uint8_t(entry);
    table[size_t(l) * kColours + size_t(k)] = uint8_t(entry);
  };
  for (int k = 0; k < n; ++k) {
    for (int l = 0; l <= k; ++l) blend(k, l, kBlendAddLimit);
  }
  for (int k = n; k < size; ++k) {
    for (int l = 0; l <= k; ++l) blend(k, l, kBlendSecondLimit);
  }
}

void ResampleQuad(uint8_t* out, int width, int height, ptrdiff_t out_stride, const uint8_t* source,
                  int source_width, int source_height, ptrdiff_t source_stride,
                  const std::array<PlanePoint, 4>& quad, const uint8_t* colour_map,
                  const uint8_t* blend_table) {
  if (width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0) return;
  const auto at = [&](int64_t x, int64_t y) {
    x = std::clamp<int64_t>(x, 0, source_width - 1);
    y = std::clamp<int64_t>(y, 0, source_height - 1);
    return colour_map[source[y * source_stride + x] & (kColours - 1)];
  };
  const auto mix = [blend_table](uint8_t a, uint8_t b) {
    return blend_table[size_t(a) * kColours + b];
  };
  const auto [p0, p1, p2, p3] = quad;
  for (int i = 0; i < height; ++i) {
    const double t = double(i) / height;
    const double lx = p0.x + (p2.x - p0.x) * t, ly = p0.y + (p2.y - p0.y) * t;
    const double rx = p1.x + (p3.x - p1.x) * t, ry = p1.y + (p3.y - p1.y) * t;
    const double step_x = (rx - lx) / width, step_y = (ry - ly) / width;
    int64_t px = int64_t(std::trunc(lx)), py = int64_t(std::trunc(ly));
    const int dx = step_x >= 0 ? 1 : -1, dy = step_y >= 0 ? 1 : -1;
    const double fx = lx - std::trunc(lx), fy = ly - std::trunc(ly);
    double wx = dx > 0 ? 1 - fx : fx;
    double wy = dy > 0 ? 1 - fy : fy;
    uint8_t* row = out + ptrdiff_t(i) * out_stride;
    for (int j = 0; j < width; ++j) {
      uint8_t b = at(px, py);
      if (blend_table) {
        if (wx < 0.5) b = mix(b, at(px + dx, py));
        if (wy < 0.5) {
          uint8_t c = at(px, py + dy);
          if (wx > 0.5) c = mix(c, at(px + dx, py + dy));
          b = mix(b, c);
        }
      }
      row[j] = b;
      for (wx -= std::abs(step_x); wx < 0; wx += 1) px += dx;
      for (wy -= std::abs(step_y); wy < 0; wy += 1) py += dy;
    }
  }
}

void TileColourHistogram(COldQuickChart& chart, std::span<uint32_t, 128> counts) {
  std::array<uint8_t, kTilePixels> tile;
  const int last = COldQuickChart::kMaxReduceShift;  // one stored row: image row 0
  for (int row = 1; row < chart.header().height; ++row) {
    for (int col = 1; col < chart.header().width; ++col) {
      if (chart.ReadTile(col, row, last, tile) == 0) ++counts[tile[0] & (kColours - 1)];
    }
  }
}

bool COldQuickChart::Merge(const std::string& output, std::span<const std::string> source_paths,
                           bool antialias, const std::string* name, const ChartFileTask& task) {
  std::vector<MergeSource> sources;
  for (const std::string& path : source_paths) {
    MergeSource source;
    if (MergeSourceLoad(path, source, task)) sources.push_back(std::move(source));
  }
  if (sources.empty()) return false;
  QuickChartHeader base_header;  // as stored: the blend table unmasked
  if (!file().ReadHeader(base_header)) return false;

  // The frame: the base's pixels widened by every source's outline, its corner on a tile.
  int64_t left = 0, top = 0, right = width(), bottom = height();
  for (const MergeSource& source : sources) {
    for (const PlanePoint& p : source.outline) {
      ScreenPoint pixel;
      if (!LatLonToPixel(p.x, p.y, pixel)) continue;
      left = std::min<int64_t>(left, pixel.x);
      top = std::min<int64_t>(top, pixel.y);
      right = std::max<int64_t>(right, pixel.x);
      bottom = std::max<int64_t>(bottom, pixel.y);
    }
  }
  left = FloorDiv(left, kTileSide) * kTileSide;
  top = FloorDiv(top, kTileSide) * kTileSide;
  const int64_t tiles_across = (right - left + kTileSide - 1) / kTileSide;
  const int64_t tiles_down = (bottom - top + kTileSide - 1) / kTileSide;
  const char* const too_big = "Failed: output file was bigger than 4GB";
  constexpr int64_t kMaxTilesAcross = std::numeric_limits<int32_t>::max() / kTileSide;
  if (tiles_across > kMaxTilesAcross || tiles_down > kMaxTilesAcross ||
      uint64_t(tiles_across * tiles_down) * 4 + kQctHeaderSize >
          std::numeric_limits<uint32_t>::max()) {
    task.Error(too_big);
    return false;
  }

  vd::os::AtomicFileWriter out;
  if (!out.Open(output)) {
    task.Error("Failed to open output file: " + output);
    return false;
  }
  QctWriter writer(out.file());
  QuickChartHeader header;
  header.version = HasQctTileIndexLayout(base_header.version) ? base_header.version : 4;
  header.width = int32_t(tiles_across);
  header.height = int32_t(tiles_down);
  writer.AppendZeros(kQctHeaderSize);
  std::vector<uint32_t> index(size_t(tiles_across * tiles_down));
  writer.AppendZeros(index.size() * sizeof(uint32_t));
  QuickChartExtension extension;
  header.extension = writer.AppendZeros(kQctExtensionSize);
  MergeHeaderStrings(file(), base_header, this->extension(), name, header, extension, writer);

  std::string base_depth_units;
  GetHeaderString(kQctDepthUnits, base_depth_units);
  const std::string base_map_type = file().Text(this->extension().map_type);
  for (MergeSource& source : sources) {
    if (source.depth_units != base_depth_units &&
        !task.Confirm(vd::os::FormatC("Depth units differ: %s and %s!", base_depth_units.c_str(),
                                      source.depth_units.c_str()))) {
      return false;
    }
    if (source.map_type != base_map_type &&
        !task.Confirm(vd::os::FormatC("Map types differ: %s and %s!", base_map_type.c_str(),
                                      source.map_type.c_str()))) {
      return false;
    }
  }

  // One palette for all: the first 128 colours of every chart, weighted by how often they
  // show, equal colours joined.
  const size_t charts = sources.size() + 1;
  std::vector<uint32_t> colours(charts * kColours), weights(charts * kColours);
  std::vector<uint8_t> maps(charts * kColours);
  for (size_t c = 0; c < charts; ++c) {
    COldQuickChart* chart = this;
    std::span<const uint8_t, kQctPaletteSize> palette = base_header.palette;
    if (c > 0) {
      MergeSource& source = sources[c - 1];
      source.chart = OpenOldQuickChart(source.path, false);
      palette = source.header.palette;
      chart = source.chart.get();
    }
    for (int i = 0; i < kColours; ++i) colours[c * kColours + size_t(i)] = PaletteColour(palette, i);
    if (chart) TileColourHistogram(*chart, std::span<uint32_t, 128>(&weights[c * kColours], 128));
    if (c > 0 && sources.size() > kMaxOpenSources) sources[c - 1].chart.reset();
  }
  for (size_t i = 0; i < colours.size(); ++i) {
    const size_t first = size_t(std::find(colours.begin(), colours.end(), colours[i]) - colours.begin());
    if (first == i) continue;
    weights[first] += weights[i];
    weights[i] = 0;
  }
  ReducePalette(colours.data(), int(colours.size()), maps.data(), kColours, weights.data());
  std::array<uint32_t, kColours> palette;
  std::copy_n(colours.begin(), kColours, palette.begin());
  BuildBlendTable(palette, header.blend);
  for (int i = 0; i < kColours; ++i) {
    uint8_t* q = header.palette.data() + 4 * i;
    q[0] = uint8_t(palette[size_t(i)]);
    q[1] = uint8_t(palette[size_t(i)] >> 8);
    q[2] = uint8_t(palette[size_t(i)] >> 16);
  }
  for (size_t s = 0; s < sources.size(); ++s) {
    std::copy_n(maps.begin() + ptrdiff_t((s + 1) * kColours), kColours,
                sources[s].colour_map.begin());
  }

  header.georef = base_header.georef;
  if (base_header.HasGeoreference()) {
    double residual;
    FitPolynomialFromMapping(
        header.georef, int(tiles_across * kTileSide), int(tiles_down * kTileSide),
        [&base_header, left, top](int u, int v, double& lat, double& lon) {
          std::tie(lat, lon) = EvalCubicPolynomial2D(base_header.georef.inverse,
                                                     double(u + left), double(v + top));
          return true;
        },
        residual);
  }

  // The pixels, block by block.
  std::vector<uint8_t> block(kBlock * kBlock), scratch(kBlock * kBlock);
  std::vector<uint8_t> box;
  std::array<uint8_t, kTilePixels> image, stored;
  const int64_t block_rows = (tiles_down + kBlockTiles - 1) / kBlockTiles;
  const int64_t block_cols = (tiles_across + kBlockTiles - 1) / kBlockTiles;
  const uint8_t* blend = antialias ? header.blend.data() : nullptr;
  if (!task.Progress(kMergingText, 0, int(block_rows))) return false;
  for (int64_t by = 0; by < block_rows; ++by) {
    if (!writer.ok()) {
      task.Error(writer.position() > std::numeric_limits<uint32_t>::max()
                     ? std::string(too_big)
                     : vd::os::FormatC("Error %d while creating %s", errno, output.c_str()));
      return false;
    }
    for (int64_t bx = 0; bx < block_cols; ++bx) {
      const int64_t x = left + bx * kBlock;
      const int64_t y = top + by * kBlock;
      CopyArea(int(x), int(y), int(x + kBlock - 1), int(y + kBlock - 1), block.data(), kBlock);
      for (uint8_t& p : block) p = maps[p & (kColours - 1)];

      size_t open = size_t(std::count_if(sources.begin(), sources.end(),
                                         [](const MergeSource& s) { return s.chart != nullptr; }));
      for (MergeSource& source : sources) {
        std::array<PlanePoint, 4> corners = Corners(double(x), double(y), kBlock);
        std::array<GeoPoint, 4> positions;
        int inside = 0;
        for (size_t k = 0; k < 4; ++k) {
          PixelToLatLon(corners[k].x, corners[k].y, positions[k].lat, positions[k].lon);
          inside += source.Contains(positions[k].lat, positions[k].lon);
        }
        if (inside == 0) {
          if (source.chart && open > kMaxOpenSources) {
            source.chart.reset();
            --open;
          }
          continue;
        }
        if (!source.chart) {
          source.chart = OpenOldQuickChart(source.path, false);
          if (!source.chart) continue;
          ++open;
        }
        double min_x = 1e300, min_y = 1e300, max_x = -1e300, max_y = -1e300;
        for (size_t k = 0; k < 4; ++k) {
          source.chart->LatLonToPixelF(positions[k].lat, positions[k].lon, corners[k].x,
                                       corners[k].y);
          min_x = std::min(min_x, corners[k].x);
          max_x = std::max(max_x, corners[k].x);
          min_y = std::min(min_y, corners[k].y);
          max_y = std::max(max_y, corners[k].y);
        }
        const int margin = antialias ? 1 : 0;
        if (!(max_x - min_x < kMaxSourceBox) || !(max_y - min_y < kMaxSourceBox)) continue;
        const int x0 = int(std::floor(min_x)) - margin, y0 = int(std::floor(min_y)) - margin;
        const int x1 = int(std::floor(max_x)) + 1 + margin, y1 = int(std::floor(max_y)) + 1 + margin;
        const int box_width = x1 - x0 + 1, box_height = y1 - y0 + 1;
        box.resize(size_t(box_width) * size_t(box_height));
        source.chart->CopyArea(x0, y0, x1, y1, box.data(), box_width);
        for (PlanePoint& c : corners) c = {c.x - x0, c.y - y0};
        uint8_t* target = inside == 4 ? block.data() : scratch.data();
        ResampleQuad(target, kBlock, kBlock, kBlock, box.data(), box_width, box_height, box_width,
                     corners, source.colour_map.data(), blend);
        if (inside == 4) continue;
        for (int j = 0; j < kBlock; ++j) {
          for (int i = 0; i < kBlock; ++i) {
            double lat, lon;
            PixelToLatLon(double(x + i), double(y + j), lat, lon);
            if (source.Contains(lat, lon)) block[size_t(j) * kBlock + size_t(i)] = scratch[size_t(j) * kBlock + size_t(i)];
          }
        }
      }

      for (int ty = 0; ty < kBlockTiles; ++ty) {
        for (int tx = 0; tx < kBlockTiles; ++tx) {
          const int64_t col = bx * kBlockTiles + tx, row = by * kBlockTiles + ty;
          if (col >= tiles_across || row >= tiles_down) continue;
          for (int r = 0; r < kTileSide; ++r) {
            std::copy_n(block.begin() + ptrdiff_t((ty * kTileSide + r) * kBlock + tx * kTileSide),
                        kTileSide, image.begin() + r * kTileSide);
          }
          ReorderTileRows(image, stored);
          index[size_t(row * tiles_across + col)] = writer.AppendTile(stored);
        }
      }
    }
    if (!task.Progress(kMergingText, int(by + 1), int(block_rows))) return false;
  }
  writer.WriteAt(0, header.Bytes());
  writer.WriteAt(kQctHeaderSize, std::span(reinterpret_cast<const uint8_t*>(index.data()),
                                           index.size() * sizeof(uint32_t)));
  writer.WriteAt(header.extension, extension.Bytes());
  if (!writer.PadToWord() || !out.Commit()) {
    task.Error(writer.position() > std::numeric_limits<uint32_t>::max()
                   ? std::string(too_big)
                   : vd::os::FormatC("Error %d while creating %s", errno, output.c_str()));
    return false;
  }
  return true;
}

bool MergeChartOutlines(const std::string& output, std::span<const MergeOutline> outlines,
                        bool antialias, const std::string* name, const ChartFileTask& task) {
  const MergeOutline* base = nullptr;
  double lat_sum = 0, lon_sum = 0;
  for (const MergeOutline& outline : outlines) {
    lat_sum += outline.centre.lat;
    lon_sum += outline.centre.lon;
    if (!base && (outline.flags & kQctFlagMerged)) base = &outline;
  }
  if (!base && !outlines.empty()) {
    CLocalProjection mean;
    mean.SetOrigin(lat_sum / double(outlines.size()), lon_sum / double(outlines.size()));
    double nearest = kFarAway;
    for (const MergeOutline& outline : outlines) {
      const double d = mean.DistanceTo(outline.centre.lat, outline.centre.lon);
      if (d < nearest) {
        nearest = d;
        base = &outline;
      }
    }
  }
  std::vector<std::string> paths;
  for (const MergeOutline& outline : outlines) {
    if (&outline == base || (outline.flags & kQctFlagMerged)) continue;
    const float ratio = float(outline.scale_nm / base->scale_nm);
    if (ratio >= kLowestScaleRatio && ratio < kHighestScaleRatio) paths.push_back(outline.path);
  }
  if (paths.empty()) {
    task.Error("No compatible maps selected\n");
    return false;
  }
  const std::unique_ptr<COldQuickChart> chart = OpenOldQuickChart(base->path, true);
  return chart && chart->Merge(output, paths, antialias, name, task);
}
