#include "charts/quick_chart_view_settings.h"

namespace {

// Registered with the other records while the program starts, so that loading the settings
// file fills it before anything asks.
[[maybe_unused]] CQuickChartViewSettings& registered = CQuickChartViewSettings::Global();

}  // namespace

CQuickChartViewSettings::CQuickChartViewSettings() : PersistantData(kSection) {}

CQuickChartViewSettings& CQuickChartViewSettings::Global() {
  static CQuickChartViewSettings settings;
  return settings;
}

void CQuickChartViewSettings::Exchange() {
  ExchangeBool("change_scale_by_zooming", change_scale_by_zooming);
  ExchangeBool("show_scale_bar", show_scale_bar);
  ExchangeColour("scale_bar_color", scale_bar_color);
  ExchangeBool("automatic_download", automatic_download);
  ExchangeString("app_name", app_name);
  ExchangeString("app_icon", app_icon);
  ExchangeString("app_website", app_website);
  ExchangeStringList("kvx_hide", kvx_hide);
  if (!IsSaving()) {
    ExchangeDouble("app_default_lat", app_default_lat);
    ExchangeDouble("app_default_lon", app_default_lon);
  }
}
