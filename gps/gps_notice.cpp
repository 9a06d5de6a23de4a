#include "gps/gps_notice.h"

bool PostGpsNotice(vd::os::MessageWindow& window, GpsNotice notice,
                   const GPS_position_info& record) {
  auto copy = std::make_unique<GPS_position_info>(record);
  if (!window.Post(vd::os::kUserMessage, notice, reinterpret_cast<intptr_t>(copy.get())))
    return false;
  copy.release();  // the window's handler owns it now
  return true;
}

std::unique_ptr<GPS_position_info> TakeGpsNoticeRecord(const vd::os::Message& message) {
  if (message.msg != vd::os::kUserMessage || message.lparam == 0) return nullptr;
  switch (message.wparam) {
    case kGpsNoticeFix:
    case kGpsNoticeSatellites:
    case kGpsNoticeFailure:
      return std::unique_ptr<GPS_position_info>(
          reinterpret_cast<GPS_position_info*>(message.lparam));
    default:
      return nullptr;
  }
}
