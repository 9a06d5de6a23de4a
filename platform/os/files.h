#pragma once
// Files and folders: an owning file handle with 64-bit offsets, read-only mappings, saves that
// never leave a half-written file, folder listings and a few path queries. Paths are UTF-8 with
// '/' separators. Functions report failure by their return value and leave errno as the failing
// system call set it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vd::os {

class File {
 public:
  // Scoped (File::Mode::Read) because File::Read is the read call.
  enum class Mode {
    Read,             // existing file, read only
    ReadWrite,        // existing file, read and write
    CreateTruncate,   // created or emptied, read and write
    Append,           // created if missing; every write goes to the end
    CreateReadWrite,  // created if missing, never truncated, read and write
    // Created or emptied, read and write; fails when the path's last part is a symbolic link
    // (for files in the programs' temporary folder, where nothing is to be followed).
    CreateTruncateNoFollow,
  };

  File() = default;
  ~File() { Close(); }
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(const std::string& path, Mode mode);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Bytes read (fewer only at the end of the file), or -1 on error.
  int64_t Read(void* buffer, size_t count);
  // True only when all `count` bytes were read.
  bool ReadExact(void* buffer, size_t count);
  // Writes all bytes or fails.
  bool Write(const void* buffer, size_t count);
  // Like Read/Write at an absolute offset; the file position is not moved.
  int64_t PRead(void* buffer, size_t count, uint64_t offset);
  bool PWrite(const void* buffer, size_t count, uint64_t offset);
  bool Seek(int64_t offset, int whence);  // whence: SEEK_SET, SEEK_CUR, SEEK_END
  int64_t Tell();                         // -1 on error
  int64_t Size();                         // -1 on error
  bool Truncate(uint64_t size);
  bool Sync();
  int fd() const { return fd_; }

 private:
  friend class AtomicFileWriter;  // hands over the descriptor of its temporary file
  int fd_ = -1;
};

// The whole file mapped read-only. An empty file opens with size 0 (data() is then a valid
// pointer to no bytes). The bytes change if another process rewrites the file in place; the
// project's own saves replace files by rename, which leaves an open mapping intact.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return data_ != nullptr; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  // Lets the memory go that holds the whole pages of bytes [offset, offset + length): a reader
  // that has passed them keeps a large file from staying in memory. The bytes stay readable;
  // reading them again reads the file.
  void Release(size_t offset, size_t length) const;

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;  // false for the empty file, which has no mapping to undo
};

// A save that replaces `target` only when everything was written: the bytes go to a temporary
// file in the target's folder, and Commit() syncs it, renames it over the target and syncs the
// folder. Until then, and after any failure, the old target is untouched and the temporary file
// is removed. A target that is a symbolic link is saved through the link. The temporary file
// is locked (flock) while the save lasts; Open removes the unlocked temporary files of earlier
// saves of the same target, which a killed or crashed process leaves behind.
// With Links::kReplace a target that is a symbolic link is replaced by the new file and what it
// points to is left alone (files of the programs' temporary folder).
enum class Links { kFollow, kReplace };

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter() { Discard(); }
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  bool Open(const std::string& target, Links links = Links::kFollow);
  File& file() { return file_; }
  bool Commit();
  void Discard();

  // Temporary files of a save of `target` are named TempPrefix(target) + "<random>.tmp" in the
  // same folder; one left by a killed process can be recognised by that.
  static std::string TempPrefix(const std::string& target_name);

 private:
  File file_;
  std::string target_;
  std::string temp_;
};

bool ReadWholeFile(const std::string& path, std::string& out);
bool SaveFileAtomically(const std::string& path, std::string_view bytes,
                        Links links = Links::kFollow);

bool FileExists(const std::string& path);  // anything: file, folder, device
bool IsDirectory(const std::string& path);
bool MakeFolders(const std::string& path);  // like mkdir -p; true when the folder exists after
bool RemoveFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);  // replaces an existing `to`
std::optional<uint64_t> FileSize(const std::string& path);        // nullopt for folders
std::optional<int64_t> FileModifiedTime(const std::string& path);  // seconds since 1970

struct DirEntry {
  std::string name;
  bool is_dir = false;  // symbolic links count as what they point to
  uint64_t size = 0;
  int64_t mtime = 0;  // seconds since 1970
};
// The entries of `folder` without "." and "..", sorted by name (byte order).
bool ListFolder(const std::string& folder, std::vector<DirEntry>& out);
// Calls `visit` with folder + "/" + name for each entry, in ListFolder order; with `recursive`,
// a folder's contents follow right after the folder itself. A folder reached a second time (a
// link loop) is not entered again. `visit` returns false to end the whole walk.
void WalkFolder(const std::string& folder, bool recursive,
                const std::function<bool(const std::string& path, const DirEntry&)>& visit);

// Bytes the calling user may still write on the file system holding `path`.
std::optional<uint64_t> FreeSpace(const std::string& path);

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentifyFile(const std::string& path);

// Case-insensitive comparison of names: ASCII letters and the accented Latin-1 capitals
// (U+00C0-U+00DE but U+00D7) match their small forms; every other byte must be equal.
bool NamesEqualNoCase(std::string_view a, std::string_view b);
// The real name of the entry of `folder` whose name matches `name` case-insensitively; an exact
// match wins, else the first in name order. nullopt when none matches or `name` holds a '/'.
std::optional<std::string> FindFileNoCase(const std::string& folder, const std::string& name);

}  // namespace vd::os
