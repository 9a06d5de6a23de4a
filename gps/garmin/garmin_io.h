#pragma once
// The GPS input of type 2 for devices that speak the packet protocol, over a serial port
// (CGarminSerial) or USB (CGarminUSB). It identifies the device (product, protocol
// capabilities, clock), follows its live position on a thread of its own, and copies marks,
// routes, tracks and proximity marks between the device and the program.
//
// The live-position thread keeps its own fix record and posts the notices of gps_notice.h, each
// with a copy of it: a fix (0) for every position packet, and a failure (77) after which the
// thread ends: the device could not be identified, does not send positions, or went quiet.
//
// Threads: the live-position thread is the only user of the link while it runs. Transfers run on
// the calling (user-interface) thread; they stop the live-position thread first and start it
// again at the end. Derived classes start the thread at the end of their constructor and stop
// it at the start of their destructor, before their link goes.
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/gps_position_info.h"
#include "app/shell_services.h"
#include "gps/garmin/garmin_packet.h"
#include "gps/garmin/garmin_records.h"
#include "gps/gps_interface.h"
#include "gps/gps_notice.h"
#include "gps/gps_params.h"
#include "gps/gps_reader_clock.h"
#include "platform/os/message_queue.h"

class CGarminIO : public CGPSInterface {
 public:
  ~CGarminIO() override;

  // Every kind both ways.
  bool CanTransfer(int direction, int kind) const override;
  // Marks (2) and routes (3) as plain records: imported marks that match one of the list's
  // marks by name (any case) and position are not added again. Tracks have no place in the
  // list: "Import type not supported" / "Export type not supported". Each returns the number of
  // marks or routes moved, 0 with message set on failure.
  int Import(int kind, GpsObjectList& objects) override;
  int Export(int kind, const GpsObjectList& objects) override;

  // The same for the document's overlay objects. Import: 2 marks, 3 routes with their points, 4
  // tracks. A mark read that matches one of the list's marks by short name (any case) and
  // position is reused; new objects (made for the current owner document) join the list and
  // are notified as changed; routes read are locked; a track with cadences gets the extra
  // series "Cadence (rpm)". Export: 2 the visible marks no route uses (those with a proximity
  // alarm also as proximity marks), 3 the visible routes, 4 the visible tracks; the marks' short
  // names are made unique in the list first. Each returns the number of marks, routes or
  // tracks moved, 0 with message set on failure.
  int Import(int kind, ObjectList& document);
  int Export(int kind, const ObjectList& document);

  // Stops the live-position thread, identifies the device, runs work and starts the thread
  // again when it ran. The result is work's, false as well when the device cannot be identified.
  bool Transfer(const std::function<bool()>& work);

  // Opens the link and asks the device who it is, what it speaks and what time it has. Waits
  // at most 5 seconds for the protocol capabilities; a device that sends none is looked up in
  // the table of devices without them. false with message set when the device cannot serve.
  bool Identify();

  // The transfers proper, each on an identified device; false with message set on failure (a
  // read may have delivered some records by then).
  bool GetWaypoints(std::vector<GarminWaypoint>& waypoints);
  bool GetRoutes(std::vector<GarminRoute>& routes);
  // Tracks of fewer than 5 points are dropped.
  bool GetTracks(std::vector<GarminTrack>& tracks);
  // Marks, then those with proximity_alarm as proximity marks.
  bool PutWaypoints(const std::vector<GarminWaypoint>& waypoints);
  // A route longer than route_points goes out as several routes ("name-1", "name-2", ...),
  // each starting with the last point of the one before.
  bool PutRoutes(const std::vector<GarminRoute>& routes);
  // A track longer than track_points is thinned first (every second point dropped, the last
  // kept, until it fits).
  bool PutTracks(const std::vector<GarminTrack>& tracks);

  void StartLivePosition();
  // Asks the live-position thread to stop, joins it, and tells a device that sends positions
  // to stop sending them.
  void StopLivePosition();

  // The link. Each returns false on failure, with message set where the link says why.
  virtual bool SendRawPacket(const GarminPacket& packet) = 0;
  virtual bool ReceiveRawPacket(GarminPacket& packet) = 0;
  // Sends a packet and, where the link acknowledges, waits for its acknowledgement.
  virtual bool SendPacket(const GarminPacket& packet) = 0;
  // The next packet other than an acknowledgement.
  virtual bool ReceivePacket(GarminPacket& packet) = 0;
  // Opens the link when it is not open yet.
  virtual bool Open() = 0;

  // What Identify found. It also runs on the live-position thread: read these (and
  // device_description and name_length) on another thread only while that thread is stopped,
  // as it is during and after a transfer until the thread is started again.
  uint16_t product_id = 0;
  uint16_t software_version = 0;
  GarminCapabilities capabilities;
  // The device's clock when it was identified, seconds since 1970 (UTC), and how far it was
  // ahead of the computer's.
  int64_t device_time = 0;
  int64_t device_clock_offset = 0;
  // Called on the transfer's thread during track transfers with the packets done and the
  // total; returning false cancels the transfer.
  std::function<bool(int done, int total)> progress;

 protected:
  CGarminIO(vd::os::MessageWindow& window, const GPSParams& params, GPS_position_info& record,
            std::shared_ptr<GpsReaderClock> clock);

  // Reports a failure: appends the text to message on a new line (not on the live-position
  // thread, whose failures go to its record only), makes its first 50 characters the fix
  // record's status and logs "set_err: ...".
  void SetError(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // True on the live-position thread once it has been asked to stop: long waits of the link
  // give up then.
  bool StopRequested() const;
  // Clears message, except on the live-position thread (which never writes it).
  void ClearMessage();
  // Logs "<prefix>%d\t%d: " (id, size) and each data byte as "%02x ", or as "%c " when
  // printable is set and the byte is a printable character.
  void LogPacket(const char* prefix, const GarminPacket& packet, bool printable = false);

  GpsReaderClock& clock() { return *clock_; }
  GPS_position_info& record() { return record_; }

 private:
  // The device's route protocol and data types are ones this program speaks; else the error is set.
  bool RouteTypesSupported();
  void Run(std::stop_token stop);
  void PostNotice(GpsNotice notice);
  // Receives the Records packet that starts a transfer from the device; its count or -1.
  int ReceiveRecords();
  // Records with the count, the packets, and Transfer complete naming the command.
  bool SendAll(const std::vector<GarminPacket>& packets, uint16_t command);
  bool Cancelled(int done, int total, const char* what);

  vd::os::MessageWindow& window_;
  std::shared_ptr<GpsReaderClock> clock_;
  // Written by the live-position thread while it runs, by the transfers only while it does not.
  GPS_position_info record_;
  int32_t utc_offset_ = 0;
  std::jthread thread_;
};

// The table of devices that send no protocol capabilities.
const std::vector<GarminDeviceRow>& GarminDeviceTable();
