// Fuzz target: the two lookup files of the Township & Range position format. Both files are
// mostly index: each is made here as an index of zeros of its full size with the input's part
// laid over its start (longer parts run on past the index), the forward file's part first,
// then a line "--rvs--" and the reverse file's part. Descriptions are then located and
// positions in the first index cells described.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "geodesy/township_converter.h"

namespace {

constexpr size_t kForwardIndexBytes = 31850 * 4;
constexpr size_t kReverseIndexBytes = 110 * 300 * 8;

void WriteLookup(const char* name, std::string_view part, size_t index_bytes) {
  std::string bytes(std::max(index_bytes, part.size()), '\0');
  std::copy(part.begin(), part.end(), bytes.begin());
  vd::fuzz::WriteInput(name, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("\n--rvs--\n");
  WriteLookup(township_converter::kForwardFileName, input.substr(0, split), kForwardIndexBytes);
  WriteLookup(township_converter::kReverseFileName,
              split == std::string_view::npos ? std::string_view() : input.substr(split + 9),
              kReverseIndexBytes);
  township_converter converter({vd::fuzz::Folder()});
  double lat = 0, lon = 0;
  for (const char* text : {"1-1-001-01-E1", "16-36-001-01-W1", "100, 200 LSD 3-5-1-2-W1", "001 01 W7"})
    (void)converter.ParsePosition(text, lat, lon);
  std::string text;
  for (int cell = 0; cell < 4; ++cell)
    (void)converter.FormatPosition(49.005 + 0.1 * (cell / 2), -122.995 + 0.1 * (cell % 2), text);
  return 0;
}
