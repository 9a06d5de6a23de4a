#pragma once
// Reading and writing the fields of NMEA 0183 sentences. The readers work on a cursor over one
// sentence (without its line end; give the end at the "*" of the checksum to keep them off it)
// and advance it over what they read; none reads past the cursor's end. A field that is empty
// or malformed gives what could be read (0 for numbers) and leaves the cursor at the next
// field, so the fields after it still line up.
#include <cstdint>
#include <string>
#include <string_view>

#include "geodesy/geo_point.h"

struct NmeaCursor {
  explicit NmeaCursor(std::string_view text) : pos(text.data()), end(text.data() + text.size()) {}
  bool AtEnd() const { return pos >= end; }
  char Peek() const { return pos < end ? *pos : '\0'; }

  const char* pos;
  const char* end;
};

// Up to `digits` decimal digits, stopping at the first non-digit; then steps over a comma when
// skip_comma is set and one follows.
inline int NMEAGetInt(NmeaCursor& cursor, int digits, bool skip_comma) {
  // A local pointer: the compiler cannot keep one that char stores might alias in a register.
  const char* p = cursor.pos;
  int value = 0;
  for (; digits > 0 && p < cursor.end && static_cast<unsigned>(*p - '0') < 10; --digits)
    value = value * 10 + (*p++ - '0');
  if (skip_comma && p < cursor.end && *p == ',') ++p;
  cursor.pos = p;
  return value;
}
// An optional "+", an optional "-", digits with at most one decimal point, in single precision;
// stops at the first other character, stepping over it only when it is a comma and skip_comma
// is set. An empty field gives 0.
float NMEAGetFloat(NmeaCursor& cursor, bool skip_comma);
// As NMEAGetFloat in double precision; false when the field holds no digit (out is then 0).
bool NMEAGetNumber(NmeaCursor& cursor, double& out, bool skip_comma);
// One character ('\0' at the end); with skip_comma, a comma after a character that is not
// itself a comma is stepped over too.
inline char NMEAGetChar(NmeaCursor& cursor, bool skip_comma) {
  if (cursor.AtEnd()) return '\0';
  const char c = *cursor.pos++;
  if (skip_comma && c != ',' && cursor.Peek() == ',') ++cursor.pos;
  return c;
}
// The characters up to a comma, "*" or the end; steps over a comma.
void NMEAGetString(NmeaCursor& cursor, std::string& out);
// Steps over the rest of the current field and its comma; false when there was no comma (the
// field was the last one).
inline bool NMEASkipField(NmeaCursor& cursor) {
  const char* p = cursor.pos;
  while (p < cursor.end) {
    if (*p++ == ',') {
      cursor.pos = p;
      return true;
    }
  }
  cursor.pos = p;
  return false;
}
// As NMEASkipField `count` times; for a run of fields that are not needed.
void NMEASkipFields(NmeaCursor& cursor, int count);
// "ddmm.mmm,N,dddmm.mmm,E": degrees plus minutes / 60, "S" and "W" negative. False, with out set
// to 0/0, when a field is missing, a hemisphere letter is not one of "NSEW" in its place, or a
// value is out of range; the cursor is behind the four fields either way.
bool NMEAGetLatLon(NmeaCursor& cursor, GeoPoint& out);
// "hhmmss[.sss]" as whole seconds of the day (the fraction is dropped); has_fraction, when
// given, tells whether the seconds had a decimal point. -1 for an empty or impossible time.
int NMEAGetTime(NmeaCursor& cursor, bool* has_fraction);
// "ddmmyy" as the UTC time of the start of that day (years 2000 to 2099); -1 for an empty
// field or a date that is not in the calendar.
int64_t NMEAGetDate(NmeaCursor& cursor);
// Seconds since 1970 of 00:00:00 UTC on that date. A year below 100 gets 2000 added, one from
// 100 to 199 gets 1900 added. -1 for a date before 1970 or not in the calendar.
int64_t UtcDayStart(int year, int month, int day);

// True when the line has a "*" followed by two hexadecimal digits (either case) that equal the
// exclusive-or of every character after the first ("$") and before the "*".
bool NMEAChecksumOK(std::string_view line);
// The same test, also giving where the "*" is (std::string_view::npos when there is none).
struct NmeaChecksum {
  size_t star;
  bool ok;
};
NmeaChecksum NMEACheckChecksum(std::string_view line);
// Appends "*", the checksum of every character after the first as two upper-case hexadecimal
// digits, CR and LF; returns the checksum.
int NMEAAppendChecksumCRLF(std::string& sentence);
// Appends "ddmm.mmm,N,dddmm.mmm,E," with the minutes rounded to thousandths first (so 59.9996
// minutes carry into the degrees rather than print as "60.000"). A longitude beyond +-180
// degrees is brought back by one turn.
void FormatNMEALatLon(std::string& out, const GeoPoint& position);
