#pragma once
// The entry point of received NMEA lines: a line is checked, parsed into a pooled sentence
// object of the registered type whose name it carries (gps/nmea_sentence.h) and fired to that
// type's subscribers; a line no subscriber of its type takes is offered whole to the
// subscribers of raw lines (Listener<CNMEA_Raw>), when it came from a source.
//
// No locks: lines are processed on one thread at a time.
#include <cstddef>

// Where lines come from (a data connection): it may refuse a received line.
class CNMEALineSource {
 public:
  virtual ~CNMEALineSource() = default;
  // Passes the line through the source's input filters: false drops it.
  virtual bool AcceptInput(const char* line) = 0;
};

// A raw received line: the source, then the text with CR LF and a terminating zero.
struct CNMEA_Raw {
  static constexpr size_t kMaxText = 197;
  CNMEALineSource* source = nullptr;
  char text[kMaxText + 3] = {};
};

// Processes one line (anything before its first "$" or "!" is skipped). True when some
// subscriber received it.
bool NMEAProcessLine(const char* line, CNMEALineSource* source);
// The line (from its "$" or "!") has a "*" and two hexadecimal digits, either case, equal to
// the exclusive-or of the characters between.
bool NMEAChecksumValid(const char* line);
// Copies at most size - 1 characters and always ends the copy with a zero; nothing for size 0.
void NMEACopyString(char* destination, const char* source, size_t size);
