#include "corvex/ui/line_style_controls.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <string>

#include "overlays/ostrel_object.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_window.h"

namespace {

using L = CLineStyleControls;

QComboBox* Combo(std::initializer_list<const char*> items) {
  auto* combo = new QComboBox;
  for (const char* item : items) combo->addItem(item);
  return combo;
}

}  // namespace

void CLineStyleControls::Add(vd::ui::DialogWindow& d, QBoxLayout* layout) {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Line width:"), 0, 0);
  grid->addWidget(d.AddControl(kWidthCombo, Combo({"Thin", "Normal", "Thick", "Very thick"})), 0, 1);
  grid->addWidget(new QLabel("Line style:"), 1, 0);
  grid->addWidget(
      d.AddControl(kStyleCombo, Combo({"Solid", "Dash", "Dot", "Dash-dot", "Dash-dot-dot"})), 1, 1);
  grid->addWidget(new QLabel("Transparency:"), 2, 0);
  grid->addWidget(
      d.AddControl(kTransparencyCombo, Combo({"Opaque", "25%", "50%", "75%", "Faint"})), 2, 1);
  grid->addWidget(d.AddControl(kColourButton, new QPushButton("Choose...")), 3, 0);
  grid->addWidget(d.AddControl(kSaveDefault, new QPushButton("Save default style")), 3, 1);
  layout->addLayout(grid);
}

void CLineStyleControls::Show(vd::ui::DialogWindow& d, const LineStyleFields& f) {
  d.ControlAs<QComboBox>(kWidthCombo)->setCurrentIndex(f.thickness);
  d.ControlAs<QComboBox>(kStyleCombo)->setCurrentIndex(f.line_style);
  d.ControlAs<QComboBox>(kTransparencyCombo)->setCurrentIndex(f.transparency);
}

bool CLineStyleControls::OnCommand(vd::ui::DialogWindow& d, int id, COstrelObject& object,
                                   const LineStyleFields& f, const char* prefix) {
  uint8_t* field = id == kWidthCombo ? &f.thickness
                   : id == kStyleCombo ? &f.line_style
                   : id == kTransparencyCombo ? &f.transparency
                                              : nullptr;
  if (field) {
    const int index = d.ControlAs<QComboBox>(id)->currentIndex();
    if (index < 0) return true;
    *field = static_cast<uint8_t>(index);
  } else if (id == kColourButton) {
    const auto colour = vd::ui::ChooseColor(d.widget(), f.colour);
    if (!colour) return true;
    f.colour = *colour;
  } else if (id == kSaveDefault) {
    const std::string p = prefix;
    WriteSettingInt("Settings", (p + "_color").c_str(), static_cast<int32_t>(f.colour));
    WriteSettingInt("Settings", (p + "_thickness").c_str(), f.thickness);
    WriteSettingInt("Settings", (p + "_style").c_str(), f.line_style);
    WriteSettingInt("Settings", (p + "_trans").c_str(), f.transparency);
    return true;
  } else {
    return false;
  }
  object.NotifyChange(kChangeModified);
  return true;
}
