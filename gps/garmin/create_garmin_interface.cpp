#include "gps/garmin/create_garmin_interface.h"

#include "gps/garmin/garmin_mass_storage.h"
#include "gps/garmin/garmin_serial.h"
#include "gps/garmin/garmin_usb.h"
#include "platform/os/numbers.h"

std::unique_ptr<CGPSInterface> CreateGarminInterface(vd::os::MessageWindow& frame,
                                                     const GPSParams& params,
                                                     GPS_position_info& record, std::string* error,
                                                     std::unique_ptr<GarminUsbTransport> usb,
                                                     std::vector<std::string> drive_roots) {
  record.simulated = 0;
  record.restart_silently = 1;
  if (error) error->clear();
  std::string why;
  if (params.type != GPSParams::kGarmin) {
    why = vd::os::FormatC("Not a Garmin GPS type: %d", params.type);
  } else if (params.port_kind == GPSParams::kSerialPort) {
    return std::make_unique<CGarminSerial>(frame, params, record);
  } else if (params.port_kind == GPSParams::kUsb) {
    int open_error = 0;
    const bool answers = usb ? usb->Open(open_error) : GarminUSBAvailable();
    if (usb) usb->Close();
    if (answers) return std::make_unique<CGarminUSB>(frame, params, record, std::move(usb));
    return std::make_unique<CGarminMassStorage>(frame, params, record, std::move(drive_roots));
  } else {
    why = vd::os::FormatC("Unknown Garmin port kind %d", params.port_kind);
  }
  if (error) *error = why;
  return nullptr;
}
