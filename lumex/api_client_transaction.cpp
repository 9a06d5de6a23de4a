#include "lumex/api_client_transaction.h"

#include <bit>
#include <optional>
#include <utility>

#include "lumex/api_client.h"
#include "platform/os/codepage.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/message_queue.h"

static_assert(std::endian::native == std::endian::little, "fields go as they lie in memory");

CApiClientTransaction::CApiClientTransaction(std::string path, std::string window_class,
                                             int lock_wait_ms)
    : mutex_(kApiClientMutexName), path_(std::move(path)), window_class_(std::move(window_class)) {
  locked_ = mutex_.Lock(lock_wait_ms);
}

CApiClientTransaction::~CApiClientTransaction() {
  file_.Close();
  if (locked_) mutex_.Unlock();
}

bool CApiClientTransaction::OpenFor(Direction direction) {
  if (direction_ == direction) return true;
  file_.Close();
  direction_ = Direction::kClosed;
  if (!locked_ || path_.empty()) return false;
  const auto mode =
      direction == Direction::kWriting ? vd::os::File::Mode::CreateTruncateNoFollow
                                       : vd::os::File::Mode::Read;
  if (!file_.Open(path_, mode)) return false;
  direction_ = direction;
  return true;
}

int CApiClientTransaction::Write(const void* data, size_t size) {
  if (OpenFor(Direction::kWriting) && file_.Write(data, size)) return kApiClientOk;
  write_failed_ = true;
  return kApiClientIoError;
}

int CApiClientTransaction::Read(void* data, size_t size) {
  return OpenFor(Direction::kReading) && file_.ReadExact(data, size) ? kApiClientOk : kApiClientIoError;
}

int CApiClientTransaction::WriteInt(int32_t value) { return Write(&value, sizeof value); }

int CApiClientTransaction::WriteDouble(double value) { return Write(&value, sizeof value); }

int CApiClientTransaction::WriteString(std::string_view value) {
  const std::string bytes = vd::os::Utf8ToCp1252(value);
  if (bytes.size() > size_t(kMaxStringLength)) {
    write_failed_ = true;
    return kApiClientIoError;
  }
  if (const int result = WriteInt(static_cast<int32_t>(bytes.size()))) return result;
  return bytes.empty() ? kApiClientOk : Write(bytes.data(), bytes.size());
}

int CApiClientTransaction::ReadInt(int32_t& value) { return Read(&value, sizeof value); }

int CApiClientTransaction::ReadBool(bool& value) {
  int32_t raw = 0;
  const int result = ReadInt(raw);
  if (result == kApiClientOk) value = raw != 0;
  return result;
}

int CApiClientTransaction::ReadDouble(double& value) { return Read(&value, sizeof value); }

int CApiClientTransaction::ReadFloat(float& value) {
  double wide = 0;
  const int result = ReadDouble(wide);
  if (result == kApiClientOk) value = static_cast<float>(wide);
  return result;
}

int CApiClientTransaction::Send(uintptr_t code) {
  file_.Close();
  direction_ = Direction::kClosed;
  if (!locked_ || window_class_.empty()) return kApiClientWindowGone;
  if (std::exchange(write_failed_, false)) return kApiClientIoError;
  const std::optional<intptr_t> result =
      vd::os::IpcSend(window_class_, vd::os::kUserMessage, kRequestNotice, code);
  return result ? static_cast<int>(*result) : kApiClientWindowGone;
}
