#include "platform/os/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace vd::os {
namespace {

// Points HOME and TMPDIR into a temporary folder, clears the XDG variables, and puts everything
// back afterwards.
class FoldersTest : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"HOME", "TMPDIR", "XDG_CONFIG_HOME",
                                               "XDG_RUNTIME_DIR", "XDG_DOCUMENTS_DIR",
                                               "XDG_CACHE_HOME"};
  void SetUp() override {
    for (const char* name : kVariables) {
      saved_.emplace_back(name, GetEnv(name));
      UnsetEnv(name);
    }
    home_ = dir_.File("home");
    tmp_ = dir_.File("tmp");
    ASSERT_TRUE(MakeFolders(home_));
    ASSERT_TRUE(MakeFolders(tmp_));
    SetEnv("HOME", home_);
    SetEnv("TMPDIR", tmp_ + "/");
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) SetEnv(name, *value);
      else UnsetEnv(name);
    }
  }
  void WriteUserDirs(const std::string& line) {
    ASSERT_TRUE(MakeFolders(home_ + "/.config"));
    ASSERT_TRUE(SaveFileAtomically(home_ + "/.config/user-dirs.dirs",
                                   "# written by a test\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n" +
                                       line + "\n"));
  }

  test::TempDir dir_;
  std::string home_, tmp_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(FoldersTest, HomeConfigAndTemp) {
  EXPECT_EQ(home_, HomeFolder());
  EXPECT_EQ(home_ + "/.config", ConfigFolder());
  SetEnv("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(home_ + "/.config", ConfigFolder());
  SetEnv("XDG_CONFIG_HOME", dir_.File("cfg"));
  EXPECT_EQ(dir_.File("cfg"), ConfigFolder());

  EXPECT_EQ(tmp_, SystemTempFolder());  // without the trailing '/'
  UnsetEnv("TMPDIR");
  EXPECT_EQ("/tmp", SystemTempFolder());
}

TEST_F(FoldersTest, DocumentsFromUserDirs) {
  ASSERT_TRUE(MakeFolders(home_ + "/My \"Docs\""));
  struct Case {
    std::string line;
    std::string expected;
  } cases[] = {
      {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"", home_ + "/My \"Docs\""},
      {"  XDG_DOCUMENTS_DIR=\"" + tmp_ + "/\"", tmp_},           // absolute, trailing '/'
      {"XDG_DOCUMENTS_DIR=\"$HOME/\"", home_ + "/Documents"},    // home itself is refused
      {"XDG_DOCUMENTS_DIR=\"$HOME/Gone\"", home_ + "/Documents"},  // must exist
      {"XDG_DOCUMENTS_DIR=\"Docs\"", home_ + "/Documents"},      // relative
      {"XDG_DOCUMENTS_DIRX=\"" + tmp_ + "\"", home_ + "/Documents"},
  };
  for (const auto& c : cases) {
    WriteUserDirs(c.line);
    EXPECT_EQ(c.expected, DocumentsFolder()) << c.line;
  }
  // Without the file the variable of that name is used, as the desktop's own tool does.
  ASSERT_TRUE(RemoveFile(home_ + "/.config/user-dirs.dirs"));
  SetEnv("XDG_DOCUMENTS_DIR", tmp_);
  EXPECT_EQ(tmp_, DocumentsFolder());
}

TEST_F(FoldersTest, RuntimeFolderIsPrivate) {
  SetEnv("XDG_RUNTIME_DIR", dir_.File("run"));
  EXPECT_EQ(dir_.File("run"), RuntimeFolder());
  UnsetEnv("XDG_RUNTIME_DIR");

  const std::string expected = tmp_ + "/vardune-runtime-" + std::to_string(::geteuid());
  ASSERT_EQ(0, ::mkdir(expected.c_str(), 0755));  // left too open by someone
  EXPECT_EQ(expected, RuntimeFolder());
  struct stat st;
  ASSERT_EQ(0, ::stat(expected.c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);

  // A link planted under that name is not followed.
  ASSERT_EQ(0, ::rmdir(expected.c_str()));
  ASSERT_EQ(0, ::symlink(dir_.path().c_str(), expected.c_str()));
  const std::string fallback = home_ + "/.cache/vardune-runtime";
  EXPECT_EQ(fallback, RuntimeFolder());
  ASSERT_EQ(0, ::lstat(fallback.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(0700u, st.st_mode & 0777);
}

// The owner and permission bits of a folder (not followed when a link); nullopt when missing.
std::optional<std::pair<uid_t, mode_t>> OwnerAndMode(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return std::pair{st.st_uid, st.st_mode & 07777};
}

// The temporary folder is the user's own: under the session's runtime folder, else under the
// user's cache folder; made private; refused when it is not.
TEST_F(FoldersTest, TempFolderIsPrivateToItsUser) {
  const std::string run = dir_.File("run");
  ASSERT_TRUE(MakeFolders(run));
  SetEnv("XDG_RUNTIME_DIR", run);
  EXPECT_EQ(run + "/Vardune", TempFolder());
  EXPECT_EQ(OwnerAndMode(run + "/Vardune"), std::pair(::geteuid(), mode_t{0700}));
  EXPECT_EQ("", TempFolderProblem());

  UnsetEnv("XDG_RUNTIME_DIR");
  EXPECT_EQ(home_ + "/.cache/Vardune/temp", TempFolder());
  SetEnv("XDG_CACHE_HOME", dir_.File("cache"));
  EXPECT_EQ(dir_.File("cache") + "/Vardune/temp", TempFolder());
  EXPECT_EQ(OwnerAndMode(dir_.File("cache/Vardune/temp")), std::pair(::geteuid(), mode_t{0700}));
  EXPECT_EQ("", TempFolderProblem());

  // What another user or an open folder would do is refused, and said plainly; the folder is
  // left as it is.
  const std::string folder = dir_.File("cache/Vardune/temp");
  ASSERT_EQ(0, ::chmod(folder.c_str(), 0777));
  EXPECT_EQ("The folder for temporary files " + folder +
                " can be entered by other users. Make it private to you (chmod 700) or "
                "remove it.",
            TempFolderProblem());
  EXPECT_EQ(OwnerAndMode(folder), std::pair(::geteuid(), mode_t{0777}));
  ASSERT_EQ(0, ::rmdir(folder.c_str()));
  ASSERT_EQ(0, ::symlink(run.c_str(), folder.c_str()));
  EXPECT_EQ("The folder for temporary files " + folder +
                " is not a folder but a link. Remove it, so that a private folder can be made "
                "there.",
            TempFolderProblem());
  ASSERT_EQ(0, ::unlink(folder.c_str()));
  if (::geteuid() != 0) GTEST_SKIP() << "a folder of another user needs root to make";
  ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
  ASSERT_EQ(0, ::chown(folder.c_str(), 65534, 65534));
  EXPECT_EQ("The folder for temporary files " + folder +
                " belongs to another user. Remove it, so that a private folder can be made "
                "there.",
            TempFolderProblem());
}

// Two users on one machine, each in a home of their own, each get a temporary folder of their
// own that the other may not use.
TEST_F(FoldersTest, EachUserHasATempFolderOfTheirOwn) {
  if (::geteuid() != 0) GTEST_SKIP() << "a second user needs root to become";
  constexpr uid_t kOther = 65534;
  const std::string other_home = dir_.File("other");
  ASSERT_TRUE(MakeFolders(other_home));
  ASSERT_EQ(0, ::chown(other_home.c_str(), kOther, kOther));
  ASSERT_EQ(0, ::chmod(dir_.path().c_str(), 0755));  // the other user reaches their home
  const std::string mine = TempFolder();
  ASSERT_EQ("", TempFolderProblem());

  // The other user's program, in a process of its own.
  int pipe_fds[2];
  ASSERT_EQ(0, ::pipe(pipe_fds));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fds[0]);
    if (::setgid(kOther) != 0 || ::setuid(kOther) != 0) ::_exit(2);
    SetEnv("HOME", other_home);
    const std::string theirs = TempFolder() + "\n" + TempFolderProblem();
    const bool written = ::write(pipe_fds[1], theirs.data(), theirs.size()) ==
                         static_cast<ssize_t>(theirs.size());
    ::_exit(written ? 0 : 3);
  }
  ::close(pipe_fds[1]);
  std::string theirs;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) theirs.append(buffer, size_t(n));
  ::close(pipe_fds[0]);
  int status = 0;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const std::string their_folder = other_home + "/.cache/Vardune/temp";
  EXPECT_EQ(their_folder + "\n", theirs) << "their folder, and nothing wrong with it";
  EXPECT_NE(mine, their_folder);
  EXPECT_EQ(OwnerAndMode(their_folder), std::pair(kOther, mode_t{0700}));
  EXPECT_EQ(OwnerAndMode(mine), std::pair(::geteuid(), mode_t{0700}));
  // Neither may use the other's.
  EXPECT_NE("", PrivateFolderProblem(their_folder));
}

TEST_F(FoldersTest, ProgramFolderHoldsThisProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ('/', folder[0]);
  const std::string name = program_invocation_short_name;
  EXPECT_EQ(IdentifyFile("/proc/self/exe"), IdentifyFile(folder + "/" + name));
}

}  // namespace
}  // namespace vd::os
