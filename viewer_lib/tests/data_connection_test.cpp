// GPS data connections: choosing the connection kind, replaying a simulation file in bursts
// that end at each position fix, and logging the lines other connections deliver.
#include "viewer_lib/data_connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gps/nmea_gps_sentences.h"
#include "gps/nmea_sentence.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

std::string Rmc(int seconds) {
  std::string s = "$GPRMC,1200" + std::to_string(10 + seconds) +
                  ",A,5000.000,N,00100.000,W,5.0,90.0,010624,,";
  NMEAAppendChecksum(s);
  return s + "\r\n";
}

// Turns every RMC into a position fix, as the GPS data layer does; counts both.
struct PositionSource : Listener<CNMEA_GPS::RMC> {
  void OnEvent(CNMEA_GPS::RMC& rmc) override {
    times.push_back(static_cast<int>(rmc.utc_time) % 60);
    CDataGPSPosition fix;
    fix.valid = true;
    fix.latitude = rmc.latitude;
    fix.longitude = rmc.longitude;
    Listener<CDataGPSPosition>::Fire(fix);
  }
  std::vector<int> times;
};

// Ticks the heartbeat until the simulation has run one burst (at most its period).
void RunBurst(PositionSource& source) {
  const size_t before = source.times.size();
  for (int i = 0; i < 10 && source.times.size() == before; ++i) CHeartbeat::Tick();
}

TEST(DataConnection, TheDefaultKindGivesNoConnectionSilently) {
  CDataConnection::Settings().gps_connection_type = CDataConnection::kDefault;
  CDataConnection* connection = SelectDataConnection();
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->kind(), CDataConnection::kNone);
  EXPECT_EQ(connection->status, "GPS Connection set to \"None\"");
  EXPECT_EQ(CDataConnection::Settings().gps_connection_type, CDataConnection::kDefault);
  CloseDataConnection();
}

TEST(DataConnection, SimulationReplaysOneFixPerBurstAndStartsAgainAtTheEnd) {
  vd::test::TempDir dir;
  const std::string file = dir.File("trip.nmea");
  ASSERT_TRUE(vd::os::SaveFileAtomically(file, "junk\r\n" + Rmc(1) + Rmc(2) + Rmc(3)));
  CNMEASimulation::Settings().filename = file;
  CDataConnection::Settings().gps_connection_type = CDataConnection::kSimulationFile;
  PositionSource source;
  CDataConnection* connection = SelectDataConnection();
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(connection->kind(), CDataConnection::kSimulationFile);
  for (int burst = 0; burst < 4; ++burst) RunBurst(source);
  // Each burst stops at its fix; the fourth starts the file again (after the reset's own fix).
  EXPECT_EQ(source.times, (std::vector<int>{11, 12, 13, 11}));
  CloseDataConnection();

  CNMEASimulation::Settings().filename = dir.File("missing.nmea");
  CNMEASimulation missing;
  EXPECT_FALSE(missing.Open());
  EXPECT_EQ(missing.status, "Simulation file error");
}

TEST(DataConnection, AFileWithoutSentencesDeliversNothing) {
  vd::test::TempDir dir;
  const std::string file = dir.File("empty.nmea");
  ASSERT_TRUE(vd::os::SaveFileAtomically(file, "no sentences here\r\n"));
  CNMEASimulation::Settings().filename = file;
  PositionSource source;
  CNMEASimulation simulation;
  ASSERT_TRUE(simulation.Open());
  for (int i = 0; i < 30; ++i) CHeartbeat::Tick();
  EXPECT_TRUE(source.times.empty());
}

TEST(DataConnection, LogFileRecordsWhatItsFiltersLetThroughAndThePowerDown) {
  vd::test::TempDir dir;
  CNMEALogfile log;
  ASSERT_TRUE(log.SetPath(dir.File("log.txt")));
  ASSERT_TRUE(log.Open());
  log.output_filters.push_back([](const char* line, bool& accept) {
    accept = accept || std::string(line).rfind("$GPXTE", 0) == 0;
  });
  CNoConnection other;
  std::string xte = "$GPXTE,A,A,0.5,L,N";
  NMEAAppendChecksum(xte);
  std::string apb = "$GPAPB,A,A";
  NMEAAppendChecksum(apb);
  EXPECT_TRUE(NMEAProcessLine(xte.c_str(), &other));
  EXPECT_TRUE(NMEAProcessLine(apb.c_str(), &other));
  EXPECT_TRUE(NMEAProcessLine(xte.c_str(), &log));  // its own line is not logged again
  ShutDown end;
  Listener<ShutDown>::Fire(end);
  std::string logged;
  ASSERT_TRUE(vd::os::ReadWholeFile(dir.File("log.txt"), logged));
  EXPECT_EQ(logged, xte + "\r\n\n---- Power Down-----\n\n\n");

  CNMEALogfile nowhere;
  EXPECT_FALSE(nowhere.SetPath(dir.File("no/such/folder/log.txt")));
  EXPECT_EQ(nowhere.status, "File open error");
  EXPECT_FALSE(nowhere.Write("x"));
}

}  // namespace
