// The XML reader against GPX written by gpsbabel, and the writer's files against xmllint and
// gpsbabel's reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/xml_document.h"
#include "core/xml_writer.h"
#include "platform/os/files.h"
#include "platform/os/process.h"
#include "tests/temp_dir.h"

namespace {

// Names that need escaping in XML, in CSV, or both.
const std::vector<std::string> kNames = {
    "Fish & Chips",
    "a < b > c",
    "He said \"hi\"",
    "O'Brien's <Caf\xC3\xA9> Gr\xC3\xB6\xC3\x9F"
    "e \xC3\xB1",
    "&amp; is not decoded twice",
    "x]]>y ]]> z",
    "\xE2\x82\xAC 5 \xF0\x9F\x90\x9F",
};

void RunTool(const std::string& program, const std::vector<std::string>& args) {
  vd::os::SpawnResult result = vd::os::Spawn(program, args, true);
  ASSERT_TRUE(result.started) << program << ": " << result.error;
  ASSERT_EQ(result.exit_code, 0) << program << " failed";
}

std::string CsvField(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// The names of the waypoints of a GPX file, as the reader gives them.
std::vector<std::string> ReadWaypointNames(const std::string& path) {
  CXmlDocument document;
  CXmlNode* root = document.Load(path);
  std::vector<std::string> names;
  if (!root) return names;
  root->ResetCursor();
  while (CXmlNode* wpt = root->FindNextDescendant("wpt")) {
    std::string name;
    EXPECT_TRUE(wpt->GetChildString("name", name));
    names.push_back(name);
  }
  return names;
}

TEST(XmlPeerTest, ReadsGpsbabelGpxWithNamesDecoded) {
  vd::test::TempDir dir;
  std::string csv = "name,lat,lon\n";
  for (size_t i = 0; i < kNames.size(); ++i) {
    csv +=
        CsvField(kNames[i]) + "," + std::to_string(10 + i) + ".5,-" + std::to_string(i) + ".25\n";
  }
  ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("in.csv"), csv));
  for (const char* version : {"1.0", "1.1"}) {
    SCOPED_TRACE(version);
    const std::string gpx = dir.File(std::string("out") + version + ".gpx");
    ASSERT_NO_FATAL_FAILURE(RunTool("gpsbabel", {"-i", "unicsv", "-f", dir.File("in.csv"), "-o",
                                                 std::string("gpx,gpxver=") + version, "-F", gpx}));
    EXPECT_EQ(ReadWaypointNames(gpx), kNames);

    CXmlDocument document;
    CXmlNode* root = document.Load(gpx);
    ASSERT_NE(root, nullptr);
    root->ResetCursor();
    CXmlNode* wpt = root->FindNextDescendant("wpt");
    ASSERT_NE(wpt, nullptr);
    EXPECT_DOUBLE_EQ(wpt->GetAttributeDouble("lat", 0), 10.5);
    EXPECT_DOUBLE_EQ(wpt->GetAttributeDouble("lon", 0), -0.25);
  }
}

// GPX written with the element writer is well-formed, and another reader gets the same names.
TEST(XmlPeerTest, WrittenFilesAreWellFormedForOtherReaders) {
  vd::test::TempDir dir;
  std::vector<std::string> texts = kNames;
  texts.push_back("]]>");
  texts.push_back("ends with ]]");
  texts.push_back("]]]]>>");
  texts.push_back("]]]>");
  texts.push_back("Harbour \"North\" 'B'");
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
      "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  for (size_t i = 0; i < texts.size(); ++i) {
    xml += "<wpt lat=\"" + std::to_string(i) + "\" lon=\"1\">\n";
    XmlWriteElement(xml, "name", texts[i]);
    XmlWriteElement(xml, "desc", "line one\nline two & more");
    xml += "</wpt>\n";
  }
  xml += "</gpx>\n";
  const std::string written = dir.File("written.gpx");
  ASSERT_TRUE(vd::os::SaveFileAtomically(written, xml));
  ASSERT_NO_FATAL_FAILURE(RunTool("xmllint", {"--noout", written}));

  // gpsbabel reads it back and writes its own GPX, escaping instead of using CDATA.
  const std::string copy = dir.File("copy.gpx");
  ASSERT_NO_FATAL_FAILURE(
      RunTool("gpsbabel", {"-i", "gpx", "-f", written, "-o", "gpx", "-F", copy}));
  EXPECT_EQ(ReadWaypointNames(copy), texts);
  EXPECT_EQ(ReadWaypointNames(written), texts);
}

}  // namespace
