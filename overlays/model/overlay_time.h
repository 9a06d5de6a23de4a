#pragma once
// The clocks of the newer overlay model. The created and modified times of stored objects count
// seconds from 1 January 1601 UTC (GetNow); track point times, fix times and the ISO texts of
// GPX count seconds from 1 January 1970 UTC. Values crossing between the two go through these.

inline constexpr double kSeconds1601To1970 = 11644473600.0;

inline double TimeTo1970(double seconds_1601) { return seconds_1601 - kSeconds1601To1970; }
inline double TimeFrom1970(double seconds_1970) { return seconds_1970 + kSeconds1601To1970; }

// The current time in seconds since 1601, with fraction. During a heartbeat delivery every call
// returns the time read by the first one, so that all changes of one tick share one stamp.
double GetNow();
