#pragma once
// The newer generation's GPS data connections: one current connection delivers NMEA lines to
// the line dispatcher (viewer_lib/nmea_line_dispatcher.h). Kinds: 70 "None" and 74 "Simulation
// File", which replays a recorded NMEA file a burst at a time on the heartbeat; a log-file
// connection records the lines other connections deliver.
//
// User-interface thread only.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/heartbeat.h"
#include "core/listener.h"
#include "core/persistant_data.h"
#include "overlays/model/data_gps_position.h"
#include "viewer_lib/nmea_line_dispatcher.h"

// The library's shut-down event: fired once as the program ends.
struct ShutDown {};

class CDataConnection : public CNMEALineSource, public Listener<CNMEA_Raw> {
 public:
  enum Kind : int32_t { kNone = 70, kDefault = 71, kSimulationFile = 74 };
  // A line filter: clears or sets the accept flag it is given.
  using LineFilter = std::function<void(const char* line, bool& accept)>;

  struct Persistant : PersistantData {
    Persistant();
    void Exchange() override;
    int gps_connection_type = kDefault;
  };
  static Persistant& Settings();

  explicit CDataConnection(int32_t kind) : kind_(kind) {}
  ~CDataConnection() override;

  virtual bool Open() = 0;
  virtual void Close() = 0;
  // Writes a line (CR LF included); true only when all of it was written.
  virtual bool Write(const std::string& /*text*/) { return false; }

  // Input filters run on every line received from this connection (accept starts set);
  // output filters on every line other connections deliver (accept starts clear), which is
  // then written here when a filter accepted it.
  bool AcceptInput(const char* line) override;
  void OnEvent(CNMEA_Raw& raw) override;

  std::vector<LineFilter> input_filters;
  std::vector<LineFilter> output_filters;
  std::string status;  // the last message for the user
  int32_t kind() const { return kind_; }
  // Whether the last Open made by SelectDataConnection succeeded.
  bool is_open() const { return open_; }

 private:
  friend CDataConnection* SelectDataConnection();
  int32_t kind_;
  bool open_ = false;
};

class CNoConnection : public CDataConnection {
 public:
  CNoConnection() : CDataConnection(kNone) {}
  bool Open() override;
  void Close() override {}
};

// Replays the file of the setting "CNMEASimulation:filename": every 10 heartbeat ticks up to 30
// lines, a burst ending early at the line that produced a position fix; at the end of the file
// it starts again.
class CNMEASimulation : public CDataConnection,
                        public CHeartbeat::Counter,
                        public Listener<CDataGPSPosition> {
 public:
  static constexpr int kLinesPerBurst = 30;
  static constexpr size_t kMaxLine = 200;

  struct Persistant : PersistantData {
    Persistant();
    void Exchange() override;
    std::string filename;
  };
  static Persistant& Settings();

  CNMEASimulation();
  ~CNMEASimulation() override;
  bool Open() override;
  void Close() override;

  void OnEvent(CDataGPSPosition&) override { stop_ = true; }
  using Listener<CNMEA_Raw>::OnEvent;
  using CHeartbeat::Counter::OnEvent;

 protected:
  void OnElapsed() override;

 private:
  // The next sentence of the file: from its "$" or "!" to the line end, at most kMaxLine
  // characters; false at the end of the file.
  bool ReadSentence(std::string& line);

  std::FILE* file_ = nullptr;
  bool stop_ = false;
};

// Records the lines that other connections deliver.
class CNMEALogfile : public CDataConnection, public Listener<ShutDown> {
 public:
  CNMEALogfile() : CDataConnection(kNone) {}
  ~CNMEALogfile() override { Close(); }
  // Stores the path and checks it by opening and closing the file.
  bool SetPath(const std::string& path);
  bool Open() override;
  void Close() override;
  bool Write(const std::string& text) override;
  void OnEvent(ShutDown&) override;
  using Listener<CNMEA_Raw>::OnEvent;

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

// Clears the library's current GPS data: the program's position feed forgets its data and the
// position subscribers get an invalid fix.
void ResetGpsData();

// A new connection of the kind, or null for a kind this program cannot make.
std::unique_ptr<CDataConnection> CreateDataConnection(int32_t kind);
// The current connection: closed and replaced by one of the configured kind (kind "None" when
// that kind can't be made; the setting stays), which is opened. Null only when nothing could be
// made.
CDataConnection* SelectDataConnection();
CDataConnection* CurrentDataConnection();
void CloseDataConnection();
