#include "corvex/ui/dlg_print_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/ui/message_boxes.h"
#include "corvex/ui/dialog_controls.h"
#include "platform/os/numbers.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"
#include "platform/ui/printer.h"
#include "platform/ui/responder.h"

namespace {

constexpr int kFixedScales[] = {25000, 50000, 100000};
constexpr int kDefaultBrightness = 80;
constexpr int kDefaultContrast = 150;

// The whole text as a number (blanks around it allowed).
std::optional<double> WholeNumber(const std::string& text) {
  double value = 0.0;
  size_t used = 0;
  if (!vd::os::ParseDouble(text, value, &used)) return std::nullopt;
  if (text.find_first_not_of(" \t", used) != std::string::npos) return std::nullopt;
  return value;
}

void BuildReliefDialog(vd::ui::DialogWindow& d) {
  using D = CDlgReliefShading;
  d.setWindowTitle("Relief Shading");
  auto* layout = new QVBoxLayout(&d);
  auto* form = new QFormLayout;
  form->addRow("Brightness:", d.AddControl(D::kBrightnessEdit, new QLineEdit));
  form->addRow("Contrast:", d.AddControl(D::kContrastEdit, new QLineEdit));
  auto* lighting = new QHBoxLayout;
  lighting->addWidget(d.AddControl(D::kWestRadio, new QRadioButton("West")));
  lighting->addWidget(d.AddControl(D::kEastRadio, new QRadioButton("East")));
  form->addRow("Lighting:", lighting);
  layout->addLayout(form);
  vd::ui::AddButtonRow(d, layout,
                       {{D::kDefaultsButton, "Defaults"},
                        {D::kHelpButton, "Help..."},
                        {vd::ui::kIdOk, "OK"},
                        {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

void BuildPrintDialog(vd::ui::DialogWindow& d) {
  using D = CDlgPrintToScale;
  d.setWindowTitle("Print");
  auto* layout = new QVBoxLayout(&d);

  auto* mode = new QGroupBox("Scaling");
  auto* mode_layout = new QGridLayout(mode);
  mode_layout->addWidget(d.AddControl(D::kSelectedAreaRadio, new QRadioButton("Print Selected Area")),
                         0, 0, 1, 3);
  mode_layout->addWidget(
      d.AddControl(D::kFixedScaleRadio, new QRadioButton("Print at a fixed Scale (full page)")), 1,
      0, 1, 3);
  // The scale radios form a group of their own, apart from the mode radios.
  auto* scales = new QWidget;
  auto* scale_layout = new QGridLayout(scales);
  scale_layout->setContentsMargins(20, 0, 0, 0);
  scale_layout->addWidget(d.AddControl(D::kScale25000Radio, new QRadioButton("1:25,000")), 0, 0);
  scale_layout->addWidget(d.AddControl(D::kScale50000Radio, new QRadioButton("1:50,000")), 0, 1);
  scale_layout->addWidget(d.AddControl(D::kScale100000Radio, new QRadioButton("1:100,000")), 0, 2);
  scale_layout->addWidget(d.AddControl(D::kScaleOtherRadio, new QRadioButton("Other:")), 1, 0);
  scale_layout->addWidget(d.AddControl(D::kScaleEdit, new QLineEdit), 1, 1);
  scale_layout->addWidget(new QLabel("Enter eg 20000 for 1:20,000"), 1, 2);
  mode_layout->addWidget(scales, 2, 0, 1, 3);
  layout->addWidget(mode);

  auto* quality = new QGridLayout;
  quality->addWidget(new QLabel("Dots per inch"), 0, 0);
  quality->addWidget(d.AddControl(D::kResolutionEdit, new QLineEdit), 0, 1);
  quality->addWidget(d.AddControl(D::kReliefCheck, new QCheckBox("Relief shading")), 1, 0);
  quality->addWidget(d.AddControl(D::kReliefSettingsButton, new QPushButton("Settings...")), 1, 1);
  quality->addWidget(d.AddControl(D::kGridCheck, new QCheckBox("Draw grid")), 2, 0);
  quality->addWidget(new QLabel("Line width (Points)"), 2, 1);
  quality->addWidget(d.AddControl(D::kLineWidthEdit, new QLineEdit), 2, 2);
  layout->addLayout(quality);

  // The grid label checks as a cross, each named by its edge, under the caption "Labels".
  auto* labels = new QGridLayout;
  labels->addWidget(new QLabel("Labels"), 0, 0);
  auto* top = d.AddControl(D::kLabelTopCheck, new QCheckBox("Top"));
  auto* left = d.AddControl(D::kLabelLeftCheck, new QCheckBox("Left"));
  auto* right = d.AddControl(D::kLabelRightCheck, new QCheckBox("Right"));
  auto* bottom = d.AddControl(D::kLabelBottomCheck, new QCheckBox("Bottom"));
  top->setToolTip("Grid labels along the top edge");
  left->setToolTip("Grid labels along the left edge");
  right->setToolTip("Grid labels along the right edge");
  bottom->setToolTip("Grid labels along the bottom edge");
  labels->addWidget(top, 0, 1);
  labels->addWidget(left, 1, 0);
  labels->addWidget(right, 1, 2);
  labels->addWidget(bottom, 2, 1);
  labels->addWidget(d.AddControl(D::kColourButton, new QPushButton("Color...")), 1, 3);
  auto* colour = d.AddControl(D::kColourBox, new CColorBox);
  colour->setMinimumSize(24, 16);
  labels->addWidget(colour, 1, 4);
  layout->addLayout(labels);

  auto* margins = new QGroupBox("Margins (Inches)");
  auto* margin_layout = new QFormLayout(margins);
  margin_layout->addRow("Top:", d.AddControl(D::kMarginTopEdit, new QLineEdit));
  margin_layout->addRow("Bottom:", d.AddControl(D::kMarginBottomEdit, new QLineEdit));
  margin_layout->addRow("Left:", d.AddControl(D::kMarginLeftEdit, new QLineEdit));
  margin_layout->addRow("Right:", d.AddControl(D::kMarginRightEdit, new QLineEdit));
  layout->addWidget(margins);

  auto* form = new QFormLayout;
  form->addRow("Title:", d.AddControl(D::kTitleEdit, new QLineEdit));
  form->addRow("Copies:", d.AddControl(D::kCopiesEdit, new QLineEdit));
  layout->addLayout(form);
  vd::ui::AddButtonRow(d, layout,
                       {{D::kPrinterSetupButton, "Printer setup..."},
                        {vd::ui::kIdOk, "Continue..."},
                        {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

void BuildImageExportDialog(vd::ui::DialogWindow& d) {
  using D = CDlgImageExport;
  d.setWindowTitle("Map Image Export");
  auto* layout = new QVBoxLayout(&d);
  auto* form = new QFormLayout;
  form->addRow("Original Size:", d.AddControl(D::kOriginalSizeText, new QLabel));
  form->addRow("Output Size:", d.AddControl(D::kOutputSizeCombo, new QComboBox));
  layout->addLayout(form);
  auto* relief = new QHBoxLayout;
  relief->addWidget(d.AddControl(D::kReliefCheck, new QCheckBox("Add Relief Shading")));
  relief->addWidget(d.AddControl(D::kReliefSettingsButton, new QPushButton("Settings...")));
  layout->addLayout(relief);
  vd::ui::AddButtonRow(d, layout, {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}},
                       vd::ui::kIdOk);
}

// Opens the relief settings over a dialog.
void EditRelief(QWidget* parent) {
  CDlgReliefShading relief(parent);
  relief.DoModal();
}

}  // namespace

// ---- Relief Shading ----

void CDlgReliefShading::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildReliefDialog);
}

CDlgReliefShading::CDlgReliefShading(QWidget* parent)
    : CDialogF1Help(kTemplate, parent), relief_(CReliefOptions::Load()) {
  RegisterTemplate();
}

void CDlgReliefShading::Show(const CReliefOptions& relief) {
  SetItemText(kBrightnessEdit, std::to_string(relief.brightness));
  SetItemText(kContrastEdit, std::to_string(std::abs(relief.contrast)));
  dialog_window()->SetCheckState(kWestRadio, relief.contrast >= 0 ? 1 : 0);
  dialog_window()->SetCheckState(kEastRadio, relief.contrast < 0 ? 1 : 0);
}

bool CDlgReliefShading::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  Show(relief_);
  return true;
}

void CDlgReliefShading::OnCommand(int id, QWidget* control, int code) {
  if (id == kDefaultsButton) {
    CReliefOptions defaults;
    defaults.brightness = kDefaultBrightness;
    defaults.contrast = kDefaultContrast;
    Show(defaults);
    return;
  }
  if (id == kHelpButton) {
    OnHelpInfo();
    return;
  }
  CDialogF1Help::OnCommand(id, control, code);
}

void CDlgReliefShading::OnOK() {
  const std::optional<double> brightness = WholeNumber(GetItemText(kBrightnessEdit));
  if (!brightness || *brightness < kMinBrightness || *brightness > kMaxBrightness) {
    FormatMessageBox(vd::ui::kMbIconWarning, "Please enter a brightness from %d to %d.",
                     kMinBrightness, kMaxBrightness);
    return;
  }
  const std::optional<double> contrast = WholeNumber(GetItemText(kContrastEdit));
  if (!contrast || *contrast < kMinContrast || *contrast > kMaxContrast) {
    FormatMessageBox(vd::ui::kMbIconWarning, "Please enter a contrast from %d to %d.",
                     kMinContrast, kMaxContrast);
    return;
  }
  relief_.brightness = int32_t(*brightness);
  // The sign of the contrast is the lighting side: negative is light from the east.
  const bool east = dialog_window()->CheckState(kEastRadio) == 1;
  relief_.contrast = east ? -int32_t(*contrast) : int32_t(*contrast);
  relief_.Save();
  CDialogF1Help::OnOK();
}

// ---- Print ----

void CDlgPrintToScale::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildPrintDialog);
}

CDlgPrintToScale::CDlgPrintToScale(QWidget* parent, const CPrintOptions& options,
                                   const std::string& title)
    : CDialogF1Help(kTemplate, parent), options_(options), title_(title) {
  RegisterTemplate();
}

bool CDlgPrintToScale::Checked(int id) const { return dialog_window()->CheckState(id) == 1; }

bool CDlgPrintToScale::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow& d = *dialog_window();
  const bool fixed = options_.Has(CPrintOptions::kFixedScale);
  d.SetCheckState(kFixedScaleRadio, fixed ? 1 : 0);
  d.SetCheckState(kSelectedAreaRadio, fixed ? 0 : 1);
  int scale_radio = kScaleOtherRadio;
  for (size_t i = 0; i < std::size(kFixedScales); ++i)
    if (options_.scale == kFixedScales[i]) scale_radio = kScale25000Radio + int(i);
  d.SetCheckState(scale_radio, 1);
  SetItemText(kScaleEdit, std::to_string(options_.scale));
  SetItemText(kResolutionEdit, std::to_string(options_.resolution));
  d.SetCheckState(kReliefCheck, options_.Has(CPrintOptions::kReliefShading) ? 1 : 0);
  d.SetCheckState(kGridCheck, options_.Has(CPrintOptions::kGridLines) ? 1 : 0);
  SetItemText(kLineWidthEdit, std::to_string(options_.grid_line_width));
  d.SetCheckState(kLabelTopCheck, options_.Has(CPrintOptions::kBorderTop) ? 1 : 0);
  d.SetCheckState(kLabelLeftCheck, options_.Has(CPrintOptions::kBorderLeft) ? 1 : 0);
  d.SetCheckState(kLabelRightCheck, options_.Has(CPrintOptions::kBorderRight) ? 1 : 0);
  d.SetCheckState(kLabelBottomCheck, options_.Has(CPrintOptions::kBorderBottom) ? 1 : 0);
  if (auto* box = dynamic_cast<CColorBox*>(GetItem(kColourBox))) box->SetColour(options_.grid_colour);
  const std::pair<int, int> margins[] = {{kMarginTopEdit, CPrintOptions::kMarginTop},
                                         {kMarginBottomEdit, CPrintOptions::kMarginBottom},
                                         {kMarginLeftEdit, CPrintOptions::kMarginLeft},
                                         {kMarginRightEdit, CPrintOptions::kMarginRight}};
  for (const auto& [edit, index] : margins)
    SetItemText(edit, vd::os::FormatC("%.2f", options_.margins[size_t(index)] / 100.0));
  SetItemText(kTitleEdit, title_);
  SetItemText(kCopiesEdit, std::to_string(options_.copies));
  EnableControls();
  if (fixed && scale_radio == kScaleOtherRadio) {
    if (QWidget* edit = GetItem(kScaleEdit)) edit->setFocus();
  }
  return true;
}

void CDlgPrintToScale::EnableControls() {
  vd::ui::DialogWindow& d = *dialog_window();
  const bool fixed = Checked(kFixedScaleRadio);
  for (int id : {kScale25000Radio, kScale50000Radio, kScale100000Radio, kScaleOtherRadio})
    d.EnableItem(id, fixed);
  d.EnableItem(kScaleEdit, fixed && Checked(kScaleOtherRadio));
  d.EnableItem(kReliefSettingsButton, Checked(kReliefCheck));
  const bool grid = Checked(kGridCheck);
  d.EnableItem(kLineWidthEdit, grid);
  const bool labels = Checked(kLabelTopCheck) || Checked(kLabelLeftCheck) ||
                      Checked(kLabelRightCheck) || Checked(kLabelBottomCheck);
  d.EnableItem(kColourButton, grid || labels);
}

void CDlgPrintToScale::OnCommand(int id, QWidget* control, int code) {
  switch (id) {
    case kScaleOtherRadio:
      // The other scale radios are apart from the mode radios: only one of them stays on.
      [[fallthrough]];
    case kScale25000Radio:
    case kScale50000Radio:
    case kScale100000Radio:
      for (int radio : {kScale25000Radio, kScale50000Radio, kScale100000Radio, kScaleOtherRadio})
        dialog_window()->SetCheckState(radio, radio == id ? 1 : 0);
      if (id != kScaleOtherRadio)
        SetItemText(kScaleEdit, std::to_string(kFixedScales[id - kScale25000Radio]));
      EnableControls();
      return;
    case kSelectedAreaRadio:
    case kFixedScaleRadio:
    case kReliefCheck:
    case kGridCheck:
    case kLabelTopCheck:
    case kLabelLeftCheck:
    case kLabelRightCheck:
    case kLabelBottomCheck:
      EnableControls();
      return;
    case kReliefSettingsButton:
      EditRelief(dialog_window());
      return;
    case kColourButton:
      if (auto* box = dynamic_cast<CColorBox*>(GetItem(kColourBox))) {
        if (auto colour = vd::ui::CurrentResponder().ChooseColor(dialog_window(), box->colour()))
          box->SetColour(*colour);
      }
      return;
    case kPrinterSetupButton:
      vd::ui::CurrentResponder().PrintSetup(dialog_window(),
                                            vd::ui::Printer::Current().device());
      return;
    default:
      CDialogF1Help::OnCommand(id, control, code);
  }
}

std::optional<int> CDlgPrintToScale::ReadInt(int id, int low, int high, const char* what) {
  const std::optional<double> value = WholeNumber(GetItemText(id));
  if (value && *value >= low && *value <= high && *value == std::floor(*value)) return int(*value);
  FormatMessageBox(vd::ui::kMbIconWarning, "Please enter %s from %d to %d.", what, low, high);
  if (QWidget* edit = GetItem(id)) edit->setFocus();
  return std::nullopt;
}

void CDlgPrintToScale::OnOK() {
  CPrintOptions options = options_;
  int32_t flags = options.flags & ~(CPrintOptions::kBorders | CPrintOptions::kFixedScale |
                                    CPrintOptions::kReliefShading | CPrintOptions::kGridLines);
  if (Checked(kLabelTopCheck)) flags |= CPrintOptions::kBorderTop;
  if (Checked(kLabelRightCheck)) flags |= CPrintOptions::kBorderRight;
  if (Checked(kLabelBottomCheck)) flags |= CPrintOptions::kBorderBottom;
  if (Checked(kLabelLeftCheck)) flags |= CPrintOptions::kBorderLeft;
  if (Checked(kFixedScaleRadio)) flags |= CPrintOptions::kFixedScale;
  if (Checked(kReliefCheck)) flags |= CPrintOptions::kReliefShading;
  if (Checked(kGridCheck)) flags |= CPrintOptions::kGridLines;
  if (flags & CPrintOptions::kFixedScale) {
    const std::optional<int> scale = ReadInt(kScaleEdit, 1000, 9000000, "a scale");
    if (!scale) return;
    options.scale = *scale;
  }
  const std::optional<int> resolution = ReadInt(kResolutionEdit, 50, 2000, "the dots per inch");
  if (!resolution) return;
  options.resolution = *resolution;
  if (flags & CPrintOptions::kGridLines) {
    const std::optional<int> width = ReadInt(kLineWidthEdit, 0, 1000, "a line width");
    if (!width) return;
    options.grid_line_width = *width;
  }
  const std::optional<int> copies = ReadInt(kCopiesEdit, 1, 1000, "a number of copies");
  if (!copies) return;
  options.copies = *copies;
  const std::pair<int, int> margins[] = {{kMarginTopEdit, CPrintOptions::kMarginTop},
                                         {kMarginBottomEdit, CPrintOptions::kMarginBottom},
                                         {kMarginLeftEdit, CPrintOptions::kMarginLeft},
                                         {kMarginRightEdit, CPrintOptions::kMarginRight}};
  for (const auto& [edit, index] : margins) {
    const std::optional<double> inches = WholeNumber(GetItemText(edit));
    if (!inches || !(std::fabs(*inches) <= 100.0)) {
      FormatMessageBox(vd::ui::kMbIconWarning, "Please enter the margins in inches.");
      if (QWidget* control = GetItem(edit)) control->setFocus();
      return;
    }
    // A negative margin is none.
    options.margins[size_t(index)] = int16_t(std::lround(std::max(*inches, 0.0) * 100.0));
  }
  if (auto* box = dynamic_cast<CColorBox*>(GetItem(kColourBox))) options.grid_colour = box->colour();
  options.flags = flags;
  options_ = options;
  title_ = GetItemText(kTitleEdit);
  options_.Save();
  CDialogF1Help::OnOK();
}

bool EditPrintOptions(QWidget* parent, CPrintOptions& options, std::string& title) {
  CDlgPrintToScale dialog(parent, options, title);
  if (dialog.DoModal() != vd::ui::kIdOk) return false;
  options = dialog.options();
  title = dialog.title();
  return true;
}

// ---- Map Image Export ----

void CDlgImageExport::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildImageExportDialog);
}

