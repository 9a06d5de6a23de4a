#include "core/key_value_file.h"

#include <cstdint>
#include <cstring>

#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  constexpr std::string_view kTrimmed = " \t\n\r";
  const size_t first = s.find_first_not_of(kTrimmed);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kTrimmed) - first + 1);
}

// Blank lines and comments carry no entries.
bool CarriesEntries(std::string_view line) {
  for (char c : line) {
    if (!IsBlank(c)) return c != '#';
  }
  return false;
}

constexpr char kHex[] = "0123456789abcdef";

}  // namespace

bool CKeyValueFile::Load(const std::string& path) {
  std::string data;
  if (!vd::os::ReadWholeFile(path, data)) return false;
  std::string line;
  bool overlong = false;
  const auto end_line = [&] {
    if (!overlong && CarriesEntries(line)) ParseLine(line);
    line.clear();
    overlong = false;
  };
  for (char c : data) {
    if (c == '\n') {
      end_line();
    } else if (c != '\r' && c != '\0' && !overlong) {
      if (line.size() == kMaxLine) {
        overlong = true;
        line.clear();
      } else {
        line.push_back(c);
      }
    }
  }
  end_line();
  return true;
}

std::string CKeyValueFile::Serialise() const {
  std::string text;
  for (const auto& [key, value] : entries_) {
    if (key.empty() || value.empty()) continue;
    text += key;
    text += '=';
    text += EncodeValue(value);
    text += '\n';
  }
  return text;
}

bool CKeyValueFile::Save(const std::string& path) const {
  return vd::os::SaveFileAtomically(path, Serialise());
}

void CKeyValueFile::ParseLine(std::string_view line) {
  while (true) {
    const size_t amp = line.find('&');
    const std::string_view pair = line.substr(0, amp);
    const size_t eq = pair.find('=');
    const std::string_view key = Trim(pair.substr(0, eq));
    const std::string value =
        eq == std::string_view::npos ? std::string() : DecodeValue(Trim(pair.substr(eq + 1)));
    if (!key.empty() && !value.empty()) entries_[std::string(key)] = value;
    if (amp == std::string_view::npos) break;
    line.remove_prefix(amp + 1);
  }
}

std::string CKeyValueFile::EncodeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
        (b != 0 && std::strchr("$-_.!*'()", b) != nullptr)) {
      out += c;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string CKeyValueFile::DecodeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    const char c = value[i];
    if (c == '+') {
      out += ' ';
      ++i;
    } else if (c != '%') {
      out += c;
      ++i;
    } else if (i + 2 >= value.size()) {
      break;  // a cut-off escape at the end
    } else {
      const int hi = vd::os::HexDigit(value[i + 1]);
      const int lo = vd::os::HexDigit(value[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
      } else {
        out.append(value.substr(i, 3));
      }
      i += 3;
    }
  }
  return out;
}

const std::string* CKeyValueFile::Find(const std::string& key) const {
  const auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

bool CKeyValueFile::Has(const std::string& key) const {
  const std::string* value = Find(key);
  return value != nullptr && !value->empty();
}

std::string CKeyValueFile::GetStringOr(const std::string& key,
                                       const std::string& default_value) const {
  const std::string* value = Find(key);
  return value != nullptr ? *value : default_value;
}

int CKeyValueFile::GetInt(const std::string& key, int default_value) const {
  const std::string* value = Find(key);
  int64_t parsed = 0;
  if (value == nullptr || !vd::os::ParseInt64(*value, parsed, 0)) return default_value;
  return static_cast<int32_t>(static_cast<uint32_t>(parsed));
}

double CKeyValueFile::GetDouble(const std::string& key, double default_value) const {
  const std::string* value = Find(key);
  double parsed = 0;
  if (value == nullptr || !vd::os::ParseDouble(*value, parsed)) return default_value;
  return parsed;
}

int CKeyValueFile::GetBytes(const std::string& key, void* buffer, int len) const {
  const std::string* value = Find(key);
  if (value == nullptr) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  int n = 0;
  for (size_t i = 0; n < len && i + 1 < value->size(); i += 2) {
    const int hi = vd::os::HexDigit((*value)[i]);
    const int lo = vd::os::HexDigit((*value)[i + 1]);
    if (hi < 0 || lo < 0) break;
    out[n++] = static_cast<unsigned char>(hi * 16 + lo);
  }
  return n;
}

void CKeyValueFile::Set(const std::string& key, std::string value) {
  entries_[key] = std::move(value);
}

void CKeyValueFile::SetInt(const std::string& key, int value) {
  Set(key, vd::os::FormatC("0x%x", static_cast<unsigned>(value)));
}

void CKeyValueFile::SetBytes(const std::string& key, const void* data, int len) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  for (int i = 0; i < len; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  Set(key, std::move(text));
}
