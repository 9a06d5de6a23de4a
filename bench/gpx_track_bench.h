#pragma once
// What the GPX reading benchmarks share: a file of one track written as other programs write
// them (a point a line: position, elevation and time), and the baseline of expat parsing the
// same mapped bytes with handlers that only count elements.
#include <benchmark/benchmark.h>
#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench/scratch_folder.h"
#include "core/iso_time.h"
#include "platform/os/files.h"

namespace vd::bench {

class GpxTrackFile {
 public:
  // Written line by line: the file may be larger than the memory a benchmark may spare.
  explicit GpxTrackFile(int points) {
    if (folder_.path().empty()) return;
    const std::string path = folder_.path() + "/track.gpx";
    FILE* out = std::fopen(path.c_str(), "w");
    if (!out) return;
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
        "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        "<trk>\n<name>Harbour &amp; back</name>\n<trkseg>\n",
        out);
    for (int i = 0; i < points; ++i) {
      std::fprintf(out,
                   "  <trkpt lat=\"%.9f\" lon=\"%.9f\"><ele>%d</ele><time>%s</time></trkpt>\n",
                   47.0 + i * 1e-6, 8.0 - i * 1e-6, 400 + i % 100,
                   FormatIsoTime(1.6e9 + i).c_str());
    }
    std::fputs("</trkseg>\n</trk>\n</gpx>\n", out);
    const long size = std::ftell(out);
    if (std::fclose(out) == 0 && size > 0) {
      path_ = path;
      size_ = static_cast<size_t>(size);
    }
  }
  // Empty when the file could not be written.
  const std::string& path() const { return path_; }
  size_t size() const { return size_; }

 private:
  ScratchFolder folder_;
  std::string path_;
  size_t size_ = 0;
};

// Bytes a second of state's iterations over a file of file_bytes in seconds.
inline double BytesPerSecond(const benchmark::State& state, size_t file_bytes, double seconds) {
  return seconds > 0
             ? static_cast<double>(state.iterations()) * static_cast<double>(file_bytes) / seconds
             : 0;
}

// Expat parsing the mapped file, its handlers only counting elements; the throughput (bytes a
// second) goes to bytes_per_second.
inline void RunExpatBaseline(benchmark::State& state, const GpxTrackFile& gpx,
                             double& bytes_per_second) {
  vd::os::MappedFile file;
  if (gpx.path().empty() || !file.Open(gpx.path())) {
    state.SkipWithError("can't make the GPX file");
    return;
  }
  struct Handlers {
    static void XMLCALL Start(void* count, const XML_Char*, const XML_Char**) {
      ++*static_cast<int64_t*>(count);
    }
    static void XMLCALL End(void*, const XML_Char*) {}
  };
  int64_t elements = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &elements);
    XML_SetElementHandler(parser, Handlers::Start, Handlers::End);
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
  bytes_per_second = BytesPerSecond(state, gpx.size(), seconds);
}

}  // namespace vd::bench
