#pragma once
// Files and folders as the program's code uses them: existence tests, folder trees, sizes,
// identities, free space, copies, reading text lines and opening documents in the desktop's
// program for them. Paths are real Linux paths ('/' separators).
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vd::os {
class File;
}

bool FileExists(const std::string& path);  // a file, folder or anything else
bool IsDirectory(const std::string& path);
inline bool IsFolder(const std::string& path) { return IsDirectory(path); }
// The path exists and is not a folder (false for a missing path).
bool IsNotFolder(const std::string& path);
// True when a file can be created in `folder` and removed again. The test file gets a fresh
// name, so no file of the user's is ever touched.
bool IsWritableFolder(const std::string& folder);
// The names of the files (not folders) in a folder matching a wildcard pattern ("*.vdpkg",
// case-insensitive), in name order; empty when the folder can't be read.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);
// The names of the sub-folders of a folder, in name order.
std::vector<std::string> ListSubfolders(const std::string& folder);

// Creates the folder and its missing parents; true when the path is a folder afterwards.
bool CreateDirectoryTree(const std::string& path);
inline bool CreateFolders(const std::string& path) { return CreateDirectoryTree(path); }
// The same, but a path shorter than 2 characters is never created.
bool CreateFolderTree(const std::string& path);

// Remove the folder with everything in it. Symbolic links are removed, never followed, so
// nothing outside the tree is touched; a `path` that is itself a link loses only the link.
// DeleteDirectoryTree goes on past entries it can't remove, DeleteFolderTree stops at the first.
// Both return true when the folder is gone.
bool DeleteDirectoryTree(const std::string& path);
bool DeleteFolderTree(const std::string& path);
// Sum of the sizes of the regular files below `path`; symbolic links are not followed.
uint64_t GetDirectorySize(const std::string& path);

// Size of a file, 0 when it is missing or a folder.
uint64_t GetFileSize64(const std::string& path);
// Size of a file that can be opened for reading, else 0.
uint64_t GetFileLength(const std::string& path);
// A 64-bit number that stays the same for a file or folder and differs between files: drawn
// from its device and inode. For a path that can't be examined it is a hash of the path text
// (h = (h + signed byte) << 4 over its bytes).
uint64_t GetFileUniqueId(const std::string& path);
// Bytes the user may still write on the volume of `path` (or of its folder when `path` does
// not exist yet); -1 on failure.
int64_t GetDiskFreeSpace64(const std::string& path);

// Told the bytes copied so far and the total after each block of a copy; returns false to
// cancel it.
using CopyProgress = std::function<bool(uint64_t copied, uint64_t total)>;
// Copies `source` over `target` without ever leaving a half-written target: the copy is made
// under a temporary name beside the target and renamed over it at the end, so on failure or
// cancel the old target (if any) is untouched. `progress` is told only for files larger than
// 10,000 bytes, after every block of 16,384 bytes.
// Without a `progress` of its own, a copy of more than 10,000 bytes shows the installed copy
// progress window (below) titled "Copying <source> To <target>", whose Cancel stops it.
bool CopyFileWithProgress(const std::string& source, const std::string& target,
                          const CopyProgress& progress = nullptr);
// Makes the progress of one copy: given the window's title and the bytes to copy, returns the
// callback that moves it (and keeps it open while it lives), or null for no window.
using CopyProgressWindow =
    std::function<CopyProgress(const std::string& title, uint64_t total)>;
// Installs the window copies show (the program's user interface does at start-up); null: none.
void SetCopyProgressWindow(CopyProgressWindow window);
// Copies `source` over `target` byte for byte, with no window whatever its size; as safe as
// CopyFileWithProgress (the old target stays on failure). False when either file can't be
// opened or a read or write fails.
bool CopyFileBytes(const std::string& source, const std::string& target);

// Moves the file position by `distance` from `whence` (SEEK_SET, SEEK_CUR, SEEK_END) over the
// whole 64-bit range; the new position, or -1 when the file can't go there (the position is then
// unchanged).
int64_t SeekFile64(vd::os::File& file, int64_t distance, int whence);

// Reads a line up to its line feed (which is not stored); at most `max_length` bytes are kept
// and the rest of the line is dropped. False at the end of the file or on a read error.
bool ReadLine(std::FILE* file, std::string& line, size_t max_length);
// The first line of a text file that is neither blank (spaces and tabs) nor a comment (first
// non-blank character '#'), carriage returns and NUL bytes removed; "" when the file can't be
// opened or has no such line.
std::string ReadFirstLine(const std::string& path);

// Opens a file or web address in the desktop's program for it; does not wait.
bool ShellOpen(const std::string& path);
