// The route settings: stored thousandths are shown in the user's units and written back from
// them on OK, numbers that do not read keep the stored value, Cancel writes nothing.
#include "corvex/ui/dlg_route_props_settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <functional>

#include "corvex/ui/tests/props_test_world.h"
#include "platform/os/numbers.h"

namespace {

using D = CDlgRoutePropsSettings;
using Options = CDlgRouteProps::s_RoutePropsSettings;

// Runs a script over the dialog once it is shown.
class DrivenSettings : public D {
 public:
  DrivenSettings(Options& options, QWidget* parent, std::function<void(DrivenSettings&)> script)
      : D(options, parent), script_(std::move(script)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    D::OnInitDialog(focus, param);
    script_(*this);
    return true;
  }
  void Click(int id) { qobject_cast<QAbstractButton*>(GetItem(id))->click(); }

 private:
  std::function<void(DrivenSettings&)> script_;
};

class RouteSettingsTest : public ::testing::Test, public vd::test::PropsWorld {
 public:
  double SpeedFactor() const {
    std::string distance, speed;
    return app.GetSpeedUnit(distance, speed);
  }
};

TEST_F(RouteSettingsTest, ShowsStoredValuesAndWritesTheEditsOnOk) {
  Options options;
  std::string speed, ascent, descent, path;
  bool overview = false, labelled = true;
  DrivenSettings dialog(options, &parent, [&](DrivenSettings& d) {
    speed = d.GetItemText(D::kSpeedEdit);
    ascent = d.GetItemText(D::kAscentEdit);
    descent = d.GetItemText(D::kDescentEdit);
    path = d.GetItemText(D::kTemplateEdit);
    overview = qobject_cast<QCheckBox*>(d.GetItem(D::kOverviewCheck))->isChecked();
    labelled = qobject_cast<QCheckBox*>(d.GetItem(D::kLabelledOnlyCheck))->isChecked();
    d.SetItemText(D::kSpeedEdit, vd::os::FormatC("%.6f", 4.5 * SpeedFactor()));
    d.SetItemText(D::kAscentEdit, "2");
    d.SetItemText(D::kDescentEdit, "0.25");
    d.SetItemText(D::kTemplateEdit, "/cards/mine.xml");
    d.Click(D::kOverviewCheck);
    d.Click(D::kLabelledOnlyCheck);
    d.Click(vd::ui::kIdOk);
  });
  EXPECT_EQ(dialog.DoModal(), vd::ui::kIdOk);
  EXPECT_EQ(speed, vd::os::FormatC("%g", 3.0 * SpeedFactor()));
  EXPECT_EQ(ascent, "1");  // 6 s/m
  EXPECT_EQ(descent, "0");
  EXPECT_EQ(path, dir.path() + "/Route_Card_Templates/Routecard_template.htm");
  EXPECT_TRUE(overview);
  EXPECT_FALSE(labelled);

  EXPECT_EQ(Setting("rt_est_speed"), 4500);
  EXPECT_EQ(Setting("rt_est_ascent"), 12000);
  EXPECT_EQ(Setting("rt_est_descent"), 1500);
  EXPECT_EQ(D::TemplatePath(), "/cards/mine.xml");
  EXPECT_EQ(options.overview_map, 0);
  EXPECT_EQ(options.only_labelled, 1);
  EXPECT_EQ(options.elevation_profile, 1);
}

TEST_F(RouteSettingsTest, BadNumbersKeepTheStoredValueAndCancelWritesNothing) {
  WriteSettingInt("settings", "rt_est_speed", 5000);
  WriteSettingInt("settings", "rt_est_ascent", 3000);
  Options options;
  DrivenSettings bad(options, &parent, [](DrivenSettings& d) {
    d.SetItemText(D::kSpeedEdit, "fast");
    d.SetItemText(D::kAscentEdit, "-1");
    d.SetItemText(D::kDescentEdit, "1e300");
    d.Click(vd::ui::kIdOk);
  });
  EXPECT_EQ(bad.DoModal(), vd::ui::kIdOk);
  EXPECT_EQ(Setting("rt_est_speed"), 5000);
  EXPECT_EQ(Setting("rt_est_ascent"), 3000);
  EXPECT_FALSE(Setting("rt_est_descent"));

  DrivenSettings cancelled(options, &parent, [](DrivenSettings& d) {
    d.SetItemText(D::kSpeedEdit, "9");
    d.Click(D::kThumbnailsCheck);
    d.Click(vd::ui::kIdCancel);
  });
  EXPECT_EQ(cancelled.DoModal(), vd::ui::kIdCancel);
  EXPECT_EQ(Setting("rt_est_speed"), 5000);
  EXPECT_EQ(options.thumbnails, 1);
}

}  // namespace
