#include "core/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

// "name(child child ...)" for elements, "'text'" for text nodes: the whole tree in one line.
std::string Shape(const CXmlNode& node) {
  std::string out =
      node.element() ? std::string(node.name()) : "'" + std::string(node.text()) + "'";
  if (!node.children().empty()) {
    out += '(';
    for (const CXmlNode& child : node.children()) {
      if (&child != &node.children().front()) out += ' ';
      out += Shape(child);
    }
    out += ')';
  }
  return out;
}

std::string ShapeOf(std::string_view xml) {
  CXmlDocument document;
  CXmlNode* root = document.Parse(xml);
  return root ? Shape(*root) : "null";
}

TEST(XmlDocumentTest, EntitiesAreDecodedInTextAndAttributes) {
  struct Case {
    const char* written;
    const char* read;
  };
  const Case cases[] = {
      {"&amp;", "&"},
      {"&lt;&gt;", "<>"},
      {"&quot;&apos;", "\"'"},
      {"caf&#233;", "caf\xC3\xA9"},
      {"caf&#xE9;", "caf\xC3\xA9"},
      {"&#Xe9;&#x1F600;&#65;",
       "\xC3\xA9\xF0\x9F\x98\x80"
       "A"},
      {"a &lt; b &amp;&amp; c", "a < b && c"},
      {"&&amp;", "&&"},
      // Not references: left as they stand.
      {"&foo;", "&foo;"},
      {"&#xZZ;", "&#xZZ;"},
      {"&#;&#x;", "&#;&#x;"},
      {"&amp", "&amp"},
      {"&AMP;", "&AMP;"},
      {"&#0;&#xD800;&#x110000;&#99999999999;", "&#0;&#xD800;&#x110000;&#99999999999;"},
      {"AT&T &#12a;", "AT&T &#12a;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    std::string xml = std::string("<a v=\"") + c.written + "\">" + c.written + "</a>";
    CXmlDocument document;
    CXmlNode* root = document.Parse(xml);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->children().size(), 1u);
    const CXmlNode& text = root->children()[0];
    EXPECT_EQ(text.text(), c.read);
    EXPECT_EQ(text.raw_text(), c.written);
    ASSERT_NE(root->GetAttribute("v"), nullptr);
    EXPECT_STREQ(root->GetAttribute("v"), c.read);
  }
}

TEST(XmlDocumentTest, RawTextKeepsReferencesWhileTheTextIsDecoded) {
  CXmlDocument document;
  CXmlNode* root = document.Parse(
      "<step><html_instructions>Turn &lt;b&gt;left&lt;/b&gt;&amp;nbsp;</html_instructions>"
      "<cdata><![CDATA[&lt; stays]]></cdata><plain>no references</plain></step>");
  ASSERT_NE(root, nullptr);
  std::string decoded, raw;
  EXPECT_TRUE(root->GetChildString("html_instructions", decoded));
  EXPECT_TRUE(root->GetChildRawString("html_instructions", raw));
  EXPECT_EQ(decoded, "Turn <b>left</b>&nbsp;");
  EXPECT_EQ(raw, "Turn &lt;b&gt;left&lt;/b&gt;&amp;nbsp;");
  decoded.clear();
  raw.clear();
  EXPECT_TRUE(root->GetChildString("cdata", decoded));
  EXPECT_TRUE(root->GetChildRawString("cdata", raw));
  EXPECT_EQ(decoded, "&lt; stays");
  EXPECT_EQ(raw, "&lt; stays");
  EXPECT_EQ(root->FindChild("plain")->children()[0].raw_text(), "no references");
  EXPECT_FALSE(root->GetChildRawString("missing", raw));
}

