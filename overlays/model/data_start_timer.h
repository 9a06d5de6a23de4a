#pragma once
// The race-start timer event, delivered on Listener<CDataStartTimer> when its settings change.
struct CDataStartTimer {
  double time_of_start = 0.0;  // seconds since 1970 UTC; 0 or less = no start
  int period_minutes = 0;
  bool after_start_layout = false;
  bool new_track_at_start = false;
  double clock = 0.0;  // the instruments' current time, seconds since 1970 UTC
};
