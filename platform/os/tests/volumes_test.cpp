#include "platform/os/volumes.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include "tests/temp_dir.h"

namespace {

TEST(VolumesTest, FileSystemTypeComesFromTheDevicesMountLine) {
  const std::string table =
      "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
      "97 22 11:0 / /media/user/CHARTS\\0402 ro,nosuid shared:50 - iso9660 /dev/sr0 ro,utf8\n"
      "98 22 11:1 / /media/user/DVD ro master:3 shared:51 - udf /dev/sr1 ro\n"
      "broken line\n"
      "99 22 8:17 / /mnt rw\n";  // no separator: no type
  EXPECT_EQ(vd::os::FileSystemTypeOfDevice(table, makedev(259, 2)), "ext4");
  EXPECT_EQ(vd::os::FileSystemTypeOfDevice(table, makedev(11, 0)), "iso9660");
  EXPECT_EQ(vd::os::FileSystemTypeOfDevice(table, makedev(11, 1)), "udf");
  EXPECT_EQ(vd::os::FileSystemTypeOfDevice(table, makedev(8, 17)), "");
  EXPECT_EQ(vd::os::FileSystemTypeOfDevice(table, makedev(8, 1)), "");
}

TEST(VolumesTest, OrdinaryFoldersAreNoDisc) {
  vd::test::TempDir dir;
  EXPECT_FALSE(vd::os::IsOnOpticalDisc(dir.path()));
  EXPECT_FALSE(vd::os::IsOnOpticalDisc(dir.File("missing")));
}

}  // namespace
