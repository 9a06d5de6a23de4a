// The chart library: which files a folder scan finds, how a scan rebuilds the list of outlines
// and how imports find outlines already made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "charts/outline/old_chart_outline.h"
#include "charts/outline/tests/outline_test_support.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

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
  }
  ~ChartLibraryTest() override { vd::os::UnsetEnv("OSTREL_NOGUI"); }

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
  File("charts/three.kap");  // another format: skipped without a question
  auto* mark = doc.Add(new vd::test::TestMark);
  auto* stale = doc.Add(new COldChartOutline);
  stale->chart_path = "/nowhere/stale.qct";
  stale->name = "stale";

  Scan(true);
  EXPECT_EQ(doc.objects.front(), mark);
  EXPECT_EQ(OutlineNames(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(doc.refreshed, std::vector<std::string>{"/nowhere/stale.qct"});
  EXPECT_TRUE(boxes.texts.empty());
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

// Nothing here can convert a map again, so a rebuild deletes no conversion, whether or not
// its source is still there.
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
  // The conversion of charts/t.kap: the scan meets the source first (nothing to convert it
  // with, so skipped), then the conversion, which the source then finds.
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
  // A full load makes a chart without tiles again: the outline goes (and as nothing here can
  // convert the file, no new one comes).
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

}  // namespace
