// Routes built as a user builds them in the started program: the mouse on the chart window of
// the sample chart, the Undo and Redo commands, and the user-data file the program saves when
// it closes, read back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "corvex/command_ids.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "corvex/ui/tests/sample_chart_program.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"

namespace {

using vd::test::ProcessEventsUntil;

std::string PositionText(const CLatLon& p) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f,%.6f", p.lat, p.lon);
  return text;
}

// What a user can tell of the marks and routes of a list: each mark with its name, position
// and how many routes hold it; each route with its name and its points' names in order.
std::multiset<std::string> Picture(const ObjectList& list) {
  std::multiset<std::string> picture;
  for (const COstrelObject* object : list) {
    if (object->IsKindOf(CObjWaypoint::kClass)) {
      const auto* mark = static_cast<const CObjWaypoint*>(object);
      picture.insert("mark " + mark->name + " at " + PositionText(mark->position));
    } else if (object->IsKindOf(CObjRoute::kClass)) {
      std::string points;
      for (const CObjWaypoint* point : static_cast<const CObjRoute*>(object)->points())
        points += " " + point->name;
      picture.insert("route " + object->name + ":" + points);
    }
  }
  return picture;
}

std::string Text(const std::multiset<std::string>& picture) {
  std::string text;
  for (const std::string& line : picture) text += line + "\n";
  return text;
}

class RouteEditing : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = Showing()) != nullptr; }));
    vd::test::DrainEvents();
    start = Picture(List());
    start_routes = RouteCount(List());
  }

  CChartViewWidget* Showing() {
    for (QWidget* child : program.frame().findChildren<QWidget*>()) {
      auto* found = dynamic_cast<CChartViewWidget*>(child);
      if (found && found->view() && found->view()->chart() && found->view()->client_size().cx > 100)
        return found;
    }
    return nullptr;
  }
  COstrelView& View() { return *widget->view(); }
  ObjectList& List() { return *program.document()->GetObjectList(); }

  // A point of the window at a fraction of its width and height.
  vd::ui::Point At(double fx, double fy) {
    const vd::ui::Size size = View().client_size();
    return {static_cast<int>(size.cx * fx), static_cast<int>(size.cy * fy)};
  }
  vd::ui::Point Of(const CObjWaypoint& mark) {
    return vd::test::ClientOf(View(), mark.position.lat, mark.position.lon);
  }

  void Mouse(QEvent::Type type, vd::ui::Point p, Qt::MouseButton button) {
    const QPointF at(p.x, p.y);
    QMouseEvent event(type, at, widget->mapToGlobal(at), button,
                      type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
  }
  void Click(vd::ui::Point p) {
    Mouse(QEvent::MouseMove, p, Qt::NoButton);
    Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton);
    vd::test::DrainEvents();
  }
  void Key(int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
    vd::test::DrainEvents();
  }
  void Command(int id) {
    ASSERT_TRUE(program.frame().RouteUpdate(id).enabled) << id;
    program.frame().RouteCommand(id);
    vd::test::DrainEvents();
  }

  // A mark placed with New Mark and a click, then named.
  CObjWaypoint* PlaceMark(vd::ui::Point p, const char* name) {
    program.frame().RouteCommand(kCmdNewMark);
    Click(p);
    auto* mark = dynamic_cast<CObjWaypoint*>(List().back());
    if (!mark || mark->being_placed) return nullptr;
    mark->name = mark->short_name = name;
    return mark;
  }
  static size_t RouteCount(const ObjectList& list) {
    return std::count_if(list.begin(), list.end(),
                         [](const COstrelObject* o) { return o->IsKindOf(CObjRoute::kClass); });
  }
  // The route the test made: the one route beyond those of the start, the last in the list
  // (undo and redo put back what they restore at the end).
  CObjRoute* NewRoute() {
    if (RouteCount(List()) != start_routes + 1) return nullptr;
    for (auto it = List().rbegin(); it != List().rend(); ++it)
      if ((*it)->IsKindOf(CObjRoute::kClass)) return static_cast<CObjRoute*>(*it);
    return nullptr;
  }

  // The marks and routes of the user-data file the program wrote when it closed.
  std::multiset<std::string> SavedPicture() {
    const std::string path = program.document()->user_data_path();
    EXPECT_TRUE(program.Quit());
    ObjectList read;
    EXPECT_TRUE(ReadOverlayFileObjects(path, read)) << path;
    std::multiset<std::string> picture = Picture(read);
    for (COstrelObject* object : read) object->Release();
    return picture;
  }

  vd::test::CorvexHome home;
  vd::test::ScriptedAnswers answers;
  vd::ui::ScopedResponder responder{&answers};
  vd::test::Program program{{"--no-splash", vd::test::SampleChartPath()}};
  CChartViewWidget* widget = nullptr;
  std::multiset<std::string> start;
  size_t start_routes = 0;
};

