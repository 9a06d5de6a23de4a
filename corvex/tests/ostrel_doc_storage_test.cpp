// The configuration document and the user-data file: fixtures written from the file layout
// load and save to the same bytes; damaged files come back from their backups; the stored
// user-data path is ignored; older user-data files are migrated or kept; a failed save asks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvex/ostrel_doc.h"
#include "corvex/tests/ostrel_doc_test_world.h"
#include "corvex/tests/vdn_fixture.h"
#include "overlays/overlay_file.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"

namespace {

using vd::test::ArchiveBytes;
using vd::test::DocWorld;
using vd::test::TestMark;
using vd::test::VdnFixture;
using vd::test::VdnOtherTag;
using vd::test::VdnOutline;

std::string FileBytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(vd::os::MakeFolders(GetFolderOfPath(path)));
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes));
}

// A user-data file of test marks with these names, written by the overlay file writer.
void WriteMarks(const std::string& path, const std::vector<std::string>& names) {
  ObjectList list;
  for (const std::string& name : names) {
    auto* mark = new TestMark;
    mark->name = name;
    mark->AddRef();
    list.push_back(mark);
  }
  ASSERT_TRUE(vd::os::MakeFolders(GetFolderOfPath(path)));
  ASSERT_TRUE(SaveObjectsToOverlayFile(path, list, false));
  for (COstrelObject* object : list) object->Release();
}

// The same, with records of the older schema 25 (no object id).
std::string OlderSchemaMarks(const std::vector<std::string>& names) {
  ArchiveBytes b;
  b.U16(static_cast<uint16_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i) {
    if (i == 0) {
      b.NewClass("CTestMark", 25);
    } else {
      b.U16(0x8001);
    }
    b.Str(names[i]).I32(1400000000).I32(1400000000).U8(0).U8(1).I32(0x3C000000);
    b.U16(0).I32(0).I32(0);
  }
  return b.data;
}

std::vector<std::string> Names(const ObjectList& list, bool outlines) {
  std::vector<std::string> names;
  for (const COstrelObject* object : list) {
    if (object->IsKindOf(COldChartOutline::kClass) == outlines) names.push_back(object->name);
  }
  return names;
}

std::vector<std::string> OutlinePaths(const ObjectList& list) {
  std::vector<std::string> paths;
  for (const COstrelObject* object : list) {
    if (object->IsKindOf(COldChartOutline::kClass)) {
      paths.push_back(static_cast<const COldChartOutline*>(object)->chart_path);
    }
  }
  return paths;
}

CViewPlacement View(const std::string& chart, double lat) {
  CViewPlacement p;
  p.chart_path = chart;
  p.lat = lat;
  p.lon = -5.25;
  p.scale = 0.0125;
  p.lock = 1;
  p.window = {44, 2, kShowMaximized, -1, -1, -8, -8, 10, 20, 610, 420};
  return p;
}

// Two outlines whose charts exist (one stored relative to the document's folder, one
// absolute elsewhere), the data folder's user-data path, flags 1 and 0, one view record.
struct SampleDocument {
  explicit SampleDocument(DocWorld& world) {
    path = world.DataFile("config.vdn");
    chart_a = world.DataFile("charts/a.qct");
    chart_b = world.root.File("other/b.qct");
    WriteFile(chart_a, "chart");
    WriteFile(chart_b, "chart");
    VdnOutline a;
    a.name = "Alpha";
    a.chart_path = "charts/a.qct";
    a.source_path = "/media/scan/a.tif";
    VdnOutline b;
    b.name = "Bravo";
    b.id = 0x0000000700000012;
    b.chart_path = chart_b;
    b.source_path = chart_b;
    b.scale = 0.002;
    b.version = 0x10000001;
    b.datum_shift = true;
    b.shift_lat = 0.0001;
    b.shift_lon = -0.0002;
    fixture.outlines = {a, b};
    fixture.user_data_path = COstrelDoc::StandardUserDataPath();
    fixture.show_alt_view_outline = 1;
    fixture.records = {View(chart_a, 50.5)};
  }

