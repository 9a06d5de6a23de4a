// Overlay files and duplicate checks.
//
// - A million base records of track-point size (43 bytes each: short name, times, flags,
//   style, a category back reference, stamps, id) saved to and loaded from an overlay file,
//   against the baseline of writing and reading the same bytes with buffered fwrite/fread in
//   record-sized pieces. Both saves are atomic (temporary file, fsync, rename); the load
//   includes making the million objects. Target: at least 0.3 of the baseline's throughput.
//   The first load of each file is timed apart, in a process of its own (see FirstLoad),
//   against the baseline of
//   reading the file's bytes into memory freshly mapped from the system, as much as the loaded
//   objects hold. Target: at least 0.3 of it. The memory per object is printed beside the
//   size of its record; a mark's target is at most 3 times its record.
//   Files go to $TMPDIR, else /tmp: TMPDIR=/dev/shm leaves the disk out.
// - A track of a million points (25 bytes each) saved and loaded the same way, against the
//   same baseline over the track file's bytes in point-sized pieces. Same target.
// - A million marks (CObjWaypoint) saved and loaded the same way, against the same baseline
//   over their file's bytes in mark-sized pieces. Same target.
// - Imports of n new marks merged into a document (MergeImportedObjects, as every import
//   ends): 1,000 and 10,000 marks into an empty document, and 1,000 into a document of 40,000
//   marks. Targets: 10 times the marks at most 12 times the time, and the full document at
//   most 1.5 times the time of the empty one.
// - Duplicate checks of n imported objects against a document of n objects (n = 1,000 and
//   10,000), each import an unchanged copy of a document object, as MergeImportedObjects makes
//   them; and one DuplicateCheck call for the last object of the list. Target: the time at
//   10,000 at most 15 times the time at 1,000.
// The ratios are printed after the runs.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bench/resident_memory.h"
#include "bench/timing_reporter.h"
#include "core/object_arena.h"
#include "overlays/category.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/object_factory.h"
#include "overlays/ostrel_object.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

constexpr int kRecordCount = 1'000'000;

// An object with the base record only.
class BenchRecord : public COstrelObject {
 public:
  static const OverlayClass kClass;
  const OverlayClass& GetRuntimeClass() const override { return kClass; }
};
const OverlayClass BenchRecord::kClass("CBenchRecord", kOverlaySchema, &COstrelObject::kClass,
                                       &CreateArchiveObject<BenchRecord>);

// A document as the program's: its objects count their keys in it (ids and created times).
class BenchDocument : public COstrelDocBase {
 public:
  void UpdateAllViews(COstrelViewBase*, int, COstrelObject*) override {}
  ObjectList* GetObjectList() override { return &objects; }
  ObjectList objects;
};

// One overlay file and the objects it was saved from.
struct Fixture {
  std::string vdo_path;
  std::string save_path;
  std::string copy_path;
  ObjectList objects;       // one reference each
  std::vector<char> bytes;  // the overlay file's bytes: the baseline's data
  size_t record_size = 0;   // the baseline's pieces: the bytes of one of the million records
  double first_load_seconds = 0;  // the process's first load of the file
  size_t first_load_held = 0;     // resident bytes the first load's objects hold
  size_t first_load_index = 0;    // of those, the document's tables of ids and times
  double first_read_seconds = 0;  // FirstReadBaseline of first_load_held bytes
  bool warm = false;              // this process loaded the file once, untimed
};

Fixture& Marks() {
  static Fixture fixture;
  return fixture;
}

Fixture& Track() {
  static Fixture fixture;
  return fixture;
}

Fixture& Waypoints() {
  static Fixture fixture;
  return fixture;
}

// Saves the objects as the fixture's file and keeps its bytes.
bool Prepare(Fixture& f, const std::string& tag, ObjectList objects) {
  const std::string base = vd::os::SystemTempFolder() + "/vd_overlay_file_bench_" + tag + "_" +
                           std::to_string(::getpid());
  f.vdo_path = base + ".vdo";
  f.save_path = base + "_saved.vdo";
  f.copy_path = base + "_copy.bin";
  f.objects = std::move(objects);
  std::string bytes;
  if (!SaveObjectsToOverlayFile(f.vdo_path, f.objects, false) ||
      !vd::os::ReadWholeFile(f.vdo_path, bytes)) {
    std::fprintf(stderr, "cannot write %s\n", f.vdo_path.c_str());
    return false;
  }
  f.bytes.assign(bytes.begin(), bytes.end());
  f.record_size = f.bytes.size() / kRecordCount;
  std::printf("%s: %zu bytes\n", tag.c_str(), f.bytes.size());
  return true;
}

