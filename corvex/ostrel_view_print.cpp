// Printing a chart area: a box of chart pixels rendered onto a page with its overlays, relief
// shading and the position grid with its border scales (the grid and shading serve the image
// export as well).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "charts/elevation_file.h"
#include "charts/old_quick_chart.h"
#include "charts/outline/old_chart_outline.h"
#include "core/app/app_common.h"
#include "corvex/ostrel_view.h"
#include "corvex/print_options.h"
#include "geodesy/utm_grid_formatter.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

// Objects are drawn on rendered images as at this zoom, never simplified.
constexpr int kRenderDrawZoom = 4;
// Grid lines (and border labels) per direction at most; border ticks fall ten to a line.
constexpr int kMaxGridLines = 1000;
constexpr int kTicksPerLine = 10;
// Chart pixels per inch of paper above which pens and text of the overlays grow.
constexpr int kMagnifyStep = 90;
// Label font and page font of a printed box.
constexpr int kPrintFontHeight = 12;
constexpr int kPrintLabelSize = 10;

vd::ui::Point Round(double x, double y) {
  return {int(std::lround(x)), int(std::lround(y))};
}

}  // namespace

void COstrelView::DrawOverlaysOnImage(vd::ui::Image& image, const RenderTransform& transform,
                                      int magnify) {
  if (!HasGeoreferencedChart()) return;
  EnterRenderMode(transform);
  RemapAllObjects();
  {
    vd::ui::Surface dc(image);
    dc.SetMapping({{}, {1, 1}, {}, {magnify, magnify}});
    dc.SelectFont(vd::ui::Font{.height = kPrintFontHeight});
    vd::ui::Graphics graphics(dc);
    for (const auto& [key, record] : mapped_) {
      COstrelObject* object = record->object();
      if (object && object->visible) {
        object->DrawAtZoom(dc, graphics, *record, kRenderDrawZoom, false);
      }
    }
  }
  LeaveRenderMode();
  RemapAllObjects();
}

void COstrelView::ApplyReliefShading(uint32_t* pixels, ptrdiff_t stride, const vd::ui::Rect& rect,
                                     int shift, int x0, int y0, bool edge) {
  const CAppCommon* app = CAppCommon::Instance();
  const CElevationFile* terrain = app ? app->GetElevationFile() : nullptr;
  if (!HasGeoreferencedChart() || !terrain || !terrain->IsLoaded()) return;
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  const CReliefOptions relief = CReliefOptions::Load();
  struct Sample {
    int16_t slope = 0;
    bool shaded = true;
  };
  std::vector<Sample> samples(size_t(rect.Width()) * size_t(rect.Height()));
  int minimum = INT16_MAX, maximum = INT16_MIN;
  for (int i = 0; i < rect.Height(); ++i) {
    for (int j = 0; j < rect.Width(); ++j) {
      double lat = 0, lon = 0;
      chart_->PixelToLatLon(x0 + double(int64_t(j) << shift), y0 + double(int64_t(i) << shift),
                            lat, lon);
      Sample& sample = samples[size_t(i) * size_t(rect.Width()) + size_t(j)];
      terrain->GetSlope(lat, lon, &sample.slope);
      sample.shaded = !edge || !outline_ || outline_->ContainsPoint(lat, lon);
      minimum = std::min<int>(minimum, sample.slope);
      maximum = std::max<int>(maximum, sample.slope);
    }
  }
  if (minimum >= maximum) return;  // flat: nothing to shade
  const int base = relief.brightness * 256 / 100;
  const double factor = relief.contrast * 2.56 / (maximum - minimum);
  for (int i = 0; i < rect.Height(); ++i) {
    uint32_t* row = pixels + (rect.top + i) * stride + rect.left;
    for (int j = 0; j < rect.Width(); ++j) {
      const Sample& sample = samples[size_t(i) * size_t(rect.Width()) + size_t(j)];
      if (!sample.shaded) continue;
      const uint32_t t = uint32_t(std::max(0, int(sample.slope * factor) + base));
      uint32_t pixel = row[j] & 0xFF000000u;
      for (int channel = 0; channel < 24; channel += 8) {
        const uint32_t value = std::min<uint32_t>(255, ((row[j] >> channel) & 0xFF) * t >> 8);
        pixel |= value << channel;
      }
      row[j] = pixel;
    }
  }
}

