// The navigation alarm distances: shown in the chosen unit, converted when the unit changes,
// checked and handed back in nautical miles, and stored by the pane's command.
#include "corvex/ui/dlg_nav_alarms.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "corvex/ui/dialog_controls.h"
#include "gps/ui/navigation_data.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "tests/temp_dir.h"

namespace {

using D = CDlgNavAlarms;
constexpr int kNm = 0, kKm = 4, kMetres = 5;

class DrivenNavAlarms : public CDlgNavAlarms {
 public:
  using Act = std::function<void(DrivenNavAlarms&)>;
  DrivenNavAlarms(float arrival, float cross_track, Act act)
      : CDlgNavAlarms(nullptr, arrival, cross_track), act_(std::move(act)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    CDlgNavAlarms::OnInitDialog(focus, param);
    act_(*this);
    if (!dialog_window()->ended()) EndDialog(vd::ui::kIdCancel);
    return true;
  }
  bool Enabled(int id) const { return GetItem(id)->isEnabled(); }
  int Checked(int id) const { return dialog_window()->CheckState(id); }
  void Click(int id) { qobject_cast<QAbstractButton*>(GetItem(id))->click(); }
  void ChooseUnit(int index) {
    auto* combo = qobject_cast<QComboBox*>(GetItem(kUnitCombo));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }

 private:
  Act act_;
};

struct Answers : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    texts.push_back(request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> texts;
};

class NavAlarmsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir_.path()); }
  static void UseUnit(int index) {
    vd::OpenAppProfile().SetInt(CUnitCombo::kSection, CUnitCombo::kKey, index);
  }

  vd::test::TempDir dir_;
  Answers answers_;
  vd::ui::ScopedResponder responder_{&answers_};
};

TEST_F(NavAlarmsDialogTest, OpensInTheStoredUnitAndOkKeepsUntouchedValuesExactly) {
  UseUnit(kKm);
  const float arrival = 0.123456f;
  DrivenNavAlarms dialog(arrival, 0.0f, [](DrivenNavAlarms& d) {
    EXPECT_EQ(d.widget()->windowTitle().toStdString(), "Nav Alarms");
    EXPECT_EQ(d.GetItemText(D::kUnitCombo), "km");
    EXPECT_EQ(d.GetItemText(D::kArrivalEdit), "0.23");  // 0.123456 NM in km
    EXPECT_EQ(d.Checked(D::kArrivalCheck), 1);
    EXPECT_TRUE(d.Enabled(D::kArrivalEdit));
    EXPECT_EQ(d.Checked(D::kCrossTrackCheck), 0);
    EXPECT_FALSE(d.Enabled(D::kCrossTrackEdit));
    d.Click(D::kCrossTrackCheck);
    EXPECT_TRUE(d.Enabled(D::kCrossTrackEdit));
    d.Click(vd::ui::kIdOk);
  });
  ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
  EXPECT_EQ(dialog.arrival_nm(), arrival);  // not the rounded text read back
  EXPECT_EQ(dialog.cross_track_nm(), 0.0f);  // ticked at 0: still off
  EXPECT_TRUE(answers_.texts.empty());
}

