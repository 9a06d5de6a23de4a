#pragma once
// AIS sentences of every message type the target manager reads, with the fields that an
// independent decoder (gpsdecode) found in them, kept as fixtures (ais_gpsdecode_fixtures.inc,
// written by make_ais_fixtures.py), and the check of a decoded message against such fields.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "gps/ais_messages.h"

namespace vd::test {

struct AisFixture {
  std::vector<std::string> sentences;  // "!AIVDM" sentences of one message, in order
  std::string json;                    // the peer's fields of the message
};

// Sentence lines each followed by the JSON line of their message.
inline std::vector<AisFixture> ParseAisFixtures(const std::string& text) {
  std::vector<AisFixture> fixtures;
  AisFixture next;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("!")) {
      next.sentences.push_back(line);
    } else if (line.starts_with("{")) {
      next.json = line;
      fixtures.push_back(std::move(next));
      next = {};
    }
  }
  return fixtures;
}

inline std::vector<AisFixture> AisFixtures() {
  static const char kText[] =
#include "gps/tests/ais_gpsdecode_fixtures.inc"
      ;
  return ParseAisFixtures(kText);
}

// A member of a flat JSON object: a text (escapes undone) or the text of a number; none when
// the key is missing.
inline std::optional<std::string> JsonMember(const std::string& json, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const size_t at = json.find(tag);
  if (at == std::string::npos) return std::nullopt;
  size_t i = at + tag.size();
  if (i >= json.size()) return std::nullopt;
  if (json[i] != '"') return json.substr(i, json.find_first_of(",}", i) - i);
  std::string out;
  for (++i; i < json.size() && json[i] != '"'; ++i) {
    if (json[i] != '\\' || i + 1 >= json.size()) {
      out += json[i];
      continue;
    }
    const char e = json[++i];
    if (e == 'u' && i + 4 < json.size()) {
      out += static_cast<char>(std::strtol(json.substr(i + 1, 4).c_str(), nullptr, 16));
      i += 4;
    } else {
      out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
    }
  }
  return out;
}

inline int64_t JsonInt(const std::string& json, const std::string& key) {
  const std::optional<std::string> value = JsonMember(json, key);
  EXPECT_TRUE(value.has_value()) << "no \"" << key << "\" in " << json;
  return value ? std::strtoll(value->c_str(), nullptr, 10) : INT64_MIN;
}

inline std::string JsonText(const std::string& json, const std::string& key) {
  const std::optional<std::string> value = JsonMember(json, key);
  EXPECT_TRUE(value.has_value()) << "no \"" << key << "\" in " << json;
  return value.value_or("");
}

// Every field of the message that the target manager reads equals the peer's (unscaled) value.
inline void ExpectSameAsPeer(const CNEMA_AIS::Message& m, const std::string& json) {
  SCOPED_TRACE(json);
  const int type = static_cast<int>(JsonInt(json, "type"));
  EXPECT_EQ(m.type, type);
  EXPECT_EQ(m.mmsi, JsonInt(json, "mmsi"));
  auto position = [&] {
    EXPECT_EQ(std::llround(m.latitude * 600000.0), JsonInt(json, "lat"));
    EXPECT_EQ(std::llround(m.longitude * 600000.0), JsonInt(json, "lon"));
  };
  auto motion = [&](double speed_unit) {
    position();
    EXPECT_EQ(std::llround(m.speed_knots / speed_unit), JsonInt(json, "speed"));
    EXPECT_EQ(std::llround(m.course * 10.0), JsonInt(json, "course"));
  };
  auto dimensions = [&] {
    EXPECT_EQ(m.to_bow, JsonInt(json, "to_bow"));
    EXPECT_EQ(m.to_stern, JsonInt(json, "to_stern"));
    EXPECT_EQ(m.to_port, JsonInt(json, "to_port"));
    EXPECT_EQ(m.to_starboard, JsonInt(json, "to_starboard"));
  };
  switch (type) {
    case 1: case 2: case 3:
      EXPECT_EQ(m.nav_status, JsonInt(json, "status"));
      motion(0.1);
      EXPECT_EQ(m.heading, JsonInt(json, "heading"));
      break;
    case 5: {
      EXPECT_EQ(m.call_sign, JsonText(json, "callsign"));
      EXPECT_EQ(m.name, JsonText(json, "shipname"));
      EXPECT_EQ(m.ship_type, JsonInt(json, "shiptype"));
      dimensions();
      EXPECT_EQ(m.destination, JsonText(json, "destination"));
      char eta[32];
      std::snprintf(eta, sizeof eta, "%02d-%02dT%02d:%02dZ", m.eta_month, m.eta_day, m.eta_hour,
                    m.eta_minute);
      EXPECT_EQ(eta, JsonText(json, "eta"));
      break;
    }
    case 9:
      EXPECT_EQ(m.altitude, JsonInt(json, "alt"));
      motion(1.0);
      break;
    case 18: case 19:
      motion(0.1);
      EXPECT_EQ(m.heading, JsonInt(json, "heading"));
      if (type == 19) {
        EXPECT_EQ(m.name, JsonText(json, "shipname"));
        EXPECT_EQ(m.ship_type, JsonInt(json, "shiptype"));
        dimensions();
      }
      break;
    case 21:
      EXPECT_EQ(m.aid_type, JsonInt(json, "aid_type"));
      EXPECT_EQ(m.name, JsonText(json, "name"));
      position();
      dimensions();
      break;
    case 24:
      if (JsonMember(json, "callsign")) {
        EXPECT_EQ(m.part_number, 1);
        EXPECT_EQ(m.ship_type, JsonInt(json, "shiptype"));
        EXPECT_EQ(m.call_sign, JsonText(json, "callsign"));
        dimensions();
      } else {
        EXPECT_EQ(m.part_number, 0);
        EXPECT_EQ(m.name, JsonText(json, "shipname"));
      }
      break;
    default:
      ADD_FAILURE() << "a type the fixtures should not hold";
  }
}

}  // namespace vd::test
