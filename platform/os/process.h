#pragma once
// Starting other programs. Arguments reach the program exactly as given: nothing goes through a
// shell, so spaces and shell characters in them mean nothing.
#include <string>
#include <vector>

namespace vd::os {

struct SpawnResult {
  bool started = false;
  int pid = -1;
  int exit_code = -1;  // Set when waited for: the exit status, or -1 when a signal ended it.
  int signal = 0;      // Set when waited for: the signal that ended it, 0 when it exited.
  std::string error;   // Why it did not start, or how it ended when not by exiting.
};

// Starts program (a path, or a name looked up in PATH) with argv[0] = program followed by args.
// With wait, returns once it has ended. Without, a child that ends is reaped in the background,
// so pid is for information only.
SpawnResult Spawn(const std::string& program, const std::vector<std::string>& args, bool wait);

// Hands a file or a web address to the desktop ("xdg-open"); true when that was started.
bool OpenDocument(const std::string& path_or_url);

}  // namespace vd::os
