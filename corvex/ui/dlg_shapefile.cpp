#include "corvex/ui/dlg_shapefile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "corvex/ui/dialog_controls.h"
#include "overlays/exchange/dbase_file.h"
#include "platform/os/numbers.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"

namespace {

using D = CDlgShapefile;

constexpr char kExampleStart[] = " (eg, ";
constexpr size_t kExampleLength = 20;

// Profile names of the stored choices and their defaults.
constexpr char kJoinKey[] = "join";
constexpr char kJoinDistanceKey[] = "join_dist";
constexpr char kNameKey[] = "name";
constexpr char kCommentKey[] = "comment";
constexpr char kLinkKey[] = "link";
constexpr char kFilterKey[] = "filter";
constexpr char kCategoryKey[] = "category";
constexpr char kColourKey[] = "color";
constexpr int32_t kDefaultJoinDistance = 50;
constexpr char kDefaultNameTemplate[] = "%NAME%";
constexpr char kNoNameFieldTemplate[] = "%Filename%_%Index%";
constexpr int32_t kDefaultColour = 255;

// The templates with the button that adds a field to each.
constexpr std::pair<int, int> kTemplateButtons[] = {{D::kAddNameButton, D::kNameEdit},
                                                    {D::kAddCommentButton, D::kCommentEdit},
                                                    {D::kAddLinkButton, D::kLinkEdit},
                                                    {D::kAddCategoryButton, D::kCategoryEdit}};

void BuildShapefileDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Shapefile settings");
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  int row = 0;
  grid->addWidget(new QLabel("Type:"), row, 0);
  grid->addWidget(d.AddControl(D::kTypeText, new QLabel), row++, 1, 1, 3);
  grid->addWidget(new QLabel("Records:"), row, 0);
  auto* range = new QHBoxLayout;
  range->addWidget(d.AddControl(D::kFromEdit, new QLineEdit));
  range->addWidget(new QLabel("to"));
  range->addWidget(d.AddControl(D::kToEdit, new QLineEdit));
  grid->addLayout(range, row++, 1, 1, 3);
  grid->addWidget(new QLabel("Fields:"), row, 0);
  grid->addWidget(d.AddControl(D::kFieldCombo, new QComboBox), row++, 1, 1, 3);
  const struct {
    const char* label;
    int edit, button;
  } templates[] = {{"Name:", D::kNameEdit, D::kAddNameButton},
                   {"Comment:", D::kCommentEdit, D::kAddCommentButton},
                   {"Hot-spot link:", D::kLinkEdit, D::kAddLinkButton},
                   {"Category:", D::kCategoryEdit, D::kAddCategoryButton}};
  for (const auto& t : templates) {
    grid->addWidget(new QLabel(t.label), row, 0);
    grid->addWidget(d.AddControl(t.edit, new QLineEdit), row, 1, 1, 2);
    grid->addWidget(d.AddControl(t.button, new QPushButton("<< Add")), row++, 3);
  }
  grid->addWidget(new QLabel("Filter:"), row, 0);
  grid->addWidget(d.AddControl(D::kFilterEdit, new QLineEdit), row++, 1, 1, 3);
  layout->addLayout(grid);
  layout->addWidget(new QLabel(
      "Import only records where the category matches this pattern (use * and ? wildcards)"));

  auto* join = new QHBoxLayout;
  join->addWidget(d.AddControl(D::kJoinCheck, new QCheckBox("Join lines closer than")));
  join->addWidget(d.AddControl(D::kJoinDistanceEdit, new QLineEdit));
  join->addWidget(new QLabel("metres"));
  layout->addLayout(join);
  auto* colour = new QHBoxLayout;
  colour->addWidget(new QLabel("Colour:"));
  colour->addWidget(d.AddControl(D::kColourCombo, new CColorCombo), 1);
  colour->addWidget(d.AddControl(D::kColourButton, new QPushButton("...")));
  layout->addLayout(colour);

