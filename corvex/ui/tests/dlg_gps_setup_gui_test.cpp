// GPS Setup: what it shows of the settings, what OK writes back (and so what "GPS_params" holds
// afterwards), the makers' defaults, the limits it refuses, the port spin, and the ports and
// demo files it offers.
#include "corvex/ui/dlg_gps_setup.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "corvex/ui/spin_buttons.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "tests/temp_dir.h"

namespace {

using D = CDlgGPSSetup;

// Runs the dialog, acts on it while it is open, and cancels it when the act did not end it.
class DrivenSetup : public CDlgGPSSetup {
 public:
  using Act = std::function<void(DrivenSetup&)>;
  DrivenSetup(GPSParams& params, std::vector<std::string> ports, Act act)
      : CDlgGPSSetup(params, std::move(ports), nullptr), act_(std::move(act)) {}

  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    CDlgGPSSetup::OnInitDialog(focus, param);
    act_(*this);
    if (!dialog_window()->ended()) EndDialog(vd::ui::kIdCancel);
    return true;
  }

  QComboBox* Combo(int id) const { return dialog_window()->ControlAs<QComboBox>(id); }
  bool Enabled(int id) const { return GetItem(id)->isEnabled(); }
  // As the user picks an entry.
  void Choose(int id, int index) {
    Combo(id)->setCurrentIndex(index);
    dialog_window()->SendCommand(id, vd::ui::kCbnSelChange);
  }
  void PressOk() { qobject_cast<QPushButton*>(GetItem(vd::ui::kIdOk))->click(); }

 private:
  Act act_;
};

struct Boxes : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    texts.push_back(request.text);
    return vd::ui::kIdOk;
  }
  std::vector<std::string> texts;
};

class GpsSetupTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir_.path()); }

  int Run(GPSParams& params, DrivenSetup::Act act,
          std::vector<std::string> ports = {"/dev/ttyS0", "/dev/ttyUSB0"}) {
    DrivenSetup dialog(params, std::move(ports), std::move(act));
    return dialog.DoModal();
  }

  vd::test::TempDir dir_;
  Boxes boxes_;
  vd::ui::ScopedResponder responder_{&boxes_};
};

TEST_F(GpsSetupTest, ShowsTheSettingAndOkWritesItBackWithoutTheSavedPort) {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  ASSERT_TRUE(profile.SetString(kGpsParamsSection, kGpsParamsKey,
                                "2,1,/dev/ttyACM3 ,7,0,2,1,8,50,900"));
  GPSParams params = LoadGPSParams(profile);
  params.debug_log = true;
  const int result = Run(params, [](DrivenSetup& d) {
    EXPECT_EQ(d.Combo(D::kManufacturerCombo)->currentText().toStdString(), "Garmin");
    EXPECT_EQ(d.Combo(D::kModelCombo)->currentText().toStdString(), "USB");
    EXPECT_EQ(d.GetItemText(D::kPortCombo), "/dev/ttyACM3");
    // Opening does not impose the maker's line defaults on stored values.
    EXPECT_EQ(d.GetItemText(D::kBaudCombo), "19200");
    EXPECT_EQ(d.GetItemText(D::kDataBitsCombo), "7");
    EXPECT_EQ(d.GetItemText(D::kStopBitsCombo), "2");
    EXPECT_EQ(d.GetItemText(D::kParityCombo), "Odd");
    EXPECT_EQ(d.dialog_window()->CheckState(D::kDebugCheck), 1);
    EXPECT_EQ(d.GetItemText(D::kNameLengthEdit), "8");
    EXPECT_EQ(d.GetItemText(D::kRoutePointsEdit), "50");
    EXPECT_EQ(d.GetItemText(D::kTrackPointsEdit), "900");
    EXPECT_FALSE(d.Enabled(D::kPortCombo));  // USB has no port
    d.Choose(D::kModelCombo, D::kGarminSerial);
    EXPECT_TRUE(d.Enabled(D::kPortCombo));
    d.SetItemText(D::kPortCombo, "/dev/my gps");
    d.SetItemText(D::kTrackPointsEdit, "100000");
    d.PressOk();
  });
  ASSERT_EQ(result, vd::ui::kIdOk);
  EXPECT_TRUE(SaveGPSParams(profile, params));
  EXPECT_EQ(profile.GetString(kGpsParamsSection, kGpsParamsKey),
            "2,0,/dev/my%20gps ,7,0,2,1,8,50,100000,- ,0");
  EXPECT_TRUE(params.debug_log);
}

