// Fuzz target: the API transaction file, read field by field in the order the input's first
// bytes choose (each picks the next field's kind), as request handlers read their arguments.
#include <cstddef>
#include <cstdint>
#include <string>

#include "corvex/vd_transaction.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t kinds = size < 16 ? size : 16;
  const std::string path = vd::fuzz::WriteInput("VDAPI2.dat", data + kinds, size - kinds);
  CVD_transaction file(path);
  for (size_t i = 0; i < kinds; ++i) {
    int32_t i32;
    uint32_t u32;
    bool flag;
    double d;
    float f;
    ApiHandle handle;
    std::string text;
    int result = 0;
    switch (data[i] % 7) {
      case 0: result = file.ReadInt(i32); break;
      case 1: result = file.ReadUInt(u32); break;
      case 2: result = file.ReadBool(flag); break;
      case 3: result = file.ReadDouble(d); break;
      case 4: result = file.ReadFloat(f); break;
      case 5: result = file.ReadHandle(handle); break;
      case 6: result = file.ReadString(text); break;
    }
    if (result != 0) break;
  }
  file.Close();
  return 0;
}
