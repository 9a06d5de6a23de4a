#include "geodesy/projection.h"

#include <cmath>

#include "core/path_utils.h"
#include "geodesy/nad27_shift.h"
#include "geodesy/proj_adapter.h"
#include "geodesy/utm_grid_formatter.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr size_t kMaxProjFileBytes = 4092;
constexpr size_t kMaxPrjFileBytes = 10000;
// Deeper brackets than any real file has end the parse, so hostile text cannot exhaust the
// stack.
constexpr int kMaxWktDepth = 32;

// Limits that keep absurd numbers from a file away from PROJ.
constexpr double kMaxFalseOrigin = 1e8;  // metres
constexpr double kMinUnit = 1e-6, kMaxUnit = 1e6;  // metres per unit
constexpr double kMaxScale = 10.0;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void SkipBlanks(std::string_view text, size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

WktNode ErrorNode(std::string text) {
  WktNode node;
  node.text = std::move(text);
  return node;
}

WktNode ParseNode(std::string_view text, size_t& pos, int depth) {
  SkipBlanks(text, pos);
  WktNode node;
  if (depth > kMaxWktDepth) {
    pos = text.size();
    return ErrorNode("Too deeply nested");
  }
  if (pos < text.size() && text[pos] == '"') {
    size_t end = text.find('"', pos + 1);
    if (end == std::string_view::npos) {
      pos = text.size();
      return ErrorNode("Unbalanced quote");
    }
    node.kind = WktNode::kString;
    node.text = text.substr(pos + 1, end - pos - 1);
    pos = end + 1;
  } else if (pos < text.size() && (IsDigit(text[pos]) || text[pos] == '.' || text[pos] == '-')) {
    size_t start = pos;
    while (pos < text.size()) {
      char c = text[pos];
      bool exponent_sign = c == '+' && (text[pos - 1] == 'E' || text[pos - 1] == 'e');
      if (!IsDigit(c) && c != '-' && c != '.' && c != 'E' && c != 'e' && !exponent_sign) break;
      ++pos;
    }
    std::string_view number = text.substr(start, pos - start);
    size_t used = 0;
    if (!vd::os::ParseDouble(number, node.value, &used) || used != number.size() ||
        !std::isfinite(node.value)) {
      return ErrorNode("Bad number");
    }
    node.kind = WktNode::kNumber;
    node.text = number;
  } else {
    size_t start = pos;
    while (pos < text.size() && IsAlnum(text[pos])) ++pos;
    node.text = text.substr(start, pos - start);
    SkipBlanks(text, pos);
    if (pos < text.size() && text[pos] == '[') {
      node.kind = WktNode::kList;
      ++pos;
      while (true) {
        node.children.push_back(ParseNode(text, pos, depth + 1));
        if (pos < text.size() && text[pos] == ',') {
          ++pos;
        } else {
          break;
        }
      }
      if (pos < text.size() && text[pos] == ']') {
        ++pos;
      } else {
        node.text += " (no closing bracket)";
      }
    }
  }
  SkipBlanks(text, pos);
  return node;
}

// At most max_bytes of the file; false when it cannot be read.
bool ReadFileStart(const std::string& path, size_t max_bytes, std::string& text) {
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read)) return false;
  text.resize(max_bytes);
  int64_t got = file.Read(text.data(), max_bytes);
  if (got < 0) return false;
  text.resize(static_cast<size_t>(got));
  return true;
}

// "lat_0=12.5000000000dS": the absolute value with its hemisphere letter.
std::string AngleArgument(const char* key, double degrees, char positive, char negative) {
  return vd::os::FormatC("%s=%.10fd%c", key, std::fabs(degrees), degrees >= 0 ? positive : negative);
}

}  // namespace

const WktNode* WktNode::Child(std::string_view name) const {
  for (const WktNode& child : children) {
    if (vd::os::NamesEqualNoCase(child.text, name)) return &child;
  }
  return nullptr;
}

const WktNode* WktNode::Find(std::string_view name) const {
  if (vd::os::NamesEqualNoCase(text, name)) return this;
  for (const WktNode& child : children) {
    if (const WktNode* found = child.Find(name)) return found;
  }
  return nullptr;
}

const std::string* WktNode::String() const {
  if (children.empty() || children[0].kind != kString) return nullptr;
  return &children[0].text;
}

bool WktNode::Parameter(std::string_view name, double& value) const {
  for (const WktNode& child : children) {
    const std::string* key = child.String();
    if (key && vd::os::NamesEqualNoCase(child.text, "PARAMETER") &&
        vd::os::NamesEqualNoCase(*key, name) && child.children.size() >= 2 &&
        child.children[1].kind == kNumber) {
      value = child.children[1].value;
      return true;
    }
  }
  return false;
}

WktNode ParseWkt(std::string_view text, size_t& pos) { return ParseNode(text, pos, 0); }

CProjection::CProjection() = default;
CProjection::~CProjection() = default;

bool CProjection::SetLatLong() {
  target_.reset();
  grid_.reset();
  return true;
}

bool CProjection::SetOsgbGrid() {
  target_.reset();
  grid_ = std::make_unique<OSGB_National_Grid>();
  return true;
}

bool CProjection::SetDatumName(const std::string& name) {
  nad27_ = name.find("27") != std::string::npos;
  return true;
}

bool CProjection::SetUtmZone(int zone) {
  return SetTarget({"proj=utm", nad27_ ? "ellps=clrk66" : "ellps=GRS80",
                    vd::os::FormatC("zone=%d", zone), "to_meter=1.0"});
}

