#pragma once
// The owner of all marks and routes of the newer overlay model: one global manager, made at
// program start. It stores them as one record, raises mark alarms and follows the navigation
// target on GPS fixes, and carries the creation of a route by tapping.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/listener.h"
#include "core/persistant_data.h"
#include "core/serializable.h"
#include "geodesy/local_projection.h"
#include "overlays/model/data_gps_position.h"
#include "overlays/model/navigation_target.h"
#include "overlays/model/overlay_mark.h"
#include "overlays/model/overlay_route.h"

class CMarkManager;

// A new free mark of the program's mark manager at (lat, lon) with the given name and the
// settings' icon and colour for new marks, announced with change 0; null without a manager.
COverlayMark* CreateMarkAt(const std::string& name, double lat, double lon);

class CMarkManager : public CSerializable,
                     public Listener<CDataGPSPosition>,
                     public Listener<COverlayObject> {
 public:
  static constexpr int32_t kTypeId = 21;
  static const CSerializable::TypeOf<CMarkManager> cType;
  static constexpr uint32_t kMaxCount = 10'000'000;

  struct Persistant : PersistantData {
    Persistant();
    void Exchange() override;

    bool route_create_hint = false;  // the route creation hint was shown
    bool route_hint = false;
    bool optimize_route_tip = false;
    std::string default_mark_icon = "Flag";
    std::string default_wp_icon = "Dot";
    uint32_t default_mark_color2 = 0xFF0000FF;
    uint32_t default_wp_color2 = 0xFFFF0000;
    int sort = 0;  // 0 by name, 1 by modification time, 2 by distance
    bool notifications = true;  // mark alarms on
    int sync_mode = 0;
    bool auto_reverse = false;
  };
  static Persistant& Settings();

  // The newest live manager is the program's (Instance).
  CMarkManager();
  ~CMarkManager() override;
  CMarkManager(const CMarkManager&) = delete;
  CMarkManager& operator=(const CMarkManager&) = delete;

  // The program's manager, or null.
  static CMarkManager* Instance();

  bool Serialize(CSerializableStream& stream) override;
  int32_t GetTypeId() const override { return kTypeId; }

  COverlayMark* AddMark(std::unique_ptr<COverlayMark> mark);
  COverlayRoute* AddRoute(std::unique_ptr<COverlayRoute> route);
  // Every free mark and every route point.
  void ForEachMark(const std::function<void(const COverlayMark&)>& visit) const;

  // A route point leaves its route; a free mark becomes a deletion record.
  void DeleteMark(COverlayMark* mark);
  void DeleteRoute(COverlayRoute* route);
  // "R<n>" with n one more than the largest among routes named so.
  std::string NextRouteName() const;
  // The nearest route by its last (first) point; routes without points are skipped.
  COverlayRoute* FindRouteEndingNearest(double latitude, double longitude) const;
  COverlayRoute* FindRouteStartingNearest(double latitude, double longitude) const;

  // The list menus' bulk changes. Locking sets the keep flag (a locked mark stays when route
  // creation takes it, and its deletion question says so). Showing and hiding change the live
  // flag of every object that is not a deletion record (a route's points with it) and announce
  // change 0 on each. The not-syncable state leaves objects out of the overlay sync.
  void LockAllMarks(bool lock);
  void LockAllRoutes(bool lock);
  void ShowAllMarks(bool show);
  void ShowAllRoutes(bool show);
  void SetAllMarksNotSyncable(bool not_syncable);
  void SetAllRoutesNotSyncable(bool not_syncable);

  // Removes from the list and destroys every deletion record that was deleted before its first
  // sync or was last modified at or before `time` (seconds since 1601); the others stay for
  // the next sync. Returns how many went.
  template <class T>
  static size_t PurgeDeleted(std::vector<std::unique_ptr<T>>& list, double time) {
    // Taken out of the list first, then destroyed: an object going away may look at the list.
    std::vector<std::unique_ptr<T>> gone;
    std::erase_if(list, [&](std::unique_ptr<T>& object) {
      if (!object->deleted || !(object->purge || !(object->modified > time))) return false;
      gone.push_back(std::move(object));
      return true;
    });
    return gone.size();
  }

  // The own position that the lists sort by distance from: origin at the last valid fix, with
  // the metres per degree there; both factors are 0 while no fix has come.
  const CLocalProjection& own_position() const { return own_position_; }

  // Route creation by tapping, starting at a mark; returns the new route.
  COverlayRoute* CreateRouteFromMark(COverlayMark* mark);
  void FinishRouteCreation(COverlayRoute* route);
  // Route creation by tapping on an existing route, new points going in at insertion_index; the
  // pending-action callback ends it.
  void StartRouteCreation(COverlayRoute* route, size_t insertion_index);
  // No route is being created any more.
  void StopRouteCreation() { creating_ = nullptr; }
  COverlayRoute* route_being_created() const { return creating_; }
  size_t insertion_index() const { return insertion_; }
  void set_insertion_index(size_t index) { insertion_ = index; }

  void SetTarget(COverlayMark* mark);
  void SetNavigationRoute(COverlayRoute* route);
  void ClearTarget();
  const NavigationTarget& target() const { return target_; }

  // Called by marks and routes being destroyed: the manager stops pointing at them.
  void ForgetObject(const COverlayObject* object);

  void OnEvent(CDataGPSPosition& fix) override;
  void OnEvent(COverlayObject& object) override;

  std::vector<std::unique_ptr<COverlayMark>> marks;
  std::vector<std::unique_ptr<COverlayRoute>> routes;

 private:
  void RaiseAlarms(const CDataGPSPosition& fix);
  void Navigate(const CDataGPSPosition& fix);
  // The offset, distance, direction and bearing from the position to the target point.
  void UpdateOffset(double latitude, double longitude);
  void TellNavigationListeners();

  NavigationTarget target_;
  std::optional<GeoPoint> last_fix_;
  CLocalProjection own_position_;
  COverlayRoute* creating_ = nullptr;
  size_t insertion_ = 0;
};
