#include "charts/qct_header_patch.h"

#include <gtest/gtest.h>

#include <cstring>

#include "charts/jpr_calibration.h"
#include "charts/old_quick_chart.h"
#include "charts/qct_file_view.h"
#include "charts/qct_reference_file.h"
#include "geodesy/nad27_shift.h"
#include "platform/os/files.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::ChartFixture;

class HeaderPatchTest : public testing::Test {
 protected:
  std::string WriteChart(bool extension = true, std::vector<GeoPoint> outline = {}) {
    ChartFixture chart;
    chart.texts = {{kQctTitle, "Bay"}, {kQctName, "Bay chart"}, {kQctDatum, "WGS84"},
                   {kQctIdentifier, "B-7"}, {kQctScale, "1:25000"}};
    chart.extension = extension;
    if (extension) chart.map_type = "TOPO map";
    chart.outline = std::move(outline);
    const std::string path = dir.File("bay.qct");
    EXPECT_TRUE(vd::test::WriteChartFixture(path, chart));
    return path;
  }

  // The file's header, extension, outline and datum shift as read back.
  struct Read {
    std::string bytes;
    QuickChartHeader header;
    QuickChartExtension extension;
    std::vector<GeoPoint> outline;
    std::optional<QctDatumShift> shift;
    QctFileView view() const {
      return QctFileView({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    }
  };
  static Read ReadBack(const std::string& path) {
    Read r;
    EXPECT_TRUE(vd::os::ReadWholeFile(path, r.bytes));
    const QctFileView view = r.view();
    EXPECT_TRUE(view.ReadHeader(r.header));
    r.extension = view.ReadExtension(r.header).value_or(QuickChartExtension{});
    r.outline = view.ReadOutline(r.header).value_or(std::vector<GeoPoint>{});
    r.shift = view.ReadDatumShift(r.extension);
    return r;
  }

  vd::test::TempDir dir;
};

TEST_F(HeaderPatchTest, OutlineGrowsAtTheEndOrIsWrittenOverWithTheCountKept) {
  const std::vector<GeoPoint> five = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}};
  const std::string path = WriteChart(true, five);
  const std::vector<GeoPoint> three = {{7, 8}, {9, 10}, {11, 12}};
  ASSERT_TRUE(QctWriteOutline(path, three));
  Read r = ReadBack(path);
  ASSERT_EQ(5u, r.outline.size());
  const double want[5][2] = {{7, 8}, {9, 10}, {11, 12}, {7, 8}, {7, 8}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(want[i][0], r.outline[i].lat);
    EXPECT_EQ(want[i][1], r.outline[i].lon);
  }
  const uint32_t old_offset = r.header.outline;

  std::vector<GeoPoint> six(6, GeoPoint{20, 30});
  ASSERT_TRUE(QctWriteOutline(path, six));
  r = ReadBack(path);
  ASSERT_EQ(6u, r.outline.size());
  EXPECT_NE(old_offset, r.header.outline);
  EXPECT_EQ(0u, r.header.outline % 8);
  EXPECT_EQ(30, r.outline[5].lon);

  EXPECT_FALSE(QctWriteOutline(path, {}));
}

