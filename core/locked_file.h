#pragma once
// Large, growing data kept either in one ordinary file or in a folder of numbered part files
// ("0" .. "99") of less than 4 GiB each, behind 64-bit addresses. In a folder an address holds
// the part number in its high 32 bits and the position within that part in its low 32 bits; in
// a single file it is simply the file position.
//
// Download workers and drawing code read, write and append at the same time. One mutex guards
// the object's state (open parts, the end of the data, the last error); the reads and writes
// themselves use positioned I/O on descriptors that stay open until every operation using them
// has finished, so they need not hold it. Appends get distinct regions, and a write that
// extends the data is seen by appends that start after it.
//
// Failures are reported as false or -1, with the errno value kept for last_error() (EINVAL for a
// part number beyond 99).
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/os/files.h"

class CLockedFile {
 public:
  enum Mode : int32_t {
    kRead = 0,       // existing data only
    kWrite = 1,      // parts are created, and emptied when first opened for writing
    kReadWrite = 2,  // parts are created when missing, never emptied
    kClosed = 3,
  };
  static constexpr int kMaxParts = 100;

  static constexpr uint64_t MakeAddress(uint32_t part, uint32_t position) {
    return static_cast<uint64_t>(part) << 32 | position;
  }
  static constexpr uint32_t PartOf(uint64_t address) {
    return static_cast<uint32_t>(address >> 32);
  }
  static constexpr uint32_t PositionOf(uint64_t address) { return static_cast<uint32_t>(address); }

  CLockedFile() = default;
  ~CLockedFile() { Close(); }
  CLockedFile(const CLockedFile&) = delete;
  CLockedFile& operator=(const CLockedFile&) = delete;

  // Closes what was open, then: an existing folder is opened as a part store and an existing
  // file as a single file; a missing path is created as a part store (with its missing parent
  // folders) unless the mode is kRead, which fails without creating anything. True when part 0
  // (or the single file) is open.
  bool Open(const std::string& path, Mode mode);
  // Waits for the reads and writes under way, then closes every part.
  void Close();

  // Bytes read (fewer at the end of the data), or -1. Reading never creates or empties a part:
  // a missing part fails with ENOENT.
  int64_t ReadAt(uint64_t address, void* buffer, size_t size);
  // True when all bytes were written. In a part store the bytes must stay within the part
  // (below 4 GiB), else EINVAL.
  bool WriteAt(uint64_t address, const void* data, size_t length);
  // The header at `address` and the data right after it, in the same part.
  bool WriteTwoAt(uint64_t address, const void* header, size_t header_length, const void* data,
                  size_t data_length);
  // Reserves `length` bytes at the end of the data, the start rounded up to a multiple of
  // `alignment` (0 or 1: none), and returns their address; -1 on failure or when not opened
  // for writing. The file is extended over the region at once (its last byte is written), so
  // the reservation holds for later sessions too. In a part store, a region that would reach
  // 4 GiB goes to the start of the next part instead (after any data that part already holds).
  int64_t Append(uint32_t length, uint32_t alignment);

  int last_error() const { return last_error_.load(); }

 private:
  // Called with the mutex held.
  void CloseLocked();
  vd::os::File* OpenPart(uint32_t part, bool for_writing);
  int64_t FindLastPart();

  // Runs io(file, position) for an access of `length` bytes at `address`, outside the mutex
  // with the part kept open; false (last error set) when the part can't be opened, the bytes
  // would not fit in it or io fails.
  template <class Io>
  bool Access(uint64_t address, uint64_t length, bool for_writing, Io&& io);
  // Ends an operation counted in busy_.
  void Unpin();
  bool Fail(int error);

  std::mutex mutex_;
  std::array<vd::os::File, kMaxParts> parts_;
  Mode mode_ = kClosed;
  bool single_file_ = false;
  std::string base_path_;      // the file itself, or the folder followed by '/'
  int64_t current_part_ = -1;  // the part Append writes to; -1 = not yet determined
  // Per part, the end of the regions handed out or written: their bytes may still be on the way.
  std::array<uint64_t, kMaxParts> known_end_{};
  std::atomic<int> busy_{0};  // reads and writes under way outside the mutex
  std::atomic<int> last_error_{0};
};
