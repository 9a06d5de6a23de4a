#pragma once
// The navigation figures pane: a column of chosen lines (distance and bearing, VMG, ETA, time
// to go, distance, turn angles and, while a route is followed, cross-track error and VMG along
// the leg). The choice is one program-wide record of 20 flag bytes, the profile's binary value
// "nav_wnd_d"; the context menu toggles them. The text grows to fill the pane. Each refresh
// also sounds the arrival and cross-track alarms.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "gps/ui/navigation_wnd.h"

class CNavigationData : public CNavigationWnd {
 public:
  static constexpr int kPaneId = 123512;
  static constexpr char kSettingsKey[] = "nav_data";
  static constexpr char kSelectionKey[] = "nav_wnd_d";
  static constexpr int kContextMenu = 123512;
  static constexpr int kLineCount = 11;
  static constexpr char kNoLineText[] = "Right-click to select data";
  // The context menu's entry that opens the alarm distances.
  static constexpr int kCmdAlarms = 32956;

  using Selection = std::array<uint8_t, 20>;

  enum class AlarmSound { kStop, kQuestion, kExclamation };

  CNavigationData();
  // Writes the selection record.
  ~CNavigationData() override;

  static CNavigationData* ShowGotoMark(CObjWaypoint* mark);
  static CNavigationData* ShowFollowRoute(CObjRoute* route);

  // The program-wide selection, read from the profile when the first pane is made (bytes 0 to
  // 3 and 14 set where nothing is stored).
  static Selection& selection();

  // Alarm distances, nautical miles; 0 switches the alarm off.
  static float arrival_alarm_nm;
  static float cross_track_alarm_nm;
  // Plays an alarm sound; the system's beep unless replaced (null puts it back).
  static void SetAlarmSound(std::function<void(AlarmSound)> sound);
  // What "Alarms..." of the context menu opens (the program's alarm dialog, which edits the
  // two distances above); without one the menu has no such entry.
  static void SetAlarmsEditor(std::function<void(QWidget* owner)> editor);

  // The lines shown now, in order (the hint text when none is chosen).
  std::vector<std::string> ShownLines() const;

  void Draw(vd::ui::Surface& dc) override;
  void FillContextMenu(vd::ui::PopupMenu& menu) override;
  void OnSettingsChanged(vd::ui::PopupMenu& menu) override;
  bool OnCommand(int id) override;

 protected:
  void OnRecomputed() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  static std::function<void(QWidget*)>& AlarmsEditor();
  void RebuildTexts();
  void SoundAlarms() const;

  std::array<std::string, kLineCount> texts_;
};
