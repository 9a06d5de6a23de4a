#include "platform/os/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include "tests/temp_dir.h"

namespace vd::os {
namespace {

using test::TempDir;

std::string Contents(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
  return bytes;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(ListFolder(folder, entries));
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(AtomicSave, ReplacesWholeFileAndKeepsPermissionsAndLinks) {
  TempDir dir;
  const std::string path = dir.File("settings.txt");
  ASSERT_TRUE(SaveFileAtomically(path, "first"));
  ASSERT_EQ(0, ::chmod(path.c_str(), 0640));
  ASSERT_TRUE(SaveFileAtomically(path, std::string("second\0bytes", 12)));
  EXPECT_EQ(std::string("second\0bytes", 12), Contents(path));
  struct stat st;
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  EXPECT_EQ(std::vector<std::string>{"settings.txt"}, Names(dir.path()));  // no temporary left

  // Saving through a symbolic link rewrites its target and keeps the link.
  const std::string link = dir.File("link.txt");
  ASSERT_EQ(0, ::symlink("settings.txt", link.c_str()));
  ASSERT_TRUE(SaveFileAtomically(link, "third"));
  ASSERT_EQ(0, ::lstat(link.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ("third", Contents(path));
}

// Files of the programs' temporary folder: a symbolic link planted at the name is replaced by
// the new file (the saves) or refused (a plain file opened for writing), and what it points to
// is never written.
TEST(AtomicSave, LinksPlantedAtTemporaryFilesAreNeverWrittenThrough) {
  const struct {
    const char* how;
    bool (*write)(const std::string& path);
    bool replaces;  // else refuses
  } cases[] = {
      {"SaveFileAtomically", [](const std::string& path) {
         return SaveFileAtomically(path, "new", Links::kReplace);
       }, true},
      {"AtomicFileWriter", [](const std::string& path) {
         AtomicFileWriter writer;
         return writer.Open(path, Links::kReplace) && writer.file().Write("new", 3) && writer.Commit();
       }, true},
      {"File", [](const std::string& path) {
         File file;
         return file.Open(path, File::Mode::CreateTruncateNoFollow) && file.Write("new", 3);
       }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    TempDir dir;
    const std::string victim = dir.File("victim.txt");
    ASSERT_TRUE(SaveFileAtomically(victim, "not to be touched"));
    const std::string path = dir.File("planted.dat");
    ASSERT_EQ(0, ::symlink(victim.c_str(), path.c_str()));
    EXPECT_EQ(c.write(path), c.replaces);
    EXPECT_EQ("not to be touched", Contents(victim));
    struct stat st;
    ASSERT_EQ(0, ::lstat(path.c_str(), &st));
    EXPECT_EQ(S_ISLNK(st.st_mode), !c.replaces);
    if (c.replaces) EXPECT_EQ("new", Contents(path));
  }
}

TEST(AtomicSave, FailuresLeaveOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir.File("keep.dat");
  ASSERT_TRUE(SaveFileAtomically(path, "old contents"));

  // A folder that does not exist: nothing is created.
  EXPECT_FALSE(SaveFileAtomically(dir.File("missing/keep.dat"), "new"));
  EXPECT_FALSE(FileExists(dir.File("missing")));

  // A write that fails half way: a child process whose file size limit is below the new size.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // get EFBIG instead of being killed
    struct rlimit limit = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    _exit(SaveFileAtomically(path, std::string(100000, 'x')) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the oversized save succeeded";

  // A streaming save that is dropped before Commit.
  {
    AtomicFileWriter writer;
    ASSERT_TRUE(writer.Open(path));
    ASSERT_TRUE(writer.file().Write("abandoned", 9));
  }
  // A folder the user may not write to (root may write anywhere, so only checked for others).
  if (::geteuid() != 0) {
    ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0555));
    EXPECT_FALSE(SaveFileAtomically(path, "new"));
    ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0755));
  }
  EXPECT_EQ("old contents", Contents(path));
  EXPECT_EQ(std::vector<std::string>{"keep.dat"}, Names(dir.path()));
}

// Saves killed before their commit leave their temporary files; the next save of the same
// file removes them, but not a temporary of a save still in progress nor files of other
// names.
TEST(AtomicSave, NextSaveRemovesTheTemporariesOfKilledSaves) {
  TempDir dir;
  const std::string path = dir.File("userdata.vdo");
  ASSERT_TRUE(SaveFileAtomically(path, "saved"));
  constexpr int kKilledSaves = 3;
  for (int i = 0; i < kKilledSaves; ++i) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      AtomicFileWriter writer;
      if (writer.Open(path) && writer.file().Write("half", 4)) ::raise(SIGKILL);
      _exit(1);
    }
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << i;
  }
  const std::string prefix = AtomicFileWriter::TempPrefix("userdata.vdo");
  // Names like the temporaries' that are not: kept.
  const std::vector<std::string> others = {prefix + "xyz.tmp", prefix + "0123456789.tmp",
                                           ".other.vdo.0badcafe.tmp", "userdata.vdo.corrupt"};
  for (const std::string& name : others) ASSERT_TRUE(SaveFileAtomically(dir.File(name), "x"));
  // Each killed save removed the file of the one before: one is left however many died.
  EXPECT_EQ(Names(dir.path()).size(), 2 + others.size());

