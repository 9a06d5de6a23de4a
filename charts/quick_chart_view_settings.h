#pragma once
// The settings of the chart view of the newer library generation (section "CQuickChartView"):
// whether zooming past a chart's levels switches charts, the scale bar, automatic chunk
// downloads, the application's name, icon and web site shown by the view, the map store items
// to hide, and the position shown when there is no GPS fix. The map store reads the hide list
// from here too. User-interface thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "core/persistant_data.h"

struct CQuickChartViewSettings : PersistantData {
  static constexpr char kSection[] = "CQuickChartView";
  static constexpr char kDefaultWebsite[] = "https://www.vardune.example/";

  CQuickChartViewSettings();
  // The default position is only read: it is never written back.
  void Exchange() override;

  // The one record of the program.
  static CQuickChartViewSettings& Global();

  bool change_scale_by_zooming = true;
  bool show_scale_bar = true;
  uint32_t scale_bar_color = 0xA0FFBB33;  // ARGB
  bool automatic_download = true;
  std::string app_name = "Vardune";
  std::string app_icon;
  std::string app_website = kDefaultWebsite;
  std::vector<std::string> kvx_hide;  // store items whose names hold one of these are hidden
  double app_default_lat = 43.04144;
  double app_default_lon = -31.7395;
};
