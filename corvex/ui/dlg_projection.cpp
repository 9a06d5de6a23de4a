#include "corvex/ui/dlg_projection.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <vector>

#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "geodesy/projection.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/message_box.h"

namespace {

constexpr char kSeparator = '|';
const char* const kDatums[] = {"WGS84", "NAD27", "OSGB"};
constexpr char kOsgbDatum[] = "OSGB";
constexpr char kOsgbProjLine[] =
    "+proj=tmerc +ellps=airy +lat_0=49N +lon_0=2W +k=0.9996012717 +x_0=400000 +y_0=-100000";

void BuildProjectionDialog(vd::ui::DialogWindow& d) {
  using D = CDlgProjection;
  d.setWindowTitle("Geographic Projection");
  auto* layout = new QVBoxLayout(&d);
  auto* datum = new QComboBox;
  for (const char* name : kDatums) datum->addItem(name);
  auto* grid = new QGridLayout;
  grid->addWidget(d.AddControl(D::kLatLonRadio, new QRadioButton("Lat/Lon")), 0, 0);
  grid->addWidget(d.AddControl(D::kUtmRadio, new QRadioButton("UTM Grid")), 1, 0);
  auto* zone = new QHBoxLayout;
  zone->addWidget(new QLabel("Zone:"));
  zone->addWidget(d.AddControl(D::kZoneEdit, new QLineEdit));
  grid->addLayout(zone, 1, 1);
  grid->addWidget(
      d.AddControl(D::kOsgbRadio, new QRadioButton("Ordnance Survey Great Britain")), 2, 0, 1, 2);
  grid->addWidget(d.AddControl(D::kPrjFileRadio, new QRadioButton("PRJ file")), 3, 0);
  auto* prj = new QHBoxLayout;
  prj->addWidget(d.AddControl(D::kPrjPathEdit, new QLineEdit), 1);
  prj->addWidget(d.AddControl(D::kBrowseButton, new QPushButton("...")));
  grid->addLayout(prj, 3, 1);
  grid->addWidget(d.AddControl(D::kProjRadio, new QRadioButton("PROJ Parameters")), 4, 0);
  grid->addWidget(d.AddControl(D::kProjTextEdit, new QLineEdit), 4, 1);
  grid->addWidget(new QLabel("Datum:"), 5, 0);
  grid->addWidget(d.AddControl(D::kDatumCombo, datum), 5, 1);
  layout->addLayout(grid);
  vd::ui::AddButtonRow(d, layout,
                       {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}, {vd::ui::kIdHelp, "Help"}},
                       vd::ui::kIdOk);
}

// As atoi: the number that starts the text, 0 when none does.
int32_t IntOf(std::string_view text) {
  int64_t value = 0;
  if (!vd::os::ParseInt64(text, value)) return 0;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

bool ValidZone(int32_t zone) {
  return zone >= ProjectionChoice::kFirstUtmZone && zone <= ProjectionChoice::kLastUtmZone;
}

// The file goes to the temporary folder: a link found there is replaced, never followed.
bool WriteTextFile(const std::string& path, const std::string& text) {
  vd::os::AtomicFileWriter writer;
  return writer.Open(path, vd::os::Links::kReplace) && writer.file().Write(text.data(), text.size()) && writer.Commit();
}

}  // namespace

std::string ProjectionChoice::Format() const {
  return datum + kSeparator + prj_path + kSeparator + proj_text + kSeparator +
         vd::os::FormatC("%d|%d|", kind, zone);
}

ProjectionChoice ProjectionChoice::Parse(std::string_view text) {
  ProjectionChoice choice;
  std::vector<std::string_view> fields;
  while (!text.empty()) {
    const size_t end = text.find(kSeparator);
    fields.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (fields.size() > 0) choice.datum = fields[0];
  if (fields.size() > 1) choice.prj_path = fields[1];
  if (fields.size() > 2) choice.proj_text = fields[2];
  if (fields.size() > 3) choice.kind = IntOf(fields[3]);
  if (fields.size() > 4) choice.zone = IntOf(fields[4]);
  return choice;
}

bool ProjectionChoice::ApplyTo(CProjection& projection) const {
  projection.SetDatumName(datum);
  switch (kind) {
    case kLatLon: return projection.SetLatLong();
    case kUtm: return ValidZone(zone) && projection.SetUtmZone(zone);
    case kOsgb: return projection.SetOsgbGrid();
    case kPrjFile: return projection.LoadPrj(prj_path);
    case kProjParameters: return projection.SetFromProjString(proj_text);
    default: return false;
  }
}

std::optional<std::string> ProjectionChoice::ProjLine(std::string* datum_out) const {
  std::string line_datum = datum;
  std::optional<std::string> line;
  switch (kind) {
    case kLatLon:
      line = vd::os::FormatC("+proj=latlong +datum=%s", datum == "NAD27" ? "NAD27" : "WGS84");
      break;
    case kUtm:
      if (ValidZone(zone))
        line = vd::os::FormatC("+proj=utm +zone=%d +ellps=%s", zone,
                               datum == "NAD27" ? "clrk66" : "GRS80");
      break;
    case kOsgb:
      line = kOsgbProjLine;
      line_datum = kOsgbDatum;
      break;
    case kProjParameters:
      line = proj_text;
      break;
    default:
      break;
  }
  if (line && datum_out) *datum_out = line_datum;
  return line;
}

void CDlgProjection::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildProjectionDialog);
}

