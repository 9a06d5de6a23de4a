#include "overlays/model/ui/route_action_sheet.h"

#include <utility>
#include <vector>

#include "core/ui/message_boxes.h"
#include "overlays/model/ui/mark_action_sheet.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/nearest_object.h"
#include "overlays/model/notify_callback.h"
#include "overlays/model/ui/overlay_action_sheet.h"
#include "overlays/model/overlay_route_online.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/track_manager.h"

namespace {

using Sheet = COverlayActionSheet;
constexpr size_t kAskBeforeDeletingFrom = 3;  // points

COverlayMark& PointOf(void* object) { return *static_cast<COverlayMark*>(object); }
COverlayRoute& RouteOf(void* object) { return *static_cast<COverlayRoute*>(object); }
CMarkManager* Manager() { return CMarkManager::Instance(); }

// The point is the navigation target, or its route is the navigation route.
bool IsTarget(const COverlayMark& point) {
  return point.is_target || (point.parent != nullptr && point.parent->is_navigation);
}

void CancelNavigation(void*) {
  if (CMarkManager* manager = Manager()) manager->ClearTarget();
}

// Route sheet.

void FollowRoute(void* object) {
  if (CMarkManager* manager = Manager()) manager->SetNavigationRoute(PointOf(object).parent);
}

void DeleteRoute(void* object) {
  COverlayRoute* route = PointOf(object).parent;
  if (route->points.size() < kAskBeforeDeletingFrom) {
    route->Delete();
    return;
  }
  AskYesNo(
      nullptr, route, "Delete route", "Are you sure?",
      [](void* context, int) { static_cast<COverlayRoute*>(context)->Delete(); }, nullptr);
}

void RouteOperations(void* object) { CRouteActionSheet::OpenOperations(*PointOf(object).parent); }
void PointOperations(void* object) { CRouteActionSheet::OpenPoint(PointOf(object)); }

constexpr Sheet::Row kRouteRows[] = {
    {"Follow Route", FollowRoute},
    {"Cancel Navigation", CancelNavigation},
    {"Edit Route", nullptr},
    {"Delete Route", DeleteRoute},
    {"Route Operations...", RouteOperations},
    {"Waypoint Operations...", PointOperations},
};

// Route operations sheet.

void Reverse(void* object) { RouteOf(object).Reverse(); }
void Optimise(void* object) { CRouteActionSheet::OpenRouting(RouteOf(object)); }

void ConvertToTrack(void* object) {
  CTrackManager* tracks = CTrackManager::Instance();
  if (tracks == nullptr) return;
  COverlayRoute& route = RouteOf(object);
  auto track = std::make_unique<COverlayTrack>();
  track->name = route.name + "-converted";
  route.AppendToTrack(*track);
  tracks->AddTrack(std::move(track))->AnnounceSections(COverlayObject::kAppeared);
  route.Delete();
}

void Download(COverlayRoute& route, bool polygon) {
  COverlayShell* shell = COverlayShell::Get();
  if (shell == nullptr) return;
  std::vector<std::pair<double, double>> points;
  route.GetPoints(points);
  shell->DownloadChartData(points, polygon);
}
void DownloadAlong(void* object) { Download(RouteOf(object), false); }
void DownloadEnclosed(void* object) { Download(RouteOf(object), true); }

constexpr Sheet::Row kOperationRows[] = {
    {"Reverse route", Reverse},
    {"Optimize route...", Optimise},
    {"Convert to Track", ConvertToTrack},
    {"Download map along route", DownloadAlong},
    {"Download enclosed map", DownloadEnclosed},
};

// Routing sheet.

void Route(void* object, const char* mode, bool tip) {
  if (tip) ShowOptimiseRouteTip();
  COverlayRoute::OptimiseOnline(RouteOf(object), mode);
}
void ForWalking(void* object) { Route(object, "walking", true); }
void ForCycling(void* object) { Route(object, "bicycling", true); }
void ForDriving(void* object) { Route(object, "driving", false); }
void Revert(void* object) { Route(object, "revert", false); }

constexpr Sheet::Row kRoutingRows[] = {
    {"Route for Walking", ForWalking},
    {"Route for Cycling", ForCycling},
    {"Route for Driving", ForDriving},
    {"Revert to original", Revert},
};

// Route point sheet.

void DeletePoint(void* object) { CMarkActionSheet::AskDeleteMark(PointOf(object)); }

void GoToPoint(void* object) {
  if (CMarkManager* manager = Manager()) manager->SetTarget(&PointOf(object));
}

void InsertPoints(void* object) {
  CMarkManager* manager = Manager();
  if (manager == nullptr) return;
  COverlayMark& point = PointOf(object);
  COverlayRoute* route = point.parent;
  manager->StartRouteCreation(route, route->IndexOf(&point) + 1);
  route->NotifyChange(COverlayObject::kAppeared);
}

void Split(void* object) { PointOf(object).parent->SplitAt(&PointOf(object)); }
void OpenLink(void* object) { CMarkActionSheet::OpenLink(PointOf(object)); }

void JoinRoute(void* object) {
  COverlayMark& point = PointOf(object);
  COverlayRoute* route = point.parent;
  if (COverlayRoute* onto = CRouteActionSheet::RouteToJoinOnto(point)) onto->Join(*route);
}

constexpr Sheet::Row kPointRows[] = {
    {"Delete Waypoint", DeletePoint},
    {"Go-To Point", GoToPoint},
    {"Cancel Navigation", CancelNavigation},
    {"Insert Waypoint", InsertPoints},
    {"Edit Waypoint", nullptr},
    {"Split Route", Split},
    {"Open Link", OpenLink},
    {"Join Route", JoinRoute},
};

}  // namespace

