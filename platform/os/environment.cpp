#include "platform/os/environment.h"

#include <cstdlib>

namespace vd::os {
namespace {

std::mutex& EnvironmentMutex() {
  static std::mutex mutex;
  return mutex;
}

bool ValidName(const std::string& name) {
  return !name.empty() && name.find_first_of(std::string_view("=\0", 2)) == std::string::npos;
}

}  // namespace

std::unique_lock<std::mutex> LockEnvironment() { return std::unique_lock(EnvironmentMutex()); }

std::optional<std::string> GetEnv(const std::string& name) {
  if (!ValidName(name)) return std::nullopt;
  auto lock = LockEnvironment();
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool SetEnv(const std::string& name, const std::string& value) {
  if (!ValidName(name) || value.find('\0') != std::string::npos) return false;
  auto lock = LockEnvironment();
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnv(const std::string& name) {
  if (!ValidName(name)) return false;
  auto lock = LockEnvironment();
  return ::unsetenv(name.c_str()) == 0;
}

}  // namespace vd::os
