#pragma once
// What the chart readers ask of the program around them: message boxes, the magnetic-variation
// update, and the conversion of an original chart kept in another format. The readers have no
// user interface of their own; the program installs these at start-up (the chart UI library
// provides the message boxes). A service that is not installed is skipped: no message is shown,
// a Retry/Cancel question counts as Cancel, no variation update happens and a conversion fails.
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
  // Converts a chart file of another format into a chart file of a place of the converter's
  // choosing — never over the file being opened — and gives its path in `converted`. Returns 0
  // on success, else the converter's nonzero code.
  std::function<int(const std::string& source, std::string& converted)> convert;
};

// Replaces the installed services (any thread; readers take a copy when they need one).
void SetChartReaderServices(ChartReaderServices services);
ChartReaderServices GetChartReaderServices();
