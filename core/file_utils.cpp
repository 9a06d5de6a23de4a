#include "core/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "core/path_utils.h"
#include "core/string_utils.h"
#include "platform/os/files.h"
#include "platform/os/process.h"

namespace {

// The names in the open folder `dir_fd`, without "." and "..". Read in full before the caller
// acts on them, so entries may be removed meanwhile.
bool ListNames(int dir_fd, std::vector<std::string>& names) {
  // A duplicate with close-on-exec, as every descriptor here: a child started meanwhile by
  // another thread must not inherit it.
  int fd = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  ::rewinddir(dir);  // the duplicate shares its read position with dir_fd
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  bool ok = errno == 0;
  ::closedir(dir);
  return ok;
}

// Opens a folder for walking. O_NOFOLLOW: a folder swapped for a link meanwhile is not entered.
int OpenFolderAt(int dir_fd, const char* name) {
  return ::openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Calls visit(name, lstat of it) for the entries of the open folder until it returns false.
// False when the folder can't be read or an entry can't be examined; entries that vanish
// meanwhile are passed over.
template <class Visit>
bool ForEachEntry(int dir_fd, Visit&& visit) {
  std::vector<std::string> names;
  if (!ListNames(dir_fd, names)) return false;
  bool ok = true;
  for (const std::string& name : names) {
    struct stat st;
    if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = ok && errno == ENOENT;
    } else if (!visit(name, st)) {
      break;
    }
  }
  return ok;
}

// Removes everything inside the open folder. With stop_at_failure the walk ends at the first
// entry that can't be removed, else it removes all it can.
bool RemoveContents(int dir_fd, bool stop_at_failure) {
  bool ok = true;
  bool listed = ForEachEntry(dir_fd, [&](const std::string& name, const struct stat& st) {
    bool removed;
    if (S_ISDIR(st.st_mode)) {
      int sub = OpenFolderAt(dir_fd, name.c_str());
      removed = sub >= 0 && RemoveContents(sub, stop_at_failure);
      if (sub >= 0) ::close(sub);
      removed = removed && ::unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR) == 0;
    } else {
      removed = ::unlinkat(dir_fd, name.c_str(), 0) == 0;
    }
    ok = ok && removed;
    return removed || !stop_at_failure;
  });
  return listed && ok;
}

bool DeleteTree(const std::string& path, bool stop_at_failure) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return S_ISLNK(st.st_mode) && ::unlink(path.c_str()) == 0;
  int dir = OpenFolderAt(AT_FDCWD, path.c_str());
  if (dir < 0) return false;
  bool ok = RemoveContents(dir, stop_at_failure);
  ::close(dir);
  if (!ok && stop_at_failure) return false;
  return ::rmdir(path.c_str()) == 0;
}

uint64_t SizeOfContents(int dir_fd) {
  uint64_t total = 0;
  ForEachEntry(dir_fd, [&](const std::string& name, const struct stat& st) {
    if (S_ISREG(st.st_mode)) {
      total += static_cast<uint64_t>(st.st_size);
    } else if (S_ISDIR(st.st_mode)) {
      int sub = OpenFolderAt(dir_fd, name.c_str());
      if (sub >= 0) {
        total += SizeOfContents(sub);
        ::close(sub);
      }
    }
    return true;
  });
  return total;
}

uint64_t NameHash(const std::string& text) {
  uint64_t h = 0;
  for (char c : text)
    h = (h + static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(c)))) << 4;
  return h;
}

}  // namespace

bool FileExists(const std::string& path) { return vd::os::FileExists(path); }
bool IsDirectory(const std::string& path) { return vd::os::IsDirectory(path); }
bool IsNotFolder(const std::string& path) {
  return vd::os::FileExists(path) && !vd::os::IsDirectory(path);
}

bool IsWritableFolder(const std::string& folder) {
  std::string name = folder + "/testfile-XXXXXX.tmp";
  int fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return ::unlink(name.c_str()) == 0;
}

bool CreateDirectoryTree(const std::string& path) {
  return vd::os::IsDirectory(path) || (!path.empty() && path != "." && vd::os::MakeFolders(path));
}

bool CreateFolderTree(const std::string& path) {
  constexpr size_t kShortest = 2;
  return path.size() < kShortest ? vd::os::IsDirectory(path) : CreateDirectoryTree(path);
}

bool DeleteDirectoryTree(const std::string& path) { return DeleteTree(path, false); }
bool DeleteFolderTree(const std::string& path) { return DeleteTree(path, true); }

uint64_t GetDirectorySize(const std::string& path) {
  int dir = OpenFolderAt(AT_FDCWD, path.c_str());
  if (dir < 0) return 0;
  uint64_t total = SizeOfContents(dir);
  ::close(dir);
  return total;
}

