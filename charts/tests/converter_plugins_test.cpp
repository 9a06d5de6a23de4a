#include "charts/converter_plugins.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "charts/chart_reader_services.h"
#include "charts/qct_file_view.h"
#include "core/persistent_value.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

// What the fake libraries saw, and the chart they write.
std::string chart_template;
std::vector<std::string> conversions;
std::vector<std::string> projdat_seen;
ConverterWindow last_parent = 0;

int FakeConvert(const char* source, const char* target, int, int) {
  conversions.push_back(source);
  projdat_seen.push_back(vd::os::GetEnv("VDPROJDAT").value_or("<unset>"));
  std::string bytes;
  return vd::os::ReadWholeFile(chart_template, bytes) && vd::os::SaveFileAtomically(target, bytes)
             ? 0
             : 3;
}
void FakeSetParent(ConverterWindow parent) { last_parent = parent; }

class FakeLibrary : public ConverterLibrary {
 public:
  explicit FakeLibrary(bool has_entry) : has_entry_(has_entry) {}
  void* Symbol(const std::string& name) override {
    if (name == CConverterPlugins::kConvertEntry && has_entry_) {
      return reinterpret_cast<void*>(&FakeConvert);
    }
    if (name == CConverterPlugins::kSetParentEntry) return reinterpret_cast<void*>(&FakeSetParent);
    return nullptr;
  }

 private:
  bool has_entry_;
};

// Libraries named in `missing` fail to load; those in `no_entry` lack the conversion entry.
class FakeLoader : public ConverterLibraryLoader {
 public:
  FakeLoader(std::map<std::string, int>& loads, std::set<std::string> missing,
             std::set<std::string> no_entry)
      : loads_(loads), missing_(std::move(missing)), no_entry_(std::move(no_entry)) {}
  std::unique_ptr<ConverterLibrary> Load(const std::string& name, int& error) override {
    ++loads_[name];
    if (missing_.count(name)) {
      error = 2;
      return nullptr;
    }
    return std::make_unique<FakeLibrary>(!no_entry_.count(name));
  }

 private:
  std::map<std::string, int>& loads_;
  std::set<std::string> missing_, no_entry_;
};

class ConverterPluginsTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation("Software\\Test\\Converters", dir.path());
    chart_template = dir.File("template.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(chart_template, vd::test::ChartFixture{}));
    conversions.clear();
    projdat_seen.clear();
    ChartReaderServices services;
    services.show_error = [this](const std::string& text) { errors.push_back(text); };
    SetChartReaderServices(services);
  }
  void TearDown() override {
    CConverterPlugins::SetLibraryLoader(nullptr);
    SetChartReaderServices({});
    vd::SetProfileLocation(vd::kDefaultProfileKey);
  }
  void UseLoader(std::set<std::string> missing, std::set<std::string> no_entry = {}) {
    CConverterPlugins::SetLibraryLoader(
        std::make_unique<FakeLoader>(loads, std::move(missing), std::move(no_entry)));
  }

  vd::test::TempDir dir;
  std::map<std::string, int> loads;
  std::vector<std::string> errors;
};

TEST(ConverterSlots, ChosenByTheEndingWithoutRegardToCase) {
  const struct {
    const char* path;
    ConverterSlot slot;
  } cases[] = {{"a.tif", ConverterSlot::kTiff}, {"A.TIF", ConverterSlot::kTiff},
               {"b.nos", ConverterSlot::kNos},  {"c.Png", ConverterSlot::kJpr},
               {"d.jgw", ConverterSlot::kJpeg}, {"e.jpg", ConverterSlot::kKap},
               {"f.kap", ConverterSlot::kKap}};
  for (const auto& c : cases) EXPECT_EQ(c.slot, CConverterPlugins::SlotFor(c.path)) << c.path;
}

TEST_F(ConverterPluginsTest, LoadsOnceSetsTheParentAndTheProjectionFolder) {
  UseLoader({});
  vd::OpenAppProfile().SetString(vd::kSettingsSection, "default_projdat", "/data/proj one");
  CConverterPlugins plugins;
  EXPECT_EQ(0, plugins.SetParentWindow(77).Convert(dir.File("x.tif"), dir.File("x.qct"), 1, 0));
  vd::OpenAppProfile().SetString(vd::kSettingsSection, "default_projdat", "/data/proj two");
  EXPECT_EQ(0, CConverterPlugins().Convert(dir.File("y.TIF"), dir.File("y.qct"), 0, 0));
  EXPECT_EQ(1, loads["libvd_tiff_converter.so"]);
  EXPECT_EQ((std::vector<std::string>{"/data/proj one", "/data/proj two"}), projdat_seen);
  EXPECT_EQ(0u, last_parent);  // the second loader had no parent window
  EXPECT_TRUE(vd::os::FileExists(dir.File("y.qct")));
  EXPECT_TRUE(errors.empty());

  // A chart file is copied without a plug-in.
  EXPECT_EQ(0, plugins.Convert(chart_template, dir.File("copy.qct"), 0, 0));
  EXPECT_EQ(-1, plugins.Convert(dir.File("absent.qct"), dir.File("copy2.qct"), 0, 0));
  EXPECT_EQ(2u, conversions.size());
}

TEST_F(ConverterPluginsTest, MissingLibraryFailsLoudlyOnceThenSilently) {
  UseLoader({"libvd_kap_converter.so"}, {"libvd_jpr_converter.so"});
  CConverterPlugins plugins;
  EXPECT_EQ(-1, plugins.Convert(dir.File("a.kap"), dir.File("a.qct"), 0, 0));
  EXPECT_EQ(-1, plugins.Convert(dir.File("b.kap"), dir.File("b.qct"), 0, 0));
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("Failed to load libvd_kap_converter.so\n\nError: 0x2", errors[0]);
  EXPECT_EQ(1, loads["libvd_kap_converter.so"]);
  // A library without the entry: -1; the calibrated-image converter says so.
  EXPECT_EQ(-1, plugins.Convert(dir.File("c.png"), dir.File("c.qct"), 0, 0));
  EXPECT_EQ(2u, errors.size());
  EXPECT_TRUE(conversions.empty());
}

TEST_F(ConverterPluginsTest, CalibrationBesideTheSourceIsApplied) {
  UseLoader({});
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("scan.jgw.jpr"), "dm=Tokyo\n"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("scan.jpr"), "dm=Tokyo\n"));
  ASSERT_EQ(0, CConverterPlugins().Convert(dir.File("scan.jgw"), dir.File("scan.qct"), 0, 0));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("scan.qct"), bytes));
  const QctFileView view({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  QuickChartHeader header;
  ASSERT_TRUE(view.ReadHeader(header));
  EXPECT_EQ("Tokyo", view.HeaderText(header, kQctDatum));
}

}  // namespace
