#include "platform/os/named_mutex.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "tests/temp_dir.h"

namespace vd::os {
namespace {

constexpr const char* kName = "Vardune-API-mutex";

// Runs body on another thread and returns what it returned.
bool OnOtherThread(const std::function<bool()>& body) {
  bool result = false;
  std::thread thread([&] { result = body(); });
  thread.join();
  return result;
}

TEST(NamedMutex, RecursiveForItsThreadExclusiveForOthers) {
  test::TempDir dir;
  NamedMutex mutex(kName, dir.path());
  ASSERT_TRUE(mutex.Lock(0));
  ASSERT_TRUE(mutex.Lock(0));
  // Another thread, even through its own object of the same name, must wait.
  auto other_takes_it = [&] {
    NamedMutex other(kName, dir.path());
    if (!other.Lock(20)) return false;
    other.Unlock();
    return true;
  };
  EXPECT_FALSE(OnOtherThread(other_takes_it));
  mutex.Unlock();
  EXPECT_FALSE(OnOtherThread(other_takes_it));
  EXPECT_FALSE(OnOtherThread([&] {
    mutex.Unlock();  // not the holder: ignored
    return false;
  }));
  mutex.Unlock();
  EXPECT_TRUE(OnOtherThread(other_takes_it));
}

TEST(NamedMutex, DestructorReleasesWhatItHolds) {
  test::TempDir dir;
  {
    NamedMutex mutex(kName, dir.path());
    ASSERT_TRUE(mutex.Lock());
    ASSERT_TRUE(mutex.Lock());
  }
  EXPECT_TRUE(OnOtherThread([&] { return NamedMutex(kName, dir.path()).Lock(0); }));
}

TEST(NamedMutex, InvalidNameNeverLocks) {
  test::TempDir dir;
  EXPECT_FALSE(NamedMutex("../escape", dir.path()).Lock(0));
  EXPECT_FALSE(NamedMutex("", dir.path()).Lock(0));
  EXPECT_FALSE(NamedMutex(kName, dir.File("missing-folder")).Lock(0));
}

// Both ends of a pipe, closed on destruction.
struct Pipe {
  Pipe() { EXPECT_EQ(::pipe(fds), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  void Put(char c) { EXPECT_EQ(::write(fds[1], &c, 1), 1); }
  char Get() {
    char c = 0;
    return ::read(fds[0], &c, 1) == 1 ? c : 0;
  }
  int fds[2];
};

// A forked child holds the mutex until told to release it; the parent's waits, with a time-out
// and without a limit, end when it does.
TEST(NamedMutex, ExcludesAnotherProcess) {
  for (int timeout_ms : {60000, -1}) {
    SCOPED_TRACE(timeout_ms);
    test::TempDir dir;
    Pipe to_child, to_parent;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      NamedMutex mutex(kName, dir.path());
      if (!mutex.Lock()) ::_exit(1);
      to_parent.Put('L');
      if (to_child.Get() != 'R') ::_exit(2);
      mutex.Unlock();
      to_parent.Put('U');
      ::_exit(to_child.Get() == 'E' ? 0 : 3);  // stays alive: the release is Unlock's doing
    }
    NamedMutex mutex(kName, dir.path());
    ASSERT_EQ(to_parent.Get(), 'L');
    EXPECT_FALSE(mutex.Lock(50));
    EXPECT_FALSE(mutex.Lock(0));
    to_child.Put('R');
    EXPECT_TRUE(mutex.Lock(timeout_ms));
    EXPECT_EQ(to_parent.Get(), 'U');
    mutex.Unlock();
    to_child.Put('E');
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
}

}  // namespace
}  // namespace vd::os
