#include "gps/gps_interface.h"

#include <cstdarg>

#include "platform/os/numbers.h"

namespace {

constexpr size_t kMaxLogText = 145;

std::mutex first_open_mutex;
bool log_opened_before = false;  // guarded by first_open_mutex

}  // namespace

CGPSInterface::CGPSInterface(const GPSParams* params) {
  if (!params) return;
  name_length = params->name_length;
  route_points = params->route_points;
  track_points = params->track_points;
  if (!params->debug_log) return;
  std::lock_guard lock(first_open_mutex);
  if (log_.Open(kGpsDebugLogName, log_opened_before ? vd::os::File::Mode::Append
                                                    : vd::os::File::Mode::CreateTruncate))
    log_opened_before = true;
}

CGPSInterface::~CGPSInterface() {
  std::lock_guard lock(log_mutex_);
  if (!log_.IsOpen()) return;
  static constexpr char kClosingLine[] = "------------------------------------------\r\n";
  log_.Write(kClosingLine, sizeof kClosingLine - 1);
  log_.Close();
}

int CGPSInterface::Import(int, GpsObjectList&) {
  message = "No GPS imports supported";
  return 0;
}

int CGPSInterface::Export(int, const GpsObjectList&) {
  message = "No GPS exports supported";
  return 0;
}

void GpsLogPrintf(CGPSInterface* gps, const char* format, ...) {
  if (!gps) return;
  std::lock_guard lock(gps->log_mutex_);
  if (!gps->log_.IsOpen()) return;
  va_list args;
  va_start(args, format);
  std::string text = vd::os::VFormatC(format, args);
  va_end(args);
  if (text.size() > kMaxLogText) text.resize(kMaxLogText);
  if (text.empty() || (text.back() != '\n' && text.back() != ' ')) text += "\r\n";
  gps->log_.Write(text.data(), text.size());
}
