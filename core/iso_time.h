#pragma once
// ISO 8601 date-times as GPX and web replies write them.
#include <string>
#include <string_view>

// "YYYY-MM-DDThh:mm:ssZ" of the UTC time, whole seconds (the fraction is dropped, rounding
// down). Times before year 0 or after year 9999 are written as those years' bounds.
std::string FormatIsoTime(double seconds_since_1970);

// Seconds since 1970 of "Y-M-DTh:m:s" (each number optionally signed, with leading blanks), 0
// when fewer than the six numbers read. A fraction of the second (".5") is kept. A zone after
// the time, "Z" or an offset "+hh:mm", "-hh:mm", "+hhmm" or "+hh", is applied; without one the
// time counts as UTC. Out-of-range fields carry over (month 13 is January of the next year).
double ParseIsoTime(std::string_view text);
