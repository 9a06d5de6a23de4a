// Appending 4 KiB records to a part-file store from 4 threads, against one thread writing the
// same bytes with plain pwrite calls to one file. Every iteration starts from an empty store or
// file and writes 16 MiB. The store's line reports "vs_baseline": its throughput as a fraction
// of the baseline's in the same run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/file_utils.h"
#include "core/locked_file.h"
#include "platform/os/files.h"
#include "bench/scratch_folder.h"
#include "platform/os/folders.h"

namespace {

constexpr size_t kRecordBytes = 4096;
constexpr int kRecords = 4096;  // per iteration: 16 MiB
constexpr int kThreads = 4;
constexpr int64_t kIterationBytes = int64_t{kRecords} * kRecordBytes;

double baseline_bytes_per_second = 0;

using vd::bench::ScratchFolder;

double BytesPerSecond(const benchmark::State& state, double seconds) {
  return seconds > 0 ? static_cast<double>(state.iterations() * kIterationBytes) / seconds : 0;
}

void BM_PwriteOneThreadBaseline(benchmark::State& state) {
  ScratchFolder folder;
  const std::string path = folder.path() + "/plain.bin";
  const std::vector<char> record(kRecordBytes, 'r');
  vd::os::File file;
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!file.Open(path, vd::os::File::Mode::CreateTruncate)) {
      state.SkipWithError("can't create the file");
      break;
    }
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRecords; ++i) {
      if (::pwrite(file.fd(), record.data(), kRecordBytes, static_cast<off_t>(i) * kRecordBytes) !=
          static_cast<ssize_t>(kRecordBytes)) {
        state.SkipWithError("pwrite failed");
      }
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetBytesProcessed(state.iterations() * kIterationBytes);
  baseline_bytes_per_second = BytesPerSecond(state, seconds);
}

void BM_LockedFileAppendFourThreads(benchmark::State& state) {
  ScratchFolder folder;
  const std::string path = folder.path() + "/store";
  const std::vector<char> record(kRecordBytes, 's');
  CLockedFile store;
  double seconds = 0;
  std::atomic<bool> failed = false;
  for (auto _ : state) {
    state.PauseTiming();
    store.Close();
    DeleteDirectoryTree(path);
    if (!store.Open(path, CLockedFile::kReadWrite)) {
      state.SkipWithError("can't create the store");
      break;
    }
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < kRecords / kThreads; ++i) {
          int64_t address = store.Append(kRecordBytes, kRecordBytes);
          if (address < 0 ||
              !store.WriteAt(static_cast<uint64_t>(address), record.data(), kRecordBytes)) {
            failed = true;
          }
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failed) {
      state.SkipWithError("append or write failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * kIterationBytes);
  if (baseline_bytes_per_second > 0) {
    state.counters["vs_baseline"] = BytesPerSecond(state, seconds) / baseline_bytes_per_second;
  }
}

// The baseline runs first so that the store can report its ratio.
BENCHMARK(BM_PwriteOneThreadBaseline)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LockedFileAppendFourThreads)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
