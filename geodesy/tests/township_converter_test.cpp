#include "geodesy/township_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "geodesy/degree_length.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kFeetPerNauticalMile = 6076.115485564304;
constexpr size_t kForwardIndexBytes = 31850 * 4;
constexpr size_t kReverseIndexBytes = 110 * 300 * 8;

void PutInt32(std::string& bytes, size_t at, int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((u >> (8 * i)) & 0xff);
}

int32_t GetInt32(const std::string& bytes, size_t at) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i)
    u |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return static_cast<int32_t>(u);
}

void AppendInt32(std::string& bytes, int32_t value) {
  bytes.append(4, '\0');
  PutInt32(bytes, bytes.size() - 4, value);
}

int32_t Micro(double degrees) { return static_cast<int32_t>(std::lround(degrees * 1e6)); }

struct Corner {
  int32_t lat_e6, lon_e6;
  int meridian, township, range, section;
};

// A made-up survey: whole townships of 6 x 6 one-mile sections, numbered as the land survey
// numbers them (1..6 along the south row from east to west, 7..12 back from west to east, ...),
// written into the two lookup files as their layout describes.
class Survey {
 public:
  // Adds a township whose north-east corner is at (lat, lon).
  void AddTownship(int meridian, int range, int township, double lat, double lon) {
    const double mile_lat = 5280.0 / kFeetPerNauticalMile / LatDegreeLength(lat);
    const double mile_lon = 5280.0 / kFeetPerNauticalMile / LonDegreeLength(lat);
    for (int section = 1; section <= 36; ++section) {
      const int row_from_south = (section - 1) / 6;
      const int in_row = (section - 1) % 6;
      const int column_from_east = row_from_south % 2 == 0 ? in_row : 5 - in_row;
      const int row_from_north = 5 - row_from_south;
      corners_.push_back({Micro(lat - row_from_north * mile_lat),
                          Micro(lon - column_from_east * mile_lon), meridian, township, range,
                          section});
    }
  }

  const Corner& Find(int meridian, int range, int township, int section) const {
    for (const Corner& c : corners_) {
      if (c.meridian == meridian && c.range == range && c.township == township &&
          c.section == section) {
        return c;
      }
    }
    ADD_FAILURE() << "no such section";
    return corners_.front();
  }

  std::string Forward() const {
    std::string bytes(kForwardIndexBytes, '\0');
    std::map<size_t, std::vector<const Corner*>> blocks;  // by index entry
    for (const Corner& c : corners_) {
      blocks[(static_cast<size_t>(c.meridian) * 35 + c.range) * 130 + c.township].push_back(&c);
    }
    for (const auto& [entry, sections] : blocks) {
      PutInt32(bytes, entry * 4, static_cast<int32_t>(bytes.size()));
      const size_t block = bytes.size();
      bytes.append(36 * 8, '\0');
      for (const Corner* c : sections) {
        PutInt32(bytes, block + (c->section - 1) * 8, c->lat_e6);
        PutInt32(bytes, block + (c->section - 1) * 8 + 4, c->lon_e6);
      }
    }
    return bytes;
  }

  // Each cell lists the corners that can be the north-east corner of a section containing a
  // point of the cell: those inside it or up to 1.2 miles north or east of it.
  std::string Reverse() const {
    std::map<size_t, std::vector<const Corner*>> cells;
    for (const Corner& c : corners_) {
      const double lat = c.lat_e6 / 1e6, lon = c.lon_e6 / 1e6;
      const double reach_lat = 1.2 * 5280.0 / kFeetPerNauticalMile / LatDegreeLength(lat);
      const double reach_lon = 1.2 * 5280.0 / kFeetPerNauticalMile / LonDegreeLength(lat);
      for (int row = Row(lat - reach_lat); row <= Row(lat); ++row) {
        for (int column = Column(lon - reach_lon); column <= Column(lon); ++column) {
          cells[static_cast<size_t>(row) * 300 + column].push_back(&c);
        }
      }
    }
    std::string bytes(kReverseIndexBytes, '\0');
    for (const auto& [cell, list] : cells) {
      EXPECT_LE(list.size(), 110u);
      PutInt32(bytes, cell * 8, static_cast<int32_t>(bytes.size()));
      PutInt32(bytes, cell * 8 + 4, static_cast<int32_t>(list.size()));
      for (const Corner* c : list) {
        AppendInt32(bytes, c->lat_e6);
        AppendInt32(bytes, c->lon_e6);
        for (int v : {c->meridian, c->township, c->range, c->section}) {
          bytes.push_back(static_cast<char>(v));
        }
      }
    }
    return bytes;
  }

  static int Row(double lat) { return static_cast<int>((lat - 49.0) * 10.0); }
  static int Column(double lon) { return static_cast<int>((lon + 123.0) * 10.0); }

