#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "overlays/outline/old_chart_outline.h"
#include "app/app_common.h"
#include "core/persistent_value.h"
#include "corvex/command_ids.h"
#include "corvex/map_rect_selection.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/tests/ostrel_doc_test_world.h"
#include "corvex/tests/ostrel_view_test_support.h"
#include "overlays/category.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/ui/image.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::PixelPosition;
using vd::test::TestWindow;
using vd::ui::Point;
using vd::ui::Rect;

// An object at one chart pixel that tells what input reached it.
class InputProbe : public vd::test::ProbeObject {
 public:
  explicit InputProbe(Point pixel) : ProbeObject(pixel) {}
  bool OnLButtonDown(const CLatLon& point, CMappedObject* hit) override {
    events.push_back(hit && hit->object() == this ? "down" : "down without record");
    return COstrelObject::OnLButtonDown(point, hit);  // selects
  }
  bool OnLButtonUp(const CLatLon&) override {
    events.push_back("up");
    return true;
  }
  bool OnMouseMove(const CLatLon&) override {
    events.push_back("move");
    return true;
  }
  bool OnDoubleClick(const CLatLon&) override {
    events.push_back("double");
    return true;
  }
  bool OnContextMenu(COstrelViewBase*, const Point&) override {
    events.push_back("menu");
    return takes_menu;
  }
  bool OnKeyDown(int key) override {
    events.push_back("key " + std::to_string(key));
    return key == handled_key;
  }
  bool GetStatusText(std::string& text, const CLatLon&, CMappedObject*) override {
    text = "probe " + name;
    return true;
  }

  std::vector<std::string> events;
  bool takes_menu = false;
  int handled_key = 0;
};

// Answers the object choice menu with `answer` and keeps what it showed.
struct MenuChooser : vd::ui::DialogResponder {
  int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint at) override {
    ++calls;
    where = at;
    texts.clear();
    ids.clear();
    for (const auto& item : menu.items()) {
      texts.push_back(item.text);
      ids.push_back(item.id);
    }
    return answer;
  }
  int answer = 0;
  int calls = 0;
  QPoint where;
  std::vector<std::string> texts;
  std::vector<int> ids;
};

