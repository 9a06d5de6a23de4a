// The chart library: which files a folder scan finds, how a scan rebuilds the list of outlines
// and how imports find outlines already made.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include <algorithm>

#include "charts/chart_conversion.h"
#include "charts/chart_reader_services.h"
#include "charts/converter_plugins.h"
#include "core/ui/message_boxes.h"
#include "overlays/outline/old_chart_outline.h"
#include "overlays/outline/tests/outline_test_support.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"
#include "tests/test_converter.h"

namespace {

using vd::test::BoxAnswers;
using vd::test::SmallChart;
using vd::test::WriteChartFixture;

class ChartLibraryTest : public ::testing::Test {
 protected:
  ChartLibraryTest() {
    vd::os::SetEnv("OSTREL_NOGUI", "1");
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.File("profile"));
    doc.log = &log;
    Folder("charts");
    Folder("converted");
    vd::OpenAppProfile().SetString(vd::kSettingsSection, "qct_dir", Path("converted"));
    // No converter plug-in is installed, unless a test loads the one built for tests.
    CConverterPlugins::SetLibraryLoader(std::make_unique<vd::test::TestConverterLoader>(true));
    vd::os::SetEnv("VD_TEST_CONVERTER_LOG", Path("converter.log"));
    // The plug-ins' own messages, as the program shows them.
    ChartReaderServices services;
    services.show_error = [](const std::string& text) {
      FormatMessageBox(vd::ui::kMbIconError, "%s", text.c_str());
    };
    SetChartReaderServices(services);
  }
  ~ChartLibraryTest() override {
    vd::os::UnsetEnv("OSTREL_NOGUI");
    vd::os::UnsetEnv("VD_TEST_CONVERTER_LOG");
    CConverterPlugins::SetLibraryLoader(nullptr);
    SetChartReaderServices({});
  }
  void InstallTestConverter() {
    CConverterPlugins::SetLibraryLoader(std::make_unique<vd::test::TestConverterLoader>());
  }
  // A foreign map file that the test plug-in turns into a copy of `chart`.
  void ForeignMap(const std::string& relative, const std::string& chart) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(Path(relative), "copy " + Path(chart) + "\n"));
  }
  std::vector<std::string> ConverterCalls() const {
    return vd::test::ConverterCalls(Path("converter.log"));
  }
  std::string Bytes(const std::string& relative) const {
    std::string bytes;
    vd::os::ReadWholeFile(Path(relative), bytes);
    return bytes;
  }
  std::vector<std::string> FolderNames(const std::string& relative) const {
    std::vector<vd::os::DirEntry> entries;
    vd::os::ListFolder(Path(relative), entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  COldChartOutline* Outline(const std::string& name) const {
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(COldChartOutline::kClass) && object->name == name) {
        return static_cast<COldChartOutline*>(object);
      }
    }
    return nullptr;
  }

  std::string Path(const std::string& relative) const { return dir.File(relative); }
  void Folder(const std::string& relative) { ASSERT_TRUE(vd::os::MakeFolders(Path(relative))); }
  void File(const std::string& relative) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(Path(relative), "data"));
  }
  // A chart named after its file, optionally converted from `source`.
  void Chart(const std::string& relative, const std::string& source = "") {
    vd::test::ChartFixture chart = SmallChart(GetPathTitle(relative));
    if (!source.empty()) chart.texts.push_back({kQctOriginalName, source});
    ASSERT_TRUE(WriteChartFixture(Path(relative), chart));
  }

  // The names of the outlines in the list, in list order.
  std::vector<std::string> OutlineNames() const {
    std::vector<std::string> names;
    for (COstrelObject* object : doc.objects) {
      if (object->IsKindOf(COldChartOutline::kClass)) names.push_back(object->name);
    }
    return names;
  }

  void Scan(bool rebuild = false) {
    RefreshChartList(doc.objects, {Path("charts")}, false, rebuild);
  }

  vd::test::TempDir dir;
  BoxAnswers boxes{vd::ui::kIdYes};
  vd::ui::ScopedResponder responder{&boxes};
  std::vector<vd::test::ChangeRecord> log;
  vd::test::OutlineDoc doc;
  CCurrentOwnerScope owner{&doc};
};

