#include "corvex/ui/dlg_track_props.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>
#include <deque>

#include "app/app_common.h"
#include "corvex/ui/line_style_controls.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"

namespace {

using D = CDlgTrackProps;

constexpr int kUnitSeconds[] = {1, 60, 3600};

void BuildTrackDialog(vd::ui::DialogWindow& d) {
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  int row = 0;
  auto add = [&](const char* label, int id, QWidget* control) {
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(d.AddControl(id, control), row++, 1);
  };
  grid->addWidget(d.AddControl(D::kActiveCheck, new QCheckBox("Active")), row++, 0);
  add("Min update interval:", D::kIntervalEdit, new QLineEdit);
  auto* units = new QComboBox;
  units->addItems({"Seconds", "Minutes", "Hours"});
  grid->addWidget(d.AddControl(D::kIntervalUnit, units), row - 1, 2);
  add("Min update distance (m):", D::kDistanceEdit, new QLineEdit);
  add("Track partition interval (min):", D::kPartitionEdit, new QLineEdit);
  add("Tick interval (min)", D::kTickEdit, new QLineEdit);
  add("Max Points:", D::kMaxPointsEdit, new QLineEdit);
  auto* modes = new QComboBox;
  modes->addItems({"Decimate", "Wrap"});
  grid->addWidget(d.AddControl(D::kMaxModeCombo, modes), row - 1, 2);
  add("Machine width (m):", D::kMachineWidthEdit, new QLineEdit);
  grid->addWidget(d.AddControl(D::kClosedCheck, new QCheckBox("Track is a closed loop")), row++, 0, 1, 2);
  grid->addWidget(d.AddControl(D::kReduceButton, new QPushButton("Reduce")), row++, 0);
  const struct {
    const char* label;
    int id;
  } statics[] = {{"Points:", D::kPointsText},
                 {"Total distance:", D::kDistanceText},
                 {"Last position:", D::kLastPositionText},
                 {"Time of latest position:", D::kLastTimeText},
                 {"Elapsed time:", D::kElapsedText},
                 {"Average speed:", D::kAverageSpeedText},
                 {"Max speed:", D::kMaxSpeedText},
                 {"Enclosed:", D::kEnclosedText},
                 {"Swept:", D::kSweptText}};
  for (const auto& s : statics) add(s.label, s.id, new QLabel);
  layout->addLayout(grid);
  CLineStyleControls::Add(d, layout);
  AddPropsButtons(d, layout);
}

LineStyleFields StyleOf(CObjTrack& t) {
  return {t.colour, t.thickness, t.line_style, t.transparency};
}

CTrackDocument* TrackDocumentOf(const CObjTrack& track) {
  return dynamic_cast<CTrackDocument*>(track.document());
}

}  // namespace

void CDlgTrackProps::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate)) vd::ui::RegisterDialogTemplate(kTemplate, BuildTrackDialog);
}

CDlgTrackProps::CDlgTrackProps(CObjTrack* track, QWidget* parent)
    : CObjectPropsDialog(track, kTemplate, parent) {
  machine_width_ = vd::OpenAppProfile()
                       .GetString(vd::kSettingsSection, "track_machine_width")
                       .value_or("");
  RegisterTemplate();
  CreateWindow();
}

void CDlgTrackProps::Refresh() {
  CObjTrack& t = track();
  ShowCheck(kActiveCheck, t.IsGPSTrack());
  Enable(kActiveCheck, TrackDocumentOf(t) != nullptr);
  if (!HasFocus(kIntervalEdit) && !HasFocus(kIntervalUnit)) {
    const int unit = t.update_interval % 3600 == 0 ? 2 : t.update_interval % 60 == 0 ? 1 : 0;
    SelectCombo(kIntervalUnit, unit);
    ShowText(kIntervalEdit, std::to_string(t.update_interval / kUnitSeconds[unit]));
  }
  ShowText(kDistanceEdit, std::to_string(t.update_distance));
  ShowText(kPartitionEdit, std::to_string(t.partition_time / 60));
  ShowText(kTickEdit, std::to_string(t.tick_interval / 60));
  ShowText(kMaxPointsEdit, std::to_string(CObjTrack::PointLimit()));
  SelectCombo(kMaxModeCombo, CObjTrack::LimitMode());
  ShowText(kMachineWidthEdit, machine_width_);
  ShowCheck(kClosedCheck, t.closed);
  if (dialog_window()) CLineStyleControls::Show(*dialog_window(), StyleOf(t));
  ShowFigures();
}

