#pragma once
// Packets of the device link as the program handles them, whatever carries them: an id and up
// to 255 data bytes. Also the little-endian field reader and writer the data records use, and
// the framing of a packet on a serial line:
//
//   DLE id size data... checksum DLE ETX
//
// where size, data and checksum bytes equal to DLE are sent twice, and the checksum is the
// two's complement of the low 8 bits of the sum of id, size and data.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Packet ids of the link and of the application protocols.
enum GarminPid : uint8_t {
  kPidAck = 6,
  kPidCommand = 10,
  kPidTransferComplete = 12,
  kPidDateTime = 14,
  kPidNak = 21,
  kPidProximityWaypoint = 19,
  kPidRecords = 27,
  kPidRouteHeader = 29,
  kPidRouteWaypoint = 30,
  kPidTrackPoint = 34,
  kPidWaypoint = 35,
  kPidPvt = 51,
  kPidRouteLink = 98,
  kPidTrackHeader = 99,
  kPidProtocolArray = 253,
  kPidProductRequest = 254,
  kPidProductData = 255,
};

// Commands sent in a kPidCommand packet (and named by a kPidTransferComplete packet).
enum GarminCommand : uint16_t {
  kCmdTransferProximity = 3,
  kCmdTransferRoutes = 4,
  kCmdTransferTime = 5,
  kCmdTransferTracks = 6,
  kCmdTransferWaypoints = 7,
  kCmdStartPvt = 49,
  kCmdStopPvt = 50,
};

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr size_t kMaxPacketData = 255;

struct GarminPacket {
  uint8_t id = 0;
  std::vector<uint8_t> data;  // at most kMaxPacketData bytes

  bool operator==(const GarminPacket&) const = default;
};

// Appends little-endian fields to a packet's data. Bytes beyond kMaxPacketData are dropped and
// make ok() false.
class PacketWriter {
 public:
  explicit PacketWriter(std::vector<uint8_t>& out) : out_(out) {}
  PacketWriter& U8(uint8_t v);
  PacketWriter& U16(uint16_t v);
  PacketWriter& U32(uint32_t v);
  PacketWriter& I16(int16_t v) { return U16(static_cast<uint16_t>(v)); }
  PacketWriter& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  PacketWriter& F32(float v);
  PacketWriter& F64(double v);
  PacketWriter& Zeros(size_t n);
  // Exactly width bytes: the text cut to width, padded with pad.
  PacketWriter& Fixed(std::string_view text, size_t width, char pad = ' ');
  // The text and its NUL.
  PacketWriter& CString(std::string_view text);
  bool ok() const { return ok_; }

 private:
  std::vector<uint8_t>& out_;
  bool ok_ = true;
};

// Reads little-endian fields from a packet's data. Reading past the end yields zeros and makes
// ok() false, so a record is decoded in one go and checked once.
class PacketReader {
 public:
  explicit PacketReader(const std::vector<uint8_t>& data) : data_(data) {}
  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  int16_t I16() { return static_cast<int16_t>(U16()); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  float F32();
  double F64();
  void Skip(size_t n);
  // width bytes, ended early at a NUL.
  std::string Fixed(size_t width);
  // Bytes up to a NUL (which is consumed) or the end of the data.
  std::string CString();
  size_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
  bool ok() const { return ok_; }

 private:
  bool Take(size_t n, const uint8_t*& p);
  const std::vector<uint8_t>& data_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// A command packet.
GarminPacket CommandPacket(uint16_t command);
// A packet holding one 16-bit value (records count, transfer complete).
GarminPacket U16Packet(uint8_t id, uint16_t value);

// The wire bytes of a packet on a serial line.
std::string EncodeSerialFrame(const GarminPacket& packet);

enum class FrameResult { kOk, kTimeout, kBadFrame };
// Reads one frame from next_byte (false: no byte in time). Bytes before the first DLE are
// skipped. kBadFrame for a checksum that does not add up or a trailer other than DLE ETX.
FrameResult DecodeSerialFrame(const std::function<bool(uint8_t&)>& next_byte,
                              GarminPacket& packet);

// "%02x " of every data byte, for the debug log.
std::string HexBytes(const std::vector<uint8_t>& data);
