// Runs one conversion of a converter plug-in in a process of its own, so that a plug-in that
// crashes or hangs on a bad file takes only this process down. The program starts it as
//   vd_chart_convert <library> <source> <target> <interactive> <reserved> <parent> <report>
// and reads the outcome from the report file, one line:
//   "converted <result>"   the conversion entry returned <result>
//   "not-loaded <text>"    the library did not load here
//   "no-entry"             the library has no conversion entry
// A report file left empty means that the process ended before the entry returned.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using ConvertEntry = int (*)(const char* source, const char* target, int interactive,
                             int reserved);
using SetParentEntry = void (*)(uintptr_t parent);

// Writes the report's line; false when it can't be written.
bool Report(const char* path, const std::string& line) {
  FILE* file = std::fopen(path, "w");
  if (!file) return false;
  const bool written = std::fputs((line + "\n").c_str(), file) >= 0;
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr,
                 "usage: vd_chart_convert library source target interactive reserved parent "
                 "report\n");
    return 2;
  }
  const char* library = argv[1];
  const char* source = argv[2];
  const char* target = argv[3];
  const int interactive = std::atoi(argv[4]);
  const int reserved = std::atoi(argv[5]);
  const auto parent = static_cast<uintptr_t>(std::strtoull(argv[6], nullptr, 10));
  const char* report = argv[7];

  void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = ::dlerror();
    return Report(report, std::string("not-loaded ") + (error ? error : library)) ? 0 : 3;
  }
  const auto convert = reinterpret_cast<ConvertEntry>(::dlsym(handle, "vd_convert_chart"));
  if (!convert) return Report(report, "no-entry") ? 0 : 3;
  // The plug-in's own dialogs belong to the program's window.
  if (const auto set_parent = reinterpret_cast<SetParentEntry>(::dlsym(handle, "set_parent")))
    set_parent(parent);
  const int result = convert(source, target, interactive, reserved);
  return Report(report, "converted " + std::to_string(result)) ? 0 : 3;
}
