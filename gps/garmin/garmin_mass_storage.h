#pragma once
// The GPS input of type 2 on USB when no device answers the packet protocol: a device mounted
// as a drive that describes itself in "Garmin/GarminDevice.xml". It has no live position; it
// exchanges GPX files (and reads TCX files) with the folders the description names:
//   - the input folder, where the device picks up GPX files the program writes;
//   - the output folder, where the device leaves GPX files;
//   - the fitness folder, where it leaves TCX files.
//
// Looking for the device reports through the fix record and a notice: failure (77) with the
// status "Garmin USB not connected", "Missing file: ..." or "Failed to read XML file: ...", or
// a fix notice (0) with "Garmin Mass-storage found OK".
//
// User-interface thread only (the overlay objects are).
#include <string>
#include <vector>

#include "app/gps_position_info.h"
#include "app/shell_services.h"
#include "gps/gps_interface.h"
#include "gps/gps_params.h"
#include "platform/os/message_queue.h"

class CGarminMassStorage : public CGPSInterface {
 public:
  // Clears the record's restart_silently flag and looks for the device in each of roots in
  // order (the mount points of removable media when empty: /media/<user>/*, /run/media/<user>/*
  // and /media/*). Folder names of the description are matched without regard to case.
  CGarminMassStorage(vd::os::MessageWindow& window, const GPSParams& params,
                     GPS_position_info& record, std::vector<std::string> roots = {});

  // From the device when it names an output folder, to it when it names an input folder.
  bool CanTransfer(int direction, int kind) const override;

  // Reads every GPX file of the output folder and, for tracks, every TCX file of the fitness
  // folder. Each mark (2), route (3) or track (4) read that the document does not already hold
  // is appended to document and notified with code 4; so are the points of the routes taken.
  // Everything else read is dropped (a route the document holds already brings no copies of
  // its points). Returns the number added; message names files that could
  // not be read.
  int Import(int kind, ObjectList& document);
  // Writes the visible marks, routes or tracks of document to a new "_vdXXXX.gpx" file of the
  // input folder (XXXX four hexadecimal digits, never an existing file's). Returns the number
  // of objects written; 0 with message set when nothing could be written.
  int Export(int kind, const ObjectList& document);
  using CGPSInterface::Export;
  using CGPSInterface::Import;

  const std::string& description_path() const { return description_path_; }
  const std::string& input_folder() const { return input_folder_; }    // ends in '/'
  const std::string& output_folder() const { return output_folder_; }  // ends in '/'
  const std::string& fitness_folder() const { return fitness_folder_; }  // ends in '/'

 private:
  // Reads the description; false with message set when it is missing or unreadable.
  bool ReadDescription(const std::string& root, const std::string& path);
  void RemoveTakenExports();

  std::string description_path_;
  std::string input_folder_;
  std::string output_folder_;
  std::string fitness_folder_;
};

// The mount points searched when no roots are given.
std::vector<std::string> DefaultGarminDriveRoots();
