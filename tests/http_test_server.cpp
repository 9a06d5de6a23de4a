#include "tests/http_test_server.h"

#include <httplib.h>
#include <strings.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>

namespace vd::test {

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  }
  return {};
}

namespace {

struct Span {
  size_t first, last;
};

// The bytes a single range ("a-b", "a-", "-n"; -1 marks the missing number) selects from a body
// of size bytes, nullopt when it selects none.
std::optional<Span> Resolve(const httplib::Range& range, size_t size) {
  const auto [a, b] = range;
  if (a < 0) {
    if (b <= 0 || size == 0) return std::nullopt;
    return Span{size - std::min(static_cast<size_t>(b), size), size - 1};
  }
  if (static_cast<size_t>(a) >= size || (b >= 0 && b < a)) return std::nullopt;
  return Span{static_cast<size_t>(a), b < 0 ? size - 1 : std::min(static_cast<size_t>(b), size - 1)};
}

}  // namespace

struct HttpTestServer::Impl {
  httplib::Server server;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;  // a request arrived, or the server is stopping
  std::map<std::string, Reply> replies;
  std::vector<RecordedRequest> requests;
  bool stopping = false;

  void Handle(const httplib::Request& req, httplib::Response& res);
};

void HttpTestServer::Impl::Handle(const httplib::Request& req, httplib::Response& res) {
  RecordedRequest record{req.method, req.path, {}, {req.headers.begin(), req.headers.end()}, req.body};
  if (const size_t q = req.target.find('?'); q != std::string::npos) record.query = req.target.substr(q + 1);

  std::unique_lock lock(mutex);
  requests.push_back(record);
  changed.notify_all();
  const auto found = replies.find(req.path);
  Reply reply;
  if (found != replies.end()) {
    reply = found->second;
  } else {
    reply.status = 404;
    reply.content_type = "text/plain";
  }
  changed.wait_for(lock, reply.delay, [&] { return stopping; });
  lock.unlock();
  if (reply.before_reply) reply.before_reply(record);

  // The library's own Range handling misstates Content-Range for ranges past the end, so the
  // parsed ranges are taken from it and applied here. Several ranges get the whole body.
  httplib::Ranges ranges;
  ranges.swap(const_cast<httplib::Request&>(req).ranges);
  res.status = reply.status;
  for (const auto& [key, value] : reply.headers) res.set_header(key, value);
  if (reply.ranges && reply.status == 200 && ranges.size() == 1) {
    const size_t size = reply.body.size();
    const auto span = Resolve(ranges[0], size);
    if (!span) {
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    }
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(span->first) + "-" +
                                        std::to_string(span->last) + "/" + std::to_string(size));
    reply.body = reply.body.substr(span->first, span->last - span->first + 1);
  }
  if (!reply.cut_after) {
    res.set_content(reply.body, reply.content_type);
    return;
  }
  // Returning false from the provider after the cut makes the library close the connection.
  const size_t size = reply.body.size();
  const size_t cut = std::min(*reply.cut_after, size);
  res.set_content_provider(
      size, reply.content_type,
      [body = std::move(reply.body), cut](size_t offset, size_t length, httplib::DataSink& sink) {
        const size_t end = std::min(offset + length, cut);
        if (offset < end) sink.write(body.data() + offset, end - offset);
        return end == offset + length;
      });
}

HttpTestServer::HttpTestServer() : impl_(std::make_unique<Impl>()) {
  const auto handler = [this](const httplib::Request& req, httplib::Response& res) { impl_->Handle(req, res); };
  impl_->server.Get(".*", handler)
      .Post(".*", handler)
      .Put(".*", handler)
      .Patch(".*", handler)
      .Delete(".*", handler)
      .Options(".*", handler);
  port_ = impl_->server.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("HttpTestServer: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { impl_->server.listen_after_bind(); });
  // stop() does nothing until the accept loop runs, so Stop() must not come before that.
  while (!impl_->server.is_running()) std::this_thread::yield();
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->changed.notify_all();
  impl_->server.stop();
  thread_.join();
}

std::string HttpTestServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void HttpTestServer::Set(const std::string& path, Reply reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->replies[path] = std::move(reply);
}

void HttpTestServer::Serve(const std::string& path, std::string bytes, bool ranges) {
  Reply reply;
  reply.body = std::move(bytes);
  reply.ranges = ranges;
  Set(path, std::move(reply));
}

void HttpTestServer::Redirect(const std::string& path, const std::string& location, int status) {
  Reply reply;
  reply.status = status;
  reply.content_type = "text/plain";
  reply.headers = {{"Location", location}};
  Set(path, std::move(reply));
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

void HttpTestServer::ClearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->requests.clear();
}

bool HttpTestServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->requests.size() >= count; });
}

}  // namespace vd::test
