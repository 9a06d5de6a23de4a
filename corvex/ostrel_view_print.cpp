// Printing a chart area: a box of chart pixels rendered onto a page with its overlays, relief
// shading and the position grid with its border scales (the grid and shading serve the image
// export as well).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "charts/elevation_file.h"
#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "app/app_common.h"
#include "charts/quick_chart_header.h"
#include "corvex/chart_view_link.h"
#include "corvex/map_rect_selection.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/print_options.h"
#include "geodesy/label_placer.h"
#include "geodesy/utm_grid_formatter.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/numbers.h"
#include "platform/ui/graphics.h"
#include "platform/ui/image.h"
#include "platform/ui/message_box.h"
#include "platform/ui/print_document.h"
#include "platform/ui/printer.h"
#include "platform/ui/responder.h"
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
                           const CPrintOptions& options, double units_per_pixel) {
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
  // Paper per image pixel: the box keeps its shape on the page, and a fixed scale is kept
  // exactly where the page has room for it (the page rectangle itself is rounded).
  double units = std::min(double(page.Width()) / w, double(page.Height()) / h);
  if (const double fixed = units_per_pixel * std::ldexp(1.0, res.shift);
      fixed > 0 && w * fixed <= page.Width() + 1 && h * fixed <= page.Height() + 1) {
    units = fixed;
  }
  const vd::ui::Rect target{page.left, page.top, page.left + int(std::lround(w * units)),
                            page.top + int(std::lround(h * units))};
  // The picture is placed in finer units than the page's hundredths of an inch: a rounding of
  // its edge would otherwise change the scale by up to one part in the page's width.
  constexpr int kFiner = 64;
  dc.Save();
  vd::ui::Mapping mapping = dc.SetMapping({{}, {0, 0}, {}, {0, 0}});  // only reads it
  mapping.window_origin = {mapping.window_origin.x * kFiner, mapping.window_origin.y * kFiner};
  mapping.window_extent = {mapping.window_extent.cx * kFiner, mapping.window_extent.cy * kFiner};
  dc.SetMapping(mapping);
  const auto finer = [&](double units_from, int origin) {
    return int(std::lround((origin + units_from) * kFiner));
  };
  dc.StretchBlit({finer(0, page.left), finer(0, page.top), finer(w * units, page.left),
                  finer(h * units, page.top)},
                 image, {0, 0, w, h});
  dc.Restore();
  DrawGridAndBorder(dc, box, target, kPrintLabelSize, options);
  return true;
}

// ---- The print road ----

namespace {

// Nautical miles of ground per 1/100 inch of paper at a scale of 1:1.
constexpr double kNmPerHundredthInch = 1.3714902807775376e-7;
// 1/100 inch of paper per nautical mile of ground at 1:1.
constexpr double kHundredthsPerNm = 7291338.582677166;
// Room on the page (1/100 inch): a border scale's labels, the title line.
constexpr int kBorderRoom = 10;
constexpr int kTitleRoom = 8;
// The title's font height and the room kept free for the web address beside it.
constexpr int kTitleFontHeight = 8;
constexpr int kWebAddressRoom = 96;
constexpr char kWebAddress[] = "vardune.app";
// The chart's logo keeps this far from the page's bottom-right corner.
constexpr int kLogoMargin = 20;
// No print job runs to more pages than this.
constexpr int kMaxPrintPages = 10000;

CChartFrameHost* FrameHostOf(CViewDocument& document) {
  auto* doc = dynamic_cast<COstrelDoc*>(&document);
  return doc ? doc->frame_host() : nullptr;
}

}  // namespace

