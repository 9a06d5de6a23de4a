#pragma once
// The converter plug-in built for tests (tests/converter_plugin): a loader that loads it for
// every converter library name, as any plug-in found on disk (its conversions run in the
// helper process), or fails every load; and the plug-in's record of its calls.
#include <memory>
#include <string>
#include <vector>

#include "charts/converter_plugins.h"

namespace vd::test {

// Path of the built test plug-in.
const char* TestConverterPath();

// Loads the test plug-in whatever library is asked for; with `missing`, no library loads
// (error ENOENT). Records the names asked for.
class TestConverterLoader : public ConverterLibraryLoader {
 public:
  explicit TestConverterLoader(bool missing = false, std::vector<std::string>* asked = nullptr)
      : missing_(missing), asked_(asked) {}
  std::unique_ptr<ConverterLibrary> Load(const std::string& name, int& error) override;

 private:
  bool missing_;
  std::vector<std::string>* asked_;
};

// The calls the plug-in recorded in `log` (see VD_TEST_CONVERTER_LOG), one line each.
std::vector<std::string> ConverterCalls(const std::string& log);

}  // namespace vd::test
