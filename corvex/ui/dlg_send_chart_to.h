#pragma once
// "Save Map": where a new chart made from an area of the chart shown goes. It shows the size of
// the new chart and a description of it (hidden with its label when there is none), and takes
// the destination folder, which it keeps in the setting "pda_chart_dev".
//
//   CDlgSendChartTo dialog(bytes, "From Harbour", parent);
//   if (dialog.DoModal() == vd::ui::kIdOk) write to dialog.folder()
#include <string>

#include "core/ui/dialog_f1_help.h"

inline constexpr char kChartDestinationSetting[] = "pda_chart_dev";

class CDlgSendChartTo : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 188;
  static constexpr int kFolderEdit = 1001;
  static constexpr int kBrowseButton = 1002;
  static constexpr int kDescriptionLabel = 1003;
  static constexpr int kDescriptionEdit = 1004;
  static constexpr int kSizeText = 1005;

  CDlgSendChartTo(double bytes, std::string description, QWidget* parent);
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Refuses an empty folder; stores the folder.
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;

  const std::string& folder() const { return folder_; }
  const std::string& description() const { return description_; }

 private:
  double bytes_;
  std::string description_;
  std::string folder_;
};

// "%.1f %cbyte" with G from 2^30, M from 2^20 and k from 1024 bytes (a space below).
std::string FormatChartSize(double bytes);
