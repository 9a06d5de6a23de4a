#include "tests/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace vd::test {
namespace {

struct RawResponse {
  std::string head;  // status line and headers
  std::string body;  // everything after the blank line, as received
};

// Sends request (which asks for "Connection: close") over a fresh connection and reads until
// the server closes it.
RawResponse Exchange(int port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  timeval timeout{30, 0};  // only guards against a hung test
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string raw;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buf[4096];
    for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) raw.append(buf, n);
  }
  close(fd);
  const size_t split = raw.find("\r\n\r\n");
  if (split == std::string::npos) return {raw, {}};
  return {raw.substr(0, split + 2), raw.substr(split + 4)};
}

RawResponse Get(int port, const std::string& target, const std::string& extra_headers = "") {
  return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                            extra_headers + "\r\n");
}

std::string Blob() {
  std::string b;
  for (int i = 0; i < 1000; ++i) b += static_cast<char>(i * 7);
  return b;
}

TEST(HttpTestServer, ServesWholeBlobAndRanges) {
  HttpTestServer server;
  EXPECT_EQ(server.BaseUrl(), "http://127.0.0.1:" + std::to_string(server.port()));
  const std::string blob = Blob();
  server.Serve("/ranged", blob);
  server.Serve("/plain", blob, false);

  RawResponse r = Get(server.port(), "/ranged");
  EXPECT_TRUE(r.head.starts_with("HTTP/1.1 200")) << r.head;
  EXPECT_NE(r.head.find("Content-Length: 1000\r\n"), std::string::npos) << r.head;
  EXPECT_EQ(r.body, blob);

  struct Case {
    const char* range;
    const char* status;
    const char* content_range;
    size_t first, count;
  };
  const Case cases[] = {
      {"10-19", "206", "bytes 10-19/1000", 10, 10},
      {"990-", "206", "bytes 990-999/1000", 990, 10},
      {"990-2000", "206", "bytes 990-999/1000", 990, 10},
      {"-5", "206", "bytes 995-999/1000", 995, 5},
      {"1000-", "416", "bytes */1000", 0, 0},
      {"0-1,5-6", "200", nullptr, 0, 1000},  // several ranges: the whole body
  };
  for (const Case& c : cases) {
    r = Get(server.port(), "/ranged", std::string("Range: bytes=") + c.range + "\r\n");
    EXPECT_TRUE(r.head.starts_with(std::string("HTTP/1.1 ") + c.status)) << c.range << "\n" << r.head;
    const size_t at = r.head.find("Content-Range: ");
    if (c.content_range) {
      EXPECT_EQ(r.head.substr(at + 15, r.head.find('\r', at) - at - 15), c.content_range) << c.range;
    } else {
      EXPECT_EQ(at, std::string::npos) << c.range;
    }
    EXPECT_EQ(r.body, blob.substr(c.first, c.count)) << c.range;
  }

  r = Get(server.port(), "/plain", "Range: bytes=10-19\r\n");
  EXPECT_TRUE(r.head.starts_with("HTTP/1.1 200")) << r.head;
  EXPECT_EQ(r.head.find("Content-Range"), std::string::npos) << r.head;
  EXPECT_EQ(r.body, blob);
}

TEST(HttpTestServer, StatusRedirectAndUnknownPath) {
  HttpTestServer server;
  HttpTestServer::Reply busy;
  busy.status = 503;
  busy.body = "try later";
  server.Set("/busy", busy);
  server.Redirect("/old", "/new");

  RawResponse r = Get(server.port(), "/busy", "Range: bytes=0-1\r\n");
  EXPECT_TRUE(r.head.starts_with("HTTP/1.1 503")) << r.head;
  EXPECT_EQ(r.body, "try later");
  r = Get(server.port(), "/old");
  EXPECT_TRUE(r.head.starts_with("HTTP/1.1 302")) << r.head;
  EXPECT_NE(r.head.find("Location: /new\r\n"), std::string::npos) << r.head;
  r = Get(server.port(), "/nothing");
  EXPECT_TRUE(r.head.starts_with("HTTP/1.1 404")) << r.head;
}

TEST(HttpTestServer, CutBodyDeclaresFullLength) {
  HttpTestServer server;
  HttpTestServer::Reply cut;
  cut.body = Blob();
  cut.cut_after = 300;
  server.Set("/cut", cut);
  const RawResponse r = Get(server.port(), "/cut");
  EXPECT_TRUE(r.head.starts_with("HTTP/1.1 200")) << r.head;
  EXPECT_NE(r.head.find("Content-Length: 1000\r\n"), std::string::npos) << r.head;
  EXPECT_EQ(r.body, Blob().substr(0, 300));
}

TEST(HttpTestServer, RecordsRequests) {
  HttpTestServer server;
  const RawResponse r = Exchange(server.port(),
                                 "POST /upload?a=1&b=x%20y HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Probe: yes\r\n"
                                 "Content-Type: text/plain\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
  EXPECT_TRUE(r.head.starts_with("HTTP/1.1 404")) << r.head;
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/upload");
  EXPECT_EQ(requests[0].query, "a=1&b=x%20y");
  EXPECT_EQ(requests[0].Header("x-probe"), "yes");
  EXPECT_EQ(requests[0].body, "hello");
  server.ClearRequests();
  EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpTestServer, StopInterruptsADelayedReply) {
  HttpTestServer server;
  HttpTestServer::Reply slow;
  slow.body = "late";
  slow.delay = std::chrono::hours(1);
  server.Set("/slow", slow);
  RawResponse r;
  std::thread client([&] { r = Get(server.port(), "/slow"); });
  ASSERT_TRUE(server.WaitForRequests(1));
  server.Stop();  // would hang for the hour if the delay were not interrupted
  client.join();
  EXPECT_EQ(r.body, "late");
}

}  // namespace
}  // namespace vd::test
