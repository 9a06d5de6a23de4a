#pragma once
// Single values of the application's profile (the registry's stand-in, vd::os::ProfileStore),
// section "settings": each object loads its value when it is bound to a name and writes it back
// when it is destroyed. They are members of long-lived objects, so the values are normally
// written at program exit. Unbound objects (no name) never touch the profile.
#include <cstddef>
#include <string>
#include <type_traits>

#include "platform/os/profile_store.h"

namespace vd {

inline constexpr char kDefaultProfileKey[] = "Software\\Vardune\\Vardune Navigator";
inline constexpr char kSettingsSection[] = "settings";

// Chooses the profile the values use: its key path and, "" for the default, the folder holding
// the profile files. Each program calls it once at start-up, before any value is bound; tests
// point it at a folder of their own.
void SetProfileLocation(std::string key_path, std::string root = "");
// A store on the chosen profile.
os::ProfileStore OpenAppProfile();

// Copies at most `size` bytes of the binary value `name` over `data`; the rest stays as it was.
void LoadProfileBinary(const std::string& name, void* data, size_t size);
void SaveProfileBinary(const std::string& name, const void* data, size_t size);

}  // namespace vd

class PersistentInt {
 public:
  PersistentInt() = default;
  ~PersistentInt();
  PersistentInt(const PersistentInt&) = delete;
  PersistentInt& operator=(const PersistentInt&) = delete;

  // Binds to `name` and loads it, `default_value` when absent; a null name leaves the object
  // unbound with value = default_value.
  void Init(const char* name, int default_value);

  int value = 0;

 private:
  std::string name_;
};

class PersistentString {
 public:
  PersistentString() = default;
  // Binds and loads at once.
  explicit PersistentString(const char* name) { Init(name); }
  ~PersistentString();
  PersistentString(const PersistentString&) = delete;
  PersistentString& operator=(const PersistentString&) = delete;

  // Binds to `name` and loads it, "" when absent; a null name leaves the object unbound.
  void Init(const char* name);

  std::string value;

 private:
  std::string name_;
};

// A settings structure kept as the bytes of its value (a binary profile value). Loading copies
// at most sizeof(T) stored bytes over the defaults, so a shorter value from an older version
// keeps the defaults of the fields it lacks.
template <class T>
class PersistentData {
  static_assert(std::is_trivially_copyable_v<T>, "stored as its bytes");

 public:
  PersistentData() = default;
  explicit PersistentData(std::string name, const T& defaults = T{}) : value(defaults) {
    Init(std::move(name));
  }
  ~PersistentData() { Save(); }
  PersistentData(const PersistentData&) = delete;
  PersistentData& operator=(const PersistentData&) = delete;

  // Binds to `name` (empty = unbound) and loads it over the current value.
  void Init(std::string name) {
    name_ = std::move(name);
    if (!name_.empty()) vd::LoadProfileBinary(name_, &value, sizeof(T));
  }
  // Writes the value now (the destructor writes it again).
  void Save() const {
    if (!name_.empty()) vd::SaveProfileBinary(name_, &value, sizeof(T));
  }

  T value{};

 private:
  std::string name_;
};
