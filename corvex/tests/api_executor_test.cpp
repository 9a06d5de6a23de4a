#include "corvex/api_executor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "overlays/outline/old_chart_outline.h"
#include "corvex/tests/api_test_support.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::FakeApiHost;
using vd::test::WireReader;
using vd::test::WireWriter;

class ApiExecutorTest : public ::testing::Test {
 protected:
  ApiExecutorTest() { host.doc.log = &log; }

  // Runs a request with these argument bytes; the file then holds the reply.
  int Run(int64_t code, const WireWriter& args = {}) { return RunOn(&host, code, args); }
  int RunOn(CApiHost* on, int64_t code, const WireWriter& args) {
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, args.bytes()));
    CVD_transaction t(path);
    return ExecuteApiRequest(code, t, on);
  }
  std::string FileBytes() const {
    std::string bytes;
    vd::os::ReadWholeFile(path, bytes);
    return bytes;
  }
  WireReader Reply() const { return WireReader(FileBytes()); }
  // Runs a request that answers one handle.
  ApiHandle RunForHandle(int64_t code, const WireWriter& args = {}) {
    EXPECT_EQ(Run(code, args), kApiOk);
    WireReader reply = Reply();
    const ApiHandle handle = reply.H();
    EXPECT_TRUE(reply.ok());
    EXPECT_EQ(reply.left(), 0u);
    return handle;
  }
  ApiHandle NewMark(const std::string& name, double lat = 50.0, double lon = -4.0) {
    return RunForHandle(5, WireWriter().Str(name).F64(lat).F64(lon).I32(3));
  }
  COstrelObject* ObjectOf(ApiHandle handle) { return host.handles.Find(handle, host.doc.objects); }
  bool Logged(int code, COstrelObject* object) const {
    return std::count(log.begin(), log.end(),
                      vd::test::ChangeRecord{vd::test::ChangeRecord::kViews, code, object}) > 0;
  }

  vd::test::TempDir dir;
  std::string path = dir.File("VDAPI2.dat");
  std::vector<vd::test::ChangeRecord> log;
  FakeApiHost host;
};

TEST_F(ApiExecutorTest, CreatedMarkIsOwnedByTheDocumentAndReadsBack) {
  const ApiHandle handle = NewMark("Bu\xF8y", 50.5, -4.25);  // Windows-1252 on the wire
  ASSERT_NE(handle, ApiHandle::kNone);
  ASSERT_EQ(host.doc.objects.size(), 1u);
  auto* mark = dynamic_cast<CObjWaypoint*>(host.doc.objects.front());
  ASSERT_NE(mark, nullptr);
  EXPECT_EQ(mark->document(), &host.doc);
  EXPECT_EQ(COstrelObject::CurrentDocument(), nullptr);  // the owner was put back
  EXPECT_EQ(mark->ref_count(), 1);
  EXPECT_EQ(mark->name, "Buøy");
  EXPECT_FALSE(mark->being_placed);
  EXPECT_TRUE(Logged(kChangeModified, mark));

  ASSERT_EQ(Run(14, WireWriter().H(handle)), kApiOk);
  WireReader position = Reply();
  EXPECT_EQ(position.F64(), 50.5);
  EXPECT_EQ(position.F64(), -4.25);
  EXPECT_EQ(position.left(), 0u);

  struct Query {
    int code;
    std::string answer;
  };
  for (const Query& q : {Query{7, "Bu\xF8y"}, Query{19, "Marks"}}) {
    ASSERT_EQ(Run(q.code, WireWriter().H(handle)), kApiOk);
    EXPECT_EQ(Reply().Str(), q.answer) << q.code;
  }

  ASSERT_EQ(Run(9, WireWriter().H(handle).Str("Quay")), kApiOk);
  EXPECT_EQ(mark->name, "Quay");
  EXPECT_EQ(mark->short_name, "Buøy");  // an empty short name keeps the old name
}