bool PrepareMarks() {
  ObjectList objects;
  for (int i = 0; i < kRecordCount; ++i) {
    auto* record = new BenchRecord;
    record->AddRef();
    record->name = "TP" + std::to_string(100000 + i % 900000);
    record->created = record->modified = 1600000000 + i;
    record->style = 0x01000000;
    record->SetCategory(i % 2 ? "Track A" : "Track B");
    record->SetUniqueId(0x0000000100000000ull + static_cast<uint64_t>(i));
    objects.push_back(record);
  }
  return Prepare(Marks(), "marks", std::move(objects));
}

// A placed mark with a short name, a comment and an id, as a user's marks are.
CObjWaypoint* NewMark(int i, int32_t first_time) {
  auto* mark = new CObjWaypoint;
  mark->AddRef();
  mark->name = "WP" + std::to_string(100000 + i % 900000);
  mark->short_name = mark->name;
  mark->position = CLatLon(50.0 + (i % 1000) * 1e-3, -4.0 + (i / 1000) * 1e-3);
  mark->being_placed = false;
  mark->created = mark->modified = first_time + i;
  mark->SetUniqueId(0x0000000400000000ull + static_cast<uint64_t>(first_time) * 4 + i);
  return mark;
}

bool PrepareWaypoints() {
  ObjectList objects;
  for (int i = 0; i < kRecordCount; ++i) {
    CObjWaypoint* mark = NewMark(i, 1600000000);
    if (i % 10 == 0) mark->comment = "Anchorage, good holding";
    objects.push_back(mark);
  }
  return Prepare(Waypoints(), "waypoints", std::move(objects));
}

// A track of a million points, a fix every 10 seconds heading north-east.
bool PrepareTrack() {
  auto* track = new CObjTrack;
  track->AddRef();
  track->SetUniqueId(0x0000000300000001ull);
  for (int i = 0; i < kRecordCount; ++i) {
    track->AddPoint(50.0 + i * 1e-5, -4.0 + i * 1.5e-5, 1600000000 + 10 * i,
                    static_cast<float>(i % 500), 0, 0);
  }
  track->RecomputeTotals();
  return Prepare(Track(), "track", ObjectList{track});
}

void Finish(benchmark::State& state, const Fixture& f) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.bytes.size()));
}

template <Fixture& (*TheFixture)()>
void Save(benchmark::State& state) {
  Fixture& f = TheFixture();
  for (auto _ : state) {
    if (!SaveObjectsToOverlayFile(f.save_path, f.objects, false)) {
      state.SkipWithError("save failed");
    }
  }
  Finish(state, f);
}

template <Fixture& (*TheFixture)()>
void BaselineWrite(benchmark::State& state) {
  Fixture& f = TheFixture();
  const std::string temp = f.copy_path + ".tmp";
  for (auto _ : state) {
    FILE* out = std::fopen(temp.c_str(), "wb");
    bool ok = out != nullptr;
    for (size_t at = 0; ok && at < f.bytes.size(); at += f.record_size) {
      const size_t n = std::min(f.record_size, f.bytes.size() - at);
      ok = std::fwrite(f.bytes.data() + at, 1, n, out) == n;
    }
    ok = out && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0 && ok;
    if (out) ok = std::fclose(out) == 0 && ok;
    if (!ok || !vd::os::RenameFile(temp, f.copy_path)) state.SkipWithError("write failed");
  }
  Finish(state, f);
}

using vd::bench::ResidentBytes;