  // A save of the same file in progress, as another program may be making.
  AtomicFileWriter in_progress;
  ASSERT_TRUE(in_progress.Open(path));
  ASSERT_TRUE(in_progress.file().Write("later", 5));
  EXPECT_EQ(Names(dir.path()).size(), 2 + others.size()) << "its own file for the last killed one";

  ASSERT_TRUE(SaveFileAtomically(path, "newer"));
  EXPECT_EQ(Names(dir.path()).size(), 2 + others.size()) << "the save in progress keeps its file";
  ASSERT_TRUE(in_progress.Commit());
  EXPECT_EQ(Contents(path), "later");
  std::vector<std::string> expected = others;
  expected.push_back("userdata.vdo");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(dir.path()), expected);
}

TEST(MappedFile, MapsEmptyAndNonEmptyFiles) {
  TempDir dir;
  ASSERT_TRUE(SaveFileAtomically(dir.File("empty"), ""));
  ASSERT_TRUE(SaveFileAtomically(dir.File("full"), "chart bytes"));

  MappedFile empty;
  ASSERT_TRUE(empty.Open(dir.File("empty")));
  EXPECT_TRUE(empty.IsOpen());
  EXPECT_EQ(0u, empty.size());
  EXPECT_NE(nullptr, empty.data());

  MappedFile full;
  ASSERT_TRUE(full.Open(dir.File("full")));
  ASSERT_EQ(11u, full.size());
  EXPECT_EQ(0, std::memcmp(full.data(), "chart bytes", 11));
  // The mapping stays valid when the file is replaced by a save.
  ASSERT_TRUE(SaveFileAtomically(dir.File("full"), "other bytes"));
  EXPECT_EQ(0, std::memcmp(full.data(), "chart bytes", 11));

  MappedFile moved = std::move(full);
  EXPECT_FALSE(full.IsOpen());
  EXPECT_EQ(11u, moved.size());

  MappedFile bad;
  EXPECT_FALSE(bad.Open(dir.File("missing")));
  EXPECT_FALSE(bad.Open(dir.path()));
  EXPECT_FALSE(bad.IsOpen());
}

// Pages let go are read again from the file: the bytes stay what they were.
TEST(MappedFile, ReleasedPagesReadTheSameBytes) {
  TempDir dir;
  std::string bytes(5 * 4096 + 123, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 23);
  ASSERT_TRUE(SaveFileAtomically(dir.File("pages"), bytes));
  MappedFile file;
  ASSERT_TRUE(file.Open(dir.File("pages")));
  ASSERT_EQ(0, std::memcmp(file.data(), bytes.data(), bytes.size()));
  file.Release(100, 3 * 4096);  // parts of pages at either end stay
  file.Release(0, bytes.size());
  file.Release(bytes.size() + 10, 5);
  EXPECT_EQ(0, std::memcmp(file.data(), bytes.data(), bytes.size()));
}

