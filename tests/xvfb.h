#pragma once
// A virtual X display for tests that run programs with windows: an Xvfb server on a display
// number no other server uses, screenshots of its screen (through "xwd"), stopped with the
// object.
#include <optional>
#include <string>

#include "tests/child_process.h"
#include "tests/temp_dir.h"
#include "tests/xwd_image.h"

namespace vd::test {

class Xvfb {
 public:
  // Whether the server program is installed (found in PATH).
  static bool Installed();

  Xvfb() = default;
  // Stops the server and waits for it.
  ~Xvfb();

  // Starts a screen of width x height pixels at 24 bits a pixel and returns once the server
  // takes connections; false with the reason (and the server's output) in `error`.
  bool Start(int width, int height, std::string& error);
  // ":N", for DISPLAY.
  const std::string& display() const { return display_; }
  // The whole screen; nullopt with the reason in `error` when it could not be taken.
  std::optional<RgbImage> Screenshot(std::string& error);

 private:
  TempDir dir_;  // the server's output and the screenshots
  ChildProcess server_;
  std::string display_;
};

}  // namespace vd::test