TEST_F(ChartLibraryTest, FolderScanFollowsTheFolderRules) {
  for (const char* folder : {"charts/sub/deep", "charts/sub/maps.qcc", "charts/charthdr",
                             "charts/CHARTHDR", "charts/ma1234s", "charts/ma12s",
                             "charts/Ma1234s", "charts/My Cache/Terrain Pro/CHARTHDR"}) {
    Folder(folder);
  }
  for (const char* file :
       {"charts/a.qct", "charts/b.QCT", "charts/notes.txt", "charts/m.Kap", "charts/sub/deep/c.qct",
        "charts/sub/d.250", "charts/sub/maps.qcc/e.qct", "charts/charthdr/f.qct",
        "charts/CHARTHDR/g.hdr", "charts/CHARTHDR/h.qct", "charts/ma1234s/i.qct",
        "charts/ma12s/j.qct", "charts/Ma1234s/k.qct", "charts/My Cache/Terrain Pro/t.qct",
        "charts/My Cache/Terrain Pro/t.kap", "charts/My Cache/Terrain Pro/t.png",
        "charts/My Cache/Terrain Pro/CHARTHDR/x.hdr"}) {
    File(file);
  }
  // A link back to the top: its folders are searched once.
  ASSERT_EQ(::symlink(Path("charts").c_str(), Path("charts/sub/loop").c_str()), 0);

  std::set<std::string> want;
  for (const char* file :
       {"charts/a.qct", "charts/b.QCT", "charts/m.Kap", "charts/sub/deep/c.qct",
        "charts/sub/d.250", "charts/CHARTHDR/g.hdr", "charts/CHARTHDR/h.qct",
        "charts/ma12s/j.qct", "charts/Ma1234s/k.qct", "charts/My Cache/Terrain Pro/t.qct",
        "charts/My Cache/Terrain Pro/t.png"}) {
    want.insert(Path(file));
  }
  EXPECT_EQ(ListChartFiles({Path("charts") + "//"}, true), want);

  const std::set<std::string> top = {Path("charts/a.qct"), Path("charts/b.QCT"),
                                     Path("charts/m.Kap"), Path("charts/CHARTHDR/g.hdr")};
  EXPECT_EQ(ListChartFiles({Path("charts")}, false), top);
}

TEST_F(ChartLibraryTest, ScanReplacesOutlinesAndKeepsOtherObjects) {
  Folder("charts/sub");
  Chart("charts/one.qct");
  Chart("charts/sub/two.qct");
  File("charts/three.kap");  // another format, and no converter for it
  auto* mark = doc.Add(new vd::test::TestMark);
  auto* stale = doc.Add(new COldChartOutline);
  stale->chart_path = "/nowhere/stale.qct";
  stale->name = "stale";

  Scan(true);
  EXPECT_EQ(doc.objects.front(), mark);
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(doc.refreshed, std::vector<std::string>{"/nowhere/stale.qct"});
  EXPECT_EQ(boxes.texts, (std::vector<std::string>{
                             "Failed to load libvd_kap_converter.so\n\nError: 0x2",
                             "Do you want to continue loading maps?"}));
  const int added = static_cast<int>(std::count_if(
      log.begin(), log.end(), [](const auto& r) { return r.code == kChangeAdded; }));
  EXPECT_EQ(added, 2);

  // Without the search of sub-folders.
  vd::OpenAppProfile().SetInt(vd::kSettingsSection, "search_subdirs", 0);
  Scan();
  EXPECT_EQ(OutlineNames(), std::vector<std::string>{"one"});
}

TEST_F(ChartLibraryTest, FailedFileAsksWhetherToGoOn) {
  Chart("charts/a.qct");
  File("charts/b.qct");
  Chart("charts/c.qct");
  const std::string refused = "Not a QuickChart file: \"" + Path("charts/b.qct") + "\"";
  for (int answer : {vd::ui::kIdNo, vd::ui::kIdYes}) {
    boxes.answer = answer;
    boxes.texts.clear();
    Scan();
    EXPECT_EQ(boxes.texts,
              (std::vector<std::string>{refused, "Do you want to continue loading maps?"}));
    const std::vector<std::string> want =
        answer == vd::ui::kIdYes ? std::vector<std::string>{"a", "c"}
                                 : std::vector<std::string>{"a"};
    EXPECT_EQ(OutlineNames(), want);
  }
}

TEST_F(ChartLibraryTest, NoFilesIsReported) {
  Scan();
  EXPECT_EQ(boxes.texts, std::vector<std::string>{
                             "No chart or map files found\nUse the \"Add\" button to add a "
                             "folder to be searched"});
}

