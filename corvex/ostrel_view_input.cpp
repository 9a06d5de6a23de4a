// The chart view's mouse, wheel, key, timer and drop input: panning with its kinetic run-out,
// zooming, print-box drags, the read-out under the mouse, and the objects' own input.
#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "charts/elevation_file.h"
#include "charts/old_quick_chart.h"
#include "overlays/outline/old_chart_outline.h"
#include "app/app_common.h"
#include "core/persistent_value.h"
#include "corvex/map_rect_selection.h"
#include "corvex/ostrel_view.h"
#include "overlays/category.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_waypoint.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"

namespace {

// Keys of the main keyboard's "=+" and "-_" (the keypad's are kVkAdd and kVkSubtract).
constexpr int kKeyScrollStep = 20;  // client pixels
// A pan's speed is sampled at most this often; the timer ticks at the same period.
constexpr int64_t kSampleMs = COstrelView::kScrollTimerMs;
// While locked onto the GPS, the lock point keeps this far inside the window.
constexpr int kLockMargin = 20;
constexpr char kHoldCursorSetting[] = "continuous_scrolling";
constexpr char kHotSpotCategory[] = "HotSpots";
constexpr char kHotSpotName[] = "HotSpot";

// Keeps an object alive across a call that may take it out of its document.
class KeepAlive {
 public:
  explicit KeepAlive(COstrelObject* object) : object_(object) {
    if (object_) object_->AddRef();
  }
  ~KeepAlive() {
    if (object_) object_->Release();
  }
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;

 private:
  COstrelObject* object_;
};

bool Listed(const ObjectList* list, const COstrelObject* object) {
  return list && std::find(list->begin(), list->end(), object) != list->end();
}

// Whether the object is being created or edited: the mouse then goes to it wherever it is.
bool IsBeingEdited(const COstrelObject& object) {
  if (object.IsKindOf(CObjWaypoint::kClass)) {
    return static_cast<const CObjWaypoint&>(object).being_placed;
  }
  if (object.IsKindOf(CObjRoute::kClass)) {
    return static_cast<const CObjRoute&>(object).edit_state == CObjRoute::kInsert;
  }
  if (object.IsKindOf(CObjTrack::kClass)) {
    return static_cast<const CObjTrack&>(object).drawing_state != 0;
  }
  if (object.IsKindOf(CObjText::kClass)) {
    return static_cast<const CObjText&>(object).edit_state != CObjText::kNormal;
  }
  return false;
}

// One step of the kinetic run-out: about 78 % of the speed, kept on whole chart pixels at
// z < 0 and always moving toward zero, so that it ends.
int DecayVelocity(int v, int z) {
  const int64_t unit = z < 0 ? int64_t{1} << -z : 1;
  int64_t decayed = (int64_t{v} * 200) >> 8;
  decayed &= -unit;  // down to a multiple of the unit
  if (decayed < 0) decayed += unit;
  return static_cast<int>(decayed);
}

}  // namespace

int64_t CViewWindow::TickCount() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool COstrelView::OnInputMessage(const vd::os::Message& message) {
  const vd::ui::Point point{vd::ui::XFromLParam(message.lparam),
                            vd::ui::YFromLParam(message.lparam)};
  RefreshEditMode();
  switch (message.msg) {
    case vd::ui::kWmMouseMove:
      OnMouseMove(point);
      return true;
    case vd::ui::kWmLButtonDown:
      OnLButtonDown(point);
      return true;
    case vd::ui::kWmLButtonUp:
      OnLButtonUp(point);
      return true;
    case vd::ui::kWmLButtonDblClk:
      OnLButtonDblClk(point);
      return true;
    case vd::ui::kWmMButtonDown:
    case vd::ui::kWmMButtonDblClk:
      OnMButtonDown(point);
      return true;
    case vd::ui::kWmMButtonUp:
      OnMButtonUp(point);
      return true;
    case vd::ui::kWmRButtonDown:
      OnRButtonDown(point);
      return true;
    case vd::ui::kWmMouseWheel:
      OnMouseWheel(vd::ui::WheelDeltaFromWParam(message.wparam));
      return true;
    case vd::ui::kWmKeyDown:
      OnKeyDown(static_cast<int>(message.wparam));
      return false;  // the window's own handling follows (F1 help)
    case vd::ui::kWmKeyUp:
      if (message.wparam == vd::ui::kVkShift) shift_drag_ = false;
      return false;
    case vd::ui::kWmTimer:
      if (message.wparam != kScrollTimerId) return false;
      OnTimer();
      return true;
    case vd::ui::kWmCaptureChanged:
      OnCaptureChanged();
      return true;
    default:
      return false;
  }
}

