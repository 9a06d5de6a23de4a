#pragma once
// What the chart readers ask of the program around them: message boxes, the magnetic-variation
// update, and the conversion of an original chart kept in another format. The readers have no
// user interface of their own; the program installs these at start-up (the chart UI library
// provides the message boxes). A service that is not installed is skipped: no message is shown,
// a Retry/Cancel question counts as Cancel, no variation update happens and a conversion fails.
// (A chart original needs no conversion: the reader copies it itself.)
#include <cstdint>
#include <functional>
#include <string>

struct ChartReaderServices {
  // An error message box with an OK button.
  std::function<void(const std::string& text)> show_error;
  // An error message box with Retry and Cancel buttons; true for Retry.
  std::function<bool(const std::string& text)> ask_retry;
  // The chart's centre position (degrees) and the current time (seconds since 1970) for the
  // magnetic variation of the program's bearings.
  std::function<void(double lat, double lon, int64_t seconds_1970)> update_magnetic_variation;
  // Converts a map file of another format into a chart file at `target` (the reference file
  // that names it as its original), replacing what is there only once the conversion has
  // succeeded. Returns 0 on success, else the converter's nonzero code.
  std::function<int(const std::string& source, const std::string& target)> convert;
};

// Replaces the installed services (any thread; readers take a copy when they need one).
void SetChartReaderServices(ChartReaderServices services);
ChartReaderServices GetChartReaderServices();
