// The chart view's chart commands in the started program: merging maps and undoing it, the
// boundary from a route and back, the export of a map area through "Save Map", marks inside a
// route, the track commands, the satellite photo, the map list at the cursor, the chart logo
// and restoring a place.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "charts/old_quick_chart.h"
#include "charts/tests/qc3_store_fixture.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/dlg_chart_select.h"
#include "corvex/ui/dlg_send_chart_to.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/tests/corvex_home.h"
#include "corvex/ui/tests/program_chart_window.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"

namespace {

namespace fs = std::filesystem;
using vd::ui::Point;

// Answers menus too: the first item whose text the wanted text names.
class Answers : public vd::test::ScriptedAnswers {
 public:
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
    return Find(menu, false);
  }
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest&) override {
    return file_choice;
  }
  // "<submenu>/<entry>".
  std::string menu_choice;
  std::optional<std::string> file_choice;

 private:
  int Find(const vd::ui::PopupMenu& menu, bool inside) const {
    const size_t slash = menu_choice.find('/');
    for (const vd::ui::PopupMenu::Item& item : menu.items()) {
      if (item.submenu) {
        if (const int id = Find(*item.submenu, item.text == menu_choice.substr(0, slash)))
          return id;
      } else if (inside && !item.separator && item.text == menu_choice.substr(slash + 1) &&
                 !(item.flags & vd::ui::PopupMenu::kDisabled)) {
        return item.id;
      }
    }
    return 0;
  }
};

using vd::test::OnceUp;

std::string Bytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

class ChartCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.SetChartViewMaker(MakeChartViewWidget);
    ASSERT_TRUE(app_.InitInstance({"--no-splash"}));
    vd::test::DrainEvents();
    chart_path_ = home_.File("own.qct");
    vd::test::ChartFixture chart = vd::test::TestChart();
    chart.texts = {{kQctTitle, "Own"}};
    ASSERT_TRUE(vd::test::WriteChartFixture(chart_path_, chart));
    ASSERT_NE(doc().OpenChartView(chart_path_, true), nullptr);
    vd::test::DrainEvents();
    ASSERT_NE(view(), nullptr);
    ASSERT_EQ(view()->GetChartPath(), chart_path_);
  }
  void TearDown() override {
    frame().CloseFrame();
    app_.ExitInstance();
  }

  CMainFrame& frame() { return *app_.GetMainFrame(); }
  COstrelDoc& doc() { return *app_.Document(); }
  COstrelView* view() { return dynamic_cast<COstrelView*>(frame().ActiveChartView()); }
  bool Enabled(int id) { return frame().RouteUpdate(id).enabled; }

  // A chart beside the own one, its pixel (0, 0) at chart pixel (dx, dy) of the own chart.
  std::string AddChart(const std::string& name, const std::string& title, int dx, int dy) {
    vd::test::ChartFixture chart = vd::test::TestChart();
    const double north = vd::test::kChartNorth - dy * vd::test::kDegreesPerPixel;
    const double west = vd::test::kChartWest + dx * vd::test::kDegreesPerPixel;
    chart.georef =
        vd::test::ChartFixture::LinearGeoref(north, west, vd::test::kDegreesPerPixel);
    const double south = north - 384 * vd::test::kDegreesPerPixel;
    const double east = west + 512 * vd::test::kDegreesPerPixel;
    chart.outline = {{north, west}, {north, east}, {south, east}, {south, west}};
    chart.texts = {{kQctTitle, title}};
    const std::string path = home_.File(name);
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    EXPECT_NE(doc().FindOrAddChartOutline(path), nullptr);
    view()->OnUpdate(nullptr, kChangeAdded, nullptr);
    return path;
  }

  // A route through chart pixels of the view's chart, selected; closed repeats its first point.
  CObjRoute* MakeRoute(const std::vector<Point>& pixels, bool closed) {
    CObjRoute* route = doc().NewRoute();
    CCurrentOwnerScope owner(&doc());
    for (const Point& p : pixels) {
      double lat = 0, lon = 0;
      view()->chart()->PixelToLatLon(p.x, p.y, lat, lon);
      route->OnLButtonDown(CLatLon(lat, lon), nullptr);
      route->OnLButtonUp(CLatLon(lat, lon));
    }
    if (closed) {
      route->CloseWhileEditing();
    } else {
      route->EndEditing();
    }
    route->Select(true);
    return route;
  }

  // A right-click at the client centre and the map menu's entry of that text chosen.
  void MapMenu(const std::string& entry) {
    answers_.menu_choice = entry;
    const Point client{view()->client_size().cx / 2, view()->client_size().cy / 2};
    view()->OnInputMessage({vd::ui::kWmRButtonDown, 0, vd::ui::MakeLParam(client.x, client.y)});
    vd::test::DrainEvents();
  }

  vd::test::CorvexHome home_;
  Answers answers_;
  vd::ui::ScopedResponder responder_{&answers_};
  COstrelApp app_;
  std::string chart_path_;
};