// A view of the test chart in the program's own document.
class ChartViewInputTest : public testing::Test {
 protected:
  void SetUp() override {
    path = world.root.File("chart.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(path, vd::test::TestChart()));
    doc = &world.Doc();
  }
  void TearDown() override { DestroyView(); }
  void DestroyView() {
    if (view) doc->RemoveView(view.get());
    view.reset();  // waits for its tiles through the window
    window.view = nullptr;
  }

  COstrelView& MakeView(int width, int height) {
    view = std::make_unique<COstrelView>(*doc, window, window);
    window.view = view.get();
    doc->AddView(view.get());
    view->OnSize(width, height);
    return *view;
  }
  // The chart's own outline (drawn along its edge) hidden.
  COstrelView& OpenView(int width, int height) {
    COstrelView& v = MakeView(width, height);
    EXPECT_TRUE(v.OpenChartFile(path));
    if (v.outline()) v.outline()->visible = false;
    return v;
  }

  bool Send(uint32_t msg, Point p, uintptr_t w = 0) {
    return view->OnInputMessage({msg, w, vd::ui::MakeLParam(p.x, p.y)});
  }
  void Move(Point p) { Send(vd::ui::kWmMouseMove, p); }
  void Press(Point p) { Send(vd::ui::kWmLButtonDown, p, vd::ui::kMkLButton); }
  void Release(Point p) { Send(vd::ui::kWmLButtonUp, p); }
  void DoubleClick(Point p) {
    Press(p);
    Release(p);
    Send(vd::ui::kWmLButtonDblClk, p, vd::ui::kMkLButton);
    Release(p);
  }
  void Key(int vk) { Send(vd::ui::kWmKeyDown, {}, static_cast<uintptr_t>(vk)); }
  void Wheel(int delta) { Send(vd::ui::kWmMouseWheel, {}, vd::ui::MakeWParam(0, delta)); }
  // One period of the scrolling timer.
  void Tick() {
    window.now_ms += COstrelView::kScrollTimerMs;
    Send(vd::ui::kWmTimer, {}, COstrelView::kScrollTimerId);
  }
  // Drags with the left button from a to b, the sample period apart.
  void Drag(Point a, Point b) {
    Move(a);
    Press(a);
    window.now_ms += 60;
    Move(b);
  }

  // An object of the document at a chart pixel, shown by the views.
  InputProbe* AddProbe(Point pixel, const std::string& name) {
    InputProbe* probe = nullptr;
    {
      CCurrentOwnerScope owner(doc);
      probe = new InputProbe(pixel);
    }
    probe->name = name;
    probe->AddRef();
    doc->GetObjectList()->push_back(probe);
    doc->UpdateAllViews(nullptr, kChangeAdded, probe);
    return probe;
  }
  COstrelObject* Selected() const { return COstrelObject::GetSelected(doc); }
  CCmdUI Update(int id) {
    CCmdUI ui;
    EXPECT_TRUE(view->OnUpdateCommand(id, ui)) << id;
    return ui;
  }

  vd::test::DocWorld world;
  COstrelDoc* doc = nullptr;
  std::string path;
  TestWindow window;
  std::unique_ptr<COstrelView> view;
};

TEST_F(ChartViewInputTest, WheelZoomsAboutTheMouse) {
  COstrelView& v = OpenView(300, 200);
  for (const Point p : {Point{0, 0}, Point{37, 121}, Point{299, 199}}) {
    SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
    v.CentreOn(256, 192, 2);
    Move(p);
    const Point chart = v.ClientToChart(p);
    Wheel(120);
    EXPECT_EQ(1, v.zoom());
    EXPECT_EQ(chart, v.ClientToChart(p));
    Wheel(-240);  // one step a message, whatever the delta
    EXPECT_EQ(2, v.zoom());
    EXPECT_EQ(chart, v.ClientToChart(p));
    const Point origin = v.origin();
    Wheel(0);
    EXPECT_EQ(2, v.zoom());
    EXPECT_EQ(origin, v.origin());
  }
  v.CentreOn(256, 192, COstrelView::kMinZoom);
  const Point origin = v.origin();
  Wheel(120);
  EXPECT_EQ(COstrelView::kMinZoom, v.zoom());
  EXPECT_EQ(origin, v.origin());
}

TEST_F(ChartViewInputTest, DragPansAndRunsOutAfterTheRelease) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(256, 192, 0);
  const Point start = v.origin();
  Move({100, 100});
  Press({100, 100});
  EXPECT_EQ(COstrelView::kPanning, v.drag_mode());
  window.now_ms += 10;
  Move({110, 104});
  EXPECT_EQ((Point{start.x - 10, start.y - 4}), v.origin());
  window.now_ms += 60;  // a speed sample: 30, 12 client pixels since the press
  Move({130, 112});
  EXPECT_EQ((Point{start.x - 30, start.y - 12}), v.origin());
  Release({130, 112});
  EXPECT_EQ(COstrelView::kNoDrag, v.drag_mode());

  // Each tick moves on by about 78 % of the last step, until the speed is gone.
  Point last = v.origin();
  Tick();
  EXPECT_EQ((Point{last.x - 23, last.y - 9}), v.origin());
  int step = 23;
  int ticks = 1;
  for (; ticks < 100; ++ticks) {
    last = v.origin();
    Tick();
    const int moved = last.x - v.origin().x;
    ASSERT_LE(moved, step);
    step = moved;
    if (last == v.origin()) break;
  }
  EXPECT_LT(ticks, 100) << "the run-out ends";
  last = v.origin();
  Tick();
  EXPECT_EQ(last, v.origin());

  // A drag held still for a tick before the release leaves nothing to run out.
  Drag({100, 100}, {140, 100});
  Tick();  // the origin moved since the last tick
  Tick();  // it did not
  Release({140, 100});
  last = v.origin();
  Tick();
  EXPECT_EQ(last, v.origin());
}

TEST_F(ChartViewInputTest, MagnifiedPansInWholeChartPixels) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(256, 192, COstrelView::kMinZoom);  // 4 client pixels a chart pixel
  Move({101, 103});
  EXPECT_EQ((Point{100, 100}), v.last_mouse_point());
  const Point start = v.origin();
  Drag({101, 103}, {139, 119});  // taken as (136, 116): 9, 4 chart pixels
  EXPECT_EQ((Point{start.x - 9, start.y - 4}), v.origin());
  Release({139, 119});
  Point last = v.origin();
  for (int ticks = 0; ticks < 100; ++ticks) {
    Tick();
    if (last == v.origin()) break;
    last = v.origin();
  }
  Tick();
  EXPECT_EQ(last, v.origin()) << "the run-out ends at z < 0 too";
  EXPECT_NE(start.x - 9, last.x);
}

