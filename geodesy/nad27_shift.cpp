#include "geodesy/nad27_shift.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

#include "geodesy/proj_adapter.h"

namespace {

constexpr std::array<const char*, 4> kGridNames = {"conus", "canada", "alaska", "hawaii"};

struct Nad27Grids {
  std::mutex lock;
  std::string folders;  // the data folders the grids below were looked for in
  std::array<std::unique_ptr<vd::geo::ProjOperation>, kGridNames.size()> grids;
  std::array<bool, kGridNames.size()> looked_for{};
  size_t last = 0;  // the grid that covered the last point: consecutive points try it first
};

Nad27Grids& Grids() {
  static Nad27Grids grids;
  return grids;
}

std::string FoldersKey() {
  std::string key;
  for (const std::string& f : vd::geo::ProjDataFolders()) key += f + '\n';
  return key;
}

}  // namespace

bool GetNad27Shift(double lat, double lon, double& dlat, double& dlon) {
  dlat = dlon = 0.0;
  Nad27Grids& g = Grids();
  std::string folders = FoldersKey();
  std::lock_guard<std::mutex> hold(g.lock);
  if (folders != g.folders) {
    g.folders = std::move(folders);
    for (size_t i = 0; i < kGridNames.size(); ++i) {
      g.grids[i].reset();
      g.looked_for[i] = false;
    }
  }
  for (size_t round = 0; round <= kGridNames.size(); ++round) {
    size_t i = round == 0 ? g.last : round - 1;
    if (round > 0 && i == g.last) continue;
    if (!g.looked_for[i]) {
      g.looked_for[i] = true;
      g.grids[i] = vd::geo::ProjOperation::CreateGridShift(kGridNames[i]);
    }
    double shifted_lon, shifted_lat;
    if (g.grids[i] && g.grids[i]->Forward(lon, lat, shifted_lon, shifted_lat)) {
      g.last = i;
      dlat = shifted_lat - lat;
      dlon = shifted_lon - lon;
      return true;
    }
  }
  return false;
}
