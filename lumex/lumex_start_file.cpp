#include "lumex/lumex_start_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/profile_store.h"

namespace {

// Takes one zero-ended path off the front of `bytes`; false when the zero byte is missing.
bool TakePath(std::string_view& bytes, std::string& out) {
  const size_t end = bytes.find('\0');
  if (end == std::string_view::npos) return false;
  out = vd::os::Cp1252ToUtf8(bytes.substr(0, end));
  std::replace(out.begin(), out.end(), '\\', '/');
  bytes.remove_prefix(end + 1);
  return true;
}

}  // namespace

std::optional<LumexStartFile> DecodeLumexStartFile(std::string_view bytes) {
  LumexStartFile file;
  if (!TakePath(bytes, file.chart_path) || !TakePath(bytes, file.elevation_path)) {
    return std::nullopt;
  }
  int32_t n = 0;
  if (bytes.size() < sizeof n) return std::nullopt;
  std::memcpy(&n, bytes.data(), sizeof n);
  bytes.remove_prefix(sizeof n);
  constexpr size_t kPointBytes = 2 * sizeof(double);
  if (n < 1 || bytes.size() / kPointBytes < static_cast<size_t>(n)) return std::nullopt;
  file.points.resize(static_cast<size_t>(n));
  for (LumexPathPoint& p : file.points) {
    std::memcpy(&p.lat, bytes.data(), sizeof(double));
    std::memcpy(&p.lon, bytes.data() + sizeof(double), sizeof(double));
    bytes.remove_prefix(kPointBytes);
  }
  return file;
}

std::string RecordedTempFolder() {
  return vd::os::ProfileStore("Software\\Vardune").GetString("", "temp_folder").value_or("");
}

std::string SharedTempFolder() {
  std::string folder = RecordedTempFolder();
  return vd::os::PrivateFolderProblem(folder).empty() ? folder : std::string();
}

std::optional<LumexStartFile> ReadLumexStartFile() {
  const std::string folder = SharedTempFolder();
  if (folder.empty()) return std::nullopt;
  std::string bytes;
  if (!vd::os::ReadWholeFile(folder + "/" + kLumexStartFile, bytes)) return std::nullopt;
  return DecodeLumexStartFile(bytes);
}
