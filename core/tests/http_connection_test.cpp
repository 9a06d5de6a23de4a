#include "core/http_connection.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpConnectionServerTest, HostTextAndDefaultPorts) {
  struct Case {
    const char* text;
    bool secure;
    int port;
    const char* host;
    int effective_port;
  };
  const Case cases[] = {
      {"maps.example:8080", false, 0, "maps.example", 8080},
      {"maps.example:8443", true, 99, "maps.example", 8443},  // the text wins over the argument
      {"maps.example", true, 0, "maps.example", 443},
      {"maps.example", false, 0, "maps.example", 80},
      {"maps.example", false, 81, "maps.example", 81},
      {"maps.example:", true, 0, "maps.example", 443},
      {"maps.example:http", false, 0, "maps.example", 80},
      {"maps.example:99999", false, 0, "maps.example", 80},
  };
  for (const Case& c : cases) {
    CHttpConnection connection(c.text, c.secure, c.port);
    EXPECT_EQ(connection.host(), c.host) << c.text;
    EXPECT_EQ(connection.port(), c.effective_port) << c.text;
    EXPECT_EQ(connection.state(), CHttpConnection::kNotConnected) << c.text;
  }
}

TEST(HttpConnectionServerTest, ConnectStateAndSetServer) {
  for (const char* bad : {"", "a b", "host/path", "user@host"}) {
    CHttpConnection connection(bad, false);
    EXPECT_FALSE(connection.Connect()) << bad;
    EXPECT_EQ(connection.state(), CHttpConnection::kConnectFailed) << bad;
    EXPECT_FALSE(connection.Connect()) << bad;  // the failure sticks
  }

  // A default port follows the scheme: a chunk server reached over HTTPS, then its redirected
  // host over plain HTTP.
  CHttpConnection connection("chunks.example", true);
  EXPECT_TRUE(connection.Connect());
  EXPECT_EQ(connection.state(), CHttpConnection::kConnected);
  EXPECT_TRUE(connection.SetServer("mirror.example", false));
  EXPECT_EQ(connection.host(), "mirror.example");
  EXPECT_EQ(connection.port(), 80);
  EXPECT_FALSE(connection.SetServer("", false));
  EXPECT_EQ(connection.state(), CHttpConnection::kConnectFailed);
  EXPECT_TRUE(connection.SetServer("mirror.example:8000", false));
  EXPECT_EQ(connection.port(), 8000);

  // A port given at construction stays.
  CHttpConnection fixed("a.example", false, 8080);
  EXPECT_TRUE(fixed.SetServer("b.example", true));
  EXPECT_EQ(fixed.port(), 8080);
}

}  // namespace