TEST_F(GpsSetupTest, ARealConnectionSavedBehindADemoFileIsTheOneEdited) {
  GPSParams params;
  params.type = GPSParams::kNmea;
  params.port = "/tmp/gps_demo.txt";
  params.saved_type = GPSParams::kGarmin;
  params.saved_port = "/dev/ttyS1";
  params.port_kind = D::kGarminSerial;
  ASSERT_EQ(Run(params,
                [](DrivenSetup& d) {
                  EXPECT_EQ(d.Combo(D::kManufacturerCombo)->currentText().toStdString(), "Garmin");
                  EXPECT_EQ(d.GetItemText(D::kPortCombo), "/dev/ttyS1");
                  d.PressOk();
                }),
            vd::ui::kIdOk);
  EXPECT_EQ(params.type, GPSParams::kGarmin);
  EXPECT_EQ(params.port, "/dev/ttyS1");
  EXPECT_EQ(params.saved_type, 0);
  EXPECT_EQ(params.saved_port, "");
}

TEST_F(GpsSetupTest, SwitchingMakerSetsItsModelLineDefaultsAndWhichControlsApply) {
  struct Case {
    int manufacturer_index;
    const char* model;
    bool model_enabled, port_enabled, line_enabled, debug_enabled;
    const char* baud;
  };
  // Each starts from 300 baud, 7 bits, odd parity, 2 stop bits; None and Simulator keep them.
  const Case cases[] = {
      {0, " ", false, false, false, false, "300"},
      {1, "NMEA 0183", false, true, true, true, "4800"},
      {2, "Serial", true, true, false, true, "9600"},
      {3, " ", false, false, false, false, "300"},
  };
  for (const Case& c : cases) {
    GPSParams params;
    params.type = GPSParams::kNmea;
    params.baud_index = 0;
    params.byte_size_index = 0;
    params.parity_index = 1;
    params.stop_bits_index = 2;
    Run(params, [&](DrivenSetup& d) {
      d.Choose(D::kManufacturerCombo, c.manufacturer_index);
      SCOPED_TRACE(c.manufacturer_index);
      EXPECT_EQ(d.Combo(D::kModelCombo)->currentText().toStdString(), c.model);
      EXPECT_EQ(d.Enabled(D::kModelCombo), c.model_enabled);
      EXPECT_EQ(d.Enabled(D::kPortCombo), c.port_enabled);
      EXPECT_EQ(d.Enabled(D::kPortSpin), c.port_enabled);
      for (int id : {D::kBaudCombo, D::kParityCombo, D::kDataBitsCombo, D::kStopBitsCombo})
        EXPECT_EQ(d.Enabled(id), c.line_enabled) << id;
      EXPECT_EQ(d.Enabled(D::kDebugCheck), c.debug_enabled);
      EXPECT_EQ(d.GetItemText(D::kBaudCombo), c.baud);
      const bool defaults = c.manufacturer_index == 1 || c.manufacturer_index == 2;
      EXPECT_EQ(d.GetItemText(D::kDataBitsCombo), defaults ? "8" : "7");
      EXPECT_EQ(d.GetItemText(D::kParityCombo), defaults ? "None" : "Odd");
      EXPECT_EQ(d.GetItemText(D::kStopBitsCombo), defaults ? "1" : "2");
    });
  }
}

TEST_F(GpsSetupTest, LimitsOutOfRangeAreRefusedAndNothingIsWritten) {
  const struct {
    int id;
    const char* text;
    const char* message;
  } cases[] = {
      {D::kNameLengthEdit, "0", "Enter an integer between 1 and 256."},
      {D::kNameLengthEdit, "257", "Enter an integer between 1 and 256."},
      {D::kRoutePointsEdit, "1001", "Enter an integer between 1 and 1000."},
      {D::kTrackPointsEdit, "100001", "Enter an integer between 1 and 100000."},
      {D::kTrackPointsEdit, "12x", "Enter an integer between 1 and 100000."},
      {D::kRoutePointsEdit, "", "Enter an integer between 1 and 1000."},
  };
  for (const auto& c : cases) {
    boxes_.texts.clear();
    GPSParams params;
    params.port = "/dev/ttyS0";
    const int result = Run(params, [&](DrivenSetup& d) {
      d.Choose(D::kManufacturerCombo, 1);
      d.SetItemText(c.id, c.text);
      d.PressOk();
    });
    EXPECT_EQ(result, vd::ui::kIdCancel) << c.text;
    EXPECT_EQ(boxes_.texts, std::vector<std::string>{c.message}) << c.text;
    EXPECT_EQ(params.type, GPSParams::kNone) << c.text;
  }
}

