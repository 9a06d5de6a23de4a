#pragma once
// Shared pieces of the newer overlay model's tests: files of the block stream, a recorder of
// change events, fixes and positions.
#include <string>
#include <utility>
#include <vector>

#include "core/listener.h"
#include "core/serializable_stream.h"
#include "geodesy/local_projection.h"
#include "overlays/model/data_gps_position.h"
#include "overlays/model/overlay_object.h"
#include "platform/os/files.h"

namespace vd::test {

constexpr double kMetresPerDegree = 111'320.0;  // of latitude, near enough for the tests

// Writes the file through write(stream); true when the whole file was written.
template <class Write>
bool WriteStream(const std::string& path, Write write) {
  CSerializableStream stream;
  if (!stream.OpenWrite(path)) return false;
  if (!write(stream)) return false;
  return stream.Close();
}

// Reads the file through read(stream); read's result.
template <class Read>
bool ReadStream(const std::string& path, Read read) {
  CSerializableStream stream;
  if (!stream.OpenRead(path)) return false;
  const bool ok = read(stream);
  stream.Close();
  return ok;
}

// The file's bytes, and a file rewritten with other bytes.
inline std::string FileBytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}
inline bool PutFileBytes(const std::string& path, const std::string& bytes) {
  return vd::os::SaveFileAtomically(path, bytes);
}

// Every change announced while it lives: the object and its code.
class ChangeRecorder : public Listener<COverlayObject> {
 public:
  void OnEvent(COverlayObject& object) override {
    events.emplace_back(&object, object.change_code);
  }
  bool Saw(const COverlayObject* object, int code) const {
    for (const auto& [seen, seen_code] : events) {
      if (seen == object && seen_code == code) return true;
    }
    return false;
  }
  std::vector<std::pair<const COverlayObject*, int>> events;
};

// A valid fix north and east of (lat, lon) by the given metres of its flat plane.
inline CDataGPSPosition FixAt(double lat, double lon, double north_metres = 0,
                              double east_metres = 0, double time = 0) {
  CLocalProjection plane;
  plane.SetOrigin(lat, lon);
  CDataGPSPosition fix;
  fix.valid = true;
  fix.latitude = lat + north_metres / plane.north_factor();
  fix.longitude = lon + east_metres / plane.east_factor();
  fix.time = time;
  return fix;
}

}  // namespace vd::test