  std::string path, chart_a, chart_b;
  VdnFixture fixture;
};

TEST(OstrelDocStorage, DocumentLoadsAndSavesToTheSameBytes) {
  DocWorld world;
  SampleDocument sample(world);
  const std::string bytes = sample.fixture.Bytes();
  WriteFile(sample.path, bytes);

  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnOpenDocument(sample.path));
  EXPECT_EQ(doc.GetPathName(), sample.path);
  EXPECT_EQ(OutlinePaths(*doc.GetObjectList()),
            (std::vector<std::string>{sample.chart_a, sample.chart_b}));
  EXPECT_TRUE(doc.show_alt_view_outline());
  EXPECT_FALSE(doc.read_out_at_cursor());
  EXPECT_FALSE(doc.maximise_views());
  EXPECT_EQ(doc.user_data_path(), COstrelDoc::StandardUserDataPath());
  EXPECT_EQ(doc.pending_placement(), nullptr);
  ASSERT_EQ(world.host->views.size(), 1u);
  const CViewPlacement& shown = world.host->view(0)->placement;
  EXPECT_EQ(shown.chart_path, sample.chart_a);
  EXPECT_EQ(shown.lat, 50.5);
  EXPECT_EQ(shown.scale, 0.0125);
  EXPECT_EQ(shown.lock, 1);
  EXPECT_EQ(world.host->frames[0].show_cmd, kShowMaximized);
  EXPECT_EQ(world.host->frames[0].right, 610);

  ASSERT_TRUE(doc.OnSaveDocument(sample.path));
  EXPECT_EQ(FileBytes(sample.path), bytes);
  EXPECT_EQ(FileBytes(world.DataFile(COstrelDoc::kConfigBackupName)), bytes);
  EXPECT_EQ(world.Profile().GetString("settings", COstrelDoc::kConfigPathSetting), sample.path);
  EXPECT_TRUE(vd::os::FileExists(COstrelDoc::StandardUserDataPath()));
}

TEST(OstrelDocStorage, OlderDocumentWithThreeViewRecordsAndOtherTags) {
  DocWorld world;
  SampleDocument sample(world);
  VdnFixture older = sample.fixture;
  older.version = 7;
  VdnOutline gone;
  gone.name = "Gone";
  gone.chart_path = "charts/missing.qct";
  older.outlines.insert(older.outlines.begin() + 1, gone);
  CViewPlacement first = View(sample.chart_b, 49.5);
  first.window.show_cmd = kShowNormal;  // a stored window opens maximised all the same
  older.records = {VdnOtherTag{5}, first, VdnOtherTag{-1}, View(sample.chart_a, 50.1),
                   View(sample.chart_a, 50.2)};
  WriteFile(sample.path, older.Bytes());

  COstrelDoc& doc = world.Doc();
  doc.set_show_alt_view_outline(true);
  doc.set_read_out_at_cursor(true);
  ASSERT_TRUE(doc.OnOpenDocument(sample.path));
  // Without flag bytes the flags keep their values; the missing chart's outline is dropped.
  EXPECT_TRUE(doc.show_alt_view_outline());
  EXPECT_TRUE(doc.read_out_at_cursor());
  EXPECT_EQ(Names(*doc.GetObjectList(), true), (std::vector<std::string>{"Alpha", "Bravo"}));
  ASSERT_EQ(world.host->views.size(), 1u);
  EXPECT_EQ(world.host->view(0)->placement.chart_path, sample.chart_b);
  EXPECT_EQ(world.host->frames[0].show_cmd, kShowMaximized);

  ASSERT_TRUE(doc.OnSaveDocument(sample.path));
  VdnFixture expected = sample.fixture;
  expected.read_out_at_cursor = 1;
  CViewPlacement saved = View(sample.chart_b, 49.5);
  expected.records = {saved};
  EXPECT_EQ(FileBytes(sample.path), expected.Bytes());
}

