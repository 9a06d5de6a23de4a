#include "platform/os/ipc_channel.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/environment.h"
#include "platform/os/message_queue.h"
#include "tests/temp_dir.h"

namespace {

using namespace vd::os;
using Clock = std::chrono::steady_clock;

constexpr char kClass[] = "CorvexMainWnd";

// Each test gets a runtime folder of its own.
class IpcChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = GetEnv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(SetEnv("XDG_RUNTIME_DIR", dir_.path()));
    path_ = IpcSocketPath(kClass);
    ASSERT_EQ(path_, dir_.path() + "/vardune/" + kClass);
  }
  void TearDown() override {
    if (saved_)
      SetEnv("XDG_RUNTIME_DIR", *saved_);
    else
      UnsetEnv("XDG_RUNTIME_DIR");
  }

  bool SocketFileExists() const { return access(path_.c_str(), F_OK) == 0; }

  // Dispatches window's messages on this thread until done() holds (generous deadline).
  template <class Done>
  static bool PumpUntil(MessageWindow& window, Done done) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (Clock::now() > deadline) return false;
      window.WaitAndDispatch(20);
    }
    return true;
  }

  // A raw client connection to the socket.
  int RawConnect() const {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path_.copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  // A socket file at the path that nobody accepts on, as a killed program leaves behind.
  void LeaveDeadSocket() const {
    mkdir((dir_.path() + "/vardune").c_str(), 0700);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path_.copy(addr.sun_path, sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
  }

  vd::test::TempDir dir_;
  std::optional<std::string> saved_;
  std::string path_;
};

template <class T>
bool Ready(const std::future<T>& f) {
  return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

TEST_F(IpcChannel, RequestFromAnotherProcessRunsOnTheOwnerThread) {
  std::thread::id handler_thread;
  Message got{};
  MessageWindow window([&](const Message& m) -> intptr_t {
    handler_thread = std::this_thread::get_id();
    got = m;
    return m.lparam * 2 + static_cast<intptr_t>(m.wparam);
  });
  IpcServer server;
  ASSERT_TRUE(server.Listen(kClass, window));

  const intptr_t lparam = -0x123456789LL;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::optional<intptr_t> r = IpcSend(kClass, kUserMessage, 16, lparam);
    _exit(IpcWindowExists(kClass) && r == lparam * 2 + 16 ? 0 : 1);
  }
  int status = 0;
  EXPECT_TRUE(PumpUntil(window, [&] { return waitpid(child, &status, WNOHANG) == child; }));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(got.msg, kUserMessage);
  EXPECT_EQ(got.wparam, 16u);
  EXPECT_EQ(got.lparam, lparam);
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
}

// Texts travel whole, including bytes a C string would end at; an oversized text is refused
// before anything is sent.
TEST_F(IpcChannel, TextsReachTheHandlerWhole) {
  std::vector<std::string> got;
  MessageWindow window([&](const Message& m) -> intptr_t {
    got.push_back(*reinterpret_cast<const std::string*>(m.lparam));
    return 1;
  });
  IpcServer server;
  ASSERT_TRUE(server.Listen(kClass, window));
  const std::vector<std::string> texts = {"/home/u/Map Overlays/a b.gpx", "",
                                          std::string("x\0y", 3), std::string(kIpcMaxText, 'p')};
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = !IpcSendText(kClass, kUserMessage, 14, std::string(kIpcMaxText + 1, 'q'));
    for (const auto& text : texts) ok = ok && IpcSendText(kClass, kUserMessage, 14, text) == 1;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  EXPECT_TRUE(PumpUntil(window, [&] { return waitpid(child, &status, WNOHANG) == child; }));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(got, texts);
}

TEST_F(IpcChannel, LiveServerIsNotStolenAndStopRemovesItsSocket) {
  MessageWindow window([](const Message&) -> intptr_t { return 7; });
  IpcServer first;
  ASSERT_TRUE(first.Listen(kClass, window));
  IpcServer second;
  EXPECT_FALSE(second.Listen(kClass, window));
  EXPECT_TRUE(IpcWindowExists(kClass));

  auto reply = std::async(std::launch::async, [] { return IpcSend(kClass, kUserMessage, 1); });
  EXPECT_TRUE(PumpUntil(window, [&] { return Ready(reply); }));
  EXPECT_EQ(reply.get(), 7);

  first.Stop();
  EXPECT_FALSE(SocketFileExists());
  EXPECT_FALSE(IpcWindowExists(kClass));
  EXPECT_EQ(IpcSend(kClass, kUserMessage, 1), std::nullopt);
}

TEST_F(IpcChannel, DeadSocketIsRemovedByClientsAndReplacedByListen) {
  LeaveDeadSocket();
  ASSERT_TRUE(SocketFileExists());
  EXPECT_EQ(IpcSend(kClass, kUserMessage, 1), std::nullopt);
  EXPECT_FALSE(SocketFileExists());

  LeaveDeadSocket();
  EXPECT_FALSE(IpcWindowExists(kClass));
  EXPECT_FALSE(SocketFileExists());

  LeaveDeadSocket();
  MessageWindow window([](const Message&) -> intptr_t { return 3; });
  IpcServer server;
  ASSERT_TRUE(server.Listen(kClass, window));
  EXPECT_TRUE(IpcWindowExists(kClass));
}

TEST_F(IpcChannel, KilledServerProcessIsDetected) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MessageWindow window([](const Message&) -> intptr_t { return 1; });
    IpcServer server;
    bool ok = server.Listen(kClass, window);
    [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
    for (;;) pause();
  }
  close(ready[1]);
  bool ok = false;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  close(ready[0]);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(IpcWindowExists(kClass));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);

  EXPECT_TRUE(SocketFileExists());
  EXPECT_EQ(IpcSend(kClass, kUserMessage, 1), std::nullopt);
  EXPECT_FALSE(SocketFileExists());
}

