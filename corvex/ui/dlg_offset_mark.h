#pragma once
// "Offset Mark": a distance (in a chosen unit) and a bearing by which the selected mark is
// moved, or at which a new mark is made ("Offset_mark_create_new" remembers the choice). With
// bearings shown magnetic the bearing is typed magnetic and handed back true.
#include "core/ui/dialog_f1_help.h"

class CDlgOffsetMark : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 269;
  static constexpr int kDistanceEdit = 1001;
  static constexpr int kUnitCombo = 1002;
  static constexpr int kBearingEdit = 1003;
  static constexpr int kBearingUnit = 1004;  // "°T" or "°M"
  static constexpr int kMoveRadio = 1005;
  static constexpr int kCreateNewRadio = 1006;
  static constexpr char kCreateNewSetting[] = "Offset_mark_create_new";

  // variation: degrees east, added to a true bearing to show it magnetic.
  CDlgOffsetMark(QWidget* parent, bool magnetic, double variation);
  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Keeps the window open (and says why) while the distance or the bearing does not read.
  void OnOK() override;

  double distance_nm() const { return distance_nm_; }
  double bearing_true() const { return bearing_true_; }
  bool create_new() const { return create_new_; }

 private:
  bool magnetic_;
  double variation_;
  double distance_nm_ = 0.0;
  double bearing_true_ = 0.0;
  bool create_new_ = false;
};
