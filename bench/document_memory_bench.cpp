// The memory of a document of a million marks (CObjWaypoint, as a user's marks are: a short
// name, an id, a comment on every tenth) loaded from an overlay file and closed again.
//
// - "mark_bytes": resident memory a loaded mark holds (the object, its list node, its strings),
//   and "mark_x_record" that over the bytes of its record in the file. Target: at most 3.
// - "after_close_x_before": resident memory after the document's objects are released as a
//   closing document releases them (each Release, then vd::ReleaseFreedMemory), over resident
//   memory before the load. Target: at most 1.2.
// Both are measured against the process before its first load of the file (from the page
// cache); the closes of all runs count.
// Files go to $TMPDIR, else /tmp.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/resident_memory.h"
#include "core/object_arena.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

constexpr int kMarks = 1'000'000;

using vd::bench::ResidentBytes;

// The overlay file of a million marks, written by a child process so that none of the memory of
// making them is this process's.
struct MarksFile {
  MarksFile() {
    path = vd::os::SystemTempFolder() + "/vd_document_memory_bench_" +
           std::to_string(::getpid()) + ".vdo";
    const pid_t child = ::fork();
    if (child == 0) {
      ObjectList marks;
      for (int i = 0; i < kMarks; ++i) {
        auto* mark = new CObjWaypoint;
        mark->AddRef();
        mark->name = "WP" + std::to_string(100000 + i % 900000);
        mark->short_name = mark->name;
        mark->position = CLatLon(50.0 + (i % 1000) * 1e-3, -4.0 + (i / 1000) * 1e-3);
        mark->being_placed = false;
        mark->created = mark->modified = 1600000000 + i;
        mark->SetUniqueId(0x0000000400000000ull + static_cast<uint64_t>(i));
        if (i % 10 == 0) mark->comment = "Anchorage, good holding";
        marks.push_back(mark);
      }
      ::_exit(SaveObjectsToOverlayFile(path, marks, false) ? 0 : 1);
    }
    int status = 1;
    if (child > 0) ::waitpid(child, &status, 0);
    if (status == 0) size = static_cast<size_t>(vd::os::FileSize(path).value_or(0));
  }
  ~MarksFile() { std::remove(path.c_str()); }
  std::string path;
  size_t size = 0;
};

void BM_MarksLoadAndClose(benchmark::State& state) {
  static const MarksFile file;
  if (file.size == 0) {
    state.SkipWithError("can't write the overlay file");
    return;
  }
  // Against the memory before the first load: a later load may reuse what an earlier one kept.
  double mark_bytes = 0, after_close = 0;
  size_t before = 0;
  for (auto _ : state) {
    if (before == 0) before = ResidentBytes();
    ObjectList document;
    if (!ReadOverlayFileObjects(file.path, document) || document.size() != kMarks) {
      state.SkipWithError("load failed");
    }
    const size_t loaded = ResidentBytes();
    while (!document.empty()) {
      COstrelObject* object = document.front();
      document.pop_front();
      object->Release();
    }
    vd::ReleaseFreedMemory();
    const size_t closed = ResidentBytes();
    if (mark_bytes == 0) mark_bytes = static_cast<double>(loaded - std::min(loaded, before)) / kMarks;
    after_close = std::max(after_close, static_cast<double>(closed) / static_cast<double>(before));
  }
  state.counters["mark_bytes"] = mark_bytes;
  state.counters["record_bytes"] = static_cast<double>(file.size) / kMarks;
  state.counters["mark_x_record"] = mark_bytes / (static_cast<double>(file.size) / kMarks);
  state.counters["after_close_x_before"] = after_close;
}

BENCHMARK(BM_MarksLoadAndClose)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