// Merging a map gives a new chart in the folder of converted maps; merging that again keeps
// the first merge for Undo, which shows it again exactly as it was. The charts merged are
// never touched.
TEST_F(ChartCommandsTest, MergeThenUndoReturnsToTheEarlierMergeByteForByte) {
  const std::string converted = home_.File("converted");
  ASSERT_TRUE(vd::os::MakeFolders(converted));
  vd::OpenAppProfile().SetString("settings", "qct_dir", converted);
  const std::string east = AddChart("east.qct", "East", 200, 0);
  const std::string south = AddChart("south.qct", "South", 0, 150);
  const std::string own_bytes = Bytes(chart_path_), east_bytes = Bytes(east);
  EXPECT_FALSE(Enabled(COstrelView::kCmdUndoMerge));

  view()->CentreOn(300, 100, 0);
  std::string first_name;
  OnceUp([&](vd::ui::DialogWindow& d) {
    first_name = d.ItemText(1001);  // the name edit
    d.SetItemText(1001, "Harbour");
  });
  MapMenu("Merge Map/East");
  const std::string first = view()->GetChartPath();
  EXPECT_EQ(first_name, "Own and surroundings");
  ASSERT_EQ(fs::path(first).parent_path(), fs::path(converted)) << first;
  EXPECT_EQ(fs::path(first).filename().string().rfind("Harbour_", 0), 0u) << first;
  ASSERT_NE(doc().FindChartOutline(first), nullptr);
  EXPECT_TRUE(doc().FindChartOutline(first)->IsMerged());
  // The own chart was no merge: nothing to go back to.
  EXPECT_TRUE(view()->merge_source().empty());
  EXPECT_FALSE(Enabled(COstrelView::kCmdUndoMerge));
  const std::string first_bytes = Bytes(first);

  // A second merge names the first merge and keeps it for Undo, out of the map list.
  view()->CentreOn(100, 300, 0);
  std::string second_name;
  OnceUp([&](vd::ui::DialogWindow& d) {
    second_name = d.ItemText(1001);
    d.SetItemText(1001, "Harbour 2");
  });
  MapMenu("Merge Map/South");
  const std::string second = view()->GetChartPath();
  EXPECT_EQ(second_name, "Own") << "the long title, with nothing added for a merge";
  ASSERT_NE(second, first);
  EXPECT_EQ(view()->merge_source(), first);
  EXPECT_EQ(doc().FindChartOutline(first), nullptr);
  ASSERT_TRUE(Enabled(COstrelView::kCmdUndoMerge));

  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdUndoMerge));
  EXPECT_EQ(view()->GetChartPath(), first);
  EXPECT_EQ(Bytes(first), first_bytes);
  EXPECT_TRUE(view()->merge_source().empty());
  EXPECT_FALSE(Enabled(COstrelView::kCmdUndoMerge));
  EXPECT_EQ(Bytes(chart_path_), own_bytes);
  EXPECT_EQ(Bytes(east), east_bytes);
}

