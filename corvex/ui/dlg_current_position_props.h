#pragma once
// The property window of the own vessel: the latest fix (time, position, course, speed,
// accuracy, altitude, status) and how the vessel is drawn — velocity vector, colour and range
// circle. Each drawing choice is also stored as the default of new own-vessel objects.
#include <string>

#include "corvex/ui/object_props_dialog.h"
#include "overlays/obj_current_position.h"

class CDlgCurrentPositionProps : public CObjectPropsDialog {
 public:
  static constexpr int kTemplate = 138;
  static constexpr int kTimeText = 1001;
  static constexpr int kDateText = 1002;
  static constexpr int kPositionText = 1003;
  static constexpr int kCourseText = 1004;
  static constexpr int kSpeedText = 1005;
  static constexpr int kAccuracyText = 1006;
  static constexpr int kAltitudeText = 1007;
  static constexpr int kStatusText = 1008;
  static constexpr int kShowVectorCheck = 1009;
  static constexpr int kVectorMinutesEdit = 1010;
  static constexpr int kColourCombo = 1011;
  static constexpr int kRadiusEdit = 1012;
  static constexpr int kRadiusUnit = 1013;
  static constexpr double kNmPerMetre = 0.0005399568034557236;
  // Longer vectors would not fit the seconds setting.
  static constexpr double kMaxVectorMinutes = 1e6;

  CDlgCurrentPositionProps(CObjCurrentPosition* vessel, QWidget* parent);

  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void Refresh() override;
  std::string HelpTopic() const override { return "Position_Properties"; }

 protected:
  void OnControl(int id, int code) override;

 private:
  CObjCurrentPosition& vessel() const { return *static_cast<CObjCurrentPosition*>(object()); }
  void ShowFix();
  void ApplyVectorMinutes();
  void ApplyRadius();
  void ShowRadius(bool even_when_focused);

  bool filling_ = false;  // controls are being written from the object
};

// The "cur_pos_radius" setting: the bit pattern of the radius as a 32-bit float, in nautical
// miles.
int32_t RangeRadiusSetting(float radius_nm);
