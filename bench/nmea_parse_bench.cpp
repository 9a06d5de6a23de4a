// A 100 MB NMEA log held in memory, cut into lines and parsed into fix records as the GPS reader
// does it, against the baseline of finding the same line ends and checking every checksum with
// no field parsing. The parser should reach at least half the baseline's speed; the ratio of
// speeds is printed after the runs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/timing_reporter.h"
#include "app/nmea_fields.h"
#include "gps/nmea_fix_parser.h"
#include "gps/nmea_line_assembler.h"
#include "platform/os/numbers.h"

namespace {

constexpr size_t kLogBytes = 100u << 20;

void AddSentence(std::string& log, const std::string& body) {
  std::string s = "$" + body;
  NMEAAppendChecksumCRLF(s);
  log += s;
}

// One second of a receiver's output: RMC, GGA, GSA, three GSV and a VTG that is not parsed.
const std::string& Log() {
  static const std::string log = [] {
    std::string out;
    out.reserve(kLogBytes + 1024);
    for (int i = 0; out.size() < kLogBytes; ++i) {
      const int t = i % 86400;
      const std::string time = vd::os::FormatC("%02d%02d%02d.00", t / 3600, t / 60 % 60, t % 60);
      const GeoPoint p{50.0 + 0.5 * std::sin(i * 1e-4), -1.0 + 0.5 * std::cos(i * 1e-4)};
      std::string position;
      FormatNMEALatLon(position, p);
      position.pop_back();
      AddSentence(out, "GPRMC," + time + ",A," + position + ",5.4,123.4,310324,2.1,W,A");
      AddSentence(out, "GPGGA," + time + "," + position + ",1,09,0.9,12.5,M,47.0,M,,");
      AddSentence(out, "GPGSA,A,3,02,05,07,09,13,16,20,23,30,,,,1.6,0.9,1.3");
      AddSentence(out, "GPGSV,3,1,11,02,45,120,44,05,30,050,40,07,70,300,47,09,10,020,31");
      AddSentence(out, "GPGSV,3,2,11,13,25,200,38,16,60,100,45,20,15,330,33,23,05,280,28");
      AddSentence(out, "GPGSV,3,3,11,30,35,150,41,33,40,200,39,120,30,190,37");
      AddSentence(out, "GPVTG,123.4,T,125.5,M,5.4,N,10.0,K,A");
    }
    return out;
  }();
  return log;
}

void BM_ParseNmeaLog(benchmark::State& state) {
  const std::string& log = Log();
  for (auto _ : state) {
    NmeaLineAssembler assembler;
    NmeaFixParser parser([] { return int64_t{1711843200}; });
    parser.StartRun();
    size_t notices = 0;
    for (size_t pos = 0; pos < log.size();) {
      bool complete = false;
      pos += assembler.Feed(log.data() + pos, log.size() - pos, complete);
      if (complete && parser.ParseLine(assembler.line()) != NmeaFixParser::kNoNotice) ++notices;
    }
    benchmark::DoNotOptimize(notices);
    benchmark::DoNotOptimize(parser.record());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.size()));
}

int Hex(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

void BM_BaselineLinesAndChecksums(benchmark::State& state) {
  const std::string& log = Log();
  for (auto _ : state) {
    size_t good = 0;
    const char* p = log.data();
    const char* const end = p + log.size();
    while (p < end) {
      const char* eol =
          static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!eol) eol = end;
      if (*p == '$') {
        unsigned sum = 0;
        const char* q = p + 1;
        while (q < eol && *q != '*') sum ^= static_cast<unsigned char>(*q++);
        if (q + 2 < eol && sum == static_cast<unsigned>(Hex(q[1]) * 16 + Hex(q[2]))) ++good;
      }
      p = eol + 1;
    }
    benchmark::DoNotOptimize(good);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.size()));
}

BENCHMARK(BM_ParseNmeaLog)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BaselineLinesAndChecksums)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  vd::bench::RunBenchmarks(argc, argv, reporter, [] { return !Log().empty(); });
  const double ours = reporter.Time("BM_ParseNmeaLog");
  const double baseline = reporter.Time("BM_BaselineLinesAndChecksums");
  if (ours > 0 && baseline > 0) {
    std::printf("NMEA log: parser %.1f ms, baseline %.1f ms, speed ratio %.2f (target >= 0.5)\n",
                ours, baseline, baseline / ours);
  }
  return 0;
}
