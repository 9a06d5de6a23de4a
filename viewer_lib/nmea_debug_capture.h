#pragma once
// The NMEA debug capture: while it is open, every line a data connection receives is written to
// "nmea_debug.txt" in the program's temp folder from its "$" or "!" on, before any check (bad
// lines too), so that a user can hand what the device sent to someone who looks into a problem. The file is offered to the
// user as "NMEA debug data" (text/plain, extension "txt"). Destroying any data connection
// closes the capture.
//
// User-interface thread only.
#include <string>

namespace NMEADebugCapture {

inline constexpr char kFileName[] = "nmea_debug.txt";
inline constexpr char kTitle[] = "NMEA debug data";

// The capture file's path: the temp folder followed by "/nmea_debug.txt".
std::string Path();
// Opens the file anew (emptied); false when it could not be opened.
bool Open();
bool IsOpen();
// Writes the line up to its line end, then CR LF; nothing while closed.
void Record(const char* line);
void Close();

}  // namespace NMEADebugCapture
