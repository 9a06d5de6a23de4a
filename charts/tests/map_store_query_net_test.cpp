#include "charts/map_store_query.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/key_value_file.h"
#include "core/persistant_data.h"
#include "core/persistent_value.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/http_transport.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

constexpr char kCgi[] = "/cgi-bin/mapstore3.cgi";

// Request and reply bytes written field by field, as the store's stream lays them out.
struct Fields {
  template <class T>
  Fields& Raw(T value) {
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.append(raw, sizeof raw);
    return *this;
  }
  Fields& I32(int32_t v) { return Raw(v); }
  Fields& F32(float v) { return Raw(v); }
  Fields& F64(double v) { return Raw(v); }
  Fields& Str(const std::string& text) {
    I32(static_cast<int32_t>(text.size()));
    bytes += text;
    return *this;
  }
  Fields& Item(const std::string& name, float rank, const std::string& category = "Topo",
               const std::string& address = "maps/m.qct", int32_t id = 1) {
    return Str(name).F32(rank).Str(category).Str(address).I32(id);
  }
  std::string bytes;
};

std::vector<std::string> Names(const CMapStoreQuery& query) {
  std::vector<std::string> names;
  for (const MapStoreItem& item : query.items()) names.push_back(item.name);
  return names;
}

class MapStoreQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation("Software\\Test\\MapStore", dir.path());
    ASSERT_TRUE(Profile().SetString(vd::kSettingsSection, CMapStoreQuery::kServerSetting,
                                    server.BaseUrl()));
  }
  void TearDown() override {
    vd::os::HttpCloseIdleConnections();
    vd::SetProfileLocation(vd::kDefaultProfileKey);
  }

  static vd::os::ProfileStore Profile() { return vd::OpenAppProfile(); }
  void Answer(const std::string& body, int status = 200) {
    vd::test::HttpTestServer::Reply reply;
    reply.status = status;
    reply.body = body;
    server.Set(kCgi, reply);
  }
  // The body of the only request the server received.
  std::string OnlyRequestBody() const {
    const std::vector<vd::test::RecordedRequest> requests = server.Requests();
    EXPECT_EQ(requests.size(), 1u);
    if (requests.empty()) return {};
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, kCgi);
    return requests[0].body;
  }

  vd::test::TempDir dir;
  vd::test::HttpTestServer server;
};

TEST_F(MapStoreQueryTest, AreaSearchEncodesPointsAndDecodesTheWholeReply) {
  Answer(Fields()
             .I32(0)
             .I32(2).I32(7).I32(3)
             .I32(2)
             .Item("C\xF4te Nord", 1.0f, "Charts|Europe", "https://h/KVX/a.vdpkg", 11)
             .Item("Solent", 2.0f, "Charts", "/KVX/s.qct", 12)
             .I32(5)
             .bytes);
  const GeoPoint points[] = {{50.5, -1.25}, {51.0, -2.0}};
  const CMapStoreQuery query(points, 2);

  EXPECT_EQ(OnlyRequestBody(),
            Fields().I32(101).I32(5).I32(2).F64(50.5).F64(-1.25).F64(51.0).F64(-2.0).Str("").bytes);
  EXPECT_TRUE(query.ok());
  EXPECT_EQ(query.more(), 5);
  EXPECT_EQ(query.identifiers(), (std::set<int32_t>{3, 7}));
  ASSERT_EQ(Names(query), (std::vector<std::string>{"C\u00f4te Nord", "Solent"}));
  const MapStoreItem& first = query.items()[0];
  EXPECT_EQ(first.category, "Charts|Europe");
  EXPECT_EQ(first.address, "https://h/KVX/a.vdpkg");
  EXPECT_EQ(first.id, 11);
  EXPECT_EQ(first.rank, 1.0f);
}

