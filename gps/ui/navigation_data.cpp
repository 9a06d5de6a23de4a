#include "gps/ui/navigation_data.h"

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/persistent_value.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/surface.h"

namespace {

struct LineSpec {
  int byte;
  int command;
  bool route_only;
  const char* menu_text;
};

// In the order the lines are drawn; texts_ has the same order.
constexpr LineSpec kLines[CNavigationData::kLineCount] = {
    {0, 32953, false, "Distance and bearing"},
    {1, 32954, false, "VMG"},
    {13, 32955, false, "ETA"},
    {12, 224, false, "Time to go"},
    {2, 226, false, "ETA at end"},
    {14, 225, false, "Distance"},
    {15, 227, false, "Time to end"},
    {17, 33685, false, "Turn"},
    {18, 33686, true, "Next turn"},
    {3, 32959, true, "Cross-track error"},
    {16, 228, true, "VMG on leg"},
};

constexpr double kDegreesToRadians = M_PI / 180.0;
constexpr double kMinimumVmg = 0.01;

std::function<void(CNavigationData::AlarmSound)> g_alarm_sound;

CDataPane::Placement DefaultPlacement() {
  const float f = CDataPane::DisplayScale();
  return {0, static_cast<int>(230 * f), static_cast<int>(203 * f), static_cast<int>(135 * f)};
}

}  // namespace

float CNavigationData::arrival_alarm_nm = 0.0f;
float CNavigationData::cross_track_alarm_nm = 0.0f;

CNavigationData::Selection& CNavigationData::selection() {
  static Selection record = [] {
    Selection defaults{};
    for (int byte : {0, 1, 2, 3, 14}) defaults[byte] = 1;
    vd::LoadProfileBinary(kSelectionKey, defaults.data(), defaults.size());
    return defaults;
  }();
  return record;
}

void CNavigationData::SetAlarmSound(std::function<void(AlarmSound)> sound) {
  g_alarm_sound = std::move(sound);
}

CNavigationData::CNavigationData()
    : CNavigationWnd(kPaneId, kSettingsKey, DefaultPlacement(), kContextMenu) {
  selection();
  RebuildTexts();
}

CNavigationData::~CNavigationData() {
  vd::SaveProfileBinary(kSelectionKey, selection().data(), selection().size());
}

CNavigationData* CNavigationData::ShowGotoMark(CObjWaypoint* mark) {
  return mark != nullptr ? ShowFor<CNavigationData>(mark, nullptr) : nullptr;
}

CNavigationData* CNavigationData::ShowFollowRoute(CObjRoute* route) {
  return route != nullptr ? ShowFor<CNavigationData>(nullptr, route) : nullptr;
}

void CNavigationData::OnRecomputed() {
  SoundAlarms();
  RebuildTexts();
}

void CNavigationData::SoundAlarms() const {
  std::optional<AlarmSound> sound;
  if (arrival_alarm_nm > 0.0f && arrival_alarm_nm > distance()) {
    sound = AlarmSound::kStop;
  } else if (cross_track_alarm_nm > 0.0f && cross_track_alarm_nm < cross_track()) {
    sound = left_of_track() ? AlarmSound::kQuestion : AlarmSound::kExclamation;
  }
  if (!sound) return;
  if (g_alarm_sound) {
    g_alarm_sound(*sound);
  } else {
    QApplication::beep();
  }
}

