// What the running program takes from the desktop, its panes and its charts: the desktop's
// icon for a mark's linked file ("File icon"), the alarm distances opened from the navigation
// figures pane's menu, and the magnetic variation at the centre of a chart opened.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <memory>
#include <string>

#include "core/persistent_value.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ui/dialog_controls.h"
#include "corvex/ui/dlg_nav_alarms.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "gps/ui/navigation_data.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/popup_menu.h"

namespace {

using vd::test::CorvexHome;
using vd::test::Program;
using vd::test::ScriptedAnswers;

CObjWaypoint* AddMark(COstrelDoc& doc, const std::string& name) {
  CCurrentOwnerScope owner(&doc);
  auto* mark = new CObjWaypoint;
  mark->name = name;
  mark->position = {50.0, -1.0};
  mark->being_placed = false;
  mark->AddRef();
  doc.GetObjectList()->push_back(mark);
  return mark;
}

TEST(ProgramDesktop, FileIconShowsTheDesktopsIconOfTheLinkedFile) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  const std::string notes = home.File("harbour notes.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(notes, "Fuel on the east quay\n"));

  for (const std::string& link : {notes, home.File("not there.pdf")}) {
    SCOPED_TRACE(link);
    CObjWaypoint* mark = AddMark(*program.document(), "Harbour");
    mark->link = link;
    mark->SetSymbol(CObjWaypoint::kFileSymbol);
    // The mark keeps the file icon (a mark the desktop gave no icon shows symbol 10).
    EXPECT_EQ(mark->symbol, CObjWaypoint::kFileSymbol);
    EXPECT_EQ(mark->GetSymbolName(), "File");
    EXPECT_EQ(mark->symbol_slot(), -1);
  }
}

TEST(ProgramDesktop, NavigationFiguresMenuOpensTheAlarmDistances) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  CObjWaypoint* mark = AddMark(*program.document(), "Buoy");
  program.frame().ShowNavigationPanes(mark, nullptr);
  CNavigationData* pane = CDataPane::FindNextDataWnd<CNavigationData>();
  ASSERT_NE(pane, nullptr);

  const std::unique_ptr<vd::ui::PopupMenu> menu = pane->LoadContextMenu();
  ASSERT_NE(menu, nullptr);
  const vd::ui::PopupMenu::Item* item = menu->FindItem(CNavigationData::kCmdAlarms);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text, "Alarms...");

  // The dialog opens over the program, here in nautical miles; OK keeps the distances typed.
  vd::OpenAppProfile().SetInt(CUnitCombo::kSection, CUnitCombo::kKey, 0);
  CNavigationData::arrival_alarm_nm = 0.0f;
  CNavigationData::cross_track_alarm_nm = 0.0f;
  bool shown = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* d = dynamic_cast<vd::ui::DialogWindow*>(w);
      if (!d || !d->isVisible() || d->windowTitle() != "Nav Alarms") continue;
      shown = true;
      d->ControlAs<QAbstractButton>(CDlgNavAlarms::kArrivalCheck)->click();
      d->SetItemText(CDlgNavAlarms::kArrivalEdit, "0.25");
      d->SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
    }
  });
  EXPECT_TRUE(pane->OnCommand(CNavigationData::kCmdAlarms));
  EXPECT_TRUE(shown);
  EXPECT_FLOAT_EQ(CNavigationData::arrival_alarm_nm, 0.25f);
  CNavigationData::arrival_alarm_nm = 0.0f;
}

TEST(ProgramDesktop, OpeningAChartTakesTheVariationAtItsCentre) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  Program program;
  ASSERT_TRUE(program.started());
  ASSERT_NE(vd::test::OpenPlainChartWindow(*program.document(), home), nullptr);
  vd::test::DrainEvents();
  using vd::test::PlainChart;
  EXPECT_NEAR(program.app().last_variation_lat, PlainChart::Lat(PlainChart::kSide / 2), 1e-6);
  EXPECT_NEAR(program.app().last_variation_lon, PlainChart::Lon(PlainChart::kSide / 2), 1e-6);
}

}  // namespace
