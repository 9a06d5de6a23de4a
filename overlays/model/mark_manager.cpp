#include "overlays/model/mark_manager.h"

#include <charconv>
#include <cmath>

#include "core/serializable_stream.h"
#include "geodesy/default_units.h"
#include "geodesy/local_projection.h"
#include "app/user_notification_manager.h"
#include "overlays/model/nearest_object.h"
#include "overlays/model/notify_callback.h"
#include "overlays/model/overlay_selection.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/record_list.h"
#include "platform/os/numbers.h"

const CSerializable::TypeOf<CMarkManager> CMarkManager::cType(CMarkManager::kTypeId);

namespace {

// Live managers, oldest first: the newest is the program's.
std::vector<CMarkManager*>& Live() {
  static std::vector<CMarkManager*> live;
  return live;
}
CMarkManager::Persistant settings;

constexpr double kNearTarget = 5.0;  // metres: no direction closer than this

// The number n of a name "<letter>n" (digits only after the letter), or nothing.
std::optional<int> NumberedName(const std::string& name, char letter) {
  if (name.size() < 2 || name[0] != letter) return std::nullopt;
  int value = 0;
  const char* end = name.data() + name.size();
  const auto [stop, error] = std::from_chars(name.data() + 1, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// Degrees wrapped into -180..180.
double WrapDegrees(double degrees) {
  degrees = std::fmod(degrees, 360.0);
  if (degrees > 180.0) degrees -= 360.0;
  if (degrees < -180.0) degrees += 360.0;
  return degrees;
}

}  // namespace

CMarkManager::Persistant::Persistant() : PersistantData("CMarkManager") {}

void CMarkManager::Persistant::Exchange() {
  ExchangeBool("route_create_hint", route_create_hint);
  ExchangeBool("route_hint", route_hint);
  ExchangeBool("optimize_route_tip", optimize_route_tip);
  ExchangeString("default_mark_icon", default_mark_icon);
  ExchangeString("default_wp_icon", default_wp_icon);
  ExchangeColour("default_mark_color2", default_mark_color2);
  ExchangeColour("default_wp_color2", default_wp_color2);
  ExchangeInt("sort", sort);
  ExchangeBool("notifications", notifications);
  ExchangeInt("sync_mode", sync_mode);
  ExchangeBool("auto_reverse", auto_reverse);
}

CMarkManager::Persistant& CMarkManager::Settings() { return settings; }

CMarkManager::CMarkManager() { Live().push_back(this); }

CMarkManager::~CMarkManager() {
  // The objects announce their going away while the manager is still whole; with nothing
  // targeted or being created, its own handler of those announcements touches no list.
  target_ = NavigationTarget{};
  creating_ = nullptr;
  std::vector<std::unique_ptr<COverlayRoute>> old_routes = std::move(routes);
  old_routes.clear();
  std::vector<std::unique_ptr<COverlayMark>> old_marks = std::move(marks);
  old_marks.clear();
  std::erase(Live(), this);
}

CMarkManager* CMarkManager::Instance() {
  return Live().empty() ? nullptr : Live().back();
}

bool CMarkManager::Serialize(CSerializableStream& stream) {
  std::vector<std::unique_ptr<COverlayMark>> older_marks;
  bool ok;
  {
    CSerializableStream::Block block(stream);
    ok = block.ok();
    // (1) The older form of the mark list: typed records, always written empty.
    uint32_t older_count = 0;
    ok = ok && stream.ExchangeRaw(&older_count, sizeof older_count);
    if (ok && stream.IsReading()) {
      ok = older_count <= kMaxCount;
      for (uint32_t i = 0; ok && i < older_count && !stream.AtBlockEnd(); ++i) {
        CSerializableStream::RecordResult record = stream.ReadRecord();
        if (record.status == CSerializableStream::RecordStatus::kEnd) break;
        if (auto* mark = dynamic_cast<COverlayMark*>(record.object.get())) {
          record.object.release();
          older_marks.emplace_back(mark);
        }
      }
    }
    // (2) The routes, (3) the marks.
    size_t first_new_route = routes.size();
    ok = ok && ExchangeRecordList(
                   stream, routes, kMaxCount, [] { return std::make_unique<COverlayRoute>(); },
                   [&](COverlayRoute& route) { return route.Serialize(stream); });
    if (stream.IsReading()) {
      // Marks already held go first; marks being replaced must not stay targeted.
      std::vector<std::unique_ptr<COverlayMark>> old = std::move(marks);
      marks.clear();
      old.clear();
    }
    ok = ok && ExchangeRecordList(
                   stream, marks, kMaxCount, [] { return std::make_unique<COverlayMark>(); },
                   [&](COverlayMark& mark) { return mark.SerializeBody(stream, false); });
    if (stream.IsReading()) {
      if (marks.empty()) marks = std::move(older_marks);
      for (const auto& mark : marks) {
        mark->parent = nullptr;
        mark->kind = COverlayObject::kMark;
      }
      for (size_t i = first_new_route; i < routes.size(); ++i) {
        if (routes[i]->is_navigation) SetNavigationRoute(routes[i].get());
      }
      for (const auto& mark : marks) {
        if (mark->is_target && !mark->deleted) SetTarget(mark.get());
      }
      for (size_t i = first_new_route; i < routes.size(); ++i) {
        if (!routes[i]->deleted) routes[i]->AnnounceAll(COverlayObject::kAppeared);
      }
      for (const auto& mark : marks) {
        if (!mark->deleted) mark->NotifyChange(COverlayObject::kAppeared);
      }
    }
  }
  return ok && !stream.Failed();
}

COverlayMark* CMarkManager::AddMark(std::unique_ptr<COverlayMark> mark) {
  mark->parent = nullptr;
  mark->kind = COverlayObject::kMark;
  marks.push_back(std::move(mark));
  return marks.back().get();
}

COverlayRoute* CMarkManager::AddRoute(std::unique_ptr<COverlayRoute> route) {
  routes.push_back(std::move(route));
  return routes.back().get();
}

void CMarkManager::ForEachMark(const std::function<void(const COverlayMark&)>& visit) const {
  for (const auto& mark : marks) visit(*mark);
  for (const auto& route : routes) {
    for (const auto& point : route->points) visit(*point);
  }
}

void CMarkManager::DeleteMark(COverlayMark* mark) {
  if (mark->parent != nullptr) {
    mark->parent->RemovePoint(mark);
    return;
  }
  mark->MarkDeleted();
  mark->Empty();
  COverlaySelection::Forget(mark);
  mark->NotifyChange(COverlayObject::kGoingAway);
}

void CMarkManager::DeleteRoute(COverlayRoute* route) { route->Delete(); }

void CMarkManager::LockAllMarks(bool lock) {
  for (const auto& mark : marks) mark->keep = lock;
}

void CMarkManager::LockAllRoutes(bool lock) {
  for (const auto& route : routes) route->keep = lock;
}

void CMarkManager::ShowAllMarks(bool show) {
  for (const auto& mark : marks) {
    // A deletion record stays out of sight.
    if (mark->deleted) continue;
    mark->live = show;
    mark->NotifyChange(COverlayObject::kAppeared);
  }
}

void CMarkManager::ShowAllRoutes(bool show) {
  for (const auto& route : routes) {
    if (route->deleted) continue;
    route->live = show;
    for (const auto& point : route->points) point->live = show;
    route->AnnounceAll(COverlayObject::kAppeared);
  }
}

void CMarkManager::SetAllMarksNotSyncable(bool not_syncable) {
  for (const auto& mark : marks) mark->not_syncable = not_syncable;
}

void CMarkManager::SetAllRoutesNotSyncable(bool not_syncable) {
  for (const auto& route : routes) route->not_syncable = not_syncable;
}

COverlayMark* CreateMarkAt(const std::string& name, double lat, double lon) {
  CMarkManager* manager = CMarkManager::Instance();
  if (manager == nullptr) return nullptr;
  auto mark = std::make_unique<COverlayMark>();
  mark->name = name;
  mark->latitude = lat;
  mark->longitude = lon;
  COverlayMark* added = manager->AddMark(std::move(mark));
  added->NotifyChange(COverlayObject::kAppeared);
  return added;
}

std::string CMarkManager::NextRouteName() const {
  int largest = 0;
  for (const auto& route : routes) {
    if (const std::optional<int> n = NumberedName(route->name, 'R')) {
      largest = std::max(largest, *n);
    }
  }
  return vd::os::FormatC("R%d", largest + 1);
}

COverlayRoute* CMarkManager::FindRouteEndingNearest(double latitude, double longitude) const {
  return NearestObject(routes, latitude, longitude,
                       [](const COverlayRoute& route) -> std::optional<GeoPoint> {
                         if (route.points.empty()) return std::nullopt;
                         return GeoPoint{route.points.back()->latitude,
                                         route.points.back()->longitude};
                       });
}

COverlayRoute* CMarkManager::FindRouteStartingNearest(double latitude, double longitude) const {
  return NearestObject(routes, latitude, longitude,
                       [](const COverlayRoute& route) -> std::optional<GeoPoint> {
                         if (route.points.empty()) return std::nullopt;
                         return GeoPoint{route.points.front()->latitude,
                                         route.points.front()->longitude};
                       });
}

COverlayRoute* CMarkManager::CreateRouteFromMark(COverlayMark* mark) {
  auto first = std::make_unique<COverlayMark>(true);
  first->latitude = mark->latitude;
  first->longitude = mark->longitude;
  first->name = mark->name;
  if (!mark->keep) DeleteMark(mark);  // mark may be gone from here on

  COverlayRoute* route = AddRoute(std::make_unique<COverlayRoute>());
  COverlayMark* point = route->InsertPoint(std::move(first), 0);
  route->name = NextRouteName();
  StartRouteCreation(route, route->points.size());
  route->AnnounceAll(COverlayObject::kAppeared);
  if (point->name.size() >= 2 && point->name[0] == 'P' && point->name[1] <= '9') {
    point->name = route->name + "P1";
  }
  if (!settings.route_create_hint) {
    if (COverlayShell* shell = COverlayShell::Get()) {
      shell->ShowHint("Tap to add a series of waypoints. Tap \"Done\" to finish.");
    }
    settings.route_create_hint = true;
    settings.MarkDirty();
    PersistantData::SaveAll();
  }
  return route;
}

void CMarkManager::StartRouteCreation(COverlayRoute* route, size_t insertion_index) {
  creating_ = route;
  insertion_ = insertion_index;
  SetNotifyCallback(
      [](void* context) {
        if (CMarkManager* manager = Instance()) {
          manager->FinishRouteCreation(static_cast<COverlayRoute*>(context));
        }
      },
      route);
}

void CMarkManager::FinishRouteCreation(COverlayRoute* route) {
  creating_ = nullptr;
  route->AnnounceAll(COverlayObject::kAppeared);
  if (COverlayShell* shell = COverlayShell::Get()) shell->ClearStatusText();
  ClearNotifyCallback();
}

void CMarkManager::SetTarget(COverlayMark* mark) {
  if (target_.mark != nullptr) target_.mark->is_target = false;
  if (target_.route != nullptr) target_.route->is_navigation = false;
  target_ = NavigationTarget{};
  target_.mark = mark;
  target_.point = mark;
  mark->is_target = true;
  target_.plane.SetOrigin(mark->latitude, mark->longitude);
  if (last_fix_) UpdateOffset(last_fix_->lat, last_fix_->lon);
  TellNavigationListeners();
}

void CMarkManager::SetNavigationRoute(COverlayRoute* route) {
  ClearTarget();
  target_.route = route;
  route->is_navigation = true;
  route->legs.clear();
  TellNavigationListeners();
}

void CMarkManager::ClearTarget() {
  if (target_.mark != nullptr) target_.mark->is_target = false;
  if (target_.route != nullptr) target_.route->is_navigation = false;
  target_ = NavigationTarget{};
  TellNavigationListeners();
}

void CMarkManager::TellNavigationListeners() { Listener<NavigationTarget>::Fire(target_); }

void CMarkManager::OnEvent(CDataGPSPosition& fix) {
  if (!fix.valid) return;
  last_fix_ = GeoPoint{fix.latitude, fix.longitude};
  own_position_.SetOrigin(fix.latitude, fix.longitude);
  if (settings.notifications) RaiseAlarms(fix);
  if (Listener<NavigationTarget>::List() != nullptr && target_.HasTarget()) Navigate(fix);
}

void CMarkManager::RaiseAlarms(const CDataGPSPosition& fix) {
  CLocalProjection plane;
  plane.SetOrigin(fix.latitude, fix.longitude);
  UserNotificationManager& notices = UserNotificationManager::Instance();
  for (const auto& mark : marks) {
    // A mark whose alarm was switched off (or that was deleted) withdraws a raised alarm.
    const double distance = plane.DistanceTo(mark->latitude, mark->longitude);
    if (mark->alarm_radius > 0 && distance < mark->alarm_radius &&
        distance >= mark->anchor_radius) {
      std::string text = mark->name + " is ";
      CDefaultUnits::Global().AppendValueText(distance, text);
      text += " away";
      // The notifiers get the caption and the text as C strings, valid during the call.
      const char* caption = mark->anchor_radius == 0 ? "Mark proximity alarm" : "Anchor alarm";
      notices.Raise(mark->AlarmIdentifier(), reinterpret_cast<intptr_t>(caption),
                    reinterpret_cast<intptr_t>(text.c_str()));
      mark->alarm_raised = true;
    } else if (mark->alarm_raised) {
      notices.Acknowledge(mark->AlarmIdentifier());
      mark->alarm_raised = false;
    }
  }
}

void CMarkManager::Navigate(const CDataGPSPosition& fix) {
  if (COverlayRoute* route = target_.route) {
    const float course = fix.motion.course;
    if (settings.auto_reverse && !route->points.empty() &&
        target_.point == route->points.back().get() &&
        target_.distance < 0.2 * target_.leg_length && course >= 0 &&
        target_.bearing != NavigationTarget::kNoBearing &&
        std::fabs(WrapDegrees(course - target_.bearing)) > 135.0) {
      route->Reverse();  // its change 0 makes the leg finder choose again
    }
    const RouteLegMatch match = route->FindLeg(fix.latitude, fix.longitude);
    if (match.target == nullptr) return;
    target_.distance_to_route_end = match.distance_to_end;
    if (match.target != target_.point) {
      target_.point = match.target;
      target_.leg_start = match.leg_start;
      target_.direction = UnitVector{};
      target_.plane.SetOrigin(match.target->latitude, match.target->longitude);
      target_.leg_length =
          match.leg_start != nullptr
              ? target_.plane.DistanceTo(match.leg_start->latitude, match.leg_start->longitude)
              : 0.0;
    }
  }
  UpdateOffset(fix.latitude, fix.longitude);
  TellNavigationListeners();
}

void CMarkManager::UpdateOffset(double latitude, double longitude) {
  const EastNorth position = target_.plane.Project(latitude, longitude);
  target_.offset = {-position.east_metres, -position.north_metres};
  target_.distance = std::hypot(position.east_metres, position.north_metres);
  if (target_.distance > kNearTarget) {
    target_.direction = {target_.offset.east_metres / target_.distance,
                         target_.offset.north_metres / target_.distance};
    double bearing = std::atan2(target_.offset.east_metres, target_.offset.north_metres) *
                     180.0 / M_PI;
    if (bearing < 0) bearing += 360.0;
    target_.bearing = bearing;
  } else {
    target_.direction = UnitVector{};
  }
}

void CMarkManager::ForgetObject(const COverlayObject* object) {
  if (object == target_.mark || object == target_.route || object == target_.point) {
    ClearTarget();
  }
  if (object == target_.leg_start) target_.leg_start = nullptr;
  if (object == creating_) creating_ = nullptr;
}

void CMarkManager::OnEvent(COverlayObject& object) {
  const int32_t code = object.change_code;
  const bool is_target_point = target_.point != nullptr && &object == target_.point;
  const bool is_target_route = target_.route != nullptr && &object == target_.route;
  if (code == COverlayObject::kGoingAway) {
    if (is_target_point || is_target_route) ClearTarget();
    if (creating_ != nullptr && &object == creating_) creating_ = nullptr;
    return;
  }
  if (code != COverlayObject::kAppeared) return;
  if (is_target_route) {
    target_.route->legs.clear();
    target_.point = nullptr;
    target_.leg_start = nullptr;
  } else if (is_target_point) {
    target_.plane.SetOrigin(target_.point->latitude, target_.point->longitude);
    const bool has_direction = target_.direction.east != 0 || target_.direction.north != 0;
    if (has_direction && last_fix_) UpdateOffset(last_fix_->lat, last_fix_->lon);
  }
}
