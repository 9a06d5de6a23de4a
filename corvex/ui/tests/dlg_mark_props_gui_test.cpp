// The mark window: each control writes its field at once with the change notice, typing is not
// overwritten by a refresh, Cancel and OK both close and the edits stay.
#include "corvex/ui/dlg_mark_props.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>

#include "corvex/ui/dialog_controls.h"
#include "corvex/ui/tests/props_test_world.h"
#include "corvex/ui/props_dialog_factory.h"
#include "overlays/obj_route.h"
#include "overlays/obj_icons.h"

namespace {

using D = CDlgMarkProps;

class MarkPropsTest : public ::testing::Test, public vd::test::PropsWorld {
 public:
  CObjWaypoint* NewMark() {
    CObjWaypoint* mark = doc.Add(new CObjWaypoint);
    mark->Set(50.0, -1.0, "M1", "old\r\ncomment", 0, 0);
    doc.notices.clear();
    return mark;
  }
};

TEST_F(MarkPropsTest, ControlsWriteTheMarkAtOnceWithTheirNotice) {
  CObjWaypoint* mark = NewMark();
  D dialog(mark, &parent);
  EXPECT_EQ(Text(dialog, D::kShortNameEdit), "M1");
  EXPECT_EQ(Text(dialog, D::kCommentEdit), "old\ncomment");

  Type(dialog, D::kPositionEdit, "51.5, -2.25");
  EXPECT_DOUBLE_EQ(mark->position.lat, 51.5);
  EXPECT_DOUBLE_EQ(mark->position.lon, -2.25);
  EXPECT_TRUE(doc.Told(kChangeModified, mark));

  // Text that is no position leaves it, but still tells the views.
  doc.notices.clear();
  Type(dialog, D::kPositionEdit, "nowhere");
  EXPECT_DOUBLE_EQ(mark->position.lat, 51.5);
  EXPECT_TRUE(doc.Told(kChangeModified, mark));

  doc.notices.clear();
  qobject_cast<QPlainTextEdit*>(dialog.GetItem(D::kCommentEdit))->setPlainText("line 1\nline 2");
  EXPECT_EQ(mark->comment, "line 1\nline 2");
  EXPECT_TRUE(doc.Told(kChangeModified, mark));

  Choose(dialog, D::kRadiusUnit, 5);  // metres
  doc.notices.clear();
  Type(dialog, D::kRadiusEdit, "250");
  EXPECT_FLOAT_EQ(mark->radius, 250.0f);
  EXPECT_TRUE(doc.Told(kChangeEditState, mark));
  Choose(dialog, D::kRadiusUnit, 0);  // nautical miles: shown anew
  EXPECT_EQ(Text(dialog, D::kRadiusEdit), "0.1");
  EXPECT_FLOAT_EQ(mark->radius, 250.0f);  // the rounded text is not taken as a new radius

  Choose(dialog, D::kCircleModeCombo, CObjWaypoint::kAnchorAlarm);
  EXPECT_EQ(mark->circle_mode, CObjWaypoint::kAnchorAlarm);

  Click(dialog, D::kShowNameCheck);
  EXPECT_EQ(mark->label_mode, CObjWaypoint::kLabelSymbolOnly);

  Type(dialog, D::kShortNameEdit, "AB");
  EXPECT_EQ(mark->short_name, "M1");  // taken when the edit is left
  emit qobject_cast<QLineEdit*>(dialog.GetItem(D::kShortNameEdit))->editingFinished();
  EXPECT_EQ(mark->short_name, "AB");
}

TEST_F(MarkPropsTest, APositionEditOfARoutePointTellsItsRoutes) {
  CObjWaypoint* first = NewMark();
  CObjWaypoint* second = doc.Add(new CObjWaypoint);
  second->Set(50.0, 0.0, "M2", "", 0, 0);
  CObjRoute* route = doc.Add(new CObjRoute);
  route->LinkWaypoint(first);
  route->LinkWaypoint(second);
  route->EndEditing();
  route->RecomputeLength();
  const double before = route->length;
  doc.notices.clear();
  D dialog(first, &parent);
  Type(dialog, D::kPositionEdit, "51, -1");
  EXPECT_TRUE(doc.Told(kChangeModified, route));
  EXPECT_GT(route->length, before);
}

TEST_F(MarkPropsTest, TypingIsNotOverwrittenByARefresh) {
  CObjWaypoint* mark = NewMark();
  D dialog(mark, &parent);
  Focus(dialog, D::kPositionEdit);
  ASSERT_TRUE(dialog.GetItem(D::kPositionEdit)->hasFocus());
  Type(dialog, D::kPositionEdit, "51");
  dialog.Refresh();
  EXPECT_EQ(Text(dialog, D::kPositionEdit), "51");
  // A field without the focus follows the object.
  mark->short_name = "NEW";
  dialog.Refresh();
  EXPECT_EQ(Text(dialog, D::kShortNameEdit), "NEW");
}

TEST_F(MarkPropsTest, CancelAndOkBothCloseKeepingTheEdits) {
  for (const bool cancel : {true, false}) {
    CObjWaypoint* mark = NewMark();
    D dialog(mark, &parent);
    int closed = 0;
    dialog.SetClosedHandler([&] { ++closed; });
    Type(dialog, D::kPositionEdit, "10, 20");
    Type(dialog, D::kLinkEdit, "/tmp/x.txt");
    Choose(dialog, D::kCircleModeCombo, CObjWaypoint::kProximityAlarm);
    doc.notices.clear();
    Click(dialog, cancel ? vd::ui::kIdCancel : D::kKeepButton);
    EXPECT_TRUE(dialog.closed());
    EXPECT_FALSE(dialog.widget()->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(closed, 1);
    EXPECT_DOUBLE_EQ(mark->position.lat, 10.0);
    EXPECT_EQ(mark->link, "/tmp/x.txt");
    EXPECT_EQ(mark->circle_mode, CObjWaypoint::kProximityAlarm);
    EXPECT_TRUE(doc.notices.empty()) << "closing changes nothing";
  }
}

TEST_F(MarkPropsTest, EnterDoesNotCloseTheWindow) {
  D dialog(NewMark(), &parent);
  dialog.dialog_window()->SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
  EXPECT_FALSE(dialog.closed());
  EXPECT_TRUE(dialog.widget()->isVisible());
}

TEST_F(MarkPropsTest, MakeDefaultStoresTheSymbolOfItsKind) {
  CObjWaypoint* mark = NewMark();
  mark->SetSymbol(3);
  mark->colour = 0x123456;
  D dialog(mark, &parent);
  Click(dialog, D::kMakeDefaultCheck);
  EXPECT_EQ(Setting("def_mark"), 3);
  EXPECT_EQ(app.default_mark_symbol, 3);
  EXPECT_FALSE(Setting("def_wp"));
  dialog.Refresh();
  EXPECT_TRUE(qobject_cast<QCheckBox*>(dialog.GetItem(D::kMakeDefaultCheck))->isChecked());
}

TEST_F(MarkPropsTest, EachObjectGetsTheWindowOfItsClass) {
  CObjWaypoint* mark = NewMark();
  CObjIcons* icons = doc.Add(new CObjIcons);
  EXPECT_TRUE(dynamic_cast<CDlgMarkProps*>(CreateObjectPropsDialog(*mark, &parent).get()));
  EXPECT_EQ(CreateObjectPropsDialog(*icons, &parent), nullptr);
}

}  // namespace
