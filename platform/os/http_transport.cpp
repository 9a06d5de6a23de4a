#include "platform/os/http_transport.h"

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace vd::os {
namespace {

// Large pieces keep a fast loopback or LAN transfer from being bound by the calls per piece.
constexpr long kBufferBytes = 256 * 1024;
constexpr long kMaxRedirects = 10;
constexpr auto kTurnPoll = std::chrono::milliseconds(100);

std::mutex settings_mutex;
HttpSettings& Settings() {
  static HttpSettings settings;
  return settings;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The shared connection cache: per server, the easy handles not in use (each holds at most one
// open connection) and the number of transfers under way.
class HandlePool {
 public:
  ~HandlePool() { CloseIdle(); }

  // A handle, reset, once the server has a free turn; nullptr when keep_going answered false
  // while waiting (stopped is then set), or no handle could be made.
  CURL* Acquire(const std::string& server, const std::function<bool()>& keep_going, bool& stopped) {
    std::unique_lock lock(mutex_);
    Server& s = servers_[server];
    while (s.busy >= kHttpMaxConnectionsPerServer) {
      if (!keep_going) {
        freed_.wait(lock);
        continue;
      }
      freed_.wait_for(lock, kTurnPoll);
      lock.unlock();
      const bool go = keep_going();
      lock.lock();
      if (!go) {
        stopped = true;
        return nullptr;
      }
    }
    ++s.busy;
    CURL* handle = nullptr;
    if (!s.idle.empty()) {
      handle = s.idle.back();
      s.idle.pop_back();
    }
    lock.unlock();
    if (handle) {
      curl_easy_reset(handle);  // keeps the open connection
      return handle;
    }
    handle = curl_easy_init();
    if (!handle) Release(server, nullptr);
    return handle;
  }

  void Release(const std::string& server, CURL* handle) {
    {
      std::lock_guard lock(mutex_);
      Server& s = servers_[server];
      --s.busy;
      if (handle) s.idle.push_back(handle);
    }
    freed_.notify_all();  // waiters for every server share the condition
  }

  void CloseIdle() {
    std::vector<CURL*> idle;
    {
      std::lock_guard lock(mutex_);
      for (auto& [name, s] : servers_) {
        idle.insert(idle.end(), s.idle.begin(), s.idle.end());
        s.idle.clear();
      }
    }
    for (CURL* handle : idle) curl_easy_cleanup(handle);
  }

 private:
  struct Server {
    int busy = 0;
    std::vector<CURL*> idle;
  };
  std::mutex mutex_;
  std::condition_variable freed_;
  std::map<std::string, Server> servers_;
};

HandlePool& Pool() {
  static HandlePool pool;
  return pool;
}

// "scheme://host:port" of an URL, or nullopt when curl cannot parse it.
std::optional<std::string> ServerOf(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  std::string server;
  for (const auto& [part, separator] :
       {std::pair{CURLUPART_SCHEME, "://"}, std::pair{CURLUPART_HOST, ":"},
        std::pair{CURLUPART_PORT, ""}}) {
    char* text = nullptr;
    if (curl_url_get(parsed.get(), part, &text, CURLU_DEFAULT_PORT) != CURLUE_OK)
      return std::nullopt;
    server += text;
    server += separator;
    curl_free(text);
  }
  return server;
}

struct Transfer {
  Transfer(CURL* c, const HttpHandlers& h) : curl(c), handlers(h) {}

  CURL* curl;
  const HttpHandlers& handlers;
  HttpReply reply;
  bool announced = false;
  bool stopped = false;
  std::exception_ptr exception;

  void ReadReply() {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    reply.status = static_cast<int>(status);
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    reply.content_length = length;
    curl_header* header = nullptr;
    if (curl_easy_header(curl, "Content-Range", 0, CURLH_HEADER, -1, &header) == CURLHE_OK) {
      reply.content_range = header->value;
    }
  }

  bool Announce() {
    ReadReply();
    announced = true;
    return !handlers.on_reply || handlers.on_reply(reply);
  }

  // Runs a handler step; false (and the transfer marked stopped) when it answers false or throws.
  // Once stopped, no handler is asked again (curl may still call back while it winds down).
  template <class F>
  bool Ask(F&& step) {
    if (stopped) return false;
    try {
      if (step()) return true;
    } catch (...) {
      exception = std::current_exception();
    }
    stopped = true;
    return false;
  }
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  const bool go = t.Ask([&] {
    if (!t.announced && !t.Announce()) return false;
    if (bytes == 0) return true;  // an empty body announced
    if (t.handlers.on_data && !t.handlers.on_data({data, bytes})) return false;
    return !t.handlers.keep_going || t.handlers.keep_going();
  });
  return go ? bytes : CURL_WRITEFUNC_ERROR;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& t = *static_cast<Transfer*>(user);
  return t.Ask([&] { return t.handlers.keep_going(); }) ? 0 : 1;
}

using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// Sets the options of one transfer; the header list must live until the transfer ends.
void Configure(CURL* curl, const HttpRequest& request, Transfer& transfer, HeaderList& headers,
               char* error_text) {
  const HttpSettings settings = GetHttpSettings();
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, request.user_agent.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connect_timeout_ms));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings.stall_timeout_s));
  curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, 1L);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBufferBytes);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, settings.ca_file.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnData);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  if (transfer.handlers.keep_going) {
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  }
  switch (request.method) {
    case HttpMethod::Get:
      break;
    case HttpMethod::Head:
      curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
      break;
    case HttpMethod::Post: {
      curl_easy_setopt(curl, CURLOPT_POST, 1L);
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(request.body.size()));
      // "Content-Type:" with no value stops curl from sending a form type of its own; "Expect:"
      // sends the body at once instead of waiting for "100 Continue".
      const std::string type = "Content-Type: " + request.content_type;
      for (const char* line : {type.c_str(), "Expect:"}) {
        if (curl_slist* longer = curl_slist_append(headers.get(), line)) {
          (void)headers.release();  // the same list, or its first node when it was empty
          headers.reset(longer);
        }
      }
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
      break;
    }
  }
  if (request.range) {
    const std::string range =
        std::to_string(request.range->first) + "-" + std::to_string(request.range->second);
    curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());  // curl keeps its own copy
  }
}

}  // namespace

