#pragma once
// The notices a GPS interface posts to its window (the main frame): message kUserMessage,
// wparam the notice code, lparam an owned heap copy of the fix record at that moment. The
// input's own record never leaves its thread; the window's handler takes the copy over with
// TakeGpsNoticeRecord, so it reads a record nothing else writes.
#include <cstdint>
#include <memory>

#include "core/app/gps_position_info.h"
#include "platform/os/message_queue.h"

enum GpsNotice : uint32_t {
  kGpsNoticeFix = 0,          // a new fix (or a new time of an invalid one)
  kGpsNoticeSatellites = 33,  // the satellite table is complete
  kGpsNoticeFailure = 77,     // the input stopped: the port could not be opened or went quiet
};

// Posts the notice with a copy of record; false (and nothing leaks) when the window is closed.
bool PostGpsNotice(vd::os::MessageWindow& window, GpsNotice notice,
                   const GPS_position_info& record);

// The record a GPS notice carries, now owned by the caller; null for any other message. Call it
// exactly once for each GPS notice handled. A window closed with notices still queued drops
// them, so stop the GPS input before closing its window.
std::unique_ptr<GPS_position_info> TakeGpsNoticeRecord(const vd::os::Message& message);