void CDlgTrackProps::ShowFigures() {
  CObjTrack& t = track();
  CAppCommon* app = App();
  for (int id : {kLastPositionText, kLastTimeText, kElapsedText, kAverageSpeedText,
                 kMaxSpeedText, kEnclosedText, kSweptText})
    SetItemText(id, "");
  SetItemText(kPointsText, std::to_string(t.points().size()));
  SetItemText(kDistanceText, app ? app->FormatDistance(t.total_distance) : std::string());
  if (t.points().empty() || !app) return;
  const CTrackpoint& last = t.points().back();
  std::string position;
  FormatPositionText(last.position.lat, last.position.lon, position);
  SetItemText(kLastPositionText, position);
  const time_t when = last.time;
  char text[128] = "";
  if (std::tm local{}; localtime_r(&when, &local)) std::strftime(text, sizeof text, "%c", &local);
  SetItemText(kLastTimeText, text);
  const int64_t elapsed = int64_t{last.time} - t.points().front().time;
  SetItemText(kElapsedText, CAppCommon::FormatDuration(elapsed));
  if (elapsed > 0) SetItemText(kAverageSpeedText, app->FormatSpeed(3600.0 / elapsed * t.total_distance));
  SetItemText(kMaxSpeedText, app->FormatSpeed(t.max_speed));
  if (t.closed) SetItemText(kEnclosedText, app->FormatArea(t.GetEnclosedArea()));
  if (const auto width = ParseNumber(machine_width_))
    SetItemText(kSweptText, app->FormatArea(t.total_distance * *width * 1852.0));
}

void CDlgTrackProps::ApplyInterval() {
  const auto value = ParseDecimalInt(GetItemText(kIntervalEdit));
  const int unit = ComboIndex(kIntervalUnit);
  if (!value || unit < 0) return;
  track().update_interval = *value * kUnitSeconds[unit];
  WriteSettingInt("settings", "track_update_interval", track().update_interval);
}

void CDlgTrackProps::OnControl(int id, int code) {
  CObjTrack& t = track();
  if (CLineStyleControls::OnCommand(*dialog_window(), id, t, StyleOf(t), "track")) {
    if (id == CLineStyleControls::kColourButton && t.IsGPSTrack())
      WriteSettingInt("settings", "track_color", static_cast<int32_t>(t.colour));
    return;
  }
  const bool edit = code == vd::ui::kEnChange;
  auto number = [&](int control) { return ParseDecimalInt(GetItemText(control)); };
  switch (id) {
    case kActiveCheck:
      if (CTrackDocument* document = TrackDocumentOf(t)) {
        if (IsChecked(kActiveCheck))
          document->SetGPSTrack(&t);
        else if (t.IsGPSTrack())
          document->SetGPSTrack(nullptr);
      }
      return;
    case kIntervalEdit:
    case kIntervalUnit:
      ApplyInterval();
      return;
    case kDistanceEdit:
      if (const auto v = number(id); edit && v) {
        t.update_distance = *v;
        WriteSettingInt("settings", "track_update_distance", *v);
      }
      return;
    case kPartitionEdit:
      if (const auto v = number(id); edit && v) {
        t.partition_time = *v * 60;
        WriteSettingInt("settings", "track_partition_time", t.partition_time);
      }
      return;
    case kTickEdit:
      if (const auto v = number(id); edit && v) {
        t.tick_interval = *v * 60;
        WriteSettingInt("settings", "tick_interval", t.tick_interval);
        t.NotifyChange(kChangeEditState);
      }
      return;
    case kMaxPointsEdit:
    case kMaxModeCombo:
      if (const auto v = number(kMaxPointsEdit); v && ComboIndex(kMaxModeCombo) >= 0) {
        WriteSettingInt("Settings", "tk_max", *v);
        WriteSettingInt("Settings", "tk_mode", ComboIndex(kMaxModeCombo));
      }
      return;
    case kMachineWidthEdit:
      if (!edit) return;
      machine_width_ = GetItemText(kMachineWidthEdit);
      RefreshQuietly();
      vd::OpenAppProfile().SetString(vd::kSettingsSection, "track_machine_width", machine_width_);
      return;
    case kClosedCheck:
      t.closed = IsChecked(kClosedCheck);
      t.NotifyChange(kChangeModified);
      return;
    case kReduceButton:
      t.Thin();
      t.RecomputeTotals();
      t.NotifyChange(kChangeEditState);
      RefreshQuietly();
      return;
    default:
      return;
  }
}