TEST_F(HeaderPatchTest, DatumNameGeoreferenceAndRefusals) {
  const std::string path = WriteChart();
  ASSERT_TRUE(QctWriteDatum(path, "OSGB36", 0.0015, -0.0016));
  Read r = ReadBack(path);
  EXPECT_EQ("OSGB36", r.view().HeaderText(r.header, kQctDatum));
  ASSERT_TRUE(r.shift);
  EXPECT_EQ(0.0015, r.shift->lat);
  const uint32_t shift_offset = r.extension.datum_shift;
  // The second shift goes over the first; "none" stores no text.
  ASSERT_TRUE(QctWriteDatum(path, "None", 0.5, 0.25));
  r = ReadBack(path);
  EXPECT_EQ(0u, r.header.datum);
  EXPECT_EQ(shift_offset, r.extension.datum_shift);
  EXPECT_EQ(0.25, r.shift->lon);

  GeorefPolynomial georef = ChartFixture::LinearGeoref(10, 20, 0.5);
  ASSERT_TRUE(QctWriteGeoreference(path, georef));
  const Read patched = ReadBack(path);
  EXPECT_EQ(0, std::memcmp(&georef, &patched.header.georef, sizeof georef));

  EXPECT_FALSE(QctWriteNameString(path, ""));
  ASSERT_TRUE(QctWriteNameString(path, "Baie"));
  r = ReadBack(path);
  EXPECT_EQ("Baie", r.view().HeaderText(r.header, kQctName));

  // Not a chart file, and a missing one: false, nothing changed or made.
  const std::string other = dir.File("notes.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(other, std::string(20000, 'x')));
  EXPECT_FALSE(QctWriteNameString(other, "x"));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(other, bytes));
  EXPECT_EQ(std::string(20000, 'x'), bytes);
  EXPECT_FALSE(QctWriteDatum(dir.File("missing.qct"), "WGS84", 0, 0));
  EXPECT_FALSE(vd::os::FileExists(dir.File("missing.qct")));
}

TEST_F(HeaderPatchTest, ShiftOfAFileWithoutExtensionGetsANewBlock) {
  const std::string path = WriteChart(false);
  ASSERT_EQ(0u, ReadBack(path).header.extension);
  ASSERT_TRUE(QctWriteDatum(path, "ED50", 0.001, 0.002));
  const Read r = ReadBack(path);
  EXPECT_NE(0u, r.header.extension);
  ASSERT_TRUE(r.shift);
  EXPECT_EQ(0.002, r.shift->lon);
  const auto chart = OpenOldQuickChart(path, false);
  ASSERT_NE(nullptr, chart);
  EXPECT_TRUE(chart->has_datum_shift());
}

TEST_F(HeaderPatchTest, ReferenceFileNamesTheOriginalAndOpensIt) {
  const std::string path = WriteChart(true, {{50, -5}, {50, -4.9}, {49.9, -4.9}});
  const std::string reference = dir.File("ref.qct");
  ASSERT_TRUE(QctMakeReferenceFile(path, reference));
  const Read r = ReadBack(reference);
  EXPECT_EQ(2u, r.header.version);
  EXPECT_EQ(0, r.header.width);
  EXPECT_EQ(0u, r.view().FirstIndexEntry().value_or(1));
  EXPECT_EQ(path, r.view().HeaderText(r.header, kQctOriginalName));
  EXPECT_EQ("B-7", r.view().HeaderText(r.header, kQctIdentifier));
  EXPECT_EQ("1:25000", r.view().HeaderText(r.header, kQctScale));
  EXPECT_EQ("TOPO map", r.view().Text(r.extension.map_type));
  EXPECT_EQ(3u, r.outline.size());
  EXPECT_EQ(0u, r.header.outline % 8);
  // A reference file is no original.
  EXPECT_FALSE(QctMakeReferenceFile(reference, dir.File("ref2.qct")));
  EXPECT_FALSE(QctMakeReferenceFile(dir.File("missing.qct"), dir.File("ref3.qct")));
  EXPECT_FALSE(vd::os::FileExists(dir.File("ref3.qct")));
  // Opened, it brings its (small) original in.
  const auto opened = OpenOldQuickChart(reference, true);
  ASSERT_NE(nullptr, opened);
  EXPECT_EQ(reference, opened->GetFileName());
  std::string original_bytes, reference_bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, original_bytes));
  ASSERT_TRUE(vd::os::ReadWholeFile(reference, reference_bytes));
  EXPECT_TRUE(original_bytes == reference_bytes);
}

