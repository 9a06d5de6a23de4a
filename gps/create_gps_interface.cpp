#include "gps/create_gps_interface.h"

#include "gps/nmea_input.h"
#include "platform/os/numbers.h"

std::unique_ptr<CGPSInterface> CreateGpsInterface(vd::os::MessageWindow& frame,
                                                  const GPSParams& params,
                                                  GPS_position_info& record, std::string* error,
                                                  std::shared_ptr<GpsReaderClock> clock) {
  record.simulated = 0;
  record.restart_silently = 1;
  if (error) error->clear();
  std::string why;
  switch (params.type) {
    case GPSParams::kNone:
      return nullptr;
    case GPSParams::kNmea:
      return std::make_unique<CNMEA_input>(frame, params, record, std::move(clock));
    case GPSParams::kGarmin:
      if (params.port_kind == GPSParams::kSerialPort)
        why = "Garmin devices on a serial port are not supported by this version";
      else if (params.port_kind == GPSParams::kUsb)
        why = "Garmin USB and mass-storage devices are not supported by this version";
      else
        why = vd::os::FormatC("Unknown Garmin port kind %d", params.port_kind);
      break;
    case GPSParams::kSimulator:
      why = "The GPS simulator is not available in this version";
      break;
    default:
      why = vd::os::FormatC("Unknown GPS type %d", params.type);
      break;
  }
  if (error) *error = why;
  return nullptr;
}
