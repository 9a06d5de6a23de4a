#include "gps/ui/position_data.h"

#include "core/persistent_value.h"
#include "overlays/obj_current_position.h"
#include "platform/ui/surface.h"

namespace {

CDataPane::Placement DefaultPlacement() {
  const float f = CDataPane::DisplayScale();
  return {static_cast<int>(333 * f), static_cast<int>(230 * f), static_cast<int>(240 * f),
          static_cast<int>(135 * f)};
}

constexpr const char* kFlagTexts[5] = {"Time and date", "Position", "Average speed and course",
                                       "Course and speed", "Altitude"};

}  // namespace

CPositionData::CPositionData()
    : CFixPane(kPaneId, kSettingsKey, DefaultPlacement(), kContextMenu) {
  vd::LoadProfileBinary(kFlagsKey, flags_.data(), flags_.size());
}

CPositionData::~CPositionData() { vd::SaveProfileBinary(kFlagsKey, flags_.data(), flags_.size()); }

CPositionData* CPositionData::Show(CObjCurrentPosition* object) {
  return object != nullptr ? ShowFor<CPositionData>(object, object->name) : nullptr;
}

void CPositionData::OnObjectChanged() {
  if (object() != nullptr && object()->satellite_update != 0) return;
  RebuildText();
  update();
}

void CPositionData::RebuildText() {
  lines_.clear();
  CAppCommon* app = CAppCommon::Instance();
  const CObjCurrentPosition* fix = object();
  if (app == nullptr || fix == nullptr) return;
  const bool valid = fix->valid != 0;
  if (flags_[kTime] != 0 && fix->time != 0) lines_.push_back(app->FormatTime(fix->time, true));
  if (flags_[kCourseSpeed] != 0 && valid) {
    lines_.push_back(app->FormatSpeed(fix->speed) + " " + app->FormatBearing(fix->course));
  }
  if (flags_[kAverage] != 0 && fix->trail_speed > 0.0f) {
    lines_.push_back("Avg: " + app->FormatSpeed(fix->trail_speed) + " " +
                     app->FormatBearing(fix->trail_course));
  }
  if (flags_[kAltitude] != 0 && valid) {
    const std::string altitude = app->FormatDepth(fix->altitude);
    if (!altitude.empty()) lines_.push_back("Alt: " + altitude);
  }
  if (flags_[kPosition] != 0 && fix->position.lat != 0.0 && fix->position.lon != 0.0) {
    std::string text;
    app->FormatPosition(fix->position.lat, fix->position.lon, text);
    lines_.push_back(text);
  }
  if (!valid) lines_.emplace_back(fix->status != nullptr && *fix->status != 0 ? fix->status : kWaitText);
  FitFontToLines(lines_);
}

void CPositionData::resizeEvent(QResizeEvent* event) {
  CFixPane::resizeEvent(event);
  FitFontToLines(lines_);
}

void CPositionData::Draw(vd::ui::Surface& dc) { DrawLines(dc, lines_); }

void CPositionData::FillContextMenu(vd::ui::PopupMenu& menu) {
  for (int i = 0; i < 5; ++i) menu.AppendItem(kFlagCommands[i], kFlagTexts[i]);
}

void CPositionData::OnSettingsChanged(vd::ui::PopupMenu& menu) {
  for (int i = 0; i < 5; ++i) CheckMenuItemFlag(kFlagCommands[i], menu, flags_[i] != 0);
}

bool CPositionData::OnCommand(int id) {
  for (int i = 0; i < 5; ++i) {
    if (kFlagCommands[i] != id) continue;
    flags_[i] = flags_[i] != 0 ? 0 : 1;
    RebuildText();
    update();
    return true;
  }
  return CFixPane::OnCommand(id);
}
