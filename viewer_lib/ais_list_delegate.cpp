#include "viewer_lib/ais_list_delegate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "gps/instruments/ais_target_manager.h"
#include "overlays/model/overlay_gps_position.h"
#include "platform/os/numbers.h"

namespace {

// Speeds of 102.3 knots and more and courses of 360 degrees and more are "not available".
constexpr double kNoSpeedKnots = 102.3;
constexpr double kNoCourse = 360.0;

}  // namespace

CAISListDelegate::CAISListDelegate() : manager_(CAISTargetManager::Instance()) {}

bool CAISListDelegate::InCpaWarning(const CAISTarget& target) {
  const CAISTargetManager::Persistant& settings = CAISTargetManager::Settings();
  const double limit =
      target.kind_text == "Class B" ? settings.cpa_classB_distance : settings.alarm_distance;
  return target.tcpa > 0 && target.tcpa <= 2.0 * settings.alarm_time && target.cpa < 2.0 * limit;
}

void CAISListDelegate::SortTargets(const CAISTargetManager& manager,
                                   std::vector<COverlayObject*>& out) {
  // (group, key, MMSI order): closing targets by CPA, then the others by distance or MMSI.
  struct Keyed {
    int group;
    double key;
    size_t index;
    CAISTarget* target;
  };
  const CLocalProjection& own = manager.own_position();
  const bool own_known = own.north_factor() != 0.0;
  std::vector<Keyed> keyed;
  keyed.reserve(manager.targets().size());
  size_t index = 0;
  for (const auto& [mmsi, target] : manager.targets()) {
    ++index;  // the map's order is by MMSI, ascending
    if (target->kind_text.empty() || !target->valid) continue;
    if (InCpaWarning(*target)) {
      keyed.push_back({0, target->cpa, index, target.get()});
    } else if (own_known) {
      const double north = (target->latitude - own.origin_lat()) * own.north_factor();
      const double east = (target->longitude - own.origin_lon()) * own.east_factor();
      keyed.push_back({1, north * north + east * east, index, target.get()});
    } else {
      keyed.push_back({1, 0.0, index, target.get()});
    }
  }
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.group != b.group) return a.group < b.group;
    if (a.key != b.key) return a.key < b.key;
    return a.index < b.index;
  });
  out.reserve(out.size() + keyed.size());
  for (const Keyed& k : keyed) out.push_back(k.target);
}

void CAISListDelegate::Populate(std::vector<COverlayObject*>& list) {
  SortTargets(manager_, list);
  needs_rebuild = false;
}

void CAISListDelegate::GetRowText(COverlayObject& object, COverlayListRow& row) {
  auto& target = static_cast<CAISTarget&>(object);
  row.title = target.name.empty() ? target.mmsi_text : target.name;
  if (InCpaWarning(target)) {
    row.title += vd::os::FormatC(" CPA %d m, %d min", static_cast<int>(target.cpa),
                                 static_cast<int>(target.tcpa * (1.0 / 60.0)));
  }
  row.detail = "  " + vd::os::FormatC("%s Speed:%.1f kts, %s", target.kind_text.c_str(),
                                      target.speed_knots, target.nav_status_name.c_str());
  if (!target.info.empty()) {
    // The information texts begin with the quoted name: what follows its closing quote.
    const size_t quote = target.info.find('"', 1);
    row.detail += quote == std::string::npos ? target.info : target.info.substr(quote + 1);
  }
  row.flag = false;
}

CGeoBounds CAISListDelegate::ZoomRectangle(const CAISTarget& target) {
  CGeoBounds box{target.latitude, target.latitude, target.longitude, target.longitude};
  if (target.speed_knots < kNoSpeedKnots && target.course >= 0 && target.course < kNoCourse) {
    // Knots times the vector's minutes over 3600: near enough degrees of the vector's reach.
    const float reach = static_cast<float>(target.speed_knots) *
                        COverlayGPSPosition::Settings().vector_scale * 0.00027777778f;
    const double course = target.course * std::numbers::pi / 180.0;
    const double north = std::fabs(reach * std::cos(course));
    const double east = std::fabs(reach * std::sin(course));
    box.min_lat -= north;
    box.max_lat += north;
    box.min_lon -= east;
    box.max_lon += east;
  }
  return box;
}

void CAISListDelegate::OnSelectRow(COverlayListView* view, COverlayObject* object) {
  if (object == nullptr) return;
  auto& target = static_cast<CAISTarget&>(*object);
  manager_.Select(&target);
  if (view == nullptr) view = COverlayListView::Current();
  if (view != nullptr) view->ZoomToRect(ZoomRectangle(target));
}
