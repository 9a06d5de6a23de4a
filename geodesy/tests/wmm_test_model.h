#pragma once
// A small coefficient file of the magnetic model for tests: a tilted dipole (degree 1 only;
// every higher coefficient 0) whose tilt the test chooses, so that two files give different
// declinations at one place.
#include <string>

#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace vd::test {

inline bool WriteDipoleModel(const std::string& path, double g11, double h11) {
  std::string text = "    2025.0            WMM-TEST        01/01/2025\n";
  for (int n = 1; n <= 12; ++n) {
    for (int m = 0; m <= n; ++m) {
      double g = 0.0;
      double h = 0.0;
      if (n == 1 && m == 0) g = -29351.8;
      if (n == 1 && m == 1) {
        g = g11;
        h = h11;
      }
      text += vd::os::FormatC("%3d%3d%10.1f%10.1f%10.1f%10.1f\n", n, m, g, h, 0.0, 0.0);
    }
  }
  text += "999999999999999999999999999999999999999999999999\n";
  return vd::os::SaveFileAtomically(path, text);
}

}  // namespace vd::test
