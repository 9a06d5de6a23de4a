#include "charts/old_geo_name_database.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

std::vector<std::string> PlaceNames(const COldGeoNameDatabase& db, int category = -1,
                                    std::string_view text = "") {
  std::vector<std::string> names;
  GeoNameCursor cursor = nullptr;
  for (db.FindNext(cursor, category, text); cursor != nullptr; db.FindNext(cursor, category, text))
    names.push_back(COldGeoNameDatabase::Read(cursor).name);
  return names;
}

std::vector<std::string> CategoryNames(const COldGeoNameDatabase& db) {
  std::vector<std::string> names;
  GeoNameCursor cursor = nullptr;
  for (db.NextCategory(cursor); cursor != nullptr; db.NextCategory(cursor))
    names.push_back(COldGeoNameDatabase::Read(cursor).name);
  return names;
}

class GeoNameDatabaseTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(vd::os::SaveFileAtomically(path, bytes));
    return path;
  }
  vd::test::TempDir dir;
};

TEST(GeoNameRecordTest, LengthIsHeadTextAndNulRoundedToEight) {
  const struct {
    size_t text;
    size_t length;
  } cases[] = {{0, 32}, {7, 32}, {8, 40}, {15, 40}, {16, 48}};
  for (const auto& c : cases) {
    std::string out = "x";
    AppendGeoNameRecord(out, 3, 1.5, -2.5, std::string(c.text, 'a'));
    ASSERT_EQ(out.size(), 1 + c.length) << c.text;
    int32_t head[2];
    std::memcpy(head, out.data() + 1, sizeof head);
    EXPECT_EQ(head[0], static_cast<int32_t>(c.length));
    EXPECT_EQ(head[1], 3);
    EXPECT_EQ(out.substr(1 + kGeoNameRecordHead + c.text),
              std::string(c.length - kGeoNameRecordHead - c.text, '\0'));
  }
}

TEST_F(GeoNameDatabaseTest, WalksCategoriesAndPlaces) {
  const std::string path =
      Write("a.vdq", GeoNameIndexBytes({"Town", "Cape"}, {{0, 48.39, -4.49, "Br\xE9st"},
                                                           {1, 50.0, -5.7, "Land's End"}}));
  COldGeoNameDatabase db;
  ASSERT_EQ(db.Open(path), 0);
  EXPECT_EQ(CategoryNames(db), (std::vector<std::string>{"Town", "Cape"}));
  GeoNameCursor cursor = nullptr;
  db.NextPlace(cursor);
  ASSERT_NE(cursor, nullptr);
  const GeoNamePlace first = COldGeoNameDatabase::Read(cursor);
  EXPECT_EQ(first.name, "Br\u00e9st");
  EXPECT_EQ(first.category, 0);
  EXPECT_EQ(first.lat, 48.39);
  EXPECT_EQ(first.lon, -4.49);
  EXPECT_EQ(COldGeoNameDatabase::RawName(cursor), "Br\xE9st");
  db.NextPlace(cursor);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(COldGeoNameDatabase::Read(cursor).category, 1);
  db.NextPlace(cursor);
  EXPECT_EQ(cursor, nullptr);

  // Without categories the places start right after the header.
  ASSERT_EQ(db.Open(Write("b.vdq", GeoNameIndexBytes({}, {{0, 1, 2, "Only"}}))), 0);
  EXPECT_TRUE(CategoryNames(db).empty());
  EXPECT_EQ(PlaceNames(db), std::vector<std::string>{"Only"});
}

TEST_F(GeoNameDatabaseTest, FindNextMatchesCategoryAndCapitalsOfThePattern) {
  const std::string path = Write(
      "find.vdq", GeoNameIndexBytes({"A", "B"}, {{0, 0, 0, "Newport"},
                                                 {1, 0, 0, "NEWPORT"},
                                                 {1, 0, 0, "Br\xE9" "beuf"},
                                                 {0, 0, 0, "BR\xC9ON"},
                                                 {0, 0, 0, "N.E. Point"},
                                                 {1, 0, 0, "2\xF7" "3"}}));
  COldGeoNameDatabase db;
  ASSERT_EQ(db.Open(path), 0);
  using Names = std::vector<std::string>;
  const struct {
    int category;
    const char* text;
    Names names;
  } cases[] = {
      {-1, "", {"Newport", "NEWPORT", "Br\u00e9beuf", "BR\u00c9ON", "N.E. Point", "2\u00f73"}},
      {1, "", {"NEWPORT", "Br\u00e9beuf", "2\u00f73"}},
      {-1, "PORT", {"Newport", "NEWPORT"}},
      {0, "PORT", {"Newport"}},
      {-1, "port", {"Newport"}},
      {-1, "BR\u00c9", {"Br\u00e9beuf", "BR\u00c9ON"}},
      {-1, "br\u00e9", {}},
      {-1, "\u00e9", {"Br\u00e9beuf"}},
      {-1, ".", {"N.E. Point"}},  // '.' + 32 is 'N': only letters fold
      {-1, "\u00d7", {}},         // nor does the multiplication sign fold to the division sign
      {2, "", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlaceNames(db, c.category, c.text), c.names) << c.category << " " << c.text;
  }
}