TEST_F(ChartViewInputTest, HoldCursorPutsThePointerBackAtThePress) {
  world.Profile().SetInt(vd::kSettingsSection, "continuous_scrolling", 1);
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(256, 192, 0);
  const Point start = v.origin();
  Drag({100, 100}, {120, 100});
  Move({120, 100});  // the pointer was put back, so this is a second step
  EXPECT_EQ((Point{start.x - 40, start.y}), v.origin());
  const Point press_on_screen{100 + TestWindow::kScreenOrigin.x, 100 + TestWindow::kScreenOrigin.y};
  EXPECT_EQ((std::vector<Point>{press_on_screen, press_on_screen}), window.cursor_moves);
}

TEST_F(ChartViewInputTest, ObjectUnderTheMouseTakesTheClicksAndTheReadOut) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);  // client pixels are chart pixels
  InputProbe* below = AddProbe({60, 70}, "below");
  InputProbe* top = AddProbe({60, 70}, "top");

  Move({62, 71});
  EXPECT_EQ(top, v.hovered_object());
  EXPECT_EQ("probe top", v.tip_text());
  // The tip is the read-out tip's, not the status bar's message.
  EXPECT_EQ("", window.status);
  const Point origin = v.origin();
  Press({62, 71});
  EXPECT_EQ(COstrelView::kNoDrag, v.drag_mode());
  EXPECT_EQ(top, Selected());
  Move({64, 73});
  Release({64, 73});
  EXPECT_EQ((std::vector<std::string>{"down", "move", "up"}), top->events);
  EXPECT_TRUE(below->events.empty());
  EXPECT_EQ(origin, v.origin());

  // Open map: the position, the read-out, and a press there pans and ends the selection.
  Move({200, 150});
  EXPECT_EQ(nullptr, v.hovered_object());
  double lat = 0, lon = 0;
  PixelPosition(200, 150, lat, lon);
  const CLatLon cursor = v.cursor_position();
  EXPECT_NEAR(lat, cursor.lat, 0.6 * vd::test::kDegreesPerPixel);
  EXPECT_NEAR(lon, cursor.lon, 0.6 * vd::test::kDegreesPerPixel);
  std::string where;
  FormatPositionText(cursor.lat, cursor.lon, where);
  EXPECT_EQ("Cursor:\n" + where, v.tip_text());
  EXPECT_EQ("", window.status);
  EXPECT_EQ("Cursor: " + where + " (Map datum)", window.readout);
  Press({200, 150});
  EXPECT_EQ(COstrelView::kPanning, v.drag_mode());
  EXPECT_EQ(nullptr, Selected());
  Release({200, 150});

  // With a GPS fix the read-out gives range and bearing from it.
  CObjCurrentPosition* own = doc->GetCurrentPositionObject();
  own->valid = 1;
  PixelPosition(250, 150, own->position.lat, own->position.lon);
  Move({200, 151});
  double distance = 0, bearing = 0;
  CLatLon(own->position.lat, own->position.lon)
      .DistanceAndBearingTo(v.cursor_position(), distance, bearing);
  EXPECT_EQ("From current position:\n" + world.app.FormatRangeBearing(distance, bearing),
            v.tip_text());
}

TEST_F(ChartViewInputTest, ReadOutTipFollowsTheSettingAndHidesWhilePanning) {
  COstrelView& v = OpenView(300, 200);
  EXPECT_FALSE(Update(COstrelView::kCmdReadOut).checked);
  EXPECT_FALSE(v.TipShowing());
  EXPECT_TRUE(v.OnCommand(COstrelView::kCmdReadOut));
  EXPECT_TRUE(doc->read_out_at_cursor());
  EXPECT_TRUE(Update(COstrelView::kCmdReadOut).checked);
  EXPECT_TRUE(v.TipShowing());
  Drag({100, 100}, {120, 100});
  EXPECT_FALSE(v.TipShowing());
  Release({120, 100});
  EXPECT_TRUE(v.TipShowing());
  v.OnCommand(COstrelView::kCmdReadOut);
  EXPECT_FALSE(v.TipShowing());
}