TEST(XmlDocumentTest, TreeShapes) {
  struct Case {
    const char* xml;
    const char* shape;
  };
  const Case cases[] = {
      // The declaration holds the document.
      {"junk <?xml version=\"1.0\"?>\n<gpx>\n  <wpt/>\n</gpx>\n", "?xml(gpx(wpt))"},
      {"<?xml version='1.0' ?><a/>", "?xml(a)"},
      // Namespace prefixes go, on opening and closing tags alike.
      {"<gpx:gpx><gpx:trk></gpx:trk><ns:wpt/></gpx:gpx>", "gpx(trk wpt)"},
      // Leading white space of a text goes, the rest stays; white space alone makes nothing.
      {"<a>  x y \n<b> </b>\t</a>", "a('x y \n' b)"},
      // A missing closing tag ends at the enclosing element's closing tag.
      {"<a><b><c>1</a><d/>", "a(b(c('1')))"},
      {"<r><a><b>1</a><c/></r>", "r(a(b('1')) c)"},
      // A closing tag of no open element is ignored; closing tags match without case.
      {"<r><a>1</x>2</A><b/></r>", "r(a('1' '2') b)"},
      {"</x><r/>", "r"},
      // Unclosed elements end with the file.
      {"<a><b>text", "a(b('text'))"},
      // CDATA sections are text; "CDATA" in any case, white space before '['.
      {"<a><![CDATA[<b>&amp;]]></a>", "a('<b>&amp;')"},
      {"<a><! [cdata[x]]>y</a>", "a('x' 'y')"},
      {"<a><![CDATA[open", "a('open')"},
      // Comments make nothing, even with quotes or markup inside.
      {"<!-- it's > here --><r><!--c--><a/><!-- <b/> --></r>", "r(a)"},
      {"<r><!-- never closed <a/>", "r"},
      // Declarations and instructions hold nothing.
      {"<?xml version=\"1.0\"?><!DOCTYPE gpx><?style x?><gpx/>", "?xml(!DOCTYPE ?style gpx)"},
      {"<!DOCTYPE gpx><gpx/>", "gpx"},
      // Elements without a name are dropped; what follows them is content.
      {"<r><>x< /><a/></r>", "r('>x' a)"},
      {"<r>< b >1</b></r>", "r(b('1'))"},
      {"<a/>trailing<b/>", "a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShapeOf(c.xml), c.shape) << c.xml;
  }
}

TEST(XmlDocumentTest, AttributeTokens) {
  struct Case {
    const char* tag;
    std::vector<std::pair<std::string, std::string>> attributes;
  };
  const Case cases[] = {
      {"<a x=\"1\" y='2'>", {{"x", "1"}, {"y", "2"}}},
      {"<a x = \"1\"\n\ty=2 >", {{"x", "1"}, {"y", "2"}}},
      {"<a x=\"a>b\" y='it\"s'>", {{"x", "a>b"}, {"y", "it\"s"}}},
      {"<a flag other=\"\">", {{"flag", ""}, {"other", ""}}},
      {"<a x=\"1\"/>", {{"x", "1"}}},
      {"<a xsi:schemaLocation=\"u v\">", {{"xsi:schemaLocation", "u v"}}},
      {"<a \"\"=\"dropped\" x=>", {{"x", ""}}},
      {"<a x=\"&lt;&#65;\">", {{"x", "<A"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    CXmlDocument document;
    CXmlNode* root = document.Parse(c.tag);
    ASSERT_NE(root, nullptr);
    std::vector<std::pair<std::string, std::string>> got;
    for (const CXmlNode::Attribute& a : root->attributes()) got.emplace_back(a.name, a.value);
    EXPECT_EQ(got, c.attributes);
  }
}

TEST(XmlDocumentTest, NothingToReadGivesAnEmptyRoot) {
  for (std::string_view xml :
       {std::string_view(""), std::string_view("just text, no markup"), std::string_view("  \n"),
        std::string_view("<"), std::string_view("<></>"), std::string_view("\0<a/>", 5)}) {
    CXmlDocument document;
    CXmlNode* root = document.Parse(xml);
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(root->element());
    EXPECT_EQ(root->text(), "");
    EXPECT_TRUE(root->children().empty());
  }
  // A NUL byte ends the document.
  EXPECT_EQ(ShapeOf(std::string_view("<a>x\0<b/></a>", 13)), "a('x')");
}

TEST(XmlDocumentTest, NestingDeeperThan256IsSkippedWithoutRecursion) {
  constexpr int kDepth = 100000;
  std::string xml = "<r>";
  for (int i = 0; i < kDepth; ++i) xml += "<n>";
  xml += "deep";
  for (int i = 0; i < kDepth; ++i) xml += "</n>";
  xml += "<after>kept</after></r>";
  CXmlDocument document;
  CXmlNode* root = document.Parse(xml);
  ASSERT_NE(root, nullptr);
  ASSERT_TRUE(root->IsElementNamed("r"));
  int depth = 1;
  const CXmlNode* node = root;
  while (!node->children().empty() && node->children()[0].IsElementNamed("n")) {
    node = &node->children()[0];
    ++depth;
  }
  EXPECT_EQ(depth, 256);
  EXPECT_TRUE(node->children().empty());
  std::string text;
  root->GetInnerText(text);
  EXPECT_EQ(text, "kept");
  ASSERT_EQ(root->children().size(), 2u);
  EXPECT_TRUE(root->children()[1].IsElementNamed("after"));

  // Unclosed, too: every element ends at the end of the file.
  std::string open_only;
  for (int i = 0; i < kDepth; ++i) open_only += "<n a='1'>x";
  EXPECT_NE(document.Parse(open_only), nullptr);
  std::string all_text;
  document.root()->GetInnerText(all_text);
  EXPECT_EQ(all_text.size(), 256u);
}

// A long list of children (a track of many points) is kept whole, whatever the storage
// the document picks for it.
TEST(XmlDocumentTest, ElementWithManyChildrenKeepsThemAll) {
  for (int count : {10, 6000, 7000, 100000}) {
    std::string xml = "<trkseg>";
    for (int i = 0; i < count; ++i) xml += "<trkpt lat='" + std::to_string(i) + "'/>";
    xml += "</trkseg>";
    CXmlDocument document;
    CXmlNode* root = document.Parse(xml);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->children().size(), static_cast<size_t>(count)) << count;
    EXPECT_EQ(root->children().back().GetAttributeDouble("lat", -1), count - 1);
  }
}

// A name, text run or tag body over 100,000 bytes is emptied; reading goes on after its
// 100,001st byte as content.
TEST(XmlDocumentTest, OverlongRunsAreEmptied) {
  constexpr size_t kMax = 100000;
  const std::string at_limit(kMax, 'x');
  const std::string over(kMax + 1, 'x');
  CXmlDocument document;

  CXmlNode* root = document.Parse("<a>" + at_limit + "</a>");
  ASSERT_EQ(root->children().size(), 1u);
  EXPECT_EQ(root->children()[0].text().size(), kMax);

  EXPECT_EQ(ShapeOf("<a>" + over + "tail</a>"), "a('tail')");
  EXPECT_EQ(ShapeOf("<a><![CDATA[" + over + "tail]]></a>"), "a('tail]]>')");
  EXPECT_EQ(ShapeOf("<a><" + over + "b>x</a>"), "a('b>x')");
  // (EXPECT_TRUE: a failure would print megabytes.)
  EXPECT_TRUE(ShapeOf("<a><" + at_limit + "></a>") == "a(" + at_limit + ")");
  // The name counts with the '/' of an empty element.
  EXPECT_EQ(ShapeOf("<a><" + at_limit + "/></a>"), "a('>')");
  // An overlong tag body: the element keeps its name but not its attributes, and the body's
  // rest becomes its content. " x='1' " is 7 bytes of the 100,001 read.
  root = document.Parse("<a><b x='1' " + over + " y='2'>z</b></a>");
  EXPECT_EQ(Shape(*root), "a(b('xxxxxxx y='2'>z'))");
  EXPECT_TRUE(root->FindChild("b")->attributes().empty());
}

TEST(XmlDocumentTest, HundredMegabyteTextRunStaysSmall) {
  vd::test::TempDir dir;
  const std::string path = dir.File("long.xml");
  constexpr size_t kRun = size_t{100} << 20;
  {
    vd::os::File file;
    ASSERT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate));
    ASSERT_TRUE(file.Write("<a>", 3));
    const std::string chunk(1 << 20, 'x');
    for (size_t written = 0; written < kRun; written += chunk.size()) {
      ASSERT_TRUE(file.Write(chunk.data(), chunk.size()));
    }
    const std::string tail = "<b>end</b></a>";
    ASSERT_TRUE(file.Write(tail.data(), tail.size()));
  }
  CXmlDocument document;
  CXmlNode* root = document.Load(path);
  ASSERT_NE(root, nullptr);
  // Every whole 100,001-byte piece is dropped; the remainder is an ordinary text.
  ASSERT_EQ(root->children().size(), 2u);
  EXPECT_EQ(root->children()[0].text().size(), kRun % 100001);
  std::string end;
  EXPECT_TRUE(root->GetChildString("b", end));
  EXPECT_EQ(end, "end");
  EXPECT_LT(document.StorageBytes(), size_t{4} << 20);
}

TEST(XmlDocumentTest, DeclaredWindows1252IsConverted) {
  CXmlDocument document;
  CXmlNode* root = document.Parse(
      "<?xml version=\"1.0\" encoding=\"Windows-1252\"?><gpx><na\xEFve n=\"\xE9\x80\">"
      "Caf\xE9 &#233;</na\xEFve></gpx>");
  ASSERT_NE(root, nullptr);
  CXmlNode* gpx = root->FindChild("gpx");
  ASSERT_NE(gpx, nullptr);
  CXmlNode* node = gpx->FindChild("na\xC3\xAFve");
  ASSERT_NE(node, nullptr);
  EXPECT_STREQ(node->GetAttribute("n"), "\xC3\xA9\xE2\x82\xAC");
  std::string text;
  node->GetInnerText(text);
  EXPECT_EQ(text, "Caf\xC3\xA9 \xC3\xA9");

  // Without that declaration the bytes are taken as UTF-8.
  root = document.Parse("<?xml version=\"1.0\"?><a>Caf\xC3\xA9</a>");
  text.clear();
  root->GetInnerText(text);
  EXPECT_EQ(text, "Caf\xC3\xA9");
  root = document.Parse("<a encoding=\"ISO-8859-1\">Caf\xC3\xA9</a>");  // not a declaration
  text.clear();
  root->GetInnerText(text);
  EXPECT_EQ(text, "Caf\xC3\xA9");
  root = document.Parse("<?xml encoding='iso-8859-1'?><a>\xE9</a>");
  text.clear();
  root->GetInnerText(text);
  EXPECT_EQ(text, "\xC3\xA9");
}

TEST(XmlDocumentTest, LoadReadsFilesAndFailsOnlyWhenTheyCannotBeOpened) {
  vd::test::TempDir dir;
  CXmlDocument document;
  EXPECT_EQ(document.Load(dir.File("missing.gpx")), nullptr);
  EXPECT_EQ(document.Load(dir.path()), nullptr);

  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("empty.gpx"), ""));
  CXmlNode* root = document.Load(dir.File("empty.gpx"));
  ASSERT_NE(root, nullptr);
  EXPECT_FALSE(root->element());

  ASSERT_TRUE(
      vd::os::SaveFileAtomically(dir.File("a.gpx"), "\xEF\xBB\xBF<gpx><wpt lat=\"1.5\"/></gpx>"));
  root = document.Load(dir.File("a.gpx"));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Shape(*root), "gpx(wpt)");
  EXPECT_DOUBLE_EQ(root->FindChild("wpt")->GetAttributeDouble("lat", 0), 1.5);
}

}  // namespace
