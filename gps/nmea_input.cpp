#include "gps/nmea_input.h"

#include <sys/stat.h>

#include <cerrno>

#include "gps/gps_notice.h"
#include "app/nmea_fields.h"
#include "gps/nmea_waypoint_sentences.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kStartDelayMs = 1000;
constexpr int kLineTimeoutMs = 5000;
constexpr int kIdlePollMs = 50;
constexpr int kDemoFixPauseMs = 950;
constexpr int kSentencePauseMs = 100;
constexpr int kPortTimeoutMs = 200;
constexpr size_t kMaxSentence = 76;

constexpr char kStatusCannotOpen[] = "Can't open COM port";
constexpr char kStatusTimeout[] = "Communication timeout";

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDemoFileName(const std::string& path) {
  const size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension == "txt" || extension == "nmea";
}

}  // namespace

CNMEA_input::CNMEA_input(vd::os::MessageWindow& window, const GPSParams& params,
                         GPS_position_info& record, std::shared_ptr<GpsReaderClock> clock)
    : CGPSInterface(&params),
      window_(window),
      params_(params),
      clock_(clock ? std::move(clock) : GpsReaderClock::System()),
      parser_([c = clock_.get()] { return c->NowSeconds1970(); }) {
  record.valid = 0;
  parser_.record() = record;
  StartThread();
}

CNMEA_input::~CNMEA_input() {
  StopThread();
  GpsLogPrintf(this, "~CNMEA_input: closing port");
  ClosePort();
}

bool CNMEA_input::CanTransfer(int direction, int kind) const {
  return direction == kToDevice && (kind == kWaypoints || kind == kRoutes);
}

