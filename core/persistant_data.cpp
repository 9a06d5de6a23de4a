#include "core/persistant_data.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/key_value_file.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/numbers.h"

namespace {

struct RecordState {
  PersistantData* head = nullptr;
  std::string base_name;
  bool saving = false;
  CKeyValueFile* current = nullptr;
};

// A function-local static, so that records in any source file may register from their static
// constructors whatever the order of static initialisation. It is created by the first record's
// constructor and therefore outlives every record.
RecordState& State() {
  static RecordState state;
  return state;
}

// Makes `map` current in the given direction for the lifetime of the object.
class CurrentMapScope {
 public:
  CurrentMapScope(CKeyValueFile& map, bool saving) {
    State().current = &map;
    State().saving = saving;
  }
  ~CurrentMapScope() {
    State().current = nullptr;
    State().saving = false;
  }
};

bool IsHexText(const std::string& text, size_t digits) {
  if (text.size() != digits) return false;
  for (char c : text) {
    if (vd::os::HexDigit(c) < 0) return false;
  }
  return true;
}

// "#RGB", "#ARGB", "#RRGGBB" or "#AARRGGBB"; a character that is not a hexadecimal digit counts
// as 0. In the one-digit forms a digit d gives the byte d*16.
bool ParseColour(const std::string& text, uint32_t& argb) {
  if (text.empty() || text[0] != '#') return false;
  const size_t digits = text.size() - 1;
  if (digits != 3 && digits != 4 && digits != 6 && digits != 8) return false;
  const size_t width = digits <= 4 ? 1 : 2;
  const size_t channels = digits / width;
  uint32_t result = channels == 3 ? 0xFFu : 0u;  // alpha when not given
  for (size_t c = 0; c < channels; ++c) {
    uint32_t byte = 0;
    for (size_t d = 0; d < width; ++d) {
      const int digit = vd::os::HexDigit(text[1 + c * width + d]);
      byte = byte * 16 + static_cast<uint32_t>(std::max(digit, 0));
    }
    if (width == 1) byte *= 16;
    result = (result << 8) | byte;
  }
  argb = result;
  return true;
}

}  // namespace

PersistantData::PersistantData(std::string section) : section_(std::move(section)) {
  next_ = State().head;
  State().head = this;
}

