#pragma once
// "Refresh Map List": the chart folders searched for maps, whether their sub-folders are
// searched, the folder of converted maps, and how the rescan that OK starts loads: all maps now
// (copies from discs, conversions without their dialogs) and/or clearing the maps loaded
// before (conversions made again).
//
//   CDlgRegisterCharts dialog(doc, parent);
//   if (dialog.DoModal() == vd::ui::kIdOk) ...  // the document's chart list was rescanned
//
// User-interface thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "core/ui/dialog_f1_help.h"

class COstrelDoc;
class QListWidget;

class CDlgRegisterCharts : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 133;
  static constexpr int kFolderList = 1001;
  static constexpr int kAddButton = 1002;
  static constexpr int kRemoveButton = 1003;
  static constexpr int kRemoveAllButton = 1004;
  static constexpr int kSubfoldersCheck = 1005;
  static constexpr int kLoadAllCheck = 1006;
  static constexpr int kClearCheck = 1007;
  static constexpr int kConvertedFolderEdit = 1008;
  static constexpr int kConvertedFolderButton = 1009;

  CDlgRegisterCharts(COstrelDoc& doc, QWidget* parent);
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Saves "qct_dir", the chart folders and "search_subdirs", then rescans.
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;

  // The folders listed, top to bottom.
  std::vector<std::string> Folders() const;

 private:
  QListWidget* list() const;
  void AddFolder();
  void ChooseConvertedFolder();
  void UpdateButtons();

  COstrelDoc& doc_;
};
