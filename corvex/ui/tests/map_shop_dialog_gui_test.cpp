#include "corvex/ui/map_shop_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/file_utils.h"
#include "core/persistent_value.h"
#include "corvex/startup_files.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

using vd::ui::kIdCancel;
using vd::ui::kIdOk;
using D = CDlgKartovia;

constexpr char kCgi[] = "/cgi-bin/mapstore3.cgi";

// Store reply fields, strings as a length and their bytes.
struct Fields {
  Fields& I32(int32_t v) { return Raw(&v, 4); }
  Fields& Str(const std::string& text) {
    I32(static_cast<int32_t>(text.size()));
    bytes += text;
    return *this;
  }
  Fields& Item(const std::string& name, float rank, const std::string& category,
               const std::string& address) {
    Str(name);
    Raw(&rank, 4);
    return Str(category).Str(address).I32(1);
  }
  Fields& Raw(const void* data, size_t size) {
    bytes.append(static_cast<const char*>(data), size);
    return *this;
  }
  std::string bytes;
};

struct Boxes : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request.text);
    return kIdOk;
  }
  std::vector<std::string> shown;
};

// Runs the dialog; `script` acts on it once it shows.
class ScriptedShop : public CDlgKartovia {
 public:
  ScriptedShop(const GeoPoint* points, int count, const std::string& chart,
               std::function<void(ScriptedShop&)> script)
      : CDlgKartovia(points, count, chart, nullptr), script_(std::move(script)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    const bool result = CDlgKartovia::OnInitDialog(focus, param);
    QTimer::singleShot(0, widget(), [this] { script_(*this); });
    return result;
  }
  QTreeWidget* list() const { return qobject_cast<QTreeWidget*>(GetItem(kTree)); }
  // Each visible row as its depth in dots, then its text.
  std::vector<std::string> VisibleRows() const {
    std::vector<std::string> rows;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
      rows.push_back(std::string(size_t(depth), '.') + item->text(0).toStdString());
      if (!item->isExpanded()) return;
      for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < list()->topLevelItemCount(); ++i) walk(list()->topLevelItem(i), 0);
    return rows;
  }
  std::string Selected() const {
    return list()->currentItem() ? list()->currentItem()->text(0).toStdString() : "";
  }
  void Select(const std::string& text) {
    const auto found = list()->findItems(QString::fromStdString(text),
                                         Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    list()->setCurrentItem(found[0]);
  }
  bool Enabled(int id) const { return GetItem(id)->isEnabled(); }
  void Click(int id) { qobject_cast<QPushButton*>(GetItem(id))->click(); }

 private:
  std::function<void(ScriptedShop&)> script_;
};

class MapShopDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation("Software\\Test\\MapShop", dir.path());
    vd::os::ProfileStore profile = vd::OpenAppProfile();
    ASSERT_TRUE(profile.SetString(vd::kSettingsSection, CMapStoreQuery::kServerSetting,
                                  server.BaseUrl()));
    ASSERT_TRUE(profile.SetString(vd::kSettingsSection, "kvx_folder", store));
  }
  void TearDown() override {
    vd::os::HttpCloseIdleConnections();
    vd::SetProfileLocation(vd::kDefaultProfileKey);
  }
  void AnswerArea(const Fields& items, int32_t count, int32_t more = 0) {
    server.Serve(kCgi, Fields().I32(0).I32(0).I32(count).bytes + items.bytes +
                           Fields().I32(more).bytes);
  }
  std::vector<std::string> StoreRequestBodies() const {
    std::vector<std::string> bodies;
    for (const auto& request : server.Requests()) {
      if (request.path == kCgi) bodies.push_back(request.body);
    }
    return bodies;
  }

  vd::test::TempDir dir;
  vd::test::HttpTestServer server;
  std::string store = dir.File("store");
  Boxes boxes;
  vd::ui::ScopedResponder scope{&boxes};
  const GeoPoint area[2] = {{50.5, -1.25}, {51.0, -2.0}};
};

