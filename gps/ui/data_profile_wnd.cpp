#include "gps/ui/data_profile_wnd.h"

#include <QFocusEvent>
#include <QLabel>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

#include "overlays/obj_current_position.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "platform/os/numbers.h"
#include "platform/ui/surface.h"

namespace {

constexpr int kPlotTop = 8;
constexpr int kTickLength = 3;
// Grid lines closer than this are not drawn: the step does not suit the scale.
constexpr double kMinimumGridSpacing = 3.0;

std::vector<bool>& PaneIdPool() {
  static std::vector<bool> pool;
  return pool;
}

CDataPane::Placement DefaultPlacement() {
  const float f = CDataPane::DisplayScale();
  return {0, static_cast<int>(82 * f), static_cast<int>(575 * f), static_cast<int>(150 * f)};
}

// At most `count` characters of UTF-8 text.
std::string FirstCharacters(const std::string& text, size_t count) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == count) return text.substr(0, i);
  }
  return text;
}

std::string FormatG(double value) { return vd::os::FormatC("%g", value); }

}  // namespace

int CDataProfileWnd::AcquirePaneId() {
  std::vector<bool>& pool = PaneIdPool();
  auto free = std::find(pool.begin(), pool.end(), false);
  if (free == pool.end()) free = pool.insert(pool.end(), false);
  *free = true;
  return kFirstPaneId + static_cast<int>(free - pool.begin());
}

void CDataProfileWnd::ReleasePaneId(int id) {
  std::vector<bool>& pool = PaneIdPool();
  const int index = id - kFirstPaneId;
  if (index >= 0 && index < static_cast<int>(pool.size())) pool[static_cast<size_t>(index)] = false;
}

CDataProfileWnd::CDataProfileWnd(COstrelObject* object, const std::string& settings_key)
    : CDataPane(AcquirePaneId(), settings_key, DefaultPlacement(), kContextMenu),
      object_(object),
      popup_(kPopupColour) {
  if (!settings_key.empty()) scale_.Init(settings_key + "_scale");
  font_weight_ = vd::ui::kFontWeightNormal;
  CreatePaneFont(static_cast<int>(14 * DisplayScale()));
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);

  popup_.Create(this);
}

CDataProfileWnd::~CDataProfileWnd() { ReleasePaneId(pane_id()); }

bool CDataProfileWnd::Create(QWidget* parent) {
  if (!CreatePane(object_ != nullptr ? object_->name : std::string(), parent)) return false;
  LayOut();
  RefreshSeries();
  update();
  return true;
}

void CDataProfileWnd::SetClientSize(int width, int height) {
  resize(width, height);
  LayOut();
  RefreshSeries();
}

std::string CDataProfileWnd::popup_text() const {
  return popup_.window() && popup_.window()->isVisible() ? popup_.text() : std::string();
}

int CDataProfileWnd::SampleCount() const {
  const int n = plot_.right - plot_.left + 1;
  return n >= 2 && plot_.bottom > plot_.top ? n : 0;
}

bool CDataProfileWnd::ResetSamples() {
  samples_.assign(static_cast<size_t>(SampleCount()), ProfileSample{});
  return !samples_.empty();
}

double CDataProfileWnd::HeightUnit(std::string& name) {
  if (const CAppCommon* app = CAppCommon::Instance()) return app->GetDepthUnit(name);
  name = "m";
  return 1.0;
}

void CDataProfileWnd::ScaleValues(double factor) {
  for (ProfileSample& sample : samples_) sample.value = static_cast<float>(sample.value * factor);
}

void CDataProfileWnd::FillTrackSeries(TrackSampler sample, double factor) {
  const CObjTrack* track = ObjectAs<CObjTrack>();
  if (track == nullptr || !ResetSamples()) return;
  (track->*sample)(samples_);
  total_length_ = track->total_distance;
  ScaleValues(factor);
}

void CDataProfileWnd::LayOut() {
  const int font = font_height();
  plot_ = {2, kPlotTop, width() - 2, height() - 1};
  if (axis_labels_) {
    plot_.left = 2 * font + 5;
    plot_.bottom = height() - font - 2;
  }
}

