// Text notes: the placing, moving and resizing state machine, archive records and the tagged
// text line.
#include "overlays/obj_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/persistent_value.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_track.h"
#include "overlays/overlay_archive.h"
#include "overlays/tests/archive_test_objects.h"
#include "overlays/tests/overlay_test_objects.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ArchiveBytes;

// A view whose client pixels are chart pixels shifted by 100, with a cursor.
class TestView : public CMappedView, public CTrackDrawingView {
 public:
  vd::ui::Point ChartToClient(vd::ui::Point chart) const override {
    return {chart.x + 100, chart.y + 100};
  }
  float ScaleFactor() const override { return 1.0f; }
  void SetPositionMarker(double, double) override {}
  vd::ui::Point CursorPixel() const override { return cursor; }
  vd::ui::Point cursor;
};

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path()); }

  std::string Store(CArchiveObject& object) {
    return vd::test::StoredArchive(
        dir.path() + "/note.vdo", [&](COverlayArchive& archive) { archive.WriteObject(&object); });
  }

  vd::test::TempDir dir;
  vd::test::OverlayWorld world;
};

std::vector<int> Codes(const std::vector<vd::test::ChangeRecord>& log) {
  std::vector<int> codes;
  for (const auto& r : log) {
    if (r.receiver == vd::test::ChangeRecord::kViews) codes.push_back(r.code);
  }
  return codes;
}

TEST_F(TextTest, NewNoteIsPlacedByOneClickAndDeselectingItFirstRemovesIt) {
  bool gone = false;
  struct Watched : CObjText {
    ~Watched() override { *flag = true; }
    bool* flag = nullptr;
  };
  auto* note = world.doc.Add(new Watched);
  note->flag = &gone;
  std::string status;
  note->GetStatusText(status, {}, nullptr);
  EXPECT_EQ(status, "Click to position a note");
  EXPECT_TRUE(IsEditingObjText(note));
  note->Select(false);
  note->Deselect();
  EXPECT_TRUE(gone);
  EXPECT_TRUE(world.doc.objects.empty());
}

