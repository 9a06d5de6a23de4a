#pragma once
// "Nav Alarms": the arrival radius and the cross-track limit of the navigation data pane, edited
// in a distance unit of the user's choice and handed back in nautical miles (0: alarm off).
//
//   CDlgNavAlarms dialog(parent, arrival_nm, cross_track_nm);
//   if (dialog.DoModal() == vd::ui::kIdOk) use(dialog.arrival_nm(), dialog.cross_track_nm());
#include <array>
#include <optional>
#include <string>

#include "core/ui/dialog_f1_help.h"

class CDlgNavAlarms : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 221;
  static constexpr int kArrivalCheck = 1001;
  static constexpr int kArrivalEdit = 1002;
  static constexpr int kCrossTrackCheck = 1003;
  static constexpr int kCrossTrackEdit = 1004;
  static constexpr int kUnitCombo = 1005;

  CDlgNavAlarms(QWidget* parent, float arrival_nm, float cross_track_nm);

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;
  // Refuses a ticked alarm whose distance is not a number of 0 or more (telling the user).
  void OnOK() override;

  float arrival_nm() const { return alarms_[0].nm; }
  float cross_track_nm() const { return alarms_[1].nm; }

 private:
  struct Alarm {
    int check;
    int edit;
    const char* name;
    float nm;
    // The text last put into the edit: while the edit still holds it, nm stands unrounded.
    std::string shown;
  };

  // Nautical miles of the edit's text in the unit shown; nothing when it is not a distance.
  std::optional<float> TypedNm(const Alarm& alarm) const;
  void Show(Alarm& alarm);
  void EnableEdits();

  std::array<Alarm, 2> alarms_;
  float factor_ = 1.0f;  // units per nautical mile of the unit shown
};

// Runs the dialog over the navigation data pane's alarm distances and stores them on OK; false
// when cancelled.
bool EditNavigationAlarms(QWidget* parent);
