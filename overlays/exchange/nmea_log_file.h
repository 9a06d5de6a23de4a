#pragma once
// Recorded NMEA 0183 logs ("NMEA Data File (*.nmea)"): text files of "$" sentences as a GPS sent
// them. The RMC fixes become tracks, a new track starting wherever the recording paused for
// longer than a track's partition time; the altitude of the latest GGA goes with each fix; WPL
// sentences become marks collected, in file order, in one locked route.
//
// A sentence whose "*hh" checksum does not match its text is skipped; one without a checksum is
// taken as it stands. User-interface thread only (the objects are).
#include <string>

#include "app/shell_services.h"
#include "overlays/exchange/exchange_read.h"

inline constexpr char kNmeaFileFilter[] = "NMEA Data File (*.nmea)";
inline constexpr char kNmeaFileExtension[] = "nmea";

// Appends the new objects to list, each with one reference: the tracks and the route are named
// after the file (its name without folder and extension); the route comes before its marks.
// On failure nothing is appended and error is "Failed to open NMEA file". progress, when given,
// hears how far the reading is and may stop it: the result is then cancelled, list holding what
// was read so far.
ExchangeRead ImportNmeaFile(const std::string& path, ObjectList& list,
                            const ProgressFn& progress = {});
