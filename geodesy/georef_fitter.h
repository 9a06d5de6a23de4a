#pragma once
// Least-squares fits of chart georeferences: from control points (calibration of a new chart,
// directly or through UTM) and from a pixel-to-position mapping sampled over a chart area
// (re-projected and merged charts). Residuals are in pixels: the largest distance between a
// point's pixel and the fitted forward polynomials at its position. Each fit tries growing
// term counts from 3 (affine) and keeps the best set; it stops at the first residual below
// one pixel. The output set is only written when a fit is kept.
#include <functional>

#include "geodesy/georef_polynomial.h"

// FitCalibrationPolynomial when no term count gave a fit.
inline constexpr double kNoCalibrationFit = 999;
// A term count whose least-squares system was singular.
inline constexpr double kSingularFitResidual = 1000;
// FitPolynomialFromMapping succeeds below this residual.
inline constexpr double kMappingFitLimit = 100;

// Fits all four polynomials to n control points (latitude, longitude, pixel x, pixel y).
// Term counts from 3 up to n - 1 (at least 3, at most 9) are tried. Returns the best residual, or
// kNoCalibrationFit (then `out` is unchanged).
double FitCalibrationPolynomial(const double lat[], const double lon[], const double px[],
                                const double py[], int n, GeorefPolynomial& out);

// Fits through UTM: the control points' UTM coordinates (zone of their mean longitude) are
// taken as affine in the pixel, and the set is fitted from that mapping over the area from
// pixel (0, 0) to the largest pixel x and y of the points. Returns FitPolynomialFromMapping's
// residual; infinity when n < 3, a value is not finite, a position is outside UTM's reach or
// the affine solve is singular.
double FitCalibrationViaUtm(const double lat[], const double lon[], const double px[],
                            const double py[], int n, GeorefPolynomial& out);

// lat/lon in degrees of pixel (x, y); false when the pixel has no position.
using PixelToLatLonMapping = std::function<bool(int x, int y, double& lat, double& lon)>;

// Fits the set to `mapping` sampled on a grid of about 18 x 18 pixels over a width x height
// area (every pixel for sides under 18), each sample moved by up to 16 pixels at random; the
// first 327 samples in row order are used. Samples whose mapping fails or gives no finite
// position are left out. Term counts 3 to 9 are tried. `residual` receives the best residual
// (kSingularFitResidual when none was kept, also for an empty area); true when it is below
// kMappingFitLimit. The jitter is the same on every call.
bool FitPolynomialFromMapping(GeorefPolynomial& out, int width, int height,
                              const PixelToLatLonMapping& mapping, double& residual);