// The boundary written from a closed route comes back as the same route; the calibration file
// keeps its other lines and gets one vertex line a point.
TEST_F(ChartCommandsTest, BoundaryFromRouteAndRouteFromBoundaryGiveTheSamePoints) {
  const std::string jpr = home_.File("own.jpr");
  ASSERT_TRUE(vd::os::SaveFileAtomically(jpr, "nm=Own\r\nvp1=0,0\nrp1=50,-5,0,0\n"));
  EXPECT_FALSE(Enabled(COstrelView::kCmdBoundaryFromRoute));

  // Not closed: refused, nothing written, the route stays.
  const std::string before = Bytes(chart_path_);
  CObjRoute* open_route = MakeRoute({{40, 30}, {400, 50}, {300, 300}}, false);
  ASSERT_TRUE(Enabled(COstrelView::kCmdBoundaryFromRoute));
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdBoundaryFromRoute));
  EXPECT_EQ(Bytes(chart_path_), before);
  open_route->Delete(false);

  const std::vector<Point> corners{{40, 30}, {400, 50}, {450, 330}, {60, 300}};
  CObjRoute* route = MakeRoute(corners, true);
  std::vector<CLatLon> wanted;
  for (size_t i = 0; i + 1 < route->points().size(); ++i)
    wanted.push_back(route->points()[i]->position);
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdBoundaryFromRoute));
  EXPECT_NE(Bytes(chart_path_), before);
  EXPECT_EQ(Bytes(jpr), "nm=Own\nrp1=50,-5,0,0\nvp1=40,30\nvp2=400,50\nvp3=450,330\nvp4=60,300\n");
  for (COstrelObject* object : *doc().GetObjectList())
    EXPECT_FALSE(object->IsKindOf(CObjRoute::kClass)) << "the route went";
  ASSERT_NE(view()->outline(), nullptr);
  ASSERT_EQ(view()->outline()->points.size(), corners.size());

  ASSERT_TRUE(Enabled(COstrelView::kCmdRouteFromBoundary));
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdRouteFromBoundary));
  CObjRoute* back = nullptr;
  for (COstrelObject* object : *doc().GetObjectList())
    if (object->IsKindOf(CObjRoute::kClass)) back = static_cast<CObjRoute*>(object);
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->IsClosed());
  ASSERT_EQ(back->points().size(), wanted.size() + 1);
  for (size_t i = 0; i < wanted.size(); ++i) {
    EXPECT_NEAR(back->points()[i]->position.lat, wanted[i].lat, 1e-9) << i;
    EXPECT_NEAR(back->points()[i]->position.lon, wanted[i].lon, 1e-9) << i;
  }
}

