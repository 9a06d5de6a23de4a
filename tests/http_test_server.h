#pragma once
// A loopback HTTP server for tests of the network code. It listens on 127.0.0.1 on a port the
// system picks, answers on its own threads from the replies set per path, and records every
// request. Unknown paths get 404 with an empty body. The destructor stops it, cutting short any
// reply that is waiting out a delay; a client still holding an idle keep-alive connection holds
// the stop up to the library's keep-alive time-out (5 s), so close clients first.
#include <chrono>
#include <functional>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vd::test {

struct RecordedRequest {
  std::string method;
  std::string path;   // without the query
  std::string query;  // the raw text after '?', empty when there is none
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (compared without regard to case), "" when absent.
  std::string Header(const std::string& name) const;
};

class HttpTestServer {
 public:
  // What a path answers.
  struct Reply {
    int status = 200;
    std::string body;
    std::string content_type = "application/octet-stream";
    std::vector<std::pair<std::string, std::string>> headers;
    // With a 200 reply, a request for one range gets 206 and that part with Content-Range, or
    // 416 when the range lies past the end; without, Range is ignored and the whole body sent.
    bool ranges = true;
    // Declare the length of the whole body (or of the requested part) but send only this many
    // bytes of it, then drop the connection.
    std::optional<size_t> cut_after;
    // Wait this long before answering (cut short when the server stops).
    std::chrono::milliseconds delay{0};
    // Called on the server's thread with each request for the path, before it is answered.
    std::function<void(const RecordedRequest&)> before_reply;
  };

  HttpTestServer();  // listening once constructed; throws std::runtime_error when it cannot bind
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::string BaseUrl() const;
  int port() const { return port_; }

  void Set(const std::string& path, Reply reply);
  // 200 with these bytes.
  void Serve(const std::string& path, std::string bytes, bool ranges = true);
  void Redirect(const std::string& path, const std::string& location, int status = 302);

  std::vector<RecordedRequest> Requests() const;
  void ClearRequests();
  // Waits until at least count requests have arrived (a request is recorded before its delay).
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(60)) const;

  // Stops listening, interrupts delays and joins the server's threads. Idempotent.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace vd::test
