#pragma once
// Test support: a device that speaks the packet protocol at the packet level, and a USB
// transport that puts it behind the three pipes. The device keeps what the program sends it
// (marks, routes, tracks, proximity marks) as the packets it received and hands them back on
// request, so a transfer to it and back runs both directions of the program's code.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "gps/garmin/garmin_packet.h"
#include "gps/garmin/garmin_records.h"
#include "gps/garmin/garmin_usb.h"
#include "gps/gps_reader_clock.h"

namespace vd::test {

// A protocol array from tags and numbers: {{'P', 0}, {'L', 1}, {'A', 10}, ...}.
inline std::vector<uint8_t> ProtocolArray(const std::vector<std::pair<char, uint16_t>>& tags) {
  std::vector<uint8_t> data;
  PacketWriter w(data);
  for (const auto& [tag, n] : tags) w.U8(static_cast<uint8_t>(tag)).U16(n);
  return data;
}

// A device that speaks everything the program knows with the given types.
inline std::vector<uint8_t> FullProtocolArray(uint16_t waypoint, uint16_t route_protocol,
                                              uint16_t route_header, uint16_t track_protocol,
                                              uint16_t track_header, uint16_t track_point,
                                              uint16_t proximity = 400) {
  std::vector<std::pair<char, uint16_t>> tags = {
      {'P', 0}, {'L', 1}, {'A', 10}, {'A', 100}, {'D', waypoint}, {'A', route_protocol},
      {'D', route_header}, {'D', waypoint}};
  if (route_protocol == 201) tags.push_back({'D', 210});
  tags.push_back({'A', track_protocol});
  if (track_protocol != 300) tags.push_back({'D', track_header});
  tags.push_back({'D', track_point});
  tags.insert(tags.end(), {{'A', 400}, {'D', proximity}, {'A', 600}, {'D', 600}, {'A', 800}, {'D', 800}});
  return ProtocolArray(tags);
}

class FakeGarminDevice {
 public:
  uint16_t product_id = 4242;
  uint16_t software_version = 310;
  std::string description = "Test Unit Software Version 3.10";
  bool answers_product_request = true;
  bool sends_protocol_array = true;
  std::vector<uint8_t> protocol_array = FullProtocolArray(108, 201, 202, 301, 310, 301);
  // 2024-03-31 12:34:56
  std::vector<uint8_t> date_time = {3, 31, 0xE8, 0x07, 12, 0, 34, 56};
  GarminPvt pvt;
  bool sends_positions = true;  // when asked to

  // What the device holds, as the packets that carry it.
  std::vector<GarminPacket> waypoints, routes, tracks, proximity;
  std::atomic<bool> pvt_on{false};

  // The packets the device sends in answer to one from the program.
  std::vector<GarminPacket> Handle(const GarminPacket& in) {
    std::lock_guard lock(mutex_);
    received_.push_back(in);
    if (in.id == kPidProductRequest) {
      std::vector<GarminPacket> out;
      if (!answers_product_request) return out;
      GarminPacket product{kPidProductData, {}};
      PacketWriter(product.data).U16(product_id).U16(software_version).CString(description);
      out.push_back(product);
      if (sends_protocol_array) out.push_back({kPidProtocolArray, protocol_array});
      return out;
    }
    if (in.id == kPidCommand) {
      switch (PacketReader(in.data).U16()) {
        case kCmdTransferTime: return {{kPidDateTime, date_time}};
        case kCmdStartPvt: pvt_on = sends_positions; return {};
        case kCmdStopPvt: pvt_on = false; return {};
        case kCmdTransferWaypoints: return Held(waypoints, kCmdTransferWaypoints);
        case kCmdTransferRoutes: return Held(routes, kCmdTransferRoutes);
        case kCmdTransferTracks: return Held(tracks, kCmdTransferTracks);
        case kCmdTransferProximity: return Held(proximity, kCmdTransferProximity);
        default: return {};
      }
    }
    if (in.id == kPidRecords) {
      upload_.clear();
    } else if (in.id == kPidTransferComplete) {
      switch (PacketReader(in.data).U16()) {
        case kCmdTransferWaypoints: waypoints = upload_; break;
        case kCmdTransferRoutes: routes = upload_; break;
        case kCmdTransferTracks: tracks = upload_; break;
        case kCmdTransferProximity: proximity = upload_; break;
        default: break;
      }
    } else {
      upload_.push_back(in);
    }
    return {};
  }

  GarminPacket PvtPacket() const { return {kPidPvt, EncodePvt(pvt)}; }

  std::vector<GarminPacket> received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  std::vector<GarminPacket> Held(const std::vector<GarminPacket>& held, uint16_t command) {
    std::vector<GarminPacket> out{U16Packet(kPidRecords, static_cast<uint16_t>(held.size()))};
    out.insert(out.end(), held.begin(), held.end());
    out.push_back(U16Packet(kPidTransferComplete, command));
    return out;
  }

