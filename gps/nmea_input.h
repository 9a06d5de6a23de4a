#pragma once
// The GPS input of type 1: NMEA 0183 sentences from a serial device ("/dev/ttyUSB0"), or the
// lines of a demo file (".txt" or ".nmea") replayed at about one fix a second. A reader thread
// of its own parses them and posts the notices of gps_notice.h, each with a copy of its fix
// record, to the window: a fix (0), a complete satellite table (33), and a failure (77) after
// which the thread ends: the port could not be opened (the record's restart_silently is then
// clear and its status "Can't open COM port"), or no line came for 5 seconds or the port
// failed ("Communication timeout"). A demo file that has played to its end thus reports a
// failure after 5 seconds and is played again when the input is created anew.
//
// It also sends marks and routes to the device as WPL and RTE sentences (see
// nmea_waypoint_sentences.h); a route cut to the points RTE can carry is sent, and message then
// names the cut.
//
// Lifetime: created on the user-interface thread, which also calls Export and destroys it.
// Destroying it stops and joins the reader thread before the port is closed.
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/gps_position_info.h"
#include "gps/gps_interface.h"
#include "gps/gps_params.h"
#include "gps/gps_reader_clock.h"
#include "gps/nmea_fix_parser.h"
#include "gps/nmea_line_assembler.h"
#include "platform/os/files.h"
#include "platform/os/message_queue.h"
#include "platform/os/serial_port.h"

class CNMEA_input : public CGPSInterface {
 public:
  // Clears record's valid flag, starts its own record as a copy of it (so the simulated and
  // restart_silently flags the caller set carry over) and starts the reader thread. The window
  // must outlive the input. clock: the system clock when null.
  CNMEA_input(vd::os::MessageWindow& window, const GPSParams& params, GPS_position_info& record,
              std::shared_ptr<GpsReaderClock> clock = nullptr);
  ~CNMEA_input() override;

  // Nothing from the device; marks and routes to it.
  bool CanTransfer(int direction, int kind) const override;
  // Stops the reader, opens the port when needed, sends and starts the reader again. Returns
  // the number of marks or routes sent; 0 with message set when the port cannot be opened
  // (the reader then stays stopped, as it would have stopped anyway), a sentence cannot be
  // written, or the kind is not supported.
  int Export(int kind, const GpsObjectList& objects) override;

  void StartThread();
  // Asks the reader thread to stop and joins it; it stops within one port read time-out.
  void StopThread();

  // Opens the port of the params: a serial device with the params' line settings (indexes out
  // of range are corrected in the input's copy of the params), or an ordinary file to read
  // (simulated input when it ends in ".txt" or ".nmea"). 0, or -1 with message and the record
  // set as for a failure.
  int OpenPort();
  // Sends one sentence (cut to 76 characters) with its checksum and line end; returns the
  // checksum, or -1 when the input is simulated or the port fails.
  int WriteSentence(std::string_view sentence);

  const GPSParams& params() const { return params_; }

 private:
  void Run(std::stop_token stop);
  // The next line within timeout_ms; false on time-out, stop or a port error (error then holds
  // the system's error code, else 0).
  bool WaitForLine(std::string_view& line, int timeout_ms, const std::stop_token& stop, int& error);
  int64_t ReadPort(void* buffer, size_t size);
  bool PortOpen() const { return serial_.IsOpen() || file_.IsOpen(); }
  void ClosePort();
  int SendSentences(const std::vector<std::string>& sentences);

  vd::os::MessageWindow& window_;
  GPSParams params_;
  std::shared_ptr<GpsReaderClock> clock_;
  // Written by the reader thread while it runs, by the user-interface thread only while no
  // reader runs.
  NmeaFixParser parser_;
  vd::os::SerialPort serial_;
  vd::os::File file_;  // an ordinary file read in place of a port
  NmeaLineAssembler assembler_;
  char read_buffer_[512];
  size_t read_pos_ = 0;
  size_t read_end_ = 0;
  std::jthread thread_;
};
