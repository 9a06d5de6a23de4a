#pragma once
// The process environment. The C library's getenv/setenv/unsetenv are not safe to call while
// another thread changes the environment, so every access in this program goes through these
// functions, which share one lock and hand back copies.
#include <mutex>
#include <optional>
#include <string>

namespace vd::os {

// The value of the variable, or nullopt when it is not set.
std::optional<std::string> GetEnv(const std::string& name);
// False (and nothing changed) when the name is empty or holds '=' or a NUL, or the value holds a NUL.
bool SetEnv(const std::string& name, const std::string& value);
bool UnsetEnv(const std::string& name);

// Holds the environment lock for code that hands the whole environment on (starting a process).
std::unique_lock<std::mutex> LockEnvironment();

}  // namespace vd::os
