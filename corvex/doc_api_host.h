#pragma once
// The program's document as the inter-program requests see it.
#include "corvex/api_executor.h"
#include "corvex/api_handle_table.h"

class COstrelDoc;

class CDocApiHost : public CApiHost {
 public:
  explicit CDocApiHost(COstrelDoc& document) : document_(document) {}

  COstrelDocBase& Document() override;
  CApiHandleTable& Handles() override { return handles_; }
  CObjCurrentPosition* PeekCurrentPosition() override;
  CObjCurrentPosition* GetCurrentPositionObject() override;
  void UpdateGPSPosition(const GPS_position_info& fix) override;
  bool GetGPSViewArea(double& north, double& south, double& east, double& west) override;
  void SyncViewsTo(double lat, double lon) override;
  COstrelObject* GetViewTargetObject() override;
  void SetPositionMarkerInViews(double lat, double lon) override;
  // In the view showing the chart, opened in a chart view when none does.
  int RenderChartAreaToDDS(const std::string& chart_path, const std::string& output_path,
                           int32_t zoom_shift, int32_t x, int32_t y, int32_t width,
                           int32_t height) override;
  bool HasFinishedStarting() override;

 private:
  COstrelDoc& document_;
  CApiHandleTable handles_;
};
