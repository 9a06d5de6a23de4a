#include "platform/os/profile_store.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace vd::os {

struct ProfileContent {
  struct Entry {
    std::string name;
    std::variant<std::string, int32_t, std::vector<uint8_t>> value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  std::vector<Section> sections{Section{}};  // sections[0] is section "", the key itself
};

namespace {

constexpr std::string_view kHeader = "# vardune-profile 1";
// Bytes written as %XX besides 0x00-0x1F and 0x7F.
constexpr std::string_view kTextSpecials = "%=[]";
constexpr std::string_view kKeySpecials = "%/.";  // keeps "..", hidden names and '/' out of paths

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

std::string Escape(std::string_view text, std::string_view specials) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || specials.find(ch) != std::string_view::npos) {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

// Two hex digits at text[i]; -1 when they are not there.
int HexByte(std::string_view text, size_t i) {
  if (i + 1 >= text.size()) return -1;
  int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    int byte = HexByte(text, i + 1);
    if (byte < 0) return false;
    out += static_cast<char>(byte);
    i += 2;
  }
  return true;
}

bool ParseHex(std::string_view text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int byte = HexByte(text, i);
    if (byte < 0) return false;
    out.push_back(static_cast<uint8_t>(byte));
  }
  return true;
}

ProfileContent::Section* FindSection(ProfileContent& content, std::string_view name) {
  for (auto& s : content.sections) {
    if (NamesEqualNoCase(s.name, name)) return &s;
  }
  return nullptr;
}

ProfileContent::Section& SectionFor(ProfileContent& content, const std::string& name) {
  if (auto* s = FindSection(content, name)) return *s;
  return content.sections.emplace_back(ProfileContent::Section{name, {}});
}

ProfileContent::Entry* FindEntry(ProfileContent::Section& section, std::string_view name) {
  for (auto& e : section.entries) {
    if (NamesEqualNoCase(e.name, name)) return &e;
  }
  return nullptr;
}

// Sets the value; false when it already held exactly that.
bool SetEntry(ProfileContent::Section& section, const std::string& name,
              decltype(ProfileContent::Entry::value) value) {
  if (auto* e = FindEntry(section, name)) {
    if (e->value == value) return false;
    e->value = std::move(value);
  } else {
    section.entries.push_back({name, std::move(value)});
  }
  return true;
}

bool ParseValueLine(std::string_view line, ProfileContent::Section& section, std::string& error) {
  size_t eq = line.find('=');
  std::string name;
  if (line.size() < 2 || line[1] != ' ' || eq == std::string_view::npos ||
      !Unescape(line.substr(2, eq - 2), name)) {
    error = "unreadable line";
    return false;
  }
  std::string_view text = line.substr(eq + 1);
  switch (line[0]) {
    case 's': {
      std::string value;
      if (!Unescape(text, value)) break;
      SetEntry(section, name, std::move(value));
      return true;
    }
    case 'i': {
      int32_t value = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (ec != std::errc() || end != text.data() + text.size()) break;
      SetEntry(section, name, value);
      return true;
    }
    case 'b': {
      std::vector<uint8_t> value;
      if (!ParseHex(text, value)) break;
      SetEntry(section, name, std::move(value));
      return true;
    }
    default:
      error = "unknown kind of value";
      return false;
  }
  error = "unreadable value";
  return false;
}

bool Parse(std::string_view text, ProfileContent& content, std::string& error) {
  content = ProfileContent();
  ProfileContent::Section* section = &content.sections[0];
  size_t line_number = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_number;
    bool ok = true;
    if (line_number == 1) {
      ok = line == kHeader;
      if (!ok) error = "not a profile file";
    } else if (line.empty() || line[0] == '#') {
      continue;
    } else if (line[0] == '[') {
      std::string name;
      ok = line.back() == ']' && Unescape(line.substr(1, line.size() - 2), name);
      if (ok) {
        section = &SectionFor(content, name);
      } else {
        error = "unreadable section line";
      }
    } else {
      ok = ParseValueLine(line, *section, error);
    }
    if (!ok) {
      error = "line " + std::to_string(line_number) + ": " + error;
      return false;
    }
  }
  if (line_number == 0) {
    error = "empty file";
    return false;
  }
  return true;
}

