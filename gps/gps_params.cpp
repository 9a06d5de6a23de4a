#include "gps/gps_params.h"

#include <array>
#include <limits>

#include "platform/os/numbers.h"
#include "platform/os/profile_store.h"

namespace {

constexpr std::array<uint32_t, 14> kBaudRates = {
    300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Characters that would end a port word, and '%' itself, are written as %XX.
bool NeedsEscape(char c) { return IsBlank(c) || c == '%'; }

std::string EncodePort(const std::string& port) {
  if (port.empty()) return "-";
  std::string out;
  for (char c : port) {
    if (NeedsEscape(c))
      out += vd::os::FormatC("%%%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    else
      out += c;
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Only the escapes EncodePort writes are decoded; any other '%' stands for itself, as it did in
// lines written before escaping.
std::string DecodePort(std::string_view word) {
  std::string out;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '%' && i + 2 < word.size()) {
      int high = HexValue(word[i + 1]), low = HexValue(word[i + 2]);
      if (high >= 0 && low >= 0) {
        char c = static_cast<char>(high * 16 + low);
        if (NeedsEscape(c)) {
          out += c;
          i += 2;
          continue;
        }
      }
    }
    out += word[i];
  }
  return out;
}

// Reads a setting line field by field as the C format
// "%d,%d,%s ,%d,%d,%d,%d,%d,%d,%d,%s ,%d" would, but with bounded words and checked integers.
class FieldScanner {
 public:
  explicit FieldScanner(std::string_view text) : text_(text) {}

  bool Int(int32_t& out) {
    int64_t value = 0;
    size_t used = 0;
    if (!vd::os::ParseInt64(text_.substr(pos_), value, 10, &used)) return false;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
      return false;
    pos_ += used;
    out = static_cast<int32_t>(value);
    return true;
  }
  bool Comma() {
    if (pos_ >= text_.size() || text_[pos_] != ',') return false;
    ++pos_;
    return true;
  }
  // A port word, then optional blanks and the comma after it.
  bool Word(std::string& out) {
    SkipBlanks();
    size_t start = pos_;
    while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
    if (pos_ == start || pos_ - start > kMaxGpsPortText) return false;
    out = DecodePort(text_.substr(start, pos_ - start));
    return true;
  }
  bool BlanksComma() {
    SkipBlanks();
    return Comma();
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

uint32_t GpsBaudRate(int32_t baud_index) {
  if (baud_index < 0 || baud_index >= static_cast<int32_t>(kBaudRates.size())) return 4800;
  return kBaudRates[static_cast<size_t>(baud_index)];
}

GPSParams ParseGPSParams(std::string_view text) {
  GPSParams p;
  FieldScanner s(text);
  // Each step stores its field as soon as it is read, like the C scanner, so a line that breaks
  // off keeps every field before the break.
  (void)(s.Int(p.type) && s.Comma() && s.Int(p.port_kind) && s.Comma() && s.Word(p.port) &&
         s.BlanksComma() && s.Int(p.baud_index) && s.Comma() && s.Int(p.byte_size_index) &&
         s.Comma() && s.Int(p.stop_bits_index) && s.Comma() && s.Int(p.parity_index) && s.Comma() &&
         s.Int(p.name_length) && s.Comma() && s.Int(p.route_points) && s.Comma() &&
         s.Int(p.track_points) && s.Comma() && s.Word(p.saved_port) && s.BlanksComma() &&
         s.Int(p.saved_type));
  return p;
}

std::string FormatGPSParams(const GPSParams& p) {
  return vd::os::FormatC("%d,%d,%s ,%d,%d,%d,%d,%d,%d,%d,%s ,%d", p.type, p.port_kind,
                         EncodePort(p.port).c_str(), p.baud_index, p.byte_size_index,
                         p.stop_bits_index, p.parity_index, p.name_length, p.route_points,
                         p.track_points, EncodePort(p.saved_port).c_str(), p.saved_type);
}

GPSParams LoadGPSParams(const vd::os::ProfileStore& profile) {
  std::optional<std::string> text = profile.GetString(kGpsParamsSection, kGpsParamsKey);
  return ParseGPSParams(text ? *text : std::string(kDefaultGpsParamsText));
}

bool SaveGPSParams(vd::os::ProfileStore& profile, const GPSParams& params) {
  return profile.SetString(kGpsParamsSection, kGpsParamsKey, FormatGPSParams(params));
}