CDlgImageExport::CDlgImageExport(QWidget* parent, int width, int height)
    : CDialogF1Help(kTemplate, parent),
      width_(width),
      height_(height),
      choice_(CImageExportChoice::Load()) {
  RegisterTemplate();
}

bool CDlgImageExport::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  SetItemText(kOriginalSizeText, vd::os::FormatC("%d by %d", width_, height_));
  if (auto* sizes = dialog_window()->ControlAs<QComboBox>(kOutputSizeCombo)) {
    for (int shift = 0; shift <= CImageExportChoice::kMaxShift; ++shift)
      sizes->addItem(QString::fromStdString(
          vd::os::FormatC("%d by %d", width_ >> shift, height_ >> shift)));
    sizes->setCurrentIndex(choice_.shift);
  }
  dialog_window()->SetCheckState(kReliefCheck, choice_.relief ? 1 : 0);
  dialog_window()->EnableItem(kReliefSettingsButton, choice_.relief);
  return true;
}

void CDlgImageExport::OnCommand(int id, QWidget* control, int code) {
  if (id == kReliefCheck) {
    dialog_window()->EnableItem(kReliefSettingsButton,
                                dialog_window()->CheckState(kReliefCheck) == 1);
    return;
  }
  if (id == kReliefSettingsButton) {
    EditRelief(dialog_window());
    return;
  }
  CDialogF1Help::OnCommand(id, control, code);
}

void CDlgImageExport::OnOK() {
  if (auto* sizes = dialog_window()->ControlAs<QComboBox>(kOutputSizeCombo))
    choice_.shift = std::clamp(sizes->currentIndex(), 0, CImageExportChoice::kMaxShift);
  choice_.relief = dialog_window()->CheckState(kReliefCheck) == 1;
  choice_.Save();
  CDialogF1Help::OnOK();
}

std::optional<CImageExportChoice> ChooseImageExport(QWidget* parent, int width, int height) {
  CDlgImageExport dialog(parent, width, height);
  if (dialog.DoModal() != vd::ui::kIdOk) return std::nullopt;
  return dialog.choice();
}