void COstrelView::DrawGridAndBorder(vd::ui::Surface& dc, const vd::ui::Rect& chart,
                                    const vd::ui::Rect& target, int label_size,
                                    const CPrintOptions& options) {
  CAppCommon* app = CAppCommon::Instance();
  utm_grid_formatter* grid = app ? app->GetPositionFormatter() : nullptr;
  if (!grid || !HasGeoreferencedChart() || chart.Width() <= 0 || chart.Height() <= 0) return;
  double lat = 0, lon = 0;
  chart_->PixelToLatLon((chart.left + chart.right) / 2.0, (chart.top + chart.bottom) / 2.0, lat,
                        lon);
  grid->SetZoneFor(lat, lon);
  const double sx = double(target.Width()) / chart.Width();
  const double sy = double(target.Height()) / chart.Height();
  // Chart pixel to grid coordinates, and grid coordinates to a target point.
  auto to_grid = [&](double px, double py, double& gx, double& gy) {
    double plat = 0, plon = 0;
    chart_->PixelToLatLon(px, py, plat, plon);
    grid->LatLonToGrid(plat, plon, gx, gy);
  };
  auto to_target = [&](double gx, double gy) {
    double plat = 0, plon = 0, px = 0, py = 0;
    grid->GridToLatLon(gx, gy, plat, plon);
    chart_->LatLonToPixelF(plat, plon, px, py);
    return Round(target.left + (px - chart.left) * sx, target.top + (py - chart.top) * sy);
  };
  const double corners[4][2] = {{double(chart.left), double(chart.top)},
                                {double(chart.right), double(chart.top)},
                                {double(chart.left), double(chart.bottom)},
                                {double(chart.right), double(chart.bottom)}};
  double min_x = INFINITY, max_x = -INFINITY, min_y = INFINITY, max_y = -INFINITY;
  for (const auto& corner : corners) {
    double gx = 0, gy = 0;
    to_grid(corner[0], corner[1], gx, gy);
    min_x = std::min(min_x, gx), max_x = std::max(max_x, gx);
    min_y = std::min(min_y, gy), max_y = std::max(max_y, gy);
  }
  const double u = target.Height() * 0.05 / label_size;
  const double interval = grid->NiceInterval((max_y - min_y) / std::max(u, 3.0));
  if (!(interval >= 0.0001)) return;
  // A damaged georeference can spread the grid over absurd ranges: the lines are capped.
  if ((max_x - min_x) / interval > kMaxGridLines || (max_y - min_y) / interval > kMaxGridLines) {
    return;
  }
  const double start_x = std::floor(min_x / interval) * interval;
  const double start_y = std::floor(min_y / interval) * interval;

  if (options.Has(CPrintOptions::kGridLines)) {
    dc.Save();
    dc.IntersectClipRect(target);
    const vd::ui::Pen old_pen =
        dc.SelectPen({vd::ui::LineStyle::Solid, options.grid_line_width * 100 / 72,
                      options.grid_colour});
    std::vector<vd::ui::Point> line;
    for (double gx = start_x; gx <= max_x + interval; gx += interval) {
      line.clear();
      for (double gy = start_y; gy <= max_y + interval; gy += interval) {
        line.push_back(to_target(gx, gy));
      }
      dc.Polyline(line);
    }
    for (double gy = start_y; gy <= max_y + interval; gy += interval) {
      line.clear();
      for (double gx = start_x; gx <= max_x + interval; gx += interval) {
        line.push_back(to_target(gx, gy));
      }
      dc.Polyline(line);
    }
    dc.SelectPen(old_pen);
    dc.Restore();
  }

  if ((options.flags & CPrintOptions::kBorders) == 0) return;
  dc.Save();
  vd::ui::Rect measure{0, 0, 0, 0};
  dc.DrawText("0\xC2\xB0,00", measure, vd::ui::kDrawTextCalcRect);
  const int text_height = measure.Height();
  const int half = text_height / 2;
  dc.SetClipRect({target.left - (text_height + 2), target.top - text_height,
                  target.right + text_height + 2, target.bottom + text_height});
  dc.SetTextColour(options.grid_colour);
  dc.SetBackgroundMode(vd::ui::BackgroundMode::Opaque);
  dc.SetBackgroundColour(0xFFFFFF);
  dc.SelectPen({vd::ui::LineStyle::Solid, 0, options.grid_colour});
  std::string label;

  // A horizontal edge at chart row `edge_y` (target row `row`): ticks where the lines of
  // constant x cross it.
  auto horizontal = [&](double edge_y, int row, int offset) {
    double left_x = 0, left_y = 0, right_x = 0, right_y = 0;
    to_grid(chart.left, edge_y, left_x, left_y);
    to_grid(chart.right, edge_y, right_x, right_y);
    const double low = std::min(left_x, right_x), high = std::max(left_x, right_x);
    const double step = interval / kTicksPerLine;
    int64_t n = int64_t(std::floor(low / interval)) * kTicksPerLine;
    for (double value = double(n) * step; value <= high; value = double(++n) * step) {
      if (value < low) continue;
      const vd::ui::Point a = to_target(value, left_y), b = to_target(value, right_y);
      int x = a.x;
      const double dy = b.y - a.y;
      if (dy * dy > 1) x = int(a.x + (row - a.y) * double(b.x - a.x) / dy);
      dc.MoveTo({x, row});
      dc.LineTo({x, row + offset});
      if (n % kTicksPerLine != 0) continue;
      grid->FormatGridValue2(value, label);
      vd::ui::Rect cell{x - 1, row + offset - 1, x + 1, row + offset + 1};
      dc.DrawText(label, cell,
                  vd::ui::kDrawTextCenter | vd::ui::kDrawTextVCenter |
                      vd::ui::kDrawTextSingleLine | vd::ui::kDrawTextNoClip);
    }
  };
  // A vertical edge at chart column `edge_x` (target column `column`): the lines of constant y.
  auto vertical = [&](double edge_x, int column, int offset, int escapement) {
    double top_x = 0, top_y = 0, bottom_x = 0, bottom_y = 0;
    to_grid(edge_x, chart.top, top_x, top_y);
    to_grid(edge_x, chart.bottom, bottom_x, bottom_y);
    const double low = std::min(top_y, bottom_y), high = std::max(top_y, bottom_y);
    const double step = interval / kTicksPerLine;
    const vd::ui::Font old_font = dc.SelectFont({.height = label_size, .escapement = escapement});
    const unsigned old_align =
        dc.SetTextAlign(vd::ui::kTextAlignCenter | vd::ui::kTextAlignBottom);
    int64_t n = int64_t(std::floor(low / interval)) * kTicksPerLine;
    for (double value = double(n) * step; value <= high; value = double(++n) * step) {
      if (value < low) continue;
      const vd::ui::Point a = to_target(top_x, value), b = to_target(bottom_x, value);
      int y = a.y;
      const double dx = b.x - a.x;
      if (dx * dx > 1) y = int(a.y + (column - a.x) * double(b.y - a.y) / dx);
      dc.MoveTo({column, y});
      dc.LineTo({column + offset, y});
      if (n % kTicksPerLine != 0) continue;
      grid->FormatGridValue(value, label);
      dc.TextOut({column + offset, y}, label);
    }
    dc.SetTextAlign(old_align);
    dc.SelectFont(old_font);
  };
  if (options.Has(CPrintOptions::kBorderTop)) horizontal(chart.top, target.top, -(half + 1));
  if (options.Has(CPrintOptions::kBorderBottom)) {
    horizontal(chart.bottom, target.bottom, half + 1);
  }
  if (options.Has(CPrintOptions::kBorderLeft)) {
    vertical(chart.left, target.left, -(half + 1), 900);
  }
  if (options.Has(CPrintOptions::kBorderRight)) {
    vertical(chart.right, target.right, half + 1, -900);
  }
  dc.Restore();
}

