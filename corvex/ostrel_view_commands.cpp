// The chart view's menu commands and its menus: the map context menu with the charts under the
// mouse, and the object choice menu.
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "overlays/outline/old_chart_outline.h"
#include "app/app_common.h"
#include "corvex/command_ids.h"
#include "corvex/menu_resource.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_text.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/folders.h"
#include "platform/ui/popup_menu.h"

namespace {

// "Search for downloadable maps" of the area in view.
constexpr int kCmdMapShop = 33656;

// Where the map context menu takes the charts under the mouse.
constexpr size_t kMapsAtCursorPosition = 7;
constexpr size_t kMergeMapPosition = 8;
// Scale ratios of a chart that can be merged into the one shown.
constexpr double kMergeRatioLow = 0.5001;
constexpr double kMergeRatioHigh = 1.9999;

bool InRange(int id, int first, int count) { return id >= first && id < first + count; }

std::string ViewMenuPath() {
  const CAppCommon* app = CAppCommon::Instance();
  const std::string folder =
      app && !app->program_folder.empty() ? app->program_folder : vd::os::ProgramFolder();
  return folder + "/resources/menus/corvex_context.menu";
}

// The entries of a view menu's first popup.
std::optional<std::vector<CMenuEntry>> LoadViewMenuEntries(int menu_id) {
  std::optional<CMenuResource> resource = LoadMenuResource(ViewMenuPath(), menu_id);
  if (!resource) return std::nullopt;
  for (CMenuEntry& entry : resource->entries) {
    if (entry.kind == CMenuEntry::kPopup) return std::move(entry.children);
  }
  return std::nullopt;
}

void AppendEntries(vd::ui::PopupMenu& menu, const std::vector<CMenuEntry>& entries) {
  for (const CMenuEntry& entry : entries) {
    switch (entry.kind) {
      case CMenuEntry::kSeparator:
        menu.AppendSeparator();
        break;
      case CMenuEntry::kPopup:
        AppendEntries(menu.AppendSubmenu(entry.text), entry.children);
        break;
      case CMenuEntry::kItem:
        menu.AppendItem(entry.id, entry.text);
        break;
    }
  }
}

template <class Update>
void CopyWithStates(const vd::ui::PopupMenu& from, vd::ui::PopupMenu& to, const Update& update) {
  for (const vd::ui::PopupMenu::Item& item : from.items()) {
    if (item.separator) {
      to.AppendSeparator();
    } else if (item.submenu) {
      CopyWithStates(*item.submenu, to.AppendSubmenu(item.text), update);
    } else if (CCmdUI ui; update(item.id, ui)) {
      const unsigned flags = (ui.checked ? vd::ui::PopupMenu::kChecked : 0u) |
                             (ui.enabled ? 0u : vd::ui::PopupMenu::kDisabled);
      to.AppendItem(item.id, ui.text.empty() ? item.text : ui.text, flags);
    } else {
      to.AppendItem(item.id, item.text, item.flags);
    }
  }
}

// Puts the items at the top of the popup at a position of the menu (nothing when the entry
// there is no popup).
void InsertAtTop(std::vector<CMenuEntry>& entries, size_t position,
                 const std::vector<CMenuEntry>& items) {
  if (position >= entries.size() || entries[position].kind != CMenuEntry::kPopup) return;
  auto& children = entries[position].children;
  children.insert(children.begin(), items.begin(), items.end());
}

template <class T>
T* As(COstrelObject* object) {
  return object && object->IsKindOf(T::kClass) ? static_cast<T*>(object) : nullptr;
}

}  // namespace

// ---- Menus ----

std::unique_ptr<vd::ui::PopupMenu> COstrelView::LoadViewMenu(int menu_id) {
  std::optional<std::vector<CMenuEntry>> entries = LoadViewMenuEntries(menu_id);
  if (!entries) return nullptr;
  auto menu = std::make_unique<vd::ui::PopupMenu>();
  AppendEntries(*menu, *entries);
  return menu;
}

std::unique_ptr<vd::ui::PopupMenu> COstrelView::WithCommandStates(const vd::ui::PopupMenu& menu) {
  auto* document_commands = dynamic_cast<CCommandTarget*>(&document_);
  auto copy = std::make_unique<vd::ui::PopupMenu>();
  CopyWithStates(menu, *copy, [&](int id, CCmdUI& ui) {
    return OnUpdateCommand(id, ui) ||
           (document_commands && document_commands->OnUpdateCommand(id, ui));
  });
  return copy;
}

std::unique_ptr<vd::ui::PopupMenu> COstrelView::ObjectChoiceMenu(
    const std::vector<COstrelObject*>& objects) {
  auto menu = std::make_unique<vd::ui::PopupMenu>();
  // The resource's first item only stands for the objects.
  if (std::optional<std::vector<CMenuEntry>> entries = LoadViewMenuEntries(kObjectChoiceMenu);
      entries && !entries->empty()) {
    entries->erase(entries->begin());
    AppendEntries(*menu, *entries);
  }
  const size_t count = std::min<size_t>(objects.size(), kMaxObjectChoices);
  for (size_t i = 0; i < count; ++i) {
    menu->AppendItem(kCmdObjectChoiceFirst + static_cast<int>(i),
                     CCategory::GetNameOr(objects[i]->category()) + ": " + objects[i]->name);
  }
  return menu;
}

