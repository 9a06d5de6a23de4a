#pragma once
// A flat projection around an origin: metres east and north of the origin from the degree
// lengths at the origin's latitude. Good for ranges and bearings near the origin; the longitude
// difference is not wrapped at 180 degrees. A value type without heap memory.

struct RangeBearing {
  double range_metres = 0.0;
  double bearing_degrees = 0.0;  // clockwise from north, in [0, 360)
};

struct EastNorth {
  double east_metres = 0.0;
  double north_metres = 0.0;
};

class CLocalProjection {
 public:
  // Stores the origin and the metres per degree there. At |lat| >= 90 (which includes the
  // unknown-position marker 999) and for a non-finite latitude both factors are 0, so every
  // point projects onto the origin.
  void SetOrigin(double lat, double lon);

  EastNorth Project(double lat, double lon) const;
  double DistanceTo(double lat, double lon) const;
  // east^2 + north^2: enough where distances are only compared.
  double DistanceSquared(double lat, double lon) const;
  // Both points projected with this origin's factors.
  double DistanceBetween(double lat1, double lon1, double lat2, double lon2) const;
  RangeBearing RangeBearingTo(double lat, double lon) const;

  double origin_lat() const { return origin_lat_; }
  double origin_lon() const { return origin_lon_; }
  double north_factor() const { return north_factor_; }  // metres per degree of latitude
  double east_factor() const { return east_factor_; }    // metres per degree of longitude

 private:
  double origin_lat_ = 0.0;
  double origin_lon_ = 0.0;
  double north_factor_ = 0.0;
  double east_factor_ = 0.0;
};
