#include "platform/os/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>

namespace vd::os {

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace {

// Keeps errno across cleanup calls that may change it.
class ErrnoKeeper {
 public:
  ErrnoKeeper() : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }

 private:
  int saved_;
};

void CloseFd(int& fd) {
  if (fd >= 0) {
    ErrnoKeeper keep;
    ::close(fd);
    fd = -1;
  }
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool OffsetFits(uint64_t offset) { return offset <= static_cast<uint64_t>(INT64_MAX); }

// A folder's fsync makes a rename inside it durable. Some file systems refuse it (EINVAL);
// by then the rename itself has happened, so this is best effort.
void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ErrnoKeeper keep;
  ::fsync(fd);
  ::close(fd);
}

uint32_t RandomNumber() {
  uint32_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
    static std::atomic<uint32_t> counter{0};
    value = static_cast<uint32_t>(::getpid()) * 2654435761u + counter.fetch_add(1);
  }
  return value;
}

// Calls read_some(bytes done so far) until `count` bytes are in, the end of the file comes or
// a call fails; the bytes read, or -1.
template <class ReadSome>
int64_t ReadFully(size_t count, ReadSome read_some) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = read_some(done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

// Calls write_some(bytes done so far) until all `count` bytes are out; false when a call fails.
template <class WriteSome>
bool WriteFully(size_t count, WriteSome write_some) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = write_some(done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

DirEntry EntryFromStat(std::string name, const struct stat& st) {
  DirEntry e;
  e.name = std::move(name);
  e.is_dir = S_ISDIR(st.st_mode);
  e.size = e.is_dir ? 0 : static_cast<uint64_t>(st.st_size);
  e.mtime = st.st_mtime;
  return e;
}

unsigned char FoldCase(unsigned char c, bool after_c3) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  // U+00C0..U+00DE are C3 80..C3 9E in UTF-8; U+00D7 (the multiplication sign) has no small form.
  if (after_c3 && c >= 0x80 && c <= 0x9E && c != 0x97) return static_cast<unsigned char>(c + 0x20);
  return c;
}

bool Walk(const std::string& folder, bool recursive,
          const std::function<bool(const std::string&, const DirEntry&)>& visit,
          std::set<std::pair<uint64_t, uint64_t>>& entered) {
  std::vector<DirEntry> entries;
  if (!ListFolder(folder, entries)) return true;
  for (const DirEntry& e : entries) {
    std::string path = folder + "/" + e.name;
    if (!visit(path, e)) return false;
    if (!recursive || !e.is_dir) continue;
    auto id = IdentifyFile(path);
    if (id && entered.insert({id->device, id->inode}).second &&
        !Walk(path, recursive, visit, entered)) {
      return false;
    }
  }
  return true;
}

}  // namespace

// ---- File ----

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool File::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::CreateTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    case Mode::CreateReadWrite: flags |= O_RDWR | O_CREAT; break;
    case Mode::CreateTruncateNoFollow: flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
  }
  do {
    fd_ = ::open(path.c_str(), flags, 0666);
  } while (fd_ < 0 && errno == EINTR);
  return fd_ >= 0;
}

void File::Close() { CloseFd(fd_); }

int64_t File::Read(void* buffer, size_t count) {
  auto* p = static_cast<char*>(buffer);
  return ReadFully(count, [&](size_t done) { return ::read(fd_, p + done, count - done); });
}

bool File::ReadExact(void* buffer, size_t count) {
  return Read(buffer, count) == static_cast<int64_t>(count);
}

bool File::Write(const void* buffer, size_t count) {
  auto* p = static_cast<const char*>(buffer);
  return WriteFully(count, [&](size_t done) { return ::write(fd_, p + done, count - done); });
}

int64_t File::PRead(void* buffer, size_t count, uint64_t offset) {
  if (!OffsetFits(offset)) {
    errno = EINVAL;
    return -1;
  }
  auto* p = static_cast<char*>(buffer);
  return ReadFully(count, [&](size_t done) {
    return ::pread(fd_, p + done, count - done, static_cast<off_t>(offset + done));
  });
}

bool File::PWrite(const void* buffer, size_t count, uint64_t offset) {
  if (!OffsetFits(offset) || !OffsetFits(offset + count)) {
    errno = EINVAL;
    return false;
  }
  auto* p = static_cast<const char*>(buffer);
  return WriteFully(count, [&](size_t done) {
    return ::pwrite(fd_, p + done, count - done, static_cast<off_t>(offset + done));
  });
}

