#include "tests/test_converter.h"

#include <cerrno>
#include <fstream>

namespace vd::test {

const char* TestConverterPath() { return VD_TEST_CONVERTER_PATH; }

std::unique_ptr<ConverterLibrary> TestConverterLoader::Load(const std::string& name, int& error) {
  if (asked_) asked_->push_back(name);
  if (missing_) {
    error = ENOENT;
    return nullptr;
  }
  // Loaded as any plug-in found on disk: its conversions run in the helper process.
  return LoadConverterLibrary(TestConverterPath(), error);
}

std::vector<std::string> ConverterCalls(const std::string& log) {
  std::vector<std::string> calls;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) calls.push_back(line);
  return calls;
}

}  // namespace vd::test
