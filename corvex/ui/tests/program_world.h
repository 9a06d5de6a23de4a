#pragma once
// The chart program started as the user starts it (its own start-up on the offscreen platform,
// the real main frame and document) with the sample chart in a chart window and one object of
// every kind on it, each in a category of its own: a mark, a route of two marks, a track, a
// note and the own vessel.
#include <gtest/gtest.h>

#include <string>

#include "charts/old_quick_chart.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/tests/corvex_home.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/folders.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace vd::test {

class ProgramWorld {
 public:
  // The build writes the sample chart two levels above the test programs.
  static std::string SampleChartPath() {
    return vd::os::ProgramFolder() + "/../../sample/Sample Chart.qct";
  }

  // Starts the program, opens the sample chart and places the objects; false on failure.
  bool Start() {
    app.SetChartViewMaker(MakeChartViewWidget);
    if (!app.InitInstance({"--no-splash"})) return false;
    DrainEvents();
    CDocView* opened = doc().OpenChartView(SampleChartPath(), true);
    view_ = dynamic_cast<COstrelView*>(opened);
    if (!view_ || !view_->chart()) return false;
    ProcessEventsUntil([&] { return view_->client_size().cx > 100; });
    PlaceObjects();
    DrainEvents();
    return true;
  }
  void Stop() {
    if (CMainFrame* main = app.GetMainFrame()) main->CloseFrame();
    app.ExitInstance();
  }

  COstrelDoc& doc() { return *app.Document(); }
  CMainFrame& frame() { return *app.GetMainFrame(); }
  COstrelView& view() { return *view_; }

  // The position shown at a client point of the chart view, and back.
  void LatLonAt(vd::ui::Point client, double& lat, double& lon) {
    const vd::ui::Point pixel = view_->ClientToChart(client);
    view_->chart()->PixelToLatLon(pixel.x, pixel.y, lat, lon);
  }
  vd::ui::Point ClientAt(double lat, double lon) {
    double x = 0, y = 0;
    view_->chart()->LatLonToPixelF(lat, lon, x, y);
    return view_->ChartToClient({static_cast<int>(x), static_cast<int>(y)});
  }

  // The user's mouse on the chart view.
  bool Send(uint32_t msg, vd::ui::Point p, uintptr_t w = 0) {
    return view_->OnInputMessage({msg, w, vd::ui::MakeLParam(p.x, p.y)});
  }
  void DoubleClick(vd::ui::Point p) {
    Send(vd::ui::kWmMouseMove, p);
    Send(vd::ui::kWmLButtonDown, p, vd::ui::kMkLButton);
    Send(vd::ui::kWmLButtonUp, p);
    Send(vd::ui::kWmLButtonDblClk, p, vd::ui::kMkLButton);
    Send(vd::ui::kWmLButtonUp, p);
  }
  // Where each object is hit on the view.
  vd::ui::Point PointOf(COstrelObject* object) {
    if (object == note) return Offset(note_at, 6, 6);
    if (object == route) return Offset(route_at, 0, 0);  // the middle of the leg
    if (object == track) return Offset(track_at, 0, 0);
    if (object == mark) return Offset(mark_at, 0, 0);
    return Offset(vessel_at, 0, 0);
  }

  CorvexHome home;
  ScriptedAnswers answers;
  vd::ui::ScopedResponder responder{&answers};
  COstrelApp app;

  CObjWaypoint* mark = nullptr;
  CObjRoute* route = nullptr;
  CObjTrack* track = nullptr;
  CObjText* note = nullptr;
  CObjCurrentPosition* vessel = nullptr;

 private:
  static vd::ui::Point Offset(vd::ui::Point p, int dx, int dy) { return {p.x + dx, p.y + dy}; }

  // The objects at client points of the view, well apart from each other.
  void PlaceObjects() {
    const vd::ui::Size size = view_->client_size();
    const int w = size.cx, h = size.cy;
    mark_at = {w / 5, h / 5};
    route_at = {w / 2, h / 5};
    track_at = {w / 5, h * 3 / 5};
    note_at = {w / 2, h / 2};
    vessel_at = {w * 4 / 5, h * 4 / 5};
    double lat = 0, lon = 0;

    LatLonAt(mark_at, lat, lon);
    mark = doc().NewMark();
    mark->Set(lat, lon, "Buoy", "", 10, 1);
    mark->name = "Buoy";
    mark->SetCategory("Marks");

    route = doc().NewRoute();
    route->name = "Passage";
    for (int dx : {-60, 60}) {
      LatLonAt(Offset(route_at, dx, 0), lat, lon);
      CObjWaypoint* point = doc().NewMark();
      point->Set(lat, lon, dx < 0 ? "Start" : "End", "", 10, 1);
      point->name = dx < 0 ? "Start" : "End";
      point->SetCategory("Routes");
      route->LinkWaypoint(point);
    }
    route->EndEditing();
    route->SetCategory("Routes");

    track = doc().NewTrack();
    track->name = "Morning";
    for (int dx : {-60, 0, 60}) {
      LatLonAt(Offset(track_at, dx, 0), lat, lon);
      track->AddPoint(lat, lon, 0, 0.0f, 0, 0);
    }
    track->drawing_state = 0;
    track->RecomputeTotals();
    track->SetCategory("Tracks");

    LatLonAt(note_at, lat, lon);
    note = doc().NewText();
    note->position = {lat, lon};
    note->edit_state = CObjText::kNormal;
    note->text = "Anchorage";
    note->SetCategory("Notes");

    LatLonAt(vessel_at, lat, lon);
    vessel = doc().GetCurrentPositionObject();
    vessel->position.lat = lat;
    vessel->position.lon = lon;
    vessel->SetCategory("Vessel");

    if (COstrelObject* selected = COstrelObject::GetSelected(&doc())) selected->Deselect();
    doc().UpdateAllViews(nullptr, kChangeDisplay, nullptr);
  }

  COstrelView* view_ = nullptr;
  vd::ui::Point mark_at, route_at, track_at, note_at, vessel_at;
};

}  // namespace vd::test
