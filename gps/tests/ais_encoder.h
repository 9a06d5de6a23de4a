#pragma once
// An AIS encoder for tests: payloads built field by field (bit offsets and widths as the AIS
// message tables give them), armoured six bits a character, and cut into "!AIVDM" sentences.
// Its output is checked against an independent decoder (gps/tests/ais_encoder_peer_test.cpp).
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gps/nmea_sentence.h"

namespace vd::test {

// Builds a payload: fields written MSB first at their bit offsets, then armoured six bits at a
// time.
class PayloadBuilder {
 public:
  PayloadBuilder& U(size_t at, int count, uint64_t value) {
    if (bits_.size() < at + count) bits_.resize(at + count, false);
    for (int i = 0; i < count; ++i) bits_[at + i] = (value >> (count - 1 - i)) & 1;
    return *this;
  }
  PayloadBuilder& S(size_t at, int count, int64_t value) {
    return U(at, count, static_cast<uint64_t>(value) & ((uint64_t{1} << count) - 1));
  }
  PayloadBuilder& Text(size_t at, const std::string& text, int chars) {
    for (int i = 0; i < chars; ++i) {
      const char c = i < static_cast<int>(text.size()) ? text[i] : '@';
      U(at + 6 * i, 6, c >= 64 ? c - 64 : c);
    }
    return *this;
  }
  PayloadBuilder& Length(size_t bits) {
    bits_.resize(bits, false);
    return *this;
  }
  // The payload and its fill bits.
  std::pair<std::string, int> Armour() const {
    std::vector<bool> bits = bits_;
    const int fill = static_cast<int>((6 - bits.size() % 6) % 6);
    bits.resize(bits.size() + fill, false);
    std::string out;
    for (size_t i = 0; i < bits.size(); i += 6) {
      int v = 0;
      for (int b = 0; b < 6; ++b) v = (v << 1) | bits[i + b];
      out += static_cast<char>(v < 40 ? v + 48 : v + 56);
    }
    return {out, fill};
  }

 private:
  std::vector<bool> bits_;
};

// One sentence of a message ("VDM" or "VDO"), with its checksum, without line end.
inline std::string Sentence(const std::string& kind, int count, int number, const std::string& seq,
                            const std::string& payload, int fill,
                            const std::string& channel = "A") {
  std::string s = "!AI" + kind + "," + std::to_string(count) + "," + std::to_string(number) +
                  "," + seq + "," + channel + "," + payload + "," + std::to_string(fill);
  NMEAAppendChecksum(s);
  return s;
}

// A class A position report (type 1): speed in knots, course in degrees, heading 511 for none.
inline PayloadBuilder PositionReport(uint32_t mmsi, double latitude, double longitude,
                                     double knots, double course, int heading,
                                     int nav_status = 0) {
  PayloadBuilder report;
  report.U(0, 6, 1).U(8, 30, mmsi).U(38, 4, static_cast<uint64_t>(nav_status)).U(42, 8, 128)
      .U(50, 10, static_cast<uint64_t>(std::lround(knots * 10)))
      .S(61, 28, std::llround(longitude * 600000)).S(89, 27, std::llround(latitude * 600000))
      .U(116, 12, static_cast<uint64_t>(std::lround(course * 10)))
      .U(128, 9, static_cast<uint64_t>(heading)).U(137, 6, 60).Length(168);
  return report;
}

// Static and voyage data (type 5): call sign, name, ship type, destination.
inline PayloadBuilder StaticData(uint32_t mmsi, const std::string& call_sign,
                                 const std::string& name, int ship_type,
                                 const std::string& destination) {
  PayloadBuilder data;
  data.U(0, 6, 5).U(8, 30, mmsi).Text(70, call_sign, 7).Text(112, name, 20)
      .U(232, 8, static_cast<uint64_t>(ship_type)).U(240, 9, 100).U(249, 9, 20).U(258, 6, 8)
      .U(264, 6, 8).U(270, 4, 1).Text(302, destination, 20).Length(424);
  return data;
}

// The "!AIVDM" sentences of a payload on a channel: fragments of at most max_chars payload
// characters, the sequential id seq on every one when there are several.
inline std::vector<std::string> AivdmSentences(const PayloadBuilder& message,
                                               const std::string& seq,
                                               size_t max_chars = 60,
                                               const std::string& channel = "A") {
  const auto [payload, fill] = message.Armour();
  const int count = static_cast<int>((payload.size() + max_chars - 1) / max_chars);
  std::vector<std::string> sentences;
  for (int i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    sentences.push_back(Sentence("VDM", count, i + 1, count > 1 ? seq : "",
                                 payload.substr(i * max_chars, max_chars), last ? fill : 0, channel));
  }
  return sentences;
}

}  // namespace vd::test
