#pragma once
// A program a test starts, watches and stops: changes to its environment, its output in a file,
// signals, and waiting for its end with a deadline. A child still running when the object goes
// is killed and reaped.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vd::test {

class ChildProcess {
 public:
  struct Options {
    // Variables set for the child (nullopt: removed); the rest of the test's environment stays.
    std::map<std::string, std::optional<std::string>> environment;
    // Where its standard output and error go (appended); "" keeps the test's.
    std::string output_file;
    // A descriptor of the test that the child keeps open under the same number (-1: none).
    int inherited_fd = -1;
  };

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program (a path, or a name looked up in PATH) with argv[0] = program followed by
  // args, its standard input reading /dev/null. False with the reason in `error`.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const Options& options, std::string& error);
  // Started and not ended yet.
  bool Running();
  // Sends the signal while the child runs.
  void Signal(int signal);
  // Waits until the child has ended: its wait status (as waitpid gives it), or nullopt when it
  // still runs once the time is up.
  std::optional<int> Wait(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// How a wait status ended: "exit code 3", "signal 15".
std::string DescribeWaitStatus(int status);

}  // namespace vd::test
