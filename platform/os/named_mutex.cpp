#include "platform/os/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/os/folders.h"

namespace vd::os {

namespace {

using Clock = std::chrono::steady_clock;

bool ValidName(const std::string& name) {
  return !name.empty() && name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

// Takes an exclusive flock on the file at path, waiting until deadline (none = no limit).
// Returns the descriptor holding it, or -1. A lock on a file that was removed or replaced
// meanwhile would exclude nobody, so the descriptor must still name the file at path.
int LockFile(const std::string& path, std::optional<Clock::time_point> deadline) {
  auto pause = std::chrono::milliseconds(1);
  while (true) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    int result;
    while ((result = ::flock(fd, deadline ? LOCK_EX | LOCK_NB : LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result == 0) {
      struct stat held, named;
      if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
          held.st_ino == named.st_ino) {
        return fd;
      }
      ::close(fd);
      continue;
    }
    const int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK) return -1;
    const auto now = Clock::now();
    if (now >= *deadline) return -1;
    // flock cannot wait with a time-out: poll, backing off to a few milliseconds.
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, *deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(8));
  }
}

}  // namespace

struct NamedMutex::Shared {
  explicit Shared(std::string lock_path) : path(std::move(lock_path)) {}

  const std::string path;  // Empty for an invalid name.
  std::recursive_timed_mutex mutex;
  std::atomic<std::thread::id> owner;
  int depth = 0;  // Guarded by mutex, as is fd.
  int fd = -1;
};

// One Shared per lock file in this process, kept while any NamedMutex uses it.
std::shared_ptr<NamedMutex::Shared> NamedMutex::SharedFor(const std::string& lock_path) {
  static std::mutex registry_mutex;
  static std::map<std::string, std::weak_ptr<Shared>> registry;
  std::lock_guard lock(registry_mutex);
  std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
  auto& slot = registry[lock_path];
  auto shared = slot.lock();
  if (!shared) {
    shared = std::make_shared<Shared>(lock_path);
    slot = shared;
  }
  return shared;
}

NamedMutex::NamedMutex(std::string name) : NamedMutex(std::move(name), RuntimeFolder()) {}

NamedMutex::NamedMutex(std::string name, const std::string& folder)
    : shared_(SharedFor(ValidName(name) ? folder + "/" + name + ".lock" : std::string())) {}

NamedMutex::~NamedMutex() {
  if (shared_->owner.load() != std::this_thread::get_id()) return;
  while (held_ > 0) Unlock();
}

bool NamedMutex::Lock(int timeout_ms) {
  Shared& s = *shared_;
  if (s.path.empty()) return false;
  std::optional<Clock::time_point> deadline;
  if (timeout_ms >= 0) {
    deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    if (!s.mutex.try_lock_until(*deadline)) return false;
  } else {
    s.mutex.lock();
  }
  if (s.depth == 0) {
    s.fd = LockFile(s.path, deadline);
    if (s.fd < 0) {
      s.mutex.unlock();
      return false;
    }
    s.owner = std::this_thread::get_id();
  }
  ++s.depth;
  ++held_;
  return true;
}

void NamedMutex::Unlock() {
  Shared& s = *shared_;
  if (s.owner.load() != std::this_thread::get_id() || held_ == 0) return;
  --held_;
  if (--s.depth == 0) {
    s.owner = std::thread::id();
    ::close(s.fd);  // Closing the only descriptor releases the flock.
    s.fd = -1;
  }
  s.mutex.unlock();
}

}  // namespace vd::os
