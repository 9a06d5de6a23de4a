#include "charts/qct_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "charts/quick_chart_header.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

std::string Contents(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes));
  return bytes;
}

TEST(QctWriterTest, AppendsStringsAlignedPartsAndTiles) {
  vd::test::TempDir dir;
  const std::string path = dir.File("out.qct");
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate));
  QctWriter out(file);
  EXPECT_EQ(0u, out.AppendZeros(3));
  EXPECT_EQ(0u, QctAppendString("", out));  // nothing written
  EXPECT_EQ(3u, out.position());
  EXPECT_EQ(3u, QctAppendString("K\xC3\xB8" "be \xE2\x82\xAC \xE2\x9C\x93", out));  // Købe € ✓
  EXPECT_EQ(12u, out.position());
  EXPECT_EQ(16u, out.Align8());
  std::array<uint8_t, kTilePixels> tile;
  tile.fill(7);
  EXPECT_EQ(16u, out.AppendTile(tile));
  EXPECT_EQ(18u, out.position());  // a one-colour tile is two bytes
  EXPECT_TRUE(out.PadToWord());
  const std::array<uint8_t, 2> patch = {0xAB, 0xCD};
  out.WriteAt(0, patch);
  EXPECT_EQ(20u, out.position());
  EXPECT_TRUE(out.ok());
  file.Close();
  EXPECT_EQ(std::string("\xAB\xCD\0K\xF8" "be \x80 ?\0\0\0\0\0\0\x07\0\0", 20), Contents(path));
}

TEST(QctWriterTest, AppendingToAnExistingFileStartsAtItsEnd) {
  vd::test::TempDir dir;
  const std::string path = dir.File("patch.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "abcde"));
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::ReadWrite));
  QctWriter out(file, uint64_t(file.Size()));
  EXPECT_EQ(8u, out.Align8());
  EXPECT_EQ(8u, QctAppendString("none", out));
  file.Close();
  EXPECT_EQ(std::string("abcde\0\0\0none\0", 13), Contents(path));
}

TEST(QctWriterTest, FailuresAreKept) {
  vd::test::TempDir dir;
  const std::string path = dir.File("ro.qct");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "x"));
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::Read));
  QctWriter read_only(file, 1);
  EXPECT_EQ(0u, QctAppendString("text", read_only));
  EXPECT_FALSE(read_only.ok());
  EXPECT_EQ(1u, read_only.position());
  file.Close();

  // Offsets are 32 bits: a part can't start at 4 GiB.
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::ReadWrite));
  QctWriter far(file, uint64_t{1} << 32);
  EXPECT_EQ(0u, far.AppendZeros(1));
  EXPECT_FALSE(far.ok());
  EXPECT_FALSE(far.PadToWord());
  file.Close();
  EXPECT_EQ("x", Contents(path));
}

}  // namespace
