// The magnetic bearings choice: what the dialog shows and returns, and what its command stores
// and recomputes.
#include "corvex/ui/dlg_magnetic_variation.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <functional>
#include <optional>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "geodesy/magnetic_model.h"
#include "geodesy/tests/wmm_test_model.h"
#include "platform/ui/dialog_window.h"
#include "tests/temp_dir.h"

namespace {

using D = CDlgMagneticVariation;

class TestApp : public CAppCommon {
 public:
  COstrelDocBase* FindFirstDocument() override { return nullptr; }
};

// Acts on the command's dialog once it is up; `ok` ends it with OK, else Cancel.
void OnceUp(std::function<void(vd::ui::DialogWindow&)> act, bool ok) {
  QTimer::singleShot(0, [act, ok] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible()) {
        act(*d);
        d->SendCommand(ok ? vd::ui::kIdOk : vd::ui::kIdCancel, vd::ui::kBnClicked);
      }
  });
}

void ClickCheck(vd::ui::DialogWindow& d) {
  d.ControlAs<QAbstractButton>(D::kShowMagneticCheck)->click();
}

TEST(MagneticVariationDialog, ShowsTheChoiceAndReturnsItOnOkOnly) {
  const struct {
    bool initial;
    bool click;
    bool ok;
    bool result;
  } cases[] = {
      {false, false, true, false}, {true, false, true, true},  {false, true, true, true},
      {true, true, true, false},   {false, true, false, false}, {true, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.initial << c.click << c.ok);
    CDlgMagneticVariation dialog(nullptr, c.initial);
    OnceUp(
        [&](vd::ui::DialogWindow& d) {
          EXPECT_EQ(d.windowTitle().toStdString(), "Magnetic Variation");
          EXPECT_EQ(d.CheckState(D::kShowMagneticCheck), c.initial ? 1 : 0);
          if (c.click) ClickCheck(d);
        },
        c.ok);
    EXPECT_EQ(dialog.DoModal(), c.ok ? vd::ui::kIdOk : vd::ui::kIdCancel);
    EXPECT_EQ(dialog.show_magnetic(), c.result);
  }
}

class MagneticVariationCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::SetProfileLocation(vd::kDefaultProfileKey, profile_.path());
    ASSERT_TRUE(vd::test::WriteDipoleModel(program_.File("WMM_COF.txt"), -1410.8, 4545.4));
    app_.program_folder = program_.path();
    // Bearings true: the position is only remembered.
    app_.UpdateMagneticVariation(50.0, -1.0, kTime);
  }
  std::optional<int> Stored() const {
    return vd::OpenAppProfile().GetInt(vd::kSettingsSection, "show_magnetic");
  }

  static constexpr int64_t kTime = 1767225600;
  vd::test::TempDir profile_, program_;
  TestApp app_;
};

TEST_F(MagneticVariationCommand, SwitchingOnStoresAndWorksOutTheVariationAtTheLastPosition) {
  const std::optional<double> declination = GetMagneticDeclination(
      50.0, -1.0, 100.0, static_cast<double>(kTime), program_.File("WMM_COF.txt"));
  ASSERT_TRUE(declination);
  ASSERT_EQ(app_.magnetic_variation, 0.0f);

  OnceUp(ClickCheck, true);
  ASSERT_TRUE(EditMagneticVariation(app_, nullptr));
  EXPECT_EQ(app_.show_magnetic.value, 1);
  EXPECT_EQ(Stored(), 1);
  EXPECT_FLOAT_EQ(app_.magnetic_variation, static_cast<float>(-*declination));

  // Switched off again: stored; the variation is left as it was.
  OnceUp(ClickCheck, true);
  ASSERT_TRUE(EditMagneticVariation(app_, nullptr));
  EXPECT_EQ(app_.show_magnetic.value, 0);
  EXPECT_EQ(Stored(), 0);
  EXPECT_FLOAT_EQ(app_.magnetic_variation, static_cast<float>(-*declination));
}

TEST_F(MagneticVariationCommand, CancelChangesNothing) {
  OnceUp(ClickCheck, false);
  EXPECT_FALSE(EditMagneticVariation(app_, nullptr));
  EXPECT_EQ(app_.show_magnetic.value, 0);
  EXPECT_EQ(Stored(), std::nullopt);
  EXPECT_EQ(app_.magnetic_variation, 0.0f);
}

}  // namespace
