#include "corvex/printer_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

PrinterBlocks Blocks(const std::string& name, const std::string& names) {
  PrinterBlocks blocks;
  blocks.device.assign(name.begin(), name.end());
  blocks.device.push_back(0);
  blocks.device.push_back(7);  // more set-up after the name
  blocks.names.assign(names.begin(), names.end());
  return blocks;
}

class FakeHost : public CPrinterHost {
 public:
  PrinterBlocks GetPrinterDeviceDefaults() override { return current; }
  void SelectPrinter(const PrinterBlocks& printer) override { current = printer; }
  PrinterBlocks current = Blocks("Default printer", "names");
};

std::string SettingsFile(const vd::test::TempDir& dir) {
  return dir.File("printer settings/printersettings");
}

TEST(PrinterSettings, TheChosenPrinterSurvivesARestart) {
  vd::test::TempDir dir;
  FakeHost host;
  {
    CPrinterSettings settings(host, dir.path());
    EXPECT_NE(0, settings.Load(CPrinterSettings::kFileName)) << "no file yet";
    EXPECT_EQ("Default printer", settings.GetPrinterName());
    // The user picks another printer; it is copied at shutdown and saved.
    host.current = Blocks("Office laser", "office");
    settings.CopyDefaults();
    ASSERT_EQ(0, settings.Save(CPrinterSettings::kFileName));
  }
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(SettingsFile(dir), bytes));
  const std::string expected = std::string("\x0E\0\0\0Office laser\0\x07\x06\0\0\0office", 28);
  EXPECT_EQ(expected, bytes);

  host.current = Blocks("Default printer", "names");
  {
    CPrinterSettings settings(host, dir.path());
    ASSERT_EQ(0, settings.Load(CPrinterSettings::kFileName));
    EXPECT_EQ("Office laser", settings.GetPrinterName());
    settings.Apply();
    EXPECT_EQ(Blocks("Office laser", "office").device, host.current.device);
  }
  EXPECT_EQ(Blocks("Default printer", "names").device, host.current.device)
      << "the program's own printer is back after the settings go";
}

TEST(PrinterSettings, AMalformedFileFallsBackToTheCurrentPrinter) {
  const std::vector<std::string> files = {
      std::string("\x10\0\0\0short", 9),                       // block longer than the file
      std::string("\x02\0\0\0ab", 6),                          // names block missing
      std::string("\0\0\0\0\x02\0\0\0ab", 10),                 // empty device block
      std::string("\xFF\xFF\xFF\x7F", 4),                      // absurd size
  };
  for (const std::string& content : files) {
    vd::test::TempDir dir;
    FakeHost host;
    ASSERT_TRUE(vd::os::MakeFolders(dir.File("printer settings")));
    ASSERT_TRUE(vd::os::SaveFileAtomically(SettingsFile(dir), content));
    CPrinterSettings settings(host, dir.path());
    EXPECT_EQ(-1, settings.Load(CPrinterSettings::kFileName));
    EXPECT_EQ("Default printer", settings.GetPrinterName());
  }
  FakeHost none;
  none.current = {};
  vd::test::TempDir dir;
  CPrinterSettings settings(none, dir.path());
  settings.Load(CPrinterSettings::kFileName);
  EXPECT_EQ(CPrinterSettings::kNoPrinter, settings.GetPrinterName());
  EXPECT_EQ(0, settings.Save(CPrinterSettings::kFileName));
  EXPECT_FALSE(vd::os::FileExists(SettingsFile(dir))) << "nothing to save";
}

}  // namespace