void COstrelView::ShowMapContextMenu(vd::ui::Point client) {
  // The charts whose outline holds the mouse, most nautical miles per pixel first.
  std::vector<COldChartOutline*> outlines = OutlinesAt(cursor_chart_);
  SortOutlinesByScale(outlines);
  if (outlines.size() > size_t(kMaxMapsAtCursor)) outlines.resize(kMaxMapsAtCursor);

  maps_at_cursor_.clear();
  std::vector<CMenuEntry> maps;
  std::vector<CMenuEntry> merges;
  const double own_scale = outline_ ? outline_->scale : 0.0;
  for (size_t i = 0; i < outlines.size(); ++i) {
    const COldChartOutline& outline = *outlines[i];
    const bool current = &outline == outline_;
    const std::string& title = outline.title;
    const int offset = static_cast<int>(i);
    const double ratio = own_scale > 0 ? outline.scale / own_scale : 0.0;
    const bool mergeable = !current && offset < kMaxMergeMaps && !outline.IsChunkStore() &&
                           !outline.IsMerged() && ratio >= kMergeRatioLow &&
                           ratio < kMergeRatioHigh;
    maps_at_cursor_.push_back({outline.chart_path, title, current, mergeable});
    // Each goes on top of the ones before it.
    maps.insert(maps.begin(), {CMenuEntry::kItem, kCmdMapsAtCursorFirst + offset, title, {}});
    if (mergeable) {
      merges.insert(merges.begin(), {CMenuEntry::kItem, kCmdMergeMapFirst + offset, title, {}});
    }
  }

  std::optional<std::vector<CMenuEntry>> entries = LoadViewMenuEntries(kMapContextMenu);
  if (!entries) return;
  InsertAtTop(*entries, kMapsAtCursorPosition, maps);
  InsertAtTop(*entries, kMergeMapPosition, merges);
  vd::ui::PopupMenu menu;
  AppendEntries(menu, *entries);
  frame_.TrackContextMenu(menu, client);
}

// ---- Commands ----

bool COstrelView::ReadOutSetting() const {
  const auto* doc = dynamic_cast<const COstrelDoc*>(&document_);
  return doc && doc->read_out_at_cursor();
}

COstrelObject* COstrelView::ObjectBeingCreated(int id) const {
  const COstrelDocBase* doc = DocBase();
  if (!doc) return nullptr;
  if (id == kCmdNewRoute) {
    CObjRoute* route = CObjRoute::Current();
    return route && route->IsInInsertMode() && route->document() == doc ? route : nullptr;
  }
  COstrelObject* current = CurrentObject();
  switch (id) {
    case kCmdNewMark:
    case kCmdNewMarkToolbar: {
      const CObjWaypoint* mark = As<CObjWaypoint>(current);
      return mark && mark->being_placed ? current : nullptr;
    }
    case kCmdDrawTrack: {
      const CObjTrack* track = As<CObjTrack>(current);
      return track && track->drawing_state != 0 ? current : nullptr;
    }
    case kCmdAddText: {
      const CObjText* text = As<CObjText>(current);
      return text && text->edit_state == CObjText::kPlacing ? current : nullptr;
    }
    default:
      return nullptr;
  }
}

void COstrelView::EndObjectEditing(COstrelObject* object) {
  if (object) object->Deselect();  // an object never placed goes with it
  RefreshEditMode();
  UpdateCursor(last_mouse_);
}

void COstrelView::OnCreateObject(int id) {
  // The command a second time ends the object it made.
  if (COstrelObject* object = ObjectBeingCreated(id)) {
    EndObjectEditing(object);
    return;
  }
  auto* doc = dynamic_cast<COstrelDoc*>(&document_);
  if (!doc) return;
  switch (id) {
    case kCmdNewMark:
    case kCmdNewMarkToolbar:
      doc->NewMark();
      break;
    case kCmdNewRoute:
      doc->NewRoute();
      break;
    case kCmdDrawTrack:
      doc->NewTrack();
      break;
    case kCmdAddText:
      doc->NewText();
      break;
    default:
      return;
  }
  // The new object takes the next click wherever it falls.
  RefreshEditMode();
  UpdateCursor(last_mouse_);
}