void CNavigationData::RebuildTexts() {
  CAppCommon* app = CAppCommon::Instance();
  if (app == nullptr) return;
  const bool on_route = route() != nullptr;
  const CObjCurrentPosition* fix = vessel();
  const double speed = fix != nullptr ? fix->speed : 0.0;
  const double course = fix != nullptr ? fix->course : 0.0;
  const int64_t fix_time = fix != nullptr ? fix->time : 0;
  const bool timed = vmg() > kMinimumVmg;
  const double end_distance =
      on_route ? distance() + route()->DistanceToEnd(target()) : distance();

  auto eta_text = [&](double nm) {
    return timed ? app->FormatTime(fix_time + std::llround(nm / vmg() * 3600.0), false)
                 : std::string();
  };
  auto time_text = [&](double nm) {
    return timed ? CAppCommon::FormatDuration(std::llround(nm / vmg() * 3600.0)) : std::string();
  };
  // The side of the track as the helmsman steers back to it: left of it, steer right.
  const char* side = cross_track() == 0.0 ? " " : (left_of_track() ? " >> " : " << ");
  const double heading = VesselHeading();

  texts_[0] = app->FormatRangeBearing(distance(), bearing());
  texts_[1] = (on_route ? "VMG Mark: " : "VMG: ") + app->FormatSpeed(vmg());
  texts_[2] = (on_route ? "ETA next: " : "ETA: ") + eta_text(distance());
  texts_[3] = (on_route ? "Time to next: " : "Time: ") + time_text(distance());
  texts_[4] = on_route ? "ETA end: " + eta_text(end_distance) : texts_[2];
  texts_[5] = (on_route ? "Dist end: " : "Dist: ") + app->FormatDistance(end_distance);
  texts_[6] = on_route ? "Time to end: " + time_text(end_distance) : texts_[3];
  texts_[7] = "Turn " + FormatTurn(TurnAngle(bearing(), heading)) + " " +
              app->FormatDistance(distance());
  texts_[8] = "Next Turn ";
  if (turn_known() && target() != nullptr && next_mark() != nullptr) {
    texts_[8] += FormatTurn(TurnAngle(turn_bearing(), heading)) + " " +
                 app->FormatDistance(target()->position.DistanceTo(next_mark()->position));
  }
  texts_[9] = std::string("XTE:") + side + app->FormatDistance(cross_track()) + side;
  texts_[10] = "VMG Leg: " +
               app->FormatSpeed(speed * std::cos((leg_bearing() - course) * kDegreesToRadians));
  FitFontToLines(ShownLines());
}

std::vector<std::string> CNavigationData::ShownLines() const {
  std::vector<std::string> lines;
  const bool on_route = route() != nullptr;
  for (int i = 0; i < kLineCount; ++i) {
    if (kLines[i].route_only && !on_route) continue;
    if (selection()[kLines[i].byte] != 0) lines.push_back(texts_[i]);
  }
  if (lines.empty()) lines.emplace_back(kNoLineText);
  return lines;
}

void CNavigationData::resizeEvent(QResizeEvent* event) {
  CNavigationWnd::resizeEvent(event);
  FitFontToLines(ShownLines());
}

void CNavigationData::Draw(vd::ui::Surface& dc) { DrawLines(dc, ShownLines()); }

void CNavigationData::FillContextMenu(vd::ui::PopupMenu& menu) {
  const bool on_route = route() != nullptr;
  for (const LineSpec& line : kLines) {
    if (line.route_only && !on_route) continue;
    menu.AppendItem(line.command, line.menu_text);
  }
  if (AlarmsEditor()) {
    menu.AppendSeparator();
    menu.AppendItem(kCmdAlarms, "Alarms...");
  }
}

std::function<void(QWidget*)>& CNavigationData::AlarmsEditor() {
  static std::function<void(QWidget*)> editor;
  return editor;
}

void CNavigationData::SetAlarmsEditor(std::function<void(QWidget* owner)> editor) {
  AlarmsEditor() = std::move(editor);
}

void CNavigationData::OnSettingsChanged(vd::ui::PopupMenu& menu) {
  for (const LineSpec& line : kLines) {
    CheckMenuItemFlag(line.command, menu, selection()[line.byte] != 0);
  }
}

bool CNavigationData::OnCommand(int id) {
  if (id == kCmdAlarms && AlarmsEditor()) {
    AlarmsEditor()(this);
    RebuildTexts();
    update();
    return true;
  }
  for (const LineSpec& line : kLines) {
    if (line.command != id) continue;
    selection()[line.byte] = selection()[line.byte] != 0 ? 0 : 1;
    RebuildTexts();
    update();
    return true;
  }
  return CNavigationWnd::OnCommand(id);
}
