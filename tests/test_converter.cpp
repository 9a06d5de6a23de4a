#include "tests/test_converter.h"

#include <cerrno>
#include <fstream>

#include "platform/os/plugin.h"

namespace vd::test {

namespace {

class TestLibrary : public ConverterLibrary {
 public:
  explicit TestLibrary(vd::os::Plugin plugin) : plugin_(std::move(plugin)) {}
  void* Symbol(const std::string& name) override { return plugin_.Symbol(name); }

 private:
  vd::os::Plugin plugin_;
};

}  // namespace

const char* TestConverterPath() { return VD_TEST_CONVERTER_PATH; }

std::unique_ptr<ConverterLibrary> TestConverterLoader::Load(const std::string& name, int& error) {
  if (asked_) asked_->push_back(name);
  vd::os::Plugin plugin;
  if (missing_ || !plugin.Load(TestConverterPath())) {
    error = ENOENT;
    return nullptr;
  }
  return std::make_unique<TestLibrary>(std::move(plugin));
}

std::vector<std::string> ConverterCalls(const std::string& log) {
  std::vector<std::string> calls;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) calls.push_back(line);
  return calls;
}

}  // namespace vd::test