TEST_F(ApiExecutorTest, TypeCodesOfEveryClass) {
  CObjText* text = nullptr;
  COldChartOutline* outline = nullptr;
  vd::test::TestMark* other = nullptr;
  {
    const CCurrentOwnerScope owner(&host.doc);
    text = host.doc.Add(new CObjText);
    outline = host.doc.Add(new COldChartOutline);
    other = host.doc.Add(new vd::test::TestMark);
  }
  const struct {
    ApiHandle handle;
    int32_t type;
  } cases[] = {
      {NewMark("M"), 1},
      {RunForHandle(16), 2},
      {RunForHandle(26, WireWriter().Str("T").I32(255).I32(0)), 4},
      {RunForHandle(35, WireWriter().Str("Tug")), 8},
      {host.handles.HandleOf(outline), 16},
      {host.handles.HandleOf(text), 32},
      {host.handles.HandleOf(other), -1},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Run(6, WireWriter().H(c.handle)), kApiOk);
    EXPECT_EQ(Reply().I32(), c.type);
  }
}

TEST_F(ApiExecutorTest, RouteBuiltFromMarksAnswersItsPointsByIndex) {
  const ApiHandle route = RunForHandle(16);
  const ApiHandle a = NewMark("A");
  const ApiHandle b = NewMark("B");
  ASSERT_EQ(Run(17, WireWriter().H(route).H(a)), kApiOk);
  ASSERT_EQ(Run(17, WireWriter().H(route).H(b)), kApiOk);
  auto* obj = dynamic_cast<CObjRoute*>(ObjectOf(route));
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(obj->points().size(), 2u);
  EXPECT_TRUE(Logged(kChangeEditState, obj));

  const struct {
    int32_t index;
    ApiHandle expected;
  } cases[] = {{0, a}, {1, b}, {2, ApiHandle::kNone}, {-1, ApiHandle::kNone}};
  for (const auto& c : cases) {
    EXPECT_EQ(RunForHandle(18, WireWriter().H(route).I32(c.index)), c.expected) << c.index;
  }

  // Moving a point lengthens the route through it.
  const double before = obj->length;
  ASSERT_EQ(Run(13, WireWriter().H(b).F64(51.0).F64(-4.0)), kApiOk);
  EXPECT_GT(obj->length, before);
  EXPECT_TRUE(Logged(kChangeMoved, ObjectOf(b)));
}

TEST_F(ApiExecutorTest, TrackPointsAddedAndReadByRange) {
  const ApiHandle track = RunForHandle(26, WireWriter().Str("Run").I32(0x00FF00).I32(1));
  auto* obj = dynamic_cast<CObjTrack*>(ObjectOf(track));
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(obj->colour, 0x00FF00u);
  EXPECT_TRUE(obj->closed);

  WireWriter points;
  points.H(track).I32(3);
  for (int i = 0; i < 3; ++i) points.F64(50 + i * 0.01).F64(-4.0).I32(1000 + i).F64(5.5 + i);
  ASSERT_EQ(Run(27, points), kApiOk);
  ASSERT_EQ(Run(28, WireWriter().H(track)), kApiOk);
  EXPECT_EQ(Reply().I32(), 3);
  EXPECT_GT(obj->total_distance, 0.0);

  const struct {
    int32_t first, count;
    int result;
  } ranges[] = {
      {0, 3, kApiOk},         {1, 2, kApiOk},         {3, 0, kApiOk},
      {1, 3, kApiBadIndex},   {-1, 1, kApiBadIndex},  {0, -1, kApiBadIndex},
      {INT_MAX, INT_MAX, kApiBadIndex},  // would wrap to a negative end in 32 bits
  };
  for (const auto& r : ranges) {
    SCOPED_TRACE(testing::Message() << r.first << "+" << r.count);
    ASSERT_EQ(Run(29, WireWriter().H(track).I32(r.first).I32(r.count)), r.result);
    if (r.result != kApiOk || r.count == 0) continue;  // no reply: the file stays as it was
    WireReader reply = Reply();
    for (int i = r.first; i < r.first + r.count; ++i) {
      EXPECT_DOUBLE_EQ(reply.F64(), 50 + i * 0.01);
      EXPECT_EQ(reply.F64(), -4.0);
      EXPECT_EQ(reply.I32(), 1000 + i);
      EXPECT_EQ(reply.F64(), 5.5 + i);
    }
    EXPECT_TRUE(reply.ok());
    EXPECT_EQ(reply.left(), 0u);
  }
}

