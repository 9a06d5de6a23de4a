#pragma once
// "GPS Setup": edits the GPS connection settings before the main frame restarts GPS input with
// them. The port is typed or chosen from the serial ports found on this machine and the demo
// files offered; the line settings apply to NMEA input only, the model to Garmin devices only.
//
//   GPSParams params = frame.LoadGPSParams();
//   CDlgGPSSetup dialog(params, GpsPortChoices({app.data_folder, app.temp_folder}), &frame);
//   if (dialog.DoModal() == vd::ui::kIdOk) {
//     frame.gps_debug_log = params.debug_log;
//     frame.StartGPS(params);
//   }
#include <string>
#include <vector>

#include "core/ui/dialog_f1_help.h"
#include "gps/gps_params.h"

class CDlgGPSSetup : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 139;
  static constexpr int kManufacturerCombo = 1001;
  static constexpr int kModelCombo = 1002;
  static constexpr int kPortCombo = 1003;  // editable: any device path or demo file
  static constexpr int kPortSpin = 1004;
  static constexpr int kBaudCombo = 1005;
  static constexpr int kParityCombo = 1006;
  static constexpr int kDataBitsCombo = 1007;
  static constexpr int kStopBitsCombo = 1008;
  static constexpr int kDebugCheck = 1009;
  static constexpr int kNameLengthEdit = 1010;
  static constexpr int kRoutePointsEdit = 1011;
  static constexpr int kTrackPointsEdit = 1012;

  // The Garmin models, in the order of the list (the index is the port kind).
  static constexpr int kGarminSerial = 0;
  static constexpr int kGarminUsb = 1;

  // params is read on opening and written on OK only. port_choices fill the port's list.
  CDlgGPSSetup(GPSParams& params, std::vector<std::string> port_choices, QWidget* parent);

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;

  // The port spin: steps the number that ends the port name.
  void OnPortSpin(int steps);

 private:
  // The type of the manufacturer selected (GPSParams::Type).
  int SelectedType() const;
  // Rebuilds the model list and enables the controls for the type. user_choice: the user
  // switched manufacturer, so the model and the line settings take that maker's defaults.
  void OnManufacturerChanged(bool user_choice);
  // The limits typed, checked; false (after telling the user) when one is out of range.
  bool ReadLimits(int32_t& name_length, int32_t& route_points, int32_t& track_points);

  GPSParams& params_;
  std::vector<std::string> port_choices_;
};

// The port text one spin step further: the number that ends a device name moves by steps
// (never below 0); a text without one becomes the first port of ports, or the default port.
std::string StepGpsPortName(const std::string& port, int steps,
                            const std::vector<std::string>& ports);

// Serial ports present on this machine: the entries of sys_tty (the kernel's class folder of
// terminals) that have a device behind them, except the legacy ports whose "type" says no
// hardware answers, as device paths under dev. In name order, numbers compared as numbers.
std::vector<std::string> ListSerialPorts(const std::string& sys_tty = "/sys/class/tty",
                                         const std::string& dev = "/dev");

// Files of the folders that can be replayed as GPS input: names ending in ".nmea" or ".txt"
// (any case), sorted. Missing folders are skipped.
std::vector<std::string> ListGpsDemoFiles(const std::vector<std::string>& folders);

// ListSerialPorts() followed by ListGpsDemoFiles(demo_folders).
std::vector<std::string> GpsPortChoices(const std::vector<std::string>& demo_folders);
