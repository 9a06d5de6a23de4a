#include "viewer_lib/overlay_sync.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/tests/model_test_support.h"
#include "overlays/model/track_manager.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/http_transport.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/http_test_server.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChangeRecorder;
using vd::test::FileBytes;

constexpr char kCgi[] = "/cgi-bin/sync.cgi";

// Little-endian fields and blocks (0xBE, uint32 length of the whole block, body).
struct Bytes {
  template <class T>
  Bytes& Raw(T value) {
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    text.append(raw, sizeof raw);
    return *this;
  }
  Bytes& I32(int32_t v) { return Raw(v); }
  Bytes& U64(uint64_t v) { return Raw(v); }
  Bytes& Append(const std::string& more) {
    text += more;
    return *this;
  }
  std::string Block() const {
    std::string block = "\xBE";
    const uint32_t length = static_cast<uint32_t>(text.size() + 5);
    block.append(reinterpret_cast<const char*>(&length), sizeof length);
    return block + text;
  }
  std::string text;
};

// Reads fields in order from a request body.
struct Reader {
  template <class T>
  T Raw() {
    T value{};
    if (at + sizeof value <= text.size()) std::memcpy(&value, text.data() + at, sizeof value);
    at += sizeof value;
    return value;
  }
  std::string String() {
    const uint32_t length = Raw<uint32_t>();
    std::string value = text.substr(std::min(at, text.size()), length);
    at += length;
    return value;
  }
  std::string text;
  size_t at = 0;
};

class MessageRecorder : public vd::ui::DialogResponder {
 public:
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    messages.push_back(request.caption + ": " + request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> messages;
};

class OverlaySyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::os::SetEnv("XDG_DATA_HOME", dir.path());
    vd::os::SetEnv("OSTREL_NOGUI", "1");
    vd::SetProfileLocation("Software\\Test\\OverlaySync", dir.path());
    vd::os::ProfileStore profile = vd::OpenAppProfile();
    profile.SetString(vd::kSettingsSection, kSyncServerSetting, server.BaseUrl());
    profile.SetString(vd::kSettingsSection, kSyncAccountSetting, "my boat #1");
    profile.SetString(vd::kSettingsSection, kSyncAccessSetting, "secret");
  }

  // Idle keep-alive connections would hold up the server's stop.
  void TearDown() override { vd::os::HttpCloseIdleConnections(); }

  COverlayMark* AddMark(const std::string& name, uint64_t id) {
    auto mark = std::make_unique<COverlayMark>();
    mark->name = name;
    mark->latitude = 10.0;
    mark->longitude = 20.0;
    mark->sync_id = id;
    return marks.AddMark(std::move(mark));
  }

  // The object's record as the block stream holds it.
  std::string Record(CSyncable& object) {
    const std::string path = dir.File("record.bin");
    EXPECT_TRUE(vd::test::WriteStream(
        path, [&](CSerializableStream& s) { return object.SerializeForSync(s, 0, 0.0); }));
    return FileBytes(path);
  }

  // A reply of the given tag whose three lists are the given bytes.
  static std::string Reply(const std::string& marks_list, const std::string& routes_list,
                           const std::string& tracks_list, int32_t tag = kSyncReplyTag) {
    return Bytes().I32(tag).I32(0).I32(0).Block() +
           Bytes().Append(marks_list).Append(routes_list).Append(tracks_list).Block();
  }
  static std::string EmptyList() { return Bytes().I32(0).text; }

  std::string ExchangePath() const { return dir.File("Vardune/syncdata/file.vdsync"); }

  vd::test::TempDir dir;
  vd::test::HttpTestServer server;
  CMarkManager marks;
  CTrackManager tracks;
  MessageRecorder responder;
  vd::ui::ScopedResponder scope{&responder};
};

