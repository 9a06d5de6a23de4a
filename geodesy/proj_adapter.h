#pragma once
// The one place that talks to PROJ. Coordinate systems are given the classic way, as a list
// of "key=value" parameters ("proj=utm", "zone=30", ...), and points go through one at a
// time in degrees.
//
// Threads: every ProjOperation owns its own PROJ context (PROJ objects are not thread-safe),
// so one operation is used by one thread at a time and distinct operations are independent.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct pj_ctx;
struct PJconsts;

namespace vd::geo {

// Folders searched for PROJ data files (grids), in order: the program's "PROJ" folder (the
// program folder is $CORVEX_PROGDIR when set, else the executable's folder), the folders of
// $PROJ_DATA and $PROJ_LIB, then PROJ's own data folders (where proj.db lives).
std::vector<std::string> ProjDataFolders();

// Splits PROJ parameter text into arguments at blanks, '+', tabs and line ends.
std::vector<std::string> SplitProjArguments(std::string_view text);

class ProjOperation {
 public:
  // From WGS84 latitude/longitude into the system the arguments define; null when PROJ
  // refuses them. Without a datum in the arguments (datum=, towgs84=, nadgrids=, init=,
  // type=crs) the point is projected as it is, with no datum change.
  static std::unique_ptr<ProjOperation> CreateProjection(const std::vector<std::string>& args);
  // Horizontal shift through the grid file(s) named (comma-separated, found in
  // ProjDataFolders()); null when a grid cannot be loaded.
  static std::unique_ptr<ProjOperation> CreateGridShift(std::string_view grids);

  ~ProjOperation();
  ProjOperation(const ProjOperation&) = delete;
  ProjOperation& operator=(const ProjOperation&) = delete;

  // lon/lat in degrees -> x/y (degrees when the target is geographic). False when PROJ fails
  // or the result is not finite.
  bool Forward(double lon, double lat, double& x, double& y) const;
  bool Inverse(double x, double y, double& lon, double& lat) const;

 private:
  ProjOperation(pj_ctx* ctx, PJconsts* op);
  bool Run(bool forward, double in_x, double in_y, double& out_x, double& out_y) const;

  pj_ctx* ctx_;
  PJconsts* op_;
};

}  // namespace vd::geo
