#include "platform/os/process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/environment.h"

extern char** environ;

namespace vd::os {
namespace {

std::string ErrorText(int error) { return std::generic_category().message(error); }

// Waits for the children that nobody waits for, so that none stays a zombie. One thread, started
// with the first such child, polls a pidfd per child; it is stopped and joined when the program
// ends (children still running then are inherited by the system's reaper).
class Reaper {
 public:
  static Reaper& Instance() {
    static Reaper reaper;
    return reaper;
  }

  void Adopt(pid_t pid) {
    // The syscall itself: this glibc's <sys/pidfd.h> lacks C linkage for C++.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) return;  // Out of descriptors: the child stays a zombie until the program ends.
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) {
      wake_fd_ = ::eventfd(0, EFD_CLOEXEC);
      thread_ = std::thread(&Reaper::Run, this);
    }
    children_.push_back({pid, pidfd});
    Wake();
  }

 private:
  struct Child {
    pid_t pid;
    int pidfd;
  };

  Reaper() = default;

  ~Reaper() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      Wake();
    }
    thread_.join();
    for (const Child& child : children_) ::close(child.pidfd);
    ::close(wake_fd_);
  }

  void Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wake_fd_, &one, sizeof one);
  }

  void Run() {
    std::vector<pollfd> fds;
    while (true) {
      fds.assign(1, pollfd{wake_fd_, POLLIN, 0});
      {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        for (const Child& child : children_) fds.push_back({child.pidfd, POLLIN, 0});
      }
      if (::poll(fds.data(), fds.size(), -1) < 0) continue;  // EINTR
      if (fds[0].revents != 0) {
        uint64_t count;
        [[maybe_unused]] auto got = ::read(wake_fd_, &count, sizeof count);
      }
      std::lock_guard lock(mutex_);
      std::erase_if(children_, [&](const Child& child) {
        const bool ended = std::any_of(fds.begin() + 1, fds.end(), [&](const pollfd& fd) {
          return fd.fd == child.pidfd && fd.revents != 0;
        });
        if (ended) {
          ::waitpid(child.pid, nullptr, WNOHANG);
          ::close(child.pidfd);
        }
        return ended;
      });
    }
  }

  std::mutex mutex_;
  std::vector<Child> children_;
  int wake_fd_ = -1;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

SpawnResult Spawn(const std::string& program, const std::vector<std::string>& args, bool wait) {
  SpawnResult result;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // The child starts with no blocked signals and default handling of every signal, whatever
  // this thread blocks or this program ignores (SIGPIPE, typically).
  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  ::posix_spawnattr_setsigmask(&attributes, &signals);
  sigfillset(&signals);
  ::posix_spawnattr_setsigdefault(&attributes, &signals);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid;
  int error;
  {
    auto lock = LockEnvironment();  // posix_spawnp reads PATH and copies environ.
    error = ::posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
  }
  ::posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    result.error = "cannot start \"" + program + "\": " + ErrorText(error);
    return result;
  }
  result.started = true;
  result.pid = pid;
  if (!wait) {
    Reaper::Instance().Adopt(pid);
    return result;
  }
  int status;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      result.error = "cannot wait for \"" + program + "\": " + ErrorText(errno);
      return result;
    }
  }
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
    result.error = "\"" + program + "\" ended by signal " + std::to_string(WTERMSIG(status));
  }
  return result;
}

bool OpenDocument(const std::string& path_or_url) { return Spawn("xdg-open", {path_or_url}, false).started; }

}  // namespace vd::os
