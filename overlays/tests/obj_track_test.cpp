// Tracks: the archive record and its older forms, recording GPS fixes with the interval,
// distance, partition and point-limit rules, totals, thinning, joining, text lines, hand
// drawing and the trainer-file reader.
#include "overlays/tests/overlay_test_objects.h"
#include "overlays/obj_track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <vector>

#include "charts/clip_spikes.h"
#include "app/gps_position_info.h"
#include "core/persistent_value.h"
#include "overlays/category.h"
#include "overlays/mapped_object.h"
#include "overlays/overlay_archive.h"
#include "platform/os/files.h"
#include "platform/ui/window_messages.h"
#include "tests/temp_dir.h"

namespace {

// A document holding a list of objects and a GPS track.
class FakeDocument : public COstrelDocBase, public CTrackDocument {
 public:
  ~FakeDocument() override {
    gps_ = nullptr;
    while (!list_.empty()) {
      COstrelObject* object = list_.front();
      list_.pop_front();
      object->Release();
    }
  }
  void UpdateAllViews(COstrelViewBase*, int hint, COstrelObject*) override { hints.push_back(hint); }
  ObjectList* GetObjectList() override { return &list_; }
  CObjTrack* PeekGPSTrack() const override { return gps_; }
  void SetGPSTrack(CObjTrack* track) override { gps_ = track; }
  CObjTrack* GetGPSTrack() override {
    if (!gps_) gps_ = Add(new CObjTrack);
    return gps_;
  }
  template <class T>
  T* Add(T* object) {
    object->SetDocument(this);
    object->AddRef();
    list_.push_back(object);
    return object;
  }

  std::vector<int> hints;

 private:
  ObjectList list_;
  CObjTrack* gps_ = nullptr;
};

class TrackTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
  }

  void SetSetting(const char* key, int value) {
    ASSERT_TRUE(vd::OpenAppProfile().SetInt(vd::kSettingsSection, key, value));
  }

  CObjTrack* NewTrack() { return doc.Add(new CObjTrack); }

  vd::test::TempDir dir;
  FakeDocument doc;
  int undo_saves = 0;
  vd::test::ScopedUndoHook undo_hook{{nullptr, [this](COstrelObject&) { ++undo_saves; }, nullptr}};
};

CLatLon Moved(CLatLon from, double metres, double bearing = 0.0) {
  from.MoveBy(metres / 1852.0, bearing);
  return from;
}

GPS_position_info Fix(const CLatLon& at, int32_t time, float speed = 5.0f, float depth = 0.0f) {
  GPS_position_info fix;
  fix.valid = 1;
  fix.position = {at.lat, at.lon};
  fix.time = time;
  fix.speed = speed;
  fix.depth = depth;
  return fix;
}

std::vector<uint8_t> Store(CObjTrack& track, const vd::test::TempDir& dir) {
  const std::string bytes = vd::test::StoredArchive(
      dir.File("track.bin"), [&](COverlayArchive& archive) { archive.WriteObject(&track); });
  return {bytes.begin(), bytes.end()};
}

// Reads one track and keeps it alive past the archive with a reference of the caller's.
CObjTrack* Load(const std::vector<uint8_t>& bytes) {
  COverlayArchive archive(bytes);
  auto* track = archive.ReadObject<CObjTrack>();
  if (track) track->AddRef();
  return track;
}

// ---- Archive ----

TEST_F(TrackTest, ArchiveRoundTripGivesTheSameBytes) {
  CObjTrack* track = NewTrack();
  track->name = "Sunday sail";
  track->AddPoint(50.1, -5.1, 1000, 12.5f, 0, 0);
  track->AddPoint(50.2, -5.2, 1060, 13.0f, 120, -35);  // heart rate and other value stored
  track->AddPoint(50.3, -5.3, 1120, 0.0f, 0, 0);
  track->closed = true;
  track->colour = 0x123456;
  track->thickness = 3;
  track->line_style = 2;
  track->transparency = 4;
  track->tick_interval = 600;
  track->other_label = "Depth (m)";
  track->other_scale = 0.1f;
  track->RecomputeTotals();
  doc.SetGPSTrack(track);

  const std::vector<uint8_t> first = Store(*track, dir);
  doc.SetGPSTrack(nullptr);
  CCurrentOwnerScope owner(&doc);
  CObjTrack* copy = Load(first);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(doc.PeekGPSTrack(), copy);  // the stored GPS flag
  EXPECT_EQ(copy->points().size(), 3u);
  EXPECT_EQ(copy->points()[1].heart_rate, 120);
  EXPECT_EQ(copy->points()[1].other, -35);
  EXPECT_TRUE(copy->closed);
  EXPECT_EQ(copy->transparency, 4);
  EXPECT_EQ(copy->other_label, "Depth (m)");
  EXPECT_NEAR(copy->total_distance, track->total_distance, 1e-12);
  const std::vector<uint8_t> second = Store(*copy, dir);
  EXPECT_EQ(first, second);
  copy->Release();
}

