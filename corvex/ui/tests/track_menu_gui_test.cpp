// The track pop-up of a chart window in the running program: Remove trackpoint, Join Track and
// Split Track work on the track under the mouse where the menu was opened, each undone in one
// step by the program's Undo; Other profile takes the track's extra series name.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "corvex/command_ids.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "overlays/obj_track.h"
#include "gps/ui/altitude_profile_wnd.h"
#include <QCoreApplication>
#include <QDockWidget>
#include <QImage>
#include <QMouseEvent>
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"

namespace {

using vd::test::CorvexHome;
using vd::test::PlainChart;
using vd::test::Program;
using vd::test::ScriptedAnswers;

// Chooses one command from the menus the program shows, and keeps their entries.
struct MenuChoice : ScriptedAnswers {
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    entries.clear();
    Collect(menu);
    return answer;
  }
  void Collect(const vd::ui::PopupMenu& menu) {
    for (const auto& item : menu.items()) {
      if (item.submenu) {
        Collect(*item.submenu);
      } else if (!item.separator) {
        entries.push_back({item.id, item.text, (item.flags & vd::ui::PopupMenu::kDisabled) == 0});
      }
    }
  }
  struct Entry {
    int id;
    std::string text;
    bool enabled;
  };
  const Entry* Find(int id) const {
    for (const Entry& e : entries)
      if (e.id == id) return &e;
    return nullptr;
  }
  int answer = 0;
  std::vector<Entry> entries;
};

// The tracks of the document as "name: x x x" with the chart column of each point.
std::vector<std::string> Tracks(COstrelDoc& doc) {
  std::vector<std::string> out;
  for (COstrelObject* object : *doc.GetObjectList()) {
    const auto* track = dynamic_cast<const CObjTrack*>(object);
    if (!track) continue;
    std::string line = track->name + ":";
    for (const CTrackpoint& p : track->points())
      line += " " + std::to_string(static_cast<int>(std::lround(
                        (p.position.lon - PlainChart::kWest) / PlainChart::kDegreesPerPixel)));
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

class TrackMenuTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program.started());
    view = vd::test::OpenPlainChartWindow(*program.document(), home);
    ASSERT_NE(view, nullptr);
    // One chart pixel to a screen pixel, the tracks' row in the middle.
    view->CentreOn(128, 128, 0);
  }

  CObjTrack* AddTrack(const std::string& name, std::vector<int> columns) {
    COstrelDoc& doc = *program.document();
    CCurrentOwnerScope owner(&doc);
    auto* track = new CObjTrack;
    track->name = name;
    int32_t time = 1700000000;
    for (int x : columns) track->AddPoint(PlainChart::Lat(128), PlainChart::Lon(x), time += 60, 0, 0, 0);
    track->AddRef();
    doc.GetObjectList()->push_back(track);
    doc.UpdateAllViews(nullptr, 0, nullptr);
    vd::test::DrainEvents();
    return track;
  }

  // The mouse goes to the chart column on the tracks' row and the right button opens the
  // menu of the object there, where the chooser picks the command.
  void RightClickAt(int column, int command) {
    menu.answer = command;
    const vd::ui::Point p = vd::test::ClientOf(*view, PlainChart::Lat(128), PlainChart::Lon(column));
    view->OnInputMessage({vd::ui::kWmMouseMove, 0, vd::ui::MakeLParam(p.x, p.y)});
    view->OnInputMessage({vd::ui::kWmRButtonDown, vd::ui::kMkRButton, vd::ui::MakeLParam(p.x, p.y)});
    view->OnInputMessage({vd::ui::kWmRButtonUp, 0, vd::ui::MakeLParam(p.x, p.y)});
    vd::test::DrainEvents();
  }

  void Undo() {
    ASSERT_TRUE(program.document()->IsCommandEnabled(kCmdUndo));
    program.document()->OnCommand(kCmdUndo);
    vd::test::DrainEvents();
  }

  CorvexHome home;
  MenuChoice menu;
  vd::ui::ScopedResponder responder{&menu};
  Program program;
  COstrelView* view = nullptr;
};

TEST_F(TrackMenuTest, EditsWorkWhereTheMenuWasOpenedAndUndoInOneStep) {
  COstrelDoc& doc = *program.document();
  AddTrack("Trip", {60, 90, 120, 150, 180});
  const std::vector<std::string> start = Tracks(doc);
  ASSERT_EQ(start, std::vector<std::string>{"Trip: 60 90 120 150 180"});

  RightClickAt(150, COstrelView::kCmdRemoveTrackPoint);
  ASSERT_NE(menu.Find(COstrelView::kCmdRemoveTrackPoint), nullptr) << "the track's menu did not show";
  EXPECT_TRUE(menu.Find(COstrelView::kCmdRemoveTrackPoint)->enabled);
  EXPECT_EQ(Tracks(doc), std::vector<std::string>{"Trip: 60 90 120 180"});
  Undo();
  EXPECT_EQ(Tracks(doc), start);

  RightClickAt(120, COstrelView::kCmdSplitTrack);
  const std::vector<std::string> split = Tracks(doc);
  EXPECT_EQ(split, (std::vector<std::string>{"Trip-split: 60 90 120", "Trip: 120 150 180"}));
  Undo();
  EXPECT_EQ(Tracks(doc), start);

  // A second track ends 40 m from this one's start: Join Track nearer the start takes it in.
  AddTrack("Approach", {10, 30, 58});
  const std::vector<std::string> two = Tracks(doc);
  RightClickAt(90, COstrelView::kCmdJoinTrack);
  EXPECT_EQ(Tracks(doc), std::vector<std::string>{"Trip: 10 30 58 60 90 120 150 180"});
  Undo();
  EXPECT_EQ(Tracks(doc), two);
}

