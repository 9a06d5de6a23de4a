#include "corvex/ui/dlg_gps_setup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "core/path_utils.h"
#include "core/ui/message_boxes.h"
#include "corvex/ui/spin_buttons.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/message_box.h"

namespace {

namespace fs = std::filesystem;

constexpr char kDefaultPort[] = "/dev/ttyUSB0";

struct Manufacturer {
  const char* text;
  int type;
};
constexpr Manufacturer kManufacturers[] = {{"None", GPSParams::kNone},
                                           {"Generic (NMEA)", GPSParams::kNmea},
                                           {"Garmin", GPSParams::kGarmin},
                                           {"Simulator", GPSParams::kSimulator}};

const char* const kNmeaModels[] = {" ", "NMEA 0183", "Most", "Binary", "X9", "Multi Navigator"};
const char* const kGarminModels[] = {"Serial", "USB"};
const char* const kBaudRates[] = {"300",   "600",   "1200",   "2400",   "4800",
                                  "9600",  "14400", "19200",  "38400",  "56000",
                                  "57600", "115200", "128000", "256000"};
const char* const kParities[] = {"None", "Odd", "Even"};
const char* const kDataBits[] = {"7", "8"};
const char* const kStopBits[] = {"1", "1.5", "2"};

// The line settings a maker's devices start with: baud, data bits, parity, stop bits indexes.
struct LineDefaults {
  int baud, data_bits, parity, stop_bits;
};
constexpr LineDefaults kNmeaLine = {4, 1, 0, 0};    // 4800, 8, None, 1
constexpr LineDefaults kGarminLine = {5, 1, 0, 0};  // 9600, 8, None, 1

struct Limit {
  int id;
  int32_t low, high;
};
constexpr Limit kNameLengthLimit = {CDlgGPSSetup::kNameLengthEdit, 1, 256};
constexpr Limit kRoutePointsLimit = {CDlgGPSSetup::kRoutePointsEdit, 1, 1000};
constexpr Limit kTrackPointsLimit = {CDlgGPSSetup::kTrackPointsEdit, 1, 100000};

template <size_t N>
QComboBox* FixedList(const char* const (&texts)[N]) {
  auto* combo = new QComboBox;
  for (const char* text : texts) combo->addItem(text);
  return combo;
}

void BuildGpsSetupDialog(vd::ui::DialogWindow& d) {
  using D = CDlgGPSSetup;
  d.setWindowTitle("GPS Setup");
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  int row = 0;
  const auto add_row = [&](const char* label, QWidget* control) {
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(control, row++, 1);
  };
  auto* manufacturers = new QComboBox;
  for (const Manufacturer& m : kManufacturers) manufacturers->addItem(m.text, m.type);
  add_row("Manufacturer:", d.AddControl(D::kManufacturerCombo, manufacturers));
  add_row("Model:", d.AddControl(D::kModelCombo, new QComboBox));
  auto* port_row = new QHBoxLayout;
  auto* port = new QComboBox;
  port->setEditable(true);
  port->setInsertPolicy(QComboBox::NoInsert);
  port_row->addWidget(d.AddControl(D::kPortCombo, port), 1);
  port_row->addWidget(d.AddControl(D::kPortSpin, new CSpinButtons));
  grid->addWidget(new QLabel("Port:"), row, 0);
  grid->addLayout(port_row, row++, 1);
  add_row("Baud rate:", d.AddControl(D::kBaudCombo, FixedList(kBaudRates)));
  add_row("Parity:", d.AddControl(D::kParityCombo, FixedList(kParities)));
  add_row("Data bits:", d.AddControl(D::kDataBitsCombo, FixedList(kDataBits)));
  add_row("Stop bits:", d.AddControl(D::kStopBitsCombo, FixedList(kStopBits)));
  layout->addLayout(grid);
  layout->addWidget(d.AddControl(D::kDebugCheck, new QCheckBox("Capture debug file")));

  auto* limits = new QGroupBox("GPS Limits");
  auto* limit_grid = new QGridLayout(limits);
  limit_grid->addWidget(new QLabel("Waypoint name length:"), 0, 0);
  limit_grid->addWidget(d.AddControl(D::kNameLengthEdit, new QLineEdit), 0, 1);
  limit_grid->addWidget(new QLabel("Waypoints per Route:"), 1, 0);
  limit_grid->addWidget(d.AddControl(D::kRoutePointsEdit, new QLineEdit), 1, 1);
  limit_grid->addWidget(new QLabel("Points per Track:"), 2, 0);
  limit_grid->addWidget(d.AddControl(D::kTrackPointsEdit, new QLineEdit), 2, 1);
  layout->addWidget(limits);

  vd::ui::AddButtonRow(d, layout,
                       {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}, {vd::ui::kIdHelp, "Help"}},
                       vd::ui::kIdOk);
}

// A stored index outside its list shows the value the port would be opened with.
int IndexOrDefault(int32_t index, int count, int fallback) {
  return index >= 0 && index < count ? index : fallback;
}

