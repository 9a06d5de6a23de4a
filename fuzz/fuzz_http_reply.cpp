// Fuzz target: what the program's HTTP client makes of a server's reply. The input's first byte
// chooses the request (a file download, a range, a buffer read, HEAD, POST, POST into a file);
// the rest is the whole reply (status line, headers, body) a loopback server sends before it
// closes the connection. The server also stands as every proxy, so that a redirect to any
// host comes back to it: nothing leaves the machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/http_connection.h"
#include "fuzz/fuzz_support.h"
#include "platform/os/http_transport.h"

namespace {

std::mutex g_mutex;
std::string g_reply;  // what the server answers, guarded by g_mutex
int g_port = 0;

// Reads from the socket into `text` until `done` holds, the peer closes or a second passes
// without a byte.
template <class Done>
void ReadUntil(int socket, std::string& text, Done done) {
  char buffer[4096];
  while (!done()) {
    pollfd p{socket, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) return;
    const ssize_t got = recv(socket, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    text.append(buffer, size_t(got));
  }
}

// One connection: the request (headers, and a body of the length they give), then the reply.
void Serve(int socket) {
  std::string request;
  ReadUntil(socket, request, [&] { return request.find("\r\n\r\n") != std::string::npos; });
  const size_t end = request.find("\r\n\r\n");
  if (end != std::string::npos) {
    size_t length = 0;
    const size_t field = request.find("Content-Length: ");
    if (field != std::string::npos && field < end) length = std::strtoul(&request[field + 16], nullptr, 10);
    const size_t whole = end + 4 + std::min<size_t>(length, 1 << 20);
    ReadUntil(socket, request, [&] { return request.size() >= whole; });
  }
  std::string reply;
  {
    std::lock_guard lock(g_mutex);
    reply = g_reply;
  }
  for (size_t sent = 0; sent < reply.size();) {
    const ssize_t n = send(socket, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += size_t(n);
  }
  shutdown(socket, SHUT_WR);
  std::string rest;
  ReadUntil(socket, rest, [] { return false; });
  close(socket);
}

void StartServer() {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener, 16) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    abort();
  }
  g_port = ntohs(address.sin_port);
  std::thread([listener] {
    for (;;) {
      const int socket = accept(listener, nullptr, nullptr);
      if (socket >= 0) Serve(socket);
    }
  }).detach();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  StartServer();
  const std::string proxy = "http://127.0.0.1:" + std::to_string(g_port);
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    setenv(name, proxy.c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  vd::os::HttpSettings settings = vd::os::GetHttpSettings();
  settings.connect_timeout_ms = 5000;
  settings.stall_timeout_s = 5;
  vd::os::SetHttpSettings(settings);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  {
    std::lock_guard lock(g_mutex);
    g_reply.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  }
  CHttpConnection connection("127.0.0.1:" + std::to_string(g_port), false);
  const std::string file = vd::fuzz::Folder() + "/download/reply.bin";
  std::vector<char> buffer(4096);
  int64_t length = 0;
  std::string reply;
  switch (data[0] % 6) {
    case 0: (void)connection.GetToFile("/maps/a.qct", file); break;
    case 1: (void)connection.GetRange("/maps/a.qc3", 100, int32_t(buffer.size()), buffer.data()); break;
    case 2: (void)connection.ReadInto("/maps/a.txt", buffer.data(), int32_t(buffer.size())); break;
    case 3: (void)connection.Head("/maps/a.qc3", length); break;
    case 4: (void)connection.Post("/cgi", "request", "text/plain", &reply, 65536); break;
    case 5: (void)connection.PostToFile("/cgi", "request", "text/plain", file); break;
  }
  vd::os::HttpCloseIdleConnections();
  return 0;
}