TEST_F(MapStoreQueryTest, KeywordSearchEncodesTextAndPosition) {
  Answer(Fields().I32(0).I32(1).Item("Baie", 0.5f).I32(0).bytes);
  const CMapStoreQuery query("Baie \u00e9t\u00e9", 48.25, -4.5);
  EXPECT_EQ(OnlyRequestBody(),
            Fields().I32(102).I32(5).Str("Baie \xE9t\xE9").F64(48.25).F64(-4.5).bytes);
  EXPECT_TRUE(query.ok());
  EXPECT_EQ(Names(query), std::vector<std::string>{"Baie"});
  EXPECT_TRUE(query.identifiers().empty());
}

TEST_F(MapStoreQueryTest, FaultyRepliesKeepOnlyWholeItems) {
  const std::string one = Fields().Item("One", 1.0f).bytes;
  const std::string two = Fields().Item("Two", 2.0f).bytes;
  struct Case {
    const char* what;
    std::string body;
    int status;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"non-zero status", Fields().I32(3).I32(0).I32(1).bytes + one + Fields().I32(0).bytes, 200,
       {}},
      {"HTTP error", Fields().I32(0).I32(0).I32(1).bytes + one + Fields().I32(0).bytes, 500, {}},
      {"empty body", "", 200, {}},
      {"cut inside the second item",
       Fields().I32(0).I32(0).I32(2).bytes + one + two.substr(0, 9), 200, {"One"}},
      {"no more count", Fields().I32(0).I32(0).I32(2).bytes + one + two, 200, {"One", "Two"}},
      {"string above the length limit",
       Fields().I32(0).I32(0).I32(2).bytes + one + Fields().I32(100001).bytes +
           std::string(100001, 'x') + Fields().F32(1).Str("").Str("").I32(1).I32(0).bytes,
       200, {"One"}},
      {"negative string length",
       Fields().I32(0).I32(0).I32(1).I32(-1).bytes + one + Fields().I32(0).bytes, 200, {}},
      {"negative item count", Fields().I32(0).I32(0).I32(-1).bytes + one, 200, {}},
      {"item count beyond the reply",
       Fields().I32(0).I32(0).I32(std::numeric_limits<int32_t>::max()).bytes + one, 200,
       {"One"}},
      {"identifier count beyond the reply",
       Fields().I32(0).I32(std::numeric_limits<int32_t>::max()).I32(1).bytes + one, 200, {}},
  };
  const GeoPoint point{10, 20};
  for (const Case& c : cases) {
    Answer(c.body, c.status);
    const CMapStoreQuery query(&point, 1);
    EXPECT_FALSE(query.ok()) << c.what;
    EXPECT_EQ(query.more(), 0) << c.what;
    EXPECT_EQ(Names(query), c.names) << c.what;
  }
}

