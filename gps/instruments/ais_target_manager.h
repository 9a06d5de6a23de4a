#pragma once
// The AIS targets around the own vessel: one moving target per station heard, their closest
// point of approach to the own position, collision and man-overboard alarms through the
// notification manager, and the removal of stations no longer heard. Messages arrive as the
// VDM and VDO sentences' events (gps/ais_messages.h) wherever a line dispatcher feeds them.
//
// Listener<CAISTarget> is fired with a target whenever it changes: a message, a new own
// position (range and closest approach), lost contact, and just before it is removed.
//
// User-interface thread only.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/global_settings_type.h"
#include "core/heartbeat.h"
#include "core/listener.h"
#include "core/persistant_data.h"
#include "geodesy/local_projection.h"
#include "gps/ais_messages.h"
#include "overlays/model/data_gps_position.h"
#include "overlays/model/overlay_moving_target.h"

class CAISTarget : public COverlayMovingTarget {
 public:
  static constexpr int32_t kKindAis = 3;
  static constexpr int kNoHeading = 999;

  explicit CAISTarget(uint32_t mmsi);

  // The information text of a static message, else "MMSI:%d, %s\nSpeed:%.1f kts, %s".
  std::string Tooltip() const;
  // A triangle in the target's colour, along the heading when there is one, upright otherwise.
  void Draw(vd::ui::Surface& dc, const CScreenTransform& view,
            const CScreenPoints& points) override;

  uint32_t mmsi;
  std::string mmsi_text;
  std::string name, call_sign, destination, type_text;
  std::string kind_text;  // "Class A", "Class B", "Aircraft", ... or "Lost contact"
  std::string info;       // the tooltip text of the last static message
  int last_message = 0;
  double heard = 0.0;  // seconds since 1970
  double speed_knots = 0.0;
  double course = 0.0;
  int heading = kNoHeading;
  int nav_status = 0;
  std::string nav_status_name;
  int to_bow = 0, to_stern = 0, to_port = 0, to_starboard = 0;
  double range = 0.0;    // metres from the own position
  double bearing = 0.0;  // degrees
  double tcpa = 0.0;     // seconds
  double cpa = 1e10;     // metres
  bool alarm_active = false;
  bool lost_contact = false;
};

class CAISTargetManager : public Listener<CNEMA_AIS::VDM>,
                          public Listener<CNEMA_AIS::VDO>,
                          public Listener<CDataGPSPosition>,
                          public CHeartbeat::Counter {
 public:
  static constexpr int32_t kHeartbeatPeriod = 1200;
  static constexpr double kLostContactSeconds = 366.0;
  static constexpr double kRemoveSeconds = 600.0;

  struct Persistant : PersistantData {
    Persistant();
    void Exchange() override;
    float alarm_distance = 500.0f;          // metres, class A
    float cpa_classB_distance = 500.0f;     // metres
    float alarm_time = 600.0f;              // seconds
    float min_closing_velocity_knots = 0.5f;
    bool alarm_beep = true;
    bool record_tracks = false;
    bool enable_settings = false;
  };
  static Persistant& Settings();

  // The "AIS Settings" group of the settings pages; set up disabled.
  class SettingsType : public CGlobalSettingsType {
   public:
    SettingsType() : CGlobalSettingsType("AIS Settings") { enabled = false; }
    void OpenSheet() override {}
  };

  static CAISTargetManager& Instance();
  // The clock (seconds since 1970 UTC); the system's by default.
  void SetClock(std::function<double()> clock) { clock_ = std::move(clock); }
  // Whether another position source is active (then the own transponder is not used as one).
  void SetOtherPositionSource(std::function<bool()> active) { other_source_ = std::move(active); }

  void OnEvent(CNEMA_AIS::VDM& sentence) override;
  void OnEvent(CNEMA_AIS::VDO& sentence) override;
  void OnEvent(CDataGPSPosition& fix) override;
  using CHeartbeat::Counter::OnEvent;

  const std::map<uint32_t, std::unique_ptr<CAISTarget>>& targets() const { return targets_; }
  // The own position the targets are measured from: origin at the last valid fix with the
  // metres per degree there; both factors are 0 while no fix has come.
  const CLocalProjection& own_position() const { return plane_; }
  // The target the user picked from a list (drawn as selected); null when none. A target
  // removed stops being selected.
  CAISTarget* selected() const { return selected_; }
  void Select(CAISTarget* target) { selected_ = target; }
  CAISTarget* Find(uint32_t mmsi) const;
  void Clear();
  // The lost-contact check of the heartbeat.
  void CheckContacts();

 protected:
  void OnElapsed() override { CheckContacts(); }

 private:
  CAISTargetManager();
  double Now() const;
  void UpdateTarget(const CNEMA_AIS::Message& message);
  void Recompute(CAISTarget& target);
  void ClearAlarm(CAISTarget& target);

  std::map<uint32_t, std::unique_ptr<CAISTarget>> targets_;
  std::function<double()> clock_;
  std::function<bool()> other_source_;
  bool is_position_source_ = false;
  CLocalProjection plane_;
  bool have_own_position_ = false;
  CAISTarget* selected_ = nullptr;
  double own_vx_ = 0.0, own_vy_ = 0.0;  // metres per second east, north
};
