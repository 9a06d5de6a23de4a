#pragma once
// The viewer's reading of the start file "lumex.dat" that the chart program writes into the
// shared temp folder before starting or waking the viewer. Layout, little-endian, no header:
// the chart file path and the elevation file path, each Windows-1252 bytes ended by a zero
// byte; int32 n; n x (double latitude, double longitude) in degrees.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LumexPathPoint {
  double lat = 0;
  double lon = 0;
};

struct LumexStartFile {
  std::string chart_path;      // UTF-8, '/' separators
  std::string elevation_path;  // likewise
  std::vector<LumexPathPoint> points;  // at least one
};

inline constexpr char kLumexStartFile[] = "lumex.dat";

// nullopt unless both paths end with their zero byte, n is at least 1 and all n points are
// present.
std::optional<LumexStartFile> DecodeLumexStartFile(std::string_view bytes);

// The temp folder the chart program records in the profile ("temp_folder" of
// "Software\\Vardune"); "" when none is recorded.
std::string RecordedTempFolder();
// RecordedTempFolder() when it is a folder of this user's alone (vd::os::PrivateFolderProblem);
// "" otherwise, so that nothing is read from or written to a folder others can reach.
std::string SharedTempFolder();

// The start file of the temp folder recorded in the profile ("temp_folder" of
// "Software\Vardune"); nullopt when no folder is recorded or the file is missing or bad.
std::optional<LumexStartFile> ReadLumexStartFile();
