#include "corvex/lumex_handover.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

// Start-file bytes written out field by field, independently of the encoder.
std::string Bytes(const std::string& chart, const std::string& elevation,
                  const std::vector<std::pair<double, double>>& points) {
  std::string bytes = chart + '\0' + elevation + '\0';
  const auto raw = [&bytes](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
  const int32_t n = static_cast<int32_t>(points.size());
  raw(&n, 4);
  for (const auto& [lat, lon] : points) {
    raw(&lat, 8);
    raw(&lon, 8);
  }
  return bytes;
}

// Replaces the program's elevation data for a test and records where they were asked.
class ElevationFake {
 public:
  explicit ElevationFake(float height, std::string path = "/maps/elevation.qed") {
    SetElevationDataSource([this, height, path] {
      return CElevationLookup{path, [this, height](double lat, double lon) -> float {
                                asked.emplace_back(lat, lon);
                                return height;
                              }};
    });
  }
  ~ElevationFake() { SetElevationDataSource(nullptr); }
  std::vector<std::pair<double, double>> asked;
};

TEST(LumexStartFile, HoldsBothPathsTheCountAndThePointsByteForByte) {
  const std::vector<CLatLon> one{{50.25, -4.5}};
  const std::string file = EncodeLumexStartFile("/charts/a.qct", "", one).value();
  EXPECT_EQ(file, Bytes("/charts/a.qct", "", {{50.25, -4.5}}));
  // n = 1: both paths with their zero bytes, the count and one pair.
  EXPECT_EQ(file.size(), 13u + 0u + 2 + 4 + 16);

  const std::vector<CLatLon> route{{1, 2}, {-3.5, 4.125}, {89.9, -179.9}};
  EXPECT_EQ(EncodeLumexStartFile("/c/Baie_é.qct", "/e/x.qed", route).value(),
            Bytes("/c/Baie_\xE9.qct", "/e/x.qed", {{1, 2}, {-3.5, 4.125}, {89.9, -179.9}}));
}

TEST(LumexStartFile, RefusesWhatTheViewerCouldNotRead) {
  EXPECT_FALSE(EncodeLumexStartFile("/charts/a.qct", "", {}));
  // A character without a Windows-1252 byte would name another file.
  EXPECT_FALSE(EncodeLumexStartFile("/charts/\xE6\xB5\xB7.qct", "", {{1, 2}}));
  EXPECT_FALSE(EncodeLumexStartFile("/charts/a.qct", std::string("/e/\0x", 5), {{1, 2}}));
}

TEST(LumexProgram, FoundBesideTheProgramOrInItsBuildTree) {
  vd::test::TempDir dir;
  const std::string program_folder = dir.path() + "/build/corvex/ui";
  const std::string build_tree_program = dir.path() + "/build/lumex/ui/lumex";
  ASSERT_TRUE(vd::os::MakeFolders(program_folder));
  ASSERT_TRUE(vd::os::MakeFolders(dir.path() + "/build/lumex/ui"));
  EXPECT_EQ(FindLumexProgram(program_folder), "");
  ASSERT_TRUE(vd::os::SaveFileAtomically(build_tree_program, "x"));
  EXPECT_EQ(FindLumexProgram(program_folder), program_folder + "/../../lumex/ui/lumex");
  ASSERT_TRUE(vd::os::SaveFileAtomically(program_folder + "/lumex", "x"));
  EXPECT_EQ(FindLumexProgram(program_folder), program_folder + "/lumex");
}

class LumexLaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    temp = dir.path() + "/temp";
    programs = dir.path() + "/bin";
    ASSERT_TRUE(vd::os::MakeFolders(temp));
    ASSERT_TRUE(vd::os::MakeFolders(programs));
  }
  // A viewer that writes its argument count into a pipe the test reads.
  void InstallViewer() {
    fifo = dir.File("started");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string script = "#!/bin/sh\necho \"$#\" > '" + fifo + "'\n";
    ASSERT_TRUE(vd::os::SaveFileAtomically(programs + "/lumex", script));
    ASSERT_EQ(chmod((programs + "/lumex").c_str(), 0700), 0);
    reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
  }
  void TearDown() override {
    if (reader >= 0) close(reader);
  }
  // What the viewer wrote, once it ran; "" when it did not within a minute.
  std::string ViewerOutput() {
    pollfd p{reader, POLLIN, 0};
    if (poll(&p, 1, 60000) != 1) return "";
    char buffer[16] = {};
    const ssize_t n = read(reader, buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, size_t(n)) : "";
  }
  std::string StartFile() const {
    std::string bytes;
    return vd::os::ReadWholeFile(temp + "/lumex.dat", bytes) ? bytes : "<none>";
  }

  vd::test::TempDir dir;
  std::string temp, programs, fifo;
  int reader = -1;
};

TEST_F(LumexLaunchTest, StartsTheViewerWithoutArgumentsAfterWritingTheStartFile) {
  ElevationFake elevation(120);
  InstallViewer();
  // A link planted where the start file goes is replaced, and what it points to kept.
  const std::string victim = dir.File("victim");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "kept"));
  ASSERT_EQ(symlink(victim.c_str(), (temp + "/lumex.dat").c_str()), 0);
  const std::vector<CLatLon> route{{50, -4}, {50.5, -4.5}};
  const CLumexLaunchResult result = LaunchLumex("/charts/a.qct", route, temp, programs);
  EXPECT_TRUE(result.started) << result.message;
  EXPECT_EQ(ViewerOutput(), "0\n");
  EXPECT_EQ(StartFile(), Bytes("/charts/a.qct", "/maps/elevation.qed", {{50, -4}, {50.5, -4.5}}));
  std::string kept;
  EXPECT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "kept");
  struct stat st {};
  ASSERT_EQ(lstat((temp + "/lumex.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  // Of two points the second is the middle one.
  EXPECT_EQ(elevation.asked, (std::vector<std::pair<double, double>>{{50.5, -4.5}}));
}

TEST_F(LumexLaunchTest, FailuresWriteOrStartNothingAndSaySo) {
  const std::vector<CLatLon> point{{50, -4}};
  {
    SCOPED_TRACE("no elevation data loaded");
    const CLumexLaunchResult r = LaunchLumex("/charts/a.qct", point, temp, programs);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.message, kNoElevationMessage);
    EXPECT_EQ(StartFile(), "<none>");
  }
  {
    SCOPED_TRACE("no height at the middle point");
    ElevationFake elevation(kNoElevation);
    const CLumexLaunchResult r = LaunchLumex("/charts/a.qct", point, temp, programs);
    EXPECT_EQ(r.message, kNoElevationMessage);
    EXPECT_EQ(StartFile(), "<none>");
  }
  ElevationFake elevation(0);
  {
    SCOPED_TRACE("no points");
    const CLumexLaunchResult r = LaunchLumex("/charts/a.qct", {}, temp, programs);
    EXPECT_FALSE(r.started);
    EXPECT_TRUE(elevation.asked.empty());
  }
  {
    SCOPED_TRACE("start file not writable");
    const CLumexLaunchResult r = LaunchLumex("/charts/a.qct", point, dir.File("gone"), programs);
    EXPECT_FALSE(r.started);
    EXPECT_NE(r.message.find("start file"), std::string::npos) << r.message;
  }
  {
    SCOPED_TRACE("no viewer program");
    const CLumexLaunchResult r = LaunchLumex("/charts/a.qct", point, temp, programs);
    EXPECT_FALSE(r.started);
    EXPECT_NE(r.message.find("3D viewer"), std::string::npos) << r.message;
  }
}

}  // namespace
