#include "gps/ais_messages.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace CNEMA_AIS {

// "!AIVDM": the name after the '!' and the two-letter talker.
CNMEASentenceTypeOf<VDM> VDM::Type{3, "VDM", false};
CNMEASentenceTypeOf<VDO> VDO::Type{3, "VDO", false};
FragmentJoiner VDM::joiner_;
FragmentJoiner VDO::joiner_;

namespace {

// The payload as bits, most significant first.
class Bits {
 public:
  bool Load(const std::string& payload, int fill_bits) {
    bits_.clear();
    for (unsigned char c : payload) {
      int v = c - 48;
      if (v < 0 || v > 71 || (v > 39 && v < 48)) return false;
      if (v > 40) v -= 8;
      for (int b = 5; b >= 0; --b) bits_.push_back(((v >> b) & 1) != 0);
    }
    if (fill_bits < 0 || fill_bits > 5 || static_cast<size_t>(fill_bits) > bits_.size())
      return false;
    bits_.resize(bits_.size() - static_cast<size_t>(fill_bits));
    return true;
  }
  size_t size() const { return bits_.size(); }
  uint32_t U(size_t start, int count) const {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) v = (v << 1) | (start + i < bits_.size() && bits_[start + i]);
    return v;
  }
  int32_t S(size_t start, int count) const {
    const uint32_t v = U(start, count);
    return (v & (1u << (count - 1))) ? static_cast<int32_t>(v | ~((1u << count) - 1))
                                     : static_cast<int32_t>(v);
  }
  // Six-bit text, '@' and trailing blanks dropped.
  std::string Text(size_t start, int chars) const {
    std::string out;
    for (int i = 0; i < chars; ++i) {
      const uint32_t v = U(start + 6 * static_cast<size_t>(i), 6);
      out += static_cast<char>(v < 32 ? v + 64 : v);
    }
    const size_t at = out.find('@');
    if (at != std::string::npos) out.resize(at);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }

 private:
  std::vector<bool> bits_;
};

void Position(const Bits& bits, size_t lon_at, Message& m) {
  m.longitude = bits.S(lon_at, 28) / 600000.0;
  m.latitude = bits.S(lon_at + 28, 27) / 600000.0;
}

void Dimensions(const Bits& bits, size_t at, Message& m) {
  m.to_bow = static_cast<int>(bits.U(at, 9));
  m.to_stern = static_cast<int>(bits.U(at + 9, 9));
  m.to_port = static_cast<int>(bits.U(at + 18, 6));
  m.to_starboard = static_cast<int>(bits.U(at + 24, 6));
}

// Bits each type needs for the fields read here.
size_t NeededBits(int type, int part) {
  switch (type) {
    case 1: case 2: case 3: return 137;
    case 5: return 302;  // texts cut short by a short payload end early
    case 9: return 134;
    case 18: return 133;
    case 19: return 301;
    case 21: return 249;
    case 24: return part == 0 ? 160 : 162;
    default: return 0;
  }
}

}  // namespace

