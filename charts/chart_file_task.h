#pragma once
// What the chart-file writers (area extraction, merge) ask of the program around them while they
// work: error messages, OK/Cancel warnings and a progress display that can cancel. The writers
// have no user interface of their own; a program passes these in (the chart UI library adapts its
// progress dialog and message boxes). A member left empty is skipped: errors go to the installed
// chart reader services, a warning counts as OK and progress is not shown.
#include <functional>
#include <string>

struct ChartFileTask {
  std::function<void(const std::string& text)> show_error;
  // A warning with OK and Cancel; true for OK.
  std::function<bool(const std::string& text)> confirm;
  // Called with done = 0 when work of `total` steps titled `text` starts, then after each step;
  // false cancels the work.
  std::function<bool(const std::string& text, int done, int total)> progress;

  void Error(const std::string& text) const;
  bool Confirm(const std::string& text) const { return !confirm || confirm(text); }
  bool Progress(const std::string& text, int done, int total) const {
    return !progress || progress(text, done, total);
  }
};
