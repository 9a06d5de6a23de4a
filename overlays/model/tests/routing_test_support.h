#pragma once
// Shared pieces of the routing and action-sheet tests of the newer model: routes of the mark
// manager, encoded polylines, and a shell that records what the model tells the user.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_shell.h"

namespace vd::test {

// A route of the manager with points spaced northwards from (50, -1), named P1, P2, ...
inline COverlayRoute* MakeRoute(CMarkManager& marks, int points, double spacing_degrees = 0.01) {
  COverlayRoute* route = marks.AddRoute(std::make_unique<COverlayRoute>());
  for (int i = 0; i < points; ++i) {
    auto mark = std::make_unique<COverlayMark>(true);
    mark->latitude = 50.0 + i * spacing_degrees;
    mark->longitude = -1.0;
    mark->name = "P" + std::to_string(i + 1);
    route->InsertPoint(std::move(mark), route->points.size());
  }
  return route;
}

// The polyline text of (latitude, longitude) points: differences in 1e-5 degrees, five bits a
// character from code 63 on.
inline std::string EncodePolyline(const std::vector<std::pair<double, double>>& points) {
  std::string text;
  auto number = [&](int64_t value) {
    uint64_t v = value < 0 ? ~(static_cast<uint64_t>(value) << 1) : static_cast<uint64_t>(value) << 1;
    while (v >= 0x20) {
      text += static_cast<char>((0x20 | (v & 0x1F)) + 63);
      v >>= 5;
    }
    text += static_cast<char>(v + 63);
  };
  int64_t lat = 0;
  int64_t lon = 0;
  for (const auto& [point_lat, point_lon] : points) {
    const auto next_lat = static_cast<int64_t>(std::llround(point_lat * 1e5));
    const auto next_lon = static_cast<int64_t>(std::llround(point_lon * 1e5));
    number(next_lat - lat);
    number(next_lon - lon);
    lat = next_lat;
    lon = next_lon;
  }
  return text;
}

// The program's shell as a recorder, installed while it lives: warnings (texts and captions),
// hints and the status line.
class RecordingShell : public COverlayShell {
 public:
  RecordingShell() { Install(this); }
  ~RecordingShell() override { Install(nullptr); }
  RecordingShell(const RecordingShell&) = delete;
  RecordingShell& operator=(const RecordingShell&) = delete;
  void SetStatusText(const std::string& text) override { status = text; }
  void ClearStatusText() override { status.clear(); }
  void ShowHint(const std::string& text) override { hints.push_back(text); }
  void ShowWarning(const std::string& caption, const std::string& text) override {
    captions.push_back(caption);
    texts.push_back(text);
  }
  std::string status;
  std::vector<std::string> hints;
  std::vector<std::string> texts;
  std::vector<std::string> captions;
};

}  // namespace vd::test
