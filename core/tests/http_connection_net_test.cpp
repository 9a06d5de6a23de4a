#include "core/http_connection.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/download_progress.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"
#include "tests/raw_http_recorder.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::HttpTestServer;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

std::string Contents(const std::string& path) {
  std::string bytes;
  return vd::os::ReadWholeFile(path, bytes) ? bytes : "<missing>";
}

class HttpConnectionTest : public ::testing::Test {
 protected:
  // Idle keep-alive connections would hold up the server's stop.
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  std::string Host() const { return "127.0.0.1:" + std::to_string(server_.port()); }

  HttpTestServer server_;
  vd::test::TempDir dir_;
  CHttpConnection connection_{Host(), false};
};

TEST_F(HttpConnectionTest, GetToFileReplacesTheTargetOnlyWithAWholeBody) {
  const std::string body = Pattern(300000);
  server_.Serve("/file", body);
  server_.Redirect("/moved", "/file");
  HttpTestServer::Reply cut;
  cut.body = body;
  cut.cut_after = 70000;
  server_.Set("/cut", cut);
  HttpTestServer::Reply error;
  error.status = 500;
  error.body = "<html>server error</html>";
  server_.Set("/error", error);

  struct Case {
    const char* path;
    bool ok;
  };
  const Case cases[] = {
      {"/file", true}, {"/moved", true}, {"/missing", false}, {"/error", false}, {"/cut", false}};
  for (const Case& c : cases) {
    const std::string target = dir_.File("sub/folder/target.bin");
    ASSERT_TRUE(vd::os::MakeFolders(dir_.File("sub/folder")));
    ASSERT_TRUE(vd::os::SaveFileAtomically(target, "old contents"));
    EXPECT_EQ(connection_.GetToFile(c.path, target), c.ok) << c.path;
    EXPECT_EQ(Contents(target), c.ok ? body : "old contents") << c.path;
    EXPECT_FALSE(vd::os::FileExists(target + ".TMP")) << c.path;
  }

  // The target's missing folders are made.
  const std::string fresh = dir_.File("new/deeper/file.bin");
  EXPECT_TRUE(connection_.GetToFile("/file", fresh));
  EXPECT_EQ(Contents(fresh), body);
  EXPECT_EQ(server_.Requests().front().Header("User-Agent"), "Vardune-PC-1278");
}

TEST_F(HttpConnectionTest, ProgressCountsAndAbortStopsTheTransfer) {
  const std::string body = Pattern(8 << 20);
  server_.Serve("/big", body);
  CDownloadProgress progress;
  connection_.SetProgress(&progress);
  const std::string target = dir_.File("big.bin");
  ASSERT_TRUE(connection_.GetToFile("/big", target));
  EXPECT_EQ(progress.done, static_cast<int64_t>(body.size()));
  EXPECT_EQ(progress.total, static_cast<int64_t>(body.size()));

  // Abort once the first bytes are in; the callback is not asked again after saying no.
  struct Probe {
    CDownloadProgress* progress;
    int asked_after_no = 0;
    bool said_no = false;
  } probe{&progress};
  connection_.SetAbortCallback(
      [](void* data) {
        auto* p = static_cast<Probe*>(data);
        if (p->said_no) ++p->asked_after_no;
        p->said_no = p->progress->done > 0;
        return !p->said_no;
      },
      &probe);
  ASSERT_TRUE(vd::os::SaveFileAtomically(target, "old"));
  progress.Reset();
  EXPECT_FALSE(connection_.GetToFile("/big", target));
  EXPECT_TRUE(probe.said_no);
  EXPECT_EQ(probe.asked_after_no, 0);
  EXPECT_GT(progress.done, 0);
  EXPECT_LT(progress.done, progress.total);
  EXPECT_EQ(Contents(target), "old");
  EXPECT_FALSE(vd::os::FileExists(target + ".TMP"));
}

