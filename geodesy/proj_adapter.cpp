#include "geodesy/proj_adapter.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/os/environment.h"
#include "platform/os/folders.h"

namespace vd::geo {
namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;

void AppendFolders(std::vector<std::string>& folders, std::string_view list) {
  while (!list.empty()) {
    size_t end = list.find(':');
    std::string_view folder = list.substr(0, end);
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.emplace_back(folder);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
}

// PROJ's own search path, taken once (proj_info builds it in shared storage).
const std::string& ProjDefaultSearchPath() {
  static const std::string path = [] {
    const char* p = proj_info().searchpath;
    return std::string(p ? p : "");
  }();
  return path;
}

pj_ctx* NewContext() {
  PJ_CONTEXT* ctx = proj_context_create();
  if (!ctx) return nullptr;
  proj_log_level(ctx, PJ_LOG_NONE);  // failures are reported by return values
  proj_context_set_enable_network(ctx, 0);
  std::vector<std::string> folders = ProjDataFolders();
  std::vector<const char*> paths;
  for (const std::string& f : folders) paths.push_back(f.c_str());
  proj_context_set_search_paths(ctx, static_cast<int>(paths.size()), paths.data());
  return ctx;
}

// Parameters that make PROJ change datum (as the classic transform did) or that name a whole
// coordinate reference system rather than a projection.
bool NamesDatumOrCrs(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    for (std::string_view key : {"datum=", "towgs84=", "nadgrids=", "init=", "type=crs"}) {
      if (a.compare(0, key.size(), key) == 0) return true;
    }
  }
  return false;
}

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) {
    if (a == "type=crs") continue;
    text += '+';
    text += a;
    text += ' ';
  }
  return text + "+type=crs";
}

}  // namespace

std::vector<std::string> ProjDataFolders() {
  std::vector<std::string> folders;
  std::string program = vd::os::GetEnv("CORVEX_PROGDIR").value_or("");
  if (program.empty()) program = vd::os::ProgramFolder();
  while (program.size() > 1 && program.back() == '/') program.pop_back();
  folders.push_back(program + "/PROJ");
  for (const char* var : {"PROJ_DATA", "PROJ_LIB"}) {
    if (auto value = vd::os::GetEnv(var)) AppendFolders(folders, *value);
  }
  AppendFolders(folders, ProjDefaultSearchPath());
  return folders;
}

std::vector<std::string> SplitProjArguments(std::string_view text) {
  std::vector<std::string> args;
  size_t pos = 0;
  constexpr std::string_view kSeparators = " +\n\t\r";
  while ((pos = text.find_first_not_of(kSeparators, pos)) != std::string_view::npos) {
    size_t end = text.find_first_of(kSeparators, pos);
    args.emplace_back(text.substr(pos, end - pos));
    pos = end;
  }
  return args;
}

ProjOperation::ProjOperation(pj_ctx* ctx, PJconsts* op) : ctx_(ctx), op_(op) {}

ProjOperation::~ProjOperation() {
  proj_destroy(op_);
  proj_context_destroy(ctx_);
}

std::unique_ptr<ProjOperation> ProjOperation::CreateProjection(
    const std::vector<std::string>& args) {
  if (args.empty()) return nullptr;
  PJ_CONTEXT* ctx = NewContext();
  if (!ctx) return nullptr;
  PJ* op = nullptr;
  if (NamesDatumOrCrs(args)) {
    PJ* raw = proj_create_crs_to_crs(ctx, "+proj=longlat +datum=WGS84 +type=crs",
                                     JoinArguments(args).c_str(), nullptr);
    if (raw) {
      op = proj_normalize_for_visualization(ctx, raw);  // longitude first, degrees
      proj_destroy(raw);
    }
  } else {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    op = proj_create_argv(ctx, static_cast<int>(argv.size()), argv.data());
    // A bare "proj=latlong" and the like give a geographic operation; a parameter list that
    // is a coordinate system rather than an operation cannot transform points.
    if (op && !proj_angular_input(op, PJ_FWD)) {
      proj_destroy(op);
      op = nullptr;
    }
  }
  if (!op) {
    proj_context_destroy(ctx);
    return nullptr;
  }
  return std::unique_ptr<ProjOperation>(new ProjOperation(ctx, op));
}

std::unique_ptr<ProjOperation> ProjOperation::CreateGridShift(std::string_view grids) {
  if (grids.empty()) return nullptr;
  return CreateProjection({"proj=hgridshift", "grids=" + std::string(grids)});
}

bool ProjOperation::Forward(double lon, double lat, double& x, double& y) const {
  return Run(true, lon, lat, x, y);
}

bool ProjOperation::Inverse(double x, double y, double& lon, double& lat) const {
  return Run(false, x, y, lon, lat);
}

bool ProjOperation::Run(bool forward, double in_x, double in_y, double& out_x,
                        double& out_y) const {
  out_x = out_y = 0.0;
  if (!std::isfinite(in_x) || !std::isfinite(in_y)) return false;
  const PJ_DIRECTION dir = forward ? PJ_FWD : PJ_INV;
  // Operations made from a parameter list take and give angles in radians; the coordinate
  // system route works in degrees.
  if (proj_angular_input(op_, dir)) {
    in_x *= kRadPerDeg;
    in_y *= kRadPerDeg;
  }
  proj_errno_reset(op_);
  PJ_COORD c = proj_trans(op_, dir, proj_coord(in_x, in_y, 0.0, 0.0));
  if (proj_errno(op_) != 0 || !std::isfinite(c.xy.x) || !std::isfinite(c.xy.y)) return false;
  if (proj_angular_output(op_, dir)) {
    c.xy.x /= kRadPerDeg;
    c.xy.y /= kRadPerDeg;
  }
  out_x = c.xy.x;
  out_y = c.xy.y;
  return true;
}

}  // namespace vd::geo
