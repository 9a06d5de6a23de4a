#pragma once
// The sentences that send marks and routes to an NMEA device: one WPL sentence per mark, and
// RTE sentences listing each route's marks by name, two names a sentence. Sentences are
// returned without checksum and line end.
//
// Each mark is sent under a short name: the first letters and digits of its name, upper case,
// at most min(name length, 6) of them (the most WPL and RTE carry), changed where needed so
// that no two marks of one transfer share it ("HARBOU", "HARBO1", ...). A mark used by several
// routes, or twice in one, is sent once and named once.
#include <string>
#include <vector>

#include "gps/gps_objects.h"

// The most points of one route that RTE sentences carry (15 sentences of two names).
inline constexpr size_t kMaxNmeaRoutePoints = 30;

std::vector<std::string> MakeMarkSentences(const std::vector<GpsMark>& marks, int name_length);

// WPL sentences for the marks of all routes first, then the RTE sentences of each route in
// order, numbered from 1. A route longer than kMaxNmeaRoutePoints is sent with its first points
// only; warning then names each such route.
std::vector<std::string> MakeRouteSentences(const std::vector<GpsRoute>& routes, int name_length,
                                            std::string& warning);
