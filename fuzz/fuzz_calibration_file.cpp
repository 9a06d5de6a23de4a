// Fuzz target: calibration files (key=value lines). The same text is read as the chart
// calibration's reference points (then checked and fitted both ways) and as an image's ".jpr"
// written into a copy of a small chart file (fit, boundary, datum and shift).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "charts/jpr_calibration.h"
#include "corvex/chart_calibration.h"
#include "fuzz/fuzz_support.h"
#include "platform/os/files.h"

namespace {
std::string g_chart;  // the chart the calibration is written into, fresh for every input
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  if (!vd::os::ReadWholeFile(VD_SOURCE_DIR "/fuzz/corpus/fuzz_qct_header/chart", g_chart)) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("image.jpr", data, size);
  std::vector<CalibrationPoint> points;
  std::string error;
  if (ReadCalibrationPoints(path, points, error) && CheckCalibrationPoints(points, error)) {
    GeorefPolynomial georef;
    (void)FitCalibration(points, false, georef);
    (void)FitCalibration(points, true, georef);
  }
  const std::string chart = vd::fuzz::WriteInput("chart.qct", g_chart);
  (void)QctApplyJprCalibration(vd::fuzz::Folder() + "/image.png", chart);
  return 0;
}
