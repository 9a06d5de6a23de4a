#pragma once
// The property window of a track: recording limits (interval, distance, partition, point
// limit), tick marks, the line style, whether it is the document's GPS track, Reduce, and the
// track's figures (points, distance, times, speeds, areas).
#include <string>

#include "corvex/ui/object_props_dialog.h"
#include "overlays/obj_track.h"

class CDlgTrackProps : public CObjectPropsDialog {
 public:
  static constexpr int kTemplate = 140;
  static constexpr int kActiveCheck = 1001;
  static constexpr int kIntervalEdit = 1002;
  static constexpr int kIntervalUnit = 1003;  // "Seconds", "Minutes", "Hours"
  static constexpr int kDistanceEdit = 1004;
  static constexpr int kPartitionEdit = 1005;
  static constexpr int kTickEdit = 1006;
  static constexpr int kMaxPointsEdit = 1007;
  static constexpr int kMaxModeCombo = 1008;  // "Decimate", "Wrap"
  static constexpr int kMachineWidthEdit = 1009;
  static constexpr int kClosedCheck = 1010;
  static constexpr int kReduceButton = 1011;
  static constexpr int kPointsText = 1020;
  static constexpr int kDistanceText = 1021;
  static constexpr int kLastPositionText = 1022;
  static constexpr int kLastTimeText = 1023;
  static constexpr int kElapsedText = 1024;
  static constexpr int kAverageSpeedText = 1025;
  static constexpr int kMaxSpeedText = 1026;
  static constexpr int kEnclosedText = 1027;
  static constexpr int kSweptText = 1028;

  CDlgTrackProps(CObjTrack* track, QWidget* parent);

  static void RegisterTemplate();
  void Refresh() override;
  std::string HelpTopic() const override { return "Track_Properties"; }

 protected:
  void OnControl(int id, int code) override;

 private:
  CObjTrack& track() const { return *static_cast<CObjTrack*>(object()); }
  void ApplyInterval();
  void ShowFigures();

  std::string machine_width_;  // metres, as typed
};
