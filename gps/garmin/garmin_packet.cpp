#include "gps/garmin/garmin_packet.h"

#include <cstring>

#include "platform/os/numbers.h"

PacketWriter& PacketWriter::U8(uint8_t v) {
  if (out_.size() >= kMaxPacketData) {
    ok_ = false;
    return *this;
  }
  out_.push_back(v);
  return *this;
}

PacketWriter& PacketWriter::U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }

PacketWriter& PacketWriter::U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }

PacketWriter& PacketWriter::F32(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return U32(bits);
}

PacketWriter& PacketWriter::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
}

PacketWriter& PacketWriter::Zeros(size_t n) {
  for (size_t i = 0; i < n; ++i) U8(0);
  return *this;
}

PacketWriter& PacketWriter::Fixed(std::string_view text, size_t width, char pad) {
  for (size_t i = 0; i < width; ++i)
    U8(static_cast<uint8_t>(i < text.size() ? text[i] : pad));
  return *this;
}

PacketWriter& PacketWriter::CString(std::string_view text) {
  for (char c : text) U8(static_cast<uint8_t>(c));
  return U8(0);
}

bool PacketReader::Take(size_t n, const uint8_t*& p) {
  if (!ok_ || remaining() < n) {
    ok_ = false;
    pos_ = data_.size();
    return false;
  }
  p = data_.data() + pos_;
  pos_ += n;
  return true;
}

uint8_t PacketReader::U8() {
  const uint8_t* p;
  return Take(1, p) ? p[0] : 0;
}

uint16_t PacketReader::U16() {
  const uint8_t* p;
  return Take(2, p) ? static_cast<uint16_t>(p[0] | p[1] << 8) : 0;
}

uint32_t PacketReader::U32() {
  const uint8_t* p;
  if (!Take(4, p)) return 0;
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float PacketReader::F32() {
  const uint32_t bits = U32();
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

double PacketReader::F64() {
  const uint64_t low = U32();
  const uint64_t bits = low | static_cast<uint64_t>(U32()) << 32;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void PacketReader::Skip(size_t n) {
  const uint8_t* p;
  Take(n, p);
}

std::string PacketReader::Fixed(size_t width) {
  const uint8_t* p;
  if (!Take(width, p)) return {};
  const auto* end = static_cast<const uint8_t*>(std::memchr(p, 0, width));
  return std::string(reinterpret_cast<const char*>(p), end ? end - p : width);
}

std::string PacketReader::CString() {
  std::string text;
  while (pos_ < data_.size()) {
    const char c = static_cast<char>(data_[pos_++]);
    if (c == '\0') return text;
    text += c;
  }
  return text;
}

GarminPacket CommandPacket(uint16_t command) { return U16Packet(kPidCommand, command); }

GarminPacket U16Packet(uint8_t id, uint16_t value) {
  GarminPacket packet{id, {}};
  PacketWriter(packet.data).U16(value);
  return packet;
}

std::string EncodeSerialFrame(const GarminPacket& packet) {
  const uint8_t size = static_cast<uint8_t>(packet.data.size());
  std::string frame;
  frame.reserve(2 * packet.data.size() + 8);
  const auto stuffed = [&frame](uint8_t b) {
    frame += static_cast<char>(b);
    if (b == kDle) frame += static_cast<char>(b);
  };
  frame += static_cast<char>(kDle);
  frame += static_cast<char>(packet.id);
  stuffed(size);
  uint8_t sum = packet.id + size;
  for (size_t i = 0; i < size; ++i) {
    stuffed(packet.data[i]);
    sum += packet.data[i];
  }
  stuffed(static_cast<uint8_t>(-sum));
  frame += static_cast<char>(kDle);
  frame += static_cast<char>(kEtx);
  return frame;
}

FrameResult DecodeSerialFrame(const std::function<bool(uint8_t&)>& next_byte,
                              GarminPacket& packet) {
  uint8_t b = 0;
  do {
    if (!next_byte(b)) return FrameResult::kTimeout;
  } while (b != kDle);
  bool timed_out = false;
  const auto plain = [&]() -> uint8_t {
    uint8_t v = 0;
    if (!timed_out && !next_byte(v)) timed_out = true;
    return v;
  };
  // A DLE inside the frame stands for the byte that follows it.
  const auto unstuffed = [&]() -> uint8_t {
    const uint8_t v = plain();
    return v == kDle ? plain() : v;
  };
  packet.id = plain();
  const uint8_t size = unstuffed();
  uint8_t sum = packet.id + size;
  packet.data.resize(size);
  for (uint8_t& d : packet.data) {
    d = unstuffed();
    sum += d;
  }
  sum += unstuffed();
  const uint8_t dle = plain();
  const uint8_t etx = plain();
  if (timed_out) return FrameResult::kTimeout;
  return sum == 0 && dle == kDle && etx == kEtx ? FrameResult::kOk : FrameResult::kBadFrame;
}

std::string HexBytes(const std::vector<uint8_t>& data) {
  std::string text;
  text.reserve(3 * data.size());
  for (uint8_t b : data) text += vd::os::FormatC("%02x ", b);
  return text;
}
