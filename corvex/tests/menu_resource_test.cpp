#include "corvex/menu_resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

TEST(MenuResource, ParsesNestedPopupsItemsAndSeparators) {
  std::string error;
  auto blocks = ParseMenuResources(
      "# comment\nmenu 129 Menu Bar\n popup &File\n  item 32849 &Import...\n  -\n"
      "  popup Sub\n   item 5 Deep\n  end\n end\nend\ntoolbar 273 Standard\n item 32849 Import\nend\n",
      error);
  ASSERT_TRUE(blocks) << error;
  ASSERT_EQ(blocks->size(), 2u);
  const CMenuResource& menu = (*blocks)[0];
  EXPECT_FALSE(menu.is_toolbar);
  EXPECT_EQ(menu.id, 129);
  EXPECT_EQ(menu.name, "Menu Bar");
  ASSERT_EQ(menu.entries.size(), 1u);
  const CMenuEntry& file = menu.entries[0];
  ASSERT_EQ(file.children.size(), 3u);
  EXPECT_EQ(file.children[0].id, 32849);
  EXPECT_EQ(file.children[0].text, "&Import...");
  EXPECT_EQ(file.children[1].kind, CMenuEntry::kSeparator);
  EXPECT_EQ(file.children[2].children.at(0).text, "Deep");
  EXPECT_TRUE((*blocks)[1].is_toolbar);
}

TEST(MenuResource, SyntaxErrorsNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"item 1 X\n", "line 1"},
      {"menu 1 M\n item x Bad\nend\n", "line 2"},
      {"menu 1 M\n popup\nend\n", "line 2"},
      {"menu 1 M\n popup P\n", "missing end"},
      {"menu 1 M\n frob 2\nend\n", "unknown entry"},
  };
  for (const auto& [text, expected] : cases) {
    std::string error;
    EXPECT_FALSE(ParseMenuResources(text, error)) << text;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
  }
}

// The program's own menus parse, and no command id is used twice in one menu bar.
TEST(MenuResource, ProgramMenusAreWellFormed) {
  std::string text, error;
  ASSERT_TRUE(vd::os::ReadWholeFile(vd::os::ProgramFolder() + "/resources/menus/corvex.menu", text));
  auto blocks = ParseMenuResources(text, error);
  ASSERT_TRUE(blocks) << error;
  for (const CMenuResource& block : *blocks) {
    if (block.is_toolbar) continue;
    std::set<int> seen;
    std::function<void(const std::vector<CMenuEntry>&)> walk = [&](const auto& entries) {
      for (const CMenuEntry& entry : entries) {
        if (entry.kind == CMenuEntry::kItem) {
          EXPECT_TRUE(seen.insert(entry.id).second) << entry.id;
        }
        walk(entry.children);
      }
    };
    walk(block.entries);
  }
}

}  // namespace
