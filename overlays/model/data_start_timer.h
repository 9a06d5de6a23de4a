#pragma once
// The race-start timer event, delivered on Listener<CDataStartTimer> when its settings change.
#include <string>

struct CDataStartTimer {
  // The program-wide settings record "CDataStartTimer" (gps/instruments/race_start.h).
  class Persistant;

  double time_of_start = 0.0;  // seconds since 1970 UTC; 0 or less = no start
  int period_minutes = 0;
  std::string after_start_layout;  // the layout to switch to after the start
  bool new_track_at_start = false;
  double clock = 0.0;  // the instruments' current time, seconds since 1970 UTC
};