// A rebuild deletes only the conversions whose source the scan meets (to make them again):
// the others could not be made again.
TEST_F(ChartLibraryTest, RebuildKeepsConversionsNothingCanMakeAgain) {
  Folder("sources");
  File("sources/src.kap");
  Chart("converted/conv.qct", Path("sources/src.kap"));      // its source is there
  Chart("converted/orphan.qct", Path("sources/gone.kap"));   // its source has gone
  Chart("converted/merged.qct");                             // made here, from nothing else
  Chart("converted/self.qct", Path("converted/self.qct"));   // names itself

  Scan(false);
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"conv", "merged", "orphan", "self"}));

  Scan(true);
  EXPECT_TRUE(vd::os::FileExists(Path("converted/conv.qct")));
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"conv", "merged", "orphan", "self"}));
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(ChartLibraryTest, ConvertedChartStandsForItsSource) {
  // The conversion of charts/t.kap: the scan meets the source first and takes its conversion
  // as it is (no converter is even asked), then the conversion, which is listed already.
  File("charts/t.kap");
  Chart("converted/t.qct", Path("charts/t.kap"));
  Scan();
  EXPECT_EQ(OutlineNames(), std::vector<std::string>{"t"});
  EXPECT_EQ(ImportChartFile(doc.objects, Path("charts/t.kap"), false),
            static_cast<COldChartOutline*>(doc.objects.front()));
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(ChartLibraryTest, SameTitleFromAnotherSourceLooksForTheNextName) {
  auto outline = [&](const std::string& chart, const std::string& source, bool no_tiles) {
    auto* o = doc.Add(new COldChartOutline);
    o->chart_path = Path(chart);
    o->source_path = source;
    o->no_tiles = no_tiles;
    return o;
  };
  COldChartOutline* first = outline("converted/t.qct", "/a/t.kap", false);
  COldChartOutline* second = outline("converted/tx.qct", "/b/t.kap", true);
  COldChartOutline* third = outline("converted/txx.qct", "/c/t.kap", false);
  EXPECT_EQ(ImportChartFile(doc.objects, "/a/t.kap", false), first);
  EXPECT_EQ(ImportChartFile(doc.objects, "/c/t.kap", true), third);
  EXPECT_EQ(AddChartToList(doc.objects, "/b/t.kap"), second);
  // A full load makes a chart without tiles again: the outline goes (and as no converter is
  // installed, no new one comes).
  EXPECT_EQ(ImportChartFile(doc.objects, "/b/t.kap", true), nullptr);
  EXPECT_EQ(doc.objects.size(), 2u);
  EXPECT_EQ(std::find(doc.objects.begin(), doc.objects.end(), second), doc.objects.end());
}

TEST_F(ChartLibraryTest, AddChartToListAppendsAReadableChart) {
  Chart("charts/new.qct");
  COldChartOutline* added = AddChartToList(doc.objects, Path("charts/new.qct"));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(doc.objects.back(), added);
  EXPECT_EQ(added->ref_count(), 1);
  EXPECT_EQ(added->chart_path, Path("charts/new.qct"));
  EXPECT_EQ(AddChartToList(doc.objects, Path("charts/missing.qct")), nullptr);
  EXPECT_EQ(doc.objects.size(), 1u);
}

TEST_F(ChartLibraryTest, PluginConvertsForeignMapsOnceIntoTheConvertedFolder) {
  InstallTestConverter();
  vd::OpenAppProfile().SetString(vd::kSettingsSection, "default_projdat", "/data/proj");
  Folder("made");
  Chart("made/harbour.qct");
  ForeignMap("charts/harbour.kap", "made/harbour.qct");
  Chart("charts/plain.qct");
  ASSERT_TRUE(DeleteDirectoryTree(Path("converted")));  // made again by the import

  Scan();
  EXPECT_TRUE(boxes.texts.empty()) << testing::PrintToString(boxes.texts);
  ASSERT_EQ(OutlineNames(), (std::vector<std::string>{"harbour", "plain"}));
  COldChartOutline* converted = Outline("harbour");
  EXPECT_EQ(converted->chart_path, Path("converted/harbour.qct"));
  EXPECT_EQ(converted->source_path, Path("charts/harbour.kap"));
  // The chart the plug-in made, which now names what it was made from.
  EXPECT_EQ(ChartConvertedFrom(Path("converted/harbour.qct")), Path("charts/harbour.kap"));
  EXPECT_GE(Bytes("converted/harbour.qct").size(), Bytes("made/harbour.qct").size());
  EXPECT_EQ(FolderNames("converted"), std::vector<std::string>{"harbour.qct"});
  std::vector<std::string> calls = ConverterCalls();
  ASSERT_EQ(calls.size(), 1u);
  // Interactive on a refresh; the projection data folder of the settings.
  EXPECT_TRUE(calls[0].starts_with(Path("charts/harbour.kap") + "|" + Path("converted/~harbour.qct") +
                                   "|1|/data/proj|"))
      << calls[0];

  // The next scans take the conversion as it is.
  Scan();
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"harbour", "plain"}));
  EXPECT_EQ(ConverterCalls().size(), 1u);

  // A rebuild makes it again; a first load converts without the plug-in's dialogs.
  Scan(true);
  EXPECT_EQ(ConverterCalls().size(), 2u);
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"harbour", "plain"}));
  ASSERT_TRUE(vd::os::RemoveFile(Path("converted/harbour.qct")));
  RefreshChartList(doc.objects, {Path("charts")}, true, false);
  calls = ConverterCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NE(calls[2].find("|0|/data/proj|"), std::string::npos) << calls[2];
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"harbour", "plain"}));
}

