#include "corvex/ui/dlg_mark_props.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "app/app_common.h"
#include "corvex/ui/dialog_controls.h"
#include "overlays/icon_library.h"
#include "platform/os/numbers.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"

namespace {

using D = CDlgMarkProps;

constexpr const char* kCircleModes[] = {"Hide circle", "Show, no alarm", "Proximity alarm",
                                        "Anchor alarm"};

void BuildMarkDialog(vd::ui::DialogWindow& d) {
  auto* layout = new QVBoxLayout(&d);
  auto* grid = new QGridLayout;
  int row = 0;
  auto add = [&](const char* label, QWidget* control) {
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(control, row++, 1, 1, 2);
  };
  add("Position:", d.AddControl(D::kPositionEdit, new QLineEdit));
  add("Comment:", d.AddControl(D::kCommentEdit, new QPlainTextEdit));
  add("Name on GPS:", d.AddControl(D::kShortNameEdit, new QLineEdit));
  grid->addWidget(d.AddControl(D::kShowNameCheck, new QCheckBox("Show name")), row++, 1);
  add("Symbol:", d.AddControl(D::kSymbolCombo, new CIconCombo));
  grid->addWidget(d.AddControl(D::kColourButton, new QPushButton("Color...")), row, 1);
  grid->addWidget(d.AddControl(D::kColourBox, new CColorBox), row++, 2);
  grid->addWidget(new QLabel("Circle radius:"), row, 0);
  grid->addWidget(d.AddControl(D::kRadiusEdit, new QLineEdit), row, 1);
  grid->addWidget(d.AddControl(D::kRadiusUnit, new CUnitCombo), row++, 2);
  auto* modes = new QComboBox;
  for (const char* mode : kCircleModes) modes->addItem(mode);
  grid->addWidget(d.AddControl(D::kCircleModeCombo, modes), row++, 1, 1, 2);
  grid->addWidget(new QLabel("Linked file:"), row, 0);
  grid->addWidget(d.AddControl(D::kLinkEdit, new QLineEdit), row, 1);
  grid->addWidget(d.AddControl(D::kBrowseButton, new QPushButton("Browse...")), row++, 2);
  grid->addWidget(d.AddControl(D::kMakeDefaultCheck, new QCheckBox("Make default")), row++, 1);
  layout->addLayout(grid);
  AddPropsButtons(d, layout);
}


}  // namespace

void CDlgMarkProps::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate)) vd::ui::RegisterDialogTemplate(kTemplate, BuildMarkDialog);
}

CDlgMarkProps::CDlgMarkProps(CObjWaypoint* mark, QWidget* parent)
    : CObjectPropsDialog(mark, kTemplate, parent) {
  RegisterTemplate();
  CreateWindow();
}

bool CDlgMarkProps::OnInitDialog(QWidget* focus, intptr_t param) {
  vd::ui::DialogWindow* window = dialog_window();
  window->setWindowTitle(QString::fromStdString(mark().name));
  Item<CUnitCombo>(kRadiusUnit)->Fill();
  auto* symbols = Item<CIconCombo>(kSymbolCombo);
  CIconLibrary& library = CIconLibrary::Get();
  library.EnsureLoaded();
  for (int slot = 0; slot < CIconLibrary::kSlotCount; ++slot) {
    const CIconLibraryEntry* entry = library.Entry(slot);
    if (!entry || (slot > 0 && entry->number == 0)) continue;
    symbols->AddItem(entry->image, entry->hot_spot_x, entry->hot_spot_y, entry->name,
                     entry->number);
  }
  symbols->AddItem(nullptr, 0, 0, "File icon", CIconCombo::kFileIconKey);
  QObject::connect(window->ControlAs<QLineEdit>(kShortNameEdit), &QLineEdit::editingFinished,
                   window, [this] { ApplyShortName(); });
  return CObjectPropsDialog::OnInitDialog(focus, param);
}

void CDlgMarkProps::Refresh() {
  CObjWaypoint& m = mark();
  std::string position;
  FormatPositionText(m.position.lat, m.position.lon, position);
  ShowText(kPositionEdit, position);
  Enable(kPositionEdit, !m.locked);
  std::string comment;
  for (char c : m.comment)
    if (c != '\r') comment += c;
  ShowText(kCommentEdit, comment);
  ShowText(kShortNameEdit, m.short_name);
  ShowCheck(kShowNameCheck, m.label_mode != CObjWaypoint::kLabelSymbolOnly);
  if (auto* symbols = Item<CIconCombo>(kSymbolCombo))
    symbols->SelectKey(m.symbol);
  const bool layer = m.HasColourLayer();
  Enable(kColourButton, layer);
  Item<CColorBox>(kColourBox)->SetColour(layer ? m.colour : kNoColourLayer);
  ShowRadius(false);
  SelectCombo(kCircleModeCombo, std::clamp(m.circle_mode, 0, 3));
  ShowText(kLinkEdit, m.link);
  ShowCheck(kMakeDefaultCheck, IsDefaultSymbol());
}