TEST_F(ChartViewInputTest, PrintBoxDragResizesAndMovesTheBox) {
  COstrelView& v = OpenView(400, 300);
  v.CentreOn(256, 192, 0);
  const Point o = v.origin();
  const auto client = [&](int x, int y) { return Point{x - o.x, y - o.y}; };
  CMapRectSelection& left = v.AddPrintBox();
  left.SetRect({100, 100, 300, 200});
  CMapRectSelection& right = v.AddPrintBox();
  right.SetRect({400, 100, 600, 200});
  v.SetPrintAreaMode(true);
  ASSERT_EQ(&right, v.active_box());

  // The right edge of the inactive box takes it.
  Move(client(299, 150));
  EXPECT_EQ(COstrelView::Cursor::kSizeHorizontal, v.OnSetCursor());
  Press(client(299, 150));
  EXPECT_EQ(COstrelView::kBoxDrag, v.drag_mode());
  EXPECT_EQ(&left, v.active_box());
  Move(client(349, 160));
  EXPECT_EQ((Rect{100, 100, 349, 200}), left.GetRect());
  Release(client(349, 160));
  EXPECT_EQ(o, v.origin()) << "no pan";

  // The middle of the active box moves it.
  Move(client(224, 150));
  EXPECT_EQ(COstrelView::Cursor::kMove, v.OnSetCursor());
  Press(client(224, 150));
  Move(client(234, 170));
  EXPECT_EQ((Rect{110, 120, 359, 220}), left.GetRect());
  Release(client(234, 170));

  // Inside the other box, away from its edges, is open map.
  Press(client(500, 150));
  EXPECT_EQ(COstrelView::kPanning, v.drag_mode());
  EXPECT_EQ(nullptr, v.active_box());
  Release(client(500, 150));
}

TEST_F(ChartViewInputTest, LosingTheMouseEndsADrag) {
  COstrelView& v = OpenView(400, 300);
  v.CentreOn(256, 192, 0);
  Drag({100, 100}, {150, 100});
  Send(vd::ui::kWmCaptureChanged, {});
  EXPECT_EQ(COstrelView::kNoDrag, v.drag_mode());
  const Point origin = v.origin();
  Move({200, 120});
  Tick();
  Tick();
  EXPECT_EQ(origin, v.origin()) << "neither the drag nor its speed goes on";

  const Point o = v.origin();
  CMapRectSelection& box = v.AddPrintBox();
  box.SetRect({100, 100, 300, 200});
  v.SetPrintAreaMode(true);
  Move({299 - o.x, 150 - o.y});
  Press({299 - o.x, 150 - o.y});
  ASSERT_EQ(COstrelView::kBoxDrag, v.drag_mode());
  Send(vd::ui::kWmCaptureChanged, {});
  Move({320 - o.x, 150 - o.y});
  EXPECT_EQ((Rect{100, 100, 300, 200}), box.GetRect());
}

TEST_F(ChartViewInputTest, KeysScrollZoomAndSwapPlaces) {
  COstrelView& v = OpenView(300, 200);
  struct Case {
    int key;
    Point moved;  // origin change, chart pixels at zoom 0
    int zoom;
  };
  const Case cases[] = {
      {vd::ui::kVkLeft, {-20, 0}, 0},   {vd::ui::kVkRight, {20, 0}, 0},
      {vd::ui::kVkUp, {0, -20}, 0},     {vd::ui::kVkDown, {0, 20}, 0},
      {vd::ui::kVkPrior, {20, -20}, 0}, {vd::ui::kVkNext, {20, 20}, 0},
      {vd::ui::kVkEnd, {-20, 20}, 0},   {vd::ui::kVkHome, {-20, -20}, 0},
      {vd::ui::kVkAdd, {}, -1},         {187, {}, -1},
      {vd::ui::kVkSubtract, {}, 1},     {189, {}, 1},
      {105, {}, 0},                     {108, {}, 0},
      {111, {}, 0},                     {'I', {}, 0},  // no other charts to go to
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    v.CentreOn(256, 192, 0);
    Move({150, 100});  // zooms keep the middle still
    const Point origin = v.origin();
    Key(c.key);
    EXPECT_EQ(c.zoom, v.zoom());
    if (c.zoom == 0) {
      EXPECT_EQ((Point{origin.x + c.moved.x, origin.y + c.moved.y}), v.origin());
    } else {
      EXPECT_EQ((Point{256, 192}), v.ClientToChart({150, 100}));
    }
  }

  // Space shows the other place (zoom 4 at the chart's corner at first), and back.
  v.CentreOn(256, 192, 0);
  const Point here = v.origin();
  Key(vd::ui::kVkSpace);
  EXPECT_TRUE(v.alternate_showing());
  EXPECT_EQ(4, v.zoom());
  EXPECT_EQ((Point{0, 0}), v.origin());
  Key(vd::ui::kVkSpace);
  EXPECT_FALSE(v.alternate_showing());
  EXPECT_EQ(0, v.zoom());
  EXPECT_EQ(here, v.origin());
}

