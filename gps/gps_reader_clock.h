#pragma once
// The clock a GPS reader thread runs on: its waits, its time-outs and the wall-clock date it
// gives to sentences that carry only a time of day. Tests hand in a clock whose waits return at
// once, so a demo file replays without its real-time pace.
#include <cstdint>
#include <memory>
#include <stop_token>

class GpsReaderClock {
 public:
  virtual ~GpsReaderClock() = default;

  // Milliseconds of a monotonic clock.
  virtual uint64_t NowMs() = 0;
  // UTC wall-clock seconds since 1970.
  virtual int64_t NowSeconds1970() = 0;
  // Waits ms milliseconds; returns early, with false, once stop is requested.
  virtual bool Sleep(int ms, const std::stop_token& stop) = 0;

  // The system's clocks; shared by every reader.
  static std::shared_ptr<GpsReaderClock> System();
};
