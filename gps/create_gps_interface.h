#pragma once
// Creates the GPS input that the connection settings ask for.
#include <memory>
#include <string>

#include "app/gps_position_info.h"
#include "gps/gps_interface.h"
#include "gps/gps_params.h"
#include "gps/gps_reader_clock.h"
#include "platform/os/message_queue.h"

// Clears record's simulated flag and sets its restart_silently flag, then by params.type:
// kNmea creates a CNMEA_input, which starts reading at once and posts its notices to frame.
// Returns null for kNone, and null with *error set for unknown kinds and for the kinds made
// elsewhere: Garmin devices by CreateGarminInterface (their own library), the simulator by the
// program's simulator window. clock: the reader's clock (the system's when null).
std::unique_ptr<CGPSInterface> CreateGpsInterface(vd::os::MessageWindow& frame,
                                                  const GPSParams& params,
                                                  GPS_position_info& record,
                                                  std::string* error = nullptr,
                                                  std::shared_ptr<GpsReaderClock> clock = nullptr);
