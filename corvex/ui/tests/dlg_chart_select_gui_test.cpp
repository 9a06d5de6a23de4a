// The map list: its row texts, filtering, sorting, choosing and deleting; the merge dialog's
// output path.
#include "corvex/ui/dlg_chart_select.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "corvex/ui/dlg_merge_chart.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"

namespace {

using D = CDlgChartSelect;

struct Boxes : vd::ui::DialogResponder {
  std::vector<std::string> shown;
  int answer = vd::ui::kIdYes;
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request.text);
    return answer;
  }
};

struct ListDoc : COstrelDocBase {
  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  ObjectList* GetObjectList() override { return &objects; }
  void RefreshViewsOfChartFile(const std::string& path) override { refreshed.push_back(path); }
  ObjectList objects;
  std::vector<std::string> refreshed;
};

class DrivenSelect : public CDlgChartSelect {
 public:
  using Act = std::function<void(DrivenSelect&)>;
  DrivenSelect(COstrelDocBase& doc, Act act)
      : CDlgChartSelect(doc, nullptr, nullptr), act_(std::move(act)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    CDlgChartSelect::OnInitDialog(focus, param);
    act_(*this);
    if (!dialog_window()->ended()) EndDialog(vd::ui::kIdCancel);
    return true;
  }
  QTreeWidget* Tree() const { return qobject_cast<QTreeWidget*>(GetItem(kMapList)); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const COldChartOutline* outline : RowOutlines()) names.push_back(outline->name);
    return names;
  }
  std::string Cell(int row, int column) const {
    return Tree()->topLevelItem(row)->text(column).toStdString();
  }
  void Select(const std::vector<int>& rows) {
    Tree()->clearSelection();
    for (int row : rows) Tree()->topLevelItem(row)->setSelected(true);
  }
  void Click(int id) { qobject_cast<QAbstractButton*>(GetItem(id))->click(); }
  bool Ended() const { return dialog_window()->ended(); }

 private:
  Act act_;
};

class MapListTest : public ::testing::Test {
 protected:
  ~MapListTest() override {
    for (COstrelObject* object : doc_.objects) object->Release();
  }
  COldChartOutline* Add(const std::string& name, const std::string& id, double scale,
                        const std::string& description, double lat, bool loaded = true) {
    auto* outline = new COldChartOutline;
    outline->name = name;
    outline->chart_id = id;
    outline->scale = scale;
    outline->description = description;
    outline->points = {{lat, -4.0}, {lat + 1.0, -3.0}};
    outline->no_tiles = !loaded;
    outline->disk_size = 2048;
    outline->chart_path = dir_.File(name + ".qct");
    outline->SetDocument(&doc_);
    outline->AddRef();
    doc_.objects.push_back(outline);
    return outline;
  }
  vd::test::TempDir dir_;
  ListDoc doc_;
  Boxes boxes_;
  vd::ui::ScopedResponder responder_{&boxes_};
};

TEST(MapListRows, SizeScaleAndDatumTexts) {
  const struct {
    int64_t bytes;
    bool loaded;
    const char* text;
  } sizes[] = {{5, false, "-"},       {0, true, "?"},           {512, true, " 512 "},
               {1536, true, " 1.5k"}, {3 << 20, true, "   3M"}, {int64_t(5) << 30, true, "   5G"}};
  for (const auto& c : sizes) EXPECT_EQ(FormatMapSize(c.bytes, c.loaded), c.text) << c.bytes;

  EXPECT_EQ(MapScaleText("Edition: 2; Scale: 1:50000; Datum: WGS84"), "1:50000");
  EXPECT_EQ(MapScaleText("Scale: 1:25000"), "1:25000");
  EXPECT_EQ(MapScaleText("Edition: 2"), "");
  EXPECT_EQ(MapScaleText("Scale:"), "");

  COldChartOutline outline;
  EXPECT_EQ(DatumShiftText(outline), "WGS84 Datum shift unknown");
  outline.has_datum_shift = true;
  outline.shift_lat = 0.001;
  outline.shift_lon = -0.002;
  EXPECT_EQ(DatumShiftText(outline), "Datum shift: 0.0600'S 0.1200'E");
}