COverlayRoute* CRouteActionSheet::RouteToJoinOnto(const COverlayMark& point) {
  CMarkManager* manager = Manager();
  if (manager == nullptr) return nullptr;
  return NearestObject(manager->routes, point.latitude, point.longitude,
                       [&](const COverlayRoute& route) -> std::optional<GeoPoint> {
                         if (&route == point.parent || !route.live || route.points.empty()) {
                           return std::nullopt;
                         }
                         return GeoPoint{route.points.back()->latitude,
                                         route.points.back()->longitude};
                       });
}

std::unique_ptr<CActionSheetMenu> CRouteActionSheet::Build(COverlayMark& point) {
  const bool target = IsTarget(point);
  const uintptr_t states[] = {
      Sheet::ShownIf(!target),         Sheet::ShownIf(target),
      CActionSheetMenu::kRowShown,     CActionSheetMenu::kRowDestructive,
      CActionSheetMenu::kRowShown,     CActionSheetMenu::kRowShown,
  };
  return Sheet::Build(point.parent->name, kRouteRows, states, &point);
}

std::unique_ptr<CActionSheetMenu> CRouteActionSheet::BuildOperations(COverlayRoute& route) {
  COverlayShell* shell = COverlayShell::Get();
  const uintptr_t download = Sheet::ShownIf(shell != nullptr && shell->CanDownloadChartData());
  const uintptr_t states[] = {
      CActionSheetMenu::kRowShown, CActionSheetMenu::kRowShown,
      Sheet::ShownIf(CTrackManager::Instance() != nullptr), download, download,
  };
  return Sheet::Build(route.name, kOperationRows, states, &route);
}

std::unique_ptr<CActionSheetMenu> CRouteActionSheet::BuildRouting(COverlayRoute& route) {
  return Sheet::Build(route.name, kRoutingRows, {}, &route);
}

std::unique_ptr<CActionSheetMenu> CRouteActionSheet::BuildPoint(COverlayMark& point) {
  const COverlayRoute& route = *point.parent;
  const bool first = !route.points.empty() && route.points.front().get() == &point;
  const bool last = !route.points.empty() && route.points.back().get() == &point;
  const uintptr_t states[] = {
      CActionSheetMenu::kRowDestructive,
      Sheet::ShownIf(!point.is_target),
      Sheet::ShownIf(point.is_target),
      CActionSheetMenu::kRowShown,
      CActionSheetMenu::kRowShown,
      Sheet::ShownIf(!first && !last),
      Sheet::ShownIf(!point.link.empty()),
      Sheet::ShownIf(first && RouteToJoinOnto(point) != nullptr),
  };
  return Sheet::Build(point.name, kPointRows, states, &point);
}

bool CRouteActionSheet::Open(COverlayMark& point) {
  return point.parent != nullptr && Sheet::Show(*Build(point));
}

bool CRouteActionSheet::OpenOperations(COverlayRoute& route) {
  CMarkManager* manager = Manager();
  if (manager != nullptr && manager->route_being_created() != nullptr) FireNotifyCallback();
  return Sheet::Show(*BuildOperations(route));
}

bool CRouteActionSheet::OpenRouting(COverlayRoute& route) {
  return Sheet::Show(*BuildRouting(route));
}

bool CRouteActionSheet::OpenPoint(COverlayMark& point) {
  return point.parent != nullptr && Sheet::Show(*BuildPoint(point));
}
