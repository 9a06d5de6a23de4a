// The action sheets of marks, routes, route points and tracks: which rows each offers in which
// state, and what the rows do, also when reached through a long tap and nested sheets.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "overlays/model/ui/mark_action_sheet.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/notify_callback.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/ui/overlay_sheet_presenter.h"
#include "overlays/model/ui/route_action_sheet.h"
#include "overlays/model/tests/routing_test_support.h"
#include "overlays/model/ui/track_action_sheet.h"
#include "overlays/model/track_manager.h"
#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/menu_choices.h"

namespace {

constexpr uintptr_t kShown = CActionSheetMenu::kRowShown;
constexpr uintptr_t kDestructive = CActionSheetMenu::kRowDestructive;
constexpr uintptr_t kDisabled = CActionSheetMenu::kRowDisabled;
constexpr uintptr_t kHidden = CActionSheetMenu::kRowHidden;

// The states of the sheet's rows, in order.
std::vector<uintptr_t> States(const CActionSheetMenu& sheet) {
  std::vector<uintptr_t> states;
  for (const auto& item : sheet.items()) states.push_back(item->data());
  return states;
}

// Runs the first row of that text that is not hidden.
void Choose(const CActionSheetMenu& sheet, const std::string& text) {
  for (const auto& item : sheet.items()) {
    if (item->text() == text && item->data() != kHidden) {
      item->Invoke();
      return;
    }
  }
  ADD_FAILURE() << "no row " << text;
}

// Answers every message box with its first button (Yes for questions unless told otherwise)
// and records texts and captions.
struct MessageRecorder : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    texts.push_back(request.text);
    captions.push_back(request.caption);
    return vd::ui::MessageBoxButtons(request.flags).front() == vd::ui::kIdYes && !answer_yes
               ? vd::ui::kIdNo
               : vd::ui::MessageBoxButtons(request.flags).front();
  }
  std::vector<std::string> texts;
  std::vector<std::string> captions;
  bool answer_yes = true;
};

// Answers each popup menu with the next text to choose and each question as told; records the
// titles of the menus shown.
struct SheetResponder : MessageRecorder {
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    return vd::test::ChooseMenuItem(menu, choices, titles);
  }
  std::deque<std::string> choices;
  std::vector<std::string> titles;
};

struct TestShell : COverlayShell {
  void SetStatusText(const std::string&) override {}
  void ClearStatusText() override {}
  void ShowHint(const std::string& text) override { hints.push_back(text); }
  void ShowWarning(const std::string& caption, const std::string& text) override {
    warnings.push_back(caption + ": " + text);
  }
  void OpenLink(const std::string& link) override { links.push_back(link); }
  bool CanDownloadChartData() override { return can_download; }
  void DownloadChartData(const std::vector<std::pair<double, double>>& points,
                         bool polygon) override {
    downloads.emplace_back(points.size(), polygon);
  }
  std::vector<std::string> hints;
  std::vector<std::string> warnings;
  std::vector<std::string> links;
  std::vector<std::pair<size_t, bool>> downloads;
  bool can_download = false;
};

class ActionSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    COverlayShell::Install(&shell);
    COverlaySheets::Install(&COverlaySheetPresenter::Global());
  }
  void TearDown() override {
    COverlaySheets::Install(nullptr);
    COverlayShell::Install(nullptr);
    ClearNotifyCallback();
  }

  COverlayMark* Mark(const std::string& name) {
    auto mark = std::make_unique<COverlayMark>();
    mark->name = name;
    mark->latitude = 51.0;
    mark->longitude = 1.0;
    return marks.AddMark(std::move(mark));
  }
  COverlayTrack* Track(const std::string& name, double lat, int points) {
    auto track = std::make_unique<COverlayTrack>();
    track->name = name;
    for (int i = 0; i < points; ++i) {
      track->AddPoint(CTrackPoint{lat + i * 0.001, 2.0, 0.0, 0, 0}, false);
    }
    return tracks.AddTrack(std::move(track));
  }
  std::vector<std::pair<double, double>> Points(const COverlayRoute& route) {
    std::vector<std::pair<double, double>> points;
    route.GetPoints(points);
    return points;
  }

  CMarkManager marks;
  CTrackManager tracks;
  TestShell shell;
  SheetResponder answers;
  vd::ui::ScopedResponder responder{&answers};
};