TEST_F(GpsSetupTest, CancelLeavesTheRecordAlone) {
  GPSParams params;
  params.port = "/dev/ttyS0";
  params.saved_port = "/dev/ttyS2";
  params.saved_type = GPSParams::kNmea;
  EXPECT_EQ(Run(params,
                [](DrivenSetup& d) {
                  d.Choose(D::kManufacturerCombo, 2);
                  qobject_cast<QPushButton*>(d.GetItem(vd::ui::kIdCancel))->click();
                }),
            vd::ui::kIdCancel);
  EXPECT_EQ(params.type, GPSParams::kNone);
  EXPECT_EQ(params.saved_port, "/dev/ttyS2");
}

TEST_F(GpsSetupTest, ThePortSpinStepsTheDeviceNumber) {
  const std::vector<std::string> ports = {"/dev/ttyS4", "/dev/ttyUSB0"};
  const struct {
    const char* port;
    int steps;
    const char* result;
  } cases[] = {
      {"/dev/ttyUSB9", 1, "/dev/ttyUSB10"}, {"/dev/ttyUSB10", -1, "/dev/ttyUSB9"},
      {"/dev/ttyS0", -1, "/dev/ttyS0"},     {"/dev/ttyS1", -3, "/dev/ttyS0"},
      {"/home/u/track.nmea", 1, "/dev/ttyS4"}, {"", -1, "/dev/ttyS4"},
  };
  for (const auto& c : cases) EXPECT_EQ(StepGpsPortName(c.port, c.steps, ports), c.result);
  EXPECT_EQ(StepGpsPortName("gps.txt", 1, {}), "/dev/ttyUSB0");

  GPSParams params;
  params.type = GPSParams::kNmea;
  params.port = "/dev/ttyS9";
  Run(params, [](DrivenSetup& d) {
    d.dialog_window()->ControlAs<CSpinButtons>(D::kPortSpin)->stepBy(1);  // the up arrow
    EXPECT_EQ(d.GetItemText(D::kPortCombo), "/dev/ttyS10");
    d.PressOk();
  });
  EXPECT_EQ(params.port, "/dev/ttyS10");
}

TEST_F(GpsSetupTest, OffersThePortsFoundAndTheDemoFiles) {
  namespace fs = std::filesystem;
  // A terminal class folder: real ports have a device; a legacy port of type 0 has nothing
  // behind it; virtual terminals have no device at all.
  const fs::path sys = fs::path(dir_.path()) / "sys";
  const auto terminal = [&](const std::string& name, bool device, const char* type) {
    fs::create_directories(sys / name);
    if (device) fs::create_directories(sys / name / "device");
    if (type) std::ofstream(sys / name / "type") << type << "\n";
  };
  terminal("ttyS10", true, "4");
  terminal("ttyS2", true, "4");
  terminal("ttyS3", true, "0");
  terminal("ttyUSB0", true, nullptr);
  terminal("tty1", false, nullptr);
  terminal("ptmx", false, nullptr);
  EXPECT_EQ(ListSerialPorts(sys.string(), "/dev"),
            (std::vector<std::string>{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"}));
  EXPECT_TRUE(ListSerialPorts((sys / "missing").string()).empty());

  const fs::path demos = fs::path(dir_.path()) / "demos";
  fs::create_directories(demos / "sub.nmea");
  for (const char* name : {"b.NMEA", "a.txt", "chart.qct", "c.nmea.bak"})
    std::ofstream(demos / name) << "$GPRMC\n";
  EXPECT_EQ(ListGpsDemoFiles({demos.string(), (demos / "missing").string()}),
            (std::vector<std::string>{(demos / "a.txt").string(), (demos / "b.NMEA").string()}));

  GPSParams params;
  params.type = GPSParams::kNmea;
  params.port = "/dev/ttyS2";
  Run(params,
      [&](DrivenSetup& d) {
        QComboBox* ports = d.Combo(D::kPortCombo);
        ASSERT_EQ(ports->count(), 2);
        ports->setCurrentIndex(1);
        d.PressOk();
      },
      {"/dev/ttyS2", (demos / "a.txt").string()});
  EXPECT_EQ(params.port, (demos / "a.txt").string());
}

}  // namespace