bool DecodePayload(const std::string& payload, int fill_bits, Message& out) {
  Bits bits;
  if (!bits.Load(payload, fill_bits) || bits.size() < 40) return false;
  Message m;
  m.type = static_cast<int>(bits.U(0, 6));
  m.mmsi = bits.U(8, 30);
  if (m.type == 24) m.part_number = static_cast<int>(bits.U(38, 2));
  const size_t needed = NeededBits(m.type, m.part_number);
  if (needed == 0 || bits.size() < needed) return false;
  switch (m.type) {
    case 1: case 2: case 3:
      m.nav_status = static_cast<int>(bits.U(38, 4));
      m.speed_knots = bits.U(50, 10) / 10.0;
      Position(bits, 61, m);
      m.course = bits.U(116, 12) / 10.0;
      m.heading = static_cast<int>(bits.U(128, 9));
      break;
    case 5:
      m.call_sign = bits.Text(70, 7);
      m.name = bits.Text(112, 20);
      m.ship_type = static_cast<int>(bits.U(232, 8));
      Dimensions(bits, 240, m);
      m.eta_month = static_cast<int>(bits.U(274, 4));
      m.eta_day = static_cast<int>(bits.U(278, 5));
      m.eta_hour = static_cast<int>(bits.U(283, 5));
      m.eta_minute = static_cast<int>(bits.U(288, 6));
      m.destination = bits.Text(302, 20);
      break;
    case 9:
      m.altitude = static_cast<int>(bits.U(38, 12));
      m.speed_knots = bits.U(50, 10);
      Position(bits, 61, m);
      m.course = bits.U(116, 12) / 10.0;
      break;
    case 18:
    case 19:
      m.speed_knots = bits.U(46, 10) / 10.0;
      Position(bits, 57, m);
      m.course = bits.U(112, 12) / 10.0;
      m.heading = static_cast<int>(bits.U(124, 9));
      if (m.type == 19) {
        m.name = bits.Text(143, 20);
        m.ship_type = static_cast<int>(bits.U(263, 8));
        Dimensions(bits, 271, m);
      }
      break;
    case 21:
      m.aid_type = static_cast<int>(bits.U(38, 5));
      m.name = bits.Text(43, 20);
      Position(bits, 164, m);
      Dimensions(bits, 219, m);
      break;
    case 24:
      if (m.part_number == 0) {
        m.name = bits.Text(40, 20);
      } else {
        m.ship_type = static_cast<int>(bits.U(40, 8));
        m.call_sign = bits.Text(90, 7);
        Dimensions(bits, 132, m);
      }
      break;
  }
  out = std::move(m);
  return true;
}

namespace {

std::function<double()>& FragmentClock() {
  static std::function<double()> clock;
  return clock;
}

double FragmentNow() {
  if (FragmentClock()) return FragmentClock()();
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void SetFragmentClock(std::function<double()> clock) { FragmentClock() = std::move(clock); }

void ClearOpenFragments() {
  VDM::joiner_.Clear();
  VDO::joiner_.Clear();
}

bool FragmentJoiner::Add(char* const* f, std::string& payload, int& fill_bits) {
  const int count = std::atoi(f[0]);
  const int number = std::atoi(f[1]);
  if (count < 1 || count > kMaxFragments || number < 1 || number > count) return false;
  if (count == 1) {
    // A message of one sentence leaves the messages being joined alone.
    payload = f[4];
    if (payload.size() > kMaxPayload) return false;
    fill_bits = std::atoi(f[5]);
    return true;
  }
  const double now = FragmentNow();
  std::erase_if(open_, [now](const Open& m) { return now - m.heard > kTimeoutSeconds; });
  const std::string channel = f[3];
  const std::string sequence = f[2];
  auto it = std::find_if(open_.begin(), open_.end(), [&](const Open& m) {
    return m.channel == channel && m.sequence == sequence;
  });
  if (number == 1) {
    // A new message under the id of one still open: the older one lost its end.
    if (it != open_.end()) open_.erase(it);
    if (open_.size() >= kMaxOpen) open_.erase(open_.begin());
    open_.push_back({channel, sequence, count, 1, now, {}});
    it = open_.end() - 1;
  } else if (it == open_.end()) {
    return false;  // its first fragment never came, or went
  } else if (it->count != count || it->next != number) {
    // A fragment lost on the way: the message it belongs to is lost.
    open_.erase(it);
    return false;
  }
  it->joined += f[4];
  if (it->joined.size() > kMaxPayload) {
    open_.erase(it);
    return false;
  }
  it->heard = now;
  if (number < count) {
    ++it->next;
    // Messages that were waiting longer stay before this one.
    std::rotate(it, it + 1, open_.end());
    return false;
  }
  payload = std::move(it->joined);
  open_.erase(it);
  fill_bits = std::atoi(f[5]);
  return true;
}

namespace {

bool ParseAis(const char* sentence, FragmentJoiner& joiner, Message& message) {
  NMEAFields<7> fields(sentence);
  std::string payload;
  int fill_bits = 0;
  return joiner.Add(fields.f + 1, payload, fill_bits) &&
         DecodePayload(payload, fill_bits, message);
}

}  // namespace

bool VDM::Parse(const char* sentence) { return ParseAis(sentence, joiner_, message); }
bool VDO::Parse(const char* sentence) { return ParseAis(sentence, joiner_, message); }

}  // namespace CNEMA_AIS
