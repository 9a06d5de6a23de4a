// The well-formedness test: documents other programs write pass; broken ones are named with
// the line and column of the fault.
#include "overlays/exchange/gpx_xml_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(XmlCheck, AcceptsWellFormedDocuments) {
  const char* const documents[] = {
      "<gpx/>",
      "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n<!-- a -> b --><gpx a='1' b = "
      "\"&lt;x&gt;\">"
      "<wpt lat=\"1\"\tlon=\"2\" /></gpx>\n<!-- after -->\n",
      "<!DOCTYPE gpx [ <!ENTITY e \"x\"> ]><gpx>&e; &#65; &#x41; caf\xC3\xA9</gpx>",
      "<a><![CDATA[ <not> & a tag ]]><b:c xmlns:b=\"u\">t</b:c><?pi data?></a>",
      "<a\n>\n</a\n>",
  };
  for (const char* document : documents) EXPECT_EQ(CheckXmlWellFormed(document), "") << document;
}

TEST(XmlCheck, NamesTheFaultAndWhere) {
  struct Case {
    const char* document;
    const char* error;
  };
  const Case cases[] = {
      {"<gpx><trk>\n<name>x</name>\n", "line 3, column 1: the file ends before <trk> is closed"},
      {"<gpx><trk></gpx>", "line 1, column 11: closing tag </gpx> where </trk> was expected"},
      {"<gpx>\n  Fish & Chips</gpx>", "line 2, column 8: '&' that starts no entity reference"},
      {"<gpx>a < b</gpx>", "line 1, column 8: '<' that starts no tag"},
      {"<gpx lat=1/>", "line 1, column 10: attribute value without quotes"},
      {"<gpx lat=\"1/>", "line 1, column 14: unterminated attribute value"},
      {"<gpx lat=\"<\"/>", "line 1, column 11: '<' inside an attribute value"},
      {"<gpx lat/>", "line 1, column 9: attribute without '='"},
      {"<gpx a=\"1\"b=\"2\"/>", "line 1, column 11: attributes must be separated by blanks"},
      {"<gpx/><gpx/>", "line 1, column 7: a second root element <gpx>"},
      {"<gpx/>text", "line 1, column 7: text outside the root element"},
      {"<gpx><!-- open", "line 1, column 6: unterminated comment"},
      {"<gpx><![CDATA[ open", "line 1, column 6: unterminated CDATA section"},
      {"</gpx>", "line 1, column 1: closing tag </gpx> without an open element"},
      {"<gpx", "line 1, column 5: the file ends inside the tag <gpx>"},
      {"", "line 1, column 1: no root element"},
      {"<?xml version=\"1.0\"?>\n", "line 2, column 1: no root element"},
  };
  for (const Case& c : cases) {
    const std::string error = CheckXmlWellFormed(c.document);
    EXPECT_TRUE(error.starts_with(c.error)) << c.document << "\n" << error;
  }
}

}  // namespace
