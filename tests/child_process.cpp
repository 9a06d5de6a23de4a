#include "tests/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/os/environment.h"

extern char** environ;

namespace vd::test {

namespace {

// The test's environment with the changes applied, as "NAME=value" texts.
std::vector<std::string> ChildEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> out;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (!changes.contains(text.substr(0, text.find('=')))) out.push_back(text);
  }
  for (const auto& [name, value] : changes)
    if (value) out.push_back(name + "=" + *value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (!Running()) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const Options& options, std::string& error) {
  if (pid_ > 0) {
    error = "already started";
    return false;
  }
  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::vector<char*> argv = Pointers(argv_texts);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!options.output_file.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, options.output_file.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  if (options.inherited_fd >= 0) {
    const int flags = ::fcntl(options.inherited_fd, F_GETFD);
    if (flags >= 0) ::fcntl(options.inherited_fd, F_SETFD, flags & ~FD_CLOEXEC);
  }
  int result = 0;
  {
    const auto lock = vd::os::LockEnvironment();
    std::vector<std::string> env_texts = ChildEnvironment(options.environment);
    std::vector<char*> envp = Pointers(env_texts);
    result = ::posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  }
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    pid_ = -1;
    error = "can't start " + program + ": " + std::strerror(result);
    return false;
  }
  return true;
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || status_) return false;
  int status = 0;
  const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
  if (ended == pid_) status_ = status;
  return !status_;
}

void ChildProcess::Signal(int signal) {
  if (Running()) ::kill(pid_, signal);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the interval of the check
  return status_;
}

std::string DescribeWaitStatus(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace vd::test