// What any first load must pay: the file's bytes read, in record-sized pieces, into memory
// freshly mapped from the system, as much of it as the loaded objects hold (the file read
// again and again until it is filled). Seconds.
double FirstReadBaseline(const Fixture& f, size_t held) {
  held = std::max(held, f.bytes.size());
  const auto start = std::chrono::steady_clock::now();
  void* memory = ::mmap(nullptr, held, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return 0;
  auto* to = static_cast<char*>(memory);
  size_t filled = 0;
  while (filled < held) {
    FILE* in = std::fopen(f.vdo_path.c_str(), "rb");
    if (!in) break;
    size_t n = 0;
    while (filled < held &&
           (n = std::fread(to + filled, 1, std::min(f.record_size, held - filled), in)) > 0) {
      filled += n;
    }
    std::fclose(in);
  }
  benchmark::DoNotOptimize(to);
  ::munmap(memory, held);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The first load of a file is timed on its own and not in the runs: it takes the memory of a
// million objects fresh from the system, which on some virtual machines costs more than the
// load itself (pages handed to the machine as they are first touched, about 2.5 ms a megabyte
// on one). It runs in a process of its own, forked before any benchmark has freed memory that
// it could reuse, so that what it holds is what a load takes, and is measured against
// FirstReadBaseline of that memory. The runs measure loads that reuse memory earlier objects
// left, as a program does that opens files in turn, against a baseline that reads through a
// warm page cache into a buffer it reuses.
bool FirstLoad(Fixture& f) {
  struct Result {
    double seconds = 0;
    size_t held = 0;
    size_t index = 0;
  } result;
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::close(pipe_ends[0]);
    // Memory the parent freed (the bytes of the files it wrote, say) goes back to the system
    // first, so that the load cannot reuse it.
    vd::ReleaseFreedMemory();
    // Into a document, as the program loads: what the document keeps of each object counts.
    BenchDocument document;
    CCurrentOwnerScope owner(&document);
    const size_t before = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    ObjectList read;
    if (ReadOverlayFileObjects(f.vdo_path, read) && read.size() == f.objects.size()) {
      result.seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      // What the load used meanwhile and freed (the file's bytes) is not held.
      vd::ReleaseFreedMemory();
      result.held = ResidentBytes() - std::min(before, ResidentBytes());
      result.index =
          document.ObjectIds().MemoryBytes() + document.ObjectTimes().MemoryBytes();
    }
    const bool written = ::write(pipe_ends[1], &result, sizeof result) == sizeof result;
    ::_exit(written ? 0 : 1);  // the objects go with the process
  }
  ::close(pipe_ends[1]);
  const bool read = ::read(pipe_ends[0], &result, sizeof result) == sizeof result;
  ::close(pipe_ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!read || result.seconds <= 0) {
    std::fprintf(stderr, "first load of %s failed\n", f.vdo_path.c_str());
    return false;
  }
  f.first_load_seconds = result.seconds;
  f.first_load_held = result.held;
  f.first_load_index = result.index;
  f.first_read_seconds = FirstReadBaseline(f, f.first_load_held);
  return true;
}

template <Fixture& (*TheFixture)()>
void Load(benchmark::State& state) {
  Fixture& f = TheFixture();
  if (!f.warm) {
    // The runs reuse the memory of this load.
    ObjectList read;
    ReadOverlayFileObjects(f.vdo_path, read);
    for (COstrelObject* object : read) object->Release();
    f.warm = true;
  }
  for (auto _ : state) {
    ObjectList read;
    if (!ReadOverlayFileObjects(f.vdo_path, read) || read.size() != f.objects.size()) {
      state.SkipWithError("load failed");
    }
    state.PauseTiming();
    for (COstrelObject* object : read) object->Release();
    state.ResumeTiming();
  }
  Finish(state, f);
}

template <Fixture& (*TheFixture)()>
void BaselineRead(benchmark::State& state) {
  Fixture& f = TheFixture();
  std::vector<char> record(f.record_size);
  for (auto _ : state) {
    FILE* in = std::fopen(f.vdo_path.c_str(), "rb");
    size_t total = 0;
    if (in) {
      for (size_t n; (n = std::fread(record.data(), 1, record.size(), in)) > 0; total += n) {
        benchmark::DoNotOptimize(record.data());
      }
      std::fclose(in);
    }
    if (total != f.bytes.size()) state.SkipWithError("read failed");
  }
  Finish(state, f);
}

BENCHMARK(Save<Marks>)->Name("BM_OverlaySave")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BaselineWrite<Marks>)
    ->Name("BM_BaselineWrite")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Load<Marks>)->Name("BM_OverlayLoad")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BaselineRead<Marks>)
    ->Name("BM_BaselineRead")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Save<Waypoints>)->Name("BM_MarkSave")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BaselineWrite<Waypoints>)
    ->Name("BM_MarkBaselineWrite")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Load<Waypoints>)->Name("BM_MarkLoad")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BaselineRead<Waypoints>)
    ->Name("BM_MarkBaselineRead")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Save<Track>)->Name("BM_TrackSave")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BaselineWrite<Track>)
    ->Name("BM_TrackBaselineWrite")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Load<Track>)->Name("BM_TrackLoad")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BaselineRead<Track>)
    ->Name("BM_TrackBaselineRead")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Merges range(0) new marks into a document of range(1) marks; neither set shares an id or a
