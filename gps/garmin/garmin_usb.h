#pragma once
// The packet link over USB. Packets carry a 12-byte little-endian header: packet type (0 the USB
// layer, 20 the application), 3 reserved bytes, packet id (16 bits), 2 reserved bytes, data size
// (32 bits). The program writes on the bulk pipe; the device answers on the interrupt pipe, and
// when it has more to say it sends "data waiting" there and the rest comes on the bulk pipe until
// a bulk read returns nothing. USB needs no acknowledgements. Packets whose id or size does not
// fit the program's packets (ids above 255, more than 255 data bytes) are refused.
#include <memory>

#include "gps/garmin/garmin_io.h"
#include "gps/garmin/garmin_usb_transport.h"

class CGarminUSB : public CGarminIO {
 public:
  // transport: the libusb one when null. Starts the live-position thread unless told not to.
  CGarminUSB(vd::os::MessageWindow& window, const GPSParams& params, GPS_position_info& record,
             std::unique_ptr<GarminUsbTransport> transport = nullptr,
             std::shared_ptr<GpsReaderClock> clock = nullptr, bool start_live_position = true);
  ~CGarminUSB() override;

  bool SendRawPacket(const GarminPacket& packet) override;
  bool ReceiveRawPacket(GarminPacket& packet) override;
  bool SendPacket(const GarminPacket& packet) override;
  bool ReceivePacket(GarminPacket& packet) override;
  bool Open() override;

 private:
  std::unique_ptr<GarminUsbTransport> transport_;
  bool open_ = false;
  bool bulk_ = false;  // the device said data is waiting on the bulk pipe
};

inline constexpr size_t kUsbHeaderSize = 12;
inline constexpr uint8_t kUsbProtocolLayer = 0;
inline constexpr uint8_t kUsbApplicationLayer = 20;
inline constexpr uint16_t kUsbDataAvailable = 2;
inline constexpr uint16_t kUsbStartSession = 5;
