// A chart opened in the program brings its elevation data with it: the cursor read-out shows
// the height under the cursor, and the 3D viewer gets terrain without the user opening an
// elevation file by hand.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <string>

#include "charts/elevation_file.h"
#include "charts/old_quick_chart.h"
#include "charts/tests/qed_fixture.h"
#include "core/persistent_value.h"
#include "corvex/lumex_handover.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/corvex_program.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"

namespace {

using vd::test::CorvexHome;
using vd::test::ProcessEventsUntil;
using vd::test::Program;
using vd::test::ScriptedAnswers;

CChartViewWidget* ChartViewShowing(Program& program) {
  // The widget class has no meta-object of its own: findChildren would match any window.
  for (QWidget* child : program.frame().findChildren<QWidget*>()) {
    auto* widget = dynamic_cast<CChartViewWidget*>(child);
    if (widget && widget->view() && widget->view()->chart()) return widget;
  }
  return nullptr;
}

void MoveMouse(CChartViewWidget& widget, vd::ui::Point client) {
  const QPointF at(client.x, client.y);
  QMouseEvent event(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &event);
}

TEST(ChartElevation, OpeningAChartOpensTheElevationFileBesideIt) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  ASSERT_TRUE(vd::os::MakeFolders(home.File("charts")));
  // The chart: 128 x 128 pixels of 1" from 50 N, 5 W; the grid covers it with samples 0.005
  // degrees apart.
  const std::string chart = home.File("charts/Glen.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(chart, vd::test::ChartFixture{}));
  vd::test::QedFixture grid;
  grid.north = 50.0;
  grid.west = -5.0;
  grid.cell_degrees = 0.005;
  const std::string qed = home.File("charts/Glen.qed");
  ASSERT_TRUE(vd::test::WriteQedFile(qed, grid));

  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  CChartViewWidget* widget = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = ChartViewShowing(program)) != nullptr; }));
  ASSERT_EQ(widget->view()->GetChartPath(), chart);

  const CElevationFile* terrain = program.app().GetElevationFile();
  ASSERT_NE(terrain, nullptr);
  EXPECT_EQ(terrain->path(), qed);
  EXPECT_EQ(vd::OpenAppProfile().GetString("settings", "qedfile"), qed);

  // The read-out under the cursor ends with the height there.
  COstrelView& view = *widget->view();
  const vd::ui::Point client = view.ChartToClient({70, 50});
  MoveMouse(*widget, client);
  const vd::ui::Point pixel = view.ClientToChart(client);
  double lat = 0, lon = 0;
  view.chart()->PixelToLatLon(pixel.x, pixel.y, lat, lon);
  const float height = terrain->GetHeight(lat, lon);
  ASSERT_LT(height, kNoElevation);
  const std::string line = "\nElevation: " + program.app().FormatDepth(height);
  EXPECT_NE(line, "\nElevation: ");
  const std::string& tip = view.tip_text();
  ASSERT_GE(tip.size(), line.size()) << tip;
  EXPECT_EQ(tip.substr(tip.size() - line.size()), line) << tip;

  // What 3D World hands the viewer: this file, with terrain at the view's centre.
  const CElevationLookup lookup = CurrentElevationData();
  EXPECT_EQ(lookup.file_path, qed);
  ASSERT_TRUE(view.GetCentreLatLon(lat, lon));
  ASSERT_TRUE(lookup.height);
  EXPECT_LT(lookup.height(lat, lon), kNoElevation);
}

TEST(ChartElevation, AChartWithoutElevationDataKeepsTheOpenFileAndNeedsNoNetwork) {
  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder(&answers);
  ASSERT_TRUE(vd::os::MakeFolders(home.File("charts")));
  const std::string chart = home.File("charts/Bare.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(chart, vd::test::ChartFixture{}));
  // An elevation file opened before, elsewhere.
  vd::test::QedFixture grid;
  grid.north = 50.0;
  grid.west = -5.0;
  const std::string qed = home.File("terrain.qed");
  ASSERT_TRUE(vd::test::WriteQedFile(qed, grid));
  vd::OpenAppProfile().SetString("settings", "qedfile", qed);
  // Any reach for the redirect service would fail here rather than leave the machine.
  vd::OpenAppProfile().SetString("settings", "offline_redirect_server", "127.0.0.1:9");

  Program program({"--no-splash", chart});
  ASSERT_TRUE(program.started());
  CChartViewWidget* widget = nullptr;
  ASSERT_TRUE(ProcessEventsUntil([&] { return (widget = ChartViewShowing(program)) != nullptr; }));
  const CElevationFile* terrain = program.app().GetElevationFile();
  ASSERT_NE(terrain, nullptr);
  EXPECT_EQ(terrain->path(), qed);
  EXPECT_FALSE(vd::os::IsDirectory(program.app().GetKvxFolder() + "/redir"));
}

}  // namespace
