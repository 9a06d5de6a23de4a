#include "corvex/ui/dlg_text_props.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/app_common.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/surface.h"

namespace {

using D = CDlgTextProps;

constexpr uint32_t kAlignmentBits = vd::ui::kDrawTextCenter | vd::ui::kDrawTextRight;
constexpr uint32_t kLineBits = vd::ui::kDrawTextWordBreak | vd::ui::kDrawTextSingleLine;

void BuildTextDialog(vd::ui::DialogWindow& d) {
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(d.AddControl(D::kTextEdit, new QPlainTextEdit));
  auto* grid = new QGridLayout;
  int row = 0;
  grid->addWidget(new QLabel("Position:"), row, 0);
  grid->addWidget(d.AddControl(D::kPositionEdit, new QLineEdit), row++, 1, 1, 3);
  grid->addWidget(d.AddControl(D::kFontButton, new QPushButton("Font...")), row, 0);
  grid->addWidget(d.AddControl(D::kTextColourButton, new QPushButton("Font color...")), row, 1);
  grid->addWidget(d.AddControl(D::kBackgroundButton, new QPushButton("Background...")), row++, 2);
  grid->addWidget(d.AddControl(D::kSolidCheck, new QCheckBox("Solid background")), row, 0, 1, 2);
  grid->addWidget(d.AddControl(D::kMultiLineCheck, new QCheckBox("Multi-line")), row++, 2, 1, 2);
  // One parent for the three radios makes them exclusive among themselves only.
  auto* alignment = new QWidget;
  auto* radios = new QHBoxLayout(alignment);
  radios->setContentsMargins(0, 0, 0, 0);
  radios->addWidget(d.AddControl(D::kLeftRadio, new QRadioButton("Left")));
  radios->addWidget(d.AddControl(D::kCentreRadio, new QRadioButton("Center")));
  radios->addWidget(d.AddControl(D::kRightRadio, new QRadioButton("Right")));
  grid->addWidget(alignment, row++, 0, 1, 4);
  layout->addLayout(grid);
  AddPropsButtons(d, layout);
}

vd::ui::Font ToFont(const TextFontRecord& record) {
  vd::ui::Font font;
  font.face = record.face;
  font.height = record.height;
  font.weight = record.weight;
  font.italic = record.italic != 0;
  font.underline = record.underline != 0;
  font.strike_out = record.strike_out != 0;
  font.escapement = record.escapement;
  return font;
}

// Keeps the record's fields the chooser does not know (width, character set, ...).
void StoreFont(const vd::ui::Font& font, TextFontRecord& record) {
  record.face = font.face;
  record.height = font.height;
  record.weight = font.weight;
  record.italic = font.italic ? 1 : 0;
  record.underline = font.underline ? 1 : 0;
  record.strike_out = font.strike_out ? 1 : 0;
  record.escapement = font.escapement;
}

std::string WithoutCarriageReturns(std::string text) {
  std::erase(text, '\r');
  return text;
}

}  // namespace

void CDlgTextProps::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate)) vd::ui::RegisterDialogTemplate(kTemplate, BuildTextDialog);
}

CDlgTextProps::CDlgTextProps(CObjText* note, QWidget* parent)
    : CObjectPropsDialog(note, kTemplate, parent) {
  RegisterTemplate();
  CreateWindow();
}

bool CDlgTextProps::OnInitDialog(QWidget* focus, intptr_t param) {
  dialog_window()->setWindowTitle(QString::fromStdString(note().name));
  return CObjectPropsDialog::OnInitDialog(focus, param);
}

void CDlgTextProps::Refresh() {
  // The owner may call this directly: the formatted position must not be read back.
  const bool was = filling_;
  filling_ = true;
  const CObjText& n = note();
  ShowText(kTextEdit, WithoutCarriageReturns(n.text));
  Enable(kTextEdit, !n.locked);
  std::string position;
  FormatPositionText(n.position.lat, n.position.lon, position);
  ShowText(kPositionEdit, position);
  Enable(kPositionEdit, !n.locked);
  ShowCheck(kSolidCheck, n.fill_background);
  Enable(kBackgroundButton, n.fill_background);
  const bool multi_line = (n.text_format & vd::ui::kDrawTextWordBreak) != 0;
  ShowCheck(kMultiLineCheck, multi_line);
  const uint32_t alignment = n.text_format & kAlignmentBits;
  const int radios[] = {kLeftRadio, kCentreRadio, kRightRadio};
  for (uint32_t i = 0; i < 3; ++i) {
    ShowCheck(radios[i], alignment == i);
    Enable(radios[i], multi_line);
  }
  filling_ = was;
}

void CDlgTextProps::OnControl(int id, int code) {
  if (filling_) return;
  CObjText& n = note();
  switch (id) {
    case kTextEdit: {
      if (code != vd::ui::kEnChange || n.locked) return;
      const std::string text = WithoutCarriageReturns(GetItemText(kTextEdit));
      if (text == WithoutCarriageReturns(n.text)) return;
      n.text = text;
      n.NotifyChange(kChangeModified);
      return;
    }
    case kPositionEdit: {
      if (code != vd::ui::kEnChange || n.locked) return;
      double lat = 0.0, lon = 0.0;
      if (ParsePositionText(GetItemText(kPositionEdit), lat, lon)) n.position = {lat, lon};
      n.NotifyChange(kChangeModified);
      return;
    }
    case kFontButton:
      ChooseFont();
      return;
    case kTextColourButton:
    case kBackgroundButton: {
      vd::ui::ColourRef& colour = id == kTextColourButton ? n.text_colour : n.background_colour;
      if (const auto chosen = vd::ui::ChooseColor(widget(), colour)) {
        colour = *chosen;
        Changed();
      }
      return;
    }
    case kSolidCheck:
      n.fill_background = IsChecked(kSolidCheck);
      Changed();
      return;
    case kMultiLineCheck:
      n.text_format = (n.text_format & ~kLineBits) |
                      (IsChecked(kMultiLineCheck) ? vd::ui::kDrawTextWordBreak
                                                  : vd::ui::kDrawTextSingleLine);
      Changed();
      return;
    case kLeftRadio:
      SetAlignment(vd::ui::kDrawTextLeft);
      return;
    case kCentreRadio:
      SetAlignment(vd::ui::kDrawTextCenter);
      return;
    case kRightRadio:
      SetAlignment(vd::ui::kDrawTextRight);
      return;
    default:
      return;
  }
}

void CDlgTextProps::ChooseFont() {
  CObjText& n = note();
  const std::optional<vd::ui::Font> font = vd::ui::ChooseFont(widget(), ToFont(n.font));
  if (!font) return;
  StoreFont(*font, n.font);
  Changed();
}

void CDlgTextProps::SetAlignment(uint32_t alignment) {
  CObjText& n = note();
  n.text_format = (n.text_format & ~kAlignmentBits) | alignment;
  Changed();
}

void CDlgTextProps::Changed() {
  note().NotifyChange(kChangeModified);
  RefreshQuietly();
}