TEST(FindTextNoCaseTest, ReturnsTheFirstMatchingPosition) {
  const std::string_view text = "abcABCabc";
  EXPECT_EQ(FindTextNoCase(text, "BC"), text.data() + 1);
  EXPECT_EQ(FindTextNoCase(text, "bc"), text.data() + 1);
  EXPECT_EQ(FindTextNoCase(text, "Cb"), nullptr);
  EXPECT_EQ(FindTextNoCase(text, ""), text.data());
  EXPECT_EQ(FindTextNoCase("", "A"), nullptr);
}

TEST_F(GeoNameDatabaseTest, RefusesFilesItCannotWalk) {
  const std::string good = GeoNameIndexBytes({"Cat"}, {{0, 1, 2, "Place"}});
  const auto with_int32 = [](std::string bytes, size_t offset, int32_t value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
    return bytes;
  };
  const struct {
    const char* what;
    std::string bytes;
    bool message;
  } cases[] = {
      {"15 bytes", good.substr(0, 15), false},
      {"wrong magic", with_int32(good, 0, 0x12345678), true},
      {"negative category count", with_int32(good, 8, -1), true},
      {"category count beyond the records", with_int32(good, 8, 5), true},
      {"category record of length 0", with_int32(good, 16, 0), true},
      {"category record length not a multiple of 8", with_int32(good, 16, 36), true},
      {"category record past the end", with_int32(good, 16, 4096), true},
  };
  for (const auto& c : cases) {
    ErrorCatcher errors;
    COldGeoNameDatabase db;
    const std::string path = Write("bad.vdq", c.bytes);
    EXPECT_EQ(db.Open(path), -1) << c.what;
    EXPECT_FALSE(db.IsOpen()) << c.what;
    const std::vector<std::string> expected =
        c.message ? std::vector<std::string>{"Could not open file: \"" + path + "\""}
                  : std::vector<std::string>{};
    EXPECT_EQ(errors.messages, expected) << c.what;
  }
  ErrorCatcher errors;
  COldGeoNameDatabase db;
  EXPECT_EQ(db.Open(dir.File("missing.vdq")), -1);
  EXPECT_TRUE(errors.messages.empty());
}

TEST_F(GeoNameDatabaseTest, DamagedPlaceRecordsEndTheWalk) {
  const std::string good = GeoNameIndexBytes({}, {{0, 1, 2, "Good"}, {0, 3, 4, "Next"}});
  const size_t second = kGeoNameHeaderSize + 32;
  const auto with_length = [&](int32_t length) {
    std::string bytes = good;
    std::memcpy(bytes.data() + second, &length, sizeof length);
    return bytes;
  };
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"length 0", with_length(0)},
      {"negative length", with_length(-32)},
      {"length past the end", with_length(64)},
      {"length not a multiple of 8", with_length(28)},
      {"a few stray bytes at the end", good.substr(0, second) + std::string(20, '\x7f')},
  };
  for (const auto& c : cases) {
    COldGeoNameDatabase db;
    ASSERT_EQ(db.Open(Write("damaged.vdq", c.bytes)), 0) << c.what;
    EXPECT_EQ(PlaceNames(db), std::vector<std::string>{"Good"}) << c.what;
  }
}

TEST_F(GeoNameDatabaseTest, ExportKeepsCategoriesAndThePlacesTheAreaWindsRound) {
  const std::string source = Write(
      "all.vdq", GeoNameIndexBytes({"Town", "Cape"}, {{0, 5, 5, "Inside"},
                                                      {1, 15, 5, "Outside"},
                                                      {1, 5, 15, "Also outside"},
                                                      {0, 9.5, 0.5, "Near corner"}}));
  COldGeoNameDatabase db;
  ASSERT_EQ(db.Open(source), 0);
  // The square wound twice: even-odd counting would leave its inside out.
  const GeoPoint twice[] = {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}, {0, 10}, {10, 10}, {10, 0}};
  const std::string out = dir.File("part.vdq");
  ASSERT_EQ(db.ExportPolygon(out, twice, 8), 0);

  const std::string bytes = ReadFile(out);
  EXPECT_EQ(bytes, GeoNameIndexBytes({"Town", "Cape"}, {{0, 5, 5, "Inside"},
                                                        {0, 9.5, 0.5, "Near corner"}}));
  COldGeoNameDatabase part;
  ASSERT_EQ(part.Open(out), 0);
  EXPECT_EQ(PlaceNames(part), (std::vector<std::string>{"Inside", "Near corner"}));
}

TEST_F(GeoNameDatabaseTest, ExportFailuresLeaveFilesAlone) {
  const std::string original = GeoNameIndexBytes({"Town"}, {{0, 5, 5, "Inside"}});
  const std::string source = Write("src.vdq", original);
  const GeoPoint square[] = {{0, 0}, {0, 10}, {10, 10}, {10, 0}};
  {
    ErrorCatcher errors;
    COldGeoNameDatabase closed;
    EXPECT_EQ(closed.ExportPolygon(dir.File("x.vdq"), square, 4), -1);
    EXPECT_TRUE(errors.messages.empty());
  }
  COldGeoNameDatabase db;
  ASSERT_EQ(db.Open(source), 0);
  for (const std::string& target : {source, dir.File("no/such/folder/x.vdq")}) {
    ErrorCatcher errors;
    EXPECT_EQ(db.ExportPolygon(target, square, 4), -1) << target;
    EXPECT_EQ(errors.messages, std::vector<std::string>{"Failed to open index output file"});
  }
  EXPECT_EQ(ReadFile(source), original);
  EXPECT_EQ(PlaceNames(db), std::vector<std::string>{"Inside"});
}

}  // namespace
