#pragma once
// The satellite pane: one bar per satellite slot, its height the signal-to-noise ratio (per
// cent of the chart's height), green for satellites used in the solution and grey for the
// others, the PRN below it, and a line on the fix quality at the bottom.
#include <string>

#include "gps/ui/fix_pane.h"

class CSatelliteData : public CFixPane {
 public:
  static constexpr int kPaneId = 1603;
  static constexpr char kSettingsKey[] = "satellite_wnd";
  static constexpr char kPaneTitle[] = "Satellites";
  static constexpr vd::ui::ColourRef kUsedColour = vd::ui::MakeColourRef(0, 200, 0);
  static constexpr vd::ui::ColourRef kUnusedColour = vd::ui::MakeColourRef(128, 128, 128);

  CSatelliteData();

  // The one satellite pane, for the object.
  static CSatelliteData* Show(CObjCurrentPosition* object);

  // The bottom line for a fix quality, satellites used and precision (metres); empty for a
  // quality outside 0..8.
  static std::string FixSummary(int quality, int satellites_used, float precision);

  // Bar width for a client width; below 1 nothing is drawn.
  static int BarWidth(int client_width);
  // The baseline of the bars for a client height and font height.
  static int Baseline(int client_height, int font_height);

  void Draw(vd::ui::Surface& dc) override;

 protected:
  // A new satellite table: the mark is cleared and the pane repainted; another change
  // repaints when the fix summary is not the one shown.
  void OnObjectChanged() override;
  // The font follows the width: width / 20 within 10..20.
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::string summary_;  // the bottom line last drawn
};
