// The well-formedness test: documents other programs write pass; broken ones are named with
// the line and column of the fault.
#include "overlays/exchange/gpx_xml_check.h"

#include <gtest/gtest.h>

#include <string>

#include "core/xml_document.h"

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
      "<gpx><wpt lat=\"-90\" lon=\"180.0\"/><trkpt lat=' 90 ' lon='-180'/></gpx>",
      "<a><tcx:LatitudeDegrees>\n -12.5 </tcx:LatitudeDegrees><b lat:x=\"999\"/></a>",
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
      // Positions off the globe, with the line that holds them.
      {"<gpx>\n<trk><trkseg><trkpt lat=\"500003\" lon=\"2\"/>",
       "line 2, column 21: latitude 500003 is outside -90..90"},
      {"<gpx><wpt lat=\"1\" lon=\"-180.5\"/></gpx>",
       "line 1, column 19: longitude -180.5 is outside -180..180"},
      {"<loc><coord lat=\"north\" lon=\"2\"/></loc>",
       "line 1, column 13: latitude \"north\" is not a number"},
      {"<a>\n<LongitudeDegrees>1e3</LongitudeDegrees></a>",
       "line 2, column 19: longitude 1e3 is outside -180..180"},
  };
  for (const Case& c : cases) {
    const std::string error = CheckXmlWellFormed(c.document);
    EXPECT_TRUE(error.starts_with(c.error)) << c.document << "\n" << error;
  }
}

// A file saved in UTF-16 is named as such rather than reported as broken XML.
TEST(XmlCheck, TellsAUtf16FileFromABrokenOne) {
  const std::string files[] = {std::string("\xFF\xFE<\0g\0p\0x\0/\0>\0", 14),
                               std::string("\xFE\xFF\0<\0g\0p\0x\0/\0>", 14),
                               std::string("<\0g\0p\0x\0/\0>\0", 12)};
  for (const std::string& file : files) {
    EXPECT_EQ(CheckXmlWellFormed(file),
              "line 1, column 1: the file is written in UTF-16, which this reader does not take; "
              "save it as UTF-8");
  }
  EXPECT_EQ(CheckXmlWellFormed("\xEF\xBB\xBF<gpx/>"), "");
}

// What the tree reader would cut or drop is refused rather than read in part.
TEST(XmlCheck, RefusesWhatTheReaderWouldCut) {
  const std::string long_text(kXmlMaxRun + 1, 'x');
  EXPECT_EQ(CheckXmlWellFormed("<gpx><desc>" + std::string(kXmlMaxRun, 'x') + "</desc></gpx>"),
            "");
  EXPECT_EQ(CheckXmlWellFormed("<gpx><desc>" + long_text + "</desc></gpx>"),
            "line 1, column 12: a text longer than 100000 bytes");
  EXPECT_EQ(CheckXmlWellFormed("<gpx>\n<desc><![CDATA[" + long_text + "]]></desc></gpx>"),
            "line 2, column 7: a CDATA section longer than 100000 bytes");
  EXPECT_EQ(CheckXmlWellFormed("<gpx><wpt name=\"" + long_text + "\"/></gpx>"),
            "line 1, column 6: a tag longer than 100000 bytes");
  std::string deep;
  for (size_t i = 0; i <= kXmlMaxDepth; ++i) deep += "<a>";
  EXPECT_EQ(CheckXmlWellFormed(deep),
            "line 1, column 769: elements nested deeper than 256 levels");
}

}  // namespace
