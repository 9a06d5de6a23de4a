#pragma once
// The race start: a start time with its countdown period and a start line between two points,
// kept in settings, exchanged with other instruments as "$PVDQ,SetStartTimer" and
// "$PVDQ,SetStartLine" sentences, and measured against the boat: its distance to the line, the
// time to the start, and the time it has to burn before heading for the line.
//
// The objects are program-wide and idle until a sentence dispatcher and a GPS position source
// fire their events. User-interface thread only.
#include <functional>
#include <string>

#include "core/listener.h"
#include "core/persistant_data.h"
#include "geodesy/local_projection.h"
#include "gps/nmea_pvdq.h"
#include "overlays/model/data_gps_position.h"
#include "overlays/model/data_start_timer.h"

class CDataStartTimer::Persistant : public PersistantData {
 public:
  Persistant();
  void Exchange() override;
  CDataStartTimer values;
};

// The start line event, delivered on Listener<CDataStartLine> with the current values.
struct CDataStartLine {
  class Persistant;

  double left_lat = 0.0;
  double left_lon = 0.0;
  double right_lat = 0.0;
  double right_lon = 0.0;
  float axis = 0.0f;  // degrees
};

class CDataStartLine::Persistant : public PersistantData {
 public:
  Persistant();
  // Reading the record from the settings file announces the line (unless echoing).
  void Exchange() override;
  CDataStartLine values;
};

// The program-wide records, and firing their current values.
CDataStartTimer::Persistant& StartTimerSettings();
CDataStartLine::Persistant& StartLineSettings();
void FireStartTimer();
void FireStartLine();

// Sends local changes of the timer and the line to other instruments and takes theirs in.
class Feed_StartInfo : public Listener<CDataStartTimer>,
                       public Listener<CDataStartLine>,
                       public Listener<NMEA_PVDQ::SetStartTimer>,
                       public Listener<NMEA_PVDQ::SetStartLine> {
 public:
  // Sends one sentence (with its checksum and CR LF) on the output connection; false when
  // there is none or output is off.
  using Output = std::function<bool(const std::string& sentence)>;

  static Feed_StartInfo& Instance();
  void SetOutput(Output output) { output_ = std::move(output); }
  // True while a received sentence's values are being announced: they are not sent back.
  bool echoing() const { return echoing_; }

  void OnEvent(CDataStartTimer& timer) override;
  void OnEvent(CDataStartLine& line) override;
  void OnEvent(NMEA_PVDQ::SetStartTimer& sentence) override;
  void OnEvent(NMEA_PVDQ::SetStartLine& sentence) override;

 private:
  Feed_StartInfo() = default;
  void Send(std::string sentence);

  Output output_;
  bool echoing_ = false;
};

// The boat against the line and the timer; its results are announced on
// Listener<CDataDistanceToStart> after every recomputation.
class CDataDistanceToStart : public Listener<CDataGPSPosition>,
                             public Listener<CDataStartLine>,
                             public Listener<CDataStartTimer> {
 public:
  static constexpr double kMinLineMetres = 5.0;
  static constexpr double kMaxLineMetres = 10000.0;

  static CDataDistanceToStart& Instance();
  // The clock for the time to the start (seconds since 1970 UTC); the system's by default.
  void SetClock(std::function<double()> clock) { clock_ = std::move(clock); }

  void OnEvent(CDataGPSPosition& fix) override;
  void OnEvent(CDataStartLine& line) override;
  void OnEvent(CDataStartTimer& timer) override;

  bool line_usable() const { return line_usable_; }
  // Signed metres from the line to the boat, positive on the side the start is made from; 0
  // with no usable line or no position.
  double distance() const { return distance_; }
  double time_to_start() const { return time_to_start_; }  // seconds
  bool burn_valid() const { return burn_valid_; }
  double time_to_burn() const { return time_to_burn_; }  // seconds
  bool has_result() const { return has_result_; }

 private:
  CDataDistanceToStart() = default;
  void SetUpLine(const CDataStartLine& line);
  void Recompute();

  std::function<double()> clock_;
  CLocalProjection plane_;
  double normal_north_ = 0.0;
  double normal_east_ = 0.0;
  bool line_usable_ = false;
  CDataGPSPosition fix_;
  double start_time_ = 0.0;
  bool has_result_ = false;
  double distance_ = 0.0;
  double time_to_start_ = 0.0;
  bool burn_valid_ = false;
  double time_to_burn_ = 0.0;
};