TEST(OstrelDocStorage, DamagedDocumentComesBackFromItsBackup) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  DocWorld world;
  SampleDocument sample(world);
  const std::string good = sample.fixture.Bytes();
  VdnFixture newer = sample.fixture;
  newer.version = 9;
  VdnFixture oldest = sample.fixture;
  oldest.version = 6;
  const std::vector<Case> cases = {
      {"cut short", good.substr(0, good.size() - 3)},
      {"version 9", newer.Bytes()},
      {"version 6", oldest.Bytes()},
      {"no end tag", good.substr(0, good.size() - 4)},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(sample.path, c.bytes);
    WriteFile(world.DataFile(COstrelDoc::kConfigBackupName), good);
    world.responder.boxes.clear();
    COstrelDoc& doc = world.Doc();
    ASSERT_TRUE(doc.OnOpenDocument(sample.path));
    ASSERT_EQ(world.responder.boxes.size(), 1u);
    // It names the file, why it was refused and where the damaged one went.
    const std::string& text = world.responder.boxes[0].text;
    EXPECT_TRUE(text.starts_with("Restored file from backup...\n\n\"" + sample.path +
                                 "\" could not be read (")) << text;
    EXPECT_TRUE(text.ends_with("), so its backup took its place. The damaged file is kept as \"" +
                               sample.path + ".corrupt\".")) << text;
    EXPECT_EQ(world.responder.boxes[0].flags, vd::ui::kMbIconInformation);
    EXPECT_EQ(FileBytes(sample.path + ".corrupt"), c.bytes);
    EXPECT_EQ(FileBytes(sample.path), good);
    EXPECT_FALSE(vd::os::FileExists(world.DataFile(COstrelDoc::kConfigBackupName)));
    EXPECT_EQ(Names(*doc.GetObjectList(), true), (std::vector<std::string>{"Alpha", "Bravo"}));
    EXPECT_EQ(doc.GetPathName(), sample.path);
    world.Restart();
  }
}

TEST(OstrelDocStorage, DamagedDocumentWithoutBackupStartsNewWithTheUserData) {
  DocWorld world;
  SampleDocument sample(world);
  ASSERT_TRUE(world.Profile().SetString("settings", COstrelDoc::kConfigPathSetting, sample.path));
  WriteFile(sample.path, "not a document");
  WriteMarks(COstrelDoc::StandardUserDataPath(), {"Home"});

  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnOpenDocument(sample.path));
  // The user is told, and the damaged file goes aside before a save can write over it.
  ASSERT_EQ(world.responder.boxes.size(), 1u);
  EXPECT_TRUE(world.responder.boxes[0].text.starts_with("Could not read " + sample.path + "\n"));
  EXPECT_TRUE(world.responder.boxes[0].text.ends_with("It was kept as " + sample.path +
                                                      ".corrupt"));
  EXPECT_EQ(FileBytes(sample.path + ".corrupt"), "not a document");
  EXPECT_EQ(Names(*doc.GetObjectList(), true), std::vector<std::string>{});
  EXPECT_EQ(Names(*doc.GetObjectList(), false), std::vector<std::string>{"Home"});
  EXPECT_TRUE(doc.maximise_views());
  EXPECT_EQ(doc.GetPathName(), sample.path);
  EXPECT_TRUE(world.host->views.empty());

  // The next start finds a backup beside the new document.
  ASSERT_TRUE(doc.OnSaveDocument(sample.path));
  EXPECT_EQ(FileBytes(sample.path + ".corrupt"), "not a document");
  world.Restart();
  vd::os::RemoveFile(sample.path);
  vd::os::SaveFileAtomically(world.DataFile(COstrelDoc::kConfigBackupName), sample.fixture.Bytes());
  COstrelDoc& next = world.Doc();
  ASSERT_TRUE(next.OnOpenDocument(sample.path));
  EXPECT_EQ(Names(*next.GetObjectList(), true), (std::vector<std::string>{"Alpha", "Bravo"}));
  EXPECT_EQ(next.GetPathName(), sample.path);
  EXPECT_FALSE(next.maximise_views());
}