TEST_F(OverlaySyncTest, FirstRunSendsChangesMergesTheReplyAndRemembersTheTime) {
  COverlayMark* changed = AddMark("Changed", 0);
  COverlayMark* never_synced = AddMark("Never synced", 0);
  never_synced->MarkDeleted();
  COverlayMark* tombstone = AddMark("Tombstone", 5);
  tombstone->MarkDeleted();
  COverlayMark* updated = AddMark("Before", 6);
  auto short_track = std::make_unique<COverlayTrack>();
  tracks.AddTrack(std::move(short_track));  // no points, no id: never sent

  COverlayMark server_mark;
  server_mark.name = "From server";
  COverlayMark server_update;
  server_update.name = "After";
  server_update.latitude = 33.0;
  const std::string mark_list =
      Bytes().I32(2).U64(7).Append(Record(server_mark)).U64(6).Append(Record(server_update)).text;
  server.Serve(kCgi, Reply(mark_list, EmptyList(), EmptyList()));

  // What the request must carry, taken before the run changes or removes the marks.
  std::vector<std::pair<uint64_t, std::string>> expected;
  for (COverlayMark* mark : {changed, tombstone, updated}) {
    expected.emplace_back(mark->sync_id, Record(*mark));
  }
  ChangeRecorder changes;
  const double before = GetNow();
  EXPECT_EQ(OverlaySync_Run(nullptr), 0);
  EXPECT_TRUE(responder.messages.empty());

  // The request: account, last sync 0, and the changed marks (the one deleted before its first
  // sync left out); nothing else.
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  Reader request{requests[0].body};
  ASSERT_EQ(request.Raw<uint8_t>(), 0xBE);
  request.Raw<uint32_t>();
  EXPECT_EQ(request.Raw<int32_t>(), kSyncRequestTag);
  EXPECT_EQ(request.Raw<int32_t>(), kSyncVersion);
  EXPECT_EQ(request.String(), "my boat #1");
  EXPECT_EQ(request.String(), "secret");
  EXPECT_EQ(request.Raw<double>(), 0.0);
  const double request_time = request.Raw<double>();
  EXPECT_GE(request_time, before);
  request.Raw<int32_t>();
  ASSERT_EQ(request.Raw<uint8_t>(), 0xBE);
  request.Raw<uint32_t>();
  EXPECT_EQ(request.Raw<int32_t>(), 3);
  for (const auto& [id, record] : expected) {
    EXPECT_EQ(request.Raw<uint64_t>(), id);
    ASSERT_EQ(request.text.substr(request.at, record.size()), record);
    request.at += record.size();
  }
  EXPECT_EQ(request.Raw<int32_t>(), 0);  // routes
  EXPECT_EQ(request.Raw<int32_t>(), 0);  // tracks

  // The reply: a new mark, an update in place; the deletions it saw are gone.
  ASSERT_EQ(marks.marks.size(), 3u);
  EXPECT_EQ(marks.marks[0].get(), changed);
  EXPECT_EQ(marks.marks[1].get(), updated);
  EXPECT_EQ(updated->name, "After");
  EXPECT_EQ(updated->latitude, 33.0);
  EXPECT_TRUE(changes.Saw(updated, COverlayObject::kAppeared));
  EXPECT_EQ(marks.marks[2]->name, "From server");
  EXPECT_EQ(marks.marks[2]->sync_id, 7u);
  EXPECT_TRUE(changes.Saw(marks.marks[2].get(), COverlayObject::kAppeared));

  EXPECT_EQ(OverlaySync_ReadLastSyncTime("my boat #1"), request_time);
  EXPECT_FALSE(vd::os::FileExists(ExchangePath()));
  struct stat st{};
  ASSERT_EQ(::stat(dir.File("Vardune/syncdata").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // The next run sends only what changed since.
  server.ClearRequests();
  EXPECT_EQ(OverlaySync_Run(nullptr), 0);
  Reader second{server.Requests().at(0).body};
  second.at = 5 + 8;
  second.String();
  second.String();
  EXPECT_EQ(second.Raw<double>(), request_time);
}

TEST_F(OverlaySyncTest, EmptyListsKeepTombstonesAndDeletedBeforeSyncStaysDeleted) {
  COverlayMark* unsynced = AddMark("Local only", 9);
  unsynced->MarkDeleted();
  unsynced->purge = true;
  auto route = std::make_unique<COverlayRoute>();
  route->sync_id = 11;
  COverlayRoute* route_tombstone = marks.AddRoute(std::move(route));
  route_tombstone->MarkDeleted();

  COverlayMark revived;
  revived.name = "Revived";
  server.Serve(kCgi, Reply(Bytes().I32(1).U64(9).Append(Record(revived)).text,
                                  EmptyList(), EmptyList()));
  EXPECT_EQ(OverlaySync_Run(nullptr), 0);
  EXPECT_TRUE(marks.marks.empty());
  ASSERT_EQ(marks.routes.size(), 1u);
  EXPECT_EQ(marks.routes[0].get(), route_tombstone);
}

TEST_F(OverlaySyncTest, ObjectsMadeNotSyncableStayOutAndKeepThatThroughAnUpdate) {
  AddMark("Private", 0);
  COverlayMark* updated = AddMark("Shared once", 6);
  marks.SetAllMarksNotSyncable(true);
  auto route = std::make_unique<COverlayRoute>();
  route->name = "Route";
  COverlayRoute* sent_route = marks.AddRoute(std::move(route));
  const std::string route_record = Record(*sent_route);

  COverlayMark server_update;
  server_update.name = "Changed elsewhere";
  server.Serve(kCgi, Reply(Bytes().I32(1).U64(6).Append(Record(server_update)).text,
                           EmptyList(), EmptyList()));
  EXPECT_EQ(OverlaySync_Run(nullptr), 0);

  Reader request{server.Requests().at(0).body};
  request.at = 5 + 8;
  request.String();
  request.String();
  request.at += 8 + 8 + 4;
  ASSERT_EQ(request.Raw<uint8_t>(), 0xBE);
  request.Raw<uint32_t>();
  EXPECT_EQ(request.Raw<int32_t>(), 0) << "no mark is sent";
  EXPECT_EQ(request.Raw<int32_t>(), 1) << "the route still is";
  EXPECT_EQ(request.Raw<uint64_t>(), 0u);
  EXPECT_EQ(request.text.substr(request.at, route_record.size()), route_record);

  EXPECT_EQ(updated->name, "Changed elsewhere");
  EXPECT_TRUE(updated->not_syncable) << "the user's choice outlives the update";
}

TEST_F(OverlaySyncTest, FailuresLeaveObjectsAndTheTimeAlone) {
  COverlayMark* kept = AddMark("Keep", 5);
  COverlayMark server_version;
  server_version.name = "Half read";
  const std::string record = Record(server_version);
  const std::string half = record.substr(0, record.size() / 2);

  struct Case {
    const char* name;
    int status;
    std::string body;
    const char* message;  // "" for none
  };
  const std::string empty = EmptyList();
  const Case cases[] = {
      {"request tag", 200, Reply(empty, empty, empty, kSyncRequestTag),
       "Sync Failed: Invalid response from server"},
      {"count too large", 200, Reply(Bytes().I32(1'000'001).text, empty, empty),
       "Sync Failed: Data error: try again"},
      {"id 0", 200, Reply(Bytes().I32(1).U64(0).Append(record).text, empty, empty),
       "Sync Failed: Data error: try again"},
      {"record cut", 200, Reply(Bytes().I32(1).U64(5).Append(half).text, empty, empty),
       "Sync Failed: Data error: try again"},
      {"tracks missing", 200, Reply(empty, empty, ""), "Sync Failed: Data error: try again"},
      {"server error", 500, "oops", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    responder.messages.clear();
    vd::test::HttpTestServer::Reply reply;
    reply.status = c.status;
    reply.body = c.body;
    server.Set(kCgi, reply);
    EXPECT_EQ(OverlaySync_Run(nullptr), 1);
    if (*c.message == '\0') {
      EXPECT_TRUE(responder.messages.empty());
    } else {
      EXPECT_EQ(responder.messages, std::vector<std::string>{c.message});
    }
    EXPECT_EQ(OverlaySync_ReadLastSyncTime("my boat #1"), 0.0);
    EXPECT_FALSE(vd::os::FileExists(ExchangePath()));
    ASSERT_EQ(marks.marks.size(), 1u);
    EXPECT_EQ(kept->name, "Keep");
  }
}

TEST_F(OverlaySyncTest, UnwritableRequestIsReportedAndNothingIsSent) {
  ASSERT_TRUE(vd::os::MakeFolders(dir.File("Vardune")));
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("Vardune/syncdata"), "not a folder"));
  AddMark("Changed", 0);
  server.Serve(kCgi, Reply(EmptyList(), EmptyList(), EmptyList()));
  EXPECT_EQ(OverlaySync_Run(nullptr), 1);
  EXPECT_EQ(responder.messages, std::vector<std::string>{"Sync Failed: Data error: try again"});
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(OverlaySyncTest, TimeFileNamesKeepSafeCharacters) {
  const std::string folder = dir.File("Vardune/syncdata");
  EXPECT_EQ(OverlaySync_TimeFilePath("my boat #1"), folder + "/time.myboat1");
  EXPECT_EQ(OverlaySync_TimeFilePath("a_b-c.d+e/../f"), folder + "/time.a_b-c.d+e..f");
  EXPECT_EQ(OverlaySync_TimeFilePath(std::string(30, 'x')), folder + "/time." + std::string(25, 'x'));
  ASSERT_TRUE(OverlaySync_WriteLastSyncTime("me", 12345.5));
  EXPECT_EQ(FileBytes(folder + "/time.me").size(), 8u);
  EXPECT_EQ(OverlaySync_ReadLastSyncTime("me"), 12345.5);
  ASSERT_TRUE(vd::os::SaveFileAtomically(folder + "/time.me", "short"));
  EXPECT_EQ(OverlaySync_ReadLastSyncTime("me"), 0.0);
}

}  // namespace
