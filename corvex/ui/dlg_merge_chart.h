#pragma once
// "Merge": the name and anti-alias choice of a merge of several maps, and the path the merged
// chart file goes to (the folder of converted maps, setting "qct_dir").
#include <cstdint>
#include <string>

#include "core/ui/dialog_f1_help.h"

inline constexpr char kQuiltAntialiasSetting[] = "quilt_antialias";

class CDlgMergeChart : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 214;
  static constexpr int kNameEdit = 1001;
  static constexpr int kAntialiasCheck = 1002;

  explicit CDlgMergeChart(QWidget* parent);
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Takes the name and the flag (stored as "quilt_antialias") and makes the output path.
  void OnOK() override;

  // The name shown when the dialog opens ("Merged" unless set).
  void set_name(const std::string& name) { name_ = name; }
  const std::string& name() const { return name_; }
  bool antialias() const { return antialias_; }
  const std::string& output_path() const { return output_path_; }

 private:
  std::string name_ = "Merged";
  bool antialias_ = false;
  std::string output_path_;
};

// folder + "/" + the name reduced to letters, digits and " -_+." + "_" + seconds in hex + ".qct".
std::string MergedChartPath(const std::string& folder, const std::string& name, int64_t seconds);
