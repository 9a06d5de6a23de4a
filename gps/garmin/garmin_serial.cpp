#include "gps/garmin/garmin_serial.h"

#include <cerrno>

namespace {

constexpr int kRounds = 10;
constexpr int kByteTimeoutMs = 200;
constexpr uint32_t kBaud = 9600;

}  // namespace

CGarminSerial::CGarminSerial(vd::os::MessageWindow& window, const GPSParams& params,
                             GPS_position_info& record, std::shared_ptr<GpsReaderClock> clock,
                             bool start_live_position)
    : CGarminIO(window, params, record, std::move(clock)), port_name_(params.port) {
  if (start_live_position) StartLivePosition();
}

CGarminSerial::~CGarminSerial() { StopLivePosition(); }

bool CGarminSerial::Open() {
  if (port_.IsOpen()) return true;
  ClearMessage();
  GpsLogPrintf(this, "CGarminIO::Open: %s", port_name_.c_str());
  vd::os::SerialPort::Settings settings;
  settings.baud = kBaud;
  settings.byte_size = 8;
  settings.parity = 'N';
  settings.stop_bits = 1;
  settings.read_timeout_ms = kByteTimeoutMs;
  settings.write_timeout_ms = -1;
  if (port_.Open(port_name_, settings)) return true;
  const int error = errno;
  SetError("Can't open %s\nError %d", port_name_.c_str(), error);
  record().restart_silently = 0;
  return false;
}

bool CGarminSerial::ReadByte(uint8_t& byte) {
  if (buffer_pos_ == buffer_end_) {
    const int64_t n = port_.Read(buffer_, sizeof buffer_);
    if (n <= 0) return false;
    buffer_pos_ = 0;
    buffer_end_ = static_cast<size_t>(n);
  }
  byte = buffer_[buffer_pos_++];
  return true;
}

bool CGarminSerial::SendRawPacket(const GarminPacket& packet) {
  LogPacket("\tSend ", packet);
  const std::string frame = EncodeSerialFrame(packet);
  return port_.IsOpen() && port_.Write(frame.data(), frame.size()) == static_cast<int64_t>(frame.size());
}

bool CGarminSerial::ReceiveRawPacket(GarminPacket& packet) {
  if (!port_.IsOpen()) return false;
  const FrameResult result =
      DecodeSerialFrame([this](uint8_t& b) { return ReadByte(b); }, packet);
  if (result == FrameResult::kTimeout) return false;
  LogPacket("\t Recv ", packet);
  if (result == FrameResult::kBadFrame) {
    GpsLogPrintf(this, "Checksum error");
    return false;
  }
  return true;
}

bool CGarminSerial::SendPacket(const GarminPacket& packet) {
  if (!SendRawPacket(packet)) {
    SetError("Timeout sending packet: %d", packet.id);
    return false;
  }
  for (int round = 0; round < kRounds && !StopRequested(); ++round) {
    GarminPacket reply;
    if (!ReceiveRawPacket(reply)) {
      GpsLogPrintf(this, "Timeout waiting for Ack, resending");
      SendRawPacket(packet);
      continue;
    }
    if (reply.id == kPidAck && !reply.data.empty() && reply.data[0] == packet.id) return true;
    GpsLogPrintf(this, "Bad Ack");
    // A device that refused the frame will not acknowledge it: send it again at once.
    if (reply.id == kPidNak) SendRawPacket(packet);
  }
  SetError("Timeout sending packet: %d", packet.id);
  return false;
}

bool CGarminSerial::ReceivePacket(GarminPacket& packet) {
  for (int round = 0; round < kRounds && !StopRequested(); ++round) {
    if (!ReceiveRawPacket(packet)) {
      GpsLogPrintf(this, "Sending NAK");
      SendRawPacket({kPidNak, {}});
      continue;
    }
    if (packet.id == kPidAck || packet.id == kPidNak) continue;
    SendRawPacket({kPidAck, {packet.id, 0}});
    return true;
  }
  SetError("Timeout receiving packet");
  return false;
}
