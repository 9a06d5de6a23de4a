#pragma once
// "Find Location": goes to a place found by name in the place-name index, or to typed
// coordinates. The list shows the places whose name contains the (upper-cased) search text in
// the chosen category, at most kMaxRows of them. Clicking the list chooses name mode, editing
// the coordinates coordinate mode; "View" takes the chosen place or the parsed coordinates.
//
//   CDlgFindName dialog(index_path, lat, lon, main_window);
//   if (dialog.DoModal() == vd::ui::kIdOk) GoToFoundLocation(doc, dialog);
#include <optional>
#include <string>
#include <vector>

#include "charts/old_geo_name_database.h"
#include "core/persistent_value.h"
#include "core/ui/dialog_f1_help.h"

class COstrelDocBase;
class QListWidget;

class CDlgFindName : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 183;
  static constexpr int kFindEdit = 1001;
  static constexpr int kCategoryCombo = 1002;
  static constexpr int kSearchButton = 1003;
  static constexpr int kNameList = 1004;
  static constexpr int kExampleText = 1005;
  static constexpr int kPositionEdit = 1006;
  static constexpr int kCreateMarkCheck = 1007;
  static constexpr int kMaxRows = 1000;
  static constexpr char kTooMany[] = "Too many items...";
  // The row a search that found nothing shows, and the one shown when there are no place names
  // to search (followed by the index's path).
  static constexpr char kNoneFound[] = "No place found";
  static constexpr char kNoIndex[] = "No place names to search: ";
  static constexpr char kSearchTextSetting[] = "find_searchtext";
  static constexpr char kCreateMarkSetting[] = "find_createmark";

  // Opens the index (a missing or bad index leaves the list with a row that says so); lat, lon
  // is the current position the coordinate example shows.
  CDlgFindName(const std::string& index_path, double lat, double lon, QWidget* parent);
  // Writes the search text and the create-mark choice back to the settings.
  ~CDlgFindName() override;

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;
  std::string HelpTopic() const override { return "Finding_a_Place"; }

  // The result after OK: the place's or the typed position, and the place's name or the typed
  // text.
  double lat() const { return lat_; }
  double lon() const { return lon_; }
  const std::string& name() const { return name_; }
  bool create_mark() const { return create_mark_.value != 0; }

 private:
  void Search();
  void UpdateViewButton();
  // The place of the chosen row: the selected one, or the only one.
  std::optional<GeoNamePlace> ChosenPlace() const;
  void ChooseNameMode();
  QListWidget* List() const;

  COldGeoNameDatabase index_;
  PersistentString search_text_;
  PersistentInt create_mark_;
  std::string example_;
  std::string index_path_;
  // The record of each row; null for "Too many items..." and the rows that say why the list
  // holds no place.
  std::vector<GeoNameCursor> rows_;
  bool coordinate_mode_ = false;
  double lat_ = 0.0;
  double lon_ = 0.0;
  std::string name_;
};

// Centres a chart window on the dialog's result (the best chart at its own scale).
void GoToFoundLocation(COstrelDocBase& doc, const CDlgFindName& dialog);
