#include "charts/map_store_node.h"

#include "core/path_utils.h"

namespace {

constexpr std::string_view kBlanks = " \t\n\r";

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The first level of `path` (trimmed, " - " when empty) and what follows its '|' (trimmed);
// false when the path has no further level.
bool SplitLevel(std::string_view path, std::string& head, std::string_view& rest) {
  const size_t bar = path.find('|');
  const std::string_view first = Trimmed(path.substr(0, bar));
  head = first.empty() ? std::string(CMapStoreNode::kEmptyLevel) : std::string(first);
  if (bar == std::string_view::npos) return false;
  rest = Trimmed(path.substr(bar + 1));
  return true;
}

// Old editions: a category naming a year of the 1920s or 2000s ("20" anywhere) or "Old".
bool IsOldEdition(std::string_view category) {
  return category.find("20") != std::string_view::npos ||
         category.find("Old") != std::string_view::npos;
}

}  // namespace

CMapStoreNode* CMapStoreNode::FindFolder(std::string_view child_name) const {
  for (const auto& child : children) {
    if (!child->item && child->name == child_name) return child.get();
  }
  return nullptr;
}

CMapStoreNode* CMapStoreNode::AddChild(std::string child_name) {
  auto child = std::make_unique<CMapStoreNode>();
  child->name = std::move(child_name);
  child->parent = this;
  const auto at = child->name == kPackages ? children.begin() : children.end();
  return children.insert(at, std::move(child))->get();
}

void CMapStoreNode::AddPath(std::string_view path, const MapStoreItem& new_item) {
  CMapStoreNode* node = this;
  std::string head;
  std::string_view rest;
  while (SplitLevel(path, head, rest)) {
    CMapStoreNode* folder = node->FindFolder(head);
    node = folder ? folder : node->AddChild(head);
    path = rest;
  }
  node->AddChild(head)->item = new_item;
}

void CMapStoreNode::MarkExpanded(std::string_view path) {
  std::string head;
  std::string_view rest;
  const bool more = SplitLevel(path, head, rest);
  for (const auto& child : children) {
    if (child->name != head) continue;
    child->expanded = true;
    if (more) child->MarkExpanded(rest);
  }
}

std::unique_ptr<CMapStoreNode> CMapStoreNode::BuildTree(const std::vector<MapStoreItem>& items,
                                                        const std::set<std::string>& expanded) {
  auto root = std::make_unique<CMapStoreNode>();
  std::unique_ptr<CMapStoreNode> old_editions;
  for (const MapStoreItem& item : items) {
    std::string path = item.category + "|";
    if (PathHasExtension(item.address, "vdpkg")) path += std::string(kPackages) + "|";
    path += item.name;
    CMapStoreNode* tree = root.get();
    if (IsOldEdition(item.category)) {
      if (!old_editions) {
        old_editions = std::make_unique<CMapStoreNode>();
        old_editions->name = kOldEditions;
      }
      tree = old_editions.get();
    }
    tree->AddPath(path, item);
  }
  for (const std::string& path : expanded) {
    root->MarkExpanded(path);
    if (old_editions) old_editions->MarkExpanded(path);
  }
  if (old_editions) {
    old_editions->parent = root.get();
    root->children.push_back(std::move(old_editions));
  }
  root->expanded = true;
  return root;
}
