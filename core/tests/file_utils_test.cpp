#include "core/file_utils.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <vector>

#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace {

void Write(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes));
}

std::string Read(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes)) << path;
  return bytes;
}

// A tree with nested folders and files, plus links that point out of it at a folder and a file
// that must survive.
struct TreeWithLinksOut {
  vd::test::TempDir dir;
  std::string tree = dir.File("tree");
  std::string outside = dir.File("outside");

  TreeWithLinksOut() {
    EXPECT_TRUE(vd::os::MakeFolders(tree + "/a/b/c"));
    EXPECT_TRUE(vd::os::MakeFolders(outside + "/keep"));
    Write(outside + "/keep/precious.txt", std::string(5000, 'p'));
    Write(outside + "/big.bin", std::string(70000, 'b'));
    Write(tree + "/top.txt", "12345");
    Write(tree + "/a/one.bin", std::string(100, 'x'));
    Write(tree + "/a/b/c/deep.bin", std::string(1000, 'y'));
    EXPECT_EQ(::symlink(outside.c_str(), (tree + "/a/link_to_folder").c_str()), 0);
    EXPECT_EQ(::symlink((outside + "/big.bin").c_str(), (tree + "/a/b/link_to_file").c_str()), 0);
    EXPECT_EQ(::symlink("/nonexistent/target", (tree + "/dangling").c_str()), 0);
  }
  void ExpectOutsideIntact() {
    EXPECT_EQ(Read(outside + "/keep/precious.txt"), std::string(5000, 'p'));
    EXPECT_EQ(Read(outside + "/big.bin").size(), 70000u);
  }
};

TEST(FileUtilsTest, DeleteTreesNeverFollowLinksOutOfTheTree) {
  for (bool stop_at_failure : {false, true}) {
    TreeWithLinksOut fixture;
    EXPECT_TRUE(stop_at_failure ? DeleteFolderTree(fixture.tree)
                                : DeleteDirectoryTree(fixture.tree));
    EXPECT_FALSE(vd::os::FileExists(fixture.tree));
    fixture.ExpectOutsideIntact();
  }
}

TEST(FileUtilsTest, DeletingALinkToAFolderRemovesOnlyTheLink) {
  TreeWithLinksOut fixture;
  std::string link = fixture.dir.File("link");
  ASSERT_EQ(::symlink(fixture.tree.c_str(), link.c_str()), 0);
  EXPECT_TRUE(DeleteDirectoryTree(link));
  struct stat st;
  EXPECT_NE(::lstat(link.c_str(), &st), 0);
  EXPECT_EQ(Read(fixture.tree + "/top.txt"), "12345");
  EXPECT_FALSE(DeleteDirectoryTree(fixture.dir.File("missing")));
  EXPECT_FALSE(DeleteDirectoryTree(fixture.tree + "/top.txt"));  // a plain file is no tree
  EXPECT_TRUE(vd::os::FileExists(fixture.tree + "/top.txt"));
}

TEST(FileUtilsTest, DeleteFolderTreeStopsWhereDeleteDirectoryTreeGoesOn) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  for (bool stop_at_failure : {false, true}) {
    vd::test::TempDir dir;
    std::string tree = dir.File("tree");
    ASSERT_TRUE(vd::os::MakeFolders(tree + "/a_locked"));
    Write(tree + "/a_locked/f", "x");
    Write(tree + "/z_after.txt", "z");
    ASSERT_EQ(::chmod((tree + "/a_locked").c_str(), 0500), 0);
    EXPECT_FALSE(stop_at_failure ? DeleteFolderTree(tree) : DeleteDirectoryTree(tree));
    EXPECT_EQ(vd::os::FileExists(tree + "/z_after.txt"), stop_at_failure);
    ::chmod((tree + "/a_locked").c_str(), 0700);
  }
}

TEST(FileUtilsTest, DirectorySizeCountsOnlyFilesInsideTheTree) {
  TreeWithLinksOut fixture;
  EXPECT_EQ(GetDirectorySize(fixture.tree), 5u + 100u + 1000u);
  EXPECT_EQ(GetDirectorySize(fixture.dir.File("missing")), 0u);
}

