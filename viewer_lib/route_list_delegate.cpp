#include "viewer_lib/route_list_delegate.h"

#include "core/ui/message_boxes.h"
#include "geodesy/default_units.h"
#include "overlays/model/mark_manager.h"
#include "platform/os/numbers.h"
#include "viewer_lib/overlay_list_rows.h"
#include "viewer_lib/overlay_sync.h"

namespace {

CRouteListDelegate& Self(void* delegate) { return *static_cast<CRouteListDelegate*>(delegate); }

void DeleteAll(void* delegate) {
  AskYesNo(Self(delegate).owner, delegate, "Delete All Routes", "Are you sure?",
           overlay_list_rows::DeleteAll<&CMarkManager::routes, &CMarkManager::DeleteRoute>, nullptr);
}

void SaveAll(void* delegate) {
  overlay_list_rows::SaveAll<&CMarkManager::routes>(Self(delegate).owner, "routes.gpx");
}

void Load(void* delegate) { LoadSavedData(Self(delegate).owner); }

using overlay_list_rows::ForAll;
using overlay_list_rows::Sort;
void Sync(void* delegate) { OverlaySync_Run(Self(delegate).owner); }

const COverlayListMenuRow kListMenu[] = {
    {"Delete all routes", DeleteAll, CActionSheetMenu::kRowDestructive},
    {"Save all routes", SaveAll, CActionSheetMenu::kRowShown},
    {"Load saved data", Load, CActionSheetMenu::kRowShown},
    {"Lock all routes", ForAll<&CMarkManager::LockAllRoutes, true>, CActionSheetMenu::kRowShown},
    {"Unlock all routes", ForAll<&CMarkManager::LockAllRoutes, false>,
     CActionSheetMenu::kRowShown},
    {"Show all routes", ForAll<&CMarkManager::ShowAllRoutes, true>, CActionSheetMenu::kRowShown},
    {"Hide all routes", ForAll<&CMarkManager::ShowAllRoutes, false>, CActionSheetMenu::kRowShown},
    {"Make all rts syncable", ForAll<&CMarkManager::SetAllRoutesNotSyncable, false>,
     CActionSheetMenu::kRowShown},
    {"Make all rts non-syncable", ForAll<&CMarkManager::SetAllRoutesNotSyncable, true>,
     CActionSheetMenu::kRowShown},
    {"Sort", Sort, CActionSheetMenu::kRowShown},
    {"Cloud Sync", Sync, CActionSheetMenu::kRowShown},
};

void ViewCurrent(void* delegate) {
  if (COverlayRoute* object = Self(delegate).current()) ShowInCurrentView(*object);
}

void DeleteCurrent(void* delegate) {
  COverlayRoute* route = Self(delegate).current();
  CMarkManager* manager = CMarkManager::Instance();
  if (route != nullptr && manager != nullptr) manager->DeleteRoute(route);
}

}  // namespace

void CRouteListDelegate::Populate(std::vector<COverlayObject*>& list) {
  if (const CMarkManager* manager = CMarkManager::Instance()) {
    SortRoutesForList(manager->routes, CMarkManager::Settings().sort, manager->own_position(),
                      list);
  }
  needs_rebuild = false;
}

void CRouteListDelegate::GetRowText(COverlayObject& object, COverlayListRow& row) {
  auto& route = static_cast<COverlayRoute&>(object);
  row.title = route.name;
  row.detail = "  ";
  CDefaultUnits::Global().AppendValueText(route.GetLength(), row.detail);
  row.detail += vd::os::FormatC(", %d points", static_cast<int>(route.points.size()));
  row.flag = true;
}

void CRouteListDelegate::OnSelectRow(COverlayListView*, COverlayObject* object) {
  current_ = static_cast<COverlayRoute*>(object);
}

void CRouteListDelegate::ShowListMenu(QWidget*) { ShowListSheet(*BuildListMenu()); }

void CRouteListDelegate::ShowRowMenu(QWidget*, COverlayObject* object) {
  if (object != nullptr) ShowListSheet(*BuildRowMenu(static_cast<COverlayRoute&>(*object)));
}

std::unique_ptr<CActionSheetMenu> CRouteListDelegate::BuildListMenu() {
  return BuildListSheet("Routes menu", kListMenu, std::size(kListMenu), this);
}

std::unique_ptr<CActionSheetMenu> CRouteListDelegate::BuildRowMenu(COverlayRoute& route) {
  current_ = &route;
  const COverlayListMenuRow rows[] = {
      {"Edit", nullptr, CActionSheetMenu::kRowShown},
      {"View", ViewCurrent, CActionSheetMenu::kRowShown},
      {"Delete", DeleteCurrent, CActionSheetMenu::kRowDestructive},
  };
  return BuildListSheet(route.name, rows, std::size(rows), this);
}

void CRouteListDelegate::OnEvent(COverlayObject& object) {
  if (&object == current_ && object.change_code == COverlayObject::kGoingAway) current_ = nullptr;
  if (object.kind == COverlayObject::kRoute) needs_rebuild = true;
}