TEST_F(RouteEditing, ARouteClickedThroughMarksHoldsThemAndUndoRedoStepThroughIt) {
  CObjWaypoint* alpha = PlaceMark(At(0.35, 0.3), "Alpha");
  ASSERT_NE(alpha, nullptr);
  CObjWaypoint* beta = PlaceMark(At(0.6, 0.6), "Beta");
  ASSERT_NE(beta, nullptr);

  program.frame().RouteCommand(kCmdNewRoute);
  CObjRoute* route = NewRoute();
  ASSERT_NE(route, nullptr);
  std::vector<std::multiset<std::string>> steps{Picture(List())};
  Click(At(0.2, 0.7));
  steps.push_back(Picture(List()));
  Click(Of(*alpha));
  steps.push_back(Picture(List()));
  Click(Of(*beta));
  steps.push_back(Picture(List()));
  Key(Qt::Key_Escape);

  // The route holds the two marks themselves; their route lists name it.
  ASSERT_EQ(route->points().size(), 3u) << Text(steps.back());
  EXPECT_EQ(route->points()[1], alpha);
  EXPECT_EQ(route->points()[2], beta);
  for (const CObjWaypoint* mark : {alpha, beta}) {
    ASSERT_EQ(mark->routes().size(), 1u) << mark->name;
    EXPECT_EQ(&mark->routes().front()->RouteObject(), route) << mark->name;
  }
  EXPECT_EQ(steps.back().size(), start.size() + 4) << "two marks, the route and one new point";

  // Each Undo gives back the document as it was before the click, nothing more.
  for (size_t i = steps.size() - 1; i > 0; --i) {
    Command(kCmdUndo);
    EXPECT_EQ(Text(Picture(List())), Text(steps[i - 1])) << "undo to step " << i - 1;
  }
  // Each Redo the document after it.
  for (size_t i = 1; i < steps.size(); ++i) {
    Command(kCmdRedo);
    EXPECT_EQ(Text(Picture(List())), Text(steps[i])) << "redo to step " << i;
  }
  // The marks again in the route, both ways.
  route = NewRoute();
  ASSERT_NE(route, nullptr);
  ASSERT_EQ(route->points().size(), 3u);
  for (size_t i : {1u, 2u}) {
    const CObjWaypoint& mark = *route->points()[i];
    ASSERT_EQ(mark.routes().size(), 1u) << mark.name;
    EXPECT_EQ(&mark.routes().front()->RouteObject(), route) << mark.name;
  }

  // The saved file holds what the user sees, no stray mark.
  const std::multiset<std::string> shown = Picture(List());
  EXPECT_EQ(Text(SavedPicture()), Text(shown));
}

TEST_F(RouteEditing, UndoingClickedPointsOneByOneLeavesThePointsThatRemain) {
  program.frame().RouteCommand(kCmdNewRoute);
  ASSERT_NE(NewRoute(), nullptr);
  std::vector<std::multiset<std::string>> steps{Picture(List())};
  for (double f : {0.25, 0.45, 0.65}) {
    Click(At(f, 0.75));
    steps.push_back(Picture(List()));
  }
  ASSERT_EQ(NewRoute()->points().size(), 3u) << Text(steps.back());
  Key(Qt::Key_Escape);
  for (size_t i = steps.size() - 1; i > 1; --i) {
    Command(kCmdUndo);
    EXPECT_EQ(Text(Picture(List())), Text(steps[i - 1])) << "undo to step " << i - 1;
  }
  ASSERT_NE(NewRoute(), nullptr);
  EXPECT_EQ(NewRoute()->points().size(), 1u);
  EXPECT_EQ(Text(SavedPicture()), Text(steps[1]));
}

}  // namespace
