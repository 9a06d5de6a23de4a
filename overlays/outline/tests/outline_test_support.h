#pragma once
// Support of the chart library tests: a document that records what outlines ask of it, a
// responder that answers message boxes and keeps their texts, and small chart files.
#include <string>
#include <utility>
#include <vector>

#include "overlays/outline/old_chart_outline.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"

namespace vd::test {

class OutlineDoc : public FakeDoc, public CChartOutlineDocument {
 public:
  struct ViewRequest {
    COldChartOutline* outline;
    double lat, lon, scale;
    int flag;
  };
  void RefreshViewsOfChartFile(const std::string& path) override { refreshed.push_back(path); }
  void OpenChartViewAt(COldChartOutline& outline, double lat, double lon, double scale,
                       int flag) override {
    opened.push_back({&outline, lat, lon, scale, flag});
  }

  std::vector<std::string> refreshed;
  std::vector<ViewRequest> opened;
};

// Answers every box with `answer` and keeps the texts shown.
struct BoxAnswers : vd::ui::DialogResponder {
  explicit BoxAnswers(int a) : answer(a) {}
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    texts.push_back(request.text);
    return answer;
  }
  int answer;
  std::vector<std::string> texts;
};

// A 2 x 2 tile chart whose pixel (0, 0) lies at 50N 5W, 1 second of arc per pixel (scale 1/60
// nautical mile per pixel), with the given short name.
inline ChartFixture SmallChart(const std::string& name) {
  ChartFixture chart;
  chart.texts = {{kQctName, name}};
  return chart;
}

inline constexpr double kSmallChartNorth = 50.0;
inline constexpr double kSmallChartWest = -5.0;
inline constexpr double kSmallChartSpan = 128.0 / 3600.0;  // degrees each way
inline constexpr double kSmallChartScale = 1.0 / 60.0;     // nautical miles per pixel

}  // namespace vd::test