// time with the other, so every mark is let in.
void BM_MergeImport(benchmark::State& state) {
  const int imported_count = static_cast<int>(state.range(0));
  const int document_count = static_cast<int>(state.range(1));
  // The program's imports make their objects in the document they merge into.
  BenchDocument owner;
  CCurrentOwnerScope scope(&owner);
  ObjectList& document = owner.objects;
  for (int i = 0; i < document_count; ++i) document.push_back(NewMark(i, 1500000000));
  for (auto _ : state) {
    state.PauseTiming();
    ObjectList imported;
    for (int i = 0; i < imported_count; ++i) imported.push_back(NewMark(i, 1700000000));
    state.ResumeTiming();
    MergeImportedObjects(document, imported);
    state.PauseTiming();
    if (document.size() != static_cast<size_t>(document_count + imported_count)) {
      state.SkipWithError("a mark was not let in");
    }
    while (document.size() > static_cast<size_t>(document_count)) {
      document.back()->Release();
      document.pop_back();
    }
    state.ResumeTiming();
  }
  for (COstrelObject* object : document) object->Release();
  state.SetItemsProcessed(state.iterations() * imported_count);
}

BENCHMARK(BM_MergeImport)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({1000, 40000})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A document of n objects and n imported copies of them, unchanged.
struct DuplicateLists {
  std::vector<std::unique_ptr<COstrelObject>> owned;
  ObjectList document;
  std::vector<COstrelObject*> imported;
};

DuplicateLists& Duplicates(size_t n) {
  static std::map<size_t, DuplicateLists> cache;
  DuplicateLists& lists = cache[n];
  if (lists.owned.empty()) {
    const auto make = [&](size_t i) {
      auto& object = lists.owned.emplace_back(std::make_unique<BenchRecord>());
      object->AddRef();  // the index's references never bring it to none
      object->name = "Mark " + std::to_string(i % 100);  // names repeat, times tell apart
      object->created = object->modified = 1600000000 + static_cast<int32_t>(i);
      if (i % 2) object->SetUniqueId(0x0000000200000000ull + i);
      return object.get();
    };
    for (size_t i = 0; i < n; ++i) lists.document.push_back(make(i));
    for (size_t i = 0; i < n; ++i) lists.imported.push_back(make(i));
  }
  return lists;
}

