#pragma once
// The GPS connection settings: which input to create, on which port or demo file, and the line
// settings of the port. The main frame keeps them in the profile as one text line (section
// "settings", value "GPS_params"):
//
//   type,port kind,port ,baud,byte size,stop bits,parity,name length,route points,track points,
//   saved port ,saved type
//
// (one line, no blank after the commas). Both ports are written as blank-free words followed by
// one blank; a blank, tab, line break or '%' inside a path is written as %XX (" " is "%20") and
// read back. Lines written by older versions read alike: fields after the last one present keep
// their presets, and a port is the word up to the next white space.
#include <cstdint>
#include <string>
#include <string_view>

namespace vd::os {
class ProfileStore;
}

struct GPSParams {
  enum Type { kNone = 0, kNmea = 1, kGarmin = 2, kSimulator = 5 };
  enum PortKind { kSerialPort = 0, kUsb = 1 };

  int32_t type = kNone;
  int32_t port_kind = kSerialPort;  // Garmin only
  std::string port;                 // device path, or the path of a ".txt"/".nmea" demo file
  std::string saved_port;           // the port to go back to when a demo file is refused
  int32_t baud_index = 4;           // into GpsBaudRate's table; 4 = 4800
  int32_t byte_size_index = 1;      // 0 = 7 bits, 1 = 8 bits
  int32_t stop_bits_index = 0;      // 0 = one, 1 = one and a half, 2 = two
  int32_t parity_index = 0;         // 0 = none, 1 = odd, 2 = even
  bool debug_log = false;           // write "gps_debug.txt"; not part of the setting text
  int32_t saved_type = 0;
  int32_t name_length = 6;     // short waypoint names sent to a device
  int32_t route_points = 100;  // most points of one route sent to a Garmin device
  int32_t track_points = 500;  // most points of one track sent to a Garmin device
};

// The setting's section and value name, and the text used when the value is missing.
inline constexpr char kGpsParamsSection[] = "settings";
inline constexpr char kGpsParamsKey[] = "GPS_params";
inline constexpr char kDefaultGpsParamsText[] = "0,0,/dev/ttyUSB0 ,4,1,0,0,6,100,500";

// Bits per second for a baud index: 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400,
// 56000, 57600, 115200, 128000, 256000 for 0 to 13; any other index gives 4800.
uint32_t GpsBaudRate(int32_t baud_index);

// Reads a setting line over the presets (the struct's defaults with both ports empty). Reading
// stops at the first field that does not match; that field and those after it keep their
// presets. A port word longer than kMaxGpsPortText characters ends the reading there too.
GPSParams ParseGPSParams(std::string_view text);
inline constexpr size_t kMaxGpsPortText = 4096;

// The setting line; an empty port or saved port is written as "-".
std::string FormatGPSParams(const GPSParams& params);

// The stored setting, or kDefaultGpsParamsText when there is none; debug_log is left false.
GPSParams LoadGPSParams(const vd::os::ProfileStore& profile);
bool SaveGPSParams(vd::os::ProfileStore& profile, const GPSParams& params);
