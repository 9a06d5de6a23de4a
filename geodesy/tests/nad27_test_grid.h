#pragma once
// Support of the NAD27 tests: a program folder of the test's own, and a small NTv2 grid.
//
// WriteNtv2Grid writes a small NTv2 horizontal shift grid, byte by byte, for the NAD27 tests: an overview
// header and one sub-file header of 11 records of 16 bytes each (8-byte name, 8-byte value),
// then one record of 4 floats per node (latitude shift, longitude shift, and their two
// accuracies), then "END". Angles in the file are arc seconds with longitudes positive west;
// nodes run from south to north and, within a row, from east to west. Little-endian.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace vd::test {

// Points the program folder (CORVEX_PROGDIR) at a fresh folder with an empty "PROJ" folder
// for the object's lifetime.
class TestProgramFolder {
 public:
  TestProgramFolder() : saved_(vd::os::GetEnv("CORVEX_PROGDIR")) {
    vd::os::MakeFolders(proj_folder());
    vd::os::SetEnv("CORVEX_PROGDIR", dir_.path());
  }
  ~TestProgramFolder() {
    if (saved_) {
      vd::os::SetEnv("CORVEX_PROGDIR", *saved_);
    } else {
      vd::os::UnsetEnv("CORVEX_PROGDIR");
    }
  }
  TestProgramFolder(const TestProgramFolder&) = delete;
  TestProgramFolder& operator=(const TestProgramFolder&) = delete;

  std::string proj_folder() const { return dir_.File("PROJ"); }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::optional<std::string> saved_;
};

struct Ntv2Grid {
  double south = 0.0, west = 0.0;  // degrees, south-west node
  double step = 0.5;               // degrees between nodes, both ways
  int rows = 2, cols = 2;
  // Shift at a node in arc seconds, north and east positive.
  std::function<void(double lat, double lon, double& north_sec, double& east_sec)> shift;

  double north() const { return south + (rows - 1) * step; }
  double east() const { return west + (cols - 1) * step; }
};

inline bool WriteNtv2Grid(const std::string& path, const Ntv2Grid& g) {
  std::string bytes;
  auto name = [&](const char* key) {
    char field[8];
    std::memset(field, ' ', 8);
    std::memcpy(field, key, std::strlen(key));
    bytes.append(field, 8);
  };
  auto text = [&](const char* key, const char* value) {
    name(key);
    name(value);
  };
  auto integer = [&](const char* key, int32_t v) {
    name(key);
    char field[8] = {};
    std::memcpy(field, &v, 4);
    bytes.append(field, 8);
  };
  auto real = [&](const char* key, double v) {
    name(key);
    bytes.append(reinterpret_cast<const char*>(&v), 8);
  };
  auto seconds = [](double degrees) { return degrees * 3600.0; };

  integer("NUM_OREC", 11);
  integer("NUM_SREC", 11);
  integer("NUM_FILE", 1);
  text("GS_TYPE", "SECONDS");
  text("VERSION", "NTv2.0");
  text("SYSTEM_F", "NAD27");
  text("SYSTEM_T", "NAD83");
  real("MAJOR_F", 6378206.4);
  real("MINOR_F", 6356583.8);
  real("MAJOR_T", 6378137.0);
  real("MINOR_T", 6356752.314);

  text("SUB_NAME", "TEST");
  text("PARENT", "NONE");
  text("CREATED", "20240101");
  text("UPDATED", "20240101");
  real("S_LAT", seconds(g.south));
  real("N_LAT", seconds(g.north()));
  real("E_LONG", -seconds(g.east()));
  real("W_LONG", -seconds(g.west));
  real("LAT_INC", seconds(g.step));
  real("LONG_INC", seconds(g.step));
  integer("GS_COUNT", g.rows * g.cols);

  for (int r = 0; r < g.rows; ++r) {
    for (int c = 0; c < g.cols; ++c) {
      double north_sec, east_sec;
      g.shift(g.south + r * g.step, g.east() - c * g.step, north_sec, east_sec);
      const float node[4] = {static_cast<float>(north_sec), static_cast<float>(-east_sec), 0.0f,
                             0.0f};
      bytes.append(reinterpret_cast<const char*>(node), sizeof node);
    }
  }
  name("END");
  bytes.append(8, '\0');

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

// The grid the NAD27 tests use: 30..34 N, 100..96 W, nodes every half degree. The shifts are
// linear in latitude and longitude, so bilinear interpolation gives them exactly between the
// nodes, and they change slowly enough that evaluating them at the WGS84 rather than the NAD27
// position moves a point by well under a millimetre.
inline void TestNad27Shift(double lat, double lon, double& north_sec, double& east_sec) {
  north_sec = 0.4 + 0.02 * (lat - 30.0) + 0.01 * (lon + 100.0);
  east_sec = -1.5 + 0.015 * (lat - 30.0) - 0.01 * (lon + 100.0);
}

inline Ntv2Grid TestNad27Grid() {
  Ntv2Grid g;
  g.south = 30.0;
  g.west = -100.0;
  g.step = 0.5;
  g.rows = 9;
  g.cols = 9;
  g.shift = TestNad27Shift;
  return g;
}

}  // namespace vd::test
