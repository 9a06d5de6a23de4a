// The NMEA demonstration file of a track: "$GPRMC" sentences that the GPS input replays as a
// receiver moving along the track.
#include <algorithm>
#include <ctime>
#include <string>

#include "core/work_progress.h"
#include "app/nmea_fields.h"
#include "overlays/obj_track.h"
#include "platform/os/clock.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr int kSecondsPerSentence = 2;
// Legs without usable times are paced at this speed.
constexpr double kDefaultKnots = 4.0;
constexpr double kSecondsPerNmAtDefault = 3600.0 / kDefaultKnots;
// The text is handed to the file in pieces of about this size.
constexpr size_t kWriteChunk = 1 << 16;
// One leg is replayed in at most a day (about 3 MB of sentences); a longer gap between two
// points, or a time that is plainly wrong, is gone through faster.
constexpr int64_t kMaxLegSentences = 24 * 3600 / kSecondsPerSentence;

std::string RmcSentence(int64_t utc, const GeoPoint& position, double knots, double bearing) {
  const time_t t = static_cast<time_t>(utc);
  std::tm tm{};
  gmtime_r(&t, &tm);
  std::string sentence =
      vd::os::FormatC("$GPRMC,%02d%02d%02d.00,A,", tm.tm_hour, tm.tm_min, tm.tm_sec);
  FormatNMEALatLon(sentence, position);
  sentence += vd::os::FormatC("%.1f,%.1f,%02d%02d%02d,,,A", knots, bearing, tm.tm_mday,
                              tm.tm_mon + 1, tm.tm_year % 100);
  NMEAAppendChecksumCRLF(sentence);
  return sentence;
}

}  // namespace

bool CObjTrack::WriteNmeaFile(const std::string& path, vd::os::Links links,
                              const ProgressFn& progress) const {
  if (points_.size() < 2) return false;
  // How a leg from point i to the next is gone through; `start` is the clock when the leg's
  // first point has no time.
  struct Leg {
    double bearing = 0.0;
    double knots = kDefaultKnots;
    int64_t start = 0;
    int64_t steps = 1;
  };
  const auto leg_from = [this](size_t i, int64_t clock) {
    const CTrackpoint& a = points_[i];
    const CTrackpoint& b = points_[i + 1];
    Leg leg;
    double distance = 0.0;
    a.position.DistanceAndBearingTo(b.position, distance, leg.bearing);
    // A time of 0 is no time: such a leg is paced like one without usable times.
    int64_t duration = a.time != 0 && b.time != 0 ? int64_t{b.time} - a.time : 0;
    if (duration <= 0) {
      duration = static_cast<int64_t>(distance * kSecondsPerNmAtDefault);
    } else {
      leg.knots = distance * 3600.0 / static_cast<double>(duration);
    }
    leg.start = a.time != 0 ? a.time : clock;
    leg.steps = std::max<int64_t>(duration / kSecondsPerSentence, 1);
    if (leg.steps > kMaxLegSentences) {
      leg.steps = kMaxLegSentences;
      leg.knots = distance * 3600.0 / static_cast<double>(leg.steps * kSecondsPerSentence);
    }
    return leg;
  };
  // The sentences to write, for the progress: the legs' counts do not depend on the clock.
  int64_t total = 0;
  if (progress) {
    for (size_t i = 0; i + 1 < points_.size(); ++i) total += leg_from(i, 0).steps;
  }
  ProgressSteps steps(progress, total);
  int64_t written = 0;

  vd::os::AtomicFileWriter writer;
  if (!writer.Open(path, links)) return false;
  std::string text;
  int64_t clock = vd::os::NowSeconds1970();
  for (size_t i = 0; i + 1 < points_.size(); ++i) {
    // Copies: the progress lets events in, and a track that records may change meanwhile.
    const CTrackpoint a = points_[i];
    const CTrackpoint b = points_[i + 1];
    const Leg leg = leg_from(i, clock);
    // The short way round, as the distance and bearing are taken; the sentence brings a
    // longitude beyond 180 degrees back by one turn.
    double lon_step = b.position.lon - a.position.lon;
    if (lon_step > 180.0) lon_step -= 360.0;
    if (lon_step < -180.0) lon_step += 360.0;
    for (int64_t h = 0; h < leg.steps; ++h) {
      // A stop leaves the old file as it was: the writer's temporary file goes.
      if (!steps(written++)) return false;
      const double f = static_cast<double>(h) / static_cast<double>(leg.steps);
      const GeoPoint position{a.position.lat + (b.position.lat - a.position.lat) * f,
                              a.position.lon + lon_step * f};
      text += RmcSentence(leg.start + kSecondsPerSentence * h, position, leg.knots, leg.bearing);
      if (text.size() >= kWriteChunk) {
        if (!writer.file().Write(text.data(), text.size())) return false;
        text.clear();
      }
    }
    clock = leg.start + kSecondsPerSentence * leg.steps;
  }
  return writer.file().Write(text.data(), text.size()) && writer.Commit();
}
