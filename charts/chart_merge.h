#pragma once
// Chart merge: several tiled charts of similar scale joined into one new chart file drawn in the
// pixel frame of one base chart. The base is rendered, the other charts are resampled into its
// frame inside their outlines (the later one winning where they overlap), the colours of all of
// them are reduced to one palette of at most 128 entries with a new blend table, and the result
// is written as tiles. COldQuickChart::Merge runs it on the base chart.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "charts/chart_file_task.h"
#include "charts/quick_chart_header.h"
#include "geodesy/geo_point.h"
#include "geodesy/plane_geometry.h"

class COldQuickChart;

// What the merge command knows of a selected chart.
struct MergeOutline {
  std::string path;
  GeoPoint centre;        // of the outline
  uint32_t flags = 0;     // the chart header's flags (kQctFlagMerged: an earlier merge)
  double scale_nm = 0;    // nautical miles per pixel at the centre
};

// Picks the base (an earlier merge, else the chart nearest the mean centre) and the charts of
// compatible scale (0.5001 to 1.9999 times the base's), and merges them in the order given.
// "No compatible maps selected\n" when there are none.
bool MergeChartOutlines(const std::string& output, std::span<const MergeOutline> outlines,
                        bool antialias, const std::string* name, const ChartFileTask& task = {});

// A chart merged into the base.
struct MergeSource {
  std::string path;
  QuickChartHeader header;
  QuickChartExtension extension;
  std::string depth_units;
  std::string map_type;
  // Outline points (x = latitude, y = longitude) with the datum shift added, longitudes within
  // 180 degrees of the centre's; the chart's rectangle when it has no outline.
  std::vector<PlanePoint> outline;
  // Flag kQctFlagOwnOutline: the outline in the chart's own pixels, tested there.
  bool pixel_mode = false;
  std::vector<PlanePoint> pixel_outline;
  double centre_lon = 0;
  QctDatumShift shift;
  std::unique_ptr<COldQuickChart> chart;  // opened while it takes part
  std::array<uint8_t, 128> colour_map{};  // its colour indices in the merged palette

  MergeSource();
  ~MergeSource();
  MergeSource(MergeSource&&) noexcept;
  MergeSource& operator=(MergeSource&&) noexcept;
  // Whether the WGS84 position (lat, lon) lies inside the outline.
  bool Contains(double lat, double lon) const;
};

// Reads a merge source; false (after its message) when it is no tiled chart of version 0 to 5.
bool MergeSourceLoad(const std::string& path, MergeSource& source, const ChartFileTask& task);

// Reduces `count` colours (0x00RRGGBB) to a palette of at most `maximum` (and 256) entries
// starting with black and white; the heaviest colours come first when weights are given, then
// the colour farthest from the palette until none is left. map[i] receives colour i's entry. The
// palette replaces the colours (zero-filled to count); returns its size.
int ReducePalette(uint32_t* colours, int count, uint8_t* map, int maximum,
                  const uint32_t* weights);
// Fills the 128 x 128 blend table for a palette of 128 entries (0x00RRGGBB): T[a * 128 + b] is
// the entry nearest the even mix of a and b; a mix far from every entry is added to the
// palette while there is room.
void BuildBlendTable(std::span<uint32_t, 128> palette, std::span<uint8_t, kQctBlendTableSize> table);
// Maps the quad of source pixels quad[0] top-left, [1] top-right, [2] bottom-left, [3]
// bottom-right onto a width x height output block, each pixel through colour_map and, when a
// blend table is given, blended with its neighbours by how near the sample lies to them. Source
// pixels are read within source_width x source_height only.
void ResampleQuad(uint8_t* out, int width, int height, ptrdiff_t out_stride, const uint8_t* source,
                  int source_width, int source_height, ptrdiff_t source_stride,
                  const std::array<PlanePoint, 4>& quad, const uint8_t* colour_map,
                  const uint8_t* blend_table);
// Adds to counts[v] the colour of the first pixel of every tile of rows and columns 1 on.
void TileColourHistogram(COldQuickChart& chart, std::span<uint32_t, 128> counts);
