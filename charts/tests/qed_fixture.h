#pragma once
// Small QED elevation files written byte by byte for tests. The grid is north-up: sample
// (x, y) lies at latitude north - y * cell_degrees, longitude west + x * cell_degrees, so a
// test can ask for the height at any grid position through QedSamplePosition.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "charts/elevation_file.h"
#include "platform/os/files.h"

namespace vd::test {

struct QedFixture {
  int tile_size = 4;  // n
  int rows = 2;       // tile rows
  int columns = 3;    // tile columns
  int32_t version = 0;
  double north = 50.0;
  double west = -3.0;
  double cell_degrees = 0.01;
  // Height of sample (x, y); the default makes every sample distinct.
  std::function<int(int x, int y)> height = [](int x, int y) { return 100 + 7 * x + 3 * y; };
  // Tiles (row * columns + column) written as absent.
  std::vector<int> absent_tiles;
};

// Forward and inverse polynomials of the fixture's north-up grid.
inline GeorefPolynomial QedFixtureGeoref(const QedFixture& f) {
  GeorefPolynomial g;
  g.forward.first[0] = -f.west / f.cell_degrees;  // x from (lat, lon)
  g.forward.first[2] = 1 / f.cell_degrees;
  g.forward.second[0] = f.north / f.cell_degrees;  // y
  g.forward.second[1] = -1 / f.cell_degrees;
  g.inverse.first[0] = f.north;  // lat from (x, y)
  g.inverse.first[2] = -f.cell_degrees;
  g.inverse.second[0] = f.west;  // lon
  g.inverse.second[1] = f.cell_degrees;
  return g;
}

inline GeoPoint QedSamplePosition(const QedFixture& f, double x, double y) {
  return {f.north - y * f.cell_degrees, f.west + x * f.cell_degrees};
}

// One tile: the smallest width that holds every sample above the tile's lowest one.
inline std::string MakeQedTile(const QedFixture& f, int tile_column, int tile_row) {
  const int n = f.tile_size;
  std::vector<int> samples;
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) samples.push_back(f.height(tile_column * n + c, tile_row * n + r));
  }
  const int base = *std::min_element(samples.begin(), samples.end());
  const int span = *std::max_element(samples.begin(), samples.end()) - base;
  int bits = 0;
  while ((1 << bits) <= span) ++bits;
  std::string tile(3 + (bits * n * n + 7) / 8, '\0');
  tile[0] = static_cast<char>(bits);
  const int16_t base16 = static_cast<int16_t>(base);
  std::memcpy(tile.data() + 1, &base16, 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    const uint32_t field = static_cast<uint32_t>(samples[i] - base);
    for (int b = 0; b < bits; ++b) {
      if (field & (1u << b)) {
        const size_t bit = i * bits + b;
        tile[3 + bit / 8] = static_cast<char>(tile[3 + bit / 8] | (1 << (bit % 8)));
      }
    }
  }
  return tile;
}

// The whole file: header, offset table, then the present tiles in table order.
inline std::string MakeQedBytes(const QedFixture& f) {
  QedHeader header;
  header.version = f.version;
  header.tile_size = f.tile_size;
  header.rows = f.rows;
  header.columns = f.columns;
  header.georef = QedFixtureGeoref(f);
  std::string bytes(reinterpret_cast<const char*>(&header), kQedHeaderSize);
  const size_t tiles = static_cast<size_t>(f.rows) * f.columns;
  bytes.resize(kQedHeaderSize + 4 * tiles);
  for (size_t t = 0; t < tiles; ++t) {
    if (std::find(f.absent_tiles.begin(), f.absent_tiles.end(), int(t)) != f.absent_tiles.end()) {
      continue;
    }
    const uint32_t offset = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data() + kQedHeaderSize + 4 * t, &offset, 4);
    bytes += MakeQedTile(f, int(t % f.columns), int(t / f.columns));
  }
  return bytes;
}

inline bool WriteQedFile(const std::string& path, const QedFixture& f) {
  return vd::os::SaveFileAtomically(path, MakeQedBytes(f));
}

}  // namespace vd::test