// ---- Helpers ----

COstrelDocBase* COstrelView::DocBase() const { return dynamic_cast<COstrelDocBase*>(&document_); }

COstrelObject* COstrelView::CurrentObject() const {
  const COstrelDocBase* doc = DocBase();
  return doc ? COstrelObject::GetSelected(doc) : nullptr;
}

void COstrelView::RefreshEditMode() {
  const COstrelObject* current = CurrentObject();
  edit_mode_ = current && IsBeingEdited(*current);
}

bool COstrelView::TipShowing() const { return tip_active_ && ReadOutSetting(); }

void COstrelView::InvalidateBand() {
  if (band_.anchor_count() > 0) window_.Invalidate(band_.Extent(cursor_chart_));
}

vd::ui::Point COstrelView::RoundToChartPixel(vd::ui::Point client) const {
  if (zoom_ >= 0) return client;
  const int mask = -(1 << -zoom_);
  return {client.x & mask, client.y & mask};
}

std::string COstrelView::FormatCursorText() const {
  if (!chart_) return "";
  if (!chart_->HasGeoreference()) {
    return "X=" + std::to_string(cursor_chart_.x) + ", Y=" + std::to_string(cursor_chart_.y);
  }
  std::string where;
  FormatPositionText(cursor_latlon_.lat, cursor_latlon_.lon, where);
  // Positions come out in WGS84 only where the chart says how its datum lies.
  return "Cursor: " + where + (chart_->has_datum_shift() ? " (WGS84)" : " (Map datum)");
}

std::string COstrelView::PositionTip() const {
  const auto* positions = dynamic_cast<const CCurrentPositionDocument*>(&document_);
  const CObjCurrentPosition* own = positions ? positions->PeekCurrentPosition() : nullptr;
  const CAppCommon* app = CAppCommon::Instance();
  if (own && own->valid && app) {
    double distance = 0;
    double bearing = 0;
    CLatLon(own->position.lat, own->position.lon)
        .DistanceAndBearingTo(cursor_latlon_, distance, bearing);
    return "From current position:\n" + app->FormatRangeBearing(distance, bearing);
  }
  std::string where;
  FormatPositionText(cursor_latlon_.lat, cursor_latlon_.lon, where);
  return "Cursor:\n" + where;
}

void COstrelView::UpdateCursor(vd::ui::Point client) {
  client = RoundToChartPixel(client);
  hovered_ = nullptr;
  last_mouse_ = client;
  if (!chart_) return;
  cursor_chart_ = ClientToChart(client);
  if (drag_mode_ != kPanning && chart_->HasGeoreference()) {
    chart_->PixelToLatLon(cursor_chart_.x, cursor_chart_.y, cursor_latlon_.lat,
                          cursor_latlon_.lon);
    std::string tip;
    // Topmost first: the last drawn is the first hit.
    for (auto it = mapped_.rbegin(); it != mapped_.rend() && !hovered_; ++it) {
      CMappedObject& mapped = *it->second;
      COstrelObject* object = mapped.object();
      tip.clear();
      if (object && object->HitTest(cursor_chart_, mapped, zoom_) &&
          object->GetStatusText(tip, cursor_latlon_, &mapped)) {
        hovered_ = object;
      }
    }
    if (!hovered_) {
      tip.clear();
      if (edit_mode_) {
        hovered_ = CurrentObject();
        if (hovered_ && !hovered_->GetStatusText(tip, cursor_latlon_, nullptr)) tip.clear();
      }
    }
    if (tip.empty()) tip = PositionTip();
    const CAppCommon* app = CAppCommon::Instance();
    const CElevationFile* terrain = app ? app->GetElevationFile() : nullptr;
    if (terrain) {
      const float height = terrain->GetHeight(cursor_latlon_.lat, cursor_latlon_.lon);
      if (height < kNoElevation) tip += "\nElevation: " + app->FormatDepth(height);
    }
    tip_text_ = std::move(tip);
  }
  frame_.SetReadoutText(FormatCursorText());
}

// ---- Scrolling ----