 private:
  std::vector<Corner> corners_;
};

// Township 45, range 5, west of the 4th meridian; township 10, range 2, west of the 5th; and
// township 2, range 3, east of the first meridian.
Survey MakeSurvey() {
  Survey survey;
  survey.AddTownship(4, 5, 45, 53.8912, -110.6634);
  survey.AddTownship(5, 2, 10, 49.8517, -114.2561);
  survey.AddTownship(0, 3, 2, 49.0961, -96.9953);
  return survey;
}

class TownshipConverterTest : public testing::Test {
 protected:
  void WriteFiles(const std::string& forward, const std::string& reverse) {
    ASSERT_TRUE(
        vd::os::SaveFileAtomically(dir_.File(township_converter::kForwardFileName), forward));
    ASSERT_TRUE(
        vd::os::SaveFileAtomically(dir_.File(township_converter::kReverseFileName), reverse));
  }
  township_converter Converter() { return township_converter(std::vector{dir_.path()}); }

  vd::test::TempDir dir_;
  Survey survey_ = MakeSurvey();
};

TEST(TownshipDescription, ParsesAndFormats) {
  struct Case {
    const char* text;
    TownshipPosition expected;  // meridian, township, range, section, lsd, east, north
  };
  const Case cases[] = {
      {"12-21-045-05-W4", {4, 45, 5, 21, 12, 0, 0}},
      {"045 05 W4", {4, 45, 5, 21, 1, 0, 0}},
      {"21-045-05-W4", {4, 45, 5, 21, 11, 0, 0}},
      {"100,200 LSD 3-5-10-2-W5", {5, 10, 2, 5, 3, 100, 200}},
      {" 100, 200 lsd  3-5-10-2-W5", {5, 10, 2, 5, 3, 100, 200}},
      {"7\t2-3-E1", {0, 2, 3, 7, 11, 0, 0}},
      {"16-1-130-35-w7", {7, 130, 35, 1, 16, 0, 0}},
      {"300 3-5-10-2-5", {5, 10, 2, 5, 3, 0, 300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TownshipPosition got;
    ASSERT_TRUE(township_converter::ParseDescription(c.text, got));
    EXPECT_EQ(got.meridian, c.expected.meridian);
    EXPECT_EQ(got.township, c.expected.township);
    EXPECT_EQ(got.range, c.expected.range);
    EXPECT_EQ(got.section, c.expected.section);
    EXPECT_EQ(got.lsd, c.expected.lsd);
    EXPECT_EQ(got.east_offset, c.expected.east_offset);
    EXPECT_EQ(got.north_offset, c.expected.north_offset);
  }
  for (const char* bad :
       {"", "45 W4", "1-37-45-5-W4", "1-0-45-5-W4", "17-1-45-5-W4", "1-1-131-5-W4", "1-1-45-36-W4",
        "1-1-45-5-W8", "1-1-45-5-E2", "abc-45-5-W4", "1-1-45-5-W", "1 2 3 LSD 1-1-45-5-W4",
        "LSD LSD 45 5 W4", "1-1-45-5-W99999999999"}) {
    TownshipPosition got;
    EXPECT_FALSE(township_converter::ParseDescription(bad, got)) << bad;
  }

  EXPECT_EQ(township_converter::FormatDescription({4, 45, 5, 21, 12, 0, 0}),
            "   0,   0 LSD 12-21-45-5-W4");
  EXPECT_EQ(township_converter::FormatDescription({0, 2, 3, 7, 3, 1320, 17}),
            "1320,  17 LSD  3-7-2-3-E1");
}

TEST_F(TownshipConverterTest, LocatesTheLsdCornerFromTheSectionCorner) {
  WriteFiles(survey_.Forward(), survey_.Reverse());
  township_converter converter = Converter();
  EXPECT_EQ(converter.data_folder(), dir_.path());

  // The south-west corner of LSD 12: one mile west and half a mile south of the section's
  // north-east corner.
  const Corner& corner = survey_.Find(4, 5, 45, 21);
  const double corner_lat = corner.lat_e6 / 1e6, corner_lon = corner.lon_e6 / 1e6;
  const double expected_lat =
      corner_lat - 2640.0 / kFeetPerNauticalMile / LatDegreeLength(corner_lat);
  const double expected_lon =
      corner_lon - 5280.0 / kFeetPerNauticalMile / LonDegreeLength(expected_lat);
  double lat = 0, lon = 0;
  ASSERT_TRUE(converter.ParsePosition("12-21-045-05-W4", lat, lon));
  EXPECT_NEAR(lat, expected_lat, 1e-9);
  EXPECT_NEAR(lon, expected_lon, 1e-9);

  // Without a section: section 21, LSD 1, whose south-west corner is a mile south and a
  // quarter mile west of that corner.
  ASSERT_TRUE(converter.ParsePosition("045 05 W4", lat, lon));
  EXPECT_NEAR(lat, corner_lat - 5280.0 / kFeetPerNauticalMile / LatDegreeLength(corner_lat), 1e-9);
  EXPECT_NEAR(lon, corner_lon - 1320.0 / kFeetPerNauticalMile / LonDegreeLength(lat), 1e-9);

  // Offsets move the point north and east inside the LSD.
  double offset_lat = 0, offset_lon = 0;
  ASSERT_TRUE(converter.ParsePosition("100,200 LSD 12-21-45-5-W4", offset_lat, offset_lon));
  EXPECT_NEAR((offset_lat - expected_lat) * LatDegreeLength(corner_lat) * kFeetPerNauticalMile,
              200.0, 0.01);
  EXPECT_NEAR((offset_lon - expected_lon) * LonDegreeLength(offset_lat) * kFeetPerNauticalMile,
              100.0, 0.5);

  // And back: the reverse file finds the same LSD and offsets.
  TownshipPosition back;
  ASSERT_TRUE(converter.Describe(offset_lat, offset_lon, back));
  EXPECT_EQ(back.section, 21);
  EXPECT_EQ(back.lsd, 12);
  EXPECT_NEAR(back.east_offset, 100, 2);
  EXPECT_NEAR(back.north_offset, 200, 2);

  // Sections and townships that the files do not have.
  EXPECT_FALSE(converter.ParsePosition("1-21-46-5-W4", lat, lon));
  EXPECT_FALSE(converter.ParsePosition("1-21-45-35-W6", lat, lon));
}

TEST_F(TownshipConverterTest, RoundTripsThroughBothFiles) {
  WriteFiles(survey_.Forward(), survey_.Reverse());
  township_converter converter = Converter();
  struct Case {
    TownshipPosition where;
    const char* suffix;
  };
  const Case cases[] = {
      {{4, 45, 5, 21, 12, 660, 660}, "-W4"},  {{4, 45, 5, 1, 1, 100, 1200}, "-W4"},
      {{4, 45, 5, 36, 16, 1200, 100}, "-W4"}, {{4, 45, 5, 17, 7, 400, 900}, "-W4"},
      {{5, 10, 2, 5, 3, 100, 200}, "-W5"},    {{5, 10, 2, 30, 9, 1000, 1000}, "-W5"},
      {{0, 2, 3, 7, 13, 700, 50}, "-E1"},     {{0, 2, 3, 22, 4, 1300, 1300}, "-E1"},
      {{4, 45, 5, 21, 5, 50, 50}, "-W4"},     {{0, 2, 3, 12, 10, 20, 660}, "-E1"},
  };
  for (const Case& c : cases) {
    const std::string text = township_converter::FormatDescription(c.where);
    SCOPED_TRACE(text);
    double lat = 0, lon = 0;
    ASSERT_TRUE(converter.ParsePosition(text, lat, lon));
    std::string back;
    ASSERT_TRUE(converter.FormatPosition(lat, lon, back));
    EXPECT_EQ(back.substr(back.size() - 3), c.suffix);
    TownshipPosition got;
    ASSERT_TRUE(township_converter::ParseDescription(back, got)) << back;
    EXPECT_EQ(got.meridian, c.where.meridian);
    EXPECT_EQ(got.township, c.where.township);
    EXPECT_EQ(got.range, c.where.range);
    EXPECT_EQ(got.section, c.where.section);
    EXPECT_EQ(got.lsd, c.where.lsd);
    EXPECT_NEAR(got.east_offset, c.where.east_offset, 2);
    EXPECT_NEAR(got.north_offset, c.where.north_offset, 2);
  }
}

TEST_F(TownshipConverterTest, RefusesPositionsOutsideTheIndexOrTheSurvey) {
  WriteFiles(survey_.Forward(), survey_.Reverse());
  township_converter converter = Converter();
  std::string text = "unchanged";
  for (auto [lat, lon] : {std::pair{48.95, -110.0},
                          {53.0, -123.05},
                          {60.0, -80.0},
                          {49.05, -96.9},
                          {NAN, -110.0},
                          {53.8, -110.0}}) {
    EXPECT_FALSE(converter.FormatPosition(lat, lon, text)) << lat << ", " << lon;
  }
  EXPECT_EQ(text, "unchanged");
  double x = 5, y = 5;
  EXPECT_FALSE(converter.LatLonToGrid(53.8, -110.7, x, y));
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 0.0);
}

TEST_F(TownshipConverterTest, MissingFilesFailEveryCall) {
  std::vector<std::string> told;
  township_converter converter(std::vector{dir_.path(), dir_.File("other")},
                               [&](const std::string& message) { told.push_back(message); });
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("\"township_fwd\" and \"township_rvs\""), std::string::npos);
  EXPECT_NE(told[0].find("Map Overlays"), std::string::npos);
  EXPECT_TRUE(converter.data_folder().empty());
  // Files that turn up later are not picked up by this converter.
  WriteFiles(survey_.Forward(), survey_.Reverse());
  double lat = 0, lon = 0;
  std::string text;
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(converter.ParsePosition("12-21-045-05-W4", lat, lon));
    EXPECT_FALSE(converter.FormatPosition(53.85, -110.7, text));
  }
}

