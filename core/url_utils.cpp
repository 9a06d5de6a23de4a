#include "core/url_utils.h"

#include "core/string_utils.h"

namespace {

struct UrlParts {
  std::string_view scheme, host, path;
};

// The host ends at the first of `host_ends` after "://"; when none follows, the whole text is
// the path (the scheme is still reported).
UrlParts Split(std::string_view url, bool scheme_may_be_empty, std::string_view host_ends) {
  size_t colon = url.find("://");
  if (colon == std::string_view::npos || (colon == 0 && !scheme_may_be_empty)) return {{}, {}, url};
  size_t host = colon + 3;
  size_t end = url.find_first_of(host_ends, host);
  if (end == std::string_view::npos) return {url.substr(0, colon), {}, url};
  return {url.substr(0, colon), url.substr(host, end - host), url.substr(end)};
}

}  // namespace

void SplitUrl(std::string_view url, std::string& scheme, std::string& host, std::string& path) {
  UrlParts parts = Split(url, true, "/");
  scheme = parts.scheme;
  StringToLower(scheme);
  host = parts.host;
  path = parts.path;
}

void SplitUrlQuery(std::string_view url, std::string& scheme, std::string& host, std::string& path,
                   std::string& query) {
  UrlParts parts = Split(url, true, "/?");
  scheme = parts.scheme;
  StringToLower(scheme);
  host = parts.host;
  size_t mark = parts.path.find('?');
  path = parts.path.substr(0, mark);
  query = mark == std::string_view::npos ? std::string_view() : parts.path.substr(mark + 1);
}

void ParseUrl(std::string_view url, std::string& scheme, std::string& host, std::string& rest) {
  UrlParts parts = Split(url, false, "/");
  scheme = parts.scheme;
  host = parts.host;
  rest = parts.path;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (IsAsciiAlnum(c) || c == '.' || c == '-' || c == '_') {
      out += c;
    } else if (c == ' ') {
      out += '+';
    } else {
      unsigned char byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string UrlDecode(std::string_view text) {
  auto is_hex = [](char c) { return HexDigitValue(c) != 0 || c == '0'; };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && is_hex(text[i + 1]) && is_hex(text[i + 2])) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string EncodeNameLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '%') {
      out += "%25";
    } else if (c == '\r') {
      out += "%0d";
    } else if (c == '\n') {
      out += "%0a";
    } else {
      out += c;
    }
  }
  return out;
}

std::string DecodeNameLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const std::string_view code = text.substr(i, 3);
    if (code == "%25") {
      out += '%';
    } else if (code == "%0d" || code == "%0D") {
      out += '\r';
    } else if (code == "%0a" || code == "%0A") {
      out += '\n';
    } else {
      out += text[i];
      continue;
    }
    i += 2;
  }
  return out;
}
