#include "lumex/map_surface.h"

#include <atomic>

#include "charts/elevation_file.h"
#include "geodesy/degree_length.h"
#include "lumex/surface_normals.h"

namespace {

uint64_t NextGeneration() {
  static std::atomic<uint64_t> counter{0};
  return ++counter;
}

int StripVertexCount(int rows, int columns) {
  return rows >= 2 && columns >= 2 ? (2 * rows - 2) * columns : 0;
}

}  // namespace

std::mutex& MeshMutex() {
  static std::mutex mutex;
  return mutex;
}

CMapSurface::CMapSurface(int rows, int columns)
    : rows_(rows), columns_(columns), vertex_count_(StripVertexCount(rows, columns)) {}

CMapSurface::~CMapSurface() = default;

void CMapSurface::Fill(const CElevationFile* elevation, float vertical_scale) {
  if (vertex_count_ == 0 || !HasTexture()) return;
  elevation_ = elevation;
  vertical_scale_ = vertical_scale;
  std::vector<TerrainVertex> vertices(static_cast<size_t>(vertex_count_));
  const float u_step = 1.0f / static_cast<float>(columns_ - 1);
  const float v_step = 1.0f / static_cast<float>(rows_ - 1);
  auto add = [&](TerrainVertex*& out, int column, int row) {
    GetVertex(column, row, out->position, out->normal);
    out->u = static_cast<float>(column) * u_step;
    out->v = static_cast<float>(row) * v_step;
    ++out;
  };
  TerrainVertex* out = vertices.data();
  for (int band = 0; band + 1 < rows_; ++band) {
    const bool forward = band % 2 == 0;
    for (int k = 0; k < columns_; ++k) {
      if (forward) {
        add(out, k, band);
        add(out, k, band + 1);
      } else {
        add(out, columns_ - 1 - k, band + 1);
        add(out, columns_ - 1 - k, band);
      }
    }
  }
  elevation_ = nullptr;
  std::lock_guard lock(MeshMutex());
  vertices_.swap(vertices);
  vertex_generation_ = NextGeneration();
  filled_ = true;
}

bool CMapSurface::Draw(const std::function<void(const MeshDrawData&)>& draw) const {
  std::lock_guard lock(MeshMutex());
  if (!texture_ || !filled_) return false;
  draw(MeshDrawData{vertices_, *texture_, vertex_generation_, texture_generation_, 0,
                    vertex_count_ - 2});
  return true;
}

void CMapSurface::ClearFilled() {
  std::lock_guard lock(MeshMutex());
  filled_ = false;
}

bool CMapSurface::IsFilled() const {
  std::lock_guard lock(MeshMutex());
  return filled_;
}

bool CMapSurface::HasTexture() const {
  std::lock_guard lock(MeshMutex());
  return texture_ != nullptr;
}

void CMapSurface::SetTexture(std::unique_ptr<TerrainTexture> texture) {
  std::lock_guard lock(MeshMutex());
  texture_ = std::move(texture);
  texture_generation_ = NextGeneration();
}

void CMapSurface::SetCentre(double lat, double lon) {
  centre_lat_ = lat;
  centre_lon_ = lon;
  metres_per_degree_lat_ = static_cast<float>(LatDegreeLength(lat) * kMetresPerNauticalMile);
  metres_per_degree_lon_ = static_cast<float>(LonDegreeLength(lat) * kMetresPerNauticalMile);
}

void CMapSurface::LatLonToScene(double lat, double lon, float& x, float& y) const {
  x = static_cast<float>((centre_lon_ - lon) * metres_per_degree_lon_);
  y = static_cast<float>((lat - centre_lat_) * metres_per_degree_lat_);
}

void CMapSurface::SceneToLatLon(float x, float y, double& lat, double& lon) const {
  lat = centre_lat_ + y / metres_per_degree_lat_;
  lon = centre_lon_ - x / metres_per_degree_lon_;
}

bool CMapSurface::SurfaceAt(double lat, double lon, float z_offset, float& z,
                            float normal[3]) const {
  float height = 0;
  if (elevation_ != nullptr) {
    height = elevation_->GetHeight(lat, lon);
    if (height >= static_cast<float>(kNoElevation)) height = 0;
  }
  z = vertical_scale_ * height + z_offset;
  if (elevation_ == nullptr) {
    normal[0] = 0.0f;
    normal[1] = 0.0f;
    normal[2] = 1.0f;
    return false;
  }
  return GetSurfaceNormal(*elevation_, lat, lon, vertical_scale_, normal);
}
