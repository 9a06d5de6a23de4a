#pragma once
// A loopback HTTP server that takes one connection at a time, records each request byte for
// byte and answers every one with the status set. The cloud-sync upload form is not standard
// multipart (bare boundary lines, no blank line after part headers), so a server library that
// parses multipart bodies turns it away before any handler sees it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vd::test {

class RawHttpRecorder {
 public:
  struct Request {
    std::string head;  // request line and headers
    std::string body;
  };

  RawHttpRecorder() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("RawHttpRecorder: cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RawHttpRecorder() { Stop(); }
  RawHttpRecorder(const RawHttpRecorder&) = delete;
  RawHttpRecorder& operator=(const RawHttpRecorder&) = delete;

  // Ends the accept loop and joins it; later connections are refused. Idempotent.
  void Stop() {
    if (!thread_.joinable()) return;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }

  int port() const { return port_; }
  void set_status(int status) { status_ = status; }
  std::vector<Request> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    requests_.clear();
  }

 private:
  void Serve() {
    for (;;) {
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      std::string bytes;
      size_t head_end = std::string::npos;
      size_t length = 0;
      char buffer[4096];
      for (;;) {
        if (head_end == std::string::npos &&
            (head_end = bytes.find("\r\n\r\n")) != std::string::npos) {
          head_end += 4;
          std::string head = bytes.substr(0, head_end);
          for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          const size_t field = head.find("\r\ncontent-length:");
          if (field != std::string::npos) length = std::stoul(head.substr(field + 17));
        }
        if (head_end != std::string::npos && bytes.size() >= head_end + length) break;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
      }
      if (head_end != std::string::npos) {
        std::lock_guard lock(mutex_);
        requests_.push_back({bytes.substr(0, head_end), bytes.substr(head_end)});
      }
      const std::string reply = "HTTP/1.1 " + std::to_string(status_.load()) +
                                " X\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK";
      ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  std::atomic<int> status_{200};
  int listener_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace vd::test