void COstrelView::ScrollBy(int dx, int dy) {
  if (lock_on_) {
    // The lock point may come no nearer the window's edges than the margin.
    const auto limit = [](int delta, int at, int extent) {
      const int low = kLockMargin - at;
      const int high = extent - kLockMargin - at;
      return low > high ? 0 : std::clamp(delta, low, high);
    };
    dx = limit(dx, lock_point_.x, client_.cx);
    dy = limit(dy, lock_point_.y, client_.cy);
  }
  if (zoom_ < 0) {
    // Whole chart pixels only, or the window and the origin would part.
    const int unit = 1 << -zoom_;
    dx = dx / unit * unit;
    dy = dy / unit * unit;
  }
  if (dx == 0 && dy == 0) return;
  if (lock_on_) lock_point_ = {lock_point_.x + dx, lock_point_.y + dy};
  origin_ = {Clamp32(int64_t{origin_.x} - ShiftLeftByZoom(dx, zoom_)),
             Clamp32(int64_t{origin_.y} - ShiftLeftByZoom(dy, zoom_))};
  marker_ = kHiddenMarker;
  ReprojectAllMappedObjects(mapped_);
  InvalidateAll();
  BroadcastCentre();
}

void COstrelView::ScrollByKey(int dx, int dy) {
  InvalidateBand();
  ScrollBy(dx, dy);
  UpdateCursor(last_mouse_);
  InvalidateBand();
}

void COstrelView::SwapPlaces() {
  if (!chart_) return;
  std::swap(zoom_, alternate_.zoom);
  std::swap(origin_, alternate_.origin);
  std::swap(lock_on_, alternate_.lock_on);
  std::swap(lock_point_, alternate_.lock_point);
  alternate_showing_ = !alternate_showing_;
  marker_ = kHiddenMarker;
  RemapAllObjects();
  InvalidateAll();
  BroadcastCentre();
}

// ---- Mouse ----

void COstrelView::OnMouseMove(vd::ui::Point point) {
  point = RoundToChartPixel(point);
  if (point == last_mouse_) return;
  // The band of the object being placed shows in the active view only.
  if (COstrelView* active = ActiveView(); active && band_.anchor_count() > 0) {
    active->InvalidateBand();
  }
  OnSetFocus();
  const vd::ui::Point delta{point.x - last_mouse_.x, point.y - last_mouse_.y};
  UpdateCursor(point);
  switch (drag_mode_) {
    case kPanning: {
      ScrollBy(delta.x, delta.y);
      const int64_t now = window_.TickCount();
      if (now - sample_time_ > kSampleMs) {
        velocity_ = {Clamp32(ShiftRightByZoom(int64_t{pan_sample_origin_.x} - origin_.x, zoom_)),
                     Clamp32(ShiftRightByZoom(int64_t{pan_sample_origin_.y} - origin_.y, zoom_))};
        pan_sample_origin_ = origin_;
        sample_time_ = now;
      }
      if (hold_cursor_) {
        window_.SetCursorScreenPos(press_screen_);
        last_mouse_ = RoundToChartPixel(press_point_);
      }
      break;
    }
    case kBoxDrag:
      if (active_box_) active_box_->Drag(cursor_chart_);
      break;
    default:
      if (COstrelObject* current = CurrentObject()) current->OnMouseMove(cursor_latlon_);
      break;
  }
  InvalidateBand();
}

void COstrelView::OnLButtonDown(vd::ui::Point point) {
  if (calibration_ && chart_) {
    UpdateCursor(point);
    calibration_->OnChartClick(cursor_chart_.x, cursor_chart_.y);
  }
  UpdateCursor(point);
  drag_mode_ = kNoDrag;
  velocity_ = {};
  sample_time_ = window_.TickCount();
  if (print_area_mode_) {
    if (active_box_ && active_box_->HitTest(cursor_chart_)) {
      drag_mode_ = kBoxDrag;
    } else {
      if (active_box_) {
        active_box_->Invalidate();
        active_box_ = nullptr;
      }
      // An edge of another box takes it.
      for (const auto& box : boxes_) {
        if (box->HitTest(cursor_chart_)) {
          active_box_ = box.get();
          drag_mode_ = kBoxDrag;
          box->Invalidate();
          break;
        }
      }
    }
  }
  if (drag_mode_ == kNoDrag) {
    if (shift_drag_ || !hovered_) {
      PushHistory(false);
      pan_sample_origin_ = origin_;
      drag_mode_ = kPanning;
      tip_active_ = false;
      hold_cursor_ =
          vd::OpenAppProfile().GetInt(vd::kSettingsSection, kHoldCursorSetting).value_or(0) != 0;
      press_point_ = point;
      press_screen_ = window_.ClientToScreen(point);
    } else if (COstrelObject* target = edit_mode_ ? CurrentObject() : hovered_) {
      // The press carries the screen record of what lies under the cursor: an object being
      // edited learns from it what was clicked (a route being built takes a clicked mark).
      target->OnLButtonDown(cursor_latlon_, mapped_.Find(hovered_ ? hovered_ : target));
    }
  }
  // A press on open map ends the selection.
  COstrelObject* current = CurrentObject();
  if (shift_drag_ || hovered_ || !current) return;
  const KeepAlive keep(current);
  current->Deselect();  // a mark never placed goes with it
  InvalidateBand();
  band_.Reset();
  COstrelDocBase* doc = DocBase();
  if (doc && Listed(document_.GetObjectList(), current)) {
    doc->UpdateAllViews(nullptr, kChangeModified, current);
  }
}

