#pragma once
// What a reader of an exchange file (tagged text, NMEA log, shapefile) reports besides the
// objects it appended to the caller's list.
#include <string>

struct ExchangeRead {
  int count = 0;      // objects made (a shapefile import minus the tracks joined away)
  std::string error;  // empty on success; else the text to show the user
};