uint64_t GetFileSize64(const std::string& path) { return vd::os::FileSize(path).value_or(0); }

uint64_t GetFileLength(const std::string& path) {
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read)) return 0;
  int64_t size = file.Size();
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

uint64_t GetFileUniqueId(const std::string& path) {
  if (std::optional<vd::os::FileIdentity> id = vd::os::IdentifyFile(path)) {
    uint64_t mixed = id->inode ^ (id->device * 0x9E3779B97F4A7C15ull);
    if (mixed != 0) return mixed;
  }
  return NameHash(path);
}

int64_t GetDiskFreeSpace64(const std::string& path) {
  std::optional<uint64_t> free =
      vd::os::FreeSpace(vd::os::FileExists(path) ? path : GetPathDirectory(path));
  return free ? static_cast<int64_t>(*free) : -1;
}

namespace {

std::mutex g_copy_window_mutex;
CopyProgressWindow g_copy_window;

CopyProgressWindow InstalledCopyWindow() {
  std::lock_guard lock(g_copy_window_mutex);
  return g_copy_window;
}

}  // namespace

void SetCopyProgressWindow(CopyProgressWindow window) {
  std::lock_guard lock(g_copy_window_mutex);
  g_copy_window = std::move(window);
}

namespace {

// The copy behind both copy functions: block by block into a temporary beside the target,
// renamed over it at the end. Once both files are open, make_progress (when set) is asked for
// the callback told after every block, which may cancel the copy.
using MakeCopyProgress = std::function<CopyProgress(uint64_t total)>;
bool CopyFileContents(const std::string& source, const std::string& target,
                      const MakeCopyProgress& make_progress) {
  constexpr size_t kBlock = 16384;
  vd::os::File in;
  if (!in.Open(source, vd::os::File::Mode::Read)) return false;
  const int64_t size = in.Size();
  vd::os::AtomicFileWriter out;
  if (size < 0 || !out.Open(target)) return false;
  const uint64_t total = static_cast<uint64_t>(size);
  const CopyProgress progress = make_progress ? make_progress(total) : nullptr;
  std::vector<char> block(kBlock);
  uint64_t copied = 0;
  for (;;) {
    const int64_t got = in.Read(block.data(), block.size());
    if (got < 0) return false;
    if (got == 0) break;
    if (!out.file().Write(block.data(), static_cast<size_t>(got))) return false;
    copied += static_cast<uint64_t>(got);
    if (progress && !progress(copied, total)) return false;
  }
  return out.Commit();
}

}  // namespace

bool CopyFileWithProgress(const std::string& source, const std::string& target,
                          const CopyProgress& progress) {
  constexpr uint64_t kSmallFile = 10000;
  return CopyFileContents(source, target, [&](uint64_t total) -> CopyProgress {
    if (total <= kSmallFile) return nullptr;
    if (progress) return progress;
    const CopyProgressWindow window = InstalledCopyWindow();
    return window ? window("Copying " + source + " To " + target, total) : nullptr;
  });
}

bool CopyFileBytes(const std::string& source, const std::string& target) {
  return CopyFileContents(source, target, nullptr);
}

int64_t SeekFile64(vd::os::File& file, int64_t distance, int whence) {
  if (!file.Seek(distance, whence)) return -1;
  return file.Tell();
}

bool ReadLine(std::FILE* file, std::string& line, size_t max_length) {
  line.clear();
  int c;
  while ((c = std::getc(file)) != EOF && c != '\n') {
    if (line.size() < max_length) line += static_cast<char>(c);
  }
  return c == '\n' || (!std::ferror(file) && !line.empty());
}

std::string ReadFirstLine(const std::string& path) {
  constexpr size_t kMaxLine = 1000000;
  std::FILE* file = std::fopen(path.c_str(), "rbe");
  if (!file) return {};
  std::string line;
  while (ReadLine(file, line, kMaxLine)) {
    std::erase_if(line, [](char c) { return c == '\r' || c == '\0'; });
    size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] != '#') break;
    line.clear();
  }
  std::fclose(file);
  return line;
}

bool ShellOpen(const std::string& path) { return vd::os::OpenDocument(path); }

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) {
  std::vector<vd::os::DirEntry> entries;
  std::vector<std::string> names;
  if (!vd::os::ListFolder(folder, entries)) return names;
  for (const vd::os::DirEntry& entry : entries) {
    if (!entry.is_dir && WildcardMatchNoCase(entry.name, pattern)) {
      names.push_back(entry.name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ListSubfolders(const std::string& folder) {
  std::vector<vd::os::DirEntry> entries;
  std::vector<std::string> names;
  if (!vd::os::ListFolder(folder, entries)) return names;
  for (const vd::os::DirEntry& entry : entries) {
    if (entry.is_dir && entry.name != "." && entry.name != "..") names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}
