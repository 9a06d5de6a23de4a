#pragma once
// "Kartovia": the map shop. It searches the online map store for the maps of the area the
// calling chart view shows or, with a keyword, everywhere, shows the catalogue as a tree of
// categories, downloads a chosen map package's descriptor into the store folder, and hands the
// local path of the chosen item back. The caller opens each path of result(): a package
// descriptor then downloads its files (charts/ui/package_download.h).
//
//   CDlgKartovia shop(points, count, view_chart_path, parent);
//   if (shop.DoModal() == vd::ui::kIdOk)
//     for (const std::string& path : shop.result()) open path
//
// It also keeps the store folder among the chart folders and remembers, per category, whether
// the user had it open (profile section "map_types"). User-interface thread only.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "charts/map_store_node.h"
#include "charts/map_store_query.h"
#include "core/persistent_value.h"
#include "core/ui/dialog_f1_help.h"
#include "geodesy/geo_point.h"

class QTreeWidget;
class QTreeWidgetItem;

class CDlgKartovia : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 291;
  static constexpr int kFolderButton = 1002;
  static constexpr int kFolderEdit = 1329;
  static constexpr int kHelpButton = 1198;
  static constexpr int kAreaRadio = 1397;
  static constexpr int kEverywhereRadio = 1398;
  static constexpr int kKeywordEdit = 1377;
  static constexpr int kSearchButton = 1399;
  static constexpr int kTree = 1401;
  static constexpr char kMapTypesSection[] = "map_types";

  // points (latitude/longitude, not owned, may be null when count is 0): the calling view's
  // area. chart_path: the chart the view shows; its item is selected when the tree shows it.
  CDlgKartovia(const GeoPoint* points, int count, const std::string& chart_path, QWidget* parent);
  ~CDlgKartovia() override;
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Continue...: saves the open categories, fetches a chosen package descriptor and closes
  // when there is a path to hand back.
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;

  // The local paths for the caller to open.
  const std::vector<std::string>& result() const { return result_; }
  const std::string& store_folder() const { return store_folder_.value; }

 private:
  QTreeWidget* tree() const;
  void Search();
  void FillTree();
  void AddNode(const CMapStoreNode& node, QTreeWidgetItem* parent);
  // The categories of the item nodes a user can see (folders open all the way up), written to
  // the profile for every present category; they become the expanded categories.
  void SaveExpanded();
  const MapStoreItem* SelectedItem() const;
  // Downloads the package descriptor at the item's address to local_path; false after telling
  // the user why.
  bool FetchPackage(const MapStoreItem& item, const std::string& address_path,
                    const std::string& local_path);

  std::vector<std::string> result_;
  std::string sub_path_;  // the viewed chart's path below the store folder, '/' separated
  const GeoPoint* points_;
  int count_;
  std::string keyword_;
  std::set<std::string> expanded_;
  std::set<std::string> present_;
  bool keyword_mode_;
  PersistentString store_folder_{"kvx_folder"};
  std::unique_ptr<CMapStoreQuery> query_;
  std::unique_ptr<CMapStoreNode> shown_;  // the tree the control shows; items point into it
  QTreeWidgetItem* to_select_ = nullptr;
};

// The path below the store folder that an item's address stands for: the part of the address's
// path after its first "KVX" (the whole path when there is none), '\' turned into '/' and
// leading separators dropped. Empty when it would leave the store folder.
std::string StoreRelativePath(const std::string& address_path);
