#pragma once
// Starting the 3D viewer (the program "lumex") from a chart view. The viewer learns what to show
// from the start file "lumex.dat" in the temp folder, written whole each time, little-endian,
// no header:
//   chart file path            Windows-1252 bytes, then a zero byte
//   elevation data file path   the same ("" is the zero byte alone)
//   int32 n                    number of points, 1 or more
//   n x (double latitude, double longitude), degrees
// A viewer already running is told to read the file again by the one started here, which then
// ends.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "charts/elevation_file.h"
#include "overlays/lat_lon.h"

// The application's current elevation data as the hand-over reads them.
struct CElevationLookup {
  std::string file_path;  // "" when none are loaded
  // The height at a position, kNoElevation or more where there is none; null when no data
  // are loaded.
  std::function<float(double lat, double lon)> height;
};

// The elevation data the hand-over asks each time it starts the viewer: by default the
// application's open elevation file (CAppCommon::GetElevationFile). Tests put their own source
// in place; an empty source restores the default.
CElevationLookup CurrentElevationData();
void SetElevationDataSource(std::function<CElevationLookup()> source);

inline constexpr char kLumexStartFileName[] = "lumex.dat";

// The start file's bytes; nullopt for no points or a path the file's character set can't hold.
std::optional<std::string> EncodeLumexStartFile(const std::string& chart_path,
                                                const std::string& elevation_path,
                                                const std::vector<CLatLon>& points);

// The viewer program: "lumex" in the program folder, else, when the program runs from its build
// tree, "../../lumex/ui/lumex" relative to that folder; "" when neither is there.
std::string FindLumexProgram(const std::string& program_folder);

inline constexpr char kNoElevationMessage[] =
    "No elevation data at this location: Please use the Maps/Elevation data menu command to "
    "load data.";

// What became of a launch: started, or the message to show the user.
struct CLumexLaunchResult {
  bool started = false;
  std::string message;
};

// Checks the elevation data at the middle point (index n / 2), writes the start file into
// temp_folder and starts the viewer found in program_folder without waiting for it. Nothing is
// written or started without points or without elevation data at the middle point, and nothing
// is started when the start file can't be written.
CLumexLaunchResult LaunchLumex(const std::string& chart_path, const std::vector<CLatLon>& points,
                               const std::string& temp_folder,
                               const std::string& program_folder);