TEST_F(MapStoreQueryTest, PointsOutsideTheRangeSendNothing) {
  Answer(Fields().I32(0).I32(0).I32(1).Item("Any", 1.0f).I32(0).bytes);
  const double nan = std::nan("");
  struct Case {
    GeoPoint second;
    bool sent;
  };
  const Case cases[] = {
      {{90.0, 0}, true},        {{-90.0, 400.0}, true},  {{0, -400.0}, true},
      {{90.0001, 0}, false},    {{-90.0001, 0}, false},  {{0, 400.0001}, false},
      {{0, -400.0001}, false},  {{nan, 0}, false},       {{0, nan}, false},
  };
  for (const Case& c : cases) {
    server.ClearRequests();
    const GeoPoint points[] = {{10, 10}, c.second};
    const CMapStoreQuery query(points, 2);
    EXPECT_EQ(!server.Requests().empty(), c.sent) << c.second.lat << " " << c.second.lon;
    EXPECT_EQ(query.items().empty(), !c.sent) << c.second.lat << " " << c.second.lon;
  }
  server.ClearRequests();
  const CMapStoreQuery null_points(nullptr, 3);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(MapStoreQueryTest, SortSettingChoosesRankOrNaturalNameOrder) {
  Answer(Fields()
             .I32(0)
             .I32(5)
             .Item("Chart 10", 2.0f)
             .Item("Chart 9", 3.0f)
             .Item("odd", std::nanf(""))
             .Item("b", 1.0f)
             .Item("A", 2.0f)
             .I32(0)
             .bytes);
  struct Case {
    std::optional<int> sort_by;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {std::nullopt, {"b", "Chart 10", "A", "Chart 9", "odd"}},
      {1, {"b", "Chart 10", "A", "Chart 9", "odd"}},
      {0, {"A", "b", "Chart 9", "Chart 10", "odd"}},
  };
  for (const Case& c : cases) {
    if (c.sort_by) {
      ASSERT_TRUE(Profile().SetInt(vd::kSettingsSection, "sort_by", *c.sort_by));
    }
    const CMapStoreQuery query("chart", 0, 0);
    EXPECT_EQ(Names(query), c.names) << c.sort_by.value_or(-1);
  }
}

TEST_F(MapStoreQueryTest, StoreServerComesFromTheSetting) {
  struct Case {
    std::string setting;
    bool secure;
    std::string host;
  };
  const Case cases[] = {
      {"", true, "mapstore.vardune.com"},
      {"http://127.0.0.1:8080", false, "127.0.0.1:8080"},
      {"https://store.example.org/", true, "store.example.org"},
      {"store.example.org", true, "store.example.org"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Profile().SetString(vd::kSettingsSection, CMapStoreQuery::kServerSetting,
                                    c.setting));
    bool secure = !c.secure;
    std::string host;
    CMapStoreQuery::StoreServer(secure, host);
    EXPECT_EQ(secure, c.secure) << c.setting;
    EXPECT_EQ(host, c.host) << c.setting;
  }
}

TEST(MapStoreHideListTest, HidesNamesHoldingAnEntryInTheSameCase) {
  const std::vector<std::string> hide = {"", "Demo", "Test\u00e9"};
  struct Case {
    const char* name;
    bool hidden;
  };
  const Case cases[] = {{"Demo chart", true},     {"A Demo", true},       {"demo chart", false},
                        {"DEMO", false},          {"Test\u00e9 1", true}, {"Test\u00c9", false},
                        {"Plain", false}};
  for (const Case& c : cases) EXPECT_EQ(IsHiddenStoreItem(c.name, hide), c.hidden) << c.name;
}

TEST_F(MapStoreQueryTest, ChartViewHideListFiltersTheReply) {
  const std::optional<std::string> saved_config = vd::os::GetEnv("XDG_CONFIG_HOME");
  ASSERT_TRUE(vd::os::SetEnv("XDG_CONFIG_HOME", dir.path()));
  PersistantData::SetBaseName("mapstore");
  const auto load_hide_list = [](std::vector<std::string> entries) {
    CKeyValueFile file;
    file.Set("CQuickChartView:kvx_hide:n", std::to_string(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i)
      file.Set("CQuickChartView:kvx_hide[" + std::to_string(i) + "]", entries[i]);
    ASSERT_TRUE(vd::os::MakeFolders(vd::os::ConfigFolder() + "/Vardune"));
    ASSERT_TRUE(file.Save(PersistantData::SettingsFilePath()));
    ASSERT_TRUE(PersistantData::LoadAll());
  };
  load_hide_list({"Demo", "Old"});
  Answer(Fields().I32(0).I32(4).Item("Demo A", 1).Item("demo B", 2).Item("Real", 3)
             .Item("Old C", 4).I32(0).bytes);
  const CMapStoreQuery query("chart", 0, 0);
  EXPECT_TRUE(query.ok());
  EXPECT_EQ(Names(query), (std::vector<std::string>{"demo B", "Real"}));
  EXPECT_TRUE(IsHiddenStoreItem("Old C"));

  load_hide_list({});
  EXPECT_TRUE(MapStoreHideList().empty());
  PersistantData::SetBaseName("");
  if (saved_config) {
    vd::os::SetEnv("XDG_CONFIG_HOME", *saved_config);
  } else {
    vd::os::UnsetEnv("XDG_CONFIG_HOME");
  }
}

}  // namespace