// A plug-in that fails, or one that can't be loaded: the user is told (the load failure once),
// asked whether to go on, and no file is lost or left half-made.
TEST_F(ChartLibraryTest, FailingConverterLosesNothing) {
  InstallTestConverter();
  Chart("charts/good.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(Path("charts/broken.kap"), "fail\n"));
  // An older conversion of another file of the same title stays as it was.
  Chart("converted/broken.qct", "/elsewhere/broken.kap");
  const std::string older = Bytes("converted/broken.qct");

  Scan();
  // The converter said nothing itself: the question names the file and its error.
  EXPECT_EQ(boxes.texts, std::vector<std::string>{
                             "Failed to load " + Path("charts/broken.kap") +
                             ": the converter libvd_kap_converter.so could not convert it (error "
                             "7).\n\nDo you want to continue loading maps?"});
  EXPECT_EQ(ConverterCalls().size(), 1u);
  EXPECT_EQ(Bytes("charts/broken.kap"), "fail\n");
  EXPECT_EQ(Bytes("converted/broken.qct"), older);
  EXPECT_EQ(FolderNames("converted"), std::vector<std::string>{"broken.qct"});
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"good", "broken"}));

  // No plug-ins at all: each one's load error shows once however many of its files there are.
  CConverterPlugins::SetLibraryLoader(std::make_unique<vd::test::TestConverterLoader>(true));
  File("charts/other.tif");
  File("charts/more.tif");
  boxes.texts.clear();
  Scan();
  EXPECT_EQ(boxes.texts, (std::vector<std::string>{
                             "Failed to load libvd_kap_converter.so\n\nError: 0x2",
                             "Do you want to continue loading maps?",  // broken.kap
                             "Failed to load libvd_tiff_converter.so\n\nError: 0x2",
                             "Do you want to continue loading maps?",  // more.tif
                             "Do you want to continue loading maps?"}));  // other.tif
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"good", "broken"}));
}

// A plug-in that crashes on a file costs that file only: its conversion runs in a process of
// its own, the user is told which file it was, and the scan goes on to convert the next files
// with the same plug-in. Nothing half-made is left and the source stays as it was.
TEST_F(ChartLibraryTest, CrashingConverterCostsOnlyItsFile) {
  InstallTestConverter();
  Folder("made");
  Chart("made/harbour.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(Path("charts/a_wreck.kap"), "crash\n"));
  ForeignMap("charts/b_harbour.kap", "made/harbour.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(Path("charts/c_wreck.tif"), "crash\n"));
  Chart("charts/d_plain.qct");

  Scan();
  const auto crashed = [&](const std::string& file, const char* library) {
    return "Failed to convert " + Path(file) + "\n\nThe converter " + library +
           " stopped before finishing: it crashed (signal 11, " + strsignal(SIGSEGV) + ")";
  };
  EXPECT_EQ(boxes.texts, (std::vector<std::string>{
                             crashed("charts/a_wreck.kap", "libvd_kap_converter.so"),
                             "Do you want to continue loading maps?",
                             crashed("charts/c_wreck.tif", "libvd_tiff_converter.so"),
                             "Do you want to continue loading maps?"}));
  EXPECT_EQ(ConverterCalls().size(), 3u);
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"harbour", "d_plain"}));
  EXPECT_EQ(FolderNames("converted"), std::vector<std::string>{"b_harbour.qct"});
  EXPECT_EQ(Bytes("charts/a_wreck.kap"), "crash\n");
  EXPECT_EQ(Bytes("charts/c_wreck.tif"), "crash\n");
}