  mutable std::mutex mutex_;
  std::vector<GarminPacket> received_;
  std::vector<GarminPacket> upload_;
};

inline std::vector<uint8_t> UsbBytes(uint8_t type, uint16_t id, const std::vector<uint8_t>& data,
                                     uint32_t size_field) {
  std::vector<uint8_t> bytes(kUsbHeaderSize + data.size(), 0);
  bytes[0] = type;
  bytes[4] = static_cast<uint8_t>(id);
  bytes[5] = static_cast<uint8_t>(id >> 8);
  for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<uint8_t>(size_field >> (8 * i));
  std::copy(data.begin(), data.end(), bytes.begin() + kUsbHeaderSize);
  return bytes;
}
inline std::vector<uint8_t> UsbBytes(uint8_t type, uint16_t id, const std::vector<uint8_t>& data) {
  return UsbBytes(type, id, data, static_cast<uint32_t>(data.size()));
}

// The device behind the USB pipes, sending in order. Answers of up to 52 data bytes come on the
// interrupt pipe; before a longer one the device says "data waiting" there, and that answer and
// those that follow it at once come on the bulk pipe. A read of the pipe the next answer is not
// on gets nothing. An interrupt read with nothing to say yields a position packet while
// positions are on, else lets 200 ms pass on the clock (when given).
class FakeUsbTransport : public GarminUsbTransport {
 public:
  FakeUsbTransport(std::shared_ptr<FakeGarminDevice> device,
                   std::shared_ptr<GpsReaderClock> clock = nullptr)
      : device_(std::move(device)), clock_(std::move(clock)) {}

  bool present = true;
  size_t max_read = 1 << 16;  // bytes a read delivers at most

  bool Open(int& error) override {
    error = present ? 0 : 19;
    return present;
  }
  void Close() override {}

  int Write(const uint8_t* data, size_t size) override {
    std::lock_guard lock(mutex_);
    if (size < kUsbHeaderSize) return -1;
    const uint16_t id = static_cast<uint16_t>(data[4] | data[5] << 8);
    if (data[0] == kUsbProtocolLayer) {
      if (id == kUsbStartSession) queue_.push_back({false, UsbBytes(kUsbProtocolLayer, 6, {1, 0, 0, 0})});
      return static_cast<int>(size);
    }
    const GarminPacket in{static_cast<uint8_t>(id),
                          std::vector<uint8_t>(data + kUsbHeaderSize, data + size)};
    for (const GarminPacket& out : device_->Handle(in)) Queue(out);
    return static_cast<int>(size);
  }

  int ReadInterrupt(uint8_t* data, size_t size) override {
    std::unique_lock lock(mutex_);
    if (queue_.empty() && device_->pvt_on) Queue(device_->PvtPacket());
    if (queue_.empty() || queue_.front().first) {
      lock.unlock();
      if (clock_) clock_->Sleep(200, {});
      return 0;
    }
    return Deliver(data, size);
  }

  int ReadBulk(uint8_t* data, size_t size) override {
    std::lock_guard lock(mutex_);
    if (queue_.empty() || !queue_.front().first) return 0;
    return Deliver(data, size);
  }

  // Puts raw bytes on a pipe as the device would send them.
  void Push(bool bulk, std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    queue_.push_back({bulk, std::move(bytes)});
  }

 private:
  void Queue(const GarminPacket& p) {
    std::vector<uint8_t> bytes = UsbBytes(kUsbApplicationLayer, p.id, p.data);
    const bool in_bulk_run = !queue_.empty() && queue_.back().first;
    if (!in_bulk_run && bytes.size() > 64)
      queue_.push_back({false, UsbBytes(kUsbProtocolLayer, kUsbDataAvailable, {})});
    queue_.push_back({in_bulk_run || bytes.size() > 64, std::move(bytes)});
  }

  int Deliver(uint8_t* data, size_t size) {
    std::vector<uint8_t>& front = queue_.front().second;
    const size_t n = std::min({size, front.size(), max_read});
    std::copy(front.begin(), front.begin() + static_cast<ptrdiff_t>(n), data);
    front.erase(front.begin(), front.begin() + static_cast<ptrdiff_t>(n));
    if (front.empty()) queue_.pop_front();
    return static_cast<int>(n);
  }

  std::shared_ptr<FakeGarminDevice> device_;
  std::shared_ptr<GpsReaderClock> clock_;
  std::mutex mutex_;
  std::deque<std::pair<bool, std::vector<uint8_t>>> queue_;  // (on the bulk pipe, bytes)
};

}  // namespace vd::test