TEST_F(HttpConnectionTest, GetRangeDeliversOnlyTheAskedBytes) {
  const std::string body = Pattern(1000);
  server_.Serve("/ranges", body, true);
  server_.Serve("/whole", body, false);
  HttpTestServer::Reply misplaced;  // 206, but for another part than asked
  misplaced.status = 206;
  misplaced.ranges = false;
  misplaced.body = body.substr(0, 50);
  misplaced.headers = {{"Content-Range", "bytes 0-49/1000"}};
  server_.Set("/misplaced", misplaced);

  struct Case {
    const char* path;
    int64_t offset;
    int32_t length;
    int result;  // bytes, from body[offset], or -1
  };
  const Case cases[] = {
      {"/ranges", 100, 50, 50},  {"/ranges", 0, 4, 4},        {"/ranges", 990, 50, 10},
      {"/ranges", 1000, 10, -1}, {"/whole", 100, 50, -1},     {"/whole", 0, 50, 50},
      {"/whole", 0, 4000, 1000}, {"/misplaced", 100, 50, -1}, {"/missing", 0, 10, -1},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(static_cast<size_t>(c.length), '\x5A');
    const int got = connection_.GetRange(c.path, c.offset, c.length, buffer.data());
    EXPECT_EQ(got, c.result) << c.path << " " << c.offset;
    if (got > 0) {
      EXPECT_EQ(std::string(buffer.data(), got), body.substr(c.offset, got))
          << c.path << " " << c.offset;
    } else {
      EXPECT_EQ(buffer, std::vector<char>(buffer.size(), '\x5A')) << c.path << " " << c.offset;
    }
  }
  EXPECT_EQ(server_.Requests().front().Header("Range"), "bytes=100-149");

  // The free function: a connection of its own from the host text.
  char four[4];
  EXPECT_EQ(DownloadRange(Host(), "/ranges", 10, 4, four, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(four, 4), body.substr(10, 4));
}

TEST_F(HttpConnectionTest, ReadIntoAndHead) {
  server_.Serve("/redir.txt", "http://example.invalid/x.gz\r\n");
  char buffer[999];
  EXPECT_EQ(connection_.ReadInto("/redir.txt", buffer, sizeof buffer), 29);
  EXPECT_EQ(std::string(buffer, 29), "http://example.invalid/x.gz\r\n");
  EXPECT_EQ(connection_.ReadInto("/redir.txt", buffer, 4), 4);
  EXPECT_EQ(connection_.ReadInto("/missing", buffer, sizeof buffer), -1);

  int64_t length = 0;
  EXPECT_EQ(connection_.Head("/redir.txt", length), 200);
  EXPECT_EQ(length, 29);
  EXPECT_EQ(connection_.Head("/missing", length), 404);
  EXPECT_EQ(server_.Requests().back().method, "HEAD");
}

TEST(HttpUploadTest, SendsTheServersOwnMultipartLayout) {
  vd::test::TempDir dir;
  const std::string file = dir.File("Kelp Bay.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(file, "<gpx>\r\n <wpt/>\nlast line"));
  vd::test::RawHttpRecorder server;
  server.set_status(200);
  CHttpConnection connection("127.0.0.1:" + std::to_string(server.port()), false);
  ASSERT_TRUE(connection.UploadFile("/cgi-bin/syncupload.cgi", "fileToUpload", file, "S-42"));
  ASSERT_TRUE(connection.UploadFile("/cgi-bin/syncupload.cgi", "fileToUpload", file, ""));

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].head.rfind("POST /cgi-bin/syncupload.cgi HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(requests[0].head.find(
                "\r\nContent-Type: multipart/form-data; boundary=xxxxxx298323945293878xxxxxx\r\n"),
            std::string::npos);
  EXPECT_EQ(requests[0].body,
            "xxxxxx298323945293878xxxxxx\r\n"
            "Content-Disposition: form-data; name=\"session\";\r\n"
            "S-42\r\n"
            "xxxxxx298323945293878xxxxxx\r\n"
            "Content-Disposition: form-data; name=\"fileToUpload\"; filename=\"Kelp Bay.gpx\"\r\n"
            "<gpx>\r\n"
            " <wpt/>\r\n"
            "last line\r\n"
            "xxxxxx298323945293878xxxxxx");
  EXPECT_EQ(requests[1].body,
            "xxxxxx298323945293878xxxxxx\r\n"
            "Content-Disposition: form-data; name=\"fileToUpload\"; filename=\"Kelp Bay.gpx\"\r\n"
            "<gpx>\r\n"
            " <wpt/>\r\n"
            "last line\r\n"
            "xxxxxx298323945293878xxxxxx");

  vd::test::RawHttpRecorder refusing;
  refusing.set_status(403);
  CHttpConnection refused("127.0.0.1:" + std::to_string(refusing.port()), false);
  EXPECT_FALSE(refused.UploadFile("/cgi-bin/syncupload.cgi", "fileToUpload", file, ""));
  EXPECT_EQ(refusing.requests().size(), 1u);
}

TEST_F(HttpConnectionTest, UploadRefusesEmptyAndOversizedFilesWithoutAsking) {
  std::vector<std::string> messages;
  CHttpConnection::SetMessageHook([&](const std::string& caption, const std::string& text) {
    messages.push_back(caption + "|" + text);
  });
  const std::string empty = dir_.File("empty.gpx");
  const std::string big = dir_.File("big.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(empty, ""));
  ASSERT_TRUE(
      vd::os::SaveFileAtomically(big, std::string(CHttpConnection::kMaxUploadBytes + 1, 'x')));

  EXPECT_FALSE(connection_.UploadFile("/up", "f", empty, ""));
  EXPECT_FALSE(connection_.UploadFile("/up", "f", dir_.File("absent.gpx"), ""));
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(connection_.UploadFile("/up", "f", big, ""));
  EXPECT_EQ(messages, std::vector<std::string>{"Upload error|File is too big"});
  EXPECT_TRUE(server_.Requests().empty());
  CHttpConnection::SetMessageHook(nullptr);
}

}  // namespace