bool COstrelView::SetupPrintPages(const std::string& title) {
  boxes_.clear();
  active_box_ = nullptr;
  if (!chart_) return false;
  CChartFrameHost* host = FrameHostOf(document_);
  CPrintOptions options = CPrintOptions::Load();
  std::string chosen_title = title;
  if (!host || !host->EditPrintOptions(options, chosen_title)) {
    SetPrintAreaMode(false);
    return false;
  }
  print_flags_ = options.flags;
  vd::ui::Printer& printer = vd::ui::Printer::Current();
  if (!printer.Usable()) {
    vd::ui::RunMessageBox(window_.DialogOwner(),
                          "Failed to access the printer: " + printer.Name(), "Corvex",
                          vd::ui::kMbOk | vd::ui::kMbIconError);
    SetPrintAreaMode(false);
    return false;
  }
  const vd::ui::Size page = printer.PrintableSize();
  vd::ui::Rect rect{0, 0, 0, 0};
  if (page.cx > 0 && page.cy > 0) {
    rect = {options.margins[CPrintOptions::kMarginLeft], options.margins[CPrintOptions::kMarginTop],
            page.cx - options.margins[CPrintOptions::kMarginRight],
            page.cy - options.margins[CPrintOptions::kMarginBottom]};
    if (options.Has(CPrintOptions::kBorderTop)) rect.top += kBorderRoom;
    if (options.Has(CPrintOptions::kBorderBottom)) rect.bottom -= kBorderRoom;
    if (options.Has(CPrintOptions::kBorderLeft)) rect.left += kBorderRoom;
    if (options.Has(CPrintOptions::kBorderRight)) rect.right -= kBorderRoom;
  }
  if (rect.left >= rect.right || rect.top + kTitleRoom >= rect.bottom) {
    vd::ui::RunMessageBox(
        window_.DialogOwner(),
        "The page size is too small, or the margins are too big, or no printer is installed.",
        "Corvex", vd::ui::kMbOk | vd::ui::kMbIconError);
    SetPrintAreaMode(false);
    return false;
  }
  rect.top += kTitleRoom;
  page_rect_ = rect;
  print_title_ = chosen_title;
  return true;
}

void COstrelView::OnPrintMap() {
  std::string name;
  if (chart_) chart_->GetHeaderString(kQctName, name);
  if (name.empty()) name = std::filesystem::path(GetChartPath()).stem().string();
  if (!SetupPrintPages(name)) return;
  CMapRectSelection& box = AddPrintBox();
  const CPrintOptions options = CPrintOptions::Load();
  if (options.Has(CPrintOptions::kFixedScale) && HasGeoreferencedChart()) {
    const vd::ui::Rect r = box.GetRect();
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    const double d = chart_->ScaleAtPixel(cx, cy);
    if (d > 0 && std::isfinite(d)) {
      const double gx = page_rect_.Width() * double(options.scale) * kNmPerHundredthInch;
      const double gy = page_rect_.Height() * double(options.scale) * kNmPerHundredthInch;
      // A page's ground at a scale far beyond the chart: the box keeps to a sane size.
      const double width = std::min(gx / d, double(INT32_MAX / 4));
      const double height = std::min(gy / d, double(INT32_MAX / 4));
      const int left = int(std::clamp(cx - 0.5 * width, double(INT32_MIN / 2), double(INT32_MAX / 4)));
      const int top = int(std::clamp(cy - 0.5 * height, double(INT32_MIN / 2), double(INT32_MAX / 4)));
      box.SetRect({left, top, left + std::max(1, int(width)), top + std::max(1, int(height))});
      // Zoom out until the page fits the window, keeping the middle of the window in place.
      const vd::ui::Rect fitted = box.GetRect();
      int z = zoom_;
      double u = std::max(fitted.Height() / double(std::max<int64_t>(1, ShiftLeftByZoom(client_.cy, z))),
                          fitted.Width() / double(std::max<int64_t>(1, ShiftLeftByZoom(client_.cx, z))));
      while (u > 1 && z < kMaxZoom) {
        ++z;
        u /= 2;
      }
      if (z != zoom_) {
        anchor_ = ClientCentre();
        Zoom(z - zoom_);
      }
    }
  }
  SetPrintAreaMode(true);
  InvalidateAll();
}

