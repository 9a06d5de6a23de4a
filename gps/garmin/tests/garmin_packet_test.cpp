#include "gps/garmin/garmin_packet.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Feeds the bytes of a string one by one; running out is a time-out.
struct Bytes {
  std::string bytes;
  size_t pos = 0;
  bool operator()(uint8_t& b) {
    if (pos >= bytes.size()) return false;
    b = static_cast<uint8_t>(bytes[pos++]);
    return true;
  }
};

std::string Hex(const std::string& s) {
  std::string out;
  for (unsigned char c : s) out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
  return out;
}

TEST(GarminPacket, SerialFramesStuffDleAndCarryAChecksum) {
  struct Case {
    GarminPacket packet;
    const char* wire;  // hex
  };
  const Case cases[] = {
      {{254, {}}, "10fe000210" "03"},
      {{10, {0x05, 0x00}}, "100a020500ef1003"},
      // A data byte 0x10 goes out twice; so do a size and a checksum that equal DLE.
      {{0x22, {0x10}}, "1022011010cd1003"},
      {{0x06, std::vector<uint8_t>(16, 0)}, "10061010" "00000000000000000000000000000000" "ea1003"},
      {{0xEF, {0x00}}, "10ef010010101003"},
  };
  for (const Case& c : cases) {
    const std::string frame = EncodeSerialFrame(c.packet);
    EXPECT_EQ(Hex(frame), c.wire);
    Bytes source{"\x55\xAA" + frame};  // noise before the frame is skipped
    GarminPacket read;
    ASSERT_EQ(DecodeSerialFrame(std::ref(source), read), FrameResult::kOk) << c.wire;
    EXPECT_EQ(read, c.packet);
  }
}

TEST(GarminPacket, DamagedFramesAreRefused) {
  const std::string good = EncodeSerialFrame({35, {1, 2, 3, 0x10, 5}});
  struct Case {
    std::string bytes;
    FrameResult result;
  };
  std::string off_by_one = good;
  off_by_one[off_by_one.size() - 3] = static_cast<char>(off_by_one[off_by_one.size() - 3] + 1);
  std::string bad_trailer = good;
  bad_trailer.back() = 0x04;
  const Case cases[] = {
      {off_by_one, FrameResult::kBadFrame},
      {bad_trailer, FrameResult::kBadFrame},
      {good.substr(0, good.size() - 1), FrameResult::kTimeout},
      {good.substr(0, 4), FrameResult::kTimeout},
      {"", FrameResult::kTimeout},
  };
  for (const Case& c : cases) {
    Bytes source{c.bytes};
    GarminPacket read;
    EXPECT_EQ(DecodeSerialFrame(std::ref(source), read), c.result) << Hex(c.bytes);
  }
}

TEST(GarminPacket, ReaderAndWriterAreLittleEndianAndBounded) {
  std::vector<uint8_t> data;
  PacketWriter w(data);
  w.U16(0x1234).I32(-2).F32(1.5f).F64(-0.25).Fixed("AB", 4).CString("xy");
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(data[0], 0x34);
  EXPECT_EQ(data[1], 0x12);
  PacketReader r(data);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.I32(), -2);
  EXPECT_EQ(r.F32(), 1.5f);
  EXPECT_EQ(r.F64(), -0.25);
  EXPECT_EQ(r.Fixed(4), "AB  ");
  EXPECT_EQ(r.CString(), "xy");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.U32(), 0u);
  EXPECT_FALSE(r.ok());

  std::vector<uint8_t> full;
  PacketWriter big(full);
  big.Zeros(kMaxPacketData);
  EXPECT_TRUE(big.ok());
  big.U8(1);
  EXPECT_FALSE(big.ok());
  EXPECT_EQ(full.size(), kMaxPacketData);
}

}  // namespace
