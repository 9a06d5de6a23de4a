#pragma once
// The NAD27 datum shift, from the grids "conus", "canada", "alaska" and "hawaii" that the user
// places in the PROJ data folders (vd::geo::ProjDataFolders). Each grid is loaded once, on
// first need, and kept for the whole run; a grid that is missing is looked for again only when
// those folders change. Safe to call from any thread.

// (dlat, dlon) in degrees that take a NAD27 position to NAD83 (taken as WGS84), evaluated at
// (lat, lon): NAD27 = position - shift, position = NAD27 + shift. False, with both 0, when no
// grid covers the point or the input is not finite.
bool GetNad27Shift(double lat, double lon, double& dlat, double& dlon);
