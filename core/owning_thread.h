#pragma once
// The thread that owns some state which is never locked: made on that thread, it may be used
// only there. Check ends the program with a message naming the state when another thread
// uses it, instead of letting two threads corrupt it unseen.
#include <thread>

namespace vd {

class OwningThread {
 public:
  OwningThread() : id_(std::this_thread::get_id()) {}
  // what names the state in the message.
  void Check(const char* what) const {
    if (std::this_thread::get_id() != id_) Fail(what);
  }

 private:
  [[noreturn]] static void Fail(const char* what);

  std::thread::id id_;
};

}  // namespace vd