TEST(FileUtilsTest, SizesAndKinds) {
  vd::test::TempDir dir;
  std::string file = dir.File("f.bin");
  Write(file, std::string(1234, 'z'));
  EXPECT_EQ(GetFileSize64(file), 1234u);
  EXPECT_EQ(GetFileLength(file), 1234u);
  EXPECT_EQ(GetFileSize64(dir.File("missing")), 0u);
  EXPECT_EQ(GetFileLength(dir.File("missing")), 0u);
  EXPECT_EQ(GetFileSize64(dir.path()), 0u);

  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(dir.path()));
  EXPECT_FALSE(FileExists(dir.File("missing")));
  EXPECT_TRUE(IsFolder(dir.path()));
  EXPECT_FALSE(IsFolder(file));
  EXPECT_TRUE(IsNotFolder(file));
  EXPECT_FALSE(IsNotFolder(dir.path()));
  EXPECT_FALSE(IsNotFolder(dir.File("missing")));
}

TEST(FileUtilsTest, CreatesFolderTrees) {
  vd::test::TempDir dir;
  std::string deep = dir.File("a/b/c");
  EXPECT_TRUE(CreateDirectoryTree(deep));
  EXPECT_TRUE(IsDirectory(deep));
  EXPECT_TRUE(CreateFolders(deep));  // already there
  EXPECT_TRUE(CreateFolderTree(dir.File("x/y")));
  Write(dir.File("plain"), "x");
  EXPECT_FALSE(CreateDirectoryTree(dir.File("plain")));
  EXPECT_FALSE(CreateDirectoryTree(dir.File("plain/sub")));
  EXPECT_FALSE(CreateFolderTree(""));
}

TEST(FileUtilsTest, WritableFolderTestLeavesTheUsersFilesAlone) {
  vd::test::TempDir dir;
  Write(dir.File("testfile.tmp"), "mine");
  EXPECT_TRUE(IsWritableFolder(dir.path()));
  EXPECT_EQ(Read(dir.File("testfile.tmp")), "mine");
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 1u);  // no test file left behind
  EXPECT_FALSE(IsWritableFolder(dir.File("missing")));
}

TEST(FileUtilsTest, UniqueIdsFollowTheFileNotTheName) {
  vd::test::TempDir dir;
  Write(dir.File("a"), "1");
  Write(dir.File("b"), "2");
  ASSERT_EQ(::link(dir.File("a").c_str(), dir.File("a2").c_str()), 0);
  uint64_t a = GetFileUniqueId(dir.File("a"));
  EXPECT_NE(a, 0u);
  EXPECT_EQ(GetFileUniqueId(dir.File("a2")), a);
  EXPECT_EQ(GetFileUniqueId(dir.File("./a")), a);
  EXPECT_NE(GetFileUniqueId(dir.File("b")), a);
  EXPECT_NE(GetFileUniqueId(dir.path()), a);
  // A path that can't be examined gets the hash of its text: h = (h + signed byte) << 4.
  EXPECT_EQ(GetFileUniqueId("\x01\xFF"), 240u);  // (((0 + 1) << 4) + -1) << 4
}

TEST(FileUtilsTest, FreeSpace) {
  vd::test::TempDir dir;
  EXPECT_GT(GetDiskFreeSpace64(dir.path()), 0);
  EXPECT_GT(GetDiskFreeSpace64(dir.File("not_yet_written.bin")), 0);  // its folder counts
  EXPECT_EQ(GetDiskFreeSpace64("/nonexistent/folder/file"), -1);
}

TEST(FileUtilsTest, CopiesWithProgressAndCancel) {
  vd::test::TempDir dir;
  std::string source = dir.File("source.bin"), target = dir.File("target.bin");
  std::string bytes;
  for (int i = 0; i < 100000; ++i) bytes += static_cast<char>(i * 7 + i / 256);
  Write(source, bytes);

  std::vector<uint64_t> reports;
  EXPECT_TRUE(CopyFileWithProgress(source, target, [&](uint64_t copied, uint64_t total) {
    EXPECT_EQ(total, bytes.size());
    reports.push_back(copied);
    return true;
  }));
  EXPECT_EQ(Read(target), bytes);
  ASSERT_EQ(reports.size(), (bytes.size() + 16383) / 16384);
  EXPECT_EQ(reports.front(), 16384u);
  EXPECT_EQ(reports.back(), bytes.size());

  // Cancelled half-way: the old target stays as it was, and no temporary file is left.
  Write(target, "old target");
  int calls = 0;
  EXPECT_FALSE(
      CopyFileWithProgress(source, target, [&](uint64_t, uint64_t) { return ++calls < 3; }));
  EXPECT_EQ(Read(target), "old target");
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 2u);

  // Small files are copied without progress reports.
  Write(source, "small");
  EXPECT_TRUE(CopyFileWithProgress(source, target, [](uint64_t, uint64_t) {
    ADD_FAILURE() << "no progress for small files";
    return true;
  }));
  EXPECT_EQ(Read(target), "small");

  EXPECT_FALSE(CopyFileBytes(dir.File("missing"), target));
  EXPECT_EQ(Read(target), "small");
  EXPECT_FALSE(CopyFileBytes(source, dir.File("no/such/folder/t")));
  EXPECT_TRUE(CopyFileBytes(source, source));  // onto itself: unchanged
  EXPECT_EQ(Read(source), "small");
}

