// What objects ask of the program around them: to be shown in a chart window, and to adjust their
// context menus.
#include <gtest/gtest.h>

#include <vector>

#include "overlays/lat_lon.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/ui/popup_menu.h"

namespace {

struct ShowRequest {
  double lat, lon, scale, factor;
  int mode;
};

class ShowingDoc : public COstrelDocBase {
 public:
  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  ObjectList* GetObjectList() override { return &objects; }
  void OpenBestChartAt(double lat, double lon, double scale, double factor, int mode) override {
    requests.push_back({lat, lon, scale, factor, mode});
  }
  ObjectList objects;
  std::vector<ShowRequest> requests;
};

void ExpectRequest(const ShowRequest& got, double lat, double lon, double scale, double factor) {
  EXPECT_NEAR(got.lat, lat, 1e-9);
  EXPECT_NEAR(got.lon, lon, 1e-9);
  EXPECT_NEAR(got.scale, scale, 1e-12);
  EXPECT_EQ(got.factor, factor);
  EXPECT_EQ(got.mode, 1);
}

TEST(CentreInView, PointsAtTheirOwnScaleExtentsByTheirSize) {
  ShowingDoc doc;
  CCurrentOwnerScope owner(&doc);

  CObjWaypoint mark;
  mark.position = CLatLon(50.0, -1.0);
  CObjText note;
  note.position = CLatLon(49.5, -2.5);
  CObjCurrentPosition own;
  own.position.lat = 48.25;
  own.position.lon = 11.5;
  for (COstrelObject* object : std::initializer_list<COstrelObject*>{&mark, &note, &own})
    object->CentreInView();
  ASSERT_EQ(doc.requests.size(), 3u);
  ExpectRequest(doc.requests[0], 50.0, -1.0, 0.0, 2.0);
  ExpectRequest(doc.requests[1], 49.5, -2.5, 0.0, 2.0);
  ExpectRequest(doc.requests[2], 48.25, 11.5, 0.0, 2.0);

  // A track from (50, -1) to (51, 0): the middle of its bounds, scaled by its size.
  CObjTrack track;
  for (const CLatLon& p : {CLatLon(50.0, -1.0), CLatLon(51.0, 0.0)}) {
    CTrackpoint point;
    point.position = p;
    track.mutable_points().push_back(point);
  }
  track.RecomputeTotals();
  doc.requests.clear();
  track.CentreInView();
  ASSERT_EQ(doc.requests.size(), 1u);
  const double scale = CLatLon(50.0, -1.0).DistanceTo(CLatLon(50.5, -0.5)) * 0.0002;
  ExpectRequest(doc.requests[0], 50.5, -0.5, scale, 16.0);

  // Without a document nothing is asked.
  CCurrentOwnerScope none(nullptr);
  CObjWaypoint loose;
  doc.requests.clear();
  loose.CentreInView();
  EXPECT_TRUE(doc.requests.empty());
}

// A track's menu names its extra measurement in the "Other profile" entry, found in any
// submenu, and greys it when the track has none.
TEST(TrackMenu, OtherProfileEntryFollowsTheTrack) {
  auto menu_with_entry = [] {
    vd::ui::PopupMenu menu;
    menu.AppendItem(1, "Properties");
    menu.AppendSubmenu("Profiles").AppendItem(CObjTrack::kOtherProfileCommand, "Other profile");
    return menu;
  };
  CObjTrack track;
  vd::ui::PopupMenu menu = menu_with_entry();
  track.OnInitPopupMenu(menu);
  const vd::ui::PopupMenu::Item* entry = menu.FindItem(CObjTrack::kOtherProfileCommand);
  ASSERT_NE(entry, nullptr);
  EXPECT_NE(entry->flags & vd::ui::PopupMenu::kDisabled, 0u);
  EXPECT_EQ(entry->text, "Other profile");

  track.other_label = "Depth (m)";
  menu = menu_with_entry();
  track.OnInitPopupMenu(menu);
  entry = menu.FindItem(CObjTrack::kOtherProfileCommand);
  EXPECT_EQ(entry->flags & vd::ui::PopupMenu::kDisabled, 0u);
  EXPECT_EQ(entry->text, "Depth (m) Profile");
}

}  // namespace
