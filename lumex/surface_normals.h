#pragma once
// The lighting normal of the terrain at a position, from the elevation grid's samples.
//
// The result is in scene axes: x towards the west, y towards the north, z up, so that on a
// grid whose columns run east and rows run south a slope rising eastwards tilts the normal
// westwards (+x).
class CElevationFile;

// Writes the unit normal of the surface z = vertical_scale * height at (lat, lon) to
// `normal` and returns true. The slope is the bilinear blend of the central differences of
// the four samples around the position, so it reads the 4 x 4 samples from column and row
// floor - 1 to floor + 2. False with the upward normal (0, 0, 1) when no file is loaded, any
// of those samples is missing (also in the grid's outermost ring of cells), or the vertical
// scale is not a positive number (a flattened surface).
bool GetSurfaceNormal(const CElevationFile& elevation, double lat, double lon, float vertical_scale,
                      float normal[3]);