void COstrelView::OnLButtonUp(vd::ui::Point point) {
  anchor_ = point;
  const int mode = drag_mode_;
  drag_mode_ = kNoDrag;
  hold_cursor_ = false;
  tip_active_ = true;
  if (mode == kBoxDrag) {
    if (active_box_) active_box_->EndDrag();
  } else if (mode == kNoDrag) {
    if (COstrelObject* current = CurrentObject()) current->OnLButtonUp(cursor_latlon_);
  }
}

void COstrelView::OnMButtonDown(vd::ui::Point point) {
  shift_drag_ = true;
  cursor_ = Cursor::kHand;
  OnLButtonDown(point);
}

void COstrelView::OnMButtonUp(vd::ui::Point point) {
  OnLButtonUp(point);
  shift_drag_ = false;
}

void COstrelView::OnCaptureChanged() {
  if (drag_mode_ == kNoDrag) return;
  if (drag_mode_ == kBoxDrag && active_box_) active_box_->EndDrag();
  drag_mode_ = kNoDrag;
  velocity_ = {};
  hold_cursor_ = false;
  tip_active_ = true;
}

void COstrelView::OnLButtonDblClk(vd::ui::Point point) {
  UpdateCursor(point);
  anchor_ = point;
  // Outside the chart the double-click asks for the chart there at the same scale, unless it
  // ends a track being drawn.
  const bool outside = HasGeoreferencedChart() && outline_ &&
                       !outline_->ContainsPoint(cursor_latlon_.lat, cursor_latlon_.lon);
  if (outside && !(hovered_ && hovered_->IsKindOf(CObjTrack::kClass))) {
    OnCommand(kCmdSameScaleMap);
    return;
  }
  if (!hovered_) {
    OnLButtonDown(point);
    return;
  }
  if (ChooseObjectAtCursor(point) && hovered_) hovered_->OnDoubleClick(cursor_latlon_);
}

COstrelObject* COstrelView::ChooseObjectAtCursor(vd::ui::Point client) {
  // The object being edited keeps the mouse: its double-click ends the edit.
  if (edit_mode_) return hovered_;
  std::vector<COstrelObject*> objects;
  const size_t most = kMaxObjectChoices;
  for (auto it = mapped_.rbegin(); it != mapped_.rend() && objects.size() < most; ++it) {
    CMappedObject& mapped = *it->second;
    COstrelObject* object = mapped.object();
    // Charts are chosen through the map context menu, not here.
    if (object && object->visible && object->IsSelectable() &&
        !object->IsKindOf(COldChartOutline::kClass) &&
        object->HitTest(cursor_chart_, mapped, zoom_)) {
      objects.push_back(object);
    }
  }
  if (objects.size() < 2) return hovered_;
  // Nothing the menu lists goes while it waits for the user.
  std::vector<std::unique_ptr<KeepAlive>> kept;
  for (COstrelObject* object : objects) kept.push_back(std::make_unique<KeepAlive>(object));
  const std::unique_ptr<vd::ui::PopupMenu> menu = ObjectChoiceMenu(objects);
  const vd::ui::Point screen = window_.ClientToScreen(client);
  const int chosen = menu->Track(window_.DialogOwner(), {screen.x, screen.y});
  const int index = chosen - kCmdObjectChoiceFirst;
  if (index < 0 || index >= static_cast<int>(objects.size())) return nullptr;
  COstrelObject* object = objects[size_t(index)];
  if (!Listed(document_.GetObjectList(), object)) return nullptr;
  hovered_ = object;
  object->Select(true);
  return hovered_;
}

void COstrelView::OnRButtonDown(vd::ui::Point point) {
  UpdateCursor(point);
  anchor_ = point;
  velocity_ = {};
  sample_time_ = window_.TickCount();
  COstrelObject* target = edit_mode_ ? CurrentObject() : hovered_;
  if (target && target->OnContextMenuAt(cursor_latlon_, this, point)) return;
  ShowMapContextMenu(point);
}

