#include "core/http_connection.h"

#include <fcntl.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <mutex>
#include <utility>

#include "core/download_progress.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/program_version.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"

namespace {

using vd::os::HttpMethod;
using vd::os::HttpOutcome;
using vd::os::HttpReply;

// The cloud-sync server's form parser expects exactly this boundary and layout.
constexpr char kBoundary[] = "xxxxxx298323945293878xxxxxx";
constexpr char kCrLf[] = "\r\n";
// Replies with this status or above are failures.
constexpr int kHttpErrorStatus = 300;
// A download starts the disk writing every this many bytes, so that the sync before the rename
// finds little left to wait for.
constexpr int64_t kWritebackBytes = 8 << 20;

std::mutex hook_mutex;
CHttpConnection::MessageHook& Hook() {
  static CHttpConnection::MessageHook hook;
  return hook;
}

// "name:port" -> name and port (0 when there is no port, or its digits are not one).
std::pair<std::string, int> SplitHostText(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return {text, 0};
  int port = 0;
  const char* digits = text.data() + colon + 1;
  const auto [end, error] = std::from_chars(digits, text.data() + text.size(), port);
  if (error != std::errc() || port < 0 || port > 65535) port = 0;
  return {text.substr(0, colon), port};
}

bool IsHostName(const std::string& host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
  });
}

// True for "bytes <first>-..." with that first byte.
bool ContentRangeStartsAt(const std::string& header, int64_t offset) {
  constexpr std::string_view kUnit = "bytes ";
  if (header.compare(0, kUnit.size(), kUnit) != 0) return false;
  int64_t first = -1;
  const char* begin = header.data() + kUnit.size();
  const auto [end, error] = std::from_chars(begin, header.data() + header.size(), first);
  return error == std::errc() && *end == '-' && first == offset;
}

// The multipart body the cloud-sync server expects: bare boundary lines (no leading "--"), no
// blank line between a part's header and its content, the file as text lines ending in CR LF,
// and the closing boundary without CR LF. Header texts go out in the Windows code page.
std::string UploadBody(const std::string& field_name, const std::string& file_name,
                       const std::string& session_text, std::string_view file_text) {
  std::string body = kBoundary;
  body += kCrLf;
  if (!session_text.empty()) {
    body += "Content-Disposition: form-data; name=\"session\";";
    body += kCrLf;
    body += vd::os::Utf8ToCp1252(session_text);
    body += kCrLf;
    body += kBoundary;
    body += kCrLf;
  }
  body += "Content-Disposition: form-data; name=\"" + vd::os::Utf8ToCp1252(field_name) +
          "\"; filename=\"" + vd::os::Utf8ToCp1252(file_name) + "\"";
  body += kCrLf;
  // Lines as a text-mode read gives them: CR LF or LF ends a line; a last line needs no end.
  while (!file_text.empty()) {
    const size_t end = file_text.find('\n');
    std::string_view line = file_text.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    body += line;
    body += kCrLf;
    file_text.remove_prefix(end == std::string_view::npos ? file_text.size() : end + 1);
  }
  body += kBoundary;
  return body;
}