void CNMEA_input::StartThread() {
  StopThread();
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void CNMEA_input::StopThread() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

int CNMEA_input::OpenPort() {
  GPSParams& p = params_;
  GpsLogPrintf(this, "OpenPort: %s %d %d %d %d %d %d", p.port.c_str(), p.type, p.port_kind,
               p.baud_index, p.byte_size_index, p.stop_bits_index, p.parity_index);
  ClosePort();
  GPS_position_info& record = parser_.record();
  int error = 0;
  if (IsRegularFile(p.port)) {
    // An ordinary file has no line settings: it is read as it stands.
    if (file_.Open(p.port, vd::os::File::Mode::Read)) {
      GpsLogPrintf(this, "Failed to set baud rate");
      if (IsDemoFileName(p.port)) {
        GpsLogPrintf(this, "read_from_demo_file");
        record.simulated = 1;
      }
      return 0;
    }
    error = errno;
  } else {
    if (p.byte_size_index < 0 || p.byte_size_index > 1) p.byte_size_index = 1;
    if (p.parity_index < 0 || p.parity_index > 2) p.parity_index = 0;
    if (p.stop_bits_index < 0 || p.stop_bits_index > 2) p.stop_bits_index = 0;
    vd::os::SerialPort::Settings settings;
    settings.baud = GpsBaudRate(p.baud_index);
    settings.byte_size = p.byte_size_index == 0 ? 7 : 8;
    settings.parity = "NOE"[p.parity_index];
    // Termios has no one and a half stop bits; two is what a sender expecting 1.5 accepts.
    settings.stop_bits = p.stop_bits_index == 0 ? 1 : 2;
    settings.read_timeout_ms = kPortTimeoutMs;
    settings.write_timeout_ms = -1;
    if (serial_.Open(p.port, settings)) return 0;
    error = errno;
  }
  message = vd::os::FormatC("Can't open %s\nError %d", p.port.c_str(), error);
  record.valid = 0;
  record.status = kStatusCannotOpen;
  GpsLogPrintf(this, "%s", kStatusCannotOpen);
  record.restart_silently = 0;
  return -1;
}

void CNMEA_input::ClosePort() {
  serial_.Close();
  file_.Close();
  assembler_.Reset();
  read_pos_ = read_end_ = 0;
}

int64_t CNMEA_input::ReadPort(void* buffer, size_t size) {
  if (serial_.IsOpen()) return serial_.Read(buffer, size);
  if (file_.IsOpen()) return file_.Read(buffer, size);
  return -1;
}

bool CNMEA_input::WaitForLine(std::string_view& line, int timeout_ms, const std::stop_token& stop,
                              int& error) {
  error = 0;
  const uint64_t deadline = clock_->NowMs() + static_cast<uint64_t>(timeout_ms);
  for (;;) {
    if (stop.stop_requested()) return false;
    if (read_pos_ < read_end_) {
      bool complete = false;
      read_pos_ += assembler_.Feed(read_buffer_ + read_pos_, read_end_ - read_pos_, complete);
      if (complete) {
        line = assembler_.line();
        GpsLogPrintf(this, "%.*s", static_cast<int>(line.size()), line.data());
        return true;
      }
      continue;
    }
    // Also ends a stream that keeps coming without ever completing a line.
    if (clock_->NowMs() >= deadline) return false;
    errno = 0;
    const int64_t n = ReadPort(read_buffer_, sizeof read_buffer_);
    if (n < 0) {
      error = errno;
      return false;
    }
    if (n == 0) {
      if (!clock_->Sleep(kIdlePollMs, stop)) return false;
      continue;
    }
    read_pos_ = 0;
    read_end_ = static_cast<size_t>(n);
  }
}

void CNMEA_input::Run(std::stop_token stop) {
  parser_.StartRun();
  GPS_position_info& record = parser_.record();
  if (!clock_->Sleep(kStartDelayMs, stop)) return;
  if (!PortOpen() && OpenPort() != 0) {
    if (stop.stop_requested()) return;
    PostGpsNotice(window_, kGpsNoticeFailure, record);
    return;
  }
  for (;;) {
    std::string_view line;
    int error = 0;
    if (!WaitForLine(line, kLineTimeoutMs, stop, error)) {
      GpsLogPrintf(this, "I/O failure: Error=%d", error);
      if (stop.stop_requested()) return;
      record.valid = 0;
      record.status = kStatusTimeout;
      GpsLogPrintf(this, "%s", kStatusTimeout);
      PostGpsNotice(window_, kGpsNoticeFailure, record);
      return;
    }
    const int notice = parser_.ParseLine(line);
    if (notice == NmeaFixParser::kNoNotice) continue;
    PostGpsNotice(window_, static_cast<GpsNotice>(notice), record);
    // A demo file plays at about one fix a second.
    if (notice == kGpsNoticeFix && record.simulated && !clock_->Sleep(kDemoFixPauseMs, stop))
      return;
  }
}

int CNMEA_input::WriteSentence(std::string_view sentence) {
  if (parser_.record().simulated) {
    GpsLogPrintf(this, "nmea_write FAILED: simulated input");
    return -1;
  }
  std::string text(sentence.substr(0, kMaxSentence));
  const int checksum = NMEAAppendChecksumCRLF(text);
  GpsLogPrintf(this, "Output: ");
  GpsLogPrintf(this, "%s", text.c_str());
  if (!serial_.IsOpen() ||
      serial_.Write(text.data(), text.size()) != static_cast<int64_t>(text.size()))
    return -1;
  return checksum;
}

int CNMEA_input::SendSentences(const std::vector<std::string>& sentences) {
  for (const std::string& sentence : sentences) {
    if (WriteSentence(sentence) < 0) {
      message = parser_.record().simulated
                    ? "Cannot send to a demo file"
                    : vd::os::FormatC("Can't write to %s\n%s", params_.port.c_str(),
                                      serial_.LastError().c_str());
      return -1;
    }
    clock_->Sleep(kSentencePauseMs, std::stop_token());
  }
  return 0;
}

int CNMEA_input::Export(int kind, const GpsObjectList& objects) {
  message.clear();
  if (kind != kWaypoints && kind != kRoutes) return CGPSInterface::Export(kind, objects);
  StopThread();
  if (!PortOpen() && OpenPort() != 0) return 0;
  int sent = 0;
  if (kind == kWaypoints) {
    if (SendSentences(MakeMarkSentences(objects.marks, params_.name_length)) == 0)
      sent = static_cast<int>(objects.marks.size());
  } else {
    std::string warning;
    auto sentences = MakeRouteSentences(objects.routes, params_.name_length, warning);
    if (SendSentences(sentences) == 0) {
      sent = static_cast<int>(objects.routes.size());
      message = warning;
    }
  }
  StartThread();
  return sent;
}