// Splits "name123" into "name" and 123; false without a final number.
bool SplitFinalNumber(const std::string& text, std::string& stem, int64_t& number) {
  size_t start = text.size();
  while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) --start;
  if (start == text.size() || text.size() - start > 9) return false;
  stem = text.substr(0, start);
  return vd::os::ParseInt64(std::string_view(text).substr(start), number);
}

// Orders names by their stem, then by their final number as a number ("ttyS2" before "ttyS10").
bool NaturalLess(const std::string& a, const std::string& b) {
  std::string stem_a, stem_b;
  int64_t n_a = -1, n_b = -1;
  if (!SplitFinalNumber(a, stem_a, n_a)) stem_a = a;
  if (!SplitFinalNumber(b, stem_b, n_b)) stem_b = b;
  return std::tie(stem_a, n_a, a) < std::tie(stem_b, n_b, b);
}

std::string FileText(const fs::path& path) {
  std::string text;
  if (!vd::os::ReadWholeFile(path.string(), text)) return {};
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

}  // namespace

std::string StepGpsPortName(const std::string& port, int steps,
                            const std::vector<std::string>& ports) {
  std::string stem;
  int64_t number = 0;
  if (!SplitFinalNumber(port, stem, number)) return ports.empty() ? kDefaultPort : ports.front();
  return stem + std::to_string(std::max<int64_t>(0, number + steps));
}

std::vector<std::string> ListSerialPorts(const std::string& sys_tty, const std::string& dev) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(sys_tty, error)) {
    const fs::path folder = entry.path();
    // Virtual terminals and pseudo terminals have no device; a legacy port whose type is 0
    // has a device entry but no hardware behind it.
    if (!fs::exists(folder / "device", error)) continue;
    if (fs::exists(folder / "type", error) && FileText(folder / "type") == "0") continue;
    names.push_back(folder.filename().string());
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  std::vector<std::string> ports;
  for (const std::string& name : names) ports.push_back(dev + "/" + name);
  return ports;
}

std::vector<std::string> ListGpsDemoFiles(const std::vector<std::string>& folders) {
  std::vector<std::string> files;
  for (const std::string& folder : folders) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
      const std::string path = entry.path().string();
      if (entry.is_regular_file(error) &&
          (PathHasExtension(path, "nmea") || PathHasExtension(path, "txt")))
        files.push_back(path);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> GpsPortChoices(const std::vector<std::string>& demo_folders) {
  std::vector<std::string> choices = ListSerialPorts();
  for (std::string& file : ListGpsDemoFiles(demo_folders)) choices.push_back(std::move(file));
  return choices;
}

void CDlgGPSSetup::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildGpsSetupDialog);
}

CDlgGPSSetup::CDlgGPSSetup(GPSParams& params, std::vector<std::string> port_choices,
                           QWidget* parent)
    : CDialogF1Help(kTemplate, parent), params_(params), port_choices_(std::move(port_choices)) {
  RegisterTemplate();
}

bool CDlgGPSSetup::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  // A demo file chosen for the moment keeps the real connection as the saved one: that is
  // the connection to edit.
  const bool saved = params_.saved_type != 0;
  const int type = saved ? params_.saved_type : params_.type;
  const std::string& port = saved ? params_.saved_port : params_.port;

  auto* manufacturers = window->ControlAs<QComboBox>(kManufacturerCombo);
  manufacturers->setCurrentIndex(std::max(0, manufacturers->findData(type)));
  auto* ports = window->ControlAs<QComboBox>(kPortCombo);
  for (const std::string& choice : port_choices_) ports->addItem(QString::fromStdString(choice));
  ports->setEditText(QString::fromStdString(port));
  auto* spin = window->ControlAs<CSpinButtons>(kPortSpin);
  spin->SetStepHandler([this](int steps) { OnPortSpin(steps); });

  window->ControlAs<QComboBox>(kBaudCombo)
      ->setCurrentIndex(IndexOrDefault(params_.baud_index, std::size(kBaudRates), kNmeaLine.baud));
  window->ControlAs<QComboBox>(kDataBitsCombo)
      ->setCurrentIndex(IndexOrDefault(params_.byte_size_index, std::size(kDataBits), 1));
  window->ControlAs<QComboBox>(kStopBitsCombo)
      ->setCurrentIndex(IndexOrDefault(params_.stop_bits_index, std::size(kStopBits), 0));
  window->ControlAs<QComboBox>(kParityCombo)
      ->setCurrentIndex(IndexOrDefault(params_.parity_index, std::size(kParities), 0));
  window->SetCheckState(kDebugCheck, params_.debug_log ? 1 : 0);
  SetItemText(kNameLengthEdit, std::to_string(params_.name_length));
  SetItemText(kRoutePointsEdit, std::to_string(params_.route_points));
  SetItemText(kTrackPointsEdit, std::to_string(params_.track_points));
  OnManufacturerChanged(false);
  return true;
}

