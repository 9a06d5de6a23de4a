#pragma once
// The common part of the viewer's two terrain meshes (the chart square and the horizon ring):
// a grid of rows x columns points turned into one triangle strip of textured, lit vertices,
// kept in plain arrays that the GL view uploads and draws.
//
// Scene coordinates are metres around the mesh's centre: x = (centre longitude - longitude) x
// metres per degree of longitude (so x grows westwards), y = (latitude - centre latitude) x
// metres per degree of latitude (northwards), z = height x vertical scale (up). Heights the
// elevation file doesn't have are drawn at 0.
//
// Strip order: for each band of rows b and b + 1, even bands run from column 0 to the last
// column, each column giving (c, b) then (c, b + 1); odd bands run back from the last column,
// each giving (c, b + 1) then (c, b). That is (2 rows - 2) x columns vertices; the strip turns
// at the edges through two triangles of no area. Drawn from vertex 0 as vertex count - 2
// triangles, its first triangle (grid points (0, 0), (0, 1), (1, 0)) and, as a strip
// alternates, every other one with area turns counter-clockwise seen from above with north up
// and east to the right: the view sets its front-face winding from that. Texture coordinate
// (u, v) = (column / (columns - 1), row / (rows - 1)), so texture row 0 lies on grid row 0.
//
// Threads: a mesh is built (texture, then Fill) on one thread at a time, usually the terrain
// worker's, while the user-interface thread draws. The published vertices and the texture
// change only under MeshMutex(), which Draw also takes; the view holds it to present a frame.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "lumex/terrain_texture.h"

class CElevationFile;

struct TerrainVertex {
  float position[3];  // scene metres
  float normal[3];    // unit, scene axes
  float u;
  float v;
};
static_assert(sizeof(TerrainVertex) == 32, "the vertex buffer layout: position, normal, u, v");

// The one lock of every mesh of the process.
std::mutex& MeshMutex();

// A drawable mesh as Draw hands it over, valid while Draw's callback runs. The generations
// change (across all meshes) whenever the vertices or the texture are replaced, so a view can
// keep its uploaded copies until they do.
struct MeshDrawData {
  const std::vector<TerrainVertex>& vertices;
  const TerrainTexture& texture;
  uint64_t vertex_generation;
  uint64_t texture_generation;
  int first_vertex;    // of the triangle strip
  int triangle_count;  // vertex count - 2
};

class CMapSurface {
 public:
  // A grid of fewer than two rows or columns has no vertices and never draws.
  CMapSurface(int rows, int columns);
  virtual ~CMapSurface();
  CMapSurface(const CMapSurface&) = delete;
  CMapSurface& operator=(const CMapSurface&) = delete;

  // Position and normal of grid point (column, row); false when the normal is the upward
  // stand-in (no height data there).
  virtual bool GetVertex(int column, int row, float position[3], float normal[3]) = 0;

  // Computes every vertex with heights from `elevation` (null or not loaded: all heights 0,
  // normals up) drawn vertical_scale times, then publishes them under the mesh mutex and marks
  // the mesh filled. Does nothing while the mesh has no texture. The elevation file must stay
  // open while Fill runs.
  void Fill(const CElevationFile* elevation, float vertical_scale);
  // Calls `draw` under the mesh mutex when the mesh has a texture and is filled; false (not
  // called) otherwise. Must not be called with the mesh mutex held.
  bool Draw(const std::function<void(const MeshDrawData&)>& draw) const;
  // Marks the mesh not filled (it draws nothing until the next Fill).
  void ClearFilled();

  bool IsFilled() const;    // takes the mesh mutex
  bool HasTexture() const;  // takes the mesh mutex
  int rows() const { return rows_; }
  int columns() const { return columns_; }
  int vertex_count() const { return vertex_count_; }

 protected:
  // Replaces the texture (null: none) under the mesh mutex.
  void SetTexture(std::unique_ptr<TerrainTexture> texture);

  // The scene's centre and its metres per degree.
  void SetCentre(double lat, double lon);
  void LatLonToScene(double lat, double lon, float& x, float& y) const;
  void SceneToLatLon(float x, float y, double& lat, double& lon) const;
  // z (vertical scale x the height, 0 without data, plus z_offset) and normal at a position,
  // from the elevation file and scale of the current Fill; false with the upward normal.
  bool SurfaceAt(double lat, double lon, float z_offset, float& z, float normal[3]) const;

  double centre_lat_ = 0;
  double centre_lon_ = 0;
  float metres_per_degree_lat_ = 0;
  float metres_per_degree_lon_ = 0;

 private:
  const int rows_;
  const int columns_;
  const int vertex_count_;
  const CElevationFile* elevation_ = nullptr;  // during Fill
  float vertical_scale_ = 1;                   // during Fill
  // Guarded by MeshMutex().
  std::unique_ptr<TerrainTexture> texture_;
  std::vector<TerrainVertex> vertices_;
  bool filled_ = false;
  uint64_t vertex_generation_ = 0;
  uint64_t texture_generation_ = 0;
};
