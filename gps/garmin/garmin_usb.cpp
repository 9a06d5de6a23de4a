#include "gps/garmin/garmin_usb.h"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kInterruptReadSize = 64;
constexpr size_t kMaxUsbPacket = kUsbHeaderSize + kMaxPacketData;

std::vector<uint8_t> UsbPacket(uint8_t type, uint16_t id, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes(kUsbHeaderSize + data.size(), 0);
  bytes[0] = type;
  bytes[4] = static_cast<uint8_t>(id);
  bytes[5] = static_cast<uint8_t>(id >> 8);
  const uint32_t size = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<uint8_t>(size >> (8 * i));
  for (size_t i = 0; i < data.size(); ++i) bytes[kUsbHeaderSize + i] = data[i];
  return bytes;
}

}  // namespace

CGarminUSB::CGarminUSB(vd::os::MessageWindow& window, const GPSParams& params,
                       GPS_position_info& record, std::unique_ptr<GarminUsbTransport> transport,
                       std::shared_ptr<GpsReaderClock> clock, bool start_live_position)
    : CGarminIO(window, params, record, std::move(clock)),
      transport_(transport ? std::move(transport) : MakeLibusbGarminTransport()) {
  if (start_live_position) StartLivePosition();
}

CGarminUSB::~CGarminUSB() {
  StopLivePosition();
  transport_->Close();
}

bool CGarminUSB::Open() {
  if (open_) return true;
  ClearMessage();
  bulk_ = false;
  int error = 0;
  if (!transport_->Open(error)) {
    SetError("Can't open USB device\nError %d", error);
    record().restart_silently = 0;
    return false;
  }
  const std::vector<uint8_t> start = UsbPacket(kUsbProtocolLayer, kUsbStartSession, {});
  uint8_t reply[kInterruptReadSize];
  if (transport_->Write(start.data(), start.size()) != static_cast<int>(start.size()) ||
      transport_->ReadInterrupt(reply, sizeof reply) <= 0) {
    SetError("USB device does not answer");
    transport_->Close();
    return false;
  }
  open_ = true;
  return true;
}

bool CGarminUSB::SendRawPacket(const GarminPacket&) { return true; }

bool CGarminUSB::ReceiveRawPacket(GarminPacket& packet) { return ReceivePacket(packet); }

bool CGarminUSB::SendPacket(const GarminPacket& packet) {
  LogPacket("\t--> USB Send ", packet);
  if (!open_) return false;
  const std::vector<uint8_t> bytes = UsbPacket(kUsbApplicationLayer, packet.id, packet.data);
  return transport_->Write(bytes.data(), bytes.size()) == static_cast<int>(bytes.size());
}

bool CGarminUSB::ReceivePacket(GarminPacket& packet) {
  if (!open_) return false;
  for (;;) {
    uint8_t buffer[kMaxUsbPacket];
    const bool from_bulk = bulk_;
    const auto read = [&](uint8_t* at, size_t size) {
      return from_bulk ? transport_->ReadBulk(at, size)
                       : transport_->ReadInterrupt(at, std::min(size, kInterruptReadSize));
    };
    int n = read(buffer, sizeof buffer);
    if (n <= 0) {
      if (!from_bulk) return false;
      bulk_ = false;  // the bulk pipe is drained: back to the interrupt pipe
      continue;
    }
    if (static_cast<size_t>(n) < kUsbHeaderSize) return false;
    const uint8_t type = buffer[0];
    const uint16_t id = static_cast<uint16_t>(buffer[4] | buffer[5] << 8);
    const uint32_t size = buffer[8] | buffer[9] << 8 | buffer[10] << 16 |
                          static_cast<uint32_t>(buffer[11]) << 24;
    if (size > kMaxPacketData || id > 0xFF) {
      GpsLogPrintf(this, "USB packet refused: id %u, size %u", id, size);
      return false;
    }
    const size_t whole = kUsbHeaderSize + size;
    size_t have = static_cast<size_t>(n);
    while (have < whole) {  // a packet longer than one read
      const int more = read(buffer + have, whole - have);
      if (more <= 0) return false;
      have += static_cast<size_t>(more);
    }
    if (type == kUsbProtocolLayer && id == kUsbDataAvailable) {
      bulk_ = true;
      continue;
    }
    packet.id = static_cast<uint8_t>(id);
    packet.data.assign(buffer + kUsbHeaderSize, buffer + whole);
    LogPacket("\t<-- USB Recv ", packet, true);
    return true;
  }
}