TEST_F(MapShopDialogTest, ShowsTheAreaCatalogueAndFetchesTheChosenPackage) {
  AnswerArea(Fields()
                 .Item("Alps", 1, "Topo", "KVX/Topo/alps.vdpkg")
                 .Item("Lakes", 2, "Topo", "http://elsewhere.invalid/KVX/Topo/lakes.qct")
                 .Item("Coast", 3, "Charts", "KVX/Charts/coast.qct")
                 .Item("Old coast", 4, "Charts 2012", "KVX/Old/coast.qct"),
             4, 12);
  server.Serve("/KVX/Topo/alps.vdpkg", "descriptor bytes");
  std::vector<std::string> rows;
  std::string selected;
  bool area_enabled = false, continue_enabled = false;
  ScriptedShop shop(area, 2, store + "/Topo/lakes.qct", [&](ScriptedShop& d) {
    rows = d.VisibleRows();
    selected = d.Selected();
    area_enabled = d.Enabled(D::kAreaRadio) && !d.Enabled(D::kSearchButton);
    d.Select("Topo");
    continue_enabled = d.Enabled(kIdOk);
    d.Select("Alps");
    d.Click(kIdOk);
  });
  EXPECT_EQ(shop.DoModal(), kIdOk);
  // Only "Topo" opens by default (its packages folder stays shut); a year in the category sends
  // the item to the old editions.
  EXPECT_EQ(rows, (std::vector<std::string>{"Topo", ".Packages", ".Lakes", "Charts", "Old Editions",
                                            "12 more available. Search a smaller area."}));
  EXPECT_EQ(selected, "Lakes");
  EXPECT_TRUE(area_enabled);
  EXPECT_FALSE(continue_enabled);
  const std::string local = store + "/Topo/alps.vdpkg";
  EXPECT_EQ(shop.result(), std::vector<std::string>{local});
  std::string got;
  ASSERT_TRUE(vd::os::ReadWholeFile(local, got));
  EXPECT_EQ(got, "descriptor bytes");
  EXPECT_TRUE(boxes.shown.empty());

  vd::os::ProfileStore profile = vd::OpenAppProfile();
  std::vector<std::string> folders;
  LoadChartDirs(profile, folders);
  EXPECT_NE(std::find(folders.begin(), folders.end(), store), folders.end());
  EXPECT_EQ(profile.GetInt(D::kMapTypesSection, "Topo"), 1);
  EXPECT_EQ(profile.GetInt(D::kMapTypesSection, "Charts"), 0);
}

TEST_F(MapShopDialogTest, MapsComeBackWithoutDownloadAndFailuresKeepTheDialogOpen) {
  AnswerArea(Fields()
                 .Item("Coast", 1, "Charts", "KVX/Charts/coast.qct")
                 .Item("Gone", 2, "Charts", "KVX/Charts/gone.vdpkg")
                 .Item("Escape", 3, "Charts", "KVX/../../etc/x.vdpkg"),
             3);
  std::vector<std::string> rows;
  size_t boxes_after_failures = 0;
  ScriptedShop shop(area, 2, "", [&](ScriptedShop& d) {
    // Without "Topo" and without saved choices every category opens.
    rows = d.VisibleRows();
    for (const char* failing : {"Gone", "Escape"}) {
      d.Select(failing);
      d.Click(kIdOk);
    }
    boxes_after_failures = boxes.shown.size();
    d.Select("Coast");
    d.Click(kIdOk);
  });
  EXPECT_EQ(shop.DoModal(), kIdOk);
  EXPECT_EQ(rows, (std::vector<std::string>{"Charts", ".Packages", ".Coast"}));
  EXPECT_EQ(boxes_after_failures, 2u);
  EXPECT_EQ(boxes.shown[0], "Download of \"Gone\" failed");
  EXPECT_EQ(shop.result(), std::vector<std::string>{store + "/Charts/coast.qct"});
  EXPECT_FALSE(FileExists(store + "/Charts/coast.qct"));
  EXPECT_FALSE(FileExists(store + "/Charts/gone.vdpkg"));
}

TEST_F(MapShopDialogTest, WithoutAnAreaItSearchesByKeywordOfTwoCharactersOrMore) {
  server.Serve(kCgi, Fields().I32(0).I32(1).Item("Fjords", 1, "Topo", "KVX/f.qct").I32(0).bytes);
  std::vector<std::string> hint, after_one, after_two;
  bool everywhere = false, area_enabled = true;
  size_t requests_after_one = 0;
  ScriptedShop shop(nullptr, 0, "", [&](ScriptedShop& d) {
    hint = d.VisibleRows();
    everywhere = d.dialog_window()->CheckState(D::kEverywhereRadio) == 1;
    area_enabled = d.Enabled(D::kAreaRadio);
    d.SetItemText(D::kKeywordEdit, "f");
    d.Click(D::kSearchButton);
    after_one = d.VisibleRows();
    requests_after_one = StoreRequestBodies().size();
    d.SetItemText(D::kKeywordEdit, "fj");
    d.Click(D::kSearchButton);
    after_two = d.VisibleRows();
    d.Click(kIdCancel);
  });
  EXPECT_EQ(shop.DoModal(), kIdCancel);
  const std::vector<std::string> hint_rows{"Enter a keyword to search the Kartovia..."};
  EXPECT_EQ(hint, hint_rows);
  EXPECT_EQ(after_one, hint_rows);
  EXPECT_TRUE(everywhere);
  EXPECT_FALSE(area_enabled);
  EXPECT_EQ(requests_after_one, 0u);
  EXPECT_EQ(after_two, (std::vector<std::string>{"Topo", ".Fjords"}));
  const std::vector<std::string> bodies = StoreRequestBodies();
  ASSERT_EQ(bodies.size(), 1u);
  double zero = 0;
  EXPECT_EQ(bodies[0], Fields().I32(102).I32(5).Str("fj").Raw(&zero, 8).Raw(&zero, 8).bytes);
}

}  // namespace
