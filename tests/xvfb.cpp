#include "tests/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <sstream>

#include "platform/os/environment.h"
#include "platform/os/files.h"

namespace vd::test {

namespace {

constexpr auto kServerStartLimit = std::chrono::seconds(60);
constexpr auto kScreenshotLimit = std::chrono::seconds(60);
constexpr auto kServerStopLimit = std::chrono::seconds(30);

// Reads what the server writes on the pipe until the line end, the pipe's end or the deadline.
std::string ReadLine(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string line;
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, int(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[64];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;  // the server ended without a display number
    line.append(buffer, size_t(got));
  }
  return line;
}

std::string Output(const std::string& path) {
  std::string text;
  vd::os::ReadWholeFile(path, text);
  return text;
}

}  // namespace

bool Xvfb::Installed() {
  const std::string path = vd::os::GetEnv("PATH").value_or("/usr/bin:/bin");
  std::istringstream folders(path);
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && ::access((folder + "/Xvfb").c_str(), X_OK) == 0) return true;
  return false;
}

Xvfb::~Xvfb() {
  server_.Signal(SIGTERM);
  server_.Wait(kServerStopLimit);  // a server that does not stop is killed with the child
}

bool Xvfb::Start(int width, int height, std::string& error) {
  // The server picks a free display number and writes it on the pipe once it takes
  // connections.
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    error = "no pipe";
    return false;
  }
  const std::string log = dir_.File("xvfb.log");
  ChildProcess::Options options;
  options.output_file = log;
  options.inherited_fd = pipe_fds[1];
  const bool started = server_.Start(
      "Xvfb",
      {"-displayfd", std::to_string(pipe_fds[1]), "-screen", "0",
       std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp",
       "-noreset"},
      options, error);
  ::close(pipe_fds[1]);
  std::string number;
  if (started) number = ReadLine(pipe_fds[0], std::chrono::steady_clock::now() + kServerStartLimit);
  ::close(pipe_fds[0]);
  if (!started) return false;
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
    error = "Xvfb gave no display number; its output:\n" + Output(log);
    return false;
  }
  display_ = ":" + number;
  return true;
}

std::optional<RgbImage> Xvfb::Screenshot(std::string& error) {
  const std::string file = dir_.File("screen.xwd");
  const std::string log = dir_.File("xwd.log");
  vd::os::RemoveFile(file);
  vd::os::RemoveFile(log);
  ChildProcess xwd;
  ChildProcess::Options options;
  options.output_file = log;
  if (!xwd.Start("xwd", {"-root", "-silent", "-display", display_, "-out", file}, options, error))
    return std::nullopt;
  const std::optional<int> status = xwd.Wait(kScreenshotLimit);
  if (status != 0) {
    error = "xwd " + (status ? "ended with " + DescribeWaitStatus(*status) : "took too long") +
            ": " + Output(log);
    return std::nullopt;
  }
  std::string bytes;
  if (!vd::os::ReadWholeFile(file, bytes)) {
    error = "xwd wrote no screenshot";
    return std::nullopt;
  }
  return ReadXwd(bytes, error);
}

}  // namespace vd::test
