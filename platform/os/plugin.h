#pragma once
// A shared library loaded at run time, and the symbols it exports.
#include <string>
#include <type_traits>

namespace vd::os {

class Plugin {
 public:
  Plugin() = default;
  ~Plugin();
  Plugin(Plugin&& other) noexcept;
  Plugin& operator=(Plugin&& other) noexcept;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // Loads the library (a path, or a file name searched for as the dynamic loader does), closing
  // any library loaded before. False with Error() set on failure.
  bool Load(const std::string& path);
  void Close();
  bool IsLoaded() const { return handle_ != nullptr; }

  // The address of an exported symbol; null with Error() set when absent or nothing is loaded.
  void* Symbol(const std::string& name) const;
  template <class F>
  F Function(const std::string& name) const {
    static_assert(std::is_pointer_v<F> && std::is_function_v<std::remove_pointer_t<F>>,
                  "Function<F>: F must be a pointer to function");
    return reinterpret_cast<F>(Symbol(name));
  }

  // The file the loaded library was found in ("" when nothing is loaded): the path given, or
  // where the dynamic loader's search found the name.
  std::string Path() const;

  // What went wrong in the last failed call.
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  mutable std::string error_;
};

}  // namespace vd::os
