#pragma once
// One request of the API client (lumex/api_client.h): holds the API mutex from construction to
// destruction, writes the request's fields into the transaction file, sends the request code
// and reads the reply's fields. The file opens by itself in one direction at a time: the first
// write creates it afresh, the first read after the send opens what the chart program wrote.
// Every field operation returns 0, or 8 when the file can't be opened or a field is cut short.
//
// One thread uses an object; the mutex is recursive for that thread, so a request may run a
// second one inside its turn.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/files.h"
#include "platform/os/named_mutex.h"

inline constexpr char kApiClientMutexName[] = "Vardune-API-mutex";

class CApiClientTransaction {
 public:
  static constexpr int kLockWaitMs = 60000;
  static constexpr int32_t kMaxStringLength = 99999;
  static constexpr uintptr_t kRequestNotice = 16;  // wparam of the request message

  // Waits at most lock_wait_ms for the mutex (0: takes it only when free). The file is
  // `path`; requests go to the window listening as `window_class` ("" when there is none).
  CApiClientTransaction(std::string path, std::string window_class,
                        int lock_wait_ms = kLockWaitMs);
  ~CApiClientTransaction();
  CApiClientTransaction(const CApiClientTransaction&) = delete;
  CApiClientTransaction& operator=(const CApiClientTransaction&) = delete;

  // Whether the mutex was had; a transaction without it does nothing.
  bool locked() const { return locked_; }

  int WriteInt(int32_t value);
  int WriteDouble(double value);
  // UTF-8 in, Windows-1252 on the wire ('?' where it has no byte); "" is the null string.
  int WriteString(std::string_view value);

  int ReadInt(int32_t& value);
  int ReadBool(bool& value);
  int ReadDouble(double& value);
  int ReadFloat(float& value);  // a double on the wire

  // Closes the file and sends the request: the chart program's result, or 4 when no window
  // answers (gone, or silent for the transport's time limit). A request whose fields were not
  // all written is not sent: the I/O error.
  int Send(uintptr_t code);

 private:
  enum class Direction { kClosed, kReading, kWriting };
  bool OpenFor(Direction direction);
  int Write(const void* data, size_t size);
  int Read(void* data, size_t size);

  vd::os::NamedMutex mutex_;
  bool locked_ = false;
  std::string path_;
  std::string window_class_;
  vd::os::File file_;
  Direction direction_ = Direction::kClosed;
  bool write_failed_ = false;  // a field of the request is missing from the file
};