TEST_F(TrackTest, PointWithoutHeartRateOrOtherValueOmitsThem) {
  CObjTrack* track = NewTrack();
  track->AddPoint(50.1, -5.1, 1000, 1.0f, 0, 0);
  const std::vector<uint8_t> plain = Store(*track, dir);
  track->mutable_points()[0].heart_rate = 1;
  EXPECT_EQ(Store(*track, dir).size(), plain.size() + 4);
}

// The overlay archive's bytes, written one field at a time as an older program stored them.
class ArchiveBytes {
 public:
  void Byte(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) { Raw(&v, 2); }
  void I32(int32_t v) { Raw(&v, 4); }
  void F32(float v) { Raw(&v, 4); }
  void F64(double v) { Raw(&v, 8); }
  void Str(const std::string& s) {
    Byte(static_cast<uint8_t>(s.size()));
    Raw(s.data(), s.size());
  }
  void NewClass(const char* name, uint16_t schema) {
    U16(0xFFFF);
    U16(schema);
    U16(static_cast<uint16_t>(std::strlen(name)));
    Raw(name, std::strlen(name));
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  std::vector<uint8_t> bytes_;
};

// Schema 6: no category, stamps or id in the base record; no tick interval, colour, style
// bytes or extra measurement in the track's.
std::vector<uint8_t> Schema6Track(int32_t flags) {
  ArchiveBytes a;
  a.NewClass("CObjTrack", 6);
  a.Str("Old track");
  a.I32(100);   // created
  a.I32(200);   // modified
  a.Byte(0);    // locked
  a.Byte(1);    // visible
  a.I32(0x1e);  // style: the layer in the low byte, as old files kept it
  a.U16(2);     // points
  for (int i = 0; i < 2; ++i) {
    a.F64(50.0 + i * 0.01);
    a.F64(-5.0);
    a.Byte(0);
    a.I32(1000 + i * 60);
    a.F32(3.0f);
  }
  a.I32(30);     // update interval
  a.F64(99.0);   // total distance (recomputed on reading)
  a.I32(20);     // update distance
  a.I32(1800);   // partition time
  a.I32(flags);
  return a.bytes();
}

TEST_F(TrackTest, ReadsSchema6RecordWithDefaultsForLaterFields) {
  CCurrentOwnerScope owner(&doc);
  CObjTrack* track = Load(Schema6Track(3));
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(track->name, "Old track");
  ASSERT_EQ(track->points().size(), 2u);
  EXPECT_EQ(track->update_interval, 30);
  EXPECT_EQ(track->update_distance, 20);
  EXPECT_EQ(track->partition_time, 1800);
  EXPECT_EQ(track->tick_interval, 300);
  EXPECT_EQ(track->colour, 255u);
  EXPECT_EQ(track->other_scale, 1.0f);
  EXPECT_TRUE(track->closed);
  EXPECT_EQ(track->style, 0x1e000000);
  EXPECT_NEAR(track->total_distance, 0.6, 0.01);  // 0.01 degree of latitude
  EXPECT_EQ(doc.PeekGPSTrack(), track);  // flag bit 0 with no GPS track yet
  doc.SetGPSTrack(nullptr);
  track->Release();
}

TEST_F(TrackTest, TruncatedRecordThrows) {
  std::vector<uint8_t> bytes = Schema6Track(0);
  bytes.resize(bytes.size() - 3);
  EXPECT_THROW(Load(bytes), COverlayArchiveException);
}

// ---- Recording ----

TEST_F(TrackTest, RecordingKeepsFixesByIntervalAndDistance) {
  CObjTrack* track = doc.GetGPSTrack();
  const CLatLon start(50.0, -5.0);
  struct Step {
    int32_t time;
    double metres;  // north of the last kept point
    bool kept;
  };
  const Step steps[] = {
      {1000, 0, true},  {1009, 16, false},  // 9 s: too soon
      {1010, 14, false},                     // 14 m: too close
      {1010, 16, true},  {1030, 100, true}, {1040, 15.5, true},
  };
  CLatLon last = start;
  size_t expected = 0;
  for (const Step& s : steps) {
    const CLatLon at = Moved(last, s.metres);
    track->RecordFix(Fix(at, s.time));
    if (s.kept) {
      ++expected;
      last = at;
    }
    EXPECT_EQ(track->points().size(), expected) << "fix at " << s.time;
  }
  double direct = 0.0;
  for (size_t i = 1; i < track->points().size(); ++i) {
    direct += track->points()[i - 1].position.DistanceTo(track->points()[i].position);
  }
  EXPECT_NEAR(track->total_distance, direct, 1e-12);
  EXPECT_EQ(doc.GetGPSTrack(), track);
}

TEST_F(TrackTest, GapAbovePartitionTimeStartsNewGpsTrack) {
  CObjTrack* track = doc.GetGPSTrack();
  const CLatLon a(50.0, -5.0);
  track->RecordFix(Fix(a, 1000));
  track->RecordFix(Fix(Moved(a, 100), 1000 + 3600));  // exactly the partition time: same track
  ASSERT_EQ(track->points().size(), 2u);
  track->RecordFix(Fix(Moved(a, 200), 1000 + 3600 + 3601));
  EXPECT_EQ(track->points().size(), 2u);  // unchanged
  CObjTrack* next = doc.PeekGPSTrack();
  ASSERT_NE(next, track);
  ASSERT_NE(next, nullptr);
  ASSERT_EQ(next->points().size(), 1u);
  EXPECT_EQ(next->points()[0].time, 1000 + 3600 + 3601);
  EXPECT_EQ(next->total_distance, 0.0);
}

TEST_F(TrackTest, PointLimitThinsOrSlides) {
  for (const int mode : {0, 1}) {
    SetSetting("tk_max", 10);
    SetSetting("tk_mode", mode);
    CObjTrack* track = NewTrack();
    const int saves_before = undo_saves;
    for (int i = 0; i < 11; ++i) track->RecordFix(Fix(Moved({50, -5}, 30.0 * i), 1000 + 10 * i));
    std::vector<int32_t> times;
    for (const CTrackpoint& p : track->points()) times.push_back((p.time - 1000) / 10);
    if (mode == 0) {
      EXPECT_EQ(times, (std::vector<int32_t>{0, 2, 4, 6, 8, 10}));
      EXPECT_EQ(undo_saves, saves_before + 1);
    } else {
      EXPECT_EQ(times, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    }
  }
}

TEST_F(TrackTest, ThinKeepsEvenPositionsAndTheLast) {
  CObjTrack* track = NewTrack();
  for (int i = 0; i < 6; ++i) track->AddPoint(50 + i * 0.001, -5, 1000 + i, 0, 0, 0);
  track->Thin();
  std::vector<int32_t> times;
  for (const CTrackpoint& p : track->points()) times.push_back(p.time - 1000);
  EXPECT_EQ(times, (std::vector<int32_t>{0, 2, 4, 5}));
}

TEST_F(TrackTest, SimulatedFixEarlierThanLastPointRestarts) {
  CObjTrack* track = NewTrack();
  track->RecordFix(Fix({50, -5}, 2000));
  track->RecordFix(Fix(Moved({50, -5}, 100), 2010));
  GPS_position_info fix = Fix({51, -5}, 500);
  fix.simulated = 1;
  track->RecordFix(fix);
  ASSERT_EQ(track->points().size(), 1u);
  EXPECT_EQ(track->points()[0].time, 500);
  EXPECT_EQ(track->total_distance, 0.0);
}

TEST_F(TrackTest, DepthBecomesTheOtherValue) {
  CObjTrack* track = NewTrack();
  track->RecordFix(Fix({50, -5}, 1000, 6.5f, 12.5f));
  EXPECT_EQ(track->points()[0].other, -125);
  EXPECT_EQ(track->other_label, "Depth (m)");
  EXPECT_FLOAT_EQ(track->other_scale, 0.1f);
  EXPECT_EQ(track->max_speed, 6.5);
}

TEST_F(TrackTest, TotalsMatchDirectComputation) {
  CObjTrack* track = NewTrack();
  CLatLon at(50, -5);
  // 40 legs of 60 s at various distances, one spike and one leg without time progress.
  for (int i = 0; i < 40; ++i) {
    const double metres = (i == 20) ? 5000 : 100 + 10 * (i % 7);
    at = Moved(at, metres, 45);
    track->AddPoint(at.lat, at.lon, 1000 + 60 * i - (i == 30 ? 60 : 0), 0, 0, 0);
  }
  track->RecomputeTotals();
  const auto& p = track->points();
  double total = 0;
  std::vector<float> speeds(p.size());
  float speed = 0;
  for (size_t i = 0; i + 1 < p.size(); ++i) {
    const float d = static_cast<float>(p[i].position.DistanceTo(p[i + 1].position));
    total += d;
    if (static_cast<uint32_t>(p[i + 1].time) > static_cast<uint32_t>(p[i].time)) {
      speed = d * 3600.0f / static_cast<float>(p[i + 1].time - p[i].time);
    }
    speeds[i] = speed;
  }
  speeds.back() = speed;
  const float spike = speeds[19];
  ClipSpikes(speeds.data(), 1, static_cast<int>(speeds.size()), 8, 3.0f);
  EXPECT_LT(speeds[19], spike);  // the spike is clipped
  EXPECT_DOUBLE_EQ(track->total_distance, total);
  for (size_t i = 0; i < p.size(); ++i) EXPECT_FLOAT_EQ(p[i].speed, speeds[i]) << i;
  EXPECT_FLOAT_EQ(static_cast<float>(track->max_speed),
                  *std::max_element(speeds.begin(), speeds.end()));
  EXPECT_EQ(track->created, p.front().time);
  EXPECT_EQ(track->modified, p.back().time);
}

TEST_F(TrackTest, AddPointRefusesBadLatitudeAndRepeatedTime) {
  CObjTrack* track = NewTrack();
  track->AddPoint(91, 0, 10, 0, 0, 0);
  track->AddPoint(45, 0, 10, 0, 0, 0);
  track->AddPoint(46, 0, 10, 0, 0, 0);  // same time
  track->AddPoint(47, 0, 0, 0, 0, 0);
  track->AddPoint(48, 0, 0, 0, 0, 0);  // no time: always added
  EXPECT_EQ(track->points().size(), 3u);
}

// ---- Joining ----

TEST_F(TrackTest, JoinNearestJoinsOnlyMatchingTracksInOrder) {
  const CLatLon base(50, -5);
  auto make = [&](CLatLon from, int count, double bearing) {
    CObjTrack* t = NewTrack();
    for (int i = 0; i < count; ++i) {
      const CLatLon p = Moved(from, 200.0 * i, bearing);
      t->AddPoint(p.lat, p.lon, 0, 0, 0, 0);
    }
    return t;
  };
  CObjTrack* self = make(base, 3, 90);  // eastwards; last point 400 m east
  const CLatLon end = self->points().back().position;
  CObjTrack* hidden = make(Moved(end, 10, 90), 2, 90);
  hidden->visible = false;
  CObjTrack* other_category = make(Moved(end, 10, 0), 2, 90);
  other_category->SetCategory("Other");
  make(Moved(end, 50, 180), 2, 180);  // 50 m away: beyond the 45 m threshold
  // Its last point lies 40 m east of self's end; walking it backwards continues eastwards.
  CObjTrack* near = make(Moved(Moved(end, 40, 90), 400, 90), 3, 270);
  ObjectList& list = *doc.GetObjectList();
  const size_t before = list.size();

  EXPECT_TRUE(self->JoinNearest(Moved(end, 5, 90), list));
  EXPECT_EQ(list.size(), before - 1);
  EXPECT_EQ(std::count(list.begin(), list.end(), near), 0);
  ASSERT_EQ(self->points().size(), 6u);
  for (size_t i = 1; i < 6; ++i) {
    EXPECT_LT(self->points()[i - 1].position.lon, self->points()[i].position.lon) << i;
  }
  // The remaining candidates are hidden, of another category or too far (50 m > 45 m).
  EXPECT_FALSE(self->JoinNearest(self->points().back().position, list));
  EXPECT_EQ(list.size(), before - 1);
  CObjTrack* empty = NewTrack();
  EXPECT_FALSE(empty->JoinNearest(base, list));
}

// ---- Text lines ----

TEST_F(TrackTest, TextLinesRoundTrip) {
  CObjTrack* track = NewTrack();
  track->name = "Say \"hi\"";
  track->other_label = "Power";
  track->other_scale = 2.5f;
  track->AddPoint(50.5, -5.25, 1000, 12.5f, 101, 7);
  const CLatLon second = Moved({50.5, -5.25}, 1852, 90);
  track->AddPoint(second.lat, second.lon, 1000 + 3600, 13.5f, 0, 0);
  std::string text;
  ASSERT_TRUE(track->WriteText(text));
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line.rfind("TK02,\"Say \"\"hi\"\"\",\"Track\",1,0,2,0,255,3600,300,15,10,\"Power\",2.5", 0),
            0u)
      << line;
  std::getline(lines, line);
  EXPECT_EQ(line, "TP03,50.500000,-5.250000,12.5,1000,0.00,0.0,101,7");
  std::getline(lines, line);
  EXPECT_NE(line.find(",1.00,90.0,0,0"), std::string::npos) << line;

  CObjTrack* copy = NewTrack();
  std::istringstream again(text);
  while (std::getline(again, line)) EXPECT_TRUE(copy->ReadText(line));
  copy->RecomputeTotals();
  EXPECT_EQ(copy->name, "Say \"hi\"");
  EXPECT_EQ(copy->other_label, "Power");
  EXPECT_FLOAT_EQ(copy->other_scale, 2.5f);
  ASSERT_EQ(copy->points().size(), 2u);
  EXPECT_EQ(copy->points()[0].heart_rate, 101);
  EXPECT_EQ(copy->points()[0].other, 7);
  EXPECT_NEAR(copy->total_distance, 1.0, 1e-4);

  std::string none;
  EXPECT_TRUE(NewTrack()->WriteText(none));
  EXPECT_TRUE(none.empty());
}

// ---- Hand drawing ----

class FakeDrawingView : public CMappedView, public CTrackDrawingView {
 public:
  vd::ui::Point ChartToClient(vd::ui::Point c) const override { return c; }
  float ScaleFactor() const override { return 1.0f; }
  void SetPositionMarker(double, double) override {}
  vd::ui::Point CursorPixel() const override { return cursor; }
  vd::ui::Point cursor;
};

TEST_F(TrackTest, HandDrawingStateMachine) {
  enum Event { kDown, kMove, kUp, kBack, kEnter, kDoubleClick };
  struct Row {
    Event event;
    vd::ui::Point cursor;
    int state_after;
    size_t points_after;
    bool result;
  };
  // Starting in drawing state with no points and the button up.
  const Row rows[] = {
      {kMove, {0, 0}, 1, 0, false},   // button up: ignored
      {kDown, {10, 10}, 1, 1, true},  // first point always taken
      {kMove, {12, 11}, 1, 1, true},  // 5 px^2 from the last: too close
      {kMove, {13, 11}, 1, 2, true},  // 10 px^2: taken
      {kUp, {20, 11}, 1, 3, true},
      {kMove, {40, 11}, 1, 3, false},  // button up again
      {kBack, {40, 11}, 1, 2, false},  // removes the last point
      {kDown, {60, 11}, 1, 3, true},
      {kUp, {60, 11}, 1, 3, true},  // same pixel: nothing
      {kDoubleClick, {60, 11}, 0, 3, true},
      {kEnter, {60, 11}, 0, 3, false},
  };
  FakeDrawingView view;
  CMappedObject record(&view);
  CObjTrack* track = NewTrack();
  track->drawing_state = 1;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    view.cursor = r.cursor;
    const CLatLon at(50 + r.cursor.y * 1e-4, -5 + r.cursor.x * 1e-4);
    bool result = false;
    switch (r.event) {
      case kDown: result = track->OnLButtonDown(at, &record); break;
      case kMove: result = track->OnMouseMove(at); break;
      case kUp: result = track->OnLButtonUp(at); break;
      case kBack: result = track->OnKeyDown(vd::ui::kVkBack); break;
      case kEnter: result = track->OnKeyDown(vd::ui::kVkReturn); break;
      case kDoubleClick: result = track->OnDoubleClick(at); break;
    }
    EXPECT_EQ(result, r.result) << "row " << i;
    EXPECT_EQ(track->drawing_state, r.state_after) << "row " << i;
    EXPECT_EQ(track->points().size(), r.points_after) << "row " << i;
  }
}

