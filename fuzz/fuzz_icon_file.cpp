// Fuzz target: a custom icon as the icon library loads it from its files: the image, its "_c"
// colour layer and its "_xy.txt" hot spot. The input holds the three files in that order,
// separated by lines "--layer--" and "--xy--" (either may be missing).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "overlays/icon_library.h"
#include "platform/os/files.h"

namespace {

// The part of text before `separator`, the rest after it left in text; all of it when absent.
std::string_view TakeUntil(std::string_view& text, std::string_view separator) {
  const size_t at = text.find(separator);
  const std::string_view part = text.substr(0, at);
  text = at == std::string_view::npos ? std::string_view() : text.substr(at + separator.size());
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  vd::fuzz::WriteInput("buoy.bmp", TakeUntil(rest, "\n--layer--\n"));
  const std::string layer = vd::fuzz::Folder() + "/buoy_c.bmp";
  const std::string hot_spot = vd::fuzz::Folder() + "/buoy_xy.txt";
  vd::os::RemoveFile(layer);
  vd::os::RemoveFile(hot_spot);
  const std::string_view layer_bytes = TakeUntil(rest, "\n--xy--\n");
  if (!layer_bytes.empty()) vd::fuzz::WriteInput("buoy_c.bmp", layer_bytes);
  if (!rest.empty()) vd::fuzz::WriteInput("buoy_xy.txt", rest);
  CIconLibrary& library = CIconLibrary::Get();
  (void)library.LoadIconFile(vd::fuzz::Folder() + "/buoy.bmp", 5000);
  return 0;
}
