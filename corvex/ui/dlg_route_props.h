#pragma once
// The property window of a route: its points with the course and distance of each leg, the
// totals and the estimated time, the line style, leg labels, Reverse, and the route card.
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

#include "core/persistent_value.h"
#include "corvex/ui/object_props_dialog.h"
#include "corvex/ui/route_card_writer.h"
#include "overlays/obj_route.h"

class QTreeWidgetItem;

class CDlgRouteProps : public CObjectPropsDialog {
 public:
  static constexpr int kTemplate = 135;
  static constexpr int kPointList = 1001;
  static constexpr int kDistanceText = 1002;
  static constexpr int kAreaText = 1003;
  static constexpr int kAscentText = 1004;
  static constexpr int kDescentText = 1005;
  static constexpr int kTimeText = 1006;
  static constexpr int kReverseButton = 1007;
  static constexpr int kLabelLegsCheck = 1008;
  static constexpr int kRouteCardButton = 1009;
  static constexpr int kSettingsButton = 1010;  // "Settings...": the modal route settings
  // The route card's pictures: the overview map's largest side, the profile's size (pixels).
  static constexpr int kOverviewMapSize = 1600;
  static constexpr int kProfileWidth = 1000;
  static constexpr int kProfileHeight = 200;

  // The route card options, the binary setting "routeprops".
  struct s_RoutePropsSettings {
    int32_t overview_map = 1;
    int32_t elevation_profile = 1;
    int32_t thumbnails = 1;
    int32_t only_labelled = 0;
    int32_t thumbnail_height = 70;  // pixels
  };

  // Without a parent the window is not made: the route card command uses the totals only.
  CDlgRouteProps(CObjRoute* route, QWidget* parent);
  // Keeps the list's column widths for the next route window; saves the card options.
  ~CDlgRouteProps() override;

  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Also works out the totals, with or without a window.
  void Refresh() override;
  std::string HelpTopic() const override { return "Route_Properties"; }

  // Writes the route card from the template of the setting "rt_template2"; the card's path, or
  // nothing after telling the user why not.
  std::optional<std::string> WriteRouteCard();

  // The totals as shown (Refresh fills them).
  const RouteCardData& totals() const { return totals_; }
  s_RoutePropsSettings& card_options() { return options_.value; }

 protected:
  void OnControl(int id, int code) override;

 private:
  CObjRoute& route() const { return *static_cast<CObjRoute*>(object()); }
  void FillList();
  // The time estimate's speed and climbing rates from the settings.
  void ReadEstimateSettings();
  void OnItemChanged(QTreeWidgetItem* item, int column);
  void OnItemDoubleClicked(QTreeWidgetItem* item);

  PersistentData<s_RoutePropsSettings> options_{"routeprops"};
  RouteCardData totals_;
  bool filling_ = false;
  // The list's column widths for the rest of the run.
  static std::array<int, 4> column_widths_;
};