// Path bytes a URL cannot carry as they are: blanks, controls and bytes of non-ASCII text.
std::string EscapePath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const unsigned char c : path) {
    if (c <= 0x20 || c >= 0x7F) {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

}  // namespace

CHttpConnection::CHttpConnection(const std::string& host, bool secure, int port)
    : secure_(secure), user_agent_("Vardune-PC-" + GetBuildString()) {
  auto [name, text_port] = SplitHostText(host);
  host_ = std::move(name);
  port_ = text_port ? text_port : port;
}

int CHttpConnection::port() const { return port_ ? port_ : secure_ ? 443 : 80; }

bool CHttpConnection::Connect() {
  if (state_ == kNotConnected) state_ = IsHostName(host_) ? kConnected : kConnectFailed;
  return state_ == kConnected;
}

bool CHttpConnection::SetServer(const std::string& host, bool secure) {
  auto [name, text_port] = SplitHostText(host);
  if (name != host_ || secure != secure_ || (text_port && text_port != port_)) {
    Close();
    host_ = std::move(name);
    secure_ = secure;
    if (text_port) port_ = text_port;
  }
  return Connect();
}

void CHttpConnection::Close() { state_ = kNotConnected; }

void CHttpConnection::SetAbortCallback(AbortCallback callback, void* user_data) {
  abort_callback_ = callback;
  user_data_ = user_data;
}

void CHttpConnection::SetMessageHook(MessageHook hook) {
  std::lock_guard lock(hook_mutex);
  Hook() = std::move(hook);
}

std::string CHttpConnection::Url(const std::string& path) const {
  std::string url = secure_ ? "https://" : "http://";
  url += host_ + ":" + std::to_string(port());
  if (!path.starts_with('/')) url += '/';
  return url + EscapePath(path);
}

vd::os::HttpRequest CHttpConnection::Request(HttpMethod method, const std::string& path) const {
  vd::os::HttpRequest request;
  request.method = method;
  request.url = Url(path);
  request.user_agent = user_agent_;
  return request;
}

std::function<bool()> CHttpConnection::KeepGoing() const {
  if (!abort_callback_) return {};
  return [callback = abort_callback_, data = user_data_] { return callback(data); };
}

bool CHttpConnection::GetToFile(const std::string& path, const std::string& local_file) {
  if (Connect()) return ReceiveToFile(Request(HttpMethod::Get, path), local_file);
  file_error_ = "the server name \"" + host_ + "\" is not usable";
  return false;
}

bool CHttpConnection::PostToFile(const std::string& path, std::string_view body,
                                 const std::string& content_type, const std::string& local_file) {
  if (!Connect()) return false;
  vd::os::HttpRequest request = Request(HttpMethod::Post, path);
  request.body = body;
  request.content_type = content_type;
  return ReceiveToFile(request, local_file);
}

bool CHttpConnection::ReceiveToFile(const vd::os::HttpRequest& request,
                                    const std::string& local_file) {
  const std::string temp = local_file + ".TMP";
  vd::os::File file;
  bool created = false;
  bool written_all = true;
  int64_t announced = -1;
  int64_t written = 0;
  int64_t flushed = 0;  // handed to the disk's writeback so far

  vd::os::HttpHandlers handlers;
  handlers.on_reply = [&](const HttpReply& reply) {
    if (reply.status >= kHttpErrorStatus) return false;
    CreateDirectoryTree(GetPathDirectory(local_file));  // a failure shows as the open failing
    // Never through a link at the temporary name (the reply may go to the temporary folder):
    // whatever has that name goes first, and a link planted again meanwhile is refused.
    vd::os::RemoveFile(temp);
    created = file.Open(temp, vd::os::File::Mode::CreateTruncateNoFollow);
    announced = reply.content_length;
    if (progress_) {
      progress_->done = 0;
      progress_->total = std::max<int64_t>(announced, 0);
    }
    return created;
  };
  handlers.on_data = [&](std::string_view data) {
    written_all = file.Write(data.data(), data.size());
    written += static_cast<int64_t>(data.size());
    if (written - flushed >= kWritebackBytes) {
      ::sync_file_range(file.fd(), flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
      flushed = written;
    }
    if (progress_) progress_->done += static_cast<int64_t>(data.size());
    return written_all;
  };
  handlers.keep_going = KeepGoing();

  const vd::os::HttpResult result = vd::os::HttpTransfer(request, handlers);
  bool ok = created && written_all && result.outcome == HttpOutcome::Complete &&
            (announced < 0 || written == announced) && file.Sync();
  file.Close();
  if (ok) ok = vd::os::RenameFile(temp, local_file);
  if (!ok && created) vd::os::RemoveFile(temp);
  // The reason, for the user.
  if (ok) {
    file_error_.clear();
  } else if (result.reply.status >= kHttpErrorStatus) {
    file_error_ = "the server answered with status " + std::to_string(result.reply.status);
  } else if (created && !written_all) {
    file_error_ = "can't write " + temp;
  } else if (!created && result.outcome != HttpOutcome::Failed) {
    file_error_ = "can't create " + temp;
  } else if (result.outcome == HttpOutcome::Stopped) {
    file_error_ = "the download was stopped";
  } else {
    file_error_ = result.error.empty() ? "the file did not arrive whole" : result.error;
  }
  return ok;
}

int CHttpConnection::GetRange(const std::string& path, int64_t offset, int32_t length,
                              void* buffer) {
  if (offset < 0 || length <= 0 || !Connect()) return -1;
  vd::os::HttpRequest request = Request(HttpMethod::Get, path);
  request.range = {{static_cast<uint64_t>(offset), static_cast<uint64_t>(offset) + length - 1}};
  return ReceiveInto(request, offset, buffer, length);
}

int CHttpConnection::ReadInto(const std::string& path, void* buffer, int32_t length) {
  if (length <= 0 || !Connect()) return -1;
  return ReceiveInto(Request(HttpMethod::Get, path), -1, buffer, length);
}

// range_offset -1: a plain GET, any status below 300 accepted.
int CHttpConnection::ReceiveInto(const vd::os::HttpRequest& request, int64_t range_offset,
                                 void* buffer, int32_t length) {
  auto* out = static_cast<char*>(buffer);
  bool accepted = false;
  int32_t received = 0;
  vd::os::HttpHandlers handlers;
  handlers.on_reply = [&](const HttpReply& reply) {
    if (range_offset < 0) {
      accepted = reply.status < kHttpErrorStatus;
    } else if (reply.status == 206) {
      accepted = ContentRangeStartsAt(reply.content_range, range_offset);
    } else {
      // A server that ignores Range sends the whole resource: usable only from its start.
      accepted = reply.status == 200 && range_offset == 0;
    }
    return accepted;
  };
  // Stops only when more arrives than fits, so that a reply of exactly `length` bytes leaves
  // its connection open for the next request.
  handlers.on_data = [&](std::string_view data) {
    const size_t room = static_cast<size_t>(length - received);
    const size_t n = std::min(data.size(), room);
    std::memcpy(out + received, data.data(), n);
    received += static_cast<int32_t>(n);
    return data.size() <= room;
  };
  handlers.keep_going = KeepGoing();
  vd::os::HttpTransfer(request, handlers);
  return accepted ? received : -1;
}

int CHttpConnection::Head(const std::string& path, int64_t& content_length) {
  content_length = -1;
  if (!Connect()) return -1;
  vd::os::HttpHandlers handlers;
  handlers.keep_going = KeepGoing();
  const vd::os::HttpResult result = vd::os::HttpTransfer(Request(HttpMethod::Head, path), handlers);
  if (result.outcome != HttpOutcome::Complete) return -1;
  content_length = result.reply.content_length;
  return result.reply.status;
}

bool CHttpConnection::Post(const std::string& path, std::string_view body,
                           const std::string& content_type, std::string* reply, size_t max_reply) {
  if (!Connect()) return false;
  vd::os::HttpRequest request = Request(HttpMethod::Post, path);
  request.body = body;
  request.content_type = content_type;
  if (reply) reply->clear();
  vd::os::HttpHandlers handlers;
  handlers.on_reply = [&](const HttpReply& r) {
    return r.status < kHttpErrorStatus &&
           (!reply || r.content_length <= static_cast<int64_t>(max_reply));
  };
  handlers.on_data = [&](std::string_view data) {
    if (!reply) return true;
    if (data.size() > max_reply - reply->size()) return false;
    reply->append(data);
    return true;
  };
  handlers.keep_going = KeepGoing();
  return vd::os::HttpTransfer(request, handlers).outcome == HttpOutcome::Complete;
}

bool CHttpConnection::UploadFile(const std::string& path, const std::string& field_name,
                                 const std::string& local_file, const std::string& session_text) {
  const std::optional<uint64_t> size = vd::os::FileSize(local_file);
  if (size && *size > kMaxUploadBytes) {
    MessageHook hook;
    {
      std::lock_guard lock(hook_mutex);
      hook = Hook();
    }
    if (hook) hook("Upload error", "File is too big");
    return false;
  }
  std::string text;
  if (!size || *size == 0 || !vd::os::ReadWholeFile(local_file, text) || text.empty() ||
      text.size() > kMaxUploadBytes || !Connect()) {
    return false;
  }
  const std::string body = UploadBody(field_name, GetPathFileName(local_file), session_text, text);
  return Post(path, body, std::string("multipart/form-data; boundary=") + kBoundary, nullptr);
}

bool DownloadUrlToFileEx(const std::string& host, const std::string& path,
                         const std::string& local_file,
                         CHttpConnection::AbortCallback abort_callback, void* user_data,
                         CDownloadProgress* progress) {
  CHttpConnection connection(host, false);
  connection.SetAbortCallback(abort_callback, user_data);
  connection.SetProgress(progress);
  return connection.GetToFile(path, local_file);
}

bool DownloadUrlToFile(const std::string& host, const std::string& path,
                       const std::string& local_file, CHttpConnection::AbortCallback abort_callback,
                       void* user_data) {
  return DownloadUrlToFileEx(host, path, local_file, abort_callback, user_data, nullptr);
}

int DownloadRange(const std::string& host, const std::string& path, int64_t offset, int32_t length,
                  void* buffer, CHttpConnection::AbortCallback abort_callback, void* user_data) {
  CHttpConnection connection(host, false);
  connection.SetAbortCallback(abort_callback, user_data);
  return connection.GetRange(path, offset, length, buffer);
}
