#include "gps/gps_notice.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// The notice carries the record as it was when posted, readable by the handler whatever the
// input writes next; notices still queued when the window goes away are freed with it (the
// sanitizer build reports any that leak).
TEST(GpsNotice, CarriesASnapshotAndQueuedNoticesDieWithTheWindow) {
  std::vector<int32_t> times;
  {
    vd::os::MessageWindow window([&](const vd::os::Message& m) -> intptr_t {
      if (const GPS_position_info* record = GpsNoticeRecord(m)) times.push_back(record->time);
      return 0;
    });
    GPS_position_info record;
    std::thread input([&] {
      record.time = 100;
      EXPECT_TRUE(PostGpsNotice(window, kGpsNoticeFix, record));
      record.time = 200;
      EXPECT_TRUE(PostGpsNotice(window, kGpsNoticeSatellites, record));
      record.time = 300;
    });
    input.join();
    window.DispatchPending();
    EXPECT_EQ(times, (std::vector<int32_t>{100, 200}));

    EXPECT_TRUE(PostGpsNotice(window, kGpsNoticeFix, record));
    EXPECT_TRUE(PostGpsNotice(window, kGpsNoticeFailure, record));
  }
  EXPECT_EQ(times.size(), 2u);
  EXPECT_EQ(GpsNoticeRecord(vd::os::Message{vd::os::kUserMessage, 16, 1234}), nullptr);
}

}  // namespace
