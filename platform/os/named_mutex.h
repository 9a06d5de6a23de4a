#pragma once
// A mutex shared by name between processes of the same user, as Corvex and Lumex share
// "Vardune-API-mutex". Across processes it is an flock on <folder>/<name>.lock; inside the process
// every NamedMutex of the same lock file shares one recursive mutex, so a thread may lock it again
// and other threads of this process wait like other processes do.
#include <memory>
#include <string>

namespace vd::os {

class NamedMutex {
 public:
  // The lock file lies in RuntimeFolder().
  explicit NamedMutex(std::string name);
  NamedMutex(std::string name, const std::string& folder);
  // Releases what the calling thread still holds through this object.
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // timeout_ms < 0 waits without limit. False on time-out, or when the lock file cannot be
  // opened (a name holding '/' never can).
  bool Lock(int timeout_ms = -1);
  // Undoes one Lock taken through this object by the calling thread; otherwise does nothing.
  void Unlock();

 private:
  struct Shared;
  static std::shared_ptr<Shared> SharedFor(const std::string& lock_path);

  std::shared_ptr<Shared> shared_;
  int held_ = 0;  // Locks taken through this object; changed only by the holding thread.
};

}  // namespace vd::os
