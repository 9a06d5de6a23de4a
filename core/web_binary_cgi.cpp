#include "core/web_binary_cgi.h"

#include <cstring>
#include <string_view>

#include "core/program_version.h"
#include "platform/os/files.h"

namespace {

// The value of `key` in an os-release file ("" when absent), its quotes removed.
std::string OsReleaseValue(const std::string& text, std::string_view key) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (!line.starts_with(key) || line.size() <= key.size() || line[key.size()] != '=') continue;
    std::string_view value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return {};
}

}  // namespace

const std::string& CWebBinaryCGI::UserAgent() {
  static const std::string agent = [] {
    std::string release;
    if (!vd::os::ReadWholeFile("/etc/os-release", release))
      vd::os::ReadWholeFile("/usr/lib/os-release", release);
    return "VD-" + GetVersionString() + "-" + GetBuildString() + "/" +
           OsReleaseValue(release, "NAME") + "-" + OsReleaseValue(release, "VERSION_ID");
  }();
  return agent;
}

CWebBinaryCGI::CWebBinaryCGI(const std::string& host, const std::string& cgi_path, bool secure,
                             int port)
    : CTypeSerializer(kModeWrite, true), connection_(host, secure, port), cgi_path_(cgi_path) {
  connection_.SetUserAgent(UserAgent());
}

void CWebBinaryCGI::Write(const void* data, int32_t length) {
  if (mode_ != kModeWrite) {
    ok_ = false;
    return;
  }
  buffer_.append(static_cast<const char*>(data), static_cast<size_t>(length));
}

bool CWebBinaryCGI::Read(void* buffer, int32_t length) {
  if (mode_ != kModeRead || length <= 0) return false;
  const size_t wanted = static_cast<size_t>(length);
  if (buffer_.size() - read_offset_ < wanted) {
    read_offset_ = buffer_.size();
    return false;
  }
  std::memcpy(buffer, buffer_.data() + read_offset_, wanted);
  read_offset_ += wanted;
  return true;
}

bool CWebBinaryCGI::Send() {
  std::string reply;
  const bool sent = connection_.Post(cgi_path_, buffer_, "", &reply, kMaxReplyBytes);
  mode_ = kModeRead;
  ok_ = true;
  position_ = 0;
  buffer_ = sent ? std::move(reply) : std::string();
  read_offset_ = 0;
  return sent;
}

bool CWebBinaryCGI::PostFile(const std::string& path) {
  const std::optional<uint64_t> size = vd::os::FileSize(path);
  if (!size || *size < 1 || *size > kMaxPostFileBytes) return false;
  std::string body;
  if (!vd::os::ReadWholeFile(path, body) || body.size() != *size) return false;
  return connection_.PostToFile(cgi_path_, body, "", path);
}
