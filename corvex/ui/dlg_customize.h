#pragma once
// "Customize": the tool bars' sheet. The Commands page lists the commands by the categories of
// the menu bar (its menus, then "All Commands", "Built-in Menus" and "New Menu"); a command is
// added to the chosen tool bar, a button removed from it, or the bar reset to its shipped
// buttons. The Options page: large icons and the buttons' tips.
#include <map>
#include <string>
#include <vector>

#include "core/ui/dialog_f1_help.h"
#include "corvex/menu_resource.h"

// The buttons of one tool bar: command ids, 0 for a separator.
struct CToolbarButtons {
  std::string name;
  std::vector<int> ids;
  std::vector<int> shipped;  // what Reset brings back
  std::map<int, std::string> captions;  // the bar's own names of its buttons
};

struct CToolbarOptions {
  bool large_icons = false;
  bool screen_tips = true;
  bool operator==(const CToolbarOptions&) const = default;
};

class CDlgCustomize : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 302;
  static constexpr int kCategoryList = 1000;
  static constexpr int kCommandList = 1001;
  static constexpr int kToolbarCombo = 1002;
  static constexpr int kButtonList = 1003;
  static constexpr int kAddButton = 1004;
  static constexpr int kRemoveButton = 1005;
  static constexpr int kResetButton = 1006;
  static constexpr int kLargeIconsCheck = 1007;
  static constexpr int kScreenTipsCheck = 1008;

  // The category names after the menus'.
  static constexpr char kAllCommands[] = "All Commands";
  static constexpr char kBuiltInMenus[] = "Built-in Menus";
  static constexpr char kNewMenu[] = "New Menu";

  CDlgCustomize(QWidget* parent, std::vector<CMenuEntry> menu_bar,
                std::vector<CToolbarButtons> toolbars, CToolbarOptions options);
  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;
  void OnOK() override;

  // After OK.
  const std::vector<CToolbarButtons>& toolbars() const { return toolbars_; }
  const CToolbarOptions& options() const { return options_; }

  // The text of a command in the menu bar ("Reverse Route"), without '&' marks; "" when the
  // menu bar does not have it.
  static std::string CommandText(const std::vector<CMenuEntry>& menu_bar, int id);

 private:
  void ShowCategory();
  void ShowButtons();

  std::vector<CMenuEntry> menu_bar_;
  std::vector<CToolbarButtons> toolbars_;
  CToolbarOptions options_;
};
