#pragma once
// The terrain square: an n x n grid laid over a square of the chart around the scene centre,
// draped with that square of the chart as the chart program renders it into a texture file
// (chart pixels, and the overlays drawn on them).
#include <functional>
#include <string>

#include "geodesy/chart_view_georef.h"
#include "lumex/map_surface.h"
#include "lumex/terrain_texture.h"

class COldQuickChart;

// What the chart program is asked to render: width x height texture pixels whose top-left
// corner is chart pixel (x, y), each the average of 2^zoom_shift x 2^zoom_shift chart pixels,
// written as a DDS file to texture_path.
struct SquareTextureRequest {
  std::string chart_path;
  int x = 0;
  int y = 0;
  int zoom_shift = 0;
  int width = 0;
  int height = 0;
  std::string texture_path;
};

// Renders a square's texture file; true when the file has been written.
using SquareTextureRenderer = std::function<bool(const SquareTextureRequest& request)>;

class CMapSquare : public CMapSurface {
 public:
  // `render_texture` produces the texture file at `texture_path` ("MapSquare.dds" in the shared
  // temporary folder).
  CMapSquare(int n, SquareTextureRenderer render_texture, std::string texture_path);

  // Centres the square on (centre_lat, centre_lon) on the chart: texture_size << zoom_shift
  // chart pixels a side (>> -zoom_shift below 0), the centre's chart pixel in its middle, and
  // asks for its texture. Without a texture file (the request failed, the file is not a
  // readable DDS image, or texture_size is not 1..kMaxTerrainTextureSide) the square has no
  // texture and draws nothing. Returns the square's
  // radius: the smallest distance in scene metres from the centre to a grid point on its edge.
  float LoadTexture(const COldQuickChart& chart, int texture_size, int zoom_shift,
                    double centre_lat, double centre_lon);

  // Grid point (column, row) lies on chart pixel (x0 + column x cell, y0 + row x cell); z is
  // the exaggerated height plus half a metre, so the square covers the ring where they meet.
  bool GetVertex(int column, int row, float position[3], float normal[3]) override;

  // How the texture file is read: ReadDdsTexture unless replaced.
  using TextureReader = std::function<bool(const std::string& path, TerrainTexture& out)>;
  void SetTextureReader(TextureReader reader) { read_texture_ = std::move(reader); }

  int x0() const { return x0_; }
  int y0() const { return y0_; }
  float cell() const { return cell_; }  // chart pixels per grid step

 private:
  // Latitude/longitude of grid point (column, row), datum shift included.
  void GridToLatLon(int column, int row, double& lat, double& lon) const;

  SquareTextureRenderer render_texture_;
  TextureReader read_texture_ = ReadDdsTexture;
  std::string texture_path_;
  ChartViewGeoref georef_;  // the chart's, kept for fills after the chart has been closed
  int x0_ = 0;
  int y0_ = 0;
  float cell_ = 0;
};