// Charts on a removable disc: a first load copies them in with their companions; a refresh
// makes a reference chart that brings the original in when opened.
TEST_F(ChartLibraryTest, DiscChartsAreCopiedInOrStoodForByAReference) {
  Folder("disc");
  Chart("disc/coast.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(Path("disc/coast.qed"), "heights"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(Path("disc/coast.vdq"), "places"));
  const std::string disc = Path("disc/");
  const RemovableDiscTest previous = SetRemovableDiscTest(
      [disc](const std::string& path) { return path.starts_with(disc); });
  ASSERT_TRUE(DeleteDirectoryTree(Path("converted")));  // made again by the import

  RefreshChartList(doc.objects, {Path("disc")}, true, false);
  EXPECT_TRUE(boxes.texts.empty()) << testing::PrintToString(boxes.texts);
  ASSERT_EQ(OutlineNames(), std::vector<std::string>{"coast"});
  EXPECT_EQ(Outline("coast")->chart_path, Path("converted/coast.qct"));
  EXPECT_FALSE(Outline("coast")->no_tiles);
  EXPECT_EQ(Bytes("converted/coast.qct"), Bytes("disc/coast.qct"));
  EXPECT_EQ(Bytes("converted/coast.qed"), "heights");
  EXPECT_EQ(Bytes("converted/coast.vdq"), "places");

  ASSERT_TRUE(DeleteDirectoryTree(Path("converted")));
  Scan();  // charts/ is empty; only the import below matters
  boxes.texts.clear();
  COldChartOutline* reference = AddChartToList(doc.objects, Path("disc/coast.qct"));
  ASSERT_NE(reference, nullptr);
  EXPECT_TRUE(reference->no_tiles);
  EXPECT_EQ(reference->chart_path, Path("converted/coast.qct"));
  EXPECT_EQ(reference->source_path, Path("disc/coast.qct"));
  EXPECT_LT(Bytes("converted/coast.qct").size(), Bytes("disc/coast.qct").size());
  SetRemovableDiscTest(previous);
}

// The copy from the disc fails half way (a file size limit stands in for a full disk): the
// user decides whether a reference chart takes its place; no half copy is left either way.
TEST_F(ChartLibraryTest, FailedDiscCopyAsksAndLeavesNoHalfCopy) {
  Folder("disc");
  vd::test::ChartFixture big = SmallChart("big");
  big.width = 16;
  big.height = 16;
  ASSERT_TRUE(WriteChartFixture(Path("disc/big.qct"), big));
  ASSERT_GT(Bytes("disc/big.qct").size(), 60000u);
  const std::string source = Bytes("disc/big.qct");
  const std::string disc = Path("disc/");
  const RemovableDiscTest previous = SetRemovableDiscTest(
      [disc](const std::string& path) { return path.starts_with(disc); });

  for (int answer : {vd::ui::kIdNo, vd::ui::kIdYes}) {
    boxes.answer = answer;
    boxes.texts.clear();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto signal_before = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 40000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    RefreshChartList(doc.objects, {Path("disc")}, true, false);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, signal_before);

    EXPECT_EQ(Bytes("disc/big.qct"), source);
    if (answer == vd::ui::kIdNo) {
      EXPECT_EQ(boxes.texts, (std::vector<std::string>{
                                 "Copy failed: do you want to continue loading maps?",
                                 "Do you want to continue loading maps?"}));
      EXPECT_EQ(FolderNames("converted"), std::vector<std::string>{});
      EXPECT_TRUE(OutlineNames().empty());
    } else {
      EXPECT_EQ(boxes.texts,
                std::vector<std::string>{"Copy failed: do you want to continue loading maps?"});
      EXPECT_EQ(FolderNames("converted"), std::vector<std::string>{"big.qct"});
      ASSERT_EQ(OutlineNames(), std::vector<std::string>{"big*"});
      EXPECT_TRUE(Outline("big*")->no_tiles);
    }
  }
  SetRemovableDiscTest(previous);
}

}  // namespace