// (state, event) -> (state, effect) of the editing machine.
TEST_F(TextTest, EditingStateMachine) {
  TestView view;
  CMappedObject hit_edge(&view);
  hit_edge.hit_index = 1;
  CMappedObject hit_inside(&view);
  hit_inside.hit_index = 0;

  enum Event { kDown, kDownEdge, kMove, kUp };
  struct Case {
    const char* what;
    int32_t state;
    bool button;
    bool locked;
    Event event;
    int32_t want_state;
    CLatLon want_position;
    int32_t want_width;
    std::vector<int> want_codes;
    bool want_result;
  };
  const CLatLon start{50.0, -4.0};
  const CLatLon click{50.1, -4.1};
  const std::vector<Case> cases = {
      {"placing: button up places the note", CObjText::kPlacing, true, false, kUp,
       CObjText::kNormal, click, 200, {kChangeModified, kChangeSelected}, true},
      {"placing, locked: stays unplaced", CObjText::kPlacing, true, true, kUp, CObjText::kPlacing,
       start, 200, {}, true},
      {"up without down is ignored", CObjText::kNormal, false, false, kUp, CObjText::kNormal,
       start, 200, {}, false},
      {"normal: down inside keeps the state", CObjText::kNormal, false, false, kDown,
       CObjText::kNormal, start, 200, {kChangeSelected}, true},
      {"normal: down at the right edge starts a width drag", CObjText::kNormal, false, false,
       kDownEdge, CObjText::kResizing, start, 200, {kChangeEditState, kChangeSelected}, true},
      {"normal, button down: move drags the note", CObjText::kNormal, true, false, kMove,
       CObjText::kNormal, {50.1 + 0.0, -4.1 + 0.0}, 200, {kChangeMoved, kChangeModified}, true},
      {"normal, locked: move does nothing", CObjText::kNormal, true, true, kMove,
       CObjText::kNormal, start, 200, {}, false},
      {"move without button does nothing", CObjText::kNormal, false, false, kMove,
       CObjText::kNormal, start, 200, {}, false},
      {"resizing: move sets the width from the cursor", CObjText::kResizing, true, false, kMove,
       CObjText::kResizing, start, 250, {kChangeMoved, kChangeModified}, true},
      {"resizing: button up ends the drag", CObjText::kResizing, true, false, kUp,
       CObjText::kNormal, start, 200, {kChangeEditState}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CObjText* note = world.doc.Add(new CObjText);
    note->edit_state = c.state;
    note->button_down = c.button;
    note->locked = c.locked;
    note->position = start;
    note->box_width = 200;
    note->drag_offset = {};
    note->resize_view = c.state == CObjText::kResizing ? &view : nullptr;
    note->resize_anchor_x = 100;
    view.cursor = {350, 0};
    hit_edge.SetObject(note, nullptr);
    hit_inside.SetObject(note, nullptr);
    world.log.clear();
    bool result = false;
    switch (c.event) {
      case kDown: result = note->OnLButtonDown(click, &hit_inside); break;
      case kDownEdge: result = note->OnLButtonDown(click, &hit_edge); break;
      case kMove: result = note->OnMouseMove(click); break;
      case kUp: result = note->OnLButtonUp(click); break;
    }
    EXPECT_EQ(result, c.want_result);
    EXPECT_EQ(note->edit_state, c.want_state);
    EXPECT_EQ(note->position, c.want_position);
    EXPECT_EQ(note->box_width, c.want_width);
    EXPECT_EQ(Codes(world.log), c.want_codes);
    note->edit_state = CObjText::kNormal;
    if (COstrelObject* selected = COstrelObject::GetSelected(nullptr)) selected->Deselect();
  }
}

TEST_F(TextTest, DragKeepsTheGrabOffsetAndWidthDragsOutOfRangeGive200) {
  TestView view;
  CMappedObject hit(&view);
  CObjText* note = world.doc.Add(new CObjText);
  note->edit_state = CObjText::kNormal;
  note->position = {50.0, -4.0};
  // The edge of another object under the cursor is no handle of the note's.
  CObjText* other = world.doc.Add(new CObjText);
  hit.SetObject(other, nullptr);
  hit.hit_index = 1;
  note->OnLButtonDown({49.9, -4.2}, &hit);
  EXPECT_EQ(note->edit_state, CObjText::kNormal);
  note->OnLButtonUp({49.9, -4.2});
  hit.SetObject(note, nullptr);
  hit.hit_index = 0;
  note->OnLButtonDown({49.9, -4.2}, &hit);
  note->OnMouseMove({49.8, -4.0});
  EXPECT_NEAR(note->position.lat, 49.9, 1e-12);
  EXPECT_NEAR(note->position.lon, -3.8, 1e-12);
  note->OnLButtonUp({49.8, -4.0});

  hit.hit_index = 1;
  note->OnLButtonDown({}, &hit);
  ASSERT_EQ(note->edit_state, CObjText::kResizing);
  EXPECT_EQ(note->resize_view, &view);
  for (auto [cursor_x, want] : {std::pair{note->resize_anchor_x + 10, 200},
                                {note->resize_anchor_x + 20, 20},
                                {note->resize_anchor_x + 2000, 2000},
                                {note->resize_anchor_x + 2001, 200},
                                {note->resize_anchor_x - 50, 200}}) {
    view.cursor = {cursor_x, 0};
    note->OnMouseMove({});
    EXPECT_EQ(note->box_width, want) << cursor_x - note->resize_anchor_x;
  }
  std::string status;
  note->GetStatusText(status, {}, nullptr);
  EXPECT_EQ(status, "Drag to resize text box width");
  note->OnLButtonUp({});
  EXPECT_EQ(note->resize_view, nullptr);
  note->GetStatusText(status, {}, &hit);
  EXPECT_EQ(status, "Drag to resize text box width") << "the cursor on the right edge";
  note->text_format = 0;
  note->GetStatusText(status, {}, &hit);
  EXPECT_EQ(status, "Note") << "without word break the width means nothing";
}

TEST_F(TextTest, ArchiveRoundTripAndFixtureRecord) {
  CObjText note;
  note.edit_state = CObjText::kNormal;
  note.position = {50.5, -1.25};
  note.text = "Line one\nLine two, caf\xc3\xa9";
  note.font.height = -17;
  note.font.weight = 700;
  note.font.italic = 1;
  note.font.char_set = 2;
  note.font.pitch_and_family = 0x22;
  note.font.face = "Courier New";
  note.text_colour = 0x0000FF;
  note.background_colour = 0x00FF00;
  note.fill_background = false;
  note.box_width = 333;
  note.text_format = 0x11;
  note.reserved[0] = 7;
  note.reserved[1] = -8;
  const std::string first = Store(note);

  COverlayArchive archive(std::span(reinterpret_cast<const uint8_t*>(first.data()), first.size()));
  CObjText* read = archive.ReadObject<CObjText>();
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->text, note.text);
  EXPECT_EQ(read->font.face, "Courier New");
  EXPECT_EQ(read->font.pitch_and_family, 0x22);
  EXPECT_EQ(read->box_width, 333) << "stored in screen pixels and read as such";
  EXPECT_EQ(read->edit_state, CObjText::kNormal);
  EXPECT_EQ(Store(*read), first);

  // A record written field by field (schema 20: no undo stamps, no id), with a width out of
  // range and a face name longer than the font record holds.
  ArchiveBytes b;
  b.NewClass("CObjText", 20);
  b.Str("Tide").I32(1).I32(2).U8(0).U8(1).I32(0x32000000).U16(0);
  for (double v : {51.0, 1.5}) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    b.U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
  }
  b.Str("High water 14:20");
  b.I32(-13).I32(0).I32(0).I32(0).I32(400);
  for (int i = 0; i < 8; ++i) b.U8(0);
  b.Str(std::string(40, 'F'));
  b.I32(0).I32(0xc8ffff).U8(1).I32(5).I32(16).I32(0).I32(0);
  COverlayArchive old(std::span(reinterpret_cast<const uint8_t*>(b.data.data()), b.data.size()));
  CObjText* old_note = old.ReadObject<CObjText>();
  ASSERT_NE(old_note, nullptr);
  EXPECT_EQ(old_note->name, "Tide");
  EXPECT_EQ(old_note->text, "High water 14:20");
  EXPECT_EQ(old_note->position, CLatLon(51.0, 1.5));
  EXPECT_EQ(old_note->box_width, 200);
  EXPECT_EQ(old_note->font.face, std::string(31, 'F'));
  EXPECT_EQ(old.BytesLeft(), 0u);
}

