#include "charts/geo_name_database_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charts/old_geo_name_database.h"
#include "charts/tests/geo_name_fixture.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ErrorCatcher;
using vd::test::GeoNameIndexBytes;

std::string ReadFile(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

class GeoNameBuilderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    return path;
  }
  std::vector<std::string> FolderNames() const {
    std::vector<vd::os::DirEntry> entries;
    vd::os::ListFolder(dir.path(), entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    return names;
  }
  vd::test::TempDir dir;
};

TEST_F(GeoNameBuilderTest, TabListGivesCategoriesInOrderAndRegionSuffixes) {
  const std::string input = Write(
      "places.txt",
      "! comment line\n"
      "Springfield\tTown\tIL\tx\tx\t39.8\t-89.65\r\n"
      "Shelbyville\tTown\tIL,US\tx\tx\t39.4\t-88.8\n"
      "Cape Point\tCape\tWCP\tx\tx\t-34.35\t18.5\n"
      "\tTown\tNo name\tx\tx\t1\t1\n"
      "Saint-\xC3\x89tienne\tTown\t\tx\tx\t45.43\t4.39\n"
      "Cr\xE9teil\tTown\n"
      "Bare\n"
      "\n");
  const std::string output = dir.File("places.vdq");
  ASSERT_EQ(BuildGeoNameDatabaseTab(input, output), 0);
  EXPECT_EQ(ReadFile(output),
            GeoNameIndexBytes({"Town", "Cape"}, {{0, 39.8, -89.65, "Springfield, IL"},
                                                 {0, 39.4, -88.8, "Shelbyville, IL"},
                                                 {1, -34.35, 18.5, "Cape Point"},
                                                 {0, 45.43, 4.39, "Saint-\xC9tienne"},
                                                 {0, 0, 0, "Cr\xE9teil"},
                                                 {0, 0, 0, "Bare"}}));
}

TEST_F(GeoNameBuilderTest, OverlongLinesAreCutNotSplit) {
  const std::string input =
      Write("long.txt", std::string(kMaxPlaceLine + 100, 'L') + "\tCat\tAB\tx\tx\t1\t2\n"
                        "Short\tCat\tx\tx\tx\t3\t4\n");
  const std::string output = dir.File("long.vdq");
  ASSERT_EQ(BuildGeoNameDatabaseTab(input, output), 0);
  EXPECT_EQ(ReadFile(output), GeoNameIndexBytes({"Cat"}, {{0, 0, 0, std::string(kMaxPlaceLine, 'L')},
                                                          {0, 3, 4, "Short"}}));
}

TEST_F(GeoNameBuilderTest, CommaListReadsQuotedNamesAndDefaultsTheCategory) {
  const std::string input = Write("places.csv",
                                  "! name, category, lat, lon\n"
                                  "\n"
                                  "\"Smith, Jones & Co\",Shop,51.5,-0.12\n"
                                  "Harbour,,50.1,-5.0\n"
                                  "  Lighthouse|Mark|49.9|-6.3\n"
                                  ",Ignored,1,2\n");
  const std::string output = dir.File("places.vdq");
  ASSERT_EQ(BuildGeoNameDatabaseCsv(input, output), 0);
  EXPECT_EQ(ReadFile(output),
            GeoNameIndexBytes({"Shop", "none", "Mark"}, {{0, 51.5, -0.12, "Smith, Jones & Co"},
                                                         {1, 50.1, -5.0, "Harbour"},
                                                         {2, 49.9, -6.3, "Lighthouse"}}));
}

TEST_F(GeoNameBuilderTest, CommaListFormatErrorsNameTheLineAndKeepTheOldIndex) {
  const std::string old_index = GeoNameIndexBytes({"Old"}, {{0, 1, 1, "Kept"}});
  const struct {
    std::string bad_line;
  } cases[] = {{"Name only"}, {"Name,Cat,1"}, {"Name,Cat,north,2"}, {"Name,Cat,1,east"}};
  for (const auto& c : cases) {
    const std::string input = Write("bad.csv", "! header\nGood,Cat,1,2\n" + c.bad_line + "\n");
    const std::string output = Write("out.vdq", old_index);
    ErrorCatcher errors;
    EXPECT_EQ(BuildGeoNameDatabaseCsv(input, output), -1) << c.bad_line;
    EXPECT_EQ(errors.messages,
              std::vector<std::string>{"Bad format index file: line 3 (" + c.bad_line + ")"});
    EXPECT_EQ(ReadFile(output), old_index) << c.bad_line;
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"bad.csv", "out.vdq"}));
  }
}

TEST_F(GeoNameBuilderTest, FilesThatCannotBeUsedFailWithTheirMessage) {
  const std::string list = "Place,Cat,1,2\n";
  const std::string input = Write("in.csv", list);
  const struct {
    std::string input;
    std::string output;
    const char* message;
  } cases[] = {
      {dir.File("missing.csv"), dir.File("o.vdq"), "Failed to open input file"},
      {input, dir.File("no/folder/o.vdq"), "Failed to open output file"},
      {input, input, "Failed to open output file"},
  };
  for (const auto& c : cases) {
    for (auto build : {BuildGeoNameDatabaseCsv, BuildGeoNameDatabaseTab}) {
      ErrorCatcher errors;
      EXPECT_EQ(build(c.input, c.output), -1) << c.output;
      EXPECT_EQ(errors.messages, std::vector<std::string>{c.message}) << c.output;
    }
  }
  EXPECT_EQ(ReadFile(input), list);
  EXPECT_EQ(FolderNames(), std::vector<std::string>{"in.csv"});
}

TEST_F(GeoNameBuilderTest, BuiltIndexIsSearchable) {
  const std::string input = Write("p.csv", "Saint-\xC3\x89tienne,Town,45.43,4.39\nEtel,Town,47.6,-3.2\n");
  const std::string output = dir.File("p.vdq");
  ASSERT_EQ(BuildGeoNameDatabaseCsv(input, output), 0);
  COldGeoNameDatabase db;
  ASSERT_EQ(db.Open(output), 0);
  GeoNameCursor cursor = nullptr;
  db.FindNext(cursor, 0, "\u00c9TIENNE");
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(COldGeoNameDatabase::Read(cursor).name, "Saint-\u00c9tienne");
  db.FindNext(cursor, 0, "\u00c9TIENNE");
  EXPECT_EQ(cursor, nullptr);
}

}  // namespace