COstrelView::PrintResolution COstrelView::ChoosePrintResolution(int box_width, int page_width,
                                                                int resolution) {
  PrintResolution result;
  if (page_width <= 0 || box_width <= 0) return result;
  int64_t e = int64_t(box_width) * 100 / page_width;  // chart pixels per inch of paper
  while (e > std::max(resolution, 1)) {
    e >>= 1;
    ++result.shift;
  }
  result.magnify = std::max<int>(1, int(e / kMagnifyStep));
  return result;
}

bool COstrelView::PrintBox(vd::ui::Surface& dc, const vd::ui::Rect& box, const vd::ui::Rect& page,
                           const CPrintOptions& options) {
  if (!chart_ || box.Width() <= 0 || box.Height() <= 0) return false;
  if (page.Width() <= 0 || page.Height() <= 0) return false;
  const PrintResolution res = ChoosePrintResolution(box.Width(), page.Width(), options.resolution);
  const int w = box.Width() >> res.shift, h = box.Height() >> res.shift;
  if (w <= 0 || h <= 0) return false;
  FlushTiles();
  vd::ui::Image image(w, h, 0xFFFFFFFF);
  if (image.IsNull()) return false;
  chart_->RenderArea(image.Row(0), w, {0, 0, w, h}, res.shift, box.left, box.top);
  DrawOverlaysOnImage(image, {std::ldexp(1.0, -res.shift) / res.magnify, {box.left, box.top}},
                      res.magnify);
  if (options.Has(CPrintOptions::kReliefShading)) {
    ApplyReliefShading(image.Row(0), w, {0, 0, w, h}, res.shift, box.left, box.top, false);
  }
  // The box keeps its shape on the page.
  vd::ui::Rect target = page;
  const double cx = double(page.Width()) / w, cy = double(page.Height()) / h;
  if (cx >= cy) {
    target.right = page.left + int(w * cy);
  } else {
    target.bottom = page.top + int(h * cx);
  }
  dc.StretchBlit(target, image, {0, 0, w, h});
  DrawGridAndBorder(dc, box, target, kPrintLabelSize, options);
  return true;
}
