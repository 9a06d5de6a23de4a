#include "core/path_utils.h"

#include <gtest/gtest.h>

namespace {

TEST(PathUtilsTest, SplitsPathsWithEitherSeparator) {
  struct Case {
    const char* path;
    const char* directory;
    const char* file_name;
    const char* title;
    const char* extension;
  };
  const Case cases[] = {
      {"/home/u/charts/Solent.qct", "/home/u/charts", "Solent.qct", "Solent", "qct"},
      {"C:\\Maps\\Solent.QCT", "C:\\Maps", "Solent.QCT", "Solent", "QCT"},
      {"C:\\Maps/mixed\\a.b.c", "C:\\Maps/mixed", "a.b.c", "a.b", "c"},
      {"file.txt", ".", "file.txt", "file", "txt"},
      {"C:file.txt", "C", "file.txt", "file", "txt"},  // drive-relative name
      {"a.b/c", "a.b", "c", "c", ""},                  // the dot of a folder does not count
      {"a.b\\c", "a.b", "c", "c", ""},
      {"/data/chart:1.qct", "/data", "chart:1.qct", "chart:1", "qct"},  // ':' in a Linux name
      {"noext", ".", "noext", "noext", ""},
      {"dir/", "dir", "", "", ""},
      {"/x", "", "x", "x", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetPathDirectory(c.path), c.directory) << c.path;
    EXPECT_EQ(GetFolderOfPath(c.path), c.directory) << c.path;
    EXPECT_EQ(GetPathFileName(c.path), c.file_name) << c.path;
    EXPECT_EQ(GetPathTitle(c.path), c.title) << c.path;
    EXPECT_EQ(GetFileTitleOfPath(c.path), c.title) << c.path;
    EXPECT_EQ(GetPathExtension(c.path), c.extension) << c.path;
    EXPECT_EQ(GetExtensionOfPath(c.path), c.extension) << c.path;
  }
}

TEST(PathUtilsTest, ReplacesExtensions) {
  struct Case {
    const char* path;
    const char* ext;
    const char* replaced;  // ReplacePathExtension
    const char* changed;   // ChangeFileExtension
  };
  const Case cases[] = {
      {"a.b/c", "txt", "a.b/c.txt", "a.b/c.txt"},
      {"dir\\chart.qct", "qed", "dir\\chart.qed", "dir\\chart.qed"},
      {"dir/chart.qct", ".qed", "dir/chart..qed", "dir/chart.qed"},
      {"chart.tar.gz", "zip", "chart.tar.zip", "chart.tar.zip"},
      {"chart.", "qed", "chart.qed", "chart.qed"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplacePathExtension(c.path, c.ext), c.replaced) << c.path;
    EXPECT_EQ(ReplaceExtension(c.path, c.ext), c.replaced) << c.path;
    EXPECT_EQ(ChangeFileExtension(c.path, c.ext), c.changed) << c.path;
  }
  const std::pair<const char*, const char*> file_cases[] = {
      {"route.jpr", "route.qed"},
      {"C:\\a.b\\route", "C:\\a.b\\route.qed"},
      {".hidden", ".hidden.qed"},
      {"x/.hidden", "x/.qed"},
  };
  for (const auto& [path, expected] : file_cases)
    EXPECT_EQ(ReplaceFileExtension(path, ".qed"), expected) << path;
}

TEST(PathUtilsTest, ExtensionTestIgnoresCase) {
  EXPECT_TRUE(PathHasExtension("/m/Chart.QCT", "qct"));
  EXPECT_TRUE(PathHasExtension("C:\\m\\chart.qct", "QCT"));
  EXPECT_FALSE(PathHasExtension("/m/chartqct", "qct"));  // the dot is required
  EXPECT_FALSE(PathHasExtension("/m/chart.qct2", "qct"));
  EXPECT_FALSE(PathHasExtension("qct", "qct"));
}

TEST(PathUtilsTest, PrefixesRelativePathsAndSafeNames) {
  EXPECT_EQ(StripPathPrefix("/Home/U/Overlays/icons/a.png", "/home/u/overlays/"), "icons/a.png");
  EXPECT_EQ(StripPathPrefix("/other/a.png", "/home/u/"), "/other/a.png");
  EXPECT_EQ(StripPathPrefix("/h", "/home/"), "/h");

  const std::pair<const char*, bool> relative[] = {
      {"icons/a.png", true}, {"a.png", true},   {"..\\up", true}, {"", false},
      {"/abs", false},       {"\\abs", false},  {"C:\\x", false}, {"c:x", false},
      {"http://h/x", false}, {"dir:1/x", true},
  };
  for (const auto& [path, expected] : relative) EXPECT_EQ(IsRelativePath(path), expected) << path;

  EXPECT_EQ(MakeSafeFileName("My icon (v2)/x.png"), "My_icon_v2xpng");
  EXPECT_EQ(MakeSafeFileName(std::string(45, 'a') + "bbbbbcccc"), std::string(45, 'a') + "bbbbb");
  EXPECT_EQ(MakeSafeFileName("Caf\xC3\xA9"), "Caf");
}

}  // namespace