void CDataProfileWnd::RefreshSeries() {
  const int n = static_cast<int>(samples_.size());
  if (selected_ >= n) selected_ = -1;
  if (n == 0) return;
  if (object_ != nullptr) {
    SetPaneTitle(FirstCharacters(object_->name, kTitleNameLength) + " " + series_name_);
  }
  if (total_length_ <= 0.0) return;
  ComputeScales();
}

void CDataProfileWnd::ComputeScales() {
  const int n = static_cast<int>(samples_.size());
  float low = 1e30f;
  float high = -1e30f;
  for (const ProfileSample& sample : samples_) {
    low = std::min(low, sample.value);
    high = std::max(high, sample.value);
  }
  minimum_ = low;
  maximum_ = high;
  distance_per_sample_ = total_length_ / n;

  std::string speed_unit;
  distance_factor_ = 1.0;
  distance_unit_.clear();
  if (const CAppCommon* app = CAppCommon::Instance()) {
    distance_factor_ = app->GetSpeedUnit(distance_unit_, speed_unit);
  }
  tick_interval_ = TickInterval(total_length_ * distance_factor_, n, font_height() * 5.0);

  const int plot_height = plot_.bottom - plot_.top;
  baseline_value_ = minimum_;
  const scale_info_t& scale = scale_.value;
  if (scale.fixed > 0 && scale.step > 0) {
    vertical_scale_ = static_cast<double>(scale.fixed) / scale.step;
  } else if (maximum_ != minimum_) {
    vertical_scale_ = (plot_height - 5) / (static_cast<double>(maximum_) - minimum_);
  }
  value_step_ = scale.step > 0 ? scale.step
                               : TickInterval(static_cast<double>(maximum_) - minimum_,
                                              plot_height, font_height() * 2.0);
}

double CDataProfileWnd::TickInterval(double x, int n, double b) {
  if (!(x > 0.0) || n <= 0) return 1.0;
  double d = b * x / n;
  if (!std::isfinite(d)) return 1.0;
  double c = 1.0;
  while (d > 10.0) {
    d /= 10.0;
    c *= 10.0;
  }
  while (d <= 1.0) {
    c /= 10.0;
    d *= 10.0;
  }
  return c * (d > 5.0 ? 10.0 : d > 2.0 ? 5.0 : 2.0);
}

std::string CDataProfileWnd::FormatValue(double value) {
  if (value >= 1000.0) return vd::os::FormatC("%.0f", value);
  if (value == 0.0) return "0";
  return vd::os::FormatC("%.3g", value);
}

vd::ui::Point CDataProfileWnd::PointForIndex(int index) const {
  if (samples_.empty()) return {plot_.left, plot_.bottom};
  index = std::clamp(index, 0, static_cast<int>(samples_.size()) - 1);
  const double rise = (samples_[static_cast<size_t>(index)].value - baseline_value_) *
                      vertical_scale_;
  return {plot_.left + index, plot_.bottom - static_cast<int>(std::lround(rise))};
}

void CDataProfileWnd::Draw(vd::ui::Surface& dc) {
  if (samples_.empty() || total_length_ <= 0.0) return;
  std::vector<vd::ui::Point> outline;
  outline.reserve(samples_.size() + 2);
  for (int i = 0; i < static_cast<int>(samples_.size()); ++i) outline.push_back(PointForIndex(i));
  outline.push_back({outline.back().x, plot_.bottom});
  outline.push_back({plot_.left, plot_.bottom});
  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 0, kCurveColour});
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Solid(kFillColour));
  dc.Polygon(outline);

  if (axis_labels_) DrawAxes(dc);
  DrawExtras(dc);

  if (selected_ >= 0) {
    const vd::ui::Point p = PointForIndex(selected_);
    dc.SelectPen({vd::ui::LineStyle::Solid, 0, kCursorColour});
    dc.SelectBrush(vd::ui::Brush::Solid(kCursorColour));
    dc.Ellipse({p.x - kCursorRadius, p.y - kCursorRadius, p.x + kCursorRadius + 1,
                p.y + kCursorRadius + 1});
  }
  dc.SelectPen(old_pen);
  dc.SelectBrush(old_brush);
}