// Export Map Area asks where through "Save Map" and writes a chart of the route's tiles whose
// pixels are the source's.
TEST_F(ChartCommandsTest, ExportMapAreaWritesAChartWithTheSourcePixels) {
  EXPECT_FALSE(Enabled(COstrelView::kCmdExportMapArea));
  MakeRoute({{70, 70}, {180, 70}, {180, 180}, {70, 180}}, true);
  ASSERT_TRUE(Enabled(COstrelView::kCmdExportMapArea));
  const std::string folder = home_.File("card");
  ASSERT_TRUE(vd::os::MakeFolders(folder));
  std::string description, size;
  OnceUp([&](vd::ui::DialogWindow& d) {
    description = d.ItemText(CDlgSendChartTo::kDescriptionEdit);
    size = d.ItemText(CDlgSendChartTo::kSizeText);
    d.SetItemText(CDlgSendChartTo::kFolderEdit, folder);
  });
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdExportMapArea));
  EXPECT_EQ(description, "From Own");
  EXPECT_NE(size.find("byte"), std::string::npos) << size;
  EXPECT_EQ(vd::OpenAppProfile().GetString("settings", "pda_chart_dev"), folder);

  std::vector<fs::path> written;
  for (const auto& entry : fs::directory_iterator(folder)) written.push_back(entry.path());
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].filename().string().rfind("From Own_", 0), 0u) << written[0];
  std::unique_ptr<COldQuickChart> cut = OpenOldQuickChart(written[0].string(), false);
  ASSERT_NE(cut, nullptr);
  std::unique_ptr<COldQuickChart> source = OpenOldQuickChart(chart_path_, false);
  ASSERT_NE(source, nullptr);
  // Tiles 1..2 both ways: 128 x 128 pixels from source pixel (64, 64).
  ASSERT_EQ(cut->width(), 128);
  ASSERT_EQ(cut->height(), 128);
  std::vector<uint8_t> got(128 * 128), want(128 * 128);
  cut->CopyArea(0, 0, 127, 127, got.data(), 128);
  source->CopyArea(64, 64, 191, 191, want.data(), 128);
  EXPECT_EQ(got, want);
  // It is georeferenced where its pixels came from.
  double lat = 0, lon = 0, source_lat = 0, source_lon = 0;
  cut->PixelToLatLon(10, 20, lat, lon);
  source->PixelToLatLon(74, 84, source_lat, source_lon);
  EXPECT_NEAR(lat, source_lat, 1e-7);
  EXPECT_NEAR(lon, source_lon, 1e-7);
}

// Save Enclosed Marks saves the free-standing visible marks inside the route, and says when
// there are none.
TEST_F(ChartCommandsTest, SaveEnclosedMarksSavesTheMarksInsideTheRoute) {
  const auto mark_at = [&](const std::string& name, Point pixel, bool visible) {
    double lat = 0, lon = 0;
    view()->chart()->PixelToLatLon(pixel.x, pixel.y, lat, lon);
    CObjWaypoint* mark = doc().NewMark();
    mark->Set(lat, lon, "", "", 10, 1);
    mark->name = name;
    mark->being_placed = false;
    mark->visible = visible;
    mark->Deselect();
  };
  mark_at("Outside", {300, 300}, true);
  MakeRoute({{10, 10}, {200, 10}, {200, 200}, {10, 200}}, true);
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdSaveEnclosedMarks));
  EXPECT_EQ(answers_.asked.back(), "No Marks Enclosed.");

  mark_at("Inside", {100, 100}, true);
  mark_at("Hidden", {120, 100}, false);
  CObjRoute* route = MakeRoute({{10, 10}, {200, 10}, {200, 200}, {10, 200}}, true);
  const std::string saved = home_.File("enclosed.csv");
  answers_.file_choice = saved;
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdSaveEnclosedMarks));
  const std::string text = Bytes(saved);
  EXPECT_NE(text.find("Inside"), std::string::npos) << text;
  EXPECT_EQ(text.find("Outside"), std::string::npos) << text;
  EXPECT_EQ(text.find("Hidden"), std::string::npos) << text;
  EXPECT_EQ(view()->MarksInside(*route).size(), 1u) << "the route's own points are no marks";
}

// The track commands act on the track under the mouse: a point removed, the track split, and
// the two parts joined again.
TEST_F(ChartCommandsTest, TrackCommandsActOnTheTrackAtTheCursor) {
  EXPECT_FALSE(Enabled(COstrelView::kCmdSplitTrack));
  CObjTrack* track = doc().NewTrack();
  track->drawing_state = 0;
  for (int i = 0; i < 6; ++i) {
    double lat = 0, lon = 0;
    view()->chart()->PixelToLatLon(50 + 40 * i, 100, lat, lon);
    track->AddPoint(lat, lon, 1000 + i * 10, 0, 0, 0);
  }
  track->Select(true);
  const auto at_point = [&](int i) {
    view()->CentreOn(50 + 40 * i, 100, 0);
    view()->OnInputMessage({vd::ui::kWmMouseMove, 0, vd::ui::MakeLParam(
                                                         view()->client_size().cx / 2,
                                                         view()->client_size().cy / 2)});
  };
  const size_t before = track->points().size();
  at_point(2);
  ASSERT_TRUE(Enabled(COstrelView::kCmdRemoveTrackPoint));
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdRemoveTrackPoint));
  EXPECT_EQ(track->points().size(), before - 1);

  at_point(3);
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdSplitTrack));
  size_t tracks = 0;
  for (COstrelObject* object : *doc().GetObjectList())
    tracks += object->IsKindOf(CObjTrack::kClass) && object->name.find("split") != std::string::npos;
  EXPECT_EQ(tracks, 1u);
  EXPECT_LT(track->points().size(), before - 1);
}

