#pragma once
// The map store's catalogue as a tree of named folders for display: folders from the items'
// category paths ("Charts|Europe|France"), a "Packages" folder (always the first child) for the
// map packages of a category, and the old editions gathered under a last root folder
// "Old Editions".
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "charts/map_store_item.h"

class CMapStoreNode {
 public:
  static constexpr char kOldEditions[] = "Old Editions";
  static constexpr char kPackages[] = "Packages";
  // The name that stands for an empty level of a path.
  static constexpr char kEmptyLevel[] = " - ";

  // The tree of the items, in their order. `expanded` holds category paths whose folders are
  // shown open. The root has no name and is expanded.
  static std::unique_ptr<CMapStoreNode> BuildTree(const std::vector<MapStoreItem>& items,
                                                  const std::set<std::string>& expanded);

  // Adds the '|'-separated path below this node, creating the folders it lacks, and makes the
  // node of its last level stand for `item`. Each level is trimmed of blanks and line ends. An
  // item always gets a node of its own, so two items of the same name in the same folder are
  // both shown.
  void AddPath(std::string_view path, const MapStoreItem& item);
  // Sets the expanded flag of the nodes the '|'-separated path leads to from this node,
  // following every child whose name matches a level.
  void MarkExpanded(std::string_view path);

  std::string name;
  std::vector<std::unique_ptr<CMapStoreNode>> children;  // in display order
  std::optional<MapStoreItem> item;                       // none for a folder
  bool expanded = false;
  CMapStoreNode* parent = nullptr;

 private:
  // The child of that name standing for no item, or null.
  CMapStoreNode* FindFolder(std::string_view child_name) const;
  CMapStoreNode* AddChild(std::string child_name);
};
