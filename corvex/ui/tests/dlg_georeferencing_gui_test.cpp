// Calibrating a chart in the started program: "Calibration" opens the dialog on the chart
// view, clicks on the chart take reference points, the refit writes the georeference into the
// chart, OK writes the calibration file and the settings; bad calibration files are reported.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "charts/jpr_calibration.h"
#include "charts/old_quick_chart.h"
#include "core/persistent_value.h"
#include "corvex/chart_calibration.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/dlg_georeferencing.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/tests/corvex_home.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"

namespace {

using vd::ui::Point;

// A known affine georeference: rotated and sheared, about 1 arc second a pixel.
double TrueLat(double x, double y) { return 49.9 - 0.00028 * y + 0.00002 * x; }
double TrueLon(double x, double y) { return -4.9 + 0.00042 * x + 0.00003 * y; }

std::string Bytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

class CalibrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.SetChartViewMaker(MakeChartViewWidget);
    ASSERT_TRUE(app_.InitInstance({"--no-splash"}));
    vd::test::DrainEvents();
    chart_path_ = home_.File("scan.qct");
    // Scanned with a rough georeference of its own.
    ASSERT_TRUE(vd::test::WriteChartFixture(chart_path_, vd::test::TestChart()));
    ASSERT_NE(doc().OpenChartView(chart_path_, true), nullptr);
    vd::test::DrainEvents();
    ASSERT_NE(view(), nullptr);
  }
  void TearDown() override {
    frame().CloseFrame();
    app_.ExitInstance();
  }

  CMainFrame& frame() { return *app_.GetMainFrame(); }
  COstrelDoc& doc() { return *app_.Document(); }
  COstrelView* view() { return dynamic_cast<COstrelView*>(frame().ActiveChartView()); }
  CDlgGeoreferencing* Dialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = dynamic_cast<CDlgGeoreferencing*>(w); d && d->isVisible()) return d;
    return nullptr;
  }
  CDlgGeoreferencing* Open() {
    EXPECT_TRUE(frame().RouteUpdate(COstrelView::kCmdCalibration).enabled);
    frame().RouteCommand(COstrelView::kCmdCalibration);
    return Dialog();
  }

  // A click on chart pixel (x, y), then the position typed and saved.
  void AddPoint(CDlgGeoreferencing& dialog, int x, int y, double lat, double lon) {
    view()->CentreOn(x, y, 0);
    const Point c = view()->ChartToClient({x, y});
    view()->OnInputMessage({vd::ui::kWmLButtonDown, vd::ui::kMkLButton, vd::ui::MakeLParam(c.x, c.y)});
    view()->OnInputMessage({vd::ui::kWmLButtonUp, 0, vd::ui::MakeLParam(c.x, c.y)});
    ASSERT_EQ(dialog.x_edit()->text().toInt(), x);
    ASSERT_EQ(dialog.y_edit()->text().toInt(), y);
    dialog.position_edit()->setText(
        QString::fromStdString(vd::os::FormatC("%.9f, %.9f", lat, lon)));
    ASSERT_TRUE(dialog.SavePoint());
  }

  vd::test::CorvexHome home_;
  vd::test::ScriptedAnswers answers_;
  vd::ui::ScopedResponder responder_{&answers_};
  COstrelApp app_;
  std::string chart_path_;
};

const std::vector<Point> kPixels{{20, 30}, {480, 40}, {470, 350}, {30, 340}};

