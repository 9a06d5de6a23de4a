#pragma once
// The base of the profile panes: one data series of a route or track (altitude, heart rate,
// speed, an extra measured value, the terrain elevation) drawn against the distance along it,
// one sample per pixel column of the plot.
//
// The pane follows the mouse: the sample under the cursor is shown in a light-blue tip and
// passed to the object (SetViewTarget), so the chart views move their position marker and
// every profile pane of the object marks the same sample. While the mouse is over the pane the
// mark stays where the mouse put it; otherwise, for a route, each new valid GPS fix marks the
// sample nearest the own vessel.
//
// Values are in the user's units; distances along the object are nautical miles inside and the
// user's distance unit on the axis.
#include <cstdint>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/persistent_value.h"
#include "core/ui/popup_wnd.h"
#include "gps/ui/data_pane.h"
#include "overlays/ostrel_object.h"
#include "overlays/profile_sample.h"

class CObjTrack;
class QLabel;

class CDataProfileWnd : public CDataPane {
 public:
  static constexpr int kContextMenu = 220;
  static constexpr int kLabelsCommand = 237;
  static constexpr int kAutoScaleCommand = 32973;
  static constexpr int kFirstPaneId = 1700;
  static constexpr char kDefaultSettingsKey[] = "dataprof_wnd";
  static constexpr vd::ui::ColourRef kPopupColour = vd::ui::MakeColourRef(184, 233, 255);
  static constexpr vd::ui::ColourRef kFillColour = vd::ui::MakeColourRef(200, 225, 200);
  static constexpr vd::ui::ColourRef kCurveColour = vd::ui::MakeColourRef(0, 0, 255);
  static constexpr vd::ui::ColourRef kGridColour = vd::ui::MakeColourRef(128, 128, 128);
  static constexpr vd::ui::ColourRef kCursorColour = vd::ui::MakeColourRef(255, 0, 0);
  static constexpr int kCursorRadius = 5;
  static constexpr int kPopupOffset = 20;
  static constexpr int kTitleNameLength = 32;

  // The vertical scale, stored as its bytes under the pane's key + "_scale". fixed 0: the
  // scale follows the values; otherwise fixed / step pixels per value unit. step 0: the grid
  // step follows the values too.
  struct scale_info_t {
    int32_t fixed = 0;
    int32_t step = 0;
    int32_t reserved = 0;
  };

  // Takes the lowest free pane id of the profile panes. An empty key keeps nothing in the
  // profile (neither placement nor scale).
  CDataProfileWnd(COstrelObject* object, const std::string& settings_key);
  // Gives the pane id back.
  ~CDataProfileWnd() override;

  // Shows the pane titled with the object's name, then lays out the plot and fills the
  // series. False when the pane could not be shown.
  virtual bool Create(QWidget* parent);
  // Refills the samples from the object and recomputes the scales. Subclasses fill samples_
  // (sized to SampleCount(), zeroed) and then call this; with fewer than two samples they
  // leave them empty.
  virtual void RefreshSeries();
  // Sizes the pane's client area and refills the series at once, also for a pane that is
  // never shown (a profile drawn into a picture).
  void SetClientSize(int width, int height);

  // 1 for the object: the pane closes. 6 for the object: the mark moves to its distance.
  // 0, 2, 5, 8 for the object (or any change without an object): the series is rebuilt.
  // 2 of a valid own-vessel fix while the object is a route: the mark moves to the vessel.
  void Update(COstrelObject* object, int hint) override;
  void Draw(vd::ui::Surface& dc) override;
  void FillContextMenu(vd::ui::PopupMenu& menu) override;
  void OnSettingsChanged(vd::ui::PopupMenu& menu) override;
  bool OnCommand(int id) override;

  // The plot point of a sample (the index clamped to the samples).
  vd::ui::Point PointForIndex(int index) const;
  // The tick interval of an axis of length x (in its unit) drawn over n pixels with about b
  // pixels per tick: 1, 2 or 5 times a power of ten.
  static double TickInterval(double x, int n, double b);
  // The tip text of a value: "%.0f" from 1000 on, "0" for 0, else "%.3g".
  static std::string FormatValue(double value);

