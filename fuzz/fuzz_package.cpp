// Fuzz target: map package descriptors (".vdpkg"): the header, every entry, and the title,
// info and file-list readers the program uses.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "charts/vdpkg_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("input.vdpkg", data, size);
  {
    CVdPkgFile package(path);
    VdPkgEntry entry;
    for (int i = 0; i < 10000 && package.ok() && package.NextEntry(entry); ++i) {
    }
  }
  (void)ReadPackageTitle(path);
  (void)ReadPackageInfo(path);
  std::vector<std::string> paths;
  ReadPackageFileList(path, paths);
  return 0;
}
