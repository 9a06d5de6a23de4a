#pragma once
// CProjection converts between WGS84 latitude/longitude (degrees) and the coordinates of one
// coordinate system: geographic (no projection), a UTM zone, an ESRI-style ".prj" file
// (well-known text), PROJ parameter text, or the Ordnance Survey national grid.
//
// Threads: a CProjection may be used by one thread at a time. Each one owns its own PROJ
// context, so different CProjection objects may be used on different threads at once.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class OSGB_National_Grid;
namespace vd::geo {
class ProjOperation;
}

// One node of a well-known-text tree: a bare word, a word with a bracketed list of children,
// a quoted string or a number. Names compare without regard to case.
struct WktNode {
  enum Kind : int32_t { kWord = 1, kList = 2, kString = 3, kNumber = 4 };

  int32_t kind = kWord;  // kWord also marks an error; text then says what went wrong
  std::string text;
  double value = 0.0;  // kNumber only
  std::vector<WktNode> children;

  // The first direct child whose text is name, or null.
  const WktNode* Child(std::string_view name) const;
  // Depth first, this node first: the first node whose text is name, or null.
  const WktNode* Find(std::string_view name) const;
  // The text of the first child when that child is a quoted string, or null.
  const std::string* String() const;
  // PARAMETER["name", number] among the direct children: true with its value.
  bool Parameter(std::string_view name, double& value) const;
};

// Parses one node of text starting at pos and moves pos past it (blanks, tabs and line ends
// around the node included). Malformed text gives kWord nodes that carry the fault in their
// text, so later name comparisons fail; it never reads past the text.
WktNode ParseWkt(std::string_view text, size_t& pos);

class CProjection {
 public:
  CProjection();
  virtual ~CProjection();
  CProjection(const CProjection&) = delete;
  CProjection& operator=(const CProjection&) = delete;

  // Each setter selects the coordinate system (replacing the previous one, national grid
  // included) and returns whether it could. When PROJ refuses the parameters no system is
  // left (coordinates stay geographic); a file that cannot be read, and a ".prj" whose
  // projection is unknown or whose parameters are missing or out of range, leave the current
  // system as it was.
  bool SetLatLong();
  bool SetOsgbGrid();
  // The datum of the projected coordinates: NAD27 when the name contains "27", then the
  // NAD27 shift is applied around the projection (and SetUtmZone uses Clarke 1866).
  bool SetDatumName(const std::string& name);
  bool SetUtmZone(int zone);
  // PROJ parameters, e.g. "+proj=utm +zone=30 +ellps=WGS84".
  bool SetFromProjString(const std::string& text);
  // A text file of PROJ parameters (at most 4092 bytes are read).
  bool LoadProjFile(const std::string& path);
  // The ".prj" file beside path (same name, extension ".prj"). Knows Albers and transverse
  // Mercator; a GEOGCS root gives geographic coordinates. Coordinates are in the file's
  // linear UNIT.
  bool LoadPrj(const std::string& path);

  // WGS84 lat/lon -> coordinates (x east, y north; lon/lat when geographic). False on
  // non-finite input or when the point cannot be converted.
  bool Forward(double lat, double lon, double& x, double& y) const;
  // Coordinates -> WGS84 lat/lon. False as Forward.
  bool Inverse(double x, double y, double& lat, double& lon) const;

 private:
  bool SetTarget(const std::vector<std::string>& args);

  std::unique_ptr<vd::geo::ProjOperation> target_;  // null: geographic
  bool nad27_ = false;
  std::unique_ptr<OSGB_National_Grid> grid_;
};
