#pragma once
// The console report of a benchmark program, keeping each benchmark's result for the ratios the
// program prints after the runs. A benchmark's result is its iteration run or, when it repeats,
// the median of the repetitions; failed runs are left out.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vd::bench {

class TimingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours and the like only on a terminal.
  TimingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool usable = run.run_type == Run::RT_Iteration || run.aggregate_name == "median";
      if (!usable || run.error_occurred) continue;
      const std::string& function = run.run_name.function_name;
      const double time = run.GetAdjustedRealTime();
      by_function_[function] = time;
      by_args_[{function, run.run_name.args}] = time;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates_[function] = rate->second.value;
    }
  }

  // Real time per iteration in the benchmark's unit; 0 when it has no result. Without args,
  // the last result of the function, whatever its args.
  double Time(const std::string& function) const { return Find(by_function_, function); }
  double Time(const std::string& function, const std::string& args) const {
    return Find(by_args_, {function, args});
  }
  // Throughput of a benchmark that sets the bytes it processed; 0 when it has none.
  double BytesPerSecond(const std::string& function) const { return Find(rates_, function); }

 private:
  template <typename Key>
  static double Find(const std::map<Key, double>& values, const Key& key) {
    const auto it = values.find(key);
    return it == values.end() ? 0.0 : it->second;
  }

  std::map<std::string, double> by_function_;
  std::map<std::pair<std::string, std::string>, double> by_args_;
  std::map<std::string, double> rates_;
};

// Reads the benchmark flags (removing them from argc/argv), runs `prepare` if given and, if it
// succeeds, the selected benchmarks into `reporter`. False when `prepare` failed.
inline bool RunBenchmarks(int& argc, char** argv, TimingReporter& reporter,
                          const std::function<bool()>& prepare = {}) {
  benchmark::Initialize(&argc, argv);
  const bool ready = !prepare || prepare();
  if (ready) benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return ready;
}

}  // namespace vd::bench
