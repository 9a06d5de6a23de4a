#include "corvex/ui/route_card_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "charts/old_quick_chart.h"
#include "corvex/bmp_file.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "gps/ui/profile_window.h"
#include "overlays/obj_route.h"
#include "platform/os/files.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

namespace {

// The chart window whose chart shows the route best: the GPS view when its chart holds the
// route's middle, else the first such window, else the first georeferenced one.
COstrelView* ChartViewFor(CObjRoute& route, double lat, double lon) {
  auto* document = dynamic_cast<COstrelDoc*>(route.document());
  if (!document) return nullptr;
  auto holds = [&](COstrelView* view) {
    if (!view || !view->chart() || !view->chart()->HasGeoreference()) return false;
    double x = 0, y = 0;
    view->chart()->LatLonToPixelF(lat, lon, x, y);
    return x >= 0 && y >= 0 && x < view->chart()->width() && y < view->chart()->height();
  };
  if (auto* gps = dynamic_cast<COstrelView*>(document->GetGPSView()); holds(gps)) return gps;
  COstrelView* any = nullptr;
  for (CDocView* each : document->views()) {
    auto* view = dynamic_cast<COstrelView*>(each);
    if (holds(view)) return view;
    if (!any && view && view->chart() && view->chart()->HasGeoreference()) any = view;
  }
  return any;
}

int32_t ReadLe32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return static_cast<int32_t>(value);
}

}  // namespace

bool WriteRouteOverviewMap(CObjRoute& route, const std::string& path, int max_size,
                           std::string& copyright) {
  double min_lat = 0, max_lat = 0, min_lon = 0, max_lon = 0;
  if (!route.GetBounds(min_lat, max_lat, min_lon, max_lon) || max_size <= 0) return false;
  COstrelView* view = ChartViewFor(route, (min_lat + max_lat) / 2, (min_lon + max_lon) / 2);
  if (!view) return false;
  // The chart pixels of the four corners give the box, widened on every side by a sixteenth.
  double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
  for (double lat : {min_lat, max_lat}) {
    for (double lon : {min_lon, max_lon}) {
      double x = 0, y = 0;
      view->chart()->LatLonToPixelF(lat, lon, x, y);
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (!std::isfinite(left) || !std::isfinite(right) || !std::isfinite(top) ||
      !std::isfinite(bottom))
    return false;
  const double margin = std::max({right - left, bottom - top, 16.0}) / 16;
  left -= margin;
  top -= margin;
  right += margin;
  bottom += margin;
  if (right - left > 1e9 || bottom - top > 1e9) return false;
  int64_t width = static_cast<int64_t>(std::ceil(right - left));
  int64_t height = static_cast<int64_t>(std::ceil(bottom - top));
  int shift = 0;
  while ((width >> shift) > max_size || (height >> shift) > max_size) ++shift;
  if (shift > 6) return false;  // the export's coarsest zoom
  return view->ExportImage(path, static_cast<int>(std::floor(left)),
                           static_cast<int>(std::floor(top)),
                           std::max<int>(1, static_cast<int>(width >> shift)),
                           std::max<int>(1, static_cast<int>(height >> shift)), shift, false,
                           false, copyright);
}

bool WriteRouteProfile(CObjRoute& route, const std::string& path, int width, int height) {
  CProfileWindow pane(&route, 0, -1);
  pane.SetClientSize(width, height);
  vd::ui::Image image(width, height, 0xFFFFFFFF);
  {
    vd::ui::Surface surface(image);
    pane.Draw(surface);
  }
  const ptrdiff_t stride = image.qimage().bytesPerLine() / 4;
  return WriteBmpFile(path, width, height, image.Row(0), stride);
}

bool ReadBitmapSize(const std::string& path, int& width, int& height) {
  std::string bytes;
  if (!vd::os::ReadWholeFile(path, bytes) || bytes.size() < 54 || bytes[0] != 'B' ||
      bytes[1] != 'M')
    return false;
  const int32_t w = ReadLe32(bytes, 18);
  const int32_t h = ReadLe32(bytes, 22);
  if (w <= 0 || h == 0 || h == INT32_MIN) return false;
  width = w;
  height = std::abs(h);
  return true;
}