TEST_F(ApiExecutorTest, TrackPointsCutShortOrMiscountedChangeNothing) {
  const ApiHandle track = RunForHandle(26, WireWriter().Str("Run").I32(0).I32(0));
  auto* obj = dynamic_cast<CObjTrack*>(ObjectOf(track));
  ASSERT_NE(obj, nullptr);
  const auto point = [](WireWriter& w) { w.F64(50.0).F64(-4.0).I32(1).F64(0.0); };
  WireWriter two_of_three;
  two_of_three.H(track).I32(3);
  point(two_of_three);
  point(two_of_three);
  WireWriter claims_billions;
  claims_billions.H(track).I32(INT_MAX);
  point(claims_billions);
  const struct {
    const char* what;
    WireWriter args;
    int result;
  } cases[] = {
      {"two of three points", two_of_three, kApiIoError},
      {"a count beyond the bytes", claims_billions, kApiIoError},
      {"negative count", WireWriter().H(track).I32(-1), kApiBadIndex},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Run(27, c.args), c.result);
    EXPECT_TRUE(obj->points().empty());
  }
}

TEST_F(ApiExecutorTest, BadHandlesAnswer13) {
  const ApiHandle mark = NewMark("Gone");
  const ApiHandle route = RunForHandle(16);
  ASSERT_EQ(Run(8, WireWriter().H(mark)), kApiOk);
  EXPECT_EQ(host.doc.objects.size(), 1u);
  // A mark made now may take the deleted one's address; its handle is a new one all the same.
  const ApiHandle later = NewMark("Later");
  EXPECT_NE(later, mark);

  const struct {
    const char* what;
    int64_t code;
    WireWriter args;
  } cases[] = {
      {"deleted object", 7, WireWriter().H(mark)},
      {"handle never given", 7, WireWriter().H(static_cast<ApiHandle>(12345))},
      {"no object", 6, WireWriter().H(ApiHandle::kNone)},
      {"route where a mark is needed", 14, WireWriter().H(route)},
      {"mark where a route is needed", 17, WireWriter().H(later).H(later)},
      {"mark where a track is needed", 28, WireWriter().H(later)},
      {"mark given a line style", 33, WireWriter().H(later).I32(1).I32(1).I32(0).I32(0)},
      {"route fed as a target", 37,
       WireWriter().H(route).I32(0).F64(0).F64(0).F64(0).F64(0).F64(0).F64(0).F64(0).I32(0).Str("")},
      {"track started as navigation", 41,
       WireWriter().H(RunForHandle(26, WireWriter().Str("T").I32(0).I32(0)))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = c.args.bytes();
    EXPECT_EQ(Run(c.code, c.args), kApiBadHandle);
    EXPECT_EQ(FileBytes(), before);  // no reply written
  }
  EXPECT_TRUE(host.navigated.empty());
}

TEST(ApiHandleTable, HandleOfDestroyedObjectNeverReachesItsSuccessorAtTheSameAddress) {
  CApiHandleTable table;
  ObjectList list;
  alignas(vd::test::TestMark) unsigned char storage[sizeof(vd::test::TestMark)];
  auto* first = new (storage) vd::test::TestMark;
  list.push_back(first);
  const ApiHandle old_handle = table.HandleOf(first);
  EXPECT_EQ(table.HandleOf(first), old_handle);
  EXPECT_EQ(table.Find(old_handle, list), first);
  list.clear();
  EXPECT_EQ(table.Find(old_handle, list), nullptr);
  first->~TestMark();

  auto* second = new (storage) vd::test::TestMark;
  list.push_back(second);
  EXPECT_EQ(table.Find(old_handle, list), nullptr);
  const ApiHandle new_handle = table.HandleOf(second);
  EXPECT_NE(new_handle, old_handle);
  EXPECT_EQ(table.Find(new_handle, list), second);
  EXPECT_EQ(table.HandleOf(nullptr), ApiHandle::kNone);
  second->~TestMark();
}

TEST_F(ApiExecutorTest, ValuesOutOfRangeAnswer15AndChangeNothing) {
  const ApiHandle mark = NewMark("M");
  const ApiHandle route = RunForHandle(16);
  auto* obj_mark = dynamic_cast<CObjWaypoint*>(ObjectOf(mark));
  auto* obj_route = dynamic_cast<CObjRoute*>(ObjectOf(route));
  const int32_t mode_before = obj_mark->circle_mode;
  const uint8_t thickness_before = obj_route->thickness;
  const struct {
    const char* what;
    int64_t code;
    WireWriter args;
  } cases[] = {
      {"icon number no slot holds", 22, WireWriter().I32(987654)},
      {"circle mode 4", 24, WireWriter().H(mark).F64(100.0).I32(4)},
      {"thickness 4", 33, WireWriter().H(route).I32(4).I32(0).I32(0).I32(0)},
      {"line style -1", 33, WireWriter().H(route).I32(1).I32(-1).I32(0).I32(0)},
      {"transparency 5", 33, WireWriter().H(route).I32(1).I32(0).I32(0).I32(5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Run(c.code, c.args), kApiBadIndex);
  }
  EXPECT_EQ(obj_mark->circle_mode, mode_before);
  EXPECT_EQ(obj_route->thickness, thickness_before);

  ASSERT_EQ(Run(33, WireWriter().H(route).I32(3).I32(4).I32(0x123456).I32(4)), kApiOk);
  EXPECT_EQ(obj_route->thickness, 3);
  EXPECT_EQ(obj_route->line_style, 4);
  EXPECT_EQ(obj_route->colour, 0x123456u);
  EXPECT_EQ(obj_route->transparency, 4);
}

TEST_F(ApiExecutorTest, UnknownCodesAndMissingDocumentTouchNothing) {
  const std::string request = WireWriter().Str("x").I32(1).bytes();
  for (int64_t code : {int64_t{0}, int64_t{30}, int64_t{43}, int64_t{0x8002}, int64_t{0x100000005}}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(Run(code, WireWriter().Str("x").I32(1)), kApiUnknownRequest);
    EXPECT_EQ(FileBytes(), request);
  }
  for (int64_t code : {int64_t{5}, int64_t{16}, int64_t{99}}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(RunOn(nullptr, code, WireWriter().Str("x").I32(1)), kApiNoData);
    EXPECT_EQ(FileBytes(), request);
  }
  EXPECT_TRUE(host.doc.objects.empty());
}

TEST_F(ApiExecutorTest, ArgumentsCutShortAnswer8WithoutEffect) {
  const ApiHandle mark = NewMark("M", 50.0, -4.0);
  const struct {
    const char* what;
    int64_t code;
    std::string bytes;
  } cases[] = {
      {"empty file", 7, ""},
      {"name only", 5, WireWriter().Str("New").bytes()},
      {"name longer than allowed", 35, WireWriter().I32(100000).bytes() + std::string(100000, 'x')},
      {"latitude missing", 13, WireWriter().H(mark).bytes()},
      {"longitude cut", 13, WireWriter().H(mark).F64(1.0).bytes() + "\1\2\3"},
      {"camera distance missing", 0x8003, WireWriter().F64(1.0).F64(2.0).bytes()},
      {"fix without the valid flag", 4,
       WireWriter().F64(1).F64(2).F64(3).F64(4).F64(5).bytes()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(vd::os::SaveFileAtomically(path, c.bytes));
    CVD_transaction t(path);
    EXPECT_EQ(ExecuteApiRequest(c.code, t, &host), kApiIoError);
  }
  EXPECT_EQ(host.doc.objects.size(), 1u);
  const auto* obj = dynamic_cast<CObjWaypoint*>(ObjectOf(mark));
  EXPECT_EQ(obj->position, CLatLon(50.0, -4.0));
  EXPECT_TRUE(host.synced.empty());
  EXPECT_TRUE(host.fixes.empty());

  // No transaction file at all.
  CVD_transaction absent(dir.File("absent.dat"));
  EXPECT_EQ(ExecuteApiRequest(7, absent, &host), kApiIoError);
}

TEST_F(ApiExecutorTest, ImportedFixesMoveTheOwnVessel) {
  EXPECT_EQ(Run(3), kApiNoData);   // no own vessel yet
  EXPECT_EQ(Run(31), kApiNoData);

  ASSERT_EQ(Run(4, WireWriter().F64(50.25).F64(-1.5).F64(90.0).F64(6.5).F64(12.0).I32(1)), kApiOk);
  ASSERT_EQ(host.fixes.size(), 1u);
  EXPECT_STREQ(host.fixes[0].status, "Imported position");
  EXPECT_EQ(host.fixes[0].valid, 1);
  EXPECT_EQ(host.fixes[0].course, 90.0f);

  ASSERT_EQ(Run(3), kApiOk);
  WireReader fix = Reply();
  EXPECT_EQ(fix.F64(), 50.25);
  EXPECT_EQ(fix.F64(), -1.5);
  EXPECT_EQ(fix.F64(), 90.0);
  EXPECT_EQ(fix.F64(), 6.5);
  EXPECT_EQ(fix.F64(), 12.0);
  EXPECT_EQ(fix.left(), 0u);

  ASSERT_EQ(Run(32, WireWriter().F64(51.0).F64(-2.0).F64(45.0).F64(7.0).F64(3.0).I32(1700000000)
                        .I32(1).F64(50.0).F64(4.5)),
            kApiOk);
  ASSERT_EQ(host.fixes.size(), 2u);
  EXPECT_EQ(host.fixes[1].time, 1700000000);
  EXPECT_EQ(host.fixes[1].heading, 50.0f);
  EXPECT_EQ(host.fixes[1].water_speed, 4.5f);

  ASSERT_NE(host.own, nullptr);
  host.own->rate_of_turn = 2.5f;
  for (int64_t code : {int64_t{31}, int64_t{0x8004}}) {
    ASSERT_EQ(Run(code), kApiOk);
    WireReader state = Reply();
    EXPECT_EQ(state.F64(), 51.0);
    EXPECT_EQ(state.F64(), -2.0);
    EXPECT_EQ(state.F64(), 45.0);
    EXPECT_EQ(state.F64(), 7.0);
    EXPECT_EQ(state.F64(), 3.0);
    EXPECT_EQ(state.I32(), 1700000000);
    EXPECT_EQ(state.I32(), 1);
    EXPECT_EQ(state.F64(), 50.0);
    EXPECT_EQ(state.F64(), 2.5);
    EXPECT_EQ(state.left(), 0u);
  }
  EXPECT_EQ(RunForHandle(38), host.handles.HandleOf(host.own));

  // An invalid fix leaves no position to answer with.
  ASSERT_EQ(Run(4, WireWriter().F64(0).F64(0).F64(0).F64(0).F64(0).I32(0)), kApiOk);
  EXPECT_EQ(Run(3), kApiNoData);

  // The own vessel deleted by request is gone for the host too: the next fix makes a new one.
  ASSERT_EQ(Run(8, WireWriter().H(host.handles.HandleOf(host.own))), kApiOk);
  EXPECT_EQ(host.own, nullptr);
  EXPECT_EQ(Run(3), kApiNoData);
  ASSERT_EQ(Run(4, WireWriter().F64(49.0).F64(-3.0).F64(0).F64(0).F64(0).I32(1)), kApiOk);
  ASSERT_NE(host.own, nullptr);
  ASSERT_EQ(Run(3), kApiOk);
  EXPECT_EQ(Reply().F64(), 49.0);
}

TEST_F(ApiExecutorTest, TargetFedDirectlyWithOutline) {
  const ApiHandle target = RunForHandle(35, WireWriter().Str("Tug"));
  auto* obj = dynamic_cast<CObjCurrentPosition*>(ObjectOf(target));
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(obj->short_name, "Tug");
  EXPECT_EQ(host.own, nullptr);  // a target is not the own vessel

  ASSERT_EQ(Run(36, WireWriter().H(target).Str("Tug 2").Str("towing").Str("Fleet")), kApiOk);
  EXPECT_EQ(obj->name, "Tug 2");
  EXPECT_EQ(obj->description, "towing");
  EXPECT_EQ(CCategory::GetNameOr(obj->category()), "Fleet");

  ASSERT_EQ(Run(37, WireWriter().H(target).I32(1234).F64(50.5).F64(-4.5).F64(2.0).F64(180.0)
                        .F64(8.0).F64(175.0).F64(-3.0).I32(0x00FF00).Str("Under way")),
            kApiOk);
  EXPECT_EQ(obj->time, 1234);
  EXPECT_EQ(obj->position.lat, 50.5);
  EXPECT_EQ(obj->heading, 175.0f);
  EXPECT_EQ(obj->rate_of_turn, -3.0f);
  EXPECT_EQ(obj->valid, 1);
  EXPECT_EQ(obj->display_mode, CObjCurrentPosition::kTarget);
  EXPECT_STREQ(obj->status, "Under way");
  EXPECT_TRUE(Logged(kChangeMoved, obj));

  ASSERT_EQ(Run(39, WireWriter().H(target).I32(2).I32(-3).I32(10).I32(3).I32(10)), kApiOk);
  ASSERT_EQ(obj->outline.size(), 2u);
  EXPECT_EQ(obj->outline[1], (vd::ui::Point{3, 10}));
  EXPECT_EQ(Run(39, WireWriter().H(target).I32(3).I32(1).I32(1)), kApiIoError);
  EXPECT_EQ(obj->outline.size(), 2u);
  ASSERT_EQ(Run(39, WireWriter().H(target).I32(1000)), kApiOk);
  EXPECT_TRUE(obj->outline.empty());
}

TEST_F(ApiExecutorTest, FindNextWalksTypedObjectsMatchingThePattern) {
  const ApiHandle buoy = NewMark("Buoy");
  const ApiHandle boat = NewMark("Boat");
  const ApiHandle route = RunForHandle(16);  // named "Route"
  {
    const CCurrentOwnerScope owner(&host.doc);
    host.doc.Add(new vd::test::TestMark)->name = "Bx";  // no type: never found
  }
  const auto find = [&](const std::string& pattern, int32_t mask, ApiHandle after) {
    return RunForHandle(12, WireWriter().Str(pattern).I32(mask).H(after));
  };
  EXPECT_EQ(find("B*", 63, ApiHandle::kNone), buoy);
  EXPECT_EQ(find("B*", 63, buoy), boat);
  EXPECT_EQ(find("B*", 63, boat), ApiHandle::kNone);
  EXPECT_EQ(find("B?at", 1, ApiHandle::kNone), boat);
  EXPECT_EQ(find("b*", 63, ApiHandle::kNone), ApiHandle::kNone);  // case matters
  EXPECT_EQ(find("*", 2, ApiHandle::kNone), route);
  EXPECT_EQ(find("*", 0, ApiHandle::kNone), ApiHandle::kNone);

  ASSERT_EQ(Run(8, WireWriter().H(buoy)), kApiOk);
  EXPECT_EQ(find("*", 63, buoy), ApiHandle::kNone);  // "after" gone: nothing, not a restart
}

TEST_F(ApiExecutorTest, ViewRequestsReachTheHost) {
  // Show an area: centre, scale from its corner, zoom factor 2.
  ASSERT_EQ(Run(0x8000, WireWriter().F64(50.0).F64(51.0).F64(-5.0).F64(-3.0)), kApiOk);
  ASSERT_EQ(host.doc.shown.size(), 1u);
  const auto& shown = host.doc.shown[0];
  EXPECT_EQ(shown.lat, 50.5);
  EXPECT_EQ(shown.lon, -4.0);
  EXPECT_DOUBLE_EQ(shown.scale, CLatLon(51.0, -3.0).DistanceTo(CLatLon(50.5, -4.0)) * 0.0008);
  EXPECT_EQ(shown.factor, 2.0);
  EXPECT_EQ(shown.mode, 0);

  // GPS view corners.
  EXPECT_EQ(Run(1), kApiNoData);
  host.gps_view = {51.0, 50.0, -3.0, -5.0};
  ASSERT_EQ(Run(1), kApiOk);
  WireReader area = Reply();
  for (double expected : *host.gps_view) EXPECT_EQ(area.F64(), expected);

  // Camera position: the marker without a view target, else the target.
  ASSERT_EQ(Run(0x8003, WireWriter().F64(50.1).F64(-4.1).F64(2.5)), kApiOk);
  EXPECT_EQ(host.markers, (std::vector<CLatLon>{{50.1, -4.1}}));
  auto* route = dynamic_cast<CObjRoute*>(ObjectOf(RunForHandle(16)));
  host.view_target = route;
  ASSERT_EQ(Run(0x8003, WireWriter().F64(50.2).F64(-4.2).F64(3.5)), kApiOk);
  EXPECT_EQ(route->view_target(), CLatLon(50.2, -4.2));
  EXPECT_EQ(route->view_target_distance(), 3.5f);
  EXPECT_EQ(host.markers.size(), 1u);
  EXPECT_EQ(host.synced.size(), 2u);

  // Finished starting.
  EXPECT_EQ(Run(42), kApiNotStarted);
  host.started = true;
  EXPECT_EQ(Run(42), kApiOk);
}

TEST_F(ApiExecutorTest, RenderRequestChecksItsSizesBeforeAskingTheHost) {
  const auto request = [](int32_t shift, int32_t w, int32_t h) {
    return WireWriter().Str("/charts/a.qct").I32(10).I32(20).I32(shift).I32(w).I32(h).Str(
        "/tmp/MapSquare.dds");
  };
  const struct {
    int32_t shift, w, h;
  } refused[] = {{0, 0, 256}, {0, 256, 8193}, {-3, 256, 256}, {6, 256, 256}, {0, -1, 256}};
  for (const auto& r : refused) EXPECT_EQ(Run(0x8001, request(r.shift, r.w, r.h)), kApiIoError);
  EXPECT_TRUE(host.renders.empty());

  host.render_result = kApiIoError;
  EXPECT_EQ(Run(0x8001, request(-2, 8192, 1)), kApiIoError);
  ASSERT_EQ(host.renders.size(), 1u);
  const auto& call = host.renders[0];
  EXPECT_EQ(call.chart, "/charts/a.qct");
  EXPECT_EQ(call.output, "/tmp/MapSquare.dds");
  EXPECT_EQ(call.zoom_shift, -2);
  EXPECT_EQ(call.x, 10);
  EXPECT_EQ(call.y, 20);
  EXPECT_EQ(call.width, 8192);
  EXPECT_EQ(call.height, 1);

  // A host without a renderer has no view to render from.
  struct NoRenderer : FakeApiHost {
    int RenderChartAreaToDDS(const std::string& c, const std::string& o, int32_t s, int32_t x,
                             int32_t y, int32_t w, int32_t h) override {
      return CApiHost::RenderChartAreaToDDS(c, o, s, x, y, w, h);
    }
  } bare;
  EXPECT_EQ(RunOn(&bare, 0x8001, request(0, 256, 256)), kApiNoData);
}

TEST_F(ApiExecutorTest, NavigationPaneAndCommands) {
  ASSERT_EQ(Run(40), kApiOk);
  EXPECT_EQ(FileBytes(), WireWriter().H(ApiHandle::kNone).bytes());

  const ApiHandle mark = NewMark("Goal");
  const ApiHandle route = RunForHandle(16);
  CApiNavigationTarget nav;
  nav.target = ObjectOf(mark);
  nav.route = ObjectOf(route);
  nav.lat = 50.0;
  nav.lon = -4.0;
  nav.distance_nm = 1.5f;
  nav.bearing_deg = 270.0f;
  nav.cross_track_nm = -0.25f;
  nav.closing_speed_kn = 6.0f;
  nav.name = "Goal";
  host.navigation = nav;
  ASSERT_EQ(Run(40), kApiOk);
  WireReader reply = Reply();
  EXPECT_EQ(reply.H(), mark);
  EXPECT_EQ(reply.H(), route);
  for (double expected : {50.0, -4.0, 1.5, 270.0, -0.25, 6.0}) EXPECT_EQ(reply.F64(), expected);
  EXPECT_EQ(reply.Str(), "Goal");
  EXPECT_EQ(reply.left(), 0u);

  ASSERT_EQ(Run(41, WireWriter().H(mark)), kApiOk);
  ASSERT_EQ(Run(41, WireWriter().H(route)), kApiOk);
  EXPECT_EQ(host.navigated, (std::vector<COstrelObject*>{ObjectOf(mark), ObjectOf(route)}));

  // Without a navigation display there is nothing to start.
  struct NoNavigation : FakeApiHost {
    bool ShowGotoMark(CObjWaypoint& m) override { return CApiHost::ShowGotoMark(m); }
  } bare;
  ASSERT_EQ(RunOn(&bare, 5, WireWriter().Str("M").F64(0).F64(0).I32(0)), kApiOk);
  const ApiHandle bare_mark = Reply().H();
  EXPECT_EQ(RunOn(&bare, 41, WireWriter().H(bare_mark)), kApiNoData);
}

}  // namespace
