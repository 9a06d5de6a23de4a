#pragma once
// The per-user settings store that stands in for the registry: a key path such as
// "Software\\Vardune\\Vardune Navigator" holds sections, and sections hold named values
// (strings, 32-bit integers, binary blobs). Section "" is the key itself.
//
// Each key path is one text file under the root: the components before the last are folders,
// the last names "<last>.profile" (with "<last>.lock" beside it). Component bytes that could
// leave or confuse the folder tree ('/', '.', '%', control bytes) are written as %XX. Key paths
// match exactly as spelled; section and value names match case-insensitively and keep the
// spelling they were first written with.
//
// File format, one item per line, UTF-8 text:
//   # vardune-profile 1          first line
//   s name=text                  a string value      (before any section: section "")
//   i name=-42                   an integer value, decimal
//   b name=00ff10                a binary value, two hex digits per byte
//   [section]                    the values that follow belong to this section
// Names, section names and strings write the bytes '%', '=', '[', ']', 0x00-0x1F and 0x7F as
// %XX, so any value survives.
//
// Every call reads the file afresh, so it sees what other processes wrote before it. Each change
// takes an exclusive lock on the lock file, re-reads the file, applies the change and saves the
// whole file atomically (temporary file, fsync, rename); readers need no lock since the file is
// only ever replaced whole. A file that cannot be parsed is renamed with ".corrupt" appended
// (".corrupt.2", ... when that name is taken), the fact is reported through LastError() and on
// stderr, and the store goes on empty.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/os/folders.h"

namespace vd::os {

struct ProfileContent;  // a parsed profile file

class ProfileStore {
 public:
  explicit ProfileStore(std::string key_path, std::string root = ConfigFolder() + "/Vardune");

  // Getters return nullopt when the value is missing or of another kind.
  std::optional<std::string> GetString(const std::string& section, const std::string& name) const;
  bool SetString(const std::string& section, const std::string& name, const std::string& value);
  std::optional<int32_t> GetInt(const std::string& section, const std::string& name) const;
  bool SetInt(const std::string& section, const std::string& name, int32_t value);
  std::optional<std::vector<uint8_t>> GetBinary(const std::string& section,
                                                const std::string& name) const;
  bool SetBinary(const std::string& section, const std::string& name,
                 std::span<const uint8_t> value);

  // True when the value (section) is absent afterwards, whether or not it was there.
  bool DeleteValue(const std::string& section, const std::string& name);
  bool DeleteSection(const std::string& section);

  // Named sections in file order (section "" is not listed), and the value names of a section.
  std::vector<std::string> Sections() const;
  std::vector<std::string> Names(const std::string& section) const;

  // What went wrong in the last call, or "" when it went well.
  std::string LastError() const;

  // The file that holds this key path.
  const std::string& file_path() const { return data_path_; }

 private:
  using Value = std::variant<std::string, int32_t, std::vector<uint8_t>>;

  // Reads and parses the file (a missing file is empty); false on a read error. A file that
  // does not parse gives empty content and the reason in `damage`.
  bool ReadFile(ProfileContent& content, std::string& damage) const;
  // The content under the writers' lock, a damaged file set aside.
  bool LoadLocked(ProfileContent& content) const;
  // The content for a reader; nullopt on failure.
  std::optional<ProfileContent> Read() const;
  bool Modify(const std::function<bool(ProfileContent&)>& change);
  bool Set(const std::string& section, const std::string& name, Value value);
  std::optional<Value> Get(const std::string& section, const std::string& name) const;
  void ClearError() const;
  void Fail(const std::string& message) const;

  std::string folder_;     // "" when the key path is unusable
  std::string data_path_;
  std::string lock_path_;
  std::string data_name_;
  std::string key_error_;  // why the key path is unusable
  mutable std::mutex error_mutex_;
  mutable std::string last_error_;
};

}  // namespace vd::os
