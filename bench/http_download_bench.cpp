// Downloading a 200 MB file from a loopback server into a file, with CHttpConnection::GetToFile,
// against the curl command-line program ("curl -s -o") fetching the same file from the same
// server in the same run. The connection's line reports "vs_baseline": its throughput as a
// fraction of curl's.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/file_utils.h"
#include "core/http_connection.h"
#include "platform/os/files.h"
#include "bench/scratch_folder.h"
#include "platform/os/folders.h"
#include "platform/os/http_transport.h"
#include "platform/os/process.h"

namespace {

constexpr size_t kFileBytes = 200u << 20;
constexpr size_t kPieceBytes = 256u << 10;

double baseline_bytes_per_second = 0;

// The file served from memory, in pieces, as a web server sends a static file.
class LoopbackServer {
 public:
  LoopbackServer() : body_(kFileBytes, '\0') {
    for (size_t i = 0; i < body_.size(); ++i) body_[i] = static_cast<char>(i * 131 + (i >> 12));
    server_.Get("/big.bin", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(body_.size(), "application/octet-stream",
                               [this](size_t offset, size_t length, httplib::DataSink& sink) {
                                 return sink.write(body_.data() + offset,
                                                   std::min(length, kPieceBytes));
                               });
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~LoopbackServer() {
    vd::os::HttpCloseIdleConnections();
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  std::string body_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

LoopbackServer& Server() {
  static LoopbackServer server;
  return server;
}

using vd::bench::ScratchFolder;

// Runs download(target) per iteration on a fresh target; returns the bytes per second.
template <class Download>
double Measure(benchmark::State& state, Download download) {
  ScratchFolder folder;
  const std::string target = folder.path() + "/big.bin";
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    vd::os::RemoveFile(target);
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = download(target);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok || vd::os::FileSize(target) != kFileBytes) {
      state.SkipWithError("download failed");
      return 0;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
  return seconds > 0 ? static_cast<double>(state.iterations() * kFileBytes) / seconds : 0;
}

void BM_CurlProgramBaseline(benchmark::State& state) {
  const std::string url = "http://127.0.0.1:" + std::to_string(Server().port()) + "/big.bin";
  baseline_bytes_per_second = Measure(state, [&](const std::string& target) {
    const vd::os::SpawnResult run = vd::os::Spawn("curl", {"-s", "-o", target, url}, true);
    return run.started && run.exit_code == 0;
  });
}

void BM_HttpConnectionGetToFile(benchmark::State& state) {
  CHttpConnection connection("127.0.0.1:" + std::to_string(Server().port()), false);
  const double rate = Measure(
      state, [&](const std::string& target) { return connection.GetToFile("/big.bin", target); });
  if (baseline_bytes_per_second > 0)
    state.counters["vs_baseline"] = rate / baseline_bytes_per_second;
}

BENCHMARK(BM_CurlProgramBaseline)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HttpConnectionGetToFile)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
