// The note window: each control writes the note at once with the change notice, a locked note
// keeps its text and position, the layout bits are set without disturbing the others, and
// Cancel closes and the edits stay.
#include "corvex/ui/dlg_text_props.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPlainTextEdit>

#include "corvex/ui/dlg_current_position_props.h"
#include "corvex/ui/props_dialog_factory.h"
#include "corvex/ui/tests/props_test_world.h"
#include "platform/ui/responder.h"
#include "platform/ui/surface.h"

namespace {

using D = CDlgTextProps;

// Answers the colour and font choosers.
struct Chooser : vd::ui::DialogResponder {
  std::optional<vd::ui::ColourRef> ChooseColor(QWidget*, vd::ui::ColourRef initial) override {
    offered_colour = initial;
    return colour;
  }
  std::optional<vd::ui::Font> ChooseFont(QWidget*, const vd::ui::Font& initial) override {
    offered_font = initial;
    return font;
  }
  std::optional<vd::ui::ColourRef> colour;
  std::optional<vd::ui::Font> font;
  vd::ui::ColourRef offered_colour = 0;
  vd::ui::Font offered_font;
};

class TextPropsTest : public ::testing::Test, public vd::test::PropsWorld {
 public:
  CObjText* NewNote() {
    CObjText* note = doc.Add(new CObjText);
    note->position = {50.0, -1.0};
    note->text = "first\r\nsecond";
    note->edit_state = CObjText::kNormal;
    doc.notices.clear();
    return note;
  }
  static bool Enabled(D& dialog, int id) { return dialog.GetItem(id)->isEnabled(); }
  static void SetText(D& dialog, const std::string& text) {
    qobject_cast<QPlainTextEdit*>(dialog.GetItem(D::kTextEdit))
        ->setPlainText(QString::fromStdString(text));
  }

