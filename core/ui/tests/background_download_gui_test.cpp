#include "core/ui/background_download.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <string>

#include "core/completion_callback.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "platform/ui/dialog_window.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using vd::test::HttpTestServer;

std::string Contents(const std::string& path) {
  std::string bytes;
  return vd::os::ReadWholeFile(path, bytes) ? bytes : "<missing>";
}

class BackgroundDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { CDialogCallbackList drop; }  // nothing left pending by an earlier test
  // Idle keep-alive connections would hold up the server's stop.
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  // The download with the caller's completion callback; returns the result it received.
  int Download(const std::string& path, const std::string& target) {
    int result = 99;
    CCompletionCallback after;
    after.Register([&](int chained) { return result = chained; });
    StartBackgroundDownload(nullptr, "127.0.0.1:" + std::to_string(server_.port()), path, target,
                            "Downloading", false);
    RunPendingCallbacks(after);
    return result;
  }

  HttpTestServer server_;
  vd::test::TempDir dir_;
};

TEST_F(BackgroundDownloadTest, CallbackGetsTheOutcome) {
  const std::string body(300000, 'q');
  server_.Serve("/quick.bin", body);
  HttpTestServer::Reply slow;  // long enough for the dialog to come up and close by itself
  slow.body = body;
  slow.delay = 600ms;
  server_.Set("/slow.bin", slow);

  struct Case {
    const char* path;
    int result;
  };
  for (const Case& c : {Case{"/quick.bin", 0}, Case{"/slow.bin", 0}, Case{"/missing.bin", -1}}) {
    const std::string target = dir_.File("target.bin");
    ASSERT_TRUE(vd::os::SaveFileAtomically(target, "old"));
    EXPECT_EQ(Download(c.path, target), c.result) << c.path;
    EXPECT_EQ(Contents(target), c.result == 0 ? body : "old") << c.path;
  }
}

TEST_F(BackgroundDownloadTest, CancelStopsTheTransferAndKeepsTheOldFile) {
  HttpTestServer::Reply stalled;  // answers only when the server stops
  stalled.body = "late";
  stalled.delay = 10min;
  server_.Set("/stalled.bin", stalled);
  const std::string target = dir_.File("target.bin");
  ASSERT_TRUE(vd::os::SaveFileAtomically(target, "old"));

  bool clicked = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->ControlAs<QPushButton>(vd::ui::kIdCancel)->click();
    clicked = true;
  });
  EXPECT_EQ(Download("/stalled.bin", target), -1);
  EXPECT_TRUE(clicked);
  EXPECT_EQ(Contents(target), "old");
  EXPECT_FALSE(vd::os::FileExists(target + ".TMP"));
}

}  // namespace
