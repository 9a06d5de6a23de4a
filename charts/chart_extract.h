#pragma once
// Area extraction: a new chart file that keeps only the tiles (tiled charts) or chunks
// (chunk-store charts) touching a polygon of chart pixels. COldQuickChart::ExtractArea runs it;
// this header gives the range rule it shares with the area-size estimate.
#include <optional>
#include <span>

#include "geodesy/plane_geometry.h"

// Inclusive square columns and rows of a polygon's bounding box.
struct SquareRange {
  int first_col = 0;
  int first_row = 0;
  int last_col = 0;
  int last_row = 0;
};

// The squares of `side` pixels (64 for tiles, 1024 for chunks) under the bounding box of a
// polygon of chart pixels, clamped to `cols` x `rows` squares. Coordinates are truncated to int
// (values outside int32 count as INT_MIN) and divided truncating toward zero, so a box ending
// between -side and 0 still reaches square 0. nullopt when the range is empty.
std::optional<SquareRange> PolygonSquareRange(std::span<const PlanePoint> polygon, int side,
                                              int cols, int rows);