TEST_F(TownshipConverterTest, DataFolderIsTheFirstThatHasTheFiles) {
  WriteFiles(survey_.Forward(), survey_.Reverse());
  bool told = false;
  township_converter converter(std::vector{dir_.File("empty"), dir_.path()},
                               [&](const std::string&) { told = true; });
  EXPECT_FALSE(told);
  EXPECT_EQ(converter.data_folder(), dir_.path());
}

TEST_F(TownshipConverterTest, DamagedFilesFailCleanly) {
  const std::string forward = survey_.Forward();
  const std::string reverse = survey_.Reverse();
  const Corner& corner = survey_.Find(4, 5, 45, 21);
  const size_t entry = ((4 * 35 + 5) * 130 + 45) * 4;
  const size_t cell = (Survey::Row(corner.lat_e6 / 1e6 - 0.001) * 300 +
                       Survey::Column(corner.lon_e6 / 1e6 - 0.001)) *
                      8;
  auto patched = [](std::string bytes, size_t at, int32_t value) {
    PutInt32(bytes, at, value);
    return bytes;
  };
  const int32_t cell_offset = GetInt32(reverse, cell);
  const int32_t cell_count = GetInt32(reverse, cell + 4);
  ASSERT_NE(cell_offset, 0);
  ASSERT_LT(cell_count, 110);
  // The cell's own list and nothing after it, so that more records cannot be in the file.
  const std::string reverse_to_list_end = reverse.substr(0, cell_offset + cell_count * 12);
  const auto size = [](const std::string& s) { return static_cast<int32_t>(s.size()); };

  struct Case {
    const char* what;
    std::string forward, reverse;
  };
  const Case cases[] = {
      {"short indexes", forward.substr(0, kForwardIndexBytes - 1),
       reverse.substr(0, kReverseIndexBytes - 4)},
      {"empty files", "", ""},
      {"offsets past the end", patched(forward, entry, size(forward) - 8),
       patched(reverse, cell, size(reverse) - 6)},
      {"offsets far past the end", patched(forward, entry, 0x7ffffff0),
       patched(reverse, cell, 0x7ffffff0)},
      {"negative offsets", patched(forward, entry, -64), patched(reverse, cell, -64)},
      {"huge count past the end", forward, patched(reverse_to_list_end, cell + 4, 0x7fffffff)},
      {"count past the end", forward, patched(reverse_to_list_end, cell + 4, cell_count + 1)},
      {"negative count", forward, patched(reverse, cell + 4, -5)},
      {"cut in the middle of the data", forward.substr(0, kForwardIndexBytes + 100),
       reverse.substr(0, cell_offset + 20)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFiles(c.forward, c.reverse);
    township_converter converter = Converter();
    double lat = 0, lon = 0;
    std::string text;
    // Cases that damage only the reverse file leave the forward lookup working.
    EXPECT_EQ(converter.ParsePosition("12-21-045-05-W4", lat, lon), c.forward == forward);
    EXPECT_FALSE(
        converter.FormatPosition(corner.lat_e6 / 1e6 - 0.001, corner.lon_e6 / 1e6 - 0.001, text));
  }
}

TEST_F(TownshipConverterTest, CountAboveTheLimitReadsTheFirstRecords) {
  // A cell claiming more records than a cell may hold reads only as many as it may hold.
  std::string reverse = survey_.Reverse();
  const Corner& corner = survey_.Find(4, 5, 45, 21);
  const double lat = corner.lat_e6 / 1e6 - 0.001, lon = corner.lon_e6 / 1e6 - 0.001;
  const size_t cell = (Survey::Row(lat) * 300 + Survey::Column(lon)) * 8;
  PutInt32(reverse, cell + 4, 5000);
  reverse.append(110 * 12, '\0');  // room for the clamped count wherever the list lies
  WriteFiles(survey_.Forward(), reverse);
  township_converter converter = Converter();
  std::string text;
  ASSERT_TRUE(converter.FormatPosition(lat, lon, text));
  EXPECT_NE(text.find("-21-45-5-W4"), std::string::npos) << text;
}

}  // namespace