// A plain byte copy never shows the copy window, whatever the file's size; the copy with
// progress shows it for large files only.
TEST(FileUtilsTest, PlainCopyShowsNoWindow) {
  vd::test::TempDir dir;
  const std::string source = dir.File("source.bin"), target = dir.File("target.bin");
  const std::string bytes(50000, 'q');
  Write(source, bytes);
  std::vector<std::string> windows;
  SetCopyProgressWindow([&](const std::string& title, uint64_t) -> CopyProgress {
    windows.push_back(title);
    return [](uint64_t, uint64_t) { return true; };
  });
  EXPECT_TRUE(CopyFileBytes(source, target));
  EXPECT_EQ(Read(target), bytes);
  EXPECT_TRUE(windows.empty());
  EXPECT_TRUE(CopyFileWithProgress(source, dir.File("second.bin")));
  EXPECT_EQ(windows, std::vector<std::string>{"Copying " + source + " To " + dir.File("second.bin")});
  SetCopyProgressWindow(nullptr);
}

TEST(FileUtilsTest, SeekReachesBeyondFourGigabytes) {
  vd::test::TempDir dir;
  const std::string path = dir.File("sparse.bin");
  Write(path, "0123456789");
  vd::os::File file;
  ASSERT_TRUE(file.Open(path, vd::os::File::Mode::Read));
  constexpr int64_t kFar = (int64_t{5} << 30) + 3;
  EXPECT_EQ(SeekFile64(file, kFar, SEEK_SET), kFar);
  EXPECT_EQ(SeekFile64(file, -kFar + 7, SEEK_CUR), 7);
  EXPECT_EQ(SeekFile64(file, -2, SEEK_END), 8);
  char c = 0;
  ASSERT_EQ(file.Read(&c, 1), 1);
  EXPECT_EQ(c, '8');
  EXPECT_EQ(SeekFile64(file, -100, SEEK_SET), -1);  // before the start: refused, not moved
  EXPECT_EQ(SeekFile64(file, 0, SEEK_CUR), 9);
}

// The disk fills half way through a copy (a file size limit stands in for the full disk): the
// copy fails, no part of it is left, and an older target and the source are as they were.
TEST(FileUtilsTest, CopyThatRunsOutOfSpaceLeavesNothingHalfWritten) {
  vd::test::TempDir dir;
  const std::string source = dir.File("source.bin"), target = dir.File("target.bin");
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(i * 11 + i / 509);
  Write(source, bytes);
  Write(target, "older copy");

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);  // a refused write fails with EFBIG
  rlimit limited = saved;
  limited.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool copied = CopyFileWithProgress(source, target);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_FALSE(copied);
  EXPECT_EQ(Read(target), "older copy");
  EXPECT_EQ(Read(source), bytes);
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 2u) << "no temporary file left";
}

TEST(FileUtilsTest, ReadsLines) {
  vd::test::TempDir dir;
  std::string path = dir.File("lines.txt");
  Write(path, "0123456789\nsecond \xFF line\r\nlast");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::string line;
  EXPECT_TRUE(ReadLine(file, line, 4));
  EXPECT_EQ(line, "0123");  // the rest of the long line is dropped
  EXPECT_TRUE(ReadLine(file, line, 100));
  EXPECT_EQ(line, "second \xFF line\r");  // byte 0xFF is text, not an end
  EXPECT_TRUE(ReadLine(file, line, 100));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(ReadLine(file, line, 100));
  std::fclose(file);

  const std::pair<std::string, std::string> cases[] = {
      {"\n  \t\n# comment\n  # indented comment\r\n/maps/chart.qct\r\nnext\n", "/maps/chart.qct"},
      {std::string("only\0line", 9), "onlyline"},
      {"\n\n#\n", ""},
      {"", ""},
  };
  for (const auto& [content, first] : cases) {
    Write(path, content);
    EXPECT_EQ(ReadFirstLine(path), first) << content;
  }
  EXPECT_EQ(ReadFirstLine(dir.File("missing")), "");
}

}  // namespace
