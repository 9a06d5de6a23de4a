#pragma once
// A pseudo-terminal pair standing in for a serial cable: code under test opens slave_path()
// as its port, the test plays the device on master_fd(). Both ends start in raw mode, and the
// pair keeps its own slave descriptor open so that the port may be opened and closed freely.
#include <string>
#include <string_view>

namespace vd::test {

class PtyPair {
 public:
  PtyPair() = default;
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Open();
  const std::string& slave_path() const { return slave_path_; }
  int master_fd() const { return master_; }

  // The device's side: write everything, or read exactly `size` bytes within timeout_ms
  // (fewer when the time runs out).
  bool WriteToMaster(std::string_view bytes);
  std::string ReadFromMaster(size_t size, int timeout_ms = 60000);

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

}  // namespace vd::test
