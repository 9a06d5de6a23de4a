#pragma once
// The Garmin kinds of the GPS factory. The shell calls this for GPSParams::kGarmin (the gps
// library cannot reach this one): port kind 0 makes a CGarminSerial on the params' port; port
// kind 1 a CGarminUSB when such a device can be opened now, else a CGarminMassStorage.
#include <memory>
#include <string>
#include <vector>

#include "app/gps_position_info.h"
#include "gps/garmin/garmin_usb_transport.h"
#include "gps/gps_interface.h"
#include "gps/gps_params.h"
#include "platform/os/message_queue.h"

// Clears record's simulated flag and sets its restart_silently flag first, as the factory
// does. Null with *error set for another type or port kind. usb: the transport to try (the
// libusb one when null); it is kept by the USB interface. drive_roots: where a mass-storage
// device is looked for (the mount points of removable media when empty).
std::unique_ptr<CGPSInterface> CreateGarminInterface(
    vd::os::MessageWindow& frame, const GPSParams& params, GPS_position_info& record,
    std::string* error = nullptr, std::unique_ptr<GarminUsbTransport> usb = nullptr,
    std::vector<std::string> drive_roots = {});
