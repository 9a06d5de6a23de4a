#include "platform/os/http_transport.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/http_test_server.h"

namespace vd::os {
namespace {

using namespace std::chrono_literals;

class HttpTransportTest : public ::testing::Test {
 protected:
  // Idle keep-alive connections would hold up the server's stop.
  void TearDown() override { HttpCloseIdleConnections(); }

  HttpResult Get(const std::string& path, const HttpHandlers& handlers = {}) {
    HttpRequest request;
    request.url = server_.BaseUrl() + path;
    request.user_agent = "transport-test";
    return HttpTransfer(request, handlers);
  }

  test::HttpTestServer server_;
};

TEST_F(HttpTransportTest, ReportsReplyAndOutcome) {
  server_.Serve("/data", std::string(100000, 'd'));
  server_.Serve("/empty", "");
  server_.Redirect("/moved", "/data");
  test::HttpTestServer::Reply cut;
  cut.body = std::string(100000, 'c');
  cut.cut_after = 5000;
  server_.Set("/cut", cut);

  struct Case {
    const char* path;
    HttpOutcome outcome;
    int status;
    int64_t length;
    size_t body_bytes;
  };
  const Case cases[] = {
      {"/data", HttpOutcome::Complete, 200, 100000, 100000},
      {"/moved", HttpOutcome::Complete, 200, 100000,
       100000},  // the redirect's own body is not passed on
      {"/empty", HttpOutcome::Complete, 200, 0, 0},
      {"/missing", HttpOutcome::Complete, 404, 0, 0},
      {"/cut", HttpOutcome::Failed, 200, 100000, 5000},
  };
  for (const Case& c : cases) {
    int replies = 0;
    size_t bytes = 0;
    HttpHandlers handlers;
    handlers.on_reply = [&](const HttpReply& reply) {
      EXPECT_EQ(bytes, 0u) << "the reply comes before the body";
      ++replies;
      EXPECT_EQ(reply.status, c.status);
      return true;
    };
    handlers.on_data = [&](std::string_view data) {
      bytes += data.size();
      return true;
    };
    const HttpResult result = Get(c.path, handlers);
    EXPECT_EQ(result.outcome, c.outcome) << c.path << " " << result.error;
    EXPECT_EQ(replies, 1) << c.path;
    EXPECT_EQ(result.reply.status, c.status) << c.path;
    EXPECT_EQ(result.reply.content_length, c.length) << c.path;
    EXPECT_EQ(bytes, c.body_bytes) << c.path;
  }

  // A refused reply stops before any of the body; so does a refused piece after it.
  HttpHandlers refuse;
  refuse.on_reply = [](const HttpReply&) { return false; };
  refuse.on_data = [](std::string_view) -> bool { throw std::logic_error("no body expected"); };
  EXPECT_EQ(Get("/data", refuse).outcome, HttpOutcome::Stopped);
  EXPECT_EQ(Get("/empty", refuse).outcome, HttpOutcome::Stopped);
  HttpHandlers abort;
  abort.keep_going = [] { return false; };
  EXPECT_EQ(Get("/data", abort).outcome, HttpOutcome::Stopped);

  // A handler's exception reaches the caller.
  HttpHandlers throwing;
  throwing.on_data = [](std::string_view) -> bool { throw std::runtime_error("disk full"); };
  EXPECT_THROW(Get("/data", throwing), std::runtime_error);

  HttpRequest bad;
  bad.url = "not a url";
  EXPECT_EQ(HttpTransfer(bad).outcome, HttpOutcome::Failed);
}

TEST_F(HttpTransportTest, HeadRangeAndPostGoOutAsAsked) {
  server_.Serve("/data", "0123456789");
  HttpRequest request;
  request.url = server_.BaseUrl() + "/data";
  request.user_agent = "agent/1";

  request.method = HttpMethod::Head;
  HttpResult result = HttpTransfer(request);
  EXPECT_EQ(result.outcome, HttpOutcome::Complete);
  EXPECT_EQ(result.reply.content_length, 10);

  request.method = HttpMethod::Get;
  request.range = {{2, 4}};
  std::string body;
  HttpHandlers collect;
  collect.on_data = [&](std::string_view data) {
    body += data;
    return true;
  };
  result = HttpTransfer(request, collect);
  EXPECT_EQ(result.reply.status, 206);
  EXPECT_EQ(result.reply.content_range, "bytes 2-4/10");
  EXPECT_EQ(body, "234");

  request.method = HttpMethod::Post;
  request.range.reset();
  const std::string sent("a\0b\r\n", 5);
  request.body = sent;
  EXPECT_EQ(HttpTransfer(request).outcome, HttpOutcome::Complete);
  request.content_type = "text/x-test";
  EXPECT_EQ(HttpTransfer(request).outcome, HttpOutcome::Complete);

  const std::vector<test::RecordedRequest> seen = server_.Requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].method, "HEAD");
  EXPECT_EQ(seen[1].Header("Range"), "bytes=2-4");
  EXPECT_EQ(seen[1].Header("User-Agent"), "agent/1");
  for (int i : {2, 3}) {
    EXPECT_EQ(seen[i].method, "POST");
    EXPECT_EQ(seen[i].body, sent);
    EXPECT_EQ(seen[i].Header("Expect"), "");
  }
  EXPECT_EQ(seen[2].Header("Content-Type"), "");
  EXPECT_EQ(seen[3].Header("Content-Type"), "text/x-test");
}

