// What the user sees when fetching or making a chart fails in the running program: the
// program's own message box, over its main window, says which file and why, and the user's
// chart stays as it was, with no working file left beside it. The boxes are the toolkit's own,
// answered as a user would once they show.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "charts/chart_conversion.h"
#include "charts/converter_plugins.h"
#include "charts/tests/package_fixture.h"
#include "corvex/startup_files.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "tests/chart_fixture.h"
#include "tests/http_test_server.h"
#include "tests/message_box_watcher.h"
#include "tests/test_converter.h"

namespace {

using vd::test::CorvexHome;
using vd::test::MessageBoxWatcher;
using vd::test::Program;

std::string FileBytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

// The names in a folder ending in ".TMP" or starting with "~" (working files).
std::vector<std::string> WorkingFiles(const std::string& folder) {
  std::vector<vd::os::DirEntry> entries;
  vd::os::ListFolder(folder, entries);
  std::vector<std::string> found;
  for (const auto& entry : entries) {
    const std::string& name = entry.name;
    if (name.starts_with("~") || (name.size() > 4 && name.ends_with(".TMP"))) {
      found.push_back(name);
    }
  }
  return found;
}

// A package whose chart the server does not have: the download stops, the box over the main
// window names the package and the missing file, and the user's chart of the same name opens
// unchanged.
TEST(DownloadFailuresInTheProgram, PackageWhoseChartFailsSaysWhyAndKeepsTheChart) {
  CorvexHome home;
  vd::test::HttpTestServer server;  // serves nothing: every file is "404 Not Found"
  ASSERT_TRUE(vd::os::MakeFolders(home.File("charts")));
  const std::string chart = home.File("charts/Harbour.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(chart, vd::test::ChartFixture()));
  const std::string old_bytes = FileBytes(chart);
  const std::string package = home.File("charts/Harbour.vdpkg");
  ASSERT_TRUE(vd::test::WritePackage(package, "127.0.0.1:" + std::to_string(server.port()),
                                     "/pkg", "Harbour charts",
                                     {{"Harbour.qct", vd::test::PackageBytes(1500000, 3)}}));

  MessageBoxWatcher boxes;
  {
    Program program({"--no-splash", package});  // the user opens the package
    ASSERT_TRUE(program.started());
    ASSERT_EQ(boxes.seen.size(), 1u);
    const MessageBoxWatcher::Seen& box = boxes.seen[0];
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.owner, &program.frame());
    EXPECT_NE(box.text.find("The map package \"Harbour charts\" was not downloaded completely"),
              std::string::npos)
        << box.text;
    EXPECT_NE(box.text.find("the server did not send /pkg/Harbour.qct"), std::string::npos)
        << box.text;
    EXPECT_TRUE(program.Quit());
  }
  vd::os::HttpCloseIdleConnections();
  EXPECT_TRUE(FileBytes(chart) == old_bytes) << "the user's chart changed";
  EXPECT_EQ(WorkingFiles(home.File("charts")), std::vector<std::string>{});
}

// A foreign map the converter can't convert, met by the scan at start-up: the question over
// the main window names the file and the converter's error, and no half-made chart is left.
TEST(DownloadFailuresInTheProgram, ConverterThatFailsIsNamedWithTheFileAndLeavesNoChart) {
  CorvexHome home;
  CConverterPlugins::SetLibraryLoader(std::make_unique<vd::test::TestConverterLoader>());
  ASSERT_TRUE(vd::os::MakeFolders(home.File("maps")));
  const std::string source = home.File("maps/broken.kap");
  ASSERT_TRUE(vd::os::SaveFileAtomically(source, "fail"));
  { Program setup; }
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  SaveChartDirs(profile, {home.File("maps")});
  profile.SetInt("chart_dirs", "update", 1);

  MessageBoxWatcher boxes;
  boxes.Answer("Do you want to continue loading maps?", QMessageBox::Yes);
  {
    Program program;
    ASSERT_TRUE(program.started());
    const auto asked = boxes.WithText("Do you want to continue loading maps?");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Failed to load " + source +
                                 ": the converter libvd_kap_converter.so could not convert it "
                                 "(error 7).\n\nDo you want to continue loading maps?");
    EXPECT_EQ(asked[0].owner, &program.frame());
    EXPECT_TRUE(program.Quit());
  }
  EXPECT_EQ(FileBytes(source), "fail");
  EXPECT_EQ(WorkingFiles(ConvertedChartFolder()), std::vector<std::string>{});
  EXPECT_FALSE(vd::os::FileExists(ConvertedChartFolder() + "/broken.qct"));
  CConverterPlugins::SetLibraryLoader(nullptr);
}

}  // namespace
