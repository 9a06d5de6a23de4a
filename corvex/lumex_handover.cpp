#include "corvex/lumex_handover.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "app/app_common.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/os/process.h"

namespace {

std::function<CElevationLookup()>& ElevationSource() {
  static std::function<CElevationLookup()> source;
  return source;
}

template <class T>
void Append(std::string& bytes, T value) {
  static_assert(std::endian::native == std::endian::little);
  char raw[sizeof value];
  std::memcpy(raw, &value, sizeof value);
  bytes.append(raw, sizeof value);
}

// The path as zero-terminated Windows-1252 bytes; false when a character has no such byte (or
// is a zero byte) and the viewer would look for another file.
bool AppendPath(std::string& bytes, const std::string& path) {
  const std::string encoded = vd::os::Utf8ToCp1252(path);
  if (encoded.find('\0') != std::string::npos || vd::os::Cp1252ToUtf8(encoded) != path) {
    return false;
  }
  bytes += encoded;
  bytes += '\0';
  return true;
}

}  // namespace

CElevationLookup CurrentElevationData() {
  if (const auto& source = ElevationSource()) return source();
  const CAppCommon* app = CAppCommon::Instance();
  const CElevationFile* file = app ? app->GetElevationFile() : nullptr;
  if (!file || !file->IsLoaded()) return {};
  return {file->path(), [file](double lat, double lon) { return file->GetHeight(lat, lon); }};
}

void SetElevationDataSource(std::function<CElevationLookup()> source) {
  ElevationSource() = std::move(source);
}

std::optional<std::string> EncodeLumexStartFile(const std::string& chart_path,
                                                const std::string& elevation_path,
                                                const std::vector<CLatLon>& points) {
  if (points.empty() || points.size() > size_t(INT32_MAX / 16)) return std::nullopt;
  std::string bytes;
  if (!AppendPath(bytes, chart_path) || !AppendPath(bytes, elevation_path)) return std::nullopt;
  Append(bytes, static_cast<int32_t>(points.size()));
  for (const CLatLon& point : points) {
    Append(bytes, point.lat);
    Append(bytes, point.lon);
  }
  return bytes;
}

std::string FindLumexProgram(const std::string& program_folder) {
  for (const char* relative : {"/lumex", "/../../lumex/ui/lumex"}) {
    const std::string path = program_folder + relative;
    if (vd::os::FileExists(path) && !vd::os::IsDirectory(path)) return path;
  }
  return "";
}

CLumexLaunchResult LaunchLumex(const std::string& chart_path, const std::vector<CLatLon>& points,
                               const std::string& temp_folder,
                               const std::string& program_folder) {
  if (points.empty()) return {false, "There is no point to show in 3D."};
  const CLatLon& middle = points[points.size() / 2];
  const CElevationLookup elevation = CurrentElevationData();
  if (!elevation.height || elevation.height(middle.lat, middle.lon) >= kNoElevation) {
    return {false, kNoElevationMessage};
  }
  const std::string start_path = temp_folder + "/" + kLumexStartFileName;
  const std::optional<std::string> bytes =
      EncodeLumexStartFile(chart_path, elevation.file_path, points);
  if (!bytes || !vd::os::SaveFileAtomically(start_path, *bytes, vd::os::Links::kReplace)) {
    return {false, "Cannot write the 3D viewer's start file " + start_path};
  }
  const std::string program = FindLumexProgram(program_folder);
  if (program.empty()) return {false, "Cannot find the 3D viewer program in " + program_folder};
  const vd::os::SpawnResult spawned = vd::os::Spawn(program, {}, false);
  if (!spawned.started) return {false, "Cannot start the 3D viewer: " + spawned.error};
  return {true, ""};
}
