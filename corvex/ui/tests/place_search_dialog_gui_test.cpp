#include "corvex/ui/place_search_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "charts/tests/geo_name_fixture.h"
#include "app/app_common.h"
#include "app/shell_services.h"
#include "core/persistent_value.h"
#include "platform/os/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "tests/temp_dir.h"

namespace {

using vd::ui::kIdCancel;
using vd::ui::kIdOk;

// An index whose places (category, name) lie at latitude 0.5, 1.0, ... and longitude minus that.
std::string IndexBytes(const std::vector<std::string>& categories,
                       const std::vector<std::pair<int, std::string>>& names) {
  std::vector<vd::test::GeoNameFixturePlace> places;
  for (const auto& [category, name] : names) {
    const double lat = 0.5 * static_cast<double>(places.size() + 1);
    places.push_back({category, lat, -lat, name});
  }
  return vd::test::GeoNameIndexBytes(categories, places);
}

// Runs the dialog; `script` acts on it once it shows (its controls reached by id).
class ScriptedFind : public CDlgFindName {
 public:
  ScriptedFind(const std::string& index, std::function<void(ScriptedFind&)> script)
      : CDlgFindName(index, 48.5, -4.25, nullptr), script_(std::move(script)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    const bool result = CDlgFindName::OnInitDialog(focus, param);
    QTimer::singleShot(0, widget(), [this] { script_(*this); });
    return result;
  }
  template <class T>
  T* Item(int id) const {
    return qobject_cast<T*>(GetItem(id));
  }
  QListWidget* list() const { return Item<QListWidget>(kNameList); }
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int i = 0; i < list()->count(); ++i) rows.push_back(list()->item(i)->text().toStdString());
    return rows;
  }
  bool ViewEnabled() const { return GetItem(kIdOk)->isEnabled(); }
  void Click(int id) { Item<QPushButton>(id)->click(); }
  void ClickRow(int row) {
    list()->setCurrentRow(row);
    emit list()->itemClicked(list()->item(row));
  }
  void TypePosition(const std::string& text) {
    auto* edit = Item<QLineEdit>(kPositionEdit);
    edit->setText(QString::fromStdString(text));
    emit edit->textEdited(edit->text());
  }

 private:
  std::function<void(ScriptedFind&)> script_;
};

struct Boxes : vd::ui::DialogResponder {
  std::vector<std::string> shown;
  std::vector<int> answers;
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request.text);
    const int answer = answers.empty() ? kIdOk : answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    return answer;
  }
};

struct FakeDoc : COstrelDocBase {
  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  void OpenBestChartAt(double lat, double lon, double scale, double factor, int mode) override {
    calls.push_back({lat, lon, scale, factor, double(mode)});
  }
  std::vector<std::vector<double>> calls;
};

class PlaceSearchDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation("Software\\Test\\FindName", dir.path()); }
  void TearDown() override { vd::SetProfileLocation(vd::kDefaultProfileKey); }
  std::string WriteIndex(const std::string& bytes) {
    const std::string path = dir.File("places.vdq");
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    return path;
  }
  static std::optional<std::string> Setting(const char* name) {
    return vd::OpenAppProfile().GetString(vd::kSettingsSection, name);
  }
  vd::test::TempDir dir;
  Boxes boxes;
  vd::ui::ScopedResponder scope{&boxes};
};

TEST_F(PlaceSearchDialogTest, ListStopsAtAThousandRowsAndFollowsTheCategory) {
  std::vector<std::pair<int, std::string>> places;
  for (int i = 0; i < 1500; ++i) places.emplace_back(0, "Place " + std::to_string(i));
  places.emplace_back(1, "Rock A");
  places.emplace_back(1, "Rock B");
  const std::string index = WriteIndex(IndexBytes({"Town", "Rock"}, places));
  std::vector<std::string> all, rocks, rock_b, categories;
  ScriptedFind dialog(index, [&](ScriptedFind& d) {
    all = d.Rows();
    auto* combo = d.Item<QComboBox>(CDlgFindName::kCategoryCombo);
    for (int i = 0; i < combo->count(); ++i) categories.push_back(combo->itemText(i).toStdString());
    combo->setCurrentIndex(2);
    rocks = d.Rows();
    d.Item<QLineEdit>(CDlgFindName::kFindEdit)->setText("k b");
    d.Click(CDlgFindName::kSearchButton);
    rock_b = d.Rows();
    d.Click(kIdCancel);
  });
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  ASSERT_EQ(all.size(), 1001u);
  EXPECT_EQ(all[999], "Place 999");
  EXPECT_EQ(all.back(), CDlgFindName::kTooMany);
  EXPECT_EQ(categories, (std::vector<std::string>{"Any category", "Town", "Rock"}));
  EXPECT_EQ(rocks, (std::vector<std::string>{"Rock A", "Rock B"}));
  EXPECT_EQ(rock_b, std::vector<std::string>{"Rock B"});
}

