#pragma once
// The chart program's shell of the newer overlay model: the main window's status line, hints
// and action sheets, and the chart downloads of a route's sheet, carried out by the active
// chart view ("Download map along route", "Download enclosed map").
//
// User-interface thread only.
#include <string>
#include <utility>
#include <vector>

#include "overlays/model/ui/window_overlay_shell.h"

class CMainFrame;
class COstrelView;

class CCorvexOverlayShell : public CWindowOverlayShell {
 public:
  explicit CCorvexOverlayShell(CMainFrame* frame);

  // The active chart view shows a chart whose missing chunks can be downloaded.
  bool CanDownloadChartData() override;
  // The active view downloads its chart's chunks inside the points (polygon) or along them,
  // under the progress dialog with Cancel, and shows the chart again afterwards.
  void DownloadChartData(const std::vector<std::pair<double, double>>& points,
                         bool polygon) override;

 private:
  COstrelView* ActiveView() const;
};