void CDataProfileWnd::DrawAxes(vd::ui::Surface& dc) {
  const int font = font_height();
  const unsigned old_align = dc.SetTextAlign(vd::ui::kTextAlignCenter | vd::ui::kTextAlignTop);
  dc.SelectPen({vd::ui::LineStyle::Solid, 0, 0});

  // Distance ticks along the baseline.
  const double pixels_per_unit = 1.0 / (distance_per_sample_ * distance_factor_);
  for (int k = 0;; ++k) {
    const double along = k * tick_interval_;
    const int x = plot_.left + static_cast<int>(std::lround(along * pixels_per_unit));
    if (x > plot_.right - 2 * font) break;
    dc.MoveTo({x, plot_.bottom});
    dc.LineTo({x, plot_.bottom + kTickLength});
    dc.TextOut({x, plot_.bottom + 2}, FormatG(along));
  }
  dc.SetTextAlign(vd::ui::kTextAlignRight | vd::ui::kTextAlignTop);
  dc.TextOut({plot_.right, plot_.bottom + 2}, distance_unit_);

  // Value grid above the baseline.
  if (value_step_ > 0.0 && value_step_ * vertical_scale_ >= kMinimumGridSpacing) {
    dc.SelectPen({vd::ui::LineStyle::Dot, 0, kGridColour});
    dc.SetTextAlign(vd::ui::kTextAlignRight | vd::ui::kTextAlignTop);
    for (double v = std::ceil(baseline_value_ / value_step_) * value_step_;; v += value_step_) {
      const int y = plot_.bottom -
                    static_cast<int>(std::lround((v - baseline_value_) * vertical_scale_));
      if (y < font) break;
      dc.MoveTo({plot_.left, y});
      dc.LineTo({plot_.right + 1, y});
      dc.TextOut({plot_.left - 2, y - font / 2}, FormatG(v));
    }
  }
  dc.SetTextAlign(vd::ui::kTextAlignLeft | vd::ui::kTextAlignTop);
  dc.TextOut({2, 0}, unit_);
  dc.SetTextAlign(old_align);
}

void CDataProfileWnd::Update(COstrelObject* object, int hint) {
  if (object == nullptr) {
    RefreshSeries();
    update();
    return;
  }
  if (object != object_) {
    if (hint == kChangeModified && !tracking_ && ObjectAs<CObjRoute>() != nullptr &&
        object->IsKindOf(CObjCurrentPosition::kClass)) {
      const auto* vessel = static_cast<const CObjCurrentPosition*>(object);
      const CLatLon at{vessel->position.lat, vessel->position.lon};
      if (vessel->valid != 0 && (at.lat != 0.0 || at.lon != 0.0)) PlaceVessel(at);
    }
    return;
  }
  switch (hint) {
    case kChangeDeleted:
      object_ = nullptr;
      samples_.clear();
      popup_.Hide();
      DestroyWindow();
      break;
    case kChangeViewTarget: {
      const double distance = object_->view_target_distance();
      int index = -1;
      if (distance >= 0.0 && distance_per_sample_ > 0.0 && !samples_.empty()) {
        index = static_cast<int>(std::min<double>(std::lround(distance / distance_per_sample_),
                                                  static_cast<double>(samples_.size() - 1)));
      }
      SelectSample(index);
      break;
    }
    case kChangeAdded:
    case kChangeModified:
    case kChangeMoved:
    case kChangeDisplay:
      RefreshSeries();
      update();
      break;
    default:
      break;
  }
}

void CDataProfileWnd::PlaceVessel(const CLatLon& position) {
  if (samples_.empty() || total_length_ <= 0.0) return;
  const double east_scale = std::cos(position.lat * M_PI / 180.0);
  int nearest = -1;
  double best = 0.0;
  for (size_t i = 0; i < samples_.size(); ++i) {
    const double dn = samples_[i].lat - position.lat;
    const double de = (samples_[i].lon - position.lon) * east_scale;
    const double d = dn * dn + de * de;
    if (nearest < 0 || d < best) {
      nearest = static_cast<int>(i);
      best = d;
    }
  }
  SelectSample(nearest);
}