TEST_F(ChartViewInputTest, TheSelectedObjectGetsKeysFirstAndShiftPansOverObjects) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  InputProbe* probe = AddProbe({60, 70}, "probe");
  probe->handled_key = vd::ui::kVkLeft;
  probe->Select(false);
  const Point origin = v.origin();
  Key(vd::ui::kVkLeft);
  EXPECT_EQ(origin, v.origin()) << "the object used the key";
  Key(vd::ui::kVkRight);
  EXPECT_EQ((Point{origin.x + 20, origin.y}), v.origin());
  EXPECT_EQ((std::vector<std::string>{"key 37", "key 39"}), probe->events);

  v.CentreOn(150, 100, 0);
  probe->events.clear();
  Key(vd::ui::kVkShift);
  EXPECT_TRUE(v.shift_drag());
  Move({60, 70});
  EXPECT_EQ(COstrelView::Cursor::kHand, v.OnSetCursor());
  Press({60, 70});
  EXPECT_EQ(COstrelView::kPanning, v.drag_mode());
  Release({60, 70});
  Send(vd::ui::kWmKeyUp, {}, vd::ui::kVkShift);
  EXPECT_FALSE(v.shift_drag());
  // The selected object hears the mouse move, but not the press that panned.
  EXPECT_EQ((std::vector<std::string>{"key 16", "move"}), probe->events);

  // The middle button pans over it too.
  Send(vd::ui::kWmMButtonDown, {60, 70});
  EXPECT_EQ(COstrelView::kPanning, v.drag_mode());
  Send(vd::ui::kWmMButtonUp, {60, 70});
  EXPECT_FALSE(v.shift_drag());
  EXPECT_EQ(COstrelView::Cursor::kArrow, v.OnSetCursor());
}

TEST_F(ChartViewInputTest, DoubleClickOnSeveralObjectsAsksWhichOne) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  std::vector<InputProbe*> stack;
  for (const char* name : {"A", "B", "C"}) {
    stack.push_back(AddProbe({60, 70}, name));
    stack.back()->SetCategory("Probes");
  }
  InputProbe* alone = AddProbe({200, 150}, "alone");
  MenuChooser chooser;
  vd::ui::ScopedResponder scope(&chooser);

  chooser.answer = COstrelView::kCmdObjectChoiceFirst + 1;
  DoubleClick({60, 70});
  EXPECT_EQ(1, chooser.calls);
  EXPECT_EQ((std::vector<std::string>{"Probes: C", "Probes: B", "Probes: A"}), chooser.texts);
  EXPECT_EQ((std::vector<int>{33329, 33330, 33331}), chooser.ids);
  EXPECT_EQ(QPoint(1060, 570), chooser.where);
  EXPECT_EQ(stack[1], Selected());
  EXPECT_EQ(stack[1], v.hovered_object());
  const auto got_double = [](const InputProbe* probe) {
    return std::count(probe->events.begin(), probe->events.end(), "double") > 0;
  };
  EXPECT_TRUE(got_double(stack[1]));
  EXPECT_FALSE(got_double(stack[0]));
  EXPECT_FALSE(got_double(stack[2]));

  // Dismissed: nobody gets the double-click.
  for (InputProbe* probe : stack) probe->events.clear();
  chooser.answer = 0;
  DoubleClick({60, 70});
  for (InputProbe* probe : stack) EXPECT_FALSE(got_double(probe));

  // One object: no menu.
  DoubleClick({200, 150});
  EXPECT_EQ(2, chooser.calls);
  EXPECT_TRUE(got_double(alone));

  // At most 99 objects are offered.
  for (int i = 0; i < 120; ++i) AddProbe({100, 120}, "many");
  DoubleClick({100, 120});
  EXPECT_EQ(3, chooser.calls);
  EXPECT_EQ(size_t(COstrelView::kMaxObjectChoices), chooser.texts.size());
  EXPECT_EQ(33427, chooser.ids.back());
}