std::string Serialize(const ProfileContent& content) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(kHeader);
  out += '\n';
  for (const auto& section : content.sections) {
    if (&section != &content.sections[0]) out += "[" + Escape(section.name, kTextSpecials) + "]\n";
    for (const auto& e : section.entries) {
      static constexpr char kKinds[] = {'s', 'i', 'b'};
      out += kKinds[e.value.index()];
      out += ' ';
      out += Escape(e.name, kTextSpecials);
      out += '=';
      if (auto* s = std::get_if<std::string>(&e.value)) {
        out += Escape(*s, kTextSpecials);
      } else if (auto* i = std::get_if<int32_t>(&e.value)) {
        out += std::to_string(*i);  // no locale involved for integers
      } else {
        for (uint8_t b : std::get<std::vector<uint8_t>>(e.value)) {
          out += kDigits[b >> 4];
          out += kDigits[b & 15];
        }
      }
      out += '\n';
    }
  }
  return out;
}

// An exclusive flock held until destruction. flock locks belong to the open file, so two
// threads of one process exclude each other as two processes do.
class WriterLock {
 public:
  bool Acquire(const std::string& path) {
    if (!file_.Open(path, File::Mode::CreateReadWrite)) return false;
    while (::flock(file_.fd(), LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }

 private:
  File file_;
};

}  // namespace

ProfileStore::ProfileStore(std::string key_path, std::string root) {
  std::vector<std::string> parts;
  for (size_t pos = 0; pos <= key_path.size();) {
    size_t end = std::min(key_path.find('\\', pos), key_path.size());
    if (end > pos) {
      parts.push_back(Escape(std::string_view(key_path).substr(pos, end - pos), kKeySpecials));
    }
    pos = end + 1;
  }
  if (parts.empty() || root.empty()) {
    key_error_ = "no key path or root folder given for the profile";
    return;
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  folder_ = root;
  for (size_t i = 0; i + 1 < parts.size(); ++i) folder_ += "/" + parts[i];
  data_name_ = parts.back() + ".profile";
  data_path_ = folder_ + "/" + data_name_;
  lock_path_ = folder_ + "/" + parts.back() + ".lock";
}

void ProfileStore::ClearError() const {
  std::lock_guard lock(error_mutex_);
  last_error_.clear();
}

void ProfileStore::Fail(const std::string& message) const {
  std::lock_guard lock(error_mutex_);
  last_error_ = message;
}

std::string ProfileStore::LastError() const {
  std::lock_guard lock(error_mutex_);
  return last_error_;
}

bool ProfileStore::ReadFile(ProfileContent& content, std::string& damage) const {
  content = ProfileContent();
  damage.clear();
  std::string text;
  if (!ReadWholeFile(data_path_, text)) {
    if (errno == ENOENT) return true;
    Fail(SystemError("cannot read profile", data_path_));
    return false;
  }
  if (!Parse(text, content, damage)) content = ProfileContent();
  return true;
}

bool ProfileStore::LoadLocked(ProfileContent& content) const {
  std::string damage;
  if (!ReadFile(content, damage)) return false;
  if (damage.empty()) return true;
  // Keep every earlier damaged copy; only writers holding the lock rename here.
  std::string aside = data_path_ + ".corrupt";
  for (int n = 2; FileExists(aside); ++n) aside = data_path_ + ".corrupt." + std::to_string(n);
  if (!RenameFile(data_path_, aside)) {
    Fail("profile " + data_path_ + " is damaged (" + damage + ") and could not be set aside: " +
         std::strerror(errno));
    return false;
  }
  std::string message = "profile " + data_path_ + " was damaged (" + damage + "); set aside as " +
                        aside + ", starting empty";
  std::fprintf(stderr, "%s\n", message.c_str());
  Fail(message);
  return true;
}

std::optional<ProfileContent> ProfileStore::Read() const {
  if (folder_.empty()) {
    Fail(key_error_);
    return std::nullopt;
  }
  ProfileContent content;
  std::string damage;
  if (!ReadFile(content, damage)) return std::nullopt;
  if (damage.empty()) return content;
  // Damaged: look again under the writers' lock, where nobody can be replacing it meanwhile.
  WriterLock lock;
  if (!lock.Acquire(lock_path_)) {
    Fail("profile " + data_path_ + " is damaged (" + damage + "); " +
         SystemError("cannot lock", lock_path_));
    return std::nullopt;
  }
  if (!LoadLocked(content)) return std::nullopt;
  return content;
}

bool ProfileStore::Modify(const std::function<bool(ProfileContent&)>& change) {
  ClearError();
  if (folder_.empty()) {
    Fail(key_error_);
    return false;
  }
  if (!MakeFolders(folder_)) {
    Fail(SystemError("cannot create folder", folder_));
    return false;
  }
  WriterLock lock;
  if (!lock.Acquire(lock_path_)) {
    Fail(SystemError("cannot lock", lock_path_));
    return false;
  }
  ProfileContent content;
  if (!LoadLocked(content)) return false;
  if (!change(content)) return true;
  // A temporary file seen while holding the lock was left by a writer that was killed.
  std::vector<DirEntry> entries;
  ListFolder(folder_, entries);
  const std::string prefix = AtomicFileWriter::TempPrefix(data_name_);
  for (const auto& e : entries) {
    if (e.name.starts_with(prefix) && e.name.ends_with(".tmp")) RemoveFile(folder_ + "/" + e.name);
  }
  if (!SaveFileAtomically(data_path_, Serialize(content))) {
    Fail(SystemError("cannot save profile", data_path_));
    return false;
  }
  return true;
}

bool ProfileStore::Set(const std::string& section, const std::string& name, Value value) {
  return Modify([&](ProfileContent& content) {
    return SetEntry(SectionFor(content, section), name, std::move(value));
  });
}

std::optional<ProfileStore::Value> ProfileStore::Get(const std::string& section,
                                                     const std::string& name) const {
  ClearError();
  auto content = Read();
  if (!content) return std::nullopt;
  auto* s = FindSection(*content, section);
  auto* e = s ? FindEntry(*s, name) : nullptr;
  if (!e) return std::nullopt;
  return e->value;
}

std::optional<std::string> ProfileStore::GetString(const std::string& section,
                                                   const std::string& name) const {
  auto v = Get(section, name);
  if (auto* s = v ? std::get_if<std::string>(&*v) : nullptr) return std::move(*s);
  return std::nullopt;
}

bool ProfileStore::SetString(const std::string& section, const std::string& name,
                             const std::string& value) {
  return Set(section, name, value);
}

std::optional<int32_t> ProfileStore::GetInt(const std::string& section,
                                            const std::string& name) const {
  auto v = Get(section, name);
  if (auto* i = v ? std::get_if<int32_t>(&*v) : nullptr) return *i;
  return std::nullopt;
}

bool ProfileStore::SetInt(const std::string& section, const std::string& name, int32_t value) {
  return Set(section, name, value);
}

std::optional<std::vector<uint8_t>> ProfileStore::GetBinary(const std::string& section,
                                                            const std::string& name) const {
  auto v = Get(section, name);
  if (auto* b = v ? std::get_if<std::vector<uint8_t>>(&*v) : nullptr) return std::move(*b);
  return std::nullopt;
}

bool ProfileStore::SetBinary(const std::string& section, const std::string& name,
                             std::span<const uint8_t> value) {
  return Set(section, name, std::vector<uint8_t>(value.begin(), value.end()));
}

bool ProfileStore::DeleteValue(const std::string& section, const std::string& name) {
  return Modify([&](ProfileContent& content) {
    auto* s = FindSection(content, section);
    auto* e = s ? FindEntry(*s, name) : nullptr;
    if (!e) return false;
    s->entries.erase(s->entries.begin() + (e - s->entries.data()));
    return true;
  });
}

bool ProfileStore::DeleteSection(const std::string& section) {
  return Modify([&](ProfileContent& content) {
    auto* s = FindSection(content, section);
    if (!s) return false;
    if (s == &content.sections[0]) {
      if (s->entries.empty()) return false;
      s->entries.clear();
    } else {
      content.sections.erase(content.sections.begin() + (s - content.sections.data()));
    }
    return true;
  });
}

std::vector<std::string> ProfileStore::Sections() const {
  ClearError();
  std::vector<std::string> names;
  if (auto content = Read()) {
    for (size_t i = 1; i < content->sections.size(); ++i) names.push_back(content->sections[i].name);
  }
  return names;
}

std::vector<std::string> ProfileStore::Names(const std::string& section) const {
  ClearError();
  std::vector<std::string> names;
  auto content = Read();
  if (auto* s = content ? FindSection(*content, section) : nullptr) {
    for (const auto& e : s->entries) names.push_back(e.name);
  }
  return names;
}

}  // namespace vd::os