void CDataProfileWnd::SelectSample(int index) {
  if (index == selected_) return;
  InvalidateCursor(selected_);
  selected_ = index;
  InvalidateCursor(selected_);
}

void CDataProfileWnd::InvalidateCursor(int index) {
  if (index < 0) return;
  const vd::ui::Point p = PointForIndex(index);
  update(p.x - kCursorRadius, p.y - kCursorRadius, 2 * kCursorRadius + 1, 2 * kCursorRadius + 1);
}

void CDataProfileWnd::TrackMouse(vd::ui::Point at) {
  if (samples_.empty() || total_length_ <= 0.0 || object_ == nullptr) return;
  if (at.y < 0 || at.y >= height()) {
    ClearTracking();
    return;
  }
  const int index = std::clamp(at.x - plot_.left, 0, static_cast<int>(samples_.size()) - 1);
  const ProfileSample& sample = samples_[static_cast<size_t>(index)];
  const double along = index * distance_per_sample_;
  std::string distance = vd::os::FormatC("%g", along);
  if (const CAppCommon* app = CAppCommon::Instance()) distance = app->FormatDistance(along);
  const std::string text = "Distance " + distance + "\n" + series_name_ + " " +
                           FormatValue(sample.value) + " " + unit_;
  popup_.ShowText(text, {at.x, at.y + kPopupOffset});
  if (index == selected_) return;
  SelectSample(index);
  object_->SetViewTarget(sample.lat, sample.lon, static_cast<float>(along));
}

void CDataProfileWnd::ClearTracking() {
  popup_.Hide();
  if (selected_ < 0) return;
  SelectSample(-1);
  if (object_ != nullptr) object_->SetViewTarget(0.0, 0.0, -1.0f);
}

void CDataProfileWnd::mouseMoveEvent(QMouseEvent* event) {
  tracking_ = true;
  TrackMouse({static_cast<int>(event->position().x()), static_cast<int>(event->position().y())});
}

void CDataProfileWnd::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    tracking_ = true;
    return;
  }
  CDataPane::mousePressEvent(event);
}

void CDataProfileWnd::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  tracking_ = rect().contains(event->position().toPoint());
  if (!tracking_) ClearTracking();
}

void CDataProfileWnd::leaveEvent(QEvent* event) {
  tracking_ = false;
  ClearTracking();
  CDataPane::leaveEvent(event);
}

void CDataProfileWnd::focusOutEvent(QFocusEvent* event) {
  tracking_ = false;
  ClearTracking();
  CDataPane::focusOutEvent(event);
}

void CDataProfileWnd::resizeEvent(QResizeEvent* event) {
  CDataPane::resizeEvent(event);
  LayOut();
  RefreshSeries();
}

void CDataProfileWnd::FillContextMenu(vd::ui::PopupMenu& menu) {
  menu.AppendItem(kLabelsCommand, "Axis Labels");
  menu.AppendItem(kAutoScaleCommand, "Automatic Vertical Scale");
}

void CDataProfileWnd::OnSettingsChanged(vd::ui::PopupMenu& menu) {
  CheckMenuItemFlag(kLabelsCommand, menu, axis_labels_);
  CheckMenuItemFlag(kAutoScaleCommand, menu, auto_scale());
}

bool CDataProfileWnd::OnCommand(int id) {
  if (id == kLabelsCommand) {
    axis_labels_ = !axis_labels_;
    LayOut();
  } else if (id == kAutoScaleCommand) {
    scale_info_t& scale = scale_.value;
    if (scale.fixed == 0) {
      // Freezes the scale in use: whole values, at least one pixel per step.
      scale.step = std::max<int32_t>(1, static_cast<int32_t>(std::lround(value_step_)));
      scale.fixed =
          std::max<int32_t>(1, static_cast<int32_t>(std::lround(vertical_scale_ * scale.step)));
    } else {
      scale = scale_info_t{};
    }
    scale_.Save();
  } else {
    return CDataPane::OnCommand(id);
  }
  RefreshSeries();
  update();
  return true;
}