TEST_F(TextTest, TextLineSurvivesCommasQuotesAndLineBreaks) {
  CObjText note;
  note.edit_state = CObjText::kNormal;
  note.name = "Say \"hi\", then";
  note.position = {50.123456, -4.5};
  note.text = "Rocks, \"awash\"\n100% caf\xc3\xa9 | here";
  note.font.height = -15;
  note.font.weight = 700;
  note.text_colour = 255;
  note.box_width = 250;
  note.reserved[1] = 9;
  std::string line;
  ASSERT_TRUE(note.WriteText(line));
  EXPECT_EQ(line.rfind("TX01,\"Say \"\"hi\"\", then\",\"Text\",1,0,50.123456,-4.500000,\"", 0), 0u)
      << line;
  EXPECT_NE(line.find("\", \"Arial\",15,700,0,0,255,13172735,1,250,16,0,9\n"), std::string::npos)
      << line;

  CObjText copy;
  ASSERT_TRUE(copy.ReadText(line.substr(0, line.size() - 1)));
  EXPECT_EQ(copy.name, note.name);
  EXPECT_EQ(copy.text, note.text);
  EXPECT_EQ(copy.position, note.position);
  EXPECT_EQ(copy.font.height, -15);
  EXPECT_EQ(copy.font.weight, 700);
  EXPECT_EQ(copy.box_width, 250);
  EXPECT_EQ(copy.reserved[1], 9);
  EXPECT_EQ(copy.edit_state, CObjText::kNormal);

  CObjText short_line;
  EXPECT_FALSE(short_line.ReadText("TX01,\"A\",\"Text\",1,0,50,1,\"x\"")) << "no face name";
}

// Font heights from a file are held to what a font can be made of; the most negative int
// must not be negated as it stands.
TEST_F(TextTest, AbsurdStoredFontHeightsAreHeldToTheLargestFont) {
  const int32_t max = TextFontRecord::kMaxHeight;
  struct Case {
    const char* stored;  // the tagged text field: the height as written (positive)
    int32_t expected;    // the note's font height
  };
  for (const Case& c : {Case{"-2147483648", max}, Case{"2147483647", -max},
                        Case{"-2147483647", max}, Case{"15", -15}, Case{"-15", 15}}) {
    SCOPED_TRACE(c.stored);
    CObjText note;
    ASSERT_TRUE(note.ReadText(std::string("TX01,\"A\",\"Text\",1,0,50,1,\"x\", \"Arial\",") +
                              c.stored + ",400"));
    EXPECT_EQ(note.font.height, c.expected);
    std::string line;
    ASSERT_TRUE(note.WriteText(line));
    EXPECT_NE(line.find("\"Arial\"," + std::to_string(-c.expected) + ",400,"),
              std::string::npos)
        << line;
  }
  // The binary record: INT_MIN read back as the largest character height.
  CObjText note;
  note.edit_state = CObjText::kNormal;
  note.font.height = INT32_MIN;
  const std::string stored = Store(note);
  COverlayArchive archive(std::span(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
  CObjText* read = archive.ReadObject<CObjText>();
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->font.height, -max);
  std::string line;
  ASSERT_TRUE(note.WriteText(line));
  EXPECT_NE(line.find("\"Arial\"," + std::to_string(max) + ",400,"), std::string::npos) << line;
}

TEST(TextFactory, ClassIsMadeByName) {
  CArchiveObject* object = OverlayClass::CreateByName("CObjText");
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(&object->GetRuntimeClass(), &CObjText::kClass);
  delete object;
}

}  // namespace
