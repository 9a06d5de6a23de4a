// Export Image: a chart area with its overlays, relief shading and border scales written as an
// image file.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cmath>
#include <optional>
#include <string>

#include "charts/old_quick_chart.h"
#include "charts/quick_chart_header.h"
#include "core/persistent_value.h"
#include "corvex/bmp_file.h"
#include "corvex/chart_view_link.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/print_options.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/image.h"
#include "platform/ui/message_box.h"
#include "platform/ui/surface.h"

namespace {

constexpr int kExportFontHeight = 14;
constexpr int kExportLabelSize = 12;
constexpr int kJpegQuality = 90;
// The largest image written: its bitmap file must stay below 4 GiB.
constexpr int64_t kMaxExportPixels = (int64_t{UINT32_MAX} - 54) / 4;

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(),
                    [](char a, char b) { return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b)); });
}

bool SaveImage(const std::string& path, const vd::ui::Image& image) {
  if (EndsWithNoCase(path, ".png")) return image.SavePng(path);
  if (EndsWithNoCase(path, ".jpg") || EndsWithNoCase(path, ".jpeg")) {
    return image.SaveJpeg(path, kJpegQuality);
  }
  return WriteBmpFile(path, image.Width(), image.Height(), image.Row(0), image.Width());
}

}  // namespace

bool COstrelView::ExportImage(const std::string& path, int x, int y, int width, int height,
                              int zoom_shift, bool relief, bool edge, std::string& copyright) {
  if (!chart_ || width <= 0 || height <= 0 || zoom_shift < 0 || zoom_shift > 6) return false;
  const CPrintOptions options = CPrintOptions::Load();
  const int top = options.Has(CPrintOptions::kBorderTop) ? kExportBorder : 0;
  const int right = options.Has(CPrintOptions::kBorderRight) ? kExportBorder : 0;
  const int bottom = options.Has(CPrintOptions::kBorderBottom) ? kExportBorder : 0;
  const int left = options.Has(CPrintOptions::kBorderLeft) ? kExportBorder : 0;
  const int64_t full_width = int64_t(width) + left + right;
  const int64_t full_height = int64_t(height) + top + bottom;
  if (full_width > INT32_MAX || full_height > INT32_MAX ||
      full_width * full_height > kMaxExportPixels) {
    return false;
  }
  const bool borders = (options.flags & CPrintOptions::kBorders) != 0;
  vd::ui::Image image(int(full_width), int(full_height), borders ? 0xFFFFFFFF : 0xFF000000);
  if (image.IsNull()) return false;
  // No tile job may read the chart while it renders.
  FlushTiles();
  const vd::ui::Rect inner{left, top, left + width, top + height};
  chart_->RenderArea(image.Row(0), image.Width(), {inner.left, inner.top, inner.right, inner.bottom},
                     zoom_shift, x, y);
  DrawOverlaysOnImage(
      image,
      {std::ldexp(1.0, -zoom_shift),
       {x - left * (1 << zoom_shift), y - top * (1 << zoom_shift)}},
      1);
  if (relief) {
    ApplyReliefShading(image.Row(0), image.Width(), inner, zoom_shift, x, y, edge);
  }
  if (borders || options.Has(CPrintOptions::kGridLines)) {
    vd::ui::Surface dc(image);
    dc.SelectFont({.height = kExportFontHeight});
    DrawGridAndBorder(dc,
                      {x, y, Clamp32(x + (int64_t(width) << zoom_shift)),
                       Clamp32(y + (int64_t(height) << zoom_shift))},
                      inner, kExportLabelSize, options);
  }
  chart_->GetHeaderString(kQctCopyright, copyright);
  return SaveImage(path, image);
}

void COstrelView::OnExportImage() {
  if (!chart_) return;
  // The visible area, clipped to the chart.
  const int64_t view_right = origin_.x + ShiftLeftByZoom(client_.cx, zoom_);
  const int64_t view_bottom = origin_.y + ShiftLeftByZoom(client_.cy, zoom_);
  const int x = std::max(origin_.x, 0), y = std::max(origin_.y, 0);
  const int right = int(std::min<int64_t>(view_right, chart_->width()));
  const int bottom = int(std::min<int64_t>(view_bottom, chart_->height()));
  if (right <= x || bottom <= y) return;
  const bool edge = origin_.x < 0 || origin_.y < 0 || view_right >= chart_->width() ||
                    view_bottom >= chart_->height();
  CImageExportChoice choice = CImageExportChoice::Load();
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  if (CChartFrameHost* host = doc ? doc->frame_host() : nullptr) {
    if (!host->ChooseImageExport(right - x, bottom - y, choice)) return;
  }
  const int shift = std::clamp(choice.shift, 0, CImageExportChoice::kMaxShift);
  if (((right - x) >> shift) <= 0 || ((bottom - y) >> shift) <= 0) return;
  const std::optional<std::string> path = vd::ui::GetSaveFilePath(
      window_.DialogOwner(), "Export Image",
      "True-color bitmap (*.bmp)|*.bmp|PNG image (*.png)|*.png|JPEG image (*.jpg)|*.jpg||",
      "bmp");
  if (!path) return;
  std::string copyright;
  if (!ExportImage(*path, x, y, (right - x) >> shift, (bottom - y) >> shift, shift,
                   choice.relief, edge, copyright)) {
    vd::ui::RunMessageBox(window_.DialogOwner(), "Failed to write the image file: " + *path,
                          "Corvex", vd::ui::kMbOk | vd::ui::kMbIconError);
  }
}
