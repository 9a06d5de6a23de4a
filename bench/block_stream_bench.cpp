// A million small typed records written to and read from a file through the block stream,
// against the baseline of copying the same number of bytes with memcpy through a 64 KiB buffer
// to and from a file. The stream should reach at least half the baseline's throughput; the
// ratios are printed after the runs. Both writes are atomic saves (temporary file, fsync,
// rename). Files go to $TMPDIR, else /tmp: TMPDIR=/dev/shm leaves the disk out.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/timing_reporter.h"
#include "core/serializable_stream.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

constexpr int kRecordCount = 1'000'000;
constexpr size_t kChunkSize = 64 * 1024;
constexpr int32_t kBenchPointType = 7001;

// A small record like a mark: id, position, short name, flag.
class BenchPoint : public CSerializable {
 public:
  static const TypeOf<BenchPoint> cType;

  int32_t id = 0;
  double lat = 0.0;
  double lon = 0.0;
  std::string name;
  bool flag = false;

  bool Serialize(CSerializableStream& s) override {
    CSerializableStream::Block block(s);
    return block.ok() && s.ExchangeRaw(&id, sizeof id) && s.ExchangeRaw(&lat, sizeof lat) &&
           s.ExchangeRaw(&lon, sizeof lon) && s.ExchangeString(name) && s.ExchangeBool(flag);
  }
  int32_t GetTypeId() const override { return kBenchPointType; }
};
const CSerializable::TypeOf<BenchPoint> BenchPoint::cType{kBenchPointType};

struct Fixture {
  std::string stream_path;
  std::string copy_path;
  std::vector<BenchPoint> points;
  std::vector<uint8_t> bytes;  // the stream file's bytes: the baseline's source
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

bool WriteStream(const std::string& path, std::vector<BenchPoint>& points) {
  CSerializableStream out;
  if (!out.OpenWrite(path)) return false;
  for (BenchPoint& p : points) {
    if (!out.WriteRecord(p)) return false;
  }
  return out.Close();
}

bool Prepare() {
  Fixture& f = TheFixture();
  const std::string base =
      vd::os::SystemTempFolder() + "/vd_block_stream_bench_" + std::to_string(::getpid());
  f.stream_path = base + ".bin";
  f.copy_path = base + "_copy.bin";
  f.points.resize(kRecordCount);
  for (int i = 0; i < kRecordCount; ++i) {
    BenchPoint& p = f.points[i];
    p.id = i;
    p.lat = 50.0 + i * 1e-6;
    p.lon = -1.0 - i * 1e-6;
    p.name = "WP" + std::to_string(1'000'000 + i);
    p.flag = i % 3 == 0;
  }
  std::string bytes;
  if (!WriteStream(f.stream_path, f.points) || !vd::os::ReadWholeFile(f.stream_path, bytes)) {
    std::fprintf(stderr, "cannot write %s\n", f.stream_path.c_str());
    return false;
  }
  f.bytes.assign(bytes.begin(), bytes.end());
  return true;
}

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(TheFixture().bytes.size()));
}

void BM_StreamWrite(benchmark::State& state) {
  Fixture& f = TheFixture();
  for (auto _ : state) {
    if (!WriteStream(f.copy_path, f.points)) state.SkipWithError("write failed");
  }
  Finish(state);
}

void BM_BaselineWrite(benchmark::State& state) {
  Fixture& f = TheFixture();
  std::vector<uint8_t> buffer(kChunkSize);
  for (auto _ : state) {
    vd::os::AtomicFileWriter out;
    bool ok = out.Open(f.copy_path);
    for (size_t at = 0; ok && at < f.bytes.size(); at += kChunkSize) {
      const size_t n = std::min(kChunkSize, f.bytes.size() - at);
      std::memcpy(buffer.data(), f.bytes.data() + at, n);
      ok = out.file().Write(buffer.data(), n);
    }
    if (!ok || !out.Commit()) state.SkipWithError("write failed");
  }
  Finish(state);
}

void BM_StreamRead(benchmark::State& state) {
  Fixture& f = TheFixture();
  for (auto _ : state) {
    CSerializableStream in;
    int records = 0;
    if (in.OpenRead(f.stream_path)) {
      for (;;) {
        CSerializableStream::RecordResult r = in.ReadRecord();
        if (r.status == CSerializableStream::RecordStatus::kEnd) break;
        benchmark::DoNotOptimize(r.object.get());
        ++records;
      }
    }
    if (records != kRecordCount || in.Failed()) state.SkipWithError("read failed");
  }
  Finish(state);
}

void BM_BaselineRead(benchmark::State& state) {
  Fixture& f = TheFixture();
  std::vector<uint8_t> buffer(kChunkSize);
  std::vector<uint8_t> target(kChunkSize);
  for (auto _ : state) {
    vd::os::File in;
    size_t total = 0;
    if (in.Open(f.stream_path, vd::os::File::Mode::Read)) {
      for (int64_t n; (n = in.Read(buffer.data(), kChunkSize)) > 0; total += size_t(n)) {
        std::memcpy(target.data(), buffer.data(), size_t(n));
        benchmark::ClobberMemory();
      }
    }
    if (total != f.bytes.size()) state.SkipWithError("read failed");
  }
  Finish(state);
}

BENCHMARK(BM_StreamWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BaselineWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BaselineRead)->Unit(benchmark::kMillisecond)->UseRealTime();

// The stream's throughput as a fraction of the baseline's.
void PrintRatios(const vd::bench::TimingReporter& reporter) {
  for (const char* direction : {"Write", "Read"}) {
    const double stream = reporter.BytesPerSecond(std::string("BM_Stream") + direction);
    const double baseline = reporter.BytesPerSecond(std::string("BM_Baseline") + direction);
    if (stream <= 0 || baseline <= 0) continue;
    std::printf("%-5s block stream %8.1f MB/s, baseline %8.1f MB/s, ratio %.2f (target >= 0.5)\n",
                direction, stream / 1e6, baseline / 1e6, stream / baseline);
  }
}

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  const auto prepare = [] {
    if (!Prepare()) return false;
    std::printf("%d records, %zu bytes\n", kRecordCount, TheFixture().bytes.size());
    return true;
  };
  if (!vd::bench::RunBenchmarks(argc, argv, reporter, prepare)) return 1;
  PrintRatios(reporter);
  vd::os::RemoveFile(TheFixture().stream_path);
  vd::os::RemoveFile(TheFixture().copy_path);
  return 0;
}
