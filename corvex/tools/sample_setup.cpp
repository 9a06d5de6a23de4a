// Prepares the user's settings for trying the chart program on the sample data: when the user
// has no GPS connection setting yet, the GPS input becomes the replay of an NMEA demo file, and
// the program then asks at start whether to play it (No turns the GPS input off, and that
// sticks). A setting that is already there, whatever it holds, is left as it is, so the tool
// can run before every start. Given a chart folder, it becomes the folder the program's chart
// library is scanned from when the user has named none yet, so that the chart chooser of the
// program's first start offers the sample chart.
//
//   sample_setup <demo file> [chart folder]
//
// Exit code 0 when the setting was written or was there already, 1 when it could not be
// written, 2 for a wrong command line or a demo file that is not there.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "gps/gps_params.h"
#include "platform/os/profile_store.h"

namespace {

// Names the chart folder as the only one scanned, unless the user has chart folders already.
// False when the setting could not be written.
bool SetChartFolder(vd::os::ProfileStore& profile, const std::filesystem::path& folder) {
  if (profile.GetInt("chart_dirs", "n_dirs").value_or(0) > 0 || !profile.LastError().empty())
    return profile.LastError().empty();
  if (!profile.SetString("chart_dirs", "dir00", folder.string()) ||
      !profile.SetInt("chart_dirs", "n_dirs", 1)) {
    std::fprintf(stderr, "sample_setup: can't write the chart folder setting (%s)\n",
                 profile.LastError().c_str());
    return false;
  }
  std::printf("Chart folder set to %s\n", folder.string().c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: sample_setup <demo file> [chart folder]\n");
    return 2;
  }
  // The program may be started from anywhere: the setting holds the full path.
  std::error_code error;
  const std::filesystem::path demo = std::filesystem::canonical(argv[1], error);
  if (error || !std::filesystem::is_regular_file(demo, error)) {
    std::fprintf(stderr, "sample_setup: no demo file %s\n", argv[1]);
    return 2;
  }

  std::filesystem::path charts;
  if (argc == 3) {
    charts = std::filesystem::canonical(argv[2], error);
    if (error || !std::filesystem::is_directory(charts, error)) {
      std::fprintf(stderr, "sample_setup: no chart folder %s\n", argv[2]);
      return 2;
    }
  }

  vd::os::ProfileStore profile(vd::kDefaultProfileKey);
  if (!charts.empty() && !SetChartFolder(profile, charts)) return 1;
  // A value of any kind under any spelling of the name is the user's.
  bool present = false;
  for (const std::string& name : profile.Names(kGpsParamsSection))
    present = present || EqualsNoCase(name, kGpsParamsKey);
  if (const std::string why = profile.LastError(); !why.empty()) {
    std::fprintf(stderr, "sample_setup: can't read the settings (%s)\n", why.c_str());
    return 1;
  }
  if (present) return 0;

  // The defaults, with the demo file as the port; No at start goes back to the default port
  // with no GPS input.
  GPSParams params = ParseGPSParams(kDefaultGpsParamsText);
  params.saved_port = params.port;
  params.saved_type = params.type;
  params.type = GPSParams::kNmea;
  params.port = demo.string();
  if (ParseGPSParams(FormatGPSParams(params)).port != params.port) {
    std::fprintf(stderr, "sample_setup: the path %s can't be kept in the GPS setting\n",
                 params.port.c_str());
    return 1;
  }
  if (!SaveGPSParams(profile, params)) {
    std::fprintf(stderr, "sample_setup: can't write the GPS setting (%s)\n",
                 profile.LastError().c_str());
    return 1;
  }
  std::printf("GPS input set to replay %s (Corvex asks \"GPS Demo?\" at start)\n",
              params.port.c_str());
  return 0;
}
