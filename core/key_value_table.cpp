#include "core/key_value_table.h"

#include <string_view>

#include "core/string_utils.h"
#include "platform/os/files.h"

bool CKeyValueTable::Load(const std::string& path) {
  Clear();
  std::string bytes;
  if (!vd::os::ReadWholeFile(path, bytes)) return false;
  constexpr std::string_view kBlanks = " \t";
  std::string_view rest = bytes;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t equals = line.find('=');
    if (line.empty() || line[0] == '/' || line[0] == ';' || equals == std::string_view::npos)
      continue;
    std::string_view key = line.substr(0, equals);
    key = key.substr(0, key.find_last_not_of(kBlanks) + 1);
    std::string_view value = line.substr(equals + 1);
    size_t first = value.find_first_not_of(kBlanks);
    value = first == std::string_view::npos ? std::string_view() : value.substr(first);
    entries_.emplace_back(key, value);
  }
  return true;
}

const std::string* CKeyValueTable::Lookup(const std::string& key) const {
  for (const auto& [k, v] : entries_) {
    if (EqualsNoCase(k, key)) return &v;
  }
  return nullptr;
}
