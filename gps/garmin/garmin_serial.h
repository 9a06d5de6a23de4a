#pragma once
// The packet link over a serial port (9600 baud, 8 data bits, one stop bit, no flow control):
// every packet is framed (garmin_packet.h) and acknowledged. A packet sent is repeated until the
// device acknowledges it, up to 10 times; a packet received is acknowledged, and a frame that
// does not arrive whole or does not add up is answered with a NAK so that the device repeats
// it, again up to 10 times. Each byte is waited for at most 200 ms.
#include <memory>
#include <string>

#include "gps/garmin/garmin_io.h"
#include "platform/os/serial_port.h"

class CGarminSerial : public CGarminIO {
 public:
  // Starts the live-position thread unless told not to (tests drive the link themselves).
  CGarminSerial(vd::os::MessageWindow& window, const GPSParams& params, GPS_position_info& record,
                std::shared_ptr<GpsReaderClock> clock = nullptr, bool start_live_position = true);
  ~CGarminSerial() override;

  bool SendRawPacket(const GarminPacket& packet) override;
  bool ReceiveRawPacket(GarminPacket& packet) override;
  bool SendPacket(const GarminPacket& packet) override;
  bool ReceivePacket(GarminPacket& packet) override;
  bool Open() override;

 private:
  bool ReadByte(uint8_t& byte);

  std::string port_name_;
  vd::os::SerialPort port_;
  uint8_t buffer_[256];
  size_t buffer_pos_ = 0;
  size_t buffer_end_ = 0;
};