TEST_F(HttpTransportTest, RefusedConnectionFails) {
  const std::string url = server_.BaseUrl() + "/x";
  server_.Stop();
  HttpRequest request;
  request.url = url;
  const HttpResult result = HttpTransfer(request);
  EXPECT_EQ(result.outcome, HttpOutcome::Failed);
  EXPECT_EQ(result.reply.status, 0);
  EXPECT_FALSE(result.error.empty());
}

// Ten transfers to one server at once (whose eight threads could serve eight): six run, the
// rest wait for a turn, asking keep_going meanwhile, and run once the first ones end.
TEST(HttpTransportLimitTest, AtMostSixTransfersPerServer) {
  std::mutex mutex;
  std::condition_variable changed;
  int active = 0;
  int most = 0;
  bool released = false;
  httplib::Server server;
  server.Get("/hold", [&](const httplib::Request&, httplib::Response& res) {
    std::unique_lock lock(mutex);
    most = std::max(most, ++active);
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
    --active;
    res.set_content("ok", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread listener([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::yield();

  constexpr int kTransfers = 10;
  // Clients asked keep_going at least twice: by then a client without a turn would long have
  // reached the server.
  int asked = 0;
  std::vector<HttpOutcome> outcomes(kTransfers, HttpOutcome::Failed);
  std::vector<std::thread> clients;
  for (int i = 0; i < kTransfers; ++i) {
    clients.emplace_back([&, i] {
      int calls = 0;
      HttpHandlers handlers;
      handlers.keep_going = [&] {
        if (++calls == 2) {
          std::lock_guard lock(mutex);
          ++asked;
          changed.notify_all();
        }
        return true;
      };
      HttpRequest request;
      request.url = "http://127.0.0.1:" + std::to_string(port) + "/hold";
      outcomes[i] = HttpTransfer(request, handlers).outcome;
    });
  }
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(
        lock, 20s, [&] { return active == kHttpMaxConnectionsPerServer && asked == kTransfers; }));
    released = true;
  }
  changed.notify_all();
  for (std::thread& client : clients) client.join();
  HttpCloseIdleConnections();
  server.stop();
  listener.join();

  EXPECT_EQ(most, kHttpMaxConnectionsPerServer);
  for (HttpOutcome outcome : outcomes) EXPECT_EQ(outcome, HttpOutcome::Complete);
}

}  // namespace
}  // namespace vd::os
