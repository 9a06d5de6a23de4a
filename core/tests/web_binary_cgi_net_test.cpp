#include "core/web_binary_cgi.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::HttpTestServer;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

class WebBinaryCgiTest : public ::testing::Test {
 protected:
  // Idle keep-alive connections would hold up the server's stop.
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  std::string Host() const { return "127.0.0.1:" + std::to_string(server_.port()); }

  HttpTestServer server_;
  vd::test::TempDir dir_;
};

TEST_F(WebBinaryCgiTest, PostsWrittenFieldsAndReadsTheReply) {
  // Reply: tag 0x1234, the wide string "ok", int32 -1.
  server_.Serve("/cgi-bin/mapstore3.cgi",
                Bytes({0x34, 0x12, 0, 0, 2, 0, 0, 0, 'o', 0, 'k', 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  CWebBinaryCGI cgi(Host(), "cgi-bin/mapstore3.cgi", false);
  EXPECT_EQ(cgi.mode(), CTypeSerializer::kModeWrite);
  int32_t version = 5;
  std::string keyword = "Kelp \xC3\xA9";
  EXPECT_TRUE(cgi.Tag(102));
  EXPECT_TRUE(cgi.Int32(version));
  EXPECT_TRUE(cgi.String(keyword));
  ASSERT_TRUE(cgi.Send());

  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/cgi-bin/mapstore3.cgi");
  EXPECT_EQ(requests[0].body, Bytes({102, 0, 0,   0, 5,   0, 0,   0, 6,   0, 0,    0,
                                     'K', 0, 'e', 0, 'l', 0, 'p', 0, ' ', 0, 0xE9, 0xFF}));
  EXPECT_EQ(requests[0].Header("Content-Type"), "");
  EXPECT_EQ(requests[0].Header("User-Agent"), CWebBinaryCGI::UserAgent());
  EXPECT_EQ(CWebBinaryCGI::UserAgent().rfind("VD-6.4.3-1278/", 0), 0u);

  EXPECT_EQ(cgi.mode(), CTypeSerializer::kModeRead);
  EXPECT_EQ(cgi.position(), 0);
  std::string text;
  int32_t value = 0;
  EXPECT_TRUE(cgi.Tag(0x1234));
  EXPECT_TRUE(cgi.String(text));
  EXPECT_EQ(text, "ok");
  EXPECT_TRUE(cgi.Int32(value));
  EXPECT_EQ(value, -1);
  EXPECT_TRUE(cgi.ok());
  EXPECT_FALSE(cgi.Int32(value));  // the reply is used up
  EXPECT_FALSE(cgi.ok());
}

TEST_F(WebBinaryCgiTest, ErrorStatusOrShortReplyFailsTheReads) {
  HttpTestServer::Reply error;
  error.status = 500;
  error.body = std::string(64, '\0');
  server_.Set("/error.cgi", error);
  server_.Serve("/short.cgi", Bytes({1, 0}));

  CWebBinaryCGI failing(Host(), "/error.cgi", false);
  EXPECT_FALSE(failing.Send());
  int32_t value = 0;
  EXPECT_FALSE(failing.Int32(value));
  EXPECT_FALSE(failing.ok());

  CWebBinaryCGI cut(Host(), "/short.cgi", false);
  EXPECT_TRUE(cut.Send());
  EXPECT_FALSE(cut.Tag(1));
  EXPECT_FALSE(cut.ok());
}

TEST_F(WebBinaryCgiTest, PostFileReplacesTheFileOnlyWithAGoodReply) {
  server_.Serve("/cgi-bin/directions.cgi", "<DirectionsResponse/>");
  HttpTestServer::Reply error;
  error.status = 502;
  error.body = "<html>bad gateway</html>";
  server_.Set("/error.cgi", error);
  HttpTestServer::Reply cut;
  cut.body = std::string(5000, 'r');
  cut.cut_after = 100;
  server_.Set("/cut.cgi", cut);

  const std::string file = dir_.File("route.xml");
  const std::string request = Bytes({7, 0, 0, 0}) + "walking" + Bytes({0, 0, 0, 0});
  struct Case {
    const char* path;
    bool ok;
  };
  for (const Case& c :
       {Case{"/error.cgi", false}, Case{"/cut.cgi", false}, Case{"cgi-bin/directions.cgi", true}}) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(file, request));
    CWebBinaryCGI cgi(Host(), c.path, false);
    EXPECT_EQ(cgi.PostFile(file), c.ok) << c.path;
    std::string now;
    ASSERT_TRUE(vd::os::ReadWholeFile(file, now));
    EXPECT_EQ(now, c.ok ? "<DirectionsResponse/>" : request) << c.path;
    EXPECT_FALSE(vd::os::FileExists(file + ".TMP")) << c.path;
    EXPECT_EQ(server_.Requests().back().body, request) << c.path;
  }

  // Files out of the size range never reach the server.
  server_.ClearRequests();
  const std::string empty = dir_.File("empty.xml");
  const std::string big = dir_.File("big.xml");
  ASSERT_TRUE(vd::os::SaveFileAtomically(empty, ""));
  ASSERT_TRUE(
      vd::os::SaveFileAtomically(big, std::string(CWebBinaryCGI::kMaxPostFileBytes + 1, 'b')));
  CWebBinaryCGI cgi(Host(), "cgi-bin/directions.cgi", false);
  EXPECT_FALSE(cgi.PostFile(empty));
  EXPECT_FALSE(cgi.PostFile(big));
  EXPECT_FALSE(cgi.PostFile(dir_.File("absent.xml")));
  EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