// The enabled state of the chart commands follows what they need.
TEST_F(ChartCommandsTest, ChartCommandsAreEnabledWhereTheyApply) {
  for (int id : {COstrelView::kCmdMapListAtCursor, COstrelView::kCmdSatellitePhoto,
                 COstrelView::kCmdRouteFromBoundary, COstrelView::kCmdEditMapProperties}) {
    EXPECT_TRUE(Enabled(id)) << id;
  }
  for (int id : {COstrelView::kCmdUndoMerge, COstrelView::kCmdBoundaryFromRoute,
                 COstrelView::kCmdMapsForRoute, COstrelView::kCmdSaveEnclosedMarks,
                 COstrelView::kCmdExportMapArea, COstrelView::kCmdRemoveTrackPoint,
                 COstrelView::kCmdJoinTrack, COstrelView::kCmdSplitTrack,
                 COstrelView::kCmdMergeMapFirst}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  MakeRoute({{10, 10}, {200, 10}, {200, 200}}, false);
  for (int id : {COstrelView::kCmdBoundaryFromRoute, COstrelView::kCmdMapsForRoute,
                 COstrelView::kCmdSaveEnclosedMarks, COstrelView::kCmdExportMapArea}) {
    EXPECT_TRUE(Enabled(id)) << id;
  }
}

// The satellite photo opens the online map of the window's centre and span.
TEST_F(ChartCommandsTest, SatellitePhotoOpensTheWindowArea) {
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdSatellitePhoto));
  ASSERT_FALSE(home_.opened_documents.empty());
  const std::string& address = home_.opened_documents.back();
  double lat = 0, lon = 0;
  ASSERT_TRUE(view()->GetCentreLatLon(lat, lon));
  EXPECT_NE(address.find(vd::os::FormatC("?ll=%.8f,%.8f&spn=", lat, lon)), std::string::npos)
      << address;
  EXPECT_NE(address.find("&t=k&om=0"), std::string::npos) << address;
}

// Map List at Cursor lists only the maps under the mouse; the one chosen opens.
TEST_F(ChartCommandsTest, MapListAtCursorListsTheMapsThere) {
  const std::string east = AddChart("east.qct", "East", 200, 0);
  AddChart("far.qct", "Far", 2000, 2000);
  view()->CentreOn(300, 100, 0);
  view()->OnInputMessage({vd::ui::kWmMouseMove, 0, vd::ui::MakeLParam(
                                                       view()->client_size().cx / 2,
                                                       view()->client_size().cy / 2)});
  int rows = -1;
  OnceUp([&](vd::ui::DialogWindow& d) {
    QTreeWidget* tree = d.findChild<QTreeWidget*>();
    rows = tree ? tree->topLevelItemCount() : -1;
    for (int i = 0; tree && i < tree->topLevelItemCount(); ++i)
      if (tree->topLevelItem(i)->text(0) == "East") tree->topLevelItem(i)->setSelected(true);
  });
  ASSERT_TRUE(frame().RouteCommand(COstrelView::kCmdMapListAtCursor));
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(view()->GetChartPath(), east);
}

