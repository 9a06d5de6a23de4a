#include "core/url_utils.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlCodingTest, EncodesBytesAndRoundTrips) {
  struct Case {
    std::string text;
    const char* encoded;
  };
  const Case cases[] = {
      {"Plain-text_1.0", "Plain-text_1.0"},
      {"a b", "a+b"},
      {"a+b=c&d%e/f?g#h,i\"j", "a%2bb%3dc%26d%25e%2ff%3fg%23h%2ci%22j"},
      {"\xE9", "%e9"},                                      // one byte, lower-case hex
      {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf%c3%a9+%e2%82%ac"},  // UTF-8 text byte by byte
      {"line1\r\nline2", "line1%0d%0aline2"},
      {std::string("nul\0byte", 8), "nul%00byte"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlEncode(c.text), c.encoded) << c.text;
    EXPECT_EQ(UrlDecode(c.encoded), c.text) << c.encoded;
  }
  std::string every_byte;
  for (int b = 0; b < 256; ++b) every_byte += static_cast<char>(b);
  EXPECT_EQ(UrlDecode(UrlEncode(every_byte)), every_byte);
}

TEST(UrlCodingTest, DecodeKeepsStrayPercentSigns) {
  const std::pair<const char*, const char*> cases[] = {
      {"100%", "100%"}, {"%4", "%4"}, {"%zz1", "%zz1"}, {"%4A%4a", "JJ"}, {"a+%2B", "a +"},
  };
  for (const auto& [encoded, text] : cases) EXPECT_EQ(UrlDecode(encoded), text) << encoded;
}

struct SplitCase {
  const char* url;
  const char* scheme;
  const char* host;
  const char* path;
  const char* query;
};

TEST(UrlSplitTest, SplitUrlAndQuery) {
  const SplitCase cases[] = {
      {"HTTPS://Maps.Example.com/a/b?x=1&y=2", "https", "Maps.Example.com", "/a/b", "x=1&y=2"},
      {"http://host/path", "http", "host", "/path", ""},
      {"http://host?q=1", "http", "host", "", "q=1"},  // '?' before any '/' ends the host
      {"http://host", "http", "", "http://host", ""},  // no '/' after the host
      {"relative/path?z", "", "", "relative/path", "z"},
      {"", "", "", "", ""},
  };
  for (const SplitCase& c : cases) {
    std::string scheme, host, path, query;
    SplitUrlQuery(c.url, scheme, host, path, query);
    EXPECT_EQ(scheme, c.scheme) << c.url;
    EXPECT_EQ(host, c.host) << c.url;
    EXPECT_EQ(path, c.path) << c.url;
    EXPECT_EQ(query, c.query) << c.url;
  }
  std::string scheme, host, path;
  SplitUrl("HTTP://h/p?q", scheme, host, path);
  EXPECT_EQ(scheme, "http");
  EXPECT_EQ(host, "h");
  EXPECT_EQ(path, "/p?q");
  SplitUrl("http://h?q/p", scheme, host, path);  // SplitUrl ends the host only at '/'
  EXPECT_EQ(host, "h?q");
  EXPECT_EQ(path, "/p");
}

TEST(UrlSplitTest, ParseUrlKeepsCaseAndNeedsAScheme) {
  std::string scheme, host, rest;
  ParseUrl("HTTP://Host/x", scheme, host, rest);
  EXPECT_EQ(scheme, "HTTP");
  EXPECT_EQ(host, "Host");
  EXPECT_EQ(rest, "/x");
  ParseUrl("://host/x", scheme, host, rest);
  EXPECT_EQ(scheme, "");
  EXPECT_EQ(host, "");
  EXPECT_EQ(rest, "://host/x");
}

}  // namespace
