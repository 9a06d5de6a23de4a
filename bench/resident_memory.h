#pragma once
// The process's resident memory as the kernel counts it, for benchmarks that report memory.
#include <cstddef>
#include <fstream>
#include <string>

namespace vd::bench {

// A "kB" line of /proc/self/status ("VmRSS:", "VmHWM:"), in bytes; 0 when missing.
inline size_t StatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::stoull(line.substr(line.find(':') + 1)) * 1024;
  }
  return 0;
}

inline size_t ResidentBytes() { return StatusBytes("VmRSS:"); }
// The high-water mark of resident memory since the process began or ResetPeakResident.
inline size_t PeakResidentBytes() { return StatusBytes("VmHWM:"); }

// Starts the high-water mark anew at the present; false when the kernel refuses.
inline bool ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

}  // namespace vd::bench