  vd::ui::AddButtonRow(d, layout,
                       {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}, {vd::ui::kIdHelp, "Help"}},
                       vd::ui::kIdOk);
}

// The colour list has no meta-object of its own to cast by.
CColorCombo* ColoursOf(const vd::ui::DialogWindow& window) {
  return static_cast<CColorCombo*>(window.ControlAs<QComboBox>(D::kColourCombo));
}

// As atoi: the number that starts the text, 0 when none does.
int32_t IntOf(const std::string& text) {
  int64_t value = 0;
  if (!vd::os::ParseInt64(text, value)) return 0;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

std::string ShapeTypeName(int32_t shape_type) {
  switch (shape_type) {
    case 0: return "Null Shape";
    case 1: return "Point";
    case 3: return "PolyLine";
    case 5: return "Polygon";
    case 8: return "MultiPoint";
    case 11: return "PointZ";
    case 13: return "PolyLineZ";
    case 15: return "PolygonZ";
    case 18: return "MultiPointZ";
    case 21: return "PointM";
    case 23: return "PolyLineM";
    case 25: return "PolygonM";
    case 28: return "MultiPointM";
    case 31: return "MultiPatch";
    default: return "Unknown";
  }
}

void CDlgShapefile::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildShapefileDialog);
}

CDlgShapefile::CDlgShapefile(int32_t shape_type, int32_t record_count, CDBaseFile* table,
                             QWidget* parent)
    : CDialogF1Help(kTemplate, parent),
      type_name_(ShapeTypeName(shape_type)),
      record_count_(std::max(record_count, 0)),
      table_(table) {
  RegisterTemplate();
}

bool CDlgShapefile::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  const auto text = [&](const char* key, const std::string& fallback) {
    return profile.GetString(kSection, key).value_or(fallback);
  };
  std::string name = text(kNameKey, kDefaultNameTemplate);
  if ((!table_ || table_->FindField("NAME") < 0) && name.find("NAME") != std::string::npos)
    name = kNoNameFieldTemplate;
  std::string category = text(kCategoryKey, type_name_);
  if (category.find('%') == std::string::npos) category = type_name_;

  SetItemText(kTypeText, type_name_);
  SetItemText(kFromEdit, "1");
  SetItemText(kToEdit, std::to_string(record_count_));
  SetItemText(kNameEdit, name);
  SetItemText(kCommentEdit, text(kCommentKey, ""));
  SetItemText(kLinkEdit, text(kLinkKey, ""));
  SetItemText(kCategoryEdit, category);
  SetItemText(kFilterEdit, text(kFilterKey, ""));
  window->SetCheckState(kJoinCheck, profile.GetInt(kSection, kJoinKey).value_or(0) != 0 ? 1 : 0);
  SetItemText(kJoinDistanceEdit,
              std::to_string(profile.GetInt(kSection, kJoinDistanceKey).value_or(kDefaultJoinDistance)));
  auto* colours = ColoursOf(*window);
  colours->FillStandard();
  colours->Select(static_cast<vd::ui::ColourRef>(
      profile.GetInt(kSection, kColourKey).value_or(kDefaultColour)));

  auto* fields = window->ControlAs<QComboBox>(kFieldCombo);
  for (int i = 0; table_ && i < table_->field_count(); ++i) {
    std::string example;
    if (table_->record_count() > 0) table_->ReadField(0, i, example);
    if (example.size() > kExampleLength) example.resize(kExampleLength);
    fields->addItem(QString::fromStdString(*table_->GetFieldName(i) + kExampleStart + example + ")"));
  }
  fields->addItem("Filename");
  fields->addItem("Index");
  fields->setCurrentIndex(0);

  const bool lines = type_name_.find("PolyLine") != std::string::npos;
  const bool areas = type_name_.find("Polygon") != std::string::npos;
  const bool points = type_name_.find("Point") != std::string::npos;
  window->EnableItem(kJoinCheck, lines);
  window->EnableItem(kColourCombo, lines || areas);
  window->EnableItem(kColourButton, lines || areas);
  for (int id : {kCommentEdit, kAddCommentButton, kLinkEdit, kAddLinkButton})
    window->EnableItem(id, points);
  EnableJoinDistance();
  return true;
}