int CDlgGPSSetup::SelectedType() const {
  const auto* manufacturers = dialog_window()->ControlAs<QComboBox>(kManufacturerCombo);
  return manufacturers->currentIndex() < 0 ? GPSParams::kNone
                                           : manufacturers->currentData().toInt();
}

void CDlgGPSSetup::OnManufacturerChanged(bool user_choice) {
  vd::ui::DialogWindow* window = dialog_window();
  const int type = SelectedType();
  const bool garmin = type == GPSParams::kGarmin;
  const bool nmea = type == GPSParams::kNmea;
  auto* models = window->ControlAs<QComboBox>(kModelCombo);
  models->clear();
  if (garmin) {
    for (const char* model : kGarminModels) models->addItem(model);
    const int kind = user_choice ? kGarminSerial : params_.port_kind;
    models->setCurrentIndex(IndexOrDefault(kind, std::size(kGarminModels), kGarminSerial));
  } else {
    for (const char* model : kNmeaModels) models->addItem(model);
    models->setCurrentIndex(nmea ? 1 : 0);
  }
  if (user_choice && (nmea || garmin)) {
    const LineDefaults& line = nmea ? kNmeaLine : kGarminLine;
    window->ControlAs<QComboBox>(kBaudCombo)->setCurrentIndex(line.baud);
    window->ControlAs<QComboBox>(kDataBitsCombo)->setCurrentIndex(line.data_bits);
    window->ControlAs<QComboBox>(kParityCombo)->setCurrentIndex(line.parity);
    window->ControlAs<QComboBox>(kStopBitsCombo)->setCurrentIndex(line.stop_bits);
  }
  const bool port_used = nmea || (garmin && models->currentIndex() == kGarminSerial);
  window->EnableItem(kModelCombo, garmin);
  window->EnableItem(kPortCombo, port_used);
  window->EnableItem(kPortSpin, port_used);
  for (int id : {kBaudCombo, kParityCombo, kDataBitsCombo, kStopBitsCombo})
    window->EnableItem(id, nmea);
  window->EnableItem(kDebugCheck, nmea || garmin);
}

void CDlgGPSSetup::OnCommand(int id, QWidget* control, int code) {
  if (code == vd::ui::kCbnSelChange && (id == kManufacturerCombo || id == kModelCombo)) {
    // A new model only changes which controls apply.
    if (id == kModelCombo) {
      const bool serial = dialog_window()->ControlAs<QComboBox>(kModelCombo)->currentIndex() ==
                          kGarminSerial;
      dialog_window()->EnableItem(kPortCombo, serial);
      dialog_window()->EnableItem(kPortSpin, serial);
    } else {
      OnManufacturerChanged(true);
    }
    return;
  }
  CDialogF1Help::OnCommand(id, control, code);
}

void CDlgGPSSetup::OnPortSpin(int steps) {
  SetItemText(kPortCombo, StepGpsPortName(GetItemText(kPortCombo), steps, port_choices_));
}

bool CDlgGPSSetup::ReadLimits(int32_t& name_length, int32_t& route_points,
                              int32_t& track_points) {
  const std::pair<const Limit&, int32_t&> limits[] = {{kNameLengthLimit, name_length},
                                                      {kRoutePointsLimit, route_points},
                                                      {kTrackPointsLimit, track_points}};
  for (const auto& [limit, out] : limits) {
    const std::string text = GetItemText(limit.id);
    int64_t value = 0;
    size_t used = 0;
    const bool whole = vd::os::ParseInt64(text, value, 10, &used) &&
                       text.find_first_not_of(" \t", used) == std::string::npos;
    if (!whole || value < limit.low || value > limit.high) {
      FormatMessageBox(vd::ui::kMbIconWarning, "Enter an integer between %d and %d.", limit.low,
                       limit.high);
      if (QWidget* edit = GetItem(limit.id)) edit->setFocus();
      return false;
    }
    out = static_cast<int32_t>(value);
  }
  return true;
}

void CDlgGPSSetup::OnOK() {
  int32_t name_length = 0, route_points = 0, track_points = 0;
  if (!ReadLimits(name_length, route_points, track_points)) return;
  vd::ui::DialogWindow* window = dialog_window();
  params_.type = SelectedType();
  params_.port_kind = window->ControlAs<QComboBox>(kModelCombo)->currentIndex();
  params_.port = GetItemText(kPortCombo);
  params_.baud_index = window->ControlAs<QComboBox>(kBaudCombo)->currentIndex();
  params_.byte_size_index = window->ControlAs<QComboBox>(kDataBitsCombo)->currentIndex();
  params_.stop_bits_index = window->ControlAs<QComboBox>(kStopBitsCombo)->currentIndex();
  params_.parity_index = window->ControlAs<QComboBox>(kParityCombo)->currentIndex();
  params_.debug_log = window->CheckState(kDebugCheck) == 1;
  params_.name_length = name_length;
  params_.route_points = route_points;
  params_.track_points = track_points;
  params_.saved_port.clear();
  params_.saved_type = 0;
  CDialogF1Help::OnOK();
}
