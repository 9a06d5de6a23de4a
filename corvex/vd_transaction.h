#pragma once
// The transaction file of the inter-program API: another program writes a request's arguments
// into "VDAPI2.dat" in the temp folder, sends Corvex's main window the request code, and reads
// the reply from the same file once the send returns. The file is a bare sequence of fields,
// little-endian, with no header or tags; both sides agree on the fields of each request code:
//
//   integer, unsigned, boolean, handle   4 bytes (boolean: nonzero is true)
//   double                               8 bytes, IEEE 754
//   float                                8 bytes, a double narrowed when read
//   string                               int32 length n (0..99999), then n bytes of
//                                        Windows-1252 text, no terminator
//
// The file opens by itself in one direction at a time: the first read opens it for reading
// (it must exist); the first write after reads closes that and creates the file afresh, so a
// reply replaces the request. Every operation returns 0, or kApiIoError when the file cannot be
// opened, a field is cut short, or a string length is out of range.
//
// One object serves one request and is used by one thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/files.h"

// An overlay object as other programs see it: a 32-bit number Corvex hands out, which a client
// only hands back. kNone stands for no object.
enum class ApiHandle : uint32_t { kNone = 0 };

inline constexpr int kApiOk = 0;
inline constexpr int kApiIoError = 8;

// A client holds this named mutex (vd::os::NamedMutex) from writing its request to reading the
// reply, then sends the main window, listening under kApiWindowClass, the user message
// (vd::os::kUserMessage) with wparam kApiRequestNotice and the request code as lparam. The
// result of the send is the request's result code. Corvex itself never takes the mutex.
inline constexpr char kApiMutexName[] = "Vardune-API-mutex";
inline constexpr char kApiWindowClass[] = "CorvexMainWnd";
inline constexpr uintptr_t kApiRequestNotice = 16;

class CVD_transaction {
 public:
  static constexpr int32_t kMaxStringLength = 99999;
  static constexpr char kFileName[] = "VDAPI2.dat";

  // The program's transaction file (see InitApiTransactionFileName); nothing is opened yet.
  CVD_transaction();
  // Another file; for the client side and for tests.
  explicit CVD_transaction(std::string path);
  ~CVD_transaction() = default;
  CVD_transaction(const CVD_transaction&) = delete;
  CVD_transaction& operator=(const CVD_transaction&) = delete;

  int ReadInt(int32_t& value);
  int ReadUInt(uint32_t& value);
  int ReadBool(bool& value);
  int ReadDouble(double& value);
  int ReadFloat(float& value);
  int ReadHandle(ApiHandle& value);
  // The text comes back as UTF-8.
  int ReadString(std::string& value);

  int WriteInt(int32_t value);
  int WriteUInt(uint32_t value);
  int WriteDouble(double value);
  int WriteHandle(ApiHandle value);
  // UTF-8 in; characters Windows-1252 lacks are written as '?'. An empty text is the null
  // string: a zero length alone. A text longer than readers accept is refused.
  int WriteString(std::string_view value);

  // Closes the file; the next operation opens it again as described above.
  void Close();

  // Builds the program's transaction file name once per process: the string value
  // "temp_folder" of the profile key "Software\\Vardune" + "/VDAPI2.dat". Without that value
  // the name is empty and every operation of CVD_transaction() objects fails.
  static void InitApiTransactionFileName();
  static std::string ApiTransactionFileName();

 private:
  enum class Direction { kClosed, kReading, kWriting };

  bool OpenFor(Direction direction);
  int ReadBytes(void* data, size_t size);
  int WriteBytes(const void* data, size_t size);
  // size (at most 8) bytes, least significant first.
  int ReadLittleEndian(uint64_t& value, size_t size);
  int WriteLittleEndian(uint64_t value, size_t size);
  int ReadU32(uint32_t& value);

  std::string path_;
  vd::os::File file_;
  Direction direction_ = Direction::kClosed;
};
