#include "core/xml_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "core/xml_document.h"

namespace {

TEST(XmlWriterTest, PlainTextOrCdata) {
  struct Case {
    const char* text;
    const char* written;
  };
  const Case cases[] = {
      {"Harbour \"North\" 'B'", "<name>Harbour \"North\" 'B'</name>\n"},
      {"", "<name></name>\n"},
      {"a < b", "<name><![CDATA[a < b]]></name>\n"},
      {"Fish & Chips", "<name><![CDATA[Fish & Chips]]></name>\n"},
      {"line\nbreak", "<name><![CDATA[line\nbreak]]></name>\n"},
      {"x]]>y", "<name><![CDATA[x]]]]><![CDATA[>y]]></name>\n"},
      {"]]>]]>", "<name><![CDATA[]]]]><![CDATA[>]]]]><![CDATA[>]]></name>\n"},
      {"]]]>", "<name><![CDATA[]]]]]><![CDATA[>]]></name>\n"},
  };
  for (const Case& c : cases) {
    std::string out = "keep:";
    XmlWriteElement(out, "name", c.text);
    EXPECT_EQ(out, std::string("keep:") + c.written) << c.text;
  }
}

// Whatever the writer puts into an element, the reader gives back.
TEST(XmlWriterTest, ReaderGetsTheTextBack) {
  for (const char* text : {"plain", "a < b > c & d", "x]]>y", "]]>", "a]]]]>b]]>", "]]",
                           "two\nlines", "&amp; stays &amp;", "Caf\xC3\xA9 \xF0\x9F\x98\x80"}) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<wpt>\n";
    XmlWriteElement(xml, "name", text);
    xml += "</wpt>\n";
    CXmlDocument document;
    CXmlNode* root = document.Parse(xml);
    ASSERT_NE(root, nullptr);
    CXmlNode* wpt = root->FindChild("wpt");
    ASSERT_NE(wpt, nullptr);
    std::string back;
    EXPECT_TRUE(wpt->GetChildString("name", back));
    EXPECT_EQ(back, text);
  }
}

}  // namespace
