#pragma once
// Test support: a chart window of the running program on a plain chart of one colour, so that
// what the program draws over the chart shows, and the window's pixels once its tiles are drawn.
#include <QApplication>
#include <QImage>
#include <string>

#include "charts/old_quick_chart.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/tests/corvex_home.h"
#include "tests/chart_fixture.h"

namespace vd::test {

struct PlainChart {
  static constexpr double kNorth = 50.0;
  static constexpr double kWest = -5.0;
  static constexpr double kDegreesPerPixel = 1.0 / 3600.0;
  static constexpr int kSide = 256;                // pixels each way
  static constexpr uint8_t kPaletteIndex = 64;     // red 191, green 128, blue 64

  static double Lat(double y) { return kNorth - y * kDegreesPerPixel; }
  static double Lon(double x) { return kWest + x * kDegreesPerPixel; }
};

// Writes the plain chart into the home folder; its path ("" when it can't be written).
inline std::string WritePlainChart(const CorvexHome& home) {
  ChartFixture chart;
  chart.width = chart.height = PlainChart::kSide / 64;
  chart.image.assign(PlainChart::kSide * PlainChart::kSide, PlainChart::kPaletteIndex);
  chart.georef = ChartFixture::LinearGeoref(PlainChart::kNorth, PlainChart::kWest,
                                            PlainChart::kDegreesPerPixel);
  const std::string path = home.File("plain.qct");
  return WriteChartFixture(path, chart) ? path : "";
}

inline CChartViewWidget* WidgetOf(const CDocView* view) {
  for (QWidget* widget : QApplication::allWidgets()) {
    auto* chart_widget = dynamic_cast<CChartViewWidget*>(widget);
    if (chart_widget && chart_widget->view() == view) return chart_widget;
  }
  return nullptr;
}

// The plain chart in a new chart window of the document, sized and with its chart; null when
// it does not come.
inline COstrelView* OpenPlainChartWindow(COstrelDoc& document, const CorvexHome& home) {
  auto* view = dynamic_cast<COstrelView*>(document.OpenChartInNewWindow(WritePlainChart(home)));
  if (!view || !WidgetOf(view)) return nullptr;
  if (!ProcessEventsUntil([&] { return view->client_size().cx > 100 && view->chart(); }))
    return nullptr;
  return view;
}

// The client point of a position in the view.
inline vd::ui::Point ClientOf(const COstrelView& view, double lat, double lon) {
  ScreenPoint pixel;
  if (!view.chart() || !view.chart()->LatLonToPixel(lat, lon, pixel)) return {-1, -1};
  return view.ChartToClient({pixel.x, pixel.y});
}

// The window's pixels once its tiles are drawn.
inline QImage WindowPixels(COstrelView& view) {
  ProcessEventsUntil([&] { return view.QueuedTileCount() == 0; });
  CChartViewWidget* widget = WidgetOf(&view);
  return widget ? widget->grab().toImage() : QImage();
}

}  // namespace vd::test