void COstrelView::OnPrintObject() {
  COstrelObject* object = CurrentObject();
  std::vector<CLatLon> points;
  if (const auto* route = dynamic_cast<const CObjRoute*>(object)) {
    for (const CObjWaypoint* point : route->points())
      if (point) points.push_back(point->position);
  } else if (const auto* track = dynamic_cast<const CObjTrack*>(object)) {
    for (const CTrackpoint& point : track->points()) points.push_back(point.position);
  }
  if (points.size() < 2 || !HasGeoreferencedChart()) return;
  if (!SetupPrintPages(object->name)) return;
  const CPrintOptions options = CPrintOptions::Load();
  std::vector<ScreenPoint> line;
  for (const CLatLon& point : points) {
    ScreenPoint pixel;
    if (chart_->LatLonToPixel(point.lat, point.lon, pixel)) line.push_back(pixel);
  }
  if (line.size() < 2) return;
  const double d = chart_->ScaleAtPixel(line[0].x, line[0].y);
  if (!(d > 0) || !std::isfinite(d)) return;
  const double e = page_rect_.Width() * double(options.scale) * kNmPerHundredthInch / d;
  const double f = page_rect_.Height() * double(options.scale) * kNmPerHundredthInch / d;
  const double m = std::max(e / 8, f / 8);
  // Pages smaller than a few chart pixels, or a route far longer than any print: refused.
  if (e - m < 2 || f - m < 2 || e > INT32_MAX / 4 || f > INT32_MAX / 4) return;
  LabelPlacer placer(line, int(e - m), int(f - m),
                     {0, 0, chart_->width() - 1, chart_->height() - 1});
  ScreenRect rect;
  const int grow = int(m / 2);
  while (boxes_.size() < size_t(kMaxPrintPages) && placer.FindPosition(rect)) {
    CMapRectSelection& box = AddPrintBox();
    box.SetRect({rect.left - grow, rect.top - grow, rect.right + grow, rect.bottom + grow});
  }
  if (boxes_.empty()) return;
  SetPrintAreaMode(true);
  InvalidateAll();
}

int COstrelView::PrintPageCount() const {
  const int64_t pages = int64_t(CPrintOptions::Load().copies) * int64_t(boxes_.size());
  return int(std::min<int64_t>(pages, kMaxPrintPages));
}

std::string COstrelView::PrintPageTitle(int page) const {
  std::string text = print_title_;
  const int count = int(boxes_.size());
  if (count > 1) {
    const int index = (page - 1) % count;
    text = vd::os::FormatC("%s. Page %d of %d", print_title_.c_str(), index + 1, count);
  }
  std::string copyright;
  if (chart_) chart_->GetHeaderString(kQctCopyright, copyright);
  if (!copyright.empty()) text += ". Copyright \xC2\xA9 " + copyright;
  return text;
}