TEST_F(ActionSheetTest, MarkSheetRowsFollowTheTargetAndTheLink) {
  COverlayMark* mark = Mark("Buoy");
  std::unique_ptr<CActionSheetMenu> sheet = CMarkActionSheet::Build(*mark);
  EXPECT_EQ(sheet->title(), "Buoy");
  //                                  Go-To   Cancel   Create  Edit    Link     Delete
  EXPECT_EQ(States(*sheet), (std::vector{kShown, kHidden, kShown, kShown, kHidden, kDestructive}));

  Choose(*sheet, "Go-To");
  EXPECT_EQ(marks.target().mark, mark);
  mark->link = "https://example.org/buoy";
  sheet = CMarkActionSheet::Build(*mark);
  EXPECT_EQ(States(*sheet), (std::vector{kHidden, kShown, kShown, kShown, kShown, kDestructive}));
  Choose(*sheet, "Open Link");
  EXPECT_EQ(shell.links, std::vector<std::string>{"https://example.org/buoy"});
  Choose(*sheet, "Cancel Navigation");
  EXPECT_FALSE(marks.target().HasTarget());
}

TEST_F(ActionSheetTest, DeletingAMarkAsksFirst) {
  COverlayMark* mark = Mark("Buoy");
  mark->keep = true;
  answers.answer_yes = false;
  answers.choices = {"Delete Mark"};
  EXPECT_TRUE(mark->OnKey(0, 0));
  EXPECT_EQ(answers.titles, std::vector<std::string>{"Buoy"});
  ASSERT_EQ(answers.texts.size(), 1u);
  EXPECT_EQ(answers.texts[0], "Delete locked Mark: \"Buoy\".\nAre you sure?");
  EXPECT_EQ(answers.captions[0], "Delete Mark");
  EXPECT_TRUE(mark->live) << "No keeps the mark";

  answers.answer_yes = true;
  answers.choices = {"Delete Mark"};
  mark->OnKey(0, 0);
  EXPECT_TRUE(mark->deleted);
  EXPECT_FALSE(mark->OnKey(0, 0)) << "a deletion record offers no sheet";
}

TEST_F(ActionSheetTest, CreateRouteFromTheMarkSheet) {
  COverlayMark* mark = Mark("Start");
  Choose(*CMarkActionSheet::Build(*mark), "Create Route");
  ASSERT_EQ(marks.routes.size(), 1u);
  EXPECT_EQ(marks.route_being_created(), marks.routes[0].get());
  EXPECT_EQ(marks.routes[0]->points.front()->name, "Start");
}

TEST_F(ActionSheetTest, DeleteRouteAsksFromThreePoints) {
  COverlayRoute* two = vd::test::MakeRoute(marks, 2);
  answers.choices = {"Delete Route"};
  EXPECT_TRUE(two->OnKey(0, 0));  // the route's sheet is its last point's
  EXPECT_TRUE(two->deleted);
  EXPECT_TRUE(answers.texts.empty()) << "two points: deleted without asking";

  COverlayRoute* three = vd::test::MakeRoute(marks, 3);
  three->name = "R3";
  answers.answer_yes = false;
  answers.choices = {"Delete Route"};
  three->OnKey(0, 0);
  EXPECT_EQ(answers.titles.back(), "R3");
  EXPECT_EQ(answers.texts, std::vector<std::string>{"Are you sure?"});
  EXPECT_EQ(answers.captions, std::vector<std::string>{"Delete route"});
  EXPECT_FALSE(three->deleted);
  answers.answer_yes = true;
  answers.choices = {"Delete Route"};
  three->OnKey(0, 0);
  EXPECT_TRUE(three->deleted);
}

TEST_F(ActionSheetTest, RouteSheetFollowsAndCancels) {
  COverlayRoute* route = vd::test::MakeRoute(marks, 3);
  COverlayMark& middle = *route->points[1];
  Choose(*CRouteActionSheet::Build(middle), "Follow Route");
  EXPECT_EQ(marks.target().route, route);
  std::unique_ptr<CActionSheetMenu> sheet = CRouteActionSheet::Build(middle);
  EXPECT_EQ(States(*sheet),
            (std::vector{kHidden, kShown, kShown, kDestructive, kShown, kShown}));
  Choose(*sheet, "Cancel Navigation");
  EXPECT_FALSE(marks.target().HasTarget());
}

