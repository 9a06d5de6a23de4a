#pragma once
// "Map List": the chooser of the chart library. It lists the chart outlines of a list (the
// document's own when none is given) with name, type, ID, scale, centre and size, filters them
// by a search text and by "Only show previously loaded maps", sorts them by a clicked column
// and lets the user open, delete, edit or merge maps.
//
//   CDlgChartSelect dialog(doc, nullptr, parent);
//   if (dialog.DoModal() == vd::ui::kIdOk)
//     open dialog.chosen_path() (in a new window when dialog.open_in_new_window())
//
// User-interface thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "app/shell_services.h"
#include "core/ui/dialog_f1_help.h"

class COldChartOutline;
class QTreeWidget;

class CDlgChartSelect : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 132;
  static constexpr int kMapList = 1001;
  static constexpr int kSearchEdit = 1002;
  static constexpr int kNewWindowCheck = 1003;
  static constexpr int kLoadedOnlyCheck = 1004;
  static constexpr int kDescriptionText = 1005;
  static constexpr int kDatumText = 1006;
  static constexpr int kDeleteButton = 1007;
  static constexpr int kEditButton = 1008;
  static constexpr int kMergeButton = 1009;
  static constexpr int kRefreshButton = 1010;
  static constexpr int kChunkStatusButton = 1011;
  // The name of the window of the map list a new chart window offers.
  static constexpr char kNewWindowName[] = "MapListForNewWindow";

  enum Column { kName, kType, kId, kScale, kLat, kLong, kSize, kColumnCount };

  // list: the outlines shown; null for the document's own list. The document is asked to
  // rescan its chart folders (when it is the program's document) and reloads the views of a
  // deleted map.
  CDlgChartSelect(COstrelDocBase& doc, ObjectList* list, QWidget* parent);
  static void RegisterTemplate();

  // Presets "Open in new window" and disables it.
  void PresetNewWindow(bool open_in_new_window);
  void set_search_text(const std::string& text) { search_text_ = text; }
  // The name its window gets (Qt object name), which tells this use of the list from others.
  void set_window_name(const std::string& name) { window_name_ = name; }

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Closes only when a map is chosen.
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;

  // The choice after OK.
  COldChartOutline* chosen() const { return chosen_; }
  const std::string& chosen_path() const { return chosen_path_; }
  bool open_in_new_window() const { return new_window_; }

  // Sorts by the column, ascending, or the other way when it is the current sort column.
  void SortBy(int column);
  // The outlines in the rows, top to bottom.
  std::vector<COldChartOutline*> RowOutlines() const;

 private:
  struct Row {
    COldChartOutline* outline = nullptr;
    std::string texts[kColumnCount];
    double numbers[kColumnCount] = {};  // the numeric columns' sort keys
  };

  QTreeWidget* tree() const;
  void Fill();
  void ShowRows();
  std::vector<COldChartOutline*> SelectedOutlines() const;
  // The chosen map from the selection (see chosen()), its texts and the buttons it enables.
  void UpdateChoice();
  void DeleteSelected();
  void EditChosen();
  void MergeSelected();
  // "Refresh Map List": the chart folders of the program's document, rescanned on OK; false
  // when there is no such document or the user cancelled.
  bool RefreshMapList();
  // The chunks of the chosen downloadable map as closed tracks of the document, green where
  // the chunk is stored, blue where it is not; the dialog then closes with Cancel.
  void ShowChunkStatus();

  COstrelDocBase& doc_;
  ObjectList* list_;
  std::string search_text_;
  bool new_window_ = false;
  bool new_window_preset_ = false;
  bool loaded_only_ = false;
  std::vector<Row> rows_;
  int sort_column_ = kScale;
  bool ascending_ = true;
  COldChartOutline* chosen_ = nullptr;
  std::string chosen_path_;
  std::string window_name_;
};

// The rules of the rows, for tests and other choosers.
// "-" for a never-loaded map, "?" for size 0, else "%4.3g" with G, M, k or ' '.
std::string FormatMapSize(int64_t bytes, bool loaded);
// The text after "Scale:" in a description up to the first ';' (empty when there is none).
std::string MapScaleText(const std::string& description);
// Whether the search text occurs, in any case, in the outline's name, type, ID, file path,
// title or description. An empty search matches every outline.
bool OutlineMatchesSearch(const COldChartOutline& outline, const std::string& search);
// The category of a map's chunk status tracks: "Chunk Status:" and the map's name reduced to
// letters, digits and "_-.+", at most 25 characters of it.
std::string ChunkStatusCategory(const std::string& map_name);
// "Datum shift: %.4f'N %.4f'E" in minutes, or "WGS84 Datum shift unknown".
std::string DatumShiftText(const COldChartOutline& outline);