  Chooser chooser;
  vd::ui::ScopedResponder scope{&chooser};
};

TEST_F(TextPropsTest, TextAndPositionAreWrittenAtOnceUnlessLocked) {
  CObjText* note = NewNote();
  {
    D dialog(note, &parent);
    EXPECT_EQ(Text(dialog, D::kTextEdit), "first\nsecond");
    SetText(dialog, "new\nlines");
    EXPECT_EQ(note->text, "new\nlines");
    EXPECT_TRUE(doc.Told(kChangeModified, note));

    Type(dialog, D::kPositionEdit, "51.5, -2.25");
    EXPECT_DOUBLE_EQ(note->position.lat, 51.5);
    EXPECT_DOUBLE_EQ(note->position.lon, -2.25);
    // No position in the text: the note stays, the views are still told.
    doc.notices.clear();
    Type(dialog, D::kPositionEdit, "nowhere");
    EXPECT_DOUBLE_EQ(note->position.lat, 51.5);
    EXPECT_TRUE(doc.Told(kChangeModified, note));
    // A refresh from outside shows the position rounded, without taking the rounding in.
    note->position = {50.123456789, -1.987654321};
    dialog.Refresh();
    EXPECT_DOUBLE_EQ(note->position.lat, 50.123456789);
    EXPECT_DOUBLE_EQ(note->position.lon, -1.987654321);
  }
  note->locked = true;
  D dialog(note, &parent);
  EXPECT_FALSE(Enabled(dialog, D::kTextEdit));
  EXPECT_FALSE(Enabled(dialog, D::kPositionEdit));
  doc.notices.clear();
  SetText(dialog, "changed anyway");
  Type(dialog, D::kPositionEdit, "10, 20");
  EXPECT_EQ(note->text, "new\nlines");
  EXPECT_DOUBLE_EQ(note->position.lat, 50.123456789);
  EXPECT_TRUE(doc.notices.empty());
}

TEST_F(TextPropsTest, LayoutChecksAndRadiosSetTheirBitsOnly) {
  CObjText* note = NewNote();
  note->text_format = vd::ui::kDrawTextWordBreak | vd::ui::kDrawTextNoClip;
  note->fill_background = true;
  D dialog(note, &parent);
  EXPECT_TRUE(Enabled(dialog, D::kBackgroundButton));
  EXPECT_TRUE(Enabled(dialog, D::kRightRadio));

  Click(dialog, D::kSolidCheck);
  EXPECT_FALSE(note->fill_background);
  EXPECT_FALSE(Enabled(dialog, D::kBackgroundButton));
  EXPECT_TRUE(doc.Told(kChangeModified, note));

  const struct {
    int radio;
    uint32_t bits;
  } alignments[] = {{D::kRightRadio, vd::ui::kDrawTextRight},
                    {D::kCentreRadio, vd::ui::kDrawTextCenter},
                    {D::kLeftRadio, vd::ui::kDrawTextLeft}};
  for (const auto& a : alignments) {
    Click(dialog, a.radio);
    EXPECT_EQ(note->text_format,
              vd::ui::kDrawTextWordBreak | vd::ui::kDrawTextNoClip | a.bits);
  }

  Click(dialog, D::kCentreRadio);
  Click(dialog, D::kMultiLineCheck);  // to a single line
  EXPECT_EQ(note->text_format,
            vd::ui::kDrawTextSingleLine | vd::ui::kDrawTextNoClip | vd::ui::kDrawTextCenter);
  EXPECT_FALSE(Enabled(dialog, D::kLeftRadio));
  Click(dialog, D::kMultiLineCheck);
  EXPECT_EQ(note->text_format,
            vd::ui::kDrawTextWordBreak | vd::ui::kDrawTextNoClip | vd::ui::kDrawTextCenter);
  EXPECT_TRUE(Enabled(dialog, D::kLeftRadio));
}

TEST_F(TextPropsTest, ChoosersEditFontAndColoursAndCancelLeavesThem) {
  CObjText* note = NewNote();
  note->font.width = 7;
  note->font.char_set = 2;
  note->text_colour = 0x000010;
  note->background_colour = 0x000020;
  D dialog(note, &parent);

  // A cancelled chooser changes nothing.
  doc.notices.clear();
  Click(dialog, D::kTextColourButton);
  Click(dialog, D::kFontButton);
  EXPECT_EQ(note->text_colour, 0x000010u);
  EXPECT_TRUE(doc.notices.empty());

  chooser.colour = 0x112233;
  Click(dialog, D::kTextColourButton);
  EXPECT_EQ(chooser.offered_colour, 0x000010u);
  EXPECT_EQ(note->text_colour, 0x112233u);
  chooser.colour = 0x445566;
  Click(dialog, D::kBackgroundButton);
  EXPECT_EQ(chooser.offered_colour, 0x000020u);
  EXPECT_EQ(note->background_colour, 0x445566u);
  EXPECT_EQ(note->text_colour, 0x112233u);

  chooser.font = vd::ui::Font{"Courier New", -20, 700, true, false, true, 0};
  Click(dialog, D::kFontButton);
  EXPECT_EQ(chooser.offered_font.face, "Arial");
  EXPECT_EQ(note->font.face, "Courier New");
  EXPECT_EQ(note->font.height, -20);
  EXPECT_EQ(note->font.weight, 700);
  EXPECT_EQ(note->font.italic, 1);
  EXPECT_EQ(note->font.strike_out, 1);
  // What the chooser does not know stays.
  EXPECT_EQ(note->font.width, 7);
  EXPECT_EQ(note->font.char_set, 2);
  EXPECT_TRUE(doc.Told(kChangeModified, note));
}

TEST_F(TextPropsTest, CancelAndOkBothCloseKeepingTheEdits) {
  for (const bool cancel : {true, false}) {
    CObjText* note = NewNote();
    D dialog(note, &parent);
    SetText(dialog, "edited");
    Type(dialog, D::kPositionEdit, "10, 20");
    chooser.colour = 0x0000FF;
    Click(dialog, D::kTextColourButton);
    Click(dialog, cancel ? vd::ui::kIdCancel : D::kKeepButton);
    EXPECT_TRUE(dialog.closed());
    EXPECT_EQ(note->text, "edited");
    EXPECT_DOUBLE_EQ(note->position.lat, 10.0);
    EXPECT_EQ(note->text_colour, 0x0000FFu);
    chooser.colour.reset();
  }
}

TEST_F(TextPropsTest, NotesAndTheOwnVesselGetTheirWindows) {
  CObjText* note = NewNote();
  CObjCurrentPosition* vessel = doc.Add(new CObjCurrentPosition);
  EXPECT_TRUE(dynamic_cast<CDlgTextProps*>(CreateObjectPropsDialog(*note, &parent).get()));
  EXPECT_TRUE(dynamic_cast<CDlgCurrentPositionProps*>(
      CreateObjectPropsDialog(*vessel, &parent).get()));
}

}  // namespace
