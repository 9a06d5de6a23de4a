// A converter plug-in for tests, loaded like any other. The source file says what to do:
//   "copy <path>"  the chart file at <path> becomes the target; result 0
//   "fail"         half a target is written, then result 7
//   "crash"        half a target is written, then the plug-in crashes (SIGSEGV)
// Every call appends "<source>|<target>|<interactive>|<VDPROJDAT>|<parent>" as a line to the file
// the environment variable VD_TEST_CONVERTER_LOG names.
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

uintptr_t g_parent = 0;

std::string Read(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void set_parent(uintptr_t parent) {
  g_parent = parent;
}

extern "C" __attribute__((visibility("default"))) int vd_convert_chart(const char* source,
                                                                       const char* target,
                                                                       int interactive, int) {
  if (const char* log = std::getenv("VD_TEST_CONVERTER_LOG")) {
    const char* projdat = std::getenv("VDPROJDAT");
    std::ofstream(log, std::ios::app) << source << '|' << target << '|' << interactive << '|'
                                      << (projdat ? projdat : "(unset)") << '|' << g_parent
                                      << '\n';
  }
  std::string order = Read(source);
  while (!order.empty() && (order.back() == '\n' || order.back() == '\r')) order.pop_back();
  if (order.rfind("copy ", 0) == 0) {
    const std::string chart = Read(order.substr(5).c_str());
    if (chart.empty()) return 5;
    std::ofstream(target, std::ios::binary) << chart;
    return 0;
  }
  std::ofstream(target, std::ios::binary) << "half a chart";
  if (order == "crash") {
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
  }
  return 7;
}
