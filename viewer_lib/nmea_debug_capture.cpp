#include "viewer_lib/nmea_debug_capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "app/app_common.h"
#include "platform/os/folders.h"

namespace NMEADebugCapture {
namespace {

std::FILE*& File() {
  static std::FILE* file = nullptr;
  return file;
}

}  // namespace

std::string Path() {
  const CAppCommon* app = CAppCommon::Instance();
  const std::string folder =
      app != nullptr && !app->temp_folder.empty() ? app->temp_folder : vd::os::TempFolder();
  return folder + "/" + kFileName;
}

bool Open() {
  Close();
  // The file is in the temporary folder: a link there is not written through.
  const int fd = ::open(Path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  File() = ::fdopen(fd, "wb");
  if (File() == nullptr) ::close(fd);
  return File() != nullptr;
}

bool IsOpen() { return File() != nullptr; }

void Record(const char* line) {
  if (File() == nullptr) return;
  std::fwrite(line, 1, std::strcspn(line, "\r\n"), File());
  std::fputs("\r\n", File());
  std::fflush(File());
}

void Close() {
  if (File() != nullptr) std::fclose(File());
  File() = nullptr;
}

}  // namespace NMEADebugCapture