bool COstrelView::OnUpdateCommand(int id, CCmdUI& ui) {
  RefreshEditMode();
  if (id == kCmdMapShop) {
    ui.enabled = chart_ != nullptr;
    return true;
  }
  if (InRange(id, kCmdObjectChoiceFirst, kMaxObjectChoices)) {
    ui.enabled = true;  // the menu returns the choice; the command itself does nothing
    return true;
  }
  if (UpdateNavigationCommand(id, ui) || UpdateChartCommand(id, ui)) return true;
  switch (id) {
    case kCmdDragMap:
      ui.enabled = true;
      ui.checked = shift_drag_ || !hovered_;
      return true;
    case kCmdNewMark:
    case kCmdNewMarkToolbar:
    case kCmdNewRoute:
    case kCmdDrawTrack:
    case kCmdAddText:
      ui.enabled = HasGeoreferencedChart() && dynamic_cast<COstrelDoc*>(&document_) != nullptr;
      ui.checked = ObjectBeingCreated(id) != nullptr;
      return true;
    case kCmdZoomInAtAnchor:
    case kCmdZoomIn:
      ui.enabled = CanZoomIn();
      return true;
    case kCmdZoomOutAtAnchor:
    case kCmdZoomOut:
      ui.enabled = CanZoomOut();
      return true;
    case kCmdReadOut:
      ui.enabled = dynamic_cast<COstrelDoc*>(&document_) != nullptr;
      ui.checked = ReadOutSetting();
      return true;
    case kCmd3DWorld:
      ui.enabled = true;
      return true;
    case kCmdRouteFlyThrough:
      ui.enabled = As<CObjRoute>(CurrentObject()) != nullptr;
      return true;
    case kCmdTrackFlyThrough:
      ui.enabled = As<CObjTrack>(CurrentObject()) != nullptr;
      return true;
    case kCmdExportImage:
    case kCmdPrintMap:
    case kCmdFilePrint:
      ui.enabled = chart_ != nullptr;
      return true;
    case kCmdPrintRoute:
      ui.enabled = HasGeoreferencedChart() && As<CObjRoute>(CurrentObject()) &&
                   As<CObjRoute>(CurrentObject())->points().size() > 1;
      return true;
    case kCmdPrintTrack:
      ui.enabled = HasGeoreferencedChart() && As<CObjTrack>(CurrentObject()) &&
                   As<CObjTrack>(CurrentObject())->points().size() > 1;
      return true;
    case kCmdPrintPages:
    case kCmdPrintPreview:
      ui.enabled = chart_ != nullptr && print_area_mode_ && !boxes_.empty();
      return true;
    case kCmdRemovePage:
      ui.enabled = print_area_mode_ && active_box_ != nullptr;
      return true;
    case kCmdCancelPrint:
      ui.enabled = print_area_mode_;
      return true;
    default:
      return false;
  }
}

bool COstrelView::OnCommand(int id) {
  CCmdUI ui;
  if (!OnUpdateCommand(id, ui)) return false;
  if (!ui.enabled) return true;  // known, but nothing to do now
  switch (id) {
    case kCmdMapShop: {
      double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
      std::vector<GeoPoint> area;
      if (GetVisibleArea(north, south, east, west))
        area = {{north, west}, {north, east}, {south, east}, {south, west}};
      document_.OpenMapShop(area, GetChartPath(), false);
      break;
    }
    case kCmdDragMap:
      EndObjectEditing(CurrentObject());
      break;
    case kCmdNewMark:
    case kCmdNewMarkToolbar:
    case kCmdNewRoute:
    case kCmdDrawTrack:
    case kCmdAddText:
      OnCreateObject(id);
      break;
    case kCmdZoomInAtAnchor:
      ZoomIn();
      break;
    case kCmdZoomOutAtAnchor:
      ZoomOut();
      break;
    case kCmdZoomIn:
      anchor_ = ClientCentre();
      ZoomIn();
      break;
    case kCmdZoomOut:
      anchor_ = ClientCentre();
      ZoomOut();
      break;
    case kCmdReadOut:
      if (auto* doc = dynamic_cast<COstrelDoc*>(&document_)) {
        doc->set_read_out_at_cursor(!doc->read_out_at_cursor());
        tip_active_ = doc->read_out_at_cursor();
      }
      break;
    case kCmd3DWorld:
      On3DWorld();
      break;
    case kCmdRouteFlyThrough:
    case kCmdTrackFlyThrough:
      OnFlyThrough(id);
      break;
    case kCmdExportImage:
      OnExportImage();
      break;
    case kCmdPrintMap:
      OnPrintMap();
      break;
    case kCmdFilePrint:
      // Pages laid out: print them; else lay out a page over the window first.
      if (print_area_mode_ && !boxes_.empty())
        PrintPages(false);
      else
        OnPrintMap();
      break;
    case kCmdPrintRoute:
    case kCmdPrintTrack:
      OnPrintObject();
      break;
    case kCmdPrintPages:
    case kCmdPrintPreview:
      PrintPages(id == kCmdPrintPreview);
      break;
    case kCmdRemovePage:
      RemoveActivePrintBox();
      break;
    case kCmdCancelPrint:
      SetPrintAreaMode(false);
      break;
    default:
      // Else an object choice: the menu hands the choice back itself.
      if (!OnNavigationCommand(id)) OnChartCommand(id);
      break;
  }
  return true;
}
