#include "charts/ui/package_download.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "charts/tests/package_fixture.h"
#include "core/download_progress.h"
#include "core/file_utils.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

// Records the message boxes and answers them with `answer`.
struct BoxRecorder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    boxes.push_back(request);
    return answer;
  }
  int answer = vd::ui::kIdNo;
  std::vector<vd::ui::MessageBoxRequest> boxes;
};

TEST(PackageDownloadTest, SpaceCheckKeepsAMarginAndTrustsUnknownSpace) {
  struct Case {
    int64_t needed, free_bytes;
    bool fits;
  };
  const Case cases[] = {{5000, 1'005'000, true},
                        {5000, 1'004'999, false},
                        {5000, 0, true},
                        {5000, -1, true},
                        {0, 1'000'000, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(PackageFitsOnDisk(c.needed, c.free_bytes), c.fits) << c.needed << " " << c.free_bytes;
  }
  EXPECT_EQ(NotEnoughSpaceText("Alps", 2048, 512),
            "The package \"Alps\" will take up 2.0KB, but the device has only 512 Bytes "
            "available.\n\nWould you like to continue?");
}

TEST(PackageDownloadTest, OpensAPackageDownloadsItAndReportsABadOne) {
  vd::test::TempDir dir;
  BoxRecorder recorder;
  vd::ui::ScopedResponder scope(&recorder);

  const std::string bad = dir.File("bad.vdpkg");
  {
    vd::os::File file;
    ASSERT_TRUE(file.Open(bad, vd::os::File::Mode::CreateTruncate));
    ASSERT_TRUE(file.Write("junk", 4));
  }
  EXPECT_FALSE(DownloadMapPackage(nullptr, bad));
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].caption, "Error opening VD Package");
  EXPECT_EQ(recorder.boxes[0].text, bad + "\n\nThe file is not a map package.");
  recorder.boxes.clear();

  const std::string bytes = vd::test::PackageBytes(1500000, 7);
  {
    vd::test::HttpTestServer server;
    server.Serve("/p/maps/a.qct", bytes);
    const std::string package = dir.File("Alps.vdpkg");
    ASSERT_TRUE(vd::test::WritePackage(package, "127.0.0.1:" + std::to_string(server.port()), "/p",
                                       "Alps", {{"maps/a.qct", bytes}}));
    EXPECT_TRUE(DownloadMapPackage(nullptr, package));
    vd::os::HttpCloseIdleConnections();
  }
  EXPECT_TRUE(recorder.boxes.empty());
  std::string got;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("maps/a.qct"), got));
  EXPECT_EQ(got, bytes);
  // The record is idle again, ready for the next package.
  EXPECT_EQ(PackageDownloadProgress().total.load(), 0);
  EXPECT_FALSE(PackageDownloadProgress().finished());
}

}  // namespace