void CDlgShapefile::EnableJoinDistance() {
  vd::ui::DialogWindow* window = dialog_window();
  window->EnableItem(kJoinDistanceEdit,
                     GetItem(kJoinCheck)->isEnabled() && window->CheckState(kJoinCheck) == 1);
}

void CDlgShapefile::AddField(int edit_id) {
  std::string field = GetItemText(kFieldCombo);
  if (field.empty()) return;
  field = field.substr(0, field.find(kExampleStart));
  SetItemText(edit_id, GetItemText(edit_id) + "%" + field + "%");
}

void CDlgShapefile::OnCommand(int id, QWidget* control, int code) {
  for (const auto& [button, edit] : kTemplateButtons) {
    if (id == button) {
      AddField(edit);
      return;
    }
  }
  switch (id) {
    case kJoinCheck:
      EnableJoinDistance();
      return;
    case kColourButton: {
      auto* colours = ColoursOf(*dialog_window());
      const vd::ui::ColourRef current = colours->GetSelectedColour().value_or(kDefaultColour);
      if (std::optional<vd::ui::ColourRef> chosen = vd::ui::ChooseColor(widget(), current))
        colours->Select(*chosen);
      return;
    }
    default:
      CDialogF1Help::OnCommand(id, control, code);
  }
}

void CDlgShapefile::OnOK() {
  vd::ui::DialogWindow* window = dialog_window();
  ShapefileImportOptions options;
  options.first_record = std::clamp(IntOf(GetItemText(kFromEdit)), 1, std::max(record_count_, 1));
  options.last_record = std::clamp(IntOf(GetItemText(kToEdit)), options.first_record,
                                   std::max(record_count_, options.first_record));
  options.name_template = GetItemText(kNameEdit);
  options.comment_template = GetItemText(kCommentEdit);
  options.link_template = GetItemText(kLinkEdit);
  options.category_template = GetItemText(kCategoryEdit);
  options.filter = GetItemText(kFilterEdit);
  options.join = window->CheckState(kJoinCheck) == 1;
  options.join_distance = std::max(0, IntOf(GetItemText(kJoinDistanceEdit)));
  options.track_colour = ColoursOf(*window)
                             ->GetSelectedColour()
                             .value_or(kDefaultColour);
  options_ = options;

  vd::os::ProfileStore profile = vd::OpenAppProfile();
  profile.SetInt(kSection, kJoinKey, options.join ? 1 : 0);
  profile.SetInt(kSection, kJoinDistanceKey, options.join_distance);
  profile.SetString(kSection, kNameKey, options.name_template);
  profile.SetString(kSection, kCommentKey, options.comment_template);
  profile.SetString(kSection, kLinkKey, options.link_template);
  profile.SetString(kSection, kFilterKey, options.filter);
  profile.SetString(kSection, kCategoryKey, options.category_template);
  profile.SetInt(kSection, kColourKey, static_cast<int32_t>(options.track_colour));
  CDialogF1Help::OnOK();
}

std::optional<ShapefileImportOptions> AskShapefileImport(const std::string& path,
                                                         QWidget* parent, std::string* error) {
  const ShapefileSummary summary = ReadShapefileSummary(path);
  if (!summary.error.empty()) {
    if (error) *error = summary.error;
    return std::nullopt;
  }
  CDBaseFile table;
  const bool has_table = table.Open(ReplacePathExtension(path, "dbf"));
  CDlgShapefile dialog(summary.shape_type, summary.record_count, has_table ? &table : nullptr,
                       parent);
  if (dialog.DoModal() != vd::ui::kIdOk) return std::nullopt;
  return dialog.options();
}
