#include "core/xml_node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/xml_document.h"

namespace {

std::string IdOf(const CXmlNode* node) {
  if (!node) return "null";
  const char* id = node->GetAttribute("id");
  return id ? id : std::string(node->name());
}

// Ids of `count` successive FindNextDescendant calls.
std::vector<std::string> Descend(CXmlNode* node, std::string_view name, int count) {
  std::vector<std::string> ids;
  for (int i = 0; i < count; ++i) ids.push_back(IdOf(node->FindNextDescendant(name)));
  return ids;
}

TEST(XmlNodeTest, FindChildThenFindNextChild) {
  CXmlDocument document;
  CXmlNode* a = document.Parse("<a>lead<b>1</b><c/><B>2</B><b>3</b></a>");
  ASSERT_NE(a, nullptr);
  CXmlNode* first = a->FindChild("b");
  ASSERT_NE(first, nullptr);
  std::string text;
  first->GetInnerText(text);
  EXPECT_EQ(text, "1");
  EXPECT_EQ(a->cursor(), 2u);  // left after the match

  CXmlNode::Cursor cursor = a->cursor();
  CXmlNode* second = a->FindNextChild("b", cursor);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->name(), "B");
  EXPECT_EQ(cursor, 4u);
  EXPECT_EQ(IdOf(a->FindNextChild("B", cursor)), "b");
  EXPECT_EQ(a->FindNextChild("b", cursor), nullptr);
  EXPECT_EQ(cursor, 5u);
  EXPECT_EQ(a->FindNextChild("b", cursor), nullptr);

  // From the start with a fresh cursor, over every match; text nodes never match.
  CXmlNode::Cursor fresh = 0;
  int matches = 0;
  while (a->FindNextChild("b", fresh)) ++matches;
  EXPECT_EQ(matches, 3);
  EXPECT_EQ(a->FindChild("lead"), nullptr);
  EXPECT_EQ(a->cursor(), 5u);
  EXPECT_EQ(IdOf(a->FindChild("C")), "c");
}

TEST(XmlNodeTest, FindNextDescendantVisitsEachMatchOncePerTraversal) {
  struct Case {
    const char* xml;
    const char* name;
    std::vector<std::string> ids;  // results of successive calls
  };
  const Case cases[] = {
      // Pre-order, matches inside matches included, the node itself first.
      {"<x id='0'><x id='1'><x id='2'/><y><x id='3'><z/></x></y></x><x id='4'/>"
       "<w><x id='5'/></w></x>",
       "x",
       {"0", "1", "2", "3", "4", "5", "null", "null"}},
      // The last match of a subtree is a childless element.
      {"<r><s><x id='1'/><x id='2'/></s><x id='3'/></r>", "x", {"1", "2", "3", "null", "null"}},
      // Matches holding only text.
      {"<trk><trkseg><trkpt id='1'><ele>1</ele></trkpt><trkpt id='2'/></trkseg>"
       "<trkseg><trkpt id='3'>t</trkpt></trkseg></trk>",
       "TRKPT",
       {"1", "2", "3", "null"}},
      {"<?xml version='1.0'?><gpx id='g'><wpt/></gpx>", "gpx", {"g", "null"}},
      {"<r>gpx<gpx:a/></r>", "gpx", {"null"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    CXmlDocument document;
    CXmlNode* root = document.Parse(c.xml);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Descend(root, c.name, static_cast<int>(c.ids.size())), c.ids);
    // ResetCursor starts a new traversal with the same results.
    root->ResetCursor();
    EXPECT_EQ(Descend(root, c.name, static_cast<int>(c.ids.size())), c.ids);
  }
}

TEST(XmlNodeTest, ResetCursorRewindsDescendantsHalfwayThrough) {
  CXmlDocument document;
  CXmlNode* root = document.Parse("<r><a><p id='1'/><p id='2'/></a><b><p id='3'/></b></r>");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Descend(root, "p", 2), (std::vector<std::string>{"1", "2"}));
  // Searching another name goes on from the same cursors.
  EXPECT_EQ(Descend(root, "b", 2), (std::vector<std::string>{"b", "null"}));
  root->ResetCursor();
  EXPECT_EQ(Descend(root, "p", 4), (std::vector<std::string>{"1", "2", "3", "null"}));
  // A subtree can be searched on its own after resetting only it.
  CXmlNode* a = root->FindChild("a");
  a->ResetCursor();
  EXPECT_EQ(Descend(a, "p", 3), (std::vector<std::string>{"1", "2", "null"}));
}

TEST(XmlNodeTest, ValuesOfChildrenAndAttributes) {
  CXmlDocument document;
  CXmlNode* root = document.Parse(
      "<wpt LAT=\"47.25\" lon=\"-8.5e1\" bad=\"north\">"
      "<ele> 12.75 </ele><name>A<b>B</b>C</name><big>70000</big><neg>-3.9x</neg>"
      "<hr>abc</hr><empty/></wpt>");
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->IsElementNamed("WPT"));
  EXPECT_FALSE(root->children()[0].children()[0].IsElementNamed("12.75 "));
  EXPECT_DOUBLE_EQ(root->GetAttributeDouble("lat", 0), 47.25);
  EXPECT_DOUBLE_EQ(root->GetAttributeDouble("lon", 0), -85);
  EXPECT_DOUBLE_EQ(root->GetAttributeDouble("bad", 9), 0);
  EXPECT_DOUBLE_EQ(root->GetAttributeDouble("missing", 9), 9);
  EXPECT_EQ(root->GetAttribute("missing"), nullptr);

  double d = -1;
  EXPECT_TRUE(root->GetChildDouble("ele", d));
  EXPECT_DOUBLE_EQ(d, 12.75);
  float f = -1;
  EXPECT_TRUE(root->GetChildFloat("neg", f));
  EXPECT_FLOAT_EQ(f, -3.9f);
  int16_t s = -1;
  EXPECT_TRUE(root->GetChildShort("big", s));
  EXPECT_EQ(s, static_cast<int16_t>(70000 - 65536));
  EXPECT_TRUE(root->GetChildShort("neg", s));
  EXPECT_EQ(s, -3);
  EXPECT_TRUE(root->GetChildShort("hr", s));
  EXPECT_EQ(s, 0);
  EXPECT_TRUE(root->GetChildDouble("empty", d));
  EXPECT_EQ(d, 0);
  d = 5;
  EXPECT_FALSE(root->GetChildDouble("missing", d));
  EXPECT_EQ(d, 5);

  std::string text = "prefix:";
  EXPECT_TRUE(root->GetChildString("NAME", text));
  EXPECT_EQ(text, "prefix:ABC");
  EXPECT_FALSE(root->GetChildString("missing", text));
  EXPECT_EQ(text, "prefix:ABC");
  text.clear();
  root->GetInnerText(text);
  EXPECT_EQ(text, "12.75 ABC70000-3.9xabc");
}

}  // namespace