// A chart's ".vdg" beside it shows as its logo at the bottom-right corner; a chart without one
// shows none.
TEST_F(ChartCommandsTest, ChartLogoShowsBesideTheChart) {
  const std::string logo_chart = home_.File("logo.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(logo_chart, vd::test::TestChart()));
  QImage logo(40, 20, QImage::Format_RGB32);
  logo.fill(Qt::red);
  ASSERT_TRUE(logo.save(QString::fromStdString(home_.File("logo.vdg")), "PNG"));
  ASSERT_TRUE(view()->OpenChartFile(logo_chart));
  ASSERT_EQ(view()->ChartLogoPath(), home_.File("logo.vdg"));
  CChartViewWidget* widget = nullptr;
  for (CChildFrame* child : frame().ChartFrames())
    for (QWidget* w : child->findChildren<QWidget*>())
      if (auto* found = dynamic_cast<CChartViewWidget*>(w); found && found->view() == view())
        widget = found;
  ASSERT_NE(widget, nullptr);
  QLabel* label = widget->findChild<QLabel*>("Logo");
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->isVisible());
  EXPECT_EQ(label->geometry().bottomRight(), QPoint(widget->width() - 21, widget->height() - 21));

  ASSERT_TRUE(view()->OpenChartFile(chart_path_));
  vd::test::DrainEvents();
  EXPECT_EQ(widget->findChild<QLabel*>("Logo"), nullptr);
}

// Restoring a place opens the chart with the position at the client centre.
TEST_F(ChartCommandsTest, RestorePlaceCentresThePositionOnTheChart) {
  const std::string east = AddChart("east.qct", "East", 200, 0);
  double lat = 0, lon = 0;
  vd::test::PixelPosition(400, 200, lat, lon);
  const double scale = view()->chart()->ScaleAtPixel(400, 200);
  view()->RestorePlace(lat, lon, scale, &east, false);
  EXPECT_EQ(view()->GetChartPath(), east);
  EXPECT_EQ(view()->zoom(), 0);
  double centre_lat = 0, centre_lon = 0;
  ASSERT_TRUE(view()->GetCentreLatLon(centre_lat, centre_lon));
  EXPECT_NEAR(centre_lat, lat, 2 * vd::test::kDegreesPerPixel);
  EXPECT_NEAR(centre_lon, lon, 2 * vd::test::kDegreesPerPixel);
  EXPECT_FALSE(view()->IsLockedOn());
  ASSERT_FALSE(view()->history().empty());
  EXPECT_EQ(view()->history().back().chart_path, chart_path_);
}

// Opening a file of marks restores the place they lie at: the best chart for them opens in the
// maximised window with their middle at the centre, the pointer and the view's anchor on it,
// and Back returns from there.
TEST_F(ChartCommandsTest, OpeningMarksRestoresTheirPlaceOnTheBestChart) {
  const std::string east = AddChart("east.qct", "East", 200, 0);
  // Two marks beyond the own chart's east edge, inside the east chart: their middle is at own
  // chart pixel (600, 150).
  double north = 0, west = 0, south = 0, east_lon = 0;
  vd::test::PixelPosition(590, 140, north, west);
  vd::test::PixelPosition(610, 160, south, east_lon);
  const std::string marks = home_.File("marks.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(
      marks, vd::os::FormatC("<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\">\n"
                             "<wpt lat=\"%.8f\" lon=\"%.8f\"><name>A</name></wpt>\n"
                             "<wpt lat=\"%.8f\" lon=\"%.8f\"><name>B</name></wpt>\n</gpx>\n",
                             north, west, south, east_lon)));
  ASSERT_EQ(frame().ChartFrames().size(), 1u);
  CChildFrame* child = frame().ChartFrames().front();
  child->showNormal();

  doc().OpenFileByType(marks);
  vd::test::DrainEvents();
  ASSERT_EQ(view()->GetChartPath(), east);
  EXPECT_TRUE(child->isMaximized());
  double lat = 0, lon = 0;
  ASSERT_TRUE(view()->GetCentreLatLon(lat, lon));
  const double middle_lat = (north + south) / 2, middle_lon = (west + east_lon) / 2;
  const double zoomed = std::ldexp(vd::test::kDegreesPerPixel, std::max(view()->zoom(), 0));
  EXPECT_NEAR(lat, middle_lat, 2 * zoomed);
  EXPECT_NEAR(lon, middle_lon, 2 * zoomed);
  const Point anchor = vd::test::ClientOf(*view(), middle_lat, middle_lon);
  EXPECT_NEAR(view()->anchor_point().x, anchor.x, 1);
  EXPECT_NEAR(view()->anchor_point().y, anchor.y, 1);
  EXPECT_FALSE(view()->IsLockedOn());
  ASSERT_FALSE(view()->history().empty());
  EXPECT_EQ(view()->history().back().chart_path, east);
}

