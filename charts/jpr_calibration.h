#pragma once
// Calibration side files of converted images: "<image>.jpr", key=value lines giving reference
// points ("rpN" = lat, lon, pixel x, pixel y), the projection ("pr"), a boundary ("vpN" = pixel
// x, y), the datum ("dm", a name or "Molodensky (a, b, dx, dy, dz, name)") and a datum shift in
// degrees ("st" latitude, "sn" longitude).
#include <string>

// Writes the calibration of the image's ".jpr" into the chart file converted from it: the
// georeference fitted to the reference points (kept only when its residual is below 10 pixels),
// the boundary as the outline, the datum name and its shift. False, the chart unchanged, when
// there is no ".jpr", the chart can't be read or written, or it is no chart file.
bool QctApplyJprCalibration(const std::string& image_path, const std::string& chart_path);