// Records are static objects and normally stay registered until exit; one that goes earlier
// leaves the list so that no walk reaches it.
PersistantData::~PersistantData() {
  for (PersistantData** link = &State().head; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

PersistantData* PersistantData::Head() { return State().head; }

void PersistantData::SetBaseName(std::string base_name) {
  State().base_name = std::move(base_name);
}

const std::string& PersistantData::BaseName() { return State().base_name; }

std::string PersistantData::SettingsFilePath() {
  if (BaseName().empty()) return {};
  return vd::os::ConfigFolder() + "/Vardune/" + BaseName() + ".ini";
}

bool PersistantData::IsSaving() { return State().saving; }

CKeyValueFile* PersistantData::CurrentMap() { return State().current; }

bool PersistantData::SaveAll() {
  const std::string path = SettingsFilePath();
  if (path.empty()) return false;
  CKeyValueFile map;
  // A file that exists but can't be read would lose every clean record's keys if saved over.
  if (!map.Load(path) && vd::os::FileExists(path)) return false;
  std::vector<PersistantData*> written;
  {
    CurrentMapScope scope(map, true);
    for (PersistantData* record = Head(); record != nullptr; record = record->next_) {
      if (!record->dirty_) continue;
      record->Exchange();
      written.push_back(record);
    }
  }
  if (!vd::os::MakeFolders(path.substr(0, path.rfind('/'))) || !map.Save(path)) return false;
  for (PersistantData* record : written) record->dirty_ = false;
  return true;
}

bool PersistantData::LoadAll() {
  const std::string path = SettingsFilePath();
  CKeyValueFile map;
  if (path.empty() || !map.Load(path)) return false;
  CurrentMapScope scope(map, false);
  for (PersistantData* record = Head(); record != nullptr; record = record->next_) {
    record->Exchange();
  }
  return true;
}

std::string PersistantData::Key(std::string_view name) const {
  std::string key = section_;
  key += ':';
  key += name;
  return key;
}

void PersistantData::ExchangeInt(std::string_view name, int& value) {
  CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  if (IsSaving()) {
    map->SetInt(Key(name), value);
  } else {
    value = map->GetInt(Key(name), value);
  }
}

void PersistantData::ExchangeBool(std::string_view name, bool& value) {
  CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  if (IsSaving()) {
    map->Set(Key(name), value ? "1" : "0");
  } else {
    value = map->GetInt(Key(name), value ? 1 : 0) != 0;
  }
}

void PersistantData::ExchangeString(std::string_view name, std::string& value) {
  CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  if (IsSaving()) {
    map->Set(Key(name), vd::os::Utf8ToCp1252(value));
  } else if (const std::string* stored = map->Find(Key(name))) {
    value = vd::os::Cp1252ToUtf8(*stored);
  }
}

void PersistantData::ExchangeBytes(std::string_view name, void* data, int len) {
  CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  if (IsSaving()) {
    map->SetBytes(Key(name), data, len);
  } else {
    map->GetBytes(Key(name), data, len);
  }
}

template <class Bits, class Value>
void PersistantData::ExchangeHexNumber(std::string_view name, Value& value) {
  static_assert(sizeof(Bits) == sizeof(Value));
  CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  const std::string key = Key(name);
  unsigned char bytes[sizeof(Bits)];
  if (IsSaving()) {
    const auto bits = std::bit_cast<Bits>(value);
    for (size_t i = 0; i < sizeof(Bits); ++i)
      bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    map->SetBytes(key, bytes, sizeof(bytes));
    return;
  }
  const std::string* stored = map->Find(key);
  if (stored == nullptr) return;
  if (IsHexText(*stored, 2 * sizeof(Bits))) {
    map->GetBytes(key, bytes, sizeof(bytes));
    Bits bits = 0;
    for (size_t i = 0; i < sizeof(Bits); ++i) bits |= static_cast<Bits>(bytes[i]) << (8 * i);
    value = std::bit_cast<Value>(bits);
    return;
  }
  double parsed = 0;
  if (!vd::os::ParseDouble(*stored, parsed)) return;
  // A finite number beyond the range of a float would not narrow to a value.
  if (std::isfinite(parsed) && std::fabs(parsed) > std::numeric_limits<Value>::max()) return;
  value = static_cast<Value>(parsed);
}

void PersistantData::ExchangeDouble(std::string_view name, double& value) {
  ExchangeHexNumber<uint64_t>(name, value);
}

void PersistantData::ExchangeFloat(std::string_view name, float& value) {
  ExchangeHexNumber<uint32_t>(name, value);
}

void PersistantData::ExchangeColour(std::string_view name, uint32_t& argb) {
  CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  if (IsSaving()) {
    map->Set(Key(name), vd::os::FormatC("#%02X%02X%02X%02X", argb >> 24, (argb >> 16) & 0xFF,
                                        (argb >> 8) & 0xFF, argb & 0xFF));
  } else if (const std::string* stored = map->Find(Key(name))) {
    ParseColour(*stored, argb);
  }
}

template <class Container>
void PersistantData::ExchangeStrings(std::string_view name, Container& values) {
  CKeyValueFile* map = CurrentMap();
  if (map == nullptr) return;
  const std::string key = Key(name);
  const std::string count_key = key + ":n";
  const auto element_key = [&key](size_t i) { return key + '[' + std::to_string(i) + ']'; };
  if (IsSaving()) {
    map->Set(count_key, std::to_string(values.size()));
    size_t i = 0;
    for (const std::string& value : values) map->Set(element_key(i++), vd::os::Utf8ToCp1252(value));
    return;
  }
  if (!map->Has(count_key)) return;
  const int count = map->GetInt(count_key, 0);
  // The file never holds an empty value, so an element saved as "" is missing there and the
  // ones after it must still be read. The elements are found among the keys actually present,
  // in index order: looking them up one by one would trust a damaged count of billions.
  std::vector<std::pair<int, const std::string*>> stored;
  const std::string prefix = key + '[';
  const auto& entries = map->entries();
  for (auto it = entries.lower_bound(prefix);
       it != entries.end() && it->first.starts_with(prefix); ++it) {
    int index = -1;
    std::from_chars(it->first.data() + prefix.size(), it->first.data() + it->first.size(), index);
    if (index >= 0 && index < count && it->first == element_key(static_cast<size_t>(index)))
      stored.emplace_back(index, &it->second);
  }
  std::sort(stored.begin(), stored.end());
  values.clear();
  for (const auto& [index, text] : stored) values.insert(values.end(), vd::os::Cp1252ToUtf8(*text));
}

void PersistantData::ExchangeStringSet(std::string_view name, std::set<std::string>& values) {
  ExchangeStrings(name, values);
}

void PersistantData::ExchangeStringList(std::string_view name, std::vector<std::string>& values) {
  ExchangeStrings(name, values);
}