TEST_F(TrackTest, EndingHandDrawingWithOnePointRemovesTheTrack) {
  CObjTrack* keep = NewTrack();
  keep->AddRef();  // watch it after the document lets go
  keep->drawing_state = 1;
  keep->AddPoint(50, -5, 0, 0, 0, 0);
  keep->Select(false);
  keep->Deselect();
  EXPECT_EQ(keep->ref_count(), 1);  // left the document's list
  keep->Release();

  CObjTrack* track = NewTrack();
  track->drawing_state = 1;
  track->AddPoint(50, -5, 0, 0, 0, 0);
  track->AddPoint(50.1, -5, 0, 0, 0, 0);
  track->Deselect();
  EXPECT_EQ(track->drawing_state, 0);
  EXPECT_EQ(std::count(doc.GetObjectList()->begin(), doc.GetObjectList()->end(), track), 1);
}

// ---- Splitting ----

TEST_F(TrackTest, SplitMovesTheFirstPartAndSharesTheSplitPoint) {
  CObjTrack* track = doc.GetGPSTrack();
  for (int i = 0; i < 5; ++i) track->AddPoint(50 + 0.01 * i, -5, 1000 + 60 * i, 0, 0, 0);
  track->SplitAt({50.021, -5});
  ASSERT_EQ(doc.GetObjectList()->size(), 2u);
  auto* first = static_cast<CObjTrack*>(doc.GetObjectList()->back());
  EXPECT_EQ(first->name, "Track-split");
  ASSERT_EQ(first->points().size(), 3u);
  ASSERT_EQ(track->points().size(), 3u);
  EXPECT_EQ(first->points().back().time, track->points().front().time);
  EXPECT_EQ(doc.PeekGPSTrack(), first);
}

