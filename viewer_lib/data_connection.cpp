#include "viewer_lib/data_connection.h"

#include <cstring>

#include "gps/instruments/gps_position_feed.h"
#include "viewer_lib/nmea_debug_capture.h"

namespace {

std::unique_ptr<CDataConnection>& Current() {
  static std::unique_ptr<CDataConnection> connection;
  return connection;
}

}  // namespace

// ---- CDataConnection ----

CDataConnection::Persistant::Persistant() : PersistantData("CDataConnection") {}

void CDataConnection::Persistant::Exchange() {
  ExchangeInt("gps_connection_type", gps_connection_type);
}

CDataConnection::Persistant& CDataConnection::Settings() {
  static Persistant record;
  return record;
}

CDataConnection::~CDataConnection() { NMEADebugCapture::Close(); }

bool CDataConnection::AcceptInput(const char* line) {
  bool accept = true;
  for (const LineFilter& filter : input_filters) filter(line, accept);
  return accept;
}

void CDataConnection::OnEvent(CNMEA_Raw& raw) {
  if (raw.source == this) return;
  bool accept = false;
  for (const LineFilter& filter : output_filters) filter(raw.text, accept);
  if (accept) Write(raw.text);
}

bool CNoConnection::Open() {
  status = "GPS Connection set to \"None\"";
  return true;
}

// ---- CNMEASimulation ----

CNMEASimulation::Persistant::Persistant() : PersistantData("CNMEASimulation") {}

void CNMEASimulation::Persistant::Exchange() { ExchangeString("filename", filename); }

CNMEASimulation::Persistant& CNMEASimulation::Settings() {
  static Persistant record;
  return record;
}

CNMEASimulation::CNMEASimulation() : CDataConnection(kSimulationFile), CHeartbeat::Counter(10) {}

CNMEASimulation::~CNMEASimulation() { Close(); }

bool CNMEASimulation::Open() {
  ResetGpsData();
  file_ = std::fopen(Settings().filename.c_str(), "rb");
  if (!file_) {
    status = "Simulation file error";
    return false;
  }
  return true;
}

void CNMEASimulation::Close() {
  if (!file_) return;
  ResetGpsData();
  std::fclose(file_);
  file_ = nullptr;
}

bool CNMEASimulation::ReadSentence(std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(file_)) != EOF && c != '$' && c != '!') {
  }
  if (c == EOF) return false;
  line += static_cast<char>(c);
  while ((c = std::fgetc(file_)) != EOF && c != '\r' && c != '\n' && c != '\0') {
    if (line.size() < kMaxLine) line += static_cast<char>(c);
  }
  return true;
}

void CNMEASimulation::OnElapsed() {
  if (!file_) return;
  stop_ = false;
  std::string line;
  for (int i = 0; i < kLinesPerBurst && !stop_; ++i) {
    if (!ReadSentence(line)) {
      std::rewind(file_);
      ResetGpsData();
      // A file with no sentence at all would otherwise be read again at once.
      if (!ReadSentence(line)) return;
    }
    NMEAProcessLine(line.c_str(), this);
  }
}

// ---- CNMEALogfile ----

bool CNMEALogfile::SetPath(const std::string& path) {
  path_ = path;
  const bool ok = Open();
  Close();
  return ok;
}

bool CNMEALogfile::Open() {
  Close();
  file_ = std::fopen(path_.c_str(), "w");
  if (!file_) status = "File open error";
  return file_ != nullptr;
}

void CNMEALogfile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool CNMEALogfile::Write(const std::string& text) {
  if (!file_) return false;
  return std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0;
}

void CNMEALogfile::OnEvent(ShutDown&) {
  if (!file_) return;
  Write("\n---- Power Down-----\n\n\n");
  Close();
}

// ---- The current connection ----

void ResetGpsData() {
  if (CGPSPositionFeed* feed = CGPSPositionFeed::Instance()) {
    feed->Reset();
    return;
  }
  CDataGPSPosition none;
  Listener<CDataGPSPosition>::Fire(none);
}

std::unique_ptr<CDataConnection> CreateDataConnection(int32_t kind) {
  switch (kind) {
    case CDataConnection::kNone:
      return std::make_unique<CNoConnection>();
    case CDataConnection::kSimulationFile:
      return std::make_unique<CNMEASimulation>();
    default:
      return nullptr;
  }
}

CDataConnection* SelectDataConnection() {
  CloseDataConnection();
  std::unique_ptr<CDataConnection> connection =
      CreateDataConnection(CDataConnection::Settings().gps_connection_type);
  // The default kind is not one this program can make: no connection, without a message.
  if (!connection) connection = CreateDataConnection(CDataConnection::kNone);
  Current() = std::move(connection);
  if (Current()) Current()->open_ = Current()->Open();
  return Current().get();
}

CDataConnection* CurrentDataConnection() { return Current().get(); }

void CloseDataConnection() {
  if (Current()) Current()->Close();
  Current().reset();
}
