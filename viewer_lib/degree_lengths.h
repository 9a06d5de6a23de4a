#pragma once
// The lengths of a degree of latitude and of longitude at the place the user looks at, for
// distances measured in degrees (the chart lists' nearest-first order). User-interface thread
// only.

struct DegreeLengths {
  double lat_metres = 0;  // metres per degree of latitude
  double lon_metres = 0;  // metres per degree of longitude
  double at_lat = 90;     // where they were computed; 90 or more: not yet

  static DegreeLengths& Global();
};

// The position the lengths are computed at while no chart view is current.
void SetDegreeLengthsPosition(double lat, double lon);
// Computes the global lengths at the current chart view's centre, or at the stored position
// without a view; nothing when that latitude is 90 or more (no position).
void UpdateDegreeLengths();