bool CProjection::SetFromProjString(const std::string& text) {
  return SetTarget(vd::geo::SplitProjArguments(text));
}

bool CProjection::LoadProjFile(const std::string& path) {
  std::string text;
  if (!ReadFileStart(path, kMaxProjFileBytes, text)) return false;
  return SetFromProjString(text);
}

bool CProjection::LoadPrj(const std::string& path) {
  std::string text;
  if (!ReadFileStart(ReplaceFileExtension(path, ".prj"), kMaxPrjFileBytes, text)) return false;
  size_t pos = 0;
  const WktNode root = ParseWkt(text, pos);

  const WktNode* projection_node = root.Child("PROJECTION");
  const std::string* projection = projection_node ? projection_node->String() : nullptr;
  if (!projection) return vd::os::NamesEqualNoCase(root.text, "GEOGCS") && SetLatLong();

  const WktNode* spheroid = root.Find("SPHEROID");
  const std::string* spheroid_name = spheroid ? spheroid->String() : nullptr;
  const bool clarke66 = spheroid_name && spheroid_name->find("66") != std::string::npos;

  // The false easting and northing are in the system's linear unit; PROJ wants them in
  // metres, and to_meter makes it give and take coordinates in that unit.
  double unit = 1.0;
  if (const WktNode* unit_node = root.Child("UNIT")) {
    if (unit_node->children.size() < 2 || unit_node->children[1].kind != WktNode::kNumber)
      return false;
    unit = unit_node->children[1].value;
    if (!(unit >= kMinUnit && unit <= kMaxUnit)) return false;
  }

  auto latitude = [&](std::string_view name, double& v) {
    return root.Parameter(name, v) && std::fabs(v) <= 90.0;
  };
  auto longitude = [&](std::string_view name, double& v) {
    return root.Parameter(name, v) && std::fabs(v) <= 360.0;
  };
  auto false_origin = [&](std::string_view name, double& v) {
    if (!root.Parameter(name, v)) return false;
    v *= unit;
    return std::fabs(v) <= kMaxFalseOrigin;
  };

  double false_easting, false_northing, central_meridian;
  if (!false_origin("False_Easting", false_easting) ||
      !false_origin("False_Northing", false_northing) ||
      !longitude("Central_Meridian", central_meridian)) {
    return false;
  }
  std::vector<std::string> args;
  if (vd::os::NamesEqualNoCase(*projection, "Albers")) {
    double lat_1, lat_2, lat_0 = 0.0;
    if (!latitude("Standard_Parallel_1", lat_1) || !latitude("Standard_Parallel_2", lat_2))
      return false;
    if (root.Parameter("Central_Parallel", lat_0) || root.Parameter("Latitude_Of_Origin", lat_0)) {
      if (!(std::fabs(lat_0) <= 90.0)) return false;
    }
    args = {"proj=aea", "", AngleArgument("lat_1", lat_1, 'N', 'S'),
            AngleArgument("lat_2", lat_2, 'N', 'S'), AngleArgument("lat_0", lat_0, 'N', 'S'),
            AngleArgument("lon_0", central_meridian, 'E', 'W')};
  } else if (vd::os::NamesEqualNoCase(*projection, "Transverse_Mercator")) {
    double scale, lat_0;
    if (!root.Parameter("Scale_Factor", scale) || !(scale > 0.0 && scale <= kMaxScale) ||
        !latitude("Latitude_Of_Origin", lat_0)) {
      return false;
    }
    args = {"proj=tmerc", "", AngleArgument("lat_0", lat_0, 'N', 'S'),
            AngleArgument("lon_0", central_meridian, 'E', 'W'),
            vd::os::FormatC("k_0=%.10f", scale)};
  } else {
    return false;
  }
  args[1] = clarke66 ? "ellps=clrk66" : "ellps=GRS80";
  args.push_back(vd::os::FormatC("x_0=%f", false_easting));
  args.push_back(vd::os::FormatC("y_0=%f", false_northing));
  if (unit != 1.0) args.push_back(vd::os::FormatC("to_meter=%.17g", unit));
  return SetTarget(args);
}

bool CProjection::SetTarget(const std::vector<std::string>& args) {
  grid_.reset();
  target_ = vd::geo::ProjOperation::CreateProjection(args);
  return target_ != nullptr;
}

bool CProjection::Forward(double lat, double lon, double& x, double& y) const {
  x = y = 0.0;
  if (!std::isfinite(lat) || !std::isfinite(lon)) return false;
  if (grid_) return grid_->LatLonToGrid(lat, lon, x, y);
  double dlat, dlon;
  if (nad27_ && GetNad27Shift(lat, lon, dlat, dlon)) {
    lat -= dlat;
    lon -= dlon;
  }
  if (target_) return target_->Forward(lon, lat, x, y);
  x = lon;
  y = lat;
  return true;
}

bool CProjection::Inverse(double x, double y, double& lat, double& lon) const {
  lat = lon = 0.0;
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  if (grid_) return grid_->GridToLatLon(x, y, lat, lon);
  if (target_) {
    if (!target_->Inverse(x, y, lon, lat)) return false;
  } else {
    lat = y;
    lon = x;
  }
  double dlat, dlon;
  if (nad27_ && GetNad27Shift(lat, lon, dlat, dlon)) {
    lat += dlat;
    lon += dlon;
  }
  return true;
}