TEST_F(IpcChannel, BadFramesAndSilentServersFailCleanly) {
  int handled = 0;
  MessageWindow window([&](const Message&) -> intptr_t { return ++handled, 9; });
  IpcServer server;
  ASSERT_TRUE(server.Listen(kClass, window));

  const std::string frames[] = {
      "",                               // connect and close
      std::string(10, '\x01'),          // cut short
      std::string(24, '\0'),            // wrong magic
  };
  for (const std::string& frame : frames) {
    int fd = RawConnect();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    close(fd);
  }
  auto reply = std::async(std::launch::async, [] { return IpcSend(kClass, kUserMessage, 2); });
  EXPECT_TRUE(PumpUntil(window, [&] { return Ready(reply); }));
  EXPECT_EQ(reply.get(), 9);
  EXPECT_EQ(handled, 1);

  // A server whose owner never answers: the client gives up and the live socket stays.
  EXPECT_EQ(IpcSend(kClass, kUserMessage, 2, 0, 100), std::nullopt);
  EXPECT_TRUE(SocketFileExists());

  // Names that cannot be socket names.
  for (const std::string& name :
       std::vector<std::string>{"", ".", "..", "a/b", std::string(200, 'x')}) {
    EXPECT_EQ(IpcSocketPath(name), "") << name;
    EXPECT_FALSE(IpcServer().Listen(name, window)) << name;
    EXPECT_EQ(IpcSend(name, kUserMessage, 1), std::nullopt) << name;
  }
}

TEST_F(IpcChannel, HandlerMayStopTheServer) {
  IpcServer server;
  MessageWindow window([&](const Message&) -> intptr_t {
    server.Stop();  // as when the request closes the program
    return 1;
  });
  ASSERT_TRUE(server.Listen(kClass, window));
  auto reply = std::async(std::launch::async, [] { return IpcSend(kClass, kUserMessage, 1); });
  EXPECT_TRUE(PumpUntil(window, [&] { return Ready(reply); }));
  reply.get();
  EXPECT_FALSE(IpcWindowExists(kClass));
}

}  // namespace

namespace vd::os {
namespace {

TEST(PlacementText, RoundTripsAndRefusesWhatIsNotFourIntegers) {
  const auto rect = ParsePlacementText(FormatPlacementText(-5, 0, 1920, 99999999999));
  ASSERT_TRUE(rect);
  EXPECT_EQ(rect->left, -5);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->right, 1920);
  EXPECT_EQ(rect->bottom, 99999999999);
  for (const char* bad : {"", "1 2 3", "1 2 3 4 5", "1 2 3 x", "1.5 2 3 4", "1 2 3 4 ",
                          "99999999999999999999 1 2 3"}) {
    EXPECT_FALSE(ParsePlacementText(bad)) << bad;
  }
}

}  // namespace
}  // namespace vd::os
