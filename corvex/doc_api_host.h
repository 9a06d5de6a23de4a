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
  bool HasFinishedStarting() override;

 private:
  COstrelDoc& document_;
  CApiHandleTable handles_;
};