TEST_F(ActionSheetTest, RoutePointSheetRows) {
  COverlayRoute* route = vd::test::MakeRoute(marks, 3);
  struct Case {
    size_t index;
    bool split_shown;
  };
  for (const Case& c : {Case{0, false}, Case{1, true}, Case{2, false}}) {
    COverlayMark& point = *route->points[c.index];
    std::unique_ptr<CActionSheetMenu> sheet = CRouteActionSheet::BuildPoint(point);
    EXPECT_EQ(sheet->title(), point.name);
    // Delete, Go-To, Cancel, Insert, Edit, Split, Link, Join (no other route to join onto).
    EXPECT_EQ(States(*sheet), (std::vector{kDestructive, kShown, kHidden, kShown, kShown,
                                           c.split_shown ? kShown : kHidden, kHidden, kHidden}))
        << c.index;
  }

  COverlayMark& middle = *route->points[1];
  Choose(*CRouteActionSheet::BuildPoint(middle), "Go-To Point");
  EXPECT_EQ(marks.target().mark, &middle);
  EXPECT_EQ(States(*CRouteActionSheet::BuildPoint(middle))[1], kHidden);
  Choose(*CRouteActionSheet::BuildPoint(middle), "Split Route");
  ASSERT_EQ(marks.routes.size(), 2u);
  EXPECT_EQ(route->points.size(), 2u);
  EXPECT_EQ(marks.routes[1]->points.size(), 2u);
}

TEST_F(ActionSheetTest, InsertWaypointAddsAfterThePointAndThenEnds) {
  COverlayRoute* route = vd::test::MakeRoute(marks, 3);
  route->name = "R1";
  Choose(*CRouteActionSheet::BuildPoint(*route->points[0]), "Insert Waypoint");
  EXPECT_EQ(marks.route_being_created(), route);
  EXPECT_EQ(NotifyCallbackContext(), route);
  EXPECT_TRUE(route->OnTap(0, 0, {50.005, -1.0}));
  ASSERT_EQ(route->points.size(), 4u);
  EXPECT_NEAR(route->points[1]->latitude, 50.005, 1e-12);
  EXPECT_EQ(marks.route_being_created(), nullptr) << "an insertion inside the route ends it";
}

TEST_F(ActionSheetTest, JoinRouteOntoTheRouteEndingNearest) {
  COverlayRoute* first = vd::test::MakeRoute(marks, 2);  // 50.00 .. 50.01
  COverlayRoute* far = marks.AddRoute(std::make_unique<COverlayRoute>());
  far->InsertPoint(std::make_unique<COverlayMark>(true), 0);
  far->points[0]->latitude = 10.0;
  COverlayRoute* second = marks.AddRoute(std::make_unique<COverlayRoute>());
  for (double lat : {50.01, 50.02, 50.03}) {
    auto mark = std::make_unique<COverlayMark>(true);
    mark->latitude = lat;
    mark->longitude = -1.0;
    second->InsertPoint(std::move(mark), second->points.size());
  }
  EXPECT_EQ(CRouteActionSheet::RouteToJoinOnto(*second->points[0]), first);
  std::unique_ptr<CActionSheetMenu> sheet = CRouteActionSheet::BuildPoint(*second->points[0]);
  EXPECT_EQ(States(*sheet).back(), kShown);
  EXPECT_EQ(States(*CRouteActionSheet::BuildPoint(*second->points[1])).back(), kHidden);
  Choose(*sheet, "Join Route");
  EXPECT_TRUE(second->deleted);
  EXPECT_EQ(Points(*first), (std::vector<std::pair<double, double>>{
                                {-1.0, 50.0}, {-1.0, 50.01}, {-1.0, 50.02}, {-1.0, 50.03}}));
}

TEST_F(ActionSheetTest, RouteOperations) {
  COverlayRoute* route = vd::test::MakeRoute(marks, 3);
  route->name = "Home to Harbour";
  // Reached through the route sheet; opening it ends the route's creation by tapping.
  marks.StartRouteCreation(route, route->points.size());
  answers.choices = {"Route Operations...", "Reverse route"};
  route->OnKey(0, 0);
  EXPECT_EQ(marks.route_being_created(), nullptr);
  EXPECT_EQ(route->name, "Harbour to Home");
  EXPECT_NEAR(route->points[0]->latitude, 50.02, 1e-12);

  // The download rows only with a chart that can download its data.
  EXPECT_EQ(States(*CRouteActionSheet::BuildOperations(*route)),
            (std::vector{kShown, kShown, kShown, kHidden, kHidden}));
  shell.can_download = true;
  std::unique_ptr<CActionSheetMenu> sheet = CRouteActionSheet::BuildOperations(*route);
  EXPECT_EQ(States(*sheet), (std::vector{kShown, kShown, kShown, kShown, kShown}));
  Choose(*sheet, "Download map along route");
  Choose(*sheet, "Download enclosed map");
  EXPECT_EQ(shell.downloads,
            (std::vector<std::pair<size_t, bool>>{{3, false}, {3, true}}));

  Choose(*sheet, "Convert to Track");
  ASSERT_EQ(tracks.tracks.size(), 1u);
  EXPECT_EQ(tracks.tracks[0]->name, "Harbour to Home-converted");
  EXPECT_EQ(tracks.tracks[0]->PointCount(), 3u);
  EXPECT_TRUE(route->deleted);
}

