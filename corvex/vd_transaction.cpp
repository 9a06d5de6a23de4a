#include "corvex/vd_transaction.h"

#include <bit>
#include <mutex>
#include <utility>

#include "platform/os/codepage.h"
#include "platform/os/profile_store.h"

namespace {

std::mutex g_name_mutex;
std::string g_file_name;  // guarded by g_name_mutex

}  // namespace

CVD_transaction::CVD_transaction() : path_(ApiTransactionFileName()) {}

CVD_transaction::CVD_transaction(std::string path) : path_(std::move(path)) {}

void CVD_transaction::InitApiTransactionFileName() {
  const vd::os::ProfileStore profile("Software\\Vardune");
  const std::string folder = profile.GetString("", "temp_folder").value_or("");
  const std::lock_guard lock(g_name_mutex);
  g_file_name = folder.empty() ? std::string() : folder + "/" + kFileName;
}

std::string CVD_transaction::ApiTransactionFileName() {
  const std::lock_guard lock(g_name_mutex);
  return g_file_name;
}

void CVD_transaction::Close() {
  file_.Close();
  direction_ = Direction::kClosed;
}

bool CVD_transaction::OpenFor(Direction direction) {
  if (direction_ == direction) return true;
  Close();
  if (path_.empty()) return false;
  const auto mode = direction == Direction::kReading ? vd::os::File::Mode::Read
                                                     : vd::os::File::Mode::CreateTruncateNoFollow;
  if (!file_.Open(path_, mode)) return false;
  direction_ = direction;
  return true;
}

int CVD_transaction::ReadBytes(void* data, size_t size) {
  if (!OpenFor(Direction::kReading)) return kApiIoError;
  return file_.ReadExact(data, size) ? kApiOk : kApiIoError;
}

int CVD_transaction::WriteBytes(const void* data, size_t size) {
  if (!OpenFor(Direction::kWriting)) return kApiIoError;
  return file_.Write(data, size) ? kApiOk : kApiIoError;
}

int CVD_transaction::ReadLittleEndian(uint64_t& value, size_t size) {
  uint8_t bytes[8];
  if (ReadBytes(bytes, size) != kApiOk) return kApiIoError;
  value = 0;
  for (size_t i = size; i-- > 0;) value = value << 8 | bytes[i];
  return kApiOk;
}

int CVD_transaction::WriteLittleEndian(uint64_t value, size_t size) {
  uint8_t bytes[8];
  for (size_t i = 0; i < size; ++i, value >>= 8) bytes[i] = static_cast<uint8_t>(value);
  return WriteBytes(bytes, size);
}

int CVD_transaction::ReadU32(uint32_t& value) {
  uint64_t bits = 0;
  const int result = ReadLittleEndian(bits, 4);
  if (result == kApiOk) value = static_cast<uint32_t>(bits);
  return result;
}

int CVD_transaction::ReadInt(int32_t& value) {
  uint32_t bits = 0;
  const int result = ReadU32(bits);
  if (result == kApiOk) value = static_cast<int32_t>(bits);
  return result;
}

int CVD_transaction::ReadUInt(uint32_t& value) { return ReadU32(value); }

int CVD_transaction::ReadBool(bool& value) {
  uint32_t bits = 0;
  const int result = ReadU32(bits);
  if (result == kApiOk) value = bits != 0;
  return result;
}

int CVD_transaction::ReadDouble(double& value) {
  uint64_t bits = 0;
  const int result = ReadLittleEndian(bits, 8);
  if (result == kApiOk) value = std::bit_cast<double>(bits);
  return result;
}

int CVD_transaction::ReadFloat(float& value) {
  double wide = 0.0;
  const int result = ReadDouble(wide);
  if (result == kApiOk) value = static_cast<float>(wide);
  return result;
}

int CVD_transaction::ReadHandle(ApiHandle& value) {
  uint32_t bits = 0;
  const int result = ReadU32(bits);
  if (result == kApiOk) value = static_cast<ApiHandle>(bits);
  return result;
}

int CVD_transaction::ReadString(std::string& value) {
  int32_t length = 0;
  if (ReadInt(length) != kApiOk) return kApiIoError;
  // A damaged or foreign file must not make us allocate or read at random.
  if (length < 0 || length > kMaxStringLength) return kApiIoError;
  std::string bytes(static_cast<size_t>(length), '\0');
  if (ReadBytes(bytes.data(), bytes.size()) != kApiOk) return kApiIoError;
  value = vd::os::Cp1252ToUtf8(bytes);
  return kApiOk;
}

int CVD_transaction::WriteInt(int32_t value) {
  return WriteLittleEndian(static_cast<uint32_t>(value), 4);
}

int CVD_transaction::WriteUInt(uint32_t value) { return WriteLittleEndian(value, 4); }

int CVD_transaction::WriteDouble(double value) {
  return WriteLittleEndian(std::bit_cast<uint64_t>(value), 8);
}

int CVD_transaction::WriteHandle(ApiHandle value) {
  return WriteLittleEndian(static_cast<uint32_t>(value), 4);
}

int CVD_transaction::WriteString(std::string_view value) {
  const std::string bytes = vd::os::Utf8ToCp1252(value);
  // The reader refuses longer texts; refuse them here rather than write what none can read.
  if (bytes.size() > static_cast<size_t>(kMaxStringLength)) return kApiIoError;
  if (WriteInt(static_cast<int32_t>(bytes.size())) != kApiOk) return kApiIoError;
  return bytes.empty() ? kApiOk : WriteBytes(bytes.data(), bytes.size());
}
