#pragma once
// What the newer overlay model asks of the program's main window: the status line, hints and
// warnings, links and chart downloads. The program installs its implementation
// (overlays/model/ui/window_overlay_shell.h); without one nothing is shown, links go to the
// desktop and no chart data is downloaded.
#include <string>
#include <utility>
#include <vector>

class COverlayShell {
 public:
  virtual ~COverlayShell() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void ClearStatusText() = 0;
  // A short information message for the user.
  virtual void ShowHint(const std::string& text) = 0;
  // A problem the user has to know of, in a warning box with the caption.
  virtual void ShowWarning(const std::string& caption, const std::string& text) = 0;
  // Opens a mark's link with the desktop's handler.
  virtual void OpenLink(const std::string& link);
  // Whether the current chart view shows a chart that can download its missing data.
  virtual bool CanDownloadChartData() { return false; }
  // Downloads the current chart's missing data along the (longitude, latitude) points, in a
  // corridor of the chart's corridor setting (nautical miles x 1852 metres either side), or,
  // for a polygon, inside them.
  virtual void DownloadChartData(const std::vector<std::pair<double, double>>& /*points*/,
                                 bool /*polygon*/) {}

  static COverlayShell* Get();
  // Installs shell (null: none); the caller keeps it alive while installed.
  static void Install(COverlayShell* shell);
};
