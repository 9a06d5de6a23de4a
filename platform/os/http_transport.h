#pragma once
// HTTP and HTTPS transfers for the whole process, over libcurl. Each transfer is one blocking
// call on the calling thread; any number of threads may transfer at once.
//
// Connections are kept open between transfers and reused. At most kHttpMaxConnectionsPerServer
// transfers to one server (scheme, host, port) run at the same time; a further one waits for a
// turn. Redirects are followed (http and https only). HTTPS checks the server's certificate
// and host name against the trusted certificates of the settings.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vd::os {

inline constexpr int kHttpMaxConnectionsPerServer = 6;

struct HttpSettings {
  // PEM file of the certificates trusted for HTTPS; empty: the system's store.
  std::string ca_file;
  int connect_timeout_ms = 30000;
  // A transfer that moves no byte for this long fails.
  int stall_timeout_s = 60;
};
// For the transfers that start afterwards.
void SetHttpSettings(const HttpSettings& settings);
HttpSettings GetHttpSettings();

enum class HttpMethod { Get, Head, Post };

struct HttpRequest {
  HttpMethod method = HttpMethod::Get;
  std::string url;  // "http://host:port/path?query", escaped
  std::string user_agent;
  // Post: the bytes sent, and their Content-Type (empty: no such header is sent).
  std::string_view body;
  std::string content_type;
  // Get: ask for bytes first..last (inclusive) only.
  std::optional<std::pair<uint64_t, uint64_t>> range;
};

// The final reply, after any redirects.
struct HttpReply {
  int status = 0;               // 0 when no reply came
  int64_t content_length = -1;  // of the body as announced; -1 when not announced
  std::string content_range;    // the Content-Range header; empty when absent
};

// Each handler may be empty. A handler that answers false stops the transfer at once (the
// connection is then closed, not reused). Handlers run on the calling thread.
struct HttpHandlers {
  // The final reply's headers are in: called once, before the first byte of the body, or at
  // the end when the body is empty.
  std::function<bool(const HttpReply& reply)> on_reply;
  // Each piece of the body as it is read.
  std::function<bool(std::string_view data)> on_data;
  // Asked after every piece of the body, and about every 100 ms to once a second while the
  // transfer waits (for its turn, the server, or the network).
  std::function<bool()> keep_going;
};

enum class HttpOutcome {
  Complete,  // the whole reply arrived, whatever its status
  Stopped,   // a handler answered false
  Failed,    // bad URL, no connection, time-out, a body shorter than announced, ...
};

struct HttpResult {
  HttpOutcome outcome = HttpOutcome::Failed;
  HttpReply reply;    // as far as it came
  std::string error;  // Failed: what went wrong
};

// An exception thrown by a handler stops the transfer and is thrown again from here.
HttpResult HttpTransfer(const HttpRequest& request, const HttpHandlers& handlers = {});

// Closes the connections kept open for reuse (those of transfers under way stay open).
void HttpCloseIdleConnections();

}  // namespace vd::os