CDlgProjection::CDlgProjection(QWidget* parent) : CDialogF1Help(kTemplate, parent) {
  RegisterTemplate();
  const std::string stored = vd::OpenAppProfile()
                                 .GetString(vd::kSettingsSection, kDefaultProjectionSetting)
                                 .value_or("");
  if (!stored.empty()) choice_ = ProjectionChoice::Parse(stored);
}

bool CDlgProjection::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  auto* datum = window->ControlAs<QComboBox>(kDatumCombo);
  const QString name = QString::fromStdString(choice_.datum);
  if (datum->findText(name) < 0) datum->addItem(name);
  datum->setCurrentIndex(datum->findText(name));
  SetItemText(kPrjPathEdit, choice_.prj_path);
  SetItemText(kProjTextEdit, choice_.proj_text);
  SetItemText(kZoneEdit, std::to_string(choice_.zone));
  // A stored kind that is none of the radios opens as Lat/Lon.
  const bool known = choice_.kind >= kLatLonRadio && choice_.kind <= kProjRadio;
  window->SetCheckState(known ? choice_.kind : kLatLonRadio, 1);
  EnableForKind();
  return true;
}

int CDlgProjection::CheckedKind() const {
  for (int id = kLatLonRadio; id <= kProjRadio; ++id)
    if (dialog_window()->CheckState(id) == 1) return id;
  return kLatLonRadio;
}

void CDlgProjection::EnableForKind() {
  vd::ui::DialogWindow* window = dialog_window();
  const int kind = CheckedKind();
  if (kind == kOsgbRadio) {
    auto* datum = window->ControlAs<QComboBox>(kDatumCombo);
    datum->setCurrentIndex(datum->findText(kOsgbDatum));
  }
  window->EnableItem(kDatumCombo, kind != kOsgbRadio);
  window->EnableItem(kZoneEdit, kind == kUtmRadio);
  window->EnableItem(kPrjPathEdit, kind == kPrjFileRadio);
  window->EnableItem(kBrowseButton, kind == kPrjFileRadio);
  window->EnableItem(kProjTextEdit, kind == kProjRadio);
}

void CDlgProjection::OnCommand(int id, QWidget* control, int code) {
  if (id >= kLatLonRadio && id <= kProjRadio) {
    EnableForKind();
    return;
  }
  if (id == kBrowseButton) {
    if (std::optional<std::string> path = vd::ui::GetOpenFilePath(
            widget(), "PRJ file", "PRJ Files (*.prj)|*.prj||", GetItemText(kPrjPathEdit)))
      SetItemText(kPrjPathEdit, *path);
    return;
  }
  CDialogF1Help::OnCommand(id, control, code);
}

void CDlgProjection::OnOK() {
  ProjectionChoice choice;
  choice.datum = GetItemText(kDatumCombo);
  choice.prj_path = GetItemText(kPrjPathEdit);
  choice.proj_text = GetItemText(kProjTextEdit);
  choice.kind = CheckedKind();
  choice.zone = IntOf(GetItemText(kZoneEdit));
  // The setting separates its fields with '|'.
  for (const std::string* text : {&choice.datum, &choice.prj_path, &choice.proj_text}) {
    if (text->find(kSeparator) != std::string::npos) {
      FormatMessageBox(vd::ui::kMbIconWarning, "%s", "The projection may not contain '|'.");
      return;
    }
  }
  if (choice.kind == kUtmRadio && !ValidZone(choice.zone)) {
    FormatMessageBox(vd::ui::kMbIconWarning, "The UTM zone must be from %d to %d.",
                     ProjectionChoice::kFirstUtmZone, ProjectionChoice::kLastUtmZone);
    if (QWidget* zone = GetItem(kZoneEdit)) zone->setFocus();
    return;
  }
  choice_ = choice;
  vd::OpenAppProfile().SetString(vd::kSettingsSection, kDefaultProjectionSetting,
                                 choice_.Format());
  CDialogF1Help::OnOK();
}

bool CDlgProjection::WriteProjectionFile(const std::string& path) const {
  std::string datum;
  const std::optional<std::string> line = choice_.ProjLine(&datum);
  if (!line) return false;
  return WriteTextFile(path, *line + "\n") &&
         WriteTextFile(GetPathDirectory(path) + "/Datum.txt", datum);
}

bool ChooseDefaultMapProjection(QWidget* parent, const std::string& temp_folder) {
  CDlgProjection dialog(parent);
  if (dialog.DoModal() != vd::ui::kIdOk) return false;
  const std::string path = temp_folder + "/default_proj.dat";
  if (!dialog.WriteProjectionFile(path)) {
    FormatMessageBox(vd::ui::kMbIconWarning, "%s",
                     "Sorry: that projection is not supported for map import\n");
    return false;
  }
  vd::OpenAppProfile().SetString(vd::kSettingsSection, kDefaultProjDatSetting, path);
  return true;
}
