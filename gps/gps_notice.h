#pragma once
// The notices a GPS interface posts to its window (the main frame): message kUserMessage,
// wparam the notice code, lparam a copy of the fix record at that moment. The input's own
// record never leaves its thread; the window owns the copy and frees it once the notice has
// been handled or dropped, so the handler reads a record nothing else writes, and notices
// still queued when the window closes cost nothing.
#include <cstdint>

#include "app/gps_position_info.h"
#include "platform/os/message_queue.h"

enum GpsNotice : uint32_t {
  kGpsNoticeFix = 0,          // a new fix (or a new time of an invalid one)
  kGpsNoticeSatellites = 33,  // the satellite table is complete
  kGpsNoticeFailure = 77,     // the input stopped: the port could not be opened or went quiet
};

// Posts the notice with a copy of record; false when the window is closed.
bool PostGpsNotice(vd::os::MessageWindow& window, GpsNotice notice,
                   const GPS_position_info& record);

// The record a GPS notice carries, valid until the handler returns (copy what is kept); null
// for any other message.
const GPS_position_info* GpsNoticeRecord(const vd::os::Message& message);
