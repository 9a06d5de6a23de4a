#include "viewer_lib/overlay_list_delegate.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

#include "core/persistant_data.h"
#include "core/ui/message_boxes.h"
#include "geodesy/local_projection.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/ui/overlay_action_sheet.h"
#include "platform/os/numbers.h"
#include "platform/ui/common_dialogs.h"
#include "viewer_lib/menu_tree.h"
#include "viewer_lib/overlay_gpx_file.h"

namespace {

COverlayListView* current_view = nullptr;

// A sort key with the object's place in its list: sorting these pairs orders by the key and
// keeps the list order among equal keys.
struct Keyed {
  double key;
  size_t index;
  bool operator<(const Keyed& other) const {
    return key < other.key || (key == other.key && index < other.index);
  }
};

// The objects of the list that are not deletion records, by name (byte-wise, a prefix first),
// equal names in list order.
template <class T>
void ByName(const std::vector<std::unique_ptr<T>>& list, std::vector<COverlayObject*>& out) {
  std::vector<T*> live;
  live.reserve(list.size());
  for (const auto& object : list) {
    if (!object->deleted) live.push_back(object.get());
  }
  std::stable_sort(live.begin(), live.end(),
                   [](const T* a, const T* b) { return a->name < b->name; });
  out.insert(out.end(), live.begin(), live.end());
}

// The objects that are not deletion records, ordered by key(object) (nothing: left out).
template <class T, class Key>
void ByKey(const std::vector<std::unique_ptr<T>>& list, Key key,
           std::vector<COverlayObject*>& out) {
  std::vector<Keyed> keyed;
  keyed.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->deleted) continue;
    if (const std::optional<double> k = key(*list[i])) keyed.push_back({*k, i});
  }
  std::sort(keyed.begin(), keyed.end());
  for (const Keyed& k : keyed) out.push_back(list[k.index].get());
}

// The squared distance from the own position in its plane; every distance is 0 while the
// position is unknown (factors 0). Squares order as the distances do.
double DistanceSquared(const CLocalProjection& own, double lat, double lon) {
  const double north = (lat - own.origin_lat()) * own.north_factor();
  const double east = (lon - own.origin_lon()) * own.east_factor();
  return north * north + east * east;
}

void SetSort(int sort) {
  CMarkManager::Persistant& settings = CMarkManager::Settings();
  settings.sort = sort;
  settings.MarkDirty();
  PersistantData::SaveAll();
}

}  // namespace

COverlayListView::~COverlayListView() {
  if (current_view == this) current_view = nullptr;
}

COverlayListView* COverlayListView::Current() { return current_view; }

void COverlayListView::SetCurrent(COverlayListView* view) { current_view = view; }

void SortMarksForList(const std::vector<std::unique_ptr<COverlayMark>>& marks, int sort,
                      const CLocalProjection& own, std::vector<COverlayObject*>& out) {
  out.reserve(out.size() + marks.size());
  if (sort == 1) {
    ByKey(marks, [](const COverlayMark& m) { return std::optional<double>(-m.modified); }, out);
  } else if (sort == 2) {
    ByKey(marks,
          [&](const COverlayMark& m) {
            return std::optional<double>(DistanceSquared(own, m.latitude, m.longitude));
          },
          out);
  } else {
    ByName(marks, out);
  }
}

void SortRoutesForList(const std::vector<std::unique_ptr<COverlayRoute>>& routes, int sort,
                       const CLocalProjection& own, std::vector<COverlayObject*>& out) {
  out.reserve(out.size() + routes.size());
  if (sort == 1) {
    ByKey(routes, [](const COverlayRoute& r) { return std::optional<double>(-r.created); }, out);
  } else if (sort == 2) {
    // Routes with points are compared by distance, and by name with routes without points.
    // Mixed so, the comparison is no order (A nearer than B, B before C by name, C before A by
    // name), so the routes with points are ordered by distance, those without by name, and the
    // two rows are merged by name: a route without points goes before the first route (in
    // distance order) whose name follows its own.
    std::vector<COverlayObject*> near;
    ByKey(routes,
          [&](const COverlayRoute& r) -> std::optional<double> {
            if (r.points.empty()) return std::nullopt;
            return DistanceSquared(own, r.points.front()->latitude, r.points.front()->longitude);
          },
          near);
    std::vector<COverlayObject*> without;
    for (const auto& route : routes) {
      if (!route->deleted && route->points.empty()) without.push_back(route.get());
    }
    auto by_name = [](const COverlayObject* a, const COverlayObject* b) {
      return static_cast<const COverlayRoute*>(a)->name < static_cast<const COverlayRoute*>(b)->name;
    };
    std::stable_sort(without.begin(), without.end(), by_name);
    size_t next = 0;
    for (COverlayObject* route : near) {
      while (next < without.size() && by_name(without[next], route)) out.push_back(without[next++]);
      out.push_back(route);
    }
    out.insert(out.end(), without.begin() + static_cast<std::ptrdiff_t>(next), without.end());
  } else {
    ByName(routes, out);
  }
}

std::unique_ptr<CActionSheetMenu> BuildSortSheet() {
  static const char* const kOrders[] = {"By Name", "By Date", "Distance"};
  auto sheet = std::make_unique<CMenuTree>("Overlay Sort...", nullptr, nullptr, 0);
  const int current = CMarkManager::Settings().sort;
  for (int i = 0; i < 3; ++i) {
    sheet->AddItem(kOrders[i],
                   [](void* order) { SetSort(static_cast<int>(reinterpret_cast<intptr_t>(order))); },
                   i == current ? CActionSheetMenu::kRowSelected : CActionSheetMenu::kRowShown,
                   reinterpret_cast<void*>(static_cast<intptr_t>(i)));
  }
  return sheet;
}

void LoadSavedData(QWidget* owner) {
  const std::optional<std::string> path = vd::ui::GetOpenFilePath(
      owner, "Load saved data", "GPX files (*.gpx)|*.gpx|All files (*.*)|*.*||");
  if (!path) return;
  if (!ImportGpxDocument(*path)) {
    ShowMessageBox(owner, "Error", "Failed to read XML file: " + *path);
  }
}

std::unique_ptr<CActionSheetMenu> BuildListSheet(const std::string& title,
                                                 const COverlayListMenuRow* rows, size_t count,
                                                 void* delegate) {
  auto sheet = std::make_unique<CMenuTree>(title, delegate, nullptr, 0);
  for (size_t i = 0; i < count; ++i) {
    sheet->AddItem(rows[i].text, rows[i].operation, rows[i].state, delegate);
  }
  return sheet;
}

bool ShowListSheet(const CActionSheetMenu& sheet) { return COverlayActionSheet::Show(sheet); }

void ShowInCurrentView(const CSyncable& object) {
  COverlayListView* view = COverlayListView::Current();
  CGeoBounds box;
  if (view != nullptr && object.ExtendBounds(box)) view->ZoomToRect(box);
}
