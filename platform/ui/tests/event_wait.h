#pragma once
// Runs the UI thread's event loop until a condition holds or a generous deadline passes.
#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>

namespace vd::test {

inline bool RunEventsUntil(const std::function<bool()>& done,
                           std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

}  // namespace vd::test
