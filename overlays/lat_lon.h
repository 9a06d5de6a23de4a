#pragma once
// A latitude/longitude of an overlay object, with the flat-earth maths the objects use for
// short distances: offsets are taken on the local plane at the mean latitude, with the WGS84
// degree lengths of geodesy/degree_length.h. Distances are nautical miles, bearings degrees
// true clockwise from north.
//
// Stored inside its owner's archive record (latitude, then longitude), never on its own.
class COverlayArchive;

class CLatLon {
 public:
  CLatLon() = default;
  CLatLon(double latitude, double longitude) : lat(latitude), lon(longitude) {}

  // Latitude then longitude, as doubles.
  void Serialize(COverlayArchive& archive);

  struct Offset {
    double east = 0.0;   // nautical miles
    double north = 0.0;  // nautical miles
  };
  // Where this point lies from other. A longitude difference beyond ±180 is taken the short way
  // round, so 179 and -179 are 2 degrees apart.
  Offset LocalOffset(const CLatLon& other) const;
  double DistanceTo(const CLatLon& other) const;
  // Distance and bearing (0 <= bearing < 360) from this point to other.
  void DistanceAndBearingTo(const CLatLon& other, double& distance_nm, double& bearing_deg) const;
  // Moves the point by a distance along a bearing, both steps at the old latitude. At a pole,
  // where a degree of longitude has no length, the longitude stays.
  void MoveBy(double distance_nm, double bearing_deg);

  friend bool operator==(const CLatLon&, const CLatLon&) = default;

  double lat = 0.0;  // degrees, north positive
  double lon = 0.0;  // degrees, east positive
};

// The move of CLatLon::MoveBy for a latitude/longitude pair held elsewhere, with a float bearing.
void OffsetPointByBearing(double& lat, double& lon, double distance_nm, float bearing_deg);
