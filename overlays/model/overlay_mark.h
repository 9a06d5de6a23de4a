#pragma once
// A mark of the newer overlay model: a named point with an icon, a colour and an optional
// proximity or anchor alarm. Free marks belong to the mark manager; a mark may instead be a
// point of a route (kind kRoutePoint, parent set), owned by that route.
#include <cstdint>
#include <string>

#include "overlays/model/overlay_icon_cache.h"
#include "overlays/model/overlay_object.h"
#include "overlays/model/syncable.h"

class COverlayRoute;

// "MOB" stays; otherwise the first character upper-cased, later letters lower-cased, digits
// and "_" kept, blanks turned into "_", anything else dropped.
std::string NormaliseIconName(std::string_view name);

class COverlayMark : public COverlayObject, public CSyncable {
 public:
  static constexpr int32_t kTypeId = 20;
  static const CSerializable::TypeOf<COverlayMark> cType;
  // Deleted marks keep this position.
  static constexpr double kNoPosition = 1000.0;

  // At (0, 0) with the icon and colour the settings give new marks, or new route points.
  explicit COverlayMark(bool route_point = false);
  // Copies kind, link, colour, icon, radii, description, type, keep and purge, and the name;
  // a name holding "#" after its first character becomes the text before the "#" followed by
  // the next number free among the marks of that prefix. Times are new, no sync id, no
  // position, no parent.
  COverlayMark(const COverlayMark& other);
  COverlayMark& operator=(const COverlayMark&) = delete;
  // Stops being the navigation target and withdraws its alarm.
  ~COverlayMark() override;

  // The record of a free mark, or of a route point while it belongs to a route.
  bool Serialize(CSerializableStream& stream) override;
  // A route point's record has no base record.
  bool SerializeBody(CSerializableStream& stream, bool route_point);
  int32_t GetTypeId() const override { return kTypeId; }

  void Project(CScreenPoints& points, const ChartViewGeoref& georef) override;
  void Draw(vd::ui::Surface& dc, const CScreenTransform& view,
            const CScreenPoints& points) override;
  bool IsLive() const override { return live; }
  bool OnTap(float x, float y, const GeoPoint& position) override;
  // Opens the mark's action sheet, or for a route point its route's.
  bool OnKey(int32_t code, int32_t data) override;
  bool ExtendBounds(CGeoBounds& box) const override;
  bool WriteGPX(std::string& out) const override;
  // The elements inside "wpt" (also inside a route's "rtept").
  void WriteGPXBody(std::string& out) const;

  // The deletion record's emptiness: no position, texts and alarm radius cleared.
  void Empty();
  // Prepares the mark to be read again: texts emptied, position 999, 999, alarm radius 0.
  void Reset();
  // The id of the mark's alarm notification (UserNotificationManager): unique among the marks of
  // the run.
  uint32_t AlarmIdentifier() const { return alarm_id_; }
  // The icon entry for drawing, resolved again after a change of icon or colour.
  const COverlayIconCache::Entry& ResolveIcon();

  double latitude = 0.0;
  double longitude = 0.0;
  std::string link;
  COverlayRoute* parent = nullptr;
  bool is_target = false;
  bool alarm_raised = false;
  uint32_t colour;  // 0xAARRGGBB
  std::string icon;
  float anchor_radius = 0.0f;  // metres; 0 = none
  float alarm_radius = 0.0f;   // metres; 0 = no alarm

 private:
  // Ids from 0x80000000 up, apart from the AIS targets' (their MMSIs, below 10^9).
  static uint32_t NextAlarmId();

  uint32_t alarm_id_ = NextAlarmId();
  const COverlayIconCache::Entry* icon_entry_ = nullptr;
  std::string resolved_icon_;
  uint32_t resolved_colour_ = 0;
  uint64_t resolved_generation_ = 0;
};
