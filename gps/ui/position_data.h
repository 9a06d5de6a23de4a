#pragma once
// The position pane: time and date of the fix, speed and course, the average speed and
// course, the altitude and the position of the own vessel, each line chosen in the context
// menu (five flag bytes, the profile's binary value "pos_wnd_d"); the status text while there
// is no valid fix. The text grows to fill the pane.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gps/ui/fix_pane.h"

class CPositionData : public CFixPane {
 public:
  static constexpr int kPaneId = 1602;
  static constexpr char kSettingsKey[] = "pos_wnd";
  static constexpr char kFlagsKey[] = "pos_wnd_d";
  static constexpr int kContextMenu = 191;
  static constexpr char kWaitText[] = "Please wait...";

  enum Flag { kTime = 0, kPosition = 1, kAverage = 2, kCourseSpeed = 3, kAltitude = 4 };
  static constexpr int kFlagCommands[5] = {32960, 32961, 32962, 32963, 32964};

  // Reads the flags (all set where nothing is stored).
  CPositionData();
  // Writes the flags.
  ~CPositionData() override;

  // The one position pane, for the object (title: its name).
  static CPositionData* Show(CObjCurrentPosition* object);

  const std::vector<std::string>& lines() const { return lines_; }
  std::array<uint8_t, 5>& flags() { return flags_; }

  void Draw(vd::ui::Surface& dc) override;
  void FillContextMenu(vd::ui::PopupMenu& menu) override;
  void OnSettingsChanged(vd::ui::PopupMenu& menu) override;
  bool OnCommand(int id) override;

 protected:
  // Rebuilds the text, except while the fix carries only a satellite table.
  void OnObjectChanged() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void RebuildText();

  std::array<uint8_t, 5> flags_{1, 1, 1, 1, 1};
  std::vector<std::string> lines_;
};
