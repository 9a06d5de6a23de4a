#pragma once
// GPX 1.1 files of the newer overlay model: GpxWriter frames a file (declaration, header,
// closing tag) around the objects' own WriteGPX elements, and the reader turns a GPX document
// into marks and routes of CMarkManager and tracks of CTrackManager.
//
// Reading updates in place an object whose "src" (or "desc") carries "vdid:<hex>" matching the
// synchronisation id of an object of its manager; a new object equal to one already there (same
// deleted flag, name without regard to case, positions within 1.7e-05 degrees) is dropped.
// Every object kept fires change code 0 (COverlayObject::kAppeared) once it is read.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/files.h"

class CSyncable;
class CXmlNode;

// "Solid", "Dash", "Dot", "DashDot", "DashDotDot" for 0..4; null for any other index.
const char* GetLinePatternName(int32_t index);
// The index of the pattern of that name (without regard to case); 0 when none matches.
int32_t FindLinePattern(std::string_view name);
// Three two-digit hexadecimal numbers red, green, blue ("ff8000") into an opaque 0xAARRGGBB
// colour; colour is left alone and false returned when fewer than three are read.
bool ParseGpxColour(std::string_view text, uint32_t& colour);

class GpxWriter {
 public:
  GpxWriter() = default;
  // A file not closed is discarded: the target keeps what it held.
  ~GpxWriter() = default;
  GpxWriter(const GpxWriter&) = delete;
  GpxWriter& operator=(const GpxWriter&) = delete;

  // Starts a file that replaces path at Close, and writes the header. False when the file
  // can't be created beside path.
  bool Open(const std::string& path);
  // Writes into out instead (the header first); out must outlive the writer's use.
  void Attach(std::string& out);
  bool IsOpen() const { return out_ != nullptr; }
  // The UTF-8 declaration and the opening "gpx" tag with its namespaces, when open.
  void WriteHeader();
  // The object's GPX element; false when not open or the object wrote nothing.
  bool Write(const CSyncable& object);
  // "<name>text</name>\n", or a CDATA section for a text holding '<', '>', '&' or a line feed.
  static void WriteElement(std::string& out, std::string_view name, std::string_view text);
  // Writes "</gpx>\n" and, for a file, puts it in place (synced). True when that succeeded;
  // false also when nothing was open. The writer is closed afterwards.
  bool Close();

 private:
  vd::os::AtomicFileWriter file_;
  std::string buffer_;  // the file's text until Close
  std::string* out_ = nullptr;
};

// Loads the file and reads the children of its first "gpx" element (searched depth-first).
// True when at least one object was read; false when the file does not load or has no "gpx".
bool ImportGpxDocument(const std::string& path);
// Reads every "wpt", "rte" and "trk" child into the managers (those of an absent manager are
// skipped); the number of objects read, kept or dropped as duplicates.
int ReadGpxObjects(CXmlNode& gpx);