// ---- Trainer file ----

TEST_F(TrackTest, TrainerFileGivesOnePointPerTenSecondBin) {
  std::ostringstream file;
  file << "Sessiondate=06/15/2024 10:00:00\n"
          "description=Morning ride^extra\n"
          "sportName=Cycling\n"
          "duration=40\n";
  // Heart-rate samples: bin 0 averages 100, bin 2 averages 130.
  file << "\"1.0\",98\n\"2.0\",102\n\"21.0\",130\n";
  // GPS records every 10 s, standing still in speed so the recorded seconds are kept.
  for (int i = 0; i < 5; ++i) {
    file << "\"" << i * 10 << ".0\",0,0.0,x,0," << -5.0 + i * 0.001 << "," << 50.0
         << ",100.0,3\n";
  }
  file << "garbage line\n\"5.0\",0,0.0,x,0,0,0,0,3\n";  // no position: skipped
  CObjTrack* track = NewTrack();
  track->name.clear();
  std::istringstream in(file.str());
  track->ReadTrainerFile(in);
  EXPECT_EQ(track->name, "Morning ride");
  EXPECT_EQ(CCategory::GetNameOr(track->category()), "Cycling");
  ASSERT_EQ(track->points().size(), 5u);
  const int32_t start = track->points()[0].time;
  std::vector<int32_t> offsets;
  std::vector<int16_t> heart;
  for (const CTrackpoint& p : track->points()) {
    offsets.push_back(p.time - start);
    heart.push_back(p.heart_rate);
  }
  EXPECT_EQ(offsets, (std::vector<int32_t>{0, 10, 20, 30, 40}));
  EXPECT_EQ(heart, (std::vector<int16_t>{100, 100, 130, 130, 130}));
  EXPECT_FLOAT_EQ(track->points()[0].altitude, static_cast<float>(100.0 * 0.3048));
}

TEST_F(TrackTest, TrainerFileWithOneRecordAddsNothing) {
  std::istringstream in("duration=40\n\"0.0\",0,0.0,x,0,-5.0,50.0,10.0,3\n");
  CObjTrack* track = NewTrack();
  track->ReadTrainerFile(in);
  EXPECT_TRUE(track->points().empty());
}

}  // namespace