void COstrelView::OnPrint(vd::ui::Surface& dc, int page, vd::ui::Size dpi) {
  if (!chart_ || boxes_.empty() || page < 1) return;
  // One logical unit is 1/100 inch, y growing downwards.
  dc.SetMapping({{}, {100, 100}, {}, {std::max(dpi.cx, 1), std::max(dpi.cy, 1)}});
  const CPrintOptions options = CPrintOptions::Load();
  auto it = boxes_.begin();
  std::advance(it, (page - 1) % int(boxes_.size()));
  const vd::ui::Rect box = (*it)->GetRect();
  vd::ui::Rect page_rect = page_rect_;
  double units_per_pixel = 0;
  if (options.Has(CPrintOptions::kFixedScale) && HasGeoreferencedChart()) {
    const double d = chart_->ScaleAtPixel((box.left + box.right) / 2.0, (box.top + box.bottom) / 2.0);
    if (d > 0 && std::isfinite(d)) {
      units_per_pixel = d * kHundredthsPerNm / options.scale;
      page_rect.right = page_rect.left + int(std::min(std::ceil(box.Width() * units_per_pixel),
                                                      double(page_rect_.Width())));
      page_rect.bottom = page_rect.top + int(std::min(std::ceil(box.Height() * units_per_pixel),
                                                      double(page_rect_.Height())));
    }
  }
  PrintBox(dc, box, page_rect, options, units_per_pixel);
  dc.Save();
  dc.SelectFont(vd::ui::Font{.height = kTitleFontHeight});
  dc.SetTextColour(0x000000);
  dc.SetBackgroundMode(vd::ui::BackgroundMode::Opaque);
  dc.SetBackgroundColour(0xFFFFFF);
  vd::ui::Rect title_rect = page_rect_;
  title_rect.top -= kTitleRoom;
  dc.DrawText(kWebAddress, title_rect, vd::ui::kDrawTextRight | vd::ui::kDrawTextSingleLine);
  title_rect.right -= kWebAddressRoom;
  dc.DrawText(PrintPageTitle(page), title_rect, vd::ui::kDrawTextWordBreak);
  dc.Restore();
  // The chart's logo, as the window shows it, in the page's bottom-right corner.
  if (const std::string logo_path = ChartLogoPath(); !logo_path.empty()) {
    if (const std::optional<vd::ui::Image> logo = vd::ui::Image::Load(logo_path)) {
      const int w = logo->Width(), h = logo->Height();
      dc.StretchBlit({page_rect_.right - w - kLogoMargin, page_rect_.bottom - h - kLogoMargin,
                      page_rect_.right - kLogoMargin, page_rect_.bottom - kLogoMargin},
                     *logo, {0, 0, w, h});
    }
  }
}

bool COstrelView::PrintPages(bool preview) {
  ShowStatusText("");
  if (!chart_ || boxes_.empty()) {
    SetPrintAreaMode(false);
    return false;
  }
  vd::ui::Printer& printer = vd::ui::Printer::Current();
  const int pages = PrintPageCount();
  CChartFrameHost* host = FrameHostOf(document_);
  // The job itself, on the printer or the preview's.
  auto job = [&](QPrinter& device) {
    vd::ui::PrintDocument document(device);
    if (!document.StartDoc(print_title_)) {
      vd::ui::RunMessageBox(window_.DialogOwner(), "Printer wouldn't initialize", "Corvex",
                            vd::ui::kMbOk | vd::ui::kMbIconError);
      return false;
    }
    const vd::ui::Size dpi = vd::ui::PrinterResolution(device);
    int first = 1, last = pages;
    if (vd::ui::PrintsPageRange(device, first, last)) {
      first = std::clamp(first, 1, pages);
      last = std::clamp(last, first, pages);
    }
    const float scale = drawing_scale_;
    drawing_scale_ = 1.0f;
    for (int page = first; page <= last; ++page) {
      vd::ui::Surface* surface = document.StartPage();
      if (!surface) {
        document.Abort();
        drawing_scale_ = scale;
        vd::ui::RunMessageBox(window_.DialogOwner(), "Could not start page", "Corvex",
                              vd::ui::kMbOk | vd::ui::kMbIconError);
        return false;
      }
      OnPrint(*surface, page, dpi);
      document.EndPage();
    }
    drawing_scale_ = scale;
    RemapAllObjects();
    return document.EndDoc();
  };
  bool printed = false;
  vd::ui::Responder& responder = vd::ui::CurrentResponder();
  if (preview) {
    printed = responder.PrintPreview(window_.DialogOwner(), printer.device(),
                                     [&](QPrinter& device) { job(device); });
  } else if (responder.PrintDialog(window_.DialogOwner(), printer.device(), pages)) {
    if (host) host->PauseGPSForPrinting(true);
    printed = job(printer.device());
    if (host) host->PauseGPSForPrinting(false);
  }
  SetPrintAreaMode(false);
  InvalidateAll();
  return printed;
}

void COstrelView::RemoveActivePrintBox() {
  if (!active_box_) return;
  active_box_->Invalidate();
  boxes_.remove_if([this](const auto& box) { return box.get() == active_box_; });
  active_box_ = nullptr;
  if (boxes_.empty()) SetPrintAreaMode(false);
}
