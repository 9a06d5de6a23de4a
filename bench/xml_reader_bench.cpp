// Building the whole XML tree of a 50 MB GPX track of 500,000 points, against the baseline of
// expat parsing the same mapped file with handlers that only count elements. Targets: the
// reader reaches at least half of expat's throughput ("vs_expat" >= 0.5), and the memory the
// reader holds at its peak stays within 4 times the file size ("peak_x_file" <= 4).
//
// Memory is counted by replacing the global allocation functions: every byte obtained through
// operator new (the tree's storage and the reader's working vectors) is counted with the size
// the C library really reserved for it. The file itself is mapped, not copied.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "core/file_utils.h"
#include "core/iso_time.h"
#include "core/xml_document.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

std::atomic<size_t> allocated_now{0};
std::atomic<size_t> allocated_peak{0};

void* CountedAllocate(size_t bytes) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) throw std::bad_alloc();
  size_t now = allocated_now += malloc_usable_size(p);
  size_t peak = allocated_peak.load();
  while (now > peak && !allocated_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void CountedFree(void* p) {
  if (!p) return;
  allocated_now -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace

void* operator new(size_t bytes) { return CountedAllocate(bytes); }
void* operator new[](size_t bytes) { return CountedAllocate(bytes); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

namespace {

constexpr int kTrackPoints = 500'000;

class GpxFile {
 public:
  GpxFile() {
    std::string folder = vd::os::SystemTempFolder() + "/vdbench-XXXXXX";
    if (!::mkdtemp(folder.data())) return;
    folder_ = folder;
    std::string gpx =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
        "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        "<trk>\n<name>Harbour &amp; back</name>\n<trkseg>\n";
    char line[160];
    for (int i = 0; i < kTrackPoints; ++i) {
      std::snprintf(line, sizeof line,
                    "  <trkpt lat=\"%.9f\" lon=\"%.9f\"><ele>%d</ele><time>%s</time></trkpt>\n",
                    47.0 + i * 1e-6, 8.0 - i * 1e-6, 400 + i % 100,
                    FormatIsoTime(1.6e9 + i).c_str());
      gpx += line;
    }
    gpx += "</trkseg>\n</trk>\n</gpx>\n";
    if (vd::os::SaveFileAtomically(folder_ + "/track.gpx", gpx)) {
      path_ = folder_ + "/track.gpx";
      size_ = gpx.size();
    }
  }
  ~GpxFile() {
    if (!folder_.empty()) DeleteDirectoryTree(folder_);
  }
  const std::string& path() const { return path_; }
  size_t size() const { return size_; }

 private:
  std::string folder_;
  std::string path_;
  size_t size_ = 0;
};

const GpxFile& File() {
  static const GpxFile file;
  return file;
}

double expat_bytes_per_second = 0;

double BytesPerSecond(const benchmark::State& state, size_t file_bytes, double seconds) {
  return seconds > 0
             ? static_cast<double>(state.iterations()) * static_cast<double>(file_bytes) / seconds
             : 0;
}

void XMLCALL CountStart(void* count, const XML_Char*, const XML_Char**) {
  ++*static_cast<int64_t*>(count);
}
void XMLCALL IgnoreEnd(void*, const XML_Char*) {}

void BM_ExpatParseBaseline(benchmark::State& state) {
  const GpxFile& gpx = File();
  vd::os::MappedFile file;
  if (gpx.path().empty() || !file.Open(gpx.path())) {
    state.SkipWithError("can't make the GPX file");
    return;
  }
  int64_t elements = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &elements);
    XML_SetElementHandler(parser, CountStart, IgnoreEnd);
    if (XML_Parse(parser, reinterpret_cast<const char*>(file.data()), static_cast<int>(file.size()),
                  XML_TRUE) != XML_STATUS_OK) {
      state.SkipWithError("expat failed");
    }
    XML_ParserFree(parser);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gpx.size()));
  state.counters["elements"] =
      static_cast<double>(elements / std::max<int64_t>(1, state.iterations()));
  state.counters["file_MB"] = static_cast<double>(gpx.size()) / 1e6;
  expat_bytes_per_second = BytesPerSecond(state, gpx.size(), seconds);
}

void BM_XmlDocumentLoad(benchmark::State& state) {
  const GpxFile& gpx = File();
  if (gpx.path().empty()) {
    state.SkipWithError("can't make the GPX file");
    return;
  }
  size_t peak = 0, kept = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    {
      CXmlDocument document;  // freed inside the timing, as expat's parser is
      const size_t before = allocated_now;
      allocated_peak = before;
      CXmlNode* root = document.Load(gpx.path());
      peak = std::max(peak, allocated_peak.load() - before);
      kept = allocated_now - before;
      if (!root || !root->FindChild("gpx")) state.SkipWithError("no tree");
      benchmark::DoNotOptimize(root);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gpx.size()));
  state.counters["peak_x_file"] = static_cast<double>(peak) / static_cast<double>(gpx.size());
  state.counters["tree_x_file"] = static_cast<double>(kept) / static_cast<double>(gpx.size());
  if (expat_bytes_per_second > 0) {
    state.counters["vs_expat"] =
        BytesPerSecond(state, gpx.size(), seconds) / expat_bytes_per_second;
  }
}

// The baseline runs first so that the reader can report its ratio.
BENCHMARK(BM_ExpatParseBaseline)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlDocumentLoad)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