TEST_F(PlaceSearchDialogTest, ViewTakesTheChosenPlaceAndRemembersTheSearch) {
  ASSERT_TRUE(vd::OpenAppProfile().SetString(vd::kSettingsSection, "find_searchtext", "har"));
  const std::string index = WriteIndex(
      IndexBytes({"Any"}, {{0, "Harbour Town"}, {0, "Old harbour"}, {0, "Bay"}, {0, "Too"}}));
  std::vector<std::string> rows;
  bool enabled_before = true, enabled_after_click = false;
  {
    ScriptedFind dialog(index, [&](ScriptedFind& d) {
      rows = d.Rows();
      enabled_before = d.ViewEnabled();
      d.ClickRow(1);
      enabled_after_click = d.ViewEnabled();
      d.Item<QCheckBox>(CDlgFindName::kCreateMarkCheck)->setChecked(true);
      d.Click(kIdOk);
    });
    ASSERT_EQ(dialog.DoModal(), kIdOk);
    EXPECT_EQ(dialog.name(), "Old harbour");
    EXPECT_EQ(dialog.lat(), 1.0);
    EXPECT_EQ(dialog.lon(), -1.0);
    EXPECT_TRUE(dialog.create_mark());
    FakeDoc doc;
    GoToFoundLocation(doc, dialog);
    EXPECT_EQ(doc.calls, (std::vector<std::vector<double>>{{1.0, -1.0, 0.0, 1.0, 1.0}}));
  }
  // A small-letter pattern would miss "Harbour"; the search upper-cases it.
  EXPECT_EQ(rows, (std::vector<std::string>{"Harbour Town", "Old harbour"}));
  EXPECT_FALSE(enabled_before);
  EXPECT_TRUE(enabled_after_click);
  EXPECT_EQ(Setting("find_searchtext"), "har");
  EXPECT_EQ(vd::OpenAppProfile().GetInt(vd::kSettingsSection, "find_createmark"), 1);
}

TEST_F(PlaceSearchDialogTest, TypedCoordinatesGiveWayToAClickedRow) {
  const std::string index = WriteIndex(IndexBytes({"Any"}, {{0, "Only"}}));
  std::string typed;
  FormatPositionText(47.25, -3.5, typed);
  struct Case {
    const char* what;
    bool click_row_after_typing;
    std::string name;
    double lat;
  };
  const Case cases[] = {{"typed", false, typed, 47.25}, {"clicked", true, "Only", 0.5}};
  for (const Case& c : cases) {
    bool enabled_while_typing = false;
    ScriptedFind dialog(index, [&](ScriptedFind& d) {
      d.TypePosition(typed);
      enabled_while_typing = d.ViewEnabled();
      if (c.click_row_after_typing) d.ClickRow(0);
      d.Click(kIdOk);
    });
    ASSERT_EQ(dialog.DoModal(), kIdOk) << c.what;
    EXPECT_TRUE(enabled_while_typing);
    EXPECT_EQ(dialog.name(), c.name) << c.what;
    EXPECT_NEAR(dialog.lat(), c.lat, 1e-6) << c.what;
  }
}

TEST_F(PlaceSearchDialogTest, UnreadableCoordinatesAskAgainOrCancel) {
  const std::string index = WriteIndex(IndexBytes({}, {}));
  std::string good;
  FormatPositionText(10.5, 20.25, good);
  const std::string message =
      "The Goto position you entered was not understood.\nPlease follow the format shown in "
      "the example.";
  // OK on the box leaves the dialog open for a corrected position.
  boxes.answers = {kIdOk};
  ScriptedFind corrected(index, [&](ScriptedFind& d) {
    d.TypePosition("nowhere");
    d.Click(kIdOk);
    d.TypePosition(good);
    d.Click(kIdOk);
  });
  ASSERT_EQ(corrected.DoModal(), kIdOk);
  EXPECT_NEAR(corrected.lon(), 20.25, 1e-6);
  EXPECT_EQ(boxes.shown, std::vector<std::string>{message});

  boxes.answers = {kIdCancel};
  ScriptedFind cancelled(index, [&](ScriptedFind& d) {
    d.TypePosition("nowhere");
    d.Click(kIdOk);
  });
  EXPECT_EQ(cancelled.DoModal(), kIdCancel);
}

TEST_F(PlaceSearchDialogTest, ASingleRowNeedsNoSelectionAndAMissingIndexIsNamed) {
  std::vector<std::string> rows;
  bool enabled = false;
  ScriptedFind single(WriteIndex(IndexBytes({}, {{0, "Lone"}})), [&](ScriptedFind& d) {
    enabled = d.ViewEnabled();
    d.Click(kIdOk);
  });
  ASSERT_EQ(single.DoModal(), kIdOk);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(single.name(), "Lone");

  ScriptedFind missing(dir.File("none.vdq"), [&](ScriptedFind& d) {
    rows = d.Rows();
    enabled = d.ViewEnabled();
    d.Click(kIdCancel);
  });
  EXPECT_EQ(missing.DoModal(), kIdCancel);
  EXPECT_EQ(rows, std::vector<std::string>{CDlgFindName::kNoIndex + dir.File("none.vdq")});
  EXPECT_FALSE(enabled);
}

}  // namespace