// Four clicked points of a known affine georeference: the refit recovers it, the chart then
// maps positions through it, and the calibration file written on OK reads back and applies
// the same georeference to another copy of the chart.
TEST_F(CalibrationTest, FourPointsRecoverAKnownGeoreferenceEndToEnd) {
  const std::string copy = home_.File("copy.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(copy, vd::test::TestChart()));
  CDlgGeoreferencing* dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Map Calibration");
  EXPECT_EQ(dialog->calibration_path(), home_.File("scan.jpr"));

  // Two points change nothing.
  const std::string before = Bytes(chart_path_);
  for (size_t i = 0; i < 2; ++i)
    AddPoint(*dialog, kPixels[i].x, kPixels[i].y, TrueLat(kPixels[i].x, kPixels[i].y),
             TrueLon(kPixels[i].x, kPixels[i].y));
  EXPECT_EQ(Bytes(chart_path_), before);
  EXPECT_FALSE(dialog->changed());
  for (size_t i = 2; i < kPixels.size(); ++i)
    AddPoint(*dialog, kPixels[i].x, kPixels[i].y, TrueLat(kPixels[i].x, kPixels[i].y),
             TrueLon(kPixels[i].x, kPixels[i].y));
  EXPECT_EQ(dialog->list()->topLevelItemCount(), 4);
  EXPECT_LT(dialog->residual(), 0.01);
  EXPECT_TRUE(dialog->changed());

  // The chart in the view maps through the new georeference.
  COldQuickChart* chart = view()->chart();
  ASSERT_NE(chart, nullptr);
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{256, 200}, std::pair{511, 383}}) {
    double lat = 0, lon = 0;
    chart->PixelToLatLon(x, y, lat, lon);
    EXPECT_NEAR(lat, TrueLat(x, y), 1e-8) << x << "," << y;
    EXPECT_NEAR(lon, TrueLon(x, y), 1e-8) << x << "," << y;
  }
  // A click now shows the position under the pixel.
  const Point c = view()->ChartToClient({100, 100});
  view()->OnInputMessage({vd::ui::kWmLButtonDown, vd::ui::kMkLButton, vd::ui::MakeLParam(c.x, c.y)});
  view()->OnInputMessage({vd::ui::kWmLButtonUp, 0, vd::ui::MakeLParam(c.x, c.y)});
  EXPECT_FALSE(dialog->position_edit()->text().isEmpty());

  dialog->utm_check()->setChecked(false);
  dialog->Finish();
  vd::test::DrainEvents();
  EXPECT_EQ(Dialog(), nullptr);
  EXPECT_EQ(view()->calibration(), nullptr);

  // The calibration file reads back with the points ...
  std::vector<CalibrationPoint> points;
  std::string error;
  ASSERT_TRUE(ReadCalibrationPoints(home_.File("scan.jpr"), points, error)) << error;
  ASSERT_EQ(points.size(), 4u);
  EXPECT_EQ(points[2].x, kPixels[2].x);
  EXPECT_NEAR(points[2].lat, TrueLat(kPixels[2].x, kPixels[2].y), 1e-6);
  const std::string jpr = Bytes(home_.File("scan.jpr"));
  EXPECT_NE(jpr.find("dm=WGS84\n"), std::string::npos) << jpr;
  EXPECT_NE(jpr.find("vp1="), std::string::npos) << jpr;
  // ... and applies the same georeference to another copy of the scan.
  ASSERT_TRUE(QctApplyJprCalibration(home_.File("scan.png"), copy));
  std::unique_ptr<COldQuickChart> applied = OpenOldQuickChart(copy, false);
  ASSERT_NE(applied, nullptr);
  double lat = 0, lon = 0;
  applied->PixelToLatLon(256, 200, lat, lon);
  EXPECT_NEAR(lat, TrueLat(256, 200), 1e-6);
  EXPECT_NEAR(lon, TrueLon(256, 200), 1e-6);
  // The options are kept.
  EXPECT_TRUE(vd::OpenAppProfile().GetBinary("settings", "chart_calib"));
}

// Cancel after a refit asks; No keeps the dialog, Yes puts the first georeference back.
TEST_F(CalibrationTest, CancelAfterChangesRevertsOnYes) {
  GeorefPolynomial original{};
  view()->chart()->GetGeoreference(original);
  CDlgGeoreferencing* dialog = Open();
  ASSERT_NE(dialog, nullptr);
  for (const Point& p : kPixels) AddPoint(*dialog, p.x, p.y, TrueLat(p.x, p.y), TrueLon(p.x, p.y));
  answers_.answers = {{"Discard changes", vd::ui::kIdNo}};
  dialog->Abandon();
  vd::test::DrainEvents();
  ASSERT_EQ(Dialog(), dialog);
  answers_.answers = {{"Discard changes", vd::ui::kIdYes}};
  dialog->Abandon();
  vd::test::DrainEvents();
  EXPECT_EQ(Dialog(), nullptr);
  double lat = 0, lon = 0;
  view()->chart()->PixelToLatLon(256, 200, lat, lon);
  EXPECT_NEAR(lat, vd::test::kChartNorth - 200 * vd::test::kDegreesPerPixel, 1e-3 / 3600);
  EXPECT_NEAR(lon, vd::test::kChartWest + 256 * vd::test::kDegreesPerPixel, 1e-3 / 3600);
  EXPECT_FALSE(vd::os::FileExists(home_.File("scan.jpr"))) << "nothing kept";
}