TEST(MapListRows, MergedPathKeepsOnlySafeCharacters) {
  EXPECT_EQ(MergedChartPath("/maps", "My/Bay: \"2\"+", 0x1f), "/maps/MyBay 2+_1f.qct");
}

TEST_F(MapListTest, SearchFindsAnyCaseAndLoadedOnlyHidesNeverLoaded) {
  Add("Harbour", "XABCX", 0.01, "Scale: 1:10000", 50);
  Add("Coast", "C2", 0.1, "Scale: 1:100000", 51);
  Add("Old", "abc", 0.02, "Scale: 1:20000", 52, false);
  std::vector<std::string> found, loaded, all;
  DrivenSelect dialog(doc_, [&](DrivenSelect& d) {
    all = d.Names();
    d.SetItemText(D::kSearchEdit, "abc");
    found = d.Names();
    d.Click(D::kLoadedOnlyCheck);
    loaded = d.Names();
  });
  dialog.DoModal();
  EXPECT_EQ(all, (std::vector<std::string>{"Harbour", "Old", "Coast"}));  // by scale
  EXPECT_EQ(found, (std::vector<std::string>{"Harbour", "Old"}));
  EXPECT_EQ(loaded, (std::vector<std::string>{"Harbour"}));
}

TEST_F(MapListTest, RowsShowTheirTextsAndSortByColumn) {
  Add("b", "1", 0.01, "Edition: 1; Scale: 1:9000; Datum: x", -10);
  Add("a", "2", 0.01, "Scale: 1:80,000", 20);
  Add("c", "3", 0, "no scale here", 0, false);
  std::vector<std::string> cells, by_name, by_name_back, by_lat;
  DrivenSelect dialog(doc_, [&](DrivenSelect& d) {
    for (int c = 0; c < D::kColumnCount; ++c) cells.push_back(d.Cell(1, c));
    d.SortBy(D::kName);
    by_name = d.Names();
    d.SortBy(D::kName);
    by_name_back = d.Names();
    d.SortBy(D::kLat);
    by_lat = d.Names();
  });
  dialog.DoModal();
  EXPECT_EQ(cells, (std::vector<std::string>{"b", "", "1", "1:9000", "9.5000S", "3.5000W",
                                             "   2k"}));
  EXPECT_EQ(by_name, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(by_name_back, (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(by_lat, (std::vector<std::string>{"b", "c", "a"}));
}

TEST_F(MapListTest, ChoosingNeedsASelectionUnlessOneRowIsListed) {
  Add("one", "1", 0.01, "", 10);
  Add("two", "2", 0.02, "", 20);
  bool ended_without_choice = true, merge_enabled_for_two = false;
  DrivenSelect dialog(doc_, [&](DrivenSelect& d) {
    d.Click(vd::ui::kIdOk);
    ended_without_choice = d.Ended();
    d.Select({0, 1});
    merge_enabled_for_two = d.GetItem(D::kMergeButton)->isEnabled();
    d.Select({1});
    d.Click(vd::ui::kIdOk);
  });
  EXPECT_EQ(dialog.DoModal(), vd::ui::kIdOk);
  EXPECT_FALSE(ended_without_choice);
  EXPECT_TRUE(merge_enabled_for_two);
  EXPECT_EQ(dialog.chosen_path(), dir_.File("two.qct"));
  EXPECT_TRUE(dialog.chosen()->selected);

  DrivenSelect single(doc_, [](DrivenSelect& d) {
    d.SetItemText(D::kSearchEdit, "one");
    d.Tree()->clearSelection();
    d.Click(vd::ui::kIdOk);
  });
  EXPECT_EQ(single.DoModal(), vd::ui::kIdOk);
  EXPECT_EQ(single.chosen_path(), dir_.File("one.qct"));
}

TEST_F(MapListTest, DeleteAsksThenRemovesFilesAndKeepsWhatFailed) {
  COldChartOutline* kept = Add("kept", "1", 0.01, "", 10);
  COldChartOutline* gone = Add("gone", "2", 0.02, "", 20);
  Add("missing", "3", 0.03, "", 30);
  COldChartOutline* busy = Add("busy", "4", 0.04, "", 40);
  for (const COldChartOutline* outline : {kept, gone, busy})
    ASSERT_TRUE(vd::os::SaveFileAtomically(outline->chart_path, "x"));
  ASSERT_TRUE(vd::os::MakeFolders(dir_.File("gone.qc3")));
  // Another program writing the map holds it locked.
  const int writer = ::open(busy->chart_path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(writer, LOCK_EX), 0);
  std::vector<std::string> after_no, after_yes;
  DrivenSelect dialog(doc_, [&](DrivenSelect& d) {
    d.Select({1, 2, 3});
    boxes_.answer = vd::ui::kIdNo;
    d.Click(D::kDeleteButton);
    after_no = d.Names();
    d.Select({1, 2, 3});
    boxes_.answer = vd::ui::kIdYes;
    d.Click(D::kDeleteButton);
    after_yes = d.Names();
  });
  dialog.DoModal();
  ::close(writer);
  EXPECT_EQ(after_no, (std::vector<std::string>{"kept", "gone", "missing", "busy"}));
  EXPECT_EQ(after_yes, (std::vector<std::string>{"kept", "missing", "busy"}));
  EXPECT_EQ(boxes_.shown,
            (std::vector<std::string>{"Delete multiple maps...\n\nAre you sure?",
                                      "Delete multiple maps...\n\nAre you sure?",
                                      "Failed to delete file",
                                      "The map is in use. Please close the map and try again"}));
  EXPECT_TRUE(vd::os::FileExists(busy->chart_path));
  EXPECT_TRUE(vd::os::FileExists(dir_.File("kept.qct")));
  EXPECT_FALSE(vd::os::FileExists(dir_.File("gone.qct")));
  EXPECT_FALSE(vd::os::FileExists(dir_.File("gone.qc3")));
  EXPECT_EQ(doc_.refreshed,
            (std::vector<std::string>{dir_.File("gone.qct"), dir_.File("missing.qct")}));
}

class DrivenMerge : public CDlgMergeChart {
 public:
  explicit DrivenMerge(std::function<void(DrivenMerge&)> act)
      : CDlgMergeChart(nullptr), act_(std::move(act)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    CDlgMergeChart::OnInitDialog(focus, param);
    act_(*this);
    if (!dialog_window()->ended()) EndDialog(vd::ui::kIdCancel);
    return true;
  }

 private:
  std::function<void(DrivenMerge&)> act_;
};

TEST_F(MapListTest, MergeDialogNeedsTheConvertedMapFolder) {
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir_.path());
  auto press_ok = [](DrivenMerge& d) {
    d.SetItemText(CDlgMergeChart::kNameEdit, "Bay/1");
    d.dialog_window()->SetCheckState(CDlgMergeChart::kAntialiasCheck, 1);
    d.OnOK();
  };
  DrivenMerge refused(press_ok);
  EXPECT_EQ(refused.DoModal(), vd::ui::kIdCancel);
  EXPECT_EQ(boxes_.shown, std::vector<std::string>{"The folder for converted maps is not set"});

  vd::OpenAppProfile().SetString(vd::kSettingsSection, "qct_dir", "C:\\maps\\");
  DrivenMerge merge(press_ok);
  EXPECT_EQ(merge.DoModal(), vd::ui::kIdOk);
  EXPECT_EQ(merge.output_path().rfind("C:/maps/Bay1_", 0), 0u) << merge.output_path();
  EXPECT_TRUE(merge.antialias());
  EXPECT_EQ(vd::OpenAppProfile().GetInt(vd::kSettingsSection, kQuiltAntialiasSetting), 1);
  vd::SetProfileLocation(vd::kDefaultProfileKey);
}

}  // namespace
