#pragma once
// The own position of the newer overlay model: one moving target made at program start and fed
// by the instruments side with every fix (the record's fields, then UpdateAveraged). It keeps
// the current course, speed and damped heading, averages the velocity over a time window, hands
// the position on to the position listeners, and times a fix out when it is not refreshed.
#include <cstdint>
#include <deque>
#include <string>

#include "core/global_settings_type.h"
#include "core/heartbeat.h"
#include "core/listener.h"
#include "core/persistant_data.h"
#include "overlays/model/damped_angle.h"
#include "overlays/model/overlay_moving_target.h"

class COverlayGPSPosition : public COverlayMovingTarget {
 public:
  static constexpr int32_t kFixTimeoutTicks = 50;     // heartbeat ticks without a fix
  static constexpr int32_t kMaxSampleQuality = 100;   // fixes of this quality or worse: no sample
  static constexpr double kHandOffInterval = 0.9;     // seconds between magnetic updates
  static constexpr double kNoCourse = 999.0;
  static constexpr float kShapeLength = 16.0f;        // display units
  static constexpr float kShapeHalfWidth = 6.956522f;  // display units

  struct Persistant : PersistantData {
    Persistant();
    void Exchange() override;

    float vector_scale = 5.0f;  // minutes of travel the speed vector shows
    uint32_t gc_color2 = 0xFF0000FF;
    double averaging_time = 30.1;  // seconds
    bool show_heading = false;
    bool show_vector = true;
    int record_in_background_mode = 0;
    bool use_averaged_direction = false;
    bool screen_keep_alive = false;
    float compass_damping_time_const = 1.0f;  // seconds
    std::string compass_calibration =
        "0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,"
        "0.000000,0.000000,0.000000,0.000000,0.000000,0.000000";

   private:
    // Keys of older editions, read while their successors are not stored yet.
    void ReadOlderKeys();
  };
  static Persistant& Settings();

  // The "GPS Settings" group: it has no page of its own.
  class SettingsType : public CGlobalSettingsType {
   public:
    SettingsType() : CGlobalSettingsType("GPS Settings") {}
    void OpenSheet() override {}
  };

  struct Sample {
    double latitude;
    double longitude;
    double time;  // the fix's, seconds since 1970
  };
  // The velocity over the averaging window, knots.
  struct AveragedVelocity {
    double east = 0.0;   // unit vector above 0.1 knots, else 0
    double north = 0.0;
    double speed = 0.0;
    double course = kNoCourse;  // degrees true
  };

  // The newest live object is the program's (Instance).
  COverlayGPSPosition();
  ~COverlayGPSPosition() override;
  COverlayGPSPosition(const COverlayGPSPosition&) = delete;
  COverlayGPSPosition& operator=(const COverlayGPSPosition&) = delete;

  static COverlayGPSPosition* Instance();

  // Course (degrees) and speed over ground (knots); speeds of 0.1 knots or less count as 0.
  void SetCurrentCourseSpeed(float course, float speed);
  // Heading in degrees; 900 or more means none. Read at now_seconds of CDampedAngle's clock.
  void SetCurrentHeading(float heading, double now_seconds = CDampedAngle::SteadyNow());
  // After the instruments side filled the record with a fix: restarts the fix time-out, hands
  // the position to the magnetic variation, takes an averaging sample, chooses the speed
  // source again, fires the position listeners and announces a change.
  void UpdateAveraged();

  void Project(CScreenPoints& points, const ChartViewGeoref& georef) override;
  // With the heading chosen, a triangle along the heading; otherwise as a moving target.
  void Draw(vd::ui::Surface& dc, const CScreenTransform& view,
            const CScreenPoints& points) override;

  bool fix_present() const { return fix_present_; }
  const std::deque<Sample>& samples() const { return samples_; }
  const AveragedVelocity& averaged() const { return averaged_; }
  // The current velocity over ground, knots.
  const UnitVector& course_velocity() const { return course_velocity_; }
  double damped_heading() const { return damped_heading_; }
  // The heading triangle's offset from the position (display units, y down) and the heading's
  // direction on screen, as the last Project left them.
  const vd::ui::PointF& shape_offset() const { return shape_offset_; }
  const UnitVector& screen_heading() const { return screen_heading_; }

 private:
  class FixTimeout : public Listener<CHeartbeat> {
   public:
    explicit FixTimeout(COverlayGPSPosition& owner) : owner_(owner) {}
    void Restart() { ticks_left_ = kFixTimeoutTicks; }
    void OnEvent(CHeartbeat&) override;

   private:
    COverlayGPSPosition& owner_;
    int32_t ticks_left_ = 0;  // 0: not counting
  };

  void TakeSample();
  void OnFixTimeout();
  void FirePositionListeners();

  FixTimeout timeout_{*this};
  CDampedAngle heading_filter_;
  double damped_heading_ = kNoCourse;
  UnitVector course_velocity_;
  std::deque<Sample> samples_;
  AveragedVelocity averaged_;
  double next_sample_time_ = 0.0;
  double last_hand_off_ = 0.0;  // fix time of the last magnetic update
  bool fix_present_ = false;
  vd::ui::PointF shape_offset_;  // of the heading triangle, display units (y down)
  UnitVector screen_heading_;   // the heading's direction on screen, from the last Project
};