TEST_F(NavAlarmsDialogTest, OkTakesTypedDistancesAndUntickedAlarmsAreOff) {
  const struct {
    const char* name;
    bool click_arrival, click_cross_track;
    const char* arrival_text;  // null: left as shown
    const char* cross_track_text;
    float arrival, cross_track;
  } cases[] = {
      {"typed km become NM", false, false, "1.852", " 3.704 ", 1.0f, 2.0f},
      {"unticked cross-track with a number typed", false, true, nullptr, "9", 0.5f, 0.0f},
      {"unticked arrival ignores what it holds", true, false, "not a number", nullptr, 0.0f,
       0.25f},
      {"zero typed switches off", false, false, "0", nullptr, 0.0f, 0.25f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseUnit(kKm);
    DrivenNavAlarms dialog(0.5f, 0.25f, [&](DrivenNavAlarms& d) {
      if (c.click_arrival) d.Click(D::kArrivalCheck);
      if (c.click_cross_track) d.Click(D::kCrossTrackCheck);
      if (c.arrival_text) d.SetItemText(D::kArrivalEdit, c.arrival_text);
      if (c.cross_track_text) d.SetItemText(D::kCrossTrackEdit, c.cross_track_text);
      d.Click(vd::ui::kIdOk);
    });
    ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
    EXPECT_FLOAT_EQ(dialog.arrival_nm(), c.arrival);
    EXPECT_FLOAT_EQ(dialog.cross_track_nm(), c.cross_track);
  }
  EXPECT_TRUE(answers_.texts.empty());
}

TEST_F(NavAlarmsDialogTest, ATickedAlarmWithoutADistanceIsRefused) {
  const struct {
    int edit;
    const char* text;
    const char* message;
  } cases[] = {
      {D::kArrivalEdit, "", "Please enter the arrival distance as a number of 0 or more."},
      {D::kArrivalEdit, "abc", "Please enter the arrival distance as a number of 0 or more."},
      {D::kArrivalEdit, "2 nm", "Please enter the arrival distance as a number of 0 or more."},
      {D::kCrossTrackEdit, "-1",
       "Please enter the cross-track distance as a number of 0 or more."},
      {D::kCrossTrackEdit, "1e300",
       "Please enter the cross-track distance as a number of 0 or more."},
      {D::kCrossTrackEdit, "nan",
       "Please enter the cross-track distance as a number of 0 or more."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    answers_.texts.clear();
    UseUnit(kNm);
    DrivenNavAlarms dialog(0.5f, 0.25f, [&](DrivenNavAlarms& d) {
      d.SetItemText(c.edit, c.text);
      d.Click(vd::ui::kIdOk);
    });
    EXPECT_EQ(dialog.DoModal(), vd::ui::kIdCancel);  // OK did not end it
    EXPECT_EQ(answers_.texts, std::vector<std::string>{c.message});
    EXPECT_EQ(dialog.arrival_nm(), 0.5f);
    EXPECT_EQ(dialog.cross_track_nm(), 0.25f);
  }
}

TEST_F(NavAlarmsDialogTest, ChangingTheUnitConvertsBothShownValues) {
  UseUnit(kNm);
  DrivenNavAlarms dialog(1.0f, 0.25f, [](DrivenNavAlarms& d) {
    EXPECT_EQ(d.GetItemText(D::kArrivalEdit), "1.00");
    d.ChooseUnit(kMetres);
    EXPECT_EQ(d.GetItemText(D::kArrivalEdit), "1852.00");
    EXPECT_EQ(d.GetItemText(D::kCrossTrackEdit), "463.00");
    // A distance typed in metres is carried over; text that is none stays as typed.
    d.SetItemText(D::kArrivalEdit, "926");
    d.SetItemText(D::kCrossTrackEdit, "x");
    d.ChooseUnit(kNm);
    EXPECT_EQ(d.GetItemText(D::kArrivalEdit), "0.50");
    EXPECT_EQ(d.GetItemText(D::kCrossTrackEdit), "x");
    d.SetItemText(D::kCrossTrackEdit, "0.1");
    d.Click(vd::ui::kIdOk);
  });
  ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
  EXPECT_FLOAT_EQ(dialog.arrival_nm(), 0.5f);
  EXPECT_FLOAT_EQ(dialog.cross_track_nm(), 0.1f);
}

TEST_F(NavAlarmsDialogTest, ThePaneCommandStoresTheDistancesOnOkOnly) {
  UseUnit(kNm);
  CNavigationData::arrival_alarm_nm = 0.5f;
  CNavigationData::cross_track_alarm_nm = 0.0f;
  const auto answer = [](const char* arrival, bool tick_cross_track, const char* cross_track,
                         int button) {
    QTimer::singleShot(0, [=] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible()) {
          d->SetItemText(D::kArrivalEdit, arrival);
          if (tick_cross_track) d->ControlAs<QAbstractButton>(D::kCrossTrackCheck)->click();
          d->SetItemText(D::kCrossTrackEdit, cross_track);
          d->SendCommand(button, vd::ui::kBnClicked);
        }
    });
  };
  answer("2", true, "0.3", vd::ui::kIdCancel);
  EXPECT_FALSE(EditNavigationAlarms(nullptr));
  EXPECT_EQ(CNavigationData::arrival_alarm_nm, 0.5f);
  EXPECT_EQ(CNavigationData::cross_track_alarm_nm, 0.0f);

  answer("2", true, "0.3", vd::ui::kIdOk);
  EXPECT_TRUE(EditNavigationAlarms(nullptr));
  EXPECT_FLOAT_EQ(CNavigationData::arrival_alarm_nm, 2.0f);
  EXPECT_FLOAT_EQ(CNavigationData::cross_track_alarm_nm, 0.3f);
  CNavigationData::arrival_alarm_nm = 0.0f;
  CNavigationData::cross_track_alarm_nm = 0.0f;
}

}  // namespace
