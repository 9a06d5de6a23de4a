#include "core/locked_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// Positions within a part stay below this, so that they fit the low 32 bits of an address.
constexpr uint64_t kPartLimit = uint64_t{1} << 32;

uint64_t RoundUp(uint64_t value, uint32_t alignment) {
  return alignment > 1 ? (value + alignment - 1) / alignment * alignment : value;
}

}  // namespace

bool CLockedFile::Fail(int error) {
  last_error_ = error;
  return false;
}

void CLockedFile::Unpin() {
  if (busy_.fetch_sub(1) == 1) busy_.notify_all();
}

bool CLockedFile::Open(const std::string& path, Mode mode) {
  std::lock_guard lock(mutex_);
  CloseLocked();
  if (mode != kRead && mode != kWrite && mode != kReadWrite) return Fail(EINVAL);
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    single_file_ = !S_ISDIR(st.st_mode);
  } else if (errno != ENOENT || mode == kRead) {
    return Fail(errno);
  } else if (!vd::os::MakeFolders(path)) {
    return Fail(errno);
  }
  base_path_ = single_file_ ? path : path + "/";
  mode_ = mode;
  if (!OpenPart(0, true)) {
    int error = last_error_;
    CloseLocked();
    return Fail(error);
  }
  return true;
}

void CLockedFile::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

void CLockedFile::CloseLocked() {
  // Operations under way finish without the mutex; new ones wait for it.
  for (int busy = busy_.load(); busy != 0; busy = busy_.load()) busy_.wait(busy);
  for (vd::os::File& part : parts_) part.Close();
  mode_ = kClosed;
  last_error_ = 0;
  single_file_ = false;
  base_path_.clear();
  current_part_ = -1;
  known_end_.fill(0);
}

vd::os::File* CLockedFile::OpenPart(uint32_t part, bool for_writing) {
  if (part >= kMaxParts) {
    Fail(EINVAL);
    return nullptr;
  }
  vd::os::File& file = parts_[part];
  if (file.IsOpen()) return &file;
  using FileMode = vd::os::File::Mode;
  FileMode open_mode;
  switch (mode_) {
    case kRead:
      open_mode = FileMode::Read;
      break;
    case kWrite:
      open_mode = for_writing ? FileMode::CreateTruncate : FileMode::ReadWrite;
      break;
    case kReadWrite:
      open_mode = for_writing ? FileMode::CreateReadWrite : FileMode::ReadWrite;
      break;
    default:
      Fail(EBADF);
      return nullptr;
  }
  std::string name = single_file_ ? base_path_ : base_path_ + std::to_string(part);
  if (!file.Open(name, open_mode)) {
    Fail(errno);
    return nullptr;
  }
  return &file;
}

template <class Io>
bool CLockedFile::Access(uint64_t address, uint64_t length, bool for_writing, Io&& io) {
  vd::os::File* file;
  uint64_t position;
  {
    std::lock_guard lock(mutex_);
    uint32_t part = single_file_ ? 0 : PartOf(address);
    position = single_file_ ? address : PositionOf(address);
    if (for_writing && !single_file_ && position + length > kPartLimit) return Fail(EINVAL);
    file = OpenPart(part, for_writing);
    if (!file) return false;
    if (for_writing) known_end_[part] = std::max(known_end_[part], position + length);
    busy_.fetch_add(1);
  }
  bool ok = io(*file, position);
  if (!ok) Fail(errno);
  Unpin();
  return ok;
}

int64_t CLockedFile::ReadAt(uint64_t address, void* buffer, size_t size) {
  int64_t got = -1;
  Access(address, size, false, [&](vd::os::File& file, uint64_t position) {
    got = file.PRead(buffer, size, position);
    return got >= 0;
  });
  return got;
}

bool CLockedFile::WriteAt(uint64_t address, const void* data, size_t length) {
  return Access(address, length, true, [&](vd::os::File& file, uint64_t position) {
    return file.PWrite(data, length, position);
  });
}

bool CLockedFile::WriteTwoAt(uint64_t address, const void* header, size_t header_length,
                             const void* data, size_t data_length) {
  return Access(address, uint64_t{header_length} + data_length, true,
                [&](vd::os::File& file, uint64_t position) {
                  return file.PWrite(header, header_length, position) &&
                         file.PWrite(data, data_length, position + header_length);
                });
}

int64_t CLockedFile::FindLastPart() {
  int count = 0;
  for (; count < kMaxParts; ++count) {
    if (::access((base_path_ + std::to_string(count)).c_str(), F_OK) != 0) {
      if (errno == ENOENT) break;
      Fail(errno);
      return -1;
    }
  }
  return std::max(count - 1, 0);
}

int64_t CLockedFile::Append(uint32_t length, uint32_t alignment) {
  vd::os::File* file;
  uint64_t end;
  uint64_t address;
  {
    std::lock_guard lock(mutex_);
    if (mode_ != kWrite && mode_ != kReadWrite) {
      Fail(EBADF);
      return -1;
    }
    if (current_part_ < 0) {
      current_part_ = single_file_ ? 0 : FindLastPart();
      if (current_part_ < 0) return -1;
    }
    uint32_t part;
    for (;;) {
      part = static_cast<uint32_t>(current_part_);
      file = OpenPart(part, true);
      if (!file) return -1;
      // The end of the file, or of regions this object handed out whose bytes are not all
      // there yet. Seeking reads the size without asking for the file's times, which would make
      // every later write update them.
      off_t size = ::lseek(file->fd(), 0, SEEK_END);
      if (size < 0) {
        Fail(errno);
        return -1;
      }
      end = RoundUp(std::max(static_cast<uint64_t>(size), known_end_[part]), alignment);
      if (single_file_ || end + length < kPartLimit) break;
      ++current_part_;  // the next part starts after whatever it already holds (usually nothing)
    }
    if (length > 0) known_end_[part] = end + length;  // an empty region takes nothing
    address = single_file_ ? end : MakeAddress(part, static_cast<uint32_t>(end));
    busy_.fetch_add(1);
  }
  // Writing the last byte of the region extends the file over it, so that the region stays
  // taken when the store is opened again before all of it has been written.
  bool reserved = length == 0 || file->PWrite("", 1, end + length - 1);
  if (!reserved) Fail(errno);
  Unpin();
  return reserved ? static_cast<int64_t>(address) : -1;
}