bool File::Seek(int64_t offset, int whence) { return ::lseek(fd_, offset, whence) >= 0; }

int64_t File::Tell() { return ::lseek(fd_, 0, SEEK_CUR); }

int64_t File::Size() {
  struct stat st;
  return ::fstat(fd_, &st) == 0 ? st.st_size : -1;
}

bool File::Truncate(uint64_t size) {
  if (!OffsetFits(size)) {
    errno = EINVAL;
    return false;
  }
  return ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool File::Sync() { return ::fsync(fd_) == 0; }

// ---- MappedFile ----

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Close();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

bool MappedFile::Open(const std::string& path) {
  Close();
  File f;
  if (!f.Open(path, File::Mode::Read)) return false;
  struct stat st;
  if (::fstat(f.fd(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    return false;
  }
  if (st.st_size == 0) {
    // mmap refuses a length of 0; an empty file is still a valid, empty view.
    static const uint8_t kNoBytes = 0;
    data_ = &kNoBytes;
    return true;
  }
  void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, f.fd(), 0);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<const uint8_t*>(p);
  size_ = static_cast<size_t>(st.st_size);
  mapped_ = true;
  return true;  // the mapping outlives the descriptor
}

void MappedFile::Close() {
  if (mapped_) {
    ErrnoKeeper keep;
    ::munmap(const_cast<uint8_t*>(data_), size_);
  }
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

void MappedFile::Release(size_t offset, size_t length) const {
  if (!mapped_ || offset >= size_) return;
  length = std::min(length, size_ - offset);
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(data_) + offset;
  const uintptr_t first = (start + page - 1) / page * page;
  const uintptr_t last = (start + length) / page * page;
  // Only the pages wholly inside: a neighbour's bytes may still be read.
  if (last > first) {
    ErrnoKeeper keep;
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
  }
}

// ---- AtomicFileWriter ----

namespace {

constexpr size_t kTempRandomDigits = 8;
constexpr char kTempEnding[] = ".tmp";

// A save holds an exclusive lock on its temporary file until the file is renamed or removed,
// so a temporary file whose lock can be taken belongs to no save in progress: its process was
// killed or crashed. False when it is held, or when the file system has no such locks.
bool TryLock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

bool IsTempName(std::string_view name, std::string_view prefix) {
  const size_t ending = sizeof kTempEnding - 1;
  if (name.size() != prefix.size() + kTempRandomDigits + ending || !name.starts_with(prefix) ||
      !name.ends_with(kTempEnding)) {
    return false;
  }
  const std::string_view digits = name.substr(prefix.size(), kTempRandomDigits);
  return std::all_of(digits.begin(), digits.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
  });
}

// Removes the temporary files that earlier saves of the same target left behind when their
// process died, each only while holding its lock; own is the caller's.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix,
                            const std::string& own) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  ErrnoKeeper keep;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsTempName(entry->d_name, prefix)) stale.push_back(folder + "/" + entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& path : stale) {
    if (path == own) continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat held, named;
    // The lock makes sure no save is writing it; the same inode under the name, that the
    // name was not taken by a new save in the meantime.
    if (TryLock(fd) && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
        ::lstat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
}

}  // namespace

std::string AtomicFileWriter::TempPrefix(const std::string& target_name) {
  // Hidden, and short enough that the random part and ".tmp" still fit in NAME_MAX.
  return "." + target_name.substr(0, 200) + ".";
}

bool AtomicFileWriter::Open(const std::string& target, Links links) {
  Discard();
  target_ = target;
  struct stat st;
  if (links == Links::kFollow && ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to, not the link.
    if (char* real = ::realpath(target.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }
  const std::string folder = FolderOf(target_);
  const std::string prefix = folder + "/" + TempPrefix(NameOf(target_));
  int fd = -1;
  bool locked = false;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    char suffix[16];
    snprintf(suffix, sizeof suffix, "%08x%s", RandomNumber(), kTempEnding);
    temp_ = prefix + suffix;
    fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno != EEXIST && errno != EINTR) break;
      continue;
    }
    locked = TryLock(fd);
    // Another save's clean-up may have taken the new file for a stale one between its
    // creation and the lock, and removed it: start again under another name.
    struct stat created;
    if ((!locked && errno == EWOULDBLOCK) || (::fstat(fd, &created) == 0 && created.st_nlink == 0)) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    temp_.clear();
    return false;
  }
  // Without locks there is no telling a killed save's file from one being written.
  if (locked) RemoveStaleTemporaries(folder, TempPrefix(NameOf(target_)), temp_);
  // The new file keeps the permissions of the one it replaces (a replaced link has none).
  if ((links == Links::kFollow ? ::stat(target_.c_str(), &st) : ::lstat(target_.c_str(), &st)) == 0 &&
      !S_ISLNK(st.st_mode)) {
    ::fchmod(fd, st.st_mode & 07777);
  }
  file_ = File();
  file_.fd_ = fd;
  return true;
}

