#include "platform/os/ipc_channel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>

#include "platform/os/folders.h"
#include "platform/os/message_queue.h"

namespace vd::os {

namespace {

constexpr uint32_t kMagic = 0x314D4456;      // "VDM1" little-endian
constexpr uint32_t kTextMagic = 0x324D4456;  // "VDM2": a text follows the request
constexpr size_t kRequestSize = 24;
constexpr size_t kReplySize = 8;
// How long the server waits for a connected client's request.
constexpr int kRequestTimeoutMs = 5000;

void PutLE(uint8_t* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLE(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint64_t{in[i]} << (8 * i);
  return value;
}

sockaddr_un Address(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  path.copy(addr.sun_path, sizeof addr.sun_path - 1);
  return addr;
}

int NewSocket() { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); }

bool Bind(int fd, const std::string& path) {
  sockaddr_un addr = Address(path);
  return bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

std::optional<struct stat> SocketFileAt(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return std::nullopt;
  return st;
}

// Removes the socket file at path only while it is still the one seen before.
void RemoveIfSame(const std::string& path, dev_t device, ino_t inode) {
  auto now = SocketFileAt(path);
  if (now && now->st_dev == device && now->st_ino == inode) unlink(path.c_str());
}

// A connected descriptor, or -1. A socket file that refuses connections belongs to a program
// that is gone: it is removed.
int Connect(const std::string& path) {
  auto seen = SocketFileAt(path);
  if (!seen) return -1;
  int fd = NewSocket();
  if (fd < 0) return -1;
  sockaddr_un addr = Address(path);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  int error = errno;
  close(fd);
  if (error == ECONNREFUSED) RemoveIfSame(path, seen->st_dev, seen->st_ino);
  return -1;
}

// Reads exactly size bytes within timeout_ms. False on time-out, a peer that closed or
// failed, or once wake_fd (when given) becomes readable.
bool ReadExact(int fd, uint8_t* out, size_t size, int timeout_ms, int wake_fd = -1) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t got = 0;
  while (got < size) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    int r = poll(fds, wake_fd >= 0 ? 2 : 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0 || fds[1].revents) return false;
    ssize_t n = recv(fd, out + got, size - got, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// The frames are far smaller than a socket's buffer: one send either takes all or fails.
bool SendAll(int fd, const uint8_t* data, size_t size) {
  ssize_t n;
  do n = send(fd, data, size, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(size);
}

// Makes the listening socket at temp visible as path, replacing only a dead program's socket.
bool Publish(const std::string& temp, const std::string& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (link(temp.c_str(), path.c_str()) == 0) return true;
    if (errno != EEXIST) return false;
    int other = Connect(path);  // removes a dead program's socket
    if (other >= 0) {
      close(other);
      return false;
    }
  }
  return false;
}

}  // namespace

std::string IpcSocketPath(const std::string& window_class) {
  if (window_class.empty() || window_class == "." || window_class == ".." ||
      window_class.find_first_of(std::string("/\0", 2)) != std::string::npos)
    return "";
  std::string path = RuntimeFolder() + "/vardune/" + window_class;
  // Room for the temporary name Listen binds first (see there).
  if (path.size() + 24 >= sizeof(sockaddr_un::sun_path)) return "";
  return path;
}

bool IpcServer::Listen(const std::string& window_class, MessageWindow& target) {
  Stop();
  const std::string path = IpcSocketPath(window_class);
  if (path.empty()) return false;
  mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);

  // Bound and listening under a private name first, then hard-linked to the public name:
  // link never replaces an existing file, and no client finds the socket before it accepts
  // (a client refused in between would take it for a dead one and remove it).
  const std::string temp = path + "." + std::to_string(getpid()) + ".new";
  unlink(temp.c_str());
  int fd = NewSocket();
  std::optional<struct stat> own;
  if (fd >= 0 && Bind(fd, temp) && listen(fd, 16) == 0) {
    own = SocketFileAt(temp);
    if (own && !Publish(temp, path)) own.reset();
  }
  unlink(temp.c_str());
  if (own) wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (!own || wake_fd_ < 0) {
    if (own) RemoveIfSame(path, own->st_dev, own->st_ino);
    if (fd >= 0) close(fd);
    return false;
  }
  path_ = path;
  device_ = own->st_dev;
  inode_ = own->st_ino;
  listen_fd_ = fd;
  target_ = &target;
  thread_ = std::jthread([this](std::stop_token stop) { Serve(stop); });
  return true;
}

void IpcServer::Stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
  thread_.join();
  RemoveIfSame(path_, device_, inode_);
  close(listen_fd_);
  close(wake_fd_);
  listen_fd_ = wake_fd_ = -1;
}

void IpcServer::Serve(std::stop_token stop) {
  while (!stop.stop_requested()) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Answer(client, stop);
    close(client);
  }
}