TEST(OstrelDocStorage, DamagedUserDataComesBackFromItsBackupOnly) {
  DocWorld world;
  SampleDocument sample(world);
  WriteFile(sample.path, sample.fixture.Bytes());
  const std::string user_data = COstrelDoc::StandardUserDataPath();
  WriteFile(user_data, "damaged");
  WriteMarks(world.DataFile("backup.vdo"), {"Saved"});

  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnOpenDocument(sample.path));
  EXPECT_TRUE(world.responder.Showed(
      "Restored file from backup...\n\n\"" + user_data +
      "\" could not be read, so its backup took its place. The damaged file is kept as \"" +
      user_data + ".corrupt\"."));
  EXPECT_EQ(Names(*doc.GetObjectList(), false), std::vector<std::string>{"Saved"});
  EXPECT_EQ(FileBytes(user_data + ".corrupt"), "damaged");

  // Another overlay file has no backup to come back from, even with one in its folder.
  const std::string other = world.root.File("elsewhere/trip.vdo");
  WriteFile(other, "damaged too");
  WriteMarks(world.root.File("elsewhere/backup.vdo"), {"Not this"});
  world.responder.boxes.clear();
  EXPECT_FALSE(doc.LoadUserData(other, false, true));
  ASSERT_EQ(world.responder.boxes.size(), 1u);
  EXPECT_TRUE(world.responder.boxes[0].text.starts_with("Could not read " + other + "\nIt is damaged"))
      << world.responder.boxes[0].text;
  EXPECT_EQ(FileBytes(other), "damaged too");
  EXPECT_FALSE(vd::os::FileExists(other + ".corrupt"));
  EXPECT_EQ(Names(*doc.GetObjectList(), false), std::vector<std::string>{"Saved"});
}

// Without a backup the damaged file must outlive the saves that follow: the first one would
// copy it to the backup and the second write over that.
TEST(OstrelDocStorage, DamagedUserDataWithoutBackupIsKeptAside) {
  DocWorld world;
  SampleDocument sample(world);
  WriteFile(sample.path, sample.fixture.Bytes());
  const std::string user_data = COstrelDoc::StandardUserDataPath();
  WriteFile(user_data, "damaged");

  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnOpenDocument(sample.path));
  EXPECT_TRUE(Names(*doc.GetObjectList(), false).empty());
  ASSERT_TRUE(doc.OnSaveDocument(sample.path));
  ASSERT_TRUE(doc.OnSaveDocument(sample.path));
  EXPECT_EQ(FileBytes(user_data + ".corrupt"), "damaged");
  // The user is told where it went.
  ASSERT_EQ(world.responder.boxes.size(), 1u);
  EXPECT_NE(world.responder.boxes[0].text.find(user_data + ".corrupt"), std::string::npos);
}

TEST(OstrelDocStorage, StoredUserDataPathIsNotUsed) {
  DocWorld world;
  SampleDocument sample(world);
  const std::string elsewhere = world.root.File("elsewhere/mine.vdo");
  WriteMarks(elsewhere, {"Elsewhere"});
  WriteMarks(COstrelDoc::StandardUserDataPath(), {"Home"});
  sample.fixture.user_data_path = elsewhere;
  WriteFile(sample.path, sample.fixture.Bytes());

  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnOpenDocument(sample.path));
  EXPECT_EQ(Names(*doc.GetObjectList(), false), std::vector<std::string>{"Home"});
  EXPECT_EQ(doc.user_data_path(), COstrelDoc::StandardUserDataPath());
}

