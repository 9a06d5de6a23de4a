#include "gps/instruments/gps_position_feed.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "overlays/model/data_gps_position.h"
#include "overlays/model/overlay_gps_position.h"

namespace {

std::vector<CGPSPositionFeed*>& Live() {
  static std::vector<CGPSPositionFeed*> live;
  return live;
}

}  // namespace

CGPSPositionFeed::CGPSPositionFeed() { Live().push_back(this); }

CGPSPositionFeed::~CGPSPositionFeed() { std::erase(Live(), this); }

CGPSPositionFeed* CGPSPositionFeed::Instance() {
  return Live().empty() ? nullptr : Live().back();
}

void CGPSPositionFeed::OnEvent(CNMEA_GPS::GGA& gga) {
  // Quality 0: the receiver has no fix; its other fields say nothing.
  if (gga.quality == 0) return;
  have_gga_ = true;
  altitude_ = static_cast<int32_t>(std::lround(gga.altitude));
  quality_ = gga.hdop > 0.0f ? static_cast<int32_t>(std::lround(gga.hdop * kMetresPerHdop)) : 0;
}

void CGPSPositionFeed::OnEvent(CNMEA_GPS::RMC& rmc) {
  const bool usable = rmc.valid && std::fabs(rmc.latitude) <= 90.0 &&
                      std::fabs(rmc.longitude) <= 180.0 &&
                      !(rmc.latitude == 0.0 && rmc.longitude == 0.0);
  Deliver(usable, rmc.latitude, rmc.longitude, rmc.utc_time, static_cast<float>(rmc.course),
          static_cast<float>(rmc.speed_knots));
}

void CGPSPositionFeed::Reset() {
  have_gga_ = false;
  altitude_ = 0;
  quality_ = 0;
  if (COverlayGPSPosition* own = COverlayGPSPosition::Instance()) {
    own->valid = false;
    own->UpdateAveraged();
    return;
  }
  CDataGPSPosition none;
  Listener<CDataGPSPosition>::Fire(none);
}

void CGPSPositionFeed::Deliver(bool valid, double latitude, double longitude, double time,
                               float course, float speed_knots) {
  ++fixes_;
  COverlayGPSPosition* own = COverlayGPSPosition::Instance();
  if (own == nullptr) {
    CDataGPSPosition fix;
    fix.valid = valid;
    if (valid) {
      fix.latitude = latitude;
      fix.longitude = longitude;
      fix.time = time;
      fix.altitude = altitude_;
      fix.quality = quality_;
      fix.motion.course = course;
      fix.motion.speed = speed_knots;
    }
    Listener<CDataGPSPosition>::Fire(fix);
    return;
  }
  own->valid = valid;
  if (valid) {
    own->latitude = latitude;
    own->longitude = longitude;
    own->time = time;
    own->altitude = altitude_;
    own->quality = quality_;
    own->SetCurrentCourseSpeed(course, speed_knots);
  }
  own->UpdateAveraged();
}
