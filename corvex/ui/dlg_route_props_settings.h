#pragma once
// The route window's settings: the speed and climbing rates of the time estimate, the route
// card's template and what the card includes. OK stores the estimate and the template in the
// profile ("rt_est_speed", "rt_est_ascent", "rt_est_descent" in thousandths, "rt_template2")
// and the inclusions in the card options given; a number that does not read keeps its stored
// value.
#include <string>

#include "core/ui/dialog_f1_help.h"
#include "corvex/ui/dlg_route_props.h"

class CDlgRoutePropsSettings : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 192;
  static constexpr int kSpeedEdit = 1001;
  static constexpr int kSpeedUnitText = 1002;
  static constexpr int kAscentEdit = 1003;   // minutes per 10 m
  static constexpr int kDescentEdit = 1004;  // minutes per 10 m
  static constexpr int kTemplateEdit = 1005;
  static constexpr int kBrowseButton = 1006;  // "..."
  static constexpr int kOverviewCheck = 1007;
  static constexpr int kProfileCheck = 1008;
  static constexpr int kThumbnailsCheck = 1009;
  static constexpr int kLabelledOnlyCheck = 1010;

  CDlgRoutePropsSettings(CDlgRouteProps::s_RoutePropsSettings& options, QWidget* parent);

  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;
  std::string HelpTopic() const override { return "Route_Settings"; }

  // The template the route card is made from: the setting, else the one beside the program.
  static std::string TemplatePath();

 private:
  CDlgRouteProps::s_RoutePropsSettings& options_;
  double speed_factor_ = 1.0;  // shown speed per knot
};
