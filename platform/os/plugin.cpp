#include "platform/os/plugin.h"

#include <dlfcn.h>
#include <link.h>

#include <utility>

namespace vd::os {
namespace {

std::string LastLoaderError(const std::string& fallback) {
  const char* text = ::dlerror();
  return text != nullptr ? std::string(text) : fallback;
}

}  // namespace

Plugin::~Plugin() { Close(); }

Plugin::Plugin(Plugin&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

Plugin& Plugin::operator=(Plugin&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool Plugin::Load(const std::string& path) {
  Close();
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error_ = LastLoaderError("cannot load \"" + path + "\"");
    return false;
  }
  error_.clear();
  return true;
}

void Plugin::Close() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

void* Plugin::Symbol(const std::string& name) const {
  if (handle_ == nullptr) {
    error_ = "no library loaded";
    return nullptr;
  }
  ::dlerror();  // A symbol may legitimately be null: only dlerror tells a failure apart.
  void* address = ::dlsym(handle_, name.c_str());
  if (address == nullptr) {
    const char* text = ::dlerror();
    if (text != nullptr) error_ = text;
  }
  return address;
}

std::string Plugin::Path() const {
  link_map* map = nullptr;
  if (handle_ == nullptr || ::dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
      map->l_name == nullptr) {
    return "";
  }
  return map->l_name;
}

}  // namespace vd::os
