// A client in a second process drives the executor through the transaction file and the main
// window's socket, as the 3D viewer does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>

#include "corvex/api_executor.h"
#include "corvex/tests/api_test_support.h"
#include "corvex/vd_transaction.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/message_queue.h"
#include "platform/os/named_mutex.h"
#include "platform/os/profile_store.h"
#include "tests/temp_dir.h"

namespace {

constexpr int kGenerousMs = 60000;
constexpr int64_t kUnknownCode = 0x7777;

// What the client saw; -1 for a send that got no answer.
struct ClientResults {
  int64_t create_result = -1;
  uint32_t handle = 0;
  int64_t position_result = -1;
  double lat = 0, lon = 0;
  int64_t unknown_result = -1;
  int io_errors = 0;  // sum of the codec results: 0 when every field went through
};

int64_t Send(int64_t code) {
  return vd::os::IpcSend(kApiWindowClass, vd::os::kUserMessage, kApiRequestNotice, code)
      .value_or(-1);
}

// The second process: waits until the parent listens, makes a mark, asks for its position and
// sends a code the server does not know, all under the API mutex.
ClientResults RunClient(int ready_fd) {
  ClientResults r;
  char ready = 0;
  if (read(ready_fd, &ready, 1) != 1) return r;
  vd::os::NamedMutex mutex(kApiMutexName);
  if (!mutex.Lock(kGenerousMs)) return r;
  CVD_transaction t;
  r.io_errors += t.WriteString("Buoy") + t.WriteDouble(50.5) + t.WriteDouble(-4.25) +
                     t.WriteInt(7);
  t.Close();
  r.create_result = Send(5);
  ApiHandle handle{};
  r.io_errors += t.ReadHandle(handle);
  r.handle = static_cast<uint32_t>(handle);
  r.io_errors += t.WriteHandle(handle);
  t.Close();
  r.position_result = Send(14);
  r.io_errors += t.ReadDouble(r.lat) + t.ReadDouble(r.lon);
  t.Close();
  r.unknown_result = Send(kUnknownCode);
  mutex.Unlock();
  return r;
}

// Ends the child if the test leaves early.
struct Child {
  pid_t pid = -1;
  ~Child() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

TEST(ApiTransport, ClientInAnotherProcessIsServedByTheMainWindow) {
  vd::test::TempDir runtime, config, temp;
  const vd::test::ScopedEnv runtime_env("XDG_RUNTIME_DIR", runtime.path());
  const vd::test::ScopedEnv config_env("XDG_CONFIG_HOME", config.path());
  ASSERT_TRUE(vd::os::ProfileStore("Software\\Vardune").SetString("", "temp_folder", temp.path()));
  CVD_transaction::InitApiTransactionFileName();

  int ready[2], results[2];
  ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(results, O_CLOEXEC), 0);
  // Forked before any thread of this process starts, so the child is a plain copy.
  Child child;
  child.pid = fork();
  ASSERT_GE(child.pid, 0);
  if (child.pid == 0) {
    close(ready[1]);
    const ClientResults r = RunClient(ready[0]);
    const bool sent = write(results[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    _exit(sent ? 0 : 1);
  }
  close(ready[0]);
  close(results[1]);

  vd::test::FakeApiHost host;
  std::vector<int64_t> codes;
  vd::os::MessageWindow window([&](const vd::os::Message& m) -> intptr_t {
    if (m.msg != vd::os::kUserMessage || m.wparam != kApiRequestNotice) return 1;
    codes.push_back(m.lparam);
    return ExecuteApiRequest(m.lparam, &host);
  });
  vd::os::IpcServer server;
  ASSERT_TRUE(server.Listen(kApiWindowClass, window));
  ASSERT_EQ(write(ready[1], "go", 1), 1);
  close(ready[1]);

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
  while (waitpid(child.pid, &status, WNOHANG) == 0) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the client did not finish";
    window.WaitAndDispatch(20);
  }
  child.pid = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ClientResults r;
  ASSERT_EQ(read(results[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
  close(results[0]);

  EXPECT_EQ(codes, (std::vector<int64_t>{5, 14, kUnknownCode}));
  EXPECT_EQ(r.create_result, kApiOk);
  EXPECT_NE(r.handle, 0u);
  ASSERT_EQ(host.doc.objects.size(), 1u);
  EXPECT_EQ(host.doc.objects.front()->name, "Buoy");
  EXPECT_EQ(r.position_result, kApiOk);
  EXPECT_EQ(r.lat, 50.5);
  EXPECT_EQ(r.lon, -4.25);
  EXPECT_EQ(r.unknown_result, kApiUnknownRequest);
  EXPECT_EQ(r.io_errors, 0);
}

}  // namespace
