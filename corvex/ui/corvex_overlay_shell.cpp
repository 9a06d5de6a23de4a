#include "corvex/ui/corvex_overlay_shell.h"

#include "corvex/ostrel_view.h"
#include "corvex/ui/main_frame.h"

CCorvexOverlayShell::CCorvexOverlayShell(CMainFrame* frame) : CWindowOverlayShell(frame) {}

COstrelView* CCorvexOverlayShell::ActiveView() const {
  const auto* frame = dynamic_cast<const CMainFrame*>(window());
  return frame ? dynamic_cast<COstrelView*>(frame->ActiveChartView()) : nullptr;
}

bool CCorvexOverlayShell::CanDownloadChartData() {
  const COstrelView* view = ActiveView();
  return view != nullptr && view->IsDownloadableChart();
}

void CCorvexOverlayShell::DownloadChartData(const std::vector<std::pair<double, double>>& points,
                                            bool polygon) {
  if (COstrelView* view = ActiveView()) view->DownloadRouteData(points, polygon);
}