TEST_F(TrackMenuTest, OtherProfileTakesTheTracksSeriesName) {
  CObjTrack* plain = AddTrack("Walk", {60, 90, 120});
  RightClickAt(90, 0);
  ASSERT_NE(menu.Find(kCmdOtherProfile), nullptr);
  EXPECT_FALSE(menu.Find(kCmdOtherProfile)->enabled);

  plain->other_label = "Cadence (rpm)";
  RightClickAt(90, 0);
  ASSERT_NE(menu.Find(kCmdOtherProfile), nullptr);
  EXPECT_TRUE(menu.Find(kCmdOtherProfile)->enabled);
  EXPECT_EQ(menu.Find(kCmdOtherProfile)->text, "Cadence (rpm) Profile");
}

// The track's GPS Altitude pane, opened from its menu: the mouse over the profile brings up the
// tip, a small window of its own in light blue just below the cursor, which a click hides.
TEST_F(TrackMenuTest, AltitudeProfileTipIsAWindowBelowTheCursor) {
  AddTrack("Climb", {60, 90, 120, 150})->RecomputeTotals();
  RightClickAt(90, kCmdAltitudeProfile);
  CAltitudeProfileWnd* pane = nullptr;
  for (QWidget* widget : program.frame().findChildren<QWidget*>())
    if (!pane) pane = dynamic_cast<CAltitudeProfileWnd*>(widget);
  ASSERT_NE(pane, nullptr) << "the pane did not open";
  pane->SetClientSize(400, 150);
  ASSERT_FALSE(pane->samples().empty());

  ASSERT_GT(pane->total_length(), 0.0);
  ASSERT_GT(pane->height(), 60) << pane->width() << "x" << pane->height();
  const QPoint at(pane->plot().left + 30, 40);
  QMouseEvent move(QEvent::MouseMove, QPointF(at), pane->mapToGlobal(QPointF(at)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pane, &move);
  EXPECT_TRUE(pane->popup_text().starts_with("Distance ")) << pane->popup_text();
  QWidget* tip = pane->popup();
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(tip->isWindow()) << "a window of its own, not clipped by the pane";
  EXPECT_TRUE(tip->isVisible());
  EXPECT_EQ(tip->geometry().topLeft(), pane->mapToGlobal(at + QPoint(0, CDataProfileWnd::kPopupOffset)));
  const QImage picture = tip->grab().toImage();
  EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::black)) << "its frame";
  EXPECT_EQ(picture.pixelColor(1, picture.height() - 2), QColor(184, 233, 255));

  QMouseEvent click(QEvent::MouseButtonPress, QPointF(2, 2), tip->mapToGlobal(QPointF(2, 2)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(tip, &click);
  EXPECT_FALSE(tip->isVisible());
  EXPECT_EQ(pane->popup_text(), "");
}

// Profiles opened one after another, of one track and of another track (panes of a kind share
// their place): each opens where the user still sees the ones before, their titles uncovered.
TEST_F(TrackMenuTest, ProfilePanesOpenWithoutHidingEachOther) {
  std::vector<QDockWidget*> opened;
  const auto open = [&](int column, int command) {
    const auto before = program.frame().findChildren<QDockWidget*>();
    RightClickAt(column, command);
    for (QDockWidget* dock : program.frame().findChildren<QDockWidget*>())
      if (!before.contains(dock) && dock->isVisible()) opened.push_back(dock);
  };
  AddTrack("Climb", {60, 90, 120, 150})->RecomputeTotals();
  open(90, kCmdAltitudeProfile);
  open(90, kCmdSpeedProfile);
  // Another track over the first one: the profile its menu opens is a pane of the first one's
  // kind.
  AddTrack("Descent", {80, 90, 100})->RecomputeTotals();
  open(90, kCmdAltitudeProfile);
  ASSERT_EQ(opened.size(), 3u) << "the panes did not open";
  EXPECT_NE(opened[0]->windowTitle(), opened[2]->windowTitle());
  for (size_t i = 0; i < opened.size(); ++i) {
    // A point of the pane's title bar, where its name shows.
    const QPoint title = opened[i]->frameGeometry().topLeft() + QPoint(8, 4);
    for (size_t later = i + 1; later < opened.size(); ++later) {
      EXPECT_FALSE(opened[later]->frameGeometry().contains(title))
          << opened[later]->windowTitle().toStdString() << " covers "
          << opened[i]->windowTitle().toStdString();
    }
  }
}

}  // namespace
