#pragma once
// What the chart catalogue knows of one chart file, read from its header with plain file reads
// (the file is never mapped): name, scale, map type, edition date, flags, bounding box and
// outline. A chart with a stored outline keeps only its bounding box at first; the points are
// read when a position test first needs them. A chart without one takes its four corners as
// its outline at once.
//
// Positions are WGS84: the chart's datum shift is added to its stored outline and its corners.
#include <cstdint>
#include <string>
#include <vector>

#include "core/persistant_data.h"
#include "geodesy/geo_point.h"

class CChartOutline {
 public:
  // The sort order of chart lists (what each value means is the lists' business).
  struct CSortedPointer {
    struct Persistant : PersistantData {
      Persistant();
      void Exchange() override;

      int sort_by = 1;
    };
    static Persistant& Settings();
  };

  // Reads the header of the chart file at `path`. False for a file that can't be read, is
  // shorter than a chart header, is not a chart of a version this reader knows, or is
  // incomplete (a text, outline or tile offset past its end); scale is then 0. A chart whose
  // georeference gives no scale reads as true with scale 0.
  bool ReadHeader(const std::string& path);
  // Reads the outline points again from the file (the four corners for a chart without a
  // stored outline). False when the file can't be read as a chart.
  bool LoadPoints();
  // True when points are present, else LoadPoints.
  bool EnsurePoints();
  // Inside the bounding box (edges included), then inside the outline.
  bool ContainsPoint(double lat, double lon);

  const std::string& path() const { return path_; }

  double scale = 0;  // nautical miles per pixel at the centre pixel; 0: header unreadable
  std::string name;  // the header's name text, else the path
  std::string map_type;
  int32_t edition_date = 0;  // year x 10000 + month x 100 + day, or the digits of the text
  bool chunk_store = false;  // version 0x01000000 or above
  uint32_t header_flags = 0;
  // Bounding box of the outline; empty (minimum above maximum) until a header is read.
  double min_lon = 1e300;
  double max_lon = -1e300;
  double min_lat = 1e300;
  double max_lat = -1e300;
  std::vector<GeoPoint> points;  // the outline, empty until loaded

 private:
  std::string path_;
};