// The Map List shows thumbnails, and its Chunk Status puts the chunks of a downloadable map on
// the chart as closed tracks of their own category.
TEST_F(ChartCommandsTest, MapListShowsThumbnailsAndChunkStatus) {
  // A downloadable map of 3 x 2 chunks whose first chunk is stored.
  vd::test::ChartFixture sea;
  sea.version = 0x20000001;
  sea.width = 40;
  sea.height = 32;
  sea.image.assign(size_t(40 * 64) * 32 * 64, 0);
  sea.texts = {{kQctName, "Sea (North)"}};
  const std::string sea_path = home_.File("sea.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(sea_path, sea));
  vd::test::Qc3StoreFixture store;
  store.across = 3;
  store.down = 2;
  store.chunks[{0, 0}] = {0, 1, 0};
  vd::test::WriteBytesFile(home_.File("sea.qc3"), store.Bytes());
  COldChartOutline* outline = doc().FindOrAddChartOutline(sea_path);
  ASSERT_NE(outline, nullptr);
  COldChartOutline* own = doc().FindChartOutline(chart_path_);
  ASSERT_NE(own, nullptr);
  own->thumbnail = vd::ui::Image(16, 16, 0xFF0000FF);

  bool chunk_status_enabled = false, own_icon = false, sea_icon = true;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* d = dynamic_cast<vd::ui::DialogWindow*>(w);
      if (!d || !d->isVisible()) continue;
      auto* tree = d->findChild<QTreeWidget*>();
      for (int i = 0; tree && i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->text(0) == QString::fromStdString(outline->name)) {
          sea_icon = !item->icon(0).isNull();
          item->setSelected(true);
        } else if (item->text(0) == QString::fromStdString(own->name)) {
          own_icon = !item->icon(0).isNull();
        }
      }
      chunk_status_enabled = d->Control(CDlgChartSelect::kChunkStatusButton)->isEnabled();
      d->SendCommand(CDlgChartSelect::kChunkStatusButton, vd::ui::kBnClicked);
      return;
    }
  });
  ASSERT_TRUE(frame().RouteCommand(32780));  // Map List...
  EXPECT_TRUE(own_icon);
  EXPECT_FALSE(sea_icon);
  EXPECT_TRUE(chunk_status_enabled);
  std::vector<CObjTrack*> chunks;
  for (COstrelObject* object : *doc().GetObjectList())
    if (object->IsKindOf(CObjTrack::kClass)) chunks.push_back(static_cast<CObjTrack*>(object));
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(CCategory::GetNameOr(chunks[0]->category()), "Chunk Status:SeaNorth");
  EXPECT_EQ(chunks[0]->name, ":chunk");
  EXPECT_EQ(chunks[0]->colour, 0x00C800u);
  ASSERT_EQ(chunks[0]->points().size(), 5u);
  EXPECT_EQ(chunks[0]->points().front().position.lat, chunks[0]->points().back().position.lat);
  EXPECT_EQ(ChunkStatusCategory("A very long map name, with (many) words"),
            "Chunk Status:Averylongmapnamewithmanyw");
}

}  // namespace
