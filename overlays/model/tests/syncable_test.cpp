#include "overlays/model/syncable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/heartbeat.h"
#include "overlays/model/overlay_colour.h"
#include "overlays/model/overlay_mark.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/screen_points.h"
#include "overlays/model/screen_transform.h"
#include "overlays/model/tests/model_test_support.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ReadStream;
using vd::test::WriteStream;

// A synchronised object with nothing but the base record.
class Plain : public CSyncable {
 public:
  bool Serialize(CSerializableStream& stream) override { return SerializeBase(stream); }
};

TEST(Syncable, BaseRecordRoundTripsAndCorrectsItselfOnReading) {
  vd::test::TempDir dir;
  struct Case {
    const char* what;
    double modified, created;
    bool deleted, live;
    double read_created;
    bool read_live;
  };
  const Case cases[] = {
      {"as written", 2000.5, 1000.25, false, true, 1000.25, true},
      {"created after modified", 1000.0, 3000.0, false, true, 1000.0, true},
      {"deleted but stored live", 2000.0, 1000.0, true, true, 1000.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Plain written;
    written.sync_id = 0x1122334455667788ull;
    written.modified = c.modified;
    written.created = c.created;
    written.deleted = c.deleted;
    written.live = c.live;
    written.keep = true;
    written.purge = true;
    const std::string path = dir.File("base.bin");
    ASSERT_TRUE(WriteStream(path, [&](CSerializableStream& s) { return written.Serialize(s); }));
    Plain read;
    ASSERT_TRUE(ReadStream(path, [&](CSerializableStream& s) { return read.Serialize(s); }));
    EXPECT_EQ(read.sync_id, written.sync_id);
    EXPECT_EQ(read.modified, c.modified);
    EXPECT_EQ(read.created, c.read_created);
    EXPECT_EQ(read.deleted, c.deleted);
    EXPECT_EQ(read.live, c.read_live);
    EXPECT_TRUE(read.keep);
    EXPECT_TRUE(read.purge);
  }
}

TEST(Syncable, BaseRecordLayoutIsFixed) {
  vd::test::TempDir dir;
  Plain written;
  written.sync_id = 0x0102030405060708ull;
  written.modified = 2.0;
  written.created = 1.0;
  const std::string path = dir.File("layout.bin");
  ASSERT_TRUE(WriteStream(path, [&](CSerializableStream& s) { return written.Serialize(s); }));
  const std::string bytes = vd::test::FileBytes(path);
  // Block header, sync id, purge, modified, deleted, created, live, keep.
  ASSERT_EQ(bytes.size(), 5u + 8 + 1 + 8 + 1 + 8 + 1 + 1);
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xBE);
  uint64_t id;
  std::memcpy(&id, bytes.data() + 5, 8);
  EXPECT_EQ(id, written.sync_id);
  double modified;
  std::memcpy(&modified, bytes.data() + 14, 8);
  EXPECT_EQ(modified, 2.0);
  double created;
  std::memcpy(&created, bytes.data() + 23, 8);
  EXPECT_EQ(created, 1.0);
  EXPECT_EQ(bytes[31], 1) << "live";
}

TEST(Syncable, MarkDeletedPurgesOnlyWhatWasNeverSynchronised) {
  for (const uint64_t id : {uint64_t{0}, uint64_t{42}}) {
    Plain object;
    object.sync_id = id;
    object.modified = 0.0;
    object.MarkDeleted();
    EXPECT_TRUE(object.deleted);
    EXPECT_FALSE(object.live);
    EXPECT_GT(object.modified, 0.0);
    EXPECT_EQ(object.purge, id == 0);
  }
}

