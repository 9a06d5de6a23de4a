#include "core/persistent_value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace vd {
namespace {

struct ProfileLocation {
  std::string key_path = kDefaultProfileKey;
  std::string root;  // "" = the store's default
};

// Never freed: values owned by static objects write themselves back during static destruction,
// after function-local statics made later than their owners are already gone.
ProfileLocation& Location() {
  static auto* location = new ProfileLocation;
  return *location;
}

}  // namespace

void SetProfileLocation(std::string key_path, std::string root) {
  Location().key_path = std::move(key_path);
  Location().root = std::move(root);
}

os::ProfileStore OpenAppProfile() {
  if (Location().root.empty()) return os::ProfileStore(Location().key_path);
  return os::ProfileStore(Location().key_path, Location().root);
}

void LoadProfileBinary(const std::string& name, void* data, size_t size) {
  const auto stored = OpenAppProfile().GetBinary(kSettingsSection, name);
  if (stored) std::memcpy(data, stored->data(), std::min(size, stored->size()));
}

void SaveProfileBinary(const std::string& name, const void* data, size_t size) {
  OpenAppProfile().SetBinary(kSettingsSection, name,
                             std::span(static_cast<const uint8_t*>(data), size));
}

}  // namespace vd

void PersistentInt::Init(const char* name, int default_value) {
  name_ = name != nullptr ? name : "";
  value = name_.empty()
              ? default_value
              : vd::OpenAppProfile().GetInt(vd::kSettingsSection, name_).value_or(default_value);
}

PersistentInt::~PersistentInt() {
  if (!name_.empty()) vd::OpenAppProfile().SetInt(vd::kSettingsSection, name_, value);
}

void PersistentString::Init(const char* name) {
  name_ = name != nullptr ? name : "";
  value =
      name_.empty() ? "" : vd::OpenAppProfile().GetString(vd::kSettingsSection, name_).value_or("");
}

PersistentString::~PersistentString() {
  if (!name_.empty()) vd::OpenAppProfile().SetString(vd::kSettingsSection, name_, value);
}
