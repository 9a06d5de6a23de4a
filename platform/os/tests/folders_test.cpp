#include "platform/os/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
                                               "XDG_RUNTIME_DIR", "XDG_DOCUMENTS_DIR"};
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
  EXPECT_EQ(tmp_ + "/Vardune", TempFolder());
  EXPECT_TRUE(IsDirectory(tmp_ + "/Vardune"));
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

TEST_F(FoldersTest, ProgramFolderHoldsThisProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ('/', folder[0]);
  const std::string name = program_invocation_short_name;
  EXPECT_EQ(IdentifyFile("/proc/self/exe"), IdentifyFile(folder + "/" + name));
}

}  // namespace
}  // namespace vd::os
