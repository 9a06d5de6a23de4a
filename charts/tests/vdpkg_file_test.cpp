#include "charts/vdpkg_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charts/tests/package_fixture.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

using vd::test::PackageBytes;
using vd::test::WritePackage;

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  vd::os::ReadWholeFile(path, bytes);
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::CreateTruncate));
  ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
}

TEST(VdPkgFileTest, ReadsHeaderEntriesAndBlockSums) {
  vd::test::TempDir dir;
  const std::string path = dir.File("pkg.vdpkg");
  const std::string exact = PackageBytes(1048576, 1), longer = PackageBytes(1048577, 2);
  ASSERT_TRUE(WritePackage(path, "maps.example:8080", "/pkgs/one", "Caf\xC3\xA9 charts",
                           {{"exact.qct", exact}, {"sub/longer.qct", longer}, {"empty", ""}}));

  CVdPkgFile package(path);
  ASSERT_TRUE(package.ok()) << package.error();
  EXPECT_EQ(package.host(), "maps.example:8080");
  EXPECT_EQ(package.title(), "Caf\xC3\xA9 charts");
  EXPECT_EQ(package.folder(), dir.path() + "/");
  EXPECT_EQ(package.total(), 2 * 1048576 + 1);

  VdPkgEntry entry;
  ASSERT_TRUE(package.NextEntry(entry));
  EXPECT_EQ(entry.sums, vd::test::BlockSums(exact));
  EXPECT_EQ(entry.sums.size(), 1u);
  ASSERT_TRUE(package.NextEntry(entry));
  EXPECT_EQ(package.LocalPath(entry), dir.path() + "/sub/longer.qct");
  EXPECT_EQ(package.ServerPath(entry), "/pkgs/one/sub/longer.qct");
  ASSERT_EQ(entry.sums.size(), 2u);
  EXPECT_EQ(entry.sums[1], static_cast<int32_t>(static_cast<uint8_t>(longer.back())));
  ASSERT_TRUE(package.NextEntry(entry));
  EXPECT_EQ(entry.size, 0);
  EXPECT_TRUE(entry.sums.empty());
  EXPECT_FALSE(package.NextEntry(entry));
  EXPECT_TRUE(package.ok());
}

TEST(VdPkgFileTest, ByteSumAddsUnsignedBytesWrappingAt32Bits) {
  const std::vector<uint8_t> high(3, 0xFF);
  EXPECT_EQ(CVdPkgFile::ByteSum(high.data(), high.size()), 3 * 255);
  // 2^24 bytes of 0xFF overflow a 32-bit sum: 0xFF000000 read as int32.
  const std::vector<uint8_t> many(1 << 24, 0xFF);
  EXPECT_EQ(CVdPkgFile::ByteSum(many.data(), many.size()), static_cast<int32_t>(0xFF000000u));
}

TEST(VdPkgFileTest, HelpersListTitleAndMissingBytes) {
  vd::test::TempDir dir;
  const std::string path = dir.File("pkg.vdpkg");
  ASSERT_TRUE(WritePackage(path, "h", "/d", "Title",
                           {{"a.qct", PackageBytes(10, 1)}, {"b/c.qct", PackageBytes(20, 2)}}));
  EXPECT_EQ(ReadPackageTitle(path), "Title");
  EXPECT_EQ(ReadPackageInfo(path), dir.path() + "/a.qct");
  std::vector<std::string> list;
  EXPECT_TRUE(ReadPackageFileList(path, list));
  EXPECT_EQ(list, (std::vector<std::string>{dir.path() + "/a.qct", dir.path() + "/b/c.qct"}));
  EXPECT_EQ(GetPackageMissingBytes(path), 30);
  WriteBytes(dir.File("a.qct"), "x");  // existence only: a wrong file counts as present
  EXPECT_EQ(GetPackageMissingBytes(path), 20);

  const std::string missing = dir.File("none.vdpkg");
  EXPECT_EQ(ReadPackageTitle(missing), "");
  EXPECT_EQ(ReadPackageInfo(missing), "");
  EXPECT_EQ(GetPackageMissingBytes(missing), -1);
}

TEST(VdPkgFileTest, RefusesMalformedDescriptors) {
  vd::test::TempDir dir;
  const std::string good = dir.File("good.vdpkg");
  ASSERT_TRUE(WritePackage(good, "h", "/d", "T", {{"a.qct", PackageBytes(2000000, 1)}}));
  const std::string bytes = ReadBytes(good);
  // Offsets in the good descriptor: magic 4, host 4+2, directory 4+4, title 4+2, total 8.
  const size_t count_at = 4 + 6 + 8 + 6 + 8;

  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string wrong_magic = bytes;
  wrong_magic[0] ^= 1;
  std::string huge_count = bytes;
  huge_count[count_at + 3] = 0x10;
  std::string negative_count = bytes;
  negative_count[count_at + 3] = static_cast<char>(0x80);
  const Case cases[] = {
      {"wrong magic", wrong_magic},
      {"header cut short", bytes.substr(0, count_at + 2)},
      {"count beyond the bytes present", huge_count},
      {"negative count", negative_count},
      {"sums cut short", bytes.substr(0, bytes.size() - 2)},
      {"entry cut short", bytes.substr(0, count_at + 4 + 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("bad.vdpkg");
    WriteBytes(path, c.bytes);
    EXPECT_EQ(GetPackageMissingBytes(path), -1);
    std::vector<std::string> list;
    EXPECT_FALSE(ReadPackageFileList(path, list));
    EXPECT_TRUE(list.empty());
  }
}

TEST(VdPkgFileTest, RefusesEntriesThatLeaveTheFolderOrExceedTheTotal) {
  vd::test::TempDir dir;
  const std::string path = dir.File("bad.vdpkg");
  for (const char* name : {"../up.qct", "/abs.qct", "a/../../b.qct", "C:x.qct", "a\\b.qct",
                           "a//b.qct", "./a.qct", "dir/", ""}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(WritePackage(path, "h", "/d", "T", {{"ok.qct", "xy"}, {name, "abc"}}));
    std::vector<std::string> list;
    EXPECT_FALSE(ReadPackageFileList(path, list));
    EXPECT_EQ(list, std::vector<std::string>{dir.path() + "/ok.qct"});
    EXPECT_EQ(GetPackageMissingBytes(path), -1);
  }
  EXPECT_TRUE(CVdPkgFile::IsSafeName("sub/dir/a b.qct"));

  // An entry larger than the whole package.
  {
    CTypeFileOut out(path);
    int32_t magic = CVdPkgFile::kMagic, count = 1;
    int64_t total = 5, size = 6;
    std::string host = "h", directory = "/d", title = "T", name = "a";
    out.Int32(magic);
    out.String(host);
    out.String(directory);
    out.String(title);
    out.Int64(total);
    out.Int32(count);
    out.String(name);
    out.Int64(size);
    int32_t sum = 0;
    out.Int32(sum);
    ASSERT_TRUE(out.Close());
  }
  EXPECT_EQ(GetPackageMissingBytes(path), -1);
}

}  // namespace
