#pragma once
// The GPS data layer of the newer generation: received RMC and GGA sentences become the own
// position's fix. Each RMC is one fix: its time, position, course and speed, with the altitude
// and the accuracy figure of the latest GGA. The fix goes into the program's own-position
// object, which averages it and fires the position event (Listener<CDataGPSPosition>) that the
// mark and track managers, the AIS targets and the race start listen to; without an
// own-position object the fix is fired as it is.
//
// An RMC that is not valid (receiver without a fix) keeps the last position and tells the
// listeners that the fix is gone.
//
// User-interface thread only; one object per program (the newest live one is the program's).
#include <cstdint>

#include "core/listener.h"
#include "gps/nmea_gps_sentences.h"

class CGPSPositionFeed : public Listener<CNMEA_GPS::RMC>, public Listener<CNMEA_GPS::GGA> {
 public:
  // Horizontal error in metres estimated from the HDOP: the accuracy figure of a fix (the own
  // position averages fixes whose figure is below 100 only).
  static constexpr float kMetresPerHdop = 5.0f;

  CGPSPositionFeed();
  ~CGPSPositionFeed() override;
  CGPSPositionFeed(const CGPSPositionFeed&) = delete;
  CGPSPositionFeed& operator=(const CGPSPositionFeed&) = delete;

  // The program's feed, or null.
  static CGPSPositionFeed* Instance();

  void OnEvent(CNMEA_GPS::RMC& rmc) override;
  void OnEvent(CNMEA_GPS::GGA& gga) override;

  // Forgets the current GPS data (the latest GGA) and tells the listeners that there is no fix.
  void Reset();

  // Fixes delivered since the feed was made (valid or not).
  uint64_t fixes() const { return fixes_; }

 private:
  // Hands the fix to the own position (or fires it); valid false keeps the last position.
  void Deliver(bool valid, double latitude, double longitude, double time, float course,
               float speed_knots);

  bool have_gga_ = false;
  int32_t altitude_ = 0;  // metres, of the latest GGA with a fix
  int32_t quality_ = 0;   // accuracy figure of the latest GGA; 0 before any
  uint64_t fixes_ = 0;
};
