#pragma once
// What the API client tests talk to: the user's runtime, settings and temp folders made
// afresh, and a chart program's main window served from the test's thread while the client
// runs on another.
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/os/environment.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/message_queue.h"
#include "platform/os/profile_store.h"
#include "tests/temp_dir.h"

namespace vd::test {

// Sets an environment variable for the object's life.
class EnvOverride {
 public:
  EnvOverride(std::string name, const std::string& value)
      : name_(std::move(name)), old_(vd::os::GetEnv(name_)) {
    vd::os::SetEnv(name_, value);
  }
  ~EnvOverride() {
    if (old_) {
      vd::os::SetEnv(name_, *old_);
    } else {
      vd::os::UnsetEnv(name_);
    }
  }
  EnvOverride(const EnvOverride&) = delete;
  EnvOverride& operator=(const EnvOverride&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Fresh runtime, settings and temp folders, the temp folder recorded as the chart program
// records it.
struct ApiWorld {
  ApiWorld() {
    vd::os::ProfileStore("Software\\Vardune").SetString("", "temp_folder", temp.path());
  }
  std::string TransactionFile() const { return temp.File("VDAPI2.dat"); }

  TempDir runtime, config, temp;
  EnvOverride runtime_env{"XDG_RUNTIME_DIR", runtime.path()};
  EnvOverride config_env{"XDG_CONFIG_HOME", config.path()};
};

// Runs `client` on a thread of its own while this thread serves `window`'s messages; returns
// what the client returned. Fails the test when the client takes more than a minute.
template <class Result>
Result ServeWhile(vd::os::MessageWindow& window, const std::function<Result()>& client) {
  std::atomic<bool> done{false};
  Result result{};
  std::thread thread([&] {
    result = client();
    done = true;
    window.Post(0);  // wakes the loop below
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done && std::chrono::steady_clock::now() < deadline) window.WaitAndDispatch(100);
  thread.join();  // a client still waiting past the deadline ends with the transport's time-out
  EXPECT_TRUE(done.load()) << "the client did not finish";
  return result;
}

}  // namespace vd::test