void COstrelView::OnMouseWheel(int delta) {
  anchor_ = last_mouse_;
  if (delta > 0) ZoomIn();
  if (delta < 0) ZoomOut();
}

// ---- Keys and timer ----

void COstrelView::OnKeyDown(int key) {
  anchor_ = last_mouse_;
  COstrelObject* current = CurrentObject();
  if (current && current->OnKeyDownAt(key, cursor_latlon_)) return;
  switch (key) {
    case vd::ui::kVkShift:
      shift_drag_ = true;  // the hand shows at once (OnSetCursor)
      break;
    case vd::ui::kVkSpace:
      SwapPlaces();
      break;
    case vd::ui::kVkPrior:
      ScrollByKey(-kKeyScrollStep, kKeyScrollStep);
      break;
    case vd::ui::kVkNext:
      ScrollByKey(-kKeyScrollStep, -kKeyScrollStep);
      break;
    case vd::ui::kVkEnd:
      ScrollByKey(kKeyScrollStep, -kKeyScrollStep);
      break;
    case vd::ui::kVkHome:
      ScrollByKey(kKeyScrollStep, kKeyScrollStep);
      break;
    case vd::ui::kVkLeft:
      ScrollByKey(kKeyScrollStep, 0);
      break;
    case vd::ui::kVkUp:
      ScrollByKey(0, kKeyScrollStep);
      break;
    case vd::ui::kVkRight:
      ScrollByKey(-kKeyScrollStep, 0);
      break;
    case vd::ui::kVkDown:
      ScrollByKey(0, -kKeyScrollStep);
      break;
    case 'I':
      OnCommand(kCmdLargerScaleMap);
      break;
    case 'L':
      OnCommand(kCmdLockOnGps);
      break;
    case 'O':
      OnCommand(kCmdSmallerScaleMap);
      break;
    case vd::ui::kVkAdd:
    case vd::ui::kVkOemPlus:
      ZoomIn();
      break;
    case vd::ui::kVkSubtract:
    case vd::ui::kVkOemMinus:
      ZoomOut();
      break;
    default:
      break;
  }
}

void COstrelView::OnTimer() {
  if (drag_mode_ == kPanning) {
    // A mouse held still over a whole tick means the pan has stopped: nothing runs on.
    if (origin_ == tick_origin_) velocity_ = {};
    tick_origin_ = origin_;
    return;
  }
  if (velocity_ == vd::ui::Point{}) return;
  velocity_ = {DecayVelocity(velocity_.x, zoom_), DecayVelocity(velocity_.y, zoom_)};
  ScrollBy(velocity_.x, velocity_.y);
  UpdateCursor(last_mouse_);
}

// ---- Cursor shape ----

COstrelView::Cursor COstrelView::OnSetCursor() {
  // The shape stays while a button is held: the grips must not be tested again mid-drag.
  if (drag_mode_ != kNoDrag) return cursor_;
  char code = 0;
  if (print_area_mode_) {
    if (active_box_) code = active_box_->GetCursorCode(cursor_chart_);
    for (auto it = boxes_.begin(); code == 0 && it != boxes_.end(); ++it) {
      code = (*it)->GetCursorCode(cursor_chart_);
    }
  }
  switch (code) {
    case 'B': cursor_ = Cursor::kSizeDiagonalDown; break;
    case 'F': cursor_ = Cursor::kSizeDiagonalUp; break;
    case 'H': cursor_ = Cursor::kSizeHorizontal; break;
    case 'V': cursor_ = Cursor::kSizeVertical; break;
    case 'P': cursor_ = Cursor::kMove; break;
    default: cursor_ = hovered_ && !shift_drag_ ? Cursor::kArrow : Cursor::kHand; break;
  }
  return cursor_;
}

// ---- Dropped files ----

bool COstrelView::OnDropFiles(const std::vector<std::string>& paths, vd::ui::Point client) {
  COstrelDocBase* doc = DocBase();
  ObjectList* list = document_.GetObjectList();
  if (paths.empty() || !HasGeoreferencedChart() || !doc || !list) return false;
  const vd::ui::Point pixel = ClientToChart(client);
  double lat = 0;
  double lon = 0;
  chart_->PixelToLatLon(pixel.x, pixel.y, lat, lon);
  const CCurrentOwnerScope owner(doc);
  auto* mark = new CObjWaypoint;
  mark->AddRef();
  list->push_back(mark);
  mark->name.clear();  // Set names it after its short name
  mark->SetCategory(kHotSpotCategory);
  mark->link = paths.front();
  mark->Set(lat, lon, kHotSpotName, "", CObjWaypoint::kFileSymbol, mark->label_mode);
  return true;
}
