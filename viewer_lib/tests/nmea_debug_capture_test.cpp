// The NMEA debug capture file in the temporary folder: a link planted at its name is not
// written through.
#include "viewer_lib/nmea_debug_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

TEST(NmeaDebugCapture, ALinkAtTheCaptureFileIsNotWrittenThrough) {
  vd::test::TempDir dir;
  const std::optional<std::string> saved = vd::os::GetEnv("XDG_RUNTIME_DIR");
  vd::os::SetEnv("XDG_RUNTIME_DIR", dir.path());
  const std::string path = NMEADebugCapture::Path();
  ASSERT_EQ(path, dir.path() + "/Vardune/nmea_debug.txt");
  const std::string victim = dir.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);

  EXPECT_FALSE(NMEADebugCapture::Open());
  NMEADebugCapture::Record("$GPRMC,0*00\r\n");
  NMEADebugCapture::Close();
  std::string kept;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "not to be touched");

  // Without the link the capture is made there.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_TRUE(NMEADebugCapture::Open());
  NMEADebugCapture::Record("$GPRMC,0*00\r\n");
  NMEADebugCapture::Close();
  ASSERT_TRUE(vd::os::ReadWholeFile(path, kept));
  EXPECT_EQ(kept, "$GPRMC,0*00\r\n");

  if (saved) vd::os::SetEnv("XDG_RUNTIME_DIR", *saved);
  else vd::os::UnsetEnv("XDG_RUNTIME_DIR");
}

}  // namespace