  COstrelObject* object() const { return object_; }
  const std::vector<ProfileSample>& samples() const { return samples_; }
  const std::string& series_name() const { return series_name_; }
  const std::string& unit() const { return unit_; }
  int selected() const { return selected_; }
  double distance_per_sample() const { return distance_per_sample_; }
  double total_length() const { return total_length_; }
  float minimum() const { return minimum_; }
  float maximum() const { return maximum_; }
  double tick_interval() const { return tick_interval_; }
  double vertical_scale() const { return vertical_scale_; }
  double value_step() const { return value_step_; }
  bool axis_labels() const { return axis_labels_; }
  bool auto_scale() const { return scale_.value.fixed == 0; }
  // The plot: left, top, right (last column), bottom (the baseline row).
  const vd::ui::Rect& plot() const { return plot_; }
  // The tip's text; empty while it is hidden.
  std::string popup_text() const;
  // The tip's window (a small window of its own beside the cursor); null once the pane is gone.
  QWidget* popup() const { return popup_.window(); }
  bool waypoint_labels = true;

  // The pane ids in use, for the pool's owner and tests.
  static int AcquirePaneId();
  static void ReleasePaneId(int id);

 protected:
  // Pixel columns of the plot, 0 when fewer than two.
  int SampleCount() const;
  // The object as T, null when it is another kind.
  template <class T>
  T* ObjectAs() const;
  // Draws what a pane adds over the curve and axes; nothing here.
  virtual void DrawExtras(vd::ui::Surface& /*dc*/) {}
  // samples_ sized to SampleCount() and zeroed; false (and empty) when fewer than two.
  bool ResetSamples();
  // Multiplies every sample value.
  void ScaleValues(double factor);
  // The user's height unit: its factor from metres and its name.
  static double HeightUnit(std::string& name);
  // For a track: fills the samples with one of its samplers, takes its length and scales the
  // values by factor. Nothing for another object or fewer than two samples.
  using TrackSampler = void (CObjTrack::*)(std::span<ProfileSample>) const;
  void FillTrackSeries(TrackSampler sample, double factor);

  // The pane of class Pane bound to the object, shown; else a new one. Null when the object
  // is null or no pane could be shown.
  template <class Pane>
  static Pane* ShowFor(COstrelObject* object);

  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

  std::vector<ProfileSample> samples_;
  std::string series_name_;
  std::string unit_;
  // Set by a subclass that shows part of a route only: never reused by Show.
  bool partial_ = false;
  // The object's length in nautical miles, as the subclass measured it while sampling.
  double total_length_ = 0.0;

 private:
  void LayOut();
  void ComputeScales();
  void SelectSample(int index);
  void InvalidateCursor(int index);
  // The mouse left the samples: the tip hides and the views drop their marker.
  void ClearTracking();
  void TrackMouse(vd::ui::Point at);
  void PlaceVessel(const CLatLon& position);
  void DrawAxes(vd::ui::Surface& dc);

  COstrelObject* object_;
  PersistentData<scale_info_t> scale_;
  float minimum_ = 0.0f;
  float maximum_ = 0.0f;
  double distance_per_sample_ = 0.0;
  double distance_factor_ = 1.0;
  std::string distance_unit_;
  double tick_interval_ = 1.0;
  double vertical_scale_ = 1.0;
  double baseline_value_ = 0.0;
  double value_step_ = 0.0;
  vd::ui::Rect plot_;
  int selected_ = -1;
  bool axis_labels_ = true;
  // The mouse is over the pane or dragging from it: GPS fixes leave the mark alone.
  bool tracking_ = false;
  CPopupWnd popup_;  // the tip at the cursor, light blue
};

template <class T>
T* CDataProfileWnd::ObjectAs() const {
  return object_ != nullptr && object_->IsKindOf(T::kClass) ? static_cast<T*>(object_) : nullptr;
}

template <class Pane>
Pane* CDataProfileWnd::ShowFor(COstrelObject* object) {
  if (object == nullptr) return nullptr;
  for (Pane* pane = FindNextDataWnd<Pane>(); pane != nullptr;
       pane = FindNextDataWnd<Pane>(pane)) {
    if (pane->object() == object && !pane->partial_ && typeid(*pane) == typeid(Pane)) {
      pane->ShowPane();
      return pane;
    }
  }
  auto* pane = new Pane(object);
  if (!pane->Create(nullptr)) {
    pane->DestroyWindow();
    return nullptr;
  }
  return pane;
}