TEST(File, OffsetsBeyondFourGiB) {
  TempDir dir;
  const uint64_t k5GiB = 5ull << 30, k6GiB = 6ull << 30;
  File f;
  ASSERT_TRUE(f.Open(dir.File("sparse"), File::Mode::CreateTruncate));
  ASSERT_TRUE(f.Truncate(k6GiB));  // sparse: takes no disk space
  EXPECT_EQ(static_cast<int64_t>(k6GiB), f.Size());
  ASSERT_TRUE(f.PWrite("far", 3, k5GiB));
  char buf[4] = {};
  EXPECT_EQ(3, f.PRead(buf, 3, k5GiB));
  EXPECT_STREQ("far", buf);
  EXPECT_EQ(0, f.PRead(buf, 3, k6GiB));  // at the end
  ASSERT_TRUE(f.Seek(static_cast<int64_t>(k5GiB) - 1, SEEK_SET));
  char four[4];
  ASSERT_TRUE(f.ReadExact(four, 4));
  EXPECT_EQ(0, std::memcmp(four, "\0far", 4));
  EXPECT_EQ(static_cast<int64_t>(k5GiB) + 3, f.Tell());
  f.Close();
  EXPECT_EQ(k6GiB, FileSize(dir.File("sparse")));
}

TEST(File, ModesReadsAndWrites) {
  TempDir dir;
  const std::string path = dir.File("f");
  File f;
  EXPECT_FALSE(f.Open(path, File::Mode::Read));  // missing
  EXPECT_FALSE(f.Open(path, File::Mode::ReadWrite));
  ASSERT_TRUE(f.Open(path, File::Mode::CreateTruncate));
  ASSERT_TRUE(f.Write("hello", 5));
  ASSERT_TRUE(f.Open(path, File::Mode::Append));  // reopening closes the first
  ASSERT_TRUE(f.Seek(0, SEEK_SET));
  ASSERT_TRUE(f.Write(" world", 6));  // appended whatever the position
  ASSERT_TRUE(f.Open(path, File::Mode::CreateReadWrite));
  EXPECT_EQ(11, f.Size());  // not truncated
  char buf[16];
  EXPECT_EQ(11, f.Read(buf, sizeof buf));  // short read at the end
  EXPECT_EQ("hello world", std::string(buf, 11));
  ASSERT_TRUE(f.Seek(6, SEEK_SET));
  EXPECT_FALSE(f.ReadExact(buf, 6));  // only 5 left
  File moved = std::move(f);
  EXPECT_FALSE(f.IsOpen());
  EXPECT_TRUE(moved.IsOpen());
  ASSERT_TRUE(moved.Open(path, File::Mode::CreateTruncate));
  EXPECT_EQ(0, moved.Size());
}

TEST(Folders, ListWalkAndStopEarly) {
  TempDir dir;
  const std::string root = dir.path();
  ASSERT_TRUE(MakeFolders(root + "/a/b"));
  ASSERT_TRUE(MakeFolders(root + "/a/b"));  // already there
  ASSERT_TRUE(SaveFileAtomically(root + "/a/b/c.txt", "ccc"));
  ASSERT_TRUE(SaveFileAtomically(root + "/a/d.txt", "dd"));
  ASSERT_TRUE(SaveFileAtomically(root + "/e.txt", "e"));
  ASSERT_EQ(0, ::symlink("..", (root + "/a/b/up").c_str()));  // a loop back to a/

  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListFolder(root + "/a", entries));
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("b", entries[0].name);
  EXPECT_TRUE(entries[0].is_dir);
  EXPECT_EQ("d.txt", entries[1].name);
  EXPECT_FALSE(entries[1].is_dir);
  EXPECT_EQ(2u, entries[1].size);
  EXPECT_FALSE(ListFolder(root + "/none", entries));

  auto walk = [&](bool recursive, int stop_after) {
    std::vector<std::string> seen;
    WalkFolder(root, recursive, [&](const std::string& path, const DirEntry& e) {
      EXPECT_EQ(e.name, path.substr(path.rfind('/') + 1));
      seen.push_back(path.substr(root.size() + 1));
      return static_cast<int>(seen.size()) != stop_after;
    });
    return seen;
  };
  // The link loop is listed but not entered: a/ has been entered already.
  EXPECT_EQ((std::vector<std::string>{"a", "a/b", "a/b/c.txt", "a/b/up", "a/d.txt", "e.txt"}),
            walk(true, -1));
  EXPECT_EQ((std::vector<std::string>{"a", "e.txt"}), walk(false, -1));
  EXPECT_EQ((std::vector<std::string>{"a", "a/b", "a/b/c.txt"}), walk(true, 3));
}