void CDlgMarkProps::ShowRadius(bool even_when_focused) {
  const float factor = Item<CUnitCombo>(kRadiusUnit)->GetFactor();
  if (factor <= 0.0f || (!even_when_focused && (HasFocus(kRadiusEdit) || HasFocus(kRadiusUnit))))
    return;
  // The rounded text shown is not read back as a new radius.
  showing_radius_ = true;
  SetItemText(kRadiusEdit, vd::os::FormatC("%.1f", mark().radius * factor * kNmPerMetre));
  showing_radius_ = false;
}

void CDlgMarkProps::OnControl(int id, int code) {
  CObjWaypoint& m = mark();
  switch (id) {
    case kPositionEdit: {
      if (code != vd::ui::kEnChange || m.locked) return;
      double lat = 0.0, lon = 0.0;
      if (ParsePositionText(GetItemText(kPositionEdit), lat, lon)) m.position = {lat, lon};
      m.NotifyRoutes(kChangeModified);
      m.NotifyChange(kChangeModified);
      return;
    }
    case kCommentEdit: {
      if (code != vd::ui::kEnChange) return;
      std::string text = GetItemText(kCommentEdit);
      std::erase(text, '\r');
      if (text == m.comment) return;
      m.comment = text;
      m.modified = static_cast<int32_t>(std::time(nullptr));
      m.NotifyChange(kChangeModified);
      return;
    }
    case kShowNameCheck:
      m.label_mode = IsChecked(kShowNameCheck) ? 0 : CObjWaypoint::kLabelSymbolOnly;
      m.NotifyChange(kChangeModified);
      return;
    case kSymbolCombo: {
      auto* symbols = Item<CIconCombo>(kSymbolCombo);
      const int index = symbols->currentIndex();
      if (index < 0) return;
      m.SetSymbol(symbols->GetKey(index));
      m.NotifyChange(kChangeModified);
      RefreshQuietly();
      return;
    }
    case kColourButton:
      if (const auto colour = vd::ui::ChooseColor(widget(), m.colour)) {
        m.colour = *colour;
        m.SetSymbol(m.symbol);
        m.NotifyChange(kChangeModified);
        RefreshQuietly();
      }
      return;
    case kRadiusEdit:
      if (code == vd::ui::kEnChange && !showing_radius_) ApplyRadius();
      return;
    case kRadiusUnit:
      ShowRadius(true);
      return;
    case kCircleModeCombo:
      if (ComboIndex(kCircleModeCombo) < 0) return;
      m.circle_mode = ComboIndex(kCircleModeCombo);
      m.NotifyChange(kChangeModified);
      return;
    case kLinkEdit:
      if (code != vd::ui::kEnChange) return;
      m.link = GetItemText(kLinkEdit);
      if (m.symbol == CObjWaypoint::kFileSymbol) m.SetSymbol(m.symbol);
      m.NotifyChange(kChangeModified);
      return;
    case kBrowseButton:
      if (const auto path = vd::ui::GetOpenFilePath(widget(), "", "All Files (*.*)|*.*||", m.link))
        SetItemText(kLinkEdit, *path);
      return;
    case kMakeDefaultCheck:
      if (IsChecked(kMakeDefaultCheck)) MakeDefault();
      return;
    default:
      return;
  }
}

void CDlgMarkProps::ApplyShortName() {
  CObjWaypoint& m = mark();
  const std::string text = GetItemText(kShortNameEdit);
  if (text == m.short_name) return;
  m.short_name = text;
  m.NotifyChange(kChangeModified);
}

void CDlgMarkProps::ApplyRadius() {
  const float factor = Item<CUnitCombo>(kRadiusUnit)->GetFactor();
  const std::optional<double> value = ParseNumber(GetItemText(kRadiusEdit));
  if (!value || factor <= 0.0f) return;
  mark().radius = static_cast<float>(*value * 1852.0 / factor);
  mark().NotifyChange(kChangeEditState);
}

void CDlgMarkProps::MakeDefault() {
  CObjWaypoint& m = mark();
  const bool route_point = m.HasRoutes();
  WriteSettingInt("settings", route_point ? "def_wp" : "def_mark", m.symbol);
  WriteSettingInt("settings", route_point ? "def_wp_color" : "def_mark_color",
                  static_cast<int32_t>(m.colour));
  if (CAppCommon* app = App()) {
    (route_point ? app->default_route_point_symbol : app->default_mark_symbol) = m.symbol;
    (route_point ? app->default_route_point_colour : app->default_mark_colour) =
        static_cast<int>(m.colour);
  }
}

bool CDlgMarkProps::IsDefaultSymbol() const {
  const CAppCommon* app = App();
  if (!app) return false;
  const CObjWaypoint& m = mark();
  const bool route_point = m.HasRoutes();
  const int symbol = route_point ? app->default_route_point_symbol : app->default_mark_symbol;
  const int colour = route_point ? app->default_route_point_colour : app->default_mark_colour;
  return m.symbol == symbol && (!m.HasColourLayer() || static_cast<int>(m.colour) == colour);
}
