#pragma once
// A moving position on the chart: the own vessel fed by the GPS (display mode 0, the GPS icon)
// or a target whose fixes come through the external program interface (display mode 1, an
// arrow or a scaled vessel outline). The object is its own latest fix record. It draws a
// velocity vector (an arc while turning), a heading vector and a range circle, keeps a
// two-minute trail from which a smoothed speed and course are derived, and drives the
// proximity and anchor alarms of the document's marks with every valid fix.
//
// A position of exactly (0, 0) is no position: not drawn, not hit, no bounds.
//
// User-interface thread only; the document hands it each fix.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/gps_position_info.h"
#include "overlays/obj_track.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/colour.h"
#include "platform/ui/image.h"

class CObjCurrentPosition;

// What the object asks of a document that keeps a pointer to its own vessel. The program's
// document implements it beside COstrelDocBase.
class CCurrentPositionDocument {
 public:
  virtual CObjCurrentPosition* PeekCurrentPosition() const = 0;
  virtual void SetCurrentPosition(CObjCurrentPosition* position) = 0;

 protected:
  ~CCurrentPositionDocument() = default;
};

class CObjCurrentPosition : public COstrelObject, public GPS_position_info {
 public:
  static const OverlayClass kClass;  // "CObjCurrentPosition"

  enum DisplayMode : int32_t { kOwnVessel = 0, kTarget = 1 };
  static constexpr int kPositionPopupMenu = 162;
  static constexpr int32_t kTrailSeconds = 120;
  // Headings above 360 are none; a new object has this one.
  static constexpr float kNoHeadingSet = 361.0f;

  // No fix at (0, 0); the GPS icons from the program folder's "Icons" folder; the settings
  // "cur_pos_show_vector", "cur_pos_color", "cur_pos_vector_secs" and "cur_pos_radius"; name
  // and category "Position", layer 0x32.
  CObjCurrentPosition();
  // The document's own-vessel pointer becomes null when it points here.
  ~CObjCurrentPosition() override;

  const OverlayClass& GetRuntimeClass() const override;
  // After the base record: position, time, course, speed, variation, precision, altitude,
  // short name, display mode, description, heading, outline.
  void Serialize(COverlayArchive& archive) override;
  bool GetBounds(double& min_lat, double& max_lat, double& min_lon,
                 double& max_lon) const override;
  // Shows the object in a chart window (the best chart for it).
  void CentreInView() override;
  // Chart pixels: [0] position, [1] velocity vector end, [2] heading vector end, [3] and [4]
  // range circle box, [5...] the outline.
  void PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) override;
  void Draw(vd::ui::Surface& dc, vd::ui::Graphics& graphics, CMappedObject& mapped,
            bool quick_draw) override;
  bool HitTest(const vd::ui::Point& chart_point, CMappedObject& mapped, int zoom_step) override;
  bool GetStatusText(std::string& text, const CLatLon& cursor, CMappedObject* hit) override;

  // Takes one fix: the position and validity always; a satellite-only update its table; a
  // valid fix its motion values, the alarms of the marks and the trail. Codes 5 and 2.
  void UpdateFromFix(const GPS_position_info& fix);
  // Knots and degrees true from the oldest trail point to the present position (the newest
  // trail point without a valid fix); false, nothing written, when the trail is empty or spans
  // no time.
  bool GetTrailSpeedAndCourse(float& speed_knots, float& course_degrees) const;

  // The status line of a target (set through the external interface); the fix's status text
  // points at it.
  void SetStatusText(std::string text);

  // The setting "Vessel" of section "Settings": the name under which the document looks its
  // own vessel up.
  void SaveVesselName() const;
  static std::string GetVesselName();

  // The screen's scale factor: above 1.6 the double-size GPS icons are loaded.
  static void SetDisplayScale(float scale);
  // The side of the single-size GPS icons, and of the plain symbol drawn without them.
  static constexpr int kFallbackIconSide = 21;
  // Lets the next missing icon be told again (for tests).
  static void ForgetMissingIconsReport();
  // Whether the GPS icons were loaded (else the plain symbol is drawn).
  bool HasIcons() const { return image_a_.has_value(); }

  const std::deque<CTrackpoint>& trail() const { return trail_; }
  // Forgets the trail (a replay starts elsewhere).
  void ClearTrail() { trail_.clear(); }

  // ---- Fields ----
  bool show_vector = true;
  vd::ui::ColourRef colour = 255;
  int32_t display_mode = kOwnVessel;
  std::string description;  // the second status line of a target
  float rate_of_turn = 0.0f;  // degrees per minute, positive to starboard; 0 = straight
  // Vessel outline in metres: x to starboard, y forward of the position.
  std::vector<vd::ui::Point> outline;
  int32_t trail_seconds = kTrailSeconds;
  int32_t next_trail_time = 0;
  float trail_speed = 0.0f;   // knots
  float trail_course = 0.0f;  // degrees true
  double vector_minutes = 10.0;
  float range_radius_nm = 0.0f;

 private:
  // The GPS icons from the program's folder; without them (missing, or not images) the plain
  // symbol is drawn and the user is told once.
  void LoadIcons();
  static void ReportMissingIcons(const std::string& path);
  void DrawPlainSymbol(vd::ui::Surface& dc, vd::ui::Point c, bool valid_fix) const;
  CLatLon Where() const { return {position.lat, position.lon}; }
  bool HasPosition() const { return position.lat != 0.0 || position.lon != 0.0; }
  // The angle the outline and the arrow point in: the heading, else the course when moving,
  // else north; degrees.
  double PointingAngle() const;
  void CheckMarkAlarms();
  void AddTrailPoint();
  // Whether the turn bends the vector from..to visibly (a finite, not too large radius).
  bool TurnShowsAsArc(vd::ui::Point from, vd::ui::Point to) const;
  void DrawArcVector(vd::ui::Surface& dc, vd::ui::Point from, vd::ui::Point to) const;

  std::optional<vd::ui::Image> image_a_;
  std::optional<vd::ui::Image> image_b_;
  std::optional<vd::ui::Image> image_no_fix_;
  int32_t hot_x_ = 0;
  int32_t hot_y_ = 0;
  int32_t hit_margin_ = 0;
  int32_t icon_size_ = 0;
  std::string status_text_;
  std::deque<CTrackpoint> trail_;  // newest first
};