TEST_F(ChartViewInputTest, DroppedFileBecomesAHotSpotMark) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  // A shell that has an icon for every file: the mark shows the file's own.
  struct IconShell : WaypointShell {
    std::optional<vd::ui::Image> FileIcon(const std::string&) override {
      return vd::ui::Image(16, 16);
    }
  } shell;
  struct ShellScope {
    explicit ShellScope(WaypointShell* shell) { CObjWaypoint::SetShell(shell); }
    ~ShellScope() { CObjWaypoint::SetShell(nullptr); }
  } shell_scope(&shell);
  // Longer than the 260 characters an older path buffer held.
  const std::string file = world.root.File(std::string(300, 'd') + "/report.pdf");
  ASSERT_TRUE(v.OnDropFiles({file, world.root.File("second.pdf")}, {60, 70}));
  ASSERT_FALSE(doc->GetObjectList()->empty());
  auto* mark = dynamic_cast<CObjWaypoint*>(doc->GetObjectList()->back());
  ASSERT_NE(nullptr, mark);
  EXPECT_EQ("HotSpots", CCategory::GetNameOr(mark->category()));
  EXPECT_EQ("HotSpot", mark->short_name);
  EXPECT_EQ("HotSpot", mark->name);
  EXPECT_EQ(file, mark->link);
  EXPECT_EQ(CObjWaypoint::kFileSymbol, mark->symbol);
  EXPECT_TRUE(mark->visible);
  EXPECT_FALSE(mark->being_placed);
  EXPECT_EQ(doc, mark->document());
  double lat = 0, lon = 0;
  PixelPosition(60, 70, lat, lon);
  EXPECT_NEAR(lat, mark->position.lat, 0.6 * vd::test::kDegreesPerPixel);
  EXPECT_NEAR(lon, mark->position.lon, 0.6 * vd::test::kDegreesPerPixel);
  EXPECT_NE(nullptr, v.mapped_objects().Find(mark)) << "the view shows it";

  const size_t count = doc->GetObjectList()->size();
  EXPECT_FALSE(v.OnDropFiles({}, {60, 70}));
  DestroyView();
  COstrelView& empty = MakeView(300, 200);  // no chart
  EXPECT_FALSE(empty.OnDropFiles({file}, {60, 70}));
  EXPECT_EQ(count, doc->GetObjectList()->size());
}

TEST_F(ChartViewInputTest, CreationCommandsMakeObjectsThatTakeTheNextClick) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(150, 100, 0);
  struct Case {
    int id;
    const OverlayClass* kind;
  };
  for (const Case& c : {Case{kCmdNewMark, &CObjWaypoint::kClass},
                        Case{kCmdNewMarkToolbar, &CObjWaypoint::kClass},
                        Case{kCmdNewRoute, &CObjRoute::kClass},
                        Case{kCmdDrawTrack, &CObjTrack::kClass},
                        Case{kCmdAddText, &CObjText::kClass}}) {
    SCOPED_TRACE(c.id);
    EXPECT_TRUE(Update(c.id).enabled);
    EXPECT_FALSE(Update(c.id).checked);
    const size_t count = doc->GetObjectList()->size();
    ASSERT_TRUE(v.OnCommand(c.id));
    ASSERT_EQ(count + 1, doc->GetObjectList()->size());
    COstrelObject* made = Selected();
    ASSERT_NE(nullptr, made);
    EXPECT_TRUE(made->IsKindOf(*c.kind));
    EXPECT_TRUE(Update(c.id).checked);
    EXPECT_EQ(made, v.hovered_object()) << "it takes the mouse";
    EXPECT_FALSE(Update(COstrelView::kCmdDragMap).checked);
    // The command again ends it; an object never placed goes.
    v.OnCommand(c.id);
    EXPECT_FALSE(Update(c.id).checked);
    if (c.kind != &CObjRoute::kClass) {
      EXPECT_EQ(count, doc->GetObjectList()->size());
    }
  }

  // A new mark lands where the next click falls, and no pan happens.
  v.OnCommand(kCmdNewMark);
  auto* mark = dynamic_cast<CObjWaypoint*>(Selected());
  ASSERT_NE(nullptr, mark);
  const Point origin = v.origin();
  Move({80, 90});
  Press({80, 90});
  Release({80, 90});
  EXPECT_FALSE(mark->being_placed);
  EXPECT_EQ(origin, v.origin());
  double lat = 0, lon = 0;
  PixelPosition(80, 90, lat, lon);
  EXPECT_NEAR(lat, mark->position.lat, 0.6 * vd::test::kDegreesPerPixel);
  EXPECT_NEAR(lon, mark->position.lon, 0.6 * vd::test::kDegreesPerPixel);
  EXPECT_FALSE(Update(kCmdNewMark).checked);

  // Drag map ends a mark still being placed.
  v.OnCommand(kCmdNewMark);
  const size_t count = doc->GetObjectList()->size();
  EXPECT_TRUE(v.OnCommand(COstrelView::kCmdDragMap));
  EXPECT_EQ(count - 1, doc->GetObjectList()->size());
  EXPECT_EQ(nullptr, Selected());

  // Without a georeferenced chart nothing is made.
  DestroyView();
  COstrelView& empty = MakeView(300, 200);
  EXPECT_FALSE(Update(kCmdNewRoute).enabled);
  const size_t before = doc->GetObjectList()->size();
  EXPECT_TRUE(empty.OnCommand(kCmdNewRoute));
  EXPECT_EQ(before, doc->GetObjectList()->size());
}