void IpcServer::Answer(int client, std::stop_token stop) {
  // A client that only checks whether we exist closes without a request.
  uint8_t request[kRequestSize];
  if (!ReadExact(client, request, sizeof request, kRequestTimeoutMs, wake_fd_)) return;
  const uint64_t magic = GetLE(request, 4);
  if (magic != kMagic && magic != kTextMagic) return;
  const auto msg = static_cast<uint32_t>(GetLE(request + 4, 4));
  const auto code = static_cast<uintptr_t>(GetLE(request + 8, 8));
  auto lparam = static_cast<intptr_t>(GetLE(request + 16, 8));
  std::string text;
  if (magic == kTextMagic) {
    uint8_t length[4];
    if (!ReadExact(client, length, sizeof length, kRequestTimeoutMs, wake_fd_)) return;
    const uint64_t size = GetLE(length, 4);
    if (size > kIpcMaxText) return;
    text.resize(size);
    if (!ReadExact(client, reinterpret_cast<uint8_t*>(text.data()), size, kRequestTimeoutMs,
                   wake_fd_))
      return;
    lparam = reinterpret_cast<intptr_t>(&text);
  }
  current_text_ = magic == kTextMagic ? &text : nullptr;
  const intptr_t result = target_->Send(stop, msg, code, lparam);
  current_text_ = nullptr;
  uint8_t reply[kReplySize];
  PutLE(reply, static_cast<uint64_t>(result), 8);
  SendAll(client, reply, sizeof reply);
}

namespace {

std::optional<intptr_t> SendRequest(const std::string& window_class, uint32_t msg,
                                    uintptr_t code, intptr_t lparam, const std::string* text,
                                    int timeout_ms) {
  if (text && text->size() > kIpcMaxText) return std::nullopt;
  const std::string path = IpcSocketPath(window_class);
  int fd = path.empty() ? -1 : Connect(path);
  if (fd < 0) return std::nullopt;
  std::string request(kRequestSize + (text ? 4 + text->size() : 0), '\0');
  auto* bytes = reinterpret_cast<uint8_t*>(request.data());
  PutLE(bytes, text ? kTextMagic : kMagic, 4);
  PutLE(bytes + 4, msg, 4);
  PutLE(bytes + 8, code, 8);
  PutLE(bytes + 16, static_cast<uint64_t>(lparam), 8);
  if (text) {
    PutLE(bytes + kRequestSize, text->size(), 4);
    text->copy(request.data() + kRequestSize + 4, text->size());
  }
  uint8_t reply[kReplySize];
  bool ok = SendAll(fd, bytes, request.size()) && ReadExact(fd, reply, sizeof reply, timeout_ms);
  close(fd);
  if (!ok) return std::nullopt;
  return static_cast<intptr_t>(GetLE(reply, 8));
}

}  // namespace

std::optional<intptr_t> IpcSend(const std::string& window_class, uint32_t msg, uintptr_t code,
                                intptr_t lparam, int timeout_ms) {
  return SendRequest(window_class, msg, code, lparam, nullptr, timeout_ms);
}

std::optional<intptr_t> IpcSendText(const std::string& window_class, uint32_t msg,
                                    uintptr_t code, const std::string& text, int timeout_ms) {
  return SendRequest(window_class, msg, code, 0, &text, timeout_ms);
}

bool IpcWindowExists(const std::string& window_class) {
  const std::string path = IpcSocketPath(window_class);
  int fd = path.empty() ? -1 : Connect(path);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::string FormatPlacementText(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return std::to_string(left) + " " + std::to_string(top) + " " + std::to_string(right) + " " +
         std::to_string(bottom);
}

std::optional<PlacementRect> ParsePlacementText(const std::string& text) {
  int64_t values[4] = {};
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (int64_t& value : values) {
    while (at < end && *at == ' ') ++at;
    const auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc()) return std::nullopt;
    at = next;
  }
  if (at != end) return std::nullopt;
  return PlacementRect{values[0], values[1], values[2], values[3]};
}

}  // namespace vd::os