bool AtomicFileWriter::Commit() {
  if (!file_.IsOpen() || temp_.empty()) return false;
  bool ok = file_.Sync();
  int fd = std::exchange(file_.fd_, -1);
  // The lock stays with this copy until the rename: closing the file must not let another
  // save's clean-up take it for a stale one.
  const int lock_holder = ::dup(fd);
  if (::close(fd) != 0) ok = false;  // delayed write errors (NFS, full disk) show up here
  if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0) ok = false;
  if (lock_holder >= 0) ::close(lock_holder);
  if (!ok) {
    Discard();
    return false;
  }
  temp_.clear();
  SyncFolder(FolderOf(target_));
  return true;
}

void AtomicFileWriter::Discard() {
  file_.Close();
  if (!temp_.empty()) {
    ErrnoKeeper keep;
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

// ---- whole files ----

bool ReadWholeFile(const std::string& path, std::string& out) {
  File f;
  if (!f.Open(path, File::Mode::Read)) return false;
  std::string bytes;
  int64_t size = f.Size();
  if (size > 0) bytes.reserve(static_cast<size_t>(size));
  char chunk[65536];
  for (;;) {
    int64_t n = f.Read(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  out = std::move(bytes);
  return true;
}

bool SaveFileAtomically(const std::string& path, std::string_view bytes, Links links) {
  AtomicFileWriter writer;
  return writer.Open(path, links) && writer.file().Write(bytes.data(), bytes.size()) && writer.Commit();
}

// ---- paths ----

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  for (size_t pos = path.find('/', 1);; pos = path.find('/', pos + 1)) {
    std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  return IsDirectory(path);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<uint64_t> FileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::optional<int64_t> FileModifiedTime(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<int64_t>(st.st_mtime);
}

bool ListFolder(const std::string& folder, std::vector<DirEntry>& out) {
  out.clear();
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  const int dfd = ::dirfd(dir);
  while (const dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    // A dangling link is listed as itself.
    if (::fstatat(dfd, name.c_str(), &st, 0) != 0 &&
        ::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // removed meanwhile
    }
    out.push_back(EntryFromStat(std::move(name), st));
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return true;
}

void WalkFolder(const std::string& folder, bool recursive,
                const std::function<bool(const std::string& path, const DirEntry&)>& visit) {
  std::set<std::pair<uint64_t, uint64_t>> entered;
  if (auto id = IdentifyFile(folder)) entered.insert({id->device, id->inode});
  Walk(folder, recursive, visit, entered);
}

std::optional<uint64_t> FreeSpace(const std::string& path) {
  struct statvfs sv;
  if (::statvfs(path.c_str(), &sv) != 0) return std::nullopt;
  return static_cast<uint64_t>(sv.f_bavail) * static_cast<uint64_t>(sv.f_frsize);
}

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool NamesEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    // Equal prefixes mean both or neither of the previous bytes are the lead byte 0xC3.
    bool after_c3 = i > 0 && static_cast<unsigned char>(a[i - 1]) == 0xC3;
    if (FoldCase(static_cast<unsigned char>(a[i]), after_c3) !=
        FoldCase(static_cast<unsigned char>(b[i]), after_c3)) {
      return false;
    }
  }
  return true;
}

std::optional<std::string> FindFileNoCase(const std::string& folder, const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  // The folder is always listed, even when `name` itself can be opened: on a case-insensitive
  // file system (a FAT memory card) that would succeed without telling the real spelling.
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* d = ::readdir(dir)) {
    std::string_view entry = d->d_name;
    if (entry == name) {
      best = name;
      break;
    }
    if (NamesEqualNoCase(entry, name) && (!best || entry < *best)) best = std::string(entry);
  }
  ::closedir(dir);
  return best;
}

}  // namespace vd::os