TEST_F(ChartViewInputTest, ZoomCommandsAndCommandsOfOtherFeaturesAreDisabled) {
  COstrelView& v = OpenView(300, 200);
  v.CentreOn(256, 192, 0);
  ASSERT_TRUE(v.OnCommand(COstrelView::kCmdZoomIn));
  EXPECT_EQ(-1, v.zoom());
  EXPECT_EQ((Point{256, 192}), v.ClientToChart({150, 100}));
  v.SetAnchorPoint({0, 0});
  const Point corner = v.ClientToChart({0, 0});
  ASSERT_TRUE(v.OnCommand(COstrelView::kCmdZoomOutAtAnchor));
  EXPECT_EQ(0, v.zoom());
  EXPECT_EQ(corner, v.ClientToChart({0, 0}));
  v.CentreOn(256, 192, COstrelView::kMinZoom);
  EXPECT_FALSE(Update(COstrelView::kCmdZoomInAtAnchor).enabled);
  EXPECT_TRUE(Update(COstrelView::kCmdZoomOut).enabled);

  // Navigation, and print commands outside print-area mode: known, not enabled, and doing
  // nothing.
  for (const int id : {33666, COstrelView::kCmdLockOnGps, COstrelView::kCmdRemovePage,
                       COstrelView::kCmdPrintPages,
                       COstrelView::kCmdMapsAtCursorFirst + 50,
                       COstrelView::kCmdMergeMapFirst + 49}) {
    SCOPED_TRACE(id);
    EXPECT_FALSE(Update(id).enabled);
    const Point origin = v.origin();
    EXPECT_TRUE(v.OnCommand(id));
    EXPECT_EQ(origin, v.origin());
  }
  CCmdUI ui;
  EXPECT_FALSE(v.OnUpdateCommand(kCmdDelete, ui)) << "the document's";
  EXPECT_FALSE(v.OnCommand(12345));
}

