#include "gps/gps_params.h"

#include <gtest/gtest.h>

#include "platform/os/profile_store.h"
#include "tests/temp_dir.h"

namespace {

void ExpectSameParams(const GPSParams& a, const GPSParams& b) {
  EXPECT_EQ(a.type, b.type);
  EXPECT_EQ(a.port_kind, b.port_kind);
  EXPECT_EQ(a.port, b.port);
  EXPECT_EQ(a.baud_index, b.baud_index);
  EXPECT_EQ(a.byte_size_index, b.byte_size_index);
  EXPECT_EQ(a.stop_bits_index, b.stop_bits_index);
  EXPECT_EQ(a.parity_index, b.parity_index);
  EXPECT_EQ(a.name_length, b.name_length);
  EXPECT_EQ(a.route_points, b.route_points);
  EXPECT_EQ(a.track_points, b.track_points);
  EXPECT_EQ(a.saved_port, b.saved_port);
  EXPECT_EQ(a.saved_type, b.saved_type);
}

TEST(GpsParams, MissingSettingGivesNoGpsOnTheDefaultPortAt4800Baud) {
  vd::test::TempDir dir;
  vd::os::ProfileStore profile("Software\\Vardune\\Test", dir.path());
  GPSParams p = LoadGPSParams(profile);
  EXPECT_EQ(p.type, GPSParams::kNone);
  EXPECT_EQ(p.port, "/dev/ttyUSB0");
  EXPECT_EQ(GpsBaudRate(p.baud_index), 4800u);
  EXPECT_EQ(p.byte_size_index, 1);
  EXPECT_EQ(p.stop_bits_index, 0);
  EXPECT_EQ(p.parity_index, 0);
  EXPECT_EQ(p.name_length, 6);
  EXPECT_EQ(p.route_points, 100);
  EXPECT_EQ(p.track_points, 500);
  EXPECT_EQ(p.saved_port, "");
  EXPECT_EQ(p.saved_type, 0);
  EXPECT_FALSE(p.debug_log);
}

TEST(GpsParams, ReadsLinesOfOlderVersionsFieldByField) {
  struct Case {
    const char* text;
    int type;
    const char* port;
    int baud_index;
    int track_points;
    const char* saved_port;
    int saved_type;
  };
  const Case cases[] = {
      // Without the last two fields: saved port empty, saved type 0.
      {"1,0,COM1: ,4,1,0,0,6,100,500", 1, "COM1:", 4, 500, "", 0},
      {"1,0,/home/u/demo.nmea ,9,1,0,0,8,50,250,/dev/ttyS0 ,1", 1, "/home/u/demo.nmea", 9, 250,
       "/dev/ttyS0", 1},
      // Blanks before a number, and a '%' that is no escape, read as the C scanner read them.
      {"1,0,/tmp/100%done.txt ,  5,1,0,0,6,100,500,- ,1", 1, "/tmp/100%done.txt", 5, 500, "-", 1},
      // A port with no blank before its comma swallows the rest: the fields after keep presets.
      {"1,0,COM1:,4,1,0,0,6,100,77", 1, "COM1:,4,1,0,0,6,100,77", 4, 500, "", 0},
      // A field that is no number ends the reading.
      {"2,x,COM2: ,4", 2, "", 4, 500, "", 0},
      // Out of range for a 32-bit field: the reading ends there.
      {"1,0,COM1: ,99999999999,1", 1, "COM1:", 4, 500, "", 0},
      {"", 0, "", 4, 500, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    GPSParams p = ParseGPSParams(c.text);
    EXPECT_EQ(p.type, c.type);
    EXPECT_EQ(p.port, c.port);
    EXPECT_EQ(p.baud_index, c.baud_index);
    EXPECT_EQ(p.track_points, c.track_points);
    EXPECT_EQ(p.saved_port, c.saved_port);
    EXPECT_EQ(p.saved_type, c.saved_type);
  }
}

TEST(GpsParams, PathsWithBlanksAndPercentSignsRoundTrip) {
  GPSParams p;
  p.type = 1;
  p.port = "/home/me/My Tracks/run 100% (2).nmea";
  p.saved_port = "/dev/serial/by-id/usb-GPS\tport";
  p.baud_index = 11;
  p.byte_size_index = 0;
  p.stop_bits_index = 2;
  p.parity_index = 1;
  p.saved_type = 2;
  p.name_length = 10;
  p.route_points = 250;
  p.track_points = 10000;
  const std::string text = FormatGPSParams(p);
  EXPECT_EQ(text,
            "1,0,/home/me/My%20Tracks/run%20100%25%20(2).nmea ,11,0,2,1,10,250,10000,"
            "/dev/serial/by-id/usb-GPS%09port ,2");
  ExpectSameParams(ParseGPSParams(text), p);
}

TEST(GpsParams, EmptyPortsAreWrittenAsDash) {
  GPSParams p = ParseGPSParams("1,0,COM1: ,4,1,0,0,6,100,500");
  p.port.clear();
  EXPECT_EQ(FormatGPSParams(p), "1,0,- ,4,1,0,0,6,100,500,- ,0");
  GPSParams back = ParseGPSParams(FormatGPSParams(p));
  EXPECT_EQ(back.port, "-");
  EXPECT_EQ(back.saved_port, "-");
}

TEST(GpsParams, OverlongPortEndsTheReading) {
  const std::string port(kMaxGpsPortText + 1, 'a');
  GPSParams p = ParseGPSParams("1,0," + port + " ,5,1,0,0,6,100,500");
  EXPECT_EQ(p.type, 1);
  EXPECT_EQ(p.port, "");
  EXPECT_EQ(p.baud_index, 4);
}

TEST(GpsParams, BaudTableAndOutOfRangeIndexes) {
  const std::pair<int, uint32_t> cases[] = {{0, 300},     {3, 2400},  {4, 4800},  {9, 56000},
                                            {13, 256000}, {14, 4800}, {-1, 4800}, {1 << 30, 4800}};
  for (auto [index, baud] : cases) EXPECT_EQ(GpsBaudRate(index), baud) << index;
}

TEST(GpsParams, SavedSettingLoadsBack) {
  vd::test::TempDir dir;
  vd::os::ProfileStore profile("Software\\Vardune\\Test", dir.path());
  GPSParams p;
  p.type = 1;
  p.port = "/tmp/a b.txt";
  p.saved_port = "/dev/ttyACM0";
  p.saved_type = 1;
  ASSERT_TRUE(SaveGPSParams(profile, p));
  EXPECT_EQ(*profile.GetString("settings", "GPS_params"),
            "1,0,/tmp/a%20b.txt ,4,1,0,0,6,100,500,/dev/ttyACM0 ,1");
  ExpectSameParams(LoadGPSParams(profile), p);
}

}  // namespace
