#pragma once
// Test support for the GPS inputs: a reader clock whose waits return at once, a window that
// collects the notices an input posts, and NMEA sentences with their checksums.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "app/gps_position_info.h"
#include "gps/gps_notice.h"
#include "gps/gps_reader_clock.h"
#include "platform/os/message_queue.h"

namespace vd::test {

// Waits advance a counter instead of passing time. The reader's short wait after a read that
// delivered nothing is counted, so a test can tell when the reader is polling an open port.
class InstantClock : public GpsReaderClock {
 public:
  static constexpr int kIdlePollMs = 50;

  uint64_t NowMs() override { return now_ms_.load(); }
  int64_t NowSeconds1970() override { return wall_seconds_.load(); }
  bool Sleep(int ms, const std::stop_token& stop) override {
    if (stop.stop_requested()) return false;
    now_ms_ += static_cast<uint64_t>(ms);
    if (ms == kIdlePollMs) {
      std::lock_guard lock(mutex_);
      ++idle_polls_;
      polled_.notify_all();
    }
    return true;
  }

  void set_wall_seconds(int64_t t) { wall_seconds_ = t; }
  // True once the reader has found nothing to read on its open port.
  bool WaitForIdlePoll(int timeout_ms = 60000) {
    std::unique_lock lock(mutex_);
    return polled_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [this] { return idle_polls_ > 0; });
  }

 private:
  std::atomic<uint64_t> now_ms_{0};
  std::atomic<int64_t> wall_seconds_{1711843200};  // 2024-03-31 00:00:00 UTC
  std::mutex mutex_;
  std::condition_variable polled_;
  int idle_polls_ = 0;
};

struct ReceivedNotice {
  uintptr_t code;
  GPS_position_info record;
};

// A window on the test's thread that keeps every GPS notice posted to it. Destroy the inputs
// that post to it first.
class NoticeWindow {
 public:
  NoticeWindow()
      : window_([this](const vd::os::Message& m) -> intptr_t {
          if (const auto* record = GpsNoticeRecord(m)) notices_.push_back({m.wparam, *record});
          return 0;
        }) {}

  vd::os::MessageWindow& window() { return window_; }
  const std::vector<ReceivedNotice>& notices() const { return notices_; }

  // Handles messages until done() holds; false when it does not within timeout_ms.
  bool DispatchUntil(const std::function<bool()>& done, int timeout_ms = 60000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      window_.WaitAndDispatch(100);
    }
    return true;
  }
  bool DispatchUntilCode(uintptr_t code, int timeout_ms = 60000) {
    return DispatchUntil([&] { return Count(code) > 0; }, timeout_ms);
  }
  size_t Count(uintptr_t code) const {
    size_t n = 0;
    for (const ReceivedNotice& r : notices_) n += r.code == code;
    return n;
  }

 private:
  std::vector<ReceivedNotice> notices_;
  vd::os::MessageWindow window_;
};

// "$" + body + "*hh" with the right checksum.
inline std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  static constexpr char kHex[] = "0123456789ABCDEF";
  return "$" + body + "*" + kHex[sum >> 4] + kHex[sum & 15];
}

}  // namespace vd::test