void SetHttpSettings(const HttpSettings& settings) {
  std::lock_guard lock(settings_mutex);
  Settings() = settings;
}

HttpSettings GetHttpSettings() {
  std::lock_guard lock(settings_mutex);
  return Settings();
}

HttpResult HttpTransfer(const HttpRequest& request, const HttpHandlers& handlers) {
  InitCurlOnce();
  HttpResult result;
  const std::optional<std::string> server = ServerOf(request.url);
  if (!server) {
    result.error = "malformed URL";
    return result;
  }
  bool stopped = false;
  CURL* curl = Pool().Acquire(*server, handlers.keep_going, stopped);
  if (!curl) {
    if (stopped)
      result.outcome = HttpOutcome::Stopped;
    else
      result.error = "out of memory";
    return result;
  }
  struct Turn {
    const std::string& server;
    CURL* curl;
    ~Turn() { Pool().Release(server, curl); }
  } turn{*server, curl};

  Transfer transfer(curl, handlers);
  HeaderList headers(nullptr, curl_slist_free_all);
  char error_text[CURL_ERROR_SIZE] = "";
  Configure(curl, request, transfer, headers, error_text);
  const CURLcode code = curl_easy_perform(curl);
  if (transfer.exception) std::rethrow_exception(transfer.exception);

  if (code == CURLE_OK) {
    result.outcome = transfer.announced || transfer.Ask([&] { return transfer.Announce(); })
                         ? HttpOutcome::Complete
                         : HttpOutcome::Stopped;
    if (transfer.exception) std::rethrow_exception(transfer.exception);
  } else if (transfer.stopped) {
    result.outcome = HttpOutcome::Stopped;
  } else {
    result.outcome = HttpOutcome::Failed;
    result.error = error_text[0] ? error_text : curl_easy_strerror(code);
  }
  if (!transfer.announced) transfer.ReadReply();
  result.reply = std::move(transfer.reply);
  return result;
}

void HttpCloseIdleConnections() { Pool().CloseIdle(); }

}  // namespace vd::os
