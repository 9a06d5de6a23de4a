#include "gps/gps_notice.h"

#include <memory>

bool PostGpsNotice(vd::os::MessageWindow& window, GpsNotice notice,
                   const GPS_position_info& record) {
  return window.Post(vd::os::kUserMessage, notice,
                     std::make_shared<const GPS_position_info>(record));
}

const GPS_position_info* GpsNoticeRecord(const vd::os::Message& message) {
  if (message.msg != vd::os::kUserMessage || message.lparam == 0) return nullptr;
  switch (message.wparam) {
    case kGpsNoticeFix:
    case kGpsNoticeSatellites:
    case kGpsNoticeFailure:
      return reinterpret_cast<const GPS_position_info*>(message.lparam);
    default:
      return nullptr;
  }
}
