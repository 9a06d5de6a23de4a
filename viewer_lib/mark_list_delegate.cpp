#include "viewer_lib/mark_list_delegate.h"

#include "app/time_value.h"
#include "core/ui/message_boxes.h"
#include "geodesy/default_units.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "viewer_lib/overlay_list_rows.h"
#include "viewer_lib/overlay_sync.h"

namespace {

CMarkListDelegate& Self(void* delegate) { return *static_cast<CMarkListDelegate*>(delegate); }

void DeleteAll(void* delegate) {
  AskYesNo(Self(delegate).owner, delegate, "Delete All Marks", "Are you sure?",
           overlay_list_rows::DeleteAll<&CMarkManager::marks, &CMarkManager::DeleteMark>, nullptr);
}

void SaveAll(void* delegate) {
  overlay_list_rows::SaveAll<&CMarkManager::marks>(Self(delegate).owner, "marks.gpx");
}

void Load(void* delegate) { LoadSavedData(Self(delegate).owner); }

using overlay_list_rows::ForAll;
using overlay_list_rows::Sort;
void Sync(void* delegate) { OverlaySync_Run(Self(delegate).owner); }

const COverlayListMenuRow kListMenu[] = {
    {"Delete all marks", DeleteAll, CActionSheetMenu::kRowDestructive},
    {"Save all marks", SaveAll, CActionSheetMenu::kRowShown},
    {"Load saved data", Load, CActionSheetMenu::kRowShown},
    {"Lock all marks", ForAll<&CMarkManager::LockAllMarks, true>, CActionSheetMenu::kRowShown},
    {"Unlock all marks", ForAll<&CMarkManager::LockAllMarks, false>, CActionSheetMenu::kRowShown},
    {"Show all marks", ForAll<&CMarkManager::ShowAllMarks, true>, CActionSheetMenu::kRowShown},
    {"Hide all marks", ForAll<&CMarkManager::ShowAllMarks, false>, CActionSheetMenu::kRowShown},
    {"Make all syncable", ForAll<&CMarkManager::SetAllMarksNotSyncable, false>,
     CActionSheetMenu::kRowShown},
    {"Make all non-syncable", ForAll<&CMarkManager::SetAllMarksNotSyncable, true>,
     CActionSheetMenu::kRowShown},
    {"Sort", Sort, CActionSheetMenu::kRowShown},
    {"Cloud Sync", Sync, CActionSheetMenu::kRowShown},
};

void ViewCurrent(void* delegate) {
  if (COverlayMark* object = Self(delegate).current()) ShowInCurrentView(*object);
}

void DeleteCurrent(void* delegate) {
  COverlayMark* mark = Self(delegate).current();
  CMarkManager* manager = CMarkManager::Instance();
  if (mark != nullptr && manager != nullptr) manager->DeleteMark(mark);
}

}  // namespace

void CMarkListDelegate::Populate(std::vector<COverlayObject*>& list) {
  if (const CMarkManager* manager = CMarkManager::Instance()) {
    SortMarksForList(manager->marks, CMarkManager::Settings().sort, manager->own_position(),
                     list);
  }
  needs_rebuild = false;
}

void CMarkListDelegate::GetRowText(COverlayObject& object, COverlayListRow& row) {
  auto& mark = static_cast<COverlayMark&>(object);
  row.title = mark.name;
  row.detail = "  " + FormatShortDate(TimeTo1970(mark.created));
  const CMarkManager* manager = CMarkManager::Instance();
  if (manager != nullptr && manager->own_position().north_factor() != 0.0) {
    const RangeBearing rb = manager->own_position().RangeBearingTo(mark.latitude, mark.longitude);
    row.detail += ' ';
    CDefaultUnits::Global().AppendValueText(rb.range_metres, row.detail);
    row.detail += ' ';
    CDefaultUnits::Global().AppendBearingText(static_cast<float>(rb.bearing_degrees), row.detail);
  }
  row.flag = true;
}

void CMarkListDelegate::OnSelectRow(COverlayListView*, COverlayObject* object) {
  current_ = static_cast<COverlayMark*>(object);
}

void CMarkListDelegate::ShowListMenu(QWidget*) { ShowListSheet(*BuildListMenu()); }

void CMarkListDelegate::ShowRowMenu(QWidget*, COverlayObject* object) {
  if (object != nullptr) ShowListSheet(*BuildRowMenu(static_cast<COverlayMark&>(*object)));
}

std::unique_ptr<CActionSheetMenu> CMarkListDelegate::BuildListMenu() {
  return BuildListSheet("Marks menu", kListMenu, std::size(kListMenu), this);
}

std::unique_ptr<CActionSheetMenu> CMarkListDelegate::BuildRowMenu(COverlayMark& mark) {
  current_ = &mark;
  const COverlayListMenuRow rows[] = {
      {"Edit", nullptr, CActionSheetMenu::kRowShown},
      {"View", ViewCurrent, CActionSheetMenu::kRowShown},
      {"Delete", DeleteCurrent, CActionSheetMenu::kRowDestructive},
  };
  return BuildListSheet(mark.name, rows, std::size(rows), this);
}

void CMarkListDelegate::OnEvent(COverlayObject& object) {
  if (&object == current_ && object.change_code == COverlayObject::kGoingAway) current_ = nullptr;
  if (object.kind == COverlayObject::kMark) needs_rebuild = true;
}
