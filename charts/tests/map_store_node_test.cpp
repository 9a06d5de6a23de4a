#include "charts/map_store_node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

MapStoreItem Item(std::string name, std::string category, std::string address = "maps/x.qct") {
  MapStoreItem item;
  item.name = std::move(name);
  item.category = std::move(category);
  item.address = std::move(address);
  return item;
}

// The tree as "name[+]{children}" texts, items marked with '*', open folders with '+'.
std::string Shape(const CMapStoreNode& node) {
  std::string text = node.name;
  if (node.item) text += "*";
  if (node.expanded) text += "+";
  if (!node.children.empty()) {
    text += "{";
    for (size_t i = 0; i < node.children.size(); ++i) {
      if (i > 0) text += ",";
      EXPECT_EQ(node.children[i]->parent, &node) << node.children[i]->name;
      text += Shape(*node.children[i]);
    }
    text += "}";
  }
  return text;
}

TEST(MapStoreNodeTest, BuildsFoldersFromCategoryPaths) {
  struct Case {
    const char* what;
    std::vector<MapStoreItem> items;
    std::set<std::string> expanded;
    std::string shape;
  };
  const Case cases[] = {
      {"levels are trimmed and shared",
       {Item("A", "Charts| Europe "), Item("B", " Charts |Europe|France")},
       {},
       "+{Charts{Europe{A*,France{B*}}}}"},
      {"an empty category or level is named \" - \"",
       {Item("A", ""), Item("B", "Topo||East")},
       {},
       "+{ - {A*},Topo{ - {East{B*}}}}"},
      {"packages gather in a first folder, whatever the case of the ending",
       {Item("Map", "Topo"), Item("P1", "Topo", "pk/one.vdpkg"), Item("P2", "Topo", "two.VDPKG")},
       {},
       "+{Topo{Packages{P1*,P2*},Map*}}"},
      {"a category holding 20 anywhere or Old goes to the last folder",
       {Item("New", "Topo"), Item("Y", "Topo 2012"), Item("Z", "1920 survey"),
        Item("O", "Charts|Old"), Item("Top", "Zeta")},
       {},
       "+{Topo{New*},Zeta{Top*},Old Editions{Topo 2012{Y*},1920 survey{Z*},Charts{Old{O*}}}}"},
      {"2 and 0 apart or old in small letters stay in the main tree",
       {Item("A", "Area 2 0"), Item("B", "old maps")},
       {},
       "+{Area 2 0{A*},old maps{B*}}"},
      {"two items of one name both get a node",
       {Item("Same", "C"), Item("Same", "C")},
       {},
       "+{C{Same*,Same*}}"},
      {"expanded paths open every matching folder in both trees",
       {Item("A", "Topo|West"), Item("B", "Topo|East"), Item("C", "Topo 2001|West"),
        Item("D", "")},
       {"Topo|West", "Topo 2001", "", "Missing|West"},
       "+{Topo+{West+{A*},East{B*}}, - +{D*},Old Editions{Topo 2001+{West{C*}}}}"},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<CMapStoreNode> root = CMapStoreNode::BuildTree(c.items, c.expanded);
    EXPECT_EQ(Shape(*root), c.shape) << c.what;
    EXPECT_EQ(root->parent, nullptr);
  }
}

TEST(MapStoreNodeTest, ItemNodesCarryTheirItem) {
  MapStoreItem package = Item("Pack", "Topo", "https://host/KVX/p.vdpkg");
  package.id = 42;
  package.rank = 1.5f;
  const auto root = CMapStoreNode::BuildTree({package}, {});
  const CMapStoreNode& leaf = *root->children.at(0)->children.at(0)->children.at(0);
  ASSERT_TRUE(leaf.item.has_value());
  EXPECT_EQ(leaf.item->id, 42);
  EXPECT_EQ(leaf.item->address, "https://host/KVX/p.vdpkg");
  EXPECT_EQ(leaf.parent->name, "Packages");
}

TEST(MapStoreNodeTest, AddPathKeepsFoldersApartFromItemsOfTheSameName) {
  CMapStoreNode root;
  root.AddPath("Europe", Item("Europe", ""));
  root.AddPath("Europe|France", Item("France", ""));
  root.AddPath("Packages", Item("Packages", ""));
  EXPECT_EQ(Shape(root), "{Packages*,Europe*,Europe{France*}}");
}

}  // namespace