TEST(Folders, FindFileNoCase) {
  TempDir dir;
  for (const char* name : {"Chart.QCT", "chart.qct", "\xC3\x84rger.txt", "other"}) {
    ASSERT_TRUE(SaveFileAtomically(dir.File(name), ""));
  }
  struct Case {
    const char* asked;
    std::optional<std::string> found;
  } cases[] = {
      {"chart.qct", "chart.qct"},               // exact match wins
      {"CHART.QCT", "Chart.QCT"},               // else the first in name order
      {"\xC3\xA4RGER.TXT", "\xC3\x84rger.txt"},  // accented capitals fold too
      {"OTHER", "other"},
      {"missing", std::nullopt},
      {"", std::nullopt},
      {"../other", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(c.found, FindFileNoCase(dir.path(), c.asked)) << c.asked;
  EXPECT_EQ(std::nullopt, FindFileNoCase(dir.File("none"), "other"));
}

TEST(Folders, NamesEqualNoCase) {
  EXPECT_TRUE(NamesEqualNoCase("Settings", "sETTINGS"));
  EXPECT_TRUE(NamesEqualNoCase("\xC3\x80-\xC3\x9E", "\xC3\xA0-\xC3\xBE"));  // À-Þ vs à-þ
  EXPECT_FALSE(NamesEqualNoCase("\xC3\x97", "\xC3\xB7"));  // × and ÷ are not a case pair
  EXPECT_FALSE(NamesEqualNoCase("@", "`"));              // 0x40 and 0x60 are not letters
  EXPECT_FALSE(NamesEqualNoCase("\x80", "\xA0"));  // not after the lead byte 0xC3
  EXPECT_FALSE(NamesEqualNoCase("ab", "abc"));
}

TEST(Folders, IdentityFreeSpaceAndQueries) {
  TempDir dir;
  const std::string a = dir.File("a"), b = dir.File("b"), link = dir.File("hard");
  ASSERT_TRUE(SaveFileAtomically(a, "x"));
  ASSERT_TRUE(SaveFileAtomically(b, "x"));
  ASSERT_EQ(0, ::link(a.c_str(), link.c_str()));
  ASSERT_TRUE(IdentifyFile(a));
  EXPECT_EQ(IdentifyFile(a), IdentifyFile(link));
  EXPECT_NE(IdentifyFile(a), IdentifyFile(b));
  EXPECT_EQ(std::nullopt, IdentifyFile(dir.File("none")));

  auto free = FreeSpace(dir.path());
  ASSERT_TRUE(free);
  EXPECT_GT(*free, 0u);
  EXPECT_EQ(std::nullopt, FreeSpace(dir.File("none")));

  EXPECT_TRUE(FileExists(a));
  EXPECT_TRUE(FileExists(dir.path()));
  EXPECT_TRUE(IsDirectory(dir.path()));
  EXPECT_FALSE(IsDirectory(a));
  EXPECT_EQ(1u, FileSize(a));
  EXPECT_EQ(std::nullopt, FileSize(dir.path()));
  EXPECT_TRUE(FileModifiedTime(a));
  EXPECT_TRUE(RenameFile(b, a));  // replaces
  EXPECT_FALSE(FileExists(b));
  EXPECT_TRUE(RemoveFile(a));
  EXPECT_FALSE(RemoveFile(a));
  EXPECT_FALSE(MakeFolders(link + "/sub"));  // a file stands in the way
}

}  // namespace
}  // namespace vd::os