TEST_F(ChartViewInputTest, MapMenuListsTheChartsUnderTheMouse) {
  // A chart at 1.5 times the scale can be merged, one at 4 times can't.
  for (const auto& [name, factor, title] :
       {std::tuple{"wider.qct", 1.5, "Wider"}, std::tuple{"widest.qct", 4.0, ""}}) {
    vd::test::ChartFixture chart = vd::test::TestChart(factor * vd::test::kDegreesPerPixel);
    if (*title) chart.texts = {{kQctTitle, title}};
    ASSERT_TRUE(vd::test::WriteChartFixture(world.root.File(name), chart));
  }
  vd::test::ChartFixture own = vd::test::TestChart();
  own.texts = {{kQctTitle, "Own"}};
  ASSERT_TRUE(vd::test::WriteChartFixture(path, own));
  COstrelView& v = OpenView(300, 200);
  ASSERT_NE(nullptr, doc->FindOrAddChartOutline(world.root.File("wider.qct")));
  ASSERT_NE(nullptr, doc->FindOrAddChartOutline(world.root.File("widest.qct")));
  v.OnUpdate(nullptr, kChangeAdded, nullptr);
  v.CentreOn(150, 100, 0);

  Send(vd::ui::kWmRButtonDown, {100, 100});
  // Most nautical miles a pixel first, each put on top of the ones before.
  ASSERT_EQ(3u, v.maps_at_cursor().size());
  EXPECT_EQ(world.root.File("widest.qct"), v.maps_at_cursor()[0].chart_path);
  EXPECT_EQ("Own", v.maps_at_cursor()[2].title);
  EXPECT_TRUE(v.maps_at_cursor()[2].current);
  const auto maps = window.TrackedUnder("Maps at Cursor");
  ASSERT_EQ(3u, maps.size());
  EXPECT_EQ("Own", maps[0].text);
  EXPECT_EQ(COstrelView::kCmdMapsAtCursorFirst + 2, maps[0].id);
  EXPECT_EQ(vd::ui::PopupMenu::kChecked | vd::ui::PopupMenu::kDisabled, maps[0].flags);
  EXPECT_EQ("Wider", maps[1].text);
  EXPECT_EQ(world.root.File("widest.qct"), maps[2].text) << "a chart without title by its path";
  const auto merge = window.TrackedUnder("Merge Map");
  ASSERT_EQ(2u, merge.size());
  EXPECT_EQ("Wider", merge[0].text);
  EXPECT_EQ(COstrelView::kCmdMergeMapFirst + 1, merge[0].id);
  EXPECT_EQ("Undo", merge[1].text);
  const auto creation = window.TrackedUnder("Create &New");
  ASSERT_FALSE(creation.empty());
  EXPECT_EQ(kCmdNewMark, creation[0].id);
  EXPECT_EQ(0u, creation[0].flags) << "enabled";

  // An object with a menu of its own keeps the map menu away.
  InputProbe* probe = AddProbe({60, 70}, "probe");
  probe->takes_menu = true;
  window.tracked.clear();
  Send(vd::ui::kWmRButtonDown, {60, 70});
  EXPECT_EQ("menu", probe->events.back());
  EXPECT_TRUE(window.tracked.empty());
}

TEST_F(ChartViewInputTest, EveryContextMenuCommandIsTheViewsOrTheDocuments) {
  OpenView(300, 200);
  for (const int menu_id : {134, 136, 137, 159, 160, 161, 162, 219}) {
    SCOPED_TRACE(menu_id);
    const std::unique_ptr<vd::ui::PopupMenu> menu = COstrelView::LoadViewMenu(menu_id);
    ASSERT_NE(nullptr, menu);
    std::function<void(const vd::ui::PopupMenu&)> walk = [&](const vd::ui::PopupMenu& m) {
      for (const auto& item : m.items()) {
        if (item.submenu) walk(*item.submenu);
        if (item.separator || item.submenu) continue;
        CCmdUI ui;
        EXPECT_TRUE(view->OnUpdateCommand(item.id, ui) || doc->OnUpdateCommand(item.id, ui))
            << item.id << " " << item.text;
      }
    };
    walk(*menu);
  }
  EXPECT_EQ(nullptr, COstrelView::LoadViewMenu(1));
}

TEST(ChartViewLockOn, ScrollingKeepsTheLockPointAwayFromTheEdges) {
  vd::test::TempDir dir;
  vd::SetProfileLocation(vd::kDefaultProfileKey, dir.File("profile"));
  const std::string path = dir.File("chart.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(path, vd::test::TestChart()));
  vd::test::TestDocument document;
  CCurrentOwnerScope owner(&document);
  TestWindow window;
  CViewPlacement placement;
  placement.chart_path = path;
  PixelPosition(256, 192, placement.lat, placement.lon);
  placement.lock = 1;
  document.pending = placement;
  COstrelView view(document, window, window);
  window.view = &view;
  view.OnSize(300, 200);
  ASSERT_TRUE(view.OpenChart());
  ASSERT_TRUE(view.IsLockedOn());
  ASSERT_EQ((Point{150, 100}), view.lock_point());
  const Point start = view.origin();
  // The lock point follows the chart until it is 20 pixels from the right edge.
  for (int i = 0; i < 10; ++i) view.OnInputMessage({vd::ui::kWmKeyDown, vd::ui::kVkLeft, 0});
  EXPECT_EQ((Point{280, 100}), view.lock_point());
  EXPECT_EQ((Point{start.x - (130 << view.zoom()), start.y}), view.origin());
}

}  // namespace
