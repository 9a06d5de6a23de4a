#include "corvex/doc_api_host.h"

#include "app/app_common.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"

COstrelDocBase& CDocApiHost::Document() { return document_; }

CObjCurrentPosition* CDocApiHost::PeekCurrentPosition() { return document_.PeekCurrentPosition(); }

CObjCurrentPosition* CDocApiHost::GetCurrentPositionObject() {
  return document_.GetCurrentPositionObject();
}

void CDocApiHost::UpdateGPSPosition(const GPS_position_info& fix) {
  document_.UpdateGPSPosition(fix);
}

bool CDocApiHost::GetGPSViewArea(double& north, double& south, double& east, double& west) {
  CDocView* view = document_.GetGPSView();
  return view && view->GetVisibleArea(north, south, east, west);
}

void CDocApiHost::SyncViewsTo(double lat, double lon) { document_.SyncViewsTo(nullptr, lat, lon); }

COstrelObject* CDocApiHost::GetViewTargetObject() { return document_.fly_through_object(); }

void CDocApiHost::SetPositionMarkerInViews(double lat, double lon) {
  document_.SetPositionMarkerInViews(lat, lon);
}

int CDocApiHost::RenderChartAreaToDDS(const std::string& chart_path,
                                      const std::string& output_path, int32_t zoom_shift,
                                      int32_t x, int32_t y, int32_t width, int32_t height) {
  auto* view = dynamic_cast<COstrelView*>(document_.OpenChartView(chart_path, true));
  if (!view) return kApiNoData;
  return view->RenderAreaToDDS(output_path, zoom_shift, x, y, width, height) ? kApiOk
                                                                             : kApiIoError;
}

bool CDocApiHost::HasFinishedStarting() {
  const CAppCommon* app = CAppCommon::Instance();
  return app && app->started;
}
