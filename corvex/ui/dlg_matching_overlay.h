#pragma once
// "Show/Hide Matching Overlays": a name and a category pattern with '*' and '?' wildcards
// (normalised by NormaliseMatchPattern) for the objects to show or hide.
#include <string>

#include "core/ui/dialog_f1_help.h"

class CDlgMatchingOverlay : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 231;
  static constexpr int kHeading = 1000;
  static constexpr int kNameEdit = 1001;
  static constexpr int kCategoryEdit = 1002;

  CDlgMatchingOverlay(QWidget* parent, bool show);
  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnOK() override;

  const std::string& name_pattern() const { return name_; }
  const std::string& category_pattern() const { return category_; }

 private:
  bool show_;
  std::string name_, category_;
};