TEST(OstrelDocStorage, OlderUserDataFilesAreMigratedOrKept) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::vector<std::string>>> files;  // name, marks
    std::vector<std::string> loaded;
    bool keepsake;
  };
  const std::vector<Case> cases = {
      {"older edition's file", {{"userdata-Vardune.vdo", {"One"}}}, {"One"}, false},
      {"oldest edition's file", {{"userdata-Vardune-OS-5.vdo", {"Five"}}}, {"Five"}, false},
      {"both: the older name wins",
       {{"userdata-Vardune-OS-5.vdo", {"Five"}}, {"userdata-Vardune.vdo", {"One"}}},
       {"One"},
       false},
      {"own file of an older schema", {{"userdata-Vardune-6.vdo", {"Mine"}}}, {"Mine"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DocWorld world;
    SampleDocument sample(world);
    WriteFile(sample.path, sample.fixture.Bytes());
    for (const auto& [name, marks] : c.files)
      WriteFile(world.DataFile(name), OlderSchemaMarks(marks));

    COstrelDoc& doc = world.Doc();
    ASSERT_TRUE(doc.OnOpenDocument(sample.path));
    EXPECT_EQ(Names(*doc.GetObjectList(), false), c.loaded);
    EXPECT_EQ(FileBytes(COstrelDoc::StandardUserDataPath()), OlderSchemaMarks(c.loaded));
    EXPECT_EQ(FileBytes(world.DataFile("userdata-Vardune-6_v25.vdo")),
              c.keepsake ? OlderSchemaMarks(c.loaded) : "");
  }
}

TEST(OstrelDocStorage, TransientObjectsAreNeverWritten) {
  DocWorld world;
  COstrelDoc& doc = world.Doc();
  ASSERT_TRUE(doc.OnNewDocument());
  for (const char* name : {"Kept", ":scratch", ""}) {
    CCurrentOwnerScope owner(&doc);
    auto* mark = new TestMark;
    mark->name = name;
    mark->AddRef();
    doc.GetObjectList()->push_back(mark);
  }
  std::string path;
  ASSERT_TRUE(doc.SaveUserData(path, false));
  EXPECT_EQ(path, COstrelDoc::StandardUserDataPath());
  ObjectList saved;
  ASSERT_TRUE(ReadOverlayFileObjects(path, saved));
  EXPECT_EQ(Names(saved, false), std::vector<std::string>{"Kept"});
  for (COstrelObject* object : saved) object->Release();
}

TEST(OstrelDocStorage, FailedSaveAsksWhetherToQuit) {
  struct Case {
    bool writable;
    int answer;
    bool result;
    bool asked;
  };
  for (const Case& c :
       {Case{true, vd::ui::kIdNo, true, false}, Case{false, vd::ui::kIdNo, false, true},
        Case{false, vd::ui::kIdYes, true, true}}) {
    SCOPED_TRACE(testing::Message() << c.writable << " " << c.answer);
    DocWorld world;
    const std::string path =
        c.writable ? world.DataFile("config.vdn") : world.root.File("no-such-folder/config.vdn");
    ASSERT_TRUE(world.Profile().SetString("settings", COstrelDoc::kConfigPathSetting, path));
    world.responder.answer = c.answer;
    COstrelDoc& doc = world.Doc();
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_EQ(doc.SaveModified(), c.result);
    EXPECT_EQ(world.responder.Showed("Quit anyway?"), c.asked);
    if (c.asked) {
      EXPECT_EQ(world.responder.boxes.back().flags, vd::ui::kMbYesNo | vd::ui::kMbIconWarning);
    }
    EXPECT_EQ(vd::os::FileExists(path), c.writable);
    // The user-data file is saved wherever the document goes.
    EXPECT_TRUE(vd::os::FileExists(COstrelDoc::StandardUserDataPath()));
  }
}

}  // namespace
