#pragma once
// The print and image dialogs: "Print" (the stored print options and the page title), "Map
// Image Export" (the output size and relief shading of an exported image) and "Relief Shading"
// (brightness, contrast and the lighting side). Each reads its stored record when made and
// writes it on OK only.
//
//   CDlgPrintToScale dialog(parent, options, title);
//   if (dialog.DoModal() == vd::ui::kIdOk) use(dialog.options(), dialog.title());
#include <optional>
#include <string>

#include "core/ui/dialog_f1_help.h"
#include "corvex/print_options.h"

class CDlgReliefShading : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 223;
  static constexpr int kBrightnessEdit = 1001;
  static constexpr int kContrastEdit = 1002;
  static constexpr int kWestRadio = 1003;
  static constexpr int kEastRadio = 1004;
  static constexpr int kDefaultsButton = 1005;
  static constexpr int kHelpButton = 1006;
  static constexpr int kMinBrightness = 50, kMaxBrightness = 100;
  static constexpr int kMinContrast = 10, kMaxContrast = 10000;

  explicit CDlgReliefShading(QWidget* parent);
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;
  // Refuses values out of range (telling the user); stores the record.
  void OnOK() override;
  std::string HelpTopic() const override { return "Relief_shading"; }

  const CReliefOptions& relief() const { return relief_; }

 private:
  void Show(const CReliefOptions& relief);
  CReliefOptions relief_;
};

class CDlgPrintToScale : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 189;
  static constexpr int kSelectedAreaRadio = 1001;
  static constexpr int kFixedScaleRadio = 1002;
  static constexpr int kScale25000Radio = 1003;
  static constexpr int kScale50000Radio = 1004;
  static constexpr int kScale100000Radio = 1005;
  static constexpr int kScaleOtherRadio = 1006;
  static constexpr int kScaleEdit = 1007;
  static constexpr int kResolutionEdit = 1008;
  static constexpr int kReliefCheck = 1009;
  static constexpr int kReliefSettingsButton = 1010;
  static constexpr int kGridCheck = 1011;
  static constexpr int kLineWidthEdit = 1012;
  static constexpr int kLabelTopCheck = 1013;
  static constexpr int kLabelLeftCheck = 1014;
  static constexpr int kLabelRightCheck = 1015;
  static constexpr int kLabelBottomCheck = 1016;
  static constexpr int kColourButton = 1017;
  static constexpr int kColourBox = 1018;
  static constexpr int kMarginTopEdit = 1019;
  static constexpr int kMarginBottomEdit = 1020;
  static constexpr int kMarginLeftEdit = 1021;
  static constexpr int kMarginRightEdit = 1022;
  static constexpr int kTitleEdit = 1023;
  static constexpr int kCopiesEdit = 1024;
  static constexpr int kPrinterSetupButton = 1025;

  CDlgPrintToScale(QWidget* parent, const CPrintOptions& options, const std::string& title);
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;
  // Refuses values that are no numbers or out of range (telling the user); stores the record.
  void OnOK() override;

  const CPrintOptions& options() const { return options_; }
  const std::string& title() const { return title_; }

 private:
  void EnableControls();
  bool Checked(int id) const;
  // The edit's whole text as an integer in [low, high]; else tells the user and focuses it.
  std::optional<int> ReadInt(int id, int low, int high, const char* what);

  CPrintOptions options_;
  std::string title_;
};

class CDlgImageExport : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 222;
  static constexpr int kOriginalSizeText = 1001;
  static constexpr int kOutputSizeCombo = 1002;
  static constexpr int kReliefCheck = 1003;
  static constexpr int kReliefSettingsButton = 1004;

  // The area's size in chart pixels.
  CDlgImageExport(QWidget* parent, int width, int height);
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;
  void OnOK() override;

  const CImageExportChoice& choice() const { return choice_; }

 private:
  int width_, height_;
  CImageExportChoice choice_;
};

// The print options before print boxes are laid out: the dialog over the stored record; on OK
// the record is stored and options and title are replaced. False when cancelled.
bool EditPrintOptions(QWidget* parent, CPrintOptions& options, std::string& title);
// The image export's choice for an area of width x height chart pixels; nothing when
// cancelled.
std::optional<CImageExportChoice> ChooseImageExport(QWidget* parent, int width, int height);