TEST_F(ActionSheetTest, RoutingSheetTipAndRevert) {
  COverlayRoute* route = vd::test::MakeRoute(marks, 1);  // refused before anything is sent
  CMarkManager::Settings().optimize_route_tip = false;
  std::unique_ptr<CActionSheetMenu> sheet = CRouteActionSheet::BuildRouting(*route);
  Choose(*sheet, "Route for Walking");
  Choose(*sheet, "Route for Cycling");
  Choose(*sheet, "Route for Driving");
  ASSERT_EQ(shell.hints.size(), 1u) << "the tip is shown once";
  EXPECT_EQ(shell.hints[0],
            "Note: The routing algorithm has limited knowledge of walking and cycling trails. "
            "Use \"Revert\" if it does not route along the desired path");
  EXPECT_TRUE(CMarkManager::Settings().optimize_route_tip);
  EXPECT_TRUE(shell.warnings.empty());

  Choose(*sheet, "Revert to original");
  EXPECT_EQ(shell.warnings,
            std::vector<std::string>{"Problem: Cannot undo optimization on this route."});
  CMarkManager::Settings().optimize_route_tip = false;
}

TEST_F(ActionSheetTest, TrackSheetRowsByTheTappedPoint) {
  COverlayTrack* earlier = Track("Earlier", 49.0, 3);
  COverlayTrack* track = Track("Walk", 50.0, 5);
  CTrackSection& section = *track->sections[0];
  struct Case {
    int32_t index;
    std::vector<uintptr_t> states;  // Edit, Split, Join (next), Join (onto), Convert, Delete
  };
  for (const Case& c :
       {Case{0, {kShown, kHidden, kHidden, kShown, kShown, kDestructive}},
        Case{2, {kShown, kShown, kHidden, kHidden, kShown, kDestructive}},
        Case{4, {kShown, kHidden, kShown, kHidden, kShown, kDestructive}}}) {
    section.tapped_index = c.index;
    std::unique_ptr<CActionSheetMenu> sheet = CTrackActionSheet::Build(section);
    EXPECT_EQ(sheet->title(), "Walk");
    EXPECT_EQ(States(*sheet), c.states) << c.index;
  }
  track->keep = true;
  section.tapped_index = 2;
  EXPECT_EQ(States(*CTrackActionSheet::Build(section)),
            (std::vector{kShown, kShown, kHidden, kHidden, kDisabled, kDisabled}));
  track->keep = false;

  // A tap near the first point, then the joining row: this track goes onto the earlier one.
  section.OnTap(0, 0, {50.0001, 2.0});
  EXPECT_EQ(section.tapped_index, 0);
  answers.choices = {"Join Track"};
  EXPECT_TRUE(section.OnKey(0, 0));
  EXPECT_TRUE(track->deleted);
  EXPECT_EQ(earlier->GetLastPoint()->latitude, 50.004);
}

TEST_F(ActionSheetTest, TrackSheetSplitConvertAndDelete) {
  COverlayTrack* track = Track("Walk", 50.0, 5);
  CTrackSection& section = *track->sections[0];
  section.tapped_index = 2;
  Choose(*CTrackActionSheet::Build(section), "Split Track");
  ASSERT_EQ(tracks.tracks.size(), 2u);
  EXPECT_EQ(tracks.tracks[1]->name, "Walk-split");
  EXPECT_EQ(track->PointCount(), 3u);

  answers.answer_yes = false;
  Choose(*CTrackActionSheet::Build(section), "Delete Track");
  EXPECT_EQ(answers.texts.back(), "Delete Track: \"Walk\".\nAre you sure?");
  EXPECT_EQ(answers.captions.back(), "Delete Track");
  EXPECT_FALSE(track->deleted);

  answers.answer_yes = true;
  COverlayTrack* split = tracks.tracks[1].get();
  CTrackSection& split_section = *split->sections[0];
  Choose(*CTrackActionSheet::Build(split_section), "Convert to Route");
  EXPECT_EQ(answers.texts.back(),
            "Convert Track to Route: \"Walk-split\".\n(Conversion discards speed/time data)\n"
            "Are you sure?");
  EXPECT_EQ(answers.captions.back(), "Convert Track");
  EXPECT_TRUE(split->deleted);
  ASSERT_EQ(marks.routes.size(), 1u);
  EXPECT_EQ(marks.routes[0]->name, "Walk-split-converted");

  Choose(*CTrackActionSheet::Build(section), "Delete Track");
  EXPECT_TRUE(track->deleted);
}

}  // namespace
