#pragma once
// The program's HTTP client: one object per server, used by one thread at a time. It fetches a
// path into a file or a buffer, asks for the size of a resource, posts bodies and uploads a
// file as the cloud-sync server's multipart form. The transfers run over the process-wide
// connection cache of platform/os/http_transport.h (at most 6 connections per server).
//
// File downloads go to "<target>.TMP" beside the target and are renamed over it only when the
// whole body arrived (a known Content-Length met) with a status below 300; otherwise the old
// target is untouched and the temporary file removed.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/os/http_transport.h"

class CDownloadProgress;

class CHttpConnection {
 public:
  enum State { kNotConnected = 0, kConnected = 1, kConnectFailed = 2 };
  // Asked with the user data after every read; false aborts the transfer.
  using AbortCallback = bool (*)(void* user_data);
  // Shows an error box: caption, text.
  using MessageHook = std::function<void(const std::string& caption, const std::string& text)>;

  static constexpr uint64_t kMaxUploadBytes = 10'000'000;

  // host: "name" or "name:port" (the digits after the first colon give the port, overriding
  // `port`). Port 0 stands for the scheme's default: 80, or 443 when secure.
  CHttpConnection(const std::string& host, bool secure, int port = 0);

  // True when the host is usable; an empty host or one with characters other than letters,
  // digits, '.', '-' and '_' fails, and the failure sticks until SetServer or Close.
  bool Connect();
  // Takes a new host text and scheme when either differs, then Connect. A port given to the
  // constructor stays; a default port follows the new scheme.
  bool SetServer(const std::string& host, bool secure);
  // Back to "not connected".
  void Close();

  void SetAbortCallback(AbortCallback callback, void* user_data);
  // Receives done and total bytes of GetToFile and PostToFile (total 0 when not announced).
  void SetProgress(CDownloadProgress* progress) { progress_ = progress; }
  // "Vardune-PC-<build>" unless set otherwise.
  void SetUserAgent(std::string user_agent) { user_agent_ = std::move(user_agent); }

  // GET path into local_file (its folder is created when missing). False on any failure, a
  // status of 300 or more, or an abort.
  bool GetToFile(const std::string& path, const std::string& local_file);
  // Why the last GetToFile or PostToFile failed, for the user; "" after a success.
  const std::string& file_error() const { return file_error_; }
  // Bytes offset .. offset + length - 1 of path into buffer. The reply must be 206 for exactly
  // that start, or 200 when offset is 0 (only the first length bytes are kept). Returns the
  // bytes received (fewer when the resource or the transfer ends early), or -1 when no such
  // reply came.
  int GetRange(const std::string& path, int64_t offset, int32_t length, void* buffer);
  // GET path, keeping the first `length` bytes of the body in buffer. Returns the bytes
  // received, or -1 on a status of 300 or more or when no reply came.
  int ReadInto(const std::string& path, void* buffer, int32_t length);
  // HEAD path: the status (-1 when no reply came) and the announced Content-Length (-1 when
  // absent).
  int Head(const std::string& path, int64_t& content_length);
  // POST body with the content type (empty: none). True when the reply's status is below 300
  // and its body (when `reply` is given) arrived whole and is at most max_reply bytes.
  bool Post(const std::string& path, std::string_view body, const std::string& content_type,
            std::string* reply, size_t max_reply = 0);
  // POST body; the reply replaces local_file as GetToFile does.
  bool PostToFile(const std::string& path, std::string_view body, const std::string& content_type,
                  const std::string& local_file);
  // Uploads local_file (1 .. kMaxUploadBytes bytes, sent as text lines ending in CR LF) as
  // the form field `field_name`, with the form field "session" when session_text is not empty.
  // A larger file shows "File is too big" captioned "Upload error" through the message hook.
  // True when the reply's status is below 300.
  bool UploadFile(const std::string& path, const std::string& field_name,
                  const std::string& local_file, const std::string& session_text);

  // Set once by the user interface; without it the upload's message is not shown.
  static void SetMessageHook(MessageHook hook);

  State state() const { return state_; }
  const std::string& host() const { return host_; }
  int port() const;
  bool secure() const { return secure_; }

 private:
  std::string Url(const std::string& path) const;
  vd::os::HttpRequest Request(vd::os::HttpMethod method, const std::string& path) const;
  std::function<bool()> KeepGoing() const;
  bool ReceiveToFile(const vd::os::HttpRequest& request, const std::string& local_file);
  int ReceiveInto(const vd::os::HttpRequest& request, int64_t range_offset, void* buffer,
                  int32_t length);

  State state_ = kNotConnected;
  AbortCallback abort_callback_ = nullptr;
  void* user_data_ = nullptr;
  CDownloadProgress* progress_ = nullptr;
  bool secure_ = false;
  std::string host_;
  int port_ = 0;  // as given; 0: the scheme's default
  std::string user_agent_;
  std::string file_error_;
};

// A connection of its own (plain HTTP; the port from the host text, else 80) for one download.
bool DownloadUrlToFileEx(const std::string& host, const std::string& path,
                         const std::string& local_file,
                         CHttpConnection::AbortCallback abort_callback, void* user_data,
                         CDownloadProgress* progress);
bool DownloadUrlToFile(const std::string& host, const std::string& path,
                       const std::string& local_file, CHttpConnection::AbortCallback abort_callback,
                       void* user_data);
// A connection of its own (plain HTTP) for one GetRange.
int DownloadRange(const std::string& host, const std::string& path, int64_t offset, int32_t length,
                  void* buffer, CHttpConnection::AbortCallback abort_callback, void* user_data);
