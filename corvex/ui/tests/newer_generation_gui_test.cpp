// The newer library generation inside the running chart program: its overlay model talks to
// the program's main window (status line, hints, action sheets over the window) and is drawn
// by the program's painter.
#include <gtest/gtest.h>

#include <QPoint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/notify_callback.h"
#include "overlays/model/overlay_painter.h"
#include "overlays/model/overlay_sheets.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/ui/window_overlay_shell.h"
#include "platform/ui/popup_menu.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ScriptedAnswers;

// Answers message boxes as ScriptedAnswers does, and closes every popup menu unchosen,
// keeping the window each one belonged to and its title.
struct SheetAnswers : ScriptedAnswers {
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget* owner, QPoint) override {
    owners.push_back(owner);
    titles.push_back(menu.items().empty() ? "" : menu.items().front().text);
    return 0;
  }
  std::vector<QWidget*> owners;
  std::vector<std::string> titles;
};

TEST(CorvexNewerGeneration, OverlayModelReachesTheMainWindow) {
  CorvexHome home;
  SheetAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  auto* shell = dynamic_cast<CWindowOverlayShell*>(COverlayShell::Get());
  ASSERT_NE(shell, nullptr) << "no shell installed at start-up";
  EXPECT_EQ(shell->window(), &program.frame());
  EXPECT_NE(COverlayPainter::Get(), nullptr) << "the model's objects would draw nothing";
  CMarkManager* marks = CMarkManager::Instance();
  ASSERT_NE(marks, nullptr);

  const auto add_mark = [&](const std::string& name) {
    auto made = std::make_unique<COverlayMark>();
    made->name = name;
    made->latitude = 50.0;
    made->longitude = -1.0;
    return marks->AddMark(std::move(made));
  };

  // A long tap on a mark opens its sheet over the main window.
  COverlayMark* mark = add_mark("Buoy");
  ASSERT_NE(COverlaySheets::Get(), nullptr);
  EXPECT_FALSE(COverlaySheets::Get()->OpenMarkSheet(*mark));
  ASSERT_EQ(answers.owners.size(), 1u);
  EXPECT_EQ(answers.owners[0], &program.frame());

  // Starting a route from the mark shows the creation hint once, over the window; each tapped
  // point shows the route's length on the status line, and finishing the route clears it.
  CMarkManager::Settings().route_create_hint = false;
  COverlayRoute* route = marks->CreateRouteFromMark(mark);
  ASSERT_NE(route, nullptr);
  ASSERT_EQ(answers.asked.size(), 1u);
  EXPECT_EQ(answers.asked[0], "Tap to add a series of waypoints. Tap \"Done\" to finish.");
  route->AddTappedPoint(0, 0, GeoPoint{50.01, -1.0});
  EXPECT_EQ(program.frame().StatusText().rfind("Total distance: ", 0), 0u)
      << program.frame().StatusText();
  FireNotifyCallback();
  EXPECT_EQ(program.frame().StatusText(), "");
  marks->CreateRouteFromMark(add_mark("Pier"));
  EXPECT_EQ(answers.asked.size(), 1u) << "the hint is shown once";
  FireNotifyCallback();

  EXPECT_TRUE(program.Quit());
  EXPECT_EQ(COverlayShell::Get(), nullptr) << "the shell outlived the program";
}

}  // namespace