void BM_DuplicateIndex(benchmark::State& state) {
  DuplicateLists& lists = Duplicates(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    DuplicateIndex index(lists.document);
    int refused = 0;
    for (COstrelObject* object : lists.imported) refused += !index.Check(*object);
    if (refused != state.range(0)) state.SkipWithError("a copy was let in");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DuplicateCheckOne(benchmark::State& state) {
  DuplicateLists& lists = Duplicates(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    if (DuplicateCheck(*lists.imported.back(), lists.document)) state.SkipWithError("let in");
  }
}

// Medians of a few runs: the ratios come from short times that other work on the machine
// easily disturbs.
BENCHMARK(BM_DuplicateIndex)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_DuplicateCheckOne)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The throughput ratios and the growth of the duplicate checks.
void PrintRatios(const vd::bench::TimingReporter& reporter) {
  for (const auto& [what, fixture, baseline] :
       {std::tuple{"Load", &Marks(), "BM_BaselineRead"},
        std::tuple{"Mark load", &Waypoints(), "BM_MarkBaselineRead"},
        std::tuple{"Track load", &Track(), "BM_TrackBaselineRead"}}) {
    const double b = reporter.BytesPerSecond(baseline);
    if (fixture->first_load_seconds <= 0 || b <= 0) continue;
    const double a = static_cast<double>(fixture->bytes.size()) / fixture->first_load_seconds;
    std::printf("%s, the process's first: overlay file %8.1f MB/s, ratio %.2f to a warm read\n",
                what, a / 1e6, a / b);
    if (fixture->first_read_seconds > 0) {
      std::printf("%s, the process's first: ratio %.2f to a first read into fresh memory of "
                  "the %.0f MB it holds (target >= 0.3)\n",
                  what, fixture->first_read_seconds / fixture->first_load_seconds,
                  static_cast<double>(fixture->first_load_held) / 1e6);
    }
    // What the process took for the load: the objects (a track's points), their list nodes,
    // the document's tables of ids and times, and the heap blocks of long texts.
    const double per_object =
        static_cast<double>(fixture->first_load_held) / static_cast<double>(kRecordCount);
    std::printf("%s: %.0f bytes of memory per %s (%.0f of them the document's index), %.1f "
                "times its %zu bytes in the file%s\n",
                what, per_object, fixture == &Track() ? "track point" : "object",
                static_cast<double>(fixture->first_load_index) / kRecordCount,
                per_object / static_cast<double>(fixture->record_size), fixture->record_size,
                fixture == &Waypoints() ? " (target <= 3)" : "");
  }
  for (const auto& [what, ours, baseline] :
       {std::tuple{"Save", "BM_OverlaySave", "BM_BaselineWrite"},
        std::tuple{"Load", "BM_OverlayLoad", "BM_BaselineRead"},
        std::tuple{"Mark save", "BM_MarkSave", "BM_MarkBaselineWrite"},
        std::tuple{"Mark load", "BM_MarkLoad", "BM_MarkBaselineRead"},
        std::tuple{"Track save", "BM_TrackSave", "BM_TrackBaselineWrite"},
        std::tuple{"Track load", "BM_TrackLoad", "BM_TrackBaselineRead"}}) {
    const double a = reporter.BytesPerSecond(ours), b = reporter.BytesPerSecond(baseline);
    if (a <= 0 || b <= 0) continue;
    std::printf(
        "%s: overlay file %8.1f MB/s, fwrite/fread %8.1f MB/s, ratio %.2f (target >= 0.3)\n",
        what, a / 1e6, b / 1e6, a / b);
  }
  const double small = reporter.Time("BM_MergeImport", "1000/0");
  const double large = reporter.Time("BM_MergeImport", "10000/0");
  const double full = reporter.Time("BM_MergeImport", "1000/40000");
  if (small > 0 && large > 0 && full > 0) {
    std::printf("Import: 10,000 marks take %.1f times as long as 1,000 (target <= 12)\n",
                large / small);
    std::printf("Import: 1,000 marks into 40,000 take %.2f times as long as into none "
                "(target <= 1.5)\n",
                full / small);
  }
  for (const char* name : {"BM_DuplicateIndex", "BM_DuplicateCheckOne"}) {
    const double small = reporter.Time(name, "1000");
    const double large = reporter.Time(name, "10000");
    if (small <= 0 || large <= 0) continue;
    std::printf("%s: 10,000 objects take %.1f times as long as 1,000 (target <= 15)\n", name,
                large / small);
  }
}

}  // namespace

int main(int argc, char** argv) {
  vd::bench::TimingReporter reporter;
  const auto prepare = [] {
    return PrepareMarks() && PrepareTrack() && PrepareWaypoints() && FirstLoad(Marks()) &&
           FirstLoad(Waypoints()) && FirstLoad(Track());
  };
  if (!vd::bench::RunBenchmarks(argc, argv, reporter, prepare)) return 1;
  PrintRatios(reporter);
  for (Fixture* f : {&Marks(), &Track(), &Waypoints()}) {
    for (const std::string* path : {&f->vdo_path, &f->save_path, &f->copy_path}) {
      vd::os::RemoveFile(*path);
    }
    for (COstrelObject* object : f->objects) object->Release();
  }
  return 0;
}