// Through UTM: four corners of a square UTM grid, positions from GeoConvert; the fitted chart
// gives GeoConvert's position at the middle.
TEST_F(CalibrationTest, UtmFitAgreesWithGeoConvert) {
  const auto geo_convert = [](double easting, double northing, double& lat, double& lon) {
    const std::string command =
        vd::os::FormatC("echo '31n %.3f %.3f' | GeoConvert -g -p 9 2>/dev/null", easting, northing);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char line[200] = {};
    const bool read = fgets(line, sizeof(line), pipe) != nullptr;
    pclose(pipe);
    return read && std::sscanf(line, "%lf %lf", &lat, &lon) == 2;
  };
  double probe_lat = 0, probe_lon = 0;
  if (!geo_convert(500000, 5500000, probe_lat, probe_lon))
    GTEST_SKIP() << "GeoConvert is not installed (scripts/install-deps installs it)";
  // 20 m a pixel, north up in UTM.
  const auto easting = [](int x) { return 480000.0 + 20.0 * x; };
  const auto northing = [](int y) { return 5510000.0 - 20.0 * y; };
  CDlgGeoreferencing* dialog = Open();
  ASSERT_NE(dialog, nullptr);
  dialog->utm_check()->setChecked(true);
  for (const Point& p : kPixels) {
    double lat = 0, lon = 0;
    ASSERT_TRUE(geo_convert(easting(p.x), northing(p.y), lat, lon));
    AddPoint(*dialog, p.x, p.y, lat, lon);
  }
  EXPECT_LT(dialog->residual(), 1.0);
  for (const auto& [x, y] : {std::pair{256, 190}, std::pair{100, 300}}) {
    double want_lat = 0, want_lon = 0, lat = 0, lon = 0;
    ASSERT_TRUE(geo_convert(easting(x), northing(y), want_lat, want_lon));
    view()->chart()->PixelToLatLon(x, y, lat, lon);
    // A tenth of a pixel.
    EXPECT_NEAR(lat, want_lat, 2.0 / 111000) << x << "," << y;
    EXPECT_NEAR(lon, want_lon, 2.0 / 72000) << x << "," << y;
  }
  dialog->Finish();
  vd::test::DrainEvents();
  EXPECT_NE(Bytes(home_.File("scan.jpr")).find("pr=UTM\n"), std::string::npos);
}

// A calibration file that can't be used is reported when the dialog opens; a position that
// does not read is refused.
TEST_F(CalibrationTest, BadCalibrationFilesAndPositionsAreReported) {
  const struct {
    const char* text;
    const char* message_part;
    int rows;
  } cases[] = {
      {"rp1=50.1,-5.2,10,20\nrp2=50.1,x,10,20\n", "rp2", 0},
      {"rp1=50.1,-5.2,10,20\nrp3=50.0,-5.0,100,200\n", "rp2 of", 0},
      {"rp1=50.1,-5.2,10,20\nrp2=50.0,-5.0,100,200\n", "three", 2},
      {"rp1=50.1,-5.2,0,0\nrp2=50.0,-5.1,100,100\nrp3=49.9,-4.9,200,200\n", "one line", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(vd::os::SaveFileAtomically(home_.File("scan.jpr"), c.text));
    answers_.asked.clear();
    CDlgGeoreferencing* dialog = Open();
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(answers_.asked.empty());
    EXPECT_NE(answers_.asked.back().find(c.message_part), std::string::npos)
        << answers_.asked.back();
    EXPECT_EQ(dialog->list()->topLevelItemCount(), c.rows);
    dialog->Abandon();
    vd::test::DrainEvents();
  }
  CDlgGeoreferencing* dialog = Open();
  ASSERT_NE(dialog, nullptr);
  dialog->x_edit()->setText("10");
  dialog->y_edit()->setText("10");
  dialog->position_edit()->setText("somewhere");
  answers_.asked.clear();
  EXPECT_FALSE(dialog->SavePoint());
  ASSERT_FALSE(answers_.asked.empty());
  EXPECT_EQ(answers_.asked.back(), "Position not understood");
  dialog->Abandon();
  vd::test::DrainEvents();
}

}  // namespace
