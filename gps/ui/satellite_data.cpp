#include "gps/ui/satellite_data.h"

#include <algorithm>
#include <cstdio>

#include "overlays/obj_current_position.h"
#include "platform/ui/surface.h"

namespace {

constexpr int kBarColumns = 23;  // twelve bars with a gap after each but the last
constexpr int kFirstColumn = 4;
constexpr int kSmallestFont = 10;
constexpr int kLargestFont = 20;
constexpr const char* kQualityNames[] = {"No",        "Standard",  "Differential",
                                         "Precise",   "Kinematic", "Float RTK",
                                         "Estimated", "Manual",    "Simulated"};

CDataPane::Placement DefaultPlacement() {
  const float f = CDataPane::DisplayScale();
  return {0, static_cast<int>(363 * f), static_cast<int>(329 * f), static_cast<int>(124 * f)};
}

}  // namespace

CSatelliteData::CSatelliteData() : CFixPane(kPaneId, kSettingsKey, DefaultPlacement()) {
  font_weight_ = vd::ui::kFontWeightNormal;
  CreatePaneFont(static_cast<int>(kSmallestFont * DisplayScale()));
}

CSatelliteData* CSatelliteData::Show(CObjCurrentPosition* object) {
  return ShowFor<CSatelliteData>(object, kPaneTitle);
}

void CSatelliteData::OnObjectChanged() {
  CObjCurrentPosition* fix = object();
  if (fix == nullptr) return;
  if (fix->satellite_update != 0) {
    fix->satellite_update = 0;
    update();
  } else if (FixSummary(fix->fix_quality, fix->satellites_used, fix->precision) != summary_) {
    update();  // a fix without satellite tables still tells its quality
  }
}

void CSatelliteData::resizeEvent(QResizeEvent* event) {
  CFixPane::resizeEvent(event);
  const int height_px = std::clamp(width() / 20, kSmallestFont, kLargestFont);
  if (height_px != font_height()) CreatePaneFont(height_px);
}

std::string CSatelliteData::FixSummary(int quality, int satellites_used, float precision) {
  if (quality < 0 || quality >= static_cast<int>(std::size(kQualityNames))) return {};
  if (quality == 0) return "No fix...";
  char text[128];
  std::snprintf(text, sizeof text, "%s fix using %d satellites. HDoP %.1fm",
                kQualityNames[quality], satellites_used, static_cast<double>(precision));
  return text;
}

int CSatelliteData::BarWidth(int client_width) { return (client_width - 8) / kBarColumns; }

int CSatelliteData::Baseline(int client_height, int font_height) {
  return client_height - 2 * font_height - 2;
}

void CSatelliteData::Draw(vd::ui::Surface& dc) {
  const CObjCurrentPosition* fix = object();
  const int bar = BarWidth(width());
  if (fix == nullptr || bar < 1) return;
  const int baseline = Baseline(height(), font_height());

  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 0, 0});
  dc.MoveTo({0, 0});
  dc.LineTo({0, baseline});
  dc.LineTo({width(), baseline});
  dc.SelectPen(old_pen);

  const unsigned old_align = dc.SetTextAlign(vd::ui::kTextAlignLeft | vd::ui::kTextAlignTop);
  for (int i = 0; i < GPS_position_info::kMaxSatellites; ++i) {
    const GPSSatelliteInfo& satellite = fix->satellites[static_cast<size_t>(i)];
    if (satellite.prn == 0) continue;
    const int left = kFirstColumn + 2 * bar * i;
    const int bar_height = baseline * std::min<int>(satellite.snr, 100) / 100;
    dc.FillRect({left, baseline - bar_height, left + bar, baseline},
                satellite.used != 0 ? kUsedColour : kUnusedColour);
    char prn[8];
    std::snprintf(prn, sizeof prn, "%02d", satellite.prn);
    dc.TextOut({left, baseline + 1}, prn);
  }
  summary_ = FixSummary(fix->fix_quality, fix->satellites_used, fix->precision);
  dc.TextOut({0, baseline + 1 + font_height()}, summary_);
  dc.SetTextAlign(old_align);
}