class JprTest : public HeaderPatchTest {
 protected:
  void WriteJpr(const std::string& text) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(dir.File("scan.jpr"), text));
  }
  std::string image() { return dir.File("scan.png"); }
};

TEST_F(JprTest, ThreeReferencePointsFitTwoChangeNothing) {
  const std::string path = WriteChart();
  const GeorefPolynomial before = ReadBack(path).header.georef;
  WriteJpr("rp1= 51.0, 1.0, 0, 0\nrp2= 51.0, 1.1, 100, 0\n");
  ASSERT_TRUE(QctApplyJprCalibration(image(), path));
  const Read unchanged = ReadBack(path);
  EXPECT_EQ(0, std::memcmp(&before, &unchanged.header.georef, sizeof before));

  WriteJpr("; calibration\nrp1= 51.0, 1.0, 0, 0\nrp2= 51.0, 1.1, 100, 0\nrp3= 50.9, 1.0, 0, 100\n"
           "vp1= 0, 0\nvp2= 100, 0\nvp3= 100, 100\nvp4= 0, 100\n");
  ASSERT_TRUE(QctApplyJprCalibration(image(), path));
  const auto chart = OpenOldQuickChart(path, false);
  ASSERT_NE(nullptr, chart);
  double lat, lon;
  chart->PixelToLatLon(50, 50, lat, lon);
  EXPECT_NEAR(50.95, lat, 1e-6);
  EXPECT_NEAR(1.05, lon, 1e-6);
  const Read r = ReadBack(path);
  ASSERT_EQ(4u, r.outline.size());
  EXPECT_NEAR(50.9, r.outline[2].lat, 1e-6);
  EXPECT_NEAR(1.1, r.outline[2].lon, 1e-6);

  EXPECT_FALSE(QctApplyJprCalibration(dir.File("other.png"), path));  // no .jpr
}

TEST_F(JprTest, DatumAndShiftRules) {
  const struct {
    const char* jpr;
    bool written;
    double lat, lon;
    const char* datum;
  } cases[] = {
      {"dm=WGS84\n", true, 0, 0, "WGS84"},
      {"dm=Local\nst=0.001\nsn=0.002\n", true, 0.001, 0.002, "Local"},
      // Only a latitude shift: the longitude is still "none", so the datum rules zero both.
      {"dm=Local\nst=0.02\n", true, 0, 0, "Local"},
      {"dm=84 grid\n", false, 0, 0, "84 grid"},
      {"st=0.003\nsn=0.004\n", true, 0.003, 0.004, "WGS84"},
      {"dm=Molodensky ( 6378137 , 6356752.3142 , 0 , 0 , 0, Same As WGS\n", true, 0, 0,
       "Same As WGS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jpr);
    const std::string path = WriteChart();
    WriteJpr(c.jpr);
    ASSERT_TRUE(QctApplyJprCalibration(image(), path));
    const Read r = ReadBack(path);
    EXPECT_EQ(c.datum, r.view().HeaderText(r.header, kQctDatum));
    ASSERT_EQ(c.written, r.shift.has_value());
    if (!c.written) continue;
    EXPECT_NEAR(c.lat, r.shift->lat, 1e-9);
    EXPECT_NEAR(c.lon, r.shift->lon, 1e-9);
  }
}

TEST_F(JprTest, Nad27TakesTheGridShiftAtTheCentre) {
  const std::string path = WriteChart();
  WriteJpr("dm=NAD27\n");
  ASSERT_TRUE(QctApplyJprCalibration(image(), path));
  const Read r = ReadBack(path);
  const auto [lat, lon] = EvalCubicPolynomial2D(r.header.georef.inverse, 64, 64);
  double want_lat, want_lon;
  GetNad27Shift(lat, lon, want_lat, want_lon);
  ASSERT_TRUE(r.shift);
  EXPECT_EQ(want_lat, r.shift->lat);
  EXPECT_EQ(want_lon, r.shift->lon);
}

}  // namespace