TEST(Syncable, SyncIdTextAndDefaultGpx) {
  Plain object;
  object.sync_id = 0x1A2B;
  EXPECT_EQ(object.GetSyncIdText(), "vdid:1A2B");
  object.sync_id = 0xFEDCBA9876543210ull;
  EXPECT_EQ(object.GetSyncIdText(), "vdid:FEDCBA9876543210");
  std::string gpx;
  EXPECT_TRUE(object.WriteGPX(gpx));
  EXPECT_EQ(gpx, "<!-- Don't know how to write object -->\n");
}

TEST(OverlayTime, NowCountsFrom1601AndIsSharedWithinOneHeartbeat) {
  const double now_1970 = static_cast<double>(std::time(nullptr));
  EXPECT_NEAR(TimeTo1970(GetNow()), now_1970, 5.0);

  struct Stamper : CHeartbeat::Counter {
    Stamper() : Counter(1) {}
    void OnEvent(CHeartbeat&) override { stamps.push_back(GetNow()); }
    void OnElapsed() override {}
    std::vector<double> stamps;
  };
  Stamper first;
  Stamper second;
  // Spin until the clock moves, so that a fresh reading would differ.
  const double before = GetNow();
  while (GetNow() == before) {
  }
  CHeartbeat::Tick();
  ASSERT_EQ(first.stamps.size(), 1u);
  ASSERT_EQ(second.stamps.size(), 1u);
  EXPECT_EQ(first.stamps[0], second.stamps[0]);
  EXPECT_GT(first.stamps[0], before);
}

TEST(OverlayColour, ParsesTheFourForms) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t argb;
  };
  const Case cases[] = {
      {"#F00", true, 0xFFF00000},  // one digit d gives d x 16
      {"#8F00", true, 0x80F00000},
      {"#12ab34", true, 0xFF12AB34},
      {"#80FF0000", true, 0x80FF0000},
      {"#12345", false, 0xDEADBEEF},
      {"FF0000", false, 0xDEADBEEF},
      {"#GG0000", false, 0xDEADBEEF},
      {"", false, 0xDEADBEEF},
  };
  for (const Case& c : cases) {
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(COverlayColour::Parse(c.text, value), c.ok) << c.text;
    EXPECT_EQ(value, c.argb) << c.text;
  }
  uint32_t back = 0;
  ASSERT_TRUE(COverlayColour::Parse(COverlayColour::Format(0x12ABCDEF), back));
  EXPECT_EQ(back, 0x12ABCDEFu);
}

TEST(IconName, Normalised) {
  const std::pair<const char*, const char*> cases[] = {
      {"MOB", "MOB"},         {"mob", "Mob"},
      {"red flag", "Red_flag"}, {"DOT", "Dot"},
      {"Anchor-2!", "Anchor2"}, {"fuel_station 3", "Fuel_station_3"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(NormaliseIconName(in), out) << in;
}

TEST(ScreenGeometry, BoundsAndTransform) {
  CScreenPoints points;
  EXPECT_EQ(points.left, INT32_MAX);
  EXPECT_EQ(points.ComputeBounds(), nullptr);
  EXPECT_EQ(points.right, 0);
  points.Append({10.7f, -3.2f});
  points.Append({-4.5f, 8.9f});
  const ScreenPointF* first = points.ComputeBounds();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->x, 10.7f);
  EXPECT_EQ(points.left, -4);
  EXPECT_EQ(points.right, 10);
  EXPECT_EQ(points.top, -3);
  EXPECT_EQ(points.bottom, 8);
  points.Clear();
  EXPECT_TRUE(points.points.empty());
  EXPECT_FALSE(points.has_points);
  EXPECT_EQ(points.bottom, INT32_MAX);

  const vd::ui::Rect world{-8, 4, 16, 20};
  EXPECT_EQ((CScreenTransform{1, 10.9f, -5.5f}.Apply(world)), (vd::ui::Rect{-6, 3, 42, 35}));
  EXPECT_EQ((CScreenTransform{-2, 0.0f, 0.0f}.Apply(world)), (vd::ui::Rect{-2, 1, 4, 5}))
      << "arithmetic shift of negative coordinates";
}

}  // namespace
