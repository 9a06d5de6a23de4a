#include "platform/os/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "tests/temp_dir.h"

namespace vd::os {
namespace {

// Polls check until it holds, for at most 30 s.
bool Eventually(const std::function<bool()>& check) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!check()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Gone means reaped: kill() still reaches a zombie.
bool ProcessGone(int pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

TEST(Spawn, WaitsForExitCodes) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    int exit_code;
  };
  const Case cases[] = {
      {"/bin/true", {}, 0},
      {"/bin/false", {}, 1},
      {"true", {}, 0},  // found through PATH
      {"test", {"a b", "=", "a b"}, 0},
      {"test", {"7", "-gt", "9"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const SpawnResult result = Spawn(c.program, c.args, true);
    EXPECT_TRUE(result.started) << result.error;
    EXPECT_GT(result.pid, 0);
    EXPECT_EQ(result.exit_code, c.exit_code);
  }
}

TEST(Spawn, ReportsWhatCannotStart) {
  for (const char* program : {"/nonexistent/program", "vd-no-such-program", ""}) {
    SCOPED_TRACE(program);
    const SpawnResult result = Spawn(program, {}, true);
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.error, "");
  }
}

// Each argument arrives as one argv entry, byte for byte: a shell would split, expand or run it.
TEST(Spawn, PassesArgumentsLiterally) {
  test::TempDir dir;
  const std::string odd_names[] = {"two words", "semi;colon && $(echo x) `y` $HOME", "*?[a]|<>'\"\\", "-dash"};
  std::vector<std::string> args = {"--"};
  for (const std::string& name : odd_names) args.push_back(dir.File(name));
  const SpawnResult result = Spawn("touch", args, true);
  ASSERT_TRUE(result.started) << result.error;
  EXPECT_EQ(result.exit_code, 0);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(ListFolder(dir.path(), entries));
  ASSERT_EQ(entries.size(), std::size(odd_names));
  for (const std::string& name : odd_names) EXPECT_TRUE(FileExists(dir.File(name))) << name;
}

TEST(Spawn, ReapsChildrenNotWaitedFor) {
  std::vector<int> pids;
  for (int i = 0; i < 3; ++i) {
    const SpawnResult result = Spawn("/bin/true", {}, false);
    ASSERT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exit_code, -1);
    pids.push_back(result.pid);
  }
  for (int pid : pids) EXPECT_TRUE(Eventually([pid] { return ProcessGone(pid); })) << pid;
}

// A stand-in "xdg-open" (touch, found first in PATH) shows what the desktop would be handed.
TEST(OpenDocument, HandsThePathToXdgOpen) {
  test::TempDir dir;
  ASSERT_EQ(::symlink("/usr/bin/touch", dir.File("xdg-open").c_str()), 0);
  const auto saved_path = GetEnv("PATH");
  ASSERT_TRUE(SetEnv("PATH", dir.path()));
  const std::string document = dir.File("chart notes & more.txt");
  const bool opened = OpenDocument(document);
  ASSERT_TRUE(saved_path ? SetEnv("PATH", *saved_path) : UnsetEnv("PATH"));
  ASSERT_TRUE(opened);
  EXPECT_TRUE(Eventually([&] { return FileExists(document); }));

  ASSERT_TRUE(SetEnv("PATH", dir.File("empty")));
  EXPECT_FALSE(OpenDocument(document));
  ASSERT_TRUE(saved_path ? SetEnv("PATH", *saved_path) : UnsetEnv("PATH"));
}

}  // namespace
}  // namespace vd::os
