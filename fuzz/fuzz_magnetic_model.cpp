// Fuzz target: the magnetic model's coefficient file (WMM_COF.txt), read and then evaluated at
// a few places and dates, the poles among them.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "geodesy/magnetic_model.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vd::fuzz::WriteInput("WMM_COF.txt", data, size);
  std::string error;
  const std::shared_ptr<const WorldMagneticModel> model = WorldMagneticModel::Load(path, &error);
  if (!model) return 0;
  for (const double year : {model->epoch(), model->epoch() + 4.5, 1900.0}) {
    (void)model->Evaluate(51.5, -0.1, 0, year);
    (void)model->Evaluate(90, 0, 10000, year);
    (void)model->Evaluate(-90, 180, -500, year);
  }
  return 0;
}
