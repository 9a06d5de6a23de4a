#include "charts/package_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "charts/tests/package_fixture.h"
#include "core/file_utils.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::HttpTestServer;
using vd::test::PackageBytes;
using vd::test::PackageFileSpec;

constexpr int64_t kBlock = CVdPkgFile::kBlockSize;

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate));
  ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
}

class PackageWorkerTest : public ::testing::Test {
 protected:
  // The server's stop waits for idle keep-alive connections.
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  void SetUp() override {
    files = {{"big.qct", PackageBytes(2 * kBlock + 100, 1)},
             {"empty.qct", ""},
             {"sub/small.qct", PackageBytes(5000, 2)},
             {"exact.qct", PackageBytes(kBlock, 3)}};
    for (const auto& file : files) server.Serve("/store/pkg/" + file.name, file.bytes);
    WriteDescriptor();
  }

  void WriteDescriptor() {
    ASSERT_TRUE(vd::test::WritePackage(package, "127.0.0.1:" + std::to_string(server.port()),
                                       "/store/pkg", "Test package", files));
  }

  bool Download() {
    progress.Reset();
    server.ClearRequests();
    return RunPackageDownload(package, progress);
  }

  // The Range headers of the requests for one file, in any order.
  std::vector<std::string> RangesAsked(const std::string& name) const {
    std::vector<std::string> ranges;
    for (const auto& request : server.Requests()) {
      if (request.path == "/store/pkg/" + name) ranges.push_back(request.Header("Range"));
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
  }

  void ExpectAllInPlace() const {
    for (const auto& file : files) {
      SCOPED_TRACE(file.name);
      const std::string local = dir.File(file.name);
      if (file.bytes.empty()) {
        EXPECT_FALSE(FileExists(local));
      } else {
        EXPECT_EQ(ReadBytes(local), file.bytes);
      }
      EXPECT_FALSE(FileExists(local + ".TMP"));
    }
  }

  vd::test::TempDir dir;
  HttpTestServer server;
  std::vector<PackageFileSpec> files;
  std::string package = dir.File("Test.vdpkg");
  CDownloadProgress progress;
};

TEST_F(PackageWorkerTest, DownloadsEveryFileAndThenOnlyVerifies) {
  EXPECT_EQ(GetPackageMissingBytes(package), 3 * kBlock + 5100);
  ASSERT_TRUE(Download()) << progress.GetErrorText();
  ExpectAllInPlace();
  EXPECT_TRUE(progress.finished());
  EXPECT_EQ(progress.done.load(), 3 * kBlock + 5100);
  EXPECT_EQ(progress.total.load(), 0);
  EXPECT_EQ(progress.GetErrorText(), "");
  EXPECT_EQ(RangesAsked("big.qct"),
            (std::vector<std::string>{"bytes=0-1048575", "bytes=1048576-2097151",
                                      "bytes=2097152-2097251"}));
  EXPECT_TRUE(RangesAsked("empty.qct").empty());
  EXPECT_EQ(GetPackageMissingBytes(package), 0);

  // A complete package is verified by reading alone.
  ASSERT_TRUE(Download()) << progress.GetErrorText();
  EXPECT_TRUE(server.Requests().empty());
  ExpectAllInPlace();
}

TEST_F(PackageWorkerTest, ResumesFromLocalBlocksFetchingOnlyTheBadOnes) {
  std::string big = files[0].bytes;
  big[kBlock + 7] ^= 0x01;  // the middle block is damaged
  WriteBytes(dir.File("big.qct.TMP"), big);
  // A target shorter than its entry: its missing block is fetched.
  WriteBytes(dir.File("exact.qct"), files[3].bytes.substr(0, 1000));
  // A target longer than its entry keeps its extra bytes.
  CreateDirectoryTree(dir.File("sub"));
  WriteBytes(dir.File("sub/small.qct"), files[2].bytes + "tail");

  ASSERT_TRUE(Download()) << progress.GetErrorText();
  EXPECT_EQ(RangesAsked("big.qct"), std::vector<std::string>{"bytes=1048576-2097151"});
  EXPECT_EQ(RangesAsked("exact.qct"), std::vector<std::string>{"bytes=0-1048575"});
  EXPECT_TRUE(RangesAsked("sub/small.qct").empty());
  EXPECT_EQ(ReadBytes(dir.File("sub/small.qct")), files[2].bytes + "tail");
  files[2].bytes += "tail";
  ExpectAllInPlace();
}

TEST_F(PackageWorkerTest, FailuresKeepTargetsWholeAndAnotherRunCompletes) {
  struct Case {
    const char* what;
    HttpTestServer::Reply reply;
  };
  const std::string& big = files[0].bytes;
  HttpTestServer::Reply cut;
  cut.body = big;
  cut.cut_after = 1000;
  HttpTestServer::Reply damaged;
  damaged.body = big;
  damaged.body[kBlock + 5] ^= 0x40;
  HttpTestServer::Reply no_ranges;
  no_ranges.body = big;
  no_ranges.ranges = false;
  HttpTestServer::Reply missing;
  missing.status = 404;
  const Case cases[] = {{"reply cut short", cut},
                        {"damaged block", damaged},
                        {"server ignores ranges", no_ranges},
                        {"file missing on the server", missing}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(dir.File("big.qct").c_str());
    std::remove(dir.File("big.qct.TMP").c_str());
    server.Set("/store/pkg/big.qct", c.reply);
    EXPECT_FALSE(Download());
    EXPECT_TRUE(progress.finished());
    EXPECT_NE(progress.GetErrorText(), "");
    EXPECT_FALSE(FileExists(dir.File("big.qct")));
  }

  server.Serve("/store/pkg/big.qct", big);
  ASSERT_TRUE(Download()) << progress.GetErrorText();
  ExpectAllInPlace();
}

TEST_F(PackageWorkerTest, CancelStopsAWaitingTransferAndLeavesNoTarget) {
  HttpTestServer::Reply slow;
  slow.body = files[0].bytes;
  slow.delay = std::chrono::seconds(30);
  server.Set("/store/pkg/big.qct", slow);
  progress.Reset();
  std::thread canceller([this] {
    server.WaitForRequests(1);
    progress.cancel = true;
  });
  EXPECT_FALSE(RunPackageDownload(package, progress));
  canceller.join();
  EXPECT_TRUE(progress.finished());
  EXPECT_FALSE(FileExists(dir.File("big.qct")));
}

// The user's copy of a file stays under its own name, byte for byte, while a newer version
// downloads: a failing server or a cancel leaves it as it was, and only the verified new file
// replaces it.
TEST_F(PackageWorkerTest, ExistingFileStaysInPlaceWhenTheDownloadFailsOrIsCancelled) {
  const std::string& fresh = files[0].bytes;
  std::string old = fresh;
  old[kBlock + 7] ^= 0x01;  // the user's copy differs from the new version in one block
  const std::string target = dir.File("big.qct");
  HttpTestServer::Reply failing;
  failing.status = 500;
  HttpTestServer::Reply slow;
  slow.body = fresh;
  slow.delay = std::chrono::seconds(30);
  struct Case {
    const char* what;
    HttpTestServer::Reply reply;
    bool cancel;
  };
  const Case cases[] = {{"server error", failing, false}, {"cancel", slow, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(target, old);
    server.Set("/store/pkg/big.qct", c.reply);
    progress.Reset();
    server.ClearRequests();
    std::thread canceller;
    if (c.cancel) {
      canceller = std::thread([this] {
        server.WaitForRequests(1);
        progress.cancel = true;
      });
    }
    EXPECT_FALSE(RunPackageDownload(package, progress));
    if (canceller.joinable()) canceller.join();
    EXPECT_TRUE(progress.finished());
    EXPECT_TRUE(ReadBytes(target) == old) << "the user's file changed or went";
    // Nothing was fetched, so no working file is left behind.
    EXPECT_FALSE(FileExists(target + ".TMP"));
    // Only the differing block was asked for: the good ones of the old copy are kept.
    for (const std::string& range : RangesAsked("big.qct")) {
      EXPECT_EQ(range, "bytes=1048576-2097151");
    }
  }

  server.Serve("/store/pkg/big.qct", fresh);
  ASSERT_TRUE(Download()) << progress.GetErrorText();
  EXPECT_EQ(RangesAsked("big.qct"), std::vector<std::string>{"bytes=1048576-2097151"});
  ExpectAllInPlace();
}

// Blocks taken over from the user's old copy are read again when the new file is put
// together: a copy that changed meanwhile (another program wrote to it) stops the download
// instead of mixing its new bytes into a file that would pass as verified.
TEST_F(PackageWorkerTest, OldCopyChangedDuringTheDownloadIsNotTakenIntoTheNewFile) {
  // One file only, so that the progress counts no other file's blocks.
  files.resize(1);
  WriteDescriptor();
  const std::string fresh = files[0].bytes;
  std::string old = fresh;
  old[kBlock + 7] ^= 0x01;  // block 1 differs, block 0 is taken from the old copy
  const std::string target = dir.File("big.qct");
  WriteBytes(target, old);
  std::string changed = old;
  changed[5] ^= 0x40;  // what the other program leaves in block 0

  HttpTestServer::Reply reply;
  reply.body = fresh;
  reply.before_reply = [&](const vd::test::RecordedRequest& request) {
    if (request.Header("Range") != "bytes=1048576-2097151") return;
    // Block 0 has been verified in the old copy (the only block counted so far); then the
    // copy changes before block 1 arrives.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (progress.done.load() < kBlock && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    vd::os::File file;
    if (file.Open(target, vd::os::File::Mode::ReadWrite)) file.PWrite(&changed[5], 1, 5);
  };
  server.Set("/store/pkg/big.qct", reply);
  EXPECT_FALSE(Download());
  EXPECT_NE(progress.GetErrorText().find("big.qct changed while it was checked"),
            std::string::npos)
      << progress.GetErrorText();
  EXPECT_TRUE(ReadBytes(target) == changed) << "the changed copy was replaced";

  // The next run verifies again and completes from the working file and the server.
  server.Serve("/store/pkg/big.qct", fresh);
  ASSERT_TRUE(Download()) << progress.GetErrorText();
  ExpectAllInPlace();
}

TEST_F(PackageWorkerTest, FolderInTheWayOrBadDescriptorFailsWithAReason) {
  CreateDirectoryTree(dir.File("big.qct/inside"));
  EXPECT_FALSE(Download());
  EXPECT_NE(progress.GetErrorText(), "");
  EXPECT_TRUE(IsDirectory(dir.File("big.qct/inside")));  // never deleted

  WriteBytes(package, "not a package");
  EXPECT_FALSE(Download());
  EXPECT_NE(progress.GetErrorText(), "");
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
